// MessageBeep: the display's bell, counted for tests.
#include <atomic>

#include "driver.h"
#include "platform/window/window.h"
#include "wm.h"

namespace ax {

namespace {
std::atomic<unsigned> beeps{0};
} // namespace

BOOL MessageBeep(UINT) {
    ++beeps;
    wm::Driver().Beep();
    return TRUE;
}

unsigned BeepCount() { return beeps.load(); }

} // namespace ax
