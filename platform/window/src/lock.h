#pragma once
// The window manager's one lock, annotated for Clang's thread-safety
// analysis: every field of the shared state names it (AX_GUARDED_BY), every
// helper that expects it held says so (AX_REQUIRES), and the check in
// platform/window/CMakeLists.txt compiles the layer with -Wthread-safety.
#include <mutex>

#if defined(__clang__)
#define AX_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define AX_THREAD_ATTRIBUTE(x)
#endif

#define AX_CAPABILITY(x) AX_THREAD_ATTRIBUTE(capability(x))
#define AX_SCOPED_CAPABILITY AX_THREAD_ATTRIBUTE(scoped_lockable)
#define AX_GUARDED_BY(x) AX_THREAD_ATTRIBUTE(guarded_by(x))
#define AX_PT_GUARDED_BY(x) AX_THREAD_ATTRIBUTE(pt_guarded_by(x))
#define AX_REQUIRES(...) AX_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
#define AX_EXCLUDES(...) AX_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))
#define AX_ACQUIRE(...) AX_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define AX_RELEASE(...) AX_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
// Only for constructors of the state, which no other thread can see yet.
#define AX_NO_THREAD_SAFETY_ANALYSIS AX_THREAD_ATTRIBUTE(no_thread_safety_analysis)

namespace ax::wm {

class AX_CAPABILITY("mutex") ManagerMutex {
public:
    constexpr ManagerMutex() = default;
    void lock() AX_ACQUIRE() { m_.lock(); }
    void unlock() AX_RELEASE() { m_.unlock(); }

private:
    std::mutex m_;
};

// Guards the whole window manager state (Manager, Window, ThreadQueue).
// Window procedures, hooks and display calls run with it released.
extern ManagerMutex managerMutex;

class AX_SCOPED_CAPABILITY LockGuard {
public:
    LockGuard() AX_ACQUIRE(managerMutex) { managerMutex.lock(); }
    ~LockGuard() AX_RELEASE() { managerMutex.unlock(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;
};

} // namespace ax::wm
