#pragma once
// Waiting in tests for another thread: with a bound, so that a broken wait
// fails with a message instead of hanging until CTest's time-out.
#include <chrono>
#include <thread>

namespace ax::test {

// Waits, yielding, until done() holds. The bound only ends a broken wait
// (false after `seconds`); a passing test never comes near it.
template <class Pred> bool WaitUntil(Pred done, int seconds = 30) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

} // namespace ax::test
