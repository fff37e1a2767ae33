#pragma once
// Around the exception path: the freeze watchdog that reports a main thread
// which no longer answers messages, the history of the last ten exceptions
// (which decides the automatic restart and close), and the restart and
// close actions. A restart hands the history to the new process through
// the named mapping "vorExceptRestart$<child id>".
#include <sys/types.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ax {

// Ten times in whole seconds, newest first; 0 is an empty slot.
using TExceptionHistory = std::array<std::int64_t, 10>;
TExceptionHistory& ExceptionHistory();
// Seconds of the clock's wall time (UTC seconds since 1601).
std::int64_t HistoryNow();
// Moves entries 1..9 to 2..10 and stores now as entry 1.
void RecordExceptionTime();
// True for 1; false for 0 (or less); for N >= 2 true when all ten entries
// are used and each lies at most N seconds back.
bool CheckHistory(std::int32_t seconds);

// Layout of the restart mapping.
inline constexpr std::size_t restartMappingSize = 88;
std::string RestartMappingName(pid_t child);

// Starts the program again with the same command line and hands it the
// history. Returns only when the new process could not be started (with
// the reason in error); the caller then reports that instead of exiting.
bool RestartApplication(std::string& error);
// Ends the process with exit code 1 (the reporter closes the application).
[[noreturn]] void CloseApplication();
// Ends the process with exit code 2 (after a successful restart).
[[noreturn]] void EndForRestart();
// In a restarted process: takes the history from the parent, after waiting
// until the parent has ended. True when this process was restarted.
bool RestartHandshake();

// Called at every exit the reporter takes, so that the names it made in
// shared memory do not outlive the process.
void RemoveReporterNames();

// The freeze watchdog: probes the main thread's message queue through the
// reporter's hidden window on it every FreezeTimeout/10 ms; ten misses in a
// row are reported as a frozen main thread, and the probing then slows by
// half each time it stays frozen. Start on the main thread.
bool StartFreezeWatchdog();
void StopFreezeWatchdog();
bool FreezeWatchdogRunning();
pid_t FreezeWatchdogThreadId();
// A report begins (true) or ends (false): the watchdog pauses meanwhile.
void ReportInProgress(bool begin);
// The watchdog's state, for tests.
struct TWatchdogState {
    int Misses = 0;
    std::uint32_t Period = 0;
    int Reports = 0;
};
TWatchdogState WatchdogState();

} // namespace ax
