// Drop-down list combo box: the chosen item in a box with an arrow; the
// list drops down in a pop-up window that holds the mouse until it closes.
#include <algorithm>
#include <utility>

#include "framework/streaming.h"
#include "platform/window/paintscope.h"
#include "stdctrls/combobox.h"
#include "stdctrls/messages.h"
#include "stdctrls_internal.h"

namespace ax {

namespace {
constexpr const char* kDropClass = "AxComboDropList";

void RegisterDropClass() {
    WNDCLASS existing;
    if (GetClassInfo(kDropClass, existing)) return;
    WNDCLASS wc;
    wc.style = CS_SAVEBITS;
    wc.lpszClassName = kDropClass;
    wc.hbrBackground = SysColorBrushValue(COLOR_WINDOW);
    wc.lpfnWndProc = [](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
        auto* combo = reinterpret_cast<TCustomComboBox*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
        if (!combo) return DefWindowProc(hwnd, msg, wParam, lParam);
        // Reaches the combo's private handler through its message.
        MSG packed{hwnd, msg, wParam, lParam, 0, {}};
        TMessage m{WM_APP + 0x3C0, reinterpret_cast<WPARAM>(&packed), 0, 0};
        combo->Dispatch(m);
        return m.Result;
    };
    RegisterClass(wc);
}
constexpr UINT kDropMessage = WM_APP + 0x3C0;
} // namespace

TCustomComboBox::TCustomComboBox(TComponent* owner) : TCustomControl(owner) {
    SetBounds(0, 0, 145, 21);
    tabStop_ = true;
    color_ = clWindow;
    clicksDisabled_ = true;
    items_.OnChange = [this](TStringList&) {
        if (index_ >= items_.Count()) index_ = -1;
        Invalidate();
    };
}

TCustomComboBox::~TCustomComboBox() {
    if (dropWindow_) DestroyWindow(dropWindow_);
}

void TCustomComboBox::DefinePublished(TFiler& f) {
    TCustomControl::DefinePublished(f);
    f.Integer("DropDownCount", [this] { return dropDownCount_; }, [this](int64_t v) { SetDropDownCount(int(v)); }, 8);
    f.Integer("ItemIndex", [this] { return index_; }, [this](int64_t v) { SetItemIndex(int(v)); }, -1);
    f.Strings("Items", items_);
}

void TCustomComboBox::DestroyWnd() {
    SetDroppedDown(false);
    TCustomControl::DestroyWnd();
}

AnsiString TCustomComboBox::Text() const { return index_ >= 0 ? items_[index_] : AnsiString(); }

void TCustomComboBox::SetItemIndex(int index) {
    if (index < -1 || index >= items_.Count()) index = -1;
    if (index_ == index) return;
    index_ = index;
    Invalidate();
}

void TCustomComboBox::Change() {
    if (OnChange) OnChange(this);
}

void TCustomComboBox::Select() {
    if (OnSelect) OnSelect(this);
    else Change();
}

void TCustomComboBox::SelectByUser(int index) {
    index = std::clamp(index, 0, items_.Count() - 1);
    if (items_.Count() == 0 || index == index_) return;
    index_ = index;
    Invalidate();
    Click();
    Select();
}

void TCustomComboBox::SetDroppedDown(bool value) {
    if (value == DroppedDown()) return;
    if (value) {
        if (!HandleAllocated()) return;
        if (OnDropDown) OnDropDown(this);
        RegisterDropClass();
        const int rows = std::clamp(items_.Count(), 1, dropDownCount_);
        POINT p = ClientToScreen(POINT{0, Height()});
        const RECT wr = [&] {
            RECT r{};
            GetWindowRect(handle_, r);
            return r;
        }();
        p = {wr.left, wr.bottom};
        hot_ = index_;
        // The list never takes the focus: a display that activated it
        // would take the focus from the box, which closes the list.
        dropWindow_ = CreateWindowEx(WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE, kDropClass,
                                     "", WS_POPUP | WS_BORDER, p.x, p.y, wr.width(),
                                     rows * itemHeight_ + 2, handle_);
        SetWindowLongPtr(dropWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        ShowWindow(dropWindow_, SW_SHOWNA);
        SetCapture(dropWindow_);
    } else {
        HWND drop = dropWindow_;
        dropWindow_ = nullptr;
        openingPress_ = false;
        if (GetCapture() == drop) ReleaseCapture();
        DestroyWindow(drop);
        if (OnCloseUp) OnCloseUp(this);
    }
    Invalidate();
}

LRESULT TCustomComboBox::DropProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    RECT client{};
    GetClientRect(hwnd, client);
    switch (msg) {
    case WM_PAINT: {
        const PaintScope paint(hwnd);
        TCanvas c;
        c.SetHandle(paint.DC());
        c.Font().Assign(&Font());
        c.Brush().SetColor(clWindow);
        c.FillRect(client);
        for (int i = 0; i < items_.Count(); ++i) {
            const RECT r{0, i * itemHeight_, client.right, (i + 1) * itemHeight_};
            if (r.top >= client.bottom) break;
            c.Brush().SetStyle(bsSolid);
            c.Brush().SetColor(i == hot_ ? clHighlight : clWindow);
            c.FillRect(r);
            c.Brush().SetStyle(bsClear);
            c.Font().SetColor(i == hot_ ? clHighlightText : Font().Color());
            c.TextOut(r.left + 2, r.top, items_[i]);
        }
        c.SetHandle({});
        return 0;
    }
    case WM_MOUSEMOVE: {
        const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (PtInRect(&client, p)) {
            const int hot = std::min(p.y / itemHeight_, items_.Count() - 1);
            if (hot != hot_) {
                hot_ = hot;
                InvalidateRect(hwnd, nullptr, TRUE);
            }
        }
        return 0;
    }
    case WM_LBUTTONUP: {
        const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        const bool inside = PtInRect(&client, p);
        // Letting go of the press that opened the list anywhere but on a
        // row leaves the list open for a click.
        if (!inside && std::exchange(openingPress_, false)) return 0;
        const int index = inside ? p.y / itemHeight_ : -1;
        SetDroppedDown(false);
        if (index >= 0 && index < items_.Count()) SelectByUser(index);
        return 0;
    }
    case WM_LBUTTONDOWN: {
        const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        openingPress_ = false;
        if (!PtInRect(&client, p)) SetDroppedDown(false); // a press outside closes the list
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (dropWindow_ == hwnd && reinterpret_cast<HWND>(lParam) != hwnd) SetDroppedDown(false);
        return 0;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

void TCustomComboBox::Paint() {
    TCanvas& c = Canvas();
    RECT client = ClientRect();
    const int button = GetSystemMetrics(SM_CXVSCROLL);
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(color_);
    c.FillRect(client);
    DrawEdge(c.Handle(), &client, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    RECT text{client.left + 1, client.top + 1, client.right - button - 1, client.bottom - 1};
    if (focused_ && !DroppedDown()) {
        c.Brush().SetColor(clHighlight);
        c.FillRect(text);
        c.Font().SetColor(clHighlightText);
    } else {
        c.Font().SetColor(enabled_ ? Font().Color() : clGrayText);
    }
    RECT inner = text;
    inner.left += 2;
    CanvasDrawText(c, Text(), inner, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (focused_ && !DroppedDown()) c.DrawFocusRect(text);
    RECT arrow{client.right - button, client.top, client.right, client.bottom};
    UINT state = DFCS_SCROLLCOMBOBOX;
    if (DroppedDown()) state |= DFCS_PUSHED;
    if (!enabled_) state |= DFCS_INACTIVE;
    DrawFrameControl(c.Handle(), &arrow, DFC_SCROLL, state);
}

void TCustomComboBox::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (button == mbLeft) {
        if (CanFocus() && !focused_) SetFocus();
        SetDroppedDown(!DroppedDown());
        openingPress_ = DroppedDown();
    }
    TCustomControl::MouseDown(button, shift, x, y);
}

void TCustomComboBox::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case kDropMessage: {
        const MSG& packed = *reinterpret_cast<const MSG*>(m.WParam);
        m.Result = DropProc(packed.hwnd, packed.message, packed.wParam, packed.lParam);
        return;
    }
    case WM_SETFOCUS:
        TCustomControl::Dispatch(m);
        focused_ = true;
        Invalidate();
        return;
    case WM_KILLFOCUS:
        TCustomControl::Dispatch(m);
        focused_ = false;
        SetDroppedDown(false);
        Invalidate();
        return;
    }
    TCustomControl::Dispatch(m);
}

void TCustomComboBox::DefaultHandler(TMessage& m) {
    switch (m.Msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
        const TShiftState shift = CurrentShiftState();
        switch (m.WParam) {
        case VK_F4: SetDroppedDown(!DroppedDown()); return;
        case VK_UP:
        case VK_DOWN:
            if (shift & ssAlt) SetDroppedDown(!DroppedDown());
            else SelectByUser(index_ < 0 ? 0 : index_ + (m.WParam == VK_UP ? -1 : 1));
            return;
        case VK_HOME: SelectByUser(0); return;
        case VK_END: SelectByUser(items_.Count() - 1); return;
        case VK_RETURN:
        case VK_ESCAPE: SetDroppedDown(false); return;
        }
        break;
    }
    case CB_GETCOUNT: m.Result = items_.Count(); return;
    case CB_GETCURSEL: m.Result = index_; return;
    case CB_SETCURSEL:
        SetItemIndex(int(intptr_t(m.WParam)));
        m.Result = index_ >= 0 ? index_ : CB_ERR;
        return;
    case CB_ADDSTRING: m.Result = items_.Add(m.LParam ? reinterpret_cast<const char*>(m.LParam) : ""); return;
    case CB_INSERTSTRING: {
        const int at = intptr_t(m.WParam) < 0 ? items_.Count() : int(m.WParam);
        if (at > items_.Count()) {
            m.Result = CB_ERR;
            return;
        }
        items_.Insert(at, m.LParam ? reinterpret_cast<const char*>(m.LParam) : "");
        m.Result = at;
        return;
    }
    case CB_DELETESTRING:
        if (int(m.WParam) >= items_.Count()) {
            m.Result = CB_ERR;
            return;
        }
        items_.Delete(int(m.WParam));
        m.Result = items_.Count();
        return;
    case CB_RESETCONTENT:
        items_.Clear();
        index_ = -1;
        return;
    case CB_SHOWDROPDOWN: SetDroppedDown(m.WParam != 0); m.Result = 1; return;
    case CB_GETDROPPEDSTATE: m.Result = DroppedDown(); return;
    }
    TCustomControl::DefaultHandler(m);
}

} // namespace ax
