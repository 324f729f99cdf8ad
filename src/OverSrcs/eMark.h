// An embellishment over or under one child: dots, tilde, arrows, bars, hat and arc, drawn with
// lines and filled circles sized from the child's size and the embellishment settings, spanning
// the child's ink.
#pragma once

#include "OverSrcs/eTempl.h"

#include <cstdint>

// Kind field: bits 0-3 the mark, then these flags.
inline constexpr int32_t kMarkTypeMask = 15;
inline constexpr int32_t kMarkNormalPlacement = 0x10; // clear: reaches into the ascender by s/5
inline constexpr int32_t kMarkBelow = 0x20;
inline constexpr int32_t kMarkFixedWidth = 0x40;

// Marks.
inline constexpr int32_t kMarkDot = 1;
inline constexpr int32_t kMarkDoubleDot = 2;
inline constexpr int32_t kMarkTilde = 3;
inline constexpr int32_t kMarkVector = 4;
inline constexpr int32_t kMarkTwoHeadedArrow = 5;
inline constexpr int32_t kMarkBar = 6;
inline constexpr int32_t kMarkHat = 7;
inline constexpr int32_t kMarkArc = 8;
inline constexpr int32_t kMarkTripleDot = 9;
inline constexpr int32_t kMarkBackwardArrow = 10;
inline constexpr int32_t kMarkDoubleBar = 11;

// Stroke and dot sizes for a child of size s.
struct MarkMetrics {
    int32_t line; // L: line width
    int32_t d;    // unit of the marks' heights
    int32_t dot;  // d3: dot diameter
    int32_t gap;  // g: between mark and child
};
MarkMetrics MarkMetricsFor(int32_t size);
// Height of the mark's band before the gap; minimum and fixed widths in eighths of the size
// (fixed width -1 where the mark has none).
int32_t MarkBandHeight(int32_t mark, const MarkMetrics& m);
int32_t MarkMinimumEighths(int32_t mark);
int32_t MarkFixedEighths(int32_t mark);

class eMark : public eTemplate {
    KV_NODE_CLONE(eMark)
    // Emits the node through the active translator (etGener).
    void generate() override;

    void measure() override;
    void draw() override;
    // The child's ink extents, in the mark's own coordinates.
    void getExtents(int32_t& left, int32_t& right, int32_t& overhang) override;
    // The Modify kind in query mode; the dialog itself is run by the Modify command.
    int32_t change(bool query) override;
    bool getTemplateCode(int32_t& code) const override;

    int32_t mark() const { return m_kind & kMarkTypeMask; }
};

OwnedNode<eMark> NewMark(ExprPtr child, int32_t kind);

// Installs the mark factory (family 4); RegisterFenceTemplates calls it.
void RegisterMarkTemplates();
