#pragma once
// An input state that tests set by hand.
#include "platform/shellns/inputstate.h"

namespace ax {

// A settable input state for tests.
class FixedInputState final : public IInputState {
public:
    bool shift = false;
    bool control = false;
    ShellPoint cursor;
    bool KeyDown(int virtualKey) override {
        return (virtualKey == kShift && shift) || (virtualKey == kControl && control);
    }
    ShellPoint CursorPos() override { return cursor; }
};

} // namespace ax
