// The header's code: main and sort columns, hit tests of columns and
// dividers, the mouse (pressing, dragging a divider or a column, clicks),
// and painting the columns in the non-client area.
#include "vtree/DTHeader.h"

#include <algorithm>
#include <cstdlib>

#include "framework/streaming.h"
#include "platform/gdi/scopedselection.h"
#include "platform/gdi/uniquegdiobject.h"
#include "vtree/BaseDataTree.h"

namespace ax {

TDTHeader::TDTHeader(TBaseDataTree* owner) : owner_(owner), columns_(std::make_unique<TDataTreeColumns>(this)) {}

TDTHeader::~TDTHeader() = default;

TPersistent* TDTHeader::GetOwner() const { return owner_; }

TColumnIndex TDTHeader::MainColumn() const {
    if (columns_->Count() == 0) return NoColumn;
    return columns_->IsValidColumn(mainColumn_) ? mainColumn_ : 0;
}

void TDTHeader::SetMainColumn(TColumnIndex column) {
    if (column == mainColumn_) return;
    mainColumn_ = column;
    if (owner_) owner_->HeaderChanged(false);
}

void TDTHeader::SetSortColumn(TColumnIndex column) {
    if (column == sortColumn_) return;
    sortColumn_ = column;
    if (owner_) owner_->SortSettingsChanged();
}

void TDTHeader::SetSortDirection(TSortDirection direction) {
    if (direction == sortDirection_) return;
    sortDirection_ = direction;
    if (owner_) owner_->SortSettingsChanged();
}

void TDTHeader::SetHeight(int height) {
    height = std::max(height, 0);
    if (height == height_) return;
    height_ = height;
    if (owner_) owner_->HeaderChanged(true);
}

void TDTHeader::SetOptions(THeaderOptions options) {
    if (options == options_) return;
    const bool frame = ((options ^ options_) & hoVisible) != 0;
    options_ = options;
    if (!owner_) return;
    if (frame) owner_->HeaderChanged(true);
    else Invalidate();
}

bool TDTHeader::Showing() const { return (options_ & hoVisible) && columns_->Count() > 0 && height_ > 0; }

void TDTHeader::Invalidate() {
    if (owner_) owner_->PaintHeaderNow();
}

void TDTHeader::ColumnDeleting(TColumnIndex column) {
    auto shift = [column](TColumnIndex& c) {
        if (c == column) c = NoColumn;
        else if (c > column) --c;
    };
    shift(sortColumn_);
    if (mainColumn_ == column) mainColumn_ = 0;
    else if (mainColumn_ > column) --mainColumn_;
    if (trackColumn_ != NoColumn) CancelTracking();
}

TColumnIndex TDTHeader::ColumnAt(POINT p, bool* onDivider) const {
    if (onDivider) *onDivider = false;
    const int x = p.x + (owner_ ? owner_->OffsetX() : 0);
    const auto& visible = columns_->VisibleColumns();
    for (TColumnIndex c : visible) {
        int left, right;
        columns_->GetColumnBounds(c, left, right);
        if (std::abs(x - right) <= kDividerTolerance) {
            if (onDivider) *onDivider = true;
            return c;
        }
    }
    return columns_->ColumnAt(x);
}

TCursor TDTHeader::CursorAt(POINT p) const {
    if (states_ & hsResizing) return crHSplit;
    bool divider = false;
    const TColumnIndex c = ColumnAt(p, &divider);
    if (divider && (options_ & hoColumnResize) && c != NoColumn && (columns_->Items(c)->Options() & coResizable))
        return crHSplit;
    return crDefault;
}

void TDTHeader::CancelTracking() {
    states_ = 0;
    trackColumn_ = NoColumn;
    dropColumn_ = NoColumn;
}

bool TDTHeader::HandleMouse(UINT msg, TShiftState shift, POINT p) {
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: LeftPress(p, msg == WM_LBUTTONDBLCLK); break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
        states_ = hsPressed;
        trackColumn_ = ColumnAt(p);
        trackButton_ = mbRight;
        trackStart_ = p;
        break;
    case WM_MOUSEMOVE: Track(p); break;
    case WM_LBUTTONUP: LeftRelease(shift, p); break;
    case WM_RBUTTONUP: RightRelease(shift, p); break;
    }
    return true;
}

void TDTHeader::LeftPress(POINT p, bool doubleClick) {
    bool divider = false;
    const TColumnIndex c = ColumnAt(p, &divider);
    TDataTreeColumn* column = c == NoColumn ? nullptr : columns_->Items(c);
    if (divider && column && (options_ & hoColumnResize) && (column->Options() & coResizable)) {
        if (doubleClick && (options_ & hoDblClickResize)) {
            const int best = owner_ ? owner_->GetMaxColumnWidth(c) : 0;
            if (best > 0) column->SetWidth(best);
            return;
        }
        states_ = hsResizing;
        trackColumn_ = c;
        trackStart_ = p;
        trackStartWidth_ = column->Width();
        return;
    }
    states_ = hsPressed;
    trackColumn_ = c;
    trackButton_ = mbLeft;
    trackStart_ = p;
    if (column && (options_ & hoDrag) && (column->Options() & coDraggable)) states_ |= hsDragPending;
    Invalidate();
}

void TDTHeader::Track(POINT p) {
    if ((states_ & hsResizing) && columns_->IsValidColumn(trackColumn_)) {
        columns_->Items(trackColumn_)->SetWidth(trackStartWidth_ + p.x - trackStart_.x);
        return;
    }
    if ((states_ & hsDragPending) && std::abs(p.x - trackStart_.x) > kDragThreshold)
        states_ = (states_ & ~(hsDragPending | hsPressed)) | hsDragging;
    if (states_ & hsDragging) {
        dropColumn_ = ColumnAt(POINT{p.x, 0});
        Invalidate();
    }
}

void TDTHeader::LeftRelease(TShiftState shift, POINT p) {
    if (states_ & hsResizing) {
        CancelTracking();
        if (owner_) owner_->HeaderMouseUp(mbLeft, shift, p);
        return;
    }
    if (states_ & hsDragging) {
        const TColumnIndex target = ColumnAt(POINT{p.x, 0});
        if (target != NoColumn && target != trackColumn_ && columns_->IsValidColumn(trackColumn_)) {
            TDataTreeColumn* moved = columns_->Items(trackColumn_);
            const TColumnPosition old = moved->Position();
            moved->SetPosition(columns_->Items(target)->Position());
            if (owner_) owner_->HeaderDragged(trackColumn_, old);
        }
        // The mouse-up still sees the drag.
        if (owner_) owner_->HeaderMouseUp(mbLeft, shift, p);
        CancelTracking();
        Invalidate();
        return;
    }
    const bool click = (states_ & hsPressed) && trackButton_ == mbLeft;
    const TColumnIndex c = trackColumn_;
    CancelTracking();
    Invalidate();
    const bool inside = p.y >= 0 && p.y < height_;
    if (click && inside && ColumnAt(p) == c && (c == NoColumn || (columns_->Items(c)->Options() & coAllowClick)) &&
        owner_)
        owner_->HeaderClicked(c, mbLeft, shift, p);
    if (owner_) owner_->HeaderMouseUp(mbLeft, shift, p);
}

void TDTHeader::RightRelease(TShiftState shift, POINT p) {
    const bool click = (states_ & hsPressed) && trackButton_ == mbRight;
    const TColumnIndex c = trackColumn_;
    CancelTracking();
    const bool inside = p.y >= 0 && p.y < height_;
    if (click && inside && ColumnAt(p) == c && owner_) owner_->HeaderClicked(c, mbRight, shift, p);
    if (owner_) owner_->HeaderMouseUp(mbRight, shift, p);
}

void TDTHeader::PaintColumn(HDC dc, TColumnIndex index, const RECT& r, bool pressed) {
    const TDataTreeColumn* column = columns_->Items(index);
    RECT edge = r;
    HTHEME theme = owner_ ? owner_->Theme(TBaseDataTree::ttHeader) : nullptr;
    const int kItem = 1, kNormal = 1, kPressed = 3;
    if (!theme || FAILED(DrawThemeBackground(theme, dc, kItem, pressed ? kPressed : kNormal, &edge, nullptr)))
        DrawEdge(dc, &edge, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    RECT text = r;
    InflateRect(&text, -4, 0);
    if (pressed) OffsetRect(&text, 1, 1);
    const bool glyph = (options_ & hoShowSortGlyphs) && index == sortColumn_;
    if (glyph) text.right -= 12;
    UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
    if (column->Alignment() == taRightJustify) format |= DT_RIGHT;
    else if (column->Alignment() == taCenter) format |= DT_CENTER;
    DrawTextW(dc, column->Text(), &text, format);
    if (!glyph) return;
    // The sort glyph: a small triangle pointing up (ascending) or down.
    const int cx = r.right - 10 + (pressed ? 1 : 0), cy = (r.top + r.bottom) / 2 + (pressed ? 1 : 0);
    POINT tri[3];
    if (sortDirection_ == sdAscending) {
        tri[0] = {cx - 4, cy + 2};
        tri[1] = {cx + 4, cy + 2};
        tri[2] = {cx, cy - 2};
    } else {
        tri[0] = {cx - 4, cy - 2};
        tri[1] = {cx + 4, cy - 2};
        tri[2] = {cx, cy + 2};
    }
    const UniqueBrush brush(CreateSolidBrush(GetSysColor(COLOR_BTNSHADOW)));
    const UniquePen pen(CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW)));
    const ScopedSelection useBrush(dc, brush.Get());
    const ScopedSelection usePen(dc, pen.Get());
    Polygon(dc, tri, 3);
}

void TDTHeader::Paint(HDC dc, const RECT& r) {
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    if (owner_) SelectObject(dc, owner_->Font().Handle());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    const int offsetX = owner_ ? owner_->OffsetX() : 0;
    int end = r.left - offsetX;
    for (TColumnIndex c : columns_->VisibleColumns()) {
        int left, right;
        columns_->GetColumnBounds(c, left, right);
        const RECT cr{r.left + left - offsetX, r.top, r.left + right - offsetX, r.bottom};
        end = cr.right;
        if (cr.right <= r.left || cr.left >= r.right) continue;
        const bool pressed = (states_ & hsPressed) && trackButton_ == mbLeft && trackColumn_ == c;
        PaintColumn(dc, c, cr, pressed);
    }
    if (end < r.right) {
        RECT rest{end, r.top, r.right, r.bottom};
        HTHEME theme = owner_ ? owner_->Theme(TBaseDataTree::ttHeader) : nullptr;
        if (!theme || FAILED(DrawThemeBackground(theme, dc, 1, 1, &rest, nullptr)))
            DrawEdge(dc, &rest, EDGE_RAISED, BF_RECT);
    }
    if ((states_ & hsDragging) && columns_->IsValidColumn(dropColumn_)) {
        int left, right;
        columns_->GetColumnBounds(dropColumn_, left, right);
        const RECT mark{r.left + left - offsetX, r.top, r.left + left - offsetX + 2, r.bottom};
        FillRect(dc, &mark, GetSysColorBrush(COLOR_HIGHLIGHT));
    }
    RestoreDC(dc, saved);
}

void TDTHeader::Assign(const TPersistent* source) {
    const auto* other = dynamic_cast<const TDTHeader*>(source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    columns_->Assign(other->columns_.get());
    mainColumn_ = other->mainColumn_;
    sortColumn_ = other->sortColumn_;
    sortDirection_ = other->sortDirection_;
    height_ = other->height_;
    options_ = other->options_;
    if (owner_) owner_->HeaderChanged(true);
}

void TDTHeader::DefinePublished(TFiler& f) {
    f.Integer("Height", [this] { return height_; }, [this](int64_t v) { SetHeight(int(v)); }, 17);
    f.Set("Options",
          {"hoAutoResize", "hoColumnResize", "hoDblClickResize", "hoDrag", "", "", "", "", "", "hoShowSortGlyphs",
           "hoVisible"},
          [this] { return unsigned(options_); }, [this](unsigned v) { SetOptions(v); }, unsigned(DefaultOptions));
    f.Integer("MainColumn", [this] { return mainColumn_; }, [this](int64_t v) { SetMainColumn(int(v)); }, 0);
    f.Integer("SortColumn", [this] { return sortColumn_; }, [this](int64_t v) { SetSortColumn(int(v)); }, -1);
    f.Enum("SortDirection", {"sdAscending", "sdDescending"}, [this] { return int(sortDirection_); },
           [this](int v) { SetSortDirection(TSortDirection(v)); }, int(sdAscending));
    const bool writing = dynamic_cast<TWriter*>(&f) != nullptr;
    if (!writing || CanWriteColumns()) f.Collection("Columns", *columns_);
}

} // namespace ax
