// The explorer tree's nodes: initialisation, enumeration of folders into
// child nodes, the record of check states in the node storage, freeing,
// expanding and collapsing, and the window's creation.
#include "ExplorerTreeInternal.h"
#include "rtl/scopeguard.h"
#include "explorer/ExplorerTree.h"
#include "shell/WideStrings.h"

#include <algorithm>
#include <climits>
#include <string_view>

namespace ax {

TNamespace* TCustomExplorerTree::NodeNamespace(PDataNode node) const {
    const TExpNodeData* data = NodeData(node);
    return data ? data->Namespace.get() : nullptr;
}

bool TCustomExplorerTree::ValidateNamespace(PDataNode node, TNamespace*& ns) const {
    ns = NodeNamespace(node);
    return ns != nullptr;
}

TColumnManager* TCustomExplorerTree::ColumnManager(PDataNode node) {
    TExpNodeData* data = NodeData(node);
    if (!data || !data->Namespace) return nullptr;
    std::unique_ptr<TColumnManager>& columns = columnManagers_[node];
    if (!columns) columns = std::make_unique<TColumnManager>(this);
    return columns.get();
}

void TCustomExplorerTree::FreeNodeNamespace(PDataNode node) {
    TExpNodeData* data = NodeData(node);
    if (!data) return;
    // Both are taken out of the node before either goes.
    std::unique_ptr<TNamespace> ns = data->Namespace.Release();
    std::unique_ptr<TColumnManager> columns;
    if (!columnManagers_.empty()) {
        if (auto held = columnManagers_.find(node); held != columnManagers_.end()) {
            columns = std::move(held->second);
            columnManagers_.erase(held);
        }
    }
}

// ---- Initialisation -----------------------------------------------------------------------

bool TCustomExplorerTree::HasChildrenDecision(TNamespace* ns, PDataNode node) {
    const TExpFolderOptions folderOptions = TreeOptions().ExpFolderOptions();
    const bool topLevel = node && node->Parent == RootNode();
    if (!(folderOptions & toFoldersExpandable) && !(topLevel && !(folderOptions & toHideRootFolder))) return false;
    // An item that is no folder holds nothing (the recycle bin is a folder).
    const TNamespace* nodeNs = node ? NodeNamespace(node) : nullptr;
    if ((nodeNs && nodeNs->ListedNoFolder()) || !ns->Folder()) return false;
    if (ns->IsRecycleBin()) return true;
    if (ns->HasSubFolder()) return true;
    uint32_t flags = 0;
    if (fileObjects_ & foFolders) flags |= SHCONTF_FOLDERS;
    if (fileObjects_ & foNonFolders) flags |= SHCONTF_NONFOLDERS;
    if (fileObjects_ & foHidden) flags |= SHCONTF_INCLUDEHIDDEN;
    if (fileObjects_ & foFolders) {
        if (ns->HasChildren(flags & ~uint32_t(SHCONTF_NONFOLDERS))) return true;
        if (!(fileObjects_ & foNonFolders)) return false;
    }
    return ns->HasChildren(flags);
}

void TCustomExplorerTree::DoInitNode(PDataNode parent, PDataNode node, TDataNodeInitStates& initStates) {
    TExpNodeData* data = NodeData(node);
    const TExplorerTreeOptions& options = TreeOptions();
    if (!parent && RootNodeCount() < 2 && !(options.ExpFolderOptions() & toHideRootFolder)) {
        // The single node of the root folder. Its children's items refer to
        // its item, so an item it already has stays while children exist.
        if (!data->Namespace || node->ChildCount == 0) {
            FreeNodeNamespace(node);
            data->Namespace.Reset(rootNamespace_ ? rootNamespace_->Clone()
                                                 : std::make_unique<TNamespace>(nullptr, nullptr));
        }
        initStates |= ivsExpanded;
    }
    if (data->Namespace && HasChildrenDecision(data->Namespace.get(), node)) initStates |= ivsHasChildren;
    TCustomDataStringTree::DoInitNode(parent, node, initStates);

    if (!(options.MiscOptions() & toCheckSupport) || !data->Namespace) return;
    const bool tracking = options.AutoOptions() & toAutoTristateTracking;
    if (tracking && parent && UnpressedCheckState(parent->CheckState) == csCheckedNormal) {
        // Below a checked folder everything is checked, and is so stored.
        node->CheckState = csCheckedNormal;
        StoreCheckState(node);
        return;
    }
    TNodeStorage* record =
        node->Parent == unstoredParent_ ? nullptr : Storage().Find(data->Namespace->AbsolutePIDL(), skCheck);
    if (!record) return;
    // A box shows pressed only while the mouse holds it.
    node->CheckState = UnpressedCheckState(TCheckState(record->Storage.CheckState));
    node->CheckType = TCheckType(record->Storage.CheckType);
    if (tracking && node->CheckState != csUncheckedNormal && node->Parent &&
        UnpressedCheckState(node->Parent->CheckState) == csUncheckedNormal) {
        for (PDataNode p = node->Parent; p; p = p->Parent) {
            p->CheckState = csMixedNormal;
            if (p != RootNode()) InvalidateNode(p);
        }
    }
}

void TCustomExplorerTree::DoInitChildren(PDataNode node, uint32_t& childCount) {
    childCount = ExpandNamespaceFolder(node);
    // Stored check states show at once, not when a node is first painted.
    if ((TreeOptions().MiscOptions() & toCheckSupport) && !childInitDeferred_) {
        // Without a record for the folder there is none below it either.
        TNamespace* ns = NodeNamespace(node);
        const PDataNode outer = std::exchange(unstoredParent_, ns && !Storage().Lookup(ns->AbsolutePIDL()) ? node : nullptr);
        ScopeGuard stored([this, outer] { unstoredParent_ = outer; });
        for (PDataNode child = node->FirstChild; child; child = child->NextSibling) InitNode(child);
    }
    TCustomDataStringTree::DoInitChildren(node, childCount);
}

bool TCustomExplorerTree::MakeChildrenUninitialized(PDataNode node) {
    if (!node || !(node->States & vsHasChildren) || node->ChildCount != 0) return false;
    const bool outer = std::exchange(childInitDeferred_, true);
    ScopeGuard deferred([this, outer] { childInitDeferred_ = outer; });
    // Made through the first child, which is initialised on the way.
    GetFirstChild(node);
    return node->ChildCount != 0;
}

// ---- Enumeration --------------------------------------------------------------------------

bool TCustomExplorerTree::DriveRootNotReady(TNamespace* ns) {
    const std::string path = WideToUtf8(ns->NameForParsing());
    if (path.empty() || path[0] != '/') return false;
    const std::string root = DriveRoot(path);
    if (root != WideToUtf8(WideIncludeTrailingBackslash(Utf8ToWide(path)))) return false;
    return !DriveReady(root);
}

uint32_t TCustomExplorerTree::ExpandNamespaceFolder(PDataNode node) {
    TNamespace* ns = NodeNamespace(node);
    if (!node || !ns) return node ? node->ChildCount : 0;
    if (!(TreeOptions().ExpFolderOptions() & toFoldersExpandable) && node != RootNode() &&
        node != RootNode()->FirstChild)
        return 0;
    if (DriveRootNotReady(ns)) {
        if (node != RootNode()) {
            BeginUpdate();
            SetHasChildren(node, false);
            EndUpdate();
            InvalidateNode(node);
        }
        return 0;
    }
    WaitCursor(true);
    ScopeGuard cursor([this] { WaitCursor(false); });
    BeginUpdate();
    ScopeGuard end([this] { EndUpdate(); });
    if (node->ChildCount == 0) {
        const TColumnIndex column = Header().SortColumn();
        const TSortDirection direction = Header().SortDirection();
        const bool sortedAhead = prelisted_ && prelistedSorted_;
        std::vector<TListedItem> items = prelisted_ ? std::move(*std::exchange(prelisted_, nullptr)) : ListFolder(*ns);
        const bool shellOrder = ShellOrderColumn(column);
        // Items read in slices were sorted as they came.
        if (shellOrder && sortedAhead && direction == sdDescending) std::reverse(items.begin(), items.end());
        const bool presorted = shellOrder && (sortedAhead || SortInShellOrder(*ns, items, direction));
        // The items were marked as they were read: a million of them are
        // not gone through again here.
        for (TListedItem& item : items) NodeData(AddChild(node))->Namespace.Reset(std::move(item.Namespace));
        listed_.insert(node);
        watchedDirty_ = true;
        DoCustomNamespace(node);
        // Sorted in the folder's own order already, unless the hook added some.
        if (node->ChildCount > 0 && (!presorted || node->ChildCount != items.size()))
            Sort(node, column, direction, false);
    }
    return node->ChildCount;
}

class TCustomExplorerTree::TChildListing {
public:
    // The folder's own item when no node holds it (BeginFolderListing):
    // first, so that it goes after the items referring to it.
    std::unique_ptr<TNamespace> owned;
    TNamespace* folder = nullptr;
    std::unique_ptr<IEnumIDList> list;
    IEnumIDListKinds* kinds = nullptr;
    // 1: folders only, 0: no folders, -1: both.
    int listed = -1;
    std::vector<TListedItem> items;

    // A listing read in slices sorts each slice's items into those read
    // before by the folder's keys, so its last slice need not sort them
    // all; read to the end, the items are put in that order (ascending,
    // an item listed twice once). Without a key for every item the items
    // stay as listed and are sorted when their nodes are made.
    void SortAsRead(ShellFolderPtr shellFolder);
    void SortSlice(size_t from);
    // Puts the items in key order once the folder is read to its end.
    void PutInOrder();
    bool Sorted() const { return sorted_; }

private:
    std::string_view Key(uint32_t i) const {
        const size_t begin = i ? ends_[i - 1] : 0;
        return std::string_view(keys_.data() + begin, ends_[i] - begin);
    }
    ShellFolderPtr keyFolder_;
    IShellFolderSortKeys* keyed_ = nullptr;
    std::string keys_;
    std::vector<size_t> ends_;
    // Indexes of the items read so far, ascending by key, equal keys in
    // the order read.
    std::vector<uint32_t> order_;
    bool sorted_ = false;
};

void TCustomExplorerTree::TChildListing::SortAsRead(ShellFolderPtr shellFolder) {
    keyed_ = dynamic_cast<IShellFolderSortKeys*>(shellFolder.get());
    if (keyed_) keyFolder_ = std::move(shellFolder);
}

void TCustomExplorerTree::TChildListing::SortSlice(size_t from) {
    if (!keyed_) return;
    std::vector<std::string_view> run;
    run.reserve(items.size() - from);
    for (size_t i = from; i < items.size(); ++i) {
        if (!keyed_->AppendSortKey(items[i].Namespace->RelativePIDL(), &keys_)) {
            keyed_ = nullptr;
            keys_ = {};
            ends_ = {};
            order_ = {};
            return;
        }
        ends_.push_back(keys_.size());
    }
    for (size_t i = from; i < items.size(); ++i) run.push_back(Key(uint32_t(i)));
    // Each of the slice's keys goes after the equal ones read before it.
    std::vector<uint32_t> merged;
    merged.reserve(order_.size() + run.size());
    auto at = order_.begin();
    const auto less = [this](uint32_t a, uint32_t b) { return Key(a) < Key(b); };
    for (uint32_t r : SortKeys(run, false)) {
        const uint32_t index = uint32_t(from) + r;
        const auto to = std::upper_bound(at, order_.end(), index, less);
        merged.insert(merged.end(), at, to);
        merged.push_back(index);
        at = to;
    }
    merged.insert(merged.end(), at, order_.end());
    order_.swap(merged);
}

void TCustomExplorerTree::TChildListing::PutInOrder() {
    if (!keyed_ || sorted_) return;
    std::vector<TListedItem> inOrder;
    inOrder.reserve(order_.size());
    for (size_t n = 0; n < order_.size(); ++n) {
        // An item listed twice gets one node: the first read.
        if (n > 0 && Key(order_[n]) == Key(order_[n - 1])) continue;
        inOrder.push_back(std::move(items[order_[n]]));
    }
    items.swap(inOrder);
    sorted_ = true;
    keys_ = {};
    ends_ = {};
    order_ = {};
}

void TCustomExplorerTree::TChildListingDeleter::operator()(TChildListing* listing) const {
    delete listing;
}

std::vector<TCustomExplorerTree::TListedItem> TCustomExplorerTree::ListFolder(TNamespace& folderNamespace) {
    TChildListing listing;
    if (StartListing(folderNamespace, listing)) ReadListing(listing, INT_MAX);
    return std::move(listing.items);
}

bool TCustomExplorerTree::StartListing(TNamespace& folderNamespace, TChildListing& listing) {
    const bool folders = fileObjects_ & foFolders, nonFolders = fileObjects_ & foNonFolders;
    uint32_t flags = 0;
    if (folders) flags |= SHCONTF_FOLDERS;
    if (nonFolders) flags |= SHCONTF_NONFOLDERS;
    if (fileObjects_ & foHidden) flags |= SHCONTF_INCLUDEHIDDEN;
    ShellFolderPtr folder = folderNamespace.ShellFolder();
    if (!folder || FAILED(folder->EnumObjects(flags, &listing.list)) || !listing.list) return false;
    listing.folder = &folderNamespace;
    // What the listing tells of each item spares a look at it on the disk.
    listing.kinds = dynamic_cast<IEnumIDListKinds*>(listing.list.get());
    listing.listed = folders == nonFolders ? -1 : folders ? 1 : 0;
    return true;
}

bool TCustomExplorerTree::ReadListing(TChildListing& listing, int count) {
    if (!listing.list) return true;
    const size_t before = listing.items.size();
    const bool end = ReadListingItems(listing, count);
    listing.SortSlice(before);
    if (end) listing.PutInOrder();
    return end;
}

bool TCustomExplorerTree::ReadListingItems(TChildListing& listing, int count) {
    PItemIDList child = nullptr;
    for (; count > 0; --count) {
        if (listing.list->Next(&child) != S_OK) {
            listing.list.reset();
            return true;
        }
        auto ns = std::make_unique<TNamespace>(UniquePIDL(child), listing.folder);
        const int listed = listing.listed;
        const bool noFolder = listed == 0 || (listed < 0 && listing.kinds && listing.kinds->LastIsNoFolder());
        if (listed >= 0) ns->SetFolderKnown(listed == 1);
        else if (noFolder) ns->SetFolderKnown(false);
        if ((TreeOptions().ExpFolderOptions() & toForceHideRecycleBin) && ns->IsRecycleBin()) continue;
        bool allow = true;
        if (OnEnumFolder) OnEnumFolder(this, ns.get(), allow);
        if (!allow) continue;
        ns->SetListedNoFolder(noFolder);
        listing.items.push_back({std::move(ns), noFolder});
    }
    return false;
}

TCustomExplorerTree::TChildListingPtr TCustomExplorerTree::BeginChildListing(PDataNode node) {
    TNamespace* ns = NodeNamespace(node);
    if (!ns || !(node->States & vsHasChildren) || node->ChildCount != 0 || node == RootNode()) return nullptr;
    if (!(TreeOptions().ExpFolderOptions() & toFoldersExpandable) && node != RootNode()->FirstChild) return nullptr;
    if (DriveRootNotReady(ns)) return nullptr;
    TChildListingPtr listing(new TChildListing);
    // A folder that cannot be listed makes no children, as in one piece.
    listing->folder = ns;
    if (StartListing(*ns, *listing)) listing->SortAsRead(ns->ShellFolder());
    return listing;
}

bool TCustomExplorerTree::ContinueChildListing(TChildListing& listing, int count) {
    return ReadListing(listing, count);
}

bool TCustomExplorerTree::EndChildListing(PDataNode node, TChildListing& listing) {
    if (node->ChildCount != 0 || NodeNamespace(node) != listing.folder) return false;
    ReadListing(listing, INT_MAX);
    std::vector<TListedItem>* const outer = std::exchange(prelisted_, &listing.items);
    const bool outerSorted = std::exchange(prelistedSorted_, listing.Sorted());
    ScopeGuard listed([this, outer, outerSorted] {
        prelisted_ = outer;
        prelistedSorted_ = outerSorted;
    });
    return MakeChildrenUninitialized(node);
}

TCustomExplorerTree::TChildListingPtr TCustomExplorerTree::BeginFolderListing(PCItemIDList pidl) {
    ExplorerAssert(TreeOptions().ExpFolderOptions() & toHideRootFolder,
                   "A folder listed ahead is shown under a hidden root");
    if (!pidl) return nullptr;
    auto ns = std::make_unique<TNamespace>(UniquePIDL(NamespacePIDLManager().CopyPIDL(pidl)), nullptr);
    if (!ns->Folder()) return nullptr;
    TChildListingPtr listing(new TChildListing);
    listing->folder = ns.get();
    listing->owned = std::move(ns);
    // A folder that cannot be listed shows no items, as in one piece.
    if (StartListing(*listing->folder, *listing)) listing->SortAsRead(listing->folder->ShellFolder());
    return listing;
}

void TCustomExplorerTree::ShowListedFolder(TChildListing& listing) {
    ExplorerAssert(listing.owned != nullptr, "Only a listing of BeginFolderListing is shown as the root");
    ReadListing(listing, INT_MAX);
    const UniquePIDL pidl(NamespacePIDLManager().CopyPIDL(listing.folder->AbsolutePIDL()));
    // Shown otherwise than under a hidden root, the folder is listed anew.
    if (!(TreeOptions().ExpFolderOptions() & toHideRootFolder)) return SetRootFolderCustomPIDL(pidl.get());
    // The items refer to the listing's item: it becomes the hidden root's.
    listedRoot_ = std::move(listing.owned);
    std::vector<TListedItem>* const outer = std::exchange(prelisted_, &listing.items);
    const bool outerSorted = std::exchange(prelistedSorted_, listing.Sorted());
    ScopeGuard listed([this, outer, outerSorted] {
        prelisted_ = outer;
        prelistedSorted_ = outerSorted;
        listedRoot_.reset();
    });
    SetRootFolderCustomPIDL(pidl.get());
}

void TCustomExplorerTree::UnmakeChildren(PDataNode node) {
    if (!node) return;
    DeleteChildren(node, false);
    if (listed_.erase(node)) watchedDirty_ = true;
}

bool TCustomExplorerTree::ShellOrderColumn(TColumnIndex column) const {
    return column < 0 && !(TreeOptions().ExpMiscOptions() & toUserSort);
}

bool TCustomExplorerTree::SortInShellOrder(TNamespace& folderNamespace, std::vector<TListedItem>& items,
                                           TSortDirection direction) {
    ShellFolderPtr folder = folderNamespace.ShellFolder();
    if (!folder) return false;
    const bool descending = direction == sdDescending;
    std::vector<uint32_t> order;
    // Keys from the folder compare as bytes; without them, its CompareIDs
    // compares the items' IDs. Either way an item listed twice gets one node.
    std::string keys;
    std::vector<size_t> ends;
    auto* keyed = dynamic_cast<IShellFolderSortKeys*>(folder.get());
    if (keyed) {
        keys.reserve(items.size() * 48);
        ends.reserve(items.size());
    }
    for (size_t i = 0; keyed && i < items.size(); ++i) {
        if (!keyed->AppendSortKey(items[i].Namespace->RelativePIDL(), &keys)) keyed = nullptr;
        ends.push_back(keys.size());
    }
    if (keyed) {
        std::vector<std::string_view> records;
        records.reserve(items.size());
        for (size_t i = 0, begin = 0; i < items.size(); begin = ends[i++])
            records.emplace_back(keys.data() + begin, ends[i] - begin);
        order = SortKeys(records, descending);
    } else {
        IShellFolder& f = *folder;
        auto id = [](std::string_view bytes) { return reinterpret_cast<PCItemIDList>(bytes.data()); };
        std::vector<std::string_view> records;
        records.reserve(items.size());
        for (const TListedItem& item : items) {
            PCItemIDList pidl = item.Namespace->RelativePIDL();
            records.emplace_back(reinterpret_cast<const char*>(pidl), ILByteSize(pidl));
        }
        order = PackedMergeSort(
            records,
            [&](std::string_view a, std::string_view b) {
                const int r = CompareIDsSign(f, id(a), id(b));
                return descending ? r > 0 : r < 0;
            },
            [&](std::string_view a, std::string_view b) { return CompareIDsSign(f, id(a), id(b)) == 0; });
    }
    std::vector<TListedItem> sorted;
    sorted.reserve(order.size());
    for (uint32_t i : order) sorted.push_back(std::move(items[i]));
    items.swap(sorted);
    return true;
}

void TCustomExplorerTree::DoCustomNamespace(PDataNode parent) {
    TNamespace* ns = NodeNamespace(parent);
    if ((TreeOptions().ExpFolderOptions() & toForceShowMyDocuments) && ns && ns->IsDesktop()) {
        ShellFolderPtr desktop = ns->ShellFolder();
        PItemIDList documents = nullptr;
        if (desktop && SUCCEEDED(desktop->ParseDisplayName("::{documents}", &documents)) && documents) {
            UniquePIDL held(documents);
            bool present = false;
            for (PDataNode c = parent->FirstChild; c && !present; c = c->NextSibling)
                if (TNamespace* childNs = NodeNamespace(c)) present = EqualPIDL(childNs->AbsolutePIDL(), documents);
            if (!present)
                AddNodeToTree(parent, std::make_unique<TNamespace>(std::move(held), ns), ctTriStateCheckBox,
                              TreeOptions().MiscOptions() & toCheckSupport);
        }
    }
    if (OnCustomNamespace) OnCustomNamespace(this, parent);
}

PDataNode TCustomExplorerTree::AddNodeToTree(PDataNode parent, std::unique_ptr<TNamespace> ns,
                                             TCheckType checkType, bool setCheck) {
    PDataNode node = AddChild(parent);
    TNamespace* item = ns.get();
    NodeData(node)->Namespace.Reset(std::move(ns));
    if (setCheck) {
        SetCheckType(node, checkType);
        node->CheckState = csUncheckedNormal;
    }
    if (OnNamespaceStructureChange) OnNamespaceStructureChange(this, node, item, nscAdd);
    return node;
}

// ---- Check states -------------------------------------------------------------------------

void TCustomExplorerTree::StoreCheckState(PDataNode node) {
    TNamespace* ns = NodeNamespace(node);
    if (!ns) return;
    // Pressed is how a box looks while the mouse holds it, never a state
    // of the item: the storage keeps what the box stands for.
    const TCheckState state = UnpressedCheckState(node->CheckState);
    if (state == csUncheckedNormal) {
        Storage().Delete(ns->AbsolutePIDL(), skCheck);
    } else if (TNodeStorage* record = Storage().Store(ns->AbsolutePIDL(), skCheck)) {
        record->Storage.CheckState = state;
        record->Storage.CheckType = node->CheckType;
    }
}

void TCustomExplorerTree::DoChecked(PDataNode node) {
    StoreCheckState(node);
    TCustomDataStringTree::DoChecked(node);
}

// ---- Freeing, expanding, collapsing -------------------------------------------------------

void TCustomExplorerTree::DoFreeNode(PDataNode node) {
    ++freeing_;
    ScopeGuard freed([this] { --freeing_; });
    if (threadedImages_) ClearPendingIconRequests(node);
    if (listed_.erase(node)) watchedDirty_ = true;
    if (editAgainNode_ == node) editAgainNode_ = nullptr;
    if (editedNode_ == node) editedNode_ = nullptr;
    contextMenu_->NodeFreed(node);
    FreeNodeNamespace(node);
    TCustomDataStringTree::DoFreeNode(node);
}

bool TCustomExplorerTree::DoExpanding(PDataNode node) {
    if (node != RootNode()->FirstChild && !(TreeOptions().ExpMiscOptions() & toBrowseExecuteFolder) &&
        !buttonExpand_)
        return false;
    return TCustomDataStringTree::DoExpanding(node);
}

bool TCustomExplorerTree::DoCollapsing(PDataNode node) {
    PDataNode selected = GetFirstSelected();
    if (selected && HasAsParent(selected, node) && !(TreeOptions().AutoOptions() & toAutoExpand)) {
        ClearSelection();
        SetSelected(node, true);
        SetFocusedNode(node);
    }
    return TCustomDataStringTree::DoCollapsing(node);
}

void TCustomExplorerTree::DoCollapsed(PDataNode node) {
    if (threadedImages_ && !browsing_) ClearPendingIconRequests(nullptr);
    TCustomDataStringTree::DoCollapsed(node);
}

void TCustomExplorerTree::WMLButtonDown(TMessage& m) {
    THitInfo hit;
    GetHitTestInfoAt(GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam), true, hit);
    buttonExpand_ = (hit.HitPositions & hiOnItemButton) != 0;
    ScopeGuard reset([this] { buttonExpand_ = false; });
    TCustomDataStringTree::WMLButtonDown(m);
}

void TCustomExplorerTree::WMLButtonDblClk(TMessage& m) {
    const POINT p{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
    THitInfo hit;
    GetHitTestInfoAt(p.x, p.y, true, hit);
    {
        buttonExpand_ = (hit.HitPositions & hiOnItemButton) != 0;
        ScopeGuard reset([this] { buttonExpand_ = false; });
        TCustomDataStringTree::WMLButtonDblClk(m);
    }
    LeftDoubleClick(hit.HitNode, hit.HitPositions, p);
}

void TCustomExplorerTree::CreateWnd() {
    TCustomDataStringTree::CreateWnd();
    if (!HasState(csLoading | csDesigning) && !Creating()) {
        // Replies on their way to the window that went are lost with it:
        // the items ask again.
        ClearPendingIconRequests(nullptr);
        SetThreadedImagesActive(TreeOptions().ExpImageOptions() & toThreadedImages);
        RegisterWithChangeNotifier(TreeOptions().ExpMiscOptions() & toChangeNotifierThread);
    }
    // What the items answered before may have changed meanwhile.
    for (PDataNode n = RootNode(); n;) {
        if (TNamespace* ns = NodeNamespace(n)) ns->InvalidateCache();
        if (n->FirstChild) {
            n = n->FirstChild;
            continue;
        }
        while (n && n != RootNode() && !n->NextSibling) n = n->Parent;
        n = n && n != RootNode() ? n->NextSibling : nullptr;
    }
}

} // namespace ax
