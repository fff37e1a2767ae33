// The X11 display under a private Xvfb: what the X server shows of a window
// is, pixel for pixel, what the headless display renders for it.
#include "test_support.h"
#include "xvfb.h"

#include <cstdlib>
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

using test::Pump;
using test::FindXvfb;
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

} // namespace
} // namespace ax
