#include "OverSrcs/eDxMatrix.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/WhereChr.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eModelHooks.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

// ---- Factory
// -------------------------------------------------------------------------------------

OwnedNode<eDxMatrix> NewDxMatrix(int32_t rows, int32_t columns, const eDxMatrix* model) {
    if (rows < 1 || columns < 1 || rows > kMaxMatrixCells / columns) {
        KV_ASSERT_FAILED("NewDxMatrix size");
        return OwnedNode<eDxMatrix>();
    }
    const int32_t cells = rows * columns;
    const size_t bytes = static_cast<size_t>(cells) * sizeof(eExpr*) +
                         static_cast<size_t>(rows + 1 + columns + 1) * sizeof(int32_t);
    OwnedNode<eDxMatrix> grid(NewNodeBlock<eDxMatrix>(bytes));
    grid->resetFields();
    grid->init(cells);
    grid->m_columns = columns;
    grid->m_rows = rows;
    if (model != nullptr) {
        grid->m_vAlign = model->m_vAlign;
        grid->m_hAlign = model->m_hAlign;
        grid->m_separateRows = model->m_separateRows;
        grid->m_separateColumns = model->m_separateColumns;
        grid->m_tight = model->m_tight;
        grid->m_colour = model->m_colour;
        std::memcpy(grid->m_hStyles, model->m_hStyles, sizeof grid->m_hStyles);
        std::memcpy(grid->m_vStyles, model->m_vStyles, sizeof grid->m_vStyles);
    } else {
        grid->m_vAlign = kVAlignBaseline;
        grid->m_hAlign = kHAlignCentre;
        grid->m_separateRows = 0;
        grid->m_separateColumns = 0;
        grid->m_tight = 0;
        std::memset(grid->m_hStyles, 0, sizeof grid->m_hStyles);
        std::memset(grid->m_vStyles, 0, sizeof grid->m_vStyles);
    }
    return grid;
}

// ---- Storage
// -------------------------------------------------------------------------------------

int32_t* eDxMatrix::rowLines() {
    return reinterpret_cast<int32_t*>(trailing() + static_cast<size_t>(m_count) * sizeof(eExpr*));
}
const int32_t* eDxMatrix::rowLines() const {
    return reinterpret_cast<const int32_t*>(trailing() +
                                            static_cast<size_t>(m_count) * sizeof(eExpr*));
}
int32_t* eDxMatrix::columnLines() {
    return rowLines() + m_rows + 1;
}
const int32_t* eDxMatrix::columnLines() const {
    return rowLines() + m_rows + 1;
}

eExpr* eDxMatrix::getChild(int32_t i) const {
    return slotGet(i);
}

ExprPtr eDxMatrix::detachChild(int32_t i) {
    return slotDetach(i);
}

eExpr* eDxMatrix::setChild(int32_t i, ExprPtr node) {
    return slotSet(i, std::move(node));
}

eExpr* eDxMatrix::getCell(int32_t row, int32_t column) const {
    return slotCell(row, column);
}

ExprPtr eDxMatrix::detachCell(int32_t row, int32_t column) {
    return detachSlotCell(row, column);
}

eExpr* eDxMatrix::setCell(int32_t row, int32_t column, ExprPtr node) {
    return setSlotCell(row, column, std::move(node));
}

int32_t eDxMatrix::columnLineX(int32_t i) const {
    return columnLines()[std::clamp(i, 0, m_columns)];
}

int32_t eDxMatrix::rowLineY(int32_t i) const {
    return rowLines()[std::clamp(i, 0, m_rows)];
}

bool eDxMatrix::isDxMatrix() const {
    return true;
}

uint32_t eDxMatrix::horizontalStyle(int32_t line, int32_t column) const {
    if (line < 0 || line >= kStyledGridLines || column < 0 || column >= kStyledGridLines)
        return kGridLineNone;
    return (m_hStyles[line] >> (2 * column)) & 3u;
}

uint32_t eDxMatrix::verticalStyle(int32_t row, int32_t line) const {
    if (row < 0 || row >= kStyledGridLines || line < 0 || line >= kStyledGridLines)
        return kGridLineNone;
    return (m_vStyles[row] >> (2 * line)) & 3u;
}

// ---- Layout
// --------------------------------------------------------------------------------------

namespace {

// The part of a cell left of its alignment point.
int32_t leftPart(eExpr* cell, uint8_t align) {
    if (align < 3)
        return (align * cell->width()) / 2;
    return WhereCharOrCentre(cell, align);
}

} // namespace

void eDxMatrix::measure() {
    for (int32_t i = 0; i < m_count; ++i)
        LayOutChild(getChild(i));
    // Per row: ascent, descent, margin; per column: left part, right part, margin. Small grids
    // (the usual case) keep them on the stack.
    constexpr int32_t kStackLines = 16;
    int32_t onStack[3 * kStackLines] = {};
    std::vector<int32_t> onHeap;
    int32_t* scratch = onStack;
    if (m_rows + m_columns > kStackLines) {
        onHeap.assign(static_cast<size_t>(3) * static_cast<size_t>(m_rows + m_columns), 0);
        scratch = onHeap.data();
    }
    int32_t* rowAsc = scratch;
    int32_t* rowDesc = rowAsc + m_rows;
    int32_t* rowMargin = rowDesc + m_rows;
    int32_t* colLeft = rowMargin + m_rows;
    int32_t* colRight = colLeft + m_columns;
    int32_t* colMargin = colRight + m_columns;
    int32_t maxAsc = 0, maxDesc = 0, maxLeft = 0, maxRight = 0;
    int32_t size = DrawState.magnifyFactor * MinimumCharacterSize();
    for (int32_t r = 0; r < m_rows; ++r) {
        for (int32_t c = 0; c < m_columns; ++c) {
            eExpr* cell = getCell(r, c);
            if (cell == nullptr)
                continue;
            const int32_t asc = cell->m_zone.ref1;
            const int32_t desc = cell->height() - asc;
            const int32_t left = leftPart(cell, m_hAlign);
            const int32_t right = cell->width() - left;
            rowAsc[r] = std::max(rowAsc[r], asc);
            rowDesc[r] = std::max(rowDesc[r], desc);
            colLeft[c] = std::max(colLeft[c], left);
            colRight[c] = std::max(colRight[c], right);
            maxAsc = std::max(maxAsc, asc);
            maxDesc = std::max(maxDesc, desc);
            maxLeft = std::max(maxLeft, left);
            maxRight = std::max(maxRight, right);
            size = std::max(size, cell->m_size);
        }
    }
    const int32_t t = std::max(1, size / 32);
    const int32_t e = size / 8;
    const bool tight = m_tight != 0;

    int32_t* rowLine = rowLines();
    int32_t y = 0;
    for (int32_t r = 0; r < m_rows; ++r) {
        rowLine[r] = y;
        if (m_separateRows == 0) {
            rowAsc[r] = maxAsc;
            rowDesc[r] = maxDesc;
        }
        const int32_t above = rowAsc[r] + (tight && r == 0 ? 0 : e);
        const int32_t below = rowDesc[r] + (tight && r == m_rows - 1 ? 0 : e);
        rowMargin[r] = above + below - rowAsc[r] - rowDesc[r];
        y += t + above + below;
    }
    rowLine[m_rows] = y;

    int32_t* columnLine = columnLines();
    int32_t x = 0;
    for (int32_t c = 0; c < m_columns; ++c) {
        columnLine[c] = x;
        if (m_separateColumns == 0) {
            colLeft[c] = maxLeft;
            colRight[c] = maxRight;
        }
        const int32_t left = colLeft[c] + (tight && c == 0 ? 0 : e);
        const int32_t right = colRight[c] + (tight && c == m_columns - 1 ? 0 : e);
        colMargin[c] = left + right - colLeft[c] - colRight[c];
        x += t + left + right;
    }
    columnLine[m_columns] = x;

    for (int32_t r = 0; r < m_rows; ++r) {
        for (int32_t c = 0; c < m_columns; ++c) {
            eExpr* cell = getCell(r, c);
            if (cell == nullptr)
                continue;
            // h is twice the room left of the cell inside its column's parts.
            const int32_t h = m_hAlign < 3 ? (colLeft[c] + colRight[c] - cell->width()) * m_hAlign
                                           : 2 * (colLeft[c] - WhereCharOrCentre(cell, m_hAlign));
            // Tight: the first column has no margin on its left, the last all of it there.
            int32_t p = colMargin[c];
            if (tight && c == 0)
                p = 0;
            else if (tight && c == m_columns - 1)
                p = 2 * colMargin[c];
            int32_t q = rowMargin[r] / 2;
            if (tight && r == 0)
                q = 0;
            else if (tight && r == m_rows - 1)
                q = rowMargin[r];
            int32_t cy = rowLine[r] + t + q;
            if (m_vAlign == kVAlignBaseline)
                cy += rowAsc[r] - cell->m_zone.ref1;
            else if (m_vAlign != kVAlignTop)
                cy += rowAsc[r] + rowDesc[r] - cell->height();
            PlaceNodeRect(cell, columnLine[c] + t + (h + p) / 2, cy);
        }
    }
    m_zone.left = 0;
    m_zone.top = 0;
    m_zone.right = columnLine[m_columns] + t;
    m_zone.bottom = rowLine[m_rows] + t;
    finishLayout(size);
}

void eDxMatrix::rescale() {
    int32_t* lines = rowLines();
    for (int32_t i = 0; i < m_rows + 1 + m_columns + 1; ++i)
        lines[i] = RescaleValue(lines[i]);
    eMatrix::rescale();
}

// ---- Drawing
// -------------------------------------------------------------------------------------

void DrawStyledLine(oGraphPort& port, int32_t width, uint32_t style, int32_t x1, int32_t y1,
                    int32_t x2, int32_t y2) {
    if (style == kGridLineNone)
        return;
    const Color colour = port.foreColor();
    port.startDeluxeLine(width, colour, style == kGridLineSolid ? kLineSolid : 1, kDrawPaint);
    port.moveTo(x1, y1);
    port.lineTo(x2, y2);
    port.endLine();
}

void eDxMatrix::draw() {
    eMatrix::draw();
    if (DrawState.drawPort == nullptr)
        return;
    oGraphPort& port = *DrawState.drawPort;
    const int32_t w = std::max(1, m_size / 32);
    const Zone abs = DrawState.absZone;
    // Grids of eight or more rows or columns have no styled bottom or right edge.
    const int32_t rowLinesDrawn = std::min(m_rows + 1, kStyledGridLines);
    const int32_t columnLinesDrawn = std::min(m_columns + 1, kStyledGridLines);
    for (int32_t r = 0; r < rowLinesDrawn; ++r) {
        for (int32_t c = 0; c < columnLinesDrawn; ++c) {
            const int32_t x = abs.left + columnLineX(c);
            const int32_t y = abs.top + rowLineY(r);
            if (r < m_rows)
                DrawStyledLine(port, w, verticalStyle(r, c), x, y, x, abs.top + rowLineY(r + 1));
            if (c < m_columns)
                DrawStyledLine(port, w, horizontalStyle(r, c), x, y, abs.left + columnLineX(c + 1),
                               y);
        }
    }
}

// ---- Edits
// ---------------------------------------------------------------------------------------

ExprPtr eDxMatrix::copyOut(const SelectionEntry& entry) const {
    const int32_t start = std::clamp(std::min(entry.start, entry.end), 0, m_columns);
    const int32_t end = std::clamp(std::max(entry.start, entry.end), 0, m_columns);
    const int32_t rowStart = std::clamp(std::min(entry.rowStart, entry.rowEnd), 0, m_rows);
    const int32_t rowEnd = std::clamp(std::max(entry.rowStart, entry.rowEnd), 0, m_rows);
    if (start >= end || rowStart >= rowEnd)
        return ExprPtr();
    OwnedNode<eDxMatrix> copy = NewDxMatrix(rowEnd - rowStart, end - start, this);
    for (int32_t r = rowStart; r < rowEnd; ++r)
        for (int32_t c = start; c < end; ++c)
            if (const eExpr* cell = getCell(r, c))
                copy->setCell(r - rowStart, c - start, cell->deepCopy());
    return copy;
}

eMatrix* eDxMatrix::replaceRows(int32_t start, int32_t end, int32_t n) {
    start = std::clamp(start, 0, m_rows);
    end = std::clamp(end, start, m_rows);
    n = std::max(n, 0);
    OwnedNode<eDxMatrix> fresh = NewDxMatrix(m_rows - (end - start) + n, m_columns, this);
    if (!fresh)
        return this;
    fresh->m_nudgeX = m_nudgeX;
    fresh->m_nudgeY = m_nudgeY;
    MoveCellsIntoGrid(this, fresh.get(), true, start, end, n);
    return PutGridInPlace(this, std::move(fresh));
}

eMatrix* eDxMatrix::replaceColumns(int32_t start, int32_t end, int32_t n) {
    start = std::clamp(start, 0, m_columns);
    end = std::clamp(end, start, m_columns);
    n = std::max(n, 0);
    OwnedNode<eDxMatrix> fresh = NewDxMatrix(m_rows, m_columns - (end - start) + n, this);
    if (!fresh)
        return this;
    fresh->m_nudgeX = m_nudgeX;
    fresh->m_nudgeY = m_nudgeY;
    MoveCellsIntoGrid(this, fresh.get(), false, start, end, n);
    return PutGridInPlace(this, std::move(fresh));
}
