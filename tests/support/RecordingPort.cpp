#include "support/RecordingPort.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace kvtest {

namespace {

std::string Quoted(const char* text) {
    std::string out = "\"";
    for (const char* p = text ? text : ""; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
    return out;
}

std::string Num(int64_t v) {
    return std::to_string(v);
}

struct Em {
    int32_t em;
    int32_t h;
    int32_t descent;
    int32_t ascent;
};

Em EmFor(int32_t font, int32_t resolution) {
    Em m;
    m.em = (RecordingFontSize(font) * resolution + 8) / 16;
    m.h = m.em + m.em / 8;
    m.descent = (m.h + 2) / 4;
    m.ascent = m.h - m.descent;
    return m;
}

} // namespace

int32_t RecordingFontIndexForDesc(const char*, int32_t points, bool bold, bool italic,
                                  bool underline) {
    // Sizes that the encoding cannot carry are pinned so that the index never overflows.
    const int32_t size = points < 1 ? 1 : (points > 0xFFFF ? 0xFFFF : points);
    return RecordingFontIndex(size, (bold ? 1 : 0) | (italic ? 2 : 0) | (underline ? 4 : 0));
}

int32_t RecordingFontSize(int32_t font) {
    const int32_t size = font / 8;
    return size > 0 ? size : 12;
}

int32_t RecordingFontStyle(int32_t font) {
    return font > 0 ? font % 8 : 0;
}

int32_t RecordingAdvance(unsigned char c) {
    if (c == ' ' || std::strchr("ijl',.:;!|", c))
        return c == 0 ? 6 : 3;
    if (std::strchr("frt()[]", c))
        return 4;
    if (c == 'm' || c == 'w')
        return 9;
    if (c == 'M' || c == 'W')
        return 11;
    if (c == 'I')
        return 4;
    if (c >= 'A' && c <= 'Z')
        return 8;
    return 6;
}

std::string ZoneText(const Zone& z) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%d,%d,%d,%d;%d,%d", z.left, z.top, z.right, z.bottom, z.ref1,
                  z.ref2);
    return buf;
}

std::string ColorText(const Color& c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x%02x", c.r, c.g, c.b, c.a);
    return buf;
}

RecordingPort::RecordingPort(int32_t resolution, const Zone& bounds) {
    setResolution(resolution);
    setBounds(bounds);
}

RecordingPort* RecordingPort::clone() const {
    return new RecordingPort(*this);
}

void RecordingPort::setBounds(const Zone& bounds) {
    m_bounds = bounds;
    m_clip = bounds;
    m_width = bounds.width();
    m_height = bounds.height();
}

void RecordingPort::setOrigin(int32_t dx, int32_t dy) {
    m_originX = dx;
    m_originY = dy;
}

std::string RecordingPort::text() const {
    std::string out;
    for (const std::string& line : m_calls) {
        out += line;
        out += '\n';
    }
    return out;
}

void RecordingPort::clear() {
    m_calls.clear();
    m_measureCount = 0;
    m_protocolErrors = 0;
}

void RecordingPort::record(std::string line) {
    m_calls.push_back(std::move(line));
}

void RecordingPort::protocolError(const char* what) {
    ++m_protocolErrors;
    record(std::string("!") + what);
}

void RecordingPort::requireLine(const char* op) {
    if (!m_lineOpen)
        protocolError((std::string(op) + " outside a line drawing").c_str());
}

// --- measuring -------------------------------------------------------------------------------

int32_t RecordingPort::stringWidth(const char* text, int32_t font) {
    ++m_measureCount;
    const Em m = EmFor(font, m_resolution);
    int64_t twelfths = 0;
    int64_t chars = 0;
    for (const char* p = text ? text : ""; *p; ++p, ++chars)
        twelfths += RecordingAdvance(static_cast<unsigned char>(*p));
    int64_t width = twelfths * m.em / 12;
    if (RecordingFontStyle(font) & 1)
        width += chars;
    if (m_recordMeasuring)
        record("stringWidth " + Quoted(text) + " font=" + Num(font) + " -> " + Num(width));
    return static_cast<int32_t>(width);
}

void RecordingPort::measureString(const char* text, int32_t font, Zone& rec) {
    const bool recording = m_recordMeasuring;
    m_recordMeasuring = false;
    const int32_t width = stringWidth(text, font); // counted once below
    m_recordMeasuring = recording;
    const Em m = EmFor(font, m_resolution);
    rec = Zone{0, 0, width, m.h, m.ascent - (m.em + 2) / 4, m.ascent};
    if (m_recordMeasuring)
        record("measureString " + Quoted(text) + " font=" + Num(font) + " -> " + ZoneText(rec));
}

void RecordingPort::stringEdges(const char* text, int32_t font, int32_t& left, int32_t& right,
                                int32_t& overhang) {
    Zone rec;
    const bool recording = m_recordMeasuring;
    m_recordMeasuring = false;
    measureString(text, font, rec);
    m_recordMeasuring = recording;
    // measureString counted this call already.
    left = 0;
    right = rec.right;
    overhang = (RecordingFontStyle(font) & 2) ? (rec.ref2 + 2) / 4 / 4 : 0;
    if (m_recordMeasuring)
        record("stringEdges " + Quoted(text) + " font=" + Num(font) + " -> " + Num(left) + "," +
               Num(right) + "," + Num(overhang));
}

void RecordingPort::fontMetrics(int32_t font, FontMetricWords& w) {
    const Em m = EmFor(font, m_resolution);
    w.lineHeight = m.h;
    w.ascent = m.ascent;
    w.descent = m.descent;
    w.lineSpacing = m.h + m.descent / 2;
    w.halfHeight = m.h / 2;
    w.quarterHeight = m.descent;
}

void RecordingPort::setPort() {
    record("setPort");
}
void RecordingPort::unsetPort() {
    record("unsetPort");
}

// --- drawing ---------------------------------------------------------------------------------

void RecordingPort::drawDeluxeString(const char* text, int32_t font, int32_t x, int32_t y,
                                     const Color* color, int32_t flag) {
    record("drawDeluxeString " + Quoted(text) + " font=" + Num(font) + " at=" + Num(x) + "," +
           Num(y) + " color=" + (color ? ColorText(*color) : "none") + " flag=" + Num(flag));
}

void RecordingPort::drawRotatedString(const char* text, int32_t font, int32_t x, int32_t y,
                                      const Color* color, int32_t flag, int32_t angle) {
    record("drawRotatedString " + Quoted(text) + " font=" + Num(font) + " at=" + Num(x) + "," +
           Num(y) + " color=" + (color ? ColorText(*color) : "none") + " flag=" + Num(flag) +
           " angle=" + Num(angle));
}

void RecordingPort::drawAsianString(const char* text, int32_t font, int32_t x, int32_t y,
                                    const Color* color, int32_t flag, int32_t angle) {
    record("drawAsianString " + Quoted(text) + " font=" + Num(font) + " at=" + Num(x) + "," +
           Num(y) + " color=" + (color ? ColorText(*color) : "none") + " flag=" + Num(flag) +
           " angle=" + Num(angle));
}

void RecordingPort::startDeluxeLine(int32_t width, const Color& color, int32_t style,
                                    int32_t mode) {
    if (m_lineOpen)
        protocolError("missing endLine");
    m_lineOpen = true;
    record("startDeluxeLine width=" + Num(width) + " color=" + ColorText(color) +
           " style=" + Num(style) + " mode=" + Num(mode));
}

void RecordingPort::moveTo(int32_t x, int32_t y) {
    record("moveTo " + Num(x) + "," + Num(y));
}
void RecordingPort::move(int32_t dx, int32_t dy) {
    record("move " + Num(dx) + "," + Num(dy));
}

void RecordingPort::lineTo(int32_t x, int32_t y) {
    requireLine("lineTo");
    record("lineTo " + Num(x) + "," + Num(y));
}

void RecordingPort::line(int32_t dx, int32_t dy) {
    requireLine("line");
    record("line " + Num(dx) + "," + Num(dy));
}

void RecordingPort::dotAt(int32_t x, int32_t y) {
    requireLine("dotAt");
    record("dotAt " + Num(x) + "," + Num(y));
}

void RecordingPort::arct(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t radius) {
    record("arct " + Num(x1) + "," + Num(y1) + " " + Num(x2) + "," + Num(y2) + " r=" + Num(radius));
}

void RecordingPort::endLine() {
    if (!m_lineOpen)
        protocolError("endLine without a line drawing");
    m_lineOpen = false;
    record("endLine");
}

void RecordingPort::paintZone(const Zone& zone, const Color& color) {
    record("paintZone " + ZoneText(zone) + " color=" + ColorText(color));
}

void RecordingPort::eraseZone(const Zone& zone) {
    record("eraseZone " + ZoneText(zone));
}
void RecordingPort::eraseArea(const GdiObjectRef&) {
    record("eraseArea");
}

void RecordingPort::paintPolygon(int32_t count, const oPoint* points, const Color* fill,
                                 int32_t mode, int32_t outline, int32_t extra) {
    std::string line = "paintPolygon n=" + Num(count);
    for (int32_t i = 0; points && i < count; ++i) {
        line += ' ';
        line += Num(points[i].x) + "," + Num(points[i].y);
    }
    line += " fill=" + (fill ? ColorText(*fill) : std::string("none")) + " mode=" + Num(mode) +
            " outline=" + Num(outline) + " extra=" + Num(extra);
    record(std::move(line));
}

void RecordingPort::frameZone(const Zone& zone, int32_t width, const Color& color, int32_t style,
                              int32_t mode) {
    record("frameZone " + ZoneText(zone) + " width=" + Num(width) + " color=" + ColorText(color) +
           " style=" + Num(style) + " mode=" + Num(mode));
}

void RecordingPort::paintCircle(const Zone& zone) {
    record("paintCircle " + ZoneText(zone));
}

void RecordingPort::integralSign(const Zone& zone, int32_t step, int32_t count, int32_t flags,
                                 int32_t width, int32_t orientation) {
    record("integralSign " + ZoneText(zone) + " step=" + Num(step) + " count=" + Num(count) +
           " flags=" + Num(flags) + " width=" + Num(width) + " orientation=" + Num(orientation));
}

void RecordingPort::paintHorn(const Zone& zone, int32_t width, int32_t direction,
                              int32_t vertical) {
    record("paintHorn " + ZoneText(zone) + " width=" + Num(width) + " direction=" + Num(direction) +
           " vertical=" + Num(vertical));
}

bool RecordingPort::fitsInside(int32_t x, int32_t y, int32_t width, int32_t height) {
    return x >= m_bounds.left && x + width <= m_bounds.right && y >= m_bounds.top &&
           y + height <= m_bounds.bottom;
}

void RecordingPort::savePix(int32_t x, int32_t y, oPixMap&) {
    record("savePix " + Num(x) + "," + Num(y));
}

void RecordingPort::restorePix(int32_t x, int32_t y, oPixMap&) {
    record("restorePix " + Num(x) + "," + Num(y));
}

void RecordingPort::restoreStretch(const Zone& zone, oPixMap&, int32_t stretchMode) {
    record("restoreStretch " + ZoneText(zone) + " mode=" + Num(stretchMode));
}

void RecordingPort::restoreColorize(int32_t x, int32_t y, oPixMap&, const Color& foreground,
                                    const Color& background) {
    record("restoreColorize " + Num(x) + "," + Num(y) + " fore=" + ColorText(foreground) +
           " back=" + ColorText(background));
}

void RecordingPort::drawImage(int32_t resourceId, const Zone& zone, const Color& foreground,
                              const Color& background, int32_t mode) {
    record("drawImage " + Num(resourceId) + " " + ZoneText(zone) + " fore=" +
           ColorText(foreground) + " back=" + ColorText(background) + " mode=" + Num(mode));
}

void RecordingPort::stretchImage(int32_t resourceId, const Zone& zone) {
    drawImage(resourceId, zone, m_foreColor, m_backColor, 0);
}

void RecordingPort::clipToZone(const Zone* zone) {
    if (zone) {
        Zone clip = m_bounds;
        if (!ZoneIntersect(m_bounds, *zone, clip))
            clip.right = clip.left, clip.bottom = clip.top; // nothing visible
        m_clip = clip;
        record("clipToZone " + ZoneText(*zone));
    } else {
        m_clip = m_bounds;
        record("clipToZone none");
    }
}

void RecordingPort::setColors(const Color* foreground, const Color* background) {
    m_foreColor = foreground ? *foreground : kColorBlack;
    m_backColor = background ? *background : kColorWhite;
    record("setColors " + ColorText(m_foreColor) + " " + ColorText(m_backColor));
}

} // namespace kvtest
