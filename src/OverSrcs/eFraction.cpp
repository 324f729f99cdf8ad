#include "OverSrcs/eFraction.h"

#include "ExprSrcs/commands/tsPrefs.h"
#include "OverSrcs/eBox.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eLongDivision.h"
#include "OverSrcs/eOverstrike.h"
#include "OverSrcs/eRoot.h"

#include <algorithm>

namespace {

// The figures of one child as the layouts name them: W its width, H its bottom, A its axis
// height, D its descent below the axis, C its baseline height.
struct Figures {
    int32_t W, H, A, D, C;
};
Figures FiguresOf(int32_t i) {
    const ChildMetrics& m = TemplateChildMetrics[i];
    return Figures{m.width, m.height, m.zone.ref1, m.height - m.zone.ref1, m.zone.ref2};
}

void PlaceSlot(eTemplate& t, int32_t i, int32_t x, int32_t y) {
    if (i < t.childCount())
        if (eExpr* child = t.getChild(i))
            PlaceNodeRect(child, x, y);
}

bool IsFractionStyle(int32_t kind) {
    return kind == kFractionVertical || kind == kFractionNearlyVertical ||
           kind == kFractionSlanted || kind == kFractionNearlyFlat || kind == kFractionHorizontal;
}

ExprPtr MakeFamilyZero(int32_t, int32_t kind, int32_t slots) {
    switch (kind) {
    case kFractionKindRoot:
        return slots == 2 ? ExprPtr(NewRoot(nullptr, nullptr)) : ExprPtr();
    case kFractionKindOverstrike:
        return slots == 2 ? ExprPtr(NewOverstrike(nullptr, nullptr)) : ExprPtr();
    case kFractionKindLongDivision:
        return slots == 4 ? ExprPtr(NewLongDivision(nullptr, nullptr, nullptr, nullptr))
                          : ExprPtr();
    default:
        break;
    }
    if (!IsFractionStyle(kind) || slots != 2)
        return ExprPtr();
    OwnedNode<eFraction> fraction = NewFraction(nullptr, nullptr);
    fraction->m_kind = kind;
    return fraction;
}

ExprPtr MakeBoxFamily(int32_t, int32_t kind, int32_t slots) {
    if (slots != 1)
        return ExprPtr();
    OwnedNode<eBox> box = NewBox(nullptr);
    box->m_kind = kind & 0xFF;
    return box;
}

} // namespace

void RegisterFractionTemplates() {
    SetTemplateFactory(kTemplateFamilyFraction, &MakeFamilyZero);
    SetTemplateFactory(kTemplateFamilyBox, &MakeBoxFamily);
}

OwnedNode<eFraction> NewFraction(ExprPtr numerator, ExprPtr denominator) {
    OwnedNode<eFraction> fraction = NewTemplateBlock<eFraction>(2, 2);
    fraction->m_kind = kFractionVertical;
    fraction->setChild(0, std::move(numerator));
    fraction->setChild(1, std::move(denominator));
    return fraction;
}

int32_t eFraction::barThickness() const {
    return std::max(1, (m_size * TypesettingSettings.fractionBarThickness + 64) / 128);
}

int32_t eFraction::childSizeStep(int32_t) const {
    return m_kind == kFractionSlanted ? -TypesettingSettings.fractionSize : 0;
}

bool eFraction::getTemplateCode(int32_t& code) const {
    code = MakeTemplateCode(kTemplateFamilyFraction, m_kind, m_count);
    return true;
}

void eFraction::measure() {
    eTemplate::measure();
    if (m_kind != kFractionVertical) {
        measureBar();
        return;
    }
    const Figures n = FiguresOf(0);
    const Figures d = FiguresOf(1);
    const int32_t s = m_size;
    const int32_t t = barThickness();
    const int32_t gap = std::max(1, (s * TypesettingSettings.fractionDistance + 32) / 64);
    const int32_t bottom = d.H + 2 * gap + n.H + t;
    const int32_t right = std::max(n.W, d.W) + 2 * t + s / 8;
    m_zone.right = right;
    m_zone.bottom = bottom;
    m_zone.ref1 = t / 2 + n.H + gap;
    m_zone.ref2 = d.C - d.H + bottom;
    PlaceSlot(*this, 0, (right - n.W) / 2, 0);
    PlaceSlot(*this, 1, (right - d.W) / 2, bottom - d.H);
}

void eFraction::measureBar() {
    const Figures n = FiguresOf(0);
    const Figures d = FiguresOf(1);
    const int32_t t = barThickness();
    // The corner layout: the numerator up left, the denominator down right, apart by the bar.
    int32_t bottom = 3 * t + d.H + n.H;
    int32_t right = d.W + 3 * t + n.W;
    const int32_t minDescent = std::min(n.D, d.D);
    const int32_t minAxis = std::min(n.A, d.A);
    switch (m_kind) {
    case kFractionSlanted: {
        const int32_t overlap = (minDescent + minAxis) / 2;
        bottom -= overlap;
        right += overlap * 8 / 20;
        break;
    }
    case kFractionHorizontal:
        bottom = std::max(n.D, d.D) + std::max(n.A, d.A);
        right += (minDescent + minAxis) * 8 / 30;
        break;
    case kFractionNearlyVertical:
        bottom += ((right / 3) * 3) / 8;
        right -= right / 3;
        break;
    case kFractionNearlyFlat: {
        const int32_t overlap = (minDescent + minAxis) * 7 / 8;
        bottom -= overlap;
        right += overlap * 8 / 24;
        break;
    }
    default:
        break;
    }
    m_zone.right = right;
    m_zone.bottom = bottom;
    m_zone.ref2 = bottom - d.H + d.C;
    m_zone.ref1 = ((bottom - d.H) + n.A + d.A) / 2;
    PlaceSlot(*this, 0, 0, 0);
    PlaceSlot(*this, 1, right - d.W, bottom - d.H);
}

void eFraction::draw() {
    eTemplate::draw();
    oGraphPort* port = DrawState.drawPort;
    if (port == nullptr)
        return;
    if (m_kind != kFractionVertical) {
        drawBar();
    } else {
        const Zone& z = DrawState.absZone;
        const int32_t t = barThickness();
        port->startLine(t);
        port->moveTo(z.left + t, z.top + m_zone.ref1 - t / 2);
        port->line(z.right - z.left - 3 * t, 0);
        port->endLine();
    }
    restoreColors();
}

void eFraction::drawBar() {
    oGraphPort* port = DrawState.drawPort;
    if (port == nullptr)
        return;
    const Zone& z = DrawState.absZone;
    const int32_t L = z.left, T = z.top, R = z.right, B = z.bottom;
    const int32_t W = R - L, H = B - T;
    const Figures n = FiguresOf(0);
    const Figures d = FiguresOf(1);
    const int32_t t = barThickness();
    const int32_t K = R - 2 * t - d.W;
    const int32_t baseline = m_zone.ref2;
    int32_t x1 = L, y1 = T + baseline, x2 = R, y2 = T;
    switch (m_kind) {
    case kFractionSlanted:
        x1 = K - d.H * 8 / 20;
        y1 = T + baseline - t;
        x2 = std::min(K + (H - d.H) * 8 / 20, R - t);
        break;
    case kFractionNearlyFlat:
        x1 = K - d.H * 8 / 24;
        y1 = T + baseline - t;
        x2 = K + (H - d.H) * 8 / 24;
        break;
    case kFractionNearlyVertical:
        y1 = B - 2 * t - d.H + 3 * (W - d.W) / 8;
        x2 = R - t;
        y2 = B - 2 * t - d.H - 3 * d.W / 8;
        break;
    case kFractionHorizontal:
        // The slash always follows the numerator.
        x1 = L + n.W + t;
        y1 = T + baseline - t;
        x2 = x1 + H * 8 / 30;
        break;
    default:
        break;
    }
    port->startLine(t);
    port->moveTo(x1, y1);
    port->lineTo(x2, y2);
    port->endLine();
}
