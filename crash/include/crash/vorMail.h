#pragma once
// Mailing a bug report: SMTP straight to the recipient domain's mail
// exchanger (found by the reporter's own DNS client over UDP), SMTP through
// a configured server, and the desktop's mailto handler.
#include <cstdint>
#include <string>
#include <vector>

namespace ax {

// Returns whether the mail went out. Not silent: the result is told in a
// message box owned by owner (a window handle as a number, 0 none).
bool SendBugReport(const std::string& report, std::uintptr_t owner, bool silent);

} // namespace ax
