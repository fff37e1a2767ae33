// The X11 display: each top-level window is an X window showing its surface;
// X input becomes raw input of the window manager, X focus its activation,
// the X window manager's moves, sizes and states become the window's own,
// and the CLIPBOARD selection carries data to and from other programs
// (x11_clipboard.h).
//
// Threading: every Xlib call runs on the driver's X thread (x11_thread.h),
// and so does every access to the X-side window state below. Calls from the
// window layer queue work there; the few that need an answer wait for it.
// What the X thread learns is handed to the window's own thread as a task.
#include "driver.h"
#include "lock_key_monitor.h"
#include "platform/gdi/image.h"
#include "sysmenu_state.h"
#include "wm.h"
#include "x11_cursor.h"
#include "x11_ime.h"
#include "x11_keys.h"
#include "x11_clipboard.h"
#include "x11_drag_source.h"
#include "x11_drop_target.h"
#include "x11_open.h"
#include "x11_thread.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

namespace ax::wm {

namespace {

int IgnoreErrors(Display*, XErrorEvent*) {
    return 0;
} // races with the server are expected (a window destroyed by someone else)

// Presents waiting for the X thread hold copies of their pixels; past this
// much the painting thread waits for the X thread to catch up.
constexpr size_t kMaxQueuedPixels = 32u << 20;

constexpr long kWindowEvents = ExposureMask | KeyPressMask | KeyReleaseMask | ButtonPressMask |
                               ButtonReleaseMask | PointerMotionMask | StructureNotifyMask |
                               FocusChangeMask | PropertyChangeMask;

// The sides a press on a frame part drags: left, top, right, bottom.
struct DragSides {
    LRESULT hit;
    long netDirection; // _NET_WM_MOVERESIZE direction
    bool left, top, right, bottom;
};
constexpr DragSides kDragSides[] = {
    {HTTOPLEFT, 0, true, true, false, false},     {HTTOP, 1, false, true, false, false},
    {HTTOPRIGHT, 2, false, true, true, false},    {HTRIGHT, 3, false, false, true, false},
    {HTBOTTOMRIGHT, 4, false, false, true, true}, {HTBOTTOM, 5, false, false, false, true},
    {HTBOTTOMLEFT, 6, true, false, false, true},  {HTLEFT, 7, true, false, false, false},
    {HTCAPTION, 8, true, true, true, true}, // the whole window moves
};

const DragSides* SidesOf(LRESULT hit) {
    for (const DragSides& s : kDragSides)
        if (s.hit == hit) return &s;
    return nullptr;
}

bool IsAscii(const std::string& s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

class X11Driver final : public DisplayDriver {
public:
    explicit X11Driver(Display* dpy) {
        XSetErrorHandler(IgnoreErrors);
        Bool supported = False;
        XkbSetDetectableAutoRepeat(dpy, True, &supported);
        const char* names[] = {"WM_PROTOCOLS",
                               "WM_DELETE_WINDOW",
                               "WM_STATE",
                               "_NET_WM_NAME",
                               "UTF8_STRING",
                               "_MOTIF_WM_HINTS",
                               "_NET_WM_WINDOW_TYPE",
                               "_NET_WM_WINDOW_TYPE_UTILITY",
                               "_NET_WM_WINDOW_TYPE_NORMAL",
                               "_NET_WM_STATE",
                               "_NET_WM_STATE_ABOVE",
                               "_NET_WM_STATE_MAXIMIZED_VERT",
                               "_NET_WM_STATE_MAXIMIZED_HORZ",
                               "_NET_WM_MOVERESIZE",
                               "_NET_WORKAREA",
                               "_NET_SUPPORTED",
                               "_NET_SUPPORTING_WM_CHECK"};
        static_assert(std::size(names) == kAtoms);
        XInternAtoms(dpy, const_cast<char**>(names), kAtoms, False, atoms_);
        screenNumber_ = DefaultScreen(dpy);
        screen_ = {DisplayWidth(dpy, screenNumber_), DisplayHeight(dpy, screenNumber_)};
        root_ = RootWindow(dpy, screenNumber_);
        char wmSelection[32];
        std::snprintf(wmSelection, sizeof wmSelection, "WM_S%d", screenNumber_);
        wmSelection_ = XInternAtom(dpy, wmSelection, False);
        helper_ = XCreateSimpleWindow(dpy, root_, 0, 0, 1, 1, 0, 0, 0);
        XSelectInput(dpy, helper_, PropertyChangeMask);
        char settingsSelection[32];
        std::snprintf(settingsSelection, sizeof settingsSelection, "_XSETTINGS_S%d", screenNumber_);
        settingsSelection_ = XInternAtom(dpy, settingsSelection, False);
        settingsAtom_ = XInternAtom(dpy, "_XSETTINGS_SETTINGS", False);
        FollowSettingsManager(dpy);
        XFlush(dpy);
        dpy_ = dpy;
        clipboard_.emplace(dpy, helper_);
        drops_.emplace(dpy, *clipboard_, life_);
        drags_.emplace(dpy, helper_, *clipboard_, [this](::Window w) { return byX_.count(w) != 0; });
        ime_ = std::make_unique<X11InputMethod>(dpy, kWindowEvents);
        x_ = std::make_unique<X11Thread>(
            dpy, [this](XEvent& e) { Handle(e); }, [this] { OnConnectionLost(); });
        clipboard_->Attach(x_.get());
        drops_->Attach(x_.get());
        drags_->Attach(x_.get());
        RegisterLockKeyMonitor();
    }

    ~X11Driver() override {
        UnregisterLockKeyMonitor();
        x_->Post([this, thread = x_.get()] {
            // A lost connection cannot be asked to drop the input contexts.
            if (thread->Lost())
                (void)ime_.release();
            else
                ime_.reset();
            for (auto& [id, cursor] : cursors_)
                XFreeCursor(dpy_, cursor);
            imageCursors_.FreeAll(dpy_);
            XDestroyWindow(dpy_, helper_);
        });
        x_.reset(); // runs what is queued, then closes the connection
    }

    DisplayKind Kind() const override { return DisplayKind::X11; }
    SIZE ScreenSize() override { return screen_; }

    RECT WorkArea() override {
        RECT area{0, 0, screen_.cx, screen_.cy};
        const auto read = [&] {
            // The window manager's x, y, width and height of the first desktop.
            Atom type;
            int format;
            unsigned long count, after;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(dpy_, root_, atoms_[kWorkArea], 0, 4, False, XA_CARDINAL, &type,
                                   &format, &count, &after, &data) == Success &&
                data && format == 32 && count == 4) {
                const auto* v = reinterpret_cast<const long*>(data);
                const RECT r{int(v[0]), int(v[1]), int(v[0] + v[2]), int(v[1] + v[3])};
                if (!EmptyRect(r)) area = Clip(r, area);
            }
            if (data) XFree(data);
        };
        if (x_->OnThread())
            read();
        else
            x_->Call(read);
        return area;
    }

    void Created(HWND h, const RECT& r, DWORD style, DWORD exStyle, HWND owner) override {
        x_->Post([=, this] { Create(h, r, style, exStyle, owner); });
    }

    void Destroyed(HWND h) override {
        x_->Post([=, this] {
            XWin* w = Find(h);
            if (!w) return;
            const ::Window id = w->id;
            if (drag_.hwnd == h) drag_ = {};
            if (focusWanted_ == h) focusWanted_ = nullptr;
            byX_.erase(id);
            windows_.erase(h);
            ime_->Forget(id);
            XDestroyWindow(dpy_, id);
        });
    }

    void Shown(HWND h, bool visible) override {
        if (!visible) {
            x_->Post([=, this] {
                if (XWin* w = Find(h)) {
                    w->mapWanted = false;
                    XWithdrawWindow(dpy_, w->id, screenNumber_);
                }
            });
            return;
        }
        // The first frame is painted before the window is mapped, so the
        // server never shows it unpainted.
        RunOnWindowThread(h, [this, h, life = std::weak_ptr<int>(life_)] {
            if (life.expired() || !IsWindowVisible(h)) return;
            UpdateWindow(h);
            const bool iconic = IsIconic(h);
            x_->Post([=, this] { Map(h, iconic); });
        });
    }

    void Moved(HWND h, const RECT& r) override {
        x_->Post([=, this] {
            XWin* w = Find(h);
            if (!w) return;
            w->rect = r;
            XMoveResizeWindow(dpy_, w->id, r.left, r.top,
                              static_cast<unsigned>(std::max(1, r.width())),
                              static_cast<unsigned>(std::max(1, r.height())));
        });
    }

    void Iconified(HWND h, bool iconic) override {
        x_->Post([=, this] {
            XWin* w = Find(h);
            if (!w || w->iconic == iconic) return; // the display made it so already
            w->iconic = iconic;
            if (!w->mapWanted) return; // applies when shown (the initial state)
            if (!iconic)
                XMapRaised(dpy_, w->id);
            else if (!w->override && XGetSelectionOwner(dpy_, wmSelection_) != None)
                XIconifyWindow(dpy_, w->id, screenNumber_);
            else
                XUnmapWindow(dpy_, w->id); // no window manager to keep an icon
        });
    }

    bool PlacesMaximized() override {
        bool managed = false;
        const auto ask = [&] { managed = XGetSelectionOwner(dpy_, wmSelection_) != None; };
        if (x_->OnThread())
            ask();
        else
            x_->Call(ask);
        return managed;
    }

    void Zoomed(HWND h, bool zoomed) override {
        x_->Post([=, this] {
            XWin* w = Find(h);
            if (!w || w->override || w->zoomed == zoomed) return;
            w->zoomed = zoomed;
            if (w->mapWanted && XGetSelectionOwner(dpy_, wmSelection_) != None)
                SendNetWmState(*w, zoomed, kStateMaxVert, kStateMaxHorz);
            else
                WriteNetWmState(*w); // read by a window manager when it maps the window
        });
    }

    void SizeLimited(HWND h, SIZE min, SIZE max) override {
        x_->Post([=, this] {
            XWin* w = Find(h);
            if (!w || w->override || (w->minSize == min && w->maxSize == max)) return;
            w->minSize = min;
            w->maxSize = max;
            XSizeHints hints{};
            hints.flags = USPosition | USSize | PMinSize;
            hints.x = w->rect.left;
            hints.y = w->rect.top;
            hints.width = w->rect.width();
            hints.height = w->rect.height();
            hints.min_width = std::max(1, int(min.cx));
            hints.min_height = std::max(1, int(min.cy));
            if (max.cx > 0 && max.cy > 0) {
                hints.flags |= PMaxSize;
                hints.max_width = int(max.cx);
                hints.max_height = int(max.cy);
            }
            XSetWMNormalHints(dpy_, w->id, &hints);
        });
    }

    void Titled(HWND h, const std::string& text) override {
        x_->Post([=, this] {
            XWin* w = Find(h);
            if (!w) return;
            // WM_NAME in Latin-1 when the text allows it; tools that read
            // only WM_NAME get UTF-8 otherwise.
            const Atom type = IsAscii(text) ? XA_STRING : atoms_[kUtf8];
            const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
            const int n = static_cast<int>(text.size());
            XChangeProperty(dpy_, w->id, XA_WM_NAME, type, 8, PropModeReplace, bytes, n);
            XChangeProperty(dpy_, w->id, atoms_[kNetWmName], atoms_[kUtf8], 8, PropModeReplace,
                            bytes, n);
        });
    }

    void Restyled(HWND h, DWORD, DWORD exStyle) override {
        x_->Post([=, this] {
            if (XWin* w = Find(h)) ApplyExStyle(*w, exStyle);
        });
    }

    void Raised(HWND h) override {
        x_->Post([=, this] {
            if (XWin* w = Find(h)) XRaiseWindow(dpy_, w->id);
        });
    }

    void Focused(HWND h) override {
        x_->Post([=, this] {
            XWin* w = Find(h);
            if (!w || w->override) return;
            // A window the window manager has not shown yet cannot take the
            // focus; it is asked again once it is exposed, as the window
            // manager may not give it on its own.
            focusWanted_ = h;
            if (w->viewable) XSetInputFocus(dpy_, w->id, RevertToParent, CurrentTime);
        });
    }

    void InputMethodFocus(HWND h, ImeUse use, const std::string& name) override {
        x_->Post([=, this] {
            if (XWin* w = Find(h)) ime_->Use(w->id, use, name);
        });
    }

    void Present(HWND h, cairo_surface_t* s, const RECT& r) override {
        const int W = cairo_image_surface_get_width(s), H = cairo_image_surface_get_height(s);
        const RECT c = Clip(r, RECT{0, 0, W, H});
        if (EmptyRect(c)) return;
        // The surface belongs to the painting thread: the X thread gets a copy.
        const size_t width = static_cast<size_t>(c.width()),
                     height = static_cast<size_t>(c.height());
        const size_t bytes = width * height * 4;
        auto* pixels = static_cast<char*>(std::malloc(bytes)); // freed by XDestroyImage
        if (!pixels) return;
        const int stride = cairo_image_surface_get_stride(s);
        const unsigned char* data = cairo_image_surface_get_data(s);
        for (size_t y = 0; y < height; ++y)
            std::memcpy(pixels + y * width * 4,
                        data + static_cast<size_t>(c.top + int(y)) * size_t(stride) +
                            size_t(c.left) * 4,
                        width * 4);
        if (!x_->OnThread()) {
            std::unique_lock<std::mutex> lock(mutex_);
            drained_.wait(lock, [&] { return queuedPixels_ < kMaxQueuedPixels; });
            queuedPixels_ += bytes;
        } else {
            std::lock_guard<std::mutex> g(mutex_);
            queuedPixels_ += bytes;
        }
        x_->Post([=, this] {
            PutPixels(h, c, pixels);
            {
                std::lock_guard<std::mutex> g(mutex_);
                queuedPixels_ -= bytes;
            }
            drained_.notify_all();
        });
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
        bool stock = !cursor;
        for (auto [id, s] : shapes)
            if (LoadCursor(0, id) == cursor) {
                shape = s;
                stock = true;
            }
        // The program's own cursors show as they are drawn.
        if (std::optional<CursorPicture> picture = stock ? std::nullopt : ReadCursorPicture(cursor)) {
            x_->Post([this, picture = std::move(*picture)] {
                if (const Cursor c = imageCursors_.Get(dpy_, picture); c != None)
                    for (auto& [hwnd, w] : windows_)
                        XDefineCursor(dpy_, w.id, c);
            });
            return;
        }
        x_->Post([=, this] {
            auto it = cursors_.find(shape);
            if (it == cursors_.end())
                it = cursors_.emplace(shape, XCreateFontCursor(dpy_, shape)).first;
            for (auto& [hwnd, w] : windows_)
                XDefineCursor(dpy_, w.id, it->second);
        });
    }

    void BeginMoveSize(HWND h, LRESULT hit, POINT pt) override {
        const DragSides* sides = SidesOf(hit);
        if (!sides) return;
        x_->Post([=, this] {
            XWin* w = Find(h);
            if (!w) return;
            if (WindowManagerCan(atoms_[kMoveResize])) {
                // The window manager follows the pointer from here on.
                XUngrabPointer(dpy_, CurrentTime);
                XEvent e{};
                e.xclient.type = ClientMessage;
                e.xclient.window = w->id;
                e.xclient.message_type = atoms_[kMoveResize];
                e.xclient.format = 32;
                e.xclient.data.l[0] = pt.x;
                e.xclient.data.l[1] = pt.y;
                e.xclient.data.l[2] = sides->netDirection;
                e.xclient.data.l[3] = Button1;
                e.xclient.data.l[4] = 1;
                XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask,
                           &e);
                return;
            }
            // Nobody else moves it: follow the pointer while the button is
            // down (the press's implicit grab brings us the motion).
            ::Window rootRet, childRet;
            int rx, ry, wx, wy;
            unsigned mask = 0;
            if (!XQueryPointer(dpy_, w->id, &rootRet, &childRet, &rx, &ry, &wx, &wy, &mask) ||
                !(mask & Button1Mask))
                return; // released before we got here
            drag_ = {h, sides, pt, w->rect};
            FollowDrag(rx, ry);
        });
    }

    void BeginKeyboardMoveSize(HWND h, bool size) override {
        x_->Post([=, this] {
            XWin* w = Find(h);
            // Only a window manager has a keyboard move; without one the
            // command does nothing.
            if (!w || !WindowManagerCan(atoms_[kMoveResize])) return;
            constexpr long kSizeKeyboard = 9, kMoveKeyboard = 10;
            XEvent e{};
            e.xclient.type = ClientMessage;
            e.xclient.window = w->id;
            e.xclient.message_type = atoms_[kMoveResize];
            e.xclient.format = 32;
            e.xclient.data.l[2] = size ? kSizeKeyboard : kMoveKeyboard;
            e.xclient.data.l[4] = 1;
            XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
        });
    }

    void ClipboardOffered(ClipboardOffer offer) override { clipboard_->Offer(std::move(offer)); }
    bool ClipboardTaken() override { return clipboard_->Taken(); }
    std::optional<std::vector<uint8_t>> ForeignClipboard(const std::string& target) override {
        return clipboard_->Read(target);
    }

    void DragOffered(ClipboardOffer offer) override { drags_->Offer(std::move(offer)); }
    bool DragOverOther(POINT pt, DWORD allowed, DWORD preferred, DWORD* effect) override {
        return drags_->Over(pt, allowed, preferred, effect);
    }
    DWORD DropOnOther() override { return drags_->Drop(); }
    void DragEnded() override { drags_->End(); }

    void Sync() override {
        x_->Call([this] { XSync(dpy_, False); });
    }

    unsigned long NativeHandle(HWND h) override {
        unsigned long id = 0;
        x_->Call([&] {
            if (XWin* w = Find(h)) id = w->id;
        });
        return id;
    }

    std::vector<std::uint8_t> DesktopSettings() override {
        std::vector<std::uint8_t> settings;
        x_->Call([&] { settings = ReadSettings(); });
        return settings;
    }

    void WatchDesktopSettings(std::function<void(std::vector<std::uint8_t>)> changed) override {
        x_->Call([&] {
            // A manager that started after us is found when watching starts.
            if (!settingsOwner_) FollowSettingsManager(dpy_);
            settingsChanged_ = std::move(changed);
        });
    }

    void Bell() override {
        x_->Post([this] {
            XBell(dpy_, 0);
            XFlush(dpy_);
        });
    }

private:
    enum {
        kProtocols,
        kDeleteWindow,
        kWmState,
        kNetWmName,
        kUtf8,
        kMotifHints,
        kNetWmType,
        kTypeUtility,
        kTypeNormal,
        kNetWmState,
        kStateAbove,
        kStateMaxVert,
        kStateMaxHorz,
        kMoveResize,
        kWorkArea,
        kNetSupported,
        kNetCheck,
        kAtoms
    };

    // A size or position the server reported, waiting for the window's
    // thread; later reports replace it, so a burst costs one task.
    struct PendingRect {
        std::mutex mutex;
        RECT rect{};
        bool queued = false;
    };

    // What the X thread knows of one top-level window.
    struct XWin {
        HWND hwnd = nullptr;
        ::Window id = 0;
        RECT rect{};             // on the screen, as last asked for or reported
        bool override = false;   // not managed by the window manager
        bool mapWanted = false;  // shown by the window layer
        bool viewable = false;   // mapped on the server
        bool reparented = false; // inside a window manager's frame
        bool iconic = false;     // minimised, as the window layer or the window manager last said
        bool zoomed = false;     // maximised, as the window layer or the window manager last said
        int above = -1;          // _NET_WM_STATE_ABOVE as last set (-1: never)
        SIZE minSize{}, maxSize{}; // WM_NORMAL_HINTS as last set
        Atom type = 0;           // _NET_WM_WINDOW_TYPE as last set
        std::vector<RECT> exposed;
        std::shared_ptr<PendingRect> pending = std::make_shared<PendingRect>();
    };

    XWin* Find(HWND h) {
        auto it = windows_.find(h);
        return it == windows_.end() ? nullptr : &it->second;
    }
    XWin* Find(::Window id) {
        auto it = byX_.find(id);
        return it == byX_.end() ? nullptr : Find(it->second);
    }

    void Create(HWND h, const RECT& r, DWORD style, DWORD exStyle, HWND owner) {
        if (x_->Lost()) {
            RunOnWindowThread(h, [h] { DestroyWindow(h); }); // it could never be shown
            return;
        }
        XWin w;
        w.hwnd = h;
        w.rect = r;
        // Pop-ups that never take the focus (menus, hints) are placed and
        // stacked by us alone.
        w.override = (exStyle & WS_EX_NOACTIVATE) != 0;
        XSetWindowAttributes a{};
        a.background_pixmap = None;
        a.override_redirect = w.override ? True : False;
        a.event_mask = kWindowEvents;
        w.id = XCreateWindow(
            dpy_, root_, r.left, r.top, static_cast<unsigned>(std::max(1, r.width())),
            static_cast<unsigned>(std::max(1, r.height())), 0, CopyFromParent, InputOutput,
            CopyFromParent, CWBackPixmap | CWEventMask | CWOverrideRedirect, &a);
        Atom protocols[] = {atoms_[kDeleteWindow]};
        XSetWMProtocols(dpy_, w.id, protocols, 1);
        drops_->MakeAware(w.id);
        XSizeHints hints{};
        hints.flags = USPosition | USSize;
        hints.x = r.left;
        hints.y = r.top;
        hints.width = r.width();
        hints.height = r.height();
        XSetWMNormalHints(dpy_, w.id, &hints);
        // The frame is ours: the window manager is asked to add none.
        long motif[5] = {2, 0, 0, 0, 0};
        XChangeProperty(dpy_, w.id, atoms_[kMotifHints], atoms_[kMotifHints], 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(motif), 5);
        if (XWin* o = owner ? Find(owner) : nullptr) XSetTransientForHint(dpy_, w.id, o->id);
        (void)style;
        byX_[w.id] = h;
        XWin& stored = windows_[h] = std::move(w);
        ApplyExStyle(stored, exStyle);
    }

    void Map(HWND h, bool iconic) {
        XWin* w = Find(h);
        if (!w) return;
        w->mapWanted = true;
        w->iconic = iconic;
        XWMHints* hints = XAllocWMHints();
        if (hints) {
            hints->flags = InputHint | StateHint;
            hints->input = True;
            hints->initial_state = iconic ? IconicState : NormalState;
            XSetWMHints(dpy_, w->id, hints);
            XFree(hints);
        }
        if (!iconic || (!w->override && XGetSelectionOwner(dpy_, wmSelection_) != None))
            XMapRaised(dpy_, w->id);
    }

    void ApplyExStyle(XWin& w, DWORD exStyle) {
        const Atom type = atoms_[(exStyle & WS_EX_TOOLWINDOW) ? kTypeUtility : kTypeNormal];
        if (type != w.type) {
            w.type = type;
            XChangeProperty(dpy_, w.id, atoms_[kNetWmType], XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(&type), 1);
        }
        const int above = (exStyle & WS_EX_TOPMOST) ? 1 : 0;
        if (above == w.above) return;
        const bool first = w.above < 0;
        w.above = above;
        if (w.mapWanted && !w.override) {
            // A managed window's state belongs to the window manager: ask it.
            SendNetWmState(w, above, kStateAbove);
        } else if (above || !first) {
            WriteNetWmState(w);
        }
    }

    // Asks the window manager to add (or remove) one or two states.
    void SendNetWmState(const XWin& w, bool add, int state, int second = -1) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = w.id;
        e.xclient.message_type = atoms_[kNetWmState];
        e.xclient.format = 32;
        e.xclient.data.l[0] = add ? 1 : 0;
        e.xclient.data.l[1] = static_cast<long>(atoms_[state]);
        e.xclient.data.l[2] = second < 0 ? 0 : static_cast<long>(atoms_[second]);
        e.xclient.data.l[3] = 1; // from an application
        XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    }

    // The states of a window no window manager holds yet, as a property.
    void WriteNetWmState(const XWin& w) {
        std::vector<Atom> states;
        if (w.above > 0) states.push_back(atoms_[kStateAbove]);
        if (w.zoomed) {
            states.push_back(atoms_[kStateMaxVert]);
            states.push_back(atoms_[kStateMaxHorz]);
        }
        if (states.empty())
            XDeleteProperty(dpy_, w.id, atoms_[kNetWmState]);
        else
            XChangeProperty(dpy_, w.id, atoms_[kNetWmState], XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(states.data()),
                            static_cast<int>(states.size()));
    }

    void PutPixels(HWND h, const RECT& c, char* pixels) {
        XWin* w = Find(h);
        if (!w || !w->viewable) {
            std::free(pixels); // an unmapped window keeps nothing; its Expose brings it back
            return;
        }
        XImage* img = XCreateImage(dpy_, DefaultVisual(dpy_, screenNumber_),
                                   static_cast<unsigned>(DefaultDepth(dpy_, screenNumber_)),
                                   ZPixmap, 0, pixels, static_cast<unsigned>(c.width()),
                                   static_cast<unsigned>(c.height()), 32, c.width() * 4);
        if (!img) {
            std::free(pixels);
            return;
        }
        img->byte_order = LSBFirst; // cairo keeps pixels in native (little-endian) words
        XPutImage(dpy_, w->id, DefaultGC(dpy_, screenNumber_), img, 0, 0, c.left, c.top,
                  static_cast<unsigned>(c.width()), static_cast<unsigned>(c.height()));
        XDestroyImage(img);
    }

    // True when a window manager that declares the atom runs.
    bool WindowManagerCan(Atom feature) {
        auto windowProperty = [&](::Window on, Atom name) -> ::Window {
            Atom type;
            int format;
            unsigned long count, after;
            unsigned char* data = nullptr;
            ::Window result = None;
            if (XGetWindowProperty(dpy_, on, name, 0, 1, False, XA_WINDOW, &type, &format, &count,
                                   &after, &data) == Success &&
                data && count == 1 && format == 32)
                result = *reinterpret_cast<::Window*>(data);
            if (data) XFree(data);
            return result;
        };
        const ::Window check = windowProperty(root_, atoms_[kNetCheck]);
        if (check == None || windowProperty(check, atoms_[kNetCheck]) != check)
            return false; // stale
        return PropertyHasAtom(root_, atoms_[kNetSupported], feature);
    }

    bool PropertyHasAtom(::Window on, Atom property, Atom wanted) {
        return std::ranges::count(AtomList(on, property), wanted) > 0;
    }

    std::vector<Atom> AtomList(::Window on, Atom property) {
        std::vector<Atom> out;
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(dpy_, on, property, 0, 4096, False, XA_ATOM, &type, &format, &count,
                               &after, &data) == Success &&
            data && format == 32) {
            const auto* atoms = reinterpret_cast<const Atom*>(data);
            out.assign(atoms, atoms + count);
        }
        if (data) XFree(data);
        return out;
    }

    // ICCCM WM_STATE: 0 withdrawn, 1 normal, 3 iconic; -1 when not set.
    long WmState(::Window on) {
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        long state = -1;
        if (XGetWindowProperty(dpy_, on, atoms_[kWmState], 0, 2, False, atoms_[kWmState], &type,
                               &format, &count, &after, &data) == Success &&
            data && format == 32 && count >= 1)
            state = *reinterpret_cast<const long*>(data);
        if (data) XFree(data);
        return state;
    }

    void FollowDrag(int rootX, int rootY) {
        XWin* w = Find(drag_.hwnd);
        if (!w) {
            drag_ = {};
            return;
        }
        const int dx = rootX - drag_.anchor.x, dy = rootY - drag_.anchor.y;
        RECT r = drag_.start;
        const DragSides& s = *drag_.sides;
        const bool move = s.hit == HTCAPTION;
        constexpr int kMinimum = 32;
        if (s.left) r.left = move ? r.left + dx : std::min(r.left + dx, r.right - kMinimum);
        if (s.top) r.top = move ? r.top + dy : std::min(r.top + dy, r.bottom - kMinimum);
        if (s.right) r.right = move ? r.right + dx : std::max(r.right + dx, r.left + kMinimum);
        if (s.bottom) r.bottom = move ? r.bottom + dy : std::max(r.bottom + dy, r.top + kMinimum);
        if (r == w->rect) return;
        w->rect = r;
        // The server's ConfigureNotify brings the new rectangle to the window.
        XMoveResizeWindow(dpy_, w->id, r.left, r.top, static_cast<unsigned>(r.width()),
                          static_cast<unsigned>(r.height()));
    }

    void Handle(XEvent& e) {
        if (ime_ && ime_->Filter(e)) return;
        if (clipboard_->Handle(e)) return;
        switch (e.type) {
        case Expose:
            if (XWin* w = Find(e.xexpose.window); w && w->hwnd == focusWanted_) {
                focusWanted_ = nullptr;
                XSetInputFocus(dpy_, w->id, RevertToParent, CurrentTime);
            }
            OnExpose(e.xexpose);
            break;
        case MotionNotify:
            if (drag_.hwnd) FollowDrag(e.xmotion.x_root, e.xmotion.y_root);
            InjectMouseMove(e.xmotion.x_root, e.xmotion.y_root);
            break;
        case ButtonPress:
        case ButtonRelease:
            OnButton(e.xbutton);
            break;
        case KeyPress:
        case KeyRelease:
            OnKey(e.xkey);
            break;
        case MappingNotify:
            XRefreshKeyboardMapping(&e.xmapping);
            break;
        case ConfigureNotify:
            OnConfigure(e.xconfigure);
            break;
        case MapNotify:
            if (XWin* w = Find(e.xmap.window)) w->viewable = true;
            break;
        case UnmapNotify:
            if (XWin* w = Find(e.xunmap.window)) w->viewable = false;
            break;
        case ReparentNotify:
            if (XWin* w = Find(e.xreparent.window)) w->reparented = e.xreparent.parent != root_;
            break;
        case DestroyNotify:
            if (e.xdestroywindow.window == settingsOwner_) {
                FollowSettingsManager(dpy_); // it went: no settings, or a successor's
                if (settingsChanged_) settingsChanged_(ReadSettings());
                break;
            }
            OnDestroyedOutside(e.xdestroywindow.window);
            break;
        case PropertyNotify:
            if (e.xproperty.window == settingsOwner_ && e.xproperty.atom == settingsAtom_) {
                if (settingsChanged_) settingsChanged_(ReadSettings());
                break;
            }
            OnProperty(e.xproperty);
            break;
        case FocusIn:
            if (XWin* w = Find(e.xfocus.window); w && w->hwnd == focusWanted_)
                focusWanted_ = nullptr;
            if (Find(e.xfocus.window) && e.xfocus.detail != NotifyPointer)
                ime_->Focus(e.xfocus.window, true);
            if (XWin* w = Find(e.xfocus.window); w && e.xfocus.mode == NotifyNormal)
                RunOnWindowThread(w->hwnd, [h = w->hwnd] {
                    if (GetActiveWindow() != h && IsWindowEnabled(h)) SetActiveWindow(h);
                });
            break;
        case FocusOut:
            if (Find(e.xfocus.window) && e.xfocus.detail != NotifyPointer &&
                e.xfocus.detail != NotifyInferior)
                ime_->Focus(e.xfocus.window, false);
            if (XWin* w = Find(e.xfocus.window);
                w && e.xfocus.mode == NotifyNormal && e.xfocus.detail != NotifyInferior) {
                ::Window focus = 0;
                int revert = 0;
                XGetInputFocus(dpy_, &focus, &revert);
                if (!Find(focus))
                    RunOnWindowThread(w->hwnd, [h = w->hwnd] {
                        if (GetActiveWindow() == h) SetActiveWindow(nullptr);
                    });
            }
            break;
        case ClientMessage:
            if (XWin* w = Find(e.xclient.window); w && drops_->Handle(e.xclient, w->hwnd)) break;
            if (drags_->Handle(e.xclient)) break;
            if (XWin* w = Find(e.xclient.window);
                w && e.xclient.message_type == atoms_[kProtocols] &&
                static_cast<Atom>(e.xclient.data.l[0]) == atoms_[kDeleteWindow] &&
                SystemCommandAllowed(w->hwnd, SC_CLOSE))
                PostMessage(w->hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        default:
            break;
        }
    }

    void OnKey(XKeyEvent& k) {
        const bool down = k.type == KeyPress;
        const X11InputMethod::Typed typed = ime_ ? ime_->Lookup(k) : X11InputMethod::Typed{};
        UINT vk = VkFromKeysym(XLookupKeysym(&k, 0));
        if (!vk) vk = VkFromKeysym(typed.sym);
        if (vk) {
            char32_t ch = down ? CharFromKeysym(typed.sym) : 0;
            if (down && !ch && typed.text.size() == 1) ch = typed.text[0];
            InjectKey(vk, down, ch);
        } else if (down) {
            // Text with no key of its own (what an input method commits, a
            // composed or non-Latin character) comes as the input method's
            // key, once per character.
            for (char32_t c : typed.text)
                InjectKeyStroke(VK_PROCESSKEY, c);
        }
    }

    void OnButton(const XButtonEvent& b) {
        InjectMouseMove(b.x_root, b.y_root);
        const bool down = b.type == ButtonPress;
        if (!down && b.button == Button1) drag_ = {};
        switch (b.button) {
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
    }

    void OnExpose(const XExposeEvent& x) {
        XWin* w = Find(x.window);
        if (!w) return;
        w->exposed.push_back(RECT{x.x, x.y, x.x + x.width, x.y + x.height});
        if (x.count > 0) return; // more of the same exposure follow
        RunOnWindowThread(w->hwnd, [this, h = w->hwnd, rects = std::move(w->exposed),
                                    life = std::weak_ptr<int>(life_)] {
            if (life.expired() || IsIconic(h)) return;
            cairo_surface_t* s = WindowSurface(h);
            if (!s) return;
            cairo_surface_flush(s);
            for (const RECT& r : rects)
                Present(h, s, r);
        });
        w->exposed.clear();
    }

    void OnConfigure(const XConfigureEvent& c) {
        XWin* w = Find(c.window);
        if (!w) return;
        // Positions are on the screen in the window manager's own (synthetic)
        // events and for windows it did not reparent; inside a frame the
        // position is asked for.
        int x = c.x, y = c.y;
        if (!c.send_event && w->reparented) {
            ::Window child;
            if (!XTranslateCoordinates(dpy_, w->id, root_, 0, 0, &x, &y, &child)) return;
        }
        const RECT r{x, y, x + c.width, y + c.height};
        w->rect = r;
        // A size that comes from the server is applied without being sent back.
        bool queue;
        {
            std::lock_guard<std::mutex> g(w->pending->mutex);
            w->pending->rect = r;
            queue = !std::exchange(w->pending->queued, true);
        }
        if (queue)
            RunOnWindowThread(w->hwnd, [h = w->hwnd, pending = w->pending] {
                RECT now;
                {
                    std::lock_guard<std::mutex> g(pending->mutex);
                    now = pending->rect;
                    pending->queued = false;
                }
                ApplyDisplayRect(h, now);
            });
    }

    // The XSETTINGS manager's window, watched for changes of its property
    // and for its end.
    void FollowSettingsManager(Display* dpy) {
        settingsOwner_ = XGetSelectionOwner(dpy, settingsSelection_);
        if (settingsOwner_) XSelectInput(dpy, settingsOwner_, PropertyChangeMask | StructureNotifyMask);
    }

    std::vector<std::uint8_t> ReadSettings() {
        std::vector<std::uint8_t> bytes;
        if (!settingsOwner_) return bytes;
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        // A generous cap: the settings of a desktop are a few kilobytes.
        if (XGetWindowProperty(dpy_, settingsOwner_, settingsAtom_, 0, 1 << 18, False, settingsAtom_, &type,
                               &format, &count, &after, &data) == Success &&
            data && format == 8)
            bytes.assign(data, data + count);
        if (data) XFree(data);
        return bytes;
    }

    void OnProperty(const XPropertyEvent& p) {
        XWin* w = Find(p.window);
        if (!w) return;
        bool changed = false;
        if (p.atom == atoms_[kWmState]) {
            const long state = WmState(w->id);
            if (state != NormalState && state != IconicState)
                return; // withdrawn: nothing to follow
            const bool iconic = state == IconicState;
            changed = iconic != w->iconic;
            w->iconic = iconic;
        } else if (p.atom == atoms_[kNetWmState] && !w->override) {
            const std::vector<Atom> states = AtomList(w->id, atoms_[kNetWmState]);
            const bool zoomed = std::ranges::count(states, atoms_[kStateMaxVert]) > 0 &&
                                std::ranges::count(states, atoms_[kStateMaxHorz]) > 0;
            changed = zoomed != w->zoomed;
            w->zoomed = zoomed;
        }
        if (changed)
            RunOnWindowThread(w->hwnd, [h = w->hwnd, iconic = w->iconic, zoomed = w->zoomed] {
                ApplyDisplayState(h, iconic, zoomed);
            });
    }

    void OnDestroyedOutside(::Window id) {
        XWin* w = Find(id);
        if (!w) return; // ours, destroyed by the window layer
        Gone(w->hwnd);
    }

    // The connection took every X window with it.
    void OnConnectionLost() {
        std::vector<HWND> all;
        for (const auto& [h, w] : windows_)
            all.push_back(h);
        for (HWND h : all)
            Gone(h, true);
    }

    // Without its X window the window cannot be seen or used: it goes too,
    // and nothing here touches the X window again.
    void Gone(HWND h, bool connectionLost = false) {
        if (drag_.hwnd == h) drag_ = {};
        if (focusWanted_ == h) focusWanted_ = nullptr;
        if (XWin* w = Find(h)) {
            byX_.erase(w->id);
            if (!connectionLost) ime_->Forget(w->id);
        }
        windows_.erase(h);
        RunOnWindowThread(h, [h] { DestroyWindow(h); });
    }

    // Set once, before the X thread starts.
    Display* dpy_ = nullptr;
    int screenNumber_ = 0;
    ::Window root_ = 0;
    HWND focusWanted_ = nullptr; // asked for the focus before it could take it
    ::Window helper_ = 0;
    SIZE screen_{};
    Atom atoms_[kAtoms]{};
    Atom wmSelection_ = 0;
    Atom settingsSelection_ = 0, settingsAtom_ = 0;
    // The X thread's.
    ::Window settingsOwner_ = 0;
    std::function<void(std::vector<std::uint8_t>)> settingsChanged_;
    // Tasks queued for a window's thread may run after the driver is gone
    // (a switch of display); they check this first.
    std::shared_ptr<int> life_ = std::make_shared<int>(0);

    // The X thread's alone.
    std::map<HWND, XWin> windows_;
    std::map<::Window, HWND> byX_;
    std::map<unsigned, Cursor> cursors_;
    ImageCursors imageCursors_;
    struct Drag {
        HWND hwnd = nullptr;
        const DragSides* sides = nullptr;
        POINT anchor{};
        RECT start{};
    } drag_;

    // Shared with the calling threads, under mutex_.
    std::mutex mutex_;
    std::condition_variable drained_;
    size_t queuedPixels_ = 0;

    std::optional<X11Clipboard> clipboard_; // made before the X thread, gone after it
    std::optional<X11DropTarget> drops_;    // likewise
    std::optional<X11DragSource> drags_;    // likewise
    std::unique_ptr<X11InputMethod> ime_;   // the X thread's
    std::unique_ptr<X11Thread> x_;          // last: stops before the rest goes
};

} // namespace

std::unique_ptr<DisplayDriver> MakeX11Driver() {
    static const bool threads = XInitThreads() != 0;
    if (!threads) return nullptr;
    Display* dpy = OpenDisplayWithin(kDisplayAnswerMs);
    if (!dpy) return nullptr;
    return std::make_unique<X11Driver>(dpy);
}

} // namespace ax::wm
