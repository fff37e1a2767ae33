// The trace progress window: drawn into a memory device context, copied to
// the window whenever the position changes.
#include "crash/vorTraceProgress.h"

#include "platform/gdi/scopedselection.h"
#include "platform/gdi/uniquedc.h"
#include "platform/gdi/uniquegdiobject.h"
#include "platform/window/window.h"
#include "platform/window/windowdc.h"

#include <optional>
#include <string>

namespace ax {

struct TProgressBar::Impl {
    HWND Window{};
    int Width = 0, Height = 23;
    // Made in this order and freed in the reverse one, so the font and the
    // bitmap leave the memory DC before they are deleted.
    std::optional<ax::WindowDC> Target;
    UniqueDC MemoryDC;
    UniqueBitmap Bitmap;
    std::optional<ScopedSelection<HBITMAP>> BitmapSelection;
    UniqueFont Font;
    std::optional<ScopedSelection<HFONT>> FontSelection;
    int LastEdge = -1, LastPercent = -1;
};

TProgressBar::TProgressBar() : impl_(std::make_unique<Impl>()) {
    Impl& d = *impl_;
    // The window layer has no standard classes; the static class is ours.
    WNDCLASS existing;
    if (!GetClassInfo("STATIC", existing)) {
        WNDCLASS wc;
        wc.lpszClassName = "STATIC";
        wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProc(h, m, w, l); };
        RegisterClass(wc);
    }
    const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
    d.Width = screenW / 2;
    d.Window = CreateWindowEx(WS_EX_TOPMOST, "STATIC", "", WS_POPUP, (screenW - d.Width) / 2,
                              (screenH - d.Height) / 2, d.Width, d.Height, nullptr);
    if (!d.Window) return;
    d.Target.emplace(d.Window);
    d.MemoryDC.Reset(CreateCompatibleDC(d.Target->Get()));
    d.Bitmap.Reset(CreateBitmap(d.Width, d.Height, 1, 32, nullptr));
    d.BitmapSelection.emplace(d.MemoryDC.Get(), d.Bitmap.Get());
    d.Font.Reset(CreateFont(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial"));
    d.FontSelection.emplace(d.MemoryDC.Get(), d.Font.Get());
    SetBkMode(d.MemoryDC.Get(), TRANSPARENT);
    RECT all{0, 0, d.Width, d.Height};
    FillRect(d.MemoryDC.Get(), &all, GetSysColorBrush(COLOR_BTNHIGHLIGHT));
    RECT inner{1, 1, d.Width - 1, d.Height - 1};
    FillRect(d.MemoryDC.Get(), &inner, GetSysColorBrush(COLOR_BTNFACE));
    const UniqueBrush yellow(CreateSolidBrush(RGB(255, 255, 0)));
    RECT frame{2, 2, d.Width - 2, d.Height - 2};
    RECT edges[4] = {{frame.left, frame.top, frame.right, frame.top + 1},
                     {frame.left, frame.bottom - 1, frame.right, frame.bottom},
                     {frame.left, frame.top, frame.left + 1, frame.bottom},
                     {frame.right - 1, frame.top, frame.right, frame.bottom}};
    for (const RECT& e : edges) FillRect(d.MemoryDC.Get(), &e, yellow.Get());
    RECT bottom{3, d.Height - 1, d.Width, d.Height}, right{d.Width - 1, 2, d.Width, d.Height};
    FillRect(d.MemoryDC.Get(), &bottom, GetSysColorBrush(COLOR_BTNSHADOW));
    FillRect(d.MemoryDC.Get(), &right, GetSysColorBrush(COLOR_BTNSHADOW));
    Draw(0);
    ShowWindow(d.Window, SW_SHOWNOACTIVATE);
    BitBlt(d.Target->Get(), 0, 0, d.Width, d.Height, d.MemoryDC.Get(), 0, 0, SRCCOPY);
}

TProgressBar::~TProgressBar() {
    Impl& d = *impl_;
    if (!d.Window) return;
    RECT all{0, 0, d.Width, d.Height};
    FillRect(d.Target->Get(), &all, GetSysColorBrush(COLOR_BTNFACE));
    const HWND window = d.Window;
    impl_.reset(); // the drawing resources go before their window
    DestroyWindow(window);
}

std::uintptr_t TProgressBar::Window() const {
    return reinterpret_cast<std::uintptr_t>(impl_->Window);
}

void TProgressBar::Draw(int perMille) {
    Impl& d = *impl_;
    if (!d.Window) return;
    const RECT bar{4, 4, d.Width - 4, d.Height - 4};
    const int edge = bar.left + (bar.right - bar.left) * perMille / 1000;
    const int percent = (perMille + 5) / 10;
    if (edge == d.LastEdge && percent == d.LastPercent) return;
    FillRect(d.MemoryDC.Get(), &bar, GetSysColorBrush(COLOR_BTNTEXT));
    RECT done{bar.left, bar.top, edge, bar.bottom};
    FillRect(d.MemoryDC.Get(), &done, GetSysColorBrush(COLOR_BTNFACE));
    const std::string text = std::to_string(percent) + "%";
    SIZE size{};
    GetTextExtentPoint32(d.MemoryDC.Get(), text, &size);
    const int x = bar.right - 2 - size.cx;
    SaveDC(d.MemoryDC.Get());
    IntersectClipRect(d.MemoryDC.Get(), bar.left, bar.top, bar.right, bar.bottom);
    SetTextColor(d.MemoryDC.Get(), GetSysColor(COLOR_BTNHIGHLIGHT));
    TextOut(d.MemoryDC.Get(), x, 4, text);
    IntersectClipRect(d.MemoryDC.Get(), done.left, done.top, done.right, done.bottom);
    SetTextColor(d.MemoryDC.Get(), GetSysColor(COLOR_BTNTEXT));
    TextOut(d.MemoryDC.Get(), x, 4, text);
    RestoreDC(d.MemoryDC.Get(), -1);
    const int from = std::min(edge, d.LastEdge < 0 ? bar.left : d.LastEdge);
    const int to = std::max(edge, d.LastEdge);
    BitBlt(d.Target->Get(), from, 0, to - from + 1, d.Height, d.MemoryDC.Get(), from, 0, SRCCOPY);
    const int textFrom = bar.right - 2 * size.cx;
    BitBlt(d.Target->Get(), textFrom, 0, bar.right - textFrom, d.Height, d.MemoryDC.Get(), textFrom, 0, SRCCOPY);
    d.LastEdge = edge;
    d.LastPercent = percent;
    lastPosition_ = perMille;
}

} // namespace ax
