#pragma once
// The handle and value types of the window layer (points, rectangles and the
// drawing handles come from the drawing layer). Handles are opaque: their
// values are numbers handed out by the window manager, never addresses, so a
// stale handle is simply unknown rather than dangling.
#include "platform/gdi/types.h"
#include "platform/ole/types.h"

#include <cstdint>

namespace ax {

using SHORT = int16_t;
using LONG_PTR = intptr_t;
using UINT_PTR = uintptr_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using ATOM = uint16_t;

struct HWND__;
using HWND = HWND__*;
struct HHOOK__;
using HHOOK = HHOOK__*;
// A menu as the window manager sees it: an opaque value its owner chose.
struct HMENU__;
using HMENU = HMENU__*;

struct MSG {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    DWORD time = 0;
    POINT pt{};
};

constexpr WORD LOWORD(uintptr_t v) {
    return static_cast<WORD>(v & 0xFFFF);
}
constexpr WORD HIWORD(uintptr_t v) {
    return static_cast<WORD>((v >> 16) & 0xFFFF);
}
constexpr int GET_X_LPARAM(LPARAM lp) {
    return static_cast<SHORT>(LOWORD(static_cast<uintptr_t>(lp)));
}
constexpr int GET_Y_LPARAM(LPARAM lp) {
    return static_cast<SHORT>(HIWORD(static_cast<uintptr_t>(lp)));
}
constexpr LPARAM MAKELPARAM(int lo, int hi) {
    return static_cast<LPARAM>(
        static_cast<int32_t>((static_cast<uint32_t>(static_cast<WORD>(lo))) |
                             (static_cast<uint32_t>(static_cast<WORD>(hi)) << 16)));
}
constexpr WPARAM MAKEWPARAM(int lo, int hi) {
    return static_cast<WPARAM>(static_cast<uint32_t>(static_cast<WORD>(lo)) |
                               (static_cast<uint32_t>(static_cast<WORD>(hi)) << 16));
}
constexpr short GET_WHEEL_DELTA_WPARAM(WPARAM wp) {
    return static_cast<short>(HIWORD(wp));
}
constexpr WORD GET_KEYSTATE_WPARAM(WPARAM wp) {
    return LOWORD(wp);
}

// Handles that select a window by rule rather than identity.
inline HWND SpecialHwnd(intptr_t v) {
    return reinterpret_cast<HWND>(v);
}
inline const HWND HWND_TOP = nullptr;
inline const HWND HWND_BOTTOM = SpecialHwnd(1);
inline const HWND HWND_TOPMOST = SpecialHwnd(-1);
inline const HWND HWND_NOTOPMOST = SpecialHwnd(-2);
inline const HWND HWND_MESSAGE = SpecialHwnd(-3);
inline const HWND HWND_BROADCAST = SpecialHwnd(0xFFFF);

} // namespace ax
