#include "test_canvas.h"

#include <gtest/gtest.h>

using namespace ax;
using namespace ax::test;

namespace {

class TestFont : public ::testing::Test {
protected:
    void SetUp() override {
        SetTestFont(true);
        SelectObject(c.dc(), HFONT{GetStockObject(DEFAULT_GUI_FONT)});
    }
    void TearDown() override { SetTestFont(false); }
    Canvas c{200, 80};
    int calc(std::string_view text, RECT& r, UINT format) {
        return DrawText(c.dc(), text, &r, format | DT_CALCRECT);
    }
};

} // namespace

TEST_F(TestFont, MetricsAndExtentsAreFixed) {
    TEXTMETRIC tm;
    ASSERT_TRUE(GetTextMetrics(c.dc(), &tm));
    EXPECT_EQ(tm.tmHeight, 13);
    EXPECT_EQ(tm.tmAscent, 10);
    EXPECT_EQ(tm.tmDescent, 3);
    EXPECT_EQ(tm.tmAveCharWidth, 7);
    SIZE s;
    ASSERT_TRUE(GetTextExtentPoint32(c.dc(), "Hello", &s));
    EXPECT_EQ(s, (SIZE{35, 13}));
    ASSERT_TRUE(GetTextExtentPoint32W(c.dc(), u"\u00e9t\u00e9", &s));
    EXPECT_EQ(s.cx, 21); // characters, not bytes
    GetTextExtentPoint32(c.dc(), "", &s);
    EXPECT_EQ(s.cx, 0);
}

TEST_F(TestFont, EndEllipsisFitsAsManyCharactersAsPossible) {
    std::string text = "abcdefghij"; // 70 px
    RECT r{0, 0, 50, 13};
    DrawTextEx(c.dc(), &text, &r, DT_SINGLELINE | DT_END_ELLIPSIS | DT_MODIFYSTRING | DT_NOPREFIX,
               nullptr);
    EXPECT_EQ(text, "abcd..."); // 7 x 7 = 49 <= 50
    std::string fits = "abc";
    DrawTextEx(c.dc(), &fits, &r, DT_SINGLELINE | DT_END_ELLIPSIS | DT_MODIFYSTRING, nullptr);
    EXPECT_EQ(fits, "abc");
    std::string tiny = "abcdef";
    RECT narrow{0, 0, 10, 13};
    DrawTextEx(c.dc(), &tiny, &narrow, DT_SINGLELINE | DT_END_ELLIPSIS | DT_MODIFYSTRING, nullptr);
    EXPECT_EQ(tiny, "...");
    // Without DT_MODIFYSTRING the caller's text stays.
    std::string keep = "abcdefghij";
    DrawTextEx(c.dc(), &keep, &r, DT_SINGLELINE | DT_END_ELLIPSIS, nullptr);
    EXPECT_EQ(keep, "abcdefghij");
}

TEST_F(TestFont, PathEllipsisKeepsTheLastPart) {
    std::string path = "C:\\dir\\sub\\file.txt"; // 19 characters
    RECT r{0, 0, 100, 13};
    DrawTextEx(c.dc(), &path, &r, DT_SINGLELINE | DT_PATH_ELLIPSIS | DT_MODIFYSTRING | DT_NOPREFIX,
               nullptr);
    EXPECT_EQ(path, "C:...\\file.txt"); // 14 x 7 = 98
    std::string longName = "C:\\a\\averyveryverylongname.txt";
    RECT small{0, 0, 70, 13};
    DrawTextEx(c.dc(), &longName, &small, DT_SINGLELINE | DT_PATH_ELLIPSIS | DT_MODIFYSTRING,
               nullptr);
    EXPECT_EQ(longName, "...\\ave..."); // 10 characters
    std::string noSeparator = "abcdefghijkl";
    DrawTextEx(c.dc(), &noSeparator, &small, DT_SINGLELINE | DT_PATH_ELLIPSIS | DT_MODIFYSTRING,
               nullptr);
    EXPECT_EQ(noSeparator, "abcdefg...");
    std::u16string wide = u"C:\\dir\\sub\\file.txt";
    DrawTextExW(c.dc(), &wide, &r, DT_SINGLELINE | DT_PATH_ELLIPSIS | DT_MODIFYSTRING, nullptr);
    EXPECT_EQ(wide, u"C:...\\file.txt");
}

TEST_F(TestFont, WordBreakAndCalcRect) {
    RECT r{10, 5, 60, 5}; // 50 px wide
    EXPECT_EQ(calc("aaa bbb ccc", r, DT_WORDBREAK), 26);
    EXPECT_EQ(r, (RECT{10, 5, 59, 31})); // "aaa bbb" is 49 px
    RECT w{0, 0, 50, 0};
    EXPECT_EQ(calc("abcdefghijkl xy", w, DT_WORDBREAK), 26);
    EXPECT_EQ(w.right, 84); // the long word is not broken; the rectangle widens
    RECT lines{0, 0, 200, 0};
    EXPECT_EQ(calc("one\r\ntwo\nthree", lines, 0), 39);
    EXPECT_EQ(lines.right, 35);
    RECT single{0, 0, 200, 0};
    EXPECT_EQ(calc("one\r\ntwo", single, DT_SINGLELINE), 13);
    EXPECT_EQ(single.right, 56); // line breaks show as spaces
    RECT empty{3, 4, 50, 50};
    EXPECT_EQ(calc("", empty, DT_WORDBREAK), 0);
    EXPECT_EQ(empty, (RECT{3, 4, 3, 4}));
    RECT leading{0, 0, 200, 0};
    DRAWTEXTPARAMS p;
    p.iLeftMargin = 5;
    p.iRightMargin = 3;
    std::string t = "ab";
    DrawTextEx(c.dc(), &t, &leading, DT_CALCRECT | DT_SINGLELINE, &p);
    EXPECT_EQ(leading.right, 22);
    EXPECT_EQ(p.uiLengthDrawn, 2u);
}

TEST_F(TestFont, PrefixesAndTabs) {
    RECT r{0, 0, 200, 0};
    calc("&File", r, DT_SINGLELINE);
    EXPECT_EQ(r.right, 28);
    r = RECT{0, 0, 200, 0};
    calc("A&&B", r, DT_SINGLELINE);
    EXPECT_EQ(r.right, 21);
    r = RECT{0, 0, 200, 0};
    calc("&File", r, DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_EQ(r.right, 35);
    r = RECT{0, 0, 200, 0};
    calc("a\tb", r, DT_SINGLELINE | DT_EXPANDTABS);
    EXPECT_EQ(r.right, 63); // tab stops every 8 average characters
    r = RECT{0, 0, 200, 0};
    DRAWTEXTPARAMS p;
    p.iTabLength = 2;
    std::string tab = "a\tb";
    DrawTextEx(c.dc(), &tab, &r, DT_SINGLELINE | DT_EXPANDTABS | DT_CALCRECT, &p);
    EXPECT_EQ(r.right, 21);
    r = RECT{0, 0, 200, 20};
    EXPECT_EQ(DrawText(c.dc(), "a\tb", &r, DT_SINGLELINE | DT_EXPANDTABS | DT_TABSTOP | (2 << 8)),
              13);
    EXPECT_EQ(GetTabbedTextExtent(c.dc(), "ab\tc", 0, nullptr) & 0xFFFF, 63u);
    int stops[2] = {10, 40};
    EXPECT_EQ(GetTabbedTextExtent(c.dc(), "a\tb\tc", 2, stops) & 0xFFFF, 47u);
}

TEST_F(TestFont, DrawnPixelsSitWhereTheLayoutSays) {
    SetTextColor(c.dc(), RGB(0, 0, 0));
    SetBkColor(c.dc(), RGB(0, 255, 0));
    TextOut(c.dc(), 0, 0, "A B");
    EXPECT_EQ(c.px(0, 0), RGB(0, 255, 0)); // opaque cell
    EXPECT_EQ(c.px(1, 2), RGB(0, 0, 0));   // box of "A": x 1..5, y 2..9
    EXPECT_EQ(c.px(5, 9), RGB(0, 0, 0));
    EXPECT_EQ(c.px(6, 9), RGB(0, 255, 0));
    EXPECT_EQ(c.px(10, 5), RGB(0, 255, 0)); // the space
    EXPECT_EQ(c.px(15, 5), RGB(0, 0, 0));
    EXPECT_EQ(c.px(20, 12), RGB(0, 255, 0));
    EXPECT_EQ(c.px(21, 12), RGB(255, 255, 255));

    SetBkMode(c.dc(), TRANSPARENT);
    RECT r{0, 20, 100, 53};
    EXPECT_EQ(DrawText(c.dc(), "ab", &r, DT_SINGLELINE | DT_VCENTER | DT_RIGHT), 23);
    // Top of the line at 20 + (33 - 13) / 2 = 30; right-aligned from 86.
    EXPECT_EQ(c.px(87, 32), RGB(0, 0, 0));
    EXPECT_EQ(c.px(86, 32), RGB(255, 255, 255));
    EXPECT_EQ(c.px(87, 31), RGB(255, 255, 255));
    EXPECT_EQ(c.px(98, 39), RGB(0, 0, 0));

    // The accelerator is underlined under its character only.
    RECT u{0, 60, 100, 73};
    DrawText(c.dc(), "a&bc", &u, DT_SINGLELINE);
    EXPECT_EQ(c.px(7, 71), RGB(0, 0, 0));
    EXPECT_EQ(c.px(13, 71), RGB(0, 0, 0));
    EXPECT_EQ(c.px(6, 71), RGB(255, 255, 255));
    EXPECT_EQ(c.px(14, 71), RGB(255, 255, 255));
}

TEST_F(TestFont, TextIsClippedToTheRectangleUnlessNoClip) {
    SetBkMode(c.dc(), TRANSPARENT);
    RECT r{0, 0, 10, 13};
    DrawText(c.dc(), "abc", &r, DT_SINGLELINE);
    EXPECT_EQ(c.px(8, 5), RGB(0, 0, 0));
    EXPECT_EQ(c.px(10, 5), RGB(255, 255, 255));
    RECT n{0, 20, 10, 33};
    DrawText(c.dc(), "abc", &n, DT_SINGLELINE | DT_NOCLIP);
    EXPECT_EQ(c.px(10, 25), RGB(0, 0, 0));
}

TEST_F(TestFont, ExtTextOutOpaqueAndClippingRectangles) {
    SetBkColor(c.dc(), RGB(0, 0, 255));
    SetBkMode(c.dc(), TRANSPARENT);
    RECT r{0, 0, 10, 20};
    ASSERT_TRUE(ExtTextOut(c.dc(), 0, 0, ETO_OPAQUE | ETO_CLIPPED, &r, "abc"));
    EXPECT_EQ(c.px(9, 15), RGB(0, 0, 255)); // the opaque rectangle, also below the text
    EXPECT_EQ(c.px(8, 5), RGB(0, 0, 0));
    EXPECT_EQ(c.px(10, 5), RGB(255, 255, 255)); // clipped
    // Per-character advances.
    const int dx[2] = {20, 20};
    ExtTextOut(c.dc(), 0, 30, 0, nullptr, "ab", dx);
    EXPECT_EQ(c.px(21, 35), RGB(0, 0, 0));
    EXPECT_EQ(c.px(8, 35), RGB(255, 255, 255));
    // Alignment to the right edge and the baseline.
    SetTextAlign(c.dc(), TA_RIGHT | TA_BASELINE);
    TextOut(c.dc(), 100, 70, "a");
    EXPECT_EQ(c.px(94, 62), RGB(0, 0, 0));
    EXPECT_EQ(c.px(94, 69), RGB(0, 0, 0));
    EXPECT_EQ(c.px(94, 70), RGB(255, 255, 255));
}

TEST(RealText, PangoPathMeasuresAndDraws) {
    SetTestFont(false);
    EXPECT_FALSE(ResolveFontFamily("Courier New").empty());
    Canvas c(100, 20);
    SIZE s;
    ASSERT_TRUE(GetTextExtentPoint32(c.dc(), "Hello", &s));
    EXPECT_GT(s.cx, 0);
    EXPECT_GT(s.cy, 0);
    RECT r{0, 0, 100, 20};
    EXPECT_GT(DrawText(c.dc(), "Hello", &r, DT_SINGLELINE), 0);
}

TEST(RealText, EachFontKeepsItsOwnMetrics) {
    SetTestFont(false);
    Canvas c(10, 10);
    auto metricsOf = [&](int height, int weight, const char* face) {
        HFONT font = CreateFont(height, 0, 0, 0, weight, 0, 0, 0, 0, 0, 0, 0, 0, face);
        HFONT old = SelectObject(c.dc(), font);
        TEXTMETRIC tm{};
        GetTextMetrics(c.dc(), &tm);
        SIZE s{};
        GetTextExtentPoint32(c.dc(), "Wide text", &s);
        SelectObject(c.dc(), old);
        DeleteObject(font);
        return std::pair<int, int>{tm.tmHeight, int(s.cx)};
    };
    // Asked again, a font measures the same; another size or weight does not
    // get the first one's figures.
    const auto small = metricsOf(-11, FW_NORMAL, "Arial");
    const auto large = metricsOf(-24, FW_NORMAL, "Arial");
    const auto bold = metricsOf(-24, FW_BOLD, "Arial");
    EXPECT_EQ(metricsOf(-11, FW_NORMAL, "Arial"), small);
    EXPECT_EQ(metricsOf(-24, FW_NORMAL, "Arial"), large);
    EXPECT_GT(large.first, small.first);
    EXPECT_GT(large.second, small.second);
    EXPECT_GT(bold.second, large.second);
    // A positive height is the cell height, whatever was asked before.
    EXPECT_EQ(metricsOf(30, FW_NORMAL, "Arial").first, metricsOf(30, FW_NORMAL, "Arial").first);
    EXPECT_LE(std::abs(metricsOf(30, FW_NORMAL, "Arial").first - 30), 2);
}
