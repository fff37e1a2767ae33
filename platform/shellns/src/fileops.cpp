// File operations that never overwrite, the trash, and the change bus.
#include "items.h"
#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellops.h"
#include "rtl/clock.h"
#include "rtl/sysutils.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
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

std::mutex g_busMutex;
std::map<int, ShellChangeListener> g_listeners;
int g_nextListener = 1;

} // namespace

bool ShellCopyItems(const std::vector<std::string>& sources, const std::string& targetDir,
                    std::vector<std::string>* failed, std::vector<ShellProblem>* problems) {
    return shellns::TransferItems(sources, targetDir, false, failed, problems);
}

bool ShellCopyItemsRenaming(const std::vector<std::string>& sources, const std::string& targetDir,
                            std::vector<std::string>* failed, std::vector<ShellProblem>* problems) {
    return shellns::TransferItems(sources, targetDir, false, failed, problems, true);
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

bool ShellLinkItem(const std::string& rawPath, std::string* linkPath,
                   std::vector<ShellProblem>* problems) {
    return ShellLinkItemInto(rawPath, ExtractFileDir(NormalisePath(rawPath)), linkPath, problems);
}

bool ShellLinkItemInto(const std::string& rawPath, const std::string& folder,
                       std::string* linkPath, std::vector<ShellProblem>* problems) {
    const std::string path = NormalisePath(rawPath);
    const std::string name = ExtractFileName(path);
    auto refuse = [&](const std::string& reason) {
        if (problems) problems->push_back({rawPath, reason});
        return false;
    };
    if (path.empty() || path == "/" || !IsValidItemName(name)) return refuse("cannot be linked to");
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return refuse(std::strerror(errno));
    const std::string dir = NormalisePath(folder);
    if (dir.empty() || !shellns::IsFolderItem(dir)) return refuse(folder + " is no folder to put links in");
    // symlink(2) never replaces: a taken name moves on to the next one.
    for (unsigned n = 1;; ++n) {
        std::string linkName = "Link to " + name;
        if (n > 1) linkName += " (" + std::to_string(n) + ")";
        if (!IsValidItemName(linkName) || linkName.size() > 255) return refuse("the link's name is too long");
        const std::string target = JoinPath(dir, linkName);
        if (::symlink(path.c_str(), target.c_str()) == 0) {
            if (linkPath) *linkPath = target;
            SHChangeNotifyPaths(SHCNE_CREATE, target);
            return true;
        }
        if (errno != EEXIST) return refuse(std::strerror(errno));
    }
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
