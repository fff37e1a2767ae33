// The drag manager's state lives on the GUI thread: one drag, waiting for
// its threshold or under way. While it runs, the source's window holds the
// mouse (it already does while the button is down), so its mouse messages
// come here before the control sees them; Escape is caught by a keyboard
// hook because keys go to the focused window, not to the one with capture.
// A dock drag asks no target: it shows a frame where the control would
// land, over the dock site under the pointer or, where there is none, at
// the pointer, and moves the control there on release.
#include "framework/dragmanager.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "framework/controls.h"
#include "framework/dockframe.h"
#include "framework/floatingdockform.h"
#include "framework/forms.h"
#include "rtl/scopeguard.h"

namespace ax {

struct TDragManager::Drag {
    TControl* source = nullptr;
    TDragObject* object = nullptr;
    std::unique_ptr<TDragObject> owned;
    POINT start{}; // on the screen
    int threshold = 0;
    bool started = false;
    TControl* target = nullptr; // of a dock drag: the dock site
    bool accepted = false;
    HHOOK keyHook = nullptr;
    TCursor savedCursor = crDefault;
    // A dock drag: its object, where the press was inside the control,
    // and the frame that shows where the control would land.
    TDragDockObject* dock = nullptr;
    POINT grab{};
    std::unique_ptr<TDockFrame> frame;
};

namespace {

using Drag = TDragManager::Drag;

std::unique_ptr<Drag> current;
Drag* finishing = nullptr; // the drag whose end events are being raised

TControl* ControlAt(POINT screen) {
    TWinControl* window = nullptr;
    for (HWND h = WindowFromPoint(screen); h && !window; h = GetParent(h)) window = TWinControl::FindControl(h);
    if (!window || !window->Enabled()) return nullptr;
    TControl* child = window->ControlAtPos(window->ScreenToClient(screen), false);
    return child && !child->AsWinControl() ? child : window;
}

// Hands the keyboard back and the screen's cursor back.
void Release(Drag& d) {
    if (d.keyHook) UnhookWindowsHookEx(d.keyHook);
    d.keyHook = nullptr;
    d.frame.reset();
    if (d.started && Screen()) Screen()->SetCursor(d.savedCursor);
}

// The window whose mouse messages a drag of control arrives in.
TControl* MouseWindowOf(TControl* control) {
    return control->AsWinControl() ? control : static_cast<TControl*>(control->Parent());
}

// The control's rectangle on the screen.
RECT ScreenBounds(TControl* control) {
    const RECT b = control->BoundsRect();
    const POINT at = control->Parent() ? control->Parent()->ClientToScreen({b.left, b.top}) : POINT{b.left, b.top};
    return {at.x, at.y, at.x + b.width(), at.y + b.height()};
}

// The dock site under the pointer that may take source: never the source
// itself nor a window inside it.
TWinControl* DockSiteAt(TControl* source, POINT screen) {
    TWinControl* own = source->AsWinControl();
    for (TControl* c = ControlAt(screen); c; c = c->Parent()) {
        if (c == source || (own && own->ContainsControl(c))) continue;
        TWinControl* w = c->AsWinControl();
        if (w && w->DockSite() && w->Enabled()) return w;
    }
    return nullptr;
}

// r moved inside the site's client area (screen coordinates); what does
// not fit sticks out at the right and the bottom.
RECT InsideSite(TWinControl* site, RECT r) {
    const POINT o = site->ClientOrigin();
    const RECT c = site->ClientRect();
    const int x = std::max(o.x, std::min(r.left, o.x + c.width() - r.width()));
    const int y = std::max(o.y, std::min(r.top, o.y + c.height() - r.height()));
    return {x, y, x + r.width(), y + r.height()};
}

void DockInto(TControl* control, TWinControl* site, const RECT& r) {
    const POINT at = site->ScreenToClient({r.left, r.top});
    control->SetParent(site);
    // An aligned control is laid out by the site; any other lands where
    // the frame showed it.
    if (control->Align() == alNone) control->SetBounds(at.x, at.y, r.width(), r.height());
}

void Float(TControl* control, const RECT& r) {
    auto* host = dynamic_cast<TFloatingDockForm*>(control->Parent());
    if (!host) {
        Assert(Application() != nullptr, "a floating window needs the application");
        host = TComponent::Create<TFloatingDockForm>(Application());
    }
    host->Host(control, r);
}

} // namespace

TCursor TDragObject::GetDragCursor(bool accepted, int, int) const { return accepted ? crDrag : crNoDrop; }

TCursor TDragControlObject::GetDragCursor(bool accepted, int, int) const {
    return accepted ? control_->DragCursor() : crNoDrop;
}

TObject* TDragControlObject::Source() { return control_; }

bool TDragManager::Waiting() { return current && !current->started; }
bool TDragManager::Active() { return current && current->started; }
TControl* TDragManager::Source() { return current ? current->source : nullptr; }
TDragObject* TDragManager::DragObject() { return current ? current->object : nullptr; }
const TDockFrame* TDragManager::DockFrame() { return current ? current->frame.get() : nullptr; }

void TDragManager::Begin(TControl* source, bool immediate, int threshold) {
    Assert(source != nullptr, "a drag needs a source");
    if (current && current->started) return; // one drag at a time
    // A drag still waiting lost its release (the button came up elsewhere):
    // the new press starts afresh.
    current = std::make_unique<Drag>();
    current->source = source;
    current->threshold = threshold;
    // Where the press was, not where the pointer is by now: a dock frame
    // keeps the pointer where the press took the control.
    const DWORD pos = GetMessagePos();
    current->start = {GET_X_LPARAM(LPARAM(pos)), GET_Y_LPARAM(LPARAM(pos))};
    if (immediate) Start();
}

void TDragManager::Start() {
    Drag& d = *current;
    TControl* source = d.source;
    const bool dock = source->DragKind() == dkDock;
    TDragObject* given = nullptr;
    TDragDockObject* givenDock = nullptr;
    {
        // A handler that throws leaves no drag behind.
        ScopeGuard forget([] { current.reset(); });
        if (dock) source->DoStartDock(givenDock);
        else source->DoStartDrag(given);
        forget.Dismiss();
    }
    if (current.get() != &d) return; // the handler ended it
    if (dock) {
        if (!givenDock) {
            d.owned = std::make_unique<TDragDockObject>(source);
            givenDock = static_cast<TDragDockObject*>(d.owned.get());
        }
        given = d.dock = givenDock;
        const RECT bounds = ScreenBounds(source);
        d.grab = {d.start.x - bounds.left, d.start.y - bounds.top};
        d.frame = std::make_unique<TDockFrame>();
    } else if (!given) {
        d.owned = std::make_unique<TDragControlObject>(source);
        given = d.owned.get();
    }
    d.object = given;
    d.started = true;
    d.savedCursor = Screen() ? Screen()->Cursor() : crDefault;
    d.keyHook = SetWindowsHookEx(WH_KEYBOARD, KeyHook, GetCurrentThreadId());
    if (!source->MouseCapture()) source->SetMouseCapture(true);
    POINT at{};
    GetCursorPos(at);
    Move(at);
}

bool TDragManager::Ask(TControl* target, POINT screen, TDragState state) {
    const POINT p = target->ScreenToClient(screen);
    bool accept = false;
    target->DoControlDragOver(current->object->Source(), p.x, p.y, state, accept);
    return accept;
}

void TDragManager::Move(POINT screen) {
    Drag* d = current.get();
    d->object->pos_ = screen;
    if (d->dock) {
        MoveDock(*d, screen);
        return;
    }
    TControl* under = ControlAt(screen);
    if (under != d->target) {
        TControl* left = d->target;
        d->target = nullptr;
        d->accepted = false;
        if (left) Ask(left, screen, dsDragLeave);
        if (current.get() != d) return;
        d->target = under;
        if (under) d->accepted = Ask(under, screen, dsDragEnter);
    } else if (under) {
        d->accepted = Ask(under, screen, dsDragMove);
    }
    if (current.get() != d) return;
    if (!d->target) d->accepted = false; // the target went away while it answered
    d->object->target_ = d->target;
    const POINT p = d->target ? d->target->ScreenToClient(screen) : screen;
    if (Screen()) Screen()->SetCursor(d->object->GetDragCursor(d->accepted, p.x, p.y));
}

void TDragManager::MoveDock(Drag& d, POINT screen) {
    const RECT bounds = d.source->BoundsRect();
    RECT r{screen.x - d.grab.x, screen.y - d.grab.y, 0, 0};
    r.right = r.left + bounds.width();
    r.bottom = r.top + bounds.height();
    TWinControl* site = DockSiteAt(d.source, screen);
    if (site) r = InsideSite(site, r);
    d.target = site;
    d.accepted = site != nullptr;
    d.dock->target_ = site;
    d.dock->dockRect_ = r;
    d.frame->Show(r);
}

void TDragManager::End(bool drop) {
    if (!current) return;
    if (!current->started) {
        current.reset();
        return;
    }
    Finish(drop);
}

void TDragManager::Finish(bool drop) {
    // A handler below may begin the next drag; this one is already over.
    std::unique_ptr<Drag> d = std::move(current);
    Release(*d);
    finishing = d.get();
    ScopeGuard clear([] { finishing = nullptr; });
    if (d->source) {
        d->source->pressedLeft_ = false;
        if (d->source->MouseCapture()) d->source->SetMouseCapture(false);
    }
    if (d->dock) {
        FinishDock(*d, drop);
        return;
    }
    TObject* source = d->object->Source();
    const POINT at = d->object->pos_;
    TControl* target = d->target;
    if (target && !(drop && d->accepted)) {
        d->target = nullptr;
        const POINT p = target->ScreenToClient(at);
        bool ignored = false;
        target->DoControlDragOver(source, p.x, p.y, dsDragLeave, ignored);
    }
    d->object->cancelling_ = !drop;
    d->object->dropped_ = d->target != nullptr;
    d->object->target_ = d->target;
    const bool dropped = d->target != nullptr;
    if (dropped) {
        const POINT p = d->target->ScreenToClient(at);
        d->target->DoControlDragDrop(source, p.x, p.y);
    }
    if (!d->source) return;
    const POINT p = d->target ? d->target->ScreenToClient(at) : d->source->ScreenToClient(at);
    d->source->DoEndDrag(d->target, p.x, p.y);
    if (d->source && !dropped) d->source->DragCanceled();
}

void TDragManager::FinishDock(Drag& d, bool drop) {
    TWinControl* site = drop && d.target ? d.target->AsWinControl() : nullptr;
    d.target = site;
    d.dock->cancelling_ = !drop;
    d.dock->dropped_ = site != nullptr;
    d.dock->target_ = site;
    if (!d.source) return;
    if (drop) {
        if (site) DockInto(d.source, site, d.dock->dockRect_);
        else Float(d.source, d.dock->dockRect_);
    }
    // The site may have gone while the control moved in (a handler of its own).
    if (!d.source) return;
    const POINT at = d.dock->pos_;
    const POINT p = d.target ? d.target->ScreenToClient(at) : at;
    d.source->DoEndDock(d.target, p.x, p.y);
    if (d.source && !drop) d.source->DragCanceled();
}

LRESULT TDragManager::KeyHook(int code, WPARAM wParam, LPARAM lParam) {
    const bool down = (uintptr_t(lParam) & 0x80000000u) == 0;
    if (code >= 0 && wParam == VK_ESCAPE && Active()) {
        if (down) End(false);
        return 1;
    }
    // Other hooks (the status bar's lock keys) still see every other key.
    return CallNextHookEx(current ? current->keyHook : nullptr, code, wParam, lParam);
}

bool TDragManager::WindowMessage(TControl* window, TMessage& m) {
    if (!current || MouseWindowOf(current->source) != window) return false;
    if (m.Msg < WM_MOUSEFIRST || m.Msg > WM_MOUSELAST || m.Msg == WM_MOUSEWHEEL) return false;
    POINT at{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
    at = window->ClientToScreen(at);
    if (!current->started) {
        if (m.Msg == WM_LBUTTONUP) {
            current.reset(); // released before the threshold: a plain click
        } else if (m.Msg == WM_MOUSEMOVE && (std::abs(at.x - current->start.x) > current->threshold ||
                                             std::abs(at.y - current->start.y) > current->threshold)) {
            Start();
            return true;
        }
        return false;
    }
    if (m.Msg == WM_MOUSEMOVE) Move(at);
    else if (m.Msg == WM_LBUTTONUP) {
        if (at.x != current->object->pos_.x || at.y != current->object->pos_.y) Move(at);
        if (current) Finish(true);
    }
    return true; // the source sees no clicks while its drag runs
}

void TDragManager::ControlDestroyed(TControl* control) {
    if (finishing) {
        if (finishing->source == control) finishing->source = nullptr;
        if (finishing->target == control) finishing->target = nullptr;
    }
    if (!current) return;
    if (current->source == control) {
        // The drag cannot outlive its source; no events reach a dying control.
        Release(*current);
        current.reset();
        return;
    }
    if (current->target == control) {
        current->target = nullptr;
        current->accepted = false;
        if (current->object) current->object->target_ = nullptr;
    }
}

} // namespace ax
