#pragma once
// Stopping another thread of this process for a moment: a real-time signal
// makes the thread hand its registers over and wait in its handler until it
// is released, so that its stack can be copied while it stands still. One
// thread is stopped at a time. A thread that does not answer within the
// bound (the signal blocked, the thread gone) is skipped; its handler, if it
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

// The kernel thread ids of this process, in the kernel's order.
std::vector<pid_t> ProcessThreadIds();

} // namespace ax
