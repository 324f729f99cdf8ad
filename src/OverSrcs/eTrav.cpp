// Visiting nodes with caller-supplied callbacks: traverse visits a node and its descendants,
// traverseSel exactly the part of the tree one selection entry names.
#include "OverPc/PERROR.h"
#include "OverSrcs/eChar.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eObject.h"
#include "OverSrcs/eString.h"
#include "OverSrcs/eWord.h"

void eExpr::traverse(bool passThrough, bool deep, NodeCallback nodeCallback,
                     NodeCallback leafCallback) {
    if (nodeCallback != nullptr)
        nodeCallback(this);
    if (!deep)
        return;
    for (int32_t i = 0; i < m_count; ++i)
        if (eExpr* child = getChild(i))
            child->traverse(passThrough, true, nodeCallback, leafCallback);
}

void eChar::traverse(bool, bool, NodeCallback nodeCallback, NodeCallback leafCallback) {
    if (nodeCallback != nullptr)
        nodeCallback(this);
    if (leafCallback != nullptr)
        leafCallback(this);
}

void eExpr::traverseSel(SelectionEntry&, bool, bool, NodeCallback, NodeCallback, EmptyCallback) {
    KV_ASSERT_FAILED("eExpr::traverseSel");
}

void eChar::traverseSel(SelectionEntry&, bool, bool, NodeCallback, NodeCallback, EmptyCallback) {
    KV_ASSERT_FAILED("eChar::traverseSel");
}

void eString::traverseSel(SelectionEntry& entry, bool split, bool deep, NodeCallback nodeCallback,
                          NodeCallback leafCallback, EmptyCallback emptyCallback) {
    if (entry.start == entry.end) {
        if (emptyCallback != nullptr)
            emptyCallback(&entry);
    } else if (entry.start == 0 && entry.end == m_count) {
        traverse(split, deep, nodeCallback, leafCallback);
    } else {
        const int32_t start = entry.start < 0 ? 0 : entry.start;
        const int32_t end = entry.end > m_count ? m_count : entry.end;
        for (int32_t i = start; i < end; ++i)
            if (eExpr* child = getChild(i))
                child->traverse(split, deep, nodeCallback, leafCallback);
    }
    EditResultEntry = entry;
}

void eWord::traverseSel(SelectionEntry& entry, bool split, bool deep, NodeCallback nodeCallback,
                        NodeCallback leafCallback, EmptyCallback emptyCallback) {
    if (!split) {
        if (nodeCallback != nullptr)
            nodeCallback(this);
        if (leafCallback != nullptr)
            leafCallback(this);
        if (entry.start == entry.end && emptyCallback != nullptr)
            emptyCallback(&entry);
        return;
    }
    if (entry.start == 0 && entry.end == m_length) {
        if (nodeCallback != nullptr)
            nodeCallback(this);
        if (leafCallback != nullptr)
            leafCallback(this);
        EditResultEntry = entry;
        return;
    }
    // The callbacks see exactly the selected characters: they are copied out as a word of their
    // own, visited, and put back in place of the selection, which splits this word.
    ExprPtr part = copyOut(entry);
    if (!part) {
        EditResultEntry = entry;
        if (emptyCallback != nullptr)
            emptyCallback(&entry);
        return;
    }
    part->traverse(true, deep, nodeCallback, leafCallback);
    insert(entry, std::move(part));
    HookFinishEditAt(EditResultEntry.node);
}
