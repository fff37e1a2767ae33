// Update regions, WM_PAINT generation, erasing, the frame, clipping of
// children, scrolling, the redraw switch and the update lock.
#include "test_support.h"

#include <unistd.h>

namespace ax {
namespace {

using test::Log;
using test::Pump;

class Paint : public test::WindowTest {
protected:
    // 0x00RRGGBB of a pixel of a top-level window's surface.
    static uint32_t Pixel(HWND top, int x, int y) {
        cairo_surface_t* s = WindowSurface(top);
        cairo_surface_flush(s);
        const auto* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
        return reinterpret_cast<const uint32_t*>(row)[x] & 0xFFFFFF;
    }
    static uint32_t Sys(int index) {
        const COLORREF c = GetSysColor(index);
        return (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c);
    }
    static LRESULT FillProc(HWND h, UINT m, WPARAM w, LPARAM l) {
        if (m == WM_PAINT) {
            Log().Add(h, m, w, l);
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(h, ps);
            HBRUSH br = CreateSolidBrush(static_cast<COLORREF>(GetWindowLongPtr(h, GWLP_USERDATA)));
            RECT r;
            GetClientRect(h, r);
            FillRect(dc, &r, br);
            DeleteObject(br);
            EndPaint(h, ps);
            return 0;
        }
        return test::RecordingProc(h, m, w, l);
    }
    void SetUp() override {
        WindowTest::SetUp();
        WNDCLASS wc;
        wc.lpszClassName = "Fill";
        wc.lpfnWndProc = FillProc;
        RegisterClass(wc);
    }
};

TEST_F(Paint, InvalidationMakesOnePaintWithTheErasedUpdateRectangle) {
    HWND h = CreateWindowEx(0, "RecDbl", "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr);
    Pump();
    // The class background (COLOR_WINDOW, white) was erased by the default paint.
    EXPECT_EQ(Pixel(h, 50, 50), 0xFFFFFFu);
    Log().Take();
    MSG m;
    EXPECT_FALSE(PeekMessage(m, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));
    RECT a{10, 10, 20, 20}, b{30, 5, 40, 15};
    InvalidateRect(h, &a, FALSE);
    InvalidateRect(h, &b, FALSE);
    RECT u;
    EXPECT_TRUE(GetUpdateRect(h, &u, FALSE));
    EXPECT_EQ(u, (RECT{10, 5, 40, 20}));
    ASSERT_TRUE(PeekMessage(m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, UINT(WM_PAINT));
    PAINTSTRUCT ps;
    BeginPaint(h, ps);
    EXPECT_EQ(ps.rcPaint, (RECT{10, 5, 40, 20}));
    EXPECT_FALSE(ps.fErase);
    EndPaint(h, ps);
    EXPECT_TRUE(Log().Only({WM_ERASEBKGND}).empty()); // not asked for
    EXPECT_FALSE(PeekMessage(m, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));
    InvalidateRect(h, nullptr, TRUE);
    Pump();
    EXPECT_EQ(Log().Only({WM_ERASEBKGND}).size(), 1u);
    // Hidden windows are not painted.
    ShowWindow(h, SW_HIDE);
    InvalidateRect(h, nullptr, TRUE);
    EXPECT_FALSE(PeekMessage(m, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));
}

TEST_F(Paint, FrameAndCaptionAreDrawnInTheSystemColours) {
    HWND h = CreateWindowEx(0, "RecDbl", "Caption", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                            120, nullptr);
    Pump();
    ASSERT_EQ(GetActiveWindow(), h);
    // Active caption, white client, the sizing band in the active border colour.
    EXPECT_EQ(Pixel(h, 100, 6), Sys(COLOR_ACTIVECAPTION));
    EXPECT_EQ(Pixel(h, 100, 60), 0xFFFFFFu);
    EXPECT_EQ(Pixel(h, 2, 60), Sys(COLOR_ACTIVEBORDER));
    HWND other = CreateWindowEx(0, "RecDbl", "", WS_POPUP | WS_VISIBLE, 300, 0, 20, 20, nullptr);
    Pump();
    EXPECT_EQ(GetActiveWindow(), other);
    EXPECT_EQ(Pixel(h, 100, 6), Sys(COLOR_INACTIVECAPTION));
}

TEST_F(Paint, ChildrenAreClippedAndPaintedAfterTheirParent) {
    HWND p = CreateWindowEx(0, "Fill", "", WS_POPUP | WS_CLIPCHILDREN, 0, 0, 100, 100, nullptr);
    SetWindowLongPtr(p, GWLP_USERDATA, RGB(0, 0, 255));
    HWND c = CreateWindowEx(0, "Fill", "", WS_CHILD | WS_VISIBLE, 10, 10, 20, 20, p);
    SetWindowLongPtr(c, GWLP_USERDATA, RGB(255, 0, 0));
    ShowWindow(p, SW_SHOW);
    Pump();
    auto order = Log().Only({WM_PAINT});
    ASSERT_EQ(order.size(), 2u);
    EXPECT_EQ(order[0].hwnd, p);
    EXPECT_EQ(order[1].hwnd, c);
    EXPECT_EQ(Pixel(p, 5, 5), 0x0000FFu);
    EXPECT_EQ(Pixel(p, 15, 15), 0xFF0000u);
    // The parent repaints alone without touching the child.
    InvalidateRect(p, nullptr, FALSE);
    Pump();
    order = Log().Only({WM_PAINT});
    ASSERT_EQ(order.size(), 1u);
    EXPECT_EQ(Pixel(p, 15, 15), 0xFF0000u);
    // Moving the child repaints what it uncovered.
    MoveWindow(c, 50, 50, 20, 20, TRUE);
    Pump();
    EXPECT_EQ(Pixel(p, 15, 15), 0x0000FFu);
    EXPECT_EQ(Pixel(p, 55, 55), 0xFF0000u);
    POINT pt{55, 55};
    EXPECT_EQ(ChildWindowFromPoint(p, pt), c);
}

TEST_F(Paint, ALaterSiblingIsStackedInFrontAndClipsTheEarlierOne) {
    HWND p = CreateWindowEx(0, "Fill", "", WS_POPUP | WS_CLIPCHILDREN, 0, 0, 100, 100, nullptr);
    SetWindowLongPtr(p, GWLP_USERDATA, RGB(0, 0, 255));
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    HWND first = CreateWindowEx(0, "Fill", "", style, 10, 10, 40, 40, p);
    SetWindowLongPtr(first, GWLP_USERDATA, RGB(255, 0, 0));
    HWND second = CreateWindowEx(0, "Fill", "", style, 30, 30, 40, 40, p);
    SetWindowLongPtr(second, GWLP_USERDATA, RGB(0, 255, 0));
    // A new window goes to the top of its siblings.
    EXPECT_EQ(GetWindow(p, GW_CHILD), second);
    EXPECT_EQ(GetWindow(second, GW_HWNDNEXT), first);
    ShowWindow(p, SW_SHOW);
    Pump();
    EXPECT_EQ(Pixel(p, 35, 35), 0x00FF00u); // the overlap is the later window's
    EXPECT_EQ(Pixel(p, 15, 15), 0xFF0000u);
    // Repainting the earlier window alone leaves the overlap alone.
    InvalidateRect(first, nullptr, FALSE);
    Pump();
    EXPECT_EQ(Pixel(p, 35, 35), 0x00FF00u);
    POINT pt{35, 35};
    EXPECT_EQ(ChildWindowFromPoint(p, pt), second);
    // Restacking brings the earlier one forward.
    SetWindowPos(first, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    Pump();
    EXPECT_EQ(GetWindow(p, GW_CHILD), first);
    EXPECT_EQ(Pixel(p, 35, 35), 0xFF0000u);
}

TEST_F(Paint, ScrollingMovesPixelsAndInvalidatesWhatItUncovers) {
    HWND h = CreateWindowEx(0, "Fill", "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr);
    SetWindowLongPtr(h, GWLP_USERDATA, RGB(0, 255, 0));
    Pump();
    HDC dc = GetDC(h);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT band{0, 20, 50, 30};
    FillRect(dc, &band, red);
    DeleteObject(red);
    ReleaseDC(h, dc);
    RECT uncovered;
    EXPECT_EQ(ScrollWindowEx(h, 0, -10, nullptr, nullptr, &uncovered, SW_INVALIDATE), 2);
    EXPECT_EQ(uncovered, (RECT{0, 40, 50, 50}));
    EXPECT_EQ(Pixel(h, 25, 15), 0xFF0000u);
    EXPECT_EQ(Pixel(h, 25, 25), 0x00FF00u);
    RECT u;
    GetUpdateRect(h, &u, FALSE);
    EXPECT_EQ(u, (RECT{0, 40, 50, 50}));
}

TEST_F(Paint, RedrawSwitchAndUpdateLockHoldPainting) {
    HWND h = CreateWindowEx(0, "Fill", "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr);
    Pump();
    Log().Take();
    SendMessage(h, WM_SETREDRAW, FALSE);
    InvalidateRect(h, nullptr, TRUE);
    MSG m;
    EXPECT_FALSE(PeekMessage(m, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));
    SendMessage(h, WM_SETREDRAW, TRUE);
    EXPECT_FALSE(PeekMessage(m, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE)); // ignored, not deferred
    LockWindowUpdate(h);
    LockWindowUpdate(h);
    InvalidateRect(h, nullptr, TRUE);
    EXPECT_FALSE(PeekMessage(m, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));
    UnlockWindowUpdate(h);
    EXPECT_FALSE(PeekMessage(m, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));
    UnlockWindowUpdate(h);
    Pump();
    EXPECT_EQ(Log().Only({WM_PAINT}).size(), 1u);
    EXPECT_FALSE(UnlockWindowUpdate(h));
}

TEST_F(Paint, SnapshotWritesThePixelsOfAnyWindow) {
    HWND p = CreateWindowEx(0, "Fill", "", WS_POPUP | WS_VISIBLE, 0, 0, 40, 30, nullptr);
    SetWindowLongPtr(p, GWLP_USERDATA, RGB(0, 0, 255));
    HWND c = CreateWindowEx(0, "Fill", "", WS_CHILD | WS_VISIBLE, 5, 5, 10, 8, p);
    SetWindowLongPtr(c, GWLP_USERDATA, RGB(255, 0, 0));
    InvalidateRect(p, nullptr, TRUE);
    Pump();
    const std::string path = ::testing::TempDir() + "window_snapshot.png";
    ASSERT_TRUE(SnapshotWindow(c, path));
    cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
    ASSERT_EQ(cairo_surface_status(s), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(s), 10);
    EXPECT_EQ(cairo_image_surface_get_height(s), 8);
    const auto* px = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s));
    EXPECT_EQ(px[0] & 0xFFFFFF, 0xFF0000u);
    cairo_surface_destroy(s);
    ::unlink(path.c_str());
}

} // namespace
} // namespace ax
