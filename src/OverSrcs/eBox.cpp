#include "OverSrcs/eBox.h"

#include "OverSrcs/eLayout.h"

#include <algorithm>

OwnedNode<eBox> NewBox(ExprPtr child) {
    OwnedNode<eBox> box = NewTemplateBlock<eBox>(1, 1);
    box->m_kind = 0;
    box->setChild(0, std::move(child));
    return box;
}

bool eBox::getTemplateCode(int32_t& code) const {
    code = MakeTemplateCode(kTemplateFamilyBox, m_kind, m_count);
    return true;
}

int32_t eBox::lineWidth(int32_t resolution, bool magnified) const {
    const int32_t t = kBoxThicknessTable[m_kind & kBoxThicknessMask];
    const int32_t k = magnified ? 2 : 1;
    return std::max(1, (resolution * t * k + 32) >> 6);
}

void eBox::measure() {
    eTemplate::measure();
    const ChildMetrics& c = TemplateChildMetrics[0];
    const int32_t s = m_size;
    const int32_t resolution =
        DrawState.measurePort != nullptr ? DrawState.measurePort->resolution() : 16;
    const int32_t w = lineWidth(resolution, DrawState.options[kOptionMagnify] != 0);
    const int32_t q = ((s * 9) >> 3) + 2;
    int32_t width, height, A;
    if ((m_kind & kBoxQuantiseWidth) != 0)
        width = ((c.width + q) / q) * q;
    else
        width = c.width + (s >> 2);
    if ((m_kind & kBoxQuantiseHeight) != 0) {
        // Equal halves above and below the axis, each a whole number of half quanta.
        const int32_t h = std::max(1, q >> 1);
        A = ((std::max(c.height - c.zone.ref1, c.zone.ref1) + h) / h) * h;
        height = 2 * A;
    } else {
        height = c.height + (s >> 2);
        A = c.zone.ref1 + (s >> 3);
    }
    width += 4 * w;
    height += 4 * w;
    A += 2 * w;
    const bool shadow = (m_kind & kBoxShadow) != 0;
    const bool shadowLeft = shadow && (m_kind & kBoxShadowLeft) != 0;
    if (eExpr* child = getChild(0))
        PlaceNodeRect(child, ((width - c.width) >> 1) + (shadowLeft ? 2 * w : 0), A - c.zone.ref1);
    if (shadow) {
        width += 2 * w;
        height += 2 * w;
    }
    m_zone.right = width;
    m_zone.bottom = height;
    m_zone.ref1 = A;
    m_zone.ref2 = A - c.zone.ref1 + c.zone.ref2;
}

void eBox::draw() {
    eTemplate::draw();
    oGraphPort* port = DrawState.drawPort;
    if (port == nullptr)
        return;
    // The zones are in the draw port's units (a rescaled tree included), so is the frame.
    const int32_t w = lineWidth(port->resolution(), DrawState.options[kOptionMagnify] != 0);
    Zone z = DrawState.absZone;
    int32_t l = z.left + w, t = z.top + w, r = z.right - w, b = z.bottom - w;
    if ((m_kind & kBoxShadow) != 0) {
        b -= 2 * w;
        port->startLine(2 * w);
        if ((m_kind & kBoxShadowLeft) == 0) {
            r -= 2 * w;
            port->moveTo(l + 2 * w, b);
            port->lineTo(r, b);
            port->lineTo(r, t + 2 * w);
        } else {
            l += 2 * w;
            port->moveTo(r - 4 * w, b);
            port->lineTo(l - 2 * w, b);
            port->lineTo(l - 2 * w, t + 2 * w);
        }
        port->endLine();
    }
    const Zone frame{l, t, r, b, 0, 0};
    port->frameZone(frame, w, port->foreColor(), kLineSolid, kDrawPaint);
    restoreColors();
}
