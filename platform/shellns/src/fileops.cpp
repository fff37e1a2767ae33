// File operations that never overwrite, the trash, and the change bus.
#include "items.h"
#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellops.h"
#include "rtl/clock.h"
#include "rtl/sysutils.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace ax {
namespace {

using shellns::JoinPath;
using shellns::NormalisePath;

// rename that fails with EEXIST instead of replacing the target.
bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without the flag: link and unlink cannot replace either.
    struct stat st;
    if (lstat(from.c_str(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode)) {
        if (link(from.c_str(), to.c_str()) != 0) return false;
        return unlink(from.c_str()) == 0;
    }
    if (lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return rename(from.c_str(), to.c_str()) == 0;
}

bool RemoveTree(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode)) return unlink(path.c_str()) == 0;
    bool ok = true;
    if (DIR* dir = opendir(path.c_str())) {
        while (dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") ok = RemoveTree(JoinPath(path, name)) && ok;
        }
        closedir(dir);
    }
    return rmdir(path.c_str()) == 0 && ok;
}

bool CopyFileData(const std::string& from, const std::string& to, mode_t mode) {
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 07777);
    if (out < 0) {
        close(in);
        return false;
    }
    bool ok = true;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(in, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(out, buffer + done, size_t(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok) break;
    }
    struct stat st;
    if (ok && fstat(in, &st) == 0) {
        const timespec times[2] = {st.st_atim, st.st_mtim};
        futimens(out, times);
    }
    if (close(out) != 0) ok = false;
    close(in);
    if (!ok) unlink(to.c_str());
    return ok;
}

// Copies a tree to a target that must not exist; on failure nothing of the
// copy is left behind.
bool CopyTree(const std::string& from, const std::string& to) {
    struct stat st;
    if (lstat(from.c_str(), &st) != 0) return false;
    if (S_ISLNK(st.st_mode)) {
        std::string target(size_t(st.st_size) + 1, '\0');
        const ssize_t n = readlink(from.c_str(), target.data(), target.size());
        if (n < 0) return false;
        target.resize(size_t(n));
        return symlink(target.c_str(), to.c_str()) == 0;
    }
    if (S_ISREG(st.st_mode)) return CopyFileData(from, to, st.st_mode);
    if (!S_ISDIR(st.st_mode)) return false;
    if (mkdir(to.c_str(), (st.st_mode & 07777) | S_IRWXU) != 0) return false;
    bool ok = true;
    if (DIR* dir = opendir(from.c_str())) {
        while (ok) {
            dirent* e = readdir(dir);
            if (!e) break;
            const std::string name = e->d_name;
            if (name != "." && name != "..")
                ok = CopyTree(JoinPath(from, name), JoinPath(to, name));
        }
        closedir(dir);
    } else {
        ok = false;
    }
    if (!ok)
        RemoveTree(to);
    else
        chmod(to.c_str(), st.st_mode & 07777);
    return ok;
}

bool IsComponentPrefix(const std::string& prefix, const std::string& path) {
    if (prefix == "/") return true;
    return path.compare(0, prefix.size(), prefix) == 0 &&
           (path.size() == prefix.size() || path[prefix.size()] == '/');
}

bool IsFolderPath(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Transfer(const std::vector<std::string>& sources, const std::string& targetDir, bool move,
              std::vector<std::string>* failed) {
    const std::string dir = NormalisePath(targetDir);
    bool all = true;
    for (const std::string& raw : sources) {
        const std::string from = NormalisePath(raw);
        const std::string name = ExtractFileName(from);
        const std::string to = JoinPath(dir, name);
        bool ok = !dir.empty() && shellns::IsFolderFollowingLinks(dir) && IsValidItemName(name) &&
                  !IsComponentPrefix(from, dir); // not into itself
        const bool folder = ok && IsFolderPath(from);
        if (ok) {
            if (move) {
                ok = RenameNoReplace(from, to);
                if (!ok && errno == EXDEV) {
                    struct stat st;
                    ok = lstat(to.c_str(), &st) != 0 && CopyTree(from, to);
                    // The source goes only once the whole copy is there.
                    if (ok) RemoveTree(from);
                }
            } else {
                struct stat st;
                ok = lstat(to.c_str(), &st) != 0 && CopyTree(from, to);
            }
        }
        if (!ok) {
            all = false;
            if (failed) failed->push_back(raw);
            continue;
        }
        if (move)
            SHChangeNotifyPaths(folder ? SHCNE_RENAMEFOLDER : SHCNE_RENAMEITEM, from, to);
        else
            SHChangeNotifyPaths(folder ? SHCNE_MKDIR : SHCNE_CREATE, to);
    }
    return all;
}

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

bool TrashOne(const std::string& from) {
    const std::string trash = TrashDirectory();
    if (!ForceDirectories(trash + "/files") || !ForceDirectories(trash + "/info")) return false;
    chmod(trash.c_str(), 0700);
    struct stat src, dst;
    if (lstat(from.c_str(), &src) != 0 || stat((trash + "/files").c_str(), &dst) != 0) return false;
    // Another file system would need a copy; the item stays rather than
    // being deleted for good.
    if (src.st_dev != dst.st_dev) return false;
    const std::string base = ExtractFileName(from);
    int year, month, day, hour, minute, second, ms;
    const TDateTime now = CurrentClock().Now();
    DecodeDate(now, year, month, day);
    DecodeTime(now, hour, minute, second, ms);
    char date[32];
    std::snprintf(date, sizeof date, "%04d-%02d-%02dT%02d:%02d:%02d", year, month, day, hour,
                  minute, second);
    const std::string info =
        "[Trash Info]\nPath=" + PercentEncode(from) + "\nDeletionDate=" + date + "\n";
    for (int n = 1; n < 10000; ++n) {
        const std::string name = n == 1 ? base : base + "." + std::to_string(n);
        const std::string infoPath = trash + "/info/" + name + ".trashinfo";
        const int fd = open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        const bool written = write(fd, info.data(), info.size()) == ssize_t(info.size());
        close(fd);
        if (written && RenameNoReplace(from, trash + "/files/" + name)) return true;
        unlink(infoPath.c_str());
        if (errno != EEXIST) return false;
    }
    return false;
}

std::mutex g_busMutex;
std::map<int, ShellChangeListener> g_listeners;
int g_nextListener = 1;

} // namespace

bool ShellCopyItems(const std::vector<std::string>& sources, const std::string& targetDir,
                    std::vector<std::string>* failed) {
    return Transfer(sources, targetDir, false, failed);
}

bool ShellMoveItems(const std::vector<std::string>& sources, const std::string& targetDir,
                    std::vector<std::string>* failed) {
    return Transfer(sources, targetDir, true, failed);
}

bool ShellRenameItem(const std::string& rawPath, const std::string& newName, std::string* newPath) {
    const std::string path = NormalisePath(rawPath);
    if (path.empty() || path == "/" || !IsValidItemName(newName)) return false;
    const std::string target = JoinPath(ExtractFileDir(path), newName);
    if (target == path) {
        if (newPath) *newPath = path;
        return PathExists(path);
    }
    const bool folder = IsFolderPath(path);
    if (!RenameNoReplace(path, target)) return false;
    if (newPath) *newPath = target;
    SHChangeNotifyPaths(folder ? SHCNE_RENAMEFOLDER : SHCNE_RENAMEITEM, path, target);
    return true;
}

bool ShellTrashItems(const std::vector<std::string>& paths, std::vector<std::string>* failed) {
    bool all = true;
    for (const std::string& raw : paths) {
        const std::string from = NormalisePath(raw);
        const bool folder = IsFolderPath(from);
        if (from.empty() || from == "/" || !TrashOne(from)) {
            all = false;
            if (failed) failed->push_back(raw);
            continue;
        }
        SHChangeNotifyPaths(folder ? SHCNE_RMDIR : SHCNE_DELETE, from);
        const std::string bin =
            shellns::ItemBytes(PIDL_KIND_VIRTUAL, kVirtualRecycleBin) + std::string(2, '\0');
        SHChangeNotify(SHCNE_UPDATEDIR, reinterpret_cast<PCItemIDList>(bin.data()), nullptr);
    }
    return all;
}

namespace shellns {
bool ResolveTrashName(const std::string& trashName, std::string& path) {
    if (!IsValidItemName(trashName)) return false;
    path = TrashDirectory() + "/files/" + trashName;
    return true;
}
} // namespace shellns

bool ReadTrashInfo(const std::string& trashName, std::string& originalPath,
                   std::string& deletionDate) {
    std::ifstream in(TrashDirectory() + "/info/" + trashName + ".trashinfo");
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
        originalPath = JoinPath(ExtractFileDir(TrashDirectory()), originalPath);
    return !originalPath.empty();
}

int SubscribeShellChanges(ShellChangeListener listener) {
    std::lock_guard lock(g_busMutex);
    const int id = g_nextListener++;
    g_listeners.emplace(id, std::move(listener));
    return id;
}

void UnsubscribeShellChanges(int id) {
    std::lock_guard lock(g_busMutex);
    g_listeners.erase(id);
}

void SHChangeNotify(uint32_t event, PCItemIDList pidl1, PCItemIDList pidl2) {
    std::vector<ShellChangeListener> listeners;
    {
        std::lock_guard lock(g_busMutex);
        for (const auto& [id, l] : g_listeners)
            listeners.push_back(l);
    }
    for (const auto& l : listeners)
        l(event, pidl1, pidl2);
}

void SHChangeNotifyPaths(uint32_t event, const std::string& path1, const std::string& path2) {
    const std::string a = path1.empty() ? std::string() : PathToPidlBytes(path1);
    const std::string b = path2.empty() ? std::string() : PathToPidlBytes(path2);
    SHChangeNotify(event, a.empty() ? nullptr : reinterpret_cast<PCItemIDList>(a.data()),
                   b.empty() ? nullptr : reinterpret_cast<PCItemIDList>(b.data()));
}

} // namespace ax
