// The themed check box.
#include "controls/XPCheckBox.h"

#include "controls/ThemeBinding.h"

namespace ax {

void TXPCheckBox::Dispatch(TMessage& m) {
    if (m.Msg == WM_ERASEBKGND && ThemesAvailable() && !HasState(csDesigning)) {
        m.Result = 1; // erased: the parent's background stays
        return;
    }
    TCheckBox::Dispatch(m);
}

} // namespace ax
