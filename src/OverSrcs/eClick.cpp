#include "OverSrcs/eClick.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/eDxStr.h"
#include "OverSrcs/eFactory.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/oWindows.h"

#include <algorithm>
#include <limits>
#include <vector>

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

int64_t squared(int64_t v) {
    return v * v;
}

// How far a point lies from a span [from, to) along one axis; 0 inside it.
int64_t offSpan(int32_t at, int32_t from, int32_t to) {
    return at < from ? from - at : at >= to ? at - to + 1 : 0;
}

// The least distance from the point to a caret drawn in the rectangle: a caret may stand on its
// right edge (after the last item).
int64_t toCaretsIn(oPoint p, const Zone& z) {
    const int64_t dx = p.x < z.left ? z.left - p.x : p.x > z.right ? p.x - z.right : 0;
    return squared(dx) + squared(offSpan(p.y, z.top, z.bottom));
}

Zone childZone(const eExpr* child, const Zone& parentAbs) {
    Zone z = child->m_zone;
    ZoneOffset(z, parentAbs.left, parentAbs.top);
    return z;
}

// The child of `node` (at `abs` in the window) whose zone holds the point, and that zone; null
// when none does. Along a row whose items stand in order only the last item starting left of the
// point can hold it, so a long row is searched by halving.
eExpr* childUnderPoint(eExpr* node, const Zone& abs, oPoint point, Zone& underAbs) {
    const int32_t split =
        ChildrenInOrder(node)
            ? CountChildrenBefore(node, [&](const Zone& z) { return abs.left + z.left <= point.x; })
            : -1;
    const int32_t first = split < 0 ? 0 : std::max(split - 1, 0);
    const int32_t end = split < 0 ? node->childCount() : split;
    for (int32_t i = first; i < end; ++i) {
        eExpr* child = node->getChild(i);
        if (child == nullptr)
            continue;
        const Zone z = childZone(child, abs);
        if (ZoneContainsPoint(z, point)) {
            underAbs = z;
            return child;
        }
    }
    return nullptr;
}

bool hasArea(const Zone& z) {
    return z.left < z.right && z.top < z.bottom;
}

// The laid-out lines of a ruled row broken into lines; none for any other row.
const eDxStringInfo* ruledLines(const eExpr* row) {
    if (row == nullptr || !row->isDxString())
        return nullptr;
    const eDxStringInfo* lines = static_cast<const eDxString*>(row)->lines();
    return lines != nullptr && lines->lineCount() > 1 ? lines : nullptr;
}

// Whether item k of the row begins a line of a ruled row after the first.
bool startsRuledLine(const eExpr* row, int32_t k) {
    const eDxStringInfo* lines = ruledLines(row);
    for (int32_t l = 1; lines != nullptr && l < lines->lineCount(); ++l)
        if (lines->line(l).first == k)
            return row->getChild(k - 1) != nullptr;
    return false;
}

// The caret place nearest a point: every caret place of a row (before each of its items and after
// the last), between the characters of its words, and in the rows of its templates and grids,
// measured to the caret's line as it is drawn. A caret between a word's characters stands in its
// row and is measured with the row's height, as the row's own carets are. Of places at the same
// distance the one whose band holds the point wins, then the one in the inner row (the caret drawn
// round the point). A big operator's own sign is no place to type: its slot is left out, and so
// is an empty slot that draws nothing.
class NearestPlace {
public:
    explicit NearestPlace(oPoint point)
        : m_point(point) {}

    // The places of the row, or of its items from..to (one line of a ruled row) and the carets
    // round them.
    void inRow(eExpr* row, const Zone& abs, int32_t depth, int32_t from = 0, int32_t to = -1) {
        // A row the template gives no room shows none of its items; an empty line of the formula
        // still has its caret.
        const int32_t count = row->childCount();
        if (count > 0 && !hasArea(abs))
            return;
        // Along a row whose items stand in order the carets rise with their index: only those
        // round the point's column are asked, outward while they could come nearer.
        const int32_t split =
            ChildrenInOrder(row)
                ? CountChildrenBefore(row,
                                      [&](const Zone& z) { return abs.left + z.left <= m_point.x; })
                : -1;
        if (split < 0) {
            const int32_t last = to < 0 ? count : to;
            for (int32_t k = from; k <= last; ++k) {
                // Where a ruled row breaks, the caret is drawn at the start of the next line; the
                // same place is also the end of the line above, after its last item.
                const bool breaks = k > 0 && startsRuledLine(row, k);
                if (!(breaks && k == last))
                    offer({row, k, k, 0, 1}, caretLine(row, abs, k), depth);
                if (breaks && k > from) {
                    Zone end = caretLine(row, abs, k - 1);
                    end.left = end.right = childZone(row->getChild(k - 1), abs).right;
                    offer({row, k, k, 0, 1}, end, depth);
                }
            }
            for (int32_t i = from; i < last; ++i)
                inItem(row, abs, i, depth);
            return;
        }
        const auto near = [&](int32_t x) { return squared(x - m_point.x) <= m_best.distance; };
        for (int32_t k = split; k <= count; ++k) {
            const Zone line = caretLine(row, abs, k);
            if (!near(line.left))
                break;
            offer({row, k, k, 0, 1}, line, depth);
        }
        for (int32_t k = split - 1; k >= 0; --k) {
            const Zone line = caretLine(row, abs, k);
            if (!near(line.left))
                break;
            offer({row, k, k, 0, 1}, line, depth);
        }
        for (int32_t i = std::max(split - 1, 0); i < count; ++i)
            if (!inItem(row, abs, i, depth))
                break;
        for (int32_t i = split - 2; i >= 0; --i)
            if (!inItem(row, abs, i, depth))
                break;
    }

    const SelectionEntry& best() const { return m_best.entry; }

private:
    struct Place {
        SelectionEntry entry;
        int64_t distance = std::numeric_limits<int64_t>::max();
        bool inBand = false;
        int32_t depth = 0;
    };

    // The caret at position k of the row as it is drawn: its x and its top and bottom.
    static Zone caretLine(eExpr* row, const Zone& abs, int32_t k) {
        DrawState.absZone = abs;
        row->getHighlightArea(SelectionEntry{row, k, k, 0, 1});
        return DrawState.absZone;
    }

    // The places inside item i of the row, where it could come nearer than the best place so far;
    // false when even its columns lie farther than that.
    bool inItem(eExpr* row, const Zone& abs, int32_t i, int32_t depth) {
        eExpr* item = row->getChild(i);
        if (item == nullptr)
            return true;
        const Zone z = childZone(item, abs);
        if (toCaretsIn(m_point, Zone{z.left, abs.top, z.right, abs.bottom, 0, 0}) > m_best.distance)
            return false;
        if (item->isWord()) {
            const Zone band = caretLine(row, abs, i);
            if (toCaretsIn(m_point, Zone{z.left, band.top, z.right, band.bottom, 0, 0}) <=
                m_best.distance)
                inWord(static_cast<eWord*>(item), z, band, depth);
        } else if (item->childCount() > 0 && toCaretsIn(m_point, z) <= m_best.distance) {
            inNode(item, z, depth + 1);
        }
        return true;
    }

    void offer(const SelectionEntry& entry, const Zone& line, int32_t depth) {
        const int64_t off = offSpan(m_point.y, line.top, std::max(line.bottom, line.top + 1));
        const Place place{entry, squared(m_point.x - line.left) + squared(off), off == 0, depth};
        if (m_best.entry.node == nullptr || place.distance < m_best.distance ||
            (place.distance == m_best.distance &&
             (place.inBand != m_best.inBand ? place.inBand : place.depth > m_best.depth)))
            m_best = place;
    }

    void inWord(eWord* word, const Zone& abs, const Zone& band, int32_t depth) {
        const int32_t step = word->isDoubleByte() ? 2 : 1;
        for (int32_t c = step; c < word->length(); c += step) {
            DrawState.absZone = abs;
            const Zone line{word->caretX(c), band.top, word->caretX(c), band.bottom, 0, 0};
            offer({word, c, c, 0, 0}, line, depth);
        }
    }

    // The rows of a template or grid, and of anything nested in it.
    void inNode(eExpr* node, const Zone& abs, int32_t depth) {
        for (int32_t i = 0; i < node->childCount(); ++i) {
            eExpr* child = node->getChild(i);
            if (child == nullptr || IsOperatorSignSlot(node, i))
                continue;
            const Zone z = childZone(child, abs);
            const bool empty = child->isString() && child->childCount() == 0;
            // An empty slot the template draws nothing for (a square root's index, a script left
            // out) is no place to click into: the arrows and Tab reach it.
            if (empty && !hasArea(z))
                continue;
            // An empty row's caret reaches past its rectangle: it is always asked.
            if (!empty && toCaretsIn(m_point, z) > m_best.distance)
                continue;
            if (child->isString())
                inRow(child, z, depth);
            else
                inNode(child, z, depth);
        }
    }

    oPoint m_point;
    Place m_best;
};

// A point on a big operator's sign, or in a grid on none of its cells where the grid's own answer
// is one of its caret lines, has its place fixed: left of the sign's middle the caret before the
// template, right of it the start of the operand; the grid's caret line between its rows or
// columns. A point in the ruler band of a ruled row is the ruler's: the row's own press picks the
// tool or stop under it and leaves no place. False for any other point.
bool fixedPlace(eExpr* node, Zone abs, oPoint point, SelectionEntry& entry) {
    if (!ZoneContainsPoint(abs, point))
        return false;
    for (;;) {
        if (node->isDxString() &&
            static_cast<eDxString*>(node)->rulerBandHolds(point.y - abs.top)) {
            DrawState.absZone = abs;
            return node->hitClick(point, point, entry);
        }
        Zone underAbs{};
        eExpr* under = childUnderPoint(node, abs, point, underAbs);
        if (under == nullptr)
            break;
        if (IsOperatorSignSlot(node, under->m_index) && node->m_parent != nullptr) {
            if (point.x < (underAbs.left + underAbs.right) / 2) {
                entry = {node->m_parent, node->m_index, node->m_index, 0, 1};
                return true;
            }
            eExpr* operand = node->getChild(
                ScriptSlotsFor(static_cast<eSSScript*>(node)->m_kind, node->childCount()).operand);
            if (operand != nullptr && operand->isString()) {
                entry = {operand, 0, 0, 0, 1};
                return true;
            }
        }
        node = under;
        abs = underAbs;
    }
    if (!node->isMatrix())
        return false;
    DrawState.absZone = abs;
    SelectionEntry onGrid;
    node->hitClick(point, point, onGrid);
    if (onGrid.node != node || (onGrid.start != onGrid.end && onGrid.rowStart != onGrid.rowEnd))
        return false;
    entry = onGrid;
    return true;
}

// The caret place of a line (items from..to of the row) nearest the point, or the place fixed
// under it.
bool nearestInLine(eExpr* line, const Zone& abs, int32_t from, int32_t to, oPoint point,
                   SelectionEntry& entry) {
    if (fixedPlace(line, abs, point, entry))
        return true;
    NearestPlace search(point);
    search.inRow(line, abs, 0, from, to);
    if (search.best().node == nullptr)
        return false;
    entry = search.best();
    return true;
}

// The grid's row (of its first or last column) nearest the point in height, and its rectangle;
// `between` tells whether the point lies below the first row's top and above the last row's
// bottom.
eExpr* lineLevelWith(eMatrix* grid, const Zone& gridAbs, bool left, oPoint point, Zone& lineAbs,
                     bool& between) {
    eExpr* line = nullptr;
    int64_t off = 0;
    bool belowFirst = false;
    bool aboveLast = false;
    for (int32_t k = 0; k < grid->rows(); ++k) {
        eExpr* cell = grid->getCell(k, left ? 0 : grid->columns() - 1);
        if (cell == nullptr)
            continue;
        const Zone c = childZone(cell, gridAbs);
        belowFirst = belowFirst || point.y >= c.top;
        aboveLast = point.y < c.bottom;
        const int64_t d = offSpan(point.y, c.top, c.bottom);
        if (line == nullptr || d < off) {
            line = cell;
            lineAbs = c;
            off = d;
        }
    }
    between = belowFirst && aboveLast;
    return line;
}

// A plain click leaves the caret at the caret place nearest the point, in the lines of the
// formula: its top row, or the rows of a grid that is all the top row holds (lines made with
// Enter). Beside a line (left or right of it, at its height) the caret goes to the line's start
// or end, never into the first or last item of the line; above the first line or below the last,
// to the nearest place in that line, even where the point is on the pile's own edge outside its
// first or last line. Beside the formula where its first or last item is a grid, at the grid's
// height, the grid's row level with the point is the line.
bool hitPlain(eExpr* root, oPoint point, SelectionEntry& entry) {
    const Zone& r = root->m_zone;
    if (!hasArea(r))
        return false;
    eExpr* top = root->childCount() > 0 ? root->getChild(0) : nullptr;
    if (top == nullptr || !top->isString())
        return false;
    prepareWalk();
    const Zone topAbs = childZone(top, r);
    const int32_t count = top->childCount();
    if (count == 0) {
        entry = {top, 0, 0, 0, 1};
        return true;
    }
    eExpr* line = top;
    Zone lineAbs = topAbs;
    const bool besideFormula = point.x < topAbs.left || point.x >= topAbs.right;
    const bool left = point.x < (topAbs.left + topAbs.right) / 2;
    eExpr* edge = count > 0 ? top->getChild(left ? 0 : count - 1) : nullptr;
    if (edge != nullptr && edge->isMatrix()) {
        auto* grid = static_cast<eMatrix*>(edge);
        const Zone gridAbs = childZone(grid, topAbs);
        const bool lines = count == 1 && grid->columns() == 1;
        const bool level = point.y >= gridAbs.top && point.y < gridAbs.bottom;
        if ((besideFormula && (level || lines)) || (!besideFormula && lines)) {
            Zone cellAbs{};
            bool between = false;
            if (eExpr* cell = lineLevelWith(grid, gridAbs, left, point, cellAbs, between)) {
                // Between two lines, inside the grid, the grid's own caret line.
                if (!besideFormula && level && between &&
                    offSpan(point.y, cellAbs.top, cellAbs.bottom) > 0 &&
                    fixedPlace(grid, gridAbs, point, entry))
                    return true;
                line = cell;
                lineAbs = cellAbs;
            }
        }
    }
    // A ruled row broken into lines: the line is the one nearest the point in height.
    const int32_t n = line->childCount();
    int32_t from = 0;
    int32_t to = n;
    if (const eDxStringInfo* lines = ruledLines(line)) {
        int64_t off = -1;
        for (int32_t k = 0; k < lines->lineCount(); ++k) {
            const int64_t d = offSpan(point.y, lineAbs.top + (k == 0 ? 0 : lines->line(k).top),
                                      lineAbs.top + lines->line(k + 1).top);
            if (off < 0 || d < off) {
                off = d;
                from = std::clamp(lines->line(k).first, 0, n);
                to = std::clamp(lines->line(k + 1).first, from, n);
            }
        }
    }
    if (point.x < lineAbs.left || point.x >= lineAbs.right) {
        const int32_t at = point.x < lineAbs.left ? from : to;
        entry = {line, at, at, 0, 1};
        return true;
    }
    return nearestInLine(line, lineAbs, from, to, point, entry);
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
        Zone underAbs{};
        eExpr* under = childUnderPoint(node, abs, point, underAbs);
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
