#pragma once
// The menu tracker: the display service that shows a context menu and
// answers the id picked. Until a display installs one, the headless tracker
// picks nothing.
#include "platform/shellns/contextmenu.h"
#include "platform/shellns/shellpoint.h"

#include <cstdint>

namespace ax {

// TrackPopupMenu flags.
enum : uint32_t {
    TPM_RIGHTBUTTON = 0x2,
    TPM_RETURNCMD = 0x100,
};

// TrackPopupMenu: shows a menu and answers the picked id, 0 when none.
class IMenuTracker {
public:
    virtual ~IMenuTracker() = default;
    virtual uint32_t TrackPopupMenu(const ShellMenu& menu, uint32_t flags, ShellPoint position,
                                    uintptr_t owner) = 0;
};
void SetMenuTracker(IMenuTracker* tracker); // nullptr: headless, picks nothing
IMenuTracker& MenuTracker();

} // namespace ax
