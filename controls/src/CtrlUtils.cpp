// Drawing and window helpers of the controls: bitmap cells, the parent's
// image under a transparent control, transparent and disabled bitmaps,
// shortened text, dropping a pending message and bringing a window forward.
#include "controls/CtrlUtils.h"

#include <algorithm>

#include "framework/forms.h"
#include "platform/gdi/scopedselection.h"
#include "platform/gdi/uniquedc.h"
#include "platform/gdi/uniquegdiobject.h"
#include "rtl/exceptions.h"

namespace ax {

namespace {

// The parent's own painting is protected; a member pointer taken through a
// derived class reaches it without a cast of the object.
struct PaintAccess : TWinControl {
    static void Paint(TWinControl& control, HDC dc) { (control.*(&PaintAccess::PaintWindow))(dc); }
};

// Deletes a memory DC and the bitmap it holds, whatever happens between.
class MemoryDC {
public:
    MemoryDC(HDC like, HBITMAP bitmap)
        : dc_(CreateCompatibleDC(like)), bitmap_(bitmap), selection_(dc_.Get(), bitmap_.Get()) {
        Assert(bool(dc_) && bool(bitmap_), "CtrlUtils: out of drawing resources");
    }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    HDC dc() const { return dc_.Get(); }

private:
    UniqueDC dc_;
    UniqueBitmap bitmap_;
    ScopedSelection<HBITMAP> selection_; // last: the bitmap leaves the DC before either goes
};

} // namespace

void AssignBitmapCell(TGraphic& source, TBitmap& dest, int cols, int rows, int index) {
    cols = std::max(cols, 1);
    rows = std::max(rows, 1);
    index = std::max(index, 0);
    const int w = source.Width() / cols, h = source.Height() / rows;
    dest.SetSize(w, h);
    const int x = (index % cols) * w, y = (index / cols) * h;
    if (auto* bitmap = dynamic_cast<TBitmap*>(&source)) {
        dest.Canvas().CopyRect({0, 0, w, h}, bitmap->Canvas(), {x, y, x + w, y + h});
        dest.SetTransparentColor(bitmap->TransparentColor());
    } else {
        TCanvas& c = dest.Canvas();
        c.Brush().SetStyle(bsSolid);
        c.Brush().SetColor(clSilver);
        c.FillRect({0, 0, w, h});
        c.Draw(-x, -y, &source);
    }
    dest.SetTransparent(source.Transparent());
}

void CopyParentImage(TControl& control, TCanvas& dest) {
    TWinControl* parent = control.Parent();
    if (!parent) return;
    HDC dc = dest.Handle();
    const RECT client = parent->ClientRect();
    int saved = SaveDC(dc);
    MoveWindowOrg(dc, -control.Left(), -control.Top());
    IntersectClipRect(dc, 0, 0, client.width(), client.height());
    parent->Perform(WM_ERASEBKGND, WPARAM(dc.value), 0);
    PaintAccess::Paint(*parent, dc);
    RestoreDC(dc, saved);
    const RECT self = control.BoundsRect();
    for (int i = 0; i < parent->ControlCount(); ++i) {
        TControl* sibling = parent->Controls(i);
        if (sibling == &control) break;
        if (dynamic_cast<TWinControl*>(sibling) || !sibling->Visible()) continue;
        RECT overlap;
        const RECT bounds = sibling->BoundsRect();
        if (!IntersectRect(&overlap, &bounds, &self)) continue;
        saved = SaveDC(dc);
        MoveWindowOrg(dc, sibling->Left() - control.Left(), sibling->Top() - control.Top());
        IntersectClipRect(dc, 0, 0, sibling->Width(), sibling->Height());
        sibling->Perform(WM_PAINT, WPARAM(dc.value), 0);
        RestoreDC(dc, saved);
    }
    dest.Refresh();
}

void StretchBltTransparent(HDC dest, int x, int y, int w, int h, HDC source, int srcX, int srcY, int srcW,
                           int srcH, COLORREF transparentColor) {
    // Mask: 1 where the source shows the transparent colour.
    MemoryDC mask(dest, CreateBitmap(srcW, srcH, 1, 1, nullptr));
    const COLORREF oldBack = SetBkColor(source, transparentColor);
    BitBlt(mask.dc(), 0, 0, srcW, srcH, source, srcX, srcY, SRCCOPY);
    SetBkColor(source, oldBack);
    MemoryDC inverse(dest, CreateBitmap(srcW, srcH, 1, 1, nullptr));
    BitBlt(inverse.dc(), 0, 0, srcW, srcH, mask.dc(), 0, 0, NOTSRCCOPY);
    // The destination where the colour is, the image elsewhere.
    MemoryDC back(dest, CreateCompatibleBitmap(dest, w, h));
    BitBlt(back.dc(), 0, 0, w, h, dest, x, y, SRCCOPY);
    SetBkColor(back.dc(), RGB(255, 255, 255));
    SetTextColor(back.dc(), RGB(0, 0, 0));
    StretchBlt(back.dc(), 0, 0, w, h, mask.dc(), 0, 0, srcW, srcH, SRCAND);
    MemoryDC image(dest, CreateCompatibleBitmap(dest, w, h));
    StretchBlt(image.dc(), 0, 0, w, h, source, srcX, srcY, srcW, srcH, SRCCOPY);
    SetBkColor(image.dc(), RGB(255, 255, 255));
    SetTextColor(image.dc(), RGB(0, 0, 0));
    StretchBlt(image.dc(), 0, 0, w, h, inverse.dc(), 0, 0, srcW, srcH, SRCAND);
    BitBlt(back.dc(), 0, 0, w, h, image.dc(), 0, 0, SRCPAINT);
    BitBlt(dest, x, y, w, h, back.dc(), 0, 0, SRCCOPY);
}

void StretchBitmapTransparent(TCanvas& dest, TBitmap& bitmap, TColor transparentColor, int dstX, int dstY,
                              int dstW, int dstH, int srcX, int srcY, int srcW, int srcH) {
    if (bitmap.Empty()) return;
    if (srcW < 1) srcW = bitmap.Width();
    if (srcH < 1) srcH = bitmap.Height();
    if (dstW < 1) dstW = bitmap.Width();
    if (dstH < 1) dstH = bitmap.Height();
    HDC target = dest.Handle();
    HDC source = bitmap.Canvas().Handle();
    POINT origin{};
    GetWindowOrgEx(source, &origin);
    SetWindowOrgEx(source, 0, 0, nullptr);
    const int oldMode = SetStretchBltMode(target, bitmap.Monochrome() ? BLACKONWHITE : COLORONCOLOR);
    if (transparentColor == clNone) {
        StretchBlt(target, dstX, dstY, dstW, dstH, source, srcX, srcY, srcW, srcH, dest.CopyMode());
    } else {
        COLORREF key;
        if (bitmap.Monochrome()) key = RGB(255, 255, 255);
        else if (transparentColor == clDefault) key = GetPixel(source, 0, bitmap.Height() - 1);
        else key = ColorToRGB(transparentColor);
        StretchBltTransparent(target, dstX, dstY, dstW, dstH, source, srcX, srcY, srcW, srcH, key & 0xFFFFFF);
    }
    SetStretchBltMode(target, oldMode);
    SetWindowOrgEx(source, origin.x, origin.y, nullptr);
}

void StretchBitmapRectTransparent(TCanvas& dest, int x, int y, int w, int h, const RECT& sourceRect,
                                  TBitmap& bitmap, TColor transparentColor) {
    StretchBitmapTransparent(dest, bitmap, transparentColor, x, y, w, h, sourceRect.left, sourceRect.top,
                             RectWidth(sourceRect), RectHeight(sourceRect));
}

void DrawBitmapTransparent(TCanvas& dest, int x, int y, TBitmap& bitmap, TColor transparentColor) {
    StretchBitmapTransparent(dest, bitmap, transparentColor, x, y, bitmap.Width(), bitmap.Height(), 0, 0,
                             bitmap.Width(), bitmap.Height());
}

std::unique_ptr<TBitmap> CreateDisabledBitmap(TBitmap& source, TColor outlineColor) {
    auto result = std::make_unique<TBitmap>();
    const int w = source.Width(), h = source.Height();
    result->SetSize(w, h);
    TCanvas& c = result->Canvas();
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(clBtnFace);
    c.FillRect({0, 0, w, h});
    if (w < 1 || h < 1) return result;
    HDC sourceDC = source.Canvas().Handle();
    MemoryDC mask(sourceDC, CreateBitmap(w, h, 1, 1, nullptr));
    const COLORREF oldBack = SetBkColor(sourceDC, ColorToRGB(outlineColor));
    BitBlt(mask.dc(), 0, 0, w, h, sourceDC, 0, 0, SRCCOPY);
    SetBkColor(sourceDC, oldBack);
    HDC dc = c.Handle();
    const COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
    const COLORREF oldDcBack = SetBkColor(dc, RGB(255, 255, 255));
    // Where the mask is 1 (the outline colour) the brush paints, elsewhere
    // the background stays (raster code 0xE20746).
    c.Brush().SetColor(clBtnHighlight);
    SelectObject(dc, c.Brush().Handle());
    BitBlt(dc, 1, 1, w, h, mask.dc(), 0, 0, 0x00E20746);
    c.Brush().SetColor(clBtnShadow);
    SelectObject(dc, c.Brush().Handle());
    BitBlt(dc, 0, 0, w, h, mask.dc(), 0, 0, 0x00E20746);
    SetTextColor(dc, oldText);
    SetBkColor(dc, oldDcBack);
    c.Refresh();
    return result;
}

void MoveWindowOrg(HDC dc, int dx, int dy) {
    POINT p{};
    GetWindowOrgEx(dc, &p);
    SetWindowOrgEx(dc, p.x - dx, p.y - dy, nullptr);
}

COLORREF PaletteColor(TColor color) { return ColorToRGB(color) | 0x02000000; }

void KillMessage(HWND window, UINT msg) {
    MSG m;
    if (PeekMessage(m, window, msg, msg, PM_REMOVE) && m.message == WM_QUIT) PostQuitMessage(int(m.wParam));
}

void SwitchToWindow(HWND window, bool restore) {
    if (!IsWindowEnabled(window)) return;
    SetForegroundWindow(window);
    if (restore && IsWindowVisible(window)) {
        if (!IsZoomed(window)) SendMessage(window, WM_SYSCOMMAND, SC_RESTORE, 0);
        SetFocus(window);
    }
}

AnsiString ShortenText(const AnsiString& text, TCanvas& canvas, int maxWidth) {
    if (canvas.TextWidth(text) <= maxWidth) return text;
    AnsiString candidate;
    for (size_t k = 2; k <= text.size(); ++k) {
        candidate = text.substr(0, text.size() - k) + "...";
        if (canvas.TextWidth(candidate) <= maxWidth) return candidate;
    }
    return "...";
}

bool IsForegroundTask() {
    const HWND active = GetForegroundWindow();
    if (!active) return false;
    for (HWND w : EnumThreadTopWindows(GetCurrentThreadId()))
        if (w == active) return true;
    return false;
}

} // namespace ax
