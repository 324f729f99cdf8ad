// The base of templates whose parts can be shown, hidden, merged and added one by one (tensors and
// tree nodes): the kind is a bit mask with bit i belonging to slot i, and the node is rebuilt with
// another number of slots through the class's expand.
#pragma once

#include "OverSrcs/eTempl.h"

#include <cstdint>

class eExpandable : public eTemplate {
    KV_NODE_BLOCKS(eExpandable)

    // Subclasses measure.
    void measure() override;
    // The children in the node's colour; subclasses with strokes draw them before restoring.
    void draw() override;
    // Joins slot i to slot i - 1 and removes it; a node left with one slot dissolves into its
    // parent row.
    void backspaceAt(int32_t i) override;
    // Modify is not offered at this level.
    int32_t change(bool query) override;
    void showPart(bool show, int32_t i) override;
    // A new slot after slot i holding the text after the caret.
    void newField(int32_t i) override;
    void generate() override;
    // Reports nothing: the class is abstract.
    bool getTemplateCode(int32_t& code) const override;

    // Appended operation: a new empty node of the same class with n slots and `node` in slot 0.
    virtual OwnedNode<eExpandable> expand(ExprPtr node, int32_t n) const;

    // A node of the same class in which slots [start, end) are replaced by n empty slots: slot 0
    // and the other slots move across with their kind bits, kind bit 0 and the colour are kept.
    // This node keeps only empty slots; the caller puts the new one in its place.
    OwnedNode<eExpandable> buildReplacement(int32_t start, int32_t end, int32_t n);
    // The same, put in this node's place in its parent (which destroys this node); returns the new
    // node, borrowed from the parent. Without a parent nothing changes and null is returned, so a
    // root is never destroyed under its owner.
    eExpandable* replaceSlots(int32_t start, int32_t end, int32_t n);
};
