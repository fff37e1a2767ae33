// The details columns of the folders, and the info tip built from them.
#include "items.h"
#include "pathaccess.h"
#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellops.h"
#include "rtl/clock.h"
#include "rtl/sysutils.h"

#include <cmath>
#include <grp.h>
#include <pwd.h>
#include <sys/statvfs.h>

namespace ax::shellns {
namespace {

struct Column {
    const char* title;
    int fmt;
    int width;
    uint32_t state;
};

constexpr uint32_t kOn = SHCOLSTATE_ONBYDEFAULT;

// Files of a folder on disk (and the desktop's items).
constexpr Column kFileColumns[] = {
    {"Name", LVCFMT_LEFT, 25, SHCOLSTATE_TYPE_STR | kOn},
    {"Size", LVCFMT_RIGHT, 10, SHCOLSTATE_TYPE_INT | kOn},
    {"Type", LVCFMT_LEFT, 18, SHCOLSTATE_TYPE_STR | kOn},
    {"Modified", LVCFMT_LEFT, 18, SHCOLSTATE_TYPE_DATE | kOn},
    {"Attributes", LVCFMT_LEFT, 10, SHCOLSTATE_TYPE_STR | kOn},
    {"Created", LVCFMT_LEFT, 18, SHCOLSTATE_TYPE_DATE},
    {"Accessed", LVCFMT_LEFT, 18, SHCOLSTATE_TYPE_DATE},
    {"Permissions", LVCFMT_LEFT, 11, SHCOLSTATE_TYPE_STR},
    {"Owner", LVCFMT_LEFT, 10, SHCOLSTATE_TYPE_STR | SHCOLSTATE_SLOW},
    {"Group", LVCFMT_LEFT, 10, SHCOLSTATE_TYPE_STR | SHCOLSTATE_SLOW},
};
// The volumes under Computer.
constexpr Column kVolumeColumns[] = {
    {"Name", LVCFMT_LEFT, 25, SHCOLSTATE_TYPE_STR | kOn},
    {"Type", LVCFMT_LEFT, 18, SHCOLSTATE_TYPE_STR | kOn},
    {"Total Size", LVCFMT_RIGHT, 14, SHCOLSTATE_TYPE_INT | kOn},
    {"Free Space", LVCFMT_RIGHT, 14, SHCOLSTATE_TYPE_INT | kOn},
    {"File System", LVCFMT_LEFT, 10, SHCOLSTATE_TYPE_STR | kOn},
};
// The items of the trash.
constexpr Column kTrashColumns[] = {
    {"Name", LVCFMT_LEFT, 25, SHCOLSTATE_TYPE_STR | kOn},
    {"Original Location", LVCFMT_LEFT, 30, SHCOLSTATE_TYPE_STR | kOn},
    {"Date Deleted", LVCFMT_LEFT, 18, SHCOLSTATE_TYPE_DATE | kOn},
    {"Size", LVCFMT_RIGHT, 10, SHCOLSTATE_TYPE_INT | kOn},
    {"Type", LVCFMT_LEFT, 18, SHCOLSTATE_TYPE_STR | kOn},
    {"Modified", LVCFMT_LEFT, 18, SHCOLSTATE_TYPE_DATE},
};

// The printers: each with its state.
constexpr Column kPrinterColumns[] = {
    {"Name", LVCFMT_LEFT, 25, SHCOLSTATE_TYPE_STR | kOn},
    {"Status", LVCFMT_LEFT, 12, SHCOLSTATE_TYPE_STR | kOn},
};

std::span<const Column> ColumnsOf(ColumnSet set) {
    switch (set) {
    case ColumnSet::Printers:
        return kPrinterColumns;
    case ColumnSet::Volumes:
        return kVolumeColumns;
    case ColumnSet::Trash:
        return kTrashColumns;
    case ColumnSet::Files:
        break;
    }
    return kFileColumns;
}

std::string SizeText(uint64_t bytes) {
    const std::string text = FormatNumber(std::trunc(double(bytes) / 1024.0), 0) + " KB";
    return text == "0 KB" ? "1 KB" : text;
}

std::string TimeText(const FILETIME& time) {
    double value = 0;
    return FileTimeToLocalDateTime(time, value) ? DateTimeToStr(value) : std::string();
}

std::string AttributesText(uint32_t a) {
    std::string s;
    if (a & FILE_ATTRIBUTE_ARCHIVE) s += 'A';
    if (a & FILE_ATTRIBUTE_HIDDEN) s += 'H';
    if (a & FILE_ATTRIBUTE_READONLY) s += 'R';
    if (a & FILE_ATTRIBUTE_SYSTEM) s += 'S';
    if (a & FILE_ATTRIBUTE_COMPRESSED) s += 'C';
    return s;
}

std::string PermissionsText(mode_t mode) {
    std::string s = S_ISDIR(mode) ? "d" : S_ISLNK(mode) ? "l" : S_ISREG(mode) ? "-" : "?";
    const char* const letters = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i)
        s += (mode & (0400 >> i)) ? letters[i] : '-';
    return s;
}

std::string OwnerText(uid_t uid) {
    passwd entry, *found = nullptr;
    char buffer[1024];
    return getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found
               ? std::string(found->pw_name)
               : std::to_string(uid);
}

std::string GroupText(gid_t gid) {
    group entry, *found = nullptr;
    char buffer[1024];
    return getgrgid_r(gid, &entry, buffer, sizeof buffer, &found) == 0 && found
               ? std::string(found->gr_name)
               : std::to_string(gid);
}

// "YYYY-MM-DDThh:mm:ss" of a trash info file, as the user's date text.
std::string DeletionText(const std::string& date) {
    int y, mo, d, h, mi, s;
    if (std::sscanf(date.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s) != 6 ||
        mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59)
        return date;
    return DateTimeToStr(EncodeDate(y, mo, d) + EncodeTime(h, mi, s, 0));
}

bool IsFolderLocation(const Location& loc, const WIN32_FIND_DATA* data) {
    switch (loc.kind) {
    case ItemKind::Desktop:
    case ItemKind::Computer:
    case ItemKind::RecycleBin:
    case ItemKind::Documents:
    case ItemKind::Printers:
    case ItemKind::Network:
    case ItemKind::Volume:
        return true;
    default:
        return data && (data->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    }
}

} // namespace

std::string TypeNameOf(const Location& loc, bool folder) {
    switch (loc.kind) {
    case ItemKind::Desktop:
    case ItemKind::Computer:
    case ItemKind::RecycleBin:
    case ItemKind::Documents:
    case ItemKind::Printers:
    case ItemKind::Network:
        return "System Folder";
    case ItemKind::Printer:
        return "Printer";
    case ItemKind::NetworkComputer:
        return "Computer";
    case ItemKind::Volume: {
        const Volume v = VolumeOfPath(loc.path, true);
        return v.remote ? "Network Drive" : (v.removable ? "Removable Disk" : "Local Disk");
    }
    case ItemKind::Entry:
    case ItemKind::TrashEntry:
        break;
    }
    if (folder) return "File Folder";
    // A file's type is its extension, taken from the name the user sees (a
    // trashed file's own name may carry a number the trash added).
    const std::string ext = ExtractFileExt(DisplayNameOf(loc, SHGDN_NORMAL));
    return ext.size() > 1 ? AnsiUpperCase(ext.substr(1)) + " File" : std::string("File");
}

int ColumnCount(ColumnSet set) {
    return int(ColumnsOf(set).size());
}

bool ColumnHeader(ColumnSet set, unsigned column, SHELLDETAILS& details, uint32_t& state) {
    const auto columns = ColumnsOf(set);
    if (column >= columns.size()) return false;
    details.fmt = columns[column].fmt;
    details.cxChar = columns[column].width;
    details.str = columns[column].title;
    state = columns[column].state;
    return true;
}

bool ColumnText(ColumnSet set, const Location& loc, unsigned column, std::string& text) {
    const auto columns = ColumnsOf(set);
    if (column >= columns.size()) return false;
    const std::string title = columns[column].title;
    text.clear();
    if (title == "Name") {
        text = DisplayNameOf(loc, SHGDN_INFOLDER);
        return true;
    }
    if (title == "Status") {
        PrinterInfo printer;
        if (loc.kind == ItemKind::Printer && FindPrinter(loc.name, printer)) text = PrinterStateText(printer.state);
        return true;
    }
    WIN32_FIND_DATA data;
    const bool haveData = loc.kind != ItemKind::Desktop && loc.kind != ItemKind::Computer &&
                          loc.kind != ItemKind::RecycleBin && FindDataFromPath(loc.path, data);
    const bool folder = IsFolderLocation(loc, haveData ? &data : nullptr);
    if (title == "Type") {
        text = TypeNameOf(loc, folder);
    } else if (title == "Size") {
        if (haveData && !folder)
            text = SizeText((uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    } else if (title == "Modified") {
        if (haveData) text = TimeText(data.ftLastWriteTime);
    } else if (title == "Created") {
        if (haveData) text = TimeText(data.ftCreationTime);
    } else if (title == "Accessed") {
        if (haveData) text = TimeText(data.ftLastAccessTime);
    } else if (title == "Attributes") {
        if (haveData) text = AttributesText(data.dwFileAttributes);
    } else if (title == "Permissions" || title == "Owner" || title == "Group") {
        struct stat st;
        if (haveData && StatAnyPath(loc.path, st, false) == 0)
            text = title == "Permissions" ? PermissionsText(st.st_mode)
                   : title == "Owner"     ? OwnerText(st.st_uid)
                                          : GroupText(st.st_gid);
    } else if (title == "Total Size" || title == "Free Space") {
        struct statvfs fs;
        if (loc.kind == ItemKind::Volume && ::statvfs(loc.path.c_str(), &fs) == 0)
            text = SizeText(uint64_t(title == "Total Size" ? fs.f_blocks : fs.f_bavail) *
                            (fs.f_frsize ? fs.f_frsize : fs.f_bsize));
    } else if (title == "File System") {
        if (loc.kind == ItemKind::Volume) text = VolumeOfPath(loc.path, true).type;
    } else if (title == "Original Location" || title == "Date Deleted") {
        std::string original, date;
        if (loc.kind == ItemKind::TrashEntry && ReadTrashInfo(loc.name, original, date))
            text = title == "Date Deleted" ? DeletionText(date) : ParentPath(original);
    }
    return true;
}

std::string InfoTipOf(const Location& loc) {
    std::string type, size, modified;
    ColumnText(ColumnSet::Files, loc, 2, type);
    ColumnText(ColumnSet::Files, loc, 1, size);
    ColumnText(ColumnSet::Files, loc, 3, modified);
    std::string tip = "Type: " + type;
    if (!size.empty()) tip += "\nSize: " + size;
    if (!modified.empty()) tip += "\nDate Modified: " + modified;
    return tip;
}

} // namespace ax::shellns
