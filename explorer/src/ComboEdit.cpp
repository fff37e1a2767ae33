// The explorer combo box's edit line: its keys, changes and leaving go to
// the combo box.
#include "explorer/ComboEdit.h"

#include "explorer/ExplorerComboBox.h"

namespace ax {

TComboEdit::TComboEdit(TComponent* owner, TCustomExplorerCombobox& combo) : TCustomWideEdit(owner), combo_(combo) {
    SetBorderStyle(bsNone);
    tabStop_ = true;
}

void TComboEdit::KeyDown(WORD& key, TShiftState shift) {
    if (combo_.EditKeyDown(key, shift)) {
        key = 0;
        return;
    }
    TCustomWideEdit::KeyDown(key, shift);
}

void TComboEdit::Change() {
    TCustomWideEdit::Change();
    combo_.EditChanged();
}

void TComboEdit::DoExit() {
    // The drop-downs never take the focus: the focus going elsewhere is the
    // user leaving the combo box.
    combo_.CloseDropDowns();
    TCustomWideEdit::DoExit();
}

LRESULT TComboEdit::DialogCode() {
    // Enter chooses and Escape closes here, never the form's default buttons.
    return TCustomWideEdit::DialogCode() | DLGC_WANTALLKEYS | DLGC_WANTARROWS;
}

} // namespace ax
