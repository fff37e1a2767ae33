// The control classes' code. Window handles map back to their controls
// through one process-wide map; a window is made when first needed and
// remade from the control's state; messages pass through Dispatch, and an
// exception in a handler goes to the installed handler instead of the
// message loop. GUI thread only.
#include "framework/controls.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>

#include "framework/dragmanager.h"
#include "framework/forms.h"
#include "framework/menus.h"
#include "framework/streaming.h"
#include "platform/gdi/uniquegdiobject.h"
#include "platform/window/ime.h"
#include "platform/window/paintscope.h"
#include "rtl/scopeguard.h"

namespace ax {

namespace {

// Window handles of our controls. Handles are process-wide, so is this map.
struct ControlMap {
    std::mutex mutex;
    std::unordered_map<HWND, TWinControl*> map;
};
ControlMap& HandleMap() {
    static ControlMap m;
    return m;
}

std::function<void()>& ExceptionHandler() {
    static std::function<void()> handler;
    return handler;
}

TControl* captureControl = nullptr; // graphic control holding its parent's capture

HDC WParamDC(WPARAM w) { return HDC{{static_cast<uint32_t>(w)}}; }

// Locks the canvas for one paint; the returned guard lets go of the paint's DC and the lock
// however the paint ends.
auto LockForPaint(TControlCanvas& canvas) {
    canvas.Lock();
    return ScopeGuard([&canvas] {
        canvas.SetHandle({});
        canvas.Unlock();
    });
}

} // namespace

void SetControlExceptionHandler(std::function<void()> handler) { ExceptionHandler() = std::move(handler); }

void HandleControlException() {
    if (ExceptionHandler()) {
        ExceptionHandler()();
        return;
    }
    try {
        throw;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Unhandled exception: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "Unhandled exception\n");
    }
}

TShiftState KeysToShiftState(WPARAM keys) {
    TShiftState s = 0;
    if (keys & MK_SHIFT) s |= ssShift;
    if (keys & MK_CONTROL) s |= ssCtrl;
    if (keys & MK_LBUTTON) s |= ssLeft;
    if (keys & MK_RBUTTON) s |= ssRight;
    if (keys & MK_MBUTTON) s |= ssMiddle;
    if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
    return s;
}

TShiftState KeyDataToShiftState(LPARAM keyData) {
    TShiftState s = 0;
    if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
    if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
    if (keyData & 0x20000000) s |= ssAlt;
    return s;
}

TShiftState CurrentShiftState() {
    TShiftState s = 0;
    if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
    if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
    if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
    return s;
}

bool IsAccel(char c, const AnsiString& caption) {
    for (size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&') continue;
        if (caption[i + 1] == '&') {
            ++i;
            continue;
        }
        auto up = [](char x) { return (x >= 'a' && x <= 'z') ? char(x - 32) : x; };
        return up(caption[i + 1]) == up(c);
    }
    return false;
}

AnsiString StripHotkey(const AnsiString& caption) {
    AnsiString out;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&') {
            if (i + 1 < caption.size() && caption[i + 1] == '&') out += '&', ++i;
            continue;
        }
        out += caption[i];
    }
    return out;
}

// ---- TControl -------------------------------------------------------------------------------

TControl::TControl(TComponent* owner) : TComponent(owner), font_(std::make_unique<TFont>()) {
    WindowProc = [this](TMessage& m) { WndProc(m); };
    font_->OnChange = [this](TObject*) { FontChanged(); };
    constraints_ = std::make_unique<TSizeConstraints>();
    constraints_->OnChange = [this] { SetBounds(left_, top_, width_, height_); };
}

TControl::~TControl() {
    Destroying();
    TDragManager::ControlDestroyed(this);
    if (captureControl == this) captureControl = nullptr;
    if (Application()) Application()->ForgetControl(this);
    if (parent_) parent_->RemoveControl(this);
}

LRESULT TControl::Perform(UINT msg, WPARAM wParam, LPARAM lParam) {
    TMessage m{msg, wParam, lParam, 0};
    WindowProc(m);
    return m.Result;
}

void TControl::WndProc(TMessage& m) { Dispatch(m); }

void TControl::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case WM_LBUTTONDOWN: WMMouse(m, mbLeft, true, false); return;
    case WM_LBUTTONDBLCLK: WMMouse(m, mbLeft, true, true); return;
    case WM_LBUTTONUP: WMMouse(m, mbLeft, false, false); return;
    case WM_RBUTTONDOWN: WMMouse(m, mbRight, true, false); return;
    case WM_RBUTTONDBLCLK: WMMouse(m, mbRight, true, true); return;
    case WM_RBUTTONUP: WMMouse(m, mbRight, false, false); return;
    case WM_MBUTTONDOWN: WMMouse(m, mbMiddle, true, false); return;
    case WM_MBUTTONDBLCLK: WMMouse(m, mbMiddle, true, true); return;
    case WM_MBUTTONUP: WMMouse(m, mbMiddle, false, false); return;
    case WM_MOUSEMOVE:
        MouseMove(KeysToShiftState(m.WParam), GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam));
        return;
    case WM_CONTEXTMENU: WMContextMenu(m); return;
    case CM_MOUSEENTER: CMMouseEnter(m); return;
    case CM_MOUSELEAVE: CMMouseLeave(m); return;
    case CM_PARENTFONTCHANGED: CMParentFontChanged(m); return;
    case CM_PARENTCOLORCHANGED: CMParentColorChanged(m); return;
    case CM_PARENTSHOWHINTCHANGED: CMParentShowHintChanged(m); return;
    case CM_PARENTBIDIMODECHANGED:
        if (parentBiDiMode_) Perform(CM_BIDIMODECHANGED);
        return;
    case CM_HITTEST: CMHitTest(m); return;
    case CM_CANCELMODE:
        if (captureControl == this) SetMouseCapture(false);
        pressedLeft_ = false;
        return;
    case CM_ENABLEDCHANGED:
    case CM_FONTCHANGED:
    case CM_COLORCHANGED:
    case CM_TEXTCHANGED:
    case CM_VISIBLECHANGED:
    case CM_BIDIMODECHANGED:
        Invalidate();
        return;
    default: DefaultHandler(m);
    }
}

void TControl::DefaultHandler(TMessage& m) { m.Result = 0; }

void TControl::WMMouse(TMessage& m, TMouseButton button, bool down, bool dbl) {
    const int x = GET_X_LPARAM(m.LParam), y = GET_Y_LPARAM(m.LParam);
    TShiftState shift = KeysToShiftState(m.WParam);
    if (down) {
        if (dbl) {
            shift |= ssDouble;
            if (button == mbLeft) DblClick();
        }
        if (button == mbLeft) {
            pressedLeft_ = true;
            SetMouseCapture(true);
        }
        MouseDown(button, shift, x, y);
        if (button == mbLeft && !dbl && dragMode_ == dmAutomatic && pressedLeft_ && !HasState(csDesigning))
            BeginDrag(false);
    } else {
        if (button == mbLeft) {
            const bool wasPressed = pressedLeft_;
            pressedLeft_ = false;
            SetMouseCapture(false);
            const RECT r = ClientRect();
            if (wasPressed && !clicksDisabled_ && PtInRect(&r, POINT{x, y})) Click();
        }
        MouseUp(button, shift, x, y);
    }
}

void TControl::MouseDown(TMouseButton b, TShiftState s, int x, int y) {
    if (OnMouseDown) OnMouseDown(this, b, s, x, y);
}
void TControl::MouseUp(TMouseButton b, TShiftState s, int x, int y) {
    if (OnMouseUp) OnMouseUp(this, b, s, x, y);
}
void TControl::MouseMove(TShiftState s, int x, int y) {
    if (OnMouseMove) OnMouseMove(this, s, x, y);
}
void TControl::BeginDrag(bool immediate, int threshold) {
    TDragManager::Begin(this, immediate, threshold < 0 ? TDragManager::kDefaultThreshold : threshold);
}

void TControl::EndDrag(bool drop) {
    if (TDragManager::Source() == this) TDragManager::End(drop);
}

bool TControl::Dragging() const { return TDragManager::Active() && TDragManager::Source() == this; }

void TControl::DoControlDragOver(TObject* source, int x, int y, TDragState state, bool& accept) {
    accept = bool(OnDragOver);
    if (OnDragOver) OnDragOver(this, source, x, y, state, accept);
}

void TControl::DoControlDragDrop(TObject* source, int x, int y) {
    if (OnDragDrop) OnDragDrop(this, source, x, y);
}

void TControl::DoStartDrag(TDragObject*& dragObject) {
    if (OnStartDrag) OnStartDrag(this, dragObject);
}

void TControl::DoEndDrag(TObject* target, int x, int y) {
    if (OnEndDrag) OnEndDrag(this, target, x, y);
}

void TControl::DoStartDock(TDragDockObject*& dragObject) {
    if (OnStartDock) OnStartDock(this, dragObject);
}

void TControl::DoEndDock(TObject* target, int x, int y) {
    if (OnEndDock) OnEndDock(this, target, x, y);
}

bool TControl::MouseWheelEvents(const TMessage& m) {
    const int delta = GET_WHEEL_DELTA_WPARAM(m.WParam);
    const TMouseWheelUpDownEvent& event = delta < 0 ? OnMouseWheelDown : OnMouseWheelUp;
    if (delta == 0 || !event) return false;
    bool handled = false;
    event(this, KeysToShiftState(LOWORD(m.WParam)), POINT{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)}, handled);
    return handled;
}

void TControl::Click() {
    if (OnClick) OnClick(this);
}
void TControl::DblClick() {
    if (OnDblClick) OnDblClick(this);
}
void TControl::Resize() {
    if (OnResize) OnResize(this);
}
void TControl::Changed() { Perform(CM_CHANGED, 0, reinterpret_cast<LPARAM>(this)); }

void TControl::CMMouseEnter(TMessage&) {
    mouseInControl_ = true;
    if (OnMouseEnter) OnMouseEnter(this);
}
void TControl::CMMouseLeave(TMessage&) {
    mouseInControl_ = false;
    if (OnMouseLeave) OnMouseLeave(this);
}

bool TControl::MouseCapture() const {
    if (auto* w = dynamic_cast<const TWinControl*>(this)) return w->handle_ && GetCapture() == w->handle_;
    return captureControl == this;
}

void TControl::SetMouseCapture(bool value) {
    if (MouseCapture() == value) return;
    if (auto* w = dynamic_cast<TWinControl*>(this)) {
        if (value) SetCapture(w->Handle());
        else ReleaseCapture();
        return;
    }
    if (!parent_) return;
    if (value) {
        captureControl = this;
        SetCapture(parent_->Handle());
    } else {
        captureControl = nullptr;
        ReleaseCapture();
    }
}

void TControl::WMContextMenu(TMessage& m) {
    POINT screen{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
    if (m.LParam == -1) {
        POINT c{width_ / 2, height_ / 2};
        screen = ClientToScreen(c);
    }
    POINT client = ScreenToClient(screen);
    bool handled = false;
    if (OnContextPopup) OnContextPopup(this, client, handled);
    if (handled) {
        m.Result = 1;
        return;
    }
    if (popupMenu_ && popupMenu_->AutoPopup()) {
        SendCancelMode(nullptr);
        popupMenu_->SetPopupComponent(this);
        popupMenu_->Popup(screen.x, screen.y);
        m.Result = 1;
        return;
    }
    DefaultHandler(m);
}

void TControl::SendCancelMode(TControl* sender) {
    if (TCustomForm* form = GetParentForm(this)) form->SendCancelMode(sender);
}

void TControl::SetBounds(int left, int top, int width, int height) {
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    constraints_->Constrain(width, height);
    if (left == left_ && top == top_ && width == width_ && height == height_) return;
    InvalidateControl(visible_, false);
    const bool resized = width != width_ || height != height_;
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    Invalidate();
    if (parent_ && align_ != alNone) parent_->AlignControls(this);
    if (resized) Resize();
}

RECT TControl::ClientRect() { return {0, 0, width_, height_}; }

void TControl::SetClientSize(int width, int height) {
    const SIZE frame = NonClientSize();
    SetBounds(left_, top_, width + frame.cx, height + frame.cy);
}

void TControl::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation == opRemove && component == popupMenu_) popupMenu_ = nullptr;
}

POINT TControl::ClientOrigin() {
    if (auto* w = dynamic_cast<TWinControl*>(this); w && w->handle_) {
        POINT p{0, 0};
        ::ax::ClientToScreen(w->handle_, p);
        return p;
    }
    if (!parent_) return {left_, top_};
    POINT p = parent_->ClientOrigin();
    return {p.x + left_, p.y + top_};
}

POINT TControl::ClientToScreen(POINT p) {
    const POINT o = ClientOrigin();
    return {p.x + o.x, p.y + o.y};
}

POINT TControl::ScreenToClient(POINT p) {
    const POINT o = ClientOrigin();
    return {p.x - o.x, p.y - o.y};
}

void TControl::SetAlign(TAlign align) {
    if (align == align_) return;
    align_ = align;
    if (parent_) parent_->AlignControls(this);
}

void TControl::SetParent(TWinControl* parent) {
    if (parent == parent_) return;
    if (parent == this) throw EInvalidOperation("A control cannot have itself as its parent");
    if (parent_) parent_->RemoveControl(this);
    if (parent) parent->InsertControl(this);
}

TComponent* TControl::GetParentComponent() const { return parent_; }

void TControl::SetParentComponent(TComponent* parent) {
    if (auto* w = dynamic_cast<TWinControl*>(parent)) SetParent(w);
}

void TControl::SetVisible(bool visible) {
    if (visible == visible_) return;
    InvalidateControl(true, false);
    visible_ = visible;
    Perform(CM_VISIBLECHANGED, visible ? 1 : 0);
    if (parent_ && align_ != alNone) parent_->AlignControls(this);
}

void TControl::Show() {
    if (parent_) parent_->Show();
    SetVisible(true);
}

void TControl::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Perform(CM_ENABLEDCHANGED);
}

bool TControl::Showing() const { return visible_ && parent_ && parent_->Showing(); }

void TControl::SetText(const AnsiString& text) {
    if (text == text_) return;
    text_ = text;
    if (auto* w = dynamic_cast<TWinControl*>(this); w && w->HandleAllocated()) SetWindowText(w->handle_, text);
    Perform(CM_TEXTCHANGED);
}

void TControl::FontChanged() {
    if (!ignoreFontChange_) parentFont_ = false;
    Perform(CM_FONTCHANGED);
}

void TControl::SetParentFont(bool value) {
    if (parentFont_ == value) return;
    parentFont_ = value;
    if (parent_ && value) Perform(CM_PARENTFONTCHANGED);
}

void TControl::CMParentFontChanged(TMessage&) {
    if (!parentFont_ || !parent_) return;
    ignoreFontChange_ = true;
    font_->Assign(&parent_->Font());
    ignoreFontChange_ = false;
    parentFont_ = true;
}

TBiDiMode TControl::BiDiMode() const {
    return parentBiDiMode_ && parent_ ? parent_->BiDiMode() : biDiMode_;
}

void TControl::SetBiDiMode(TBiDiMode mode) {
    if (mode == BiDiMode() && !parentBiDiMode_) return;
    const bool changed = mode != BiDiMode();
    biDiMode_ = mode;
    parentBiDiMode_ = false;
    if (changed) Perform(CM_BIDIMODECHANGED);
}

void TControl::SetParentBiDiMode(bool value) {
    if (value == parentBiDiMode_) return;
    const TBiDiMode before = BiDiMode();
    // Turned off, the control keeps the mode it had from its parent.
    if (!value) biDiMode_ = before;
    parentBiDiMode_ = value;
    if (BiDiMode() != before) Perform(CM_BIDIMODECHANGED);
}

void TControl::SetColor(TColor color) {
    if (color == color_ && !parentColor_) return;
    color_ = color;
    parentColor_ = false;
    Perform(CM_COLORCHANGED);
}

void TControl::SetParentColor(bool value) {
    if (parentColor_ == value) return;
    parentColor_ = value;
    if (parent_ && value) Perform(CM_PARENTCOLORCHANGED);
}

void TControl::CMParentColorChanged(TMessage&) {
    if (!parentColor_ || !parent_) return;
    color_ = parent_->Color();
    Perform(CM_COLORCHANGED);
}

void TControl::SetShowHint(bool value) {
    if (value == showHint_ && !parentShowHint_) return;
    showHint_ = value;
    parentShowHint_ = false;
    Perform(CM_SHOWHINTCHANGED);
}

void TControl::SetParentShowHint(bool value) {
    if (parentShowHint_ == value) return;
    parentShowHint_ = value;
    if (parent_ && value) Perform(CM_PARENTSHOWHINTCHANGED);
}

void TControl::CMParentShowHintChanged(TMessage&) {
    if (!parentShowHint_ || !parent_) return;
    showHint_ = parent_->ShowHint();
    Perform(CM_SHOWHINTCHANGED);
}

void TControl::SetCursor(TCursor cursor) {
    if (cursor == cursor_) return;
    cursor_ = cursor;
    Perform(CM_CURSORCHANGED);
}

void TControl::SetPopupMenu(TPopupMenu* menu) {
    if (popupMenu_) popupMenu_->RemoveFreeNotification(this);
    popupMenu_ = menu;
    if (menu) menu->FreeNotification(this);
}

void TControl::InvalidateControl(bool isVisible, bool) {
    if (!isVisible || !parent_ || !parent_->HandleAllocated() || windowed_) return;
    const RECT r = BoundsRect();
    InvalidateRect(parent_->handle_, &r, TRUE);
}

void TControl::Invalidate() { InvalidateControl(visible_, opaque_); }

void TControl::FlushPaint() {
    if (parent_) parent_->FlushPaint();
}

void TControl::Repaint() {
    Invalidate();
    FlushPaint();
}

void TControl::BringToFront() {
    if (!parent_) return;
    auto& list = parent_->controls_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    list.push_back(this);
    if (auto* w = dynamic_cast<TWinControl*>(this); w && w->HandleAllocated())
        SetWindowPos(w->handle_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    Invalidate();
}

void TControl::SendToBack() {
    if (!parent_) return;
    auto& list = parent_->controls_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    list.insert(list.begin(), this);
    if (auto* w = dynamic_cast<TWinControl*>(this); w && w->HandleAllocated())
        SetWindowPos(w->handle_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    Invalidate();
}

TCustomForm* TControl::ParentForm() const { return GetParentForm(this); }

TWinControl* TControl::AsWinControl() { return windowed_ ? static_cast<TWinControl*>(this) : nullptr; }

void TControl::DefinePublished(TFiler& f) {
    TComponent::DefinePublished(f);
    f.Integer("Left", [this] { return left_; }, [this](int64_t v) { SetLeft(int(v)); }, std::nullopt);
    f.Integer("Top", [this] { return top_; }, [this](int64_t v) { SetTop(int(v)); }, std::nullopt);
    f.Integer("Width", [this] { return width_; }, [this](int64_t v) { SetWidth(int(v)); }, std::nullopt);
    f.Integer("Height", [this] { return height_; }, [this](int64_t v) { SetHeight(int(v)); }, std::nullopt);
    f.Enum("Align", {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"}, [this] { return int(align_); },
           [this](int v) { SetAlign(TAlign(v)); }, int(alNone));
    f.String("Caption", [this] { return text_; }, [this](const AnsiString& v) { SetText(v); });
    DefineColorProperty(f, "Color", [this] { return color_; }, [this](TColor c) { SetColor(c); },
                        parentColor_ ? std::optional<TColor>(color_) : std::optional<TColor>(clWindow));
    f.Bool("Enabled", [this] { return enabled_; }, [this](bool v) { SetEnabled(v); }, true);
    if (!parentFont_) f.DefineObject("Font", font_.get());
    else f.DefineObject("Font", nullptr);
    f.Bool("ParentFont", [this] { return parentFont_; }, [this](bool v) { SetParentFont(v); }, true);
    f.Bool("ParentColor", [this] { return parentColor_; }, [this](bool v) { SetParentColor(v); }, false);
    f.String("Hint", [this] { return hint_; }, [this](const AnsiString& v) { hint_ = v; });
    f.Bool("ShowHint", [this] { return showHint_; }, [this](bool v) { SetShowHint(v); },
           parentShowHint_ ? std::optional<bool>(showHint_) : std::optional<bool>(false));
    f.Bool("ParentShowHint", [this] { return parentShowHint_; }, [this](bool v) { SetParentShowHint(v); }, true);
    f.Bool("Visible", [this] { return visible_; }, [this](bool v) { SetVisible(v); }, true);
    f.Integer("Cursor", [this] { return cursor_; }, [this](int64_t v) { SetCursor(TCursor(v)); }, crDefault);
    f.DefineObject("Constraints", constraints_.get());
    f.Integer("DragCursor", [this] { return dragCursor_; }, [this](int64_t v) { dragCursor_ = TCursor(v); }, crDrag);
    f.Enum("DragKind", {"dkDrag", "dkDock"}, [this] { return int(dragKind_); },
           [this](int v) { dragKind_ = TDragKind(v); }, int(dkDrag));
    f.Enum("DragMode", {"dmManual", "dmAutomatic"}, [this] { return int(dragMode_); },
           [this](int v) { dragMode_ = TDragMode(v); }, int(dmManual));
    f.Integer("HelpContext", [this] { return helpContext_; }, [this](int64_t v) { helpContext_ = int(v); }, 0);
    f.ComponentRef(
        "PopupMenu", [this]() -> TComponent* { return popupMenu_; },
        [this](TComponent* c) { SetPopupMenu(dynamic_cast<TPopupMenu*>(c)); });
}

// ---- TControlCanvas ---------------------------------------------------------------------------

void TControlCanvas::CreateHandle() {
    HWND window = nullptr;
    POINT offset{0, 0};
    RECT clip{};
    if (auto* w = dynamic_cast<TWinControl*>(&control_)) {
        window = w->Handle();
    } else if (control_.Parent()) {
        window = control_.Parent()->Handle();
        offset = {control_.Left(), control_.Top()};
        clip = {0, 0, control_.Width(), control_.Height()};
    }
    if (!window) return;
    own_.emplace(window);
    const HDC dc = own_->Get();
    if (offset.x || offset.y || clip.right) {
        SetViewportOrgEx(dc, offset.x, offset.y, nullptr);
        IntersectClipRect(dc, clip.left, clip.top, clip.right, clip.bottom);
    }
    SetHandle(dc);
}

void TControlCanvas::FreeHandle() {
    if (own_) SetHandle({});
}

void TControlCanvas::SetHandle(HDC dc) {
    if (!own_ || dc == own_->Get()) {
        TCanvas::SetHandle(dc);
        return;
    }
    const std::optional<WindowDC> own = std::exchange(own_, std::nullopt); // released on return
    TCanvas::SetHandle(dc); // deselects our objects from the old DC first
}

// ---- TWinControl --------------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* owner) : TControl(owner) { windowed_ = true; }

TWinControl::~TWinControl() {
    Destroying();
    if (Screen() && Screen()->ActiveControl() == this) Screen()->SetActiveControl(nullptr);
    // Leave the parent while we are still a window control: by the time the
    // base destructor runs, the parent could no longer tell and would keep
    // us in its tab order.
    if (parent_) parent_->RemoveControl(this);
    // Children outlive nothing of ours: detach them (their owner frees them).
    while (!controls_.empty()) RemoveControl(controls_.back());
    if (handle_) DestroyHandle();
}

TWinControl* TWinControl::FindControl(HWND window) {
    auto& c = HandleMap();
    std::lock_guard lock(c.mutex);
    auto it = c.map.find(window);
    return it == c.map.end() ? nullptr : it->second;
}

LRESULT TWinControl::ClassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    TWinControl* control = FindControl(hwnd);
    if (!control && msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCT*>(lParam);
        control = reinterpret_cast<TWinControl*>(cs->lpCreateParams);
        if (control) {
            auto& c = HandleMap();
            std::lock_guard lock(c.mutex);
            c.map[hwnd] = control;
            control->handle_ = hwnd;
        }
    }
    if (!control) return DefWindowProc(hwnd, msg, wParam, lParam);
    TMessage m{msg, wParam, lParam, 0};
    control->MainWndProc(m);
    if (msg == WM_NCDESTROY) {
        auto& c = HandleMap();
        std::lock_guard lock(c.mutex);
        c.map.erase(hwnd);
        if (control->handle_ == hwnd) control->handle_ = nullptr;
    }
    return m.Result;
}

void TWinControl::MainWndProc(TMessage& m) {
    try {
        if (TDragManager::WindowMessage(this, m)) return;
        if (m.Msg == WM_MOUSEWHEEL && MouseWheelEvents(m)) return;
        WindowProc(m);
    } catch (...) {
        HandleControlException();
    }
}

void TWinControl::DefaultHandler(TMessage& m) {
    if (handle_) m.Result = DefWindowProc(handle_, m.Msg, m.WParam, m.LParam);
    else m.Result = 0;
}

HWND TWinControl::Handle() {
    if (!handle_) CreateHandle();
    return handle_;
}

void TWinControl::CreateHandle() {
    if (handle_ || creating_) return;
    if (HasState(csDestroying)) throw EInvalidOperation("Control '" + Name() + "' is being destroyed");
    creating_ = true;
    ScopeGuard created([this] { creating_ = false; });
    if (parent_) parent_->HandleNeeded();
    if (!handle_) {
        CreateWnd();
        if (!parent_ || !parent_->creatingChildren_) TakeStackingPlace();
    }
}

void TWinControl::TakeStackingPlace() {
    // A new window is on top of its siblings; a control's place is behind
    // the windows of the controls after it in its parent's list.
    if (!parent_ || !handle_) return;
    const auto& list = parent_->controls_;
    auto self = std::find(list.rbegin(), list.rend(), this); // usually the last one
    if (self == list.rend()) return;
    for (auto it = self.base(); it != list.end(); ++it)
        if (auto* w = (*it)->AsWinControl(); w && w->handle_) {
            SetWindowPos(handle_, w->handle_, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            return;
        }
}

void TWinControl::CreateParams(TCreateParams& p) {
    p.Caption = text_;
    p.Style = WS_CHILD | WS_CLIPSIBLINGS;
    if (tabStop_) p.Style |= WS_TABSTOP;
    if (!enabled_) p.Style |= WS_DISABLED;
    p.X = left_;
    p.Y = top_;
    p.Width = width_;
    p.Height = height_;
    p.WndParent = parent_ ? parent_->handle_ : parentWindow_;
    if (!parent_ && parentWindow_) p.Style = WS_CHILD | WS_CLIPSIBLINGS;
    p.WinClassName = ClassName();
}

void TWinControl::CreateWnd() {
    TCreateParams p;
    CreateParams(p);
    if (!p.WndParent && (p.Style & WS_CHILD)) throw EInvalidOperation("Control '" + Name() + "' has no parent window");
    CreateWindowHandle(p);
    if (!handle_) throw EInvalidOperation("Error creating window");
    ApplyIme();
    UpdateBounds();
    // Windowed children whose windows were destroyed with ours come back,
    // in stacking order: each new one on top of those before it.
    struct Flag {
        bool& on;
        explicit Flag(bool& f) : on(f) { on = true; }
        ~Flag() { on = false; }
    } creating(creatingChildren_);
    for (TControl* c : std::vector<TControl*>(controls_))
        if (auto* child = c->AsWinControl(); child && child->visible_ && !child->handle_)
            child->HandleNeeded();
    AlignControls(nullptr);
}

void TWinControl::CreateWindowHandle(const TCreateParams& p) {
    WNDCLASS existing;
    if (!GetClassInfo(p.WinClassName, existing)) {
        WNDCLASS wc;
        wc.style = p.WindowClassStyle;
        wc.lpfnWndProc = &TWinControl::ClassProc;
        wc.lpszClassName = p.WinClassName;
        wc.hCursor = LoadCursor(0, IDC_ARROW);
        if (p.Background >= 0) wc.hbrBackground = SysColorBrushValue(p.Background);
        RegisterClass(wc);
    }
    CreateWindowEx(p.ExStyle, p.WinClassName, p.Caption, p.Style, p.X, p.Y, p.Width, p.Height, p.WndParent, 0,
                   reinterpret_cast<LPARAM>(this));
}

void TWinControl::DestroyWnd() {}

void TWinControl::DestroyWindowHandle() {
    if (handle_) DestroyWindow(handle_);
    handle_ = nullptr;
}

void TWinControl::DestroyHandle() {
    if (!handle_ || destroyingHandle_) return;
    destroyingHandle_ = true;
    // Hidden first, the window and its children go without repainting one
    // another on the way.
    if (GetWindowLongPtr(handle_, GWL_STYLE) & WS_VISIBLE)
        SetWindowPos(handle_, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (TWinControl* child : tabList_) child->DestroyHandle();
    DestroyWnd();
    DestroyWindowHandle();
    showing_ = false;
    destroyingHandle_ = false;
}

void TWinControl::RecreateWnd() {
    if (!handle_) return;
    const bool hadFocus = Focused();
    DestroyHandle();
    UpdateShowing();
    if (!handle_ && (parent_ ? parent_->HandleAllocated() : parentWindow_ != nullptr)) HandleNeeded();
    if (hadFocus && handle_ && CanFocus()) ::ax::SetFocus(handle_);
}

void TWinControl::SetParentWindow(HWND window) {
    if (parent_ || window == parentWindow_) return;
    DestroyHandle();
    parentWindow_ = window;
    UpdateShowing();
}

void TWinControl::InsertControl(TControl* control) {
    control->parent_ = this;
    controls_.push_back(control);
    if (auto* w = control->AsWinControl()) {
        tabList_.push_back(w);
        if (handle_) w->UpdateShowing();
    }
    control->Perform(CM_PARENTFONTCHANGED);
    control->Perform(CM_PARENTCOLORCHANGED);
    control->Perform(CM_PARENTSHOWHINTCHANGED);
    if (control->align_ != alNone) AlignControls(control);
    control->Invalidate();
    Perform(CM_CONTROLLISTCHANGE, reinterpret_cast<WPARAM>(control), TRUE);
}

void TWinControl::RemoveControl(TControl* control) {
    if (control->parent_ != this) return;
    Perform(CM_CONTROLLISTCHANGE, reinterpret_cast<WPARAM>(control), FALSE);
    control->InvalidateControl(control->visible_, false);
    if (auto* w = control->AsWinControl()) {
        if (TCustomForm* form = GetParentForm(this)) form->DefocusControl(w, true);
        w->DestroyHandle();
        tabList_.erase(std::remove(tabList_.begin(), tabList_.end(), w), tabList_.end());
    }
    if (captureControl == control) captureControl = nullptr;
    controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
    control->parent_ = nullptr;
    if (control->align_ != alNone) AlignControls(nullptr);
}

bool TWinControl::ContainsControl(const TControl* control) const {
    for (const TControl* c = control; c; c = c->parent_)
        if (c == this) return true;
    return false;
}

TControl* TWinControl::ControlAtPos(POINT p, bool allowDisabled) const {
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        TControl* c = *it;
        const RECT r = c->BoundsRect();
        if (c->visible_ && (allowDisabled || c->enabled_) && PtInRect(&r, p)) return c;
    }
    return nullptr;
}

int TWinControl::TabOrder() const {
    if (!parent_) return -1;
    const auto& list = parent_->tabList_;
    auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : int(it - list.begin());
}

void TWinControl::SetTabOrder(int order) {
    if (!parent_) return;
    auto& list = parent_->tabList_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    order = std::clamp(order, 0, int(list.size()));
    list.insert(list.begin() + order, this);
}

void TWinControl::SetTabStop(bool value) {
    if (value == tabStop_) return;
    tabStop_ = value;
    SetWindowStyleBit(WS_TABSTOP, value);
    Perform(CM_TABSTOPCHANGED);
}

void TWinControl::SetWindowStyleBit(DWORD bit, bool on) {
    if (!handle_) return;
    const LONG_PTR style = GetWindowLongPtr(handle_, GWL_STYLE);
    SetWindowLongPtr(handle_, GWL_STYLE, on ? (style | LONG_PTR(bit)) : (style & ~LONG_PTR(bit)));
}

bool TWinControl::CanFocus() const {
    const TCustomForm* form = GetParentForm(this);
    if (!form) return visible_ && enabled_;
    for (const TControl* c = this; c; c = c->parent_) {
        if (!c->visible_ || !c->enabled_) return false;
        if (c == form) break;
    }
    return true;
}

bool TWinControl::Focused() const { return handle_ && GetFocus() == handle_; }

void TWinControl::SetFocus() {
    if (TCustomForm* form = GetParentForm(this); form && form != this) {
        form->FocusControl(this);
        return;
    }
    if (!CanFocus()) throw EInvalidOperation(SCannotFocus);
    ::ax::SetFocus(Handle());
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& list) {
    for (TWinControl* child : tabList_) {
        list.push_back(child);
        child->GetTabOrderList(list);
    }
}

TWinControl* TWinControl::FindNextControl(TWinControl* current, bool goForward, bool checkTabStop,
                                          bool checkParent) {
    std::vector<TWinControl*> list;
    GetTabOrderList(list);
    if (list.empty()) return nullptr;
    const int count = int(list.size());
    int start = int(std::find(list.begin(), list.end(), current) - list.begin());
    if (start == count) start = goForward ? count - 1 : 0;
    int i = start;
    for (int n = 0; n < count; ++n) {
        i = goForward ? (i + 1) % count : (i - 1 + count) % count;
        TWinControl* c = list[size_t(i)];
        if (c == current) break;
        if ((!checkTabStop || c->tabStop_) && (!checkParent || c->parent_ == this) && c->CanFocus()) return c;
    }
    return nullptr;
}

void TWinControl::SelectNext(TWinControl* current, bool goForward, bool checkTabStop) {
    if (TWinControl* next = FindNextControl(current, goForward, checkTabStop, !checkTabStop)) next->SetFocus();
}

void TWinControl::SelectFirst() {
    TCustomForm* form = GetParentForm(this);
    if (!form) return;
    if (TWinControl* first = FindNextControl(nullptr, true, true, false)) form->SetActiveControl(first);
}

bool TWinControl::ShouldBeShowing() const {
    if (!visible_) return false;
    if (parent_) return parent_->showing_;
    return parentWindow_ != nullptr;
}

void TWinControl::UpdateShowing() {
    const bool show = ShouldBeShowing();
    if (show) HandleNeeded();
    if (show == showing_) {
        for (TWinControl* child : tabList_) child->UpdateShowing();
        return;
    }
    showing_ = show;
    if (show) {
        SetWindowPos(handle_, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        for (TWinControl* child : tabList_) child->UpdateShowing();
    } else {
        for (TWinControl* child : tabList_) child->UpdateShowing();
        if (handle_)
            SetWindowPos(handle_, nullptr, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
    }
    Perform(CM_SHOWINGCHANGED);
}

bool TWinControl::Showing() const { return showing_; }

void TWinControl::SetBounds(int left, int top, int width, int height) {
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    constraints_->Constrain(width, height);
    if (left == left_ && top == top_ && width == width_ && height == height_) return;
    const bool resized = width != width_ || height != height_;
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    if (handle_) SetWindowPos(handle_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (parent_ && align_ != alNone) parent_->AlignControls(this);
    if (resized) {
        AlignControls(nullptr);
        Resize();
    }
}

void TWinControl::UpdateBounds() {
    if (!handle_) return;
    RECT r;
    GetWindowRect(handle_, r);
    HWND parentWnd = GetParent(handle_);
    if (parentWnd && (GetWindowLongPtr(handle_, GWL_STYLE) & WS_CHILD)) {
        POINT pts[2] = {{r.left, r.top}, {r.right, r.bottom}};
        MapWindowPoints(nullptr, parentWnd, pts);
        r = {pts[0].x, pts[0].y, pts[1].x, pts[1].y};
    }
    const bool resized = r.width() != width_ || r.height() != height_;
    left_ = r.left;
    top_ = r.top;
    width_ = r.width();
    height_ = r.height();
    if (resized) {
        AlignControls(nullptr);
        Resize();
    }
}

RECT TWinControl::ClientRect() {
    if (handle_) {
        RECT r;
        GetClientRect(handle_, r);
        return r;
    }
    const SIZE frame = NonClientSize();
    return {0, 0, std::max(0, width_ - int(frame.cx)), std::max(0, height_ - int(frame.cy))};
}

SIZE TWinControl::NonClientSize() {
    // The frame the window has, or will have once it is made.
    DWORD style, exStyle;
    bool menu;
    if (handle_) {
        style = DWORD(GetWindowLongPtr(handle_, GWL_STYLE));
        exStyle = DWORD(GetWindowLongPtr(handle_, GWL_EXSTYLE));
        menu = GetMenu(handle_) != nullptr;
    } else {
        TCreateParams p;
        CreateParams(p);
        style = p.Style;
        exStyle = p.ExStyle;
        menu = HasMenuBar();
    }
    RECT frame{0, 0, 0, 0};
    AdjustWindowRectEx(frame, style, menu, exStyle);
    return {frame.width(), frame.height()};
}

void TWinControl::AlignControls(TControl*) {
    if (alignDisabled_ > 0) {
        alignPending_ = true;
        return;
    }
    if (aligning_) return;
    aligning_ = true;
    RECT rect = ClientRect();
    InflateRect(&rect, -borderWidth_, -borderWidth_);
    for (TAlign kind : {alTop, alBottom, alLeft, alRight, alClient}) {
        for (TControl* c : std::vector<TControl*>(controls_)) {
            if (c->align_ != kind || !c->visible_) continue;
            const int w = c->width_, h = c->height_;
            switch (kind) {
            case alTop: c->SetBounds(rect.left, rect.top, rect.width(), h); rect.top += h; break;
            case alBottom: c->SetBounds(rect.left, rect.bottom - h, rect.width(), h); rect.bottom -= h; break;
            case alLeft: c->SetBounds(rect.left, rect.top, w, rect.height()); rect.left += w; break;
            case alRight: c->SetBounds(rect.right - w, rect.top, w, rect.height()); rect.right -= w; break;
            default: c->SetBounds(rect.left, rect.top, rect.width(), rect.height()); break;
            }
        }
    }
    aligning_ = false;
}

void TWinControl::EnableAlign() {
    if (alignDisabled_ > 0 && --alignDisabled_ == 0 && alignPending_) {
        alignPending_ = false;
        AlignControls(nullptr);
    }
}

void TWinControl::SetBorderWidth(int width) {
    if (width == borderWidth_) return;
    borderWidth_ = width;
    AlignControls(nullptr);
    Invalidate();
}

void TWinControl::Invalidate() {
    if (handle_) InvalidateRect(handle_, nullptr, TRUE);
}
void TWinControl::FlushPaint() {
    if (handle_) UpdateWindow(handle_);
}
void TWinControl::Repaint() {
    Invalidate();
    FlushPaint();
}

void TWinControl::PaintWindow(HDC) {}

void TWinControl::PaintControls(HDC dc, TControl* first) {
    bool started = first == nullptr;
    for (TControl* c : controls_) {
        if (!started) {
            started = c == first;
            if (!started) continue;
        }
        if (c->windowed_ || !c->visible_) continue;
        const RECT r = c->BoundsRect();
        if (!RectVisible(dc, &r)) continue;
        const int saved = SaveDC(dc);
        POINT old;
        OffsetViewportOrgEx(dc, c->left_, c->top_, &old);
        IntersectClipRect(dc, 0, 0, c->width_, c->height_);
        c->Perform(WM_PAINT, WPARAM(dc.value), 0);
        RestoreDC(dc, saved);
    }
}

void TWinControl::PaintHandler(TMessage& m) {
    std::optional<PaintScope> paint;
    if (!m.WParam) paint.emplace(handle_);
    HDC dc = m.WParam ? WParamDC(m.WParam) : paint->DC();
    const int saved = SaveDC(dc);
    PaintWindow(dc);
    RestoreDC(dc, saved);
    PaintControls(dc, nullptr);
}

void TWinControl::WMPaint(TMessage& m) { PaintHandler(m); }

void TWinControl::WMEraseBkgnd(TMessage& m) {
    HDC dc = WParamDC(m.WParam);
    const UniqueBrush brush(CreateSolidBrush(ColorToRGB(color_)));
    const RECT r = ClientRect();
    FillRect(dc, &r, brush.Get());
    m.Result = 1;
}

void TWinControl::WMSetFocus(TMessage& m) {
    DefaultHandler(m);
    if (TCustomForm* form = GetParentForm(this)) form->SetFocusedControl(this);
}

void TWinControl::WMKillFocus(TMessage& m) { DefaultHandler(m); }

void TWinControl::WMKey(TMessage& m) {
    WORD key = WORD(m.WParam);
    switch (m.Msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (DoKeyDown(key, KeyDataToShiftState(m.LParam))) return;
        if (key == 0) return;
        break;
    case WM_KEYUP:
    case WM_SYSKEYUP:
        if (DoKeyUp(key, KeyDataToShiftState(m.LParam))) return;
        break;
    case WM_CHAR: {
        // A key press event holds a 7-bit character; other UTF-16 units
        // (typed through an input method, or with a non-Latin keyboard
        // map) go on to the window whole.
        if (m.WParam >= 0x80) break;
        char c = char(m.WParam);
        if (DoKeyPress(c)) return;
        m.WParam = WPARAM(uint8_t(c));
        break;
    }
    }
    m.WParam = m.Msg == WM_CHAR ? m.WParam : key;
    DefaultHandler(m);
}

bool TWinControl::DoKeyDown(WORD& key, TShiftState shift) {
    TCustomForm* form = GetParentForm(this);
    if (form && form != this && form->KeyPreview() && form->DoKeyDown(key, shift)) return true;
    KeyDown(key, shift);
    return key == 0;
}

bool TWinControl::DoKeyPress(char& key) {
    TCustomForm* form = GetParentForm(this);
    if (form && form != this && form->KeyPreview() && form->DoKeyPress(key)) return true;
    KeyPress(key);
    return key == 0;
}

bool TWinControl::DoKeyUp(WORD& key, TShiftState shift) {
    TCustomForm* form = GetParentForm(this);
    if (form && form != this && form->KeyPreview() && form->DoKeyUp(key, shift)) return true;
    KeyUp(key, shift);
    return key == 0;
}

void TWinControl::KeyDown(WORD& key, TShiftState shift) {
    if (OnKeyDown) OnKeyDown(this, key, shift);
}
void TWinControl::KeyPress(char& key) {
    if (OnKeyPress) OnKeyPress(this, key);
}
void TWinControl::KeyUp(WORD& key, TShiftState shift) {
    if (OnKeyUp) OnKeyUp(this, key, shift);
}

void TWinControl::DoEnter() {
    if (OnEnter) OnEnter(this);
}
void TWinControl::DoExit() {
    if (OnExit) OnExit(this);
}

void TWinControl::WMSize(TMessage& m) {
    UpdateBounds();
    DefaultHandler(m);
}

void TWinControl::WMMove(TMessage& m) {
    UpdateBounds();
    DefaultHandler(m);
}

void TWinControl::WMCommand(TMessage& m) {
    if (m.LParam) {
        if (TWinControl* child = FindControl(reinterpret_cast<HWND>(m.LParam)); child && child != this) {
            m.Result = child->Perform(CN_COMMAND, m.WParam, m.LParam);
            return;
        }
    }
    DefaultHandler(m);
}

void TWinControl::WMSetCursor(TMessage& m) {
    if (LOWORD(uintptr_t(m.LParam)) == HTCLIENT && reinterpret_cast<HWND>(m.WParam) == handle_) {
        TCursor cursor = Screen() ? Screen()->Cursor() : crDefault;
        if (cursor == crDefault) {
            POINT p;
            GetCursorPos(p);
            p = ScreenToClient(p);
            TControl* c = ControlAtPos(p, false);
            cursor = (c && c->cursor_ != crDefault) ? c->cursor_ : cursor_;
        }
        if (cursor != crDefault && Screen()) {
            ::ax::SetCursor(Screen()->Cursors(cursor));
            m.Result = 1;
            return;
        }
    }
    DefaultHandler(m);
}

void TWinControl::CMEnabledChanged(TMessage&) {
    if (!enabled_ && parent_) {
        if (TCustomForm* form = GetParentForm(this)) form->DefocusControl(this, false);
    }
    if (handle_) EnableWindow(handle_, enabled_ ? TRUE : FALSE);
    Invalidate();
}

void TWinControl::CMVisibleChanged(TMessage&) {
    if (!visible_ && parent_)
        if (TCustomForm* form = GetParentForm(this)) form->DefocusControl(this, false);
    UpdateShowing();
}

void TWinControl::CMColorChanged(TMessage&) {
    Invalidate();
    for (TControl* c : std::vector<TControl*>(controls_)) c->Perform(CM_PARENTCOLORCHANGED);
}

void TWinControl::CMFontChanged(TMessage&) {
    Invalidate();
    for (TControl* c : std::vector<TControl*>(controls_)) c->Perform(CM_PARENTFONTCHANGED);
}

void TWinControl::CMShowingChanged(TMessage&) {}

void TWinControl::CMSysColorChange(TMessage&) {
    for (TControl* c : std::vector<TControl*>(controls_)) c->Perform(CM_SYSCOLORCHANGE);
    Invalidate();
}

void TWinControl::CMDialogKey(TMessage& m) {
    for (TControl* c : std::vector<TControl*>(controls_)) {
        m.Result = c->Perform(CM_DIALOGKEY, m.WParam, m.LParam);
        if (m.Result) return;
    }
}

void TWinControl::CMDialogChar(TMessage& m) {
    for (TControl* c : std::vector<TControl*>(controls_)) {
        if (!c->visible_ || !c->enabled_) continue;
        m.Result = c->Perform(CM_DIALOGCHAR, m.WParam, m.LParam);
        if (m.Result) return;
    }
}

void TWinControl::CMChildKey(TMessage& m) {
    if (parent_) m.Result = parent_->Perform(CM_CHILDKEY, m.WParam, m.LParam);
}

void TWinControl::CMFocusChanged(TMessage& m) {
    for (TControl* c : std::vector<TControl*>(controls_)) c->Perform(CM_FOCUSCHANGED, m.WParam, m.LParam);
}

void TWinControl::Dispatch(TMessage& m) {
    // Mouse messages over a graphic child (or captured by one) are its.
    if (m.Msg >= WM_MOUSEFIRST && m.Msg <= WM_MOUSELAST && m.Msg != WM_MOUSEWHEEL) {
        POINT p{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
        TControl* target = nullptr;
        if (captureControl && captureControl->parent_ == this) target = captureControl;
        else if (TControl* c = ControlAtPos(p, false); c && !c->windowed_) target = c;
        if (target) {
            m.Result = target->Perform(m.Msg, m.WParam, MAKELPARAM(p.x - target->left_, p.y - target->top_));
            return;
        }
    }
    switch (m.Msg) {
    case WM_PAINT: WMPaint(m); return;
    case WM_ERASEBKGND: WMEraseBkgnd(m); return;
    case WM_SETFOCUS: WMSetFocus(m); return;
    case WM_KILLFOCUS: WMKillFocus(m); return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP:
    case WM_CHAR: WMKey(m); return;
    case WM_SIZE: WMSize(m); return;
    case WM_MOVE: WMMove(m); return;
    case WM_COMMAND: WMCommand(m); return;
    case WM_SETCURSOR: WMSetCursor(m); return;
    case WM_DESTROY:
        for (TControl* c : controls_)
            if (auto* g = dynamic_cast<TGraphicControl*>(c)) g->FreeCanvasHandle();
        DefaultHandler(m);
        return;
    case WM_SYSCOLORCHANGE: Perform(CM_SYSCOLORCHANGE); DefaultHandler(m); return;
    case WM_CANCELMODE:
        SendCancelMode(this);
        DefaultHandler(m);
        return;
    case WM_GETDLGCODE: m.Result = DialogCode(); return;
    case CN_KEYDOWN:
    case CN_SYSKEYDOWN: {
        m.Result = 1;
        if (Perform(CM_CHILDKEY, m.WParam, reinterpret_cast<LPARAM>(this))) return;
        LRESULT mask = 0;
        switch (m.WParam) {
        case VK_TAB: mask = DLGC_WANTTAB; break;
        case VK_LEFT:
        case VK_RIGHT:
        case VK_UP:
        case VK_DOWN: mask = DLGC_WANTARROWS; break;
        case VK_RETURN:
        case VK_ESCAPE:
        case VK_CANCEL: mask = DLGC_WANTALLKEYS; break;
        }
        if (mask && !Perform(CM_WANTSPECIALKEY, m.WParam) && !(Perform(WM_GETDLGCODE) & mask))
            if (TCustomForm* form = GetParentForm(this))
                if (form->Perform(CM_DIALOGKEY, m.WParam, m.LParam)) return;
        m.Result = 0;
        return;
    }
    case CN_CHAR:
        m.Result = 0;
        if (!(Perform(WM_GETDLGCODE) & DLGC_WANTCHARS))
            if (TCustomForm* form = GetParentForm(this))
                m.Result = form->Perform(CM_DIALOGCHAR, m.WParam, m.LParam);
        return;
    case CN_SYSCHAR:
        m.Result = 0;
        if (TCustomForm* form = GetParentForm(this)) m.Result = form->Perform(CM_DIALOGCHAR, m.WParam, m.LParam);
        return;
    case CM_ENABLEDCHANGED: CMEnabledChanged(m); return;
    case CM_VISIBLECHANGED: CMVisibleChanged(m); return;
    case CM_COLORCHANGED: CMColorChanged(m); return;
    case CM_FONTCHANGED: CMFontChanged(m); return;
    case CM_SHOWINGCHANGED: CMShowingChanged(m); return;
    case CM_SYSCOLORCHANGE: CMSysColorChange(m); return;
    case CM_DIALOGKEY: CMDialogKey(m); return;
    case CM_DIALOGCHAR: CMDialogChar(m); return;
    case CM_ENTER: CMEnter(m); return;
    case CM_EXIT: CMExit(m); return;
    case CM_CHILDKEY: CMChildKey(m); return;
    case CM_FOCUSCHANGED: CMFocusChanged(m); return;
    case CM_TEXTCHANGED: Invalidate(); return;
    case CM_BIDIMODECHANGED:
        Invalidate();
        for (TControl* c : std::vector<TControl*>(controls_)) c->Perform(CM_PARENTBIDIMODECHANGED);
        return;
    case CM_RECREATEWND: RecreateWnd(); return;
    case CM_INVALIDATE: Invalidate(); return;
    }
    TControl::Dispatch(m);
}

void TWinControl::DefinePublished(TFiler& f) {
    TControl::DefinePublished(f);
    f.Integer("TabOrder", [this] { return TabOrder(); }, [this](int64_t v) { SetTabOrder(int(v)); }, std::nullopt);
    f.Bool("TabStop", [this] { return tabStop_; }, [this](bool v) { SetTabStop(v); }, false);
    f.Bool("Ctl3D", [this] { return ctl3D_; }, [this](bool v) { ctl3D_ = v; }, true);
    f.Bool("DockSite", [this] { return dockSite_; }, [this](bool v) { dockSite_ = v; }, false);
}

void TWinControl::DefineImePublished(TFiler& f) {
    static const std::vector<const char*> modes{"imDisable", "imClose",    "imOpen",    "imDontCare",
                                                "imSAlpha",  "imAlpha",    "imHira",    "imSKata",
                                                "imKata",    "imChinese",  "imSHanguel", "imHanguel"};
    f.Enum("ImeMode", modes, [this] { return int(imeMode_); },
           [this](int v) { SetImeMode(TImeMode(v)); }, int(imDontCare));
    f.String("ImeName", [this] { return imeName_; }, [this](const AnsiString& v) { SetImeName(v); },
             AnsiString());
}

void TWinControl::SetImeMode(TImeMode mode) {
    if (mode == imeMode_) return;
    imeMode_ = mode;
    ApplyIme();
}

void TWinControl::SetImeName(const TImeName& name) {
    if (name == imeName_) return;
    imeName_ = name;
    ApplyIme();
}

// The window carries the settings: the display applies them whenever it
// takes the focus.
void TWinControl::ApplyIme() {
    if (!handle_) return;
    ImeUse use = ImeUse::Open;
    if (imeMode_ == imDisable)
        use = ImeUse::Disabled;
    else if (imeMode_ == imClose)
        use = ImeUse::Closed;
    else if (imeMode_ == imDontCare)
        use = ImeUse::Default;
    SetImeUse(handle_, use, imeName_);
}

// ---- TGraphicControl and TCustomControl --------------------------------------------------------------

TGraphicControl::TGraphicControl(TComponent* owner)
    : TControl(owner), canvas_(std::make_unique<TControlCanvas>(*this)) {}

TGraphicControl::~TGraphicControl() = default;

void TGraphicControl::SetBounds(int left, int top, int width, int height) {
    // The canvas's DC is the parent's, moved to where the control was.
    canvas_->FreeHandle();
    TControl::SetBounds(left, top, width, height);
}

void TGraphicControl::Dispatch(TMessage& m) {
    if (m.Msg == WM_PAINT && m.WParam) {
        const auto locked = LockForPaint(*canvas_);
        canvas_->SetHandle(WParamDC(m.WParam));
        canvas_->Font().Assign(font_.get());
        Paint();
        return;
    }
    TControl::Dispatch(m);
}

TCustomControl::TCustomControl(TComponent* owner)
    : TWinControl(owner), canvas_(std::make_unique<TControlCanvas>(*this)) {}

TCustomControl::~TCustomControl() { canvas_->FreeHandle(); }

void TCustomControl::Dispatch(TMessage& m) {
    // A DC of a window that goes draws nowhere: the next window gets its own.
    if (m.Msg == WM_DESTROY) canvas_->FreeHandle();
    TWinControl::Dispatch(m);
}

void TCustomControl::PaintWindow(HDC dc) {
    const auto locked = LockForPaint(*canvas_);
    canvas_->SetHandle(dc);
    canvas_->Font().Assign(font_.get());
    Paint();
}

} // namespace ax
