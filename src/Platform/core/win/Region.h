#pragma once
// A set of pixels held as y-x banded rectangles: update regions, clip regions and region objects.

#include "plat/Types.h"

#include <vector>

namespace plat::core {

// Rectangles are half-open: [left, right) x [top, bottom). The list is kept canonical: bands of
// equal top and bottom, sorted by top; within a band, rectangles sorted by left and neither
// overlapping nor touching; vertically adjacent bands with the same spans are merged. Two regions
// with the same pixels therefore have the same list.
class Region {
public:
    Region();
    explicit Region(const RECT& r);

    bool empty() const { return m_rects.empty(); }
    RECT bounds() const;

    void unite(const Region& o);
    void intersect(const Region& o);
    void subtract(const Region& o);
    void exclusiveOr(const Region& o);
    void offset(int dx, int dy);

    bool contains(int x, int y) const;
    bool intersects(const RECT& r) const;

    const std::vector<RECT>& rects() const { return m_rects; }
    bool operator==(const Region& o) const;

private:
    enum class Op { Union, Intersect, Subtract, Xor };
    void combine(const Region& o, Op op);

    std::vector<RECT> m_rects;
};

} // namespace plat::core
