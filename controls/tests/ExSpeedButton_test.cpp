// The speed button: glyph strips and the shared cache of image lists, the
// derived inactive image, groups, clicks inside the button's own
// rectangle, and the drop-down menu.
#include "controls/ExSpeedButton.h"
#include "controls_fixture.h"

namespace ax {
namespace {

class SpeedButtonTest : public test::ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        form = MainForm();
    }
    TExSpeedButton* Button(int x, int y) {
        auto* b = TComponent::Create<TExSpeedButton>(form);
        b->SetBounds(x, y, 40, 40);
        b->SetParent(form);
        return b;
    }
    COLORREF Pixel(int x, int y) {
        app->ProcessMessages();
        HDC dc = GetDC(form->Handle());
        const COLORREF c = GetPixel(dc, x, y);
        ReleaseDC(form->Handle(), dc);
        return c;
    }
    TForm* form = nullptr;
};

TEST_F(SpeedButtonTest, TheStripGivesUpToFiveStateImages) {
    TExSpeedButton* b = Button(10, 10);
    TBitmap strip;
    strip.SetSize(100, 20);
    b->SetGlyph(&strip);
    EXPECT_EQ(b->NumGlyphs(), 5);
    EXPECT_EQ(b->ButtonGlyph().ImageSize().cx, 20);
    strip.SetSize(120, 20);
    b->SetGlyph(&strip);
    EXPECT_EQ(b->NumGlyphs(), 1); // six would be more than five
    b->SetNumGlyphs(7);
    EXPECT_EQ(b->NumGlyphs(), 5);
    b->SetNumGlyphs(0);
    EXPECT_EQ(b->NumGlyphs(), 1);
    // A glyph without width has no images and draws nothing.
    strip.SetSize(0, 20);
    b->SetGlyph(&strip);
    EXPECT_EQ(b->ButtonGlyph().ImageIndex(bsUp), -1);
    b->Repaint();
    app->ProcessMessages();
}

TEST_F(SpeedButtonTest, ButtonsOfOneImageSizeShareACacheList) {
    const int before = GlyphCacheListCount();
    TBitmap strip;
    strip.SetSize(16, 16);
    TExSpeedButton* a = Button(10, 10);
    TExSpeedButton* b = Button(60, 10);
    a->SetGlyph(&strip);
    b->SetGlyph(&strip);
    app->ProcessMessages(); // painting builds the images
    ASSERT_NE(a->ButtonGlyph().List(), nullptr);
    EXPECT_EQ(a->ButtonGlyph().List(), b->ButtonGlyph().List());
    EXPECT_EQ(GlyphCacheListCount(), before + 1);
    a->Free();
    EXPECT_EQ(GlyphCacheListCount(), before + 1);
    b->Free();
    EXPECT_EQ(GlyphCacheListCount(), before);
}

TEST_F(SpeedButtonTest, AFlatButtonWithoutTheMouseShowsItsGlyphInGrey) {
    TExSpeedButton* b = Button(10, 10);
    TBitmap strip;
    strip.SetSize(16, 16);
    strip.Canvas().Brush().SetColor(TColor(RGB(200, 100, 50)));
    strip.Canvas().FillRect({0, 0, 16, 16});
    strip.Canvas().SetPixel(0, 15, clFuchsia); // the transparent colour
    b->SetGlyph(&strip);
    b->SetFlat(true);
    InjectMouseMove(600, 500);
    app->ProcessMessages();
    EXPECT_EQ(b->PaintState(), bsInactive);
    // (200 * 77 + 100 * 150 + 50 * 29) >> 8 = 124; the glyph is centred:
    // (40 - 16) / 2 = 12 from the button's left and top.
    EXPECT_EQ(Pixel(10 + 12 + 8, 10 + 12 + 8), RGB(124, 124, 124));
    EXPECT_EQ(Pixel(10 + 12, 10 + 12 + 15), ColorToRGB(clBtnFace)); // transparent
    b->SetGrayedInactive(false);
    EXPECT_EQ(Pixel(10 + 12 + 8, 10 + 12 + 8), RGB(200, 100, 50));
}

TEST_F(SpeedButtonTest, DownNeedsAGroupAndAGroupKeepsOneDown) {
    TExSpeedButton* a = Button(10, 10);
    TExSpeedButton* b = Button(60, 10);
    a->SetDown(true);
    EXPECT_FALSE(a->Down());
    a->SetGroupIndex(1);
    b->SetGroupIndex(1);
    a->SetDown(true);
    EXPECT_TRUE(a->Down());
    EXPECT_EQ(a->State(), bsExclusive);
    a->SetDown(false); // needs AllowAllUp
    EXPECT_TRUE(a->Down());
    ClickAt(b, 20, 20);
    EXPECT_TRUE(b->Down());
    EXPECT_FALSE(a->Down());
    b->SetAllowAllUp(true); // told to the whole group
    EXPECT_TRUE(a->AllowAllUp());
    ClickAt(b, 20, 20);
    EXPECT_FALSE(b->Down());
}

TEST_F(SpeedButtonTest, AReleaseOnTheRightEdgeIsOutside) {
    TExSpeedButton* b = Button(10, 10);
    int clicks = 0;
    b->OnClick = [&](TObject*) { ++clicks; };
    ClickAt(b, 39, 39);
    EXPECT_EQ(clicks, 1);
    const POINT in = b->ClientToScreen({20, 20}), edge = b->ClientToScreen({40, 20}),
                bottom = b->ClientToScreen({20, 40});
    for (POINT out : {edge, bottom}) {
        InjectMouseMove(in.x, in.y);
        InjectMouseButton(MouseButton::Left, true);
        app->ProcessMessages();
        EXPECT_EQ(b->State(), bsDown);
        InjectMouseMove(out.x, out.y);
        InjectMouseButton(MouseButton::Left, false);
        app->ProcessMessages();
        EXPECT_EQ(b->State(), bsUp);
    }
    EXPECT_EQ(clicks, 1);
}

TEST_F(SpeedButtonTest, APressThatOpensTheMenuDoesNotClick) {
    TExSpeedButton* b = Button(10, 10);
    TPopupMenu* menu = TComponent::Create<TPopupMenu>(form);
    menu->Items()->NewItem("One", 0, [](TObject*) {});
    b->SetDropDownMenu(menu);
    int clicks = 0, opened = 0;
    b->OnClick = [&](TObject*) { ++clicks; };
    TPopupMenu::OnTrackingStarted = [&](TPopupMenu& m) {
        ++opened;
        EXPECT_EQ(m.PopupComponent(), b);
        // The menu's windows sit under the button's left edge.
        m.CloseMenu();
    };
    ClickAt(b, 20, 20);
    TPopupMenu::OnTrackingStarted = nullptr;
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(b->State(), bsUp);
    Snapshot(form->Handle(), "speed_buttons");
}

} // namespace
} // namespace ax
