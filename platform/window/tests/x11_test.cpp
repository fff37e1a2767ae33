// The X11 display under a private Xvfb: what the X server shows of a window
// is, pixel for pixel, what the headless display renders for it.
#include "test_support.h"
#include "xvfb.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// After the test framework: Xlib's macros would clash with it.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace ax {
namespace {

using test::FindXvfb;
using test::Pump;
using test::Xvfb;

LRESULT SceneProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, ps);
        RECT r;
        GetClientRect(h, r);
        FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
        HBRUSH blue = CreateSolidBrush(RGB(30, 60, 200));
        RECT box{10, 10, 90, 50};
        FillRect(dc, &box, blue);
        DeleteObject(blue);
        RECT edge{100, 10, 180, 50};
        DrawEdge(dc, &edge, EDGE_SUNKEN, BF_RECT);
        SetBkMode(dc, TRANSPARENT);
        RECT text{10, 60, 190, 80};
        DrawText(dc, "Backup selection", &text, DT_SINGLELINE | DT_LEFT);
        DrawFocusRect(dc, &text);
        EndPaint(h, ps);
        return 0;
    }
    return DefWindowProc(h, m, w, l);
}

std::vector<uint32_t> Scene(HWND* out = nullptr) {
    WNDCLASS wc;
    wc.lpszClassName = "Scene";
    wc.lpfnWndProc = SceneProc;
    RegisterClass(wc);
    HWND h = CreateWindowEx(0, "Scene", "Snapshot", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 220,
                            140, nullptr);
    HWND child =
        CreateWindowEx(WS_EX_CLIENTEDGE, "Scene", "", WS_CHILD | WS_VISIBLE, 120, 60, 80, 40, h);
    (void)child;
    Pump();
    PumpDisplay();
    if (out) *out = h;
    cairo_surface_t* s = WindowSurface(h);
    cairo_surface_flush(s);
    std::vector<uint32_t> px;
    for (int y = 0; y < 140; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) +
                                                            y * cairo_image_surface_get_stride(s));
        for (int x = 0; x < 220; ++x)
            px.push_back(row[x] & 0xFFFFFF);
    }
    return px;
}

TEST(X11Display, ServerShowsWhatHeadlessRenders) {
    const std::string xvfb = FindXvfb();
    if (xvfb.empty()) GTEST_SKIP() << "Xvfb is not installed";
    SetTestFont(true);
    ManualClock clock;
    SetClock(&clock);

    ASSERT_TRUE(SelectDisplay(DisplayKind::Headless));
    const std::vector<uint32_t> headless = Scene();
    for (HWND h : EnumWindows())
        DestroyWindow(h);

    Xvfb server;
    ASSERT_TRUE(server.Start(xvfb));
    setenv("DISPLAY", server.Name().c_str(), 1);
    ASSERT_TRUE(SelectDisplay(DisplayKind::X11));
    ASSERT_EQ(ActiveDisplay(), DisplayKind::X11);
    HWND h;
    const std::vector<uint32_t> rendered = Scene(&h);
    EXPECT_EQ(rendered, headless);

    Display* dpy = XOpenDisplay(server.Name().c_str());
    ASSERT_TRUE(dpy);
    const unsigned long xw = NativeWindow(h);
    ASSERT_NE(xw, 0u);
    XImage* img = XGetImage(dpy, xw, 0, 0, 220, 140, AllPlanes, ZPixmap);
    ASSERT_TRUE(img);
    int differing = 0;
    for (int y = 0; y < 140; ++y)
        for (int x = 0; x < 220; ++x)
            if ((XGetPixel(img, x, y) & 0xFFFFFF) != headless[size_t(y) * 220 + x]) ++differing;
    EXPECT_EQ(differing, 0);
    if (const char* shot = std::getenv("AX_X11_SCREENSHOT")) {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 220, 140);
        for (int y = 0; y < 140; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) +
                                                    y * cairo_image_surface_get_stride(s));
            for (int x = 0; x < 220; ++x)
                row[x] = static_cast<uint32_t>(XGetPixel(img, x, y));
        }
        cairo_surface_mark_dirty(s);
        cairo_surface_write_to_png(s, shot);
        cairo_surface_destroy(s);
    }
    XDestroyImage(img);

    // Text put on the clipboard is offered to other X programs.
    EXPECT_TRUE(SetClipboardText("shared text"));
    PumpDisplay();
    EXPECT_NE(XGetSelectionOwner(dpy, XInternAtom(dpy, "CLIPBOARD", False)), 0u);
    XCloseDisplay(dpy);

    for (HWND w : EnumWindows())
        DestroyWindow(w);
    SelectDisplay(DisplayKind::Headless);
    SetClock(nullptr);
}

// A private Xvfb without a window manager, the X11 display selected and a
// window of the scene shown on it.
class X11Window : public ::testing::Test {
protected:
    void SetUp() override {
        if (FindXvfb().empty()) GTEST_SKIP() << "Xvfb is not installed";
        SetTestFont(true);
        SetClock(&clock);
        ASSERT_TRUE(server.Start(FindXvfb())) << server.Error();
        setenv("DISPLAY", server.Name().c_str(), 1);
        ASSERT_TRUE(SelectDisplay(DisplayKind::X11));
        Scene(&window);
        xw = NativeWindow(window);
        ASSERT_NE(xw, 0u);
        dpy = XOpenDisplay(server.Name().c_str());
        ASSERT_TRUE(dpy);
    }
    void TearDown() override {
        if (dpy) XCloseDisplay(dpy);
        for (HWND w : EnumWindows())
            DestroyWindow(w);
        SelectDisplay(DisplayKind::Headless);
        SetClock(nullptr);
    }
    // Serves the window's messages and the display until done holds.
    bool PumpUntil(const std::function<bool()>& done) {
        return server.WaitFor([&] {
            Pump();
            PumpDisplay();
            return done();
        });
    }
    uint32_t ServerPixel(int x, int y) {
        XImage* img = XGetImage(dpy, xw, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!img) return 0xDEADBEEF;
        const uint32_t p = static_cast<uint32_t>(XGetPixel(img, 0, 0)) & 0xFFFFFF;
        XDestroyImage(img);
        return p;
    }

    ManualClock clock;
    Xvfb server;
    HWND window = nullptr;
    unsigned long xw = 0;
    Display* dpy = nullptr;
};

TEST_F(X11Window, TheTitleIsSetWhenTheWindowIsCreated) {
    HWND hidden = CreateWindowEx(0, "Scene", "Sauvegarde \xC3\xA9t\xC3\xA9", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                 nullptr);
    const unsigned long x = NativeWindow(hidden);
    EXPECT_EQ(server.TextProperty(x, "_NET_WM_NAME"), "Sauvegarde \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(server.TextProperty(x, "WM_NAME"), "Sauvegarde \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(server.TextProperty(xw, "WM_NAME"), "Snapshot");
    SetWindowText(hidden, "Renamed");
    PumpDisplay();
    EXPECT_EQ(server.TextProperty(x, "_NET_WM_NAME"), "Renamed");
}

TEST_F(X11Window, AnExposurePresentsOnlyTheExposedRectangle) {
    // The surface changes without being presented; an exposure of a part of
    // the window shows that part of it, and only that.
    cairo_surface_t* s = WindowSurface(window);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, 1, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    const uint32_t before = ServerPixel(150, 100);
    ASSERT_NE(before, 0xFF0000u);
    XSetWindowAttributes a{};
    a.override_redirect = True;
    ::Window cover = XCreateWindow(dpy, DefaultRootWindow(dpy), 40 + 20, 40 + 30, 50, 30, 0, CopyFromParent,
                                   InputOutput, CopyFromParent, CWOverrideRedirect, &a);
    XMapRaised(dpy, cover);
    XSync(dpy, False);
    XDestroyWindow(dpy, cover);
    XSync(dpy, False);
    EXPECT_TRUE(PumpUntil([&] { return ServerPixel(25, 35) == 0xFF0000u; })) << "the exposed part was not shown";
    EXPECT_EQ(ServerPixel(150, 100), before) << "more than the exposed part was presented";
}

TEST_F(X11Window, ASizeFromTheServerIsAppliedWithoutBeingSentBack) {
    server.WatchConfigure(xw);
    // Another client (as a window manager would) sizes the window.
    XMoveResizeWindow(dpy, xw, 70, 80, 300, 200);
    XSync(dpy, False);
    EXPECT_TRUE(PumpUntil([&] {
        RECT r;
        GetWindowRect(window, r);
        return r == RECT{70, 80, 370, 280};
    })) << "the window did not follow the server";
    for (int round = 0; round < 3; ++round) {
        Pump();
        PumpDisplay();
    }
    EXPECT_EQ(server.ConfigureEvents(), 1) << "the size went back to the server";
    RECT client;
    GetClientRect(window, client);
    EXPECT_EQ(client.width(), 300 - 8);
}

TEST_F(X11Window, ACaptionDragWithoutAWindowManagerMovesTheWindow) {
    server.MoveTo(40 + 60, 40 + 12);
    server.Button(1, true);
    ASSERT_TRUE(PumpUntil([&] { return (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0; }));
    Pump();
    PumpDisplay(); // the press was handled: the drag follows the pointer
    for (int step = 1; step <= 10; ++step)
        server.MoveTo(40 + 60 + step * 5, 40 + 12 + step * 3);
    server.Button(1, false);
    EXPECT_TRUE(PumpUntil([&] {
        RECT r;
        GetWindowRect(window, r);
        return r == RECT{90, 70, 90 + 220, 70 + 140};
    })) << "the window did not follow the caption drag";
    const Xvfb::Geometry g = server.WindowGeometry(xw);
    EXPECT_EQ(g.x, 90);
    EXPECT_EQ(g.y, 70);
}

TEST_F(X11Window, AWindowWhoseXWindowIsDestroyedGoesToo) {
    server.Destroy(xw);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window); })) << "the window lived on without its X window";
}

// Some window managers leave a new window unfocused: the window the program
// activated asks for the focus itself once the server shows it, or typed
// keys would go nowhere.
TEST(X11WindowManager, AnActivatedWindowTakesTheFocusTheWindowManagerDidNotGive) {
    if (FindXvfb().empty()) GTEST_SKIP() << "Xvfb is not installed";
    ManualClock clock;
    SetTestFont(true);
    SetClock(&clock);
    Xvfb server;
    ASSERT_TRUE(server.Start(FindXvfb())) << server.Error();
    ASSERT_TRUE(server.StartWindowManager(Xvfb::kBound, false)) << server.Error();
    setenv("DISPLAY", server.Name().c_str(), 1);
    ASSERT_TRUE(SelectDisplay(DisplayKind::X11));
    HWND h = nullptr;
    Scene(&h);
    ASSERT_EQ(GetActiveWindow(), h);
    const unsigned long x = NativeWindow(h);
    EXPECT_TRUE(server.WaitFor([&] {
        Pump();
        PumpDisplay();
        return server.FocusWindow() == x;
    })) << "the window the program activated never got the keyboard";
    for (HWND w : EnumWindows())
        DestroyWindow(w);
    SelectDisplay(DisplayKind::Headless);
    SetClock(nullptr);
}

// A fixed size (0: none) the window answers as both its limits.
POINT fixedSize{};

LRESULT AtLeastProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_GETMINMAXINFO) {
        auto* info = reinterpret_cast<MINMAXINFO*>(l);
        info->ptMinTrackSize = {300, 200};
        if (fixedSize.x) info->ptMinTrackSize = info->ptMaxTrackSize = fixedSize;
        return 0;
    }
    return SceneProc(h, m, w, l);
}

// The window's limits are the window manager's size hints, so that another
// program (or the user at the frame) cannot make it smaller; maximised by
// the program, the window manager holds it maximised and on the work area.
TEST(X11WindowManager, SizeLimitsAreHintsAndAMaximiseIsTheWindowManagers) {
    if (FindXvfb().empty() || test::FindProgram("openbox").empty())
        GTEST_SKIP() << "Xvfb or openbox is not installed";
    ManualClock clock;
    SetTestFont(true);
    SetClock(&clock);
    Xvfb server;
    ASSERT_TRUE(server.Start(FindXvfb())) << server.Error();
    ASSERT_TRUE(server.StartWindowManager()) << server.Error();
    setenv("DISPLAY", server.Name().c_str(), 1);
    ASSERT_TRUE(SelectDisplay(DisplayKind::X11));
    WNDCLASS wc;
    wc.lpszClassName = "AtLeast";
    wc.lpfnWndProc = AtLeastProc;
    RegisterClass(wc);
    const HWND h = CreateWindowEx(0, "AtLeast", "Limited", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                                  400, 300, nullptr);
    const unsigned long x = NativeWindow(h);
    auto pumped = [&](const std::function<bool()>& done) {
        return server.WaitFor([&] {
            Pump();
            PumpDisplay();
            return done();
        });
    };
    ASSERT_TRUE(pumped([&] { return server.WmState(x) == 1; })) << "never mapped";
    const Xvfb::SizeHints hints = server.NormalHints(x);
    EXPECT_EQ(hints.minWidth, 300);
    EXPECT_EQ(hints.minHeight, 200);
    EXPECT_EQ(hints.maxWidth, 0) << "a maximum was set where there is none";

    // Another program asks for less than the minimum.
    server.Resize(x, 150, 100);
    EXPECT_TRUE(server.WindowManagerBarrier());
    RECT r{};
    EXPECT_TRUE(pumped([&] {
        const Xvfb::Geometry g = server.WindowGeometry(x);
        GetWindowRect(h, r);
        return r == RECT{g.x, g.y, g.x + g.width, g.y + g.height};
    })) << "the window and its X window disagree";
    EXPECT_GE(r.width(), 300);
    EXPECT_GE(r.height(), 200);

    ShowWindow(h, SW_MAXIMIZE);
    EXPECT_TRUE(pumped([&] {
        const std::vector<std::string> states = server.AtomProperty(x, "_NET_WM_STATE");
        return std::ranges::count(states, "_NET_WM_STATE_MAXIMIZED_VERT") == 1 &&
               std::ranges::count(states, "_NET_WM_STATE_MAXIMIZED_HORZ") == 1;
    })) << "the window manager does not hold the window maximised";
    EXPECT_TRUE(pumped([&] {
        const Xvfb::Geometry now = server.WindowGeometry(x);
        RECT w{};
        GetWindowRect(h, w);
        return now.x == 0 && now.y == 0 && now.width == 800 && now.height == 600 &&
               w == RECT{0, 0, 800, 600};
    })) << "maximised, the window is not the work area";
    ShowWindow(h, SW_RESTORE);
    EXPECT_TRUE(pumped([&] { return server.AtomProperty(x, "_NET_WM_STATE").empty(); }));
    EXPECT_TRUE(pumped([&] {
        const Xvfb::Geometry now = server.WindowGeometry(x);
        return now.width == r.width() && now.height == r.height();
    })) << "restored, the window did not get its size back";

    // Held at one size, as a form that may not be resized is: the window
    // manager is told the same minimum and maximum.
    fixedSize = {r.width(), r.height()};
    SetWindowPos(h, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    EXPECT_TRUE(pumped([&] {
        const Xvfb::SizeHints fixed = server.NormalHints(x);
        return fixed.minWidth == r.width() && fixed.maxWidth == r.width() &&
               fixed.minHeight == r.height() && fixed.maxHeight == r.height();
    })) << "the window manager was not told the fixed size";
    fixedSize = {};
    for (HWND w : EnumWindows())
        DestroyWindow(w);
    SelectDisplay(DisplayKind::Headless);
    SetClock(nullptr);
}

} // namespace
} // namespace ax
