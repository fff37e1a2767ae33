// Panel, bevel and image.
#include "framework/streaming.h"
#include "stdctrls/extctrls.h"
#include "stdctrls_internal.h"

namespace ax {

// ---- Panel ----------------------------------------------------------------------------------

TCustomPanel::TCustomPanel(TComponent* owner) : TCustomControl(owner) {
    SetBounds(0, 0, 185, 41);
    color_ = clBtnFace;
}

void TCustomPanel::DefinePublished(TFiler& f) {
    TCustomControl::DefinePublished(f);
    static const std::vector<const char*> cuts{"bvNone", "bvLowered", "bvRaised", "bvSpace"};
    f.Enum("BevelInner", cuts, [this] { return int(bevelInner_); }, [this](int v) { SetBevelInner(TBevelCut(v)); }, 0);
    f.Enum("BevelOuter", cuts, [this] { return int(bevelOuter_); }, [this](int v) { SetBevelOuter(TBevelCut(v)); }, 2);
    f.Integer("BevelWidth", [this] { return bevelWidth_; }, [this](int64_t v) { SetBevelWidth(int(v)); }, 1);
    f.Integer("BorderWidth", [this] { return borderWidth_; }, [this](int64_t v) { SetBorderWidth(int(v)); }, 0);
    f.Enum("BorderStyle", {"bsNone", "bsSingle"}, [this] { return int(borderStyle_); },
           [this](int v) { SetBorderStyle(TBorderStyle(v)); }, 0);
    f.Enum("Alignment", {"taLeftJustify", "taRightJustify", "taCenter"}, [this] { return int(alignment_); },
           [this](int v) { SetAlignment(TAlignment(v)); }, 2);
}

void TCustomPanel::SetName(const AnsiString& name) {
    const bool follow = setCaptionFromName_ && text_ == Name() && !HasState(csLoading);
    TCustomControl::SetName(name);
    if (follow) SetText(name);
}

void TCustomPanel::CreateParams(TCreateParams& p) {
    TCustomControl::CreateParams(p);
    p.Style |= WS_CLIPCHILDREN;
    if (borderStyle_ == bsSingle) {
        if (ctl3D_) p.ExStyle |= WS_EX_CLIENTEDGE;
        else p.Style |= WS_BORDER;
    }
}

RECT TCustomPanel::ClientRect() {
    RECT r = TCustomControl::ClientRect();
    // Only the bevels: aligning takes the border width off for every
    // windowed control, so counting it here too would take it twice.
    int inset = 0;
    if (bevelOuter_ != bvNone) inset += bevelWidth_;
    if (bevelInner_ != bvNone) inset += bevelWidth_;
    InflateRect(&r, -inset, -inset);
    return r;
}

void TCustomPanel::SetBevelInner(TBevelCut value) {
    if (bevelInner_ == value) return;
    bevelInner_ = value;
    Realign();
    Invalidate();
}

void TCustomPanel::SetBevelOuter(TBevelCut value) {
    if (bevelOuter_ == value) return;
    bevelOuter_ = value;
    Realign();
    Invalidate();
}

void TCustomPanel::SetBevelWidth(int value) {
    if (bevelWidth_ == value || value < 1) return;
    bevelWidth_ = value;
    Realign();
    Invalidate();
}

void TCustomPanel::SetBorderStyle(TBorderStyle value) {
    if (borderStyle_ == value) return;
    borderStyle_ = value;
    RecreateWnd();
}

void TCustomPanel::SetAlignment(TAlignment value) {
    if (alignment_ == value) return;
    alignment_ = value;
    Invalidate();
}

void TCustomPanel::Paint() {
    TCanvas& c = Canvas();
    RECT r = TCustomControl::ClientRect();
    const auto colors = [](TBevelCut cut, TColor& top, TColor& bottom) {
        top = cut == bvLowered ? clBtnShadow : clBtnHighlight;
        bottom = cut == bvLowered ? clBtnHighlight : clBtnShadow;
    };
    TColor top, bottom;
    if (bevelOuter_ != bvNone) {
        colors(bevelOuter_, top, bottom);
        if (bevelOuter_ == bvSpace) top = bottom = color_;
        Frame3D(c, r, top, bottom, bevelWidth_);
    }
    Frame3D(c, r, color_, color_, borderWidth_);
    if (bevelInner_ != bvNone) {
        colors(bevelInner_, top, bottom);
        if (bevelInner_ == bvSpace) top = bottom = color_;
        Frame3D(c, r, top, bottom, bevelWidth_);
    }
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(color_);
    c.FillRect(r);
    static constexpr UINT align[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
    c.Font().SetColor(enabled_ ? Font().Color() : clGrayText);
    CanvasDrawText(c, text_, r, DT_EXPANDTABS | DT_VCENTER | DT_SINGLELINE | align[alignment_]);
}

// ---- Bevel ----------------------------------------------------------------------------------

TBevel::TBevel(TComponent* owner) : TGraphicControl(owner) { SetBounds(0, 0, 50, 50); }

void TBevel::DefinePublished(TFiler& f) {
    TGraphicControl::DefinePublished(f);
    f.Enum("Shape", {"bsBox", "bsFrame", "bsTopLine", "bsBottomLine", "bsLeftLine", "bsRightLine", "bsSpacer"},
           [this] { return int(shape_); }, [this](int v) { SetShape(TBevelShape(v)); }, 0);
    f.Enum("Style", {"bsLowered", "bsRaised"}, [this] { return int(style_); },
           [this](int v) { SetStyle(TBevelStyle(v)); }, 0);
}

void TBevel::SetShape(TBevelShape value) {
    if (shape_ == value) return;
    shape_ = value;
    Invalidate();
}

void TBevel::SetStyle(TBevelStyle value) {
    if (style_ == value) return;
    style_ = value;
    Invalidate();
}

void TBevel::Paint() {
    TCanvas& c = Canvas();
    TColor top = style_ == bsLowered ? clBtnShadow : clBtnHighlight;
    TColor bottom = style_ == bsLowered ? clBtnHighlight : clBtnShadow;
    const int w = width_, h = height_;
    c.Pen().SetWidth(1);
    const auto line = [&c](TColor color, int x1, int y1, int x2, int y2) {
        c.Pen().SetColor(color);
        c.MoveTo(x1, y1);
        c.LineTo(x2, y2);
    };
    switch (shape_) {
    case bsBox: {
        RECT r{0, 0, w, h};
        Frame3D(c, r, top, bottom, 1);
        break;
    }
    case bsFrame: {
        // Two offset rectangles give an etched frame.
        RECT r{0, 0, w - 1, h - 1};
        Frame3D(c, r, top, top, 1);
        r = {1, 1, w, h};
        Frame3D(c, r, bottom, bottom, 1);
        break;
    }
    case bsTopLine:
        line(top, 0, 0, w, 0);
        line(bottom, 0, 1, w, 1);
        break;
    case bsBottomLine:
        line(top, 0, h - 2, w, h - 2);
        line(bottom, 0, h - 1, w, h - 1);
        break;
    case bsLeftLine:
        line(top, 0, 0, 0, h);
        line(bottom, 1, 0, 1, h);
        break;
    case bsRightLine:
        line(top, w - 2, 0, w - 2, h);
        line(bottom, w - 1, 0, w - 1, h);
        break;
    case bsSpacer: break;
    }
}

// ---- Image ----------------------------------------------------------------------------------

TImage::TImage(TComponent* owner) : TGraphicControl(owner), picture_(std::make_unique<TPicture>()) {
    SetBounds(0, 0, 105, 105);
    picture_->OnChange = [this](TObject*) { PictureChanged(); };
}

TImage::~TImage() { picture_->OnChange = nullptr; }

void TImage::DefinePublished(TFiler& f) {
    TGraphicControl::DefinePublished(f);
    f.Bool("AutoSize", [this] { return autoSize_; }, [this](bool v) { SetAutoSize(v); }, false);
    f.Bool("Center", [this] { return center_; }, [this](bool v) { SetCenter(v); }, false);
    f.Bool("Stretch", [this] { return stretch_; }, [this](bool v) { SetStretch(v); }, false);
    f.Bool("Transparent", [this] { return transparent_; }, [this](bool v) { SetTransparent(v); }, false);
    f.DefineObject("Picture", picture_.get());
}

TCanvas& TImage::Canvas() {
    if (!picture_->Graphic()) {
        TBitmap& bitmap = picture_->Bitmap();
        bitmap.SetSize(width_, height_);
        bitmap.Canvas().Brush().SetColor(clWhite);
        bitmap.Canvas().FillRect({0, 0, width_, height_});
    }
    return picture_->Bitmap().Canvas();
}

void TImage::PictureChanged() {
    if (TGraphic* g = picture_->Graphic()) {
        if (transparent_) g->SetTransparent(true);
        if (autoSize_ && g->Width() > 0 && g->Height() > 0) SetBounds(left_, top_, g->Width(), g->Height());
    }
    Invalidate();
}

void TImage::SetAutoSize(bool value) {
    autoSize_ = value;
    PictureChanged();
}

void TImage::SetCenter(bool value) {
    if (center_ == value) return;
    center_ = value;
    Invalidate();
}

void TImage::SetStretch(bool value) {
    if (stretch_ == value) return;
    stretch_ = value;
    Invalidate();
}

void TImage::SetTransparent(bool value) {
    if (transparent_ == value) return;
    transparent_ = value;
    if (TGraphic* g = picture_->Graphic()) g->SetTransparent(value);
    Invalidate();
}

RECT TImage::DestRect() {
    const int w = picture_->Width(), h = picture_->Height();
    if (stretch_) return {0, 0, width_, height_};
    if (center_) {
        const int x = (width_ - w) / 2, y = (height_ - h) / 2;
        return {x, y, x + w, y + h};
    }
    return {0, 0, w, h};
}

void TImage::Paint() {
    TCanvas& c = TGraphicControl::Canvas();
    if (TGraphic* g = picture_->Graphic(); g && !g->Empty()) c.StretchDraw(DestRect(), g);
}

} // namespace ax
