#include "OverSrcs/eClick.h"

#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eTempl.h"
#include "OverSrcs/eWord.h"
#include "model/ModelFixture.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace kvtest {
namespace {

// A template whose slots sit side by side with 40 units of empty template on either side and 20
// below them.
class Padded : public eTemplate {
    KV_NODE_CLONE(Padded)
    void measure() override {
        eTemplate::measure();
        int32_t x = 40;
        int32_t h = 0;
        for (int32_t i = 0; i < m_count; ++i) {
            PlaceNodeRect(getChild(i), x, 0);
            x = getChild(i)->m_zone.right;
            h = std::max(h, getChild(i)->m_zone.bottom);
        }
        m_zone = Zone{0, 0, x + 40, h + 20, 0, 0};
    }
};

class eClickTest : public ModelTest {
protected:
    void TearDown() override {
        WholeRowClickOption = 0;
        ModelTest::TearDown();
    }
    // Offers a press to the root laid out at (ox, oy), as the pane does.
    SelectionEntry Press(eExpr* root, int32_t ox, int32_t oy, oPoint anchor, oPoint point) {
        DrawState.absZone = Zone{ox, oy, ox, oy, 0, 0};
        SelectionEntry entry;
        EXPECT_TRUE(HitClickChild(root, anchor, point, entry));
        return entry;
    }
    static ExprPtr Big(const char* text) { return NewWord(text, 0, SizedStyle(48), 0); }
};

TEST_F(eClickTest, AOneCharacterLeafMapsAClickToACaretBesideItAndADragToItself) {
    OwnedNode<eSimpString> row = NewSimpString(2);
    row->setChild(0, NewPseudo(kPseudoEllipsis, nullptr, 0));
    row->setChild(1, NewPseudo(kPseudoEllipsis, nullptr, 0));
    Measure(row.get());
    const int32_t w = row->getChild(0)->width();
    const int32_t left = 100;
    const int32_t mid = left + w / 2;
    const int32_t q1 = left + w * 3 / 8;
    const int32_t q3 = left + w * 5 / 8;
    auto at = [&](int32_t x) { return Press(row.get(), 100, 50, {x, 52}, {x, 52}); };
    EXPECT_EQ(at(q3 + 1), (SelectionEntry{row.get(), 1, 1, 0, 0}));  // past 5/8: caret after
    EXPECT_EQ(at(mid + 1), (SelectionEntry{row.get(), 1, 1, 0, 0})); // right of middle: after
    EXPECT_EQ(at(mid), (SelectionEntry{row.get(), 0, 0, 0, 0}));     // at the middle: before
    EXPECT_EQ(at(q1 - 1), (SelectionEntry{row.get(), 0, 0, 0, 0}));  // before 3/8: caret before
    EXPECT_EQ(at(q1), (SelectionEntry{row.get(), 0, 0, 0, 0}));
    // A drag over its middle selects it.
    EXPECT_EQ(Press(row.get(), 100, 50, {q1, 52}, {q3 + 1, 52}),
              (SelectionEntry{row.get(), 0, 1, 0, 0}));
    WholeRowClickOption = 1;
    EXPECT_EQ(at(q3 + 1), (SelectionEntry{row.get(), 0, 1, 0, 0}));
}

TEST_F(eClickTest, AWordLeavesACaretOnAClickAndSelectsCharactersOnADrag) {
    // 48 points at 16 units: "m" is 36 wide, the word is 54 high, so the slack is 3.
    OwnedNode<eSimpString> row = NewSimpString(1);
    eExpr* word = row->setChild(0, Big("mmm"));
    Measure(row.get());
    ASSERT_EQ(word->width(), 3 * 36);
    ASSERT_EQ(word->m_size / 16, 3);
    auto at = [&](int32_t a, int32_t b) { return Press(row.get(), 0, 0, {a, 10}, {b, 10}); };
    EXPECT_EQ(at(17, 17), (SelectionEntry{word, 0, 0, 0, 0}));   // before the first "m"'s middle
    EXPECT_EQ(at(18, 18), (SelectionEntry{word, 1, 1, 0, 0}));   // at its middle
    EXPECT_EQ(at(107, 107), (SelectionEntry{word, 3, 3, 0, 0})); // its last column
    EXPECT_EQ(at(16, 20), (SelectionEntry{word, 0, 1, 0, 0}));   // a small drag over the middle
    EXPECT_EQ(at(10, 10), (SelectionEntry{word, 0, 0, 0, 0}));   // nearer its left edge
    EXPECT_EQ(at(30, 30), (SelectionEntry{word, 1, 1, 0, 0}));   // nearer its right edge
    EXPECT_EQ(at(60, 10), (SelectionEntry{word, 0, 2, 0, 0}));   // a drag, either way round
    WholeRowClickOption = 1;
    EXPECT_EQ(at(30, 30), (SelectionEntry{word, 0, 3, 0, 0}));
}

TEST_F(eClickTest, ADragAcrossItemsSnapsToBoundariesByTheQuarterRule) {
    OwnedNode<eSimpString> row = NewSimpString(2);
    row->setChild(0, Big("mm"));
    row->setChild(1, Big("mm"));
    Measure(row.get());
    // Boundaries at 0, 72 and 144. The start moves to a boundary once past three quarters of
    // the way to it (54, 126); the end once past a quarter (18, 90).
    auto drag = [&](int32_t a, int32_t b) { return Press(row.get(), 0, 0, {a, 10}, {b, 10}); };
    EXPECT_EQ(drag(10, 130), (SelectionEntry{row.get(), 0, 2, 0, 1}));
    EXPECT_EQ(drag(60, 130), (SelectionEntry{row.get(), 1, 2, 0, 1}));
    EXPECT_EQ(drag(60, 80), (SelectionEntry{row.get(), 1, 1, 0, 1}));
    EXPECT_EQ(drag(130, 10), (SelectionEntry{row.get(), 0, 2, 0, 1}));
    WholeRowClickOption = 1;
    EXPECT_EQ(drag(60, 80), (SelectionEntry{row.get(), 0, 2, 0, 1}));
}

TEST_F(eClickTest, AnEmptyRowAnswersACaretAtItsStart) {
    OwnedNode<eSimpString> outer = NewSimpString(1);
    eExpr* empty = outer->setChild(0, NewEmptySimpString());
    MeasureExprWithOptions(outer.get(), port.get(), 1, 0, 0, 0);
    EXPECT_EQ(Press(outer.get(), 0, 0, {7, 7}, {7, 7}), (SelectionEntry{empty, 0, 0, 0, 1}));
}

TEST_F(eClickTest, ATemplateOffersItsSlotsThenAnswersForItselfByQuarters) {
    OwnedNode<Padded> t = NewTemplateBlock<Padded>(2, 2);
    for (int32_t i = 0; i < 2; ++i) {
        eExpr* slot = t->setChild(i, NewSimpString(1));
        slot->setChild(0, Big("mm"));
    }
    OwnedNode<eSimpString> row = NewSimpString(1);
    eExpr* tp = row->setChild(0, std::move(t));
    Measure(row.get());
    const int32_t w = tp->width(); // 40 + 72 + 72 + 40
    ASSERT_EQ(w, 224);
    eExpr* firstWord = tp->getChild(0)->getChild(0);
    EXPECT_EQ(Press(row.get(), 0, 0, {58, 10}, {58, 10}).node, firstWord);
    EXPECT_EQ(Press(row.get(), 0, 0, {5, 10}, {50, 10}), (SelectionEntry{row.get(), 0, 0, 0, 1}));
    EXPECT_EQ(Press(row.get(), 0, 0, {w - 5, 10}, {w - 50, 10}),
              (SelectionEntry{row.get(), 1, 1, 0, 1}));
    const int32_t below = tp->height() - 5;
    EXPECT_EQ(Press(row.get(), 0, 0, {100, below}, {100, below}),
              (SelectionEntry{row.get(), 0, 1, 0, 1}));
    // Either end of the press outside the template: it is not offered the press at all.
    SelectionEntry untouched{nullptr, 9, 9, 9, 9};
    DrawState.absZone = Zone{};
    EXPECT_FALSE(HitClickChild(tp, oPoint{10, 10}, oPoint{w + 10, 10}, untouched));
    EXPECT_EQ(untouched.start, 9);
}

} // namespace
} // namespace kvtest
