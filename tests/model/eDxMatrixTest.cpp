#include "OverSrcs/eDxMatrix.h"

#include "OverSrcs/WhereChr.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eWord.h"
#include "model/ModelFixture.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace kvtest {
namespace {

ExprPtr Cell(const char* text, int32_t points = 12) {
    if (*text == 0)
        return NewEmptySimpString();
    return NewSimpStringWith(NewWord(text, 0, SizedStyle(points), 0));
}

OwnedNode<eDxMatrix> Ruled(int32_t rows, int32_t columns, std::vector<const char*> words,
                           std::vector<int32_t> points = {}) {
    OwnedNode<eDxMatrix> grid = NewDxMatrix(rows, columns, nullptr);
    for (int32_t i = 0; i < rows * columns; ++i) {
        const char* w = i < static_cast<int32_t>(words.size()) ? words[i] : "";
        const int32_t p = i < static_cast<int32_t>(points.size()) ? points[i] : 12;
        grid->setChild(i, Cell(w, p));
    }
    return grid;
}

// One drawn grid-line piece.
struct Piece {
    int32_t style;
    int32_t x1, y1, x2, y2;
    bool operator==(const Piece&) const = default;
    bool operator<(const Piece& o) const {
        return std::tie(x1, y1, x2, y2, style) < std::tie(o.x1, o.y1, o.x2, o.y2, o.style);
    }
};

std::vector<Piece> Pieces(const RecordingPort& port) {
    std::vector<Piece> pieces;
    Piece current{};
    for (const std::string& call : port.calls()) {
        int32_t a = 0, b = 0, width = 0, style = 0;
        if (std::sscanf(call.c_str(), "startDeluxeLine width=%d color=%*s style=%d", &width,
                        &style) == 2)
            current.style = style;
        else if (std::sscanf(call.c_str(), "moveTo %d,%d", &a, &b) == 2) {
            current.x1 = a;
            current.y1 = b;
        } else if (std::sscanf(call.c_str(), "lineTo %d,%d", &a, &b) == 2) {
            current.x2 = a;
            current.y2 = b;
            pieces.push_back(current);
        }
    }
    return pieces;
}

class RuledMatrixTest : public ModelTest {};

TEST_F(RuledMatrixTest, ANewGridSharesTheTallestRowAndWidestColumnParts) {
    // Baseline alignment, centred columns, no separate rows or columns.
    OwnedNode<eDxMatrix> grid = Ruled(2, 2, {"x", "WWWW", "Ty", "i"}, {12, 24, 18, 12});
    Measure(grid.get());
    int32_t A = 0, D = 0, L = 0, R = 0, S = 6;
    for (int32_t i = 0; i < 4; ++i) {
        const eExpr* c = grid->getChild(i);
        A = std::max(A, c->m_zone.ref1);
        D = std::max(D, c->height() - c->m_zone.ref1);
        L = std::max(L, c->width() / 2);
        R = std::max(R, c->width() - c->width() / 2);
        S = std::max(S, c->m_size);
    }
    const int32_t t = std::max(1, S / 32);
    const int32_t e = S / 8;
    // Every row and column band is a line thickness plus the shared parts and two margins.
    for (int32_t i = 0; i <= 2; ++i) {
        EXPECT_EQ(grid->rowLineY(i), i * (t + A + D + 2 * e));
        EXPECT_EQ(grid->columnLineX(i), i * (t + L + R + 2 * e));
    }
    EXPECT_EQ(grid->width(), grid->columnLineX(2) + t);
    EXPECT_EQ(grid->height(), grid->rowLineY(2) + t);
    for (int32_t r = 0; r < 2; ++r) {
        for (int32_t c = 0; c < 2; ++c) {
            SCOPED_TRACE(std::to_string(r) + "," + std::to_string(c));
            const eExpr* cell = grid->getCell(r, c);
            // On the row's common axis, centred on the column's centre line.
            EXPECT_EQ(cell->m_zone.top + cell->m_zone.ref1, grid->rowLineY(r) + t + e + A);
            const int32_t centre = grid->columnLineX(c) + t + e + L;
            const int32_t mid2 = cell->m_zone.left + cell->m_zone.right;
            EXPECT_LE(std::abs(mid2 - 2 * centre), 1);
        }
    }
    // Two rows: the axis lies midway between the bottom of row 0 and the top of row 1.
    EXPECT_EQ(grid->m_zone.ref1,
              (grid->getCell(0, 0)->m_zone.bottom + grid->getCell(1, 0)->m_zone.top) / 2);
    EXPECT_EQ(grid->m_size, S);
}

TEST_F(RuledMatrixTest, SeparateRowsAndColumnsKeepTheirOwnSizes) {
    OwnedNode<eDxMatrix> grid = Ruled(2, 2, {"x", "WWWW", "Ty", "i"}, {12, 24, 18, 12});
    grid->m_separateRows = 1;
    grid->m_separateColumns = 1;
    Measure(grid.get());
    const int32_t S = grid->m_size;
    const int32_t t = std::max(1, S / 32);
    const int32_t e = S / 8;
    for (int32_t r = 0; r < 2; ++r) {
        const eExpr* a = grid->getCell(r, 0);
        const eExpr* b = grid->getCell(r, 1);
        const int32_t asc = std::max(a->m_zone.ref1, b->m_zone.ref1);
        const int32_t desc = std::max(a->height() - a->m_zone.ref1, b->height() - b->m_zone.ref1);
        EXPECT_EQ(grid->rowLineY(r + 1) - grid->rowLineY(r), t + asc + desc + 2 * e);
    }
    for (int32_t c = 0; c < 2; ++c) {
        const eExpr* a = grid->getCell(0, c);
        const eExpr* b = grid->getCell(1, c);
        const int32_t left = std::max(a->width() / 2, b->width() / 2);
        const int32_t right = std::max(a->width() - a->width() / 2, b->width() - b->width() / 2);
        EXPECT_EQ(grid->columnLineX(c + 1) - grid->columnLineX(c), t + left + right + 2 * e);
    }
}

TEST_F(RuledMatrixTest, CellsAlignOnTheFirstOccurrenceOfTheCharacter) {
    OwnedNode<eDxMatrix> grid = Ruled(4, 1, {"a=b", "xxxx=y", "z", "=WW"});
    grid->m_hAlign = '=';
    Measure(grid.get());
    const eExpr* first = grid->getCell(0, 0);
    const int32_t at = first->m_zone.left + WhereCharOrCentre(const_cast<eExpr*>(first), '=');
    for (int32_t r : {1, 3}) {
        eExpr* cell = grid->getCell(r, 0);
        ASSERT_GE(cell->whereChar('='), 0);
        EXPECT_EQ(cell->m_zone.left + cell->whereChar('='), at) << r;
    }
    // Without the character the cell is aligned on its centre.
    eExpr* none = grid->getCell(2, 0);
    ASSERT_LT(none->whereChar('='), 0);
    EXPECT_EQ(none->m_zone.left + none->width() / 2, at);
}

TEST_F(RuledMatrixTest, LeftRightTopAndBottomAlignment) {
    OwnedNode<eDxMatrix> grid = Ruled(2, 1, {"i", "WWWW"}, {12, 24});
    for (uint8_t h : {kHAlignLeft, kHAlignRight}) {
        for (uint8_t v : {kVAlignTop, uint8_t{7}}) {
            SCOPED_TRACE(std::to_string(h) + " " + std::to_string(v));
            grid->m_hAlign = h;
            grid->m_vAlign = v;
            grid->m_separateRows = 0;
            InvalidateTree(grid.get());
            Measure(grid.get());
            const int32_t t = std::max(1, grid->m_size / 32);
            const int32_t e = grid->m_size / 8;
            const eExpr* narrow = grid->getCell(0, 0);
            const eExpr* wide = grid->getCell(1, 0);
            if (h == kHAlignLeft)
                EXPECT_EQ(narrow->m_zone.left, wide->m_zone.left);
            else
                EXPECT_EQ(narrow->m_zone.right, wide->m_zone.right);
            // Both rows share the tallest height; the short cell sits at its top or bottom.
            if (v == kVAlignTop)
                EXPECT_EQ(narrow->m_zone.top, t + e);
            else
                EXPECT_EQ(narrow->m_zone.bottom, grid->rowLineY(1) - e);
        }
    }
}

TEST_F(RuledMatrixTest, TightLeavesOutTheOuterMargin) {
    OwnedNode<eDxMatrix> grid = Ruled(3, 3, {"a", "bb", "c", "d", "e", "ff", "g", "h", "i"});
    grid->m_tight = 1;
    grid->m_vAlign = kVAlignTop;
    grid->m_hAlign = kHAlignLeft;
    Measure(grid.get());
    const int32_t t = std::max(1, grid->m_size / 32);
    const int32_t e = grid->m_size / 8;
    ASSERT_GT(e, 0);
    // First row and column touch the top and left bands.
    EXPECT_EQ(grid->getCell(0, 0)->m_zone.top, t);
    EXPECT_EQ(grid->getCell(0, 0)->m_zone.left, t);
    // Middle rows and columns keep a margin on both sides.
    EXPECT_EQ(grid->getCell(1, 1)->m_zone.top, grid->rowLineY(1) + t + e);
    EXPECT_EQ(grid->getCell(1, 1)->m_zone.left, grid->columnLineX(1) + t + e);
    // The last row and column have all their margin before them, none after.
    const int32_t lastBand = grid->rowLineY(3) - grid->rowLineY(2);
    const int32_t middleBand = grid->rowLineY(2) - grid->rowLineY(1);
    EXPECT_EQ(middleBand - lastBand, e);
    EXPECT_EQ(grid->getCell(2, 2)->m_zone.top, grid->rowLineY(2) + t + e);
    EXPECT_EQ(grid->getCell(2, 2)->m_zone.left, grid->columnLineX(2) + t + e);
}

TEST_F(RuledMatrixTest, LinesAreDrawnOnlyForTheFirstEightLines) {
    struct Case {
        int32_t rows;
        int32_t horizontal; // row lines drawn × columns
        int32_t vertical;   // rows drawn × column lines
        bool bottomEdge;
    };
    for (const Case& c : {Case{7, 8 * 2, 7 * 3, true}, Case{8, 8 * 2, 8 * 3, false},
                          Case{10, 8 * 2, 8 * 3, false}, Case{20, 8 * 2, 8 * 3, false}}) {
        SCOPED_TRACE(c.rows);
        OwnedNode<eDxMatrix> grid = Ruled(c.rows, 2, {});
        for (uint32_t& w : grid->m_hStyles)
            w = 0xFFFF5555u; // every piece solid; the upper half carries nothing
        for (uint32_t& w : grid->m_vStyles)
            w = 0x5555u;
        Measure(grid.get());
        port->clear();
        DrawExpr(grid.get(), port.get(), 0, 0, 0, 0, 10, 20);
        const std::vector<Piece> pieces = Pieces(*port);
        int32_t horizontal = 0, vertical = 0;
        bool bottom = false;
        for (const Piece& p : pieces) {
            EXPECT_EQ(p.style, 0); // solid
            if (p.y1 == p.y2) {
                ++horizontal;
                bottom = bottom || p.y1 == 20 + grid->rowLineY(c.rows);
            } else {
                ++vertical;
                EXPECT_EQ(p.x1, p.x2);
            }
        }
        EXPECT_EQ(horizontal, c.horizontal);
        EXPECT_EQ(vertical, c.vertical);
        EXPECT_EQ(bottom, c.bottomEdge);
        EXPECT_EQ(port->protocolErrors(), 0);
        // Every row shares one band, however many rows there are.
        for (int32_t r = 1; r <= c.rows; ++r)
            EXPECT_EQ(grid->rowLineY(r) - grid->rowLineY(r - 1), grid->rowLineY(1)) << r;
    }
}

TEST_F(RuledMatrixTest, EachPieceHasItsOwnStyle) {
    OwnedNode<eDxMatrix> grid = Ruled(2, 2, {"a", "b", "c", "d"});
    grid->m_hStyles[0] = 1u << 2; // top edge over column 1: solid
    grid->m_hStyles[1] = 2u;      // middle line over column 0: dashed
    grid->m_vStyles[1] = 3u << 4; // right edge beside row 1: dashed too
    Measure(grid.get());
    port->clear();
    DrawExpr(grid.get(), port.get(), 0, 0, 0, 0, 0, 0);
    const auto x = [&](int32_t i) { return grid->columnLineX(i); };
    const auto y = [&](int32_t i) { return grid->rowLineY(i); };
    const std::vector<Piece> pieces = Pieces(*port);
    const std::set<Piece> got(pieces.begin(), pieces.end());
    const std::set<Piece> want = {
        {0, x(1), y(0), x(2), y(0)}, {1, x(0), y(1), x(1), y(1)}, {1, x(2), y(1), x(2), y(2)}};
    EXPECT_EQ(got.size(), pieces.size());
    EXPECT_TRUE(got == want);
}

TEST_F(RuledMatrixTest, RowsAndColumnsReplacedKeepAttributesAndStylesByLineIndex) {
    OwnedNode<eSimpString> row = NewSimpStringWith(Ruled(2, 2, {"a", "b", "c", "d"}));
    auto* grid = static_cast<eDxMatrix*>(row->getChild(0));
    grid->m_vAlign = 0;
    grid->m_hAlign = '.';
    grid->m_tight = 1;
    grid->m_separateRows = 1;
    grid->m_separateColumns = 1;
    grid->m_colour = 0x03;
    grid->m_hStyles[0] = 0x5;
    grid->m_vStyles[7] = 0xABCD0000u;
    eMatrix* now = grid->replaceRows(0, 0, 1);
    now->setCell(0, 0, Cell("n"));
    now->setCell(0, 1, Cell("m"));
    ASSERT_TRUE(now->isDxMatrix());
    auto* ruled = static_cast<eDxMatrix*>(now);
    EXPECT_EQ(row->getChild(0), now);
    EXPECT_EQ(now->m_rows, 3);
    EXPECT_EQ(ruled->m_vAlign, 0);
    EXPECT_EQ(ruled->m_hAlign, '.');
    EXPECT_EQ(ruled->m_tight, 1);
    EXPECT_EQ(ruled->m_separateRows, 1);
    EXPECT_EQ(ruled->m_separateColumns, 1);
    EXPECT_EQ(ruled->m_colour, 0x03);
    // The top edge line stays at line 0, now above the new row.
    EXPECT_EQ(ruled->m_hStyles[0], 0x5u);
    EXPECT_EQ(ruled->m_vStyles[7], 0xABCD0000u);
    EXPECT_EQ(ruled->horizontalStyle(0, 0), kGridLineSolid);
    EXPECT_EQ(ruled->horizontalStyle(0, 1), kGridLineSolid);
    EXPECT_EQ(ruled->horizontalStyle(1, 0), kGridLineNone);

    // A block copied out is a ruled grid with the same attributes.
    ExprPtr block = now->copyOut({now, 1, 2, 0, 2});
    ASSERT_TRUE(block && block->isDxMatrix());
    EXPECT_EQ(static_cast<eDxMatrix*>(block.get())->m_hAlign, '.');
    EXPECT_EQ(block->childCount(), 2);
    EXPECT_EQ(now->copyOut({now, 1, 1, 0, 2}), nullptr);
}

TEST_F(RuledMatrixTest, RescaleRoundsEveryStoredLineToTheNearestUnit) {
    OwnedNode<eDxMatrix> grid = Ruled(2, 3, {"a", "b", "c", "d", "e", "f"});
    Measure(grid.get());
    std::vector<int32_t> before;
    for (int32_t i = 0; i <= 2; ++i)
        before.push_back(grid->rowLineY(i));
    for (int32_t i = 0; i <= 3; ++i)
        before.push_back(grid->columnLineX(i));
    ExprPtr copy = grid->deepCopy();
    auto* other = static_cast<eDxMatrix*>(copy.get());
    // The copy carries the laid-out lines.
    EXPECT_EQ(other->rowLineY(2), grid->rowLineY(2));

    for (auto [num, den] : {std::pair{2, 1}, std::pair{3, 2}, std::pair{1, 3}}) {
        SCOPED_TRACE(std::to_string(num) + "/" + std::to_string(den));
        OwnedNode<eDxMatrix> g = Ruled(2, 3, {"a", "b", "c", "d", "e", "f"});
        Measure(g.get());
        MagnificationNum = num;
        MagnificationDen = den;
        DrawState.absZone = Zone{};
        g->rescale();
        for (int32_t i = 0; i <= 2; ++i)
            EXPECT_EQ(g->rowLineY(i), (before[i] * num + den / 2) / den);
        for (int32_t i = 0; i <= 3; ++i)
            EXPECT_EQ(g->columnLineX(i), (before[3 + i] * num + den / 2) / den);
    }
}

TEST_F(RuledMatrixTest, FactoryWithAndWithoutAModel) {
    OwnedNode<eDxMatrix> plain = NewDxMatrix(2, 3, nullptr);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->m_vAlign, kVAlignBaseline);
    EXPECT_EQ(plain->m_hAlign, kHAlignCentre);
    EXPECT_EQ(plain->m_tight, 0);
    for (int32_t i = 0; i < 8; ++i)
        EXPECT_EQ(plain->m_hStyles[i] | plain->m_vStyles[i], 0u);
    for (int32_t i = 0; i < 6; ++i)
        EXPECT_EQ(plain->getChild(i), nullptr);
    EXPECT_TRUE(plain->isDxMatrix());
    EXPECT_TRUE(plain->isMatrix());
    EXPECT_EQ(NewDxMatrix(0, 1, nullptr), nullptr);
    EXPECT_EQ(NewDxMatrix(1, kMaxMatrixCells + 1, nullptr), nullptr);
}

} // namespace
} // namespace kvtest
