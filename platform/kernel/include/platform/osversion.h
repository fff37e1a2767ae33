#pragma once
// The platform's version, as GetVersionExA answers it. Callers choose by it
// which form of a platform record they may hand over (the file dialogs take
// their larger record from NT 5 on). This platform answers as NT 5.1, whose
// records and services the stand-ins keep; tests may have it answer as
// another version, or fail.
#include <cstdint>

namespace ax {

inline constexpr std::uint32_t VER_PLATFORM_WIN32s = 0, VER_PLATFORM_WIN32_WINDOWS = 1,
                               VER_PLATFORM_WIN32_NT = 2;

struct OSVERSIONINFOA {
    std::uint32_t dwOSVersionInfoSize = 148;
    std::uint32_t dwMajorVersion = 0;
    std::uint32_t dwMinorVersion = 0;
    std::uint32_t dwBuildNumber = 0;
    std::uint32_t dwPlatformId = 0;
    char szCSDVersion[128] = {};
};
static_assert(sizeof(OSVERSIONINFOA) == 148);

// Fills info; false, with nothing written, unless its size field is 148.
bool GetVersionExA(OSVERSIONINFOA* info);

// Tests: answer with this version from now on (its size field is ignored);
// nullptr gives the platform's own answer back. SetVersionExFails makes
// every call fail until it is cleared.
void SetReportedVersion(const OSVERSIONINFOA* version);
void SetVersionExFails(bool fail);

} // namespace ax
