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
