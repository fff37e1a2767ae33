#pragma once
// Image decoding and icon drawing shared by the drawing layer's icon, image
// file and image list sources: DIB and PNG data decoded to straight-alpha
// pixels (the decoders check the data's sizes against its length), and
// icons scaled and drawn.
#include "paint.h"

#include <string_view>

namespace ax::gdi {

struct DecodedImage {
    int width = 0;
    int height = 0;
    int bpp = 0;
    bool hasAlpha = false;
    std::vector<std::uint32_t> argb; // straight alpha, top-down
    std::vector<std::uint32_t> palette;
    std::vector<std::uint8_t> indices; // 1-bit images: palette index per pixel
    size_t endOffset = 0;              // end of the pixel data within the input
};

bool decodeDib(std::string_view data, size_t off, size_t bitsOff, int heightDivisor,
               DecodedImage& out);
bool decodePng(std::string_view data, DecodedImage& out);
// Nearest-neighbour resize of an icon's images.
void scaleIcon(Icon& icon, int cx, int cy);
// Draws icon pixels at a logical position, scaled to cx x cy.
void drawIcon(Dc& dc, int x, int y, const Icon& icon, int cx, int cy, UINT flags);

} // namespace ax::gdi
