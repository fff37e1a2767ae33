// Windows, queues, sends across threads, dropped posts, quit codes,
// subclass chains, timers on the manual clock, hooks and waits.
#include "test_support.h"

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>

namespace ax {
namespace {

using test::Log;
using test::Pump;

class Messages : public test::WindowTest {};

TEST_F(Messages, CreationAndDestructionSendTheirMessagesInOrder) {
    HWND parent = CreateWindowEx(0, "Rec", "p", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, nullptr);
    ASSERT_TRUE(parent);
    auto created = Log().Only({WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE});
    ASSERT_EQ(created.size(), 5u);
    EXPECT_EQ(created[0].msg, UINT(WM_NCCREATE));
    EXPECT_EQ(created[1].msg, UINT(WM_NCCALCSIZE));
    EXPECT_EQ(created[2].msg, UINT(WM_CREATE));
    EXPECT_EQ(created[3].msg, UINT(WM_SIZE));
    // Client of an overlapped window: 4-pixel frame and a 19-pixel caption.
    EXPECT_EQ(created[3].lp, MAKELPARAM(192, 73));
    EXPECT_EQ(created[4].lp, MAKELPARAM(14, 33));

    HWND child = CreateWindowEx(0, "Rec", "", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, parent, 7);
    HWND grandchild = CreateWindowEx(0, "Rec", "", WS_CHILD, 0, 0, 5, 5, child, 8);
    EXPECT_EQ(GetDlgItem(parent, 7), child);
    EXPECT_EQ(GetParent(grandchild), child);
    Log().Take();
    EXPECT_TRUE(DestroyWindow(parent));
    auto destroyed = Log().Only({WM_DESTROY, WM_NCDESTROY});
    ASSERT_EQ(destroyed.size(), 6u);
    const std::pair<HWND, UINT> expected[] = {{parent, WM_DESTROY},     {child, WM_DESTROY},
                                              {grandchild, WM_DESTROY}, {grandchild, WM_NCDESTROY},
                                              {child, WM_NCDESTROY},    {parent, WM_NCDESTROY}};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(destroyed[i].hwnd, expected[i].first) << i;
        EXPECT_EQ(destroyed[i].msg, expected[i].second) << i;
    }
    EXPECT_FALSE(IsWindow(parent));
    EXPECT_FALSE(IsWindow(grandchild));
    EXPECT_FALSE(DestroyWindow(parent));
}

TEST_F(Messages, CreateFailsCleanlyWhenTheProcedureRefuses) {
    WNDCLASS wc;
    wc.lpszClassName = "Refuser";
    wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        Log().Add(h, m, w, l);
        if (m == WM_CREATE) return -1;
        return DefWindowProc(h, m, w, l);
    };
    RegisterClass(wc);
    EXPECT_EQ(CreateWindowEx(0, "Refuser", "", WS_POPUP, 0, 0, 10, 10, nullptr), nullptr);
    auto msgs = Log().Only({WM_DESTROY, WM_NCDESTROY});
    ASSERT_EQ(msgs.size(), 2u);
    EXPECT_FALSE(IsWindow(msgs[0].hwnd));
    EXPECT_EQ(CreateWindowEx(0, "NoSuchClass", "", WS_POPUP, 0, 0, 10, 10, nullptr), nullptr);
}

TEST_F(Messages, PeekFiltersByWindowRangeAndRemoval) {
    HWND a = CreateWindowEx(0, "Rec", "", WS_POPUP, 0, 0, 10, 10, nullptr);
    HWND b = CreateWindowEx(0, "Rec", "", WS_POPUP, 0, 0, 10, 10, nullptr);
    PostMessage(a, WM_USER + 1, 1, 0);
    PostMessage(b, WM_USER + 2, 2, 0);
    PostMessage(a, WM_USER + 3, 3, 0);
    PostThreadMessage(GetCurrentThreadId(), WM_USER + 4, 4, 0);
    MSG m;
    ASSERT_TRUE(PeekMessage(m, b, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.message, UINT(WM_USER + 2));
    ASSERT_TRUE(PeekMessage(m, nullptr, WM_USER + 3, WM_USER + 4, PM_REMOVE));
    EXPECT_EQ(m.message, UINT(WM_USER + 3));
    ASSERT_TRUE(PeekMessage(m, reinterpret_cast<HWND>(intptr_t(-1)), 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, UINT(WM_USER + 4));
    EXPECT_EQ(m.hwnd, nullptr);
    EXPECT_FALSE(PeekMessage(m, a, WM_USER + 2, WM_USER + 2, PM_REMOVE));
    // What is left comes in the order it was posted.
    ASSERT_TRUE(PeekMessage(m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.wParam, 1u);
    ASSERT_TRUE(PeekMessage(m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.wParam, 2u);
    EXPECT_FALSE(PeekMessage(m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(GetMessage(m, reinterpret_cast<HWND>(intptr_t(0x7777)), 0, 0), -1);
}

TEST_F(Messages, QuitComesAfterPostedMessagesWithItsExitCode) {
    HWND a = CreateWindowEx(0, "Rec", "", WS_POPUP, 0, 0, 10, 10, nullptr);
    PostQuitMessage(7);
    PostMessage(a, WM_USER, 0, 0);
    MSG m;
    ASSERT_EQ(GetMessage(m, nullptr, 0, 0), 1);
    EXPECT_EQ(m.message, UINT(WM_USER));
    ASSERT_EQ(GetMessage(m, nullptr, 0, 0), 0);
    EXPECT_EQ(m.message, UINT(WM_QUIT));
    EXPECT_EQ(m.wParam, 7u);
    EXPECT_FALSE(PeekMessage(m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Messages, QuitOnAnotherThreadEndsItsLoop) {
    std::atomic<DWORD> tid{0};
    int code = -1;
    std::thread t([&] {
        EnsureMessageQueue();
        tid = GetCurrentThreadId();
        MSG m;
        while (GetMessage(m, nullptr, 0, 0) > 0)
            DispatchMessage(m);
        code = static_cast<int>(m.wParam);
    });
    ASSERT_TRUE(test::WaitUntil([&] { return tid != 0; })) << "the worker made no queue";
    PostThreadMessage(tid, WM_QUIT, 42, 0);
    t.join();
    EXPECT_EQ(code, 42);
    EXPECT_FALSE(PostThreadMessage(tid, WM_USER, 0, 0)); // its queue is gone
}

TEST_F(Messages, SendToAnotherThreadWaitsForItsLoopAndServesSendsMeanwhile) {
    HWND mine = CreateWindowEx(0, "Rec", "", WS_POPUP, 0, 0, 10, 10, nullptr);
    std::atomic<HWND> theirs{nullptr};
    std::atomic<bool> sending{false};
    LRESULT fromMain = 0;
    WNDCLASS wc;
    wc.lpszClassName = "Worker";
    wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m == WM_USER + 10) return static_cast<LRESULT>(w * 2);
        if (m == WM_USER + 11) return SendMessage(reinterpret_cast<HWND>(l), WM_USER + 12) + 1;
        return DefWindowProc(h, m, w, l);
    };
    RegisterClass(wc);
    // The worker's send to us is served while we wait for our own.
    struct Answer {
        static LRESULT Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
            if (m == WM_USER + 12) return 100;
            if (m == WM_USER + 20) return static_cast<LRESULT>(w + 1);
            return DefWindowProc(h, m, w, l);
        }
    };
    SetWindowSubclass(mine, Answer::Proc, 1);
    std::thread t([&] {
        theirs = CreateWindowEx(0, "Worker", "", WS_POPUP, 0, 0, 10, 10, nullptr);
        // Blocked sending to the main thread, this thread must still answer it.
        sending = true;
        fromMain = SendMessage(mine, WM_USER + 20, 5, 0);
        MSG m;
        while (GetMessage(m, nullptr, 0, 0) > 0)
            DispatchMessage(m);
        DestroyWindow(theirs);
    });
    ASSERT_TRUE(test::WaitUntil([&] { return sending.load(); })) << "the worker never sent";
    // A send to a thread that is itself sending to us.
    EXPECT_EQ(SendMessage(theirs, WM_USER + 10, 21, 0), 42);
    // Nested: our send makes the worker send back to us before answering.
    EXPECT_EQ(SendMessage(theirs, WM_USER + 11, 0, reinterpret_cast<LPARAM>(mine)), 101);
    PostThreadMessage(GetWindowThreadProcessId(theirs), WM_QUIT, 0, 0);
    t.join();
    EXPECT_EQ(fromMain, 6);
    EXPECT_FALSE(IsWindow(theirs));
    EXPECT_EQ(SendMessage(theirs, WM_USER + 10, 1, 0), 0);
}

TEST_F(Messages, AFailureHandlingASendFromAnotherThreadIsRaisedOnTheReceiver) {
    WNDCLASS wc;
    wc.lpszClassName = "Failing";
    wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m == WM_USER + 30) throw std::runtime_error("handler failed");
        return DefWindowProc(h, m, w, l);
    };
    RegisterClass(wc);
    HWND mine = CreateWindowEx(0, "Failing", "", WS_POPUP, 0, 0, 10, 10, nullptr);
    std::atomic<LRESULT> answer{-1};
    std::thread t([&] { answer = SendMessage(mine, WM_USER + 30, 0, 0); });
    std::string raised;
    MSG m;
    try {
        // A peek serves the send once it came.
        test::WaitUntil([&] { return !PeekMessage(m, nullptr, 0, 0, PM_NOREMOVE) && answer != -1; });
    } catch (const std::runtime_error& e) {
        raised = e.what();
    }
    t.join();
    EXPECT_EQ(raised, "handler failed") << "the failure was swallowed";
    EXPECT_EQ(answer, 0) << "the sender got no answer";
    // The failure was raised once; the queue serves on.
    PostMessage(mine, WM_USER + 31, 0, 0);
    ASSERT_TRUE(PeekMessage(m, mine, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, UINT(WM_USER + 31));
    DestroyWindow(mine);
}

TEST_F(Messages, PostsToADestroyedWindowReleaseTheirPayloads) {
    struct Payload {
        int refs = 1;
    };
    constexpr UINT kBatch = 0x8033;
    static std::atomic<int> released{0};
    released = 0;
    SetDroppedMessageHandler(kBatch, [](const MSG& m) {
        auto* p = reinterpret_cast<Payload*>(m.wParam);
        --p->refs;
        ++released;
    });
    Payload payloads[3];
    HWND doomed = CreateWindowEx(0, "Rec", "", WS_POPUP, 0, 0, 10, 10, nullptr);
    HWND other = CreateWindowEx(0, "Rec", "", WS_POPUP, 0, 0, 10, 10, nullptr);
    PostMessage(doomed, kBatch, reinterpret_cast<WPARAM>(&payloads[0]), 0);
    PostMessage(other, kBatch, reinterpret_cast<WPARAM>(&payloads[1]), 0);
    PostMessage(doomed, kBatch, reinterpret_cast<WPARAM>(&payloads[2]), 0);
    DestroyWindow(doomed);
    EXPECT_EQ(released, 2);
    EXPECT_EQ(payloads[0].refs, 0);
    EXPECT_EQ(payloads[1].refs, 1);
    EXPECT_EQ(payloads[2].refs, 0);
    MSG m;
    ASSERT_TRUE(PeekMessage(m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.hwnd, other);
    EXPECT_FALSE(PeekMessage(m, nullptr, 0, 0, PM_REMOVE));
    // A post to a window that is already gone fails: the caller keeps its payload.
    EXPECT_FALSE(PostMessage(doomed, kBatch, reinterpret_cast<WPARAM>(&payloads[1]), 0));

    // Messages left in the queue of a thread that ends are released too.
    std::atomic<DWORD> tid{0};
    std::atomic<bool> go{false};
    std::thread t([&] {
        EnsureMessageQueue();
        tid = GetCurrentThreadId();
        EXPECT_TRUE(test::WaitUntil([&] { return go.load(); })) << "the main thread never let go";
    });
    ASSERT_TRUE(test::WaitUntil([&] { return tid != 0; })) << "the worker made no queue";
    EXPECT_TRUE(PostThreadMessage(tid, kBatch, reinterpret_cast<WPARAM>(&payloads[1]), 0));
    go = true;
    t.join();
    EXPECT_EQ(payloads[1].refs, 0);
    SetDroppedMessageHandler(kBatch, nullptr);
}

TEST_F(Messages, SubclassesRemoveOnlyThemselvesInAnyOrder) {
    static std::string trace;
    trace.clear();
    HWND h = CreateWindowEx(0, "Rec", "", WS_POPUP, 0, 0, 10, 10, nullptr);
    auto make = [](char name) {
        return [name](HWND hw, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (m == WM_USER) trace += name;
            return DefSubclassProc(hw, m, w, l);
        };
    };
    ASSERT_TRUE(SetWindowSubclass(h, make('A'), 1));
    ASSERT_TRUE(SetWindowSubclass(h, make('B'), 2));
    ASSERT_TRUE(SetWindowSubclass(h, make('C'), 3));
    SendMessage(h, WM_USER);
    EXPECT_EQ(trace, "CBA");
    EXPECT_EQ(Log().Only({WM_USER}).size(), 1u); // the class procedure last
    trace.clear();
    EXPECT_TRUE(RemoveWindowSubclass(h, 2));
    SendMessage(h, WM_USER);
    EXPECT_EQ(trace, "CA");
    trace.clear();
    // A subclass that unhooks itself in the middle of a message still passes it on.
    SetWindowSubclass(
        h,
        [](HWND hw, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (m == WM_USER) {
                trace += 'D';
                RemoveWindowSubclass(hw, 4);
            }
            return DefSubclassProc(hw, m, w, l);
        },
        4);
    SendMessage(h, WM_USER);
    EXPECT_EQ(trace, "DCA");
    trace.clear();
    EXPECT_TRUE(RemoveWindowSubclass(h, 1));
    EXPECT_FALSE(RemoveWindowSubclass(h, 1));
    SendMessage(h, WM_USER);
    EXPECT_EQ(trace, "C");
    EXPECT_TRUE(RemoveWindowSubclass(h, 3));
    trace.clear();
    SendMessage(h, WM_USER);
    EXPECT_EQ(trace, "");
    EXPECT_EQ(Log().Only({WM_USER}).size(), 4u);
}

TEST_F(Messages, TimersFollowTheManualClock) {
    HWND h = CreateWindowEx(0, "Rec", "", WS_POPUP, 0, 0, 10, 10, nullptr);
    ASSERT_NE(SetTimer(h, 5, 100), 0u);
    MSG m;
    EXPECT_FALSE(PeekMessage(m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
    clock.Advance(99);
    EXPECT_FALSE(PeekMessage(m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
    clock.Advance(1);
    ASSERT_TRUE(PeekMessage(m, nullptr, WM_TIMER, WM_TIMER, PM_NOREMOVE));
    ASSERT_TRUE(PeekMessage(m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
    EXPECT_EQ(m.hwnd, h);
    EXPECT_EQ(m.wParam, 5u);
    // Late retrieval does not pile up ticks: the next one is an interval later.
    clock.Advance(350);
    EXPECT_TRUE(PeekMessage(m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
    EXPECT_FALSE(PeekMessage(m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
    EXPECT_TRUE(KillTimer(h, 5));
    EXPECT_FALSE(KillTimer(h, 5));
    clock.Advance(1000);
    EXPECT_FALSE(PeekMessage(m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));

    // A thread timer with a procedure runs from DispatchMessage.
    static int calls = 0;
    calls = 0;
    UINT_PTR id = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) { ++calls; });
    ASSERT_NE(id, 0u);
    clock.Advance(50);
    ASSERT_TRUE(PeekMessage(m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, UINT(WM_TIMER));
    EXPECT_EQ(m.hwnd, nullptr);
    DispatchMessage(m);
    EXPECT_EQ(calls, 1);
    KillTimer(nullptr, id);

    // Timers die with their window.
    SetTimer(h, 9, 10);
    DestroyWindow(h);
    clock.Advance(10);
    EXPECT_FALSE(PeekMessage(m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
}

// A clock stopped at a time of the test's choosing that counts how often it
// is read: a loop that spins instead of waiting reads it without end.
class CountingClock : public Clock {
public:
    uint64_t Ticks() override {
        ++reads;
        return now;
    }
    TDateTime Now() override { return 45000.0; }
    void Sleep(uint32_t) override {}
    std::atomic<uint64_t> now{1000};
    std::atomic<uint64_t> reads{0};

protected:
    void Wait(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, uint64_t) override {
        cv.wait(lock);
    }
};

TEST_F(Messages, AFilteredWaitSleepsWhileATimerItExcludesIsDue) {
    CountingClock stopped;
    SetClock(&stopped);
    HWND timed = CreateWindowEx(0, "Rec", "", WS_POPUP, 0, 0, 10, 10, nullptr);
    HWND other = CreateWindowEx(0, "Rec", "", WS_POPUP, 0, 0, 10, 10, nullptr);
    ASSERT_NE(SetTimer(timed, 1, 100), 0u);
    stopped.now = 5000; // the timer is due, but neither filter below takes it
    const DWORD me = GetCurrentThreadId();
    struct Case {
        HWND hwnd;
        UINT lo, hi;
    } cases[] = {{other, 0, 0}, {nullptr, WM_USER, WM_USER}};
    for (const Case& c : cases) {
        stopped.reads = 0;
        std::atomic<bool> spun{false};
        std::thread waker([&] {
            // Either the waiter sleeps (its reads of the clock stop), or it
            // spins through the clock.
            uint64_t seen = ~uint64_t(0);
            const bool settled = test::WaitUntil([&] {
                if (stopped.reads > 100000) return true;
                const uint64_t now = stopped.reads;
                const bool asleep = test::ThreadSleeps(me) && now == seen;
                seen = now;
                return asleep;
            });
            spun = !settled || stopped.reads > 100000;
            PostMessage(other, WM_USER);
        });
        MSG m;
        ASSERT_EQ(GetMessage(m, c.hwnd, c.lo, c.hi), 1);
        waker.join();
        EXPECT_EQ(m.message, UINT(WM_USER));
        EXPECT_FALSE(spun) << "the wait read the clock " << stopped.reads << " times";
        EXPECT_LT(stopped.reads.load(), 100u);
    }
    KillTimer(timed, 1);
    SetClock(&clock);
}

TEST_F(Messages, APostedQueueHoldsTenThousandMessages) {
    HWND h = CreateWindowEx(0, "Rec", "", WS_POPUP, 0, 0, 10, 10, nullptr);
    for (WPARAM i = 0; i < 10000; ++i)
        ASSERT_TRUE(PostMessage(h, WM_USER, i, 0)) << "post " << i;
    EXPECT_FALSE(PostMessage(h, WM_USER, 10000, 0));
    EXPECT_FALSE(PostThreadMessage(GetCurrentThreadId(), WM_USER, 10000, 0));
    MSG m;
    ASSERT_TRUE(PeekMessage(m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.wParam, 0u);
    EXPECT_TRUE(PostMessage(h, WM_USER, 10001, 0)); // room for one again
    WPARAM count = 0, last = 0;
    while (PeekMessage(m, nullptr, 0, 0, PM_REMOVE)) {
        ++count;
        last = m.wParam;
    }
    EXPECT_EQ(count, 10000u);
    EXPECT_EQ(last, 10001u);
}

TEST_F(Messages, TimerCreationCanBeMadeToFail) {
    HWND h = CreateWindowEx(0, "Rec", "", WS_POPUP, 0, 0, 10, 10, nullptr);
    SetTimerLimit(1);
    EXPECT_NE(SetTimer(h, 1, 100), 0u);
    EXPECT_NE(SetTimer(h, 1, 200), 0u); // resetting an existing timer needs no new one
    EXPECT_EQ(SetTimer(h, 2, 100), 0u);
    KillTimer(h, 1);
    EXPECT_NE(SetTimer(h, 2, 100), 0u);
}

TEST_F(Messages, GetMessageWakesWhenAnotherThreadMovesTheClock) {
    HWND h = CreateWindowEx(0, "Rec", "", WS_POPUP, 0, 0, 10, 10, nullptr);
    SetTimer(h, 1, 1000);
    std::atomic<bool> done{false};
    const DWORD me = GetCurrentThreadId();
    std::thread ticker([&] {
        const bool woke = test::WaitUntil([&] {
            clock.Advance(100);
            return done.load();
        });
        if (!woke) PostThreadMessage(me, WM_QUIT, 0, 0); // ends the wait: the test fails
    });
    MSG m;
    ASSERT_EQ(GetMessage(m, nullptr, 0, 0), 1);
    done = true;
    ticker.join();
    EXPECT_EQ(m.message, UINT(WM_TIMER));
}

TEST_F(Messages, KeyboardHooksChainAndCanSwallowKeys) {
    HWND h = CreateWindowEx(0, "Rec", "", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr);
    SetFocus(h);
    static std::string trace;
    trace.clear();
    static HHOOK first = nullptr, second = nullptr;
    first = SetWindowsHookEx(
        WH_KEYBOARD,
        [](int code, WPARAM w, LPARAM l) -> LRESULT {
            trace += 'F';
            return w == 'Q' ? 1 : CallNextHookEx(first, code, w, l);
        },
        0);
    second = SetWindowsHookEx(
        WH_KEYBOARD,
        [](int code, WPARAM w, LPARAM l) -> LRESULT {
            trace += 'S';
            return CallNextHookEx(second, code, w, l);
        },
        0);
    ASSERT_TRUE(first && second);
    Log().Take();
    InjectKey('Q', true);
    InjectKey('W', true);
    Pump();
    EXPECT_EQ(trace, "SFSF");
    auto keys = Log().Only({WM_KEYDOWN});
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].wp, WPARAM('W'));
    EXPECT_TRUE(UnhookWindowsHookEx(second));
    EXPECT_TRUE(UnhookWindowsHookEx(first));
    EXPECT_FALSE(UnhookWindowsHookEx(first));
    InjectKey('Q', false);
    InjectKey('W', false);
    Pump();
}

TEST_F(Messages, RetrievalHookSeesEveryMessageItMayHold) {
    HWND h = CreateWindowEx(0, "Rec", "", WS_POPUP, 0, 0, 10, 10, nullptr);
    static std::vector<UINT> seen;
    seen.clear();
    HHOOK hook = SetWindowsHookEx(
        WH_GETMESSAGE,
        [](int, WPARAM removed, LPARAM l) -> LRESULT {
            auto* m = reinterpret_cast<MSG*>(l);
            if (removed == PM_REMOVE) seen.push_back(m->message);
            if (m->message == WM_USER + 1) m->message = WM_USER + 2; // hooks may rewrite
            return 0;
        },
        0);
    PostMessage(h, WM_USER + 1, 0, 0);
    MSG m;
    ASSERT_EQ(GetMessage(m, nullptr, 0, 0), 1);
    EXPECT_EQ(m.message, UINT(WM_USER + 2));
    ASSERT_EQ(seen.size(), 1u);
    UnhookWindowsHookEx(hook);
}

TEST_F(Messages, WaitReturnsForAnEventAMessageOrTheTimeOut) {
    WaitableEvent e1, e2(false);
    WaitableEvent* events[] = {&e1, &e2};
    EXPECT_EQ(MsgWaitForMultipleObjects(events, 0, QS_ALLINPUT), WAIT_TIMEOUT);
    std::thread t([&] { e2.SetEvent(); });
    EXPECT_EQ(MsgWaitForMultipleObjects(events, INFINITE, QS_ALLINPUT), WAIT_OBJECT_0 + 1);
    t.join();
    EXPECT_FALSE(e2.IsSet()); // auto-reset
    HWND h = CreateWindowEx(0, "Rec", "", WS_POPUP, 0, 0, 10, 10, nullptr);
    PostMessage(h, WM_USER);
    EXPECT_EQ(MsgWaitForMultipleObjects(events, INFINITE, QS_ALLINPUT), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(MsgWaitForMultipleObjects(events, 0, QS_KEY), WAIT_TIMEOUT);
    Pump();
    std::atomic<bool> done{false};
    std::thread ticker([&] {
        const bool ended = test::WaitUntil([&] {
            clock.Advance(10);
            return done.load();
        });
        if (!ended) e1.SetEvent(); // ends the wait: the test fails
    });
    EXPECT_EQ(MsgWaitForMultipleObjects(events, 500, QS_ALLINPUT), WAIT_TIMEOUT);
    done = true;
    ticker.join();
}

TEST_F(Messages, WorkerSynchronizeIsServedByAWaitingLoop) {
    std::atomic<int> ranOn{0};
    std::thread t([&] { Synchronize([&] { ranOn = IsMainThread() ? 1 : 2; }); });
    DWORD me = GetCurrentThreadId();
    std::thread quitter([&] {
        EXPECT_TRUE(test::WaitUntil([&] { return ranOn != 0; })) << "the call was never served";
        PostThreadMessage(me, WM_USER, 0, 0);
    });
    MSG m;
    EXPECT_EQ(GetMessage(m, nullptr, 0, 0), 1);
    quitter.join();
    if (ranOn == 0) ReleaseSynchronize(); // frees the worker of a failed run
    t.join();
    ResetSynchronize();
    EXPECT_EQ(ranOn, 1);
}

TEST_F(Messages, ClipboardKeepsTextAndRegisteredFormats) {
    const UINT a = RegisterClipboardFormat("Data Tree Data");
    EXPECT_GE(a, 0xC000u);
    EXPECT_EQ(RegisterClipboardFormat("data tree data"), a);
    EXPECT_NE(RegisterClipboardFormat("Data Tree Reference"), a);
    EXPECT_EQ(GetClipboardFormatName(a), "Data Tree Data");
    EXPECT_TRUE(SetClipboardText("caf\xC3\xA9"));
    EXPECT_EQ(GetClipboardText(), std::optional<std::string>("caf\xC3\xA9"));
    ASSERT_TRUE(OpenClipboard(nullptr));
    auto wide = GetClipboardData(CF_UNICODETEXT);
    ASSERT_TRUE(wide);
    EXPECT_EQ(*wide, (std::vector<uint8_t>{'c', 0, 'a', 0, 'f', 0, 0xE9, 0, 0, 0}));
    EXPECT_TRUE(EmptyClipboard());
    EXPECT_TRUE(SetClipboardData(a, {1, 2, 3}));
    EXPECT_TRUE(IsClipboardFormatAvailable(a));
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
    EXPECT_TRUE(CloseClipboard());
    EXPECT_FALSE(GetClipboardData(a)); // closed
    std::thread other([] {
        EXPECT_TRUE(OpenClipboard(nullptr));
        EXPECT_TRUE(CloseClipboard());
    });
    other.join();
}

std::atomic<int> g_retrievals{0};

// The retrieval hook runs on every retrieval, an empty queue's too; the
// message hook only on messages retrieved.
TEST_F(Messages, TheRetrievalHookRunsOnEveryRetrievalEvenOfAnEmptyQueue) {
    g_retrievals = 0;
    SetMessageRetrievalHook([] { ++g_retrievals; });
    MSG msg;
    EXPECT_FALSE(PeekMessage(msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_FALSE(PeekMessage(msg, nullptr, 0, 0, PM_NOREMOVE));
    PostQuitMessage(0);
    EXPECT_EQ(GetMessage(msg, nullptr, 0, 0), 0);
    SetMessageRetrievalHook(nullptr);
    EXPECT_FALSE(PeekMessage(msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(g_retrievals.load(), 3);
}

} // namespace
} // namespace ax
