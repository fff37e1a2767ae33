// X key symbols as the window layer's virtual keys and characters.
#include "x11_keys.h"

#include "platform/window/constants.h"

#include <X11/keysym.h>
#include <algorithm>

namespace ax::wm {

namespace {

// Runs of symbols that map onto a run of keys.
struct KeysymRun {
    KeySym first, last;
    UINT firstVk;
};

constexpr KeysymRun kKeysymRuns[] = {
    {XK_a, XK_z, 'A'},
    {XK_A, XK_Z, 'A'},
    {XK_0, XK_9, '0'},
    {XK_F1, XK_F24, VK_F1},
    {XK_KP_0, XK_KP_9, VK_NUMPAD0},
};

// Where several symbols mean one key, the key's own symbol comes first, the
// one KeysymFromVk gives (the number pad's keys with Num Lock off mean the
// grey keys).
// clang-format off
constexpr KeysymVk kKeysyms[] = {
    {XK_BackSpace, VK_BACK},
    {XK_Tab, VK_TAB}, {XK_ISO_Left_Tab, VK_TAB},
    {XK_Return, VK_RETURN}, {XK_KP_Enter, VK_RETURN},
    {XK_Escape, VK_ESCAPE},
    {XK_space, VK_SPACE},
    {XK_Prior, VK_PRIOR}, {XK_KP_Prior, VK_PRIOR},
    {XK_Next, VK_NEXT}, {XK_KP_Next, VK_NEXT},
    {XK_End, VK_END}, {XK_KP_End, VK_END},
    {XK_Home, VK_HOME}, {XK_KP_Home, VK_HOME},
    {XK_Left, VK_LEFT}, {XK_KP_Left, VK_LEFT},
    {XK_Up, VK_UP}, {XK_KP_Up, VK_UP},
    {XK_Right, VK_RIGHT}, {XK_KP_Right, VK_RIGHT},
    {XK_Down, VK_DOWN}, {XK_KP_Down, VK_DOWN},
    {XK_Insert, VK_INSERT}, {XK_KP_Insert, VK_INSERT},
    {XK_Delete, VK_DELETE}, {XK_KP_Delete, VK_DELETE},
    {XK_Shift_L, VK_LSHIFT},
    {XK_Shift_R, VK_RSHIFT},
    {XK_Control_L, VK_LCONTROL},
    {XK_Control_R, VK_RCONTROL},
    {XK_Alt_L, VK_LMENU}, {XK_Meta_L, VK_LMENU},
    {XK_Alt_R, VK_RMENU}, {XK_Meta_R, VK_RMENU}, {XK_ISO_Level3_Shift, VK_RMENU},
    {XK_Caps_Lock, VK_CAPITAL},
    {XK_Num_Lock, VK_NUMLOCK},
    {XK_Scroll_Lock, VK_SCROLL},
    {XK_Pause, VK_PAUSE},
    {XK_Print, VK_SNAPSHOT},
    {XK_Super_L, VK_LWIN},
    {XK_Super_R, VK_RWIN},
    {XK_Menu, VK_APPS},
    {XK_KP_Multiply, VK_MULTIPLY},
    {XK_KP_Add, VK_ADD},
    {XK_KP_Subtract, VK_SUBTRACT},
    {XK_KP_Decimal, VK_DECIMAL},
    {XK_KP_Divide, VK_DIVIDE},
    {XK_semicolon, VK_OEM_1},
    {XK_equal, VK_OEM_PLUS},
    {XK_comma, VK_OEM_COMMA},
    {XK_minus, VK_OEM_MINUS},
    {XK_period, VK_OEM_PERIOD},
    {XK_slash, VK_OEM_2},
    {XK_grave, VK_OEM_3},
    {XK_bracketleft, VK_OEM_4},
    {XK_backslash, VK_OEM_5},
    {XK_bracketright, VK_OEM_6},
    {XK_apostrophe, VK_OEM_7},
};
// clang-format on

} // namespace

std::span<const KeysymVk> KeysymTable() {
    return kKeysyms;
}

UINT VkFromKeysym(KeySym k) {
    for (const auto& r : kKeysymRuns)
        if (k >= r.first && k <= r.last) return static_cast<UINT>(r.firstVk + (k - r.first));
    for (const auto& e : kKeysyms)
        if (e.sym == k) return e.vk;
    return 0;
}

KeySym KeysymFromVk(UINT vk) {
    for (const auto& r : kKeysymRuns)
        if (vk >= r.firstVk && vk <= r.firstVk + (r.last - r.first))
            return r.first + (vk - r.firstVk);
    for (const auto& e : kKeysyms)
        if (e.vk == vk) return e.sym;
    return NoSymbol;
}

char32_t CharFromKeysym(KeySym k) {
    if ((k >= 0x20 && k <= 0x7E) || (k >= 0xA0 && k <= 0xFF)) return static_cast<char32_t>(k);
    if ((k & 0xFF000000) == 0x01000000) return static_cast<char32_t>(k & 0x00FFFFFF);
    return 0;
}

} // namespace ax::wm
