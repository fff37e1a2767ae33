// Keyboard, mouse and window messages of the grid engine, and the in-place
// editor's life: shown over the current cell, fed from it, written back.
#include <algorithm>

#include "controls/MyCustomGrid.h"
#include "framework/forms.h"
#include "platform/gdi/uniquegdiobject.h"
#include "platform/window/windowdc.h"
#include "stdctrls/messages.h"

namespace ax {

namespace {
constexpr UINT_PTR kScrollTimer = 1;
constexpr UINT kScrollTimerMs = 60;
enum Direction : unsigned { dirLeft = 1, dirRight = 2, dirUp = 4, dirDown = 8 };

bool IsPrintable(char c) { return c == '\b' || uint8_t(c) >= 32; }
} // namespace

// ---- Editor ----------------------------------------------------------------------------------

bool TMyCustomGrid::IsActiveControl() {
    if (!HandleAllocated()) return false;
    const HWND focus = GetFocus();
    if (focus == handle_) return true;
    return inplaceEdit_ && inplaceEdit_->HandleAllocated() && focus == inplaceEdit_->Handle();
}

bool TMyCustomGrid::CanEditShow() {
    return (options_ & goEditing) && !(options_ & goRowSelect) && editorMode_ && !HasState(csDesigning) &&
           HandleAllocated() && ((options_ & goAlwaysShowEditor) || IsActiveControl());
}

bool TMyCustomGrid::EditorShowing() {
    return inplaceEdit_ && inplaceEdit_->Visible() && editCell_.X >= 0;
}

std::unique_ptr<TInplaceEdit> TMyCustomGrid::CreateEditor() { return std::make_unique<TInplaceEdit>(this); }

void TMyCustomGrid::SetEditorMode(bool value) {
    if (value) ShowEditor();
    else HideEditor();
}

void TMyCustomGrid::ShowEditor() {
    editorMode_ = true;
    UpdateEdit();
}

void TMyCustomGrid::HideEditor() {
    editorMode_ = false;
    HideEdit();
}

void TMyCustomGrid::ShowEditorChar(char c) {
    ShowEditor();
    if (EditorShowing() && inplaceEdit_->HandleAllocated())
        PostMessage(inplaceEdit_->Handle(), WM_CHAR, WPARAM(uint8_t(c)), 0);
}

void TMyCustomGrid::UpdateEdit() {
    if (!CanEditShow()) return;
    bool reload = false;
    if (!inplaceEdit_) {
        std::unique_ptr<TInplaceEdit> editor = CreateEditor();
        inplaceEdit_ = editor.get();
        InsertComponent(std::move(editor));
        inplaceEdit_->SetGrid(this);
        reload = true;
    } else if (editCell_ != current_) {
        // A forgotten edit cell is only reloaded; another cell is written
        // back first.
        if (editCell_.X >= 0) HideEdit();
        reload = true;
    }
    if (reload) {
        editCell_ = current_;
        inplaceEdit_->UpdateContents();
        canEditModify_ = GetEditLimit() != -1;
        inplaceEdit_->SelectAll();
    }
    inplaceEdit_->Move(CellRect(current_.X, current_.Y));
}

void TMyCustomGrid::HideEdit() {
    if (!inplaceEdit_) return;
    const TGridCoord cell = editCell_;
    if (cell.X >= 0) UpdateText();
    editCell_ = {-1, -1};
    inplaceEdit_->Hide();
    if (cell.X >= 0) EditEnded();
}

void TMyCustomGrid::UpdateText() {
    if (inplaceEdit_ && editCell_.X >= 0 && editCell_.X < colCount_ && editCell_.Y < rowCount_)
        SetEditText(editCell_.X, editCell_.Y, inplaceEdit_->Text());
}

void TMyCustomGrid::EditorFocusLost(HWND to) {
    if (HandleAllocated() && to == handle_) return;
    // Leaving the editor for another control ends the edit.
    InvalidateRect(Selection());
    if (!(options_ & goAlwaysShowEditor)) HideEditor();
}

void TMyCustomGrid::InvalidateEditor() {
    editCell_ = {-1, -1};
    UpdateEdit();
}

// ---- Keyboard --------------------------------------------------------------------------------

LRESULT TMyCustomGrid::DialogCode() {
    LRESULT code = DLGC_WANTARROWS;
    if (!(options_ & goRowSelect)) {
        if (options_ & goTabs) code |= DLGC_WANTTAB;
        if (options_ & goEditing) code |= DLGC_WANTCHARS;
    }
    return code;
}

void TMyCustomGrid::TabMove(TGridCoord& cell, bool forward) const {
    const int start = cell.X;
    do {
        if (forward) {
            if (++cell.X >= colCount_) {
                cell.X = fixedCols_;
                if (++cell.Y >= rowCount_) cell.Y = fixedRows_;
            }
        } else {
            if (--cell.X < fixedCols_) {
                cell.X = colCount_ - 1;
                if (--cell.Y < fixedRows_) cell.Y = rowCount_ - 1;
            }
        }
    } while (!TabStops(cell.X) && cell.X != start);
}

void TMyCustomGrid::KeyDown(WORD& key, TShiftState shift) {
    TCustomControl::KeyDown(key, shift);
    if (key == 0) return;
    if (!CanGridAcceptKey(key, shift)) {
        key = 0;
        return;
    }
    const TGridDrawInfo info = DrawInfo();
    const int pageWidth = std::max(1, info.Horz.LastFullVisibleCell - topLeft_.X);
    const int pageHeight = std::max(1, info.Vert.LastFullVisibleCell - topLeft_.Y);
    const bool rowSelect = options_ & goRowSelect;
    // Right to left, Left goes on to the next column and Right back.
    const int sign = RightToLeftLayout() ? -1 : 1;
    TGridCoord topLeft = topLeft_, cell = current_;
    bool anchorAlways = false;
    if (shift & ssCtrl) {
        switch (key) {
        case VK_UP: --topLeft.Y; break;
        case VK_DOWN: ++topLeft.Y; break;
        case VK_LEFT:
            if (!rowSelect) {
                cell.X -= pageWidth * sign;
                topLeft.X -= pageWidth * sign;
            }
            break;
        case VK_RIGHT:
            if (!rowSelect) {
                cell.X += pageWidth * sign;
                topLeft.X += pageWidth * sign;
            }
            break;
        case VK_PRIOR: cell.Y = topLeft_.Y; break;
        case VK_NEXT: cell.Y = info.Vert.LastFullVisibleCell; break;
        case VK_HOME:
            cell = {fixedCols_, fixedRows_};
            InvalidateGrid();
            break;
        case VK_END:
            cell = {colCount_ - 1, rowCount_ - 1};
            InvalidateGrid();
            break;
        }
    } else {
        switch (key) {
        case VK_UP: --cell.Y; break;
        case VK_DOWN: ++cell.Y; break;
        case VK_LEFT:
            if (rowSelect) cell.Y -= sign;
            else cell.X -= sign;
            break;
        case VK_RIGHT:
            if (rowSelect) cell.Y += sign;
            else cell.X += sign;
            break;
        case VK_NEXT:
            cell.Y += pageHeight;
            topLeft.Y += pageHeight;
            break;
        case VK_PRIOR:
            cell.Y -= pageHeight;
            topLeft.Y -= pageHeight;
            break;
        case VK_HOME:
            if (rowSelect) cell.Y = fixedRows_;
            else cell.X = fixedCols_;
            break;
        case VK_END:
            if (rowSelect) cell.Y = rowCount_ - 1;
            else cell.X = colCount_ - 1;
            break;
        case VK_TAB:
            if (!(shift & ssAlt)) {
                TabMove(cell, !(shift & ssShift));
                anchorAlways = true;
            }
            break;
        case VK_F2: SetEditorMode(true); break;
        }
    }
    const TGridCoord largest = CalcMaxTopLeft({colCount_ - 1, rowCount_ - 1}, info);
    topLeft.X = std::clamp(topLeft.X, fixedCols_, std::max(fixedCols_, largest.X));
    topLeft.Y = std::clamp(topLeft.Y, fixedRows_, std::max(fixedRows_, largest.Y));
    if (topLeft != topLeft_) MoveTopLeft(topLeft.X, topLeft.Y);
    cell.X = std::clamp(cell.X, fixedCols_, colCount_ - 1);
    cell.Y = std::clamp(cell.Y, fixedRows_, rowCount_ - 1);
    if (cell != current_) FocusCell(cell.X, cell.Y, anchorAlways || !(shift & ssShift));
}

void TMyCustomGrid::KeyPress(char& key) {
    TCustomControl::KeyPress(key);
    if (!(options_ & goAlwaysShowEditor) && key == '\r') {
        if (editorMode_) HideEditor();
        else ShowEditor();
        key = 0;
    }
}

// ---- Mouse -----------------------------------------------------------------------------------

void TMyCustomGrid::CalcSizingState(int x, int y, const TGridDrawInfo& info) {
    gridState_ = gsNormal;
    sizingIndex_ = -1;
    auto test = [this](const TGridAxisDrawInfo& axis, int pos, TGridState state) {
        const int lw = axis.EffectiveLineWidth;
        int range = lw, back = 0;
        if (range < 7) {
            range = 7;
            back = (range - lw) / 2;
        }
        int line = axis.FixedBoundary;
        for (int i = axis.FirstGridCell; i < axis.GridCellCount; ++i) {
            const int e = axis.GetExtent(i);
            line += std::max(e, 0);
            if (line > axis.GridBoundary) break;
            if (pos >= line - back && pos < line - back + range) {
                gridState_ = state;
                sizingPos_ = line;
                sizingOfs_ = line - pos;
                sizingIndex_ = i;
                return true;
            }
            if (e >= 0) line += lw;
        }
        return false;
    };
    if ((options_ & goColSizing) && y >= 0 && y < info.Vert.FixedBoundary && test(info.Horz, x, gsColSizing))
        return;
    if ((options_ & goRowSizing) && x >= 0 && x < info.Horz.FixedBoundary) test(info.Vert, y, gsRowSizing);
}

namespace {
// XOR drawing on the grid's own DC: drawing the same thing twice restores
// the screen.
class XorPen {
public:
    explicit XorPen(HWND window) : windowDc_(window), dc_(windowDc_.Get()) {
        saved_ = SaveDC(dc_);
        pen_.Reset(CreatePen(PS_DOT, 1, RGB(255, 255, 255)));
        SelectObject(dc_, pen_.Get());
        SetROP2(dc_, R2_XORPEN);
        SetBkMode(dc_, TRANSPARENT);
    }
    ~XorPen() { RestoreDC(dc_, saved_); } // the pen leaves the DC here, before it is deleted
    XorPen(const XorPen&) = delete;
    XorPen& operator=(const XorPen&) = delete;
    void Line(int x1, int y1, int x2, int y2) {
        MoveToEx(dc_, x1, y1, nullptr);
        LineTo(dc_, x2, y2);
    }

private:
    WindowDC windowDc_;
    HDC dc_;
    UniquePen pen_;
    int saved_ = 0;
};
} // namespace

void TMyCustomGrid::DrawSizingLine(const TGridDrawInfo& info) {
    if (!HandleAllocated()) return;
    XorPen pen(handle_);
    // The sizing position is the layout's; right to left the window shows
    // it mirrored, and the rows' lines run from the right edge.
    if (gridState_ == gsColSizing) {
        const int x = LayoutX(sizingPos_);
        pen.Line(x, 0, x, info.Vert.GridBoundary);
    } else if (RightToLeftLayout()) {
        pen.Line(ClientWidth(), sizingPos_, ClientWidth() - info.Horz.GridBoundary, sizingPos_);
    } else {
        pen.Line(0, sizingPos_, info.Horz.GridBoundary, sizingPos_);
    }
}

void TMyCustomGrid::DrawMove() {
    if (!HandleAllocated() || movePos_ < 0) return;
    const TGridDrawInfo info = DrawInfo();
    const bool cols = gridState_ == gsColMoving;
    const TGridAxisDrawInfo& axis = cols ? info.Horz : info.Vert;
    int start = 0, end = 0;
    if (!axis.RangePos(movePos_, movePos_, false, start, end)) return;
    // Right to left the layout's start of a column is its right edge.
    const int at = cols ? LayoutX(movePos_ <= moveIndex_ ? start : end) : (movePos_ <= moveIndex_ ? start : end);
    const RECT client = ClientRect();
    XorPen pen(handle_);
    // Five pixels wide, as five one-pixel lines so that XOR applies.
    for (int d = -2; d <= 2; ++d) {
        if (cols) pen.Line(at + d, 0, at + d, client.bottom);
        else pen.Line(0, at + d, client.right, at + d);
    }
}

void TMyCustomGrid::MoveAndScroll(int mouse, int cellHit, TGridDrawInfo& info, TGridAxisDrawInfo& axis,
                                  int scrollBar, POINT mousePt) {
    const bool cols = scrollBar == SB_HORZ;
    if (cellHit == movePos_) return;
    if (movePos_ == axis.FixedCellCount && mouse < axis.FixedBoundary) return;
    if (movePos_ == axis.GridCellCount - 1 && mouse > axis.GridBoundary) return;
    DrawMove();
    int target = cellHit;
    if (mouse < axis.FixedBoundary) {
        if (movePos_ > axis.FixedCellCount) {
            ModifyScrollBar(scrollBar, SB_LINEUP, 0, false);
            if (HandleAllocated()) UpdateWindow(handle_);
            info = DrawInfo();
        }
        target = (cols ? info.Horz : info.Vert).FirstGridCell;
    } else if (mouse >= axis.FullVisBoundary) {
        if (movePos_ == axis.LastFullVisibleCell && movePos_ < axis.GridCellCount - 1) {
            ModifyScrollBar(scrollBar, SB_LINEDOWN, 0, false);
            if (HandleAllocated()) UpdateWindow(handle_);
            info = DrawInfo();
        }
        target = (cols ? info.Horz : info.Vert).LastFullVisibleCell;
    } else if (cellHit < 0) {
        target = movePos_;
    }
    int origin = moveIndex_;
    const bool agreed = cols ? CheckColumnDrag(origin, target, mousePt) : CheckRowDrag(origin, target, mousePt);
    if (agreed) {
        moveIndex_ = origin;
        movePos_ = target;
    }
    DrawMove();
}

void TMyCustomGrid::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (!HasState(csDesigning) && (CanFocus() || !GetParentForm(this))) {
        SetFocus();
        if (!IsActiveControl()) {
            SetMouseCapture(false);
            TCustomControl::MouseDown(button, shift, x, y);
            return;
        }
    }
    // A double click was passed on as one before this point.
    if (button == mbLeft && !(shift & ssDouble)) {
        TGridDrawInfo info = DrawInfo();
        CalcSizingState(LayoutX(x), y, info);
        if (gridState_ != gsNormal) {
            // Pending painting first, so it cannot wipe out the inverted line.
            if (HandleAllocated()) UpdateWindow(handle_);
            DrawSizingLine(info);
        } else {
            const TGridCoord cell = MouseCoord(x, y);
            const POINT pt{x, y};
            if ((options_ & goRowMoving) && cell.X >= 0 && cell.X < fixedCols_ && cell.Y >= fixedRows_) {
                moveIndex_ = movePos_ = cell.Y;
                if (BeginRowDrag(moveIndex_, movePos_, pt)) {
                    gridState_ = gsRowMoving;
                    if (HandleAllocated()) UpdateWindow(handle_);
                    DrawMove();
                    SetTimer(handle_, kScrollTimer, kScrollTimerMs);
                }
            } else if ((options_ & goColMoving) && cell.Y >= 0 && cell.Y < fixedRows_ && cell.X >= fixedCols_) {
                moveIndex_ = movePos_ = cell.X;
                if (BeginColumnDrag(moveIndex_, movePos_, pt)) {
                    gridState_ = gsColMoving;
                    if (HandleAllocated()) UpdateWindow(handle_);
                    DrawMove();
                    SetTimer(handle_, kScrollTimer, kScrollTimerMs);
                }
            } else if (cell.X >= fixedCols_ && cell.Y >= fixedRows_) {
                if (!(options_ & goEditing)) {
                    gridState_ = gsSelecting;
                    SetTimer(handle_, kScrollTimer, kScrollTimerMs);
                    if (shift & ssShift) MoveAnchor(cell);
                    else MoveCurrent(cell.X, cell.Y, true, true);
                } else if (cell == current_) {
                    ShowEditor();
                } else {
                    MoveCurrent(cell.X, cell.Y, true, true);
                    UpdateEdit();
                }
            }
        }
    }
    TCustomControl::MouseDown(button, shift, x, y);
}

void TMyCustomGrid::MouseMove(TShiftState shift, int x, int y) {
    TGridDrawInfo info = DrawInfo();
    switch (gridState_) {
    case gsSelecting: {
        const TGridCoord cell = MouseCoord(x, y);
        if (cell.X >= fixedCols_ && cell.Y >= fixedRows_ && cell.X <= info.Horz.LastFullVisibleCell + 1 &&
            cell.Y <= info.Vert.LastFullVisibleCell + 1 && cell != anchor_)
            MoveAnchor(cell);
        break;
    }
    case gsColSizing:
    case gsRowSizing:
        DrawSizingLine(info);
        sizingPos_ = (gridState_ == gsColSizing ? LayoutX(x) : y) + sizingOfs_;
        DrawSizingLine(info);
        break;
    case gsColMoving: MoveAndScroll(LayoutX(x), MouseCoord(x, y).X, info, info.Horz, SB_HORZ, {x, y}); break;
    case gsRowMoving: MoveAndScroll(y, MouseCoord(x, y).Y, info, info.Vert, SB_VERT, {x, y}); break;
    default: break;
    }
    TCustomControl::MouseMove(shift, x, y);
}

void TMyCustomGrid::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    const TGridState state = gridState_;
    switch (state) {
    case gsSelecting:
        MouseMove(shift, x, y);
        if (HandleAllocated()) KillTimer(handle_, kScrollTimer);
        gridState_ = gsNormal;
        UpdateEdit();
        Click();
        break;
    case gsColSizing:
    case gsRowSizing: {
        const TGridDrawInfo info = DrawInfo();
        DrawSizingLine(info);
        const TGridAxisDrawInfo& axis = state == gsColSizing ? info.Horz : info.Vert;
        int start = axis.FixedBoundary;
        for (int i = axis.FirstGridCell; i < sizingIndex_; ++i) start += axis.Span(i);
        const int size = sizingPos_ - start;
        gridState_ = gsNormal;
        if (state == gsColSizing) {
            if (size > 1 && sizingIndex_ < colCount_ && ColWidths(sizingIndex_) != -1)
                SetColWidths(sizingIndex_, size);
        } else if (size > 1 && sizingIndex_ < rowCount_) {
            SetRowHeights(sizingIndex_, size);
        }
        break;
    }
    case gsColMoving:
    case gsRowMoving: {
        DrawMove();
        if (HandleAllocated()) KillTimer(handle_, kScrollTimer);
        gridState_ = gsNormal;
        int from = moveIndex_, to = movePos_;
        const POINT pt{x, y};
        if (state == gsColMoving) {
            if (EndColumnDrag(from, to, pt) && from != to) MoveColumn(from, to);
        } else if (EndRowDrag(from, to, pt) && from != to) {
            MoveRow(from, to);
        }
        break;
    }
    default: break;
    }
    gridState_ = gsNormal;
    TCustomControl::MouseUp(button, shift, x, y);
}

void TMyCustomGrid::TimedScroll(unsigned direction) {
    TGridCoord anchor = anchor_;
    if ((direction & dirLeft) && anchor.X > fixedCols_) --anchor.X;
    if ((direction & dirRight) && anchor.X < colCount_ - 1) ++anchor.X;
    if ((direction & dirUp) && anchor.Y > fixedRows_) --anchor.Y;
    if ((direction & dirDown) && anchor.Y < rowCount_ - 1) ++anchor.Y;
    if (anchor != anchor_) MoveAnchor(anchor);
}

void TMyCustomGrid::CancelMode() {
    switch (gridState_) {
    case gsSelecting:
        if (HandleAllocated()) KillTimer(handle_, kScrollTimer);
        break;
    case gsColSizing:
    case gsRowSizing: DrawSizingLine(DrawInfo()); break;
    case gsColMoving:
    case gsRowMoving:
        DrawMove();
        if (HandleAllocated()) KillTimer(handle_, kScrollTimer);
        break;
    default: break;
    }
    gridState_ = gsNormal;
}

bool TMyCustomGrid::DoMouseWheelDown(TShiftState, POINT) {
    if (current_.Y < rowCount_ - 1) SetRow(current_.Y + 1);
    return true;
}

bool TMyCustomGrid::DoMouseWheelUp(TShiftState, POINT) {
    if (current_.Y > fixedRows_) SetRow(current_.Y - 1);
    return true;
}

// ---- Messages --------------------------------------------------------------------------------

void TMyCustomGrid::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case WM_CHAR:
        if ((options_ & goEditing) && IsPrintable(char(m.WParam))) {
            ShowEditorChar(char(m.WParam));
            return;
        }
        break;
    case CM_WANTSPECIALKEY:
        m.Result = (options_ & goEditing) && m.WParam == VK_RETURN;
        return;
    case WM_COMMAND:
        if (inplaceEdit_ && inplaceEdit_->HandleAllocated() &&
            reinterpret_cast<HWND>(m.LParam) == inplaceEdit_->Handle()) {
            if (HIWORD(m.WParam) == EN_CHANGE) UpdateText();
            return;
        }
        break;
    case WM_KILLFOCUS: {
        TCustomControl::Dispatch(m);
        InvalidateRect(Selection());
        const HWND to = reinterpret_cast<HWND>(m.WParam);
        const bool toEditor = inplaceEdit_ && inplaceEdit_->HandleAllocated() && to == inplaceEdit_->Handle();
        if (!toEditor && !(options_ & goAlwaysShowEditor)) HideEditor();
        return;
    }
    case WM_SETFOCUS: {
        TCustomControl::Dispatch(m);
        const HWND from = reinterpret_cast<HWND>(m.WParam);
        const bool fromEditor = inplaceEdit_ && inplaceEdit_->HandleAllocated() && from == inplaceEdit_->Handle();
        if (!fromEditor) {
            InvalidateRect(Selection());
            UpdateEdit();
        }
        return;
    }
    case WM_SETCURSOR:
        if (LOWORD(uintptr_t(m.LParam)) == HTCLIENT && gridState_ == gsNormal && Screen()) {
            POINT p;
            GetCursorPos(p);
            p = ScreenToClient(p);
            const TGridDrawInfo info = DrawInfo();
            const int savedIndex = sizingIndex_, savedPos = sizingPos_, savedOfs = sizingOfs_;
            CalcSizingState(p.x, p.y, info);
            const TGridState hit = gridState_;
            gridState_ = gsNormal;
            sizingIndex_ = savedIndex;
            sizingPos_ = savedPos;
            sizingOfs_ = savedOfs;
            if (hit == gsRowSizing || hit == gsColSizing) {
                ::ax::SetCursor(Screen()->Cursors(hit == gsRowSizing ? crVSplit : crHSplit));
                m.Result = 1;
                return;
            }
        }
        break;
    case WM_SIZE:
        TCustomControl::Dispatch(m);
        UpdateScrollRange();
        // Mirrored against the width: every pixel moves with it.
        if (RightToLeftLayout()) InvalidateGrid();
        return;
    case CM_BIDIMODECHANGED:
        TCustomControl::Dispatch(m);
        InvalidateGrid();
        UpdateScrollPos();
        if (inplaceEdit_ && inplaceEdit_->Visible()) inplaceEdit_->Move(CellRect(current_.X, current_.Y));
        return;
    case CM_SHOWINGCHANGED:
        TCustomControl::Dispatch(m);
        UpdateScrollRange();
        return;
    case WM_HSCROLL:
    case WM_VSCROLL:
        if (m.LParam == 0) {
            ModifyScrollBar(m.Msg == WM_HSCROLL ? SB_HORZ : SB_VERT, LOWORD(m.WParam), short(HIWORD(m.WParam)));
            m.Result = 0;
            return;
        }
        break;
    case WM_TIMER:
        if (m.WParam == kScrollTimer && (gridState_ == gsSelecting || gridState_ == gsColMoving ||
                                         gridState_ == gsRowMoving)) {
            POINT p;
            GetCursorPos(p);
            p = ScreenToClient(p);
            TGridDrawInfo info = DrawInfo();
            const int x = LayoutX(p.x);
            if (gridState_ == gsSelecting) {
                unsigned direction = 0;
                if (x < info.Horz.FixedBoundary) direction |= dirLeft;
                else if (x > info.Horz.FullVisBoundary) direction |= dirRight;
                if (p.y < info.Vert.FixedBoundary) direction |= dirUp;
                else if (p.y > info.Vert.FullVisBoundary) direction |= dirDown;
                if (direction) TimedScroll(direction);
            } else if (gridState_ == gsColMoving) {
                MoveAndScroll(x, MouseCoord(p.x, p.y).X, info, info.Horz, SB_HORZ, p);
            } else {
                MoveAndScroll(p.y, MouseCoord(p.x, p.y).Y, info, info.Vert, SB_VERT, p);
            }
            return;
        }
        break;
    case WM_CANCELMODE:
    case CM_CANCELMODE:
        CancelMode();
        break;
    case CM_FONTCHANGED:
        if (inplaceEdit_) inplaceEdit_->SetFont(Font());
        break;
    case WM_LBUTTONDOWN:
        if (inplaceEdit_) inplaceEdit_->SetClickTime(GetMessageTime());
        break;
    case WM_MOUSEWHEEL: {
        const short delta = short(HIWORD(m.WParam));
        POINT p{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
        const TShiftState shift = KeysToShiftState(LOWORD(m.WParam));
        const bool handled = delta < 0 ? DoMouseWheelDown(shift, p) : DoMouseWheelUp(shift, p);
        m.Result = handled;
        return;
    }
    }
    TCustomControl::Dispatch(m);
}

} // namespace ax
