// Registers the hand and drag-hand cursors with the screen, from the
// program's cursor resources, or the stock hand when a resource is missing.
#include "controls/ExConst.h"

#include "framework/forms.h"
#include "platform/resource.h"

namespace ax {

namespace {
HCURSOR LoadExCursor(const char* name) {
    if (auto data = findResource(0, "CURSOR", name))
        if (HICON cursor = LoadIconFromIco(*data, 0, 0)) return cursor;
    // The stock cursor is shared; the screen's registry takes a copy it owns.
    return CopyIcon(LoadCursor(0, IDC_HAND));
}
} // namespace

void RegisterExCursors() {
    TScreen* screen = Screen();
    if (!screen) return;
    screen->SetCursors(crHand, LoadExCursor("EX_HANDCUR"));
    screen->SetCursors(crDragHand, LoadExCursor("EX_DRAGCUR"));
}

} // namespace ax
