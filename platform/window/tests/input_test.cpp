// The non-client model and hit testing; mouse and key messages with their
// parameters; focus, activation, capture and z-order.
#include "platform/window/ime.h"
#include "test_support.h"

namespace ax {
namespace {

using test::Log;
using test::Pump;
using test::Record;

class Input : public test::WindowTest {
protected:
    LRESULT Hit(HWND h, int x, int y) { return SendMessage(h, WM_NCHITTEST, 0, MAKELPARAM(x, y)); }
    static uint32_t Bits(LPARAM lp) { return static_cast<uint32_t>(lp); }
};

TEST_F(Input, OverlappedWindowFrameAndHitTest) {
    HWND h = CreateWindowEx(0, "Rec", "Main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200,
                            nullptr);
    RECT r;
    GetClientRect(h, r);
    EXPECT_EQ(r, (RECT{0, 0, 292, 173}));
    POINT origin{0, 0};
    ClientToScreen(h, origin);
    EXPECT_EQ(origin, (POINT{104, 123}));
    RECT adjusted{0, 0, 292, 173};
    AdjustWindowRectEx(adjusted, WS_OVERLAPPEDWINDOW, FALSE, 0);
    EXPECT_EQ(adjusted, (RECT{-4, -23, 296, 177}));

    EXPECT_EQ(Hit(h, 100, 100), HTTOPLEFT);
    EXPECT_EQ(Hit(h, 101, 150), HTLEFT);
    EXPECT_EQ(Hit(h, 398, 150), HTRIGHT);
    EXPECT_EQ(Hit(h, 250, 101), HTTOP);
    EXPECT_EQ(Hit(h, 250, 298), HTBOTTOM);
    EXPECT_EQ(Hit(h, 399, 299), HTBOTTOMRIGHT);
    EXPECT_EQ(Hit(h, 115, 299), HTBOTTOMLEFT); // the corner reaches along the edge
    EXPECT_EQ(Hit(h, 250, 110), HTCAPTION);
    EXPECT_EQ(Hit(h, 385, 110), HTCLOSE);
    EXPECT_EQ(Hit(h, 365, 110), HTMAXBUTTON);
    EXPECT_EQ(Hit(h, 350, 110), HTMINBUTTON);
    EXPECT_EQ(Hit(h, 110, 110), HTSYSMENU);
    EXPECT_EQ(Hit(h, 200, 200), HTCLIENT);
    EXPECT_EQ(Hit(h, 50, 50), HTNOWHERE);
}

TEST_F(Input, DialogToolAndChildFrames) {
    HWND dlg = CreateWindowEx(WS_EX_DLGMODALFRAME, "Rec", "", WS_POPUP | WS_CAPTION | WS_SYSMENU, 0,
                              0, 200, 100, nullptr);
    RECT r;
    GetClientRect(dlg, r);
    EXPECT_EQ(r, (RECT{0, 0, 194, 75}));
    EXPECT_EQ(Hit(dlg, 1, 50), HTBORDER);
    EXPECT_EQ(Hit(dlg, 100, 10), HTCAPTION);

    RECT tool{0, 0, 100, 100};
    AdjustWindowRectEx(tool, WS_CAPTION, FALSE, WS_EX_TOOLWINDOW);
    EXPECT_EQ(tool, (RECT{-3, -18, 103, 103}));

    HWND top = CreateWindowEx(0, "Rec", "", WS_OVERLAPPEDWINDOW, 100, 100, 300, 200, nullptr);
    HWND child =
        CreateWindowEx(WS_EX_CLIENTEDGE, "Rec", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL,
                       10, 10, 100, 80, top);
    GetClientRect(child, r);
    EXPECT_EQ(r, (RECT{0, 0, 80, 60}));
    // The child's window starts at 104 + 10, 123 + 10 on the screen.
    EXPECT_EQ(Hit(child, 114 + 90, 133 + 30), HTVSCROLL);
    EXPECT_EQ(Hit(child, 114 + 40, 133 + 70), HTHSCROLL);
    EXPECT_EQ(Hit(child, 114 + 90, 133 + 70), HTGROWBOX);
    EXPECT_EQ(Hit(child, 114 + 1, 133 + 1), HTBORDER);
    EXPECT_EQ(Hit(child, 114 + 5, 133 + 5), HTCLIENT);
    RECT wr;
    GetWindowRect(child, wr);
    EXPECT_EQ(wr, (RECT{114, 133, 214, 213}));
    EXPECT_EQ(WindowFromPoint(POINT{120, 140}), nullptr); // not shown yet
    ShowWindow(top, SW_SHOW);
    EXPECT_EQ(WindowFromPoint(POINT{120, 140}), child);
    EXPECT_EQ(WindowFromPoint(POINT{300, 250}), top);
}

TEST_F(Input, MouseMessagesCarryClientPointsAndKeyFlags) {
    HWND h = CreateWindowEx(0, "RecDbl", "", WS_POPUP | WS_VISIBLE, 500, 300, 100, 100, nullptr);
    Pump();
    Log().Take();
    InjectClick(MouseButton::Left, 510, 320);
    EXPECT_EQ(GetAsyncKeyState(VK_LBUTTON), 0);
    EXPECT_EQ(WindowFromPoint(POINT{510, 320}), h);
    Pump();
    auto m = Log().Only({WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_SETCURSOR});
    ASSERT_EQ(m.size(), 5u);
    EXPECT_EQ(m[0].msg, UINT(WM_SETCURSOR));
    EXPECT_EQ(m[0].lp, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(m[1].msg, UINT(WM_MOUSEMOVE));
    EXPECT_EQ(m[1].lp, MAKELPARAM(10, 20));
    EXPECT_EQ(m[2].lp, MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN));
    EXPECT_EQ(m[3].msg, UINT(WM_LBUTTONDOWN));
    EXPECT_EQ(m[3].wp, MK_LBUTTON);
    EXPECT_EQ(m[4].msg, UINT(WM_LBUTTONUP));
    EXPECT_EQ(m[4].wp, 0u);

    clock.Advance(1000);
    InjectKey(VK_SHIFT, true);
    InjectDoubleClick(MouseButton::Left, 510, 320);
    InjectKey(VK_SHIFT, false);
    Pump();
    m = Log().Only({WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK});
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[0].msg, UINT(WM_LBUTTONDOWN));
    EXPECT_EQ(m[0].wp, MK_LBUTTON | MK_SHIFT);
    EXPECT_EQ(m[2].msg, UINT(WM_LBUTTONDBLCLK));
    EXPECT_EQ(m[3].wp, MK_SHIFT);

    // Too slow for a double click.
    clock.Advance(1000);
    InjectClick(MouseButton::Left, 510, 320);
    clock.Advance(501);
    InjectClick(MouseButton::Left, 510, 320);
    Pump();
    EXPECT_EQ(Log().Only({WM_LBUTTONDOWN}).size(), 2u);

    // Without CS_DBLCLKS the second press stays a press.
    HWND plain = CreateWindowEx(0, "Rec", "", WS_POPUP | WS_VISIBLE, 700, 300, 50, 50, nullptr);
    clock.Advance(1000);
    InjectDoubleClick(MouseButton::Left, 710, 310);
    Pump();
    m = Log().Only({WM_LBUTTONDOWN, WM_LBUTTONDBLCLK});
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[1].msg, UINT(WM_LBUTTONDOWN));
    EXPECT_EQ(m[1].hwnd, plain);
}

TEST_F(Input, NonClientClicksActivationCaptureContextMenuAndWheel) {
    HWND a =
        CreateWindowEx(0, "Rec", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200, nullptr);
    HWND b = CreateWindowEx(0, "RecDbl", "", WS_POPUP | WS_VISIBLE, 500, 300, 100, 100, nullptr);
    EXPECT_EQ(GetActiveWindow(), b);
    Pump();
    Log().Take();
    clock.Advance(1000);
    InjectClick(MouseButton::Left, 250, 110);
    Pump();
    auto m = Log().Only({WM_MOUSEACTIVATE, WM_ACTIVATE, WM_NCLBUTTONDOWN, WM_NCLBUTTONUP});
    ASSERT_EQ(m.size(), 5u);
    EXPECT_EQ(m[0].msg, UINT(WM_MOUSEACTIVATE));
    EXPECT_EQ(m[0].hwnd, a);
    EXPECT_EQ(m[0].wp, reinterpret_cast<WPARAM>(a));
    EXPECT_EQ(m[0].lp, MAKELPARAM(HTCAPTION, WM_LBUTTONDOWN));
    EXPECT_EQ(m[1].hwnd, b); // b goes inactive first
    EXPECT_EQ(LOWORD(m[1].wp), WA_INACTIVE);
    EXPECT_EQ(m[2].hwnd, a);
    EXPECT_EQ(LOWORD(m[2].wp), WA_CLICKACTIVE);
    EXPECT_EQ(m[2].lp, reinterpret_cast<LPARAM>(b));
    EXPECT_EQ(m[3].msg, UINT(WM_NCLBUTTONDOWN));
    EXPECT_EQ(m[3].wp, WPARAM(HTCAPTION));
    EXPECT_EQ(m[3].lp, MAKELPARAM(250, 110));
    EXPECT_EQ(GetActiveWindow(), a);

    // Captured, the mouse talks to b even outside it, in b's client points.
    SetCapture(b);
    Log().Take();
    InjectMouseMove(450, 290);
    Pump();
    m = Log().Only({WM_MOUSEMOVE, WM_SETCURSOR});
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].hwnd, b);
    EXPECT_EQ(GET_X_LPARAM(m[0].lp), -50);
    EXPECT_EQ(GET_Y_LPARAM(m[0].lp), -10);
    // Disabling cancels the mode and the capture goes.
    EnableWindow(b, FALSE);
    m = Log().Only({WM_CANCELMODE, WM_CAPTURECHANGED, WM_ENABLE});
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].msg, UINT(WM_CANCELMODE));
    EXPECT_EQ(m[1].msg, UINT(WM_CAPTURECHANGED));
    EXPECT_EQ(m[2].wp, WPARAM(FALSE));
    EXPECT_EQ(GetCapture(), nullptr);
    // A disabled window gets no mouse input.
    InjectClick(MouseButton::Left, 510, 310);
    Pump();
    EXPECT_TRUE(Log().Only({WM_LBUTTONDOWN}).empty());
    EnableWindow(b, TRUE);

    clock.Advance(1000);
    InjectClick(MouseButton::Right, 520, 330);
    Pump();
    m = Log().Only({WM_CONTEXTMENU});
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].wp, reinterpret_cast<WPARAM>(b));
    EXPECT_EQ(m[0].lp, MAKELPARAM(520, 330));

    SetFocus(b);
    Log().Take();
    InjectMouseWheel(-120);
    Pump();
    m = Log().Only({WM_MOUSEWHEEL});
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(m[0].wp), -120);
    EXPECT_EQ(m[0].lp, MAKELPARAM(520, 330));
}

TEST_F(Input, KeyMessagesCarryScanCodesRepeatAndTransitionBits) {
    HWND h = CreateWindowEx(0, "Rec", "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr);
    SetFocus(h);
    Pump();
    Log().Take();
    InjectKey('A', true);
    InjectKey('A', true); // auto-repeat
    InjectKey('A', false);
    MSG msg;
    ASSERT_TRUE(PeekMessage(msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_KEYDOWN));
    EXPECT_EQ(GetKeyState('A'), SHORT(0xFF80)); // down once retrieved
    TranslateMessage(msg);
    DispatchMessage(msg);
    Pump();
    EXPECT_EQ(GetKeyState('A'), 0);
    auto m = Log().Only({WM_KEYDOWN, WM_KEYUP, WM_CHAR});
    ASSERT_EQ(m.size(), 5u);
    EXPECT_EQ(m[0].wp, WPARAM('A'));
    EXPECT_EQ(Bits(m[0].lp), 0x001E0001u);
    EXPECT_EQ(m[1].msg, UINT(WM_CHAR));
    EXPECT_EQ(m[1].wp, WPARAM('a'));
    EXPECT_EQ(Bits(m[1].lp), 0x001E0001u);
    EXPECT_EQ(Bits(m[2].lp), 0x401E0001u);
    EXPECT_EQ(m[4].msg, UINT(WM_KEYUP));
    EXPECT_EQ(Bits(m[4].lp), 0xC01E0001u);

    InjectKey(VK_SHIFT, true);
    InjectKeyStroke('A');
    InjectKey(VK_SHIFT, false);
    InjectKeyStroke(VK_LEFT);
    InjectKeyStroke('7', U'\u00E8'); // a layout that gives another character
    Pump();
    m = Log().Only({WM_KEYDOWN, WM_CHAR});
    ASSERT_EQ(m.size(), 6u);
    EXPECT_EQ(m[0].wp, WPARAM(VK_SHIFT));
    EXPECT_EQ(Bits(m[0].lp), 0x002A0001u);
    EXPECT_EQ(m[2].wp, WPARAM('A'));
    EXPECT_EQ(m[3].wp, WPARAM(VK_LEFT));
    EXPECT_EQ(Bits(m[3].lp), 0x014B0001u);
    EXPECT_EQ(m[5].wp, WPARAM(0xE8));

    InjectKey(VK_MENU, true);
    InjectKeyStroke('X');
    InjectKey(VK_MENU, false);
    Pump();
    m = Log().Only({WM_SYSKEYDOWN, WM_SYSKEYUP, WM_SYSCHAR, WM_KEYDOWN, WM_CHAR});
    ASSERT_EQ(m.size(), 5u);
    EXPECT_EQ(m[0].msg, UINT(WM_SYSKEYDOWN));
    EXPECT_EQ(Bits(m[0].lp), 0x20380001u);
    EXPECT_EQ(Bits(m[1].lp), 0x202D0001u);
    EXPECT_EQ(m[2].msg, UINT(WM_SYSCHAR));
    EXPECT_EQ(m[2].wp, WPARAM('x'));
    EXPECT_EQ(Bits(m[3].lp), 0xE02D0001u);
    EXPECT_EQ(m[4].wp, WPARAM(VK_MENU));
    EXPECT_EQ(Bits(m[4].lp), 0xC0380001u);

    InjectKeyStroke(VK_CAPITAL);
    InjectKeyStroke('B');
    Pump();
    EXPECT_EQ(GetKeyState(VK_CAPITAL) & 1, 1);
    m = Log().Only({WM_CHAR});
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].wp, WPARAM('B'));
    InjectKeyStroke(VK_CAPITAL);
    Pump();
    EXPECT_EQ(GetKeyState(VK_CAPITAL) & 1, 0);

    // ALT+F4 closes the window through the system command.
    InjectKey(VK_MENU, true);
    InjectKeyStroke(VK_F4);
    InjectKey(VK_MENU, false);
    Pump();
    EXPECT_FALSE(IsWindow(h));
}

TEST_F(Input, InputMethodTextComesAsItsKeyWithUtf16Units) {
    HWND h = CreateWindowEx(0, "Rec", "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr);
    SetFocus(h);
    Pump();
    Log().Take();
    InjectKeyStroke(VK_PROCESSKEY, U'\u0436');
    InjectKeyStroke(VK_PROCESSKEY, U'\U0001D11E'); // beyond the first plane: two units
    Pump();
    auto m = Log().Only({WM_KEYDOWN, WM_CHAR});
    ASSERT_EQ(m.size(), 5u);
    EXPECT_EQ(m[0].msg, UINT(WM_KEYDOWN));
    EXPECT_EQ(m[0].wp, WPARAM(0xE5));
    EXPECT_EQ(m[1].msg, UINT(WM_CHAR));
    EXPECT_EQ(m[1].wp, WPARAM(0x0436));
    EXPECT_EQ(m[2].wp, WPARAM(0xE5));
    EXPECT_EQ(m[3].wp, WPARAM(0xD834));
    EXPECT_EQ(m[4].wp, WPARAM(0xDD1E));
}

TEST_F(Input, InputMethodSettingsStayWithTheWindow) {
    HWND top = CreateWindowEx(0, "Rec", "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr);
    HWND child = CreateWindowEx(0, "Rec", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, top);
    EXPECT_EQ(GetImeUse(child), ImeUse::Default);
    EXPECT_EQ(GetImeName(child), "");
    EXPECT_TRUE(SetImeUse(child, ImeUse::Disabled));
    EXPECT_TRUE(SetImeUse(top, ImeUse::Open, "ibus"));
    SetFocus(child);
    EXPECT_EQ(GetImeUse(child), ImeUse::Disabled);
    EXPECT_EQ(GetImeUse(top), ImeUse::Open);
    EXPECT_EQ(GetImeName(top), "ibus");
    DestroyWindow(top);
    EXPECT_FALSE(SetImeUse(child, ImeUse::Closed));
    EXPECT_EQ(GetImeUse(child), ImeUse::Default);
}

TEST_F(Input, FocusActivationAndZOrder) {
    HWND p = CreateWindowEx(0, "Rec", "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr);
    HWND c1 = CreateWindowEx(0, "Rec", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, p, 1);
    HWND c2 = CreateWindowEx(0, "Rec", "", WS_CHILD | WS_VISIBLE, 20, 0, 10, 10, p, 2);
    SetFocus(c1);
    Log().Take();
    EXPECT_EQ(SetFocus(c2), c1);
    auto m = Log().Only({WM_KILLFOCUS, WM_SETFOCUS});
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].hwnd, c1);
    EXPECT_EQ(m[0].wp, reinterpret_cast<WPARAM>(c2));
    EXPECT_EQ(m[1].hwnd, c2);
    EXPECT_EQ(m[1].wp, reinterpret_cast<WPARAM>(c1));

    HWND q = CreateWindowEx(0, "Rec", "", WS_POPUP | WS_VISIBLE, 200, 0, 100, 100, nullptr);
    EXPECT_EQ(GetActiveWindow(), q);
    EXPECT_EQ(GetFocus(), q);
    Log().Take();
    SetActiveWindow(p);
    m = Log().Only({WM_NCACTIVATE, WM_ACTIVATE, WM_SETFOCUS, WM_KILLFOCUS});
    ASSERT_EQ(m.size(), 6u);
    EXPECT_EQ(m[0].msg, UINT(WM_KILLFOCUS));
    EXPECT_EQ(m[1].hwnd, q);
    EXPECT_EQ(m[1].msg, UINT(WM_NCACTIVATE));
    EXPECT_EQ(m[1].wp, WPARAM(FALSE));
    EXPECT_EQ(m[2].hwnd, q);
    EXPECT_EQ(m[3].hwnd, p);
    EXPECT_EQ(m[4].msg, UINT(WM_ACTIVATE));
    EXPECT_EQ(m[4].lp, reinterpret_cast<LPARAM>(q));
    EXPECT_EQ(m[5].msg, UINT(WM_SETFOCUS));
    ShowWindow(p, SW_HIDE);
    EXPECT_EQ(GetActiveWindow(), q);

    HWND topmost =
        CreateWindowEx(WS_EX_TOPMOST, "Rec", "", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr);
    HWND normal = CreateWindowEx(0, "Rec", "", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr);
    EXPECT_EQ(EnumWindows().front(), topmost);
    BringWindowToTop(normal);
    EXPECT_EQ(EnumWindows().front(), topmost);
    EXPECT_EQ(WindowFromPoint(POINT{5, 5}), topmost);
    SetWindowPos(topmost, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetWindowPos(topmost, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(WindowFromPoint(POINT{5, 5}), normal);
    EXPECT_FALSE(GetWindowLongPtr(topmost, GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(Input, ThePointerGoesThroughATransparentTopLevelWindow) {
    HWND below = CreateWindowEx(0, "Rec", "", WS_POPUP | WS_VISIBLE, 200, 200, 100, 100, nullptr);
    HWND through = CreateWindowEx(WS_EX_TOPMOST | WS_EX_TRANSPARENT | WS_EX_NOACTIVATE, "Rec", "",
                                  WS_POPUP | WS_VISIBLE, 180, 180, 60, 60, nullptr);
    EXPECT_EQ(EnumWindows().front(), through);
    EXPECT_EQ(WindowFromPoint(POINT{220, 220}), below);
    EXPECT_EQ(WindowFromPoint(POINT{190, 190}), nullptr); // nothing else there
    Pump();
    Log().Take();
    InjectClick(MouseButton::Left, 220, 220);
    Pump();
    const auto m = Log().Only({WM_LBUTTONDOWN});
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].hwnd, below);
}

TEST_F(Input, TheMessagePosIsWhereThePointerWasWhenTheMessageWasTaken) {
    CreateWindowEx(0, "Rec", "", WS_POPUP | WS_VISIBLE, 0, 0, 400, 400, nullptr);
    Pump();
    InjectMouseMove(10, 20);
    InjectMouseButton(MouseButton::Left, true);
    InjectMouseMove(300, 350); // queued behind the press
    MSG m{};
    while (PeekMessage(m, nullptr, 0, 0, PM_REMOVE) && m.message != WM_LBUTTONDOWN) DispatchMessage(m);
    ASSERT_EQ(m.message, UINT(WM_LBUTTONDOWN));
    EXPECT_EQ(GetMessagePos(), DWORD(10 | 20 << 16));
    POINT now{};
    GetCursorPos(now);
    EXPECT_EQ(now, (POINT{300, 350}));
    InjectMouseButton(MouseButton::Left, false);
    Pump();
}

TEST_F(Input, AMoveQueuedBeforeThePressWasTakenFollowsThePressedWindowOffIt) {
    HWND h = CreateWindowEx(0, "Rec", "", WS_POPUP | WS_VISIBLE, 500, 300, 100, 100, nullptr);
    Pump();
    Log().Take();
    InjectMouseMove(510, 320);
    InjectMouseButton(MouseButton::Left, true);
    InjectMouseMove(700, 500); // over no window, before the press was taken
    MSG m{};
    while (PeekMessage(m, nullptr, 0, 0, PM_REMOVE)) {
        if (m.message == WM_LBUTTONDOWN) SetCapture(m.hwnd); // as a control pressed does
        DispatchMessage(m);
    }
    InjectMouseButton(MouseButton::Left, false);
    ReleaseCapture();
    Pump();
    const auto moves = Log().Only({WM_MOUSEMOVE});
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[1].hwnd, h);
    EXPECT_EQ(moves[1].lp, MAKELPARAM(200, 200));
    // Every button up, the next press outside goes nowhere.
    InjectMouseMove(700, 500);
    InjectMouseButton(MouseButton::Left, true);
    InjectMouseButton(MouseButton::Left, false);
    Pump();
    EXPECT_TRUE(Log().Only({WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSEMOVE}).empty());
}

} // namespace
} // namespace ax
