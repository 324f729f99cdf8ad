// The root of every edited expression: a template with a single slot holding the expression's top
// row, so that operations climbing to the parent stop at a node whose own parent is null.
#pragma once

#include "OverSrcs/eTempl.h"

#include <cstdint>

class eHeader : public eTemplate {
    KV_NODE_CLONE(eHeader)
    // Emits the node through the active translator (etGener).
    void generate() override;

    void measure() override;
    int32_t change(bool query) override;
    bool getTemplateCode(int32_t& code) const override;

    // The word stored in the second slot by the factory (not owned).
    void* secondWord() const;
    void setSecondWord(void* word);
};

// A header over the expression, with room for a second slot holding `secondWord`.
OwnedNode<eHeader> NewHeader(ExprPtr expression, void* secondWord);
