#pragma once
// The desktop's theme as the theme library ("uxtheme.dll") the controls
// bind by name: a stand-in (platform/library.h) whose entry points draw
// each class and part with GTK3's style machinery, in the user's GTK theme
// (the desktop's XSETTINGS theme name, or GTK_THEME), into the Cairo
// surface of the device context. GTK3 is found at run time; without it,
// without a display, or when the user asks for the classic look, nothing
// is registered and the controls keep their classic drawing.
//
// Classes and parts, with the state ids the controls pass:
//   "button": 1 push button (1 normal, 2 hot, 3 pressed, 4 disabled,
//             5 default), 2 radio button (1-4 unchecked normal, hot,
//             pressed, disabled; 5-8 checked), 3 check box (as the radio
//             button, then 9-12 mixed);
//   "treeview": 2 expand button, 4 hot expand button (1 closed, 2 open);
//   "header": 1 column item (1 normal, 2 hot, 3 pressed);
//   "scrollbar": 1 arrow button (1-4 up, 5-8 down, 9-12 left, 13-16
//             right, each normal, hot, pressed, disabled), 2 and 3
//             horizontal and vertical thumb, 4 to 7 the tracks, 8 and 9
//             grippers (nothing to draw in GTK) (states 1-4 as above);
//   "combobox": 1 drop-down button (states 1-4).
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/window/types.h"

namespace ax {

inline constexpr const char* ThemeLibraryStandInName = "uxtheme.dll";

// The environment variable by which a user or a test asks for the classic
// look ("1", or any value but "0" and "").
inline constexpr const char* ClassicLookVariable = "ARDENTIX_CLASSIC_LOOK";
bool ClassicLookRequested();

// Registers the stand-in when GTK3 can draw the desktop's theme here (a
// display is open, GTK3 loads, the classic look is not asked for); true
// when registered. Call on the GUI thread before the theme library is
// bound by name.
bool RegisterGtkThemeLibrary();
void UnregisterGtkThemeLibrary();

// Forgets every style drawn so far, so the next drawing takes GTK's
// current theme; true when GTK is running here.
bool ReloadGtkTheme();

// Follows the desktop's theme while the library is registered: when the
// desktop's settings name another theme ("Net/ThemeName"; GTK_THEME, when
// set, wins as it does in GTK), GTK takes it, and every window gets
// WM_THEMECHANGED and is drawn again. The work runs on the thread of
// `window`. StopFollowingDesktopTheme ends it.
void FollowDesktopTheme(HWND window);
void StopFollowingDesktopTheme();
// The same for one set of settings as the desktop publishes them (the
// XSETTINGS property); true when the theme changed.
bool ApplyDesktopSettings(const std::vector<std::uint8_t>& settings);

} // namespace ax
