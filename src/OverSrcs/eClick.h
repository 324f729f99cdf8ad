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

// A press that only places the caret: no drag, no Shift, not the second press of a double click.
// Such a press never selects anything but a lone placeholder.
bool IsPlainClick(oPoint anchor, oPoint point);

// ---- A press in the active pane -----------------------------------------------------------------
// The press is turned into a provisional drag entry that follows the mouse while the button is
// held and joins the active selection on release (where the overlap rule lets Shift toggle).

// The provisional selection while the button is down; its node is null when nothing was hit.
extern SelectionEntry DragEntry;
// The press point (the anchor of the drag), in the active pad's coordinates.
extern oPoint ClickPoint;

// With Ctrl, or Alt and Shift, held a press picks a grid cell instead: LocateCellAtPoint unless
// another picker is installed. Null: such a press does nothing.
extern void (*LocateCellAtPointHook)(oPoint point);
// Selects the grid cell under the point of the active pad (the innermost grid's), or, outside any
// grid, the node under it.
void LocateCellAtPoint(oPoint point);
// Refreshes the style buttons after the selection changed (the command layer's
// UpdateStyleButtons); null does nothing.
extern void (*UpdateStyleButtonsHook)(int32_t force, int32_t flag);

// The pane's left press: selects what lies under the point and follows the mouse through the
// active pad's trackDrag.
void ClickExpr(oPoint point);
// The three callbacks of the drag: each new pointer position, the release, and the redraw after an
// automatic scroll.
void DragTrack(oPoint point);
void DragEnd(oPoint point);
void DragRestore();
// The entry the tree gives for a press at `anchor` dragged to `point` (pad coordinates), asked
// from the active root; a point off the expression is first moved onto its edge. False when the
// root does not take it.
bool HitActiveRoot(oPoint anchor, oPoint point, SelectionEntry& entry, bool drag);
// A point off the root's rectangle moved onto its edge (above: the top-left corner; below: the
// bottom-right one; beside: the same height on the nearer side); a point inside is kept.
oPoint OntoRoot(const Zone& root, oPoint point);
