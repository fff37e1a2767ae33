#pragma once
// A help topic shown as a pop-up at the pointer: its title, text and the
// names of its links in a small window over everything, until a click
// anywhere or Escape closes it. GUI thread only.
#include <functional>

#include "framework/helpfile.h"
#include "platform/window/window.h"

namespace ax {

class THelpPopup {
public:
    // Shows the topic with its top-left corner at a screen point (moved to
    // stay on the work area) and returns once it has closed.
    static void Show(const THelpTopic& topic, POINT at);
    // The topic's window once it shows, inside its tracking (tests).
    static inline std::function<void(HWND)> OnShown;
    // The window of the pop-up showing now, nullptr when none shows.
    static HWND Showing();
};

} // namespace ax
