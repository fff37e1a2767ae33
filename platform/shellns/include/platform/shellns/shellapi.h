#pragma once
// The namespace layer: the folder interface, the records and the numbers the
// shell items and the explorer call, with their Windows values kept where
// callers see them.
//
// Folders are reference counted through std::shared_ptr. Every PIDL handed
// out (ParseDisplayName, EnumObjects, SetNameOf, SHGetSpecialFolderLocation)
// comes from the task allocator and belongs to the caller.
#include "platform/shellns/contextmenu.h"
#include "platform/shellns/pidl.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ax {

// Shell attributes (SFGAO).
enum : uint32_t {
    SFGAO_CANCOPY = 0x1,
    SFGAO_CANMOVE = 0x2,
    SFGAO_CANLINK = 0x4,
    SFGAO_CANRENAME = 0x10,
    SFGAO_CANDELETE = 0x20,
    SFGAO_HASPROPSHEET = 0x40,
    SFGAO_DROPTARGET = 0x100,
    SFGAO_GHOSTED = 0x8000,
    SFGAO_LINK = 0x10000,
    SFGAO_SHARE = 0x20000,
    SFGAO_READONLY = 0x40000,
    SFGAO_HIDDEN = 0x80000,
    SFGAO_NONENUMERATED = 0x100000,
    SFGAO_NEWCONTENT = 0x200000,
    SFGAO_VALIDATE = 0x1000000,
    SFGAO_REMOVABLE = 0x2000000,
    SFGAO_FILESYSANCESTOR = 0x10000000,
    SFGAO_FOLDER = 0x20000000,
    SFGAO_FILESYSTEM = 0x40000000,
    SFGAO_HASSUBFOLDER = 0x80000000,
};

// Display-name forms (SHGDN).
enum : uint32_t {
    SHGDN_NORMAL = 0x0000,
    SHGDN_INFOLDER = 0x0001,
    SHGDN_FOREDITING = 0x1000,
    SHGDN_FORADDRESSBAR = 0x4000,
    SHGDN_FORPARSING = 0x8000,
};

// Enumeration flags (SHCONTF).
enum : uint32_t {
    SHCONTF_FOLDERS = 0x20,
    SHCONTF_NONFOLDERS = 0x40,
    SHCONTF_INCLUDEHIDDEN = 0x80,
};

// File attributes of the find-data record, mapped from stat once (see
// docs/layers/shellns.md): directory; hidden = the name starts with ".";
// read-only = no owner write permission; archive = a regular file;
// compressed = the file system compresses it; normal when none of the
// others applies.
enum : uint32_t {
    FILE_ATTRIBUTE_READONLY = 0x1,
    FILE_ATTRIBUTE_HIDDEN = 0x2,
    FILE_ATTRIBUTE_SYSTEM = 0x4,
    FILE_ATTRIBUTE_DIRECTORY = 0x10,
    FILE_ATTRIBUTE_ARCHIVE = 0x20,
    FILE_ATTRIBUTE_NORMAL = 0x80,
    FILE_ATTRIBUTE_TEMPORARY = 0x100,
    FILE_ATTRIBUTE_COMPRESSED = 0x800,
    FILE_ATTRIBUTE_OFFLINE = 0x1000,
};

// Special folders.
enum : int {
    CSIDL_DESKTOP = 0,
    CSIDL_INTERNET = 1,
    CSIDL_PROGRAMS = 2,
    CSIDL_CONTROLS = 3,
    CSIDL_PRINTERS = 4,
    CSIDL_PERSONAL = 5,
    CSIDL_FAVORITES = 6,
    CSIDL_BITBUCKET = 10,
    CSIDL_MYMUSIC = 13,
    CSIDL_MYVIDEO = 14,
    CSIDL_DESKTOPDIRECTORY = 16,
    CSIDL_DRIVES = 17,
    CSIDL_NETWORK = 18,
    CSIDL_TEMPLATES = 21,
    CSIDL_APPDATA = 26,
    CSIDL_LOCAL_APPDATA = 28,
    CSIDL_HISTORY = 34,
    CSIDL_MYPICTURES = 39,
    CSIDL_PROFILE = 40,
};

// Shell change events (SHCNE).
enum : uint32_t {
    SHCNE_RENAMEITEM = 0x00000001,
    SHCNE_CREATE = 0x00000002,
    SHCNE_DELETE = 0x00000004,
    SHCNE_MKDIR = 0x00000008,
    SHCNE_RMDIR = 0x00000010,
    SHCNE_MEDIAINSERTED = 0x00000020,
    SHCNE_MEDIAREMOVED = 0x00000040,
    SHCNE_DRIVEREMOVED = 0x00000080,
    SHCNE_DRIVEADD = 0x00000100,
    SHCNE_NETSHARE = 0x00000200,
    SHCNE_NETUNSHARE = 0x00000400,
    SHCNE_ATTRIBUTES = 0x00000800,
    SHCNE_UPDATEDIR = 0x00001000,
    SHCNE_UPDATEITEM = 0x00002000,
    SHCNE_SERVERDISCONNECT = 0x00004000,
    SHCNE_UPDATEIMAGE = 0x00008000,
    SHCNE_DRIVEADDGUI = 0x00010000,
    SHCNE_RENAMEFOLDER = 0x00020000,
    SHCNE_FREESPACE = 0x00040000,
    SHCNE_ASSOCCHANGED = 0x08000000,
};

// 100-nanosecond intervals since 1601-01-01 UTC.
struct FILETIME {
    uint32_t dwLowDateTime = 0;
    uint32_t dwHighDateTime = 0;
    uint64_t Value() const { return (uint64_t(dwHighDateTime) << 32) | dwLowDateTime; }
    bool IsZero() const { return Value() == 0; }
};
FILETIME FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds);
// Local wall time of a FILETIME as TDateTime (days since 1899-12-30);
// false when the time is zero or out of range.
bool FileTimeToLocalDateTime(const FILETIME& ft, double& value);
// -1, 0 or 1.
int CompareFileTime(const FILETIME& a, const FILETIME& b);

// The find-data record. cFileName holds the raw bytes of the name, whatever
// they are; cAlternateFileName stays empty (there are no 8.3 names here).
struct WIN32_FIND_DATA {
    uint32_t dwFileAttributes = 0;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    uint32_t nFileSizeHigh = 0;
    uint32_t nFileSizeLow = 0;
    std::string cFileName;
    std::string cAlternateFileName;
};
// Fills the record from lstat (statx for the birth time) of an exact path.
bool FindDataFromPath(const std::string& path, WIN32_FIND_DATA& data);

class IEnumIDList {
public:
    virtual ~IEnumIDList() = default;
    // S_OK with a new PIDL (the caller's), S_FALSE at the end.
    virtual HRESULT Next(PItemIDList* item) = 0;
};

// What a folder's listing already knows of its items, so that a caller
// listing a big folder need not look at each item on the disk. A listing
// that knows offers this as well (found with dynamic_cast, as
// QueryInterface would); it answers for the item Next handed out last.
class IEnumIDListKinds {
public:
    virtual ~IEnumIDListKinds() = default;
    // True only when the item is certainly no folder (a file, a device,
    // a pipe): GetAttributesOf would not give it SFGAO_FOLDER.
    virtual bool LastIsNoFolder() = 0;
};

class IContextMenu;
class IDropTarget;
class IDataObject;
class IQueryInfo;

class IShellFolder {
public:
    virtual ~IShellFolder() = default;
    // A display name relative to this folder (an absolute path or a "::{...}"
    // key for the desktop) to a relative PIDL.
    virtual HRESULT ParseDisplayName(const std::string& name, PItemIDList* pidl) = 0;
    virtual HRESULT EnumObjects(uint32_t flags, std::unique_ptr<IEnumIDList>* list) = 0;
    virtual HRESULT BindToObject(PCItemIDList pidl, std::shared_ptr<IShellFolder>* folder) = 0;
    // The low 16 bits hold the signed result.
    virtual HRESULT CompareIDs(int column, PCItemIDList a, PCItemIDList b) = 0;
    // In: the attributes asked for; out: those that hold for every item.
    virtual HRESULT GetAttributesOf(const PCItemIDList* pidls, int count, uint32_t* attributes) = 0;
    // The name as bytes: file names come back exactly as the kernel has them.
    virtual HRESULT GetDisplayNameOf(PCItemIDList pidl, uint32_t flags, std::string* name) = 0;
    virtual HRESULT SetNameOf(PCItemIDList pidl, const std::string& newName, uint32_t flags,
                              PItemIDList* newPidl) = 0;
    virtual HRESULT GetContextMenu(const PCItemIDList* pidls, int count,
                                   std::shared_ptr<IContextMenu>* menu) = 0;
    virtual HRESULT GetDropTarget(PCItemIDList pidl, std::shared_ptr<IDropTarget>* target) = 0;
    virtual HRESULT GetDataObject(const PCItemIDList* pidls, int count,
                                  std::shared_ptr<IDataObject>* data) = 0;
    // Find data of a child (SHGetDataFromIDList).
    virtual HRESULT GetFindData(PCItemIDList pidl, WIN32_FIND_DATA* data) = 0;
    // This folder's absolute PIDL bytes (terminator included).
    virtual const std::string& AbsoluteBytes() const = 0;
    // The info tip of an item (GetUIObjectOf with IQueryInfo).
    virtual HRESULT GetQueryInfo(PCItemIDList, std::shared_ptr<IQueryInfo>* info) {
        if (info) info->reset();
        return E_NOTIMPL;
    }
};
using ShellFolderPtr = std::shared_ptr<IShellFolder>;

// Sort keys of a folder's items, for sorting many at once: byte strings
// whose order (byte by byte, the shorter first where one begins the other)
// is the folder's CompareIDs order. A folder that can give them offers this
// as well (found with dynamic_cast, as QueryInterface would).
class IShellFolderSortKeys {
public:
    virtual ~IShellFolderSortKeys() = default;
    // Appends the key of one item's ID (relative to the folder) to *key;
    // false, with *key unchanged, when there is none for it (the caller
    // compares with CompareIDs instead).
    virtual bool AppendSortKey(PCItemIDList id, std::string* key) = 0;
};

// Details columns: a column's alignment and state (SHCOLSTATE).
enum : int { LVCFMT_LEFT = 0, LVCFMT_RIGHT = 1 };
enum : uint32_t {
    SHCOLSTATE_TYPE_STR = 0x1,
    SHCOLSTATE_TYPE_INT = 0x2,
    SHCOLSTATE_TYPE_DATE = 0x3,
    SHCOLSTATE_TYPEMASK = 0xF,
    SHCOLSTATE_ONBYDEFAULT = 0x10,
    SHCOLSTATE_SLOW = 0x20,
    SHCOLSTATE_EXTENDED = 0x40,
    SHCOLSTATE_SECONDARYUI = 0x80,
    SHCOLSTATE_HIDDEN = 0x100,
};
// A column's title (asked with no item) or an item's text in it.
struct SHELLDETAILS {
    int fmt = LVCFMT_LEFT;
    int cxChar = 0; // width in characters
    std::string str;
};

// The details columns of a folder, the older way.
class IShellDetails {
public:
    virtual ~IShellDetails() = default;
    virtual HRESULT GetDetailsOf(PCItemIDList pidl, unsigned column, SHELLDETAILS* details) = 0;
    virtual HRESULT ColumnClick(unsigned column) = 0;
};

// A folder with details columns. Every folder of this layer is one: ask
// with std::dynamic_pointer_cast, as QueryInterface would.
class IShellFolder2 : public IShellFolder {
public:
    virtual HRESULT GetDefaultColumn(uint32_t reserved, uint32_t* sort, uint32_t* display) = 0;
    // E_INVALIDARG beyond the last column.
    virtual HRESULT GetDefaultColumnState(unsigned column, uint32_t* flags) = 0;
    // With pidl nullptr the column's title; else the item's text.
    virtual HRESULT GetDetailsOf(PCItemIDList pidl, unsigned column, SHELLDETAILS* details) = 0;
};

// The tip a file manager shows for an item (IQueryInfo, from the folder's
// GetUIObjectOf).
class IQueryInfo {
public:
    virtual ~IQueryInfo() = default;
    virtual HRESULT GetInfoTip(uint32_t flags, std::string* tip) = 0;
};

HRESULT SHGetDesktopFolder(ShellFolderPtr* folder);
HRESULT SHGetSpecialFolderLocation(int csidl, PItemIDList* pidl);
HRESULT SHGetDataFromIDList(IShellFolder* folder, PCItemIDList pidl, WIN32_FIND_DATA* data);
// The filesystem path of an absolute PIDL, "" when it names no file.
std::string SHGetPathFromIDList(PCItemIDList pidl);

// SHGetFileInfo, reduced to what the shell items ask: the type name and the
// system icon index of an absolute PIDL or, with SHGFI_USEFILEATTRIBUTES,
// of a name and attributes.
enum : uint32_t {
    SHGFI_SMALLICON = 0x1,
    SHGFI_OPENICON = 0x2,
    SHGFI_SHELLICONSIZE = 0x4,
    SHGFI_PIDL = 0x8,
    SHGFI_USEFILEATTRIBUTES = 0x10,
    SHGFI_TYPENAME = 0x400,
    SHGFI_SYSICONINDEX = 0x4000,
};
struct SHFILEINFO {
    int iIcon = 0;
    std::string szTypeName;
};
bool SHGetFileInfo(PCItemIDList pidl, const std::string& name, uint32_t fileAttributes,
                   SHFILEINFO& info, uint32_t flags);

// Icons of the system image list. The display layer installs a provider
// that loads real icons; the headless one answers the fixed indices below.
class IShellIconProvider {
public:
    virtual ~IShellIconProvider() = default;
    // kind: 0 file, 1 folder, 2 virtual folder, 3 volume, 4 link
    virtual int IconIndex(int kind, const std::string& name, bool open, bool large) = 0;
    // The raw value of the drawing layer's handle of the system image list
    // of that size, whose pictures the indices name; 0 when there is none
    // (the headless provider has only the indices).
    virtual uint32_t ImageListHandle(bool /*large*/) { return 0; }
};
void SetShellIconProvider(IShellIconProvider* provider); // nullptr: headless
IShellIconProvider& ShellIconProvider();

// SHGetFileInfoA: the same for a path (parsed from the desktop) or, with
// SHGFI_USEFILEATTRIBUTES, for a name and attributes that are never looked
// up on the disk (only its name counts for a file). With SHGFI_SYSICONINDEX
// the answer is the system image list of the size asked (SHGFI_SMALLICON,
// else the large one) as ImageListHandle gives it, 0 when there is none;
// an empty path then asks for nothing but the list. Otherwise nonzero on
// success. 0 on failure.
enum : uint32_t { SHGFI_LARGEICON = 0x0 };
uintptr_t SHGetFileInfoA(const std::string& path, uint32_t fileAttributes, SHFILEINFO* info, uint32_t flags);

} // namespace ax
