// The caption bar button: its hit-test codes, where it is hit and drawn,
// pressed and released states, clicks, hiding, repainting without
// changing the caption's activation, and leaving the window's chain.
#include "controls/CaptionButton.h"
#include "controls_fixture.h"
#include "stdctrls/extctrls.h"

namespace ax {
namespace {

using test::ControlsTest;

class CaptionButtonTest : public ControlsTest {
protected:
    // A sizeable form whose window is 408 wide (client 400 and frames of 4)
    // at (100, 100); its caption runs from y 4 to 22.
    TForm* Form() {
        TForm* form = MainForm();
        EXPECT_EQ(form->Width(), 408);
        return form;
    }
    TCaptionButton* Button(TForm* form, int margin) {
        auto* button = TComponent::Create<TCaptionButton>(form);
        // Red left half, blue right half.
        TBitmap glyph;
        glyph.SetSize(26, 22);
        glyph.Canvas().Brush().SetColor(clRed);
        glyph.Canvas().FillRect({0, 0, 13, 22});
        glyph.Canvas().Brush().SetColor(clBlue);
        glyph.Canvas().FillRect({13, 0, 26, 22});
        button->SetGlyph(&glyph);
        button->SetRightMargin(margin);
        button->OnClick = [this](TObject* sender) { clicked.push_back(static_cast<TCaptionButton*>(sender)); };
        app->ProcessMessages();
        return button;
    }
    // The colour of a pixel of the window, frame included.
    static COLORREF Pixel(HWND window, int x, int y) {
        HDC dc = GetWindowDC(window);
        const COLORREF c = GetPixel(dc, x, y);
        ReleaseDC(window, dc);
        return c;
    }
    LRESULT HitAt(HWND window, int windowX, int windowY) {
        return SendMessage(window, WM_NCHITTEST, 0, MAKELPARAM(100 + windowX, 100 + windowY));
    }
    // The mouse, on the screen, at window coordinates of the main form.
    void MoveTo(int windowX, int windowY) {
        InjectMouseMove(100 + windowX, 100 + windowY);
        app->ProcessMessages();
    }
    void Press(bool down) {
        InjectMouseButton(MouseButton::Left, down);
        app->ProcessMessages();
    }
    std::vector<TCaptionButton*> clicked;
    static constexpr COLORREF kRed = 0x0000FF, kBlue = 0xFF0000, kBlack = 0, kDark = 0x808080,
                              kLight = 0xC0C0C0, kWhite = 0xFFFFFF;
};

// Runs first in this program: the first button of a process gets 666.
TEST_F(CaptionButtonTest, ButtonsTakeConsecutiveHitTestCodesAndAnswerOnlyTheirOwn) {
    TForm* form = Form();
    TCaptionButton* first = Button(form, 90);
    TCaptionButton* second = Button(form, 130);
    EXPECT_EQ(first->HitTestCode(), 666);
    EXPECT_EQ(second->HitTestCode(), 667);
    const HWND h = form->Handle();
    EXPECT_EQ(HitAt(h, 318, 10), 666);
    EXPECT_EQ(HitAt(h, 278, 10), 667);
    MoveTo(278, 10);
    Press(true);
    EXPECT_TRUE(second->Pressed());
    EXPECT_FALSE(first->Pressed());
    Press(false);
    ASSERT_EQ(clicked.size(), 1u);
    EXPECT_EQ(clicked[0], second);
}

TEST_F(CaptionButtonTest, TheCaptionIsHitStrictlyBetweenTheKeptEdges) {
    TForm* form = Form();
    TCaptionButton* button = Button(form, 90);
    const HWND h = form->Handle();
    const WORD code = button->HitTestCode();
    // Sizeable: frame 4 + 2 = 6, button 18 - 5 = 13 wide and 19 - 8 = 11
    // high; x = 408 - 90 - 6 = 312; kept as left 312 - 6, right + 13 + 3.
    EXPECT_EQ(button->ButtonRect(), (RECT{306, 6, 322, 13}));
    // Client x = window x - 4.
    EXPECT_EQ(HitAt(h, 310, 10), HTCAPTION);
    EXPECT_EQ(HitAt(h, 311, 10), code);
    EXPECT_EQ(HitAt(h, 325, 10), code);
    EXPECT_EQ(HitAt(h, 326, 10), HTCAPTION);
    // Only the caption is looked at: not the frame, the client area or the
    // system buttons.
    EXPECT_EQ(HitAt(h, 318, 4), code);
    EXPECT_EQ(HitAt(h, 318, 2), HTTOP);
    EXPECT_EQ(HitAt(h, 318, 40), HTCLIENT);
    EXPECT_EQ(HitAt(h, 390, 10), HTCLOSE);
    // A tool window: frame 1 + 4 = 5, button 12 - 5 = 7 by 15 - 8 = 7.
    TForm* tool = app->CreateForm<TForm>();
    tool->SetBorderStyle(bsToolWindow);
    tool->SetBounds(100, 100, 202, 120);
    tool->Show();
    auto* small = TComponent::Create<TCaptionButton>(tool);
    small->SetRightMargin(40);
    app->ProcessMessages();
    EXPECT_EQ(small->ButtonRect(), (RECT{152, 5, 162, 9}));
}

TEST_F(CaptionButtonTest, UpAndPressedLookAsAButton) {
    TForm* form = Form();
    TCaptionButton* button = Button(form, 90);
    const HWND h = form->Handle();
    // Up: the frame from (312, 6) to (328, 19), the glyph at (313, 7).
    EXPECT_EQ(Pixel(h, 312, 7), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(Pixel(h, 320, 6), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(Pixel(h, 328, 7), kBlack);
    EXPECT_EQ(Pixel(h, 320, 19), kBlack);
    EXPECT_EQ(Pixel(h, 327, 8), kDark);
    EXPECT_EQ(Pixel(h, 320, 18), kDark);
    EXPECT_EQ(Pixel(h, 313, 7), kRed);
    EXPECT_EQ(Pixel(h, 325, 17), kBlue);
    Snapshot(h, "caption_button_up");

    MoveTo(318, 10);
    Press(true);
    EXPECT_TRUE(button->Pressed());
    EXPECT_EQ(GetCapture(), h);
    // Pressed: dark outside on the left and top, light on the right and
    // bottom; the glyph one pixel further in.
    EXPECT_EQ(Pixel(h, 312, 7), kBlack);
    EXPECT_EQ(Pixel(h, 320, 6), kBlack);
    EXPECT_EQ(Pixel(h, 313, 9), kDark);
    EXPECT_EQ(Pixel(h, 320, 7), kDark);
    EXPECT_EQ(Pixel(h, 328, 8), kWhite);
    EXPECT_EQ(Pixel(h, 320, 19), kWhite);
    EXPECT_EQ(Pixel(h, 327, 9), kLight);
    EXPECT_EQ(Pixel(h, 314, 8), kRed);
    EXPECT_EQ(Pixel(h, 326, 18), kBlue);
    Snapshot(h, "caption_button_pressed");

    Press(false);
    EXPECT_FALSE(button->Pressed());
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(Pixel(h, 312, 7), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(Pixel(h, 313, 7), kRed);
    ASSERT_EQ(clicked.size(), 1u);
}

TEST_F(CaptionButtonTest, PressingMovingOffAndReleasingIsNoClick) {
    TForm* form = Form();
    TCaptionButton* button = Button(form, 90);
    MoveTo(318, 10);
    Press(true);
    MoveTo(200, 10); // still on the caption
    EXPECT_FALSE(button->Pressed());
    MoveTo(318, 12); // back: pressed again
    EXPECT_TRUE(button->Pressed());
    MoveTo(318, 60); // into the client area
    EXPECT_FALSE(button->Pressed());
    Press(false);
    EXPECT_TRUE(clicked.empty());
    EXPECT_EQ(GetCapture(), nullptr);
    // A press elsewhere on the caption is not the button's.
    MoveTo(200, 10);
    Press(true);
    EXPECT_FALSE(button->Pressed());
    Press(false);
    EXPECT_TRUE(clicked.empty());
    // Nor is a release over it after a press elsewhere.
    MoveTo(318, 10);
    Press(false);
    EXPECT_TRUE(clicked.empty());
}

TEST_F(CaptionButtonTest, LosingTheMouseEndsThePress) {
    TForm* form = Form();
    TCaptionButton* button = Button(form, 90);
    MoveTo(318, 10);
    Press(true);
    ASSERT_TRUE(button->Pressed());
    ReleaseCapture();
    EXPECT_FALSE(button->Pressed());
    Press(false);
    EXPECT_TRUE(clicked.empty());
}

TEST_F(CaptionButtonTest, HidingRepaintsTheCaptionWithoutItAndShowingDrawsItUp) {
    TForm* form = Form();
    TCaptionButton* button = Button(form, 90);
    const HWND h = form->Handle();
    const COLORREF caption = Pixel(h, 200, 10);
    EXPECT_EQ(caption, GetSysColor(COLOR_ACTIVECAPTION));
    button->SetVisible(false);
    EXPECT_EQ(Pixel(h, 313, 7), caption);
    EXPECT_EQ(Pixel(h, 328, 7), caption);
    EXPECT_EQ(HitAt(h, 318, 10), HTCAPTION);
    MoveTo(318, 10);
    Press(true);
    Press(false);
    EXPECT_TRUE(clicked.empty());
    button->SetVisible(true);
    EXPECT_EQ(Pixel(h, 313, 7), kRed);
    EXPECT_FALSE(button->Pressed());
    // Moving it repaints it where it now is.
    button->SetRightMargin(100);
    EXPECT_EQ(Pixel(h, 303, 7), kRed);
    EXPECT_EQ(Pixel(h, 318, 10), kBlack);
    EXPECT_EQ(Pixel(h, 325, 10), caption);
}

TEST_F(CaptionButtonTest, RepaintingKeepsTheCaptionsActivation) {
    TForm* form = Form();
    const HWND h = form->Handle();
    std::vector<WPARAM> activations;
    SetWindowSubclass(
        h,
        [&](HWND w, UINT msg, WPARAM wp, LPARAM lp) {
            if (msg == WM_NCACTIVATE) activations.push_back(wp);
            return DefSubclassProc(w, msg, wp, lp);
        },
        0x5151);
    TCaptionButton* button = Button(form, 90);
    ASSERT_EQ(GetActiveWindow(), h);
    activations.clear();
    button->SetVisible(false);
    button->SetRightMargin(80);
    button->SetVisible(true);
    EXPECT_EQ(activations, (std::vector<WPARAM>{TRUE, TRUE, TRUE}));
    EXPECT_EQ(Pixel(h, 200, 10), GetSysColor(COLOR_ACTIVECAPTION));
    // An inactive form is repainted as inactive.
    TForm* other = app->CreateForm<TForm>();
    other->SetBounds(600, 400, 100, 100);
    other->Show();
    app->ProcessMessages();
    ASSERT_EQ(GetActiveWindow(), other->Handle());
    activations.clear();
    button->SetRightMargin(90);
    EXPECT_EQ(activations, (std::vector<WPARAM>{FALSE}));
    RemoveWindowSubclass(h, 0x5151);
}

TEST_F(CaptionButtonTest, GoingTakesOutOnlyItsOwnEntry) {
    TForm* form = Form();
    const HWND h = form->Handle();
    TCaptionButton* button = Button(form, 90);
    // Someone hooks the form after the button did.
    int heard = 0;
    SetWindowSubclass(
        h,
        [&](HWND w, UINT msg, WPARAM wp, LPARAM lp) {
            if (msg == WM_NCHITTEST) ++heard;
            return DefSubclassProc(w, msg, wp, lp);
        },
        0x5252);
    EXPECT_EQ(HitAt(h, 318, 10), button->HitTestCode());
    const int before = heard;
    button->Free();
    app->ProcessMessages();
    // The caption shows no button any more, the later hook still hears.
    EXPECT_EQ(HitAt(h, 318, 10), HTCAPTION);
    EXPECT_EQ(heard, before + 1);
    EXPECT_EQ(Pixel(h, 313, 7), GetSysColor(COLOR_ACTIVECAPTION));
    RemoveWindowSubclass(h, 0x5252);
}

TEST_F(CaptionButtonTest, AReCreatedWindowKeepsTheButton) {
    TForm* form = Form();
    TCaptionButton* button = Button(form, 90);
    form->RecreateWnd();
    app->ProcessMessages();
    EXPECT_EQ(HitAt(form->Handle(), 318, 10), button->HitTestCode());
    MoveTo(318, 10);
    Press(true);
    Press(false);
    EXPECT_EQ(clicked.size(), 1u);
}

TEST_F(CaptionButtonTest, OnlyAFormCarriesOne) {
    TForm* form = Form();
    auto* panel = TComponent::Create<TBevel>(form);
    EXPECT_THROW(TCaptionButton{panel}, EInvalidOperation);
    auto* button = TComponent::Create<TCaptionButton>(form);
    EXPECT_TRUE(button->Visible());
    EXPECT_EQ(button->RightMargin(), 0);
}

} // namespace
} // namespace ax
