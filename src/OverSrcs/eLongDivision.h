// Schoolbook long division: the dividend (slot 0) under an overline with the divisor (slot 1)
// left of a curved bracket, the quotient (slot 2) above the overline and the working (slot 3)
// below.
#pragma once

#include "OverSrcs/eTempl.h"

#include <cstdint>

class eLongDivision : public eTemplate {
    KV_NODE_CLONE(eLongDivision)
    // Emits the node through the active translator (etGener).
    void generate() override;

    void measure() override;
    void draw() override;
    // The Modify kind of the class: a template without a dialog of its own.
    int32_t change(bool query) override;
    bool getTemplateCode(int32_t& code) const override;
};

OwnedNode<eLongDivision> NewLongDivision(ExprPtr dividend, ExprPtr divisor, ExprPtr quotient,
                                         ExprPtr working);
