// The one rule from a check mark to the frame control that draws it.
#include "platform/gdi/checkglyph.h"

namespace ax {

UINT CheckGlyphState(bool radio, CheckMark mark, bool inactive) {
    UINT state = radio ? UINT(DFCS_BUTTONRADIO) : UINT(DFCS_BUTTONCHECK);
    if (mark == CheckMark::Checked) state |= DFCS_CHECKED;
    if (mark == CheckMark::Grayed && !radio) state |= DFCS_BUTTON3STATE | DFCS_CHECKED;
    if (inactive) state |= DFCS_INACTIVE;
    return state;
}

bool DrawCheckOrRadio(HDC dc, RECT box, bool radio, CheckMark mark, bool inactive) {
    return DrawFrameControl(dc, &box, DFC_BUTTON, CheckGlyphState(radio, mark, inactive));
}

} // namespace ax
