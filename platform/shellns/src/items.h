#pragma once
// What an absolute PIDL stands for, shared by the folders, the context menu
// and the special folders of the namespace layer.
#include "platform/shellns/contextmenu.h"
#include "platform/shellns/pidl.h"
#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellops.h"

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ax::shellns {

enum class ItemKind {
    Desktop, Computer, Documents, RecycleBin, Volume, Entry, TrashEntry, Printers, Printer, Network, NetworkComputer
};

struct Location {
    ItemKind kind = ItemKind::Desktop;
    // The file-system path (desktop directory for the desktop, mount point,
    // entry path, the trashed file); empty for Computer and Recycle Bin.
    std::string path;
    // The last item's payload.
    std::string name;
};

inline constexpr const char* kComputerKey = "::{computer}";
inline constexpr const char* kRecycleBinKey = "::{recyclebin}";
inline constexpr const char* kDocumentsKey = "::{documents}";
inline constexpr const char* kPrintersKey = "::{printers}";
inline constexpr const char* kNetworkKey = "::{network}";

// The computers announced on the local network (host names without
// ".local"), sorted; none without a DNS-SD daemon.
std::vector<std::string> ListNetworkComputers();
bool FindNetworkComputer(const std::string& name);

// The printers of the print system (its destinations), in its order.
struct PrinterInfo {
    std::string name;
    int state = 0; // 3 idle, 4 printing, 5 stopped; 0 unknown
};
std::vector<PrinterInfo> ListPrinters();
bool FindPrinter(const std::string& name, PrinterInfo& printer);
// "Idle", "Printing", "Stopped" or "".
std::string PrinterStateText(int state);

// Items of PIDL bytes as (kind, payload); false when the bytes are broken.
bool SplitItems(std::string_view bytes, std::vector<std::pair<uint8_t, std::string>>& items);
// Bytes of one item, without terminator.
std::string ItemBytes(uint8_t kind, std::string_view payload);
// The PIDL bytes (terminator included) of a borrowed PIDL; "" for nullptr.
std::string PidlBytes(PCItemIDList pidl);
// parent bytes (terminator included) followed by relative bytes.
std::string JoinBytes(const std::string& parent, PCItemIDList relative);
// A task-allocator copy of PIDL bytes; nullptr when allocation fails.
PItemIDList AllocPidl(std::string_view bytes);

bool Resolve(std::string_view absoluteBytes, Location& location);
std::string JoinPath(const std::string& dir, const std::string& name);
std::string ParentPath(const std::string& path);
// Lexically normalised absolute path ("." and ".." folded, "//" and a
// trailing "/" removed); "" when path is not absolute. For names of items
// that need not exist.
std::string NormalisePath(const std::string& path);
// As NormalisePath, but a ".." leads to the parent of the folder the path
// has really reached so far (links followed), as the kernel goes; "" when
// the path is not absolute or a folder before a ".." does not exist.
std::string PhysicalPath(const std::string& path);
// The trashed file of a trash entry's name ("name" in the home trash, the
// file's whole path in a volume's trash); false when the name is none.
bool ResolveTrashName(const std::string& trashName, std::string& path);
// The entries of every trash (the home trash and each local volume's), as
// trash-entry item bytes.
void ListTrashes(uint32_t flags, std::vector<std::string>& out);
// The entries of a folder as items of kind whose payload is prefix plus
// the entry's name; with entriesAreFolders, folder-ness follows the disk,
// otherwise every entry counts as a non-folder. With noFolder, one flag
// per item listed: 1 when the listing alone shows it is no folder (its
// type in the directory is neither a folder nor a link nor unknown).
void ListDirectory(const std::string& path, uint8_t kind, uint32_t flags, bool entriesAreFolders,
                   const std::string& prefix, std::vector<std::string>& out,
                   std::vector<uint8_t>* noFolder = nullptr);

// Every test below works at any path length.
bool IsRealDirectory(const std::string& path); // a folder itself, not a link
bool IsFolderFollowingLinks(const std::string& path);
// A folder of the namespace: a folder, or a link to one, whose path passes
// no folder twice (a link back to a folder above it is a loop, no folder).
bool IsFolderItem(const std::string& path);
// Holds a folder item.
bool HasSubDirectory(const std::string& path);
// This process may list the folder and reach what it holds.
bool CanRead(const std::string& path);

// rename that fails with EEXIST instead of replacing the target.
bool RenameNoReplaceAt(int fromDir, const std::string& from, int toDir, const std::string& to);
// Removes name below dirfd with all it holds, except the items in keep (by
// identity; the folders holding them stay too). ownCopy: a copy of ours,
// whose read-only folders may be opened up to be emptied.
struct FileId;
bool RemoveTreeAt(int dirfd, const std::string& name, const std::vector<FileId>& keep,
                  bool ownCopy);
// ShellCopyItems and ShellMoveItems.
bool TransferItems(const std::vector<std::string>& sources, const std::string& targetDir,
                   bool move, std::vector<std::string>* failed,
                   std::vector<ShellProblem>* problems, bool freeName = false,
                   const std::function<void()>& itemDone = {});

// An item's display name in each SHGDN form.
std::string DisplayNameOf(const Location& location, uint32_t flags);

// The details columns: each folder shows one set.
enum class ColumnSet { Files, Volumes, Trash, Printers };
int ColumnCount(ColumnSet set);
// A column's title, alignment, width and state; false beyond the set.
bool ColumnHeader(ColumnSet set, unsigned column, SHELLDETAILS& details, uint32_t& state);
// An item's text in a column; false beyond the set.
bool ColumnText(ColumnSet set, const Location& location, unsigned column, std::string& text);
// The type text of an item ("TXT File", "File Folder", "System Folder").
std::string TypeNameOf(const Location& location, bool folder);
// Type, size and date, as a file manager's tip shows them.
std::string InfoTipOf(const Location& location);

// The context menu of items given by absolute PIDL bytes, and the drop
// target of a folder.
std::shared_ptr<IContextMenu> CreateItemContextMenu(std::vector<std::string> absolutePidls);
std::shared_ptr<IDropTarget> CreateFolderDropTarget(std::string absoluteBytes);
uint32_t AttributesOf(const Location& location, uint32_t wanted, bool& exists);

} // namespace ax::shellns
