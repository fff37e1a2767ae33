#pragma once
// The system menu of a window, as far as it decides which window commands
// the user can give: a list of SC_ commands (Restore, Move, Size, Minimize,
// Maximize, a separator, Close) that callers may grey or delete. The
// caption's close button, Alt+F4 and the display's close request follow
// the state of SC_CLOSE. Alt+Space or a press on the caption icon shows it
// as the window menu, drawn by the presenter the layer above installs.
#include <functional>

#include "platform/window/types.h"

namespace ax {

inline constexpr UINT MF_BYCOMMAND = 0x0000, MF_BYPOSITION = 0x0400, MF_ENABLED = 0x0000, MF_GRAYED = 0x0001,
                      MF_DISABLED = 0x0002, MF_SEPARATOR = 0x0800;
// WM_MENUSELECT's flags (the high word of wParam) beside the ones above.
inline constexpr UINT MF_CHECKED = 0x0008, MF_POPUP = 0x0010, MF_HILITE = 0x0080, MF_DEFAULT = 0x1000,
                      MF_MOUSESELECT = 0x8000;
inline constexpr UINT kMenuItemAbsent = 0xFFFFFFFF;

// The window's system menu (made on first use); revert TRUE puts the
// default one back and answers null.
HMENU GetSystemMenu(HWND hwnd, BOOL revert);
int GetMenuItemCount(HMENU menu);
// The command at a position (0 for the separator, kMenuItemAbsent past the end).
UINT GetMenuItemID(HMENU menu, int position);
// MF_GRAYED/MF_DISABLED of an item (MF_SEPARATOR for the separator),
// kMenuItemAbsent when there is no such item.
UINT GetMenuState(HMENU menu, UINT item, UINT flags);
// Answers the previous state, kMenuItemAbsent when there is no such item.
UINT EnableMenuItem(HMENU menu, UINT item, UINT enable);
BOOL DeleteMenu(HMENU menu, UINT item, UINT flags);

// Shows a window menu at a screen point and answers the command picked (0
// when none); greyed and disabled items cannot be picked.
using WindowMenuPresenter = std::function<UINT(HWND window, HMENU menu, POINT at)>;
// Installs the presenter (an empty one: the menu is not shown).
void SetWindowMenuPresenter(WindowMenuPresenter presenter);
// Opens the window menu of a top-level window below its caption icon:
// Restore, Move, Size, Minimize and Maximize are greyed as the window's
// state and style allow, WM_INITMENUPOPUP (menu, MAKELPARAM(0, TRUE)) lets
// the window change that, and the command picked is sent as WM_SYSCOMMAND.
void TrackWindowMenu(HWND hwnd);

} // namespace ax
