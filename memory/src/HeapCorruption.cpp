// Reporting a damaged heap: the installed handler, or one line and an abort.
#include "memory/HeapCorruption.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace ax::memory {

namespace {

constinit std::atomic<CorruptionHandler> g_handler{nullptr};
constinit std::atomic<bool> g_reporting{false};
constinit thread_local int t_locksHeld __attribute__((tls_model("initial-exec"))) = 0;

void WriteLine(const char* function, const void* block) {
    // Nothing here allocates: the heap is what is broken.
    char line[120] = "memory: heap corruption detected in ";
    std::strncat(line, function, 40);
    std::strcat(line, "() at 0x");
    char digits[17];
    auto a = reinterpret_cast<std::uintptr_t>(block);
    for (int i = 15; i >= 0; --i, a >>= 4)
        digits[i] = "0123456789abcdef"[a & 15];
    digits[16] = 0;
    std::strcat(line, digits);
    std::strcat(line, "\n");
    [[maybe_unused]] const auto written = write(2, line, std::strlen(line));
}

} // namespace

void SetCorruptionHandler(CorruptionHandler handler) noexcept {
    g_handler.store(handler, std::memory_order_release);
}

void ReportCorruption(const char* function, const void* block) noexcept {
    const CorruptionHandler handler = g_handler.load(std::memory_order_acquire);
    // Only the first report goes to the handler: one it runs into ends here.
    if (handler != nullptr && t_locksHeld == 0 && !g_reporting.exchange(true))
        handler(function, block);
    WriteLine(function, block);
    std::abort();
}

HeapLockNote::HeapLockNote() noexcept {
    ++t_locksHeld;
}

HeapLockNote::~HeapLockNote() {
    --t_locksHeld;
}

} // namespace ax::memory
