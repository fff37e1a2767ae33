// Selection, focus and the update brackets.
//
// Selected nodes carry vsSelected and are counted; their tree order is
// worked out only when someone walks them (one pass over the existing
// nodes, stopping once all are found) and kept until the selection changes
// in a way that could reorder it.
#include "NodeWalk.h"
#include "vtree/BaseDataTree.h"

namespace ax {

bool TBaseDataTree::Selected(PDataNode node) const { return node && (node->States & vsSelected) != 0; }

const std::vector<PDataNode>& TBaseDataTree::SelectionInTreeOrder() {
    if (!selectionOrderValid_) {
        selectionOrder_.clear();
        selectionOrder_.reserve(size_t(selectedCount_));
        for (PDataNode n = root_->FirstChild; n && selectionOrder_.size() < selectedCount_;
             n = walk::NextExisting(n, root_))
            if (n->States & vsSelected) selectionOrder_.push_back(n);
        selectionOrderValid_ = true;
        selectionCursor_ = 0;
    }
    return selectionOrder_;
}

PDataNode TBaseDataTree::GetFirstSelected() {
    const auto& order = SelectionInTreeOrder();
    selectionCursor_ = 0;
    return order.empty() ? nullptr : order.front();
}

PDataNode TBaseDataTree::GetNextSelected(PDataNode node) {
    if (!node) return nullptr;
    const auto& order = SelectionInTreeOrder();
    size_t i = selectionCursor_;
    if (i >= order.size() || order[i] != node) {
        i = 0;
        while (i < order.size() && order[i] != node) ++i;
        if (i == order.size()) {
            // Not selected (any more): the next selected node after it in tree order.
            for (PDataNode n = walk::NextExisting(node, root_); n; n = walk::NextExisting(n, root_))
                if (n->States & vsSelected) return n;
            return nullptr;
        }
    }
    if (i + 1 >= order.size()) return nullptr;
    selectionCursor_ = i + 1;
    return order[i + 1];
}

void TBaseDataTree::AddToSelection(PDataNode node) {
    node->States |= vsSelected;
    ++selectedCount_;
    if (selectionOrderValid_ && selectedCount_ == 1) selectionOrder_.assign(1, node);
    else selectionOrderValid_ = false;
}

void TBaseDataTree::RemoveFromSelection(PDataNode node) {
    node->States &= ~vsSelected;
    --selectedCount_;
    if (selectedCount_ == 0) {
        selectionOrder_.clear();
        selectionOrderValid_ = true;
    } else if (selectionOrderValid_) {
        std::erase(selectionOrder_, node);
    }
}

bool TBaseDataTree::SelectionAllowed(PDataNode node) {
    if (selectedCount_ == 0) return true;
    const bool level = HasSelection(toLevelSelectConstraint), sibling = HasSelection(toSiblingSelectConstraint);
    if (!level && !sibling) return true;
    PDataNode other = SelectionInTreeOrder().front();
    if (sibling && other->Parent != node->Parent) return false;
    if (level && GetNodeLevel(other) != GetNodeLevel(node)) return false;
    return true;
}

void TBaseDataTree::SetSelected(PDataNode node, bool value) {
    if (!IsRealNode(node) || value == Selected(node)) return;
    if (value) {
        if (!HasSelection(toMultiSelect)) ClearSelectionInternal(false);
        else if (!SelectionAllowed(node)) return;
        AddToSelection(node);
    } else {
        RemoveFromSelection(node);
    }
    InvalidateNode(node);
    ChangePending(node);
}

void TBaseDataTree::ClearSelection() { ClearSelectionInternal(true); }

void TBaseDataTree::ClearSelectionInternal(bool notify) {
    if (selectedCount_ == 0) return;
    const auto& order = SelectionInTreeOrder();
    const bool many = order.size() > 64;
    for (PDataNode n : order) {
        n->States &= ~vsSelected;
        if (!many) InvalidateNode(n);
    }
    if (many) InvalidateAll();
    selectionOrder_.clear();
    selectionOrderValid_ = true;
    selectedCount_ = 0;
    if (notify) ChangePending(nullptr);
}

void TBaseDataTree::SelectRange(PDataNode from, PDataNode to) {
    if (!from || !to) return;
    if (ScreenNodeAbove(to, from)) std::swap(from, to);
    for (PDataNode n = from; n; n = GetNextVisible(n)) {
        if (!Selected(n) && SelectionAllowed(n)) {
            AddToSelection(n);
            ChangePending(n);
        }
        if (n == to) break;
    }
    InvalidateAll();
}

bool TBaseDataTree::ScreenNodeAbove(PDataNode a, PDataNode b) { return NodeTop(a) < NodeTop(b); }

void TBaseDataTree::ChangePending(PDataNode node) {
    if (updateCount_ > 0) {
        changePending_ = true;
        return;
    }
    if (changeBatch_ > 0) {
        batchPending_ = true;
        batchNode_ = node;
        return;
    }
    DoChange(node);
}

void TBaseDataTree::DoChange(PDataNode node) {
    if (OnChange) OnChange(this, node);
}

// ---- Focus ---------------------------------------------------------------------------------

bool TBaseDataTree::DoFocusChanging(PDataNode oldNode, PDataNode newNode, TColumnIndex oldColumn,
                                    TColumnIndex newColumn) {
    bool allowed = true;
    if (OnFocusChanging) OnFocusChanging(this, oldNode, newNode, oldColumn, newColumn, allowed);
    return allowed;
}

void TBaseDataTree::DoFocusChange(PDataNode node, TColumnIndex column) {
    if (OnFocusChanged) OnFocusChanged(this, node, column);
}

void TBaseDataTree::SetFocusedNode(PDataNode node) {
    if (node == root_) node = nullptr;
    if (node == focusedNode_) return;
    if (!DoFocusChanging(focusedNode_, node, focusedColumn_, focusedColumn_)) return;
    if (IsEditing()) EndEditNode();
    PDataNode old = focusedNode_;
    focusedNode_ = node;
    InvalidateNode(old);
    if (node) {
        if (HasAuto(toAutoExpand) && (node->States & vsHasChildren)) SetExpanded(node, true);
        ScrollIntoView(node, false, false);
        InvalidateNode(node);
    }
    DoFocusChange(node, focusedColumn_);
    ChangePending(node);
}

void TBaseDataTree::SetFocusedColumn(TColumnIndex column) {
    if (column == focusedColumn_) return;
    if (!DoFocusChanging(focusedNode_, focusedNode_, focusedColumn_, column)) return;
    focusedColumn_ = column;
    InvalidateNode(focusedNode_);
    DoFocusChange(focusedNode_, column);
}

// ---- Update brackets -----------------------------------------------------------------------

void TBaseDataTree::DoUpdating(TDTUpdateState state) {
    if (OnUpdating) OnUpdating(this, state);
}

void TBaseDataTree::BeginUpdate() {
    if (updateCount_++ == 0) {
        treeStates_ |= tsUpdating;
        DoUpdating(usBegin);
    }
}

void TBaseDataTree::EndUpdate() {
    if (updateCount_ == 0) return;
    if (--updateCount_ > 0) return;
    treeStates_ &= ~tsUpdating;
    repaintPending_ = false;
    UpdateScrollBars();
    ClampOffsets();
    InvalidateAll();
    if (changePending_) {
        changePending_ = false;
        DoChange(nullptr);
    }
    DoUpdating(usEnd);
}

} // namespace ax
