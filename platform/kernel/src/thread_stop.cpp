// Stops one thread at a time with a real-time signal: its handler stores the
// registers and waits on a futex until released; the stopper waits for it
// within a bound, and a handler that runs too late returns at once.
#include "platform/thread_stop.h"

#include <dirent.h>
#include <linux/futex.h>
#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <mutex>

namespace ax {
namespace {

enum StopState : int { Idle, Requested, Stopped, Released };

// One stop at a time; the handler touches only this block and the futex.
struct StopSlot {
    std::atomic<int> State{Idle};
    std::atomic<pid_t> Target{0};
    ThreadRegisters Registers;
};
StopSlot g_slot;
std::mutex g_stopLock;

void FutexWake(std::atomic<int>& word) {
    ::syscall(SYS_futex, reinterpret_cast<int*>(&word), FUTEX_WAKE_PRIVATE, 1 << 30, nullptr,
              nullptr, 0);
}

// Waits while word holds value; a null timeout waits without limit.
void FutexWait(std::atomic<int>& word, int value, const timespec* timeout) {
    ::syscall(SYS_futex, reinterpret_cast<int*>(&word), FUTEX_WAIT_PRIVATE, value, timeout,
              nullptr, 0);
}

void StopHandler(int, siginfo_t*, void* raw) {
    const int savedErrno = errno;
    const pid_t self = static_cast<pid_t>(::syscall(SYS_gettid));
    pid_t expected = self;
    // Claiming the request first: a late signal finds it withdrawn.
    if (g_slot.Target.compare_exchange_strong(expected, -self)) {
        g_slot.Registers = RegistersOf(*static_cast<ucontext_t*>(raw));
        g_slot.State.store(Stopped);
        FutexWake(g_slot.State);
        while (g_slot.State.load() == Stopped) FutexWait(g_slot.State, Stopped, nullptr);
        g_slot.State.store(Idle);
        FutexWake(g_slot.State);
    }
    errno = savedErrno;
}

std::int64_t MonotonicMs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Waits until the state leaves value or the deadline passes.
void WaitWhile(int value, std::int64_t deadline) {
    while (g_slot.State.load() == value) {
        std::int64_t left = deadline - MonotonicMs();
        if (left <= 0) return;
        timespec t{static_cast<time_t>(left / 1000), static_cast<long>(left % 1000) * 1000000L};
        FutexWait(g_slot.State, value, &t);
    }
}

} // namespace

ThreadRegisters RegistersOf(const ucontext_t& context) {
    ThreadRegisters r;
    for (int i = 0; i < NGREG; ++i) r.General[i] = context.uc_mcontext.gregs[i];
    r.Ip = static_cast<std::uintptr_t>(context.uc_mcontext.gregs[REG_RIP]);
    r.Sp = static_cast<std::uintptr_t>(context.uc_mcontext.gregs[REG_RSP]);
    r.Fp = static_cast<std::uintptr_t>(context.uc_mcontext.gregs[REG_RBP]);
    return r;
}

int ThreadStopSignal() {
    return SIGRTMIN + 3;
}

bool InstallThreadStopper() {
    static const bool installed = [] {
        struct sigaction action{};
        action.sa_sigaction = StopHandler;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
        sigfillset(&action.sa_mask);
        return ::sigaction(ThreadStopSignal(), &action, nullptr) == 0;
    }();
    return installed;
}

bool WithThreadStopped(pid_t thread, int timeoutMs,
                       const std::function<void(const ThreadRegisters&)>& whileStopped) {
    if (!InstallThreadStopper() || thread <= 0) return false;
    std::lock_guard lock(g_stopLock);
    // The previous stopped thread may still be on its way out.
    WaitWhile(Released, MonotonicMs() + timeoutMs);
    g_slot.State.store(Requested);
    g_slot.Target.store(thread);
    if (::syscall(SYS_tgkill, ::getpid(), thread, ThreadStopSignal()) != 0) {
        g_slot.Target.store(0);
        g_slot.State.store(Idle);
        return false;
    }
    WaitWhile(Requested, MonotonicMs() + timeoutMs);
    pid_t expected = thread;
    if (g_slot.State.load() == Requested && g_slot.Target.compare_exchange_strong(expected, 0)) {
        g_slot.State.store(Idle);
        return false; // a handler that runs later finds nothing asked of it
    }
    // Claimed by the handler: it stores the registers next.
    while (g_slot.State.load() == Requested) FutexWait(g_slot.State, Requested, nullptr);
    whileStopped(g_slot.Registers);
    g_slot.Target.store(0);
    g_slot.State.store(Released);
    FutexWake(g_slot.State);
    WaitWhile(Released, MonotonicMs() + timeoutMs);
    return true;
}

std::vector<pid_t> ProcessThreadIds() {
    std::vector<pid_t> ids;
    DIR* dir = ::opendir("/proc/self/task");
    if (dir == nullptr) return ids;
    while (dirent* e = ::readdir(dir)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        ids.push_back(static_cast<pid_t>(std::atoi(e->d_name)));
    }
    ::closedir(dir);
    std::sort(ids.begin(), ids.end());
    return ids;
}

} // namespace ax
