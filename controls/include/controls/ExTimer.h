#pragma once
// A timer that fires OnTimer every Interval milliseconds of the installed
// clock, either from a hidden window's timer or from a worker thread of its
// own. A threaded step runs on the GUI thread (SyncEvent, the default) or on
// the worker. The worker never waits for the GUI thread: steps meant for the
// GUI thread are posted to the timer's window (one at a time, as window
// timers coalesce), so destroying a timer, which stops and joins its
// worker, can never deadlock with it.
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "framework/classes.h"
#include "platform/window/window.h"
#include "rtl/threads.h"

namespace ax {

inline constexpr const char* SNoTimers = "Not enough timers available";

class TTimerThread;

class TExTimer : public TComponent {
public:
    explicit TExTimer(TComponent* owner);
    ~TExTimer() override;
    AnsiString ClassName() const override { return "TExTimer"; }
    void DefinePublished(TFiler& filer) override;

    bool Enabled() const { return enabled_.load(); }
    void SetEnabled(bool value);
    uint32_t Interval() const { return interval_; }
    void SetInterval(uint32_t ms);
    // Threaded steps run on the GUI thread (true) or on the worker.
    bool SyncEvent() const { return syncEvent_.load(); }
    void SetSyncEvent(bool value) { syncEvent_ = value; }
    bool Threaded() const { return threaded_; }
    void SetThreaded(bool value);
    // The worker's priority, applied to it at once.
    TThreadPriority ThreadPriority() const { return priority_; }
    void SetThreadPriority(TThreadPriority value);
    // Window mode without a free timer raises EOutOfResources
    // ("Not enough timers available").
    void SetOnTimer(TNotifyEvent handler);
    bool HasOnTimer() const;

    // The step: OnTimer, when enabled and not being destroyed.
    void Timer();
    // Runs method on the GUI thread: at once when called there, else queued
    // for it (the caller does not wait).
    void Synchronize(std::function<void()> method);
    // Whether the worker is counting (neither suspended nor stopped).
    bool WorkerRunning() const;
    // The kernel's id of the worker; 0 until it runs.
    long WorkerThreadId() const;
    HWND WindowHandle() const { return window_; }
    // Internal: the timer window's messages (steps and queued calls).
    void OnWindowMessage(UINT msg);

private:
    friend class TTimerThread;
    void UpdateTimer();
    // Called on the worker when a step is due.
    void WorkerStep();

    HWND window_ = nullptr;
    std::unique_ptr<TTimerThread> thread_;
    std::atomic<bool> enabled_{true};
    uint32_t interval_ = 1000;
    std::atomic<bool> syncEvent_{true};
    bool threaded_ = true;
    TThreadPriority priority_ = tpNormal;
    mutable std::mutex handlerMutex_;
    TNotifyEvent onTimer_;
    std::atomic<bool> tickPosted_{false};
    std::mutex queueMutex_;
    std::deque<std::function<void()>> queue_; // for the GUI thread
};

} // namespace ax
