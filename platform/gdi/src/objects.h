#pragma once
// The process-wide handle table and the objects behind the handles.
#include "platform/gdi/image.h"

#include <cairo.h>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ax::gdi {

enum class Kind { Pen, Brush, Font, Bitmap, Region, Dc, Icon, ImageList };

struct Object {
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    Kind kind;
    bool stock = false;
};

// Cairo pixels are 0xAARRGGBB (premultiplied); COLORREF is 0x00BBGGRR.
inline std::uint32_t toPixel(COLORREF c) {
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}
inline COLORREF toColorRef(std::uint32_t p) {
    return ((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16);
}
// Nearest of black and white, for drawing a colour into a monochrome target.
inline std::uint32_t toMono(std::uint32_t rgb) {
    int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    int dark = r * r + g * g + b * b;
    int light = (255 - r) * (255 - r) + (255 - g) * (255 - g) + (255 - b) * (255 - b);
    return light <= dark ? 0xFFFFFF : 0;
}

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

struct Pen : Object {
    Pen() : Object(Kind::Pen) {}
    DWORD style = PS_SOLID; // with end cap, join and type bits
    int width = 1;
    COLORREF color = 0;
    bool dcPen = false; // DC_PEN: colour from the DC
    int styleOnly() const { return int(style & PS_STYLE_MASK); }
    bool geometric() const { return (style & PS_TYPE_MASK) == PS_GEOMETRIC; }
};

struct Brush : Object {
    Brush() : Object(Kind::Brush) {}
    UINT style = BS_SOLID;
    COLORREF color = 0;
    int hatch = 0;
    int sysColor = -1; // a system colour brush follows the table
    bool dcBrush = false;
    bool monoPattern = false;           // pattern from a 1-bit bitmap: 0 text, 1 background
    std::vector<std::uint32_t> pattern; // 8x8 0x00RRGGBB, row-major
};

struct Font : Object {
    Font() : Object(Kind::Font) {}
    LOGFONT lf;
};

struct Bitmap : Object {
    Bitmap() : Object(Kind::Bitmap) {}
    int width = 0;
    int height = 0;
    bool mono = false;
    bool hasAlpha = false;
    SurfacePtr surface; // ARGB32; a 1-bit bitmap holds only black and white
};

struct RegionObject : Object {
    RegionObject() : Object(Kind::Region) {}
    Region region;
};

struct DcState {
    HPEN pen;
    HBRUSH brush;
    HFONT font;
    HBITMAP bitmap;
    COLORREF textColor = 0;
    COLORREF bkColor = 0xFFFFFF;
    int bkMode = OPAQUE;
    int rop2 = R2_COPYPEN;
    UINT textAlign = TA_LEFT | TA_TOP;
    int stretchMode = BLACKONWHITE;
    POINT brushOrg{};
    POINT viewportOrg{};
    POINT windowOrg{};
    // MM_ANISOTROPIC with extents of opposite signs across mirrors x.
    int mapMode = 1; // MM_TEXT
    SIZE windowExt{1, 1};
    SIZE viewportExt{1, 1};
    POINT position{};
    std::optional<Region> clip; // device coordinates
    COLORREF dcBrushColor = 0xFFFFFF;
    COLORREF dcPenColor = 0;
    int charExtra = 0;
};

struct Dc : Object {
    Dc() : Object(Kind::Dc) {}
    bool memory = false;
    cairo_surface_t* surface = nullptr; // a memory DC's: its bitmap's
    SurfacePtr held;                    // a surface DC keeps its surface alive
    POINT origin{};                     // surface position of device (0, 0)
    std::optional<Region> visible;      // surface coordinates
    DcState state;
    std::vector<DcState> saved;
};

struct Icon : Object {
    Icon() : Object(Kind::Icon) {}
    int width = 0;
    int height = 0;
    bool isIcon = true;
    POINT hotspot{};
    bool hasAlpha = false;
    std::vector<std::uint32_t> color;  // straight 0xAARRGGBB; empty for a monochrome icon
    std::vector<std::uint8_t> andMask; // 1 keeps the destination
    std::vector<std::uint8_t> xorMask; // monochrome icons only
};

struct ImageEntry {
    std::vector<std::uint32_t> argb; // straight alpha
    std::vector<std::uint8_t> mask;  // 1: transparent
};

// Image lists are shared between threads (the icon thread adds while the
// GUI thread draws): every operation holds the list's own lock.
struct ImageList : Object {
    ImageList() : Object(Kind::ImageList) {}
    std::recursive_mutex mutex;
    int cx = 0;
    int cy = 0;
    UINT flags = 0;
    int grow = 4;
    COLORREF bkColor = CLR_NONE;
    std::vector<ImageEntry> images;
    int overlays[16] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
};

// Table access. `add` takes ownership and answers the new handle value.
std::uint32_t add(std::unique_ptr<Object> obj);
Object* lookup(std::uint32_t value);
template <typename T> T* get(HandleValue h, Kind k) {
    Object* o = lookup(h.value);
    return o && o->kind == k ? static_cast<T*>(o) : nullptr;
}
inline Pen* getPen(HandleValue h) {
    return get<Pen>(h, Kind::Pen);
}
inline Brush* getBrush(HandleValue h) {
    return get<Brush>(h, Kind::Brush);
}
inline Font* getFont(HandleValue h) {
    return get<Font>(h, Kind::Font);
}
inline Bitmap* getBitmap(HandleValue h) {
    return get<Bitmap>(h, Kind::Bitmap);
}
inline RegionObject* getRegion(HandleValue h) {
    return get<RegionObject>(h, Kind::Region);
}
inline Dc* getDc(HandleValue h) {
    return get<Dc>(h, Kind::Dc);
}
inline Icon* getIcon(HandleValue h) {
    return get<Icon>(h, Kind::Icon);
}
inline ImageList* getImageList(HandleValue h) {
    return get<ImageList>(h, Kind::ImageList);
}
// Removes and destroys; false when absent.
bool remove(std::uint32_t value);
// True when any DC (current or saved state) holds the object.
bool isSelected(std::uint32_t value);
// The DC a bitmap is selected into, if any (0 for none).
std::uint32_t dcHoldingBitmap(std::uint32_t bitmapValue);

// Bitmaps.
std::unique_ptr<Bitmap> makeBitmap(int width, int height, bool mono);
HBITMAP addBitmap(std::unique_ptr<Bitmap> bitmap);
// The 1x1 monochrome bitmap a new memory DC holds.
HBITMAP stockBitmap();

} // namespace ax::gdi
