#include "OverSrcs/eFence.h"

#include "ExprSrcs/commands/tsPrefs.h"
#include "OverSrcs/eIntegral.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eMark.h"

#include <algorithm>
#include <utility>

int32_t FenceHornMode = 0;

namespace {

// Strokes are worked out for a vertical fence: x runs across the delimiter, y along it. A
// horizontal fence hands the same figures to the port with x and y exchanged.
class TurnablePen {
public:
    TurnablePen(oGraphPort& port, bool turned)
        : m_port(port)
        , m_turned(turned) {}

    void startLine(int32_t width) { m_port.startLine(width); }
    void endLine() { m_port.endLine(); }
    void moveTo(int32_t x, int32_t y) { m_turned ? m_port.moveTo(y, x) : m_port.moveTo(x, y); }
    void lineTo(int32_t x, int32_t y) { m_turned ? m_port.lineTo(y, x) : m_port.lineTo(x, y); }
    void line(int32_t dx, int32_t dy) { m_turned ? m_port.line(dy, dx) : m_port.line(dx, dy); }
    // The horn's corner codes name the same corners once the zone is turned, so only the zone and
    // the port's orientation flag change.
    void horn(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t width,
              int32_t corner) {
        Zone z{left, top, right, bottom, 0, 0};
        if (m_turned)
            z = Zone{top, left, bottom, right, 0, 0};
        m_port.paintHorn(z, width, corner, m_turned ? 1 : 0);
    }

private:
    oGraphPort& m_port;
    bool m_turned;
};

struct DelimiterBox {
    int32_t l, top, r, bottom;
};

// Round a stretched length up to the quantum, when quantising applies.
int32_t Quantise(int32_t x, int32_t q) {
    if (DelimiterSettings.quantiseSize == 0 || StructureOn() || q <= 0)
        return x;
    return ((x + q - 1) / q) * q;
}

int32_t StrokeOf(int32_t size, int32_t weight) {
    return std::max(1, (size * weight + 32) >> 6);
}

// Three quarters of the vertical weight: bars and angle brackets.
int32_t LightStroke(int32_t size) {
    return std::max(1, (3 * size * DelimiterSettings.verticalWeight + 128) >> 8);
}

// Thin strokes stay visible on high-resolution devices.
int32_t AtLeastDeviceMinimum(int32_t stroke, const oGraphPort& port) {
    if (port.resolution() >= 32)
        stroke = std::max(stroke, port.resolution() / 32);
    return stroke;
}

// Draws one delimiter in its box. Figures are written for the opening side; the closing side is
// their mirror image: an x covered by a pen of width w from x to x + w becomes l + r - x - w.
class DelimiterPainter {
public:
    DelimiterPainter(TurnablePen& pen, const oGraphPort& port, const DelimiterBox& box,
                     bool closing, int32_t size, int32_t t)
        : m_pen(pen)
        , m_port(port)
        , m_box(box)
        , m_closing(closing)
        , m_s(size)
        , m_t(t) {}

    void paint(int32_t type) {
        switch (type) {
        case kDelimParen:
            paren();
            break;
        case kDelimBrace:
            brace();
            break;
        case kDelimAngle:
            angle();
            break;
        case kDelimBar:
        case kDelimDoubleBar:
            bars(type == kDelimDoubleBar);
            break;
        case kDelimFloor:
        case kDelimCeiling:
        case kDelimSquare:
            square(type, m_closing);
            break;
        case kDelimReversedSquare:
            square(kDelimSquare, !m_closing);
            break;
        case kDelimWhiteSquare:
            whiteSquare();
            break;
        default:
            break; // none, and the reserved types, draw nothing
        }
        FenceHornMode = 0;
    }

private:
    int32_t X(int32_t x, int32_t w, bool closing) const {
        return closing ? m_box.l + m_box.r - x - w : x;
    }
    int32_t X(int32_t x, int32_t w) const { return X(x, w, m_closing); }
    void hornAcross(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t opening,
                    int32_t closing) {
        if (m_closing)
            m_pen.horn(m_box.l + m_box.r - right, top, m_box.l + m_box.r - left, bottom, m_t,
                       closing);
        else
            m_pen.horn(left, top, right, bottom, m_t, opening);
    }
    void vertical(int32_t x, int32_t y, int32_t length, int32_t w) {
        m_pen.startLine(w);
        m_pen.moveTo(X(x, w), y);
        m_pen.line(0, length);
        m_pen.endLine();
    }

    void paren() {
        const auto& b = m_box;
        const int32_t h = b.bottom - b.top;
        if (DelimiterSettings.straightSegments == 0) {
            hornAcross(b.l, b.top, b.r, b.top + h / 2, 4, 1);
            hornAcross(b.l, b.top + h / 2, b.r, b.bottom, 3, 2);
            return;
        }
        FenceHornMode = 1;
        const int32_t g = h - 16 >= 4 ? (h - 16) >> 2 : 0;
        const int32_t part = h / 2 - g;
        hornAcross(b.l, b.top, b.r, b.top + part, 4, 1);
        if (g > 0)
            vertical(b.l, b.top + part, 2 * g - m_t, m_t);
        hornAcross(b.l, b.bottom - part, b.r, b.bottom, 3, 2);
    }

    void brace() {
        const auto& b = m_box;
        const int32_t h = b.bottom - b.top;
        const bool straight = DelimiterSettings.straightSegments != 0;
        if (straight)
            FenceHornMode = 2;
        const int32_t k = ((b.r - b.l) - m_t) / 2;
        const int32_t g = straight && h - 32 >= 8 ? (h - 32) >> 3 : 0;
        const int32_t p = (h + 2) / 4 - g;
        // Opening side: the outer horns lie in the half next to the child (the right half), the
        // point horns k further out.
        int32_t y = b.top;
        hornAcross(b.l + k, y, b.r, y + p, 4, 1);
        if (g > 0)
            vertical(b.l + k, y + p, 2 * g - m_t, m_t);
        y += 2 * g + p;
        hornAcross(b.l, y, b.r - k, y + p, 2, 3);
        y += p;
        hornAcross(b.l, y, b.r - k, y + p, 1, 4);
        if (g > 0)
            vertical(b.l + k, y + p, 2 * g - m_t, m_t);
        y += 2 * g + p;
        hornAcross(b.l + k, y, b.r, y + p, 3, 2);
    }

    void angle() {
        const int32_t a = LightStroke(m_s);
        const int32_t r = m_box.r - a;
        const int32_t bottom = m_box.bottom - a;
        m_pen.startLine(a);
        m_pen.moveTo(X(r, a), m_box.top);
        m_pen.lineTo(X(m_box.l, a), (m_box.top + bottom) / 2);
        m_pen.lineTo(X(r, a), bottom);
        m_pen.endLine();
    }

    void bars(bool twice) {
        const int32_t a = AtLeastDeviceMinimum(LightStroke(m_s), m_port);
        const int32_t length = m_box.bottom - a - m_box.top;
        vertical(m_box.l, m_box.top, length, a);
        if (twice)
            vertical(m_box.l + 2 * a, m_box.top, length, a);
    }

    void serif(int32_t y, int32_t w, bool closing) {
        m_pen.startLine(w);
        m_pen.moveTo(X(m_box.l, w, closing), y);
        m_pen.lineTo(X(m_box.r - w, w, closing), y);
        m_pen.endLine();
    }

    void square(int32_t type, bool closing) {
        const int32_t vs =
            AtLeastDeviceMinimum(StrokeOf(m_s, DelimiterSettings.verticalWeight), m_port);
        const int32_t ss = AtLeastDeviceMinimum(
            std::max(1, (m_s * DelimiterSettings.horizontalWeight / 2 + 32) >> 6), m_port);
        if (type == kDelimCeiling || type == kDelimSquare)
            serif(m_box.top, ss, closing);
        if (type == kDelimFloor || type == kDelimSquare)
            serif(m_box.bottom - ss, ss, closing);
        m_pen.startLine(vs);
        m_pen.moveTo(X(m_box.l, vs, closing), m_box.top);
        m_pen.lineTo(X(m_box.l, vs, closing), m_box.bottom - vs);
        m_pen.endLine();
    }

    void whiteSquare() {
        const int32_t ss = PostScriptDocumentOpen != 0 ? m_t : std::max(1, m_t / 2);
        const int32_t bottom = m_box.bottom - ss;
        const int32_t h = bottom - m_box.top;
        const int32_t inner = m_box.r - m_t;
        const auto serifAt = [&](int32_t y) {
            m_pen.startLine(ss);
            m_pen.moveTo(X(inner, ss), y);
            m_pen.lineTo(X(m_box.l, ss), y);
            m_pen.endLine();
        };
        serifAt(m_box.top);
        vertical(m_box.l, m_box.top, h - m_t, m_t);
        vertical((m_box.l + m_box.r - m_t) / 2, m_box.top, h - m_t, m_t);
        serifAt(bottom);
    }

    TurnablePen& m_pen;
    const oGraphPort& m_port;
    DelimiterBox m_box;
    bool m_closing;
    int32_t m_s;
    int32_t m_t;
};

ExprPtr MakeFenceFromCode(int32_t family, int32_t kind, int32_t) {
    // The wide family carries kinds 256-511, the horizontal fences.
    return NewFence(ExprPtr(), family == kTemplateFamilyWideFence ? kind + 256 : kind);
}

} // namespace

int32_t FenceDelimiterWidth(int32_t type, int32_t length, int32_t s) {
    switch (type) {
    case kDelimNone:
        return 0;
    case kDelimParen:
        return length / 16 + s / 8 + 2;
    case kDelimBrace:
        return length / 16 + s / 4 + 3;
    case kDelimAngle:
        return std::max(1, (length + s) / 8);
    case kDelimBar:
        return std::max(1, s / 4);
    case kDelimWhiteSquare:
        return s / 8 + s / 4 + 2;
    case kDelimDoubleBar:
        return std::max(1, s / 4) +
               2 * std::max(1, (3 * s * DelimiterSettings.verticalWeight + 128) / 256);
    default:
        return s / 8 + s / 16 + 2;
    }
}

OwnedNode<eFence> NewFence(ExprPtr child, int32_t kind) {
    OwnedNode<eFence> fence = NewTemplateBlock<eFence>(1, 1);
    fence->m_kind = kind;
    if (child)
        fence->setChild(0, std::move(child));
    return fence;
}

void eFence::measure() {
    eTemplate::measure();
    const ChildMetrics& c = TemplateChildMetrics[0];
    const int32_t s = m_size;
    const int32_t t = StrokeOf(s, DelimiterSettings.verticalWeight);
    const int32_t q = (s * 9 >> 4) + 1;
    const bool turned = isHorizontal();
    const int32_t ca = c.zone.ref1;
    const int32_t across = turned ? c.height : c.width;
    const int32_t increase = DelimiterSettings.increaseHeight;
    const int32_t e = increase == 0 ? 0 : ((across / 4 + s) * increase) >> 4;

    int32_t axis = 0;
    int32_t along = 0;
    int32_t opening = 0;
    int32_t closing = 0;
    if (!turned) {
        int32_t above;
        if (DelimiterSettings.balanceAboutAxis == 0) {
            above = Quantise(std::max(ca, s >> 1) + e, q);
            const int32_t below = Quantise(std::max(c.height - ca, s >> 1) + e, q);
            along = above + below;
        } else {
            above = Quantise(std::max({ca, c.height - ca, s >> 1}) + e, q);
            along = 2 * above;
        }
        opening = FenceDelimiterWidth(openingType(), along, s) + 2 * t;
        closing = FenceDelimiterWidth(closingType(), along, s) + 2 * t;
        axis = above;
        m_zone.right = opening + c.width + closing;
        m_zone.bottom = along;
    } else {
        along = Quantise(std::max(c.width, s) + 2 * e, q);
        opening = FenceDelimiterWidth(openingType(), along, s) + 2 * t;
        closing = FenceDelimiterWidth(closingType(), along, s) + 2 * t;
        axis = ca + opening;
        m_zone.right = along;
        m_zone.bottom = opening + c.height + closing;
    }
    m_zone.ref1 = axis;
    m_zone.ref2 = axis - ca + c.zone.ref2;

    eExpr* child = getChild(0);
    if (child == nullptr)
        return;
    if (!turned)
        PlaceNodeRect(child, opening, axis - ca);
    else
        PlaceNodeRect(child, (m_zone.right - c.width) >> 1, opening);
}

void eFence::draw() {
    eTemplate::draw();
    if (DrawState.drawPort == nullptr)
        return;
    oGraphPort& port = *DrawState.drawPort;
    const bool turned = isHorizontal();
    const int32_t s = m_size;
    const int32_t t = StrokeOf(s, DelimiterSettings.verticalWeight);
    Zone z = DrawState.absZone;
    if (turned)
        z = Zone{z.top, z.left, z.bottom, z.right, 0, 0};
    const int32_t along = z.bottom - z.top;
    TurnablePen pen(port, turned);

    const int32_t wo = FenceDelimiterWidth(openingType(), along, s);
    DelimiterPainter(pen, port, DelimiterBox{z.left + t, z.top, z.left + t + wo, z.bottom}, false,
                     s, t)
        .paint(openingType());
    const int32_t wc = FenceDelimiterWidth(closingType(), along, s);
    DelimiterPainter(pen, port, DelimiterBox{z.right - t - wc, z.top, z.right - t, z.bottom}, true,
                     s, t)
        .paint(closingType());
    restoreColors();
}

bool eFence::getTemplateCode(int32_t& code) const {
    code = MakeTemplateCode(isHorizontal() ? kTemplateFamilyWideFence : kTemplateFamilyFence,
                            m_kind & 0xFF, m_count);
    return true;
}

void RegisterFenceTemplates() {
    SetTemplateFactory(kTemplateFamilyFence, &MakeFenceFromCode);
    SetTemplateFactory(kTemplateFamilyWideFence, &MakeFenceFromCode);
    RegisterIntegralTemplates();
    RegisterMarkTemplates();
}
