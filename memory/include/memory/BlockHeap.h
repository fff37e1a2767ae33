// Power-of-two block allocator: free blocks of 2^k bytes (4-byte header
// included) cut from large mmap'ed chunks. Allocation and release are one pop
// or push on the class's free list; freed blocks are never merged.
#pragma once

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

enum BlockState : std::uint8_t { kFree = 0, kUsed = 1, kChunkStart = 2, kChunkEnd = 3 };

// Each byte is written on its own: a neighbour's splitter may be writing our
// previous-class byte while the owner writes state or used size.
struct BlockHeader {
    std::uint8_t cls;
    std::uint8_t state;
    std::uint8_t prevCls;
    std::uint8_t used;
};
static_assert(sizeof(BlockHeader) == 4);

// First 28 bytes of a chunk (only 24 are written).
struct ChunkHeader {
    BlockHeader head;
    std::uint32_t reserved;
    std::size_t size;
    std::uintptr_t next;
};
static_assert(sizeof(ChunkHeader) <= kChunkHeaderSize);

constexpr int SizeClass(std::size_t m) {
    if (m < 33) return kMinClass;
    return std::bit_width(m - 1);
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

// A free block's payload starts with the address of the next free block.
inline std::uintptr_t& NextFree(BlockHeader* h) {
    return *reinterpret_cast<std::uintptr_t*>(reinterpret_cast<char*>(h) + kHeaderSize);
}

BlockHeader* NextBlock(BlockHeader* h);
BlockHeader* PrevBlock(BlockHeader* h);
std::size_t UsedSize(const BlockHeader* h);

inline void SetUsedSize(BlockHeader* h, std::size_t m) {
    const int k = h->cls;
    if (k <= 7) {
        h->used = static_cast<std::uint8_t>(m);
    } else {
        const int shift = k - 7;
        h->used = static_cast<std::uint8_t>((m + (std::size_t{1} << shift) - 1) >> shift);
    }
}

// Where chunk memory comes from; tests inject deterministic addresses and
// failures.
class PageSource {
public:
    // Returns size bytes of zeroed read-write memory aligned to align, or
    // nullptr.
    virtual void* Map(std::size_t size, std::size_t align) noexcept = 0;
    virtual void Unmap(void* p, std::size_t size) noexcept = 0;

protected:
    constexpr PageSource() = default;
    ~PageSource() = default;
};

class SystemPages final : public PageSource {
public:
    constexpr SystemPages() = default;
    void* Map(std::size_t size, std::size_t align) noexcept override;
    void Unmap(void* p, std::size_t size) noexcept override;
};

// Which 64 KB granules of the address space belong to our chunks. Lookups are
// plain loads; bits are only ever set while the chunk list is locked, and
// cleared when a test instance releases its chunks.
class ChunkMap {
public:
    constexpr ChunkMap() = default;
    ~ChunkMap();
    ChunkMap(const ChunkMap&) = delete;
    ChunkMap& operator=(const ChunkMap&) = delete;

    bool Contains(const void* p) const noexcept {
        const std::uintptr_t a = Addr(p);
        if (a >> kAddressBits) return false;
        const std::atomic<std::uint64_t>* leaf =
            top_[a >> kLeafShift].load(std::memory_order_acquire);
        if (leaf == nullptr) return false;
        const std::uintptr_t g = (a >> kGranuleShift) & (kLeafGranules - 1);
        return (leaf[g >> 6].load(std::memory_order_relaxed) >> (g & 63)) & 1;
    }
    bool Add(const void* start, std::size_t size) noexcept;
    void Remove(const void* start, std::size_t size) noexcept;

private:
    static constexpr int kAddressBits = 48;
    static constexpr int kGranuleShift = 16;
    static constexpr int kLeafShift = 36;
    static constexpr std::uintptr_t kLeafGranules = std::uintptr_t{1}
                                                    << (kLeafShift - kGranuleShift);
    static constexpr std::size_t kLeafBytes = kLeafGranules / 8;
    static constexpr std::size_t kTopEntries = std::size_t{1} << (kAddressBits - kLeafShift);

    std::atomic<std::atomic<std::uint64_t>*> top_[kTopEntries]{};
};

struct SizeClassRecord {
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
        if (n > kMaxRequest) [[unlikely]]
            return nullptr;
        const std::size_t m = (n + 7) & ~std::size_t{3};
        const int k = SizeClass(m);
        SizeClassRecord& c = classes_[k];
        BlockHeader* h;
        if (c.head != kEndOfList) [[likely]] {
            h = AsBlock(c.head);
            c.head = NextFree(h);
            c.count.store(c.count.load(std::memory_order_relaxed) - 1, std::memory_order_relaxed);
        } else {
            h = GetBlock(k);
            if (h == nullptr) return nullptr;
        }
        h->state = kUsed;
        SetUsedSize(h, m);
        return PayloadOf(h);
    }

    // 0 released; -1 not in our chunks; -2 in our chunks but not a used block
    // (a second release, or not a block start).
    int FreeMem(void* p) noexcept {
        const Ownership o = Classify(p);
        if (o != Ownership::Used) [[unlikely]]
            return o == Ownership::Foreign ? -1 : -2;
        BlockHeader* h = HeaderOf(p);
        h->state = kFree;
        PushFree(h);
        return 0;
    }

    // nullptr when p is not a used block of ours, or when a move finds no
    // memory (p then stays valid).
    void* ReallocMem(void* p, std::size_t n) noexcept;

    Ownership Classify(const void* p) const noexcept {
        if (!map_->Contains(HeaderOf(p))) return Ownership::Foreign;
        const BlockHeader* h = HeaderOf(p);
        if ((Addr(p) & 31) != 0 || h->state != kUsed || h->cls < kMinClass || h->cls > kMaxClass)
            return Ownership::Invalid;
        return Ownership::Used;
    }

    void PushFree(BlockHeader* h) noexcept {
        SizeClassRecord& c = classes_[h->cls];
        NextFree(h) = c.head;
        c.head = Addr(h);
        const std::int32_t n = c.count.load(std::memory_order_relaxed) + 1;
        c.count.store(n, std::memory_order_relaxed);
        if (n > c.pushLimit) [[unlikely]]
            OnOverLimit();
    }

    void TakeBatch(TransferBatch& b) noexcept;
    void PutBatch(TransferBatch& b) noexcept;

    // Inspection, for the pools and the invariant checker.
    const SizeClassRecord& Class(int k) const { return classes_[k]; }
    std::int32_t Count(int k) const { return classes_[k].count.load(std::memory_order_relaxed); }
    const ChunkMap& Chunks() const { return *map_; }

protected:
    constexpr explicit TBlockManager(const ChunkMap* map, bool pooled) : map_(map) {
        for (int k = 0; k < kClassCount; ++k) {
            const ClassLimits l = LimitsOf(k);
            classes_[k].low = l.low;
            classes_[k].target = l.target;
            classes_[k].high = l.high;
            classes_[k].pushLimit = pooled ? l.high : INT32_MAX;
        }
    }

    virtual void OnOverLimit() noexcept {}

    BlockHeader* TryGetBlock(int k) noexcept;
    BlockHeader* GetBlock(int k) noexcept;
    void SplitBlock(BlockHeader* h, int k) noexcept;
    void PushRaw(BlockHeader* h) noexcept;
    BlockHeader* PopRaw(int k) noexcept;
    void SetSplitBatch(int k, std::int32_t v) { classes_[k].splitBatch = v; }

private:
    const ChunkMap* map_;
    SizeClassRecord classes_[kClassCount];
};

// A block manager that owns chunks.
class TMemManager : public TBlockManager {
public:
    constexpr explicit TMemManager(PageSource* pages)
        : TBlockManager(&map_, false), pages_(pages) {}
    ~TMemManager() override;

    bool HasFree(int k) noexcept override { return Count(k) > 0; }
    bool GetMoreMemory(std::size_t size) noexcept override;
    void ProvideBlocks(int k, std::int32_t& n) noexcept override;

    // First chunk of the address-sorted list, kEndOfList when empty.
    std::uintptr_t ChunkList() const { return chunks_; }
    PageSource* Pages() const { return pages_; }

    // Bytes of a fresh chunk made to serve a block of class k.
    static std::size_t ChunkSizeFor(int k);

private:
    void AddChunk(ChunkHeader* c) noexcept;
    void CarveRange(BlockHeader* before, BlockHeader* end) noexcept;

    ChunkMap map_;
    PageSource* pages_;
    std::uintptr_t chunks_ = kEndOfList;
};

} // namespace ax::memory
