#pragma once
// Places, volumes, file operations, the change bus, launching and links.
#include "platform/shellns/pidl.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ax {

// Where the user's folders are. Read from the environment on every call
// (HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and the XDG user-dirs file), so a
// test points them at a temporary folder with setenv.
std::string HomeDirectory();
std::string DataHomeDirectory();
std::string TrashDirectory(); // $XDG_DATA_HOME/Trash
// An XDG user directory ("DESKTOP", "DOCUMENTS", "TEMPLATES", "PICTURES",
// "MUSIC", "VIDEOS", "DOWNLOAD"): the user-dirs file's entry, else
// $HOME/<Default>; "" when the entry is the home folder itself (disabled).
// Existence is not checked here.
std::string XdgUserDirectory(const std::string& key);

// Volumes are mount points. Everything that asks for a drive root, whether
// a drive is ready or remote, asks here.
struct Volume {
    std::string mountPoint;
    std::string device;
    std::string type;
    bool removable = false; // under /media, /run/media or /mnt
    bool remote = false;    // a network file system
};
// The mount table ("/proc/self/mounts" unless a test names another file).
void SetMountTableFile(const std::string& fileName);
std::vector<Volume> MountedVolumes();
// The volumes a user sees under Computer: "/" first, then the removable
// ones in mount-point order.
std::vector<Volume> VisibleVolumes();
// The volume holding path: the longest mount point that is a component
// prefix of it, among all mounts or only the visible ones.
Volume VolumeOfPath(const std::string& path, bool visibleOnly);
std::string DriveRoot(const std::string& path); // mount point with trailing "/"
bool DriveReady(const std::string& root);
bool DriveRemote(const std::string& root);
// Fundamental block size of the file system (statvfs), 0 when unknown.
uint32_t ClusterSize(const std::string& root);

// Absolute PIDL bytes of an absolute path through Computer, without
// touching the disk (for items being removed or not yet there).
std::string PathToPidlBytes(const std::string& path);
// The desktop folder's ParseDisplayName for many absolute paths at once:
// the same PIDLs (nullptr where a path names nothing), but a folder that
// holds many of the paths is read once instead of asked about each.
std::vector<UniquePIDL> ParsePaths(const std::vector<std::string>& paths);
// The same, and for each path whether it may be a folder: false only where
// the folder's listing showed a plain entry (neither a folder nor a link),
// so a caller need not look at each of many files again.
std::vector<UniquePIDL> ParsePaths(const std::vector<std::string>& paths,
                                   std::vector<bool>& mayBeFolder);

// Called with a folder's path whenever its entries are read from the disk,
// on the reading thread (tests count reads with it); nullptr removes it.
// Big folders' listings are kept while the folder is unchanged, so a read
// is not a question asked.
void SetFolderReadObserver(void (*observer)(const std::string& path));

// A name a user may give an item: not empty, not "." or "..", no "/" or NUL.
bool IsValidItemName(const std::string& name);

// Why the item an absolute path names cannot be had, in the system's words
// ("No such file or directory"); "" when it is there. Works at any depth
// and goes through ".." as parsing does (on the disk, links followed).
std::string ItemProblem(const std::string& path);
// Why the folder an absolute path names cannot be listed, in the system's
// words ("Permission denied"); "" when it can, or when the path names no
// folder.
std::string FolderProblem(const std::string& path);
// Tests: refuse(path) answering an errno makes every read of that folder
// fail with it, as a folder without the read right does for any user but
// root (nullptr removes it).
void SetFolderReadRefusal(int (*refuse)(const std::string& path));

// What a file operation could not do: the path concerned and why, in
// words a user reads.
struct ShellProblem {
    std::string path;
    std::string reason;
};

// File operations. None overwrites anything: an item whose target name is
// taken fails alone and the others go on. Each success is announced on the
// change bus. The result is true when every item succeeded; failed gets the
// sources that did not, problems every path that caused trouble and why.
//
// A copy is made under a temporary name in the target folder and renamed
// to its own name only once complete, so a failed or killed copy leaves
// nothing under that name. A folder never goes into itself, whatever links
// lead there (folders are compared by device and inode). Folders, files and
// links keep their times; FIFOs and sockets are made anew, device nodes too
// where the system allows it, and are otherwise left out and reported. A
// move across file systems copies, makes the copy durable, then removes
// the source, except what could not be copied (which stays, reported).
bool ShellCopyItems(const std::vector<std::string>& sources, const std::string& targetDir,
                    std::vector<std::string>* failed = nullptr,
                    std::vector<ShellProblem>* problems = nullptr);
// The same, except that an item whose name the target already has is copied
// under the first free "name (2).ext", "name (3).ext", ...: what a paste
// does, so that pasting where an item came from makes a second one.
bool ShellCopyItemsRenaming(const std::vector<std::string>& sources, const std::string& targetDir,
                            std::vector<std::string>* failed = nullptr,
                            std::vector<ShellProblem>* problems = nullptr);
bool ShellMoveItems(const std::vector<std::string>& sources, const std::string& targetDir,
                    std::vector<std::string>* failed = nullptr,
                    std::vector<ShellProblem>* problems = nullptr);
// Renames within the folder; refuses invalid names and taken targets.
bool ShellRenameItem(const std::string& path, const std::string& newName, std::string* newPath);
// Makes a symbolic link to an item beside it, named as a file manager
// names one: "Link to NAME", else "Link to NAME (2)", "Link to NAME (3)"...
// (never over anything). linkPath gets the link's path.
bool ShellLinkItem(const std::string& path, std::string* linkPath,
                   std::vector<ShellProblem>* problems = nullptr);
// The same link made in folder (a link drop onto a folder).
bool ShellLinkItemInto(const std::string& path, const std::string& folder, std::string* linkPath,
                       std::vector<ShellProblem>* problems = nullptr);
// Moves items into a trash of their own volume (the user's trash for the
// home volume) with their info files; never deletes. An item on a volume
// without a usable trash stays where it is, reported.
bool ShellTrashItems(const std::vector<std::string>& paths,
                     std::vector<std::string>* failed = nullptr,
                     std::vector<ShellProblem>* problems = nullptr);
// The original path and deletion date ("YYYY-MM-DDThh:mm:ss") of a trash
// entry, from its info file.
bool ReadTrashInfo(const std::string& trashName, std::string& originalPath,
                   std::string& deletionDate);

// The in-process change bus. Operations announce here; the change notifier
// subscribes. Listeners run on the announcing thread, outside any lock, and
// get PIDLs they must copy to keep (nullptr when absent).
using ShellChangeListener =
    std::function<void(uint32_t event, PCItemIDList pidl1, PCItemIDList pidl2)>;
int SubscribeShellChanges(ShellChangeListener listener);
void UnsubscribeShellChanges(int id);
void SHChangeNotify(uint32_t event, PCItemIDList pidl1, PCItemIDList pidl2);
// Announces paths (turned into PIDLs through Computer).
void SHChangeNotifyPaths(uint32_t event, const std::string& path1, const std::string& path2 = {});

// Launching (ShellExecuteEx). An executable regular file runs directly;
// anything else is handed to the opener (xdg-open unless set). Both run
// with posix_spawn and an argument vector, never through a shell; the child
// is reaped (at once with SEE_MASK_NOASYNC, by a waiter thread otherwise).
enum : uint32_t {
    SEE_MASK_IDLIST = 0x4,
    SEE_MASK_INVOKEIDLIST = 0xC,
    SEE_MASK_NOCLOSEPROCESS = 0x40,
    SEE_MASK_NOASYNC = 0x100,
};
struct SHELLEXECUTEINFO {
    uint32_t fMask = 0;
    uintptr_t hwnd = 0;
    std::string lpVerb;
    std::string lpFile;
    PCItemIDList lpIDList = nullptr;
    std::string lpParameters;
    std::string lpDirectory;
    int nShow = 1;
    intptr_t hInstApp = 0; // above 32 on success
    int hProcess = 0;      // the child's pid
    int exitCode = -1;     // with SEE_MASK_NOASYNC
};
bool ShellExecuteEx(SHELLEXECUTEINFO& info);
void SetShellOpener(std::vector<std::string> command); // empty: xdg-open
// Splits parameters into arguments: blanks separate, double quotes group,
// a backslash before a quote escapes it.
std::vector<std::string> SplitParameters(const std::string& parameters);

// The inverse of SplitParameters: SplitParameters(JoinParameters(args))
// gives args back.
std::string JoinParameters(const std::vector<std::string>& args);

// Shell links are symbolic links and desktop launchers (desktopentry.h).
// A launcher's target is its program (found on PATH when named bare) with
// its arguments, or its address; a "file:" address is the path it names.
struct ShellLinkData {
    std::string targetPath; // absolute, except a program not found or an address
    std::string arguments;  // as SplitParameters reads them
    std::string workingDirectory;
    std::string description;
    std::string iconLocation;
};
bool ReadShellLink(const std::string& linkPath, ShellLinkData& data);

} // namespace ax
