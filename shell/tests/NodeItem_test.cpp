// The item bytes a record keeps: held in place up to 12 bytes with the
// terminator, elsewhere beyond; whatever the form, the bytes read back are
// the ones given, terminated.
#include "shell/NodeItem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace ax::testing {
namespace {

using Bytes = std::vector<uint8_t>;

// A file item: size word, kind 0x31, the name.
Bytes FileItem(const std::string& name) {
    const size_t size = name.size() + 3;
    Bytes item(size);
    item[0] = uint8_t(size & 0xFF);
    item[1] = uint8_t(size >> 8);
    item[2] = 0x31;
    std::copy(name.begin(), name.end(), item.begin() + 3);
    return item;
}
Bytes Held(const TNodeItem& item, size_t size) {
    return Bytes(item.Bytes(), item.Bytes() + size);
}
bool InPlace(const TNodeItem& item) {
    const auto* at = reinterpret_cast<const uint8_t*>(&item);
    return item.Bytes() >= at && item.Bytes() < at + sizeof item;
}

TEST(NodeItemTest, NamesOnEitherSideOfTheInlineLimitReadBackTerminated) {
    EXPECT_EQ(sizeof(TNodeItem), 12u);
    struct Case {
        std::string name;
        Bytes expected;
        bool inPlace;
    };
    const std::string longName(255, 'n');
    Bytes longExpected{0x02, 0x01, 0x31};
    longExpected.insert(longExpected.end(), 255, 'n');
    longExpected.insert(longExpected.end(), {0, 0});
    const Case cases[] = {
        {"a", {0x04, 0x00, 0x31, 'a', 0, 0}, true},
        {"abcdefg", {0x0A, 0x00, 0x31, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 0, 0}, true},
        {"abcdefgh", {0x0B, 0x00, 0x31, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0, 0}, false},
        {longName, longExpected, false},
    };
    for (const Case& c : cases) {
        TNodeItem item;
        const Bytes bytes = FileItem(c.name);
        item.Set(bytes.data(), bytes.size());
        ASSERT_TRUE(item.Held()) << c.name.size();
        EXPECT_EQ(Held(item, c.expected.size()), c.expected) << c.name.size();
        EXPECT_EQ(InPlace(item), c.inPlace) << c.name.size();
    }
}

TEST(NodeItemTest, EmptyPidlIsHeldAndNoneIsNot) {
    TNodeItem item;
    EXPECT_FALSE(item.Held());
    EXPECT_EQ(item.Bytes(), nullptr);

    item.Set(nullptr, 0);
    ASSERT_TRUE(item.Held()) << "the desktop's empty PIDL is a PIDL";
    EXPECT_EQ(Held(item, 2), (Bytes{0, 0}));

    item.Reset();
    EXPECT_FALSE(item.Held());
}

TEST(NodeItemTest, ReplacingMovingAndSettingFromItsOwnBytes) {
    const Bytes shortItem = FileItem("ab"), longItem = FileItem("a-much-longer-name.txt");
    TNodeItem item;
    item.Set(longItem.data(), longItem.size());
    item.Set(shortItem.data(), shortItem.size());
    EXPECT_EQ(Held(item, 7), (Bytes{0x05, 0x00, 0x31, 'a', 'b', 0, 0}));
    EXPECT_TRUE(InPlace(item));
    item.Set(longItem.data(), longItem.size());
    EXPECT_FALSE(InPlace(item));

    // Its own bytes, a prefix of them: what was held goes only after the copy.
    item.Set(item.Bytes(), 10);
    EXPECT_EQ(Held(item, 12), (Bytes{0x19, 0x00, 0x31, 'a', '-', 'm', 'u', 'c', 'h', '-', 0, 0}));
    item.Set(longItem.data(), longItem.size());
    item.Set(item.Bytes(), longItem.size() - 1);
    EXPECT_EQ(Held(item, longItem.size() + 1).back(), 0);
    EXPECT_EQ(Held(item, longItem.size() - 1), Bytes(longItem.begin(), longItem.end() - 1));

    // A move takes the bytes whatever their form and leaves none behind.
    item.Set(longItem.data(), longItem.size());
    TNodeItem moved(std::move(item));
    EXPECT_FALSE(item.Held());
    EXPECT_EQ(Held(moved, longItem.size()), longItem);
    TNodeItem placed;
    placed.Set(shortItem.data(), shortItem.size());
    moved = std::move(placed);
    EXPECT_FALSE(placed.Held());
    EXPECT_EQ(Held(moved, 7), (Bytes{0x05, 0x00, 0x31, 'a', 'b', 0, 0}));
    EXPECT_TRUE(InPlace(moved));
}

} // namespace
} // namespace ax::testing
