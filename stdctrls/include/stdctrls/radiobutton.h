#pragma once
// The radio button: one choice of a group; only the checked button of the
// group is a tab stop, and its "&" accelerator checks it.
#include "stdctrls/button.h"
#include "stdctrls/common.h"

namespace ax {

// Radio buttons with the same parent form one group: checking one unchecks
// the others.
class TRadioButton : public TButtonControl {
public:
    explicit TRadioButton(TComponent* owner);
    AnsiString ClassName() const override { return "TRadioButton"; }
    void DefinePublished(TFiler& filer) override;
    bool Checked() const override { return checked_; }
    void SetChecked(bool value) override;
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment value);

protected:
    void Click() override;
    void Dispatch(TMessage& message) override;
    void Paint() override;
    LRESULT DialogCode() override { return DLGC_BUTTON | DLGC_RADIOBUTTON; }
    bool checked_ = false;
    TAlignment alignment_ = taRightJustify;
};

} // namespace ax
