// Structural check of a heap: blocks tile every chunk exactly, previous-class
// bytes agree with the walk, chunks given back are not carved, every list is
// as long as its count and holds free blocks of its class, the main pool's
// runs cover its lists exactly, and no block is listed twice. When every pool
// is given, every free block must be on exactly one list.
//
// Allocates nothing from any heap (its scratch space is mapped and unmapped),
// so the heap it checks may be the one serving the process; the caller keeps
// the lists it names from changing meanwhile.
#pragma once

#include "memory/BlockHeap.h"

#include <cstddef>

namespace ax::memory {

struct HeapCheckScope {
    const TMemManager* owner;
    const TBlockManager* const* pools;
    std::size_t poolCount;
    // Every pool with free blocks is among pools.
    bool complete;
};

// True when the heap is sound; otherwise fault holds the first fault found
// (always terminated, cut to faultSize).
bool CheckHeap(const HeapCheckScope& scope, char* fault, std::size_t faultSize) noexcept;

} // namespace ax::memory
