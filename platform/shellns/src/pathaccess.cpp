#include "pathaccess.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <unistd.h>

namespace ax::shellns {

void UniqueFd::Reset(int fd) noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

namespace {

// Opens a folder path of any length, O_PATH: at most PATH_MAX - 1 bytes at
// a time, cut at a "/".
UniqueFd OpenFolderInPieces(std::string_view path) {
    UniqueFd held;
    int base = AT_FDCWD;
    size_t at = 0;
    if (!path.empty() && path[0] == '/') {
        held.Reset(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!held) return held;
        base = held.Get();
        at = 1;
    }
    while (at < path.size()) {
        size_t end = path.size();
        if (end - at >= PATH_MAX) {
            const size_t slash = path.rfind('/', at + PATH_MAX - 1);
            if (slash == std::string_view::npos || slash <= at) {
                errno = ENAMETOOLONG; // one name longer than any folder holds
                return UniqueFd();
            }
            end = slash;
        }
        const std::string piece(path.substr(at, end - at));
        UniqueFd next(::openat(base, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!next) return next;
        held = std::move(next);
        base = held.Get();
        at = end + 1;
    }
    if (!held) held.Reset(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    return held;
}

bool IsLong(const std::string& path) {
    return path.size() >= PATH_MAX;
}

} // namespace

bool OpenParentOf(const std::string& path, ParentRef& parent) {
    parent = ParentRef{};
    if (!IsLong(path)) {
        parent.name = path;
        return true;
    }
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash + 1 == path.size()) {
        errno = ENAMETOOLONG;
        return false;
    }
    parent.held = OpenFolderInPieces(std::string_view(path).substr(0, slash == 0 ? 1 : slash));
    if (!parent.held) return false;
    parent.dirfd = parent.held.Get();
    parent.name = path.substr(slash + 1);
    return true;
}

UniqueFd OpenAnyPath(const std::string& path, int flags, mode_t mode) {
    ParentRef parent;
    if (!OpenParentOf(path, parent)) return UniqueFd();
    return UniqueFd(::openat(parent.dirfd, parent.name.c_str(), flags | O_CLOEXEC, mode));
}

int StatAnyPath(const std::string& path, struct stat& st, bool followLinks) {
    ParentRef parent;
    if (path.empty()) return ENOENT;
    if (!OpenParentOf(path, parent)) return errno;
    const int flags = followLinks ? 0 : AT_SYMLINK_NOFOLLOW;
    return ::fstatat(parent.dirfd, parent.name.c_str(), &st, flags) == 0 ? 0 : errno;
}

std::vector<FileId> FolderChain(const std::string& path) {
    std::vector<FileId> chain;
    if (path.empty() || path[0] != '/') return chain;
    struct stat st;
    if (!IsLong(path)) {
        // Each prefix in one call: the kernel walks it, following links.
        for (size_t at = 0; at != std::string::npos; at = path.find('/', at + 1)) {
            const std::string prefix = at == 0 ? std::string("/") : path.substr(0, at);
            if (::stat(prefix.c_str(), &st) != 0) return {};
            chain.push_back(IdOf(st));
        }
        if (path.size() > 1 && path.back() != '/') {
            if (::stat(path.c_str(), &st) != 0) return {};
            chain.push_back(IdOf(st));
        }
        return chain;
    }
    // Too long for one call: one folder at a time.
    UniqueFd dir(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!dir || ::fstat(dir.Get(), &st) != 0) return {};
    chain.push_back(IdOf(st));
    size_t at = 1;
    while (at < path.size()) {
        size_t end = path.find('/', at);
        if (end == std::string::npos) end = path.size();
        if (end > at) {
            const std::string name = path.substr(at, end - at);
            UniqueFd next(::openat(dir.Get(), name.c_str(), O_PATH | O_CLOEXEC));
            if (!next || ::fstat(next.Get(), &st) != 0) return {};
            chain.push_back(IdOf(st));
            dir = std::move(next);
        }
        at = end + 1;
    }
    return chain;
}

std::vector<FileId> PhysicalAncestry(int dirfd) {
    std::vector<FileId> ancestry;
    struct stat st;
    if (::fstat(dirfd, &st) != 0) return {};
    ancestry.push_back(IdOf(st));
    UniqueFd up(::openat(dirfd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    while (up) {
        if (::fstat(up.Get(), &st) != 0) return {};
        if (IdOf(st) == ancestry.back()) return ancestry; // the root is its own parent
        ancestry.push_back(IdOf(st));
        up = UniqueFd(::openat(up.Get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
    return {};
}

bool Contains(const std::vector<FileId>& chain, const FileId& id) {
    return std::find(chain.begin(), chain.end(), id) != chain.end();
}

bool LoopFree(const std::vector<FileId>& chain) {
    for (size_t i = 0; i < chain.size(); ++i)
        for (size_t j = i + 1; j < chain.size(); ++j)
            if (chain[i] == chain[j]) return false;
    return true;
}

} // namespace ax::shellns
