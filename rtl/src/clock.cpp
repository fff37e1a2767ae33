// The system clock and the manual clock (advancing it wakes every timed
// condition's waiters), and the calendar arithmetic of TDateTime.
#include "rtl/clock.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <set>
#include <thread>

namespace ax {
namespace {

SystemClock& TheSystemClock() {
    static SystemClock clock;
    return clock;
}

std::atomic<Clock*> g_clock{nullptr};

// Registry of conditions, so that a manual clock can wake their waiters.
std::mutex& RegistryMutex() {
    static std::mutex m;
    return m;
}
std::set<TimedCondition*>& Registry() {
    static std::set<TimedCondition*> r;
    return r;
}

constexpr double kUnixEpoch = 25569.0; // 1970-01-01 as TDateTime
constexpr double kMsPerDay = 86400000.0;

int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

} // namespace

Clock& CurrentClock() {
    Clock* c = g_clock.load(std::memory_order_acquire);
    return c ? *c : TheSystemClock();
}

void SetClock(Clock* clock) { g_clock.store(clock, std::memory_order_release); }

uint64_t SystemClock::Ticks() {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

TDateTime SystemClock::Now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    return UnixToDateTime(ts.tv_sec + local.tm_gmtoff) + (ts.tv_nsec / 1e6) / kMsPerDay;
}

void SystemClock::Sleep(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void SystemClock::Wait(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                       uint64_t deadline) {
    const uint64_t now = Ticks();
    if (deadline > now) cv.wait_for(lock, std::chrono::milliseconds(deadline - now));
}

ManualClock::ManualClock(uint64_t startTicks, TDateTime startNow)
    : ticks_(startTicks), nowAtStart_(startNow), ticksAtNow_(startTicks) {}

TDateTime ManualClock::Now() {
    std::lock_guard<std::mutex> g(nowMutex_);
    return nowAtStart_ + static_cast<double>(ticks_.load() - ticksAtNow_) / kMsPerDay;
}

void ManualClock::SetNow(TDateTime now) {
    std::lock_guard<std::mutex> g(nowMutex_);
    nowAtStart_ = now;
    ticksAtNow_ = ticks_.load();
}

void ManualClock::Advance(uint64_t milliseconds) {
    ticks_.fetch_add(milliseconds);
    std::lock_guard<std::mutex> g(RegistryMutex());
    for (TimedCondition* c : Registry()) c->Poke();
}

void ManualClock::Wait(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                       uint64_t) {
    cv.wait(lock);
}

TimedCondition::TimedCondition() {
    std::lock_guard<std::mutex> g(RegistryMutex());
    Registry().insert(this);
}

TimedCondition::~TimedCondition() {
    std::lock_guard<std::mutex> g(RegistryMutex());
    Registry().erase(this);
}

void TimedCondition::Poke() {
    { std::lock_guard<std::mutex> g(mutex_); }
    cv_.notify_all();
}

TDateTime EncodeDate(int year, int month, int day) {
    return static_cast<double>(DaysFromCivil(year, month, day) + static_cast<int64_t>(kUnixEpoch));
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
    return ((hour * 60.0 + minute) * 60.0 * 1000.0 + second * 1000.0 + millisecond) / kMsPerDay;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
    const auto days = static_cast<int64_t>(std::floor(value + 0.5 / kMsPerDay));
    CivilFromDays(days - static_cast<int64_t>(kUnixEpoch), year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond) {
    double frac = value - std::floor(value);
    auto ms = static_cast<int64_t>(std::llround(frac * kMsPerDay));
    if (ms >= static_cast<int64_t>(kMsPerDay)) ms = static_cast<int64_t>(kMsPerDay) - 1;
    millisecond = static_cast<int>(ms % 1000);
    ms /= 1000;
    second = static_cast<int>(ms % 60);
    ms /= 60;
    minute = static_cast<int>(ms % 60);
    hour = static_cast<int>(ms / 60);
}

TDateTime UnixToDateTime(int64_t seconds) { return kUnixEpoch + static_cast<double>(seconds) / 86400.0; }

int64_t DateTimeToUnix(TDateTime value) {
    return static_cast<int64_t>(std::llround((value - kUnixEpoch) * 86400.0));
}

} // namespace ax
