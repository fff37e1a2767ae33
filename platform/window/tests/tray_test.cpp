// The notification area on the headless display: calls recorded, icons kept
// by window and id, callback messages posted to the icon's window.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/gdi/image.h"
#include "platform/window/display.h"
#include "platform/window/tray.h"
#include "platform/window/window.h"

namespace ax {
namespace {

class Tray : public ::testing::Test {
protected:
    void SetUp() override {
        SelectDisplay(DisplayKind::Headless);
        WNDCLASS wc;
        if (!GetClassInfo("TrayTestWindow", wc)) {
            wc.lpszClassName = "TrayTestWindow";
            wc.lpfnWndProc = DefWindowProc;
            RegisterClass(wc);
        }
        window = CreateWindowEx(0, "TrayTestWindow", "", WS_POPUP, 0, 0, 0, 0, HWND_MESSAGE);
        ASSERT_TRUE(window);
        TakeTrayCalls();
    }
    void TearDown() override {
        NOTIFYICONDATA d;
        d.hWnd = window;
        for (UINT id = 0; id < 4; ++id) {
            d.uID = id;
            Shell_NotifyIconA(NIM_DELETE, &d);
        }
        DestroyWindow(window);
        MSG m;
        while (PeekMessage(m, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    NOTIFYICONDATA Data(UINT id, const char* tip) {
        NOTIFYICONDATA d;
        d.hWnd = window;
        d.uID = id;
        d.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        d.uCallbackMessage = 0xB054;
        d.hIcon = LoadIcon(0, IDI_INFORMATION);
        std::strncpy(d.szTip, tip, sizeof d.szTip - 1);
        return d;
    }
    HWND window = nullptr;
};

TEST_F(Tray, AddModifyDeleteAreRecordedAndKept) {
    NOTIFYICONDATA d = Data(0, "Backup running");
    EXPECT_TRUE(Shell_NotifyIconA(NIM_ADD, &d));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &d)); // already there
    ASSERT_EQ(TrayIcons().size(), 1u);
    EXPECT_EQ(TrayIcons()[0].tip, "Backup running");
    EXPECT_EQ(TrayIcons()[0].width, 32);
    EXPECT_EQ(TrayIcons()[0].pixels.size(), 32u * 32u);

    NOTIFYICONDATA tipOnly;
    tipOnly.hWnd = window;
    tipOnly.uFlags = NIF_TIP;
    std::strcpy(tipOnly.szTip, "42%");
    EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &tipOnly));
    EXPECT_EQ(TrayIcons()[0].tip, "42%");
    EXPECT_EQ(TrayIcons()[0].callbackMessage, 0xB054u); // kept: not in the flags
    EXPECT_EQ(TrayIcons()[0].width, 32);

    EXPECT_TRUE(Shell_NotifyIconA(NIM_DELETE, &d));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_DELETE, &d));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &d));
    EXPECT_TRUE(TrayIcons().empty());

    const std::vector<TrayCall> calls = TakeTrayCalls();
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[0].message, NIM_ADD);
    EXPECT_TRUE(calls[0].result);
    EXPECT_FALSE(calls[1].result);
    EXPECT_EQ(calls[2].message, NIM_MODIFY);
    EXPECT_STREQ(calls[2].data.szTip, "42%");
    EXPECT_EQ(calls[3].message, NIM_DELETE);
    EXPECT_TRUE(calls[3].result);
    EXPECT_FALSE(calls[4].result);
    EXPECT_TRUE(TakeTrayCalls().empty());
}

TEST_F(Tray, BadCallsFail) {
    NOTIFYICONDATA d = Data(1, "x");
    d.cbSize = 100;
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &d));
    d = Data(1, "x");
    d.hWnd = reinterpret_cast<HWND>(0x7777);
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &d));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, nullptr));
    EXPECT_FALSE(Shell_NotifyIconA(7, &d));
    EXPECT_TRUE(TrayIcons().empty());
}

TEST_F(Tray, MouseActivityComesBackAsTheCallbackMessage) {
    NOTIFYICONDATA d = Data(2, "x");
    ASSERT_TRUE(Shell_NotifyIconA(NIM_ADD, &d));
    EXPECT_TRUE(InjectTrayMouse(window, 2, WM_RBUTTONUP));
    EXPECT_FALSE(InjectTrayMouse(window, 3, WM_RBUTTONUP));
    MSG m;
    ASSERT_TRUE(PeekMessage(m, window, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, 0xB054u);
    EXPECT_EQ(m.wParam, 2u);
    EXPECT_EQ(m.lParam, LPARAM(WM_RBUTTONUP));
    EXPECT_EQ(TrayIconNativeWindow(window, 2), 0u); // no X11 side headless
}

} // namespace
} // namespace ax
