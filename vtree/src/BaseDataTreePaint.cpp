// Painting: rows, tree lines, buttons, check boxes, images, labels with
// their selection and focus, the drop mark, and the header in the frame.
#include <algorithm>

#include "NodeLayout.h"
#include "NodeWalk.h"
#include "PositionCache.h"
#include "platform/gdi/checkglyph.h"
#include "platform/gdi/uniquegdiobject.h"
#include "platform/window/windowdc.h"
#include "rtl/scopeguard.h"

namespace ax {
namespace {

// Narrows the DC's clip to a rectangle and puts the previous clip back,
// leaving the selected objects alone (the canvas owns those).
class ClipScope {
public:
    ClipScope(HDC dc, const RECT& r) : dc_(dc), saved_(CreateRectRgn(0, 0, 0, 0)) {
        had_ = GetClipRgn(dc_, saved_.Get()) == 1;
        IntersectClipRect(dc_, r.left, r.top, r.right, r.bottom);
    }
    ~ClipScope() { SelectClipRgn(dc_, had_ ? saved_.Get() : HRGN{}); }
    ClipScope(const ClipScope&) = delete;
    ClipScope& operator=(const ClipScope&) = delete;

private:
    HDC dc_;
    UniqueRegion saved_;
    bool had_ = false;
};

void FillSolid(HDC dc, const RECT& r, TColor color) {
    const UniqueBrush b(CreateSolidBrush(ColorToRGB(color)));
    FillRect(dc, &r, b.Get());
}

} // namespace

void TBaseDataTree::Paint() {
    TCanvas& canvas = Canvas();
    const RECT clip = canvas.ClipRect();
    if (updateCount_ > 0) {
        repaintPending_ = true;
        return;
    }
    painting_ = true;
    ScopeGuard done([this] { painting_ = false; });
    PrepareView();
    canvas.Brush().SetColor(Color());
    canvas.Brush().SetStyle(bsSolid);
    canvas.FillRect(clip);
    int64_t top = 0;
    PDataNode n = cache_->NodeAt(int64_t(offsetY_) + std::max<int>(clip.top, 0), &top);
    while (n && top - offsetY_ < clip.bottom) {
        PaintRow(canvas, n, int(top - offsetY_), clip);
        top += n->NodeHeight;
        n = walk::NextShown(n, root_);
    }
    PaintDropMark(canvas);
}

void TBaseDataTree::PaintRow(TCanvas& canvas, PDataNode node, int rowTop, const RECT& clip) {
    if (!HasVisibleColumns()) {
        const NodeLayout l = ComputeLayout(node, NoColumn, rowTop);
        PaintMainCell(canvas, node, l, l.cell, rowTop);
        NoteNodeWidth(l.label.right + offsetX_);
        return;
    }
    for (TColumnIndex c : Header().Columns().VisibleColumns()) {
        int left, right;
        Header().Columns().GetColumnBounds(c, left, right);
        const RECT cell{left - offsetX_, rowTop, right - offsetX_, rowTop + node->NodeHeight};
        if (cell.right <= clip.left || cell.left >= clip.right) continue;
        ClipScope scope(canvas.Handle(), cell);
        const NodeLayout l = ComputeLayout(node, c, rowTop);
        if (l.main) PaintMainCell(canvas, node, l, cell, rowTop);
        else PaintOtherCell(canvas, node, c, l, cell);
    }
}

void TBaseDataTree::PaintMainCell(TCanvas& canvas, PDataNode node, const NodeLayout& l, const RECT& cell,
                                  int rowTop) {
    (void)cell;
    if (HasPaint(toShowTreeLines)) PaintTreeLines(canvas, node, l, rowTop);
    if (!IsRectEmpty(&l.button)) PaintButton(canvas, node, l.button);
    if (!IsRectEmpty(&l.check)) PaintCheck(canvas, node, l.check);
    const int h = node->NodeHeight;
    if (l.stateIndex >= 0)
        PaintImage(canvas, stateImages_, l.stateIndex, false, l.stateImage.left,
                   rowTop + (h - stateImages_->Height()) / 2);
    if (l.imageIndex >= 0)
        PaintImage(canvas, images_, l.imageIndex, l.ghosted || (node->States & vsCutOrCopy), l.image.left,
                   rowTop + (h - images_->Height()) / 2);
    PaintLabel(canvas, node, l.column, l.label, true);
}

void TBaseDataTree::PaintOtherCell(TCanvas& canvas, PDataNode node, TColumnIndex column, const NodeLayout& l,
                                   const RECT& cell) {
    (void)cell;
    const int h = node->NodeHeight;
    if (l.stateIndex >= 0)
        PaintImage(canvas, stateImages_, l.stateIndex, false, l.stateImage.left,
                   l.cell.top + (h - stateImages_->Height()) / 2);
    if (l.imageIndex >= 0)
        PaintImage(canvas, images_, l.imageIndex, l.ghosted, l.image.left, l.cell.top + (h - images_->Height()) / 2);
    PaintLabel(canvas, node, column, l.label, false);
}

void TBaseDataTree::PaintTreeLines(TCanvas& canvas, PDataNode node, const NodeLayout& l, int rowTop) {
    HDC dc = canvas.Handle();
    const COLORREF color = ColorToRGB(clBtnShadow);
    const int showRoot = HasPaint(toShowRoot) ? 1 : 0;
    const int h = node->NodeHeight;
    const int mid = rowTop + h / 2;
    const int firstCell = l.cell.left + margin_;
    // Dots on even tree rows and columns, so the pattern holds while scrolling.
    auto vertical = [&](int x, int y1, int y2) {
        for (int y = y1; y < y2; ++y)
            if (((y + offsetY_) & 1) == 0) SetPixel(dc, x, y, color);
    };
    auto horizontal = [&](int x1, int x2, int y) {
        for (int x = x1; x < x2; ++x)
            if (((x + offsetX_) & 1) == 0) SetPixel(dc, x, y, color);
    };
    const int own = int(l.level) + showRoot - 1;
    if (own >= 0) {
        const int x = firstCell + own * indent_ + indent_ / 2;
        const bool above = node->Parent != root_ || walk::PrevVisibleSibling(node);
        vertical(x, above ? rowTop : mid, mid);
        if (walk::NextVisibleSibling(node)) vertical(x, mid, rowTop + h);
        horizontal(x, firstCell + (own + 1) * indent_, mid);
    }
    // A line passes down for every ancestor that has a sibling below it.
    int level = int(l.level) - 1;
    for (PDataNode a = node->Parent; a && a != root_; a = a->Parent, --level) {
        const int cell = level + showRoot - 1;
        if (cell < 0) break;
        if (walk::NextVisibleSibling(a)) vertical(firstCell + cell * indent_ + indent_ / 2, rowTop, rowTop + h);
    }
}

void TBaseDataTree::PaintButton(TCanvas& canvas, PDataNode node, const RECT& cellRect) {
    HDC dc = canvas.Handle();
    const int kGlyph = 2, kClosed = 1, kOpened = 2;
    if (HTHEME theme = Theme(ttTreeView);
        theme && SUCCEEDED(DrawThemeBackground(theme, dc, kGlyph, (node->States & vsExpanded) ? kOpened : kClosed,
                                               &cellRect, nullptr)))
        return;
    const int x = cellRect.left + (cellRect.width() - kButtonSize) / 2;
    const int y = cellRect.top + (cellRect.height() - kButtonSize) / 2;
    const RECT box{x, y, x + kButtonSize, y + kButtonSize};
    FillSolid(dc, box, clWindow);
    const UniqueBrush frame(CreateSolidBrush(ColorToRGB(clBtnShadow)));
    FrameRect(dc, &box, frame.Get());
    const RECT minus{x + 2, y + 4, x + kButtonSize - 2, y + 5};
    FillSolid(dc, minus, clWindowText);
    if (!(node->States & vsExpanded)) {
        const RECT plus{x + 4, y + 2, x + 5, y + kButtonSize - 2};
        FillSolid(dc, plus, clWindowText);
    }
}

void TBaseDataTree::PaintCheck(TCanvas& canvas, PDataNode node, const RECT& r) {
    if (PaintThemedCheck(canvas, node, r)) return;
    const int x = r.left + (r.width() - kCheckBoxSize) / 2;
    const int y = r.top + (r.height() - kCheckBoxSize) / 2;
    RECT box{x, y, x + kCheckBoxSize, y + kCheckBoxSize};
    const TCheckState s = UnpressedCheckState(node->CheckState);
    const bool radio = node->CheckType == ctRadioButton;
    // A mixed radio button shows checked here.
    const CheckMark mark = s == csUncheckedNormal       ? CheckMark::Unchecked
                           : s == csMixedNormal && !radio ? CheckMark::Grayed
                                                          : CheckMark::Checked;
    UINT flags = node->CheckType == ctButton ? UINT(DFCS_BUTTONPUSH) : CheckGlyphState(radio, mark, false);
    // The dark box is the pressed box's face at rest.
    if ((node->CheckState & 1) || checkImageKind_ == ckDarkCheck) flags |= DFCS_PUSHED;
    if (node->States & vsDisabled) flags |= DFCS_INACTIVE;
    DrawFrameControl(canvas.Handle(), &box, DFC_BUTTON, flags);
}

// Part and state ids of the theme's "button" class: quartets of normal,
// hot, pressed and disabled; unchecked, checked, then mixed.
bool TBaseDataTree::PaintThemedCheck(TCanvas& canvas, PDataNode node, const RECT& r) {
    HTHEME theme = Theme(ttButton);
    if (!theme) return false;
    const bool radio = node->CheckType == ctRadioButton;
    const TCheckState s = UnpressedCheckState(node->CheckState);
    int part = radio ? 2 : 3, state = 1;
    if (s == csCheckedNormal || (s == csMixedNormal && radio)) state = 5;
    else if (s == csMixedNormal) state = 9;
    if (node->CheckType == ctButton) part = 1, state = 1;
    if (node->States & vsDisabled) state += 3;
    else if (node->CheckState & 1) state += 2;
    else if (node == hotNode_) state += 1;
    return SUCCEEDED(DrawThemeBackground(theme, canvas.Handle(), part, state, &r, nullptr));
}

void TBaseDataTree::PaintImage(TCanvas& canvas, TImageList* list, int index, bool ghosted, int x, int y) {
    if (!list || index < 0 || index >= list->Count()) return;
    const bool blend = ghosted && (Focused() || HasPaint(toGhostedIfUnfocused));
    ImageList_Draw(list->Handle(), index, canvas.Handle(), x, y, UINT(ILD_TRANSPARENT) | (blend ? UINT(ILD_BLEND50) : 0u));
}

void TBaseDataTree::PaintLabel(TCanvas& canvas, PDataNode node, TColumnIndex column, const RECT& label,
                               bool main) {
    const bool focused = Focused();
    const bool dropTarget = main && node == dropTargetNode_ && dropMode_ == dmOnNode;
    const bool highlighted = main && (Selected(node) || dropTarget);
    canvas.Font().Assign(&Font());
    if (node->States & vsDisabled) canvas.Font().SetColor(clGrayText);
    if (HasPaint(toHotTrack) && node == hotNode_) canvas.Font().SetStyle(canvas.Font().Style() | fsUnderline);
    if (highlighted) {
        const bool active = focused || dropTarget;
        canvas.Brush().SetStyle(bsSolid);
        canvas.Brush().SetColor(active ? clHighlight : clBtnFace);
        canvas.FillRect(label);
        canvas.Font().SetColor(active ? clHighlightText : clWindowText);
    }
    canvas.Brush().SetStyle(bsClear);
    DoPaintNode(canvas, node, column, label);
    canvas.Brush().SetStyle(bsSolid);
    if (main && node == focusedNode_ && focused) canvas.DrawFocusRect(label);
}

void TBaseDataTree::PaintDropMark(TCanvas& canvas) {
    if (!dropTargetNode_ || !HasPaint(toShowDropmark) || (dropMode_ != dmAbove && dropMode_ != dmBelow)) return;
    if (!walk::IsShown(dropTargetNode_, root_)) return;
    const RECT label = GetDisplayRect(dropTargetNode_, NoColumn, true);
    const int y = dropMode_ == dmAbove ? label.top : label.bottom - 2;
    FillSolid(canvas.Handle(), RECT{label.left, y, label.right, y + 2}, clHighlight);
}

RECT TBaseDataTree::HeaderRect() {
    if (!HandleAllocated() || !Header().Showing()) return {};
    RECT window{};
    GetWindowRect(Handle(), window);
    POINT origin{0, 0};
    ::ax::ClientToScreen(Handle(), origin);
    const int left = origin.x - window.left, top = origin.y - window.top;
    // Over the vertical bar too: the bar starts below the header, and
    // nothing else paints the strip above it.
    int right = left + ClientWidth();
    if (GetWindowLongPtr(Handle(), GWL_STYLE) & WS_VSCROLL) right += GetSystemMetrics(SM_CXVSCROLL);
    return {left, top - Header().Height(), right, top};
}

void TBaseDataTree::PaintHeaderNow() {
    if (!HandleAllocated() || !Header().Showing() || updateCount_ > 0) return;
    const RECT r = HeaderRect();
    if (IsRectEmpty(&r)) return;
    const WindowDC dc = WindowDC::WholeWindow(Handle());
    if (!dc) return;
    Header().Paint(dc.Get(), r);
}

} // namespace ax
