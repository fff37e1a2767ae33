#pragma once
// Image files (BMP, ICO/CUR, PNG), icons and cursors with masks, the stock
// icons and cursors, and image lists.
#include "platform/gdi/gdi.h"

#include <string>
#include <string_view>

namespace ax {

// ---- Loading ------------------------------------------------------------------------
// Each answers a null handle for data that is not a well-formed image of its
// kind (the readers check every size and offset against the data).
HBITMAP LoadBitmapFromBmp(std::string_view data); // 1-bit black/white palette: 1-bit bitmap
HBITMAP LoadBitmapFromPng(std::string_view data); // 32-bit with alpha
// The image of an .ico or .cur file nearest to the size asked (0: the first
// image's size); a cursor keeps its hot spot.
HICON LoadIconFromIco(std::string_view data, int cx, int cy);
// By the data's first bytes: BMP, PNG or ICO/CUR.
HBITMAP LoadBitmapFromFile(const std::string& path);
HICON LoadIconFromFile(const std::string& path, int cx, int cy);

// ---- Icons and cursors ------------------------------------------------------------------
struct ICONINFO {
    bool fIcon = true;
    DWORD xHotspot = 0;
    DWORD yHotspot = 0;
    HBITMAP hbmMask{};  // 1-bit AND mask (twice the height for a monochrome icon)
    HBITMAP hbmColor{}; // 32-bit XOR image, or none
};
// Copies the bitmaps; the caller keeps its own.
HICON CreateIconIndirect(const ICONINFO* info);
// Hands out copies the caller deletes.
bool GetIconInfo(HICON icon, ICONINFO* info);
HICON CopyIcon(HICON icon);
bool DestroyIcon(HICON icon); // a stock icon is left alone
inline bool DestroyCursor(HCURSOR cursor) {
    return DestroyIcon(cursor);
}
// The icon's size in pixels.
SIZE GetIconSize(HICON icon);
// The icon drawn at its size onto transparent pixels: 0xAARRGGBB, top-down
// (for display drivers that need a cursor or window icon image).
bool GetIconPixels(HICON icon, int* width, int* height, std::vector<std::uint32_t>* argb);

enum : UINT { DI_MASK = 1, DI_IMAGE = 2, DI_NORMAL = 3, DI_COMPAT = 4, DI_DEFAULTSIZE = 8 };
bool DrawIcon(HDC hdc, int x, int y, HICON icon);
// cx, cy 0: the icon's own size (DI_DEFAULTSIZE: the system's 32 x 32).
// A non-null brush draws the icon into a cx x cy buffer filled with it first.
bool DrawIconEx(HDC hdc, int x, int y, HICON icon, int cx, int cy, UINT step, HBRUSH background,
                UINT flags);

enum : unsigned { // stock resources, given as the name with a null module
    IDI_APPLICATION = 32512,
    IDI_HAND = 32513,
    IDI_ERROR = 32513,
    IDI_QUESTION = 32514,
    IDI_EXCLAMATION = 32515,
    IDI_WARNING = 32515,
    IDI_ASTERISK = 32516,
    IDI_INFORMATION = 32516,
    IDI_WINLOGO = 32517,
    IDC_ARROW = 32512,
    IDC_IBEAM = 32513,
    IDC_WAIT = 32514,
    IDC_CROSS = 32515,
    IDC_UPARROW = 32516,
    IDC_SIZENWSE = 32642,
    IDC_SIZENESW = 32643,
    IDC_SIZEWE = 32644,
    IDC_SIZENS = 32645,
    IDC_SIZEALL = 32646,
    IDC_NO = 32648,
    IDC_HAND = 32649,
    IDC_APPSTARTING = 32650,
    IDC_HELP = 32651,
};
// The shared stock icon (32 x 32) or cursor (32 x 32 with a hot spot);
// null for an unknown id.
HICON LoadIcon(std::uintptr_t module, unsigned id);
HCURSOR LoadCursor(std::uintptr_t module, unsigned id);

// ---- Image lists -----------------------------------------------------------------------
enum : UINT {
    ILC_MASK = 0x0001,
    ILC_COLOR = 0x0000,
    ILC_COLORDDB = 0x00FE,
    ILC_COLOR4 = 0x0004,
    ILC_COLOR8 = 0x0008,
    ILC_COLOR16 = 0x0010,
    ILC_COLOR24 = 0x0018,
    ILC_COLOR32 = 0x0020,
};
enum : UINT {
    ILD_NORMAL = 0x0000,
    ILD_TRANSPARENT = 0x0001,
    ILD_MASK = 0x0010,
    ILD_IMAGE = 0x0020,
    ILD_BLEND25 = 0x0002,
    ILD_FOCUS = 0x0002,
    ILD_BLEND50 = 0x0004,
    ILD_SELECTED = 0x0004,
    ILD_BLEND = 0x0004,
    ILD_OVERLAYMASK = 0x0F00,
};
constexpr UINT INDEXTOOVERLAYMASK(UINT i) {
    return i << 8;
}

HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow);
bool ImageList_Destroy(HIMAGELIST list);
int ImageList_GetImageCount(HIMAGELIST list);
bool ImageList_SetImageCount(HIMAGELIST list, UINT count);
bool ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy);
bool ImageList_SetIconSize(HIMAGELIST list, int cx, int cy); // removes every image
// A bitmap wider than the list's width adds one image per cell. Answers the
// index of the first image added, -1 on failure. The caller keeps its
// bitmaps.
int ImageList_Add(HIMAGELIST list, HBITMAP image, HBITMAP mask);
int ImageList_AddMasked(HIMAGELIST list, HBITMAP image, COLORREF maskColor);
int ImageList_ReplaceIcon(HIMAGELIST list, int index, HICON icon); // index -1 appends
inline int ImageList_AddIcon(HIMAGELIST list, HICON icon) {
    return ImageList_ReplaceIcon(list, -1, icon);
}
bool ImageList_Replace(HIMAGELIST list, int index, HBITMAP image, HBITMAP mask);
bool ImageList_Remove(HIMAGELIST list, int index); // -1 removes all
HICON ImageList_GetIcon(HIMAGELIST list, int index, UINT flags);
COLORREF ImageList_SetBkColor(HIMAGELIST list, COLORREF color);
COLORREF ImageList_GetBkColor(HIMAGELIST list);
bool ImageList_SetOverlayImage(HIMAGELIST list, int image, int overlay); // overlay 1..15
// ILD_NORMAL draws over the list's background colour (none: transparent),
// ILD_TRANSPARENT always transparent, ILD_BLEND50/ILD_SELECTED blends the
// image half with the foreground (CLR_DEFAULT: the highlight colour),
// ILD_BLEND25/ILD_FOCUS a quarter; ILD_MASK draws the mask only.
bool ImageList_Draw(HIMAGELIST list, int index, HDC hdc, int x, int y, UINT style);
bool ImageList_DrawEx(HIMAGELIST list, int index, HDC hdc, int x, int y, int dx, int dy,
                      COLORREF background, COLORREF foreground, UINT style);

} // namespace ax
