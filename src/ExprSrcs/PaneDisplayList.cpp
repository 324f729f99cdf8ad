#include "ExprSrcs/PaneDisplayList.h"

#include "ExprSrcs/EPane.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eLayout.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

enum CallKind : int32_t {
    kText = 1,
    kRotatedText,
    kAsianText,
    kLine,
    kDot,
    kArc,
    kPaint,
    kFrame,
    kPolygon,
    kCircle,
    kIntegral,
    kHorn,
    kImage,
    kStretchImage,
    kRuler,
};

// More changed calls than this are not worth sorting out: the repaint covers about everything.
constexpr size_t kMostChangedCalls = 400;
// A list of zones to repaint longer than this becomes one zone.
constexpr size_t kMostZones = 16;

Zone inflated(Zone zone, int32_t by) {
    ZoneInset(zone, -by, -by);
    return zone;
}

Zone boxOf(const int32_t* xy, int32_t points) {
    Zone z{xy[0], xy[1], xy[0], xy[1], 0, 0};
    for (int32_t i = 1; i < points; ++i) {
        z.left = std::min(z.left, xy[2 * i]);
        z.right = std::max(z.right, xy[2 * i]);
        z.top = std::min(z.top, xy[2 * i + 1]);
        z.bottom = std::max(z.bottom, xy[2 * i + 1]);
    }
    return z;
}

// The parts of `a` outside `b`, as up to four zones.
std::vector<Zone> outside(const Zone& a, const Zone& b) {
    std::vector<Zone> parts;
    Zone common;
    if (a.right <= a.left || a.bottom <= a.top)
        return parts;
    if (!ZoneIntersect(a, b, common)) {
        parts.push_back(a);
        return parts;
    }
    const Zone pieces[4] = {Zone{a.left, a.top, a.right, common.top, 0, 0},
                            Zone{a.left, common.bottom, a.right, a.bottom, 0, 0},
                            Zone{a.left, common.top, common.left, common.bottom, 0, 0},
                            Zone{common.right, common.top, a.right, common.bottom, 0, 0}};
    for (const Zone& z : pieces)
        if (z.right > z.left && z.bottom > z.top)
            parts.push_back(z);
    return parts;
}

} // namespace

// A port that draws nothing: each drawing call of the expression becomes a call of the list, with
// the colours, pen and clip it would run under. Measuring goes to the pane, so that the drawing
// code makes exactly the calls it makes when it paints the pane. Calls whose pixels the list
// cannot describe make the list not valid.
class DisplayListPort final : public oGraphPort {
public:
    DisplayListPort(ExprPane& pane, PaneDisplayList& list)
        : m_pane(pane)
        , m_list(list) {
        setResolution(pane.resolution());
        m_lineUnit = pane.lineUnit();
        m_flag = pane.flag();
        m_originX = pane.originX();
        m_originY = pane.originY();
        m_width = pane.width();
        m_height = pane.height();
        m_bounds = pane.bounds();
        m_clip = pane.bounds();
        m_foreColor = pane.foreColor();
        m_backColor = pane.backColor();
    }

    DisplayListPort* clone() const override { return nullptr; }
    void setPort() override {}
    void unsetPort() override {}

    int32_t stringWidth(const char* text, int32_t font) override {
        return m_pane.stringWidth(text, font);
    }
    void measureString(const char* text, int32_t font, Zone& record) override {
        m_pane.measureString(text, font, record);
    }
    void stringEdges(const char* text, int32_t font, int32_t& left, int32_t& right,
                     int32_t& overhang) override {
        m_pane.stringEdges(text, font, left, right, overhang);
    }
    void fontMetrics(int32_t font, FontMetricWords& words) override {
        m_pane.fontMetrics(font, words);
    }

    void drawDeluxeString(const char* text, int32_t font, int32_t x, int32_t y, const Color* color,
                          int32_t flag) override {
        addString(kText, text, font, x, y, color, flag, 0);
    }
    void drawRotatedString(const char* text, int32_t font, int32_t x, int32_t y, const Color* color,
                           int32_t flag, int32_t angle) override {
        addString(kRotatedText, text, font, x, y, color, flag, angle);
    }
    void drawAsianString(const char* text, int32_t font, int32_t x, int32_t y, const Color* color,
                         int32_t flag, int32_t angle) override {
        addString(kAsianText, text, font, x, y, color, flag, angle);
    }

    void startDeluxeLine(int32_t width, const Color& color, int32_t style, int32_t mode) override {
        m_lineOpen = true;
        m_penWidth = width;
        m_penColor = color;
        m_penStyle = style;
        m_penMode = mode;
        // Pattern gaps take the background colour of the moment the line starts.
        m_penBack = m_backColor;
    }
    void moveTo(int32_t x, int32_t y) override {
        m_x = x;
        m_y = y;
    }
    void move(int32_t dx, int32_t dy) override {
        m_x += dx;
        m_y += dy;
    }
    void lineTo(int32_t x, int32_t y) override {
        if (!m_lineOpen)
            return;
        PaneDisplayList::Call& c = addLine(kLine);
        c.v[0] = m_x;
        c.v[1] = m_y;
        c.v[2] = x;
        c.v[3] = y;
        m_x = x;
        m_y = y;
    }
    void line(int32_t dx, int32_t dy) override {
        if (m_lineOpen)
            lineTo(m_x + dx, m_y + dy);
    }
    void dotAt(int32_t x, int32_t y) override {
        m_x = x;
        m_y = y;
        if (!m_lineOpen)
            return;
        PaneDisplayList::Call& c = addLine(kDot);
        c.v[0] = x;
        c.v[1] = y;
    }
    void arct(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t radius) override {
        // The native port draws arcs only inside an open line; the list keeps the call either way.
        PaneDisplayList::Call& c = addLine(kArc);
        const int32_t values[7] = {m_x, m_y, x1, y1, x2, y2, radius};
        std::copy(values, values + 7, c.v);
        c.v[7] = m_lineOpen ? 1 : 0;
        m_x = x2;
        m_y = y2;
    }
    void endLine() override { m_lineOpen = false; }

    void paintZone(const Zone& zone, const Color& color) override {
        PaneDisplayList::Call& c = add(kPaint, color);
        putZone(c, zone, 0);
    }
    void eraseZone(const Zone& zone) override { paintZone(zone, m_backColor); }
    void eraseArea(const GdiObjectRef&) override { cannotRecord(); }
    void paintPolygon(int32_t count, const oPoint* points, const Color* fill, int32_t mode,
                      int32_t outline, int32_t extra) override {
        if (count <= 0 || points == nullptr)
            return;
        PaneDisplayList::Call& c = add(kPolygon, m_foreColor);
        c.pen = fill != nullptr ? *fill : Color{0, 0, 0, 0};
        c.v[0] = count;
        c.v[1] = fill != nullptr ? 1 : 0;
        c.v[2] = mode;
        c.v[3] = outline;
        c.v[4] = extra;
        data(reinterpret_cast<const char*>(points), sizeof(oPoint) * static_cast<size_t>(count), c);
    }
    void frameZone(const Zone& zone, int32_t width, const Color& color, int32_t style,
                   int32_t mode) override {
        PaneDisplayList::Call& c = add(kFrame, color);
        putZone(c, zone, 0);
        c.v[4] = width;
        c.v[5] = style;
        c.v[6] = mode;
    }
    void paintCircle(const Zone& zone) override {
        PaneDisplayList::Call& c = add(kCircle, m_foreColor);
        putZone(c, zone, 0);
    }
    void integralSign(const Zone& zone, int32_t step, int32_t count, int32_t flags, int32_t width,
                      int32_t orientation) override {
        PaneDisplayList::Call& c = add(kIntegral, m_foreColor);
        putZone(c, zone, 0);
        c.v[4] = step;
        c.v[5] = count;
        c.v[6] = flags;
        c.v[7] = width;
        c.font = orientation;
    }
    void paintHorn(const Zone& zone, int32_t width, int32_t direction, int32_t vertical) override {
        PaneDisplayList::Call& c = add(kHorn, m_foreColor);
        putZone(c, zone, 0);
        c.v[4] = width;
        c.v[5] = direction;
        c.v[6] = vertical;
    }
    bool fitsInside(int32_t, int32_t, int32_t, int32_t) override { return false; }
    void savePix(int32_t, int32_t, oPixMap&) override { cannotRecord(); }
    void restorePix(int32_t, int32_t, oPixMap&) override { cannotRecord(); }
    void restoreStretch(const Zone&, oPixMap&, int32_t) override { cannotRecord(); }
    void restoreColorize(int32_t, int32_t, oPixMap&, const Color&, const Color&) override {
        cannotRecord();
    }
    void drawImage(int32_t resourceId, const Zone& zone, const Color& foreground,
                   const Color& background, int32_t mode) override {
        PaneDisplayList::Call& c = add(kImage, foreground);
        c.pen = background;
        putZone(c, zone, 0);
        c.v[4] = resourceId;
        c.v[5] = mode;
    }
    void stretchImage(int32_t resourceId, const Zone& zone) override {
        PaneDisplayList::Call& c = add(kStretchImage, m_foreColor);
        putZone(c, zone, 0);
        c.v[4] = resourceId;
    }
    void clipToZone(const Zone* zone) override {
        // As the native port: the bounds, cut to the zone, one column and row wider.
        Zone clip = m_bounds;
        if (zone != nullptr && !ZoneIntersect(m_bounds, *zone, clip)) {
            clip.right = clip.left;
            clip.bottom = clip.top;
        }
        if (clip.right > clip.left && clip.bottom > clip.top) {
            clip.right += 1;
            clip.bottom += 1;
        }
        m_clip.left = clip.left;
        m_clip.top = clip.top;
        m_clip.right = clip.right;
        m_clip.bottom = clip.bottom;
    }
    void setColors(const Color* foreground, const Color* background) override {
        m_foreColor = foreground != nullptr ? *foreground : kColorBlack;
        m_backColor = background != nullptr ? *background : kColorWhite;
    }
    void drawRuler() override { add(kRuler, m_foreColor); }

private:
    PaneDisplayList::Call& add(int32_t kind, const Color& fore) {
        PaneDisplayList::Call& c = m_list.m_calls.emplace_back();
        c.kind = kind;
        c.fore = fore;
        c.back = m_backColor;
        c.clip[0] = m_clip.left;
        c.clip[1] = m_clip.top;
        c.clip[2] = m_clip.right;
        c.clip[3] = m_clip.bottom;
        return c;
    }
    PaneDisplayList::Call& addLine(int32_t kind) {
        PaneDisplayList::Call& c = add(kind, m_foreColor);
        c.pen = m_penColor;
        c.back = m_penBack;
        c.v[4] = m_penWidth;
        c.v[5] = m_penStyle;
        c.v[6] = m_penMode;
        return c;
    }
    void addString(int32_t kind, const char* text, int32_t font, int32_t x, int32_t y,
                   const Color* color, int32_t flag, int32_t angle) {
        if (text == nullptr)
            return;
        PaneDisplayList::Call& c = add(kind, color != nullptr ? *color : m_foreColor);
        c.font = font;
        c.v[0] = x;
        c.v[1] = y;
        c.v[2] = flag;
        c.v[3] = angle;
        data(text, std::strlen(text), c);
    }
    static void putZone(PaneDisplayList::Call& c, const Zone& zone, int32_t at) {
        c.v[at] = zone.left;
        c.v[at + 1] = zone.top;
        c.v[at + 2] = zone.right;
        c.v[at + 3] = zone.bottom;
    }
    void data(const char* bytes, size_t length, PaneDisplayList::Call& c) {
        c.dataAt = static_cast<uint32_t>(m_list.m_data.size());
        c.dataLength = static_cast<uint32_t>(length);
        m_list.m_data.append(bytes, length);
    }
    void cannotRecord() {
        m_list.m_valid = false;
        m_failed = true;
    }

public:
    bool failed() const { return m_failed; }

private:
    ExprPane& m_pane;
    PaneDisplayList& m_list;
    bool m_lineOpen = false;
    bool m_failed = false;
    int32_t m_penWidth = 0;
    Color m_penColor;
    Color m_penBack;
    int32_t m_penStyle = 0;
    int32_t m_penMode = 0;
    int32_t m_x = 0;
    int32_t m_y = 0;
};

void PaneDisplayList::record(ExprPane& pane) {
    m_calls.clear();
    m_data.clear();
    m_valid = false;
    eHeader* root = pane.root();
    const SelectionRecord& record = pane.record();
    // The ruler view draws ruler icons and drag feedback straight on the window: not listed.
    if (root == nullptr || !root->isLaidOut() || record.m_options[kOptionRuler] != 0)
        return;
    m_view.bounds = pane.bounds();
    std::copy(record.m_options, record.m_options + 4, m_view.options);
    m_view.noBackground = record.m_noBackground;
    m_view.background = record.m_background;
    m_view.structureBackground = StructureBackgroundColor;
    m_view.resolution = pane.resolution();
    m_view.lineUnit = pane.lineUnit();
    m_view.flag = pane.flag();
    const Zone extent{0, 0, std::max(0, pane.panoramaWidth()), std::max(0, pane.panoramaHeight()),
                      0, 0};
    if (!ZoneIntersect(pane.bounds(), extent, m_shownExtent))
        m_shownExtent = Zone{};

    m_valid = true;
    // The drawing state goes back as it was, even when drawing fails part way.
    struct Restore {
        DrawingState saved = DrawState;
        ~Restore() { DrawState = saved; }
    } restore;
    DisplayListPort port(pane, *this);
    {
        // As DrawEditContents paints the visible part of the extent, but not clipped to it:
        // the clip would make every call differ when the extent changes, and what lies outside
        // either extent is compared apart.
        WideStructureOff wide;
        PaintEditBackground(&port, record);
        port.clipToZone(nullptr);
        DrawExpr(root, &port, record.m_options[0], record.m_options[1], record.m_options[2],
                 record.m_options[3], 0, 0);
    }
    if (port.failed())
        m_valid = false;
}

bool PaneDisplayList::sameCall(size_t i, const PaneDisplayList& other, size_t j) const {
    const Call& a = m_calls[i];
    const Call& b = other.m_calls[j];
    if (std::memcmp(&a, &b, offsetof(Call, dataAt)) != 0 || a.dataLength != b.dataLength)
        return false;
    return a.dataLength == 0 ||
           std::memcmp(m_data.data() + a.dataAt, other.m_data.data() + b.dataAt, a.dataLength) == 0;
}

Zone PaneDisplayList::callZone(const Call& call, oMeasurePort& measurer) const {
    const int32_t* v = call.v;
    switch (call.kind) {
    case kText:
    case kRotatedText:
    case kAsianText: {
        const std::string text(m_data, call.dataAt, call.dataLength);
        FontMetricWords metrics;
        measurer.fontMetrics(call.font, metrics);
        const int32_t h =
            std::max({metrics.lineHeight, metrics.ascent + metrics.descent, measurer.resolution()});
        const int32_t width = std::max(measurer.stringWidth(text.c_str(), call.font),
                                       static_cast<int32_t>(text.size()) * h);
        if (call.kind == kText)
            return Zone{v[0] - h,
                        v[1] - metrics.ascent - h,
                        v[0] + width + h,
                        v[1] + metrics.descent + h,
                        0,
                        0};
        // Turned text: any direction from its point.
        return inflated(Zone{v[0], v[1], v[0], v[1], 0, 0}, width + 2 * h);
    }
    case kLine:
        return inflated(boxOf(v, 2), v[4] + 2);
    case kDot:
        return inflated(boxOf(v, 1), v[4] + 2);
    case kArc:
        return inflated(boxOf(v, 3), std::abs(v[6]) + v[4] + 2);
    case kPaint:
    case kCircle:
    case kImage:
    case kStretchImage:
        return inflated(boxOf(v, 2), 2);
    case kFrame:
    case kHorn:
        return inflated(boxOf(v, 2), std::abs(v[4]) + 2);
    case kIntegral: {
        const Zone z = boxOf(v, 2);
        return inflated(z, std::max(z.width(), z.height()) + std::abs(v[4]) * (std::abs(v[5]) + 1) +
                               std::abs(v[7]) + 2);
    }
    case kPolygon: {
        std::vector<int32_t> xy(static_cast<size_t>(2 * v[0]));
        std::memcpy(xy.data(), m_data.data() + call.dataAt, call.dataLength);
        return inflated(boxOf(xy.data(), v[0]), std::abs(v[3]) + 2);
    }
    default:
        return m_view.bounds;
    }
}

bool PaneDisplayList::changedZones(const PaneDisplayList& later, oMeasurePort& measurer,
                                   std::vector<Zone>& zones) const {
    if (!m_valid || !later.m_valid || !(m_view == later.m_view))
        return false;
    const size_t n = m_calls.size();
    const size_t m = later.m_calls.size();
    // The calls before the first difference and after the last are the same calls in the same
    // order; everything between is repainted.
    size_t first = 0;
    while (first < n && first < m && sameCall(first, later, first))
        ++first;
    size_t last = 0;
    while (last < n - first && last < m - first && sameCall(n - 1 - last, later, m - 1 - last))
        ++last;
    if ((n - first - last) + (m - first - last) > kMostChangedCalls)
        return false;
    for (size_t i = first; i < n - last; ++i)
        addZone(zones, callZone(m_calls[i], measurer));
    for (size_t i = first; i < m - last; ++i)
        addZone(zones, later.callZone(later.m_calls[i], measurer));
    // What lies in one extent and not the other changes between blank and drawn.
    for (const Zone& part : outside(m_shownExtent, later.m_shownExtent))
        addZone(zones, part);
    for (const Zone& part : outside(later.m_shownExtent, m_shownExtent))
        addZone(zones, part);
    return true;
}

void PaneDisplayList::addZone(std::vector<Zone>& zones, const Zone& zone) {
    if (zone.right <= zone.left || zone.bottom <= zone.top)
        return;
    Zone grown = zone;
    // Joined zones may join others: start again until nothing more meets.
    for (bool joined = true; joined;) {
        joined = false;
        for (size_t i = 0; i < zones.size(); ++i) {
            Zone overlap;
            if (ZoneIntersect(inflated(zones[i], 1), grown, overlap)) {
                ZoneUnion(zones[i], grown, grown);
                zones.erase(zones.begin() + static_cast<std::ptrdiff_t>(i));
                joined = true;
                break;
            }
        }
    }
    zones.push_back(grown);
    if (zones.size() > kMostZones) {
        Zone all = zones[0];
        for (const Zone& z : zones)
            ZoneUnion(all, z, all);
        zones.assign(1, all);
    }
}
