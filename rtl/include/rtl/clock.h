#pragma once
// The one clock of the system. Every timed behaviour (time-outs, timers,
// debounces, countdowns, sleeps) reads it, so that tests install a manual
// clock and move time forward instead of waiting for it.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace ax {

// Days since 1899-12-30, the fraction being the time of day.
using TDateTime = double;

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic milliseconds since an arbitrary start.
    virtual uint64_t Ticks() = 0;
    // Local wall time.
    virtual TDateTime Now() = 0;
    virtual void Sleep(uint32_t milliseconds) = 0;

protected:
    friend class TimedCondition;
    // Blocks on cv until notified or, for a real clock, until the deadline
    // in ticks passes. Callers re-check their condition and the time.
    virtual void Wait(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                      uint64_t deadline) = 0;
};

Clock& CurrentClock();
// Installs a clock for the whole process (tests); nullptr restores the system
// clock. The caller keeps the clock alive while it is installed.
void SetClock(Clock* clock);

class SystemClock final : public Clock {
public:
    uint64_t Ticks() override;
    TDateTime Now() override;
    void Sleep(uint32_t milliseconds) override;

protected:
    void Wait(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
              uint64_t deadline) override;
};

// Time that moves only when told. Sleep advances it by itself, so single
// threaded code that sleeps runs at once; waits with a time-out end when
// another thread advances the clock past their deadline.
class ManualClock final : public Clock {
public:
    explicit ManualClock(uint64_t startTicks = 1000, TDateTime startNow = 45000.0);
    uint64_t Ticks() override { return ticks_.load(); }
    TDateTime Now() override;
    void Sleep(uint32_t milliseconds) override { Advance(milliseconds); }
    void Advance(uint64_t milliseconds);
    void SetNow(TDateTime now);

protected:
    void Wait(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
              uint64_t deadline) override;

private:
    std::atomic<uint64_t> ticks_;
    std::mutex nowMutex_;
    TDateTime nowAtStart_;
    uint64_t ticksAtNow_;
};

// A mutex and condition variable whose timed waits follow the installed
// clock. Every instance is known to the clock so that advancing a manual
// clock wakes the waiters whose deadline has come.
class TimedCondition {
public:
    TimedCondition();
    ~TimedCondition();
    TimedCondition(const TimedCondition&) = delete;
    TimedCondition& operator=(const TimedCondition&) = delete;

    std::mutex& Mutex() { return mutex_; }
    void NotifyAll() { cv_.notify_all(); }
    void NotifyOne() { cv_.notify_one(); }

    // Waits with the lock held on entry until pred() holds or timeoutMs has
    // passed on the clock; returns pred(). A time-out of UINT32_MAX is
    // infinite.
    template <typename Pred>
    bool WaitFor(std::unique_lock<std::mutex>& lock, uint32_t timeoutMs, Pred pred) {
        if (timeoutMs == UINT32_MAX) {
            while (!pred()) cv_.wait(lock);
            return true;
        }
        return WaitUntil(lock, CurrentClock().Ticks() + timeoutMs, pred);
    }

    // The same up to a deadline in clock ticks. Callers that worked out a
    // deadline use this rather than turning it into a time-out: the clock
    // may move between their reading and the wait, which would push the
    // end of the wait past the deadline.
    template <typename Pred>
    bool WaitUntil(std::unique_lock<std::mutex>& lock, uint64_t deadline, Pred pred) {
        Clock& clock = CurrentClock();
        while (!pred()) {
            if (clock.Ticks() >= deadline) return false;
            clock.Wait(cv_, lock, deadline);
        }
        return true;
    }

    // Called by a manual clock after it moved: takes and drops the mutex so
    // that a waiter between its time check and its wait cannot miss this.
    void Poke();

private:
    std::mutex mutex_;
    std::condition_variable cv_;
};

inline constexpr uint32_t INFINITE = UINT32_MAX;

// Conversions of TDateTime.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond);
TDateTime UnixToDateTime(int64_t seconds);
int64_t DateTimeToUnix(TDateTime value);

} // namespace ax
