#include "OverSrcs/eTensor.h"

#include "ExprSrcs/commands/tsPrefs.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eSSScript.h"

#include <algorithm>
#include <utility>

void eTensor::measure() {
    eTemplate::measure();
    const int32_t n = std::min(m_count, kChildMetricsSlots);
    if (n == 0)
        return;
    int32_t upper = 0; // the largest axis height of the upper indices
    int32_t lower = 0; // the largest descent of the lower indices
    for (int32_t i = 1; i < n; ++i) {
        const ChildMetrics& m = TemplateChildMetrics[i];
        if (isUpper(i))
            upper = std::max(upper, m.zone.ref1);
        else
            lower = std::max(lower, m.zone.bottom - m.zone.top - m.zone.ref1);
    }
    const ChildMetrics& symbol = TemplateChildMetrics[0];
    int32_t rise = 0;
    int32_t drop = 0;
    ScriptRiseAndDrop(symbol, rise, drop);
    const int32_t above = std::max(upper - rise, 0);
    const int32_t below = std::max(drop - symbol.zone.bottom + lower, 0);
    const int32_t bottom = below + symbol.zone.bottom + above;
    m_zone.bottom = bottom;
    m_zone.ref1 = symbol.zone.ref1 + above;
    m_zone.ref2 = symbol.zone.ref2 + above;
    m_size = symbol.size;

    if (eExpr* s = getChild(0))
        PlaceNodeRect(s, 0, above);
    int32_t x = symbol.width;
    if (n > 1) {
        const TypesettingRecord& ts = TypesettingSettings;
        const int32_t separation = isUpper(1) ? ts.superscriptSeparation : ts.subscriptSeparation;
        x += (TemplateChildMetrics[1].size * separation) >> 6;
    }
    for (int32_t i = 1; i < n; ++i) {
        const ChildMetrics& m = TemplateChildMetrics[i];
        const int32_t y = isUpper(i) ? upper - m.zone.ref1 : bottom - m.zone.ref1 - lower;
        if (eExpr* index = getChild(i))
            PlaceNodeRect(index, x, y);
        x += m.width;
    }
    m_zone.right = x;
}

int32_t eTensor::childSizeStep(int32_t i) const {
    return i >= 1 ? -TypesettingSettings.scriptSize : 0;
}

bool eTensor::getTemplateCode(int32_t& code) const {
    code = MakeTemplateCode(kTemplateFamilyTensor, m_kind, m_count);
    return true;
}

OwnedNode<eExpandable> eTensor::expand(ExprPtr node, int32_t n) const {
    return NewTensor(std::move(node), n);
}

OwnedNode<eTensor> NewTensor(ExprPtr symbol, int32_t n) {
    OwnedNode<eTensor> node = NewTemplateBlock<eTensor>(n, n);
    node->m_kind = kNewTensorKind;
    if (n > 0 && symbol)
        node->setChild(0, std::move(symbol));
    return node;
}
