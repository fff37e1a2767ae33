#pragma once
// Keyboard input through the X input method: an XIM server named by
// XMODIFIERS (or by a window's settings), else Xlib's own compose. Keys the
// input method takes are filtered out; what it commits comes back as key
// events that Lookup turns into text. X thread only.
#include "platform/window/ime.h"

#include <X11/Xlib.h>
#include <bitset>
#include <map>
#include <string>

namespace ax::wm {

class X11InputMethod {
public:
    // eventMask: what the windows select besides what the input method needs.
    X11InputMethod(Display* dpy, long eventMask);
    ~X11InputMethod();
    X11InputMethod(const X11InputMethod&) = delete;
    X11InputMethod& operator=(const X11InputMethod&) = delete;

    void Forget(::Window id);
    // The settings of the focus inside a top-level window.
    void Use(::Window id, ImeUse use, const std::string& name);
    void Focus(::Window id, bool in);
    // True when the event is the input method's alone.
    bool Filter(XEvent& e);

    struct Typed {
        KeySym sym = NoSymbol;
        std::u32string text;
    };
    Typed Lookup(XKeyEvent& key);

private:
    struct Context {
        XIM im = nullptr;
        XIC ic = nullptr;
        ImeUse use = ImeUse::Default;
        std::string name;
    };
    XIM Open(const std::string& name);
    XIM ImFor(const std::string& name);
    void Attach(::Window id, Context& c);
    void Apply(::Window id, Context& c);
    void Dropped(XIM im);
    static void OnDestroyed(XIM im, XPointer self, XPointer);
    static void OnInstantiated(Display*, XPointer self, XPointer);

    Display* dpy_;
    long eventMask_;
    std::map<std::string, XIM> ims_; // by name; nullptr: none could be opened
    std::map<::Window, Context> windows_;
    ::Window focus_ = 0;
    std::bitset<256> swallowed_; // keys whose press the input method took
};

} // namespace ax::wm
