#include "x11_drag_source.h"

#include <X11/Xatom.h>
#include <algorithm>
#include <chrono>

namespace ax::wm {

namespace {
constexpr int kVersion = 5;
// How long a drop waits for the target to say it is done with the data.
constexpr auto kFinishBound = std::chrono::seconds(10);
} // namespace

X11DragSource::X11DragSource(Display* dpy, ::Window source, X11Clipboard& selections,
                             std::function<bool(::Window)> ours)
    : dpy_(dpy), source_(source), selections_(selections), ours_(std::move(ours)) {
    const char* names[] = {"XdndAware",    "XdndEnter",      "XdndPosition",   "XdndStatus",
                           "XdndLeave",    "XdndDrop",       "XdndFinished",   "XdndTypeList",
                           "XdndSelection", "XdndActionCopy", "XdndActionMove", "XdndActionLink"};
    Atom a[std::size(names)];
    XInternAtoms(dpy, const_cast<char**>(names), static_cast<int>(std::size(names)), False, a);
    aware_ = a[0], enter_ = a[1], position_ = a[2], status_ = a[3], leave_ = a[4], drop_ = a[5];
    finished_ = a[6], typeList_ = a[7], selection_ = a[8], copy_ = a[9], move_ = a[10],
    link_ = a[11];
}

void X11DragSource::Offer(ClipboardOffer offer) {
    x_->Call([&] {
        types_.clear();
        for (const auto& [name, bytes] : offer)
            types_.push_back(XInternAtom(dpy_, name.c_str(), False));
        XChangeProperty(dpy_, source_, typeList_, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(types_.data()),
                        static_cast<int>(types_.size()));
        selections_.Serve(selection_, std::move(offer));
        target_ = None;
    });
}

bool X11DragSource::Over(POINT pt, DWORD allowed, DWORD preferred, DWORD* effect) {
    bool other = false;
    x_->Call([&] {
        int version = 0;
        const ::Window target = TargetAt(pt, &version);
        if (target != target_) {
            LeaveTarget();
            if (!target) return;
            target_ = target;
            version_ = std::min(version, kVersion);
            {
                std::lock_guard<std::mutex> g(mutex_);
                statusEffect_ = DROPEFFECT_NONE;
            }
            long l1 = static_cast<long>(version_) << 24;
            if (types_.size() > 3) l1 |= 1;
            Send(target_, enter_, l1, types_.size() > 0 ? static_cast<long>(types_[0]) : 0,
                 types_.size() > 1 ? static_cast<long>(types_[1]) : 0,
                 types_.size() > 2 ? static_cast<long>(types_[2]) : 0);
        }
        if (!target_) return;
        other = true;
        const DWORD wanted = (preferred & allowed) ? (preferred & allowed) : allowed;
        Send(target_, position_, 0, (static_cast<long>(pt.x) << 16) | (pt.y & 0xFFFF), CurrentTime,
             static_cast<long>(ActionOf(wanted)));
    });
    std::lock_guard<std::mutex> g(mutex_);
    *effect = other ? (statusEffect_ & allowed) : DROPEFFECT_NONE;
    return other;
}

DWORD X11DragSource::Drop() {
    bool dropped = false;
    x_->Call([&] {
        if (!target_) return;
        std::lock_guard<std::mutex> g(mutex_);
        if (statusEffect_ == DROPEFFECT_NONE) return;
        finishedSeen_ = false;
        dropped = true;
    });
    if (!dropped) {
        End();
        return DROPEFFECT_NONE;
    }
    x_->Call([&] { Send(target_, drop_, 0, CurrentTime, 0, 0); });
    // The target fetches the data (served on the X thread) and then answers.
    std::unique_lock<std::mutex> lock(mutex_);
    const bool finished = answered_.wait_for(lock, kFinishBound, [&] { return finishedSeen_; });
    const DWORD effect = finished ? finishedEffect_ : DROPEFFECT_NONE;
    lock.unlock();
    x_->Call([&] { target_ = None; });
    return effect;
}

void X11DragSource::End() {
    x_->Call([&] { LeaveTarget(); });
}

bool X11DragSource::Handle(const XClientMessageEvent& m) {
    if (m.window != source_ || (m.message_type != status_ && m.message_type != finished_))
        return false;
    if (static_cast<::Window>(m.data.l[0]) != target_) return true; // a target left behind
    std::lock_guard<std::mutex> g(mutex_);
    if (m.message_type == status_) {
        statusEffect_ = (m.data.l[1] & 1) ? EffectOf(static_cast<Atom>(m.data.l[4])) : DROPEFFECT_NONE;
    } else {
        // Older targets say nothing of the outcome: the last status stands.
        const bool said = version_ >= 5;
        finishedEffect_ = !said ? statusEffect_
                          : (m.data.l[1] & 1) ? EffectOf(static_cast<Atom>(m.data.l[2]))
                                              : DROPEFFECT_NONE;
        finishedSeen_ = true;
        answered_.notify_all();
    }
    return true;
}

// The top-level window under pt that takes drops: the first window on the
// way down from the root that says so (window managers' frames do not).
::Window X11DragSource::TargetAt(POINT pt, int* version) {
    const ::Window root = DefaultRootWindow(dpy_);
    ::Window w = root;
    for (int depth = 0; depth < 8; ++depth) {
        int x, y;
        ::Window child = None;
        if (!XTranslateCoordinates(dpy_, root, w, pt.x, pt.y, &x, &y, &child) || child == None)
            return None;
        w = child;
        if (ours_(w)) return None; // the drag loop itself serves our windows
        Atom type;
        int format;
        unsigned long count = 0, after;
        unsigned char* data = nullptr;
        const bool aware = XGetWindowProperty(dpy_, w, aware_, 0, 1, False, AnyPropertyType, &type,
                                              &format, &count, &after, &data) == Success &&
                           data && count == 1;
        if (aware) *version = static_cast<int>(*reinterpret_cast<Atom*>(data));
        if (data) XFree(data);
        if (aware) return *version >= 3 ? w : None;
    }
    return None;
}

void X11DragSource::Send(::Window to, Atom type, long l1, long l2, long l3, long l4) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = to;
    e.xclient.message_type = type;
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(source_);
    e.xclient.data.l[1] = l1;
    e.xclient.data.l[2] = l2;
    e.xclient.data.l[3] = l3;
    e.xclient.data.l[4] = l4;
    XSendEvent(dpy_, to, False, NoEventMask, &e);
}

void X11DragSource::LeaveTarget() {
    if (target_) Send(target_, leave_, 0, 0, 0, 0);
    target_ = None;
}

DWORD X11DragSource::EffectOf(Atom action) const {
    if (action == copy_) return DROPEFFECT_COPY;
    if (action == move_) return DROPEFFECT_MOVE;
    if (action == link_) return DROPEFFECT_LINK;
    return action != None ? DROPEFFECT_COPY : DROPEFFECT_NONE;
}

Atom X11DragSource::ActionOf(DWORD effect) const {
    if (effect & DROPEFFECT_MOVE && !(effect & DROPEFFECT_COPY)) return move_;
    if (effect & DROPEFFECT_COPY) return copy_;
    if (effect & DROPEFFECT_LINK) return link_;
    return copy_;
}

} // namespace ax::wm
