#pragma once
// The host program's window:
//
//   ardentix [JOBFILE]           the main window, rooted at the user's home
//                                folder, with JOBFILE's selection loaded
//   ardentix demo SCREENSHOT     the window on the example (see
//                                ExampleJob.h): saves a picture of it as
//                                SCREENSHOT and prints the selection
//
// Errors go to err as one line each; the result is the exit status.
#include <exception>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace ax {

// reportException gets what the window's handlers let escape (the crash
// reporter's, in the program).
int RunMainWindow(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  const std::function<void(std::exception_ptr)>& reportException);

class TApplication;
class TMainform;
// Presents the window until it has nothing left to do, the demo's picture
// is taken then: every icon the panes asked of the icon thread has come and
// been painted, and no message or paint is queued. Waits 10 s at most on
// the installed clock.
void PresentWhenIdle(TApplication& app, TMainform* form);

} // namespace ax
