#include <atomic>
#include <thread>

#include "bounded_wait.h"
#include "framework_fixture.h"
#include "framework/timers.h"

namespace ax {
namespace {

using test::FrameworkTest;

class Box : public TCustomControl {
public:
    explicit Box(TComponent* owner) : TCustomControl(owner) {
        SetTabStop(true);
        SetBounds(0, 0, 40, 20);
    }
    AnsiString ClassName() const override { return "TBox"; }
    int destroyWnds = 0;
    int paints = 0;

protected:
    void DestroyWnd() override { ++destroyWnds; }
    void Paint() override { ++paints; }
};

TEST_F(FrameworkTest, RecreatingTheWindowKeepsTheControlsState) {
    auto* form = app->CreateForm<TForm>();
    auto* box = TComponent::Create<Box>(form);
    box->SetParent(form);
    auto* inner = TComponent::Create<Box>(form);
    inner->SetParent(box);
    box->SetBounds(10, 12, 50, 30);
    box->SetCaption("Keep me");
    box->SetEnabled(false);
    form->Show();
    HWND before = box->Handle();
    HWND innerBefore = inner->Handle();
    ASSERT_TRUE(IsWindow(before));
    box->RecreateWnd();
    HWND after = box->Handle();
    EXPECT_FALSE(IsWindow(before));
    EXPECT_FALSE(IsWindow(innerBefore));
    EXPECT_NE(after, before);
    EXPECT_EQ(box->destroyWnds, 1);
    EXPECT_EQ(GetWindowText(after), "Keep me");
    EXPECT_FALSE(IsWindowEnabled(after));
    EXPECT_TRUE(IsWindowVisible(after));
    ASSERT_TRUE(inner->HandleAllocated());
    EXPECT_EQ(GetParent(inner->Handle()), after);
    RECT r;
    GetWindowRect(after, r);
    POINT origin = form->ClientOrigin();
    EXPECT_EQ(r.left - origin.x, 10);
    EXPECT_EQ(r.width(), 50);
    EXPECT_EQ(TWinControl::FindControl(after), box);
    EXPECT_EQ(TWinControl::FindControl(before), nullptr);
}

TEST_F(FrameworkTest, LaterControlsAreStackedInFrontOfEarlierOnes) {
    auto* form = app->CreateForm<TForm>();
    auto make = [&](bool visible) {
        auto* box = TComponent::Create<Box>(form);
        box->SetVisible(visible);
        box->SetParent(form);
        return box;
    };
    Box* hidden = make(false); // gets its window last, yet stays at the back
    Box* a = make(true);
    Box* b = make(true);
    form->Show();
    auto order = [&] {
        std::vector<HWND> out;
        for (HWND h = GetWindow(form->Handle(), GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT))
            out.push_back(h);
        return out;
    };
    EXPECT_EQ(order(), (std::vector<HWND>{b->Handle(), a->Handle()}));
    hidden->Show();
    EXPECT_EQ(order(), (std::vector<HWND>{b->Handle(), a->Handle(), hidden->Handle()}));
    form->RecreateWnd();
    EXPECT_EQ(order(), (std::vector<HWND>{b->Handle(), a->Handle(), hidden->Handle()}));
    a->BringToFront();
    EXPECT_EQ(order(), (std::vector<HWND>{a->Handle(), b->Handle(), hidden->Handle()}));
    a->SendToBack();
    EXPECT_EQ(order(), (std::vector<HWND>{b->Handle(), hidden->Handle(), a->Handle()}));
}

TEST_F(FrameworkTest, ClientSizeBeforeTheWindowExistsLeavesRoomForTheFrame) {
    auto* form = app->CreateForm<TForm>(); // sizeable: 4-pixel frame, 19-pixel caption
    form->SetBounds(0, 0, 300, 200);
    ASSERT_FALSE(form->HandleAllocated());
    EXPECT_EQ(form->ClientWidth(), 292);
    EXPECT_EQ(form->ClientHeight(), 173);
    form->SetBorderStyle(bsSingle); // 3-pixel fixed frame
    form->SetClientSize(420, 300);
    EXPECT_EQ(form->Width(), 426);
    EXPECT_EQ(form->Height(), 325);
    auto* box = TComponent::Create<Box>(form);
    box->SetParent(form);
    box->SetAlign(alBottom);
    ASSERT_FALSE(form->HandleAllocated());
    EXPECT_EQ(box->Top(), 300 - box->Height());
    form->Show();
    RECT client;
    GetClientRect(form->Handle(), client);
    EXPECT_EQ(client.width(), 420);
    EXPECT_EQ(client.height(), 300);
    EXPECT_EQ(box->Top(), 300 - box->Height());
}

TEST_F(FrameworkTest, FreeingAControlUnhooksItFromParentAndPopupMenu) {
    auto* form = app->CreateForm<TForm>();
    auto* box = TComponent::Create<Box>(form);
    box->SetParent(form);
    auto* menu = TComponent::Create<TPopupMenu>(form);
    box->SetPopupMenu(menu);
    form->Show();
    HWND h = box->Handle();
    menu->Free();
    EXPECT_EQ(box->PopupMenu(), nullptr);
    box->Free();
    EXPECT_EQ(form->ControlCount(), 0);
    EXPECT_FALSE(IsWindow(h));
}

TEST_F(FrameworkTest, TabOrderAndFocus) {
    auto* form = app->CreateForm<TForm>();
    std::vector<std::string> log;
    Box* boxes[3];
    for (int i = 0; i < 3; ++i) {
        boxes[i] = TComponent::Create<Box>(form);
        boxes[i]->SetName("B" + std::to_string(i));
        boxes[i]->SetParent(form);
        boxes[i]->SetLeft(i * 50);
        boxes[i]->OnEnter = [&log, i](TObject*) { log.push_back("enter" + std::to_string(i)); };
        boxes[i]->OnExit = [&log, i](TObject*) { log.push_back("exit" + std::to_string(i)); };
    }
    boxes[2]->SetTabOrder(0); // order: 2, 0, 1
    EXPECT_EQ(boxes[0]->TabOrder(), 1);
    form->Show();
    app->ProcessMessages();
    EXPECT_TRUE(boxes[2]->Focused());
    EXPECT_EQ(form->ActiveControl(), boxes[2]);
    InjectKeyStroke(VK_TAB);
    app->ProcessMessages();
    EXPECT_TRUE(boxes[0]->Focused());
    boxes[1]->SetEnabled(false);
    InjectKeyStroke(VK_TAB);
    app->ProcessMessages();
    EXPECT_TRUE(boxes[2]->Focused()) << "a disabled control is skipped and the order wraps";
    InjectKey(VK_SHIFT, true);
    InjectKeyStroke(VK_TAB);
    InjectKey(VK_SHIFT, false);
    app->ProcessMessages();
    EXPECT_TRUE(boxes[0]->Focused());
    EXPECT_EQ(log, (std::vector<std::string>{"enter2", "exit2", "enter0", "exit0", "enter2", "exit2", "enter0"}));
    EXPECT_EQ(Screen()->ActiveControl(), boxes[0]);
    boxes[1]->SetEnabled(true);
    boxes[1]->SetVisible(false);
    EXPECT_THROW(boxes[1]->SetFocus(), EInvalidOperation);
}

TEST_F(FrameworkTest, KeyPreviewSeesKeysFirst) {
    auto* form = app->CreateForm<TForm>();
    auto* box = TComponent::Create<Box>(form);
    box->SetParent(form);
    std::vector<std::string> log;
    form->SetKeyPreview(true);
    form->OnKeyDown = [&](TObject*, WORD& key, TShiftState) {
        log.push_back("form");
        if (key == VK_ESCAPE) key = 0;
    };
    box->OnKeyDown = [&](TObject*, WORD&, TShiftState) { log.push_back("box"); };
    form->Show();
    app->ProcessMessages();
    InjectKeyStroke('A');
    InjectKeyStroke(VK_ESCAPE);
    app->ProcessMessages();
    EXPECT_EQ(log, (std::vector<std::string>{"form", "box", "form"}));
}

TEST_F(FrameworkTest, ModalLoopsNestTwoDeep) {
    auto* first = app->CreateForm<TForm>();
    auto* outer = app->CreateForm<TForm>();
    auto* inner = app->CreateForm<TForm>();
    first->Show();
    int step = 0;
    int maxLevel = 0;
    bool outerDisabledDuringInner = false;
    TModalResult innerResult = mrNone;
    app->OnIdle = [&](TObject*, bool& done) {
        done = false;
        maxLevel = std::max(maxLevel, app->ModalLevel());
        if (step == 0 && outer->Modal()) {
            step = 1;
            EXPECT_FALSE(IsWindowEnabled(first->Handle()));
            innerResult = inner->ShowModal();
            step = 3;
            outer->SetModalResult(mrRetry);
        } else if (step == 1 && inner->Modal()) {
            step = 2;
            outerDisabledDuringInner = !IsWindowEnabled(outer->Handle());
            inner->SetModalResult(mrOk);
        }
    };
    const TModalResult outerResult = outer->ShowModal();
    EXPECT_EQ(innerResult, mrOk);
    EXPECT_EQ(outerResult, mrRetry);
    EXPECT_EQ(maxLevel, 2);
    EXPECT_TRUE(outerDisabledDuringInner);
    EXPECT_EQ(app->ModalLevel(), 0);
    EXPECT_TRUE(IsWindowEnabled(first->Handle()));
    EXPECT_FALSE(outer->Visible());
    EXPECT_THROW(first->ShowModal(), EInvalidOperation); // already visible
}

TEST_F(FrameworkTest, CloseQueryCanRefuseAModalClose) {
    auto* form = app->CreateForm<TForm>();
    int asked = 0;
    form->OnCloseQuery = [&](TObject*, bool& canClose) { canClose = ++asked > 1; };
    app->OnIdle = [&](TObject*, bool& done) {
        done = false;
        if (form->Modal() && form->ModalResult() == mrNone) form->SetModalResult(mrOk);
    };
    EXPECT_EQ(form->ShowModal(), mrOk);
    EXPECT_EQ(asked, 2);
}

TEST_F(FrameworkTest, SynchronizeIsServedInsideAModalLoop) {
    auto* form = app->CreateForm<TForm>();
    std::atomic<bool> ran{false};
    std::thread worker;
    form->OnShow = [&](TObject*) {
        worker = std::thread([&] {
            const bool served = Synchronize([&] {
                EXPECT_TRUE(IsMainThread());
                ran = true;
                form->SetModalResult(mrYes);
            });
            EXPECT_TRUE(served);
        });
    };
    EXPECT_EQ(form->ShowModal(), mrYes);
    worker.join();
    EXPECT_TRUE(ran);
}

TEST_F(FrameworkTest, SynchronizeIsReleasedWhenTheApplicationShutsDown) {
    std::atomic<bool> ran{false};
    std::atomic<bool> started{false};
    std::atomic<int> result{-1};
    std::thread worker([&] {
        started = true;
        result = Synchronize([&] { ran = true; }) ? 1 : 0;
    });
    ASSERT_TRUE(test::WaitUntil([&] { return started.load(); })) << "the worker never started";
    app.reset(); // nobody serves the queue any more
    worker.join();
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(ran);
}

TEST_F(FrameworkTest, ExceptionsInHandlersGoToTheApplication) {
    auto* form = app->CreateForm<TForm>();
    auto* box = TComponent::Create<Box>(form);
    box->SetParent(form);
    box->OnClick = [](TObject*) { throw EConvertError("Bad value"); };
    form->Show();
    app->ProcessMessages();
    const POINT p = box->ClientToScreen({5, 5});
    InjectClick(MouseButton::Left, p.x, p.y);
    app->ProcessMessages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "Bad value.");
    std::string seen;
    app->OnException = [&](TObject*, const std::exception& e) { seen = e.what(); };
    InjectClick(MouseButton::Left, p.x, p.y);
    app->ProcessMessages();
    EXPECT_EQ(seen, "Bad value");
}

TEST_F(FrameworkTest, AFailureHandlingAMessageFromAnotherThreadGoesToTheApplication) {
    WNDCLASS wc;
    wc.lpszClassName = "FailingReceiver";
    wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m == WM_USER + 40) throw EConvertError(w ? "Sent value" : "Posted value");
        return DefWindowProc(h, m, w, l);
    };
    RegisterClass(wc);
    HWND receiver = CreateWindowEx(0, "FailingReceiver", "", WS_POPUP, 0, 0, 10, 10, nullptr);
    std::vector<std::string> seen;
    app->OnException = [&](TObject*, const std::exception& e) { seen.push_back(e.what()); };
    // On its own thread: a posted message's failure.
    PostMessage(receiver, WM_USER + 40, 0, 0);
    app->HandleMessage();
    // From another thread: the same path, on this thread.
    std::atomic<LRESULT> answer{-1};
    std::thread sender([&] {
        answer = SendMessage(receiver, WM_USER + 40, 1, 0);
        PostMessage(receiver, WM_NULL, 0, 0); // ends the wait of a loop that swallowed it
    });
    app->HandleMessage(); // serves the send (waiting for it if need be)
    sender.join();
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(seen, (std::vector<std::string>{"Posted value", "Sent value"}));
    DestroyWindow(receiver);
}

TEST_F(FrameworkTest, TimerFiresOnTheInjectedClock) {
    auto* timer = TComponent::Create<TTimer>(app.get());
    int ticks = 0;
    timer->OnTimer = [&](TObject*) { ++ticks; };
    timer->SetInterval(100);
    app->ProcessMessages();
    EXPECT_EQ(ticks, 0);
    clock.Advance(100);
    app->ProcessMessages();
    EXPECT_EQ(ticks, 1);
    timer->SetEnabled(false);
    clock.Advance(500);
    app->ProcessMessages();
    EXPECT_EQ(ticks, 1);
}

TEST_F(FrameworkTest, HintShowsAfterThePauseAndAsksTheControl) {
    auto* form = app->CreateForm<TForm>();
    auto* box = TComponent::Create<Box>(form);
    box->SetParent(form);
    box->SetHint("Short|Long text");
    box->SetShowHint(true);
    std::vector<std::string> hints;
    app->OnHint = [&](TObject*) { hints.push_back(app->Hint()); };
    int enters = 0;
    box->OnMouseEnter = [&](TObject*) { ++enters; };
    form->Show();
    app->ProcessMessages();
    const POINT p = box->ClientToScreen({3, 3});
    InjectMouseMove(p.x, p.y);
    app->ProcessMessages();
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(hints, (std::vector<std::string>{"Long text"}));
    EXPECT_TRUE(app->HintWindow() == nullptr || !app->HintWindow()->HandleAllocated());
    clock.Advance(500);
    app->ProcessMessages();
    ASSERT_NE(app->HintWindow(), nullptr);
    EXPECT_TRUE(app->HintWindow()->HandleAllocated());
    EXPECT_EQ(app->HintWindow()->Caption(), "Short");
    clock.Advance(2500);
    app->ProcessMessages();
    EXPECT_FALSE(app->HintWindow()->HandleAllocated());
}

TEST_F(FrameworkTest, ScreenCursorRegistry) {
    EXPECT_EQ(Screen()->Cursors(crHourGlass), LoadCursor(0, IDC_WAIT));
    EXPECT_EQ(Screen()->Cursors(crHelp), LoadCursor(0, IDC_HELP));
    EXPECT_EQ(Screen()->Cursors(12345), LoadCursor(0, IDC_ARROW));
    HCURSOR custom = CopyIcon(LoadCursor(0, IDC_CROSS));
    Screen()->SetCursors(1, custom);
    EXPECT_EQ(Screen()->Cursors(1), custom);
    Screen()->SetCursor(crHourGlass);
    EXPECT_EQ(GetCursor(), LoadCursor(0, IDC_WAIT));
    Screen()->SetCursor(crDefault);
    EXPECT_EQ(Screen()->Cursor(), crDefault);
}

// ---- Menus --------------------------------------------------------------------------------

class MenuTest : public FrameworkTest {
protected:
    void SetUp() override {
        FrameworkTest::SetUp();
        form = app->CreateForm<TForm>();
        form->Show();
        app->ProcessMessages();
        menu = TComponent::Create<TPopupMenu>(form);
        auto log = [this](const char* name) { return [this, name](TObject*) { clicked.push_back(name); }; };
        open = menu->Items()->NewItem("&Open", ShortCut('O', ssCtrl), log("open"));
        sub = menu->Items()->NewItem("&More");
        deep = sub->NewItem("&Deep", 0, log("deep"));
        menu->Items()->NewItem("-");
        exitItem = menu->Items()->NewItem("E&xit", 0, log("exit"));
    }
    void TearDown() override {
        TPopupMenu::OnTrackingStarted = nullptr;
        FrameworkTest::TearDown();
    }
    TForm* form = nullptr;
    TPopupMenu* menu = nullptr;
    TMenuItem *open = nullptr, *sub = nullptr, *deep = nullptr, *exitItem = nullptr;
    std::vector<std::string> clicked;
};

TEST_F(MenuTest, KeyboardScriptOpensASubMenuAndChooses) {
    size_t windowsSeen = 0;
    TPopupMenu::OnTrackingStarted = [&](TPopupMenu& m) {
        windowsSeen = m.TrackingWindows().size();
        for (UINT vk : {VK_DOWN, VK_DOWN, VK_RIGHT, VK_RETURN}) InjectKeyStroke(vk);
    };
    menu->Popup(50, 50);
    EXPECT_EQ(windowsSeen, 1u);
    EXPECT_EQ(clicked, (std::vector<std::string>{"deep"}));
    EXPECT_FALSE(menu->Tracking());
}

TEST_F(MenuTest, LinesAreSkippedAndDisabledItemsRefuse) {
    exitItem->SetEnabled(false);
    TPopupMenu::OnTrackingStarted = [&](TPopupMenu&) {
        // Up from nothing wraps to the last item, skipping the line: Exit.
        for (UINT vk : {VK_UP, VK_RETURN, VK_ESCAPE, VK_ESCAPE}) InjectKeyStroke(vk);
    };
    menu->Popup(50, 50);
    EXPECT_TRUE(clicked.empty());
}

TEST_F(MenuTest, AcceleratorAndEscape) {
    TPopupMenu::OnTrackingStarted = [&](TPopupMenu&) { InjectKeyStroke('O', U'o'); };
    menu->Popup(50, 50);
    TPopupMenu::OnTrackingStarted = [&](TPopupMenu&) { InjectKeyStroke(VK_ESCAPE); };
    menu->Popup(50, 50);
    EXPECT_EQ(clicked, (std::vector<std::string>{"open"}));
}

TEST_F(MenuTest, MouseClickOnAnItemAndOutside) {
    TPopupMenu::OnTrackingStarted = [&](TPopupMenu& m) {
        RECT r;
        GetWindowRect(m.TrackingWindows()[0], r);
        InjectClick(MouseButton::Left, r.left + 30, r.top + 2 + 18 * 0 + 9); // Open
    };
    menu->Popup(60, 40);
    TPopupMenu::OnTrackingStarted = [&](TPopupMenu& m) {
        RECT r;
        GetWindowRect(m.TrackingWindows()[0], r);
        InjectClick(MouseButton::Left, r.right + 50, r.bottom + 50);
    };
    menu->Popup(60, 40);
    EXPECT_EQ(clicked, (std::vector<std::string>{"open"}));
}

TEST_F(MenuTest, RadioItemsAndShortcuts) {
    auto* a = menu->Items()->NewItem("A");
    auto* b = menu->Items()->NewItem("B");
    for (auto* i : {a, b}) {
        i->SetRadioItem(true);
        i->SetGroupIndex(1);
        i->SetAutoCheck(true);
    }
    a->SetChecked(true);
    b->Click();
    EXPECT_TRUE(b->Checked());
    EXPECT_FALSE(a->Checked());
    EXPECT_TRUE(menu->IsShortCut('O', ssCtrl));
    EXPECT_FALSE(menu->IsShortCut('O', 0));
    EXPECT_EQ(ShortCutToText(ShortCut('O', ssCtrl)), "Ctrl+O");
    EXPECT_EQ(TextToShortCut("Shift+F10"), TShortCut(scShift | VK_F10));
    EXPECT_EQ(clicked, (std::vector<std::string>{"open"}));
}

TEST_F(MenuTest, ContextMenuKeyPopsTheControlsMenu) {
    auto* box = TComponent::Create<Box>(form);
    box->SetParent(form);
    box->SetPopupMenu(menu);
    box->SetFocus();
    app->ProcessMessages();
    TPopupMenu::OnTrackingStarted = [&](TPopupMenu& m) {
        EXPECT_EQ(m.PopupComponent(), box);
        InjectKeyStroke(VK_ESCAPE);
    };
    bool popped = false;
    menu->OnPopup = [&](TObject*) { popped = true; };
    InjectKeyStroke(VK_APPS);
    app->ProcessMessages();
    EXPECT_TRUE(popped);
}

TEST_F(FrameworkTest, AControlFreedUnderTheMouseIsForgotten) {
    auto form = std::make_unique<TForm>(nullptr); // owned by nobody the application hears from
    form->SetBounds(100, 100, 200, 150);
    auto* box = TComponent::Create<Box>(form.get());
    box->SetParent(form.get());
    box->SetBounds(0, 0, 100, 100);
    form->Show();
    app->ProcessMessages();
    const POINT p = box->ClientToScreen({10, 10});
    InjectMouseMove(p.x, p.y);
    app->ProcessMessages();
    ASSERT_EQ(app->MouseControl(), box);
    form.reset();
    EXPECT_EQ(app->MouseControl(), nullptr);
    InjectMouseMove(p.x + 1, p.y);
    app->ProcessMessages();
}

} // namespace
} // namespace ax
