// The grid engine: dimensions, extents, current cell and selection, size
// changes, moves and deletions, update brackets and stored extents.
#include "controls/MyCustomGrid.h"

#include <algorithm>

#include "framework/forms.h"
#include "framework/streaming.h"

namespace ax {

namespace {
// Counts at or above this are refused: the platform's extent arrays were
// limited to it, and callers rely on the message.
constexpr int kMaxExtentCount = 0x7FFFFFE;

bool HasHorz(TScrollStyle s) { return s == ssHorizontal || s == ssBoth; }
} // namespace

TMyCustomGrid::TMyCustomGrid(TComponent* owner) : TCustomControl(owner) {
    colCount_ = 5;
    rowCount_ = 5;
    tabStop_ = true;
    color_ = clWindow;
    parentColor_ = false;
    clicksDisabled_ = true; // the grid raises its own clicks
    SetBounds(0, 0, colCount_ * defaultColWidth_, rowCount_ * defaultRowHeight_);
    InitCoords();
}

TMyCustomGrid::~TMyCustomGrid() {
    // The editor is a child and an owned component: it goes while the
    // grid is still whole.
    DestroyComponents();
}

void TMyCustomGrid::DefinePublished(TFiler& f) {
    TCustomControl::DefinePublished(f);
    f.Integer("ColCount", [this] { return colCount_; }, [this](int64_t v) { SetColCount(int(v)); }, 5);
    f.Integer("RowCount", [this] { return rowCount_; }, [this](int64_t v) { SetRowCount(int(v)); }, 5);
    f.Integer("FixedCols", [this] { return fixedCols_; }, [this](int64_t v) { SetFixedCols(int(v)); }, 1);
    f.Integer("FixedRows", [this] { return fixedRows_; }, [this](int64_t v) { SetFixedRows(int(v)); }, 1);
    f.Integer("DefaultColWidth", [this] { return defaultColWidth_; },
              [this](int64_t v) { SetDefaultColWidth(int(v)); }, 64);
    f.Integer("DefaultRowHeight", [this] { return defaultRowHeight_; },
              [this](int64_t v) { SetDefaultRowHeight(int(v)); }, 24);
    f.Integer("GridLineWidth", [this] { return gridLineWidth_; },
              [this](int64_t v) { SetGridLineWidth(int(v)); }, 1);
    f.Set("Options",
          {"goFixedVertLine", "goFixedHorzLine", "goVertLine", "goHorzLine", "goRangeSelect", "goDrawFocusSelected",
           "goRowSizing", "goColSizing", "goRowMoving", "goColMoving", "goEditing", "goTabs", "goRowSelect",
           "goAlwaysShowEditor", "goThumbTracking"},
          [this] { return options_; }, [this](unsigned v) { SetOptions(v); }, kDefaultGridOptions);
    f.Enum("ScrollBars", {"ssNone", "ssHorizontal", "ssVertical", "ssBoth"}, [this] { return int(scrollBars_); },
           [this](int v) { SetScrollBars(TScrollStyle(v)); }, int(ssBoth));
    f.Enum("BorderStyle", {"bsNone", "bsSingle"}, [this] { return int(borderStyle_); },
           [this](int v) { SetBorderStyle(TBorderStyle(v)); }, int(bsSingle));
    f.Bool("DefaultDrawing", [this] { return defaultDrawing_; }, [this](bool v) { SetDefaultDrawing(v); }, true);
    DefineColorProperty(f, "FixedColor", [this] { return fixedColor_; }, [this](TColor c) { SetFixedColor(c); },
                        clBtnFace);
}

void TMyCustomGrid::DefineProperties(TFiler& f) {
    TCustomControl::DefineProperties(f);
    if (!saveCellExtents_) return;
    auto define = [&f](const char* name, std::optional<std::vector<int>>& extents, int count,
                       std::function<void(int, int)> set) {
        f.DefineProperty(
            name,
            [count, set](TReader& r) {
                r.ReadListBegin();
                for (int i = 0; !r.EndOfList(); ++i) {
                    const int v = r.ReadInteger();
                    if (i < count) set(i, v);
                }
                r.ReadListEnd();
            },
            [&extents, count](TWriter& w) {
                w.WriteListBegin();
                for (int i = 0; i < count; ++i)
                    w.WriteInteger(i < int(extents->size()) ? (*extents)[size_t(i)] : 0);
                w.WriteListEnd();
            },
            extents.has_value());
    };
    define("ColWidths", colWidths_, colCount_, [this](int i, int v) { SetColWidths(i, v); });
    define("RowHeights", rowHeights_, rowCount_, [this](int i, int v) { SetRowHeights(i, v); });
}

// ---- Extents ---------------------------------------------------------------------------------

int TMyCustomGrid::ExtentOf(const std::optional<std::vector<int>>& extents, int index, int fallback) const {
    if (extents && index >= 0 && index < int(extents->size())) return (*extents)[size_t(index)];
    return fallback;
}

void TMyCustomGrid::ResizeExtents(std::optional<std::vector<int>>& extents, int newCount, int fallback) {
    if (!extents) return;
    if (newCount < 0) throw EInvalidGridOperation(STooManyDeleted);
    if (newCount >= kMaxExtentCount) throw EInvalidGridOperation(SGridTooLarge);
    extents->resize(size_t(newCount), fallback);
}

void TMyCustomGrid::SetExtent(std::optional<std::vector<int>>& extents, int index, int value, int fallback,
                              bool rows) {
    const int count = rows ? rowCount_ : colCount_;
    if (index < 0 || index >= count) throw EInvalidGridOperation(SGridIndexOutOfRange);
    if (!extents) extents.emplace(size_t(count), fallback);
    // Inside an update the array may still have the earlier count.
    if (int(extents->size()) < count) ResizeExtents(extents, count, fallback);
    if ((*extents)[size_t(index)] == value) return;
    InvalidateGrid();
    (*extents)[size_t(index)] = value;
}

int TMyCustomGrid::ColWidths(int index) const { return ExtentOf(colWidths_, index, defaultColWidth_); }
int TMyCustomGrid::RowHeights(int index) const { return ExtentOf(rowHeights_, index, defaultRowHeight_); }
bool TMyCustomGrid::TabStops(int index) const { return ExtentOf(tabStops_, index, 1) != 0; }

void TMyCustomGrid::SetColWidths(int index, int value) {
    const int before = ColWidths(index);
    SetExtent(colWidths_, index, value, defaultColWidth_, false);
    if (before != value) ColWidthsChanged();
}

void TMyCustomGrid::SetRowHeights(int index, int value) {
    const int before = RowHeights(index);
    SetExtent(rowHeights_, index, value, defaultRowHeight_, true);
    if (before != value) RowHeightsChanged();
}

void TMyCustomGrid::SetTabStops(int index, bool value) { SetExtent(tabStops_, index, value ? 1 : 0, 1, false); }

void TMyCustomGrid::SetDefaultColWidth(int value) {
    colWidths_.reset();
    defaultColWidth_ = value;
    ColWidthsChanged();
    InvalidateGrid();
}

void TMyCustomGrid::SetDefaultRowHeight(int value) {
    rowHeights_.reset();
    defaultRowHeight_ = value;
    RowHeightsChanged();
    InvalidateGrid();
}

void TMyCustomGrid::ColWidthsChanged() {
    UpdateScrollRange();
    UpdateEdit();
}

void TMyCustomGrid::RowHeightsChanged() {
    UpdateScrollRange();
    UpdateEdit();
}

// ---- Dimensions ------------------------------------------------------------------------------

void TMyCustomGrid::InitCoords() {
    topLeft_ = {fixedCols_, fixedRows_};
    current_ = topLeft_;
    anchor_ = current_;
    if (options_ & goRowSelect) anchor_.X = colCount_ - 1;
}

void TMyCustomGrid::SetColCount(int value) {
    if (value < 1) value = 1;
    if (value == colCount_) return;
    ChangeSize(value, rowCount_);
    if (options_ & goRowSelect) {
        anchor_.X = colCount_ - 1;
        Invalidate();
    }
}

void TMyCustomGrid::SetRowCount(int value) {
    if (value < 1) value = 1;
    if (value == rowCount_) return;
    ChangeSize(colCount_, value);
}

void TMyCustomGrid::SetFixedCols(int value) {
    if (value < 0) throw EInvalidGridOperation(SGridIndexOutOfRange);
    if (value >= colCount_) throw EInvalidGridOperation(SFixedColTooBig);
    fixedCols_ = value;
    InitCoords();
    UpdateScrollRange();
    InvalidateGrid();
}

void TMyCustomGrid::SetFixedRows(int value) {
    if (value < 0) throw EInvalidGridOperation(SGridIndexOutOfRange);
    if (value >= rowCount_) throw EInvalidGridOperation(SFixedRowTooBig);
    fixedRows_ = value;
    InitCoords();
    UpdateScrollRange();
    InvalidateGrid();
}

void TMyCustomGrid::ChangeSize(int newColCount, int newRowCount) {
    // Refused before anything changes, so a failed resize leaves the grid whole.
    if (((colWidths_ || tabStops_) && newColCount >= kMaxExtentCount) ||
        (rowHeights_ && newRowCount >= kMaxExtentCount))
        throw EInvalidGridOperation(SGridTooLarge);
    std::optional<TGridDrawInfo> oldInfo;
    if (HandleAllocated()) oldInfo = DrawInfo();
    const int oldCols = colCount_, oldRows = rowCount_;
    colCount_ = newColCount;
    rowCount_ = newRowCount;
    if (fixedCols_ > colCount_ - 1) fixedCols_ = colCount_ - 1;
    if (fixedRows_ > rowCount_ - 1) fixedRows_ = rowCount_ - 1;
    if (NowUpdating()) return;
    ApplySize(oldCols, oldRows, oldInfo);
}

void TMyCustomGrid::ApplySize(int oldColCount, int oldRowCount, const std::optional<TGridDrawInfo>& oldInfo) {
    ResizeExtents(colWidths_, colCount_, defaultColWidth_);
    ResizeExtents(tabStops_, colCount_, 1);
    ResizeExtents(rowHeights_, rowCount_, defaultRowHeight_);

    // The view and the current cell stay inside the grid.
    topLeft_.X = std::clamp(topLeft_.X, fixedCols_, colCount_ - 1);
    topLeft_.Y = std::clamp(topLeft_.Y, fixedRows_, rowCount_ - 1);
    const TGridCoord clamped{std::clamp(current_.X, 0, colCount_ - 1), std::clamp(current_.Y, 0, rowCount_ - 1)};
    if (clamped != current_) MoveCurrent(clamped.X, clamped.Y, true, true);
    if (anchor_.X >= colCount_ || anchor_.Y >= rowCount_) {
        anchor_ = current_;
        if (options_ & goRowSelect) anchor_.X = colCount_ - 1;
    }

    if (HandleAllocated()) {
        const TGridDrawInfo info = DrawInfo();
        if (oldInfo && oldInfo->Horz.FirstGridCell == info.Horz.FirstGridCell &&
            oldInfo->Vert.FirstGridCell == info.Vert.FirstGridCell) {
            // Only what lies from the earlier last visible column and row on.
            const RECT client = ClientRect();
            const int col = std::min(oldInfo->Horz.LastFullVisibleCell, info.Horz.LastFullVisibleCell);
            const int row = std::min(oldInfo->Vert.LastFullVisibleCell, info.Vert.LastFullVisibleCell);
            RECT a = CellRect(col, 0), b = CellRect(0, row);
            RECT r1{IsRectEmpty(&a) ? 0 : a.left, IsRectEmpty(&a) ? 0 : a.top, client.right, client.bottom};
            RECT r2{IsRectEmpty(&b) ? 0 : b.left, IsRectEmpty(&b) ? 0 : b.top, client.right, client.bottom};
            if (RightToLeftLayout()) {
                // The columns from there on lie to the left.
                r1 = {0, r1.top, IsRectEmpty(&a) ? client.right : a.right, client.bottom};
                r2.left = 0;
            }
            ::ax::InvalidateRect(handle_, &r1, FALSE);
            ::ax::InvalidateRect(handle_, &r2, FALSE);
        } else {
            InvalidateGrid();
        }
    }
    UpdateScrollRange();
    SizeChanged(oldColCount, oldRowCount);
}

// ---- Look ------------------------------------------------------------------------------------

void TMyCustomGrid::SetFixedColor(TColor value) {
    if (value == fixedColor_) return;
    fixedColor_ = value;
    InvalidateGrid();
}

void TMyCustomGrid::SetGridLineWidth(int value) {
    if (value == gridLineWidth_) return;
    gridLineWidth_ = value;
    UpdateScrollRange();
    InvalidateGrid();
}

void TMyCustomGrid::SetOptions(TGridOptions value) {
    if (value & goRowSelect) value &= ~unsigned(goAlwaysShowEditor);
    if (value == options_) return;
    options_ = value;
    if (!editorMode_) {
        if (options_ & goAlwaysShowEditor) ShowEditor();
        else HideEditor();
    }
    if (options_ & goRowSelect) MoveCurrent(current_.X, current_.Y, true, false);
    InvalidateGrid();
}

void TMyCustomGrid::SetBorderStyle(TBorderStyle value) {
    if (value == borderStyle_) return;
    borderStyle_ = value;
    RecreateWnd();
}

void TMyCustomGrid::SetScrollBars(TScrollStyle value) {
    if (value == scrollBars_) return;
    scrollBars_ = value;
    RecreateWnd();
}

void TMyCustomGrid::SetDefaultDrawing(bool value) {
    if (value == defaultDrawing_) return;
    defaultDrawing_ = value;
    InvalidateGrid();
}

void TMyCustomGrid::CreateParams(TCreateParams& p) {
    TCustomControl::CreateParams(p);
    p.Style |= WS_TABSTOP;
    if (scrollBars_ == ssVertical || scrollBars_ == ssBoth) p.Style |= WS_VSCROLL;
    if (HasHorz(scrollBars_)) p.Style |= WS_HSCROLL;
    if (borderStyle_ == bsSingle) {
        if (ctl3D_) p.ExStyle |= WS_EX_CLIENTEDGE;
        else p.Style |= WS_BORDER;
    }
    p.WindowClassStyle &= ~UINT(CS_HREDRAW | CS_VREDRAW);
    p.Background = COLOR_WINDOW;
}

void TMyCustomGrid::CreateWnd() {
    TCustomControl::CreateWnd();
    UpdateScrollRange();
}

// ---- Current cell and selection --------------------------------------------------------------

TGridRect TMyCustomGrid::Selection() const { return GridRectOf(current_, anchor_); }

void TMyCustomGrid::SetSelection(const TGridRect& value) {
    const TGridRect oldSel = Selection();
    anchor_ = {value.Left, value.Top};
    current_ = {value.Right, value.Bottom};
    if (options_ & goRowSelect) anchor_.X = colCount_ - 1;
    ClampInView(current_);
    InvalidateSelectionChange(oldSel);
}

void TMyCustomGrid::SetCol(int value) {
    if (value != current_.X) FocusCell(value, current_.Y, true);
}

void TMyCustomGrid::SetRow(int value) {
    if (value != current_.Y) FocusCell(current_.X, value, true);
}

void TMyCustomGrid::SetLeftCol(int value) {
    if (value != topLeft_.X) MoveTopLeft(value, topLeft_.Y);
}

void TMyCustomGrid::SetTopRow(int value) {
    if (value != topLeft_.Y) MoveTopLeft(topLeft_.X, value);
}

int TMyCustomGrid::VisibleColCount() {
    const TGridDrawInfo info = DrawInfo();
    return info.Horz.LastFullVisibleCell - topLeft_.X + 1;
}

int TMyCustomGrid::VisibleRowCount() {
    const TGridDrawInfo info = DrawInfo();
    return info.Vert.LastFullVisibleCell - topLeft_.Y + 1;
}

void TMyCustomGrid::MoveCurrent(int col, int row, bool moveAnchor, bool show) {
    if (col < 0 || row < 0 || col >= colCount_ || row >= rowCount_)
        throw EInvalidGridOperation(SGridIndexOutOfRange);
    if (!SelectCell(col, row)) return;
    const TGridRect oldSel = Selection();
    const TGridCoord oldCurrent = current_;
    current_ = {col, row};
    if (!(options_ & goAlwaysShowEditor)) HideEditor();
    if (moveAnchor || !(options_ & goRangeSelect)) {
        anchor_ = current_;
        if (options_ & goRowSelect) anchor_.X = colCount_ - 1;
    }
    if (options_ & goRowSelect) current_.X = fixedCols_;
    if (show) ClampInView(current_);
    InvalidateSelectionChange(oldSel);
    InvalidateCell(oldCurrent.X, oldCurrent.Y);
    InvalidateCell(current_.X, current_.Y);
}

void TMyCustomGrid::MoveAnchor(TGridCoord anchor) {
    if ((options_ & goRangeSelect) && !(options_ & goEditing)) {
        const TGridRect oldSel = Selection();
        anchor_ = anchor;
        if (options_ & goRowSelect) anchor_.X = colCount_ - 1;
        ClampInView(anchor);
        InvalidateSelectionChange(oldSel);
    } else {
        MoveCurrent(anchor.X, anchor.Y, true, true);
    }
}

void TMyCustomGrid::FocusCell(int col, int row, bool moveAnchor) {
    MoveCurrent(col, row, moveAnchor, true);
    UpdateEdit();
    Click();
}

void TMyCustomGrid::ScrollIntoView(int col, int row) { ClampInView({col, row}); }

void TMyCustomGrid::ClampInView(TGridCoord coord) {
    const TGridDrawInfo info = DrawInfo();
    const TGridCoord maxTopLeft = CalcMaxTopLeft(coord, info);
    TGridCoord topLeft = topLeft_;
    if (coord.X >= fixedCols_) {
        if (coord.X < topLeft_.X) topLeft.X = coord.X;
        else if (coord.X > info.Horz.LastFullVisibleCell) topLeft.X = maxTopLeft.X;
    }
    if (coord.Y >= fixedRows_) {
        if (coord.Y < topLeft_.Y) topLeft.Y = coord.Y;
        else if (coord.Y > info.Vert.LastFullVisibleCell) topLeft.Y = maxTopLeft.Y;
    }
    MoveTopLeft(topLeft.X, topLeft.Y);
}

void TMyCustomGrid::InvalidateSelectionChange(const TGridRect& oldSel) {
    if (!HandleAllocated()) return;
    const TGridRect newSel = Selection();
    if (oldSel == newSel) return;
    const RECT a = BoxRect(oldSel.Left, oldSel.Top, oldSel.Right, oldSel.Bottom);
    const RECT b = BoxRect(newSel.Left, newSel.Top, newSel.Right, newSel.Bottom);
    RECT i{};
    if (!IntersectRect(&i, &a, &b)) {
        ::ax::InvalidateRect(handle_, &a, FALSE);
        ::ax::InvalidateRect(handle_, &b, FALSE);
        return;
    }
    RECT u{};
    UnionRect(&u, &a, &b);
    const RECT strips[4] = {{u.left, u.top, u.right, i.top},
                            {u.left, i.bottom, u.right, u.bottom},
                            {u.left, i.top, i.left, i.bottom},
                            {i.right, i.top, u.right, i.bottom}};
    for (const RECT& s : strips)
        if (!IsRectEmpty(&s)) ::ax::InvalidateRect(handle_, &s, FALSE);
}

// ---- Moving, deleting, adjusting -------------------------------------------------------------

namespace {
// Where an index lands when the cell at `from` moves to `to`.
int Follow(int index, int from, int to) {
    if (index == from) return to;
    if (from < to && index > from && index <= to) return index - 1;
    if (from > to && index >= to && index < from) return index + 1;
    return index;
}

void MoveExtent(std::optional<std::vector<int>>& extents, int from, int to) {
    if (!extents) return;
    auto& v = *extents;
    if (from >= int(v.size()) || to >= int(v.size())) return;
    const int value = v[size_t(from)];
    v.erase(v.begin() + from);
    v.insert(v.begin() + to, value);
}
} // namespace

void TMyCustomGrid::MoveColumn(int from, int to) {
    if (from == to) return;
    if (from < 0 || to < 0 || from >= colCount_ || to >= colCount_)
        throw EInvalidGridOperation(SGridIndexOutOfRange);
    MoveExtent(colWidths_, from, to);
    MoveExtent(tabStops_, from, to);
    current_.X = Follow(current_.X, from, to);
    anchor_.X = Follow(anchor_.X, from, to);
    if (editCell_.X >= 0) editCell_.X = Follow(editCell_.X, from, to);
    InvalidateRect({std::min(from, to), 0, std::max(from, to), rowCount_ - 1});
    ColumnMoved(from, to);
    if (colWidths_) ColWidthsChanged();
    UpdateEdit();
}

void TMyCustomGrid::MoveRow(int from, int to) {
    if (from == to) return;
    if (from < 0 || to < 0 || from >= rowCount_ || to >= rowCount_)
        throw EInvalidGridOperation(SGridIndexOutOfRange);
    MoveExtent(rowHeights_, from, to);
    current_.Y = Follow(current_.Y, from, to);
    anchor_.Y = Follow(anchor_.Y, from, to);
    if (editCell_.Y >= 0) editCell_.Y = Follow(editCell_.Y, from, to);
    RowMoved(from, to);
    if (rowHeights_) RowHeightsChanged();
    UpdateEdit();
}

void TMyCustomGrid::DeleteColumn(int col) {
    MoveColumn(col, colCount_ - 1);
    SetColCount(colCount_ - 1);
}

void TMyCustomGrid::DeleteRow(int row) {
    MoveRow(row, rowCount_ - 1);
    SetRowCount(rowCount_ - 1);
}

void TMyCustomGrid::AdjustCellCount(int index, int amount, bool rows) {
    if (amount == 0) return;
    const int oldCount = rows ? rowCount_ : colCount_;
    const int newCount = oldCount + amount;
    if (index > newCount || newCount < 0) throw EInvalidGridOperation(STooManyDeleted);
    if (newCount >= kMaxExtentCount) throw EInvalidGridOperation(SGridTooLarge);
    if (index < 0 || index > oldCount) throw EInvalidGridOperation(SGridIndexOutOfRange);
    std::optional<std::vector<int>>& extents = rows ? rowHeights_ : colWidths_;
    const int fallback = rows ? defaultRowHeight_ : defaultColWidth_;

    // The pixels the cells after index move by.
    int shift = amount * fallback;
    if (amount < 0 && extents) {
        shift = 0;
        for (int i = index; i < index - amount && i < int(extents->size()); ++i) shift -= (*extents)[size_t(i)];
    }
    auto adjust = [&](std::optional<std::vector<int>>& v, int def) {
        if (!v) return;
        if (amount > 0) v->insert(v->begin() + std::min<int>(index, int(v->size())), size_t(amount), def);
        else v->erase(v->begin() + index, v->begin() + std::min<int>(index - amount, int(v->size())));
        // Every entry from index on takes the default.
        for (size_t i = size_t(index); i < v->size(); ++i) (*v)[i] = def;
    };
    adjust(extents, fallback);
    if (!rows) adjust(tabStops_, 1);

    const int oldCols = colCount_, oldRows = rowCount_;
    (rows ? rowCount_ : colCount_) = newCount;
    if (rows && fixedRows_ > rowCount_ - 1) fixedRows_ = rowCount_ - 1;
    if (!rows && fixedCols_ > colCount_ - 1) fixedCols_ = colCount_ - 1;

    TGridCoord target = current_;
    int& axisPos = rows ? target.Y : target.X;
    if (axisPos >= index) {
        if (amount < 0 && axisPos < index - amount) axisPos = index;
        else axisPos += amount;
    }
    axisPos = std::clamp(axisPos, 0, newCount - 1);

    if (HandleAllocated()) {
        const TGridDrawInfo info = DrawInfo();
        const TGridAxisDrawInfo& axis = rows ? info.Vert : info.Horz;
        const TGridAxisDrawInfo& other = rows ? info.Horz : info.Vert;
        int start = 0, end = 0;
        if (index >= axis.FixedCellCount && index < axis.FirstGridCell) start = axis.FixedBoundary;
        else start = axis.LinePos(index);
        end = axis.GridBoundary;
        RECT area = rows ? RECT{other.FixedBoundary, start, other.GridBoundary, end}
                         : RECT{start, other.FixedBoundary, end, other.GridBoundary};
        if (!IsRectEmpty(&area) && (index >= axis.FirstGridCell || index < axis.FixedCellCount)) {
            if (rows) ScrollWindow(handle_, 0, shift, &area, &area);
            else ScrollWindow(handle_, shift, 0, &area, &area);
            UpdateWindow(handle_);
        }
    }
    SizeChanged(oldCols, oldRows);
    if (target != current_) MoveCurrent(target.X, target.Y, true, true);
}

// ---- Invalidation ----------------------------------------------------------------------------

void TMyCustomGrid::InvalidateCell(int col, int row) { InvalidateRect({col, row, col, row}); }
void TMyCustomGrid::InvalidateCol(int col) { InvalidateRect({col, 0, col, rowCount_ - 1}); }
void TMyCustomGrid::InvalidateRow(int row) { InvalidateRect({0, row, colCount_ - 1, row}); }

void TMyCustomGrid::InvalidateRect(const TGridRect& rect) {
    if (!HandleAllocated()) return;
    const RECT r = BoxRect(rect.Left, rect.Top, rect.Right, rect.Bottom);
    if (!IsRectEmpty(&r)) ::ax::InvalidateRect(handle_, &r, FALSE);
}

// ---- Update brackets -------------------------------------------------------------------------

void TMyCustomGrid::BeginUpdate() {
    // The brackets do not nest: a second BeginUpdate runs again, and the
    // first EndUpdate ends them all.
    const bool starting = !nowUpdating_;
    nowUpdating_ = true;
    if (Screen()) Screen()->SetCursor(crHourGlass);
    // Only this grid's window is locked; others keep painting.
    if (HandleAllocated() && !lockedWindow_ && LockWindowUpdate(handle_)) lockedWindow_ = handle_;
    // Disabling takes the focus away; EndUpdate gives it back.
    if (starting) focusAtUpdate_ = IsActiveControl();
    SetEnabled(false);
    if (OnBeginUpdate) OnBeginUpdate(this);
}

void TMyCustomGrid::EndUpdate() {
    ApplySize(colCount_, rowCount_, std::nullopt);
    Invalidate();
    if (lockedWindow_) {
        const HWND locked = lockedWindow_;
        lockedWindow_ = nullptr;
        UnlockWindowUpdate(locked);
    }
    SetEnabled(true);
    if (Screen()) Screen()->SetCursor(crDefault);
    if ((parentWindow_ || focusAtUpdate_) && HandleAllocated() && CanFocus()) SetFocus();
    focusAtUpdate_ = false;
    nowUpdating_ = false;
}

} // namespace ax
