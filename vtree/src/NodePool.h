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
    size_t BlockSize() const { return blockSize_; }
    // Only while no block is live.
    void SetBlockSize(size_t blockSize);
    size_t Live() const { return live_; }
    // Bytes held in chunks (for measurements).
    size_t ReservedBytes() const { return chunks_.size() * chunkBytes_; }

    // Makes room now for count blocks in fresh zero-filled chunks, so that
    // giving them later touches no new memory. The room is kept until
    // given, also when the last live block goes, or until Trim.
    void Reserve(size_t count);
    // Frees the chunks made by Reserve that no block was given from yet.
    void Trim();
    // Blocks in reserved chunks no block was given from yet.
    size_t Room() const;

private:
    struct FreeBlock {
        FreeBlock* next;
    };
    size_t ChunkBytes() const;
    void NextChunk();
    void ReleaseUsedChunks();
    size_t blockSize_;
    size_t chunkBytes_ = 0;
    // Chunks [0, used_) have given blocks, the last of them bump_'s; the
    // rest are reserved, zero-filled and untouched.
    std::vector<std::unique_ptr<std::byte[]>> chunks_;
    size_t used_ = 0;
    FreeBlock* free_ = nullptr;
    std::byte* bump_ = nullptr;
    size_t bumpLeft_ = 0;
    // bump_'s chunk was zero-filled when made.
    bool bumpZeroed_ = false;
    size_t live_ = 0;
};

} // namespace ax
