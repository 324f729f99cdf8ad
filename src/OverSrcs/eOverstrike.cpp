#include "OverSrcs/eOverstrike.h"

#include "OverSrcs/eLayout.h"

#include <algorithm>

OwnedNode<eOverstrike> NewOverstrike(ExprPtr base, ExprPtr over) {
    OwnedNode<eOverstrike> node = NewTemplateBlock<eOverstrike>(2, 2);
    node->m_kind = 0;
    node->setChild(0, std::move(base));
    node->setChild(1, std::move(over));
    return node;
}

bool eOverstrike::getTemplateCode(int32_t& code) const {
    code = MakeTemplateCode(kTemplateFamilyFraction, kFractionKindOverstrike, m_count);
    return true;
}

void eOverstrike::measure() {
    eTemplate::measure();
    const ChildMetrics& c0 = TemplateChildMetrics[0];
    const ChildMetrics& c1 = TemplateChildMetrics[1];
    const int32_t A = std::max(c0.zone.ref1, c1.zone.ref1);
    int32_t height = A + std::max(c0.height - c0.zone.ref1, c1.height - c1.zone.ref1);
    int32_t W = std::max(c0.width, c1.width);
    m_zone.ref1 = A;
    m_zone.ref2 = A - c0.zone.ref1 + c0.zone.ref2;
    eExpr* base = getChild(0);
    eExpr* over = m_count > 1 ? getChild(1) : nullptr;
    if (!StructureOn()) {
        if (base != nullptr)
            PlaceNodeRect(base, (W - c0.width) / 2, A - c0.zone.ref1);
        if (over != nullptr)
            PlaceNodeRect(over, (W - c1.width) / 2, A - c1.zone.ref1);
    } else {
        // Apart: the base at the bottom left, the other part at the top right.
        height += height / 2;
        W += W / 2;
        if (base != nullptr)
            PlaceNodeRect(base, 0, height - c0.height);
        if (over != nullptr)
            PlaceNodeRect(over, W - c1.width, 0);
    }
    m_zone.right = W;
    m_zone.bottom = height;
}

void eOverstrike::getExtents(int32_t& left, int32_t& right, int32_t& overhang) {
    bool any = false;
    left = 0;
    right = m_zone.right;
    overhang = 0;
    for (int32_t i = 0; i < std::min<int32_t>(m_count, 2); ++i) {
        eExpr* child = getChild(i);
        if (child == nullptr)
            continue;
        int32_t l = 0, r = 0, o = 0;
        child->getExtents(l, r, o);
        l += child->m_zone.left;
        r += child->m_zone.left;
        if (!any) {
            left = l;
            right = r;
            overhang = o;
            any = true;
        } else {
            left = std::min(left, l);
            right = std::max(right, r);
            overhang = std::min(overhang, o);
        }
    }
}
