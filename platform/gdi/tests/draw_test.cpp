#include "test_canvas.h"

#include <gtest/gtest.h>
#include <random>

using namespace ax;
using namespace ax::test;

namespace {
const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kBlack = RGB(0, 0, 0);
} // namespace

TEST(FocusRect, DrawnTwiceLeavesTheSurfaceUnchanged) {
    Canvas c(40, 30);
    std::mt19937 rng(3);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            c.set(x, y, rng() & 0xFFFFFF);
    std::string before = c.snapshot();
    for (RECT r :
         {RECT{2, 3, 30, 20}, RECT{5, 5, 6, 6}, RECT{0, 0, 40, 30}, RECT{10, 10, 11, 25}}) {
        SCOPED_TRACE(r.left);
        DrawFocusRect(c.dc(), &r);
        EXPECT_TRUE(c.snapshot() != before);
        DrawFocusRect(c.dc(), &r);
        EXPECT_TRUE(c.snapshot() == before);
    }
}

TEST(FocusRect, InvertsEveryOtherPixelOfTheFrameOnly) {
    Canvas c(10, 10);
    RECT r{1, 1, 9, 9};
    DrawFocusRect(c.dc(), &r);
    EXPECT_EQ(c.px(1, 1), kBlack);
    EXPECT_EQ(c.px(2, 1), kWhite);
    EXPECT_EQ(c.px(3, 1), kBlack);
    EXPECT_EQ(c.px(8, 2), kBlack);
    EXPECT_EQ(c.px(8, 8), kBlack);
    EXPECT_EQ(c.px(4, 4), kWhite); // inside untouched
    EXPECT_EQ(c.px(9, 1), kWhite); // right edge exclusive
}

TEST(Lines, LineToLeavesOutTheLastPixelAndStylesRepeat) {
    Canvas c(30, 5);
    MoveToEx(c.dc(), 0, 0, nullptr);
    LineTo(c.dc(), 10, 0);
    EXPECT_EQ(c.px(9, 0), kBlack);
    EXPECT_EQ(c.px(10, 0), kWhite);
    POINT pos;
    GetCurrentPositionEx(c.dc(), &pos);
    EXPECT_EQ(pos, (POINT{10, 0}));

    HPEN dot = CreatePen(PS_DOT, 1, RGB(255, 0, 0));
    HPEN old = SelectObject(c.dc(), dot);
    SetBkMode(c.dc(), TRANSPARENT);
    MoveToEx(c.dc(), 0, 2, nullptr);
    LineTo(c.dc(), 12, 2);
    for (int x = 0; x < 12; ++x)
        EXPECT_EQ(c.px(x, 2), (x / 3) % 2 ? kWhite : RGB(255, 0, 0)) << x;
    // With an opaque background the gaps take the background colour.
    SetBkMode(c.dc(), OPAQUE);
    SetBkColor(c.dc(), RGB(0, 0, 255));
    MoveToEx(c.dc(), 0, 3, nullptr);
    LineTo(c.dc(), 6, 3);
    EXPECT_EQ(c.px(4, 3), RGB(0, 0, 255));
    // R2_XORPEN drawn twice restores the pixels.
    SetROP2(c.dc(), R2_NOT);
    MoveToEx(c.dc(), 0, 4, nullptr);
    LineTo(c.dc(), 5, 4);
    EXPECT_EQ(c.px(0, 4), kBlack);
    MoveToEx(c.dc(), 0, 4, nullptr);
    LineTo(c.dc(), 5, 4);
    EXPECT_EQ(c.px(0, 4), kWhite);
    SelectObject(c.dc(), old);
    DeleteObject(dot);
}

TEST(Shapes, RectangleFramesWithThePenAndFillsWithTheBrush) {
    Canvas c(10, 10);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HBRUSH old = SelectObject(c.dc(), red);
    Rectangle(c.dc(), 1, 1, 6, 5);
    EXPECT_EQ(c.px(1, 1), kBlack);
    EXPECT_EQ(c.px(5, 4), kBlack);
    EXPECT_EQ(c.px(6, 4), kWhite);
    EXPECT_EQ(c.px(2, 2), RGB(255, 0, 0));
    EXPECT_EQ(c.px(4, 3), RGB(255, 0, 0));
    // Without a pen the fill stops one pixel short on the right and bottom.
    SelectObject(c.dc(), HPEN{GetStockObject(NULL_PEN)});
    Rectangle(c.dc(), 0, 6, 4, 9);
    EXPECT_EQ(c.px(2, 7), RGB(255, 0, 0));
    EXPECT_EQ(c.px(3, 7), kWhite);
    EXPECT_EQ(c.px(2, 8), kWhite);
    SelectObject(c.dc(), old);
    DeleteObject(red);
}

TEST(Shapes, EllipseStaysInsideItsBox) {
    Canvas c(20, 20);
    SelectObject(c.dc(), HBRUSH{GetStockObject(BLACK_BRUSH)});
    Ellipse(c.dc(), 2, 3, 18, 15);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            if (x < 2 || x >= 18 || y < 3 || y >= 15) {
                EXPECT_EQ(c.px(x, y), kWhite) << x << "," << y;
            }
    EXPECT_EQ(c.px(10, 9), kBlack);
    EXPECT_EQ(c.px(2, 3), kWhite); // the corner is outside the curve
}

TEST(Brushes, HatchesFollowTheBrushOriginAndBackgroundMode) {
    Canvas c(16, 8);
    HBRUSH h = CreateHatchBrush(HS_VERTICAL, RGB(0, 0, 255));
    SetBkColor(c.dc(), RGB(0, 255, 0));
    RECT r{0, 0, 16, 8};
    FillRect(c.dc(), &r, h);
    EXPECT_EQ(c.px(7, 0), RGB(0, 0, 255));
    EXPECT_EQ(c.px(15, 5), RGB(0, 0, 255));
    EXPECT_EQ(c.px(6, 0), RGB(0, 255, 0));
    SetBkMode(c.dc(), TRANSPARENT);
    SetBrushOrgEx(c.dc(), 1, 0, nullptr);
    RECT white{0, 0, 16, 8};
    FillRect(c.dc(), &white, HBRUSH{GetStockObject(WHITE_BRUSH)});
    FillRect(c.dc(), &r, h);
    EXPECT_EQ(c.px(8, 0), RGB(0, 0, 255));
    EXPECT_EQ(c.px(7, 0), kWhite);
    DeleteObject(h);
}

TEST(Brushes, MonochromePatternsTakeTheTextAndBackgroundColours) {
    const BYTE rows[16] = {0xAA, 0, 0x55, 0, 0xAA, 0, 0x55, 0, 0xAA, 0, 0x55, 0, 0xAA, 0, 0x55, 0};
    HBITMAP checker = CreateBitmap(8, 8, 1, 1, rows);
    HBRUSH b = CreatePatternBrush(checker);
    DeleteObject(checker); // the brush keeps its own pattern
    Canvas c(8, 2);
    SetTextColor(c.dc(), RGB(255, 0, 0));
    SetBkColor(c.dc(), RGB(0, 255, 0));
    RECT r{0, 0, 8, 2};
    FillRect(c.dc(), &r, b);
    EXPECT_EQ(c.px(0, 0), RGB(0, 255, 0)); // bit 1
    EXPECT_EQ(c.px(1, 0), RGB(255, 0, 0)); // bit 0
    EXPECT_EQ(c.px(0, 1), RGB(255, 0, 0));
    EXPECT_EQ(c.px(1, 1), RGB(0, 255, 0));
    DeleteObject(b);
}

TEST(Edges, RaisedAndSunkenEdgesUseTheThreeDColours) {
    Canvas c(10, 10);
    RECT r{0, 0, 10, 10};
    ASSERT_TRUE(DrawEdge(c.dc(), &r, EDGE_RAISED, BF_RECT | BF_ADJUST | BF_MIDDLE));
    EXPECT_EQ(r, (RECT{2, 2, 8, 8}));
    EXPECT_EQ(c.px(0, 5), GetSysColor(COLOR_3DLIGHT));
    EXPECT_EQ(c.px(1, 5), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(c.px(9, 5), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(c.px(8, 5), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(c.px(9, 0), GetSysColor(COLOR_3DDKSHADOW)); // the dark side owns the corners
    EXPECT_EQ(c.px(0, 9), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(c.px(5, 5), GetSysColor(COLOR_BTNFACE));

    Canvas s(6, 6);
    RECT q{0, 0, 6, 6};
    DrawEdge(s.dc(), &q, EDGE_SUNKEN, BF_TOP | BF_LEFT);
    EXPECT_EQ(q, (RECT{0, 0, 6, 6})); // no BF_ADJUST
    EXPECT_EQ(s.px(3, 0), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(s.px(3, 1), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(s.px(5, 5), kWhite);
}

TEST(FrameControls, ButtonsChecksArrowsAndGrip) {
    Canvas c(80, 20);
    RECT push{0, 0, 20, 20};
    DrawFrameControl(c.dc(), &push, DFC_BUTTON, DFCS_BUTTONPUSH);
    EXPECT_EQ(c.px(0, 0), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(c.px(19, 19), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(c.px(18, 10), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(c.px(10, 10), GetSysColor(COLOR_BTNFACE));

    RECT check{20, 0, 33, 13};
    DrawFrameControl(c.dc(), &check, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_CHECKED);
    EXPECT_EQ(c.px(20, 5), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(c.px(22, 2), GetSysColor(COLOR_WINDOW));
    // The 7 x 7 mark sits centred in the 9 x 9 inside (22..30): its bottom point.
    EXPECT_EQ(c.px(25, 9), GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(c.px(23, 3), GetSysColor(COLOR_WINDOW));

    RECT up{40, 0, 56, 16};
    DrawFrameControl(c.dc(), &up, DFC_SCROLL, DFCS_SCROLLUP);
    int arrowPixels = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 40; x < 56; ++x)
            arrowPixels += c.px(x, y) == GetSysColor(COLOR_BTNTEXT);
    EXPECT_EQ(arrowPixels, 1 + 3 + 5 + 7);              // a 7-wide, 4-high triangle
    EXPECT_EQ(c.px(48, 6), GetSysColor(COLOR_BTNTEXT)); // the tip
    DrawFrameControl(c.dc(), &up, DFC_SCROLL, DFCS_SCROLLUP | DFCS_INACTIVE);
    arrowPixels = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 40; x < 56; ++x)
            arrowPixels += c.px(x, y) == GetSysColor(COLOR_BTNTEXT);
    EXPECT_EQ(arrowPixels, 0);

    RECT grip{60, 0, 76, 16};
    DrawFrameControl(c.dc(), &grip, DFC_SCROLL, DFCS_SCROLLSIZEGRIP);
    EXPECT_EQ(c.px(75, 15), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(c.px(74, 15), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(c.px(60, 0), GetSysColor(COLOR_BTNFACE));

    RECT close{0, 0, 16, 14};
    Canvas d(16, 14);
    DrawFrameControl(d.dc(), &close, DFC_CAPTION, DFCS_CAPTIONCLOSE);
    int glyph = 0;
    for (int y = 0; y < 14; ++y)
        for (int x = 0; x < 16; ++x)
            glyph += d.px(x, y) == GetSysColor(COLOR_BTNTEXT);
    EXPECT_GT(glyph, 10);
    c.save("frame_controls");
}

TEST(Snapshots, AGalleryToLookAt) {
    SetTestFont(true);
    Canvas c(220, 120, GetSysColor(COLOR_BTNFACE));
    HDC dc = c.dc();
    int x = 4;
    for (UINT s :
         {UINT(DFCS_BUTTONPUSH), UINT(DFCS_BUTTONPUSH | DFCS_PUSHED), UINT(DFCS_BUTTONCHECK),
          UINT(DFCS_BUTTONCHECK | DFCS_CHECKED), UINT(DFCS_BUTTONRADIO | DFCS_CHECKED)}) {
        RECT r{x, 4, x + 18, 22};
        DrawFrameControl(dc, &r, DFC_BUTTON, s);
        x += 22;
    }
    x = 4;
    for (UINT s :
         {UINT(DFCS_SCROLLUP), UINT(DFCS_SCROLLDOWN), UINT(DFCS_SCROLLLEFT), UINT(DFCS_SCROLLRIGHT),
          UINT(DFCS_SCROLLUP | DFCS_INACTIVE), UINT(DFCS_SCROLLSIZEGRIP)}) {
        RECT r{x, 28, x + 16, 44};
        DrawFrameControl(dc, &r, DFC_SCROLL, s);
        x += 20;
    }
    x = 4;
    for (UINT s : {UINT(DFCS_CAPTIONCLOSE), UINT(DFCS_CAPTIONMIN), UINT(DFCS_CAPTIONMAX),
                   UINT(DFCS_CAPTIONRESTORE), UINT(DFCS_CAPTIONHELP)}) {
        RECT r{x, 50, x + 16, 64};
        DrawFrameControl(dc, &r, DFC_CAPTION, s);
        x += 20;
    }
    RECT e{130, 4, 210, 40};
    DrawEdge(dc, &e, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    FillRect(dc, &e, GetSysColorBrush(COLOR_WINDOW));
    SetBkMode(dc, TRANSPARENT);
    RECT t = e;
    std::string text = "C:\\Program Files\\file.txt";
    DrawTextEx(dc, &text, &t, DT_PATH_ELLIPSIS | DT_SINGLELINE | DT_VCENTER | DT_MODIFYSTRING,
               nullptr);
    RECT f{130, 50, 210, 64};
    DrawFocusRect(dc, &f);
    HICON icons[] = {LoadIcon(0, IDI_HAND), LoadIcon(0, IDI_QUESTION), LoadIcon(0, IDI_EXCLAMATION),
                     LoadIcon(0, IDI_ASTERISK), LoadIcon(0, IDI_APPLICATION)};
    x = 4;
    for (HICON i : icons) {
        DrawIcon(dc, x, 72, i);
        x += 36;
    }
    HCURSOR cursors[] = {LoadCursor(0, IDC_ARROW), LoadCursor(0, IDC_IBEAM),
                         LoadCursor(0, IDC_WAIT), LoadCursor(0, IDC_SIZEWE),
                         LoadCursor(0, IDC_HAND)};
    for (HCURSOR cur : cursors) {
        DrawIcon(dc, x, 72, cur);
        x += 34;
        if (x > 190) break;
    }
    c.save("gallery");
    SetTestFont(false);
    Canvas real(220, 40, kWhite);
    HFONT font = CreateFont(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "MS Sans Serif");
    HFONT old = SelectObject(real.dc(), font);
    RECT rt{4, 4, 216, 36};
    DrawText(real.dc(), "&File  Courier, Arial: the quick brown fox jumps", &rt, DT_WORDBREAK);
    SelectObject(real.dc(), old);
    DeleteObject(font);
    real.save("real_text");
}

TEST(Shapes, GeometricPensHaveFlatEndsAndTheirWidth) {
    Canvas c(20, 12);
    LOGBRUSH lb;
    lb.lbColor = RGB(0, 0, 255);
    HPEN pen =
        ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT | PS_JOIN_MITER, 2, &lb, 0, nullptr);
    ASSERT_TRUE(pen);
    HPEN old = SelectObject(c.dc(), pen);
    const POINT pts[4] = {{2, 5}, {12, 5}, {15, 0}, {15, 12}};
    const DWORD counts[2] = {2, 2};
    ASSERT_TRUE(PolyPolyline(c.dc(), pts, counts, 2));
    EXPECT_EQ(c.px(2, 4), RGB(0, 0, 255));
    EXPECT_EQ(c.px(11, 5), RGB(0, 0, 255));
    EXPECT_EQ(c.px(12, 5), kWhite); // flat end: nothing past the end point
    EXPECT_EQ(c.px(1, 5), kWhite);
    EXPECT_EQ(c.px(5, 6), kWhite);
    EXPECT_EQ(c.px(5, 3), kWhite);
    EXPECT_EQ(c.px(14, 8), RGB(0, 0, 255));
    EXPECT_EQ(c.px(15, 8), RGB(0, 0, 255));
    EXPECT_EQ(c.px(16, 8), kWhite);
    const DWORD bad[1] = {1};
    EXPECT_FALSE(PolyPolyline(c.dc(), pts, bad, 1));
    SelectObject(c.dc(), old);
    DeleteObject(pen);
    // A cosmetic pen cannot be wide.
    EXPECT_FALSE(ExtCreatePen(PS_COSMETIC | PS_SOLID, 3, &lb, 0, nullptr));
}

TEST(Shapes, PolygonRoundRectAndInvertRect) {
    Canvas c(20, 20);
    SelectObject(c.dc(), HBRUSH{GetStockObject(BLACK_BRUSH)});
    SelectObject(c.dc(), HPEN{GetStockObject(NULL_PEN)});
    const POINT tri[3] = {{0, 0}, {10, 0}, {0, 10}};
    ASSERT_TRUE(Polygon(c.dc(), tri, 3));
    EXPECT_EQ(c.px(2, 2), kBlack);
    EXPECT_EQ(c.px(8, 8), kWhite);
    RoundRect(c.dc(), 10, 10, 20, 20, 6, 6);
    EXPECT_EQ(c.px(15, 15), kBlack);
    EXPECT_EQ(c.px(10, 10), kWhite); // rounded corner
    RECT r{0, 15, 5, 20};
    InvertRect(c.dc(), &r);
    EXPECT_EQ(c.px(2, 17), kBlack);
    InvertRect(c.dc(), &r);
    EXPECT_EQ(c.px(2, 17), kWhite);
    // Pixels drawn by shapes stay opaque.
    EXPECT_EQ(c.row(15)[15] >> 24, 0xFFu);
}

TEST(Icons, MaskRulesAndScaling) {
    // A 2 x 1 icon: pixel 0 opaque red, pixel 1 transparent (mask 1, image black).
    const BYTE maskBits[2] = {0x40, 0};
    HBITMAP mask = CreateBitmap(2, 1, 1, 1, maskBits);
    const std::uint32_t colour[2] = {0xFFFF0000, 0xFF000000};
    HBITMAP image = CreateBitmapFromPixels(2, 1, colour, false);
    ICONINFO info;
    info.hbmMask = mask;
    info.hbmColor = image;
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(mask);
    DeleteObject(image);
    ASSERT_TRUE(icon);
    Canvas c(4, 2, RGB(0, 200, 0));
    ASSERT_TRUE(DrawIconEx(c.dc(), 0, 0, icon, 4, 2, 0, HBRUSH{}, DI_NORMAL));
    EXPECT_EQ(c.px(0, 0), RGB(255, 0, 0));
    EXPECT_EQ(c.px(1, 1), RGB(255, 0, 0));
    EXPECT_EQ(c.px(2, 0), RGB(0, 200, 0));
    EXPECT_EQ(c.px(3, 1), RGB(0, 200, 0));
    DrawIconEx(c.dc(), 0, 0, icon, 0, 0, 0, HBRUSH{}, DI_MASK);
    EXPECT_EQ(c.px(0, 0), kBlack);
    EXPECT_EQ(c.px(1, 0), RGB(255, 0, 0)); // kept from the scaled drawing
    DrawIconEx(c.dc(), 0, 0, icon, 0, 0, 0, HBRUSH{GetStockObject(WHITE_BRUSH)}, DI_NORMAL);
    EXPECT_EQ(c.px(1, 0), kWhite);
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_FALSE(DestroyIcon(icon));
}
