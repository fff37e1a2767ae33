#pragma once
// X key symbols as the window layer's virtual keys and characters.
#include "platform/window/types.h"

#include <X11/X.h>
#include <span>

namespace ax::wm {

struct KeysymVk {
    KeySym sym;
    UINT vk;
};

// The symbols with a key of their own, apart from the runs of letters,
// digits, function keys and number pad digits.
std::span<const KeysymVk> KeysymTable();

// The virtual key of a key symbol, 0 when it has none.
UINT VkFromKeysym(KeySym k);
// The key symbol of a virtual key (a letter's small one), NoSymbol for none.
KeySym KeysymFromVk(UINT vk);
// The character a key symbol types (Latin-1 and Unicode symbols), 0 for none.
char32_t CharFromKeysym(KeySym k);

} // namespace ax::wm
