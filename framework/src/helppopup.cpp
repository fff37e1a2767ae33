#include "framework/helppopup.h"

#include <algorithm>
#include <vector>

#include "framework/forms.h"
#include "platform/gdi/scopedselection.h"
#include "platform/gdi/uniquegdiobject.h"
#include "platform/window/paintscope.h"
#include "platform/window/windowdc.h"
#include "rtl/scopeguard.h"

namespace ax {

namespace {

constexpr const char* kPopupClass = "AxHelpPopup";
constexpr int kTextWidth = 320; // the widest a line of text grows
constexpr int kMargin = 6, kGap = 6;
constexpr COLORREF kLinkColour = RGB(0, 0, 0xCC);

enum class Kind { Title, Text, Link };

struct Block {
    Kind kind;
    std::string text;
    RECT rect{};
};

// What shows now; one pop-up at a time.
struct Shown {
    HWND window = nullptr;
    bool done = false;
    std::vector<Block> blocks;
    TFont title, text, link;
};
Shown* current = nullptr;

void MakeFonts(Shown& s) {
    if (Screen()) s.text.Assign(&Screen()->HintFont());
    s.title.Assign(&s.text);
    s.title.SetStyle(fsBold);
    s.link.Assign(&s.text);
    s.link.SetStyle(fsUnderline);
}

HFONT FontOf(Shown& s, Kind kind) {
    return kind == Kind::Title ? s.title.Handle() : kind == Kind::Link ? s.link.Handle() : s.text.Handle();
}

constexpr UINT kTextFlags = DT_LEFT | DT_WORDBREAK | DT_NOPREFIX;

// Places the blocks top to bottom and answers the window's size.
SIZE LayOut(Shown& s) {
    const WindowDC screen(nullptr);
    int top = kMargin, right = kMargin;
    for (Block& b : s.blocks) {
        const ScopedSelection useFont(screen.Get(), FontOf(s, b.kind));
        RECT r{kMargin, top, kMargin + kTextWidth, top};
        DrawText(screen.Get(), b.text, &r, kTextFlags | DT_CALCRECT);
        b.rect = r;
        right = std::max(right, int(r.right));
        top = r.bottom + (b.kind == Kind::Link ? 2 : kGap);
    }
    return SIZE{right + kMargin + 2, top + kMargin - kGap + 2};
}

void Paint(HWND h) {
    const PaintScope paint(h);
    if (!current || current->window != h) return;
    const HDC dc = paint.DC();
    RECT client{};
    GetClientRect(h, client);
    const UniqueBrush back(CreateSolidBrush(GetSysColor(COLOR_INFOBK)));
    FillRect(dc, &client, back.Get());
    SetBkMode(dc, TRANSPARENT);
    for (Block& b : current->blocks) {
        const ScopedSelection useFont(dc, FontOf(*current, b.kind));
        SetTextColor(dc, b.kind == Kind::Link ? kLinkColour : GetSysColor(COLOR_INFOTEXT));
        RECT r = b.rect;
        DrawText(dc, b.text, &r, kTextFlags);
    }
}

LRESULT Proc(HWND h, UINT msg, WPARAM w, LPARAM l) {
    switch (msg) {
    case WM_PAINT: Paint(h); return 0;
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    case WM_CAPTURECHANGED:
        // Another window took the mouse: the pop-up is done with.
        if (current && current->window == h && reinterpret_cast<HWND>(l) != h) current->done = true;
        return 0;
    default: return DefWindowProc(h, msg, w, l);
    }
}

HWND CreatePopup(POINT at, SIZE size) {
    WNDCLASS wc;
    if (!GetClassInfo(kPopupClass, wc)) {
        wc.lpszClassName = kPopupClass;
        wc.style = CS_SAVEBITS;
        wc.lpfnWndProc = &Proc;
        RegisterClass(wc);
    }
    RECT work{};
    SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
    at.x = std::max(int(work.left), std::min(int(at.x), int(work.right - size.cx)));
    at.y = std::max(int(work.top), std::min(int(at.y), int(work.bottom - size.cy)));
    return CreateWindowEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kPopupClass, "",
                          WS_POPUP | WS_BORDER, at.x, at.y, size.cx, size.cy, nullptr);
}

bool ClosesThePopup(const MSG& msg) {
    switch (msg.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: return msg.wParam == VK_ESCAPE;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_CANCELMODE: return true;
    default: return false;
    }
}

// Keys and mouse buttons belong to the pop-up while it shows.
bool Swallowed(const MSG& msg) {
    return (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) ||
           (msg.message >= WM_LBUTTONDOWN && msg.message <= WM_MBUTTONDBLCLK) ||
           (msg.message >= WM_NCLBUTTONDOWN && msg.message <= WM_NCMBUTTONDBLCLK);
}

void Track(Shown& s) {
    while (!s.done) {
        MSG msg;
        const int got = GetMessage(msg, nullptr, 0, 0);
        if (got <= 0) {
            PostQuitMessage(int(msg.wParam)); // the outer loop still has to see it
            return;
        }
        if (ClosesThePopup(msg)) return;
        if (Swallowed(msg)) continue;
        TranslateMessage(msg);
        DispatchMessage(msg);
    }
}

} // namespace

void THelpPopup::Show(const THelpTopic& topic, POINT at) {
    if (current) return; // one at a time: the one showing keeps the mouse
    Shown s;
    MakeFonts(s);
    s.blocks.push_back({Kind::Title, topic.Title});
    for (const std::string& p : topic.Paragraphs) s.blocks.push_back({Kind::Text, p});
    for (const THelpLink& link : topic.Links) s.blocks.push_back({Kind::Link, link.Label});
    if (Application()) Application()->CancelHint();
    s.window = CreatePopup(at, LayOut(s));
    current = &s;
    const ScopeGuard close([&] {
        current = nullptr;
        if (GetCapture() == s.window) ReleaseCapture();
        DestroyWindow(s.window);
    });
    ShowWindow(s.window, SW_SHOWNA);
    UpdateWindow(s.window);
    SetCapture(s.window);
    if (OnShown) OnShown(s.window);
    Track(s);
}

HWND THelpPopup::Showing() { return current ? current->window : nullptr; }

} // namespace ax
