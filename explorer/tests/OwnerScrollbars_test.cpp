// The owner-drawn scroll bar: layout and clamping at hand-computed numbers
// (every system metric of the window layer is 16: arrows 16 high, the
// shortest thumb 8), thumb dragging, page and arrow repeats on the manual
// clock, the messages a linked control receives, hot states, classic and
// themed drawing, and form descriptions.
#include "framework/forms.h"
#include "framework_fixture.h"
#include "framework/streaming.h"
#include "platform/window/display.h"
#include "rtl/clock.h"
#include "rtl/threads.h"
#include "explorer/OwnerScrollbars.h"

#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace ax {
namespace {

// A control that records the scroll messages it receives.
class ScrollTarget : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
    struct Got {
        int code, pos;
        friend bool operator==(const Got&, const Got&) = default;
    };
    std::vector<Got> got;
    void Dispatch(TMessage& m) override {
        if (m.Msg == WM_VSCROLL) {
            got.push_back({int(LOWORD(m.WParam)), int(short(HIWORD(m.WParam)))});
            return;
        }
        TCustomControl::Dispatch(m);
    }
};

void PrintTo(const ScrollTarget::Got& g, std::ostream* os) {
    *os << "{" << g.code << ", " << g.pos << "}";
}

std::ostream& operator<<(std::ostream& os, const RECT& r) {
    return os << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

class OwnerScrollbarTest : public test::FrameworkTest {
protected:
    void SetUp() override {
        FrameworkTest::SetUp();
        form = app->CreateForm<TForm>();
        form->SetBounds(100, 100, 0, 0);
        form->SetClientSize(200, 260);
        form->Show();
        bar = TComponent::Create<TOwnerDrawScrollbar>(form);
        bar->SetParent(form);
        bar->SetBounds(20, 30, 16, 200);
        app->ProcessMessages();
    }
    void TearDown() override {
        UnbindThemeLibrary();
        FrameworkTest::TearDown();
        EXPECT_TRUE(shown.empty()) << shown.front();
    }

    POINT Screen(int x, int y) { return bar->ClientToScreen(POINT{x, y}); }
    void MoveTo(int x, int y) {
        const POINT p = Screen(x, y);
        InjectMouseMove(p.x, p.y);
        app->ProcessMessages();
    }
    void Press(int x, int y) {
        MoveTo(x, y);
        InjectMouseButton(MouseButton::Left, true);
        app->ProcessMessages();
    }
    void Release() {
        InjectMouseButton(MouseButton::Left, false);
        app->ProcessMessages();
    }
    void Advance(uint64_t ms) {
        clock.Advance(ms);
        app->ProcessMessages();
    }
    ScrollTarget* Linked() {
        auto* target = TComponent::Create<ScrollTarget>(form);
        target->SetParent(form);
        target->SetBounds(60, 30, 100, 100);
        bar->SetLinkedControl(target);
        app->ProcessMessages();
        return target;
    }

    TForm* form = nullptr;
    TOwnerDrawScrollbar* bar = nullptr;
};

// ---- Construction and properties ------------------------------------------------------------

TEST_F(OwnerScrollbarTest, StartsAsThePartSays) {
    TOwnerDrawScrollbar fresh(nullptr);
    EXPECT_EQ(fresh.Width(), 16);
    EXPECT_EQ(fresh.Height(), 200);
    EXPECT_EQ(fresh.Color(), clScrollBar);
    EXPECT_FALSE(fresh.TabStop());
    EXPECT_EQ(fresh.Min(), 0);
    EXPECT_EQ(fresh.Max(), 100);
    EXPECT_EQ(fresh.PageSize(), 1);
    EXPECT_EQ(fresh.Position(), 0);
    EXPECT_EQ(fresh.SmallChange(), 1);
    EXPECT_EQ(fresh.LargeChange(), 1);
    EXPECT_FALSE(fresh.Flat());
    EXPECT_EQ(fresh.Options(), TScrollBarOptions(soThemeAware));
    EXPECT_EQ(fresh.Colors().ThumbButton(), clScrollBar);
    EXPECT_EQ(fresh.Colors().Background(), clScrollBar);
    EXPECT_EQ(fresh.Colors().PageScrollHot(), clBlack);
    EXPECT_EQ(fresh.Colors().BackgroundBlend(), TColor(16777215));
}

TEST_F(OwnerScrollbarTest, TakesTheSystemWidthWhateverIsAsked) {
    bar->SetBounds(5, 6, 50, 120);
    EXPECT_EQ(bar->Width(), 16);
    EXPECT_EQ(bar->Height(), 120);
    bar->SetWidth(3);
    EXPECT_EQ(bar->Width(), 16);
    RECT r;
    GetClientRect(bar->Handle(), r);
    EXPECT_EQ(r.width(), 16);
}

TEST_F(OwnerScrollbarTest, BoundsNeverCrossAndPositionStaysInRange) {
    bar->SetMax(0); // at Min: one above it
    EXPECT_EQ(bar->Max(), 1);
    bar->SetMin(7); // above Max: one below it
    EXPECT_EQ(bar->Min(), 0);
    bar->SetMax(-20);
    EXPECT_EQ(bar->Max(), 1);

    bar->SetMax(100);
    bar->SetPageSize(0);
    EXPECT_EQ(bar->PageSize(), 1);
    bar->SetPageSize(1000);
    EXPECT_EQ(bar->PageSize(), 100);
    bar->SetPageSize(10);
    bar->SetPosition(-5);
    EXPECT_EQ(bar->Position(), 0);
    bar->SetPosition(95);
    EXPECT_EQ(bar->Position(), 90) << "Max - PageSize at most";

    // Changes of the range pull Position back in.
    bar->SetMax(50);
    EXPECT_EQ(bar->Position(), 40);
    bar->SetPageSize(30);
    EXPECT_EQ(bar->Position(), 20);
    bar->SetMin(30);
    EXPECT_EQ(bar->PageSize(), 20) << "no page larger than the range";
    EXPECT_EQ(bar->Position(), 30);
    bar->SetMin(-40);
    bar->SetPosition(-100);
    EXPECT_EQ(bar->Position(), -40);
}

TEST_F(OwnerScrollbarTest, ExtremeBoundsDoNotOverflow) {
    bar->SetMax(INT_MAX);
    bar->SetMin(INT_MIN);
    EXPECT_EQ(bar->Min(), INT_MIN);
    EXPECT_EQ(bar->Max(), INT_MAX);
    bar->SetPageSize(INT_MAX);
    EXPECT_EQ(bar->PageSize(), INT_MAX);
    bar->SetPosition(INT_MAX);
    EXPECT_EQ(bar->Position(), 0) << "INT_MAX - INT_MAX";
    const TScrollBarLayout l = bar->Layout();
    EXPECT_GE(l.Thumb.top, l.Track.top);
    EXPECT_LE(l.Thumb.bottom, l.Track.bottom);
    bar->SetMin(INT_MAX);
    EXPECT_EQ(bar->Min(), INT_MAX - 1);
    EXPECT_EQ(bar->Max(), INT_MAX);
}

// ---- Layout ---------------------------------------------------------------------------------

// 200 high: arrows 0..16 and 184..200, track 16..184 (168).
TEST_F(OwnerScrollbarTest, LaysOutArrowsTrackAndTheShortestThumb) {
    // Page 1 of 100: 168 * 1 / 100 = 1, raised to 8; inner track 20..180.
    TScrollBarLayout l = bar->Layout();
    EXPECT_EQ(l.TopArrow, (RECT{0, 0, 16, 16}));
    EXPECT_EQ(l.BottomArrow, (RECT{0, 184, 16, 200}));
    EXPECT_EQ(l.Track, (RECT{0, 16, 16, 184}));
    EXPECT_EQ(l.ThumbHeight, 8);
    EXPECT_EQ(l.InnerTop, 20);
    EXPECT_EQ(l.InnerBottom, 180);
    EXPECT_EQ(l.Thumb, (RECT{0, 16, 16, 24}));
    EXPECT_EQ(l.PageUp, (RECT{0, 16, 16, 16}));
    EXPECT_EQ(l.PageDown, (RECT{0, 24, 16, 184}));

    bar->SetPosition(99);
    l = bar->Layout();
    EXPECT_EQ(l.Thumb, (RECT{0, 176, 16, 184}));
    EXPECT_EQ(l.PageUp, (RECT{0, 16, 16, 176}));
    EXPECT_EQ(l.PageDown, (RECT{0, 184, 16, 184}));

    // 20 + round(50 * 160 / 99) = 20 + round(80.81) = 101.
    bar->SetPosition(50);
    EXPECT_EQ(bar->Layout().Thumb, (RECT{0, 97, 16, 105}));
}

TEST_F(OwnerScrollbarTest, ThumbBeginsBelowTheTopArrowAtMinAlsoWhenMinIsNotZero) {
    // Range 10..60, page 10: 168 * 10 / 50 = 33; halves 16 above and 17
    // below the centre, so inner track 32..167 (135) over a span of 40.
    bar->SetMax(60);
    bar->SetMin(10);
    bar->SetPageSize(10);
    TScrollBarLayout l = bar->Layout();
    EXPECT_EQ(l.ThumbHeight, 33);
    EXPECT_EQ(l.InnerTop, 32);
    EXPECT_EQ(l.InnerBottom, 167);
    EXPECT_EQ(l.Thumb, (RECT{0, 16, 16, 49}));
    bar->SetPosition(50);
    EXPECT_EQ(bar->Layout().Thumb, (RECT{0, 151, 16, 184})) << "ends where the track ends";
    // 32 + round(21 * 3.375) = 32 + 71.
    bar->SetPosition(31);
    EXPECT_EQ(bar->Layout().Thumb, (RECT{0, 87, 16, 120}));
}

TEST_F(OwnerScrollbarTest, APageAsLargeAsTheRangeFillsTheTrack) {
    bar->SetMax(10);
    bar->SetPageSize(10);
    const TScrollBarLayout l = bar->Layout();
    EXPECT_EQ(l.ThumbHeight, 168);
    EXPECT_EQ(l.InnerTop, 100);
    EXPECT_EQ(l.InnerBottom, 100);
    EXPECT_EQ(l.Thumb, (RECT{0, 16, 16, 184}));
    EXPECT_EQ(bar->PositionFromY(0), 0);
    EXPECT_EQ(bar->PositionFromY(100), 0);
    EXPECT_EQ(bar->PositionFromY(199), 0);
    bar->SetPosition(5);
    EXPECT_EQ(bar->Position(), 0);
}

TEST_F(OwnerScrollbarTest, BarsShorterThanTheirButtonsHaveNoThumb) {
    // 20 high: each arrow half of it, no track.
    bar->SetHeight(20);
    TScrollBarLayout l = bar->Layout();
    EXPECT_EQ(l.TopArrow, (RECT{0, 0, 16, 10}));
    EXPECT_EQ(l.BottomArrow, (RECT{0, 10, 16, 20}));
    EXPECT_EQ(l.ThumbHeight, 0);
    EXPECT_EQ(bar->PositionFromY(5), 0);
    EXPECT_EQ(bar->PositionFromY(15), 99);

    // 39 high: a track of 7 cannot hold the shortest thumb; the page areas
    // meet where the thumb's centre is.
    bar->SetHeight(39);
    bar->SetPosition(99);
    l = bar->Layout();
    EXPECT_EQ(l.Track, (RECT{0, 16, 16, 23}));
    EXPECT_EQ(l.ThumbHeight, 0);
    EXPECT_EQ(l.PageUp, (RECT{0, 16, 16, 23}));
    EXPECT_EQ(l.PageDown, (RECT{0, 23, 16, 23}));

    // 40 high: a thumb of 8 fills the track of 8; no inner track to divide by.
    bar->SetHeight(40);
    bar->SetPosition(50);
    l = bar->Layout();
    EXPECT_EQ(l.ThumbHeight, 8);
    EXPECT_EQ(l.Thumb, (RECT{0, 16, 16, 24}));
    EXPECT_EQ(bar->PositionFromY(19), 0);
    EXPECT_EQ(bar->PositionFromY(20), 0);
    EXPECT_EQ(bar->PositionFromY(21), 99);

    bar->SetHeight(0);
    l = bar->Layout();
    EXPECT_EQ(l.ThumbHeight, 0);
    EXPECT_EQ(bar->PositionFromY(0), 0);
}

TEST_F(OwnerScrollbarTest, PositionFromYFollowsTheThumbCentre) {
    // Inner track 20..180, span 99: y - 20 times 99/160.
    EXPECT_EQ(bar->PositionFromY(19), 0);
    EXPECT_EQ(bar->PositionFromY(20), 0);
    EXPECT_EQ(bar->PositionFromY(60), 25);  // 24.75
    EXPECT_EQ(bar->PositionFromY(101), 50); // 50.12
    EXPECT_EQ(bar->PositionFromY(180), 99);
    EXPECT_EQ(bar->PositionFromY(181), 99);
    EXPECT_EQ(bar->PositionFromY(-1000), 0);

    bar->SetMax(60);
    bar->SetMin(10);
    bar->SetPageSize(10);
    EXPECT_EQ(bar->PositionFromY(31), 10);
    EXPECT_EQ(bar->PositionFromY(103), 31); // 71 * 40/135 = 21.04
    EXPECT_EQ(bar->PositionFromY(168), 50);
}

// ---- Mouse ----------------------------------------------------------------------------------

TEST_F(OwnerScrollbarTest, ArrowsAndPagesMovePositionWithoutALinkedControl) {
    bar->SetSmallChange(3);
    bar->SetLargeChange(20);
    Press(8, 190);
    Release();
    EXPECT_EQ(bar->Position(), 3);
    Press(8, 150); // below the thumb
    Release();
    EXPECT_EQ(bar->Position(), 23);
    Press(8, 17); // above it
    Release();
    EXPECT_EQ(bar->Position(), 3);
    Press(8, 5);
    Release();
    EXPECT_EQ(bar->Position(), 0);
    Press(8, 5);
    Release();
    EXPECT_EQ(bar->Position(), 0) << "clamped at Min";
}

TEST_F(OwnerScrollbarTest, TheLinkedControlReceivesEachStepFollowedByTheEnd) {
    ScrollTarget* target = Linked();
    bar->SetPosition(50); // thumb 97..105
    Press(8, 5);
    Release();
    Press(8, 195);
    Release();
    Press(8, 40);
    Release();
    Press(8, 150);
    Release();
    const std::vector<ScrollTarget::Got> want{
        {SB_LINEUP, 0}, {SB_ENDSCROLL, 0}, {SB_LINEDOWN, 0}, {SB_ENDSCROLL, 0},
        {SB_PAGEUP, 0}, {SB_ENDSCROLL, 0}, {SB_PAGEDOWN, 0}, {SB_ENDSCROLL, 0}};
    EXPECT_EQ(target->got, want);
    EXPECT_EQ(bar->Position(), 50) << "the linked control moves the bar";
}

TEST_F(OwnerScrollbarTest, DraggingTheThumbTracksTheCursor) {
    ScrollTarget* target = Linked();
    // The press lands 2 pixels below the centre (20); the centre still
    // follows the cursor itself.
    Press(8, 22);
    EXPECT_TRUE(bar->State() & sbsThumbPressed);
    EXPECT_TRUE(target->got.empty()) << "a press on the thumb sends nothing";
    MoveTo(9, 22);
    EXPECT_EQ(bar->Position(), 1); // 2 * 99/160 = 1.24
    MoveTo(8, 60);
    EXPECT_EQ(bar->Position(), 25);
    MoveTo(8, 101);
    EXPECT_EQ(bar->Position(), 50);
    MoveTo(8, 300); // below the bar, the mouse held by it
    EXPECT_EQ(bar->Position(), 99);
    MoveTo(8, -40);
    EXPECT_EQ(bar->Position(), 0);
    const std::vector<ScrollTarget::Got> tracked{{SB_THUMBTRACK, 1},
                                                 {SB_THUMBTRACK, 25},
                                                 {SB_THUMBTRACK, 50},
                                                 {SB_THUMBTRACK, 99},
                                                 {SB_THUMBTRACK, 0}};
    EXPECT_EQ(target->got, tracked) << "the same value Position takes, no end between";
    Release();
    EXPECT_EQ(target->got.back(), (ScrollTarget::Got{SB_ENDSCROLL, 0}));
    EXPECT_EQ(target->got.size(), tracked.size() + 1);
    EXPECT_FALSE(bar->State() & (sbsThumbPressed | sbsLButtonDown));
    MoveTo(8, 120);
    EXPECT_EQ(bar->Position(), 0) << "no drag without the press";
}

TEST_F(OwnerScrollbarTest, DraggingWithoutALinkedControlMovesPositionOnly) {
    bar->SetMin(-50);
    bar->SetMax(49);
    bar->SetPosition(-50);
    Press(8, 20);
    MoveTo(8, 101); // 50 steps in
    EXPECT_EQ(bar->Position(), 0);
    Release();
    EXPECT_EQ(bar->Position(), 0);
}

TEST_F(OwnerScrollbarTest, APressedArrowRepeatsAfterTheDelay) {
    Press(8, 190);
    EXPECT_EQ(bar->Position(), 1);
    EXPECT_TRUE(bar->State() & sbsBottomArrowPressed);
    Advance(499);
    EXPECT_EQ(bar->Position(), 1);
    Advance(1);
    EXPECT_EQ(bar->Position(), 2);
    Advance(99);
    EXPECT_EQ(bar->Position(), 2);
    Advance(1);
    EXPECT_EQ(bar->Position(), 3);
    Advance(100);
    EXPECT_EQ(bar->Position(), 4);
    Release();
    EXPECT_FALSE(bar->State() & sbsBottomArrowPressed);
    for (int i = 0; i < 10; ++i)
        Advance(100);
    EXPECT_EQ(bar->Position(), 4) << "the timers stop with the release";
}

TEST_F(OwnerScrollbarTest, PagingRepeatsUntilTheThumbReachesTheCursor) {
    bar->SetLargeChange(10);
    Press(8, 150);
    EXPECT_EQ(bar->Position(), 10);
    Advance(500);
    EXPECT_EQ(bar->Position(), 20);
    // Thumb centres 20 + round(p * 160/99): 70 gives 133 (thumb to 137),
    // 80 gives 149 (thumb 145..153, over the cursor at 150).
    const int want[] = {30, 40, 50, 60, 70, 80, 80, 80};
    for (int w : want) {
        Advance(100);
        EXPECT_EQ(bar->Position(), w);
    }
    // The cursor moving on lets the paging go on.
    MoveTo(8, 170);
    Advance(100);
    EXPECT_EQ(bar->Position(), 90);
    Release();
}

TEST_F(OwnerScrollbarTest, RepeatsReachTheLinkedControl) {
    ScrollTarget* target = Linked();
    Press(8, 5);
    Advance(500);
    Advance(100);
    Release();
    Advance(500);
    const std::vector<ScrollTarget::Got> want{{SB_LINEUP, 0}, {SB_ENDSCROLL, 0},
                                              {SB_LINEUP, 0}, {SB_ENDSCROLL, 0},
                                              {SB_LINEUP, 0}, {SB_ENDSCROLL, 0}};
    EXPECT_EQ(target->got, want);
}

TEST_F(OwnerScrollbarTest, HotPartsFollowTheCursorOnTheHoverTimer) {
    MoveTo(8, 5);
    EXPECT_FALSE(bar->State() & sbsTopArrowHot) << "set by the timer, not the move";
    Advance(50);
    EXPECT_TRUE(bar->State() & sbsTopArrowHot);
    MoveTo(8, 20);
    Advance(50);
    EXPECT_EQ(bar->State() & (sbsTopArrowHot | sbsThumbHot | sbsBottomArrowHot), sbsThumbHot);
    MoveTo(8, 195);
    Advance(50);
    EXPECT_EQ(bar->State() & (sbsTopArrowHot | sbsThumbHot | sbsBottomArrowHot), sbsBottomArrowHot);
    MoveTo(8, 100); // a page area has no hot state
    Advance(50);
    EXPECT_EQ(bar->State() & (sbsTopArrowHot | sbsThumbHot | sbsBottomArrowHot), 0);
    MoveTo(8, 5);
    Advance(50);
    MoveTo(100, 100); // off the bar, onto the form
    Advance(50);
    EXPECT_EQ(bar->State() & (sbsTopArrowHot | sbsThumbHot | sbsBottomArrowHot), 0);
}

TEST_F(OwnerScrollbarTest, LosingTheMouseEndsAPress) {
    ScrollTarget* target = Linked();
    Press(8, 22);
    MoveTo(8, 60);
    SetCapture(form->Handle());
    app->ProcessMessages();
    EXPECT_FALSE(bar->State() & (sbsThumbPressed | sbsLButtonDown));
    EXPECT_EQ(target->got.back(), (ScrollTarget::Got{SB_ENDSCROLL, 0}));
    ReleaseCapture();
    InjectMouseButton(MouseButton::Left, false);
    app->ProcessMessages();

    Press(8, 190);
    SetCapture(form->Handle());
    const int position = bar->Position();
    Advance(1000);
    EXPECT_EQ(bar->Position(), position) << "no repeat once the press ended";
    ReleaseCapture();
    InjectMouseButton(MouseButton::Left, false);
    app->ProcessMessages();
}

TEST_F(OwnerScrollbarTest, AClickDoesNotActivateTheBarsWindow) {
    TForm* other = app->CreateForm<TForm>();
    other->SetBounds(400, 100, 200, 200);
    other->Show();
    SetActiveWindow(other->Handle());
    app->ProcessMessages();
    ASSERT_EQ(GetActiveWindow(), other->Handle());
    EXPECT_EQ(SendMessage(bar->Handle(), WM_MOUSEACTIVATE, WPARAM(0), 0), MA_NOACTIVATE);
    Press(8, 190);
    Release();
    EXPECT_EQ(bar->Position(), 1);
    EXPECT_EQ(GetActiveWindow(), other->Handle());
}

TEST_F(OwnerScrollbarTest, AFreedLinkedControlIsForgotten) {
    ScrollTarget* target = Linked();
    target->Free();
    EXPECT_EQ(bar->LinkedControl(), nullptr);
    Press(8, 190);
    Release();
    EXPECT_EQ(bar->Position(), 1);
}

// ---- Drawing --------------------------------------------------------------------------------

// The bar printed into a bitmap of its size.
class Printed {
public:
    explicit Printed(TCustomOwnerDrawScrollbar& bar) {
        const RECT r = bar.ClientRect();
        std::vector<uint32_t> pixels(size_t(r.width() * r.height()), 0xFF123456);
        bitmap_ = CreateBitmapFromPixels(r.width(), r.height(), pixels.data(), false);
        dc_ = CreateCompatibleDC(HDC{});
        old_ = SelectObject(dc_, bitmap_);
        SendMessage(bar.Handle(), WM_PRINTCLIENT, WPARAM(dc_.value), 0);
    }
    ~Printed() {
        SelectObject(dc_, old_);
        DeleteDC(dc_);
        DeleteObject(bitmap_);
    }
    COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }
    HDC Dc() const { return dc_; }

private:
    HBITMAP bitmap_{}, old_{};
    HDC dc_{};
};

// What the platform's frame control draws for those flags in a 16 x 16 square.
std::vector<COLORREF> FrameControl(UINT flags) {
    std::vector<uint32_t> pixels(256, 0xFF123456);
    const HBITMAP bitmap = CreateBitmapFromPixels(16, 16, pixels.data(), false);
    const HDC dc = CreateCompatibleDC(HDC{});
    const HBITMAP old = SelectObject(dc, bitmap);
    RECT r{0, 0, 16, 16};
    DrawFrameControl(dc, &r, DFC_SCROLL, flags);
    std::vector<COLORREF> out;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            out.push_back(GetPixel(dc, x, y));
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
    return out;
}

std::vector<COLORREF> Square(const Printed& p, int top) {
    std::vector<COLORREF> out;
    for (int y = top; y < top + 16; ++y)
        for (int x = 0; x < 16; ++x)
            out.push_back(p.At(x, y));
    return out;
}

TEST_F(OwnerScrollbarTest, ClassicArrowsTakeTheFrameControlFlags) {
    {
        Printed p(*bar);
        EXPECT_EQ(Square(p, 0), FrameControl(DFCS_SCROLLUP));
        EXPECT_EQ(Square(p, 184), FrameControl(DFCS_SCROLLDOWN));
    }
    EXPECT_NE(FrameControl(DFCS_SCROLLUP), FrameControl(DFCS_SCROLLUP | DFCS_FLAT))
        << "the flags show";
    Press(8, 5);
    {
        Printed p(*bar);
        EXPECT_EQ(Square(p, 0), FrameControl(DFCS_SCROLLUP | DFCS_FLAT)) << "pressed, not flat";
    }
    bar->SetFlat(true);
    {
        Printed p(*bar);
        EXPECT_EQ(Square(p, 0), FrameControl(DFCS_SCROLLUP | DFCS_FLAT | DFCS_PUSHED));
        EXPECT_EQ(Square(p, 184), FrameControl(DFCS_SCROLLDOWN | DFCS_FLAT));
    }
    Release();
    bar->SetEnabled(false);
    {
        Printed p(*bar);
        EXPECT_EQ(Square(p, 0), FrameControl(DFCS_SCROLLUP | DFCS_INACTIVE))
            << "disabled: only inactive";
        EXPECT_EQ(Square(p, 184), FrameControl(DFCS_SCROLLDOWN | DFCS_INACTIVE));
    }
}

TEST_F(OwnerScrollbarTest, ClassicThumbAndPageAreas) {
    bar->Colors().SetThumbButton(clLime);
    bar->Colors().SetBackground(clRed);
    bar->Colors().SetBackgroundBlend(clBlue);
    bar->Colors().SetPageScrollHot(clYellow);
    bar->SetPosition(50); // thumb 97..105
    {
        Printed p(*bar);
        EXPECT_EQ(p.At(8, 101), ColorToRGB(clLime));
        EXPECT_EQ(p.At(15, 104), ColorToRGB(cl3DDkShadow)) << "raised edge";
        // Checkerboard: neighbours differ, both colours used, in both areas.
        for (int y : {40, 41, 150, 151}) {
            const COLORREF a = p.At(4, y), b = p.At(5, y);
            EXPECT_NE(a, b);
            EXPECT_TRUE(a == ColorToRGB(clRed) || a == ColorToRGB(clBlue));
            EXPECT_TRUE(b == ColorToRGB(clRed) || b == ColorToRGB(clBlue));
            EXPECT_EQ(p.At(4, y), p.At(5, y + 1));
        }
    }
    bar->SetFlat(true);
    Press(8, 150);
    {
        Printed p(*bar);
        EXPECT_EQ(p.At(15, 104 + 10), ColorToRGB(clYellow)) << "the pressed page area";
        EXPECT_EQ(p.At(15, 112), ColorToRGB(clYellow));
        const TScrollBarLayout l = bar->Layout();
        EXPECT_EQ(p.At(8, l.Thumb.top + 4), ColorToRGB(clLime));
        EXPECT_EQ(p.At(0, l.Thumb.top), ColorToRGB(clBtnShadow)) << "flat frame";
        EXPECT_EQ(p.At(15, l.Thumb.bottom - 1), ColorToRGB(clBtnShadow));
        EXPECT_NE(p.At(4, 40), ColorToRGB(clYellow));
    }
    Release();
}

TEST_F(OwnerScrollbarTest, TheWindowShowsWhatItPrints) {
    bar->Colors().SetThumbButton(clLime);
    bar->Colors().SetBackground(clRed);
    bar->Colors().SetBackgroundBlend(clRed);
    bar->SetPosition(50);
    app->ProcessMessages();
    const HDC dc = GetDC(bar->Handle());
    EXPECT_EQ(GetPixel(dc, 8, 101), ColorToRGB(clLime));
    EXPECT_EQ(GetPixel(dc, 8, 150), ColorToRGB(clRed)) << "page areas drawn when erasing";
    EXPECT_EQ(GetPixel(dc, 8, 40), ColorToRGB(clRed));
    bar->SetPosition(0);
    app->ProcessMessages();
    EXPECT_EQ(GetPixel(dc, 8, 101), ColorToRGB(clRed)) << "the track repainted after a move";
    EXPECT_EQ(GetPixel(dc, 8, 20), ColorToRGB(clLime));
    ReleaseDC(bar->Handle(), dc);
}

TEST_F(OwnerScrollbarTest, ASystemColourChangeRebuildsTheCheckerboard) {
    const COLORREF old = GetSysColor(COLOR_SCROLLBAR);
    bar->Colors().SetBackgroundBlend(clScrollBar);
    {
        Printed p(*bar);
        EXPECT_EQ(p.At(4, 100), old);
    }
    const int index = COLOR_SCROLLBAR;
    const COLORREF green = RGB(0, 200, 0);
    ChangeSysColors(1, &index, &green);
    app->ProcessMessages();
    {
        Printed p(*bar);
        EXPECT_EQ(p.At(4, 100), green);
        EXPECT_EQ(p.At(5, 100), green);
    }
    ChangeSysColors(1, &index, &old);
    app->ProcessMessages();
}

struct PaintCall {
    TScrollPaintCycle cycle;
    TScrollPaintState state;
    RECT rect;
};

TEST_F(OwnerScrollbarTest, CustomPaintIsAskedBeforeEachStep) {
    std::vector<PaintCall> calls;
    bool handleThumb = false, handlePages = false;
    bar->OnScrollCustomPaint = [&](TCustomOwnerDrawScrollbar* sender, TScrollPaintCycle cycle,
                                   TScrollPaintState state, RECT rect, TCanvas& canvas,
                                   bool& handled) {
        EXPECT_EQ(sender, bar);
        EXPECT_FALSE(handled);
        calls.push_back({cycle, state, rect});
        if ((cycle == spcThumb && handleThumb) || (cycle == spcPageAreas && handlePages)) {
            canvas.Brush().SetColor(clFuchsia);
            canvas.FillRect(rect);
            handled = true;
        }
    };
    Linked(); // keeps Position where it is
    bar->SetPosition(50);
    Press(8, 5);
    calls.clear();
    {
        Printed p(*bar);
        ASSERT_EQ(calls.size(), 4u);
        EXPECT_EQ(calls[0].cycle, spcPageAreas);
        EXPECT_EQ(calls[0].state, spsNormal);
        EXPECT_EQ(calls[0].rect, (RECT{0, 16, 16, 184})) << "the client less 16 at either end";
        EXPECT_EQ(calls[1].cycle, spcTopArrow);
        EXPECT_EQ(calls[1].state, spsPressed);
        EXPECT_EQ(calls[1].rect, (RECT{0, 0, 16, 16}));
        EXPECT_EQ(calls[2].cycle, spcBottomArrow);
        EXPECT_EQ(calls[2].state, spsNormal);
        EXPECT_EQ(calls[2].rect, (RECT{0, 184, 16, 200}));
        EXPECT_EQ(calls[3].cycle, spcThumb);
        EXPECT_EQ(calls[3].rect, (RECT{0, 97, 16, 105}));
        EXPECT_NE(p.At(8, 101), ColorToRGB(clFuchsia));
    }
    Release();
    handleThumb = handlePages = true;
    {
        Printed p(*bar);
        EXPECT_EQ(p.At(8, 101), ColorToRGB(clFuchsia)) << "the handler's thumb only";
        EXPECT_EQ(p.At(3, 40), ColorToRGB(clFuchsia));
        EXPECT_EQ(p.At(4, 40), ColorToRGB(clFuchsia));
    }
    bar->SetEnabled(false);
    calls.clear();
    { Printed p(*bar); }
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[1].state, spsDisabled);
    EXPECT_EQ(calls[3].state, spsDisabled);
}

// ---- Themed drawing -------------------------------------------------------------------------

struct ThemeCall {
    int part, state;
    RECT rect;
    friend bool operator==(const ThemeCall&, const ThemeCall&) = default;
};
void PrintTo(const ThemeCall& c, std::ostream* os) {
    *os << "{" << c.part << ", " << c.state << ", " << c.rect << "}";
}

std::vector<ThemeCall> drawn;
std::vector<std::u16string> openedClasses;
int closedThemes = 0;
BOOL themeActive = TRUE;

HTHEME FakeOpen(HWND, const char16_t* classes) {
    openedClasses.push_back(classes);
    return reinterpret_cast<HTHEME>(uintptr_t(0x100 + openedClasses.size()));
}
HRESULT FakeClose(HTHEME) {
    ++closedThemes;
    return S_OK;
}
HRESULT FakeDraw(HTHEME, HDC, int part, int state, const RECT* rect, const RECT*) {
    drawn.push_back({part, state, *rect});
    return S_OK;
}
HRESULT FakeContent(HTHEME, HDC, int, int, const RECT* bounds, RECT* content) {
    *content = {bounds->left + 2, bounds->top + 3, bounds->right - 2, bounds->bottom - 3};
    return S_OK;
}
BOOL FakeActive() {
    return themeActive;
}

class ThemedScrollbarTest : public OwnerScrollbarTest {
protected:
    void SetUp() override {
        drawn.clear();
        openedClasses.clear();
        closedThemes = 0;
        themeActive = TRUE;
        TThemeLibrary library;
        library.Name = "fake";
        library.OpenThemeData = &FakeOpen;
        library.CloseThemeData = &FakeClose;
        library.DrawThemeBackground = &FakeDraw;
        library.GetThemeBackgroundContentRect = &FakeContent;
        library.IsThemeActive = &FakeActive;
        library.IsAppThemed = &FakeActive;
        BindThemeLibrary(library);
        OwnerScrollbarTest::SetUp();
        drawn.clear();
    }
    std::vector<ThemeCall> Print() {
        drawn.clear();
        { Printed p(*bar); }
        return drawn;
    }
};

TEST_F(ThemedScrollbarTest, OpensTheScrollbarThemeWithItsWindow) {
    EXPECT_EQ(openedClasses, std::vector<std::u16string>{u"scrollbar"});
    EXPECT_TRUE(bar->State() & sbsThemeOpen);
    EXPECT_NE(bar->Theme(), nullptr);
    bar->RecreateWnd();
    bar->HandleNeeded();
    EXPECT_EQ(closedThemes, 1) << "the old theme closed with the old window";
    EXPECT_EQ(openedClasses.size(), 2u);
    // A theme change opens the theme anew, the previous one closed first.
    SendMessage(bar->Handle(), WM_THEMECHANGED);
    EXPECT_EQ(closedThemes, 2);
    EXPECT_EQ(openedClasses.size(), 3u);
    // Themes switched off: the next change leaves the bar without one.
    themeActive = FALSE;
    SendMessage(bar->Handle(), WM_THEMECHANGED);
    EXPECT_EQ(closedThemes, 3);
    EXPECT_EQ(bar->Theme(), nullptr);
    EXPECT_FALSE(bar->State() & sbsThemeOpen);
    EXPECT_TRUE(Print().empty()) << "classic drawing";
}

TEST_F(ThemedScrollbarTest, DrawsEveryPartThroughTheTheme) {
    Linked(); // keeps Position where it is
    bar->SetPosition(50);
    const std::vector<ThemeCall> normal{{7, 1, {0, 16, 16, 97}},  {6, 1, {0, 105, 16, 184}},
                                        {1, 1, {0, 0, 16, 16}},   {1, 5, {0, 184, 16, 200}},
                                        {3, 1, {0, 97, 16, 105}}, {9, 1, {2, 100, 14, 102}}};
    EXPECT_EQ(Print(), normal);

    Press(8, 5);
    std::vector<ThemeCall> calls = Print();
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[2], (ThemeCall{1, 3, {0, 0, 16, 16}}));
    Release();

    MoveTo(8, 195);
    Advance(50);
    calls = Print();
    EXPECT_EQ(calls[3], (ThemeCall{1, 6, {0, 184, 16, 200}})) << "hot";
    MoveTo(8, 100);
    Advance(50);
    calls = Print();
    EXPECT_EQ(calls[4], (ThemeCall{3, 2, {0, 97, 16, 105}}));
    EXPECT_EQ(calls[5], (ThemeCall{9, 2, {2, 100, 14, 102}}));
    Press(8, 100);
    calls = Print();
    EXPECT_EQ(calls[4].state, 3) << "pressed before hot";
    Release();

    bar->SetEnabled(false);
    calls = Print();
    EXPECT_EQ(calls[2].state, 4);
    EXPECT_EQ(calls[3].state, 8);
    EXPECT_EQ(calls[4].state, 4);
    EXPECT_EQ(calls[5].state, 4);
}

TEST_F(ThemedScrollbarTest, PressedPageAreasChangeTheTrackParts) {
    bar->SetPosition(50);
    Press(8, 150); // below the thumb
    std::vector<ThemeCall> calls = Print();
    EXPECT_EQ(calls[0], (ThemeCall{7, 1, {0, 16, 16, bar->Layout().Thumb.top}}));
    EXPECT_EQ(calls[1].part, 7);
    EXPECT_EQ(calls[1].state, 3);
    Release();
    bar->SetPosition(50);
    Press(8, 40); // above it
    calls = Print();
    EXPECT_EQ(calls[0].part, 6);
    EXPECT_EQ(calls[0].state, 3);
    EXPECT_EQ(calls[1].part, 6);
    EXPECT_EQ(calls[1].state, 1);
    Release();
}

TEST_F(ThemedScrollbarTest, AThumbOfNoHeightIsSkipped) {
    bar->SetHeight(39);
    bar->SetPosition(99);
    const std::vector<ThemeCall> calls = Print();
    const std::vector<ThemeCall> want{{7, 1, {0, 16, 16, 23}},
                                      {6, 1, {0, 23, 16, 23}},
                                      {1, 1, {0, 0, 16, 16}},
                                      {1, 5, {0, 23, 16, 39}}};
    EXPECT_EQ(calls, want);
}

TEST_F(ThemedScrollbarTest, WithoutThemeAwarenessTheClassicLookIsDrawn) {
    bar->SetOptions(0);
    EXPECT_NE(bar->Theme(), nullptr) << "the theme stays open";
    EXPECT_TRUE(Print().empty());
}

TEST_F(ThemedScrollbarTest, NoThemeIsOpenedWhileThemesAreOff) {
    themeActive = FALSE;
    openedClasses.clear();
    auto* other = TComponent::Create<TOwnerDrawScrollbar>(form);
    other->SetParent(form);
    other->HandleNeeded();
    EXPECT_TRUE(openedClasses.empty());
    EXPECT_EQ(other->Theme(), nullptr);
}

// ---- Form descriptions ----------------------------------------------------------------------

TEST_F(OwnerScrollbarTest, RoundTripsThroughAFormDescriptionKeepingItsStoredWidth) {
    RegisterOwnerScrollbarClasses();
    TOwnerDrawScrollbar source(nullptr);
    source.SetName("Bar");
    source.SetMin(-50);
    source.SetMax(-10);
    source.SetPageSize(5);
    source.SetPosition(-20);
    source.SetFlat(true);
    source.SetLargeChange(7);
    source.SetSmallChange(2);
    source.SetOptions(0);
    source.Colors().SetPageScrollHot(clRed);
    source.Colors().SetBackgroundBlend(clNavy);
    source.SetState(csLoading); // as when read: any width
    source.SetWidth(30);
    source.ClearState(csLoading);
    ASSERT_EQ(source.Width(), 30);

    TMemoryStream stream;
    WriteComponentResource(stream, source);
    stream.SetPosition(0);
    TOwnerDrawScrollbar read(nullptr);
    ReadComponentResource(stream, read);
    EXPECT_EQ(read.Width(), 30);
    EXPECT_EQ(read.Min(), -50) << "the range is put in order once it is all read";
    EXPECT_EQ(read.Max(), -10);
    EXPECT_EQ(read.PageSize(), 5);
    EXPECT_EQ(read.Position(), -20);
    EXPECT_TRUE(read.Flat());
    EXPECT_EQ(read.LargeChange(), 7);
    EXPECT_EQ(read.SmallChange(), 2);
    EXPECT_EQ(read.Options(), 0u);
    EXPECT_EQ(read.Colors().PageScrollHot(), clRed);
    EXPECT_EQ(read.Colors().BackgroundBlend(), clNavy);
    read.SetWidth(40);
    EXPECT_EQ(read.Width(), 16) << "only while reading";
}

} // namespace
} // namespace ax
