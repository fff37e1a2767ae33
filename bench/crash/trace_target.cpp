// The process the trace benchmark reports on: 32 threads, each standing at
// a different depth of a few plain functions, waiting in the kernel (or,
// given "busy", spinning there). Prints "ready" once every thread stands;
// ends when standard input closes.
#include "crash/vorExcept.h"
#include "crash/vorSettings.h"
#include "crash/vorThreadList.h"
#include "platform/thread_hooks.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

std::atomic<int> g_standing{0};
bool g_busy = false;

__attribute__((noinline)) void Wait() {
    g_standing.fetch_add(1);
    if (g_busy) for (;;) asm volatile("" ::: "memory");
    for (;;) ::pause();
}

__attribute__((noinline)) void Branch(int kind, int depth);

__attribute__((noinline)) void StepA(int kind, int depth) {
    Branch(kind, depth - 1);
    asm volatile("" ::: "memory");
}

__attribute__((noinline)) void StepB(int kind, int depth) {
    volatile char pad[64];
    pad[0] = static_cast<char>(depth);
    Branch(kind + pad[0] * 0, depth - 1);
    asm volatile("" ::: "memory");
}

__attribute__((noinline)) void Branch(int kind, int depth) {
    if (depth <= 0) {
        Wait();
    } else if ((kind >> (depth % 5)) & 1) {
        StepA(kind, depth);
    } else {
        StepB(kind, depth);
    }
    asm volatile("" ::: "memory");
}

} // namespace

int main(int argc, char** argv) {
    g_busy = argc > 1 && std::string(argv[1]) == "busy";
    auto& settings = ax::ReporterSettings();
    settings.ReportAllThreads = true;
    ax::ReporterRuntime().ConsoleProgram = true;
    ax::StartReporter();
    std::vector<std::thread> threads;
    for (int i = 0; i < 31; ++i)
        threads.emplace_back([i] {
            ax::RegisterThread(ax::CurrentThreadId(), "worker " + std::to_string(i));
            Branch(i * 7 + 3, 3 + i % 9);
        });
    while (g_standing.load() < 31) std::this_thread::yield();
    std::printf("ready\n");
    std::fflush(stdout);
    char c;
    while (::read(0, &c, 1) > 0) {
    }
    std::_Exit(0);
}
