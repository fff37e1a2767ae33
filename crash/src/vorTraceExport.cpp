// Serves and makes cross-process trace requests: the worker writes the
// report into the requester's mapping (or onto the clipboard) and sets its
// completion word; the requester signals and waits within its bound.
#include "crash/vorTraceExport.h"

#include "crash/vorBugReport.h"
#include "crash/vorExcept.h"
#include "crash/vorSettings.h"
#include "crash/vorThreadList.h"
#include "platform/named_mapping.h"
#include "platform/thread_hooks.h"
#include "platform/window/window.h"

#include <linux/futex.h>
#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace ax {
namespace {

constexpr char kMapName[] = "vorTraceProcessMap";
constexpr char kGlobalMapName[] = "Global\\vorTraceProcessMap";
constexpr char kDoneName[] = "vorTraceProcessDone";

std::string DoneName(pid_t requester) {
    return kDoneName + DollarHex(static_cast<std::uint64_t>(requester));
}

void SetDone(pid_t requester) {
    NamedMapping done = NamedMapping::Open(DoneName(requester));
    if (!done.Valid() || done.Size() < sizeof(std::uint32_t)) return;
    auto* word = static_cast<std::atomic<std::uint32_t>*>(done.Data());
    word->store(1);
    ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(word), FUTEX_WAKE, 1 << 30, nullptr, nullptr, 0);
}

} // namespace

std::string ComposeProcessTrace() {
    TBugReportInput in;
    in.Frozen = true;
    in.ThreadId = CurrentThreadId();
    return GetBugReport(in);
}

void DeliverProcessTrace(const std::string& report, std::int32_t size) {
    if (report.empty()) return;
    if (size >= 1) {
        NamedMapping target = NamedMapping::Open(kGlobalMapName);
        if (!target.Valid()) target = NamedMapping::Open(kMapName);
        if (!target.Valid()) return; // nobody asked
        // The size asked for, but never past the mapping's end.
        const std::size_t room = std::min<std::size_t>(static_cast<std::size_t>(size), target.Size());
        const std::size_t n = std::min(report.size(), room - 1);
        std::memcpy(target.Data(), report.data(), n);
        static_cast<char*>(target.Data())[n] = 0;
        return;
    }
    HWND owner = nullptr;
    if (OpenClipboard(owner)) {
        EmptyClipboard();
        std::vector<std::uint8_t> data(report.begin(), report.end());
        data.push_back(0);
        SetClipboardData(CF_TEXT, std::move(data));
        CloseClipboard();
    }
}

int TraceRequestSignal() {
    return SIGRTMIN + 4;
}

namespace detail {
// Runs a trace request on the reporter's worker.
void ServeTraceRequest(std::int32_t size, pid_t requester) {
    DeliverProcessTrace(ComposeProcessTrace(), size);
    if (requester > 0) SetDone(requester);
}
} // namespace detail

bool RequestProcessTrace(pid_t pid, std::int32_t capacity, int timeoutMs, std::string& text) {
    text.clear();
    if (capacity < 1) return false;
    NamedMapping::Open(kMapName).RemoveName(); // a stale one of an earlier requester
    NamedMapping map = NamedMapping::Create(kMapName, static_cast<std::size_t>(capacity));
    NamedMapping::Open(DoneName(::getpid())).RemoveName();
    NamedMapping done = NamedMapping::Create(DoneName(::getpid()), sizeof(std::uint32_t));
    if (!map.Valid() || !done.Valid()) return false;
    sigval value{};
    value.sival_int = capacity;
    if (::sigqueue(pid, TraceRequestSignal(), value) != 0) return false;
    auto* word = static_cast<std::atomic<std::uint32_t>*>(done.Data());
    timespec start{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    while (word->load() == 0) {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const long elapsed = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        if (elapsed >= timeoutMs) return false;
        const long left = timeoutMs - elapsed;
        timespec wait{static_cast<time_t>(left / 1000), (left % 1000) * 1000000L};
        ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(word), FUTEX_WAIT, 0, &wait, nullptr, 0);
    }
    const char* data = static_cast<const char*>(map.Data());
    text.assign(data, strnlen(data, map.Size()));
    return true;
}

} // namespace ax

extern "C" __attribute__((visibility("default"), used)) std::int32_t vorTraceProcess(std::int32_t size) {
    using namespace ax;
    const pid_t self = CurrentThreadId();
    RegisterThread(self, "-"); // the caller is left out of its own report
    DeliverProcessTrace(ComposeProcessTrace(), size);
    UnregisterThread(self);
    return 0;
}
