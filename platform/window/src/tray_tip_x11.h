#pragma once
// The tip window of the notification area's icons on X11: one small
// window over everything (the window manager leaves it alone), a line of
// text on the tip colour in a thin frame, shown below a point of the
// screen and kept on the screen. Used on the tray's X thread only.
#include <X11/Xlib.h>

#include <string>

namespace ax::wm {

class TrayTipX11 {
public:
    explicit TrayTipX11(Display* dpy);
    ~TrayTipX11();
    TrayTipX11(const TrayTipX11&) = delete;
    TrayTipX11& operator=(const TrayTipX11&) = delete;

    // Shows the text below the point (or changes the text of the tip up).
    void Show(const std::string& text, int x, int y);
    void Hide();
    // The tip's window while it is shown, 0 otherwise.
    ::Window Window() const { return shown_ ? window_ : 0; }
    // An event of the tip's window.
    void Handle(const XEvent& e);

private:
    void Draw();

    Display* dpy_;
    ::Window window_ = 0;
    bool shown_ = false;
    std::string text_;
    int width_ = 1, height_ = 1;
};

} // namespace ax::wm
