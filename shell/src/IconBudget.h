#pragma once
// What reading an icon file may cost. The lists draw icons at 16 and 32
// pixels, so a sane icon file is small and simple; a file beyond these
// bounds is not drawn at all and the compiled-in picture stands in.
//
// librsvg cannot be interrupted once it parses or draws, and nothing stops
// a thread, so an SVG is checked before it is handed over. Its cost at an
// icon's size is the number of elements drawn, each of them a few pixels:
// the check counts what the document would draw, every element once plus,
// for every reference to another element (`<use>`, `href="#..."`,
// `url(#...)`, which pattern, marker, mask, clip and gradient references
// are), what that element draws again; nested references multiply, which
// is how a small file asks for billions. Entities are text substitution
// before any element exists: one that names another, a parameter or an
// external one is refused, and the text all references add is counted.
// Embedded or included files (`<image>`, XInclude) would be read at their
// own sizes and are refused, as are the filter settings whose cost grows
// per pixel without bound.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ax::icons {

inline constexpr size_t kMaxIconFileBytes = size_t(1) << 20;
// PNG pictures are decoded whole before they are scaled.
inline constexpr int kMaxPngSide = 1024;
// Elements an SVG may draw, references expanded.
inline constexpr int64_t kMaxSvgInstances = 20000;
// Text the entities of an SVG may add.
inline constexpr int64_t kMaxEntityText = 64 << 10;

// Why drawing the SVG would cost more than an icon may; "" when it would not.
std::string SvgCostProblem(std::string_view svg);
// Why decoding the PNG would (its declared size); "" when it would not.
std::string PngCostProblem(std::string_view png);

} // namespace ax::icons
