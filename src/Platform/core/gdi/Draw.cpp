// Shapes, rectangles, pixels, regions and paths, with their pixel rules.

#include "core/emf/EmfRecorder.h"
#include "core/gdi/Raster.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace plat::core {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Pen {
    bool null = true;
    int style = PS_SOLID;
    int width = 1; // device pixels
    bool cosmetic = true;
    bool insideFrame = false;
};

Pen penOf(const Dc& dc) {
    Pen p;
    auto obj = LookupGdiObjectAs<PenObject>(dc.state.pen, GdiKind::Pen, "pen");
    if (!obj || obj->m_style == PS_NULL)
        return p;
    p.null = false;
    const double scale = std::fabs(MappingOf(dc.state).scaleX);
    // Width 0 is always one device pixel; other widths are logical units and scale.
    p.width = obj->m_width == 0 ? 1 : std::max(1, RoundHalfAway(obj->m_width * scale));
    p.cosmetic = p.width <= 1;
    p.insideFrame = obj->m_style == PS_INSIDEFRAME;
    // Styled pens wider than one pixel draw solid.
    p.style = p.cosmetic && !p.insideFrame ? obj->m_style : PS_SOLID;
    return p;
}

PaintOp shapeOp(const Dc& dc) {
    PaintOp op;
    op.rop2 = dc.state.rop2;
    if (auto pen = LookupGdiObjectAs<PenObject>(dc.state.pen, GdiKind::Pen, "pen"))
        op.pen = SolidInk(dc, pen->m_color);
    if (dc.state.bkMode == OPAQUE)
        op.gap = SolidInk(dc, dc.state.bkColor);
    op.brush = BrushInk(dc, dc.state.brush);
    return op;
}

// A logical point in surface coordinates.
POINT toSurface(const Dc& dc, int x, int y) {
    POINT p = ToDevice(dc.state, x, y);
    p.x += dc.origin.x;
    p.y += dc.origin.y;
    return p;
}

RECT normalisedRect(POINT a, POINT b) {
    return RECT{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

RECT boundsOf(const std::vector<POINT>& pts, int margin) {
    RECT r{std::numeric_limits<LONG>::max(), std::numeric_limits<LONG>::max(),
           std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::min()};
    for (const POINT& p : pts) {
        r.left = std::min(r.left, p.x);
        r.top = std::min(r.top, p.y);
        r.right = std::max(r.right, p.x + 1);
        r.bottom = std::max(r.bottom, p.y + 1);
    }
    if (pts.empty())
        return RECT{};
    r.left -= margin;
    r.top -= margin;
    r.right += margin;
    r.bottom += margin;
    return r;
}

// Marks a pen outline along integer pixel positions: Bresenham for cosmetic pens, a round-capped
// Cairo stroke through the pixel centres for wide ones.
void outline(const Dc& dc, Coverage& cov, const Pen& pen, const std::vector<POINT>& pts,
             bool closed, bool drawLast) {
    if (pen.null || pts.empty())
        return;
    if (pen.cosmetic) {
        LineStyle ls;
        ls.style = pen.style;
        ls.opaqueGaps = dc.state.bkMode == OPAQUE;
        if (pts.size() == 1) {
            if (drawLast)
                CosmeticLine(cov, pts[0].x, pts[0].y, pts[0].x, pts[0].y, true, ls);
            return;
        }
        for (std::size_t i = 0; i + 1 < pts.size(); ++i)
            CosmeticLine(cov, pts[i].x, pts[i].y, pts[i + 1].x, pts[i + 1].y, false, ls);
        if (closed)
            CosmeticLine(cov, pts.back().x, pts.back().y, pts[0].x, pts[0].y, false, ls);
        else if (drawLast)
            CosmeticLine(cov, pts.back().x, pts.back().y, pts.back().x, pts.back().y, true, ls);
        return;
    }
    cov.stroke(kPenInk, pen.width, [&](cairo_t* cr) {
        cairo_move_to(cr, pts[0].x + 0.5, pts[0].y + 0.5);
        if (pts.size() == 1)
            cairo_line_to(cr, pts[0].x + 0.5, pts[0].y + 0.5);
        for (std::size_t i = 1; i < pts.size(); ++i)
            cairo_line_to(cr, pts[i].x + 0.5, pts[i].y + 0.5);
        if (closed)
            cairo_close_path(cr);
    });
}

cairo_fill_rule_t fillRule(const Dc& dc) {
    return dc.state.fillMode == WINDING ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD;
}

// Points of an ellipse (centre cx, cy, radii rx, ry in surface coordinates, y down) from
// parameter t0 anticlockwise to t1, as the pixels containing them.
std::vector<POINT> ellipsePoints(double cx, double cy, double rx, double ry, double t0, double t1) {
    const double span = t1 - t0;
    // About one point a pixel, capped: a huge ellipse is mostly outside the image anyway.
    const int n = std::clamp(
        static_cast<int>(std::min(1e6, std::ceil(std::max(rx, ry) * std::fabs(span) * 1.5))), 8,
        20000);
    std::vector<POINT> pts;
    pts.reserve(static_cast<std::size_t>(n) + 1);
    for (int i = 0; i <= n; ++i) {
        const double t = t0 + span * i / n;
        POINT p{static_cast<LONG>(std::floor(cx + rx * std::cos(t))),
                static_cast<LONG>(std::floor(cy - ry * std::sin(t)))};
        if (pts.empty() || pts.back().x != p.x || pts.back().y != p.y)
            pts.push_back(p);
    }
    return pts;
}

void ellipsePath(cairo_t* cr, double cx, double cy, double rx, double ry) {
    if (rx <= 0 || ry <= 0)
        return;
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_scale(cr, rx, ry);
    cairo_new_sub_path(cr);
    cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
    cairo_restore(cr);
}

// Whether the shape is recorded into the open path instead of being drawn.
bool recording(const Dc& dc) {
    return dc.pathOpen;
}

void addPathPoint(Dc& dc, PathOp::Type type, double x, double y) {
    PathOp op{type, {x, 0, 0}, {y, 0, 0}};
    dc.path.push_back(op);
}

void flattenToFigures(const std::vector<PathOp>& path, std::vector<std::vector<POINT>>* figures,
                      std::vector<bool>* closedFlags) {
    // Cairo flattens the curves; the points are then the pixels that contain them.
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
    cairo_t* cr = cairo_create(s);
    cairo_set_tolerance(cr, 0.1);
    for (const PathOp& op : path) {
        switch (op.type) {
        case PathOp::Type::Move:
            cairo_move_to(cr, op.x[0] + 0.5, op.y[0] + 0.5);
            break;
        case PathOp::Type::Line:
            cairo_line_to(cr, op.x[0] + 0.5, op.y[0] + 0.5);
            break;
        case PathOp::Type::Curve:
            cairo_curve_to(cr, op.x[0] + 0.5, op.y[0] + 0.5, op.x[1] + 0.5, op.y[1] + 0.5,
                           op.x[2] + 0.5, op.y[2] + 0.5);
            break;
        case PathOp::Type::Close:
            cairo_close_path(cr);
            break;
        }
    }
    cairo_path_t* flat = cairo_copy_path_flat(cr);
    for (int i = 0; i < flat->num_data; i += flat->data[i].header.length) {
        const cairo_path_data_t& d = flat->data[i];
        auto pt = [&](int k) {
            return POINT{static_cast<LONG>(std::floor(flat->data[i + k].point.x)),
                         static_cast<LONG>(std::floor(flat->data[i + k].point.y))};
        };
        switch (d.header.type) {
        case CAIRO_PATH_MOVE_TO:
            figures->push_back({pt(1)});
            closedFlags->push_back(false);
            break;
        case CAIRO_PATH_LINE_TO:
            if (figures->empty()) {
                figures->push_back({});
                closedFlags->push_back(false);
            }
            figures->back().push_back(pt(1));
            break;
        case CAIRO_PATH_CLOSE_PATH:
            if (!closedFlags->empty())
                closedFlags->back() = true;
            break;
        default:
            break;
        }
    }
    cairo_path_destroy(flat);
    cairo_destroy(cr);
    cairo_surface_destroy(s);
}

void buildCairoPath(cairo_t* cr, const std::vector<PathOp>& path, double shift) {
    for (const PathOp& op : path) {
        switch (op.type) {
        case PathOp::Type::Move:
            cairo_move_to(cr, op.x[0] + shift, op.y[0] + shift);
            break;
        case PathOp::Type::Line:
            cairo_line_to(cr, op.x[0] + shift, op.y[0] + shift);
            break;
        case PathOp::Type::Curve:
            cairo_curve_to(cr, op.x[0] + shift, op.y[0] + shift, op.x[1] + shift, op.y[1] + shift,
                           op.x[2] + shift, op.y[2] + shift);
            break;
        case PathOp::Type::Close:
            cairo_close_path(cr);
            break;
        }
    }
}

RECT pathBounds(const std::vector<PathOp>& path, int margin) {
    std::vector<POINT> pts;
    for (const PathOp& op : path) {
        const int n = op.type == PathOp::Type::Curve ? 3 : op.type == PathOp::Type::Close ? 0 : 1;
        for (int k = 0; k < n; ++k)
            pts.push_back(POINT{static_cast<LONG>(std::floor(op.x[k])),
                                static_cast<LONG>(std::floor(op.y[k]))});
    }
    return boundsOf(pts, margin);
}

// The cache key of a filled and/or outlined shape (`kind` tells the drawing calls apart) over
// `box` (its bounds cut by the clip: the shape's coordinates relative to the box are what Cairo
// and the outline are given, so the same key gives the same inks); `points` adds the points.
template <typename AddPoints>
CoverageKey shapeKey(const Dc& dc, int kind, const RECT& box, const Pen& pen, bool fill,
                     bool stroke, AddPoints points) {
    CoverageKey key(box,
                    {kind, fill ? static_cast<int>(fillRule(dc)) : -1, stroke ? 1 : 0, pen.width,
                     pen.style, pen.cosmetic ? 1 : 0, dc.state.bkMode == OPAQUE ? 1 : 0});
    if (key.usable() && CoverageCaching())
        points(key);
    return key;
}

// Fill and/or stroke of a path in surface coordinates, as one operation.
bool drawPath(Dc& dc, const std::vector<PathOp>& path, bool fill, bool stroke) {
    const Pen pen = penOf(dc);
    const RECT box = ClipBox(dc, pathBounds(path, pen.width + 2));
    const PaintOp op = shapeOp(dc);
    fill = fill && op.brush.present;
    stroke = stroke && !pen.null;
    const CoverageKey key = shapeKey(dc, 1, box, pen, fill, stroke, [&](auto& k) {
        for (const PathOp& p : path) {
            k.tag(static_cast<int>(p.type));
            const int n = p.type == PathOp::Type::Curve ? 3 : p.type == PathOp::Type::Close ? 0 : 1;
            for (int i = 0; i < n; ++i)
                k.point(p.x[i], p.y[i]);
        }
    });
    if (auto inks = FindCachedCoverage(key))
        return Apply(dc, Coverage(box, std::move(inks)), op);
    Coverage cov(box);
    // A stroked fill follows its outline through the pixel centres, as Polygon's does.
    if (fill)
        cov.fill(kBrushInk, fillRule(dc),
                 [&](cairo_t* cr) { buildCairoPath(cr, path, stroke ? 0.5 : 0.0); });
    if (stroke) {
        if (pen.cosmetic) {
            std::vector<std::vector<POINT>> figures;
            std::vector<bool> closed;
            flattenToFigures(path, &figures, &closed);
            for (std::size_t i = 0; i < figures.size(); ++i)
                outline(dc, cov, pen, figures[i], closed[i], !closed[i]);
        } else {
            cov.stroke(kPenInk, pen.width, [&](cairo_t* cr) { buildCairoPath(cr, path, 0.5); });
        }
    }
    StoreCachedCoverage(key, cov);
    return Apply(dc, cov, op);
}

Dc* drawingDc(HDC hdc, const char* caller) {
    return LookupDc(hdc, caller);
}

// A region in logical units as a device region in surface coordinates.
Region regionToSurface(const Dc& dc, const Region& rgn) {
    Region out;
    for (const RECT& r : rgn.rects()) {
        RECT d = normalisedRect(toSurface(dc, r.left, r.top), toSurface(dc, r.right, r.bottom));
        out.unite(Region(d));
    }
    return out;
}

// Paints a (surface) region with an ink under the DC's ROP2.
bool paintRegion(Dc& dc, const Region& rgn, const InkColor& ink, bool invert) {
    if (rgn.empty())
        return true;
    Coverage cov(ClipBox(dc, rgn.bounds()));
    for (const RECT& r : rgn.rects())
        cov.fillRect(r, kBrushInk);
    PaintOp op;
    if (invert) {
        op.ternary = true;
        op.rop3 = 0x55; // DSTINVERT
    } else {
        op.rop2 = dc.state.rop2;
        op.brush = ink;
    }
    return Apply(dc, cov, op);
}

bool ropUsesSource(std::uint8_t rop3) {
    return ((rop3 >> 2) & 0x33) != (rop3 & 0x33);
}

// The caller's points in surface pixels.
std::vector<POINT> surfacePoints(Dc& dc, const POINT* points, int count) {
    std::vector<POINT> pts;
    for (int i = 0; i < count; ++i)
        pts.push_back(toSurface(dc, points[i].x, points[i].y));
    return pts;
}

// Strokes the open line through `pts` (surface pixels) with the current pen.
BOOL strokeOpen(Dc& dc, const std::vector<POINT>& pts) {
    const Pen pen = penOf(dc);
    Coverage cov(ClipBox(dc, boundsOf(pts, pen.width + 1)));
    outline(dc, cov, pen, pts, false, false);
    return Apply(dc, cov, shapeOp(dc)) ? TRUE : FALSE;
}

// Adds a figure of straight lines through `pts` (surface pixels) to the path
// being recorded.
void recordFigure(Dc& dc, const std::vector<POINT>& pts, bool closed) {
    addPathPoint(dc, PathOp::Type::Move, pts[0].x, pts[0].y);
    for (std::size_t i = 1; i < pts.size(); ++i)
        addPathPoint(dc, PathOp::Type::Line, pts[i].x, pts[i].y);
    if (closed)
        dc.path.push_back(PathOp{PathOp::Type::Close, {0, 0, 0}, {0, 0, 0}});
}

} // namespace

} // namespace plat::core

namespace plat {

using namespace plat::core;

BOOL MoveToEx(HDC hdc, int x, int y, POINT* previous) {
    Dc* dc = drawingDc(hdc, "MoveToEx");
    if (!dc)
        return FALSE;
    if (previous)
        *previous = dc->state.current;
    dc->state.current = POINT{x, y};
    if (recording(*dc)) {
        const POINT d = toSurface(*dc, x, y);
        addPathPoint(*dc, PathOp::Type::Move, d.x, d.y);
    }
    return TRUE;
}

BOOL GetCurrentPositionEx(HDC hdc, POINT* pt) {
    Dc* dc = drawingDc(hdc, "GetCurrentPositionEx");
    if (!dc || !pt)
        return FALSE;
    *pt = dc->state.current;
    return TRUE;
}

BOOL LineTo(HDC hdc, int x, int y) {
    Dc* dc = drawingDc(hdc, "LineTo");
    if (!dc)
        return FALSE;
    if (dc->recorder)
        return dc->recorder->lineTo(*dc, x, y);
    const POINT from = toSurface(*dc, dc->state.current.x, dc->state.current.y);
    const POINT to = toSurface(*dc, x, y);
    dc->state.current = POINT{x, y};
    if (recording(*dc)) {
        if (dc->path.empty())
            addPathPoint(*dc, PathOp::Type::Move, from.x, from.y);
        addPathPoint(*dc, PathOp::Type::Line, to.x, to.y);
        return TRUE;
    }
    return strokeOpen(*dc, {from, to});
}

BOOL Polyline(HDC hdc, const POINT* points, int count) {
    Dc* dc = drawingDc(hdc, "Polyline");
    if (!dc || !points || count < 2)
        return FALSE;
    if (dc->recorder)
        return dc->recorder->poly(*dc, emf::kPolyline, points, count);
    const std::vector<POINT> pts = surfacePoints(*dc, points, count);
    if (recording(*dc)) {
        recordFigure(*dc, pts, false);
        return TRUE;
    }
    return strokeOpen(*dc, pts);
}

BOOL Polygon(HDC hdc, const POINT* points, int count) {
    Dc* dc = drawingDc(hdc, "Polygon");
    if (!dc || !points || count < 2)
        return FALSE;
    if (dc->recorder)
        return dc->recorder->poly(*dc, emf::kPolygon, points, count);
    const std::vector<POINT> pts = surfacePoints(*dc, points, count);
    if (recording(*dc)) {
        recordFigure(*dc, pts, true);
        return TRUE;
    }
    const Pen pen = penOf(*dc);
    const PaintOp op = shapeOp(*dc);
    const RECT box = ClipBox(*dc, boundsOf(pts, pen.width + 1));
    const CoverageKey key = shapeKey(*dc, 2, box, pen, op.brush.present, !pen.null, [&](auto& k) {
        for (const POINT& p : pts)
            k.point(p.x, p.y);
    });
    if (auto inks = FindCachedCoverage(key))
        return Apply(*dc, Coverage(box, std::move(inks)), op) ? TRUE : FALSE;
    Coverage cov(box);
    // A pixel is inside when its centre is. Without a pen the path runs along the pixel corners.
    // With one, the outline runs through the vertices' pixels (their centres) and the fill takes
    // the same path: on a slanted edge a fill along the corners would stop up to half a pixel
    // short of the outline's pixels, and a narrow slanted shape would show holes between them.
    const double shift = pen.null ? 0.0 : 0.5;
    if (op.brush.present)
        cov.fill(kBrushInk, fillRule(*dc), [&](cairo_t* cr) {
            cairo_move_to(cr, pts[0].x + shift, pts[0].y + shift);
            for (std::size_t i = 1; i < pts.size(); ++i)
                cairo_line_to(cr, pts[i].x + shift, pts[i].y + shift);
            cairo_close_path(cr);
        });
    outline(*dc, cov, pen, pts, true, false);
    StoreCachedCoverage(key, cov);
    return Apply(*dc, cov, op) ? TRUE : FALSE;
}

BOOL PolyBezier(HDC hdc, const POINT* points, DWORD count) {
    Dc* dc = drawingDc(hdc, "PolyBezier");
    if (!dc || !points || count < 4 || (count - 1) % 3 != 0)
        return FALSE;
    if (dc->recorder)
        return dc->recorder->poly(*dc, emf::kPolyBezier, points, static_cast<int>(count));
    std::vector<PathOp> path;
    const POINT p0 = toSurface(*dc, points[0].x, points[0].y);
    path.push_back(PathOp{PathOp::Type::Move, {double(p0.x), 0, 0}, {double(p0.y), 0, 0}});
    for (DWORD i = 1; i + 2 < count; i += 3) {
        const POINT a = toSurface(*dc, points[i].x, points[i].y);
        const POINT b = toSurface(*dc, points[i + 1].x, points[i + 1].y);
        const POINT c = toSurface(*dc, points[i + 2].x, points[i + 2].y);
        path.push_back(PathOp{PathOp::Type::Curve,
                              {double(a.x), double(b.x), double(c.x)},
                              {double(a.y), double(b.y), double(c.y)}});
    }
    if (recording(*dc)) {
        // A figure already open that ends where the curves start continues; otherwise the
        // curves start a figure of their own.
        if (!dc->path.empty() && dc->path.back().type != PathOp::Type::Close) {
            const PathOp& last = dc->path.back();
            const int k = last.type == PathOp::Type::Curve ? 2 : 0;
            if (last.x[k] == p0.x && last.y[k] == p0.y)
                path.erase(path.begin());
        }
        dc->path.insert(dc->path.end(), path.begin(), path.end());
        return TRUE;
    }
    return drawPath(*dc, path, false, true) ? TRUE : FALSE;
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    Dc* dc = drawingDc(hdc, "Rectangle");
    if (!dc)
        return FALSE;
    if (dc->recorder)
        return dc->recorder->box(*dc, emf::kRectangle, left, top, right, bottom);
    const RECT r = normalisedRect(toSurface(*dc, left, top), toSurface(*dc, right, bottom));
    if (recording(*dc)) {
        recordFigure(*dc,
                     {{r.left, r.top}, {r.right, r.top}, {r.right, r.bottom}, {r.left, r.bottom}},
                     true);
        return TRUE;
    }
    const Pen pen = penOf(*dc);
    const PaintOp op = shapeOp(*dc);
    if (pen.null && op.brush.present) {
        // Without a pen the fill stops one pixel short on the right and at the bottom; a plain
        // brush rectangle (the usual background fill) needs no coverage map.
        return ApplyFill(*dc, ClipBox(*dc, RECT{r.left, r.top, r.right - 1, r.bottom - 1}), op)
                   ? TRUE
                   : FALSE;
    }
    Coverage cov(ClipBox(*dc, RECT{r.left - pen.width, r.top - pen.width, r.right + pen.width,
                                   r.bottom + pen.width}));
    if (pen.null) {
        // Without a pen the fill stops one pixel short on the right and at the bottom.
        if (op.brush.present)
            cov.fillRect(RECT{r.left, r.top, r.right - 1, r.bottom - 1}, kBrushInk);
    } else if (pen.insideFrame && pen.width > 1) {
        const int w = pen.width;
        cov.fillRect(r, kPenInk);
        const RECT inner{r.left + w, r.top + w, r.right - w, r.bottom - w};
        if (inner.left < inner.right && inner.top < inner.bottom)
            cov.fillRect(inner, op.brush.present ? kBrushInk : kNoInk);
    } else {
        if (op.brush.present)
            cov.fillRect(RECT{r.left, r.top, r.right - 1, r.bottom - 1}, kBrushInk);
        if (r.right - r.left >= 1 && r.bottom - r.top >= 1) {
            std::vector<POINT> pts{{r.left, r.top},
                                   {r.right - 1, r.top},
                                   {r.right - 1, r.bottom - 1},
                                   {r.left, r.bottom - 1}};
            outline(*dc, cov, pen, pts, true, false);
        }
    }
    return Apply(*dc, cov, op) ? TRUE : FALSE;
}

namespace {

// The ellipse inscribed in the Rectangle box: through the centres of its outline pixels.
struct EllipseGeom {
    double cx, cy, rx, ry;
};

EllipseGeom ellipseOf(const RECT& r, const Pen& pen) {
    EllipseGeom g;
    if (pen.null) {
        // Like a pen-less Rectangle, the fill covers [l, r - 1) x [t, b - 1).
        g.cx = (r.left + r.right - 1) / 2.0;
        g.cy = (r.top + r.bottom - 1) / 2.0;
        g.rx = (r.right - 1 - r.left) / 2.0;
        g.ry = (r.bottom - 1 - r.top) / 2.0;
    } else {
        const double inset = pen.insideFrame && pen.width > 1 ? (pen.width - 1) / 2.0 : 0.0;
        g.cx = (r.left + r.right) / 2.0;
        g.cy = (r.top + r.bottom) / 2.0;
        g.rx = std::max(0.0, (r.right - r.left - 1) / 2.0 - inset);
        g.ry = std::max(0.0, (r.bottom - r.top - 1) / 2.0 - inset);
    }
    return g;
}

// The parameter of the point where the radial towards (x, y) meets the ellipse.
double radialParam(const EllipseGeom& g, double x, double y) {
    const double phi = std::atan2(-(y - g.cy), x - g.cx);
    if (g.rx <= 0 || g.ry <= 0)
        return phi;
    return std::atan2(std::sin(phi) / g.ry, std::cos(phi) / g.rx);
}

} // namespace

BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom) {
    Dc* dc = drawingDc(hdc, "Ellipse");
    if (!dc)
        return FALSE;
    if (dc->recorder)
        return dc->recorder->box(*dc, emf::kEllipse, left, top, right, bottom);
    const RECT r = normalisedRect(toSurface(*dc, left, top), toSurface(*dc, right, bottom));
    const Pen pen = penOf(*dc);
    const EllipseGeom g = ellipseOf(r, pen);
    if (recording(*dc)) {
        // Four cubic quarters (the usual 0.5523 control distance).
        const double k = 0.55228474983;
        const double cx = g.cx - 0.5, cy = g.cy - 0.5, rx = g.rx, ry = g.ry;
        dc->path.push_back(PathOp{PathOp::Type::Move, {cx + rx, 0, 0}, {cy, 0, 0}});
        const double q[4][6] = {{cx + rx, cy - k * ry, cx + k * rx, cy - ry, cx, cy - ry},
                                {cx - k * rx, cy - ry, cx - rx, cy - k * ry, cx - rx, cy},
                                {cx - rx, cy + k * ry, cx - k * rx, cy + ry, cx, cy + ry},
                                {cx + k * rx, cy + ry, cx + rx, cy + k * ry, cx + rx, cy}};
        for (const auto& s : q)
            dc->path.push_back(PathOp{PathOp::Type::Curve, {s[0], s[2], s[4]}, {s[1], s[3], s[5]}});
        dc->path.push_back(PathOp{PathOp::Type::Close, {0, 0, 0}, {0, 0, 0}});
        return TRUE;
    }
    const PaintOp op = shapeOp(*dc);
    Coverage cov(ClipBox(*dc, RECT{r.left - pen.width, r.top - pen.width, r.right + pen.width,
                                   r.bottom + pen.width}));
    if (op.brush.present)
        cov.fill(kBrushInk, CAIRO_FILL_RULE_WINDING,
                 [&](cairo_t* cr) { ellipsePath(cr, g.cx, g.cy, g.rx, g.ry); });
    if (!pen.null) {
        if (pen.cosmetic) {
            outline(*dc, cov, pen, ellipsePoints(g.cx, g.cy, g.rx, g.ry, 0, 2 * kPi), true, false);
        } else {
            cov.stroke(kPenInk, pen.width,
                       [&](cairo_t* cr) { ellipsePath(cr, g.cx, g.cy, g.rx, g.ry); });
        }
    }
    return Apply(*dc, cov, op) ? TRUE : FALSE;
}

BOOL Arc(HDC hdc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd,
         int yEnd) {
    Dc* dc = drawingDc(hdc, "Arc");
    if (!dc)
        return FALSE;
    if (dc->recorder)
        return dc->recorder->arc(*dc, left, top, right, bottom, xStart, yStart, xEnd, yEnd);
    const RECT r = normalisedRect(toSurface(*dc, left, top), toSurface(*dc, right, bottom));
    Pen pen = penOf(*dc);
    if (pen.null)
        return TRUE;
    pen.insideFrame = false;
    const EllipseGeom g = ellipseOf(r, pen);
    const POINT s = toSurface(*dc, xStart, yStart);
    const POINT e = toSurface(*dc, xEnd, yEnd);
    const double t0 = radialParam(g, s.x + 0.5, s.y + 0.5);
    double t1 = radialParam(g, e.x + 0.5, e.y + 0.5);
    // Anticlockwise on the screen; equal radials make the whole ellipse.
    while (t1 <= t0 + 1e-12)
        t1 += 2 * kPi;
    const std::vector<POINT> pts = ellipsePoints(g.cx, g.cy, g.rx, g.ry, t0, t1);
    Coverage cov(ClipBox(*dc, RECT{r.left - pen.width, r.top - pen.width, r.right + pen.width,
                                   r.bottom + pen.width}));
    if (pen.cosmetic) {
        outline(*dc, cov, pen, pts, false, true);
    } else {
        cov.stroke(kPenInk, pen.width, [&](cairo_t* cr) {
            if (g.rx <= 0 || g.ry <= 0)
                return;
            cairo_save(cr);
            cairo_translate(cr, g.cx, g.cy);
            cairo_scale(cr, g.rx, g.ry);
            // Cairo's angles run clockwise on the screen, so negate.
            cairo_arc_negative(cr, 0, 0, 1, -t0, -t1);
            cairo_restore(cr);
        });
    }
    return Apply(*dc, cov, shapeOp(*dc)) ? TRUE : FALSE;
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color) {
    Dc* dc = drawingDc(hdc, "SetPixel");
    if (!dc)
        return CLR_INVALID;
    if (dc->recorder)
        return dc->recorder->setPixel(*dc, x, y, color);
    const POINT p = toSurface(*dc, x, y);
    if (!EffectiveClip(*dc).contains(p.x, p.y))
        return CLR_INVALID;
    Coverage cov(RECT{p.x, p.y, p.x + 1, p.y + 1});
    cov.set(p.x, p.y, kBrushInk);
    PaintOp op;
    op.rop2 = R2_COPYPEN;
    op.brush = SolidInk(*dc, color);
    Apply(*dc, cov, op);
    return ColorFromPixel(op.brush.solid);
}

COLORREF GetPixel(HDC hdc, int x, int y) {
    Dc* dc = drawingDc(hdc, "GetPixel");
    if (!dc)
        return CLR_INVALID;
    cairo_surface_t* s = dc->surface();
    const POINT p = toSurface(*dc, x, y);
    if (!s || !EffectiveClip(*dc).contains(p.x, p.y))
        return CLR_INVALID;
    if (auto bm = dc->bitmap())
        bm->loadFromDib();
    cairo_surface_flush(s);
    const auto* row = reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(s) +
                                                             static_cast<std::ptrdiff_t>(p.y) *
                                                                 cairo_image_surface_get_stride(s));
    return ColorFromPixel(row[p.x] & 0xFFFFFF);
}

namespace {

// A logical rectangle filled with a brush under a ternary code.
bool patRect(Dc& dc, const RECT& logical, const InkColor& brush, std::uint8_t rop3) {
    const RECT r = normalisedRect(toSurface(dc, logical.left, logical.top),
                                  toSurface(dc, logical.right, logical.bottom));
    // The clipped box lies inside the rectangle, so the brush covers all of it.
    PaintOp op;
    op.ternary = true;
    op.rop3 = rop3;
    op.brush = brush;
    return ApplyFill(dc, ClipBox(dc, r), op);
}

} // namespace

int FillRect(HDC hdc, const RECT* r, HBRUSH brush) {
    Dc* dc = drawingDc(hdc, "FillRect");
    if (!dc || !r)
        return FALSE;
    // A brush may be given as a system colour index + 1, as window classes do.
    const auto value = reinterpret_cast<std::uintptr_t>(brush);
    if (value > 0 && value <= 31)
        brush = GetSysColorBrush(static_cast<int>(value) - 1);
    if (dc->recorder)
        return dc->recorder->fillRect(*dc, *r, brush);
    const InkColor ink = BrushInk(*dc, brush);
    if (!ink.present)
        return LookupGdiObject(brush, "FillRect") ? TRUE : FALSE;
    return patRect(*dc, *r, ink, 0xF0) ? TRUE : FALSE;
}

int FrameRect(HDC hdc, const RECT* r, HBRUSH brush) {
    Dc* dc = drawingDc(hdc, "FrameRect");
    if (!dc || !r)
        return FALSE;
    if (dc->recorder)
        return dc->recorder->frameRect(*dc, *r, brush);
    const InkColor ink = BrushInk(*dc, brush);
    if (!ink.present)
        return LookupGdiObject(brush, "FrameRect") ? TRUE : FALSE;
    const RECT d =
        normalisedRect(toSurface(*dc, r->left, r->top), toSurface(*dc, r->right, r->bottom));
    if (d.left >= d.right || d.top >= d.bottom)
        return TRUE;
    Coverage cov(ClipBox(*dc, d));
    cov.fillRect(RECT{d.left, d.top, d.right, d.top + 1}, kBrushInk);
    cov.fillRect(RECT{d.left, d.bottom - 1, d.right, d.bottom}, kBrushInk);
    cov.fillRect(RECT{d.left, d.top, d.left + 1, d.bottom}, kBrushInk);
    cov.fillRect(RECT{d.right - 1, d.top, d.right, d.bottom}, kBrushInk);
    PaintOp op;
    op.ternary = true;
    op.rop3 = 0xF0;
    op.brush = ink;
    return Apply(*dc, cov, op) ? TRUE : FALSE;
}

BOOL InvertRect(HDC hdc, const RECT* r) {
    Dc* dc = drawingDc(hdc, "InvertRect");
    if (!dc || !r)
        return FALSE;
    if (dc->recorder)
        return dc->recorder->patBlt(*dc, r->left, r->top, r->right - r->left, r->bottom - r->top,
                                    DSTINVERT);
    return patRect(*dc, *r, InkColor{}, 0x55) ? TRUE : FALSE;
}

BOOL PatBlt(HDC hdc, int x, int y, int width, int height, DWORD rop) {
    Dc* dc = drawingDc(hdc, "PatBlt");
    if (!dc)
        return FALSE;
    if (dc->recorder)
        return dc->recorder->patBlt(*dc, x, y, width, height, rop);
    const auto code = static_cast<std::uint8_t>((rop >> 16) & 0xFF);
    if (ropUsesSource(code)) {
        GdiDiagnostic("PatBlt: raster operation needs a source");
        return FALSE;
    }
    return patRect(*dc, RECT{x, y, x + width, y + height}, BrushInk(*dc, dc->state.brush), code)
               ? TRUE
               : FALSE;
}

// --- Regions -------------------------------------------------------------------------------------

BOOL PaintRgn(HDC hdc, HRGN rgn) {
    Dc* dc = drawingDc(hdc, "PaintRgn");
    auto r = LookupGdiObjectAs<RegionObject>(rgn, GdiKind::Region, "PaintRgn");
    if (!dc || !r)
        return FALSE;
    if (dc->recorder)
        return dc->recorder->region(*dc, emf::kPaintRgn, rgn, nullptr, 0, 0);
    return paintRegion(*dc, regionToSurface(*dc, r->m_region), BrushInk(*dc, dc->state.brush),
                       false)
               ? TRUE
               : FALSE;
}

BOOL FillRgn(HDC hdc, HRGN rgn, HBRUSH brush) {
    Dc* dc = drawingDc(hdc, "FillRgn");
    auto r = LookupGdiObjectAs<RegionObject>(rgn, GdiKind::Region, "FillRgn");
    if (!dc || !r)
        return FALSE;
    if (dc->recorder)
        return dc->recorder->region(*dc, emf::kFillRgn, rgn, brush, 0, 0);
    return paintRegion(*dc, regionToSurface(*dc, r->m_region), BrushInk(*dc, brush), false) ? TRUE
                                                                                            : FALSE;
}

BOOL InvertRgn(HDC hdc, HRGN rgn) {
    Dc* dc = drawingDc(hdc, "InvertRgn");
    auto r = LookupGdiObjectAs<RegionObject>(rgn, GdiKind::Region, "InvertRgn");
    if (!dc || !r)
        return FALSE;
    if (dc->recorder)
        return dc->recorder->region(*dc, emf::kInvertRgn, rgn, nullptr, 0, 0);
    return paintRegion(*dc, regionToSurface(*dc, r->m_region), InkColor{}, true) ? TRUE : FALSE;
}

BOOL FrameRgn(HDC hdc, HRGN rgn, HBRUSH brush, int width, int height) {
    Dc* dc = drawingDc(hdc, "FrameRgn");
    auto r = LookupGdiObjectAs<RegionObject>(rgn, GdiKind::Region, "FrameRgn");
    if (!dc || !r || width < 0 || height < 0)
        return FALSE;
    if (dc->recorder)
        return dc->recorder->region(*dc, emf::kFrameRgn, rgn, brush, width, height);
    const Region whole = regionToSurface(*dc, r->m_region);
    if (whole.empty())
        return TRUE;
    // A frame wider than the region is the whole region.
    const RECT wb = whole.bounds();
    width = std::min(width, static_cast<int>(wb.right - wb.left));
    height = std::min(height, static_cast<int>(wb.bottom - wb.top));
    // The frame is the region less its erosion by a (2w + 1) x (2h + 1) box: every pixel of the
    // region that has a pixel outside it within w columns or h rows.
    Region eroded = whole;
    for (int dx = 1; dx <= width; ++dx) {
        Region a = whole, b = whole;
        a.offset(dx, 0);
        b.offset(-dx, 0);
        eroded.intersect(a);
        eroded.intersect(b);
    }
    Region inner = eroded;
    for (int dy = 1; dy <= height; ++dy) {
        Region a = eroded, b = eroded;
        a.offset(0, dy);
        b.offset(0, -dy);
        inner.intersect(a);
        inner.intersect(b);
    }
    Region frame = whole;
    frame.subtract(inner);
    return paintRegion(*dc, frame, BrushInk(*dc, brush), false) ? TRUE : FALSE;
}

// --- Paths ---------------------------------------------------------------------------------------

BOOL BeginPath(HDC hdc) {
    Dc* dc = drawingDc(hdc, "BeginPath");
    if (!dc)
        return FALSE;
    if (dc->recorder)
        return dc->recorder->path(*dc, emf::kBeginPath);
    dc->path.clear();
    dc->pathOpen = true;
    dc->pathClosed = false;
    return TRUE;
}

BOOL EndPath(HDC hdc) {
    Dc* dc = drawingDc(hdc, "EndPath");
    if (dc && dc->recorder)
        return dc->recorder->path(*dc, emf::kEndPath);
    if (!dc || !dc->pathOpen)
        return FALSE;
    dc->pathOpen = false;
    dc->pathClosed = true;
    return TRUE;
}

BOOL AbortPath(HDC hdc) {
    Dc* dc = drawingDc(hdc, "AbortPath");
    if (!dc)
        return FALSE;
    if (dc->recorder)
        return dc->recorder->path(*dc, emf::kAbortPath);
    dc->path.clear();
    dc->pathOpen = false;
    dc->pathClosed = false;
    return TRUE;
}

namespace {

BOOL finishPath(HDC hdc, bool fill, bool stroke, const char* caller) {
    Dc* dc = drawingDc(hdc, caller);
    if (dc && dc->recorder)
        return dc->recorder->path(*dc, fill && stroke ? emf::kStrokeAndFillPath
                                       : fill         ? emf::kFillPath
                                                      : emf::kStrokePath);
    if (!dc || !dc->pathClosed)
        return FALSE;
    std::vector<PathOp> path = std::move(dc->path);
    dc->path.clear();
    dc->pathClosed = false;
    if (fill) {
        // Filling closes every figure.
        std::vector<PathOp> closed;
        for (std::size_t i = 0; i < path.size(); ++i) {
            if (path[i].type == PathOp::Type::Move && !closed.empty() &&
                closed.back().type != PathOp::Type::Close)
                closed.push_back(PathOp{PathOp::Type::Close, {0, 0, 0}, {0, 0, 0}});
            closed.push_back(path[i]);
        }
        if (!closed.empty() && closed.back().type != PathOp::Type::Close)
            closed.push_back(PathOp{PathOp::Type::Close, {0, 0, 0}, {0, 0, 0}});
        path = std::move(closed);
    }
    return drawPath(*dc, path, fill, stroke) ? TRUE : FALSE;
}

} // namespace

BOOL StrokePath(HDC hdc) {
    return finishPath(hdc, false, true, "StrokePath");
}
BOOL FillPath(HDC hdc) {
    return finishPath(hdc, true, false, "FillPath");
}
BOOL StrokeAndFillPath(HDC hdc) {
    return finishPath(hdc, true, true, "StrokeAndFillPath");
}

} // namespace plat
