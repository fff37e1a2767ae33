#pragma once
// Plain value types and handles of the drawing layer. The numbers callers
// see (flags, codes, indices) are the Windows ones, so that drawing code
// reads the way it would on that platform.
#include <cstdint>

namespace ax {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using LONG = std::int32_t;
using COLORREF = std::uint32_t; // 0x00BBGGRR

constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
    return COLORREF(r) | (COLORREF(g) << 8) | (COLORREF(b) << 16);
}
constexpr BYTE GetRValue(COLORREF c) {
    return BYTE(c & 0xFF);
}
constexpr BYTE GetGValue(COLORREF c) {
    return BYTE((c >> 8) & 0xFF);
}
constexpr BYTE GetBValue(COLORREF c) {
    return BYTE((c >> 16) & 0xFF);
}
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;
constexpr COLORREF CLR_NONE = 0xFFFFFFFF;
constexpr COLORREF CLR_DEFAULT = 0xFF000000;

struct POINT {
    LONG x = 0;
    LONG y = 0;
    friend bool operator==(const POINT&, const POINT&) = default;
};

struct SIZE {
    LONG cx = 0;
    LONG cy = 0;
    friend bool operator==(const SIZE&, const SIZE&) = default;
};

struct RECT {
    LONG left = 0;
    LONG top = 0;
    LONG right = 0;
    LONG bottom = 0;
    LONG width() const { return right - left; }
    LONG height() const { return bottom - top; }
    friend bool operator==(const RECT&, const RECT&) = default;
};

// Rectangle helpers with the Windows meaning (right and bottom exclusive).
bool SetRect(RECT* r, int left, int top, int right, int bottom);
bool SetRectEmpty(RECT* r);
bool IsRectEmpty(const RECT* r);
bool EqualRect(const RECT* a, const RECT* b);
bool OffsetRect(RECT* r, int dx, int dy);
bool InflateRect(RECT* r, int dx, int dy);
bool IntersectRect(RECT* out, const RECT* a, const RECT* b); // false and empty when disjoint
bool UnionRect(RECT* out, const RECT* a, const RECT* b);
bool SubtractRect(RECT* out, const RECT* a, const RECT* b);
bool PtInRect(const RECT* r, POINT p);
bool CopyRect(RECT* out, const RECT* in);

// Handles are small typed values over one process-wide table. A GDI object
// (pen, brush, font, bitmap, region) belongs to whoever created it and is
// freed with DeleteObject; device contexts with DeleteDC; icons and cursors
// with DestroyIcon/DestroyCursor; image lists with ImageList_Destroy.
// Every handle type converts to HGDIOBJ-like generic forms only where
// Windows allows it.
struct HandleValue {
    std::uint32_t value = 0;
    explicit operator bool() const { return value != 0; }
    friend bool operator==(const HandleValue&, const HandleValue&) = default;
};

struct HGDIOBJ : HandleValue {};
struct HPEN : HGDIOBJ {};
struct HBRUSH : HGDIOBJ {};
struct HFONT : HGDIOBJ {};
struct HBITMAP : HGDIOBJ {};
struct HRGN : HGDIOBJ {};
struct HDC : HandleValue {};
struct HICON : HandleValue {};
using HCURSOR = HICON;
struct HIMAGELIST : HandleValue {};

// A brush value of 1..31 is the system colour brush of index value - 1, as
// in window class backgrounds: HBRUSH{COLOR_WINDOW + 1}.
constexpr HBRUSH SysColorBrushValue(int colorIndex) {
    return HBRUSH{{{std::uint32_t(colorIndex + 1)}}};
}

} // namespace ax
