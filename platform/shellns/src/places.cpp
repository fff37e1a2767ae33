// User folders and volumes.
#include "items.h"
#include "platform/shellns/shellops.h"
#include "rtl/sysutils.h"

#include <algorithm>
#include <memory>
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

namespace {

// The value of a variable in a user-dirs value: HOME is the home folder,
// anything else comes from the environment.
std::string Variable(const std::string& name, const std::string& home) {
    return name == "HOME" ? home : Env(name.c_str());
}

// One line of user-dirs.dirs, as the shell reads it when xdg-user-dir
// sources the file: NAME=VALUE, the value made of double-quoted parts
// (backslash escapes ", \, $ and `; variables expand), single-quoted parts
// (taken as they stand) and bare parts (a backslash escapes any character;
// variables expand), ended by a blank; a "#" after a blank begins a comment.
bool ParseAssignment(std::string_view line, const std::string& home, std::string& name,
                     std::string& value) {
    size_t at = 0;
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    const size_t eq = line.find('=', at);
    if (eq == std::string_view::npos || line[at] == '#') return false;
    name = std::string(line.substr(at, eq - at));
    if (name.empty() || name.find_first_of(" \t\"'$") != std::string::npos) return false;
    value.clear();
    auto expand = [&](size_t& i) {
        // At a "$": ${NAME} or $NAME; a lone "$" stays.
        size_t j = i + 1;
        std::string var;
        if (j < line.size() && line[j] == '{') {
            const size_t close = line.find('}', j);
            if (close == std::string_view::npos) return false;
            var = std::string(line.substr(j + 1, close - j - 1));
            i = close + 1;
        } else {
            while (j < line.size() && (isalnum(static_cast<unsigned char>(line[j])) || line[j] == '_'))
                var += line[j++];
            if (var.empty()) {
                value += '$';
                i = j;
                return true;
            }
            i = j;
        }
        value += Variable(var, home);
        return true;
    };
    size_t i = eq + 1;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
        const char c = line[i];
        if (c == '"') {
            ++i;
            while (i < line.size() && line[i] != '"') {
                if (line[i] == '\\' && i + 1 < line.size() &&
                    std::string_view("\"\\$`").find(line[i + 1]) != std::string_view::npos) {
                    value += line[i + 1];
                    i += 2;
                } else if (line[i] == '$') {
                    if (!expand(i)) return false;
                } else {
                    value += line[i++];
                }
            }
            if (i >= line.size()) return false; // unterminated
            ++i;
        } else if (c == '\'') {
            const size_t close = line.find('\'', i + 1);
            if (close == std::string_view::npos) return false;
            value += line.substr(i + 1, close - i - 1);
            i = close + 1;
        } else if (c == '\\') {
            if (i + 1 < line.size()) value += line[i + 1];
            i += 2;
        } else if (c == '$') {
            if (!expand(i)) return false;
        } else {
            value += c;
            ++i;
        }
    }
    // What follows the value must be blanks, or blanks and a comment.
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    return i == line.size() || line[i] == '#';
}

} // namespace

std::string XdgUserDirectory(const std::string& key) {
    const std::string home = HomeDirectory();
    std::string config = Env("XDG_CONFIG_HOME");
    if (config.empty() || config[0] != '/') config = home + "/.config";
    std::string result;
    std::ifstream in(config + "/user-dirs.dirs");
    const std::string wanted = "XDG_" + key + "_DIR";
    for (std::string line; std::getline(in, line);) {
        std::string name, value;
        // The last assignment wins, as when the file is sourced.
        if (ParseAssignment(line, home, name, value) && name == wanted && !value.empty() &&
            value[0] == '/')
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
    // One form of the path, whichever way it was written, so that every
    // route to the folder names it alike.
    result = shellns::NormalisePath(result);
    return result == shellns::NormalisePath(home) ? std::string() : result;
}

void SetMountTableFile(const std::string& fileName) {
    std::lock_guard lock(g_mountMutex);
    g_mountFile = fileName.empty() ? kProcMounts : fileName;
    g_mountCacheValid = false;
}

static std::vector<Volume> ReadMountTable(const std::string& file);

namespace {

// The volumes as one snapshot, made again only when the table changed.
struct VolumeTable {
    std::vector<Volume> mounted;
    std::vector<Volume> visible;
};
std::shared_ptr<const VolumeTable> g_volumeTable;

std::vector<Volume> Visible(const std::vector<Volume>& mounted) {
    std::vector<Volume> out;
    Volume root;
    root.mountPoint = "/";
    for (const Volume& v : mounted) {
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

} // namespace

static std::vector<Volume> ReadMountTable(const std::string& file);

static std::shared_ptr<const VolumeTable> Volumes() {
    std::lock_guard lock(g_mountMutex);
    auto make = [](std::vector<Volume> mounted) {
        auto table = std::make_shared<VolumeTable>();
        table->visible = Visible(mounted);
        table->mounted = std::move(mounted);
        return table;
    };
    if (g_mountFile != kProcMounts) return make(ReadMountTable(g_mountFile));
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
    if (!g_mountCacheValid || !g_volumeTable) {
        g_volumeTable = make(ReadMountTable(kProcMounts));
        g_mountCacheValid = g_mountWatch >= 0;
    }
    return g_volumeTable;
}

std::vector<Volume> MountedVolumes() {
    return Volumes()->mounted;
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
    return Volumes()->visible;
}

Volume VolumeOfPath(const std::string& path, bool visibleOnly) {
    const auto table = Volumes();
    const Volume* best = nullptr;
    for (const Volume& v : visibleOnly ? table->visible : table->mounted) {
        if (!IsComponentPrefix(v.mountPoint, path)) continue;
        if (!best || v.mountPoint.size() >= best->mountPoint.size()) best = &v;
    }
    if (best) return *best;
    Volume root;
    root.mountPoint = "/";
    return root;
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
