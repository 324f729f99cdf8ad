#include "OverSrcs/eIntegral.h"

#include "ExprSrcs/commands/tsPrefs.h"
#include "OverSrcs/eLayout.h"

#include <algorithm>
#include <utility>

namespace {

// s >> shift, but never below 1 (tiny sizes still get a visible margin or pen).
int32_t ShiftAtLeastOne(int32_t s, int32_t shift) {
    const int32_t v = s >> shift;
    return v >= 2 ? v : 1;
}

ExprPtr MakeIntegralFromCode(int32_t, int32_t kind, int32_t) {
    OwnedNode<eIntegral> node = NewIntegral(3, ExprPtr(), ExprPtr(), ExprPtr());
    node->m_kind = kind;
    return node;
}

void Place(eExpr* child, int32_t x, int32_t y) {
    if (child != nullptr)
        PlaceNodeRect(child, x, y);
}

} // namespace

OwnedNode<eIntegral> NewIntegral(int32_t n, ExprPtr integrand, ExprPtr lower, ExprPtr upper) {
    n = std::clamp(n, 3, static_cast<int32_t>(kMaxTemplateSlots));
    OwnedNode<eIntegral> node = NewTemplateBlock<eIntegral>(n, n);
    node->m_kind = (n - 3) / 2;
    if (integrand)
        node->setChild(kIntegralIntegrand, std::move(integrand));
    if (lower)
        node->setChild(kIntegralLower, std::move(lower));
    if (upper)
        node->setChild(kIntegralUpper, std::move(upper));
    return node;
}

int32_t eIntegral::childSizeStep(int32_t i) const {
    return i >= kIntegralLower ? -IntegralSettings.limitsSize : 0;
}

int32_t eIntegral::signCount() const {
    return (m_kind & kIntegralEvaluateAt) != 0 ? 1 : (m_kind & kIntegralCountMask) + 1;
}

int32_t eIntegral::signHeight(bool withLimits) const {
    const ChildMetrics* c = TemplateChildMetrics;
    const int32_t s = m_size;
    const int32_t small = (m_kind & kIntegralSmallSign) != 0 ? 1 : 0;
    const int32_t defaultHeight = ((2 - small) * s * IntegralSettings.defaultHeight) >> 4;
    int32_t h = defaultHeight;
    if (IntegralSettings.fixedHeight == 0) {
        const int32_t a0 = c[0].zone.ref1;
        int32_t reach = std::max(a0, c[0].height - a0);
        if (withLimits && m_count > kIntegralUpper)
            reach = std::max({reach, c[1].zone.ref1, c[2].height - c[2].zone.ref1});
        h = std::max(defaultHeight, 2 * reach);
    }
    // Quantised, the sign always gains at least one size over the multiple below it.
    if (IntegralSettings.quantiseHeight != 0 && s > 0)
        h = ((h + s) / s) * s;
    return h;
}

int32_t eIntegral::signWidth(int32_t height) const {
    const int32_t s = m_size;
    if ((m_kind & kIntegralEvaluateAt) != 0)
        return s / 2 >= 4 ? s / 2 : 3;
    return ((((s * IntegralSettings.strokeWeight) >> 3) + 1 + (height >> 4)) / 2) * 2;
}

void eIntegral::measure() {
    eTemplate::measure();
    const ChildMetrics* c = TemplateChildMetrics;
    const bool three = m_count > kIntegralUpper;
    const ChildMetrics none{};
    const ChildMetrics& c0 = c[0];
    const ChildMetrics& c1 = three ? c[1] : none;
    const ChildMetrics& c2 = three ? c[2] : none;
    const int32_t s = m_size;
    const int32_t w0 = c0.width, h0 = c0.height, a0 = c0.zone.ref1;
    const int32_t w1 = c1.width, h1 = c1.height, a1 = c1.zone.ref1;
    const int32_t w2 = c2.width, h2 = c2.height, a2 = c2.zone.ref1;

    const int32_t H = signHeight(true);
    const int32_t half = H / 2;
    const int32_t m1 = ShiftAtLeastOne(s, 4);
    const int32_t m2 = ShiftAtLeastOne(s, 5);
    const int32_t g = IntegralSettings.removeInnerSpace != 0 ? 0 : s >> 2;
    const bool bar = (m_kind & kIntegralEvaluateAt) != 0;
    const int32_t uw = signWidth(H);
    const int32_t o = bar ? 0 : uw / 3;
    const int32_t k = bar ? 0 : uw >> 3;
    const int32_t Sw = signCount() * uw;

    int32_t A = 0;
    eExpr* integrand = getChild(kIntegralIntegrand);
    eExpr* lower = three ? getChild(kIntegralLower) : nullptr;
    eExpr* upper = three ? getChild(kIntegralUpper) : nullptr;
    if ((m_kind & kIntegralLimitsAboveBelow) == 0) {
        A = a2 + std::max(a0 - a2 + h2, H >> 1);
        m_zone.bottom = A - a1 + std::max(h0 - a0 + a1, H >> 1) + h1;
        m_zone.right = m2 + std::max(k + w2, w1 - o) + w0 + Sw + g;
        const int32_t lowerY = A - (c1.size >> 2) - a1 + half;
        const int32_t upperY = A + (c2.size >> 2) - a2 - half;
        if (!bar) {
            Place(integrand, m_zone.right - w0, A - a0);
            Place(lower, Sw - o + m2, lowerY);
            Place(upper, Sw + k + m2, upperY);
        } else {
            Place(integrand, 0, A - a0);
            Place(lower, w0 + Sw, lowerY);
            Place(upper, w0 + Sw, upperY);
        }
    } else {
        A = h2 + half + m1;
        m_zone.bottom = h1 + 2 * m1 + h2 + H;
        const int32_t Cw = std::max({w1, w2, Sw});
        const int32_t left = Cw / 2 + m2;
        const int32_t right = std::max(Sw / 2 + w0 + g, Cw / 2);
        m_zone.right = left + right;
        const int32_t lowerY = A + half + m1;
        const int32_t upperY = A - h2 - half - m1;
        if (!bar) {
            Place(integrand, m_zone.right - w0, A - a0);
            Place(lower, std::max((Sw - w1) / 2 - o, 0) + m2, lowerY);
            Place(upper, std::max((Sw - w2) / 2 + k, 0) + m2, upperY);
        } else {
            Place(integrand, 0, A - a0);
            Place(lower, std::max((Sw - w1) / 2, 0) + w0, lowerY);
            Place(upper, std::max((Sw - w2) / 2, 0) + w0, upperY);
        }
    }
    m_zone.ref1 = A;
    m_zone.ref2 = A - a0 + c0.zone.ref2;
}

void eIntegral::draw() {
    eTemplate::draw();
    if (DrawState.drawPort == nullptr)
        return;
    oGraphPort& port = *DrawState.drawPort;
    const Zone& z = DrawState.absZone;
    const int32_t s = m_size;
    const int32_t m = ShiftAtLeastOne(s, 5);
    // The drawn sign follows the integrand alone; tall limits only move.
    const int32_t H = signHeight(false);
    const int32_t top = z.top + m_zone.ref1 - H / 2;
    const int32_t bottom = top + H;
    if ((m_kind & kIntegralEvaluateAt) == 0) {
        const int32_t uw = signWidth(H);
        const Zone sign{z.left + m, top, z.left + m + uw, bottom, 0, 0};
        const int32_t pen = std::max(1, (s * IntegralSettings.strokeWeight + 16) >> 5);
        int32_t flags = 0;
        if ((m_kind & kIntegralContour) != 0)
            flags |= 1;
        if ((m_kind & kIntegralSecondContour) != 0)
            flags |= 2;
        if (IntegralSettings.straightSegments != 0)
            flags |= 0x10;
        port.integralSign(sign, uw, signCount(), flags, pen, 0);
    } else {
        const int32_t pen = ShiftAtLeastOne(s, 5);
        const int32_t x = z.left + TemplateChildMetrics[0].width + (s >> 2);
        port.startLine(pen);
        port.moveTo(x, top);
        port.line(0, bottom - pen - top);
        port.endLine();
    }
    restoreColors();
}

bool eIntegral::getTemplateCode(int32_t& code) const {
    code = MakeTemplateCode(kTemplateFamilyIntegral, m_kind, m_count);
    return true;
}

void RegisterIntegralTemplates() {
    SetTemplateFactory(kTemplateFamilyIntegral, &MakeIntegralFromCode);
}
