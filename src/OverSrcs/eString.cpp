#include "OverSrcs/eString.h"

#include "OverPc/PERROR.h"
#include "OverPc/PUTIL.h"
#include "OverSrcs/eDxStr.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eWord.h"

#include <algorithm>
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
    if (node->isDxString() && !isDxString())
        return spliceRuledRow(start, end, std::move(node));
    const int32_t k = node->childCount();
    eString* row = resizeRange(start, end, k);
    for (int32_t i = 0; i < k; ++i) {
        row->setChild(start + i, node->detachChild(i));
        // The paste of a large document moves millions of items, and the edit cannot stop
        // half-made.
        if ((i & 255) == 255)
            NoteTerminationSignal();
    }
    return row;
}

eString* eString::spliceRuledRow(int32_t start, int32_t end, ExprPtr node) {
    // A ruled row put into a plain row makes the whole row ruled, with the inserted row's ruler;
    // the new row takes this row's place in its ring.
    start = std::clamp(start, 0, m_count);
    end = std::clamp(end, start, m_count);
    const int32_t k = node->childCount();
    const int32_t shift = k - (end - start);
    OwnedNode<eDxString> fresh =
        NewDxString(m_count + shift, static_cast<const eDxString*>(node.get()));
    UnlinkRow(fresh.get());
    LinkRows(this, fresh.get());
    // The row keeps its own colour and nudges; only the ruler comes from the inserted row.
    fresh->m_zone = m_zone;
    // Still where this row is shown, until the next layout places it.
    fresh->m_flags |= static_cast<uint8_t>(m_flags & kNodePlaced);
    fresh->m_size = m_size;
    fresh->m_colour = m_colour;
    fresh->m_nudgeX = m_nudgeX;
    fresh->m_nudgeY = m_nudgeY;
    for (int32_t i = 0; i < start; ++i)
        fresh->setChild(i, detachChild(i));
    for (int32_t i = 0; i < k; ++i)
        fresh->setChild(start + i, node->detachChild(i));
    for (int32_t i = end; i < m_count; ++i)
        fresh->setChild(i + shift, detachChild(i));
    return handOverTo(std::move(fresh));
}

void eString::moveKeptChildren(eString* fresh, int32_t start, int32_t end, int32_t shift) {
    for (int32_t i = 0; i < start; ++i) {
        fresh->setChild(i, detachChild(i));
        if ((i & 255) == 255)
            NoteTerminationSignal();
    }
    for (int32_t i = end; i < m_count; ++i) {
        fresh->setChild(i + shift, detachChild(i));
        if ((i & 255) == 255)
            NoteTerminationSignal();
    }
}

eString* eString::handOverTo(OwnedNode<eString> fresh) {
    eString* result = fresh.get();
    HookRetargetSelections(this, result);
    if (m_parent != nullptr) {
        m_parent->setChild(m_index, std::move(fresh));
    } else {
        (void)fresh.release();
        destroy(kDestroyFree);
    }
    return result;
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

// ---- Typing and deleting ------------------------------------------------------------------------

void eString::selectInside(SelectionEntry& entry) const {
    entry = {const_cast<eString*>(this), m_count, m_count, 0, 0};
}

void eString::selectWhole(SelectionEntry& entry) const {
    entry = {const_cast<eString*>(this), 0, m_count, 0, 0};
}

void eString::keystroke(SelectionEntry& entry) {
    if (m_parent == nullptr) {
        // An edit rebuilds the row in its parent's slot; a detached row has no slot to keep it.
        KV_ASSERT_FAILED("eString::keystroke(root)");
        return;
    }
    const int32_t code = HookCurrentCommandCode();
    FSSRecord style;
    uint8_t colour = 0;
    HookGetTypingFSS(style, colour);
    ExprPtr node = NewCharNode(static_cast<unsigned char>(code & 0xFF), style, colour);
    eExpr* typed = node.get();
    const int32_t start = std::clamp(std::min(entry.start, entry.end), 0, m_count);
    const int32_t end = std::clamp(std::max(entry.start, entry.end), 0, m_count);
    // This row is replaced by the resized one: nothing of it is used afterwards.
    if (AutoSpaceOption != 0 && start == end && start > 0 && IsOperatorCode(code)) {
        eString* row = resizeRange(start, start, 2);
        row->setChild(start, NewPseudo(kPseudoSpace, &style, colour));
        row->setChild(start + 1, std::move(node));
    } else {
        eString* row = resizeRange(start, end, 1);
        row->setChild(start, std::move(node));
    }
    SelectionEntry inner;
    typed->selectInside(inner);
    HookSelectRange(inner.node, inner.start, inner.end, inner.rowStart, inner.rowEnd);
    HookFinishEditAt(typed);
}

void eString::backspace(int32_t direction) {
    SelectionEntry* entry = HookEntryBeingActedUpon();
    if (entry == nullptr || entry->node != this)
        return;
    if (entry->start == entry->end) {
        // Forward delete at a caret between items deletes nothing, and marks nothing changed.
        if (direction >= 0)
            return;
        if (entry->start <= 0) {
            backspaceAt(0);
            return;
        }
        eExpr* last = getChild(std::min(entry->start, m_count) - 1);
        while (last != nullptr && last->childCount() > 0)
            last = last->getChild(last->childCount() - 1);
        if (last == nullptr)
            return;
        SelectionEntry inner;
        last->selectInside(inner);
        *entry = inner;
        if (inner.node != this) {
            if (inner.node != nullptr)
                inner.node->backspace(direction);
            return;
        }
        entry->start -= 1;
    }
    const int32_t start = std::clamp(std::min(entry->start, entry->end), 0, m_count);
    const int32_t end = std::clamp(std::max(entry->start, entry->end), 0, m_count);
    if (m_parent == nullptr) {
        KV_ASSERT_FAILED("eString::backspace(root)");
        return;
    }
    eString* row = resizeRange(start, end, 0);
    HookSelectRange(row, start, start, 0, 0);
    HookFinishEditAt(row);
}

void eString::backspaceAt(int32_t) {
    eExpr* parent = m_parent;
    if (parent != nullptr && m_index > 0) {
        parent->backspaceAt(m_index);
        return;
    }
    // At the very start of the expression, and in the first cell of a grid standing in the top
    // row, there is nothing before to join with or delete: the caret stays at the start.
    const eExpr* gridRow = parent != nullptr && parent->isMatrix() ? parent->m_parent : nullptr;
    const bool firstCellOfTopGrid = gridRow != nullptr && (gridRow->m_parent == nullptr ||
                                                           gridRow->m_parent->m_parent == nullptr);
    if (parent == nullptr || parent->m_parent == nullptr || firstCellOfTopGrid) {
        HookSelectRange(this, 0, 0, 0, 0);
        return;
    }
    SelectionEntry whole;
    parent->selectWhole(whole);
    bool allEmpty = true;
    for (int32_t i = 0; i < parent->childCount(); ++i) {
        const eExpr* child = parent->getChild(i);
        if (child == nullptr || !child->isString() || child->childCount() != 0)
            allEmpty = false;
    }
    if (allEmpty && whole.node != nullptr) {
        // Nothing would be lost: the backspace takes the whole empty template away.
        if (SelectionEntry* entry = HookEntryBeingActedUpon())
            *entry = whole;
        whole.node->backspace(-1);
        return;
    }
    HookSetSelection(whole);
}

// ---- Joining words after an edit
// ------------------------------------------------------------------

namespace {

void retargetEntries(SelectionEntry* entries, int32_t count, eExpr* from, eExpr* to) {
    for (int32_t k = 0; k < count; ++k)
        if (entries[k].node == from)
            entries[k].node = to;
}

int32_t mergeRow(eString* row, SelectionEntry* entries, int32_t count) {
    // The first entry naming the row follows its items; it becomes an entry in a merged word when
    // it lay within the two words joined.
    int32_t noted = -1;
    for (int32_t k = 0; k < count; ++k) {
        if (entries[k].node == row) {
            noted = k;
            break;
        }
    }
    // One pass over the row: the items kept are moved down in place over the words joined to
    // their left neighbour, and the row shrinks once at the end, so the cost follows the row's
    // length however many words join. Items [0, kept) are done, [read, count) still to come;
    // positions in entries are those of the row as it will be.
    int32_t joins = 0;
    int32_t kept = std::min<int32_t>(1, row->childCount());
    const int32_t items = row->childCount();
    for (int32_t read = kept; read < items; ++read) {
        // A pasted row of a million items is merged within the edit, which runs to its end.
        if ((read & 255) == 255)
            NoteTerminationSignal();
        // isWord answers for every word class without a dynamic cast per item of a long row.
        auto word = [](eExpr* item) {
            return item != nullptr && item->isWord() ? static_cast<eWord*>(item) : nullptr;
        };
        eWord* left = word(row->getChild(kept - 1));
        eWord* right = word(row->getChild(read));
        if (left == nullptr || right == nullptr || !CanMergeWords(left, right)) {
            if (read != kept)
                row->setChild(kept, row->detachChild(read));
            ++kept;
            continue;
        }
        const int32_t i = kept;
        const int32_t n = left->length();
        const int32_t m = right->length();
        eWord* merged = left->replaceText(n, n, right->view());
        retargetEntries(entries, count, left, merged);
        for (int32_t k = 0; k < count; ++k) {
            if (entries[k].node == right) {
                entries[k].node = merged;
                entries[k].start += n;
                entries[k].end += n;
            }
        }
        if (noted >= 0 && entries[noted].node == row) {
            SelectionEntry& e = entries[noted];
            if (e.start >= i - 1 && e.start <= i + 1 && e.end >= i - 1 && e.end <= i + 1) {
                auto inWord = [&](int32_t pos) { return pos < i ? 0 : (pos == i ? n : n + m); };
                e = {merged, inWord(e.start), inWord(e.end), 0, 0};
                noted = -1;
            } else {
                if (e.start >= i)
                    e.start -= 1;
                if (e.end > i)
                    e.end -= 1;
            }
        }
        (void)row->detachChild(read); // the right word, now part of the merged one, goes
        ++joins;
    }
    if (joins > 0) {
        eString* shorter = row->resizeRange(kept, items, 0);
        retargetEntries(entries, count, row, shorter);
        row = shorter;
        row->invalidate();
        InvalidateAncestors(row);
    }
    return joins;
}

} // namespace

int32_t MergeWordsForEntries(SelectionEntry* entries, int32_t count) {
    int32_t joins = 0;
    for (int32_t k = 0; k < count; ++k) {
        eExpr* node = entries[k].node;
        if (node == nullptr)
            continue;
        eExpr* row = node->isString() ? node : node->m_parent;
        if (row == nullptr || !row->isString() || row->m_parent == nullptr)
            continue;
        joins += mergeRow(static_cast<eString*>(row), entries, count);
    }
    return joins;
}
