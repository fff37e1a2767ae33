// The main window's message boxes (an error, a yes/no/cancel question),
// kept to a source of their own so the control library's header meets no
// shell header.
#include "MainFormParts.h"

#include "controls/MessageBoxes.h"

namespace ax {

void ShowErrorBox(const AnsiString& text, const AnsiString& caption) {
    MessageBoxEx(text, caption, false, MB_OK | MB_ICONERROR);
}

int AskYesNoCancel(const AnsiString& text, const AnsiString& caption) {
    return MessageBoxEx(text, caption, false, MB_YESNOCANCEL | MB_ICONQUESTION);
}

} // namespace ax
