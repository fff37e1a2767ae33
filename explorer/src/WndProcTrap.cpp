// The pass-through window procedure: put in front of a window's own as a
// subclass, taken away when the trap goes.
#include "explorer/WndProcTrap.h"

namespace ax {

TWndProcTrap::TWndProcTrap(HWND window) : window_(window) {
    installed_ = SetWindowSubclass(
        window_,
        [](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
            return DefSubclassProc(hwnd, msg, wParam, lParam);
        },
        reinterpret_cast<UINT_PTR>(this));
}

TWndProcTrap::~TWndProcTrap() {
    // A window already gone took the trap with it.
    if (installed_ && IsWindow(window_))
        RemoveWindowSubclass(window_, reinterpret_cast<UINT_PTR>(this));
}

} // namespace ax
