// Message boxes, the wait box and the option check lists on a real display
// under a window manager, answered and clicked with real X input. The main
// form holds a check-box list and a radio list; boxes open over it. The
// modal-entry hook only tells the test which window the box is; the answer
// always comes from the server's input.
#include "controls/ExCheckListBox.h"
#include "controls/MessageBoxes.h"
#include "stdctrls/buttons.h"
#include "stdctrls/gauges.h"
#include "x11_program.h"

namespace ax {
namespace {

// Key symbols (X11/keysym.h stays out: its macros clash with ours).
constexpr unsigned long kXK_Return = 0xFF0D, kXK_Escape = 0xFF1B, kXK_Alt_L = 0xFFE9, kXK_space = 0x20,
                        kXK_F4 = 0xFFC1;

class X11BoxesTest : public test::X11FormTest {
protected:
    TForm* Build(TApplication& app) override {
        TForm* form = app.CreateForm<TForm>();
        form->SetCaption("Backup");
        form->SetBorderStyle(bsSingle);
        form->SetBounds(60, 60, 0, 0);
        form->SetClientSize(380, 170);
        checks = MakeList(form, 10, {"Archive bit", "Recurse folders", "Store paths", "Hidden files"});
        checks->SetState(2, cbGrayed);
        checks->SetItemEnabled(3, false);
        radio = MakeList(form, 200, {"Maximum", "Normal", "Store only"});
        radio->SetCheckKind(ckRadioButtons);
        radio->SetCheckedIndex(1);
        radio->SetItemEnabled(2, false);
        events.clear();
        clickChecks = 0;
        // The wait box's notify window is the main form.
        previousProc = form->WindowProc;
        form->WindowProc = [this](TMessage& m) {
            if (m.Msg == WM_PROGRESSBOX_CANCEL) ++cancels;
            previousProc(m);
        };
        form->DoCreate();
        return form;
    }
    void BeforeEnd() override {
        // A box a failed test left open is answered, so the program ends.
        if (IsWindow(boxWindow) && boxForm->Modal()) boxForm->SetModalResult(mrCancel);
        CloseProgressBox();
        OnMessageBoxModal = nullptr;
    }
    TExCheckListBox* MakeList(TForm* form, int x, std::initializer_list<const char*> items) {
        auto* list = TComponent::Create<TExCheckListBox>(form);
        list->SetParent(form);
        list->SetBounds(x, 10, 170, 150);
        for (const char* item : items) list->Items().Add(item);
        list->OnStateChange = [this, list](TObject*, int index) {
            events.push_back((list == radio ? "radio " : "check ") + std::to_string(index));
        };
        list->OnClickCheck = [this](TObject*) { ++clickChecks; };
        return list;
    }

    // Opens the box box() builds on the program's thread and returns once
    // it is modal, shown where the program has it and has the keyboard.
    void Open(std::function<int()> box) {
        int before = 0;
        ASSERT_TRUE(program->Call([&] {
            before = boxesSeen;
            answered = false;
            OnMessageBoxModal = [this](TForm& form) {
                boxForm = &form;
                boxWindow = form.Handle();
                ++boxesSeen;
            };
        }));
        program->Post([this, box] {
            answer = box();
            answered = true;
        });
        ASSERT_TRUE(Until([&] { return boxesSeen > before; })) << "no box came up";
        const HWND box_ = program->Get<HWND>([&] { return boxWindow; });
        ASSERT_TRUE(Shown(box_, true)) << "the box was not shown with the keyboard focus";
    }
    // The buttons of the open box, in order: screen rectangles and captions.
    std::vector<std::pair<RECT, AnsiString>> Buttons() {
        return program->Get<std::vector<std::pair<RECT, AnsiString>>>([&] {
            std::vector<std::pair<RECT, AnsiString>> out;
            for (int i = 0; i < boxForm->ControlCount(); ++i)
                if (auto* b = dynamic_cast<TBitBtn*>(boxForm->Controls(i))) {
                    const POINT tl = b->ClientToScreen({0, 0});
                    out.push_back({RECT{tl.x, tl.y, tl.x + b->Width(), tl.y + b->Height()}, b->Caption()});
                }
            return out;
        });
    }
    void ClickButton(size_t index) {
        const auto buttons = Buttons();
        ASSERT_LT(index, buttons.size());
        const RECT r = buttons[index].first;
        Click({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    }
    // Returns once the program has read what the server sent it so far and
    // handled the messages posted for it (input may still wait).
    void Flush() {
        ASSERT_TRUE(server.WindowManagerBarrier());
        ASSERT_TRUE(program->Call([] { PumpDisplay(); }));
        auto done = std::make_shared<std::atomic<bool>>(false);
        program->Post([done] { *done = true; }); // behind everything posted before
        ASSERT_TRUE(server.WaitFor([&] { return done->load(); }));
    }
    // What the box answered; -1 when it stays open.
    int Answer() {
        if (!Until([&] { return answered; })) return -1;
        return program->Get<int>([&] { return answer; });
    }
    int YesNoCancel(UINT flags, const std::function<void()>& act) {
        Open([flags] { return MessageBoxEx("Save the changes to the job?", "", false, flags); });
        if (HasFatalFailure()) return -1;
        act();
        return Answer();
    }
    // A point in the check strip of a list's item (or on its text).
    POINT ItemPoint(TExCheckListBox* list, int index, bool strip) {
        return program->Get<POINT>([=] {
            const RECT r = list->ItemRect(index);
            const int x = strip ? r.left + list->CheckWidth() / 2 + 1 : r.left + list->CheckWidth() + 20;
            return list->ClientToScreen(POINT{x, (r.top + r.bottom) / 2});
        });
    }
    std::vector<int> States(TExCheckListBox* list) {
        return program->Get<std::vector<int>>([=] {
            std::vector<int> out;
            for (int i = 0; i < list->Count(); ++i) out.push_back(list->State(i));
            return out;
        });
    }
    std::vector<std::string> Events() {
        return program->Get<std::vector<std::string>>([&] { return events; });
    }

    // Written on the program's thread only.
    TExCheckListBox* checks = nullptr;
    TExCheckListBox* radio = nullptr;
    std::vector<std::string> events;
    int clickChecks = 0, cancels = 0, boxesSeen = 0;
    TForm* boxForm = nullptr;
    HWND boxWindow = nullptr;
    int answer = 0;
    bool answered = false;
    std::function<void(TMessage&)> previousProc;
};

TEST_F(X11BoxesTest, YesNoCancelIsAnsweredByClicks) {
    EXPECT_EQ(YesNoCancel(0x23, [&] { ClickButton(1); }), IDNO);
    EXPECT_EQ(YesNoCancel(0x23, [&] { ClickButton(0); }), IDYES);
    EXPECT_EQ(YesNoCancel(0x23, [&] {
                  const auto buttons = Buttons();
                  ASSERT_EQ(buttons.size(), 3u);
                  EXPECT_EQ(buttons[0].second, "&Yes");
                  EXPECT_EQ(buttons[1].second, "&No");
                  EXPECT_EQ(buttons[2].second, "&Cancel");
                  // One row, left to right.
                  EXPECT_EQ(buttons[0].first.top, buttons[2].first.top);
                  EXPECT_LT(buttons[0].first.right, buttons[1].first.left);
                  ClickButton(2);
              }),
              IDCANCEL);
    // The owner is usable again.
    EXPECT_TRUE(Until([&] { return IsWindowEnabled(program->formWindow()) != FALSE; }));
}

TEST_F(X11BoxesTest, YesNoCancelIsAnsweredByKeys) {
    // Return presses the default button, which has the focus.
    EXPECT_EQ(YesNoCancel(0x23, [&] { server.KeyStroke(kXK_Return); }), IDYES);
    EXPECT_EQ(YesNoCancel(0x23 | MB_DEFBUTTON2, [&] { server.KeyStroke(kXK_Return); }), IDNO);
    EXPECT_EQ(YesNoCancel(0x23 | MB_DEFBUTTON3, [&] { server.KeyStroke(kXK_Return); }), IDCANCEL);
    // Escape is Cancel, never No.
    EXPECT_EQ(YesNoCancel(0x23, [&] { server.KeyStroke(kXK_Escape); }), IDCANCEL);
    // Alt and the caption's letter.
    const auto alt = [&](unsigned long letter) {
        return [this, letter] {
            server.Key(kXK_Alt_L, true);
            server.KeyStroke(letter);
            server.Key(kXK_Alt_L, false);
        };
    };
    EXPECT_EQ(YesNoCancel(0x23, alt('n')), IDNO);
    EXPECT_EQ(YesNoCancel(0x23 | MB_DEFBUTTON3, alt('y')), IDYES);
    EXPECT_EQ(YesNoCancel(0x23, alt('c')), IDCANCEL);
}

TEST_F(X11BoxesTest, NeitherTheWindowManagerNorAltF4ClosesABox) {
    Open([] { return MessageBoxEx("The backup is complete.", "", false, MB_OKCANCEL); });
    ASSERT_FALSE(HasFatalFailure());
    const HWND box = program->Get<HWND>([&] { return boxWindow; });
    const unsigned long x = XWindowOf(box);
    server.Close(x); // a taskbar's close request
    Flush();
    EXPECT_FALSE(program->Get<bool>([&] { return answered; })) << "the close request answered the box";
    EXPECT_TRUE(server.WindowGeometry(x).viewable);
    // Keys are handled in order: had Alt+F4 answered the box, Return would
    // not be what does.
    server.Key(kXK_Alt_L, true);
    server.KeyStroke(kXK_F4);
    server.Key(kXK_Alt_L, false);
    server.KeyStroke(kXK_Return);
    EXPECT_EQ(Answer(), IDOK);
}

TEST_F(X11BoxesTest, CustomButtonsAnswerElevenToThirteen) {
    const auto box = [] {
        return CustomMessageBox("The file \"report.txt\" exists in the backup.", "Copy", nullptr, nullptr,
                                poOwnerFormCenter, "Replace|Add|Cancel", "MB_ICONQUESTION", false, true,
                                clBtnFace, 2);
    };
    Open(box);
    ASSERT_FALSE(HasFatalFailure());
    const auto buttons = Buttons();
    ASSERT_EQ(buttons.size(), 3u);
    EXPECT_EQ(buttons[0].second, "Replace");
    EXPECT_EQ(buttons[1].second, "Add");
    EXPECT_EQ(buttons[2].second, "Cancel");
    EXPECT_EQ(server.TextProperty(XWindowOf(program->Get<HWND>([&] { return boxWindow; })), "_NET_WM_NAME"),
              "Copy");
    Shot(program->Get<HWND>([&] { return boxWindow; }), "x11_custom_message_box");
    ClickButton(0);
    EXPECT_EQ(Answer(), 11);
    for (size_t i = 1; i < 3; ++i) {
        Open(box);
        ASSERT_FALSE(HasFatalFailure());
        ClickButton(i);
        EXPECT_EQ(Answer(), int(11 + i));
    }
}

TEST_F(X11BoxesTest, WaitBoxCancelTellsTheNotifyWindowAndStaysOpen) {
    ASSERT_TRUE(program->Get<bool>([&] {
        return ShowProgressBox("Copying files to the backup...", "", "", nullptr, poOwnerFormCenter, true, clBtnFace,
                               0, 0, 0, 10, program->formWindow(), true, true);
    }));
    ASSERT_TRUE(program->Call([] { SetProgressBoxPosition(4); }));
    const HWND box = program->Get<HWND>([] { return ProgressBoxForm()->Handle(); });
    ASSERT_TRUE(Shown(box)) << "the wait box was not shown";
    // Modeless: the main form stays usable.
    EXPECT_TRUE(program->Get<bool>([&] { return IsWindowEnabled(program->formWindow()) != FALSE; }));
    EXPECT_EQ(program->Get<int>([] {
        for (int i = 0; i < ProgressBoxForm()->ControlCount(); ++i)
            if (auto* g = dynamic_cast<TGauge*>(ProgressBoxForm()->Controls(i))) return g->Progress();
        return -1;
    }),
              4);
    Shot(box, "x11_wait_box");

    const RECT cancel = program->Get<RECT>([] {
        for (int i = 0; i < ProgressBoxForm()->ControlCount(); ++i)
            if (auto* b = dynamic_cast<TBitBtn*>(ProgressBoxForm()->Controls(i))) {
                const POINT tl = b->ClientToScreen({0, 0});
                return RECT{tl.x, tl.y, tl.x + b->Width(), tl.y + b->Height()};
            }
        return RECT{};
    });
    ASSERT_GT(cancel.right, cancel.left) << "no Cancel button";
    const POINT middle{(cancel.left + cancel.right) / 2, (cancel.top + cancel.bottom) / 2};
    Click(middle);
    EXPECT_TRUE(Until([&] { return cancels == 1; })) << "message 1030 did not arrive";
    EXPECT_TRUE(program->Get<bool>([&] { return ProgressBoxForm() && ProgressBoxForm()->Handle() == box; }));
    EXPECT_TRUE(server.WindowGeometry(XWindowOf(box)).viewable);
    // Each press tells the caller again.
    Click(middle);
    EXPECT_TRUE(Until([&] { return cancels == 2; }));
    EXPECT_TRUE(program->Get<bool>([] { return SetProgressBoxPosition(1); }));
    ExpectAsRepainted(program->Get<TForm*>([] { return ProgressBoxForm(); }), "x11_wait_box_cancelled");

    const unsigned long x = XWindowOf(box);
    ASSERT_TRUE(program->Get<bool>([] { return CloseProgressBox(); }));
    EXPECT_TRUE(server.WaitFor([&] { return !server.WindowGeometry(x).exists; })) << "the box stayed on the screen";
    EXPECT_EQ(program->Get<int>([&] { return cancels; }), 2);
}

TEST_F(X11BoxesTest, OptionListsAreCheckedByClicks) {
    // Check boxes: a click in the strip toggles; one on the text selects.
    Click(ItemPoint(checks, 0, true));
    EXPECT_TRUE(Until([&] { return checks->State(0) == cbChecked; }));
    Click(ItemPoint(checks, 1, false));
    EXPECT_TRUE(Until([&] { return checks->ItemIndex() == 1; }));
    server.KeyStroke(kXK_space); // space toggles the selected item
    EXPECT_TRUE(Until([&] { return checks->State(1) == cbChecked; }));
    Click(ItemPoint(checks, 0, true));
    EXPECT_TRUE(Until([&] { return checks->State(0) == cbUnchecked; }));
    Click(ItemPoint(checks, 3, true)); // disabled: selected, left alone
    EXPECT_TRUE(Until([&] { return checks->ItemIndex() == 3; }));
    EXPECT_EQ(States(checks), (std::vector<int>{0, 1, 2, 0}));
    EXPECT_EQ(Events(), (std::vector<std::string>{"check 0", "check 1", "check 0"}));

    // Radio: clicking another item unchecks the first, with an event for
    // the clicked item only.
    program->Call([&] { events.clear(); });
    Click(ItemPoint(radio, 0, true));
    EXPECT_TRUE(Until([&] { return radio->CheckedIndex() == 0; }));
    EXPECT_EQ(States(radio), (std::vector<int>{1, 0, 0}));
    Click(ItemPoint(radio, 0, true)); // the checked item stays checked
    Click(ItemPoint(radio, 2, true)); // disabled
    Click(ItemPoint(radio, 1, true));
    EXPECT_TRUE(Until([&] { return radio->CheckedIndex() == 1; }));
    EXPECT_EQ(States(radio), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(Events(), (std::vector<std::string>{"radio 0", "radio 1"}));
    // Told of every click and key on an enabled item: three in each list
    // (the click on the checked radio item included).
    EXPECT_EQ(program->Get<int>([&] { return clickChecks; }), 3 + 3);

    // What the clicks left on the screen is what fresh painting shows.
    ExpectAsRepainted(checks, "x11_option_lists_checks");
    ExpectAsRepainted(radio, "x11_option_lists_radio");
    Shot(program->formWindow(), "x11_option_lists");
}

} // namespace
} // namespace ax
