// The mirrored mapping (MM_ANISOTROPIC with a negative window extent across):
// where rectangles, lines, pictures and text land, and that the plain
// mapping comes back whole.
#include "test_canvas.h"

#include <gtest/gtest.h>

using namespace ax;
using namespace ax::test;

namespace {
const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kRed = RGB(255, 0, 0);

// x grows to the left over a client area `width` wide.
void Mirror(HDC dc, int width, int height) {
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowOrgEx(dc, width, 0, nullptr);
    SetViewportExtEx(dc, width, height, nullptr);
    SetWindowExtEx(dc, -width, height, nullptr);
}

// The first and last x of row y that hold colour c, or -1.
std::pair<int, int> Span(const Canvas& c, int y, COLORREF colour) {
    int first = -1, last = -1;
    for (int x = 0; x < c.width(); ++x)
        if (c.px(x, y) == colour) {
            if (first < 0) first = x;
            last = x;
        }
    return {first, last};
}
} // namespace

TEST(Mirror, RectanglesKeepTheirPixelsAndLinesLandOnThePointMirrored) {
    Canvas c(100, 20);
    Mirror(c.dc(), 100, 20);
    const HBRUSH red = CreateSolidBrush(kRed);
    RECT r{10, 2, 20, 6};
    FillRect(c.dc(), &r, red);
    // Pixels 10..19 become 80..89.
    EXPECT_EQ(Span(c, 3, kRed), std::make_pair(80, 89));
    // A vertical line at x 10 is drawn at 100 - 10.
    MoveToEx(c.dc(), 10, 8, nullptr);
    LineTo(c.dc(), 10, 12);
    EXPECT_EQ(Span(c, 9, kBlack), std::make_pair(90, 90));
    POINT p{25, 7};
    LPtoDP(c.dc(), &p, 1);
    EXPECT_EQ(p.x, 75);
    EXPECT_EQ(p.y, 7);
    DPtoLP(c.dc(), &p, 1);
    EXPECT_EQ(p.x, 25);
    DeleteObject(red);
}

TEST(Mirror, ClipRectanglesAreMirroredToo) {
    Canvas c(100, 20);
    Mirror(c.dc(), 100, 20);
    IntersectClipRect(c.dc(), 0, 0, 30, 20);
    const HBRUSH red = CreateSolidBrush(kRed);
    RECT all{0, 0, 100, 20};
    FillRect(c.dc(), &all, red);
    EXPECT_EQ(Span(c, 5, kRed), std::make_pair(70, 99));
    RECT box{};
    GetClipBox(c.dc(), &box);
    EXPECT_EQ(box, (RECT{0, 0, 30, 20}));
    DeleteObject(red);
}

TEST(Mirror, TextKeepsItsGlyphsAndEndsWhereItsBoxBegins) {
    SetTestFont(true);
    Canvas plain(100, 20), mirrored(100, 20);
    Mirror(mirrored.dc(), 100, 20);
    for (HDC dc : {plain.dc(), mirrored.dc()}) {
        SetBkMode(dc, TRANSPARENT);
        TextOut(dc, 10, 2, "ab");
    }
    // The test font draws each character of the (bold) system font as a box
    // from 1 to 6 of its 7 pixels: "ab" from x 10 covers 11..16 and 18..23;
    // mirrored, the text's box 10..23 becomes 76..89 and the boxes lie in it
    // unturned, at 77..82 and 84..89.
    EXPECT_EQ(Span(plain, 8, kBlack), std::make_pair(11, 23));
    EXPECT_EQ(Span(mirrored, 8, kBlack), std::make_pair(77, 89));
    EXPECT_EQ(mirrored.px(83, 8), kWhite);
    EXPECT_EQ(mirrored.px(84, 8), kBlack);
}

TEST(Mirror, TheTextModeBringsThePlainMappingBack) {
    Canvas c(100, 20);
    Mirror(c.dc(), 100, 20);
    EXPECT_EQ(GetMapMode(c.dc()), MM_ANISOTROPIC);
    // Back as the grid leaves it: same mode, origin 0, extents alike.
    SetWindowOrgEx(c.dc(), 0, 0, nullptr);
    SetWindowExtEx(c.dc(), 100, 20, nullptr);
    POINT p{25, 7};
    LPtoDP(c.dc(), &p, 1);
    EXPECT_EQ(p.x, 25);
    Mirror(c.dc(), 100, 20);
    EXPECT_EQ(SetMapMode(c.dc(), MM_TEXT), MM_ANISOTROPIC);
    SIZE ext{};
    GetWindowExtEx(c.dc(), &ext);
    EXPECT_EQ(ext.cx, 1);
    // The window origin stays (100): plain, x 110 is device 10.
    p = {110, 0};
    LPtoDP(c.dc(), &p, 1);
    EXPECT_EQ(p.x, 10);
    // Under MM_TEXT extents are kept out.
    SetWindowExtEx(c.dc(), -5, 5, nullptr);
    GetWindowExtEx(c.dc(), &ext);
    EXPECT_EQ(ext.cx, 1);
}
