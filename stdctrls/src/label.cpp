// Label: caption drawn on the parent, sized to its text, with an "&"
// accelerator that focuses its FocusControl.
#include "framework/streaming.h"
#include "stdctrls/common.h"
#include "stdctrls/label.h"
#include "stdctrls_internal.h"

namespace ax {

TCustomLabel::TCustomLabel(TComponent* owner) : TGraphicControl(owner) {
    SetBounds(0, 0, 65, 17);
    color_ = clBtnFace;
    parentColor_ = true;
    opaque_ = true;
}

TCustomLabel::~TCustomLabel() = default;

void TCustomLabel::DefinePublished(TFiler& f) {
    TGraphicControl::DefinePublished(f);
    f.Enum("Alignment", {"taLeftJustify", "taRightJustify", "taCenter"}, [this] { return int(alignment_); },
           [this](int v) { SetAlignment(TAlignment(v)); }, 0);
    f.Bool("AutoSize", [this] { return autoSize_; }, [this](bool v) { SetAutoSize(v); }, true);
    f.Bool("WordWrap", [this] { return wordWrap_; }, [this](bool v) { SetWordWrap(v); }, false);
    f.Enum("Layout", {"tlTop", "tlCenter", "tlBottom"}, [this] { return int(layout_); },
           [this](int v) { SetLayout(TTextLayout(v)); }, 0);
    f.Bool("ShowAccelChar", [this] { return showAccelChar_; }, [this](bool v) { SetShowAccelChar(v); }, true);
    f.Bool("Transparent", [this] { return Transparent(); }, [this](bool v) { SetTransparent(v); }, false);
    f.ComponentRef("FocusControl", [this] { return static_cast<TComponent*>(focusControl_); },
                   [this](TComponent* c) { SetFocusControl(dynamic_cast<TWinControl*>(c)); });
}

void TCustomLabel::Notification(TComponent* component, TOperation operation) {
    TGraphicControl::Notification(component, operation);
    if (operation == opRemove && component == focusControl_) focusControl_ = nullptr;
}

void TCustomLabel::Loaded() {
    TGraphicControl::Loaded();
    AdjustBounds();
}

void TCustomLabel::SetText(const AnsiString& text) {
    TGraphicControl::SetText(text);
    AdjustBounds();
}

void TCustomLabel::SetAutoSize(bool value) {
    if (autoSize_ == value) return;
    autoSize_ = value;
    AdjustBounds();
}

void TCustomLabel::SetWordWrap(bool value) {
    if (wordWrap_ == value) return;
    wordWrap_ = value;
    AdjustBounds();
    Invalidate();
}

void TCustomLabel::SetAlignment(TAlignment value) {
    if (alignment_ == value) return;
    alignment_ = value;
    Invalidate();
}

void TCustomLabel::SetLayout(TTextLayout value) {
    if (layout_ == value) return;
    layout_ = value;
    Invalidate();
}

void TCustomLabel::SetFocusControl(TWinControl* control) {
    if (focusControl_ == control) return;
    if (focusControl_) focusControl_->RemoveFreeNotification(this);
    focusControl_ = control;
    if (control) control->FreeNotification(this);
}

void TCustomLabel::SetShowAccelChar(bool value) {
    if (showAccelChar_ == value) return;
    showAccelChar_ = value;
    AdjustBounds();
    Invalidate();
}

void TCustomLabel::SetTransparent(bool value) {
    if (Transparent() == value) return;
    opaque_ = !value;
    Invalidate();
}

UINT TCustomLabel::DrawFlags() const {
    static constexpr UINT align[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
    UINT flags = DT_EXPANDTABS | align[alignment_];
    if (wordWrap_) flags |= DT_WORDBREAK;
    if (!showAccelChar_) flags |= DT_NOPREFIX;
    return flags;
}

void TCustomLabel::DoDrawText(TCanvas& canvas, RECT& rect, UINT flags) {
    AnsiString text = text_;
    // A label keeps the height of a line even when empty.
    if ((flags & DT_CALCRECT) && (text.empty() || (showAccelChar_ && text == "&"))) text += ' ';
    if (flags & DT_CALCRECT) {
        rect = MeasureDrawText(Font(), text, rect, flags);
        return;
    }
    if (!enabled_) {
        RECT shadow = rect;
        OffsetRect(&shadow, 1, 1);
        canvas.Font().SetColor(clBtnHighlight);
        CanvasDrawText(canvas, text, shadow, flags);
        canvas.Font().SetColor(clGrayText);
    } else {
        canvas.Font().SetColor(Font().Color());
    }
    CanvasDrawText(canvas, text, rect, flags);
}

void TCustomLabel::Paint() {
    TCanvas& c = Canvas();
    const RECT client = ClientRect();
    if (!Transparent()) {
        c.Brush().SetStyle(bsSolid);
        c.Brush().SetColor(color_);
        c.FillRect(client);
    }
    RECT r = client;
    const UINT flags = DrawFlags();
    if (layout_ != tlTop) {
        RECT measured = r;
        DoDrawText(c, measured, flags | DT_CALCRECT);
        const int offset = layout_ == tlCenter ? (client.height() - measured.height()) / 2 : client.height() - measured.height();
        OffsetRect(&r, 0, offset);
    }
    DoDrawText(c, r, flags);
}

void TCustomLabel::AdjustBounds() {
    if (!autoSize_ || HasState(csLoading)) return;
    RECT r = ClientRect();
    TControlCanvas dummy(*this);
    DoDrawText(dummy, r, DrawFlags() | DT_CALCRECT);
    int left = left_;
    // A right-aligned label keeps its right edge.
    if (alignment_ == taRightJustify) left += width_ - r.width();
    SetBounds(left, top_, r.width(), r.height());
}

void TCustomLabel::Dispatch(TMessage& m) {
    switch (m.Msg) {
    case CM_DIALOGCHAR:
        m.Result = 0;
        if (focusControl_ && enabled_ && showAccelChar_ && IsAccel(char(m.WParam), text_) && focusControl_->CanFocus()) {
            focusControl_->SetFocus();
            m.Result = 1;
        }
        return;
    case CM_FONTCHANGED:
        TGraphicControl::Dispatch(m);
        AdjustBounds();
        return;
    case CM_PARENTFONTCHANGED:
        TGraphicControl::Dispatch(m);
        AdjustBounds();
        return;
    }
    TGraphicControl::Dispatch(m);
}

} // namespace ax
