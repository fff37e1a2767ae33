// The grid's in-place editor.
#include "controls/InplaceEdit.h"

#include "controls/MyCustomGrid.h"
#include "framework/forms.h"
#include "platform/window/sound.h"
#include "rtl/scopeguard.h"

namespace ax {

TInplaceEdit::TInplaceEdit(TComponent* owner) : TCustomMaskEdit(owner) {
    SetCtl3D(false);
    SetBorderStyle(bsNone);
    SetTabStop(false);
    visible_ = false;
}

void TInplaceEdit::SetGrid(TMyCustomGrid* grid) {
    grid_ = grid;
    SetFont(grid->Font());
    SetParent(grid);
}

void TInplaceEdit::CreateParams(TCreateParams& p) {
    TCustomMaskEdit::CreateParams(p);
    p.Style &= ~DWORD(WS_TABSTOP);
}

LRESULT TInplaceEdit::DialogCode() {
    LRESULT code = DLGC_WANTARROWS | DLGC_WANTCHARS;
    if (grid_ && (grid_->Options() & goTabs)) code |= DLGC_WANTTAB;
    return code;
}

void TInplaceEdit::UpdateContents() {
    if (!grid_) return;
    loading_ = true;
    ScopeGuard done([this] { loading_ = false; });
    SetText("");
    SetEditMask(grid_->GetEditMask(grid_->Col(), grid_->Row()));
    SetText(grid_->GetEditText(grid_->Col(), grid_->Row()));
    SetMaxLength(std::max(0, grid_->GetEditLimit()));
}

void TInplaceEdit::Move(const RECT& rect) {
    if (IsRectEmpty(&rect)) {
        Hide();
        return;
    }
    const RECT before = BoundsRect();
    const bool wasVisible = Visible();
    SetBounds(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    if (!wasVisible) SetVisible(true);
    if (grid_ && grid_->HandleAllocated()) {
        // The area left and the area covered are painted again.
        ::ax::InvalidateRect(grid_->Handle(), &before, FALSE);
        ::ax::InvalidateRect(grid_->Handle(), &rect, FALSE);
    }
    BoundsChanged();
    if (grid_ && grid_->HandleAllocated() && GetFocus() == grid_->Handle()) SetFocus();
}

void TInplaceEdit::Hide() {
    if (!Visible()) return;
    const bool hadFocus = HandleAllocated() && GetFocus() == Handle();
    const RECT before = BoundsRect();
    SetVisible(false);
    if (grid_ && grid_->HandleAllocated()) {
        ::ax::InvalidateRect(grid_->Handle(), &before, FALSE);
        if (hadFocus && grid_->CanFocus()) grid_->SetFocus();
    }
}

void TInplaceEdit::BoundsChanged() {
    if (!HandleAllocated()) return;
    RECT r{2, 2, Width() - 2, Height()};
    Perform(EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(&r));
    Perform(EM_SCROLLCARET);
}

void TInplaceEdit::Deselect() { Perform(EM_SETSEL, 0x7FFFFFFF, -1); }

void TInplaceEdit::SetFocus() {
    // The grid must be able to be the form's focused control first.
    if (grid_ && !grid_->CanFocus()) return;
    if (HandleAllocated() && IsWindowVisible(Handle())) TCustomMaskEdit::SetFocus();
}

void TInplaceEdit::Change() {
    TCustomMaskEdit::Change();
    if (!loading_ && grid_ && grid_->HandleAllocated() && HandleAllocated())
        SendMessage(grid_->Handle(), WM_COMMAND, MAKEWPARAM(0, EN_CHANGE), reinterpret_cast<LPARAM>(Handle()));
}

void TInplaceEdit::SendToGrid(WORD& key, TShiftState shift) {
    if (grid_) grid_->KeyDown(key, shift);
    key = 0;
}

void TInplaceEdit::KeyDown(WORD& key, TShiftState shift) {
    if (!grid_) {
        TCustomMaskEdit::KeyDown(key, shift);
        return;
    }
    const bool canModify = grid_->CanEditModify();
    switch (key) {
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_ESCAPE: SendToGrid(key, shift); return;
    case VK_TAB:
        if (!(shift & ssAlt)) {
            SendToGrid(key, shift);
            return;
        }
        break;
    case VK_INSERT:
        if (shift == 0) {
            SendToGrid(key, shift);
            return;
        }
        if (shift == ssShift && !canModify) {
            key = 0;
            return;
        }
        break;
    case VK_F2:
        grid_->KeyDown(key, shift);
        if (key == VK_F2) {
            Deselect();
            key = 0;
        }
        return;
    case VK_DELETE:
        if (!canModify) {
            key = 0;
            return;
        }
        break;
    case 'V':
    case 'X':
        if ((shift & ssCtrl) && !canModify) {
            MessageBeep(0);
            key = 0;
            return;
        }
        break;
    }
    TCustomMaskEdit::KeyDown(key, shift);
}

void TInplaceEdit::KeyPress(char& key) {
    if (!grid_) {
        TCustomMaskEdit::KeyPress(key);
        return;
    }
    // The grid sees every character first (its own key event, validation
    // on Enter, the editor toggle).
    grid_->KeyPress(key);
    if (key == 0) return;
    const bool modifying = key == '\b' || key == 0x16 || key == 0x18 || uint8_t(key) >= 32;
    if (modifying && !grid_->CanEditModify()) {
        MessageBeep(0);
        key = 0;
        return;
    }
    switch (key) {
    case '\t':
    case 27: key = 0; return;
    case '\r': {
        DWORD start = 0, end = 0;
        Perform(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        if (start == 0 && end == DWORD(Text().size())) Deselect();
        else SelectAll();
        key = 0;
        return;
    }
    }
    TCustomMaskEdit::KeyPress(key);
}

void TInplaceEdit::DblClick() {
    if (grid_) grid_->DblClick();
}

void TInplaceEdit::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case WM_LBUTTONDOWN:
        // A press soon after the click that opened the editor is the second
        // half of a double click on the grid.
        if (GetMessageTime() - clickTime_ < GetDoubleClickTime()) m.Msg = WM_LBUTTONDBLCLK;
        break;
    case WM_MOUSEWHEEL:
        if (grid_) {
            m.Result = grid_->Perform(m.Msg, m.WParam, m.LParam);
            return;
        }
        break;
    case WM_PASTE:
    case WM_CUT:
    case WM_CLEAR:
        if (grid_ && !grid_->CanEditModify()) return;
        break;
    case CM_WANTSPECIALKEY:
        m.Result = m.WParam == VK_RETURN;
        return;
    case WM_KILLFOCUS:
        TCustomMaskEdit::Dispatch(m);
        if (grid_) grid_->EditorFocusLost(reinterpret_cast<HWND>(m.WParam));
        return;
    case WM_SIZE:
        TCustomMaskEdit::Dispatch(m);
        BoundsChanged();
        return;
    }
    TCustomMaskEdit::Dispatch(m);
}

} // namespace ax
