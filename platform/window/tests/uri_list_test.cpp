// File lists exchanged with other programs: what goes out is what other
// programs expect byte for byte, and what comes in is read with care.
#include "uri_list.h"

#include <gtest/gtest.h>

namespace ax::wm {
namespace {

using Paths = std::vector<std::string>;

TEST(UriList, PathsGoOutEscapedWithCrLfAfterEachUri) {
    EXPECT_EQ(MakeUriList({"/home/u/a b.txt", "/tmp/100%_é#1"}),
              "file:///home/u/a%20b.txt\r\nfile:///tmp/100%25_%C3%A9%231\r\n");
    EXPECT_EQ(MakeUriList({}), "");
}

TEST(UriList, CopiedFilesSayCopyOrCutFirst) {
    EXPECT_EQ(MakeCopiedFiles({"/a", "/b c"}, false), "copy\nfile:///a\nfile:///b%20c");
    EXPECT_EQ(MakeCopiedFiles({"/a"}, true), "cut\nfile:///a");
}

TEST(UriList, LocalFileUrisComeInAsPaths) {
    EXPECT_EQ(ReadUriList("file:///a%20b\r\n# a comment\r\nfile://localhost/c\nfile:///d%C3%A9"),
              (Paths{"/a b", "/c", "/dé"}));
    // Another host's files, other schemes and broken escapes are left out.
    EXPECT_EQ(ReadUriList("file://elsewhere/x\r\nhttp://h/y\r\nfile:///bad%2\r\nfile:///bad%zz\r\n"
                          "file:///ok\r\n"),
              (Paths{"/ok"}));
    // A NUL hidden in an escape would cut the path short somewhere else.
    EXPECT_EQ(ReadUriList("file:///a%00b\r\n"), Paths{});
    EXPECT_EQ(ReadUriList(""), Paths{});
}

TEST(UriList, CopiedFilesComeInWithTheirTrailingNul) {
    Paths paths;
    bool cut = true;
    const std::string copied("copy\nfile:///a\nfile:///b%20c\0", 29);
    ASSERT_TRUE(ReadCopiedFiles(copied, paths, cut));
    EXPECT_FALSE(cut);
    EXPECT_EQ(paths, (Paths{"/a", "/b c"}));
    ASSERT_TRUE(ReadCopiedFiles("cut\r\nfile:///x\r\n", paths, cut));
    EXPECT_TRUE(cut);
    EXPECT_EQ(paths, Paths{"/x"});
    ASSERT_TRUE(ReadCopiedFiles("cut", paths, cut));
    EXPECT_EQ(paths, Paths{});
    EXPECT_FALSE(ReadCopiedFiles("move\nfile:///x", paths, cut));
    EXPECT_FALSE(ReadCopiedFiles("", paths, cut));
}

} // namespace
} // namespace ax::wm
