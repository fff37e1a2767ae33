#pragma once
// The label: a caption drawn on its parent (no window of its own), sized to
// its text when AutoSize is on; its "&" accelerator focuses FocusControl.
#include "framework/controls.h"
#include "stdctrls/common.h"

namespace ax {

enum TTextLayout { tlTop, tlCenter, tlBottom };

class TCustomLabel : public TGraphicControl {
public:
    explicit TCustomLabel(TComponent* owner);
    ~TCustomLabel() override;
    AnsiString ClassName() const override { return "TCustomLabel"; }
    void DefinePublished(TFiler& filer) override;
    void Notification(TComponent* component, TOperation operation) override;
    void SetText(const AnsiString& text) override;

    bool AutoSize() const { return autoSize_; }
    virtual void SetAutoSize(bool value);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool value);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment value);
    TTextLayout Layout() const { return layout_; }
    void SetLayout(TTextLayout value);
    TWinControl* FocusControl() const { return focusControl_; }
    void SetFocusControl(TWinControl* control);
    bool ShowAccelChar() const { return showAccelChar_; }
    void SetShowAccelChar(bool value);
    bool Transparent() const { return !opaque_; }
    void SetTransparent(bool value);
    // Sets the bounds to the text when AutoSize is on.
    virtual void AdjustBounds();

protected:
    void Dispatch(TMessage& message) override;
    void Paint() override;
    void Loaded() override;
    // Draws (or with DT_CALCRECT measures) the caption into rect.
    virtual void DoDrawText(TCanvas& canvas, RECT& rect, UINT flags);
    UINT DrawFlags() const;
    bool autoSize_ = true;
    bool wordWrap_ = false;
    TAlignment alignment_ = taLeftJustify;
    TTextLayout layout_ = tlTop;
    TWinControl* focusControl_ = nullptr;
    bool showAccelChar_ = true;
};

class TLabel : public TCustomLabel {
public:
    using TCustomLabel::TCustomLabel;
    AnsiString ClassName() const override { return "TLabel"; }
};

} // namespace ax
