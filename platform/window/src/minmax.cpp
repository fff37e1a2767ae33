// Size limits of top-level windows: what WM_GETMINMAXINFO answers bounds the
// sizes set through the window layer and goes to the display as hints, so a
// window manager offers no smaller (or larger) size either.
#include "driver.h"
#include "wm.h"

namespace ax {

using namespace wm;

BOOL SystemParametersInfo(UINT action, UINT, void* pv, UINT) {
    if (action != SPI_GETWORKAREA || !pv) return FALSE;
    *static_cast<RECT*>(pv) = Driver().WorkArea();
    return TRUE;
}

std::optional<MINMAXINFO> wm::SizeLimits(HWND hwnd) {
    DWORD style, exStyle;
    {
        LockGuard g;
        auto w = FindLocked(hwnd);
        if (!w || !IsTopLevel(*w)) return std::nullopt;
        style = w->style;
        exStyle = w->exStyle;
    }
    // Pop-ups without a sizing frame (menus, hints, drop-downs) size freely.
    if (!(style & WS_THICKFRAME) && (style & WS_POPUP)) return std::nullopt;
    const Frame f = FrameOf(style, exStyle, false);
    RECT work{};
    SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
    // Maximised, the frame lies just outside the work area, unless a
    // window manager places maximised windows (on the work area, whole).
    const int edge = Driver().PlacesMaximized() ? 0 : f.border;
    MINMAXINFO info{};
    info.ptMaxSize = {work.width() + 2 * edge, work.height() + 2 * edge};
    info.ptMaxPosition = {work.left - edge, work.top - edge};
    // No minimum unless the window answers one: windows of every size were
    // made before windows had limits.
    info.ptMinTrackSize = {0, 0};
    info.ptMaxTrackSize = {GetSystemMetrics(SM_CXMAXTRACK), GetSystemMetrics(SM_CYMAXTRACK)};
    SendMessage(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    return info;
}

SIZE wm::ClampToLimits(const MINMAXINFO& limits, SIZE size) {
    size.cx = std::max(std::min(size.cx, limits.ptMaxTrackSize.x), limits.ptMinTrackSize.x);
    size.cy = std::max(std::min(size.cy, limits.ptMaxTrackSize.y), limits.ptMinTrackSize.y);
    return size;
}

RECT wm::MaximizedRect(const MINMAXINFO& limits) {
    const SIZE s = ClampToLimits(limits, SIZE{limits.ptMaxSize.x, limits.ptMaxSize.y});
    const POINT p = limits.ptMaxPosition;
    return {p.x, p.y, p.x + s.cx, p.y + s.cy};
}

void wm::SendSizeLimits(HWND hwnd) {
    const std::optional<MINMAXINFO> limits = SizeLimits(hwnd);
    if (!limits) return;
    // Only a maximum below the default one is a limit worth telling.
    const SIZE none{GetSystemMetrics(SM_CXMAXTRACK), GetSystemMetrics(SM_CYMAXTRACK)};
    const POINT most = limits->ptMaxTrackSize;
    const SIZE min = ClampToLimits(*limits, SIZE{0, 0});
    SIZE max{};
    if (most.x < none.cx || most.y < none.cy)
        max = ClampToLimits(*limits, SIZE{std::max(most.x, min.cx), std::max(most.y, min.cy)});
    Driver().SizeLimited(hwnd, min, max);
}

} // namespace ax
