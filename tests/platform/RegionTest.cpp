#include "core/win/Region.h"

#include <array>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <utility>

namespace {

using plat::RECT;
using plat::core::Region;

// Regions are checked against a plain pixel set over a small grid.
constexpr int kGrid = 24;
using PixelSet = std::set<std::pair<int, int>>;

PixelSet pixelsOf(const Region& r) {
    PixelSet s;
    for (const RECT& q : r.rects()) {
        for (int y = q.top; y < q.bottom; ++y)
            for (int x = q.left; x < q.right; ++x)
                s.insert({x, y});
    }
    return s;
}

PixelSet pixelsOfRect(const RECT& q) {
    PixelSet s;
    for (int y = q.top; y < q.bottom; ++y)
        for (int x = q.left; x < q.right; ++x)
            s.insert({x, y});
    return s;
}

// The invariants every region keeps: bands sorted by top then left, rectangles in one band share
// top and bottom and neither overlap nor touch, bands do not overlap, and no rectangle is empty.
void expectCanonical(const Region& r) {
    const auto& v = r.rects();
    for (std::size_t i = 0; i < v.size(); ++i) {
        ASSERT_LT(v[i].left, v[i].right);
        ASSERT_LT(v[i].top, v[i].bottom);
        if (i == 0)
            continue;
        const RECT& p = v[i - 1];
        if (p.top == v[i].top) {
            ASSERT_EQ(p.bottom, v[i].bottom);
            ASSERT_LT(p.right, v[i].left) << "touching or overlapping rectangles in a band";
        } else {
            ASSERT_LE(p.bottom, v[i].top) << "bands overlap or are out of order";
        }
    }
}

RECT randomRect(std::mt19937& rng) {
    std::uniform_int_distribution<int> d(-2, kGrid);
    int l = d(rng), r = d(rng), t = d(rng), b = d(rng);
    if (l > r)
        std::swap(l, r);
    if (t > b)
        std::swap(t, b);
    return RECT{l, t, r, b};
}

// Builds a random region from a few rectangles, also returning its pixel set.
std::pair<Region, PixelSet> randomRegion(std::mt19937& rng) {
    Region reg;
    PixelSet px;
    const int n = std::uniform_int_distribution<int>(0, 5)(rng);
    for (int i = 0; i < n; ++i) {
        RECT q = randomRect(rng);
        const bool cut = std::uniform_int_distribution<int>(0, 3)(rng) == 0;
        const PixelSet qs = pixelsOfRect(q);
        if (cut) {
            reg.subtract(Region(q));
            for (const auto& p : qs)
                px.erase(p);
        } else {
            reg.unite(Region(q));
            px.insert(qs.begin(), qs.end());
        }
    }
    return {reg, px};
}

TEST(Region, DegenerateRectangleIsEmpty) {
    const std::array<RECT, 4> cases{RECT{5, 5, 5, 9}, RECT{5, 5, 9, 5}, RECT{9, 5, 5, 9},
                                    RECT{5, 9, 9, 5}};
    for (const RECT& r : cases) {
        Region g(r);
        EXPECT_TRUE(g.empty());
        const RECT b = g.bounds();
        EXPECT_EQ(0, b.left | b.top | b.right | b.bottom);
    }
}

TEST(Region, RandomAlgebraMatchesPixelModel) {
    std::mt19937 rng(20261207);
    for (int round = 0; round < 600; ++round) {
        SCOPED_TRACE(round);
        auto [a, pa] = randomRegion(rng);
        auto [b, pb] = randomRegion(rng);
        ASSERT_EQ(pixelsOf(a), pa);
        expectCanonical(a);

        PixelSet u = pa, i, d, x;
        u.insert(pb.begin(), pb.end());
        for (const auto& p : pa) {
            if (pb.count(p))
                i.insert(p);
            else
                d.insert(p);
        }
        for (const auto& p : u) {
            if (pa.count(p) != pb.count(p))
                x.insert(p);
        }
        Region ru = a, ri = a, rd = a, rx = a;
        ru.unite(b);
        ri.intersect(b);
        rd.subtract(b);
        rx.exclusiveOr(b);
        EXPECT_EQ(pixelsOf(ru), u);
        EXPECT_EQ(pixelsOf(ri), i);
        EXPECT_EQ(pixelsOf(rd), d);
        EXPECT_EQ(pixelsOf(rx), x);
        for (const Region* r : {&ru, &ri, &rd, &rx})
            expectCanonical(*r);

        // Equality is by pixels: the same set reached another way compares equal.
        Region viaXor = ru;
        viaXor.subtract(ri);
        EXPECT_TRUE(viaXor == rx);
        EXPECT_EQ(pa == pb, a == b);

        // Point and rectangle queries agree with the model.
        for (int y = -3; y <= kGrid + 1; y += 2)
            for (int xx = -3; xx <= kGrid + 1; xx += 3)
                ASSERT_EQ(pa.count({xx, y}) == 1, a.contains(xx, y)) << xx << "," << y;
        const RECT q = randomRect(rng);
        bool hit = false;
        for (const auto& p : pixelsOfRect(q))
            hit = hit || pa.count(p);
        EXPECT_EQ(hit, a.intersects(q));

        // Bounds are the tightest box around the pixels.
        if (pa.empty()) {
            EXPECT_TRUE(a.empty());
        } else {
            int l = kGrid, t = kGrid, r = -kGrid, bt = -kGrid;
            for (const auto& [px, py] : pa) {
                l = std::min(l, px);
                t = std::min(t, py);
                r = std::max(r, px + 1);
                bt = std::max(bt, py + 1);
            }
            const RECT bb = a.bounds();
            EXPECT_EQ(l, bb.left);
            EXPECT_EQ(t, bb.top);
            EXPECT_EQ(r, bb.right);
            EXPECT_EQ(bt, bb.bottom);
        }
    }
}

TEST(Region, OffsetMovesEveryPixel) {
    std::mt19937 rng(7);
    for (int round = 0; round < 50; ++round) {
        auto [a, pa] = randomRegion(rng);
        a.offset(-7, 11);
        PixelSet moved;
        for (const auto& [x, y] : pa)
            moved.insert({x - 7, y + 11});
        EXPECT_EQ(pixelsOf(a), moved);
    }
}

TEST(Region, TouchingRectanglesMergeIntoOne) {
    Region r(RECT{0, 0, 10, 5});
    r.unite(Region(RECT{10, 0, 20, 5}));
    r.unite(Region(RECT{0, 5, 20, 9}));
    ASSERT_EQ(1u, r.rects().size());
    EXPECT_EQ(20, r.rects()[0].right);
    EXPECT_EQ(9, r.rects()[0].bottom);
}

} // namespace
