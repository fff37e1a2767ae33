// Launching items and reading links.
#include "items.h"
#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellops.h"
#include "rtl/sysutils.h"

#include <cerrno>
#include <mutex>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace ax {
namespace {

std::mutex g_openerMutex;
std::vector<std::string> g_opener;

// Opens a folder for the child and closes it again, so the spawning
// process's working folder is never changed.
class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    bool ChangeDirectory(const std::string& dir) {
        return posix_spawn_file_actions_addchdir_np(&actions_, dir.c_str()) == 0;
    }
    posix_spawn_file_actions_t* Get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

int WaitChild(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool IsExecutableFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

} // namespace

void SetShellOpener(std::vector<std::string> command) {
    std::lock_guard lock(g_openerMutex);
    g_opener = std::move(command);
}

std::vector<std::string> SplitParameters(const std::string& parameters) {
    std::vector<std::string> out;
    std::string current;
    bool inQuotes = false;
    bool have = false;
    for (size_t i = 0; i < parameters.size(); ++i) {
        const char c = parameters[i];
        if (c == '\\' && i + 1 < parameters.size() && parameters[i + 1] == '"') {
            current.push_back('"');
            have = true;
            ++i;
        } else if (c == '"') {
            inQuotes = !inQuotes;
            have = true;
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            if (have) out.push_back(current);
            current.clear();
            have = false;
        } else {
            current.push_back(c);
            have = true;
        }
    }
    if (have) out.push_back(current);
    return out;
}

bool ShellExecuteEx(SHELLEXECUTEINFO& info) {
    info.hInstApp = 0;
    info.hProcess = 0;
    info.exitCode = -1;
    std::string file = info.lpFile;
    if ((info.fMask & SEE_MASK_IDLIST) && info.lpIDList) file = SHGetPathFromIDList(info.lpIDList);
    if (file.empty()) {
        info.hInstApp = 2; // SE_ERR_FNF
        return false;
    }
    std::vector<std::string> argv;
    const bool direct = IsExecutableFile(file);
    if (direct) {
        argv.push_back(file);
        for (auto& p : SplitParameters(info.lpParameters))
            argv.push_back(std::move(p));
    } else {
        {
            std::lock_guard lock(g_openerMutex);
            argv = g_opener;
        }
        if (argv.empty()) argv.push_back("xdg-open");
        argv.push_back(file);
    }
    std::vector<char*> args;
    for (auto& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);

    SpawnActions actions;
    const std::string dir = !info.lpDirectory.empty() && DirectoryExists(info.lpDirectory)
                                ? info.lpDirectory
                                : ExtractFileDir(file);
    if (!dir.empty() && DirectoryExists(dir)) actions.ChangeDirectory(dir);
    pid_t pid = 0;
    const int rc = direct
                       ? posix_spawn(&pid, args[0], actions.Get(), nullptr, args.data(), environ)
                       : posix_spawnp(&pid, args[0], actions.Get(), nullptr, args.data(), environ);
    if (rc != 0) {
        info.hInstApp = rc == ENOENT ? 2 : 31; // SE_ERR_FNF, SE_ERR_NOASSOC
        return false;
    }
    info.hInstApp = 42;
    info.hProcess = pid;
    if (info.fMask & SEE_MASK_NOASYNC) {
        info.exitCode = WaitChild(pid);
    } else {
        // Nobody else waits for the child: reap it when it ends.
        std::thread([pid] { WaitChild(pid); }).detach();
    }
    return true;
}

bool ReadShellLink(const std::string& linkPath, ShellLinkData& data) {
    struct stat st;
    if (lstat(linkPath.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return false;
    std::string target(size_t(st.st_size) + 256, '\0');
    const ssize_t n = readlink(linkPath.c_str(), target.data(), target.size());
    if (n < 0) return false;
    target.resize(size_t(n));
    if (target.empty()) return false;
    if (target[0] != '/') target = ExtractFilePath(linkPath) + target;
    data.targetPath = shellns::NormalisePath(target);
    data.workingDirectory = ExtractFileDir(data.targetPath);
    return true;
}

} // namespace ax
