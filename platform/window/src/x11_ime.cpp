// The X input method of the driver's windows: one input context per
// top-level window, made when the window first takes the focus or gets
// settings, with a style that needs no drawing of ours (the input method
// shows its composition itself, or nothing).
#include "x11_ime.h"

#include "rtl/text.h"

#include <X11/Xutil.h>
#include <algorithm>
#include <clocale>
#include <cstring>
#include <langinfo.h>

namespace ax::wm {

namespace {

// Xlib opens an input method in the locale of LC_CTYPE; the program keeps
// the C locale, so the opening borrows a UTF-8 one (the method keeps it).
class Utf8Ctype {
public:
    Utf8Ctype() {
        if (std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0) return;
        const char* now = std::setlocale(LC_CTYPE, nullptr);
        saved_ = now ? now : "C";
        switched_ = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
    }
    ~Utf8Ctype() {
        if (switched_) std::setlocale(LC_CTYPE, saved_.c_str());
    }
    Utf8Ctype(const Utf8Ctype&) = delete;
    Utf8Ctype& operator=(const Utf8Ctype&) = delete;

private:
    std::string saved_;
    bool switched_ = false;
};

// Styles in which the input method draws what it composes (or nothing), in
// the order preferred.
constexpr XIMStyle kStyles[] = {XIMPreeditNothing | XIMStatusNothing,
                                XIMPreeditNone | XIMStatusNone};

XIMStyle ChooseStyle(XIM im) {
    XIMStyles* offered = nullptr;
    if (XGetIMValues(im, XNQueryInputStyle, &offered, nullptr) != nullptr || !offered) return 0;
    XIMStyle chosen = 0;
    for (XIMStyle wanted : kStyles) {
        for (unsigned short i = 0; i < offered->count_styles && !chosen; ++i)
            if (offered->supported_styles[i] == wanted) chosen = wanted;
        if (chosen) break;
    }
    XFree(offered);
    return chosen;
}

void ResetComposition(XIC ic) {
    if (char* pending = Xutf8ResetIC(ic)) XFree(pending);
}

} // namespace

X11InputMethod::X11InputMethod(Display* dpy, long eventMask) : dpy_(dpy), eventMask_(eventMask) {
    ims_[""] = Open("");
}

X11InputMethod::~X11InputMethod() {
    for (auto& [id, c] : windows_)
        if (c.ic) XDestroyIC(c.ic);
    for (auto& [name, im] : ims_)
        if (im) XCloseIM(im);
    Utf8Ctype ctype;
    XSetLocaleModifiers("");
    XUnregisterIMInstantiateCallback(dpy_, nullptr, nullptr, nullptr, OnInstantiated,
                                     reinterpret_cast<XPointer>(this));
}

XIM X11InputMethod::Open(const std::string& name) {
    Utf8Ctype ctype;
    if (!XSupportsLocale()) return nullptr;
    const std::string modifiers = name.empty() ? std::string() : "@im=" + name;
    if (!XSetLocaleModifiers(modifiers.c_str())) return nullptr;
    XIM im = XOpenIM(dpy_, nullptr, nullptr, nullptr);
    if (im) {
        XIMCallback gone{reinterpret_cast<XPointer>(this), OnDestroyed};
        XSetIMValues(im, XNDestroyCallback, &gone, nullptr);
    } else if (name.empty()) {
        // The server named by XMODIFIERS may start later.
        XRegisterIMInstantiateCallback(dpy_, nullptr, nullptr, nullptr, OnInstantiated,
                                       reinterpret_cast<XPointer>(this));
    }
    return im;
}

XIM X11InputMethod::ImFor(const std::string& name) {
    auto it = ims_.find(name);
    if (it == ims_.end()) it = ims_.emplace(name, Open(name)).first;
    return it->second ? it->second : ims_[""];
}

void X11InputMethod::Attach(::Window id, Context& c) {
    XIM im = ImFor(c.name);
    if (c.ic && c.im == im) return;
    if (c.ic) XDestroyIC(c.ic);
    c.ic = nullptr;
    c.im = im;
    long wanted = 0;
    if (const XIMStyle style = im ? ChooseStyle(im) : 0) {
        c.ic = XCreateIC(im, XNInputStyle, style, XNClientWindow, id, XNFocusWindow, id, nullptr);
        if (c.ic) XGetICValues(c.ic, XNFilterEvents, &wanted, nullptr);
    }
    XSelectInput(dpy_, id, eventMask_ | wanted);
}

void X11InputMethod::Apply(::Window id, Context& c) {
    if (!c.ic) return;
    if (c.use == ImeUse::Disabled || c.use == ImeUse::Closed) ResetComposition(c.ic);
    if (c.use == ImeUse::Open || c.use == ImeUse::Closed) {
        // Honoured by the input methods that can switch composing on and off.
        XVaNestedList state = XVaCreateNestedList(
            0, XNPreeditState, c.use == ImeUse::Open ? XIMPreeditEnable : XIMPreeditDisable,
            nullptr);
        XSetICValues(c.ic, XNPreeditAttributes, state, nullptr);
        XFree(state);
    }
    if (focus_ == id && c.use != ImeUse::Disabled)
        XSetICFocus(c.ic);
    else
        XUnsetICFocus(c.ic);
}

void X11InputMethod::Forget(::Window id) {
    auto it = windows_.find(id);
    if (it == windows_.end()) return;
    if (it->second.ic) XDestroyIC(it->second.ic);
    windows_.erase(it);
    if (focus_ == id) focus_ = 0;
}

void X11InputMethod::Use(::Window id, ImeUse use, const std::string& name) {
    Context& c = windows_[id];
    c.use = use;
    c.name = name;
    Attach(id, c);
    Apply(id, c);
}

void X11InputMethod::Focus(::Window id, bool in) {
    if (in)
        focus_ = id;
    else if (focus_ == id)
        focus_ = 0;
    auto it = windows_.find(id);
    if (it == windows_.end()) {
        if (!in) return;
        it = windows_.emplace(id, Context{}).first;
    }
    if (!it->second.ic) Attach(id, it->second);
    Apply(id, it->second);
}

bool X11InputMethod::Filter(XEvent& e) {
    if (e.type != KeyPress && e.type != KeyRelease) return XFilterEvent(&e, None);
    auto it = windows_.find(e.xkey.window);
    const bool on = it != windows_.end() && it->second.ic && it->second.use != ImeUse::Disabled;
    const size_t code = e.xkey.keycode & 0xFF;
    if (on && XFilterEvent(&e, None)) {
        swallowed_[code] = e.type == KeyPress;
        return true;
    }
    // A key the input method took is released for it too.
    if (e.type == KeyRelease && swallowed_[code]) {
        swallowed_.reset(code);
        return true;
    }
    if (e.type == KeyPress) swallowed_.reset(code);
    return false;
}

X11InputMethod::Typed X11InputMethod::Lookup(XKeyEvent& key) {
    Typed t;
    char buf[64];
    auto it = windows_.find(key.window);
    if (key.type != KeyPress || it == windows_.end() || !it->second.ic) {
        XLookupString(&key, buf, sizeof buf, &t.sym, nullptr);
        return t;
    }
    Status status = XLookupNone;
    std::string text(sizeof buf, '\0');
    int n = Xutf8LookupString(it->second.ic, &key, text.data(), int(text.size()), &t.sym, &status);
    if (status == XBufferOverflow) { // a long commit
        text.resize(size_t(n));
        n = Xutf8LookupString(it->second.ic, &key, text.data(), n, &t.sym, &status);
    }
    if (status != XLookupKeySym && status != XLookupBoth) t.sym = NoSymbol;
    if (status == XLookupChars || status == XLookupBoth)
        t.text = Utf8ToCodePoints(std::string_view(text.data(), size_t(std::max(n, 0))));
    return t;
}

void X11InputMethod::Dropped(XIM im) {
    for (auto& [name, open] : ims_)
        if (open == im) open = nullptr;
    for (auto& [id, c] : windows_)
        if (c.im == im) c = {nullptr, nullptr, c.use, c.name}; // gone with the method
    Utf8Ctype ctype;
    XSetLocaleModifiers("");
    XRegisterIMInstantiateCallback(dpy_, nullptr, nullptr, nullptr, OnInstantiated,
                                   reinterpret_cast<XPointer>(this));
}

void X11InputMethod::OnDestroyed(XIM im, XPointer self, XPointer) {
    reinterpret_cast<X11InputMethod*>(self)->Dropped(im);
}

void X11InputMethod::OnInstantiated(Display*, XPointer self, XPointer) {
    auto* me = reinterpret_cast<X11InputMethod*>(self);
    {
        Utf8Ctype ctype;
        XSetLocaleModifiers("");
        XUnregisterIMInstantiateCallback(me->dpy_, nullptr, nullptr, nullptr, OnInstantiated, self);
    }
    if (me->ims_[""]) return;
    me->ims_[""] = me->Open("");
    for (auto& [id, c] : me->windows_) {
        me->Attach(id, c);
        me->Apply(id, c);
    }
}

} // namespace ax::wm
