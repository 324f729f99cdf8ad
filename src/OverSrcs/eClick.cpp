#include "OverSrcs/eClick.h"

#include "OverSrcs/eLayout.h"

uint8_t WholeRowClickOption = 0;

namespace {

bool offer(eExpr* child, oPoint anchor, oPoint point, SelectionEntry& entry, bool drag) {
    if (child == nullptr)
        return false;
    const Zone saved = DrawState.absZone;
    Zone rect = child->m_zone;
    ZoneOffset(rect, saved.left, saved.top);
    if (!ZoneContainsPoint(rect, anchor) || !ZoneContainsPoint(rect, point))
        return false;
    DrawState.absZone = rect;
    if (drag)
        child->hitDrag(anchor, point, entry);
    else
        child->hitClick(anchor, point, entry);
    DrawState.absZone = saved;
    return true;
}

} // namespace

bool HitClickChild(eExpr* child, oPoint anchor, oPoint point, SelectionEntry& entry) {
    return offer(child, anchor, point, entry, false);
}

bool HitDragChild(eExpr* child, oPoint anchor, oPoint point, SelectionEntry& entry) {
    return offer(child, anchor, point, entry, true);
}
