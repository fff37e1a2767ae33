#include "crash/vorMail.h"

namespace ax {

bool SendBugReport(const std::string&, std::uintptr_t, bool) {
    return false;
}

} // namespace ax
