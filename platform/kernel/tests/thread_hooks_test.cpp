#include "platform/fault_signals.h"
#include "platform/thread_hooks.h"
#include "platform/thread_stop.h"

#include <gtest/gtest.h>

#include "rtl/threads.h"

#include <dlfcn.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace ax {
namespace {

struct Seen {
    std::mutex Lock;
    std::vector<ThreadStartInfo> Started;
    std::vector<pid_t> Ended;
    int Uncaught = 0;
    std::string Message;
};
Seen g_seen;

const ThreadHooks g_hooks{
    [](const ThreadStartInfo& info) {
        std::lock_guard l(g_seen.Lock);
        g_seen.Started.push_back(info);
    },
    [](pid_t id) {
        std::lock_guard l(g_seen.Lock);
        g_seen.Ended.push_back(id);
    },
    [](std::exception_ptr e) {
        std::lock_guard l(g_seen.Lock);
        ++g_seen.Uncaught;
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            g_seen.Message = x.what();
        }
    }};

void* PlainRoutine(void* arg) {
    stack_t s{};
    ::sigaltstack(nullptr, &s);
    // Ours, or one a sanitizer runtime gave the thread before us.
    *static_cast<bool*>(arg) = !(s.ss_flags & SS_DISABLE) && s.ss_size >= 16384;
    return nullptr;
}

void* ThrowingRoutine(void*) {
    throw std::runtime_error("thrown in a thread");
}

void* ExitingRoutine(void*) {
    ::pthread_exit(nullptr);
}

TEST(ThreadHooks, WrapsEveryCreationWithStackCreatorAndEnd) {
    {
        std::lock_guard l(g_seen.Lock);
        g_seen.Started.clear();
        g_seen.Ended.clear();
        g_seen.Uncaught = 0;
    }
    SetThreadHooks(&g_hooks);
    bool hadStack = false;
    pthread_t t;
    ASSERT_EQ(::pthread_create(&t, nullptr, PlainRoutine, &hadStack), 0);
    ::pthread_join(t, nullptr);
    EXPECT_TRUE(hadStack);
    ASSERT_EQ(::pthread_create(&t, nullptr, ThrowingRoutine, nullptr), 0);
    ::pthread_join(t, nullptr);
    ASSERT_EQ(::pthread_create(&t, nullptr, ExitingRoutine, nullptr), 0);
    ::pthread_join(t, nullptr);
    pid_t fromStd = 0;
    std::thread([&] { fromStd = CurrentThreadId(); }).join();
    SetThreadHooks(nullptr);

    std::lock_guard l(g_seen.Lock);
    ASSERT_EQ(g_seen.Started.size(), 4u);
    EXPECT_EQ(g_seen.Started[0].CreatorId, CurrentThreadId());
    EXPECT_EQ(g_seen.Started[0].StartAddress, reinterpret_cast<std::uintptr_t>(&PlainRoutine));
    EXPECT_EQ(g_seen.Started[3].ThreadId, fromStd);
    EXPECT_EQ(g_seen.Ended.size(), 4u) << "pthread_exit and exceptions end through the hooks too";
    EXPECT_EQ(g_seen.Uncaught, 1);
    EXPECT_EQ(g_seen.Message, "thrown in a thread");
}

// A thread whose Execute says where its code is.
class TWhereThread : public TThread {
public:
    std::atomic<std::uintptr_t> Code{0};

protected:
    void Execute() override {
    here:
        Code = reinterpret_cast<std::uintptr_t>(&&here);
    }
};

void* ModuleOf(std::uintptr_t address) {
    Dl_info info{};
    return ::dladdr(reinterpret_cast<void*>(address), &info) != 0 ? info.dli_fbase : nullptr;
}

// std::thread and TThread hand the system a trampoline of a library; the
// hooks get the program's own code: the callable's, and Execute's.
TEST(ThreadHooks, StartAddressIsTheProgramsRoutine) {
    {
        std::lock_guard l(g_seen.Lock);
        g_seen.Started.clear();
    }
    SetThreadHooks(&g_hooks);
    std::thread([] {}).join();
    TWhereThread where;
    where.Start();
    where.WaitFor();
    SetThreadHooks(nullptr);

    std::lock_guard l(g_seen.Lock);
    ASSERT_EQ(g_seen.Started.size(), 2u);
    void* const program = ModuleOf(reinterpret_cast<std::uintptr_t>(&PlainRoutine));
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(ModuleOf(g_seen.Started[0].StartAddress), program) << "std::thread's start is the library's";
    // Execute starts within a few instructions of its first label.
    const std::uintptr_t start = g_seen.Started[1].StartAddress, code = where.Code;
    EXPECT_LE(start, code);
    EXPECT_LT(code - start, 64u) << std::hex << start << " " << code;
    EXPECT_EQ(TakeAnnouncedThreadRoutine(), 0u) << "the announcement was taken";
}

// A stack overflow reaches the handler, which runs on the alternate stack.
std::atomic<bool> g_onAlternate{false};
void OverflowHandler(int, siginfo_t*, void*) {
    char here;
    stack_t s{};
    ::sigaltstack(nullptr, &s);
    g_onAlternate = (s.ss_flags & SS_ONSTACK) != 0 && &here > static_cast<char*>(s.ss_sp);
    ::_exit(g_onAlternate ? 7 : 8);
}

__attribute__((noinline)) int Recurse(int depth) {
    volatile char pad[512];
    pad[0] = static_cast<char>(depth);
    if (depth < 0) return 0; // never: the stack runs out first
    return Recurse(depth + 1) + pad[0];
}

TEST(FaultSignals, StackOverflowIsHandledOnTheAlternateStack) {
    pid_t child = ::fork();
    if (child == 0) {
        rlimit small{1 << 20, 1 << 20};
        ::setrlimit(RLIMIT_STACK, &small);
        if (!EnsureAlternateStack() || !InstallFaultHandlers(OverflowHandler)) ::_exit(9);
        // On a thread with a small stack, so the limit is certain.
        pthread_attr_t attr;
        pthread_attr_init(&attr);
        pthread_attr_setstacksize(&attr, 256 * 1024);
        SetThreadHooks(&g_hooks);
        pthread_t t;
        ::pthread_create(&t, &attr, [](void*) -> void* { return reinterpret_cast<void*>(Recurse(0)); },
                         nullptr);
        ::pthread_join(t, nullptr);
        ::_exit(10);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 7);
}

TEST(FaultSignals, ResetToDefaultEndsWithTheSignalsOwnStatus) {
    pid_t child = ::fork();
    if (child == 0) {
        InstallFaultHandlers([](int sig, siginfo_t*, void*) {
            ResetToDefault(sig);
            ::raise(sig);
        });
        ::abort();
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGABRT);
}

// A thread stopped by the stop signal shows where it stands.
__attribute__((noinline)) void SpinUntil(std::atomic<bool>& stop, std::atomic<std::uintptr_t>& sp) {
    int marker = 0;
    sp = reinterpret_cast<std::uintptr_t>(&marker);
    while (!stop.load()) asm volatile("" ::: "memory");
}

TEST(ThreadStop, StopsAThreadAndHandsOverItsRegisters) {
    std::atomic<bool> stop{false};
    std::atomic<std::uintptr_t> sp{0};
    std::atomic<pid_t> tid{0};
    std::thread t([&] {
        tid = CurrentThreadId();
        SpinUntil(stop, sp);
    });
    for (int i = 0; i < 2000000 && (tid == 0 || sp == 0); ++i) std::this_thread::yield();
    ASSERT_NE(sp.load(), 0u);
    ThreadRegisters seen;
    bool called = false;
    ASSERT_TRUE(WithThreadStopped(tid, 5000, [&](const ThreadRegisters& r) {
        seen = r;
        called = true;
    }));
    stop = true;
    t.join();
    EXPECT_TRUE(called);
    // The stack pointer lies near the spinning function's local (which may
    // stand in the red zone below it).
    EXPECT_LE(seen.Sp, sp.load() + 128);
    EXPECT_GT(seen.Sp + 4096, sp.load());
    EXPECT_NE(seen.Ip, 0u);
    const auto threads = ProcessThreadIds();
    EXPECT_NE(std::find(threads.begin(), threads.end(), CurrentThreadId()), threads.end());
}

TEST(ThreadStop, AThreadThatDoesNotAnswerIsSkipped) {
    std::atomic<bool> stop{false};
    std::atomic<pid_t> tid{0};
    std::thread t([&] {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, ThreadStopSignal());
        ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
        tid = CurrentThreadId();
        while (!stop.load()) std::this_thread::yield();
        // The pending signal arrives now and must find nothing to do.
        ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    });
    for (int i = 0; i < 2000000 && tid == 0; ++i) std::this_thread::yield();
    bool called = false;
    EXPECT_FALSE(WithThreadStopped(tid, 100, [&](const ThreadRegisters&) { called = true; }));
    EXPECT_FALSE(called);
    stop = true;
    t.join();
    // The stopper still works afterwards.
    std::atomic<bool> stop2{false};
    std::atomic<pid_t> tid2{0};
    std::thread u([&] {
        tid2 = CurrentThreadId();
        while (!stop2.load()) std::this_thread::yield();
    });
    for (int i = 0; i < 2000000 && tid2 == 0; ++i) std::this_thread::yield();
    EXPECT_TRUE(WithThreadStopped(tid2, 5000, [](const ThreadRegisters&) {}));
    stop2 = true;
    u.join();
}

} // namespace
} // namespace ax
