#pragma once
// Threads, locks and events. Threads stop cooperatively: nothing suspends or
// kills a thread from outside. Every time-out runs on the installed clock.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "rtl/clock.h"

namespace ax {

class TCriticalSection {
public:
    void Enter() { mutex_.lock(); }
    void Leave() { mutex_.unlock(); }
    bool TryEnter() { return mutex_.try_lock(); }
    // For std::lock_guard and friends.
    void lock() { Enter(); }
    void unlock() { Leave(); }

private:
    std::recursive_mutex mutex_;
};

enum class TWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

class TEvent {
public:
    explicit TEvent(bool manualReset = true, bool initialState = false)
        : manualReset_(manualReset), signalled_(initialState) {}
    void SetEvent();
    void ResetEvent();
    // An auto-reset event releases one waiter and resets itself.
    TWaitResult WaitFor(uint32_t timeoutMs = INFINITE);
    bool IsSet();

private:
    TimedCondition cond_;
    const bool manualReset_;
    bool signalled_;
};

// A thread's priority, in the platform's levels (idle -15, lowest -2, lower
// -1, normal 0, higher 1, highest 2, time-critical 15). On this system a
// level is a nice value relative to the process's (lowest +10, lower +5,
// higher -5, highest -10, time-critical the strongest, -20); idle is the
// idle scheduling class, which runs only when nothing else wants the CPU.
enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };
// The platform's level of a priority.
int ThreadPriorityLevel(TThreadPriority priority);
// Applies priority to the thread whose kernel id is tid (0: the calling
// thread). False when the system refused it (raising a priority needs the
// right to); the thread then keeps what it had.
bool ApplyThreadPriority(long tid, TThreadPriority priority);

class TThread {
public:
    // The thread starts when Start is called, not at construction, so that
    // the derived object is complete when Execute runs.
    TThread() = default;
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    void Start();
    // Hands the thread its own ownership: it frees itself after Execute.
    static void StartFreeOnTerminate(std::unique_ptr<TThread> thread);

    void Terminate();
    // Terminate, then WaitFor. A derived thread whose Execute uses its own
    // members calls this from its destructor: by the time the base
    // destructor runs, those members are gone.
    void TerminateAndWait();
    bool Terminated() const { return terminated_.load(); }
    bool Finished() const { return finished_.load(); }
    // Waits for Execute to return; returns ReturnValue. Never call from the
    // thread itself.
    int WaitFor();
    int ReturnValue() const { return returnValue_; }
    // The exception that ended Execute, if any.
    std::exception_ptr FatalException() const { return fatal_; }
    std::thread::id ThreadID() const { return id_; }
    // The kernel's id of the thread while Execute runs; 0 before and after.
    long NativeThreadId() const;

    TThreadPriority Priority() const;
    // Applied to the running thread at once, else as it starts. False when
    // the system refused it for the running thread (the value is kept and
    // tried again at the next start).
    bool SetPriority(TThreadPriority value);

    // Runs method on the main thread and waits for it.
    void Synchronize(const std::function<void()>& method);

protected:
    virtual void Execute() = 0;
    // Called (on the thread) once Terminate was requested.
    virtual void TerminatedSet() {}
    int returnValue_ = 0;

private:
    void Run();
    // The code of this object's Execute, where the thread starts for the program.
    std::uintptr_t ExecuteAddress() const;
    std::thread thread_;
    std::thread::id id_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    mutable std::mutex priorityMutex_; // guards the two below
    TThreadPriority priority_ = tpNormal;
    long tid_ = 0;
    std::exception_ptr fatal_;
    std::unique_ptr<TThread> self_;
};

// The code a thread about to be created on the calling thread runs for the
// program, when the routine handed to the system is a library's trampoline
// (TThread announces its Execute); the creation hook below the runtime takes
// it (0: none announced), so crash reports name the program's routine.
void AnnounceThreadRoutine(std::uintptr_t code);
std::uintptr_t TakeAnnouncedThreadRoutine();

// Synchronised calls: worker threads queue a call for the main thread and
// wait until it ran. The main thread serves them from its message loops by
// calling CheckSynchronize; the window layer installs a wake-up so that a
// blocked loop notices the queue.
void SetMainThread(std::thread::id id);
bool IsMainThread();
// Runs method on the main thread (directly when called there). Returns false
// without running it when the queue was released at shut-down.
bool Synchronize(const std::function<void()>& method);
// Runs the queued calls; returns true when any ran.
bool CheckSynchronize();
void SetSynchronizeWakeup(std::function<void()> wakeup);
// Shut-down: waiting and later callers return at once without their call.
void ReleaseSynchronize();
// Undoes ReleaseSynchronize (tests, or a main loop started afresh).
void ResetSynchronize();

} // namespace ax
