// The plain row.
#pragma once

#include "OverSrcs/eString.h"

#include <cstddef>
#include <cstdint>

class eSimpString : public eString {
    KV_NODE_CLONE(eSimpString)
    // Emits the node through the active translator (etGener).
    void generate() override;

    void init(int32_t count) override;
    void destroy(int32_t flags) override;
    void writeEncoding(oOStream& stream) const override;
    eExpr* getChild(int32_t i) const override;
    ExprPtr detachChild(int32_t i) override;
    eExpr* setChild(int32_t i, ExprPtr node) override;
    // Puts the nodes into the slots from 0 on, as setChild does each: a reader filling a row it
    // has just made calls this once rather than the virtual setChild per child. A row of millions
    // cannot stop half-filled: it acknowledges a termination signal instead.
    void setChildren(ExprPtr* nodes, size_t n);
    void infoText(int32_t& kind, int32_t& stringId) override;
    void measure() override;
    void getHighlightArea(const SelectionEntry& entry) override;
    bool hitClick(oPoint anchor, oPoint point, SelectionEntry& entry) override;
    bool hitDrag(oPoint anchor, oPoint point, SelectionEntry& entry) override;
    ExprPtr copyOut(const SelectionEntry& entry) const override;
    eString* resizeRange(int32_t start, int32_t end, int32_t n) override;
    // The row dialog; a single selected element takes the command instead.
    int32_t change(bool query) override;

private:
    bool hit(oPoint anchor, oPoint point, SelectionEntry& entry, bool drag);
};

// A plain row with n empty slots.
OwnedNode<eSimpString> NewSimpString(int32_t n);
OwnedNode<eSimpString> NewEmptySimpString();
// A row holding the node; the row takes the node's colour byte.
OwnedNode<eSimpString> NewSimpStringWith(ExprPtr node);
