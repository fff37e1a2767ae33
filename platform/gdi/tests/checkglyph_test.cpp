// The one rule every control uses for its check boxes and radio buttons.
#include "platform/gdi/checkglyph.h"
#include "test_canvas.h"

#include <gtest/gtest.h>

using namespace ax;
using namespace ax::test;

namespace {

// The 13 x 13 glyph drawn alone on a white canvas, as bytes.
std::string Glyph(bool radio, CheckMark mark, bool inactive) {
    Canvas c(13, 13);
    EXPECT_TRUE(DrawCheckOrRadio(c.dc(), RECT{0, 0, 13, 13}, radio, mark, inactive));
    return c.snapshot();
}

} // namespace

TEST(CheckGlyph, StatesOfBoxesAndRadioButtons) {
    EXPECT_EQ(CheckGlyphState(false, CheckMark::Unchecked, false), 0x0000u);
    EXPECT_EQ(CheckGlyphState(false, CheckMark::Checked, false), 0x0400u);
    EXPECT_EQ(CheckGlyphState(false, CheckMark::Grayed, false), 0x0408u); // three-state, checked
    EXPECT_EQ(CheckGlyphState(false, CheckMark::Checked, true), 0x0500u);
    EXPECT_EQ(CheckGlyphState(true, CheckMark::Unchecked, false), 0x0004u);
    EXPECT_EQ(CheckGlyphState(true, CheckMark::Checked, true), 0x0504u);
    EXPECT_EQ(CheckGlyphState(true, CheckMark::Grayed, false), 0x0004u); // no gray radio
}

TEST(CheckGlyph, EveryMarkLooksDifferentExceptAGrayedRadioButton) {
    const std::string unchecked = Glyph(false, CheckMark::Unchecked, false);
    const std::string checked = Glyph(false, CheckMark::Checked, false);
    const std::string grayed = Glyph(false, CheckMark::Grayed, false);
    EXPECT_NE(unchecked, checked);
    EXPECT_NE(grayed, checked);
    EXPECT_NE(grayed, unchecked);
    EXPECT_NE(Glyph(false, CheckMark::Checked, true), checked);
    const std::string radioOff = Glyph(true, CheckMark::Unchecked, false);
    EXPECT_NE(radioOff, unchecked);
    EXPECT_NE(Glyph(true, CheckMark::Checked, false), radioOff);
    EXPECT_EQ(Glyph(true, CheckMark::Grayed, false), radioOff);
}
