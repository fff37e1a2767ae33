// The X11 display: each top-level window is an X window showing its surface;
// X input becomes raw input of the window manager, X focus its activation,
// and the CLIPBOARD selection carries text to and from other programs.
#include "driver.h"
#include "platform/gdi/image.h"
#include "wm.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>
#include <condition_variable>
#include <map>
#include <mutex>
#include <poll.h>
#include <set>
#include <thread>
#include <unistd.h>

namespace ax::wm {

namespace {

int IgnoreErrors(Display*, XErrorEvent*) {
    return 0;
} // races with the server are expected

UINT VkFromKeysym(KeySym k) {
    if (k >= XK_a && k <= XK_z) return static_cast<UINT>('A' + (k - XK_a));
    if (k >= XK_A && k <= XK_Z) return static_cast<UINT>('A' + (k - XK_A));
    if (k >= XK_0 && k <= XK_9) return static_cast<UINT>('0' + (k - XK_0));
    if (k >= XK_F1 && k <= XK_F24) return static_cast<UINT>(VK_F1 + (k - XK_F1));
    if (k >= XK_KP_0 && k <= XK_KP_9) return static_cast<UINT>(VK_NUMPAD0 + (k - XK_KP_0));
    switch (k) {
    case XK_BackSpace:
        return VK_BACK;
    case XK_Tab:
    case XK_ISO_Left_Tab:
        return VK_TAB;
    case XK_Return:
    case XK_KP_Enter:
        return VK_RETURN;
    case XK_Escape:
        return VK_ESCAPE;
    case XK_space:
        return VK_SPACE;
    case XK_Prior:
    case XK_KP_Prior:
        return VK_PRIOR;
    case XK_Next:
    case XK_KP_Next:
        return VK_NEXT;
    case XK_End:
    case XK_KP_End:
        return VK_END;
    case XK_Home:
    case XK_KP_Home:
        return VK_HOME;
    case XK_Left:
    case XK_KP_Left:
        return VK_LEFT;
    case XK_Up:
    case XK_KP_Up:
        return VK_UP;
    case XK_Right:
    case XK_KP_Right:
        return VK_RIGHT;
    case XK_Down:
    case XK_KP_Down:
        return VK_DOWN;
    case XK_Insert:
    case XK_KP_Insert:
        return VK_INSERT;
    case XK_Delete:
    case XK_KP_Delete:
        return VK_DELETE;
    case XK_Shift_L:
        return VK_LSHIFT;
    case XK_Shift_R:
        return VK_RSHIFT;
    case XK_Control_L:
        return VK_LCONTROL;
    case XK_Control_R:
        return VK_RCONTROL;
    case XK_Alt_L:
    case XK_Meta_L:
        return VK_LMENU;
    case XK_Alt_R:
    case XK_Meta_R:
    case XK_ISO_Level3_Shift:
        return VK_RMENU;
    case XK_Caps_Lock:
        return VK_CAPITAL;
    case XK_Num_Lock:
        return VK_NUMLOCK;
    case XK_Scroll_Lock:
        return VK_SCROLL;
    case XK_Pause:
        return VK_PAUSE;
    case XK_Print:
        return VK_SNAPSHOT;
    case XK_Super_L:
        return VK_LWIN;
    case XK_Super_R:
        return VK_RWIN;
    case XK_Menu:
        return VK_APPS;
    case XK_KP_Multiply:
        return VK_MULTIPLY;
    case XK_KP_Add:
        return VK_ADD;
    case XK_KP_Subtract:
        return VK_SUBTRACT;
    case XK_KP_Decimal:
        return VK_DECIMAL;
    case XK_KP_Divide:
        return VK_DIVIDE;
    case XK_semicolon:
        return VK_OEM_1;
    case XK_equal:
        return VK_OEM_PLUS;
    case XK_comma:
        return VK_OEM_COMMA;
    case XK_minus:
        return VK_OEM_MINUS;
    case XK_period:
        return VK_OEM_PERIOD;
    case XK_slash:
        return VK_OEM_2;
    case XK_grave:
        return VK_OEM_3;
    case XK_bracketleft:
        return VK_OEM_4;
    case XK_backslash:
        return VK_OEM_5;
    case XK_bracketright:
        return VK_OEM_6;
    case XK_apostrophe:
        return VK_OEM_7;
    default:
        return 0;
    }
}

char32_t CharFromKeysym(KeySym k) {
    if ((k >= 0x20 && k <= 0x7E) || (k >= 0xA0 && k <= 0xFF)) return static_cast<char32_t>(k);
    if ((k & 0xFF000000) == 0x01000000) return static_cast<char32_t>(k & 0x00FFFFFF);
    return 0;
}

class X11Driver final : public DisplayDriver {
public:
    explicit X11Driver(Display* dpy) : dpy_(dpy) {
        XSetErrorHandler(IgnoreErrors);
        Bool supported = False;
        XkbSetDetectableAutoRepeat(dpy_, True, &supported);
        const char* names[] = {"WM_PROTOCOLS",
                               "WM_DELETE_WINDOW",
                               "_NET_WM_NAME",
                               "UTF8_STRING",
                               "_MOTIF_WM_HINTS",
                               "_NET_WM_WINDOW_TYPE",
                               "_NET_WM_WINDOW_TYPE_UTILITY",
                               "_NET_WM_WINDOW_TYPE_NORMAL",
                               "_NET_WM_STATE",
                               "_NET_WM_STATE_ABOVE",
                               "_NET_WM_MOVERESIZE",
                               "CLIPBOARD",
                               "TARGETS",
                               "AX_SELECTION"};
        XInternAtoms(dpy_, const_cast<char**>(names), kAtoms, False, atoms_);
        const int s = DefaultScreen(dpy_);
        screen_ = {DisplayWidth(dpy_, s), DisplayHeight(dpy_, s)};
        root_ = RootWindow(dpy_, s);
        helper_ = XCreateSimpleWindow(dpy_, root_, 0, 0, 1, 1, 0, 0, 0);
        XSelectInput(dpy_, helper_, PropertyChangeMask);
        XFlush(dpy_);
        if (pipe(wakePipe_) != 0) wakePipe_[0] = wakePipe_[1] = -1;
        reader_ = std::thread([this] { ReadEvents(); });
    }

    ~X11Driver() override {
        if (wakePipe_[1] >= 0) {
            const char c = 0;
            [[maybe_unused]] auto n = write(wakePipe_[1], &c, 1);
        }
        if (reader_.joinable()) reader_.join();
        for (int fd : wakePipe_)
            if (fd >= 0) close(fd);
        XCloseDisplay(dpy_);
    }

    DisplayKind Kind() const override { return DisplayKind::X11; }
    SIZE ScreenSize() override { return screen_; }

    void Created(HWND h, const RECT& r, DWORD style, DWORD exStyle, HWND owner) override {
        XLockDisplay(dpy_);
        XSetWindowAttributes a{};
        a.background_pixmap = None;
        a.event_mask = ExposureMask | KeyPressMask | KeyReleaseMask | ButtonPressMask |
                       ButtonReleaseMask | PointerMotionMask | StructureNotifyMask |
                       FocusChangeMask;
        ::Window x = XCreateWindow(dpy_, root_, r.left, r.top, std::max(1, r.width()),
                                   std::max(1, r.height()), 0, CopyFromParent, InputOutput,
                                   CopyFromParent, CWBackPixmap | CWEventMask, &a);
        Atom protocols[] = {atoms_[kDeleteWindow]};
        XSetWMProtocols(dpy_, x, protocols, 1);
        XSizeHints hints{};
        hints.flags = USPosition | USSize;
        hints.x = r.left;
        hints.y = r.top;
        hints.width = r.width();
        hints.height = r.height();
        XSetWMNormalHints(dpy_, x, &hints);
        // The frame is ours: the window manager is asked to add none.
        long motif[5] = {2, 0, 0, 0, 0};
        XChangeProperty(dpy_, x, atoms_[kMotifHints], atoms_[kMotifHints], 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(motif), 5);
        XUnlockDisplay(dpy_);
        {
            std::lock_guard<std::mutex> g(mutex_);
            toX_[h] = x;
            fromX_[x] = h;
        }
        if (owner) {
            std::lock_guard<std::mutex> g(mutex_);
            auto it = toX_.find(owner);
            if (it != toX_.end()) XSetTransientForHint(dpy_, x, it->second);
        }
        Restyled(h, style, exStyle);
        XFlush(dpy_);
    }

    void Destroyed(HWND h) override {
        ::Window x = Lookup(h);
        if (!x) return;
        {
            std::lock_guard<std::mutex> g(mutex_);
            toX_.erase(h);
            fromX_.erase(x);
            mapped_.erase(x);
        }
        XDestroyWindow(dpy_, x);
        XFlush(dpy_);
    }

    void Shown(HWND h, bool visible) override {
        ::Window x = Lookup(h);
        if (!x) return;
        if (visible) {
            XMapRaised(dpy_, x);
            XSync(dpy_, False);
            {
                std::lock_guard<std::mutex> g(mutex_);
                mapped_.insert(x);
            }
            PresentWhole(h);
        } else {
            {
                std::lock_guard<std::mutex> g(mutex_);
                mapped_.erase(x);
            }
            XUnmapWindow(dpy_, x);
            XFlush(dpy_);
        }
    }

    void Moved(HWND h, const RECT& r) override {
        if (::Window x = Lookup(h)) {
            XMoveResizeWindow(dpy_, x, r.left, r.top, std::max(1, r.width()),
                              std::max(1, r.height()));
            XFlush(dpy_);
        }
    }

    void Titled(HWND h, const std::string& text) override {
        ::Window x = Lookup(h);
        if (!x) return;
        XStoreName(dpy_, x, text.c_str());
        XChangeProperty(dpy_, x, atoms_[kNetWmName], atoms_[kUtf8], 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(text.data()),
                        static_cast<int>(text.size()));
        XFlush(dpy_);
    }

    void Restyled(HWND h, DWORD, DWORD exStyle) override {
        ::Window x = Lookup(h);
        if (!x) return;
        Atom type = atoms_[(exStyle & WS_EX_TOOLWINDOW) ? kTypeUtility : kTypeNormal];
        XChangeProperty(dpy_, x, atoms_[kNetWmType], XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&type), 1);
        if (exStyle & WS_EX_TOPMOST) {
            Atom above = atoms_[kStateAbove];
            XChangeProperty(dpy_, x, atoms_[kNetWmState], XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(&above), 1);
        } else {
            XDeleteProperty(dpy_, x, atoms_[kNetWmState]);
        }
        XFlush(dpy_);
    }

    void Raised(HWND h) override {
        if (::Window x = Lookup(h)) {
            XRaiseWindow(dpy_, x);
            XFlush(dpy_);
        }
    }

    void Focused(HWND h) override {
        ::Window x = Lookup(h);
        {
            std::lock_guard<std::mutex> g(mutex_);
            if (!x || !mapped_.count(x)) return;
        }
        XSetInputFocus(dpy_, x, RevertToParent, CurrentTime);
        XFlush(dpy_);
    }

    void Present(HWND h, cairo_surface_t* s, const RECT& r) override {
        ::Window x = Lookup(h);
        if (!x) return;
        {
            std::lock_guard<std::mutex> g(mutex_);
            if (!mapped_.count(x)) return;
        }
        const int W = cairo_image_surface_get_width(s), H = cairo_image_surface_get_height(s);
        const RECT c = Clip(r, RECT{0, 0, W, H});
        if (EmptyRect(c)) return;
        XLockDisplay(dpy_);
        const int sc = DefaultScreen(dpy_);
        XImage* img = XCreateImage(
            dpy_, DefaultVisual(dpy_, sc), static_cast<unsigned>(DefaultDepth(dpy_, sc)), ZPixmap,
            0, reinterpret_cast<char*>(cairo_image_surface_get_data(s)), static_cast<unsigned>(W),
            static_cast<unsigned>(H), 32, cairo_image_surface_get_stride(s));
        if (img) {
            img->byte_order = LSBFirst; // cairo keeps pixels in native (little-endian) words
            XPutImage(dpy_, x, DefaultGC(dpy_, sc), img, c.left, c.top, c.left, c.top,
                      static_cast<unsigned>(c.width()), static_cast<unsigned>(c.height()));
            img->data = nullptr; // the surface keeps its pixels
            XDestroyImage(img);
        }
        XUnlockDisplay(dpy_);
        XFlush(dpy_);
    }

    void SetCursor(HCURSOR cursor) override {
        static const std::pair<unsigned, unsigned> shapes[] = {
            {IDC_ARROW, XC_left_ptr},
            {IDC_IBEAM, XC_xterm},
            {IDC_WAIT, XC_watch},
            {IDC_CROSS, XC_crosshair},
            {IDC_UPARROW, XC_sb_up_arrow},
            {IDC_SIZENWSE, XC_bottom_right_corner},
            {IDC_SIZENESW, XC_bottom_left_corner},
            {IDC_SIZEWE, XC_sb_h_double_arrow},
            {IDC_SIZENS, XC_sb_v_double_arrow},
            {IDC_SIZEALL, XC_fleur},
            {IDC_NO, XC_X_cursor},
            {IDC_HAND, XC_hand2},
            {IDC_APPSTARTING, XC_watch},
            {IDC_HELP, XC_question_arrow}};
        unsigned shape = XC_left_ptr;
        for (auto [id, s] : shapes)
            if (LoadCursor(0, id) == cursor) shape = s;
        std::lock_guard<std::mutex> g(mutex_);
        auto it = cursors_.find(shape);
        if (it == cursors_.end())
            it = cursors_.emplace(shape, XCreateFontCursor(dpy_, shape)).first;
        for (auto& [h, x] : toX_)
            XDefineCursor(dpy_, x, it->second);
        XFlush(dpy_);
    }

    void BeginMoveSize(HWND h, LRESULT hit, POINT pt) override {
        ::Window x = Lookup(h);
        if (!x) return;
        static const std::pair<LRESULT, long> dirs[] = {
            {HTTOPLEFT, 0}, {HTTOP, 1},        {HTTOPRIGHT, 2}, {HTRIGHT, 3},  {HTBOTTOMRIGHT, 4},
            {HTBOTTOM, 5},  {HTBOTTOMLEFT, 6}, {HTLEFT, 7},     {HTCAPTION, 8}};
        long dir = -1;
        for (auto [code, d] : dirs)
            if (code == hit) dir = d;
        if (dir < 0) return;
        XUngrabPointer(dpy_, CurrentTime);
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = x;
        e.xclient.message_type = atoms_[kMoveResize];
        e.xclient.format = 32;
        e.xclient.data.l[0] = pt.x;
        e.xclient.data.l[1] = pt.y;
        e.xclient.data.l[2] = dir;
        e.xclient.data.l[3] = Button1;
        e.xclient.data.l[4] = 1;
        XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
        XFlush(dpy_);
    }

    void ClipboardTextChanged(const std::string& text) override {
        {
            std::lock_guard<std::mutex> g(mutex_);
            clipText_ = text;
        }
        XSetSelectionOwner(dpy_, atoms_[kClipboard], helper_, CurrentTime);
        XFlush(dpy_);
    }

    std::optional<std::string> ForeignClipboardText() override {
        const ::Window owner = XGetSelectionOwner(dpy_, atoms_[kClipboard]);
        if (owner == None || owner == helper_) return std::nullopt;
        std::unique_lock<std::mutex> lock(mutex_);
        const uint64_t ticket = ++clipRequest_;
        clipReply_.reset();
        lock.unlock();
        XConvertSelection(dpy_, atoms_[kClipboard], atoms_[kUtf8], atoms_[kSelection], helper_,
                          CurrentTime);
        XFlush(dpy_);
        lock.lock();
        // Another program answers in its own time; a silent one must not hang us.
        clipCond_.wait_for(lock, std::chrono::seconds(2), [&] { return clipAnswered_ >= ticket; });
        return clipReply_;
    }

    void Sync() override { XSync(dpy_, False); }
    void Beep() override {
        XBell(dpy_, 0);
        XFlush(dpy_);
    }
    unsigned long NativeHandle(HWND h) override { return Lookup(h); }

private:
    enum {
        kProtocols,
        kDeleteWindow,
        kNetWmName,
        kUtf8,
        kMotifHints,
        kNetWmType,
        kTypeUtility,
        kTypeNormal,
        kNetWmState,
        kStateAbove,
        kMoveResize,
        kClipboard,
        kTargets,
        kSelection,
        kAtoms
    };

    ::Window Lookup(HWND h) {
        std::lock_guard<std::mutex> g(mutex_);
        auto it = toX_.find(h);
        return it == toX_.end() ? 0 : it->second;
    }

    HWND Owner(::Window x) {
        std::lock_guard<std::mutex> g(mutex_);
        auto it = fromX_.find(x);
        return it == fromX_.end() ? nullptr : it->second;
    }

    void ReadEvents() {
        const int fd = ConnectionNumber(dpy_);
        for (;;) {
            pollfd fds[2] = {{fd, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
            if (poll(fds, 2, -1) < 0) continue;
            if (fds[1].revents) return;
            XLockDisplay(dpy_);
            std::vector<XEvent> events;
            while (XPending(dpy_)) {
                XEvent e;
                XNextEvent(dpy_, &e);
                events.push_back(e);
            }
            XUnlockDisplay(dpy_);
            for (XEvent& e : events)
                Handle(e);
        }
    }

    void Handle(XEvent& e) {
        switch (e.type) {
        case Expose:
            if (HWND h = Owner(e.xexpose.window)) {
                const RECT r{e.xexpose.x, e.xexpose.y, e.xexpose.x + e.xexpose.width,
                             e.xexpose.y + e.xexpose.height};
                RunOnWindowThread(h, [h, r] {
                    (void)r;
                    PresentWhole(h);
                });
            }
            break;
        case MotionNotify:
            InjectMouseMove(e.xmotion.x_root, e.xmotion.y_root);
            break;
        case ButtonPress:
        case ButtonRelease: {
            InjectMouseMove(e.xbutton.x_root, e.xbutton.y_root);
            const bool down = e.type == ButtonPress;
            switch (e.xbutton.button) {
            case Button1:
                InjectMouseButton(MouseButton::Left, down);
                break;
            case Button2:
                InjectMouseButton(MouseButton::Middle, down);
                break;
            case Button3:
                InjectMouseButton(MouseButton::Right, down);
                break;
            case Button4:
                if (down) InjectMouseWheel(WHEEL_DELTA);
                break;
            case Button5:
                if (down) InjectMouseWheel(-WHEEL_DELTA);
                break;
            default:
                break;
            }
            break;
        }
        case KeyPress:
        case KeyRelease: {
            const KeySym base = XLookupKeysym(&e.xkey, 0);
            UINT vk = VkFromKeysym(base);
            char buf[8];
            KeySym sym = 0;
            XLookupString(&e.xkey, buf, sizeof buf, &sym, nullptr);
            if (!vk) vk = VkFromKeysym(sym);
            if (vk) InjectKey(vk, e.type == KeyPress, e.type == KeyPress ? CharFromKeysym(sym) : 0);
            break;
        }
        case ConfigureNotify: {
            HWND h = Owner(e.xconfigure.window);
            if (!h) break;
            const XConfigureEvent c = e.xconfigure;
            RunOnWindowThread(h, [h, c] {
                RECT now;
                GetWindowRect(h, now);
                // Positions are on the screen only in events the window manager sends.
                const int x = c.send_event ? c.x : now.left;
                const int y = c.send_event ? c.y : now.top;
                if (x != now.left || y != now.top || c.width != now.width() ||
                    c.height != now.height())
                    SetWindowPos(h, nullptr, x, y, c.width, c.height,
                                 SWP_NOZORDER | SWP_NOACTIVATE);
            });
            break;
        }
        case FocusIn:
            if (HWND h = Owner(e.xfocus.window); h && e.xfocus.mode == NotifyNormal)
                RunOnWindowThread(h, [h] {
                    if (GetActiveWindow() != h && IsWindowEnabled(h)) SetActiveWindow(h);
                });
            break;
        case FocusOut:
            if (HWND h = Owner(e.xfocus.window);
                h && e.xfocus.mode == NotifyNormal && e.xfocus.detail != NotifyInferior)
                RunOnWindowThread(h, [this, h, life = std::weak_ptr<int>(life_)] {
                    if (life.expired()) return;
                    ::Window focus = 0;
                    int revert = 0;
                    XGetInputFocus(dpy_, &focus, &revert);
                    if (!Owner(focus) && GetActiveWindow() == h) SetActiveWindow(nullptr);
                });
            break;
        case ClientMessage:
            if (HWND h = Owner(e.xclient.window);
                h && static_cast<Atom>(e.xclient.data.l[0]) == atoms_[kDeleteWindow])
                PostMessage(h, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        case SelectionRequest:
            AnswerSelection(e.xselectionrequest);
            break;
        case SelectionNotify: {
            std::optional<std::string> text;
            if (e.xselection.property != None) {
                Atom type;
                int format;
                unsigned long count, after;
                unsigned char* data = nullptr;
                if (XGetWindowProperty(dpy_, helper_, atoms_[kSelection], 0, 1 << 24, True,
                                       AnyPropertyType, &type, &format, &count, &after,
                                       &data) == Success &&
                    data) {
                    text = std::string(reinterpret_cast<char*>(data), count);
                    XFree(data);
                }
            }
            {
                std::lock_guard<std::mutex> g(mutex_);
                clipReply_ = text;
                clipAnswered_ = clipRequest_;
            }
            clipCond_.notify_all();
            break;
        }
        default:
            break;
        }
    }

    void AnswerSelection(const XSelectionRequestEvent& req) {
        XEvent reply{};
        reply.xselection.type = SelectionNotify;
        reply.xselection.requestor = req.requestor;
        reply.xselection.selection = req.selection;
        reply.xselection.target = req.target;
        reply.xselection.time = req.time;
        reply.xselection.property = None;
        const Atom property = req.property != None ? req.property : req.target;
        std::string text;
        {
            std::lock_guard<std::mutex> g(mutex_);
            text = clipText_;
        }
        if (req.target == atoms_[kTargets]) {
            Atom targets[] = {atoms_[kTargets], atoms_[kUtf8], XA_STRING};
            XChangeProperty(dpy_, req.requestor, property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(targets), 3);
            reply.xselection.property = property;
        } else if (req.target == atoms_[kUtf8] || req.target == XA_STRING) {
            XChangeProperty(dpy_, req.requestor, property, req.target, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(text.data()),
                            static_cast<int>(text.size()));
            reply.xselection.property = property;
        }
        XSendEvent(dpy_, req.requestor, False, 0, &reply);
        XFlush(dpy_);
    }

    Display* dpy_;
    // Tasks queued for a window's thread may run after the driver is gone
    // (a switch of display); they check this first.
    std::shared_ptr<int> life_ = std::make_shared<int>(0);
    ::Window root_ = 0;
    ::Window helper_ = 0;
    SIZE screen_{};
    Atom atoms_[kAtoms]{};
    int wakePipe_[2] = {-1, -1};
    std::thread reader_;
    std::mutex mutex_;
    std::map<HWND, ::Window> toX_;
    std::map<::Window, HWND> fromX_;
    std::set<::Window> mapped_;
    std::map<unsigned, Cursor> cursors_;
    std::string clipText_;
    std::condition_variable clipCond_;
    uint64_t clipRequest_ = 0;
    uint64_t clipAnswered_ = 0;
    std::optional<std::string> clipReply_;
};

} // namespace

std::unique_ptr<DisplayDriver> MakeX11Driver() {
    static const bool threads = XInitThreads() != 0;
    if (!threads) return nullptr;
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return nullptr;
    return std::make_unique<X11Driver>(dpy);
}

} // namespace ax::wm
