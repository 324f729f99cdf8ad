#pragma once
// Lays the slots of a test template side by side, for templates that need no more geometry than
// that.

#include "OverSrcs/eLayout.h"
#include "OverSrcs/eObject.h"

#include <algorithm>
#include <cstdint>

namespace kvtest {

// Places `node`'s children left to right from x = `left`, tops on the node's top line, and
// returns the zone they cover (from x = 0).
inline Zone PlaceSlotsInLine(eExpr& node, int32_t left = 0) {
    int32_t x = left;
    int32_t h = 0;
    for (int32_t i = 0; i < node.childCount(); ++i) {
        PlaceNodeRect(node.getChild(i), x, 0);
        x = node.getChild(i)->m_zone.right;
        h = std::max(h, node.getChild(i)->m_zone.bottom);
    }
    return Zone{0, 0, x, h, 0, 0};
}

} // namespace kvtest
