#include "test_canvas.h"

#include <gtest/gtest.h>
#include <random>

using namespace ax;
using namespace ax::test;

namespace {

std::uint32_t readPixel(HBITMAP bm, int x, int y) {
    int w = 0, h = 0;
    std::vector<std::uint32_t> px;
    EXPECT_TRUE(GetBitmapPixels(bm, &w, &h, &px));
    return px[size_t(y) * size_t(w) + size_t(x)] & 0xFFFFFF;
}

// The truth table of a code, one bit at a time: bit (p * 4 + s * 2 + d) of
// the code's index byte.
std::uint32_t expected(unsigned index, std::uint32_t p, std::uint32_t s, std::uint32_t d) {
    std::uint32_t r = 0;
    for (int bit = 0; bit < 24; ++bit) {
        unsigned pb = (p >> bit) & 1, sb = (s >> bit) & 1, db = (d >> bit) & 1;
        r |= std::uint32_t((index >> (pb * 4 + sb * 2 + db)) & 1) << bit;
    }
    return r;
}

} // namespace

TEST(RasterOps, AllCodesMatchTheirTruthTablesOnEveryBit) {
    constexpr int W = 16, H = 8;
    std::mt19937 rng(7);
    std::vector<std::uint32_t> src(W * H), dst(W * H), pat(64);
    for (auto& v : src)
        v = 0xFF000000 | (rng() & 0xFFFFFF);
    for (auto& v : dst)
        v = 0xFF000000 | (rng() & 0xFFFFFF);
    for (auto& v : pat)
        v = 0xFF000000 | (rng() & 0xFFFFFF);
    HBITMAP srcBm = CreateBitmapFromPixels(W, H, src.data(), false);
    HBITMAP patBm = CreateBitmapFromPixels(8, 8, pat.data(), false);
    HBRUSH brush = CreatePatternBrush(patBm);
    HDC srcDc = CreateCompatibleDC(HDC{});
    HBITMAP oldSrc = SelectObject(srcDc, srcBm);
    for (unsigned index = 0; index < 256; ++index) {
        HBITMAP dstBm = CreateBitmapFromPixels(W, H, dst.data(), false);
        HDC dc = CreateCompatibleDC(HDC{});
        HBITMAP old = SelectObject(dc, dstBm);
        HBRUSH oldBrush = SelectObject(dc, brush);
        ASSERT_TRUE(BitBlt(dc, 0, 0, W, H, srcDc, 0, 0, DWORD(index) << 16));
        SelectObject(dc, oldBrush);
        SelectObject(dc, old);
        DeleteDC(dc);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                std::uint32_t p = pat[size_t((y % 8) * 8 + (x % 8))] & 0xFFFFFF;
                std::uint32_t want = expected(index, p, src[size_t(y * W + x)] & 0xFFFFFF,
                                              dst[size_t(y * W + x)] & 0xFFFFFF);
                ASSERT_EQ(readPixel(dstBm, x, y), want)
                    << "code " << index << " at " << x << "," << y;
            }
        DeleteObject(dstBm);
    }
    SelectObject(srcDc, oldSrc);
    DeleteDC(srcDc);
    DeleteObject(brush);
    DeleteObject(patBm);
    DeleteObject(srcBm);
}

TEST(RasterOps, NamedCodesCarryTheirBooleanFunctions) {
    // Evaluated on the canonical columns P = 0xF0, S = 0xCC, D = 0xAA.
    const unsigned P = 0xF0, S = 0xCC, D = 0xAA;
    EXPECT_EQ((SRCCOPY >> 16) & 0xFF, S);
    EXPECT_EQ((SRCPAINT >> 16) & 0xFF, S | D);
    EXPECT_EQ((SRCAND >> 16) & 0xFF, S & D);
    EXPECT_EQ((SRCINVERT >> 16) & 0xFF, S ^ D);
    EXPECT_EQ((SRCERASE >> 16) & 0xFF, (S & ~D) & 0xFF);
    EXPECT_EQ((NOTSRCCOPY >> 16) & 0xFF, ~S & 0xFF);
    EXPECT_EQ((NOTSRCERASE >> 16) & 0xFF, ~(S | D) & 0xFF);
    EXPECT_EQ((MERGECOPY >> 16) & 0xFF, P & S);
    EXPECT_EQ((MERGEPAINT >> 16) & 0xFF, (~S | D) & 0xFF);
    EXPECT_EQ((PATCOPY >> 16) & 0xFF, P);
    EXPECT_EQ((PATPAINT >> 16) & 0xFF, (P | ~S | D) & 0xFF);
    EXPECT_EQ((PATINVERT >> 16) & 0xFF, P ^ D);
    EXPECT_EQ((DSTINVERT >> 16) & 0xFF, ~D & 0xFF);
    EXPECT_EQ((BLACKNESS >> 16) & 0xFF, 0u);
    EXPECT_EQ((WHITENESS >> 16) & 0xFF, 0xFFu);
}

TEST(RasterOps, PatBltRefusesCodesThatNeedASource) {
    Canvas c(4, 4);
    EXPECT_FALSE(PatBlt(c.dc(), 0, 0, 4, 4, SRCCOPY));
    EXPECT_TRUE(PatBlt(c.dc(), 0, 0, 4, 4, BLACKNESS));
    EXPECT_EQ(c.px(3, 3), RGB(0, 0, 0));
    EXPECT_TRUE(PatBlt(c.dc(), 1, 1, 2, 2, DSTINVERT));
    EXPECT_EQ(c.px(1, 1), RGB(255, 255, 255));
    EXPECT_EQ(c.px(0, 0), RGB(0, 0, 0));
    // A negative width reaches left of x.
    EXPECT_TRUE(PatBlt(c.dc(), 4, 0, -1, 1, WHITENESS));
    EXPECT_EQ(c.px(3, 0), RGB(255, 255, 255));
    EXPECT_EQ(c.px(2, 0), RGB(0, 0, 0));
}

TEST(Monochrome, ColourToMonoTurnsTheSourceBackgroundWhite) {
    MemoryImage colour(3, 1);
    SetPixel(colour.dc(), 0, 0, RGB(10, 20, 30));
    SetPixel(colour.dc(), 1, 0, RGB(255, 255, 255));
    SetPixel(colour.dc(), 2, 0, RGB(0, 0, 0));
    SetBkColor(colour.dc(), RGB(10, 20, 30));
    MemoryImage mono(3, 1, true);
    ASSERT_TRUE(BitBlt(mono.dc(), 0, 0, 3, 1, colour.dc(), 0, 0, SRCCOPY));
    // Only the pixel equal to the background colour becomes 1, even white.
    EXPECT_EQ(readPixel(mono.bitmap(), 0, 0), 0xFFFFFFu);
    EXPECT_EQ(readPixel(mono.bitmap(), 1, 0), 0u);
    EXPECT_EQ(readPixel(mono.bitmap(), 2, 0), 0u);
}

TEST(Monochrome, MonoToColourUsesTheDestinationTextAndBackground) {
    const BYTE bits[4] = {0x40, 0, 0, 0}; // 0 1 0 0 ...
    HBITMAP m = CreateBitmap(2, 1, 1, 1, bits);
    HDC mdc = CreateCompatibleDC(HDC{});
    HBITMAP old = SelectObject(mdc, m);
    Canvas c(2, 1);
    SetTextColor(c.dc(), RGB(200, 0, 0));
    SetBkColor(c.dc(), RGB(0, 150, 0));
    ASSERT_TRUE(BitBlt(c.dc(), 0, 0, 2, 1, mdc, 0, 0, SRCCOPY));
    EXPECT_EQ(c.px(0, 0), RGB(200, 0, 0));
    EXPECT_EQ(c.px(1, 0), RGB(0, 150, 0));
    SelectObject(mdc, old);
    DeleteDC(mdc);
    DeleteObject(m);
}

TEST(Monochrome, ColoursDrawnIntoAMonoBitmapBecomeBlackOrWhite) {
    MemoryImage mono(4, 1, true);
    EXPECT_EQ(GetDeviceCaps(mono.dc(), BITSPIXEL), 1);
    EXPECT_EQ(SetPixel(mono.dc(), 0, 0, RGB(250, 240, 230)), RGB(255, 255, 255));
    EXPECT_EQ(SetPixel(mono.dc(), 1, 0, RGB(20, 30, 40)), RGB(0, 0, 0));
    HBRUSH b = CreateSolidBrush(RGB(200, 200, 200));
    RECT r{2, 0, 4, 1};
    FillRect(mono.dc(), &r, b);
    DeleteObject(b);
    EXPECT_EQ(readPixel(mono.bitmap(), 2, 0), 0xFFFFFFu);
    EXPECT_EQ(CreateCompatibleBitmap(mono.dc(), 0, 0).value, 0u);
    HBITMAP compatible = CreateCompatibleBitmap(mono.dc(), 2, 2);
    BITMAP info;
    ASSERT_EQ(GetObject(compatible, sizeof info, &info), int(sizeof info));
    EXPECT_EQ(info.bmBitsPixel, 1);
    DeleteObject(compatible);
}

TEST(Blits, TransparentBltLeavesTheKeyColourOutAndStretches) {
    MemoryImage src(2, 1);
    SetPixel(src.dc(), 0, 0, RGB(255, 0, 255));
    SetPixel(src.dc(), 1, 0, RGB(0, 0, 255));
    Canvas c(4, 2, RGB(0, 255, 0));
    ASSERT_TRUE(TransparentBlt(c.dc(), 0, 0, 4, 2, src.dc(), 0, 0, 2, 1, RGB(255, 0, 255)));
    for (int y = 0; y < 2; ++y) {
        EXPECT_EQ(c.px(0, y), RGB(0, 255, 0));
        EXPECT_EQ(c.px(1, y), RGB(0, 255, 0));
        EXPECT_EQ(c.px(2, y), RGB(0, 0, 255));
        EXPECT_EQ(c.px(3, y), RGB(0, 0, 255));
    }
}

TEST(Blits, StretchBltMirrorsOnANegativeWidth) {
    MemoryImage src(3, 1);
    SetPixel(src.dc(), 0, 0, RGB(1, 0, 0));
    SetPixel(src.dc(), 1, 0, RGB(2, 0, 0));
    SetPixel(src.dc(), 2, 0, RGB(3, 0, 0));
    Canvas c(3, 1);
    ASSERT_TRUE(StretchBlt(c.dc(), 3, 0, -3, 1, src.dc(), 0, 0, 3, 1, SRCCOPY));
    EXPECT_EQ(c.px(0, 0), RGB(3, 0, 0));
    EXPECT_EQ(c.px(2, 0), RGB(1, 0, 0));
}

TEST(Blits, OverlappingCopyWithinOneSurfaceReadsTheOldPixels) {
    Canvas c(5, 1);
    for (int x = 0; x < 5; ++x)
        c.set(x, 0, RGB(BYTE(x + 1), 0, 0));
    ASSERT_TRUE(BitBlt(c.dc(), 1, 0, 4, 1, c.dc(), 0, 0, SRCCOPY));
    EXPECT_EQ(c.px(0, 0), RGB(1, 0, 0));
    EXPECT_EQ(c.px(1, 0), RGB(1, 0, 0));
    EXPECT_EQ(c.px(4, 0), RGB(4, 0, 0));
}

TEST(Blits, MaskBltChoosesTheRopByTheMaskBit) {
    MemoryImage src(2, 1);
    SetPixel(src.dc(), 0, 0, RGB(9, 9, 9));
    SetPixel(src.dc(), 1, 0, RGB(9, 9, 9));
    const BYTE bits[2] = {0x80, 0}; // 1 0
    HBITMAP mask = CreateBitmap(2, 1, 1, 1, bits);
    Canvas c(2, 1, RGB(50, 50, 50));
    // Where the mask is 1: copy the source; where 0: keep the destination.
    ASSERT_TRUE(
        MaskBlt(c.dc(), 0, 0, 2, 1, src.dc(), 0, 0, mask, 0, 0, MAKEROP4(SRCCOPY, 0x00AA0029)));
    EXPECT_EQ(c.px(0, 0), RGB(9, 9, 9));
    EXPECT_EQ(c.px(1, 0), RGB(50, 50, 50));
    DeleteObject(mask);
}

TEST(Blits, AlphaBlendWeighsBySourceAlpha) {
    const std::uint32_t half = 0x80FF0000; // red at alpha 128
    HBITMAP bm = CreateBitmapFromPixels(1, 1, &half, true);
    HDC mdc = CreateCompatibleDC(HDC{});
    HBITMAP old = SelectObject(mdc, bm);
    Canvas c(1, 1, RGB(0, 0, 255));
    ASSERT_TRUE(AlphaBlend(c.dc(), 0, 0, 1, 1, mdc, 0, 0, 1, 1, 255, true));
    COLORREF got = c.px(0, 0);
    EXPECT_NEAR(GetRValue(got), 128, 2);
    EXPECT_NEAR(GetBValue(got), 127, 2);
    SelectObject(mdc, old);
    DeleteDC(mdc);
    DeleteObject(bm);
}
