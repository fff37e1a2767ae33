// Regions as y-x banded rectangle lists. Every combination sweeps the bands
// of both operands once, top to bottom, and merges the x intervals of each
// band pair left to right, so it costs the sum of their sizes; the result is
// rebuilt in canonical form (equal areas, equal lists).
#include "platform/gdi/region.h"

#include <algorithm>

namespace ax {

namespace {

// One band of a canonical list: rects [first, last) share top and bottom.
struct Band {
    LONG top, bottom;
    size_t first, last;
};

std::vector<Band> BandsOf(const std::vector<RECT>& rects) {
    std::vector<Band> bands;
    for (size_t i = 0; i < rects.size();) {
        size_t j = i + 1;
        while (j < rects.size() && rects[j].top == rects[i].top)
            ++j;
        bands.push_back({rects[i].top, rects[i].bottom, i, j});
        i = j;
    }
    return bands;
}

struct Interval {
    LONG x0, x1;
    bool operator==(const Interval&) const = default;
};

// Which combinations of "in a" and "in b" a result keeps: bit inA * 2 + inB.
using Table = unsigned;

// Merges the sorted, disjoint x intervals of one band of each operand.
void MergeBand(const RECT* a, size_t na, const RECT* b, size_t nb, Table keeps,
               std::vector<Interval>& out) {
    out.clear();
    size_t ia = 0, ib = 0;
    bool inA = false, inB = false;
    LONG start = 0;
    bool open = false;
    // Walk the interval edges of both lists in x order.
    while (ia < 2 * na || ib < 2 * nb) {
        const LONG xa =
            ia < 2 * na ? ((ia & 1) ? a[ia / 2].right : a[ia / 2].left) : LONG(0x7FFFFFFF);
        const LONG xb =
            ib < 2 * nb ? ((ib & 1) ? b[ib / 2].right : b[ib / 2].left) : LONG(0x7FFFFFFF);
        const LONG x = std::min(xa, xb);
        if (xa == x) {
            inA = !(ia & 1);
            ++ia;
        }
        if (xb == x) {
            inB = !(ib & 1);
            ++ib;
        }
        const bool keep = (keeps >> (unsigned(inA) * 2 + unsigned(inB))) & 1;
        if (keep && !open) {
            start = x;
            open = true;
        } else if (!keep && open) {
            open = false;
            if (x > start) {
                if (!out.empty() && out.back().x1 == start)
                    out.back().x1 = x;
                else
                    out.push_back({start, x});
            }
        }
    }
}

} // namespace

Region::Region(const RECT& r) {
    if (r.right > r.left && r.bottom > r.top) rects_.push_back(r);
}

namespace {
bool IsCanonical(const std::vector<RECT>& v) {
    size_t bandStart = 0, previousStart = 0, previousEnd = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i].left >= v[i].right || v[i].top >= v[i].bottom) return false;
        if (i == 0) continue;
        const RECT &a = v[i - 1], &b = v[i];
        if (a.top == b.top) {
            if (a.bottom != b.bottom || a.right >= b.left) return false;
            continue;
        }
        if (a.bottom > b.top) return false;
        previousStart = bandStart;
        previousEnd = i;
        bandStart = i;
        // The band before this one, if it touches, must differ.
        size_t end = i;
        while (end < v.size() && v[end].top == b.top)
            ++end;
        if (v[previousStart].bottom == b.top && end - i == previousEnd - previousStart) {
            bool same = true;
            for (size_t k = 0; k < end - i && same; ++k)
                same = v[previousStart + k].left == v[i + k].left &&
                       v[previousStart + k].right == v[i + k].right;
            if (same) return false;
        }
    }
    return true;
}
} // namespace

Region Region::fromRects(std::vector<RECT> rects) {
    Region r;
    if (IsCanonical(rects)) {
        r.rects_ = std::move(rects);
        return r;
    }
    for (const RECT& one : rects)
        r = r.united(Region(one));
    return r;
}

RECT Region::bounds() const {
    if (rects_.empty()) return RECT{};
    RECT b = rects_.front();
    b.bottom = rects_.back().bottom;
    for (auto& r : rects_) {
        b.left = std::min(b.left, r.left);
        b.right = std::max(b.right, r.right);
    }
    return b;
}

bool Region::contains(int x, int y) const {
    for (auto& r : rects_) {
        if (r.top > y) break;
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
    }
    return false;
}

bool Region::intersects(const RECT& q) const {
    for (auto& r : rects_) {
        if (r.top >= q.bottom) break;
        if (std::max(r.left, q.left) < std::min(r.right, q.right) &&
            std::max(r.top, q.top) < std::min(r.bottom, q.bottom))
            return true;
    }
    return false;
}

void Region::offset(int dx, int dy) {
    for (auto& r : rects_) {
        r.left += dx;
        r.right += dx;
        r.top += dy;
        r.bottom += dy;
    }
}

namespace {
// A canonical list cut to one rectangle: bands and intervals clipped, the
// empty ones dropped, bands that became alike and touch merged.
std::vector<RECT> ClipToRect(const std::vector<RECT>& in, const RECT& c) {
    std::vector<RECT> out;
    size_t bandStart = 0; // where the last band of out starts
    bool any = false;
    for (size_t i = 0; i < in.size();) {
        size_t j = i;
        while (j < in.size() && in[j].top == in[i].top)
            ++j;
        const LONG top = std::max(in[i].top, c.top), bottom = std::min(in[i].bottom, c.bottom);
        if (top < bottom) {
            const size_t start = out.size();
            for (size_t k = i; k < j; ++k) {
                const LONG l = std::max(in[k].left, c.left), r = std::min(in[k].right, c.right);
                if (l < r) out.push_back(RECT{l, top, r, bottom});
            }
            if (out.size() > start) {
                // Alike and touching the band above: that band grows.
                bool merge =
                    any && out[bandStart].bottom == top && out.size() - start == start - bandStart;
                for (size_t k = 0; merge && k < out.size() - start; ++k)
                    merge = out[bandStart + k].left == out[start + k].left &&
                            out[bandStart + k].right == out[start + k].right;
                if (merge) {
                    for (size_t k = bandStart; k < start; ++k)
                        out[k].bottom = bottom;
                    out.resize(start);
                } else {
                    bandStart = start;
                    any = true;
                }
            }
        }
        i = j;
    }
    return out;
}
} // namespace

Region Region::intersected(const Region& o) const {
    // Cutting to one rectangle, the common case of clipping, in one pass.
    if (o.rects_.size() == 1) {
        Region r;
        r.rects_ = ClipToRect(rects_, o.rects_.front());
        return r;
    }
    if (rects_.size() == 1) {
        Region r;
        r.rects_ = ClipToRect(o.rects_, rects_.front());
        return r;
    }
    return combine(*this, o, Op::And);
}
Region Region::united(const Region& o) const {
    return combine(*this, o, Op::Or);
}
Region Region::subtracted(const Region& o) const {
    return combine(*this, o, Op::Diff);
}
Region Region::xored(const Region& o) const {
    return combine(*this, o, Op::Xor);
}

Region Region::combine(const Region& a, const Region& b, Op op) {
    const Table keeps = op == Op::And    ? 0b1000u
                        : op == Op::Or   ? 0b1110u
                        : op == Op::Diff ? 0b0100u
                                         : 0b0110u;
    const std::vector<Band> ba = BandsOf(a.rects_), bb = BandsOf(b.rects_);
    Region result;
    auto& out = result.rects_;
    std::vector<Interval> xs, previous;
    LONG previousBottom = 0;
    size_t previousFirst = 0;
    size_t ia = 0, ib = 0;
    // The next band edge at or after y in either list.
    auto nextEdge = [&](LONG y) {
        LONG next = LONG(0x7FFFFFFF);
        if (ia < ba.size()) next = std::min(next, ba[ia].top > y ? ba[ia].top : ba[ia].bottom);
        if (ib < bb.size()) next = std::min(next, bb[ib].top > y ? bb[ib].top : bb[ib].bottom);
        return next;
    };
    LONG y = LONG(0x7FFFFFFF);
    if (!ba.empty()) y = ba.front().top;
    if (!bb.empty()) y = std::min(y, bb.front().top);
    while (ia < ba.size() || ib < bb.size()) {
        const LONG y1 = nextEdge(y);
        const bool inA = ia < ba.size() && ba[ia].top <= y;
        const bool inB = ib < bb.size() && bb[ib].top <= y;
        const RECT* ra = inA ? &a.rects_[ba[ia].first] : nullptr;
        const RECT* rb = inB ? &b.rects_[bb[ib].first] : nullptr;
        MergeBand(ra, inA ? ba[ia].last - ba[ia].first : 0, rb,
                  inB ? bb[ib].last - bb[ib].first : 0, keeps, xs);
        if (!xs.empty()) {
            if (!out.empty() && previousBottom == y && xs == previous) {
                // The same intervals right below: the band grows.
                for (size_t i = previousFirst; i < out.size(); ++i)
                    out[i].bottom = y1;
            } else {
                previousFirst = out.size();
                for (const Interval& iv : xs)
                    out.push_back(RECT{iv.x0, y, iv.x1, y1});
                previous = xs;
            }
            previousBottom = y1;
        }
        if (ia < ba.size() && ba[ia].bottom <= y1) ++ia;
        if (ib < bb.size() && bb[ib].bottom <= y1) ++ib;
        y = y1;
    }
    return result;
}

} // namespace ax
