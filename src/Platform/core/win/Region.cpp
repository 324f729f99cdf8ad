#include "core/win/Region.h"

#include <algorithm>
#include <cstddef>

namespace plat::core {

namespace {

struct Span {
    LONG left;
    LONG right;
};

bool sameSpans(const std::vector<Span>& a, const std::vector<Span>& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].left != b[i].left || a[i].right != b[i].right)
            return false;
    }
    return true;
}

// The spans of the band of `rects` that covers row interval starting at y (bands never straddle
// a breakpoint, because breakpoints include every band edge).
void spansAt(const std::vector<RECT>& rects, LONG y, std::vector<Span>& out) {
    out.clear();
    for (const RECT& r : rects) {
        if (r.top > y)
            break;
        if (r.bottom > y)
            out.push_back({r.left, r.right});
    }
}

bool inside(bool a, bool b, int op) {
    switch (op) {
    case 0:
        return a || b;
    case 1:
        return a && b;
    case 2:
        return a && !b;
    default:
        return a != b;
    }
}

// Combines two sorted, disjoint span lists with a boolean operator by sweeping their edges.
void combineSpans(const std::vector<Span>& a, const std::vector<Span>& b, int op,
                  std::vector<Span>& out) {
    out.clear();
    std::vector<LONG> xs;
    xs.reserve(2 * (a.size() + b.size()));
    for (const Span& s : a) {
        xs.push_back(s.left);
        xs.push_back(s.right);
    }
    for (const Span& s : b) {
        xs.push_back(s.left);
        xs.push_back(s.right);
    }
    std::sort(xs.begin(), xs.end());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    std::size_t ia = 0, ib = 0;
    for (std::size_t i = 0; i + 1 < xs.size(); ++i) {
        const LONG x = xs[i];
        while (ia < a.size() && a[ia].right <= x)
            ++ia;
        while (ib < b.size() && b[ib].right <= x)
            ++ib;
        const bool inA = ia < a.size() && a[ia].left <= x;
        const bool inB = ib < b.size() && b[ib].left <= x;
        if (!inside(inA, inB, op))
            continue;
        if (!out.empty() && out.back().right == x)
            out.back().right = xs[i + 1];
        else
            out.push_back({x, xs[i + 1]});
    }
}

} // namespace

Region::Region() = default;

Region::Region(const RECT& r) {
    if (r.left < r.right && r.top < r.bottom)
        m_rects.push_back(r);
}

RECT Region::bounds() const {
    if (m_rects.empty())
        return RECT{};
    RECT b = m_rects.front();
    b.bottom = m_rects.back().bottom;
    for (const RECT& r : m_rects) {
        b.left = std::min(b.left, r.left);
        b.right = std::max(b.right, r.right);
    }
    return b;
}

void Region::combine(const Region& o, Op op) {
    const int code = static_cast<int>(op);
    std::vector<LONG> ys;
    ys.reserve(2 * (m_rects.size() + o.m_rects.size()));
    for (const RECT& r : m_rects) {
        ys.push_back(r.top);
        ys.push_back(r.bottom);
    }
    for (const RECT& r : o.m_rects) {
        ys.push_back(r.top);
        ys.push_back(r.bottom);
    }
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());

    std::vector<RECT> result;
    std::vector<Span> sa, sb, cur, prev;
    std::size_t prevStart = 0; // index in result of the previous band's first rectangle
    LONG prevBottom = 0;
    bool havePrev = false;
    for (std::size_t i = 0; i + 1 < ys.size(); ++i) {
        const LONG top = ys[i];
        const LONG bottom = ys[i + 1];
        spansAt(m_rects, top, sa);
        spansAt(o.m_rects, top, sb);
        combineSpans(sa, sb, code, cur);
        if (cur.empty()) {
            havePrev = false;
            continue;
        }
        if (havePrev && prevBottom == top && sameSpans(prev, cur)) {
            // Same spans directly below: grow the previous band instead of starting a new one.
            for (std::size_t k = prevStart; k < result.size(); ++k)
                result[k].bottom = bottom;
        } else {
            prevStart = result.size();
            for (const Span& s : cur)
                result.push_back(RECT{s.left, top, s.right, bottom});
            prev = cur;
            havePrev = true;
        }
        prevBottom = bottom;
    }
    m_rects = std::move(result);
}

void Region::unite(const Region& o) {
    combine(o, Op::Union);
}
void Region::intersect(const Region& o) {
    combine(o, Op::Intersect);
}
void Region::subtract(const Region& o) {
    combine(o, Op::Subtract);
}
void Region::exclusiveOr(const Region& o) {
    combine(o, Op::Xor);
}

void Region::offset(int dx, int dy) {
    for (RECT& r : m_rects) {
        r.left += dx;
        r.right += dx;
        r.top += dy;
        r.bottom += dy;
    }
}

bool Region::contains(int x, int y) const {
    for (const RECT& r : m_rects) {
        if (r.top > y)
            break;
        if (y < r.bottom && x >= r.left && x < r.right)
            return true;
    }
    return false;
}

bool Region::intersects(const RECT& q) const {
    if (q.left >= q.right || q.top >= q.bottom)
        return false;
    for (const RECT& r : m_rects) {
        if (r.top >= q.bottom)
            break;
        if (r.bottom > q.top && r.left < q.right && r.right > q.left)
            return true;
    }
    return false;
}

bool Region::operator==(const Region& o) const {
    if (m_rects.size() != o.m_rects.size())
        return false;
    for (std::size_t i = 0; i < m_rects.size(); ++i) {
        const RECT& a = m_rects[i];
        const RECT& b = o.m_rects[i];
        if (a.left != b.left || a.top != b.top || a.right != b.right || a.bottom != b.bottom)
            return false;
    }
    return true;
}

} // namespace plat::core
