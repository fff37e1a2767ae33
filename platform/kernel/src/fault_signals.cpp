// Installs the fault handlers (SA_ONSTACK, the earlier actions kept for
// restoring), resets a signal to its default, and gives a thread its
// alternate stack with a guard page below it.
#include "platform/fault_signals.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <iterator>

namespace ax {
namespace {

struct SavedActions {
    bool installed = false;
    struct sigaction previous[std::size(faultSignals)];
};
SavedActions g_saved;

thread_local void* t_stack = nullptr;

std::size_t PageSize() {
    static const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return page;
}

} // namespace

bool InstallFaultHandlers(FaultHandler handler) {
    if (g_saved.installed) return true;
    struct sigaction action{};
    action.sa_sigaction = handler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(faultSignals); ++i) {
        if (::sigaction(faultSignals[i], &action, &g_saved.previous[i]) != 0) {
            while (i-- > 0) ::sigaction(faultSignals[i], &g_saved.previous[i], nullptr);
            return false;
        }
    }
    g_saved.installed = true;
    return true;
}

void RestoreFaultHandlers() {
    if (!g_saved.installed) return;
    for (std::size_t i = 0; i < std::size(faultSignals); ++i)
        ::sigaction(faultSignals[i], &g_saved.previous[i], nullptr);
    g_saved.installed = false;
}

void ResetToDefault(int signal) {
    struct sigaction action{};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

bool EnsureAlternateStack() {
    stack_t current{};
    if (::sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)) return true;
    const std::size_t guard = PageSize();
    void* block = ::mmap(nullptr, alternateStackSize + guard, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (block == MAP_FAILED) return false;
    ::mprotect(block, guard, PROT_NONE);
    stack_t stack{};
    stack.ss_sp = static_cast<char*>(block) + guard;
    stack.ss_size = alternateStackSize;
    if (::sigaltstack(&stack, nullptr) != 0) {
        ::munmap(block, alternateStackSize + guard);
        return false;
    }
    t_stack = block;
    return true;
}

void ReleaseAlternateStack() {
    if (t_stack == nullptr) return;
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    ::sigaltstack(&off, nullptr);
    ::munmap(t_stack, alternateStackSize + PageSize());
    t_stack = nullptr;
}

} // namespace ax
