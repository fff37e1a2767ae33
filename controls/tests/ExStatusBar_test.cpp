// The status bar with typed panels, with the test font and the manual
// clock: gauge fill and text to the pixel, the bouncing dot step by step,
// the shared timer as panels come and go, clocks, lock keys from the
// keyboard hook and from the monitor library, widths that follow the text,
// hints, the size grip.
#include "controls/ExKb.h"
#include "controls/ExStatusBar.h"
#include "controls_fixture.h"
#include "rtl/sysutils.h"
#include "stdctrls/edit.h"

#include <map>

namespace ax {
namespace {

constexpr COLORREF kMagenta = RGB(255, 0, 255);

class StatusBarTest : public test::ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        form = MainForm();
        bar = TComponent::Create<TExStatusBar>(form);
        bar->SetParent(form);
        app->ProcessMessages();
    }
    void TearDown() override {
        if (bar) bar->Free();
        bar = nullptr;
        EXPECT_EQ(StatusBarTimerRegistrations(), 0);
        EXPECT_FALSE(StatusBarKeyboardHookInstalled());
        ControlsTest::TearDown();
    }
    TExStatusPanel* AddPanel(TExStatusPanelType type, int width) {
        TExStatusPanel* p = bar->Panels().Add();
        p->SetWidth(width);
        p->SetPanelType(type);
        app->ProcessMessages();
        return p;
    }
    COLORREF Pixel(int x, int y) {
        HDC dc = GetDC(bar->Handle());
        const COLORREF c = GetPixel(dc, x, y);
        ReleaseDC(bar->Handle(), dc);
        return c;
    }
    // Paints a part over, so that a test sees whether it is drawn again.
    void Smear(int index) {
        const RECT r = bar->GetPanelRect(index);
        HDC dc = GetDC(bar->Handle());
        HBRUSH b = CreateSolidBrush(kMagenta);
        FillRect(dc, &r, b);
        DeleteObject(b);
        ReleaseDC(bar->Handle(), dc);
    }
    bool Smeared(int index) {
        const RECT r = bar->GetPanelRect(index);
        return Pixel((r.left + r.right) / 2, r.bottom - 3) == kMagenta;
    }
    void Tick(int ms) {
        clock.Advance(uint64_t(ms));
        app->ProcessMessages();
    }
    TForm* form = nullptr;
    TExStatusBar* bar = nullptr;
};

// Part 0 is 101 pixels wide: drawn inside its 1-pixel bevel, the gauge is
// 99 x 15 pixels at (1, 3). The test font's "50%" is 21 pixels wide,
// centred at x = 1 + (99 - 21) / 2 = 40; its boxes cover rows 6..13.
TEST_F(StatusBarTest, GaugeFillsToThePixelWithSplitColourText) {
    TExStatusPanel* gauge = AddPanel(sptGauge, 101);
    AddPanel(sptNormal, 50);
    gauge->GaugeAttrs().SetPosition(50);
    app->ProcessMessages();
    const COLORREF fill = ColorToRGB(clHighlight), face = ColorToRGB(clBtnFace);
    // MulDiv(99, 50, 100) rounds 49.5 up: columns 1..50 are filled.
    EXPECT_EQ(Pixel(1, 16), fill);
    EXPECT_EQ(Pixel(50, 16), fill);
    EXPECT_EQ(Pixel(51, 16), face);
    EXPECT_EQ(Pixel(99, 16), face);
    // "5" covers 41..45, "0" 48..52 (split at 51), "%" 55..59.
    EXPECT_EQ(Pixel(43, 9), ColorToRGB(clHighlightText));
    EXPECT_EQ(Pixel(49, 9), ColorToRGB(clHighlightText));
    EXPECT_EQ(Pixel(52, 9), ColorToRGB(clWindowText));
    EXPECT_EQ(Pixel(57, 9), ColorToRGB(clWindowText));
    EXPECT_EQ(Pixel(47, 9), fill); // between the boxes
    Snapshot(form->Handle(), "statusbar_gauge50");

    gauge->GaugeAttrs().SetPosition(0);
    EXPECT_EQ(Pixel(1, 16), face);
    EXPECT_EQ(Pixel(46, 9), ColorToRGB(clWindowText)); // "0%" is 14 wide at 43: "0" covers 44..48
    gauge->GaugeAttrs().SetPosition(100);
    EXPECT_EQ(Pixel(99, 16), fill);
    gauge->GaugeAttrs().SetColor(clGreen);
    EXPECT_EQ(Pixel(1, 16), ColorToRGB(clGreen));
    // A text replaces the percentage: "Burn" is 28 wide, at 36.
    gauge->SetText("Burn");
    EXPECT_EQ(Pixel(38, 9), ColorToRGB(clHighlightText));
    EXPECT_EQ(Pixel(36, 9), ColorToRGB(clGreen));
}

TEST_F(StatusBarTest, TheBusyDotBouncesBetweenTheEnds) {
    TExStatusPanel* gauge = AddPanel(sptGauge, 101);
    AddPanel(sptNormal, 50);
    gauge->GaugeAttrs().SetSpeed(4);
    gauge->GaugeAttrs().SetStyle(gsIndeterminate);
    app->ProcessMessages();
    ASSERT_NE(bar->Panels().Timer(), nullptr);
    EXPECT_EQ(bar->Panels().Timer()->Interval(), 50u);
    // The band is the middle third (5 rows from 8), the dot 5 wide; it
    // turns when pos + 5 + 1 >= 99 and when it comes back below 2.
    int pos = gauge->AnimPos(), highest = pos, lowest = pos, turns = 0;
    bool right = gauge->AnimStep() > 0;
    for (int i = 0; i < 60; ++i) {
        Tick(50);
        const int next = gauge->AnimPos();
        ASSERT_EQ(std::abs(next - pos), 4) << "step " << i;
        if ((gauge->AnimStep() > 0) != right) {
            ++turns;
            right = !right;
        }
        pos = next;
        highest = std::max(highest, pos);
        lowest = std::min(lowest, pos);
        // The dot's middle lies at 1 + pos + 2, on the band's middle row 10.
        EXPECT_EQ(Pixel(1 + pos + 2, 10), ColorToRGB(clHighlight)) << "pos " << pos;
    }
    EXPECT_GE(turns, 2);
    EXPECT_LE(highest, 96);
    EXPECT_GE(highest, 93);
    EXPECT_GE(lowest, -2);
    EXPECT_LE(lowest, 1);

    // Moving left at a new speed keeps moving left.
    while (gauge->AnimStep() > 0) Tick(50);
    gauge->GaugeAttrs().SetSpeed(-2); // the sign is ignored
    EXPECT_EQ(gauge->AnimStep(), -2);
    const int before = gauge->AnimPos();
    Tick(50);
    EXPECT_EQ(gauge->AnimPos(), before - 2);

    gauge->GaugeAttrs().SetStyle(gsPercent);
    EXPECT_EQ(bar->Panels().Timer(), nullptr);
    gauge->GaugeAttrs().SetStyle(gsIndeterminate2);
    EXPECT_NE(bar->Panels().Timer(), nullptr);
    Tick(50);
    Tick(50);
}

TEST_F(StatusBarTest, AGaugeThatIsAlreadyIndeterminateAnimatesWhenItBecomesAGauge) {
    TExStatusPanel* p = AddPanel(sptNormal, 101);
    p->GaugeAttrs().SetStyle(gsIndeterminate);
    EXPECT_EQ(bar->Panels().Timer(), nullptr);
    p->SetPanelType(sptGauge);
    EXPECT_TRUE(p->Enabled());
    ASSERT_NE(bar->Panels().Timer(), nullptr);
    EXPECT_EQ(bar->Panels().Timer()->Interval(), 50u);
    const int pos = p->AnimPos();
    Tick(50);
    EXPECT_NE(p->AnimPos(), pos);
}

TEST_F(StatusBarTest, TheSharedTimerFollowsThePanels) {
    FormatSettings().ShortDateFormat = "dd/mm/yyyy";
    FormatSettings().LongTimeFormat = "hh:nn:ss";
    clock.SetNow(EncodeDate(2024, 5, 17) + EncodeTime(23, 59, 58, 0));
    TExStatusPanel* date = AddPanel(sptDate, 80);
    EXPECT_EQ(date->Text(), "17/05/2024");
    ASSERT_NE(bar->Panels().Timer(), nullptr);
    EXPECT_EQ(bar->Panels().Timer()->Interval(), 60000u);
    TExStatusPanel* time = AddPanel(sptTime, 80);
    EXPECT_EQ(time->Text(), "23:59:58");
    EXPECT_EQ(bar->Panels().Timer()->Interval(), 1000u);
    Tick(1000);
    EXPECT_EQ(time->Text(), "23:59:59");
    EXPECT_EQ(date->Text(), "17/05/2024");
    Tick(1000);
    EXPECT_EQ(time->Text(), "00:00:00");
    EXPECT_EQ(date->Text(), "18/05/2024"); // the date changed on this tick
    TExStatusPanel* gauge = AddPanel(sptGauge, 60);
    gauge->GaugeAttrs().SetStyle(gsIndeterminate);
    EXPECT_EQ(bar->Panels().Timer()->Interval(), 50u);
    EXPECT_EQ(StatusBarTimerRegistrations(), 3);
    gauge->SetEnabled(false);
    EXPECT_EQ(bar->Panels().Timer()->Interval(), 1000u);
    bar->Panels().Delete(time->Index());
    EXPECT_EQ(bar->Panels().Timer()->Interval(), 60000u);
    date->SetPanelType(sptNormal);
    EXPECT_EQ(bar->Panels().Timer(), nullptr);
    EXPECT_EQ(StatusBarTimerRegistrations(), 0);
    // The inherited parts follow the typed panels.
    EXPECT_EQ(bar->TStatusBar::Panels().Count(), 2);
}

TEST_F(StatusBarTest, WidthsFollowTheTextAndTheGlyph) {
    TExStatusPanel* caps = AddPanel(sptCapsLock, 10);
    EXPECT_EQ(caps->Text(), " CAPS ");
    EXPECT_TRUE(caps->AutoFit());
    EXPECT_EQ(caps->Width(), 6 * 7 + 6); // text width + 6
    caps->SetBorderWidth(2);
    EXPECT_EQ(caps->Width(), 6 * 7 + 6 + 2);
    caps->SetWidth(300); // ignored while it fits its contents
    EXPECT_EQ(caps->Width(), 50);

    TExStatusPanel* glyph = AddPanel(sptGlyph, 10);
    glyph->Glyph().Bitmap().SetSize(16, 12);
    EXPECT_EQ(glyph->Width(), 16 + 4);
    glyph->SetText("ab");
    EXPECT_EQ(glyph->Width(), 14 + 2 + 16 + 4);

    TExStatusPanel* text = AddPanel(sptNormal, 70);
    text->SetAutoFit(true);
    text->SetText("four");
    EXPECT_EQ(text->Width(), 28 + 6);
}

TEST_F(StatusBarTest, TextIsDrawnAtOnceAndOnlyWhenItChanges) {
    TExStatusPanel* p = AddPanel(sptNormal, 100);
    p->SetText("ZipFile: <none>");
    Smear(0);
    p->SetText("ZipFile: <none>");
    EXPECT_TRUE(Smeared(0));
    p->SetText("ZipFile: a.zip");
    EXPECT_FALSE(Smeared(0)); // drawn at once, before any paint message
    EXPECT_THROW(bar->InvalidatePanel(1), EListError);
    try {
        bar->InvalidatePanel(5);
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (5)");
    }
    Smear(0);
    bar->InvalidatePanel(0);
    EXPECT_FALSE(Smeared(0));
    // A disabled panel shows only its background.
    p->SetEnabled(false);
    const RECT r = bar->GetPanelRect(0);
    for (int x = r.left + 1; x < r.right - 1; ++x)
        ASSERT_EQ(Pixel(x, 9), ColorToRGB(clBtnFace)) << x;
}

TEST_F(StatusBarTest, LockPanelsRepaintOnFirstPressesOnly) {
    TExStatusPanel* caps1 = AddPanel(sptCapsLock, 0);
    AddPanel(sptCapsLock, 0);
    AddPanel(sptNumLock, 0);
    EXPECT_TRUE(StatusBarKeyboardHookInstalled());
    TEdit* edit = TComponent::Create<TEdit>(form);
    edit->SetParent(form);
    edit->SetFocus();
    app->ProcessMessages();
    const bool wasOn = GetKeyState(VK_CAPITAL) & 1;

    Smear(0);
    Smear(1);
    Smear(2);
    InjectKey(VK_CAPITAL, true);
    app->ProcessMessages();
    EXPECT_FALSE(Smeared(0));
    EXPECT_FALSE(Smeared(1));
    EXPECT_TRUE(Smeared(2)); // another key's panel
    EXPECT_NE(bool(GetKeyState(VK_CAPITAL) & 1), wasOn);
    // On: the text in the bar's font colour; off: grey.
    const RECT r = bar->GetPanelRect(0);
    const COLORREF on = ColorToRGB(clWindowText), off = ColorToRGB(clGrayText);
    const int x = r.left + 1 + 7 + 3, y = 9; // inside the "C" box
    EXPECT_EQ(Pixel(x, y), wasOn ? off : on);

    Smear(0);
    InjectKey(VK_CAPITAL, true); // auto-repeat
    app->ProcessMessages();
    EXPECT_TRUE(Smeared(0));
    InjectKey(VK_CAPITAL, false); // release
    app->ProcessMessages();
    EXPECT_TRUE(Smeared(0));
    Key(VK_CAPITAL); // back as it was
    EXPECT_EQ(Pixel(x, y), wasOn ? on : off);

    // Leaving and coming back to the program redraws them all.
    Smear(2);
    SendMessage(form->Handle(), WM_ACTIVATEAPP, 0, 0);
    app->ProcessMessages();
    SendMessage(form->Handle(), WM_ACTIVATEAPP, 1, 0);
    app->ProcessMessages();
    EXPECT_FALSE(Smeared(2));
    caps1->SetPanelType(sptNormal);
    EXPECT_TRUE(StatusBarKeyboardHookInstalled());
}

// A stand-in for the keyboard-monitor library.
struct MonitorStandIn {
    static inline std::vector<std::pair<char, HWND>> calls;
    static UINT Register(HWND w) {
        calls.emplace_back('R', w);
        return 0xC123;
    }
    static void Deregister(HWND w) { calls.emplace_back('D', w); }
};

TEST_F(StatusBarTest, LockPanelsFollowTheMonitorLibraryWhenAsked) {
    TExStatusPanel* num = AddPanel(sptNumLock, 0);
    AddPanel(sptNormal, 50); // the last part reaches the right side
    // Without the library the bar stays with its own keyboard.
    bar->SetUseMonitorDLL(true);
    EXPECT_FALSE(bar->UseMonitorDLL());
    EXPECT_TRUE(StatusBarKeyboardHookInstalled());

    MonitorStandIn::calls.clear();
    RegisterLibraryStandIn("exkbmon.dll", {{"RegisterKeyboardHook", reinterpret_cast<void*>(&MonitorStandIn::Register)},
                                           {"DeregisterKeyboardHook", reinterpret_cast<void*>(&MonitorStandIn::Deregister)}});
    bar->SetUseMonitorDLL(true);
    EXPECT_TRUE(bar->UseMonitorDLL());
    EXPECT_TRUE(MonitorDLLLoaded());
    EXPECT_FALSE(StatusBarKeyboardHookInstalled());
    EXPECT_EQ(bar->MonitorMessage(), 0xC123u);
    ASSERT_EQ(MonitorStandIn::calls.size(), 1u);
    EXPECT_EQ(MonitorStandIn::calls[0].second, bar->Handle());

    const bool stateBefore = num->LockState();
    SendMessage(bar->Handle(), 0xC123, VK_NUMLOCK, stateBefore ? 0 : 1);
    EXPECT_NE(num->LockState(), stateBefore);
    SendMessage(bar->Handle(), 0xC123, VK_NUMLOCK, 1);
    EXPECT_TRUE(num->LockState());
    const RECT r = bar->GetPanelRect(0);
    // " NUM " is 35 wide, centred in 39 from x = 1: "N" covers 11..15.
    EXPECT_EQ(Pixel(r.left + 13, 9), ColorToRGB(clWindowText));

    bar->SetUseMonitorDLL(false);
    EXPECT_FALSE(MonitorDLLLoaded());
    EXPECT_EQ(LibraryLoadCount("ExKbMon.dll"), 0);
    ASSERT_EQ(MonitorStandIn::calls.size(), 2u);
    EXPECT_EQ(MonitorStandIn::calls[1].first, 'D');
    EXPECT_TRUE(StatusBarKeyboardHookInstalled());
    UnregisterLibraryStandIn("exkbmon.dll");
}

TEST_F(StatusBarTest, HintsNamesAndCopies) {
    TExStatusPanel* file = AddPanel(sptEllipsisText, 60);
    EXPECT_EQ(file->Hint(), ""); // the full text, still empty
    file->SetText("ActiveFile: /home/user/documents/report.txt");
    EXPECT_EQ(file->Hint(), "ActiveFile: /home/user/documents/report.txt");
    file->OnHintText = [](TExStatusBar*, TExStatusPanel*, AnsiString& hint) { hint += "!"; };
    EXPECT_EQ(file->Hint(), "ActiveFile: /home/user/documents/report.txt!");
    file->SetHint("fixed");
    EXPECT_EQ(file->Hint(), "fixed!");

    TExStatusPanel* gauge = AddPanel(sptGauge, 50);
    EXPECT_EQ(gauge->DisplayName(), "sptGauge");
    EXPECT_EQ(file->DisplayName(), file->Text());
    EXPECT_EQ(AddPanel(sptNormal, 10)->DisplayName(), "TExStatusPanel");

    gauge->GaugeAttrs().SetSpeed(7);
    gauge->GaugeAttrs().SetColor(clGreen);
    gauge->GaugeAttrs().SetTextColor(clYellow);
    gauge->GaugeAttrs().SetPosition(42);
    TExStatusPanel* copy = bar->Panels().Add();
    copy->Assign(gauge);
    EXPECT_EQ(copy->PanelType(), sptGauge);
    EXPECT_EQ(copy->GaugeAttrs().Speed(), 7);
    EXPECT_EQ(copy->GaugeAttrs().Color(), clGreen);
    EXPECT_EQ(copy->GaugeAttrs().TextColor(), clYellow);
    EXPECT_EQ(copy->GaugeAttrs().Position(), 42);
    EXPECT_EQ(copy->Width(), 50);

    // The hint over a panel, and the bar's own between panels with hints.
    THintInfo info;
    const RECT r = bar->GetPanelRect(0);
    info.CursorPos = {r.left + 5, 8};
    bar->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.HintStr, "fixed!");
    EXPECT_EQ(info.CursorRect, r);
}

TEST_F(StatusBarTest, PanelsBelongToTheirOwnCollection) {
    TCollection foreign([](TCollection* c) { return std::make_unique<TExStatusPanel>(c); });
    try {
        foreign.Add();
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "TExStatusPanel owner must be TExStatusPanels");
    }
    EXPECT_EQ(bar->Version(), "TExStatusBar v1.24 enhanced");
}

TEST_F(StatusBarTest, AColouredBarDrawsItsOwnSizeGrip) {
    AddPanel(sptNormal, 50);
    bar->SetColor(clYellow);
    bar->Invalidate();
    app->ProcessMessages();
    const RECT c = bar->ClientRect();
    const int R = c.right, B = c.bottom;
    const COLORREF light = ColorToRGB(clBtnHighlight), dark = ColorToRGB(clBtnShadow), face = ColorToRGB(clYellow);
    // Along the bottom row the distance from the corner is R - 1 - x.
    EXPECT_EQ(Pixel(R - 2, B - 1), light);  // 1
    EXPECT_EQ(Pixel(R - 3, B - 1), light);  // 2
    EXPECT_EQ(Pixel(R - 4, B - 1), dark);   // 3
    EXPECT_EQ(Pixel(R - 5, B - 1), face);   // 4
    EXPECT_EQ(Pixel(R - 6, B - 1), light);  // 5
    EXPECT_EQ(Pixel(R - 8, B - 1), dark);   // 7
    EXPECT_EQ(Pixel(R - 10, B - 1), light); // 9
    EXPECT_EQ(Pixel(R - 12, B - 1), dark);  // 11
    EXPECT_EQ(Pixel(R - 14, B - 1), light); // 13
    EXPECT_EQ(Pixel(R - 5, B - 4), dark);   // 4 + 3 = 7, up the diagonal
    EXPECT_EQ(Pixel(R - 9, B - 15), dark);  // the grip's top line
}

} // namespace
} // namespace ax
