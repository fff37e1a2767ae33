// The shared helpers: words, bitmap cells, transparent drawing, text
// shortening and the message queue helper.
#include <gtest/gtest.h>

#include "controls/CtrlUtils.h"
#include "controls/ExConst.h"
#include "controls/MaxMin.h"
#include "controls/StrUtils.h"
#include "framework_fixture.h"

namespace ax {
namespace {

using test::FrameworkTest;

TEST(StrUtils, WordsAreRunsOutsideTheDelimiters) {
    const TCharSet comma(",");
    EXPECT_EQ(ExtractWord(4, "12,345,6", comma), "");
    EXPECT_EQ(WordPosition(4, "12,345,6", comma), 0);
    EXPECT_EQ(ExtractWord(2, "12,345,6", comma), "345");
    EXPECT_EQ(WordPosition(2, ",,ab,,cd", comma), 7);
    EXPECT_EQ(ExtractWord(2, ",,ab,,cd", comma), "cd");
    EXPECT_EQ(WordPosition(1, ",,,", comma), 0);
    EXPECT_EQ(WordPosition(0, "a", comma), 0);
    const TCharSet blanks(" \t");
    EXPECT_EQ(ExtractWord(3, "  one\ttwo  three ", blanks), "three");
}

TEST(MaxMin, PicksTheSignedExtremes) {
    EXPECT_EQ(Max(-3, 2), 2);
    EXPECT_EQ(Min(-3, 2), -3);
    EXPECT_EQ(Max(INT32_MIN, INT32_MAX), INT32_MAX);
}

class CtrlUtilsTest : public FrameworkTest {};

// A 96 x 48 bitmap of 6 x 3 cells of 16 x 16, each filled with a colour
// that names its index.
void PaintCells(TBitmap& b) {
    b.SetSize(96, 48);
    for (int i = 0; i < 18; ++i) {
        b.Canvas().Brush().SetColor(TColor(RGB(10 * i, 0, 0)));
        const int x = (i % 6) * 16, y = (i / 6) * 16;
        b.Canvas().FillRect({x, y, x + 16, y + 16});
    }
}

TEST_F(CtrlUtilsTest, AssignBitmapCellCopiesOneCellRowMajor) {
    TBitmap source;
    PaintCells(source);
    source.SetTransparentColor(clFuchsia);
    source.SetTransparent(true);
    TBitmap cell;
    AssignBitmapCell(source, cell, 6, 3, 8); // column 2, row 1: the cell at (32, 16)
    EXPECT_EQ(cell.Width(), 16);
    EXPECT_EQ(cell.Height(), 16);
    EXPECT_EQ(cell.Canvas().Pixel(0, 0), RGB(80, 0, 0));
    EXPECT_EQ(cell.Canvas().Pixel(15, 15), RGB(80, 0, 0));
    EXPECT_EQ(cell.TransparentColor(), clFuchsia);
    EXPECT_TRUE(cell.Transparent());
    // Out-of-range arguments are brought back into range.
    AssignBitmapCell(source, cell, 0, 0, -4);
    EXPECT_EQ(cell.Width(), 96);
    EXPECT_EQ(cell.Canvas().Pixel(95, 47), RGB(170, 0, 0));
}

TEST_F(CtrlUtilsTest, TransparentDrawingLeavesTheKeyColourOut) {
    TBitmap glyph;
    glyph.SetSize(4, 4);
    glyph.Canvas().Brush().SetColor(clFuchsia);
    glyph.Canvas().FillRect({0, 0, 4, 4});
    glyph.Canvas().Brush().SetColor(clBlue);
    glyph.Canvas().FillRect({1, 1, 3, 3});
    TBitmap target;
    target.SetSize(8, 8);
    target.Canvas().Brush().SetColor(clLime);
    target.Canvas().FillRect({0, 0, 8, 8});
    DrawBitmapTransparent(target.Canvas(), 2, 2, glyph, clFuchsia);
    EXPECT_EQ(target.Canvas().Pixel(2, 2), RGB(0, 255, 0));
    EXPECT_EQ(target.Canvas().Pixel(3, 3), RGB(0, 0, 255));
    EXPECT_EQ(target.Canvas().Pixel(4, 4), RGB(0, 0, 255));
    EXPECT_EQ(target.Canvas().Pixel(5, 5), RGB(0, 255, 0));
    // clDefault takes the bottom-left pixel (fuchsia) as the key; stretched twice.
    target.Canvas().FillRect({0, 0, 8, 8});
    StretchBitmapTransparent(target.Canvas(), glyph, clDefault, 0, 0, 8, 8, 0, 0, 0, 0);
    EXPECT_EQ(target.Canvas().Pixel(1, 1), RGB(0, 255, 0));
    EXPECT_EQ(target.Canvas().Pixel(2, 2), RGB(0, 0, 255));
    EXPECT_EQ(target.Canvas().Pixel(5, 5), RGB(0, 0, 255));
    EXPECT_EQ(target.Canvas().Pixel(6, 6), RGB(0, 255, 0));
    // clNone copies every pixel.
    target.Canvas().FillRect({0, 0, 8, 8});
    DrawBitmapTransparent(target.Canvas(), 0, 0, glyph, clNone);
    EXPECT_EQ(target.Canvas().Pixel(0, 0), RGB(255, 0, 255));
}

TEST_F(CtrlUtilsTest, DisabledBitmapEmbossesTheOutlineColour) {
    TBitmap glyph;
    glyph.SetSize(6, 6);
    glyph.Canvas().Brush().SetColor(clWhite);
    glyph.Canvas().FillRect({0, 0, 6, 6});
    glyph.Canvas().SetPixel(2, 2, clBlack);
    std::unique_ptr<TBitmap> disabled = CreateDisabledBitmap(glyph, clBlack);
    ASSERT_EQ(disabled->Width(), 6);
    EXPECT_EQ(disabled->Canvas().Pixel(2, 2), ColorToRGB(clBtnShadow));
    EXPECT_EQ(disabled->Canvas().Pixel(3, 3), ColorToRGB(clBtnHighlight));
    EXPECT_EQ(disabled->Canvas().Pixel(0, 0), ColorToRGB(clBtnFace));
    EXPECT_EQ(disabled->Canvas().Pixel(4, 4), ColorToRGB(clBtnFace));
}

TEST_F(CtrlUtilsTest, ShortenTextKeepsTheLongestHeadThatFits) {
    TBitmap b;
    b.SetSize(10, 10);
    TCanvas& c = b.Canvas(); // the test font: 7 pixels a character
    EXPECT_EQ(ShortenText("abcdef", c, 42), "abcdef");
    EXPECT_EQ(ShortenText("abcdefgh", c, 42), "abc...");
    EXPECT_EQ(ShortenText("abcdefgh", c, 20), "...");
    EXPECT_EQ(ShortenText("ab", c, 1), "...");
}

TEST_F(CtrlUtilsTest, KillMessageNeverLosesAQuitRequest) {
    TForm* form = app->CreateForm<TForm>();
    const HWND h = form->Handle();
    PostMessage(h, WM_USER + 5, 1, 0);
    PostMessage(h, WM_USER + 5, 2, 0);
    KillMessage(h, WM_USER + 5);
    MSG m;
    ASSERT_TRUE(PeekMessage(m, h, WM_USER + 5, WM_USER + 5, PM_REMOVE));
    EXPECT_EQ(m.wParam, 2u);
    // A quit request taken by the filter comes back for the outer loop.
    PostQuitMessage(7);
    KillMessage(nullptr, WM_QUIT);
    ASSERT_TRUE(PeekMessage(m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_EQ(m.wParam, 7u);
}

TEST_F(CtrlUtilsTest, ForegroundTaskIsTheThreadOfTheActiveWindow) {
    TForm* form = app->CreateForm<TForm>();
    form->Show();
    app->ProcessMessages();
    SwitchToWindow(form->Handle(), true);
    EXPECT_TRUE(IsForegroundTask());
    EXPECT_EQ(GetFocus(), form->Handle());
}

TEST_F(CtrlUtilsTest, ExCursorsAreRegisteredWithTheScreen) {
    RegisterExCursors();
    EXPECT_NE(Screen()->Cursors(crHand), Screen()->Cursors(crArrow));
    EXPECT_NE(Screen()->Cursors(crDragHand), Screen()->Cursors(crArrow));
}

} // namespace
} // namespace ax
