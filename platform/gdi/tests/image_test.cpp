// Readers of image files, fed with small files built by hand here.
#include "test_canvas.h"

#include <gtest/gtest.h>
#include <random>

using namespace ax;
using namespace ax::test;

namespace {

struct Bytes {
    std::string s;
    Bytes& u8(unsigned v) {
        s.push_back(char(v & 0xFF));
        return *this;
    }
    Bytes& u16(unsigned v) { return u8(v).u8(v >> 8); }
    Bytes& u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Bytes& be32(std::uint32_t v) { return u8(v >> 24).u8(v >> 16).u8(v >> 8).u8(v); }
    Bytes& raw(std::string_view d) {
        s.append(d);
        return *this;
    }
};

// BITMAPINFOHEADER for an uncompressed image.
std::string infoHeader(int w, int h, int bpp, unsigned colours = 0) {
    Bytes b;
    b.u32(40).u32(std::uint32_t(w)).u32(std::uint32_t(h)).u16(1).u16(unsigned(bpp)).u32(0).u32(0);
    b.u32(2835).u32(2835).u32(colours).u32(0);
    return b.s;
}

std::string bmpFile(const std::string& dib, std::uint32_t bitsOffset) {
    Bytes b;
    b.raw("BM").u32(std::uint32_t(14 + dib.size())).u32(0).u32(bitsOffset);
    return b.s + dib;
}

std::vector<std::uint32_t> pixels(HBITMAP bm, int* w = nullptr, int* h = nullptr) {
    std::vector<std::uint32_t> px;
    EXPECT_TRUE(GetBitmapPixels(bm, w, h, &px));
    return px;
}

std::uint32_t crc32(std::string_view d) {
    std::uint32_t c = 0xFFFFFFFF;
    for (unsigned char ch : d) {
        c ^= ch;
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

std::string pngChunk(const char* type, const std::string& data) {
    Bytes b;
    b.be32(std::uint32_t(data.size()));
    std::string body = std::string(type, 4) + data;
    b.raw(body).be32(crc32(body));
    return b.s;
}

// A 2 x 1 RGBA PNG, its image data in one stored (uncompressed) deflate block.
std::string pngFile() {
    Bytes ihdr;
    ihdr.be32(2).be32(1).u8(8).u8(6).u8(0).u8(0).u8(0);
    std::string scan("\0\xff\x00\x00\xff\x00\x00\xff\x00",
                     9); // filter 0, red opaque, blue transparent
    Bytes z;
    z.u8(0x78)
        .u8(0x01)
        .u8(0x01)
        .u16(unsigned(scan.size()))
        .u16(~unsigned(scan.size()) & 0xFFFF)
        .raw(scan);
    std::uint32_t a = 1, b = 0;
    for (unsigned char ch : scan) {
        a = (a + ch) % 65521;
        b = (b + a) % 65521;
    }
    z.be32((b << 16) | a);
    return std::string("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", ihdr.s) + pngChunk("IDAT", z.s) +
           pngChunk("IEND", "");
}

// An .ico (or .cur) with one 2 x 2 image of the given depth and its AND mask.
std::string icoFile(int bpp, const std::string& xorBits, const std::string& andBits,
                    bool cursor = false) {
    std::string dib = infoHeader(2, 4, bpp) + xorBits + andBits;
    Bytes b;
    b.u16(0).u16(cursor ? 2 : 1).u16(1);
    b.u8(2).u8(2).u8(0).u8(0).u16(cursor ? 1 : 1).u16(cursor ? 0 : unsigned(bpp));
    b.u32(std::uint32_t(dib.size())).u32(22);
    return b.s + dib;
}

} // namespace

TEST(Bmp, TwentyFourBitBottomUpRows) {
    // Rows are stored bottom first, each padded to 4 bytes (2 pixels = 6 + 2).
    std::string rows("\x00\x00\xff"
                     "\x00\xff\x00"
                     "\0\0"
                     "\xff\x00\x00"
                     "\xff\xff\xff"
                     "\0\0",
                     16);
    HBITMAP bm = LoadBitmapFromBmp(bmpFile(infoHeader(2, 2, 24) + rows, 54));
    ASSERT_TRUE(bm);
    int w, h;
    auto px = pixels(bm, &w, &h);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 2);
    EXPECT_EQ(px[0], 0xFF0000FFu); // top row = last stored: blue, white
    EXPECT_EQ(px[1], 0xFFFFFFFFu);
    EXPECT_EQ(px[2], 0xFFFF0000u); // red, green
    EXPECT_EQ(px[3], 0xFF00FF00u);
    EXPECT_FALSE(BitmapHasAlpha(bm));
    DeleteObject(bm);
}

TEST(Bmp, OneBitBlackAndWhiteBecomesAMonochromeBitmap) {
    Bytes pal;
    pal.u32(0x00FFFFFF).u32(0);        // index 0 white, 1 black
    std::string rows("\x40\0\0\0", 4); // one row: pixel 0 index 0, pixel 1 index 1
    HBITMAP bm = LoadBitmapFromBmp(bmpFile(infoHeader(2, 1, 1, 2) + pal.s + rows, 14 + 40 + 8));
    ASSERT_TRUE(bm);
    BITMAP info;
    GetObject(bm, sizeof info, &info);
    EXPECT_EQ(info.bmBitsPixel, 1);
    auto px = pixels(bm);
    EXPECT_EQ(px[0], 0xFFFFFFFFu);
    EXPECT_EQ(px[1], 0xFF000000u);
    DeleteObject(bm);
}

TEST(Bmp, EightBitPaletteAndTopDown) {
    Bytes pal;
    pal.u32(0x00112233).u32(0x00445566);
    std::string rows("\x01\x00\0\0", 4);
    std::string dib = infoHeader(2, -1, 8, 2) + pal.s + rows;
    HBITMAP bm = LoadBitmapFromBmp(bmpFile(dib, 14 + 40 + 8));
    ASSERT_TRUE(bm);
    auto px = pixels(bm);
    EXPECT_EQ(px[0], 0xFF445566u);
    EXPECT_EQ(px[1], 0xFF112233u);
    DeleteObject(bm);
}

TEST(Bmp, MalformedFilesGiveNothing) {
    std::string rows(16, '\0');
    std::string good = bmpFile(infoHeader(2, 2, 24) + rows, 54);
    GdiObjectCounts before = GetGdiObjectCounts();
    for (size_t cut = 0; cut < good.size(); ++cut)
        EXPECT_FALSE(LoadBitmapFromBmp(good.substr(0, cut))) << cut;
    EXPECT_FALSE(LoadBitmapFromBmp(bmpFile(infoHeader(0, 2, 24) + rows, 54)));
    EXPECT_FALSE(LoadBitmapFromBmp(bmpFile(infoHeader(100000, 100000, 24) + rows, 54)));
    EXPECT_FALSE(LoadBitmapFromBmp(bmpFile(infoHeader(2, 2, 7) + rows, 54)));
    EXPECT_FALSE(LoadBitmapFromBmp(bmpFile(infoHeader(2, 2, 24) + rows, 0xFFFFFFF0u)));
    std::string negMax = infoHeader(2, 2, 24);
    negMax[8] = '\0';
    negMax[9] = '\0';
    negMax[10] = '\0';
    negMax[11] = '\x80'; // height INT32_MIN
    EXPECT_FALSE(LoadBitmapFromBmp(bmpFile(negMax + rows, 54)));
    // A palette index beyond the palette.
    Bytes pal;
    pal.u32(0).u32(0xFFFFFF);
    EXPECT_FALSE(LoadBitmapFromBmp(
        bmpFile(infoHeader(1, 1, 8, 2) + pal.s + std::string("\x05\0\0\0", 4), 62)));
    // Run-length compression is refused.
    std::string rle = infoHeader(2, 2, 8);
    rle[16] = 1;
    EXPECT_FALSE(LoadBitmapFromBmp(bmpFile(rle + std::string(1024 + 16, '\0'), 54 + 1024)));
    std::mt19937 rng(11);
    for (int i = 0; i < 500; ++i) {
        std::string noisy = good;
        for (int k = 0; k < 4; ++k)
            noisy[rng() % noisy.size()] = char(rng());
        HBITMAP bm = LoadBitmapFromBmp(noisy);
        if (bm) DeleteObject(bm);
    }
    EXPECT_EQ(GetGdiObjectCounts(), before);
}

TEST(Png, ReadsRgbaAndRefusesDamage) {
    std::string png = pngFile();
    HBITMAP bm = LoadBitmapFromPng(png);
    ASSERT_TRUE(bm);
    EXPECT_TRUE(BitmapHasAlpha(bm));
    auto px = pixels(bm);
    EXPECT_EQ(px[0], 0xFFFF0000u);
    EXPECT_EQ(px[1] >> 24, 0u);
    DeleteObject(bm);
    for (size_t cut = 0; cut < png.size(); cut += 3)
        EXPECT_FALSE(LoadBitmapFromPng(png.substr(0, cut))) << cut;
    std::string badCrc = png;
    badCrc[8 + 8 + 13] ^= 1;
    EXPECT_FALSE(LoadBitmapFromPng(badCrc));
    EXPECT_FALSE(LoadBitmapFromPng("not a png at all"));
    // A header claiming a huge image is refused before anything is allocated.
    Bytes ihdr;
    ihdr.be32(20000).be32(20000).u8(8).u8(6).u8(0).u8(0).u8(0);
    std::string huge = png.substr(0, 8) + pngChunk("IHDR", ihdr.s) + png.substr(8 + 25);
    EXPECT_FALSE(LoadBitmapFromPng(huge));
}

TEST(Ico, TwentyFourBitIconDrawsThroughItsMask) {
    // XOR image rows bottom-up, padded: bottom (red, green), top (blue, white).
    std::string xorBits("\x00\x00\xff\x00\xff\x00\0\0"
                        "\xff\x00\x00\xff\xff\xff\0\0",
                        16);
    // AND mask rows bottom-up, 4 bytes each: bottom row 00, top row: second pixel masked (0x40).
    std::string andBits("\x00\0\0\0"
                        "\x40\0\0\0",
                        8);
    HICON icon = LoadIconFromIco(icoFile(24, xorBits, andBits), 0, 0);
    ASSERT_TRUE(icon);
    EXPECT_EQ(GetIconSize(icon), (SIZE{2, 2}));
    Canvas c(2, 2, RGB(0, 0, 0));
    ASSERT_TRUE(DrawIcon(c.dc(), 0, 0, icon));
    EXPECT_EQ(c.px(0, 0), RGB(0, 0, 255));
    // Masked and white: the destination is kept and then inverted (XOR).
    EXPECT_EQ(c.px(1, 0), RGB(255, 255, 255));
    EXPECT_EQ(c.px(0, 1), RGB(255, 0, 0));
    ICONINFO info;
    ASSERT_TRUE(GetIconInfo(icon, &info));
    EXPECT_TRUE(info.fIcon);
    HICON copy = CreateIconIndirect(&info);
    ASSERT_TRUE(copy);
    DeleteObject(info.hbmMask);
    DeleteObject(info.hbmColor);
    Canvas d(2, 2, RGB(0, 0, 0));
    DrawIcon(d.dc(), 0, 0, copy);
    EXPECT_TRUE(d.snapshot() == c.snapshot());
    EXPECT_TRUE(DestroyIcon(copy));
    EXPECT_TRUE(DestroyIcon(icon));
}

TEST(Ico, ThirtyTwoBitAlphaCursorKeepsItsHotSpot) {
    std::string xorBits("\x00\x00\xff\xff"
                        "\x00\x00\xff\x00"
                        "\xff\x00\x00\x80"
                        "\x00\xff\x00\xff",
                        16);
    std::string andBits(8, '\0');
    std::string cur = icoFile(32, xorBits, andBits, true);
    cur[10] = 1; // hot spot x
    cur[12] = 0; // hot spot y
    HCURSOR c = LoadIconFromIco(cur, 0, 0);
    ASSERT_TRUE(c);
    ICONINFO info;
    ASSERT_TRUE(GetIconInfo(c, &info));
    EXPECT_FALSE(info.fIcon);
    EXPECT_EQ(info.xHotspot, 1u);
    EXPECT_TRUE(BitmapHasAlpha(info.hbmColor));
    DeleteObject(info.hbmMask);
    DeleteObject(info.hbmColor);
    int w, h;
    std::vector<std::uint32_t> px;
    ASSERT_TRUE(GetIconPixels(c, &w, &h, &px));
    EXPECT_EQ(px[0] >> 24, 0x80u); // top-left: the last stored row
    EXPECT_EQ(px[2], 0xFFFF0000u);
    EXPECT_EQ(px[3] >> 24, 0u);
    DestroyCursor(c);
}

TEST(Ico, EmbeddedPngAndDamagedDirectories) {
    std::string png = pngFile();
    Bytes b;
    b.u16(0)
        .u16(1)
        .u16(1)
        .u8(2)
        .u8(1)
        .u8(0)
        .u8(0)
        .u16(1)
        .u16(32)
        .u32(std::uint32_t(png.size()))
        .u32(22);
    HICON icon = LoadIconFromIco(b.s + png, 0, 0);
    ASSERT_TRUE(icon);
    EXPECT_EQ(GetIconSize(icon), (SIZE{2, 1}));
    DestroyIcon(icon);
    std::string good = icoFile(24, std::string(16, '\0'), std::string(8, '\0'));
    GdiObjectCounts before = GetGdiObjectCounts();
    for (size_t cut = 0; cut < good.size(); ++cut)
        EXPECT_FALSE(LoadIconFromIco(good.substr(0, cut), 0, 0)) << cut;
    std::string badOffset = good;
    badOffset[18] = '\x7f';
    EXPECT_FALSE(LoadIconFromIco(badOffset, 0, 0));
    std::string manyEntries = good;
    manyEntries[4] = '\xff';
    EXPECT_FALSE(LoadIconFromIco(manyEntries, 0, 0));
    std::mt19937 rng(5);
    for (int i = 0; i < 500; ++i) {
        std::string noisy = good;
        for (int k = 0; k < 3; ++k)
            noisy[rng() % noisy.size()] = char(rng());
        HICON h = LoadIconFromIco(noisy, 16, 16);
        if (h) DestroyIcon(h);
    }
    EXPECT_EQ(GetGdiObjectCounts(), before);
}

TEST(StockImages, SharedAndNeverDestroyed) {
    HICON hand = LoadIcon(0, IDI_HAND);
    ASSERT_TRUE(hand);
    EXPECT_EQ(LoadIcon(0, IDI_ERROR), hand);
    EXPECT_TRUE(DestroyIcon(hand));
    EXPECT_EQ(GetIconSize(LoadIcon(0, IDI_HAND)), (SIZE{32, 32}));
    for (unsigned id : {IDI_QUESTION, IDI_EXCLAMATION, IDI_ASTERISK, IDI_APPLICATION, IDI_WINLOGO})
        EXPECT_TRUE(LoadIcon(0, id)) << id;
    for (unsigned id :
         {IDC_ARROW, IDC_IBEAM, IDC_WAIT, IDC_CROSS, IDC_UPARROW, IDC_SIZENWSE, IDC_SIZENESW,
          IDC_SIZEWE, IDC_SIZENS, IDC_SIZEALL, IDC_NO, IDC_HAND, IDC_APPSTARTING, IDC_HELP})
        EXPECT_TRUE(LoadCursor(0, id)) << id;
    EXPECT_FALSE(LoadIcon(0, 1234));
    EXPECT_FALSE(LoadCursor(0, 1234));
    ICONINFO info;
    ASSERT_TRUE(GetIconInfo(LoadCursor(0, IDC_IBEAM), &info));
    EXPECT_EQ(info.xHotspot, 16u);
    DeleteObject(info.hbmMask);
    DeleteObject(info.hbmColor);
}
