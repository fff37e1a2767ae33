#pragma once
// Installation and interception: every fault signal, every exception that
// leaves a thread routine or ends in std::terminate, and the freeze
// watchdog end in HandleException, which hands the exception to the
// reporter's worker thread and waits. The worker (ProcessException) holds
// the other threads, composes the report, saves, mails and shows it and
// performs the automatic actions.
#include "crash/vorStackTrace.h"

#include <signal.h>
#include <sys/types.h>
#include <ucontext.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <string>

namespace ax {

// The exception as the reporter sees it: a class name and a message.
struct TExceptionObject {
    std::string ClassName;
    std::string Message;
};

// A fault signal as its handler found it; filled without allocating.
struct TFaultInfo {
    int Signal = 0;
    int Code = 0;
    std::uintptr_t FaultAddress = 0; // si_addr
    const ucontext_t* Context = nullptr;
};

// The request a faulting thread hands the worker (through a pipe) and
// waits for. All fields are plain, so a signal handler can fill it.
struct TExceptionRequest {
    std::atomic<int>* Event = nullptr; // set to 1 when done; null: stop the worker
    pid_t ThreadId = 0;
    bool Frozen = false;
    const TExceptionObject* Object = nullptr;
    std::uintptr_t Address = 0;
    bool CanContinue = false;
    std::uintptr_t StackPointer = 0;
    std::uintptr_t FramePointer = 0;
    std::string* Report = nullptr; // receives the text when not null
    const TCallerList* ThrowRecord = nullptr;
    const TFaultInfo* Fault = nullptr;
    // A cross-process trace request instead of an exception (Event null).
    bool TraceRequest = false;
    std::int32_t TraceSize = 0;
    pid_t TraceRequester = 0;
};

// Installs the reporter (once per process); false when it could not be
// installed, in which case the program should end with status 3.
bool InstallReporter(bool force = false);
void UninstallReporter();
bool ReporterInstalled();
pid_t ReporterWorkerThreadId();

// The single entry of every interception; returns 0.
int HandleException(bool frozen, const TExceptionObject* object, std::uintptr_t address,
                    std::string* report, std::uintptr_t framePointer, std::uintptr_t stackPointer,
                    bool canContinue, const TCallerList* throwRecord = nullptr,
                    const TFaultInfo* fault = nullptr);
// An exception a loop caught and cannot handle (the application's loop,
// a thread's wrapper): reported with its throw site.
void ReportCaughtException(std::exception_ptr error, bool canContinue);
// What an exception object says: its class (demangled type) and message.
TExceptionObject DescribeException(std::exception_ptr error);
// The object the reporter makes for a fault signal.
TExceptionObject FaultObject(const TFaultInfo& fault, std::uintptr_t stackPointer);

// The worker's side, exposed for tests.
void ProcessException(TExceptionRequest& request);

// Holding the other threads while a report is composed.
void PauseThreads(bool pause);
void WaitIfPaused();

// The throw site of the exception being handled on this thread (recorded
// when it was thrown); null when none.
const TCallerList* CurrentThrowSite();
// How many threads hold a throw site list now (each is freed when its
// thread ends; tests read it).
std::size_t LiveThrowSiteLists();

// What the worker did with the last request (tests read it).
enum class TReportOutcome { None, Continued, Closed, Restarted, RestartFailed };

} // namespace ax

#include <functional>

namespace ax {

// Action handlers: called before each action of the reporter with its
// number (0 mail, 1 save, 2 print, 3 show, 4 continue, 5 restart, 6 close);
// a handler that answers true vetoes the action. Nothing in the program
// registers one; tests do, to see the actions without ending the process.
using TActionHandler = std::function<bool(int action)>;
void SetActionHandler(TActionHandler handler);
// True when a handler vetoed the action.
bool DispatchAction(int action);

// Restarts, and when the new process did not start, says so (on standard
// error and in the box's place) and closes instead.
[[noreturn]] void RestartOrClose();

// The program's installation: the restart handshake, then the reporter.
// Ends the process with status 3 when the reporter cannot be installed.
void StartReporter();

} // namespace ax
