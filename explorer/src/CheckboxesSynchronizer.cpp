// The check-box synchroniser: linking the tree and the list, its handlers,
// and the way one check state reaches both controls and their storages.
#include "explorer/CheckboxesSynchronizer.h"

#include "explorer/SliceWindow.h"

#include "framework/streaming.h"
#include "rtl/clock.h"
#include "rtl/scopeguard.h"
#include "shell/PIDLTools.h"

#include <climits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace ax {
namespace {

// A slice that read its folder's last items for this long leaves making the
// children to the next.
constexpr uint64_t kMakeAfterMs = 10;

bool IsFile(TNamespace* ns) { return !ns->Folder() && ns->FileSystem(); }

// Archives are files here: a folder is a folder whatever its name ends in.
bool IsContainer(TNamespace* ns) { return ns->Folder() && (ns->FileSystem() || ns->IsMyComputer()); }

std::string_view IdBytes(PCItemIDList id) {
    const size_t size = ILByteSize(id);
    return size ? std::string_view(reinterpret_cast<const char*>(id), size) : std::string_view();
}

// A copy of pidl without its last item; nil for the desktop.
UniquePIDL ParentPIDL(PCItemIDList pidl) {
    TPIDLManager& pm = NamespacePIDLManager();
    if (!pidl || pm.IDCount(pidl) == 0) return nullptr;
    UniquePIDL parent(pm.CopyPIDL(pidl));
    pm.StripLastID(parent.get());
    return parent;
}

} // namespace

// ---- Spreading in slices ------------------------------------------------------------------

struct TCheckboxesSynchronizer::Spread {
    // The folder's item: its node is found again when the tree makes it anew.
    UniquePIDL pidl;
    PDataNode folder = nullptr;
    // The first child not gone through yet.
    PDataNode next = nullptr;
    int done = 0;
    TCheckState state = csUncheckedNormal;
    // Its children were made by this spread.
    bool fresh = false;
    // The folder's items still being read: its children are made after.
    TCustomExplorerTree::TChildListingPtr listing;
    int listed = 0;
    // The folder is read to its end; its children are not made yet.
    bool read = false;
};

TCheckboxesSynchronizer::TCheckboxesSynchronizer(TComponent* owner) : TComponent(owner) {}

TCheckboxesSynchronizer::~TCheckboxesSynchronizer() {
    // Controls that outlive the synchroniser get their own handlers back.
    SetupEvents(true);
    if (tree_) tree_->RemoveFreeNotification(this);
    if (list_) list_->RemoveFreeNotification(this);
}

void TCheckboxesSynchronizer::DefinePublished(TFiler& f) {
    TComponent::DefinePublished(f);
    f.ComponentRef("ExplorerTreeview", [this]() -> TComponent* { return tree_; },
                   [this](TComponent* c) { SetExplorerTreeview(dynamic_cast<TExplorerTreeview*>(c)); });
    f.ComponentRef("ExplorerListview", [this]() -> TComponent* { return list_; },
                   [this](TComponent* c) { SetExplorerListview(dynamic_cast<TExplorerListview*>(c)); });
    f.Bool("AutoSetupEvents", [this] { return autoSetupEvents_; }, [this](bool v) { SetAutoSetupEvents(v); }, true);
    f.Bool("HideTreeFiles", [this] { return hideTreeFiles_; }, [this](bool v) { SetHideTreeFiles(v); }, true);
}

void TCheckboxesSynchronizer::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation != opRemove) return;
    if (component == tree_) {
        tree_ = nullptr;
        treeInstalled_ = false;
        treeEvents_ = {};
        spread_.reset();
    }
    if (component == list_) {
        list_ = nullptr;
        listInstalled_ = false;
        listEvents_ = {};
    }
}

// ---- Linking ------------------------------------------------------------------------------

void TCheckboxesSynchronizer::Prepare(TCustomExplorerTree* control) {
    control->FreeNotification(this);
    control->SetFileObjects(foFolders | foNonFolders | foHidden);
    // The tree control's own propagation is off: this component does it.
    TExplorerTreeOptions& o = control->TreeOptions();
    o.SetAutoOptions((o.AutoOptions() & ~TAutoOptions(toAutoTristateTracking)) | toAutoHideButtons);
    o.SetMiscOptions(o.MiscOptions() | toCheckSupport);
}

void TCheckboxesSynchronizer::Rebuild(TCustomExplorerTree* control) {
    const bool active = control->Active();
    if (active) control->SetActive(false);
    SetupEvents(false);
    if (active) control->SetActive(true);
}

void TCheckboxesSynchronizer::SetExplorerTreeview(TExplorerTreeview* tree) {
    if (tree == tree_) return;
    if (tree_) {
        // The tree left behind keeps no handler of this component.
        if (treeInstalled_) Restore(tree_);
        tree_->RemoveFreeNotification(this);
    }
    tree_ = tree;
    treeEvents_ = {};
    if (!tree) return;
    Prepare(tree);
    treeEvents_ = {tree->OnInitNode, tree->OnChecked,  tree->OnExpanded,
                   tree->OnEnumFolder, tree->OnChecking, tree->OnFreeNode};
    if (autoSetupEvents_) Rebuild(tree);
}

void TCheckboxesSynchronizer::SetExplorerListview(TExplorerListview* list) {
    if (list == list_) return;
    if (list_) {
        if (listInstalled_) Restore(list_);
        list_->RemoveFreeNotification(this);
    }
    list_ = list;
    listEvents_ = {};
    if (!list) return;
    Prepare(list);
    listEvents_ = {list->OnInitNode, list->OnChecked, list->OnRootChange, list->OnChecking};
    if (autoSetupEvents_) Rebuild(list);
}

void TCheckboxesSynchronizer::SetAutoSetupEvents(bool value) {
    if (value == autoSetupEvents_) return;
    autoSetupEvents_ = value;
    SetupEvents(!value);
}

void TCheckboxesSynchronizer::SetupEvents(bool restore) {
    if (restore) {
        if (tree_ && treeInstalled_) Restore(tree_);
        if (list_ && listInstalled_) Restore(list_);
        return;
    }
    if (tree_) Install(tree_);
    if (list_) Install(list_);
}

void TCheckboxesSynchronizer::Install(TExplorerTreeview* tree) {
    tree->OnInitNode = [this](TBaseDataTree* s, PDataNode p, PDataNode n, TDataNodeInitStates& i) {
        TreeInitNode(s, p, n, i);
    };
    tree->OnChecked = [this](TBaseDataTree* s, PDataNode n) { TreeChecked(s, n); };
    tree->OnExpanded = [this](TBaseDataTree* s, PDataNode n) { TreeExpanded(s, n); };
    tree->OnEnumFolder = [this](TCustomExplorerTree* s, TNamespace* ns, bool& allow) {
        TreeEnumFolder(s, ns, allow);
    };
    // A check waits for the spread before it: it follows it, as without slices.
    tree->OnChecking = [this](TBaseDataTree* s, PDataNode n, TCheckState& state, bool& allowed) {
        CompletePending();
        if (treeEvents_.OnChecking) treeEvents_.OnChecking(s, n, state, allowed);
    };
    tree->OnFreeNode = [this](TBaseDataTree* s, PDataNode n) { TreeFreeNode(s, n); };
    treeInstalled_ = true;
    HookStorage(true);
}

void TCheckboxesSynchronizer::HookStorage(bool on) {
    if (!tree_) return;
    if (on) tree_->Storage().OnCompletePending = [this] { CompletePending(); };
    else tree_->Storage().OnCompletePending = nullptr;
}

void TCheckboxesSynchronizer::Install(TExplorerListview* list) {
    list->OnInitNode = [this](TBaseDataTree* s, PDataNode p, PDataNode n, TDataNodeInitStates& i) {
        ListInitNode(s, p, n, i);
    };
    list->OnChecked = [this](TBaseDataTree* s, PDataNode n) { ListChecked(s, n); };
    list->OnRootChange = [this](TCustomExplorerTree* s) { ListRootChange(s); };
    list->OnChecking = [this](TBaseDataTree* s, PDataNode n, TCheckState& state, bool& allowed) {
        CompletePending();
        if (listEvents_.OnChecking) listEvents_.OnChecking(s, n, state, allowed);
    };
    listInstalled_ = true;
}

void TCheckboxesSynchronizer::Restore(TExplorerTreeview* tree) {
    // Unlinked, the tree keeps the whole of a spread begun.
    if (tree == tree_) {
        CompletePending();
        HookStorage(false);
    }
    tree->OnInitNode = treeEvents_.OnInitNode;
    tree->OnChecked = treeEvents_.OnChecked;
    tree->OnExpanded = treeEvents_.OnExpanded;
    tree->OnEnumFolder = treeEvents_.OnEnumFolder;
    tree->OnChecking = treeEvents_.OnChecking;
    tree->OnFreeNode = treeEvents_.OnFreeNode;
    treeInstalled_ = false;
}

void TCheckboxesSynchronizer::Restore(TExplorerListview* list) {
    list->OnInitNode = listEvents_.OnInitNode;
    list->OnChecked = listEvents_.OnChecked;
    list->OnRootChange = listEvents_.OnRootChange;
    list->OnChecking = listEvents_.OnChecking;
    listInstalled_ = false;
}

// ---- Rules --------------------------------------------------------------------------------

PDataNode TCheckboxesSynchronizer::FindNode(TCustomExplorerTree* control, PCItemIDList pidl) {
    PDataNode node = control->FindNodeByPIDL(pidl);
    return node == control->RootNode() ? nullptr : node;
}

bool TCheckboxesSynchronizer::EnsureChildren(TCustomExplorerTree* control, PDataNode node) {
    if (!(node->States & vsHasChildren) || node->ChildCount != 0) return false;
    // With check boxes the explorer initialises each child it makes;
    // initialising them all again would only repeat that work.
    if (control->TreeOptions().MiscOptions() & toCheckSupport)
        control->GetFirstChild(node);
    else
        control->ReinitChildren(node, false);
    return node->ChildCount != 0;
}

TCheckState TCheckboxesSynchronizer::ChildrenState(PDataNode node) {
    if (!node) return csUncheckedNormal;
    if (!node->FirstChild) return csCheckedNormal;
    bool unchecked = false, checked = false;
    for (PDataNode c = node->FirstChild; c; c = c->NextSibling) {
        ++visited_;
        // A pressed box counts as what it presses.
        switch (UnpressedCheckState(c->CheckState)) {
        case csMixedNormal: return csMixedNormal;
        case csUncheckedNormal: unchecked = true; break;
        default: checked = true; break;
        }
    }
    if (!unchecked) return csCheckedNormal;
    return checked ? csMixedNormal : csUncheckedNormal;
}

void TCheckboxesSynchronizer::StoreCheck(PCItemIDList pidl, TRootNodeStorage& storage, TCheckType type,
                                         TCheckState state) {
    // The storage keeps what a box stands for, not how it looks while held.
    state = UnpressedCheckState(state);
    if (state == csUncheckedNormal) {
        storage.Delete(pidl, skCheck);
    } else if (TNodeStorage* record = storage.Store(pidl, skCheck)) {
        record->Storage.CheckType = type;
        record->Storage.CheckState = state;
    }
}

void TCheckboxesSynchronizer::SetNodeCheck(TCustomExplorerTree* control, PDataNode node, TCheckType type,
                                           TCheckState state) {
    TNamespace* ns = control->NodeNamespace(node);
    if (!ns) return;
    ++visited_;
    node->CheckType = type;
    node->CheckState = state;
    StoreCheck(ns->AbsolutePIDL(), control->Storage(), type, state);
    control->InvalidateNode(node);
}

bool TCheckboxesSynchronizer::ApplyCheck(TCustomExplorerTree* target, TCustomExplorerTree*, TNamespace* ns,
                                         TCheckType type, TCheckState state) {
    PCItemIDList pidl = ns->AbsolutePIDL();
    if (!pidl) return false;
    PDataNode node = FindNode(target, pidl);
    if (!node) {
        const UniquePIDL parentPIDL = ParentPIDL(pidl);
        PDataNode parent = parentPIDL ? FindNode(target, parentPIDL.get()) : nullptr;
        if (!parent) return false;
        EnsureChildren(target, parent);
        node = FindNode(target, pidl);
        if (!node) return false;
    }
    if (target == tree_) {
        SetAndPropagate(node, type, state);
    } else {
        EnsureChildren(target, node);
        SetNodeCheck(target, node, type, state);
    }
    return true;
}

void TCheckboxesSynchronizer::SetAndPropagate(PDataNode node, TCheckType type, TCheckState state) {
    // Children made just now show what their records hold, or hold no
    // record when unchecked. A big folder is read and its children are
    // initialised in slices; a small one all at once.
    TCustomExplorerTree::TChildListingPtr listing = tree_->BeginChildListing(node);
    const bool listed = !listing || tree_->ContinueChildListing(*listing, sliceSize_);
    bool made = false;
    if (!listing) made = tree_->MakeChildrenUninitialized(node);
    else if (listed) made = tree_->EndChildListing(node, *listing);
    const PDataNode outer = std::exchange(freshParent_, made ? node : nullptr);
    ScopeGuard restore([this, outer] { freshParent_ = outer; });
    SetNodeCheck(tree_, node, type, state);
    const bool spreads = node->CheckState == csUncheckedNormal || node->CheckState == csCheckedNormal;
    if (spreads && (!listed || int64_t(node->ChildCount) > sliceSize_)) {
        BeginSpread(node, made, listed ? nullptr : std::move(listing));
        Propagate(node, true, false);
        return;
    }
    if (!listed) {
        made = tree_->EndChildListing(node, *listing);
        freshParent_ = made ? node : nullptr;
    }
    if (made)
        for (PDataNode c = node->FirstChild; c; c = c->NextSibling) tree_->InitNode(c);
    Propagate(node, true, true);
}

void TCheckboxesSynchronizer::PropagateDown(PDataNode top, TCheckState state) {
    // Nothing stored below an unchecked folder: a leaf showing unchecked
    // already is so, with nothing to delete (the folder just opened).
    TNamespace* ns = state == csUncheckedNormal ? tree_->NodeNamespace(top) : nullptr;
    TNodeStorage* record = ns ? tree_->Storage().Lookup(ns->AbsolutePIDL()) : nullptr;
    const bool bare = ns && (!record || !record->Children() || record->Children()->Count() == 0);
    // Pre-order over the children that exist; ones not made yet take the
    // state when they are made.
    for (PDataNode c = top->FirstChild; c; c = c->NextSibling) {
        if (bare && !c->FirstChild && c->CheckState == csUncheckedNormal && c->CheckType == ctTriStateCheckBox)
            ++visited_;
        else
            SpreadTo(c, state);
    }
}

void TCheckboxesSynchronizer::SpreadTo(PDataNode child, TCheckState state) {
    PDataNode n = child;
    while (n) {
        // A child made just now already checked holds that record too:
        // storing it again would only search for it.
        const bool settled = n->Parent == freshParent_ && state == csCheckedNormal &&
                             n->CheckState == csCheckedNormal && n->CheckType == ctTriStateCheckBox;
        if (settled) ++visited_;
        else SetNodeCheck(tree_, n, ctTriStateCheckBox, state);
        if (n->FirstChild) {
            n = n->FirstChild;
            continue;
        }
        while (n != child && !n->NextSibling) n = n->Parent;
        n = n == child ? nullptr : n->NextSibling;
    }
}

bool TCheckboxesSynchronizer::BeginSpread(PDataNode node, bool fresh,
                                          TCustomExplorerTree::TChildListingPtr listing) {
    TNamespace* ns = tree_->NodeNamespace(node);
    if (!ns || !ns->AbsolutePIDL()) return false;
    spread_ = std::make_unique<Spread>();
    spread_->pidl.reset(NamespacePIDLManager().CopyPIDL(ns->AbsolutePIDL()));
    spread_->folder = node;
    spread_->next = node->FirstChild;
    spread_->state = node->CheckState;
    spread_->fresh = fresh;
    spread_->listing = std::move(listing);
    spread_->listed = spread_->listing ? sliceSize_ : 0;
    ScheduleSlice();
    if (OnSpreadProgress)
        OnSpreadProgress(this, spread_->listing ? spread_->listed : 0, spread_->listing ? 0 : int(node->ChildCount));
    return true;
}

bool TCheckboxesSynchronizer::ListSlice(int count, uint64_t began) {
    Spread& s = *spread_;
    if (!s.listing) return true;
    if (!s.read) {
        s.read = tree_->ContinueChildListing(*s.listing, count);
        if (!s.read) {
            s.listed += count;
            // The children's memory is had a slice at a time, not all at
            // once when they are made.
            tree_->ReserveNodes(uint32_t(s.listed));
            return false;
        }
        // Reading the last items took the slice's time: the children are
        // made in a slice of their own.
        if (count != INT_MAX && CurrentClock().Ticks() - began >= kMakeAfterMs) return false;
    }
    s.fresh = tree_->EndChildListing(s.folder, *s.listing);
    s.listing.reset();
    tree_->DropNodeReserve();
    s.next = s.folder->FirstChild;
    return true;
}

void TCheckboxesSynchronizer::SpreadSlice(int count) {
    const uint64_t began = CurrentClock().Ticks();
    Spread& s = *spread_;
    if (!s.folder) {
        // The tree made the folder's node anew: its children are read again
        // when not made yet, then gone through from the first.
        s.folder = tree_ ? FindNode(tree_, s.pidl.get()) : nullptr;
        s.next = s.folder ? s.folder->FirstChild : nullptr;
        s.done = s.listed = 0;
        s.fresh = s.read = false;
        s.listing = s.folder ? tree_->BeginChildListing(s.folder) : nullptr;
    }
    const bool listing = s.listing != nullptr;
    if (s.folder && !ListSlice(count, began)) {
        if (OnSpreadProgress) OnSpreadProgress(this, s.listed, 0);
        return;
    }
    // Making the children took this slice (unless everything is due now).
    if (listing && s.next && count != INT_MAX) {
        if (OnSpreadProgress) OnSpreadProgress(this, 0, int(s.folder->ChildCount));
        return;
    }
    const PDataNode outer = std::exchange(freshParent_, s.fresh ? s.folder : nullptr);
    ScopeGuard restore([this, outer] { freshParent_ = outer; });
    for (; s.next && count > 0; --count, ++s.done) {
        PDataNode child = s.next;
        tree_->InitNode(child);
        SpreadTo(child, s.state);
        s.next = child->NextSibling;
    }
    const int total = s.folder ? int(s.folder->ChildCount) : 0;
    const int done = s.next ? s.done : total;
    if (!s.next) spread_.reset();
    if (OnSpreadProgress) OnSpreadProgress(this, done, total);
}

void TCheckboxesSynchronizer::ScheduleSlice() {
    if (!sliceWindow_) sliceWindow_ = std::make_unique<TSliceWindow>([this] { ServeSlice(); });
    sliceWindow_->Schedule();
}

bool TCheckboxesSynchronizer::SpreadDropped() {
    // A tree going away keeps nothing of a spread: its nodes go with it.
    if (spread_ && (!tree_ || tree_->HasState(csDestroying))) spread_.reset();
    return !spread_;
}

void TCheckboxesSynchronizer::ServeSlice() {
    if (SpreadDropped()) return;
    {
        BeginUpdates();
        ScopeGuard end([this] { EndUpdates(); });
        SpreadSlice(sliceSize_);
    }
    if (spread_) ScheduleSlice();
}

PCItemIDList TCheckboxesSynchronizer::SpreadFolder() const {
    return spread_ ? spread_->pidl.get() : nullptr;
}

void TCheckboxesSynchronizer::CompletePending() {
    // The tree's folder opening too.
    if (tree_ && !tree_->HasState(csDestroying)) tree_->CompleteExpansion();
    CompleteListingAndSpread();
}

void TCheckboxesSynchronizer::CompleteListingAndSpread() {
    // What the list shows is read whole too.
    if (list_ && !list_->HasState(csDestroying)) list_->CompleteListing();
    if (SpreadDropped()) return;
    BeginUpdates();
    ScopeGuard end([this] { EndUpdates(); });
    while (spread_) SpreadSlice(INT_MAX);
}

void TCheckboxesSynchronizer::Propagate(PDataNode node, bool parents, bool children) {
    if (!tree_ || !node) return;
    if (children && (node->CheckState == csUncheckedNormal || node->CheckState == csCheckedNormal))
        PropagateDown(node, node->CheckState);
    if (!parents) return;
    // Once a mixed ancestor is met, every one above it is mixed too.
    bool met = UnpressedCheckState(node->CheckState) == csMixedNormal;
    for (PDataNode p = node->Parent; p && p != tree_->RootNode(); p = p->Parent) {
        const TCheckState state = met ? csMixedNormal : ChildrenState(p);
        if (state == csMixedNormal) met = true;
        SetNodeCheck(tree_, p, p->CheckType, state);
        if (list_)
            if (TNamespace* ns = tree_->NodeNamespace(p)) ApplyCheck(list_, tree_, ns, p->CheckType, state);
    }
}

// ---- Synchronising ------------------------------------------------------------------------

void TCheckboxesSynchronizer::SyncFromTree(PDataNode node) {
    TNamespace* ns = tree_ ? tree_->NodeNamespace(node) : nullptr;
    if (!ns) return;
    const TCheckType type = node->CheckType;
    const TCheckState state = node->CheckState;
    SetAndPropagate(node, type, state);
    if (!list_) return;
    PCItemIDList pidl = ns->AbsolutePIDL();
    StoreCheck(pidl, list_->Storage(), type, state);
    // The list changes only where it shows the item or what is below it:
    // a change elsewhere costs nothing in the list.
    TNamespace* shown = list_->RootFolderNamespace();
    if (!shown || !shown->AbsolutePIDL()) return;
    if (EqualPIDL(shown->AbsolutePIDL(), pidl) || IsParentPIDL(pidl, shown->AbsolutePIDL(), false))
        RefreshListFromTree();
    else if (IsParentPIDL(shown->AbsolutePIDL(), pidl, true))
        ApplyCheck(list_, tree_, ns, type, state);
}

void TCheckboxesSynchronizer::SyncFromList(PDataNode node) {
    TNamespace* ns = list_ ? list_->NodeNamespace(node) : nullptr;
    if (!ns || !tree_) return;
    ApplyCheck(tree_, list_, ns, node->CheckType, node->CheckState);
}

void TCheckboxesSynchronizer::RefreshListFromTree() {
    if (!tree_ || !list_) return;
    list_->BeginUpdate();
    ScopeGuard end([this] { list_->EndUpdate(); });
    // The items are set without being initialised: a big folder's are
    // initialised as they are shown, keeping the state set here.
    PDataNode first = list_->RootNode()->FirstChild;
    TNamespace* firstNs = list_->NodeNamespace(first);
    if (!firstNs) return;
    const UniquePIDL folderPIDL = ParentPIDL(firstNs->AbsolutePIDL());
    PDataNode folder = folderPIDL ? FindNode(tree_, folderPIDL.get()) : nullptr;
    if (!folder) return;
    const TCheckState state = tree_->CheckState(folder);
    if (state == csUncheckedNormal || state == csCheckedNormal) {
        SettleListRecords(folderPIDL.get(), state);
        for (PDataNode n = first; n; n = n->NextSibling) {
            ++visited_;
            n->CheckState = state;
        }
        return;
    }
    if (state != csMixedNormal) return;
    EnsureChildren(tree_, folder);
    // The folder's nodes in the tree by item: one pass, not one walk per item.
    std::unordered_map<std::string_view, PDataNode> byId;
    byId.reserve(folder->ChildCount);
    for (PDataNode c = folder->FirstChild; c; c = c->NextSibling) {
        ++visited_;
        if (TNamespace* ns = tree_->NodeNamespace(c)) byId.emplace(IdBytes(ns->RelativePIDL()), c);
    }
    for (PDataNode n = first; n; n = n->NextSibling) {
        TNamespace* ns = list_->NodeNamespace(n);
        if (!ns) break;
        const auto found = byId.find(IdBytes(ns->RelativePIDL()));
        if (found != byId.end()) SetNodeCheck(list_, n, found->second->CheckType, found->second->CheckState);
    }
}

void TCheckboxesSynchronizer::SettleListRecords(PCItemIDList folder, TCheckState state) {
    // An item initialised later takes its record's state: a record left
    // from an earlier check of the item says the folder's state too.
    TRootNodeStorage& storage = list_->Storage();
    TNodeStorage* record = storage.Lookup(folder);
    TNodeStorageList* children = record ? record->Children() : nullptr;
    std::vector<UniquePIDL> stale;
    for (int i = 0; children && i < children->Count(); ++i) {
        TNodeStorage& child = *children->Items(i);
        if (!(child.Storage.Kinds & skCheck)) continue;
        if (state == csUncheckedNormal) {
            stale.push_back(child.AbsolutePIDL());
        } else {
            child.Storage.CheckType = ctTriStateCheckBox;
            child.Storage.CheckState = state;
        }
    }
    for (const UniquePIDL& pidl : stale) storage.Delete(pidl.get(), skCheck);
}

// ---- Handlers -----------------------------------------------------------------------------

void TCheckboxesSynchronizer::TreeInitNode(TBaseDataTree* sender, PDataNode parent, PDataNode node,
                                           TDataNodeInitStates& initStates) {
    auto* tree = static_cast<TCustomExplorerTree*>(sender);
    node->CheckType = ctTriStateCheckBox;
    if (TNamespace* ns = tree->NodeNamespace(node)) {
        if (IsFile(ns)) {
            if (hideTreeFiles_) {
                node->States &= ~vsVisible;
                // Made visible or not through the tree, which settles the
                // parent's button itself under toAutoHideButtons.
                if (!(tree->TreeOptions().AutoOptions() & toAutoHideButtons))
                    tree->DetermineHiddenChildrenFlag(node->Parent);
            }
        } else if (IsContainer(ns) && node != tree->RootNode() && (tree->FileObjects() & foNonFolders) &&
                   !ns->HasSubFolder()) {
            node->States |= vsAllChildrenHidden;
        }
        // Made below a checked folder (expanded or not): checked, as
        // expanding the folder would make it, unless the storage says more.
        // One lookup that makes the record when missing, not a search and a store.
        if (parent && UnpressedCheckState(parent->CheckState) == csCheckedNormal) {
            TNodeStorage* record = tree->Storage().Store(ns->AbsolutePIDL(), 0);
            if (!record || !(record->Storage.Kinds & skCheck)) {
                node->CheckState = csCheckedNormal;
                if (record) {
                    record->Storage.Kinds |= skCheck;
                    record->Storage.CheckType = ctTriStateCheckBox;
                    record->Storage.CheckState = csCheckedNormal;
                }
            }
        }
    }
    if (treeEvents_.OnInitNode) treeEvents_.OnInitNode(sender, parent, node, initStates);
}

void TCheckboxesSynchronizer::BeginUpdates() {
    if (tree_) tree_->BeginUpdate();
    if (list_) list_->BeginUpdate();
}

void TCheckboxesSynchronizer::EndUpdates() {
    if (list_) list_->EndUpdate();
    if (tree_) tree_->EndUpdate();
}

void TCheckboxesSynchronizer::TreeChecked(TBaseDataTree* sender, PDataNode node) {
    if (sender == tree_) {
        // Set without asking first (OnChecking): the spread before it
        // completes now.
        CompletePending();
        // A change may reach a folder's every item: one repaint and one
        // scroll-bar update for all of them, not one per node.
        BeginUpdates();
        ScopeGuard end([this] { EndUpdates(); });
        SyncFromTree(node);
    }
    if (treeEvents_.OnChecked) treeEvents_.OnChecked(sender, node);
}

void TCheckboxesSynchronizer::TreeExpanded(TBaseDataTree* sender, PDataNode node) {
    if (sender == tree_) {
        CompletePending();
        Propagate(node, false, true);
    }
    if (treeEvents_.OnExpanded) treeEvents_.OnExpanded(sender, node);
}

void TCheckboxesSynchronizer::TreeEnumFolder(TCustomExplorerTree* sender, TNamespace* ns, bool& allowAsChild) {
    allowAsChild = IsFile(ns) || IsContainer(ns);
    if (treeEvents_.OnEnumFolder) treeEvents_.OnEnumFolder(sender, ns, allowAsChild);
}

void TCheckboxesSynchronizer::ListInitNode(TBaseDataTree* sender, PDataNode parent, PDataNode node,
                                           TDataNodeInitStates& initStates) {
    node->CheckType = ctTriStateCheckBox;
    if (listEvents_.OnInitNode) listEvents_.OnInitNode(sender, parent, node, initStates);
}

void TCheckboxesSynchronizer::ListChecked(TBaseDataTree* sender, PDataNode node) {
    if (sender == list_) {
        CompletePending();
        BeginUpdates();
        ScopeGuard end([this] { EndUpdates(); });
        SyncFromList(node);
    }
    if (listEvents_.OnChecked) listEvents_.OnChecked(sender, node);
}

void TCheckboxesSynchronizer::ListRootChange(TCustomExplorerTree* sender) {
    // The folder shown shows its items' states whole.
    if (sender == list_) {
        // A folder opening elsewhere in the tree goes on: only the one shown
        // and those below it need their nodes whole.
        TNamespace* shown = list_->RootFolderNamespace();
        PCItemIDList opening = tree_ ? tree_->ExpansionFolder() : nullptr;
        PCItemIDList at = shown ? shown->AbsolutePIDL() : nullptr;
        if (opening && at && (EqualPIDL(at, opening) || IsParentPIDL(opening, at, false)))
            CompletePending();
        else
            CompleteListingAndSpread();
        RefreshListFromTree();
    }
    if (listEvents_.OnRootChange) listEvents_.OnRootChange(sender);
}

void TCheckboxesSynchronizer::TreeFreeNode(TBaseDataTree* sender, PDataNode node) {
    if (spread_ && sender == tree_) {
        if (node == spread_->folder) {
            // The listing's items refer to the folder's item, going now.
            spread_->listing.reset();
            spread_->folder = nullptr;
            spread_->next = nullptr;
        } else if (node == spread_->next) {
            spread_->next = node->NextSibling;
        }
    }
    if (treeEvents_.OnFreeNode) treeEvents_.OnFreeNode(sender, node);
}

void RegisterCheckboxesSynchronizerClass() {
    RegisterExplorerViewsClasses();
    RegisterComponentClass<TCheckboxesSynchronizer>("TCheckboxesSynchronizer");
}

} // namespace ax
