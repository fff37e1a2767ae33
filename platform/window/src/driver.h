#pragma once
// What a display does for the window manager. Every call comes without the
// manager's mutex held.
#include "platform/window/display.h"
#include "platform/window/ime.h"
#include "platform/window/types.h"

#include <cairo.h>
#include <memory>
#include <optional>
#include <string>

namespace ax::wm {

class DisplayDriver {
public:
    virtual ~DisplayDriver() = default;
    virtual DisplayKind Kind() const = 0;
    virtual SIZE ScreenSize() = 0;
    // The screen less what the desktop keeps for its panels.
    virtual RECT WorkArea() {
        const SIZE s = ScreenSize();
        return {0, 0, s.cx, s.cy};
    }
    virtual void Created(HWND, const RECT&, DWORD /*style*/, DWORD /*exStyle*/, HWND /*owner*/) {}
    virtual void Destroyed(HWND) {}
    virtual void Shown(HWND, bool /*visible*/) {}
    virtual void Moved(HWND, const RECT&) {}
    // Minimised (iconic) or restored by the window layer.
    virtual void Iconified(HWND, bool /*iconic*/) {}
    // True when a window manager sizes maximised windows itself.
    virtual bool PlacesMaximized() { return false; }
    // Maximised or not by the window layer; a minimised window that comes
    // back maximised stays maximised here.
    virtual void Zoomed(HWND, bool /*zoomed*/) {}
    // The sizes a user may give the window (max 0: no limit).
    virtual void SizeLimited(HWND, SIZE /*min*/, SIZE /*max*/) {}
    virtual void Titled(HWND, const std::string&) {}
    virtual void Restyled(HWND, DWORD /*style*/, DWORD /*exStyle*/) {}
    virtual void Raised(HWND) {}
    virtual void Focused(HWND) {}
    // The keyboard focus (or its input method settings) changed; top is the
    // focus's top-level window.
    virtual void InputMethodFocus(HWND /*top*/, ImeUse, const std::string& /*name*/) {}
    // Shows the rectangle (window coordinates) of the window's surface.
    virtual void Present(HWND, cairo_surface_t*, const RECT&) {}
    virtual void SetCursor(HCURSOR) {}
    // A press on a caption or sizing border of a top-level window.
    virtual void BeginMoveSize(HWND, LRESULT /*hit*/, POINT /*screen*/) {}
    // The window menu's Move or Size: the user moves or sizes with the keys.
    virtual void BeginKeyboardMoveSize(HWND, bool /*size*/) {}
    virtual void ClipboardTextChanged(const std::string&) {}
    // Text owned by another program, if the display has a clipboard.
    virtual std::optional<std::string> ForeignClipboardText() { return std::nullopt; }
    // Waits until the display has taken everything sent to it.
    virtual void Sync() {}
    // The display's own handle of a top-level window (0 when none).
    virtual unsigned long NativeHandle(HWND) { return 0; }
    // Rings the display's bell (nothing where the display has none).
    virtual void Bell() {}
};

std::unique_ptr<DisplayDriver> MakeHeadlessDriver();
// nullptr when no X server answers.
std::unique_ptr<DisplayDriver> MakeX11Driver();

} // namespace ax::wm
