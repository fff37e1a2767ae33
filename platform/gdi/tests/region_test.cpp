#include "test_canvas.h"

#include <gtest/gtest.h>

using namespace ax;
using namespace ax::test;

TEST(Regions, CombinationsAndCanonicalForm) {
    HRGN a = CreateRectRgn(0, 0, 10, 10);
    HRGN b = CreateRectRgn(5, 5, 15, 15);
    HRGN r = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(r, a, b, RGN_AND), SIMPLEREGION);
    RECT box;
    GetRgnBox(r, &box);
    EXPECT_EQ(box, (RECT{5, 5, 10, 10}));
    EXPECT_EQ(CombineRgn(r, a, b, RGN_OR), COMPLEXREGION);
    EXPECT_TRUE(PtInRegion(r, 14, 14));
    EXPECT_FALSE(PtInRegion(r, 14, 2));
    EXPECT_FALSE(PtInRegion(r, 15, 15));
    EXPECT_EQ(CombineRgn(r, a, b, RGN_DIFF), COMPLEXREGION);
    EXPECT_FALSE(PtInRegion(r, 7, 7));
    EXPECT_TRUE(PtInRegion(r, 2, 7));
    EXPECT_EQ(CombineRgn(r, a, b, RGN_XOR), COMPLEXREGION);
    EXPECT_FALSE(PtInRegion(r, 7, 7));
    EXPECT_TRUE(PtInRegion(r, 12, 12));
    EXPECT_EQ(CombineRgn(r, a, a, RGN_DIFF), NULLREGION);

    // Two halves joined equal the whole, whichever way they were cut.
    HRGN left = CreateRectRgn(0, 0, 5, 10), right = CreateRectRgn(5, 0, 10, 10);
    HRGN top = CreateRectRgn(0, 0, 10, 4), bottom = CreateRectRgn(0, 4, 10, 10);
    HRGN u1 = CreateRectRgn(0, 0, 0, 0), u2 = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(u1, left, right, RGN_OR), SIMPLEREGION);
    EXPECT_EQ(CombineRgn(u2, top, bottom, RGN_OR), SIMPLEREGION);
    EXPECT_TRUE(EqualRgn(u1, u2));
    EXPECT_TRUE(EqualRgn(u1, a));
    RECT probe{9, 9, 20, 20};
    EXPECT_TRUE(RectInRegion(u1, &probe));
    OffsetRgn(u1, 100, 0);
    EXPECT_FALSE(RectInRegion(u1, &probe));
    EXPECT_EQ(CombineRgn(r, a, HRGN{}, RGN_AND), ERROR);
    for (HRGN h : {a, b, r, left, right, top, bottom, u1, u2})
        EXPECT_TRUE(DeleteObject(h));
}

TEST(Regions, ClipLimitsEveryDrawingCall) {
    Canvas c(20, 20);
    HRGN a = CreateRectRgn(0, 0, 5, 5);
    HRGN b = CreateRectRgn(10, 10, 15, 15);
    CombineRgn(a, a, b, RGN_OR);
    EXPECT_EQ(SelectClipRgn(c.dc(), a), COMPLEXREGION);
    DeleteObject(a); // the DC keeps its own copy
    DeleteObject(b);
    RECT all{0, 0, 20, 20};
    FillRect(c.dc(), &all, HBRUSH{GetStockObject(BLACK_BRUSH)});
    EXPECT_EQ(c.px(4, 4), RGB(0, 0, 0));
    EXPECT_EQ(c.px(12, 12), RGB(0, 0, 0));
    EXPECT_EQ(c.px(7, 7), RGB(255, 255, 255));
    EXPECT_EQ(c.px(5, 5), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(c.dc(), 7, 7), CLR_INVALID);
    RECT box;
    EXPECT_EQ(GetClipBox(c.dc(), &box), COMPLEXREGION);
    EXPECT_EQ(box, (RECT{0, 0, 15, 15}));
    EXPECT_FALSE(PtVisible(c.dc(), 7, 7));

    ExcludeClipRect(c.dc(), 0, 0, 5, 5);
    EXPECT_FALSE(PtVisible(c.dc(), 1, 1));
    EXPECT_TRUE(PtVisible(c.dc(), 11, 11));
    SelectClipRgn(c.dc(), HRGN{});
    EXPECT_TRUE(PtVisible(c.dc(), 7, 7));
    // IntersectClipRect takes logical coordinates.
    SetViewportOrgEx(c.dc(), 3, 0, nullptr);
    IntersectClipRect(c.dc(), 0, 0, 2, 20);
    SetViewportOrgEx(c.dc(), 0, 0, nullptr);
    EXPECT_TRUE(PtVisible(c.dc(), 3, 0));
    EXPECT_TRUE(PtVisible(c.dc(), 4, 0));
    EXPECT_FALSE(PtVisible(c.dc(), 5, 0));
    EXPECT_FALSE(PtVisible(c.dc(), 2, 0));
}

TEST(DeviceContexts, SaveAndRestoreBringBackTheWholeState) {
    Canvas c(10, 10);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
    SetTextColor(c.dc(), RGB(9, 9, 9));
    int level = SaveDC(c.dc());
    EXPECT_EQ(level, 1);
    HPEN oldPen = SelectObject(c.dc(), pen);
    SetTextColor(c.dc(), RGB(7, 7, 7));
    SetBkMode(c.dc(), TRANSPARENT);
    SetWindowOrgEx(c.dc(), 4, 4, nullptr);
    IntersectClipRect(c.dc(), 5, 5, 6, 6);
    EXPECT_EQ(SaveDC(c.dc()), 2);
    SetTextColor(c.dc(), RGB(5, 5, 5));
    EXPECT_TRUE(RestoreDC(c.dc(), -1));
    EXPECT_EQ(GetTextColor(c.dc()), RGB(7, 7, 7));
    EXPECT_FALSE(DeleteObject(pen)); // still selected
    EXPECT_TRUE(RestoreDC(c.dc(), level));
    EXPECT_EQ(GetTextColor(c.dc()), RGB(9, 9, 9));
    EXPECT_EQ(GetBkMode(c.dc()), OPAQUE);
    EXPECT_EQ(GetCurrentObject(c.dc(), OBJ_PEN), HGDIOBJ(oldPen));
    POINT org;
    GetWindowOrgEx(c.dc(), &org);
    EXPECT_EQ(org, (POINT{0, 0}));
    EXPECT_TRUE(PtVisible(c.dc(), 0, 0));
    EXPECT_FALSE(RestoreDC(c.dc(), 1)); // nothing saved any more
    EXPECT_TRUE(DeleteObject(pen));
}

TEST(DeviceContexts, SurfaceOriginAndVisibleRegionPlaceAChildWindow) {
    Canvas c(30, 20);
    Region visible(RECT{10, 5, 20, 15});
    HDC child = CreateSurfaceDC(c.surface(), POINT{10, 5}, &visible);
    RECT r{0, 0, 100, 100};
    FillRect(child, &r, HBRUSH{GetStockObject(BLACK_BRUSH)});
    EXPECT_EQ(c.px(10, 5), RGB(0, 0, 0));
    EXPECT_EQ(c.px(19, 14), RGB(0, 0, 0));
    EXPECT_EQ(c.px(20, 14), RGB(255, 255, 255));
    EXPECT_EQ(c.px(9, 5), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(child, 0, 0), RGB(0, 0, 0));
    RECT box;
    GetClipBox(child, &box);
    EXPECT_EQ(box, (RECT{0, 0, 10, 10}));
    // Viewport and window origins shift logical coordinates.
    SetViewportOrgEx(child, 2, 0, nullptr);
    SetWindowOrgEx(child, 0, 1, nullptr);
    POINT p{0, 0};
    LPtoDP(child, &p, 1);
    EXPECT_EQ(p, (POINT{2, -1}));
    SetPixel(child, 0, 2, RGB(255, 0, 0));
    EXPECT_EQ(c.px(12, 6), RGB(255, 0, 0));
    EXPECT_TRUE(DeleteDC(child));
}

TEST(DeviceContexts, ABitmapLivesInOneDcAtATime) {
    HBITMAP bm = CreateBitmap(2, 2, 1, 32, nullptr);
    HDC a = CreateCompatibleDC(HDC{}), b = CreateCompatibleDC(HDC{});
    HBITMAP oldA = SelectObject(a, bm);
    EXPECT_TRUE(oldA);
    EXPECT_FALSE(SelectObject(b, bm));
    EXPECT_FALSE(DeleteObject(bm));
    SelectObject(a, oldA);
    EXPECT_TRUE(SelectObject(b, bm));
    DeleteDC(b); // deleting the DC releases the bitmap
    EXPECT_TRUE(DeleteObject(bm));
    DeleteDC(a);
}

TEST(Leaks, ObjectsAreCountedUntilDeleted) {
    GdiObjectCounts before = GetGdiObjectCounts();
    HPEN p = CreatePen(PS_DOT, 1, 0);
    HBRUSH b = CreateHatchBrush(HS_CROSS, 0);
    HFONT f = CreateFont(-11, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, "Arial");
    HRGN r = CreateRectRgn(0, 0, 1, 1);
    HBITMAP bm = CreateBitmap(1, 1, 1, 1, nullptr);
    HDC dc = CreateCompatibleDC(HDC{});
    GdiObjectCounts during = GetGdiObjectCounts();
    EXPECT_EQ(during.pens, before.pens + 1);
    EXPECT_EQ(during.brushes, before.brushes + 1);
    EXPECT_EQ(during.fonts, before.fonts + 1);
    EXPECT_EQ(during.regions, before.regions + 1);
    EXPECT_EQ(during.bitmaps, before.bitmaps + 1);
    EXPECT_EQ(during.dcs, before.dcs + 1);
    // Stock objects are shared and never counted or deleted.
    HGDIOBJ stock = GetStockObject(BLACK_PEN);
    EXPECT_TRUE(DeleteObject(stock));
    EXPECT_EQ(GetStockObject(BLACK_PEN), stock);
    EXPECT_TRUE(GetSysColorBrush(COLOR_WINDOW));
    EXPECT_EQ(GetGdiObjectCounts(), during);
    for (HGDIOBJ o : {HGDIOBJ(p), HGDIOBJ(b), HGDIOBJ(f), HGDIOBJ(r), HGDIOBJ(bm)})
        EXPECT_TRUE(DeleteObject(o));
    EXPECT_FALSE(DeleteObject(p)); // already gone
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_EQ(GetGdiObjectCounts(), before);
}

TEST(SystemColours, TableChangesAndBrushesFollow) {
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
    EXPECT_EQ(GetSysColor(99), 0u);
    Canvas c(2, 1);
    int index = COLOR_WINDOW;
    COLORREF red = RGB(255, 0, 0);
    ASSERT_TRUE(SetSysColors(1, &index, &red));
    RECT r{0, 0, 1, 1};
    FillRect(c.dc(), &r, SysColorBrushValue(COLOR_WINDOW)); // a class background brush value
    EXPECT_EQ(c.px(0, 0), red);
    ResetSysColors();
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
}

namespace {

// Pixels of a small grid, the oracle for region arithmetic.
using Pixels = std::vector<bool>;
constexpr int kGrid = 24;

Pixels Paint(const std::vector<RECT>& rects) {
    Pixels p(kGrid * kGrid, false);
    for (const RECT& r : rects)
        for (int y = std::max(0, int(r.top)); y < std::min(kGrid, int(r.bottom)); ++y)
            for (int x = std::max(0, int(r.left)); x < std::min(kGrid, int(r.right)); ++x)
                p[y * kGrid + x] = true;
    return p;
}

// The rules of the canonical form: bands sorted and apart, intervals in a
// band sorted and not touching, no two touching bands alike.
::testing::AssertionResult Canonical(const Region& r) {
    const auto& v = r.rects();
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i].left >= v[i].right || v[i].top >= v[i].bottom)
            return ::testing::AssertionFailure() << "empty rectangle " << i;
        if (i == 0) continue;
        const RECT &a = v[i - 1], &b = v[i];
        if (a.top == b.top) {
            if (a.bottom != b.bottom)
                return ::testing::AssertionFailure() << "ragged band at " << i;
            if (a.right >= b.left)
                return ::testing::AssertionFailure() << "touching intervals at " << i;
        } else if (a.bottom > b.top) {
            return ::testing::AssertionFailure() << "overlapping bands at " << i;
        }
    }
    // Touching bands must differ in their intervals.
    size_t start = 0;
    std::vector<std::pair<LONG, LONG>> previous;
    LONG previousBottom = -1;
    while (start < v.size()) {
        size_t end = start;
        std::vector<std::pair<LONG, LONG>> band;
        while (end < v.size() && v[end].top == v[start].top)
            band.push_back({v[end].left, v[end].right}), ++end;
        if (v[start].top == previousBottom && band == previous)
            return ::testing::AssertionFailure() << "alike touching bands at " << start;
        previous = band;
        previousBottom = v[start].bottom;
        start = end;
    }
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(Regions, CombinationsAgreeWithPixelsAndStayCanonical) {
    uint32_t seed = 12345;
    auto next = [&](int n) {
        seed = seed * 1664525u + 1013904223u;
        return int((seed >> 8) % uint32_t(n));
    };
    auto randomRects = [&] {
        std::vector<RECT> rects(size_t(1 + next(6)));
        for (RECT& r : rects) {
            const int x = next(kGrid), y = next(kGrid);
            r = {x - 2, y - 2, x + 1 + next(10),
                 y + 1 + next(10)}; // may leave the grid: clipped alike
        }
        return rects;
    };
    auto build = [](const std::vector<RECT>& rects) {
        Region r;
        for (const RECT& one : rects)
            r = r.united(Region(one));
        return r;
    };
    for (int round = 0; round < 400; ++round) {
        const auto ra = randomRects(), rb = randomRects();
        const Region a = build(ra), b = build(rb);
        ASSERT_TRUE(Canonical(a));
        const Pixels pa = Paint(ra), pb = Paint(rb);
        const Pixels got[] = {Paint(a.intersected(b).rects()), Paint(a.united(b).rects()),
                              Paint(a.subtracted(b).rects()), Paint(a.xored(b).rects())};
        for (const Region& r : {a.intersected(b), a.united(b), a.subtracted(b), a.xored(b)})
            ASSERT_TRUE(Canonical(r)) << "round " << round;
        for (int i = 0; i < kGrid * kGrid; ++i) {
            ASSERT_EQ(got[0][i], pa[i] && pb[i]) << "and, round " << round << " pixel " << i;
            ASSERT_EQ(got[1][i], pa[i] || pb[i]) << "or, round " << round << " pixel " << i;
            ASSERT_EQ(got[2][i], pa[i] && !pb[i]) << "diff, round " << round << " pixel " << i;
            ASSERT_EQ(got[3][i], pa[i] != pb[i]) << "xor, round " << round << " pixel " << i;
        }
        // Cutting to one rectangle, either way round.
        const RECT cut = ra.front();
        const Pixels pc = Paint({cut});
        for (const Region& r : {a.intersected(Region(cut)), Region(cut).intersected(b)}) {
            ASSERT_TRUE(Canonical(r)) << "round " << round;
        }
        const Pixels ca = Paint(a.intersected(Region(cut)).rects()),
                     cb = Paint(Region(cut).intersected(b).rects());
        for (int i = 0; i < kGrid * kGrid; ++i) {
            ASSERT_EQ(ca[i], pa[i] && pc[i]) << "cut a, round " << round << " pixel " << i;
            ASSERT_EQ(cb[i], pb[i] && pc[i]) << "cut b, round " << round << " pixel " << i;
        }
        // The same area, built the other way round, is the same list.
        std::vector<RECT> reversed(ra.rbegin(), ra.rend());
        EXPECT_EQ(build(reversed), a) << "round " << round;
    }
}

TEST(Regions, FromRectanglesTakesCanonicalListsAndNormalisesOthers) {
    // Already canonical: two bands, the second one narrower.
    const std::vector<RECT> banded{{0, 0, 4, 2}, {6, 0, 9, 2}, {0, 2, 9, 5}};
    EXPECT_EQ(Region::fromRects(banded).rects(), banded);
    // Overlapping, unsorted and touching pieces of the same area.
    const Region messy =
        Region::fromRects({{0, 2, 9, 5}, {6, 0, 9, 2}, {0, 0, 2, 2}, {2, 0, 4, 2}, {3, 3, 5, 4}});
    EXPECT_EQ(messy.rects(), banded);
    // Two touching bands alike are one.
    EXPECT_EQ(Region::fromRects({{0, 0, 4, 2}, {0, 2, 4, 5}}).rects(),
              (std::vector<RECT>{{0, 0, 4, 5}}));
    EXPECT_TRUE(Region::fromRects({}).empty());
}
