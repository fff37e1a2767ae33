// Stops a group of threads with a real-time signal sent to all of them
// first: each handler claims its slot, stores its registers, counts itself
// in and waits on a futex until the round ends; the stopper waits for the
// count within one bound, and a handler that runs too late finds its slot
// withdrawn and returns at once.
#include "platform/thread_stop.h"

#include <dirent.h>
#include <linux/futex.h>
#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace ax {
namespace {

// Target holds the thread asked for, its negation once its handler has
// claimed the slot, 0 when free or withdrawn.
struct StopSlot {
    std::atomic<pid_t> Target{0};
    ThreadRegisters Registers;
};

// Tables only grow and are never freed: a late handler may still be
// looking through an older one.
struct SlotTable {
    std::size_t Count = 0;
    std::unique_ptr<StopSlot[]> Slots;
};
std::atomic<SlotTable*> g_table{nullptr};
std::atomic<int> g_answered{0}; // handlers of this round that stored their registers
std::atomic<int> g_round{0};    // moves on when a round's threads are released
std::mutex g_stopLock;

// How often a wait looks whether the threads not yet answering still exist.
constexpr int kLivenessMs = 10;

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
    SlotTable* table = g_table.load();
    for (std::size_t i = 0; table != nullptr && i < table->Count; ++i) {
        StopSlot& slot = table->Slots[i];
        pid_t expected = self;
        // Claiming the request first: a late signal finds it withdrawn.
        if (!slot.Target.compare_exchange_strong(expected, -self)) continue;
        // The round cannot end before this handler is counted in.
        const int round = g_round.load();
        slot.Registers = RegistersOf(*static_cast<ucontext_t*>(raw));
        g_answered.fetch_add(1);
        FutexWake(g_answered);
        while (g_round.load() == round) FutexWait(g_round, round, nullptr);
        break;
    }
    errno = savedErrno;
}

std::int64_t MonotonicMs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

SlotTable& TableFor(std::size_t count) {
    SlotTable* table = g_table.load();
    if (table != nullptr && table->Count >= count) return *table;
    auto* grown = new SlotTable; // kept for good (see SlotTable)
    grown->Count = std::max<std::size_t>(count, 64);
    grown->Slots = std::make_unique<StopSlot[]>(grown->Count);
    g_table.store(grown);
    return *grown;
}

// Takes back the request of a slot not claimed yet; true when it was.
bool Withdraw(StopSlot& slot, pid_t thread) {
    pid_t expected = thread;
    return slot.Target.compare_exchange_strong(expected, 0);
}

// Sends the signal to each thread asked for; a slot whose thread cannot be
// signalled is withdrawn at once. Returns how many were signalled.
int SignalAll(SlotTable& table, const std::vector<pid_t>& threads) {
    const pid_t self = static_cast<pid_t>(::syscall(SYS_gettid));
    for (std::size_t i = 0; i < threads.size(); ++i)
        table.Slots[i].Target.store(threads[i] > 0 && threads[i] != self ? threads[i] : 0);
    int signalled = 0;
    for (std::size_t i = 0; i < threads.size(); ++i) {
        if (table.Slots[i].Target.load() == 0) continue;
        // A signal left pending from an earlier round may have claimed it.
        if (::syscall(SYS_tgkill, ::getpid(), threads[i], ThreadStopSignal()) == 0 ||
            !Withdraw(table.Slots[i], threads[i]))
            ++signalled;
    }
    return signalled;
}

// Withdraws the requests of threads that have ended meanwhile; returns how
// many.
int WithdrawEnded(SlotTable& table, const std::vector<pid_t>& threads) {
    int ended = 0;
    for (std::size_t i = 0; i < threads.size(); ++i)
        if (table.Slots[i].Target.load() == threads[i] &&
            ::syscall(SYS_tgkill, ::getpid(), threads[i], 0) != 0 && errno == ESRCH &&
            Withdraw(table.Slots[i], threads[i]))
            ++ended;
    return ended;
}

// Waits until every signalled thread that still exists has answered, or the
// deadline passes; returns how many requests were withdrawn.
int AwaitAnswers(SlotTable& table, const std::vector<pid_t>& threads, int signalled,
                 std::int64_t deadline) {
    int withdrawn = 0;
    for (;;) {
        const int answered = g_answered.load();
        if (answered >= signalled - withdrawn) return withdrawn;
        const std::int64_t left = std::min<std::int64_t>(deadline - MonotonicMs(), kLivenessMs);
        if (left <= 0) break;
        const timespec t{0, static_cast<long>(left) * 1000000L};
        FutexWait(g_answered, answered, &t);
        if (g_answered.load() == answered) withdrawn += WithdrawEnded(table, threads);
    }
    for (std::size_t i = 0; i < threads.size(); ++i)
        if (Withdraw(table.Slots[i], threads[i])) ++withdrawn;
    // Those that claimed their slot store their registers next.
    for (int a = g_answered.load(); a < signalled - withdrawn; a = g_answered.load())
        FutexWait(g_answered, a, nullptr);
    return withdrawn;
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

void StopThreads(const std::vector<pid_t>& threads, int timeoutMs,
                 const std::function<void(const std::vector<StoppedThread>&)>& whileStopped) {
    if (!InstallThreadStopper() || threads.empty()) return;
    std::lock_guard lock(g_stopLock);
    SlotTable& table = TableFor(threads.size());
    std::vector<StoppedThread> stopped;
    stopped.reserve(threads.size()); // no allocation once they stand
    g_answered.store(0);
    const int signalled = SignalAll(table, threads);
    AwaitAnswers(table, threads, signalled, MonotonicMs() + timeoutMs);
    for (std::size_t i = 0; i < threads.size(); ++i)
        if (table.Slots[i].Target.load() == -threads[i] && threads[i] > 0)
            stopped.push_back({threads[i], table.Slots[i].Registers});
    if (!stopped.empty()) whileStopped(stopped);
    for (std::size_t i = 0; i < threads.size(); ++i) table.Slots[i].Target.store(0);
    g_round.fetch_add(1);
    FutexWake(g_round);
}

bool WithThreadStopped(pid_t thread, int timeoutMs,
                       const std::function<void(const ThreadRegisters&)>& whileStopped) {
    bool called = false;
    StopThreads({thread}, timeoutMs, [&](const std::vector<StoppedThread>& stopped) {
        whileStopped(stopped.front().Registers);
        called = true;
    });
    return called;
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
