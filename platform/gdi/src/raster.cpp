// Pixel work: brushes, raster operations, blits and bitmaps. Raster
// operations are computed here bit by bit on 0x00RRGGBB values; every
// result pixel is written opaque.
#include "paint.h"
#include "platform/gdi/uniquegdiobject.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ax {
namespace gdi {

COLORREF brushColor(const Dc& dc, const Brush& b) {
    if (b.sysColor >= 0) return GetSysColor(b.sysColor);
    if (b.dcBrush) return dc.state.dcBrushColor;
    return b.color;
}

COLORREF penColor(const Dc& dc, const Pen& p) {
    return p.dcPen ? dc.state.dcPenColor : p.color;
}

std::uint32_t targetColor(const Target& t, COLORREF c) {
    std::uint32_t px = toPixel(c & 0xFFFFFF);
    return t.mono ? toMono(px) : px;
}

namespace {
bool hatchBit(int hatch, int x, int y) {
    switch (hatch) {
    case HS_HORIZONTAL:
        return y == 7;
    case HS_VERTICAL:
        return x == 7;
    case HS_FDIAGONAL:
        return x == y;
    case HS_BDIAGONAL:
        return x + y == 7;
    case HS_CROSS:
        return x == 7 || y == 7;
    case HS_DIAGCROSS:
        return x == y || x + y == 7;
    default:
        return false;
    }
}
} // namespace

BrushSampler samplerFor(const Dc& dc, HBRUSH hbrush) {
    BrushSampler s;
    const Brush* b = getBrush(hbrush);
    if (!b || b->style == BS_NULL) return s;
    bool mono = isMono(dc);
    auto conv = [&](COLORREF c) {
        std::uint32_t px = toPixel(c & 0xFFFFFF);
        return mono ? toMono(px) : px;
    };
    s.none = false;
    s.org = dc.state.brushOrg;
    if (b->style == BS_SOLID) {
        s.solid = true;
        s.color = conv(brushColor(dc, *b));
        return s;
    }
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            int i = y * 8 + x;
            if (b->style == BS_HATCHED) {
                if (hatchBit(b->hatch, x, y))
                    s.pattern[i] = conv(brushColor(dc, *b));
                else if (dc.state.bkMode == OPAQUE)
                    s.pattern[i] = conv(dc.state.bkColor);
                else
                    s.skip[i] = true;
            } else if (b->monoPattern && !mono) {
                s.pattern[i] = conv(b->pattern[i] ? dc.state.bkColor : dc.state.textColor);
            } else {
                s.pattern[i] = mono ? toMono(b->pattern[i]) : b->pattern[i];
            }
        }
    return s;
}

void patFill(Dc& dc, Target& t, RECT device, const BrushSampler& brush, unsigned index) {
    bool usesPattern = ((index >> 4) & 0x0F) != (index & 0x0F);
    if (usesPattern && brush.none) return;
    const bool solid = !usesPattern || brush.solid;
    if (solid && (index == 0xF0 || index == 0x00 || index == 0xFF)) {
        // A colour that depends on nothing under it: whole rows at once.
        const std::uint32_t value = 0xFF000000 | rop3(index, usesPattern ? brush.color : 0, 0, 0);
        forEachSpan(t, device,
                    [&](int y, int x0, int x1) { std::fill(&t.at(x0, y), &t.at(x1, y), value); });
    } else if (solid) {
        const std::uint32_t p = usesPattern ? brush.color : 0;
        forEachSpan(t, device, [&](int y, int x0, int x1) {
            for (std::uint32_t* d = &t.at(x0, y); d != &t.at(x1, y); ++d)
                *d = 0xFF000000 | rop3(index, p, 0, *d & 0xFFFFFF);
        });
    } else {
        forEachPixel(t, device, [&](int sx, int sy) {
            std::uint32_t p = 0;
            if (!brush.sample(sx - t.origin.x, sy - t.origin.y, p)) return;
            std::uint32_t& d = t.at(sx, sy);
            d = 0xFF000000 | rop3(index, p, 0, d & 0xFFFFFF);
        });
    }
    finishTarget(dc);
}

void fillSolid(Dc& dc, const RECT& logical, COLORREF color) {
    Target t;
    if (!makeTarget(dc, t)) return;
    BrushSampler s;
    s.none = false;
    s.solid = true;
    s.color = targetColor(t, color);
    patFill(dc, t, rectToDevice(dc.state, logical), s, 0xF0);
}

cairo_t* beginCairo(Dc& dc, const Target& t) {
    cairo_t* cr = cairo_create(dc.surface);
    cairo_new_path(cr);
    for (auto& r : t.clip.rects())
        cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
    cairo_clip(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    POINT o = logicalOffset(dc.state);
    cairo_translate(cr, t.origin.x + o.x, t.origin.y + o.y);
    if (xScale(dc.state) < 0) cairo_scale(cr, -1, 1);
    return cr;
}

void endCairo(Dc& dc, cairo_t* cr) {
    cairo_destroy(cr);
    if (!isMono(dc)) return;
    Target t;
    if (!makeTarget(dc, t)) return;
    for (int y = 0; y < t.height; ++y)
        for (int x = 0; x < t.width; ++x) {
            std::uint32_t& p = t.at(x, y);
            p = 0xFF000000 | toMono(p & 0xFFFFFF);
        }
    finishTarget(dc);
}

void setSourceColor(cairo_t* cr, const Target& t, COLORREF c) {
    std::uint32_t px = targetColor(t, c);
    cairo_set_source_rgb(cr, ((px >> 16) & 0xFF) / 255.0, ((px >> 8) & 0xFF) / 255.0,
                         (px & 0xFF) / 255.0);
}

void fillPathWithBrush(cairo_t* cr, const Dc& dc, const Target& t, HBRUSH brush) {
    BrushSampler s = samplerFor(dc, brush);
    if (s.none) return;
    cairo_save(cr);
    cairo_identity_matrix(cr);
    if (s.solid) {
        cairo_set_source_rgb(cr, ((s.color >> 16) & 0xFF) / 255.0, ((s.color >> 8) & 0xFF) / 255.0,
                             (s.color & 0xFF) / 255.0);
        cairo_fill_preserve(cr);
    } else {
        cairo_surface_t* tile = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
        auto* data = cairo_image_surface_get_data(tile);
        int stride = cairo_image_surface_get_stride(tile);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
                row[x] = s.skip[y * 8 + x] ? 0u : 0xFF000000 | s.pattern[y * 8 + x];
            }
        cairo_surface_mark_dirty(tile);
        cairo_pattern_t* pat = cairo_pattern_create_for_surface(tile);
        cairo_pattern_set_extend(pat, CAIRO_EXTEND_REPEAT);
        cairo_pattern_set_filter(pat, CAIRO_FILTER_NEAREST);
        cairo_matrix_t m;
        cairo_matrix_init_translate(&m, -(t.origin.x + s.org.x), -(t.origin.y + s.org.y));
        cairo_pattern_set_matrix(pat, &m);
        cairo_set_source(cr, pat);
        cairo_fill_preserve(cr);
        cairo_pattern_destroy(pat);
        cairo_surface_destroy(tile);
    }
    cairo_restore(cr);
}

} // namespace gdi

using namespace gdi;

namespace {

RECT normalized(RECT r) {
    if (r.right < r.left) std::swap(r.left, r.right);
    if (r.bottom < r.top) std::swap(r.top, r.bottom);
    return r;
}

// A copy of the source pixels, so that a blit within one surface reads
// what was there before it started.
struct SourceImage {
    std::vector<std::uint32_t> pixels;
    int width = 0, height = 0;
    POINT origin{};
    POINT offset{}; // logical to device
    bool mono = false;
    bool alpha = false;
    COLORREF bkColor = 0;
    bool get(int lx, int ly, std::uint32_t& out) const {
        int x = lx + offset.x + origin.x, y = ly + offset.y + origin.y;
        if (x < 0 || y < 0 || x >= width || y >= height) return false;
        out = pixels[size_t(y) * size_t(width) + size_t(x)];
        return true;
    }
};

bool loadSource(Dc& src, SourceImage& img) {
    Target t;
    if (!makeTarget(src, t)) return false;
    img.width = t.width;
    img.height = t.height;
    img.pixels.resize(size_t(t.width) * size_t(t.height));
    for (int y = 0; y < t.height; ++y)
        std::memcpy(&img.pixels[size_t(y) * size_t(t.width)], &t.at(0, y), size_t(t.width) * 4);
    img.origin = t.origin;
    img.offset = logicalOffset(src.state);
    img.mono = t.mono;
    auto* bm = src.memory ? getBitmap(src.state.bitmap) : nullptr;
    img.alpha = bm && bm->hasAlpha;
    img.bkColor = src.state.bkColor;
    return true;
}

// The source pixel as the destination sees it (colour/monochrome rules).
std::uint32_t convertSource(std::uint32_t s, const SourceImage& img, const Dc& dest,
                            bool destMono) {
    s &= 0xFFFFFF;
    if (img.mono && !destMono)
        return toPixel((s ? dest.state.bkColor : dest.state.textColor) & 0xFFFFFF);
    if (!img.mono && destMono) return s == toPixel(img.bkColor & 0xFFFFFF) ? 0xFFFFFF : 0;
    return s;
}

enum class BlitMode { Rop, ColorKey, Mask, Alpha };

struct BlitArgs {
    BlitMode mode = BlitMode::Rop;
    unsigned rop = 0xCC;
    unsigned backRop = 0xCC;
    std::uint32_t key = 0;
    const Bitmap* mask = nullptr;
    POINT maskOrg{};
    BYTE constantAlpha = 255;
    bool pixelAlpha = false;
};

bool blit(HDC hdest, int x, int y, int w, int h, HDC hsrc, int sx, int sy, int sw, int sh,
          const BlitArgs& a) {
    Dc* dest = getDc(hdest);
    if (!dest) return false;
    Target t;
    if (!makeTarget(*dest, t)) return false;
    unsigned index = a.rop;
    bool needSource =
        a.mode != BlitMode::Rop || (((index >> 2) & 0x33) != (index & 0x33)) ||
        (a.mode == BlitMode::Mask && (((a.backRop >> 2) & 0x33) != (a.backRop & 0x33)));
    SourceImage img;
    Dc* src = needSource ? getDc(hsrc) : nullptr;
    if (needSource && (!src || !loadSource(*src, img))) return false;
    if (w == 0 || h == 0 || (needSource && (sw == 0 || sh == 0))) return true;
    BrushSampler brush = samplerFor(*dest, dest->state.brush);
    // Under a mirrored mapping the picture goes where its rectangle goes,
    // not turned round.
    const RECT placed = rectToDevice(dest->state, normalized(RECT{x, y, x + w, y + h}));
    int x0 = w < 0 ? placed.right : placed.left, y0 = y + logicalOffset(dest->state).y;
    RECT device = normalized(RECT{x0, y0, x0 + w, y0 + h});
    std::vector<std::uint32_t> maskBits;
    int maskW = 0, maskH = 0;
    if (a.mask) {
        cairo_surface_flush(a.mask->surface.get());
        auto* data = cairo_image_surface_get_data(a.mask->surface.get());
        int stride = cairo_image_surface_get_stride(a.mask->surface.get());
        maskW = a.mask->width;
        maskH = a.mask->height;
        maskBits.resize(size_t(maskW) * size_t(maskH));
        for (int yy = 0; yy < maskH; ++yy)
            std::memcpy(&maskBits[size_t(yy) * size_t(maskW)], data + std::ptrdiff_t(yy) * stride,
                        size_t(maskW) * 4);
    }
    bool stretched = needSource && (w != sw || h != sh);
    const Region area = clippedSurfaceRect(t, device);
    for (auto& r : area.rects()) {
        for (int syy = r.top; syy < r.bottom; ++syy) {
            int dy = syy - t.origin.y; // device
            int ly, my;
            if (stretched)
                ly = sy + int(std::floor((dy + 0.5 - y0) * sh / double(h)));
            else
                ly = sy + (dy - y0);
            my = a.maskOrg.y + (dy - std::min(y0, y0 + h));
            for (int sxx = r.left; sxx < r.right; ++sxx) {
                int dx = sxx - t.origin.x;
                std::uint32_t s = 0;
                std::uint32_t raw = 0;
                if (needSource) {
                    int lx = stretched ? sx + int(std::floor((dx + 0.5 - x0) * sw / double(w)))
                                       : sx + (dx - x0);
                    if (!img.get(lx, ly, raw)) continue;
                    s = convertSource(raw, img, *dest, t.mono);
                }
                std::uint32_t& d = t.at(sxx, syy);
                std::uint32_t dv = d & 0xFFFFFF;
                switch (a.mode) {
                case BlitMode::ColorKey:
                    if ((raw & 0xFFFFFF) == a.key) continue;
                    d = 0xFF000000 | s;
                    break;
                case BlitMode::Alpha: {
                    unsigned ca = a.constantAlpha;
                    unsigned sa = a.pixelAlpha && img.alpha ? (raw >> 24) * ca / 255 : ca;
                    std::uint32_t out = 0;
                    for (int shift = 0; shift < 24; shift += 8) {
                        unsigned sc = (s >> shift) & 0xFF, dc2 = (dv >> shift) & 0xFF;
                        unsigned srcPart = sc * ca / 255; // premultiplied when it has alpha
                        unsigned v = srcPart + dc2 * (255 - sa) / 255;
                        out |= std::min(v, 255u) << shift;
                    }
                    d = 0xFF000000 | out;
                    break;
                }
                case BlitMode::Mask:
                case BlitMode::Rop: {
                    unsigned code = index;
                    if (a.mode == BlitMode::Mask) {
                        int mx = a.maskOrg.x + (dx - std::min(x0, x0 + w));
                        bool bit = mx >= 0 && my >= 0 && mx < maskW && my < maskH &&
                                   (maskBits[size_t(my) * size_t(maskW) + size_t(mx)] & 0xFFFFFF);
                        code = bit ? a.rop : a.backRop;
                    }
                    std::uint32_t p = 0;
                    if ((((code >> 4) & 0x0F) != (code & 0x0F)) && !brush.sample(dx, dy, p))
                        continue;
                    d = 0xFF000000 | rop3(code, p, s, dv);
                    break;
                }
                }
            }
        }
    }
    finishTarget(*dest);
    return true;
}

} // namespace

bool BitBlt(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy, DWORD rop) {
    BlitArgs a;
    a.rop = (rop >> 16) & 0xFF;
    return blit(dest, x, y, w, h, src, sx, sy, w, h, a);
}

bool StretchBlt(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy, int sw, int sh,
                DWORD rop) {
    BlitArgs a;
    a.rop = (rop >> 16) & 0xFF;
    return blit(dest, x, y, w, h, src, sx, sy, sw, sh, a);
}

bool PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop) {
    BlitArgs a;
    a.rop = (rop >> 16) & 0xFF;
    if (((a.rop >> 2) & 0x33) != (a.rop & 0x33)) return false; // needs a source
    return blit(hdc, x, y, w, h, HDC{}, 0, 0, w, h, a);
}

bool TransparentBlt(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy, int sw, int sh,
                    UINT transparent) {
    if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0) return false;
    BlitArgs a;
    a.mode = BlitMode::ColorKey;
    a.key = toPixel(transparent & 0xFFFFFF);
    return blit(dest, x, y, w, h, src, sx, sy, sw, sh, a);
}

bool MaskBlt(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy, HBITMAP mask, int mx,
             int my, DWORD rop4) {
    BlitArgs a;
    a.rop = (rop4 >> 16) & 0xFF;
    a.backRop = (rop4 >> 24) & 0xFF;
    if (!mask) return blit(dest, x, y, w, h, src, sx, sy, w, h, a);
    auto* m = getBitmap(mask);
    if (!m || !m->mono) return false;
    a.mode = BlitMode::Mask;
    a.mask = m;
    a.maskOrg = POINT{mx, my};
    return blit(dest, x, y, w, h, src, sx, sy, w, h, a);
}

bool AlphaBlend(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy, int sw, int sh,
                BYTE constantAlpha, bool usePixelAlpha) {
    if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0) return false;
    BlitArgs a;
    a.mode = BlitMode::Alpha;
    a.constantAlpha = constantAlpha;
    a.pixelAlpha = usePixelAlpha;
    return blit(dest, x, y, w, h, src, sx, sy, sw, sh, a);
}

cairo_t* BeginDCCairo(HDC hdc) {
    Dc* dc = getDc(hdc);
    Target t;
    if (!dc || !makeTarget(*dc, t)) return nullptr;
    cairo_t* cr = beginCairo(*dc, t);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    return cr;
}

void EndDCCairo(HDC hdc, cairo_t* cr) {
    if (!cr) return;
    Dc* dc = getDc(hdc);
    if (!dc) {
        cairo_destroy(cr);
        return;
    }
    endCairo(*dc, cr);
}

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
    Dc* dc = getDc(hdc);
    Target t;
    if (!dc || !rect || !getBrush(brush) || !makeTarget(*dc, t)) return 0;
    if (rect->right <= rect->left || rect->bottom <= rect->top) return 1;
    RECT r = rectToDevice(dc->state, *rect);
    patFill(*dc, t, r, samplerFor(*dc, brush), 0xF0);
    return 1;
}

int FrameRect(HDC hdc, const RECT* rect, HBRUSH brush) {
    Dc* dc = getDc(hdc);
    Target t;
    if (!dc || !rect || !getBrush(brush) || !makeTarget(*dc, t)) return 0;
    if (rect->right <= rect->left || rect->bottom <= rect->top) return 1;
    RECT r = rectToDevice(dc->state, *rect);
    BrushSampler s = samplerFor(*dc, brush);
    patFill(*dc, t, RECT{r.left, r.top, r.right, r.top + 1}, s, 0xF0);
    if (r.bottom - r.top > 1)
        patFill(*dc, t, RECT{r.left, r.bottom - 1, r.right, r.bottom}, s, 0xF0);
    patFill(*dc, t, RECT{r.left, r.top + 1, r.left + 1, r.bottom - 1}, s, 0xF0);
    if (r.right - r.left > 1)
        patFill(*dc, t, RECT{r.right - 1, r.top + 1, r.right, r.bottom - 1}, s, 0xF0);
    return 1;
}

bool InvertRect(HDC hdc, const RECT* rect) {
    if (!rect) return false;
    return PatBlt(hdc, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top,
                  DSTINVERT);
}

bool DrawFocusRect(HDC hdc, const RECT* rect) {
    Dc* dc = getDc(hdc);
    Target t;
    if (!dc || !rect || !makeTarget(*dc, t)) return false;
    RECT r = rectToDevice(dc->state, normalized(*rect));
    if (r.right <= r.left || r.bottom <= r.top) return true;
    // Four disjoint strips, so no pixel is inverted twice in one call.
    auto strip = [&](RECT s) {
        forEachPixel(t, s, [&](int sx, int sy) {
            int dx = sx - t.origin.x, dy = sy - t.origin.y;
            if (((dx + dy) & 1) == 0) t.at(sx, sy) ^= 0x00FFFFFF;
        });
    };
    strip(RECT{r.left, r.top, r.right, r.top + 1});
    if (r.bottom - r.top > 1) strip(RECT{r.left, r.bottom - 1, r.right, r.bottom});
    strip(RECT{r.left, r.top + 1, r.left + 1, r.bottom - 1});
    if (r.right - r.left > 1) strip(RECT{r.right - 1, r.top + 1, r.right, r.bottom - 1});
    finishTarget(*dc);
    return true;
}

namespace {
bool regionFill(HDC hdc, HRGN rgn, HBRUSH brush, unsigned index) {
    Dc* dc = getDc(hdc);
    auto* r = getRegion(rgn);
    Target t;
    if (!dc || !r || !makeTarget(*dc, t)) return false;
    BrushSampler s = samplerFor(*dc, brush);
    for (const RECT& rc : r->region.rects())
        patFill(*dc, t, rectToDevice(dc->state, rc), s, index);
    return true;
}
} // namespace

bool FillRgn(HDC hdc, HRGN rgn, HBRUSH brush) {
    if (!getBrush(brush)) return false;
    return regionFill(hdc, rgn, brush, 0xF0);
}

bool PaintRgn(HDC hdc, HRGN rgn) {
    Dc* dc = getDc(hdc);
    return dc && regionFill(hdc, rgn, dc->state.brush, 0xF0);
}

bool InvertRgn(HDC hdc, HRGN rgn) {
    return regionFill(hdc, rgn, HBRUSH{}, 0x55);
}

bool FrameRgn(HDC hdc, HRGN rgn, HBRUSH brush, int w, int h) {
    auto* r = getRegion(rgn);
    if (!r || !getBrush(brush) || w < 1 || h < 1) return false;
    // The frame is the region less the region shrunk by w and h.
    Region inner = r->region;
    for (int dx : {-w, w}) {
        Region moved = r->region;
        moved.offset(dx, 0);
        inner = inner.intersected(moved);
    }
    for (int dy : {-h, h}) {
        Region moved = r->region;
        moved.offset(0, dy);
        inner = inner.intersected(moved);
    }
    const UniqueRegion frame(CreateRegionFrom(r->region.subtracted(inner)));
    return FillRgn(hdc, frame.Get(), brush);
}

COLORREF GetPixel(HDC hdc, int x, int y) {
    Dc* dc = getDc(hdc);
    Target t;
    if (!dc || !makeTarget(*dc, t)) return CLR_INVALID;
    POINT d = toDevice(dc->state, x, y);
    int sx = d.x + t.origin.x, sy = d.y + t.origin.y;
    if (!t.clip.contains(sx, sy)) return CLR_INVALID;
    return toColorRef(t.at(sx, sy) & 0xFFFFFF);
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color) {
    Dc* dc = getDc(hdc);
    Target t;
    if (!dc || !makeTarget(*dc, t)) return CLR_INVALID;
    POINT d = toDevice(dc->state, x, y);
    int sx = d.x + t.origin.x, sy = d.y + t.origin.y;
    if (!t.clip.contains(sx, sy)) return CLR_INVALID;
    std::uint32_t px = targetColor(t, color);
    t.at(sx, sy) = 0xFF000000 | px;
    finishTarget(*dc);
    return toColorRef(px);
}

// ---- Bitmaps ---------------------------------------------------------------------

HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height) {
    Dc* dc = getDc(hdc);
    bool mono = dc && isMono(*dc);
    return addBitmap(makeBitmap(width, height, mono));
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits) {
    if (planes != 1 || (bitsPerPixel != 1 && bitsPerPixel != 32)) return HBITMAP{};
    auto b = makeBitmap(width, height, bitsPerPixel == 1);
    if (!b) return HBITMAP{};
    if (bits) {
        auto* data = cairo_image_surface_get_data(b->surface.get());
        int stride = cairo_image_surface_get_stride(b->surface.get());
        auto* in = static_cast<const std::uint8_t*>(bits);
        size_t rowBytes = bitsPerPixel == 1 ? size_t((width + 15) / 16) * 2 : size_t(width) * 4;
        for (int y = 0; y < height; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(data + std::ptrdiff_t(y) * stride);
            const std::uint8_t* src = in + size_t(y) * rowBytes;
            for (int x = 0; x < width; ++x) {
                if (bitsPerPixel == 1) {
                    bool white = src[x / 8] & (0x80 >> (x % 8));
                    row[x] = white ? 0xFFFFFFFF : 0xFF000000;
                } else {
                    std::uint32_t v;
                    std::memcpy(&v, src + size_t(x) * 4, 4);
                    row[x] = 0xFF000000 | (v & 0xFFFFFF);
                }
            }
        }
        cairo_surface_mark_dirty(b->surface.get());
    }
    return addBitmap(std::move(b));
}

HBITMAP CreateBitmapFromPixels(int width, int height, const std::uint32_t* argb, bool hasAlpha) {
    auto b = makeBitmap(width, height, false);
    if (!b || !argb) return HBITMAP{};
    b->hasAlpha = hasAlpha;
    auto* data = cairo_image_surface_get_data(b->surface.get());
    int stride = cairo_image_surface_get_stride(b->surface.get());
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + std::ptrdiff_t(y) * stride);
        for (int x = 0; x < width; ++x) {
            std::uint32_t v = argb[size_t(y) * size_t(width) + size_t(x)];
            if (!hasAlpha) {
                row[x] = 0xFF000000 | (v & 0xFFFFFF);
                continue;
            }
            unsigned a = v >> 24;
            auto pm = [&](int shift) { return (((v >> shift) & 0xFF) * a + 127) / 255 << shift; };
            row[x] = (a << 24) | pm(16) | pm(8) | pm(0);
        }
    }
    cairo_surface_mark_dirty(b->surface.get());
    return addBitmap(std::move(b));
}

bool GetBitmapPixels(HBITMAP bitmap, int* width, int* height, std::vector<std::uint32_t>* argb) {
    auto* b = getBitmap(bitmap);
    if (!b || !argb) return false;
    cairo_surface_flush(b->surface.get());
    auto* data = cairo_image_surface_get_data(b->surface.get());
    int stride = cairo_image_surface_get_stride(b->surface.get());
    argb->resize(size_t(b->width) * size_t(b->height));
    for (int y = 0; y < b->height; ++y) {
        auto* row = reinterpret_cast<const std::uint32_t*>(data + std::ptrdiff_t(y) * stride);
        for (int x = 0; x < b->width; ++x) {
            std::uint32_t v = row[x];
            unsigned a = v >> 24;
            if (b->hasAlpha && a != 0 && a != 255) {
                auto un = [&](int shift) {
                    return std::min(255u, (((v >> shift) & 0xFF) * 255 + a / 2) / a) << shift;
                };
                v = (a << 24) | un(16) | un(8) | un(0);
            } else if (!b->hasAlpha) {
                v |= 0xFF000000;
            }
            (*argb)[size_t(y) * size_t(b->width) + size_t(x)] = v;
        }
    }
    if (width) *width = b->width;
    if (height) *height = b->height;
    return true;
}

bool BitmapHasAlpha(HBITMAP bitmap) {
    auto* b = getBitmap(bitmap);
    return b && b->hasAlpha;
}

HBITMAP CopyBitmap(HBITMAP bitmap) {
    auto* b = getBitmap(bitmap);
    if (!b) return HBITMAP{};
    auto copy = makeBitmap(b->width, b->height, b->mono);
    if (!copy) return HBITMAP{};
    copy->hasAlpha = b->hasAlpha;
    cairo_surface_flush(b->surface.get());
    auto* in = cairo_image_surface_get_data(b->surface.get());
    auto* out = cairo_image_surface_get_data(copy->surface.get());
    int stride = cairo_image_surface_get_stride(b->surface.get());
    std::memcpy(out, in, size_t(stride) * size_t(b->height));
    cairo_surface_mark_dirty(copy->surface.get());
    return addBitmap(std::move(copy));
}

} // namespace ax
