// Window hooks on a control: order, stopping, detaching in any order, the
// window being re-created and the control going away.
#include <gtest/gtest.h>

#include "controls/ExHook.h"
#include "controls_fixture.h"
#include "framework/streaming.h"

namespace ax {
namespace {

constexpr UINT kPing = WM_USER + 1;

// Answers kPing with its wParam plus 1000 and counts the pings it saw.
class Target : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
    int pings = 0;
    void Dispatch(TMessage& m) override {
        if (m.Msg == kPing) {
            ++pings;
            m.Result = LRESULT(m.WParam) + 1000;
            return;
        }
        TCustomControl::Dispatch(m);
    }
};

class ExHookTest : public test::ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        form = MakeForm();
        target = TComponent::Create<Target>(form);
        target->SetParent(form);
        target->SetBounds(10, 10, 50, 50);
        baseCount = HookedControlCount();
    }
    TExWindowHook* Hook(const std::string& name, std::vector<std::string>& log, bool stop = false) {
        auto* hook = TComponent::Create<TExWindowHook>(form);
        hook->BeforeMessage = [&log, name, stop](TObject*, TMessage& m, bool& handled) {
            if (m.Msg != kPing) return;
            log.push_back(name + " before");
            if (stop) {
                handled = true;
                m.Result = 7;
            }
        };
        hook->AfterMessage = [&log, name](TObject*, TMessage& m, bool&) {
            if (m.Msg == kPing) log.push_back(name + " after " + std::to_string(m.Result));
        };
        hook->SetWinControl(target);
        return hook;
    }
    LRESULT Ping(WPARAM w = 1) { return SendMessage(target->Handle(), kPing, w, 0); }
    TForm* form = nullptr;
    Target* target = nullptr;
    int baseCount = 0;
};

TEST_F(ExHookTest, TheLastAttachedHookHearsFirst) {
    std::vector<std::string> log;
    Hook("a", log);
    Hook("b", log);
    EXPECT_EQ(Ping(), 1001);
    EXPECT_EQ(log, (std::vector<std::string>{"b before", "a before", "b after 1001", "a after 1001"}));
    EXPECT_EQ(target->pings, 1);
    EXPECT_EQ(HookedControlCount(), baseCount + 1); // one entry for the control
}

TEST_F(ExHookTest, AHookCanStopAMessageAndChangeIt) {
    std::vector<std::string> log;
    Hook("a", log);
    TExWindowHook* b = Hook("b", log, true);
    EXPECT_EQ(Ping(), 7);
    EXPECT_EQ(log, (std::vector<std::string>{"b before"}));
    EXPECT_EQ(target->pings, 0);
    // A hook may rewrite the message for those after it.
    b->BeforeMessage = [](TObject*, TMessage& m, bool&) {
        if (m.Msg == kPing) m.WParam = 5;
    };
    EXPECT_EQ(Ping(1), 1005);
    // An inactive hook hears nothing.
    b->SetActive(false);
    log.clear();
    EXPECT_EQ(Ping(2), 1002);
    EXPECT_EQ(log, (std::vector<std::string>{"a before", "a after 1002"}));
}

TEST_F(ExHookTest, HooksDetachInAnyOrder) {
    std::vector<std::string> log;
    TExWindowHook* a = Hook("a", log);
    TExWindowHook* b = Hook("b", log);
    TExWindowHook* c = Hook("c", log);
    b->SetWinControl(nullptr); // the middle one first
    EXPECT_EQ(Ping(), 1001);
    EXPECT_EQ(log, (std::vector<std::string>{"c before", "a before", "c after 1001", "a after 1001"}));
    form->FreeComponent(a); // then the first
    log.clear();
    Ping();
    EXPECT_EQ(log, (std::vector<std::string>{"c before", "c after 1001"}));
    c->SetActive(false); // and the last: the control's window is itself again
    log.clear();
    EXPECT_EQ(Ping(), 1001);
    EXPECT_TRUE(log.empty());
    app->ProcessMessages(); // the empty entry is freed from the list's window
    EXPECT_EQ(HookedControlCount(), baseCount);
    // Attaching again installs a fresh entry.
    b->SetWinControl(target);
    log.clear();
    Ping();
    EXPECT_EQ(log, (std::vector<std::string>{"b before", "b after 1001"}));
    EXPECT_EQ(target->pings, 4);
}

TEST_F(ExHookTest, AHookDetachingItselfWhileTold) {
    std::vector<std::string> log;
    Hook("a", log);
    TExWindowHook* b = Hook("b", log);
    b->BeforeMessage = [&](TObject*, TMessage& m, bool&) {
        if (m.Msg != kPing) return;
        log.push_back("b leaves");
        b->SetWinControl(nullptr);
    };
    EXPECT_EQ(Ping(), 1001);
    EXPECT_EQ(log, (std::vector<std::string>{"b leaves", "a before", "a after 1001"}));
}

TEST_F(ExHookTest, TheHookFollowsTheControlToItsNewWindow) {
    std::vector<std::string> log;
    Hook("a", log);
    const HWND before = target->Handle();
    target->RecreateWnd();
    target->HandleNeeded();
    app->ProcessMessages(); // the list's window puts the hook back
    ASSERT_NE(target->Handle(), before);
    log.clear();
    EXPECT_EQ(Ping(), 1001);
    EXPECT_EQ(log, (std::vector<std::string>{"a before", "a after 1001"}));
}

TEST_F(ExHookTest, TheControlGoingAwayLeavesTheHooksUnattached) {
    std::vector<std::string> log;
    TExWindowHook* a = Hook("a", log);
    TExWindowHook* b = Hook("b", log);
    form->FreeComponent(target);
    target = nullptr;
    EXPECT_EQ(a->WinControl(), nullptr);
    EXPECT_EQ(b->WinControl(), nullptr);
    app->ProcessMessages();
    EXPECT_EQ(HookedControlCount(), baseCount);
}

TEST_F(ExHookTest, TheOwnerFormIsStoredAsIsForm) {
    auto* hook = TComponent::Create<TExWindowHook>(form);
    hook->SetName("Hook1");
    hook->SetWinControl(form);
    TMemoryStream stream;
    TWriter writer(stream);
    writer.WriteProperties(*hook);
    const std::string bytes(reinterpret_cast<const char*>(stream.Memory()), size_t(stream.Size()));
    EXPECT_EQ(bytes.find("WinControl"), std::string::npos);
    EXPECT_NE(bytes.find("IsForm"), std::string::npos);
}

} // namespace
} // namespace ax
