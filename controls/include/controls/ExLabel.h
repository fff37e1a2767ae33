#pragma once
// A label with a text shadow, a focus frame around its text while its
// FocusControl has the focus, and mouse enter and leave events.
#include "stdctrls/label.h"

namespace ax {

enum TShadowPosition { spLeftTop, spLeftBottom, spRightBottom, spRightTop };

class TExCustomLabel : public TCustomLabel {
public:
    explicit TExCustomLabel(TComponent* owner);
    AnsiString ClassName() const override { return "TExCustomLabel"; }
    void DefinePublished(TFiler& filer) override;

    TColor ShadowColor() const { return shadowColor_; }
    void SetShadowColor(TColor value);
    uint8_t ShadowSize() const { return shadowSize_; }
    void SetShadowSize(uint8_t value);
    TShadowPosition ShadowPos() const { return shadowPos_; }
    void SetShadowPos(TShadowPosition value);
    bool ShowFocus() const { return showFocus_; }
    void SetShowFocus(bool value);
    // Whether FocusControl has the focus now.
    bool FocusedControl() const { return focused_; }
    void AdjustBounds() override;

protected:
    void Paint() override;
    void DoDrawText(TCanvas& canvas, RECT& rect, UINT flags) override;
    void Dispatch(TMessage& message) override;
    int leftMargin_ = 0, rightMargin_ = 0;

private:
    TColor shadowColor_ = clBtnHighlight;
    uint8_t shadowSize_ = 1;
    TShadowPosition shadowPos_ = spLeftTop;
    bool showFocus_ = false;
    bool focused_ = false;
};

class TExLabel : public TExCustomLabel {
public:
    using TExCustomLabel::TExCustomLabel;
    AnsiString ClassName() const override { return "TExLabel"; }
};

} // namespace ax
