// Grids: rows × columns cells, each cell a row node, held row-major in the child array (cell (r, c)
// is child columns × r + c). eMatrix is the abstract grid with the cell operations, the grid-line
// geometry and the editing of grid selections; eSimpMatrix is the plain matrix whose lines are
// spaced evenly at layout time.
//
// A grid selection entry is (matrix, start, end, rowStart, rowEnd) over column lines and row
// lines: a block of cells (start < end and rowStart < rowEnd), a caret between rows (rowStart ==
// rowEnd, all columns) or a caret between columns (start == end, all rows).
//
// A one-column grid whose first cell is a ruled row is a pile: it is hit-tested as a stack of
// lines, and the plain matrix of that shape is laid out as a stack.
#pragma once

#include "OverSrcs/eObject.h"

#include <cstdint>

class eMatrix : public eExpr {
    KV_NODE_BLOCKS(eMatrix)
    // Emits the node through the active translator (etGener).
    void generate() override;

    // ---- Overrides of eExpr ----
    // Base init, then every cell slot emptied.
    void init(int32_t count) override;
    // Every cell destroyed and the selections naming the grid dropped.
    void destroy(int32_t flags) override;
    // The abstract grid holds nothing: getChild answers null, setChild logs "MatS".
    eExpr* getChild(int32_t i) const override;
    ExprPtr detachChild(int32_t i) override;
    eExpr* setChild(int32_t i, ExprPtr node) override;
    void measure() override;
    void getHighlightArea(const SelectionEntry& entry) override;
    bool hitClick(oPoint anchor, oPoint point, SelectionEntry& entry) override;
    bool hitDrag(oPoint anchor, oPoint point, SelectionEntry& entry) override;
    // (matrix, 0, columns, 0, rows).
    void selectWhole(SelectionEntry& entry) const override;
    void infoText(int32_t& kind, int32_t& stringId) override;
    // A row holding nothing but a grid is unwrapped; the node then goes into the selected cells.
    void insert(SelectionEntry& entry, ExprPtr node) override;
    // This grid pasted into a selection of `grid`: tiled over the selected block.
    void replaceInMatrix(SelectionEntry& entry, eMatrix* grid) override;
    void keystroke(SelectionEntry& entry) override;
    void backspace(int32_t direction) override;
    // Joins cell `index` onto the cell before it (backspace at the start of a cell).
    void backspaceAt(int32_t index) override;
    // A caret calls the empty callback; the whole grid is traversed as one, a block cell by cell.
    void traverseSel(SelectionEntry& entry, bool split, bool deep, NodeCallback nodeCallback,
                     NodeCallback leafCallback, EmptyCallback emptyCallback) override;
    void selectFirstSlot(SelectionEntry& entry) override;
    void selectNextSlot(SelectionEntry& entry) override;
    void moveLeft(SelectionEntry& entry) override;
    void moveRight(SelectionEntry& entry) override;
    void moveUp(SelectionEntry& entry) override;
    void moveDown(SelectionEntry& entry) override;
    void selectFirst(SelectionEntry& entry) override;
    void selectLast(SelectionEntry& entry) override;
    void selectParts(SelectionEntry& entry) override;
    void selectParent(SelectionEntry& entry) override;
    void selectChild(SelectionEntry& entry) override;
    bool isMatrix() const override;
    // Modify kind 3; the abstract grid has no dialog.
    int32_t change(bool query) override;
    void newLine(int32_t index) override;
    void newField(int32_t index) override;
    bool equal(const eExpr* other, int32_t options) const override;
    void asianKey(int32_t code) override;

    // ---- The grid operations ----
    virtual eExpr* getCell(int32_t row, int32_t column) const;
    virtual ExprPtr detachCell(int32_t row, int32_t column);
    // Destroys the cell already there.
    virtual eExpr* setCell(int32_t row, int32_t column, ExprPtr node);
    // Stacks the cells one under the other; returns the gap between them.
    virtual int32_t layoutPile(int32_t size);
    // Places the cells on an even grid from the largest cell ascent, descent and width.
    virtual void layoutGrid(int32_t ascent, int32_t descent, int32_t width, int32_t size);
    // Column line i (0..columns) and row line i (0..rows), relative to the grid's own origin.
    virtual int32_t columnLineX(int32_t i) const;
    virtual int32_t rowLineY(int32_t i) const;
    // A new grid in which rows (columns) [start, end) are replaced by n empty ones. The kept cells
    // move into it, it takes this grid's place in its parent and its selections, and this grid is
    // destroyed with the cells removed; the caller fills the new cells and goes on with the result.
    virtual eMatrix* replaceRows(int32_t start, int32_t end, int32_t n);
    virtual eMatrix* replaceColumns(int32_t start, int32_t end, int32_t n);

    // ---- Helpers ----
    int32_t rows() const { return m_rows; }
    int32_t columns() const { return m_columns; }
    // One column and a ruled row in its first cell.
    bool isPile() const;
    // Whether the grid stands in a row (logged when not): edits that leave the grid need one.
    bool inParentRow() const;

    int32_t m_columns = 0;
    int32_t m_rows = 0;

protected:
    // Hit-testing shared by hitClick and hitDrag.
    bool hit(oPoint anchor, oPoint point, SelectionEntry& entry, bool drag);
    // The cell operations of the grids that hold their cells in the child slots, row-major. Out of
    // range a cell is null, and setting it is logged and changes nothing.
    eExpr* slotCell(int32_t row, int32_t column) const;
    ExprPtr detachSlotCell(int32_t row, int32_t column);
    eExpr* setSlotCell(int32_t row, int32_t column, ExprPtr node);
    // After the cells are placed and the zone set: the axis (the middle row's, or midway between
    // the two middle rows), the last baseline (the last row's), the flags and the size.
    void finishLayout(int32_t size);
};

// ---- The plain matrix ---------------------------------------------------------------------------

class eSimpMatrix : public eMatrix {
    KV_NODE_CLONE(eSimpMatrix)

    void writeEncoding(oOStream& stream) const override;
    eExpr* getChild(int32_t i) const override;
    ExprPtr detachChild(int32_t i) override;
    eExpr* setChild(int32_t i, ExprPtr node) override;
    ExprPtr copyOut(const SelectionEntry& entry) const override;
    // The matrix dialog: size, alignments and lines; the grid is rebuilt.
    int32_t change(bool query) override;

    eExpr* getCell(int32_t row, int32_t column) const override;
    ExprPtr detachCell(int32_t row, int32_t column) override;
    eExpr* setCell(int32_t row, int32_t column, ExprPtr node) override;
    eMatrix* replaceRows(int32_t start, int32_t end, int32_t n) override;
    eMatrix* replaceColumns(int32_t start, int32_t end, int32_t n) override;
};

// The largest number of cells a grid may have (the expression reader's limit too).
inline constexpr int32_t kMaxMatrixCells = 32000;

// A plain matrix with every cell empty, for the caller to fill. Rows and columns must be at least 1
// and their product at most kMaxMatrixCells; anything else gives null.
OwnedNode<eSimpMatrix> NewSimpMatrix(int32_t rows, int32_t columns);
// The same with a new placeholder row in every cell.
OwnedNode<eSimpMatrix> NewPlaceholderMatrix(int32_t rows, int32_t columns);

// When the grid is down to one cell, that cell's items take the grid's place in the parent row
// and the caret goes there (one further on with `after`); true when it did.
bool CollapseSingleCell(eMatrix* grid, bool after);

// Fills cell by cell the new grid made by replaceRows/replaceColumns of `old`: every kept cell is
// detached from `old`, taken out of any alignment ring reaching outside it, and set at its new
// place. Used by the grid classes' own replaceRows and replaceColumns.
void MoveCellsIntoGrid(eMatrix* old, eMatrix* fresh, bool byRows, int32_t start, int32_t end,
                       int32_t n);
// The last steps of replaceRows/replaceColumns: selections retargeted, the new grid put in the old
// one's place (or the old one destroyed when it has no parent). Returns the new grid.
eMatrix* PutGridInPlace(eMatrix* old, OwnedNode<eMatrix> fresh);
