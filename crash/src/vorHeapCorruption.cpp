// Handing the memory manager's heap damage to the reporter as a fault.
#include "crash/vorHeapCorruption.h"

#include "crash/vorExcept.h"
#include "crash/vorRestart.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>

// Defined by the memory manager when it is the program's heap, linked in or
// preloaded.
extern "C" void axmalloc_set_corruption_handler(void (*handler)(const char*, const void*))
    __attribute__((weak));

namespace ax {

namespace {

void OnHeapCorruption(const char* function, const void* block) {
    char text[160];
    std::snprintf(text, sizeof text, "Heap corruption detected in %s() at address %08" PRIxPTR,
                  function, reinterpret_cast<std::uintptr_t>(block));
    // The damaged block is never used again; composing the report allocates
    // from the rest of the heap.
    const TExceptionObject object{"EHeapCorruption", text};
    const auto frame = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    HandleException(false, &object, reinterpret_cast<std::uintptr_t>(__builtin_return_address(0)),
                    nullptr, frame, frame, false);
    CloseApplication();
}

} // namespace

void InstallHeapCorruptionReport() {
    if (axmalloc_set_corruption_handler != nullptr) axmalloc_set_corruption_handler(OnHeapCorruption);
}

void UninstallHeapCorruptionReport() {
    if (axmalloc_set_corruption_handler != nullptr) axmalloc_set_corruption_handler(nullptr);
}

} // namespace ax
