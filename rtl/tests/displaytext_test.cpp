// Names shown with escapes: a hand-written table of names (byte strings)
// and the forms a person sees, that no two names share and that the
// escapes lead back to the bytes.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "rtl/displaytext.h"

using namespace ax;

namespace {

struct Shown {
    std::string name;
    std::string display;
};

const Shown kTable[] = {
    {"plain.txt", "plain.txt"},
    {"/a path/with ~ and !", "/a path/with ~ and !"},  // the ends of plain ASCII
    {"\x1F~", "\\x1F~"},                            // just below them
    {"caf\xC3\xA9", "caf\xC3\xA9"},                  // é is text
    {"two\nlines", "two\\nlines"},                    // a line feed
    {"tab\there", "tab\\there"},                      // a tab
    {"back\\slash", "back\\\\slash"},                 // a backslash itself
    {"bell\x07", "bell\\x07"},                        // another control character
    {"cr\r", "cr\\x0D"},                              // a carriage return
    {"del\x7F", "del\\x7F"},                          // DEL
    {"latin1-\xE9", "latin1-\\xE9"},                  // a byte that is not UTF-8
    {"\xFF\xFE", "\\xFF\\xFE"},                       // two of them
    {"cut-\xE2\x82", "cut-\\xE2\\x82"},               // a cut sequence
    {"over\xC0\xAF", "over\\xC0\\xAF"},               // an overlong form
    {"c1-\xC2\x85", "c1-\\xC2\\x85"},                 // U+0085, a C1 control: both bytes
    {"c1-\x85", "c1-\\x85"},                          // the lone byte 0x85
    {"smile\xF0\x9F\x98\x80", "smile\xF0\x9F\x98\x80"}, // outside the BMP, text
    {"looks\\nlike", "looks\\\\nlike"},               // a backslash and n, not a line feed
    {"looks\\xE9", "looks\\\\xE9"},                   // a backslash and xE9, not a byte
};

} // namespace

TEST(DisplayText, NamesShowTheirControlsAndForeignBytesAsEscapes) {
    for (const Shown& s : kTable) {
        EXPECT_EQ(EscapedName(s.name), s.display) << s.display;
        // The same in 16-bit text, where foreign bytes are U+DC80..U+DCFF.
        EXPECT_EQ(WideToUtf8(EscapedName(Utf8ToWide(s.name))), s.display) << s.display;
    }
}

TEST(DisplayText, NoTwoNamesLookTheSameAndEachFormLeadsBack) {
    std::set<std::string> seen;
    for (const Shown& s : kTable) {
        EXPECT_TRUE(seen.insert(s.display).second) << s.display << " shown for two names";
        std::string bytes;
        ASSERT_TRUE(UnescapeName(s.display, bytes)) << s.display;
        EXPECT_EQ(bytes, s.name);
    }
    // Any byte string, not only the table's.
    std::mt19937 rng(20261207);
    for (int round = 0; round < 2000; ++round) {
        std::string name(rng() % 24, '\0');
        for (char& c : name) c = static_cast<char>(rng() & 0xFF);
        std::string bytes;
        ASSERT_TRUE(UnescapeName(EscapedName(name), bytes));
        ASSERT_EQ(bytes, name) << "round " << round;
    }
}

TEST(DisplayText, ABackslashThatStartsNoEscapeIsRefused) {
    std::string bytes;
    EXPECT_TRUE(UnescapeName("new\\x0a", bytes)); // lower-case hex typed by hand
    EXPECT_EQ(bytes, "new\n");
    for (const char* bad : {"C:\\new folder\\b", "end\\", "\\x4", "\\xZZ", "\\u00e9"})
        EXPECT_FALSE(UnescapeName(bad, bytes)) << bad;
}
