#include "OverSrcs/eMark.h"

#include "ExprSrcs/commands/tsPrefs.h"
#include "OverSrcs/eLayout.h"

#include <algorithm>
#include <utility>

namespace {

// Fixed widths in eighths of the size, one character a mark; 'x' marks have none.
constexpr char kFixedWidths[] = "x12446236742xxxx";

ExprPtr MakeMarkFromCode(int32_t, int32_t kind, int32_t) {
    return NewMark(ExprPtr(), kind);
}

} // namespace

MarkMetrics MarkMetricsFor(int32_t s) {
    MarkMetrics m;
    const int32_t ls = EmbellishmentSettings.strokeWeight;
    const int32_t ds = EmbellishmentSettings.dotWeight;
    m.line = std::max(1, (3 * s * ls + 128) >> 8);
    m.d = std::max(1, (s * ds + 64) >> 7);
    m.dot = std::max(1, (3 * s * ds + 64) >> 7);
    m.gap = std::max(1, (s * ls + 32) >> 6);
    return m;
}

int32_t MarkBandHeight(int32_t mark, const MarkMetrics& m) {
    const int32_t L = m.line, d = m.d;
    switch (mark) {
    case kMarkDot:
    case kMarkDoubleDot:
    case kMarkTripleDot:
        return 2 * d;
    case kMarkTilde:
    case kMarkArc:
        return L + 2 * d;
    case kMarkVector:
    case kMarkTwoHeadedArrow:
    case kMarkBackwardArrow:
        return L + 4 * d;
    case kMarkBar:
        return L;
    case kMarkHat:
        return L + 3 * d;
    case kMarkDoubleBar:
        return 4 * L;
    default:
        return L + d;
    }
}

int32_t MarkMinimumEighths(int32_t mark) {
    static constexpr int32_t kMinimum[16] = {6, 1, 2, 4, 4, 6, 2, 3, 6, 3, 4, 2, 6, 6, 6, 6};
    return kMinimum[mark & 15];
}

int32_t MarkFixedEighths(int32_t mark) {
    const char c = kFixedWidths[mark & 15];
    return c >= '0' && c <= '9' ? c - '0' : -1;
}

OwnedNode<eMark> NewMark(ExprPtr child, int32_t kind) {
    OwnedNode<eMark> node = NewTemplateBlock<eMark>(1, 1);
    node->m_kind = kind;
    if (child)
        node->setChild(0, std::move(child));
    return node;
}

void eMark::measure() {
    eTemplate::measure();
    const ChildMetrics& c = TemplateChildMetrics[0];
    const int32_t s = m_size;
    const MarkMetrics m = MarkMetricsFor(s);
    int32_t band = MarkBandHeight(mark(), m) + m.gap;
    if ((m_kind & kMarkNormalPlacement) == 0)
        band = std::max(band - s / 5, 0);
    const bool below = (m_kind & kMarkBelow) != 0;
    m_zone.bottom = c.height + band;
    m_zone.right = std::max(c.width, s * MarkMinimumEighths(mark()) >> 3);
    m_zone.ref1 = c.zone.ref1 + (below ? 0 : band);
    m_zone.ref2 = c.zone.ref2 + (below ? 0 : band);
    if (eExpr* child = getChild(0))
        PlaceNodeRect(child, (m_zone.right - c.width + 1) / 2, below ? 0 : band);
}

void eMark::getExtents(int32_t& left, int32_t& right, int32_t& overhang) {
    eExpr* child = m_count > 0 ? getChild(0) : nullptr;
    if (child == nullptr) {
        eTemplate::getExtents(left, right, overhang);
        return;
    }
    child->getExtents(left, right, overhang);
    left += child->m_zone.left;
    right += child->m_zone.left;
}

void eMark::draw() {
    eTemplate::draw();
    if (DrawState.drawPort == nullptr)
        return;
    oGraphPort& port = *DrawState.drawPort;
    const Zone& z = DrawState.absZone;
    const int32_t s = m_size;
    const MarkMetrics mm = MarkMetricsFor(s);
    const int32_t L = mm.line, d = mm.d, d3 = mm.dot;
    const bool below = (m_kind & kMarkBelow) != 0;
    eExpr* child = m_count > 0 ? getChild(0) : nullptr;
    const int32_t childWidth = child != nullptr ? child->width() : 0;
    const int32_t childHeight = child != nullptr ? child->height() : 0;

    int32_t y = z.bottom;
    if (!below) {
        y = z.bottom - childHeight - mm.gap;
        if ((m_kind & kMarkNormalPlacement) == 0)
            y += s / 5;
    }
    int32_t le = 0, re = childWidth, overhang = 0;
    if (child != nullptr)
        child->getExtents(le, re, overhang);
    int32_t x0 = below ? z.left : z.left + le;
    int32_t wm = re - le + (z.right - z.left - childWidth);
    if ((m_kind & kMarkFixedWidth) != 0 && MarkFixedEighths(mark()) >= 0) {
        const int32_t n = (MarkFixedEighths(mark()) * s) >> 3;
        const int32_t shift = (wm - n) / 2;
        if (shift > 0) {
            x0 += shift;
            wm -= 2 * shift;
        }
    }
    const int32_t h = wm / 2, q = h / 2, e = q / 2;

    const auto dot = [&](int32_t left) {
        port.paintCircle(Zone{left, y - d3, left + d3, y, 0, 0});
    };
    const auto shaft = [&] {
        port.moveTo(x0 + e, y - 2 * d - L);
        port.line(wm - 2 * e - L, 0);
    };
    const auto rightHead = [&] {
        // From the shaft's right end.
        port.move(-2 * d, -2 * d);
        port.line(2 * d, 2 * d);
        port.line(-2 * d, 2 * d);
    };
    const auto leftHead = [&] {
        port.moveTo(x0 + e + 2 * d, y - 4 * d - L);
        port.line(-2 * d, 2 * d);
        port.line(2 * d, 2 * d);
    };

    switch (mark()) {
    case kMarkDot:
        dot(x0 + (wm - d3) / 2);
        break;
    case kMarkDoubleDot:
        dot(x0 + e - d3 / 2);
        dot(x0 + wm - e - d3 / 2);
        break;
    case kMarkTripleDot: {
        const int32_t step = (wm - q - d3) / 2;
        for (int32_t i = 0; i < 3; ++i)
            dot(x0 + e + i * step);
        break;
    }
    case kMarkTilde:
        port.startLine(L);
        port.moveTo(x0 + e, y - L);
        port.line(q - e, -2 * d);
        port.line(e, 0);
        port.lineTo(x0 + wm - e - q - L, y - L);
        port.line(e, 0);
        port.line(q - e, -2 * d);
        port.endLine();
        break;
    case kMarkVector:
        port.startLine(L);
        shaft();
        rightHead();
        port.endLine();
        break;
    case kMarkBackwardArrow:
        port.startLine(L);
        shaft();
        leftHead();
        port.endLine();
        break;
    case kMarkTwoHeadedArrow:
        port.startLine(L);
        shaft();
        rightHead();
        leftHead();
        port.endLine();
        break;
    case kMarkBar: {
        const int32_t b = (s + 8) >> 4;
        port.startLine(L);
        port.moveTo(x0 + b, y - L);
        port.line(wm - 2 * b - L, 0);
        port.endLine();
        break;
    }
    case kMarkDoubleBar:
        port.startLine(L);
        port.moveTo(x0, y - L);
        port.line(wm - L, 0);
        port.moveTo(x0, y - 3 * L);
        port.line(wm - L, 0);
        port.endLine();
        break;
    case kMarkHat: {
        const int32_t r = 3 * d;
        port.startLine(L);
        if (!below) {
            port.moveTo(x0 + e, y - L);
            port.line(h - e, -r);
            port.line(wm - e - h, r);
        } else {
            port.moveTo(x0 + e, y - r - L);
            port.line(h - e, r);
            port.line(wm - e - h, -r);
        }
        port.endLine();
        break;
    }
    case kMarkArc: {
        const int32_t a = 3 * d / 2;
        const int32_t base = y - L;
        // Above, the arc rises from its ends; below, it hangs from them.
        const int32_t ends = below ? base - 2 * d : base;
        const int32_t shoulder = below ? base - 2 * d + a : base - a;
        const int32_t crown = below ? base : base - 2 * d;
        port.startLine(L);
        port.moveTo(x0 + e, ends);
        port.lineTo(x0 + 2 * e, shoulder);
        port.lineTo(x0 + q + e, crown);
        port.lineTo(x0 + wm - e - q - L, crown);
        port.lineTo(x0 + wm - 2 * e - L, shoulder);
        port.lineTo(x0 + wm - e - L, ends);
        port.endLine();
        break;
    }
    default:
        break; // reserved marks only hold their band
    }
    restoreColors();
}

bool eMark::getTemplateCode(int32_t& code) const {
    code = MakeTemplateCode(kTemplateFamilyMark, m_kind, m_count);
    return true;
}

void RegisterMarkTemplates() {
    SetTemplateFactory(kTemplateFamilyMark, &MakeMarkFromCode);
}
