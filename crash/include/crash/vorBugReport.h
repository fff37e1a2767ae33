#pragma once
// The bug report: a header of labelled lines, one section per reported
// thread with its stack trace, and optional sections for modules, hardware
// and the disassembly of the faulting function. 8-bit text, CR LF breaks.
#include "crash/vorExcept.h"

#include "platform/thread_stop.h"

#include <cstdint>
#include <string>

namespace ax {

struct TBugReportInput {
    bool Frozen = false;
    const TExceptionObject* Object = nullptr;
    std::uintptr_t Address = 0;
    const TCallerList* ThrowRecord = nullptr;
    bool ShowProgress = false;
    std::uintptr_t StackPointer = 0;
    std::uintptr_t FramePointer = 0;
    pid_t ThreadId = 0;
    // The faulting thread's registers, when a signal brought them.
    const ThreadRegisters* Registers = nullptr;
};

std::string GetBugReport(const TBugReportInput& input);
std::string GetReportHeader(const TBugReportInput& input);
std::string GetThreadReport(const TBugReportInput& input, std::uintptr_t* functionEntry);
std::string GetModuleReport();
std::string GetHardwareList();

// Class name and message for the header ("Unknown" for none).
void ExceptionClassAndMessage(const TExceptionObject* object, std::string& className,
                              std::string& message);
// The message cut after its last character that is neither "." nor "!",
// keeping one of them, and a "." added.
std::string TrimmedMessage(const std::string& message);
// "1 day 2 hours ", "3 minutes 1 second " ... from whole seconds.
std::string DurationText(std::uint64_t seconds);
// Replaces %appname%, %exceptMsg% and %LF%.
std::string ExpandPlaceholders(std::string text, const std::string& exceptMessage);
// The executable's file name without directory and extension.
std::string AppName();
// The machine a remote session runs from: the SSH client's address
// (SSH_CLIENT, else SSH_CONNECTION), else the host of an X display on
// another machine; empty in a local session.
std::string TerminalClientName();

// The report file: BugReportFile with %appname% replaced, in the
// executable's folder unless absolute.
std::string BugReportFileName();
// Whether BugReportFile names its folder itself (no save dialog asks).
bool BugReportFileIsAbsolute();
// Where a report is saved when the program's folder cannot be written:
// the user's state folder ($XDG_STATE_HOME when absolute, else
// ~/.local/state), in a folder of the program's name that must be the
// user's own and is made 0700; empty when the user has no home.
std::string FallbackReportFileName();
// Saves (silently: to the file name; a failed save in the program's folder
// goes to the fallback), readable by the user only. savedAs receives the
// file written. Not silent, a relative BugReportFile is asked for in the
// installed save dialog (platform/window/savefiledialog.h) owned by owner,
// run on the calling thread; without one installed it is saved as when
// silent.
bool SaveBugReport(const std::string& report, bool silent, std::string* savedAs = nullptr,
                   std::uintptr_t owner = 0);
// Keeps only whole reports: the tail from the first report start (a line
// beginning with "date/time") after which fewer than max - max/4 bytes remain.
std::string TrimReportFile(const std::string& content, std::int32_t maxSize);

// Seconds since the reporter was installed started counting.
void MarkProgramStart();

} // namespace ax
