#include "OverSrcs/eClick.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/eFactory.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/oWindows.h"

#include <algorithm>

uint8_t WholeRowClickOption = 0;
SelectionEntry DragEntry;
oPoint ClickPoint;
namespace {
// Where the button went down, before the point was moved onto the expression.
oPoint s_pressPoint;
} // namespace
void (*LocateCellAtPointHook)(oPoint point) = &LocateCellAtPoint;
void (*UpdateStyleButtonsHook)(int32_t force, int32_t flag) = nullptr;

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

bool isCaret(const SelectionEntry& entry) {
    return entry.start == entry.end || entry.rowStart == entry.rowEnd;
}

void updateStyleButtons() {
    if (UpdateStyleButtonsHook != nullptr)
        UpdateStyleButtonsHook(0, 0);
}

// Asks the root from the pad's origin; the layout globals are set for the active record first so
// that words can measure their text.
void prepareWalk() {
    if (ActivePad != nullptr)
        DrawState.measurePort = ActivePad;
    if (ActiveRecord != nullptr)
        SetDrawOptions(ActiveRecord->m_options[0], ActiveRecord->m_options[1],
                       ActiveRecord->m_options[2], ActiveRecord->m_options[3]);
}

bool askRoot(eExpr* root, oPoint anchor, oPoint point, SelectionEntry& entry, bool drag) {
    prepareWalk();
    DrawState.absZone = Zone{};
    return offer(root, anchor, point, entry, drag);
}

// A plain click: left or right of the expression's top row, at any height, leaves the caret
// before its first item or after its last (beside a grid there, a pile of lines or a bare matrix,
// at the start or end of its row level with the point); elsewhere the point is moved onto the
// nearest point of the root's rectangle and the tree answers.
bool hitPlain(eExpr* root, oPoint point, SelectionEntry& entry) {
    const Zone& r = root->m_zone;
    if (r.right <= r.left || r.bottom <= r.top)
        return false;
    eExpr* row = root->childCount() > 0 ? root->getChild(0) : nullptr;
    if (row != nullptr && row->isString()) {
        Zone z = row->m_zone;
        ZoneOffset(z, r.left, r.top);
        if (z.left < z.right && (point.x < z.left || point.x >= z.right)) {
            const bool left = point.x < z.left;
            const int32_t count = row->childCount();
            entry = {row, left ? 0 : count, left ? 0 : count, 0, 1};
            eExpr* edge = count > 0 ? row->getChild(left ? 0 : count - 1) : nullptr;
            if (edge == nullptr || !edge->isMatrix())
                return true;
            Zone pile = edge->m_zone;
            ZoneOffset(pile, z.left, z.top);
            if (point.y < pile.top || point.y >= pile.bottom || pile.left >= pile.right)
                return true;
            // The grid's row nearest in height (of its first or last column), at its near end.
            auto* grid = static_cast<eMatrix*>(edge);
            eExpr* line = nullptr;
            Zone lineAbs{};
            int32_t off = 0;
            for (int32_t k = 0; k < grid->rows(); ++k) {
                eExpr* cell = grid->getCell(k, left ? 0 : grid->columns() - 1);
                if (cell == nullptr || cell->m_zone.right <= cell->m_zone.left ||
                    cell->m_zone.bottom <= cell->m_zone.top)
                    continue;
                Zone c = cell->m_zone;
                ZoneOffset(c, pile.left, pile.top);
                const int32_t d = point.y < c.top       ? c.top - point.y
                                  : point.y >= c.bottom ? point.y - c.bottom + 1
                                                        : 0;
                if (line == nullptr || d < off) {
                    line = cell;
                    lineAbs = c;
                    off = d;
                }
            }
            if (line == nullptr)
                return true;
            const oPoint onto{left ? lineAbs.left : lineAbs.right - 1,
                              std::clamp(point.y, lineAbs.top, lineAbs.bottom - 1)};
            prepareWalk();
            DrawState.absZone = pile;
            SelectionEntry inLine;
            if (HitClickChild(line, onto, onto, inLine) && inLine.node != nullptr)
                entry = inLine;
            return true;
        }
    }
    const oPoint onto{std::clamp(point.x, r.left, r.right - 1),
                      std::clamp(point.y, r.top, r.bottom - 1)};
    return askRoot(root, onto, onto, entry, false);
}

// Only the strip where two ranges of the same node differ is redrawn, so the part both cover
// does not flicker.
void redrawDifference(const SelectionEntry& before, const SelectionEntry& after) {
    SelectionEntry strip = before;
    if (before.start != after.start) {
        strip.start = std::min(before.start, after.start);
        strip.end = std::max(before.start, after.start);
        DrawEntryHighlight(strip, false, true);
    }
    if (before.end != after.end) {
        strip.start = std::min(before.end, after.end);
        strip.end = std::max(before.end, after.end);
        DrawEntryHighlight(strip, false, true);
    }
}

} // namespace

bool HitClickChild(eExpr* child, oPoint anchor, oPoint point, SelectionEntry& entry) {
    return offer(child, anchor, point, entry, false);
}

bool HitDragChild(eExpr* child, oPoint anchor, oPoint point, SelectionEntry& entry) {
    return offer(child, anchor, point, entry, true);
}

bool IsPlainClick(oPoint anchor, oPoint point) {
    return anchor.x == point.x && anchor.y == point.y && ShiftHeld == 0 && WholeRowClickOption == 0;
}

eExpr* NearestChildTo(eExpr* node, oPoint point, oPoint& onto, int64_t& distance) {
    const Zone& abs = DrawState.absZone;
    eExpr* nearest = nullptr;
    bool nearestInBand = false;
    for (int32_t i = 0; i < node->childCount(); ++i) {
        eExpr* child = node->getChild(i);
        if (child == nullptr)
            continue;
        Zone rect = child->m_zone;
        ZoneOffset(rect, abs.left, abs.top);
        if (rect.right <= rect.left || rect.bottom <= rect.top)
            continue;
        const oPoint at{std::clamp(point.x, rect.left, rect.right - 1),
                        std::clamp(point.y, rect.top, rect.bottom - 1)};
        const int64_t dx = at.x - point.x;
        const int64_t dy = at.y - point.y;
        const bool inBand = dy == 0;
        const int64_t d = dx * dx + dy * dy;
        if (nearest == nullptr || (inBand && !nearestInBand) ||
            (inBand == nearestInBand && d < distance)) {
            nearest = child;
            onto = at;
            nearestInBand = inBand;
            distance = d;
        }
    }
    return nearest;
}

bool ClickNearestChild(eExpr* node, oPoint point, SelectionEntry& entry) {
    oPoint onto{};
    int64_t distance = 0;
    eExpr* nearest = NearestChildTo(node, point, onto, distance);
    return nearest != nullptr && HitClickChild(nearest, onto, onto, entry);
}

bool HitActiveRoot(oPoint anchor, oPoint point, SelectionEntry& entry, bool drag) {
    if (ActiveRecord == nullptr || ActiveRecord->m_root == nullptr)
        return false;
    eExpr* root = ActiveRecord->m_root;
    entry = SelectionEntry{};
    if (askRoot(root, anchor, point, entry, drag))
        return true;
    const Zone& r = root->m_zone;
    if (r.right <= r.left || r.bottom <= r.top)
        return false;
    entry = SelectionEntry{};
    return askRoot(root, anchor, OntoRoot(r, point), entry, drag);
}

oPoint OntoRoot(const Zone& r, oPoint point) {
    if (ZoneContainsPoint(r, point) || r.right <= r.left || r.bottom <= r.top)
        return point;
    // Above the expression counts as its start, below it as its end, beside it as the same
    // height on the nearer edge.
    oPoint moved = point;
    if (point.y < r.top) {
        moved = oPoint{r.left, r.top};
    } else if (point.y >= r.bottom) {
        moved = oPoint{r.right - 1, r.bottom - 1};
    } else if (point.x < r.left) {
        moved.x = r.left;
    } else if (point.x >= r.right) {
        moved.x = r.right - 1;
    }
    return moved;
}

void LocateCellAtPoint(oPoint point) {
    if (ActiveRecord == nullptr || ActiveRecord->m_root == nullptr)
        return;
    // Down the tree through the children under the point, each child's zone lying in its
    // parent's; the deepest grid cell met wins, else the deepest node.
    eExpr* node = ActiveRecord->m_root;
    Zone abs = node->m_zone;
    if (!ZoneContainsPoint(abs, point))
        return;
    SelectionEntry picked{};
    for (;;) {
        eExpr* under = nullptr;
        Zone underAbs{};
        for (int32_t i = 0; i < node->childCount() && under == nullptr; ++i) {
            eExpr* child = node->getChild(i);
            if (child == nullptr)
                continue;
            Zone rect = child->m_zone;
            ZoneOffset(rect, abs.left, abs.top);
            if (ZoneContainsPoint(rect, point)) {
                under = child;
                underAbs = rect;
            }
        }
        if (under == nullptr)
            break;
        if (node->isMatrix()) {
            auto* grid = static_cast<eMatrix*>(node);
            for (int32_t r = 0; r < grid->rows(); ++r)
                for (int32_t c = 0; c < grid->columns(); ++c)
                    if (grid->getCell(r, c) == under)
                        picked = {grid, c, c + 1, r, r + 1};
        } else if (picked.node == nullptr || !picked.node->isMatrix()) {
            if (node->isString())
                picked = {node, under->m_index, under->m_index + 1, 0, 1};
            else
                under->selectWhole(picked);
        }
        node = under;
        abs = underAbs;
    }
    if (picked.node == nullptr)
        return;
    RedrawSelectionHighlight();
    ClearSelectionList(*ActiveRecord);
    SetSelection(&picked);
    RedrawSelectionHighlight();
    updateStyleButtons();
}

void ClickExpr(oPoint point) {
    ClickPoint = point;
    s_pressPoint = point;
    if (CtrlHeld != 0 || AltShiftHeld != 0) {
        if (LocateCellAtPointHook != nullptr)
            LocateCellAtPointHook(point);
        return;
    }
    // A press in the pad beside the expression (its margin, the space below it) is taken at the
    // expression's nearer edge, as the drag's later points are: the click leaves a caret there
    // rather than no selection at all, and a drag begun in the margin selects what it crosses.
    if (ActiveRecord != nullptr && ActiveRecord->m_root != nullptr) {
        point = OntoRoot(ActiveRecord->m_root->m_zone, point);
        ClickPoint = point;
    }
    if (ShiftHeld == 0) {
        RedrawSelectionHighlight();
        if (ActiveRecord != nullptr)
            ClearSelectionList(*ActiveRecord);
    }
    DragEntry = SelectionEntry{};
    if (ActiveRecord == nullptr || ActivePad == nullptr || ActiveRecord->m_root == nullptr)
        return;
    const bool hit = IsPlainClick(point, point)
                         ? hitPlain(ActiveRecord->m_root, s_pressPoint, DragEntry)
                         : askRoot(ActiveRecord->m_root, point, point, DragEntry, false);
    if (!hit || DragEntry.node == nullptr)
        return;
    DrawEntryHighlight(DragEntry, isCaret(DragEntry), true);
    ActivePad->trackDrag([](oPoint p) { DragTrack(p); }, [](oPoint p) { DragEnd(p); },
                         [] { DragRestore(); });
}

void DragTrack(oPoint point) {
    if (ActiveRecord == nullptr || ActiveRecord->m_root == nullptr) {
        KV_ASSERT_FAILED("e drag");
        return;
    }
    SelectionEntry fresh;
    // Back where the button went down, the press is a click again.
    const bool back =
        point.x == s_pressPoint.x && point.y == s_pressPoint.y && IsPlainClick(point, point);
    const bool hit = back ? hitPlain(ActiveRecord->m_root, point, fresh)
                          : HitActiveRoot(ClickPoint, point, fresh, false);
    if (!hit || fresh.node == nullptr)
        return;
    if (fresh == DragEntry)
        return;
    const SelectionEntry before = DragEntry;
    const bool ranges = !isCaret(before) && !isCaret(fresh);
    const bool sameRows = before.rowStart == fresh.rowStart && before.rowEnd == fresh.rowEnd;
    const bool overlap = before.start < fresh.end && fresh.start < before.end;
    if (before.node == fresh.node && ranges && sameRows && overlap) {
        redrawDifference(before, fresh);
    } else {
        if (before.node != nullptr)
            DrawEntryHighlight(before, isCaret(before), true);
        DrawEntryHighlight(fresh, isCaret(fresh), true);
    }
    DragEntry = fresh;
}

void DragEnd(oPoint) {
    if (ActiveRecord == nullptr || DragEntry.node == nullptr)
        return;
    if (ShiftHeld == 0 && isCaret(DragEntry)) {
        // A click at a lone placeholder selects it whole, so the first key replaces the "?";
        // the provisional caret gives way to the placeholder's highlight.
        const SelectionEntry whole = WholePlaceholderAt(DragEntry);
        if (!(whole == DragEntry)) {
            DrawEntryHighlight(DragEntry, true, true);
            DragEntry = whole;
            DrawEntryHighlight(DragEntry, false, true);
        }
    }
    const SelectionEntry* removed = SetSelection(&DragEntry);
    ResetTypingStyle();
    if (removed != nullptr) {
        const SelectionEntry gone = *removed;
        DrawEntryHighlight(DragEntry, isCaret(DragEntry), true);
        DrawEntryHighlight(gone, HighlightOn != 0, true);
        if (WholeRowClickOption != 0) {
            // The second press of a double click replaces the entry its first press left.
            SetSelection(&DragEntry);
            DrawEntryHighlight(DragEntry, HighlightOn != 0, true);
        }
        updateStyleButtons();
        return;
    }
    // The provisional highlight showed the caret; in the off phase of the blink it goes again.
    if (HighlightOn == 0)
        DrawEntryHighlight(DragEntry, true, false);
    updateStyleButtons();
}

void DragRestore() {
    if (DragEntry.node != nullptr)
        DrawEntryHighlight(DragEntry, isCaret(DragEntry), true);
}
