// The program's own pthread_create: wraps the routine so that the new
// thread gets its alternate stack and the hooks hear of its start, its end
// (however it ends) and an exception that leaves it.
#include "platform/thread_hooks.h"

#include "platform/fault_signals.h"
#include "rtl/scopeguard.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <thread>

#include "rtl/threads.h"

namespace ax {
namespace {

std::atomic<const ThreadHooks*> g_hooks{nullptr};

using CreateFn = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

CreateFn RealCreate() {
    static CreateFn real = reinterpret_cast<CreateFn>(::dlsym(RTLD_NEXT, "pthread_create"));
    return real;
}

struct StartRecord {
    void* (*Routine)(void*);
    void* Argument;
    pid_t Creator;
    const ThreadHooks* Hooks;
    std::uintptr_t StartAddress; // the program's routine
};

// std::thread starts every thread in one routine of the C++ library, with
// the thread's state object as its argument; the object's _M_run is the
// program's code (the callable it was given). Its address is read from the
// object's virtual table as the Itanium C++ ABI lays out a pointer to a
// virtual member (first word: 1 + the slot's byte offset).
std::uintptr_t StdThreadRoutine(void* (*routine)(void*), void* argument) {
    static void* const library = [] {
        Dl_info info{};
        void* known = ::dlsym(RTLD_DEFAULT, "_ZNSt6thread15_M_start_threadESt10unique_ptrINS_6_StateESt14default_deleteIS1_EEPFvvE");
        return known != nullptr && ::dladdr(known, &info) != 0 ? info.dli_fbase : nullptr;
    }();
    Dl_info info{};
    if (library == nullptr || argument == nullptr || ::dladdr(reinterpret_cast<void*>(routine), &info) == 0 ||
        info.dli_fbase != library)
        return 0;
    void (std::thread::_State::*run)() = &std::thread::_State::_M_run;
    struct {
        std::uintptr_t Pointer;
        std::ptrdiff_t Adjust;
    } repr;
    static_assert(sizeof repr == sizeof run);
    std::memcpy(&repr, &run, sizeof repr);
    if ((repr.Pointer & 1) == 0) return 0;
    std::uintptr_t vtable = 0, code = 0;
    std::memcpy(&vtable, argument, sizeof vtable);
    std::memcpy(&code, reinterpret_cast<const void*>(vtable + repr.Pointer - 1), sizeof code);
    return code;
}

// Where the thread starts for the program: the routine its creator
// announced (TThread's Execute), std::thread's callable, else the routine.
std::uintptr_t ProgramRoutine(void* (*routine)(void*), void* argument) {
    if (const std::uintptr_t announced = TakeAnnouncedThreadRoutine(); announced != 0) return announced;
    if (const std::uintptr_t callable = StdThreadRoutine(routine, argument); callable != 0) return callable;
    return reinterpret_cast<std::uintptr_t>(routine);
}

void* WrappedStart(void* raw) {
    StartRecord record = *static_cast<StartRecord*>(raw);
    delete static_cast<StartRecord*>(raw);
    EnsureAlternateStack();
    if (record.Hooks->Started)
        record.Hooks->Started({CurrentThreadId(), record.Creator, record.StartAddress});
    ScopeGuard ended([hooks = record.Hooks] {
        if (hooks->Ended) hooks->Ended(CurrentThreadId());
        ReleaseAlternateStack();
    });
    try {
        return record.Routine(record.Argument);
    } catch (...) {
        // pthread_exit and cancellation unwind through here as an exception
        // of no C++ type: it must go on.
        if (abi::__cxa_current_exception_type() == nullptr) throw;
        if (record.Hooks->Uncaught) record.Hooks->Uncaught(std::current_exception());
        return nullptr;
    }
}

} // namespace

void SetThreadHooks(const ThreadHooks* hooks) {
    RealCreate();
    g_hooks.store(hooks);
}

pid_t CurrentThreadId() {
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

void SetCurrentThreadName(const char* name) {
    ::prctl(PR_SET_NAME, name, 0, 0, 0);
}

} // namespace ax

// Every creation in the program comes here first (the program's definition
// is found before the C library's).
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr,
                              void* (*routine)(void*), void* argument) {
    using namespace ax;
    CreateFn real = RealCreate();
    if (real == nullptr) return EAGAIN;
    const std::uintptr_t start = ProgramRoutine(routine, argument); // taken even when unhooked
    const ThreadHooks* hooks = g_hooks.load();
    if (hooks == nullptr) return real(thread, attr, routine, argument);
    auto* record = new (std::nothrow) StartRecord{routine, argument, CurrentThreadId(), hooks, start};
    if (record == nullptr) return EAGAIN;
    int rc = real(thread, attr, WrappedStart, record);
    if (rc != 0) delete record;
    return rc;
}
