// One node of a tree diagram: a label with its sons hanging below it on lines, or to its right
// when the tree is turned on its side. Each son sits on the bottom level or on an intermediate
// level between the label and the bottom level; the level is a bit of the kind.
#pragma once

#include "OverSrcs/eExpandable.h"

#include <cstdint>

// Kind bit 0: the tree is turned on its side.
inline constexpr int32_t kTreeTurned = 1;

// Whether son i (slot i, from 1) of a node of that kind is on the intermediate level: sons 1 to 5
// follow kind bits 1 to 5, then sons 6, 8, 10, ... follow bit 6 and sons 7, 9, 11, ... bit 7.
bool TreeSonIsIntermediate(int32_t kind, int32_t i);

class eTreeNode : public eExpandable {
    KV_NODE_CLONE(eTreeNode)
    // Emits the node through the active translator (etGener).
    void generate() override;

    void measure() override;
    void draw() override;
    // Modify kind 13; the tree dialog itself belongs to the Modify command.
    int32_t change(bool query) override;
    bool getTemplateCode(int32_t& code) const override;
    OwnedNode<eExpandable> expand(ExprPtr node, int32_t n) const override;

    bool turned() const { return (m_kind & kTreeTurned) != 0; }
};

// n slots, kind 0 (upright, every son on the bottom level), the label in slot 0.
OwnedNode<eTreeNode> NewTreeNode(ExprPtr label, int32_t n);
