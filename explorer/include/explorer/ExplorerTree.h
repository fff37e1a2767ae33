#pragma once
// The explorer tree: the tree control turned into a browser of the shell
// namespace. Every node stands for one shell item (its TNamespace, owned
// by the node); a folder's children are made when the tree first asks for
// them, by enumerating the folder; every check-box change is recorded per
// shell item in the node storage, so that check states outlive the nodes
// (collapsing, rebuilding, refreshing) and make the backup selection.
//
// The tree is addressed from outside by paths and PIDLs: walks to the node
// of an absolute PIDL make the nodes on the way; the selection is read as
// paths. Its visible state (expanded folders, selection, focus, top node,
// root) is kept by shell item in a TExpPersistent (ExpPersistent.h).
//
// A tree with toChangeNotifierThread follows the disk: it registers with
// the change notifier (ShellNotifier.h), which watches the folders the tree
// has listed, and brings those folders up to date from the batches of
// changes it is sent (WM_SHELLNOTIFY): a merge keeps the nodes that still
// exist with their expansion, selection and check states. Icons come from
// the system image lists, fetched off the GUI thread by the icon thread
// (IconThread.h) with toThreadedImages.
//
// Threads: a tree is used from the GUI thread only; the notifier and the
// icon thread reach it by posted messages.
#include "framework/graphics.h"
#include "rtl/lists.h"
#include "explorer/ExplorerColumns.h"
#include "shell/NodeStorage.h"
#include "shell/ShellNotifier.h"
#include "shell/Namespace.h"
#include "shell/ShellSortHelper.h"
#include "vtree/DataStringTree.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace ax {

class TCustomExplorerTree;
class TExpPersistent;
class TViewManager;

// ---- Properties' types ------------------------------------------------------------------

// What enumeration lists.
using TFileObjects = uint8_t;
enum TFileObject : TFileObjects { foFolders = 0x1, foNonFolders = 0x2, foHidden = 0x4 };

enum TFileSizeFormat : uint8_t { fsfExplorer, fsfActual, fsfDiskUsage };
enum TFileSort : uint8_t { fsFileType, fsFileExtension };
enum TColumnDetailType : uint8_t { cdUser, cdExpColumns, cdShellColumns };

// The root folder: a special folder, a path (rfCustom) or a PIDL
// (rfCustomPIDL). The ordinal is stored in saved views: keep the order.
enum TRootFolder : uint8_t {
    rfAdminTools, rfAltStartup, rfAppData, rfBitBucket, rfCommonAdminTools, rfCommonAltStartup,
    rfCommonAppData, rfCommonDesktopDirectory, rfCommonDocuments, rfCommonFavorties, rfCommonPrograms,
    rfCommonStartMenu, rfCommonStartup, rfCommonTemplates, rfControlPanel, rfCookies, rfDesktop,
    rfDesktopDirectory, rfDrives, rfFavorites, rfFonts, rfHistory, rfInternet, rfInternetCache,
    rfLocalAppData, rfMyPictures, rfNetHood, rfNetwork, rfPersonal, rfPrinters, rfPrintHood, rfProfile,
    rfProgramFiles, rfCommonProgramFiles, rfPrograms, rfRecent, rfSendTo, rfStartMenu, rfStartUp,
    rfSystem, rfTemplate, rfWindows, rfCustom, rfCustomPIDL,
};
inline constexpr int kRootFolderCount = rfCustomPIDL + 1;
// The special-folder id (CSIDL) of a standard root folder; -1 for
// rfCustom, rfCustomPIDL and values out of range.
int RootFolderToCSIDL(TRootFolder folder);

// Restarts the in-place edit of a node whose rename failed (posted to the
// tree's own window).
inline constexpr UINT WM_EDITNODEAGAIN = 0x8035;

// OnNamespaceStructureChange: a node was removed or added.
enum TNamespaceStructureChange : uint8_t { nscDelete = 0, nscAdd = 1 };

// ---- Options -----------------------------------------------------------------------------

using TExpFolderOptions = uint8_t;
enum TExpFolderOption : TExpFolderOptions {
    toFoldersExpandable = 0x01,
    toHideRootFolder = 0x02,
    toForceHideRecycleBin = 0x04,
    toForceShowMyDocuments = 0x08,
    toShowOpenIconOnSelect = 0x10,
    toDisableGhostedFolders = 0x20,
    toNoUseExpColorsProp = 0x40,
};

using TExpImageOptions = uint8_t;
enum TExpImageOption : TExpImageOptions {
    toImages = 0x01,
    toThreadedImages = 0x02,
    toLargeImages = 0x04,
    toMarkCutAndCopy = 0x08,
};

using TExpMiscOptions = uint16_t;
enum TExpMiscOption : TExpMiscOptions {
    toBrowseExecuteFolder = 0x0001,
    toBrowseExecuteFolderShortcut = 0x0002,
    toChangeNotifierThread = 0x0004,
    toListviewLimitBrowseToRoot = 0x0008,
    toNoRebuildIconListOnAssocChange = 0x0010,
    toTrackChangesInMappedDrives = 0x0020,
    toPersistentColumns = 0x0040,
    toExecuteOnDblClk = 0x0080,
    toRightButtonSelect = 0x0100,
    toRemoveContextMenuShortCut = 0x0200,
    toUserSort = 0x0400,
    toAutoScrollHorz = 0x0800,
    toExpReadOnly = 0x1000,
};

using TExpShellOptions = uint8_t;
enum TExpShellOption : TExpShellOptions {
    toRightAlignSizeColumn = 0x01,
    toContextMenus = 0x02,
    toDragDrop = 0x04,
    toShellHints = 0x08,
    toShellColumnMenu = 0x10,
};

using TExpSyncOptions = uint8_t;
enum TExpSyncOption : TExpSyncOptions {
    toCollapseTargetFirst = 0x01,
    toExpandTarget = 0x02,
    toSelectTarget = 0x04,
};

// The option sets of every explorer tree: the string tree's four and five
// of its own. Setters store first; the follow-ups run only when the
// options belong to an explorer tree.
class TExplorerTreeOptions : public TStringTreeOptions {
public:
    explicit TExplorerTreeOptions(TBaseDataTree* owner);
    AnsiString ClassName() const override { return "TExplorerTreeOptions"; }
    void Assign(const TPersistent* source) override;
    void DefinePublished(TFiler& filer) override;

    // toAutoSort is never kept: the explorer sorts when it enumerates.
    void SetAutoOptions(TAutoOptions value) override;
    // Multi-selection keeps to siblings rather than to a level.
    void SetSelectionOptions(TSelectionOptions value) override;

    TExpFolderOptions ExpFolderOptions() const { return folder_; }
    // A change of what the folders show rebuilds the nodes.
    virtual void SetExpFolderOptions(TExpFolderOptions value);
    TExpImageOptions ExpImageOptions() const { return image_; }
    virtual void SetExpImageOptions(TExpImageOptions value);
    TExpMiscOptions ExpMiscOptions() const { return misc_; }
    virtual void SetExpMiscOptions(TExpMiscOptions value);
    TExpShellOptions ExpShellOptions() const { return shell_; }
    virtual void SetExpShellOptions(TExpShellOptions value);
    TExpSyncOptions ExpSyncOptions() const { return sync_; }
    void SetExpSyncOptions(TExpSyncOptions value) { sync_ = value; }

    static constexpr TPaintOptions DefaultPaintOptions =
        toShowButtons | toShowTreeLines | toUseBlendedImages | toGhostedIfUnfocused;
    static constexpr TExpFolderOptions DefaultExpFolderOptions = toFoldersExpandable;
    static constexpr TExpImageOptions DefaultExpImageOptions = toImages | toMarkCutAndCopy;
    static constexpr TExpMiscOptions DefaultExpMiscOptions =
        toBrowseExecuteFolder | toBrowseExecuteFolderShortcut | toExecuteOnDblClk;
    static constexpr TExpShellOptions DefaultExpShellOptions = toRightAlignSizeColumn | toContextMenus;
    static constexpr TExpSyncOptions DefaultExpSyncOptions = toCollapseTargetFirst | toExpandTarget | toSelectTarget;

private:
    TCustomExplorerTree* Tree() const;

    TExpFolderOptions folder_ = DefaultExpFolderOptions;
    TExpImageOptions image_ = DefaultExpImageOptions;
    TExpMiscOptions misc_ = DefaultExpMiscOptions;
    TExpShellOptions shell_ = DefaultExpShellOptions;
    TExpSyncOptions sync_ = DefaultExpSyncOptions;
};

// Text colours of the explorer's nodes.
struct TExpColors {
    TColor CompressedTextColor = clBlue;
    TColor FolderTextColor = 0;
    TColor FileTextColor = 0;
};

// An owning pointer that lives in the tree control's node memory. That
// memory is zero-filled, moved bytewise and released without constructors
// or destructors, so the owner has no destructor (a zero is empty): what it
// holds goes by Reset, or by taking it with Release, when the node goes.
template <class T> class TNodeOwner {
public:
    TNodeOwner() = default;
    TNodeOwner(const TNodeOwner&) = delete;
    TNodeOwner& operator=(const TNodeOwner&) = delete;

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // Holds value; what was held is freed.
    void Reset(std::unique_ptr<T> value = nullptr) { std::unique_ptr<T> old(std::exchange(p_, value.release())); }
    // Hands what was held over; empty afterwards.
    std::unique_ptr<T> Release() { return std::unique_ptr<T>(std::exchange(p_, nullptr)); }

private:
    T* p_ = nullptr;
};

// The explorer's record in every node, ahead of the user's node data: the
// node's item, its own, freed when the node goes. What few nodes have (a
// column manager) the tree keeps beside the nodes.
struct TExpNodeData {
    TNodeOwner<TNamespace> Namespace;
};
// The node memory never runs a destructor.
static_assert(std::is_trivially_destructible_v<TExpNodeData>);

class TCustomExplorerCombobox;
class TExpChangeLink;

// The process-wide change-link dispatcher: a tree announces the item it
// moved to, and the controls linked to it follow. None is installed until
// the explorer's tree-and-list pair, or a tree linked to a combo box,
// provides it.
class IExpChangeDispatch {
public:
    virtual ~IExpChangeDispatch() = default;
    virtual void DispatchChange(TCustomExplorerTree* server, PCItemIDList pidl) = 0;
};
IExpChangeDispatch* ExpChangeDispatch();
void SetExpChangeDispatch(IExpChangeDispatch* dispatch);

// ---- Events ------------------------------------------------------------------------------

using TExpEnumFolderEvent =
    std::function<void(TCustomExplorerTree* Sender, TNamespace* Namespace, bool& AllowAsChild)>;
using TExpRootChangingEvent =
    std::function<void(TCustomExplorerTree* Sender, TRootFolder NewValue, TNamespace* CurrentNamespace,
                       TNamespace* Namespace, bool& Allow)>;
using TExpNotifyEvent = std::function<void(TCustomExplorerTree* Sender)>;
using TExpNamespaceStructureChangeEvent = std::function<void(
    TCustomExplorerTree* Sender, PDataNode Node, TNamespace* NS, TNamespaceStructureChange ChangeType)>;
using TExpCustomNamespaceEvent = std::function<void(TCustomExplorerTree* Sender, PDataNode ParentNode)>;
using TExpGetExpTextEvent = std::function<void(TCustomExplorerTree* Sender, TColumnIndex Column, PDataNode Node,
                                               TNamespace* NS, WideString& Text)>;
using TExpCustomColumnCompareEvent = std::function<void(TCustomExplorerTree* Sender, TColumnIndex Column,
                                                        PDataNode Node1, PDataNode Node2, int& Result)>;
using TExpAddCustomShellColumnEvent =
    std::function<void(TCustomExplorerTree* Sender, int FirstAvailableIndex, TDTHeader& Header)>;
using TExpShellExecuteEvent = std::function<void(TCustomExplorerTree* Sender, TNamespace* NS,
                                                 WideString& WorkingDir, WideString& CmdLineArgument, bool& Allow)>;
using TExpTreeDblClickEvent =
    std::function<void(TCustomExplorerTree* Sender, PDataNode Node, TMouseButton Button, POINT Point)>;
using TExpContextMenuShowEvent = std::function<void(TCustomExplorerTree* Sender, TNamespace* NS, bool& Allow)>;
using TExpContextMenuCmdEvent = std::function<void(TCustomExplorerTree* Sender, TNamespace* NS,
                                                   const WideString& Verb, int MenuItemID, bool& Handled)>;
using TExpContextMenuAfterCmdEvent = std::function<void(TCustomExplorerTree* Sender, TNamespace* NS,
                                                        const WideString& Verb, int MenuItemID, bool Successful)>;
// The item highlighted in a shell menu: its id (for an item that opens a
// sub-menu, its position), the sub-menu's handle when it opens one, and
// whether the mouse did it.
using TExpContextMenuItemChangeEvent = std::function<void(TCustomExplorerTree* Sender, TNamespace* NS,
                                                          int MenuItemID, HMENU SubMenuID, bool MouseSelect)>;
using TExpClipboardEvent = std::function<void(TCustomExplorerTree* Sender, bool& Handled)>;
using TExpClipboardCutEvent =
    std::function<void(TCustomExplorerTree* Sender, bool& MarkSelectedCut, bool& Handled)>;
using TExpShellNotifyEvent = std::function<void(TCustomExplorerTree* Sender, TShellEvent& ShellEvent)>;

// ---- The tree ----------------------------------------------------------------------------

class TCustomExplorerTree : public TCustomDataStringTree {
public:
    explicit TCustomExplorerTree(TComponent* owner);
    ~TCustomExplorerTree() override;
    AnsiString ClassName() const override { return "TCustomExplorerTree"; }
    void Assign(const TPersistent* source) override;
    void DefinePublished(TFiler& filer) override;
    void Loaded() override;

    // ---- Properties --------------------------------------------------------------------
    // Off: no nodes. On: the root folder's node (or its children with
    // toHideRootFolder) exists; folders below are made on demand.
    bool Active() const { return active_; }
    void SetActive(bool value);
    TFileObjects FileObjects() const { return fileObjects_; }
    // A change rebuilds the nodes.
    void SetFileObjects(TFileObjects value);
    TFileSizeFormat FileSizeFormat() const { return fileSizeFormat_; }
    // A change repaints.
    void SetFileSizeFormat(TFileSizeFormat value);
    TFileSort FileSort() const { return fileSort_; }
    // A change sorts again when the tree is sorted by the type column.
    void SetFileSort(TFileSort value);
    TColumnDetailType ColumnDetails() const { return columnDetails_; }
    // A change builds the header's columns anew (cdUser: none, header hidden).
    void SetColumnDetails(TColumnDetailType value);
    int ColumnMenuItemCount() const { return columnMenuItemCount_; }
    void SetColumnMenuItemCount(int value) { columnMenuItemCount_ = value; }

    TRootFolder RootFolder() const { return rootFolder_; }
    // Every assignment (the same value too) replaces the root namespace and
    // rebuilds the nodes, unless OnRootChanging refuses a standard folder.
    void SetRootFolder(TRootFolder value);
    const WideString& RootFolderCustomPath() const { return rootFolderCustomPath_; }
    // A path that names an existing folder becomes the root (rfCustom);
    // anything else (empty, not parsed, no folder, refused) changes nothing.
    void SetRootFolderCustomPath(const WideString& path);
    // The tree's own copy of the custom root PIDL; nil unless the root is rfCustomPIDL.
    PItemIDList RootFolderCustomPIDL() const { return rootFolderCustomPIDL_.get(); }
    // The tree takes a copy; nil changes nothing.
    void SetRootFolderCustomPIDL(PCItemIDList pidl);
    // The root folder's item; nil when the special folder does not exist here.
    TNamespace* RootNamespace() const { return rootNamespace_.get(); }

    TExplorerTreeOptions& TreeOptions() const;
    // Options with toReadOnly in MiscOptions are refused (assertion failure):
    // read-only explorers use toExpReadOnly.
    void SetTreeOptions(const TCustomDataTreeOptions& options);
    TExpColors& ExpColors() { return expColors_; }

    // Keeps the activation: the nodes are rebuilt with the new size.
    void SetNodeDataSize(int size) override;

    // The check states of every shell item, outside the nodes: the backup
    // selection. Owned by the tree's saved state.
    TRootNodeStorage& Storage() const;
    TViewManager& ViewManager() const { return *viewManager_; }

    // ---- Nodes -------------------------------------------------------------------------
    // Rebuilds every node from the root namespace.
    virtual void RebuildRootNamespace();
    // Enumerates a node's folder into child nodes (only when it has none
    // yet); answers its child count.
    virtual uint32_t ExpandNamespaceFolder(PDataNode node);
    // Makes a folder node's children (when it may have some and has none
    // yet) without initialising them: a caller with many to go through
    // initialises them in pieces (InitNode), or the tree does at first use;
    // the first child is initialised on the way. Answers whether it made any.
    bool MakeChildrenUninitialized(PDataNode node);
    // The same in pieces, for a caller that serves messages in between:
    // the folder's items read a slice at a time, then its children made from
    // them. Begin answers nil when the node has children or cannot have any,
    // or its folder is one MakeChildrenUninitialized must list (a drive not
    // ready); Continue reads up to count more items and answers whether the
    // folder is read to its end; End makes the children from what was read
    // (nothing when the node has children by then) and answers whether it
    // made any. The listing refers to the node's item: it goes before the
    // node does.
    class TChildListing;
    struct TChildListingDeleter {
        void operator()(TChildListing* listing) const;
    };
    using TChildListingPtr = std::unique_ptr<TChildListing, TChildListingDeleter>;
    TChildListingPtr BeginChildListing(PDataNode node);
    bool ContinueChildListing(TChildListing& listing, int count);
    bool EndChildListing(PDataNode node, TChildListing& listing);
    // A folder to become the root of a tree under a hidden root, listed the
    // same way: Begin answers nil when pidl names nothing listable;
    // ShowListedFolder reads the rest and makes the folder the root, its
    // children what was read (the listing's item becomes the hidden root's).
    TChildListingPtr BeginFolderListing(PCItemIDList pidl);
    void ShowListedFolder(TChildListing& listing);
    // Takes back what EndChildListing made: the node's children go and the
    // folder counts as never listed.
    void UnmakeChildren(PDataNode node);
    // Appends a child for ns (the node takes it); with setCheck gives it
    // checkType, unchecked. Raises OnNamespaceStructureChange (nscAdd).
    PDataNode AddNodeToTree(PDataNode parent, std::unique_ptr<TNamespace> ns, TCheckType checkType,
                            bool setCheck);
    // The node's shell item; false for no node or a node without one.
    bool ValidateNamespace(PDataNode node, TNamespace*& ns) const;
    TNamespace* NodeNamespace(PDataNode node) const;
    // The node's column state, made on first use; nil without a namespace.
    TColumnManager* ColumnManager(PDataNode node);

    // A nested hourglass over the application while long work runs; one
    // tree at a time holds it.
    void WaitCursor(bool show);
    bool DisableWaitCursors() const { return disableWaitCursors_; }
    void SetDisableWaitCursors(bool value);

    // ---- Paths, navigation and selection ------------------------------------------------
    // The node of an absolute PIDL, making the children on the way without
    // expanding anything; nil outside the root or when an item has no node.
    PDataNode FindNodeByPIDL(PCItemIDList pidl);
    // The same for a path; with select the path is expanded and the node
    // selected and focused.
    PDataNode FindNodeByPath(const WideString& path, bool select);
    bool BrowseToPath(const WideString& path, bool expandTarget, bool collapseAllFirst, bool setFocusToTree,
                      bool selectTarget);
    // BrowseToPath with the choices of ExpSyncOptions.
    bool BrowseTo(const WideString& path, bool setFocusToTree);
    virtual bool BrowseToByPIDL(PCItemIDList pidl, bool expandTarget, bool collapseAllFirst, bool setFocusToTree,
                                bool selectTarget);
    // The first selected node's path when it is a file-system item, else empty.
    WideString SelectedPath();
    // The paths (SelectedFiles: the names) of the selected file-system items
    // in selection order. The same list object each time, refilled.
    TStringList& SelectedPaths();
    TStringList& SelectedFiles();
    // The selected nodes' items; a node without one leaves a nil slot.
    TNamespaceArray SelectedToNamespaceArray();
    // Initialises every existing node (no enumeration), so that stored check
    // states reach them all.
    void InitAllNodes();
    // Makes a folder under parentPIDL (a unique name from the suggestion),
    // adds its node and starts editing its name; newName is empty when
    // nothing was made. Needs toEditable.
    virtual void CreateNewFolder(PCItemIDList parentPIDL, const WideString& suggestedName, WideString& newName);
    bool FindDesktopItemByName(const WideString& name, std::unique_ptr<TNamespace>& ns);
    bool FindRootItemByName(const WideString& name, std::unique_ptr<TNamespace>& ns);

    // The change link: a linked control moved to pidl; this tree follows
    // unless it is already following or already there.
    void ChangeLinkChangeEvent(TCustomExplorerTree* server, PCItemIDList pidl);
    // Announces this tree's current item to the dispatcher.
    void ChangeLinkDispatch();
    // The combo box linked both ways: the tree follows its choices and it
    // follows the tree's moves. Nil: none. Cleared when the combo box goes.
    TCustomExplorerCombobox* ExplorerComboBox() const { return explorerComboBox_; }
    void SetExplorerComboBox(TCustomExplorerCombobox* combo);

    // ---- Refresh and shell changes ------------------------------------------------------
    // Saves the visible state, rebuilds every node and restores the state.
    void RefreshTree();
    // Brings one folder node's children up to date with a fresh listing:
    // nodes of items still there stay as they are, new items are appended,
    // nodes of items gone are removed. The storage record of an item gone
    // goes only when the folder confirms the item no longer exists.
    virtual void RereadAndMergeFolder(PDataNode node, bool sortAfter);
    // Drops one folder node's children and lists the folder again, keeping
    // what was expanded and selected below it.
    void ReReadFolderNode(PDataNode node);
    // The node of an absolute PIDL among the nodes that exist (nothing is
    // listed or initialised); nil when there is none.
    PDataNode FindExistingNode(PCItemIDList pidl);
    bool ChangeNotifierRegistered() const { return notifierRegistered_; }
    bool ThreadedImagesActive() const { return threadedImages_; }
    // Icon requests sent and not yet answered.
    size_t PendingIconRequests() const { return iconRequests_.size(); }

    void Dispatch(TMessage& message) override;

    // State is saved through TExpPersistent and the view manager, not the
    // tree control's streams: misuse is an assertion failure.
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream, PDataNode node = nullptr) override;

    // ---- Columns, menus and commands (ExplorerTreeColumns.cpp, ExplorerTreeCommands.cpp) -
    // The header's column at index, nil when none.
    TExpColumn* ExpColumn(TColumnIndex column) const;
    // Under cdShellColumns the columns from here on are the application's.
    int FirstCustomColumnIndex() const { return firstCustomColumn_; }
    // Builds the header's columns for ColumnDetails and the root folder.
    void RebuildHeaderColumns();
    // The column layout kept in the root folder's storage record.
    void StoreColumnState();
    void ApplyColumnState();
    TColumnMenu& ColumnMenu();
    // The width toggles of the header; the tree's own, so that they work
    // whatever nodes exist.
    TColumnManager& HeaderColumnManager() { return *headerColumns_; }
    TContextMenuManager& ContextMenuManager() { return *contextMenu_; }
    // The application's items, added to the shell menu as a submenu.
    TUserMenu* ShellContextSubMenu = nullptr;
    WideString ShellContextSubMenuCaption;
    bool CopyToClipboard() override;
    bool CutToClipboard() override;
    bool PasteFromClipboard() override;
    virtual void DeleteSelected();
    virtual void PasteIntoSelected(bool all);
    virtual void ShowProperties();
    virtual void ExecuteNamespace(PDataNode node);
    virtual bool BrowseToShortcut(TNamespace* ns);
    // Nodes marked by the last cut (drawn ghosted with toMarkCutAndCopy).
    bool MarkedCut(PDataNode node) const { return node && (node->States & vsCutOrCopy); }

    // The editor's text is the name as shown, escapes and all: it is read
    // back to the name's bytes before the rename, and a backslash that
    // starts no escape is told and the edit starts again.
    void SetEditText(PDataNode node, TColumnIndex column, const WideString& text) override;

    // ---- Events ------------------------------------------------------------------------
    TExpGetExpTextEvent OnGetExpText;
    TExpCustomColumnCompareEvent OnCustomColumnCompare;
    TExpAddCustomShellColumnEvent OnAddCustomShellColumn;
    TExpShellExecuteEvent OnShellExecute;
    TExpTreeDblClickEvent OnTreeDblClick;
    TExpContextMenuShowEvent OnContextMenuShow;
    TExpContextMenuCmdEvent OnContextMenuCmd;
    TExpContextMenuAfterCmdEvent OnContextMenuAfterCmd;
    TExpContextMenuItemChangeEvent OnContextMenuItemChange;
    TExpClipboardEvent OnClipboardCopy;
    TExpClipboardCutEvent OnClipboardCut;
    TExpClipboardEvent OnClipboardPaste;
    TExpEnumFolderEvent OnEnumFolder;
    TExpRootChangingEvent OnRootChanging;
    TExpNotifyEvent OnRootChange;
    TExpNotifyEvent OnRootRebuild;
    TExpNamespaceStructureChangeEvent OnNamespaceStructureChange;
    TExpCustomNamespaceEvent OnCustomNamespace;
    // Each event of a batch of shell changes, before the tree acts on it; a
    // handler may mark it Invalid to have it skipped.
    TExpShellNotifyEvent OnShellNotify;
    // Checked items that went while changes were lost (a rename may have
    // taken them elsewhere unseen), by path, before their records go.
    // Without a handler the records stay, so nothing checked is dropped
    // unseen.
    std::function<void(TObject* sender, const std::vector<WideString>& paths)> OnSelectionLost;

protected:
    std::unique_ptr<TCustomDataTreeOptions> CreateOptions() override;
    // The saved state, which owns the node storage.
    TExpPersistent& Persistent() const { return *persistent_; }
    TExpNodeData* NodeData(PDataNode node) const;

    void DoInitNode(PDataNode parent, PDataNode node, TDataNodeInitStates& initStates) override;
    void DoInitChildren(PDataNode node, uint32_t& childCount) override;
    void DoFreeNode(PDataNode node) override;
    void DoChecked(PDataNode node) override;
    void DoChange(PDataNode node) override;
    bool DoExpanding(PDataNode node) override;
    bool DoCollapsing(PDataNode node) override;
    void DoCollapsed(PDataNode node) override;
    void DoUpdating(TDTUpdateState state) override;
    void DoGetText(PDataNode node, TColumnIndex column, TDTStringType textType, WideString& text) override;
    // Renames the item; a failed rename starts the edit again.
    void DoNewText(PDataNode node, TColumnIndex column, const WideString& text) override;
    // Applies the changes a rename brought before OnEdited is raised.
    void DoEdited(PDataNode node, TColumnIndex column) override;
    void DoGetImageIndex(PDataNode node, TDTImageKind kind, TColumnIndex column, bool& ghosted,
                         int& index) override;
    int DoCompareNodes(PDataNode node1, PDataNode node2, TColumnIndex column) override;
    void WMLButtonDown(TMessage& m) override;
    void WMLButtonDblClk(TMessage& m) override;
    // Whether Alt is held: a double click then shows properties.
    bool AltHeld() const;
    void CreateWnd() override;

    // ---- Columns, menus and commands --------------------------------------------------
    std::unique_ptr<TDTHeader> CreateHeader() override;
    std::unique_ptr<TDataTreeColumn> CreateColumn(TCollection* columns) override;
    void DoPaintText(PDataNode node, TCanvas& canvas, TColumnIndex column, TDTStringType textType) override;
    void DoGetHint(PDataNode node, TColumnIndex column, WideString& hint) override;
    void DoHeaderClick(TColumnIndex column, TMouseButton button, TShiftState shift, int x, int y) override;
    void DoHeaderMouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void DoHeaderDragged(TColumnIndex column, TColumnPosition oldPosition) override;
    void DoColumnResize(TColumnIndex column) override;
    void DoCanEdit(PDataNode node, TColumnIndex column, bool& allowed) override;
    TPopupMenu* DoGetPopupMenu(PDataNode node, TColumnIndex column, POINT position) override;
    bool DoKeyAction(WORD& charCode, TShiftState& shift) override;
    std::shared_ptr<IDataObject> DoCreateDataObject() override;
    bool DoDragAllowed(PDataNode node, TColumnIndex column) override;
    DWORD DragEffects() override;
    HRESULT DragEnter(IDataObject* data, DWORD keyState, POINT pt, DWORD& effect) override;
    HRESULT DragOver(DWORD keyState, POINT pt, DWORD& effect) override;
    HRESULT DragLeave() override;
    HRESULT DragDrop(IDataObject* data, DWORD keyState, POINT pt, DWORD& effect) override;
    void WMContextMenu(TMessage& m) override;
    void WMRButtonDown(TMessage& m) override;
    void WMRButtonUp(TMessage& m) override;
    // The selection's items as the shell's data object.
    std::shared_ptr<IDataObject> ShellDataObjectOfSelection();

    // Whether a node for ns under parent shows an expand button.
    bool HasChildrenDecision(TNamespace* ns, PDataNode node);
    // Runs after a folder's enumeration: adds the documents folder under
    // the desktop with toForceShowMyDocuments, then raises OnCustomNamespace.
    virtual void DoCustomNamespace(PDataNode parent);
    // Whether the tree may browse to pidl (the list limits itself to its root).
    virtual bool MayBrowse(PCItemIDList pidl);
    // The item a linked control follows: the first selected node, or the
    // focused one when nothing is selected.
    virtual TNamespace* ChangeLinkNamespace();
    // A control this tree follows moved to pidl.
    virtual void ChangeLinkChange(TComponent* server, PCItemIDList pidl);
    // A link of this tree went: a link with the linked combo box forgets it.
    virtual void ChangeLinkFree(TExpChangeLink& link);
    // Walks to the node of an absolute PIDL (see the source).
    PDataNode WalkToPIDL(PCItemIDList target, bool select, bool useReinit, bool expand);

    // ---- The change notifier and the icon thread ---------------------------------------
    // Register with (or leave) the change notifier: batches of changes
    // (WM_SHELLNOTIFY) come while registered; leaving first handles the
    // batches already queued.
    virtual void RegisterWithChangeNotifier(bool registered);
    // Switch the tree's requests to the icon thread on or off.
    virtual void SetThreadedImagesActive(bool active);
    // Drop pending icon requests of one node, or of the whole tree (nil).
    virtual void ClearPendingIconRequests(PDataNode node);
    // Binds Images to the system image list toImages and toLargeImages ask for.
    void BindSystemImages();
    // One event of a batch (step 4 of the batch's handling).
    virtual void HandleShellEvent(TShellEvent& event);

private:
    friend class TExplorerTreeOptions;
    friend class TExpPersistent;
    // Replaces the root namespace with pending (may be nil) for value.
    void ChangeRoot(TRootFolder value, std::unique_ptr<TNamespace> pending);
    bool RaiseRootChanging(TRootFolder value, TNamespace* pending);
    struct TListedItem {
        std::unique_ptr<TNamespace> Namespace;
        bool NoFolder = false; // the listing said so
    };
    // The items of a folder that FileObjects, the recycle bin option and
    // OnEnumFolder let in, in the order the folder lists them.
    std::vector<TListedItem> ListFolder(TNamespace& folderNamespace);
    // The listing behind ListFolder: false when the folder cannot be listed.
    bool StartListing(TNamespace& folderNamespace, TChildListing& listing);
    // Reads up to count more items, sorting them in as they come when the
    // listing does; true at the folder's end.
    bool ReadListing(TChildListing& listing, int count);
    bool ReadListingItems(TChildListing& listing, int count);
    // Whether sorting by column is sorting in the folder's own order.
    bool ShellOrderColumn(TColumnIndex column) const;
    // Sorts a folder's items in its own order, as DoCompareNodes would;
    // false when the folder cannot be had.
    bool SortInShellOrder(TNamespace& folderNamespace, std::vector<TListedItem>& items, TSortDirection direction);
    void FreeNodeNamespace(PDataNode node);
    // The one walk to the node of an absolute PIDL behind WalkToPIDL and
    // FindExistingNode; existingOnly looks at the nodes there are and lists
    // or initialises nothing on the way.
    PDataNode WalkToNode(PCItemIDList target, bool existingOnly, bool useReinit, bool expand);
    // The child of node whose item is pidl. stop: a child without an item
    // was met (only when listing), so nothing below may be made up.
    PDataNode ChildWithPIDL(PDataNode node, PCItemIDList pidl, bool existingOnly, bool& stop);
    bool DriveRootNotReady(TNamespace* ns);
    void StoreCheckState(PDataNode node);
    void StartChangeLinkGuard();
    bool Creating() const { return creating_ > 0; }
    void BuildExpColumns();
    void BuildShellColumns();
    int ShellColumnOf(TColumnIndex column) const;
    int CompareByColumn(TColumnIndex column, TNamespace* ns1, TNamespace* ns2, PDataNode node1, PDataNode node2);
    TNamespace* DropNamespaceAt(POINT clientPoint);
    bool ContextMenuVerb(const WideString& verb);
    void MarkCutCopy(bool cut);
    // A left double click at p (client) that hit node at positions.
    void LeftDoubleClick(PDataNode node, THitPositions positions, POINT p);
    // Alt+Enter and right double clicks; true when the message was used.
    bool CommandMessage(TMessage& m);
    void MenuSelect(const TMessage& m);
    friend class TContextMenuManager;
    // Refresh and shell changes (ExplorerTreeRefresh.cpp).
    void WMShellNotify(TMessage& m);
    void WMIconReply(TMessage& m);
    void WMEditNodeAgain(TMessage& m);
    // Every WM_SHELLNOTIFY already queued for the window, handled now.
    void DispatchQueuedBatches();
    bool MappedDriveChange(const TShellEvent& event);
    void MergeParentOf(const TShellEvent& event);
    void DropChildrenCaches(PDataNode node, bool icons);
    void RebuildSystemIcons();
    void MediaChanged(const TShellEvent& event);
    // The folders the notifier is asked to watch: every listed folder.
    void UpdateWatchedFolders();
    struct TMergeItem;
    void RemoveGoneChild(PDataNode parent, PDataNode child, bool gone, bool reindex);
    // Whether the records of a gone item may go: after lost changes, only
    // once its checked items were reported to OnSelectionLost.
    bool MayDropRecordsOf(PCItemIDList pidl);
    void AddMergedChild(PDataNode parent, TMergeItem& item);

    int dataOffset_ = -1;
    bool active_ = false;
    bool built_ = false;
    int creating_ = 0;
    int rebuildGuard_ = 0;
    TFileObjects fileObjects_ = foFolders;
    TFileSizeFormat fileSizeFormat_ = fsfExplorer;
    TFileSort fileSort_ = fsFileType;
    TColumnDetailType columnDetails_ = cdUser;
    int columnMenuItemCount_ = 8;
    TRootFolder rootFolder_ = rfDesktop;
    WideString rootFolderCustomPath_;
    UniquePIDL rootFolderCustomPIDL_;
    std::unique_ptr<TNamespace> rootNamespace_;
    TExpColors expColors_;
    int firstCustomColumn_ = 0;
    int columnRebuildGuard_ = 0;
    std::unique_ptr<TColumnManager> headerColumns_;
    std::unique_ptr<TColumnMenu> columnMenu_;
    std::unique_ptr<TContextMenuManager> contextMenu_;
    // The shell's drop target under a drag, and its item.
    std::unique_ptr<TNamespace> dropNamespace_;
    IDataObject* dragData_ = nullptr;
    bool altDown_ = false;
    std::unique_ptr<TShellSortHelper> sortHelper_;
    std::unique_ptr<TExpPersistent> persistent_;
    std::unique_ptr<TViewManager> viewManager_;
    IMalloc* malloc_ = nullptr;
    int defaultFolderImage_ = -1;
    int defaultFileImage_ = -1;
    TStringList selectedPaths_;
    TStringList selectedFiles_;
    bool notifierRegistered_ = false;
    bool changesLost_ = false; // while a batch that lost changes is handled
    bool threadedImages_ = false;
    // Nodes whose folder was listed (watched on disk while registered).
    std::unordered_set<PDataNode> listed_;
    std::unordered_map<PDataNode, std::unique_ptr<TColumnManager>> columnManagers_;
    bool watchedDirty_ = false;
    std::vector<WideString> watchedFolders_;
    // Nodes with an icon request on its way.
    std::unordered_set<PDataNode> iconRequests_;
    // Set while node deletion runs: replies then only store their icon.
    int freeing_ = 0;
    // The node whose failed rename waits for WM_EDITNODEAGAIN, and the one
    // whose edit just ended; each is cleared when its node goes.
    PDataNode editAgainNode_ = nullptr;
    PDataNode editedNode_ = nullptr;
    bool browsing_ = false;
    bool buttonExpand_ = false;
    bool changeLinkInProgress_ = false;
    bool followingChange_ = false;
    TCustomExplorerCombobox* explorerComboBox_ = nullptr;
    // A node whose children have no stored records (while they are made).
    PDataNode unstoredParent_ = nullptr;
    // Children are being made for MakeChildrenUninitialized.
    bool childInitDeferred_ = false;
    // Items read already for the children being made (EndChildListing).
    std::vector<TListedItem>* prelisted_ = nullptr;
    // Those items are in the folder's own order already, ascending.
    bool prelistedSorted_ = false;
    // The hidden root's item for the rebuild under way (ShowListedFolder).
    std::unique_ptr<TNamespace> listedRoot_;
    int changeLinkCount_ = 0;
    int waitCursorCount_ = 0;
    TCursor savedCursor_ = crDefault;
    bool disableWaitCursors_ = false;
};

// The published explorer tree.
class TExplorerTree : public TCustomExplorerTree {
public:
    using TCustomExplorerTree::TCustomExplorerTree;
    AnsiString ClassName() const override { return "TExplorerTree"; }
};

// Makes TExplorerTree known to form descriptions.
void RegisterExplorerTreeClasses();

} // namespace ax
