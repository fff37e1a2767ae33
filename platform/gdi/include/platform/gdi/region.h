#pragma once
// A region as a list of disjoint rectangles in y-x bands: rows of equal
// height, each row a sorted run of non-touching x intervals, and no two
// neighbouring rows with the same intervals. Equal areas therefore have
// equal representations, which makes comparison a plain equality.
#include "platform/gdi/types.h"

#include <vector>

namespace ax {

class Region {
public:
    Region() = default;
    explicit Region(const RECT& r);
    // The union of any rectangles; a list already in canonical form (as
    // another banded region type hands out) is taken as it is.
    static Region fromRects(std::vector<RECT> rects);

    bool empty() const { return rects_.empty(); }
    const std::vector<RECT>& rects() const { return rects_; }
    RECT bounds() const;
    bool contains(int x, int y) const;
    bool intersects(const RECT& r) const;
    void offset(int dx, int dy);

    Region intersected(const Region& other) const;
    Region united(const Region& other) const;
    Region subtracted(const Region& other) const;
    Region xored(const Region& other) const;

    friend bool operator==(const Region&, const Region&) = default;

private:
    enum class Op { And, Or, Diff, Xor };
    static Region combine(const Region& a, const Region& b, Op op);
    std::vector<RECT> rects_;
};

} // namespace ax
