// Message boxes answered through the modal-entry hook with simulated keys
// and clicks: layout with the test font (7 x 13 pixel characters, 75 x 25
// buttons, so the gap is 12), answers, focus, sounds; and the wait box.
#include <gtest/gtest.h>

#include "controls/MessageBoxes.h"
#include "controls_fixture.h"
#include "platform/window/sysmenu.h"
#include "stdctrls/buttons.h"
#include "stdctrls/extctrls.h"
#include "stdctrls/gauges.h"
#include "stdctrls/label.h"

namespace ax {
namespace {

// What a box looked like when its modal loop started.
struct BoxSeen {
    bool shown = false;
    AnsiString caption;
    int clientWidth = 0, clientHeight = 0;
    std::vector<RECT> buttons;
    std::vector<AnsiString> captions;
    RECT label{}, image{}, bevel{};
    int focused = -1; // index of the focused button
    bool topmost = false;
};

class MessageBoxTest : public test::ControlsTest {
protected:
    // Runs box() with act() applied to the box once it is modal; answers
    // what box() returned.
    template <class Box, class Act> int Run(Box box, Act act) {
        OnMessageBoxModal = [this, act](TForm& form) {
            seen = Inspect(form);
            act(form);
            // The input reaches the box here; a box it did not answer is
            // closed so that the test goes on.
            Application()->ProcessMessages();
            if (form.Modal() && form.ModalResult() == mrNone) {
                ADD_FAILURE() << "the box is still open";
                form.SetModalResult(kStillOpen);
            }
        };
        return box();
    }
    BoxSeen Inspect(TForm& form) {
        BoxSeen s;
        s.shown = true;
        s.caption = form.Caption();
        s.clientWidth = form.ClientWidth();
        s.clientHeight = form.ClientHeight();
        s.topmost = GetWindowLongPtr(form.Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST;
        for (int i = 0; i < form.ControlCount(); ++i) {
            TControl* c = form.Controls(i);
            if (auto* b = dynamic_cast<TBitBtn*>(c)) {
                if (b->Focused()) s.focused = int(s.buttons.size());
                s.buttons.push_back(b->BoundsRect());
                s.captions.push_back(b->Caption());
            } else if (dynamic_cast<TLabel*>(c)) {
                s.label = c->BoundsRect();
            } else if (dynamic_cast<TImage*>(c)) {
                s.image = c->BoundsRect();
            } else if (dynamic_cast<TBevel*>(c)) {
                s.bevel = c->BoundsRect();
            }
        }
        return s;
    }
    static auto Key(UINT vk) {
        return [vk](TForm&) { InjectKeyStroke(vk); };
    }
    static auto AltKey(UINT vk) {
        return [vk](TForm&) {
            InjectKey(VK_MENU, true);
            InjectKeyStroke(vk);
            InjectKey(VK_MENU, false);
        };
    }
    // Clicks the middle of button index.
    static auto Click(int index) {
        return [index](TForm& form) {
            int n = 0;
            for (int i = 0; i < form.ControlCount(); ++i)
                if (auto* b = dynamic_cast<TBitBtn*>(form.Controls(i)); b && n++ == index) {
                    const POINT p = b->ClientToScreen({b->Width() / 2, b->Height() / 2});
                    InjectClick(MouseButton::Left, p.x, p.y);
                }
        };
    }
    static constexpr int kStillOpen = 99;
    BoxSeen seen;
};

TEST_F(MessageBoxTest, YesNoCancelQuestionLayoutAnswersAndBeep) {
    MainForm();
    const int answer =
        Run([] { return MessageBoxEx("Save changes?", "", false, MB_YESNOCANCEL | MB_ICONQUESTION); }, Key(VK_RETURN));
    EXPECT_EQ(answer, IDYES);
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.caption, "Main"); // the main form's caption stands in for an empty one
    // Icon 32 x 32 at (18, 18); the text starts at 18 + 32 + 16 = 66, 91
    // wide, centred on the icon: 16 + 18 - 6 = 28.
    EXPECT_EQ(seen.image, (RECT{18, 18, 50, 50}));
    EXPECT_EQ(seen.label, (RECT{66, 28, 157, 41}));
    // One row of three from the text's left, 12 under the text.
    ASSERT_EQ(seen.buttons.size(), 3u);
    EXPECT_EQ(seen.buttons[0], (RECT{66, 53, 141, 78}));
    EXPECT_EQ(seen.buttons[1], (RECT{153, 53, 228, 78}));
    EXPECT_EQ(seen.buttons[2], (RECT{240, 53, 315, 78}));
    EXPECT_EQ(seen.captions, (std::vector<AnsiString>{"&Yes", "&No", "&Cancel"}));
    // 240 + 75 + 2 * 12 wide; the last row's bottom plus the gap high.
    EXPECT_EQ(seen.clientWidth, 339);
    EXPECT_EQ(seen.clientHeight, 90);
    EXPECT_EQ(seen.bevel, (RECT{3, 3, 336, 87}));
    EXPECT_EQ(seen.focused, 0);
    EXPECT_TRUE(seen.topmost);
    const std::vector<SoundRequest> sounds = TakeSoundRequests();
    ASSERT_EQ(sounds.size(), 1u);
    EXPECT_EQ(sounds[0].kind, SoundRequest::Beep);
    EXPECT_EQ(sounds[0].beepType, 0x20u);

    EXPECT_EQ(Run([] { return MessageBoxEx("Save changes?", "", false, 0x23); }, Click(1)), IDNO);
    EXPECT_EQ(Run([] { return MessageBoxEx("Save changes?", "", false, 0x23); }, Click(2)), IDCANCEL);
    EXPECT_EQ(Run([] { return MessageBoxEx("Save changes?", "", false, 0x23); }, AltKey('N')), IDNO);
    // Escape is Cancel where there is one, not No.
    EXPECT_EQ(Run([] { return MessageBoxEx("Save changes?", "", false, 0x23); }, Key(VK_ESCAPE)), IDCANCEL);
    EXPECT_EQ(Run([] { return MessageBoxEx("Go on?", "", true, MB_YESNO); }, Key(VK_ESCAPE)), IDNO);
    EXPECT_TRUE(TakeSoundRequests().size() == 4u); // the silent one made none
}

TEST_F(MessageBoxTest, StandardSetsGiveTheirResults) {
    struct Case {
        UINT flags;
        std::vector<AnsiString> captions;
        std::vector<int> results;
    };
    const Case cases[] = {
        {MB_OK, {"&OK"}, {IDOK}},
        {MB_OKCANCEL, {"&OK", "&Cancel"}, {IDOK, IDCANCEL}},
        {MB_ABORTRETRYIGNORE, {"&Abort", "&Retry", "Ignore"}, {IDABORT, IDRETRY, IDIGNORE}},
        {MB_YESNO, {"&Yes", "&No"}, {IDYES, IDNO}},
        {MB_RETRYCANCEL, {"&Retry", "&Cancel"}, {IDRETRY, IDCANCEL}},
    };
    for (const Case& c : cases) {
        for (size_t i = 0; i < c.results.size(); ++i) {
            const UINT flags = c.flags;
            EXPECT_EQ(Run([flags] { return MessageBoxEx("Text", "Title", true, flags); }, Click(int(i))),
                      c.results[i])
                << "flags " << flags << " button " << i;
            EXPECT_EQ(seen.captions, c.captions);
            EXPECT_EQ(seen.caption, "Title");
        }
    }
}

TEST_F(MessageBoxTest, DefaultButtonTakesTheFocusAndEnter) {
    MainForm();
    // OK and Cancel, question icon, second button default.
    EXPECT_EQ(Run([] { return MessageBoxEx("Proceed?", "", false, 0x121); }, Key(VK_RETURN)), IDCANCEL);
    EXPECT_EQ(seen.focused, 1);
    EXPECT_EQ(Run([] { return MessageBoxEx("Proceed?", "", true, MB_ABORTRETRYIGNORE | MB_DEFBUTTON3); },
                  Key(VK_RETURN)),
              IDIGNORE);
    // A default beyond the buttons is the first button.
    EXPECT_EQ(Run([] { return MessageBoxEx("Proceed?", "", true, MB_OKCANCEL | MB_DEFBUTTON4); }, Key(VK_RETURN)),
              IDOK);
    EXPECT_EQ(seen.focused, 0);
    EXPECT_EQ(Run([] { return CustomMessageBox("Exists", "", nullptr, nullptr, poOwnerFormCenter, "A|B|C", "", false,
                                               false, clBtnFace, 9); },
                  Key(VK_RETURN)),
              11);
}

TEST_F(MessageBoxTest, ButtonSetsOutsideTheSixShowNothing) {
    bool shown = false;
    OnMessageBoxModal = [&](TForm& form) {
        shown = true;
        form.SetModalResult(mrOk);
    };
    EXPECT_EQ(MessageBoxEx("x", "", true, 6), 0);
    EXPECT_EQ(MessageBoxEx("x", "", true, 0x1F), 0); // icon 0x10, rest 0x0F
    EXPECT_EQ(CustomMessageBox("x", "", nullptr, nullptr, poDesktopCenter, "", "", false, false, clBtnFace, 1), 0);
    EXPECT_EQ(CustomMessageBox("x", "", nullptr, nullptr, poDesktopCenter, "|", "", false, false, clBtnFace, 1), 0);
    EXPECT_FALSE(shown);
    EXPECT_TRUE(TakeSoundRequests().empty());
}

TEST_F(MessageBoxTest, CustomCaptionsAnswerElevenUp) {
    MainForm();
    const auto box = [] {
        return CustomMessageBox("File exists", "Copy", nullptr, nullptr, poOwnerFormCenter, "Replace|Add|Cancel", "",
                                false, true, clBtnFace, 2);
    };
    EXPECT_EQ(Run(box, Key(VK_RETURN)), 12);
    EXPECT_EQ(seen.focused, 1);
    EXPECT_EQ(seen.caption, "Copy");
    // No icon: the text at (18, 18 + 16 - 6), 77 wide; three buttons in a row.
    EXPECT_EQ(seen.label, (RECT{18, 28, 95, 41}));
    ASSERT_EQ(seen.buttons.size(), 3u);
    EXPECT_EQ(seen.buttons[0], (RECT{18, 53, 93, 78}));
    EXPECT_EQ(seen.buttons[2], (RECT{192, 53, 267, 78}));
    EXPECT_EQ(seen.clientWidth, 291);
    EXPECT_EQ(seen.clientHeight, 90);
    EXPECT_EQ(Run(box, Click(0)), 11);
    EXPECT_EQ(Run(box, Click(2)), 13);
    // Captions answer Alt with their accelerator.
    EXPECT_EQ(Run([] { return CustomMessageBox("File exists", "Copy", nullptr, nullptr, poOwnerFormCenter,
                                               "&Replace|&Add|Cancel", "", false, true, clBtnFace, 1); },
                  AltKey('A')),
              12);
    // Custom boxes have no cancel role: Escape leaves the box open.
    EXPECT_EQ(Run(box,
                  [](TForm& form) {
                      InjectKeyStroke(VK_ESCAPE);
                      Application()->ProcessMessages();
                      EXPECT_EQ(form.ModalResult(), mrNone);
                      InjectKeyStroke(VK_RETURN);
                  }),
              12);
}

TEST_F(MessageBoxTest, CaptionListsFromBars) {
    EXPECT_EQ(Run([] { return CustomMessageBox("t", "", nullptr, nullptr, poDesktopCenter, "|One|Two|", "", false,
                                               false, clBtnFace, 1); },
                  Click(1)),
              12);
    EXPECT_EQ(seen.captions, (std::vector<AnsiString>{"One", "Two"}));
    Run([] { return CustomMessageBox("t", "", nullptr, nullptr, poDesktopCenter, "A||B", "", false, false, clBtnFace,
                                     1); },
        Click(0));
    EXPECT_EQ(seen.captions, (std::vector<AnsiString>{"A", "", "B"}));
}

TEST_F(MessageBoxTest, RowsOfTwoForFourAndOfFourBeyondNine) {
    const auto box = [](const char* buttons) {
        return [buttons] {
            return CustomMessageBox("x", "", nullptr, nullptr, poDesktopCenter, buttons, "", false, false, clBtnFace, 1);
        };
    };
    EXPECT_EQ(Run(box("A|B|C|D"), Click(3)), 14);
    // Text 7 wide at 18: rows start at 18, 12 apart.
    ASSERT_EQ(seen.buttons.size(), 4u);
    EXPECT_EQ(seen.buttons[0], (RECT{18, 53, 93, 78}));
    EXPECT_EQ(seen.buttons[1], (RECT{105, 53, 180, 78}));
    EXPECT_EQ(seen.buttons[2], (RECT{18, 90, 93, 115}));
    EXPECT_EQ(seen.buttons[3], (RECT{105, 90, 180, 115}));
    EXPECT_EQ(seen.clientWidth, 192);
    EXPECT_EQ(seen.clientHeight, 127);

    EXPECT_EQ(Run(box("1|2|3|4|5|6|7|8|9|10"), Click(9)), 20);
    ASSERT_EQ(seen.buttons.size(), 10u);
    EXPECT_EQ(seen.buttons[3], (RECT{279, 53, 354, 78}));
    EXPECT_EQ(seen.buttons[4], (RECT{18, 90, 93, 115}));
    EXPECT_EQ(seen.buttons[8], (RECT{18, 127, 93, 152}));
    EXPECT_EQ(seen.buttons[9], (RECT{105, 127, 180, 152}));
    EXPECT_EQ(seen.clientWidth, 378);
    EXPECT_EQ(seen.clientHeight, 164);

    // Five: rows of three.
    EXPECT_EQ(Run(box("1|2|3|4|5"), Click(4)), 15);
    EXPECT_EQ(seen.buttons[3], (RECT{18, 90, 93, 115}));
    EXPECT_EQ(seen.clientWidth, 18 + 2 * 87 + 75 + 24);
}

TEST_F(MessageBoxTest, AWideTextCentresASingleButton) {
    const AnsiString text(40, 'w'); // 280 wide, from 18 to 298
    EXPECT_EQ(Run([text] { return MessageBoxEx(text, "", true, MB_OK); }, Key(VK_RETURN)), IDOK);
    ASSERT_EQ(seen.buttons.size(), 1u);
    EXPECT_EQ(seen.buttons[0], (RECT{120, 53, 195, 78})); // (18 + 298 - 75) / 2
    EXPECT_EQ(seen.clientWidth, 298 + 24);
    EXPECT_EQ(seen.clientHeight, 90);
}

TEST_F(MessageBoxTest, APictureTallerThanTheTextStaysAboveTheButtons) {
    TPicture picture;
    picture.Bitmap().SetSize(64, 64);
    EXPECT_EQ(Run([&] { return CustomMessageBox("Hi", "", &picture, nullptr, poDesktopCenter, "OK", "", false, false,
                                                clBtnFace, 1); },
                  Key(VK_RETURN)),
              11);
    // The picture at (34, 34) to 98; the text at 34 + 64 + 32 = 130.
    EXPECT_EQ(seen.image, (RECT{34, 34, 98, 98}));
    EXPECT_EQ(seen.label, (RECT{130, 60, 144, 73}));
    ASSERT_EQ(seen.buttons.size(), 1u);
    EXPECT_EQ(seen.buttons[0].top, 98 + 12);
    EXPECT_EQ(seen.clientHeight, 98 + 12 + 25 + 12);
    // A 16 x 16 picture moves in by 8 and the text by 16.
    picture.Bitmap().SetSize(16, 16);
    Run([&] { return CustomMessageBox("Hi", "", &picture, nullptr, poDesktopCenter, "OK", "", false, false,
                                      clBtnFace, 1); },
        Key(VK_RETURN));
    EXPECT_EQ(seen.image, (RECT{18, 18, 34, 34}));
    EXPECT_EQ(seen.label.left, 10 + 16 + 8 + 16);
    EXPECT_EQ(seen.label.top, 8 + 18 - 6);
}

TEST_F(MessageBoxTest, AnAmpersandInTheTextIsShown) {
    Run([] { return MessageBoxEx("Tom & Jerry.doc", "", true, MB_OK); }, Key(VK_RETURN));
    EXPECT_EQ(seen.label.right - seen.label.left, 15 * 7);
}

TEST_F(MessageBoxTest, TheCloseCommandDoesNotAnswerTheBox) {
    const int answer = Run([] { return MessageBoxEx("x", "", true, MB_OKCANCEL); },
                           [](TForm& form) {
                               // Only Move is left of the window commands.
                               const HMENU menu = GetSystemMenu(form.Handle(), FALSE);
                               EXPECT_EQ(GetMenuItemCount(menu), 1);
                               EXPECT_EQ(GetMenuItemID(menu, 0), UINT(SC_MOVE));
                               RECT r;
                               GetWindowRect(form.Handle(), r);
                               InjectClick(MouseButton::Left, r.right - 12, r.top + 10); // the close button
                               SendMessage(form.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
                               InjectKey(VK_MENU, true);
                               InjectKeyStroke(VK_F4);
                               InjectKey(VK_MENU, false);
                               Application()->ProcessMessages();
                               EXPECT_EQ(form.ModalResult(), mrNone);
                               InjectKeyStroke(VK_RETURN);
                           });
    EXPECT_EQ(answer, IDOK);
}

TEST_F(MessageBoxTest, SoundsOfCustomBoxes) {
    const auto box = [](const char* sound) {
        return [sound] {
            return CustomMessageBox("x", "", nullptr, nullptr, poDesktopCenter, "OK", sound, false, false, clBtnFace, 1);
        };
    };
    for (const char* beep : {"beep", "BeEp", "0"}) {
        Run(box(beep), Key(VK_RETURN));
        const auto r = TakeSoundRequests();
        ASSERT_EQ(r.size(), 1u) << beep;
        EXPECT_EQ(r[0].kind, SoundRequest::Beep);
        EXPECT_EQ(r[0].beepType, 0u);
    }
    Run(box("mb_iconexclamation"), Key(VK_RETURN));
    EXPECT_EQ(TakeSoundRequests().at(0).beepType, 0x30u);
    Run(box("65535"), Key(VK_RETURN));
    EXPECT_EQ(TakeSoundRequests().at(0).beepType, 0xFFFFu);
    Run(box("ALARM"), Key(VK_RETURN));
    auto r = TakeSoundRequests();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].kind, SoundRequest::Play);
    EXPECT_EQ(r[0].sound, "ALARM");
    EXPECT_EQ(r[0].flags, 0x40005u);
    EXPECT_NE(r[0].module, 0u);
    Run(box("C:\\Sounds\\ding.wav"), Key(VK_RETURN));
    EXPECT_EQ(TakeSoundRequests().at(0).flags, 1u);
    Run(box("/usr/share/sounds/ding.wav"), Key(VK_RETURN));
    EXPECT_EQ(TakeSoundRequests().at(0).flags, 1u);
    Run(box(""), Key(VK_RETURN));
    EXPECT_TRUE(TakeSoundRequests().empty());
}

TEST_F(MessageBoxTest, HelpAndInfoBoxes) {
    MainForm();
    EXPECT_EQ(Run([] { return HelpBox("See the manual"); }, Click(1)), 12);
    EXPECT_EQ(seen.captions, (std::vector<AnsiString>{"OK", "Help"}));
    EXPECT_TRUE(Run([] { return InfoBox("Done"); }, Key(VK_RETURN)));
    EXPECT_FALSE(seen.image.right == 0); // the information icon
    EXPECT_TRUE(TakeSoundRequests().empty()); // InfoBox is silent
}

TEST_F(MessageBoxTest, WithoutAMainFormTheCaptionStaysEmptyAndTheBoxIsCentredOnTheScreen) {
    Run([] { return MessageBoxEx("x", "", true, MB_OK); },
        [](TForm& form) {
            EXPECT_EQ(form.Caption(), "");
            EXPECT_EQ(form.Position(), poDesktopCenter);
            EXPECT_EQ(form.Color(), clBtnFace);
            InjectKeyStroke(VK_RETURN);
        });
    EXPECT_TRUE(seen.shown);
}

// A box opens centred on the main form's window and wholly on the work
// area (the headless screen's 1024 x 768), however near an edge its owner is.
TEST_F(MessageBoxTest, TheBoxIsCentredOnItsOwnerAndStaysOnTheScreen) {
    TForm* main = MainForm();
    auto boxAt = [&](const RECT& owner) {
        main->SetBounds(owner.left, owner.top, owner.right - owner.left, owner.bottom - owner.top);
        RECT box{};
        Run([] { return MessageBoxEx("The job cannot be saved: the disc is full.", "", true, MB_ICONERROR); },
            [&box](TForm& form) {
                GetWindowRect(form.Handle(), box);
                InjectKeyStroke(VK_RETURN);
            });
        return box;
    };
    const RECT centred = boxAt({300, 200, 700, 500});
    const int w = centred.right - centred.left, h = centred.bottom - centred.top;
    ASSERT_GT(w, 0);
    EXPECT_EQ(centred.left, 300 + (400 - w) / 2);
    EXPECT_EQ(centred.top, 200 + (300 - h) / 2);
    // Mostly off the screen to the left and above it.
    const RECT leftEdge = boxAt({-350, -250, 50, 50});
    EXPECT_EQ(leftEdge.left, 0);
    EXPECT_EQ(leftEdge.top, 0);
    // Towards the right and bottom edges.
    const RECT rightEdge = boxAt({900, 700, 1300, 1000});
    EXPECT_EQ(rightEdge.right, 1024);
    EXPECT_EQ(rightEdge.bottom, 768);
}

TEST_F(MessageBoxTest, SnapshotOfACustomButtonBox) {
    MainForm();
    TImageList glyphs(nullptr);
    TBitmap glyph;
    glyph.SetSize(16, 16);
    glyph.Canvas().Brush().SetColor(clFuchsia);
    glyph.Canvas().FillRect({0, 0, 16, 16});
    glyph.Canvas().Brush().SetColor(clGreen);
    glyph.Canvas().FillRect({3, 3, 13, 13});
    glyphs.AddMasked(&glyph, clFuchsia);
    Run([&] { return CustomMessageBox("The file \"report.txt\" exists.", "Copy", nullptr, &glyphs, poOwnerFormCenter,
                                      "Replace|Add|Cancel", "MB_ICONQUESTION", false, true, clBtnFace, 2); },
        [this](TForm& form) {
            for (int i = 0; i < form.ControlCount(); ++i) {
                if (auto* b = dynamic_cast<TBitBtn*>(form.Controls(i))) {
                    EXPECT_EQ(b->Glyph().Empty(), b->Caption() != "Replace") << b->Caption();
                }
            }
            form.Repaint();
            Snapshot(form.Handle(), "custom_message_box");
            InjectKeyStroke(VK_ESCAPE);
            InjectKeyStroke(VK_RETURN);
        });
}

// ---- Wait box -------------------------------------------------------------------------------

class WaitBoxTest : public test::ControlsTest {};

TEST_F(WaitBoxTest, GaugeAndCancelLayout) {
    TForm* main = MainForm();
    ASSERT_TRUE(ShowProgressBox("Please wait", "", "", nullptr, poOwnerFormCenter, true, clBtnFace, 0, 0, 0, 10,
                                main->Handle(), true, true));
    TForm* box = ProgressBoxForm();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->Caption(), "Main");
    EXPECT_TRUE(IsWindowVisible(box->Handle()));
    EXPECT_FALSE(box->Modal());
    TGauge* gauge = nullptr;
    TBitBtn* cancel = nullptr;
    TLabel* label = nullptr;
    for (int i = 0; i < box->ControlCount(); ++i) {
        if (auto* g = dynamic_cast<TGauge*>(box->Controls(i))) gauge = g;
        if (auto* b = dynamic_cast<TBitBtn*>(box->Controls(i))) cancel = b;
        if (auto* l = dynamic_cast<TLabel*>(box->Controls(i))) label = l;
    }
    ASSERT_TRUE(gauge && cancel && label);
    EXPECT_EQ(label->BoundsRect(), (RECT{20, 20, 97, 33}));
    EXPECT_EQ(gauge->BoundsRect(), (RECT{20, 53, 97, 73}));
    EXPECT_EQ(cancel->BoundsRect(), (RECT{21, 93, 96, 118})); // (77 + 40) / 2 - 37
    EXPECT_EQ(cancel->Caption(), "&Cancel");
    EXPECT_EQ(box->ClientWidth(), 117);
    EXPECT_EQ(box->ClientHeight(), 138);
    EXPECT_EQ(gauge->MinValue(), 0);
    EXPECT_EQ(gauge->MaxValue(), 10);
    EXPECT_EQ(gauge->Progress(), 0);

    // A second box is refused while this one is open.
    EXPECT_FALSE(ShowWaitBox("Another", ""));
    for (int i = 0; i < 10; ++i) EXPECT_TRUE(SetProgressBoxPosition(1));
    EXPECT_EQ(gauge->Progress(), 10);
    EXPECT_TRUE(SetProgressBoxPosition(5)); // clamped
    EXPECT_EQ(gauge->Progress(), 10);
    app->ProcessMessages();
    box->Repaint();
    Snapshot(box->Handle(), "wait_box");
    EXPECT_TRUE(CloseProgressBox());
    EXPECT_FALSE(CloseProgressBox());
    EXPECT_EQ(ProgressBoxForm(), nullptr);
    EXPECT_FALSE(SetProgressBoxPosition(1));
}

TEST_F(WaitBoxTest, CancelPostsToTheNotifyWindowAndLeavesTheBoxOpen) {
    TForm* main = MainForm();
    int cancels = 0;
    auto previous = main->WindowProc;
    main->WindowProc = [&](TMessage& m) {
        if (m.Msg == WM_PROGRESSBOX_CANCEL) {
            EXPECT_EQ(m.WParam, 0u);
            EXPECT_EQ(m.LParam, 0);
            ++cancels;
        }
        previous(m);
    };
    ASSERT_TRUE(ShowProgressBox("Backing up", "Instant", "", nullptr, poOwnerFormCenter, true, clBtnFace, 0, 0, 0, 0,
                                main->Handle(), false, true));
    app->ProcessMessages();
    TBitBtn* cancel = nullptr;
    for (int i = 0; i < ProgressBoxForm()->ControlCount(); ++i)
        if (auto* b = dynamic_cast<TBitBtn*>(ProgressBoxForm()->Controls(i))) cancel = b;
    ASSERT_NE(cancel, nullptr);
    ClickAt(cancel, 10, 10);
    app->ProcessMessages();
    EXPECT_EQ(cancels, 1);
    ASSERT_NE(ProgressBoxForm(), nullptr);
    EXPECT_TRUE(IsWindowVisible(ProgressBoxForm()->Handle()));
    EXPECT_FALSE(SetProgressBoxPosition(1)); // no gauge
    main->WindowProc = previous;
    CloseProgressBox();
}

TEST_F(WaitBoxTest, ANotifyHandleOfAHundredOrLessGetsNothing) {
    MainForm();
    ASSERT_TRUE(ShowProgressBox("x", "", "", nullptr, poDesktopCenter, true, clBtnFace, 0, 0, 0, 0,
                                reinterpret_cast<HWND>(uintptr_t(100)), false, true));
    app->ProcessMessages();
    for (int i = 0; i < ProgressBoxForm()->ControlCount(); ++i)
        if (auto* b = dynamic_cast<TBitBtn*>(ProgressBoxForm()->Controls(i))) ClickAt(b, 10, 10);
    MSG m;
    EXPECT_FALSE(PeekMessage(m, nullptr, WM_PROGRESSBOX_CANCEL, WM_PROGRESSBOX_CANCEL, PM_REMOVE));
}

TEST_F(WaitBoxTest, WaitBoxHasNoGaugeNorButton) {
    ASSERT_TRUE(ShowWaitBox("Waiting for the disc", "Burn"));
    TForm* box = ProgressBoxForm();
    EXPECT_EQ(box->Caption(), "Burn");
    EXPECT_EQ(box->Position(), poDesktopCenter);
    EXPECT_EQ(box->FormStyle(), fsStayOnTop);
    EXPECT_EQ(box->ClientWidth(), 20 * 7 + 40);
    EXPECT_EQ(box->ClientHeight(), 20 + 13 + 20);
    EXPECT_FALSE(SetProgressBoxPosition(1));
}

TEST_F(WaitBoxTest, FixedSizeAndSoundAtOpening) {
    ASSERT_TRUE(ShowProgressBox("x", "", "MB_ICONINFORMATION", nullptr, poDesktopCenter, false, clBtnFace, 150, 300,
                                0, 5, nullptr, true, false));
    EXPECT_EQ(ProgressBoxForm()->ClientWidth(), 300);
    EXPECT_EQ(ProgressBoxForm()->ClientHeight(), 150);
    EXPECT_EQ(TakeSoundRequests().at(0).beepType, 0x40u);
}

} // namespace
} // namespace ax
