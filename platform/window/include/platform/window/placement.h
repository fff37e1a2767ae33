#pragma once
// Window placement: the show state and the normal rectangle a window
// returns to from minimised or maximised, as one record.
#include "platform/window/types.h"

namespace ax {

inline constexpr UINT WPF_SETMINPOSITION = 0x1, WPF_RESTORETOMAXIMIZED = 0x2;

struct WINDOWPLACEMENT {
    UINT length = 44; // the record's stored size
    UINT flags = 0;
    UINT showCmd = 0;
    POINT ptMinPosition{-1, -1}; // icon positions are not kept here
    POINT ptMaxPosition{-1, -1};
    RECT rcNormalPosition{}; // the parent's client coordinates (screen for top-level windows)
};

BOOL GetWindowPlacement(HWND hwnd, WINDOWPLACEMENT* placement);
// Sets the normal rectangle, then the show state (SW_ values).
BOOL SetWindowPlacement(HWND hwnd, const WINDOWPLACEMENT* placement);

} // namespace ax
