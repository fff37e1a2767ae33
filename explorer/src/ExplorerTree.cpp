// The explorer tree: construction, properties, the root folder, rebuilding,
// the option sets and the wait cursor. Nodes, enumeration and check storage
// are in ExplorerTreeNodes.cpp, paths and selection in ExplorerTreePaths.cpp.
#include "explorer/ExplorerTree.h"

#include "ExplorerTreeInternal.h"
#include "framework/forms.h"
#include "framework/streaming.h"
#include "rtl/scopeguard.h"
#include "explorer/ExpChangeDispatch.h"
#include "explorer/ExpPersistent.h"
#include "explorer/ExplorerComboBox.h"
#include "shell/IconThread.h"
#include "shell/PIDLTools.h"
#include "shell/ShellUtilities.h"
#include "shell/SystemImageLists.h"
#include "shell/WideStrings.h"

namespace ax {
namespace {

// Special-folder ids of the standard root folders, in TRootFolder order.
constexpr int kRootCSIDL[rfCustom] = {
    48, 29, 26, 10, 47, 30, 35, 25, 46, 31, 23, 22, 24, 45, 3, 33, 0, 16, 17, 6, 20,
    34, 1,  32, 28, 39, 19, 18, 5,  4,  27, 40, 38, 43, 2, 8, 9, 11, 7, 37, 21, 36,
};

const std::vector<const char*> kRootFolderIdents = {
    "rfAdminTools", "rfAltStartup", "rfAppData", "rfBitBucket", "rfCommonAdminTools", "rfCommonAltStartup",
    "rfCommonAppData", "rfCommonDesktopDirectory", "rfCommonDocuments", "rfCommonFavorties", "rfCommonPrograms",
    "rfCommonStartMenu", "rfCommonStartup", "rfCommonTemplates", "rfControlPanel", "rfCookies", "rfDesktop",
    "rfDesktopDirectory", "rfDrives", "rfFavorites", "rfFonts", "rfHistory", "rfInternet", "rfInternetCache",
    "rfLocalAppData", "rfMyPictures", "rfNetHood", "rfNetwork", "rfPersonal", "rfPrinters", "rfPrintHood",
    "rfProfile", "rfProgramFiles", "rfCommonProgramFiles", "rfPrograms", "rfRecent", "rfSendTo", "rfStartMenu",
    "rfStartUp", "rfSystem", "rfTemplate", "rfWindows", "rfCustom", "rfCustomPIDL",
};
static_assert(std::size(kRootCSIDL) == rfCustom);

const std::vector<const char*> kFolderIdents = {"toFoldersExpandable",    "toHideRootFolder",
                                                "toForceHideRecycleBin",  "toForceShowMyDocuments",
                                                "toShowOpenIconOnSelect", "toDisableGhostedFolders",
                                                "toNoUseExpColorsProp"};
const std::vector<const char*> kImageIdents = {"toImages", "toThreadedImages", "toLargeImages", "toMarkCutAndCopy"};
const std::vector<const char*> kMiscIdents = {
    "toBrowseExecuteFolder",       "toBrowseExecuteFolderShortcut", "toChangeNotifierThread",
    "toListviewLimitBrowseToRoot", "toNoRebuildIconListOnAssocChange", "toTrackChangesInMappedDrives",
    "toPersistentColumns",         "toExecuteOnDblClk",             "toRightButtonSelect",
    "toRemoveContextMenuShortCut", "toUserSort",                    "toAutoScrollHorz",
    "toExpReadOnly"};
const std::vector<const char*> kShellIdents = {"toRightAlignSizeColumn", "toContextMenus", "toDragDrop",
                                               "toShellHints", "toShellColumnMenu"};
const std::vector<const char*> kSyncIdents = {"toCollapseTargetFirst", "toExpandTarget", "toSelectTarget"};

unsigned Mask(const std::vector<const char*>& idents) { return (1u << idents.size()) - 1; }

IExpChangeDispatch* g_changeDispatch = nullptr;
// The tree whose wait cursor shows, if any (GUI thread only).
TCustomExplorerTree* g_waitCursorHolder = nullptr;

} // namespace

void ExplorerAssert(bool condition, const char* text) {
    if (!condition) throw EAssertionFailed(std::string(text) + " (ExplorerTree)");
}

int RootFolderToCSIDL(TRootFolder folder) { return folder < rfCustom ? kRootCSIDL[folder] : -1; }

IExpChangeDispatch* ExpChangeDispatch() { return g_changeDispatch; }
void SetExpChangeDispatch(IExpChangeDispatch* dispatch) { g_changeDispatch = dispatch; }

// ---- Options ------------------------------------------------------------------------------

TExplorerTreeOptions::TExplorerTreeOptions(TBaseDataTree* owner) : TStringTreeOptions(owner) {}

TCustomExplorerTree* TExplorerTreeOptions::Tree() const { return dynamic_cast<TCustomExplorerTree*>(Owner()); }

void TExplorerTreeOptions::SetAutoOptions(TAutoOptions value) {
    TStringTreeOptions::SetAutoOptions(value & ~TAutoOptions(toAutoSort));
}

void TExplorerTreeOptions::SetSelectionOptions(TSelectionOptions value) {
    if ((value & toMultiSelect) && (value & toLevelSelectConstraint))
        value = (value & ~TSelectionOptions(toLevelSelectConstraint)) | toSiblingSelectConstraint;
    TStringTreeOptions::SetSelectionOptions(value);
}

void TExplorerTreeOptions::SetExpFolderOptions(TExpFolderOptions value) {
    value &= Mask(kFolderIdents);
    const TExpFolderOptions changed = value ^ folder_;
    folder_ = value;
    TCustomExplorerTree* tree = Tree();
    constexpr TExpFolderOptions rebuilding =
        toFoldersExpandable | toHideRootFolder | toForceHideRecycleBin | toForceShowMyDocuments;
    if (tree && !tree->HasState(csLoading) && (changed & rebuilding)) tree->RebuildRootNamespace();
}

void TExplorerTreeOptions::SetExpImageOptions(TExpImageOptions value) {
    value &= Mask(kImageIdents);
    const TExpImageOptions changed = value ^ image_;
    image_ = value;
    TCustomExplorerTree* tree = Tree();
    if (!tree) return;
    if (changed & (toImages | toLargeImages)) {
        tree->BindSystemImages();
        if (!tree->HasState(csLoading)) tree->RebuildRootNamespace();
    }
    if ((changed & toThreadedImages) && tree->HandleAllocated() && !tree->Creating())
        tree->SetThreadedImagesActive(value & toThreadedImages);
}

void TExplorerTreeOptions::SetExpMiscOptions(TExpMiscOptions value) {
    value &= Mask(kMiscIdents);
    if ((value & toTrackChangesInMappedDrives) && !(misc_ & toTrackChangesInMappedDrives) &&
        !(misc_ & toChangeNotifierThread))
        value |= toChangeNotifierThread;
    if (!(value & toChangeNotifierThread)) value &= ~TExpMiscOptions(toTrackChangesInMappedDrives);
    const TExpMiscOptions changed = value ^ misc_;
    misc_ = value;
    TCustomExplorerTree* tree = Tree();
    if (tree && (changed & toChangeNotifierThread) && tree->HandleAllocated() && !tree->Creating())
        tree->RegisterWithChangeNotifier(value & toChangeNotifierThread);
}

void TExplorerTreeOptions::SetExpShellOptions(TExpShellOptions value) {
    value &= Mask(kShellIdents);
    const TExpShellOptions changed = value ^ shell_;
    shell_ = value;
    TCustomExplorerTree* tree = Tree();
    if (tree && (changed & toRightAlignSizeColumn)) tree->RebuildRootNamespace();
}

void TExplorerTreeOptions::Assign(const TPersistent* source) {
    TStringTreeOptions::Assign(source);
    if (const auto* other = dynamic_cast<const TExplorerTreeOptions*>(source)) {
        SetExpFolderOptions(other->folder_);
        SetExpImageOptions(other->image_);
        SetExpMiscOptions(other->misc_);
        SetExpShellOptions(other->shell_);
        sync_ = other->sync_;
    }
}

void TExplorerTreeOptions::DefinePublished(TFiler& f) {
    TStringTreeOptions::DefinePublished(f);
    f.Set("ExpFolderOptions", kFolderIdents, [this] { return unsigned(folder_); },
          [this](unsigned v) { SetExpFolderOptions(TExpFolderOptions(v)); }, unsigned(DefaultExpFolderOptions));
    f.Set("ExpImageOptions", kImageIdents, [this] { return unsigned(image_); },
          [this](unsigned v) { SetExpImageOptions(TExpImageOptions(v)); }, unsigned(DefaultExpImageOptions));
    f.Set("ExpMiscOptions", kMiscIdents, [this] { return unsigned(misc_); },
          [this](unsigned v) { SetExpMiscOptions(TExpMiscOptions(v)); }, unsigned(DefaultExpMiscOptions));
    f.Set("ExpShellOptions", kShellIdents, [this] { return unsigned(shell_); },
          [this](unsigned v) { SetExpShellOptions(TExpShellOptions(v)); }, unsigned(DefaultExpShellOptions));
    f.Set("ExpSyncOptions", kSyncIdents, [this] { return unsigned(sync_); },
          [this](unsigned v) { sync_ = TExpSyncOptions(v & Mask(kSyncIdents)); }, unsigned(DefaultExpSyncOptions));
}

// ---- Life ---------------------------------------------------------------------------------

TCustomExplorerTree::TCustomExplorerTree(TComponent* owner) : TCustomDataStringTree(owner) {
    ++creating_;
    // The explorer's record comes first: everything below may touch nodes.
    dataOffset_ = AllocateInternalDataArea(int(sizeof(TExpNodeData)));
    persistent_ = std::make_unique<TExpPersistent>();
    viewManager_ = std::make_unique<TViewManager>();
    sortHelper_ = std::make_unique<TShellSortHelper>();
    headerColumns_ = std::make_unique<TColumnManager>(this);
    contextMenu_ = std::make_unique<TContextMenuManager>(this);
    SetRootFolder(rfDesktop);
    OnDragOver = [](TBaseDataTree* sender, TBaseDataTree*, TShiftState, TDragState, POINT, TDropMode, DWORD&,
                    bool& accept) {
        accept = !(static_cast<TCustomExplorerTree*>(sender)->TreeOptions().ExpMiscOptions() & toExpReadOnly);
    };
    SetDefaultNodeHeight(17);
    Header().SetHeight(17);
    SetDragHeight(250);
    SetDragWidth(150);
    SetHintMode(hmHint);
    ClipboardFormats().Add(CFSTR_DATATREE);
    ClipboardFormats().Add(CFSTR_DATATREEREFERENCE);
    defaultFolderImage_ = DefaultSystemImageIndex(0);
    defaultFileImage_ = DefaultSystemImageIndex(2);
    TExplorerTreeOptions& options = TreeOptions();
    options.SetPaintOptions(TExplorerTreeOptions::DefaultPaintOptions);
    options.SetExpFolderOptions(TExplorerTreeOptions::DefaultExpFolderOptions);
    options.SetExpShellOptions(TExplorerTreeOptions::DefaultExpShellOptions);
    options.SetExpMiscOptions(TExplorerTreeOptions::DefaultExpMiscOptions);
    options.SetExpImageOptions(TExplorerTreeOptions::DefaultExpImageOptions);
    options.SetExpSyncOptions(TExplorerTreeOptions::DefaultExpSyncOptions);
    BindSystemImages();
    --creating_;
    SHGetMalloc(&malloc_);
}

TCustomExplorerTree::~TCustomExplorerTree() {
    SetState(csDestroying);
    // No dispatch may reach the tree once it goes; a linked combo box's
    // link goes with it.
    TExpChangeDispatch::Instance().UnRegisterChangeLink(this, this, ukEither);
    SetActive(false);
    if (threadedImages_) SetThreadedImagesActive(false);
    if (notifierRegistered_) RegisterWithChangeNotifier(false);
    // The base can reach only its own node-free step: the items go here.
    Clear();
    FreeNodeNamespace(RootNode());
    if (g_waitCursorHolder == this) {
        if (TScreen* screen = Screen()) screen->SetCursor(savedCursor_);
        g_waitCursorHolder = nullptr;
    }
}

std::unique_ptr<TCustomDataTreeOptions> TCustomExplorerTree::CreateOptions() {
    return std::make_unique<TExplorerTreeOptions>(this);
}

TExplorerTreeOptions& TCustomExplorerTree::TreeOptions() const {
    return static_cast<TExplorerTreeOptions&>(TCustomDataStringTree::TreeOptions());
}

void TCustomExplorerTree::SetTreeOptions(const TCustomDataTreeOptions& options) {
    ExplorerAssert(!(options.MiscOptions() & toReadOnly),
                   "Please use the TreeOptions.ExpMiscOptions ReadOnly property and not the "
                   "TreeOptions.MiscOptions ReadOnly property");
    TreeOptions().Assign(&options);
}

TRootNodeStorage& TCustomExplorerTree::Storage() const { return persistent_->Storage(); }

TExpNodeData* TCustomExplorerTree::NodeData(PDataNode node) const {
    return node ? reinterpret_cast<TExpNodeData*>(reinterpret_cast<uint8_t*>(node) + dataOffset_) : nullptr;
}

// ---- Properties ---------------------------------------------------------------------------

void TCustomExplorerTree::SetActive(bool value) {
    if (value == active_) return;
    active_ = value;
    if (HasState(csLoading) && !HasState(csDesigning)) return;
    if (value) {
        if (!built_) {
            if (rootNamespace_) RebuildRootNamespace();
            built_ = true;
        }
    } else if (built_) {
        Clear();
        built_ = false;
    }
}

void TCustomExplorerTree::SetFileObjects(TFileObjects value) {
    value &= foFolders | foNonFolders | foHidden;
    if (value == fileObjects_) return;
    fileObjects_ = value;
    RebuildRootNamespace();
}

void TCustomExplorerTree::SetNodeDataSize(int size) {
    const bool wasActive = active_;
    SetActive(false);
    TCustomDataStringTree::SetNodeDataSize(size);
    SetActive(wasActive);
}

bool TCustomExplorerTree::RaiseRootChanging(TRootFolder value, TNamespace* pending) {
    bool allow = true;
    if (OnRootChanging) OnRootChanging(this, value, rootNamespace_.get(), pending, allow);
    return allow;
}

void TCustomExplorerTree::SetRootFolder(TRootFolder value) {
    if (value > rfCustomPIDL) return;
    std::unique_ptr<TNamespace> pending;
    TPIDLManager& pm = NamespacePIDLManager();
    if (value == rfCustom) {
        if (PItemIDList pidl = PathToPIDL(rootFolderCustomPath_)) pending = std::make_unique<TNamespace>(UniquePIDL(pidl), nullptr);
    } else if (value == rfCustomPIDL) {
        if (rootFolderCustomPIDL_)
            pending = std::make_unique<TNamespace>(UniquePIDL(pm.CopyPIDL(rootFolderCustomPIDL_.get())), nullptr);
    } else {
        pending = CreateSpecialNamespace(RootFolderToCSIDL(value));
    }
    // The custom roots were asked for when their path or PIDL was given.
    const bool allowed = RaiseRootChanging(value, pending.get());
    if (!allowed && value != rfCustom && value != rfCustomPIDL) return;
    ChangeRoot(value, std::move(pending));
}

void TCustomExplorerTree::ChangeRoot(TRootFolder value, std::unique_ptr<TNamespace> pending) {
    BeginUpdate();
    {
        ScopeGuard end([this] { EndUpdate(); });
        Clear();
        rootFolder_ = value;
        if (value != rfCustom) rootFolderCustomPath_.clear();
        if (value != rfCustomPIDL) rootFolderCustomPIDL_.reset();
        FreeNodeNamespace(RootNode());
        rootNamespace_ = std::move(pending);
    }
    if (columnDetails_ == cdShellColumns) RebuildHeaderColumns();
    if (rootNamespace_) RebuildRootNamespace();
    if (OnRootChange) OnRootChange(this);
}

void TCustomExplorerTree::SetRootFolderCustomPath(const WideString& path) {
    if (path.empty()) return;
    const WideString folder = WideIncludeTrailingBackslash(path);
    PItemIDList pidl = PathToPIDL(folder);
    if (!pidl) return;
    auto pending = std::make_unique<TNamespace>(UniquePIDL(pidl), nullptr);
    if (!RaiseRootChanging(rfCustom, pending.get()) || !WideDirectoryExists(folder)) return;
    rootFolderCustomPath_ = folder;
    ChangeRoot(rfCustom, std::move(pending));
}

void TCustomExplorerTree::SetRootFolderCustomPIDL(PCItemIDList pidl) {
    if (!pidl) return;
    TPIDLManager& pm = NamespacePIDLManager();
    UniquePIDL copy(pm.CopyPIDL(pidl));
    if (!copy) return;
    auto pending = std::make_unique<TNamespace>(UniquePIDL(pm.CopyPIDL(pidl)), nullptr);
    RaiseRootChanging(rfCustomPIDL, pending.get());
    if (!rootFolderCustomPIDL_ || !EqualPIDL(rootFolderCustomPIDL_.get(), pidl)) rootFolderCustomPIDL_ = std::move(copy);
    ChangeRoot(rfCustomPIDL, std::move(pending));
}

void TCustomExplorerTree::RebuildRootNamespace() {
    if (rebuildGuard_ > 0 || HasState(csLoading) || !rootNamespace_ || !active_) return;
    BeginUpdate();
    {
        ScopeGuard end([this] { EndUpdate(); });
        Clear();
        if (threadedImages_) ClearPendingIconRequests(nullptr);
        if (listed_.erase(RootNode())) watchedDirty_ = true;
        FreeNodeNamespace(RootNode());
        if (!(TreeOptions().ExpFolderOptions() & toHideRootFolder)) {
            SetRootNodeCount(1);
        } else {
            const bool listed = listedRoot_ && EqualPIDL(listedRoot_->AbsolutePIDL(), rootNamespace_->AbsolutePIDL());
            NodeData(RootNode())->Namespace.Reset(listed ? std::move(listedRoot_) : rootNamespace_->Clone());
            // Items listed for another folder are not this one's, and no
            // other node takes this one's.
            std::vector<TListedItem>* const outer = std::exchange(prelisted_, listed ? prelisted_ : nullptr);
            ScopeGuard restore([this, outer, listed] { prelisted_ = listed ? nullptr : outer; });
            ExpandNamespaceFolder(RootNode());
        }
    }
    SetFocusedNode(GetFirst());
    ChangeLinkDispatch();
    if (OnRootRebuild) OnRootRebuild(this);
}

// ---- Component ----------------------------------------------------------------------------

void TCustomExplorerTree::Assign(const TPersistent* source) {
    const auto* other = dynamic_cast<const TCustomExplorerTree*>(source);
    if (!other) {
        TCustomDataStringTree::Assign(source);
        return;
    }
    SetColumnDetails(other->columnDetails_);
    SetColumnMenuItemCount(other->columnMenuItemCount_);
    SetFileObjects(other->fileObjects_);
    SetFileSizeFormat(other->fileSizeFormat_);
    SetFileSort(other->fileSort_);
    if (!other->rootFolderCustomPath_.empty()) SetRootFolderCustomPath(other->rootFolderCustomPath_);
    else if (other->rootFolderCustomPIDL_) SetRootFolderCustomPIDL(other->rootFolderCustomPIDL_.get());
    else SetRootFolder(other->rootFolder_);
    SetTreeOptions(other->TreeOptions());
    expColors_ = other->expColors_;
    SetActive(other->active_);
}

void TCustomExplorerTree::DefinePublished(TFiler& f) {
    TCustomDataStringTree::DefinePublished(f);
    f.Bool("Active", [this] { return active_; }, [this](bool v) { SetActive(v); }, false);
    f.Set("FileObjects", {"foFolders", "foNonFolders", "foHidden"}, [this] { return unsigned(fileObjects_); },
          [this](unsigned v) { SetFileObjects(TFileObjects(v)); }, unsigned(foFolders));
    f.Enum("FileSizeFormat", {"fsfExplorer", "fsfActual", "fsfDiskUsage"}, [this] { return int(fileSizeFormat_); },
           [this](int v) { SetFileSizeFormat(TFileSizeFormat(v)); }, int(fsfExplorer));
    f.Enum("FileSort", {"fsFileType", "fsFileExtension"}, [this] { return int(fileSort_); },
           [this](int v) { SetFileSort(TFileSort(v)); }, int(fsFileType));
    f.Enum("ColumnDetails", {"cdUser", "cdExpColumns", "cdShellColumns"}, [this] { return int(columnDetails_); },
           [this](int v) { SetColumnDetails(TColumnDetailType(v)); }, int(cdUser));
    f.Integer("ColumnMenuItemCount", [this] { return columnMenuItemCount_; },
              [this](int64_t v) { SetColumnMenuItemCount(int(v)); }, 8);
    f.Enum("RootFolder", kRootFolderIdents, [this] { return int(rootFolder_); },
           [this](int v) { SetRootFolder(TRootFolder(v)); }, int(rfDesktop));
    f.String("RootFolderCustomPath", [this] { return WideToUtf8(rootFolderCustomPath_); },
             [this](const AnsiString& v) { SetRootFolderCustomPath(Utf8ToWide(v)); });
    f.ComponentRef("ExplorerComboBox", [this]() -> TComponent* { return explorerComboBox_; },
                   [this](TComponent* c) { SetExplorerComboBox(dynamic_cast<TCustomExplorerCombobox*>(c)); });
}

void TCustomExplorerTree::Loaded() {
    TCustomDataStringTree::Loaded();
    if (columnDetails_ == cdShellColumns) RebuildHeaderColumns();
    if (active_ && !built_) {
        if (rootNamespace_) RebuildRootNamespace();
        built_ = true;
    }
    ChangeLinkDispatch();
}

void TCustomExplorerTree::LoadFromStream(TStream&) {
    ExplorerAssert(false, "LoadFromStream is not supported in ExpTree. Use the ViewManager Property");
}

void TCustomExplorerTree::SaveToStream(TStream&, PDataNode) {
    ExplorerAssert(false, "SaveToStream is not supported in ExpTree. Use the ViewManager Property");
}

// ---- Wait cursor --------------------------------------------------------------------------

void TCustomExplorerTree::WaitCursor(bool show) {
    if (disableWaitCursors_) return;
    TScreen* screen = Screen();
    if (show) {
        if (waitCursorCount_++ == 0 && !g_waitCursorHolder && screen) {
            savedCursor_ = screen->Cursor();
            screen->SetCursor(crHourGlass);
            g_waitCursorHolder = this;
        }
    } else if (waitCursorCount_ > 0 && --waitCursorCount_ == 0 && g_waitCursorHolder == this) {
        // Only the tree that showed the hourglass takes it down.
        if (screen) screen->SetCursor(savedCursor_);
        g_waitCursorHolder = nullptr;
    }
}

void TCustomExplorerTree::SetDisableWaitCursors(bool value) {
    if (value && g_waitCursorHolder == this) {
        if (TScreen* screen = Screen()) screen->SetCursor(savedCursor_);
        g_waitCursorHolder = nullptr;
    }
    if (value) waitCursorCount_ = 0;
    disableWaitCursors_ = value;
}

// ---- Icons --------------------------------------------------------------------------------

void TCustomExplorerTree::BindSystemImages() {
    const TExpImageOptions images = TreeOptions().ExpImageOptions();
    if (!(images & toImages)) SetImages(nullptr);
    else SetImages((images & toLargeImages) ? LargeSysImages() : SmallSysImages());
}

void TCustomExplorerTree::SetThreadedImagesActive(bool active) {
    if (active == threadedImages_) return;
    if (active) {
        ImageThreadManager().RegisterControl(this);
        threadedImages_ = true;
        return;
    }
    ClearPendingIconRequests(nullptr);
    ImageThreadManager().UnRegisterControl(this);
    threadedImages_ = false;
}

void TCustomExplorerTree::ClearPendingIconRequests(PDataNode node) {
    if (!threadedImages_) return;
    TImageThreadManager& manager = ImageThreadManager();
    if (node) {
        if (!iconRequests_.count(node)) return;
        manager.ClearPendingItem(this, node, WM_ICONTHREADREPLY);
        if (iconRequests_.erase(node))
            if (TNamespace* ns = NodeNamespace(node)) ns->SetThreadIconLoading(false);
        return;
    }
    if (iconRequests_.empty()) return;
    manager.ClearPendingItems(this, WM_ICONTHREADREPLY);
    // Items whose request was dropped ask again when they are painted.
    for (PDataNode n : iconRequests_)
        if (TNamespace* ns = NodeNamespace(n)) ns->SetThreadIconLoading(false);
    iconRequests_.clear();
}

void TCustomExplorerTree::DoGetImageIndex(PDataNode node, TDTImageKind kind, TColumnIndex column, bool& ghosted,
                                          int& index) {
    TNamespace* ns = NodeNamespace(node);
    const bool mainColumn = column == NoColumn || column == Header().MainColumn();
    if (ns && mainColumn && kind == ikOverlay) {
        // Links carry the link overlay; shared items (none here) the share one.
        index = ns->Link() ? 1 : ns->Share() ? 0 : -1;
        return;
    }
    if (!ns || !mainColumn || (kind != ikNormal && kind != ikSelected)) {
        TCustomDataStringTree::DoGetImageIndex(node, kind, column, ghosted, index);
        return;
    }
    // A folder that cannot be listed is ghosted, as hidden items are; its
    // name is grey besides (DoPaintText).
    ghosted = (ns->Ghosted() && !(TreeOptions().ExpFolderOptions() & toDisableGhostedFolders)) || ns->Unreadable();
    const TExpImageOptions images = TreeOptions().ExpImageOptions();
    const int size = (images & toLargeImages) ? 1 : 0;
    const bool open = Expanded(node) ||
                      (kind == ikSelected && (TreeOptions().ExpFolderOptions() & toShowOpenIconOnSelect));
    const bool held = ns->ThreadedIconLoaded() || ns->GetIconIndex(false, size, false) >= 0;
    if (held || !threadedImages_ || HasState(csDesigning)) {
        index = ns->GetIconIndex(open, size);
        return;
    }
    if (!ns->ThreadIconLoading()) {
        ns->SetThreadIconLoading(true);
        iconRequests_.insert(node);
        ImageThreadManager().AddNewItem(this, WM_ICONTHREADREPLY, 0, node, images & toLargeImages,
                                        ns->AbsolutePIDL());
    }
    // A placeholder until the icon comes: the first paint never waits.
    const bool folder = !ns->ListedNoFolder() && ns->FileSystem() && ns->Folder();
    index = folder ? defaultFolderImage_ : defaultFileImage_;
}

void TCustomExplorerTree::WMIconReply(TMessage& m) {
    auto* request = reinterpret_cast<TImageThreadRequest*>(m.WParam);
    if (!request) return;
    auto node = static_cast<PDataNode>(request->Data);
    // Only a node still waiting for it: a freed node's requests were
    // dropped with it, and its replies drained before it went.
    if (request->Control == this && iconRequests_.erase(node))
        if (TNamespace* ns = NodeNamespace(node)) {
            ns->SetIconIndexByThread(request->ImageIndex, true);
            if (!freeing_ && IsVisible(node)) InvalidateNode(node);
        }
    TImageThreadManager::ReleaseItem(request);
}

void RegisterExplorerTreeClasses() { RegisterComponentClass<TExplorerTree>("TExplorerTree"); }

} // namespace ax
