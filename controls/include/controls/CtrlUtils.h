#pragma once
// Bitmap, drawing, text and window helpers shared by the controls.
#include <memory>

#include "framework/controls.h"
#include "framework/graphics.h"

namespace ax {

// Copies cell index (row-major, cols x rows cells) of source into dest,
// which takes the cell's size. A bitmap source gives its transparent
// colour; another graphic is drawn over silver.
void AssignBitmapCell(TGraphic& source, TBitmap& dest, int cols, int rows, int index);

// Paints into dest what lies beneath control: its parent's background and
// the graphic siblings before it that overlap it. Nothing without a parent.
void CopyParentImage(TControl& control, TCanvas& dest);

// Stretches the source rectangle onto dest, leaving out every pixel of the
// transparent colour. (No palettes: the drawing layer is true colour.)
void StretchBltTransparent(HDC dest, int x, int y, int w, int h, HDC source, int srcX, int srcY, int srcW,
                           int srcH, COLORREF transparentColor);
// Source sizes below 1 mean the whole bitmap, destination sizes below 1 the
// bitmap's. clNone copies plainly; clDefault takes the bottom-left pixel;
// a monochrome bitmap's transparent colour is white.
void StretchBitmapTransparent(TCanvas& dest, TBitmap& bitmap, TColor transparentColor, int dstX, int dstY,
                              int dstW, int dstH, int srcX, int srcY, int srcW, int srcH);
void StretchBitmapRectTransparent(TCanvas& dest, int x, int y, int w, int h, const RECT& sourceRect,
                                  TBitmap& bitmap, TColor transparentColor);
void DrawBitmapTransparent(TCanvas& dest, int x, int y, TBitmap& bitmap, TColor transparentColor);
// The disabled look of source on the button face: its pixels of
// outlineColor embossed in highlight and shadow. The caller owns it.
std::unique_ptr<TBitmap> CreateDisabledBitmap(TBitmap& source, TColor outlineColor);

// Moves what is drawn on dc by (dx, dy): the window origin goes the other way.
void MoveWindowOrg(HDC dc, int dx, int dy);
inline int RectWidth(const RECT& r) { return r.right - r.left; }
inline int RectHeight(const RECT& r) { return r.bottom - r.top; }
// The colour's RGB value with the palette-relative flag.
COLORREF PaletteColor(TColor color);

// Removes one pending msg of window from the queue; a quit request taken
// on the way is posted again.
void KillMessage(HWND window, UINT msg);
// Brings an enabled window to the front; with restore, a visible window
// that is not maximised is restored, then focused.
void SwitchToWindow(HWND window, bool restore);
// The text, or its longest head followed by "..." that fits maxWidth.
AnsiString ShortenText(const AnsiString& text, TCanvas& canvas, int maxWidth);
// Whether the active window belongs to the calling thread.
bool IsForegroundTask();
inline AnsiString ResStr(const AnsiString& s) { return s; }

} // namespace ax
