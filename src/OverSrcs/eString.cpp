#include "OverSrcs/eString.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eModelHooks.h"

#include <vector>

SelectionEntry EditResultEntry;

// ---- Rings
// ---------------------------------------------------------------------------------------

bool InSameRing(const eString* row, const eString* other) {
    if (row == nullptr || other == nullptr)
        return false;
    const eString* r = row;
    do {
        if (r == other)
            return true;
        r = r->m_ring;
    } while (r != nullptr && r != row);
    return false;
}

void LinkRows(eString* row, eString* other) {
    if (row == nullptr || other == nullptr || InSameRing(row, other))
        return;
    // Exchanging the links of one member of each ring makes one ring of the two.
    eString* next = row->m_ring;
    row->m_ring = other->m_ring;
    other->m_ring = next;
}

void UnlinkRow(eString* row) {
    if (row == nullptr || row->m_ring == nullptr || row->m_ring == row) {
        if (row != nullptr)
            row->m_ring = row;
        return;
    }
    eString* before = row->m_ring;
    while (before->m_ring != row)
        before = before->m_ring;
    before->m_ring = row->m_ring;
    row->m_ring = row;
}

void eString::init(int32_t count) {
    eExpr::init(count);
    m_ring = this;
}

void eString::destroy(int32_t flags) {
    UnlinkRow(this);
    eExpr::destroy(flags);
}

void eString::invalidate() {
    eExpr::invalidate();
    // The rows of a ring share one axis line: a change in one moves them all.
    for (eString* r = m_ring; r != nullptr && r != this; r = r->m_ring) {
        if (r->isLaidOut()) {
            r->m_flags &= static_cast<uint8_t>(~kNodeLaidOut);
            InvalidateAncestors(r);
        }
    }
}

namespace {

bool insideSubtree(const eExpr* node, const eExpr* subtree) {
    for (const eExpr* n = node; n != nullptr; n = n->m_parent)
        if (n == subtree)
            return true;
    return false;
}

} // namespace

void eString::unlinkOutside(const eExpr* subtree, bool invalidateRows) {
    std::vector<eString*> outside;
    for (eString* r = m_ring; r != nullptr && r != this; r = r->m_ring)
        if (!insideSubtree(r, subtree))
            outside.push_back(r);
    for (eString* r : outside)
        UnlinkRow(r);
    // The rows taken out keep their alignment among themselves, in the reverse of the order met.
    for (size_t i = outside.size(); i-- > 0;) {
        eString* r = outside[i];
        r->m_ring = outside[i == 0 ? outside.size() - 1 : i - 1];
    }
    if (!outside.empty() && invalidateRows) {
        outside.front()->invalidate();
        invalidate();
    }
    eExpr::unlinkOutside(subtree, invalidateRows);
}

// ---- Drawing
// -------------------------------------------------------------------------------------

void eString::draw() {
    eExpr::draw();
    if (!StructureOn() || DrawState.drawPort == nullptr)
        return;
    oGraphPort& port = *DrawState.drawPort;
    const int32_t w1 = DrawState.outlineWidth;
    const int32_t w2 = DrawState.inset;
    const Zone& abs = DrawState.absZone;
    Zone r{abs.left + w1, abs.top + w1, abs.right - w2, abs.bottom - w2, 0, 0};
    if (port.flag() != 0)
        ZoneInset(r, -DrawState.margin, -DrawState.margin);
    // Linked rows show with their light and dark edges exchanged.
    const Color& first = RowOutlineColors[isLinked() ? 1 : 0];
    const Color& second = RowOutlineColors[isLinked() ? 0 : 1];
    port.startDeluxeLine(w1, first, kLineSolid, kDrawPaint);
    port.moveTo(r.left, r.bottom);
    port.lineTo(r.left, r.top);
    port.lineTo(r.right, r.top);
    port.endLine();
    port.startDeluxeLine(w1, second, kLineSolid, kDrawPaint);
    port.moveTo(r.left, r.bottom);
    port.lineTo(r.right, r.bottom);
    port.lineTo(r.right, r.top);
    port.endLine();
}

void eString::getExtents(int32_t& left, int32_t& right, int32_t& overhang) {
    if (m_count == 1 && getChild(0) != nullptr) {
        eExpr* child = getChild(0);
        child->getExtents(left, right, overhang);
        left += child->m_zone.left - DrawState.margin;
        right += child->m_zone.left + DrawState.margin;
        return;
    }
    eExpr::getExtents(left, right, overhang);
}

bool eString::isString() const {
    return true;
}

// ---- Structural edits
// -----------------------------------------------------------------------------

eString* eString::resizeRange(int32_t, int32_t, int32_t) {
    KV_ASSERT_FAILED("eString::resizeRange");
    return this;
}

eString* eString::replaceRange(int32_t start, int32_t end, ExprPtr node) {
    if (!node)
        return this;
    if (!node->isString()) {
        eString* row = resizeRange(start, end, 1);
        row->setChild(start, std::move(node));
        return row;
    }
    if (node->isDxString() && !isDxString()) {
        // FIXME: a ruled row spliced into a plain row should turn it into a ruled row; until ruled
        // rows exist its items are spliced in as into any row, so nothing is lost.
        KV_ASSERT_FAILED("eString::replaceRange ruled");
    }
    const int32_t k = node->childCount();
    eString* row = resizeRange(start, end, k);
    for (int32_t i = 0; i < k; ++i)
        row->setChild(start + i, node->detachChild(i));
    return row;
}

void eString::insert(SelectionEntry& entry, ExprPtr node) {
    if (!node)
        return;
    eExpr* raw = node.release();
    raw->replaceInString(entry, this);
}

void eExpr::replaceInString(SelectionEntry& entry, eString* row) {
    ExprPtr self(this);
    if (row == nullptr)
        return;
    const int32_t start = entry.start;
    eString* target = row->resizeRange(entry.start, entry.end, 1);
    target->setChild(start, std::move(self));
    EditResultEntry = {target, start, start + 1, 0, 0};
}

void eString::replaceInString(SelectionEntry& entry, eString* row) {
    ExprPtr self(this);
    if (row == nullptr)
        return;
    const int32_t start = entry.start;
    const int32_t k = m_count;
    eString* target = row->replaceRange(entry.start, entry.end, std::move(self));
    EditResultEntry = {target, start, start + k, 0, 0};
}
