// Bitmap button: the standard kinds draw their own small glyphs.
#include "framework/streaming.h"
#include "stdctrls/button.h"
#include "stdctrls/buttons.h"
#include "stdctrls_internal.h"

namespace ax {

namespace {
struct KindInfo {
    const char* caption;
    TModalResult result;
};
constexpr KindInfo kKinds[] = {{"", mrNone},        {"OK", mrOk},       {"Cancel", mrCancel}, {"&Help", mrNone},
                               {"&Yes", mrYes},     {"&No", mrNo},      {"&Close", mrNone},   {"Abort", mrAbort},
                               {"&Retry", mrRetry}, {"&Ignore", mrIgnore}, {"&All", mrAll}};
constexpr TColor kGlyphKey = clOlive; // the transparent colour of the glyphs

// The 16 x 16 glyph of a kind, drawn with lines on the transparent colour.
void MakeKindGlyph(TBitBtnKind kind, TBitmap& glyph) {
    glyph.SetSize(16, 16);
    TCanvas& c = glyph.Canvas();
    c.Brush().SetColor(kGlyphKey);
    c.FillRect({0, 0, 16, 16});
    c.Pen().SetWidth(2);
    const auto poly = [&c](TColor color, std::vector<POINT> points) {
        c.Pen().SetColor(color);
        c.Polyline(points);
    };
    switch (kind) {
    case bkOK:
    case bkYes: poly(clGreen, {{2, 8}, {6, 12}, {13, 3}}); break;
    case bkAll:
        poly(clGreen, {{1, 8}, {4, 11}, {9, 3}});
        poly(clGreen, {{6, 9}, {8, 12}, {14, 3}});
        break;
    case bkCancel:
    case bkAbort:
        poly(clRed, {{3, 3}, {13, 13}});
        poly(clRed, {{13, 3}, {3, 13}});
        break;
    case bkNo:
        c.Brush().SetStyle(bsClear);
        c.Pen().SetColor(clRed);
        c.Ellipse(2, 2, 14, 14);
        poly(clRed, {{4, 12}, {12, 4}});
        c.Brush().SetStyle(bsSolid);
        break;
    case bkHelp:
        poly(clNavy, {{4, 5}, {5, 3}, {10, 3}, {11, 5}, {8, 8}, {8, 10}});
        poly(clNavy, {{8, 12}, {8, 14}});
        break;
    case bkClose:
        c.Pen().SetWidth(1);
        c.Brush().SetColor(clTeal);
        c.Rectangle(3, 1, 12, 15);
        c.Pen().SetColor(clYellow);
        c.Pen().SetWidth(2);
        c.MoveTo(9, 8);
        c.LineTo(10, 8);
        break;
    case bkRetry:
        poly(clGreen, {{12, 5}, {10, 3}, {6, 3}, {3, 6}, {3, 10}, {6, 13}, {10, 13}, {12, 11}});
        poly(clGreen, {{9, 5}, {13, 5}, {13, 1}});
        break;
    case bkIgnore:
        poly(clNavy, {{2, 10}, {6, 6}, {10, 10}, {14, 6}});
        break;
    case bkCustom: break;
    }
    glyph.SetTransparentColor(kGlyphKey);
    glyph.SetTransparent(true);
}
} // namespace

TBitBtn::TBitBtn(TComponent* owner) : TButton(owner), glyph_(std::make_unique<TBitmap>()) {}

TBitBtn::~TBitBtn() = default;

void TBitBtn::DefinePublished(TFiler& f) {
    TButton::DefinePublished(f);
    f.Enum("Kind", {"bkCustom", "bkOK", "bkCancel", "bkHelp", "bkYes", "bkNo", "bkClose", "bkAbort", "bkRetry",
                    "bkIgnore", "bkAll"},
           [this] { return int(kind_); }, [this](int v) { SetKind(TBitBtnKind(v)); }, 0);
    f.Integer("NumGlyphs", [this] { return numGlyphs_; }, [this](int64_t v) { SetNumGlyphs(int(v)); }, 1);
    f.Enum("Layout", {"blGlyphLeft", "blGlyphRight", "blGlyphTop", "blGlyphBottom"}, [this] { return int(layout_); },
           [this](int v) { SetLayout(TButtonLayout(v)); }, 0);
    f.Integer("Margin", [this] { return margin_; }, [this](int64_t v) { SetMargin(int(v)); }, -1);
    f.Integer("Spacing", [this] { return spacing_; }, [this](int64_t v) { SetSpacing(int(v)); }, 4);
    if (kind_ == bkCustom) f.DefineObject("Glyph", glyph_.get());
}

void TBitBtn::SetKind(TBitBtnKind kind) {
    if (kind_ == kind) return;
    kind_ = kind;
    if (kind != bkCustom) {
        MakeKindGlyph(kind, *glyph_);
        numGlyphs_ = 1;
        SetCaption(kKinds[kind].caption);
        modalResult_ = kKinds[kind].result;
        SetDefault(kind == bkOK || kind == bkYes);
        SetCancel(kind == bkCancel || kind == bkNo);
    }
    Invalidate();
}

TBitmap& TBitBtn::Glyph() { return *glyph_; }

void TBitBtn::SetGlyph(const TBitmap& glyph) {
    glyph_->Assign(&glyph);
    kind_ = bkCustom;
    if (glyph_->Height() > 0 && glyph_->Width() % glyph_->Height() == 0) {
        const int n = glyph_->Width() / glyph_->Height();
        if (n >= 1 && n <= 4) numGlyphs_ = n;
    }
    Invalidate();
}

void TBitBtn::SetNumGlyphs(TNumGlyphs n) {
    n = std::clamp(n, 1, 4);
    if (numGlyphs_ == n) return;
    numGlyphs_ = n;
    Invalidate();
}

void TBitBtn::SetLayout(TButtonLayout layout) {
    if (layout_ == layout) return;
    layout_ = layout;
    Invalidate();
}

void TBitBtn::SetMargin(int margin) {
    if (margin_ == margin || margin < -1) return;
    margin_ = margin;
    Invalidate();
}

void TBitBtn::SetSpacing(int spacing) {
    if (spacing_ == spacing) return;
    spacing_ = spacing;
    Invalidate();
}

void TBitBtn::Click() {
    if (kind_ == bkClose) {
        if (TCustomForm* form = GetParentForm(this)) form->Close();
    } else if (kind_ == bkHelp && Application()) {
        TControl* c = this;
        while (c && c->HelpContext() == 0) c = c->Parent();
        if (c) Application()->HelpContext(c->HelpContext());
    }
    TButton::Click();
}

void TBitBtn::Paint() {
    TCanvas& c = Canvas();
    const RECT content = DrawFace(c);
    const int gw = glyph_->Empty() ? 0 : glyph_->Width() / numGlyphs_, gh = glyph_->Empty() ? 0 : glyph_->Height();
    const RECT textSize = MeasureDrawText(Font(), text_, {0, 0, content.width(), 0}, DT_SINGLELINE);
    const bool horizontal = layout_ == blGlyphLeft || layout_ == blGlyphRight;
    const int spacing = (gw > 0 && !text_.empty()) ? spacing_ : 0;
    const int total = horizontal ? gw + spacing + textSize.width() : gh + spacing + textSize.height();
    const int avail = horizontal ? content.width() : content.height();
    const int start = margin_ >= 0 ? margin_ : (avail - total) / 2;
    POINT glyphAt{}, textAt{};
    if (horizontal) {
        const int gy = content.top + (content.height() - gh) / 2, ty = content.top + (content.height() - textSize.height()) / 2;
        if (layout_ == blGlyphLeft) {
            glyphAt = {content.left + start, gy};
            textAt = {glyphAt.x + gw + spacing, ty};
        } else {
            textAt = {content.right - start - total, ty};
            glyphAt = {textAt.x + textSize.width() + spacing, gy};
        }
    } else {
        const int gx = content.left + (content.width() - gw) / 2, tx = content.left + (content.width() - textSize.width()) / 2;
        if (layout_ == blGlyphTop) {
            glyphAt = {gx, content.top + start};
            textAt = {tx, glyphAt.y + gh + spacing};
        } else {
            textAt = {tx, content.bottom - start - total};
            glyphAt = {gx, textAt.y + textSize.height() + spacing};
        }
    }
    if (gw > 0) {
        // A strip holds up, disabled, down and held-down images in turn.
        const int cell = !enabled_ && numGlyphs_ > 1 ? 1 : (pushed_ && numGlyphs_ > 2) ? 2 : 0;
        TBitmap image;
        image.SetSize(gw, gh);
        image.Canvas().CopyRect({0, 0, gw, gh}, glyph_->Canvas(), {cell * gw, 0, cell * gw + gw, gh});
        image.SetTransparentColor(glyph_->TransparentColor());
        image.SetTransparent(true);
        c.Draw(glyphAt.x, glyphAt.y, &image);
    }
    DrawCaption(c, {textAt.x, textAt.y, textAt.x + textSize.width(), textAt.y + textSize.height()}, DT_LEFT | DT_SINGLELINE);
    if (focused_) {
        RECT f = ClientRect();
        InflateRect(&f, -4, -4);
        c.DrawFocusRect(f);
    }
}

} // namespace ax
