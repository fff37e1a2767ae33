// Device contexts that outlive what they were made for: a surface its owner
// let go of, a window resized or moved while its DC is held, a window
// destroyed while its DC is held. Run under the sanitizers (UNTRUSTED), where
// a DC left pointing at freed pixels is an error.
#include "test_support.h"

namespace ax {
namespace {

using test::Pump;

class DcLifetime : public test::WindowTest {
protected:
    static uint32_t Pixel(HWND top, int x, int y) {
        cairo_surface_t* s = WindowSurface(top);
        cairo_surface_flush(s);
        const auto* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
        return reinterpret_cast<const uint32_t*>(row)[x] & 0xFFFFFF;
    }
    static void Fill(HDC dc, RECT r, COLORREF colour) {
        HBRUSH brush = CreateSolidBrush(colour);
        FillRect(dc, &r, brush);
        DeleteObject(brush);
    }
};

TEST_F(DcLifetime, ASurfaceDcKeepsItsSurfaceAfterTheOwnerLetsGo) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 64, 64);
    HDC dc = CreateSurfaceDC(s, POINT{0, 0}, nullptr);
    ASSERT_TRUE(dc);
    cairo_surface_destroy(s); // the owner's reference
    Fill(dc, {0, 0, 64, 64}, RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, 10, 10), RGB(255, 0, 0));
    EXPECT_TRUE(DeleteDC(dc));
}

TEST_F(DcLifetime, AWindowDcFollowsItsWindowThroughAResize) {
    HWND h = CreateWindowEx(0, "Rec", "", WS_POPUP | WS_VISIBLE, 0, 0, 40, 40, nullptr);
    Pump();
    HDC dc = GetDC(h);
    ASSERT_TRUE(dc);
    // A larger window gets a new surface; the DC must draw on it, all of it.
    SetWindowPos(h, nullptr, 0, 0, 200, 150, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    Fill(dc, {0, 0, 200, 150}, RGB(0, 0, 255));
    EXPECT_EQ(ReleaseDC(h, dc), 1);
    EXPECT_EQ(Pixel(h, 5, 5), 0x0000FFu);
    EXPECT_EQ(Pixel(h, 190, 140), 0x0000FFu);
}

TEST_F(DcLifetime, AChildDcFollowsTheChildWhenItMoves) {
    HWND top = CreateWindowEx(0, "Rec", "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 200, nullptr);
    HWND child = CreateWindowEx(0, "Rec", "", WS_CHILD | WS_VISIBLE, 10, 10, 30, 30, top);
    Pump();
    HDC dc = GetDC(child);
    SetWindowPos(child, nullptr, 100, 120, 30, 30, SWP_NOZORDER | SWP_NOACTIVATE);
    Fill(dc, {0, 0, 30, 30}, RGB(0, 255, 0));
    ReleaseDC(child, dc);
    EXPECT_EQ(Pixel(top, 105, 125), 0x00FF00u);
    EXPECT_NE(Pixel(top, 15, 15), 0x00FF00u);
}

TEST_F(DcLifetime, ADcOfADestroyedWindowDrawsNowhere) {
    const auto before = GetGdiObjectCounts();
    HWND top = CreateWindowEx(0, "Rec", "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr);
    HWND child = CreateWindowEx(0, "Rec", "", WS_CHILD | WS_VISIBLE, 10, 10, 50, 50, top);
    Pump();
    HDC topDc = GetDC(top);
    Fill(topDc, {0, 0, 100, 100}, RGB(255, 255, 255));
    HDC childDc = GetDC(child);
    DestroyWindow(child);
    // The parent's pixels where the child was are the parent's now.
    Fill(childDc, {0, 0, 50, 50}, RGB(255, 0, 0));
    EXPECT_EQ(Pixel(top, 20, 20), 0xFFFFFFu);
    EXPECT_EQ(ReleaseDC(child, childDc), 1);

    // A top-level window takes its surface with it; its DC stays harmless.
    DestroyWindow(top);
    Fill(topDc, {0, 0, 100, 100}, RGB(255, 0, 0));
    LineTo(topDc, 90, 90);
    EXPECT_EQ(ReleaseDC(top, topDc), 1);
    EXPECT_EQ(GetGdiObjectCounts(), before);
}

TEST_F(DcLifetime, APaintDcStaysInsideItsUpdateAreaWhenTheWindowMoves) {
    HWND top = CreateWindowEx(0, "Rec", "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 200, nullptr);
    HWND child = CreateWindowEx(0, "Rec", "", WS_CHILD | WS_VISIBLE, 10, 10, 40, 40, top);
    Pump();
    HDC white = GetDC(top);
    Fill(white, {0, 0, 200, 200}, RGB(255, 255, 255));
    ReleaseDC(top, white);
    RECT part{0, 0, 10, 10};
    ValidateRect(child, nullptr);
    InvalidateRect(child, &part, FALSE);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(child, ps);
    SetWindowPos(child, nullptr, 100, 100, 40, 40, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
    Fill(dc, {0, 0, 40, 40}, RGB(255, 0, 0));
    EndPaint(child, ps);
    EXPECT_EQ(Pixel(top, 105, 105), 0xFF0000u); // inside the update rectangle, moved along
    EXPECT_EQ(Pixel(top, 125, 125), 0xFFFFFFu); // outside it
    EXPECT_EQ(Pixel(top, 15, 15), 0xFFFFFFu);   // where the child was
}

} // namespace
} // namespace ax
