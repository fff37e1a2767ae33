#include "controls/VirtualMethods.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/memory_map.h"
#include "rtl/exceptions.h"
#include "rtl/text.h"

namespace ax {

namespace {

bool IsCode(const RegionMap& map, const void* address) {
    const MemoryRegion* region = map.find(reinterpret_cast<std::uintptr_t>(address));
    return region && region->executable;
}

int CountEntries(const RegionMap& map, TVirtualTable table) {
    int count = 0;
    for (;;) {
        const void* entry = nullptr;
        if (!safeRead(reinterpret_cast<std::uintptr_t>(table + count), &entry, sizeof entry, 0, &map)) break;
        if (!IsCode(map, entry)) break;
        ++count;
    }
    return count;
}

int Protection(const MemoryRegion& region) {
    return (region.readable ? PROT_READ : 0) | (region.writable ? PROT_WRITE : 0) |
           (region.executable ? PROT_EXEC : 0);
}

// Two writers on one page must not restore its protection under each other.
std::mutex& WriteLock() {
    static std::mutex lock;
    return lock;
}

} // namespace

int VirtualMethodCount(TVirtualTable table) { return CountEntries(RegionMap::build(), table); }

int FindVirtualMethodIndex(TVirtualTable table, const void* routine) {
    const RegionMap map = RegionMap::build();
    const int count = CountEntries(map, table);
    for (int i = 0; i < count; ++i)
        if (table[i] == routine) return i + 1;
    return 0;
}

const void* SetVirtualMethodAddress(TVirtualTable table, int index, const void* routine) {
    std::lock_guard guard(WriteLock());
    const RegionMap map = RegionMap::build();
    const int count = CountEntries(map, table);
    Assert(index >= 1 && index <= count, [&] {
        return Format("Virtual method index %d outside the table of %d entries", index, count);
    });
    void** entry = const_cast<void**>(table + index - 1);
    const MemoryRegion* region = map.find(reinterpret_cast<std::uintptr_t>(entry));
    Assert(region != nullptr, "Virtual method table outside the address space");
    const std::uintptr_t pageSize = std::uintptr_t(sysconf(_SC_PAGESIZE));
    void* page = reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(entry) & ~(pageSize - 1));
    const int old = Protection(*region);
    if (mprotect(page, pageSize, old | PROT_READ | PROT_WRITE) != 0)
        throw EInvalidOperation(Format("Cannot make the virtual method table writable (%s)", std::strerror(errno)));
    // Other threads may call through the entry meanwhile: one aligned store.
    const void* previous = std::atomic_ref<void*>(*entry).exchange(const_cast<void*>(routine));
    mprotect(page, pageSize, old);
    return previous;
}

} // namespace ax
