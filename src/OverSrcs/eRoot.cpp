#include "OverSrcs/eRoot.h"

#include "ExprSrcs/commands/tsPrefs.h"
#include "OverSrcs/eLayout.h"

#include <algorithm>

OwnedNode<eRoot> NewRoot(ExprPtr radicand, ExprPtr index) {
    OwnedNode<eRoot> root = NewTemplateBlock<eRoot>(2, 2);
    root->m_kind = 0;
    root->setChild(0, std::move(radicand));
    root->setChild(1, std::move(index));
    return root;
}

int32_t eRoot::strokeWidth() const {
    return std::max(1, (m_size * RootSettings.strokeWeight + 64) / 128);
}

int32_t eRoot::childSizeStep(int32_t i) const {
    return i == 1 ? -RootSettings.indexSize : 0;
}

bool eRoot::getTemplateCode(int32_t& code) const {
    code = MakeTemplateCode(kTemplateFamilyFraction, kFractionKindRoot, m_count);
    return true;
}

void eRoot::measure() {
    eTemplate::measure();
    const ChildMetrics& radicand = TemplateChildMetrics[0];
    const ChildMetrics& index = TemplateChildMetrics[1];
    const int32_t r = strokeWidth();
    const int32_t g = 2 * r;
    const int32_t m = std::max((radicand.height + 1) / 2 + g, g + index.height);
    const int32_t H = 2 * m;
    // The index column is kept even when the index is empty, so the sign never moves.
    const int32_t iw = std::max(H / 4 + g, index.width);
    const int32_t e = H / 8;
    const int32_t width = H / 4 + 3 * e + radicand.width + iw;
    m_zone.right = width;
    m_zone.bottom = H;
    m_zone.ref1 = H - radicand.height + radicand.zone.ref1;
    m_zone.ref2 = H - radicand.height + radicand.zone.ref2;
    if (eExpr* child = getChild(0))
        PlaceNodeRect(child, width - radicand.width - e, H - radicand.height);
    if (eExpr* child = getChild(1))
        PlaceNodeRect(child, (iw - index.width) / 2 + e, (m - index.height) / 2);
}

void eRoot::draw() {
    eTemplate::draw();
    oGraphPort* port = DrawState.drawPort;
    if (port == nullptr)
        return;
    const Zone& z = DrawState.absZone;
    const int32_t top = z.top;
    const int32_t bottom = z.bottom;
    const int32_t H = bottom - top;
    const int32_t x0 = z.left + TemplateChildMetrics[0].zone.left;
    const int32_t r = strokeWidth();

    // The vinculum, from the right end (after the hook when there is one) to the sign.
    port->startLine(r);
    const int32_t hook = RootSettings.rightHook;
    if (hook != 0) {
        port->moveTo(z.right - r, top + ((hook * H * 3) >> 5));
        port->lineTo(z.right - r, top);
    } else {
        port->moveTo(z.right - r, top);
    }
    port->lineTo(x0, top);
    port->endLine();

    // The sign: one filled outline from the top of the long stroke down to its foot, up the short
    // stroke to its tip and back.
    const int32_t xs = x0 - H / 3;
    const int32_t xb = xs - H / 6;
    const int32_t d = (3 * r) >> 2;
    oPoint p[9];
    p[0] = oPoint{x0 - std::max(1, d), top};
    p[1] = oPoint{xs + d, bottom - ((18 * r) >> 2)};
    p[2] = oPoint{xb + d, top + H / 2};
    int32_t tipX =
        std::min((((p[2].x - p[1].x) * 3) >> 3) + 2 * xb - p[2].x, xb - (p[1].x - p[2].x) / 2);
    if (tipX == p[2].x)
        tipX += 1;
    // The tip lies on the long stroke's slope; a vertical long stroke is moved over by one.
    if (p[1].x == p[0].x)
        p[1].x += 1;
    const int32_t tipY = ((p[1].y - top) / (p[1].x - p[0].x)) * (tipX - p[2].x) + p[2].y;
    p[3] = oPoint{tipX, tipY};
    p[4] = oPoint{tipX + 1, tipY + 1};
    p[5] = oPoint{xb, top + H / 2 + ((18 * r) >> 2)};
    p[6] = oPoint{xs, bottom};
    p[7] = oPoint{x0, top + r};
    p[8] = oPoint{x0, top};
    const Color fore = port->foreColor();
    port->paintPolygon(9, p, &fore, kDrawPaint, 0, 0);
    restoreColors();
}
