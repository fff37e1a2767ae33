#pragma once
// Shows the shell's context menus on the display: a pop-up menu of the
// framework built from the shell's menu model, tracked modally.
#include "platform/shellns/contextmenu.h"
#include "platform/shellns/menutracker.h"

namespace ax {

class TDisplayMenuTracker final : public IMenuTracker {
public:
    // The id of the chosen item, 0 when the menu was dismissed.
    uint32_t TrackPopupMenu(const ShellMenu& menu, uint32_t flags, ShellPoint position,
                            uintptr_t owner) override;
};

} // namespace ax
