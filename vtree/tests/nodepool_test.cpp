// The node pool: blocks always come zero-filled, whichever way they are
// made, and room reserved ahead is used before any new chunk, survives the
// last block going back, and goes with Trim.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "NodePool.h"
#include "fixture.h"

namespace ax {
namespace {

constexpr size_t kBlock = 96;
// 256 KiB less 256 bytes, in blocks of 96 bytes.
constexpr size_t kPerChunk = (256 * 1024 - 256) / kBlock;

bool AllZero(const void* block) {
    const auto* p = static_cast<const unsigned char*>(block);
    for (size_t i = 0; i < kBlock; ++i)
        if (p[i] != 0) return false;
    return true;
}

void Scribble(void* block) { std::memset(block, 0xAB, kBlock); }

TEST(NodePool, EveryBlockComesZeroFilledWhetherNewReservedOrReused) {
    TNodePool pool(kBlock);
    void* fresh = pool.Allocate();
    EXPECT_TRUE(AllZero(fresh));
    Scribble(fresh);
    void* other = pool.Allocate();
    pool.Release(fresh);
    void* reused = pool.Allocate();
    EXPECT_EQ(reused, fresh) << "a released block is given first";
    EXPECT_TRUE(AllZero(reused));
    // Room reserved after blocks were written and given back: the reserve's
    // blocks are clean, and so are those of the chunk given before.
    Scribble(reused);
    Scribble(other);
    pool.Release(reused);
    pool.Release(other);
    pool.Reserve(3 * kPerChunk);
    std::vector<void*> blocks;
    for (size_t i = 0; i < 3 * kPerChunk + 5; ++i) {
        blocks.push_back(pool.Allocate());
        ASSERT_TRUE(AllZero(blocks.back())) << "block " << i;
        Scribble(blocks.back());
    }
    for (void* b : blocks) pool.Release(b);
    // All back: chunks made on demand are zeroed block by block too.
    for (size_t i = 0; i < kPerChunk + 1; ++i) ASSERT_TRUE(AllZero(pool.Allocate())) << "block " << i;
}

TEST(NodePool, ReservedRoomIsUsedBeforeAnyNewChunkAndBlocksNeverOverlap) {
    TNodePool pool(kBlock);
    void* first = pool.Allocate();
    const size_t oneChunk = pool.ReservedBytes();
    ASSERT_GT(oneChunk, kBlock);
    EXPECT_EQ(pool.Room(), 0u) << "a chunk made on demand is no reserve";
    pool.Reserve(2 * kPerChunk + 10);
    const size_t reserved = pool.ReservedBytes();
    EXPECT_EQ(reserved, 4 * oneChunk);
    EXPECT_EQ(pool.Room(), 3 * kPerChunk);
    // Asking again for what is there already makes nothing.
    pool.Reserve(2 * kPerChunk);
    EXPECT_EQ(pool.ReservedBytes(), reserved);
    std::set<const std::byte*> starts{static_cast<const std::byte*>(first)};
    // The first chunk's room first, then the reserve's.
    for (size_t i = 0; i < 3 * kPerChunk - 1; ++i) starts.insert(static_cast<const std::byte*>(pool.Allocate()));
    EXPECT_EQ(pool.ReservedBytes(), reserved) << "no chunk made on demand";
    EXPECT_EQ(pool.Room(), kPerChunk);
    for (size_t i = 0; i < 11; ++i) starts.insert(static_cast<const std::byte*>(pool.Allocate()));
    EXPECT_EQ(pool.ReservedBytes(), reserved);
    ASSERT_EQ(starts.size(), 3 * kPerChunk + 11);
    for (auto it = starts.begin(), next = std::next(it); next != starts.end(); ++it, ++next)
        ASSERT_GE(size_t(*next - *it), kBlock);
    EXPECT_EQ(pool.Live(), 3 * kPerChunk + 11);
}

TEST(NodePool, TheReserveOutlivesTheLastBlockAndTrimGivesBackOnlyTheUnused) {
    TNodePool pool(kBlock);
    std::vector<void*> old;
    for (int i = 0; i < 10; ++i) old.push_back(pool.Allocate());
    pool.Reserve(kPerChunk * 2);
    const size_t reserved = pool.ReservedBytes();
    // The folder shown goes before the new one's nodes are made.
    for (void* b : old) pool.Release(b);
    EXPECT_EQ(pool.Live(), 0u);
    EXPECT_EQ(pool.Room(), kPerChunk * 2) << "the reserve stays";
    EXPECT_EQ(pool.ReservedBytes(), reserved * 2 / 3) << "the chunk that held the old blocks goes";
    const size_t kept = pool.ReservedBytes();
    for (size_t i = 0; i < kPerChunk + 3; ++i) pool.Allocate();
    EXPECT_EQ(pool.ReservedBytes(), kept);
    // What was not used goes back; the blocks given stay good.
    void* last = pool.Allocate();
    pool.Trim();
    EXPECT_EQ(pool.ReservedBytes(), kept) << "both reserved chunks have given blocks";
    Scribble(last);
    TNodePool idle(kBlock);
    idle.Reserve(5 * kPerChunk);
    EXPECT_EQ(idle.ReservedBytes(), 5 * ((256 * 1024 - 256)));
    idle.Trim();
    EXPECT_EQ(idle.ReservedBytes(), 0u);
    EXPECT_EQ(idle.Room(), 0u);
    // A new block size drops the reserve with the rest.
    idle.Reserve(10);
    idle.SetBlockSize(2 * kBlock);
    EXPECT_EQ(idle.ReservedBytes(), 0u);
    EXPECT_TRUE(AllZero(idle.Allocate()));
}

using test::TreeTest;

TEST_F(TreeTest, NodesMadeFromTheReserveAreCleanAndTheReserveCanBeGivenBack) {
    auto* tree = BareTree();
    tree->SetRootNodeCount(3);
    for (PDataNode n = tree->GetFirst(); n; n = tree->GetNextSibling(n)) {
        n->CheckState = csCheckedNormal;
        std::memset(tree->GetNodeData(n), 0x5A, size_t(tree->NodeDataSize()));
    }
    const size_t before = tree->NodeMemoryBytes();
    tree->ReserveNodes(20000);
    EXPECT_GT(tree->NodeMemoryBytes(), before);
    tree->Clear();
    const size_t reserved = tree->NodeMemoryBytes();
    tree->SetRootNodeCount(20000);
    EXPECT_EQ(tree->NodeMemoryBytes(), reserved) << "the nodes took the reserve";
    int dirty = 0;
    for (PDataNode n = tree->GetFirst(); n; n = tree->GetNextSibling(n)) {
        const auto* data = static_cast<const unsigned char*>(tree->GetNodeData(n));
        for (int i = 0; i < tree->NodeDataSize(); ++i) dirty += data[i] != 0;
        dirty += n->CheckState != csUncheckedNormal;
    }
    EXPECT_EQ(dirty, 0);
    // Room asked for and not used goes back.
    tree->Clear();
    tree->SetRootNodeCount(1);
    const size_t one = tree->NodeMemoryBytes();
    tree->ReserveNodes(50000);
    ASSERT_GT(tree->NodeMemoryBytes(), one);
    tree->DropNodeReserve();
    EXPECT_EQ(tree->NodeMemoryBytes(), one);
}

} // namespace
} // namespace ax
