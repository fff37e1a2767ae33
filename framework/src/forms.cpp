// Forms (showing, modal runs, activation, the close query, the main form),
// the hint window, the application object (message loop, idle work, calls
// other threads queued with Synchronize run, exceptions shown) and the
// screen (its forms, the active form and control, cursors). GUI thread only.
#include "framework/forms.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "framework/helpviewer.h"
#include "framework/menus.h"
#include "framework/streaming.h"
#include "platform/gdi/scopedselection.h"
#include "platform/window/sysmenu.h"
#include "platform/window/windowdc.h"
#include "rtl/scopeguard.h"
#include "rtl/sysutils.h"
#include "rtl/threads.h"

namespace ax {

namespace {

TApplication* currentApplication = nullptr;
TScreen* currentScreen = nullptr;

constexpr UINT_PTR kHintTimer = 1, kHintHideTimer = 2;
constexpr const char* kAppClass = "TApplication";

} // namespace

TApplication* Application() { return currentApplication; }
TScreen* Screen() { return currentScreen; }

TCustomForm* GetParentForm(const TControl* control) {
    const TControl* c = control;
    while (c && c->Parent()) c = c->Parent();
    return dynamic_cast<TCustomForm*>(const_cast<TControl*>(c));
}

AnsiString GetShortHint(const AnsiString& hint) {
    const size_t bar = hint.find('|');
    return bar == AnsiString::npos ? hint : hint.substr(0, bar);
}

AnsiString GetLongHint(const AnsiString& hint) {
    const size_t bar = hint.find('|');
    return bar == AnsiString::npos ? hint : hint.substr(bar + 1);
}

// ---- TCustomForm --------------------------------------------------------------------------

TCustomForm::TCustomForm(TComponent* owner) : TWinControl(owner), icon_(std::make_unique<TIcon>()) {
    visible_ = false;
    color_ = clBtnFace;
    left_ = 100;
    top_ = 100;
    width_ = 320;
    height_ = 240;
    if (Screen()) Screen()->AddForm(this);
    icon_->OnChange = [this](TObject*) {
        if (handle_) Perform(CM_ICONCHANGED);
    };
}

TCustomForm::~TCustomForm() {
    Destroying();
    if (OnDestroy) {
        try {
            OnDestroy(this);
        } catch (...) {
            HandleControlException();
        }
    }
    // The windows go first, all together; then the components, which may
    // refer to the form's controls.
    DestroyHandle();
    DestroyComponents();
    if (Screen()) Screen()->RemoveForm(this);
    if (Application() && Application()->MainForm() == this) Application()->SetMainForm(nullptr);
}

void TCustomForm::DoCreate() {
    if (created_) return;
    created_ = true;
    if (OnCreate) OnCreate(this);
    if (visible_) UpdateShowing();
}

void TCustomForm::Loaded() {
    TWinControl::Loaded();
    if (activeControl_ && !activeControl_->CanFocus()) activeControl_ = nullptr;
}

void TCustomForm::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
    // Components without a parent first (menus, timers...), then controls.
    for (int i = 0; i < ComponentCount(); ++i) {
        TComponent* c = Components(i);
        if (!c->HasParent() || !c->GetParentComponent()) {
            if (!dynamic_cast<TControl*>(c) && !dynamic_cast<TMenuItem*>(c)) proc(c);
        }
    }
    for (TControl* c : controls_)
        if (c->Owner() == root) proc(c);
}

void TCustomForm::SetBorderStyle(TBorderStyle style) {
    if (style == borderStyle_) return;
    borderStyle_ = style;
    RecreateWnd();
}

void TCustomForm::SetBorderIcons(TBorderIcons icons) {
    if (icons == borderIcons_) return;
    borderIcons_ = icons;
    RecreateWnd();
}

void TCustomForm::SetFormStyle(TFormStyle style) {
    if (style == formStyle_) return;
    formStyle_ = style;
    if (handle_)
        SetWindowPos(handle_, style == fsStayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

TWindowState TCustomForm::WindowState() const {
    if (handle_) {
        if (IsIconic(handle_)) return wsMinimized;
        if (IsZoomed(handle_)) return wsMaximized;
        return wsNormal;
    }
    return windowState_;
}

void TCustomForm::SetWindowState(TWindowState state) {
    windowState_ = state;
    if (handle_ && showing_)
        ShowWindow(handle_, state == wsMinimized ? SW_MINIMIZE : state == wsMaximized ? SW_MAXIMIZE : SW_RESTORE);
}

void TCustomForm::CreateParams(TCreateParams& p) {
    TWinControl::CreateParams(p);
    p.WndParent = parentWindow_;
    p.Style = WS_CLIPCHILDREN;
    p.ExStyle = 0;
    switch (borderStyle_) {
    case bsNone: p.Style |= WS_POPUP; break;
    case bsSingle:
    case bsToolWindow: p.Style |= WS_CAPTION | WS_BORDER; break;
    case bsSizeable:
    case bsSizeToolWin: p.Style |= WS_CAPTION | WS_THICKFRAME; break;
    case bsDialog:
        p.Style |= WS_POPUP | WS_CAPTION;
        p.ExStyle |= WS_EX_DLGMODALFRAME;
        break;
    }
    if (borderStyle_ == bsToolWindow || borderStyle_ == bsSizeToolWin) p.ExStyle |= WS_EX_TOOLWINDOW;
    if (borderStyle_ != bsNone && (borderIcons_ & biSystemMenu)) {
        p.Style |= WS_SYSMENU;
        if (borderStyle_ != bsDialog && borderStyle_ != bsToolWindow && borderStyle_ != bsSizeToolWin) {
            if (borderIcons_ & biMinimize) p.Style |= WS_MINIMIZEBOX;
            if (borderIcons_ & biMaximize) p.Style |= WS_MAXIMIZEBOX;
        }
        if (borderIcons_ & biHelp) p.ExStyle |= WS_EX_CONTEXTHELP;
    }
    if (formStyle_ == fsStayOnTop) p.ExStyle |= WS_EX_TOPMOST;
    if (!enabled_) p.Style |= WS_DISABLED;
    p.WinClassName = ClassName();
}

void TCustomForm::CreateWnd() {
    TWinControl::CreateWnd();
    UpdateMenuBar();
    if (activeControl_ == nullptr) {
    }
}

bool TCustomForm::ShouldBeShowing() const {
    if (parent_) return TWinControl::ShouldBeShowing();
    return visible_ && created_;
}

void TCustomForm::ApplyPosition() {
    if (positioned_) return;
    positioned_ = true;
    int x = left_, y = top_;
    auto centreOn = [&](RECT area) {
        x = area.left + (area.width() - width_) / 2;
        y = area.top + (area.height() - height_) / 2;
    };
    const RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    switch (position_) {
    case poScreenCenter:
    case poDesktopCenter: centreOn(screen); break;
    case poMainFormCenter:
    case poOwnerFormCenter: {
        TCustomForm* other = position_ == poOwnerFormCenter ? dynamic_cast<TCustomForm*>(Owner()) : nullptr;
        if (!other && Application()) other = Application()->MainForm();
        if (other && other != this) centreOn(other->BoundsRect());
        else centreOn(screen);
        break;
    }
    default: break;
    }
    if (x != left_ || y != top_) SetBounds(x, y, width_, height_);
}

void TCustomForm::UpdateShowing() {
    const bool show = ShouldBeShowing();
    if (show == showing_ || parent_) {
        TWinControl::UpdateShowing();
        return;
    }
    if (show) {
        ApplyPosition();
        HandleNeeded();
        DoShow();
        showing_ = true;
        for (TWinControl* child : tabList_) child->UpdateShowing();
        int cmd = SW_SHOWNORMAL;
        if (windowState_ == wsMinimized) cmd = SW_SHOWMINIMIZED;
        else if (windowState_ == wsMaximized) cmd = SW_SHOWMAXIMIZED;
        ShowWindow(handle_, cmd);
        if (formStyle_ == fsStayOnTop)
            SetWindowPos(handle_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        SetActiveWindow(handle_);
        SetWindowFocus();
    } else {
        showing_ = false;
        if (handle_) {
            // Hand activation to another shown form of ours.
            const bool wasActive = GetActiveWindow() == handle_;
            ShowWindow(handle_, SW_HIDE);
            if (wasActive && Screen())
                for (int i = 0; i < Screen()->FormCount(); ++i) {
                    TCustomForm* f = Screen()->Forms(i);
                    if (f != this && f->showing_ && f->HandleAllocated() && IsWindowEnabled(f->handle_)) {
                        SetActiveWindow(f->handle_);
                        break;
                    }
                }
        }
        for (TWinControl* child : tabList_) child->UpdateShowing();
        DoHide();
    }
    Perform(CM_SHOWINGCHANGED);
}

void TCustomForm::DoShow() {
    if (OnShow) OnShow(this);
}

void TCustomForm::DoHide() {
    if (OnHide) OnHide(this);
}

void TCustomForm::Show() {
    if (!created_) DoCreate();
    SetVisible(true);
    if (handle_) BringWindowToTop(handle_);
}

void TCustomForm::SetWindowFocus() {
    if (!handle_) return;
    TWinControl* target = activeControl_;
    if (!target || !target->CanFocus()) target = FindNextControl(nullptr, true, true, false);
    if (target && target->CanFocus()) {
        activeControl_ = target;
        ::ax::SetFocus(target->Handle());
    } else {
        ::ax::SetFocus(handle_);
    }
}

void TCustomForm::SetActiveControl(TWinControl* control) {
    if (control == activeControl_) return;
    if (control && (control == this || GetParentForm(control) != this))
        throw EInvalidOperation("Invalid active control");
    if (control && showing_ && active_ && !control->CanFocus()) throw EInvalidOperation(SCannotFocus);
    activeControl_ = control;
    if (control && showing_ && handle_ && GetActiveWindow() == handle_) ::ax::SetFocus(control->Handle());
}

void TCustomForm::FocusControl(TWinControl* control) {
    if (!control->CanFocus()) throw EInvalidOperation(SCannotFocus);
    activeControl_ = control;
    if (showing_ && handle_) {
        if (GetActiveWindow() != handle_) SetActiveWindow(handle_);
        ::ax::SetFocus(control->Handle());
    }
}

void TCustomForm::DefocusControl(TWinControl* control, bool removing) {
    if (removing && control->ContainsControl(control)) {
        if (activeControl_ && control->ContainsControl(activeControl_)) activeControl_ = nullptr;
        if (focusedControl_ && control->ContainsControl(focusedControl_)) focusedControl_ = nullptr;
        return;
    }
    if (activeControl_ && control->ContainsControl(activeControl_)) {
        TWinControl* parent = control->Parent();
        activeControl_ = parent && parent != this ? parent : nullptr;
    }
}

void TCustomForm::SetFocusedControl(TWinControl* control) {
    if (control == focusedControl_) return;
    TWinControl* old = focusedControl_;
    focusedControl_ = control;
    activeControl_ = control == this ? activeControl_ : control;
    // Exit the old chain up to the common parent, enter the new one.
    std::vector<TWinControl*> oldChain, newChain;
    for (TWinControl* c = old; c && c != this; c = c->Parent()) oldChain.push_back(c);
    for (TWinControl* c = control; c && c != this; c = c->Parent()) newChain.push_back(c);
    for (TWinControl* c : oldChain)
        if (std::find(newChain.begin(), newChain.end(), c) == newChain.end()) c->Perform(CM_EXIT);
    for (auto it = newChain.rbegin(); it != newChain.rend(); ++it)
        if (std::find(oldChain.begin(), oldChain.end(), *it) == oldChain.end()) (*it)->Perform(CM_ENTER);
    Perform(CM_FOCUSCHANGED, 0, reinterpret_cast<LPARAM>(control));
    if (Screen()) Screen()->SetActiveControl(control);
}

void TCustomForm::SendCancelMode(TControl* sender) {
    if (active_ && activeControl_) activeControl_->Perform(CM_CANCELMODE, 0, reinterpret_cast<LPARAM>(sender));
    ReleaseCapture();
}

void TCustomForm::SetMenu(TMainMenu* menu) {
    if (menu_) menu_->RemoveFreeNotification(this);
    menu_ = menu;
    if (menu) menu->FreeNotification(this);
    UpdateMenuBar();
}

void TCustomForm::UpdateMenuBar() {
    if (!HandleAllocated() || parent_) return;
    // The window manager needs only some value that stands for the menu.
    HMENU value = menu_ ? reinterpret_cast<HMENU>(uintptr_t(menu_->Items()->Command())) : nullptr;
    if (GetMenu(handle_) == value) return;
    ::ax::SetMenu(handle_, value);
    Realign();
}

void TCustomForm::Notification(TComponent* component, TOperation operation) {
    TWinControl::Notification(component, operation);
    if (operation == opRemove) {
        if (component == menu_) {
            menu_ = nullptr;
            UpdateMenuBar();
        }
        if (component == activeControl_) activeControl_ = nullptr;
        if (component == focusedControl_) focusedControl_ = nullptr;
    }
}

void TCustomForm::ScaleBy(int m, int d) {
    if (d == 0 || m == d) return;
    auto scale = [&](int v) { return int((int64_t(v) * m + (v >= 0 ? d / 2 : -d / 2)) / d); };
    std::function<void(TWinControl&)> scaleChildren = [&](TWinControl& parent) {
        for (int i = 0; i < parent.ControlCount(); ++i) {
            TControl* c = parent.Controls(i);
            c->SetBounds(scale(c->Left()), scale(c->Top()), scale(c->Width()), scale(c->Height()));
            if (!c->ParentFont()) {
                c->Font().SetHeight(scale(c->Font().Height()));
            }
            if (auto* w = dynamic_cast<TWinControl*>(c)) scaleChildren(*w);
        }
    };
    DisableAlign();
    scaleChildren(*this);
    const RECT client = ClientRect();
    SetClientSize(scale(client.width()), scale(client.height()));
    Font().SetHeight(scale(Font().Height()));
    EnableAlign();
}

bool TCustomForm::CloseQuery() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(this, canClose);
    return canClose;
}

void TCustomForm::DoClose(TCloseAction& action) {
    if (OnClose) OnClose(this, action);
}

void TCustomForm::Close() {
    if (modal_) {
        modalResult_ = mrCancel;
        return;
    }
    if (!CloseQuery()) return;
    TCloseAction action = caHide;
    DoClose(action);
    if (action == caNone) return;
    if (Application() && Application()->MainForm() == this) {
        Application()->Terminate();
        if (action != caFree) Hide();
        return;
    }
    switch (action) {
    case caHide: Hide(); break;
    case caMinimize: SetWindowState(wsMinimized); break;
    case caFree: Release(); break;
    default: break;
    }
}

void TCustomForm::SetModalResult(TModalResult result) {
    modalResult_ = result;
    if (modal_ && result != mrNone && handle_) PostMessage(handle_, WM_NULL);
}

void TCustomForm::Release() {
    if (handle_) PostMessage(handle_, CM_RELEASE);
    else if (Owner()) Owner()->FreeComponent(this);
}

TModalResult TCustomForm::ShowModal() {
    if (visible_ || !enabled_ || modal_) throw EInvalidOperation(SCannotShowModal);
    if (!created_) DoCreate();
    ReleaseCapture();
    TApplication* app = Application();
    // Every other window of this thread waits.
    std::vector<HWND> disabled;
    HWND previousActive = GetActiveWindow();
    for (HWND w : EnumThreadTopWindows(GetCurrentThreadId())) {
        if (w == handle_ || !IsWindowVisible(w) || !IsWindowEnabled(w)) continue;
        if (app && w == app->Handle()) continue;
        EnableWindow(w, FALSE);
        disabled.push_back(w);
    }
    auto restore = [&] {
        for (HWND w : disabled)
            if (IsWindow(w)) EnableWindow(w, TRUE);
        if (previousActive && IsWindow(previousActive)) SetActiveWindow(previousActive);
    };
    modal_ = true;
    modalResult_ = mrNone;
    if (app) app->ModalStarted();
    ScopeGuard failed([&] {
        modal_ = false;
        if (app) app->ModalFinished();
        Hide();
        restore();
    });
    Show();
    SetActiveWindow(Handle());
    do {
        if (app) app->HandleMessage();
        else {
            MSG msg;
            if (GetMessage(msg, nullptr, 0, 0) <= 0) modalResult_ = mrCancel;
            else {
                TranslateMessage(msg);
                DispatchMessage(msg);
            }
        }
        if (app && app->Terminated()) modalResult_ = mrCancel;
        else if (modalResult_ != mrNone) {
            // Closing may be refused.
            TCloseAction action = caHide;
            if (CloseQuery()) DoClose(action);
            else action = caNone;
            if (action == caNone) modalResult_ = mrNone;
        }
    } while (modalResult_ == mrNone);
    failed.Dismiss();
    modal_ = false;
    if (app) app->ModalFinished();
    restore();
    Hide();
    return modalResult_;
}

void TCustomForm::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case WM_CLOSE: Close(); return;
    case WM_DESTROY:
        // The main window taken away from outside (its display window was
        // destroyed) ends the application, as closing it would.
        if (!destroyingHandle_ && !HasState(csDestroying) && Application() && Application()->MainForm() == this)
            Application()->Terminate();
        DefaultHandler(m);
        return;
    case CM_RELEASE:
        if (Owner()) Owner()->FreeComponent(this);
        return;
    case WM_ACTIVATE: {
        const bool active = LOWORD(m.WParam) != WA_INACTIVE;
        active_ = active;
        if (active) {
            if (Screen()) Screen()->SetActiveForm(this);
            if (IsWindowVisible(handle_)) SetWindowFocus();
            if (OnActivate) OnActivate(this);
        } else if (OnDeactivate) {
            OnDeactivate(this);
        }
        DefaultHandler(m);
        return;
    }
    case WM_ACTIVATEAPP:
        if (Application()) Application()->ActivateApp(m.WParam != 0);
        DefaultHandler(m);
        return;
    case WM_SYSCOMMAND:
        if ((m.WParam & 0xFFF0) == SC_MINIMIZE && Application() && Application()->MainForm() == this) {
            Application()->Minimize();
            return;
        }
        if ((m.WParam & 0xFFF0) == SC_RESTORE && Application() && Application()->MainForm() == this &&
            Application()->Minimized()) {
            Application()->Restore();
            return;
        }
        if ((m.WParam & 0xFFF0) == SC_CLOSE) {
            Close();
            return;
        }
        if ((m.WParam & 0xFFF0) == SC_KEYMENU && m.LParam != ' ' && menu_ && GetMenu(handle_)) {
            // Alt or F10 selects the bar's first item; Alt+letter opens its
            // item. Alt+Space is the window menu's.
            if (m.LParam == 0) menu_->TrackBar(handle_, 0, false, true);
            else menu_->TrackBarKey(handle_, char(m.LParam));
            return;
        }
        DefaultHandler(m);
        return;
    case WM_NCPAINT:
        DefaultHandler(m);
        if (menu_ && GetMenu(handle_)) menu_->PaintBar(handle_);
        return;
    case WM_NCLBUTTONDOWN:
        if (m.WParam == HTMENU && menu_ && GetMenu(handle_)) {
            POINT pt{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
            const std::vector<RECT> rects = menu_->BarItemRects(handle_);
            RECT wr;
            GetWindowRect(handle_, wr);
            for (size_t i = 0; i < rects.size(); ++i)
                if (PtInRect(&rects[i], POINT{pt.x - wr.left, pt.y - wr.top})) {
                    menu_->TrackBar(handle_, int(i), true, false);
                    return;
                }
            return;
        }
        DefaultHandler(m);
        return;
    case WM_SETFOCUS:
        DefaultHandler(m);
        if (activeControl_ && activeControl_->CanFocus() && activeControl_->HandleAllocated() &&
            activeControl_ != this)
            ::ax::SetFocus(activeControl_->Handle());
        return;
    case CM_DIALOGKEY:
        if (GetKeyState(VK_MENU) >= 0) {
            if (m.WParam == VK_TAB && GetKeyState(VK_CONTROL) >= 0) {
                SelectNext(activeControl_, GetKeyState(VK_SHIFT) >= 0, true);
                m.Result = 1;
                return;
            }
            if ((m.WParam == VK_LEFT || m.WParam == VK_UP || m.WParam == VK_RIGHT || m.WParam == VK_DOWN) &&
                activeControl_ && activeControl_->Parent()) {
                activeControl_->Parent()->SelectNext(activeControl_, m.WParam == VK_RIGHT || m.WParam == VK_DOWN,
                                                     false);
                m.Result = 1;
                return;
            }
        }
        TWinControl::Dispatch(m);
        return;
    case CM_ICONCHANGED: Invalidate(); return;
    }
    TWinControl::Dispatch(m);
}

void TCustomForm::DefinePublished(TFiler& f) {
    TWinControl::DefinePublished(f);
    f.Enum("BorderStyle", {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"},
           [this] { return int(borderStyle_); }, [this](int v) { SetBorderStyle(TBorderStyle(v)); }, int(bsSizeable));
    f.Set("BorderIcons", {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"}, [this] { return borderIcons_; },
          [this](unsigned v) { SetBorderIcons(v); }, biSystemMenu | biMinimize | biMaximize);
    f.Enum("Position",
           {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly", "poScreenCenter", "poDesktopCenter",
            "poMainFormCenter", "poOwnerFormCenter"},
           [this] { return int(position_); }, [this](int v) { position_ = TPosition(v); }, int(poDesigned));
    f.Enum("FormStyle", {"fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop"}, [this] { return int(formStyle_); },
           [this](int v) { SetFormStyle(TFormStyle(v)); }, int(fsNormal));
    f.Bool("KeyPreview", [this] { return keyPreview_; }, [this](bool v) { keyPreview_ = v; }, false);
    f.Integer("PixelsPerInch", [this] { return pixelsPerInch_; }, [this](int64_t v) { pixelsPerInch_ = int(v); },
              std::nullopt);
    f.ComponentRef(
        "ActiveControl", [this]() -> TComponent* { return activeControl_; },
        [this](TComponent* c) { activeControl_ = dynamic_cast<TWinControl*>(c); });
    f.ComponentRef(
        "Menu", [this]() -> TComponent* { return menu_; },
        [this](TComponent* c) { SetMenu(dynamic_cast<TMainMenu*>(c)); });
    f.DefineObject("Icon", icon_.get());
}

// ---- THintWindow -----------------------------------------------------------------------------

THintWindow::THintWindow(TComponent* owner) : TCustomControl(owner) {
    color_ = clInfoBk;
    visible_ = false;
    font_->SetColor(clInfoText);
}

void THintWindow::CreateParams(TCreateParams& p) {
    TCustomControl::CreateParams(p);
    p.Style = WS_POPUP | WS_BORDER;
    p.ExStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE;
    p.WndParent = nullptr;
    p.WindowClassStyle |= CS_SAVEBITS;
}

RECT THintWindow::CalcHintRect(int maxWidth, const AnsiString& hint) {
    const WindowDC dc(nullptr);
    const ScopedSelection useFont(dc.Get(), Font().Handle());
    RECT r{0, 0, maxWidth, 0};
    DrawText(dc.Get(), hint, &r, DT_CALCRECT | DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
    r.right += 6;
    r.bottom += 2;
    return r;
}

void THintWindow::ActivateHint(RECT rect, const AnsiString& hint) {
    SetText(hint);
    HandleNeeded();
    SetBounds(rect.left, rect.top, rect.width(), rect.height());
    SetWindowPos(handle_, HWND_TOPMOST, rect.left, rect.top, rect.width(), rect.height(),
                 SWP_SHOWWINDOW | SWP_NOACTIVATE);
    showing_ = true;
    visible_ = true;
    Invalidate();
}

void THintWindow::Paint() {
    TCanvas& c = Canvas();
    RECT r = ClientRect();
    c.Brush().SetColor(color_);
    c.FillRect(r);
    InflateRect(&r, -2, -1);
    c.Brush().SetStyle(bsClear);
    c.Font().SetColor(clInfoText);
    DrawText(c.Handle(), Text(), &r, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
}

// ---- TApplication ------------------------------------------------------------------------------

TApplication::TApplication(TComponent* owner) : TComponent(owner) {
    if (!currentApplication) currentApplication = this;
    screen_ = std::make_unique<TScreen>(nullptr);
    if (!currentScreen) currentScreen = screen_.get();
    SetMainThread(std::this_thread::get_id());
    ResetSynchronize();
    EnsureMessageQueue();
    SetControlExceptionHandler([this] { HandleException(this); });
    WNDCLASS wc;
    if (!GetClassInfo(kAppClass, wc)) {
        wc.lpszClassName = kAppClass;
        wc.lpfnWndProc = [](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            if (auto* app = Application(); app && app->handle_ == h) return app->AppProc(msg, w, l);
            return DefWindowProc(h, msg, w, l);
        };
        RegisterClass(wc);
    }
    handle_ = CreateWindowEx(WS_EX_TOOLWINDOW, kAppClass, "", WS_POPUP, 0, 0, 0, 0, nullptr);
    SetWindowMenuPresenter(ShowWindowMenu);
}

TApplication::~TApplication() {
    Destroying();
    // Workers blocked in a synchronised call go free: nobody serves them now.
    ReleaseSynchronize();
    CancelHint();
    DestroyComponents();
    if (handle_) DestroyWindow(handle_);
    handle_ = nullptr;
    SetControlExceptionHandler(nullptr);
    SetWindowMenuPresenter(nullptr);
    if (currentScreen == screen_.get()) currentScreen = nullptr;
    screen_.reset();
    if (currentApplication == this) currentApplication = nullptr;
}

void TApplication::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation != opRemove) return;
    if (component == mainForm_) mainForm_ = nullptr;
    if (component == hintWindow_) hintWindow_ = nullptr;
}

LRESULT TApplication::AppProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    try {
        if (msg == WM_TIMER) {
            if (wParam == kHintTimer) HintTimerExpired();
            else if (wParam == kHintHideTimer) HideHintTimerExpired();
            return 0;
        }
    } catch (...) {
        HandleException(this);
        return 0;
    }
    return DefWindowProc(handle_, msg, wParam, lParam);
}

void TApplication::Run() {
    if (mainForm_ && showMainForm_) mainForm_->Show();
    ScopeGuard release([] { ReleaseSynchronize(); });
    while (!terminated_) HandleMessage();
}

bool TApplication::IsKeyMsg(MSG& msg) {
    if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN && msg.message != WM_CHAR &&
        msg.message != WM_SYSCHAR)
        return false;
    // The nearest of our controls at or above the window.
    TWinControl* control = nullptr;
    for (HWND h = msg.hwnd; h && !control; h = GetParent(h)) control = TWinControl::FindControl(h);
    if (!control) return false;
    if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
        // Shortcuts of the form's menu come before the controls' keys.
        if (TCustomForm* form = GetParentForm(control); form && form->Menu()) {
            TShiftState shift = KeyDataToShiftState(msg.lParam);
            if (form->Menu()->IsShortCut(WORD(msg.wParam), shift)) return true;
        }
    }
    const UINT cn = msg.message == WM_KEYDOWN ? CN_KEYDOWN
                    : msg.message == WM_SYSKEYDOWN ? CN_SYSKEYDOWN
                    : msg.message == WM_CHAR ? CN_CHAR
                                             : CN_SYSCHAR;
    return control->Perform(cn, msg.wParam, msg.lParam) != 0;
}

bool TApplication::ProcessMessage(MSG& msg) {
    if (!PeekMessage(msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (msg.message == WM_QUIT) {
        terminated_ = true;
        return true;
    }
    bool handled = false;
    if (OnMessage) OnMessage(msg, handled);
    if (handled) return true;
    if (msg.message == WM_MOUSEMOVE || (msg.message >= WM_LBUTTONDOWN && msg.message <= WM_MBUTTONDBLCLK) ||
        msg.message == WM_KEYDOWN) {
        if (msg.message != WM_MOUSEMOVE) CancelHint();
    }
    if (IsKeyMsg(msg)) return true;
    TranslateMessage(msg);
    DispatchMessage(msg);
    if (msg.message == WM_MOUSEMOVE) DoMouseIdle();
    return true;
}

void TApplication::ProcessMessages() {
    MSG msg;
    CheckSynchronize();
    while (ProcessMessage(msg)) {
    }
}

void TApplication::Idle(const MSG&) {
    DoMouseIdle();
    bool done = true;
    if (OnIdle) {
        try {
            OnIdle(this, done);
        } catch (...) {
            HandleException(this);
        }
    }
    CheckSynchronize();
    if (done && !terminated_) WaitMessage();
}

void TApplication::HandleMessage() {
    MSG msg;
    try {
        if (!ProcessMessage(msg)) Idle(msg);
    } catch (...) {
        HandleException(this);
    }
}

void TApplication::Terminate() {
    PostQuitMessage(0);
}

void TApplication::SetTitle(const AnsiString& title) {
    title_ = title;
    if (handle_) SetWindowText(handle_, title);
}

bool TApplication::HelpCommand(WORD command, intptr_t data) {
    bool callHelp = true;
    bool result = false;
    if (OnHelp) result = OnHelp(command, data, callHelp);
    if (!callHelp || helpFile_.empty()) return result;
    // A name without a folder is the program's own help, beside it.
    const AnsiString file = helpFile_.front() == '/' ? helpFile_ : ProgramDirectory() + helpFile_;
    try {
        if (!helpViewer_) helpViewer_ = std::make_unique<THelpViewer>();
        return helpViewer_->Command(file, command, data);
    } catch (...) {
        // Help never raises to the control that asked for it: the user is
        // told why none came.
        HandleException(this);
        return false;
    }
}

void TApplication::HandleException(TObject* sender) {
    try {
        throw;
    } catch (const EAbort&) {
        // The silent exception.
    } catch (const std::exception& e) {
        if (OnException) OnException(sender, e);
        else ShowException(e);
    } catch (...) {
        const Exception unknown("Unknown exception");
        if (OnException) OnException(sender, unknown);
        else ShowException(unknown);
    }
}

void TApplication::ShowException(const std::exception& e) {
    AnsiString text = e.what();
    if (!text.empty() && text.back() != '.') text += '.';
    if (ExceptionDisplay) ExceptionDisplay(text, title_);
    else std::fprintf(stderr, "%s: %s\n", title_.c_str(), text.c_str());
}

void TApplication::SetHint(const AnsiString& hint) {
    if (hint == hint_) return;
    hint_ = hint;
    if (OnHint) {
        try {
            OnHint(this);
        } catch (...) {
            HandleException(this);
        }
    }
}

void TApplication::SetShowHint(bool v) {
    showHint_ = v;
    if (!v) CancelHint();
}

void TApplication::CancelHint() {
    if (handle_) {
        KillTimer(handle_, kHintTimer);
        KillTimer(handle_, kHintHideTimer);
    }
    if (hintWindow_ && hintWindow_->HandleAllocated()) hintWindow_->ReleaseHandle();
    hintActive_ = false;
    hintControl_ = nullptr;
}

void TApplication::ForgetControl(TControl* control) {
    if (control != mouseControl_ && control != hintControl_) return;
    CancelHint();
    if (control == mouseControl_) mouseControl_ = nullptr;
}

void TApplication::DoMouseIdle() {
    POINT p;
    GetCursorPos(p);
    TControl* control = nullptr;
    HWND h = WindowFromPoint(p);
    if (TWinControl* w = h ? TWinControl::FindControl(h) : nullptr) {
        if (w == hintWindow_) return;
        control = w;
        POINT c = w->ScreenToClient(p);
        if (TControl* g = w->ControlAtPos(c, true); g && !dynamic_cast<TWinControl*>(g)) control = g;
    }
    if (control == mouseControl_) return;
    if (mouseControl_) mouseControl_->Perform(CM_MOUSELEAVE);
    mouseControl_ = control;
    if (control) {
        control->Perform(CM_MOUSEENTER);
        SetHint(GetLongHint(control->Hint()));
    } else {
        SetHint("");
    }
    CancelHint();
    if (control && showHint_ && control->ShowHint() && !GetShortHint(control->Hint()).empty()) {
        hintControl_ = control;
        SetTimer(handle_, kHintTimer, UINT(hintPause_));
    }
}

void TApplication::HintTimerExpired() {
    KillTimer(handle_, kHintTimer);
    if (!hintControl_ || hintControl_ != mouseControl_) return;
    POINT p;
    GetCursorPos(p);
    ActivateHint(p);
}

void TApplication::ActivateHint(POINT cursor) {
    TControl* control = hintControl_;
    THintInfo info;
    info.HintControl = control;
    info.CursorPos = control->ScreenToClient(cursor);
    info.CursorRect = control->ClientRect();
    info.HintStr = GetShortHint(control->Hint());
    info.HintMaxWidth = Screen() ? Screen()->Width() : 640;
    info.HintColor = hintColor_;
    info.HideTimeout = hintHidePause_;
    if (control->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info)) != 0 || info.HintStr.empty()) return;
    if (!hintWindow_) hintWindow_ = TComponent::Create<THintWindow>(this);
    hintWindow_->SetColor(info.HintColor);
    RECT r = hintWindow_->CalcHintRect(info.HintMaxWidth, info.HintStr);
    OffsetRect(&r, cursor.x, cursor.y + 20);
    hintWindow_->ActivateHint(r, info.HintStr);
    hintActive_ = true;
    if (info.HideTimeout > 0) SetTimer(handle_, kHintHideTimer, UINT(info.HideTimeout));
}

void TApplication::HideHintTimerExpired() {
    KillTimer(handle_, kHintHideTimer);
    if (hintWindow_ && hintWindow_->HandleAllocated()) hintWindow_->ReleaseHandle();
    hintActive_ = false;
}

void TApplication::Minimize() {
    if (minimized_) return;
    minimized_ = true;
    if (mainForm_ && mainForm_->HandleAllocated()) ShowWindow(mainForm_->Handle(), SW_MINIMIZE);
    if (OnMinimize) OnMinimize(this);
}

void TApplication::Restore() {
    if (!minimized_) return;
    minimized_ = false;
    if (mainForm_ && mainForm_->HandleAllocated()) ShowWindow(mainForm_->Handle(), SW_RESTORE);
    if (OnRestore) OnRestore(this);
}

void TApplication::BringToFront() {
    if (mainForm_ && mainForm_->HandleAllocated()) {
        SetForegroundWindow(mainForm_->Handle());
        BringWindowToTop(mainForm_->Handle());
    }
}

void TApplication::ActivateApp(bool active) {
    if (active == active_) return;
    active_ = active;
    if (active && OnActivate) OnActivate(this);
    if (!active) {
        CancelHint();
        if (OnDeactivate) OnDeactivate(this);
    }
}

// ---- TScreen ---------------------------------------------------------------------------------------

TScreen::TScreen(TComponent* owner)
    : TComponent(owner), hintFont_(std::make_unique<TFont>()), menuFont_(std::make_unique<TFont>()),
      iconFont_(std::make_unique<TFont>()) {
    hintFont_->SetColor(clInfoText);
    menuFont_->SetColor(clMenuText);
}

TScreen::~TScreen() = default;

int TScreen::Width() const { return GetSystemMetrics(SM_CXSCREEN); }
int TScreen::Height() const { return GetSystemMetrics(SM_CYSCREEN); }

HCURSOR TScreen::Cursors(TCursor id) const {
    auto it = cursors_.find(id);
    if (it != cursors_.end()) return it->second.Get();
    unsigned stock = IDC_ARROW;
    switch (id) {
    case crNone: return HCURSOR{};
    case crCross: stock = IDC_CROSS; break;
    case crIBeam: stock = IDC_IBEAM; break;
    case crSizeNESW: stock = IDC_SIZENESW; break;
    case crSizeNS: stock = IDC_SIZENS; break;
    case crSizeNWSE: stock = IDC_SIZENWSE; break;
    case crSizeWE: stock = IDC_SIZEWE; break;
    case crUpArrow: stock = IDC_UPARROW; break;
    case crHourGlass:
    case crSQLWait: stock = IDC_WAIT; break;
    case crNo:
    case crNoDrop: stock = IDC_NO; break;
    case crAppStart: stock = IDC_APPSTARTING; break;
    case crHelp: stock = IDC_HELP; break;
    case crHandPoint: stock = IDC_HAND; break;
    case crSizeAll: stock = IDC_SIZEALL; break;
    default: break;
    }
    return LoadCursor(0, stock);
}

void TScreen::SetCursors(TCursor id, HCURSOR cursor) {
    auto it = cursors_.find(id);
    if (it != cursors_.end()) {
        if (it->second.Get() == cursor) return;
        cursors_.erase(it);
    }
    if (cursor) cursors_[id] = UniqueIcon(cursor);
}

void TScreen::SetCursor(TCursor cursor) {
    if (cursor == cursor_) return;
    cursor_ = cursor;
    if (cursor == crDefault) {
        // Each control's own cursor again, from the window under the mouse.
        POINT p;
        GetCursorPos(p);
        if (HWND h = WindowFromPoint(p))
            SendMessage(h, WM_SETCURSOR, reinterpret_cast<WPARAM>(h), MAKELPARAM(int(HTCLIENT), int(WM_MOUSEMOVE)));
    } else {
        ::ax::SetCursor(Cursors(cursor));
    }
}

const TStringList& TScreen::Fonts() {
    if (!fonts_) {
        fonts_ = std::make_unique<TStringList>();
        std::set<std::string> names;
        if (FcInit()) {
            FcPattern* pattern = FcPatternCreate();
            FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
            if (FcFontSet* set = FcFontList(nullptr, pattern, objects)) {
                for (int i = 0; i < set->nfont; ++i) {
                    FcChar8* family = nullptr;
                    if (FcPatternGetString(set->fonts[i], FC_FAMILY, 0, &family) == FcResultMatch && family)
                        names.insert(reinterpret_cast<const char*>(family));
                }
                FcFontSetDestroy(set);
            }
            FcObjectSetDestroy(objects);
            FcPatternDestroy(pattern);
        }
        for (const auto& n : names) fonts_->Add(n);
        fonts_->SetSorted(true);
    }
    return *fonts_;
}

void TScreen::AddForm(TCustomForm* form) { forms_.push_back(form); }

void TScreen::RemoveForm(TCustomForm* form) {
    forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end());
    if (activeForm_ == form) activeForm_ = nullptr;
    if (activeControl_ && form->ContainsControl(activeControl_)) activeControl_ = nullptr;
}

void TScreen::SetActiveForm(TCustomForm* form) {
    if (form == activeForm_) return;
    activeForm_ = form;
    // Most recently active first.
    auto it = std::find(forms_.begin(), forms_.end(), form);
    if (it != forms_.end()) {
        forms_.erase(it);
        forms_.insert(forms_.begin(), form);
    }
    if (OnActiveFormChange) OnActiveFormChange(this);
}

void TScreen::SetActiveControl(TWinControl* control) {
    if (control == activeControl_) return;
    activeControl_ = control;
    if (OnActiveControlChange) OnActiveControlChange(this);
}

} // namespace ax
