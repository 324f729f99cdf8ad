#include "OverSrcs/WhereChr.h"

#include "OverSrcs/eAsian.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eTempl.h"
#include "OverSrcs/eWord.h"
#include "model/ModelFixture.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

// A template laying its slots out side by side.
class SideBySide : public eTemplate {
    KV_NODE_CLONE(SideBySide)
    void measure() override {
        eTemplate::measure();
        int32_t x = 0;
        for (int32_t i = 0; i < m_count; ++i) {
            PlaceNodeRect(getChild(i), x, 0);
            x = getChild(i)->m_zone.right;
        }
        m_zone = Zone{0, 0, x, 20, 0, 0};
    }
};

class WhereChrTest : public ModelTest {
protected:
    static ExprPtr Word(const std::string& text) { return NewWord(text, 0, SizedStyle(12), 0); }
    static OwnedNode<eSimpString> RowOf(const std::vector<std::string>& texts) {
        OwnedNode<eSimpString> row = NewSimpString(static_cast<int32_t>(texts.size()));
        for (size_t i = 0; i < texts.size(); ++i)
            row->setChild(static_cast<int32_t>(i), Word(texts[i]));
        return row;
    }
};

TEST_F(WhereChrTest, ARowAnswersTheLeftOfTheItemHoldingTheCharacter) {
    OwnedNode<eSimpString> row = RowOf({"x", "=", "2"});
    Measure(row.get());
    EXPECT_EQ(row->whereChar('='), ExpectedWidth("x", 12, 16));
    EXPECT_EQ(row->whereChar('+'), kCharAbsent);
}

TEST_F(WhereChrTest, AWordMeasuresFromItsRightEdgeToTheFirstOccurrence) {
    OwnedNode<eSimpString> row = RowOf({"3.14", "a.b.c"});
    Measure(row.get());
    eExpr* pi = row->getChild(0);
    EXPECT_EQ(pi->whereChar('.'), pi->width() - ExpectedWidth(".14", 12, 16));
    eExpr* twice = row->getChild(1);
    EXPECT_EQ(twice->whereChar('.'), twice->width() - ExpectedWidth(".b.c", 12, 16));
    EXPECT_EQ(pi->whereChar('9'), kCharAbsent);
    OwnedNode<eSimpString> emptyRow = RowOf({""});
    Measure(emptyRow.get());
    EXPECT_EQ(emptyRow->getChild(0)->whereChar('.'), kCharAbsent);
}

TEST_F(WhereChrTest, PseudoCharactersAnswerForTheirOwnCharacter) {
    OwnedNode<eSimpString> row = NewSimpString(4);
    row->setChild(0, NewPseudo(kPseudoSpace, nullptr, 0));
    row->setChild(1, NewPseudo(kPseudoTab, nullptr, 0));
    row->setChild(2, NewPseudo(kPseudoHBar, nullptr, 0));
    row->setChild(3, NewPseudo(kPseudoEllipsis, nullptr, 0));
    Measure(row.get());
    EXPECT_EQ(row->getChild(0)->whereChar(' '), 0);
    EXPECT_EQ(row->getChild(1)->whereChar(' '), kCharAbsent);
    EXPECT_EQ(row->getChild(1)->whereChar('\t'), kCharAbsent);
    EXPECT_EQ(row->getChild(2)->whereChar('h'), 0);
    EXPECT_EQ(row->getChild(2)->whereChar(' '), kCharAbsent);
    EXPECT_EQ(row->getChild(3)->whereChar('-'), kCharAbsent);
    // The row finds the space first (offset 0 in the first item).
    EXPECT_EQ(row->whereChar(' '), 0);
}

TEST_F(WhereChrTest, DoubleByteTextHoldsNoSingleByteCharacter) {
    // The trail bytes are '=' and '@': no alignment character is found inside the text.
    OwnedNode<eSimpString> row = NewSimpString(1);
    row->setChild(0, newAsian("\x88=\x89@", 0, SizedStyle(12), 0));
    Measure(row.get());
    EXPECT_EQ(row->getChild(0)->whereChar('='), kCharAbsent);
    EXPECT_EQ(row->getChild(0)->whereChar('@'), kCharAbsent);
    EXPECT_EQ(row->whereChar('='), kCharAbsent);
}

TEST_F(WhereChrTest, ATemplateAnswersForALaterSlotWithThatSlotsOffset) {
    OwnedNode<SideBySide> t = NewTemplateBlock<SideBySide>(2, 2);
    t->setChild(0, RowOf({"ab"}));
    t->setChild(1, RowOf({"c", "d=e"}));
    OwnedNode<eSimpString> root = NewSimpString(1);
    eExpr* tp = root->setChild(0, std::move(t));
    Measure(root.get());
    const int32_t expected = ExpectedWidth("ab", 12, 16) + ExpectedWidth("c", 12, 16) +
                             ExpectedWidth("d=e", 12, 16) - ExpectedWidth("=e", 12, 16);
    EXPECT_EQ(tp->whereChar('='), expected);
    EXPECT_EQ(WhereCharOrCentre(tp, '='), expected);
    EXPECT_EQ(WhereCharOrCentre(tp, '%'), tp->width() / 2);
    EXPECT_FALSE(tp->whereCharQuery());
}

} // namespace
} // namespace kvtest
