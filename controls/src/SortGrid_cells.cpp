// The sort grid's cells: formats and kinds, drawing, the drop-down list,
// keyboard and mouse with the row multi-selection, incremental search,
// automatic column width and validation of edited cells.
#include <algorithm>
#include <cstdlib>

#include "controls/SortGrid.h"
#include "framework/forms.h"
#include "platform/gdi/uniquegdiobject.h"

namespace ax {

namespace {

bool IsNavigationKey(WORD key) {
    switch (key) {
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN: return true;
    default: return false;
    }
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? char(c - ('a' - 'A')) : c; }

// A title too wide for its space ends in ".." and loses characters before
// them until it fits or is three characters long.
AnsiString ShortenTitle(TCanvas& canvas, const AnsiString& text, int space) {
    if (canvas.TextWidth(text) <= space) return text;
    for (size_t keep = text.size(); keep-- > 0;) {
        const AnsiString candidate = text.substr(0, keep) + "..";
        if (canvas.TextWidth(candidate) <= space || candidate.size() <= 3) return candidate;
    }
    return "..";
}

// ---- Glyphs: the sort arrows, check boxes and the two cell buttons ----

void FillBox(HDC dc, int left, int top, int right, int bottom, TColor color) {
    if (right <= left || bottom <= top) return;
    const UniqueBrush brush(CreateSolidBrush(ColorToRGB(color)));
    const RECT r{left, top, right, bottom};
    FillRect(dc, &r, brush.Get());
}

// An arrow of four rows in an 8 x 7 box (narrower when the cell is).
void DrawSortArrow(HDC dc, int x, int y, int width, bool descending) {
    for (int i = 0; i < 4; ++i) {
        const int len = descending ? 2 * (4 - i) : 2 * (i + 1);
        const int left = x + (8 - len) / 2;
        FillBox(dc, std::max(left, x), y + 2 + i, std::min(left + len, x + width), y + 3 + i, clBtnText);
    }
}

// A 10 x 10 box, with a mark when checked.
void DrawCheckGlyph(HDC dc, int x, int y, int width, bool checked) {
    const int right = x + width;
    FillBox(dc, x, y, right, y + 10, clBtnShadow);
    FillBox(dc, x + 1, y + 1, right - 1, y + 9, clWindow);
    if (!checked) return;
    static constexpr int kMark[][2] = {{2, 4}, {3, 5}, {4, 6}, {5, 5}, {6, 4}, {7, 3}};
    for (const auto& p : kMark)
        if (x + p[0] + 1 < right) FillBox(dc, x + p[0], y + p[1], x + p[0] + 1, y + p[1] + 2, clWindowText);
}

void DrawComboGlyph(HDC dc, RECT r) { DrawFrameControl(dc, &r, DFC_SCROLL, DFCS_SCROLLCOMBOBOX); }

void DrawEllipsisGlyph(HDC dc, RECT r) {
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH);
    const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    for (int d = -4; d <= 4; d += 4) FillBox(dc, cx + d - 1, cy, cx + d + 1, cy + 2, clBtnText);
}

} // namespace

// ---- Formats ---------------------------------------------------------------------------------

TFormatOptions TSortGrid::GetCellFormat(int col, int row, bool& checkBox, bool& combobox, bool& ellipsis) {
    TCanvas& canvas = Canvas();
    TFormatOptions format;
    format.Brush = &canvas.Brush();
    format.Font = &canvas.Font();
    format.AlignmentHorz = alignmentHorz_;
    format.AlignmentVert = alignmentVert_;
    format.Bevel = bevelStyle_;
    switch (bevelStyle_) {
    case cbRaised:
        format.UpperLeftColor = clBtnHighlight;
        format.LowerRightColor = clBtnShadow;
        break;
    case cbLowered:
        format.UpperLeftColor = clBtnShadow;
        format.LowerRightColor = clBtnHighlight;
        break;
    case cbNone: format.UpperLeftColor = format.LowerRightColor = clWindow; break;
    }
    checkBox = combobox = ellipsis = false;
    if (OnGetCellFormat) {
        TGridDrawState state = 0;
        if (col < FixedCols() || row < FixedRows()) state |= gdFixed;
        if (IsActiveControl() && col == Col() && row == Row()) state |= gdFocused;
        if (Selection().Contains(col, row)) state |= gdSelected;
        OnGetCellFormat(this, col, row, state, format, checkBox, combobox, ellipsis);
    }
    return format;
}

void TSortGrid::ApplyRowColours(int col, int row, TFormatOptions& format) {
    const TGridRect sel = Selection();
    const bool dataCell = row >= FixedRows() && col >= FixedCols();
    const bool inRange = (Options() & goRangeSelect) && row >= sel.Top && row <= sel.Bottom;
    const bool inSet = multiSelect_ && !(Options() & goEditing) && IsRowSelected(row);
    if (dataCell && (inRange || inSet)) {
        format.Font->SetColor(clHighlightText);
        format.Brush->SetColor(clHighlight);
        return;
    }
    const TFontSetting* column = size_t(col) < columnFonts_.size() ? &columnFonts_[size_t(col)] : nullptr;
    const TFontSetting* rowSetting = size_t(row) < rowFonts_.size() ? &rowFonts_[size_t(row)] : nullptr;
    auto styles = [](bool bold, bool italic, bool underline) {
        return (bold ? fsBold : 0u) | (italic ? fsItalic : 0u) | (underline ? fsUnderline : 0u);
    };
    if (column && column->InUse && !(rowSetting && rowSetting->InUse)) {
        format.Font->SetColor(column->FontColor);
        format.Brush->SetColor(column->BrushColor);
        format.Font->SetStyle(styles(column->Bold, column->Italic, column->Underline));
    } else if (rowSetting && rowSetting->InUse) {
        // The row's setting lives in the cell just beyond the last column:
        // font colour, bold, italic, underline, brush colour.
        TStringList parts;
        parts.SetCommaText(Cells(ColCount(), row));
        auto part = [&parts](int i) { return i < parts.Count() ? parts[i] : AnsiString(); };
        try {
            if (!part(0).empty()) format.Font->SetColor(StringToColor(part(0)));
            if (!part(4).empty()) format.Brush->SetColor(StringToColor(part(4)));
        } catch (const EConvertError&) {
            // A setting that names no colour leaves the colours alone.
        }
        format.Font->SetStyle(styles(part(1) == "1", part(2) == "1", part(3) == "1"));
    }
}

// ---- Drawing ---------------------------------------------------------------------------------

void TSortGrid::DrawCell(int col, int row, RECT rect, TGridDrawState state) {
    TCanvas& canvas = Canvas();
    if (row >= FixedRows() && (NowUpdating() || hideRows_)) {
        canvas.FillRect({rect.left, rect.top, rect.right + Width(), rect.bottom + 1});
        return;
    }
    bool check = false, combo = false, ellipsis = false;
    TFormatOptions format = GetCellFormat(col, row, check, combo, ellipsis);
    const bool hide = format.HideText || check;
    ApplyRowColours(col, row, format);
    DrawCellText(col, row, rect, format, hide);
    DrawCellGlyphs(col, row, rect, check, combo, ellipsis);
    if (format.Bevel != cbNone && row >= FixedRows()) DrawBevel(rect, format);
    TMyDrawGrid::DrawCell(col, row, rect, state);
}

void TSortGrid::DrawCellText(int col, int row, const RECT& rect, TFormatOptions& format, bool hideText) {
    TCanvas& canvas = Canvas();
    const bool sortTitle = row == 0 && sortOptions_->CanSort && col == sortOptions_->SortCol;
    AnsiString text = hideText ? AnsiString() : Cells(col, row);
    if (row < FixedRows()) text = ShortenTitle(canvas, text, ColWidths(col) - 1 - (sortTitle ? 11 : 0));
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    const SIZE extent = canvas.TextExtent(text);
    int dx = 2, dy = 2;
    if (format.AlignmentHorz == taRightJustify) dx = width - extent.cx - 2;
    else if (format.AlignmentHorz == taCenter) dx = (width - extent.cx) / 2;
    if (format.AlignmentVert == taBottomJustify) dy = height - extent.cy - 3;
    else if (format.AlignmentVert == taMiddle) dy = (height - extent.cy) / 2;
    if (sortTitle) dx += 11;
    canvas.Brush().SetStyle(bsSolid);
    canvas.TextRect(rect, rect.left + dx, rect.top + dy, text);
    if (sortTitle) {
        // The arrow shows the direction, over the text's left margin.
        HDC dc = canvas.Handle();
        const int arrowWidth = width < 11 ? width - 3 : 8;
        DrawSortArrow(dc, rect.left + 3, RowHeights(0) / 2 - 4, arrowWidth,
                      sortOptions_->SortDirection == sdDescending);
    }
}

void TSortGrid::DrawCellGlyphs(int col, int row, const RECT& rect, bool check, bool combo, bool ellipsis) {
    HDC dc = Canvas().Handle();
    const int width = rect.right - rect.left;
    if (check) {
        const int w = width < 11 ? width - 1 : 10;
        DrawCheckGlyph(dc, rect.left + (width - w) / 2, RowHeights(row) / 2 + rect.top - 5, w,
                       Cells(col, row) == "true");
    }
    const RECT button{std::max(rect.left, rect.right - 16), rect.top, rect.right, rect.bottom};
    if (combo && row == Row() && (col == Col() || EditorMode())) DrawComboGlyph(dc, button);
    if (ellipsis && row == Row() && col != Col()) DrawEllipsisGlyph(dc, button);
}

void TSortGrid::DrawBevel(const RECT& r, const TFormatOptions& format) {
    TCanvas& canvas = Canvas();
    auto line = [&canvas](TColor color, int x1, int y1, int x2, int y2) {
        canvas.Pen().SetColor(color);
        canvas.Pen().SetWidth(1);
        canvas.Pen().SetStyle(psSolid);
        canvas.MoveTo(x1, y1);
        canvas.LineTo(x2, y2);
    };
    if (Options() & goFixedVertLine) {
        line(format.LowerRightColor, r.right - 1, r.top, r.right - 1, r.bottom);
        line(format.UpperLeftColor, r.left, r.top, r.left, r.bottom);
    }
    if (Options() & goFixedHorzLine) {
        line(format.LowerRightColor, r.left, r.bottom - 1, r.right, r.bottom - 1);
        line(format.UpperLeftColor, r.left, r.top, r.right, r.top);
    }
}

// ---- Check cells -----------------------------------------------------------------------------

bool TSortGrid::CellChecked(int col, int row) {
    bool check = false, combo = false, ellipsis = false;
    GetCellFormat(col, row, check, combo, ellipsis);
    return check && Cells(col, row) == "true";
}

void TSortGrid::SetCellChecked(int col, int row, bool state) {
    bool check = false, combo = false, ellipsis = false;
    GetCellFormat(col, row, check, combo, ellipsis);
    if (!check) return;
    SetCells(col, row, state ? "true" : "");
    InvalidateRow(row);
    if (OnSetChecked) OnSetChecked(this, col, row, state);
}

// ---- Drop-down list --------------------------------------------------------------------------

bool TSortGrid::ShowComboList(int col, int row) {
    if (!OnGetComboBox || !comboList_) return false;
    bool check = false, combo = false, ellipsis = false;
    GetCellFormat(col, row, check, combo, ellipsis);
    if (!combo) return false;
    TStringList strings;
    int width = 0, height = 0;
    bool sorted = true;
    OnGetComboBox(this, col, row, strings, width, height, sorted);
    TCustomForm* form = GetParentForm(this);
    if (strings.Count() < 1 || !form || !HandleAllocated()) return false;
    comboList_->SetParent(form);
    comboList_->SetSorted(sorted);
    comboList_->Items().Clear();
    for (int i = 0; i < strings.Count(); ++i) comboList_->Items().Add(strings[i]);
    const int index = comboList_->Items().IndexOf(Cells(col, row));
    comboList_->SetItemIndex(index >= 0 ? index : 0);
    const RECT cell = CellRect(col, row);
    RECT outer{};
    GetWindowRect(Handle(), outer);
    const POINT gridPos = form->ScreenToClient(POINT{outer.left, outer.top});
    const int count = strings.Count();
    // Ten items show at most; a longer list scrolls.
    if (height == 0) height = std::min(count, 10) * comboList_->ItemHeight() + 5;
    if (width == 0) width = cell.right - cell.left + 1;
    comboList_->SetBounds(cell.left + gridPos.x + 2, cell.top + gridPos.y + 1, width, height);
    comboCell_ = {col, row};
    comboList_->SetVisible(true);
    comboList_->BringToFront();
    if (comboList_->CanFocus()) comboList_->SetFocus();
    return true;
}

void TSortGrid::HideComboList() {
    if (comboList_ && comboList_->Visible()) comboList_->SetVisible(false);
}

void TSortGrid::CommitComboList() {
    if (!comboList_ || !comboList_->Visible()) return;
    const int index = comboList_->ItemIndex();
    const TGridCoord cell = comboCell_;
    if (index < 0 || cell.X < 0 || cell.X >= ColCount() || cell.Y >= RowCount()) {
        HideComboList();
        return;
    }
    const AnsiString text = comboList_->Items()[index];
    SetCells(cell.X, cell.Y, text);
    HideComboList();
    InvalidateCol(cell.X);
    if (CanFocus()) SetFocus();
    if (OnSetComboBox) OnSetComboBox(this, cell.X, cell.Y, text);
}

// ---- Selection -------------------------------------------------------------------------------

bool TSortGrid::IsRowSelected(int row) const { return selectedSet_.IndexOf(IntToStr(row)) >= 0; }

std::vector<int> TSortGrid::SelectedRows() const {
    std::vector<int> rows;
    for (int i = 0; i < selectedList_.Count(); ++i) rows.push_back(int(StrToIntDef(selectedList_[i], -1)));
    return rows;
}

void TSortGrid::AddSelected(int row) {
    const AnsiString s = IntToStr(row);
    if (selectedSet_.IndexOf(s) >= 0) return;
    selectedSet_.Add(s);
    selectedList_.Add(s);
}

void TSortGrid::RemoveSelected(int row) {
    const AnsiString s = IntToStr(row);
    if (const int i = selectedSet_.IndexOf(s); i >= 0) selectedSet_.Delete(i);
    if (const int i = selectedList_.IndexOf(s); i >= 0) selectedList_.Delete(i);
}

void TSortGrid::SelectOnly(int row) {
    selectedSet_.Clear();
    selectedList_.Clear();
    AddSelected(row);
    InvalidateGrid();
}

void TSortGrid::RowSelected() {
    InvalidateGrid();
    if (OnRowSelected) OnRowSelected(this);
}

void TSortGrid::ScrollRowIntoView(int row) {
    const int visible = std::max(1, VisibleRowCount());
    int top = row >= RowCount() - visible ? RowCount() - visible : row - 1;
    top = std::max(top, std::max(1, FixedRows()));
    top = std::min(top, RowCount() - 1);
    SetTopRow(top);
}

void TSortGrid::SelectGridCell(int col, int row, bool scrollIntoView) {
    if (RowCount() < 2 || ColCount() < 1) return;
    col = std::clamp(col, 0, ColCount() - 1);
    row = std::clamp(row, 1, RowCount() - 1);
    if (!SelectCell(col, row)) return;
    // Only the form this grid sits on holds its painting meanwhile.
    TCustomForm* form = GetParentForm(this);
    const HWND locked = form && form->HandleAllocated() && LockWindowUpdate(form->Handle()) ? form->Handle() : nullptr;
    struct Unlock {
        HWND window;
        ~Unlock() {
            if (window) UnlockWindowUpdate(window);
        }
    } unlock{locked};
    MoveCurrent(col, row, true, false);
    SelectOnly(row);
    if (scrollIntoView) {
        if (col < LeftCol()) {
            SetLeftCol(std::max(col, FixedCols()));
        } else {
            while (col > DrawInfo().Horz.LastFullVisibleCell && LeftCol() < col) SetLeftCol(LeftCol() + 1);
        }
        ScrollRowIntoView(row);
    }
}

bool TSortGrid::SelectCell(int col, int row) {
    bool check = false, combo = false, ellipsis = false;
    GetCellFormat(col, row, check, combo, ellipsis);
    if (combo) {
        ShowComboList(col, row);
        if (GetKeyState(VK_TAB) < 0 && col + 1 < ColCount() - 1) SetCol(col + 1);
        return false;
    }
    if (check) return false;
    if (!TMyStringGrid::SelectCell(col, row)) return false;
    if (reselectPending_) {
        reselectPending_ = false;
        SelectOnly(row);
        RowSelected();
    }
    InvalidateRow(Row());
    InvalidateRow(row);
    return true;
}

// ---- Validation ------------------------------------------------------------------------------

AnsiString TSortGrid::GetEditText(int col, int row) {
    const AnsiString value = TMyStringGrid::GetEditText(col, row);
    editStart_ = {col, row, Cells(col, row), modified_};
    return value;
}

void TSortGrid::SetEditText(int col, int row, const AnsiString& value) {
    if (sorting_) return; // the rows are moving; nothing is written meanwhile
    const bool changed = value != Cells(col, row);
    TMyStringGrid::SetEditText(col, row, value);
    if (changed) SetModified(true);
}

void TSortGrid::RememberEditStart() { editStart_ = {Col(), Row(), Cells(Col(), Row()), modified_}; }

void TSortGrid::ValidateCell() {
    const EditStart start = editStart_;
    if (start.col >= 0 && start.col < ColCount() && start.row >= 0 && start.row < RowCount()) {
        const AnsiString current = Cells(start.col, start.row);
        if (current != start.text) {
            AnsiString value = current;
            bool valid = true;
            if (OnCellValidate) OnCellValidate(this, start.col, start.row, start.text, value, valid);
            if (valid) {
                if (value != current) SetCells(start.col, start.row, value);
            } else {
                SetCells(start.col, start.row, value != current ? value : start.text);
                modified_ = start.modified;
            }
        }
    }
    RememberEditStart();
}

void TSortGrid::EditEnded() { ValidateCell(); }

// ---- Keyboard --------------------------------------------------------------------------------

void TSortGrid::KeyDown(WORD& key, TShiftState shift) {
    if (sorting_) {
        key = 0;
        return;
    }
    if (multiSelect_ && !EditorMode()) {
        if (key == VK_SHIFT) {
            SetOptions(Options() | goRangeSelect);
            selectedSet_.Clear();
            selectedList_.Clear();
        }
        if (IsNavigationKey(key)) reselectPending_ = true;
    }
    if (extendedKeys_ && !EditorMode() && (shift & ssCtrl)) {
        if (key == VK_INSERT) {
            if (shift & ssShift) InsertColumn(Col());
            else InsertRow(Row());
            key = 0;
            return;
        }
        if (key == VK_DELETE) {
            if (shift & ssShift) {
                if (ColCount() >= 2) DeleteColumn(Col());
            } else if (RowCount() >= 3) {
                DeleteRow(Row());
            }
            key = 0;
            return;
        }
    }
    TMyStringGrid::KeyDown(key, shift);
}

void TSortGrid::KeyUp(WORD& key, TShiftState shift) {
    TMyStringGrid::KeyUp(key, shift);
    if (sorting_) return;
    if (key == VK_SPACE && !EditorMode()) {
        bool check = false, combo = false, ellipsis = false;
        GetCellFormat(Col(), Row(), check, combo, ellipsis);
        if (combo) {
            if (!ShowComboList(Col(), Row())) HideComboList();
        } else if (check) {
            SetCellChecked(Col(), Row(), !CellChecked(Col(), Row()));
        } else if (ellipsis && OnSetEllipsis) {
            OnSetEllipsis(this, Col(), Row());
        }
    }
    if (!multiSelect_) return;
    if (key == VK_SHIFT) {
        const TGridRect sel = Selection();
        selectedSet_.Clear();
        selectedList_.Clear();
        for (int r = sel.Top; r <= sel.Bottom; ++r) AddSelected(r);
        RowSelected();
    } else if (IsNavigationKey(key) && !(shift & ssShift)) {
        SelectOnly(Row());
        SetOptions(Options() & ~unsigned(goRangeSelect));
        RowSelected();
    }
}

void TSortGrid::KeyPress(char& key) {
    if (sorting_) {
        key = 0;
        return;
    }
    if (key == '\r') ValidateCell();
    if (EditorMode()) {
        TMyStringGrid::KeyPress(key);
        return;
    }
    TMyStringGrid::KeyPress(key);
    if (uint8_t(key) > 32) {
        IncrementalSearch(key);
        key = 0;
    }
}

void TSortGrid::IncrementalSearch(char c) {
    const int col = sortOptions_->SortCol;
    if (col < 0 || col >= ColCount()) return;
    const char wanted = AsciiUpper(c);
    auto matches = [&](int r) {
        const AnsiString text = Cells(col, r);
        return !text.empty() && AsciiUpper(text[0]) == wanted;
    };
    for (int r = Row() + 1; r < RowCount(); ++r)
        if (matches(r)) return SelectGridCell(col, r, true);
    for (int r = 1; r <= Row() && r < RowCount(); ++r)
        if (matches(r)) return SelectGridCell(col, r, true);
}

// ---- Mouse -----------------------------------------------------------------------------------

void TSortGrid::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (sorting_) return;
    HideComboList();
    TGridCoord cell = MouseCoord(x, y);
    if (cell.X >= 0 && cell.Y < 0) cell.Y = RowCount() - 1;
    mouseDownCell_ = cell;
    // A click ends the edit of the cell left behind.
    ValidateCell();
    const bool dataRow = cell.Y >= FixedRows();
    if (multiSelect_ && button == mbLeft && !(shift & (ssShift | ssCtrl)) && dataRow) {
        if (!IsRowSelected(cell.Y)) {
            SelectOnly(cell.Y);
            RowSelected();
        } else {
            mouseDownPoint_ = {x, y};
        }
    }
    const bool runBase = !multiSelect_ || ((Options() & goRangeSelect) && (shift & ssShift) && button == mbLeft) ||
                         EditorMode() || (cell.Y >= 0 && cell.Y < FixedRows());
    if (runBase) {
        TMyStringGrid::MouseDown(button, shift, x, y);
    } else {
        if (CanFocus()) SetFocus();
        TCustomControl::MouseDown(button, shift, x, y);
    }
    if (button == mbLeft && (shift & ssDouble) && cell.X >= 0 && cell.Y == 0) {
        const RECT r = CellRect(cell.X, 0);
        if (x >= r.right - 3) AutoSizeColumn(cell.X, false);
        else if (x <= r.left + 3 && cell.X > 0) AutoSizeColumn(cell.X - 1, false);
    }
}

void TSortGrid::MouseMove(TShiftState shift, int x, int y) {
    if (sorting_) return;
    if ((shift & (ssLeft | ssRight | ssMiddle)) == ssLeft && mouseDownPoint_.x >= 0) {
        if (std::abs(x - mouseDownPoint_.x) > 10 || std::abs(y - mouseDownPoint_.y) > 10) {
            // The rows are being dragged away; the grid itself does nothing more.
            if (!dragging_) {
                dragging_ = true;
                BeginDrag(true);
            }
            return;
        }
    }
    TMyStringGrid::MouseMove(shift, x, y);
}

void TSortGrid::DoEndDrag(TObject* target, int x, int y) {
    // The release went to the drag, not to the grid.
    dragging_ = false;
    mouseDownPoint_ = {-1, -1};
    TMyStringGrid::DoEndDrag(target, x, y);
}

void TSortGrid::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (sorting_) return;
    if (dragging_) {
        dragging_ = false;
        mouseDownPoint_ = {-1, -1};
        return;
    }
    mouseDownPoint_ = {-1, -1};
    if (CanFocus()) SetFocus();
    TMyStringGrid::MouseUp(button, shift, x, y);
    TGridCoord cell = MouseCoord(x, y);
    if (cell.X >= 0 && cell.Y < 0) cell.Y = RowCount() - 1;
    const bool dataRow = cell.Y >= FixedRows();
    if (button == mbRight && dataRow && cell.X >= 0 && popup_) {
        POINT p;
        GetCursorPos(p);
        popup_->SetPopupComponent(this);
        popup_->Popup(p.x, p.y);
    }
    if (cell == mouseDownCell_ && cell.X >= 0 && dataRow) {
        bool check = false, combo = false, ellipsis = false;
        GetCellFormat(cell.X, cell.Y, check, combo, ellipsis);
        if (check) {
            SetCellChecked(cell.X, cell.Y, !CellChecked(cell.X, cell.Y));
        } else if (combo) {
            ShowComboList(cell.X, cell.Y);
        } else if (ellipsis && OnSetEllipsis) {
            const RECT r = CellRect(cell.X, cell.Y);
            if (x >= r.right - 16) OnSetEllipsis(this, cell.X, cell.Y);
        }
    }
    if (cell == mouseDownCell_ && cell.X >= 0 && cell.Y == 0 && FixedRows() > 0) {
        const RECT r = CellRect(cell.X, 0);
        if (x > r.left + 5 && x < r.right - 5) {
            TSortOptions& o = *sortOptions_;
            if (button == mbRight) o.SortDirection = sdDescending;
            else if (cell.X == o.SortCol && o.SortDirection == sdAscending) o.SortDirection = sdDescending;
            else o.SortDirection = sdAscending;
            InvalidateRow(0);
            SortByColumn(cell.X);
        }
    }
    if (dataRow && multiSelect_ && !EditorMode() && button == mbLeft && cell.X >= 0) {
        if (shift & ssShift) {
            const int from = std::min(Row(), cell.Y), to = std::max(Row(), cell.Y);
            selectedSet_.Clear();
            selectedList_.Clear();
            for (int r = from; r <= to; ++r) AddSelected(r);
        } else if (shift & ssCtrl) {
            if (!IsRowSelected(cell.Y)) AddSelected(cell.Y);
            else if (selectedList_.Count() > 1) RemoveSelected(cell.Y);
            const std::vector<int> rows = SelectedRows();
            if (!rows.empty() && rows.back() != Row()) MoveCurrent(Col(), rows.back(), true, true);
        } else {
            SelectOnly(cell.Y);
        }
        RowSelected();
    }
}

bool TSortGrid::DoMouseWheelDown(TShiftState, POINT) {
    ScrollRowIntoView(std::min(TopRow() + 2, RowCount() - 1));
    return true;
}

bool TSortGrid::DoMouseWheelUp(TShiftState, POINT) {
    ScrollRowIntoView(std::max(TopRow() - 2, 1));
    return true;
}

// ---- Messages --------------------------------------------------------------------------------

void TSortGrid::Dispatch(TMessage& m) {
    // While the rows move (the sort pumps messages), input that reaches the
    // grid is dropped: no click, key or edit may start another change.
    if (sorting_) {
        const bool input = (m.Msg >= WM_KEYFIRST && m.Msg <= WM_KEYLAST) ||
                           (m.Msg >= WM_MOUSEFIRST && m.Msg <= WM_MOUSELAST) || m.Msg == WM_COMMAND;
        if (input) {
            m.Result = 0;
            return;
        }
    }
    TMyStringGrid::Dispatch(m);
}

// ---- Column width ----------------------------------------------------------------------------

void TSortGrid::AutoSizeColumn(int col, bool force) {
    if (col < 0 || col >= ColCount()) return;
    if (ColWidths(col) == -1 && !force) return;
    TCanvas& canvas = Canvas();
    int widest = 0;
    bool any = false;
    for (int r = 0; r < RowCount(); ++r) {
        const AnsiString text = Cells(col, r);
        if (text.empty()) continue;
        any = true;
        canvas.Font().Assign(&Font());
        bool check = false, combo = false, ellipsis = false;
        GetCellFormat(col, r, check, combo, ellipsis);
        int w = canvas.TextWidth(text);
        if (r == 0 && sortOptions_->CanSort && col == sortOptions_->SortCol) w += 12;
        widest = std::max(widest, w);
    }
    canvas.Font().Assign(&Font());
    SetColWidths(col, any ? canvas.TextWidth("X") + widest : canvas.TextWidth("xx"));
}

} // namespace ax
