// The heap's structure check: walks every chunk block by block and every
// free list, noting addresses in scratch pages mapped for the check, and
// names the first fault found.
#include "memory/HeapChecker.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/mman.h>

namespace ax::memory {

namespace {

// An array of addresses in pages of its own.
class Scratch {
public:
    explicit Scratch(std::size_t capacity) : capacity_(capacity) {
        if (capacity_ == 0) return;
        void* p = mmap(nullptr, Bytes(), PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        data_ = p == MAP_FAILED ? nullptr : static_cast<std::uintptr_t*>(p);
    }
    ~Scratch() {
        if (data_ != nullptr) munmap(data_, Bytes());
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    bool Ok() const { return capacity_ == 0 || data_ != nullptr; }
    bool Push(std::uintptr_t a) {
        if (size_ == capacity_) return false;
        data_[size_++] = a;
        return true;
    }
    void Sort() { std::sort(data_, data_ + size_); }
    bool Contains(std::uintptr_t a) const { return std::binary_search(data_, data_ + size_, a); }
    std::size_t Size() const { return size_; }
    std::uintptr_t operator[](std::size_t i) const { return data_[i]; }

private:
    std::size_t Bytes() const { return capacity_ * sizeof(std::uintptr_t); }
    std::uintptr_t* data_ = nullptr;
    std::size_t capacity_;
    std::size_t size_ = 0;
};

class Checker {
public:
    Checker(const HeapCheckScope& scope, char* fault, std::size_t size)
        : scope_(scope), fault_(fault), faultSize_(size) {
        if (faultSize_ > 0) fault_[0] = 0;
    }

    bool Run() {
        const std::size_t chunks = CountChunks();
        if (chunks == kTooMany) return Fail(0, "chunk list does not end");
        Scratch starts(chunks);
        if (!starts.Ok()) return Fail(0, "no scratch memory");
        std::size_t freeBlocks = 0;
        for (std::uintptr_t c = scope_.owner->ChunkList(); c != kEndOfList;
             c = reinterpret_cast<const ChunkHeader*>(c)->next) {
            starts.Push(c);
            if (!CheckChunk(c, freeBlocks)) return false;
        }
        starts.Sort();
        for (std::size_t i = 1; i < starts.Size(); ++i) {
            const auto* prev = reinterpret_cast<const ChunkHeader*>(starts[i - 1]);
            if (starts[i - 1] + prev->size > starts[i]) return Fail(starts[i], "chunks overlap");
        }
        for (std::uintptr_t c = scope_.owner->ReleasedList(); c != kEndOfList;
             c = reinterpret_cast<const ChunkHeader*>(c)->next) {
            const auto* chunk = reinterpret_cast<const ChunkHeader*>(c);
            if (chunk->head.state != kChunkStart) return Fail(c, "bad header of a released chunk");
            if (starts.Contains(c)) return Fail(c, "released chunk still carved");
            if (scope_.owner->Chunks().ChunkOf(chunk) != c)
                return Fail(c, "released chunk lost its address range");
        }

        Scratch listed(freeBlocks);
        if (!listed.Ok()) return Fail(0, "no scratch memory");
        if (!CheckLists(*scope_.owner, listed)) return false;
        for (std::size_t i = 0; i < scope_.poolCount; ++i) {
            if (!CheckLists(*scope_.pools[i], listed)) return false;
        }
        listed.Sort();
        for (std::size_t i = 1; i < listed.Size(); ++i) {
            if (listed[i] == listed[i - 1]) return Fail(listed[i], "block on two lists");
        }
        if (scope_.complete && listed.Size() != freeBlocks)
            return Fail(0, "a free block is on no list");
        return true;
    }

private:
    static constexpr std::size_t kTooMany = ~std::size_t{0};

    std::size_t CountChunks() const {
        std::size_t n = 0;
        for (std::uintptr_t c = scope_.owner->ChunkList(); c != kEndOfList;
             c = reinterpret_cast<const ChunkHeader*>(c)->next) {
            if (++n > (std::size_t{1} << 32)) return kTooMany;
        }
        return n;
    }

    bool CheckChunk(std::uintptr_t c, std::size_t& freeBlocks) {
        const auto* chunk = reinterpret_cast<const ChunkHeader*>(c);
        if (chunk->head.state != kChunkStart || chunk->head.cls != 0)
            return Fail(c, "bad chunk header");
        if (scope_.owner->Chunks().ChunkOf(chunk) != c ||
            scope_.owner->Chunks().ChunkOf(reinterpret_cast<const char*>(c) + chunk->size - 1) != c)
            return Fail(c, "chunk not in the chunk map");
        const std::uintptr_t end = c + chunk->size - kHeaderSize;
        const std::uintptr_t first = c + kChunkHeaderSize;
        std::uintptr_t pos = first;
        int prev = 0;
        while (pos < end) {
            // One read of the header: other threads may be switching the
            // block between free and used while a partial check runs, and
            // two reads of its state could see both.
            const std::uint32_t word =
                __atomic_load_n(reinterpret_cast<const std::uint32_t*>(pos), __ATOMIC_RELAXED);
            BlockHeader hdr;
            std::memcpy(&hdr, &word, sizeof hdr);
            const BlockHeader* h = &hdr;
            if (h->cls < kMinClass || h->cls > kMaxClass) return Fail(pos, "block class out of range");
            if (h->state != kFree && h->state != UsedState(h->cls))
                return Fail(pos, "block state out of range");
            if (((pos + kHeaderSize) & ClassAlignMask(h->cls)) != 0)
                return Fail(pos, "block not aligned to its class");
            if (h->prevCls != prev) return Fail(pos, "previous-class byte disagrees with the walk");
            // The last byte is looked at only when nothing moves.
            if (h->state != kFree) {
                const std::size_t used = UsedSize(h);
                if (scope_.complete && (used < kHeaderSize || used > (std::size_t{1} << h->cls)))
                    return Fail(pos, "used size out of range");
            } else {
                if (scope_.complete && h->used > kSparse)
                    return Fail(pos, "free block's zero state out of range");
                ++freeBlocks;
            }
            prev = h->cls;
            pos += std::uintptr_t{1} << h->cls;
        }
        if (pos != end) return Fail(pos, "blocks do not tile the chunk");
        if (CarvedBytes(chunk) != end - first) return Fail(c, "carved size disagrees with the walk");
        const auto* sentinel = AsBlock(end);
        if (sentinel->state != kChunkEnd) return Fail(end, "missing end sentinel");
        if (sentinel->prevCls != prev) return Fail(end, "end sentinel's previous class is wrong");
        return true;
    }

    bool CheckLists(const TBlockManager& m, Scratch& listed) {
        const ChunkMap& map = scope_.owner->Chunks();
        for (int k = 0; k < kClassCount; ++k) {
            const SizeClassRecord& r = m.Class(k);
            if (r.splitBatch != 1) return Fail(0, "split batch left changed");
            const std::int32_t count = r.count.load(std::memory_order_relaxed);
            std::int32_t n = 0;
            std::uint32_t runLeft = 0;
            std::uintptr_t runLast = 0;
            for (std::uintptr_t b = r.head; b != kEndOfList; b = NextFree(AsBlock(b))) {
                const std::uintptr_t chunk = map.ChunkOf(AsBlock(b));
                if (chunk == 0 || (b & 31) != 28) return Fail(b, "listed block is not in a chunk");
                const auto* h = AsBlock(b);
                if (h->state != kFree) return Fail(b, "listed block is not free");
                if (h->cls != k) return Fail(b, "listed under the wrong class");
                if (++n > count) return Fail(b, "list longer than its count");
                if (!listed.Push(b)) return Fail(b, "more blocks listed than the chunks hold free");
                if (!m.Segmented()) continue;
                if (runLeft == 0) {
                    runLeft = SegmentLength(AsBlock(b));
                    runLast = SegmentLast(AsBlock(b));
                    if (runLeft == 0) return Fail(b, "run of no blocks");
                }
                if (--runLeft == 0 && b != runLast) return Fail(b, "run ends elsewhere than it says");
            }
            if (n != count) return Fail(0, "list shorter than its count");
            if (runLeft != 0) return Fail(0, "list ends inside a run");
        }
        return true;
    }

    bool Fail(std::uintptr_t at, const char* what) {
        if (faultSize_ > 0) std::snprintf(fault_, faultSize_, "at 0x%lx: %s", at, what);
        return false;
    }

    const HeapCheckScope& scope_;
    char* fault_;
    std::size_t faultSize_;
};

} // namespace

bool CheckHeap(const HeapCheckScope& scope, char* fault, std::size_t faultSize) noexcept {
    return Checker(scope, fault, faultSize).Run();
}

} // namespace ax::memory
