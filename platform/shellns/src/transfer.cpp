// Copying and moving items: never over anything, never a half copy under
// the final name, never a folder into itself.
#include "items.h"
#include "pathaccess.h"
#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellops.h"
#include "rtl/scopeguard.h"
#include "rtl/sysutils.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <functional>
#include <optional>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace ax::shellns {

bool RenameNoReplaceAt(int fromDir, const std::string& from, int toDir, const std::string& to) {
    if (::renameat2(fromDir, from.c_str(), toDir, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without the flag: link and unlink cannot replace either.
    struct stat st;
    if (::fstatat(fromDir, from.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (!S_ISDIR(st.st_mode)) {
        if (::linkat(fromDir, from.c_str(), toDir, to.c_str(), 0) != 0) return false;
        return ::unlinkat(fromDir, from.c_str(), 0) == 0;
    }
    if (::fstatat(toDir, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::renameat(fromDir, from.c_str(), toDir, to.c_str()) == 0;
}

bool RemoveTreeAt(int dirfd, const std::string& name, const std::vector<FileId>& keep,
                  bool ownCopy) {
    struct stat st;
    if (::fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
    if (Contains(keep, IdOf(st))) return true;
    if (!S_ISDIR(st.st_mode)) return ::unlinkat(dirfd, name.c_str(), 0) == 0;
    // A copy of ours may have taken a read-only folder's permissions.
    if (ownCopy) ::fchmodat(dirfd, name.c_str(), 0700, 0);
    UniqueFd fd(::openat(dirfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) return false;
    DIR* dir = ::fdopendir(fd.Get());
    if (!dir) return false;
    const int inner = fd.Release();
    const ScopeGuard closeDir([dir] { ::closedir(dir); });
    bool ok = true;
    bool keptSome = false;
    while (const dirent* e = ::readdir(dir)) {
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
        struct stat child;
        if (::fstatat(inner, e->d_name, &child, AT_SYMLINK_NOFOLLOW) == 0 &&
            Contains(keep, IdOf(child)))
            keptSome = true;
        ok = RemoveTreeAt(inner, e->d_name, keep, ownCopy) && ok;
    }
    if (::unlinkat(dirfd, name.c_str(), AT_REMOVEDIR) == 0) return ok;
    // A folder that holds what must stay is not emptied; that is no failure.
    return ok && keptSome && errno == ENOTEMPTY;
}

namespace {

std::string ErrorText(int error) {
    return std::strerror(error);
}

// Copies one item and all it holds. Durable copies reach the disk before
// they count (a move removes the source afterwards).
class TreeCopier {
public:
    TreeCopier(bool durable, std::vector<ShellProblem>* problems)
        : durable_(durable), problems_(problems) {}

    // srcName in srcDir (srcPath names it in reports) to dstName in dstDir,
    // which must not exist. False when the copy failed: the caller removes
    // what was made.
    bool Copy(int srcDir, const std::string& srcName, const std::string& srcPath, int dstDir,
              const std::string& dstName) {
        struct stat st;
        if (::fstatat(srcDir, srcName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return Problem(srcPath, ErrorText(errno));
        if (S_ISREG(st.st_mode)) return CopyFile(srcDir, srcName, srcPath, dstDir, dstName, st);
        if (S_ISDIR(st.st_mode)) return CopyFolder(srcDir, srcName, srcPath, dstDir, dstName, st);
        if (S_ISLNK(st.st_mode)) return CopyLink(srcDir, srcName, srcPath, dstDir, dstName, st);
        return CopySpecial(srcPath, dstDir, dstName, st);
    }

    // What could not be copied and was left out (by identity).
    const std::vector<FileId>& Left() const { return left_; }

private:
    bool Problem(const std::string& path, const std::string& reason) {
        if (problems_) problems_->push_back({path, reason});
        return false;
    }

    static bool SetTimes(int dirfd, const std::string& name, const struct stat& st, int flags) {
        const timespec times[2] = {st.st_atim, st.st_mtim};
        return ::utimensat(dirfd, name.c_str(), times, flags) == 0;
    }

    bool CopyBytes(int in, int out) {
        bool rangeWorks = true;
        for (;;) {
            if (rangeWorks) {
                const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
                if (n > 0) continue;
                if (n == 0) return true;
                if (errno == EINTR) continue;
                if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
                    return false;
                rangeWorks = false; // not between these two: copy by hand
            }
            const ssize_t n = ::read(in, buffer_.data(), buffer_.size());
            if (n == 0) return true;
            if (n < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            for (ssize_t done = 0; done < n;) {
                const ssize_t w = ::write(out, buffer_.data() + done, size_t(n - done));
                if (w < 0 && errno == EINTR) continue;
                if (w <= 0) return false;
                done += w;
            }
        }
    }

    bool CopyFile(int srcDir, const std::string& srcName, const std::string& srcPath, int dstDir,
                  const std::string& dstName, const struct stat& st) {
        UniqueFd in(::openat(srcDir, srcName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!in) return Problem(srcPath, ErrorText(errno));
        UniqueFd out(::openat(dstDir, dstName.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!out) return Problem(srcPath, ErrorText(errno));
        if (buffer_.empty()) buffer_.resize(1 << 18);
        if (!CopyBytes(in.Get(), out.Get())) return Problem(srcPath, ErrorText(errno));
        const timespec times[2] = {st.st_atim, st.st_mtim};
        if (::fchmod(out.Get(), st.st_mode & 07777) != 0 || ::futimens(out.Get(), times) != 0 ||
            (durable_ && ::fsync(out.Get()) != 0))
            return Problem(srcPath, ErrorText(errno));
        if (::close(out.Release()) != 0) return Problem(srcPath, ErrorText(errno));
        return true;
    }

    bool CopyFolder(int srcDir, const std::string& srcName, const std::string& srcPath,
                    int dstDir, const std::string& dstName, const struct stat& st) {
        // A folder mounted inside itself, or the copy itself met again,
        // would never end.
        if (Contains(copying_, IdOf(st))) return Problem(srcPath, "the folder holds itself");
        if (top_ && *top_ == IdOf(st)) return Problem(srcPath, "a folder cannot go into itself");
        if (::mkdirat(dstDir, dstName.c_str(), 0700) != 0) return Problem(srcPath, ErrorText(errno));
        UniqueFd src(::openat(srcDir, srcName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        UniqueFd dst(::openat(dstDir, dstName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!src || !dst) return Problem(srcPath, ErrorText(errno));
        // Meeting the copy's own top folder is the only way into itself.
        struct stat made;
        if (!top_ && ::fstat(dst.Get(), &made) == 0) top_ = IdOf(made);
        DIR* dir = ::fdopendir(::dup(src.Get()));
        if (!dir) return Problem(srcPath, ErrorText(errno));
        const ScopeGuard closeDir([dir] { ::closedir(dir); });
        copying_.push_back(IdOf(st));
        const ScopeGuard leave([this] { copying_.pop_back(); });
        errno = 0;
        while (const dirent* e = ::readdir(dir)) {
            if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
            const std::string name = e->d_name;
            if (!Copy(src.Get(), name, JoinPath(srcPath, name), dst.Get(), name)) return false;
            errno = 0;
        }
        if (errno != 0) return Problem(srcPath, ErrorText(errno));
        // The times last: filling the folder changed them.
        const timespec times[2] = {st.st_atim, st.st_mtim};
        if (::fchmod(dst.Get(), st.st_mode & 07777) != 0 || ::futimens(dst.Get(), times) != 0 ||
            (durable_ && ::fsync(dst.Get()) != 0))
            return Problem(srcPath, ErrorText(errno));
        return true;
    }

    bool CopyLink(int srcDir, const std::string& srcName, const std::string& srcPath, int dstDir,
                  const std::string& dstName, const struct stat& st) {
        std::string target(size_t(st.st_size > 0 ? st.st_size : 4095) + 1, '\0');
        const ssize_t n = ::readlinkat(srcDir, srcName.c_str(), target.data(), target.size());
        if (n < 0 || size_t(n) >= target.size()) return Problem(srcPath, ErrorText(n < 0 ? errno : EOVERFLOW));
        target.resize(size_t(n));
        if (::symlinkat(target.c_str(), dstDir, dstName.c_str()) != 0 ||
            !SetTimes(dstDir, dstName, st, AT_SYMLINK_NOFOLLOW))
            return Problem(srcPath, ErrorText(errno));
        return true;
    }

    // FIFOs and sockets are made anew; device nodes only where the system
    // lets us, else they are left out and reported.
    bool CopySpecial(const std::string& srcPath, int dstDir, const std::string& dstName,
                     const struct stat& st) {
        const int made = S_ISFIFO(st.st_mode)
                             ? ::mkfifoat(dstDir, dstName.c_str(), st.st_mode & 07777)
                             : ::mknodat(dstDir, dstName.c_str(), st.st_mode, st.st_rdev);
        if (made != 0) {
            if (errno != EPERM && errno != EACCES) return Problem(srcPath, ErrorText(errno));
            left_.push_back(IdOf(st));
            Problem(srcPath, S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)
                                 ? "a device node only an administrator may make: left where it is"
                                 : ErrorText(errno) + ": left where it is");
            return true;
        }
        SetTimes(dstDir, dstName, st, AT_SYMLINK_NOFOLLOW);
        return true;
    }

    bool durable_;
    std::vector<ShellProblem>* problems_;
    std::vector<FileId> copying_;
    std::optional<FileId> top_;
    std::vector<FileId> left_;
    std::vector<char> buffer_;
};

// A name in dir that nothing has, for a copy being made.
std::string TemporaryName(int dir) {
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::random_device random;
    for (;;) {
        std::string name = ".axpart-";
        for (int i = 0; i < 10; ++i) name += kDigits[random() % 36];
        struct stat st;
        if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT)
            return name;
    }
}

// "name (2).ext", "name (3).ext", ...: the first that nothing in dir has.
std::string FreeCopyName(int dir, const std::string& name) {
    const size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : std::string();
    for (unsigned n = 2;; ++n) {
        const std::string candidate = stem + " (" + std::to_string(n) + ")" + extension;
        struct stat st;
        if (::fstatat(dir, candidate.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT)
            return candidate;
    }
}

} // namespace

namespace {

// Copies or moves one item into the target folder; false when it failed
// (reported in failed and problems).
bool TransferOne(const std::string& raw, int target, const std::string& targetDir,
                 const std::vector<FileId>& targetChain, bool move, bool freeName,
                 std::vector<std::string>* failed, std::vector<ShellProblem>* problems) {
    auto refuse = [&](const std::string& reason) {
        if (failed) failed->push_back(raw);
        if (problems) problems->push_back({raw, reason});
        return false;
    };
    const std::string from = NormalisePath(raw);
    std::string name = ExtractFileName(from);
    if (target < 0) return refuse(targetDir + " is no folder to put items in");
    ParentRef source;
    struct stat st;
    if (from.empty() || !IsValidItemName(name) || !OpenParentOf(from, source) ||
        ::fstatat(source.dirfd, source.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return refuse(from.empty() || !IsValidItemName(name) ? "cannot be copied" : ErrorText(errno));
    const bool folder = S_ISDIR(st.st_mode);
    if (folder && Contains(targetChain, IdOf(st))) return refuse("a folder cannot go into itself");
    struct stat there;
    if (::fstatat(target, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!freeName || move) return refuse("an item called " + name + " is already there");
        name = FreeCopyName(target, name);
    }
    bool copy = !move;
    if (move && !RenameNoReplaceAt(source.dirfd, source.name, target, name)) {
        if (errno != EXDEV) return refuse(ErrorText(errno));
        copy = true; // another file system
    }
    bool ok = true;
    if (copy) {
        TreeCopier copier(move, problems);
        const std::string temporary = TemporaryName(target);
        bool made = copier.Copy(source.dirfd, source.name, from, target, temporary);
        if (made && !RenameNoReplaceAt(target, temporary, target, name)) {
            made = false;
            if (problems) problems->push_back({raw, ErrorText(errno)});
        }
        if (!made) {
            RemoveTreeAt(target, temporary, {}, true);
            if (failed) failed->push_back(raw);
            return false;
        }
        if (move) {
            if (::fsync(target) != 0)
                return refuse("the copy could not be made durable; the original stays");
            // The original goes only now, and not what could not be copied.
            if (!RemoveTreeAt(source.dirfd, source.name, copier.Left(), false))
                ok = refuse("copied, but the original could not be removed entirely");
        }
        if (ok && !copier.Left().empty()) {
            ok = false;
            if (failed) failed->push_back(raw);
        }
    }
    const std::string to = JoinPath(NormalisePath(targetDir), name);
    if (move)
        SHChangeNotifyPaths(folder ? SHCNE_RENAMEFOLDER : SHCNE_RENAMEITEM, from, to);
    else
        SHChangeNotifyPaths(folder ? SHCNE_MKDIR : SHCNE_CREATE, to);
    return ok;
}

} // namespace

bool TransferItems(const std::vector<std::string>& sources, const std::string& targetDir,
                   bool move, std::vector<std::string>* failed,
                   std::vector<ShellProblem>* problems, bool freeName,
                   const std::function<void()>& itemDone) {
    const std::string dir = NormalisePath(targetDir);
    UniqueFd target;
    if (!dir.empty() && IsFolderItem(dir)) target = OpenAnyPath(dir, O_RDONLY | O_DIRECTORY);
    // The folders the target really lies in, whatever links lead there: a
    // source among them would go into itself.
    const std::vector<FileId> targetChain = target ? PhysicalAncestry(target.Get()) : std::vector<FileId>();
    if (targetChain.empty()) target.Reset();
    bool all = true;
    for (const std::string& raw : sources) {
        all = TransferOne(raw, target ? target.Get() : -1, targetDir, targetChain, move, freeName,
                          failed, problems) &&
              all;
        if (itemDone) itemDone();
    }
    return all;
}

} // namespace ax::shellns
