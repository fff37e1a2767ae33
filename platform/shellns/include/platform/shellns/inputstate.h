#pragma once
// The input-state service: which modifier keys are down and where the
// cursor is, as the display sees them. Headless, no key is down and the
// cursor is at 0,0.
#include "platform/shellns/shellpoint.h"

#include <cstdint>

namespace ax {

// Key state and cursor position, as the display sees them. The window
// layer's own GetKeyState and GetCursorPos serve windows; this service lets
// the shell ask without depending on a display.
class IInputState {
public:
    // Virtual-key codes of the keys the shell asks about.
    static constexpr int kShift = 0x10;
    static constexpr int kControl = 0x11;
    virtual ~IInputState() = default;
    virtual bool KeyDown(int virtualKey) = 0;
    virtual ShellPoint CursorPos() = 0;
};
void SetInputState(IInputState* state); // nullptr: headless (no key, 0,0)
IInputState& InputState();
// High bit set while the key is down.
int16_t ShellGetKeyState(int virtualKey);
ShellPoint ShellGetCursorPos();

} // namespace ax
