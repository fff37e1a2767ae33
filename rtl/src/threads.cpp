// Events and threads on the installed clock, and Synchronize: a worker's
// call queued for the main thread, which runs it in CheckSynchronize while
// the worker waits (and receives the call's exception); once released, a
// call answers false without running.
#include "rtl/threads.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

#include "rtl/exceptions.h"
#include "rtl/scopeguard.h"

namespace ax {

void TEvent::SetEvent() {
    {
        std::lock_guard<std::mutex> g(cond_.Mutex());
        signalled_ = true;
    }
    cond_.NotifyAll();
}

void TEvent::ResetEvent() {
    std::lock_guard<std::mutex> g(cond_.Mutex());
    signalled_ = false;
}

bool TEvent::IsSet() {
    std::lock_guard<std::mutex> g(cond_.Mutex());
    return signalled_;
}

TWaitResult TEvent::WaitFor(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(cond_.Mutex());
    if (!cond_.WaitFor(lock, timeoutMs, [&] { return signalled_; })) return TWaitResult::wrTimeout;
    if (!manualReset_) signalled_ = false;
    return TWaitResult::wrSignaled;
}

TThread::~TThread() {
    if (thread_.joinable()) {
        // The owner forgot to stop it: ask politely and wait, never kill.
        Terminate();
        if (std::this_thread::get_id() == thread_.get_id()) thread_.detach();
        else thread_.join();
    }
}

namespace {
thread_local std::uintptr_t t_announcedRoutine = 0;
} // namespace

void AnnounceThreadRoutine(std::uintptr_t code) {
    t_announcedRoutine = code;
}

std::uintptr_t TakeAnnouncedThreadRoutine() {
    return std::exchange(t_announcedRoutine, 0);
}

// The final overrider of Execute, read from the object's virtual table the
// way the Itanium C++ ABI describes a pointer to a virtual member: its first
// word is 1 + the slot's byte offset.
std::uintptr_t TThread::ExecuteAddress() const {
    void (TThread::*member)() = &TThread::Execute;
    struct {
        std::uintptr_t Pointer;
        std::ptrdiff_t Adjust;
    } repr;
    static_assert(sizeof repr == sizeof member);
    std::memcpy(&repr, &member, sizeof repr);
    if ((repr.Pointer & 1) == 0) return repr.Pointer;
    std::uintptr_t vtable = 0;
    std::memcpy(&vtable, static_cast<const void*>(this), sizeof vtable);
    std::uintptr_t code = 0;
    std::memcpy(&code, reinterpret_cast<const void*>(vtable + repr.Pointer - 1), sizeof code);
    return code;
}

void TThread::Start() {
    if (thread_.joinable() || finished_) throw EThread("Cannot call Start on a running or suspended thread");
    AnnounceThreadRoutine(ExecuteAddress());
    ScopeGuard forget([] { TakeAnnouncedThreadRoutine(); });
    thread_ = std::thread([this] { Run(); });
    id_ = thread_.get_id();
}

void TThread::StartFreeOnTerminate(std::unique_ptr<TThread> thread) {
    TThread* t = thread.get();
    t->self_ = std::move(thread);
    AnnounceThreadRoutine(t->ExecuteAddress());
    ScopeGuard forget([] { TakeAnnouncedThreadRoutine(); });
    t->thread_ = std::thread([t] { t->Run(); });
    t->id_ = t->thread_.get_id();
    t->thread_.detach();
}

namespace {

long CurrentTid() {
    return static_cast<long>(syscall(SYS_gettid));
}

// The nice value every level is relative to: the process's own (its first
// thread's), whatever this thread was given before.
int ProcessNice() {
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    return errno ? 0 : nice;
}

} // namespace

int ThreadPriorityLevel(TThreadPriority priority) {
    static constexpr int kLevels[] = {-15, -2, -1, 0, 1, 2, 15};
    return kLevels[priority];
}

bool ApplyThreadPriority(long tid, TThreadPriority priority) {
    static constexpr int kNiceOffsets[] = {0, 10, 5, 0, -5, -10, -40};
    if (tid == 0) tid = CurrentTid();
    const pid_t target = static_cast<pid_t>(tid);
    const int wantedPolicy = priority == tpIdle ? SCHED_IDLE : SCHED_OTHER;
    const int nice = std::clamp(ProcessNice() + kNiceOffsets[priority], -20, 19);
    const int oldPolicy = sched_getscheduler(target);
    if (oldPolicy < 0) return false;
    // Leaving the idle class first, so that the nice value set next counts.
    sched_param param{};
    if (oldPolicy != wantedPolicy && wantedPolicy == SCHED_OTHER &&
        sched_setscheduler(target, SCHED_OTHER, &param) != 0)
        return false;
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(target), nice) != 0) {
        if (oldPolicy != wantedPolicy && wantedPolicy == SCHED_OTHER)
            sched_setscheduler(target, oldPolicy, &param);
        return false;
    }
    return wantedPolicy != SCHED_IDLE || sched_setscheduler(target, SCHED_IDLE, &param) == 0;
}

long TThread::NativeThreadId() const {
    std::lock_guard g(priorityMutex_);
    return tid_;
}

TThreadPriority TThread::Priority() const {
    std::lock_guard g(priorityMutex_);
    return priority_;
}

bool TThread::SetPriority(TThreadPriority value) {
    std::lock_guard g(priorityMutex_);
    priority_ = value;
    return tid_ == 0 || ApplyThreadPriority(tid_, value);
}

void TThread::Run() {
    {
        // A thread starts with its creator's priority; it takes its own.
        std::lock_guard g(priorityMutex_);
        tid_ = CurrentTid();
        ApplyThreadPriority(tid_, priority_);
    }
    try {
        Execute();
    } catch (...) {
        fatal_ = std::current_exception();
    }
    {
        // The kernel may give the id to another thread from now on.
        std::lock_guard g(priorityMutex_);
        tid_ = 0;
    }
    finished_ = true;
    // Last: frees the object when it owns itself.
    std::unique_ptr<TThread> self = std::move(self_);
}

void TThread::Terminate() {
    terminated_ = true;
    TerminatedSet();
}

void TThread::TerminateAndWait() {
    Terminate();
    WaitFor();
}

int TThread::WaitFor() {
    if (std::this_thread::get_id() == id_) throw EThread("Thread cannot wait for itself");
    if (thread_.joinable()) thread_.join();
    return returnValue_;
}

void TThread::Synchronize(const std::function<void()>& method) { ax::Synchronize(method); }

namespace {

struct SyncRequest {
    std::function<void()> method;
    bool done = false;
    std::exception_ptr error;
};

struct SyncQueue {
    std::mutex mutex;
    std::condition_variable served;
    std::deque<std::shared_ptr<SyncRequest>> pending;
    std::function<void()> wakeup;
    bool released = false;
    std::atomic<std::thread::id> mainThread{std::this_thread::get_id()};
};

SyncQueue& Queue() {
    static SyncQueue q;
    return q;
}

} // namespace

void SetMainThread(std::thread::id id) { Queue().mainThread = id; }
bool IsMainThread() { return std::this_thread::get_id() == Queue().mainThread.load(); }

bool Synchronize(const std::function<void()>& method) {
    if (IsMainThread()) {
        method();
        return true;
    }
    SyncQueue& q = Queue();
    auto request = std::make_shared<SyncRequest>();
    request->method = method;
    std::function<void()> wakeup;
    {
        std::lock_guard<std::mutex> g(q.mutex);
        if (q.released) return false;
        q.pending.push_back(request);
        wakeup = q.wakeup;
    }
    if (wakeup) wakeup();
    std::unique_lock<std::mutex> lock(q.mutex);
    q.served.wait(lock, [&] { return request->done || q.released; });
    if (!request->done) return false;
    if (request->error) std::rethrow_exception(request->error);
    return true;
}

bool CheckSynchronize() {
    SyncQueue& q = Queue();
    bool any = false;
    for (;;) {
        std::shared_ptr<SyncRequest> request;
        {
            std::lock_guard<std::mutex> g(q.mutex);
            if (q.pending.empty()) break;
            request = q.pending.front();
            q.pending.pop_front();
        }
        try {
            request->method();
        } catch (...) {
            // The caller gets the failure of its own call.
            request->error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> g(q.mutex);
            request->done = true;
        }
        q.served.notify_all();
        any = true;
    }
    return any;
}

void SetSynchronizeWakeup(std::function<void()> wakeup) {
    std::lock_guard<std::mutex> g(Queue().mutex);
    Queue().wakeup = std::move(wakeup);
}

void ReleaseSynchronize() {
    SyncQueue& q = Queue();
    {
        std::lock_guard<std::mutex> g(q.mutex);
        q.released = true;
        q.pending.clear();
    }
    q.served.notify_all();
}

void ResetSynchronize() {
    std::lock_guard<std::mutex> g(Queue().mutex);
    Queue().released = false;
}

} // namespace ax
