#include <gtest/gtest.h>

#include <vector>

#include "platform/shellns/pidl.h"

using namespace ax;

namespace {
// Builds PIDL bytes from items given as (kind, payload).
std::vector<uint8_t> Pidl(std::initializer_list<std::pair<uint8_t, std::string>> items) {
    std::vector<uint8_t> out;
    for (const auto& [kind, payload] : items) {
        const size_t cb = payload.size() + 3;
        out.push_back(static_cast<uint8_t>(cb));
        out.push_back(static_cast<uint8_t>(cb >> 8));
        out.push_back(kind);
        out.insert(out.end(), payload.begin(), payload.end());
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}
PCItemIDList P(const std::vector<uint8_t>& bytes) { return reinterpret_cast<PCItemIDList>(bytes.data()); }
} // namespace

TEST(Pidl, ItemBytesAreCountKindPayload) {
    IMalloc* m = nullptr;
    ASSERT_EQ(SHGetMalloc(&m), S_OK);
    const int64_t live = m->LiveBlocks();
    PItemIDList item = ILCreateItem(PIDL_KIND_FILE, "a\xFF");
    ASSERT_NE(item, nullptr);
    const auto* b = reinterpret_cast<const uint8_t*>(item);
    EXPECT_EQ(b[0], 5);
    EXPECT_EQ(b[1], 0);
    EXPECT_EQ(b[2], 0x31);
    EXPECT_EQ(b[3], 'a');
    EXPECT_EQ(b[4], 0xFF);
    EXPECT_EQ(b[5], 0);
    EXPECT_EQ(b[6], 0);
    EXPECT_EQ(ILByteSize(item), 7u);
    EXPECT_EQ(ILItemPayload(item), "a\xFF");
    m->Free(item);
    EXPECT_EQ(m->LiveBlocks(), live);
}

TEST(Pidl, EqualityAndParenthood) {
    const auto desktop = Pidl({});
    const auto home = Pidl({{PIDL_KIND_VOLUME, "/"}, {PIDL_KIND_FILE, "home"}});
    const auto home2 = Pidl({{PIDL_KIND_VOLUME, "/"}, {PIDL_KIND_FILE, "home"}});
    const auto user = Pidl({{PIDL_KIND_VOLUME, "/"}, {PIDL_KIND_FILE, "home"}, {PIDL_KIND_FILE, "u"}});
    const auto Home = Pidl({{PIDL_KIND_VOLUME, "/"}, {PIDL_KIND_FILE, "Home"}});
    EXPECT_TRUE(ILIsEqual(P(home), P(home2)));
    EXPECT_FALSE(ILIsEqual(P(home), P(Home))); // two names on Linux, two items
    EXPECT_FALSE(ILIsEqual(P(home), P(user)));
    EXPECT_FALSE(ILIsEqual(nullptr, P(home)));
    EXPECT_TRUE(ILIsParent(P(desktop), P(user), false));
    EXPECT_FALSE(ILIsParent(P(desktop), P(user), true));
    EXPECT_TRUE(ILIsParent(P(home), P(user), true));
    EXPECT_FALSE(ILIsParent(P(home), P(home2), false)); // equal is not parent
    EXPECT_FALSE(ILIsParent(P(user), P(home), false));
    EXPECT_FALSE(ILIsParent(P(Home), P(user), false));
    EXPECT_EQ(ILItemCount(P(user)), 3);
    EXPECT_EQ(ILItemCount(P(desktop)), 0);
}

TEST(Pidl, ValidationRejectsBrokenChains) {
    const auto ok = Pidl({{PIDL_KIND_FILE, "x"}});
    EXPECT_TRUE(ILIsValid(ok.data(), ok.size()));
    EXPECT_TRUE(ILIsValid("\0\0", 2));
    EXPECT_FALSE(ILIsValid(ok.data(), ok.size() - 1));           // terminator cut
    const uint8_t tooShortItem[] = {2, 0, 0, 0};                  // cb below 3
    EXPECT_FALSE(ILIsValid(tooShortItem, sizeof tooShortItem));
    const uint8_t pastEnd[] = {9, 0, 0x31, 'a', 0, 0};            // cb runs out of the block
    EXPECT_FALSE(ILIsValid(pastEnd, sizeof pastEnd));
    const uint8_t trailing[] = {0, 0, 7};                         // bytes after the terminator
    EXPECT_FALSE(ILIsValid(trailing, sizeof trailing));
}

TEST(Pidl, AllocatorCountsAndFails) {
    IMalloc* m = nullptr;
    ASSERT_EQ(SHGetMalloc(&m), S_OK);
    const int64_t live = m->LiveBlocks();
    m->FailNextAllocations(1);
    EXPECT_EQ(ILCreateItem(PIDL_KIND_FILE, "x"), nullptr);
    void* block = m->Alloc(10);
    EXPECT_EQ(m->GetSize(block), 10u);
    block = m->Realloc(block, 100);
    EXPECT_EQ(m->LiveBlocks(), live + 1);
    m->Free(block);
    EXPECT_EQ(m->LiveBlocks(), live);
    SetTaskAllocatorUnavailable(true);
    IMalloc* none = m;
    EXPECT_EQ(SHGetMalloc(&none), E_FAIL);
    EXPECT_EQ(none, nullptr);
    SetTaskAllocatorUnavailable(false);
}
