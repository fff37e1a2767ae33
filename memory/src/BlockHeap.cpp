// The block allocator's code: pages from the system, the chunk map that says
// whether an address is ours, the free lists (pop, push, splitting a larger
// block, batches traded with thread pools), and chunks: carving them into
// blocks as needed and trimming, which gives back free pages and whole free
// chunks. Damage met on a free list is reported as a heap corruption.
#include "memory/BlockHeap.h"

#include "memory/HeapCorruption.h"

#include <algorithm>
#include <cstring>
#include <sys/mman.h>

namespace ax::memory {

namespace {

// A chunk's tally during a trim when its pages are about to go back.
constexpr std::uint32_t kDying = ~std::uint32_t{0};
// States of a free block of our lists while a trim runs (under the lock, so
// no other thread looks at them; a block of a thread pool or of the program
// never has them): on one of our lists; about to be carved afresh.
constexpr std::uint8_t kTrimListed = 4;
constexpr std::uint8_t kTrimCarve = 5;

constexpr std::uintptr_t RoundUp(std::uintptr_t a, std::uintptr_t to) {
    return (a + to - 1) & ~(to - 1);
}
constexpr std::uintptr_t RoundDown(std::uintptr_t a, std::uintptr_t to) {
    return a & ~(to - 1);
}

// The pages strictly inside a free block of class k: the first page keeps
// the list words, the last holds the next block's header.
struct PageRange {
    std::uintptr_t start, end;
};
PageRange InnerPages(const BlockHeader* h) {
    const std::uintptr_t payload = Addr(h) + kHeaderSize;
    return {RoundUp(payload + kListWords, kPageSize),
            RoundDown(Addr(h) + (std::uintptr_t{1} << h->cls), kPageSize)};
}

ChunkHeader* AsChunk(std::uintptr_t a) {
    return reinterpret_cast<ChunkHeader*>(a);
}

// Damage found in a free list is reported as found by the allocation that
// walked into it.
constexpr const char* kListWalker = "malloc";

// Pieces of a split inherit a fresh block's zeroes; anything else may hold
// old data.
std::uint8_t PieceState(std::uint8_t parent) {
    return parent == kFresh ? kFresh : kDirty;
}

} // namespace

bool MostlyResident(PageSource& pages, std::uintptr_t from, std::uintptr_t to) noexcept {
    if (from >= to) return false;
    return pages.Resident(reinterpret_cast<void*>(from), to - from) >= (to - from) / 2;
}

std::size_t ReleaseInnerPages(PageSource& pages, BlockHeader* h) noexcept {
    const PageRange r = InnerPages(h);
    if (!MostlyResident(pages, r.start, r.end)) {
        // Not looked at again until it has been used.
        h->used = kSparse;
        return 0;
    }
    pages.Release(reinterpret_cast<void*>(r.start), r.end - r.start);
    h->used = kPagesReleased;
    return r.end - r.start;
}

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

void SystemPages::Release(void* p, std::size_t size) noexcept {
    madvise(p, size, MADV_DONTNEED);
}

void SystemPages::Populate(void* p, std::size_t size) noexcept {
#ifdef MADV_POPULATE_WRITE
    // Older kernels refuse the advice; the writes then fault as before.
    madvise(p, size, MADV_POPULATE_WRITE);
#else
    (void)p;
    (void)size;
#endif
}

std::size_t SystemPages::Resident(const void* p, std::size_t size) noexcept {
    return CountResident(p, size);
}

std::size_t CountResident(const void* p, std::size_t size) noexcept {
    unsigned char vec[1024];
    std::size_t resident = 0;
    auto at = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t end = at + size;
    while (at < end) {
        const std::size_t span = std::min<std::size_t>(end - at, sizeof vec * kPageSize);
        if (mincore(reinterpret_cast<void*>(at), span, vec) != 0) return size;
        for (std::size_t i = 0; i < (span + kPageSize - 1) / kPageSize; ++i)
            resident += (vec[i] & 1) * kPageSize;
        at += span;
    }
    return resident;
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
        void* leaf = mmap(nullptr, kLeafBytes, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (leaf == MAP_FAILED) return false;
        slot.store(static_cast<std::atomic<std::uintptr_t>*>(leaf), std::memory_order_release);
    }
    for (std::uintptr_t g = first; g <= last; ++g) {
        auto* leaf = top_[g >> (kLeafShift - kGranuleShift)].load(std::memory_order_relaxed);
        leaf[g & (kLeafGranules - 1)].store(Addr(start), std::memory_order_release);
    }
    return true;
}

void ChunkMap::Remove(const void* start, std::size_t size) noexcept {
    const std::uintptr_t first = Addr(start) >> kGranuleShift;
    const std::uintptr_t last = (Addr(start) + size - 1) >> kGranuleShift;
    for (std::uintptr_t g = first; g <= last; ++g) {
        auto* leaf = top_[g >> (kLeafShift - kGranuleShift)].load(std::memory_order_relaxed);
        if (leaf != nullptr) leaf[g & (kLeafGranules - 1)].store(0, std::memory_order_relaxed);
    }
}

// ---------------------------------------------------------------- block manager

void TBlockManager::PushRaw(BlockHeader* h) noexcept {
    SizeClassRecord& c = classes_[h->cls];
    SetNextFree(h, c.head);
    if (segmented_) MarkSegment(h, Addr(h), 1);
    c.head = Addr(h);
    c.count.store(c.count.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

void TBlockManager::AfterPush(BlockHeader* h) noexcept {
    const int k = h->cls;
    if (k >= kMinHugeClass) OnHugeFree(h);
    if (Count(k) > classes_[k].pushLimit) OnOverLimit();
}

BlockHeader* TBlockManager::PopRaw(int k) noexcept {
    SizeClassRecord& c = classes_[k];
    if (c.head == kEndOfList) return nullptr;
    CheckListed(c.head, k);
    BlockHeader* h = AsBlock(c.head);
    c.head = NextFree(h);
    if (segmented_) {
        // The rest of the run starts a run of its own.
        const std::uint32_t n = SegmentLength(h);
        if (n > 1) MarkSegment(AsBlock(c.head), SegmentLast(h), n - 1);
    }
    c.count.store(c.count.load(std::memory_order_relaxed) - 1, std::memory_order_relaxed);
    return h;
}

BlockHeader* TBlockManager::TryGetBlock(int k) noexcept {
    if (HasFree(k)) {
        if (BlockHeader* h = PopRaw(k)) return h;
    }
    // Only the main pool splits (see TThreadMemManager::HasFree).
    if (!segmented_) return nullptr;
    // Blocks above the classic chunk's largest are split only for requests
    // above it too: a small block cut from one would keep all its pages from
    // ever going back.
    const int largest = k <= kClassicLargest ? kClassicLargest : kMaxClass;
    for (int j = k + 1; j <= largest; ++j) {
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

void* TBlockManager::GetMemSlow(std::size_t n) noexcept {
    if (n > kMaxRequest) return nullptr;
    const std::size_t m = (n + 7) & ~std::size_t{3};
    BlockHeader* h = GetBlock(SizeClass(m));
    if (h == nullptr) return nullptr;
    h->state = UsedState(h->cls);
    SetUsedSize(h, m);
    return PayloadOf(h);
}

void TBlockManager::SplitBlock(BlockHeader* h, int k) noexcept {
    const int big = h->cls;
    const int d = big - k;
    if (d <= 0) return;
    const int s = std::min(classes_[k].splitBatch, d);
    const std::uint8_t zero = PieceState(h->used);
    h->cls = static_cast<std::uint8_t>(k);
    h->used = zero;
    std::uintptr_t pos = Addr(h) + (std::uintptr_t{1} << k);
    int prev = k;
    auto emit = [&](int cls) {
        BlockHeader* b = AsBlock(pos);
        b->cls = static_cast<std::uint8_t>(cls);
        b->state = kFree;
        b->prevCls = static_cast<std::uint8_t>(prev);
        b->used = zero;
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

void* TBlockManager::GetZeroedMem(std::size_t n) noexcept {
    if (n > kMaxRequest) return nullptr;
    const std::size_t m = (n + 7) & ~std::size_t{3};
    BlockHeader* h = GetBlock(SizeClass(m));
    if (h == nullptr) return nullptr;
    const std::uint8_t zero = h->used;
    h->state = UsedState(h->cls);
    SetUsedSize(h, m);
    auto* p = static_cast<unsigned char*>(PayloadOf(h));
    switch (zero) {
    case kFresh:
        std::memset(p, 0, std::min(n, kListWords));
        break;
    case kPagesReleased: {
        const PageRange r = InnerPages(h);
        const std::uintptr_t end = Addr(p) + n;
        if (r.start >= r.end) {
            std::memset(p, 0, n);
            break;
        }
        std::memset(p, 0, std::min(end, r.start) - Addr(p));
        if (end > r.end) std::memset(reinterpret_cast<void*>(r.end), 0, end - r.end);
        break;
    }
    default:
        std::memset(p, 0, n);
        break;
    }
    return p;
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
    h->used = kDirty;
    PushFree(h);
    return q;
}

template <bool kRuns> void* TBlockManager::PopChecked(int k, std::size_t m) noexcept {
    SizeClassRecord& c = classes_[k];
    const std::uintptr_t a = c.head;
    BlockHeader* h = AsBlock(a);
    const std::uintptr_t next = NextFree(h);
    if (!IsFreeOfClass(a, k) || !LinkIntact(next)) [[unlikely]]
        ReportListed(a);
    return Pop<kRuns>(c, h, next, k, m);
}
template void* TBlockManager::PopChecked<true>(int, std::size_t) noexcept;
template void* TBlockManager::PopChecked<false>(int, std::size_t) noexcept;

void TBlockManager::CheckListed(std::uintptr_t h, int k) const noexcept {
    if (!ListedIntact(h, k) || !LinkIntact(NextFree(AsBlock(h)))) [[unlikely]]
        ReportListed(h);
}

void TBlockManager::ReportListed(std::uintptr_t h) noexcept {
    ReportCorruption(kListWalker, reinterpret_cast<void*>(h + kHeaderSize));
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
        e.first = r.head;
        if (segmented_) {
            // Whole runs, without touching the blocks inside them.
            std::int32_t taken = 0;
            while (taken < n) {
                CheckListed(r.head, c);
                BlockHeader* head = AsBlock(r.head);
                taken += static_cast<std::int32_t>(SegmentLength(head));
                e.last = SegmentLast(head);
                CheckListed(e.last, c);
                r.head = NextFree(AsBlock(e.last));
            }
            n = taken;
        } else {
            // Cut into runs for the main pool while walking to the n-th block.
            const std::uint32_t run = RunLength(c);
            std::uintptr_t at = r.head;
            BlockHeader* runHead = nullptr;
            std::uint32_t length = 0;
            for (std::int32_t i = 1;; ++i) {
                CheckListed(at, c);
                BlockHeader* blk = AsBlock(at);
                if (length == 0) runHead = blk;
                if (++length == run || i == n) {
                    MarkSegment(runHead, at, length);
                    length = 0;
                }
                if (i == n) break;
                at = NextFree(blk);
            }
            e.last = at;
            r.head = NextFree(AsBlock(at));
        }
        e.n = n;
        r.count.store(r.count.load(std::memory_order_relaxed) - n, std::memory_order_relaxed);
    }
}

void TBlockManager::PutBatch(TransferBatch& b) noexcept {
    for (int c = kMinClass; c <= kMaxClass; ++c) {
        TransferBatch::Entry& e = b.e[c];
        if (e.n <= 0) continue;
        SizeClassRecord& r = classes_[c];
        SetNextFree(AsBlock(e.last), r.head);
        r.head = e.first;
        r.count.store(r.count.load(std::memory_order_relaxed) + e.n, std::memory_order_relaxed);
        e = TransferBatch::Entry{};
    }
}

std::size_t TBlockManager::FreeBytes() const {
    std::size_t bytes = 0;
    for (int k = kMinClass; k <= kMaxClass; ++k)
        bytes += static_cast<std::size_t>(Count(k)) << k;
    return bytes;
}

// ---------------------------------------------------------------- chunks

TMemManager::~TMemManager() {
    for (std::uintptr_t list : {chunks_, released_}) {
        for (std::uintptr_t c = list; c != kEndOfList;) {
            ChunkHeader* chunk = AsChunk(c);
            const std::uintptr_t next = chunk->next;
            const std::size_t size = chunk->size;
            map_.Remove(chunk, size);
            pages_->Unmap(chunk, size);
            c = next;
        }
    }
}

std::size_t TMemManager::ChunkSizeFor(int k) {
    // Up to class 19 the classic 1 MB + 64 KB chunk; its carve holds a block
    // of 512 KB at most. Above that the chunk grows so that its carve ends in
    // one block of the class asked for.
    if (k <= kClassicLargest) return (std::size_t{1} << 20) + (std::size_t{1} << 16);
    return (std::size_t{1} << k) + kChunkAlign;
}

ChunkHeader* TMemManager::TakeReleasedChunk(std::size_t bytes) noexcept {
    // The smallest that is large enough, so big chunks stay for big requests.
    std::uintptr_t* best = nullptr;
    for (std::uintptr_t* link = &released_; *link != kEndOfList; link = &AsChunk(*link)->next) {
        const std::size_t size = AsChunk(*link)->size;
        if (size >= bytes && (best == nullptr || size < AsChunk(*best)->size)) best = link;
    }
    if (best == nullptr) return nullptr;
    ChunkHeader* c = AsChunk(*best);
    *best = c->next;
    return c;
}

bool TMemManager::GetMoreMemory(std::size_t size) noexcept {
    const int k = SizeClass(std::max<std::size_t>(size, 1));
    if (k > kMaxClass) return false;
    const std::size_t bytes = ChunkSizeFor(k);
    if (ChunkHeader* reused = TakeReleasedChunk(bytes)) {
        // Only its first page kept its contents.
        *AsBlock(Addr(reused) + reused->size - kHeaderSize) = BlockHeader{0, kChunkEnd, 0, kHeaderSize};
        AddChunk(reused, Addr(reused) + kPageSize);
        return true;
    }
    void* mem = pages_->Map(bytes, kChunkAlign);
    if (mem == nullptr) return false;
    if (!map_.Add(mem, bytes)) {
        pages_->Unmap(mem, bytes);
        return false;
    }
    auto* chunk = static_cast<ChunkHeader*>(mem);
    chunk->head = BlockHeader{0, kChunkStart, 0, static_cast<std::uint8_t>(kChunkHeaderSize)};
    chunk->tally = 0;
    chunk->size = bytes;
    *AsBlock(Addr(mem) + bytes - kHeaderSize) = BlockHeader{0, kChunkEnd, 0, kHeaderSize};
    AddChunk(chunk, Addr(mem));
    return true;
}

void TMemManager::AddChunk(ChunkHeader* c, std::uintptr_t dirtyBelow) noexcept {
    c->next = chunks_;
    chunks_ = Addr(c);
    BlockHeader* end = AsBlock(Addr(c) + c->size - kHeaderSize);
    SetCarvedBytes(c, CarveRange(&c->head, end, dirtyBelow));
}

std::uint32_t TMemManager::CarveRange(BlockHeader* before, BlockHeader* end,
                                      std::uintptr_t dirtyBelow) noexcept {
    std::uintptr_t pos = Addr(before) + kChunkHeaderSize;
    const std::uintptr_t start = pos;
    int prev = 0;
    while (Addr(end) > pos && Addr(end) - pos >= 32) {
        const int e = std::bit_width(Addr(end) - pos) - 1;
        const int a = std::countr_zero(pos + kHeaderSize);
        int cls = a >= 17 ? e : std::min(e, a);
        cls = std::min(cls, kMaxClass);
        BlockHeader* b = AsBlock(pos);
        b->cls = static_cast<std::uint8_t>(cls);
        b->state = kFree;
        b->prevCls = static_cast<std::uint8_t>(prev);
        b->used = pos + kHeaderSize >= dirtyBelow ? kFresh : kDirty;
        PushRaw(b);
        prev = cls;
        pos += std::uintptr_t{1} << cls;
    }
    end->prevCls = static_cast<std::uint8_t>(prev);
    return static_cast<std::uint32_t>(pos - start);
}

void TMemManager::ProvideBlocks(int k, std::int32_t& n) noexcept {
    // New blocks go behind the ones already listed, the shortfall as one run
    // and the rest as another, so that taking n blocks in whole runs from the
    // head yields exactly n.
    SizeClassRecord& r = Record(k);
    while (Count(k) < n) {
        std::int32_t shortfall = n - Count(k);
        int e = shortfall == 1 ? 1 : std::bit_width(static_cast<std::uint32_t>(shortfall - 1));
        e = std::min(e, kMaxClass - k);
        BlockHeader* h = GetBlock(k + e);
        if (h == nullptr) break;
        // A new chunk's carve may have brought blocks of class k.
        if (Count(k) >= n) {
            PushRaw(h);
            break;
        }
        shortfall = n - Count(k);
        LinkSlot tail = HeadSlot(r.head);
        while (tail.Get() != kEndOfList) {
            CheckListed(tail.Get(), k);
            tail = LinkSlotOf(AsBlock(tail.Get()));
        }
        // Every piece's header is written below, which touches each page of
        // the block: one call brings a large block's pages in, instead of a
        // fault per page.
        const std::uintptr_t from = (Addr(h) + kPageSize - 1) & ~(kPageSize - 1);
        const std::uintptr_t to = (Addr(h) + (std::uintptr_t{1} << (k + e))) & ~(kPageSize - 1);
        if ((std::size_t{1} << k) <= kPageSize && to >= from + kPopulateFrom)
            pages_->Populate(reinterpret_cast<void*>(from), to - from);
        const std::uint8_t zero = PieceState(h->used);
        const std::uint8_t firstPrev = h->prevCls;
        const std::int32_t pieces = std::int32_t{1} << e;
        const std::int32_t wanted = std::min(pieces, shortfall);
        BlockHeader* runHead = nullptr;
        std::uint32_t length = 0;
        for (std::int32_t i = 0; i < pieces; ++i) {
            BlockHeader* b = AsBlock(Addr(h) + (static_cast<std::uintptr_t>(i) << k));
            b->cls = static_cast<std::uint8_t>(k);
            b->state = kFree;
            b->prevCls = i == 0 ? firstPrev : static_cast<std::uint8_t>(k);
            b->used = zero;
            SetNextFree(b, kEndOfList);
            tail.Set(Addr(b));
            tail = LinkSlotOf(b);
            if (length++ == 0) runHead = b;
            if (i + 1 == wanted || i + 1 == pieces) {
                MarkSegment(runHead, Addr(b), length);
                length = 0;
            }
        }
        NextBlock(AsBlock(Addr(h) + (static_cast<std::uintptr_t>(pieces - 1) << k)))->prevCls =
            static_cast<std::uint8_t>(k);
        r.count.store(r.count.load(std::memory_order_relaxed) + pieces, std::memory_order_relaxed);
    }
}

void TMemManager::NoteLevel() noexcept {
    lowestLevel_ = std::min(lowestLevel_, FreeBytes());
}

void TMemManager::MaybeTrim() noexcept {
    releasedSinceTrim_ = 0;
    const std::size_t level = FreeBytes();
    if (level >= lowestLevel_ + trimStep_) {
        AutoTrim();
        return;
    }
    lowestLevel_ = std::min(lowestLevel_, level);
}

void TMemManager::TrimIfGrown() noexcept {
    if (FreeBytes() >= lowestLevel_ + kTrimStep) AutoTrim();
}

void TMemManager::AutoTrim() noexcept {
    BeforeTrim();
    const std::size_t before = releasedBytes_;
    Trim(kReserve);
    releasedSinceTrim_ = 0;
    if (releasedBytes_ - before < trimStep_ / 4) {
        // Little came of it (the lists only swing, or what they hold is
        // barely resident): look less often.
        trimStep_ = std::min(trimStep_ * 2, kMaxTrimStep);
    } else {
        // What the next trim walks is mostly the small blocks; the large
        // ones have given back their pages and are few.
        std::size_t small = 0;
        for (int k = kMinClass; k < kMinReleaseClass; ++k)
            small += static_cast<std::size_t>(Count(k)) << k;
        trimStep_ = std::max(kTrimStep, small);
    }
    lowestLevel_ = FreeBytes();
}

void TMemManager::Trim(std::size_t keep) noexcept {
    // 1. Mark every block on our lists and tally, per chunk, the bytes listed.
    for (std::uintptr_t c = chunks_; c != kEndOfList; c = AsChunk(c)->next)
        AsChunk(c)->tally = 0;
    for (int k = kMinClass; k <= kMaxClass; ++k) {
        for (std::uintptr_t b = Class(k).head; b != kEndOfList; b = NextFree(AsBlock(b))) {
            CheckListed(b, k);
            AsBlock(b)->state = kTrimListed;
            AsChunk(map_.ChunkOf(AsBlock(b)))->tally += std::uint32_t{1} << k;
        }
    }
    // 2. Wholly free chunks beyond the reserve go back. In chunks that are
    // at least half listed, runs of neighbouring listed blocks long enough to
    // hold whole pages are taken off the lists and carved afresh into large
    // blocks, whose inner pages then go back: blocks that other pools or the
    // program hold keep only their own pages.
    std::size_t kept = 0;
    for (std::uintptr_t c = chunks_; c != kEndOfList; c = AsChunk(c)->next) {
        ChunkHeader* chunk = AsChunk(c);
        if (chunk->tally == CarvedBytes(chunk)) {
            if (kept + chunk->size <= keep) {
                kept += chunk->size;
                chunk->tally = 0;
            } else if (chunk->size > ChunkSizeFor(kClassicLargest) && !LargeChunkResident(chunk)) {
                // A large block's own chunk, hardly resident: a program may use
                // only a little of a large block, and giving the chunk back
                // would cost more (a TLB flush on every thread, faults on
                // reuse) than it saves.
                chunk->tally = 0;
            } else {
                chunk->tally = kDying;
            }
        } else if (chunk->tally >= CarvedBytes(chunk) / 2) {
            MarkRuns(chunk);
        } else {
            chunk->tally = 0;
        }
    }
    // 3. Rebuild every list without those blocks, in runs, clearing the marks.
    for (int k = kMinClass; k <= kMaxClass; ++k) {
        SizeClassRecord& r = Record(k);
        const std::uint32_t run = RunLength(k);
        LinkSlot tail = HeadSlot(r.head);
        BlockHeader* runHead = nullptr;
        BlockHeader* previous = nullptr;
        std::uint32_t length = 0;
        std::int32_t count = 0;
        for (std::uintptr_t b = r.head; b != kEndOfList;) {
            BlockHeader* blk = AsBlock(b);
            const std::uintptr_t next = NextFree(blk);
            const bool leaves =
                blk->state == kTrimCarve || AsChunk(map_.ChunkOf(blk))->tally == kDying;
            if (!leaves) {
                blk->state = kFree;
                tail.Set(b);
                tail = LinkSlotOf(blk);
                ++count;
                if (length == run) {
                    MarkSegment(runHead, Addr(previous), length);
                    length = 0;
                }
                if (length++ == 0) runHead = blk;
                previous = blk;
            }
            b = next;
        }
        tail.Set(kEndOfList);
        if (length > 0) MarkSegment(runHead, Addr(previous), length);
        r.count.store(count, std::memory_order_relaxed);
    }
    // 4. Carve the runs afresh; the dying chunks keep their first page
    // (header and address range) and give back the rest.
    for (std::uintptr_t* link = &chunks_; *link != kEndOfList;) {
        ChunkHeader* chunk = AsChunk(*link);
        if (chunk->tally != kDying) {
            if (chunk->tally != 0) CarveRuns(chunk);
            chunk->tally = 0;
            link = &chunk->next;
            continue;
        }
        *link = chunk->next;
        chunk->tally = 0;
        chunk->next = released_;
        released_ = Addr(chunk);
        pages_->Release(reinterpret_cast<char*>(chunk) + kPageSize, chunk->size - kPageSize);
        releasedBytes_ += chunk->size - kPageSize;
    }
    // 5. Large free blocks give back their inner pages.
    for (int k = kMinReleaseClass; k <= kMaxClass; ++k) {
        for (std::uintptr_t b = Class(k).head; b != kEndOfList; b = NextFree(AsBlock(b))) {
            BlockHeader* blk = AsBlock(b);
            if (blk->used == kDirty) releasedBytes_ += ReleaseInnerPages(*pages_, blk);
        }
    }
}

bool TMemManager::LargeChunkResident(ChunkHeader* chunk) noexcept {
    // Such a chunk is its large block, behind the small ones of the carve;
    // the verdict is kept in the block until it is used again.
    BlockHeader* big = AsBlock(Addr(chunk) + kChunkAlign - kHeaderSize);
    const bool asCarved = big->state == kTrimListed && big->cls > kClassicLargest;
    if (asCarved && big->used == kSparse) return false;
    if (MostlyResident(*pages_, Addr(chunk) + kPageSize, Addr(chunk) + chunk->size)) return true;
    if (asCarved) big->used = kSparse;
    return false;
}

std::uintptr_t TMemManager::StepOver(std::uintptr_t pos, std::uintptr_t end) noexcept {
    // The walk goes by class bytes, of used blocks too: one spoilt by a
    // write past its neighbour would lead it astray and the carve behind it
    // would cut through blocks in use.
    const std::uint32_t k = AsBlock(pos)->cls;
    const std::uintptr_t next = pos + (std::uintptr_t{1} << (k & 31));
    if (k < kMinClass || k > kMaxClass || ((pos + kHeaderSize) & ClassAlignMask(k)) != 0 ||
        next > end) [[unlikely]]
        ReportCorruption(kListWalker, reinterpret_cast<void*>(pos + kHeaderSize));
    return next;
}

void TMemManager::MarkRuns(ChunkHeader* chunk) noexcept {
    // A run is worth carving afresh when it spans several pages and is more
    // than one block (a single large block gives back its pages anyway).
    constexpr std::uintptr_t kWorth = 4 * kPageSize;
    const std::uintptr_t end = Addr(chunk) + chunk->size - kHeaderSize;
    std::uintptr_t pos = Addr(chunk) + kChunkHeaderSize;
    bool any = false;
    while (pos < end) {
        if (AsBlock(pos)->state != kTrimListed) {
            pos = StepOver(pos, end);
            continue;
        }
        std::uintptr_t stop = pos;
        int blocks = 0;
        while (stop < end && AsBlock(stop)->state == kTrimListed) {
            stop = StepOver(stop, end);
            ++blocks;
        }
        if (blocks > 1 && stop - pos >= kWorth &&
            MostlyResident(*pages_, RoundUp(pos, kPageSize), RoundDown(stop, kPageSize))) {
            for (std::uintptr_t b = pos; b < stop; b = Addr(NextBlock(AsBlock(b))))
                AsBlock(b)->state = kTrimCarve;
            any = true;
        }
        pos = stop;
    }
    // A tally of 0 tells step 4 there is nothing to carve.
    chunk->tally = any ? 1 : 0;
}

void TMemManager::CarveRuns(ChunkHeader* chunk) noexcept {
    const std::uintptr_t end = Addr(chunk) + chunk->size - kHeaderSize;
    std::uintptr_t pos = Addr(chunk) + kChunkHeaderSize;
    while (pos < end) {
        if (AsBlock(pos)->state != kTrimCarve) {
            pos = Addr(NextBlock(AsBlock(pos)));
            continue;
        }
        std::uintptr_t stop = pos;
        while (stop < end && AsBlock(stop)->state == kTrimCarve)
            stop = Addr(NextBlock(AsBlock(stop)));
        // The run's whole pages go back in one call; the blocks carved inside
        // them are zero but for what the carve writes.
        const std::uintptr_t zeroFrom = RoundUp(pos, kPageSize);
        const std::uintptr_t zeroTo = RoundDown(stop, kPageSize);
        if (zeroFrom < zeroTo) {
            pages_->Release(reinterpret_cast<void*>(zeroFrom), zeroTo - zeroFrom);
            releasedBytes_ += zeroTo - zeroFrom;
        }
        // The first block's previous-class byte stays as it is: its
        // predecessor may be split by the pool that holds it meanwhile.
        int prev = -1;
        std::uintptr_t at = pos;
        while (at < stop) {
            const int e = std::bit_width(stop - at) - 1;
            const int a = std::countr_zero(at + kHeaderSize);
            const int cls = std::min(a >= 17 ? e : std::min(e, a), kMaxClass);
            const std::uintptr_t next = at + (std::uintptr_t{1} << cls);
            BlockHeader* b = AsBlock(at);
            b->cls = static_cast<std::uint8_t>(cls);
            b->state = kFree;
            if (prev >= 0) b->prevCls = static_cast<std::uint8_t>(prev);
            b->used = at + kHeaderSize >= zeroFrom && next <= zeroTo ? kFresh : kDirty;
            PushRaw(b);
            prev = cls;
            at = next;
        }
        AsBlock(stop)->prevCls = static_cast<std::uint8_t>(prev);
        pos = stop;
    }
}

} // namespace ax::memory
