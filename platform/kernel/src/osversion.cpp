// The reported platform version (NT 5.1 unless a test set another) and
// GetVersionExA, which checks the record's stated size and can be made to
// fail. Any thread may call.
#include "platform/osversion.h"

#include <cstring>
#include <mutex>
#include <optional>

namespace ax {
namespace {

struct Reported {
    std::mutex mutex;
    std::optional<OSVERSIONINFOA> version;
    bool fail = false;
};

Reported& R() {
    static Reported r;
    return r;
}

OSVERSIONINFOA PlatformVersion() {
    OSVERSIONINFOA v;
    v.dwMajorVersion = 5;
    v.dwMinorVersion = 1;
    v.dwBuildNumber = 2600;
    v.dwPlatformId = VER_PLATFORM_WIN32_NT;
    return v;
}

} // namespace

bool GetVersionExA(OSVERSIONINFOA* info) {
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) return false;
    std::lock_guard<std::mutex> g(R().mutex);
    if (R().fail) return false;
    *info = R().version.value_or(PlatformVersion());
    info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    info->szCSDVersion[sizeof info->szCSDVersion - 1] = '\0';
    return true;
}

void SetReportedVersion(const OSVERSIONINFOA* version) {
    std::lock_guard<std::mutex> g(R().mutex);
    if (version) R().version = *version;
    else R().version.reset();
}

void SetVersionExFails(bool fail) {
    std::lock_guard<std::mutex> g(R().mutex);
    R().fail = fail;
}

} // namespace ax
