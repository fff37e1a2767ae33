#pragma once
// Fault signals handled on an alternate stack, so that a thread whose own
// stack overflowed can still be reported. Every thread that should survive
// a stack overflow long enough to be reported needs its own alternate stack:
// the thread hooks (thread_hooks.h) give one to each thread they start.
#include <signal.h>

#include <cstddef>

namespace ax {

using FaultHandler = void (*)(int signal, siginfo_t* info, void* context);

// The signals of faults: SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT.
inline constexpr int faultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Installs handler for every fault signal (on the alternate stack), keeping
// the previous actions; false when any installation failed (then none is
// installed).
bool InstallFaultHandlers(FaultHandler handler);
// Puts the previous actions back.
void RestoreFaultHandlers();
// Restores the default action of one signal and unblocks it, so that a
// re-raised signal ends the process with the signal's own status.
void ResetToDefault(int signal);

// Gives the calling thread an alternate signal stack of its own (a mapped
// block with a guard page below it) unless it has one; true when it has one
// afterwards. ReleaseAlternateStack takes back the one it gave.
inline constexpr std::size_t alternateStackSize = 256 * 1024;
bool EnsureAlternateStack();
void ReleaseAlternateStack();

} // namespace ax
