#include "OverPc/PERROR.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eUFO.h"
#include "OverSrcs/eWord.h"
#include "model/ModelFixture.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>

namespace kvtest {
namespace {

class eObjectTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        SetLoggedInformation("");
    }
    static bool Logged(const std::string& tag) {
        return std::string(LoggedInformation()).find("(" + tag + ")") != std::string::npos;
    }
    static bool Destroyed(const eExpr* node) {
        return std::find(s_destroyed.begin(), s_destroyed.end(), node) != s_destroyed.end();
    }
    static ExprPtr Word(const char* text, uint8_t colour = 0) {
        return NewWord(text, 0, SizedStyle(12), colour);
    }
};

TEST_F(eObjectTest, ContainerMadeWithNoSlotsIsAnEmptyUnlinkedRow) {
    OwnedNode<eSimpString> row = NewSimpString(0);
    EXPECT_EQ(row->childCount(), 0);
    EXPECT_EQ(row->m_parent, nullptr);
    EXPECT_FALSE(row->isLaidOut());
    EXPECT_EQ(row->m_ring, row.get());
}

TEST_F(eObjectTest, SetChildStoresParentAndIndexAndNullDestroysTheOldChild) {
    OwnedNode<eSimpString> row = NewSimpString(2);
    eExpr* a = row->setChild(1, Word("a"));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->m_parent, row.get());
    EXPECT_EQ(a->m_index, 1);
    EXPECT_EQ(row->setChild(1, ExprPtr()), nullptr);
    EXPECT_TRUE(Destroyed(a));
    EXPECT_EQ(row->getChild(1), nullptr);
}

TEST_F(eObjectTest, SetChildReplacingDestroysOnlyTheOldChild) {
    OwnedNode<eSimpString> row = NewSimpString(1);
    eExpr* a = row->setChild(0, Word("a"));
    eExpr* b = row->setChild(0, Word("b"));
    EXPECT_TRUE(Destroyed(a));
    EXPECT_FALSE(Destroyed(b));
    EXPECT_EQ(row->getChild(0), b);
}

TEST_F(eObjectTest, SetChildWithTheNodeAlreadyInItsSlotKeepsIt) {
    OwnedNode<eSimpString> row = NewSimpString(1);
    eExpr* a = row->setChild(0, Word("a"));
    EXPECT_EQ(row->setChild(0, ExprPtr(a)), a);
    EXPECT_FALSE(Destroyed(a));
    EXPECT_EQ(row->getChild(0), a);
    EXPECT_EQ(a->m_parent, row.get());
}

TEST_F(eObjectTest, SetChildTakesANodeOutOfTheContainerStillHoldingIt) {
    OwnedNode<eSimpString> from = NewSimpString(1);
    OwnedNode<eSimpString> to = NewSimpString(1);
    eExpr* a = from->setChild(0, Word("a"));
    to->setChild(0, ExprPtr(a));
    EXPECT_EQ(from->getChild(0), nullptr);
    EXPECT_EQ(to->getChild(0), a);
    EXPECT_EQ(a->m_parent, to.get());
    EXPECT_FALSE(Destroyed(a));
    EXPECT_TRUE(Logged("ExS parent"));
}

TEST_F(eObjectTest, SetChildWithADescendantOfTheReplacedChildSavesTheDescendant) {
    OwnedNode<eSimpString> outer = NewSimpString(1);
    eExpr* inner = outer->setChild(0, NewSimpString(1));
    eExpr* word = inner->setChild(0, Word("x"));
    outer->setChild(0, ExprPtr(word));
    EXPECT_TRUE(Destroyed(inner));
    EXPECT_FALSE(Destroyed(word));
    EXPECT_EQ(outer->getChild(0), word);
    EXPECT_EQ(word->m_parent, outer.get());
}

TEST_F(eObjectTest, DetachedChildHasNoParentKeepsItsIndexAndCanMove) {
    OwnedNode<eSimpString> row = NewSimpString(3);
    eExpr* b = row->setChild(2, Word("b"));
    ExprPtr taken = row->detachChild(2);
    EXPECT_EQ(taken.get(), b);
    EXPECT_EQ(b->m_parent, nullptr);
    EXPECT_EQ(b->m_index, 2);
    EXPECT_EQ(row->getChild(2), nullptr);
    OwnedNode<eSimpString> other = NewSimpString(1);
    other->setChild(0, std::move(taken));
    EXPECT_EQ(b->m_parent, other.get());
    EXPECT_EQ(b->m_index, 0);
}

TEST_F(eObjectTest, LeavesRefuseChildrenWithoutLeakingWhatTheyWereGiven) {
    ExprPtr leaf = Word("a");
    ExprPtr offered = Word("b");
    eExpr* raw = offered.get();
    EXPECT_EQ(leaf->getChild(0), nullptr);
    EXPECT_EQ(leaf->setChild(0, std::move(offered)), nullptr);
    EXPECT_TRUE(Destroyed(raw));
    EXPECT_TRUE(Logged("ExS"));
    EXPECT_EQ(leaf->detachChild(0), nullptr);
    EXPECT_TRUE(Logged("ExT"));
}

TEST_F(eObjectTest, OutOfRangeSlotsAreRefusedNotWrittenPast) {
    OwnedNode<eSimpString> row = NewSimpString(1);
    ExprPtr w = Word("w");
    eExpr* raw = w.get();
    EXPECT_EQ(row->setChild(1, std::move(w)), nullptr);
    EXPECT_TRUE(Destroyed(raw));
    EXPECT_EQ(row->detachChild(-1), nullptr);
}

TEST_F(eObjectTest, DeepCopyOfALeafKeepsItsContentButNotItsPlace) {
    OwnedNode<eSimpString> row = NewSimpString(1);
    eExpr* source = row->setChild(0, NewWord("sin", 0, SizedStyle(14, kItalicOn), 0x49));
    source->m_nudgeX = 5;
    source->m_nudgeY = -3;
    Measure(row.get());
    ASSERT_TRUE(source->isLaidOut());
    ExprPtr copy = source->deepCopy();
    auto* word = dynamic_cast<eWord*>(copy.get());
    ASSERT_NE(word, nullptr);
    EXPECT_EQ(word->view(), "sin");
    EXPECT_EQ(word->m_fontRef, static_cast<eWord*>(source)->m_fontRef);
    EXPECT_EQ(word->m_colour, 0x49);
    EXPECT_EQ(word->m_nudgeX, 5);
    EXPECT_EQ(word->m_nudgeY, -3);
    EXPECT_EQ(word->m_parent, nullptr);
    EXPECT_FALSE(word->isLaidOut());
}

TEST_F(eObjectTest, DeepCopyOfASubtreeOwnsNewNodesAndLeavesTheSourceAlone) {
    OwnedNode<eSimpString> row = NewSimpString(2);
    eExpr* inner = row->setChild(0, NewSimpString(2));
    inner->setChild(0, Word("a"));
    inner->setChild(1, NewPseudo(kPseudoSpace, nullptr, 0));
    row->setChild(1, Word("b"));
    ExprPtr copy = row->deepCopy();
    ASSERT_EQ(copy->childCount(), 2);
    eExpr* copiedInner = copy->getChild(0);
    ASSERT_NE(copiedInner, inner);
    EXPECT_EQ(copiedInner->m_parent, copy.get());
    ASSERT_EQ(copiedInner->childCount(), 2);
    EXPECT_NE(copiedInner->getChild(0), inner->getChild(0));
    EXPECT_EQ(copiedInner->getChild(0)->m_parent, copiedInner);
    EXPECT_TRUE(copiedInner->getChild(1)->isSpace());
    EXPECT_EQ(inner->getChild(0)->m_parent, inner);
    copy.reset();
    EXPECT_FALSE(Destroyed(inner));
    EXPECT_EQ(static_cast<eWord*>(inner->getChild(0))->view(), "a");
}

// The poll that raises the user interrupt on its third call.
int s_polls = 0;
void AbortOnThirdPoll() {
    if (++s_polls == 3)
        Fail(errUserInterrupt);
}

TEST_F(eObjectTest, InterruptedCopyIsDroppedWholeAndTheSourceSurvives) {
    OwnedNode<eSimpString> row = NewSimpString(4);
    for (int i = 0; i < 4; ++i) {
        eExpr* inner = row->setChild(i, NewSimpString(1));
        inner->setChild(0, Word("x"));
    }
    s_polls = 0;
    TheModelHooks().checkUserAbort = &AbortOnThirdPoll;
    const size_t before = s_destroyed.size();
    const int16_t code = CatchFail([&] { ExprPtr copy = row->deepCopy(); });
    EXPECT_EQ(code, errUserInterrupt);
    // Every copied node polls once its children are copied, so the third poll comes from the copy
    // of the second inner row's word: the copies of the row, both inner rows and both words (five)
    // are dropped, and nothing of the source.
    EXPECT_EQ(s_destroyed.size() - before, 5u);
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(Destroyed(row->getChild(i)));
}

TEST_F(eObjectTest, DestroyingATreeReportsEveryNodeOnce) {
    OwnedNode<eSimpString> row = NewSimpString(3);
    eExpr* inner = row->setChild(0, NewSimpString(1));
    eExpr* a = inner->setChild(0, Word("a"));
    eExpr* b = row->setChild(1, Word("b"));
    eExpr* t = row->setChild(2, NewPseudo(kPseudoTab, nullptr, 0));
    eExpr* r = row.get();
    row.reset();
    for (eExpr* n : {r, inner, a, b, t})
        EXPECT_EQ(std::count(s_destroyed.begin(), s_destroyed.end(), n), 1);
    EXPECT_EQ(s_destroyed.size(), 5u);
}

TEST_F(eObjectTest, PictureLeavesCopyAndDeleteTheirOwnPictures) {
    const int32_t live = LiveWinUfoCount();
    auto picture = std::make_unique<WinUfo>();
    picture->m_width = 40;
    OwnedNode<eUFO> leaf = NewUFO(std::move(picture), nullptr, 0);
    ExprPtr copy = leaf->deepCopy();
    auto* copied = dynamic_cast<eUFO*>(copy.get());
    ASSERT_NE(copied, nullptr);
    EXPECT_NE(copied->m_picture, leaf->m_picture);
    EXPECT_EQ(copied->m_picture->m_width, 40);
    EXPECT_EQ(LiveWinUfoCount(), live + 2);
    copy.reset();
    EXPECT_EQ(LiveWinUfoCount(), live + 1);
    EXPECT_EQ(leaf->m_picture->m_width, 40);
    leaf.reset();
    EXPECT_EQ(LiveWinUfoCount(), live);
}

TEST_F(eObjectTest, InvalidateAncestorsSparesTheNodeAndInvalidateTreeReachesEveryNode) {
    OwnedNode<eHeader> header = NewHeader(NewSimpString(1), nullptr);
    eExpr* row = header->getChild(0);
    eExpr* inner = row->setChild(0, NewSimpString(1));
    eExpr* word = inner->setChild(0, Word("w"));
    Measure(header.get());
    for (eExpr* n : {static_cast<eExpr*>(header.get()), row, inner, word})
        ASSERT_TRUE(n->isLaidOut());
    InvalidateAncestors(inner);
    EXPECT_FALSE(header->isLaidOut());
    EXPECT_FALSE(row->isLaidOut());
    EXPECT_TRUE(inner->isLaidOut());
    EXPECT_TRUE(word->isLaidOut());
    InvalidateTree(header.get());
    EXPECT_FALSE(inner->isLaidOut());
    EXPECT_FALSE(word->isLaidOut());
    // The placed bit survives invalidation: the zone still holds an earlier position.
    EXPECT_NE(word->m_flags & kNodePlaced, 0);
}

// ---- Type tests: every class answers true only for the tests named for it. ----

struct TypeRow {
    const char* name;
    ExprPtr (*make)();
    // isWord isSpace isPunctuation isTab isUFO isString isMatrix isTemplate isDxMatrix isDxString
    const char* answers;
};

ExprPtr MakeWord() {
    return NewWord("ab", 0, SizedStyle(12), 0);
}
ExprPtr MakePunctuation() {
    return NewWord(");", 0, SizedStyle(12), 0);
}
ExprPtr MakeSpace() {
    return NewPseudo(kPseudoSpace, nullptr, 0);
}
ExprPtr MakeThinSpace() {
    return NewPseudo(kPseudoThinSpace, nullptr, 0);
}
ExprPtr MakeTab() {
    return NewPseudo(kPseudoTab, nullptr, 0);
}
ExprPtr MakeEllipsis() {
    return NewPseudo(kPseudoEllipsis, nullptr, 0);
}
ExprPtr MakeUfo() {
    return NewUFO(std::make_unique<WinUfo>(), nullptr, 0);
}
ExprPtr MakeRow() {
    return NewSimpString(0);
}
ExprPtr MakeHeader() {
    return NewHeader(NewSimpString(0), nullptr);
}

class TypeTests : public eObjectTest, public ::testing::WithParamInterface<TypeRow> {};

TEST_P(TypeTests, AnswerTheTable) {
    ExprPtr node = GetParam().make();
    const std::string got = std::string() + (node->isWord() ? '1' : '0') +
                            (node->isSpace() ? '1' : '0') + (node->isPunctuation() ? '1' : '0') +
                            (node->isTab() ? '1' : '0') + (node->isUFO() ? '1' : '0') +
                            (node->isString() ? '1' : '0') + (node->isMatrix() ? '1' : '0') +
                            (node->isTemplate() ? '1' : '0') + (node->isDxMatrix() ? '1' : '0') +
                            (node->isDxString() ? '1' : '0') + (node->whereCharQuery() ? '1' : '0');
    EXPECT_EQ(got, GetParam().answers);
}

INSTANTIATE_TEST_SUITE_P(Classes, TypeTests,
                         ::testing::Values(TypeRow{"word", &MakeWord, "10000000000"},
                                           TypeRow{"punctuation", &MakePunctuation, "10100000000"},
                                           TypeRow{"space", &MakeSpace, "01000000000"},
                                           TypeRow{"thinSpace", &MakeThinSpace, "01000000000"},
                                           TypeRow{"tab", &MakeTab, "00010000000"},
                                           TypeRow{"ellipsis", &MakeEllipsis, "00000000000"},
                                           TypeRow{"picture", &MakeUfo, "00001000000"},
                                           TypeRow{"row", &MakeRow, "00000100000"},
                                           TypeRow{"header", &MakeHeader, "00000001000"}),
                         [](const ::testing::TestParamInfo<TypeRow>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace kvtest
