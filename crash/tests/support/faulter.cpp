// A program that fails in the way its first argument names, with the crash
// reporter installed; the fault tests run it as a child and read the
// report it leaves. Lines marked "FAULT:<mode>" are where each fault
// happens; the tests find them in this file.
#include "crash/vorExcept.h"
#include "crash/vorLinkDisAsm.h"
#include "crash/vorMsgWindows.h"
#include "crash/vorRestart.h"
#include "crash/vorSettings.h"
#include "crash/vorThreadList.h"
#include "platform/thread_hooks.h"
#include "platform/window/window.h"
#include "rtl/threads.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

std::atomic<bool> g_workerReady{false};
std::atomic<bool> g_tthreadReady{false};

// A thread of the runtime's thread class: its report names Execute as the
// routine it was started with.
class TWaitingThread : public ax::TThread {
protected:
    void Execute() override {
        ax::RegisterThread(ax::CurrentThreadId(), "tthread worker");
        g_tthreadReady = true;
        for (;;) ::pause();
    }
};

__attribute__((noinline)) void WorkerWaits() {
    g_workerReady = true;
    for (;;) ::pause();
}

__attribute__((noinline)) int NullDereference(int* p) {
    int* volatile q = p;
    return *q; // FAULT:null
}

__attribute__((noinline)) int Overflow(int depth) {
    volatile char pad[256];
    pad[0] = static_cast<char>(depth);
    if (depth < 0) return 0;
    return Overflow(depth + 1) + pad[0]; // FAULT:stack
}

// Recursion through the C library: every level sorts two numbers with a
// comparison that goes one level deeper.
int OverflowThroughLibrary(int depth);

int CompareDeeper(const void* a, const void* b) {
    volatile char pad[256];
    pad[0] = static_cast<char>(*static_cast<const int*>(a));
    return OverflowThroughLibrary(pad[0] + 1) + *static_cast<const int*>(b); // FAULT:stack-lib
}

__attribute__((noinline)) int OverflowThroughLibrary(int depth) {
    int pair[2] = {depth, depth + 1};
    std::qsort(pair, 2, sizeof pair[0], CompareDeeper);
    return pair[0];
}

__attribute__((noinline)) int Divide(int a, int b) {
    volatile int dividend = a, divisor = b;
    return dividend / divisor; // FAULT:div
}

__attribute__((noinline)) void Illegal() {
    __builtin_trap(); // FAULT:ill
}

__attribute__((noinline)) int BusError(const char* folder) {
    const std::string name = std::string(folder) + "/empty.bin";
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    auto* p = static_cast<volatile int*>(::mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0));
    return p[0]; // FAULT:bus
}

__attribute__((noinline)) void Abort() {
    std::abort(); // FAULT:abort
}

__attribute__((noinline)) void ThrowIt(const char* text) {
    throw std::runtime_error(text); // FAULT:throw
}

__attribute__((noinline)) void WorkerThrows() {
    ThrowIt("thrown on a worker");
}

__attribute__((noinline)) void DoubleFree() {
    char* volatile p = static_cast<char*>(std::malloc(64));
    std::free(p);
    std::free(p); // FAULT:doublefree
    asm volatile("" ::: "memory"); // no tail call: this frame stays
}

__attribute__((noinline)) void Freeze() {
    for (;;) ::pause(); // FAULT:freeze
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: crash_faulter MODE FOLDER [restart]\n");
        return 64;
    }
    const std::string mode = argv[1];
    const std::string folder = argv[2];
    const bool restart = argc > 3 && std::strcmp(argv[3], "restart") == 0;
    auto& settings = ax::ReporterSettings();
    settings.BugReportFile = folder + "/bugreport.txt";
    settings.ReportAllThreads = true;
    settings.ListModules = true;
    settings.AutoRestartSeconds = restart ? 1 : 0;
    if (mode == "freeze") {
        settings.FreezeTimeout = 1000;
        settings.AutoCloseSeconds = 1; // close at once, so the frozen program ends
    }
    ax::ReporterRuntime().ConsoleProgram = true;
    ax::LinkDisAsm();
    if (mode == "freeze") ax::MsgHandlerWindow(0); // the watchdog's probe window lives on this thread
    ax::StartReporter();
    if (ax::ExceptionHistory()[0] != 0) {
        // Started again by the reporter: say so and end.
        std::ofstream(folder + "/restarted.txt") << "restarted\n";
        return 0;
    }
    std::thread worker([] {
        ax::RegisterThread(ax::CurrentThreadId(), "worker thread");
        WorkerWaits();
    });
    worker.detach();
    while (!g_workerReady) std::this_thread::yield();
    (new TWaitingThread)->Start(); // runs until the process ends
    while (!g_tthreadReady) std::this_thread::yield();

    if (mode == "peek") {
        // A thread polls its empty queue; while the report is composed it
        // must stand still in its retrieval. The save step looks whether
        // the count it keeps still moves.
        static std::atomic<long> peeks{0};
        std::thread([] {
            ax::RegisterThread(ax::CurrentThreadId(), "peek thread");
            ax::MSG msg;
            for (;;) {
                ax::PeekMessage(msg, nullptr, 0, 0, ax::PM_REMOVE);
                ++peeks;
            }
        }).detach();
        while (peeks.load() == 0) std::this_thread::yield();
        ax::SetActionHandler([folder](int action) {
            if (action != 1) return false;
            const long before = peeks.load();
            long after = before;
            for (int i = 0; i < 200000 && after == before; ++i) {
                std::this_thread::yield();
                after = peeks.load();
            }
            std::ofstream(folder + "/peeks.txt") << before << " " << after << "\n";
            return false;
        });
        return NullDereference(nullptr);
    }
    if (mode == "null") return NullDereference(nullptr);
    if (mode == "stack") return Overflow(0);
    if (mode == "stack-lib") return OverflowThroughLibrary(0);
    if (mode == "div") return Divide(1, 0);
    if (mode == "ill") Illegal();
    if (mode == "bus") return BusError(folder.c_str());
    if (mode == "abort") Abort(); // MAIN:abort
    if (mode == "throw") ThrowIt("thrown on the main thread"); // MAIN:throw
    if (mode == "throw-worker") {
        std::thread t(WorkerThrows);
        t.join();
    }
    if (mode == "doublefree") DoubleFree();
    if (mode == "serve") {
        // Waits for trace requests of another process until stdin closes.
        std::printf("ready\n");
        std::fflush(stdout);
        char c;
        while (::read(0, &c, 1) > 0) {
        }
        return 0;
    }
    if (mode == "freeze") {
        // The watchdog probes through this thread's queue; answer once, then freeze.
        ax::MSG msg;
        while (ax::PeekMessage(msg, nullptr, 0, 0, ax::PM_REMOVE)) ax::DispatchMessage(msg);
        Freeze();
    }
    return 0;
}
