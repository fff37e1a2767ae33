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
        if (written && shellns::RenameNoReplaceAt(AT_FDCWD, from, AT_FDCWD, trash + "/files/" + name)) return true;
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
                    std::vector<std::string>* failed, std::vector<ShellProblem>* problems) {
    return shellns::TransferItems(sources, targetDir, false, failed, problems);
}

bool ShellMoveItems(const std::vector<std::string>& sources, const std::string& targetDir,
                    std::vector<std::string>* failed, std::vector<ShellProblem>* problems) {
    return shellns::TransferItems(sources, targetDir, true, failed, problems);
}

bool ShellRenameItem(const std::string& rawPath, const std::string& newName, std::string* newPath) {
    const std::string path = NormalisePath(rawPath);
    if (path.empty() || path == "/" || !IsValidItemName(newName)) return false;
    const std::string target = JoinPath(ExtractFileDir(path), newName);
    if (target == path) {
        if (newPath) *newPath = path;
        return PathExists(path);
    }
    const bool folder = shellns::IsRealDirectory(path);
    if (!shellns::RenameNoReplaceAt(AT_FDCWD, path, AT_FDCWD, target)) return false;
    if (newPath) *newPath = target;
    SHChangeNotifyPaths(folder ? SHCNE_RENAMEFOLDER : SHCNE_RENAMEITEM, path, target);
    return true;
}

bool ShellTrashItems(const std::vector<std::string>& paths, std::vector<std::string>* failed,
                     std::vector<ShellProblem>* problems) {
    bool all = true;
    for (const std::string& raw : paths) {
        const std::string from = NormalisePath(raw);
        const bool folder = shellns::IsRealDirectory(from);
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
