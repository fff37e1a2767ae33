// The hidden handler window: numbers, duplicates, dispatch order and
// results, removal during dispatch, the filter, and removal from another
// thread.
#include "crash/vorMsgWindows.h"
#include "platform/window/display.h"
#include "platform/window/window.h"
#include "rtl/clock.h"

#include <cstdio>
#include <cstdlib>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ax {
namespace {

struct TCall {
    int Who;
    UINT Message;
    WPARAM WParam;
    LPARAM LParam;
    LRESULT ResultSeen;
};

std::mutex callsLock;
std::vector<TCall> calls;

void record(int who, UINT m, WPARAM w, LPARAM l, LRESULT r) {
    std::lock_guard<std::mutex> g(callsLock);
    calls.push_back({who, m, w, l, r});
}

std::vector<TCall> takeCalls() {
    std::lock_guard<std::mutex> g(callsLock);
    return std::exchange(calls, {});
}

std::vector<int> who(const std::vector<TCall>& c) {
    std::vector<int> out;
    for (const TCall& x : c)
        out.push_back(x.Who);
    return out;
}

void procA(HWND, UINT m, WPARAM w, LPARAM l, LRESULT& r) {
    record(1, m, w, l, r);
    r = r * 10 + 1;
}
void procB(HWND, UINT m, WPARAM w, LPARAM l, LRESULT& r) {
    record(2, m, w, l, r);
    r = r * 10 + 2;
}
void procC(HWND, UINT m, WPARAM w, LPARAM l, LRESULT& r) {
    record(3, m, w, l, r);
}
void removesItself(HWND, UINT m, WPARAM w, LPARAM l, LRESULT& r) {
    record(4, m, w, l, r);
    RemoveMsgHandler(&removesItself, m);
}

struct TListener {
    int Id;
    void OnMessage(HWND, UINT m, WPARAM w, LPARAM l, LRESULT& r) {
        record(Id, m, w, l, r);
        r += Id;
    }
    void RemoveMe(HWND, UINT m, WPARAM w, LPARAM l, LRESULT& r) {
        record(Id, m, w, l, r);
        RemoveMsgHandler(MsgHandlerMethod(*this, &TListener::RemoveMe), m);
    }
};

class MsgWindows : public ::testing::Test {
protected:
    void SetUp() override {
        SetClock(&clock);
        SelectDisplay(DisplayKind::Headless);
        takeCalls();
    }
    void TearDown() override {
        for (TMsgHandlerProc p : {&procA, &procB, &procC, &removesItself})
            RemoveMsgHandler(p);
        MSG m;
        while (PeekMessage(m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessage(m);
        // Nothing of a test may outlive it: the next one starts from scratch.
        EXPECT_TRUE(EnumThreadTopWindows(GetCurrentThreadId()).empty());
        SetClock(nullptr);
    }
    ManualClock clock;
};

bool isUpperHex(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    return true;
}

TEST_F(MsgWindows, TheWindowItsClassAndItsEnd) {
    HWND w = MsgHandlerWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(MsgHandlerWindow(), w);
    EXPECT_EQ(MsgHandlerWindow(GetCurrentThreadId()), w);
    EXPECT_EQ(GetWindowThreadProcessId(w), GetCurrentThreadId());

    // "vorToolsMsgHandlerWindow$<thread id>$<routine address>", hex digits.
    std::string name = GetClassName(w);
    char tid[16];
    std::snprintf(tid, sizeof tid, "%X", static_cast<unsigned>(GetCurrentThreadId()));
    std::string prefix = std::string("vorToolsMsgHandlerWindow$") + tid + "$";
    ASSERT_EQ(name.rfind(prefix, 0), 0u) << name;
    EXPECT_TRUE(isUpperHex(name.substr(prefix.size()))) << name;

    EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtr(w, GWL_EXSTYLE)) & 0x80u, 0x80u);
    DWORD style = static_cast<DWORD>(GetWindowLongPtr(w, GWL_STYLE));
    EXPECT_EQ(style & 0x80000000u, 0x80000000u); // WS_POPUP
    EXPECT_EQ(style & (WS_VISIBLE | WS_CHILD | WS_CAPTION), 0u);
    RECT r{};
    ASSERT_TRUE(GetWindowRect(w, r));
    EXPECT_EQ(r.right - r.left, 0);
    EXPECT_EQ(r.bottom - r.top, 0);
    EXPECT_EQ(GetWindowText(w), "");
    EXPECT_EQ(GetParent(w), nullptr);

    // The last handler takes the window and its class along, at once on
    // the window's own thread.
    EXPECT_EQ(AddMsgHandler(&procA, 1500), 1500u);
    RemoveMsgHandler(&procA, 1500);
    EXPECT_FALSE(IsWindow(w));
    WNDCLASS wc;
    EXPECT_FALSE(GetClassInfo(name, wc));
    // And the next request builds a new one.
    HWND again = MsgHandlerWindow();
    EXPECT_NE(again, nullptr);
    EXPECT_TRUE(IsWindow(again));
    EXPECT_EQ(AddMsgHandler(&procA, 1500), 1500u);
    RemoveMsgHandler(&procA);
    EXPECT_FALSE(IsWindow(again));
}

TEST_F(MsgWindows, NewNumbersAreTheLowestFreeFrom1024) {
    EXPECT_EQ(AddMsgHandler(&procA), 1024u);
    EXPECT_EQ(AddMsgHandler(&procB), 1025u);
    // A number asked for is always new, even for a handler already there.
    EXPECT_EQ(AddMsgHandler(&procA), 1026u);
    EXPECT_EQ(AddMsgHandler(&procC, 1028), 1028u);
    EXPECT_EQ(AddMsgHandler(&procC), 1027u);
    EXPECT_EQ(AddMsgHandler(&procC), 1029u);
    RemoveMsgHandler(&procA, 1024);
    EXPECT_EQ(AddMsgHandler(&procB), 1024u);
    // Removing with message 0 takes every number of that handler.
    RemoveMsgHandler(&procC);
    EXPECT_EQ(AddMsgHandler(&procA), 1027u);
}

TEST_F(MsgWindows, TheSameHandlerRegistersOnce) {
    EXPECT_EQ(AddMsgHandler(&procA, 1500), 1500u);
    EXPECT_EQ(AddMsgHandler(&procA, 1500), 1500u);
    EXPECT_EQ(AddMsgHandler(&procA, 1501), 1501u); // another number is another entry
    HWND w = MsgHandlerWindow();
    SendMessage(w, 1500, 7, 8);
    SendMessage(w, 1501, 0, 0);
    EXPECT_EQ(who(takeCalls()), (std::vector<int>{1, 1}));

    TListener one{10}, two{20};
    auto m1 = MsgHandlerMethod(one, &TListener::OnMessage);
    EXPECT_EQ(AddMsgHandler(m1, 1500), 1500u);
    EXPECT_EQ(AddMsgHandler(MsgHandlerMethod(one, &TListener::OnMessage), 1500), 1500u);
    EXPECT_EQ(AddMsgHandler(MsgHandlerMethod(two, &TListener::OnMessage), 1500), 1500u);
    // Another method of the same object is another handler.
    EXPECT_EQ(AddMsgHandler(MsgHandlerMethod(one, &TListener::RemoveMe), 1502), 1502u);
    EXPECT_EQ(SendMessage(w, 1500, 0, 0), 1 + 10 + 20);
    EXPECT_EQ(who(takeCalls()), (std::vector<int>{1, 10, 20}));

    // A method is removed by its object and method, a procedure by itself.
    RemoveMsgHandler(MsgHandlerMethod(one, &TListener::OnMessage));
    EXPECT_EQ(SendMessage(w, 1500, 0, 0), 1 + 20);
    RemoveMsgHandler(&procA);
    EXPECT_EQ(SendMessage(w, 1500, 0, 0), 20);
    RemoveMsgHandler(MsgHandlerMethod(two, &TListener::OnMessage), 1500);
    EXPECT_TRUE(IsWindow(w)); // RemoveMe still holds it
    RemoveMsgHandler(MsgHandlerMethod(one, &TListener::RemoveMe), 1502);
    EXPECT_FALSE(IsWindow(w));
    takeCalls();
}

TEST_F(MsgWindows, HandlersRunInOrderOnTheDefaultResult) {
    AddMsgHandler(&procA, 2000);
    AddMsgHandler(&procC, 2001);
    AddMsgHandler(&procB, 2000);
    HWND w = MsgHandlerWindow();
    // The default procedure answers 0; each handler sees its predecessor's
    // result and the sender gets the last one.
    EXPECT_EQ(SendMessage(w, 2000, 5, -6), 12);
    auto c = takeCalls();
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0].Who, 1);
    EXPECT_EQ(c[0].ResultSeen, 0);
    EXPECT_EQ(c[0].WParam, 5u);
    EXPECT_EQ(c[0].LParam, -6);
    EXPECT_EQ(c[1].Who, 2);
    EXPECT_EQ(c[1].ResultSeen, 1);
    // Posted messages reach them the same way.
    PostMessage(w, 2001, 1, 2);
    MSG m;
    while (PeekMessage(m, nullptr, 0, 0, PM_REMOVE))
        DispatchMessage(m);
    c = takeCalls();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].Who, 3);
    EXPECT_EQ(c[0].Message, 2001u);
}

TEST_F(MsgWindows, OnlyTheListedMessagesAndThoseFrom536AreDispatched) {
    for (UINT m : {17u, 18u, 21u, 22u, 23u, 26u,  27u,  28u,  29u,   30u,    42u,
                   65u, 72u, 80u, 81u, 84u, 126u, 536u, 537u, 5000u, 0xC123u})
        AddMsgHandler(&procC, m);
    for (UINT m : {12u, 19u, 20u, 24u, 25u, 31u, 43u, 127u, 535u})
        AddMsgHandler(&procA, m);
    HWND w = MsgHandlerWindow();
    for (UINT m = 1; m < 540; ++m) {
        // Messages whose default handling would act on the window stay out.
        if (m == WM_CLOSE || m == WM_DESTROY || m == WM_NCDESTROY || m == WM_SETTEXT ||
            m == WM_GETTEXT || m == WM_SHOWWINDOW || m == WM_PAINT)
            continue;
        SendMessage(w, m, 0, 0);
    }
    SendMessage(w, 5000, 0, 0);
    SendMessage(w, 0xC123, 0, 0);
    std::vector<UINT> seen;
    for (const TCall& c : takeCalls())
        seen.push_back(c.Message);
    EXPECT_EQ(seen, (std::vector<UINT>{17, 18, 21, 22, 23, 26,  27,  28,  29,   30,    42,
                                       65, 72, 80, 81, 84, 126, 536, 537, 5000, 0xC123}));
}

TEST_F(MsgWindows, AHandlerRemovingItselfDuringDispatch) {
    AddMsgHandler(&procA, 3000);
    AddMsgHandler(&removesItself, 3000);
    AddMsgHandler(&procB, 3000);
    HWND w = MsgHandlerWindow();
    // The handlers after it still run: the dispatcher works from a copy.
    EXPECT_EQ(SendMessage(w, 3000, 0, 0), 12);
    EXPECT_EQ(who(takeCalls()), (std::vector<int>{1, 4, 2}));
    EXPECT_EQ(SendMessage(w, 3000, 0, 0), 12);
    EXPECT_EQ(who(takeCalls()), (std::vector<int>{1, 2}));
    RemoveMsgHandler(&procA);
    RemoveMsgHandler(&procB);
    EXPECT_FALSE(IsWindow(w));

    // A method that removes itself as the window's last handler: the window
    // goes while it is serving the message, and the method's binding stays
    // alive until the call ends.
    TListener l{7};
    AddMsgHandler(MsgHandlerMethod(l, &TListener::RemoveMe), 3001);
    w = MsgHandlerWindow();
    SendMessage(w, 3001, 0, 0);
    EXPECT_EQ(who(takeCalls()), (std::vector<int>{7}));
    EXPECT_FALSE(IsWindow(w));
}

TEST_F(MsgWindows, AnotherThreadsWindowIsClosedThroughItsQueue) {
    std::promise<void> ready;
    std::promise<void> pump;
    std::shared_future<void> pumpNow = pump.get_future().share();
    HWND w = nullptr;
    DWORD tid = 0;
    std::string name;
    std::vector<UINT> retrieved;
    bool goneAfterClose = false;
    std::thread t([&] {
        tid = GetCurrentThreadId();
        w = MsgHandlerWindow();
        name = GetClassName(w);
        AddMsgHandler(&procC, 4000);
        ready.set_value();
        pumpNow.wait();
        MSG m;
        while (IsWindow(w) && GetMessage(m, nullptr, 0, 0) > 0) {
            retrieved.push_back(m.message);
            DispatchMessage(m);
        }
        WNDCLASS wc;
        goneAfterClose = !IsWindow(w) && !GetClassInfo(name, wc);
    });
    ready.get_future().wait();
    ASSERT_NE(w, nullptr);

    // From here its window is found and filled, but never made.
    EXPECT_EQ(MsgHandlerWindow(tid), w);
    EXPECT_EQ(AddMsgHandler(&procA, 0, tid), 1024u);
    RemoveMsgHandler(&procA, 0, tid);
    EXPECT_EQ(MsgHandlerWindow(tid), w); // procC still holds it

    RemoveMsgHandler(&procC, 0, tid);
    // Not destroyed from here: a close waits in its own queue.
    EXPECT_TRUE(IsWindow(w));
    EXPECT_EQ(MsgHandlerWindow(tid), nullptr);
    EXPECT_EQ(AddMsgHandler(&procA, 0, tid), 0u);
    pump.set_value();
    t.join();
    EXPECT_EQ(retrieved, (std::vector<UINT>{WM_CLOSE}));
    EXPECT_TRUE(goneAfterClose);
    EXPECT_TRUE(takeCalls().empty());
}

TEST_F(MsgWindows, AWindowDestroyedBehindItsBackIsForgotten) {
    EXPECT_EQ(AddMsgHandler(&procA), 1024u);
    HWND w = MsgHandlerWindow();
    std::string name = GetClassName(w);
    DestroyWindow(w);
    // Its handlers went with it; the class it left serves the next window.
    HWND again = MsgHandlerWindow();
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again, w);
    EXPECT_EQ(GetClassName(again), name);
    EXPECT_EQ(AddMsgHandler(&procB), 1024u);
    EXPECT_EQ(SendMessage(again, 1024, 0, 0), 2);
    EXPECT_EQ(who(takeCalls()), (std::vector<int>{2}));
    RemoveMsgHandler(&procB);
    EXPECT_FALSE(IsWindow(again));
    WNDCLASS wc;
    EXPECT_FALSE(GetClassInfo(name, wc));
}

TEST_F(MsgWindows, AThreadWithoutAWindowGetsNone) {
    std::promise<DWORD> started;
    std::promise<void> finish;
    std::thread t([&] {
        started.set_value(GetCurrentThreadId());
        finish.get_future().wait();
    });
    DWORD tid = started.get_future().get();
    EXPECT_EQ(MsgHandlerWindow(tid), nullptr);
    EXPECT_EQ(AddMsgHandler(&procA, 1500, tid), 0u);
    RemoveMsgHandler(&procA, 0, tid); // nothing to do, nothing breaks
    finish.set_value();
    t.join();
}

TEST(MsgWindowsDeathTest, AClosedRegistryTakesNothing) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SelectDisplay(DisplayKind::Headless);
            AddMsgHandler(&procC, 1500);
            HWND w = MsgHandlerWindow();
            CloseMsgHandlerRegistry();
            LRESULT r = SendMessage(w, 1500, 0, 0);
            bool ok = r == 0 && takeCalls().empty() && MsgHandlerWindow() == nullptr &&
                      AddMsgHandler(&procA) == 0;
            // The window stays until destroyed; gone before exit, so the
            // program ends without windows.
            ok = ok && IsWindow(w) && DestroyWindow(w);
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace ax
