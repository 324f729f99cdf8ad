// The ruled matrix: a grid whose rows and columns each take their own height and width, whose
// cells are aligned in their row and column by settable rules (on a chosen character too, for
// columns of numbers), and which draws ruling lines, each piece of a grid line in its own style.
// Layout stores every grid line's position in the node, after the cell pointers, so highlighting
// and hit-testing use the laid-out lines.
#pragma once

#include "OverSrcs/eMatrix.h"
#include "OverSrcs/oGraph.h"

#include <cstdint>

// Line styles of the grid-line pieces (two bits each).
inline constexpr uint32_t kGridLineNone = 0;
inline constexpr uint32_t kGridLineSolid = 1;
inline constexpr uint32_t kGridLineDashed = 2;
inline constexpr uint32_t kGridLineDashedToo = 3;
// Only the first eight row lines and column lines can carry a style.
inline constexpr int32_t kStyledGridLines = 8;

// Vertical alignment values (anything else is bottom).
inline constexpr uint8_t kVAlignTop = 0;
inline constexpr uint8_t kVAlignBaseline = 1;
// Horizontal alignment values; 3 and above are the code of the character to align on.
inline constexpr uint8_t kHAlignLeft = 0;
inline constexpr uint8_t kHAlignCentre = 1;
inline constexpr uint8_t kHAlignRight = 2;

class eDxMatrix : public eMatrix {
    KV_NODE_CLONE(eDxMatrix)

    void writeEncoding(oOStream& stream) const override;
    eExpr* getChild(int32_t i) const override;
    ExprPtr detachChild(int32_t i) override;
    eExpr* setChild(int32_t i, ExprPtr node) override;
    void measure() override;
    // Stored line positions scale with the node.
    void rescale() override;
    // The cells, then the styled pieces of the grid lines.
    void draw() override;
    ExprPtr copyOut(const SelectionEntry& entry) const override;
    bool isDxMatrix() const override;
    // The matrix dialog, with the attributes and lines of this grid.
    int32_t change(bool query) override;

    eExpr* getCell(int32_t row, int32_t column) const override;
    ExprPtr detachCell(int32_t row, int32_t column) override;
    eExpr* setCell(int32_t row, int32_t column, ExprPtr node) override;
    // The stored positions of the last layout (0 before the first).
    int32_t columnLineX(int32_t i) const override;
    int32_t rowLineY(int32_t i) const override;
    // As for the plain matrix; the new grid takes this one's attributes and line styles, which
    // stay with the line indices rather than moving with the rows and columns.
    eMatrix* replaceRows(int32_t start, int32_t end, int32_t n) override;
    eMatrix* replaceColumns(int32_t start, int32_t end, int32_t n) override;

    // Style of the piece of row line `line` over column `column`, and of column line `line`
    // beside row `row` (0 outside the styled range).
    uint32_t horizontalStyle(int32_t line, int32_t column) const;
    uint32_t verticalStyle(int32_t row, int32_t line) const;

    // The attributes, in the order the expression encoding carries them.
    uint8_t m_vAlign = kVAlignBaseline; // 0 top, 1 baseline, other bottom
    uint8_t m_hAlign = kHAlignCentre;   // 0 left, 1 centre, 2 right, 3+ a character code
    uint8_t m_separateRows = 0;         // each row keeps its own ascent and descent
    uint8_t m_separateColumns = 0;      // each column keeps its own widths
    uint8_t m_tight = 0;                // no outer margin
    // Word r: row line r; bits 2c and 2c + 1 the piece over column c. The upper 16 bits are
    // carried unchanged and never drawn.
    uint32_t m_hStyles[kStyledGridLines] = {};
    // Word r: beside row r; bits 2c and 2c + 1 the piece of column line c.
    uint32_t m_vStyles[kStyledGridLines] = {};

    // The stored positions: rows + 1 row lines and columns + 1 column lines after the cells.
    int32_t* rowLines();
    const int32_t* rowLines() const;
    int32_t* columnLines();
    const int32_t* columnLines() const;
};

// A ruled matrix with every cell empty. With a model (any ruled matrix) it takes the model's five
// attributes, colour byte and sixteen style words; without one it aligns on baselines and centres,
// with no lines. Null for fewer than one row or column or more than kMaxMatrixCells cells.
OwnedNode<eDxMatrix> NewDxMatrix(int32_t rows, int32_t columns, const eDxMatrix* model);

// Draws one grid-line piece of that style (nothing for style 0) in the port's foreground colour.
void DrawStyledLine(oGraphPort& port, int32_t width, uint32_t style, int32_t x1, int32_t y1,
                    int32_t x2, int32_t y2);
