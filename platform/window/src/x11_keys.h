#pragma once
// X key symbols as the window layer's virtual keys and characters.
#include "platform/window/types.h"

#include <X11/X.h>

namespace ax::wm {

// The virtual key of a key symbol, 0 when it has none.
UINT VkFromKeysym(KeySym k);
// The character a key symbol types (Latin-1 and Unicode symbols), 0 for none.
char32_t CharFromKeysym(KeySym k);

} // namespace ax::wm
