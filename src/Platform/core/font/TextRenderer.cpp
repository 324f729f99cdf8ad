#include "core/font/TextRenderer.h"

#include <algorithm>
#include <cmath>
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

} // namespace

TextRunResult DrawTextRun(cairo_t* cr, const FontInstance& font, const TextRun& run) {
    TextRunResult result;
    const std::vector<unsigned> codes = FontInstance::codes(run.text, run.count);
    const TEXTMETRIC& tm = font.textMetrics();

    // Per-run buffers are reused between calls instead of allocated for every string.
    thread_local std::vector<long> pen;
    thread_local std::vector<GlyphRef> glyphs;
    thread_local std::vector<cairo_glyph_t> list;
    pen.resize(codes.size());
    glyphs.resize(codes.size());
    long total = 0;
    std::size_t byte = 0;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        glyphs[i] = font.glyph(codes[i]);
        pen[i] = total;
        const std::size_t bytes = codes[i] > 0xFF ? 2 : 1;
        if (run.dx != nullptr) {
            for (std::size_t k = 0; k < bytes && byte + k < run.count; ++k) {
                total += run.dx[byte + k];
            }
        } else {
            total += glyphs[i].advance;
        }
        byte += bytes;
    }
    result.advance = total;

    Frame f;
    long e = font.logFont().lfEscapement % 3600;
    if (e < 0) {
        e += 3600;
    }
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

    cairo_save(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_new_path(cr);
    const bool clipped = (run.options & ETO_CLIPPED) != 0 && run.rect != nullptr;
    if (clipped) {
        cairo_rectangle(cr, run.rect->left, run.rect->top, run.rect->right - run.rect->left,
                        run.rect->bottom - run.rect->top);
        cairo_clip(cr);
    }
    Box box;
    if ((run.options & ETO_OPAQUE) != 0 && run.rect != nullptr &&
        run.rect->right > run.rect->left && run.rect->bottom > run.rect->top) {
        setColor(cr, run.bkColor);
        cairo_rectangle(cr, run.rect->left, run.rect->top, run.rect->right - run.rect->left,
                        run.rect->bottom - run.rect->top);
        cairo_fill(cr);
        box.add(run.rect->left, run.rect->top);
        box.add(run.rect->right, run.rect->bottom);
    }
    if (run.opaqueBackground && total != 0) {
        setColor(cr, run.bkColor);
        quad(cr, f, 0, -tm.tmAscent, static_cast<double>(total), tm.tmDescent);
        cairo_fill(cr);
    }

    // The ink may pass the cell (italic overhang, accents): the touched area covers the black
    // boxes too, with a pixel of margin for hinting.
    double inkL = 0, inkR = static_cast<double>(total), inkT = -tm.tmAscent, inkB = tm.tmDescent;

    setColor(cr, run.textColor);
    const auto& links = font.links();
    const double ppem = font.ppem();
    for (std::size_t li = 0; li < links.size(); ++li) {
        list.clear();
        for (std::size_t i = 0; i < glyphs.size(); ++i) {
            if (static_cast<std::size_t>(glyphs[i].link) != li) {
                continue;
            }
            GLYPHMETRICS gm;
            if (font.glyphMetrics(codes[i], &gm) && gm.gmBlackBoxX > 0) {
                inkL = std::min(inkL, static_cast<double>(pen[i] + gm.gmptGlyphOrigin.x));
                inkR = std::max(inkR, static_cast<double>(pen[i] + gm.gmptGlyphOrigin.x +
                                                          static_cast<long>(gm.gmBlackBoxX)));
                inkT = std::min(inkT, static_cast<double>(-gm.gmptGlyphOrigin.y));
                inkB = std::max(inkB, static_cast<double>(static_cast<long>(gm.gmBlackBoxY) -
                                                          gm.gmptGlyphOrigin.y));
            }
            const double u = static_cast<double>(pen[i]);
            list.push_back(cairo_glyph_t{glyphs[i].glyph, f.px(u, 0), f.py(u, 0)});
        }
        if (list.empty()) {
            continue;
        }
        const StyledLink& link = links[li];
        // Glyph space (y down) -> device: shear for synthetic italic, scale, then rotate.
        const double sh = link.syntheticItalic ? kItalicShear : 0.0;
        cairo_matrix_t m;
        cairo_matrix_init(&m, ppem * f.c, -ppem * f.s, ppem * (f.s - sh * f.c),
                          ppem * (f.c + sh * f.s), 0, 0);
        cairo_set_font_face(cr, link.file->cairoFace());
        cairo_set_font_matrix(cr, &m);
        cairo_set_font_options(cr, fontOptions());
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
        inkB = std::max(inkB, v1);
    }
    if (font.logFont().lfStrikeOut != 0 && total != 0) {
        const double v0 = font.strikeoutOffset();
        const double v1 = v0 + font.strikeoutThickness();
        quad(cr, f, 0, v0, static_cast<double>(total), v1);
        cairo_fill(cr);
    }
    cairo_restore(cr);

    if (!codes.empty()) {
        for (double u : {inkL - 1, inkR + 1}) {
            for (double v : {inkT - 1, inkB + 1}) {
                box.add(f.px(u, v), f.py(u, v));
            }
        }
    }
    if (box.any) {
        RECT r{static_cast<LONG>(std::floor(box.l)), static_cast<LONG>(std::floor(box.t)),
               static_cast<LONG>(std::ceil(box.r)), static_cast<LONG>(std::ceil(box.b))};
        if (clipped) {
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

} // namespace plat::fontcore
