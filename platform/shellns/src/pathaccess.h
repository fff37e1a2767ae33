#pragma once
// File access by path, whatever the path's length, and the identities of
// the folders a path passes through.
//
// The kernel refuses whole paths of PATH_MAX (4096) bytes and more, but not
// folders that deep: such a path is opened piece by piece, each piece
// relative to the folder the one before it opened. Shorter paths go to the
// kernel in one call. Links are followed on the way, as the kernel follows
// them in a whole path.
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

namespace ax::shellns {

// An open file descriptor, closed with the object.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }
    int Release() noexcept {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Reset(int fd = -1) noexcept;

private:
    int fd_ = -1;
};

// open(2) for a path of any length; an invalid descriptor with errno set on
// failure.
UniqueFd OpenAnyPath(const std::string& path, int flags, mode_t mode = 0);
// Where the *at calls find a path's last element at any depth: for a short
// path the working folder and the whole path, for a long one the folder
// holding the element (opened O_PATH) and the element's name.
struct ParentRef {
    UniqueFd held;
    int dirfd = AT_FDCWD;
    std::string name;
};
bool OpenParentOf(const std::string& path, ParentRef& parent);
// 0, or the errno of the failure.
int StatAnyPath(const std::string& path, struct stat& st, bool followLinks);

// A file's identity.
struct FileId {
    dev_t dev = 0;
    ino_t ino = 0;
    bool operator==(const FileId&) const = default;
};
inline FileId IdOf(const struct stat& st) {
    return {st.st_dev, st.st_ino};
}
// The identities of the folders an absolute path passes through, "/" first
// and the path itself last, each as the kernel reaches it (links followed).
// Empty when one of them cannot be reached. isFolder: whether the path
// itself is a folder.
std::vector<FileId> FolderChain(const std::string& path, bool* isFolder = nullptr);
// The identities of an open folder and of every folder above it where it
// really lies (through ".." up to the root, whatever links led to it).
// Empty when one of them cannot be reached.
std::vector<FileId> PhysicalAncestry(int dirfd);
// True when no folder appears twice: a path that passes a folder a second
// time has gone round a loop of links (or mounts).
bool LoopFree(const std::vector<FileId>& chain);
bool Contains(const std::vector<FileId>& chain, const FileId& id);

} // namespace ax::shellns
