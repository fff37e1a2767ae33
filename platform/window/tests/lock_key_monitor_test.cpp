// The keyboard-monitor library the X11 display serves: a window registered
// with it hears of lock keys another client toggles, and the library goes
// with the display.
#include <gtest/gtest.h>

#include <cstdlib>

#include "bounded_wait.h"
#include "platform/library.h"
#include "platform/window/display.h"
#include "platform/window/window.h"
#include "xvfb.h"

namespace ax {
namespace {

using RegisterFn = UINT (*)(HWND);
using DeregisterFn = void (*)(HWND);
constexpr unsigned long kNumLockKeysym = 0xFF7F;

// Waits for the next message the monitor posts to the window.
bool NextNotice(HWND window, UINT message, MSG& m) {
    return test::WaitUntil([&] { return PeekMessage(m, window, message, message, PM_REMOVE) != FALSE; });
}

TEST(LockKeyMonitor, ARegisteredWindowHearsOfLockKeysToggledElsewhere) {
    if (test::FindXvfb().empty()) GTEST_SKIP() << "Xvfb is not installed";
    test::Xvfb server;
    ASSERT_TRUE(server.Start(test::FindXvfb())) << server.Error();
    setenv("DISPLAY", server.Name().c_str(), 1);
    ASSERT_TRUE(SelectDisplay(DisplayKind::X11));

    const HMODULE library = LoadLibrary("exkbmon.dll");
    ASSERT_NE(library, 0u) << "the X11 display serves no keyboard monitor";
    auto* reg = reinterpret_cast<RegisterFn>(GetProcAddress(library, "RegisterKeyboardHook"));
    auto* dereg = reinterpret_cast<DeregisterFn>(GetProcAddress(library, "DeregisterKeyboardHook"));
    ASSERT_TRUE(reg && dereg);
    WNDCLASS wc;
    wc.lpszClassName = "LockKeyMonitorTest";
    wc.lpfnWndProc = DefWindowProc;
    RegisterClass(wc);
    const HWND window = CreateWindowEx(0, "LockKeyMonitorTest", "", WS_POPUP, 0, 0, 0, 0, HWND_MESSAGE);
    ASSERT_TRUE(window);

    const UINT notice = reg(window);
    EXPECT_GE(notice, 0xC000u);
    server.KeyStroke(kNumLockKeysym);
    MSG m;
    ASSERT_TRUE(NextNotice(window, notice, m)) << "no notice of Num Lock going on";
    EXPECT_EQ(m.wParam, WPARAM(VK_NUMLOCK));
    EXPECT_EQ(m.lParam & 1, 1);
    server.KeyStroke(kNumLockKeysym);
    ASSERT_TRUE(NextNotice(window, notice, m)) << "no notice of Num Lock going off";
    EXPECT_EQ(m.wParam, WPARAM(VK_NUMLOCK));
    EXPECT_EQ(m.lParam & 1, 0);

    dereg(window);
    FreeLibrary(library);
    DestroyWindow(window);
    // Headless, nothing serves the name.
    SelectDisplay(DisplayKind::Headless);
    EXPECT_EQ(LoadLibrary("ExKbMon.dll"), 0u);
}

} // namespace
} // namespace ax
