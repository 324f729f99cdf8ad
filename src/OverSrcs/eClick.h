// Offering a press to the nodes under it: a child takes a press only when both the anchor and the
// current point lie inside its rectangle. During the walk DrawState.absZone holds the absolute
// rectangle of the node being asked.
#pragma once

#include "OverSrcs/eObject.h"

#include <cstdint>

// Set for the second press of a double click: every node then answers with its whole self.
extern uint8_t WholeRowClickOption;

// The child's absolute rectangle is the current origin plus its zone; when anchor and point both
// lie inside, the child's hitClick runs with that rectangle current and the answer is true.
bool HitClickChild(eExpr* child, oPoint anchor, oPoint point, SelectionEntry& entry);
// The same with hitDrag.
bool HitDragChild(eExpr* child, oPoint anchor, oPoint point, SelectionEntry& entry);
