#include "OverSrcs/eMatrix.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/eClick.h"
#include "OverSrcs/eFactory.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eString.h"

#include <algorithm>
#include <utility>

namespace {

// The guide gap and half gap: the structure display leaves room for the cell outlines.
int32_t guideGap() {
    return DrawState.inset;
}
int32_t halfGuideGap() {
    return DrawState.outlineWidth;
}

// An entry with its ranges in order and inside the grid.
SelectionEntry ordered(const SelectionEntry& entry, const eMatrix& grid) {
    SelectionEntry e = entry;
    e.start = std::clamp(std::min(entry.start, entry.end), 0, grid.m_columns);
    e.end = std::clamp(std::max(entry.start, entry.end), 0, grid.m_columns);
    e.rowStart = std::clamp(std::min(entry.rowStart, entry.rowEnd), 0, grid.m_rows);
    e.rowEnd = std::clamp(std::max(entry.rowStart, entry.rowEnd), 0, grid.m_rows);
    return e;
}

bool spansAllRows(const SelectionEntry& e, const eMatrix& grid) {
    return e.rowStart == 0 && e.rowEnd == grid.m_rows;
}
bool spansAllColumns(const SelectionEntry& e, const eMatrix& grid) {
    return e.start == 0 && e.end == grid.m_columns;
}

Zone zoneOf(const eExpr* node) {
    return node != nullptr ? node->m_zone : Zone{};
}

eString* asRow(eExpr* node) {
    return node != nullptr && node->isString() ? static_cast<eString*>(node) : nullptr;
}

void addEntry(const SelectionEntry& entry) {
    HookSetSelection(entry);
}

} // namespace

// ---- Factories ---------------------------------------------------------------------------------

OwnedNode<eSimpMatrix> NewSimpMatrix(int32_t rows, int32_t columns) {
    if (rows < 1 || columns < 1 || rows > kMaxMatrixCells / columns) {
        KV_ASSERT_FAILED("NewSimpMatrix size");
        return OwnedNode<eSimpMatrix>();
    }
    const int32_t cells = rows * columns;
    OwnedNode<eSimpMatrix> grid(
        NewNodeBlock<eSimpMatrix>(static_cast<size_t>(cells) * sizeof(eExpr*)));
    grid->resetFields();
    grid->init(cells);
    grid->m_columns = columns;
    grid->m_rows = rows;
    return grid;
}

OwnedNode<eSimpMatrix> NewPlaceholderMatrix(int32_t rows, int32_t columns) {
    OwnedNode<eSimpMatrix> grid = NewSimpMatrix(rows, columns);
    if (!grid)
        return grid;
    for (int32_t i = 0; i < grid->childCount(); ++i)
        grid->setChild(i, NewPlaceholder(0, true));
    return grid;
}

// ---- The abstract grid: children
// ----------------------------------------------------------------

void eMatrix::init(int32_t count) {
    eExpr::init(count);
    slotsClear();
}

void eMatrix::destroy(int32_t flags) {
    for (int32_t i = 0; i < m_count; ++i)
        (void)detachChild(i);
    HookRetargetSelections(this, nullptr);
    eExpr::destroy(flags);
}

eExpr* eMatrix::getChild(int32_t) const {
    return nullptr;
}

ExprPtr eMatrix::detachChild(int32_t) {
    return ExprPtr();
}

eExpr* eMatrix::setChild(int32_t, ExprPtr) {
    KV_ASSERT_FAILED("MatS");
    return nullptr;
}

eExpr* eMatrix::getCell(int32_t, int32_t) const {
    return nullptr;
}

ExprPtr eMatrix::detachCell(int32_t, int32_t) {
    return ExprPtr();
}

eExpr* eMatrix::setCell(int32_t, int32_t, ExprPtr) {
    KV_ASSERT_FAILED("MatSM");
    return nullptr;
}

eMatrix* eMatrix::replaceRows(int32_t, int32_t, int32_t) {
    KV_ASSERT_FAILED("eMatrix::replaceRows");
    return this;
}

eMatrix* eMatrix::replaceColumns(int32_t, int32_t, int32_t) {
    KV_ASSERT_FAILED("eMatrix::replaceColumns");
    return this;
}

bool eMatrix::isMatrix() const {
    return true;
}

bool eMatrix::isPile() const {
    const eExpr* first = m_count > 0 ? getChild(0) : nullptr;
    return m_columns == 1 && first != nullptr && first->isDxString();
}

void eMatrix::selectWhole(SelectionEntry& entry) const {
    entry = {const_cast<eMatrix*>(this), 0, m_columns, 0, m_rows};
}

void eMatrix::infoText(int32_t& kind, int32_t& stringId) {
    kind = 4;
    stringId = 391;
}

// ---- Layout
// --------------------------------------------------------------------------------------

void eMatrix::measure() {
    int32_t ascent = 0;
    int32_t descent = 0;
    int32_t width = 0;
    int32_t size = DrawState.magnifyFactor * MinimumCharacterSize();
    for (int32_t i = 0; i < m_count; ++i) {
        eExpr* cell = getChild(i);
        if (cell == nullptr)
            continue;
        LayOutChild(cell);
        ascent = std::max(ascent, cell->m_zone.ref1);
        descent = std::max(descent, cell->height() - cell->m_zone.ref1);
        width = std::max(width, cell->width());
        size = std::max(size, cell->m_size);
    }
    if (isPile()) {
        layoutPile(size);
        m_zone.right = width;
    } else {
        layoutGrid(ascent, descent, width, size);
    }
    finishLayout(size);
}

void eMatrix::finishLayout(int32_t size) {
    // The grid sits on its middle row, or on the line between the two middle rows.
    if (m_rows % 2 != 0) {
        const Zone middle = zoneOf(getCell(m_rows / 2, 0));
        m_zone.ref1 = middle.top + middle.ref1;
    } else {
        const Zone above = zoneOf(getCell(m_rows / 2 - 1, 0));
        const Zone below = zoneOf(getCell(m_rows / 2, 0));
        m_zone.ref1 = (above.bottom + below.top) / 2;
    }
    const Zone last = zoneOf(getCell(m_rows - 1, 0));
    m_zone.ref2 = last.top + last.ref2;
    m_flags |= kNodeLaidOut | kNodePlaced;
    m_size = size;
    if (m_count > 0)
        HookCheckUserAbort();
}

void eMatrix::layoutGrid(int32_t ascent, int32_t descent, int32_t width, int32_t size) {
    const int32_t G = guideGap();
    const int32_t H = halfGuideGap();
    const int32_t e = size / 8;
    const int32_t t = std::max(1, size / 32);
    // The line thickness is shared between the rows above and below it, the odd unit below.
    const int32_t a = ascent + e + t / 2 + H;
    const int32_t d = descent + e + (t + 1) / 2 + H;
    const int32_t w = width + size / 4 + t + G;
    const int32_t pitch = a + d;
    for (int32_t r = 0; r < m_rows; ++r) {
        for (int32_t c = 0; c < m_columns; ++c) {
            eExpr* cell = getCell(r, c);
            if (cell == nullptr)
                continue;
            PlaceNodeRect(cell, c * w + (w - cell->width()) / 2 + H,
                          r * pitch + a + H - cell->m_zone.ref1);
        }
    }
    m_zone.left = 0;
    m_zone.top = 0;
    m_zone.right = m_columns * w + G;
    m_zone.bottom = m_rows * pitch + G;
}

int32_t eMatrix::layoutPile(int32_t size) {
    const int32_t gap = size / 8 + guideGap();
    int32_t y = 0;
    for (int32_t r = 0; r < m_rows; ++r) {
        eExpr* line = getCell(r, 0);
        if (line == nullptr)
            continue;
        PlaceNodeRect(line, 0, y);
        y = line->m_zone.bottom + gap;
    }
    m_zone.left = 0;
    m_zone.top = 0;
    m_zone.bottom = y - gap;
    return gap;
}

int32_t eMatrix::columnLineX(int32_t i) const {
    if (m_columns < 1)
        return 0;
    return ((m_zone.right - m_zone.left - guideGap()) * i) / m_columns + halfGuideGap();
}

int32_t eMatrix::rowLineY(int32_t i) const {
    if (m_rows < 1)
        return 0;
    if (isPile()) {
        // Between two lines of a pile the line lies midway through the gap. Positions are relative
        // to the grid, like the cells' zones.
        if (i <= 0)
            return 0;
        if (i >= m_rows)
            return height();
        return (zoneOf(getCell(i - 1, 0)).bottom + zoneOf(getCell(i, 0)).top) / 2;
    }
    return ((m_zone.bottom - m_zone.top - guideGap()) * i) / m_rows + halfGuideGap();
}

// ---- Highlight and hits
// ---------------------------------------------------------------------------

void eMatrix::getHighlightArea(const SelectionEntry& entry) {
    const SelectionEntry e = ordered(entry, *this);
    Zone& z = DrawState.absZone;
    const int32_t left = z.left;
    const int32_t top = z.top;
    z.left = left + columnLineX(e.start);
    z.right = left + columnLineX(e.end);
    z.top = top + rowLineY(e.rowStart);
    z.bottom = top + rowLineY(e.rowEnd);
}

bool eMatrix::hit(oPoint anchor, oPoint point, SelectionEntry& entry, bool drag) {
    for (int32_t i = 0; i < m_count; ++i) {
        eExpr* cell = getChild(i);
        if (drag ? HitDragChild(cell, anchor, point, entry)
                 : HitClickChild(cell, anchor, point, entry))
            return true;
    }
    if (WholeRowClickOption != 0) {
        // A double click on the grid itself takes every cell, never the grid as one item.
        entry = {this, 0, m_columns, 0, m_rows};
        return true;
    }
    const Zone abs = DrawState.absZone;
    // A point in the last quarter of a row counts as past its line, beyond the first quarter as
    // inside the row; the same across the columns.
    auto lines = [](int32_t origin, int32_t count, int32_t lo, int32_t hi, auto lineAt,
                    int32_t& first, int32_t& last) {
        first = 0;
        last = 0;
        int32_t prev = origin;
        for (int32_t k = 0; k <= count; ++k) {
            const int32_t L = origin + lineAt(k);
            if ((prev + 3 * L) / 4 < lo)
                first = k;
            if ((L + 3 * prev) / 4 < hi)
                last = k;
            prev = L;
        }
    };
    int32_t rowStart = 0;
    int32_t rowEnd = 0;
    int32_t start = 0;
    int32_t end = 0;
    lines(
        abs.top, m_rows, std::min(anchor.y, point.y), std::max(anchor.y, point.y),
        [this](int32_t k) { return rowLineY(k); }, rowStart, rowEnd);
    lines(
        abs.left, m_columns, std::min(anchor.x, point.x), std::max(anchor.x, point.x),
        [this](int32_t k) { return columnLineX(k); }, start, end);
    if (start == 0 && end == m_columns && rowStart == 0 && rowEnd == m_rows &&
        m_parent != nullptr) {
        entry = {m_parent, m_index, m_index + 1, 0, 0};
        return true;
    }
    if (end - start == 1 && rowEnd - rowStart == 1) {
        if (eExpr* cell = getCell(rowStart, start)) {
            entry = {cell, 0, cell->childCount(), 0, 0};
            return true;
        }
    }
    if (start == end) {
        if (isPile()) {
            if (rowStart < rowEnd) {
                if (start == 0)
                    rowEnd -= 1;
                else
                    rowStart += 1;
            }
            start = 0;
            end = 1;
        } else {
            // A caret between columns runs the whole height.
            rowStart = 0;
            rowEnd = m_rows;
        }
    }
    if (rowStart == rowEnd) {
        // A caret between rows runs the whole width.
        start = 0;
        end = m_columns;
    }
    entry = {this, start, end, rowStart, rowEnd};
    return true;
}

bool eMatrix::hitClick(oPoint anchor, oPoint point, SelectionEntry& entry) {
    return hit(anchor, point, entry, false);
}

bool eMatrix::hitDrag(oPoint anchor, oPoint point, SelectionEntry& entry) {
    return hit(anchor, point, entry, true);
}

// ---- Rebuilding with other rows or columns
// ---------------------------------------------------------

void MoveCellsIntoGrid(eMatrix* old, eMatrix* fresh, bool byRows, int32_t start, int32_t end,
                       int32_t n) {
    const int32_t shift = n - (end - start);
    for (int32_t r = 0; r < old->m_rows; ++r) {
        for (int32_t c = 0; c < old->m_columns; ++c) {
            const int32_t k = byRows ? r : c;
            if (k >= start && k < end)
                continue; // removed: destroyed with the old grid
            const int32_t moved = k < start ? k : k + shift;
            ExprPtr cell = old->detachCell(r, c);
            if (!cell)
                continue;
            // The cell leaves any alignment ring reaching outside it.
            cell->unlinkOutside(cell.get(), true);
            if (byRows)
                fresh->setCell(moved, c, std::move(cell));
            else
                fresh->setCell(r, moved, std::move(cell));
        }
    }
}

eMatrix* PutGridInPlace(eMatrix* old, OwnedNode<eMatrix> fresh) {
    eMatrix* result = fresh.get();
    HookRetargetSelections(old, result);
    if (old->m_parent != nullptr) {
        // Destroys the old grid with whatever cells were removed.
        old->m_parent->setChild(old->m_index, std::move(fresh));
    } else {
        (void)fresh.release();
        old->destroy(kDestroyFree);
    }
    return result;
}

namespace {

// The new size of a dimension after [start, end) is replaced by n; the arguments are put in
// range first. False when no grid of at least one row and column within the cell limit results.
bool resized(int32_t count, int32_t other, int32_t& start, int32_t& end, int32_t& n,
             int32_t& result) {
    start = std::clamp(start, 0, count);
    end = std::clamp(end, start, count);
    n = std::max(n, 0);
    result = count - (end - start) + n;
    return result >= 1 && result <= kMaxMatrixCells / std::max(other, 1);
}

} // namespace

eExpr* eMatrix::slotCell(int32_t row, int32_t column) const {
    if (row < 0 || row >= m_rows || column < 0 || column >= m_columns)
        return nullptr;
    return slotGet(m_columns * row + column);
}

ExprPtr eMatrix::detachSlotCell(int32_t row, int32_t column) {
    if (row < 0 || row >= m_rows || column < 0 || column >= m_columns)
        return ExprPtr();
    return slotDetach(m_columns * row + column);
}

eExpr* eMatrix::setSlotCell(int32_t row, int32_t column, ExprPtr node) {
    if (row < 0 || row >= m_rows || column < 0 || column >= m_columns) {
        KV_ASSERT_FAILED("MatSM range");
        return nullptr;
    }
    return slotSet(m_columns * row + column, std::move(node));
}

// ---- The plain matrix ---------------------------------------------------------------------------

eExpr* eSimpMatrix::getChild(int32_t i) const {
    return slotGet(i);
}

ExprPtr eSimpMatrix::detachChild(int32_t i) {
    return slotDetach(i);
}

eExpr* eSimpMatrix::setChild(int32_t i, ExprPtr node) {
    return slotSet(i, std::move(node));
}

eExpr* eSimpMatrix::getCell(int32_t row, int32_t column) const {
    return slotCell(row, column);
}

ExprPtr eSimpMatrix::detachCell(int32_t row, int32_t column) {
    return detachSlotCell(row, column);
}

eExpr* eSimpMatrix::setCell(int32_t row, int32_t column, ExprPtr node) {
    return setSlotCell(row, column, std::move(node));
}

ExprPtr eSimpMatrix::copyOut(const SelectionEntry& entry) const {
    const SelectionEntry e = ordered(entry, *this);
    if (e.start >= e.end || e.rowStart >= e.rowEnd)
        return ExprPtr();
    OwnedNode<eSimpMatrix> copy = NewSimpMatrix(e.rowEnd - e.rowStart, e.end - e.start);
    copy->m_colour = m_colour;
    for (int32_t r = e.rowStart; r < e.rowEnd; ++r)
        for (int32_t c = e.start; c < e.end; ++c)
            if (const eExpr* cell = getCell(r, c))
                copy->setCell(r - e.rowStart, c - e.start, cell->deepCopy());
    return copy;
}

eMatrix* eSimpMatrix::replaceRows(int32_t start, int32_t end, int32_t n) {
    int32_t rows = 0;
    if (!resized(m_rows, m_columns, start, end, n, rows)) {
        KV_ASSERT_FAILED("eSimpMatrix::replaceRows size");
        return this;
    }
    OwnedNode<eSimpMatrix> fresh = NewSimpMatrix(rows, m_columns);
    fresh->m_colour = m_colour;
    fresh->m_nudgeX = m_nudgeX;
    fresh->m_nudgeY = m_nudgeY;
    MoveCellsIntoGrid(this, fresh.get(), true, start, end, n);
    return PutGridInPlace(this, std::move(fresh));
}

eMatrix* eSimpMatrix::replaceColumns(int32_t start, int32_t end, int32_t n) {
    int32_t columns = 0;
    if (!resized(m_columns, m_rows, start, end, n, columns)) {
        KV_ASSERT_FAILED("eSimpMatrix::replaceColumns size");
        return this;
    }
    OwnedNode<eSimpMatrix> fresh = NewSimpMatrix(m_rows, columns);
    fresh->m_colour = m_colour;
    fresh->m_nudgeX = m_nudgeX;
    fresh->m_nudgeY = m_nudgeY;
    MoveCellsIntoGrid(this, fresh.get(), false, start, end, n);
    return PutGridInPlace(this, std::move(fresh));
}

// ---- Putting things into a grid selection
// ----------------------------------------------------------

bool eMatrix::inParentRow() const {
    if (m_parent != nullptr && m_parent->isString())
        return true;
    KV_ASSERT_FAILED("eMatrix outside a row");
    return false;
}

void eMatrix::insert(SelectionEntry& entry, ExprPtr node) {
    if (!node)
        return;
    if (node->isString() && node->childCount() == 1 && node->getChild(0) != nullptr &&
        node->getChild(0)->isMatrix()) {
        // A row holding nothing but a grid: the grid itself is pasted.
        ExprPtr inner = node->detachChild(0);
        node.reset();
        node = std::move(inner);
    }
    node.release()->replaceInMatrix(entry, this);
}

void eExpr::replaceInMatrix(SelectionEntry& entry, eMatrix* grid) {
    ExprPtr self(this);
    if (grid == nullptr)
        return;
    if (!isString()) {
        // Any other node goes in as a one-item row.
        OwnedNode<eSimpString> row = NewSimpStringWith(std::move(self));
        row.release()->replaceInMatrix(entry, grid);
        return;
    }
    // A row: its items replace the whole grid, or a copy of it fills every selected cell.
    SelectionEntry e = ordered(entry, *grid);
    if (spansAllRows(e, *grid) && spansAllColumns(e, *grid)) {
        if (!grid->inParentRow())
            return;
        auto* parent = static_cast<eString*>(grid->m_parent);
        const int32_t at = grid->m_index;
        const int32_t k = m_count;
        // The grid is destroyed by the resize; our items take its place.
        eString* target = parent->resizeRange(at, at + 1, k);
        for (int32_t i = 0; i < k; ++i)
            target->setChild(at + i, detachChild(i));
        EditResultEntry = {target, at, at + k, 0, 0};
        return;
    }
    eMatrix* m = grid;
    if (spansAllRows(e, *grid)) {
        m = grid->replaceColumns(e.start, e.end, 1);
        e.end = e.start + 1;
    } else if (spansAllColumns(e, *grid)) {
        m = grid->replaceRows(e.rowStart, e.rowEnd, 1);
        e.rowEnd = e.rowStart + 1;
    }
    for (int32_t r = e.rowStart; r < e.rowEnd; ++r)
        for (int32_t c = e.start; c < e.end; ++c)
            m->setCell(r, c, CopyExpr(this));
    EditResultEntry = {m, e.start, e.end, e.rowStart, e.rowEnd};
}

void eMatrix::replaceInMatrix(SelectionEntry& entry, eMatrix* grid) {
    OwnedNode<eMatrix> self(this);
    if (grid == nullptr)
        return;
    SelectionEntry e = ordered(entry, *grid);
    if (spansAllRows(e, *grid) && spansAllColumns(e, *grid)) {
        if (!grid->inParentRow())
            return;
        eExpr* parent = grid->m_parent;
        const int32_t at = grid->m_index;
        parent->setChild(at, std::move(self));
        EditResultEntry = {parent, at, at + 1, 0, 0};
        return;
    }
    const int32_t R = m_rows;
    const int32_t C = m_columns;
    eMatrix* m = grid;
    if (spansAllRows(e, *grid)) {
        m = grid->replaceColumns(e.start, e.end, C);
        e.end = e.start + C;
    } else if (spansAllColumns(e, *grid)) {
        m = grid->replaceRows(e.rowStart, e.rowEnd, R);
        e.rowEnd = e.rowStart + R;
    }
    // The pasted grid is tiled over the block.
    e = ordered(e, *m);
    for (int32_t r = e.rowStart; r < e.rowEnd; ++r)
        for (int32_t c = e.start; c < e.end; ++c)
            m->setCell(r, c, CopyExpr(getCell((r - e.rowStart) % R, (c - e.start) % C)));
    EditResultEntry = {m, e.start, e.end, e.rowStart, e.rowEnd};
}

// ---- Typing and deleting ------------------------------------------------------------------------

void eMatrix::keystroke(SelectionEntry& entry) {
    if (!inParentRow())
        return;
    SelectionEntry e = ordered(entry, *this);
    eMatrix* m = this;
    auto typedChar = [] {
        FSSRecord style;
        uint8_t colour = 0;
        HookGetTypingFSS(style, colour);
        return NewCharNode(static_cast<unsigned char>(HookCurrentCommandCode() & 0xFF), style,
                           colour);
    };
    if (spansAllRows(e, *this)) {
        eExpr* parent = m_parent;
        const int32_t at = m_index;
        if (spansAllColumns(e, *this)) {
            // The character replaces the whole grid.
            ExprPtr ch = typedChar();
            eExpr* typed = ch.get();
            parent->setChild(at, std::move(ch));
            HookSelectRange(parent, at + 1, at + 1, 0, 0);
            HookFinishEditAt(typed);
            return;
        }
        if (e.start == e.end && (e.start == 0 || e.start == m_columns)) {
            // A caret on the outer edge types into the row beside the grid.
            const int32_t p = e.start == 0 ? at : at + 1;
            entry = {parent, p, p, 0, 0};
            parent->keystroke(entry);
            return;
        }
        // A caret between columns opens a column; selected columns become one.
        m = replaceColumns(e.start, e.end, 1);
        e.end = e.start + 1;
    } else if (spansAllColumns(e, *this)) {
        m = replaceRows(e.rowStart, e.rowEnd, 1);
        e.rowEnd = e.rowStart + 1;
    }
    OwnedNode<eSimpString> typedRow = NewSimpStringWith(typedChar());
    for (int32_t r = e.rowStart; r < e.rowEnd; ++r) {
        for (int32_t c = e.start; c < e.end; ++c) {
            ExprPtr copy = CopyExpr(typedRow.get());
            eExpr* typed = copy->getChild(0);
            m->setCell(r, c, std::move(copy));
            SelectionEntry caret;
            typed->selectInside(caret);
            addEntry(caret);
        }
    }
    HookFinishEditAt(m);
}

bool CollapseSingleCell(eMatrix* grid, bool after) {
    if (grid == nullptr || grid->m_rows != 1 || grid->m_columns != 1 || grid->m_parent == nullptr)
        return false;
    eExpr* parent = grid->m_parent;
    ExprPtr cell = grid->detachCell(0, 0);
    SelectionEntry place{parent, grid->m_index, grid->m_index + 1, 0, 0};
    EditResultEntry = SelectionEntry{};
    // The row splices the cell's items in where the grid was; the grid goes.
    parent->insert(place, std::move(cell));
    const SelectionEntry result = EditResultEntry;
    if (result.node == nullptr)
        return true;
    const int32_t caret = std::min(result.start + (after ? 1 : 0), result.node->childCount());
    HookSelectRange(result.node, caret, caret, 0, 0);
    HookFinishEditAt(result.node);
    return true;
}

void eMatrix::backspace(int32_t direction) {
    SelectionEntry* acted = HookEntryBeingActedUpon();
    if (acted == nullptr || acted->node != this || !inParentRow())
        return;
    SelectionEntry e = ordered(*acted, *this);
    const bool caret = e.start == e.end || e.rowStart == e.rowEnd;
    // Deleting forward at a caret has nothing to delete.
    if (caret && direction >= 0)
        return;
    bool leave = false;
    if (e.start == e.end && direction < 0) {
        e.start -= 1;
        leave = e.start < 0;
    }
    if (!leave && e.rowStart == e.rowEnd && direction < 0) {
        e.rowStart -= 1;
        leave = e.rowStart < 0;
    }
    eExpr* parent = m_parent;
    const int32_t at = m_index;
    if (leave) {
        // Backspace on the grid's first line goes on in the row before the grid.
        *acted = {parent, at, at, 0, 0};
        parent->backspace(direction);
        return;
    }
    if (spansAllRows(e, *this) && spansAllColumns(e, *this)) {
        eString* row = static_cast<eString*>(parent)->resizeRange(at, at + 1, 0);
        HookSelectRange(row, at, at, 0, 0);
        HookFinishEditAt(row);
        return;
    }
    if (spansAllRows(e, *this)) {
        eMatrix* m = replaceColumns(e.start, e.end, 0);
        if (!CollapseSingleCell(m, e.start != 0)) {
            HookSelectRange(m, e.start, e.start, 0, m->m_rows);
            HookFinishEditAt(m);
        }
        return;
    }
    if (spansAllColumns(e, *this)) {
        eMatrix* m = replaceRows(e.rowStart, e.rowEnd, 0);
        if (!CollapseSingleCell(m, e.rowStart != 0)) {
            HookSelectRange(m, 0, m->m_columns, e.rowStart, e.rowStart);
            HookFinishEditAt(m);
        }
        return;
    }
    // A block inside the grid: its cells are emptied to placeholders.
    for (int32_t r = e.rowStart; r < e.rowEnd; ++r) {
        for (int32_t c = e.start; c < e.end; ++c) {
            OwnedNode<eSimpString> placeholder = NewPlaceholder(m_colour, false);
            eExpr* mark = placeholder->getChild(0);
            setCell(r, c, std::move(placeholder));
            HookSelectRange(mark, 1, 1, 0, 0);
        }
    }
    HookFinishEditAt(this);
}

void eMatrix::backspaceAt(int32_t index) {
    if (index < 1 || index >= m_count || !inParentRow())
        return;
    const int32_t row = index / m_columns;
    const int32_t column = index % m_columns;
    eString* prev = asRow(getChild(index - 1));
    eString* cur = asRow(getChild(index));
    if (prev == nullptr || cur == nullptr)
        return;
    const int32_t n = prev->childCount();
    const int32_t k = cur->childCount();
    // The cell's items go onto the end of the cell before it.
    prev = prev->resizeRange(n, n, k);
    for (int32_t i = 0; i < k; ++i)
        prev->setChild(n + i, cur->detachChild(i));
    cur->resizeRange(0, k, 0);
    eMatrix* m = this;
    if (m_rows == 1)
        m = replaceColumns(column, column + 1, 0);
    if (column == 0) {
        bool empty = true;
        for (int32_t c = 0; c < m->m_columns; ++c) {
            const eExpr* cell = m->getCell(row, c);
            if (cell != nullptr && cell->childCount() != 0)
                empty = false;
        }
        if (empty)
            m = m->replaceRows(row, row + 1, 0);
    }
    if (m->m_count == 1) {
        auto* parent = static_cast<eString*>(m->m_parent);
        const int32_t at = m->m_index;
        ExprPtr last = m->detachChild(0);
        const int32_t count = last ? last->childCount() : 0;
        eString* target = parent->resizeRange(at, at + 1, count);
        for (int32_t i = 0; i < count; ++i)
            target->setChild(at + i, last->detachChild(i));
        HookFinishEditAt(target);
        HookSelectRange(target, at + n, at + n, 0, 0);
        return;
    }
    HookFinishEditAt(m);
    HookSelectRange(prev, n, n, 0, 0);
}

// ---- Selection movement -------------------------------------------------------------------------

void eMatrix::traverseSel(SelectionEntry& entry, bool split, bool deep, NodeCallback nodeCallback,
                          NodeCallback leafCallback, EmptyCallback emptyCallback) {
    const SelectionEntry e = ordered(entry, *this);
    if (e.start == e.end || e.rowStart == e.rowEnd) {
        if (emptyCallback != nullptr)
            emptyCallback(&entry);
    } else if (spansAllRows(e, *this) && spansAllColumns(e, *this)) {
        traverse(split, deep, nodeCallback, leafCallback);
    } else {
        for (int32_t r = e.rowStart; r < e.rowEnd; ++r)
            for (int32_t c = e.start; c < e.end; ++c)
                if (eExpr* cell = getCell(r, c))
                    cell->traverse(split, deep, nodeCallback, leafCallback);
    }
    EditResultEntry = entry;
}

void eMatrix::moveLeft(SelectionEntry& entry) {
    const SelectionEntry e = ordered(entry, *this);
    int32_t c = e.start;
    if (e.start == e.end || ShiftHeld != 0) {
        if (e.start < 1) {
            if (m_parent == nullptr) {
                addEntry(entry);
                return;
            }
            SelectionEntry before{m_parent, m_index, m_index, 0, 0};
            MoveLeftIn(m_parent, before);
            return;
        }
        c = e.start - 1;
    }
    HookSelectRange(this, c, c, 0, m_rows);
}

void eMatrix::moveRight(SelectionEntry& entry) {
    const SelectionEntry e = ordered(entry, *this);
    int32_t c = e.end;
    if (e.start == e.end || ShiftHeld != 0) {
        if (e.end >= m_columns) {
            if (m_parent == nullptr) {
                addEntry(entry);
                return;
            }
            SelectionEntry after{m_parent, m_index + 1, m_index + 1, 0, 0};
            MoveRightIn(m_parent, after);
            return;
        }
        c = e.end + 1;
    }
    HookSelectRange(this, c, c, 0, m_rows);
}

void eMatrix::moveUp(SelectionEntry& entry) {
    const SelectionEntry e = ordered(entry, *this);
    if (e.rowStart != e.rowEnd && ShiftHeld == 0)
        HookSelectRange(this, 0, m_columns, e.rowStart, e.rowStart);
    else if (e.rowStart >= 1)
        HookSelectRange(this, 0, m_columns, e.rowStart - 1, e.rowStart - 1);
    else
        addEntry(entry);
}

void eMatrix::moveDown(SelectionEntry& entry) {
    const SelectionEntry e = ordered(entry, *this);
    if (e.rowStart != e.rowEnd && ShiftHeld == 0)
        HookSelectRange(this, 0, m_columns, e.rowEnd, e.rowEnd);
    else if (e.rowEnd < m_rows)
        HookSelectRange(this, 0, m_columns, e.rowEnd + 1, e.rowEnd + 1);
    else
        addEntry(entry);
}

void eMatrix::selectFirst(SelectionEntry& entry) {
    if (eExpr* first = m_count > 0 ? getChild(0) : nullptr) {
        PlaceCaret(first, 0, 0, entry);
        return;
    }
    if (m_parent != nullptr)
        PlaceCaret(m_parent, m_index + 1, 0, entry);
}

void eMatrix::selectLast(SelectionEntry& entry) {
    if (eExpr* last = m_count > 0 ? getChild(m_count - 1) : nullptr) {
        PlaceCaret(last, last->childCount(), 0, entry);
        return;
    }
    if (m_parent != nullptr)
        PlaceCaret(m_parent, m_index, 0, entry);
}

void eMatrix::selectFirstSlot(SelectionEntry&) {
    SelectionEntry after;
    selectInside(after);
    addEntry(after);
}

void eMatrix::selectNextSlot(SelectionEntry& entry) {
    SelectionEntry e = ordered(entry, *this);
    const int32_t width = e.end - e.start;
    const int32_t height = e.rowEnd - e.rowStart;
    if (e.end < m_columns) {
        e.start += 1;
        e.end += 1;
    } else {
        e.start = 0;
        e.end = width;
        if (e.rowEnd < m_rows) {
            e.rowStart += 1;
            e.rowEnd += 1;
        } else {
            e.rowStart = 0;
            e.rowEnd = height;
        }
    }
    addEntry(e);
}

void eMatrix::selectParts(SelectionEntry& entry) {
    const SelectionEntry e = ordered(entry, *this);
    if (e.start == e.end || e.rowStart == e.rowEnd) {
        // A caret holds no cell: the selection stays rather than vanishing.
        addEntry(entry);
        return;
    }
    for (int32_t r = e.rowStart; r < e.rowEnd; ++r) {
        for (int32_t c = e.start; c < e.end; ++c) {
            if (eExpr* cell = getCell(r, c)) {
                SelectionEntry whole;
                cell->selectWhole(whole);
                addEntry(whole);
            }
        }
    }
}

void eMatrix::selectParent(SelectionEntry& entry) {
    if (m_parent == nullptr) {
        addEntry(entry);
        return;
    }
    SelectionEntry whole;
    m_parent->selectWhole(whole);
    addEntry(whole);
}

void eMatrix::selectChild(SelectionEntry& entry) {
    const SelectionEntry e = ordered(entry, *this);
    eExpr* cell =
        e.rowStart < m_rows && e.start < m_columns ? getCell(e.rowStart, e.start) : nullptr;
    if (cell == nullptr) {
        addEntry(entry);
        return;
    }
    SelectionEntry whole;
    cell->selectWhole(whole);
    addEntry(whole);
}
