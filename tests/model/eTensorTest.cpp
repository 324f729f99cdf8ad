#include "OverSrcs/eTensor.h"

#include "OverSrcs/eHeader.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eTreeNode.h"
#include "model/eScriptFixture.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

// Metrics as in the scripts tests: a 12-point "T" is 8 wide, size 13, axis 7, bottom 13, baseline
// 10 (rise 1, drop 10); 9-point indices have size 10, axis 4, bottom 10; "i" and "j" are 2 wide,
// "n" 4.
class eTensorTest : public ScriptTest {
protected:
    // A tensor of the symbol and indices with that kind, in a row under a header.
    eTensor* MakeInTree(int32_t kind, const std::vector<std::string>& indices) {
        OwnedNode<eTensor> t = NewTensor(Row("T"), static_cast<int32_t>(indices.size()) + 1);
        t->m_kind = kind;
        for (size_t i = 0; i < indices.size(); ++i)
            t->setChild(static_cast<int32_t>(i) + 1, Row(indices[i]));
        OwnedNode<eSimpString> row = NewSimpString(1);
        eExpr* placed = row->setChild(0, std::move(t));
        m_root = NewHeader(std::move(row), nullptr);
        Measure(m_root.get());
        return static_cast<eTensor*>(placed);
    }
    OwnedNode<eHeader> m_root;
};

TEST_F(eTensorTest, ANewTensorHasItsFirstIndexUpperAtTheSuperscriptSeparation) {
    eTensor* t = MakeInTree(kNewTensorKind, {"i"});
    EXPECT_EQ(t->getChild(1)->m_size, 10);
    // U = 4, L = 0; above = 4 - 1 = 3, below = max(10 - 13 + 0, 0) = 0.
    EXPECT_EQ(ShapeText(t->m_zone), "0,0,11,16;10,13");
    EXPECT_EQ(AtText(t->getChild(0)), "0,3");
    EXPECT_EQ(AtText(t->getChild(1)), "9,0"); // 8 + (10 * 8 >> 6), U - 4
    EXPECT_EQ(t->m_size, 13);
}

TEST_F(eTensorTest, HidingAnIndexMakesItLowerAndMovesIt) {
    TypesettingSettings.subscriptSeparation = 16;
    eTensor* t = MakeInTree(kNewTensorKind, {"i"});
    t->showPart(false, 1);
    EXPECT_EQ(t->m_kind, 0);
    EXPECT_FALSE(t->isLaidOut());
    EXPECT_FALSE(m_root->isLaidOut());
    ASSERT_EQ(s_finished.size(), 1u);
    EXPECT_EQ(s_finished[0], t);
    MeasureExprWithOptions(m_root.get(), port.get(), 0, 0, 0, 0);
    // U = 0, L = 10 - 4 = 6; above 0, below = 10 - 13 + 6 = 3; the index at
    // (8 + (10 * 16 >> 6), 16 - 4 - 6).
    EXPECT_EQ(ShapeText(t->m_zone), "0,0,12,16;7,10");
    EXPECT_EQ(AtText(t->getChild(1)), "10,6");
    t->showPart(true, 1);
    EXPECT_EQ(t->m_kind, 2);
}

TEST_F(eTensorTest, UpperAndLowerIndicesShareTwoBaselinesInColumnsOfTheirOwn) {
    eTensor* t = MakeInTree(0b1010, {"i", "j", "n"});
    // U = 4, L = 6: above 3, below 3, bottom 19.
    EXPECT_EQ(ShapeText(t->m_zone), "0,0,17,19;10,13");
    EXPECT_EQ(AtText(t->getChild(1)), "9,0");
    EXPECT_EQ(AtText(t->getChild(2)), "11,9"); // 19 - 4 - 6
    EXPECT_EQ(AtText(t->getChild(3)), "13,0");
}

TEST_F(eTensorTest, PartZeroActsOnTheParentAndAtTheRootDoesNothing) {
    // An inner tensor in the row of slot 2 of an outer tensor.
    eTensor* outer = MakeInTree(0, {"i", "j"});
    OwnedNode<eTensor> inner = NewTensor(Row("T"), 2);
    eTensor* in = static_cast<eTensor*>(outer->getChild(2)->setChild(0, std::move(inner)));
    in->showPart(true, 0);
    EXPECT_EQ(in->m_kind, kNewTensorKind);
    EXPECT_EQ(outer->m_kind, 1 << 2);
    OwnedNode<eTensor> root = NewTensor(Row("T"), 2);
    root->showPart(false, 0);
    root->showPart(false, 5); // no such slot
    EXPECT_EQ(root->m_kind, kNewTensorKind);
    EXPECT_EQ(s_finished.size(), 1u);
}

TEST_F(eTensorTest, ReplacingSlotsMovesChildrenWithTheirBits) {
    eTensor* t = MakeInTree(0b1011, {"i", "j", "n"}); // bit 0 kept; indices 1 and 3 upper
    t->m_colour = 0x1C;
    eExpr* row = t->m_parent;
    eExpr* one = t->getChild(1);
    eExpr* three = t->getChild(3);
    eExpr* two = t->getChild(2);
    s_destroyed.clear();
    eExpandable* r = t->replaceSlots(2, 3, 2);
    ASSERT_NE(r, nullptr);
    ASSERT_NE(dynamic_cast<eTensor*>(r), nullptr);
    EXPECT_EQ(row->getChild(0), r);
    EXPECT_EQ(r->m_parent, row);
    EXPECT_EQ(r->childCount(), 5);
    EXPECT_EQ(r->m_kind, 0b10011);
    EXPECT_EQ(r->m_colour, 0x1C);
    EXPECT_EQ(r->getChild(1), one);
    EXPECT_EQ(r->getChild(2), nullptr);
    EXPECT_EQ(r->getChild(3), nullptr);
    EXPECT_EQ(r->getChild(4), three);
    EXPECT_EQ(three->m_parent, r);
    EXPECT_EQ(three->m_index, 4);
    // The old node and the removed slot went; the moved rows did not.
    EXPECT_NE(std::find(s_destroyed.begin(), s_destroyed.end(), t), s_destroyed.end());
    EXPECT_NE(std::find(s_destroyed.begin(), s_destroyed.end(), two), s_destroyed.end());
    EXPECT_EQ(std::find(s_destroyed.begin(), s_destroyed.end(), one), s_destroyed.end());
    EXPECT_FALSE(m_root->isLaidOut());
    MeasureExprWithOptions(m_root.get(), port.get(), 0, 0, 0, 0);
}

TEST_F(eTensorTest, RefusedReplacementsChangeNothing) {
    OwnedNode<eTensor> root = NewTensor(Row("T"), 3);
    root->setChild(1, Row("i"));
    EXPECT_EQ(root->replaceSlots(1, 2, 0), nullptr); // no parent to take the new node
    EXPECT_EQ(root->childCount(), 3);
    ASSERT_NE(root->getChild(1), nullptr);
    eTensor* t = MakeInTree(2, {"i"});
    EXPECT_EQ(t->replaceSlots(0, 1, 0), nullptr);  // slot 0 is never replaced
    EXPECT_EQ(t->replaceSlots(1, 3, 0), nullptr);  // past the end
    EXPECT_EQ(t->replaceSlots(1, 1, 15), nullptr); // beyond what a code can name
    EXPECT_EQ(m_root->getChild(0)->getChild(0), t);
    EXPECT_NE(t->getChild(1), nullptr);
    EXPECT_NE(t->getChild(0), nullptr);
}

TEST_F(eTensorTest, BackspaceJoinsTwoSlotsAndPutsTheCaretAtTheJoin) {
    eTensor* t = MakeInTree(0b110, {"i", "j"});
    eExpr* row = t->m_parent;
    t->getChild(1)->setChild(0, nullptr);
    OwnedNode<eSimpString> two = NewSimpString(2);
    two->setChild(0, Row("a")->detachChild(0));
    two->setChild(1, Row("b")->detachChild(0));
    t->setChild(1, std::move(two));
    t->backspaceAt(2);
    eExpr* reduced = row->getChild(0);
    ASSERT_NE(dynamic_cast<eTensor*>(reduced), nullptr);
    ASSERT_EQ(reduced->childCount(), 2);
    EXPECT_EQ(static_cast<eTensor*>(reduced)->m_kind, 0b10);
    eExpr* joined = reduced->getChild(1);
    EXPECT_EQ(joined->childCount(), 3);
    ASSERT_EQ(s_selected.size(), 1u);
    EXPECT_EQ(s_selected[0], (SelectionEntry{joined, 2, 2, 0, 0}));
    ASSERT_EQ(s_finished.size(), 1u);
    EXPECT_EQ(s_finished[0], reduced);
}

TEST_F(eTensorTest, BackspaceInATwoSlotTensorDissolvesItIntoItsRow) {
    eTensor* t = MakeInTree(2, {"i"});
    eExpr* symbolWord = t->getChild(0)->getChild(0);
    eExpr* indexWord = t->getChild(1)->getChild(0);
    t->backspaceAt(1);
    eExpr* row = m_root->getChild(0);
    ASSERT_EQ(row->childCount(), 2);
    EXPECT_EQ(row->getChild(0), symbolWord);
    EXPECT_EQ(row->getChild(1), indexWord);
    ASSERT_EQ(s_selected.size(), 1u);
    EXPECT_EQ(s_selected[0], (SelectionEntry{row, 1, 1, 0, 0}));
    Measure(m_root.get());
}

TEST_F(eTensorTest, ACopyKeepsKindAndChildrenAndIsIndependent) {
    eTensor* t = MakeInTree(0b1010, {"i", "j", "n"});
    ExprPtr copy = t->deepCopy();
    auto* c = dynamic_cast<eTensor*>(copy.get());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->m_kind, 0b1010);
    int32_t code = 0;
    ASSERT_TRUE(c->getTemplateCode(code));
    EXPECT_EQ(code, 0x60A4);
    for (int32_t i = 0; i < 4; ++i) {
        ASSERT_NE(c->getChild(i), t->getChild(i));
        EXPECT_EQ(c->getChild(i)->m_parent, c);
    }
    copy.reset();
    Measure(m_root.get());
    EXPECT_EQ(ShapeText(t->m_zone), "0,0,17,19;10,13");
}

} // namespace
} // namespace kvtest
