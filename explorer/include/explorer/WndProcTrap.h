#pragma once
// A window procedure put in front of a window's own that passes every
// message on unchanged.
#include "platform/window/window.h"

namespace ax {

// Put in front of a window's procedure for its lifetime; passes every
// message on unchanged. The window layer hands typed characters to every
// window as UTF-16 units, so an edit inside a combo box receives them wide
// without their being posted again.
class TWndProcTrap {
public:
    explicit TWndProcTrap(HWND window);
    ~TWndProcTrap();
    TWndProcTrap(const TWndProcTrap&) = delete;
    TWndProcTrap& operator=(const TWndProcTrap&) = delete;
    HWND Window() const { return window_; }
    bool Installed() const { return installed_; }

private:
    HWND window_;
    bool installed_ = false;
};

} // namespace ax
