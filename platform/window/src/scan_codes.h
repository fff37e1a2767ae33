#pragma once
// The scan codes of a PC keyboard for the window layer's virtual keys: the
// numbers a key message carries in bits 16-24 of its lParam. One table
// serves both directions.
#include "platform/window/types.h"

#include <cstdint>
#include <span>

namespace ax::wm {

struct ScanCode {
    uint8_t code;
    bool extended; // the key sends the E0 prefix (the grey keys, right-hand modifiers)
};

struct KeyScan {
    UINT vk;
    ScanCode scan;
};

// Every key with a scan code, each key and each code once. The generic
// modifiers (VK_SHIFT, VK_CONTROL, VK_MENU) are not in it: they share their
// left-hand key's code.
std::span<const KeyScan> ScanTable();

// The scan code of a virtual key, {0, false} for a key without one.
ScanCode ScanOf(UINT vk);
// The virtual key of a scan code (left- or right-hand where it matters), 0
// for a code without one.
UINT VkFromScan(ScanCode scan);

} // namespace ax::wm
