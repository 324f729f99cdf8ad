#include "core/font/TextRenderer.h"

#include "core/gdi/GdiInternal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace plat::fontcore {

namespace {

void setColor(cairo_t* cr, COLORREF c) {
    cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
}

const cairo_font_options_t* fontOptions() {
    // Mono glyphs with hinted shapes; the positions are ours, so hinted metrics are never used.
    static cairo_font_options_t* options = [] {
        cairo_font_options_t* o = cairo_font_options_create();
        cairo_font_options_set_antialias(o, CAIRO_ANTIALIAS_NONE);
        cairo_font_options_set_hint_style(o, CAIRO_HINT_STYLE_FULL);
        cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_OFF);
        return o;
    }();
    return options;
}

// The run's frame: the baseline starts at `origin`, runs along `dir` and "down" is `down`
// (device pixels, y down). Quarter turns use exact unit vectors.
struct Frame {
    double ox = 0;
    double oy = 0;
    double c = 1; // cos of the escapement
    double s = 0; // sin of the escapement
    double px(double u, double v) const { return ox + u * c + v * s; }
    double py(double u, double v) const { return oy - u * s + v * c; }
};

// Glyph space (y down) -> device: shear for synthetic italic, scale, then rotate. Both renderers
// build the matrix with this one expression, so that Cairo sees the very same scaled font.
cairo_matrix_t fontMatrix(double ppem, const Frame& f, bool syntheticItalic) {
    const double sh = syntheticItalic ? kItalicShear : 0.0;
    cairo_matrix_t m;
    cairo_matrix_init(&m, ppem * f.c, -ppem * f.s, ppem * (f.s - sh * f.c), ppem * (f.c + sh * f.s),
                      0, 0);
    return m;
}

// What Cairo's state is for glyphs: the renderers and the mask maker set it up alike.
void setGlyphState(cairo_t* cr, cairo_font_face_t* face, const cairo_matrix_t& m) {
    cairo_set_font_face(cr, face);
    cairo_set_font_matrix(cr, &m);
    cairo_set_font_options(cr, fontOptions());
}

void quad(cairo_t* cr, const Frame& f, double u0, double v0, double u1, double v1) {
    cairo_move_to(cr, f.px(u0, v0), f.py(u0, v0));
    cairo_line_to(cr, f.px(u1, v0), f.py(u1, v0));
    cairo_line_to(cr, f.px(u1, v1), f.py(u1, v1));
    cairo_line_to(cr, f.px(u0, v1), f.py(u0, v1));
    cairo_close_path(cr);
}

struct Box {
    double l = 0, t = 0, r = 0, b = 0;
    bool any = false;
    void add(double x, double y) {
        if (!any) {
            l = r = x;
            t = b = y;
            any = true;
            return;
        }
        l = std::min(l, x);
        r = std::max(r, x);
        t = std::min(t, y);
        b = std::max(b, y);
    }
};

// A run worked out: its characters, their glyphs, pen positions along the baseline and the frame.
// The buffers are reused between calls instead of allocated for every string.
struct RunPlan {
    std::vector<unsigned> codes;
    std::vector<long> pen;
    std::vector<GlyphRef> glyphs;
    long total = 0;
    long escapement = 0; // tenths of a degree, in [0, 3600)
    Frame f;
};

RunPlan& planRun(const FontInstance& font, const TextRun& run) {
    thread_local RunPlan p;
    p.codes = font.codes(run.text, run.count);
    const TEXTMETRIC& tm = font.textMetrics();
    p.pen.resize(p.codes.size());
    p.glyphs.resize(p.codes.size());
    long total = 0;
    std::size_t byte = 0;
    for (std::size_t i = 0; i < p.codes.size(); ++i) {
        p.glyphs[i] = font.glyph(p.codes[i]);
        p.pen[i] = total;
        const std::size_t bytes = p.codes[i] > 0xFF ? 2 : 1;
        if (run.dx != nullptr) {
            for (std::size_t k = 0; k < bytes && byte + k < run.count; ++k) {
                total += run.dx[byte + k];
            }
        } else {
            total += p.glyphs[i].advance;
        }
        byte += bytes;
    }
    p.total = total;

    Frame f;
    long e = font.logFont().lfEscapement % 3600;
    if (e < 0) {
        e += 3600;
    }
    p.escapement = e;
    switch (e) {
    case 0:
        break;
    case 900:
        f.c = 0;
        f.s = 1;
        break;
    case 1800:
        f.c = -1;
        f.s = 0;
        break;
    case 2700:
        f.c = 0;
        f.s = -1;
        break;
    default: {
        const double a = static_cast<double>(e) / 10.0 * M_PI / 180.0;
        f.c = std::cos(a);
        f.s = std::sin(a);
    }
    }
    long along = 0;
    switch (run.align & TA_CENTER) {
    case TA_RIGHT:
        along = -total;
        break;
    case TA_CENTER:
        along = -(total / 2);
        break;
    default:
        break;
    }
    long across = 0;
    switch (run.align & TA_BASELINE) {
    case TA_BASELINE:
        break;
    case TA_BOTTOM:
        across = -tm.tmDescent;
        break;
    default:
        across = tm.tmAscent;
        break;
    }
    f.ox = run.x + along * f.c + across * f.s;
    f.oy = run.y - along * f.s + across * f.c;
    p.f = f;
    return p;
}

bool opaqueRect(const TextRun& run) {
    return (run.options & ETO_OPAQUE) != 0 && run.rect != nullptr &&
           run.rect->right > run.rect->left && run.rect->bottom > run.rect->top;
}

bool clippedRun(const TextRun& run) {
    return (run.options & ETO_CLIPPED) != 0 && run.rect != nullptr;
}

// The device rectangle the run may have changed and its advance. The ink may pass the cell
// (italic overhang, accents): the touched area covers the black boxes too, with a pixel of
// margin for hinting.
TextRunResult resultOf(const FontInstance& font, const TextRun& run, const RunPlan& p) {
    TextRunResult result;
    result.advance = p.total;
    const TEXTMETRIC& tm = font.textMetrics();
    Box box;
    if (opaqueRect(run)) {
        box.add(run.rect->left, run.rect->top);
        box.add(run.rect->right, run.rect->bottom);
    }
    double inkL = 0, inkR = static_cast<double>(p.total), inkT = -tm.tmAscent, inkB = tm.tmDescent;
    const std::size_t links = font.links().size();
    for (std::size_t i = 0; i < p.glyphs.size(); ++i) {
        if (static_cast<std::size_t>(p.glyphs[i].link) >= links) {
            continue;
        }
        GLYPHMETRICS gm;
        if (font.glyphMetrics(p.codes[i], &gm) && gm.gmBlackBoxX > 0) {
            inkL = std::min(inkL, static_cast<double>(p.pen[i] + gm.gmptGlyphOrigin.x));
            inkR = std::max(inkR, static_cast<double>(p.pen[i] + gm.gmptGlyphOrigin.x +
                                                      static_cast<long>(gm.gmBlackBoxX)));
            inkT = std::min(inkT, static_cast<double>(-gm.gmptGlyphOrigin.y));
            inkB = std::max(inkB, static_cast<double>(static_cast<long>(gm.gmBlackBoxY) -
                                                      gm.gmptGlyphOrigin.y));
        }
    }
    if (font.logFont().lfUnderline != 0 && p.total != 0) {
        inkB =
            std::max(inkB, static_cast<double>(font.underlineOffset() + font.underlineThickness()));
    }
    if (!p.codes.empty()) {
        for (double u : {inkL - 1, inkR + 1}) {
            for (double v : {inkT - 1, inkB + 1}) {
                box.add(p.f.px(u, v), p.f.py(u, v));
            }
        }
    }
    if (box.any) {
        RECT r{static_cast<LONG>(std::floor(box.l)), static_cast<LONG>(std::floor(box.t)),
               static_cast<LONG>(std::ceil(box.r)), static_cast<LONG>(std::ceil(box.b))};
        if (clippedRun(run)) {
            r.left = std::max(r.left, run.rect->left);
            r.top = std::max(r.top, run.rect->top);
            r.right = std::min(r.right, run.rect->right);
            r.bottom = std::min(r.bottom, run.rect->bottom);
        }
        if (r.right > r.left && r.bottom > r.top) {
            result.touched = r;
            result.anyTouched = true;
        }
    }
    return result;
}

// --- Glyph masks ---------------------------------------------------------------------------------

// One row's run of covered pixels, relative to the glyph's origin on the baseline: [x0, x1) at y.
struct Span {
    int y;
    int x0;
    int x1;
};

// A glyph's mask: the box of its covered pixels (empty for a glyph without ink), its spans, and
// the box Cairo gives the glyph when it works out where a string of glyphs may draw: its metric
// bounds rounded out to whole pixels (a point at the origin for a glyph without extent). The ink
// of a hinted glyph may pass those bounds by a pixel.
struct GlyphMask {
    int left = 0, top = 0, right = 0, bottom = 0;
    std::uint32_t first = 0;
    std::uint32_t count = 0;
    RECT bounds{};
};

// The masks of one scaled font: a face at a size, upright or sheared.
class Strike {
public:
    Strike(cairo_font_face_t* face, int ppem, bool italic)
        : m_face(face)
        , m_ppem(ppem)
        , m_italic(italic) {}

    bool is(cairo_font_face_t* face, int ppem, bool italic) const {
        return m_face == face && m_ppem == ppem && m_italic == italic;
    }
    // The glyph's mask, rendered on first use; null for a glyph left to Cairo (remembered, so
    // that it is not rendered again for every string).
    const GlyphMask* mask(unsigned glyph) {
        std::uint32_t& slot = slotOf(glyph);
        if (slot == kLeftToCairo) {
            return nullptr;
        }
        if (slot != 0) {
            return &m_masks[slot - 1];
        }
        GlyphMask m;
        if (!render(glyph, m)) {
            slotOf(glyph) = kLeftToCairo;
            return nullptr;
        }
        m_masks.push_back(m);
        slotOf(glyph) = static_cast<std::uint32_t>(m_masks.size());
        return &m_masks.back();
    }
    // The glyph's metric bounds as its mask would give them, without rendering it; null for a
    // glyph left to Cairo. A glyph that lands where nothing is drawn costs only this.
    const RECT* bounds(unsigned glyph) {
        const std::uint32_t slot = slotOf(glyph);
        if (slot == kLeftToCairo) {
            return nullptr;
        }
        if (slot != 0) {
            return &m_masks[slot - 1].bounds;
        }
        if (const auto it = m_bounds.find(glyph); it != m_bounds.end()) {
            return &it->second;
        }
        cairo_text_extents_t ext{};
        RECT b{};
        if (!measure(glyph, ext, b)) {
            slotOf(glyph) = kLeftToCairo;
            return nullptr;
        }
        return &m_bounds.emplace(glyph, b).first->second;
    }
    const Span* spans() const { return m_spans.data(); }

private:
    static constexpr std::uint32_t kLeftToCairo = 0xFFFFFFFFu;
    static constexpr unsigned kDirect = 4096; // glyph indices below have a slot in a vector

    // Mask index + 1 of a glyph, 0 for not yet rendered.
    std::uint32_t& slotOf(unsigned glyph) {
        if (glyph >= kDirect) {
            return m_farSlots[glyph];
        }
        if (glyph >= m_slots.size()) {
            m_slots.resize(glyph + 1, 0);
        }
        return m_slots[glyph];
    }
    bool measure(unsigned glyph, cairo_text_extents_t& ext, RECT& bounds) const;
    bool render(unsigned glyph, GlyphMask& out);

    cairo_font_face_t* m_face;
    int m_ppem;
    bool m_italic;
    std::vector<std::uint32_t> m_slots;
    std::unordered_map<unsigned, std::uint32_t> m_farSlots;
    std::unordered_map<unsigned, RECT> m_bounds; // of glyphs measured but not rendered
    std::vector<GlyphMask> m_masks;
    std::vector<Span> m_spans;
};

std::uint64_t s_maskPixels = 0;

// The glyph is drawn by Cairo alone, exactly as DrawTextRun draws it (same face, matrix, options
// and operator, onto an image surface, whose font options are those of every image surface), at
// an integer position in an alpha surface with a margin around its extents. Ink touching the
// surface's edge could have been cut off: the margin then grows and the glyph is drawn again.
// The glyph's extents as Cairo reports them and its bounds rounded out to pixels; false for a
// glyph left to Cairo.
bool Strike::measure(unsigned glyph, cairo_text_extents_t& ext, RECT& bounds) const {
    Frame upright;
    const cairo_matrix_t m = fontMatrix(static_cast<double>(m_ppem), upright, m_italic);
    cairo_glyph_t g{glyph, 0, 0};
    {
        cairo_surface_t* probe = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
        cairo_t* cr = cairo_create(probe);
        setGlyphState(cr, m_face, m);
        cairo_glyph_extents(cr, &g, 1, &ext);
        const bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
        cairo_destroy(cr);
        cairo_surface_destroy(probe);
        if (!ok || !std::isfinite(ext.x_bearing) || !std::isfinite(ext.y_bearing) ||
            !std::isfinite(ext.width) || !std::isfinite(ext.height) ||
            std::fabs(ext.x_bearing) + ext.width > 1e5 ||
            std::fabs(ext.y_bearing) + ext.height > 1e5) {
            return false;
        }
    }
    // Cairo keeps the bounds in 24.8 fixed point, rounded to nearest with ties to even (metric
    // values often are ties), and rounds them out to pixels. The near edges come back exactly
    // (the bearings); the far edges as bearing + size, which may be off by the last bit of a
    // double. That matters only for a value so close to a tie that it could round either way,
    // and only where the two ways round out to different pixels: such a glyph is left to Cairo.
    bounds = RECT{};
    {
        auto far = [](double v, LONG& edge) {
            const double t = v * 256.0;
            const double below = std::floor(t);
            const bool nearTie = std::fabs(t - below - 0.5) < 1e-6;
            if (nearTie && std::fmod(below, 256.0) == 0.0) {
                return false; // n + 1/512 rounds out to n or to n + 1
            }
            edge = static_cast<LONG>(std::ceil(std::nearbyint(t) / 256.0));
            return true;
        };
        bounds.left = static_cast<LONG>(std::floor(std::nearbyint(ext.x_bearing * 256.0) / 256.0));
        bounds.top = static_cast<LONG>(std::floor(std::nearbyint(ext.y_bearing * 256.0) / 256.0));
        if (!far(ext.x_bearing + ext.width, bounds.right) ||
            !far(ext.y_bearing + ext.height, bounds.bottom)) {
            return false;
        }
    }
    return true;
}

bool Strike::render(unsigned glyph, GlyphMask& out) {
    cairo_text_extents_t ext{};
    RECT bounds{};
    if (!measure(glyph, ext, bounds)) {
        return false;
    }
    Frame upright;
    const cairo_matrix_t m = fontMatrix(static_cast<double>(m_ppem), upright, m_italic);
    cairo_glyph_t g{glyph, 0, 0};
    for (int pad = 4; pad <= 1024; pad *= 4) {
        const int x0 = static_cast<int>(std::floor(ext.x_bearing)) - pad;
        const int y0 = static_cast<int>(std::floor(ext.y_bearing)) - pad;
        const int w = static_cast<int>(std::ceil(ext.x_bearing + ext.width)) + pad - x0;
        const int h = static_cast<int>(std::ceil(ext.y_bearing + ext.height)) + pad - y0;
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
        s_maskPixels += static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h);
        cairo_t* cr = cairo_create(s);
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        setGlyphState(cr, m_face, m);
        cairo_set_source_rgb(cr, 0, 0, 0);
        g.x = -x0;
        g.y = -y0;
        cairo_show_glyphs(cr, &g, 1);
        const bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS &&
                        cairo_surface_status(s) == CAIRO_STATUS_SUCCESS;
        cairo_destroy(cr);
        if (!ok) {
            cairo_surface_destroy(s);
            return false;
        }
        cairo_surface_flush(s);
        const unsigned char* data = cairo_image_surface_get_data(s);
        const int stride = cairo_image_surface_get_stride(s);
        bool edge = false;
        const std::size_t firstSpan = m_spans.size();
        GlyphMask mask;
        mask.first = static_cast<std::uint32_t>(firstSpan);
        bool any = false;
        for (int y = 0; y < h && !edge; ++y) {
            const unsigned char* row = data + static_cast<std::ptrdiff_t>(y) * stride;
            for (int x = 0; x < w;) {
                if (row[x] == 0) {
                    ++x;
                    continue;
                }
                int end = x;
                while (end < w && row[end] != 0) {
                    ++end;
                }
                if (y == 0 || y == h - 1 || x == 0 || end == w) {
                    edge = true;
                    break;
                }
                const Span sp{y + y0, x + x0, end + x0};
                m_spans.push_back(sp);
                if (!any) {
                    mask.left = sp.x0;
                    mask.right = sp.x1;
                    mask.top = sp.y;
                    any = true;
                }
                mask.left = std::min(mask.left, sp.x0);
                mask.right = std::max(mask.right, sp.x1);
                mask.bottom = sp.y + 1;
                x = end;
            }
        }
        cairo_surface_destroy(s);
        if (edge) {
            m_spans.resize(firstSpan);
            continue;
        }
        if (any && (ext.width == 0 || ext.height == 0)) {
            // Cairo reports no extent for a glyph without area (a space), whose bounds are taken
            // at its origin (FreeType gives a blank glyph zero bearings); ink under such
            // metrics would leave its bounds unknown.
            m_spans.resize(firstSpan);
            return false;
        }
        mask.count = static_cast<std::uint32_t>(m_spans.size() - firstSpan);
        mask.bounds = bounds;
        out = mask;
        return true;
    }
    return false;
}

// Masks are kept for sizes up to this; larger text is drawn by Cairo, whose cost follows the
// pixels the glyphs cover on the target rather than their whole size.
constexpr int kLargestMaskPpem = 256;
// How far past its metric bounds a glyph's ink may reach, in pixels, beyond a quarter of the
// size (hinting moves edges by a pixel or two).
constexpr int kInkReach = 4;

// The strikes in use, the most recently used first. A strike holds a few kilobytes; the oldest
// are let go beyond a bound, so zooming through many sizes does not grow the cache for ever.
Strike& strikeFor(cairo_font_face_t* face, int ppem, bool italic) {
    static std::vector<std::unique_ptr<Strike>> strikes;
    for (std::size_t i = 0; i < strikes.size(); ++i) {
        if (strikes[i]->is(face, ppem, italic)) {
            if (i != 0) {
                std::rotate(strikes.begin(), strikes.begin() + static_cast<std::ptrdiff_t>(i),
                            strikes.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            }
            return *strikes.front();
        }
    }
    constexpr std::size_t kKept = 64;
    if (strikes.size() == kKept) {
        strikes.pop_back();
    }
    strikes.insert(strikes.begin(), std::make_unique<Strike>(face, ppem, italic));
    return *strikes.front();
}

// --- Blitting ------------------------------------------------------------------------------------

bool intersect(const RECT& a, const RECT& b, RECT& out) {
    out = RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
               std::min(a.bottom, b.bottom)};
    return out.left < out.right && out.top < out.bottom;
}

// Writes pixels of one colour, clipped to a list of disjoint rectangles.
class Painter {
public:
    Painter(const PixelTarget& target, const std::vector<RECT>& clip)
        : m_data(target.data)
        , m_stride(target.stride)
        , m_clip(clip) {}

    void setColor(COLORREF c) {
        // What Cairo stores for an opaque colour over anything, in either 32-bit format.
        m_pixel = 0xFF000000u | (static_cast<std::uint32_t>(GetRValue(c)) << 16) |
                  (static_cast<std::uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
    }

    void fill(const RECT& r) {
        for (const RECT& c : m_clip) {
            RECT part;
            if (!intersect(r, c, part)) {
                continue;
            }
            for (int y = part.top; y < part.bottom; ++y) {
                std::uint32_t* row = rowAt(y);
                std::fill(row + part.left, row + part.right, m_pixel);
            }
        }
    }

    void glyph(const GlyphMask& m, const Span* spans, int gx, int gy) {
        const RECT box{m.left + gx, m.top + gy, m.right + gx, m.bottom + gy};
        const Span* first = spans + m.first;
        const Span* last = first + m.count;
        for (const RECT& c : m_clip) {
            RECT part;
            if (!intersect(box, c, part)) {
                continue;
            }
            if (part.left == box.left && part.top == box.top && part.right == box.right &&
                part.bottom == box.bottom) {
                for (const Span* s = first; s != last; ++s) {
                    std::uint32_t* row = rowAt(s->y + gy);
                    std::fill(row + s->x0 + gx, row + s->x1 + gx, m_pixel);
                }
                continue;
            }
            for (const Span* s = first; s != last; ++s) {
                const int y = s->y + gy;
                if (y < part.top || y >= part.bottom) {
                    continue;
                }
                const int x0 = std::max(s->x0 + gx, static_cast<int>(part.left));
                const int x1 = std::min(s->x1 + gx, static_cast<int>(part.right));
                if (x0 < x1) {
                    std::uint32_t* row = rowAt(y);
                    std::fill(row + x0, row + x1, m_pixel);
                }
            }
        }
    }

private:
    std::uint32_t* rowAt(int y) const {
        return reinterpret_cast<std::uint32_t*>(m_data + static_cast<std::ptrdiff_t>(y) * m_stride);
    }

    unsigned char* m_data;
    int m_stride;
    const std::vector<RECT>& m_clip;
    std::uint32_t m_pixel = 0xFF000000u;
};

bool s_blitting = true;

} // namespace

TextRunResult DrawTextRun(cairo_t* cr, const FontInstance& font, const TextRun& run) {
    const RunPlan& p = planRun(font, run);
    const TEXTMETRIC& tm = font.textMetrics();
    const Frame& f = p.f;
    const long total = p.total;
    thread_local std::vector<cairo_glyph_t> list;

    cairo_save(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_new_path(cr);
    if (clippedRun(run)) {
        cairo_rectangle(cr, run.rect->left, run.rect->top, run.rect->right - run.rect->left,
                        run.rect->bottom - run.rect->top);
        cairo_clip(cr);
    }
    if (opaqueRect(run)) {
        setColor(cr, run.bkColor);
        cairo_rectangle(cr, run.rect->left, run.rect->top, run.rect->right - run.rect->left,
                        run.rect->bottom - run.rect->top);
        cairo_fill(cr);
    }
    if (run.opaqueBackground && total != 0) {
        setColor(cr, run.bkColor);
        quad(cr, f, 0, -tm.tmAscent, static_cast<double>(total), tm.tmDescent);
        cairo_fill(cr);
    }

    setColor(cr, run.textColor);
    const auto& links = font.links();
    const double ppem = font.ppem();
    for (std::size_t li = 0; li < links.size(); ++li) {
        list.clear();
        for (std::size_t i = 0; i < p.glyphs.size(); ++i) {
            if (static_cast<std::size_t>(p.glyphs[i].link) != li) {
                continue;
            }
            const double u = static_cast<double>(p.pen[i]);
            list.push_back(cairo_glyph_t{p.glyphs[i].glyph, f.px(u, 0), f.py(u, 0)});
        }
        if (list.empty()) {
            continue;
        }
        const StyledLink& link = links[li];
        setGlyphState(cr, link.file->cairoFace(), fontMatrix(ppem, f, link.syntheticItalic));
        cairo_show_glyphs(cr, list.data(), static_cast<int>(list.size()));
        if (link.syntheticBold) {
            // Emboldening by overstrike, one pixel along the baseline.
            for (cairo_glyph_t& g : list) {
                g.x += f.c;
                g.y -= f.s;
            }
            cairo_show_glyphs(cr, list.data(), static_cast<int>(list.size()));
        }
    }
    if (font.logFont().lfUnderline != 0 && total != 0) {
        const double v0 = font.underlineOffset();
        const double v1 = v0 + font.underlineThickness();
        quad(cr, f, 0, v0, static_cast<double>(total), v1);
        cairo_fill(cr);
    }
    if (font.logFont().lfStrikeOut != 0 && total != 0) {
        const double v0 = font.strikeoutOffset();
        const double v1 = v0 + font.strikeoutThickness();
        quad(cr, f, 0, v0, static_cast<double>(total), v1);
        cairo_fill(cr);
    }
    cairo_restore(cr);
    return resultOf(font, run, p);
}

bool BlitTextRun(const PixelTarget& target, const FontInstance& font, const TextRun& run,
                 TextRunResult* result) {
    if (target.data == nullptr || target.clip == nullptr) {
        return false;
    }
    const RunPlan& p = planRun(font, run);
    // Along the baseline only, from a reference point on the pixel grid, and far from the limits
    // of int: every position below is then an exact integer.
    constexpr double kFar = 1 << 28;
    if (p.escapement != 0 || run.x != std::floor(run.x) || run.y != std::floor(run.y) ||
        std::fabs(p.f.ox) > kFar || std::fabs(p.f.oy) > kFar ||
        std::labs(p.total) > static_cast<long>(kFar)) {
        return false;
    }
    const TEXTMETRIC& tm = font.textMetrics();
    const int ox = static_cast<int>(p.f.ox) + target.origin.x;
    const int oy = static_cast<int>(p.f.oy) + target.origin.y;
    const int total = static_cast<int>(p.total);
    const auto& links = font.links();
    const int ppem = font.ppem();
    if (ppem > kLargestMaskPpem) {
        return false;
    }

    // Where the run can show at all: the extent of the clip on the surface, within the clipping
    // rectangle. A glyph whose ink cannot reach it is measured (its bounds decide how Cairo would
    // composite the run) but never rendered.
    RECT visible{};
    bool anyVisible = false;
    for (const RECT& r : *target.clip) {
        visible = anyVisible ? RECT{std::min(visible.left, r.left), std::min(visible.top, r.top),
                                    std::max(visible.right, r.right),
                                    std::max(visible.bottom, r.bottom)}
                             : r;
        anyVisible = true;
    }
    anyVisible = anyVisible && intersect(visible, RECT{0, 0, target.width, target.height}, visible);
    if (anyVisible && clippedRun(run)) {
        const RECT& c = *run.rect;
        anyVisible = intersect(visible,
                               RECT{std::min(c.left, c.right) + target.origin.x,
                                    std::min(c.top, c.bottom) + target.origin.y,
                                    std::max(c.left, c.right) + target.origin.x,
                                    std::max(c.top, c.bottom) + target.origin.y},
                               visible);
    }
    const int reach = kInkReach + ppem / 4;

    // Every glyph's mask first: should one fail, nothing has been drawn yet. DrawTextRun shows
    // each link's glyphs in one call to Cairo, and a synthetic bold link's again one pixel on;
    // each call is a group here.
    struct Placed {
        GlyphMask mask;
        int x;
    };
    struct Group {
        const Strike* strike;
        std::size_t first;
        std::size_t end;
        int dx;
    };
    thread_local std::vector<Placed> placed;
    thread_local std::vector<Group> groups;
    placed.clear();
    groups.clear();
    core::TouchedBox touched;
    for (std::size_t li = 0; li < links.size(); ++li) {
        const StyledLink& link = links[li];
        Strike* strike = nullptr;
        const std::size_t first = placed.size();
        for (std::size_t i = 0; i < p.glyphs.size(); ++i) {
            if (static_cast<std::size_t>(p.glyphs[i].link) != li) {
                continue;
            }
            if (strike == nullptr) {
                strike = &strikeFor(link.file->cairoFace(), ppem, link.syntheticItalic);
            }
            const int x = ox + static_cast<int>(p.pen[i]);
            const int bold = link.syntheticBold ? 1 : 0;
            const RECT* b = strike->bounds(p.glyphs[i].glyph);
            if (b == nullptr) {
                return false;
            }
            RECT part;
            if (!anyVisible || !intersect(RECT{b->left + x - reach, b->top + oy - reach,
                                               b->right + x + bold + reach,
                                               b->bottom + oy + reach},
                                          visible, part)) {
                GlyphMask unseen; // no spans: nothing to draw
                unseen.bounds = *b;
                placed.push_back(Placed{unseen, x});
                touched.add(RECT{b->left + x, b->top + oy, b->right + x + bold, b->bottom + oy});
                continue;
            }
            const GlyphMask* m = strike->mask(p.glyphs[i].glyph);
            if (m == nullptr) {
                return false;
            }
            placed.push_back(Placed{*m, x});
            touched.add(RECT{m->left + x, m->top + oy, m->right + x + bold, m->bottom + oy});
            touched.add(RECT{m->bounds.left + x, m->bounds.top + oy, m->bounds.right + x + bold,
                             m->bounds.bottom + oy});
        }
        if (strike != nullptr) {
            groups.push_back(Group{strike, first, placed.size(), 0});
            if (link.syntheticBold) {
                groups.push_back(Group{strike, first, placed.size(), 1});
            }
        }
    }
    auto cell = [&](int v0, int v1) {
        return RECT{ox + std::min(0, total), oy + v0, ox + std::max(0, total), oy + v1};
    };
    const bool opaque = opaqueRect(run);
    const RECT opaqueBox =
        opaque ? RECT{run.rect->left + target.origin.x, run.rect->top + target.origin.y,
                      run.rect->right + target.origin.x, run.rect->bottom + target.origin.y}
               : RECT{};
    const bool background = run.opaqueBackground && total != 0;
    const bool underline = font.logFont().lfUnderline != 0 && total != 0;
    const bool strikeout = font.logFont().lfStrikeOut != 0 && total != 0;
    const int underTop = font.underlineOffset();
    const int strikeTop = font.strikeoutOffset();
    const RECT backgroundBox = cell(-tm.tmAscent, tm.tmDescent);
    const RECT underlineBox = cell(underTop, underTop + font.underlineThickness());
    const RECT strikeoutBox = cell(strikeTop, strikeTop + font.strikeoutThickness());
    if (opaque) {
        touched.add(opaqueBox);
    }
    if (background) {
        touched.add(backgroundBox);
    }
    if (underline) {
        touched.add(underlineBox);
    }
    if (strikeout) {
        touched.add(strikeoutBox);
    }
    if (touched.any && clippedRun(run)) {
        // Cairo clips to the rectangle's area whichever way round its corners are given.
        const RECT& c = *run.rect;
        const RECT r{std::min(c.left, c.right) + target.origin.x,
                     std::min(c.top, c.bottom) + target.origin.y,
                     std::max(c.left, c.right) + target.origin.x,
                     std::max(c.top, c.bottom) + target.origin.y};
        touched.any = intersect(touched.box, r, touched.box);
    }

    // The clip's rectangles that meet what the run may draw, cut to it. The rectangles are
    // banded from the top down, so the bands above the run are skipped by a binary search;
    // nothing at all is drawn for a run outside the clip.
    thread_local std::vector<RECT> clip;
    thread_local std::vector<RECT> groupClip;
    clip.clear();
    if (touched.any) {
        const std::vector<RECT>& rects = *target.clip;
        auto it = std::upper_bound(rects.begin(), rects.end(), touched.box.top,
                                   [](LONG top, const RECT& r) { return top < r.bottom; });
        for (; it != rects.end() && it->top < touched.box.bottom; ++it) {
            RECT part;
            if (intersect(*it, touched.box, part)) {
                clip.push_back(part);
            }
        }
    }
    if (!clip.empty()) {
        // How Cairo composites each call's glyphs: whole (ink past the glyphs' bounds included)
        // when one rectangle of the clip holds the box of their bounds; otherwise cut to the clip
        // within that box. Cairo keeps the clip as its own rectangles, which may join ours
        // vertically: a box covered by several of ours could lie in one of its own, so such a
        // run is left to Cairo, before anything is drawn.
        enum class Clipping { None, Whole, Cut };
        thread_local std::vector<Clipping> clipping;
        thread_local std::vector<RECT> boxes;
        clipping.assign(groups.size(), Clipping::None);
        boxes.assign(groups.size(), RECT{});
        for (std::size_t gi = 0; gi < groups.size(); ++gi) {
            const Group& g = groups[gi];
            RECT box{};
            bool anyBox = false;
            for (std::size_t i = g.first; i < g.end; ++i) {
                const RECT& b = placed[i].mask.bounds;
                const int x = placed[i].x + g.dx;
                const RECT r{b.left + x, b.top + oy, b.right + x, b.bottom + oy};
                if (!anyBox) {
                    box = r;
                    anyBox = true;
                } else {
                    box.left = std::min(box.left, r.left);
                    box.top = std::min(box.top, r.top);
                    box.right = std::max(box.right, r.right);
                    box.bottom = std::max(box.bottom, r.bottom);
                }
            }
            if (box.left >= box.right || box.top >= box.bottom) {
                continue;
            }
            long covered = 0;
            bool inOne = false;
            for (const RECT& c : clip) {
                RECT part;
                if (intersect(c, box, part)) {
                    covered += static_cast<long>(part.right - part.left) * (part.bottom - part.top);
                    inOne = inOne || (part.left == box.left && part.top == box.top &&
                                      part.right == box.right && part.bottom == box.bottom);
                }
            }
            const long area = static_cast<long>(box.right - box.left) * (box.bottom - box.top);
            if (covered == area && !inOne) {
                return false;
            }
            clipping[gi] = inOne ? Clipping::Whole : Clipping::Cut;
            boxes[gi] = box;
        }

        Painter paint(target, clip);
        paint.setColor(run.bkColor);
        if (opaque) {
            paint.fill(opaqueBox);
        }
        if (background) {
            paint.fill(backgroundBox);
        }
        const std::vector<RECT> surface = {RECT{0, 0, target.width, target.height}};
        for (std::size_t gi = 0; gi < groups.size(); ++gi) {
            if (clipping[gi] == Clipping::None) {
                continue;
            }
            const Group& g = groups[gi];
            groupClip.clear();
            if (clipping[gi] == Clipping::Cut) {
                for (const RECT& c : clip) {
                    RECT part;
                    if (intersect(c, boxes[gi], part)) {
                        groupClip.push_back(part);
                    }
                }
            }
            Painter glyphs(target, clipping[gi] == Clipping::Whole ? surface : groupClip);
            glyphs.setColor(run.textColor);
            for (std::size_t i = g.first; i < g.end; ++i) {
                if (placed[i].mask.count != 0) {
                    glyphs.glyph(placed[i].mask, g.strike->spans(), placed[i].x + g.dx, oy);
                }
            }
        }
        paint.setColor(run.textColor);
        if (underline) {
            paint.fill(underlineBox);
        }
        if (strikeout) {
            paint.fill(strikeoutBox);
        }
    }
    *result = resultOf(font, run, p);
    return true;
}

void SetTextBlitting(bool on) {
    s_blitting = on;
}

bool TextBlitting() {
    return s_blitting;
}

std::uint64_t GlyphMaskPixelsRendered() {
    return s_maskPixels;
}

} // namespace plat::fontcore
