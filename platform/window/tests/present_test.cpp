// What a thread draws reaches the X server once its painting in hand is done:
// when its retrieval finds no more painting, when it waits, or when it asks
// for an update now. Runs under a private Xvfb; the server is read back by a
// connection of the test's own, which sees the drawing once the server has
// it (a bounded wait, as the layer's connection is not the test's).
#include "test_support.h"
#include "xvfb.h"

#include <cstdlib>

// After the test framework: Xlib's macros would clash with it.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace ax {
namespace {

class Presenting : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string xvfb = test::FindXvfb();
        if (xvfb.empty()) GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_TRUE(server_.Start(xvfb));
        setenv("DISPLAY", server_.Name().c_str(), 1);
        SetClock(&clock_);
        SetMainThread(std::this_thread::get_id());
        SetTestFont(true);
        ASSERT_TRUE(SelectDisplay(DisplayKind::X11));
        reader_ = XOpenDisplay(server_.Name().c_str());
        ASSERT_NE(reader_, nullptr);
        test::RegisterTestClass("Plain");
        top_ = CreateWindowEx(0, "Plain", "", WS_POPUP | WS_VISIBLE, 50, 50, 120, 80, nullptr);
        test::Pump();
        PumpDisplay();
    }
    void TearDown() override {
        for (HWND h : EnumWindows())
            DestroyWindow(h);
        test::Pump();
        if (reader_) XCloseDisplay(reader_);
        SelectDisplay(DisplayKind::Headless);
        SetClock(nullptr);
    }
    // The server's pixel of the top-level window, 0x00RRGGBB.
    uint32_t ServerPixel(int x, int y) {
        XImage* img = XGetImage(reader_, NativeWindow(top_), x, y, 1, 1, AllPlanes, ZPixmap);
        if (!img) return 0xFFFFFFFF;
        const uint32_t v = uint32_t(XGetPixel(img, 0, 0)) & 0xFFFFFF;
        XDestroyImage(img);
        return v;
    }
    bool ServerShows(int x, int y, uint32_t rgb) {
        return test::WaitUntil([&] { return ServerPixel(x, y) == rgb; }, 10);
    }
    void Draw(HWND h, RECT r, COLORREF colour) {
        HDC dc = GetDC(h);
        HBRUSH brush = CreateSolidBrush(colour);
        FillRect(dc, &r, brush);
        DeleteObject(brush);
        ReleaseDC(h, dc);
    }

    test::Xvfb server_;
    ManualClock clock_;
    Display* reader_ = nullptr;
    HWND top_ = nullptr;
};

TEST_F(Presenting, DrawingShowsWhenTheRetrievalFindsNothingMore) {
    Draw(top_, {0, 0, 40, 40}, RGB(255, 0, 0));
    MSG m;
    EXPECT_FALSE(PeekMessage(m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_TRUE(ServerShows(10, 10, 0xFF0000)) << "drawing with no message after it never showed";
}

TEST_F(Presenting, DrawingShowsWhenTheThreadWaits) {
    Draw(top_, {0, 0, 40, 40}, RGB(0, 0, 255));
    WaitableEvent never;
    WaitableEvent* events[] = {&never};
    // The wait times out at once on the stopped clock, having shown the drawing first.
    EXPECT_EQ(MsgWaitForMultipleObjects(events, 0, QS_ALLINPUT), WAIT_TIMEOUT);
    EXPECT_TRUE(ServerShows(10, 10, 0x0000FF)) << "drawing before a wait never showed";
}

TEST_F(Presenting, ARepaintOfManyChildrenShowsWhole) {
    std::vector<HWND> kids;
    for (int i = 0; i < 6; ++i)
        kids.push_back(
            CreateWindowEx(0, "Plain", "", WS_CHILD | WS_VISIBLE, i * 20, 0, 20, 20, top_));
    test::Pump();
    for (size_t i = 0; i < kids.size(); ++i)
        Draw(kids[i], {0, 0, 20, 20}, RGB(0, 255, 0));
    UpdateWindow(top_); // an update asked for now shows now
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(ServerShows(i * 20 + 10, 10, 0x00FF00)) << "child " << i;
}

} // namespace
} // namespace ax
