// The find-data record, times, type names and icon indices.
#include "items.h"
#include "pathaccess.h"
#include "platform/shellns/desktopentry.h"
#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellops.h"
#include "rtl/clock.h"
#include "rtl/sysutils.h"

#include <atomic>
#include <ctime>
#include <fcntl.h>
#include <iterator>
#include <sys/stat.h>

namespace ax {
namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDelta = 11644473600LL;

// Pictures of the system image list, by their stock indices.
constexpr int kDocumentIcon = 0, kFolderIcon = 3, kOpenFolderIcon = 4, kDriveIcon = 8,
              kComputerIcon = 15, kShortcutIcon = 29;

// The headless provider's pictures, by the provider's kind of item.
struct HeadlessIcon {
    int closed, open;
};
constexpr HeadlessIcon kHeadlessIcons[] = {
    {kDocumentIcon, kDocumentIcon}, // 0 file
    {kFolderIcon, kOpenFolderIcon}, // 1 folder
    {kComputerIcon, kComputerIcon}, // 2 virtual folder
    {kDriveIcon, kDriveIcon},       // 3 volume
    {kShortcutIcon, kShortcutIcon}, // 4 link
};

class HeadlessIcons final : public IShellIconProvider {
public:
    int IconIndex(int kind, const std::string&, bool open, bool) override {
        if (kind < 0 || kind >= int(std::size(kHeadlessIcons))) return kDocumentIcon;
        const HeadlessIcon& icon = kHeadlessIcons[kind];
        return open ? icon.open : icon.closed;
    }
};

// Installed by the display side while other threads may ask for icons.
std::atomic<IShellIconProvider*> g_icons{nullptr};

} // namespace

FILETIME FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds) {
    FILETIME ft;
    if (seconds < -kEpochDelta) return ft;
    const uint64_t v = uint64_t(seconds + kEpochDelta) * 10000000ULL + nanoseconds / 100;
    ft.dwLowDateTime = uint32_t(v);
    ft.dwHighDateTime = uint32_t(v >> 32);
    return ft;
}

bool FileTimeToLocalDateTime(const FILETIME& ft, double& value) {
    if (ft.IsZero()) return false;
    const uint64_t v = ft.Value();
    const int64_t seconds = int64_t(v / 10000000ULL) - kEpochDelta;
    const double fraction = double(v % 10000000ULL) / 1e7;
    const time_t t = static_cast<time_t>(seconds);
    tm local{};
    if (!localtime_r(&t, &local)) return false;
    value = UnixToDateTime(seconds + local.tm_gmtoff) + fraction / 86400.0;
    return true;
}

int CompareFileTime(const FILETIME& a, const FILETIME& b) {
    return a.Value() < b.Value() ? -1 : (a.Value() > b.Value() ? 1 : 0);
}

bool FindDataFromPath(const std::string& path, WIN32_FIND_DATA& data) {
    using namespace shellns;
    struct statx sx;
    ParentRef parent;
    if (!OpenParentOf(path, parent) ||
        statx(parent.dirfd, parent.name.c_str(), AT_SYMLINK_NOFOLLOW,
              STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
        return false;
    // A link to a folder is a folder, as the namespace shows it.
    const bool linkedFolder = S_ISLNK(sx.stx_mode) && IsFolderFollowingLinks(path);
    data = WIN32_FIND_DATA{};
    data.cFileName = ExtractFileName(path);
    if (path == "/") data.cFileName = "/";
    uint32_t a = 0;
    if (S_ISDIR(sx.stx_mode) || linkedFolder) a |= FILE_ATTRIBUTE_DIRECTORY;
    if (S_ISREG(sx.stx_mode)) a |= FILE_ATTRIBUTE_ARCHIVE;
    if (!data.cFileName.empty() && data.cFileName[0] == '.') a |= FILE_ATTRIBUTE_HIDDEN;
    if (!(sx.stx_mode & S_IWUSR)) a |= FILE_ATTRIBUTE_READONLY;
    // What the file system compresses by itself (chattr +c on btrfs, ext4...).
    if (sx.stx_attributes_mask & sx.stx_attributes & STATX_ATTR_COMPRESSED) a |= FILE_ATTRIBUTE_COMPRESSED;
    if (a == 0) a = FILE_ATTRIBUTE_NORMAL;
    data.dwFileAttributes = a;
    auto ft = [](const statx_timestamp& t) { return FileTimeFromUnix(t.tv_sec, t.tv_nsec); };
    data.ftLastWriteTime = ft(sx.stx_mtime);
    data.ftLastAccessTime = ft(sx.stx_atime);
    // Without a birth time the change time is the best there is.
    data.ftCreationTime = (sx.stx_mask & STATX_BTIME) ? ft(sx.stx_btime) : ft(sx.stx_ctime);
    const uint64_t size = S_ISDIR(sx.stx_mode) || linkedFolder ? 0 : sx.stx_size;
    data.nFileSizeHigh = uint32_t(size >> 32);
    data.nFileSizeLow = uint32_t(size);
    return true;
}

void SetShellIconProvider(IShellIconProvider* provider) {
    g_icons = provider;
}

IShellIconProvider& ShellIconProvider() {
    static HeadlessIcons headless;
    IShellIconProvider* installed = g_icons.load();
    return installed ? *installed : headless;
}

bool SHGetFileInfo(PCItemIDList pidl, const std::string& name, uint32_t fileAttributes,
                   SHFILEINFO& info, uint32_t flags) {
    using namespace shellns;
    info = SHFILEINFO{};
    int kind = 0;
    std::string itemName = name;
    std::string typeName;
    if (flags & SHGFI_USEFILEATTRIBUTES) {
        kind = (fileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
        typeName = kind == 1 ? "File Folder" : "";
    } else {
        Location loc;
        if (!pidl || !Resolve(PidlBytes(pidl), loc)) return false;
        bool exists = false;
        const uint32_t a = AttributesOf(loc, SFGAO_FOLDER | SFGAO_LINK, exists);
        itemName = loc.name;
        switch (loc.kind) {
        case ItemKind::Desktop:
        case ItemKind::Computer:
        case ItemKind::RecycleBin:
        case ItemKind::Documents:
        case ItemKind::Printers:
        case ItemKind::Network:
            kind = 2;
            typeName = "System Folder";
            break;
        case ItemKind::Printer:
        case ItemKind::NetworkComputer:
            if (!exists) return false;
            typeName = loc.kind == ItemKind::Printer ? "Printer" : "Computer";
            break;
        case ItemKind::Volume: {
            kind = 3;
            const Volume v = VolumeOfPath(loc.path, true);
            typeName = v.remote ? "Network Drive" : (v.removable ? "Removable Disk" : "Local Disk");
            break;
        }
        case ItemKind::Entry:
        case ItemKind::TrashEntry:
            if (!exists) return false;
            // A launcher keeps its own type's icon; the overlay marks it a link.
            kind = (a & SFGAO_LINK) && !IsLauncherName(loc.name) ? 4 : ((a & SFGAO_FOLDER) ? 1 : 0);
            if (loc.kind == ItemKind::TrashEntry && IsRealDirectory(loc.path)) kind = 1;
            typeName = (a & SFGAO_FOLDER) || kind == 1 ? "File Folder" : "";
            break;
        }
    }
    if (flags & SHGFI_TYPENAME) info.szTypeName = typeName;
    if (flags & SHGFI_SYSICONINDEX)
        info.iIcon = ShellIconProvider().IconIndex(kind, itemName, flags & SHGFI_OPENICON,
                                                   !(flags & SHGFI_SMALLICON));
    return true;
}

uintptr_t SHGetFileInfoA(const std::string& path, uint32_t fileAttributes, SHFILEINFO* info, uint32_t flags) {
    SHFILEINFO local;
    SHFILEINFO& out = info ? *info : local;
    out = SHFILEINFO{};
    if (!path.empty() || (flags & SHGFI_USEFILEATTRIBUTES)) {
        bool ok = false;
        if (flags & SHGFI_USEFILEATTRIBUTES) {
            ok = SHGetFileInfo(nullptr, ExtractFileName(path), fileAttributes, out, flags);
        } else {
            ShellFolderPtr desktop;
            PItemIDList pidl = nullptr;
            if (SUCCEEDED(SHGetDesktopFolder(&desktop)) && desktop &&
                SUCCEEDED(desktop->ParseDisplayName(path, &pidl)) && pidl) {
                const UniquePIDL owned(pidl);
                ok = SHGetFileInfo(pidl, "", 0, out, flags);
            }
        }
        if (!ok) return 0;
    }
    if (flags & SHGFI_SYSICONINDEX) return ShellIconProvider().ImageListHandle(!(flags & SHGFI_SMALLICON));
    return 1;
}

} // namespace ax
