// Size limits: WM_GETMINMAXINFO asked with the defaults and honoured by every
// size set through the window layer and by maximising; the state a window
// was minimised from is the one it is restored to.
#include "platform/window/placement.h"
#include "test_support.h"

#include <algorithm>

namespace ax {
namespace {

using test::Log;
using test::Record;

// What the window answers to WM_GETMINMAXINFO (0: the default stays), and
// the record it was asked with.
struct Answer {
    POINT minTrack{}, maxTrack{}, maxSize{}, maxPosition{};
    MINMAXINFO asked{};
    int asks = 0;
    SIZE changing{}; // the size WM_WINDOWPOSCHANGING last carried
} answer;

LRESULT LimitedProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_GETMINMAXINFO) {
        auto& info = *reinterpret_cast<MINMAXINFO*>(l);
        answer.asked = info;
        ++answer.asks;
        const auto set = [](POINT& field, POINT value) {
            if (value.x) field = value;
        };
        set(info.ptMinTrackSize, answer.minTrack);
        set(info.ptMaxTrackSize, answer.maxTrack);
        set(info.ptMaxSize, answer.maxSize);
        set(info.ptMaxPosition, answer.maxPosition);
        return 0;
    }
    if (m == WM_WINDOWPOSCHANGING) {
        const auto* pos = reinterpret_cast<const WINDOWPOS*>(l);
        answer.changing = {pos->cx, pos->cy};
    }
    return test::RecordingProc(h, m, w, l);
}

class MinMaxTest : public test::WindowTest {
protected:
    void SetUp() override {
        test::WindowTest::SetUp();
        answer = {};
        WNDCLASS wc;
        wc.lpszClassName = "Limited";
        wc.lpfnWndProc = LimitedProc;
        RegisterClass(wc);
    }
    static SIZE SizeOf(HWND h) {
        RECT r{};
        GetWindowRect(h, r);
        return {r.width(), r.height()};
    }
    // The kinds of the WM_SIZE messages since the last call.
    static std::vector<WPARAM> SizeKinds() {
        std::vector<WPARAM> kinds;
        for (const Record& r : Log().Only({WM_SIZE}))
            kinds.push_back(r.wp);
        return kinds;
    }
};

TEST_F(MinMaxTest, TheDefaultsAskedAndTheAnswerBoundsEverySize) {
    const HWND h = CreateWindowEx(0, "Limited", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 400,
                                  300, nullptr);
    ASSERT_TRUE(h);
    answer.asks = 0;
    MoveWindow(h, 10, 10, 500, 350, TRUE);
    ASSERT_GE(answer.asks, 1);
    // The headless screen is 1024 x 768; a sizing frame is 4 pixels.
    EXPECT_EQ(answer.asked.ptMaxSize, (POINT{1032, 776}));
    EXPECT_EQ(answer.asked.ptMaxPosition, (POINT{-4, -4}));
    EXPECT_EQ(answer.asked.ptMinTrackSize, (POINT{0, 0}));
    EXPECT_EQ(answer.asked.ptMaxTrackSize, (POINT{1036, 780}));

    answer.minTrack = {300, 200};
    answer.maxTrack = {600, 450};
    MoveWindow(h, 10, 10, 100, 50, TRUE);
    EXPECT_EQ(SizeOf(h), (SIZE{300, 200}));
    SetWindowPos(h, nullptr, 0, 0, 900, 100, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(SizeOf(h), (SIZE{600, 200}));
    // The handlers of the change see the size it will have.
    SetWindowPos(h, nullptr, 0, 0, 50, 50, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(answer.changing, (SIZE{300, 200}));
    EXPECT_EQ(SizeOf(h), (SIZE{300, 200}));
    // A minimum above the maximum wins.
    answer.maxTrack = {250, 150};
    MoveWindow(h, 10, 10, 700, 700, TRUE);
    EXPECT_EQ(SizeOf(h), (SIZE{300, 200}));
}

TEST_F(MinMaxTest, AWindowIsShownAtLeastAtItsMinimumAndMaximisedWhereItSays) {
    answer.minTrack = {320, 240};
    answer.maxSize = {700, 500};
    answer.maxPosition = {30, 20};
    const HWND h = CreateWindowEx(0, "Limited", "", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, nullptr);
    ASSERT_TRUE(h);
    ShowWindow(h, SW_SHOWNORMAL);
    EXPECT_EQ(SizeOf(h), (SIZE{320, 240}));
    ShowWindow(h, SW_SHOWMAXIMIZED);
    RECT r{};
    GetWindowRect(h, r);
    EXPECT_EQ(r, (RECT{30, 20, 730, 520}));
}

TEST_F(MinMaxTest, PopUpsWithoutASizingFrameAreNotLimited) {
    const HWND h = CreateWindowEx(0, "Limited", "", WS_POPUP | WS_VISIBLE, 10, 10, 20, 10, nullptr);
    ASSERT_TRUE(h);
    MoveWindow(h, 0, 0, 5, 5, TRUE);
    EXPECT_EQ(SizeOf(h), (SIZE{5, 5}));
    EXPECT_EQ(answer.asks, 0);
}

TEST_F(MinMaxTest, MinimisedFromMaximisedItComesBackMaximised) {
    const HWND h =
        CreateWindowEx(0, "Rec", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 30, 300, 200, nullptr);
    ASSERT_TRUE(h);
    ShowWindow(h, SW_SHOWMAXIMIZED);
    RECT maximised{};
    GetWindowRect(h, maximised);
    EXPECT_EQ(maximised, (RECT{-4, -4, 1028, 772}));
    ShowWindow(h, SW_MINIMIZE);
    WINDOWPLACEMENT wp;
    ASSERT_TRUE(GetWindowPlacement(h, &wp));
    EXPECT_EQ(wp.showCmd, UINT(SW_SHOWMINIMIZED));
    EXPECT_EQ(wp.flags & WPF_RESTORETOMAXIMIZED, WPF_RESTORETOMAXIMIZED);
    EXPECT_EQ(wp.rcNormalPosition, (RECT{40, 30, 340, 230}));
    // Painted again whole, and told of its state, at the same size.
    ValidateRect(h, nullptr);
    Log().Take();
    ShowWindow(h, SW_RESTORE);
    EXPECT_TRUE(IsZoomed(h));
    EXPECT_FALSE(IsIconic(h));
    RECT r{};
    GetWindowRect(h, r);
    EXPECT_EQ(r, maximised);
    EXPECT_EQ(SizeKinds(), (std::vector<WPARAM>{SIZE_MAXIMIZED}));
    RECT update{};
    EXPECT_TRUE(GetUpdateRect(h, &update, FALSE));
    RECT client{};
    GetClientRect(h, client);
    EXPECT_EQ(update, client);
    // Restored again, it goes back to its normal rectangle.
    ShowWindow(h, SW_RESTORE);
    GetWindowRect(h, r);
    EXPECT_EQ(r, (RECT{40, 30, 340, 230}));
    EXPECT_EQ(SizeKinds(), (std::vector<WPARAM>{SIZE_RESTORED}));
    // Minimised from its normal size, it comes back to it.
    ShowWindow(h, SW_MINIMIZE);
    ASSERT_TRUE(GetWindowPlacement(h, &wp));
    EXPECT_EQ(wp.flags & WPF_RESTORETOMAXIMIZED, 0u);
    ShowWindow(h, SW_RESTORE);
    EXPECT_FALSE(IsZoomed(h));
    GetWindowRect(h, r);
    EXPECT_EQ(r, (RECT{40, 30, 340, 230}));
}

} // namespace
} // namespace ax
