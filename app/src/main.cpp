// Start-up order: the heap is the memory manager's from the first
// allocation (the program links it in), then the crash reporter, then the
// shell units, then the window.
#include "app/ConsoleText.h"
#include "app/MainWindow.h"
#include "app/SelectionCommands.h"
#include "crash/vorExcept.h"
#include "crash/vorLinkDisAsm.h"
#include "crash/vorSettings.h"
#include "rtl/scopeguard.h"
#include "shell/ShellUtilities.h"

#include <iostream>
#include <unistd.h>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    ax::StartReporter();
    // Shut-down in the reverse order: the reporter goes last, its worker
    // stopped and its thread list given back.
    const ax::ScopeGuard uninstall([] { ax::UninstallReporter(); });
    ax::LinkDisAsm();
    // File names and messages reach a terminal shown, a pipe as they are.
    ax::BindConsoleStream(std::cout, STDOUT_FILENO);
    ax::BindConsoleStream(std::cerr, STDERR_FILENO);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (ax::IsCommandLine(args)) {
        ax::ReporterRuntime().ConsoleProgram = true;
        return ax::RunCommandLine(args, std::cout, std::cerr, STDIN_FILENO,
                                  ax::CommandEnd::ProcessEnds);
    }
    ax::ShellUtilitiesInitialize();
    const int status = ax::RunMainWindow(args, std::cout, std::cerr, [](std::exception_ptr error) {
        ax::ReportCaughtException(error, true);
    });
    ax::ShellUtilitiesFinalize();
    return status;
}
