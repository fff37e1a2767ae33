// The X11 display under a private Xvfb: what the X server shows of a window
// is, pixel for pixel, what the headless display renders for it.
#include "test_support.h"

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

std::string FindXvfb() {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t end = dirs.find(':', start);
        const std::string candidate = dirs.substr(start, end - start) + "/Xvfb";
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return {};
}

// An Xvfb on a display number it picks itself; it reports the number once
// it accepts connections, so nothing here waits on the wall clock.
class Xvfb {
public:
    bool Start(const std::string& binary) {
        int fds[2];
        if (pipe(fds) != 0) return false;
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            execl(binary.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "800x600x24",
                  "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (number.empty()) return false;
        display_ = ":" + number;
        return true;
    }
    ~Xvfb() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& Name() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

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
