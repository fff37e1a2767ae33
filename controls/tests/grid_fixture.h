#pragma once
// A shown form holding one grid, on the headless display with the test
// font (7 x 13 pixel characters), and input driven through the display.
#include <gtest/gtest.h>

#include "controls/MyStringGrid.h"
#include "fixture.h"
#include "platform/window/display.h"
#include "stdctrls/common.h"

namespace ax::test {

class GridTest : public StdCtrlsTest {
protected:
    // A grid of the given size at (x, y) of a 600 x 400 form, without
    // border unless asked; scroll bars as given.
    template <class G = TMyStringGrid>
    G* MakeGrid(int width, int height, TScrollStyle bars = ssNone, TBorderStyle border = bsNone, int x = 0,
                int y = 0) {
        if (!form) form = MakeForm(600, 400);
        G* grid = TComponent::Create<G>(form);
        grid->SetBorderStyle(border);
        grid->SetScrollBars(bars);
        grid->SetBounds(x, y, width, height);
        grid->SetParent(form);
        app->ProcessMessages();
        return grid;
    }
    void Pump() {
        for (int i = 0; i < 3; ++i) app->ProcessMessages();
    }
    COLORREF Pixel(TWinControl* control, int x, int y) {
        Pump();
        HDC dc = GetDC(control->Handle());
        const COLORREF p = GetPixel(dc, x, y);
        ReleaseDC(control->Handle(), dc);
        return p;
    }
    // What the top-level window's surface holds at a client point of
    // control (also while the control's window is locked).
    COLORREF ShownPixel(TWinControl* control, int x, int y) {
        Pump();
        const HWND top = GetAncestor(control->Handle(), GA_ROOT);
        RECT wr{};
        GetWindowRect(top, wr);
        const POINT p = control->ClientToScreen(POINT{x, y});
        cairo_surface_t* s = WindowSurface(top);
        cairo_surface_flush(s);
        const auto* row = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) +
                                                            (p.y - wr.top) * cairo_image_surface_get_stride(s));
        const uint32_t argb = row[p.x - wr.left];
        return RGB(BYTE(argb >> 16), BYTE(argb >> 8), BYTE(argb));
    }
    POINT ScreenPoint(TControl* control, int x, int y) { return control->ClientToScreen(POINT{x, y}); }
    void MoveTo(TControl* control, int x, int y) {
        const POINT p = ScreenPoint(control, x, y);
        InjectMouseMove(p.x, p.y);
        app->ProcessMessages();
    }
    void Press(TControl* control, int x, int y, MouseButton button = MouseButton::Left) {
        MoveTo(control, x, y);
        InjectMouseButton(button, true);
        app->ProcessMessages();
    }
    void Release(MouseButton button = MouseButton::Left) {
        InjectMouseButton(button, false);
        app->ProcessMessages();
    }
    void Click(TControl* control, int x, int y, MouseButton button = MouseButton::Left) {
        Press(control, x, y, button);
        Release(button);
    }
    void ClickCell(TMyCustomGrid* g, int col, int row, MouseButton button = MouseButton::Left) {
        const RECT r = g->CellRect(col, row);
        Click(g, (r.left + r.right) / 2, (r.top + r.bottom) / 2, button);
        clock.Advance(1000); // the next click is no double click
    }
    void DoubleClick(TControl* control, int x, int y) {
        const POINT p = ScreenPoint(control, x, y);
        InjectDoubleClick(MouseButton::Left, p.x, p.y);
        app->ProcessMessages();
    }
    void Drag(TControl* control, int x1, int y1, int x2, int y2) {
        Press(control, x1, y1);
        MoveTo(control, x2, y2);
        Release();
    }
    // Key pressed with a modifier held.
    void WithKey(UINT modifier, UINT vk) { Chord(modifier, vk); }
    void WithKeys(UINT m1, UINT m2, UINT vk) {
        InjectKey(m1, true);
        InjectKey(m2, true);
        InjectKeyStroke(vk);
        InjectKey(m2, false);
        InjectKey(m1, false);
        app->ProcessMessages();
    }
    TForm* form = nullptr;
};

inline constexpr COLORREF kWhite = 0xFFFFFF, kBlack = 0x000000, kSilver = 0xC0C0C0, kGray = 0x808080;

} // namespace ax::test
