// The timer: a hidden window's timer, or a worker thread counting Interval
// on the installed clock; the worker posts steps meant for the GUI thread to
// the timer's window and never waits for that thread.
#include "controls/ExTimer.h"

#include "controls/ExCustomListBox.h"
#include "framework/controls.h"
#include "framework/streaming.h"
#include "rtl/threads.h"

namespace ax {

namespace {
constexpr const char* kWindowClass = "TExTimerWindow";
constexpr UINT_PTR kTimerId = 1;
// Private messages of the timer's window: a threaded step is due; queued
// calls are waiting.
constexpr UINT kTickMessage = WM_USER + 0x101, kQueueMessage = WM_USER + 0x102;

void RegisterWindowClass() {
    WNDCLASS wc;
    if (GetClassInfo(kWindowClass, wc)) return;
    wc.lpszClassName = kWindowClass;
    wc.lpfnWndProc = [](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        auto* timer = reinterpret_cast<TExTimer*>(GetWindowLongPtr(h, GWLP_USERDATA));
        if (timer && (msg == WM_TIMER || msg == kTickMessage || msg == kQueueMessage)) {
            timer->OnWindowMessage(msg);
            return 0;
        }
        return DefWindowProc(h, msg, w, l);
    };
    RegisterClass(wc);
}
} // namespace

// The worker: counts Interval on the installed clock while it runs, and
// waits otherwise. Deadlines follow each other at Interval from the moment
// it was started, so a test that advances the clock after starting the
// timer sees exactly one step per Interval.
class TTimerThread : public TThread {
public:
    explicit TTimerThread(TExTimer* owner) : owner_(owner) {}
    ~TTimerThread() override { TerminateAndWait(); }

    // Starts counting from now with the interval (0: stops).
    void Resume(uint32_t interval) {
        std::lock_guard<std::mutex> g(cond_.Mutex());
        interval_ = interval;
        running_ = interval > 0;
        next_ = CurrentClock().Ticks() + interval;
        cond_.NotifyAll();
    }
    void Suspend() {
        std::lock_guard<std::mutex> g(cond_.Mutex());
        running_ = false;
        cond_.NotifyAll();
    }
    bool Running() {
        std::lock_guard<std::mutex> g(cond_.Mutex());
        return running_;
    }

protected:
    void Execute() override {
        std::unique_lock<std::mutex> lock(cond_.Mutex());
        while (!Terminated()) {
            if (!running_) {
                cond_.WaitFor(lock, INFINITE, [&] { return running_ || Terminated(); });
                continue;
            }
            const uint64_t due = next_;
            const uint64_t now = CurrentClock().Ticks();
            if (now < due) {
                // Woken early by a change (or the clock): look again.
                cond_.WaitUntil(lock, due, [&] { return !running_ || Terminated() || next_ != due; });
                continue;
            }
            next_ = due + interval_ > now ? due + interval_ : now + interval_;
            lock.unlock();
            owner_->WorkerStep();
            lock.lock();
        }
    }
    void TerminatedSet() override {
        std::lock_guard<std::mutex> g(cond_.Mutex());
        cond_.NotifyAll();
    }

private:
    TExTimer* owner_;
    TimedCondition cond_;
    bool running_ = false;
    uint32_t interval_ = 1000;
    uint64_t next_ = 0;
};

TExTimer::TExTimer(TComponent* owner) : TComponent(owner) {
    RegisterWindowClass();
    window_ = CreateWindowEx(0, kWindowClass, "", WS_POPUP, 0, 0, 0, 0, HWND_MESSAGE);
    SetWindowLongPtr(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    thread_ = std::make_unique<TTimerThread>(this);
    thread_->Start();
}

TExTimer::~TExTimer() {
    SetState(csDestroying);
    enabled_ = false;
    {
        std::lock_guard<std::mutex> g(handlerMutex_);
        onTimer_ = nullptr;
    }
    thread_.reset(); // stops and joins the worker
    if (window_) {
        KillTimer(window_, kTimerId);
        SetWindowLongPtr(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

void TExTimer::DefinePublished(TFiler& f) {
    TComponent::DefinePublished(f);
    f.Bool("Enabled", [this] { return Enabled(); }, [this](bool v) { SetEnabled(v); }, true);
    f.Integer("Interval", [this] { return interval_; }, [this](int64_t v) { SetInterval(uint32_t(v)); }, 1000);
    f.Bool("SyncEvent", [this] { return SyncEvent(); }, [this](bool v) { SetSyncEvent(v); }, true);
    f.Bool("Threaded", [this] { return threaded_; }, [this](bool v) { SetThreaded(v); }, true);
    f.Enum("ThreadPriority", {"tpIdle", "tpLowest", "tpLower", "tpNormal", "tpHigher", "tpHighest", "tpTimeCritical"},
           [this] { return int(priority_); }, [this](int v) { SetThreadPriority(TThreadPriority(v)); }, int(tpNormal));
}

bool TExTimer::HasOnTimer() const {
    std::lock_guard<std::mutex> g(handlerMutex_);
    return bool(onTimer_);
}

void TExTimer::SetEnabled(bool value) {
    if (enabled_ == value) return;
    enabled_ = value;
    UpdateTimer();
}

void TExTimer::SetInterval(uint32_t ms) {
    if (interval_ == ms) return;
    interval_ = ms;
    UpdateTimer();
}

void TExTimer::SetThreaded(bool value) {
    if (threaded_ == value) return;
    threaded_ = value;
    UpdateTimer();
}

void TExTimer::SetThreadPriority(TThreadPriority value) {
    if (priority_ == value) return;
    priority_ = value;
    thread_->SetPriority(value);
}

void TExTimer::SetOnTimer(TNotifyEvent handler) {
    bool changed;
    {
        std::lock_guard<std::mutex> g(handlerMutex_);
        changed = bool(onTimer_) != bool(handler);
        onTimer_ = std::move(handler);
    }
    if (changed) UpdateTimer();
}

void TExTimer::UpdateTimer() {
    const bool active = interval_ != 0 && enabled_ && HasOnTimer() && !HasState(csDestroying);
    KillTimer(window_, kTimerId);
    if (threaded_) {
        if (active) thread_->Resume(interval_);
        else thread_->Suspend();
        return;
    }
    thread_->Suspend();
    if (active && !SetTimer(window_, kTimerId, interval_)) throw EOutOfResources(SNoTimers);
}

bool TExTimer::WorkerRunning() const { return thread_->Running(); }

long TExTimer::WorkerThreadId() const { return thread_->NativeThreadId(); }

void TExTimer::Timer() {
    tickPosted_ = false;
    if (!enabled_ || HasState(csDestroying)) return;
    TNotifyEvent handler;
    {
        std::lock_guard<std::mutex> g(handlerMutex_);
        handler = onTimer_;
    }
    if (handler) handler(this);
}

void TExTimer::WorkerStep() {
    if (!enabled_) return;
    if (syncEvent_) {
        // One step waiting at a time, as with a window timer.
        if (!tickPosted_.exchange(true)) PostMessage(window_, kTickMessage, 0, 0);
        return;
    }
    try {
        Timer();
    } catch (const EAbort&) {
    } catch (...) {
        // Shown by the GUI thread, never from here.
        std::exception_ptr error = std::current_exception();
        Synchronize([error] {
            try {
                std::rethrow_exception(error);
            } catch (...) {
                HandleControlException();
            }
        });
    }
}

void TExTimer::Synchronize(std::function<void()> method) {
    if (!method) return;
    if (IsMainThread()) {
        method();
        return;
    }
    {
        std::lock_guard<std::mutex> g(queueMutex_);
        queue_.push_back(std::move(method));
    }
    PostMessage(window_, kQueueMessage, 0, 0);
}

void TExTimer::OnWindowMessage(UINT msg) {
    try {
        if (msg != kQueueMessage) {
            Timer();
            return;
        }
        for (;;) {
            std::function<void()> next;
            {
                std::lock_guard<std::mutex> g(queueMutex_);
                if (queue_.empty()) return;
                next = std::move(queue_.front());
                queue_.pop_front();
            }
            next();
        }
    } catch (...) {
        HandleControlException();
    }
}

} // namespace ax
