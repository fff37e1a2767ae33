// The tray icon against the recording notification area: what is added,
// changed and removed, the tip, mouse events from the callback message,
// the pop-up menu and the default item, the animation on the GUI thread,
// and the icon list's stored form.
#include "controls/ExTrayIcon.h"
#include "controls_fixture.h"
#include "framework/streaming.h"

#include <chrono>
#include <thread>

namespace ax {
namespace {

using namespace std::chrono_literals;

std::unique_ptr<TIcon> StockIcon(unsigned id) {
    auto icon = std::make_unique<TIcon>();
    icon->SetHandle(CopyIcon(LoadIcon(0, id)));
    return icon;
}

class TrayIconTest : public test::ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        TakeTrayCalls();
    }
    void TearDown() override {
        EXPECT_TRUE(TrayIcons().empty());
        ControlsTest::TearDown();
    }
    void Mouse(TExTrayIcon* tray, UINT message) {
        PostMessage(tray->WindowHandle(), WM_TRAYNOTIFY, 0, LPARAM(message));
        app->ProcessMessages();
    }
};

TEST_F(TrayIconTest, AnIconAddsItselfAndItsTip) {
    TExTrayIcon* tray = TComponent::Create<TExTrayIcon>(app.get());
    EXPECT_FALSE(tray->Added()); // an empty icon shows nothing
    EXPECT_TRUE(TrayIcons().empty());
    tray->SetHint("ArdentixXP|Backup program");
    auto info = StockIcon(IDI_INFORMATION);
    tray->SetIcon(info.get());
    EXPECT_TRUE(tray->Added());
    ASSERT_EQ(TrayIcons().size(), 1u);
    EXPECT_EQ(TrayIcons()[0].tip, "ArdentixXP");
    EXPECT_EQ(TrayIcons()[0].callbackMessage, 0xB054u);
    std::vector<TrayCall> calls = TakeTrayCalls();
    ASSERT_GE(calls.size(), 2u);
    const TrayCall& add = calls.back();
    EXPECT_EQ(add.message, NIM_ADD);
    EXPECT_EQ(add.data.cbSize, 88u);
    EXPECT_EQ(add.data.uID, 0u);
    EXPECT_EQ(add.data.uFlags, 7u);
    EXPECT_EQ(add.data.hWnd, tray->WindowHandle());

    tray->SetHint(AnsiString(100, 'x'));
    EXPECT_EQ(TrayIcons()[0].tip, AnsiString(63, 'x'));
    calls = TakeTrayCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].message, NIM_MODIFY);

    tray->SetActive(false);
    EXPECT_TRUE(TrayIcons().empty());
    tray->SetActive(true);
    EXPECT_EQ(TrayIcons().size(), 1u);
    tray->Free();
    EXPECT_TRUE(TrayIcons().empty());
}

TEST_F(TrayIconTest, MouseActivityBecomesEvents) {
    TExTrayIcon* tray = TComponent::Create<TExTrayIcon>(app.get());
    auto info = StockIcon(IDI_INFORMATION);
    tray->SetIcon(info.get());
    std::vector<std::string> events;
    tray->OnClick = [&](TObject*, TMouseButton b, TShiftState s, int x, int y) {
        events.push_back("click " + std::to_string(b) + " " + std::to_string(s) + " " + std::to_string(x) + "," +
                         std::to_string(y));
    };
    tray->OnMouseDown = [&](TObject*, TMouseButton b, TShiftState s, int, int) {
        events.push_back("down " + std::to_string(b) + " " + std::to_string(s));
    };
    tray->OnMouseUp = [&](TObject*, TMouseButton b, TShiftState s, int, int) {
        events.push_back("up " + std::to_string(b) + " " + std::to_string(s));
    };
    tray->OnDblClick = [&](TObject*) { events.push_back("dblclick"); };
    InjectMouseMove(700, 500);
    app->ProcessMessages();
    // Through the notification area, as a click on the icon comes.
    ASSERT_TRUE(InjectTrayMouse(tray->WindowHandle(), 0, WM_LBUTTONDOWN));
    app->ProcessMessages();
    Mouse(tray, WM_LBUTTONUP);
    const std::vector<std::string> click = {"down 0 8", "click 0 8 700,500", "up 0 8"};
    EXPECT_EQ(events, click);
    events.clear();
    // A release without its press on the icon is no click.
    Mouse(tray, WM_RBUTTONUP);
    EXPECT_EQ(events, std::vector<std::string>{"up 1 16"});
    events.clear();
    // Without a menu a right click is a click.
    Mouse(tray, WM_RBUTTONDOWN);
    Mouse(tray, WM_RBUTTONUP);
    EXPECT_EQ(events, (std::vector<std::string>{"down 1 16", "click 1 16 700,500", "up 1 16"}));
    events.clear();
    Mouse(tray, WM_LBUTTONDBLCLK);
    EXPECT_EQ(events, (std::vector<std::string>{"dblclick", "down 0 64"}));
    events.clear();
    tray->SetEnabled(false);
    Mouse(tray, WM_LBUTTONDOWN);
    EXPECT_TRUE(events.empty());
    tray->Free();
}

TEST_F(TrayIconTest, TheMenuPopsUpOnRightClickAndItsDefaultItemRunsOnDoubleClick) {
    MainForm();
    TExTrayIcon* tray = TComponent::Create<TExTrayIcon>(app.get());
    auto info = StockIcon(IDI_INFORMATION);
    tray->SetIcon(info.get());
    TPopupMenu* menu = TComponent::Create<TPopupMenu>(app.get());
    int restores = 0, clicks = 0, dbl = 0;
    TMenuItem* restore = menu->Items()->NewItem("&Restore", 0, [&](TObject*) { ++restores; });
    menu->Items()->NewItem("E&xit", 0, [](TObject*) {});
    tray->SetPopupMenu(menu);
    tray->OnClick = [&](TObject*, TMouseButton, TShiftState, int, int) { ++clicks; };
    tray->OnDblClick = [&](TObject*) { ++dbl; };
    bool popped = false;
    TPopupMenu::OnTrackingStarted = [&](TPopupMenu& m) {
        popped = true;
        EXPECT_EQ(m.PopupComponent(), tray);
        m.CloseMenu();
    };
    Mouse(tray, WM_RBUTTONDOWN);
    Mouse(tray, WM_RBUTTONUP);
    TPopupMenu::OnTrackingStarted = nullptr;
    EXPECT_TRUE(popped);
    EXPECT_EQ(clicks, 0);

    Mouse(tray, WM_LBUTTONDBLCLK);
    EXPECT_EQ(dbl, 1); // no default item yet
    restore->SetDefault(true);
    Mouse(tray, WM_LBUTTONDBLCLK);
    EXPECT_EQ(restores, 1);
    EXPECT_EQ(dbl, 1);
    restore->SetEnabled(false);
    Mouse(tray, WM_LBUTTONDBLCLK);
    EXPECT_EQ(dbl, 2);
    menu->Free();
    EXPECT_EQ(tray->PopupMenu(), nullptr);
    tray->Free();
}

TEST_F(TrayIconTest, AnimationStepsThroughTheIconsOnTheGuiThread) {
    TExTrayIcon* tray = TComponent::Create<TExTrayIcon>(app.get());
    auto a = StockIcon(IDI_INFORMATION), b = StockIcon(IDI_WARNING), c = StockIcon(IDI_ERROR);
    tray->SetAnimated(true);
    EXPECT_FALSE(tray->Animated()); // nothing to animate
    tray->Icons().Add(a.get());
    tray->Icons().Add(b.get());
    tray->Icons().Add(c.get());
    tray->SetInterval(400);
    tray->SetAnimated(true);
    ASSERT_TRUE(tray->Animated());
    ASSERT_TRUE(tray->Added());
    EXPECT_EQ(tray->IconIndex(), 0);
    TakeTrayCalls();
    const auto end = std::chrono::steady_clock::now() + 10s;
    for (int step = 1; step <= 4; ++step) {
        clock.Advance(400);
        while (tray->IconIndex() != step % 3 && std::chrono::steady_clock::now() < end) {
            app->ProcessMessages();
            std::this_thread::yield();
        }
        ASSERT_EQ(tray->IconIndex(), step % 3) << "step " << step;
    }
    const std::vector<TrayCall> calls = TakeTrayCalls();
    ASSERT_EQ(calls.size(), 4u);
    for (const TrayCall& call : calls) EXPECT_EQ(call.message, NIM_MODIFY);
    // Emptying the list stops the animation.
    tray->Icons().Clear();
    EXPECT_FALSE(tray->Animated());
    EXPECT_FALSE(tray->Added()); // and nothing is left to show
    tray->Free();
}

TEST_F(TrayIconTest, TheIconListStoresItsEntries) {
    TIconList list;
    auto a = StockIcon(IDI_INFORMATION);
    list.Add(a.get());
    list.SetIcons(1, nullptr); // an empty entry at the end
    list.Add(a.get());
    int changes = 0;
    list.OnChange = [&](TObject*) { ++changes; };
    list.Exchange(0, 1);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(list.Icons(0)->Empty());
    EXPECT_THROW(list.Icons(3), EListError);

    TMemoryStream stream;
    list.SaveToStream(stream);
    const auto& bytes = stream.Bytes();
    ASSERT_GE(bytes.size(), 16u);
    EXPECT_EQ(bytes[0], 3); // three entries
    EXPECT_EQ(bytes[4] | bytes[5] | bytes[6] | bytes[7], 0); // the first is empty
    const uint32_t size = bytes[8] | (bytes[9] << 8) | (bytes[10] << 16) | (uint32_t(bytes[11]) << 24);
    EXPECT_EQ(bytes[12], 0); // an icon file: reserved 0, type 1
    EXPECT_EQ(bytes[14], 1);

    TIconList back;
    stream.SetPosition(0);
    back.LoadFromStream(stream);
    ASSERT_EQ(back.Count(), 3);
    EXPECT_EQ(back.Icons(0), nullptr); // read back as an empty entry
    EXPECT_EQ(back.Icons(1)->Width(), 32);

    // A damaged list is refused whole.
    std::vector<uint8_t> damaged(bytes.begin(), bytes.begin() + 12 + size / 2);
    TMemoryStream bad(damaged);
    EXPECT_THROW(back.LoadFromStream(bad), EReadError);
    EXPECT_EQ(back.Count(), 3);
    std::vector<uint8_t> huge = {0xFF, 0xFF, 0xFF, 0x7F};
    TMemoryStream hugeStream(huge);
    EXPECT_THROW(back.LoadFromStream(hugeStream), EReadError);
    EXPECT_EQ(back.Count(), 3);
}

} // namespace
} // namespace ax
