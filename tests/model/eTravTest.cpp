#include "OverPc/PERROR.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eWord.h"
#include "model/ModelFixture.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

std::vector<std::string> s_visits;
std::vector<eExpr*> s_finished;

std::string Name(eExpr* node) {
    if (auto* w = dynamic_cast<eWord*>(node))
        return std::string(w->view());
    if (node->isString())
        return "row" + std::to_string(node->childCount());
    return node->isSpace() ? "space" : "node";
}
void OnNode(eExpr* node) {
    s_visits.push_back("n:" + Name(node));
}
// The leaf callback changes what it sees, as a style command does.
void OnLeaf(eExpr* node) {
    s_visits.push_back("l:" + Name(node));
    node->m_colour = 0xE0;
}
void OnEmpty(SelectionEntry* entry) {
    s_visits.push_back("e:" + std::to_string(entry->start) + "," + std::to_string(entry->end));
}
void OnFinish(eExpr* node) {
    s_finished.push_back(node);
}

class eTravTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        s_visits.clear();
        s_finished.clear();
        TheModelHooks().finishEditAt = &OnFinish;
        FSSRecord inherit;
        InitFSSRecord(inherit);
        row = NewSimpString(3);
        row->setChild(0, NewWord("abcdefg", 0, inherit, 0));
        row->setChild(1, NewPseudo(kPseudoSpace, nullptr, 0));
        eExpr* inner = row->setChild(2, NewSimpString(1));
        inner->setChild(0, NewWord("z", 0, inherit, 0));
    }
    OwnedNode<eSimpString> row;
};

TEST_F(eTravTest, DeepTraversalVisitsEveryNodeAndEveryLeaf) {
    row->traverse(false, true, &OnNode, &OnLeaf);
    EXPECT_EQ(s_visits, (std::vector<std::string>{"n:row3", "n:abcdefg", "l:abcdefg", "n:space",
                                                  "l:space", "n:row1", "n:z", "l:z"}));
}

TEST_F(eTravTest, ShallowTraversalOfAContainerSeesOnlyTheContainer) {
    row->traverse(false, false, &OnNode, &OnLeaf);
    EXPECT_EQ(s_visits, (std::vector<std::string>{"n:row3"}));
    s_visits.clear();
    row->getChild(0)->traverse(false, false, &OnNode, &OnLeaf);
    EXPECT_EQ(s_visits, (std::vector<std::string>{"n:abcdefg", "l:abcdefg"}));
}

TEST_F(eTravTest, NullCallbacksAreSkipped) {
    row->traverse(false, true, nullptr, nullptr);
    SelectionEntry all{row.get(), 0, 3, 0, 0};
    row->traverseSel(all, false, true, nullptr, &OnLeaf, nullptr);
    EXPECT_EQ(s_visits, (std::vector<std::string>{"l:abcdefg", "l:space", "l:z"}));
    SelectionEntry caret{row.get(), 1, 1, 0, 0};
    row->traverseSel(caret, false, true, nullptr, nullptr, nullptr);
}

TEST_F(eTravTest, ACaretCallsOnlyTheEmptyCallback) {
    SelectionEntry caret{row.get(), 2, 2, 0, 0};
    row->traverseSel(caret, false, true, &OnNode, &OnLeaf, &OnEmpty);
    EXPECT_EQ(s_visits, (std::vector<std::string>{"e:2,2"}));
    EXPECT_EQ(EditResultEntry, caret);
    s_visits.clear();
    eExpr* word = row->getChild(0);
    SelectionEntry inWord{word, 3, 3, 0, 0};
    word->traverseSel(inWord, true, true, &OnNode, &OnLeaf, &OnEmpty);
    EXPECT_EQ(s_visits, (std::vector<std::string>{"e:3,3"}));
    s_visits.clear();
    // Without splitting, a word reports itself and then the caret.
    word->traverseSel(inWord, false, true, &OnNode, &OnLeaf, &OnEmpty);
    EXPECT_EQ(s_visits, (std::vector<std::string>{"n:abcdefg", "l:abcdefg", "e:3,3"}));
}

TEST_F(eTravTest, ARangeOfARowVisitsTheSelectedItemsOnly) {
    SelectionEntry range{row.get(), 1, 3, 0, 0};
    row->traverseSel(range, false, true, &OnNode, &OnLeaf, &OnEmpty);
    EXPECT_EQ(s_visits, (std::vector<std::string>{"n:space", "l:space", "n:row1", "n:z", "l:z"}));
    s_visits.clear();
    SelectionEntry all{row.get(), 0, 3, 0, 0};
    row->traverseSel(all, false, false, &OnNode, &OnLeaf, &OnEmpty);
    EXPECT_EQ(s_visits, (std::vector<std::string>{"n:row3"}));
}

TEST_F(eTravTest, SplittingTheMiddleOfAWordLeavesThreeWordsWithOnlyTheMiddleChanged) {
    eExpr* word = row->getChild(0);
    SelectionEntry middle{word, 2, 5, 0, 0};
    word->traverseSel(middle, true, true, &OnNode, &OnLeaf, &OnEmpty);
    EXPECT_EQ(s_visits, (std::vector<std::string>{"n:cde", "l:cde"}));
    eExpr* now = EditResultEntry.node;
    ASSERT_NE(now, nullptr);
    EXPECT_EQ(row.get() == now, false); // the row was rebuilt around the pieces
    (void)row.release();
    row.reset(static_cast<eSimpString*>(now));
    ASSERT_EQ(now->childCount(), 5);
    EXPECT_EQ(Name(now->getChild(0)) + "|" + Name(now->getChild(1)) + "|" + Name(now->getChild(2)),
              "ab|cde|fg");
    EXPECT_EQ(now->getChild(0)->m_colour, 0);
    EXPECT_EQ(now->getChild(1)->m_colour, 0xE0);
    EXPECT_EQ(now->getChild(2)->m_colour, 0);
    ASSERT_EQ(s_finished.size(), 1u);
    EXPECT_EQ(s_finished[0], now);
}

TEST_F(eTravTest, SplittingAWholeWordVisitsTheWordItself) {
    eExpr* word = row->getChild(0);
    SelectionEntry whole{word, 0, 7, 0, 0};
    word->traverseSel(whole, true, true, &OnNode, &OnLeaf, &OnEmpty);
    EXPECT_EQ(s_visits, (std::vector<std::string>{"n:abcdefg", "l:abcdefg"}));
    EXPECT_EQ(row->getChild(0), word);
    EXPECT_EQ(word->m_colour, 0xE0);
    EXPECT_TRUE(s_finished.empty());
}

TEST_F(eTravTest, EntriesNeverNameOtherNodesAndSuchCallsOnlyLog) {
    SetLoggedInformation("");
    eExpr* space = row->getChild(1);
    SelectionEntry e{space, 0, 1, 0, 0};
    space->traverseSel(e, false, true, &OnNode, &OnLeaf, &OnEmpty);
    EXPECT_TRUE(s_visits.empty());
    EXPECT_NE(std::string(LoggedInformation()).find("eChar::traverseSel"), std::string::npos);
}

} // namespace
} // namespace kvtest
