#include "OverSrcs/eNewLine.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eAsian.h"
#include "OverSrcs/eDxMatrix.h"
#include "OverSrcs/eDxStr.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eTreeNode.h"
#include "OverSrcs/eWord.h"
#include "model/EditModelFixture.h"
#include "model/ModelFixture.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace kvtest {
namespace {

// Rows as [a|b], grids as M2x1{cell|cell}, templates as {slot|slot}.
std::string Dump(const eExpr* node) {
    if (node == nullptr)
        return "null";
    if (node->isWord())
        return std::string(static_cast<const eWord*>(node)->view());
    if (const auto* pseudo = dynamic_cast<const ePseudo*>(node))
        return std::string("<") + static_cast<char>(pseudo->m_code) + ">";
    std::string open = node->isString() ? "[" : "{";
    if (node->isMatrix()) {
        const auto* grid = static_cast<const eMatrix*>(node);
        open = std::string("M")
                   .append(std::to_string(grid->rows()))
                   .append("x")
                   .append(std::to_string(grid->columns()))
                   .append("{");
    }
    std::string text = open;
    for (int32_t i = 0; i < node->childCount(); ++i) {
        if (i > 0)
            text += "|";
        text += Dump(node->getChild(i));
    }
    return text + (node->isString() ? "]" : "}");
}

FSSRecord Inherit() {
    FSSRecord style;
    InitFSSRecord(style);
    return style;
}

// A row of words; "_" is a space.
OwnedNode<eSimpString> Row(const std::vector<std::string>& items) {
    OwnedNode<eSimpString> row = NewSimpString(static_cast<int32_t>(items.size()));
    for (size_t i = 0; i < items.size(); ++i)
        row->setChild(static_cast<int32_t>(i), items[i] == "_"
                                                   ? ExprPtr(NewPseudo(kPseudoSpace, nullptr, 0))
                                                   : ExprPtr(NewWord(items[i], 0, Inherit(), 0)));
    return row;
}

class NewLineTest : public EditModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        SetLoggedInformation("");
        installCommands();
        AutoSpaceOption = 0;
        openRecord();
    }
    // The expression becomes a row holding the node.
    eExpr* put(ExprPtr node) {
        ClearSelectionList(m_record);
        m_record.m_root->setChild(0, NewSimpStringWith(std::move(node)));
        return expression()->getChild(0);
    }
    std::string tree() const { return Dump(expression()); }
};

// ---- Splitting a word inside a template slot ----

struct BreakCase {
    const char* name;
    std::vector<std::string> numerator;
    int32_t item;  // the selected node: this item of the numerator, -1 the numerator row
    int32_t start; // the entry's range in it
    int32_t end;
    int32_t code;
    const char* expected;
    const char* caretRowText; // the row that holds the caret afterwards, at its start
};
void PrintTo(const BreakCase& c, std::ostream* os) {
    *os << c.name;
}

class BreakInSlot : public NewLineTest, public ::testing::WithParamInterface<BreakCase> {};

TEST_P(BreakInSlot, NumeratorBecomesAGridOfItsTwoParts) {
    const BreakCase& c = GetParam();
    eExpr* fraction = put(NewFraction(Row(c.numerator), Row({"z"})));
    eExpr* numerator = fraction->getChild(0);
    eExpr* node = c.item < 0 ? numerator : numerator->getChild(c.item);
    select({node, c.start, c.end, 0, 0});
    DoCommand(c.code, 0);
    EXPECT_EQ(tree(), c.expected);
    const SelectionEntry at = caret();
    EXPECT_EQ(Dump(at.node), c.caretRowText);
    EXPECT_EQ(at.start, 0);
    EXPECT_EQ(at.end, 0);
    EXPECT_EQ(LoggedInformation(), "");
    // All of it is one edit step.
    ASSERT_TRUE(UndoLastEdit());
    EXPECT_EQ(Dump(expression()->getChild(0)->getChild(0)), Dump(Row(c.numerator).get()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BreakInSlot,
    ::testing::Values(
        BreakCase{
            "PileInsideAWord", {"abcd"}, 0, 2, 2, kCmdNewLine, "[{[M2x1{[ab]|[cd]}]|[z]}]", "[cd]"},
        BreakCase{"FieldsInsideAWord",
                  {"abcd"},
                  0,
                  2,
                  2,
                  kCmdNewField,
                  "[{[M1x2{[ab]|[cd]}]|[z]}]",
                  "[cd]"},
        BreakCase{"CaretAtTheEndOfAWord",
                  {"x", "+", "y"},
                  0,
                  1,
                  1,
                  kCmdNewLine,
                  "[{[M2x1{[x]|[+|y]}]|[z]}]",
                  "[+|y]"},
        BreakCase{"CaretAtTheStartOfAWord",
                  {"x", "+", "y"},
                  2,
                  0,
                  0,
                  kCmdNewLine,
                  "[{[M2x1{[x|+]|[y]}]|[z]}]",
                  "[y]"},
        BreakCase{"SelectedTextGoesFirst",
                  {"abcd"},
                  0,
                  1,
                  3,
                  kCmdNewLine,
                  "[{[M2x1{[a]|[d]}]|[z]}]",
                  "[d]"},
        BreakCase{"WholeWordSelected",
                  {"x", "+", "y"},
                  1,
                  0,
                  1,
                  kCmdNewLine,
                  "[{[M2x1{[x]|[y]}]|[z]}]",
                  "[y]"},
        BreakCase{"SelectedItemsOfTheRow",
                  {"x", "+", "y"},
                  -1,
                  1,
                  2,
                  kCmdNewField,
                  "[{[M1x2{[x]|[y]}]|[z]}]",
                  "[y]"},
        BreakCase{
            "CaretAtTheEndOfTheRow", {"x"}, -1, 1, 1, kCmdNewLine, "[{[M2x1{[x]|[]}]|[z]}]", "[]"}),
    [](const ::testing::TestParamInfo<BreakCase>& info) { return std::string(info.param.name); });

TEST_F(NewLineTest, PilesAndFieldsAreRuledGridsInTheFirstPartsColour) {
    for (int32_t code : {kCmdNewLine, kCmdNewField}) {
        SCOPED_TRACE(code);
        OwnedNode<eSimpString> numerator = Row({"ab", "cd"});
        numerator->m_colour = 0xE0;
        eExpr* fraction = put(NewFraction(std::move(numerator), Row({"z"})));
        select({fraction->getChild(0), 1, 1, 0, 0});
        DoCommand(code, 0);
        const eExpr* holder = expression()->getChild(0)->getChild(0);
        ASSERT_EQ(holder->childCount(), 1);
        ASSERT_TRUE(holder->getChild(0)->isDxMatrix());
        const auto* grid = static_cast<const eDxMatrix*>(holder->getChild(0));
        EXPECT_EQ(grid->m_colour, 0xE0);
        EXPECT_EQ(grid->m_separateRows, 1);
        EXPECT_EQ(grid->m_separateColumns, 1);
        // Only a pile is set tight; both keep the centred, baseline-aligned default.
        EXPECT_EQ(grid->m_tight, code == kCmdNewLine ? 1 : 0);
        EXPECT_EQ(grid->m_hAlign, kHAlignCentre);
        EXPECT_EQ(grid->m_vAlign, kVAlignBaseline);
    }
}

TEST_F(NewLineTest, RuledTextStaysRuledAndFlushLeft) {
    OwnedNode<eDxString> ruled = NewDxString(2, nullptr);
    ruled->setChild(0, NewWord("ab", 0, Inherit(), 0));
    ruled->setChild(1, NewWord("cd", 0, Inherit(), 0));
    eExpr* fraction = put(NewFraction(std::move(ruled), Row({"z"})));
    select({fraction->getChild(0), 1, 1, 0, 0});
    DoCommand(kCmdNewLine, 0);
    const eExpr* holder = expression()->getChild(0)->getChild(0);
    EXPECT_TRUE(holder->isDxString());
    ASSERT_TRUE(holder->getChild(0)->isDxMatrix());
    const auto* grid = static_cast<const eDxMatrix*>(holder->getChild(0));
    EXPECT_EQ(grid->m_hAlign, kHAlignLeft);
    EXPECT_TRUE(grid->getCell(0, 0)->isDxString());
    EXPECT_TRUE(grid->getCell(1, 0)->isDxString());
    EXPECT_EQ(Dump(grid), "M2x1{[ab]|[cd]}");
}

TEST_F(NewLineTest, TopRowOfTheExpressionBecomesAPile) {
    m_record.m_root->setChild(0, Row({"ab", "+", "c"}));
    select({expression()->getChild(1), 1, 1, 0, 0});
    DoCommand(kCmdNewLine, 0);
    EXPECT_EQ(tree(), "[M2x1{[ab|+]|[c]}]");
    EXPECT_EQ(Dump(caret().node), "[c]");
}

TEST_F(NewLineTest, DoubleByteWordsSplitOnWholeCharacters) {
    std::string text = AsianBytesOf(0xA6C1) + AsianBytesOf(0xA6C2);
    eExpr* word = put(newAsian(text, 0, Inherit(), 0));
    select({word, 3, 3, 0, 0}); // inside the second character: rounds down to it
    DoCommand(kCmdNewLine, 0);
    const eExpr* grid = expression()->getChild(0);
    ASSERT_TRUE(grid->isMatrix());
    ASSERT_EQ(grid->getChild(0)->childCount(), 1);
    ASSERT_EQ(grid->getChild(1)->childCount(), 1);
    const auto* upper = static_cast<const eWord*>(grid->getChild(0)->getChild(0));
    const auto* lower = static_cast<const eWord*>(grid->getChild(1)->getChild(0));
    EXPECT_TRUE(upper->isDoubleByte());
    EXPECT_TRUE(lower->isDoubleByte());
    EXPECT_EQ(AsianCodeAt(upper, 0), 0xA6C1);
    EXPECT_EQ(upper->length(), 2);
    EXPECT_EQ(AsianCodeAt(lower, 0), 0xA6C2);
    EXPECT_EQ(lower->length(), 2);
}

// ---- Grids ----

class GridBreakTest : public NewLineTest {
protected:
    // A 2 x 2 grid of one-word cells a, b / c, d in the expression row.
    eMatrix* grid(const char* first = "pq") {
        OwnedNode<eSimpMatrix> m = NewSimpMatrix(2, 2);
        const char* words[] = {first, "b", "c", "d"};
        for (int32_t i = 0; i < 4; ++i)
            m->setChild(i, Row({words[i]}));
        return static_cast<eMatrix*>(put(std::move(m)));
    }
    eMatrix* current() const { return static_cast<eMatrix*>(expression()->getChild(0)); }
};

TEST_F(GridBreakTest, NewRowInACellAddsARowBelowItsRow) {
    eMatrix* m = grid();
    select({m->getCell(0, 0)->getChild(0), 1, 1, 0, 0});
    DoCommand(kCmdNewLine, 0);
    EXPECT_EQ(tree(), "[M3x2{[p]|[b]|[q]|[?]|[c]|[d]}]");
    EXPECT_EQ(caret().node, current()->getCell(1, 0));
    EXPECT_EQ(caret().start, 0);
    ASSERT_TRUE(UndoLastEdit());
    EXPECT_EQ(tree(), "[M2x2{[pq]|[b]|[c]|[d]}]");
}

TEST_F(GridBreakTest, NewFieldMovesTheTextIntoTheNextCell) {
    eMatrix* m = grid();
    select({m->getCell(0, 0)->getChild(0), 1, 1, 0, 0});
    DoCommand(kCmdNewField, 0);
    EXPECT_EQ(tree(), "[M2x2{[p]|[q|b]|[c]|[d]}]");
    const SelectionEntry at = caret();
    EXPECT_EQ(at.node, current()->getCell(0, 1));
    EXPECT_EQ(at.start, 0);
    EXPECT_EQ(at.end, 2);
}

TEST_F(GridBreakTest, NewFieldInTheLastColumnAddsAColumn) {
    eMatrix* m = grid();
    select({m->getCell(1, 1), 1, 1, 0, 0});
    DoCommand(kCmdNewField, 0);
    EXPECT_EQ(tree(), "[M2x3{[pq]|[b]|[?]|[c]|[d]|[]}]");
    EXPECT_EQ(caret().node, current()->getCell(1, 2));
}

TEST_F(GridBreakTest, NewRowOverWholeRowsReplacesThem) {
    eMatrix* m = grid();
    select({m, 0, 2, 0, 1});
    DoCommand(kCmdNewLine, 0);
    EXPECT_EQ(tree(), "[M2x2{[]|[?]|[c]|[d]}]");
    EXPECT_EQ(caret().node, current()->getCell(0, 0));
}

TEST_F(GridBreakTest, NewFieldAtTheLeftEdgeStaysInsideTheGrid) {
    eMatrix* m = grid();
    select({m, 0, 0, 0, 2}); // a caret line before the first column, all rows
    DoCommand(kCmdNewField, 0);
    // Column line 0 names no column before it: the new column goes first, and the new cell takes
    // the last row of the entry.
    EXPECT_EQ(tree(), "[M2x3{[?]|[pq]|[b]|[]|[c]|[d]}]");
    EXPECT_EQ(caret().node, current()->getCell(1, 0));
}

// ---- Expandable templates ----

TEST_F(NewLineTest, NewFieldInATreeNodeAddsASlotUpToFifteen) {
    OwnedNode<eTreeNode> node = NewTreeNode(Row({"root"}), 2);
    node->setChild(1, Row({"leftright"}));
    eExpr* placed = put(std::move(node));
    select({placed->getChild(1)->getChild(0), 4, 4, 0, 0});
    DoCommand(kCmdNewField, 0);
    const eExpr* grown = expression()->getChild(0);
    ASSERT_EQ(grown->childCount(), 3);
    EXPECT_EQ(Dump(grown), "{[root]|[left]|[right]}");
    EXPECT_EQ(caret().node, grown->getChild(2));
    EXPECT_EQ(caret().end, 1);

    OwnedNode<eTreeNode> full = NewTreeNode(Row({"r"}), 15);
    for (int32_t i = 1; i < 15; ++i)
        full->setChild(i, Row({"s"}));
    eExpr* fullPlaced = put(std::move(full));
    select({fullPlaced->getChild(14), 1, 1, 0, 0});
    const int32_t beeps = CommandBeepCount();
    DoCommand(kCmdNewField, 0);
    EXPECT_GT(CommandBeepCount(), beeps);
    EXPECT_EQ(expression()->getChild(0), fullPlaced);
    EXPECT_EQ(fullPlaced->childCount(), 15);
}

} // namespace
} // namespace kvtest
