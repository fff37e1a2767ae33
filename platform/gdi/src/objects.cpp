// Handle table, stock objects, system colours and object creation.
#include "objects.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace ax {
namespace gdi {
namespace {

constexpr std::uint32_t kStockBase = 0x100;
constexpr std::uint32_t kFirstDynamic = 0x1000;

struct Table {
    std::mutex lock;
    std::unordered_map<std::uint32_t, std::unique_ptr<Object>> objects;
    // The DCs among them: asking which objects are selected looks only here.
    std::unordered_map<std::uint32_t, Dc*> dcs;
    std::uint32_t next = kFirstDynamic;
};

Table& table() {
    static Table t;
    return t;
}

constexpr std::array<COLORREF, SYS_COLOR_COUNT> kClassicColors = {
    RGB(212, 208, 200), RGB(58, 110, 165),
    RGB(10, 36, 106),   RGB(128, 128, 128),
    RGB(212, 208, 200), RGB(255, 255, 255),
    RGB(0, 0, 0),       RGB(0, 0, 0),
    RGB(0, 0, 0),       RGB(255, 255, 255),
    RGB(212, 208, 200), RGB(212, 208, 200),
    RGB(128, 128, 128), RGB(10, 36, 106),
    RGB(255, 255, 255), RGB(212, 208, 200),
    RGB(128, 128, 128), RGB(128, 128, 128),
    RGB(0, 0, 0),       RGB(212, 208, 200),
    RGB(255, 255, 255), RGB(64, 64, 64),
    RGB(212, 208, 200), RGB(0, 0, 0),
    RGB(255, 255, 225), 0,
    RGB(0, 0, 128),     RGB(166, 202, 240),
    RGB(192, 192, 192), RGB(10, 36, 106),
    RGB(212, 208, 200),
};

struct SysColorTable {
    std::array<std::atomic<COLORREF>, SYS_COLOR_COUNT> colors;
    SysColorTable() {
        for (int i = 0; i < SYS_COLOR_COUNT; ++i)
            colors[i] = kClassicColors[i];
    }
};

std::array<std::atomic<COLORREF>, SYS_COLOR_COUNT>& sysColors() {
    static SysColorTable table;
    return table.colors;
}

std::unique_ptr<Object> makeFont(const char* face, int height, int weight) {
    auto f = std::make_unique<Font>();
    f->lf.lfHeight = height;
    f->lf.lfWeight = weight;
    std::strncpy(f->lf.lfFaceName, face, sizeof f->lf.lfFaceName - 1);
    return f;
}

// Stock objects and system colour brushes are made on first use.
std::unique_ptr<Object> makeBuiltin(std::uint32_t value) {
    std::unique_ptr<Object> obj;
    if (value >= 1 && value <= SYS_COLOR_COUNT) {
        auto b = std::make_unique<Brush>();
        b->sysColor = int(value) - 1;
        obj = std::move(b);
    } else if (value == kStockBase + 31) {
        auto b = makeBitmap(1, 1, true);
        obj = std::move(b);
    } else if (value >= kStockBase && value < kStockBase + 20) {
        int index = int(value - kStockBase);
        auto brush = [](COLORREF c, UINT style = BS_SOLID) {
            auto b = std::make_unique<Brush>();
            b->color = c;
            b->style = style;
            return b;
        };
        auto pen = [](COLORREF c, int style = PS_SOLID) {
            auto p = std::make_unique<Pen>();
            p->color = c;
            p->style = DWORD(style);
            return p;
        };
        switch (index) {
        case WHITE_BRUSH:
            obj = brush(RGB(255, 255, 255));
            break;
        case LTGRAY_BRUSH:
            obj = brush(RGB(192, 192, 192));
            break;
        case GRAY_BRUSH:
            obj = brush(RGB(128, 128, 128));
            break;
        case DKGRAY_BRUSH:
            obj = brush(RGB(64, 64, 64));
            break;
        case BLACK_BRUSH:
            obj = brush(0);
            break;
        case NULL_BRUSH:
            obj = brush(0, BS_NULL);
            break;
        case WHITE_PEN:
            obj = pen(RGB(255, 255, 255));
            break;
        case BLACK_PEN:
            obj = pen(0);
            break;
        case NULL_PEN:
            obj = pen(0, PS_NULL);
            break;
        case OEM_FIXED_FONT:
        case ANSI_FIXED_FONT:
        case SYSTEM_FIXED_FONT:
            obj = makeFont("Courier New", -13, FW_NORMAL);
            break;
        case SYSTEM_FONT:
        case DEVICE_DEFAULT_FONT:
            obj = makeFont("MS Sans Serif", -11, FW_BOLD);
            break;
        case ANSI_VAR_FONT:
        case DEFAULT_GUI_FONT:
            obj = makeFont("MS Sans Serif", -11, FW_NORMAL);
            break;
        case DC_BRUSH: {
            auto b = brush(0xFFFFFF);
            b->dcBrush = true;
            obj = std::move(b);
            break;
        }
        case DC_PEN: {
            auto p = pen(0);
            p->dcPen = true;
            obj = std::move(p);
            break;
        }
        default:
            break;
        }
    }
    if (obj) obj->stock = true;
    return obj;
}

} // namespace

std::uint32_t add(std::unique_ptr<Object> obj) {
    auto& t = table();
    std::lock_guard g(t.lock);
    while (t.objects.count(t.next) || t.next < kFirstDynamic) {
        ++t.next;
        if (t.next == 0) t.next = kFirstDynamic;
    }
    std::uint32_t value = t.next++;
    if (obj->kind == Kind::Dc) t.dcs.emplace(value, static_cast<Dc*>(obj.get()));
    t.objects.emplace(value, std::move(obj));
    return value;
}

Object* lookup(std::uint32_t value) {
    if (value == 0) return nullptr;
    auto& t = table();
    std::lock_guard g(t.lock);
    auto it = t.objects.find(value);
    if (it != t.objects.end()) return it->second.get();
    if (value >= kFirstDynamic) return nullptr;
    auto obj = makeBuiltin(value);
    if (!obj) return nullptr;
    Object* raw = obj.get();
    t.objects.emplace(value, std::move(obj));
    return raw;
}

bool remove(std::uint32_t value) {
    std::unique_ptr<Object> doomed;
    {
        auto& t = table();
        std::lock_guard g(t.lock);
        auto it = t.objects.find(value);
        if (it == t.objects.end()) return false;
        doomed = std::move(it->second);
        t.objects.erase(it);
        t.dcs.erase(value);
    }
    return true;
}

namespace {
bool stateHolds(const DcState& s, std::uint32_t v) {
    return s.pen.value == v || s.brush.value == v || s.font.value == v || s.bitmap.value == v;
}
} // namespace

bool isSelected(std::uint32_t value) {
    auto& t = table();
    std::lock_guard g(t.lock);
    for (auto& [id, dc] : t.dcs) {
        if (stateHolds(dc->state, value)) return true;
        for (auto& s : dc->saved)
            if (stateHolds(s, value)) return true;
    }
    return false;
}

std::uint32_t dcHoldingBitmap(std::uint32_t bitmapValue) {
    auto& t = table();
    std::lock_guard g(t.lock);
    for (auto& [id, dc] : t.dcs) {
        if (dc->state.bitmap.value == bitmapValue) return id;
        for (auto& s : dc->saved)
            if (s.bitmap.value == bitmapValue) return id;
    }
    return 0;
}

std::unique_ptr<Bitmap> makeBitmap(int width, int height, bool mono) {
    if (width <= 0 || height <= 0 || width > 32767 || height > 32767) return nullptr;
    if (std::int64_t(width) * height > (std::int64_t(1) << 26)) return nullptr;
    auto b = std::make_unique<Bitmap>();
    b->width = width;
    b->height = height;
    b->mono = mono;
    b->surface.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(b->surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    // Opaque black: drawing and raster operations treat bitmaps as opaque.
    auto* data = cairo_image_surface_get_data(b->surface.get());
    int stride = cairo_image_surface_get_stride(b->surface.get());
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + std::ptrdiff_t(y) * stride);
        std::fill(row, row + width, 0xFF000000u);
    }
    cairo_surface_mark_dirty(b->surface.get());
    return b;
}

HBITMAP stockBitmap() {
    return HBITMAP{{{kStockBase + 31}}};
}

HBITMAP addBitmap(std::unique_ptr<Bitmap> bitmap) {
    if (!bitmap) return HBITMAP{};
    return HBITMAP{{{add(std::move(bitmap))}}};
}

} // namespace gdi

using namespace gdi;

COLORREF GetSysColor(int index) {
    if (index < 0 || index >= SYS_COLOR_COUNT) return 0;
    return sysColors()[index];
}

HBRUSH GetSysColorBrush(int index) {
    if (index < 0 || index >= SYS_COLOR_COUNT) return HBRUSH{};
    return SysColorBrushValue(index);
}

bool SetSysColors(int count, const int* indices, const COLORREF* colors) {
    if (count < 0 || (count > 0 && (!indices || !colors))) return false;
    for (int i = 0; i < count; ++i)
        if (indices[i] >= 0 && indices[i] < SYS_COLOR_COUNT)
            sysColors()[indices[i]] = colors[i] & 0xFFFFFF;
    return true;
}

void ResetSysColors() {
    for (int i = 0; i < SYS_COLOR_COUNT; ++i)
        sysColors()[i] = kClassicColors[i];
}

HGDIOBJ GetStockObject(int index) {
    if (index < 0 || index > DC_PEN || index == 9 || index == 15) return HGDIOBJ{};
    std::uint32_t value = kStockBase + std::uint32_t(index);
    return lookup(value) ? HGDIOBJ{{value}} : HGDIOBJ{};
}

bool DeleteObject(HGDIOBJ obj) {
    Object* o = lookup(obj.value);
    if (!o) return false;
    if (o->kind == Kind::Dc || o->kind == Kind::Icon || o->kind == Kind::ImageList) return false;
    if (o->stock) return true;
    if (isSelected(obj.value)) return false;
    return remove(obj.value);
}

UINT GetObjectType(HGDIOBJ obj) {
    Object* o = lookup(obj.value);
    if (!o) return 0;
    switch (o->kind) {
    case Kind::Pen:
        return OBJ_PEN;
    case Kind::Brush:
        return OBJ_BRUSH;
    case Kind::Font:
        return OBJ_FONT;
    case Kind::Bitmap:
        return OBJ_BITMAP;
    case Kind::Region:
        return OBJ_REGION;
    default:
        return 0;
    }
}

int GetObject(HGDIOBJ obj, int size, void* out) {
    Object* o = lookup(obj.value);
    if (!o) return 0;
    auto copy = [&](const auto& value) {
        int n = int(sizeof value);
        if (!out) return n;
        if (size < n) return 0;
        std::memcpy(out, &value, sizeof value);
        return n;
    };
    switch (o->kind) {
    case Kind::Pen: {
        auto* p = static_cast<Pen*>(o);
        LOGPEN lp;
        lp.lopnStyle = p->style;
        lp.lopnWidth.x = p->width;
        lp.lopnColor = p->color;
        return copy(lp);
    }
    case Kind::Brush: {
        auto* b = static_cast<Brush*>(o);
        LOGBRUSH lb;
        lb.lbStyle = b->style;
        lb.lbColor = b->sysColor >= 0 ? GetSysColor(b->sysColor) : b->color;
        lb.lbHatch = std::uintptr_t(b->hatch);
        return copy(lb);
    }
    case Kind::Font:
        return copy(static_cast<Font*>(o)->lf);
    case Kind::Bitmap: {
        auto* b = static_cast<Bitmap*>(o);
        BITMAP bm;
        bm.bmWidth = b->width;
        bm.bmHeight = b->height;
        bm.bmBitsPixel = b->mono ? 1 : 32;
        bm.bmWidthBytes = b->mono ? ((b->width + 15) / 16) * 2 : b->width * 4;
        return copy(bm);
    }
    default:
        return 0;
    }
}

GdiObjectCounts GetGdiObjectCounts() {
    GdiObjectCounts c;
    auto& t = table();
    std::lock_guard g(t.lock);
    for (auto& [id, obj] : t.objects) {
        if (obj->stock) continue;
        switch (obj->kind) {
        case Kind::Pen:
            ++c.pens;
            break;
        case Kind::Brush:
            ++c.brushes;
            break;
        case Kind::Font:
            ++c.fonts;
            break;
        case Kind::Bitmap:
            ++c.bitmaps;
            break;
        case Kind::Region:
            ++c.regions;
            break;
        case Kind::Dc:
            ++c.dcs;
            break;
        case Kind::Icon:
            ++c.icons;
            break;
        case Kind::ImageList:
            ++c.imageLists;
            break;
        }
    }
    return c;
}

HPEN CreatePen(int style, int width, COLORREF color) {
    if (style < int(PS_SOLID) || style > int(PS_INSIDEFRAME)) return HPEN{};
    auto p = std::make_unique<Pen>();
    p->style = DWORD(style);
    p->width = std::max(width, 0);
    p->color = color & 0xFFFFFF;
    return HPEN{{{add(std::move(p))}}};
}

HPEN CreatePenIndirect(const LOGPEN* lp) {
    if (!lp) return HPEN{};
    return CreatePen(int(lp->lopnStyle), lp->lopnWidth.x, lp->lopnColor);
}

HPEN ExtCreatePen(DWORD style, DWORD width, const LOGBRUSH* brush, DWORD, const DWORD*) {
    if (!brush) return HPEN{};
    bool geometric = (style & PS_TYPE_MASK) == PS_GEOMETRIC;
    if (!geometric && width != 1) return HPEN{};
    auto p = std::make_unique<Pen>();
    p->style = style;
    p->width = int(std::min<DWORD>(width, 4096));
    p->color = brush->lbStyle == BS_NULL ? 0 : brush->lbColor & 0xFFFFFF;
    if (brush->lbStyle == BS_NULL) p->style = (style & ~DWORD(PS_STYLE_MASK)) | PS_NULL;
    return HPEN{{{add(std::move(p))}}};
}

HBRUSH CreateSolidBrush(COLORREF color) {
    auto b = std::make_unique<Brush>();
    b->color = color & 0xFFFFFF;
    return HBRUSH{{{add(std::move(b))}}};
}

HBRUSH CreateHatchBrush(int hatch, COLORREF color) {
    if (hatch < HS_HORIZONTAL || hatch > HS_DIAGCROSS) return HBRUSH{};
    auto b = std::make_unique<Brush>();
    b->style = BS_HATCHED;
    b->hatch = hatch;
    b->color = color & 0xFFFFFF;
    return HBRUSH{{{add(std::move(b))}}};
}

HBRUSH CreatePatternBrush(HBITMAP bitmap) {
    Bitmap* bm = getBitmap(bitmap);
    if (!bm) return HBRUSH{};
    auto b = std::make_unique<Brush>();
    b->style = BS_PATTERN;
    b->monoPattern = bm->mono;
    b->pattern.resize(64);
    cairo_surface_flush(bm->surface.get());
    auto* data = cairo_image_surface_get_data(bm->surface.get());
    int stride = cairo_image_surface_get_stride(bm->surface.get());
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            auto* row = reinterpret_cast<const std::uint32_t*>(
                data + std::ptrdiff_t(y % bm->height) * stride);
            b->pattern[y * 8 + x] = row[x % bm->width] & 0xFFFFFF;
        }
    return HBRUSH{{{add(std::move(b))}}};
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* lb) {
    if (!lb) return HBRUSH{};
    switch (lb->lbStyle) {
    case BS_SOLID:
        return CreateSolidBrush(lb->lbColor);
    case BS_HATCHED:
        return CreateHatchBrush(int(lb->lbHatch), lb->lbColor);
    case BS_PATTERN:
        return CreatePatternBrush(HBITMAP{{{std::uint32_t(lb->lbHatch)}}});
    case BS_NULL: {
        auto b = std::make_unique<Brush>();
        b->style = BS_NULL;
        return HBRUSH{{{add(std::move(b))}}};
    }
    default:
        return HBRUSH{};
    }
}

HFONT CreateFontIndirect(const LOGFONT* lf) {
    if (!lf) return HFONT{};
    auto f = std::make_unique<Font>();
    f->lf = *lf;
    f->lf.lfFaceName[sizeof f->lf.lfFaceName - 1] = 0;
    return HFONT{{{add(std::move(f))}}};
}

HFONT CreateFont(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                 DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                 DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, const char* face) {
    LOGFONT lf;
    lf.lfHeight = height;
    lf.lfWidth = width;
    lf.lfEscapement = escapement;
    lf.lfOrientation = orientation;
    lf.lfWeight = weight;
    lf.lfItalic = BYTE(italic != 0);
    lf.lfUnderline = BYTE(underline != 0);
    lf.lfStrikeOut = BYTE(strikeOut != 0);
    lf.lfCharSet = BYTE(charSet);
    lf.lfOutPrecision = BYTE(outPrecision);
    lf.lfClipPrecision = BYTE(clipPrecision);
    lf.lfQuality = BYTE(quality);
    lf.lfPitchAndFamily = BYTE(pitchAndFamily);
    if (face) std::strncpy(lf.lfFaceName, face, sizeof lf.lfFaceName - 1);
    return CreateFontIndirect(&lf);
}

// ---- Regions ------------------------------------------------------------------

namespace {
int regionKind(const Region& r) {
    if (r.empty()) return NULLREGION;
    return r.rects().size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}
} // namespace

HRGN CreateRegionFrom(const Region& region) {
    auto r = std::make_unique<RegionObject>();
    r->region = region;
    return HRGN{{{add(std::move(r))}}};
}

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
    return CreateRegionFrom(Region(RECT{std::min(left, right), std::min(top, bottom),
                                        std::max(left, right), std::max(top, bottom)}));
}

HRGN CreateRectRgnIndirect(const RECT* rect) {
    if (!rect) return HRGN{};
    return CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom);
}

bool SetRectRgn(HRGN rgn, int left, int top, int right, int bottom) {
    auto* r = getRegion(rgn);
    if (!r) return false;
    r->region = Region(RECT{std::min(left, right), std::min(top, bottom), std::max(left, right),
                            std::max(top, bottom)});
    return true;
}

int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode) {
    auto* d = getRegion(dest);
    auto* a = getRegion(src1);
    if (!d || !a) return ERROR;
    if (mode == RGN_COPY) {
        d->region = a->region;
        return regionKind(d->region);
    }
    auto* b = getRegion(src2);
    if (!b) return ERROR;
    switch (mode) {
    case RGN_AND:
        d->region = a->region.intersected(b->region);
        break;
    case RGN_OR:
        d->region = a->region.united(b->region);
        break;
    case RGN_XOR:
        d->region = a->region.xored(b->region);
        break;
    case RGN_DIFF:
        d->region = a->region.subtracted(b->region);
        break;
    default:
        return ERROR;
    }
    return regionKind(d->region);
}

bool EqualRgn(HRGN a, HRGN b) {
    auto* ra = getRegion(a);
    auto* rb = getRegion(b);
    return ra && rb && ra->region == rb->region;
}

int OffsetRgn(HRGN rgn, int dx, int dy) {
    auto* r = getRegion(rgn);
    if (!r) return ERROR;
    r->region.offset(dx, dy);
    return regionKind(r->region);
}

int GetRgnBox(HRGN rgn, RECT* rect) {
    auto* r = getRegion(rgn);
    if (!r || !rect) return ERROR;
    *rect = r->region.bounds();
    return regionKind(r->region);
}

bool PtInRegion(HRGN rgn, int x, int y) {
    auto* r = getRegion(rgn);
    return r && r->region.contains(x, y);
}

bool RectInRegion(HRGN rgn, const RECT* rect) {
    auto* r = getRegion(rgn);
    return r && rect && r->region.intersects(*rect);
}

bool GetRegion(HRGN rgn, Region* out) {
    auto* r = getRegion(rgn);
    if (!r || !out) return false;
    *out = r->region;
    return true;
}

// ---- Rectangles ------------------------------------------------------------------

bool SetRect(RECT* r, int left, int top, int right, int bottom) {
    if (!r) return false;
    *r = RECT{left, top, right, bottom};
    return true;
}
bool SetRectEmpty(RECT* r) {
    return SetRect(r, 0, 0, 0, 0);
}
bool IsRectEmpty(const RECT* r) {
    return !r || r->right <= r->left || r->bottom <= r->top;
}
bool EqualRect(const RECT* a, const RECT* b) {
    return a && b && *a == *b;
}
bool CopyRect(RECT* out, const RECT* in) {
    if (!out || !in) return false;
    *out = *in;
    return true;
}
bool OffsetRect(RECT* r, int dx, int dy) {
    if (!r) return false;
    r->left += dx;
    r->right += dx;
    r->top += dy;
    r->bottom += dy;
    return true;
}
bool InflateRect(RECT* r, int dx, int dy) {
    if (!r) return false;
    r->left -= dx;
    r->right += dx;
    r->top -= dy;
    r->bottom += dy;
    return true;
}
bool IntersectRect(RECT* out, const RECT* a, const RECT* b) {
    if (!out || !a || !b) return false;
    RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
           std::min(a->bottom, b->bottom)};
    if (IsRectEmpty(&r)) {
        *out = RECT{};
        return false;
    }
    *out = r;
    return true;
}
bool UnionRect(RECT* out, const RECT* a, const RECT* b) {
    if (!out || !a || !b) return false;
    if (IsRectEmpty(a))
        *out = *b;
    else if (IsRectEmpty(b))
        *out = *a;
    else
        *out = RECT{std::min(a->left, b->left), std::min(a->top, b->top),
                    std::max(a->right, b->right), std::max(a->bottom, b->bottom)};
    if (IsRectEmpty(out)) {
        *out = RECT{};
        return false;
    }
    return true;
}
bool SubtractRect(RECT* out, const RECT* a, const RECT* b) {
    if (!out || !a || !b) return false;
    RECT r = *a;
    RECT i;
    if (IntersectRect(&i, a, b)) {
        // Only a full cut across one side shrinks the rectangle.
        if (i.top == r.top && i.bottom == r.bottom) {
            if (i.left == r.left)
                r.left = i.right;
            else if (i.right == r.right)
                r.right = i.left;
        } else if (i.left == r.left && i.right == r.right) {
            if (i.top == r.top)
                r.top = i.bottom;
            else if (i.bottom == r.bottom)
                r.bottom = i.top;
        }
    }
    *out = r;
    return !IsRectEmpty(&r);
}
bool PtInRect(const RECT* r, POINT p) {
    return r && p.x >= r->left && p.x < r->right && p.y >= r->top && p.y < r->bottom;
}

} // namespace ax
