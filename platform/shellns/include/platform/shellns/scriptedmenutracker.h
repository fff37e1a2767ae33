#pragma once
// The menu tracker tests script: it records each menu shown and picks what
// the test queued.
#include "platform/shellns/menutracker.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace ax {

// A tracker that tests script: each Track takes the next step, records the
// menu it was shown and picks by caption (ampersands ignored), by id, or
// nothing.
class ScriptedMenuTracker final : public IMenuTracker {
public:
    void PickCaption(std::u16string caption);
    void PickId(uint32_t id);
    void PickNothing();
    uint32_t TrackPopupMenu(const ShellMenu& menu, uint32_t flags, ShellPoint position,
                            uintptr_t owner) override;
    const std::vector<ShellMenu>& Shown() const { return shown_; }
    const std::vector<ShellPoint>& Positions() const { return positions_; }

private:
    struct Step {
        std::u16string caption;
        uint32_t id = 0;
    };
    std::deque<Step> steps_;
    std::vector<ShellMenu> shown_;
    std::vector<ShellPoint> positions_;
};

} // namespace ax
