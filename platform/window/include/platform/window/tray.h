#pragma once
// The notification area ("tray"): icons a program puts there with a tip,
// and the mouse activity on them, which comes back to the program as the
// icon's callback message posted to its window (wParam the icon's id,
// lParam the mouse message: WM_MOUSEMOVE, WM_LBUTTONDOWN...). Every call is
// recorded, whatever the display. On X11 each icon is shown through the
// freedesktop system-tray protocol (an XEmbed client docked with the
// manager of _NET_SYSTEM_TRAY_S<screen>), once a tray exists; its tip is
// the icon window's name, and a tip window shown below the pointer once it
// has rested on the icon for half a second (on the system's clock), until
// it leaves or a button is pressed.
#include "platform/window/types.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ax {

inline constexpr DWORD NIM_ADD = 0, NIM_MODIFY = 1, NIM_DELETE = 2;
inline constexpr UINT NIF_MESSAGE = 0x1, NIF_ICON = 0x2, NIF_TIP = 0x4;

struct NOTIFYICONDATA {
    DWORD cbSize = 88; // the size callers of the platform give: its first layout
    HWND hWnd = nullptr;
    UINT uID = 0;
    UINT uFlags = 0;
    UINT uCallbackMessage = 0;
    HICON hIcon{};
    char szTip[64] = {};
};

// Adds, changes or removes the icon (hWnd, uID). Fails for an add of an icon
// that exists, a change or removal of one that does not, a window that does
// not exist, or an unknown cbSize. The icon's picture is copied at the call.
BOOL Shell_NotifyIconA(DWORD message, const NOTIFYICONDATA* data);

struct TrayCall {
    DWORD message = 0;
    NOTIFYICONDATA data;
    BOOL result = FALSE;
};
// The calls made since the last take, oldest first (the last 256 are kept).
std::vector<TrayCall> TakeTrayCalls();

struct TrayIconState {
    HWND hWnd = nullptr;
    UINT uID = 0;
    UINT callbackMessage = 0;
    std::string tip;
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels; // ARGB, top-down
};
// The icons in the area now, in the order added.
std::vector<TrayIconState> TrayIcons();

// What the area does on mouse activity over an icon (the headless display
// has no area of its own): posts the icon's callback message. False when
// the icon does not exist or has no callback message.
BOOL InjectTrayMouse(HWND hWnd, UINT uID, UINT mouseMessage);

// On X11: the icon's X window, 0 when none; and whether a tray has taken it.
unsigned long TrayIconNativeWindow(HWND hWnd, UINT uID);
bool TrayIconDocked(HWND hWnd, UINT uID);
// On X11: the icon's tip window while it is shown, 0 otherwise. Its name is
// the tip's text.
unsigned long TrayTipNativeWindow(HWND hWnd, UINT uID);

} // namespace ax
