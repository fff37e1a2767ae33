// The node pool: zeroed blocks handed out from chunks sized a little under a
// power of two, released blocks reused first, and all chunks freed once the
// last block is back, except those reserved ahead and not used yet.
#include "NodePool.h"

#include <algorithm>
#include <cstring>

#include "rtl/exceptions.h"

namespace ax {
namespace {

// A little under a power of two, so that an allocator that rounds requests
// up to powers of two (ours does, with its block header) does not double it.
constexpr size_t kChunkBytes = 256 * 1024 - 256;

size_t RoundBlock(size_t size) { return std::max<size_t>((size + 7) & ~size_t(7), sizeof(void*)); }

} // namespace

TNodePool::TNodePool(size_t blockSize) : blockSize_(RoundBlock(blockSize)) {}

size_t TNodePool::ChunkBytes() const { return std::max(kChunkBytes, blockSize_ * 16); }

void TNodePool::NextChunk() {
    chunkBytes_ = ChunkBytes();
    // A chunk made on demand is zeroed block by block as given: a few
    // blocks need not touch the whole chunk.
    bumpZeroed_ = used_ < chunks_.size();
    if (!bumpZeroed_) chunks_.emplace_back(new std::byte[chunkBytes_]);
    bump_ = chunks_[used_++].get();
    bumpLeft_ = chunkBytes_;
}

void* TNodePool::Allocate() {
    void* block;
    bool zeroed = false;
    if (free_) {
        block = free_;
        free_ = free_->next;
    } else {
        if (bumpLeft_ < blockSize_) NextChunk();
        block = bump_;
        zeroed = bumpZeroed_;
        bump_ += blockSize_;
        bumpLeft_ -= blockSize_;
    }
    if (!zeroed) std::memset(block, 0, blockSize_);
    ++live_;
    return block;
}

void TNodePool::Release(void* block) {
    Assert(live_ > 0, "Node pool released more blocks than it gave");
    auto* f = static_cast<FreeBlock*>(block);
    f->next = free_;
    free_ = f;
    if (--live_ == 0) ReleaseUsedChunks();
}

size_t TNodePool::Room() const { return (chunks_.size() - used_) * (ChunkBytes() / blockSize_); }

void TNodePool::Reserve(size_t count) {
    const size_t perChunk = ChunkBytes() / blockSize_;
    chunkBytes_ = ChunkBytes();
    for (size_t room = Room(); room < count; room += perChunk) {
        // Value-initialised: the pages are touched here, not when given.
        chunks_.emplace_back(new std::byte[chunkBytes_]());
    }
}

void TNodePool::Trim() { chunks_.resize(used_); }

void TNodePool::SetBlockSize(size_t blockSize) {
    Assert(live_ == 0, "Node pool block size changed while blocks are live");
    ReleaseUsedChunks();
    Trim();
    blockSize_ = RoundBlock(blockSize);
}

void TNodePool::ReleaseUsedChunks() {
    chunks_.erase(chunks_.begin(), chunks_.begin() + std::ptrdiff_t(used_));
    used_ = 0;
    free_ = nullptr;
    bump_ = nullptr;
    bumpLeft_ = 0;
}

} // namespace ax
