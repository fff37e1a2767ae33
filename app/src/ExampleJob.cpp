// The example job: makes the example folder (only folders and files of our
// own, never following a planted link) and writes the ".JOB" bytes that
// select its items, in the job file's own stream format.
#include "app/ExampleJob.h"

#include "rtl/exceptions.h"
#include "rtl/streams.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ax {
namespace {

// The job stream, version 3 without version words: a record is the PIDL's
// size, the PIDL (the desktop's children: Computer, the volume "/", then a
// directory entry for each name on the way), whether a child list follows
// (with its count), the children's records, and the tail: kinds, check
// state, check type, three empty column arrays and no object.
struct ExampleItem {
    std::string pidlItem; // [cb u16 LE][kind][payload]
    uint8_t tail[3];      // kinds, check state, check type
    std::vector<ExampleItem> children;
};

// A checked item, and the folders above it mixed, as the window stores
// them, so that they show it before they are opened.
constexpr uint8_t kChecked[3] = {1, 2, 1};
constexpr uint8_t kMixed[3] = {1, 4, 1};

std::string PidlItem(uint8_t kind, const std::string& payload) {
    const size_t cb = 3 + payload.size();
    return std::string{char(cb & 0xFF), char(cb >> 8), char(kind)} + payload;
}

std::string EntryItem(const std::string& name) { return PidlItem(0x31, name); }

ExampleItem Item(std::string pidlItem, const uint8_t (&tail)[3], std::vector<ExampleItem> children = {}) {
    return {std::move(pidlItem), {tail[0], tail[1], tail[2]}, std::move(children)};
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

// parent: the PIDL items above, without the closing 00 00.
void WriteRecord(std::vector<uint8_t>& out, const std::string& parent, const ExampleItem& item) {
    const std::string pidl = parent + item.pidlItem;
    PutU32(out, uint32_t(pidl.size() + 2));
    out.insert(out.end(), pidl.begin(), pidl.end());
    out.insert(out.end(), {0, 0});
    out.push_back(item.children.empty() ? 0 : 1);
    if (!item.children.empty()) {
        PutU32(out, uint32_t(item.children.size()));
        for (const ExampleItem& child : item.children) WriteRecord(out, pidl, child);
    }
    out.insert(out.end(), std::begin(item.tail), std::end(item.tail));
    for (int i = 0; i < 3; ++i) PutU32(out, 0); // no column widths, positions, visibility
    out.push_back(0);                           // no object
}

// The names of an absolute path, or none when it is not a plain one.
std::vector<std::string> PathNames(const std::string& path) {
    std::vector<std::string> names;
    if (path.empty() || path[0] != '/') return {};
    for (size_t at = 1; at <= path.size();) {
        const size_t end = std::min(path.find('/', at), path.size());
        const std::string name = path.substr(at, end - at);
        if (name == "." || name == "..") return {};
        if (!name.empty()) names.push_back(name);
        at = end + 1;
    }
    return names;
}

// A folder of ours (never a link planted by someone else), made if missing.
bool OwnFolder(const std::string& path, std::string& error) {
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        error = path + ": cannot be made: " + std::strerror(errno);
        return false;
    }
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = path + ": is not a folder";
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        error = path + ": belongs to another user";
        return false;
    }
    return true;
}

// A small file with text, made only where nothing is.
bool OwnFile(const std::string& path, const std::string& text, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0644);
    if (fd < 0) {
        if (errno == EEXIST) return true;
        error = path + ": cannot be made: " + std::strerror(errno);
        return false;
    }
    const bool written = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    ::close(fd);
    if (!written) error = path + ": cannot be written";
    return written;
}

} // namespace

std::string ExampleFolder() {
    // Under the user's TMPDIR when it is a plain absolute path.
    std::vector<std::string> names;
    if (const char* tmp = std::getenv("TMPDIR"); tmp && *tmp) names = PathNames(tmp);
    if (names.empty()) names = {"tmp"};
    std::string folder;
    for (const std::string& name : names) folder += "/" + name;
    return folder + "/ardentix-example-" + std::to_string(::geteuid());
}

std::vector<uint8_t> ExampleJobBytes(const std::string& folder) {
    const std::vector<std::string> names = PathNames(folder);
    Assert(!names.empty(), "the example's folder is no absolute path");
    ExampleItem item =
        Item(EntryItem(names.back()), kMixed,
             {Item(EntryItem("Documents"), kChecked),
              Item(EntryItem("Pictures"), kMixed, {Item(EntryItem("holiday.png"), kChecked)})});
    for (size_t i = names.size() - 1; i-- > 0;)
        item = Item(EntryItem(names[i]), kMixed, {std::move(item)});
    item = Item(PidlItem(0x2F, "/"), kMixed, {std::move(item)});
    item = Item(PidlItem(0x1F, "/computer"), kMixed, {std::move(item)});
    constexpr uint8_t kDesktop[3] = {0, 0, 0};
    const ExampleItem desktop = Item("", kDesktop, {std::move(item)});
    std::vector<uint8_t> out;
    WriteRecord(out, "", desktop);
    return out;
}

std::string MakeExample(std::string& error) {
    const std::string root = ExampleFolder();
    if (!OwnFolder(root, error) || !OwnFolder(root + "/Documents", error) ||
        !OwnFolder(root + "/Pictures", error))
        return {};
    const struct {
        const char* name;
        const char* text;
    } files[] = {
        {"/Documents/letter.txt", "Dear reader,\nthis letter is backed up.\n"},
        {"/Documents/notes.txt", "Notes of the example.\n"},
        {"/Pictures/holiday.png", "not really a picture\n"},
        {"/Pictures/scan.png", "not really a scan\n"},
        {"/todo.txt", "Nothing to do.\n"},
    };
    for (const auto& f : files)
        if (!OwnFile(root + f.name, f.text, error)) return {};
    const std::string job = root + "/example.JOB";
    const std::vector<uint8_t> bytes = ExampleJobBytes(root);
    try {
        SaveFileAtomically(job, [&](TStream& s) { s.WriteBuffer(bytes.data(), bytes.size()); });
    } catch (const Exception& e) {
        error = job + ": cannot be saved: " + e.Message();
        return {};
    }
    return job;
}

} // namespace ax
