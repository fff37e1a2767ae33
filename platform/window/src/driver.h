#pragma once
// What a display does for the window manager. Every call comes without the
// manager's mutex held.
#include "platform/window/display.h"
#include "platform/window/ime.h"
#include "platform/window/types.h"

#include <cairo.h>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ax::wm {

// What the clipboard offers other programs: data by target name
// ("UTF8_STRING", "text/uri-list", ...), in order of preference.
using ClipboardOffer = std::vector<std::pair<std::string, std::vector<uint8_t>>>;

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
    // Offers the clipboard's new contents to other programs.
    virtual void ClipboardOffered(ClipboardOffer) {}
    // True once another program took the display's clipboard after our last
    // offer (or holds it, when we offered nothing yet).
    virtual bool ClipboardTaken() { return false; }
    // Another program's clipboard data in one target ("TARGETS": the target
    // names, one a line), if the display has a clipboard and the program answers.
    virtual std::optional<std::vector<uint8_t>> ForeignClipboard(const std::string&) {
        return std::nullopt;
    }
    // A drag of the program's over other programs' windows. DragOffered
    // starts it with the dragged data; DragOverOther answers whether pt is
    // over another program's window that takes drops, and sets the effect
    // it last gave for the allowed ones; DropOnOther drops there and gives
    // the effect the other program carried out; DragEnded closes the drag.
    virtual void DragOffered(ClipboardOffer) {}
    virtual bool DragOverOther(POINT, DWORD /*allowed*/, DWORD /*preferred*/, DWORD* /*effect*/) {
        return false;
    }
    virtual DWORD DropOnOther() { return 0; }
    virtual void DragEnded() {}
    // Waits until the display has taken everything sent to it.
    virtual void Sync() {}
    // The display's own handle of a top-level window (0 when none).
    virtual unsigned long NativeHandle(HWND) { return 0; }
    // Rings the display's bell (nothing where the display has none).
    virtual void Bell() {}
    // The desktop's shared settings (the XSETTINGS manager's property),
    // empty where there are none; changed runs on the X thread with the
    // new property after each change (an empty function stops).
    virtual std::vector<std::uint8_t> DesktopSettings() { return {}; }
    virtual void WatchDesktopSettings(std::function<void(std::vector<std::uint8_t>)> /*changed*/) {}
};

std::unique_ptr<DisplayDriver> MakeHeadlessDriver();
// nullptr when no X server answers.
std::unique_ptr<DisplayDriver> MakeX11Driver();

} // namespace ax::wm
