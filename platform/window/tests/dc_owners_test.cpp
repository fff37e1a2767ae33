// The scoped holders of window DCs: a borrowed DC is given back exactly once
// (the layer's count of live DCs), what was drawn through it reaches the
// window, and a paint scope ends its paint on every way out.
#include "platform/window/paintscope.h"
#include "platform/window/windowdc.h"
#include "test_support.h"

#include <optional>
#include <stdexcept>

namespace ax {
namespace {

class DCOwners : public test::WindowTest {
protected:
    static uint32_t Pixel(HWND top, int x, int y) {
        cairo_surface_t* s = WindowSurface(top);
        cairo_surface_flush(s);
        const auto* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
        return reinterpret_cast<const uint32_t*>(row)[x] & 0xFFFFFF;
    }
    static void Fill(HDC dc, COLORREF color) {
        HBRUSH brush = CreateSolidBrush(color);
        RECT r{0, 0, 10, 10};
        FillRect(dc, &r, brush);
        DeleteObject(brush);
    }
    HWND MakeWindow() {
        HWND h = CreateWindowEx(0, "RecDbl", "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr);
        test::Pump();
        return h;
    }
};

TEST_F(DCOwners, AWindowDCIsGivenBackOnceAndAMovedFromOneGivesBackNothing) {
    HWND h = MakeWindow();
    const int before = GetGdiObjectCounts().dcs;
    std::optional<WindowDC> kept;
    {
        WindowDC dc(h);
        ASSERT_TRUE(dc);
        EXPECT_EQ(GetGdiObjectCounts().dcs, before + 1);
        kept.emplace(std::move(dc));
        EXPECT_FALSE(dc);
    } // the source goes here and must not release the DC
    EXPECT_EQ(GetGdiObjectCounts().dcs, before + 1);
    Fill(kept->Get(), RGB(255, 0, 0));
    EXPECT_EQ(Pixel(h, 5, 5), 0xFF0000u);
    kept.reset();
    EXPECT_EQ(GetGdiObjectCounts().dcs, before);
    {
        WindowDC screen(nullptr);
        WindowDC whole = WindowDC::WholeWindow(h);
        EXPECT_TRUE(screen && whole);
        EXPECT_EQ(GetGdiObjectCounts().dcs, before + 2);
    }
    EXPECT_EQ(GetGdiObjectCounts().dcs, before);
}

TEST_F(DCOwners, APaintScopeEndsItsPaintEvenWhenThePaintingThrows) {
    HWND h = MakeWindow();
    const int before = GetGdiObjectCounts().dcs;
    RECT part{0, 0, 10, 10};
    InvalidateRect(h, &part, FALSE);
    EXPECT_THROW(
        {
            PaintScope paint(h);
            EXPECT_EQ(paint.Paint().rcPaint, part);
            EXPECT_EQ(GetGdiObjectCounts().dcs, before + 1);
            Fill(paint.DC(), RGB(0, 0, 255));
            throw std::runtime_error("painting failed");
        },
        std::runtime_error);
    EXPECT_EQ(GetGdiObjectCounts().dcs, before);
    EXPECT_FALSE(GetUpdateRect(h, nullptr, FALSE));
    EXPECT_EQ(Pixel(h, 5, 5), 0x0000FFu);
}

TEST_F(DCOwners, AMovedFromPaintScopeEndsNothing) {
    HWND h = MakeWindow();
    const int before = GetGdiObjectCounts().dcs;
    InvalidateRect(h, nullptr, FALSE);
    std::optional<PaintScope> kept;
    {
        PaintScope paint(h);
        kept.emplace(std::move(paint));
        EXPECT_FALSE(paint.DC());
    }
    EXPECT_EQ(GetGdiObjectCounts().dcs, before + 1);
    Fill(kept->DC(), RGB(0, 255, 0));
    kept.reset();
    EXPECT_EQ(GetGdiObjectCounts().dcs, before);
    EXPECT_EQ(Pixel(h, 5, 5), 0x00FF00u);
}

} // namespace
} // namespace ax
