#pragma once
// Device contexts, drawing objects and drawing operations on Cairo, text on
// Pango. Coordinates, flags and codes follow the Windows conventions: right
// and bottom edges are exclusive, a line leaves out its last pixel, raster
// operations are computed bit by bit on 0x00RRGGBB pixels.
//
// Surfaces handed to CreateSurfaceDC are Cairo image surfaces (ARGB32 or
// RGB24) whose pixels are opaque; the layer keeps them opaque.
#include "platform/gdi/region.h"
#include "platform/gdi/types.h"

#include <cairo.h>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ax {

// ---- System colours --------------------------------------------------------
enum : int {
    COLOR_SCROLLBAR = 0,
    COLOR_BACKGROUND = 1,
    COLOR_DESKTOP = 1,
    COLOR_ACTIVECAPTION = 2,
    COLOR_INACTIVECAPTION = 3,
    COLOR_MENU = 4,
    COLOR_WINDOW = 5,
    COLOR_WINDOWFRAME = 6,
    COLOR_MENUTEXT = 7,
    COLOR_WINDOWTEXT = 8,
    COLOR_CAPTIONTEXT = 9,
    COLOR_ACTIVEBORDER = 10,
    COLOR_INACTIVEBORDER = 11,
    COLOR_APPWORKSPACE = 12,
    COLOR_HIGHLIGHT = 13,
    COLOR_HIGHLIGHTTEXT = 14,
    COLOR_BTNFACE = 15,
    COLOR_3DFACE = 15,
    COLOR_BTNSHADOW = 16,
    COLOR_3DSHADOW = 16,
    COLOR_GRAYTEXT = 17,
    COLOR_BTNTEXT = 18,
    COLOR_INACTIVECAPTIONTEXT = 19,
    COLOR_BTNHIGHLIGHT = 20,
    COLOR_3DHIGHLIGHT = 20,
    COLOR_3DDKSHADOW = 21,
    COLOR_3DLIGHT = 22,
    COLOR_INFOTEXT = 23,
    COLOR_INFOBK = 24,
    COLOR_HOTLIGHT = 26,
    COLOR_GRADIENTACTIVECAPTION = 27,
    COLOR_GRADIENTINACTIVECAPTION = 28,
    COLOR_MENUHILIGHT = 29,
    COLOR_MENUBAR = 30,
    SYS_COLOR_COUNT = 31,
};
// The classic scheme until SetSysColors changes it. Index 25 and indices
// out of range answer 0. Telling windows about a change (WM_SYSCOLORCHANGE)
// is the window manager's business.
COLORREF GetSysColor(int index);
HBRUSH GetSysColorBrush(int index); // shared, never deleted
bool SetSysColors(int count, const int* indices, const COLORREF* colors);
void ResetSysColors();

// ---- Constants --------------------------------------------------------------
enum : int { TRANSPARENT = 1, OPAQUE = 2 };

enum : int { // stock objects
    WHITE_BRUSH = 0,
    LTGRAY_BRUSH = 1,
    GRAY_BRUSH = 2,
    DKGRAY_BRUSH = 3,
    BLACK_BRUSH = 4,
    NULL_BRUSH = 5,
    HOLLOW_BRUSH = 5,
    WHITE_PEN = 6,
    BLACK_PEN = 7,
    NULL_PEN = 8,
    OEM_FIXED_FONT = 10,
    ANSI_FIXED_FONT = 11,
    ANSI_VAR_FONT = 12,
    SYSTEM_FONT = 13,
    DEVICE_DEFAULT_FONT = 14,
    SYSTEM_FIXED_FONT = 16,
    DEFAULT_GUI_FONT = 17,
    DC_BRUSH = 18,
    DC_PEN = 19,
};

enum : DWORD { // pen styles
    PS_SOLID = 0,
    PS_DASH = 1,
    PS_DOT = 2,
    PS_DASHDOT = 3,
    PS_DASHDOTDOT = 4,
    PS_NULL = 5,
    PS_INSIDEFRAME = 6,
    PS_USERSTYLE = 7,
    PS_ALTERNATE = 8,
    PS_STYLE_MASK = 0x0000000F,
    PS_ENDCAP_ROUND = 0x00000000,
    PS_ENDCAP_SQUARE = 0x00000100,
    PS_ENDCAP_FLAT = 0x00000200,
    PS_ENDCAP_MASK = 0x00000F00,
    PS_JOIN_ROUND = 0x00000000,
    PS_JOIN_BEVEL = 0x00001000,
    PS_JOIN_MITER = 0x00002000,
    PS_JOIN_MASK = 0x0000F000,
    PS_COSMETIC = 0x00000000,
    PS_GEOMETRIC = 0x00010000,
    PS_TYPE_MASK = 0x000F0000,
};

enum : UINT { BS_SOLID = 0, BS_NULL = 1, BS_HOLLOW = 1, BS_HATCHED = 2, BS_PATTERN = 3 };
enum : int { // hatch styles
    HS_HORIZONTAL = 0,
    HS_VERTICAL = 1,
    HS_FDIAGONAL = 2,
    HS_BDIAGONAL = 3,
    HS_CROSS = 4,
    HS_DIAGCROSS = 5,
};

enum : int { // binary raster operations for pens (SetROP2)
    R2_BLACK = 1,
    R2_NOTMERGEPEN = 2,
    R2_MASKNOTPEN = 3,
    R2_NOTCOPYPEN = 4,
    R2_MASKPENNOT = 5,
    R2_NOT = 6,
    R2_XORPEN = 7,
    R2_NOTMASKPEN = 8,
    R2_MASKPEN = 9,
    R2_NOTXORPEN = 10,
    R2_NOP = 11,
    R2_MERGENOTPEN = 12,
    R2_COPYPEN = 13,
    R2_MERGEPENNOT = 14,
    R2_MERGEPEN = 15,
    R2_WHITE = 16,
};

// Ternary raster operations: bits 16..23 are the truth table over pattern
// (bit value 0xF0), source (0xCC) and destination (0xAA); the low word is
// ignored, so any of the 256 codes can be given as index << 16.
enum : DWORD {
    SRCCOPY = 0x00CC0020,
    SRCPAINT = 0x00EE0086,
    SRCAND = 0x008800C6,
    SRCINVERT = 0x00660046,
    SRCERASE = 0x00440328,
    NOTSRCCOPY = 0x00330008,
    NOTSRCERASE = 0x001100A6,
    MERGECOPY = 0x00C000CA,
    MERGEPAINT = 0x00BB0226,
    PATCOPY = 0x00F00021,
    PATPAINT = 0x00FB0A09,
    PATINVERT = 0x005A0049,
    DSTINVERT = 0x00550009,
    BLACKNESS = 0x00000042,
    WHITENESS = 0x00FF0062,
};

enum : int { BLACKONWHITE = 1, WHITEONBLACK = 2, COLORONCOLOR = 3, HALFTONE = 4 };

enum : int { RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5 };
enum : int { ERROR = 0, NULLREGION = 1, SIMPLEREGION = 2, COMPLEXREGION = 3 };

enum : UINT { // text alignment
    TA_NOUPDATECP = 0,
    TA_UPDATECP = 1,
    TA_LEFT = 0,
    TA_RIGHT = 2,
    TA_CENTER = 6,
    TA_TOP = 0,
    TA_BOTTOM = 8,
    TA_BASELINE = 24,
};

enum : UINT { ETO_OPAQUE = 0x0002, ETO_CLIPPED = 0x0004, ETO_RTLREADING = 0x0080 };

enum : UINT { // DrawText
    DT_TOP = 0x00000000,
    DT_LEFT = 0x00000000,
    DT_CENTER = 0x00000001,
    DT_RIGHT = 0x00000002,
    DT_VCENTER = 0x00000004,
    DT_BOTTOM = 0x00000008,
    DT_WORDBREAK = 0x00000010,
    DT_SINGLELINE = 0x00000020,
    DT_EXPANDTABS = 0x00000040,
    DT_TABSTOP = 0x00000080,
    DT_NOCLIP = 0x00000100,
    DT_EXTERNALLEADING = 0x00000200,
    DT_CALCRECT = 0x00000400,
    DT_NOPREFIX = 0x00000800,
    DT_INTERNAL = 0x00001000,
    DT_EDITCONTROL = 0x00002000,
    DT_PATH_ELLIPSIS = 0x00004000,
    DT_END_ELLIPSIS = 0x00008000,
    DT_MODIFYSTRING = 0x00010000,
    DT_RTLREADING = 0x00020000,
    DT_WORD_ELLIPSIS = 0x00040000,
    DT_NOFULLWIDTHCHARBREAK = 0x00080000,
    DT_HIDEPREFIX = 0x00100000,
    DT_PREFIXONLY = 0x00200000,
};

struct DRAWTEXTPARAMS {
    UINT cbSize = sizeof(DRAWTEXTPARAMS);
    int iTabLength = 0; // in average character widths
    int iLeftMargin = 0;
    int iRightMargin = 0;
    UINT uiLengthDrawn = 0; // characters (code points) processed
};

enum : UINT { // DrawEdge
    BDR_RAISEDOUTER = 0x0001,
    BDR_SUNKENOUTER = 0x0002,
    BDR_RAISEDINNER = 0x0004,
    BDR_SUNKENINNER = 0x0008,
    BDR_OUTER = 0x0003,
    BDR_INNER = 0x000C,
    EDGE_RAISED = 0x0005,
    EDGE_SUNKEN = 0x000A,
    EDGE_ETCHED = 0x0006,
    EDGE_BUMP = 0x0009,
    BF_LEFT = 0x0001,
    BF_TOP = 0x0002,
    BF_RIGHT = 0x0004,
    BF_BOTTOM = 0x0008,
    BF_TOPLEFT = 0x0003,
    BF_TOPRIGHT = 0x0006,
    BF_BOTTOMLEFT = 0x0009,
    BF_BOTTOMRIGHT = 0x000C,
    BF_RECT = 0x000F,
    BF_DIAGONAL = 0x0010,
    BF_MIDDLE = 0x0800,
    BF_SOFT = 0x1000,
    BF_ADJUST = 0x2000,
    BF_FLAT = 0x4000,
    BF_MONO = 0x8000,
};

enum : UINT { // DrawFrameControl
    DFC_CAPTION = 1,
    DFC_MENU = 2,
    DFC_SCROLL = 3,
    DFC_BUTTON = 4,
    DFC_POPUPMENU = 5,
    DFCS_CAPTIONCLOSE = 0x0000,
    DFCS_CAPTIONMIN = 0x0001,
    DFCS_CAPTIONMAX = 0x0002,
    DFCS_CAPTIONRESTORE = 0x0003,
    DFCS_CAPTIONHELP = 0x0004,
    DFCS_MENUARROW = 0x0000,
    DFCS_MENUCHECK = 0x0001,
    DFCS_MENUBULLET = 0x0002,
    DFCS_MENUARROWRIGHT = 0x0004,
    DFCS_SCROLLUP = 0x0000,
    DFCS_SCROLLDOWN = 0x0001,
    DFCS_SCROLLLEFT = 0x0002,
    DFCS_SCROLLRIGHT = 0x0003,
    DFCS_SCROLLCOMBOBOX = 0x0005,
    DFCS_SCROLLSIZEGRIP = 0x0008,
    DFCS_SCROLLSIZEGRIPRIGHT = 0x0010,
    DFCS_BUTTONCHECK = 0x0000,
    DFCS_BUTTONRADIOIMAGE = 0x0001,
    DFCS_BUTTONRADIOMASK = 0x0002,
    DFCS_BUTTONRADIO = 0x0004,
    DFCS_BUTTON3STATE = 0x0008,
    DFCS_BUTTONPUSH = 0x0010,
    DFCS_INACTIVE = 0x0100,
    DFCS_PUSHED = 0x0200,
    DFCS_CHECKED = 0x0400,
    DFCS_TRANSPARENT = 0x0800,
    DFCS_HOT = 0x1000,
    DFCS_ADJUSTRECT = 0x2000,
    DFCS_FLAT = 0x4000,
    DFCS_MONO = 0x8000,
};

enum : int { // GetDeviceCaps
    HORZRES = 8,
    VERTRES = 10,
    BITSPIXEL = 12,
    PLANES = 14,
    NUMCOLORS = 24,
    LOGPIXELSX = 88,
    LOGPIXELSY = 90,
};

enum : int { // font weights and the LOGFONT fields the layer reads
    FW_DONTCARE = 0,
    FW_THIN = 100,
    FW_LIGHT = 300,
    FW_NORMAL = 400,
    FW_MEDIUM = 500,
    FW_SEMIBOLD = 600,
    FW_BOLD = 700,
    FW_HEAVY = 900,
    DEFAULT_CHARSET = 1,
    ANSI_CHARSET = 0,
    FIXED_PITCH = 1,
    VARIABLE_PITCH = 2,
    FF_ROMAN = 0x10,
    FF_SWISS = 0x20,
    FF_MODERN = 0x30,
};

// ---- Object descriptions ------------------------------------------------------
struct LOGPEN {
    UINT lopnStyle = PS_SOLID;
    POINT lopnWidth{}; // x is the width
    COLORREF lopnColor = 0;
};

struct LOGBRUSH {
    UINT lbStyle = BS_SOLID;
    COLORREF lbColor = 0;
    std::uintptr_t lbHatch = 0; // hatch style, or the HBITMAP value for BS_PATTERN
};

struct LOGFONT {
    LONG lfHeight = 0; // < 0: character height in pixels, > 0: cell height, 0: default
    LONG lfWidth = 0;
    LONG lfEscapement = 0;
    LONG lfOrientation = 0;
    LONG lfWeight = FW_NORMAL;
    BYTE lfItalic = 0;
    BYTE lfUnderline = 0;
    BYTE lfStrikeOut = 0;
    BYTE lfCharSet = DEFAULT_CHARSET;
    BYTE lfOutPrecision = 0;
    BYTE lfClipPrecision = 0;
    BYTE lfQuality = 0;
    BYTE lfPitchAndFamily = 0;
    char lfFaceName[32] = {};
};

struct TEXTMETRIC {
    LONG tmHeight = 0;
    LONG tmAscent = 0;
    LONG tmDescent = 0;
    LONG tmInternalLeading = 0;
    LONG tmExternalLeading = 0;
    LONG tmAveCharWidth = 0;
    LONG tmMaxCharWidth = 0;
    LONG tmWeight = 0;
    LONG tmOverhang = 0;
    LONG tmDigitizedAspectX = 96;
    LONG tmDigitizedAspectY = 96;
    char16_t tmFirstChar = 0x20;
    char16_t tmLastChar = 0xFFFD;
    char16_t tmDefaultChar = 0x3F;
    char16_t tmBreakChar = 0x20;
    BYTE tmItalic = 0;
    BYTE tmUnderlined = 0;
    BYTE tmStruckOut = 0;
    BYTE tmPitchAndFamily = 0;
    BYTE tmCharSet = DEFAULT_CHARSET;
};

struct BITMAP {
    LONG bmType = 0;
    LONG bmWidth = 0;
    LONG bmHeight = 0;
    LONG bmWidthBytes = 0;
    WORD bmPlanes = 1;
    WORD bmBitsPixel = 0; // 1 or 32
    void* bmBits = nullptr;
};

// ---- Device contexts ------------------------------------------------------------
// The seam to the window manager: a DC over a Cairo image surface whose
// device origin (0, 0) lies at `origin` of the surface (a child window's
// offset), drawing limited to `visible` (surface coordinates; none = the
// whole surface). The DC holds a reference to the surface, so a surface its
// owner lets go of stays valid (and unseen) until the DC is deleted.
HDC CreateSurfaceDC(cairo_surface_t* surface, POINT origin, const Region* visible);
// Moves and reclips a surface DC (for reuse across paints).
bool SetSurfaceDCOrigin(HDC hdc, POINT origin, const Region* visible);
// Points a surface DC at another surface (its window's surface was
// replaced), moved and reclipped.
bool RetargetSurfaceDC(HDC hdc, cairo_surface_t* surface, POINT origin, const Region* visible);
// The surface a DC draws on (a memory DC: its selected bitmap's surface,
// which changes with SelectObject); nullptr for none.
cairo_surface_t* GetDCSurface(HDC hdc);
// Cairo drawing by others (the theme library) on a DC: clipped to what the
// DC may touch, user space in logical coordinates, antialiasing as Cairo's
// default. Null when the DC has no surface; EndDCCairo ends it.
cairo_t* BeginDCCairo(HDC hdc);
void EndDCCairo(HDC hdc, cairo_t* cr);

HDC CreateCompatibleDC(HDC hdc); // a memory DC holding a 1x1 monochrome bitmap
bool DeleteDC(HDC hdc);
int SaveDC(HDC hdc);                  // > 0 level, 0 on failure
bool RestoreDC(HDC hdc, int savedDC); // level, or < 0 relative to the current one
int GetDeviceCaps(HDC hdc, int index);
bool GetDCOrgEx(HDC hdc, POINT* origin);

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj);
HPEN SelectObject(HDC hdc, HPEN pen);
HBRUSH SelectObject(HDC hdc, HBRUSH brush);
HFONT SelectObject(HDC hdc, HFONT font);
HBITMAP SelectObject(HDC hdc, HBITMAP bitmap);
int SelectObject(HDC hdc, HRGN region); // same as SelectClipRgn; answers the region kind
enum : UINT { OBJ_PEN = 1, OBJ_BRUSH = 2, OBJ_FONT = 6, OBJ_BITMAP = 7, OBJ_REGION = 8 };
HGDIOBJ GetCurrentObject(HDC hdc, UINT type);

COLORREF SetTextColor(HDC hdc, COLORREF color);
COLORREF GetTextColor(HDC hdc);
COLORREF SetBkColor(HDC hdc, COLORREF color);
COLORREF GetBkColor(HDC hdc);
int SetBkMode(HDC hdc, int mode);
int GetBkMode(HDC hdc);
int SetROP2(HDC hdc, int mode);
int GetROP2(HDC hdc);
UINT SetTextAlign(HDC hdc, UINT align);
UINT GetTextAlign(HDC hdc);
int SetStretchBltMode(HDC hdc, int mode);
int GetStretchBltMode(HDC hdc);
bool SetBrushOrgEx(HDC hdc, int x, int y, POINT* old);
bool GetBrushOrgEx(HDC hdc, POINT* org);
COLORREF SetDCBrushColor(HDC hdc, COLORREF color);
COLORREF SetDCPenColor(HDC hdc, COLORREF color);
int SetTextCharacterExtra(HDC hdc, int extra);

// Logical to device: device = logical - window origin + viewport origin.
bool SetViewportOrgEx(HDC hdc, int x, int y, POINT* old);
bool GetViewportOrgEx(HDC hdc, POINT* org);
bool OffsetViewportOrgEx(HDC hdc, int dx, int dy, POINT* old);
bool SetWindowOrgEx(HDC hdc, int x, int y, POINT* old);
bool GetWindowOrgEx(HDC hdc, POINT* org);
bool OffsetWindowOrgEx(HDC hdc, int dx, int dy, POINT* old);
// Mapping modes: MM_TEXT (one logical unit a pixel, the default) and
// MM_ANISOTROPIC, whose window and viewport extents give the scale. Only
// the scales 1 and -1 are drawn: extents of opposite signs across mirror
// x (device x = viewport origin x - (x - window origin x)); any other ratio
// counts as 1. Setting MM_TEXT back restores the plain mapping.
enum : int { MM_TEXT = 1, MM_ANISOTROPIC = 8 };
int SetMapMode(HDC hdc, int mode); // the previous mode, 0 on failure
int GetMapMode(HDC hdc);
bool SetWindowExtEx(HDC hdc, int x, int y, SIZE* old);
bool GetWindowExtEx(HDC hdc, SIZE* ext);
bool SetViewportExtEx(HDC hdc, int x, int y, SIZE* old);
bool GetViewportExtEx(HDC hdc, SIZE* ext);
bool LPtoDP(HDC hdc, POINT* points, int count);
bool DPtoLP(HDC hdc, POINT* points, int count);

// Clipping. Clip regions are in device coordinates, as on Windows.
int SelectClipRgn(HDC hdc, HRGN region); // none: no clip region
int ExtSelectClipRgn(HDC hdc, HRGN region, int mode);
int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom); // logical
int ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom);   // logical
int OffsetClipRgn(HDC hdc, int dx, int dy);
int GetClipBox(HDC hdc, RECT* rect);  // logical
int GetClipRgn(HDC hdc, HRGN region); // 1 copied, 0 no clip region, -1 error
bool PtVisible(HDC hdc, int x, int y);
bool RectVisible(HDC hdc, const RECT* rect);

// ---- Objects ------------------------------------------------------------------------
HGDIOBJ GetStockObject(int index);               // shared; DeleteObject leaves them alone
bool DeleteObject(HGDIOBJ obj);                  // false for an object selected into a DC
int GetObject(HGDIOBJ obj, int size, void* out); // LOGPEN, LOGBRUSH, LOGFONT or BITMAP
UINT GetObjectType(HGDIOBJ obj);
// Live objects created by the caller (stock objects not counted): pens,
// brushes, fonts, bitmaps, regions; and, separately, DCs, icons and image
// lists. Tests compare these before and after to find leaks.
struct GdiObjectCounts {
    int pens = 0, brushes = 0, fonts = 0, bitmaps = 0, regions = 0;
    int dcs = 0, icons = 0, imageLists = 0;
    int total() const {
        return pens + brushes + fonts + bitmaps + regions + dcs + icons + imageLists;
    }
    friend bool operator==(const GdiObjectCounts&, const GdiObjectCounts&) = default;
};
GdiObjectCounts GetGdiObjectCounts();

HPEN CreatePen(int style, int width, COLORREF color);
HPEN CreatePenIndirect(const LOGPEN* lp);
HPEN ExtCreatePen(DWORD style, DWORD width, const LOGBRUSH* brush, DWORD styleCount,
                  const DWORD* styles);
HBRUSH CreateSolidBrush(COLORREF color);
HBRUSH CreateHatchBrush(int hatch, COLORREF color);
HBRUSH CreatePatternBrush(HBITMAP bitmap); // copies the top-left 8x8 pixels
HBRUSH CreateBrushIndirect(const LOGBRUSH* lb);
HFONT CreateFontIndirect(const LOGFONT* lf);
HFONT CreateFont(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                 DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                 DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, const char* face);

// ---- Regions ------------------------------------------------------------------------
HRGN CreateRectRgn(int left, int top, int right, int bottom);
HRGN CreateRectRgnIndirect(const RECT* rect);
HRGN CreateRegionFrom(const Region& region);
bool SetRectRgn(HRGN rgn, int left, int top, int right, int bottom);
int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode);
bool EqualRgn(HRGN a, HRGN b);
int OffsetRgn(HRGN rgn, int dx, int dy);
int GetRgnBox(HRGN rgn, RECT* rect);
bool PtInRegion(HRGN rgn, int x, int y);
bool RectInRegion(HRGN rgn, const RECT* rect);
// The rectangles of a region (the data Windows hands out as RGNDATA).
bool GetRegion(HRGN rgn, Region* out);
bool FillRgn(HDC hdc, HRGN rgn, HBRUSH brush);
bool FrameRgn(HDC hdc, HRGN rgn, HBRUSH brush, int w, int h);
bool InvertRgn(HDC hdc, HRGN rgn);
bool PaintRgn(HDC hdc, HRGN rgn);

// ---- Pixels and shapes -------------------------------------------------------------------
COLORREF GetPixel(HDC hdc, int x, int y); // CLR_INVALID outside the clip
COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color);
bool MoveToEx(HDC hdc, int x, int y, POINT* old);
bool LineTo(HDC hdc, int x, int y);
bool GetCurrentPositionEx(HDC hdc, POINT* pos);
bool Polyline(HDC hdc, const POINT* points, int count);
bool PolyPolyline(HDC hdc, const POINT* points, const DWORD* counts, DWORD polylines);
bool Polygon(HDC hdc, const POINT* points, int count);
bool Rectangle(HDC hdc, int left, int top, int right, int bottom);
bool RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height);
bool Ellipse(HDC hdc, int left, int top, int right, int bottom);
int FillRect(HDC hdc, const RECT* rect, HBRUSH brush);
int FrameRect(HDC hdc, const RECT* rect, HBRUSH brush);
bool InvertRect(HDC hdc, const RECT* rect);
bool DrawFocusRect(HDC hdc, const RECT* rect);
bool DrawEdge(HDC hdc, RECT* rect, UINT edge, UINT flags);
bool DrawFrameControl(HDC hdc, RECT* rect, UINT type, UINT state);

// ---- Bitmaps and blits --------------------------------------------------------------------
// 32-bit bitmaps start opaque black; 1-bit bitmaps start black (0).
HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height); // depth of the DC
HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
// 32-bit bitmap from 0xAARRGGBB pixels, rows top-down; hasAlpha keeps the
// alpha for blending (icons, image lists), otherwise the pixels are opaque.
HBITMAP CreateBitmapFromPixels(int width, int height, const std::uint32_t* argb, bool hasAlpha);
// The pixels of a bitmap as 0xAARRGGBB (1-bit: 0xFF000000 or 0xFFFFFFFF).
bool GetBitmapPixels(HBITMAP bitmap, int* width, int* height, std::vector<std::uint32_t>* argb);
bool BitmapHasAlpha(HBITMAP bitmap);
HBITMAP CopyBitmap(HBITMAP bitmap);

// Colour/monochrome conversion as on Windows: from a colour source into a
// monochrome destination, pixels equal to the source DC's background colour
// become 1 (white) and all others 0; from a monochrome source into a colour
// destination, 0 takes the destination DC's text colour and 1 its
// background colour.
bool BitBlt(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy, DWORD rop);
bool StretchBlt(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy, int sw, int sh,
                DWORD rop);
bool PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop);
// Copies the source stretched, leaving out pixels of `transparent`.
bool TransparentBlt(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy, int sw, int sh,
                    UINT transparent);
// Where the monochrome mask is 1 the foreground rop applies, where 0 the
// background rop (MAKEROP4(fore, back)).
constexpr DWORD MAKEROP4(DWORD fore, DWORD back) {
    return ((back << 8) & 0xFF000000) | fore;
}
bool MaskBlt(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy, HBITMAP mask, int mx,
             int my, DWORD rop4);
// Blends a source with per-pixel alpha (its bitmap's alpha) and a constant
// alpha over the destination.
bool AlphaBlend(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy, int sw, int sh,
                BYTE constantAlpha, bool usePixelAlpha);

// ---- Text ---------------------------------------------------------------------------------
// The fixed-metric test font: every face draws as boxes with a 7 px
// advance per character, 13 px height, ascent 10, descent 3, no leading.
// On when the environment holds AX_TEST_FONT=1, or after SetTestFont(true).
void SetTestFont(bool on);
bool IsTestFont();
constexpr int kTestFontAdvance = 7;
constexpr int kTestFontHeight = 13;
constexpr int kTestFontAscent = 10;

// Face names callers use mapped through fontconfig ("MS Sans Serif",
// "Arial" to a sans-serif face, "Courier New" to a monospaced one).
std::string ResolveFontFamily(std::string_view face);

bool GetTextMetrics(HDC hdc, TEXTMETRIC* tm);
// Text is UTF-8; the wide forms take UTF-16.
bool GetTextExtentPoint32(HDC hdc, std::string_view text, SIZE* size);
bool GetTextExtentPoint32W(HDC hdc, std::u16string_view text, SIZE* size);
bool TextOut(HDC hdc, int x, int y, std::string_view text);
bool ExtTextOut(HDC hdc, int x, int y, UINT options, const RECT* rect, std::string_view text,
                const int* dx = nullptr);
bool TextOutW(HDC hdc, int x, int y, std::u16string_view text);
bool ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* rect, std::u16string_view text,
                 const int* dx = nullptr);
// Tab stops in pixels from tabOrigin; none: every 8 average characters; one:
// that distance repeated. Answers the extent as MAKELONG(width, height).
LONG TabbedTextOut(HDC hdc, int x, int y, std::string_view text, int tabCount, const int* tabStops,
                   int tabOrigin);
DWORD GetTabbedTextExtent(HDC hdc, std::string_view text, int tabCount, const int* tabStops);

// Answers the text height (with DT_VCENTER or DT_BOTTOM the offset from
// rect->top to the bottom of the drawn text), 0 on failure. DT_CALCRECT
// measures only: right becomes left + the widest line, bottom top + the
// height. With DT_MODIFYSTRING and an ellipsis flag the text is replaced by
// what was drawn.
int DrawText(HDC hdc, std::string_view text, RECT* rect, UINT format);
int DrawTextEx(HDC hdc, std::string* text, RECT* rect, UINT format, DRAWTEXTPARAMS* params);
int DrawTextW(HDC hdc, std::u16string_view text, RECT* rect, UINT format);
int DrawTextExW(HDC hdc, std::u16string* text, RECT* rect, UINT format, DRAWTEXTPARAMS* params);

} // namespace ax
