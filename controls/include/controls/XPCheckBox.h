#pragma once
// A check box that leaves its background alone while visual styles are in
// use, so that the themed background of its parent shows through; without
// them it erases as any check box does.
#include "stdctrls/checkbox.h"

namespace ax {

class TXPCheckBox : public TCheckBox {
public:
    using TCheckBox::TCheckBox;
    AnsiString ClassName() const override { return "TXPCheckBox"; }

protected:
    void Dispatch(TMessage& message) override;
};

} // namespace ax
