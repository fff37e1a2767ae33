// The exception box's glyphs and big icon, drawn here as letters (one a
// pixel) and turned into bitmap and icon resources at compile time, so the
// reporter carries its own pictures into every program that links it.
#include "crash/vorBoxGlyphs.h"

#include "platform/module.h"
#include "platform/resource.h"

#include <array>

namespace ax {

namespace {

using TGlyphArt = std::array<const char*, kGlyphSize>;

// 0xAARRGGBB of a letter of the pictures below.
constexpr std::uint32_t ArtColour(char c) {
    switch (c) {
    case '.': return 0;
    case 'o': return 0x60000000; // soft shadow
    case 'k': return 0xFF303030;
    case 'w': return 0xFFFFFFFF;
    case 'l': return 0xFFD0D0D0;
    case 's': return 0xFF909090;
    case 'y': return 0xFFF0D060;
    case 'b': return 0xFF2050C0;
    case 'g': return 0xFF20A020;
    case 'c': return 0xFFA0D0F0;
    case 'a': return 0xFFE08020;
    case 'r': return 0xFFD02020;
    case 'n': return 0xFFA00000;
    default: throw "a picture uses an unknown colour letter";
    }
}

constexpr TGlyphArt kMailArt{{
    "................",
    "................",
    "kkkkkkkkkkkkkkk.",
    "kwkyyyyyyyyykwko",
    "kyykyyyyyyykyyko",
    "kyyykyyyyykyyyko",
    "kyyyykyyykyyyyko",
    "kyyyyykkkyyyyyko",
    "kyyyyyyyyyyyyyko",
    "kyyyyyyyyyyyyyko",
    "kyyyyyyyyyyyyyko",
    "kyyyyyyyyyyyyyko",
    "kkkkkkkkkkkkkkko",
    ".ooooooooooooooo",
    "................",
    "................",}};
constexpr TGlyphArt kSaveArt{{
    ".kkkkkkkkkkkkk..",
    ".kbblllllllbbbk.",
    ".kbblllllllbbbko",
    ".kbbllllllkbbbko",
    ".kbblllllllbbbko",
    ".kbbbbbbbbbbbbko",
    ".kbbbbbbbbbbbbko",
    ".kbbwwwwwwwwbbko",
    ".kbbwkkkkkkwbbko",
    ".kbbwwwwwwwwbbko",
    ".kbbwkkkkkkwbbko",
    ".kbbwwwwwwwwbbko",
    ".kkkkkkkkkkkkkko",
    "..oooooooooooooo",
    "................",
    "................",}};
constexpr TGlyphArt kPrintArt{{
    "................",
    "....kkkkkkkk....",
    "....kwwwwwwk....",
    "....kwkkkkwk....",
    "....kwwwwwwk....",
    ".kkkkkkkkkkkkkk.",
    "kssssssssssssssk",
    "ksssssssssssggsk",
    "kssssssssssssssk",
    "kkkkkkkkkkkkkkkk",
    "ksskwwwwwwwwkssk",
    "..kwkkkkkkwk....",
    "..kwwwwwwwwk....",
    "..kkkkkkkkkk....",
    "................",
    "................",}};
constexpr TGlyphArt kShowArt{{
    "................",
    "....kkkkk.......",
    "...kcccwck......",
    "..kcccccwck.....",
    "..kccccccck.....",
    "..kccccccck.....",
    "..kccccccck.....",
    "...kccccck......",
    "....kkkkkkk.....",
    ".........kkk....",
    "..........kkk...",
    "...........kkk..",
    "............kkk.",
    ".............kk.",
    "................",
    "................",}};
constexpr TGlyphArt kContinueArt{{
    "................",
    "................",
    "........kk......",
    "........kgk.....",
    "........kggk....",
    ".kkkkkkkkgggk...",
    ".kgggggggggggk..",
    ".kggggggggggggk.",
    ".kgggggggggggk..",
    ".kkkkkkkkgggk...",
    "........kggk....",
    "........kgk.....",
    "........kk......",
    "................",
    "................",
    "................",}};
constexpr TGlyphArt kRestartArt{{
    "................",
    ".....aaaaa......",
    "...aaaaaaaaa....",
    "..aaa.....aaa...",
    ".aaa......aaaaaa",
    ".aa........aaaa.",
    ".aa.........aa..",
    ".aa.............",
    ".aa..........aa.",
    ".aa..........aa.",
    ".aaa........aaa.",
    "..aaa......aaa..",
    "...aaaaaaaaaa...",
    ".....aaaaaa.....",
    "................",
    "................",}};
constexpr TGlyphArt kCloseArt{{
    "................",
    "..rr........rr..",
    ".rrrr......rrrr.",
    "..rrrr....rrrr..",
    "...rrrr..rrrr...",
    "....rrrrrrrr....",
    ".....rrrrrr.....",
    "......rrrr......",
    ".....rrrrrr.....",
    "....rrrrrrrr....",
    "...rrrr..rrrr...",
    "..rrrr....rrrr..",
    ".rrrr......rrrr.",
    "..rr........rr..",
    "................",
    "................",}};
constexpr TGlyphArt kCantContinueArt{{
    "................",
    ".....nnnnnn.....",
    "...nnnnnnnnnn...",
    "..nnnnnnnnnnnn..",
    "..nnnnnnnnnnnn..",
    ".nnnnnnnnnnnnnn.",
    ".nnwwwwwwwwwwnn.",
    ".nnwwwwwwwwwwnn.",
    ".nnnnnnnnnnnnnn.",
    "..nnnnnnnnnnnn..",
    "..nnnnnnnnnnnn..",
    "...nnnnnnnnnn...",
    ".....nnnnnn.....",
    "................",
    "................",
    "................",}};

template <std::size_t N> struct TResourceBytes {
    char data[N + 1] = {}; // a string literal's shape: the zero is no part of it
};

constexpr void Put16(char* at, std::uint32_t value) {
    for (int i = 0; i < 2; ++i) at[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}
constexpr void Put32(char* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The header of a bottom-up 32-bit bitmap (an icon's image counts its mask
// in the height).
constexpr void PutBitmapHeader(char* at, int width, int height, std::uint32_t imageBytes) {
    Put32(at, 40);
    Put32(at + 4, static_cast<std::uint32_t>(width));
    Put32(at + 8, static_cast<std::uint32_t>(height));
    Put16(at + 12, 1);
    Put16(at + 14, 32);
    Put32(at + 20, imageBytes);
}

constexpr TResourceBytes<kGlyphBytes> GlyphBitmap(const TGlyphArt& art) {
    TResourceBytes<kGlyphBytes> out;
    PutBitmapHeader(out.data, kGlyphSize, kGlyphSize, kGlyphSize * kGlyphSize * 4);
    for (int y = 0; y < kGlyphSize; ++y) {
        const char* row = art[static_cast<std::size_t>(y)];
        for (int x = 0; x < kGlyphSize; ++x) {
            if (row[x] == 0) throw "a picture row is too short";
            Put32(out.data + 40 + ((kGlyphSize - 1 - y) * kGlyphSize + x) * 4, ArtColour(row[x]));
        }
        if (row[kGlyphSize] != 0) throw "a picture row is too long";
    }
    return out;
}

// A red disc with a white cross, drawn by distance from the centre (15.5,
// 15.5), counted in half pixels.
constexpr std::uint32_t BigIconPixel(int x, int y) {
    const int dx = 2 * x - 31, dy = 2 * y - 31, d = dx * dx + dy * dy;
    if (d > 30 * 30) return 0;
    if (d > 27 * 27) return 0xFF801010;
    const int a = dx - dy, b = dx + dy;
    if (d <= 17 * 17 && ((a >= -5 && a <= 5) || (b >= -5 && b <= 5))) return 0xFFFFFFFF;
    return 0xFFD83030;
}

// An icon file of one 32 x 32 image with alpha; its AND mask stays clear.
constexpr std::size_t kBigIconPixels = kBigIconSize * kBigIconSize * 4, kBigIconMask = kBigIconSize * 4;
constexpr std::size_t kBigIconBytes = 6 + 16 + 40 + kBigIconPixels + kBigIconMask;
constexpr TResourceBytes<kBigIconBytes> BigIconFile() {
    TResourceBytes<kBigIconBytes> out;
    char* p = out.data;
    Put16(p + 2, 1); // an icon
    Put16(p + 4, 1); // one image
    p[6] = kBigIconSize;
    p[7] = kBigIconSize;
    Put16(p + 10, 1);
    Put16(p + 12, 32);
    Put32(p + 14, kBigIconBytes - 22);
    Put32(p + 18, 22);
    PutBitmapHeader(p + 22, kBigIconSize, 2 * kBigIconSize, kBigIconPixels + kBigIconMask);
    for (int y = 0; y < kBigIconSize; ++y)
        for (int x = 0; x < kBigIconSize; ++x)
            Put32(p + 62 + ((kBigIconSize - 1 - y) * kBigIconSize + x) * 4, BigIconPixel(x, y));
    return out;
}

constexpr auto kMailGlyph = GlyphBitmap(kMailArt);
constexpr auto kSaveGlyph = GlyphBitmap(kSaveArt);
constexpr auto kPrintGlyph = GlyphBitmap(kPrintArt);
constexpr auto kShowGlyph = GlyphBitmap(kShowArt);
constexpr auto kContinueGlyph = GlyphBitmap(kContinueArt);
constexpr auto kRestartGlyph = GlyphBitmap(kRestartArt);
constexpr auto kCloseGlyph = GlyphBitmap(kCloseArt);
constexpr auto kCantContinueGlyph = GlyphBitmap(kCantContinueArt);
constexpr auto kBigIcon = BigIconFile();

AX_RESOURCE(kMailResource, "BITMAP", "tupmail", kMailGlyph.data);
AX_RESOURCE(kSaveResource, "BITMAP", "tupsave", kSaveGlyph.data);
AX_RESOURCE(kPrintResource, "BITMAP", "tupprint", kPrintGlyph.data);
AX_RESOURCE(kShowResource, "BITMAP", "tupshow", kShowGlyph.data);
AX_RESOURCE(kContinueResource, "BITMAP", "tupcontinue", kContinueGlyph.data);
AX_RESOURCE(kRestartResource, "BITMAP", "tuprestart", kRestartGlyph.data);
AX_RESOURCE(kCloseResource, "BITMAP", "tupclose", kCloseGlyph.data);
AX_RESOURCE(kCantContinueResource, "BITMAP", "tupcantContinue", kCantContinueGlyph.data);
AX_RESOURCE(kBigIconResource, "ICON", "tupBigIcon", kBigIcon.data);

std::uint32_t Read32(std::string_view data, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(data[at + static_cast<std::size_t>(i)]);
    return value;
}

} // namespace

std::optional<std::string> BoxResource(std::string_view type, std::string_view name) {
    const auto self = moduleOfAddress(reinterpret_cast<std::uintptr_t>(&BoxResource));
    return findResource(self ? self->handle : 0, type, name);
}

std::vector<std::uint32_t> BlendGlyph(std::string_view data, COLORREF face) {
    if (data.size() != kGlyphBytes) return {};
    const auto height = static_cast<std::int32_t>(Read32(data, 8));
    if (Read32(data, 0) != 40 || Read32(data, 4) != kGlyphSize || (height != kGlyphSize && height != -kGlyphSize) ||
        (Read32(data, 12) >> 16) != 32)
        return {};
    std::vector<std::uint32_t> out(kGlyphSize * kGlyphSize);
    for (int y = 0; y < kGlyphSize; ++y) {
        const int row = height > 0 ? kGlyphSize - 1 - y : y;
        for (int x = 0; x < kGlyphSize; ++x) {
            const std::uint32_t pixel = Read32(data, 40 + static_cast<std::size_t>(row * kGlyphSize + x) * 4);
            const std::uint32_t weight = (pixel >> 24) + 1;
            const auto blend = [&](int shift, std::uint32_t under) {
                return (((pixel >> shift) & 0xFF) * weight + under * (256 - weight)) / 256 << shift;
            };
            out[static_cast<std::size_t>(y * kGlyphSize + x)] =
                0xFF000000 | blend(16, GetRValue(face)) | blend(8, GetGValue(face)) | blend(0, GetBValue(face));
        }
    }
    return out;
}

} // namespace ax
