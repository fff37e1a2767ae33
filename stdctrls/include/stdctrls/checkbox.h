#pragma once
// The check box: checked, unchecked or (when allowed) grayed; a click moves
// to the next state.
#include "platform/gdi/checkglyph.h"
#include "stdctrls/button.h"
#include "stdctrls/common.h"

namespace ax {

enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

class TCustomCheckBox : public TButtonControl {
public:
    explicit TCustomCheckBox(TComponent* owner);
    AnsiString ClassName() const override { return "TCustomCheckBox"; }
    void DefinePublished(TFiler& filer) override;
    bool Checked() const override { return state_ == cbChecked; }
    void SetChecked(bool value) override { SetState(value ? cbChecked : cbUnchecked); }
    TCheckBoxState State() const { return state_; }
    void SetState(TCheckBoxState state);
    bool AllowGrayed() const { return allowGrayed_; }
    void SetAllowGrayed(bool value) { allowGrayed_ = value; }
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment value);
    // Moves to the next state, as a click does.
    virtual void Toggle();

protected:
    void Click() override;
    void Dispatch(TMessage& message) override;
    void Paint() override;
    // The box and its mark; a themed check box draws its own.
    virtual void DrawCheck(HDC dc, const RECT& box, CheckMark mark, bool disabled, bool pushed);
    LRESULT DialogCode() override { return DLGC_BUTTON; }
    TCheckBoxState state_ = cbUnchecked;
    bool allowGrayed_ = false;
    TAlignment alignment_ = taRightJustify;
};

class TCheckBox : public TCustomCheckBox {
public:
    using TCustomCheckBox::TCustomCheckBox;
    AnsiString ClassName() const override { return "TCheckBox"; }
};

} // namespace ax
