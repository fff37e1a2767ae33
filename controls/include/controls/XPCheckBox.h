#pragma once
// A check box that leaves its background alone while visual styles are in
// use, so that the themed background of its parent shows through, and
// draws its box through the theme; without them it erases and draws as any
// check box does.
#include "stdctrls/checkbox.h"

namespace ax {

class TXPCheckBox : public TCheckBox {
public:
    using TCheckBox::TCheckBox;
    AnsiString ClassName() const override { return "TXPCheckBox"; }

protected:
    void Dispatch(TMessage& message) override;
    void DrawCheck(HDC dc, const RECT& box, CheckMark mark, bool disabled, bool pushed) override;
};

} // namespace ax
