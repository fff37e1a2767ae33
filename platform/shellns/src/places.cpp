// User folders and volumes.
#include "platform/shellns/shellops.h"
#include "rtl/sysutils.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <pwd.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace ax {
namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

constexpr const char* kProcMounts = "/proc/self/mounts";
std::mutex g_mountMutex;
std::string g_mountFile = kProcMounts;
// The kernel's mount table is read again only after it changed: its file
// reports a change to poll() as POLLPRI. Other files (tests) are always read.
int g_mountWatch = -1;
bool g_mountCacheValid = false;
std::vector<Volume> g_mountCache;

// Mount-table fields escape blanks and backslashes as octal.
std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3') {
            out.push_back(
                static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

bool IsComponentPrefix(const std::string& prefix, const std::string& path) {
    if (prefix == "/") return !path.empty() && path[0] == '/';
    return path.compare(0, prefix.size(), prefix) == 0 &&
           (path.size() == prefix.size() || path[prefix.size()] == '/');
}

bool StartsWith(const std::string& s, const std::string& p) {
    return s.compare(0, p.size(), p) == 0;
}

bool IsRemoteType(const std::string& t) {
    static const char* const kRemote[] = {"nfs",        "nfs4",        "cifs", "smb3",      "smbfs",
                                          "9p",         "afs",         "ceph", "glusterfs", "davfs",
                                          "fuse.sshfs", "fuse.davfs2", "sshfs"};
    return std::any_of(std::begin(kRemote), std::end(kRemote),
                       [&](const char* r) { return t == r; });
}

} // namespace

std::string HomeDirectory() {
    std::string home = Env("HOME");
    if (home.empty()) {
        if (const passwd* pw = getpwuid(getuid())) home = pw->pw_dir;
    }
    return home.empty() ? std::string("/") : ExcludeTrailingPathDelimiter(home);
}

std::string DataHomeDirectory() {
    std::string d = Env("XDG_DATA_HOME");
    if (d.empty() || d[0] != '/') d = HomeDirectory() + "/.local/share";
    return ExcludeTrailingPathDelimiter(d);
}

std::string TrashDirectory() {
    return DataHomeDirectory() + "/Trash";
}

std::string XdgUserDirectory(const std::string& key) {
    const std::string home = HomeDirectory();
    std::string config = Env("XDG_CONFIG_HOME");
    if (config.empty() || config[0] != '/') config = home + "/.config";
    std::string result;
    std::ifstream in(config + "/user-dirs.dirs");
    const std::string prefix = "XDG_" + key + "_DIR=";
    for (std::string line; std::getline(in, line);) {
        line = Trim(line);
        if (!StartsWith(line, prefix)) continue;
        std::string value = line.substr(prefix.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (StartsWith(value, "$HOME"))
            value = home + value.substr(5);
        else if (value.empty() || value[0] != '/')
            continue;
        result = value;
    }
    if (result.empty()) {
        static const std::pair<const char*, const char*> kDefaults[] = {
            {"DESKTOP", "Desktop"},   {"DOCUMENTS", "Documents"}, {"TEMPLATES", "Templates"},
            {"PICTURES", "Pictures"}, {"MUSIC", "Music"},         {"VIDEOS", "Videos"},
            {"DOWNLOAD", "Downloads"}};
        for (const auto& [k, d] : kDefaults)
            if (key == k) result = home + "/" + d;
        if (result.empty()) return {};
    }
    result = ExcludeTrailingPathDelimiter(result);
    return result == home ? std::string() : result;
}

void SetMountTableFile(const std::string& fileName) {
    std::lock_guard lock(g_mountMutex);
    g_mountFile = fileName.empty() ? kProcMounts : fileName;
    g_mountCacheValid = false;
}

static std::vector<Volume> ReadMountTable(const std::string& file);

std::vector<Volume> MountedVolumes() {
    std::lock_guard lock(g_mountMutex);
    if (g_mountFile != kProcMounts) return ReadMountTable(g_mountFile);
    if (g_mountWatch < 0) {
        g_mountWatch = ::open(kProcMounts, O_RDONLY | O_CLOEXEC);
        g_mountCacheValid = false;
    }
    if (g_mountWatch >= 0) {
        pollfd p{g_mountWatch, POLLPRI, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLPRI | POLLERR))) g_mountCacheValid = false;
    } else {
        g_mountCacheValid = false;
    }
    if (!g_mountCacheValid) {
        g_mountCache = ReadMountTable(kProcMounts);
        g_mountCacheValid = g_mountWatch >= 0;
    }
    return g_mountCache;
}

static std::vector<Volume> ReadMountTable(const std::string& file) {
    std::vector<Volume> out;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        const auto fields = SplitString(line, ' ');
        if (fields.size() < 3) continue;
        Volume v;
        v.device = Unescape(fields[0]);
        v.mountPoint = Unescape(fields[1]);
        v.type = fields[2];
        if (v.mountPoint.empty() || v.mountPoint[0] != '/') continue;
        v.removable = StartsWith(v.mountPoint, "/media/") ||
                      StartsWith(v.mountPoint, "/run/media/") || StartsWith(v.mountPoint, "/mnt/");
        v.remote = IsRemoteType(v.type);
        // A later mount on the same point hides the earlier one.
        out.erase(std::remove_if(out.begin(), out.end(),
                                 [&](const Volume& o) { return o.mountPoint == v.mountPoint; }),
                  out.end());
        out.push_back(std::move(v));
    }
    return out;
}

std::vector<Volume> VisibleVolumes() {
    std::vector<Volume> out;
    Volume root;
    root.mountPoint = "/";
    for (const Volume& v : MountedVolumes()) {
        if (v.mountPoint == "/")
            root = v;
        else if (v.removable)
            out.push_back(v);
    }
    std::sort(out.begin(), out.end(),
              [](const Volume& a, const Volume& b) { return a.mountPoint < b.mountPoint; });
    out.insert(out.begin(), root);
    return out;
}

Volume VolumeOfPath(const std::string& path, bool visibleOnly) {
    Volume best;
    best.mountPoint = "/";
    for (const Volume& v : visibleOnly ? VisibleVolumes() : MountedVolumes()) {
        if (!IsComponentPrefix(v.mountPoint, path)) continue;
        if (v.mountPoint.size() > best.mountPoint.size() || best.mountPoint == v.mountPoint)
            best = v;
    }
    return best;
}

std::string DriveRoot(const std::string& path) {
    return IncludeTrailingPathDelimiter(VolumeOfPath(path, false).mountPoint);
}

bool DriveReady(const std::string& root) {
    struct statvfs s;
    return statvfs(root.c_str(), &s) == 0;
}

bool DriveRemote(const std::string& root) {
    return VolumeOfPath(ExcludeTrailingPathDelimiter(root), false).remote;
}

uint32_t ClusterSize(const std::string& root) {
    struct statvfs s;
    if (statvfs(root.c_str(), &s) != 0) return 0;
    return static_cast<uint32_t>(s.f_frsize ? s.f_frsize : s.f_bsize);
}

bool IsValidItemName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

} // namespace ax
