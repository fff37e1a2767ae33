// Regions as y-x banded rectangle lists; every combination rebuilds the
// bands from scratch, which keeps the representation canonical.
#include "platform/gdi/region.h"

#include <algorithm>

namespace ax {

namespace {
struct Interval {
    LONG x0, x1;
    bool operator==(const Interval&) const = default;
};

std::vector<Interval> intervalsIn(const std::vector<RECT>& rects, LONG y0, LONG y1) {
    std::vector<Interval> out;
    for (auto& r : rects)
        if (r.top <= y0 && r.bottom >= y1) out.push_back({r.left, r.right});
    std::sort(out.begin(), out.end(), [](auto& a, auto& b) { return a.x0 < b.x0; });
    return out;
}

bool inside(const std::vector<Interval>& v, LONG x0, LONG x1) {
    for (auto& i : v)
        if (i.x0 <= x0 && i.x1 >= x1) return true;
    return false;
}
} // namespace

Region::Region(const RECT& r) {
    if (r.right > r.left && r.bottom > r.top) rects_.push_back(r);
}

RECT Region::bounds() const {
    if (rects_.empty()) return RECT{};
    RECT b = rects_.front();
    for (auto& r : rects_) {
        b.left = std::min(b.left, r.left);
        b.top = std::min(b.top, r.top);
        b.right = std::max(b.right, r.right);
        b.bottom = std::max(b.bottom, r.bottom);
    }
    return b;
}

bool Region::contains(int x, int y) const {
    for (auto& r : rects_)
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
    return false;
}

bool Region::intersects(const RECT& q) const {
    for (auto& r : rects_)
        if (std::max(r.left, q.left) < std::min(r.right, q.right) &&
            std::max(r.top, q.top) < std::min(r.bottom, q.bottom))
            return true;
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

Region Region::intersected(const Region& o) const {
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
    std::vector<LONG> ys;
    for (auto* src : {&a.rects_, &b.rects_})
        for (auto& r : *src) {
            ys.push_back(r.top);
            ys.push_back(r.bottom);
        }
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());

    struct Band {
        LONG y0, y1;
        std::vector<Interval> xs;
    };
    std::vector<Band> bands;
    for (size_t i = 0; i + 1 < ys.size(); ++i) {
        LONG y0 = ys[i], y1 = ys[i + 1];
        auto ia = intervalsIn(a.rects_, y0, y1);
        auto ib = intervalsIn(b.rects_, y0, y1);
        std::vector<LONG> xs;
        for (auto* v : {&ia, &ib})
            for (auto& iv : *v) {
                xs.push_back(iv.x0);
                xs.push_back(iv.x1);
            }
        std::sort(xs.begin(), xs.end());
        xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
        std::vector<Interval> out;
        for (size_t j = 0; j + 1 < xs.size(); ++j) {
            bool inA = inside(ia, xs[j], xs[j + 1]);
            bool inB = inside(ib, xs[j], xs[j + 1]);
            bool in = false;
            switch (op) {
            case Op::And:
                in = inA && inB;
                break;
            case Op::Or:
                in = inA || inB;
                break;
            case Op::Diff:
                in = inA && !inB;
                break;
            case Op::Xor:
                in = inA != inB;
                break;
            }
            if (!in) continue;
            if (!out.empty() && out.back().x1 == xs[j])
                out.back().x1 = xs[j + 1];
            else
                out.push_back({xs[j], xs[j + 1]});
        }
        if (out.empty()) continue;
        if (!bands.empty() && bands.back().y1 == y0 && bands.back().xs == out)
            bands.back().y1 = y1;
        else
            bands.push_back({y0, y1, std::move(out)});
    }
    Region result;
    for (auto& band : bands)
        for (auto& iv : band.xs)
            result.rects_.push_back(RECT{iv.x0, band.y0, iv.x1, band.y1});
    return result;
}

} // namespace ax
