// A frame round one child (slot 0), with an optional drop shadow and optional quantised size.
// The kind holds the frame options (bits below).
#pragma once

#include "OverSrcs/eTempl.h"

#include <cstdint>

inline constexpr int32_t kBoxThicknessMask = 0x0F; // index into the thickness table
inline constexpr int32_t kBoxShadow = 0x10;
inline constexpr int32_t kBoxShadowLeft = 0x20; // clear: the shadow is on the right
inline constexpr int32_t kBoxQuantiseHeight = 0x40;
inline constexpr int32_t kBoxQuantiseWidth = 0x80;

// Frame thicknesses in quarter points, by the index in the kind's low four bits.
inline constexpr int32_t kBoxThicknessTable[16] = {1,  2,  3,  4,  6,  8,  10, 12,
                                                   14, 16, 20, 24, 28, 32, 40, 48};

class eBox : public eTemplate {
    KV_NODE_CLONE(eBox)
    // Emits the node through the active translator (etGener).
    void generate() override;

    void measure() override;
    void draw() override;
    // The Modify kind of the class; the Modify command runs its dialog.
    int32_t change(bool query) override;
    bool getTemplateCode(int32_t& code) const override;

    // The frame's line width in device units at a resolution: a quarter point per table step,
    // doubled under magnification, at least 1.
    int32_t lineWidth(int32_t resolution, bool magnified) const;
};

OwnedNode<eBox> NewBox(ExprPtr child);
