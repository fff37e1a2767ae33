// The PC keyboard's scan codes of the virtual keys, one row per key.
#include "scan_codes.h"

#include "platform/window/constants.h"

#include <algorithm>

namespace ax::wm {

namespace {

constexpr KeyScan Key(UINT vk, uint8_t scan) {
    return {vk, {scan, false}};
}
// A key that sends the E0 prefix.
constexpr KeyScan Ext(UINT vk, uint8_t scan) {
    return {vk, {scan, true}};
}

// clang-format off
constexpr KeyScan kScanCodes[] = {
    // The main block, row by row.
    Key(VK_ESCAPE, 0x01),
    Key('1', 0x02), Key('2', 0x03), Key('3', 0x04), Key('4', 0x05), Key('5', 0x06),
    Key('6', 0x07), Key('7', 0x08), Key('8', 0x09), Key('9', 0x0A), Key('0', 0x0B),
    Key(VK_OEM_MINUS, 0x0C), Key(VK_OEM_PLUS, 0x0D), Key(VK_BACK, 0x0E),
    Key(VK_TAB, 0x0F),
    Key('Q', 0x10), Key('W', 0x11), Key('E', 0x12), Key('R', 0x13), Key('T', 0x14),
    Key('Y', 0x15), Key('U', 0x16), Key('I', 0x17), Key('O', 0x18), Key('P', 0x19),
    Key(VK_OEM_4, 0x1A), Key(VK_OEM_6, 0x1B), Key(VK_RETURN, 0x1C),
    Key(VK_LCONTROL, 0x1D), Ext(VK_RCONTROL, 0x1D),
    Key('A', 0x1E), Key('S', 0x1F), Key('D', 0x20), Key('F', 0x21), Key('G', 0x22),
    Key('H', 0x23), Key('J', 0x24), Key('K', 0x25), Key('L', 0x26),
    Key(VK_OEM_1, 0x27), Key(VK_OEM_7, 0x28), Key(VK_OEM_3, 0x29),
    Key(VK_LSHIFT, 0x2A), Key(VK_OEM_5, 0x2B),
    Key('Z', 0x2C), Key('X', 0x2D), Key('C', 0x2E), Key('V', 0x2F), Key('B', 0x30),
    Key('N', 0x31), Key('M', 0x32),
    Key(VK_OEM_COMMA, 0x33), Key(VK_OEM_PERIOD, 0x34), Key(VK_OEM_2, 0x35),
    Key(VK_RSHIFT, 0x36),
    Key(VK_LMENU, 0x38), Ext(VK_RMENU, 0x38), Key(VK_SPACE, 0x39),
    Key(VK_CAPITAL, 0x3A),
    Ext(VK_LWIN, 0x5B), Ext(VK_RWIN, 0x5C), Ext(VK_APPS, 0x5D),
    // Function keys.
    Key(VK_F1, 0x3B), Key(VK_F1 + 1, 0x3C), Key(VK_F1 + 2, 0x3D), Key(VK_F1 + 3, 0x3E),
    Key(VK_F1 + 4, 0x3F), Key(VK_F1 + 5, 0x40), Key(VK_F1 + 6, 0x41), Key(VK_F1 + 7, 0x42),
    Key(VK_F1 + 8, 0x43), Key(VK_F1 + 9, 0x44), Key(VK_F11, 0x57), Key(VK_F12, 0x58),
    Key(VK_SCROLL, 0x46),
    // The grey keys between the main block and the number pad.
    Ext(VK_INSERT, 0x52), Ext(VK_DELETE, 0x53),
    Ext(VK_HOME, 0x47), Ext(VK_END, 0x4F),
    Ext(VK_PRIOR, 0x49), Ext(VK_NEXT, 0x51),
    Ext(VK_UP, 0x48), Ext(VK_LEFT, 0x4B),
    Ext(VK_DOWN, 0x50), Ext(VK_RIGHT, 0x4D),
    // The number pad: its digits send the codes the grey keys send without E0.
    Ext(VK_NUMLOCK, 0x45), Ext(VK_DIVIDE, 0x35), Key(VK_MULTIPLY, 0x37),
    Key(VK_SUBTRACT, 0x4A), Key(VK_ADD, 0x4E), Key(VK_DECIMAL, 0x53),
    Key(VK_NUMPAD0, 0x52), Key(VK_NUMPAD0 + 1, 0x4F), Key(VK_NUMPAD0 + 2, 0x50),
    Key(VK_NUMPAD0 + 3, 0x51), Key(VK_NUMPAD0 + 4, 0x4B), Key(VK_NUMPAD0 + 5, 0x4C),
    Key(VK_NUMPAD0 + 6, 0x4D), Key(VK_NUMPAD0 + 7, 0x47), Key(VK_NUMPAD0 + 8, 0x48),
    Key(VK_NUMPAD0 + 9, 0x49),
};
// clang-format on

// The key whose code a generic modifier sends.
UINT SidedKey(UINT vk) {
    switch (vk) {
    case VK_SHIFT:
        return VK_LSHIFT;
    case VK_CONTROL:
        return VK_LCONTROL;
    case VK_MENU:
        return VK_LMENU;
    default:
        return vk;
    }
}

} // namespace

std::span<const KeyScan> ScanTable() {
    return kScanCodes;
}

ScanCode ScanOf(UINT vk) {
    vk = SidedKey(vk);
    const auto* e = std::find_if(std::begin(kScanCodes), std::end(kScanCodes),
                                 [vk](const KeyScan& k) { return k.vk == vk; });
    return e == std::end(kScanCodes) ? ScanCode{0, false} : e->scan;
}

UINT VkFromScan(ScanCode scan) {
    const auto* e =
        std::find_if(std::begin(kScanCodes), std::end(kScanCodes), [scan](const KeyScan& k) {
            return k.scan.code == scan.code && k.scan.extended == scan.extended;
        });
    return e == std::end(kScanCodes) ? 0 : e->vk;
}

} // namespace ax::wm
