#include "HeapChecker.h"

#include <sstream>
#include <unordered_set>

namespace ax::memory::testing {

namespace {

std::string Fault(std::uintptr_t at, const std::string& what) {
    std::ostringstream s;
    s << "at 0x" << std::hex << at << ": " << what;
    return s.str();
}

} // namespace

std::string CheckHeap(const TMemManager& owner, const std::vector<const TBlockManager*>& pools) {
    std::unordered_set<std::uintptr_t> freeBlocks;
    std::uintptr_t previousEnd = 0;
    for (std::uintptr_t c = owner.ChunkList(); c != kEndOfList;) {
        const auto* chunk = reinterpret_cast<const ChunkHeader*>(c);
        if (c < previousEnd) return Fault(c, "chunk list not sorted or chunks overlap");
        if (c == previousEnd) return Fault(c, "adjacent chunks not merged");
        if (chunk->head.state != kChunkStart || chunk->head.cls != 0)
            return Fault(c, "bad chunk header");
        const std::uintptr_t end = c + chunk->size - kHeaderSize;
        std::uintptr_t pos = c + kChunkHeaderSize;
        int prev = 0;
        while (pos < end) {
            auto* h = AsBlock(pos);
            if (h->state == kChunkEnd) {
                // A chunk that absorbed its successor: the old end sentinel,
                // then the successor's header.
                if (h->prevCls != prev)
                    return Fault(pos, "inner sentinel's previous class is wrong");
                auto* next = AsBlock(pos + kHeaderSize);
                if (next->state != kChunkStart)
                    return Fault(pos, "inner sentinel not followed by a chunk header");
                pos += kHeaderSize + kChunkHeaderSize;
                prev = 0;
                continue;
            }
            if (h->cls < kMinClass || h->cls > kMaxClass)
                return Fault(pos, "block class out of range");
            if (h->state != kFree && h->state != kUsed)
                return Fault(pos, "block state out of range");
            if (h->prevCls != prev)
                return Fault(pos, "previous-class byte disagrees with the walk");
            if (h->state == kUsed) {
                const std::size_t used = UsedSize(h);
                if (used < kHeaderSize || used > (std::size_t{1} << h->cls))
                    return Fault(pos, "used size out of range");
            } else {
                freeBlocks.insert(pos);
            }
            prev = h->cls;
            pos += std::uintptr_t{1} << h->cls;
        }
        if (pos != end) return Fault(pos, "blocks do not tile the chunk");
        const auto* sentinel = AsBlock(end);
        if (sentinel->state != kChunkEnd) return Fault(end, "missing end sentinel");
        if (sentinel->prevCls != prev) return Fault(end, "end sentinel's previous class is wrong");
        previousEnd = c + chunk->size;
        c = chunk->next;
    }

    std::vector<const TBlockManager*> all{&owner};
    all.insert(all.end(), pools.begin(), pools.end());
    std::unordered_set<std::uintptr_t> listed;
    for (const TBlockManager* m : all) {
        for (int k = 0; k < kClassCount; ++k) {
            const SizeClassRecord& r = m->Class(k);
            if (r.splitBatch != 1) return Fault(0, "split batch left changed");
            std::int32_t n = 0;
            for (std::uintptr_t b = r.head; b != kEndOfList; b = NextFree(AsBlock(b))) {
                if (!freeBlocks.contains(b))
                    return Fault(b, "listed block is not a free block of a chunk");
                if (AsBlock(b)->cls != k) return Fault(b, "listed under the wrong class");
                if (!listed.insert(b).second) return Fault(b, "block on two lists");
                if (++n > r.count.load()) return Fault(b, "list longer than its count");
            }
            if (n != r.count.load())
                return Fault(0, "list shorter than its count, class " + std::to_string(k));
        }
    }
    if (listed.size() != freeBlocks.size()) return Fault(0, "a free block is on no list");
    return {};
}

std::string CheckHeap(const TMainMemManager& main) {
    std::vector<const TBlockManager*> pools;
    for (std::uint32_t i = 1; i <= main.PoolCount(); ++i)
        pools.push_back(main.Pool(i));
    return CheckHeap(main, pools);
}

} // namespace ax::memory::testing
