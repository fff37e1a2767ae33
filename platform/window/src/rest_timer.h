#pragma once
// Tells when the pointer has rested: armed again on every movement, it
// calls its callback (on a thread of its own) once the delay has passed on
// the system's clock without a new arming or a cancel. The callback gets
// the arming's number, so that the owner can tell a stale one.
#include "rtl/clock.h"

#include <cstdint>
#include <functional>
#include <thread>

namespace ax::wm {

class RestTimer {
public:
    RestTimer(uint32_t delayMs, std::function<void(uint64_t arming)> onRest);
    ~RestTimer(); // waits for a callback under way
    RestTimer(const RestTimer&) = delete;
    RestTimer& operator=(const RestTimer&) = delete;

    // Starts the delay again; returns the arming's number.
    uint64_t Arm();
    void Cancel();

private:
    void Run();

    const uint32_t delayMs_;
    std::function<void(uint64_t)> onRest_;
    TimedCondition condition_;
    uint64_t arming_ = 0;   // under the condition's mutex
    uint64_t deadline_ = 0; // 0: not armed
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace ax::wm
