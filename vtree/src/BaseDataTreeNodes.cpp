// The node store: making, linking, initialising, expanding and deleting
// nodes, and the walks over them.
#include <algorithm>
#include <cstring>
#include <exception>
#include <mutex>
#include <unordered_map>

#include "DTEdit.h"
#include "NodePool.h"
#include "NodeWalk.h"
#include "PositionCache.h"
#include "rtl/scopeguard.h"
#include "vtree/BaseDataTree.h"

namespace ax {
namespace {

// Every live tree by its identity, so that a data object or a reference
// found on the clipboard never reaches a tree that is gone.
struct TreeRegistry {
    std::mutex mutex;
    std::unordered_map<uint64_t, TBaseDataTree*> trees;
    uint64_t next = 1;
};

TreeRegistry& Registry() {
    static TreeRegistry r;
    return r;
}

constexpr int RoundArea(int size) { return (size + 7) & ~7; }

} // namespace

TBaseDataTree* TBaseDataTree::FindTree(uint64_t treeId) {
    std::lock_guard<std::mutex> g(Registry().mutex);
    auto it = Registry().trees.find(treeId);
    return it == Registry().trees.end() ? nullptr : it->second;
}

TBaseDataTree::TBaseDataTree(TComponent* owner) : TCustomControl(owner) {
    {
        std::lock_guard<std::mutex> g(Registry().mutex);
        treeId_ = Registry().next++;
        Registry().trees[treeId_] = this;
    }
    pool_ = std::make_unique<TNodePool>(NodeBlockSize());
    ReallocateRoot();
    cache_ = std::make_unique<TPositionCache>(root_);
    color_ = clWindow;
    tabStop_ = true;
    SetBounds(0, 0, 200, 100);
}

TBaseDataTree::~TBaseDataTree() {
    {
        std::lock_guard<std::mutex> g(Registry().mutex);
        Registry().trees.erase(treeId_);
    }
    Destroying();
    CloseThemes();
    DetachDropTarget();
    if (editor_) editor_->Detach();
    // Nodes go while the tree is still whole, so DoFreeNode overrides of
    // this class (not of descendants, already gone) still run for them.
    iterating_ = 0;
    cache_->Forget();
    if (root_) {
        std::vector<PDataNode> tops;
        for (PDataNode c = root_->FirstChild; c; c = c->NextSibling) tops.push_back(c);
        for (PDataNode c : tops) FreeSubtree(c);
        root_->FirstChild = root_->LastChild = nullptr;
    }
}

TDTHeader& TBaseDataTree::Header() const {
    if (!header_) header_ = const_cast<TBaseDataTree*>(this)->CreateHeader();
    return *header_;
}

TCustomDataTreeOptions& TBaseDataTree::TreeOptions() const {
    if (!options_) options_ = const_cast<TBaseDataTree*>(this)->CreateOptions();
    return *options_;
}

std::unique_ptr<TCustomDataTreeOptions> TBaseDataTree::CreateOptions() {
    return std::make_unique<TCustomDataTreeOptions>(this);
}

std::unique_ptr<TDTHeader> TBaseDataTree::CreateHeader() { return std::make_unique<TDTHeader>(this); }

std::unique_ptr<TDataTreeColumn> TBaseDataTree::CreateColumn(TCollection* columns) {
    return std::make_unique<TDataTreeColumn>(columns);
}

// ---- Memory --------------------------------------------------------------------------------

size_t TBaseDataTree::NodeBlockSize() const {
    return sizeof(TDataNode) + size_t(internalDataSize_) + size_t(nodeDataSize_);
}

void TBaseDataTree::ReallocateRoot() {
    const size_t size = (NodeBlockSize() + 7) & ~size_t(7);
    auto block = std::unique_ptr<std::byte[]>(new std::byte[size]);
    std::memset(block.get(), 0, size);
    auto* fresh = new (block.get()) TDataNode;
    if (root_) {
        // Keep the record and whatever data fits; no node hangs below a
        // root that is reallocated.
        *fresh = *root_;
        const size_t oldSize = pool_->BlockSize();
        const size_t keep = std::min(oldSize, size) - sizeof(TDataNode);
        std::memcpy(fresh->Data(), root_->Data(), keep);
    } else {
        fresh->States = vsInitialized | vsExpanded | vsVisible;
    }
    rootBlock_ = std::move(block);
    root_ = fresh;
    if (cache_) cache_->SetRoot(root_);
}

PDataNode TBaseDataTree::MakeNode() {
    auto* n = new (pool_->Allocate()) TDataNode;
    n->NodeHeight = uint16_t(defaultNodeHeight_);
    n->TotalHeight = n->NodeHeight;
    n->States = vsVisible;
    ++nodeCount_;
    return n;
}

void TBaseDataTree::ReserveNodes(size_t count) { pool_->Reserve(count); }

void TBaseDataTree::FreeNodeMemory(PDataNode node) {
    pool_->Release(node);
    --nodeCount_;
}

void TBaseDataTree::SetNodeDataSize(int size) {
    size = std::max(size, 0);
    if (size == nodeDataSize_) return;
    if (nodeCount_ != 0)
        throw EDataTreeError(dteDataAreaWithNodes, "The node data size cannot change while the tree holds nodes");
    nodeDataSize_ = size;
    ReallocateRoot();
    pool_->SetBlockSize(NodeBlockSize());
}

int TBaseDataTree::AllocateInternalDataArea(int size) {
    if (nodeCount_ != 0)
        throw EDataTreeError(dteDataAreaWithNodes,
                             "Internal data areas can only be reserved while the tree holds no node");
    const int offset = int(sizeof(TDataNode)) + internalDataSize_;
    // The user's data moves behind the new area; the root keeps both.
    const size_t userBytes = size_t(nodeDataSize_);
    std::vector<std::byte> user(userBytes);
    if (userBytes) std::memcpy(user.data(), root_->Data() + internalDataSize_, userBytes);
    internalDataSize_ += RoundArea(std::max(size, 0));
    ReallocateRoot();
    std::memset(root_->Data() + (offset - int(sizeof(TDataNode))), 0, size_t(RoundArea(std::max(size, 0))));
    if (userBytes) std::memcpy(root_->Data() + internalDataSize_, user.data(), userBytes);
    pool_->SetBlockSize(NodeBlockSize());
    return offset;
}

void* TBaseDataTree::GetNodeData(PDataNode node) const {
    if (!node || nodeDataSize_ <= 0) return nullptr;
    return node->Data() + internalDataSize_;
}

// ---- Linking -------------------------------------------------------------------------------

void TBaseDataTree::LinkLastChild(PDataNode parent, PDataNode node) {
    node->Parent = parent;
    node->PrevSibling = parent->LastChild;
    node->NextSibling = nullptr;
    if (parent->LastChild) {
        parent->LastChild->NextSibling = node;
        node->Index = parent->LastChild->Index + 1;
    } else {
        parent->FirstChild = node;
        node->Index = 0;
    }
    parent->LastChild = node;
    ++parent->ChildCount;
    parent->States |= vsHasChildren;
}

void TBaseDataTree::AdjustHeights(PDataNode node, int64_t delta) {
    if (delta == 0) return;
    for (PDataNode p = node; p; p = p->Parent) {
        p->TotalHeight = uint32_t(int64_t(p->TotalHeight) + delta);
        if (p == root_) break;
        if (!walk::IsVisible(p) || !p->Parent || !walk::IsExpanded(p->Parent)) break;
    }
}

uint32_t TBaseDataTree::VisibleChildrenHeight(PDataNode node) const {
    uint64_t sum = 0;
    for (PDataNode c = node->FirstChild; c; c = c->NextSibling)
        if (walk::IsVisible(c)) sum += c->TotalHeight;
    return uint32_t(sum);
}

void TBaseDataTree::StructureChanged(PDataNode node, bool inclusive) {
    if (node == root_ || walk::IsShown(node, root_)) {
        cache_->Invalidate(node, inclusive);
        UpdateScrollBars();
        InvalidateAll();
    }
}

void TBaseDataTree::AddChildren(PDataNode parent, uint32_t count) {
    if (count == 0) return;
    PDataNode first = nullptr;
    uint64_t height = 0;
    for (uint32_t i = 0; i < count; ++i) {
        PDataNode n = MakeNode();
        LinkLastChild(parent, n);
        height += n->TotalHeight;
        if (!first) first = n;
    }
    if (walk::IsExpanded(parent)) AdjustHeights(parent, int64_t(height));
    StructureChanged(first, true);
}

PDataNode TBaseDataTree::AddChild(PDataNode parent, void* userData) {
    if (!parent) parent = root_;
    if (userData && size_t(nodeDataSize_) < sizeof(void*))
        throw EDataTreeError(dteNodeDataTooSmall, "The node data area is too small for the user data");
    PDataNode n = MakeNode();
    LinkLastChild(parent, n);
    if (userData) {
        std::memcpy(GetNodeData(n), &userData, sizeof userData);
        n->States |= vsInitialUserData;
    }
    if (walk::IsExpanded(parent)) AdjustHeights(parent, n->TotalHeight);
    StructureChanged(n, true);
    // Inside an update its end repaints everything once.
    if (parent != root_ && updateCount_ == 0) InvalidateNode(parent);
    return n;
}

uint32_t TBaseDataTree::RootNodeCount() const { return root_->ChildCount; }

void TBaseDataTree::SetRootNodeCount(uint32_t count) { SetChildCount(root_, count); }

uint32_t TBaseDataTree::ChildCount(PDataNode node) const { return (node ? node : root_)->ChildCount; }

void TBaseDataTree::SetChildCount(PDataNode node, uint32_t count) {
    if (!node) node = root_;
    if (count == node->ChildCount) return;
    if (count < node->ChildCount) {
        CheckIterating();
        BeginUpdate();
        ScopeGuard end([this] { EndUpdate(); });
        while (node->ChildCount > count) DeleteNodeInternal(node->LastChild, false);
    } else {
        AddChildren(node, count - node->ChildCount);
    }
    if (node != root_ && count == 0) node->States &= ~vsHasChildren;
}

// ---- Initialisation ------------------------------------------------------------------------

void TBaseDataTree::InitNode(PDataNode node) {
    if (!IsRealNode(node) || (node->States & vsInitialized)) return;
    const TDataNodeStates before = node->States;
    const uint16_t heightBefore = node->NodeHeight;
    node->States |= vsInitialized;
    TDataNodeInitStates init = 0;
    DoInitNode(node->Parent == root_ ? nullptr : node->Parent, node, init);
    ApplyInitStates(node, before | vsInitialized, heightBefore, init);
}

void TBaseDataTree::ApplyInitStates(PDataNode node, TDataNodeStates before, uint16_t heightBefore,
                                    TDataNodeInitStates init) {
    // A handler may have written the record directly; what moves nodes on
    // the screen is undone and redone through the setters, so the heights
    // and the position cache follow.
    if ((before ^ node->States) & vsVisible) {
        const bool now = (node->States & vsVisible) != 0;
        node->States ^= vsVisible;
        SetVisible(node, now);
    }
    if (node->NodeHeight != heightBefore) {
        const int now = node->NodeHeight;
        node->NodeHeight = heightBefore;
        SetNodeHeight(node, now);
    }
    const bool expandedNow = (node->States & vsExpanded) != 0;
    if (((before & vsExpanded) != 0) != expandedNow) {
        node->States ^= vsExpanded;
        if (expandedNow) ExpandInternal(node, false);
        else CollapseInternal(node, false);
    }
    if (init & ivsDisabled) node->States |= vsDisabled;
    if (init & ivsHasChildren) node->States |= vsHasChildren;
    if (init & ivsSelected) SetSelected(node, true);
    if (init & ivsExpanded) ExpandInternal(node, false);
}

void TBaseDataTree::InitChildren(PDataNode node) {
    if (!IsRealNode(node) || !(node->States & vsHasChildren)) return;
    uint32_t count = node->ChildCount;
    DoInitChildren(node, count);
    SetChildCount(node, count);
    if (node->ChildCount == 0) {
        node->States &= ~vsHasChildren;
        InvalidateNode(node);
    } else if (HasAuto(toAutoSort) && Header().SortColumn() != NoColumn) {
        Sort(node, Header().SortColumn(), Header().SortDirection(), false);
    }
}

void TBaseDataTree::ReinitNode(PDataNode node, bool recursive) {
    if (!IsRealNode(node)) return;
    node->States &= ~vsInitialized;
    InitNode(node);
    if (recursive) ReinitChildren(node, true);
}

void TBaseDataTree::ReinitChildren(PDataNode node, bool recursive) {
    if (!node) node = root_;
    if (node != root_) {
        InitNode(node);
        InitChildren(node);
    }
    std::vector<PDataNode> children;
    for (PDataNode c = node->FirstChild; c; c = c->NextSibling) children.push_back(c);
    for (PDataNode c : children) ReinitNode(c, recursive);
}

void TBaseDataTree::DoInitNode(PDataNode parent, PDataNode node, TDataNodeInitStates& initStates) {
    if (OnInitNode) OnInitNode(this, parent, node, initStates);
}

void TBaseDataTree::DoInitChildren(PDataNode node, uint32_t& childCount) {
    if (OnInitChildren) OnInitChildren(this, node, childCount);
}

void TBaseDataTree::DoFreeNode(PDataNode node) {
    if (OnFreeNode) OnFreeNode(this, node);
}

// ---- Deleting ------------------------------------------------------------------------------

void TBaseDataTree::CheckIterating() const {
    if (iterating_ > 0)
        throw EDataTreeError(dteDeleteWhileIterating, "Nodes cannot be deleted while the tree iterates");
}

void TBaseDataTree::ForgetNode(PDataNode node) {
    if (node == focusedNode_) focusedNode_ = nullptr;
    if (node == hotNode_) hotNode_ = nullptr;
    if (node == dropTargetNode_) dropTargetNode_ = nullptr;
    if (node == anchorNode_) anchorNode_ = nullptr;
    if (node == pendingClickNode_) pendingClickNode_ = nullptr;
    if (node == hintNode_) hintNode_ = nullptr;
    if (node == pendingEditNode_) pendingEditNode_ = nullptr;
    if (node == batchNode_) batchNode_ = nullptr;
    if (node == pressedCheckNode_) {
        pressedCheckNode_ = nullptr;
        treeStates_ &= ~tsCheckPressed;
    }
    if (node->States & vsSelected) {
        --selectedCount_;
        selectionOrderValid_ = selectedCount_ == 0;
        if (selectionOrderValid_) selectionOrder_.clear();
        selectionLost_ = true;
    }
}

void TBaseDataTree::FreeSubtree(PDataNode node) {
    // Children first; a failing DoFreeNode does not stop the others from
    // being freed, and the first failure is reported afterwards.
    std::exception_ptr failure;
    PDataNode n = node;
    while (n->FirstChild) n = n->FirstChild;
    for (;;) {
        PDataNode next = nullptr;
        if (n != node) {
            next = n->NextSibling;
            if (next)
                while (next->FirstChild) next = next->FirstChild;
            else
                next = n->Parent;
        }
        n->States |= vsDeleting;
        try {
            DoFreeNode(n);
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
        ForgetNode(n);
        FreeNodeMemory(n);
        if (!next) break;
        n = next;
    }
    if (selectionLost_ && !HasState(csDestroying)) {
        selectionLost_ = false;
        ChangePending(nullptr);
    }
    if (failure) std::rethrow_exception(failure);
}

void TBaseDataTree::DeleteNodeInternal(PDataNode node, bool reindex) {
    PDataNode parent = node->Parent;
    if (editNode_ && (editNode_ == node || HasAsParent(editNode_, node))) CancelEditNode();
    if (walk::IsShown(node, root_)) cache_->Invalidate(node, true);
    if (walk::IsVisible(node) && walk::IsExpanded(parent)) AdjustHeights(parent, -int64_t(node->TotalHeight));
    // Unlink first: whatever DoFreeNode does, the tree never points at
    // freed nodes.
    PDataNode prev = node->PrevSibling, next = node->NextSibling;
    if (prev) prev->NextSibling = next;
    else parent->FirstChild = next;
    if (next) next->PrevSibling = prev;
    else parent->LastChild = prev;
    --parent->ChildCount;
    if (reindex)
        for (uint32_t i = node->Index; next; next = next->NextSibling) next->Index = i++;
    UpdateScrollBars();
    InvalidateAll();
    FreeSubtree(node);
}

void TBaseDataTree::DeleteNode(PDataNode node, bool reindex) {
    if (!node) return;
    CheckIterating();
    if (node == root_) {
        DeleteChildren(root_);
        return;
    }
    DeleteNodeInternal(node, reindex);
}

void TBaseDataTree::DeleteChildren(PDataNode node, bool resetHasChildren) {
    if (!node) node = root_;
    CheckIterating();
    if (node->FirstChild) {
        if (editNode_ && HasAsParent(editNode_, node)) CancelEditNode();
        if (node == root_ || walk::IsShown(node, root_)) cache_->Invalidate(node, false);
        if (walk::IsExpanded(node)) AdjustHeights(node, -int64_t(VisibleChildrenHeight(node)));
        std::vector<PDataNode> children;
        for (PDataNode c = node->FirstChild; c; c = c->NextSibling) children.push_back(c);
        node->FirstChild = node->LastChild = nullptr;
        node->ChildCount = 0;
        UpdateScrollBars();
        InvalidateAll();
        std::exception_ptr failure;
        for (PDataNode c : children) {
            try {
                FreeSubtree(c);
            } catch (...) {
                if (!failure) failure = std::current_exception();
            }
        }
        if (resetHasChildren && node != root_) node->States &= ~(vsHasChildren | vsExpanded);
        if (failure) std::rethrow_exception(failure);
    } else if (resetHasChildren && node != root_) {
        node->States &= ~(vsHasChildren | vsExpanded);
        InvalidateNode(node);
    }
}

void TBaseDataTree::Clear() {
    CheckIterating();
    if (IsEditing()) CancelEditNode();
    treeStates_ |= tsClearing;
    BeginUpdate();
    ScopeGuard end([this] {
        treeStates_ &= ~tsClearing;
        EndUpdate();
    });
    cache_->Forget();
    std::vector<PDataNode> tops;
    for (PDataNode c = root_->FirstChild; c; c = c->NextSibling) tops.push_back(c);
    root_->FirstChild = root_->LastChild = nullptr;
    root_->ChildCount = 0;
    root_->TotalHeight = 0;
    offsetX_ = offsetY_ = 0;
    maxNodeWidth_ = 0;
    std::exception_ptr failure;
    for (PDataNode c : tops) {
        try {
            FreeSubtree(c);
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    }
    selectedCount_ = 0;
    selectionOrder_.clear();
    selectionOrderValid_ = true;
    treeStates_ &= ~tsCutPending;
    InvalidateAll();
    if (failure) std::rethrow_exception(failure);
}

// ---- Node properties -----------------------------------------------------------------------

bool TBaseDataTree::HasChildren(PDataNode node) const {
    return node && (node->States & vsHasChildren) != 0;
}

void TBaseDataTree::SetHasChildren(PDataNode node, bool value) {
    if (!IsRealNode(node) || HasMisc(toReadOnly)) return;
    if (value) {
        if (node->States & vsHasChildren) return;
        node->States |= vsHasChildren;
        InvalidateNode(node);
    } else {
        DeleteChildren(node, true);
    }
}

bool TBaseDataTree::Expanded(PDataNode node) const { return node && (node->States & vsExpanded) != 0; }

void TBaseDataTree::SetExpanded(PDataNode node, bool value) {
    if (!IsRealNode(node) || value == Expanded(node)) return;
    ToggleNode(node);
}

void TBaseDataTree::ToggleNode(PDataNode node) {
    if (!IsRealNode(node)) return;
    if (Expanded(node)) CollapseInternal(node, true);
    else ExpandInternal(node, true);
}

void TBaseDataTree::ExpandInternal(PDataNode node, bool notify) {
    if (node->States & vsExpanded) return;
    if (notify && !DoExpanding(node)) return;
    if ((node->States & vsHasChildren) && node->ChildCount == 0) InitChildren(node);
    if (node->States & vsExpanded) return; // initialising the children expanded it
    node->States |= vsExpanded;
    AdjustHeights(node, VisibleChildrenHeight(node));
    StructureChanged(node, false);
    InvalidateNode(node);
    if (notify) {
        DoExpanded(node);
        if (HasAuto(toAutoScrollOnExpand) && walk::IsShown(node, root_) && HandleAllocated()) {
            // Show as many children as fit, the node itself staying in view.
            const int64_t top = NodeTop(node);
            const int64_t bottom = top + node->TotalHeight;
            const int ch = ClientHeightSafe();
            if (bottom > offsetY_ + ch) SetOffsetY(int(std::min<int64_t>(top, bottom - ch)));
        }
    }
}

void TBaseDataTree::CollapseInternal(PDataNode node, bool notify) {
    if (!(node->States & vsExpanded)) return;
    if (notify && !DoCollapsing(node)) return;
    if (walk::IsShown(node, root_)) cache_->Invalidate(node, false);
    const uint32_t children = node->TotalHeight - node->NodeHeight;
    node->States &= ~vsExpanded;
    AdjustHeights(node, -int64_t(children));
    UpdateScrollBars();
    ClampOffsets();
    InvalidateAll();
    if (editNode_ && HasAsParent(editNode_, node)) EndEditNode();
    if (notify && focusedNode_ && HasAsParent(focusedNode_, node)) SetFocusedNode(node);
    if (notify) DoCollapsed(node);
}

bool TBaseDataTree::DoExpanding(PDataNode node) {
    bool allowed = true;
    if (OnExpanding) OnExpanding(this, node, allowed);
    return allowed;
}

void TBaseDataTree::DoExpanded(PDataNode node) {
    if (OnExpanded) OnExpanded(this, node);
}

bool TBaseDataTree::DoCollapsing(PDataNode node) {
    bool allowed = true;
    if (OnCollapsing) OnCollapsing(this, node, allowed);
    return allowed;
}

void TBaseDataTree::DoCollapsed(PDataNode node) {
    if (OnCollapsed) OnCollapsed(this, node);
}

void TBaseDataTree::FullExpand(PDataNode node) {
    BeginUpdate();
    ScopeGuard end([this] { EndUpdate(); });
    PDataNode stop = node ? node : root_;
    PDataNode n = node ? node : GetFirst();
    while (n) {
        InitNode(n);
        if (n->States & vsHasChildren) SetExpanded(n, true);
        // Tree order below stop, the children just made included.
        if (n->FirstChild) {
            n = n->FirstChild;
            continue;
        }
        while (n && n != stop && !n->NextSibling) n = n->Parent;
        if (!n || n == stop) break;
        n = n->NextSibling;
    }
}

void TBaseDataTree::FullCollapse(PDataNode node) {
    BeginUpdate();
    ScopeGuard end([this] { EndUpdate(); });
    PDataNode start = node ? node : root_;
    std::vector<PDataNode> expanded;
    for (PDataNode n = node ? node : root_->FirstChild; n; n = walk::NextExisting(n, start)) {
        if (n != root_ && (n->States & vsExpanded)) expanded.push_back(n);
        if (!node && n == root_) break;
    }
    // Deepest first, so each collapse sees its children already closed.
    for (auto it = expanded.rbegin(); it != expanded.rend(); ++it) SetExpanded(*it, false);
}

bool TBaseDataTree::HasAsParent(PDataNode node, PDataNode potentialParent) const {
    if (!node || !potentialParent || node == root_) return false;
    if (potentialParent == root_) return true;
    for (PDataNode p = node->Parent; p && p != root_; p = p->Parent)
        if (p == potentialParent) return true;
    return false;
}

void TBaseDataTree::DetermineHiddenChildrenFlag(PDataNode node) {
    if (!node) return;
    if (walk::FirstVisibleChild(node)) node->States &= ~vsAllChildrenHidden;
    else node->States |= vsAllChildrenHidden;
    if (node != root_) InvalidateNode(node);
}

bool TBaseDataTree::IsVisible(PDataNode node) const { return node && walk::IsVisible(node); }

void TBaseDataTree::SetVisible(PDataNode node, bool value) {
    if (!IsRealNode(node) || value == walk::IsVisible(node)) return;
    PDataNode parent = node->Parent;
    if (!value) {
        if (walk::IsShown(node, root_)) cache_->Invalidate(node, true);
        node->States &= ~vsVisible;
        if (walk::IsExpanded(parent)) AdjustHeights(parent, -int64_t(node->TotalHeight));
    } else {
        node->States |= vsVisible;
        if (walk::IsExpanded(parent)) AdjustHeights(parent, node->TotalHeight);
        if (walk::IsShown(node, root_)) cache_->Invalidate(node, true);
    }
    if (HasAuto(toAutoHideButtons) && parent != root_) {
        // A shown node, or a shown sibling after it, settles the parent's
        // button without a scan: hiding a folder's children one by one
        // stays linear.
        if (value || (node->NextSibling && walk::IsVisible(node->NextSibling))) {
            parent->States &= ~vsAllChildrenHidden;
            if (updateCount_ == 0) InvalidateNode(parent);
        } else {
            DetermineHiddenChildrenFlag(parent);
        }
    }
    // Inside an update its end does this once for every node hidden or shown.
    if (updateCount_ > 0) return;
    UpdateScrollBars();
    ClampOffsets();
    InvalidateAll();
}

bool TBaseDataTree::FullyVisible(PDataNode node) const { return walk::IsShown(node, root_); }

bool TBaseDataTree::IsDisabled(PDataNode node) const { return node && (node->States & vsDisabled) != 0; }

void TBaseDataTree::SetDisabled(PDataNode node, bool value) {
    if (!IsRealNode(node) || value == IsDisabled(node)) return;
    if (value) node->States |= vsDisabled;
    else node->States &= ~vsDisabled;
    InvalidateNode(node);
}

int TBaseDataTree::NodeHeight(PDataNode node) const { return node ? node->NodeHeight : 0; }

void TBaseDataTree::SetNodeHeight(PDataNode node, int height) {
    if (!IsRealNode(node)) return;
    height = std::clamp(height, 1, 0xFFFF);
    if (height == node->NodeHeight) return;
    if (walk::IsShown(node, root_)) cache_->Invalidate(node, false);
    const int delta = height - node->NodeHeight;
    node->NodeHeight = uint16_t(height);
    AdjustHeights(node, delta);
    UpdateScrollBars();
    InvalidateAll();
}

void TBaseDataTree::SetDefaultNodeHeight(int height) {
    defaultNodeHeight_ = std::clamp(height, 1, 0xFFFF);
}

unsigned TBaseDataTree::GetNodeLevel(PDataNode node) const {
    if (!IsRealNode(node)) return 0;
    unsigned level = 0;
    for (PDataNode p = node->Parent; p && p != root_; p = p->Parent) ++level;
    return level;
}

// ---- Walks ---------------------------------------------------------------------------------

PDataNode TBaseDataTree::GetFirst() { return GetFirstChild(root_); }

PDataNode TBaseDataTree::GetFirstChild(PDataNode node) {
    if (!node) node = root_;
    if (node != root_) {
        InitNode(node);
        if ((node->States & vsHasChildren) && node->ChildCount == 0) InitChildren(node);
    }
    PDataNode c = node->FirstChild;
    InitNode(c);
    return c;
}

PDataNode TBaseDataTree::GetLastChild(PDataNode node) {
    if (!node) node = root_;
    if (node != root_) {
        InitNode(node);
        if ((node->States & vsHasChildren) && node->ChildCount == 0) InitChildren(node);
    }
    PDataNode c = node->LastChild;
    InitNode(c);
    return c;
}

PDataNode TBaseDataTree::GetNextSibling(PDataNode node) {
    if (!IsRealNode(node)) return nullptr;
    PDataNode s = node->NextSibling;
    InitNode(s);
    return s;
}

PDataNode TBaseDataTree::GetPreviousSibling(PDataNode node) {
    if (!IsRealNode(node)) return nullptr;
    PDataNode s = node->PrevSibling;
    InitNode(s);
    return s;
}

PDataNode TBaseDataTree::GetNext(PDataNode node) {
    if (!IsRealNode(node)) return nullptr;
    InitNode(node);
    if ((node->States & vsHasChildren) && node->ChildCount == 0) InitChildren(node);
    if (PDataNode c = node->FirstChild) {
        InitNode(c);
        return c;
    }
    for (PDataNode n = node; n && n != root_; n = n->Parent)
        if (PDataNode s = n->NextSibling) {
            InitNode(s);
            return s;
        }
    return nullptr;
}

PDataNode TBaseDataTree::GetPrevious(PDataNode node) {
    if (!IsRealNode(node)) return nullptr;
    PDataNode s = node->PrevSibling;
    if (!s) {
        PDataNode p = node->Parent;
        return p == root_ ? nullptr : p;
    }
    // The last descendant of the previous sibling, children created on the way.
    for (;;) {
        InitNode(s);
        if ((s->States & vsHasChildren) && s->ChildCount == 0) InitChildren(s);
        if (!s->LastChild) return s;
        s = s->LastChild;
    }
}

namespace {

// The next shown node after n, which may itself have been hidden.
PDataNode NextShownFrom(PDataNode n, PDataNode root) {
    if (walk::IsShown(n, root)) return walk::NextShown(n, root);
    for (; n && n != root; n = n->Parent)
        if (PDataNode s = walk::NextVisibleSibling(n)) return s;
    return nullptr;
}

} // namespace

PDataNode TBaseDataTree::GetFirstVisible() {
    PDataNode n = walk::FirstShown(root_);
    while (n) {
        InitNode(n);
        if (walk::IsShown(n, root_)) return n;
        n = NextShownFrom(n, root_);
    }
    return nullptr;
}

PDataNode TBaseDataTree::GetNextVisible(PDataNode node) {
    if (!IsRealNode(node)) return nullptr;
    PDataNode n = NextShownFrom(node, root_);
    while (n) {
        InitNode(n);
        if (walk::IsShown(n, root_)) return n;
        n = NextShownFrom(n, root_);
    }
    return nullptr;
}

PDataNode TBaseDataTree::GetPreviousVisible(PDataNode node) {
    if (!IsRealNode(node)) return nullptr;
    // Only the node a step lands on can be uninitialised (expanded nodes
    // are initialised); initialising it may hide or expand it, so look again.
    for (;;) {
        if (!walk::IsShown(node, root_)) return nullptr;
        PDataNode n = walk::PrevShown(node, root_);
        if (!n || (n->States & vsInitialized)) return n;
        InitNode(n);
    }
}

PDataNode TBaseDataTree::GetLastVisible() {
    for (;;) {
        PDataNode n = walk::LastShown(root_);
        if (!n || (n->States & vsInitialized)) return n;
        InitNode(n);
    }
}

void TBaseDataTree::IterateSubtree(PDataNode node, const std::function<void(PDataNode, bool&)>& callback,
                                   bool doInit) {
    ++iterating_;
    treeStates_ |= tsIterating;
    ScopeGuard done([this] {
        if (--iterating_ == 0) treeStates_ &= ~tsIterating;
    });
    PDataNode stop = node ? node : root_;
    PDataNode n = node ? node : root_->FirstChild;
    bool abort = false;
    while (n && !abort) {
        if (doInit) {
            InitNode(n);
            if ((n->States & vsHasChildren) && n->ChildCount == 0) InitChildren(n);
        }
        callback(n, abort);
        n = walk::NextExisting(n, stop);
    }
}

} // namespace ax
