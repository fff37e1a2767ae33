#pragma once
// Shell items: TNamespace, one item of the namespace seen through its
// absolute PIDL, with every property computed on first use and cached;
// enumeration, details columns and the actions on items; the special-folder
// objects, and the conversions between paths, PIDLs and items.
#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellops.h"
#include "platform/shellns/contextmenu.h"
#include "platform/shellns/dataobject.h"
#include "platform/shellns/shellpoint.h"
#include "rtl/exceptions.h"
#include "rtl/lists.h"
#include "rtl/text.h"
#include "shell/PIDLTools.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace ax {

class EShellInvalidFileName : public Exception {
public:
    using Exception::Exception;
};

inline constexpr const char* SInvalidFileNameNamespace =
    "Trying to create a TNamespace on a non existant File object";
inline constexpr const char16_t* SNotSiblings =
    u"PIDLs to operate on are not siblings of the Namespace doing the operation.";
inline constexpr const char16_t* SUnknownCommand = u"Unknown Command";

class TNamespace;
using TNamespaceArray = std::vector<TNamespace*>;
using TPIDLArray = std::vector<PItemIDList>;

// Column states (DetailsGetDefaultColumnState).
enum : uint8_t {
    csString = 1,
    csInteger = 2,
    csDate = 4,
    csOnByDefault = 8,
    csSlow = 16,
    csExtended = 32,
    csSecondaryUI = 64,
    csHidden = 128,
};
using TColumnStates = uint8_t;

// The callback receives ownership of child.
using TEnumFolderCallback =
    std::function<bool(TNamespace* parent, PItemIDList child, void* data, bool& terminate)>;
using TContextMenuCmdCallback =
    std::function<void(TNamespace* ns, const WideString& verb, int menuItemID, bool& handled)>;
// Before the menu shows: the callback may change the menu or refuse it.
using TContextMenuShowCallback = std::function<void(TNamespace* ns, ShellMenu& menu, bool& allow)>;
using TContextMenuAfterCmdCallback =
    std::function<void(TNamespace* ns, const WideString& verb, int menuItemID, bool successful)>;

// An application pop-up menu merged into a context menu.
struct TUserMenuItem {
    WideString Caption; // "-" is a separator
    bool RadioItem = false;
    bool Checked = false;
    bool Default = false;
    bool Enabled = true;
    int Break = 0; // 0 none, 1 column break, 2 bar break
    std::function<void()> OnClick;
};
struct TUserMenu {
    WideString Caption;
    bool RightToLeft = false;
    std::vector<TUserMenuItem> Items;
};

class TNamespace {
public:
    // Owns pidl. With a parent, pidl is the one item below it (joined to the
    // parent's PIDL unless the parent is the desktop); without, it is
    // absolute, nil meaning the desktop. The parent is borrowed and must
    // outlive the object.
    TNamespace(UniquePIDL pidl, TNamespace* parent);
    // Raises EShellInvalidFileName when the path names nothing.
    static std::unique_ptr<TNamespace> CreateFromFileName(const WideString& fileName);
    virtual ~TNamespace();
    TNamespace(const TNamespace&) = delete;
    TNamespace& operator=(const TNamespace&) = delete;

    // Below a parent other than the desktop the item keeps only its own
    // item; the absolute PIDL is joined on first use and kept from then on.
    PItemIDList AbsolutePIDL() const;
    PItemIDList RelativePIDL() const { return itemOnly_ ? item_.get() : LastItem(); }
    // The containing folder's object: the one given or the one this object
    // made itself; nil until asked for when none was given.
    TNamespace* Parent() const { return parent_ ? parent_ : more_ ? more_->ownedParent.get() : nullptr; }

    // ---- cached and uncached queries ----
    virtual bool Archive();
    virtual WideString AttributesString();
    virtual bool CanCopy();
    virtual bool CanDelete();
    virtual bool CanLink();
    virtual bool CanMove();
    virtual bool CanRename();
    virtual bool Compressed();
    virtual WideString CreationTime();
    virtual FILETIME CreationTimeRaw();
    virtual bool Directory();
    virtual bool DropTarget();
    virtual WideString Extension();
    virtual WideString FileName();
    virtual bool FileSysAncestor();
    virtual bool FileSystem();
    virtual WideString FileType();
    virtual bool Folder();
    virtual bool Ghosted();
    // A folder of the file system that cannot be listed (no right to read
    // it, ...): shown as such, never as an empty folder.
    bool Unreadable();
    virtual bool HasPropSheet();
    virtual bool HasSubFolder();
    virtual bool Hidden();
    virtual WideString InfoTip();
    virtual WideString LastAccessTime();
    virtual FILETIME LastAccessTimeRaw();
    virtual WideString LastWriteTime();
    virtual FILETIME LastWriteTimeRaw();
    virtual bool Link();
    virtual WideString NameAddressbar();
    virtual WideString NameAddressbarInFolder();
    virtual WideString NameForEditing();
    virtual WideString NameForEditingInFolder();
    virtual WideString NameForParsing();
    virtual WideString NameForParsingInFolder();
    virtual WideString NameInFolder();
    virtual WideString NameNormal();
    virtual WideString NameParseAddress();
    virtual WideString NameParseAddressInFolder();
    virtual bool NewContent();
    virtual bool NonEnumerated();
    virtual bool Normal();
    virtual bool OffLine();
    virtual ShellFolderPtr ParentShellFolder();
    virtual bool ReadOnly();
    virtual bool ReadOnlyFile();
    virtual bool Removable();
    virtual WideString SizeOfFile();
    virtual WideString SizeOfFileDiskUsage();
    virtual int64_t SizeOfFileInt64();
    virtual WideString SizeOfFileKB();
    virtual bool Share();
    virtual WideString ShortFileName();
    virtual bool SubItems();
    virtual bool System();
    virtual bool Temporary();
    // A new object on a copy of AbsolutePIDL, without parent.
    virtual std::unique_ptr<TNamespace> Clone();
    virtual WideString DetailsDefaultColumnTitle(int column);
    virtual WideString DetailsDefaultOf(int column);
    virtual int DetailsDefaultSupportedColumns();
    virtual int GetIconIndex(bool openIcon, int iconSize, bool cached = true);

    // ---- identity ----
    bool IsDesktop() const;
    bool IsMyComputer() const;
    bool IsNetworkNeighborhood() const;
    bool IsNetworkNeighborhoodChild() const;
    bool IsControlPanel() const;
    bool IsRecycleBin();

    // The item's own folder, cached; nil when it is no folder.
    ShellFolderPtr ShellFolder();
    // Adopts a folder object already bound for this item.
    void SetShellFolder(ShellFolderPtr folder) { Extra().shellFolder = std::move(folder); }

    // ---- icon thread support ----
    bool ThreadedIconLoaded() const { return flags_ & kIconLoaded; }
    bool ThreadIconLoading() const { return flags_ & kIconLoading; }
    void SetThreadIconLoading(bool value);
    void SetIconThreadHandled(bool value);
    void SetIconIndexByThread(int index, bool clearLoading);

    // What the item's folder already told when listing it (a listing of
    // folders only or of other items only): whether it is a folder. Spares
    // a look at the disk; a cache invalidation forgets it.
    void SetFolderKnown(bool folder);
    // The listing of its folder said it is no folder. Unlike the above it
    // outlives cache invalidations: the next listing tells again.
    bool ListedNoFolder() const { return flags_ & kListedNoFolder; }
    void SetListedNoFolder(bool value) { flags_ = value ? (flags_ | kListedNoFolder) : (flags_ & ~kListedNoFolder); }

    // ---- enumeration and details ----
    int EnumerateFolder(bool folders, bool nonFolders, bool includeHidden,
                        const TEnumFolderCallback& callback, void* data);
    bool HasChildren(uint32_t flags);
    bool SubFoldersEx(uint32_t flags) { return HasChildren(flags); }
    bool SubItemsEx(uint32_t flags) { return HasChildren(flags); }
    int DetailsSupportedColumns();
    bool DetailsValidIndex(int column);
    WideString DetailsColumnTitle(int column);
    WideString DetailsOf(int column);
    TColumnStates DetailsGetDefaultColumnState(int column);

    // ---- actions ----
    bool ShowContextMenu(uintptr_t owner, const TContextMenuCmdCallback& cmd,
                         const TContextMenuShowCallback& show,
                         const TContextMenuAfterCmdCallback& after, TUserMenu* userMenu,
                         const ShellPoint* position);
    bool ShowContextMenuMulti(uintptr_t owner, const TContextMenuCmdCallback& cmd,
                              const TContextMenuShowCallback& show,
                              const TContextMenuAfterCmdCallback& after, TUserMenu* userMenu,
                              const ShellPoint* position, const TNamespaceArray& namespaces,
                              bool absolutePIDLs);
    // The verb of an item of the menu this item shows now; "" when none.
    WideString ContextMenuVerb(uint32_t menuItemID);
    // No menu here has owner-drawn parts; answers false.
    bool HandleContextMenuMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam);
    bool Copy(const TNamespaceArray& namespaces);
    bool Cut(const TNamespaceArray& namespaces);
    bool Delete(const TNamespaceArray& namespaces);
    bool Paste(const TNamespaceArray& namespaces);
    bool ShowPropertySheet(const TNamespaceArray& namespaces);
    std::shared_ptr<IDataObject> DataObjectMulti(const TNamespaceArray& namespaces);
    // Runs a verb of the items given by PIDLs relative to this item's parent.
    bool ExecuteContextMenuVerb(const WideString& verb, const std::vector<PCItemIDList>& pidls);
    bool VerifyPIDLRelationship(const TNamespaceArray& namespaces);
    bool SetNameOf(const WideString& newName);
    bool ShellExecuteNamespace(const WideString& workingDir, const WideString& cmdLineArguments,
                               bool executeFolder, bool executeFolderShortCut);
    HRESULT DragEnter(IDataObject* data, uint32_t keyState, ShellPoint pt, uint32_t& effect);
    HRESULT DragOver(uint32_t keyState, ShellPoint pt, uint32_t& effect);
    HRESULT DragLeave();
    HRESULT Drop(IDataObject* data, uint32_t keyState, ShellPoint pt, uint32_t& effect);
    void ReplacePIDLFromParent(bool folders, bool nonFolders, bool includeHidden);
    void InvalidateCache();
    void InvalidateNamespace(bool refreshIcon);
    void InvalidateRelativePIDL();

private:
    enum : uint16_t {
        kRecycleBinValue = 1 << 1,
        kRecycleBinKnown = 1 << 2,
        kOwnsParent = 1 << 3,
        kInitBits = (1 << 4) | (1 << 5),
        kIconLoaded = 1 << 6,
        kIconLoading = 1 << 7,
        kRelativeBits = (1 << 8) | (1 << 9),
        kIconHandled = 1 << 10,
        kListedNoFolder = 1 << 11,
    };
    bool CachedAttribute(uint32_t bit, uint32_t sfgao);
    bool AskAttribute(uint32_t sfgao);
    WideString DisplayNameOf(uint32_t flags);
    WideString CachedName(std::optional<WideString>& slot, uint32_t flags);
    const WIN32_FIND_DATA* FindData();
    void RefreshFileTimes();
    bool FindAttribute(uint32_t attribute);
    UniquePIDL ParentAbsolutePIDL() const; // a new copy, nil for the desktop
    // Takes fresh as the item's PIDL (its last item the relative one).
    void ReplaceAbsolutePIDL(UniquePIDL fresh);
    bool ShowMenu(uintptr_t owner, const TContextMenuCmdCallback& cmd,
                  const TContextMenuShowCallback& show, const TContextMenuAfterCmdCallback& after,
                  TUserMenu* userMenu, const ShellPoint* position, const TNamespaceArray& items,
                  bool absolute);
    std::shared_ptr<IContextMenu> MenuOf(const TNamespaceArray& items, bool absolute);
    std::shared_ptr<IDropTarget> DropTargetObject();

    PItemIDList LastItem() const;
    // Equal to pidl, told without joining an absolute PIDL not made yet.
    bool SameItem(PCItemIDList pidl) const;
    bool IsSpecial(const TNamespace* special) const { return special && SameItem(special->AbsolutePIDL()); }

    // What most items of a big folder never need lives apart, made with the
    // first of it: the object then stays within the heap's 64-byte blocks.
    struct ActionObjects {
        std::shared_ptr<IContextMenu> currentMenu;
        std::shared_ptr<IDropTarget> dropTarget;
    };
    // Texts worked out on first use, apart again: most folders get their
    // folder object when listed, and only those painted a text.
    struct TextCache {
        std::optional<WideString> typeName;
        std::optional<WideString> nameInFolder, nameNormal, nameParseAddress;
        std::optional<WideString> creationTime, lastAccessTime, lastWriteTime;
        std::optional<WideString> sizeOfFile, sizeOfFileKB;
    };
    struct More {
        std::unique_ptr<TNamespace> ownedParent;
        ShellFolderPtr shellFolder;
        std::unique_ptr<ActionObjects> actions;
        std::unique_ptr<WIN32_FIND_DATA> findData;
        std::unique_ptr<TextCache> texts;
        int columnCount = -1;
        bool shellColumns = false; // the folder's own columns, not the defaults
    };
    More& Extra();
    ActionObjects& Actions();
    void ResetDropTarget() {
        if (more_ && more_->actions) more_->actions->dropTarget.reset();
    }
    TextCache& Texts();

    // The item: the whole absolute PIDL, or with itemOnly_ the one item
    // below parent_ (the absolute one then joined on demand into absolute_).
    UniquePIDL item_;
    mutable UniquePIDL absolute_;
    TNamespace* parent_ = nullptr;
    std::unique_ptr<More> more_;
    int iconClosed_ = -1;
    int iconOpen_ = -1;
    uint16_t known_ = 0;
    uint16_t values_ = 0;
    uint16_t flags_ = 0;
    bool itemOnly_ = false;
};

// ---- free functions ----
PItemIDList PathToPIDL(const WideString& path);
WideString PIDLToPath(PCItemIDList pidl);
std::unique_ptr<TNamespace> CreateSpecialNamespace(int csidl);
std::vector<PItemIDList> NamespaceToAbsolutePIDLArray(const TNamespaceArray& namespaces);
std::vector<PItemIDList> NamespaceToRelativePIDLArray(const TNamespaceArray& namespaces);
// The desktop's own item for the personal documents folder, nil if none.
PItemIDList GetMyDocumentsVirtualPIDL();

// The PIDL manager every TNamespace allocates and frees through.
TPIDLManager& NamespacePIDLManager();

// The special-folder objects, created on first use (nil when the folder does
// not exist here) or by CreateSpecialFolders, and freed by FreeSpecialFolders
// (start-up and shut-down: ShellUtilities.h); a later use creates them again
// from the current environment.
void CreateSpecialFolders();
void FreeSpecialFolders();
TNamespace* DesktopFolder();
TNamespace* RecycleBinFolder();
TNamespace* PhysicalDesktopFolder();
TNamespace* DrivesFolder();
TNamespace* PrinterFolder();
TNamespace* HistoryFolder();
TNamespace* ControlPanelFolder();
TNamespace* NetworkNeighborHoodFolder();
TNamespace* TemplatesFolder();
TNamespace* MyDocumentsFolder();
TNamespace* FavoritesFolder();

} // namespace ax
