#include "xvfb.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <X11/extensions/XTest.h>
#include <algorithm>
#include <cairo.h>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ax::test {

namespace {

// Openbox with no bindings, menus or decorations of its own beyond what a
// client asks for; windows are placed where they ask to be.
constexpr const char* kOpenboxConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>%FOCUSNEW%</focusNew><followMouse>no</followMouse></focus>
  <placement><policy>Smart</policy></placement>
  <desktops><number>1</number></desktops>
  <keyboard></keyboard>
  <mouse></mouse>
</openbox_config>
)";

int IgnoreErrors(Display*, XErrorEvent*) {
    return 0;
} // a window may go while we look at it

pid_t Spawn(const std::vector<std::string>& argv,
            const std::vector<std::pair<std::string, std::string>>& env) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    for (const auto& [k, v] : env)
        setenv(k.c_str(), v.c_str(), 1);
    // Quiet children: their chatter is not the test's output.
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, 1);
        dup2(null, 2);
    }
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

void Stop(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

} // namespace

std::string FindProgram(std::string_view name) {
    const char* path = std::getenv("PATH");
    const std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t end = dirs.find(':', start);
        const std::string candidate = dirs.substr(start, end - start) + "/" + std::string(name);
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return {};
}

struct Xvfb::Impl {
    pid_t server = -1;
    pid_t wm = -1;
    Display* dpy = nullptr;
    ::Window root = 0;
    std::filesystem::path home; // the window manager's configuration and caches
    std::vector<::Window> watched;
    int configures = 0;
    std::vector<std::pair<::Window, Atom>> properties; // changes seen, for waits on them

    Atom A(const char* name) { return XInternAtom(dpy, name, False); }

    // Reads the events that arrived, counting what is watched.
    void Drain() {
        while (XPending(dpy) > 0) {
            XEvent e;
            XNextEvent(dpy, &e);
            // Each once, as the window's own event (the root hears of it too).
            if (e.type == ConfigureNotify && e.xconfigure.event == e.xconfigure.window &&
                std::ranges::count(watched, e.xconfigure.window) > 0)
                ++configures;
            if (e.type == PropertyNotify)
                properties.emplace_back(e.xproperty.window, e.xproperty.atom);
        }
    }

    void SendToRoot(::Window window, Atom type, long l0, long l1 = 0, long l2 = 0, long l3 = 0,
                    long l4 = 0) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = window;
        e.xclient.message_type = type;
        e.xclient.format = 32;
        e.xclient.data.l[0] = l0;
        e.xclient.data.l[1] = l1;
        e.xclient.data.l[2] = l2;
        e.xclient.data.l[3] = l3;
        e.xclient.data.l[4] = l4;
        XSendEvent(dpy, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
        XSync(dpy, False);
    }

    bool WmRunning() {
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        ::Window check = None;
        if (XGetWindowProperty(dpy, root, A("_NET_SUPPORTING_WM_CHECK"), 0, 1, False, XA_WINDOW,
                               &type, &format, &count, &after, &data) == Success &&
            data && count == 1)
            check = *reinterpret_cast<::Window*>(data);
        if (data) XFree(data);
        return check != None && XGetSelectionOwner(dpy, A("WM_S0")) != None;
    }
};

Xvfb::Xvfb() : impl_(std::make_unique<Impl>()) {}

Xvfb::~Xvfb() {
    if (impl_->dpy) XCloseDisplay(impl_->dpy);
    Stop(impl_->wm);
    Stop(impl_->server);
    if (!impl_->home.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(impl_->home, ec);
    }
}

void Xvfb::Fail(const std::string& what) {
    if (error_.empty()) error_ = what;
}

bool Xvfb::Start(const std::string& binary, int width, int height) {
    if (binary.empty()) {
        Fail("Xvfb is not installed");
        return false;
    }
    int fds[2];
    if (pipe(fds) != 0) return false;
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    impl_->server = fork();
    if (impl_->server == 0) {
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        execl(binary.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
              "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    // The server writes its display number once it accepts connections.
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    if (number.empty()) {
        Fail("Xvfb did not start");
        return false;
    }
    display_ = ":" + number;
    XInitThreads(); // the program under test talks to X from its own threads
    impl_->dpy = XOpenDisplay(display_.c_str());
    if (!impl_->dpy) {
        Fail("cannot connect to " + display_);
        return false;
    }
    XSetErrorHandler(IgnoreErrors);
    int event, error, major, minor;
    if (!XTestQueryExtension(impl_->dpy, &event, &error, &major, &minor)) {
        Fail("the server has no XTest");
        return false;
    }
    impl_->root = DefaultRootWindow(impl_->dpy);
    XSelectInput(impl_->dpy, impl_->root, PropertyChangeMask | SubstructureNotifyMask);
    XSync(impl_->dpy, False);
    return true;
}

bool Xvfb::StartWindowManager(Bound bound, bool focusNew) {
    const std::string openbox = FindProgram("openbox");
    if (openbox.empty()) {
        Fail("openbox is not installed");
        return false;
    }
    if (!impl_->dpy) return false;
    char pattern[] = "/tmp/ax-openbox-XXXXXX";
    if (!mkdtemp(pattern)) return false;
    impl_->home = pattern;
    const std::filesystem::path rc = impl_->home / "rc.xml";
    std::string config = kOpenboxConfig;
    config.replace(config.find("%FOCUSNEW%"), 10, focusNew ? "yes" : "no");
    std::ofstream(rc) << config;
    const std::string home = impl_->home.string();
    // Its configuration is ours alone; caches (fonts) stay the user's, which
    // a fresh folder would have it rebuild, slowly.
    impl_->wm = Spawn({openbox, "--sm-disable", "--config-file", rc.string()},
                      {{"DISPLAY", display_}, {"XDG_CONFIG_HOME", home}});
    // It declares itself early in its start, and drops requests until its
    // event loop runs: asked until it answers.
    if (!WaitFor([&] { return impl_->WmRunning(); }, bound) ||
        !WaitFor([&] { return WindowManagerBarrier(Bound(500)); }, bound)) {
        Fail("openbox did not take the screen");
        return false;
    }
    return true;
}

void Xvfb::MoveTo(int x, int y) {
    XTestFakeMotionEvent(impl_->dpy, -1, x, y, CurrentTime);
    XSync(impl_->dpy, False);
}

void Xvfb::Button(int button, bool down) {
    XTestFakeButtonEvent(impl_->dpy, static_cast<unsigned>(button), down ? True : False,
                         CurrentTime);
    XSync(impl_->dpy, False);
}

void Xvfb::Click(int x, int y, int button) {
    MoveTo(x, y);
    Button(button, true);
    Button(button, false);
}

void Xvfb::Drag(int fromX, int fromY, int toX, int toY, int steps) {
    MoveTo(fromX, fromY);
    Button(1, true);
    for (int i = 1; i <= steps; ++i)
        MoveTo(fromX + (toX - fromX) * i / steps, fromY + (toY - fromY) * i / steps);
    Button(1, false);
}

void Xvfb::Key(unsigned long keysym, bool down) {
    const KeyCode code = XKeysymToKeycode(impl_->dpy, keysym);
    XTestFakeKeyEvent(impl_->dpy, code, down ? True : False, CurrentTime);
    XSync(impl_->dpy, False);
}

void Xvfb::KeyStroke(unsigned long keysym) {
    Key(keysym, true);
    Key(keysym, false);
}

void Xvfb::Type(std::string_view text) {
    Display* dpy = impl_->dpy;
    const KeyCode shift = XKeysymToKeycode(dpy, XK_Shift_L);
    for (const char c : text) {
        const auto sym = static_cast<KeySym>(static_cast<unsigned char>(c));
        const KeyCode code = XKeysymToKeycode(dpy, sym);
        if (!code) continue;
        const bool shifted = XkbKeycodeToKeysym(dpy, code, 0, 0) != sym;
        if (shifted) XTestFakeKeyEvent(dpy, shift, True, CurrentTime);
        XTestFakeKeyEvent(dpy, code, True, CurrentTime);
        XTestFakeKeyEvent(dpy, code, False, CurrentTime);
        if (shifted) XTestFakeKeyEvent(dpy, shift, False, CurrentTime);
    }
    XSync(dpy, False);
}

void Xvfb::Iconify(unsigned long window) {
    impl_->SendToRoot(window, impl_->A("WM_CHANGE_STATE"), IconicState);
}

void Xvfb::Activate(unsigned long window) {
    impl_->SendToRoot(window, impl_->A("_NET_ACTIVE_WINDOW"), 2 /* from a pager */, CurrentTime);
}

void Xvfb::Close(unsigned long window) {
    impl_->SendToRoot(window, impl_->A("_NET_CLOSE_WINDOW"), CurrentTime, 2);
}

void Xvfb::Maximize(unsigned long window, bool on) {
    impl_->SendToRoot(window, impl_->A("_NET_WM_STATE"), on ? 1 : 0,
                      static_cast<long>(impl_->A("_NET_WM_STATE_MAXIMIZED_VERT")),
                      static_cast<long>(impl_->A("_NET_WM_STATE_MAXIMIZED_HORZ")), 2);
}

void Xvfb::KeepAbove(unsigned long window, bool on) {
    impl_->SendToRoot(window, impl_->A("_NET_WM_STATE"), on ? 1 : 0,
                      static_cast<long>(impl_->A("_NET_WM_STATE_ABOVE")), 0, 2);
}

void Xvfb::MoveResize(unsigned long window, int x, int y, int w, int h) {
    // Static gravity: the position is the window's own, not its frame's.
    const long flags = 10 /* StaticGravity */ | (0xF << 8) | (2 << 12);
    impl_->SendToRoot(window, impl_->A("_NET_MOVERESIZE_WINDOW"), flags, x, y, w, h);
}

void Xvfb::Map(unsigned long window) {
    XMapWindow(impl_->dpy, window);
    XSync(impl_->dpy, False);
}

void Xvfb::Resize(unsigned long window, int w, int h) {
    XResizeWindow(impl_->dpy, window, static_cast<unsigned>(w), static_cast<unsigned>(h));
    XSync(impl_->dpy, False);
}

void Xvfb::Destroy(unsigned long window) {
    XDestroyWindow(impl_->dpy, window);
    XSync(impl_->dpy, False);
}

void Xvfb::KillClient(unsigned long window) {
    XKillClient(impl_->dpy, window);
    XSync(impl_->dpy, False);
}

void Xvfb::DeleteWindow(unsigned long window) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = impl_->A("WM_PROTOCOLS");
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(impl_->A("WM_DELETE_WINDOW"));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(impl_->dpy, window, False, NoEventMask, &e);
    XSync(impl_->dpy, False);
}

bool Xvfb::WindowManagerBarrier(Bound bound) {
    // The window manager answers a frame-extents request by setting a
    // property; it handles requests in order, so everything before is done.
    Display* dpy = impl_->dpy;
    ::Window probe = XCreateSimpleWindow(dpy, impl_->root, 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(dpy, probe, PropertyChangeMask);
    const Atom extents = impl_->A("_NET_FRAME_EXTENTS");
    impl_->SendToRoot(probe, impl_->A("_NET_REQUEST_FRAME_EXTENTS"), 0);
    const bool ok = WaitFor(
        [&] {
            return std::ranges::count(impl_->properties,
                                      std::pair<::Window, Atom>(probe, extents)) > 0;
        },
        bound);
    std::erase_if(impl_->properties, [&](const auto& p) { return p.first == probe; });
    XDestroyWindow(dpy, probe);
    XSync(dpy, False);
    return ok;
}

Xvfb::Geometry Xvfb::WindowGeometry(unsigned long window) {
    Geometry g;
    XWindowAttributes a;
    if (!XGetWindowAttributes(impl_->dpy, window, &a)) return g;
    ::Window child;
    g.exists = true;
    g.viewable = a.map_state == IsViewable;
    g.width = a.width;
    g.height = a.height;
    XTranslateCoordinates(impl_->dpy, window, impl_->root, 0, 0, &g.x, &g.y, &child);
    return g;
}

long Xvfb::WmState(unsigned long window) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    long state = -1;
    const Atom wmState = impl_->A("WM_STATE");
    if (XGetWindowProperty(impl_->dpy, window, wmState, 0, 2, False, wmState, &type, &format,
                           &count, &after, &data) == Success &&
        data && count >= 1)
        state = *reinterpret_cast<long*>(data);
    if (data) XFree(data);
    return state;
}

std::string Xvfb::TextProperty(unsigned long window, const std::string& name) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::string text;
    if (XGetWindowProperty(impl_->dpy, window, impl_->A(name.c_str()), 0, 1 << 16, False,
                           AnyPropertyType, &type, &format, &count, &after, &data) == Success &&
        data && format == 8)
        text.assign(reinterpret_cast<char*>(data), count);
    if (data) XFree(data);
    return text;
}

std::vector<unsigned long> Xvfb::WindowsNamed(const std::string& prefix) {
    std::vector<unsigned long> found;
    std::vector<::Window> pending{impl_->root};
    while (!pending.empty()) {
        const ::Window w = pending.back();
        pending.pop_back();
        if (w != impl_->root && TextProperty(w, "WM_NAME").starts_with(prefix)) found.push_back(w);
        ::Window rootRet, parent, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(impl_->dpy, w, &rootRet, &parent, &children, &count)) continue;
        pending.insert(pending.end(), children, children + count);
        if (children) XFree(children);
    }
    return found;
}

std::vector<std::string> Xvfb::AtomProperty(unsigned long window, const std::string& name) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::vector<std::string> names;
    if (XGetWindowProperty(impl_->dpy, window, impl_->A(name.c_str()), 0, 1024, False, XA_ATOM,
                           &type, &format, &count, &after, &data) == Success &&
        data && format == 32) {
        for (unsigned long i = 0; i < count; ++i)
            if (char* n = XGetAtomName(impl_->dpy, reinterpret_cast<Atom*>(data)[i])) {
                names.emplace_back(n);
                XFree(n);
            }
    }
    if (data) XFree(data);
    return names;
}

Xvfb::SizeHints Xvfb::NormalHints(unsigned long window) {
    SizeHints out;
    XSizeHints hints{};
    long supplied = 0;
    if (!XGetWMNormalHints(impl_->dpy, window, &hints, &supplied)) return out;
    if (hints.flags & PMinSize) {
        out.minWidth = hints.min_width;
        out.minHeight = hints.min_height;
    }
    if (hints.flags & PMaxSize) {
        out.maxWidth = hints.max_width;
        out.maxHeight = hints.max_height;
    }
    return out;
}

unsigned long Xvfb::FocusWindow() {
    ::Window focus = None;
    int revert = 0;
    XGetInputFocus(impl_->dpy, &focus, &revert);
    return focus == PointerRoot ? 0 : focus;
}

void Xvfb::WatchConfigure(unsigned long window) {
    impl_->Drain();
    XSelectInput(impl_->dpy, window, StructureNotifyMask);
    XSync(impl_->dpy, False);
    impl_->watched.push_back(window);
}

int Xvfb::ConfigureEvents() {
    XSync(impl_->dpy, False);
    impl_->Drain();
    return impl_->configures;
}

bool Xvfb::WaitFor(const std::function<bool()>& done, Bound bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    const int fd = ConnectionNumber(impl_->dpy);
    for (;;) {
        if (done()) return true;
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= Bound::zero()) return false;
        // An X event, or a short slice for state only the program knows.
        XFlush(impl_->dpy);
        if (XEventsQueued(impl_->dpy, QueuedAlready) == 0) {
            pollfd p{fd, POLLIN, 0};
            const auto slice = std::min<Bound>(std::chrono::duration_cast<Bound>(left), Bound(10));
            poll(&p, 1, static_cast<int>(slice.count()));
        }
        impl_->Drain();
    }
}

bool Xvfb::Screenshot(const std::string& png, unsigned long window) {
    Display* dpy = impl_->dpy;
    const ::Window target = window ? window : impl_->root;
    XWindowAttributes a;
    if (!XGetWindowAttributes(dpy, target, &a)) return false;
    XImage* img = XGetImage(dpy, target, 0, 0, static_cast<unsigned>(a.width),
                            static_cast<unsigned>(a.height), AllPlanes, ZPixmap);
    if (!img) return false;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, a.width, a.height);
    for (int y = 0; y < a.height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) +
                                                y * cairo_image_surface_get_stride(s));
        for (int x = 0; x < a.width; ++x)
            row[x] = static_cast<uint32_t>(XGetPixel(img, x, y)) & 0xFFFFFF;
    }
    cairo_surface_mark_dirty(s);
    const bool ok = cairo_surface_write_to_png(s, png.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(s);
    XDestroyImage(img);
    return ok;
}

} // namespace ax::test
