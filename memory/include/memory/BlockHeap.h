// Power-of-two block allocator: free blocks of 2^k bytes (4-byte header
// included) cut from large mmap'ed chunks. Allocation and release are one pop
// or push on the class's free list; freed blocks are never merged, but a
// chunk whose blocks are all free goes back to the system.
#pragma once

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>

namespace ax::memory {

inline constexpr int kMinClass = 5;
inline constexpr int kMaxClass = 29;
inline constexpr int kClassCount = 32;
inline constexpr std::size_t kHeaderSize = 4;
inline constexpr std::size_t kChunkHeaderSize = 28;
// Largest request a block can carry: a class-29 block minus its header.
inline constexpr std::size_t kMaxRequest = (std::size_t{1} << kMaxClass) - kHeaderSize;
// Chunks start on this boundary so that the carve of a fresh chunk puts the
// big blocks on naturally aligned addresses.
inline constexpr std::size_t kChunkAlign = std::size_t{1} << 17;
// Every block whose class is at most 17 has its payload aligned to its size.
inline constexpr std::size_t kMaxBlockAlign = std::size_t{1} << 17;
inline constexpr std::uintptr_t kEndOfList = ~std::uintptr_t{0};

enum BlockState : std::uint8_t { kFree = 0, kChunkStart = 2, kChunkEnd = 3 };
// A used block's state byte is this plus its class: a header written into
// from the block before it (its class byte comes first) no longer agrees with
// itself, nor does the word before a pointer into the middle of a block.
inline constexpr std::uint8_t kUsedMark = 0x40;
constexpr std::uint8_t UsedState(int cls) {
    return static_cast<std::uint8_t>(kUsedMark + cls);
}

// What a free block's last header byte (its used size while in use) says
// about its contents, so that calloc zeroes only what may be dirty.
enum ZeroState : std::uint8_t {
    kDirty = 0,
    // Zero but for the list words at the start of the payload.
    kFresh = 1,
    // The pages inside the block were given back and read as zero.
    kPagesReleased = 2,
    // Dirty, and found hardly resident: not worth giving back.
    kSparse = 3,
};
// The largest block the carve of a classic chunk of 1 MB + 64 KB yields.
inline constexpr int kClassicLargest = 19;
// Pages given back to the system are this size.
inline constexpr std::size_t kPageSize = 4096;
// Bytes at the start of a free block's payload that list keeping writes.
inline constexpr std::size_t kListWords = 24;
// Free blocks of this class and above have their inner pages given back
// when the main pool trims, and when a pool falls idle.
inline constexpr int kMinReleaseClass = 15;
// A pool gives back the inner pages of a released block of this class and
// above at once (requests above 32 MB), as the C library unmaps its largest
// blocks.
inline constexpr int kMinHugeClass = 26;

// Each byte is written on its own: a neighbour's splitter may be writing our
// previous-class byte while the owner writes state or used size.
struct BlockHeader {
    std::uint8_t cls;
    std::uint8_t state;
    std::uint8_t prevCls;
    std::uint8_t used;
};
static_assert(sizeof(BlockHeader) == 4);

// First 28 bytes of a chunk: the header dword, a 32-bit scratch word for the
// trim, the chunk size, the next chunk of the list; the last 4 bytes hold the
// number of bytes the carve cut into blocks (see CarvedBytes).
struct ChunkHeader {
    BlockHeader head;
    std::uint32_t tally;
    std::size_t size;
    std::uintptr_t next;
};
static_assert(sizeof(ChunkHeader) + 4 <= kChunkHeaderSize);

inline std::uint32_t CarvedBytes(const ChunkHeader* c) {
    std::uint32_t v;
    __builtin_memcpy(&v, reinterpret_cast<const char*>(c) + sizeof(ChunkHeader), 4);
    return v;
}
inline void SetCarvedBytes(ChunkHeader* c, std::uint32_t v) {
    __builtin_memcpy(reinterpret_cast<char*>(c) + sizeof(ChunkHeader), &v, 4);
}

constexpr int SizeClass(std::size_t m) {
    // Without a branch (mixed small sizes would mispredict one): below 33
    // the OR makes it 5.
    // The index of the top bit plus one, which the compiler makes a bsr
    // (bit_width would add a subtraction from 64).
    const unsigned long long x = (std::max<std::size_t>(m, 1) - 1) | 31;
    return (__builtin_clzll(x) ^ 63) + 1;
}

// The payload of a block of class k is aligned to 2^k, up to kMaxBlockAlign.
constexpr std::uintptr_t ClassAlignMask(std::uint32_t k) {
    return (std::uintptr_t{1} << std::min<std::uint32_t>(k, 17)) - 1;
}

inline BlockHeader* HeaderOf(const void* payload) {
    return reinterpret_cast<BlockHeader*>(reinterpret_cast<std::uintptr_t>(payload) - kHeaderSize);
}
inline void* PayloadOf(BlockHeader* h) {
    return reinterpret_cast<char*>(h) + kHeaderSize;
}
inline BlockHeader* AsBlock(std::uintptr_t a) {
    return reinterpret_cast<BlockHeader*>(a);
}
inline std::uintptr_t Addr(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p);
}
// The tests below read the header a byte at a time where the bytes may just
// have been written one by one: a wider read would wait for those writes to
// reach the cache instead of taking them from the store buffer.
inline bool IsFreeOfClass(std::uintptr_t header, int k) {
    const auto* h = reinterpret_cast<const BlockHeader*>(header);
    return h->cls == k && h->state == kFree;
}
// The class and state bytes as one word. A release writes them so, and the
// allocation fast path, which mostly pops what a release just pushed, reads
// them so: one load and one compare, taken whole from the store buffer.
inline std::uint16_t ClassAndState(const BlockHeader* h) {
    std::uint16_t v;
    __builtin_memcpy(&v, h, 2);
    return v;
}
inline void SetClassAndState(BlockHeader* h, int cls, std::uint8_t state) {
    const std::uint16_t v = static_cast<std::uint16_t>(cls | state << 8);
    __builtin_memcpy(h, &v, 2);
}
static_assert(std::endian::native == std::endian::little);

// The release test of a payload in one of our chunks: a used block whose
// state agrees with its class, the class in range, on a block boundary.
// Compares rather than a table, whose address would take one more register
// on the release fast path.
inline bool UsedHeaderIntact(const void* p) {
    const BlockHeader* h = HeaderOf(p);
    const unsigned cls = h->cls;
    return h->state == cls + kUsedMark && cls - kMinClass <= unsigned{kMaxClass - kMinClass} &&
           (Addr(p) & 31) == 0;
}

// A free block's payload starts with the address of the next free block,
// stored with its five low bits inverted. Block headers sit 4 bytes before a
// 32-byte boundary, so a link overwritten with a plain pointer of 8-byte
// alignment reveals an address off a block boundary, as does one whose low
// byte a stray write changed to zero; other damage does so 31 times in 32.
// The allocation fast path tests only that and the 48-bit range, without a
// look-up in the chunk map (the slow paths still look). (A key of the link's
// own address would scramble the rest too, but adds a cycle to every pop.)
inline constexpr std::uintptr_t kLinkKey = 31;
inline std::uintptr_t* LinkWord(BlockHeader* h) {
    return reinterpret_cast<std::uintptr_t*>(reinterpret_cast<char*>(h) + kHeaderSize);
}
inline std::uintptr_t NextFree(BlockHeader* h) {
    return *LinkWord(h) ^ kLinkKey;
}
inline void SetNextFree(BlockHeader* h, std::uintptr_t next) {
    *LinkWord(h) = next ^ kLinkKey;
}
// Where a list keeps a link: a list head (plain) or a free block's payload.
struct LinkSlot {
    std::uintptr_t* at;
    std::uintptr_t key;
    std::uintptr_t Get() const { return *at ^ key; }
    void Set(std::uintptr_t v) const { *at = v ^ key; }
};
inline LinkSlot HeadSlot(std::uintptr_t& head) {
    return {&head, 0};
}
inline LinkSlot LinkSlotOf(BlockHeader* h) {
    return {LinkWord(h), kLinkKey};
}

// The main pool's lists are runs of blocks ("segments"), each as it was
// handed over; the first block of a run names the run's last block and its
// length, so that whole runs move without walking them.
inline std::uintptr_t& SegmentLast(BlockHeader* h) {
    return *reinterpret_cast<std::uintptr_t*>(reinterpret_cast<char*>(h) + kHeaderSize + 8);
}
inline std::uint32_t& SegmentLength(BlockHeader* h) {
    return *reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(h) + kHeaderSize + 16);
}
inline void MarkSegment(BlockHeader* first, std::uintptr_t last, std::uint32_t n) {
    SegmentLast(first) = last;
    SegmentLength(first) = n;
}

BlockHeader* NextBlock(BlockHeader* h);
class PageSource;
// Gives back the pages strictly inside free block h (the first keeps the list
// words, the last the next block's header) and marks it kPagesReleased; but
// only when most of them are resident: giving back costs every thread a TLB
// flush, and a block its user barely touched is not worth it.
std::size_t ReleaseInnerPages(PageSource& pages, BlockHeader* h) noexcept;
// True when at least half the pages of [from, to) are resident.
bool MostlyResident(PageSource& pages, std::uintptr_t from, std::uintptr_t to) noexcept;
BlockHeader* PrevBlock(BlockHeader* h);
std::size_t UsedSize(const BlockHeader* h);

inline void SetUsedSize(BlockHeader* h, std::size_t m, int k) {
    if (k <= 7) {
        h->used = static_cast<std::uint8_t>(m);
    } else {
        const int shift = k - 7;
        h->used = static_cast<std::uint8_t>((m + (std::size_t{1} << shift) - 1) >> shift);
    }
}
inline void SetUsedSize(BlockHeader* h, std::size_t m) {
    SetUsedSize(h, m, h->cls);
}

// Where chunk memory comes from; tests inject deterministic addresses and
// failures.
class PageSource {
public:
    // Returns size bytes of zeroed read-write memory aligned to align, or
    // nullptr.
    virtual void* Map(std::size_t size, std::size_t align) noexcept = 0;
    virtual void Unmap(void* p, std::size_t size) noexcept = 0;
    // Gives the pages of [p, p + size) back; they read as zero afterwards.
    virtual void Release(void* p, std::size_t size) noexcept = 0;
    // Bytes of the pages of [p, p + size) (page-aligned) that are resident.
    virtual std::size_t Resident(const void* p, std::size_t size) noexcept = 0;
    // Makes the pages of [p, p + size) (page-aligned) resident and writable
    // at once, ahead of writes that would fault them in one by one.
    virtual void Populate(void*, std::size_t) noexcept {}

protected:
    constexpr PageSource() = default;
    ~PageSource() = default;
};

// Resident bytes of the pages of [p, p + size), by mincore.
std::size_t CountResident(const void* p, std::size_t size) noexcept;

class SystemPages final : public PageSource {
public:
    constexpr SystemPages() = default;
    void* Map(std::size_t size, std::size_t align) noexcept override;
    void Unmap(void* p, std::size_t size) noexcept override;
    void Release(void* p, std::size_t size) noexcept override;
    std::size_t Resident(const void* p, std::size_t size) noexcept override;
    void Populate(void* p, std::size_t size) noexcept override;
};

// Which chunk each 64 KB granule of the address space belongs to (0: none).
// Lookups are plain loads; entries are set while the chunk list is locked,
// before the chunk's blocks are handed out, and cleared once none of its
// blocks is on any list.
class ChunkMap {
public:
    constexpr ChunkMap() = default;
    ~ChunkMap();
    ChunkMap(const ChunkMap&) = delete;
    ChunkMap& operator=(const ChunkMap&) = delete;

    // The chunk holding address p, 0 when p is not in one of ours.
    std::uintptr_t ChunkOf(const void* p) const noexcept {
        const std::uintptr_t a = Addr(p);
        if (a >> kAddressBits) return 0;
        const std::atomic<std::uintptr_t>* leaf =
            top_[a >> kLeafShift].load(std::memory_order_acquire);
        if (leaf == nullptr) return 0;
        return leaf[(a >> kGranuleShift) & (kLeafGranules - 1)].load(std::memory_order_relaxed);
    }
    bool Contains(const void* p) const noexcept { return ChunkOf(p) != 0; }
    // ChunkOf for an address known to lie below 2^48.
    std::uintptr_t ChunkOfLow(const void* p) const noexcept {
        const std::uintptr_t a = Addr(p);
        const std::atomic<std::uintptr_t>* leaf =
            top_[a >> kLeafShift].load(std::memory_order_acquire);
        if (leaf == nullptr) return 0;
        return leaf[(a >> kGranuleShift) & (kLeafGranules - 1)].load(std::memory_order_relaxed);
    }
    bool Add(const void* start, std::size_t size) noexcept;
    void Remove(const void* start, std::size_t size) noexcept;

private:
    static constexpr int kAddressBits = 48;
    static constexpr int kGranuleShift = 16;
    static constexpr int kLeafShift = 36;
    static constexpr std::uintptr_t kLeafGranules = std::uintptr_t{1}
                                                    << (kLeafShift - kGranuleShift);
    static constexpr std::size_t kLeafBytes = kLeafGranules * sizeof(std::uintptr_t);
    static constexpr std::size_t kTopEntries = std::size_t{1} << (kAddressBits - kLeafShift);

    std::atomic<std::atomic<std::uintptr_t>*> top_[kTopEntries]{};
};

// One record per half cache line, so the fast path touches one line.
struct alignas(32) SizeClassRecord {
    std::uintptr_t head = kEndOfList;
    // Read without the lock by other threads as a hint, hence atomic; updated
    // with plain load and store by the one owner.
    std::atomic<std::int32_t> count{0};
    std::int32_t low = 0;
    std::int32_t target = 0;
    std::int32_t high = 0;
    std::int32_t splitBatch = 1;
    // Count above which PushFree asks the pool to rebalance.
    std::int32_t pushLimit = INT32_MAX;
};

struct ClassLimits {
    std::int32_t low, target, high;
};

constexpr ClassLimits LimitsOf(int k) {
    if (k >= 5 && k <= 7) return {50, 200, 400};
    if (k >= 8 && k <= 9) return {20, 100, 200};
    if (k >= 10 && k <= 11) return {10, 50, 100};
    if (k >= 12 && k <= 13) return {5, 20, 50};
    if (k >= 14 && k <= 15) return {2, 10, 20};
    if (k >= 16 && k <= 17) return {1, 5, 10};
    if (k >= 18 && k <= 24) return {0, 3, 6};
    if (k >= 25 && k <= 26) return {0, 2, 3};
    if (k == 27) return {0, 1, 2};
    if (k >= 28 && k <= 29) return {0, 0, 1};
    return {0, 0, 0};
}

// Blocks moving between a thread pool and the main pool, per class: n < 0 is
// a request for -n blocks, n > 0 hands over n blocks linked first..last.
struct TransferBatch {
    struct Entry {
        std::uintptr_t first = kEndOfList;
        std::uintptr_t last = kEndOfList;
        std::int32_t n = 0;
    };
    Entry e[kClassCount];
};

enum class Ownership { Foreign, Used, Invalid };

class TBlockManager {
public:
    TBlockManager(const TBlockManager&) = delete;
    TBlockManager& operator=(const TBlockManager&) = delete;
    virtual ~TBlockManager() = default;

    virtual bool HasFree(int k) noexcept = 0;
    // Makes more blocks available for a request of size bytes; false when
    // nothing could be obtained.
    virtual bool GetMoreMemory(std::size_t size) noexcept = 0;
    // Makes class k hold n free blocks if it can; n is left at what the
    // caller may take.
    virtual void ProvideBlocks(int k, std::int32_t& n) noexcept = 0;

    // nullptr when out of memory or above the largest class.
    void* GetMem(std::size_t n) noexcept {
        return segmented_ ? GetMemFrom<true>(n) : GetMemFrom<false>(n);
    }

    // GetMem for a manager known to keep runs (kRuns, the main pool) or plain
    // lists (a thread pool), so that the fast path tests nothing else.
    template <bool kRuns> void* GetMemFrom(std::size_t n) noexcept {
        if (void* p = TryGetMem<kRuns>(n)) [[likely]]
            return p;
        return GetMemSlow(n);
    }
    // The fast path alone: a pop from the class's list; nullptr when the
    // list is empty or n above the largest class. Calls nothing, so that its
    // callers save no registers.
    template <bool kRuns> void* TryGetMem(std::size_t n) noexcept {
        if (n > kMaxRequest) [[unlikely]]
            return nullptr;
        const std::size_t m = (n + 7) & ~std::size_t{3};
        const int k = SizeClass(m);
        SizeClassRecord& c = RecordOf(k);
        const std::uintptr_t a = c.head;
        if (a == kEndOfList) [[unlikely]]
            return nullptr;
        BlockHeader* h = AsBlock(a);
        const std::uintptr_t next = NextFree(h);
        // The head passed LinkIntact when it was listed; here it must say
        // "free, class k" and its link reveal a block boundary below 2^48
        // (see kLinkKey). Anything else, the end of the list too, is tested
        // in full out of line.
        if (ClassAndState(h) != k || ((next + kHeaderSize) & kOffBoundary) != 0) [[unlikely]]
            return PopChecked<kRuns>(k, m);
        return Pop<kRuns>(c, h, next, k, m);
    }

    // The test of a free-list link (read from a free block's payload, which a
    // stray write may have spoilt) before it becomes a list head: the end, or
    // a block boundary in one of our chunks.
    bool LinkIntact(std::uintptr_t next) const noexcept {
        if (((next + kHeaderSize) & kOffBoundary) != 0) [[unlikely]]
            return next == kEndOfList;
        return map_->ChunkOfLow(AsBlock(next)) != 0;
    }
    // The full test of a block before it leaves list k: in one of our chunks,
    // marked free, of class k and aligned as such.
    bool ListedIntact(std::uintptr_t h, int k) const noexcept {
        return map_->Contains(AsBlock(h)) && IsFreeOfClass(h, k) &&
               ((h + kHeaderSize) & ClassAlignMask(static_cast<std::uint32_t>(k))) == 0;
    }

    // GetMem whose n bytes read as zero; skips what the kernel zeroed.
    void* GetZeroedMem(std::size_t n) noexcept;

    // 0 released; -1 not in our chunks; -2 in our chunks but not a used block
    // (a second release, or not a block start).
    int FreeMem(void* p) noexcept {
        return segmented_ ? FreeMemTo<true>(p) : FreeMemTo<false>(p);
    }
    template <bool kRuns> int FreeMemTo(void* p) noexcept {
        const Ownership o = Classify(p);
        if (o != Ownership::Used) [[unlikely]]
            return o == Ownership::Foreign ? -1 : -2;
        ReleaseUsed<kRuns>(HeaderOf(p));
        return 0;
    }
    // Lists a used block of ours that the caller has classified.
    void ReleaseUsed(BlockHeader* h) noexcept {
        if (segmented_)
            ReleaseUsed<true>(h);
        else
            ReleaseUsed<false>(h);
    }
    template <bool kRuns> void ReleaseUsed(BlockHeader* h) noexcept {
        // Read before the byte stores, which the compiler cannot tell apart.
        const int k = h->cls;
        SetClassAndState(h, k, kFree);
        h->used = kDirty;
        PushFreeTo<kRuns>(h, k);
    }

    // nullptr when p is not a used block of ours, or when a move finds no
    // memory (p then stays valid).
    void* ReallocMem(void* p, std::size_t n) noexcept;

    // Invalid: in our chunks, but not the payload of a used block with a
    // sound header (released already, inside a block, or its header spoilt).
    Ownership Classify(const void* p) const noexcept {
        if (!map_->Contains(HeaderOf(p))) return Ownership::Foreign;
        return UsedHeaderIntact(p) ? Ownership::Used : Ownership::Invalid;
    }

    void PushFree(BlockHeader* h) noexcept {
        if (segmented_)
            PushFreeTo<true>(h);
        else
            PushFreeTo<false>(h);
    }
    template <bool kRuns> void PushFreeTo(BlockHeader* h) noexcept {
        PushFreeTo<kRuns>(h, h->cls);
    }
    template <bool kRuns> void PushFreeTo(BlockHeader* h, int k) noexcept {
        SizeClassRecord& c = RecordOf(k);
        SetNextFree(h, c.head);
        if constexpr (kRuns) MarkSegment(h, Addr(h), 1);
        c.head = Addr(h);
        const std::int32_t n = c.count.load(std::memory_order_relaxed) + 1;
        c.count.store(n, std::memory_order_relaxed);
        if constexpr (!kRuns) {
            // One out-of-line call for both rare cases keeps the fast path
            // free of saved registers.
            if (n > c.pushLimit || k >= kMinHugeClass) [[unlikely]]
                AfterPush(h);
        }
    }

    // The hand-over of the pools. A thread pool hands its blocks over cut
    // into runs of its class's Low (at least 1); the main pool hands over
    // whole runs, so it never walks a list while its lock is held and may
    // deliver up to one run more than asked.
    void TakeBatch(TransferBatch& b) noexcept;
    void PutBatch(TransferBatch& b) noexcept;

    // Inspection, for the pools and the heap checker.
    const SizeClassRecord& Class(int k) const { return classes_[k]; }
    std::int32_t Count(int k) const { return classes_[k].count.load(std::memory_order_relaxed); }
    const ChunkMap& Chunks() const { return *map_; }
    // True for the main pool, whose lists are runs of blocks.
    bool Segmented() const { return segmented_; }
    // Bytes of the free blocks on this manager's lists.
    std::size_t FreeBytes() const;

    // Blocks per run when a pool hands blocks of class k over: a refill then
    // brings a pool that ran dry most of the way from Low to Target, so a
    // pool that keeps allocating exchanges less often. Classes without a Low
    // move one block at a time.
    static constexpr std::uint32_t RunLength(int k) {
        const ClassLimits l = LimitsOf(k);
        if (l.low <= 0) return 1u;
        return static_cast<std::uint32_t>(std::max(l.low, l.target - l.low));
    }

protected:
    constexpr explicit TBlockManager(const ChunkMap* map, bool pooled)
        : map_(map), segmented_(!pooled) {
        for (int k = 0; k < kClassCount; ++k) {
            const ClassLimits l = LimitsOf(k);
            classes_[k].low = l.low;
            classes_[k].target = l.target;
            classes_[k].high = l.high;
            classes_[k].pushLimit = pooled ? l.high : INT32_MAX;
        }
    }

    virtual void OnOverLimit() noexcept {}
    // A huge block released into a pool.
    virtual void OnHugeFree(BlockHeader*) noexcept {}
    // A push onto a plain list that went over the class's limit or listed a
    // huge block.
    void AfterPush(BlockHeader* h) noexcept;

    // One test for a payload 32-byte aligned in the 48-bit address space.
    static constexpr std::uintptr_t kOffBoundary = ~((std::uintptr_t{1} << 48) - 1) | 31;
    // The class's record by an address computed once: the compiler would
    // otherwise compute the count's address afresh from k, three
    // instructions more on each fast path.
    SizeClassRecord& RecordOf(int k) noexcept {
        SizeClassRecord* c = &classes_[k];
        asm("" : "+r"(c));
        return *c;
    }
    template <bool kRuns>
    void* Pop(SizeClassRecord& c, BlockHeader* h, std::uintptr_t next, int k,
              std::size_t m) noexcept {
        c.head = next;
        if constexpr (kRuns) {
            // The rest of the run starts a run of its own.
            const std::uint32_t length = SegmentLength(h);
            if (length > 1) MarkSegment(AsBlock(next), SegmentLast(h), length - 1);
        }
        c.count.store(c.count.load(std::memory_order_relaxed) - 1, std::memory_order_relaxed);
        h->state = UsedState(k);
        SetUsedSize(h, m, k);
        return PayloadOf(h);
    }
    // The pop of TryGetMem when the one-branch test fails: reports a head or
    // link that fails the full tests, pops otherwise. Never null, so that
    // the fast path's callers reach it by a jump.
    template <bool kRuns>
    __attribute__((noinline, returns_nonnull)) void* PopChecked(int k, std::size_t m) noexcept;

    // GetMem when the class's list is empty: refills or splits.
    void* GetMemSlow(std::size_t n) noexcept;
    BlockHeader* TryGetBlock(int k) noexcept;
    BlockHeader* GetBlock(int k) noexcept;
    void SplitBlock(BlockHeader* h, int k) noexcept;
    void PushRaw(BlockHeader* h) noexcept;
    // Pops, and reports a head that fails ListedIntact as heap corruption.
    BlockHeader* PopRaw(int k) noexcept;
    // Reports h as heap corruption unless ListedIntact and its link
    // LinkIntact.
    void CheckListed(std::uintptr_t h, int k) const noexcept;
    [[noreturn]] __attribute__((cold)) static void ReportListed(std::uintptr_t h) noexcept;
    void SetSplitBatch(int k, std::int32_t v) { classes_[k].splitBatch = v; }
    SizeClassRecord& Record(int k) { return classes_[k]; }

private:
    const ChunkMap* map_;
    const bool segmented_;
    SizeClassRecord classes_[kClassCount];
};

// A block manager that owns chunks. Its lists are runs of blocks (see
// SegmentLast). Chunks are never merged, so that one whose blocks are all
// free can go back to the system: Trim gives back the pages of such chunks
// beyond a reserve, and the inner pages of large free blocks. A chunk given
// back keeps its address range (a late second release of one of its blocks
// is still recognised) and is carved afresh when memory is needed again.
class TMemManager : public TBlockManager {
public:
    constexpr explicit TMemManager(PageSource* pages)
        : TBlockManager(&map_, false), pages_(pages) {}
    ~TMemManager() override;

    bool HasFree(int k) noexcept override { return Count(k) > 0; }
    bool GetMoreMemory(std::size_t size) noexcept override;
    void ProvideBlocks(int k, std::int32_t& n) noexcept override;

    // Wholly free chunks up to keep bytes stay as they are; the pages of the
    // others, and the inner pages of free blocks of kMinReleaseClass and
    // above, go back to the system. Walks every list: call it rarely.
    void Trim(std::size_t keep) noexcept;
    // Counts bytes released onto the lists. Every step of them (at least
    // kTrimStep, or half the small blocks left listed by the last trim, so
    // that the walks cost a bounded amount per byte released) it looks whether the lists
    // have grown by a step over their lowest level since the last trim, and
    // trims with the standard reserve if so: a program that keeps reusing
    // what it releases is left alone.
    void NoteReleased(std::size_t bytes) noexcept {
        releasedSinceTrim_ += bytes;
        if (releasedSinceTrim_ >= trimStep_) [[unlikely]]
            MaybeTrim();
    }
    // Lets the trim see how low the lists went (after handing blocks out).
    void NoteLevel() noexcept;
    // Trims when the lists grew by kTrimStep since the last trim: at the end
    // of a thread, which often ends a phase of the program.
    void TrimIfGrown() noexcept;
    static constexpr std::size_t kReserve = std::size_t{8} << 20;
    // Pieces of a page or less cut from at least this much are brought in
    // with one call (see ProvideBlocks).
    static constexpr std::size_t kPopulateFrom = std::size_t{64} << 10;
    static constexpr std::size_t kTrimStep = std::size_t{8} << 20;
    static constexpr std::size_t kMaxTrimStep = std::size_t{1} << 30;
    // Bytes given back to the system so far.
    std::size_t ReleasedBytes() const { return releasedBytes_; }

    // First chunk of the list of carved chunks, kEndOfList when empty.
    std::uintptr_t ChunkList() const { return chunks_; }
    // First chunk whose pages went back, kEndOfList when none.
    std::uintptr_t ReleasedList() const { return released_; }
    PageSource* Pages() const { return pages_; }

    // Bytes of a fresh chunk made to serve a block of class k.
    static std::size_t ChunkSizeFor(int k);

protected:
    // Runs before an automatic trim, under the same lock.
    virtual void BeforeTrim() noexcept {}
    // No automatic trim from now on (while pools are torn down).
    void StopTrims() { trimStep_ = ~std::size_t{0}; }

private:
    void AutoTrim() noexcept;
    void MaybeTrim() noexcept;
    void AddChunk(ChunkHeader* c, std::uintptr_t dirtyBelow) noexcept;
    std::uint32_t CarveRange(BlockHeader* before, BlockHeader* end,
                             std::uintptr_t dirtyBelow) noexcept;
    ChunkHeader* TakeReleasedChunk(std::size_t bytes) noexcept;
    void MarkRuns(ChunkHeader* chunk) noexcept;
    // The block after pos in a walk of a chunk; reports a class byte that
    // cannot be right.
    static std::uintptr_t StepOver(std::uintptr_t pos, std::uintptr_t end) noexcept;
    bool LargeChunkResident(ChunkHeader* chunk) noexcept;
    void CarveRuns(ChunkHeader* chunk) noexcept;

    ChunkMap map_;
    PageSource* pages_;
    std::uintptr_t chunks_ = kEndOfList;
    std::uintptr_t released_ = kEndOfList;
    std::size_t releasedSinceTrim_ = 0;
    std::size_t trimStep_ = kTrimStep;
    std::size_t lowestLevel_ = 0;
    std::size_t releasedBytes_ = 0;
};

} // namespace ax::memory
