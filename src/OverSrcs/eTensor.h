// A tensor symbol with a row of indices, each in a column of its own: kind bit i set makes index
// i upper (contravariant), clear makes it lower (covariant). Upper indices share one baseline and
// lower indices another.
#pragma once

#include "OverSrcs/eExpandable.h"

#include <cstdint>

class eTensor : public eExpandable {
    KV_NODE_CLONE(eTensor)
    // Emits the node through the active translator (etGener).
    void generate() override;

    void measure() override;
    int32_t childSizeStep(int32_t i) const override;
    // Modify kind 12; the tensor dialog itself belongs to the Modify command.
    int32_t change(bool query) override;
    bool getTemplateCode(int32_t& code) const override;
    OwnedNode<eExpandable> expand(ExprPtr node, int32_t n) const override;

    bool isUpper(int32_t i) const { return i > 0 && i < 31 && (m_kind & (1 << i)) != 0; }
};

// Kind of a new tensor: its first index upper.
inline constexpr int32_t kNewTensorKind = 2;

// n slots, kind 2, the symbol in slot 0.
OwnedNode<eTensor> NewTensor(ExprPtr symbol, int32_t n);
