#pragma once
// The box of a check box and the circle of a radio button, as every control
// that shows one draws it (the standard check box and radio button, the
// check list box's images, the tree's check column): one rule from a mark
// to the frame control's state, so they cannot drift apart.
#include "platform/gdi/gdi.h"

namespace ax {

enum class CheckMark { Unchecked, Checked, Grayed };

// DrawFrameControl's DFC_BUTTON state. A grayed box is a checked
// three-state box; a radio button has no gray and shows a grayed mark
// unchecked.
UINT CheckGlyphState(bool radio, CheckMark mark, bool inactive);

// Draws the glyph into box (DrawFrameControl's answer).
bool DrawCheckOrRadio(HDC dc, RECT box, bool radio, CheckMark mark, bool inactive);

} // namespace ax
