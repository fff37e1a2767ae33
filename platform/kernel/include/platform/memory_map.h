#pragma once
// The address space of a process as the kernel reports it, and a read of
// memory that never faults: bytes come through process_vm_readv, which
// fails cleanly on memory that is not there or not readable.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ax {

struct MemoryRegion {
    std::uintptr_t start = 0;
    std::uintptr_t end = 0; // exclusive
    bool readable = false;
    bool writable = false;
    bool executable = false;
    std::uint64_t offset = 0;
    std::string path;
};

class RegionMap {
public:
    // Reads /proc/<pid>/maps; pid 0 means this process.
    static RegionMap build(pid_t pid = 0);
    // Parses the text of a maps file (lines in ascending order).
    static RegionMap parse(const std::string& text);

    const std::vector<MemoryRegion>& regions() const { return regions_; }
    const MemoryRegion* find(std::uintptr_t address) const;
    // True when every byte of [address, address + size) lies in readable regions.
    bool isReadable(std::uintptr_t address, std::size_t size) const;

private:
    std::vector<MemoryRegion> regions_;
};

// Copies size bytes from address in process pid (0 = this process) into
// buffer. True only when all bytes were read; never faults. With a region
// map, the range is checked against it first.
bool safeRead(std::uintptr_t address, void* buffer, std::size_t size, pid_t pid = 0,
              const RegionMap* map = nullptr);

} // namespace ax
