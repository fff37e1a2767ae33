// Image lists: equal-sized images with optional masks, drawn transparent,
// over a background colour, blended with a highlight colour or as masks.
#include "image_internal.h"

#include <algorithm>
#include <utility>

namespace ax {
using namespace gdi;

namespace {

bool masked(const ImageList& l) {
    return (l.flags & ILC_MASK) != 0;
}

// Splits a bitmap into list-sized cells.
int addCells(ImageList& l, HBITMAP image,
             const std::function<bool(int x, int y, std::uint32_t px)>& transparent, bool alpha) {
    int w = 0, h = 0;
    std::vector<std::uint32_t> px;
    if (!GetBitmapPixels(image, &w, &h, &px) || w < l.cx || h < l.cy) return -1;
    int first = int(l.images.size());
    for (int cell = 0; cell < w / l.cx; ++cell) {
        ImageEntry e;
        for (int y = 0; y < l.cy; ++y)
            for (int x = 0; x < l.cx; ++x) {
                int sx = cell * l.cx + x;
                std::uint32_t p = px[size_t(y) * size_t(w) + size_t(sx)];
                bool clear = alpha ? (p >> 24) == 0 : transparent(sx, y, p);
                if (!alpha) p |= 0xFF000000;
                // Masked-out pixels are black in the image, as the mask rules expect.
                if (clear && !alpha) p = 0xFF000000;
                e.argb.push_back(p);
                e.mask.push_back(clear);
            }
        l.images.push_back(std::move(e));
    }
    return first;
}

std::uint32_t blend(std::uint32_t c, std::uint32_t with, int parts) {
    // parts of 4 taken from `with`.
    std::uint32_t out = 0;
    for (int sh = 0; sh < 24; sh += 8)
        out |=
            ((((c >> sh) & 0xFF) * unsigned(4 - parts) + ((with >> sh) & 0xFF) * unsigned(parts)) /
             4)
            << sh;
    return out;
}

std::unique_lock<std::recursive_mutex> lockList(ImageList* l) {
    return l ? std::unique_lock(l->mutex) : std::unique_lock<std::recursive_mutex>();
}

} // namespace

HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow) {
    if (cx <= 0 || cy <= 0 || cx > 4096 || cy > 4096) return HIMAGELIST{};
    auto l = std::make_unique<ImageList>();
    l->cx = cx;
    l->cy = cy;
    l->flags = flags;
    l->grow = std::max(grow, 1);
    l->images.reserve(size_t(std::clamp(initial, 0, 1024)));
    return HIMAGELIST{add(std::move(l))};
}

bool ImageList_Destroy(HIMAGELIST list) {
    if (!getImageList(list)) return false;
    return remove(list.value);
}

int ImageList_GetImageCount(HIMAGELIST list) {
    auto* l = getImageList(list);
    auto guard = lockList(l);
    return l ? int(l->images.size()) : 0;
}

bool ImageList_SetImageCount(HIMAGELIST list, UINT count) {
    auto* l = getImageList(list);
    auto guard = lockList(l);
    if (!l || count > 65536) return false;
    ImageEntry blank;
    blank.argb.assign(size_t(l->cx) * size_t(l->cy), 0xFF000000);
    blank.mask.assign(size_t(l->cx) * size_t(l->cy), 0);
    l->images.resize(count, blank);
    return true;
}

bool ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy) {
    auto* l = getImageList(list);
    auto guard = lockList(l);
    if (!l || !cx || !cy) return false;
    *cx = l->cx;
    *cy = l->cy;
    return true;
}

bool ImageList_SetIconSize(HIMAGELIST list, int cx, int cy) {
    auto* l = getImageList(list);
    auto guard = lockList(l);
    if (!l || cx <= 0 || cy <= 0) return false;
    l->cx = cx;
    l->cy = cy;
    l->images.clear();
    return true;
}

int ImageList_Add(HIMAGELIST list, HBITMAP image, HBITMAP mask) {
    auto* l = getImageList(list);
    auto guard = lockList(l);
    if (!l || !getBitmap(image)) return -1;
    std::vector<std::uint32_t> maskPx;
    int mw = 0, mh = 0;
    if (mask && masked(*l) && !GetBitmapPixels(mask, &mw, &mh, &maskPx)) return -1;
    bool alpha = BitmapHasAlpha(image) && (l->flags & 0xFE) == ILC_COLOR32;
    return addCells(
        *l, image,
        [&](int x, int y, std::uint32_t) {
            if (maskPx.empty() || x >= mw || y >= mh) return false;
            return (maskPx[size_t(y) * size_t(mw) + size_t(x)] & 0xFFFFFF) != 0;
        },
        alpha);
}

int ImageList_AddMasked(HIMAGELIST list, HBITMAP image, COLORREF maskColor) {
    auto* l = getImageList(list);
    auto guard = lockList(l);
    if (!l || !getBitmap(image)) return -1;
    std::uint32_t key = toPixel(maskColor & 0xFFFFFF);
    bool use = masked(*l);
    return addCells(
        *l, image, [&](int, int, std::uint32_t p) { return use && (p & 0xFFFFFF) == key; }, false);
}

bool ImageList_Replace(HIMAGELIST list, int index, HBITMAP image, HBITMAP mask) {
    auto* l = getImageList(list);
    auto guard = lockList(l);
    if (!l || index < 0 || index >= int(l->images.size())) return false;
    int added = ImageList_Add(list, image, mask);
    if (added < 0) return false;
    l->images[size_t(index)] = std::move(l->images[size_t(added)]);
    l->images.resize(size_t(added));
    return true;
}

int ImageList_ReplaceIcon(HIMAGELIST list, int index, HICON hicon) {
    auto* l = getImageList(list);
    auto guard = lockList(l);
    Icon* icon = getIcon(hicon);
    if (!l || !icon || index < -1 || index >= int(l->images.size())) return -1;
    Icon scaled = *icon;
    if (scaled.width != l->cx || scaled.height != l->cy) scaleIcon(scaled, l->cx, l->cy);
    ImageEntry e;
    for (size_t i = 0; i < size_t(l->cx) * size_t(l->cy); ++i) {
        std::uint32_t c =
            scaled.color.empty() ? (scaled.xorMask[i] ? 0xFFFFFFFF : 0xFF000000) : scaled.color[i];
        bool clear = scaled.hasAlpha ? (c >> 24) == 0 : bool(scaled.andMask[i]);
        if (!scaled.hasAlpha) c = clear ? 0xFF000000 : (c | 0xFF000000);
        e.argb.push_back(c);
        e.mask.push_back(clear);
    }
    if (index == -1) {
        l->images.push_back(std::move(e));
        return int(l->images.size()) - 1;
    }
    l->images[size_t(index)] = std::move(e);
    return index;
}

bool ImageList_Remove(HIMAGELIST list, int index) {
    auto* l = getImageList(list);
    auto guard = lockList(l);
    if (!l) return false;
    if (index == -1) {
        l->images.clear();
        return true;
    }
    if (index < 0 || index >= int(l->images.size())) return false;
    l->images.erase(l->images.begin() + index);
    return true;
}

HICON ImageList_GetIcon(HIMAGELIST list, int index, UINT) {
    auto* l = getImageList(list);
    auto guard = lockList(l);
    if (!l || index < 0 || index >= int(l->images.size())) return HICON{};
    const ImageEntry& e = l->images[size_t(index)];
    auto icon = std::make_unique<Icon>();
    icon->width = l->cx;
    icon->height = l->cy;
    icon->color = e.argb;
    icon->andMask = e.mask;
    icon->hasAlpha = (l->flags & 0xFE) == ILC_COLOR32 &&
                     std::any_of(e.argb.begin(), e.argb.end(),
                                 [](std::uint32_t p) { return (p >> 24) != 0xFF; });
    return HICON{add(std::move(icon))};
}

COLORREF ImageList_SetBkColor(HIMAGELIST list, COLORREF color) {
    auto* l = getImageList(list);
    auto guard = lockList(l);
    return l ? std::exchange(l->bkColor, color) : CLR_NONE;
}

COLORREF ImageList_GetBkColor(HIMAGELIST list) {
    auto* l = getImageList(list);
    auto guard = lockList(l);
    return l ? l->bkColor : CLR_NONE;
}

bool ImageList_SetOverlayImage(HIMAGELIST list, int image, int overlay) {
    auto* l = getImageList(list);
    auto guard = lockList(l);
    if (!l || overlay < 1 || overlay > 15 || image < -1 || image >= int(l->images.size()))
        return false;
    l->overlays[overlay] = image;
    return true;
}

bool ImageList_Draw(HIMAGELIST list, int index, HDC hdc, int x, int y, UINT style) {
    return ImageList_DrawEx(list, index, hdc, x, y, 0, 0, CLR_DEFAULT, CLR_DEFAULT, style);
}

bool ImageList_DrawEx(HIMAGELIST list, int index, HDC hdc, int x, int y, int dx, int dy,
                      COLORREF background, COLORREF foreground, UINT style) {
    auto* l = getImageList(list);
    auto guard = lockList(l);
    Dc* dc = getDc(hdc);
    if (!l || !dc || index < 0 || index >= int(l->images.size())) return false;
    Target t;
    if (!makeTarget(*dc, t)) return false;
    const ImageEntry& e = l->images[size_t(index)];
    int w = dx > 0 ? std::min(dx, l->cx) : l->cx;
    int h = dy > 0 ? std::min(dy, l->cy) : l->cy;
    COLORREF bk = background == CLR_DEFAULT ? l->bkColor : background;
    bool transparent = (style & ILD_TRANSPARENT) || bk == CLR_NONE;
    bool hasMask = masked(*l);
    COLORREF fg = (foreground == CLR_DEFAULT || foreground == CLR_NONE)
                      ? GetSysColor(COLOR_HIGHLIGHT)
                      : foreground;
    int parts = (style & ILD_BLEND50) ? 2 : (style & ILD_BLEND25) ? 1 : 0;
    std::uint32_t fgPx = toPixel(fg & 0xFFFFFF);
    std::uint32_t bkPx = toPixel(bk & 0xFFFFFF);
    const RECT placed = rectToDevice(dc->state, RECT{x, y, x + w, y + h});
    const POINT d{placed.left, placed.top}; // a picture is placed, never turned round
    forEachPixel(t, RECT{d.x, d.y, d.x + w, d.y + h}, [&](int sx, int sy) {
        int ix = sx - t.origin.x - d.x, iy = sy - t.origin.y - d.y;
        size_t i = size_t(iy) * size_t(l->cx) + size_t(ix);
        std::uint32_t& px = t.at(sx, sy);
        std::uint32_t dv = px & 0xFFFFFF;
        bool clear = hasMask && e.mask[i];
        if (style & ILD_MASK) {
            px = 0xFF000000 | (clear ? 0xFFFFFF : 0);
            return;
        }
        std::uint32_t c = e.argb[i];
        unsigned a = c >> 24;
        std::uint32_t under = dv;
        if (clear || a < 255) {
            if (!transparent) under = bkPx;
            if (clear && a == 255) {
                if (!transparent) px = 0xFF000000 | (t.mono ? toMono(under) : under);
                return;
            }
        }
        std::uint32_t out = 0;
        for (int sh = 0; sh < 24; sh += 8)
            out |= ((((c >> sh) & 0xFF) * a + ((under >> sh) & 0xFF) * (255 - a) + 127) / 255)
                   << sh;
        if (parts && !clear) out = blend(out, fgPx, parts);
        px = 0xFF000000 | (t.mono ? toMono(out) : out);
    });
    finishTarget(*dc);
    int overlay = int((style & ILD_OVERLAYMASK) >> 8);
    if (overlay >= 1 && overlay <= 15 && l->overlays[overlay] >= 0 && l->overlays[overlay] != index)
        ImageList_DrawEx(list, l->overlays[overlay], hdc, x, y, dx, dy, CLR_NONE, foreground,
                         ILD_TRANSPARENT | (style & (ILD_BLEND25 | ILD_BLEND50)));
    return true;
}

} // namespace ax
