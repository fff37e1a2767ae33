// The node pool: zeroed blocks handed out from chunks sized a little under a
// power of two, released blocks reused first, and all chunks freed once the
// last block is back.
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

void* TNodePool::Allocate() {
    void* block;
    if (free_) {
        block = free_;
        free_ = free_->next;
    } else {
        if (bumpLeft_ < blockSize_) {
            chunkBytes_ = std::max(kChunkBytes, blockSize_ * 16);
            if (spare_.empty()) {
                chunks_.emplace_back(new std::byte[chunkBytes_]);
            } else {
                chunks_.push_back(std::move(spare_.back()));
                spare_.pop_back();
            }
            bump_ = chunks_.back().get();
            bumpLeft_ = chunkBytes_;
        }
        block = bump_;
        bump_ += blockSize_;
        bumpLeft_ -= blockSize_;
    }
    std::memset(block, 0, blockSize_);
    ++live_;
    return block;
}

void TNodePool::Release(void* block) {
    Assert(live_ > 0, "Node pool released more blocks than it gave");
    auto* f = static_cast<FreeBlock*>(block);
    f->next = free_;
    free_ = f;
    if (--live_ == 0) ReleaseChunks();
}

void TNodePool::Reserve(size_t count) {
    chunkBytes_ = std::max(kChunkBytes, blockSize_ * 16);
    const size_t perChunk = chunkBytes_ / blockSize_;
    for (size_t room = bumpLeft_ / blockSize_ + spare_.size() * perChunk; room < count; room += perChunk) {
        // Zeroed here, so the pages are had now rather than when handed out.
        spare_.emplace_back(new std::byte[chunkBytes_]());
    }
}

void TNodePool::SetBlockSize(size_t blockSize) {
    Assert(live_ == 0, "Node pool block size changed while blocks are live");
    ReleaseChunks();
    blockSize_ = RoundBlock(blockSize);
}

void TNodePool::ReleaseChunks() {
    chunks_.clear();
    spare_.clear();
    free_ = nullptr;
    bump_ = nullptr;
    bumpLeft_ = 0;
}

} // namespace ax
