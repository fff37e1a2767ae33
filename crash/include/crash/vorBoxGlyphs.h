#pragma once
// The exception box's pictures: a 16 x 16 glyph for each button and the big
// icon, carried as resources of the module that holds the reporter. A glyph
// is the bitmap "tup" + the button's name (an icon of that name is drawn
// instead when present); the big icon is the icon "tupBigIcon".
#include "platform/gdi/types.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ax {

inline constexpr int kGlyphSize = 16;
// A 40-byte bitmap header and 16 x 16 pixels of four bytes with alpha.
inline constexpr std::size_t kGlyphBytes = 1064;
inline constexpr int kBigIconSize = 32;

// A resource of the module that carries the reporter (types and names
// compare without regard to case).
std::optional<std::string> BoxResource(std::string_view type, std::string_view name);

// The glyph's pixels laid over the face colour, each weighed by
// (alpha + 1) / 256: opaque 0xAARRGGBB, rows top-down. Empty for data
// that is not exactly such a glyph.
std::vector<std::uint32_t> BlendGlyph(std::string_view data, COLORREF face);

} // namespace ax
