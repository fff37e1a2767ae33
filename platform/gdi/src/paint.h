#pragma once
// Shared drawing machinery: the pixel target of a DC, coordinate mapping,
// brush sampling and raster-operation arithmetic.
#include "objects.h"

#include <algorithm>
#include <functional>

namespace ax::gdi {

// The pixels a DC may touch, in surface coordinates.
struct Target {
    std::uint32_t* data = nullptr;
    int stride = 0; // in pixels
    int width = 0;
    int height = 0;
    bool mono = false;
    POINT origin{}; // surface position of device (0, 0)
    Region clip;    // surface coordinates, inside the surface
    std::uint32_t& at(int x, int y) { return data[std::ptrdiff_t(y) * stride + x]; }
};

bool isMono(const Dc& dc);
// Flushes Cairo and fills in the target; false when the DC has no surface.
bool makeTarget(Dc& dc, Target& t);
// Tells Cairo the pixels changed.
void finishTarget(Dc& dc);
// Logical to device: device x = x scale * x + offset x, device y = y +
// offset y. The x scale is -1 under a mirrored mapping (x grows to the
// left), else 1.
int xScale(const DcState& s);
POINT logicalOffset(const DcState& s);
inline POINT toDevice(const DcState& s, int x, int y) {
    POINT o = logicalOffset(s);
    return POINT{xScale(s) * x + o.x, y + o.y};
}
// A logical rectangle's device pixels: under a mirrored mapping the pixels
// from left to right - 1 become those from (device of right) to (device of
// left) - 1, so a rectangle keeps its pixels' count. Normalised.
inline RECT rectToDevice(const DcState& s, const RECT& r) {
    const POINT a = toDevice(s, r.left, r.top), b = toDevice(s, r.right, r.bottom);
    return RECT{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}
// A device rectangle (empty when inverted) clipped to the target, in surface coordinates.
Region clippedSurfaceRect(const Target& t, RECT device);

// Visits each pixel of a device rectangle that the clip allows, row by row.
template <class Visit> void forEachPixel(Target& t, RECT device, Visit&& visit) {
    const Region area = clippedSurfaceRect(t, device);
    for (const RECT& r : area.rects())
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                visit(x, y);
}

// Visits each row span (surface y, x from, x to) of a device rectangle that
// the clip allows.
template <class Visit> void forEachSpan(Target& t, RECT device, Visit&& visit) {
    const Region area = clippedSurfaceRect(t, device);
    for (const RECT& r : area.rects())
        for (int y = r.top; y < r.bottom; ++y)
            visit(y, int(r.left), int(r.right));
}

// Truth-table arithmetic: bit i of the index is the result for pattern bit
// (i >> 2) & 1, source bit (i >> 1) & 1, destination bit i & 1.
inline std::uint32_t rop3(unsigned index, std::uint32_t p, std::uint32_t s, std::uint32_t d) {
    switch (index) {
    case 0xCC:
        return s;
    case 0xF0:
        return p;
    case 0xAA:
        return d;
    case 0x00:
        return 0;
    case 0xFF:
        return 0xFFFFFF;
    default:
        break;
    }
    std::uint32_t r = 0;
    for (unsigned i = 0; i < 8; ++i) {
        if (!(index & (1u << i))) continue;
        r |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    }
    return r & 0xFFFFFF;
}
// Binary operations of SetROP2: mode - 1 is the truth table over pen (bit
// value 2) and destination (bit value 1).
inline std::uint32_t rop2(int mode, std::uint32_t p, std::uint32_t d) {
    unsigned table = unsigned(mode - 1) & 0xF;
    std::uint32_t r = 0;
    for (unsigned i = 0; i < 4; ++i) {
        if (!(table & (1u << i))) continue;
        r |= ((i & 2) ? p : ~p) & ((i & 1) ? d : ~d);
    }
    return r & 0xFFFFFF;
}

// A brush as seen from one DC: a colour per device pixel, or none.
struct BrushSampler {
    bool none = true;
    bool solid = false;
    std::uint32_t color = 0;
    std::uint32_t pattern[64] = {};
    bool skip[64] = {};
    POINT org{};
    bool sample(int devx, int devy, std::uint32_t& out) const {
        if (none) return false;
        if (solid) {
            out = color;
            return true;
        }
        int i = ((devy - org.y) & 7) * 8 + ((devx - org.x) & 7);
        if (skip[i]) return false;
        out = pattern[i];
        return true;
    }
};
BrushSampler samplerFor(const Dc& dc, HBRUSH brush);
COLORREF brushColor(const Dc& dc, const Brush& b);
COLORREF penColor(const Dc& dc, const Pen& p);
// A colour as a target pixel value (black or white on a monochrome target).
std::uint32_t targetColor(const Target& t, COLORREF c);

// Fills a device rectangle with a brush under a raster operation index.
void patFill(Dc& dc, Target& t, RECT device, const BrushSampler& brush, unsigned index);
// Fills a logical rectangle with one colour.
void fillSolid(Dc& dc, const RECT& logical, COLORREF color);

// Cairo on a DC: clipped, unantialiased, user space = logical coordinates.
cairo_t* beginCairo(Dc& dc, const Target& t);
// Ends drawing; a monochrome target is reduced to black and white.
void endCairo(Dc& dc, cairo_t* cr);
void setSourceColor(cairo_t* cr, const Target& t, COLORREF c);
// Fills the current path with a brush (preserving the path).
void fillPathWithBrush(cairo_t* cr, const Dc& dc, const Target& t, HBRUSH brush);

} // namespace ax::gdi
