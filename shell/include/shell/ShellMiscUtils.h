#pragma once
// Operating-system tests. This system always runs as the NT line; the
// version tests stay available for code that asks about other versions.
#include <cstdint>

namespace ax {

inline constexpr uint32_t VER_PLATFORM_WIN32_WINDOWS = 1;
inline constexpr uint32_t VER_PLATFORM_WIN32_NT = 2;

struct TOSVersion {
    uint32_t platform = VER_PLATFORM_WIN32_NT;
    uint32_t major = 5;
    uint32_t minor = 1;
    uint32_t build = 2600;
};

inline bool IsWinNT(const TOSVersion& v) {
    return v.platform == VER_PLATFORM_WIN32_NT;
}
inline bool IsWin95(const TOSVersion& v) {
    return v.platform == VER_PLATFORM_WIN32_WINDOWS && v.major == 4 && v.minor == 0 &&
           (v.build & 0xFFFF) < 1081;
}
inline bool IsWinXP(const TOSVersion& v) {
    return v.platform == VER_PLATFORM_WIN32_NT && v.major == 5 && v.minor > 0;
}
inline bool IsWinNT() {
    return IsWinNT(TOSVersion{});
}
inline bool IsWin95() {
    return IsWin95(TOSVersion{});
}
inline bool IsWinXP() {
    return IsWinXP(TOSVersion{});
}

} // namespace ax
