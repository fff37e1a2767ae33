// The view: scroll positions and bars, repaint scheduling, the layout of a
// node's cell, hit testing and display rectangles.
#include <algorithm>
#include <climits>

#include "NodeLayout.h"
#include "NodeWalk.h"
#include "PositionCache.h"
#include "TreeMessages.h"
#include "stdctrls/common.h"

namespace ax {

int TBaseDataTree::ClientHeightSafe() { return HandleAllocated() ? ClientHeight() : Height(); }
int TBaseDataTree::ClientWidthSafe() { return HandleAllocated() ? ClientWidth() : Width(); }

int TBaseDataTree::RangeY() const { return int(std::min<uint64_t>(root_->TotalHeight, INT_MAX)); }

int TBaseDataTree::RangeX() const {
    return HasVisibleColumns() ? Header().Columns().TotalWidth() : maxNodeWidth_;
}

bool TBaseDataTree::HasVisibleColumns() const { return !Header().Columns().VisibleColumns().empty(); }

TColumnIndex TBaseDataTree::MainColumnIndex() const {
    if (!HasVisibleColumns()) return NoColumn;
    const TDataTreeColumns& columns = Header().Columns();
    const TColumnIndex main = Header().MainColumn();
    if (columns.IsValidColumn(main) && columns.Items(main)->Visible()) return main;
    return columns.GetFirstVisibleColumn();
}

void TBaseDataTree::ColumnExtent(TColumnIndex column, int& left, int& right) const {
    if (HasVisibleColumns() && column >= 0 && Header().Columns().GetColumnBounds(column, left, right)) return;
    left = 0;
    right = std::max(RangeX(), offsetX_ + (HandleAllocated() ? const_cast<TBaseDataTree*>(this)->ClientWidth()
                                                            : Width()));
}

void TBaseDataTree::UpdateScrollBars() {
    if (!HandleAllocated()) return;
    if (updateCount_ > 0) {
        scrollBarsPending_ = true;
        return;
    }
    if (painting_) {
        // The frame cannot change under a paint; do it right after.
        if (!scrollBarsPending_) PostMessage(Handle(), kTreeUpdateScrollBars);
        scrollBarsPending_ = true;
        return;
    }
    if (updatingScrollBars_) return;
    updatingScrollBars_ = true;
    scrollBarsPending_ = false;
    // Showing one bar shrinks the client, which may call for the other.
    for (int pass = 0; pass < 3; ++pass) {
        const int ch = ClientHeight(), cw = ClientWidth();
        SCROLLINFO v;
        v.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        v.nMin = 0;
        v.nMax = std::max(RangeY() - 1, 0);
        v.nPage = UINT(std::max(ch, 0));
        v.nPos = offsetY_;
        SCROLLINFO h = v;
        h.nMax = std::max(RangeX() - 1, 0);
        h.nPage = UINT(std::max(cw, 0));
        h.nPos = offsetX_;
        // Setting a bar repaints the frame; only a change is worth that.
        auto same = [](const SCROLLINFO& a, const SCROLLINFO& b) {
            return a.nMax == b.nMax && a.nPage == b.nPage && a.nPos == b.nPos;
        };
        if (!barsSet_ || !same(v, lastVertical_)) SetScrollInfo(Handle(), SB_VERT, v, TRUE);
        if (!barsSet_ || !same(h, lastHorizontal_)) SetScrollInfo(Handle(), SB_HORZ, h, TRUE);
        lastVertical_ = v;
        lastHorizontal_ = h;
        barsSet_ = true;
        if (ClientHeight() == ch && ClientWidth() == cw) break;
    }
    updatingScrollBars_ = false;
    ClampOffsets();
}

void TBaseDataTree::ClampOffsets() {
    const int maxY = std::max(0, RangeY() - ClientHeightSafe());
    const int maxX = std::max(0, RangeX() - ClientWidthSafe());
    if (offsetY_ > maxY) SetOffsetY(maxY);
    if (offsetX_ > maxX) SetOffsetX(maxX);
}

void TBaseDataTree::SetOffsetY(int value) {
    value = std::clamp(value, 0, std::max(0, RangeY() - ClientHeightSafe()));
    if (value == offsetY_) return;
    offsetY_ = value;
    HideNodeHint();
    if (IsEditing()) EndEditNode();
    if (HandleAllocated() && updateCount_ == 0 && !painting_) {
        SetScrollPos(Handle(), SB_VERT, value, TRUE);
        lastVertical_.nPos = value;
    }
    InvalidateAll();
}

void TBaseDataTree::SetOffsetX(int value) {
    value = std::clamp(value, 0, std::max(0, RangeX() - ClientWidthSafe()));
    if (value == offsetX_) return;
    offsetX_ = value;
    HideNodeHint();
    if (IsEditing()) EndEditNode();
    if (HandleAllocated() && updateCount_ == 0 && !painting_) {
        SetScrollPos(Handle(), SB_HORZ, value, TRUE);
        lastHorizontal_.nPos = value;
    }
    InvalidateAll();
    Header().Invalidate();
}

void TBaseDataTree::ScrollByLines(int lines) { SetOffsetY(offsetY_ + lines * defaultNodeHeight_); }

void TBaseDataTree::NoteNodeWidth(int right) {
    if (right <= maxNodeWidth_ || HasVisibleColumns()) return;
    maxNodeWidth_ = right;
    UpdateScrollBars();
}

void TBaseDataTree::InvalidateAll() {
    if (!HandleAllocated()) return;
    if (updateCount_ > 0) {
        repaintPending_ = true;
        return;
    }
    if (painting_) return;
    InvalidateRect(Handle(), nullptr, FALSE);
}

RECT TBaseDataTree::InvalidateNode(PDataNode node) {
    if (!IsRealNode(node) || !HandleAllocated() || !walk::IsShown(node, root_)) return {};
    const int top = NodeTop(node) - offsetY_;
    const RECT r{0, top, ClientWidth(), top + node->NodeHeight};
    if (updateCount_ > 0) {
        repaintPending_ = true;
        return r;
    }
    if (!painting_ && r.bottom > 0 && r.top < ClientHeight()) InvalidateRect(Handle(), &r, FALSE);
    return r;
}

int TBaseDataTree::NodeTop(PDataNode node) { return int(cache_->TopOf(node)); }

PDataNode TBaseDataTree::TopNode() {
    int64_t top;
    return cache_->NodeAt(offsetY_, &top);
}

void TBaseDataTree::SetTopNode(PDataNode node) {
    if (!IsRealNode(node)) return;
    std::vector<PDataNode> chain;
    for (PDataNode p = node->Parent; p && p != root_; p = p->Parent) chain.push_back(p);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) SetExpanded(*it, true);
    if (!walk::IsShown(node, root_)) return;
    SetOffsetY(NodeTop(node));
}

bool TBaseDataTree::ScrollIntoView(PDataNode node, bool center, bool horizontally) {
    if (!IsRealNode(node)) return false;
    std::vector<PDataNode> chain;
    for (PDataNode p = node->Parent; p && p != root_; p = p->Parent) chain.push_back(p);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) SetExpanded(*it, true);
    if (!walk::IsShown(node, root_)) return false;
    const int oldY = offsetY_, oldX = offsetX_;
    const int top = NodeTop(node), h = node->NodeHeight, ch = ClientHeightSafe();
    int y = offsetY_;
    if (center) y = top + h / 2 - ch / 2;
    else if (top < y) y = top;
    else if (top + h > y + ch) y = std::min(top, top + h - ch);
    SetOffsetY(y);
    if (horizontally) {
        InitNode(node);
        const NodeLayout layout = ComputeLayout(node, MainColumnIndex(), top - offsetY_);
        const int left = layout.label.left + offsetX_, right = layout.label.right + offsetX_;
        const int cw = ClientWidthSafe();
        int x = offsetX_;
        if (center) x = (left + right) / 2 - cw / 2;
        else {
            if (right > x + cw) x = right - cw;
            if (left < x) x = left;
        }
        SetOffsetX(x);
    }
    return oldY != offsetY_ || oldX != offsetX_;
}

bool TBaseDataTree::ShowsButton(PDataNode node) const {
    if (!HasPaint(toShowButtons) || !(node->States & vsHasChildren) || (node->States & vsAllChildrenHidden))
        return false;
    if (HasAuto(toAutoHideButtons) && node->ChildCount > 0 && !walk::FirstVisibleChild(node)) return false;
    return true;
}

TBaseDataTree::NodeLayout TBaseDataTree::ComputeLayout(PDataNode node, TColumnIndex column, int rowTop) {
    NodeLayout l;
    l.column = column;
    const int bottom = rowTop + node->NodeHeight;
    int left, right;
    ColumnExtent(column, left, right);
    left -= offsetX_;
    right -= offsetX_;
    l.cell = {left, rowTop, right, bottom};
    l.main = !HasVisibleColumns() || column == MainColumnIndex() || column == NoColumn;
    int x = left + margin_;
    if (l.main) {
        l.level = GetNodeLevel(node);
        const int cells = int(l.level) + (HasPaint(toShowRoot) ? 1 : 0);
        const int content = x + cells * indent_;
        l.indent = {left, rowTop, content, bottom};
        if (cells > 0 && ShowsButton(node)) l.button = {content - indent_, rowTop, content, bottom};
        x = content;
        if (HasMisc(toCheckSupport) && node->CheckType != ctNone) {
            l.check = {x, rowTop, x + kCheckSlotWidth, bottom};
            x += kCheckSlotWidth;
        }
    }
    if (stateImages_) {
        bool ghosted = false;
        int index = -1;
        DoGetImageIndex(node, ikState, column, ghosted, index);
        if (index >= 0) {
            l.stateIndex = index;
            l.stateImage = {x, rowTop, x + stateImages_->Width(), bottom};
            x += stateImages_->Width() + 2;
        }
    }
    if (images_) {
        bool ghosted = false;
        int index = -1;
        const TDTImageKind kind = Selected(node) ? ikSelected : ikNormal;
        DoGetImageIndex(node, kind, column, ghosted, index);
        if (index < 0 && kind == ikSelected) {
            ghosted = false;
            DoGetImageIndex(node, ikNormal, column, ghosted, index);
        }
        if (index >= 0) {
            l.imageIndex = index;
            l.ghosted = ghosted;
            l.image = {x, rowTop, x + images_->Width(), bottom};
            x += images_->Width() + 2;
        }
    }
    const int width = DoGetNodeWidth(node, column) + 2 * textMargin_;
    l.label = {x, rowTop, x + width, bottom};
    if (!l.main && column >= 0 && Header().Columns().IsValidColumn(column)) {
        const TAlignment a = Header().Columns().Items(column)->Alignment();
        const int room = right - x;
        if (a == taRightJustify && width < room) OffsetRect(&l.label, room - width, 0);
        else if (a == taCenter && width < room) OffsetRect(&l.label, (room - width) / 2, 0);
    }
    return l;
}

void TBaseDataTree::PrepareView() {
    // Nodes are initialised when they come into view. Initialising may
    // hide, expand or resize nodes, so a pass that changed the layout
    // starts over; every pass initialises at least one node.
    for (;;) {
        const uint64_t generation = cache_->Generation();
        const int maxY = std::max(0, RangeY() - ClientHeightSafe());
        if (offsetY_ > maxY) offsetY_ = maxY;
        int64_t top;
        PDataNode n = cache_->NodeAt(offsetY_, &top);
        const int64_t bottom = int64_t(offsetY_) + ClientHeightSafe();
        bool restart = false;
        while (n && top < bottom) {
            if (!(n->States & vsInitialized)) {
                InitNode(n);
                if (cache_->Generation() != generation) {
                    restart = true;
                    break;
                }
            }
            top += n->NodeHeight;
            n = walk::NextShown(n, root_);
        }
        if (!restart) return;
    }
}

PDataNode TBaseDataTree::InternalGetNodeAt(int x, int y, bool relative, int& nodeTop) {
    (void)x;
    const int64_t absY = relative ? int64_t(y) + offsetY_ : y;
    int64_t top = 0;
    PDataNode n = cache_->NodeAt(absY, &top);
    nodeTop = n ? int(relative ? top - offsetY_ : top) : 0;
    return n;
}

void TBaseDataTree::GetHitTestInfoAt(int x, int y, bool relative, THitInfo& hit) {
    hit = THitInfo{};
    const int cx = relative ? x : x - offsetX_, cy = relative ? y : y - offsetY_;
    const int cw = ClientWidthSafe(), ch = ClientHeightSafe();
    if (cy < 0) hit.HitPositions |= hiAbove;
    if (cy >= ch) hit.HitPositions |= hiBelow;
    if (cx < 0) hit.HitPositions |= hiToLeft;
    if (cx >= cw) hit.HitPositions |= hiToRight;
    if (hit.HitPositions) return;
    if (HasVisibleColumns()) hit.HitColumn = Header().Columns().ColumnAt(cx + offsetX_);
    int top = 0;
    PDataNode node = InternalGetNodeAt(cx, cy, true, top);
    if (!node) {
        hit.HitPositions = hiNowhere;
        return;
    }
    InitNode(node);
    if (!walk::IsShown(node, root_)) {
        hit.HitPositions = hiNowhere;
        return;
    }
    hit.HitNode = node;
    hit.HitPositions = hiOnItem;
    if (HasVisibleColumns() && hit.HitColumn == NoColumn) {
        hit.HitPositions |= hiOnItemRight;
        return;
    }
    const NodeLayout l = ComputeLayout(node, HasVisibleColumns() ? hit.HitColumn : NoColumn, top);
    const POINT p{cx, cy};
    auto in = [&p](const RECT& r) { return !IsRectEmpty(&r) && PtInRect(&r, p); };
    if (in(l.button)) hit.HitPositions |= hiOnItemButton;
    else if (in(l.check)) hit.HitPositions |= hiOnItemCheckbox;
    else if (in(l.stateImage)) hit.HitPositions |= hiOnStateIcon;
    else if (in(l.image)) hit.HitPositions |= hiOnNormalIcon;
    else if (in(l.label)) hit.HitPositions |= hiOnItemLabel;
    else if (cx >= l.label.right) hit.HitPositions |= hiOnItemRight;
    else if (l.main && in(l.indent)) hit.HitPositions |= hiOnItemIndent;
    else hit.HitPositions |= hiOnItemLeft;
}

RECT TBaseDataTree::GetDisplayRect(PDataNode node, TColumnIndex column, bool textOnly) {
    if (!IsRealNode(node) || !walk::IsShown(node, root_)) return {};
    const int top = NodeTop(node) - offsetY_;
    if (!textOnly) {
        int left = 0, right = 0;
        if (column == NoColumn || !HasVisibleColumns()) {
            ColumnExtent(NoColumn, left, right);
        } else {
            ColumnExtent(column, left, right);
        }
        return {left - offsetX_, top, right - offsetX_, top + node->NodeHeight};
    }
    InitNode(node);
    const TColumnIndex c = (column == NoColumn || !HasVisibleColumns()) ? MainColumnIndex() : column;
    return ComputeLayout(node, c, top).label;
}

int TBaseDataTree::GetMaxColumnWidth(TColumnIndex column) {
    int widest = 0;
    for (PDataNode n = GetFirstVisible(); n; n = GetNextVisible(n)) {
        const NodeLayout l = ComputeLayout(n, column, 0);
        widest = std::max(widest, int(l.label.right - l.cell.left));
    }
    return widest;
}

} // namespace ax
