#include "rest_timer.h"

#include <mutex>

namespace ax::wm {

RestTimer::RestTimer(uint32_t delayMs, std::function<void(uint64_t)> onRest)
    : delayMs_(delayMs), onRest_(std::move(onRest)), thread_([this] { Run(); }) {}

RestTimer::~RestTimer() {
    {
        std::lock_guard<std::mutex> g(condition_.Mutex());
        stopping_ = true;
    }
    condition_.NotifyAll();
    thread_.join();
}

uint64_t RestTimer::Arm() {
    uint64_t arming = 0;
    {
        std::lock_guard<std::mutex> g(condition_.Mutex());
        arming = ++arming_;
        deadline_ = CurrentClock().Ticks() + delayMs_;
    }
    condition_.NotifyAll();
    return arming;
}

void RestTimer::Cancel() {
    {
        std::lock_guard<std::mutex> g(condition_.Mutex());
        ++arming_;
        deadline_ = 0;
    }
    condition_.NotifyAll();
}

void RestTimer::Run() {
    std::unique_lock<std::mutex> lock(condition_.Mutex());
    for (;;) {
        condition_.WaitFor(lock, INFINITE, [&] { return stopping_ || deadline_ != 0; });
        if (stopping_) return;
        const uint64_t arming = arming_;
        const uint64_t deadline = deadline_;
        // Wakes early for a new arming, a cancel or the end.
        if (condition_.WaitUntil(lock, deadline, [&] { return stopping_ || arming_ != arming; })) continue;
        deadline_ = 0;
        lock.unlock();
        onRest_(arming);
        lock.lock();
    }
}

} // namespace ax::wm
