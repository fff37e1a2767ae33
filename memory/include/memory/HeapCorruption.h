// What happens when the heap finds itself damaged: a block header that no
// longer agrees with itself on release (a write past the end of the block
// before it, a second release, a pointer into a block) or a free list that
// leads somewhere no free block of its class can be. The damaged block is
// never listed or handed out; the process ends.
#pragma once

namespace ax::memory {

// Told the entry point that found the damage ("free", "realloc",
// "operator delete", "malloc") and the block's address. Installed by a
// reporter that makes a report of it; it should not return.
using CorruptionHandler = void (*)(const char* function, const void* block);

void SetCorruptionHandler(CorruptionHandler handler) noexcept;

// Hands the damage to the handler, or, with none installed, while a heap lock
// is held on this thread (the handler may allocate) or when the handler
// itself ran into damage, writes one line on standard error; then aborts.
[[noreturn]] void ReportCorruption(const char* function, const void* block) noexcept;

// Marks a heap lock held by this thread for as long as it lives.
class HeapLockNote {
public:
    HeapLockNote() noexcept;
    ~HeapLockNote();
    HeapLockNote(const HeapLockNote&) = delete;
    HeapLockNote& operator=(const HeapLockNote&) = delete;
};

} // namespace ax::memory
