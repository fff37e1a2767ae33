#pragma once
// Heap corruption the memory manager finds (a damaged block header, a
// second release, a spoilt free list) reported as a fault. The manager
// depends on nothing, so it calls a handler the reporter installs through
// the heap's exported entry; a program whose heap is not ours has none, and
// then nothing is installed.
namespace ax {

void InstallHeapCorruptionReport();
void UninstallHeapCorruptionReport();

} // namespace ax
