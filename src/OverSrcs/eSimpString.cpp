#include "OverSrcs/eSimpString.h"

#include "OverPc/PUTIL.h"
#include "OverSrcs/eClick.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eModelHooks.h"

#include <algorithm>
#include <cstdint>

// ---- Factories ---------------------------------------------------------------------------------

OwnedNode<eSimpString> NewSimpString(int32_t n) {
    if (n < 0)
        n = 0;
    OwnedNode<eSimpString> row(NewNodeBlock<eSimpString>(static_cast<size_t>(n) * sizeof(eExpr*)));
    // What resetFields and init would do to the all-zero block: the fields, the flags, the parent
    // and the slots are already clear.
    row->m_count = n;
    row->m_ring = row.get();
    return row;
}

OwnedNode<eSimpString> NewEmptySimpString() {
    return NewSimpString(0);
}

OwnedNode<eSimpString> NewSimpStringWith(ExprPtr node) {
    OwnedNode<eSimpString> row = NewSimpString(1);
    if (node)
        row->m_colour = node->m_colour;
    row->setChild(0, std::move(node));
    return row;
}

// ---- Children
// ------------------------------------------------------------------------------------

void eSimpString::init(int32_t count) {
    eString::init(count);
    slotsClear();
}

void eSimpString::destroy(int32_t flags) {
    flags = subtreeDestroyFlags(flags);
    destroyChildren(flags);
    eString::destroy(flags);
}

eExpr* eSimpString::getChild(int32_t i) const {
    return slotGet(i);
}

ExprPtr eSimpString::detachChild(int32_t i) {
    return slotDetach(i);
}

eExpr* eSimpString::setChild(int32_t i, ExprPtr node) {
    return slotSet(i, std::move(node));
}

void eSimpString::setChildren(ExprPtr* nodes, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        slotSet(static_cast<int32_t>(i), std::move(nodes[i]));
        if ((i & 255) == 255)
            NoteTerminationSignal();
    }
}

// ---- Layout
// --------------------------------------------------------------------------------------

namespace {

// The size steps a node's ancestors apply to it, from the top of its tree down.
int32_t sizeStepsToTop(const eExpr* node) {
    int32_t steps = 0;
    for (; node != nullptr && node->m_parent != nullptr; node = node->m_parent)
        steps += node->m_parent->childSizeStep(node->m_index);
    return steps;
}

} // namespace

void eSimpString::measure() {
    const int32_t p = DrawState.margin;
    int32_t size = MinimumCharacterSize() * DrawState.magnifyFactor;
    int32_t width = 0;
    int32_t above = 0;
    int32_t below = 0;
    for (int32_t i = 0; i < m_count; ++i) {
        eExpr* child = getChild(i);
        if (child == nullptr)
            continue;
        LayOutChild(child);
        width += child->width();
        size = std::max(size, child->m_size);
        above = std::max(above, child->m_zone.ref1);
        below = std::max(below, child->height() - child->m_zone.ref1);
        // A row of a million items: leaves do not poll, and its own walks take a while.
        if ((i & 255) == 255)
            HookCheckUserAbort();
    }
    // The rows of a ring share one axis height, depth and size; their widths do not count.
    for (eString* r = m_ring; r != nullptr && r != this; r = r->m_ring) {
        for (int32_t i = 0; i < r->childCount(); ++i) {
            eExpr* child = r->getChild(i);
            if (child == nullptr)
                continue;
            if (!child->isLaidOut()) {
                // The other row may sit at another size level (in a script, say): its items are
                // laid out at its own size, as its own layout would, not at this row's.
                const int32_t size = DrawState.style.size;
                DrawState.style.size = StepSizeBy(size, sizeStepsToTop(r) - sizeStepsToTop(this));
                LayOutChild(child);
                DrawState.style.size = size;
            }
            size = std::max(size, child->m_size);
            above = std::max(above, child->m_zone.ref1);
            below = std::max(below, child->height() - child->m_zone.ref1);
        }
    }
    if (StructureOn()) {
        width += 2 * p;
        above += p;
        below += p;
    }
    int32_t x = p;
    int32_t baseline = 0;
    // Whether the items stand in order along the row (a nudge to the left can break it).
    bool inOrder = true;
    int32_t previousRight = 0;
    for (int32_t i = 0; i < m_count; ++i) {
        eExpr* child = getChild(i);
        if (child == nullptr) {
            inOrder = false;
            continue;
        }
        PlaceNodeRect(child, x, above - child->m_zone.ref1);
        const Zone& z = child->m_zone;
        inOrder = inOrder && z.left >= previousRight && z.right >= z.left;
        previousRight = z.right;
        // Each item starts at the right edge of the one before, so a nudge carries the rest along.
        x = child->m_zone.right;
        baseline = std::max(baseline, child->m_zone.top + child->m_zone.ref2);
        // Stopping here is safe: the row is not marked laid out, and its next layout places
        // every item afresh.
        if ((i & 255) == 255)
            HookCheckUserAbort();
    }
    if (inOrder)
        m_flags |= kNodeChildrenInOrder;
    else
        m_flags &= static_cast<uint8_t>(~kNodeChildrenInOrder);
    NoteLayoutChange();
    m_zone = Zone{0, 0, width, above + below, above, baseline};
    m_size = size;
    if (StructureOn() && above == 3 && below == 3) {
        // An empty row in structure display is drawn as a box the size of a small item.
        m_zone.bottom = 4 * p;
        m_zone.ref1 = 2 * p;
        m_zone.ref2 = 4 * DrawState.inset;
    }
    m_flags |= kNodeLaidOut | kNodePlaced;
    if (m_count > 0)
        HookCheckUserAbort();
}

void eSimpString::getHighlightArea(const SelectionEntry& entry) {
    Zone& z = DrawState.absZone;
    const int32_t absLeft = z.left;
    if (StructureOn()) {
        z.top += DrawState.margin;
        z.bottom -= DrawState.margin;
    }
    if (m_count == 0) {
        const int32_t mid = (z.left + z.right) / 2;
        z.left = mid;
        z.right = mid;
        if (!StructureOn()) {
            z.top -= 3;
            z.bottom += 3;
        }
        return;
    }
    auto boundary = [&](int32_t pos) {
        pos = std::clamp(pos, 0, m_count);
        if (pos < m_count)
            return getChild(pos)->m_zone.left;
        return getChild(m_count - 1)->m_zone.right;
    };
    z.left = absLeft + boundary(entry.start);
    z.right = absLeft + boundary(entry.end);
}

// ---- Edits
// ---------------------------------------------------------------------------------------

ExprPtr eSimpString::copyOut(const SelectionEntry& entry) const {
    const int32_t start = std::clamp(entry.start, 0, m_count);
    const int32_t end = std::clamp(entry.end, 0, m_count);
    if (start >= end)
        return ExprPtr();
    OwnedNode<eSimpString> row = NewSimpString(end - start);
    for (int32_t i = start; i < end; ++i)
        row->setChild(i - start, getChild(i)->deepCopy());
    return row;
}

eString* eSimpString::resizeRange(int32_t start, int32_t end, int32_t n) {
    start = std::clamp(start, 0, m_count);
    end = std::clamp(end, start, m_count);
    n = std::max(n, 0);
    const int32_t shift = n - (end - start);
    OwnedNode<eSimpString> fresh = NewSimpString(m_count + shift);
    fresh->m_zone = m_zone;
    // Still where this row is shown, until the next layout places it.
    fresh->m_flags |= static_cast<uint8_t>(m_flags & kNodePlaced);
    fresh->m_colour = m_colour;
    fresh->m_size = m_size;
    fresh->m_nudgeX = m_nudgeX;
    fresh->m_nudgeY = m_nudgeY;
    // The new row takes the old one's place in its ring, right after it.
    LinkRows(this, fresh.get());
    moveKeptChildren(fresh.get(), start, end, shift);
    return handOverTo(std::move(fresh));
}

// ---- Clicks
// --------------------------------------------------------------------------------------

bool eSimpString::hit(oPoint anchor, oPoint point, SelectionEntry& entry, bool drag) {
    const int32_t rowLeft = DrawState.absZone.left;
    // In a row whose items stand in order only the item whose span holds the anchor can hold
    // both points; elsewhere the first item that holds both takes the press.
    const bool inOrder = ChildrenInOrder(this);
    const int32_t upToAnchor =
        inOrder
            ? CountChildrenBefore(this, [&](const Zone& z) { return rowLeft + z.left <= anchor.x; })
            : -1;
    const int32_t first = upToAnchor < 0 ? 0 : std::max(upToAnchor - 1, 0);
    const int32_t end = upToAnchor < 0 ? m_count : upToAnchor;
    for (int32_t i = first; i < end; ++i) {
        eExpr* child = getChild(i);
        if (drag ? HitDragChild(child, anchor, point, entry)
                 : HitClickChild(child, anchor, point, entry))
            return true;
    }
    entry = {this, 0, 0, 0, 1};
    if (WholeRowClickOption != 0) {
        entry.end = m_count;
        return true;
    }
    // A press snaps to the boundary before an item once it is three quarters of the way past the
    // boundary before that (for the start), or a quarter of the way (for the end): a press in the
    // middle half of an item selects it.
    const int32_t lo = std::min(anchor.x, point.x);
    const int32_t hi = std::max(anchor.x, point.x);
    if (upToAnchor >= 0) {
        // The boundaries rise along an ordered row (the first at or after the row's left), so
        // both tests hold for a leading run of them: the last boundary of each run, by halving.
        auto boundary = [&](int32_t i) {
            return i < m_count ? rowLeft + getChild(i)->m_zone.left
                               : rowLeft + getChild(m_count - 1)->m_zone.right;
        };
        auto before = [&](int32_t i) { return i == 0 ? rowLeft : boundary(i - 1); };
        auto lastWhere = [&](auto holds) {
            int32_t a = 0;
            int32_t b = m_count + 1;
            while (a < b) {
                const int32_t mid = a + (b - a) / 2;
                if (holds(mid))
                    a = mid + 1;
                else
                    b = mid;
            }
            return std::max(a - 1, 0);
        };
        entry.start = lastWhere([&](int32_t i) { return lo > (before(i) + 3 * boundary(i)) / 4; });
        entry.end = lastWhere([&](int32_t i) { return hi > (boundary(i) + 3 * before(i)) / 4; });
        return true;
    }
    int32_t prev = rowLeft;
    for (int32_t i = 0; i <= m_count; ++i) {
        int32_t x = rowLeft;
        if (i < m_count)
            x = rowLeft + getChild(i)->m_zone.left;
        else if (m_count > 0)
            x = rowLeft + getChild(m_count - 1)->m_zone.right;
        if (lo > (prev + 3 * x) / 4)
            entry.start = i;
        if (hi > (x + 3 * prev) / 4)
            entry.end = i;
        prev = x;
    }
    return true;
}

bool eSimpString::hitClick(oPoint anchor, oPoint point, SelectionEntry& entry) {
    return hit(anchor, point, entry, false);
}

bool eSimpString::hitDrag(oPoint anchor, oPoint point, SelectionEntry& entry) {
    return hit(anchor, point, entry, true);
}

// Help balloon: a row of the expression.
void eSimpString::infoText(int32_t& kind, int32_t& stringId) {
    kind = 1;
    stringId = 388;
}
