#pragma once
// Thread creation wrapped for the whole program. Once hooks are set, every
// thread made through pthread_create (std::thread included) starts in a
// wrapper that gives it an alternate signal stack, tells the hooks who made
// it and where it starts, runs the routine, and tells the hooks when it
// ends (also through pthread_exit and cancellation). An exception that
// leaves a plain thread routine goes to the hooks instead of ending the
// process unreported.
#include <sys/types.h>

#include <cstdint>
#include <exception>

namespace ax {

struct ThreadStartInfo {
    pid_t ThreadId = 0;
    pid_t CreatorId = 0;
    // Where the thread starts for the program: the routine its creator
    // announced (AnnounceThreadRoutine: TThread's Execute), the callable's
    // code of a std::thread, else the routine given to pthread_create.
    std::uintptr_t StartAddress = 0;
};

struct ThreadHooks {
    void (*Started)(const ThreadStartInfo& info) = nullptr;
    void (*Ended)(pid_t threadId) = nullptr;
    // An exception left the thread's routine; the thread then ends.
    void (*Uncaught)(std::exception_ptr error) = nullptr;
};

// Sets the hooks (nullptr: threads start unwrapped again). The hooks object
// must stay alive while it is set.
void SetThreadHooks(const ThreadHooks* hooks);

pid_t CurrentThreadId();
// The kernel's name of the calling thread (15 characters at most).
void SetCurrentThreadName(const char* name);

} // namespace ax
