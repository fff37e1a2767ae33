#pragma once
// Opening the X display without waiting for ever: a server that never
// answers (a host that drops packets, a listener that accepts and stays
// silent) would hold XOpenDisplay, and the program, indefinitely.
#include <X11/Xlib.h>

#include <cstdint>

namespace ax::wm {

// How long a display may take to answer before it counts as not there.
inline constexpr uint32_t kDisplayAnswerMs = 10000;

// The display DISPLAY names, or nullptr when it cannot be opened or gives
// no answer within timeoutMs on the clock. A connection that answers later
// is closed by the thread that waited for it.
Display* OpenDisplayWithin(uint32_t timeoutMs);

} // namespace ax::wm
