#pragma once
// Integer minimum and maximum.
#include <cstdint>

namespace ax {

constexpr int32_t Max(int32_t a, int32_t b) { return a > b ? a : b; }
constexpr int32_t Min(int32_t a, int32_t b) { return a < b ? a : b; }

} // namespace ax
