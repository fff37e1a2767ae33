#include "FakePages.h"

#include <algorithm>
#include <stdexcept>
#include <sys/mman.h>

namespace ax::memory::testing {

namespace {
constexpr std::size_t kBaseAlign = std::size_t{1} << 24;
}

FakePages::FakePages(std::size_t reserve) : reserve_(reserve) {
    regionSize_ = reserve + kBaseAlign;
    region_ = mmap(nullptr, regionSize_, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (region_ == MAP_FAILED) throw std::runtime_error("cannot reserve test pages");
    base_ = (reinterpret_cast<std::uintptr_t>(region_) + kBaseAlign - 1) & ~(kBaseAlign - 1);
}

FakePages::~FakePages() {
    munmap(region_, regionSize_);
}

void* FakePages::Map(std::size_t size, std::size_t align) noexcept {
    if (failAfter_ == 0) return nullptr;
    if (failAfter_ > 0) --failAfter_;
    std::size_t offset;
    if (!placed_.empty()) {
        offset = placed_.front();
        placed_.pop_front();
    } else {
        offset = (cursor_ + align - 1) & ~(align - 1);
    }
    if (offset + size > reserve_) return nullptr;
    cursor_ = std::max(cursor_, offset + size);
    ++maps_;
    mapped_ += size;
    return reinterpret_cast<void*>(base_ + offset);
}

void FakePages::Unmap(void* p, std::size_t size) noexcept {
    ++unmaps_;
    unmapped_ += size;
    // Give the pages back so that a long test does not keep them resident.
    madvise(p, size, MADV_DONTNEED);
}

void FakePages::Release(void* p, std::size_t size) noexcept {
    released_ += size;
    madvise(p, size, MADV_DONTNEED);
}

} // namespace ax::memory::testing
