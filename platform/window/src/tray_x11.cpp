// Tray icons on X11 (the freedesktop system-tray protocol with XEmbed):
// each icon is a small window of ours, offered to the manager of the
// selection _NET_SYSTEM_TRAY_S<screen> with a dock request, which reparents
// it into the tray. Without a manager the icon waits for the MANAGER
// announcement on the root window. The picture is drawn over the tray's own
// background (ParentRelative) through a mask of its opaque pixels; the tip
// is the window's name, and a tip window once the pointer rests on the
// icon. Mouse activity is posted to the icon's window as its callback
// message.
#include "tray_x11.h"

#include "rest_timer.h"
#include "tray_tip_x11.h"

#include "platform/window/display.h"
#include "platform/window/window.h"
#include "x11_thread.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>

namespace ax::wm {

namespace {

constexpr long kDockRequest = 0;       // SYSTEM_TRAY_REQUEST_DOCK
constexpr long kXEmbedMapped = 1;      // XEMBED_MAPPED
constexpr unsigned kDefaultSize = 22;
constexpr uint32_t kTipDelayMs = 500;

int IgnoreTrayErrors(Display*, XErrorEvent*) {
    return 0; // the tray may go away between two requests
}

int Shift(unsigned long mask) {
    int s = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++s;
    }
    return s;
}

class TrayX11Impl final : public TrayX11 {
public:
    explicit TrayX11Impl(Display* dpy) : dpy_(dpy) {
        XSetErrorHandler(IgnoreTrayErrors);
        screen_ = DefaultScreen(dpy);
        root_ = RootWindow(dpy, screen_);
        char selection[40];
        std::snprintf(selection, sizeof selection, "_NET_SYSTEM_TRAY_S%d", screen_);
        trayAtom_ = XInternAtom(dpy, selection, False);
        opcode_ = XInternAtom(dpy, "_NET_SYSTEM_TRAY_OPCODE", False);
        manager_ = XInternAtom(dpy, "MANAGER", False);
        xembedInfo_ = XInternAtom(dpy, "_XEMBED_INFO", False);
        netWmName_ = XInternAtom(dpy, "_NET_WM_NAME", False);
        utf8_ = XInternAtom(dpy, "UTF8_STRING", False);
        // The MANAGER announcement of a tray that starts later.
        XSelectInput(dpy, root_, StructureNotifyMask);
        XFlush(dpy);
        tip_ = std::make_unique<TrayTipX11>(dpy);
        // Fires only after an arming, which an event on the X thread makes.
        rest_ = std::make_unique<RestTimer>(kTipDelayMs,
                                            [this](uint64_t arming) { x_->Post([=, this] { OnRest(arming); }); });
        x_ = std::make_unique<X11Thread>(dpy, [this](XEvent& e) { Handle(e); });
    }

    ~TrayX11Impl() override {
        rest_.reset(); // posts nothing from here on
        x_->Post([this] {
            tip_.reset();
            for (auto& [key, icon] : icons_) XDestroyWindow(dpy_, icon.window);
            icons_.clear();
        });
        x_.reset(); // runs what is queued, then closes the connection
    }

    void Add(HWND hwnd, UINT id, UINT callback, const std::string& tip, const TrayPicture& picture) override {
        x_->Post([=, this] { Create(hwnd, id, callback, tip, picture); });
    }

    void Modify(HWND hwnd, UINT id, UINT callback, const std::string& tip, const TrayPicture& picture) override {
        x_->Post([=, this] {
            auto it = icons_.find({hwnd, id});
            if (it == icons_.end()) return;
            it->second.callback = callback;
            it->second.picture = picture;
            if (it->second.tip != tip) {
                it->second.tip = tip;
                SetName(it->second.window, tip);
                if (tipOf_ == it->first) ShowTip(it->second);
            }
            Draw(it->second);
        });
    }

    void Remove(HWND hwnd, UINT id) override {
        x_->Post([=, this] {
            auto it = icons_.find({hwnd, id});
            if (it == icons_.end()) return;
            if (hovered_ == it->first) EndHover();
            XDestroyWindow(dpy_, it->second.window);
            icons_.erase(it);
        });
    }

    unsigned long NativeWindow(HWND hwnd, UINT id) override {
        unsigned long w = 0;
        x_->Call([&] {
            auto it = icons_.find({hwnd, id});
            if (it != icons_.end()) w = it->second.window;
        });
        return w;
    }

    bool Docked(HWND hwnd, UINT id) override {
        bool docked = false;
        x_->Call([&] {
            auto it = icons_.find({hwnd, id});
            if (it != icons_.end()) docked = it->second.docked;
        });
        return docked;
    }

    unsigned long TipWindow(HWND hwnd, UINT id) override {
        unsigned long w = 0;
        x_->Call([&] {
            if (tipOf_ == Key{hwnd, id}) w = tip_->Window();
        });
        return w;
    }

private:
    struct Icon {
        HWND hwnd = nullptr;
        UINT id = 0;
        UINT callback = 0;
        std::string tip;
        TrayPicture picture;
        ::Window window = 0;
        bool docked = false;
        unsigned width = kDefaultSize, height = kDefaultSize;
        unsigned lastButton = 0;
        Time lastPress = 0;
    };
    using Key = std::pair<HWND, UINT>;

    void Create(HWND hwnd, UINT id, UINT callback, const std::string& tip, const TrayPicture& picture) {
        Icon icon{hwnd, id, callback, tip, picture};
        XSetWindowAttributes a{};
        a.background_pixmap = ParentRelative;
        a.event_mask = ExposureMask | StructureNotifyMask | ButtonPressMask | ButtonReleaseMask |
                       PointerMotionMask | EnterWindowMask | LeaveWindowMask;
        icon.window = XCreateWindow(dpy_, root_, 0, 0, kDefaultSize, kDefaultSize, 0, CopyFromParent,
                                    InputOutput, CopyFromParent, CWBackPixmap | CWEventMask, &a);
        const long info[2] = {0, kXEmbedMapped}; // protocol version 0, map me when embedded
        XChangeProperty(dpy_, icon.window, xembedInfo_, xembedInfo_, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(info), 2);
        // The size the tray gives an embedded icon follows these hints.
        XSizeHints size{};
        size.flags = PMinSize | PBaseSize;
        size.min_width = size.base_width = kDefaultSize;
        size.min_height = size.base_height = kDefaultSize;
        XSetWMNormalHints(dpy_, icon.window, &size);
        XClassHint hint{const_cast<char*>("ardentix"), const_cast<char*>("ArdentixXP")};
        XSetClassHint(dpy_, icon.window, &hint);
        SetName(icon.window, tip);
        const ::Window w = icon.window;
        icons_[{hwnd, id}] = std::move(icon);
        Dock(w);
    }

    void SetName(::Window w, const std::string& tip) {
        XStoreName(dpy_, w, tip.c_str());
        XChangeProperty(dpy_, w, netWmName_, utf8_, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(tip.data()), int(tip.size()));
    }

    // Asks the tray's manager, if there is one, to embed the window.
    void Dock(::Window w) {
        const ::Window owner = XGetSelectionOwner(dpy_, trayAtom_);
        if (owner == None) return;
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = owner;
        e.xclient.message_type = opcode_;
        e.xclient.format = 32;
        e.xclient.data.l[0] = CurrentTime;
        e.xclient.data.l[1] = kDockRequest;
        e.xclient.data.l[2] = long(w);
        XSendEvent(dpy_, owner, False, NoEventMask, &e);
        XFlush(dpy_);
    }

    Icon* Find(::Window w) {
        for (auto& [key, icon] : icons_)
            if (icon.window == w) return &icon;
        return nullptr;
    }

    // The picture scaled to the window (nearest pixel), opaque pixels only.
    void Draw(Icon& icon) {
        XClearWindow(dpy_, icon.window);
        const TrayPicture& p = icon.picture;
        const unsigned w = icon.width, h = icon.height;
        if (p.width <= 0 || p.height <= 0 || w == 0 || h == 0) return;
        Visual* visual = DefaultVisual(dpy_, screen_);
        const int depth = DefaultDepth(dpy_, screen_);
        XImage* image = XCreateImage(dpy_, visual, unsigned(depth), ZPixmap, 0, nullptr, w, h, 32, 0);
        if (!image) return;
        image->data = static_cast<char*>(std::calloc(size_t(image->bytes_per_line) * h, 1));
        const unsigned long masks[3] = {visual->red_mask, visual->green_mask, visual->blue_mask};
        const size_t stride = (w + 7) / 8;
        std::vector<char> maskBits(stride * h, 0);
        for (unsigned y = 0; y < h; ++y)
            for (unsigned x = 0; x < w; ++x) {
                const std::uint32_t argb =
                    p.pixels[size_t(int(y) * p.height / int(h)) * size_t(p.width) + size_t(int(x) * p.width / int(w))];
                if ((argb >> 24) < 0x80) continue;
                unsigned long pixel = 0;
                for (int c = 0; c < 3; ++c) {
                    const unsigned long value = (argb >> (16 - 8 * c)) & 0xFF;
                    const unsigned long top = masks[c] >> Shift(masks[c]);
                    pixel |= ((value * top / 255) << Shift(masks[c])) & masks[c];
                }
                XPutPixel(image, int(x), int(y), pixel);
                maskBits[y * stride + x / 8] |= char(1 << (x % 8));
            }
        Pixmap mask = XCreateBitmapFromData(dpy_, icon.window, maskBits.data(), w, h);
        GC gc = XCreateGC(dpy_, icon.window, 0, nullptr);
        XSetClipMask(dpy_, gc, mask);
        XPutImage(dpy_, icon.window, gc, image, 0, 0, 0, 0, w, h);
        XFreeGC(dpy_, gc);
        XFreePixmap(dpy_, mask);
        XDestroyImage(image);
        XFlush(dpy_);
    }

    void Post(const Icon& icon, UINT mouseMessage, int rootX, int rootY) {
        if (!icon.callback) return;
        // The handler reads the cursor position, as the platform's does.
        InjectMouseMove(rootX, rootY);
        PostMessage(icon.hwnd, icon.callback, icon.id, LPARAM(mouseMessage));
    }

    // The pointer moved on the icon: the rest starts again, unless its tip
    // is up already.
    void OnPointer(Icon& icon, int rootX, int rootY) {
        const Key key{icon.hwnd, icon.id};
        if (tipOf_ == key) return;
        hovered_ = key;
        pointer_ = {rootX, rootY};
        arming_ = rest_->Arm();
    }

    void OnRest(uint64_t arming) {
        if (arming != arming_ || !hovered_) return;
        auto it = icons_.find(*hovered_);
        if (it != icons_.end()) ShowTip(it->second);
    }

    void ShowTip(const Icon& icon) {
        if (icon.tip.empty()) {
            HideTip();
            return;
        }
        tipOf_ = Key{icon.hwnd, icon.id};
        tip_->Show(icon.tip, pointer_.x, pointer_.y);
    }

    void HideTip() {
        tipOf_.reset();
        tip_->Hide();
    }

    void EndHover() {
        rest_->Cancel();
        hovered_.reset();
        HideTip();
    }

    void OnButton(Icon& icon, const XButtonEvent& b) {
        static constexpr UINT kDown[] = {0, WM_LBUTTONDOWN, WM_MBUTTONDOWN, WM_RBUTTONDOWN};
        if (b.button < 1 || b.button > 3) return; // the wheel
        const UINT down = kDown[b.button];
        if (b.type == ButtonPress) {
            const bool dbl = icon.lastButton == b.button && b.time - icon.lastPress <= GetDoubleClickTime();
            icon.lastButton = dbl ? 0 : b.button;
            icon.lastPress = b.time;
            Post(icon, dbl ? down + 2 : down, b.x_root, b.y_root);
        } else {
            Post(icon, down + 1, b.x_root, b.y_root);
        }
    }

    void Handle(XEvent& e) {
        switch (e.type) {
        case ClientMessage:
            // A tray came up: dock every icon still outside one.
            if (e.xclient.window == root_ && e.xclient.message_type == manager_ &&
                Atom(e.xclient.data.l[1]) == trayAtom_)
                for (auto& [key, icon] : icons_)
                    if (!icon.docked) Dock(icon.window);
            break;
        case ReparentNotify:
            if (Icon* icon = Find(e.xreparent.window)) icon->docked = e.xreparent.parent != root_;
            break;
        case ConfigureNotify:
            if (Icon* icon = Find(e.xconfigure.window)) {
                icon->width = unsigned(std::max(1, e.xconfigure.width));
                icon->height = unsigned(std::max(1, e.xconfigure.height));
                if (icon->docked) Draw(*icon);
            }
            break;
        case Expose:
            if (Icon* icon = Find(e.xexpose.window); icon && e.xexpose.count == 0) Draw(*icon);
            if (tip_ && e.xexpose.window == tip_->Window()) tip_->Handle(e);
            break;
        case ButtonPress:
        case ButtonRelease:
            if (Icon* icon = Find(e.xbutton.window)) {
                if (e.type == ButtonPress) EndHover();
                OnButton(*icon, e.xbutton);
            }
            break;
        case EnterNotify:
            if (Icon* icon = Find(e.xcrossing.window)) OnPointer(*icon, e.xcrossing.x_root, e.xcrossing.y_root);
            break;
        case LeaveNotify:
            if (Find(e.xcrossing.window)) EndHover();
            break;
        case MotionNotify:
            if (Icon* icon = Find(e.xmotion.window)) {
                OnPointer(*icon, e.xmotion.x_root, e.xmotion.y_root);
                Post(*icon, WM_MOUSEMOVE, e.xmotion.x_root, e.xmotion.y_root);
            }
            break;
        default: break;
        }
    }

    Display* dpy_;
    int screen_ = 0;
    ::Window root_ = 0;
    Atom trayAtom_ = 0, opcode_ = 0, manager_ = 0, xembedInfo_ = 0, netWmName_ = 0, utf8_ = 0;
    std::map<Key, Icon> icons_; // on the X thread only
    // The tip, on the X thread only: the icon under the pointer, where the
    // pointer was last seen on it, the arming of the rest timer that
    // counts, and the icon whose tip is up.
    std::unique_ptr<TrayTipX11> tip_;
    std::optional<Key> hovered_;
    POINT pointer_{};
    uint64_t arming_ = 0;
    std::optional<Key> tipOf_;
    std::unique_ptr<X11Thread> x_;
    std::unique_ptr<RestTimer> rest_;
};

} // namespace

std::unique_ptr<TrayX11> TrayX11::Open() {
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return nullptr;
    return std::make_unique<TrayX11Impl>(dpy);
}

} // namespace ax::wm
