#pragma once
// Runs a clean-up step when the scope ends, however it ends.
#include <utility>

namespace ax {

template <class F> class TScopeGuard {
public:
    explicit TScopeGuard(F f) : f_(std::move(f)) {}
    ~TScopeGuard() {
        if (active_) f_();
    }
    TScopeGuard(const TScopeGuard&) = delete;
    TScopeGuard& operator=(const TScopeGuard&) = delete;
    void Dismiss() { active_ = false; }

private:
    F f_;
    bool active_ = true;
};

} // namespace ax
