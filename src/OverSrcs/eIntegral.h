// One to eight integral signs (plain or contour) with an integrand and two limits, or the
// evaluate-at bar that follows an expression and carries two limits. The limits sit beside the
// sign or above and below it. The sign itself is the port's integral-sign figure; this class
// decides its zone, count, flags and pen.
#pragma once

#include "OverSrcs/eTempl.h"

#include <cstdint>

// Kind field: bits 0-2 the number of signs - 1, then these flags.
inline constexpr int32_t kIntegralCountMask = 7;
inline constexpr int32_t kIntegralEvaluateAt = 0x08;
inline constexpr int32_t kIntegralContour = 0x10;
inline constexpr int32_t kIntegralLimitsAboveBelow = 0x20;
inline constexpr int32_t kIntegralSmallSign = 0x40;
inline constexpr int32_t kIntegralSecondContour = 0x80;

// Child slots.
inline constexpr int32_t kIntegralIntegrand = 0;
inline constexpr int32_t kIntegralLower = 1;
inline constexpr int32_t kIntegralUpper = 2;

class eIntegral : public eTemplate {
    KV_NODE_CLONE(eIntegral)
    // Emits the node through the active translator (etGener).
    void generate() override;

    void measure() override;
    void draw() override;
    // The limits are drawn the integral setting's number of steps smaller.
    int32_t childSizeStep(int32_t i) const override;
    // The Modify kind in query mode; the dialog itself is run by the Modify command.
    int32_t change(bool query) override;
    bool getTemplateCode(int32_t& code) const override;

    // Height of the sign for this integrand (and, when measuring, these limits).
    int32_t signHeight(bool withLimits) const;
    // Width of one sign (or of the bar) for a sign of that height.
    int32_t signWidth(int32_t height) const;
    int32_t signCount() const;
};

// An integral with n slots (always 3; the kind is (n - 3) / 2, one plain sign) and its three
// children, any of which may be null.
OwnedNode<eIntegral> NewIntegral(int32_t n, ExprPtr integrand, ExprPtr lower, ExprPtr upper);

// Installs the integral factory (family 2); RegisterFenceTemplates calls it.
void RegisterIntegralTemplates();
