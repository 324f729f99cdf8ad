#pragma once
// Where a node of a pane's expression lies in the pane's window, for tests and benchmarks that
// click or drag on it.

#include "ExprSrcs/EPane.h"

namespace kvtest {

// The node's rectangle in the pane's window coordinates.
inline Zone NodeZoneInWindow(ExprPane* pane, const eExpr* node) {
    Zone z = node->m_zone;
    for (const eExpr* p = node->m_parent; p != nullptr; p = p->m_parent)
        ZoneOffset(z, p->m_zone.left, p->m_zone.top);
    const Zone& frame = pane->zoneInParent();
    ZoneOffset(z, frame.left - pane->bounds().left, frame.top - pane->bounds().top);
    return z;
}

} // namespace kvtest
