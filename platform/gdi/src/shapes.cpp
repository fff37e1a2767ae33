// Lines, shapes, 3-D edges and frame controls. Cosmetic one-pixel lines are
// plotted here (their last pixel left out, with the line styles and the
// binary raster operation of the DC); wide pens and curved shapes go
// through Cairo without antialiasing.
#include "paint.h"

#include <algorithm>
#include <cmath>

namespace ax {
using namespace gdi;

namespace {

struct LinePen {
    bool null = true;
    bool cosmetic = true;
    std::uint32_t color = 0;
    std::uint32_t bk = 0;
    bool opaqueGaps = false;
    int rop2 = R2_COPYPEN;
    std::vector<int> dashes;
    int width = 1;
    DWORD style = PS_SOLID;
    COLORREF colorRef = 0;
};

LinePen linePen(const Dc& dc, const Target& t) {
    LinePen lp;
    const Pen* p = getPen(dc.state.pen);
    if (!p || p->styleOnly() == PS_NULL) return lp;
    lp.null = false;
    lp.colorRef = penColor(dc, *p);
    lp.color = targetColor(t, lp.colorRef);
    lp.bk = targetColor(t, dc.state.bkColor);
    lp.opaqueGaps = dc.state.bkMode == OPAQUE;
    lp.rop2 = dc.state.rop2;
    lp.width = std::max(p->width, 1);
    lp.style = p->style;
    lp.cosmetic = !p->geometric() && lp.width <= 1;
    switch (p->styleOnly()) {
    case PS_DASH:
        lp.dashes = {18, 6};
        break;
    case PS_DOT:
        lp.dashes = {3, 3};
        break;
    case PS_DASHDOT:
        lp.dashes = {9, 6, 3, 6};
        break;
    case PS_DASHDOTDOT:
        lp.dashes = {9, 3, 3, 3, 3, 3};
        break;
    case PS_ALTERNATE:
        lp.dashes = {1, 1};
        break;
    default:
        break;
    }
    return lp;
}

// Bresenham from a to b (device), leaving out b; `phase` carries the style
// pattern along a polyline.
void plotLine(Target& t, POINT a, POINT b, const LinePen& pen, long& phase) {
    int dx = std::abs(b.x - a.x), dy = std::abs(b.y - a.y);
    int sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1;
    int err = dx - dy;
    int x = a.x, y = a.y;
    long period = 0;
    for (int d : pen.dashes)
        period += d;
    while (x != b.x || y != b.y) {
        bool on = true;
        if (period > 0) {
            long pos = phase % period;
            on = true;
            for (int d : pen.dashes) {
                if (pos < d) break;
                pos -= d;
                on = !on;
            }
        }
        ++phase;
        int px = x + t.origin.x, py = y + t.origin.y;
        if ((on || pen.opaqueGaps) && t.clip.contains(px, py)) {
            std::uint32_t& d = t.at(px, py);
            d = 0xFF000000 | rop2(pen.rop2, on ? pen.color : pen.bk, d & 0xFFFFFF);
        }
        int e2 = 2 * err;
        if (e2 > -dy) {
            err -= dy;
            x += sx;
        }
        if (e2 < dx) {
            err += dx;
            y += sy;
        }
    }
}

void setPenStroke(cairo_t* cr, const Target& t, const LinePen& pen) {
    setSourceColor(cr, t, pen.colorRef);
    cairo_set_line_width(cr, pen.width);
    switch (pen.style & PS_ENDCAP_MASK) {
    case PS_ENDCAP_FLAT:
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
        break;
    case PS_ENDCAP_SQUARE:
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
        break;
    default:
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        break;
    }
    switch (pen.style & PS_JOIN_MASK) {
    case PS_JOIN_MITER:
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
        break;
    case PS_JOIN_BEVEL:
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_BEVEL);
        break;
    default:
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        break;
    }
    if (!pen.dashes.empty()) {
        std::vector<double> d;
        for (int v : pen.dashes)
            d.push_back(double(v) * pen.width / 3.0);
        cairo_set_dash(cr, d.data(), int(d.size()), 0);
    }
}

// Draws one polyline (logical points) with the DC's pen.
void strokePolyline(Dc& dc, const POINT* pts, int n, bool closed) {
    if (n < 2) return;
    Target t;
    if (!makeTarget(dc, t)) return;
    LinePen pen = linePen(dc, t);
    if (pen.null) return;
    if (pen.cosmetic) {
        long phase = 0;
        for (int i = 0; i + 1 < n; ++i)
            plotLine(t, toDevice(dc.state, pts[i].x, pts[i].y),
                     toDevice(dc.state, pts[i + 1].x, pts[i + 1].y), pen, phase);
        if (closed && !(pts[0] == pts[n - 1]))
            plotLine(t, toDevice(dc.state, pts[n - 1].x, pts[n - 1].y),
                     toDevice(dc.state, pts[0].x, pts[0].y), pen, phase);
        finishTarget(dc);
        return;
    }
    cairo_t* cr = beginCairo(dc, t);
    // The pen's centre on the pixel the point names, whichever way x runs.
    double off = (pen.width % 2) ? 0.5 : 0.0, offX = off * xScale(dc.state);
    cairo_move_to(cr, pts[0].x + offX, pts[0].y + off);
    for (int i = 1; i < n; ++i)
        cairo_line_to(cr, pts[i].x + offX, pts[i].y + off);
    if (closed) cairo_close_path(cr);
    setPenStroke(cr, t, pen);
    cairo_stroke(cr);
    endCairo(dc, cr);
}

// Fills the current Cairo path with the DC brush, then strokes it with a
// pen when the DC has one; the path is in pixel-centre coordinates.
void fillAndStroke(Dc& dc, const std::function<void(cairo_t*)>& path) {
    Target t;
    if (!makeTarget(dc, t)) return;
    cairo_t* cr = beginCairo(dc, t);
    path(cr);
    fillPathWithBrush(cr, dc, t, dc.state.brush);
    LinePen pen = linePen(dc, t);
    if (!pen.null) {
        setPenStroke(cr, t, pen);
        if (pen.cosmetic) cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);
    }
    endCairo(dc, cr);
}

} // namespace

bool MoveToEx(HDC hdc, int x, int y, POINT* old) {
    Dc* dc = getDc(hdc);
    if (!dc) return false;
    if (old) *old = dc->state.position;
    dc->state.position = POINT{x, y};
    return true;
}

bool GetCurrentPositionEx(HDC hdc, POINT* pos) {
    Dc* dc = getDc(hdc);
    if (!dc || !pos) return false;
    *pos = dc->state.position;
    return true;
}

bool LineTo(HDC hdc, int x, int y) {
    Dc* dc = getDc(hdc);
    if (!dc) return false;
    POINT pts[2] = {dc->state.position, POINT{x, y}};
    strokePolyline(*dc, pts, 2, false);
    dc->state.position = pts[1];
    return true;
}

bool Polyline(HDC hdc, const POINT* points, int count) {
    Dc* dc = getDc(hdc);
    if (!dc || !points || count < 2) return false;
    strokePolyline(*dc, points, count, false);
    return true;
}

bool PolyPolyline(HDC hdc, const POINT* points, const DWORD* counts, DWORD polylines) {
    Dc* dc = getDc(hdc);
    if (!dc || !points || !counts) return false;
    size_t at = 0;
    for (DWORD i = 0; i < polylines; ++i) {
        if (counts[i] < 2) return false;
        strokePolyline(*dc, points + at, int(counts[i]), false);
        at += counts[i];
    }
    return true;
}

bool Polygon(HDC hdc, const POINT* points, int count) {
    Dc* dc = getDc(hdc);
    if (!dc || !points || count < 2) return false;
    fillAndStroke(*dc, [&](cairo_t* cr) {
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
        cairo_move_to(cr, points[0].x + 0.5, points[0].y + 0.5);
        for (int i = 1; i < count; ++i)
            cairo_line_to(cr, points[i].x + 0.5, points[i].y + 0.5);
        cairo_close_path(cr);
    });
    return true;
}

bool Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    Dc* dc = getDc(hdc);
    Target t;
    if (!dc || !makeTarget(*dc, t)) return false;
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    LinePen pen = linePen(*dc, t);
    BrushSampler brush = samplerFor(*dc, dc->state.brush);
    if (pen.null) {
        patFill(*dc, t, rectToDevice(dc->state, RECT{left, top, right - 1, bottom - 1}), brush, 0xF0);
        return true;
    }
    int w = pen.cosmetic ? 1 : pen.width;
    patFill(*dc, t, rectToDevice(dc->state, RECT{left + w, top + w, right - w, bottom - w}), brush, 0xF0);
    if (right - left < 1 || bottom - top < 1) return true;
    if (pen.cosmetic) {
        POINT pts[5] = {{left, top},
                        {right - 1, top},
                        {right - 1, bottom - 1},
                        {left, bottom - 1},
                        {left, top}};
        strokePolyline(*dc, pts, 5, false);
        return true;
    }
    // A wide frame lies inside the rectangle.
    for (int i = 0; i < w; ++i) {
        RECT r{left + i, top + i, right - i, bottom - i};
        if (r.right <= r.left || r.bottom <= r.top) break;
        for (RECT s : {RECT{r.left, r.top, r.right, r.top + 1},
                       RECT{r.left, r.bottom - 1, r.right, r.bottom},
                       RECT{r.left, r.top + 1, r.left + 1, r.bottom - 1},
                       RECT{r.right - 1, r.top + 1, r.right, r.bottom - 1}})
            fillSolid(*dc, s, pen.colorRef);
    }
    return true;
}

bool Ellipse(HDC hdc, int left, int top, int right, int bottom) {
    Dc* dc = getDc(hdc);
    if (!dc) return false;
    if (right - left < 2 || bottom - top < 2) return true;
    fillAndStroke(*dc, [&](cairo_t* cr) {
        double cx = (left + right) / 2.0, cy = (top + bottom) / 2.0;
        double rx = (right - left - 1) / 2.0, ry = (bottom - top - 1) / 2.0;
        cairo_save(cr);
        cairo_translate(cr, cx, cy);
        cairo_scale(cr, rx, ry);
        cairo_new_path(cr);
        cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
        cairo_restore(cr);
    });
    return true;
}

bool RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height) {
    Dc* dc = getDc(hdc);
    if (!dc) return false;
    if (right - left < 2 || bottom - top < 2) return true;
    fillAndStroke(*dc, [&](cairo_t* cr) {
        double l = left + 0.5, t = top + 0.5, r = right - 0.5, b = bottom - 0.5;
        double rx = std::min(width / 2.0, (r - l) / 2), ry = std::min(height / 2.0, (b - t) / 2);
        cairo_new_path(cr);
        auto corner = [&](double cx, double cy, double a0) {
            cairo_save(cr);
            cairo_translate(cr, cx, cy);
            cairo_scale(cr, std::max(rx, 0.01), std::max(ry, 0.01));
            cairo_arc(cr, 0, 0, 1, a0, a0 + M_PI / 2);
            cairo_restore(cr);
        };
        corner(r - rx, t + ry, -M_PI / 2);
        corner(r - rx, b - ry, 0);
        corner(l + rx, b - ry, M_PI / 2);
        corner(l + rx, t + ry, M_PI);
        cairo_close_path(cr);
    });
    return true;
}

// ---- 3-D edges -----------------------------------------------------------------------

namespace {

void hline(Dc& dc, int x0, int x1, int y, COLORREF c) {
    fillSolid(dc, RECT{x0, y, x1, y + 1}, c);
}
void vline(Dc& dc, int x, int y0, int y1, COLORREF c) {
    fillSolid(dc, RECT{x, y0, x + 1, y1}, c);
}
void pixel(Dc& dc, int x, int y, COLORREF c) {
    fillSolid(dc, RECT{x, y, x + 1, y + 1}, c);
}

void ring(Dc& dc, RECT& r, UINT sides, COLORREF lt, COLORREF rb) {
    if (r.right <= r.left || r.bottom <= r.top) return;
    if (sides & BF_LEFT) vline(dc, r.left, r.top, r.bottom, lt);
    if (sides & BF_TOP) hline(dc, r.left, r.right, r.top, lt);
    if (sides & BF_RIGHT) vline(dc, r.right - 1, r.top, r.bottom, rb);
    if (sides & BF_BOTTOM) hline(dc, r.left, r.right, r.bottom - 1, rb);
    if (sides & BF_LEFT) ++r.left;
    if (sides & BF_TOP) ++r.top;
    if (sides & BF_RIGHT) --r.right;
    if (sides & BF_BOTTOM) --r.bottom;
}

} // namespace

bool DrawEdge(HDC hdc, RECT* rect, UINT edge, UINT flags) {
    Dc* dc = getDc(hdc);
    if (!dc || !rect) return false;
    RECT r = *rect;
    bool soft = flags & BF_SOFT;
    COLORREF outerLT = 0, outerRB = 0, innerLT = 0, innerRB = 0;
    bool outer = edge & BDR_OUTER, inner = edge & BDR_INNER;
    if (edge & BDR_RAISEDOUTER) {
        outerLT = GetSysColor(soft ? COLOR_BTNHIGHLIGHT : COLOR_3DLIGHT);
        outerRB = GetSysColor(COLOR_3DDKSHADOW);
    } else if (edge & BDR_SUNKENOUTER) {
        outerLT = GetSysColor(soft ? COLOR_3DDKSHADOW : COLOR_BTNSHADOW);
        outerRB = GetSysColor(COLOR_BTNHIGHLIGHT);
    }
    if (edge & BDR_RAISEDINNER) {
        innerLT = GetSysColor(soft ? COLOR_3DLIGHT : COLOR_BTNHIGHLIGHT);
        innerRB = GetSysColor(COLOR_BTNSHADOW);
    } else if (edge & BDR_SUNKENINNER) {
        innerLT = GetSysColor(soft ? COLOR_BTNSHADOW : COLOR_3DDKSHADOW);
        innerRB = GetSysColor(COLOR_3DLIGHT);
    }
    if (flags & BF_FLAT) {
        outerLT = outerRB = GetSysColor(COLOR_BTNSHADOW);
        innerLT = innerRB = GetSysColor(COLOR_BTNFACE);
    } else if (flags & BF_MONO) {
        outerLT = outerRB = GetSysColor(COLOR_WINDOWFRAME);
        innerLT = innerRB = GetSysColor(COLOR_WINDOW);
    }
    UINT sides = flags & BF_RECT;
    if (!(flags & BF_DIAGONAL)) {
        if (outer) ring(*dc, r, sides, outerLT, outerRB);
        if (inner) ring(*dc, r, sides, innerLT, innerRB);
    }
    if ((flags & BF_MIDDLE) && r.right > r.left && r.bottom > r.top)
        fillSolid(*dc, r, GetSysColor((flags & BF_MONO) ? COLOR_WINDOW : COLOR_BTNFACE));
    if (flags & BF_ADJUST) *rect = r;
    return true;
}

// ---- Frame controls ------------------------------------------------------------------------

namespace {

// One-bit glyphs drawn from text art: '#' sets a pixel.
void glyph(Dc& dc, int x, int y, std::initializer_list<const char*> rows, COLORREF c) {
    int yy = y;
    for (const char* row : rows) {
        for (int i = 0; row[i]; ++i)
            if (row[i] == '#') pixel(dc, x + i, yy, c);
        ++yy;
    }
}

// The 50% checkerboard of two colours, aligned to logical coordinates.
void ditherFill(Dc& dc, RECT r, COLORREF a, COLORREF b) {
    Target t;
    if (!makeTarget(dc, t)) return;
    BrushSampler s;
    s.none = false;
    s.org = logicalOffset(dc.state);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            s.pattern[y * 8 + x] = targetColor(t, ((x + y) & 1) ? b : a);
    patFill(dc, t, rectToDevice(dc.state, r), s, 0xF0);
}

void drawButtonFrame(HDC hdc, Dc& dc, RECT& r, UINT state) {
    UINT flags = BF_RECT | BF_MIDDLE | BF_SOFT | BF_ADJUST;
    if (state & DFCS_FLAT) flags |= BF_FLAT;
    if (state & DFCS_MONO) flags |= BF_MONO;
    if ((state & DFCS_PUSHED) && !(state & DFCS_FLAT)) {
        // A pressed button: a dark frame around a flat shadow.
        ring(dc, r, BF_RECT, GetSysColor(COLOR_WINDOWFRAME), GetSysColor(COLOR_WINDOWFRAME));
        ring(dc, r, BF_RECT, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNSHADOW));
        fillSolid(dc, r, GetSysColor(COLOR_BTNFACE));
        return;
    }
    DrawEdge(hdc, &r, EDGE_RAISED, flags);
    if ((state & DFCS_CHECKED) && !(state & DFCS_PUSHED))
        ditherFill(dc, r, GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNHIGHLIGHT));
}

// A filled triangle pointing in a direction, centred in r.
void arrow(Dc& dc, RECT r, int dir, COLORREF c) {
    int w = r.right - r.left, h = r.bottom - r.top;
    int half = std::max(1, (std::min(w, h) - 2) / 4);
    int cx = r.left + w / 2, cy = r.top + h / 2;
    for (int i = 0; i <= half; ++i) {
        int s = dir == 0 || dir == 2 ? i : half - i; // width grows away from the tip
        int along = i - (half + 1) / 2;
        switch (dir) {
        case 0:
            hline(dc, cx - s, cx + s + 1, cy + along, c);
            break; // up
        case 1:
            hline(dc, cx - s, cx + s + 1, cy + along, c);
            break; // down
        case 2:
            vline(dc, cx + along, cy - s, cy + s + 1, c);
            break; // left
        case 3:
            vline(dc, cx + along, cy - s, cy + s + 1, c);
            break; // right
        }
    }
}

void drawArrowButton(HDC hdc, Dc& dc, RECT r, UINT state) {
    RECT face = r;
    drawButtonFrame(hdc, dc, face, state);
    int kind = int(state & 0x1F);
    int dir = kind == DFCS_SCROLLCOMBOBOX ? 1 : kind;
    if (state & DFCS_PUSHED) OffsetRect(&r, 1, 1);
    if (state & DFCS_INACTIVE) {
        RECT s = r;
        OffsetRect(&s, 1, 1);
        arrow(dc, s, dir, GetSysColor(COLOR_BTNHIGHLIGHT));
        arrow(dc, r, dir, GetSysColor(COLOR_BTNSHADOW));
    } else {
        arrow(dc, r, dir, GetSysColor(COLOR_BTNTEXT));
    }
}

void drawSizeGrip(Dc& dc, RECT r, UINT state) {
    if (!(state & DFCS_TRANSPARENT)) fillSolid(dc, r, GetSysColor(COLOR_BTNFACE));
    int size = std::min(r.right - r.left, r.bottom - r.top);
    bool left = state & DFCS_SCROLLSIZEGRIPRIGHT;
    for (int k = 1; k < size; ++k) {
        int m = k % 4;
        if (m == 0) continue;
        COLORREF c = GetSysColor(m == 1 ? COLOR_BTNHIGHLIGHT : COLOR_BTNSHADOW);
        for (int i = 0; i <= k - 1 && i < size; ++i) {
            int y = r.bottom - 1 - (k - 1 - i);
            int x = left ? r.left + i : r.right - 1 - i;
            if (y >= r.top) pixel(dc, x, y, c);
        }
    }
}

void drawCheckBox(HDC hdc, Dc& dc, RECT r, UINT state) {
    int s = std::min(r.right - r.left, r.bottom - r.top);
    RECT box{r.left, r.top + (r.bottom - r.top - s) / 2, r.left + s, 0};
    box.bottom = box.top + s;
    UINT flags = BF_RECT | BF_ADJUST;
    if (state & DFCS_FLAT) flags |= BF_FLAT;
    if (state & DFCS_MONO) flags |= BF_MONO;
    DrawEdge(hdc, &box, EDGE_SUNKEN, flags);
    bool three = (state & 0x1F) == DFCS_BUTTON3STATE;
    bool gray = state & (DFCS_PUSHED | DFCS_INACTIVE);
    if (three && (state & DFCS_CHECKED))
        ditherFill(dc, box, GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNHIGHLIGHT));
    else
        fillSolid(dc, box, GetSysColor(gray ? COLOR_BTNFACE : COLOR_WINDOW));
    if (state & DFCS_CHECKED) {
        COLORREF c =
            GetSysColor((state & DFCS_INACTIVE) || three ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT);
        int gx = box.left + (box.right - box.left - 7) / 2,
            gy = box.top + (box.bottom - box.top - 7) / 2;
        glyph(dc, gx, gy,
              {"......#", ".....##", "#...###", "##.###.", "#####..", ".###...", "..#...."}, c);
    }
}

void drawRadio(Dc& dc, RECT r, UINT state) {
    int s = std::min(r.right - r.left, r.bottom - r.top);
    double cx = r.left + s / 2.0, cy = r.top + (r.bottom - r.top) / 2.0;
    Target t;
    if (!makeTarget(dc, t)) return;
    cairo_t* cr = beginCairo(dc, t);
    auto disc = [&](double radius, COLORREF c) {
        cairo_new_path(cr);
        cairo_arc(cr, cx, cy, radius, 0, 2 * M_PI);
        setSourceColor(cr, t, c);
        cairo_fill(cr);
    };
    auto half = [&](double radius, double a0, COLORREF c) {
        cairo_new_path(cr);
        cairo_move_to(cr, cx, cy);
        cairo_arc(cr, cx, cy, radius, a0, a0 + M_PI);
        cairo_close_path(cr);
        setSourceColor(cr, t, c);
        cairo_fill(cr);
    };
    UINT kind = state & 0x1F;
    if (kind == DFCS_BUTTONRADIOMASK) {
        setSourceColor(cr, t, RGB(255, 255, 255));
        cairo_paint(cr);
        disc(s / 2.0, 0);
    } else {
        double rad = s / 2.0;
        half(rad, 3 * M_PI / 4, GetSysColor(COLOR_BTNSHADOW));
        half(rad, -M_PI / 4, GetSysColor(COLOR_BTNHIGHLIGHT));
        half(rad - 1, 3 * M_PI / 4, GetSysColor(COLOR_3DDKSHADOW));
        half(rad - 1, -M_PI / 4, GetSysColor(COLOR_3DLIGHT));
        disc(rad - 2,
             GetSysColor(state & (DFCS_PUSHED | DFCS_INACTIVE) ? COLOR_BTNFACE : COLOR_WINDOW));
        if (state & DFCS_CHECKED)
            disc(std::max(1.5, s / 6.0),
                 GetSysColor(state & DFCS_INACTIVE ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT));
    }
    endCairo(dc, cr);
}

void captionGlyph(Dc& dc, RECT g, UINT kind, COLORREF c) {
    int w = g.right - g.left, h = g.bottom - g.top;
    int s = std::min(w, h);
    int x = g.left + (w - s) / 2, y = g.top + (h - s) / 2;
    switch (kind) {
    case DFCS_CAPTIONCLOSE:
        for (int i = 0; i < s; ++i) {
            fillSolid(dc, RECT{x + i, y + i, x + std::min(i + 2, s), y + i + 1}, c);
            fillSolid(dc, RECT{x + s - 1 - i - (i + 2 > s ? 0 : 1), y + i, x + s - i, y + i + 1},
                      c);
        }
        break;
    case DFCS_CAPTIONMIN:
        fillSolid(dc, RECT{x, y + s - 2, x + std::max(2, s * 2 / 3), y + s}, c);
        break;
    case DFCS_CAPTIONMAX:
        fillSolid(dc, RECT{x, y, x + s, y + 2}, c);
        fillSolid(dc, RECT{x, y + s - 1, x + s, y + s}, c);
        fillSolid(dc, RECT{x, y, x + 1, y + s}, c);
        fillSolid(dc, RECT{x + s - 1, y, x + s, y + s}, c);
        break;
    case DFCS_CAPTIONRESTORE: {
        int b = std::max(3, s * 2 / 3);
        for (int k = 0; k < 2; ++k) {
            int bx = k ? x : x + s - b, by = k ? y + s - b : y;
            if (k) fillSolid(dc, RECT{bx, by, bx + b, by + b}, GetSysColor(COLOR_BTNFACE));
            fillSolid(dc, RECT{bx, by, bx + b, by + 2}, c);
            fillSolid(dc, RECT{bx, by + b - 1, bx + b, by + b}, c);
            fillSolid(dc, RECT{bx, by, bx + 1, by + b}, c);
            fillSolid(dc, RECT{bx + b - 1, by, bx + b, by + b}, c);
        }
        break;
    }
    case DFCS_CAPTIONHELP:
        glyph(dc, x + (s - 6) / 2, y + (s - 9) / 2,
              {".####.", "##..##", "....##", "...##.", "..##..", "..##..", "......", "..##..",
               "..##.."},
              c);
        break;
    default:
        break;
    }
}

} // namespace

bool DrawFrameControl(HDC hdc, RECT* rect, UINT type, UINT state) {
    Dc* dc = getDc(hdc);
    if (!dc || !rect) return false;
    RECT r = *rect;
    switch (type) {
    case DFC_BUTTON: {
        UINT kind = state & 0x1F;
        if (kind & DFCS_BUTTONPUSH) {
            drawButtonFrame(hdc, *dc, r, state);
            if (state & DFCS_ADJUSTRECT) *rect = r;
        } else if (kind & (DFCS_BUTTONRADIO | DFCS_BUTTONRADIOIMAGE | DFCS_BUTTONRADIOMASK)) {
            drawRadio(*dc, r,
                      kind == DFCS_BUTTONRADIO ? (state & ~0x1Fu) | DFCS_BUTTONRADIOIMAGE : state);
        } else {
            drawCheckBox(hdc, *dc, r, state);
        }
        return true;
    }
    case DFC_SCROLL: {
        UINT kind = state & 0x1F;
        if (kind == DFCS_SCROLLSIZEGRIP || kind == DFCS_SCROLLSIZEGRIPRIGHT)
            drawSizeGrip(*dc, r, state);
        else
            drawArrowButton(hdc, *dc, r, state);
        return true;
    }
    case DFC_CAPTION: {
        drawButtonFrame(hdc, *dc, r, state);
        RECT g = r;
        InflateRect(&g, -1, -1);
        if (state & DFCS_PUSHED) OffsetRect(&g, 1, 1);
        UINT kind = state & 0xFF;
        if (state & DFCS_INACTIVE) {
            RECT s = g;
            OffsetRect(&s, 1, 1);
            captionGlyph(*dc, s, kind, GetSysColor(COLOR_BTNHIGHLIGHT));
            captionGlyph(*dc, g, kind, GetSysColor(COLOR_BTNSHADOW));
        } else {
            captionGlyph(*dc, g, kind, GetSysColor(COLOR_BTNTEXT));
        }
        return true;
    }
    case DFC_MENU:
    case DFC_POPUPMENU: {
        // Menu glyphs are black on white, for use as masks.
        fillSolid(*dc, r, RGB(255, 255, 255));
        UINT kind = state & 0xFF;
        if (kind == DFCS_MENUCHECK)
            glyph(*dc, r.left + (r.right - r.left - 7) / 2, r.top + (r.bottom - r.top - 7) / 2,
                  {"......#", ".....##", "#...###", "##.###.", "#####..", ".###...", "..#...."}, 0);
        else if (kind == DFCS_MENUBULLET)
            glyph(*dc, r.left + (r.right - r.left - 4) / 2, r.top + (r.bottom - r.top - 4) / 2,
                  {".##.", "####", "####", ".##."}, 0);
        else
            arrow(*dc, r, 3, 0);
        return true;
    }
    default:
        return false;
    }
}

} // namespace ax
