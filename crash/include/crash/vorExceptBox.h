#pragma once
// The exception box: tells the user about an exception (or a frozen main
// thread) and offers continue, restart, close, mail, save, print and show.
// It runs on the reporter's worker thread; console programs get the text on
// standard output instead.
#include <cstdint>
#include <memory>
#include <string>

namespace ax {

class TExceptionBox;

// Chooses box or console text and runs it until it is done; the box
// performs the action chosen (restart and close end the process).
void ShowExceptionDialog(bool canContinue, bool frozen, const std::string& report,
                         const std::string& exceptMessage);

} // namespace ax

namespace ax {
// A modal message (text, caption) owned by the window owner (0 none); on a
// console, a line on standard error.
void ShowReporterMessage(std::uintptr_t owner, const std::string& text, const std::string& caption);
} // namespace ax
