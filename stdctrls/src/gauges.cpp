// Gauge: progress drawn as a bar, pie or needle with its percentage.
#include <algorithm>
#include <cmath>

#include "framework/streaming.h"
#include "stdctrls/gauges.h"
#include "stdctrls_internal.h"

namespace ax {

TGauge::TGauge(TComponent* owner) : TGraphicControl(owner) {
    SetBounds(0, 0, 100, 100);
    opaque_ = true;
}

void TGauge::DefinePublished(TFiler& f) {
    TGraphicControl::DefinePublished(f);
    f.Enum("Kind", {"gkText", "gkHorizontalBar", "gkVerticalBar", "gkPie", "gkNeedle"}, [this] { return int(kind_); },
           [this](int v) { SetKind(TGaugeKind(v)); }, int(gkHorizontalBar));
    f.Integer("MinValue", [this] { return min_; }, [this](int64_t v) { SetMinValue(int(v)); }, 0);
    f.Integer("MaxValue", [this] { return max_; }, [this](int64_t v) { SetMaxValue(int(v)); }, 100);
    f.Integer("Progress", [this] { return progress_; }, [this](int64_t v) { SetProgress(int(v)); }, 0);
    f.Bool("ShowText", [this] { return showText_; }, [this](bool v) { SetShowText(v); }, true);
    DefineColorProperty(f, "ForeColor", [this] { return foreColor_; }, [this](TColor c) { SetForeColor(c); }, clBlack);
    DefineColorProperty(f, "BackColor", [this] { return backColor_; }, [this](TColor c) { SetBackColor(c); }, clWhite);
}

void TGauge::SetKind(TGaugeKind kind) {
    if (kind_ == kind) return;
    kind_ = kind;
    Invalidate();
}

// The bounds keep min below max; progress stays within them.
void TGauge::SetMinValue(int v) {
    if (v == min_) return;
    min_ = std::min(v, max_ - 1);
    progress_ = std::max(progress_, min_);
    Invalidate();
}

void TGauge::SetMaxValue(int v) {
    if (v == max_) return;
    max_ = std::max(v, min_ + 1);
    progress_ = std::min(progress_, max_);
    Invalidate();
}

void TGauge::SetProgress(int v) {
    v = std::clamp(v, min_, max_);
    if (v == progress_) return;
    progress_ = v;
    Invalidate();
}

int TGauge::PercentDone() const {
    const int64_t range = int64_t(max_) - min_;
    return range <= 0 ? 0 : int((int64_t(progress_) - min_) * 100 / range);
}

void TGauge::SetForeColor(TColor c) {
    if (foreColor_ == c) return;
    foreColor_ = c;
    Invalidate();
}

void TGauge::SetBackColor(TColor c) {
    if (backColor_ == c) return;
    backColor_ = c;
    Invalidate();
}

void TGauge::SetShowText(bool v) {
    if (showText_ == v) return;
    showText_ = v;
    Invalidate();
}

void TGauge::SetBorderStyle(TBorderStyle v) {
    if (borderStyle_ == v) return;
    borderStyle_ = v;
    Invalidate();
}

void TGauge::Paint() {
    TCanvas& c = Canvas();
    RECT r{0, 0, width_, height_};
    c.Brush().SetStyle(bsSolid);
    if (borderStyle_ == bsSingle) {
        c.Brush().SetColor(clBlack);
        c.FrameRect(r);
        InflateRect(&r, -1, -1);
    }
    c.Brush().SetColor(backColor_);
    c.FillRect(r);
    const int percent = PercentDone();
    RECT done = r;
    switch (kind_) {
    case gkHorizontalBar: done.right = r.left + r.width() * percent / 100; break;
    case gkVerticalBar: done.top = r.bottom - r.height() * percent / 100; break;
    case gkText: done = {}; break;
    case gkPie:
    case gkNeedle: {
        done = {};
        const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
        const int rx = r.width() / 2, ry = r.height() / 2;
        c.Pen().SetColor(foreColor_);
        if (kind_ == gkPie) {
            c.Brush().SetColor(backColor_);
            c.Ellipse(r.left, r.top, r.right, r.bottom);
            std::vector<POINT> wedge{{cx, cy}};
            for (int i = 0; i <= 64; ++i) {
                const double a = M_PI * 2 * percent / 100 * i / 64;
                wedge.push_back({cx + int(std::lround(rx * std::sin(a))), cy - int(std::lround(ry * std::cos(a)))});
            }
            c.Brush().SetColor(foreColor_);
            if (percent > 0) c.Polygon(wedge);
        } else {
            // A needle swinging from left (0%) to right (100%) about the
            // middle of the bottom edge.
            const double a = M_PI * percent / 100;
            c.MoveTo(cx, r.bottom - 1);
            c.LineTo(cx - int(std::lround(rx * std::cos(a))), r.bottom - 1 - int(std::lround((ry * 2 - 1) * std::sin(a))));
        }
        break;
    }
    }
    c.Brush().SetColor(foreColor_);
    if (done.width() > 0 && done.height() > 0) c.FillRect(done);
    if (!showText_) return;
    const AnsiString text = std::to_string(percent) + "%";
    // The text is drawn in the back colour over the bar and the fore colour
    // beside it, so it reads on both.
    HDC dc = c.Handle();
    for (int pass = 0; pass < 2; ++pass) {
        const int saved = SaveDC(dc);
        if (pass == 0) {
            IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
            if (done.width() > 0 && done.height() > 0) ExcludeClipRect(dc, done.left, done.top, done.right, done.bottom);
            c.Font().SetColor(foreColor_);
        } else {
            if (done.width() <= 0 || done.height() <= 0) {
                RestoreDC(dc, saved);
                break;
            }
            IntersectClipRect(dc, done.left, done.top, done.right, done.bottom);
            c.Font().SetColor(backColor_);
        }
        RECT t = r;
        CanvasDrawText(c, text, t, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        RestoreDC(dc, saved);
    }
}

} // namespace ax
