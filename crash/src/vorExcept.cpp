// The reporter's core: the fault-signal handler (which may use neither
// allocation nor locks, and hands the fault to the worker through a pipe and
// a futex), the thread hooks, and the worker thread that holds the other
// threads, composes the report and carries out what the settings ask.
#include "crash/vorExcept.h"

#include "crash/vorBugReport.h"
#include "crash/vorExceptBox.h"
#include "crash/vorHeapCorruption.h"
#include "crash/vorMail.h"
#include "crash/vorMapFile.h"
#include "crash/vorMsgWindows.h"
#include "crash/vorRestart.h"
#include "crash/vorSettings.h"
#include "crash/vorStrings.h"
#include "crash/vorThreadList.h"
#include "platform/fault_signals.h"
#include "platform/module.h"
#include "platform/thread_hooks.h"
#include "platform/thread_stop.h"
#include "platform/window/display.h"
#include "platform/window/window.h"
#include "rtl/exceptions.h"
#include "rtl/threads.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <typeinfo>

namespace ax {
namespace detail {
void ServeTraceRequest(std::int32_t size, pid_t requester);
} // namespace detail

namespace {

// ---- state ---------------------------------------------------------------------

struct TReporter {
    std::atomic<bool> Installed{false};
    std::atomic<bool> RecordThrows{false};
    int Pipe[2] = {-1, -1};
    std::thread Worker;
    std::atomic<pid_t> WorkerId{0};
    // The report file's name, ready for a handler that may not allocate.
    char MinimalReportFile[4096] = {};
    std::mutex ActionLock; // guards Action
    TActionHandler Action;
    ThreadHooks Hooks;
};

TReporter& R() {
    static TReporter* r = new TReporter; // used until the process ends
    return *r;
}

thread_local int t_inFault = 0;
// The last throw site of this thread. A plain pointer, so that a signal
// handler may read it; TThrowSiteSlot owns the list and frees it when the
// thread ends.
thread_local TCallerList* t_throwSite = nullptr;
thread_local bool t_throwSiteGone = false; // the slot is destroyed: record no more
std::atomic<std::size_t> g_liveThrowSites{0};

struct TThrowSiteSlot {
    std::unique_ptr<TCallerList> List;
    TCallerList& Get() {
        if (!List) {
            List = std::make_unique<TCallerList>();
            g_liveThrowSites.fetch_add(1, std::memory_order_relaxed);
            t_throwSite = List.get();
        }
        return *List;
    }
    ~TThrowSiteSlot() {
        t_throwSite = nullptr;
        t_throwSiteGone = true;
        if (List) g_liveThrowSites.fetch_sub(1, std::memory_order_relaxed);
    }
};
thread_local TThrowSiteSlot t_throwSiteSlot;

void FutexWait(std::atomic<int>& word, int value) {
    ::syscall(SYS_futex, reinterpret_cast<int*>(&word), FUTEX_WAIT_PRIVATE, value, nullptr, nullptr, 0);
}
void FutexWake(std::atomic<int>& word) {
    ::syscall(SYS_futex, reinterpret_cast<int*>(&word), FUTEX_WAKE_PRIVATE, 1 << 30, nullptr, nullptr, 0);
}

// ---- what a signal handler may use: no allocation, no locks ----------------------

void PutText(int fd, const char* text) {
    [[maybe_unused]] auto n = ::write(fd, text, std::strlen(text));
}

void PutHex(int fd, std::uintptr_t value) {
    char digits[17];
    for (int i = 15; i >= 0; --i, value >>= 4) digits[i] = "0123456789abcdef"[value & 15];
    digits[16] = 0;
    PutText(fd, digits);
}

const char* SignalName(int signal) {
    switch (signal) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGABRT: return "SIGABRT";
    default: return "signal";
    }
}

// The report of a fault that the reporter cannot handle (on its own worker,
// or again while handling one): a few lines straight into the file.
[[noreturn]] void MinimalReportAndExit(int signal, std::uintptr_t address, const char* why) {
    int fd = ::open(R().MinimalReportFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) fd = 2;
    PutText(fd, "exception class   : ");
    PutText(fd, SignalName(signal));
    PutText(fd, "\r\nexception address : ");
    PutHex(fd, address);
    PutText(fd, "\r\n>> ");
    PutText(fd, why);
    PutText(fd, "\r\n");
    if (fd != 2) ::close(fd);
    PutText(2, "vorExcept: ");
    PutText(2, why);
    PutText(2, "\n");
    ::_exit(1);
}

bool WriteRequest(const TExceptionRequest& request) {
    const char* at = reinterpret_cast<const char*>(&request);
    std::size_t left = sizeof request;
    while (left > 0) {
        const ssize_t n = ::write(R().Pipe[1], at, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Hands the request to the worker and waits until it is done.
bool SubmitAndWait(TExceptionRequest& request) {
    std::atomic<int> done{0};
    request.Event = &done;
    ReportInProgress(true);
    const bool written = R().WorkerId.load() != 0 && WriteRequest(request);
    if (written)
        while (done.load() == 0) FutexWait(done, 0);
    ReportInProgress(false);
    return written;
}

void OnFaultSignal(int signal, siginfo_t* info, void* raw) {
    const int savedErrno = errno;
    const auto* context = static_cast<const ucontext_t*>(raw);
    const std::uintptr_t ip = static_cast<std::uintptr_t>(context->uc_mcontext.gregs[REG_RIP]);
    const pid_t self = CurrentThreadId();
    if (self == R().WorkerId.load())
        MinimalReportAndExit(signal, ip, "the reporter's own thread faulted; no full report");
    if (t_inFault != 0) MinimalReportAndExit(signal, ip, "a fault while a fault was reported");
    t_inFault = 1;
    TFaultInfo fault{signal, info->si_code, reinterpret_cast<std::uintptr_t>(info->si_addr), context};
    TExceptionRequest request;
    request.ThreadId = self;
    request.Address = ip;
    request.CanContinue = false;
    request.StackPointer = static_cast<std::uintptr_t>(context->uc_mcontext.gregs[REG_RSP]);
    request.FramePointer = static_cast<std::uintptr_t>(context->uc_mcontext.gregs[REG_RBP]);
    request.ThrowRecord = signal == SIGABRT ? t_throwSite : nullptr;
    request.Fault = &fault;
    if (!SubmitAndWait(request)) MinimalReportAndExit(signal, ip, "the reporter's worker is not there");
    // A fault cannot go on: the worker closes; should it come back, end with the signal.
    t_inFault = 0;
    errno = savedErrno;
    ResetToDefault(signal);
    ::raise(signal);
}

[[noreturn]] void TerminateHandler() {
    TExceptionObject object;
    if (std::exception_ptr e = std::current_exception())
        object = DescribeException(e);
    else
        object = {"BcbTermination", "Abnormal program termination"};
    const TCallerList* site = CurrentThrowSite();
    HandleException(false, &object, 0, nullptr, reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)),
                    reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)), false, site);
    CloseApplication();
}

// ---- thread hooks -------------------------------------------------------------

void ThreadStarted(const ThreadStartInfo& info) {
    RegisterThread(info.ThreadId, "", info.StartAddress, info.CreatorId);
}

void ThreadEnded(pid_t id) {
    UnregisterThread(id);
}

void ThreadUncaught(std::exception_ptr error) {
    ReportCaughtException(error, CurrentThreadId() != MainThreadId());
}

// ---- the worker ----------------------------------------------------------------

bool ReadRequest(TExceptionRequest& request) {
    char* at = reinterpret_cast<char*>(&request);
    std::size_t left = sizeof request;
    while (left > 0) {
        const ssize_t n = ::read(R().Pipe[0], at, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

void WorkerLoop() {
    // Registered before it is announced: a program that ends at once must
    // not close the thread list under a registration still under way.
    const pid_t self = CurrentThreadId();
    RegisterThread(self, "-");
    SetCurrentThreadName("vorExcept work");
    R().WorkerId = self;
    for (;;) {
        TExceptionRequest request;
        if (!ReadRequest(request)) break;
        if (request.TraceRequest) {
            detail::ServeTraceRequest(request.TraceSize, request.TraceRequester);
            continue;
        }
        if (request.Event == nullptr) break;
        ProcessException(request);
        request.Event->store(1);
        FutexWake(*request.Event);
        PostThreadMessage(static_cast<DWORD>(request.ThreadId), WM_NULL, 0, 0);
    }
    UnregisterThread(R().WorkerId);
}

bool StartWorker() {
    if (::pipe2(R().Pipe, O_CLOEXEC) != 0) return false;
    R().Worker = std::thread(WorkerLoop);
    while (R().WorkerId.load() == 0) std::this_thread::yield();
    return true;
}

void StopWorker() {
    if (!R().Worker.joinable()) return;
    TExceptionRequest stop; // all fields empty: the stop request
    WriteRequest(stop);
    ::close(R().Pipe[1]);
    R().Worker.join();
    ::close(R().Pipe[0]);
    R().Pipe[0] = R().Pipe[1] = -1;
    R().WorkerId = 0;
}

// A trace request from another process: handed to the worker.
void OnTraceSignal(int, siginfo_t* info, void*) {
    const int savedErrno = errno;
    if (info->si_code == SI_QUEUE && info->si_uid == ::getuid() && R().WorkerId.load() != 0) {
        TExceptionRequest request;
        request.TraceRequest = true;
        request.TraceSize = info->si_value.sival_int;
        request.TraceRequester = info->si_pid;
        WriteRequest(request);
    }
    errno = savedErrno;
}

// ---- pausing other threads -----------------------------------------------------

struct TPause {
    std::mutex Lock; // guards Held and Hooks
    std::vector<pid_t> Held;
    std::vector<HHOOK> Hooks;
    // While set, message retrieval of the main and the held threads waits
    // (every retrieval asks, so it is checked without the lock first).
    std::atomic<bool> Pausing{false};
    bool RetrievalHooked = false; // set at the first pause, until uninstallation
    TEvent MainEvent{true, true};
    TEvent OthersEvent{true, true};
};
TPause& P() {
    static TPause* p = new TPause;
    return *p;
}

} // namespace

// ---- public entries ------------------------------------------------------------

TExceptionObject DescribeException(std::exception_ptr error) {
    TExceptionObject object;
    auto demangle = [](const char* name) {
        int status = 0;
        char* text = abi::__cxa_demangle(name, nullptr, nullptr, &status);
        std::string out = status == 0 && text != nullptr ? text : name;
        std::free(text);
        return out;
    };
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        object.ClassName = demangle(typeid(e).name());
        object.Message = e.what();
    } catch (...) {
        const std::type_info* type = abi::__cxa_current_exception_type();
        object.ClassName = type != nullptr ? demangle(type->name()) : std::string("Unknown");
    }
    return object;
}

TExceptionObject FaultObject(const TFaultInfo& fault, std::uintptr_t stackPointer) {
    auto hex = [](std::uintptr_t v) {
        std::string s;
        do {
            s.insert(s.begin(), "0123456789abcdef"[v & 15]);
            v >>= 4;
        } while (v != 0);
        if (s.size() < 8) s.insert(0, 8 - s.size(), '0');
        return s;
    };
    const std::uintptr_t ip =
        fault.Context != nullptr ? static_cast<std::uintptr_t>(fault.Context->uc_mcontext.gregs[REG_RIP]) : 0;
    std::string module;
    if (auto m = moduleOfAddress(ip)) module = m->fileName.substr(m->fileName.rfind('/') + 1);
    const std::string where = "at address " + hex(ip) + (module.empty() ? "" : " in module '" + module + "'");
    switch (fault.Signal) {
    case SIGSEGV: {
        // A fault just below the stack pointer is the stack running out.
        const std::uintptr_t a = fault.FaultAddress;
        if (stackPointer != 0 && a + 65536 >= stackPointer && a <= stackPointer + 4096)
            return {"EStackOverflow", "Stack overflow"};
        const bool write = fault.Context != nullptr && (fault.Context->uc_mcontext.gregs[REG_ERR] & 2) != 0;
        return {"EAccessViolation", "Access violation " + where + ". " + (write ? "Write" : "Read") +
                                        " of address " + hex(a)};
    }
    case SIGBUS:
        return {"EBusError", "Bus error " + where + ". Access of address " + hex(fault.FaultAddress)};
    case SIGFPE:
        switch (fault.Code) {
        case FPE_INTDIV: return {"EDivByZero", "Division by zero"};
        case FPE_INTOVF: return {"EIntOverflow", "Integer overflow"};
        case FPE_FLTDIV: return {"EZeroDivide", "Floating point division by zero"};
        case FPE_FLTOVF: return {"EOverflow", "Floating point overflow"};
        default: return {"EInvalidOp", "Invalid floating point operation"};
        }
    case SIGILL:
        if (fault.Code == ILL_PRVOPC || fault.Code == ILL_PRVREG) return {"EPrivilege", "Privileged instruction"};
        return {"EIllegalInstruction", "Illegal instruction " + where};
    case SIGABRT:
        return {"BcbTermination", "Abnormal program termination"};
    default:
        return {"EExternalException", "External exception " + std::to_string(fault.Signal)};
    }
}

const TCallerList* CurrentThrowSite() {
    return t_throwSite;
}

std::size_t LiveThrowSiteLists() {
    return g_liveThrowSites.load(std::memory_order_relaxed);
}

void SetActionHandler(TActionHandler handler) {
    std::lock_guard l(R().ActionLock);
    R().Action = std::move(handler);
}

bool DispatchAction(int action) {
    TActionHandler handler;
    {
        std::lock_guard l(R().ActionLock);
        handler = R().Action;
    }
    return handler && handler(action);
}

void RestartOrClose() {
    std::string error;
    if (RestartApplication(error)) EndForRestart();
    PutText(2, "vorExcept: restart failed: ");
    PutText(2, error.c_str());
    PutText(2, "\n");
    CloseApplication();
}

pid_t ReporterWorkerThreadId() {
    return R().WorkerId.load();
}

bool ReporterInstalled() {
    return R().Installed.load();
}

int HandleException(bool frozen, const TExceptionObject* object, std::uintptr_t address, std::string* report,
                    std::uintptr_t framePointer, std::uintptr_t stackPointer, bool canContinue,
                    const TCallerList* throwRecord, const TFaultInfo* fault) {
    if (CurrentThreadId() == R().WorkerId.load()) return 0; // never on the worker: no recursion
    if (object != nullptr && object->ClassName == "ax::EAbort") {
        if (!canContinue) CloseApplication();
        return 0;
    }
    TExceptionRequest request;
    request.ThreadId = CurrentThreadId();
    request.Frozen = frozen;
    request.Object = object;
    request.Address = address;
    request.CanContinue = canContinue;
    request.StackPointer = stackPointer != 0 ? stackPointer : reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    request.FramePointer = framePointer != 0 ? framePointer : reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    request.Report = report;
    request.ThrowRecord = throwRecord;
    request.Fault = fault;
    if (!SubmitAndWait(request)) {
        // No worker: compose on this thread.
        request.Event = nullptr;
        ProcessException(request);
    }
    if (ReporterSettings().ResetFpuAfterReport) {
        const std::uint16_t control = 0x037F;
        asm volatile("fldcw %0" ::"m"(control));
    }
    return 0;
}

void ReportCaughtException(std::exception_ptr error, bool canContinue) {
    // EAbort (and what derives from it) is the silent exception.
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
        if (!canContinue) CloseApplication();
        return;
    } catch (...) {
    }
    TExceptionObject object = DescribeException(error);
    HandleException(false, &object, 0, nullptr, 0, 0, canContinue, CurrentThrowSite());
}

void ProcessException(TExceptionRequest& request) {
    const VorSettings& settings = ReporterSettings();
    auto& runtime = ReporterRuntime();
    const bool paused = !request.Frozen && settings.PauseRunningThreads;
    if (paused) PauseThreads(true);
    RecordExceptionTime();
    TExceptionObject faultObject;
    const TExceptionObject* object = request.Object;
    ThreadRegisters registers;
    const ThreadRegisters* faultRegisters = nullptr;
    if (request.Fault != nullptr) {
        faultObject = FaultObject(*request.Fault, request.StackPointer);
        object = &faultObject;
        if (request.Fault->Context != nullptr) {
            registers = RegistersOf(*request.Fault->Context);
            faultRegisters = &registers;
        }
    }
    std::string className, message;
    ExceptionClassAndMessage(object, className, message);
    const bool exempt = object != nullptr &&
                        std::find(runtime.ExemptExceptionClasses.begin(), runtime.ExemptExceptionClasses.end(),
                                  object->ClassName) != runtime.ExemptExceptionClasses.end();
    std::string report;
    const bool console = (runtime.ConsoleProgram || ActiveDisplay() != DisplayKind::X11) && settings.ConsoleOutput;
    if (!exempt) {
        TBugReportInput in;
        in.Frozen = request.Frozen;
        in.Object = object;
        in.Address = request.Address;
        in.ThrowRecord = request.ThrowRecord;
        in.ShowProgress = settings.AutoShowBox && !console && !runtime.WebModule;
        in.StackPointer = request.StackPointer;
        in.FramePointer = request.FramePointer;
        in.ThreadId = request.ThreadId;
        in.Registers = faultRegisters;
        report = GetBugReport(in);
    }
    if (!exempt) {
        if (settings.AutoSaveReport && !DispatchAction(1)) SaveBugReport(report, true);
        if (settings.AutoMailReport && !DispatchAction(0)) SendBugReport(report, 0, true);
        if (settings.AutoShowBox) {
            if (runtime.WebModule) {
                if (request.Report != nullptr) *request.Report = report;
            } else {
                ShowExceptionDialog(request.CanContinue, request.Frozen, report,
                                    request.Frozen ? settings.FrozenText.str() : message);
            }
        }
    }
    const bool boxDecided = settings.AutoShowBox && !runtime.WebModule && !console && !exempt;
    if (!boxDecided) {
        const bool autoClose = CheckHistory(settings.AutoCloseSeconds);
        const bool autoRestart = CheckHistory(settings.AutoRestartSeconds);
        if (!autoClose && (request.CanContinue || autoRestart)) {
            if (autoRestart && !DispatchAction(5)) RestartOrClose();
            // Otherwise the program goes on.
        } else if (!DispatchAction(6)) {
            CloseApplication();
        }
    }
    if (paused) PauseThreads(false);
}

void PauseThreads(bool pause) {
    TPause& p = P();
    if (!pause) {
        p.Pausing = false;
        p.MainEvent.SetEvent();
        p.OthersEvent.SetEvent();
        std::lock_guard l(p.Lock);
        for (HHOOK h : p.Hooks) UnhookWindowsHookEx(h);
        p.Hooks.clear();
        return;
    }
    std::vector<pid_t> held;
    const pid_t self = CurrentThreadId(), main = MainThreadId();
    for (const auto& record : ThreadRecords(50))
        if (record.ThreadId != self && record.ThreadId != main && record.Name != "-" && record.StartAddress != 0 &&
            MapFileForAddress(record.StartAddress))
            held.push_back(record.ThreadId);
    p.MainEvent.ResetEvent();
    p.OthersEvent.ResetEvent();
    std::lock_guard l(p.Lock);
    p.Held = held;
    // The retrieval itself waits, so that a thread polling an empty queue
    // is held too (the hook below sees only messages retrieved).
    if (!p.RetrievalHooked) SetMessageRetrievalHook(&WaitIfPaused);
    p.RetrievalHooked = true;
    p.Pausing = true;
    held.push_back(main);
    for (pid_t id : held) {
        if (id == self) continue;
        HHOOK h = SetWindowsHookEx(
            WH_GETMESSAGE, [](int code, WPARAM w, LPARAM lp) {
                WaitIfPaused();
                return CallNextHookEx(nullptr, code, w, lp);
            },
            static_cast<DWORD>(id));
        if (h) p.Hooks.push_back(h);
    }
}

void WaitIfPaused() {
    TPause& p = P();
    if (!p.Pausing.load()) return;
    const int savedErrno = errno;
    const pid_t self = CurrentThreadId();
    if (self == MainThreadId()) {
        p.MainEvent.WaitFor();
    } else {
        bool held;
        {
            std::lock_guard l(p.Lock);
            held = std::find(p.Held.begin(), p.Held.end(), self) != p.Held.end();
        }
        if (held) p.OthersEvent.WaitFor();
    }
    errno = savedErrno;
}

bool InstallReporter(bool) {
    TReporter& r = R();
    if (r.Installed.load()) return true;
    MarkProgramStart();
    const VorSettings& settings = ReporterSettings();
    if (!settings.InterceptionEnabled() && settings.FreezeTimeout < 1) {
        ReporterRuntime().MainThreadId = static_cast<std::uint64_t>(::getpid());
        return true;
    }
    if (!ReporterSettings().SmtpPassword.empty()) {
        std::string p = ReporterSettings().SmtpPassword.str();
        ReporterSettings().SmtpPassword = p.substr(0, 75);
    }
    if (!OpenThreadList()) return false;
    ReporterRuntime().MainThreadId = static_cast<std::uint64_t>(MainThreadId());
    const std::string file = BugReportFileName();
    std::strncpy(r.MinimalReportFile, file.c_str(), sizeof r.MinimalReportFile - 1);
    if (!StartWorker()) {
        CloseThreadList();
        return false;
    }
    if (settings.InterceptionEnabled()) {
        EnsureAlternateStack();
        InstallThreadStopper();
        if (!InstallFaultHandlers(OnFaultSignal)) {
            StopWorker();
            CloseThreadList();
            return false;
        }
        std::set_terminate(TerminateHandler);
        InstallHeapCorruptionReport();
        r.Hooks = {ThreadStarted, ThreadEnded, ThreadUncaught};
        SetThreadHooks(&r.Hooks);
        r.RecordThrows = true;
    } else {
        InstallThreadStopper();
    }
    {
        struct sigaction action{};
        action.sa_sigaction = OnTraceSignal;
        action.sa_flags = SA_SIGINFO | SA_RESTART | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        // A stop for the report this request asks for waits until the
        // request is handed over: caught inside this handler, on the
        // alternate stack, the thread's trace would end here.
        sigaddset(&action.sa_mask, ThreadStopSignal());
        ::sigaction(SIGRTMIN + 4, &action, nullptr);
    }
    r.Installed = true;
    if (settings.FreezeTimeout > 0) StartFreezeWatchdog();
    return true;
}

void UninstallReporter() {
    TReporter& r = R();
    if (!r.Installed.exchange(false)) return;
    StopFreezeWatchdog();
    r.RecordThrows = false;
    SetThreadHooks(nullptr);
    UninstallHeapCorruptionReport();
    RestoreFaultHandlers();
    StopWorker();
    {
        TPause& p = P();
        std::lock_guard l(p.Lock);
        if (p.RetrievalHooked) SetMessageRetrievalHook(nullptr);
        p.RetrievalHooked = false;
    }
    CloseThreadList();
}

void StartReporter() {
    RestartHandshake();
    if (!InstallReporter(false)) {
        PutText(2, "vorExcept: internal error. please notify support@ardentix.example\n");
        ::_exit(3);
    }
}

namespace detail {
// Records where an exception is thrown: by the time anything catches it,
// the stack it was thrown from is gone.
void RecordThrowSite(std::uintptr_t framePointer) {
    if (!R().RecordThrows.load() || t_inFault != 0 || t_throwSiteGone) return;
    t_throwSiteSlot.Get() = CollectStackList(framePointer);
}
} // namespace detail

} // namespace ax
