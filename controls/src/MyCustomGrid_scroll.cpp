// The grid engine's geometry and scrolling: layout, hit tests, cell
// rectangles, the top-left cell and the scroll bars on a 0..127 scale.
#include <algorithm>
#include <cstdlib>

#include "controls/MyCustomGrid.h"
#include "rtl/scopeguard.h"
#include "stdctrls/common.h"

namespace ax {

namespace {
constexpr int kScrollScale = 127;

// a * b / c, rounded to nearest; 0 for an empty range.
int ScaleMul(int a, int b, int c) {
    if (c == 0) return 0;
    const long long n = static_cast<long long>(a) * b;
    const long long half = (c > 0 ? c : -c) / 2;
    return int(n >= 0 ? (n + half) / c : (n - half) / c);
}

bool HasHorz(TScrollStyle s) { return s == ssHorizontal || s == ssBoth; }
bool HasVert(TScrollStyle s) { return s == ssVertical || s == ssBoth; }
} // namespace

// ---- Layout ----------------------------------------------------------------------------------

void TMyCustomGrid::CalcFixedInfo(TGridDrawInfo& info) {
    auto setup = [this](TGridAxisDrawInfo& axis, bool lines, int fixed, int first, int count,
                        std::function<int(int)> extent) {
        axis.EffectiveLineWidth = lines ? gridLineWidth_ : 0;
        axis.GetExtent = std::move(extent);
        axis.FixedBoundary = 0;
        for (int i = 0; i < fixed; ++i) axis.FixedBoundary += axis.Span(i);
        axis.FixedCellCount = fixed;
        axis.FirstGridCell = first;
        axis.GridCellCount = count;
    };
    setup(info.Horz, options_ & (goFixedVertLine | goVertLine), fixedCols_, topLeft_.X, colCount_,
          [this](int i) { return ColWidths(i); });
    setup(info.Vert, options_ & (goFixedHorzLine | goHorzLine), fixedRows_, topLeft_.Y, rowCount_,
          [this](int i) { return RowHeights(i); });
}

void TMyCustomGrid::CalcDrawInfoXY(TGridDrawInfo& info, int width, int height) {
    CalcFixedInfo(info);
    info.Horz.CalcVisible(width);
    info.Vert.CalcVisible(height);
}

TGridDrawInfo TMyCustomGrid::DrawInfo() {
    TGridDrawInfo info;
    // A one-column grid scrolls by pixels: its column is laid out as if the
    // client area were wider by the offset, and drawn shifted back.
    const int width = ClientWidth() + (colCount_ == 1 ? colOffset_ : 0);
    CalcDrawInfoXY(info, width, ClientHeight());
    return info;
}

TGridCoord TMyCustomGrid::CalcMaxTopLeft(TGridCoord start, const TGridDrawInfo& info) const {
    return {info.Horz.MaxFirstCell(start.X), info.Vert.MaxFirstCell(start.Y)};
}

int TMyCustomGrid::LayoutX(int x) { return RightToLeftLayout() ? ClientWidth() - x : x; }

TGridCoord TMyCustomGrid::MouseCoord(int x, int y) {
    const TGridDrawInfo info = DrawInfo();
    x = LayoutX(x);
    if (colCount_ == 1) x += colOffset_;
    TGridCoord c{info.Horz.CellAt(x), info.Vert.CellAt(y)};
    if (c.X < 0 || c.Y < 0) c = {-1, -1};
    return c;
}

void TMyCustomGrid::MouseToCell(int x, int y, int& col, int& row) {
    const TGridCoord c = MouseCoord(x, y);
    col = c.X;
    row = c.Y;
}

RECT TMyCustomGrid::BoxRect(int left, int top, int right, int bottom) {
    RECT r{};
    const TGridDrawInfo info = DrawInfo();
    if (left > right || top > bottom) return r;
    if (left > info.Horz.LastFullVisibleCell + 1 || top > info.Vert.LastFullVisibleCell + 1) return r;
    int x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    if (!info.Horz.RangePos(left, right, true, x1, x2)) return r;
    if (!info.Vert.RangePos(top, bottom, true, y1, y2)) return r;
    if (colCount_ == 1) {
        x1 = std::max(0, x1 - colOffset_);
        x2 = std::max(0, x2 - colOffset_);
    }
    // Where the window shows it, unless the canvas mirrors by itself.
    if (RightToLeftLayout() && !canvasMirrored_) {
        const int width = ClientWidth();
        return {width - x2, y1, width - x1, y2};
    }
    return {x1, y1, x2, y2};
}

RECT TMyCustomGrid::CellRect(int col, int row) {
    RECT r{};
    const TGridDrawInfo info = DrawInfo();
    if (col > info.Horz.LastFullVisibleCell + 1 || row > info.Vert.LastFullVisibleCell + 1) return r;
    int x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    if (!info.Horz.RangePos(col, col, false, x1, x2)) return r;
    if (!info.Vert.RangePos(row, row, false, y1, y2)) return r;
    if (colCount_ == 1) {
        x1 = std::max(0, x1 - colOffset_);
        x2 = std::max(0, x2 - colOffset_);
    }
    // Where the window shows it, unless the canvas mirrors by itself.
    if (RightToLeftLayout() && !canvasMirrored_) {
        const int width = ClientWidth();
        return {width - x2, y1, width - x1, y2};
    }
    return {x1, y1, x2, y2};
}

// ---- Top-left cell ---------------------------------------------------------------------------

void TMyCustomGrid::MoveTopLeft(int left, int top) {
    if (left == topLeft_.X && top == topLeft_.Y) return;
    if (HandleAllocated()) UpdateWindow(handle_); // flush what is pending first
    const TGridCoord old = topLeft_;
    topLeft_ = {left, top};
    TopLeftMoved(old);
}

void TMyCustomGrid::TopLeftMoved(TGridCoord old) {
    UpdateScrollPos();
    if (HandleAllocated()) {
        const TGridDrawInfo info = DrawInfo();
        // Pixels between the old and the new first cell, counted only as
        // far as the scrolling area reaches: a larger move repaints anyway.
        auto distance = [](const TGridAxisDrawInfo& axis, int from, int to) {
            const int area = axis.GridBoundary - axis.FixedBoundary;
            int sum = 0;
            for (int i = std::min(from, to); i < std::max(from, to) && sum <= area; ++i) sum += axis.Span(i);
            if (sum > area) return area + 1;
            return from < to ? -sum : sum;
        };
        const int dx = distance(info.Horz, old.X, topLeft_.X);
        const int dy = distance(info.Vert, old.Y, topLeft_.Y);
        const bool tooFar = std::abs(dx) > info.Horz.GridBoundary - info.Horz.FixedBoundary ||
                            std::abs(dy) > info.Vert.GridBoundary - info.Vert.FixedBoundary;
        if (tooFar) InvalidateGrid();
        else ScrollData(dx, dy);
    }
    if (inplaceEdit_ && inplaceEdit_->Visible()) inplaceEdit_->Move(CellRect(current_.X, current_.Y));
    TopLeftChanged();
}

void TMyCustomGrid::TopLeftChanged() {}

void TMyCustomGrid::ScrollData(int dx, int dy) {
    if (!HandleAllocated()) return;
    const TGridDrawInfo info = DrawInfo();
    const RECT client = ClientRect();
    if (dx != 0) {
        // Right to left, the scrolling columns lie left of the fixed ones
        // and move the other way.
        const bool mirror = RightToLeftLayout();
        const RECT area = mirror ? RECT{0, 0, client.right - info.Horz.FixedBoundary, client.bottom}
                                 : RECT{info.Horz.FixedBoundary, 0, client.right, client.bottom};
        ScrollWindowEx(handle_, mirror ? -dx : dx, 0, &area, &area, nullptr, SW_INVALIDATE);
    }
    if (dy != 0) {
        const RECT area{0, info.Vert.FixedBoundary, client.right, client.bottom};
        ScrollWindowEx(handle_, 0, dy, &area, &area, nullptr, SW_INVALIDATE);
    }
}

// ---- Scroll bars -----------------------------------------------------------------------------

void TMyCustomGrid::UpdateScrollPos() {
    if (!HandleAllocated() || scrollBars_ == ssNone) return;
    const TGridDrawInfo info = DrawInfo();
    const TGridCoord maxTopLeft = CalcMaxTopLeft({colCount_ - 1, rowCount_ - 1}, info);
    auto set = [this](int bar, int pos) {
        if (GetScrollPos(handle_, bar) != pos) SetScrollPos(handle_, bar, pos, TRUE);
    };
    // Right to left, the horizontal bar counts from its other end.
    const bool mirror = RightToLeftLayout();
    if (HasHorz(scrollBars_)) {
        if (colCount_ == 1) {
            const int scrollWidth = ClientWidth() - info.Horz.FixedBoundary;
            const int largest = std::max(0, ColWidths(topLeft_.X) - scrollWidth);
            if (colOffset_ > 0 && ColWidths(topLeft_.X) - colOffset_ < scrollWidth) {
                // As a thumb-position command from the bar would (which
                // updates the position in turn), without taking the focus:
                // to the largest offset, where the bar shows it.
                ScrollPixels(SB_THUMBPOSITION, mirror ? 0 : largest);
                return;
            }
            set(SB_HORZ, mirror ? largest - colOffset_ : colOffset_);
        } else {
            const int pos = ScaleMul(topLeft_.X - fixedCols_, kScrollScale, maxTopLeft.X - fixedCols_);
            set(SB_HORZ, mirror ? kScrollScale - pos : pos);
        }
    }
    if (HasVert(scrollBars_))
        set(SB_VERT, ScaleMul(topLeft_.Y - fixedRows_, kScrollScale, maxTopLeft.Y - fixedRows_));
}

void TMyCustomGrid::UpdateScrollRange() {
    if (scrollBars_ == ssNone || !HandleAllocated() || !Showing()) return;
    int width = ClientWidth(), height = ClientHeight();
    auto barOn = [this](int bar) {
        int lo = 0, hi = 0;
        GetScrollRange(handle_, bar, &lo, &hi);
        return lo != hi;
    };
    if (HasHorz(scrollBars_) && barOn(SB_HORZ)) height += GetSystemMetrics(SM_CYHSCROLL);
    if (HasVert(scrollBars_) && barOn(SB_VERT)) width += GetSystemMetrics(SM_CXVSCROLL);

    const TGridCoord oldTopLeft = topLeft_;
    const TScrollStyle scrollBars = scrollBars_;
    // Setting a range changes the client area; the size message that comes
    // back must not set ranges again meanwhile.
    scrollBars_ = ssNone;
    ScopeGuard restore([this, scrollBars] { scrollBars_ = scrollBars; });

    auto horizontal = [&](int w, int h) {
        if (!HasHorz(scrollBars)) return;
        if (colCount_ == 1) {
            SetScrollRange(handle_, SB_HORZ, 0, std::max(0, ColWidths(0) - ClientWidth()), TRUE);
            return;
        }
        TGridDrawInfo info;
        CalcDrawInfoXY(info, w, h);
        const TGridCoord maxTopLeft = CalcMaxTopLeft({colCount_ - 1, rowCount_ - 1}, info);
        SetScrollRange(handle_, SB_HORZ, 0, maxTopLeft.X > fixedCols_ ? kScrollScale : 0, TRUE);
        if (oldTopLeft.X > maxTopLeft.X) {
            UpdateWindow(handle_);
            topLeft_.X = maxTopLeft.X;
        }
    };
    horizontal(width, height);
    if (HasVert(scrollBars)) {
        TGridDrawInfo info;
        CalcDrawInfoXY(info, width, ClientHeight());
        const TGridCoord maxTopLeft = CalcMaxTopLeft({colCount_ - 1, rowCount_ - 1}, info);
        SetScrollRange(handle_, SB_VERT, 0, maxTopLeft.Y > fixedRows_ ? kScrollScale : 0, TRUE);
        if (oldTopLeft.Y > maxTopLeft.Y) {
            UpdateWindow(handle_);
            topLeft_.Y = maxTopLeft.Y;
        }
    }
    if (width != ClientWidth()) horizontal(ClientWidth(), ClientHeight());

    scrollBars_ = scrollBars;
    UpdateScrollPos();
    if (topLeft_ != oldTopLeft) TopLeftMoved(oldTopLeft);
}

int TMyCustomGrid::ScrollStep(bool horizontal, int code, int pos, const TGridDrawInfo& info, int factor) const {
    const TGridAxisDrawInfo& axis = horizontal ? info.Horz : info.Vert;
    const int fixed = axis.FixedCellCount;
    const int largest = axis.MaxFirstCell(axis.GridCellCount - 1);
    const int current = horizontal ? topLeft_.X : topLeft_.Y;
    int result = current, previous = current;
    do {
        previous = result;
        switch (code) {
        case SB_LINEUP: result = previous - factor; break;
        case SB_LINEDOWN: result = previous + factor; break;
        case SB_PAGEUP: result = previous - std::max(1, previous - axis.MaxFirstCell(previous)) * factor; break;
        case SB_PAGEDOWN:
            result = previous + std::max(1, axis.LastFullVisibleCell - axis.FirstGridCell) * factor;
            break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK:
            if (code == SB_THUMBTRACK && !(options_ & goThumbTracking)) break;
            result = factor < 0 ? largest - ScaleMul(pos, largest - fixed, kScrollScale)
                                : fixed + ScaleMul(pos, largest - fixed, kScrollScale);
            break;
        case SB_TOP: result = fixed; break;
        case SB_BOTTOM: result = largest; break;
        }
        // Hidden cells are stepped over.
    } while (result > fixed && result < largest && axis.GetExtent(result) <= 0 && result != previous);
    return result;
}

void TMyCustomGrid::ModifyScrollBar(int bar, int code, int pos, bool fromBar) {
    if (Visible() && CanFocus() && TabStop() && !HasState(csDesigning)) SetFocus();
    const int factor = bar == SB_HORZ && fromBar && RightToLeftLayout() ? -1 : 1;
    if (bar == SB_HORZ && colCount_ == 1) {
        ScrollPixels(code, pos, factor);
        return;
    }
    const TGridDrawInfo info = DrawInfo();
    const TGridCoord largest = CalcMaxTopLeft({colCount_ - 1, rowCount_ - 1}, info);
    TGridCoord topLeft = topLeft_;
    if (bar == SB_HORZ) topLeft.X = ScrollStep(true, code, pos, info, factor);
    else topLeft.Y = ScrollStep(false, code, pos, info, 1);
    topLeft.X = std::clamp(topLeft.X, fixedCols_, std::max(fixedCols_, largest.X));
    topLeft.Y = std::clamp(topLeft.Y, fixedRows_, std::max(fixedRows_, largest.Y));
    if (topLeft != topLeft_) MoveTopLeft(topLeft.X, topLeft.Y);
}

void TMyCustomGrid::ScrollPixels(int code, int pos, int factor) {
    const TGridDrawInfo info = DrawInfo();
    const int scrollWidth = ClientWidth() - info.Horz.FixedBoundary;
    const int largest = std::max(0, ColWidths(topLeft_.X) - scrollWidth);
    Canvas().Font().Assign(&Font());
    const int line = Canvas().TextWidth("0");
    int offset = colOffset_;
    switch (code) {
    case SB_LINEUP: offset -= line * factor; break;
    case SB_LINEDOWN: offset += line * factor; break;
    case SB_PAGEUP: offset -= scrollWidth * factor; break;
    case SB_PAGEDOWN: offset += scrollWidth * factor; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
        if (code == SB_THUMBTRACK && !(options_ & goThumbTracking)) break;
        // Right to left the bar shows largest - offset: read it back alike.
        offset = RightToLeftLayout() ? largest - pos : pos;
        break;
    case SB_TOP: offset = 0; break;
    case SB_BOTTOM: offset = largest; break;
    }
    offset = std::clamp(offset, 0, largest);
    if (offset == colOffset_) return;
    const int old = colOffset_;
    colOffset_ = offset;
    ScrollData(old - offset, 0);
    InvalidateRect({0, 0, colCount_ - 1, fixedRows_});
    if (HandleAllocated()) UpdateWindow(handle_);
    UpdateScrollPos();
}

} // namespace ax
