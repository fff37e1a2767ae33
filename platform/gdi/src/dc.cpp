// Device contexts: creation, selected objects, attributes, origins,
// clipping and saved states.
#include "paint.h"

#include <algorithm>
#include <utility>

namespace ax {
namespace gdi {

bool isMono(const Dc& dc) {
    if (!dc.memory) return false;
    auto* b = getBitmap(dc.state.bitmap);
    return b && b->mono;
}

int xScale(const DcState& s) {
    const bool mirrored = s.mapMode == MM_ANISOTROPIC && (s.windowExt.cx < 0) != (s.viewportExt.cx < 0);
    return mirrored ? -1 : 1;
}

POINT logicalOffset(const DcState& s) {
    return POINT{s.viewportOrg.x - xScale(s) * s.windowOrg.x, s.viewportOrg.y - s.windowOrg.y};
}

bool makeTarget(Dc& dc, Target& t) {
    cairo_surface_t* s = dc.surface;
    if (!s || cairo_surface_get_type(s) != CAIRO_SURFACE_TYPE_IMAGE) return false;
    cairo_surface_flush(s);
    t.data = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(s));
    t.stride = cairo_image_surface_get_stride(s) / 4;
    t.width = cairo_image_surface_get_width(s);
    t.height = cairo_image_surface_get_height(s);
    if (!t.data) return false;
    t.mono = isMono(dc);
    t.origin = dc.origin;
    Region clip(RECT{0, 0, t.width, t.height});
    if (dc.visible) clip = clip.intersected(*dc.visible);
    if (dc.state.clip) {
        Region c = *dc.state.clip;
        c.offset(dc.origin.x, dc.origin.y);
        clip = clip.intersected(c);
    }
    t.clip = std::move(clip);
    return true;
}

void finishTarget(Dc& dc) {
    if (dc.surface) cairo_surface_mark_dirty(dc.surface);
}

Region clippedSurfaceRect(const Target& t, RECT d) {
    // An inverted rectangle is empty here; callers that accept negative
    // extents normalise first.
    Region r(
        RECT{d.left + t.origin.x, d.top + t.origin.y, d.right + t.origin.x, d.bottom + t.origin.y});
    return r.intersected(t.clip);
}

} // namespace gdi

using namespace gdi;

namespace {
DcState defaultState() {
    DcState s;
    s.pen = HPEN{GetStockObject(BLACK_PEN)};
    s.brush = HBRUSH{GetStockObject(WHITE_BRUSH)};
    s.font = HFONT{GetStockObject(SYSTEM_FONT)};
    return s;
}
} // namespace

HDC CreateSurfaceDC(cairo_surface_t* surface, POINT origin, const Region* visible) {
    if (!surface || cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE) return HDC{};
    auto dc = std::make_unique<Dc>();
    dc->held.reset(cairo_surface_reference(surface));
    dc->surface = surface;
    dc->origin = origin;
    if (visible) dc->visible = *visible;
    dc->state = defaultState();
    return HDC{add(std::move(dc))};
}

bool SetSurfaceDCOrigin(HDC hdc, POINT origin, const Region* visible) {
    Dc* dc = getDc(hdc);
    if (!dc || dc->memory) return false;
    dc->origin = origin;
    if (visible)
        dc->visible = *visible;
    else
        dc->visible.reset();
    return true;
}

bool RetargetSurfaceDC(HDC hdc, cairo_surface_t* surface, POINT origin, const Region* visible) {
    Dc* dc = getDc(hdc);
    if (!dc || dc->memory || !surface ||
        cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE)
        return false;
    if (surface != dc->surface) {
        dc->held.reset(cairo_surface_reference(surface));
        dc->surface = surface;
    }
    dc->origin = origin;
    if (visible)
        dc->visible = *visible;
    else
        dc->visible.reset();
    return true;
}

cairo_surface_t* GetDCSurface(HDC hdc) {
    Dc* dc = getDc(hdc);
    return dc ? dc->surface : nullptr;
}

HDC CreateCompatibleDC(HDC) {
    auto dc = std::make_unique<Dc>();
    dc->memory = true;
    dc->state = defaultState();
    dc->state.bitmap = stockBitmap();
    auto* b = getBitmap(dc->state.bitmap);
    dc->surface = b ? b->surface.get() : nullptr;
    return HDC{add(std::move(dc))};
}

bool DeleteDC(HDC hdc) {
    if (!getDc(hdc)) return false;
    return remove(hdc.value);
}

int SaveDC(HDC hdc) {
    Dc* dc = getDc(hdc);
    if (!dc) return 0;
    dc->saved.push_back(dc->state);
    return int(dc->saved.size());
}

bool RestoreDC(HDC hdc, int level) {
    Dc* dc = getDc(hdc);
    if (!dc) return false;
    int count = int(dc->saved.size());
    int target = level < 0 ? count + level + 1 : level;
    if (target < 1 || target > count) return false;
    dc->state = dc->saved[size_t(target - 1)];
    dc->saved.resize(size_t(target - 1));
    if (dc->memory) {
        auto* b = getBitmap(dc->state.bitmap);
        dc->surface = b ? b->surface.get() : nullptr;
    }
    return true;
}

int GetDeviceCaps(HDC hdc, int index) {
    Dc* dc = getDc(hdc);
    if (!dc) return 0;
    switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY:
        return 96;
    case BITSPIXEL:
        return isMono(*dc) ? 1 : 32;
    case PLANES:
        return 1;
    case NUMCOLORS:
        return -1;
    case HORZRES:
        return dc->surface ? cairo_image_surface_get_width(dc->surface) : 0;
    case VERTRES:
        return dc->surface ? cairo_image_surface_get_height(dc->surface) : 0;
    default:
        return 0;
    }
}

bool GetDCOrgEx(HDC hdc, POINT* origin) {
    Dc* dc = getDc(hdc);
    if (!dc || !origin) return false;
    *origin = dc->origin;
    return true;
}

HPEN SelectObject(HDC hdc, HPEN pen) {
    Dc* dc = getDc(hdc);
    if (!dc || !getPen(pen)) return HPEN{};
    return std::exchange(dc->state.pen, pen);
}

HBRUSH SelectObject(HDC hdc, HBRUSH brush) {
    Dc* dc = getDc(hdc);
    if (!dc || !getBrush(brush)) return HBRUSH{};
    return std::exchange(dc->state.brush, brush);
}

HFONT SelectObject(HDC hdc, HFONT font) {
    Dc* dc = getDc(hdc);
    if (!dc || !getFont(font)) return HFONT{};
    return std::exchange(dc->state.font, font);
}

HBITMAP SelectObject(HDC hdc, HBITMAP bitmap) {
    Dc* dc = getDc(hdc);
    Bitmap* b = getBitmap(bitmap);
    if (!dc || !dc->memory || !b) return HBITMAP{};
    if (!b->stock && dc->state.bitmap != bitmap) {
        // A bitmap lives in one DC at a time.
        std::uint32_t holder = dcHoldingBitmap(bitmap.value);
        if (holder && holder != hdc.value) return HBITMAP{};
    }
    dc->surface = b->surface.get();
    return std::exchange(dc->state.bitmap, bitmap);
}

int SelectObject(HDC hdc, HRGN region) {
    return SelectClipRgn(hdc, region);
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj) {
    switch (GetObjectType(obj)) {
    case OBJ_PEN:
        return SelectObject(hdc, HPEN{obj});
    case OBJ_BRUSH:
        return SelectObject(hdc, HBRUSH{obj});
    case OBJ_FONT:
        return SelectObject(hdc, HFONT{obj});
    case OBJ_BITMAP:
        return SelectObject(hdc, HBITMAP{obj});
    case OBJ_REGION:
        // The answer is the region kind, as a handle value.
        return HGDIOBJ{{std::uint32_t(SelectClipRgn(hdc, HRGN{obj}))}};
    default:
        return HGDIOBJ{};
    }
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT type) {
    Dc* dc = getDc(hdc);
    if (!dc) return HGDIOBJ{};
    switch (type) {
    case OBJ_PEN:
        return dc->state.pen;
    case OBJ_BRUSH:
        return dc->state.brush;
    case OBJ_FONT:
        return dc->state.font;
    case OBJ_BITMAP:
        return dc->state.bitmap;
    default:
        return HGDIOBJ{};
    }
}

#define AX_DC_ATTRIBUTE(Setter, Getter, Type, field, fail)                                         \
    Type Setter(HDC hdc, Type value) {                                                             \
        Dc* dc = getDc(hdc);                                                                       \
        if (!dc) return fail;                                                                      \
        return std::exchange(dc->state.field, value);                                              \
    }                                                                                              \
    Type Getter(HDC hdc) {                                                                         \
        Dc* dc = getDc(hdc);                                                                       \
        return dc ? dc->state.field : fail;                                                        \
    }

AX_DC_ATTRIBUTE(SetTextColor, GetTextColor, COLORREF, textColor, CLR_INVALID)
AX_DC_ATTRIBUTE(SetBkColor, GetBkColor, COLORREF, bkColor, CLR_INVALID)
AX_DC_ATTRIBUTE(SetTextAlign, GetTextAlign, UINT, textAlign, UINT(-1))
#undef AX_DC_ATTRIBUTE

int SetBkMode(HDC hdc, int mode) {
    Dc* dc = getDc(hdc);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    return std::exchange(dc->state.bkMode, mode);
}
int GetBkMode(HDC hdc) {
    Dc* dc = getDc(hdc);
    return dc ? dc->state.bkMode : 0;
}
int SetROP2(HDC hdc, int mode) {
    Dc* dc = getDc(hdc);
    if (!dc || mode < R2_BLACK || mode > R2_WHITE) return 0;
    return std::exchange(dc->state.rop2, mode);
}
int GetROP2(HDC hdc) {
    Dc* dc = getDc(hdc);
    return dc ? dc->state.rop2 : 0;
}
int SetStretchBltMode(HDC hdc, int mode) {
    Dc* dc = getDc(hdc);
    if (!dc || mode < BLACKONWHITE || mode > HALFTONE) return 0;
    return std::exchange(dc->state.stretchMode, mode);
}
int GetStretchBltMode(HDC hdc) {
    Dc* dc = getDc(hdc);
    return dc ? dc->state.stretchMode : 0;
}
bool SetBrushOrgEx(HDC hdc, int x, int y, POINT* old) {
    Dc* dc = getDc(hdc);
    if (!dc) return false;
    if (old) *old = dc->state.brushOrg;
    dc->state.brushOrg = POINT{x, y};
    return true;
}
bool GetBrushOrgEx(HDC hdc, POINT* org) {
    Dc* dc = getDc(hdc);
    if (!dc || !org) return false;
    *org = dc->state.brushOrg;
    return true;
}
COLORREF SetDCBrushColor(HDC hdc, COLORREF color) {
    Dc* dc = getDc(hdc);
    return dc ? std::exchange(dc->state.dcBrushColor, color & 0xFFFFFF) : CLR_INVALID;
}
COLORREF SetDCPenColor(HDC hdc, COLORREF color) {
    Dc* dc = getDc(hdc);
    return dc ? std::exchange(dc->state.dcPenColor, color & 0xFFFFFF) : CLR_INVALID;
}
int SetTextCharacterExtra(HDC hdc, int extra) {
    Dc* dc = getDc(hdc);
    return dc ? std::exchange(dc->state.charExtra, extra) : 0x80000000;
}

namespace {
bool setPoint(HDC hdc, POINT DcState::*field, int x, int y, POINT* old, bool relative) {
    Dc* dc = getDc(hdc);
    if (!dc) return false;
    POINT& p = dc->state.*field;
    if (old) *old = p;
    p = relative ? POINT{p.x + x, p.y + y} : POINT{x, y};
    return true;
}
bool getPoint(HDC hdc, POINT DcState::*field, POINT* out) {
    Dc* dc = getDc(hdc);
    if (!dc || !out) return false;
    *out = dc->state.*field;
    return true;
}
} // namespace

bool SetViewportOrgEx(HDC hdc, int x, int y, POINT* old) {
    return setPoint(hdc, &DcState::viewportOrg, x, y, old, false);
}
bool GetViewportOrgEx(HDC hdc, POINT* org) {
    return getPoint(hdc, &DcState::viewportOrg, org);
}
bool OffsetViewportOrgEx(HDC hdc, int dx, int dy, POINT* old) {
    return setPoint(hdc, &DcState::viewportOrg, dx, dy, old, true);
}
bool SetWindowOrgEx(HDC hdc, int x, int y, POINT* old) {
    return setPoint(hdc, &DcState::windowOrg, x, y, old, false);
}
bool GetWindowOrgEx(HDC hdc, POINT* org) {
    return getPoint(hdc, &DcState::windowOrg, org);
}
bool OffsetWindowOrgEx(HDC hdc, int dx, int dy, POINT* old) {
    return setPoint(hdc, &DcState::windowOrg, dx, dy, old, true);
}

int SetMapMode(HDC hdc, int mode) {
    Dc* dc = getDc(hdc);
    if (!dc || (mode != MM_TEXT && mode != MM_ANISOTROPIC)) return 0;
    const int old = dc->state.mapMode;
    dc->state.mapMode = mode;
    if (mode == MM_TEXT) dc->state.windowExt = dc->state.viewportExt = SIZE{1, 1};
    return old;
}

int GetMapMode(HDC hdc) {
    Dc* dc = getDc(hdc);
    return dc ? dc->state.mapMode : 0;
}

namespace {
// Extents count only under MM_ANISOTROPIC, and are never 0.
bool setExtent(HDC hdc, SIZE DcState::*field, int x, int y, SIZE* old) {
    Dc* dc = getDc(hdc);
    if (!dc || x == 0 || y == 0) return false;
    if (old) *old = dc->state.*field;
    if (dc->state.mapMode == MM_ANISOTROPIC) dc->state.*field = SIZE{x, y};
    return true;
}
bool getExtent(HDC hdc, SIZE DcState::*field, SIZE* out) {
    Dc* dc = getDc(hdc);
    if (!dc || !out) return false;
    *out = dc->state.*field;
    return true;
}
} // namespace

bool SetWindowExtEx(HDC hdc, int x, int y, SIZE* old) { return setExtent(hdc, &DcState::windowExt, x, y, old); }
bool GetWindowExtEx(HDC hdc, SIZE* ext) { return getExtent(hdc, &DcState::windowExt, ext); }
bool SetViewportExtEx(HDC hdc, int x, int y, SIZE* old) { return setExtent(hdc, &DcState::viewportExt, x, y, old); }
bool GetViewportExtEx(HDC hdc, SIZE* ext) { return getExtent(hdc, &DcState::viewportExt, ext); }

bool LPtoDP(HDC hdc, POINT* points, int count) {
    Dc* dc = getDc(hdc);
    if (!dc || (count > 0 && !points)) return false;
    for (int i = 0; i < count; ++i)
        points[i] = toDevice(dc->state, points[i].x, points[i].y);
    return true;
}

bool DPtoLP(HDC hdc, POINT* points, int count) {
    Dc* dc = getDc(hdc);
    if (!dc || (count > 0 && !points)) return false;
    const POINT o = logicalOffset(dc->state);
    const int sx = xScale(dc->state);
    for (int i = 0; i < count; ++i)
        points[i] = POINT{(points[i].x - o.x) * sx, points[i].y - o.y};
    return true;
}

// ---- Clipping ---------------------------------------------------------------------

namespace {
constexpr LONG kFar = 1 << 28;
const Region& everything() {
    static const Region r(RECT{-kFar, -kFar, kFar, kFar});
    return r;
}
int kindOf(const std::optional<Region>& r) {
    if (!r) return SIMPLEREGION;
    if (r->empty()) return NULLREGION;
    return r->rects().size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}
RECT deviceRect(const Dc& dc, int left, int top, int right, int bottom) {
    return rectToDevice(dc.state, RECT{std::min(left, right), std::min(top, bottom), std::max(left, right),
                                       std::max(top, bottom)});
}
} // namespace

int SelectClipRgn(HDC hdc, HRGN region) {
    return ExtSelectClipRgn(hdc, region, RGN_COPY);
}

int ExtSelectClipRgn(HDC hdc, HRGN region, int mode) {
    Dc* dc = getDc(hdc);
    if (!dc) return ERROR;
    auto* r = getRegion(region);
    if (!r) {
        if (mode != RGN_COPY) return ERROR;
        dc->state.clip.reset();
        return SIMPLEREGION;
    }
    const Region current = dc->state.clip ? *dc->state.clip : everything();
    switch (mode) {
    case RGN_COPY:
        dc->state.clip = r->region;
        break;
    case RGN_AND:
        dc->state.clip = current.intersected(r->region);
        break;
    case RGN_OR:
        dc->state.clip = current.united(r->region);
        break;
    case RGN_DIFF:
        dc->state.clip = current.subtracted(r->region);
        break;
    case RGN_XOR:
        dc->state.clip = current.xored(r->region);
        break;
    default:
        return ERROR;
    }
    return kindOf(dc->state.clip);
}

int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
    Dc* dc = getDc(hdc);
    if (!dc) return ERROR;
    Region r(deviceRect(*dc, left, top, right, bottom));
    dc->state.clip = dc->state.clip ? dc->state.clip->intersected(r) : r;
    return kindOf(dc->state.clip);
}

int ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom) {
    Dc* dc = getDc(hdc);
    if (!dc) return ERROR;
    Region r(deviceRect(*dc, left, top, right, bottom));
    dc->state.clip = (dc->state.clip ? *dc->state.clip : everything()).subtracted(r);
    return kindOf(dc->state.clip);
}

int OffsetClipRgn(HDC hdc, int dx, int dy) {
    Dc* dc = getDc(hdc);
    if (!dc) return ERROR;
    if (dc->state.clip) dc->state.clip->offset(dx, dy);
    return kindOf(dc->state.clip);
}

int GetClipBox(HDC hdc, RECT* rect) {
    Dc* dc = getDc(hdc);
    Target t;
    if (!dc || !rect || !makeTarget(*dc, t)) return ERROR;
    RECT b = t.clip.bounds();
    OffsetRect(&b, -t.origin.x, -t.origin.y);
    POINT corners[2] = {{b.left, b.top}, {b.right, b.bottom}};
    DPtoLP(hdc, corners, 2);
    *rect = t.clip.empty() ? RECT{}
                           : RECT{std::min(corners[0].x, corners[1].x), corners[0].y,
                                  std::max(corners[0].x, corners[1].x), corners[1].y};
    if (t.clip.empty()) return NULLREGION;
    return t.clip.rects().size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

int GetClipRgn(HDC hdc, HRGN region) {
    Dc* dc = getDc(hdc);
    auto* r = getRegion(region);
    if (!dc || !r) return -1;
    if (!dc->state.clip) return 0;
    r->region = *dc->state.clip;
    return 1;
}

bool PtVisible(HDC hdc, int x, int y) {
    Dc* dc = getDc(hdc);
    Target t;
    if (!dc || !makeTarget(*dc, t)) return false;
    POINT d = toDevice(dc->state, x, y);
    return t.clip.contains(d.x + t.origin.x, d.y + t.origin.y);
}

bool RectVisible(HDC hdc, const RECT* rect) {
    Dc* dc = getDc(hdc);
    Target t;
    if (!dc || !rect || !makeTarget(*dc, t)) return false;
    return !clippedSurfaceRect(t, deviceRect(*dc, rect->left, rect->top, rect->right, rect->bottom))
                .empty();
}

} // namespace ax
