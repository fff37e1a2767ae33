// Launching items and reading links.
#include "items.h"
#include "platform/shellns/desktopentry.h"
#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellops.h"
#include "rtl/sysutils.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
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

// A launcher's program named without a folder: the first executable file
// of that name on PATH; the name itself when there is none.
std::string ProgramOnPath(const std::string& program) {
    if (program.find('/') != std::string::npos) return program;
    const char* path = std::getenv("PATH");
    std::string_view dirs = path ? path : "";
    while (!dirs.empty()) {
        const size_t colon = dirs.find(':');
        const std::string_view dir = dirs.substr(0, colon);
        dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
        if (dir.empty() || dir.front() != '/') continue;
        const std::string candidate = IncludeTrailingPathDelimiter(dir) + program;
        if (IsExecutableFile(candidate)) return candidate;
    }
    return program;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The local path a "file:" address names (host empty or "localhost");
// empty when it names none or its escapes are broken.
std::string PathOfFileUrl(const std::string& url) {
    constexpr std::string_view kScheme = "file://";
    if (url.compare(0, kScheme.size(), kScheme) != 0) return {};
    std::string_view rest = std::string_view(url).substr(kScheme.size());
    if (rest.substr(0, 9) == "localhost") rest.remove_prefix(9);
    if (rest.empty() || rest.front() != '/') return {};
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '%') {
            path.push_back(rest[i]);
            continue;
        }
        const int high = i + 2 < rest.size() ? HexDigit(rest[i + 1]) : -1;
        const int low = high >= 0 ? HexDigit(rest[i + 2]) : -1;
        if (low < 0 || (high == 0 && low == 0)) return {};
        path.push_back(char(high * 16 + low));
        i += 2;
    }
    return shellns::NormalisePath(path);
}

// The launcher's text, read through a descriptor that is a regular file and
// no larger than a launcher can be.
bool ReadLauncherText(const std::string& path, std::string& text) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && size_t(st.st_size) <= kMaxLauncherSize;
    text.assign(kMaxLauncherSize + 1, '\0');
    size_t got = 0;
    while (ok && got < text.size()) {
        const ssize_t n = read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        got += size_t(n);
    }
    close(fd);
    text.resize(got);
    return ok && got <= kMaxLauncherSize;
}

bool ReadLauncherLink(const std::string& linkPath, ShellLinkData& data) {
    std::string text;
    DesktopLauncher launcher;
    if (!ReadLauncherText(linkPath, text) || !ReadDesktopLauncher(text, launcher)) return false;
    data = ShellLinkData{};
    if (launcher.type == "Link") {
        const std::string path = PathOfFileUrl(launcher.url);
        data.targetPath = path.empty() ? launcher.url : path;
    } else {
        data.targetPath = ProgramOnPath(launcher.command.front());
        data.arguments = JoinParameters({launcher.command.begin() + 1, launcher.command.end()});
    }
    data.workingDirectory = launcher.path;
    data.description = launcher.comment;
    data.iconLocation = launcher.icon;
    return true;
}

} // namespace

std::string JoinParameters(const std::vector<std::string>& args) {
    std::string out;
    for (const std::string& arg : args) {
        if (!out.empty()) out.push_back(' ');
        const bool quote = arg.empty() || arg.find_first_of(" \t") != std::string::npos;
        // A closing quote must not follow a backslash of the argument, or
        // it would read as an escaped quote: trailing backslashes go after.
        size_t body = arg.size();
        if (quote)
            while (body > 0 && arg[body - 1] == '\\') --body;
        if (quote) out.push_back('"');
        for (size_t i = 0; i < body; ++i) {
            if (arg[i] == '"') out.push_back('\\');
            out.push_back(arg[i]);
        }
        if (quote) out.push_back('"');
        out.append(arg, body, std::string::npos);
    }
    return out;
}

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
    if (lstat(linkPath.c_str(), &st) != 0) return false;
    if (S_ISREG(st.st_mode) && IsLauncherName(ExtractFileName(linkPath)))
        return ReadLauncherLink(linkPath, data);
    if (!S_ISLNK(st.st_mode)) return false;
    std::string target(size_t(st.st_size) + 256, '\0');
    const ssize_t n = readlink(linkPath.c_str(), target.data(), target.size());
    if (n < 0) return false;
    target.resize(size_t(n));
    if (target.empty()) return false;
    if (target[0] != '/') target = ExtractFilePath(linkPath) + target;
    data = ShellLinkData{};
    data.targetPath = shellns::NormalisePath(target);
    data.workingDirectory = ExtractFileDir(data.targetPath);
    return true;
}

} // namespace ax
