#include "xdnd_source.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>

namespace ax::test {

struct XdndSource::Impl {
    Display* dpy = nullptr;
    ::Window window = None, target = None;
    Atom enter, position, status, leave, drop, finished, selection, uriList;
    std::string uris;

    Atom Intern(const std::string& name) const { return XInternAtom(dpy, name.c_str(), False); }
    std::string Name(Atom a) const {
        if (a == None) return "";
        char* n = XGetAtomName(dpy, a);
        std::string s = n ? n : "";
        if (n) XFree(n);
        return s;
    }
    void Send(Atom type, long l1, long l2, long l3, long l4) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = target;
        e.xclient.message_type = type;
        e.xclient.format = 32;
        e.xclient.data.l[0] = static_cast<long>(window);
        e.xclient.data.l[1] = l1, e.xclient.data.l[2] = l2, e.xclient.data.l[3] = l3;
        e.xclient.data.l[4] = l4;
        XSendEvent(dpy, target, False, NoEventMask, &e);
        XFlush(dpy);
    }
};

XdndSource::XdndSource(const std::string& display, std::vector<std::string> actions, std::string uris)
    : impl_(new Impl) {
    Impl& m = *impl_;
    m.uris = std::move(uris);
    m.dpy = XOpenDisplay(display.c_str());
    if (!m.dpy) return;
    m.window = XCreateSimpleWindow(m.dpy, DefaultRootWindow(m.dpy), 0, 0, 1, 1, 0, 0, 0);
    m.enter = m.Intern("XdndEnter"), m.position = m.Intern("XdndPosition");
    m.status = m.Intern("XdndStatus"), m.leave = m.Intern("XdndLeave");
    m.drop = m.Intern("XdndDrop"), m.finished = m.Intern("XdndFinished");
    m.selection = m.Intern("XdndSelection"), m.uriList = m.Intern("text/uri-list");
    if (!actions.empty()) {
        std::vector<Atom> atoms;
        for (const std::string& a : actions)
            atoms.push_back(m.Intern(a));
        XChangeProperty(m.dpy, m.window, m.Intern("XdndActionList"), XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(atoms.data()), static_cast<int>(atoms.size()));
    }
    XSetSelectionOwner(m.dpy, m.selection, m.window, CurrentTime);
    XSync(m.dpy, False);
    thread_ = std::thread([this] { Run(); });
}

XdndSource::~XdndSource() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (impl_->dpy) XCloseDisplay(impl_->dpy);
}

void XdndSource::Run() {
    pollfd fd{ConnectionNumber(impl_->dpy), POLLIN, 0};
    while (!stop_) {
        {
            std::lock_guard<std::mutex> g(mutex_);
            Take();
        }
        poll(&fd, 1, 10);
    }
}

XdndSource::Answer XdndSource::LastStatus() const {
    std::lock_guard<std::mutex> g(mutex_);
    return status_;
}

XdndSource::Answer XdndSource::LastFinished() const {
    std::lock_guard<std::mutex> g(mutex_);
    return finished_;
}

bool XdndSource::Ok() const {
    std::lock_guard<std::mutex> g(mutex_);
    return impl_->dpy && XGetSelectionOwner(impl_->dpy, impl_->selection) == impl_->window;
}

void XdndSource::Enter(unsigned long target) {
    std::lock_guard<std::mutex> g(mutex_);
    impl_->target = target;
    impl_->Send(impl_->enter, 5L << 24, static_cast<long>(impl_->uriList), 0, 0);
}

void XdndSource::Position(int x, int y, const std::string& action) {
    std::lock_guard<std::mutex> g(mutex_);
    impl_->Send(impl_->position, 0, (static_cast<long>(x) << 16) | y, CurrentTime,
                static_cast<long>(impl_->Intern(action)));
}

void XdndSource::Leave() {
    std::lock_guard<std::mutex> g(mutex_);
    impl_->Send(impl_->leave, 0, 0, 0, 0);
}

void XdndSource::Drop() {
    std::lock_guard<std::mutex> g(mutex_);
    impl_->Send(impl_->drop, 0, CurrentTime, 0, 0);
}

void XdndSource::Take() {
    Impl& m = *impl_;
    while (XPending(m.dpy)) {
        XEvent e;
        XNextEvent(m.dpy, &e);
        if (e.type == ClientMessage && (e.xclient.message_type == m.status ||
                                        e.xclient.message_type == m.finished)) {
            const bool status = e.xclient.message_type == m.status;
            Answer& a = status ? status_ : finished_;
            ++a.count;
            a.accepted = e.xclient.data.l[1] & 1;
            a.action = m.Name(static_cast<Atom>(e.xclient.data.l[status ? 4 : 2]));
        } else if (e.type == SelectionRequest) {
            const XSelectionRequestEvent& req = e.xselectionrequest;
            XEvent reply{};
            reply.xselection.type = SelectionNotify;
            reply.xselection.requestor = req.requestor;
            reply.xselection.selection = req.selection;
            reply.xselection.target = req.target;
            reply.xselection.time = req.time;
            reply.xselection.property = None;
            if (req.target == m.uriList && req.property != None) {
                XChangeProperty(m.dpy, req.requestor, req.property, m.uriList, 8, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(m.uris.data()),
                                static_cast<int>(m.uris.size()));
                reply.xselection.property = req.property;
                ++served_;
            }
            XSendEvent(m.dpy, req.requestor, False, NoEventMask, &reply);
            XFlush(m.dpy);
        }
    }
}

} // namespace ax::test
