#include "OverSrcs/oRotate.h"

#include "OverPc/PERROR.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// The device record of a rotation port: none of its own, all ones.
PortDevice* const kNoDeviceRecord = reinterpret_cast<PortDevice*>(static_cast<std::intptr_t>(-1));

int32_t QuarterTurns(int32_t angle) {
    switch (angle) {
    case 9000:
        return 1;
    case -9000:
        return -1;
    case 18000:
        return 2;
    case -18000:
        return -2;
    default:
        return 0;
    }
}

} // namespace

int32_t RotateAngleSum(int32_t a, int32_t b) {
    int64_t sum = static_cast<int64_t>(a) + b;
    // Repeated so that any two angles in range, or beyond it, land in range.
    while (sum > 18000)
        sum -= 36000;
    while (sum < -17999)
        sum += 36000;
    return static_cast<int32_t>(sum);
}

oPoint RotatePoint(int32_t angle, int32_t x, int32_t y) {
    switch (QuarterTurns(angle)) {
    case 1:
        return oPoint{y, -x};
    case -1:
        return oPoint{-y, x};
    case 2:
    case -2:
        return oPoint{-x, -y};
    default:
        return oPoint{x, y};
    }
}

Zone RotateZone(int32_t angle, const Zone& zone) {
    const oPoint a = RotatePoint(angle, zone.left, zone.top);
    const oPoint b = RotatePoint(angle, zone.right, zone.bottom);
    Zone out = zone;
    out.left = std::min(a.x, b.x);
    out.right = std::max(a.x, b.x);
    out.top = std::min(a.y, b.y);
    out.bottom = std::max(a.y, b.y);
    return out;
}

void RotateHornCorner(int32_t angle, int32_t& corner, int32_t& vertical) {
    // A quarter turn swaps horizontal and vertical horns; the remap gives the vertical horn's
    // corner code for the same shape.
    static const int32_t kRemap[5] = {0, 3, 2, 1, 4};
    const int32_t q = angle / 9000 >= -2 && angle / 9000 <= 2 ? QuarterTurns(angle) : 0;
    const bool odd = (q & 1) != 0;
    auto turned = [q](int32_t c) { return (((c - q + 7) % 4) + 4) % 4 + 1; };
    if (corner < 1 || corner > 4)
        return;
    if (vertical) {
        if (odd) {
            corner = kRemap[corner];
            vertical = 0;
        }
        corner = turned(corner);
    } else {
        corner = turned(corner);
        if (odd) {
            corner = kRemap[corner];
            vertical = 1;
        }
    }
}

// ---------------------------------------------------------------------------------------------

oRotatePort::oRotatePort(oGraphPort& target, int32_t angle)
    : m_target(&target)
    , m_angle(angle) {
    adoptDevice(kNoDeviceRecord);
    setResolution(target.resolution());
    m_lineUnit = target.lineUnit();
    m_flag = target.flag();
    m_bounds = RotateZone(-angle, target.bounds());
    m_width = m_bounds.width();
    m_height = m_bounds.height();
    m_clip = m_bounds;
    m_originX = 0;
    m_originY = 0;
    m_foreColor = target.foreColor();
    m_backColor = target.backColor();
}

oRotatePort* oRotatePort::clone() const {
    return new oRotatePort(*this);
}

oRotatePort::~oRotatePort() = default;

std::unique_ptr<oRotatePort> NewRotatePort(oGraphPort& target, int32_t angle) {
    return std::make_unique<oRotatePort>(target, angle);
}

oPoint oRotatePort::penCorner(int32_t x, int32_t y) const {
    // The target's pen hangs right and down from the point; turned, the square it covers starts
    // at the smaller coordinate on each axis.
    const oPoint a = RotatePoint(m_angle, x, y);
    const oPoint b = RotatePoint(m_angle, x + m_penWidth, y + m_penWidth);
    return oPoint{std::min(a.x, b.x), std::min(a.y, b.y)};
}

void oRotatePort::drawDeluxeString(const char* text, int32_t font, int32_t x, int32_t y,
                                   const Color* color, int32_t flag) {
    const oPoint p = RotatePoint(m_angle, x, y);
    m_target->drawRotatedString(text, font, p.x, p.y, color, flag, m_angle);
}

void oRotatePort::drawRotatedString(const char* text, int32_t font, int32_t x, int32_t y,
                                    const Color* color, int32_t flag, int32_t angle) {
    const oPoint p = RotatePoint(m_angle, x, y);
    m_target->drawRotatedString(text, font, p.x, p.y, color, flag, RotateAngleSum(angle, m_angle));
}

void oRotatePort::drawAsianString(const char* text, int32_t font, int32_t x, int32_t y,
                                  const Color* color, int32_t flag, int32_t angle) {
    const oPoint p = RotatePoint(m_angle, x, y);
    m_target->drawAsianString(text, font, p.x, p.y, color, flag, RotateAngleSum(angle, m_angle));
}

void oRotatePort::startDeluxeLine(int32_t width, const Color& color, int32_t style, int32_t mode) {
    m_penWidth = width;
    m_target->startDeluxeLine(width, color, style, mode);
}

void oRotatePort::moveTo(int32_t x, int32_t y) {
    const oPoint p = penCorner(x, y);
    m_target->moveTo(p.x, p.y);
}

void oRotatePort::move(int32_t dx, int32_t dy) {
    const oPoint v = RotatePoint(m_angle, dx, dy);
    m_target->move(v.x, v.y);
}

void oRotatePort::lineTo(int32_t x, int32_t y) {
    const oPoint p = penCorner(x, y);
    m_target->lineTo(p.x, p.y);
}

void oRotatePort::line(int32_t dx, int32_t dy) {
    const oPoint v = RotatePoint(m_angle, dx, dy);
    m_target->line(v.x, v.y);
}

void oRotatePort::dotAt(int32_t x, int32_t y) {
    const oPoint p = RotatePoint(m_angle, x, y);
    m_target->dotAt(p.x, p.y);
}

void oRotatePort::endLine() {
    m_target->endLine();
}

void oRotatePort::paintZone(const Zone& zone, const Color& color) {
    m_target->paintZone(RotateZone(m_angle, zone), color);
}

void oRotatePort::eraseZone(const Zone& zone) {
    m_target->eraseZone(RotateZone(m_angle, zone));
}

void oRotatePort::paintPolygon(int32_t count, const oPoint* points, const Color* fill, int32_t mode,
                               int32_t outline, int32_t extra) {
    std::vector<oPoint> turned;
    if (count > 0 && points) {
        turned.reserve(static_cast<std::size_t>(count));
        for (int32_t i = 0; i < count; ++i)
            turned.push_back(RotatePoint(m_angle, points[i].x, points[i].y));
    }
    m_target->paintPolygon(static_cast<int32_t>(turned.size()), turned.data(), fill, mode, outline,
                           extra);
}

void oRotatePort::frameZone(const Zone& zone, int32_t width, const Color& color, int32_t style,
                            int32_t mode) {
    m_target->frameZone(RotateZone(m_angle, zone), width, color, style, mode);
}

void oRotatePort::paintCircle(const Zone& zone) {
    m_target->paintCircle(RotateZone(m_angle, zone));
}

void oRotatePort::integralSign(const Zone& zone, int32_t step, int32_t count, int32_t flags,
                               int32_t width, int32_t orientation) {
    m_target->integralSign(RotateZone(m_angle, zone), step, count, flags, width,
                           RotateAngleSum(orientation, m_angle));
}

void oRotatePort::paintHorn(const Zone& zone, int32_t width, int32_t direction, int32_t vertical) {
    int32_t corner = direction;
    int32_t turnedVertical = vertical ? 1 : 0;
    RotateHornCorner(m_angle, corner, turnedVertical);
    m_target->paintHorn(RotateZone(m_angle, zone), width, corner, turnedVertical);
}

// Pixel blocks and images cannot be turned here: refused, nothing drawn.
void oRotatePort::savePix(int32_t, int32_t, oPixMap&) {
    KV_ASSERT_FAILED("oRotatePort::savePix");
}
void oRotatePort::restorePix(int32_t, int32_t, oPixMap&) {
    KV_ASSERT_FAILED("oRotatePort::restorePix");
}
void oRotatePort::restoreStretch(const Zone&, oPixMap&, int32_t) {
    KV_ASSERT_FAILED("oRotatePort::restoreStretch");
}
void oRotatePort::restoreColorize(int32_t, int32_t, oPixMap&, const Color&, const Color&) {
    KV_ASSERT_FAILED("oRotatePort::restoreColorize");
}
void oRotatePort::drawImage(int32_t, const Zone&, const Color&, const Color&, int32_t) {
    KV_ASSERT_FAILED("oRotatePort::drawImage");
}
void oRotatePort::stretchImage(int32_t, const Zone&) {
    KV_ASSERT_FAILED("oRotatePort::stretchImage");
}

void oRotatePort::clipToZone(const Zone* zone) {
    if (zone) {
        Zone inner;
        if (!ZoneIntersect(m_bounds, *zone, inner))
            inner = Zone{zone->left, zone->top, zone->left, zone->top, 0, 0};
        m_clip = inner;
        const Zone turned = RotateZone(m_angle, *zone);
        m_target->clipToZone(&turned);
    } else {
        m_clip = m_bounds;
        m_target->clipToZone(nullptr);
    }
}

void oRotatePort::setColors(const Color* foreground, const Color* background) {
    m_foreColor = foreground ? *foreground : kColorBlack;
    m_backColor = background ? *background : kColorWhite;
    m_target->setColors(foreground, background);
}
