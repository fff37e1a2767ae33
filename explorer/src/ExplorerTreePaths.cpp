// The explorer tree addressed by paths and PIDLs: the walk to the node of an
// absolute PIDL, browsing, the selection as paths, initialising every node,
// new folders, finding top items by name, and the change link.
#include "ExplorerTreeInternal.h"
#include "rtl/clock.h"
#include "rtl/scopeguard.h"
#include "explorer/ExpChangeDispatch.h"
#include "explorer/ExplorerComboBox.h"
#include "explorer/ExplorerTree.h"
#include "shell/WideStrings.h"

namespace ax {

// ---- The PIDL walk ------------------------------------------------------------------------

PDataNode TCustomExplorerTree::WalkToNode(PCItemIDList target, bool existingOnly, bool useReinit, bool expand) {
    const bool hideRoot = TreeOptions().ExpFolderOptions() & toHideRootFolder;
    PDataNode start = hideRoot ? RootNode() : existingOnly ? RootNode()->FirstChild : GetFirst();
    TNamespace* ns = NodeNamespace(start);
    if (!target || !ns || !ns->AbsolutePIDL()) return nullptr;
    if (EqualPIDL(ns->AbsolutePIDL(), target)) return start;
    if (!IsParentPIDL(ns->AbsolutePIDL(), target, false)) return nullptr;
    // The walk cuts its own copy item by item: whatever the events on the
    // way do, the caller's PIDL stays whole.
    TPIDLManager& pm = NamespacePIDLManager();
    const UniquePIDL walk(pm.CopyPIDL(target));
    if (!walk) return nullptr;
    PItemIDList item = walk.get();
    for (int i = pm.IDCount(ns->AbsolutePIDL()); i > 0; --i) item = TPIDLManager::NextID(item);
    TNamespace* network = NetworkNeighborHoodFolder();
    const bool belowNetwork = network && IsParentPIDL(network->AbsolutePIDL(), target, false);
    PDataNode node = start;
    while (node && item->mkid.cb != 0) {
        PItemIDList next = TPIDLManager::NextID(item);
        const uint16_t saved = next->mkid.cb;
        next->mkid.cb = 0;
        ScopeGuard restore([&] { next->mkid.cb = saved; });
        if (expand) {
            if (useReinit) ReinitChildren(node, false);
            else SetExpanded(node, true);
        }
        bool stop = false;
        PDataNode found = ChildWithPIDL(node, walk.get(), existingOnly, stop);
        // Items below the network are made as they are asked for.
        if (!found && !stop && belowNetwork)
            found = AddNodeToTree(node, std::make_unique<TNamespace>(UniquePIDL(pm.CopyPIDL(walk.get())), nullptr),
                                  ctNone, false);
        node = found;
        item = next;
    }
    return node;
}

PDataNode TCustomExplorerTree::ChildWithPIDL(PDataNode node, PCItemIDList pidl, bool existingOnly, bool& stop) {
    if (existingOnly) {
        for (PDataNode c = node->FirstChild; c; c = c->NextSibling)
            if (TNamespace* cns = NodeNamespace(c); cns && EqualPIDL(cns->AbsolutePIDL(), pidl)) return c;
        return nullptr;
    }
    if (node->ChildCount == 0 && !HasChildren(node)) return nullptr;
    for (PDataNode child = GetFirstChild(node); child; child = GetNextSibling(child)) {
        TNamespace* childNs = NodeNamespace(child);
        if (!childNs) {
            stop = true;
            return nullptr;
        }
        if (EqualPIDL(childNs->AbsolutePIDL(), pidl)) return child;
    }
    return nullptr;
}

PDataNode TCustomExplorerTree::WalkToPIDL(PCItemIDList target, bool select, bool useReinit, bool expand) {
    PDataNode node = WalkToNode(target, false, useReinit, expand);
    if (select && node) {
        SetSelected(node, true);
        SetFocusedNode(node);
    }
    return node;
}

PDataNode TCustomExplorerTree::FindExistingNode(PCItemIDList target) {
    // Nothing is listed for a change.
    return WalkToNode(target, true, false, false);
}

PDataNode TCustomExplorerTree::FindNodeByPIDL(PCItemIDList pidl) { return WalkToPIDL(pidl, false, false, false); }

PDataNode TCustomExplorerTree::FindNodeByPath(const WideString& path, bool select) {
    const UniquePIDL pidl(PathToPIDL(path));
    if (!pidl) return nullptr;
    return WalkToPIDL(pidl.get(), select, !select, true);
}

// ---- Browsing -----------------------------------------------------------------------------

bool TCustomExplorerTree::MayBrowse(PCItemIDList) { return true; }

bool TCustomExplorerTree::BrowseToPath(const WideString& path, bool expandTarget, bool collapseAllFirst,
                                       bool setFocusToTree, bool selectTarget) {
    const UniquePIDL pidl(PathToPIDL(path));
    if (!pidl) return false;
    return BrowseToByPIDL(pidl.get(), expandTarget, collapseAllFirst, setFocusToTree, selectTarget);
}

bool TCustomExplorerTree::BrowseTo(const WideString& path, bool setFocusToTree) {
    const TExpSyncOptions sync = TreeOptions().ExpSyncOptions();
    return BrowseToPath(path, sync & toExpandTarget, sync & toCollapseTargetFirst, setFocusToTree,
                        sync & toSelectTarget);
}

bool TCustomExplorerTree::BrowseToByPIDL(PCItemIDList pidl, bool expandTarget, bool collapseAllFirst,
                                         bool setFocusToTree, bool selectTarget) {
    if (!MayBrowse(pidl)) return false;
    browsing_ = true;
    ScopeGuard browsed([this] { browsing_ = false; });
    StartChangeLinkGuard();
    PDataNode node = nullptr;
    BeginUpdate();
    {
        ScopeGuard end([this] { EndUpdate(); });
        node = WalkToPIDL(pidl, false, false, true);
        if (node) {
            if (collapseAllFirst) FullCollapse(nullptr);
            SetExpanded(node, expandTarget);
            if (setFocusToTree && CanFocus()) SetFocus();
            if (selectTarget) {
                ClearSelection();
                SetFocusedNode(nullptr);
                SetSelected(node, true);
                SetFocusedNode(node);
            }
        }
    }
    if (node && node != RootNode())
        ScrollIntoView(node, false, TreeOptions().ExpMiscOptions() & toAutoScrollHorz);
    return node != nullptr;
}

// ---- The selection as paths ---------------------------------------------------------------

WideString TCustomExplorerTree::SelectedPath() {
    TNamespace* ns = NodeNamespace(GetFirstSelected());
    return ns && ns->FileSystem() ? ns->NameForParsing() : WideString();
}

TStringList& TCustomExplorerTree::SelectedPaths() {
    selectedPaths_.Clear();
    for (PDataNode node = GetFirstSelected(); node; node = GetNextSelected(node))
        if (TNamespace* ns = NodeNamespace(node); ns && ns->FileSystem())
            selectedPaths_.Add(WideToUtf8(ns->NameForParsing()));
    return selectedPaths_;
}

TStringList& TCustomExplorerTree::SelectedFiles() {
    selectedFiles_.Clear();
    for (PDataNode node = GetFirstSelected(); node; node = GetNextSelected(node))
        if (TNamespace* ns = NodeNamespace(node); ns && ns->FileSystem())
            selectedFiles_.Add(WideToUtf8(ns->NameParseAddressInFolder()));
    return selectedFiles_;
}

TNamespaceArray TCustomExplorerTree::SelectedToNamespaceArray() {
    TNamespaceArray out;
    for (PDataNode node = GetFirstSelected(); node; node = GetNextSelected(node)) out.push_back(NodeNamespace(node));
    return out;
}

void TCustomExplorerTree::InitAllNodes() {
    // Children before their parent, over the nodes that exist now.
    std::vector<PDataNode> order;
    for (PDataNode n = RootNode()->FirstChild; n;) {
        if (n->FirstChild) {
            n = n->FirstChild;
            continue;
        }
        while (n != RootNode()) {
            order.push_back(n);
            if (n->NextSibling) break;
            n = n->Parent;
        }
        n = n == RootNode() ? nullptr : n->NextSibling;
    }
    for (PDataNode n : order)
        if (!(n->States & vsInitialized)) InitNode(n);
}

// ---- New folders --------------------------------------------------------------------------

void TCustomExplorerTree::CreateNewFolder(PCItemIDList parentPIDL, const WideString& suggestedName,
                                          WideString& newName) {
    ExplorerAssert(TreeOptions().MiscOptions() & toEditable, "You must set the toEditable option to Edit paths");
    newName.clear();
    const WideString folder = WideIncludeTrailingBackslash(PIDLToPath(parentPIDL));
    if (!WideDirectoryExists(folder)) return;
    PDataNode parent = WalkToPIDL(parentPIDL, false, false, true);
    const WideString path = UniqueDirName(folder, suggestedName);
    if (!WideCreateDirectory(path)) return;
    // The folder's own listing names the new item (a few tries: a listing
    // may lag behind the disk).
    TPIDLManager& pm = NamespacePIDLManager();
    TNamespace parentNs(UniquePIDL(pm.CopyPIDL(parentPIDL)), nullptr);
    std::unique_ptr<TNamespace> made;
    for (int attempt = 0; attempt < 200 && !made; ++attempt) {
        if (attempt > 0) CurrentClock().Sleep(10);
        parentNs.InvalidateNamespace(true);
        parentNs.EnumerateFolder(
            true, true, true,
            [&](TNamespace* p, PItemIDList child, void*, bool& terminate) {
                auto ns = std::make_unique<TNamespace>(UniquePIDL(child), p);
                if (ns->NameForParsing() != path) return false;
                made = std::make_unique<TNamespace>(UniquePIDL(pm.CopyPIDL(ns->AbsolutePIDL())), nullptr);
                terminate = true;
                return true;
            },
            nullptr);
    }
    if (!made) return;
    newName = made->NameInFolder();
    if (!parent) return;
    // The folder's other items first, or they would never be listed: a
    // node with children is not enumerated again.
    PDataNode node = nullptr;
    if (parent->ChildCount > 0 || HasChildren(parent))
        for (PDataNode c = GetFirstChild(parent); c && !node; c = GetNextSibling(c))
            if (TNamespace* ns = NodeNamespace(c); ns && EqualPIDL(ns->AbsolutePIDL(), made->AbsolutePIDL())) node = c;
    if (!node)
        node = AddNodeToTree(parent, std::move(made), ctTriStateCheckBox,
                             TreeOptions().MiscOptions() & toCheckSupport);
    ClearSelection();
    SetFocusedNode(node);
    SetSelected(node, true);
    EditNode(node, Header().Columns().Count() > 0 ? 0 : NoColumn);
}

// ---- Top items by name --------------------------------------------------------------------

namespace {

// The first item of ns whose normal name is name (without case).
std::unique_ptr<TNamespace> FindItemByName(TNamespace* ns, const WideString& name) {
    std::unique_ptr<TNamespace> found;
    if (!ns) return found;
    ns->EnumerateFolder(
        true, true, false,
        [&](TNamespace* parent, PItemIDList child, void*, bool& terminate) {
            auto item = std::make_unique<TNamespace>(UniquePIDL(child), parent);
            if (WideCompareText(item->NameNormal(), name) != 0) return false;
            found = item->Clone();
            terminate = true;
            return true;
        },
        nullptr);
    return found;
}

} // namespace

bool TCustomExplorerTree::FindDesktopItemByName(const WideString& name, std::unique_ptr<TNamespace>& ns) {
    TNamespace* desktop = DesktopFolder();
    if (!desktop) return false;
    if (WideCompareText(desktop->NameNormal(), name) == 0) {
        ns = desktop->Clone();
        return true;
    }
    if (auto found = FindItemByName(desktop, name)) {
        ns = std::move(found);
        return true;
    }
    return false;
}

bool TCustomExplorerTree::FindRootItemByName(const WideString& name, std::unique_ptr<TNamespace>& ns) {
    ns.reset();
    if (FindDesktopItemByName(name, ns)) return true;
    if (auto found = FindItemByName(DrivesFolder(), name)) {
        ns = std::move(found);
        return true;
    }
    return false;
}

// ---- The change link ----------------------------------------------------------------------

void TCustomExplorerTree::StartChangeLinkGuard() {
    changeLinkInProgress_ = true;
    ++changeLinkCount_;
}

TNamespace* TCustomExplorerTree::ChangeLinkNamespace() {
    PDataNode node = GetFirstSelected();
    return NodeNamespace(node ? node : FocusedNode());
}

void TCustomExplorerTree::ChangeLinkDispatch() {
    IExpChangeDispatch* dispatch = ExpChangeDispatch();
    if (changeLinkInProgress_ || !dispatch || HasState(csDestroying)) return;
    if (TNamespace* ns = ChangeLinkNamespace()) dispatch->DispatchChange(this, ns->AbsolutePIDL());
}

void TCustomExplorerTree::ChangeLinkChangeEvent(TCustomExplorerTree*, PCItemIDList pidl) {
    if (followingChange_) return;
    followingChange_ = true;
    ScopeGuard done([this] { followingChange_ = false; });
    if (HasState(csDesigning)) return;
    TNamespace* current = NodeNamespace(GetFirstSelected());
    ShellFolderPtr desktop;
    SHGetDesktopFolder(&desktop);
    if (current && desktop && pidl && CompareIDsSign(*desktop, pidl, current->AbsolutePIDL()) == 0) return;
    const TExpSyncOptions sync = TreeOptions().ExpSyncOptions();
    BrowseToByPIDL(pidl, sync & toExpandTarget, sync & toCollapseTargetFirst, false, sync & toSelectTarget);
}

void TCustomExplorerTree::ChangeLinkChange(TComponent* server, PCItemIDList pidl) {
    ChangeLinkChangeEvent(dynamic_cast<TCustomExplorerTree*>(server), pidl);
}

void TCustomExplorerTree::ChangeLinkFree(TExpChangeLink& link) {
    if (!explorerComboBox_) return;
    const bool fromCombo = link.ChangeLinkServer == explorerComboBox_ && link.ChangeLinkClient == this;
    const bool toCombo = link.ChangeLinkServer == this && link.ChangeLinkClient == explorerComboBox_;
    if (fromCombo || toCombo) explorerComboBox_ = nullptr;
}

void TCustomExplorerTree::SetExplorerComboBox(TCustomExplorerCombobox* combo) {
    if (combo == explorerComboBox_) return;
    TExpChangeDispatch& dispatch = TExpChangeDispatch::Instance();
    if (TCustomExplorerCombobox* old = explorerComboBox_) {
        dispatch.UnRegisterChangeLink(old, this, ukBoth);
        dispatch.UnRegisterChangeLink(this, old, ukBoth);
    }
    explorerComboBox_ = combo;
    if (!combo) return;
    // The tree's moves reach the combo box only through the installed
    // dispatcher, where the links are.
    if (!ExpChangeDispatch()) SetExpChangeDispatch(&dispatch);
    const auto onFree = [this](TExpChangeLink& link) { ChangeLinkFree(link); };
    dispatch.RegisterChangeLink(
        combo, this, [this](TComponent* server, PCItemIDList pidl) { ChangeLinkChange(server, pidl); }, onFree);
    dispatch.RegisterChangeLink(
        this, combo, [combo](TComponent* server, PCItemIDList pidl) { combo->ChangeLinkChangeEvent(server, pidl); },
        onFree);
}

void TCustomExplorerTree::DoChange(PDataNode node) {
    // The menu's own selection around a right click is no change.
    if (contextMenu_->MenuShowing()) return;
    TCustomDataStringTree::DoChange(node);
    ChangeLinkDispatch();
}

void TCustomExplorerTree::DoUpdating(TDTUpdateState state) {
    if (state == usBegin) {
        StartChangeLinkGuard();
        WaitCursor(true);
    } else if (state == usEnd) {
        WaitCursor(false);
        UpdateWatchedFolders();
        if (!HasState(csLoading) && !Creating()) {
            changeLinkInProgress_ = false;
            if (changeLinkCount_ > 0) {
                changeLinkCount_ = 0;
                ChangeLinkDispatch();
            }
        }
    }
    TCustomDataStringTree::DoUpdating(state);
}

} // namespace ax
