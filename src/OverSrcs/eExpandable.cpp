#include "OverSrcs/eExpandable.h"

#include "OverPc/PERROR.h"
#include "OverPc/PUTIL.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eString.h"

#include <utility>

void eExpandable::measure() {}

void eExpandable::draw() {
    eTemplate::draw();
    restoreColors();
}

int32_t eExpandable::change(bool) {
    return 0;
}

void eExpandable::generate() {}

bool eExpandable::getTemplateCode(int32_t&) const {
    return false;
}

OwnedNode<eExpandable> eExpandable::expand(ExprPtr, int32_t) const {
    KV_ASSERT_FAILED("ExEx");
    return nullptr;
}

OwnedNode<eExpandable> eExpandable::buildReplacement(int32_t start, int32_t end, int32_t n) {
    if (start < 1 || end < start || end > m_count || n < 0) {
        KV_ASSERT_FAILED("eExpandable::replaceSlots range");
        return nullptr;
    }
    const int32_t removed = end - start;
    const int32_t count = m_count - removed + n;
    if (count > kMaxTemplateSlots) {
        KV_ASSERT_FAILED("eExpandable::replaceSlots count");
        return nullptr;
    }
    OwnedNode<eExpandable> node = expand(detachChild(0), count);
    if (!node)
        return nullptr;
    int32_t kind = m_kind & 1;
    for (int32_t i = 1; i < start; ++i) {
        kind |= m_kind & (1 << i);
        node->setChild(i, detachChild(i));
    }
    for (int32_t i = end; i < m_count; ++i) {
        const int32_t to = i + n - removed;
        if ((m_kind & (1 << i)) != 0)
            kind |= 1 << to;
        node->setChild(to, detachChild(i));
    }
    node->m_kind = kind;
    node->m_colour = m_colour;
    return node;
}

eExpandable* eExpandable::replaceSlots(int32_t start, int32_t end, int32_t n) {
    eExpr* parent = m_parent;
    if (parent == nullptr) {
        KV_ASSERT_FAILED("eExpandable::replaceSlots root");
        return nullptr;
    }
    const int32_t at = m_index;
    OwnedNode<eExpandable> node = buildReplacement(start, end, n);
    if (!node)
        return nullptr;
    eExpandable* placed = node.get();
    // This node is destroyed here; nothing of it is touched afterwards.
    parent->setChild(at, std::move(node));
    InvalidateAncestors(placed);
    return placed;
}

void eExpandable::showPart(bool show, int32_t i) {
    if (i == 0) {
        // Slot 0 has no part of its own to show: the request is for this node's place in the
        // parent.
        eTemplate::showPart(show, i);
        return;
    }
    if (i < 0 || i >= m_count || i > kMaxTemplateSlots) {
        Beep();
        return;
    }
    NoteEditedNode(this);
    if (show)
        m_kind |= 1 << i;
    else
        m_kind &= ~(1 << i);
    invalidate();
    InvalidateAncestors(this);
    if (SelectionEntry* entry = HookEntryBeingActedUpon())
        HookSetSelection(*entry);
    HookFinishEditAt(this);
}

void eExpandable::backspaceAt(int32_t i) {
    if (i <= 0) {
        eTemplate::backspaceAt(i);
        return;
    }
    if (i >= m_count) {
        Beep();
        return;
    }
    eExpr* first = getChild(i - 1);
    eExpr* second = getChild(i);
    if (first == nullptr || second == nullptr || !first->isString() || !second->isString() ||
        m_parent == nullptr) {
        Beep();
        return;
    }
    // Everything is checked before the first change, so a refused backspace loses nothing.
    const bool dissolves = m_count == 2;
    if (dissolves && !m_parent->isString()) {
        Beep();
        return;
    }
    const int32_t join = first->childCount();
    const int32_t moved = second->childCount();
    eString* row = static_cast<eString*>(first)->resizeRange(join, join, moved);
    for (int32_t j = 0; j < moved; ++j)
        row->setChild(join + j, second->detachChild(j));
    row->invalidate();

    eExpr* parent = m_parent;
    const int32_t at = m_index;
    eExpandable* reduced = replaceSlots(i, i + 1, 0);
    if (reduced == nullptr)
        return;
    if (!dissolves) {
        eExpr* joined = reduced->getChild(i - 1);
        HookFinishEditAt(reduced);
        HookSelectRange(joined, join, join, 0, 0);
        return;
    }
    // One slot left: its row's items take the node's place in the parent row.
    ExprPtr only = reduced->detachChild(0);
    eString* parentRow = static_cast<eString*>(parent);
    parentRow = only ? parentRow->replaceRange(at, at + 1, std::move(only))
                     : parentRow->resizeRange(at, at + 1, 0);
    HookFinishEditAt(parentRow);
    HookSelectRange(parentRow, at + join, at + join, 0, 0);
}
