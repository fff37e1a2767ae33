#pragma once
// What the window manager asks of the system menus.
#include "platform/window/types.h"

namespace ax::wm {

// Whether the user may give the window command cmd (SC_CLOSE...): true
// unless the window's system menu was changed to grey or drop it.
bool SystemCommandAllowed(HWND hwnd, UINT cmd);

} // namespace ax::wm
