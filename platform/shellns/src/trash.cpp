// The trash, as the freedesktop Trash layout has it: the
// user's home trash, and on every other volume a trash in its top folder.
#include "items.h"
#include "pathaccess.h"
#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellops.h"
#include "rtl/clock.h"
#include "rtl/scopeguard.h"
#include "rtl/sysutils.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace ax {
namespace shellns {
namespace {

// Names a folder holds are at most this long; an info file adds
// ".trashinfo" to the trash name.
constexpr size_t kNameMax = 255;
constexpr std::string_view kInfoSuffix = ".trashinfo";

std::string PercentEncode(const std::string& path) {
    static const char* const hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            out.push_back(char(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

std::string PercentDecode(const std::string& s) {
    std::string out;
    auto val = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && val(s[i + 1]) >= 0 && val(s[i + 2]) >= 0) {
            out.push_back(char(val(s[i + 1]) * 16 + val(s[i + 2])));
            i += 2;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

std::string Uid() {
    return std::to_string(::getuid());
}

// A folder of our own: a real folder (no link), owned by us.
bool IsOwnFolder(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

bool MakeOwnFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    return IsOwnFolder(path);
}

// The shared "$topdir/.Trash" an administrator made: a sticky folder, not a
// link; anything else must not be used.
bool IsSharedTrash(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX);
}

// A trash folder with its files and info folders, made as needed.
bool PrepareTrash(const std::string& trash) {
    return MakeOwnFolder(trash) && MakeOwnFolder(trash + "/files") &&
           MakeOwnFolder(trash + "/info");
}

// Where a trash of a volume's top folder may be: the shared one first.
std::vector<std::string> TopTrashes(const std::string& topdir) {
    const std::string top = topdir == "/" ? std::string() : topdir;
    std::vector<std::string> out;
    if (IsSharedTrash(top + "/.Trash")) out.push_back(top + "/.Trash/" + Uid());
    out.push_back(top + "/.Trash-" + Uid());
    return out;
}

// The folder a relative "Path=" of a trash is read from: the one holding
// the trash folder (the data home for the home trash, the volume's top
// folder for the others).
std::string TrashBase(const std::string& trash) {
    const std::string parent = ParentPath(trash);
    if (trash == TrashDirectory()) return parent;
    return ExtractFileName(parent) == ".Trash" ? ParentPath(parent) : parent;
}

// Splits a trash entry's name into its trash folder and its name there:
// "name" is in the home trash, "/top/.Trash-1000/files/name" elsewhere.
bool SplitTrashName(const std::string& trashName, std::string& trash, std::string& name) {
    if (trashName.find('/') == std::string::npos) {
        if (!IsValidItemName(trashName)) return false;
        trash = TrashDirectory();
        name = trashName;
        return true;
    }
    if (trashName[0] != '/' || NormalisePath(trashName) != trashName) return false;
    name = ExtractFileName(trashName);
    const std::string files = ParentPath(trashName);
    trash = ParentPath(files);
    if (!IsValidItemName(name) || ExtractFileName(files) != "files") return false;
    const std::string trashFolder = ExtractFileName(trash);
    // Only the two forms a volume's trash takes.
    return trashFolder == ".Trash-" + Uid() ||
           (trashFolder == Uid() && ExtractFileName(ParentPath(trash)) == ".Trash");
}

// The shortest prefix of name that keeps whole UTF-8 characters and fits
// in limit bytes.
std::string FitName(const std::string& name, size_t limit) {
    if (name.size() <= limit) return name;
    size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    return name.substr(0, cut);
}

std::string DeletionDate() {
    int year, month, day, hour, minute, second, ms;
    const TDateTime now = CurrentClock().Now();
    DecodeDate(now, year, month, day);
    DecodeTime(now, hour, minute, second, ms);
    char date[32];
    std::snprintf(date, sizeof date, "%04d-%02d-%02dT%02d:%02d:%02d", year, month, day, hour,
                  minute, second);
    return date;
}

// Moves one item into trash (prepared, on the item's file system), under a
// name nothing there has; the info file is written first, so an item is
// never in a trash without it.
bool MoveIntoTrash(const std::string& from, const std::string& trash, const std::string& shownPath,
                   std::string& reason) {
    const std::string base = ExtractFileName(from);
    const std::string info =
        "[Trash Info]\nPath=" + PercentEncode(shownPath) + "\nDeletionDate=" + DeletionDate() + "\n";
    for (int n = 1; n < 10000; ++n) {
        const std::string suffix = n == 1 ? std::string() : "." + std::to_string(n);
        const std::string name =
            FitName(base, kNameMax - kInfoSuffix.size() - suffix.size()) + suffix;
        const std::string infoPath = trash + "/info/" + name + std::string(kInfoSuffix);
        UniqueFd fd(::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!fd) {
            if (errno == EEXIST) continue;
            reason = std::strerror(errno);
            return false;
        }
        ScopeGuard dropInfo([&] { ::unlink(infoPath.c_str()); });
        if (::write(fd.Get(), info.data(), info.size()) != ssize_t(info.size()) ||
            ::fsync(fd.Get()) != 0) {
            reason = std::strerror(errno);
            return false;
        }
        fd.Reset();
        ParentRef source;
        if (!OpenParentOf(from, source)) {
            reason = std::strerror(errno);
            return false;
        }
        if (RenameNoReplaceAt(source.dirfd, source.name, AT_FDCWD, trash + "/files/" + name)) {
            dropInfo.Dismiss();
            return true;
        }
        if (errno != EEXIST) {
            reason = std::strerror(errno);
            return false;
        }
    }
    reason = "the trash holds too many items of that name";
    return false;
}

// The folder holding from, where it really is (links followed), so that
// its volume's top folder is found.
std::string PhysicalFolderOf(const std::string& from) {
    char real[PATH_MAX];
    const std::string parent = ParentPath(from);
    if (parent.size() < PATH_MAX && ::realpath(parent.c_str(), real)) return real;
    return parent;
}

bool TrashOne(const std::string& from, std::string& reason) {
    struct stat src;
    if (StatAnyPath(from, src, false) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    // The home trash takes what lies on its own file system.
    const std::string home = TrashDirectory();
    struct stat st;
    if (ForceDirectories(home) && ::chmod(home.c_str(), 0700) == 0 && PrepareTrash(home) &&
        ::stat((home + "/files").c_str(), &st) == 0 && st.st_dev == src.st_dev)
        return MoveIntoTrash(from, home, from, reason);

    // Elsewhere, the trash of the item's volume: the top folder is where the
    // file system ends, going up from the item's folder.
    std::string top = PhysicalFolderOf(from);
    while (top != "/" && ::stat(ParentPath(top).c_str(), &st) == 0 && st.st_dev == src.st_dev)
        top = ParentPath(top);
    for (const std::string& trash : TopTrashes(top)) {
        if (!PrepareTrash(trash) || ::stat((trash + "/files").c_str(), &st) != 0 ||
            st.st_dev != src.st_dev)
            continue;
        // Paths in a volume's trash are relative to its top folder, so the
        // volume may be mounted elsewhere next time.
        const std::string physical = JoinPath(PhysicalFolderOf(from), ExtractFileName(from));
        const std::string relative =
            top == "/" ? physical.substr(1) : physical.substr(std::min(physical.size(), top.size() + 1));
        return MoveIntoTrash(from, trash, relative, reason);
    }
    reason = "no trash can be made on its volume; nothing was deleted";
    return false;
}

} // namespace

bool ResolveTrashName(const std::string& trashName, std::string& path) {
    std::string trash, name;
    if (!SplitTrashName(trashName, trash, name)) return false;
    path = trash + "/files/" + name;
    return true;
}

void ListTrashes(uint32_t flags, std::vector<std::string>& out) {
    // The home trash's entries go by their bare name, the others' by their
    // whole path, which names their trash too.
    const std::string home = TrashDirectory();
    ListDirectory(home + "/files", PIDL_KIND_TRASH, flags, false, "", out);
    std::vector<std::string> seen{home};
    for (const Volume& v : MountedVolumes()) {
        if (v.remote) continue; // a server away would hang the view
        for (const std::string& trash : TopTrashes(v.mountPoint)) {
            if (std::find(seen.begin(), seen.end(), trash) != seen.end() || !IsOwnFolder(trash))
                continue;
            seen.push_back(trash);
            ListDirectory(trash + "/files", PIDL_KIND_TRASH, flags, false, trash + "/files/", out);
        }
    }
}

} // namespace shellns

using namespace shellns;

bool ShellTrashItems(const std::vector<std::string>& paths, std::vector<std::string>* failed,
                     std::vector<ShellProblem>* problems) {
    bool all = true;
    for (const std::string& raw : paths) {
        const std::string from = NormalisePath(raw);
        const bool folder = IsRealDirectory(from);
        std::string reason = "cannot be deleted";
        if (from.empty() || from == "/" || !TrashOne(from, reason)) {
            all = false;
            if (failed) failed->push_back(raw);
            if (problems) problems->push_back({raw, reason});
            continue;
        }
        SHChangeNotifyPaths(folder ? SHCNE_RMDIR : SHCNE_DELETE, from);
        const std::string bin = ItemBytes(PIDL_KIND_VIRTUAL, kVirtualRecycleBin) + std::string(2, '\0');
        SHChangeNotify(SHCNE_UPDATEDIR, reinterpret_cast<PCItemIDList>(bin.data()), nullptr);
    }
    return all;
}

bool ReadTrashInfo(const std::string& trashName, std::string& originalPath,
                   std::string& deletionDate) {
    std::string trash, name;
    if (!SplitTrashName(trashName, trash, name)) return false;
    std::ifstream in(trash + "/info/" + name + std::string(kInfoSuffix));
    if (!in) return false;
    originalPath.clear();
    deletionDate.clear();
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Path=", 0) == 0)
            originalPath = PercentDecode(line.substr(5));
        else if (line.rfind("DeletionDate=", 0) == 0)
            deletionDate = line.substr(13);
    }
    if (!originalPath.empty() && originalPath[0] != '/')
        originalPath = JoinPath(TrashBase(trash), originalPath);
    return !originalPath.empty();
}

} // namespace ax
