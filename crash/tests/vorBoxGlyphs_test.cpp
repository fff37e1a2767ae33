// The box's glyphs and big icon: the resources the reporter carries, and how
// a glyph is laid over the button face.
#include "crash/vorBoxGlyphs.h"

#include "platform/gdi/image.h"
#include "platform/gdi/uniqueicon.h"

#include <gtest/gtest.h>

namespace ax {
namespace {

// A glyph of white pixels with no alpha but two: the first row's first
// pixel opaque 0x112233, its second black at alpha 0x60.
std::string HandGlyph(bool topDown) {
    std::string data(kGlyphBytes, '\0');
    const char header[] = {40, 0, 0, 0, 16, 0, 0, 0, 16, 0, 0, 0, 1, 0, 32, 0};
    data.replace(0, sizeof header, header, sizeof header);
    if (topDown) data.replace(8, 4, "\xf0\xff\xff\xff", 4); // height -16
    for (std::size_t i = 40; i < data.size(); i += 4) data.replace(i, 4, "\xff\xff\xff\x00", 4);
    const std::size_t firstRow = topDown ? 40 : 40 + 15 * 16 * 4;
    data.replace(firstRow, 8, "\x33\x22\x11\xff\x00\x00\x00\x60", 8);
    return data;
}

TEST(BoxGlyphs, BlendsEachPixelOverTheFaceByItsAlpha) {
    for (bool topDown : {false, true}) {
        const auto pixels = BlendGlyph(HandGlyph(topDown), RGB(0xC0, 0xC0, 0xC0));
        ASSERT_EQ(pixels.size(), 256u);
        EXPECT_EQ(pixels[0], 0xFF112233u) << "opaque keeps its colour";
        EXPECT_EQ(pixels[1], 0xFF777777u) << "alpha 0x60 black: 192 * 159 / 256";
        EXPECT_EQ(pixels[16], 0xFFC0C0C0u) << "no alpha shows the face";
        EXPECT_EQ(pixels[255], 0xFFC0C0C0u);
    }
}

TEST(BoxGlyphs, AnythingButAnExactGlyphIsNotDrawn) {
    const std::string good = HandGlyph(false);
    EXPECT_TRUE(BlendGlyph(good.substr(0, kGlyphBytes - 1), 0).empty());
    EXPECT_TRUE(BlendGlyph(good + '\0', 0).empty());
    EXPECT_TRUE(BlendGlyph("", 0).empty());
    std::string eightBit = good;
    eightBit[14] = 8;
    EXPECT_TRUE(BlendGlyph(eightBit, 0).empty());
    std::string wide = good;
    wide[4] = 32;
    EXPECT_TRUE(BlendGlyph(wide, 0).empty());
}

TEST(BoxGlyphs, TheReporterCarriesEveryGlyphAndItsIcon) {
    for (const char* name : {"tupmail", "tupsave", "tupprint", "tupshow", "tupcontinue", "tuprestart", "tupclose",
                             "TUPCANTCONTINUE"}) {
        const auto data = BoxResource("bitmap", name);
        ASSERT_TRUE(data) << name;
        EXPECT_EQ(BlendGlyph(*data, 0).size(), 256u) << name;
    }
    // The mail glyph's envelope edge is its third row from the top.
    const auto mail = BlendGlyph(*BoxResource("BITMAP", "tupmail"), RGB(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(mail[2 * 16], 0xFF303030u);
    EXPECT_EQ(mail[0], 0xFFBFBFBFu) << "a clear black pixel: 192 * 255 / 256";

    const auto file = BoxResource("ICON", "tupbigicon");
    ASSERT_TRUE(file);
    const UniqueIcon icon(LoadIconFromIco(*file, 32, 32));
    ASSERT_TRUE(icon);
    int w = 0, h = 0;
    std::vector<std::uint32_t> argb;
    ASSERT_TRUE(GetIconPixels(icon.Get(), &w, &h, &argb));
    ASSERT_EQ(w, 32);
    ASSERT_EQ(h, 32);
    EXPECT_EQ(argb[15 * 32 + 15], 0xFFFFFFFFu) << "the cross's middle";
    EXPECT_EQ(argb[4 * 32 + 15], 0xFFD83030u) << "the disc above it";
    EXPECT_EQ(argb[0] >> 24, 0u) << "the corner is clear";
}

} // namespace
} // namespace ax
