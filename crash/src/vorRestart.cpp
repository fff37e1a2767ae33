// The exception history, restarting (the new process takes the history over
// through a named mapping and a handshake) and closing the program, and the
// freeze watchdog thread that probes the main thread's message loop.
#include "crash/vorRestart.h"

#include "crash/vorExcept.h"
#include "crash/vorMsgWindows.h"
#include "crash/vorSettings.h"
#include "crash/vorThreadList.h"
#include "platform/named_mapping.h"
#include "platform/thread_hooks.h"
#include "platform/window/window.h"
#include "rtl/clock.h"
#include "rtl/threads.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <mutex>
#include <thread>

namespace ax {

TExceptionHistory& ExceptionHistory() {
    static TExceptionHistory history{};
    return history;
}

std::int64_t HistoryNow() {
    // Days since 1899-12-30 to seconds since 1601-01-01 (109205 days apart).
    const double days = CurrentClock().Now() + 109205.0;
    return static_cast<std::int64_t>(std::floor(days * 86400.0 + 0.5));
}

void RecordExceptionTime() {
    auto& h = ExceptionHistory();
    for (std::size_t i = h.size() - 1; i > 0; --i) h[i] = h[i - 1];
    h[0] = HistoryNow();
}

bool CheckHistory(std::int32_t seconds) {
    if (seconds == 1) return true;
    if (seconds < 1) return false;
    const std::int64_t now = HistoryNow();
    const auto& h = ExceptionHistory();
    for (std::size_t i = h.size(); i-- > 0;)
        if (h[i] == 0 || now - h[i] > seconds) return false;
    return true;
}

std::string RestartMappingName(pid_t child) {
    return "vorExceptRestart" + DollarHex(static_cast<std::uint64_t>(child));
}

namespace {

void PutU32(std::uint8_t* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t GetU32(const std::uint8_t* at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(at[i]) << (8 * i);
    return v;
}

std::vector<std::string> OwnArguments() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::vector<std::string> args;
    std::string arg;
    while (std::getline(in, arg, '\0')) args.push_back(arg);
    return args;
}

} // namespace

void RemoveReporterNames() {
    CloseThreadList();
}

void CloseApplication() {
    RemoveReporterNames();
    ::_exit(1);
}

void EndForRestart() {
    RemoveReporterNames();
    ::_exit(2);
}

bool RestartApplication(std::string& error) {
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) {
        error = "the program file cannot be found";
        return false;
    }
    exe[n] = 0;
    std::vector<std::string> args = OwnArguments();
    if (args.empty()) args.push_back(exe);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int go[2], status[2];
    if (::pipe2(go, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (::pipe2(status, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        ::close(go[0]);
        ::close(go[1]);
        return false;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        // Held until the parent has written the hand-over.
        char byte;
        while (::read(go[0], &byte, 1) < 0 && errno == EINTR) {
        }
        ::execv(exe, argv.data());
        const int e = errno;
        [[maybe_unused]] auto w = ::write(status[1], &e, sizeof e);
        ::_exit(127);
    }
    ::close(go[0]);
    ::close(status[1]);
    if (child < 0) {
        error = std::strerror(errno);
        ::close(go[1]);
        ::close(status[0]);
        return false;
    }
    const std::string handName = RestartMappingName(child);
    NamedMapping hand = NamedMapping::Create(handName, restartMappingSize);
    if (!hand.Valid() && NamedMapping::TakenByAnotherUser(handName)) {
        // The new program starts all the same, without the history.
        const std::string text =
            "vorExcept: " + handName + " is another user's; the exception history is not handed on\n";
        [[maybe_unused]] auto n = ::write(2, text.data(), text.size());
    }
    if (hand.Valid()) {
        auto* bytes = static_cast<std::uint8_t*>(hand.Data());
        PutU32(bytes, static_cast<std::uint32_t>(::getpid()));
        PutU32(bytes + 4, 0);
        const auto& h = ExceptionHistory();
        for (std::size_t i = 0; i < h.size(); ++i)
            for (int b = 0; b < 8; ++b)
                bytes[8 + i * 8 + static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(h[i]) >> (8 * b));
    }
    char byte = 1;
    [[maybe_unused]] auto w = ::write(go[1], &byte, 1);
    ::close(go[1]);
    int execError = 0;
    ssize_t got;
    while ((got = ::read(status[0], &execError, sizeof execError)) < 0 && errno == EINTR) {
    }
    ::close(status[0]);
    if (got > 0) {
        // The new program did not start: its hand-over goes with it.
        error = std::string("the program could not be started again: ") + std::strerror(execError);
        hand.RemoveName();
        ::waitpid(child, nullptr, 0);
        return false;
    }
    hand.KeepName(); // the new process removes it
    return true;
}

bool RestartHandshake() {
    NamedMapping hand = NamedMapping::Open(RestartMappingName(::getpid()), false);
    if (!hand.Valid() || hand.Size() < restartMappingSize) return false;
    hand.RemoveName();
    const auto* bytes = static_cast<const std::uint8_t*>(hand.Data());
    const pid_t parent = static_cast<pid_t>(GetU32(bytes));
    // Wait until the parent has gone.
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, parent, 0));
    if (fd >= 0) {
        pollfd p{fd, POLLIN, 0};
        while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
        }
        ::close(fd);
    } else {
        while (::kill(parent, 0) == 0) ::usleep(10000);
    }
    auto& h = ExceptionHistory();
    for (std::size_t i = 0; i < h.size(); ++i) {
        std::uint64_t v = 0;
        for (int b = 0; b < 8; ++b) v |= static_cast<std::uint64_t>(bytes[8 + i * 8 + static_cast<std::size_t>(b)]) << (8 * b);
        h[i] = static_cast<std::int64_t>(v);
    }
    return true;
}

// ---- the freeze watchdog ---------------------------------------------------------

namespace {

constexpr WPARAM kProbeAnswer = 777;

struct TWatchdog {
    std::mutex Lock; // guards Thread, the events and the state below
    std::thread Thread;
    std::atomic<pid_t> ThreadId{0};
    std::atomic<bool> Stop{false};
    TEvent StopEvent{true, false};
    HWND ProbeWindow = nullptr;
    UINT ProbeMessage = 0;
    std::atomic<int> Misses{0};
    std::atomic<std::uint32_t> Period{0};
    std::atomic<int> Reports{0};
    // Reports under way, counted from -1 (none).
    std::atomic<int> InProgress{-1};
};

TWatchdog& Dog() {
    static TWatchdog* dog = new TWatchdog;
    return *dog;
}

void ProbeHandler(HWND, UINT, WPARAM wParam, LPARAM, LRESULT& result) {
    if (wParam != 0)
        PostMessage(reinterpret_cast<HWND>(wParam), 0, kProbeAnswer, kProbeAnswer);
    else
        PostThreadMessage(static_cast<DWORD>(Dog().ThreadId.load()), 0, kProbeAnswer, kProbeAnswer);
    result = 777;
}

void WatchdogLoop() {
    TWatchdog& d = Dog();
    d.ThreadId = CurrentThreadId();
    RegisterThread(d.ThreadId, "-");
    SetCurrentThreadName("vorExcept watch");
    MSG msg;
    PeekMessage(msg, nullptr, 0, 0, PM_NOREMOVE); // the queue, before the first probe
    // One watchdog per process.
    const bool shared = ThreadListOpen();
    while (shared && !d.Stop && !TakeWatchdogMutex(100)) {
    }
    const std::uint32_t base = static_cast<std::uint32_t>(ReporterSettings().FreezeTimeout / 10);
    d.Period = std::max<std::uint32_t>(base, 1);
    while (!d.Stop) {
        // A report under way: wait for its end.
        if (d.InProgress.load() >= 0) {
            d.Misses = 0;
            if (d.StopEvent.WaitFor(100) == TWaitResult::wrSignaled) break;
            continue;
        }
        PostMessage(d.ProbeWindow, d.ProbeMessage, 0, 0);
        if (d.StopEvent.WaitFor(d.Period) == TWaitResult::wrSignaled) break;
        bool answered = false;
        while (PeekMessage(msg, nullptr, 0, 0, PM_REMOVE))
            if (msg.message == 0 && msg.wParam == kProbeAnswer && msg.lParam == static_cast<LPARAM>(kProbeAnswer))
                answered = true;
        if (answered) {
            d.Misses = 0;
            d.Period = std::max<std::uint32_t>(base, 1);
        } else if (++d.Misses >= 10) {
            ++d.Reports;
            HandleException(true, nullptr, 0, nullptr, 0, 0, true);
            d.Misses = 0;
            d.Period = d.Period + d.Period / 2;
        }
    }
    if (shared) ReleaseWatchdogMutex();
    UnregisterThread(d.ThreadId);
}

} // namespace

bool StartFreezeWatchdog() {
    TWatchdog& d = Dog();
    std::lock_guard l(d.Lock);
    if (ReporterSettings().FreezeTimeout < 1 || d.Thread.joinable()) return false;
    d.ProbeWindow = MsgHandlerWindow(0);
    if (d.ProbeWindow == nullptr) return false;
    d.ProbeMessage = AddMsgHandler(ProbeHandler, 0, 0);
    if (d.ProbeMessage == 0) return false;
    d.Stop = false;
    d.StopEvent.ResetEvent();
    d.Misses = 0;
    d.InProgress = -1;
    d.Thread = std::thread(WatchdogLoop);
    return true;
}

void StopFreezeWatchdog() {
    TWatchdog& d = Dog();
    std::thread t;
    {
        std::lock_guard l(d.Lock);
        if (!d.Thread.joinable()) return;
        d.Stop = true;
        d.StopEvent.SetEvent();
        t = std::move(d.Thread);
    }
    t.join();
    std::lock_guard l(d.Lock);
    RemoveMsgHandler(ProbeHandler, d.ProbeMessage, 0);
    d.ProbeWindow = nullptr;
    d.InProgress = -1;
    d.ThreadId = 0;
}

bool FreezeWatchdogRunning() {
    return Dog().ThreadId.load() != 0;
}

pid_t FreezeWatchdogThreadId() {
    return Dog().ThreadId.load();
}

void ReportInProgress(bool begin) {
    // Lock-free: a signal handler calls this.
    TWatchdog& d = Dog();
    const pid_t dog = d.ThreadId.load();
    if (dog == 0 || CurrentThreadId() == dog) return;
    d.Misses = 0;
    if (begin) {
        d.InProgress.fetch_add(1);
    } else if (d.InProgress.fetch_sub(1) - 1 < -1) {
        d.InProgress = -1;
    }
}

TWatchdogState WatchdogState() {
    return {Dog().Misses.load(), Dog().Period.load(), Dog().Reports.load()};
}

} // namespace ax
