#pragma once
// A single-line edit with a glyph button inside its right edge; the button,
// or the ClickKey shortcut (Alt+Down by default), fires OnButtonClick. The
// text never runs under the button (the formatting rectangle stops short of
// it). DirectInput off makes the text read-only while the button still
// works; ReadOnly makes both inert.
#include "controls/ExSpeedButton.h"
#include "framework/menus.h"
#include "stdctrls/maskedit.h"

namespace ax {

enum TGlyphKind { gkCustom, gkDefault, gkDropDown, gkEllipsis };

// The button of an edit: a speed button with a separator at its left edge.
class TEditButton : public TExSpeedButton {
public:
    explicit TEditButton(TComponent* owner) : TExSpeedButton(owner) {}
    AnsiString ClassName() const override { return "TEditButton"; }

protected:
    void PaintButton(TCanvas& canvas) override;
};

class TCustomComboEdit : public TCustomMaskEdit {
public:
    explicit TCustomComboEdit(TComponent* owner);
    ~TCustomComboEdit() override;
    AnsiString ClassName() const override { return "TCustomComboEdit"; }
    void DefinePublished(TFiler& filer) override;

    TEditButton& Button() { return *button_; }
    int ButtonWidth() const { return button_->Width(); }
    // Ignored when it would not leave room for the text.
    void SetButtonWidth(int width);
    const AnsiString& ButtonHint() const { return button_->Hint(); }
    void SetButtonHint(const AnsiString& hint) { button_->SetHint(hint); }
    TShortCut ClickKey() const { return clickKey_; }
    void SetClickKey(TShortCut key) { clickKey_ = key; }
    bool DirectInput() const { return directInput_; }
    void SetDirectInput(bool value);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value);
    TGlyphKind GlyphKind() const { return glyphKind_; }
    void SetGlyphKind(TGlyphKind kind);
    TBitmap& Glyph() { return button_->Glyph(); }
    // Makes the kind gkCustom.
    void SetGlyph(const TBitmap* glyph);
    int NumGlyphs() const { return button_->NumGlyphs(); }
    void SetNumGlyphs(int value);

    TNotifyEvent OnButtonClick;

    void Dispatch(TMessage& message) override;

protected:
    void CreateWnd() override;
    void KeyDown(WORD& key, TShiftState shift) override;
    // Fires OnButtonClick.
    virtual void ButtonClick();
    // The default kind's picture (none here: a descendant supplies it).
    virtual void DefaultGlyph(TBitmap&) {}
    void UpdatePlacement();

private:
    void ButtonClickStep();
    void RebuildGlyph();
    void UpdateEditReadOnly();
    int MinHeight();

    TWinControl* holder_ = nullptr;
    TEditButton* button_ = nullptr;
    TShortCut clickKey_ = scAlt | VK_DOWN;
    bool directInput_ = true;
    bool readOnly_ = false;
    TGlyphKind glyphKind_ = gkCustom;
    int defaultNumGlyphs_ = 1;
    bool placing_ = false;
};

class TComboEdit : public TCustomComboEdit {
public:
    using TCustomComboEdit::TCustomComboEdit;
    AnsiString ClassName() const override { return "TComboEdit"; }
};

} // namespace ax
