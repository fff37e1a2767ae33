#pragma once
// Stopping other threads of this process for a moment: a real-time signal
// makes each thread hand its registers over and wait in its handler until it
// is released, so that its stack can be copied while it stands still. A
// group is signalled at once and waited for within one bound, so that the
// threads' ways to a processor overlap. A thread that does not answer within
// the bound (the signal blocked) or is gone is skipped; its handler, if it
// runs late, returns at once.
#include <sys/types.h>
#include <ucontext.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace ax {

// The registers of a stopped thread, in the kernel's general register order
// (REG_R8 .. REG_CR2 of <sys/ucontext.h>).
struct ThreadRegisters {
    std::uintptr_t Ip = 0, Sp = 0, Fp = 0;
    greg_t General[NGREG] = {};
};

ThreadRegisters RegistersOf(const ucontext_t& context);

// Installs the stop signal's handler once (SIGRTMIN + 3); false when it
// cannot be installed.
bool InstallThreadStopper();
// The signal used, for callers that must leave it unblocked.
int ThreadStopSignal();

// Stops thread (a kernel thread id of this process), calls whileStopped
// with its registers and releases it. False when the thread did not answer
// within timeoutMs; then whileStopped was not called.
bool WithThreadStopped(pid_t thread, int timeoutMs,
                       const std::function<void(const ThreadRegisters&)>& whileStopped);

// A thread held by StopThreads, with its registers.
struct StoppedThread {
    pid_t Id = 0;
    ThreadRegisters Registers;
};

// Stops the given threads together (the caller itself is never stopped),
// calls whileStopped once with those that answered within timeoutMs, in the
// order given, and releases them all. whileStopped runs while the others may
// hold any lock, the allocator's too: it must not allocate.
void StopThreads(const std::vector<pid_t>& threads, int timeoutMs,
                 const std::function<void(const std::vector<StoppedThread>&)>& whileStopped);

// The kernel thread ids of this process, in the kernel's order.
std::vector<pid_t> ProcessThreadIds();

} // namespace ax
