// The millisecond tick count: the installed clock's ticks, cut to 32 bits.
#include "platform/tick_count.h"

#include "rtl/clock.h"

namespace ax {

std::uint32_t tickCount() { return static_cast<std::uint32_t>(CurrentClock().Ticks()); }

} // namespace ax
