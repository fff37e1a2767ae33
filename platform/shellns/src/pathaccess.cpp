// Opening and stat'ing paths of any length (piece by piece past PATH_MAX),
// and the identity chains of the folders a path passes through, with a
// small cache that re-checks each folder before it serves.
#include "pathaccess.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>
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

namespace {

// Chains asked for lately, by path. A cached chain serves only while its
// folder is still the same one (one stat each time), so a folder replaced
// or a link turned elsewhere is seen at once; binding the many folders of
// one folder then costs two looks each instead of one per level.
std::mutex g_chainMutex;
std::unordered_map<std::string, std::vector<FileId>> g_chains;
constexpr size_t kChainsKept = 4096;

std::string ParentOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

} // namespace

std::vector<FileId> FolderChain(const std::string& path, bool* isFolder) {
    if (isFolder) *isFolder = false;
    if (path.empty() || path[0] != '/' || (path.size() > 1 && path.back() == '/')) return {};
    // Up from the path to the first prefix whose cached chain still holds.
    std::vector<std::pair<std::string, FileId>> missing;
    std::vector<FileId> chain;
    std::string at = path;
    for (;;) {
        struct stat st;
        if (StatAnyPath(at, st, true) != 0) return {};
        if (at == path && isFolder) *isFolder = S_ISDIR(st.st_mode);
        {
            std::lock_guard lock(g_chainMutex);
            const auto found = g_chains.find(at);
            if (found != g_chains.end() && found->second.back() == IdOf(st)) {
                chain = found->second;
                break;
            }
        }
        missing.emplace_back(at, IdOf(st));
        if (at == "/") break;
        at = ParentOf(at);
    }
    // Down again, keeping what was learnt.
    std::lock_guard lock(g_chainMutex);
    if (g_chains.size() > kChainsKept) g_chains.clear();
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        chain.push_back(it->second);
        g_chains[it->first] = chain;
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
