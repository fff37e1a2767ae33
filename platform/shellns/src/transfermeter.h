#pragma once
// Counts a transfer's finished items and shows the count through the
// progress service once the transfer has run long enough to be noticed.
#include <cstddef>
#include <cstdint>
#include <string>

namespace ax::shellns {

class TransferMeter {
public:
    TransferMeter(uintptr_t owner, std::string text, size_t count);
    ~TransferMeter();
    TransferMeter(const TransferMeter&) = delete;
    TransferMeter& operator=(const TransferMeter&) = delete;

    void ItemDone();

private:
    uintptr_t owner_;
    std::string text_;
    size_t count_;
    size_t done_ = 0;
    uint64_t start_;
    uint64_t shown_ = 0; // when the count was last shown
    bool open_ = false;
};

} // namespace ax::shellns
