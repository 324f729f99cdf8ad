#include "OverSrcs/eLongDivision.h"

#include "OverSrcs/eLayout.h"

#include <algorithm>

OwnedNode<eLongDivision> NewLongDivision(ExprPtr dividend, ExprPtr divisor, ExprPtr quotient,
                                         ExprPtr working) {
    OwnedNode<eLongDivision> node = NewTemplateBlock<eLongDivision>(4, 4);
    node->m_kind = 0;
    node->setChild(0, std::move(dividend));
    node->setChild(1, std::move(divisor));
    node->setChild(2, std::move(quotient));
    node->setChild(3, std::move(working));
    return node;
}

bool eLongDivision::getTemplateCode(int32_t& code) const {
    code = MakeTemplateCode(kTemplateFamilyFraction, kFractionKindLongDivision, m_count);
    return true;
}

void eLongDivision::measure() {
    eTemplate::measure();
    const ChildMetrics* c = TemplateChildMetrics;
    const int32_t s0 = m_size;
    const int32_t descent = std::max(c[0].height - c[0].zone.ref1, c[1].height - c[1].zone.ref1);
    const int32_t ascent = std::max(c[0].zone.ref1, c[1].zone.ref1);
    // The bracket's width grows with the taller of dividend and divisor.
    const int32_t w = (descent + ascent) / 8 + s0 / 4;
    const int32_t bottom = s0 / 2 + c[3].height + c[2].height + descent + 2 + ascent;
    const int32_t right = std::max({c[3].width, c[2].width, c[0].width}) + c[1].width + w;
    const int32_t axis = s0 / 4 + c[2].height + 2 + ascent;
    m_zone.right = right;
    m_zone.bottom = bottom;
    m_zone.ref1 = axis;
    m_zone.ref2 = bottom - c[3].height + c[3].zone.ref2;
    const int32_t x = c[1].width + w;
    const int32_t at[4][2] = {
        {x, axis - c[0].zone.ref1}, {0, axis - c[1].zone.ref1}, {x, 0}, {x, bottom - c[3].height}};
    for (int32_t i = 0; i < std::min<int32_t>(m_count, 4); ++i)
        if (eExpr* child = getChild(i))
            PlaceNodeRect(child, at[i][0], at[i][1]);
}

void eLongDivision::draw() {
    eTemplate::draw();
    oGraphPort* port = DrawState.drawPort;
    if (port == nullptr)
        return;
    const ChildMetrics* c = TemplateChildMetrics;
    const Zone& z = DrawState.absZone;
    const int32_t t = std::max(1, m_size / 16);
    // The overline under the quotient; the bracket reaches down to below the lower of dividend
    // and divisor (their bottoms as placed, not their heights, which would end it above the line).
    const int32_t y0 = z.top + c[2].zone.bottom + 2 * t;
    const int32_t yB = z.top + std::max(c[0].zone.bottom, c[1].zone.bottom) + t;
    const int32_t x0 = z.left + c[1].zone.right;
    const int32_t xd = z.left + c[0].zone.left;
    Zone bracket{(xd + 3 * x0) / 4, y0, (x0 + 3 * xd) / 4, (y0 + yB) / 2, 0, 0};

    port->startLine(t);
    port->moveTo(z.right - t, y0);
    port->lineTo(bracket.left, y0);
    port->endLine();

    // The bracket: two horns meeting on its right, then one more in the zone below.
    port->paintHorn(bracket, t, 3, 1);
    port->paintHorn(bracket, t, 1, 0);
    ZoneOffset(bracket, 0, bracket.bottom - bracket.top);
    port->paintHorn(bracket, t, 2, 0);
    restoreColors();
}
