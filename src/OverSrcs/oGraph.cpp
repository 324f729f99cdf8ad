#include "OverSrcs/oGraph.h"

#include "OverPc/PERROR.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

oTextMeasurer* s_textMeasurer = nullptr;
PortDeviceHooks s_deviceHooks;

// The base port operations are not supported: they log and do nothing.
void LogUnsupported(unsigned line, const char* text) {
    oAssertionFailure("oGraph", line, text);
}

#define KV_GR_UNSUPPORTED(name) LogUnsupported(static_cast<unsigned>(__LINE__), "oGr::" name)

// Floor division for the ruler's first tick (the bounds may start above 0).
int32_t FloorDiv(int32_t a, int32_t b) {
    int32_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

} // namespace

const Color kSharedColors[kSharedColorCount] = {
    kColorWhite, kColorLightGrey, kColorGrey220, kColorGrey127, kColorGrey64, kColorBlack,
    kColorRed,   kColorYellow,    kColorGreen,   kColorCyan,    kColorBlue,   kColorMagenta,
    kColorBrown, kColorSlate,     kColorKhaki,   kColorGrey102,
};

Color RowOutlineColors[2] = {kColorGrey220, kColorGrey127};
Color StructureBackgroundColor = kColorWhite;

int32_t WrappedTextBottom = 0;

void SetTextMeasurer(oTextMeasurer* measurer) {
    s_textMeasurer = measurer;
}
oTextMeasurer* GetTextMeasurer() {
    return s_textMeasurer;
}
void SetPortDeviceHooks(const PortDeviceHooks& hooks) {
    s_deviceHooks = hooks;
}
const PortDeviceHooks& GetPortDeviceHooks() {
    return s_deviceHooks;
}

// ---------------------------------------------------------------------------------------------
// oMeasurePort

oMeasurePort::oMeasurePort(int32_t resolution, uint8_t flag)
    : m_flag(flag) {
    setResolution(resolution);
    if (s_deviceHooks.make)
        m_device = s_deviceHooks.make(0);
}

oMeasurePort::oMeasurePort(const oMeasurePort& other)
    : oObject(other)
    , m_device(other.m_device)
    , m_resolution(other.m_resolution)
    , m_lineUnit(other.m_lineUnit)
    , m_flag(other.m_flag) {
    // The copy holds the record too: without the reference both destructors would release it.
    if (m_device && s_deviceHooks.addRef)
        s_deviceHooks.addRef(m_device);
}

oMeasurePort::~oMeasurePort() {
    adoptDevice(nullptr);
}

void oMeasurePort::setResolution(int32_t resolution) {
    m_resolution = resolution;
    m_lineUnit = LineUnitFor(resolution);
}

void oMeasurePort::adoptDevice(PortDevice* device) {
    if (m_device && m_device != device && s_deviceHooks.release)
        s_deviceHooks.release(m_device);
    m_device = device;
}

oMeasurePort* oMeasurePort::clone() const {
    return new oMeasurePort(*this);
}

int32_t oMeasurePort::stringWidth(const char* text, int32_t font) {
    if (!s_textMeasurer) {
        KV_GR_UNSUPPORTED("stringWidth");
        return 0;
    }
    return s_textMeasurer->stringWidth(*this, text ? text : "", font);
}

void oMeasurePort::measureString(const char* text, int32_t font, Zone& record) {
    if (!s_textMeasurer) {
        KV_GR_UNSUPPORTED("measureString");
        record = Zone{};
        return;
    }
    s_textMeasurer->measureString(*this, text ? text : "", font, record);
}

void oMeasurePort::stringEdges(const char* text, int32_t font, int32_t& left, int32_t& right,
                               int32_t& overhang) {
    if (!s_textMeasurer) {
        KV_GR_UNSUPPORTED("stringEdges");
        left = right = overhang = 0;
        return;
    }
    s_textMeasurer->stringEdges(*this, text ? text : "", font, left, right, overhang);
}

void oMeasurePort::unsetPort() {}
void oMeasurePort::setPort() {}

void oMeasurePort::fontMetrics(int32_t font, FontMetricWords& words) {
    if (!s_textMeasurer) {
        KV_GR_UNSUPPORTED("fontMetrics");
        words = FontMetricWords{};
        return;
    }
    s_textMeasurer->fontMetrics(font, m_resolution, words);
}

std::unique_ptr<oMeasurePort> NewMeasurePort(int32_t resolution, uint8_t flag) {
    return std::make_unique<oMeasurePort>(resolution, flag);
}

// ---------------------------------------------------------------------------------------------
// oGraphPort

oGraphPort::oGraphPort()
    : oMeasurePort(16, 0) {}

oGraphPort::~oGraphPort() = default;

void oGraphPort::unsetPort() {
    KV_GR_UNSUPPORTED("unsetPort");
}
void oGraphPort::setPort() {
    KV_GR_UNSUPPORTED("setPort");
}

void oGraphPort::drawString(const char* text, int32_t font, int32_t x, int32_t y) {
    const Color fore = m_foreColor;
    drawDeluxeString(text, font, x, y, &fore, 1);
}

void oGraphPort::drawDeluxeString(const char*, int32_t, int32_t, int32_t, const Color*, int32_t) {
    KV_GR_UNSUPPORTED("drawDeluxeString");
}

void oGraphPort::drawRotatedString(const char*, int32_t, int32_t, int32_t, const Color*, int32_t,
                                   int32_t) {
    KV_GR_UNSUPPORTED("drawRotatedString");
}

void oGraphPort::drawAsianString(const char*, int32_t, int32_t, int32_t, const Color*, int32_t,
                                 int32_t) {
    KV_GR_UNSUPPORTED("drawAsianString");
}

void oGraphPort::startDeluxeLine(int32_t, const Color&, int32_t, int32_t) {
    KV_GR_UNSUPPORTED("startDeluxeLine");
}

void oGraphPort::startLine(int32_t width) {
    const Color fore = m_foreColor;
    startDeluxeLine(width, fore, kLineSolid, kDrawPaint);
}

void oGraphPort::moveTo(int32_t, int32_t) {
    KV_GR_UNSUPPORTED("moveTo");
}
void oGraphPort::move(int32_t, int32_t) {
    KV_GR_UNSUPPORTED("move");
}
void oGraphPort::lineTo(int32_t, int32_t) {
    KV_GR_UNSUPPORTED("lineTo");
}
void oGraphPort::line(int32_t, int32_t) {
    KV_GR_UNSUPPORTED("line");
}
void oGraphPort::dotAt(int32_t, int32_t) {
    KV_GR_UNSUPPORTED("dotAt");
}
void oGraphPort::arct(int32_t, int32_t, int32_t, int32_t, int32_t) {
    KV_GR_UNSUPPORTED("arct");
}
void oGraphPort::endLine() {
    KV_GR_UNSUPPORTED("endLine");
}
void oGraphPort::paintZone(const Zone&, const Color&) {
    KV_GR_UNSUPPORTED("paintZone");
}
void oGraphPort::eraseZone(const Zone&) {
    KV_GR_UNSUPPORTED("eraseZone");
}
void oGraphPort::eraseArea(const GdiObjectRef&) {
    KV_GR_UNSUPPORTED("eraseArea");
}

void oGraphPort::paintPolygon(int32_t, const oPoint*, const Color*, int32_t, int32_t, int32_t) {
    KV_GR_UNSUPPORTED("paintPolygon");
}

void oGraphPort::frameZone(const Zone&, int32_t, const Color&, int32_t, int32_t) {
    KV_GR_UNSUPPORTED("frameZone");
}

void oGraphPort::paintCircle(const Zone&) {
    KV_GR_UNSUPPORTED("paintCircle");
}

void oGraphPort::integralSign(const Zone&, int32_t, int32_t, int32_t, int32_t, int32_t) {
    KV_GR_UNSUPPORTED("integralSign");
}

void oGraphPort::paintHorn(const Zone&, int32_t, int32_t, int32_t) {
    KV_GR_UNSUPPORTED("paintHorn");
}

bool oGraphPort::fitsInside(int32_t, int32_t, int32_t, int32_t) {
    return false;
}

void oGraphPort::savePix(int32_t, int32_t, oPixMap&) {
    KV_GR_UNSUPPORTED("savePix");
}
void oGraphPort::restorePix(int32_t, int32_t, oPixMap&) {
    KV_GR_UNSUPPORTED("restorePix");
}

void oGraphPort::restoreStretch(const Zone&, oPixMap&, int32_t) {
    KV_GR_UNSUPPORTED("restoreStretch");
}

void oGraphPort::restoreColorize(int32_t, int32_t, oPixMap&, const Color&, const Color&) {
    KV_GR_UNSUPPORTED("restoreColorize");
}

void oGraphPort::drawImage(int32_t, const Zone&, const Color&, const Color&, int32_t) {
    KV_GR_UNSUPPORTED("drawImage");
}

void oGraphPort::stretchImage(int32_t, const Zone&) {
    KV_GR_UNSUPPORTED("strImage");
}
void oGraphPort::clipToZone(const Zone*) {
    KV_GR_UNSUPPORTED("clipToZone");
}
void oGraphPort::setColors(const Color*, const Color*) {
    KV_GR_UNSUPPORTED("setColors");
}

void oGraphPort::drawRuler() {
    constexpr int32_t kSpacing = 25;
    constexpr int32_t kTick = 10;
    const Zone bounds = m_bounds;
    // The first multiple of 25 at or below the top edge's position on the page, i.e. not above it.
    int32_t y = FloorDiv(bounds.top + kSpacing - 1, kSpacing) * kSpacing;
    if (y >= bounds.bottom)
        return;
    char text[24];
    for (; y < bounds.bottom; y += kSpacing) {
        startLine(m_lineUnit);
        moveTo(bounds.left, y);
        line(kTick, 0);
        moveTo(bounds.right, y);
        line(-kTick, 0);
        endLine();
        std::snprintf(text, sizeof text, " %ld", static_cast<long>(y));
        // Font index 0 is the default font, entered first into the font table.
        drawString(text, 0, bounds.left + 10, y + 3);
        drawString(text, 0, bounds.right - 60, y + 3);
    }
}

// ---------------------------------------------------------------------------------------------
// Zone operations

void ZoneClear(Zone& zone) {
    zone.left = zone.top = zone.right = zone.bottom = zone.ref1 = 0;
}

void ZoneSet(Zone& zone, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t ref1,
             int32_t ref2) {
    zone.left = left;
    zone.top = top;
    zone.right = right;
    zone.bottom = bottom;
    if (ref1 > 0)
        zone.ref1 = ref1;
    if (ref2 > 0)
        zone.ref2 = ref2;
}

Zone& ZoneOffset(Zone& zone, int32_t dx, int32_t dy) {
    zone.left += dx;
    zone.right += dx;
    zone.top += dy;
    zone.bottom += dy;
    return zone;
}

Zone& ZoneInset(Zone& zone, int32_t dx, int32_t dy) {
    zone.left += dx;
    zone.right -= dx;
    zone.top += dy;
    zone.bottom -= dy;
    // The reference lines stay where they were on the page.
    zone.ref1 -= dy;
    zone.ref2 -= dy;
    return zone;
}

Zone& ZoneMoveTo(Zone& zone, int32_t left, int32_t top) {
    return ZoneOffset(zone, left - zone.left, top - zone.top);
}

Zone& ZoneMoveToAxis(Zone& zone, int32_t x, int32_t y) {
    return ZoneMoveTo(zone, x, y - zone.ref1);
}

bool ZoneIsEmpty(const Zone& zone) {
    return zone.right <= zone.left || zone.bottom <= zone.top;
}

bool ZoneContainsPoint(const Zone& zone, oPoint point) {
    return zone.left <= point.x && point.x < zone.right && zone.top <= point.y &&
           point.y < zone.bottom;
}

bool ZoneContainsZone(const Zone& outer, const Zone& inner) {
    return outer.left <= inner.left && inner.right <= outer.right && outer.top <= inner.top &&
           inner.bottom <= outer.bottom;
}

void ZoneUnion(const Zone& a, const Zone& b, Zone& result) {
    Zone u;
    u.left = std::min(a.left, b.left);
    u.top = std::min(a.top, b.top);
    u.right = std::max(a.right, b.right);
    u.bottom = std::max(a.bottom, b.bottom);
    u.ref1 = 0;
    u.ref2 = 0;
    result = u;
}

bool ZoneIntersect(const Zone& a, const Zone& b, Zone& result) {
    const int32_t left = std::max(a.left, b.left);
    const int32_t top = std::max(a.top, b.top);
    const int32_t right = std::min(a.right, b.right);
    const int32_t bottom = std::min(a.bottom, b.bottom);
    result.left = left;
    result.top = top;
    result.right = right;
    result.bottom = bottom;
    return bottom > top && right > left;
}

oPoint ClampPointToZone(const Zone& zone, oPoint point) {
    point.x = std::clamp(point.x, zone.left, std::max(zone.left, zone.right));
    point.y = std::clamp(point.y, zone.top, std::max(zone.top, zone.bottom));
    return point;
}

void ClampZoneToObstacles(Zone& zone, oPoint point, const Zone& obstacle) {
    if (zone.left < obstacle.right && obstacle.right < point.x)
        zone.left = obstacle.right;
    if (point.x < obstacle.left && obstacle.left < zone.right)
        zone.right = obstacle.left;
    if (zone.top < obstacle.bottom && obstacle.bottom < point.y)
        zone.top = obstacle.bottom;
    if (point.y < obstacle.top && obstacle.top < zone.bottom)
        zone.bottom = obstacle.top;
}

Zone FitZoneInside(const Zone& zone, const Zone& area, int32_t minWidth, int32_t minHeight) {
    // One axis at a time, in 64 bits: a zone read from outside may lie far off.
    const auto fit = [](int32_t start, int32_t end, int32_t areaStart, int32_t areaEnd,
                        int32_t minimum, int32_t& outStart, int32_t& outEnd) {
        const int64_t areaLength = std::max<int64_t>(int64_t{areaEnd} - areaStart, 0);
        const int64_t length =
            std::max<int64_t>(std::min<int64_t>(int64_t{end} - start, areaLength), minimum);
        const int64_t first = std::clamp<int64_t>(
            start, areaStart, areaStart + std::max<int64_t>(areaLength - length, 0));
        outStart = static_cast<int32_t>(first);
        outEnd = static_cast<int32_t>(first + length);
    };
    Zone out = zone;
    fit(zone.left, zone.right, area.left, area.right, minWidth, out.left, out.right);
    fit(zone.top, zone.bottom, area.top, area.bottom, minHeight, out.top, out.bottom);
    return out;
}

void PlaceZoneBeside(const Zone& area, const Zone* obstacle, const Zone* popup, Zone& result,
                     int32_t minWidth, int32_t minHeight, int32_t maxWidth, int32_t maxHeight) {
    Zone avail = area;
    if (obstacle) {
        const Zone& o = *obstacle;
        if (o.width() > o.height()) {
            if (o.top + o.bottom < area.top + area.bottom)
                avail.top = std::max(avail.top, o.bottom);
            else
                avail.bottom = std::min(avail.bottom, o.top);
        } else {
            if (o.left + o.right < area.left + area.right)
                avail.left = std::max(avail.left, o.right);
            else
                avail.right = std::min(avail.right, o.left);
        }
    }
    Zone z = popup ? *popup : area;
    if (z.bottom > avail.bottom)
        ZoneOffset(z, 0, avail.bottom - z.bottom);
    if (z.top < avail.top)
        ZoneOffset(z, 0, avail.top - z.top);
    if (z.bottom > avail.bottom)
        z.bottom = avail.bottom;
    if (z.right > avail.right)
        ZoneOffset(z, avail.right - z.right, 0);
    if (z.left < avail.left)
        ZoneOffset(z, avail.left - z.left, 0);
    if (z.right > avail.right)
        z.right = avail.right;
    if (z.height() < minHeight)
        z.bottom = z.top + minHeight;
    if (z.height() > maxHeight)
        z.bottom = z.top + maxHeight;
    if (z.width() < minWidth)
        z.right = z.left + minWidth;
    if (z.width() > maxWidth)
        z.right = z.left + maxWidth;
    result = z;
}

oRect ZoneToRect(const Zone& zone) {
    return oRect{zone.left, zone.top, zone.right, zone.bottom};
}

Zone ZoneFromRect(const oRect& rect) {
    return Zone{rect.left, rect.top, rect.right, rect.bottom, rect.bottom, rect.bottom};
}

// ---------------------------------------------------------------------------------------------
// Colours and pixels

Color Rgb332ToRgba(uint8_t packed) {
    static constexpr uint8_t kLevel3[8] = {0, 36, 73, 109, 145, 182, 218, 255};
    static constexpr uint8_t kLevel2[4] = {0, 73, 182, 255};
    return Color{kLevel3[(packed >> 5) & 7], kLevel3[(packed >> 2) & 7], kLevel2[packed & 3], 255};
}

uint8_t RgbaToRgb332(const Color& color) {
    return static_cast<uint8_t>((color.r & 0xE0) | ((color.g & 0xE0) >> 3) | (color.b >> 6));
}

int32_t PixelBitsPerPixel(PixelFormat code) {
    if (code & kPixelDepth32)
        return 32;
    if (code & kPixelDepth8)
        return 8;
    if (code & kPixelDepth16)
        return 16;
    if (code & kPixelDepth24)
        return 24;
    return 1;
}

int32_t PixelBytesPerPixel(PixelFormat code) {
    const int32_t bits = PixelBitsPerPixel(code);
    return bits == 1 ? 1 : bits / 8;
}

int32_t PixelRowStride(PixelFormat code, int32_t width) {
    return ((PixelBitsPerPixel(code) * width + 31) / 32) * 4;
}

uint32_t PackPixel(const Color& color, PixelFormat code) {
    uint32_t pixel = (uint32_t{color.r} << (8 * PixelRedPosition(code))) |
                     (uint32_t{color.g} << (8 * PixelGreenPosition(code))) |
                     (uint32_t{color.b} << (8 * PixelBluePosition(code)));
    if (PixelHasAlpha(code))
        pixel |= uint32_t{color.a} << (8 * PixelAlphaPosition(code));
    return pixel;
}

void UnpackPixel(uint32_t pixel, PixelFormat code, Color& color) {
    color.r = static_cast<uint8_t>(pixel >> (8 * PixelRedPosition(code)));
    color.g = static_cast<uint8_t>(pixel >> (8 * PixelGreenPosition(code)));
    color.b = static_cast<uint8_t>(pixel >> (8 * PixelBluePosition(code)));
    color.a =
        PixelHasAlpha(code) ? static_cast<uint8_t>(pixel >> (8 * PixelAlphaPosition(code))) : 255;
}

namespace {

PixelFormat ShiftPositions(PixelFormat code, int delta) {
    auto moved = [&](int pos) { return static_cast<PixelFormat>((pos + delta) & 3); };
    PixelFormat out = code & 0xFF00;
    out |= moved(PixelRedPosition(code)) << 6;
    out |= moved(PixelGreenPosition(code)) << 4;
    out |= moved(PixelBluePosition(code)) << 2;
    out |= PixelHasAlpha(code) ? moved(PixelAlphaPosition(code)) : (code & 3);
    return out;
}

// A component at a position beyond the pixel's bytes (a 3-byte pixel with a position of 3, say)
// is not read or written: the byte belongs to the next pixel or lies past the row.
uint8_t ReadComponent(const uint8_t* pixel, int pos, int bytes, uint8_t missing) {
    return pos < bytes ? pixel[pos] : missing;
}

void WriteComponent(uint8_t* pixel, int pos, int bytes, uint8_t value) {
    if (pos < bytes)
        pixel[pos] = value;
}

} // namespace

PixelFormat PixelFormatShiftUp(PixelFormat code) {
    return ShiftPositions(code, 1);
}
PixelFormat PixelFormatShiftDown(PixelFormat code) {
    return ShiftPositions(code, -1);
}

void ConvertPixelColors(uint8_t* dst, PixelFormat dstCode, const uint8_t* src,
                        PixelFormat srcCode) {
    const int sb = PixelBytesPerPixel(srcCode);
    const int db = PixelBytesPerPixel(dstCode);
    const uint8_t r = ReadComponent(src, PixelRedPosition(srcCode), sb, 0);
    const uint8_t g = ReadComponent(src, PixelGreenPosition(srcCode), sb, 0);
    const uint8_t b = ReadComponent(src, PixelBluePosition(srcCode), sb, 0);
    const uint8_t a =
        PixelHasAlpha(srcCode) ? ReadComponent(src, PixelAlphaPosition(srcCode), sb, 255) : 255;
    WriteComponent(dst, PixelRedPosition(dstCode), db, r);
    WriteComponent(dst, PixelGreenPosition(dstCode), db, g);
    WriteComponent(dst, PixelBluePosition(dstCode), db, b);
    if (PixelHasAlpha(dstCode))
        WriteComponent(dst, PixelAlphaPosition(dstCode), db, a);
}

void ConvertPixelToAlpha(uint8_t* dst, PixelFormat dstCode, const uint8_t* src,
                         PixelFormat srcCode) {
    const uint8_t red =
        ReadComponent(src, PixelRedPosition(srcCode), PixelBytesPerPixel(srcCode), 0);
    WriteComponent(dst, PixelAlphaPosition(dstCode), PixelBytesPerPixel(dstCode), red);
}

bool CopyPixels(uint8_t* dst, int32_t dstRowStep, PixelFormat dstCode, const uint8_t* src,
                int32_t srcRowStep, PixelFormat srcCode, int32_t columns, int32_t rows,
                PixelConverter converter) {
    if (!dst || !src || !converter || columns < 0 || rows < 0)
        return false;
    const int32_t db = PixelBytesPerPixel(dstCode);
    const int32_t sb = PixelBytesPerPixel(srcCode);
    // A row that does not fit its row step would run into the next row or past the buffer.
    if (rows > 1 && (int64_t{columns} * db > std::abs(int64_t{dstRowStep}) ||
                     int64_t{columns} * sb > std::abs(int64_t{srcRowStep})))
        return false;
    for (int32_t row = 0; row < rows; ++row) {
        uint8_t* d = dst + int64_t{row} * dstRowStep;
        const uint8_t* s = src + int64_t{row} * srcRowStep;
        for (int32_t col = 0; col < columns; ++col, d += db, s += sb)
            converter(d, dstCode, s, srcCode);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Drawing routines

void DrawGridLines(oGraphPort& port, oPixMap* pixmap, int32_t pixWidth, int32_t pixHeight,
                   PixelFormat format) {
    if (format != 0) {
        if (pixmap)
            port.restorePix(0, 0, *pixmap);
        return;
    }
    // The grid divides by the pixmap's size: an empty pixmap has nothing to show.
    if (!pixmap || pixWidth <= 0 || pixHeight <= 0)
        return;
    const int32_t unit = port.lineUnit();
    Zone zone = port.bounds();
    zone.right -= unit;
    zone.bottom -= unit;
    port.restoreStretch(zone, *pixmap, 3);

    port.startDeluxeLine(unit, kColorLightGrey, kLineSolid, 0);
    for (int32_t i = 0; i <= pixHeight; ++i) {
        const int32_t y = static_cast<int32_t>(
            (int64_t{pixHeight - i} * zone.top + int64_t{i} * zone.bottom) / pixHeight);
        port.moveTo(zone.left, y);
        port.lineTo(zone.right, y);
    }
    for (int32_t i = 0; i <= pixWidth; ++i) {
        const int32_t x = static_cast<int32_t>(
            (int64_t{pixWidth - i} * zone.left + int64_t{i} * zone.right) / pixWidth);
        port.moveTo(x, zone.top);
        port.lineTo(x, zone.bottom);
    }
    port.endLine();

    port.startDeluxeLine(unit, kColorBlack, kLineSolid, 0);
    port.moveTo(zone.left, zone.top);
    port.lineTo(zone.right, zone.top);
    port.lineTo(zone.right, zone.bottom);
    port.lineTo(zone.left, zone.bottom);
    port.lineTo(zone.left, zone.top);
    port.endLine();
}

oPoint PixelUnderPoint(oPoint point, int32_t paneWidth, int32_t paneHeight, int32_t pixWidth,
                       int32_t pixHeight) {
    if (paneWidth <= 0 || paneHeight <= 0)
        return oPoint{-1, -1};
    return oPoint{static_cast<int32_t>(int64_t{point.x} * pixWidth / paneWidth),
                  static_cast<int32_t>(int64_t{point.y} * pixHeight / paneHeight)};
}

Zone PixelGridCell(const Zone& zone, int32_t pixWidth, int32_t pixHeight, int32_t x, int32_t y) {
    Zone cell;
    if (pixWidth <= 0 || pixHeight <= 0)
        return cell;
    auto edge = [](int32_t lo, int32_t hi, int32_t n, int32_t i) {
        return static_cast<int32_t>((int64_t{n - i} * lo + int64_t{i} * hi) / n);
    };
    // The cell starts one unit inside its grid line and ends at the next line.
    cell.left = edge(zone.left, zone.right, pixWidth, x) + 1;
    cell.right = edge(zone.left, zone.right, pixWidth, x + 1);
    cell.top = edge(zone.top, zone.bottom, pixHeight, y) + 1;
    cell.bottom = edge(zone.top, zone.bottom, pixHeight, y + 1);
    return cell;
}

namespace {

bool IsBreakByte(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\0';
}

} // namespace

int32_t WrapTextToWidthColored(oGraphPort& port, const char* text, int32_t font, const Zone& zone,
                               const Color* color, int32_t flag) {
    FontMetricWords metrics;
    port.fontMetrics(font, metrics);
    // Lines are spaced by the font's line spacing (the height plus half the descent), so that
    // descenders of one line clear the ascenders of the next.
    const int32_t lineHeight = metrics.lineSpacing;
    const int32_t width = zone.width();
    const std::string all = text ? text : "";
    const size_t n = all.size();
    auto widthOf = [&](size_t from, size_t to) {
        const std::string piece = all.substr(from, to - from);
        return port.stringWidth(piece.c_str(), font);
    };

    int32_t lines = 0;
    size_t pos = 0;
    while (pos < n && lines < kWrapTextMaxLines) {
        // The end of this line: the last break that still fits, else a cut inside the word.
        size_t end = pos;
        size_t next = pos;
        size_t scan = pos;
        bool hardBreak = false;
        while (true) {
            size_t wordEnd = scan;
            while (wordEnd < n && !IsBreakByte(all[wordEnd]))
                ++wordEnd;
            if (widthOf(pos, wordEnd) > width) {
                if (end == pos) {
                    // A single word too wide: cut it in proportion, at an even count, but always
                    // at least one character so that every line makes progress.
                    const int32_t measured = widthOf(pos, wordEnd);
                    size_t count = static_cast<size_t>(int64_t(wordEnd - pos) * std::max(width, 0) /
                                                       std::max(measured, 1));
                    count &= ~size_t{1};
                    count = std::clamp<size_t>(count, 1, wordEnd - pos);
                    end = next = pos + count;
                }
                break;
            }
            end = next = wordEnd;
            if (wordEnd >= n)
                break;
            if (all[wordEnd] == '\r' || all[wordEnd] == '\n') {
                next = wordEnd + 1;
                if (all[wordEnd] == '\r' && next < n && all[next] == '\n')
                    ++next;
                hardBreak = true;
                break;
            }
            scan = wordEnd + 1; // past the space
        }
        const std::string piece = all.substr(pos, end - pos);
        port.drawDeluxeString(piece.c_str(), font, zone.left,
                              zone.top + metrics.ascent + lines * lineHeight, color, flag);
        ++lines;
        pos = next;
        // Spaces after a break are skipped.
        if (!hardBreak)
            while (pos < n && all[pos] == ' ')
                ++pos;
    }
    WrappedTextBottom = zone.top + (lines + 3) * lineHeight;
    return WrappedTextBottom;
}

int32_t WrapTextToWidth(oGraphPort& port, const char* text, int32_t font, const Zone& zone) {
    const Color fore = port.foreColor();
    return WrapTextToWidthColored(port, text, font, zone, &fore, 1);
}

// ---------------------------------------------------------------------------------------------
// Text helper

unsigned char FoldAccent(unsigned char c) {
    struct Fold {
        const char* accented;
        unsigned char plain;
    };
    static constexpr Fold kFolds[] = {
        {"\xC0\xC1\xC2\xC3\xC4\xC5", 'A'},
        {"\xE0\xE1\xE2\xE3\xE4\xE5", 'a'},
        {"\xC8\xC9\xCA\xCB", 'E'},
        {"\xE8\xE9\xEA\xEB", 'e'},
        {"\xCC\xCD\xCE\xCF", 'I'},
        {"\xEC\xED\xEE\xEF", 'i'},
        {"\xD2\xD3\xD4\xD5\xD6", 'O'},
        {"\xF2\xF3\xF4\xF5\xF6", 'o'},
        {"\xD9\xDA\xDB\xDC", 'U'},
        {"\xF9\xFA\xFB\xFC", 'u'},
        {"\xDD", 'Y'},
    };
    if (c == 0)
        return c;
    for (const Fold& f : kFolds)
        if (std::strchr(f.accented, static_cast<char>(c)))
            return f.plain;
    return c;
}
