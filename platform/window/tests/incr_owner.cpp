#include "incr_owner.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <algorithm>
#include <poll.h>

namespace ax::test {

struct IncrOwner::Impl {
    std::string display, target, data;
    size_t piece;
    Ending ending;
    int piecesBeforeEnding;

    Display* dpy = nullptr;
    ::Window window = None;
    Atom clipboard = None, targets = None, incr = None, wanted = None;
    // The transfer under way.
    ::Window requestor = None;
    Atom property = None;
    size_t offset = 0;
    bool sending = false;
};

IncrOwner::IncrOwner(const std::string& display, std::string target, std::string data, size_t piece,
                     Ending ending, int piecesBeforeEnding)
    : impl_(new Impl{display, std::move(target), std::move(data), piece, ending, piecesBeforeEnding}) {
    thread_ = std::thread([this] { Run(); });
}

IncrOwner::~IncrOwner() {
    stop_ = true;
    thread_.join();
    if (impl_->dpy) XCloseDisplay(impl_->dpy);
}

namespace {

void Notify(Display* dpy, const XSelectionRequestEvent& req, Atom property) {
    XEvent reply{};
    reply.xselection.type = SelectionNotify;
    reply.xselection.requestor = req.requestor;
    reply.xselection.selection = req.selection;
    reply.xselection.target = req.target;
    reply.xselection.time = req.time;
    reply.xselection.property = property;
    XSendEvent(dpy, req.requestor, False, NoEventMask, &reply);
}

} // namespace

void IncrOwner::Run() {
    Impl& m = *impl_;
    m.dpy = XOpenDisplay(m.display.c_str());
    if (!m.dpy) return;
    m.window = XCreateSimpleWindow(m.dpy, DefaultRootWindow(m.dpy), 0, 0, 1, 1, 0, 0, 0);
    m.clipboard = XInternAtom(m.dpy, "CLIPBOARD", False);
    m.targets = XInternAtom(m.dpy, "TARGETS", False);
    m.incr = XInternAtom(m.dpy, "INCR", False);
    m.wanted = XInternAtom(m.dpy, m.target.c_str(), False);
    XSetSelectionOwner(m.dpy, m.clipboard, m.window, CurrentTime);
    owns_ = XGetSelectionOwner(m.dpy, m.clipboard) == m.window;
    XFlush(m.dpy);
    pollfd fd{ConnectionNumber(m.dpy), POLLIN, 0};
    while (!stop_) {
        if (!XPending(m.dpy)) {
            poll(&fd, 1, 20);
            continue;
        }
        XEvent e;
        XNextEvent(m.dpy, &e);
        if (e.type == SelectionRequest) {
            const XSelectionRequestEvent& req = e.xselectionrequest;
            const Atom property = req.property != None ? req.property : req.target;
            if (req.target == m.targets) {
                Atom list[] = {m.targets, m.wanted};
                XChangeProperty(m.dpy, req.requestor, property, XA_ATOM, 32, PropModeReplace,
                                reinterpret_cast<unsigned char*>(list), 2);
                Notify(m.dpy, req, property);
            } else if (req.target == m.wanted) {
                // Always in pieces, however short the data.
                XSelectInput(m.dpy, req.requestor, PropertyChangeMask);
                long size = static_cast<long>(m.data.size());
                XChangeProperty(m.dpy, req.requestor, property, m.incr, 32, PropModeReplace,
                                reinterpret_cast<unsigned char*>(&size), 1);
                m.requestor = req.requestor, m.property = property, m.offset = 0, m.sending = true;
                ++transfers_;
                Notify(m.dpy, req, property);
            } else {
                Notify(m.dpy, req, None);
            }
        } else if (e.type == PropertyNotify && m.sending && e.xproperty.window == m.requestor &&
                   e.xproperty.atom == m.property && e.xproperty.state == PropertyDelete) {
            if (m.ending != Ending::Complete && pieces_ == m.piecesBeforeEnding) {
                m.sending = false;
                if (m.ending == Ending::Gone) {
                    XCloseDisplay(m.dpy);
                    m.dpy = nullptr;
                    ended_ = true;
                    return;
                }
                if (m.ending == Ending::WrongFormat) {
                    long items[4] = {1, 2, 3, 4};
                    XChangeProperty(m.dpy, m.requestor, m.property, m.wanted, 32, PropModeReplace,
                                    reinterpret_cast<unsigned char*>(items), 4);
                    ++pieces_;
                }
                ended_ = true;
            } else {
                const size_t n = std::min(m.piece, m.data.size() - m.offset);
                XChangeProperty(m.dpy, m.requestor, m.property, m.wanted, 8, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(m.data.data() + m.offset),
                                static_cast<int>(n));
                m.offset += n;
                ++pieces_;
                if (n == 0) {
                    m.sending = false;
                    ended_ = true;
                }
            }
        }
        XFlush(m.dpy);
    }
}

} // namespace ax::test
