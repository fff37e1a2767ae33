#pragma once
// The optional keyboard-monitor library ("ExKbMon.dll"), which tells windows
// of lock-key changes anywhere on the desktop: RegisterKeyboardHook(window)
// answers the message number it will post (wParam the virtual key, lParam
// bit 0 the new toggle state), DeregisterKeyboardHook(window) stops it. The
// library is not part of this system; without it the status bar's lock-key
// panels follow the program's own keyboard. GUI thread only.
#include <string>

#include "platform/library.h"
#include "platform/window/types.h"

namespace ax {

// The library's name (initially "ExKbMon.dll").
extern std::string MonitorDLLName;
bool MonitorDLLLoaded();

// Loads the library (freeing one already loaded) and binds its two
// functions; false when it cannot be loaded or lacks them.
bool LoadMonitorDLL();
// Deregisters every registered window (last first) and frees the library.
void UnloadMonitorDLL();
// The library's message number for the window, 0 when it is not loaded.
UINT RegisterWithMonitor(HWND window);
void DeregisterFromMonitor(HWND window);

} // namespace ax
