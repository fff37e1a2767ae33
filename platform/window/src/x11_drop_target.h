#pragma once
// Drops from other programs (the XDND protocol, version 5): every top-level
// window says it takes drops, and what another program drags over it goes
// to the drop targets registered in the window layer, on the window's
// thread, with a data object that fetches the dragged data when asked.
// The source's suggested action gives the allowed effect (copy, move or
// link); when it asks (XdndActionAsk), the actions it lists are allowed and
// the target chooses as it does for its own drags. The target's answer goes
// back as the accepted action, never as a question.
//
// Threading: Handle and MakeAware run on the X thread, which never waits
// for a window's thread; the targets' answers come back as posted work.
#include "wm.h"
#include "x11_clipboard.h"
#include "x11_thread.h"

#include <X11/Xlib.h>
#include <memory>

namespace ax::wm {

class X11DropTarget {
public:
    X11DropTarget(Display* dpy, X11Clipboard& selections, std::weak_ptr<int> life);
    void Attach(X11Thread* x) { x_ = x; }

    void MakeAware(::Window top);
    // True when the message was a drop's.
    bool Handle(const XClientMessageEvent& m, HWND top);

private:
    class Data;
    void Enter(const XClientMessageEvent& m, HWND top);
    void Position(const XClientMessageEvent& m, HWND top);
    void Drop(const XClientMessageEvent& m, HWND top);
    void Reply(::Window source, ::Window target, Atom type, DWORD effect);
    DWORD EffectOf(Atom action) const;
    DWORD Allowed(::Window source, Atom suggested);
    Atom ActionOf(DWORD effect) const;
    DWORD KeyState();

    Display* dpy_;
    X11Clipboard& selections_;
    std::weak_ptr<int> life_;
    X11Thread* x_ = nullptr;
    Atom aware_, enter_, position_, status_, leave_, drop_, finished_, typeList_;
    Atom copy_, move_, link_, actionList_;
    // The drag now over one of our windows (the X thread's alone).
    ::Window source_ = None;
    std::shared_ptr<Data> data_;
};

} // namespace ax::wm
