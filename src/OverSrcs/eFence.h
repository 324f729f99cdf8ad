// A pair of stretchy delimiters around one child: parentheses, braces, angle brackets, bars and
// the square-bracket family. The two sides are chosen independently (either may be none). A
// vertical fence stands left and right of its child and stretches to its height; a horizontal one
// (over- and under-braces) lies above and below it and stretches to its width. The horizontal form
// is the vertical one turned a quarter: one layout and one set of strokes serve both, through a
// drawing helper that exchanges x and y. Delimiters are drawn with lines and horns, never glyphs,
// so they stretch to any size.
#pragma once

#include "OverSrcs/eTempl.h"

#include <cstdint>

// Kind field of a fence: bits 0-3 the closing side's delimiter type, bits 4-7 the opening side's,
// bit 8 horizontal.
inline constexpr int32_t kFenceHorizontal = 0x100;

// Delimiter types.
inline constexpr int32_t kDelimNone = 0;
inline constexpr int32_t kDelimParen = 1;
inline constexpr int32_t kDelimBrace = 2;
inline constexpr int32_t kDelimAngle = 3;
inline constexpr int32_t kDelimBar = 4;
inline constexpr int32_t kDelimFloor = 5;   // serif at the bottom only
inline constexpr int32_t kDelimCeiling = 6; // serif at the top only
inline constexpr int32_t kDelimSquare = 7;
inline constexpr int32_t kDelimWhiteSquare = 8;
inline constexpr int32_t kDelimReversedSquare = 9; // serifs point away from the child
inline constexpr int32_t kDelimDoubleBar = 10;

constexpr int32_t FenceKind(int32_t opening, int32_t closing, bool horizontal = false) {
    return ((opening & 15) << 4) | (closing & 15) | (horizontal ? kFenceHorizontal : 0);
}

// While a parenthesis (1) or a brace (2) is drawn with straight middle segments, this says so to
// ports that shape their moves and horns differently for them; 0 at every other time.
extern int32_t FenceHornMode;
// Set by the PostScript port while a PostScript document is being written: the white square
// bracket then draws its serifs at full weight.
extern uint8_t PostScriptDocumentOpen;

class eFence : public eTemplate {
    KV_NODE_CLONE(eFence)
    // Emits the node through the active translator (etGener).
    void generate() override;

    void measure() override;
    void draw() override;
    // The Modify kind in query mode; the dialog itself is run by the Modify command.
    int32_t change(bool query) override;
    bool getTemplateCode(int32_t& code) const override;

    bool isHorizontal() const { return (m_kind & kFenceHorizontal) != 0; }
    int32_t openingType() const { return (m_kind >> 4) & 15; }
    int32_t closingType() const { return m_kind & 15; }
};

// A fence of that kind around the child (which may be null: an empty slot).
OwnedNode<eFence> NewFence(ExprPtr child, int32_t kind);

// Width across the stretch direction of a delimiter of that type stretched to `length`, for a
// child of that size. Types outside 0-10 reserve a square bracket's width.
int32_t FenceDelimiterWidth(int32_t type, int32_t length, int32_t size);

// Installs the factories of fences (families 1 and 9), integrals (2) and embellishment marks (4)
// so that NewTemplateFromCode makes them. Start-up calls it once; calling it again is harmless.
void RegisterFenceTemplates();
