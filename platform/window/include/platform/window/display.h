#pragma once
// Display drivers. Headless keeps every top-level window in an off-screen
// surface and takes its input from the injection calls below; X11 shows each
// top-level window as an X window and turns X input into the same calls.
// X11 is chosen when DISPLAY is set, headless otherwise; AX_DISPLAY
// ("headless" or "x11") or SelectDisplay forces either.
#include "platform/window/types.h"

#include <cairo.h>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ax {

enum class DisplayKind { Automatic, Headless, X11 };

// Takes effect when the first window is created, or at once when no window
// exists; false when the X server cannot be reached (headless stays).
bool SelectDisplay(DisplayKind kind);
DisplayKind ActiveDisplay();

// Raw input, as a display would deliver it. Coordinates are on the screen;
// the messages are produced when the target thread retrieves them.
enum class MouseButton { Left, Right, Middle };
void InjectMouseMove(int x, int y);
void InjectMouseButton(MouseButton button, bool down);
void InjectClick(MouseButton button, int x, int y);
void InjectDoubleClick(MouseButton button, int x, int y);
void InjectMouseWheel(int delta);
// A key press or release; ch is the character the key produces (0: the
// window layer derives it from the key and the shift state).
void InjectKey(UINT vk, bool down, char32_t ch = 0);
// Press and release.
void InjectKeyStroke(UINT vk, char32_t ch = 0);

// The surface a top-level window renders into (nullptr for child windows
// and message-only windows). The window keeps ownership.
cairo_surface_t* WindowSurface(HWND topLevel);
// Writes the window's pixels (frame included) as a PNG file.
bool SnapshotWindow(HWND hwnd, const std::string& pngPath);
// Serves pending display events on the calling thread and waits until the
// display has taken what was drawn.
void PumpDisplay();
// The display's handle of a top-level window (the X window; 0 headless).
unsigned long NativeWindow(HWND topLevel);

// The desktop's shared settings (the XSETTINGS manager's property as
// published); empty headless or where no settings manager runs.
std::vector<std::uint8_t> DesktopSettings();
// After each change of the desktop's settings, runs changed with the new
// ones on the thread of `window` (an empty function stops the calls).
void WatchDesktopSettings(HWND window, std::function<void(std::vector<std::uint8_t>)> changed);

} // namespace ax
