// The label with a shadow: the text drawn twice (shadow, then text), bounds
// grown by the shadow, a focus frame while FocusControl has the focus, and
// mouse enter and leave events.
#include "controls/ExLabel.h"

#include "framework/streaming.h"

namespace ax {

namespace {
// The shadow's offset for a position and size.
POINT ShadowOffset(TShadowPosition pos, int s) {
    switch (pos) {
    case spLeftTop: return {-s, -s};
    case spLeftBottom: return {-s, s};
    case spRightBottom: return {s, s};
    default: return {s, -s};
    }
}
} // namespace

TExCustomLabel::TExCustomLabel(TComponent* owner) : TCustomLabel(owner) { SetBounds(0, 0, 65, 17); }

void TExCustomLabel::DefinePublished(TFiler& f) {
    TCustomLabel::DefinePublished(f);
    DefineColorProperty(f, "ShadowColor", [this] { return shadowColor_; }, [this](TColor c) { SetShadowColor(c); },
                        clBtnHighlight);
    f.Integer("ShadowSize", [this] { return shadowSize_; }, [this](int64_t v) { SetShadowSize(uint8_t(v)); }, 1);
    f.Enum("ShadowPos", {"spLeftTop", "spLeftBottom", "spRightBottom", "spRightTop"},
           [this] { return int(shadowPos_); }, [this](int v) { SetShadowPos(TShadowPosition(v)); }, 0);
    f.Bool("ShowFocus", [this] { return showFocus_; }, [this](bool v) { SetShowFocus(v); }, false);
}

void TExCustomLabel::SetShadowColor(TColor value) {
    if (shadowColor_ == value) return;
    shadowColor_ = value;
    Invalidate();
}
void TExCustomLabel::SetShadowSize(uint8_t value) {
    if (shadowSize_ == value) return;
    shadowSize_ = value;
    AdjustBounds();
    Invalidate();
}
void TExCustomLabel::SetShadowPos(TShadowPosition value) {
    if (shadowPos_ == value) return;
    shadowPos_ = value;
    Invalidate();
}
void TExCustomLabel::SetShowFocus(bool value) {
    if (showFocus_ == value) return;
    showFocus_ = value;
    Invalidate();
}

void TExCustomLabel::DoDrawText(TCanvas& canvas, RECT& rect, UINT flags) {
    AnsiString text = Caption();
    if ((flags & DT_CALCRECT) && (text.empty() || (ShowAccelChar() && text == "&"))) text += ' ';
    TColor fontColour = Font().Color(), shadowColour = shadowColor_;
    TShadowPosition pos = shadowPos_;
    int size = shadowSize_;
    if (!Enabled()) {
        fontColour = clGrayText;
        shadowColour = clBtnHighlight;
        if (size == 0) {
            pos = spRightBottom;
            size = 1;
        }
    }
    const POINT off = ShadowOffset(pos, size);
    if (flags & DT_CALCRECT) {
        TBitmap measure;
        measure.SetSize(1, 1);
        measure.Canvas().Font().Assign(&Font());
        DrawText(measure.Canvas().Handle(), text, &rect, flags);
        RECT shadow = rect;
        OffsetRect(&shadow, off.x, off.y);
        UnionRect(&rect, &rect, &shadow);
        return;
    }
    HDC dc = canvas.Handle();
    canvas.Font().Assign(&Font());
    SelectObject(dc, canvas.Font().Handle());
    SetBkMode(dc, TRANSPARENT);
    if (size > 0) {
        RECT shadow = rect;
        OffsetRect(&shadow, off.x, off.y);
        SetTextColor(dc, ColorToRGB(shadowColour));
        DrawText(dc, text, &shadow, flags);
    }
    SetTextColor(dc, ColorToRGB(fontColour));
    DrawText(dc, text, &rect, flags);
}

void TExCustomLabel::Paint() {
    TCanvas& c = Canvas();
    const RECT client = ClientRect();
    if (!Transparent()) {
        c.Brush().SetStyle(bsSolid);
        c.Brush().SetColor(Color());
        c.FillRect(client);
    }
    RECT r{client.left + leftMargin_ + 1, client.top, client.right - rightMargin_ - 1, client.bottom};
    const UINT flags = DrawFlags();
    if (Layout() != tlTop) {
        RECT measured = r;
        DoDrawText(c, measured, flags | DT_CALCRECT);
        const int offset = Layout() == tlCenter ? (client.height() - measured.height()) / 2
                                                : client.height() - measured.height();
        OffsetRect(&r, 0, offset);
        r.bottom = r.top + measured.height();
    }
    RECT text = r;
    DoDrawText(c, text, flags);
    if (showFocus_ && focused_ && !HasState(csDesigning)) {
        RECT frame = r;
        DoDrawText(c, frame, flags | DT_CALCRECT);
        InflateRect(&frame, 1, 1);
        c.DrawFocusRect(frame);
    }
}

void TExCustomLabel::AdjustBounds() {
    if (!AutoSize() || HasState(csLoading)) return;
    RECT r{0, 0, ClientRect().width(), 0};
    TBitmap scratch;
    scratch.SetSize(1, 1);
    DoDrawText(scratch.Canvas(), r, DrawFlags() | DT_CALCRECT);
    const int width = r.width() + leftMargin_ + rightMargin_ + 2;
    int left = Left();
    // A right-aligned label keeps its right edge.
    if (Alignment() == taRightJustify) left += Width() - width;
    SetBounds(left, Top(), width, r.height());
}

void TExCustomLabel::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case CM_FOCUSCHANGED: {
        const bool focused = FocusControl() && reinterpret_cast<TControl*>(m.LParam) == FocusControl();
        if (focused != focused_) {
            focused_ = focused;
            if (showFocus_) Invalidate();
        }
        break;
    }
    case CM_MOUSELEAVE:
        // Not while the left button is held on the label.
        if (pressedLeft_) return;
        break;
    case CM_ENABLEDCHANGED:
        TCustomLabel::Dispatch(m);
        if (!Enabled()) pressedLeft_ = false;
        Invalidate();
        return;
    case CM_TEXTCHANGED:
        TCustomLabel::Dispatch(m);
        AdjustBounds();
        Invalidate();
        return;
    }
    TCustomLabel::Dispatch(m);
}

} // namespace ax
