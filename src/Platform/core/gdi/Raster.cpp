#include "core/gdi/Raster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <list>
#include <unordered_map>
#include <utility>

namespace plat::core {

std::uint32_t Rop3(std::uint8_t code, std::uint32_t p, std::uint32_t s, std::uint32_t d) {
    std::uint32_t out = 0;
    for (int i = 0; i < 8; ++i) {
        if (!((code >> i) & 1))
            continue;
        const std::uint32_t tp = (i & 4) ? p : ~p;
        const std::uint32_t ts = (i & 2) ? s : ~s;
        const std::uint32_t td = (i & 1) ? d : ~d;
        out |= tp & ts & td;
    }
    return out & 0xFFFFFF;
}

std::uint32_t Rop2(int rop2, std::uint32_t p, std::uint32_t d) {
    const int code = rop2 - 1;
    std::uint32_t out = 0;
    for (int i = 0; i < 4; ++i) {
        if (!((code >> i) & 1))
            continue;
        const std::uint32_t tp = (i & 2) ? p : ~p;
        const std::uint32_t td = (i & 1) ? d : ~d;
        out |= tp & td;
    }
    return out & 0xFFFFFF;
}

// --- Coverage ------------------------------------------------------------------------------------

namespace {

bool allZero8(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v == 0;
}

} // namespace

Coverage::Coverage(RECT box)
    : m_box(box) {
    if (emptyBox())
        m_box = RECT{};
    m_v.assign(static_cast<std::size_t>(width()) *
                   static_cast<std::size_t>(m_box.bottom - m_box.top),
               kNoInk);
}

Coverage::Coverage(RECT box, std::shared_ptr<const CoverageInks> inks)
    : m_box(box)
    , m_shared(std::move(inks)) {
    const auto h = static_cast<std::size_t>(m_box.bottom - m_box.top);
    if (emptyBox() || !m_shared || m_shared->inks.size() != static_cast<std::size_t>(width()) * h ||
        m_shared->rowRuns.size() != h + 1) {
        m_box = RECT{};
        m_shared.reset();
    }
}

void Coverage::fillRect(const RECT& r, std::uint8_t ink) {
    const int l = std::max(r.left, m_box.left), rr = std::min(r.right, m_box.right);
    const int t = std::max(r.top, m_box.top), b = std::min(r.bottom, m_box.bottom);
    if (l >= rr)
        return;
    for (int y = t; y < b; ++y) {
        auto* row =
            m_v.data() + static_cast<std::size_t>((y - m_box.top) * width() + (l - m_box.left));
        std::fill(row, row + (rr - l), ink);
    }
}

void Coverage::rasterise(std::uint8_t ink, const std::function<void(cairo_t*)>& draw) {
    if (emptyBox())
        return;
    const int w = width(), h = m_box.bottom - m_box.top;
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
    if (cairo_surface_status(mask) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(mask);
        return;
    }
    cairo_t* cr = cairo_create(mask);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_translate(cr, -m_box.left, -m_box.top);
    draw(cr);
    cairo_destroy(cr);
    cairo_surface_flush(mask);
    const auto* data = cairo_image_surface_get_data(mask);
    const int stride = cairo_image_surface_get_stride(mask);
    for (int y = 0; y < h; ++y) {
        const auto* src = data + static_cast<std::ptrdiff_t>(y) * stride;
        auto* dst = m_v.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
        // Shapes are thin in their boxes (strokes, curved delimiters): eight empty pixels at a
        // time are skipped.
        int x = 0;
        for (; x + 8 <= w; x += 8) {
            if (allZero8(src + x))
                continue;
            for (int k = x; k < x + 8; ++k)
                if (src[k] >= 0x80)
                    dst[k] = ink;
        }
        for (; x < w; ++x)
            if (src[x] >= 0x80)
                dst[x] = ink;
    }
    cairo_surface_destroy(mask);
}

void Coverage::fill(std::uint8_t ink, cairo_fill_rule_t rule,
                    const std::function<void(cairo_t*)>& path) {
    rasterise(ink, [&](cairo_t* cr) {
        cairo_set_fill_rule(cr, rule);
        path(cr);
        cairo_fill(cr);
    });
}

void Coverage::stroke(std::uint8_t ink, double width, const std::function<void(cairo_t*)>& path) {
    rasterise(ink, [&](cairo_t* cr) {
        cairo_set_line_width(cr, width);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        path(cr);
        cairo_stroke(cr);
    });
}

// --- Coverage cache ------------------------------------------------------------------------------

CoverageKey::CoverageKey(const RECT& box, std::initializer_list<int> params)
    : m_box(box) {
    m_words.reserve(64);
    m_words.push_back(box.right - box.left);
    m_words.push_back(box.bottom - box.top);
    for (int p : params)
        m_words.push_back(static_cast<std::int32_t>(p));
    if (box.left >= box.right || box.top >= box.bottom)
        m_usable = false;
}

void CoverageKey::point(double x, double y) {
    if (!m_usable)
        return;
    // Coordinates relative to the box, in 1/256 pixels; within a million pixels both the
    // absolute and the relative values are exact in double and in Cairo's 24.8 fixed point.
    constexpr double kLimit = 1 << 20;
    const double fx = (x - m_box.left) * 256.0, fy = (y - m_box.top) * 256.0;
    if (!(std::fabs(x) < kLimit && std::fabs(y) < kLimit && std::fabs(fx) < kLimit * 256 &&
          std::fabs(fy) < kLimit * 256) ||
        fx != std::floor(fx) || fy != std::floor(fy)) {
        m_usable = false;
        return;
    }
    m_words.push_back(static_cast<std::int32_t>(fx));
    m_words.push_back(static_cast<std::int32_t>(fy));
}

namespace {

struct KeyHash {
    std::size_t operator()(const std::vector<std::int32_t>& v) const {
        std::uint64_t h = 1469598103934665603ull;
        for (std::int32_t w : v) {
            h ^= static_cast<std::uint32_t>(w);
            h *= 1099511628211ull;
        }
        return static_cast<std::size_t>(h ^ (h >> 29));
    }
};

class CoverageCache {
    static std::size_t footprint(const CoverageInks& c) {
        return c.inks.size() + c.rowRuns.size() * sizeof(std::uint32_t) +
               c.runs.size() * sizeof(CoverageInks::Run);
    }

public:
    using Inks = std::shared_ptr<const CoverageInks>;
    Inks find(const std::vector<std::int32_t>& key) {
        auto it = m_map.find(key);
        if (it == m_map.end())
            return nullptr;
        m_order.splice(m_order.begin(), m_order, it->second);
        return it->second->second;
    }
    void store(const std::vector<std::int32_t>& key, const Coverage& cov) {
        const std::vector<std::uint8_t>& inks = cov.inks();
        if (inks.size() > kMaxShapeBytes || m_map.count(key))
            return;
        auto entry = std::make_shared<CoverageInks>();
        entry->inks = inks;
        const int w = cov.width(), h = cov.box().bottom - cov.box().top;
        entry->rowRuns.reserve(static_cast<std::size_t>(h) + 1);
        for (int y = 0; y < h; ++y) {
            entry->rowRuns.push_back(static_cast<std::uint32_t>(entry->runs.size()));
            const std::uint8_t* row = inks.data() + static_cast<std::size_t>(y) * w;
            for (int x = 0; x < w;) {
                if (x + 8 <= w && allZero8(row + x)) {
                    x += 8;
                    continue;
                }
                const std::uint8_t ink = row[x];
                int end = x + 1;
                while (end < w && row[end] == ink)
                    ++end;
                if (ink != kNoInk)
                    entry->runs.push_back(CoverageInks::Run{x, end, ink});
                x = end;
            }
        }
        entry->rowRuns.push_back(static_cast<std::uint32_t>(entry->runs.size()));
        const std::size_t bytes = footprint(*entry) + key.size() * sizeof(std::int32_t);
        m_order.emplace_front(key, std::move(entry));
        m_map.emplace(key, m_order.begin());
        m_bytes += bytes;
        while (m_bytes > kMaxBytes || m_map.size() > kMaxShapes) {
            auto& last = m_order.back();
            m_bytes -= footprint(*last.second) + last.first.size() * sizeof(std::int32_t);
            m_map.erase(last.first);
            m_order.pop_back();
        }
    }
    bool on = true;
    std::size_t hits = 0;

private:
    static constexpr std::size_t kMaxShapeBytes = 1024 * 1024;
    static constexpr std::size_t kMaxBytes = 8 * 1024 * 1024;
    static constexpr std::size_t kMaxShapes = 1024;
    using Entry = std::pair<std::vector<std::int32_t>, Inks>;
    std::list<Entry> m_order; // most recently used first
    std::unordered_map<std::vector<std::int32_t>, std::list<Entry>::iterator, KeyHash> m_map;
    std::size_t m_bytes = 0;
};

CoverageCache& coverageCache() {
    thread_local CoverageCache cache;
    return cache;
}

} // namespace

std::shared_ptr<const CoverageInks> FindCachedCoverage(const CoverageKey& key) {
    CoverageCache& cache = coverageCache();
    if (!cache.on || !key.usable())
        return nullptr;
    auto inks = cache.find(key.words());
    if (inks)
        ++cache.hits;
    return inks;
}

void StoreCachedCoverage(const CoverageKey& key, const Coverage& cov) {
    CoverageCache& cache = coverageCache();
    if (cache.on && key.usable())
        cache.store(key.words(), cov);
}

void SetCoverageCaching(bool on) {
    coverageCache().on = on;
}

std::size_t CoverageCacheHits() {
    return coverageCache().hits;
}

bool CoverageCaching() {
    return coverageCache().on;
}

// --- Cosmetic lines ------------------------------------------------------------------------------

namespace {

// Whether the style's pattern is "on" at a phase, and the pattern's length.
bool styleOn(int style, int phase) {
    switch (style) {
    case PS_DOT:
        return phase % 6 < 3;
    case PS_DASH:
        return phase % 24 < 18;
    case PS_DASHDOT: { // 9 on, 6 off, 3 on, 6 off
        const int p = phase % 24;
        return p < 9 || (p >= 15 && p < 18);
    }
    case PS_DASHDOTDOT: { // 9 on, 3 off, 3 on, 3 off, 3 on, 3 off
        const int p = phase % 24;
        return p < 9 || (p >= 12 && p < 15) || (p >= 18 && p < 21);
    }
    default:
        return true;
    }
}

// Rounds a / b to the nearest integer, halves upward, for b > 0.
long long divRound(long long a, long long b) {
    long long n = 2 * a + b;
    long long d = 2 * b;
    long long q = n / d;
    if ((n % d) != 0 && ((n < 0) != (d < 0)))
        --q;
    return q;
}

} // namespace

void CosmeticLine(Coverage& cov, int x0, int y0, int x1, int y1, bool drawLast, LineStyle& style) {
    const long long dx = static_cast<long long>(x1) - x0, dy = static_cast<long long>(y1) - y0;
    const long long n = std::max(std::llabs(dx), std::llabs(dy));
    const long long steps = drawLast ? n + 1 : n;
    // Only the steps that can land in the coverage box are walked, so a line running far outside
    // the image costs no more than one across it. Step i lies near (x0, y0) + i (dx, dy) / n.
    long long first = 0, last = steps;
    if (n > 0) {
        const RECT& b = cov.box();
        auto limit = [&](long long p0, long long d, long long lo, long long hi) {
            // Steps with lo - 1 <= p0 + i * d / n <= hi + 1.
            if (d == 0) {
                if (p0 < lo - 1 || p0 > hi + 1)
                    last = first;
                return;
            }
            double a =
                static_cast<double>(lo - 1 - p0) * static_cast<double>(n) / static_cast<double>(d);
            double c =
                static_cast<double>(hi + 1 - p0) * static_cast<double>(n) / static_cast<double>(d);
            if (a > c)
                std::swap(a, c);
            first = std::max(first, static_cast<long long>(std::floor(a)) - 1);
            last = std::min(last, static_cast<long long>(std::ceil(c)) + 2);
        };
        limit(x0, dx, b.left, b.right);
        limit(y0, dy, b.top, b.bottom);
    }
    if (first >= last) {
        style.phase += static_cast<int>(steps % 24);
        return;
    }
    style.phase += static_cast<int>(first % 24);
    for (long long i = first; i < last; ++i) {
        int x, y;
        if (n == 0) {
            x = x0;
            y = y0;
        } else {
            x = static_cast<int>(x0 + divRound(i * dx, n));
            y = static_cast<int>(y0 + divRound(i * dy, n));
        }
        if (styleOn(style.style, style.phase))
            cov.set(x, y, kPenInk);
        else if (style.opaqueGaps)
            cov.set(x, y, kGapInk);
        ++style.phase;
    }
    style.phase += static_cast<int>((steps - last) % 24);
}

// --- Inks ----------------------------------------------------------------------------------------

std::uint32_t InkColor::at(int x, int y) const {
    if (!pattern)
        return solid;
    const int w = pattern->m_patWidth, h = pattern->m_patHeight;
    int px = (x - org.x) % w, py = (y - org.y) % h;
    if (px < 0)
        px += w;
    if (py < 0)
        py += h;
    const std::uint32_t p = pattern->m_pattern[static_cast<std::size_t>(py * w + px)];
    if (pattern->m_patMono)
        return p == kWhitePixel ? bk : text;
    return p;
}

namespace {

std::uint32_t forTarget(const Dc& dc, std::uint32_t p) {
    return dc.mono() ? dc.monoPixel(p) : p;
}

} // namespace

InkColor SolidInk(const Dc& dc, COLORREF c) {
    InkColor ink;
    ink.present = true;
    ink.solid = forTarget(dc, PixelFromColor(ResolveColor(c)));
    return ink;
}

InkColor BrushInk(const Dc& dc, HBRUSH brush) {
    InkColor ink;
    auto b = LookupGdiObjectAs<BrushObject>(brush, GdiKind::Brush, "brush");
    if (!b || b->m_style == BrushObject::Style::Null)
        return ink;
    if (b->m_style == BrushObject::Style::Solid)
        return SolidInk(dc, b->m_color);
    if (b->m_pattern.empty())
        return ink;
    ink.present = true;
    ink.pattern = b.get(); // the brush lives in the object table for the whole call
    ink.text = forTarget(dc, PixelFromColor(ResolveColor(dc.state.textColor)));
    ink.bk = forTarget(dc, PixelFromColor(ResolveColor(dc.state.bkColor)));
    ink.org = POINT{dc.origin.x + dc.state.brushOrg.x, dc.origin.y + dc.state.brushOrg.y};
    return ink;
}

RECT ClipBox(const Dc& dc, RECT r) {
    const Region& clip = EffectiveClip(dc);
    if (clip.empty())
        return RECT{};
    const RECT b = clip.bounds();
    RECT out{std::max(r.left, b.left), std::max(r.top, b.top), std::min(r.right, b.right),
             std::min(r.bottom, b.bottom)};
    if (out.left >= out.right || out.top >= out.bottom)
        return RECT{};
    return out;
}

namespace {

// Stores `value` into the low three bytes of n words, each keeping its fourth byte, four words at
// a time: painting a large background is mostly this loop.
void storeKeepingFourthByte(std::uint32_t* p, int n, std::uint32_t value) {
    using Words = std::uint32_t __attribute__((vector_size(16)));
    constexpr std::uint32_t kFourth = 0xFF000000u;
    const Words keep = {kFourth, kFourth, kFourth, kFourth};
    const Words v = {value, value, value, value};
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        Words a, b;
        std::memcpy(&a, p + i, sizeof a);
        std::memcpy(&b, p + i + 4, sizeof b);
        a = (a & keep) | v;
        b = (b & keep) | v;
        std::memcpy(p + i, &a, sizeof a);
        std::memcpy(p + i + 4, &b, sizeof b);
    }
    for (; i < n; ++i)
        p[i] = (p[i] & kFourth) | value;
}

// Any operation, pixel by pixel, over the covered pixels of [l, r) x [t, b); without a coverage
// map every pixel is covered by the brush.
void applyGeneral(const PaintOp& op, const Coverage* cov, unsigned char* data, int stride,
                  bool mono, int l, int t, int r, int b) {
    for (int y = t; y < b; ++y) {
        auto* row =
            reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = l; x < r; ++x) {
            const std::uint8_t ink = cov ? cov->at(x, y) : std::uint8_t{kBrushInk};
            if (ink == kNoInk)
                continue;
            const std::uint32_t d = row[x];
            std::uint32_t result;
            if (op.ternary) {
                std::uint32_t sp = 0;
                if (op.source) {
                    const RECT& sb = op.source->box;
                    if (x < sb.left || x >= sb.right || y < sb.top || y >= sb.bottom)
                        continue;
                    const auto idx = static_cast<std::size_t>((y - sb.top) * (sb.right - sb.left) +
                                                              (x - sb.left));
                    if (!op.source->valid[idx])
                        continue;
                    sp = op.source->pixels[idx];
                }
                const std::uint32_t p = op.brush.present ? op.brush.at(x, y) : 0;
                result = Rop3(op.rop3, p, sp, d & 0xFFFFFF);
            } else {
                const InkColor& c = ink == kPenInk ? op.pen : ink == kGapInk ? op.gap : op.brush;
                if (!c.present)
                    continue;
                result = Rop2(op.rop2, c.at(x, y), d & 0xFFFFFF);
            }
            if (mono)
                result = MonoFromPixel(result);
            // The fourth byte is left as it was: DIB sections share it with their owner.
            row[x] = (d & 0xFF000000) | result;
        }
    }
}

// Apply over the box `cb`, with the inks of `cov` (whose box is `cb`) or, without it, the
// brush on every pixel of the box.
bool applyOver(Dc& dc, const RECT& cb, const Coverage* cov, const PaintOp& op) {
    cairo_surface_t* s = EnsureSurface(dc);
    if (!s)
        return false;
    if (cb.left >= cb.right || cb.top >= cb.bottom)
        return true;
    auto bm = dc.bitmap();
    if (bm)
        bm->loadFromDib();
    cairo_surface_flush(s);
    auto* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    const bool mono = dc.mono();
    const Region& clip = EffectiveClip(dc);
    // Solid inks under an operation that ignores the destination (and, for ternary ones, has no
    // source) put one fixed value per ink: those values are worked out once and the covered
    // pixels of each row are simply stored.
    const bool solidInks = !op.pen.pattern && !op.gap.pattern && !op.brush.pattern;
    const int rop2Code = op.rop2 - 1;
    const bool constant =
        solidInks &&
        (op.ternary ? !op.source &&
                          (op.rop3 == 0x00 || op.rop3 == 0x0F || op.rop3 == 0xF0 || op.rop3 == 0xFF)
                    : (rop2Code == 0 || rop2Code == 3 || rop2Code == 12 || rop2Code == 15));
    std::uint32_t inkValue[kSourceInk + 1] = {};
    bool inkPresent[kSourceInk + 1] = {};
    if (constant) {
        const InkColor* byInk[kSourceInk + 1] = {nullptr, &op.pen, &op.gap, &op.brush, &op.brush};
        for (int i = kPenInk; i <= kSourceInk; ++i) {
            std::uint32_t v;
            if (op.ternary) {
                inkPresent[i] = true;
                v = Rop3(op.rop3, op.brush.present ? op.brush.solid : 0, 0, 0);
            } else {
                inkPresent[i] = byInk[i]->present;
                v = Rop2(op.rop2, byInk[i]->solid, 0);
            }
            inkValue[i] = mono ? MonoFromPixel(v) : v;
        }
    }
    RECT touched{};
    bool any = false;
    for (const RECT& cr : clip.rects()) {
        const int l = std::max(cr.left, cb.left), r = std::min(cr.right, cb.right);
        const int t = std::max(cr.top, cb.top), b = std::min(cr.bottom, cb.bottom);
        if (l >= r || t >= b)
            continue;
        if (constant) {
            for (int y = t; y < b; ++y) {
                auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) *
                                                                        stride);
                if (!cov) {
                    if (!inkPresent[kBrushInk])
                        continue;
                    storeKeepingFourthByte(row + l, r - l, inkValue[kBrushInk]);
                    continue;
                }
                // A cached shape's row is stored run by run.
                const CoverageInks::Run* runsEnd = nullptr;
                if (const CoverageInks::Run* run = cov->runs(y, &runsEnd)) {
                    for (; run != runsEnd; ++run) {
                        const int rl = std::max(l, cb.left + run->first);
                        const int rr = std::min(r, cb.left + run->end);
                        const int k = run->ink > kSourceInk ? int{kBrushInk} : int{run->ink};
                        if (rl < rr && inkPresent[k])
                            storeKeepingFourthByte(row + rl, rr - rl, inkValue[k]);
                    }
                    continue;
                }
                const std::uint8_t* inks = cov->row(y) + (l - cb.left);
                // Eight pixels at a time: runs without ink are skipped whole.
                for (int x = l; x < r;) {
                    if (x + 8 <= r && allZero8(inks + (x - l))) {
                        x += 8;
                        continue;
                    }
                    for (const int end = std::min(x + 8, r); x < end; ++x) {
                        const std::uint8_t ink = inks[x - l];
                        if (ink == kNoInk)
                            continue;
                        const int k = ink > kSourceInk ? int{kBrushInk} : int{ink};
                        if (!inkPresent[k])
                            continue;
                        row[x] = (row[x] & 0xFF000000) | inkValue[k];
                    }
                }
            }
        } else {
            applyGeneral(op, cov, data, stride, mono, l, t, r, b);
        }
        if (!any) {
            touched = RECT{l, t, r, b};
            any = true;
        } else {
            touched.left = std::min(touched.left, l);
            touched.top = std::min(touched.top, t);
            touched.right = std::max(touched.right, r);
            touched.bottom = std::max(touched.bottom, b);
        }
    }
    cairo_surface_mark_dirty(s);
    if (bm)
        bm->flushToDib();
    if (any)
        dc.touch(touched);
    return true;
}

} // namespace

bool Apply(Dc& dc, const Coverage& cov, const PaintOp& op) {
    return applyOver(dc, cov.box(), &cov, op);
}

bool ApplyFill(Dc& dc, const RECT& box, const PaintOp& op) {
    return applyOver(dc, box, nullptr, op);
}

} // namespace plat::core
