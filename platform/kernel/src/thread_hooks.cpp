// The program's own pthread_create: wraps the routine so that the new
// thread gets its alternate stack and the hooks hear of its start, its end
// (however it ends) and an exception that leaves it.
#include "platform/thread_hooks.h"

#include "platform/fault_signals.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <new>

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
};

struct EndGuard {
    const ThreadHooks* Hooks;
    ~EndGuard() {
        if (Hooks->Ended) Hooks->Ended(CurrentThreadId());
        ReleaseAlternateStack();
    }
};

void* WrappedStart(void* raw) {
    StartRecord record = *static_cast<StartRecord*>(raw);
    delete static_cast<StartRecord*>(raw);
    EnsureAlternateStack();
    if (record.Hooks->Started)
        record.Hooks->Started({CurrentThreadId(), record.Creator,
                               reinterpret_cast<std::uintptr_t>(record.Routine)});
    EndGuard guard{record.Hooks};
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
    const ThreadHooks* hooks = g_hooks.load();
    if (hooks == nullptr) return real(thread, attr, routine, argument);
    auto* record = new (std::nothrow) StartRecord{routine, argument, CurrentThreadId(), hooks};
    if (record == nullptr) return EAGAIN;
    int rc = real(thread, attr, WrappedStart, record);
    if (rc != 0) delete record;
    return rc;
}
