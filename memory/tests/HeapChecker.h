// Structural invariants of a heap: blocks tile every chunk exactly, the
// previous-class bytes agree with the walk, every free list is as long as its
// count and holds free blocks of its class, and every free block is on exactly
// one list of one pool.
#pragma once

#include "memory/ThreadHeaps.h"

#include <string>
#include <vector>

namespace ax::memory::testing {

// Empty when everything holds, else the first fault found.
std::string CheckHeap(const TMemManager& owner,
                      const std::vector<const TBlockManager*>& pools = {});

// The main pool and every pool of its table.
std::string CheckHeap(const TMainMemManager& main);

} // namespace ax::memory::testing
