// The notification-area icon: adding, changing and removing it through the
// component's hidden window, turning the area's callback messages into mouse
// events and the pop-up menu, and stepping the animation on the GUI thread.
#include "controls/ExTrayIcon.h"

#include <algorithm>
#include <cstring>

#include "framework/forms.h"
#include "framework/streaming.h"

namespace ax {

namespace {
constexpr const char* kWindowClass = "TExTrayIconWindow";

TShiftState KeyShift() {
    TShiftState s = 0;
    if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
    if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
    if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
    return s;
}
} // namespace

TExTrayIcon::TExTrayIcon(TComponent* owner) : TComponent(owner) {
    WNDCLASS wc;
    if (!GetClassInfo(kWindowClass, wc)) {
        wc.lpszClassName = kWindowClass;
        wc.lpfnWndProc = [](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            auto* tray = reinterpret_cast<TExTrayIcon*>(GetWindowLongPtr(h, GWLP_USERDATA));
            return tray ? tray->WndProc(msg, w, l) : DefWindowProc(h, msg, w, l);
        };
        RegisterClass(wc);
    }
    window_ = CreateWindowEx(WS_EX_TOOLWINDOW, kWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr);
    SetWindowLongPtr(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    icon_ = std::make_unique<TIcon>();
    icons_ = std::make_unique<TIconList>();
    icon_->OnChange = [this](TObject*) { IconChanged(); };
    icons_->OnChange = [this](TObject*) { IconChanged(); };
    animation_ = TComponent::Create<TExTimer>(this);
    animation_->SetEnabled(false);
    animation_->SetInterval(interval_);
    animation_->SetOnTimer([this](TObject*) { NextIcon(); });
}

TExTrayIcon::~TExTrayIcon() {
    SetState(csDestroying);
    enabled_ = false;
    icon_->OnChange = nullptr;
    icons_->OnChange = nullptr;
    SetAnimated(false);
    Hide();
    SetWindowLongPtr(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
    DestroyComponents(); // the animation timer, before the icons it shows
}

void TExTrayIcon::DefinePublished(TFiler& f) {
    TComponent::DefinePublished(f);
    f.Bool("Active", [this] { return active_; }, [this](bool v) { SetActive(v); }, true);
    f.Bool("Enabled", [this] { return enabled_; }, [this](bool v) { SetEnabled(v); }, true);
    f.String("Hint", [this] { return hint_; }, [this](const AnsiString& v) { SetHint(v); });
    f.Integer("Interval", [this] { return interval_; }, [this](int64_t v) { SetInterval(uint16_t(v)); }, 150);
    f.DefineObject("Icon", icon_.get());
    f.DefineObject("Icons", icons_.get());
    f.Bool("Animated", [this] { return animated_; }, [this](bool v) { SetAnimated(v); }, false);
    f.ComponentRef("PopupMenu", [this] { return static_cast<TComponent*>(popupMenu_); },
                   [this](TComponent* c) { SetPopupMenu(dynamic_cast<TPopupMenu*>(c)); });
}

void TExTrayIcon::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation == opRemove && component == popupMenu_) popupMenu_ = nullptr;
}

void TExTrayIcon::Loaded() {
    TComponent::Loaded();
    if (active_ && !Designing()) Show();
}

void TExTrayIcon::SetActive(bool value) {
    if (active_ == value) return;
    active_ = value;
    if (Designing() || HasState(csLoading)) return;
    if (value) Show();
    else Hide();
}

void TExTrayIcon::SetHint(const AnsiString& hint) {
    if (hint_ == hint) return;
    hint_ = hint;
    IconChanged();
}

void TExTrayIcon::SetInterval(uint16_t ms) {
    interval_ = ms;
    animation_->SetInterval(ms);
}

void TExTrayIcon::SetPopupMenu(TPopupMenu* menu) {
    if (popupMenu_) popupMenu_->RemoveFreeNotification(this);
    popupMenu_ = menu;
    if (menu) menu->FreeNotification(this);
}

void TExTrayIcon::SetShowDesign(bool value) {
    if (!Designing()) return;
    showDesign_ = value;
    if (value) Show();
    else Hide();
    showDesign_ = added_;
}

void TExTrayIcon::SetAnimated(bool value) {
    if (icons_->Count() == 0) value = false;
    if (value == animated_) return;
    animated_ = value;
    animation_->SetEnabled(value && added_);
    iconIndex_ = 0;
    IconChanged();
}

TIcon* TExTrayIcon::ActiveIcon() const {
    if (animated_ && icons_->Count() > 0)
        return icons_->Icons(std::max(std::min(iconIndex_, icons_->Count() - 1), 0));
    return icon_.get();
}

NOTIFYICONDATA TExTrayIcon::NotifyData(TIcon* icon) const {
    NOTIFYICONDATA d;
    d.hWnd = window_;
    d.uID = 0;
    d.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    d.uCallbackMessage = WM_TRAYNOTIFY;
    d.hIcon = icon ? icon->Handle() : HICON{};
    const AnsiString tip = GetShortHint(hint_);
    std::memcpy(d.szTip, tip.data(), std::min<size_t>(tip.size(), sizeof d.szTip - 1));
    return d;
}

void TExTrayIcon::Show() {
    Hide();
    TIcon* icon = ActiveIcon();
    if (icon && !icon->Empty()) {
        buttons_ = 0;
        const NOTIFYICONDATA d = NotifyData(icon);
        added_ = Shell_NotifyIconA(NIM_ADD, &d);
        if (added_ && GetShortHint(hint_).empty()) Shell_NotifyIconA(NIM_MODIFY, &d);
    }
    if (animated_) animation_->SetEnabled(added_);
}

void TExTrayIcon::Hide() {
    NOTIFYICONDATA d = NotifyData(nullptr);
    d.uFlags = 0;
    Shell_NotifyIconA(NIM_DELETE, &d);
    added_ = false;
    buttons_ = 0;
    if (animated_) animation_->SetEnabled(false);
}

void TExTrayIcon::IconChanged() {
    if (icons_->Count() == 0) SetAnimated(false);
    if (added_) {
        TIcon* icon = ActiveIcon();
        if (icon && !icon->Empty()) {
            const NOTIFYICONDATA d = NotifyData(icon);
            Shell_NotifyIconA(NIM_MODIFY, &d);
        } else {
            Hide();
        }
    } else if ((Designing() && showDesign_) || (!Designing() && active_ && !HasState(csLoading | csDestroying))) {
        Show();
    }
}

void TExTrayIcon::NextIcon() {
    if (HasState(csDestroying) || !animated_) return;
    ++iconIndex_;
    if (iconIndex_ >= icons_->Count()) iconIndex_ = 0;
    IconChanged();
}

LRESULT TExTrayIcon::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != WM_TRAYNOTIFY || !enabled_) return DefWindowProc(window_, msg, wParam, lParam);
    try {
        HandleTrayMessage(UINT(lParam));
    } catch (...) {
        if (Application()) Application()->HandleException(this);
    }
    return 0;
}

void TExTrayIcon::HandleTrayMessage(UINT mouseMessage) {
    POINT p{};
    GetCursorPos(p);
    TShiftState shift = KeyShift();
    switch (mouseMessage) {
    case WM_MOUSEMOVE:
        if (OnMouseMove) OnMouseMove(this, shift, p.x, p.y);
        break;
    case WM_LBUTTONDOWN:
        buttons_ |= 1;
        if (OnMouseDown) OnMouseDown(this, mbLeft, shift | ssLeft, p.x, p.y);
        break;
    case WM_LBUTTONUP:
        shift |= ssLeft;
        if (buttons_ & 1) {
            buttons_ &= ~1u;
            ClickStep(mbLeft, shift, p.x, p.y);
        }
        if (OnMouseUp) OnMouseUp(this, mbLeft, shift, p.x, p.y);
        break;
    case WM_LBUTTONDBLCLK:
        DblClickStep();
        if (OnMouseDown) OnMouseDown(this, mbLeft, shift | ssDouble, p.x, p.y);
        break;
    case WM_RBUTTONDOWN:
        buttons_ |= 2;
        if (OnMouseDown) OnMouseDown(this, mbRight, shift | ssRight, p.x, p.y);
        break;
    case WM_RBUTTONUP:
        shift |= ssRight;
        if (buttons_ & 2) {
            buttons_ &= ~2u;
            ClickStep(mbRight, shift, p.x, p.y);
        }
        if (OnMouseUp) OnMouseUp(this, mbRight, shift, p.x, p.y);
        break;
    case WM_RBUTTONDBLCLK:
        if (OnMouseDown) OnMouseDown(this, mbRight, shift | ssDouble, p.x, p.y);
        break;
    case WM_MBUTTONDOWN:
        if (OnMouseDown) OnMouseDown(this, mbMiddle, shift | ssMiddle, p.x, p.y);
        break;
    case WM_MBUTTONUP:
        if (OnMouseUp) OnMouseUp(this, mbMiddle, shift | ssMiddle, p.x, p.y);
        break;
    case WM_MBUTTONDBLCLK:
        if (OnMouseDown) OnMouseDown(this, mbMiddle, shift | ssDouble, p.x, p.y);
        break;
    default: break;
    }
}

void TExTrayIcon::ClickStep(TMouseButton button, TShiftState shift, int x, int y) {
    if (button == mbRight && DoPopup(x, y)) return;
    if (OnClick) OnClick(this, button, shift, x, y);
}

bool TExTrayIcon::DoPopup(int x, int y) {
    if (Designing() || !active_ || !popupMenu_ || !popupMenu_->AutoPopup()) return false;
    popupMenu_->SetPopupComponent(this);
    if (!HasState(csDestroying) && Application()) {
        TCustomForm* form = Screen() ? Screen()->ActiveForm() : nullptr;
        if (!form) form = Application()->MainForm();
        if (form) form->SendCancelMode(nullptr);
    }
    auto toFront = [this] {
        if (IsWindowEnabled(window_)) SetForegroundWindow(window_);
    };
    toFront();
    if (Application()) Application()->ProcessMessages();
    struct Guard {
        decltype(toFront)& f;
        ~Guard() { f(); }
    } guard{toFront};
    popupMenu_->Popup(x, y);
    return true;
}

void TExTrayIcon::DblClickStep() {
    if (!Designing() && active_ && popupMenu_) {
        TMenuItem* items = popupMenu_->Items();
        for (int i = 0; i < items->Count(); ++i) {
            TMenuItem* item = items->Items(i);
            if (item->Default() && item->Enabled()) {
                item->Click();
                return;
            }
        }
    }
    if (OnDblClick) OnDblClick(this);
}

} // namespace ax
