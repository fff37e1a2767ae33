#pragma once
// How a window takes text from the display's input method (on X11 an XIM
// server, or Xlib's own compose when none runs). The settings of the window
// with the keyboard focus apply; a new window uses the default.
#include "platform/window/types.h"

#include <string>

namespace ax {

enum class ImeUse {
    Default,  // the input method as the user left it
    Disabled, // keys reach the window as the keyboard map gives them
    Closed,   // the input method is asked to stop composing
    Open,     // the input method is asked to compose
};

// name: which input method ("" the display's own; on X11 a server's name as
// XMODIFIERS gives it after "@im="). False when the window does not exist.
BOOL SetImeUse(HWND hwnd, ImeUse use, const std::string& name = {});
ImeUse GetImeUse(HWND hwnd);
std::string GetImeName(HWND hwnd);

} // namespace ax
