// GetWindowPlacement and SetWindowPlacement: the show state and the normal
// rectangle, which a minimised or maximised window returns to.
#include "platform/window/placement.h"

#include "wm.h"

namespace ax {

using namespace wm;

BOOL GetWindowPlacement(HWND hwnd, WINDOWPLACEMENT* placement) {
    if (!placement) return FALSE;
    LockGuard g;
    auto w = FindLocked(hwnd);
    if (!w) return FALSE;
    const bool minimized = w->style & WS_MINIMIZE, maximized = w->style & WS_MAXIMIZE;
    *placement = WINDOWPLACEMENT{};
    placement->showCmd = minimized ? SW_SHOWMINIMIZED : maximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    if (minimized && w->restoreMaximized) placement->flags |= WPF_RESTORETOMAXIMIZED;
    placement->rcNormalPosition = (minimized || maximized) ? w->restore : w->rect;
    return TRUE;
}

BOOL SetWindowPlacement(HWND hwnd, const WINDOWPLACEMENT* placement) {
    if (!placement) return FALSE;
    const RECT& r = placement->rcNormalPosition;
    bool normal;
    {
        LockGuard g;
        auto w = FindLocked(hwnd);
        if (!w) return FALSE;
        normal = !(w->style & (WS_MINIMIZE | WS_MAXIMIZE));
        // A minimised or maximised window comes back to the new rectangle.
        if (!normal) w->restore = r;
    }
    if (normal) MoveWindow(hwnd, r.left, r.top, r.width(), r.height(), TRUE);
    ShowWindow(hwnd, int(placement->showCmd));
    return TRUE;
}

} // namespace ax
