// Sorting children through DoCompareNodes.
#include <vector>

#include "NodeWalk.h"
#include "PositionCache.h"
#include "rtl/mergesort.h"
#include "rtl/scopeguard.h"
#include "vtree/BaseDataTree.h"

namespace ax {

int TBaseDataTree::DoCompareNodes(PDataNode node1, PDataNode node2, TColumnIndex column) {
    int result = 0;
    if (OnCompareNodes) OnCompareNodes(this, node1, node2, column, result);
    return result;
}

void TBaseDataTree::Sort(PDataNode node, TColumnIndex column, TSortDirection direction, bool doInit) {
    if (!node) node = root_;
    if (doInit && node != root_) {
        InitNode(node);
        if ((node->States & vsHasChildren) && node->ChildCount == 0) InitChildren(node);
    }
    if (node->ChildCount < 2) return;
    std::vector<PDataNode> children;
    children.reserve(node->ChildCount);
    for (PDataNode c = node->FirstChild; c; c = c->NextSibling) {
        if (doInit) InitNode(c);
        children.push_back(c);
    }
    treeStates_ |= tsSorting;
    ScopeGuard done([this] { treeStates_ &= ~tsSorting; });
    const bool descending = direction == sdDescending;
    SafeMergeSort(children, [&](PDataNode a, PDataNode b) {
        const int r = DoCompareNodes(a, b, column);
        return descending ? r > 0 : r < 0;
    });
    // The comparisons are done; only now is the order changed.
    if (node == root_) cache_->Reset();
    else if (walk::IsShown(node, root_) && walk::IsExpanded(node)) cache_->Invalidate(node, false);
    PDataNode prev = nullptr;
    uint32_t index = 0;
    for (PDataNode c : children) {
        c->PrevSibling = prev;
        c->NextSibling = nullptr;
        c->Index = index++;
        if (prev) prev->NextSibling = c;
        prev = c;
    }
    node->FirstChild = children.front();
    node->LastChild = children.back();
    InvalidateAll();
}

void TBaseDataTree::SortTree(TColumnIndex column, TSortDirection direction, bool doInit) {
    // Every level whose children exist; no children are made for sorting.
    BeginUpdate();
    ScopeGuard end([this] { EndUpdate(); });
    std::vector<PDataNode> parents{root_};
    for (PDataNode n = root_->FirstChild; n; n = walk::NextExisting(n, root_))
        if (n->ChildCount > 1) parents.push_back(n);
    for (PDataNode p : parents) {
        if (doInit)
            for (PDataNode c = p->FirstChild; c; c = c->NextSibling) InitNode(c);
        Sort(p, column, direction, false);
    }
}

void TBaseDataTree::SortSettingsChanged() {
    Header().Invalidate();
    if (HasAuto(toAutoSort) && Header().SortColumn() != NoColumn && !(treeStates_ & tsSorting))
        SortTree(Header().SortColumn(), Header().SortDirection(), false);
}

} // namespace ax
