#pragma once
// Clean-up that runs when a scope is left, by return or by exception, unless
// it was dismissed first:
//
//     const int fd = open(...);
//     ScopeGuard closeFd([&] { close(fd); });
//     ...                         // any throw closes fd
//     closeFd.Dismiss();          // success: the caller keeps fd
//
// The clean-up must not throw: it may run while an exception is in flight.
#include <type_traits>
#include <utility>

namespace ax {

template <typename F> class ScopeGuard {
    static_assert(std::is_invocable_v<F&>, "a scope guard needs a callable clean-up");

public:
    explicit ScopeGuard(F cleanup) noexcept(std::is_nothrow_move_constructible_v<F>)
        : cleanup_(std::move(cleanup)) {}
    ~ScopeGuard() {
        if (active_) cleanup_();
    }
    ScopeGuard(const ScopeGuard&) = delete;
    ScopeGuard& operator=(const ScopeGuard&) = delete;
    ScopeGuard(ScopeGuard&&) = delete;
    ScopeGuard& operator=(ScopeGuard&&) = delete;

    // The clean-up will not run.
    void Dismiss() noexcept { active_ = false; }
    bool Active() const noexcept { return active_; }

private:
    F cleanup_;
    bool active_ = true;
};

template <typename F> ScopeGuard(F) -> ScopeGuard<F>;

} // namespace ax
