#pragma once
// The borderless edit line of the explorer combo box. Threads: GUI thread
// only.
#include "explorer/UnicodeControls.h"

namespace ax {

class TCustomExplorerCombobox;

// The borderless edit line of the combo box; the keys that steer the
// drop-downs go to the combo box first.
class TComboEdit : public TCustomWideEdit {
public:
    TComboEdit(TComponent* owner, TCustomExplorerCombobox& combo);
    AnsiString ClassName() const override { return "TComboEdit"; }

protected:
    void KeyDown(WORD& key, TShiftState shift) override;
    void Change() override;
    void DoExit() override;
    LRESULT DialogCode() override;

private:
    TCustomExplorerCombobox& combo_;
};

} // namespace ax
