#include "framework/dockframe.h"

#include <algorithm>

#include "framework/controls.h"

namespace ax {

namespace {

// One side of the frame: a halftone of black and white, which shows on
// any background as an inverted frame would.
class TDockFrameEdge : public TCustomControl {
public:
    explicit TDockFrameEdge(TComponent* owner) : TCustomControl(owner) { visible_ = false; }
    AnsiString ClassName() const override { return "TDockFrameEdge"; }
    void Place(const RECT& r) {
        HandleNeeded();
        const bool resized = r.width() != width_ || r.height() != height_;
        SetBounds(r.left, r.top, r.width(), r.height());
        SetWindowPos(handle_, HWND_TOPMOST, r.left, r.top, r.width(), r.height(), SWP_SHOWWINDOW | SWP_NOACTIVATE);
        showing_ = true;
        visible_ = true;
        if (resized) Invalidate();
        UpdateWindow(handle_);
    }
    void Withdraw() {
        if (handle_) ShowWindow(handle_, SW_HIDE);
        showing_ = false;
        visible_ = false;
    }

protected:
    void CreateParams(TCreateParams& p) override {
        TCustomControl::CreateParams(p);
        p.Style = WS_POPUP;
        p.ExStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_TRANSPARENT;
        p.WndParent = nullptr;
    }
    void Paint() override {
        TCanvas& c = Canvas();
        const RECT r = ClientRect();
        c.Brush().SetColor(clBlack);
        c.FillRect(r);
        for (int y = 0; y < r.bottom; ++y)
            for (int x = y % 2; x < r.right; x += 2) c.SetPixel(x, y, clWhite);
    }
};

} // namespace

TDockFrame::TDockFrame() {
    for (auto& edge : edges_) edge = std::make_unique<TDockFrameEdge>(nullptr);
}

TDockFrame::~TDockFrame() = default;

void TDockFrame::Show(const RECT& r) {
    rect_ = r;
    visible_ = true;
    const int t = std::min({kThickness, std::max(1, r.width() / 2), std::max(1, r.height() / 2)});
    const RECT sides[4] = {
        {r.left, r.top, r.right, r.top + t},                 // top
        {r.left, r.bottom - t, r.right, r.bottom},           // bottom
        {r.left, r.top + t, r.left + t, r.bottom - t},       // left
        {r.right - t, r.top + t, r.right, r.bottom - t},     // right
    };
    for (int i = 0; i < 4; ++i) {
        auto* edge = static_cast<TDockFrameEdge*>(edges_[size_t(i)].get());
        if (sides[i].width() > 0 && sides[i].height() > 0) edge->Place(sides[i]);
        else edge->Withdraw();
    }
}

void TDockFrame::Hide() {
    visible_ = false;
    for (auto& edge : edges_) static_cast<TDockFrameEdge*>(edge.get())->Withdraw();
}

} // namespace ax
