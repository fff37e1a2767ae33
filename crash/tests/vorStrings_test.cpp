#include "crash/vorStrings.h"
#include "crash/vorTypes.h"

#include <gtest/gtest.h>

namespace ax::vor {
namespace {

TEST(VorStrings, CaseFoldingCoversLatin1) {
    EXPECT_TRUE(SameText("caf\xe9", "CAF\xc9")); // e acute small and capital
    EXPECT_TRUE(SameText("\x8a\x8c\x8e\x9f", "\x9a\x9c\x9e\xff"));
    EXPECT_FALSE(SameText("\xd7", "\xf7")); // multiplication sign is no letter
    EXPECT_FALSE(SameText("abc", "abcd"));
    EXPECT_EQ(CaseFoldTable[static_cast<unsigned char>('Q')], 'q');
    EXPECT_EQ(DigitTable[static_cast<unsigned char>('f')], 15);
    EXPECT_EQ(DigitTable[static_cast<unsigned char>('G')], 0);
    EXPECT_EQ(LowChar('\xc0'), '\xe0');
    EXPECT_EQ(UpStr("a\xe4\xf6\xfcz\xe9"), "A\xc4\xd6\xdcZ\xe9");
}

TEST(VorStrings, CompareTextByFoldedBytesThenLength) {
    EXPECT_EQ(CompareText("abc", "ABC"), 0);
    EXPECT_EQ(CompareText("abd", "abc"), 1);
    EXPECT_EQ(CompareText("ab", "abcd"), -2);
    EXPECT_EQ(CompareText("B", "a"), 1);
}

TEST(VorStrings, TrimAndRemove) {
    EXPECT_EQ(TrimCopy("\t\x01 x y \r\n"), "x y");
    std::string s = " \x1f ";
    TrimInPlace(s);
    EXPECT_EQ(s, "");
    s = "a-b_c";
    EXPECT_TRUE(RemoveChars(s, "-_"));
    EXPECT_EQ(s, "abc");
    EXPECT_FALSE(RemoveChars(s, "xyz"));
}

TEST(VorStrings, ReplaceWithAndWithoutRescan) {
    std::string s = "a    b";
    EXPECT_TRUE(ReplaceStr(s, "  ", " "));
    EXPECT_EQ(s, "a  b");
    s = "a    b";
    EXPECT_TRUE(ReplaceStr(s, "  ", " ", true));
    EXPECT_EQ(s, "a b");
    s = "Abc abc";
    EXPECT_TRUE(ReplaceText(s, "ABC", "x"));
    EXPECT_EQ(s, "x x");
    s = "Abc";
    EXPECT_FALSE(ReplaceStr(s, "abc", "x"));
    // A longer replacement resumes one character into the inserted text.
    s = "ab-b";
    EXPECT_TRUE(ReplaceStr(s, "b-", "-b-", true));
    EXPECT_EQ(s, "a-b-b");
}

TEST(VorStrings, RescanEndsWhenTheNewTextHoldsTheOld) {
    std::string s = "xax";
    EXPECT_TRUE(ReplaceStr(s, "a", "aa", true));
    EXPECT_EQ(s, "xaax");
    s = "a";
    EXPECT_TRUE(ReplaceText(s, "a", "A", true));
    EXPECT_EQ(s, "A");
}

TEST(VorStrings, PartsOfStrings) {
    EXPECT_EQ(DeleteCopy("abcdef", 2, 3), "aef");
    EXPECT_EQ(DeleteCopy("abc", 5, 1), "abc");
    std::string s = "abcdef";
    CopyInPlace(s, 3, 2);
    EXPECT_EQ(s, "cd");
    EXPECT_EQ(RightStr("abcdef", 2), "ef");
    EXPECT_EQ(RightStr("ab", 5), "ab");
}

TEST(VorStrings, PositionsForwardBackwardAndRanged) {
    EXPECT_EQ(PosStr("b", "abcabc"), 2);
    EXPECT_EQ(PosStr("B", "abcabc"), 0);
    EXPECT_EQ(PosText("B", "abcabc"), 2);
    EXPECT_EQ(PosStr("b", "abcabc", 3), 5);
    EXPECT_EQ(PosStr("b", "abcabc", posFromEnd, 1), 5);
    EXPECT_EQ(PosStr("b", "abcabc", 4, 1), 2);
    EXPECT_EQ(PosStr("bc", "abcabc", 1, 2), 0); // match would leave the range
    EXPECT_EQ(PosStr("", "abc"), 0);
    EXPECT_EQ(RawSearch("c", "abcabc", 1, 0, -1 + 6, false, 6), 2);
    EXPECT_EQ(RawSearch("zz", "abc", 2, 0, 2, false, 3), -1);
    EXPECT_TRUE(StartsWithText("", "x"));
    EXPECT_TRUE(StartsWithText("AB", "abc"));
    EXPECT_FALSE(StartsWithText("abcd", "abc"));
    EXPECT_EQ(PosChars(";,", "a,b;c"), 2);
    EXPECT_EQ(PosChars(";,", "a,b;c", posFromEnd, 1), 4);
    EXPECT_EQ(PosChars("x", "a,b;c"), 0);
}

TEST(VorStrings, FillAndPad) {
    std::string s = "-5";
    FillStr(s, 3, true, '0');
    EXPECT_EQ(s, "-0005");
    s = "-5";
    FillStr(s, 2, true, ' ');
    EXPECT_EQ(s, "  -5");
    s = "ab";
    PadStr(s, -4, '.');
    EXPECT_EQ(s, "ab..");
    s = "ab";
    PadStr(s, 4, '.');
    EXPECT_EQ(s, "..ab");
    s = "abcdef";
    PadStr(s, 3, '.');
    EXPECT_EQ(s, "abcdef");
}

TEST(VorStrings, NumbersToTextAndBack) {
    EXPECT_EQ(IntToStrEx(std::int32_t{0}), "0");
    EXPECT_EQ(IntToStrEx(std::int32_t{-42}), "-42");
    EXPECT_EQ(IntToStrEx(std::int64_t{INT64_MIN}), "-9223372036854775808");
    EXPECT_EQ(IntToHexEx(0u), "0");
    EXPECT_EQ(IntToHexEx(255u), "ff");
    EXPECT_EQ(IntToHexEx(std::uint64_t{0x100000001}), "100000001");
    EXPECT_EQ(IntToHexEx(std::uint64_t{0xabc}), "abc");
    EXPECT_EQ(IntToHexEx(std::uint64_t{4096}, 8, '0'), "$00001000");
    EXPECT_EQ(IntToHexEx(std::uint64_t{255}, 5, ' '), "   $ff");
    EXPECT_EQ(IntToStrEx(std::int64_t{-7}, 4, '0'), "-007");
    EXPECT_EQ(IntToStrEx(std::int64_t{7}, -3, ' '), "7  ");
    EXPECT_EQ(StrToIntEx(false, "-123", 4), -123);
    EXPECT_EQ(StrToIntEx(true, "1F", 2), 31);
    EXPECT_EQ(StrToIntEx(true, "00001000", 8), 4096);
    EXPECT_EQ(StrToIntEx(false, "12", 1), 1);
}

TEST(VorStrings, DelimitedLists) {
    std::string s = ";;a;;;b;";
    CollapseSeparators(s, ';');
    EXPECT_EQ(s, "a;b");
    EXPECT_EQ(SubStrCount("", ';'), 0);
    EXPECT_EQ(SubStrCount("a;b;c", ';'), 3);
    EXPECT_EQ(SubStr("a;b;c", 2, ';'), "b");
    EXPECT_EQ(SubStr("a;b;c", 3, ';'), "c");
    EXPECT_EQ(SubStr("a;b;c", 4, ';'), "");
    EXPECT_TRUE(IsTextInList("EAbort,EMyError", "emyerror", ','));
    EXPECT_FALSE(IsTextInList("EAbortX,XEAbort", "EAbort", ','));
    EXPECT_TRUE(IsTextInList("EAbortX,EAbort", "EAbort", ','));
}

TEST(VorStrings, SizeTexts) {
    const std::string sep(1, DecimalSeparator());
    EXPECT_EQ(SizeToStr(1023), "1023 Bytes");
    EXPECT_EQ(SizeToStr(1024), "1" + sep + "00 KB");
    EXPECT_EQ(SizeToStr(1536), "1" + sep + "50 KB");
    EXPECT_EQ(SizeToStr(3 * 1024 * 1024 + 512 * 1024), "3" + sep + "50 MB");
    EXPECT_EQ(SizeToStr(5ll * 1024 * 1024 * 1024), "5" + sep + "00 GB");
}

TEST(VorStrings, ErrorTextsAndWidening) {
    EXPECT_EQ(ErrorCodeToStr(2), "No such file or directory");
    // Status words of another system are not error numbers here.
    EXPECT_EQ(ErrorCodeToStr(0x80070002), "Unknown error $80070002");
    EXPECT_EQ(ErrorCodeToStr(0xC0000005), "Unknown error $c0000005");
    EXPECT_EQ(ErrorCodeToStr(0x40010005), "Unknown error $40010005");
    EXPECT_EQ(ErrorCodeToStr(99999), "Unknown error $1869f");
    EXPECT_EQ(WidenStr("a\xe9", false), std::u16string(u"a\u00e9"));
    EXPECT_EQ(WidenStr("ab", true).size(), 3u);
}

TEST(VorException, CarriesItsMessage) {
    try {
        throw VorException("Stream write error.");
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Stream write error.");
    }
}

} // namespace
} // namespace ax::vor
