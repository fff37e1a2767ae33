// The graphics objects' code: colour names and system colours, fonts, pens
// and brushes whose handles are remade after a change, the canvas that
// selects them into its device context, bitmaps, icons, pictures and image
// lists.
#include "framework/graphics.h"
#include "platform/gdi/scopedselection.h"
#include "platform/gdi/uniquedc.h"

#include <cstring>

#include "framework/streaming.h"
#include "rtl/sysutils.h"

namespace ax {

// ---- Colours ------------------------------------------------------------------------

namespace {

struct ColorName {
    TColor color;
    const char* name;
};

const ColorName kColorNames[] = {
    {clBlack, "clBlack"}, {clMaroon, "clMaroon"}, {clGreen, "clGreen"}, {clOlive, "clOlive"},
    {clNavy, "clNavy"}, {clPurple, "clPurple"}, {clTeal, "clTeal"}, {clGray, "clGray"},
    {clSilver, "clSilver"}, {clRed, "clRed"}, {clLime, "clLime"}, {clYellow, "clYellow"},
    {clBlue, "clBlue"}, {clFuchsia, "clFuchsia"}, {clAqua, "clAqua"}, {clWhite, "clWhite"},
    {clMoneyGreen, "clMoneyGreen"}, {clSkyBlue, "clSkyBlue"}, {clCream, "clCream"},
    {clMedGray, "clMedGray"}, {clActiveBorder, "clActiveBorder"},
    {clActiveCaption, "clActiveCaption"}, {clAppWorkSpace, "clAppWorkSpace"},
    {clBackground, "clBackground"}, {clBtnFace, "clBtnFace"}, {clBtnHighlight, "clBtnHighlight"},
    {clBtnShadow, "clBtnShadow"}, {clBtnText, "clBtnText"}, {clCaptionText, "clCaptionText"},
    {clDefault, "clDefault"}, {clGradientActiveCaption, "clGradientActiveCaption"},
    {clGradientInactiveCaption, "clGradientInactiveCaption"}, {clGrayText, "clGrayText"},
    {clHighlight, "clHighlight"}, {clHighlightText, "clHighlightText"}, {clHotLight, "clHotLight"},
    {clInactiveBorder, "clInactiveBorder"}, {clInactiveCaption, "clInactiveCaption"},
    {clInactiveCaptionText, "clInactiveCaptionText"}, {clInfoBk, "clInfoBk"},
    {clInfoText, "clInfoText"}, {clMenu, "clMenu"}, {clMenuBar, "clMenuBar"},
    {clMenuHighlight, "clMenuHighlight"}, {clMenuText, "clMenuText"}, {clNone, "clNone"},
    {clScrollBar, "clScrollBar"}, {cl3DDkShadow, "cl3DDkShadow"}, {cl3DLight, "cl3DLight"},
    {clWindow, "clWindow"}, {clWindowFrame, "clWindowFrame"}, {clWindowText, "clWindowText"},
};

} // namespace

COLORREF ColorToRGB(TColor color) {
    if (color < 0) return GetSysColor(int(uint32_t(color) & 0xFF));
    return COLORREF(color) & 0x00FFFFFF;
}

bool ColorToIdent(TColor color, AnsiString& ident) {
    for (const auto& c : kColorNames)
        if (c.color == color) {
            ident = c.name;
            return true;
        }
    return false;
}

bool IdentToColor(const AnsiString& ident, TColor& color) {
    for (const auto& c : kColorNames)
        if (SameText(ident, c.name)) {
            color = c.color;
            return true;
        }
    return false;
}

AnsiString ColorToString(TColor color) {
    AnsiString ident;
    if (ColorToIdent(color, ident)) return ident;
    return Format("$%.8X", uint32_t(color));
}

TColor StringToColor(const AnsiString& text) {
    TColor color;
    if (IdentToColor(text, color)) return color;
    int64_t v;
    if (!TryStrToInt(text, v) || v < INT32_MIN || v > int64_t(UINT32_MAX))
        throw EConvertError("'" + text + "' is not a valid integer value");
    return TColor(uint32_t(v));
}

void DefineColorProperty(TFiler& filer, const AnsiString& name, std::function<TColor()> get,
                         std::function<void(TColor)> set, std::optional<TColor> def) {
    const bool hasData = !def || get() != *def;
    filer.DefineProperty(
        name,
        [set](TReader& r) {
            const TValueType next = r.NextValue();
            if (next == TValueType::vaIdent) {
                TColor c;
                if (!IdentToColor(r.ReadIdent(), c)) throw EReadError(SInvalidPropertyValue);
                set(c);
            } else {
                set(TColor(r.ReadInteger()));
            }
        },
        [get](TWriter& w) {
            AnsiString ident;
            if (ColorToIdent(get(), ident)) w.WriteIdent(ident);
            else w.WriteInteger(get());
        },
        hasData);
}

// ---- Graphics objects ----------------------------------------------------------------

void TGraphicsObject::Changed() {
    if (OnRelease) OnRelease();
    FreeHandle();
    if (OnChange) OnChange(this);
}

TFont::TFont() = default;
TFont::~TFont() { FreeHandle(); }

void TFont::FreeHandle() {
    handle_.Reset();
}

HFONT TFont::Handle() {
    if (!handle_) {
        LOGFONT lf;
        lf.lfHeight = height_;
        lf.lfWeight = (style_ & fsBold) ? FW_BOLD : FW_NORMAL;
        lf.lfItalic = (style_ & fsItalic) ? 1 : 0;
        lf.lfUnderline = (style_ & fsUnderline) ? 1 : 0;
        lf.lfStrikeOut = (style_ & fsStrikeOut) ? 1 : 0;
        lf.lfCharSet = BYTE(charset_);
        lf.lfPitchAndFamily = pitch_ == fpFixed ? FIXED_PITCH : pitch_ == fpVariable ? VARIABLE_PITCH : 0;
        std::strncpy(lf.lfFaceName, name_.c_str(), sizeof lf.lfFaceName - 1);
        handle_.Reset(CreateFontIndirect(&lf));
    }
    return handle_.Get();
}

void TFont::SetName(const AnsiString& name) {
    if (name.empty() || name == name_) return;
    name_ = name;
    Changed();
}

int TFont::Size() const {
    // Points from pixels, rounded as the height was computed.
    return -(height_ * 72 + (height_ < 0 ? -pixelsPerInch_ / 2 : pixelsPerInch_ / 2)) / pixelsPerInch_;
}

void TFont::SetSize(int points) { SetHeight(-(points * pixelsPerInch_ + 36) / 72); }

void TFont::SetHeight(int height) {
    if (height == height_) return;
    height_ = height;
    Changed();
}

void TFont::SetColor(TColor color) {
    if (color == color_) return;
    color_ = color;
    if (OnChange) OnChange(this); // the handle does not carry the colour
}

void TFont::SetStyle(TFontStyles style) {
    if (style == style_) return;
    style_ = style;
    Changed();
}

void TFont::SetPitch(TFontPitch pitch) {
    if (pitch == pitch_) return;
    pitch_ = pitch;
    Changed();
}

void TFont::SetCharset(int charset) {
    if (charset == charset_) return;
    charset_ = charset;
    Changed();
}

bool TFont::operator==(const TFont& o) const {
    return name_ == o.name_ && height_ == o.height_ && color_ == o.color_ && style_ == o.style_ &&
           pitch_ == o.pitch_ && charset_ == o.charset_;
}

void TFont::Assign(const TPersistent* source) {
    if (const auto* f = dynamic_cast<const TFont*>(source)) {
        if (*f == *this) return;
        name_ = f->name_;
        height_ = f->height_ * pixelsPerInch_ / (f->pixelsPerInch_ ? f->pixelsPerInch_ : 96);
        color_ = f->color_;
        style_ = f->style_;
        pitch_ = f->pitch_;
        charset_ = f->charset_;
        Changed();
        return;
    }
    TPersistent::Assign(source);
}

void TFont::DefinePublished(TFiler& f) {
    f.Integer("Charset", [this] { return charset_; }, [this](int64_t v) { SetCharset(int(v)); }, DEFAULT_CHARSET);
    DefineColorProperty(f, "Color", [this] { return color_; }, [this](TColor c) { SetColor(c); }, clWindowText);
    f.Integer("Height", [this] { return height_; }, [this](int64_t v) { SetHeight(int(v)); }, std::nullopt);
    f.String("Name", [this] { return name_; }, [this](const AnsiString& v) { SetName(v); }, std::nullopt);
    f.Enum("Pitch", {"fpDefault", "fpVariable", "fpFixed"}, [this] { return int(pitch_); },
           [this](int v) { SetPitch(TFontPitch(v)); }, int(fpDefault));
    f.Set("Style", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"}, [this] { return style_; },
          [this](unsigned v) { SetStyle(v); }, std::nullopt);
}

TPen::~TPen() { FreeHandle(); }

void TPen::FreeHandle() {
    handle_.Reset();
}

HPEN TPen::Handle() {
    if (!handle_) {
        static const int styles[] = {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT, PS_NULL, PS_INSIDEFRAME};
        handle_.Reset(CreatePen(styles[style_], width_, ColorToRGB(color_)));
    }
    return handle_.Get();
}

void TPen::SetColor(TColor color) {
    if (color == color_) return;
    color_ = color;
    Changed();
}
void TPen::SetWidth(int width) {
    if (width == width_ || width < 0) return;
    width_ = width;
    Changed();
}
void TPen::SetStyle(TPenStyle style) {
    if (style == style_) return;
    style_ = style;
    Changed();
}
void TPen::SetMode(TPenMode mode) {
    if (mode == mode_) return;
    mode_ = mode;
    if (OnChange) OnChange(this);
}

int TPen::Rop2() const {
    static const int rops[] = {R2_BLACK,     R2_WHITE,      R2_NOP,       R2_NOT,
                               R2_COPYPEN,   R2_NOTCOPYPEN, R2_MERGEPENNOT, R2_MASKPENNOT,
                               R2_MERGENOTPEN, R2_MASKNOTPEN, R2_MERGEPEN, R2_NOTMERGEPEN,
                               R2_MASKPEN,   R2_NOTMASKPEN, R2_XORPEN,    R2_NOTXORPEN};
    return rops[mode_];
}

void TPen::Assign(const TPersistent* source) {
    if (const auto* p = dynamic_cast<const TPen*>(source)) {
        color_ = p->color_;
        width_ = p->width_;
        style_ = p->style_;
        mode_ = p->mode_;
        Changed();
        return;
    }
    TPersistent::Assign(source);
}

void TPen::DefinePublished(TFiler& f) {
    DefineColorProperty(f, "Color", [this] { return color_; }, [this](TColor c) { SetColor(c); }, clBlack);
    f.Enum("Mode",
           {"pmBlack", "pmWhite", "pmNop", "pmNot", "pmCopy", "pmNotCopy", "pmMergePenNot", "pmMaskPenNot",
            "pmMergeNotPen", "pmMaskNotPen", "pmMerge", "pmNotMerge", "pmMask", "pmNotMask", "pmXor", "pmNotXor"},
           [this] { return int(mode_); }, [this](int v) { SetMode(TPenMode(v)); }, int(pmCopy));
    f.Enum("Style", {"psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot", "psClear", "psInsideFrame"},
           [this] { return int(style_); }, [this](int v) { SetStyle(TPenStyle(v)); }, int(psSolid));
    f.Integer("Width", [this] { return width_; }, [this](int64_t v) { SetWidth(int(v)); }, 1);
}

TBrush::~TBrush() { FreeHandle(); }

void TBrush::FreeHandle() {
    handle_.Reset();
}

HBRUSH TBrush::Handle() {
    if (!handle_) {
        if (bitmap_ && !bitmap_->Empty()) handle_.Reset(CreatePatternBrush(bitmap_->Handle()));
        else if (style_ == bsSolid) handle_.Reset(CreateSolidBrush(ColorToRGB(color_)));
        else if (style_ == bsClear) {
            LOGBRUSH lb;
            lb.lbStyle = BS_NULL;
            handle_.Reset(CreateBrushIndirect(&lb));
        } else {
            static const int hatches[] = {0, 0, HS_HORIZONTAL, HS_VERTICAL, HS_FDIAGONAL, HS_BDIAGONAL, HS_CROSS, HS_DIAGCROSS};
            handle_.Reset(CreateHatchBrush(hatches[style_], ColorToRGB(color_)));
        }
    }
    return handle_.Get();
}

void TBrush::SetColor(TColor color) {
    if (color == color_ && style_ != bsClear) return;
    color_ = color;
    if (style_ == bsClear) style_ = bsSolid;
    Changed();
}
void TBrush::SetStyle(TBrushStyle style) {
    if (style == style_) return;
    style_ = style;
    Changed();
}
void TBrush::SetBitmap(TBitmap* bitmap) {
    bitmap_ = bitmap;
    Changed();
}

void TBrush::Assign(const TPersistent* source) {
    if (const auto* b = dynamic_cast<const TBrush*>(source)) {
        color_ = b->color_;
        style_ = b->style_;
        bitmap_ = b->bitmap_;
        Changed();
        return;
    }
    TPersistent::Assign(source);
}

void TBrush::DefinePublished(TFiler& f) {
    DefineColorProperty(f, "Color", [this] { return color_; }, [this](TColor c) { SetColor(c); }, clWhite);
    f.Enum("Style",
           {"bsSolid", "bsClear", "bsHorizontal", "bsVertical", "bsFDiagonal", "bsBDiagonal", "bsCross", "bsDiagCross"},
           [this] { return int(style_); }, [this](int v) { SetStyle(TBrushStyle(v)); }, int(bsSolid));
}

// ---- TCanvas ------------------------------------------------------------------------------

TCanvas::TCanvas()
    : font_(std::make_unique<TFont>()), pen_(std::make_unique<TPen>()), brush_(std::make_unique<TBrush>()) {
    auto deselect = [this] { DeselectHandles(); };
    font_->OnRelease = deselect;
    pen_->OnRelease = deselect;
    brush_->OnRelease = deselect;
}

TCanvas::~TCanvas() { DeselectHandles(); }

void TCanvas::DeselectHandles() {
    if (handle_ && selected_) {
        SelectObject(handle_, HPEN{GetStockObject(BLACK_PEN)});
        SelectObject(handle_, HBRUSH{GetStockObject(WHITE_BRUSH)});
        SelectObject(handle_, HFONT{GetStockObject(SYSTEM_FONT)});
    }
    selected_ = false;
}

HDC TCanvas::Handle() {
    if (!handle_) CreateHandle();
    return handle_;
}

void TCanvas::SetHandle(HDC dc) {
    if (dc == handle_) return;
    DeselectHandles();
    handle_ = dc;
}

void TCanvas::Lock() {
    lock_.Enter();
    ++lockCount_;
}
void TCanvas::Unlock() {
    --lockCount_;
    lock_.Leave();
}
bool TCanvas::TryLock() {
    if (!lock_.TryEnter()) return false;
    ++lockCount_;
    return true;
}

void TCanvas::RequireState(bool pen, bool brush, bool font) {
    HDC dc = Handle();
    if (!dc) throw EInvalidOperation("Canvas does not allow drawing");
    if (pen) {
        SelectObject(dc, pen_->Handle());
        SetROP2(dc, pen_->Rop2());
    }
    if (brush) {
        SelectObject(dc, brush_->Handle());
        SetBkColor(dc, ColorToRGB(brush_->Color()));
        SetBkMode(dc, brush_->Style() == bsSolid ? OPAQUE : TRANSPARENT);
    }
    if (font) {
        SelectObject(dc, font_->Handle());
        SetTextColor(dc, ColorToRGB(font_->Color()));
    }
    selected_ = true;
}

void TCanvas::Changing() {
    if (OnChanging) OnChanging(this);
}
void TCanvas::Changed() {
    if (OnChange) OnChange(this);
}
void TCanvas::Refresh() { DeselectHandles(); }

POINT TCanvas::PenPos() {
    POINT p{};
    GetCurrentPositionEx(Handle(), &p);
    return p;
}

void TCanvas::MoveTo(int x, int y) { MoveToEx(Handle(), x, y, nullptr); }

void TCanvas::LineTo(int x, int y) {
    Changing();
    RequireState(true, true, false);
    ::ax::LineTo(handle_, x, y);
    Changed();
}

void TCanvas::Polyline(const std::vector<POINT>& points) {
    Changing();
    RequireState(true, true, false);
    ::ax::Polyline(handle_, points.data(), int(points.size()));
    Changed();
}

void TCanvas::Polygon(const std::vector<POINT>& points) {
    Changing();
    RequireState(true, true, false);
    ::ax::Polygon(handle_, points.data(), int(points.size()));
    Changed();
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2) {
    Changing();
    RequireState(true, true, false);
    ::ax::Rectangle(handle_, x1, y1, x2, y2);
    Changed();
}

void TCanvas::RoundRect(int x1, int y1, int x2, int y2, int x3, int y3) {
    Changing();
    RequireState(true, true, false);
    ::ax::RoundRect(handle_, x1, y1, x2, y2, x3, y3);
    Changed();
}

void TCanvas::Ellipse(int x1, int y1, int x2, int y2) {
    Changing();
    RequireState(true, true, false);
    ::ax::Ellipse(handle_, x1, y1, x2, y2);
    Changed();
}

void TCanvas::FillRect(const RECT& r) {
    Changing();
    RequireState(false, true, false);
    ::ax::FillRect(handle_, &r, brush_->Handle());
    Changed();
}

void TCanvas::FrameRect(const RECT& r) {
    Changing();
    RequireState(false, true, false);
    ::ax::FrameRect(handle_, &r, brush_->Handle());
    Changed();
}

void TCanvas::DrawFocusRect(const RECT& r) {
    Changing();
    RequireState(false, true, false);
    ::ax::DrawFocusRect(handle_, &r);
    Changed();
}

void TCanvas::TextOut(int x, int y, const AnsiString& text) {
    Changing();
    RequireState(false, true, true);
    ::ax::ExtTextOut(handle_, x, y, (brush_->Style() == bsSolid ? UINT(ETO_OPAQUE) : UINT(0)) | textFlags_, nullptr,
                     text);
    MoveToEx(handle_, x + TextWidth(text), y, nullptr);
    Changed();
}

void TCanvas::TextRect(const RECT& r, int x, int y, const AnsiString& text) {
    Changing();
    RequireState(false, true, true);
    UINT options = ETO_CLIPPED | textFlags_;
    if (brush_->Style() == bsSolid) options |= ETO_OPAQUE;
    ::ax::ExtTextOut(handle_, x, y, options, &r, text);
    Changed();
}

SIZE TCanvas::TextExtent(const AnsiString& text) {
    RequireState(false, false, true);
    SIZE s{};
    GetTextExtentPoint32(handle_, text, &s);
    return s;
}

void TCanvas::Draw(int x, int y, TGraphic* graphic) {
    if (!graphic || graphic->Empty()) return;
    Changing();
    RequireState(false, false, false);
    graphic->Draw(*this, RECT{x, y, x + graphic->Width(), y + graphic->Height()});
    Changed();
}

void TCanvas::StretchDraw(const RECT& r, TGraphic* graphic) {
    if (!graphic || graphic->Empty()) return;
    Changing();
    RequireState(false, false, false);
    graphic->Draw(*this, r);
    Changed();
}

void TCanvas::CopyRect(const RECT& dest, TCanvas& source, const RECT& src) {
    Changing();
    RequireState(false, true, false);
    source.RequireState(false, true, true);
    StretchBlt(handle_, dest.left, dest.top, dest.width(), dest.height(), source.handle_, src.left, src.top,
               src.width(), src.height(), copyMode_);
    Changed();
}

COLORREF TCanvas::Pixel(int x, int y) { return GetPixel(Handle(), x, y); }

void TCanvas::SetPixel(int x, int y, TColor color) {
    Changing();
    ::ax::SetPixel(Handle(), x, y, ColorToRGB(color));
    Changed();
}

RECT TCanvas::ClipRect() {
    RECT r{};
    GetClipBox(Handle(), &r);
    return r;
}

// ---- TGraphic ------------------------------------------------------------------------------

void TGraphic::Changed() {
    modified_ = true;
    if (OnChange) OnChange(this);
}

void TGraphic::SetTransparent(bool value) {
    if (value == transparent_) return;
    transparent_ = value;
    Changed();
}

void TGraphic::LoadFromFile(const std::string& fileName) {
    TMemoryStream data;
    data.LoadFromFile(fileName);
    data.SetPosition(0);
    LoadFromStream(data);
}

void TGraphic::SaveToFile(const std::string& fileName) {
    SaveFileAtomically(fileName, [this](TStream& s) { SaveToStream(s); });
}

void TGraphic::DefineProperties(TFiler& filer) {
    filer.DefineBinaryProperty(
        "Data", [this](TStream& s) { LoadFromStream(s); }, [this](TStream& s) { SaveToStream(s); }, !Empty());
}

static std::string ReadAll(TStream& stream) {
    const int64_t n = stream.Remaining();
    std::string bytes(size_t(n > 0 ? n : 0), '\0');
    if (n > 0) stream.ReadBuffer(bytes.data(), n);
    return bytes;
}

// ---- TBitmap ------------------------------------------------------------------------------------

namespace {

class TBitmapCanvas : public TCanvas {
public:
    explicit TBitmapCanvas(TBitmap& bitmap) : bitmap_(bitmap) {}
    ~TBitmapCanvas() override { Free(); }
    void Free() {
        HDC dc = HandleAllocated() ? Handle() : HDC{};
        if (!dc) return;
        DeselectHandles();
        selection_.reset();
        SetHandle({});
        dc_.Reset();
    }

protected:
    void CreateHandle() override {
        dc_.Reset(CreateCompatibleDC({}));
        if (!bitmap_.Empty()) selection_.emplace(dc_.Get(), bitmap_.Handle());
        SetHandle(dc_.Get());
    }

private:
    TBitmap& bitmap_;
    UniqueDC dc_;
    std::optional<ScopedSelection<HBITMAP>> selection_; // after dc_: the bitmap leaves the DC first
};

void PutLE(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

} // namespace

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() {
    FreeCanvasDC();
    handle_.Reset();
}

void TBitmap::FreeCanvasDC() {
    if (canvas_) static_cast<TBitmapCanvas&>(*canvas_).Free();
}

TCanvas& TBitmap::Canvas() {
    if (!canvas_) canvas_ = std::make_unique<TBitmapCanvas>(*this);
    return *canvas_;
}

HBITMAP TBitmap::Handle() { return handle_.Get(); }

void TBitmap::SetHandle(HBITMAP bitmap) {
    FreeCanvasDC();
    handle_.Reset(bitmap);
    width_ = height_ = 0;
    if (handle_) {
        BITMAP info;
        GetObject(handle_.Get(), sizeof info, &info);
        width_ = info.bmWidth;
        height_ = info.bmHeight;
        monochrome_ = info.bmBitsPixel == 1;
    }
    Changed();
}

HBITMAP TBitmap::ReleaseHandle() {
    FreeCanvasDC();
    HBITMAP h = handle_.Release();
    width_ = height_ = 0;
    return h;
}

void TBitmap::SetSize(int width, int height) {
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    if (width == width_ && height == height_) return;
    FreeCanvasDC();
    HBITMAP fresh{};
    if (width > 0 && height > 0) {
        fresh = monochrome_ ? CreateBitmap(width, height, 1, 1, nullptr)
                            : CreateBitmapFromPixels(width, height,
                                                     std::vector<uint32_t>(size_t(width) * height, 0xFFFFFFFF).data(),
                                                     false);
        if (handle_) { // keep what was drawn
            const UniqueDC src(CreateCompatibleDC({})), dst(CreateCompatibleDC({}));
            const ScopedSelection from(src.Get(), handle_.Get()), to(dst.Get(), fresh);
            BitBlt(dst.Get(), 0, 0, std::min(width, width_), std::min(height, height_), src.Get(), 0, 0, SRCCOPY);
        }
    }
    handle_.Reset(fresh);
    width_ = handle_ ? width : 0;
    height_ = handle_ ? height : 0;
    Changed();
}

void TBitmap::SetMonochrome(bool value) {
    if (value == monochrome_) return;
    monochrome_ = value;
    const int w = width_, h = height_;
    FreeCanvasDC();
    handle_.Reset();
    width_ = height_ = 0;
    SetSize(w, h);
}

TColor TBitmap::TransparentColor() {
    if (transparentMode_ == tmFixed && transparentColor_ != clDefault) return transparentColor_;
    if (Empty()) return clDefault;
    return TColor(Canvas().Pixel(0, height_ - 1) & 0xFFFFFF);
}

void TBitmap::SetTransparentColor(TColor color) {
    transparentColor_ = color;
    transparentMode_ = color == clDefault ? tmAuto : tmFixed;
    Changed();
}

void TBitmap::Draw(TCanvas& canvas, const RECT& r) {
    if (Empty()) return;
    HDC src = Canvas().Handle();
    if (transparent_)
        TransparentBlt(canvas.Handle(), r.left, r.top, r.width(), r.height(), src, 0, 0, width_, height_,
                       ColorToRGB(TransparentColor()));
    else
        StretchBlt(canvas.Handle(), r.left, r.top, r.width(), r.height(), src, 0, 0, width_, height_,
                   canvas.CopyMode());
}

void TBitmap::LoadFromStream(TStream& stream) {
    const std::string data = ReadAll(stream);
    HBITMAP loaded = LoadBitmapFromBmp(data);
    if (!loaded) loaded = LoadBitmapFromPng(data);
    if (!loaded) throw EInvalidOperation("Bitmap image is not valid");
    SetHandle(loaded);
}

void TBitmap::SaveToStream(TStream& stream) {
    std::vector<uint32_t> px;
    int w = 0, h = 0;
    if (handle_) GetBitmapPixels(handle_.Get(), &w, &h, &px);
    const bool mono = monochrome_;
    const int bpp = mono ? 1 : 24;
    const uint32_t rowBytes = ((uint32_t(w) * bpp + 31) / 32) * 4;
    const uint32_t paletteBytes = mono ? 8 : 0;
    const uint32_t offset = 14 + 40 + paletteBytes;
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    PutLE(out, offset + rowBytes * uint32_t(h), 4);
    PutLE(out, 0, 4);
    PutLE(out, offset, 4);
    PutLE(out, 40, 4);
    PutLE(out, uint32_t(w), 4);
    PutLE(out, uint32_t(h), 4);
    PutLE(out, 1, 2);
    PutLE(out, uint32_t(bpp), 2);
    PutLE(out, 0, 4);
    PutLE(out, rowBytes * uint32_t(h), 4);
    PutLE(out, 3780, 4);
    PutLE(out, 3780, 4);
    PutLE(out, mono ? 2 : 0, 4);
    PutLE(out, 0, 4);
    if (mono) {
        PutLE(out, 0x00000000, 4);
        PutLE(out, 0x00FFFFFF, 4);
    }
    for (int y = h - 1; y >= 0; --y) {
        std::vector<uint8_t> row(rowBytes, 0);
        for (int x = 0; x < w; ++x) {
            const uint32_t p = px[size_t(y) * w + x];
            if (mono) {
                if (p & 0xFFFFFF) row[size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
            } else {
                row[size_t(x) * 3] = uint8_t(p);
                row[size_t(x) * 3 + 1] = uint8_t(p >> 8);
                row[size_t(x) * 3 + 2] = uint8_t(p >> 16);
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    stream.WriteBuffer(out.data(), int64_t(out.size()));
}

void TBitmap::Assign(const TPersistent* source) {
    if (const auto* b = dynamic_cast<const TBitmap*>(source)) {
        monochrome_ = b->monochrome_;
        transparent_ = b->transparent_;
        transparentColor_ = b->transparentColor_;
        transparentMode_ = b->transparentMode_;
        SetHandle(b->handle_ ? CopyBitmap(b->handle_.Get()) : HBITMAP{});
        return;
    }
    if (source == nullptr) {
        SetHandle({});
        return;
    }
    TPersistent::Assign(source);
}

std::unique_ptr<TGraphic> TBitmap::Clone() const {
    auto copy = std::make_unique<TBitmap>();
    copy->Assign(this);
    return copy;
}

// ---- TIcon ----------------------------------------------------------------------------------------

TIcon::~TIcon() {
    handle_.Reset();
}

int TIcon::Width() const { return handle_ ? GetIconSize(handle_.Get()).cx : 0; }
int TIcon::Height() const { return handle_ ? GetIconSize(handle_.Get()).cy : 0; }

void TIcon::SetHandle(HICON icon) {
    handle_.Reset(icon);
    data_.clear();
    Changed();
}

HICON TIcon::ReleaseHandle() {
    HICON h = handle_.Release();
    data_.clear();
    return h;
}

void TIcon::Draw(TCanvas& canvas, const RECT& r) {
    if (handle_) DrawIconEx(canvas.Handle(), r.left, r.top, handle_.Get(), r.width(), r.height(), 0, {}, DI_NORMAL);
}

void TIcon::LoadFromStream(TStream& stream) {
    const std::string data = ReadAll(stream);
    HICON icon = LoadIconFromIco(data, 0, 0);
    if (!icon) throw EInvalidOperation("Icon image is not valid");
    handle_.Reset(icon);
    data_.assign(data.begin(), data.end());
    Changed();
}

void TIcon::SaveToStream(TStream& stream) {
    if (!data_.empty()) {
        stream.WriteBuffer(data_.data(), int64_t(data_.size()));
        return;
    }
    if (!handle_) return;
    // One 32-bit image with its AND mask.
    int w = 0, h = 0;
    std::vector<uint32_t> px;
    GetIconPixels(handle_.Get(), &w, &h, &px);
    const uint32_t maskRow = ((uint32_t(w) + 31) / 32) * 4;
    const uint32_t imageBytes = 40 + uint32_t(w) * h * 4 + maskRow * h;
    std::vector<uint8_t> out;
    PutLE(out, 0, 2);
    PutLE(out, 1, 2);
    PutLE(out, 1, 2);
    out.push_back(uint8_t(w >= 256 ? 0 : w));
    out.push_back(uint8_t(h >= 256 ? 0 : h));
    out.push_back(0);
    out.push_back(0);
    PutLE(out, 1, 2);
    PutLE(out, 32, 2);
    PutLE(out, imageBytes, 4);
    PutLE(out, 22, 4);
    PutLE(out, 40, 4);
    PutLE(out, uint32_t(w), 4);
    PutLE(out, uint32_t(h) * 2, 4);
    PutLE(out, 1, 2);
    PutLE(out, 32, 2);
    PutLE(out, 0, 4);
    PutLE(out, imageBytes - 40, 4);
    PutLE(out, 0, 4);
    PutLE(out, 0, 4);
    PutLE(out, 0, 4);
    PutLE(out, 0, 4);
    for (int y = h - 1; y >= 0; --y)
        for (int x = 0; x < w; ++x) PutLE(out, px[size_t(y) * w + x], 4);
    for (int y = h - 1; y >= 0; --y) {
        std::vector<uint8_t> row(maskRow, 0);
        for (int x = 0; x < w; ++x)
            if ((px[size_t(y) * w + x] >> 24) == 0) row[size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    stream.WriteBuffer(out.data(), int64_t(out.size()));
}

void TIcon::Assign(const TPersistent* source) {
    if (const auto* i = dynamic_cast<const TIcon*>(source)) {
        if (i == this) return;
        handle_.Reset(i->handle_ ? CopyIcon(i->handle_.Get()) : HICON{});
        data_ = i->data_;
        Changed();
        return;
    }
    if (source == nullptr) {
        SetHandle({});
        return;
    }
    TPersistent::Assign(source);
}

std::unique_ptr<TGraphic> TIcon::Clone() const {
    auto copy = std::make_unique<TIcon>();
    copy->Assign(this);
    return copy;
}

// ---- TPicture ----------------------------------------------------------------------------------------

void TPicture::Changed() {
    if (OnChange) OnChange(this);
}

void TPicture::Adopt(std::unique_ptr<TGraphic> graphic) {
    graphic_ = std::move(graphic);
    if (graphic_) graphic_->OnChange = [this](TObject*) { Changed(); };
    Changed();
}

void TPicture::SetGraphic(const TGraphic* graphic) { Adopt(graphic ? graphic->Clone() : nullptr); }

void TPicture::Assign(const TPersistent* source) {
    if (const auto* p = dynamic_cast<const TPicture*>(source)) SetGraphic(p->graphic_.get());
    else if (const auto* g = dynamic_cast<const TGraphic*>(source)) SetGraphic(g);
    else if (!source) SetGraphic(nullptr);
    else TPersistent::Assign(source);
}

TBitmap& TPicture::Bitmap() {
    if (!dynamic_cast<TBitmap*>(graphic_.get())) Adopt(std::make_unique<TBitmap>());
    return static_cast<TBitmap&>(*graphic_);
}

TIcon& TPicture::Icon() {
    if (!dynamic_cast<TIcon*>(graphic_.get())) Adopt(std::make_unique<TIcon>());
    return static_cast<TIcon&>(*graphic_);
}

void TPicture::LoadFromFile(const std::string& fileName) {
    const AnsiString ext = LowerCase(ExtractFileExt(fileName));
    std::unique_ptr<TGraphic> g;
    if (ext == ".ico") g = std::make_unique<TIcon>();
    else if (ext == ".bmp" || ext == ".png") g = std::make_unique<TBitmap>();
    else throw EInvalidOperation("Unknown picture file extension (" + ext + ")");
    g->LoadFromFile(fileName);
    Adopt(std::move(g));
}

void TPicture::SaveToFile(const std::string& fileName) {
    if (graphic_) graphic_->SaveToFile(fileName);
}

void TPicture::DefineProperties(TFiler& filer) {
    // The class name first, then the graphic's own bytes.
    filer.DefineBinaryProperty(
        "Data",
        [this](TStream& s) {
            uint8_t n = 0;
            s.ReadBuffer(&n, 1);
            std::string name(n, '\0');
            if (n) s.ReadBuffer(name.data(), n);
            std::unique_ptr<TGraphic> g;
            if (name == "TBitmap") g = std::make_unique<TBitmap>();
            else if (name == "TIcon") g = std::make_unique<TIcon>();
            else throw EReadError(SInvalidPropertyValue);
            g->LoadFromStream(s);
            Adopt(std::move(g));
        },
        [this](TStream& s) {
            const AnsiString name = graphic_->ClassName();
            const uint8_t n = uint8_t(name.size());
            s.WriteBuffer(&n, 1);
            s.WriteBuffer(name.data(), n);
            graphic_->SaveToStream(s);
        },
        graphic_ && !graphic_->Empty());
}

// ---- TImageList ------------------------------------------------------------------------------------------

TImageList::TImageList(TComponent* owner) : TComponent(owner) {}

TImageList::~TImageList() { FreeHandle(); }

void TImageList::FreeHandle() {
    if (handle_ && !shareImages_) ImageList_Destroy(handle_);
    handle_ = {};
}

HIMAGELIST TImageList::Handle() {
    if (!handle_) {
        handle_ = ImageList_Create(width_, height_, ILC_COLOR32 | (masked_ ? UINT(ILC_MASK) : UINT(0)), allocBy_, allocBy_);
        if (bkColor_ != clNone) ImageList_SetBkColor(handle_, ColorToRGB(bkColor_));
    }
    return handle_;
}

void TImageList::SetHandle(HIMAGELIST list) {
    FreeHandle();
    handle_ = list;
    if (handle_) ImageList_GetIconSize(handle_, &width_, &height_);
    Change();
}

void TImageList::SetSize(int width, int height) {
    if (width == width_ && height == height_) return;
    width_ = width;
    height_ = height;
    if (handle_) ImageList_SetIconSize(handle_, width, height);
    Change();
}

void TImageList::SetMasked(bool value) {
    if (value == masked_) return;
    masked_ = value;
    FreeHandle();
    Change();
}

void TImageList::SetBkColor(TColor color) {
    bkColor_ = color;
    if (handle_) ImageList_SetBkColor(handle_, color == clNone ? CLR_NONE : ColorToRGB(color));
    Change();
}

int TImageList::Count() { return handle_ ? ImageList_GetImageCount(handle_) : 0; }

int TImageList::Add(TBitmap* image, TBitmap* mask) {
    const int i = ImageList_Add(Handle(), image ? image->Handle() : HBITMAP{}, mask ? mask->Handle() : HBITMAP{});
    Change();
    return i;
}

int TImageList::AddMasked(TBitmap* image, TColor maskColor) {
    const int i = ImageList_AddMasked(Handle(), image->Handle(), ColorToRGB(maskColor));
    Change();
    return i;
}

int TImageList::AddIcon(TIcon* icon) {
    const int i = ImageList_AddIcon(Handle(), icon ? icon->Handle() : HICON{});
    Change();
    return i;
}

void TImageList::Replace(int index, TBitmap* image, TBitmap* mask) {
    ImageList_Replace(Handle(), index, image->Handle(), mask ? mask->Handle() : HBITMAP{});
    Change();
}

void TImageList::ReplaceIcon(int index, TIcon* icon) {
    ImageList_ReplaceIcon(Handle(), index, icon->Handle());
    Change();
}

void TImageList::Delete(int index) {
    if (index < 0 || index >= Count()) throw EInvalidOperation("Invalid ImageList Index");
    ImageList_Remove(handle_, index);
    Change();
}

void TImageList::Clear() {
    if (handle_) ImageList_Remove(handle_, -1);
    Change();
}

void TImageList::GetBitmap(int index, TBitmap& image) {
    image.SetSize(width_, height_);
    TCanvas& c = image.Canvas();
    c.Brush().SetColor(bkColor_ == clNone ? clWhite : bkColor_);
    c.FillRect(RECT{0, 0, width_, height_});
    ImageList_Draw(Handle(), index, c.Handle(), 0, 0, ILD_NORMAL);
}

void TImageList::GetIcon(int index, TIcon& icon) { icon.SetHandle(ImageList_GetIcon(Handle(), index, ILD_NORMAL)); }

void TImageList::Draw(TCanvas& canvas, int x, int y, int index, bool enabled) {
    if (!handle_ || index < 0 || index >= Count()) return;
    static const UINT styles[] = {ILD_FOCUS, ILD_SELECTED, ILD_NORMAL, ILD_TRANSPARENT};
    UINT style = styles[drawingStyle_];
    if (!enabled) style = ILD_BLEND50;
    ImageList_DrawEx(handle_, index, canvas.Handle(), x, y, 0, 0,
                     bkColor_ == clNone ? CLR_NONE : ColorToRGB(bkColor_), CLR_DEFAULT, style);
}

void TImageList::Change() {
    if (OnChange) OnChange(this);
}

void TImageList::DefinePublished(TFiler& f) {
    TComponent::DefinePublished(f);
    f.Integer("AllocBy", [this] { return allocBy_; }, [this](int64_t v) { allocBy_ = int(v); }, 4);
    DefineColorProperty(f, "BkColor", [this] { return bkColor_; }, [this](TColor c) { SetBkColor(c); }, clNone);
    f.Bool("Masked", [this] { return masked_; }, [this](bool v) { SetMasked(v); }, true);
    f.Bool("ShareImages", [this] { return shareImages_; }, [this](bool v) { shareImages_ = v; }, false);
    f.Integer("Height", [this] { return height_; }, [this](int64_t v) { SetHeight(int(v)); }, 16);
    f.Integer("Width", [this] { return width_; }, [this](int64_t v) { SetWidth(int(v)); }, 16);
}

} // namespace ax
