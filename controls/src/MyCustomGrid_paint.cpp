// Painting of the grid engine: grid lines in four passes, then the cells of
// the fixed corner, the fixed rows, the fixed columns and the scrolling
// area, then the empty space beyond the last column and row.
#include <algorithm>

#include "controls/MyCustomGrid.h"
#include "framework/forms.h"
#include "platform/gdi/scopedselection.h"
#include "platform/gdi/uniquegdiobject.h"
#include "rtl/scopeguard.h"

namespace ax {

namespace {

// The lines of one pass are collected here, on the stack, and drawn in as
// few PolyPolyline calls as the buffer allows (one for any common screen).
class LineBatch {
public:
    explicit LineBatch(HDC dc) : dc_(dc) {}
    ~LineBatch() { Flush(); }
    LineBatch(const LineBatch&) = delete;
    LineBatch& operator=(const LineBatch&) = delete;
    void Add(POINT a, POINT b) {
        if (count_ == kLines) Flush();
        points_[2 * count_] = a;
        points_[2 * count_ + 1] = b;
        counts_[count_] = 2;
        ++count_;
    }
    void Flush() {
        if (count_ > 0) PolyPolyline(dc_, points_, counts_, DWORD(count_));
        count_ = 0;
    }

private:
    static constexpr int kLines = 256;
    HDC dc_;
    POINT points_[2 * kLines];
    DWORD counts_[kLines];
    int count_ = 0;
};

struct Pass {
    int col, row;
    RECT bounds;
    TColor lineColor, background;
    unsigned horzOption, vertOption;
};

// One set of lines: after each cell of `axis` from `first`, across the
// other axis from `from` to `to`; `shift` moves the lines along the axis.
void DrawAxisLines(HDC dc, const TGridAxisDrawInfo& axis, int first, int start, int end, int from, int to,
                   bool horizontalLines, COLORREF colour, int width, int shift) {
    UniquePen pen;
    if (width > 1) {
        LOGBRUSH brush{BS_SOLID, colour, 0};
        pen.Reset(ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT | PS_JOIN_MITER, DWORD(width), &brush, 0,
                               nullptr));
    } else {
        pen.Reset(CreatePen(PS_SOLID, width, colour));
    }
    const ScopedSelection usePen(dc, pen.Get());
    {
        LineBatch batch(dc);
        const int lw = axis.EffectiveLineWidth;
        int cell = first;
        while (cell < axis.GridCellCount && axis.GetExtent(cell) < 0) ++cell;
        if (cell < axis.GridCellCount) {
            int pos = start + lw / 2 + axis.GetExtent(cell) + shift;
            while (pos <= end + lw && cell <= axis.LastFullVisibleCell) {
                if (horizontalLines) batch.Add({from, pos}, {to, pos});
                else batch.Add({pos, from}, {pos, to});
                do ++cell;
                while (cell < axis.GridCellCount && axis.GetExtent(cell) < 0);
                if (cell >= axis.GridCellCount) break;
                pos += axis.GetExtent(cell) + lw;
            }
        }
    }
}

} // namespace

void TMyCustomGrid::Paint() {
    TCanvas& canvas = Canvas();
    HDC dc = canvas.Handle();
    const TGridDrawInfo info = DrawInfo();
    // Right to left, the same drawing runs with x growing to the left.
    const bool mirror = RightToLeftLayout();
    if (mirror) MirrorCanvas(true);
    ScopeGuard unmirror([this, mirror] {
        if (mirror) MirrorCanvas(false);
    });
    canvas.SetTextFlags(UseRightToLeftReading() ? UINT(ETO_RTLREADING) : 0u);
    POINT oldOrigin{};
    if (colCount_ == 1 && colOffset_ != 0) OffsetViewportOrgEx(dc, mirror ? colOffset_ : -colOffset_, 0, &oldOrigin);
    const RECT clip = canvas.ClipRect();

    if (info.Horz.EffectiveLineWidth > 0 || info.Vert.EffectiveLineWidth > 0) PaintLines(info);
    PaintCells(info, clip);

    if ((options_ & goRowSelect) && defaultDrawing_ && !HasState(csDesigning) && IsActiveControl()) {
        const TGridRect sel = Selection();
        RECT focus = BoxRect(fixedCols_, sel.Top, colCount_ - 1, sel.Bottom);
        if (colCount_ == 1) OffsetRect(&focus, colOffset_, 0);
        if (!IsRectEmpty(&focus)) canvas.DrawFocusRect(focus);
    }

    // What lies beyond the last column and below the last row.
    const RECT client = ClientRect();
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(color_);
    const int right = client.right + (colCount_ == 1 ? colOffset_ : 0);
    if (info.Horz.GridBoundary < right) canvas.FillRect({info.Horz.GridBoundary, 0, right, client.bottom});
    if (info.Vert.GridBoundary < client.bottom)
        canvas.FillRect({0, info.Vert.GridBoundary, info.Horz.GridBoundary, client.bottom});
    if (colCount_ == 1 && colOffset_ != 0) SetViewportOrgEx(dc, oldOrigin.x, oldOrigin.y, nullptr);
}

void TMyCustomGrid::MirrorCanvas(bool on) {
    HDC dc = Canvas().Handle();
    const RECT client = ClientRect();
    const int width = std::max(1, int(client.right)), height = std::max(1, int(client.bottom));
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowOrgEx(dc, on ? width : 0, 0, nullptr);
    SetViewportExtEx(dc, width, height, nullptr);
    SetWindowExtEx(dc, on ? -width : width, height, nullptr);
    canvasMirrored_ = on;
}

void TMyCustomGrid::PaintLines(const TGridDrawInfo& info) {
    const TGridAxisDrawInfo& h = info.Horz;
    const TGridAxisDrawInfo& v = info.Vert;
    const TColor lineColor = ColorToRGB(color_) == ColorToRGB(clSilver) ? clGray : clSilver;
    const Pass passes[4] = {
        {0, 0, {0, 0, h.FixedBoundary, v.FixedBoundary}, clBlack, fixedColor_, goFixedHorzLine, goFixedVertLine},
        {topLeft_.X, 0, {h.FixedBoundary, 0, h.GridBoundary, v.FixedBoundary}, clBlack, fixedColor_,
         goFixedHorzLine, goFixedVertLine},
        {0, topLeft_.Y, {0, v.FixedBoundary, h.FixedBoundary, v.GridBoundary}, clBlack, fixedColor_,
         goFixedHorzLine, goFixedVertLine},
        {topLeft_.X, topLeft_.Y, {h.FixedBoundary, v.FixedBoundary, h.GridBoundary, v.GridBoundary}, lineColor,
         color_, goHorzLine, goVertLine},
    };
    HDC dc = Canvas().Handle();
    // Mirrored, a line at x lands on the pixel left of the cell's edge:
    // one further puts it in the gap after the cell.
    const int shiftX = canvasMirrored_ ? 1 : 0;
    const int saved = SaveDC(dc);
    for (const Pass& p : passes) {
        if (p.bounds.right <= p.bounds.left || p.bounds.bottom <= p.bounds.top) continue;
        const bool horzOn = options_ & p.horzOption, vertOn = options_ & p.vertOption;
        auto horizontalSet = [&] {
            if (v.EffectiveLineWidth == 0) return;
            DrawAxisLines(dc, v, p.row, p.bounds.top, p.bounds.bottom, p.bounds.left, p.bounds.right, true,
                          ColorToRGB(horzOn ? p.lineColor : p.background), gridLineWidth_, 0);
        };
        auto verticalSet = [&] {
            if (h.EffectiveLineWidth == 0) return;
            DrawAxisLines(dc, h, p.col, p.bounds.left, p.bounds.right, p.bounds.top, p.bounds.bottom, false,
                          ColorToRGB(vertOn ? p.lineColor : p.background), gridLineWidth_, shiftX);
        };
        // The lines of the set option are drawn last, over the others.
        if (!horzOn) {
            horizontalSet();
            verticalSet();
        } else {
            verticalSet();
            horizontalSet();
        }
    }
    RestoreDC(dc, saved);
}

void TMyCustomGrid::PaintCells(const TGridDrawInfo& info, const RECT& clip) {
    const TGridAxisDrawInfo& h = info.Horz;
    const TGridAxisDrawInfo& v = info.Vert;
    DrawCells(info, 0, 0, 0, 0, h.FixedBoundary, v.FixedBoundary, fixedColor_, gdFixed, clip);
    DrawCells(info, topLeft_.X, 0, h.FixedBoundary, 0, h.GridBoundary, v.FixedBoundary, fixedColor_, gdFixed,
              clip);
    DrawCells(info, 0, topLeft_.Y, 0, v.FixedBoundary, h.FixedBoundary, v.GridBoundary, fixedColor_, gdFixed,
              clip);
    DrawCells(info, topLeft_.X, topLeft_.Y, h.FixedBoundary, v.FixedBoundary, h.GridBoundary, v.GridBoundary,
              color_, 0, clip);
}

void TMyCustomGrid::DrawCells(const TGridDrawInfo& info, int col, int row, int startX, int startY, int stopX,
                              int stopY, TColor color, TGridDrawState include, const RECT& clip) {
    TCanvas& canvas = Canvas();
    const bool active = IsActiveControl();
    const bool editorCovers = (options_ & goEditing) && editorMode_ && !HasState(csDesigning);
    const TGridRect sel = Selection();
    RECT where{};
    where.top = startY;
    for (int r = row; where.top < stopY && r < rowCount_; ++r) {
        const int height = RowHeights(r);
        if (height < 0) continue;
        where.bottom = where.top + height;
        where.left = startX;
        for (int c = col; where.left < stopX && c < colCount_; ++c) {
            const int width = ColWidths(c);
            if (width < 0) continue;
            where.right = where.left + width;
            RECT visible{};
            if (where.right > where.left && IntersectRect(&visible, &where, &clip)) {
                TGridDrawState state = include;
                const bool current = c == current_.X && r == current_.Y;
                if (active && current) state |= gdFocused;
                if (sel.Contains(c, r)) state |= gdSelected;
                if (!(current && editorCovers && EditorShowing())) {
                    if (defaultDrawing_ || HasState(csDesigning)) {
                        canvas.Font().Assign(&Font());
                        canvas.Brush().SetStyle(bsSolid);
                        const bool plainFocus = (state & gdFocused) &&
                                                !(options_ & (goDrawFocusSelected | goRowSelect));
                        if ((state & gdSelected) && !plainFocus) {
                            canvas.Brush().SetColor(clHighlight);
                            canvas.Font().SetColor(clHighlightText);
                        } else {
                            canvas.Brush().SetColor(color);
                        }
                        canvas.FillRect(where);
                    }
                    DrawCell(c, r, where, state);
                    if (defaultDrawing_ && (include & gdFixed) && Ctl3D()) {
                        HDC dc = canvas.Handle();
                        RECT edge = where;
                        UINT flags = 0;
                        if (options_ & goFixedVertLine) flags |= BF_RIGHT;
                        if (options_ & goFixedHorzLine) flags |= BF_BOTTOM;
                        if (flags) DrawEdge(dc, &edge, BDR_RAISEDINNER, flags);
                        edge = where;
                        flags = 0;
                        if (options_ & goFixedVertLine) flags |= BF_LEFT;
                        if (options_ & goFixedHorzLine) flags |= BF_TOP;
                        if (flags) DrawEdge(dc, &edge, BDR_RAISEDINNER, flags);
                    }
                    if (defaultDrawing_ && !HasState(csDesigning) && (state & gdFocused) &&
                        !((options_ & goEditing) && (options_ & goAlwaysShowEditor)) && !(options_ & goRowSelect))
                        canvas.DrawFocusRect(where);
                }
            }
            where.left = where.right + info.Horz.EffectiveLineWidth;
        }
        where.top = where.bottom + info.Vert.EffectiveLineWidth;
    }
}

} // namespace ax
