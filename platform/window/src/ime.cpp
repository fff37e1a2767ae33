// Input method settings of windows; the display hears those of the focus.
#include "driver.h"
#include "platform/window/ime.h"
#include "wm.h"

namespace ax {

using namespace wm;

void wm::TellInputMethod() {
    HWND top = nullptr;
    ImeUse use = ImeUse::Default;
    std::string name;
    HWND focus = GetFocus();
    {
        LockGuard g;
        if (const Window* w = focus ? PeekLocked(focus) : nullptr) {
            use = w->imeUse;
            name = w->imeName;
        }
    }
    // Without a focus the keys go to the active window, which asks for nothing.
    top = focus ? GetAncestor(focus, GA_ROOT) : GetActiveWindow();
    if (top) Driver().InputMethodFocus(top, use, name);
}

BOOL SetImeUse(HWND hwnd, ImeUse use, const std::string& name) {
    {
        LockGuard g;
        Window* w = PeekLocked(hwnd);
        if (!w) return FALSE;
        if (w->imeUse == use && w->imeName == name) return TRUE;
        w->imeUse = use;
        w->imeName = name;
    }
    if (GetFocus() == hwnd) TellInputMethod();
    return TRUE;
}

ImeUse GetImeUse(HWND hwnd) {
    LockGuard g;
    const Window* w = PeekLocked(hwnd);
    return w ? w->imeUse : ImeUse::Default;
}

std::string GetImeName(HWND hwnd) {
    LockGuard g;
    const Window* w = PeekLocked(hwnd);
    return w ? w->imeName : std::string();
}

} // namespace ax
