// A radical: the sign drawn as one filled stroke with its vinculum over the radicand (slot 0) and
// a small index (slot 1) in the column left of the sign.
#pragma once

#include "OverSrcs/eTempl.h"

#include <cstdint>

class eRoot : public eTemplate {
    KV_NODE_CLONE(eRoot)
    // Emits the node through the active translator (etGener).
    void generate() override;

    void measure() override;
    void draw() override;
    // The index is smaller by the root's index size setting.
    int32_t childSizeStep(int32_t i) const override;
    // The Modify kind of the class: a template without a dialog of its own.
    int32_t change(bool query) override;
    bool getTemplateCode(int32_t& code) const override;

    // Stroke weight of the sign: max(1, (size × weight + 64) / 128).
    int32_t strokeWidth() const;
};

OwnedNode<eRoot> NewRoot(ExprPtr radicand, ExprPtr index);
