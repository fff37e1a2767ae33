#pragma once
// Fixed-size node blocks carved from large chunks, so that a node costs its
// record and data area and nothing more. Released blocks are reused; the
// chunks go when the last block does (or with the pool).
#include <cstddef>
#include <memory>
#include <vector>

namespace ax {

class TNodePool {
public:
    explicit TNodePool(size_t blockSize);
    TNodePool(const TNodePool&) = delete;
    TNodePool& operator=(const TNodePool&) = delete;

    // A zero-filled block.
    void* Allocate();
    void Release(void* block);
    // Makes room for count more blocks in chunks made and touched now; they
    // are handed out before any chunk is made again.
    void Reserve(size_t count);
    size_t BlockSize() const { return blockSize_; }
    // Only while no block is live.
    void SetBlockSize(size_t blockSize);
    size_t Live() const { return live_; }
    // Bytes held in chunks (for measurements).
    size_t ReservedBytes() const { return (chunks_.size() + spare_.size()) * chunkBytes_; }

private:
    struct FreeBlock {
        FreeBlock* next;
    };
    void ReleaseChunks();
    size_t blockSize_;
    size_t chunkBytes_ = 0;
    std::vector<std::unique_ptr<std::byte[]>> chunks_;
    // Made ahead by Reserve, not yet handed out from.
    std::vector<std::unique_ptr<std::byte[]>> spare_;
    FreeBlock* free_ = nullptr;
    std::byte* bump_ = nullptr;
    size_t bumpLeft_ = 0;
    size_t live_ = 0;
};

} // namespace ax
