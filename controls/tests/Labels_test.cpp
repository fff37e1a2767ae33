// The shadowed label, the blinking label, the credits panel and the help
// mode, with the test font and the manual clock.
#include "controls/BlinkLabel.h"
#include "controls/ExLabel.h"
#include "controls/PopUpHelp.h"
#include "controls/SecretPanel.h"
#include "controls_fixture.h"
#include "stdctrls/button.h"
#include "stdctrls/edit.h"
#include "stdctrls/label.h"

#include <chrono>
#include <thread>

namespace ax {
namespace {

using namespace std::chrono_literals;

class LabelsTest : public test::ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        form = MainForm();
    }
    COLORREF Pixel(int x, int y) {
        app->ProcessMessages();
        HDC dc = GetDC(form->Handle());
        const COLORREF c = GetPixel(dc, x, y);
        ReleaseDC(form->Handle(), dc);
        return c;
    }
    void PumpUntil(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (!done() && std::chrono::steady_clock::now() < end) {
            app->ProcessMessages();
            std::this_thread::yield();
        }
    }
    TForm* form = nullptr;
};

TEST_F(LabelsTest, AnEmptyLabelKeepsTheHeightOfABlank) {
    TExLabel* label = TComponent::Create<TExLabel>(form);
    label->SetParent(form);
    label->SetCaption("");
    // One blank (7 x 13) and the 1-pixel shadow; 1 pixel each side.
    EXPECT_EQ(label->Height(), 13 + 1);
    EXPECT_EQ(label->Width(), 7 + 1 + 2);
    label->SetShadowSize(3);
    EXPECT_EQ(label->Height(), 13 + 3);
    label->SetCaption("abc");
    EXPECT_EQ(label->Width(), 21 + 3 + 2);
}

// The label at (10, 10) draws from x = 1: "X" is a box at 2..6, rows 2..9.
TEST_F(LabelsTest, ShadowsFallWhereTheyAreAsked) {
    TExLabel* label = TComponent::Create<TExLabel>(form);
    label->SetBounds(10, 10, 0, 0);
    label->SetParent(form);
    label->SetCaption("X");
    label->SetShadowColor(clRed);
    label->SetShadowSize(2);
    label->SetShadowPos(spRightBottom);
    EXPECT_EQ(Pixel(10 + 4, 10 + 5), ColorToRGB(clWindowText));
    EXPECT_EQ(Pixel(10 + 8, 10 + 11), ColorToRGB(clRed));
    label->SetShadowPos(spLeftTop);
    label->SetShadowColor(clBlue);
    EXPECT_EQ(Pixel(10 + 0, 10 + 0), ColorToRGB(clBlue));
    // Disabled without a shadow: grey text, a highlight shadow 1 pixel to
    // the lower right.
    label->SetShadowSize(0);
    label->SetShadowPos(spLeftTop);
    label->SetEnabled(false);
    EXPECT_EQ(Pixel(10 + 4, 10 + 5), ColorToRGB(clGrayText));
    EXPECT_EQ(Pixel(10 + 7, 10 + 10), ColorToRGB(clBtnHighlight));
    EXPECT_EQ(Pixel(10 + 1, 10 + 1), ColorToRGB(clBtnFace));
}

TEST_F(LabelsTest, ABlinkingLabelComesBackWhenItStops) {
    TBlinkLabel* label = TComponent::Create<TBlinkLabel>(form);
    label->SetParent(form);
    label->SetCaption("Insert disk");
    int blinks = 0;
    label->OnBlink = [&](TObject*) { ++blinks; };
    label->SetBlink(true);
    clock.Advance(500);
    app->ProcessMessages();
    EXPECT_EQ(blinks, 1);
    EXPECT_FALSE(label->Visible());
    clock.Advance(500);
    app->ProcessMessages();
    EXPECT_TRUE(label->Visible());
    clock.Advance(500);
    app->ProcessMessages();
    EXPECT_FALSE(label->Visible());
    label->SetBlink(false);
    EXPECT_TRUE(label->Visible());
    clock.Advance(2000);
    app->ProcessMessages();
    EXPECT_EQ(blinks, 3);
}

TEST_F(LabelsTest, TheCreditsScrollFromTheFirstLineAndStopAfterTheLast) {
    TSecretPanel* panel = TComponent::Create<TSecretPanel>(form);
    panel->SetBounds(10, 10, 200, 80);
    panel->SetParent(form);
    TButton* child = TComponent::Create<TButton>(form);
    child->SetBounds(5, 5, 50, 20);
    child->SetParent(panel);
    panel->SetAsyncDrawing(false);
    panel->Lines().SetText("\n  \nArdentixXP\nBackups");
    int starts = 0, stops = 0;
    panel->OnStartPlay = [&](TObject*) { ++starts; };
    panel->OnStopPlay = [&](TObject*) { ++stops; };
    panel->SetActive(true);
    EXPECT_EQ(starts, 1);
    EXPECT_FALSE(child->Visible());
    EXPECT_EQ(panel->FirstLine(), 2);
    // Frame: the lowered bevel (1); the text area 4 pixels in: 192 x 72.
    EXPECT_EQ(panel->PaintRect(), (RECT{4, 4, 196, 76}));
    EXPECT_EQ(panel->MaxScroll(), 72 + 2 * 13);
    for (int step = 1; step <= panel->MaxScroll(); ++step) {
        clock.Advance(30);
        PumpUntil([&] { return panel->ScrollCount() == step; });
        ASSERT_EQ(panel->ScrollCount(), step);
        if (step == 72) Snapshot(form->Handle(), "credits");
    }
    EXPECT_TRUE(panel->Active());
    clock.Advance(30);
    PumpUntil([&] { return !panel->Active(); });
    EXPECT_FALSE(panel->Active());
    EXPECT_EQ(stops, 1);
    EXPECT_TRUE(child->Visible());
}

TEST_F(LabelsTest, CreditsCountedOnTheWorkerAreDrawnByTheGuiThread) {
    TSecretPanel* panel = TComponent::Create<TSecretPanel>(form);
    panel->SetBounds(10, 10, 120, 60);
    panel->SetParent(form);
    panel->Lines().SetText("One\nTwo");
    panel->SetCycled(true);
    panel->SetActive(true);
    for (int step = 1; step <= 5; ++step) {
        clock.Advance(30);
        PumpUntil([&] { return panel->ScrollCount() >= step; });
        ASSERT_GE(panel->ScrollCount(), step);
    }
    panel->Free(); // the worker stops first
    app->ProcessMessages();
}

class HelpModeTest : public LabelsTest {
protected:
    void SetUp() override {
        LabelsTest::SetUp();
        edit = TComponent::Create<TEdit>(form);
        edit->SetBounds(20, 20, 100, 21);
        edit->SetHelpContext(77);
        edit->SetParent(form);
        label = TComponent::Create<TLabel>(form);
        label->SetBounds(20, 60, 60, 15);
        label->SetTag(5);
        label->SetParent(form);
        form->OnClick = [this](TObject*) { ++formClicks; };
        app->OnHelp = [this](WORD command, intptr_t data, bool&) {
            help.emplace_back(command, data);
            return true;
        };
        app->ProcessMessages();
        ASSERT_EQ(Screen()->ActiveForm(), form);
    }
    void ClickOn(TControl* c) {
        const POINT p = c->ClientToScreen({5, 5});
        InjectClick(MouseButton::Left, p.x, p.y);
        app->ProcessMessages();
    }
    TEdit* edit = nullptr;
    TLabel* label = nullptr;
    int formClicks = 0;
    std::vector<std::pair<WORD, intptr_t>> help;
};

TEST_F(HelpModeTest, AClickShowsTheControlsTopicAndEndsTheMode) {
    TPopUpHelp* popup = TComponent::Create<TPopUpHelp>(form);
    popup->SetUseTags(utNever);
    popup->StartHelp();
    EXPECT_TRUE(popup->InHelpMode());
    EXPECT_EQ(Screen()->Cursor(), crHelp);
    EXPECT_TRUE(form->KeyPreview());
    ClickOn(edit);
    ASSERT_EQ(help.size(), 1u);
    EXPECT_EQ(help[0], (std::pair<WORD, intptr_t>{HELP_CONTEXTPOPUP, 77}));
    EXPECT_FALSE(popup->InHelpMode());
    EXPECT_EQ(Screen()->Cursor(), crDefault);
    EXPECT_FALSE(form->KeyPreview());
    // The form's own handler is back.
    ClickOn(form);
    EXPECT_EQ(formClicks, 1);
}

TEST_F(HelpModeTest, ControlsWithoutATopicAndEscapeEndTheModeWithoutHelp) {
    TPopUpHelp* popup = TComponent::Create<TPopUpHelp>(form);
    popup->SetUseTags(utNever); // a label's tag is no topic then
    popup->StartHelp();
    ClickOn(label);
    EXPECT_TRUE(help.empty());
    EXPECT_FALSE(popup->InHelpMode());
    popup->SetUseTags(utGraphicControl);
    popup->StartHelp();
    ClickOn(label);
    ASSERT_EQ(help.size(), 1u);
    EXPECT_EQ(help[0].second, 5);
    popup->StartHelp();
    Key(VK_ESCAPE);
    EXPECT_FALSE(popup->InHelpMode());
    EXPECT_EQ(help.size(), 1u);
}

TEST_F(HelpModeTest, EnteringTwiceKeepsTheFormsHandlers) {
    TPopUpHelp* popup = TComponent::Create<TPopUpHelp>(form);
    popup->StartHelp();
    popup->StartHelp();
    Key(VK_ESCAPE);
    EXPECT_FALSE(popup->InHelpMode());
    ClickOn(form);
    EXPECT_EQ(formClicks, 1);
    EXPECT_TRUE(help.empty());
}

} // namespace
} // namespace ax
