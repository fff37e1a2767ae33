#include "memory/BlockHeap.h"

#include <algorithm>
#include <cstring>
#include <sys/mman.h>

namespace ax::memory {

BlockHeader* NextBlock(BlockHeader* h) {
    return AsBlock(Addr(h) + (std::uintptr_t{1} << h->cls));
}

BlockHeader* PrevBlock(BlockHeader* h) {
    if (h->prevCls == 0) return AsBlock(Addr(h) - kChunkHeaderSize);
    return AsBlock(Addr(h) - (std::uintptr_t{1} << h->prevCls));
}

std::size_t UsedSize(const BlockHeader* h) {
    if (h->state == kChunkStart) return kChunkHeaderSize;
    if (h->state == kChunkEnd) return kHeaderSize;
    if (h->cls <= 7) return h->used;
    return std::size_t{h->used} << (h->cls - 7);
}

// ---------------------------------------------------------------- pages

void* SystemPages::Map(std::size_t size, std::size_t align) noexcept {
    const std::size_t reserve = size + align;
    void* p = mmap(nullptr, reserve, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    const std::uintptr_t start = Addr(p);
    const std::uintptr_t aligned = (start + align - 1) & ~(std::uintptr_t{align} - 1);
    if (aligned > start) munmap(p, aligned - start);
    const std::uintptr_t tail = start + reserve - (aligned + size);
    if (tail > 0) munmap(reinterpret_cast<void*>(aligned + size), tail);
    return reinterpret_cast<void*>(aligned);
}

void SystemPages::Unmap(void* p, std::size_t size) noexcept {
    munmap(p, size);
}

// ---------------------------------------------------------------- chunk map

ChunkMap::~ChunkMap() {
    for (auto& slot : top_) {
        if (auto* leaf = slot.load(std::memory_order_relaxed)) munmap(leaf, kLeafBytes);
    }
}

bool ChunkMap::Add(const void* start, std::size_t size) noexcept {
    const std::uintptr_t first = Addr(start) >> kGranuleShift;
    const std::uintptr_t last = (Addr(start) + size - 1) >> kGranuleShift;
    if ((Addr(start) + size - 1) >> kAddressBits) return false;
    // Map every leaf first so that a failure leaves nothing half set.
    for (std::uintptr_t g = first; g <= last; ++g) {
        auto& slot = top_[g >> (kLeafShift - kGranuleShift)];
        if (slot.load(std::memory_order_relaxed) != nullptr) continue;
        void* leaf =
            mmap(nullptr, kLeafBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (leaf == MAP_FAILED) return false;
        slot.store(static_cast<std::atomic<std::uint64_t>*>(leaf), std::memory_order_release);
    }
    for (std::uintptr_t g = first; g <= last; ++g) {
        auto* leaf = top_[g >> (kLeafShift - kGranuleShift)].load(std::memory_order_relaxed);
        const std::uintptr_t i = g & (kLeafGranules - 1);
        leaf[i >> 6].fetch_or(std::uint64_t{1} << (i & 63), std::memory_order_release);
    }
    return true;
}

void ChunkMap::Remove(const void* start, std::size_t size) noexcept {
    const std::uintptr_t first = Addr(start) >> kGranuleShift;
    const std::uintptr_t last = (Addr(start) + size - 1) >> kGranuleShift;
    for (std::uintptr_t g = first; g <= last; ++g) {
        auto* leaf = top_[g >> (kLeafShift - kGranuleShift)].load(std::memory_order_relaxed);
        if (leaf == nullptr) continue;
        const std::uintptr_t i = g & (kLeafGranules - 1);
        leaf[i >> 6].fetch_and(~(std::uint64_t{1} << (i & 63)), std::memory_order_relaxed);
    }
}

// ---------------------------------------------------------------- block manager

void TBlockManager::PushRaw(BlockHeader* h) noexcept {
    SizeClassRecord& c = classes_[h->cls];
    NextFree(h) = c.head;
    c.head = Addr(h);
    c.count.store(c.count.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

BlockHeader* TBlockManager::PopRaw(int k) noexcept {
    SizeClassRecord& c = classes_[k];
    if (c.head == kEndOfList) return nullptr;
    BlockHeader* h = AsBlock(c.head);
    c.head = NextFree(h);
    c.count.store(c.count.load(std::memory_order_relaxed) - 1, std::memory_order_relaxed);
    return h;
}

BlockHeader* TBlockManager::TryGetBlock(int k) noexcept {
    if (HasFree(k)) {
        if (BlockHeader* h = PopRaw(k)) return h;
    }
    for (int j = k + 1; j <= kMaxClass; ++j) {
        if (classes_[j].head == kEndOfList) continue;
        BlockHeader* h = PopRaw(j);
        SplitBlock(h, k);
        return h;
    }
    return nullptr;
}

BlockHeader* TBlockManager::GetBlock(int k) noexcept {
    for (;;) {
        if (BlockHeader* h = TryGetBlock(k)) return h;
        // A failed top-up means the address space or the main pool is
        // exhausted; report it rather than retry forever.
        if (!GetMoreMemory(std::size_t{1} << k)) return TryGetBlock(k);
    }
}

void TBlockManager::SplitBlock(BlockHeader* h, int k) noexcept {
    const int big = h->cls;
    const int d = big - k;
    if (d <= 0) return;
    const int s = std::min(classes_[k].splitBatch, d);
    h->cls = static_cast<std::uint8_t>(k);
    std::uintptr_t pos = Addr(h) + (std::uintptr_t{1} << k);
    int prev = k;
    auto emit = [&](int cls) {
        BlockHeader* b = AsBlock(pos);
        b->cls = static_cast<std::uint8_t>(cls);
        b->state = kFree;
        b->prevCls = static_cast<std::uint8_t>(prev);
        b->used = 0;
        PushRaw(b);
        prev = cls;
        pos += std::uintptr_t{1} << cls;
    };
    for (std::int64_t i = 1; i < (std::int64_t{1} << s); ++i)
        emit(k);
    for (int c = k + s; c < big; ++c)
        emit(c);
    AsBlock(pos)->prevCls = static_cast<std::uint8_t>(prev);
}

void* TBlockManager::ReallocMem(void* p, std::size_t n) noexcept {
    if (Classify(p) != Ownership::Used || n > kMaxRequest) return nullptr;
    BlockHeader* h = HeaderOf(p);
    const std::size_t m = (n + 7) & ~std::size_t{3};
    if (h->cls >= SizeClass(m)) {
        // A block never moves to a smaller class.
        SetUsedSize(h, m);
        return p;
    }
    void* q = GetMem(n);
    if (q == nullptr) return nullptr;
    const std::size_t keep = (UsedSize(h) - kHeaderSize + 3) & ~std::size_t{3};
    std::memcpy(q, p, std::min(keep, (std::size_t{1} << h->cls) - kHeaderSize));
    h->state = kFree;
    PushFree(h);
    return q;
}

void TBlockManager::TakeBatch(TransferBatch& b) noexcept {
    for (int c = kMaxClass; c >= kMinClass; --c) {
        TransferBatch::Entry& e = b.e[c];
        if (e.n >= 0) continue;
        std::int32_t n = -e.n;
        if (n > Count(c)) ProvideBlocks(c, n);
        n = std::min(n, Count(c));
        e = TransferBatch::Entry{};
        if (n <= 0) continue;
        SizeClassRecord& r = classes_[c];
        std::uintptr_t last = r.head;
        for (std::int32_t i = 1; i < n; ++i)
            last = NextFree(AsBlock(last));
        e.first = r.head;
        e.last = last;
        e.n = n;
        r.head = NextFree(AsBlock(last));
        r.count.store(r.count.load(std::memory_order_relaxed) - n, std::memory_order_relaxed);
    }
}

void TBlockManager::PutBatch(TransferBatch& b) noexcept {
    for (int c = kMinClass; c <= kMaxClass; ++c) {
        TransferBatch::Entry& e = b.e[c];
        if (e.n <= 0) continue;
        SizeClassRecord& r = classes_[c];
        NextFree(AsBlock(e.last)) = r.head;
        r.head = e.first;
        r.count.store(r.count.load(std::memory_order_relaxed) + e.n, std::memory_order_relaxed);
        e = TransferBatch::Entry{};
    }
}

// ---------------------------------------------------------------- chunks

TMemManager::~TMemManager() {
    std::uintptr_t c = chunks_;
    while (c != kEndOfList) {
        auto* chunk = reinterpret_cast<ChunkHeader*>(c);
        const std::uintptr_t next = chunk->next;
        const std::size_t size = chunk->size;
        map_.Remove(chunk, size);
        pages_->Unmap(chunk, size);
        c = next;
    }
}

std::size_t TMemManager::ChunkSizeFor(int k) {
    // Up to class 19 the classic 1 MB + 64 KB chunk; its carve holds a block
    // of 512 KB at most. Above that the chunk grows so that its carve ends in
    // one block of the class asked for.
    if (k <= 19) return (std::size_t{1} << 20) + (std::size_t{1} << 16);
    return (std::size_t{1} << k) + kChunkAlign;
}

bool TMemManager::GetMoreMemory(std::size_t size) noexcept {
    const int k = SizeClass(std::max<std::size_t>(size, 1));
    if (k > kMaxClass) return false;
    const std::size_t bytes = ChunkSizeFor(k);
    void* mem = pages_->Map(bytes, kChunkAlign);
    if (mem == nullptr) return false;
    if (!map_.Add(mem, bytes)) {
        pages_->Unmap(mem, bytes);
        return false;
    }
    auto* chunk = static_cast<ChunkHeader*>(mem);
    chunk->head = BlockHeader{0, kChunkStart, 0, static_cast<std::uint8_t>(kChunkHeaderSize)};
    chunk->size = bytes;
    chunk->next = kEndOfList;
    *AsBlock(Addr(mem) + bytes - kHeaderSize) = BlockHeader{0, kChunkEnd, 0, kHeaderSize};
    AddChunk(chunk);
    return true;
}

void TMemManager::AddChunk(ChunkHeader* c) noexcept {
    ChunkHeader* prev = nullptr;
    std::uintptr_t next = chunks_;
    while (next != kEndOfList && next < Addr(c)) {
        prev = reinterpret_cast<ChunkHeader*>(next);
        next = prev->next;
    }
    // The carve ends at c's own end sentinel in both cases: when c touches the
    // next chunk, that sentinel stays in the middle of the merged chunk,
    // followed by the next chunk's header and blocks.
    BlockHeader* end = AsBlock(Addr(c) + c->size - kHeaderSize);
    if (next != kEndOfList && Addr(c) + c->size == next) {
        auto* n = reinterpret_cast<ChunkHeader*>(next);
        c->size += n->size;
        c->next = n->next;
    } else {
        c->next = next;
    }
    BlockHeader* before = &c->head;
    if (prev == nullptr) {
        chunks_ = Addr(c);
    } else if (Addr(prev) + prev->size != Addr(c)) {
        prev->next = Addr(c);
    } else {
        BlockHeader* sentinel = AsBlock(Addr(prev) + prev->size - kHeaderSize);
        before = PrevBlock(sentinel);
        prev->size += c->size;
        // c may have absorbed its successor; prev must not keep pointing at
        // a chunk that now lies inside it.
        prev->next = c->next;
    }
    CarveRange(before, end);
}

void TMemManager::CarveRange(BlockHeader* before, BlockHeader* end) noexcept {
    std::uintptr_t pos;
    int prev;
    if (before->state == kChunkStart) {
        pos = Addr(before) + kChunkHeaderSize;
        prev = 0;
    } else {
        pos = Addr(before) + (std::uintptr_t{1} << before->cls);
        prev = before->cls;
    }
    while (Addr(end) - pos >= 32 && Addr(end) > pos) {
        const int e = std::bit_width(Addr(end) - pos) - 1;
        const int a = std::countr_zero(pos + kHeaderSize);
        int cls = a >= 17 ? e : std::min(e, a);
        cls = std::min(cls, kMaxClass);
        BlockHeader* b = AsBlock(pos);
        b->cls = static_cast<std::uint8_t>(cls);
        b->state = kFree;
        b->prevCls = static_cast<std::uint8_t>(prev);
        b->used = 0;
        PushRaw(b);
        prev = cls;
        pos += std::uintptr_t{1} << cls;
    }
    end->prevCls = static_cast<std::uint8_t>(prev);
}

void TMemManager::ProvideBlocks(int k, std::int32_t& n) noexcept {
    std::int32_t shortfall = n - Count(k);
    const std::int32_t saved = Class(k).splitBatch;
    while (shortfall > 0) {
        int e = shortfall == 1 ? 1 : std::bit_width(static_cast<std::uint32_t>(shortfall - 1));
        e = std::min(e, kMaxClass - k);
        if (e == 0) {
            BlockHeader* h = GetBlock(k);
            if (h == nullptr) break;
            PushRaw(h);
            --shortfall;
            continue;
        }
        SetSplitBatch(k, e);
        BlockHeader* h = GetBlock(k + e);
        if (h == nullptr) break;
        h->state = kFree;
        SplitBlock(h, k);
        SetSplitBatch(k, saved);
        PushRaw(h);
        shortfall -= std::int32_t{1} << e;
    }
    SetSplitBatch(k, saved);
}

} // namespace ax::memory
