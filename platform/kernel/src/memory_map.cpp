// Reads and parses /proc/<pid>/maps into regions, and answers which
// region holds an address and whether a range is readable.
#include "platform/memory_map.h"

#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace ax {

RegionMap RegionMap::build(pid_t pid) {
    std::string path = pid == 0 ? "/proc/self/maps" : "/proc/" + std::to_string(pid) + "/maps";
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return parse(text.str());
}

RegionMap RegionMap::parse(const std::string& text) {
    RegionMap map;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        // start-end perms offset dev inode [path]
        std::istringstream fields(line);
        std::string range, perms, offset, dev, inode;
        if (!(fields >> range >> perms >> offset >> dev >> inode)) continue;
        auto dash = range.find('-');
        if (dash == std::string::npos || perms.size() < 3) continue;
        MemoryRegion r;
        try {
            r.start = std::stoull(range.substr(0, dash), nullptr, 16);
            r.end = std::stoull(range.substr(dash + 1), nullptr, 16);
            r.offset = std::stoull(offset, nullptr, 16);
        } catch (const std::exception&) {
            continue;
        }
        if (r.end <= r.start) continue;
        r.readable = perms[0] == 'r';
        r.writable = perms[1] == 'w';
        r.executable = perms[2] == 'x';
        std::getline(fields >> std::ws, r.path);
        map.regions_.push_back(std::move(r));
    }
    std::sort(map.regions_.begin(), map.regions_.end(),
              [](const MemoryRegion& a, const MemoryRegion& b) { return a.start < b.start; });
    return map;
}

const MemoryRegion* RegionMap::find(std::uintptr_t address) const {
    auto it = std::upper_bound(regions_.begin(), regions_.end(), address,
                               [](std::uintptr_t a, const MemoryRegion& r) { return a < r.start; });
    if (it == regions_.begin()) return nullptr;
    --it;
    return address < it->end ? &*it : nullptr;
}

bool RegionMap::isReadable(std::uintptr_t address, std::size_t size) const {
    if (size == 0) return true;
    if (address > UINTPTR_MAX - size) return false;
    std::uintptr_t end = address + size;
    while (address < end) {
        const MemoryRegion* r = find(address);
        if (r == nullptr || !r->readable) return false;
        address = r->end;
    }
    return true;
}

bool safeRead(std::uintptr_t address, void* buffer, std::size_t size, pid_t pid,
              const RegionMap* map) {
    if (size == 0) return true;
    if (address == 0 || buffer == nullptr) return false;
    if (map != nullptr && !map->isReadable(address, size)) return false;
    iovec local{buffer, size};
    iovec remote{reinterpret_cast<void*>(address), size};
    ssize_t n = ::process_vm_readv(pid == 0 ? ::getpid() : pid, &local, 1, &remote, 1, 0);
    return n >= 0 && static_cast<std::size_t>(n) == size;
}

} // namespace ax
