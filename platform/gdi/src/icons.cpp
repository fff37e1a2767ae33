// Icons and cursors: colour image plus AND mask, drawn by the mask rules
// (keep where the mask is 1, then XOR the image) or blended when the image
// has alpha; the stock icons and cursors are drawn here once, on first use.
#include "image_internal.h"

#include <cmath>
#include <cstring>
#include <map>
#include <mutex>

namespace ax {
using namespace gdi;

namespace gdi {

void scaleIcon(Icon& icon, int cx, int cy) {
    auto scale = [&](const auto& src) {
        std::decay_t<decltype(src)> out(size_t(cx) * size_t(cy));
        for (int y = 0; y < cy; ++y)
            for (int x = 0; x < cx; ++x)
                out[size_t(y) * size_t(cx) + size_t(x)] =
                    src[size_t(y * icon.height / cy) * size_t(icon.width) +
                        size_t(x * icon.width / cx)];
        return out;
    };
    if (!icon.color.empty()) icon.color = scale(icon.color);
    if (!icon.andMask.empty()) icon.andMask = scale(icon.andMask);
    if (!icon.xorMask.empty()) icon.xorMask = scale(icon.xorMask);
    icon.hotspot = POINT{icon.hotspot.x * cx / icon.width, icon.hotspot.y * cy / icon.height};
    icon.width = cx;
    icon.height = cy;
}

void drawIcon(Dc& dc, int x, int y, const Icon& icon, int cx, int cy, UINT flags) {
    Target t;
    if (!makeTarget(dc, t) || icon.width <= 0 || icon.height <= 0) return;
    const RECT placed = rectToDevice(dc.state, RECT{x, y, x + cx, y + cy});
    const POINT d{placed.left, placed.top}; // a picture is placed, never turned round
    forEachPixel(t, RECT{d.x, d.y, d.x + cx, d.y + cy}, [&](int sx, int sy) {
        int ix = (sx - t.origin.x - d.x) * icon.width / cx;
        int iy = (sy - t.origin.y - d.y) * icon.height / cy;
        size_t i = size_t(iy) * size_t(icon.width) + size_t(ix);
        std::uint32_t& px = t.at(sx, sy);
        std::uint32_t dv = px & 0xFFFFFF;
        bool keep = icon.andMask.empty() ? false : icon.andMask[i];
        std::uint32_t image = 0;
        if (!icon.color.empty())
            image = icon.color[i];
        else if (!icon.xorMask.empty())
            image = icon.xorMask[i] ? 0xFFFFFFFF : 0xFF000000;
        if (icon.hasAlpha && (flags & DI_IMAGE)) {
            unsigned a = image >> 24;
            std::uint32_t out = 0;
            for (int sh = 0; sh < 24; sh += 8)
                out |= ((((image >> sh) & 0xFF) * a + ((dv >> sh) & 0xFF) * (255 - a) + 127) / 255)
                       << sh;
            px = 0xFF000000 | (t.mono ? toMono(out) : out);
            return;
        }
        std::uint32_t v = dv;
        if (flags & DI_MASK) v &= keep ? 0xFFFFFF : 0;
        if (flags & DI_IMAGE) {
            std::uint32_t im = t.mono ? toMono(image & 0xFFFFFF) : image & 0xFFFFFF;
            v = (flags & DI_MASK) ? v ^ im : im;
        }
        px = 0xFF000000 | v;
    });
    finishTarget(dc);
}

} // namespace gdi

namespace {

std::unique_ptr<Icon> iconFromSurface(cairo_surface_t* s, bool isIcon, POINT hotspot) {
    cairo_surface_flush(s);
    int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
    auto icon = std::make_unique<Icon>();
    icon->width = w;
    icon->height = h;
    icon->isIcon = isIcon;
    icon->hotspot = hotspot;
    icon->hasAlpha = true;
    auto* d = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<const std::uint32_t*>(d + std::ptrdiff_t(y) * stride);
        for (int x = 0; x < w; ++x) {
            std::uint32_t v = row[x];
            unsigned a = v >> 24;
            if (a && a != 255) {
                auto un = [&](int sh) {
                    return std::min(255u, (((v >> sh) & 0xFF) * 255 + a / 2) / a) << sh;
                };
                v = (a << 24) | un(16) | un(8) | un(0);
            }
            icon->color.push_back(v);
            icon->andMask.push_back(a == 0);
        }
    }
    return icon;
}

void rgb(cairo_t* cr, int r, int g, int b) {
    cairo_set_source_rgb(cr, r / 255.0, g / 255.0, b / 255.0);
}

void outlined(cairo_t* cr, int r, int g, int b, double line = 1.0) {
    rgb(cr, r, g, b);
    cairo_fill_preserve(cr);
    rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, line);
    cairo_stroke(cr);
}

// Stock icon art, 32 x 32.
void paintStockIcon(cairo_t* cr, unsigned id) {
    switch (id) {
    case IDI_HAND: // a red disc with a white cross
        cairo_arc(cr, 16, 16, 14, 0, 2 * M_PI);
        outlined(cr, 220, 30, 30);
        rgb(cr, 255, 255, 255);
        cairo_set_line_width(cr, 3.5);
        cairo_move_to(cr, 10, 10);
        cairo_line_to(cr, 22, 22);
        cairo_move_to(cr, 22, 10);
        cairo_line_to(cr, 10, 22);
        cairo_stroke(cr);
        break;
    case IDI_QUESTION: // a white balloon with a blue question mark
        cairo_arc(cr, 16, 14, 13, 0, 2 * M_PI);
        outlined(cr, 255, 255, 255);
        rgb(cr, 20, 60, 200);
        cairo_set_line_width(cr, 3.5);
        cairo_arc(cr, 16, 10.5, 5, M_PI, M_PI * 2.3);
        cairo_line_to(cr, 16, 17);
        cairo_stroke(cr);
        cairo_arc(cr, 16, 22, 2.2, 0, 2 * M_PI);
        cairo_fill(cr);
        break;
    case IDI_EXCLAMATION: // a yellow triangle with a black bar and dot
        cairo_move_to(cr, 16, 2);
        cairo_line_to(cr, 30.5, 29);
        cairo_line_to(cr, 1.5, 29);
        cairo_close_path(cr);
        outlined(cr, 250, 210, 20);
        rgb(cr, 0, 0, 0);
        cairo_rectangle(cr, 14.5, 10, 3, 10);
        cairo_fill(cr);
        cairo_arc(cr, 16, 24.5, 1.8, 0, 2 * M_PI);
        cairo_fill(cr);
        break;
    case IDI_ASTERISK: // a white balloon with a blue "i"
        cairo_arc(cr, 16, 14, 13, 0, 2 * M_PI);
        outlined(cr, 255, 255, 255);
        rgb(cr, 20, 60, 200);
        cairo_arc(cr, 16, 7.5, 2.2, 0, 2 * M_PI);
        cairo_fill(cr);
        cairo_rectangle(cr, 14.2, 11.5, 3.6, 11);
        cairo_fill(cr);
        break;
    default: // application and logo: a window with a caption
        cairo_rectangle(cr, 2.5, 4.5, 27, 23);
        outlined(cr, 255, 255, 255);
        rgb(cr, 10, 36, 106);
        cairo_rectangle(cr, 3, 5, 26, 5);
        cairo_fill(cr);
        break;
    }
}

// A double-headed arrow along the x axis, for the sizing cursors.
void doubleArrow(cairo_t* cr, double angle) {
    cairo_save(cr);
    cairo_translate(cr, 16, 16);
    cairo_rotate(cr, angle);
    cairo_move_to(cr, -11, 0);
    cairo_line_to(cr, -6, -5);
    cairo_line_to(cr, -6, -2);
    cairo_line_to(cr, 6, -2);
    cairo_line_to(cr, 6, -5);
    cairo_line_to(cr, 11, 0);
    cairo_line_to(cr, 6, 5);
    cairo_line_to(cr, 6, 2);
    cairo_line_to(cr, -6, 2);
    cairo_line_to(cr, -6, 5);
    cairo_close_path(cr);
    cairo_restore(cr);
    rgb(cr, 0, 0, 0);
    cairo_fill_preserve(cr);
    rgb(cr, 255, 255, 255);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void arrowShape(cairo_t* cr, double x, double y, double s) {
    cairo_move_to(cr, x, y);
    cairo_line_to(cr, x, y + 16 * s);
    cairo_line_to(cr, x + 4 * s, y + 12.5 * s);
    cairo_line_to(cr, x + 7 * s, y + 19 * s);
    cairo_line_to(cr, x + 9.5 * s, y + 18 * s);
    cairo_line_to(cr, x + 6.5 * s, y + 11.5 * s);
    cairo_line_to(cr, x + 11.5 * s, y + 11.5 * s);
    cairo_close_path(cr);
    rgb(cr, 255, 255, 255);
    cairo_fill_preserve(cr);
    rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

POINT paintStockCursor(cairo_t* cr, unsigned id) {
    switch (id) {
    case IDC_ARROW:
        arrowShape(cr, 0.5, 0.5, 1);
        return {0, 0};
    case IDC_IBEAM:
        rgb(cr, 0, 0, 0);
        cairo_set_line_width(cr, 1);
        cairo_move_to(cr, 12, 6.5);
        cairo_line_to(cr, 20, 6.5);
        cairo_move_to(cr, 16.5, 7);
        cairo_line_to(cr, 16.5, 25);
        cairo_move_to(cr, 12, 25.5);
        cairo_line_to(cr, 20, 25.5);
        cairo_stroke(cr);
        return {16, 16};
    case IDC_WAIT:
    case IDC_APPSTARTING: {
        double x = id == IDC_WAIT ? 8 : 14, y = id == IDC_WAIT ? 4 : 10;
        if (id == IDC_APPSTARTING) arrowShape(cr, 0.5, 0.5, 1);
        cairo_move_to(cr, x, y);
        cairo_line_to(cr, x + 16, y);
        cairo_line_to(cr, x + 9, y + 12);
        cairo_line_to(cr, x + 16, y + 24);
        cairo_line_to(cr, x, y + 24);
        cairo_line_to(cr, x + 7, y + 12);
        cairo_close_path(cr);
        outlined(cr, 255, 255, 255);
        rgb(cr, 0, 0, 0);
        cairo_move_to(cr, x + 4, y + 20);
        cairo_line_to(cr, x + 12, y + 20);
        cairo_line_to(cr, x + 8, y + 15);
        cairo_close_path(cr);
        cairo_fill(cr);
        return id == IDC_WAIT ? POINT{16, 16} : POINT{0, 0};
    }
    case IDC_CROSS:
        rgb(cr, 0, 0, 0);
        cairo_set_line_width(cr, 1);
        cairo_move_to(cr, 16.5, 4);
        cairo_line_to(cr, 16.5, 29);
        cairo_move_to(cr, 4, 16.5);
        cairo_line_to(cr, 29, 16.5);
        cairo_stroke(cr);
        return {16, 16};
    case IDC_UPARROW:
        cairo_move_to(cr, 16, 2);
        cairo_line_to(cr, 24, 12);
        cairo_line_to(cr, 19, 12);
        cairo_line_to(cr, 19, 28);
        cairo_line_to(cr, 13, 28);
        cairo_line_to(cr, 13, 12);
        cairo_line_to(cr, 8, 12);
        cairo_close_path(cr);
        outlined(cr, 255, 255, 255);
        return {16, 2};
    case IDC_SIZEWE:
        doubleArrow(cr, 0);
        return {16, 16};
    case IDC_SIZENS:
        doubleArrow(cr, M_PI / 2);
        return {16, 16};
    case IDC_SIZENWSE:
        doubleArrow(cr, M_PI / 4);
        return {16, 16};
    case IDC_SIZENESW:
        doubleArrow(cr, -M_PI / 4);
        return {16, 16};
    case IDC_SIZEALL:
        doubleArrow(cr, 0);
        doubleArrow(cr, M_PI / 2);
        return {16, 16};
    case IDC_NO:
        cairo_arc(cr, 16, 16, 11, 0, 2 * M_PI);
        cairo_set_line_width(cr, 4);
        rgb(cr, 200, 0, 0);
        cairo_stroke(cr);
        cairo_move_to(cr, 8.5, 8.5);
        cairo_line_to(cr, 23.5, 23.5);
        cairo_stroke(cr);
        return {16, 16};
    case IDC_HAND:
        cairo_move_to(cr, 9, 1);
        cairo_line_to(cr, 13, 1);
        cairo_line_to(cr, 13, 10);
        cairo_line_to(cr, 24, 12);
        cairo_line_to(cr, 24, 22);
        cairo_line_to(cr, 20, 28);
        cairo_line_to(cr, 11, 28);
        cairo_line_to(cr, 4, 18);
        cairo_line_to(cr, 6, 15);
        cairo_line_to(cr, 9, 17);
        cairo_close_path(cr);
        outlined(cr, 255, 255, 255);
        return {11, 1};
    case IDC_HELP:
        arrowShape(cr, 0.5, 0.5, 1);
        rgb(cr, 0, 0, 0);
        cairo_set_line_width(cr, 2.5);
        cairo_arc(cr, 22, 8, 4, M_PI, M_PI * 2.3);
        cairo_line_to(cr, 22, 14);
        cairo_stroke(cr);
        cairo_arc(cr, 22, 18, 1.5, 0, 2 * M_PI);
        cairo_fill(cr);
        return {0, 0};
    default:
        return {-1, -1};
    }
}

HICON stockImage(unsigned id, bool cursor) {
    static std::mutex lock;
    static std::map<std::pair<bool, unsigned>, HICON> made;
    std::lock_guard g(lock);
    auto key = std::make_pair(cursor, id);
    if (auto it = made.find(key); it != made.end()) return it->second;
    if (!cursor && (id < IDI_APPLICATION || id > IDI_WINLOGO)) return HICON{};
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 32, 32);
    cairo_t* cr = cairo_create(s);
    POINT hot{0, 0};
    if (cursor)
        hot = paintStockCursor(cr, id);
    else
        paintStockIcon(cr, id);
    cairo_destroy(cr);
    HICON h;
    if (hot.x >= 0) {
        auto icon = iconFromSurface(s, !cursor, hot);
        icon->stock = true;
        h = HICON{add(std::move(icon))};
        made.emplace(key, h);
    }
    cairo_surface_destroy(s);
    return h;
}

std::vector<std::uint8_t> monoBits(HBITMAP bm, int& w, int& h) {
    std::vector<std::uint32_t> px;
    std::vector<std::uint8_t> out;
    if (!GetBitmapPixels(bm, &w, &h, &px)) return out;
    for (auto p : px)
        out.push_back((p & 0xFFFFFF) != 0);
    return out;
}

} // namespace

HICON LoadIcon(std::uintptr_t module, unsigned id) {
    if (module != 0) return HICON{};
    return stockImage(id, false);
}

HCURSOR LoadCursor(std::uintptr_t module, unsigned id) {
    if (module != 0) return HCURSOR{};
    return stockImage(id, true);
}

HICON CreateIconIndirect(const ICONINFO* info) {
    if (!info || !getBitmap(info->hbmMask)) return HICON{};
    auto icon = std::make_unique<Icon>();
    icon->isIcon = info->fIcon;
    icon->hotspot = POINT{LONG(info->xHotspot), LONG(info->yHotspot)};
    int mw = 0, mh = 0;
    auto mask = monoBits(info->hbmMask, mw, mh);
    if (info->hbmColor) {
        int w = 0, h = 0;
        std::vector<std::uint32_t> px;
        if (!GetBitmapPixels(info->hbmColor, &w, &h, &px) || mw < w || mh < h) return HICON{};
        icon->width = w;
        icon->height = h;
        icon->color = px;
        icon->hasAlpha = BitmapHasAlpha(info->hbmColor);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                icon->andMask.push_back(mask[size_t(y) * size_t(mw) + size_t(x)]);
    } else {
        // A monochrome icon: AND mask above, XOR mask below.
        if (mh < 2) return HICON{};
        icon->width = mw;
        icon->height = mh / 2;
        size_t half = size_t(mw) * size_t(mh / 2);
        icon->andMask.assign(mask.begin(), mask.begin() + std::ptrdiff_t(half));
        icon->xorMask.assign(mask.begin() + std::ptrdiff_t(half),
                             mask.begin() + std::ptrdiff_t(2 * half));
    }
    return HICON{add(std::move(icon))};
}

bool GetIconInfo(HICON hicon, ICONINFO* info) {
    Icon* icon = getIcon(hicon);
    if (!icon || !info) return false;
    info->fIcon = icon->isIcon;
    info->xHotspot = DWORD(icon->hotspot.x);
    info->yHotspot = DWORD(icon->hotspot.y);
    int w = icon->width, h = icon->height;
    bool mono = icon->color.empty();
    std::vector<std::uint32_t> maskPx;
    for (auto b : icon->andMask)
        maskPx.push_back(b ? 0xFFFFFFFF : 0xFF000000);
    if (mono)
        for (auto b : icon->xorMask)
            maskPx.push_back(b ? 0xFFFFFFFF : 0xFF000000);
    auto maskBm = makeBitmap(w, mono ? 2 * h : h, true);
    if (!maskBm) return false;
    auto* d = cairo_image_surface_get_data(maskBm->surface.get());
    int stride = cairo_image_surface_get_stride(maskBm->surface.get());
    for (int y = 0; y < (mono ? 2 * h : h); ++y)
        std::memcpy(d + std::ptrdiff_t(y) * stride, &maskPx[size_t(y) * size_t(w)], size_t(w) * 4);
    cairo_surface_mark_dirty(maskBm->surface.get());
    info->hbmMask = addBitmap(std::move(maskBm));
    info->hbmColor =
        mono ? HBITMAP{} : CreateBitmapFromPixels(w, h, icon->color.data(), icon->hasAlpha);
    return true;
}

HICON CopyIcon(HICON hicon) {
    Icon* icon = getIcon(hicon);
    if (!icon) return HICON{};
    auto copy = std::make_unique<Icon>(*icon);
    copy->stock = false;
    return HICON{add(std::move(copy))};
}

bool DestroyIcon(HICON hicon) {
    Icon* icon = getIcon(hicon);
    if (!icon) return false;
    if (icon->stock) return true;
    return remove(hicon.value);
}

SIZE GetIconSize(HICON hicon) {
    Icon* icon = getIcon(hicon);
    return icon ? SIZE{icon->width, icon->height} : SIZE{};
}

bool GetIconPixels(HICON hicon, int* width, int* height, std::vector<std::uint32_t>* argb) {
    Icon* icon = getIcon(hicon);
    if (!icon || !argb) return false;
    argb->clear();
    for (size_t i = 0; i < size_t(icon->width) * size_t(icon->height); ++i) {
        std::uint32_t c =
            icon->color.empty() ? (icon->xorMask[i] ? 0xFFFFFFFF : 0xFF000000) : icon->color[i];
        if (!icon->hasAlpha) c = icon->andMask[i] ? 0 : (c | 0xFF000000);
        argb->push_back(c);
    }
    if (width) *width = icon->width;
    if (height) *height = icon->height;
    return true;
}

bool DrawIcon(HDC hdc, int x, int y, HICON icon) {
    return DrawIconEx(hdc, x, y, icon, 0, 0, 0, HBRUSH{}, DI_NORMAL);
}

bool DrawIconEx(HDC hdc, int x, int y, HICON hicon, int cx, int cy, UINT, HBRUSH background,
                UINT flags) {
    Dc* dc = getDc(hdc);
    Icon* icon = getIcon(hicon);
    if (!dc || !icon) return false;
    if (cx == 0) cx = (flags & DI_DEFAULTSIZE) ? 32 : icon->width;
    if (cy == 0) cy = (flags & DI_DEFAULTSIZE) ? 32 : icon->height;
    if (cx <= 0 || cy <= 0) return false;
    if (background) {
        RECT r{x, y, x + cx, y + cy};
        FillRect(hdc, &r, background);
    }
    if (!(flags & DI_NORMAL)) flags |= DI_NORMAL;
    drawIcon(*dc, x, y, *icon, cx, cy, flags & DI_NORMAL);
    return true;
}

} // namespace ax
