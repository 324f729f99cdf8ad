#pragma once
// The raster engine: shapes become a coverage map (which ink covers which pixel), and one loop
// combines ink, source and destination bitwise per covered pixel. Cairo only rasterises, without
// antialiasing; its compositing operators are never used for raster operations.

#include "core/gdi/GdiObjects.h"

#include <cairo.h>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

namespace plat::core {

// A ternary raster operation (the code's middle byte) on 24-bit words: the OR, over the minterms
// whose bit is set in the code, of (P or not P) and (S or not S) and (D or not D). Bit
// index = P * 4 + S * 2 + D.
std::uint32_t Rop3(std::uint8_t code, std::uint32_t p, std::uint32_t s, std::uint32_t d);
// A binary raster operation (R2_*): bit index (code - 1) is P * 2 + D.
std::uint32_t Rop2(int rop2, std::uint32_t p, std::uint32_t d);

// What covers a pixel.
enum Ink : std::uint8_t { kNoInk = 0, kPenInk = 1, kGapInk = 2, kBrushInk = 3, kSourceInk = 4 };

// The inks of a cached shape's box, row by row, and the same as runs of one ink: row y's runs
// are runs[rowRuns[y]] up to runs[rowRuns[y + 1]], columns relative to the box.
struct CoverageInks {
    struct Run {
        std::int32_t first, end;
        std::uint8_t ink;
    };
    std::vector<std::uint8_t> inks;
    std::vector<std::uint32_t> rowRuns; // one more than the rows
    std::vector<Run> runs;
};

// Coverage of a rectangle of the surface (surface coordinates).
class Coverage {
public:
    explicit Coverage(RECT box);
    // A coverage that only reads `inks` (the box's inks row by row, shared with the shape cache).
    Coverage(RECT box, std::shared_ptr<const CoverageInks> inks);
    const RECT& box() const { return m_box; }
    bool emptyBox() const { return m_box.left >= m_box.right || m_box.top >= m_box.bottom; }
    std::uint8_t at(int x, int y) const {
        return data()[static_cast<std::size_t>((y - m_box.top) * width() + (x - m_box.left))];
    }
    // The inks of row y, starting at the box's left edge.
    const std::uint8_t* row(int y) const {
        return data() + static_cast<std::size_t>((y - m_box.top) * width());
    }
    // The runs of one ink of row y (null for a coverage that was drawn into).
    const CoverageInks::Run* runs(int y, const CoverageInks::Run** end) const {
        if (!m_shared)
            return nullptr;
        const auto i = static_cast<std::size_t>(y - m_box.top);
        *end = m_shared->runs.data() + m_shared->rowRuns[i + 1];
        return m_shared->runs.data() + m_shared->rowRuns[i];
    }
    void set(int x, int y, std::uint8_t ink) {
        if (x >= m_box.left && x < m_box.right && y >= m_box.top && y < m_box.bottom)
            m_v[static_cast<std::size_t>((y - m_box.top) * width() + (x - m_box.left))] = ink;
    }
    void fillRect(const RECT& r, std::uint8_t ink);
    // Rasterises a path built by `path` (surface coordinates) and marks what Cairo covers.
    void fill(std::uint8_t ink, cairo_fill_rule_t rule, const std::function<void(cairo_t*)>& path);
    void stroke(std::uint8_t ink, double width, const std::function<void(cairo_t*)>& path);
    int width() const { return m_box.right - m_box.left; }
    // Every ink of the box, row by row (of a coverage that was drawn into).
    const std::vector<std::uint8_t>& inks() const { return m_v; }

private:
    const std::uint8_t* data() const { return m_shared ? m_shared->inks.data() : m_v.data(); }
    void rasterise(std::uint8_t ink, const std::function<void(cairo_t*)>& draw);
    RECT m_box;
    std::vector<std::uint8_t> m_v;
    std::shared_ptr<const CoverageInks> m_shared;
};

// Coverage of shapes drawn before, kept by the exact description of the shape relative to its
// box: the same curves drawn again at a whole-pixel offset (a delimiter or integral sign of the
// same size elsewhere, or the same picture drawn again) reuse the inks instead of flattening and
// rasterising them again. A key is only made when every coordinate is a multiple of 1/256 pixel,
// so that the coordinates relative to the box, which is what Cairo is given, are exact and
// Cairo's fixed-point input is the same shape moved by whole pixels. The least recently used
// shapes are dropped beyond a small budget.
class CoverageKey {
public:
    // Starts a key for a kind of shape over `box`, with the parameters that change its pixels.
    CoverageKey(const RECT& box, std::initializer_list<int> params);
    // Adds a point (surface coordinates); a point that is not on the 1/256 grid, or far away,
    // makes the key unusable.
    void point(double x, double y);
    void tag(int v) { m_words.push_back(static_cast<std::int32_t>(v)); }
    bool usable() const { return m_usable; }
    const std::vector<std::int32_t>& words() const { return m_words; }

private:
    RECT m_box;
    bool m_usable = true;
    std::vector<std::int32_t> m_words;
};
// The cached inks of a key (its box's inks row by row), or null.
std::shared_ptr<const CoverageInks> FindCachedCoverage(const CoverageKey& key);
void StoreCachedCoverage(const CoverageKey& key, const Coverage& cov);
// Turns the cache off (every shape rasterised afresh, nothing stored) or on again: for
// comparisons.
void SetCoverageCaching(bool on);
bool CoverageCaching();
// Shapes taken from the cache so far in this thread.
std::size_t CoverageCacheHits();

// Cosmetic (1-pixel) line styles: PS_DOT 3 on / 3 off, PS_DASH 18 on / 6 off. The phase runs on
// across the segments of one polyline.
struct LineStyle {
    int style = PS_SOLID;
    bool opaqueGaps = false;
    int phase = 0;
};
// Marks the pixels of a Bresenham line from (x0, y0) to (x1, y1) (surface coordinates); the last
// point is marked only when `drawLast` is set.
void CosmeticLine(Coverage& cov, int x0, int y0, int x1, int y1, bool drawLast, LineStyle& style);

// A per-pixel colour: solid, or a brush pattern whose phase is anchored at `org` (surface
// coordinates of the pattern's (0, 0)); mono patterns take `text` for 0 bits and `bk` for 1 bits.
struct InkColor {
    bool present = false;
    std::uint32_t solid = 0;
    const BrushObject* pattern = nullptr;
    std::uint32_t text = 0;
    std::uint32_t bk = 0;
    POINT org;
    std::uint32_t at(int x, int y) const;
};

// The source image of a blit, already converted to the destination's colours and laid over the
// destination box: pixel (x, y) of the destination reads s[(y - box.top) * width + x - box.left],
// drawn only where `valid` is set.
struct SourceImage {
    RECT box{};
    std::vector<std::uint32_t> pixels;
    std::vector<std::uint8_t> valid;
};

struct PaintOp {
    bool ternary = false; // Rop3 with `rop3`, else Rop2 with `rop2`
    int rop2 = R2_COPYPEN;
    std::uint8_t rop3 = 0xCC;
    InkColor pen;   // kPenInk
    InkColor gap;   // kGapInk
    InkColor brush; // kBrushInk, and P of ternary operations
    const SourceImage* source = nullptr;
};

// Combines the covered pixels that lie inside the DC's effective clip into its surface. Returns
// false when the DC has no surface.
bool Apply(Dc& dc, const Coverage& cov, const PaintOp& op);
// Apply with the brush covering every pixel of `box` (surface coordinates), without building a
// coverage map.
bool ApplyFill(Dc& dc, const RECT& box, const PaintOp& op);

// Ink of the DC's selected brush (absent for the null brush), and of a colour.
InkColor BrushInk(const Dc& dc, HBRUSH brush);
InkColor SolidInk(const Dc& dc, COLORREF c);

// The box of the DC's effective clip bounds intersected with `r` (surface coordinates).
RECT ClipBox(const Dc& dc, RECT r);

} // namespace plat::core
