#pragma once
// Graphics objects over the drawing layer: colours, fonts, pens, brushes,
// the canvas, bitmaps, icons, pictures and image lists. Each object owns its
// drawing handle, made when first asked for and remade after a change.
#include <memory>
#include <optional>
#include <vector>

#include "framework/classes.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/image.h"
#include "platform/gdi/uniquegdiobject.h"
#include "platform/gdi/uniqueicon.h"
#include "rtl/streams.h"
#include "rtl/threads.h"

namespace ax {

class TFiler;

// A colour: 0x00BBGGRR, or a system colour index with clSystemColor set.
using TColor = int32_t;
inline constexpr TColor clSystemColor = int32_t(0xFF000000);
constexpr TColor SysColor(int index) { return TColor(uint32_t(clSystemColor) | uint32_t(index)); }
inline constexpr TColor clScrollBar = SysColor(COLOR_SCROLLBAR), clBackground = SysColor(COLOR_BACKGROUND),
                        clActiveCaption = SysColor(COLOR_ACTIVECAPTION),
                        clInactiveCaption = SysColor(COLOR_INACTIVECAPTION), clMenu = SysColor(COLOR_MENU),
                        clWindow = SysColor(COLOR_WINDOW), clWindowFrame = SysColor(COLOR_WINDOWFRAME),
                        clMenuText = SysColor(COLOR_MENUTEXT), clWindowText = SysColor(COLOR_WINDOWTEXT),
                        clCaptionText = SysColor(COLOR_CAPTIONTEXT),
                        clActiveBorder = SysColor(COLOR_ACTIVEBORDER),
                        clInactiveBorder = SysColor(COLOR_INACTIVEBORDER),
                        clAppWorkSpace = SysColor(COLOR_APPWORKSPACE), clHighlight = SysColor(COLOR_HIGHLIGHT),
                        clHighlightText = SysColor(COLOR_HIGHLIGHTTEXT), clBtnFace = SysColor(COLOR_BTNFACE),
                        clBtnShadow = SysColor(COLOR_BTNSHADOW), clGrayText = SysColor(COLOR_GRAYTEXT),
                        clBtnText = SysColor(COLOR_BTNTEXT),
                        clInactiveCaptionText = SysColor(COLOR_INACTIVECAPTIONTEXT),
                        clBtnHighlight = SysColor(COLOR_BTNHIGHLIGHT), cl3DDkShadow = SysColor(COLOR_3DDKSHADOW),
                        cl3DLight = SysColor(COLOR_3DLIGHT), clInfoText = SysColor(COLOR_INFOTEXT),
                        clInfoBk = SysColor(COLOR_INFOBK), clHotLight = SysColor(COLOR_HOTLIGHT),
                        clGradientActiveCaption = SysColor(COLOR_GRADIENTACTIVECAPTION),
                        clGradientInactiveCaption = SysColor(COLOR_GRADIENTINACTIVECAPTION),
                        clMenuHighlight = SysColor(COLOR_MENUHILIGHT), clMenuBar = SysColor(COLOR_MENUBAR);
inline constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
                        clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
                        clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                        clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clLtGray = 0xC0C0C0,
                        clDkGray = 0x808080, clWhite = 0xFFFFFF, clMoneyGreen = 0xC0DCC0,
                        clSkyBlue = 0xF0CAA6, clCream = 0xF0FBFF, clMedGray = 0xA4A0A0,
                        clNone = 0x1FFFFFFF, clDefault = 0x20000000;

// System colours resolve through the current scheme.
COLORREF ColorToRGB(TColor color);
// "clRed", "clBtnFace", or "$00BBGGRR" for a colour without a name.
AnsiString ColorToString(TColor color);
// Names, "$hex" or decimal; EConvertError for anything else.
TColor StringToColor(const AnsiString& text);
bool IdentToColor(const AnsiString& ident, TColor& color);
bool ColorToIdent(TColor color, AnsiString& ident);
// A colour property: stored by name when it has one, else as an integer.
void DefineColorProperty(TFiler& filer, const AnsiString& name, std::function<TColor()> get,
                         std::function<void(TColor)> set, std::optional<TColor> def);

class TGraphicsObject : public TPersistent {
public:
    TNotifyEvent OnChange;
    // Internal: told before the handle is freed, so a canvas can deselect it.
    std::function<void()> OnRelease;

protected:
    void Changed();
    virtual void FreeHandle() = 0;
};

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = unsigned;
enum TFontPitch { fpDefault, fpVariable, fpFixed };

class TFont : public TGraphicsObject {
public:
    TFont();
    ~TFont() override;
    AnsiString ClassName() const override { return "TFont"; }
    void Assign(const TPersistent* source) override;
    void DefinePublished(TFiler& filer) override;

    HFONT Handle();
    const AnsiString& Name() const { return name_; }
    void SetName(const AnsiString& name);
    int Size() const;
    void SetSize(int points);
    int Height() const { return height_; }
    void SetHeight(int height);
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    TFontStyles Style() const { return style_; }
    void SetStyle(TFontStyles style);
    TFontPitch Pitch() const { return pitch_; }
    void SetPitch(TFontPitch pitch);
    int Charset() const { return charset_; }
    void SetCharset(int charset);
    int PixelsPerInch() const { return pixelsPerInch_; }
    void SetPixelsPerInch(int ppi) { pixelsPerInch_ = ppi; }
    bool operator==(const TFont& other) const;

protected:
    void FreeHandle() override;

private:
    UniqueFont handle_;
    AnsiString name_ = "MS Sans Serif";
    int height_ = -11; // 8 points at 96 pixels per inch
    TColor color_ = clWindowText;
    TFontStyles style_ = 0;
    TFontPitch pitch_ = fpDefault;
    int charset_ = DEFAULT_CHARSET;
    int pixelsPerInch_ = 96;
};

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TPenMode {
    pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
    pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};

class TPen : public TGraphicsObject {
public:
    ~TPen() override;
    AnsiString ClassName() const override { return "TPen"; }
    void Assign(const TPersistent* source) override;
    void DefinePublished(TFiler& filer) override;
    HPEN Handle();
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    int Width() const { return width_; }
    void SetWidth(int width);
    TPenStyle Style() const { return style_; }
    void SetStyle(TPenStyle style);
    TPenMode Mode() const { return mode_; }
    void SetMode(TPenMode mode);
    int Rop2() const; // the R2_ code of Mode

protected:
    void FreeHandle() override;

private:
    UniquePen handle_;
    TColor color_ = clBlack;
    int width_ = 1;
    TPenStyle style_ = psSolid;
    TPenMode mode_ = pmCopy;
};

enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
class TBitmap;

class TBrush : public TGraphicsObject {
public:
    ~TBrush() override;
    AnsiString ClassName() const override { return "TBrush"; }
    void Assign(const TPersistent* source) override;
    void DefinePublished(TFiler& filer) override;
    HBRUSH Handle();
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    TBrushStyle Style() const { return style_; }
    void SetStyle(TBrushStyle style);
    // A pattern bitmap the caller keeps alive; nullptr for none.
    TBitmap* Bitmap() const { return bitmap_; }
    void SetBitmap(TBitmap* bitmap);

protected:
    void FreeHandle() override;

private:
    UniqueBrush handle_;
    TColor color_ = clWhite;
    TBrushStyle style_ = bsSolid;
    TBitmap* bitmap_ = nullptr;
};

class TGraphic;

// Drawing on a device context with the canvas's pen, brush and font.
// Worker threads that draw on a canvas the main thread also uses bracket
// their drawing with Lock and Unlock.
class TCanvas : public TPersistent {
public:
    TCanvas();
    ~TCanvas() override;
    AnsiString ClassName() const override { return "TCanvas"; }

    HDC Handle();
    virtual void SetHandle(HDC dc);
    bool HandleAllocated() const { return bool(handle_); }
    TFont& Font() { return *font_; }
    TPen& Pen() { return *pen_; }
    TBrush& Brush() { return *brush_; }
    DWORD CopyMode() const { return copyMode_; }
    void SetCopyMode(DWORD rop) { copyMode_ = rop; }
    // Options every TextOut and TextRect adds (ETO_RTLREADING: the text
    // reads right to left).
    UINT TextFlags() const { return textFlags_; }
    void SetTextFlags(UINT flags) { textFlags_ = flags; }

    void Lock();
    void Unlock();
    bool TryLock();
    int LockCount() const { return lockCount_.load(); }

    POINT PenPos();
    void SetPenPos(POINT p) { MoveTo(p.x, p.y); }
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void Polyline(const std::vector<POINT>& points);
    void Polygon(const std::vector<POINT>& points);
    void Rectangle(int x1, int y1, int x2, int y2);
    void Rectangle(const RECT& r) { Rectangle(r.left, r.top, r.right, r.bottom); }
    void RoundRect(int x1, int y1, int x2, int y2, int x3, int y3);
    void Ellipse(int x1, int y1, int x2, int y2);
    void FillRect(const RECT& r);
    void FrameRect(const RECT& r);
    void DrawFocusRect(const RECT& r);
    void TextOut(int x, int y, const AnsiString& text);
    void TextRect(const RECT& r, int x, int y, const AnsiString& text);
    int TextWidth(const AnsiString& text) { return TextExtent(text).cx; }
    int TextHeight(const AnsiString& text) { return TextExtent(text).cy; }
    SIZE TextExtent(const AnsiString& text);
    void Draw(int x, int y, TGraphic* graphic);
    void StretchDraw(const RECT& r, TGraphic* graphic);
    void CopyRect(const RECT& dest, TCanvas& source, const RECT& src);
    COLORREF Pixel(int x, int y);
    void SetPixel(int x, int y, TColor color);
    RECT ClipRect();
    void Refresh(); // reselects the objects after outside drawing

    TNotifyEvent OnChange;
    TNotifyEvent OnChanging;

protected:
    // Makes a device context when one is needed and none is set.
    virtual void CreateHandle() {}
    // Prepares the DC: objects selected, colours set.
    void RequireState(bool pen, bool brush, bool font);
    void Changing();
    void Changed();
    void DeselectHandles();

private:
    HDC handle_{};
    std::unique_ptr<TFont> font_;
    std::unique_ptr<TPen> pen_;
    std::unique_ptr<TBrush> brush_;
    DWORD copyMode_ = SRCCOPY;
    UINT textFlags_ = 0;
    TCriticalSection lock_;
    std::atomic<int> lockCount_{0};
    bool selected_ = false;
};

class TGraphic : public TPersistent {
public:
    virtual bool Empty() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void SetWidth(int) {}
    virtual void SetHeight(int) {}
    virtual void Draw(TCanvas& canvas, const RECT& rect) = 0;
    virtual void LoadFromStream(TStream& stream) = 0;
    virtual void SaveToStream(TStream& stream) = 0;
    virtual std::unique_ptr<TGraphic> Clone() const = 0;
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value);
    bool Modified() const { return modified_; }
    void SetModified(bool value) { modified_ = value; }
    void DefineProperties(TFiler& filer) override;

    TNotifyEvent OnChange;

protected:
    void Changed();
    bool transparent_ = false;
    bool modified_ = false;
};

enum TTransparentMode { tmAuto, tmFixed };

class TBitmap : public TGraphic {
public:
    TBitmap();
    ~TBitmap() override;
    AnsiString ClassName() const override { return "TBitmap"; }
    void Assign(const TPersistent* source) override;
    std::unique_ptr<TGraphic> Clone() const override;

    bool Empty() const override { return !handle_; }
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void SetWidth(int width) override { SetSize(width, height_); }
    void SetHeight(int height) override { SetSize(width_, height); }
    void SetSize(int width, int height);
    bool Monochrome() const { return monochrome_; }
    void SetMonochrome(bool value);
    TCanvas& Canvas();
    HBITMAP Handle();
    // Takes ownership of bitmap.
    void SetHandle(HBITMAP bitmap);
    // Gives up the handle to the caller.
    HBITMAP ReleaseHandle();
    TColor TransparentColor();
    void SetTransparentColor(TColor color);
    TTransparentMode TransparentMode() const { return transparentMode_; }
    void SetTransparentMode(TTransparentMode mode) { transparentMode_ = mode; }
    void Draw(TCanvas& canvas, const RECT& rect) override;
    // BMP or PNG in; BMP (24-bit, or 1-bit for monochrome) out.
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;
    void Dormant() {}

private:
    void FreeCanvasDC();
    UniqueBitmap handle_;
    int width_ = 0, height_ = 0;
    bool monochrome_ = false;
    std::unique_ptr<TCanvas> canvas_;
    TColor transparentColor_ = clDefault;
    TTransparentMode transparentMode_ = tmAuto;
};

class TIcon : public TGraphic {
public:
    TIcon() = default;
    ~TIcon() override;
    AnsiString ClassName() const override { return "TIcon"; }
    void Assign(const TPersistent* source) override;
    std::unique_ptr<TGraphic> Clone() const override;
    bool Empty() const override { return !handle_; }
    int Width() const override;
    int Height() const override;
    HICON Handle() const { return handle_.Get(); }
    // Takes ownership of icon.
    void SetHandle(HICON icon);
    HICON ReleaseHandle();
    void Draw(TCanvas& canvas, const RECT& rect) override;
    // The standard icon file layout; an icon read from a file is written
    // back with the very same bytes.
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;

private:
    UniqueIcon handle_;
    std::vector<uint8_t> data_;
};

// Holds one graphic of any kind.
class TPicture : public TPersistent {
public:
    AnsiString ClassName() const override { return "TPicture"; }
    void Assign(const TPersistent* source) override;
    void DefineProperties(TFiler& filer) override;
    TGraphic* Graphic() const { return graphic_.get(); }
    void SetGraphic(const TGraphic* graphic); // copies
    // Replaces the graphic by an empty one of the kind when it is another.
    TBitmap& Bitmap();
    TIcon& Icon();
    int Width() const { return graphic_ ? graphic_->Width() : 0; }
    int Height() const { return graphic_ ? graphic_->Height() : 0; }
    // ".bmp", ".png" and ".ico" by the name's extension.
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);
    TNotifyEvent OnChange;

private:
    void Adopt(std::unique_ptr<TGraphic> graphic);
    void Changed();
    std::unique_ptr<TGraphic> graphic_;
};

enum TDrawingStyle { dsFocus, dsSelected, dsNormal, dsTransparent };

class TImageList : public TComponent {
public:
    explicit TImageList(TComponent* owner);
    ~TImageList() override;
    AnsiString ClassName() const override { return "TImageList"; }
    void DefinePublished(TFiler& filer) override;

    HIMAGELIST Handle();
    // Adopts a list; with ShareImages the list is never destroyed here.
    void SetHandle(HIMAGELIST list);
    bool ShareImages() const { return shareImages_; }
    void SetShareImages(bool value) { shareImages_ = value; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetSize(int width, int height);
    void SetWidth(int width) { SetSize(width, height_); }
    void SetHeight(int height) { SetSize(width_, height); }
    bool Masked() const { return masked_; }
    void SetMasked(bool value);
    TColor BkColor() const { return bkColor_; }
    void SetBkColor(TColor color);
    TDrawingStyle DrawingStyle() const { return drawingStyle_; }
    void SetDrawingStyle(TDrawingStyle style) { drawingStyle_ = style; }
    int AllocBy() const { return allocBy_; }
    void SetAllocBy(int n) { allocBy_ = n; }

    int Count();
    int Add(TBitmap* image, TBitmap* mask);
    int AddMasked(TBitmap* image, TColor maskColor);
    int AddIcon(TIcon* icon);
    void Replace(int index, TBitmap* image, TBitmap* mask);
    void ReplaceIcon(int index, TIcon* icon);
    void Delete(int index);
    void Clear();
    void GetBitmap(int index, TBitmap& image);
    void GetIcon(int index, TIcon& icon);
    void Draw(TCanvas& canvas, int x, int y, int index, bool enabled = true);

    TNotifyEvent OnChange;

protected:
    void Change();

private:
    void FreeHandle();
    HIMAGELIST handle_{};
    int width_ = 16, height_ = 16;
    bool masked_ = true;
    bool shareImages_ = false;
    TColor bkColor_ = clNone;
    TDrawingStyle drawingStyle_ = dsNormal;
    int allocBy_ = 4;
};

} // namespace ax
