// Two children drawn one over the other on a common axis (slot 0 the base, slot 1 the part struck
// over it). With the structure display on they are pulled apart so that each can be seen.
#pragma once

#include "OverSrcs/eTempl.h"

#include <cstdint>

class eOverstrike : public eTemplate {
    KV_NODE_CLONE(eOverstrike)
    // Emits the node through the active translator (etGener).
    void generate() override;

    void measure() override;
    // The ink of both children: the leftmost left, the rightmost right, the smaller overhang.
    void getExtents(int32_t& left, int32_t& right, int32_t& overhang) override;
    // The Modify kind of the class: a template without a dialog of its own.
    int32_t change(bool query) override;
    bool getTemplateCode(int32_t& code) const override;
};

OwnedNode<eOverstrike> NewOverstrike(ExprPtr base, ExprPtr over);
