#include <gtest/gtest.h>

#include <random>

#include "rtl/exceptions.h"
#include "rtl/text.h"

using namespace ax;

TEST(Text, AnyByteStringSurvivesWideRoundTrip) {
    std::mt19937 rng(20261206);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(rng() % 40, '\0');
        for (char& c : bytes) c = static_cast<char>(rng() & 0xFF);
        ASSERT_EQ(WideToUtf8(Utf8ToWide(bytes)), bytes) << "round " << round;
    }
}

TEST(Text, InvalidBytesTravelAsLowSurrogateEscapes) {
    // Valid text converts as text.
    EXPECT_EQ(Utf8ToWide("a\xC3\xA9"), u"a\u00E9");
    EXPECT_EQ(Utf8ToWide("\xF0\x9F\x98\x80"), std::u16string({0xD83D, 0xDE00}));
    // A stray byte, an overlong form, an encoded surrogate and a cut sequence
    // each become one escape a byte.
    EXPECT_EQ(Utf8ToWide("\xFF"), std::u16string({0xDCFF}));
    EXPECT_EQ(Utf8ToWide("\xC0\xAF"), std::u16string({0xDCC0, 0xDCAF}));
    EXPECT_EQ(Utf8ToWide("\xED\xA0\x80"), std::u16string({0xDCED, 0xDCA0, 0xDC80}));
    EXPECT_EQ(Utf8ToWide("x\xE2\x82"), std::u16string({u'x', 0xDCE2, 0xDC82}));
    EXPECT_EQ(Utf8ToWide("\xF4\x90\x80\x80"), std::u16string({0xDCF4, 0xDC90, 0xDC80, 0xDC80}));
    // And back to the same bytes.
    EXPECT_EQ(WideToUtf8(std::u16string({0xDCC0, 0xDCAF})), "\xC0\xAF");
}

TEST(Text, LoneSurrogatesInWideTextAreNotDropped) {
    const std::u16string lone({u'a', 0xD800, u'b'});
    const std::string bytes = WideToUtf8(lone);
    EXPECT_EQ(bytes, "a\xED\xA0\x80" "b");
}

TEST(Text, CaseFoldingIsSimpleAndLocaleFree) {
    EXPECT_EQ(CompareText("readme.TXT", "README.txt"), 0);
    EXPECT_EQ(CompareText("\xC3\x84rger", "\xC3\xA4RGER"), 0);                 // Ä / ä
    EXPECT_EQ(WideCompareText(u"\u03A3\u03C2", u"\u03C3\u03C3"), 0);           // Σς / σσ
    EXPECT_NE(CompareText("Stra\xC3\x9F" "e", "STRASSE"), 0);                   // ß does not expand
    EXPECT_LT(CompareText("apple", "Banana"), 0);
    EXPECT_GT(CompareText("b", "A"), 0);
    EXPECT_TRUE(SameText("\xFF" "abc", "\xFF" "ABC"));
    EXPECT_EQ(FoldCase(std::string("A\xFF" "B")), "a\xFF" "b");
}

TEST(Text, UpperAndLowerCase) {
    EXPECT_EQ(UpperCase("abc\xC3\xA9"), "ABC\xC3\xA9"); // only ASCII letters change
    EXPECT_EQ(AnsiUpperCase("abc\xC3\xA9"), "ABC\xC3\x89");
    EXPECT_EQ(WideLowerCase(u"\u00C9T\u00C9"), u"\u00E9t\u00E9");
    EXPECT_EQ(CompareStr("B", "a"), -1);
}

TEST(Text, IntegerParsing) {
    EXPECT_EQ(StrToInt(" 42 "), 42);
    EXPECT_EQ(StrToInt("$FF"), 255);
    EXPECT_EQ(StrToInt("0x10"), 16);
    EXPECT_EQ(StrToInt("-9223372036854775808"), INT64_MIN);
    EXPECT_THROW(StrToInt("9223372036854775808"), EConvertError);
    EXPECT_THROW(StrToInt("12a"), EConvertError);
    EXPECT_THROW(StrToInt(""), EConvertError);
    EXPECT_EQ(StrToIntDef("x", 7), 7);
    try {
        StrToInt("abc");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'abc' is not a valid integer value");
    }
}

TEST(Text, FormatTakesBothStringKinds) {
    EXPECT_EQ(Format("%s=%d", std::string("n"), 5), "n=5");
    EXPECT_EQ(Format("[%s]", std::u16string(u"\u00E9")), "[\xC3\xA9]");
    EXPECT_EQ(Format("List index out of bounds (%d)", -1), "List index out of bounds (-1)");
    EXPECT_EQ(IntToHex(0xBEEF, 8), "0000BEEF");
    EXPECT_EQ(Trim("\t a b \n"), "a b");
    EXPECT_EQ(SplitString("a,,b", ','), (std::vector<std::string>{"a", "", "b"}));
}
