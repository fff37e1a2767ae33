// Readers of BMP, ICO/CUR and PNG data. Every size, count and offset is
// checked against the data before use; anything malformed gives no image.
#include "image_internal.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace ax {
using namespace gdi;

namespace {

constexpr std::int64_t kMaxPixels = std::int64_t(1) << 26;

class Reader {
public:
    explicit Reader(std::string_view d) : d_(d) {}
    bool has(size_t off, size_t n) const { return off <= d_.size() && n <= d_.size() - off; }
    std::uint32_t u8(size_t o) const { return std::uint8_t(d_[o]); }
    std::uint32_t u16(size_t o) const { return u8(o) | (u8(o + 1) << 8); }
    std::uint32_t u32(size_t o) const { return u16(o) | (u16(o + 2) << 16); }
    std::int32_t s32(size_t o) const { return std::int32_t(u32(o)); }
    size_t size() const { return d_.size(); }
    std::string_view view() const { return d_; }

private:
    std::string_view d_;
};

int maskShift(std::uint32_t mask) {
    if (!mask) return 0;
    int s = 0;
    while (!(mask & 1)) {
        mask >>= 1;
        ++s;
    }
    return s;
}
int maskBits(std::uint32_t mask) {
    int n = 0;
    for (; mask; mask &= mask - 1)
        ++n;
    return n;
}
std::uint32_t extract(std::uint32_t v, std::uint32_t mask) {
    if (!mask) return 0;
    std::uint32_t x = (v & mask) >> maskShift(mask);
    int bits = maskBits(mask);
    if (bits >= 8) return x >> (bits - 8);
    return bits ? (x * 255) / ((1u << bits) - 1) : 0;
}

} // namespace

namespace gdi {

// Decodes a device-independent bitmap: info header at `off`, pixel data at
// `bitsOff` (0: right after the header and palette). `heightDivisor` is 2
// for icon images, whose height counts the AND mask as well.
bool decodeDib(std::string_view data, size_t off, size_t bitsOff, int heightDivisor,
               DecodedImage& out) {
    Reader r(data);
    if (!r.has(off, 4)) return false;
    std::uint32_t hdr = r.u32(off);
    std::int64_t width, height;
    int bpp;
    std::uint32_t compression = 0, colorsUsed = 0;
    size_t paletteEntry = 4;
    if (hdr == 12) {
        if (!r.has(off, 12)) return false;
        width = r.u16(off + 4);
        height = std::int16_t(r.u16(off + 6));
        bpp = int(r.u16(off + 10));
        paletteEntry = 3;
    } else if (hdr == 40 || hdr == 52 || hdr == 56 || hdr == 108 || hdr == 124) {
        if (!r.has(off, hdr)) return false;
        width = r.s32(off + 4);
        height = r.s32(off + 8);
        bpp = int(r.u16(off + 14));
        compression = r.u32(off + 16);
        colorsUsed = r.u32(off + 32);
    } else {
        return false;
    }
    bool topDown = height < 0;
    if (height == INT32_MIN) return false;
    height = topDown ? -height : height;
    if (heightDivisor > 1) height /= heightDivisor;
    if (width <= 0 || height <= 0 || width * height > kMaxPixels || width > 32767 || height > 32767)
        return false;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
    // Only uncompressed data and bit fields; run-length data is refused.
    std::uint32_t rMask = 0, gMask = 0, bMask = 0, aMask = 0;
    size_t afterHeader = off + hdr;
    if (compression == 3 || compression == 6) {
        if (bpp != 16 && bpp != 32) return false;
        if (hdr >= 52) {
            rMask = r.u32(off + 40);
            gMask = r.u32(off + 44);
            bMask = r.u32(off + 48);
            if (hdr >= 56) aMask = r.u32(off + 52);
        } else {
            size_t n = compression == 6 ? 16 : 12;
            if (!r.has(afterHeader, n)) return false;
            rMask = r.u32(afterHeader);
            gMask = r.u32(afterHeader + 4);
            bMask = r.u32(afterHeader + 8);
            if (compression == 6) aMask = r.u32(afterHeader + 12);
            afterHeader += n;
        }
    } else if (compression != 0) {
        return false;
    } else if (bpp == 16) {
        rMask = 0x7C00;
        gMask = 0x03E0;
        bMask = 0x001F;
    } else if (bpp == 32) {
        rMask = 0xFF0000;
        gMask = 0xFF00;
        bMask = 0xFF;
        aMask = hdr >= 56 ? r.u32(off + 52) : 0;
        // Icon images keep their alpha in the fourth byte.
        if (heightDivisor == 2) aMask = 0xFF000000;
    }
    std::vector<std::uint32_t> palette;
    if (bpp <= 8) {
        size_t count = colorsUsed ? colorsUsed : (size_t(1) << bpp);
        if (count > (size_t(1) << bpp)) return false;
        if (!r.has(afterHeader, count * paletteEntry)) return false;
        for (size_t i = 0; i < count; ++i) {
            size_t p = afterHeader + i * paletteEntry;
            palette.push_back(0xFF000000 | (r.u8(p + 2) << 16) | (r.u8(p + 1) << 8) | r.u8(p));
        }
        afterHeader += count * paletteEntry;
    }
    if (bitsOff == 0) bitsOff = afterHeader;
    size_t stride = size_t(((width * bpp + 31) / 32) * 4);
    if (!r.has(bitsOff, stride * size_t(height))) return false;
    out.width = int(width);
    out.height = int(height);
    out.argb.assign(size_t(width * height), 0);
    out.bpp = bpp;
    out.palette = palette;
    out.hasAlpha = false;
    out.indices.clear();
    if (bpp == 1) out.indices.assign(size_t(width * height), 0);
    bool anyAlpha = false;
    for (std::int64_t y = 0; y < height; ++y) {
        size_t row = bitsOff + size_t(topDown ? y : height - 1 - y) * stride;
        for (std::int64_t x = 0; x < width; ++x) {
            std::uint32_t px = 0;
            if (bpp <= 8) {
                size_t bit = size_t(x) * size_t(bpp);
                std::uint32_t byte = r.u8(row + bit / 8);
                std::uint32_t idx = (byte >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
                if (idx >= palette.size()) return false;
                px = palette[idx];
                if (bpp == 1) out.indices[size_t(y * width + x)] = std::uint8_t(idx);
            } else if (bpp == 24) {
                size_t p = row + size_t(x) * 3;
                px = 0xFF000000 | (r.u8(p + 2) << 16) | (r.u8(p + 1) << 8) | r.u8(p);
            } else {
                std::uint32_t v =
                    bpp == 16 ? r.u16(row + size_t(x) * 2) : r.u32(row + size_t(x) * 4);
                std::uint32_t a = aMask ? extract(v, aMask) : 255;
                if (aMask && a != 0) anyAlpha = true;
                px = (a << 24) | (extract(v, rMask) << 16) | (extract(v, gMask) << 8) |
                     extract(v, bMask);
            }
            out.argb[size_t(y * width + x)] = px;
        }
    }
    // 32-bit data whose alpha is all zero carries no alpha at all.
    if (aMask && !anyAlpha)
        for (auto& p : out.argb)
            p |= 0xFF000000;
    out.hasAlpha = aMask && anyAlpha;
    out.endOffset = bitsOff + stride * size_t(height);
    return true;
}

bool decodePng(std::string_view data, DecodedImage& out) {
    struct Cursor {
        std::string_view d;
        size_t pos = 0;
    } cur{data};
    auto readFn = [](void* closure, unsigned char* buf, unsigned int len) -> cairo_status_t {
        auto* c = static_cast<Cursor*>(closure);
        if (len > c->d.size() - c->pos) return CAIRO_STATUS_READ_ERROR;
        std::memcpy(buf, c->d.data() + c->pos, len);
        c->pos += len;
        return CAIRO_STATUS_SUCCESS;
    };
    if (data.size() < 8 || data.substr(0, 8) != std::string_view("\x89PNG\r\n\x1a\n", 8))
        return false;
    // Refuse huge images before the decoder tries to allocate them.
    Reader r(data);
    if (!r.has(8, 24) || data.substr(12, 4) != "IHDR") return false;
    auto be = [&](size_t o) {
        return (r.u8(o) << 24) | (r.u8(o + 1) << 16) | (r.u8(o + 2) << 8) | r.u8(o + 3);
    };
    std::int64_t declaredW = be(16), declaredH = be(20);
    if (declaredW <= 0 || declaredH <= 0 || declaredW * declaredH > kMaxPixels) return false;
    cairo_surface_t* s = cairo_image_surface_create_from_png_stream(readFn, &cur);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return false;
    }
    int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
    if (w <= 0 || h <= 0 || std::int64_t(w) * h > kMaxPixels) {
        cairo_surface_destroy(s);
        return false;
    }
    cairo_surface_t* argb = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(argb);
    cairo_set_source_surface(cr, s, 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(argb);
    out.width = w;
    out.height = h;
    out.bpp = 32;
    out.hasAlpha = true;
    out.argb.resize(size_t(w) * size_t(h));
    auto* d = cairo_image_surface_get_data(argb);
    int stride = cairo_image_surface_get_stride(argb);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<const std::uint32_t*>(d + std::ptrdiff_t(y) * stride);
        for (int x = 0; x < w; ++x) {
            std::uint32_t v = row[x];
            unsigned a = v >> 24;
            if (a != 0 && a != 255) {
                auto un = [&](int sh) {
                    return std::min(255u, (((v >> sh) & 0xFF) * 255 + a / 2) / a) << sh;
                };
                v = (a << 24) | un(16) | un(8) | un(0);
            }
            out.argb[size_t(y) * size_t(w) + size_t(x)] = v;
        }
    }
    cairo_surface_destroy(argb);
    cairo_surface_destroy(s);
    return true;
}

} // namespace gdi

HBITMAP LoadBitmapFromBmp(std::string_view data) {
    Reader r(data);
    if (!r.has(0, 14) || data[0] != 'B' || data[1] != 'M') return HBITMAP{};
    std::uint32_t bitsOff = r.u32(10);
    if (bitsOff >= data.size()) return HBITMAP{};
    DecodedImage img;
    if (!decodeDib(data, 14, bitsOff, 1, img)) return HBITMAP{};
    if (img.bpp == 1 && img.palette.size() == 2) {
        std::uint32_t p0 = img.palette[0] & 0xFFFFFF, p1 = img.palette[1] & 0xFFFFFF;
        bool bw = (p0 == 0 && p1 == 0xFFFFFF) || (p0 == 0xFFFFFF && p1 == 0);
        if (bw) {
            auto b = makeBitmap(img.width, img.height, true);
            if (!b) return HBITMAP{};
            auto* d = cairo_image_surface_get_data(b->surface.get());
            int stride = cairo_image_surface_get_stride(b->surface.get());
            for (int y = 0; y < img.height; ++y) {
                auto* row = reinterpret_cast<std::uint32_t*>(d + std::ptrdiff_t(y) * stride);
                for (int x = 0; x < img.width; ++x)
                    row[x] = 0xFF000000 | img.argb[size_t(y) * size_t(img.width) + size_t(x)];
            }
            cairo_surface_mark_dirty(b->surface.get());
            return addBitmap(std::move(b));
        }
    }
    return CreateBitmapFromPixels(img.width, img.height, img.argb.data(), img.hasAlpha);
}

HBITMAP LoadBitmapFromPng(std::string_view data) {
    DecodedImage img;
    if (!decodePng(data, img)) return HBITMAP{};
    return CreateBitmapFromPixels(img.width, img.height, img.argb.data(), true);
}

HICON LoadIconFromIco(std::string_view data, int cx, int cy) {
    if (cx > 1024 || cy > 1024) return HICON{};
    Reader r(data);
    if (!r.has(0, 6) || r.u16(0) != 0) return HICON{};
    std::uint32_t type = r.u16(2), count = r.u16(4);
    if ((type != 1 && type != 2) || count == 0 || !r.has(6, size_t(count) * 16)) return HICON{};
    // Nearest size; ties go to the entry with more colour depth.
    int best = -1;
    std::int64_t bestScore = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        size_t e = 6 + size_t(i) * 16;
        int w = r.u8(e) ? int(r.u8(e)) : 256, h = r.u8(e + 1) ? int(r.u8(e + 1)) : 256;
        int depth = type == 1 ? int(r.u16(e + 6)) : 0;
        std::int64_t score = (cx <= 0 && cy <= 0)
                                 ? (i == 0 ? 0 : 1)
                                 : std::int64_t(std::abs(w - cx) + std::abs(h - cy)) * 64 - depth;
        if (best < 0 || score < bestScore) {
            best = int(i);
            bestScore = score;
        }
    }
    size_t e = 6 + size_t(best) * 16;
    std::uint32_t size = r.u32(e + 8), offset = r.u32(e + 12);
    if (!r.has(offset, size) || size < 8) return HICON{};
    std::string_view image = data.substr(offset, size);
    auto icon = std::make_unique<Icon>();
    icon->isIcon = type == 1;
    if (type == 2) icon->hotspot = POINT{LONG(r.u16(e + 4)), LONG(r.u16(e + 6))};
    DecodedImage img;
    if (decodePng(image, img)) {
        icon->width = img.width;
        icon->height = img.height;
        icon->hasAlpha = true;
        icon->color = img.argb;
        icon->andMask.resize(img.argb.size());
        for (size_t i = 0; i < img.argb.size(); ++i)
            icon->andMask[i] = (img.argb[i] >> 24) == 0;
    } else {
        if (!decodeDib(image, 0, 0, 2, img)) return HICON{};
        // The AND mask follows the colour image, one bit a pixel.
        size_t maskStride = size_t(((img.width + 31) / 32) * 4);
        size_t maskOff = img.endOffset;
        icon->width = img.width;
        icon->height = img.height;
        icon->andMask.assign(size_t(img.width) * size_t(img.height), 0);
        if (Reader(image).has(maskOff, maskStride * size_t(img.height))) {
            Reader m(image);
            for (int y = 0; y < img.height; ++y)
                for (int x = 0; x < img.width; ++x) {
                    size_t row = maskOff + size_t(img.height - 1 - y) * maskStride;
                    icon->andMask[size_t(y) * size_t(img.width) + size_t(x)] =
                        (m.u8(row + size_t(x) / 8) >> (7 - x % 8)) & 1;
                }
        } else if (!img.hasAlpha) {
            return HICON{};
        }
        icon->hasAlpha = img.hasAlpha;
        icon->color = img.argb;
        if (!img.hasAlpha)
            for (size_t i = 0; i < icon->color.size(); ++i)
                icon->color[i] |= 0xFF000000;
    }
    if (cx > 0 && cy > 0 && (cx != icon->width || cy != icon->height)) scaleIcon(*icon, cx, cy);
    return HICON{add(std::move(icon))};
}

namespace {
std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
} // namespace

HBITMAP LoadBitmapFromFile(const std::string& path) {
    std::string data = readFile(path);
    if (data.size() >= 2 && data[0] == 'B' && data[1] == 'M') return LoadBitmapFromBmp(data);
    if (data.size() >= 8 && data[0] == '\x89') return LoadBitmapFromPng(data);
    return HBITMAP{};
}

HICON LoadIconFromFile(const std::string& path, int cx, int cy) {
    return LoadIconFromIco(readFile(path), cx, cy);
}

} // namespace ax
