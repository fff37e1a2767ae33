// Deterministic chunk memory for manager instances: one big reservation, with
// the offset of every mapping chosen by the test, and failure injection.
#pragma once

#include "memory/BlockHeap.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace ax::memory::testing {

class FakePages final : public PageSource {
public:
    // The reservation starts on a 16 MB boundary.
    explicit FakePages(std::size_t reserve = std::size_t{1} << 30);
    ~FakePages();
    FakePages(const FakePages&) = delete;
    FakePages& operator=(const FakePages&) = delete;

    void* Map(std::size_t size, std::size_t align) noexcept override;
    void Unmap(void* p, std::size_t size) noexcept override;
    void Release(void* p, std::size_t size) noexcept override;
    std::size_t Resident(const void* p, std::size_t size) noexcept override {
        return CountResident(p, size);
    }
    void Populate(void* p, std::size_t size) noexcept override {
        populated_.emplace_back(reinterpret_cast<std::uintptr_t>(p), size);
    }
    // (address, bytes) of every Populate, in order.
    const std::vector<std::pair<std::uintptr_t, std::size_t>>& Populated() const { return populated_; }

    // The next mapping goes at base + offset, whatever alignment it asks for.
    void PlaceNextAt(std::size_t offset) { placed_.push_back(offset); }
    // Mappings after the next n fail.
    void FailAfter(int n) { failAfter_ = n; }
    std::uintptr_t Base() const { return base_; }
    int Maps() const { return maps_; }
    int Unmaps() const { return unmaps_; }
    std::size_t MappedBytes() const { return mapped_; }
    std::size_t UnmappedBytes() const { return unmapped_; }
    std::size_t ReleasedBytes() const { return released_; }

private:
    void* region_ = nullptr;
    std::size_t regionSize_ = 0;
    std::uintptr_t base_ = 0;
    std::size_t reserve_ = 0;
    std::size_t cursor_ = 0;
    std::deque<std::size_t> placed_;
    int failAfter_ = -1;
    int maps_ = 0;
    int unmaps_ = 0;
    std::size_t mapped_ = 0;
    std::size_t unmapped_ = 0;
    std::size_t released_ = 0;
    std::vector<std::pair<std::uintptr_t, std::size_t>> populated_;
};

} // namespace ax::memory::testing
