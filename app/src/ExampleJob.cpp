#include "app/ExampleJob.h"

#include "rtl/exceptions.h"
#include "rtl/streams.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ax {
namespace {

// The job stream, version 3 without version words: one record a line, a
// record being PIDL size, PIDL (Computer, the volume "/", "tmp",
// "ardentix-example", ...), whether a child list follows (with its count),
// and after the children the tail: kinds, check state, check type, three
// empty column arrays and no object.
constexpr const char* kExampleJobHex =
    // the desktop
    "02000000 0000 01 01000000"
    // Computer
    "0e000000 0c001f2f636f6d7075746572 0000 01 01000000"
    // the volume "/"
    "12000000 0c001f2f636f6d7075746572 04002f2f 0000 01 01000000"
    // tmp
    "18000000 0c001f2f636f6d7075746572 04002f2f 060031746d70 0000 01 01000000"
    // ardentix-example, two children
    "2b000000 0c001f2f636f6d7075746572 04002f2f 060031746d70 130031617264656e7469782d6578616d706c65"
    " 0000 01 02000000"
    // Documents: checked (kinds 1, state 2, type 1)
    "37000000 0c001f2f636f6d7075746572 04002f2f 060031746d70 130031617264656e7469782d6578616d706c65"
    " 0c0031446f63756d656e7473 0000 00 010201 00000000 00000000 00000000 00"
    // Pictures
    "36000000 0c001f2f636f6d7075746572 04002f2f 060031746d70 130031617264656e7469782d6578616d706c65"
    " 0b00315069637475726573 0000 01 01000000"
    // Pictures/holiday.png: checked
    "44000000 0c001f2f636f6d7075746572 04002f2f 060031746d70 130031617264656e7469782d6578616d706c65"
    " 0b00315069637475726573 0e0031686f6c696461792e706e67 0000 00 010201 00000000 00000000 00000000 00"
    // the tails of Pictures, ardentix-example, tmp, "/" and Computer: mixed
    // (kinds 1, state 4, type 1), as the window stores the folders above
    // a checked item, so that they show it before they are opened
    "010401 00000000 00000000 00000000 00"
    "010401 00000000 00000000 00000000 00"
    "010401 00000000 00000000 00000000 00"
    "010401 00000000 00000000 00000000 00"
    "010401 00000000 00000000 00000000 00"
    // the desktop's tail
    "000000 00000000 00000000 00000000 00";

std::vector<uint8_t> FromHex(const char* text) {
    std::vector<uint8_t> out;
    int high = -1;
    for (const char* p = text; *p; ++p) {
        if (*p == ' ') continue;
        const int digit = *p <= '9' ? *p - '0' : *p - 'a' + 10;
        if (high < 0) {
            high = digit;
        } else {
            out.push_back(uint8_t(high * 16 + digit));
            high = -1;
        }
    }
    return out;
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

const std::vector<uint8_t>& ExampleJobBytes() {
    static const std::vector<uint8_t> bytes = FromHex(kExampleJobHex);
    return bytes;
}

std::string MakeExample(std::string& error) {
    const std::string root = kExampleFolder;
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
    const std::vector<uint8_t>& bytes = ExampleJobBytes();
    try {
        SaveFileAtomically(job, [&](TStream& s) { s.WriteBuffer(bytes.data(), bytes.size()); });
    } catch (const Exception& e) {
        error = job + ": cannot be saved: " + e.Message();
        return {};
    }
    return job;
}

} // namespace ax
