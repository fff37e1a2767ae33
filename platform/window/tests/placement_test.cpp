// Window placement: the normal rectangle kept while minimised or maximised.
#include <gtest/gtest.h>

#include "platform/window/display.h"
#include "platform/window/placement.h"
#include "platform/window/window.h"

namespace ax {
namespace {

HWND MakeWindow() {
    SelectDisplay(DisplayKind::Headless);
    WNDCLASS wc;
    wc.lpszClassName = "PlacementTest";
    wc.lpfnWndProc = DefWindowProc;
    RegisterClass(wc);
    return CreateWindowEx(0, "PlacementTest", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 30, 200, 100, nullptr);
}

TEST(Placement, TheNormalRectangleOutlivesMaximising) {
    const HWND h = MakeWindow();
    WINDOWPLACEMENT wp;
    ASSERT_TRUE(GetWindowPlacement(h, &wp));
    EXPECT_EQ(wp.showCmd, UINT(SW_SHOWNORMAL));
    EXPECT_EQ(wp.rcNormalPosition, (RECT{40, 30, 240, 130}));
    ShowWindow(h, SW_SHOWMAXIMIZED);
    ASSERT_TRUE(GetWindowPlacement(h, &wp));
    EXPECT_EQ(wp.showCmd, UINT(SW_SHOWMAXIMIZED));
    EXPECT_EQ(wp.rcNormalPosition, (RECT{40, 30, 240, 130}));
    // A new normal rectangle while maximised is where restoring goes.
    wp.rcNormalPosition = {10, 20, 110, 70};
    ASSERT_TRUE(SetWindowPlacement(h, &wp));
    EXPECT_TRUE(IsZoomed(h));
    ShowWindow(h, SW_RESTORE);
    RECT r;
    GetWindowRect(h, r);
    EXPECT_EQ(r, (RECT{10, 20, 110, 70}));
    wp.showCmd = SW_SHOWMINIMIZED;
    wp.rcNormalPosition = {0, 0, 50, 50};
    ASSERT_TRUE(SetWindowPlacement(h, &wp));
    EXPECT_TRUE(IsIconic(h));
    ASSERT_TRUE(GetWindowPlacement(h, &wp));
    EXPECT_EQ(wp.rcNormalPosition, (RECT{0, 0, 50, 50}));
    DestroyWindow(h);
    EXPECT_FALSE(GetWindowPlacement(h, &wp));
}

} // namespace
} // namespace ax
