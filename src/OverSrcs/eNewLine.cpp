#include "OverSrcs/eNewLine.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eDxMatrix.h"
#include "OverSrcs/eExpandable.h"
#include "OverSrcs/eFactory.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eString.h"
#include "OverSrcs/eWord.h"

#include <algorithm>
#include <utility>

namespace {

// A row the caller owns, resized: the block may change, ownership follows it.
ExprPtr resizedRow(ExprPtr row, int32_t start, int32_t end, int32_t n) {
    auto* r = static_cast<eString*>(row.release());
    return ExprPtr(r->resizeRange(start, end, n));
}

// The caret of the entry being acted upon inside `row`, within its items.
int32_t caretIn(const eExpr* row) {
    const SelectionEntry* entry = HookEntryBeingActedUpon();
    const int32_t at = entry != nullptr && entry->node == row ? entry->start : row->childCount();
    return std::clamp(at, 0, row->childCount());
}

// Points the entry being acted upon at a caret in the row.
void actOnCaret(eExpr* row, int32_t position) {
    if (SelectionEntry* entry = HookEntryBeingActedUpon())
        *entry = {row, position, position, 0, 0};
}

bool isRow(const eExpr* node) {
    return node != nullptr && node->isString();
}

// Both operations share every step but the one that builds the structure.
enum class Break { row, field };

// Words: the selected text goes, then the word is cut at the caret and the row does the rest.
void wordBreak(eWord* word, int32_t index, Break kind) {
    if (index != -1) {
        KV_ASSERT_FAILED(kind == Break::row ? "WoNL" : "WoNF");
        return;
    }
    SelectionEntry* entry = HookEntryBeingActedUpon();
    if (entry == nullptr || entry->node != word || !isRow(word->m_parent)) {
        KV_ASSERT_FAILED(kind == Break::row ? "WoNL row" : "WoNF row");
        return;
    }
    const int32_t step = word->isDoubleByte() ? 2 : 1;
    int32_t start = std::clamp(std::min(entry->start, entry->end), 0, word->length());
    int32_t end = std::clamp(std::max(entry->start, entry->end), start, word->length());
    // Only whole characters are cut: a caret inside one stands before it.
    const bool isCaret = start == end;
    start -= start % step;
    end = isCaret ? start : std::min(end + (step - end % step) % step, word->length());
    eString* row = static_cast<eString*>(word->m_parent);
    const int32_t k = word->m_index;
    if (end > start)
        word = word->replaceText(start, end, std::string_view()); // shrinking: in place
    const int32_t p = start;
    int32_t at = k;
    if (word->length() == 0) {
        row = row->resizeRange(k, k + 1, 0);
    } else if (p == 0) {
        at = k;
    } else if (p >= word->length()) {
        at = k + 1;
    } else {
        ExprPtr tail = CopyExpr(word);
        static_cast<eWord*>(tail.get())->replaceText(0, p, std::string_view());
        word->replaceText(p, word->length(), std::string_view());
        row = row->resizeRange(k + 1, k + 1, 1);
        row->setChild(k + 1, std::move(tail));
        at = k + 1;
    }
    actOnCaret(row, at);
    if (kind == Break::row)
        row->newLine(at);
    else
        row->newField(at);
}

// Rows: the selected items go (only when the command names the row), then the container of the
// row does the structural work.
void rowBreak(eString* row, int32_t index, Break kind) {
    if (index == -1) {
        SelectionEntry* entry = HookEntryBeingActedUpon();
        if (entry != nullptr && entry->node == row) {
            const int32_t start = std::clamp(std::min(entry->start, entry->end), 0, row->m_count);
            const int32_t end = std::clamp(std::max(entry->start, entry->end), 0, row->m_count);
            if (end > start)
                row = row->resizeRange(start, end, 0);
            *entry = {row, start, start, 0, 0};
        }
    }
    eExpr* holder = row->m_parent;
    if (holder == nullptr) {
        KV_ASSERT_FAILED(kind == Break::row ? "StNL parent" : "StNF parent");
        return;
    }
    if (kind == Break::row)
        holder->newLine(row->m_index);
    else
        holder->newField(row->m_index);
}

// Plain containers (templates, the root header): the row in slot i becomes a pile or a row of
// fields of its two parts, held by a one-slot row of the row's own class.
void containerBreak(eExpr* container, int32_t i, Break kind) {
    if (i < 0 || i >= container->childCount() || !isRow(container->getChild(i))) {
        KV_ASSERT_FAILED(kind == Break::row ? "ExNL" : "ExNF");
        return;
    }
    auto* row = static_cast<eString*>(container->getChild(i));
    eString* before = nullptr;
    ExprPtr second = SplitRowAt(row, caretIn(row), before);
    ExprPtr first = container->detachChild(i);
    eExpr* secondRow = second.get();
    // An empty row of the second part's class holds the grid.
    ExprPtr holder = resizedRow(CopyExpr(secondRow), 0, secondRow->childCount(), 1);
    ExprPtr grid = NewBreakGrid(std::move(first), std::move(second), kind == Break::row);
    if (!grid) {
        KV_ASSERT_FAILED("ExNL grid");
        return;
    }
    holder->setChild(0, std::move(grid));
    eExpr* placed = container->setChild(i, std::move(holder));
    HookSelectRange(secondRow, 0, 0, 0, 0);
    HookFinishEditAt(placed);
}

} // namespace

ExprPtr SplitRowAt(eString* row, int32_t caret, eString*& before) {
    caret = std::clamp(caret, 0, row->childCount());
    ExprPtr after = resizedRow(CopyExpr(row), 0, caret, 0);
    before = row->resizeRange(caret, row->childCount(), 0);
    return after;
}

ExprPtr NewBreakGrid(ExprPtr first, ExprPtr second, bool pile) {
    OwnedNode<eDxMatrix> grid = NewDxMatrix(pile ? 2 : 1, pile ? 1 : 2, nullptr);
    if (!grid || !first || !second)
        return ExprPtr();
    // Lines of ruled text stay flush left; anything else is centred on the baselines.
    if (second->isDxString())
        grid->m_hAlign = kHAlignLeft;
    grid->m_separateRows = 1;
    grid->m_separateColumns = 1;
    grid->m_tight = pile ? 1 : 0;
    grid->m_colour = first->m_colour;
    grid->setCell(0, 0, std::move(first));
    grid->setCell(pile ? 1 : 0, pile ? 0 : 1, std::move(second));
    return grid;
}

// ---- The operations by class
// ---------------------------------------------------------------------

void eExpr::newLine(int32_t index) {
    containerBreak(this, index, Break::row);
}

void eExpr::newField(int32_t index) {
    containerBreak(this, index, Break::field);
}

void eString::newLine(int32_t index) {
    rowBreak(this, index, Break::row);
}

void eString::newField(int32_t index) {
    rowBreak(this, index, Break::field);
}

void eWord::newLine(int32_t index) {
    wordBreak(this, index, Break::row);
}

void eWord::newField(int32_t index) {
    wordBreak(this, index, Break::field);
}

void eExpandable::newField(int32_t i) {
    if (i < 0 || i >= m_count || !isRow(getChild(i))) {
        KV_ASSERT_FAILED("ExNF");
        return;
    }
    if (m_count > kMaxTemplateSlots - 1) {
        // A template code has room for 15 slots.
        CommandBeep();
        return;
    }
    if (m_parent == nullptr) {
        KV_ASSERT_FAILED("ExNF parent");
        return;
    }
    auto* row = static_cast<eString*>(getChild(i));
    eString* before = nullptr;
    ExprPtr after = SplitRowAt(row, caretIn(row), before);
    eExpandable* grown = replaceSlots(i + 1, i + 1, 1); // destroys this node
    if (grown == nullptr)
        return;
    eExpr* part = grown->setChild(i + 1, std::move(after));
    HookSelectRange(part, 0, part->childCount(), 0, 0);
    HookFinishEditAt(grown);
}

// ---- Grids
// ---------------------------------------------------------------------------------------

namespace {

// The cell for a new row or column: the model placeholder copied, or `first` at its place.
void fillNewCells(eMatrix* grid, bool newRow, int32_t line, int32_t firstAt, ExprPtr first,
                  const eExpr* model) {
    const int32_t n = newRow ? grid->columns() : grid->rows();
    for (int32_t k = 0; k < n; ++k) {
        const int32_t r = newRow ? line : k;
        const int32_t c = newRow ? k : line;
        if (k == firstAt)
            grid->setCell(r, c, std::move(first));
        else
            grid->setCell(r, c, CopyExpr(model));
    }
}

bool roomFor(const eMatrix* grid, bool newRow) {
    const int32_t rows = grid->rows() + (newRow ? 1 : 0);
    const int32_t columns = grid->columns() + (newRow ? 0 : 1);
    return rows <= kMaxMatrixCells / columns;
}

ExprPtr emptyCell(uint8_t colour) {
    OwnedNode<eSimpString> cell = NewEmptySimpString();
    cell->m_colour = colour;
    return cell;
}

} // namespace

void eMatrix::newLine(int32_t i) {
    if (!roomFor(this, true)) {
        CommandBeep();
        return;
    }
    ExprPtr model = NewPlaceholder(m_colour, i < 0);
    ExprPtr first;
    eMatrix* grid = nullptr;
    int32_t r = 0;
    if (i < 0) {
        const SelectionEntry* entry = HookEntryBeingActedUpon();
        if (entry == nullptr || entry->node != this) {
            KV_ASSERT_FAILED("MaNL entry");
            return;
        }
        const int32_t start = std::clamp(std::min(entry->start, entry->end), 0, m_columns);
        const int32_t end = std::clamp(std::max(entry->start, entry->end), 0, m_columns);
        const int32_t rowStart = std::clamp(std::min(entry->rowStart, entry->rowEnd), 0, m_rows);
        const int32_t rowEnd = std::clamp(std::max(entry->rowStart, entry->rowEnd), 0, m_rows);
        first = emptyCell(m_colour);
        if (start == 0 && end == m_columns && rowEnd > rowStart) {
            // Whole rows selected: they give way to the new row.
            r = rowStart;
            grid = replaceRows(rowStart, rowEnd, 1);
        } else {
            r = rowEnd;
            grid = replaceRows(rowEnd, rowEnd, 1);
        }
    } else {
        if (i >= m_count || !isRow(getChild(i))) {
            KV_ASSERT_FAILED("MaNL cell");
            return;
        }
        auto* cell = static_cast<eString*>(getChild(i));
        eString* before = nullptr;
        first = SplitRowAt(cell, caretIn(cell), before);
        r = i / m_columns + 1;
        grid = replaceRows(r, r, 1);
    }
    eExpr* firstCell = first.get();
    fillNewCells(grid, true, r, 0, std::move(first), model.get());
    HookSelectRange(firstCell, 0, 0, 0, 0);
    HookFinishEditAt(grid);
}

void eMatrix::newField(int32_t i) {
    if (!roomFor(this, false)) {
        CommandBeep();
        return;
    }
    ExprPtr model = NewPlaceholder(m_colour, i < 0);
    ExprPtr cellPart;
    eMatrix* grid = nullptr;
    int32_t c = 0;
    int32_t r = 0;
    if (i < 0) {
        const SelectionEntry* entry = HookEntryBeingActedUpon();
        if (entry == nullptr || entry->node != this) {
            KV_ASSERT_FAILED("MaNF entry");
            return;
        }
        const int32_t start = std::clamp(std::min(entry->start, entry->end), 0, m_columns);
        const int32_t end = std::clamp(std::max(entry->start, entry->end), 0, m_columns);
        const int32_t rowStart = std::clamp(std::min(entry->rowStart, entry->rowEnd), 0, m_rows);
        const int32_t rowEnd = std::clamp(std::max(entry->rowStart, entry->rowEnd), 0, m_rows);
        cellPart = emptyCell(m_colour);
        if (rowStart == 0 && rowEnd == m_rows && end > start) {
            // Whole columns selected: they give way to the new column.
            c = start;
            r = 0;
            grid = replaceColumns(start, end, 1);
        } else {
            // A caret line at the top or left edge names line 0: the new cell still lands in the
            // grid.
            c = std::max(end - 1, 0);
            r = std::max(rowEnd - 1, 0);
            grid = replaceColumns(c, c, 1);
        }
    } else {
        if (i >= m_count || !isRow(getChild(i))) {
            KV_ASSERT_FAILED("MaNF cell");
            return;
        }
        auto* cell = static_cast<eString*>(getChild(i));
        eString* before = nullptr;
        ExprPtr after = SplitRowAt(cell, caretIn(cell), before);
        r = i / m_columns;
        const int32_t column = i % m_columns;
        if (m_rows > 1 && column < m_columns - 1) {
            // No column is added: the text after the caret goes to the front of the next cell.
            eExpr* next = getCell(r, column + 1);
            if (!isRow(next)) {
                KV_ASSERT_FAILED("MaNF next");
                return;
            }
            eString* target = static_cast<eString*>(next);
            const int32_t n = after->childCount();
            target = target->resizeRange(0, 0, n);
            for (int32_t k = 0; k < n; ++k)
                target->setChild(k, after->detachChild(k));
            HookSelectRange(target, 0, target->childCount(), 0, 0);
            HookFinishEditAt(this);
            return;
        }
        cellPart = std::move(after);
        c = column + 1;
        grid = replaceColumns(c, c, 1);
    }
    eExpr* newCell = cellPart.get();
    fillNewCells(grid, false, c, r, std::move(cellPart), model.get());
    HookSelectRange(newCell, 0, newCell->childCount(), 0, 0);
    HookFinishEditAt(grid);
}
