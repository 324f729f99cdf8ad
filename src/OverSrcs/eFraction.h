// Fractions: a numerator (slot 0) over or beside a denominator (slot 1) in one of five styles,
// from stacked with a horizontal bar to inline with a slash. The style is the template's kind.
#pragma once

#include "OverSrcs/eTempl.h"

#include <cstdint>

// Fraction styles (the kind of an eFraction), in the order the fraction dialog lists them.
inline constexpr int32_t kFractionVertical = 1;       // numerator over denominator, horizontal bar
inline constexpr int32_t kFractionNearlyVertical = 6; // steep slanted bar
inline constexpr int32_t kFractionSlanted = 2;        // overlapping, slanted bar, smaller children
inline constexpr int32_t kFractionNearlyFlat = 7;     // as slanted with more overlap
inline constexpr int32_t kFractionHorizontal = 5;     // one line with a slash between

class eFraction : public eTemplate {
    KV_NODE_CLONE(eFraction)
    // Emits the node through the active translator (etGener).
    void generate() override;

    void measure() override;
    void draw() override;
    // The small (slanted) style draws both children smaller by the fraction size setting.
    int32_t childSizeStep(int32_t i) const override;
    // The Modify kind of the class; the Modify command runs its dialog.
    int32_t change(bool query) override;
    bool getTemplateCode(int32_t& code) const override;

    // Appended operations, in order.
    // Layout of every style but the stacked one.
    virtual void measureBar();
    // The slanted or slash stroke of every style but the stacked one.
    virtual void drawBar();

    // Bar thickness: max(1, (size × bar setting + 64) / 128).
    int32_t barThickness() const;
};

// A stacked fraction over the two rows (either may be null: the slot stays empty).
OwnedNode<eFraction> NewFraction(ExprPtr numerator, ExprPtr denominator);

// Installs the factories of template families 0 (fractions, radicals, overstrikes, long division)
// and 7 (boxes), so that NewTemplateFromCode makes these classes. Called once at start-up.
void RegisterFractionTemplates();
