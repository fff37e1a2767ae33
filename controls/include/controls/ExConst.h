#pragma once
// The control library's two extra cursors.
#include "framework/controls.h"

namespace ax {

inline constexpr TCursor crHand = 14000, crDragHand = 14001;

// Registers the hand and drag-hand cursors with the screen: the cursor
// resources "EX_HANDCUR" and "EX_DRAGCUR" of the program when it carries
// them, the stock hand otherwise. Nothing without a screen.
void RegisterExCursors();

} // namespace ax
