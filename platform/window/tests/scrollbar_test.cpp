// Scroll bars: clamping, hit areas and their messages, thumb tracking,
// auto-repeat on the manual clock, disabled arrows, the SCROLLBAR control.
#include "test_support.h"

#include <functional>

namespace ax::test {
namespace {

// Called on every WM_VSCROLL/WM_HSCROLL and WM_TIMER the bar's window gets,
// so that a test can act while the tracking loop runs.
std::function<void(HWND, UINT, WPARAM, LPARAM)>& Hook() {
    static std::function<void(HWND, UINT, WPARAM, LPARAM)> hook;
    return hook;
}

LRESULT ScrollProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_VSCROLL || m == WM_HSCROLL || m == WM_TIMER) {
        Log().Add(h, m, w, l);
        if (Hook()) Hook()(h, m, w, l);
        return 0;
    }
    return DefWindowProc(h, m, w, l);
}

struct Msg {
    UINT msg;
    int code;
    int pos;
    friend bool operator==(const Msg&, const Msg&) = default;
};

std::vector<Msg> Scrolls() {
    std::vector<Msg> out;
    for (const Record& r : Log().Only({WM_VSCROLL, WM_HSCROLL}))
        out.push_back({r.msg, LOWORD(r.wp), static_cast<SHORT>(HIWORD(r.wp))});
    return out;
}

class ScrollBarTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        WNDCLASS wc;
        wc.lpszClassName = "ScrollRec";
        wc.lpfnWndProc = ScrollProc;
        wc.hbrBackground = SysColorBrushValue(COLOR_WINDOW);
        RegisterClass(wc);
        // No frame: the client is 184 x 184, the vertical bar x 184..200,
        // y 0..184 (arrows 0..16 and 168..184, track 16..168).
        w = CreateWindowEx(0, "ScrollRec", "", WS_POPUP | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL, 0,
                           0, 200, 200, nullptr);
        SCROLLINFO si;
        si.fMask = SIF_ALL;
        si.nMin = 0;
        si.nMax = 99;
        si.nPage = 10;
        si.nPos = 45;
        SetScrollInfo(w, SB_VERT, si, TRUE);
        Pump();
        Log().Take();
    }
    void TearDown() override {
        Hook() = nullptr;
        WindowTest::TearDown();
    }
    HWND w{};
};

TEST_F(ScrollBarTest, PositionsAreClampedToTheRangeLessThePage) {
    SCROLLINFO si;
    si.fMask = SIF_POS;
    si.nPos = 95;
    EXPECT_EQ(SetScrollInfo(w, SB_VERT, si, FALSE), 90); // 99 - 10 + 1
    si.nPos = -5;
    EXPECT_EQ(SetScrollInfo(w, SB_VERT, si, FALSE), 0);
    si.fMask = SIF_RANGE | SIF_POS;
    si.nMin = 20;
    si.nMax = 29;
    si.nPos = 25;
    EXPECT_EQ(SetScrollInfo(w, SB_VERT, si, FALSE), 20); // the page of 10 fills the range
    si.fMask = SIF_PAGE;
    si.nPage = 50;
    SetScrollInfo(w, SB_VERT, si, FALSE);
    SCROLLINFO got;
    got.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(w, SB_VERT, got));
    EXPECT_EQ(got.nPage, 10u); // never more than the range holds
    EXPECT_EQ(got.nMin, 20);
    EXPECT_EQ(got.nMax, 29);
    EXPECT_EQ(SetScrollPos(w, SB_VERT, 99, FALSE), 20);
    EXPECT_EQ(GetScrollPos(w, SB_VERT), 20);
    EXPECT_FALSE(SetScrollRange(w, SB_VERT, 5, 1, FALSE));
    ASSERT_TRUE(SetScrollRange(w, SB_VERT, 0, 1000, FALSE));
    EXPECT_EQ(SetScrollPos(w, SB_VERT, 995, FALSE), 20);
    EXPECT_EQ(GetScrollPos(w, SB_VERT), 991);
    int lo = -1, hi = -1;
    ASSERT_TRUE(GetScrollRange(w, SB_VERT, &lo, &hi));
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 1000);
    EXPECT_FALSE(GetScrollInfo(nullptr, SB_VERT, got));
    EXPECT_FALSE(GetScrollInfo(w, SB_CTL, got)); // no SCROLLBAR control
}

TEST_F(ScrollBarTest, EachPartSendsItsCodeThenEndScroll) {
    // Thumb: 15 px (152 * 10 / 100) at 16 + 137 * 45 / 90 = 85 (rounded).
    const std::pair<int, int> presses[] = {
        {8, SB_LINEUP}, {84, SB_PAGEUP}, {101, SB_PAGEDOWN}, {176, SB_LINEDOWN}};
    for (auto [y, code] : presses) {
        InjectClick(MouseButton::Left, 192, y);
        Pump();
        EXPECT_EQ(Scrolls(),
                  (std::vector<Msg>{{WM_VSCROLL, code, 0}, {WM_VSCROLL, SB_ENDSCROLL, 0}}))
            << y;
    }
    // The horizontal bar (range 0..100, no page, thumb 16 wide at 16).
    InjectClick(MouseButton::Left, 100, 192);
    Pump();
    EXPECT_EQ(Scrolls(),
              (std::vector<Msg>{{WM_HSCROLL, SB_PAGERIGHT, 0}, {WM_HSCROLL, SB_ENDSCROLL, 0}}));
    // The corner between the bars and the client area send nothing.
    InjectClick(MouseButton::Left, 192, 192);
    InjectClick(MouseButton::Left, 100, 100);
    Pump();
    EXPECT_TRUE(Scrolls().empty());
}

TEST_F(ScrollBarTest, DraggingTheThumbTracksThenSetsThePosition) {
    std::vector<int> trackPos;
    Hook() = [&](HWND h, UINT m, WPARAM wp, LPARAM) {
        if (m != WM_VSCROLL || LOWORD(wp) != SB_THUMBTRACK) return;
        SCROLLINFO si;
        si.fMask = SIF_TRACKPOS | SIF_POS;
        GetScrollInfo(h, SB_VERT, si);
        trackPos.push_back(si.nTrackPos);
        EXPECT_EQ(si.nPos, 45); // unchanged until the application sets it
        if (HIWORD(wp) == 65) InjectMouseMove(192, 400);
        if (HIWORD(wp) == 90) InjectMouseMove(192, 0);
        if (HIWORD(wp) == 0) InjectMouseButton(MouseButton::Left, false);
    };
    // Taken 5 px into the thumb (85..100), moved 30 down: thumb top 115,
    // 99 px into the 137 px of travel: 99 * 90 / 137 = 65.
    InjectMouseMove(192, 90);
    InjectMouseButton(MouseButton::Left, true);
    InjectMouseMove(192, 120);
    Pump();
    EXPECT_EQ(Scrolls(), (std::vector<Msg>{{WM_VSCROLL, SB_THUMBTRACK, 65},
                                           {WM_VSCROLL, SB_THUMBTRACK, 90},
                                           {WM_VSCROLL, SB_THUMBTRACK, 0},
                                           {WM_VSCROLL, SB_THUMBPOSITION, 0},
                                           {WM_VSCROLL, SB_ENDSCROLL, 0}}));
    EXPECT_EQ(trackPos, (std::vector<int>{65, 90, 0}));
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(ScrollBarTest, ArrowsRepeatAfterTheDelayOnTheClock) {
    int lines = 0;
    Hook() = [&](HWND, UINT m, WPARAM wp, LPARAM) {
        if (m != WM_VSCROLL || LOWORD(wp) != SB_LINEDOWN) return;
        ++lines;
        if (lines == 1) clock.Advance(200);
        if (lines == 2 || lines == 3) clock.Advance(50);
        if (lines == 4) {
            clock.Advance(49); // not yet due
            InjectMouseButton(MouseButton::Left, false);
        }
    };
    InjectMouseMove(192, 176);
    InjectMouseButton(MouseButton::Left, true);
    Pump();
    EXPECT_EQ(lines, 4);
    const std::vector<Msg> got = Scrolls();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back(), (Msg{WM_VSCROLL, SB_ENDSCROLL, 0}));
    EXPECT_TRUE(Log().Only({WM_TIMER}).empty()); // the loop's timer never reaches the window
}

TEST_F(ScrollBarTest, PagesRepeatUntilTheThumbReachesTheCursor) {
    SetScrollPos(w, SB_VERT, 0, TRUE);
    int pages = 0;
    Hook() = [&](HWND h, UINT m, WPARAM wp, LPARAM) {
        if (m == WM_TIMER && wp == 7) {
            KillTimer(h, 7);
            InjectMouseButton(MouseButton::Left, false);
            return;
        }
        if (m != WM_VSCROLL || LOWORD(wp) != SB_PAGEDOWN) return;
        ++pages;
        SetScrollPos(h, SB_VERT, GetScrollPos(h, SB_VERT) + 10, TRUE);
        if (pages == 1)
            clock.Advance(200);
        else if (pages < 6)
            clock.Advance(50);
        else {
            // The next tick finds the thumb (107..122) under the cursor.
            SetTimer(h, 7, 60);
            clock.Advance(60);
        }
    };
    InjectMouseMove(192, 120);
    InjectMouseButton(MouseButton::Left, true);
    Pump();
    EXPECT_EQ(pages, 6);
    EXPECT_EQ(GetScrollPos(w, SB_VERT), 60);
}

TEST_F(ScrollBarTest, DisabledArrowsDoNothingAndLookInactive) {
    auto arrowPixels = [&] {
        std::vector<uint32_t> px;
        cairo_surface_t* s = WindowSurface(w);
        cairo_surface_flush(s);
        const int stride = cairo_image_surface_get_stride(s);
        const uint8_t* data = cairo_image_surface_get_data(s);
        for (int y = 0; y < 16; ++y)
            for (int x = 184; x < 200; ++x)
                px.push_back(*reinterpret_cast<const uint32_t*>(data + y * stride + x * 4));
        return px;
    };
    const auto enabled = arrowPixels();
    EXPECT_TRUE(EnableScrollBar(w, SB_VERT, ESB_DISABLE_UP));
    EXPECT_NE(arrowPixels(), enabled);
    InjectClick(MouseButton::Left, 192, 8);
    Pump();
    EXPECT_TRUE(Scrolls().empty());
    InjectClick(MouseButton::Left, 192, 176); // the other arrow still works
    Pump();
    EXPECT_EQ(Scrolls().size(), 2u);
    EXPECT_TRUE(EnableScrollBar(w, SB_VERT, ESB_ENABLE_BOTH));
    EXPECT_EQ(arrowPixels(), enabled);
    EXPECT_TRUE(EnableScrollBar(w, SB_VERT, ESB_DISABLE_BOTH));
    InjectClick(MouseButton::Left, 192, 100);
    Pump();
    EXPECT_TRUE(Scrolls().empty());
}

TEST_F(ScrollBarTest, NothingToScrollHidesOrDisablesTheBar) {
    RECT c;
    SCROLLINFO si;
    si.fMask = SIF_RANGE | SIF_DISABLENOSCROLL;
    si.nMin = 0;
    si.nMax = 5; // the page of 10 covers it
    SetScrollInfo(w, SB_VERT, si, TRUE);
    GetClientRect(w, c);
    EXPECT_EQ(c.right, 184); // kept, disabled
    InjectClick(MouseButton::Left, 192, 176);
    Pump();
    EXPECT_TRUE(Scrolls().empty());
    si.fMask = SIF_RANGE;
    SetScrollInfo(w, SB_VERT, si, TRUE);
    GetClientRect(w, c);
    EXPECT_EQ(c.right, 200); // hidden
    EXPECT_FALSE(GetWindowLongPtr(w, GWL_STYLE) & WS_VSCROLL);
    si.nMax = 99;
    SetScrollInfo(w, SB_VERT, si, TRUE);
    GetClientRect(w, c);
    EXPECT_EQ(c.right, 184); // shown again, enabled
    InjectClick(MouseButton::Left, 192, 176);
    Pump();
    EXPECT_EQ(Scrolls().size(), 2u);
    EXPECT_TRUE(ShowScrollBar(w, SB_BOTH, FALSE));
    GetClientRect(w, c);
    EXPECT_EQ(c.right, 200);
    EXPECT_EQ(c.bottom, 200);
}

TEST_F(ScrollBarTest, ScrollBarControlNotifiesItsParent) {
    HWND bar =
        CreateWindowEx(0, "ScrollBar", "", WS_CHILD | WS_VISIBLE | SBS_HORZ, 0, 0, 100, 16, w, 1);
    ASSERT_TRUE(bar);
    SCROLLINFO si;
    si.fMask = SIF_RANGE | SIF_POS;
    si.nMin = 0;
    si.nMax = 10;
    si.nPos = 3;
    EXPECT_EQ(SetScrollInfo(bar, SB_CTL, si, TRUE), 3);
    InjectClick(MouseButton::Left, 95, 8);
    Pump();
    const auto got = Log().Only({WM_HSCROLL});
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].hwnd, w);
    EXPECT_EQ(got[0].wp, WPARAM(SB_LINERIGHT));
    EXPECT_EQ(got[0].lp, reinterpret_cast<LPARAM>(bar));
    EXPECT_EQ(got[1].wp, WPARAM(SB_ENDSCROLL));
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), 3); // the parent moves it, not the bar
}

} // namespace
} // namespace ax::test
