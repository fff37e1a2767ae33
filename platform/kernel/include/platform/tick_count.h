#pragma once
// The 32-bit millisecond tick count, read from the system's one clock so
// that code measuring elapsed time is tested with a manual clock.
#include <cstdint>

namespace ax {

// Milliseconds of the current clock, wrapping at 2^32 like a 32-bit tick counter.
std::uint32_t tickCount();

} // namespace ax
