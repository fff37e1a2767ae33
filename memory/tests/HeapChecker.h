// The heap checker with test-friendly answers: empty when the heap is sound,
// else the first fault found.
#pragma once

#include "memory/HeapChecker.h"
#include "memory/ThreadHeaps.h"

#include <string>
#include <vector>

namespace ax::memory::testing {

// The owner and the given pools are every pool there is.
std::string CheckHeap(const TMemManager& owner,
                      const std::vector<const TBlockManager*>& pools = {});

// The main pool and every pool of its table.
std::string CheckHeap(const TMainMemManager& main);

} // namespace ax::memory::testing
