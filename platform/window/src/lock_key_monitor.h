#pragma once
// The keyboard-monitor library the status bar binds by name
// ("ExKbMon.dll"), served by the X11 display: it follows Caps, Num and
// Scroll Lock through the X keyboard extension's indicator events, so a
// change made in any program reaches the windows registered with it.
#include "platform/window/types.h"

namespace ax::wm {

// The message a registered window gets: wParam the virtual key (VK_CAPITAL,
// VK_NUMLOCK, VK_SCROLL), lParam bit 0 the new toggle state. A number of
// the registered range, which the clipboard formats do not reach.
inline constexpr UINT kLockKeyNotice = 0xCB01;

// Registers the library under its name (done by the X11 display while it
// is active) and takes it back, stopping the watch.
void RegisterLockKeyMonitor();
void UnregisterLockKeyMonitor();

} // namespace ax::wm
