#pragma once
// Screen points, as the shell's menus, drop targets and input state
// receive them.
#include "platform/ole/ole.h"

namespace ax {

using ShellPoint = POINTL;

} // namespace ax
