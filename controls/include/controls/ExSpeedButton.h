#pragma once
// A windowless push button with a multi-state glyph and a caption, a flat
// look with hover tracking, group "down" behaviour, an optional drop-down
// menu and an optional auto-repeat while held.
#include <memory>

#include "controls/ExButtonGlyph.h"
#include "framework/menus.h"
#include "framework/timers.h"
#include "stdctrls/buttons.h"
#include "stdctrls/common.h"

namespace ax {

enum TExDropDownMenuPos { dmpBottom, dmpRight };

// Sent to the parent's controls when a button of a group goes down.
inline constexpr UINT CM_EXBUTTONPRESSED = 0xB051;

class TExSpeedButton : public TGraphicControl {
public:
    explicit TExSpeedButton(TComponent* owner);
    ~TExSpeedButton() override;
    AnsiString ClassName() const override { return "TExSpeedButton"; }
    void DefinePublished(TFiler& filer) override;
    void Notification(TComponent* component, TOperation operation) override;

    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment value);
    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool value);
    bool AllowTimer() const { return allowTimer_; }
    void SetAllowTimer(bool value) { allowTimer_ = value; }
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int value);
    bool Down() const { return down_; }
    // Only with a GroupIndex; going up needs AllowAllUp.
    void SetDown(bool value);
    TPopupMenu* DropDownMenu() const { return dropDownMenu_; }
    void SetDropDownMenu(TPopupMenu* menu);
    TExDropDownMenuPos MenuPosition() const { return menuPosition_; }
    void SetMenuPosition(TExDropDownMenuPos value) { menuPosition_ = value; }
    bool Flat() const { return flat_; }
    void SetFlat(bool value);
    TBitmap& Glyph() { return glyph_->Glyph(); }
    void SetGlyph(const TBitmap* glyph) { glyph_->SetGlyph(glyph); }
    TExButtonGlyph& ButtonGlyph() { return *glyph_; }
    bool GrayedInactive() const { return grayedInactive_; }
    void SetGrayedInactive(bool value);
    uint16_t InitPause() const { return initPause_; }
    void SetInitPause(uint16_t ms) { initPause_ = ms; }
    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout value);
    int Margin() const { return margin_; }
    void SetMargin(int value);
    bool MarkDropDown() const { return markDropDown_; }
    void SetMarkDropDown(bool value);
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int value) { modalResult_ = value; }
    TExNumGlyphs NumGlyphs() const { return glyph_->NumGlyphs(); }
    void SetNumGlyphs(int value) { glyph_->SetNumGlyphs(value); }
    uint16_t RepeatInterval() const { return repeatInterval_; }
    void SetRepeatInterval(uint16_t ms) { repeatInterval_ = ms; }
    int Spacing() const { return spacing_; }
    void SetSpacing(int value);
    TButtonStyle Style() const { return style_; }
    void SetStyle(TButtonStyle value);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool value);

    TButtonState State() const { return state_; }
    // The state the button is drawn in now (inactive for a flat button
    // without the mouse over it).
    TButtonState PaintState() const;
    bool MouseInButton() const { return mouseIn_; }

    void Click() override;
    void Dispatch(TMessage& message) override;

protected:
    void Paint() override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    // Draws the 3-D frame of the state and shrinks rect to the content.
    void DrawButtonFrame(TCanvas& canvas, RECT& rect, TButtonState state);
    virtual void PaintButton(TCanvas& canvas);
    void UpdateTracking();
    bool NewLook() const { return style_ == bsNew || style_ == bsAutoDetect; }

private:
    POINT DropDownPoint() const;
    bool ShowDropDown();
    void TimerStep();
    void ButtonPressed(TExSpeedButton* sender);
    void UpdateExclusive();
    void SetMouseIn(bool in);

    std::unique_ptr<TExButtonGlyph> glyph_;
    TAlignment alignment_ = taCenter;
    bool allowAllUp_ = false;
    bool allowTimer_ = false;
    int groupIndex_ = 0;
    bool down_ = false;
    TPopupMenu* dropDownMenu_ = nullptr;
    TExDropDownMenuPos menuPosition_ = dmpBottom;
    bool flat_ = false;
    bool grayedInactive_ = true;
    uint16_t initPause_ = 500;
    TButtonLayout layout_ = blGlyphTop;
    int margin_ = -1;
    bool markDropDown_ = true;
    int modalResult_ = 0;
    uint16_t repeatInterval_ = 100;
    int spacing_ = 1;
    TButtonStyle style_ = bsAutoDetect;
    bool transparent_ = false;
    bool wordWrap_ = false;
    TButtonState state_ = bsUp;
    bool dragging_ = false;
    bool mouseIn_ = false;
    bool menuTracking_ = false;
    TTimer* repeatTimer_ = nullptr;
};

} // namespace ax
