// The process heap: linking the `memory` library (or preloading
// libaxmalloc.so) makes the whole malloc family, and so C++ new, allocate
// from one TMainMemManager with per-thread pools.
#pragma once

#include "memory/ThreadHeaps.h"

namespace ax::memory {

// The manager behind malloc in this process.
TMainMemManager& ProcessHeap();

// True when p is a block in use handed out by the process heap.
bool ProcessHeapOwns(const void* p);

} // namespace ax::memory
