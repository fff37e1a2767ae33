#pragma once
// The program's drags over other programs' windows (the XDND protocol,
// version 5, as source): the data is served as the drag's selection, the
// window under the pointer that takes drops is entered, told of the moves
// and dropped on; its answers give the effect shown and carried out.
//
// Threading: Offer, Over, Drop and End come from the dragging window's
// thread and wait for the X thread; Handle runs on the X thread.
#include "driver.h"
#include "platform/ole/ole.h"
#include "x11_clipboard.h"
#include "x11_thread.h"

#include <X11/Xlib.h>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace ax::wm {

class X11DragSource {
public:
    // source: the program's window that owns the drag's selection and gets
    // the answers; ours tells the program's own windows.
    X11DragSource(Display* dpy, ::Window source, X11Clipboard& selections,
                  std::function<bool(::Window)> ours);
    void Attach(X11Thread* x) { x_ = x; }

    void Offer(ClipboardOffer offer);
    bool Over(POINT pt, DWORD allowed, DWORD preferred, DWORD* effect);
    DWORD Drop();
    void End();
    // On the X thread: true when the message was an answer of a drop target.
    bool Handle(const XClientMessageEvent& m);

private:
    ::Window TargetAt(POINT pt, int* version);
    void Send(::Window to, Atom type, long l1, long l2, long l3, long l4);
    void LeaveTarget();
    DWORD EffectOf(Atom action) const;
    Atom ActionOf(DWORD effect) const;

    Display* dpy_;
    ::Window source_;
    X11Clipboard& selections_;
    std::function<bool(::Window)> ours_;
    X11Thread* x_ = nullptr;
    Atom aware_, enter_, position_, status_, leave_, drop_, finished_, typeList_, selection_;
    Atom copy_, move_, link_;

    // The X thread's alone.
    std::vector<Atom> types_;
    ::Window target_ = None;
    int version_ = 0;

    // Shared with the dragging thread, under mutex_.
    std::mutex mutex_;
    std::condition_variable answered_;
    DWORD statusEffect_ = 0;
    bool finishedSeen_ = false;
    DWORD finishedEffect_ = 0;
};

} // namespace ax::wm
