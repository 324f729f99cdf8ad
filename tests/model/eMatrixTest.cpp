#include "OverSrcs/eMatrix.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eClick.h"
#include "OverSrcs/eDxStr.h"
#include "OverSrcs/eEditSupport.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eWord.h"
#include "model/EditModelFixture.h"
#include "model/ModelFixture.h"

#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <vector>

namespace kvtest {
namespace {

ExprPtr Word(const char* text, int32_t points = 12) {
    return NewWord(text, 0, SizedStyle(points), 0);
}

// A row of words.
OwnedNode<eSimpString> Row(std::initializer_list<const char*> words, int32_t points = 12) {
    OwnedNode<eSimpString> row = NewSimpString(static_cast<int32_t>(words.size()));
    int32_t i = 0;
    for (const char* w : words)
        row->setChild(i++, Word(w, points));
    return row;
}

// A grid whose cells hold one word each, given row by row ("" leaves the cell an empty row).
OwnedNode<eSimpMatrix> Grid(int32_t rows, int32_t columns, std::vector<const char*> words,
                            int32_t points = 12) {
    OwnedNode<eSimpMatrix> grid = NewSimpMatrix(rows, columns);
    for (int32_t i = 0; i < rows * columns; ++i) {
        const char* w = i < static_cast<int32_t>(words.size()) ? words[i] : "";
        grid->setChild(i, *w != 0 ? Row({w}, points) : NewEmptySimpString());
    }
    return grid;
}

std::string Dump(const eExpr* node);

// A cell's items without the row's brackets ("null" for an empty slot).
std::string Items(const eExpr* cell) {
    if (cell == nullptr || !cell->isString())
        return "null";
    std::string text;
    for (int32_t i = 0; i < cell->childCount(); ++i)
        text.append(i > 0 ? "|" : "").append(Dump(cell->getChild(i)));
    return text;
}

// Rows "[a|b]", words by their text, grids "{a,b;c,d}" row by row with each cell's items.
std::string Dump(const eExpr* node) {
    if (node == nullptr)
        return "null";
    if (const auto* word = dynamic_cast<const eWord*>(node))
        return std::string(word->view());
    if (node->isMatrix()) {
        const auto* grid = static_cast<const eMatrix*>(node);
        std::string text = "{";
        for (int32_t r = 0; r < grid->m_rows; ++r)
            for (int32_t c = 0; c < grid->m_columns; ++c)
                text.append(c > 0 ? "," : r > 0 ? ";" : "").append(Items(grid->getCell(r, c)));
        return text + "}";
    }
    if (node->isString()) {
        std::string text = "[";
        for (int32_t i = 0; i < node->childCount(); ++i)
            text.append(i > 0 ? "|" : "").append(Dump(node->getChild(i)));
        return text + "]";
    }
    return "?";
}

// Every node below `node` names its parent and index correctly.
void ExpectWellFormed(const eExpr* node) {
    for (int32_t i = 0; i < node->childCount(); ++i) {
        const eExpr* child = node->getChild(i);
        ASSERT_NE(child, nullptr) << "slot " << i;
        EXPECT_EQ(child->m_parent, node);
        EXPECT_EQ(child->m_index, i);
        ExpectWellFormed(child);
    }
}

// ---- Layout -------------------------------------------------------------------------------------

class MatrixLayoutTest : public ModelTest {};

TEST_F(MatrixLayoutTest, OneCellFollowsTheGridArithmetic) {
    // "x" at 12 points and 16 units: em 12, height 13, ascent 10, axis 7, width 6; a word's size
    // is its height.
    OwnedNode<eSimpMatrix> grid = Grid(1, 1, {"x"});
    Measure(grid.get());
    const eExpr* cell = grid->getCell(0, 0);
    ASSERT_EQ(cell->width(), 6);
    ASSERT_EQ(cell->height(), 13);
    ASSERT_EQ(cell->m_zone.ref1, 7);
    ASSERT_EQ(cell->m_size, 13);
    // e = 13 / 8 = 1, t = 1: above 7 + 1 + 0 = 8, below 6 + 1 + 1 = 8, column 6 + 3 + 1 = 10.
    EXPECT_EQ(ZoneText(grid->m_zone), ZoneText(Zone{0, 0, 10, 16, 8, 11}));
    EXPECT_EQ(ZoneText(cell->m_zone), ZoneText(Zone{2, 1, 8, 14, 7, 10}));
    EXPECT_EQ(grid->m_size, 13);
    EXPECT_TRUE(grid->isLaidOut());
}

TEST_F(MatrixLayoutTest, EmptyCellsTakeTheMinimumSize) {
    // Size 6: e = 0, t = 1, S / 4 = 1, so a cell of nothing gets a 2 × 1 unit box.
    for (uint8_t magnify : {0, 1}) {
        SCOPED_TRACE(magnify);
        OwnedNode<eSimpMatrix> grid = Grid(3, 2, {});
        MeasureExprWithOptions(grid.get(), port.get(), 0, magnify, 0, 0);
        const int32_t s = magnify != 0 ? 12 : 6;
        const int32_t t = std::max(1, s / 32);
        const int32_t a = s / 8 + t / 2;
        const int32_t d = s / 8 + (t + 1) / 2;
        const int32_t w = s / 4 + t;
        EXPECT_EQ(grid->m_size, s);
        EXPECT_EQ(grid->width(), 2 * w);
        EXPECT_EQ(grid->height(), 3 * (a + d));
    }
}

TEST_F(MatrixLayoutTest, CellsAreCentredOnOneBaselinePerRow) {
    struct Case {
        int32_t rows;
        int32_t columns;
        std::vector<const char*> words;
        uint8_t guides;
        int32_t wide;
    };
    const Case cases[] = {
        {2, 2, {"x", "WWW", "(y)", "i"}, 0, 1},
        {3, 2, {"ab", "c", "M", "", "q", "jj"}, 0, 1},
        {2, 3, {"a", "bb", "ccc", "W", "", "f"}, 1, 0},
        {1, 4, {"1", "22", "333", "4444"}, 1, 1},
        {3, 3, {"1", "22", "333", "4444", "", "", "f", "g", "h"}, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.rows) + "x" + std::to_string(c.columns) + " guides " +
                     std::to_string(c.guides) + " wide " + std::to_string(c.wide));
        WideStructureSetting = c.wide;
        OwnedNode<eSimpMatrix> grid = Grid(c.rows, c.columns, c.words, 18);
        MeasureExprWithOptions(grid.get(), port.get(), c.guides, 0, 0, 0);
        // The guide gap and its half, doubled by the wide structure display.
        const int32_t G = c.guides != 0 ? 2 * (c.wide != 0 ? 2 : 1) : 0;
        const int32_t H = G / 2;
        int32_t A = 0, D = 0, W = 0, S = 6;
        for (int32_t i = 0; i < grid->childCount(); ++i) {
            const eExpr* cell = grid->getChild(i);
            A = std::max(A, cell->m_zone.ref1);
            D = std::max(D, cell->height() - cell->m_zone.ref1);
            W = std::max(W, cell->width());
            S = std::max(S, cell->m_size);
        }
        const int32_t e = S / 8;
        const int32_t t = std::max(1, S / 32);
        const int32_t a = A + e + t / 2 + H;
        const int32_t d = D + e + (t + 1) / 2 + H;
        const int32_t w = W + S / 4 + t + G;
        for (int32_t r = 0; r < c.rows; ++r) {
            int32_t baseline = -1;
            for (int32_t k = 0; k < c.columns; ++k) {
                const eExpr* cell = grid->getCell(r, k);
                // Centred in its column: equal room left and right (the odd unit on the right).
                const int32_t left = cell->m_zone.left - (k * w + H);
                const int32_t right = (k + 1) * w + H - cell->m_zone.right;
                EXPECT_TRUE(right - left == 0 || right - left == 1) << r << "," << k;
                const int32_t axis = cell->m_zone.top + cell->m_zone.ref1;
                EXPECT_EQ(axis, r * (a + d) + a + H) << r << "," << k;
                if (baseline >= 0) {
                    EXPECT_EQ(axis, baseline);
                }
                baseline = axis;
            }
        }
        EXPECT_EQ(grid->width(), c.columns * w + G);
        EXPECT_EQ(grid->height(), c.rows * (a + d) + G);
        // The grid's axis: the middle row's, or midway between the two middle rows.
        const eExpr* low = grid->getCell(c.rows / 2, 0);
        if (c.rows % 2 != 0) {
            EXPECT_EQ(grid->m_zone.ref1, low->m_zone.top + low->m_zone.ref1);
        } else {
            const eExpr* high = grid->getCell(c.rows / 2 - 1, 0);
            EXPECT_EQ(grid->m_zone.ref1, (high->m_zone.bottom + low->m_zone.top) / 2);
        }
        const eExpr* last = grid->getCell(c.rows - 1, 0);
        EXPECT_EQ(grid->m_zone.ref2, last->m_zone.top + last->m_zone.ref2);
        // Grid lines divide the zone evenly; the outer lines sit half a guide gap inside.
        EXPECT_EQ(grid->columnLineX(0), H);
        EXPECT_EQ(grid->columnLineX(c.columns), grid->width() - G + H);
        EXPECT_EQ(grid->rowLineY(c.rows), grid->height() - G + H);
        for (int32_t k = 1; k < c.columns; ++k)
            EXPECT_EQ(grid->columnLineX(k), k * w + H);
    }
}

TEST_F(MatrixLayoutTest, AGridInARowAlignsOnItsAxis) {
    OwnedNode<eSimpString> row = NewSimpString(2);
    row->setChild(0, Word("y", 12));
    eExpr* grid = row->setChild(1, Grid(2, 1, {"1", "2"}));
    Measure(row.get());
    const eExpr* y = row->getChild(0);
    EXPECT_EQ(y->m_zone.top + y->m_zone.ref1, grid->m_zone.top + grid->m_zone.ref1);
    EXPECT_EQ(grid->m_zone.left, y->m_zone.right);
}

// ---- Selections in the grid: highlight, hits and moves ------------------------------------------

class MatrixSelectionTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        InstallSelectionHooks();
        ShiftHeld = 0;
        WholeRowClickOption = 0;
    }
    void TearDown() override {
        ShiftHeld = 0;
        WholeRowClickOption = 0;
        if (SavedList != nullptr)
            FreeSelectionList(SavedList);
        DestroySelectionRecord(record);
        ActiveRecord = nullptr;
        ActiveList = nullptr;
        ModelTest::TearDown();
    }
    // The expression "a <grid> b" as the active record's tree, laid out.
    eMatrix* Use(OwnedNode<eSimpMatrix> grid) {
        OwnedNode<eSimpString> row = NewSimpString(3);
        row->setChild(0, Word("a"));
        auto* g = static_cast<eMatrix*>(row->setChild(1, std::move(grid)));
        row->setChild(2, Word("b"));
        CreateSelectionRecord(record, std::move(row), 0, 0, 0, 0);
        ActiveRecord = &record;
        ActiveList = record.m_entries;
        Measure(record.m_root);
        return g;
    }
    std::vector<SelectionEntry> Run(int32_t code, SelectionEntry entry) {
        ClearSelectionList(record);
        AddSelectionEntry(record, entry);
        SelectionEntry* saved = SaveSelectionList();
        EXPECT_TRUE(ApplySelectionMove(code, saved[0].node, saved[0]));
        FreeSelectionList(saved);
        std::vector<SelectionEntry> out;
        for (int32_t i = 0; i < record.count(); ++i)
            out.push_back(record.entry(i));
        return out;
    }
    SelectionEntry Hit(eMatrix* grid, oPoint anchor, oPoint point) {
        LocateNode(grid);
        SelectionEntry entry;
        EXPECT_TRUE(grid->hitClick(anchor, point, entry));
        return entry;
    }
    SelectionRecord record;
};

using Entries = std::vector<SelectionEntry>;

TEST_F(MatrixSelectionTest, HighlightRunsBetweenTheGridLines) {
    eMatrix* grid = Use(Grid(2, 3, {"a", "b", "c", "d", "e", "f"}));
    const Zone abs = LocateNode(grid);
    for (const SelectionEntry& e : {SelectionEntry{grid, 1, 3, 0, 1},
                                    {grid, 2, 2, 0, 2},
                                    {grid, 0, 3, 1, 1},
                                    {grid, 3, 1, 2, 0}}) {
        SCOPED_TRACE(std::to_string(e.start) + ".." + std::to_string(e.end));
        Zone zone;
        int32_t bands[4];
        ASSERT_TRUE(EntryHighlightArea(e, zone, bands));
        EXPECT_EQ(zone.left, abs.left + grid->columnLineX(std::min(e.start, e.end)));
        EXPECT_EQ(zone.right, abs.left + grid->columnLineX(std::max(e.start, e.end)));
        EXPECT_EQ(zone.top, abs.top + grid->rowLineY(std::min(e.rowStart, e.rowEnd)));
        EXPECT_EQ(zone.bottom, abs.top + grid->rowLineY(std::max(e.rowStart, e.rowEnd)));
    }
}

TEST_F(MatrixSelectionTest, APressReachesEveryCell) {
    // One wide cell widens every column, so each short cell has room beside it.
    eMatrix* grid = Use(Grid(3, 3, {"i", "l", "i", "WWWWWW", "i", "l", "i", "l", "i"}));
    int32_t beside = 0;
    for (int32_t r = 0; r < 3; ++r) {
        for (int32_t c = 0; c < 3; ++c) {
            SCOPED_TRACE(std::to_string(r) + "," + std::to_string(c));
            eExpr* cell = grid->getCell(r, c);
            const Zone abs = LocateNode(cell);
            const oPoint centre{(abs.left + abs.right) / 2, (abs.top + abs.bottom) / 2};
            const SelectionEntry inside = Hit(grid, centre, centre);
            EXPECT_TRUE(IsAncestorOrSelf(cell, inside.node));
            // Off the cell but in the middle half of its grid square: the whole of that cell.
            const Zone g = LocateNode(grid);
            const int32_t x0 = g.left + grid->columnLineX(c);
            const int32_t x1 = g.left + grid->columnLineX(c + 1);
            const oPoint off{x0 + (x1 - x0) * 3 / 8,
                             g.top + (grid->rowLineY(r) + grid->rowLineY(r + 1)) / 2};
            if (off.x >= abs.left)
                continue; // the wide cell fills its column
            ++beside;
            EXPECT_EQ(Hit(grid, off, off), (SelectionEntry{cell, 0, 1, 0, 0}));
        }
    }
    EXPECT_EQ(beside, 8);
}

TEST_F(MatrixSelectionTest, PressesOffTheCellsGiveCaretLinesAndBlocks) {
    eMatrix* grid = Use(Grid(2, 2, {"a", "b", "c", "d"}, 12));
    const Zone g = LocateNode(grid);
    auto x = [&](int32_t line) { return g.left + grid->columnLineX(line); };
    auto y = [&](int32_t line) { return g.top + grid->rowLineY(line); };
    const int32_t row0Mid = (y(0) + y(1)) / 2;
    // On a column line: a caret between the columns, the full height.
    EXPECT_EQ(Hit(grid, {x(1), row0Mid}, {x(1), row0Mid}), (SelectionEntry{grid, 1, 1, 0, 2}));
    // On the row line between the rows: a caret between them, the full width.
    const oPoint between{(x(0) + x(1)) / 2, y(1)};
    EXPECT_EQ(Hit(grid, between, between), (SelectionEntry{grid, 0, 2, 1, 1}));
    // In the last quarter of row 0 the row range starts at line 1.
    const int32_t lastQuarter = y(1) - (y(1) - y(0)) / 8;
    EXPECT_EQ(Hit(grid, {x(0) + 1, lastQuarter}, {x(2) - 1, y(2) - 2}),
              (SelectionEntry{grid, 0, 2, 1, 2}));
    // A drag across two cells of one row is a block.
    EXPECT_EQ(Hit(grid, {x(0) + 1, row0Mid}, {x(2) - 1, row0Mid}),
              (SelectionEntry{grid, 0, 2, 0, 1}));
    // Across everything: the grid as one item of its row.
    EXPECT_EQ(Hit(grid, {x(0) + 1, y(0) + 1}, {x(2) - 1, y(2) - 1}),
              (SelectionEntry{grid->m_parent, 1, 2, 0, 0}));
    // A double click on the grid's own area takes every cell, never the grid as an item.
    WholeRowClickOption = 1;
    EXPECT_EQ(Hit(grid, {x(1), row0Mid}, {x(1), row0Mid}), (SelectionEntry{grid, 0, 2, 0, 2}));
}

TEST_F(MatrixSelectionTest, ADoubleClickOnTheMarginOfAOneCellGridGivesTheCell) {
    eMatrix* grid = Use(Grid(1, 1, {"x"}));
    WholeRowClickOption = 1;
    const Zone g = LocateNode(grid);
    EXPECT_EQ(Hit(grid, {g.left, g.top}, {g.left, g.top}), (SelectionEntry{grid, 0, 1, 0, 1}));
}

TEST_F(MatrixSelectionTest, APileIsAStackOfLines) {
    // One column of ruled rows: the lines are stacked with a gap of S / 8.
    OwnedNode<eSimpMatrix> pile = NewSimpMatrix(3, 1);
    for (int32_t r = 0; r < 3; ++r) {
        OwnedNode<eDxString> line = NewDxString(1, nullptr);
        line->setChild(0, Word(r == 1 ? "tall" : "x", r == 1 ? 24 : 12));
        pile->setCell(r, 0, std::move(line));
    }
    eMatrix* grid = Use(std::move(pile));
    ASSERT_TRUE(grid->isPile());
    const int32_t gap = grid->m_size / 8;
    int32_t width = 0;
    for (int32_t r = 0; r < 3; ++r) {
        const eExpr* line = grid->getCell(r, 0);
        EXPECT_EQ(line->m_zone.left, 0);
        EXPECT_EQ(line->m_zone.top, r == 0 ? 0 : grid->getCell(r - 1, 0)->m_zone.bottom + gap);
        width = std::max(width, line->width());
    }
    EXPECT_EQ(grid->width(), width);
    EXPECT_EQ(grid->height(), grid->getCell(2, 0)->m_zone.bottom);
    // Row lines lie midway through the gaps; a press in a gap is a caret between the lines.
    for (int32_t r = 1; r < 3; ++r) {
        SCOPED_TRACE(r);
        const int32_t mid =
            (grid->getCell(r - 1, 0)->m_zone.bottom + grid->getCell(r, 0)->m_zone.top) / 2;
        EXPECT_EQ(grid->rowLineY(r), mid);
        const Zone g = LocateNode(grid);
        const oPoint p{g.left + width / 2, g.top + mid};
        EXPECT_EQ(Hit(grid, p, p), (SelectionEntry{grid, 0, 1, r, r}));
    }
    EXPECT_EQ(grid->rowLineY(0), 0);
    EXPECT_EQ(grid->rowLineY(3), grid->height());
}

TEST_F(MatrixSelectionTest, ArrowsWalkTheColumnAndRowLines) {
    eMatrix* grid = Use(Grid(3, 2, {"a", "b", "c", "d", "e", "f"}));
    eExpr* row = grid->m_parent;
    // Right from column line 0 steps through every line, then leaves into the item after the grid.
    SelectionEntry e{grid, 0, 0, 0, 3};
    for (int32_t line = 1; line <= 2; ++line) {
        const Entries next = Run(kCmdMoveRight, e);
        ASSERT_EQ(next.size(), 1u);
        EXPECT_EQ(next[0], (SelectionEntry{grid, line, line, 0, 3}));
        e = next[0];
    }
    EXPECT_EQ(Run(kCmdMoveRight, e), (Entries{{row->getChild(2), 1, 1, 0, 0}}));
    // Left from column line 0 leaves the grid in one step, into the word before it.
    EXPECT_EQ(Run(kCmdMoveLeft, {grid, 0, 0, 0, 3}), (Entries{{row->getChild(0), 0, 0, 0, 0}}));
    // A block collapses to its edge line.
    EXPECT_EQ(Run(kCmdMoveLeft, {grid, 1, 2, 0, 1}), (Entries{{grid, 1, 1, 0, 3}}));
    EXPECT_EQ(Run(kCmdMoveRight, {grid, 0, 1, 0, 1}), (Entries{{grid, 1, 1, 0, 3}}));
    // Down goes line by line and stops below the last row; up stops at the top.
    e = {grid, 0, 2, 0, 0};
    for (int32_t line = 1; line <= 3; ++line) {
        e = Run(kCmdMoveDown, e).at(0);
        EXPECT_EQ(e, (SelectionEntry{grid, 0, 2, line, line}));
    }
    EXPECT_EQ(Run(kCmdMoveDown, e), (Entries{e}));
    EXPECT_EQ(Run(kCmdMoveUp, {grid, 0, 2, 0, 0}), (Entries{{grid, 0, 2, 0, 0}}));
    EXPECT_EQ(Run(kCmdMoveUp, {grid, 0, 1, 1, 3}), (Entries{{grid, 0, 2, 1, 1}}));
}

TEST_F(MatrixSelectionTest, NextSlotSlidesTheWindowAndWraps) {
    eMatrix* grid = Use(Grid(2, 3, {"a", "b", "c", "d", "e", "f"}));
    SelectionEntry e{grid, 0, 2, 0, 1};
    const Entries expected = {
        {grid, 1, 3, 0, 1}, {grid, 0, 2, 1, 2}, {grid, 1, 3, 1, 2}, {grid, 0, 2, 0, 1}};
    for (const SelectionEntry& want : expected) {
        e = Run(kCmdNextSlot, e).at(0);
        EXPECT_EQ(e, want);
    }
}

TEST_F(MatrixSelectionTest, InwardOutwardFirstAndEscape) {
    eMatrix* grid = Use(Grid(2, 2, {"a", "b", "c", "d"}));
    eExpr* row = grid->m_parent;
    const Entries parts = Run(kCmdSelectInward, {grid, 0, 2, 1, 2});
    EXPECT_EQ(parts,
              (Entries{{grid->getCell(1, 0), 0, 1, 0, 0}, {grid->getCell(1, 1), 0, 1, 0, 0}}));
    EXPECT_EQ(Run(kCmdSelectOutward, {grid, 0, 1, 0, 1}), (Entries{{row, 0, 3, 0, 0}}));
    EXPECT_EQ(Run(kCmdSelectFirst, {grid, 1, 2, 1, 2}),
              (Entries{{grid->getCell(1, 1), 0, 1, 0, 0}}));
    EXPECT_EQ(Run(kCmdSelectFirst, {grid, 2, 2, 0, 2}), (Entries{{grid, 2, 2, 0, 2}}));
    EXPECT_EQ(Run(kCmdEscape, {grid, 0, 1, 0, 1}), (Entries{{row, 2, 2, 0, 0}}));
}

// ---- Editing through the command dispatcher -----------------------------------------------------

class MatrixEditTest : public EditModelTest {
protected:
    // The record is made by Use, over the expression a test builds.
    void SetUp() override {
        ModelTest::SetUp();
        installCommands();
        AutoSpaceOption = 0;
        BatchMode = 0;
        CtrlHeld = 0;
        ShiftHeld = 0;
    }
    void Use(ExprPtr expression) {
        CreateSelectionRecord(record, std::move(expression), 0, 0, 0, 0);
        ActiveRecord = &record;
        ActiveList = record.m_entries;
    }
    // The expression "a <grid> b".
    eMatrix* UseGrid(OwnedNode<eSimpMatrix> grid) {
        OwnedNode<eSimpString> row = NewSimpString(3);
        row->setChild(0, Word("a"));
        auto* g = static_cast<eMatrix*>(row->setChild(1, std::move(grid)));
        row->setChild(2, Word("b"));
        Use(std::move(row));
        return g;
    }
    std::string tree() const { return Dump(expression()); }
    void Select(const SelectionEntry& e) { select(e); }
    Entries selection() const {
        Entries out;
        for (int32_t i = 0; i < record.count(); ++i)
            out.push_back(record.entry(i));
        return out;
    }
    void Type(char c) { DoCommand(MakeCharCode(kTypingStyleSelector, c), 1); }

    SelectionRecord& record = m_record;
};

TEST_F(MatrixEditTest, TheMatrixCodeInsertsAGridAroundTheSelection) {
    Use(Row({"x", "y"}));
    Select({expression(), 0, 1, 0, 0});
    DoCommand(kCmdMatrixBase + 0x23, 0);
    EXPECT_EQ(tree(), "[{x,?,?;?,?,?}|y]");
    ExpectWellFormed(record.m_root);
    // The first placeholder left is selected, ready to be typed over.
    auto* grid = static_cast<eMatrix*>(expression()->getChild(0));
    EXPECT_EQ(selection(), (Entries{{grid->getCell(0, 1)->getChild(0), 0, 1, 0, 0}}));
    EXPECT_EQ(grid->m_rows, 2);
    EXPECT_EQ(grid->m_columns, 3);
}

TEST_F(MatrixEditTest, AMatrixCodeWithoutRowsOrColumnsIsRefused) {
    for (int32_t code : {kCmdMatrixBase + 0x03, kCmdMatrixBase + 0x30, kCmdMatrixBase}) {
        SCOPED_TRACE(code);
        Use(Row({"x"}));
        Select({expression(), 1, 1, 0, 0});
        const int32_t beeps = CommandBeepCount();
        DoCommand(code, 0);
        EXPECT_EQ(tree(), "[x]");
        EXPECT_EQ(CommandBeepCount(), beeps + 1);
    }
}

TEST_F(MatrixEditTest, TypingBetweenColumnsOpensAColumnWithACaretInEachCell) {
    eMatrix* grid = UseGrid(Grid(3, 3, {"a", "b", "c", "d", "e", "f", "g", "h", "i"}));
    Select({grid, 2, 2, 0, 3});
    Type('z');
    EXPECT_EQ(tree(), "[a|{a,b,z,c;d,e,z,f;g,h,z,i}|b]");
    ExpectWellFormed(record.m_root);
    auto* now = static_cast<eMatrix*>(expression()->getChild(1));
    const Entries carets = selection();
    ASSERT_EQ(carets.size(), 3u);
    for (int32_t r = 0; r < 3; ++r)
        EXPECT_EQ(carets[r], (SelectionEntry{now->getCell(r, 2)->getChild(0), 1, 1, 0, 0}));
}

TEST_F(MatrixEditTest, TypingOverRowsAndBlocks) {
    struct Case {
        SelectionEntry entry; // on the grid {a,b;c,d}
        const char* result;
    };
    const Case cases[] = {
        {{nullptr, 0, 2, 1, 1}, "[a|{a,b;z,z;c,d}|b]"}, // a caret between rows opens a row
        {{nullptr, 0, 2, 0, 2}, "[a|z|b]"},             // the whole grid becomes the character
        {{nullptr, 0, 0, 0, 2}, "[a|z|{a,b;c,d}|b]"},   // before the first column
        {{nullptr, 2, 2, 0, 2}, "[a|{a,b;c,d}|z|b]"},   // after the last column
        {{nullptr, 1, 2, 0, 1}, "[a|{a,z;c,d}|b]"},     // one cell
        {{nullptr, 0, 2, 0, 1}, "[a|{z,z;c,d}|b]"},     // a whole row stays one row
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        eMatrix* grid = UseGrid(Grid(2, 2, {"a", "b", "c", "d"}));
        SelectionEntry e = c.entry;
        e.node = grid;
        Select(e);
        Type('z');
        EXPECT_EQ(tree(), c.result);
        ExpectWellFormed(record.m_root);
        EXPECT_FALSE(selection().empty());
    }
}

TEST_F(MatrixEditTest, Backspacing) {
    struct Case {
        int32_t rows;
        int32_t columns;
        std::vector<const char*> words;
        SelectionEntry entry;
        int32_t code;
        const char* result;
        size_t carets = 1;
    };
    const Case cases[] = {
        // Before column 0 the deletion leaves the grid and takes the item before it.
        {2, 2, {"p", "q", "r", "s"}, {nullptr, 0, 0, 0, 2}, kCmdBackspace, "[{p,q;r,s}|b]"},
        // Between columns 1 and 2 it deletes column 1.
        {2,
         3,
         {"p", "q", "r", "s", "t", "u"},
         {nullptr, 2, 2, 0, 2},
         kCmdBackspace,
         "[a|{p,r;s,u}|b]"},
        // Between rows it deletes the row above.
        {3, 1, {"p", "q", "r"}, {nullptr, 0, 1, 2, 2}, kCmdBackspace, "[a|{p;r}|b]"},
        // Selected rows go.
        {3, 2, {"p", "q", "r", "s", "t", "u"}, {nullptr, 0, 2, 0, 2}, kCmdClear, "[a|{t,u}|b]"},
        // One column of a 1 × 2 grid leaves one cell, which collapses into the row.
        {1, 2, {"p", "q"}, {nullptr, 1, 2, 0, 1}, kCmdClear, "[a|p|b]"},
        // A block inside the grid is emptied to placeholders.
        {3,
         3,
         {"p", "q", "r", "s", "t", "u", "v", "w", "x"},
         {nullptr, 1, 3, 0, 2},
         kCmdClear,
         "[a|{p,?,?;s,?,?;v,w,x}|b]",
         4},
        // The whole grid goes.
        {2, 2, {"p", "q", "r", "s"}, {nullptr, 0, 2, 0, 2}, kCmdClear, "[a|b]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        eMatrix* grid = UseGrid(Grid(c.rows, c.columns, c.words));
        SelectionEntry e = c.entry;
        e.node = grid;
        Select(e);
        DoCommand(c.code, 0);
        EXPECT_EQ(tree(), c.result);
        ExpectWellFormed(record.m_root);
        EXPECT_EQ(selection().size(), c.carets);
        for (const SelectionEntry& caret : selection()) {
            EXPECT_NE(caret.node, nullptr);
            EXPECT_TRUE(caret.start == caret.end || caret.rowStart == caret.rowEnd);
        }
    }
}

TEST_F(MatrixEditTest, BackspaceAtTheStartOfACellJoinsItToTheCellBefore) {
    // Row 1 holds only "r": it moves to the end of cell (0, 1) and row 1 goes.
    eMatrix* grid = UseGrid(Grid(2, 2, {"p", "q", "r", ""}));
    eExpr* cell = grid->getCell(1, 0);
    Select({cell, 0, 0, 0, 0});
    DoCommand(kCmdBackspace, 0);
    EXPECT_EQ(tree(), "[a|{p,q|r}|b]");
    ExpectWellFormed(record.m_root);
    auto* now = static_cast<eMatrix*>(expression()->getChild(1));
    EXPECT_EQ(selection(), (Entries{{now->getCell(0, 1), 1, 1, 0, 0}}));

    // In a one-row grid the joined column goes; the last cell left collapses into the row.
    grid = UseGrid(Grid(1, 2, {"p", "q"}));
    Select({grid->getCell(0, 1), 0, 0, 0, 0});
    DoCommand(kCmdBackspace, 0);
    EXPECT_EQ(tree(), "[a|p|q|b]");
    EXPECT_EQ(selection(), (Entries{{expression(), 2, 2, 0, 0}}));

    // The first cell of a grid in the top row has nothing before it: the caret stays.
    for (const char* first : {"p", ""}) {
        grid = UseGrid(Grid(1, 2, {first, ""}));
        const std::string before = tree();
        cell = grid->getCell(0, 0);
        Select({cell, 0, 0, 0, 0});
        DoCommand(kCmdBackspace, 0);
        EXPECT_EQ(tree(), before);
        EXPECT_EQ(selection(), (Entries{{cell, 0, 0, 0, 0}}));
    }
}

TEST_F(MatrixEditTest, PastingAGridTilesItOverTheBlock) {
    eMatrix* grid = UseGrid(Grid(2, 4, {"a", "b", "c", "d", "e", "f", "g", "h"}));
    SelectionEntry e{grid, 0, 4, 0, 1};
    OwnedNode<eSimpString> wrapped = NewSimpStringWith(Grid(1, 2, {"x", "y"}));
    EditResultEntry = SelectionEntry{};
    // Whole row 0 selected: it is replaced by the one row of the pasted grid, tiled twice.
    grid->insert(e, std::move(wrapped));
    EXPECT_EQ(tree(), "[a|{x,y,x,y;e,f,g,h}|b]");
    ExpectWellFormed(record.m_root);
    EXPECT_EQ(EditResultEntry.start, 0);
    EXPECT_EQ(EditResultEntry.end, 4);
    EXPECT_EQ(EditResultEntry.rowEnd, 1);

    // A block of 2 × 4 cells inside a larger grid: tiled twice per row, the grid keeps its size.
    grid = UseGrid(
        Grid(3, 5, {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n", "o"}));
    e = {grid, 0, 4, 0, 2};
    grid->insert(e, Grid(1, 2, {"x", "y"}));
    EXPECT_EQ(tree(), "[a|{x,y,x,y,e;x,y,x,y,j;k,l,m,n,o}|b]");
    // Two whole rows become as many rows as the pasted grid has.
    grid = UseGrid(Grid(3, 2, {"a", "b", "c", "d", "e", "f"}));
    e = {grid, 0, 2, 1, 3};
    grid->insert(e, Grid(1, 2, {"x", "y"}));
    EXPECT_EQ(tree(), "[a|{a,b;x,y}|b]");
    // A row pasted over a column range puts one copy in each cell of one new column.
    grid = UseGrid(Grid(2, 3, {"a", "b", "c", "d", "e", "f"}));
    e = {grid, 1, 3, 0, 2};
    grid->insert(e, Row({"u", "v"}));
    EXPECT_EQ(tree(), "[a|{a,u|v;d,u|v}|b]");
    ExpectWellFormed(record.m_root);
}

TEST_F(MatrixEditTest, AlignmentLinksEveryRowOfTwoGridsIntoOneRing) {
    OwnedNode<eSimpString> row = NewSimpString(3);
    auto* first =
        static_cast<eMatrix*>(row->setChild(0, Grid(2, 3, {"a", "b", "c", "d", "e", "f"})));
    auto* second =
        static_cast<eMatrix*>(row->setChild(1, Grid(2, 3, {"g", "h", "i", "j", "k", "l"})));
    auto* other = static_cast<eMatrix*>(row->setChild(2, Grid(3, 1, {"m", "n", "o"})));
    eExpr* top = row.get();
    Use(std::move(row));
    SelectRange(top, 0, 2, 0, 0);
    EXPECT_EQ(CatchFail([] { LinkRowsCommand(1); }), 0);
    for (int32_t r = 0; r < 2; ++r) {
        auto* anchor = static_cast<eString*>(first->getCell(r, 0));
        for (eMatrix* grid : {first, second})
            for (int32_t c = 0; c < 3; ++c)
                EXPECT_TRUE(InSameRing(anchor, static_cast<eString*>(grid->getCell(r, c))))
                    << r << "," << c;
        // The rows stay apart.
        EXPECT_FALSE(InSameRing(anchor, static_cast<eString*>(second->getCell(1 - r, 0))));
    }
    // Grids of different row counts are not linked.
    ClearSelectionList(record);
    SelectRange(top, 1, 3, 0, 0);
    EXPECT_EQ(CatchFail([] { LinkRowsCommand(1); }), errNothingToLink);
    EXPECT_FALSE(static_cast<eString*>(other->getCell(0, 0))->isLinked());
}

// ---- Structure: rows and columns, copies, destruction -------------------------------------------

class MatrixStructureTest : public ModelTest {};

TEST_F(MatrixStructureTest, ReplacingRowsAndColumnsKeepsTheOtherCellsInPlace) {
    struct Case {
        bool rows;
        int32_t start;
        int32_t end;
        int32_t n;
        const char* result; // of {a,b,c;d,e,f}
    };
    const Case cases[] = {
        {true, 0, 0, 1, "{null,null,null;a,b,c;d,e,f}"},
        {true, 1, 2, 0, "{a,b,c}"},
        {true, 2, 2, 2, "{a,b,c;d,e,f;null,null,null;null,null,null}"},
        {true, 0, 2, 1, "{null,null,null}"},
        {false, 1, 1, 1, "{a,null,b,c;d,null,e,f}"},
        {false, 0, 2, 0, "{c;f}"},
        {false, 1, 3, 1, "{a,null;d,null}"},
        {false, 3, 3, 1, "{a,b,c,null;d,e,f,null}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        OwnedNode<eSimpString> row = NewSimpStringWith(Grid(2, 3, {"a", "b", "c", "d", "e", "f"}));
        auto* grid = static_cast<eMatrix*>(row->getChild(0));
        grid->m_colour = 0x1C;
        grid->m_nudgeX = 3;
        s_destroyed.clear();
        eMatrix* now = c.rows ? grid->replaceRows(c.start, c.end, c.n)
                              : grid->replaceColumns(c.start, c.end, c.n);
        // Opened cells are empty slots until the caller fills them.
        EXPECT_EQ(Dump(now), c.result);
        for (int32_t i = 0; i < now->childCount(); ++i)
            if (now->getChild(i) == nullptr)
                now->setChild(i, NewEmptySimpString());
        EXPECT_EQ(row->getChild(0), now);
        EXPECT_EQ(now->m_colour, 0x1C);
        EXPECT_EQ(now->m_nudgeX, 3);
        ExpectWellFormed(row.get());
        EXPECT_NE(std::find(s_destroyed.begin(), s_destroyed.end(), grid), s_destroyed.end());
    }
}

std::vector<std::string> s_leaves;
int s_empties = 0;

TEST_F(MatrixStructureTest, TraversingASelectionVisitsTheSelectedCells) {
    OwnedNode<eSimpMatrix> grid = Grid(2, 3, {"a", "b", "c", "d", "e", "f"});
    const auto leaf = [](eExpr* node) { s_leaves.push_back(Dump(node)); };
    const auto empty = [](SelectionEntry*) { ++s_empties; };
    struct Case {
        SelectionEntry entry;
        std::vector<std::string> leaves;
        int empties;
    };
    const Case cases[] = {
        {{grid.get(), 1, 3, 0, 2}, {"b", "c", "e", "f"}, 0},
        {{grid.get(), 3, 0, 1, 0}, {"a", "b", "c"}, 0}, // reversed ranges
        {{grid.get(), 0, 3, 0, 2}, {"a", "b", "c", "d", "e", "f"}, 0},
        {{grid.get(), 2, 2, 0, 2}, {}, 1},
        {{grid.get(), 0, 3, 1, 1}, {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.entry.start) + ".." + std::to_string(c.entry.end));
        s_leaves.clear();
        s_empties = 0;
        SelectionEntry e = c.entry;
        grid->traverseSel(e, false, true, nullptr, leaf, empty);
        EXPECT_EQ(s_leaves, c.leaves);
        EXPECT_EQ(s_empties, c.empties);
    }
}

TEST_F(MatrixStructureTest, CopiesAreDeepAndIndependent) {
    OwnedNode<eSimpMatrix> grid = Grid(2, 3, {"a", "b", "c", "d", "e", "f"});
    grid->m_colour = 0xE0;
    ExprPtr copy = grid->deepCopy();
    ASSERT_TRUE(copy->isMatrix());
    EXPECT_EQ(Dump(copy.get()), Dump(grid.get()));
    EXPECT_EQ(copy->m_colour, 0xE0);
    ExpectWellFormed(copy.get());
    for (int32_t i = 0; i < 6; ++i)
        EXPECT_NE(copy->getChild(i), grid->getChild(i));
    // A block copied out is a grid of those cells.
    ExprPtr block = grid->copyOut({grid.get(), 1, 3, 0, 2});
    EXPECT_EQ(Dump(block.get()), "{b,c;e,f}");
    EXPECT_EQ(block->m_colour, 0xE0);
    EXPECT_EQ(grid->copyOut({grid.get(), 1, 1, 0, 2}), nullptr);
    EXPECT_EQ(grid->copyOut({grid.get(), 0, 3, 1, 1}), nullptr);
    // Destroying the copy destroys its cells and their items, and nothing of the original.
    s_destroyed.clear();
    copy.reset();
    EXPECT_EQ(s_destroyed.size(), 1u + 6u + 6u);
    EXPECT_EQ(Dump(grid.get()), "{a,b,c;d,e,f}");
}

TEST_F(MatrixStructureTest, FactoriesRefuseGridsWithoutCells) {
    EXPECT_EQ(NewSimpMatrix(0, 3), nullptr);
    EXPECT_EQ(NewSimpMatrix(2, 0), nullptr);
    EXPECT_EQ(NewSimpMatrix(-1, 2), nullptr);
    EXPECT_EQ(NewSimpMatrix(kMaxMatrixCells, 2), nullptr);
    OwnedNode<eSimpMatrix> ok = NewPlaceholderMatrix(2, 2);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(Dump(ok.get()), "{?,?;?,?}");
    // A replacement that would leave no row is refused and the grid stays as it was.
    eMatrix* same = ok->replaceRows(0, 2, 0);
    EXPECT_EQ(same, ok.get());
    EXPECT_EQ(Dump(ok.get()), "{?,?;?,?}");
}

} // namespace
} // namespace kvtest
