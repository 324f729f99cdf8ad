#include "ExprSrcs/eEqual.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/eDxMatrix.h"
#include "OverSrcs/eDxStr.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eRoot.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eUFO.h"
#include "OverSrcs/eWord.h"
#include "model/ModelFixture.h"

#include <functional>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace kvtest {
namespace {

FSSRecord Inherit() {
    FSSRecord style;
    InitFSSRecord(style);
    return style;
}

ExprPtr Word(const std::string& text, int32_t points = 0, uint8_t colour = 0) {
    FSSRecord style = Inherit();
    if (points > 0)
        style.size = points;
    return NewWord(text, 0, style, colour);
}

// A row of words; "_" stands for a space pseudo-character, "\t" for a tab.
OwnedNode<eSimpString> Row(const std::vector<std::string>& items, int32_t points = 0,
                           uint8_t colour = 0) {
    OwnedNode<eSimpString> row = NewSimpString(static_cast<int32_t>(items.size()));
    FSSRecord style = Inherit();
    for (size_t i = 0; i < items.size(); ++i) {
        ExprPtr node;
        if (items[i] == "_")
            node = NewPseudo(kPseudoSpace, &style, colour);
        else if (items[i] == "\t")
            node = NewPseudo(kPseudoTab, &style, colour);
        else
            node = Word(items[i], points, colour);
        row->setChild(static_cast<int32_t>(i), std::move(node));
    }
    return row;
}

ExprPtr Fraction(const std::vector<std::string>& num, const std::vector<std::string>& den,
                 int32_t kind = kFractionVertical) {
    OwnedNode<eFraction> f = NewFraction(Row(num), Row(den));
    f->m_kind = kind;
    return f;
}

ExprPtr Grid(int32_t rows, int32_t columns, const std::vector<std::string>& cells) {
    OwnedNode<eSimpMatrix> grid = NewSimpMatrix(rows, columns);
    for (size_t i = 0; i < cells.size(); ++i)
        grid->setChild(static_cast<int32_t>(i), Row({cells[i]}));
    return grid;
}

ExprPtr RuledGrid(int32_t rows, int32_t columns, const std::vector<std::string>& cells,
                  uint8_t hAlign = kHAlignCentre) {
    OwnedNode<eDxMatrix> grid = NewDxMatrix(rows, columns, nullptr);
    grid->m_hAlign = hAlign;
    for (size_t i = 0; i < cells.size(); ++i)
        grid->setChild(static_cast<int32_t>(i), Row({cells[i]}));
    return grid;
}

// A ruled row of words.
ExprPtr RuledRow(const std::vector<std::string>& words) {
    OwnedNode<eDxString> row = NewDxString(static_cast<int32_t>(words.size()), nullptr);
    for (size_t i = 0; i < words.size(); ++i)
        row->setChild(static_cast<int32_t>(i), Word(words[i]));
    return row;
}

ExprPtr RowWith(std::vector<ExprPtr> nodes) {
    OwnedNode<eSimpString> row = NewSimpString(static_cast<int32_t>(nodes.size()));
    for (size_t i = 0; i < nodes.size(); ++i)
        row->setChild(static_cast<int32_t>(i), std::move(nodes[i]));
    return row;
}

struct EqualCase {
    const char* name;
    std::function<ExprPtr()> a;
    std::function<ExprPtr()> b;
    bool expected;
};
void PrintTo(const EqualCase& c, std::ostream* os) {
    *os << c.name;
}

class EqualCorpus : public ModelTest, public ::testing::WithParamInterface<EqualCase> {};

TEST_P(EqualCorpus, ComparesStructureAndTextOnly) {
    const EqualCase& c = GetParam();
    ExprPtr a = c.a();
    ExprPtr b = c.b();
    SetLoggedInformation("");
    EXPECT_EQ(a->equal(b.get(), 0), c.expected);
    // Equality is symmetric for every class in the corpus.
    EXPECT_EQ(b->equal(a.get(), 0), c.expected);
    // The options value is handed on untouched and changes nothing.
    EXPECT_EQ(a->equal(b.get(), 0x7fffffff), c.expected);
    EXPECT_EQ(LoggedInformation(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Trees, EqualCorpus,
    ::testing::Values(
        EqualCase{"SameWord", [] { return Word("x"); }, [] { return Word("x"); }, true},
        EqualCase{"WordInOtherSizeAndColour", [] { return Word("x"); },
                  [] { return Word("x", 24, 0xE0); }, true},
        EqualCase{"CaseMatters", [] { return Word("x"); }, [] { return Word("X"); }, false},
        EqualCase{"PrefixIsNotEqual", [] { return Word("ab"); }, [] { return Word("abc"); }, false},
        EqualCase{"WordVersusSpace", [] { return Word(" "); },
                  [] { return ExprPtr(NewPseudo(kPseudoSpace, nullptr, 0)); }, false},
        EqualCase{"SpaceVersusSpace", [] { return ExprPtr(NewPseudo(kPseudoSpace, nullptr, 0)); },
                  [] { return ExprPtr(NewPseudo(kPseudoSpace, nullptr, 3)); }, true},
        EqualCase{"SpaceVersusThinSpace",
                  [] { return ExprPtr(NewPseudo(kPseudoSpace, nullptr, 0)); },
                  [] { return ExprPtr(NewPseudo(kPseudoThinSpace, nullptr, 0)); }, false},
        EqualCase{"CopiedRows",
                  [] {
                      return ExprPtr(Row({"a", "+", "b"}));
                  },
                  [] {
                      return CopyExpr(Row({"a", "+", "b"}).get());
                  },
                  true},
        EqualCase{"RowsInOtherStyle",
                  [] {
                      return ExprPtr(Row({"a", "_", "b"}));
                  },
                  [] {
                      return ExprPtr(Row({"a", "_", "b"}, 36, 0x1C));
                  },
                  true},
        EqualCase{"OneCharacterDiffers",
                  [] {
                      return ExprPtr(Row({"a", "+", "b"}));
                  },
                  [] {
                      return ExprPtr(Row({"a", "-", "b"}));
                  },
                  false},
        EqualCase{"ChildCountDiffers",
                  [] {
                      return ExprPtr(Row({"a", "+"}));
                  },
                  [] {
                      return ExprPtr(Row({"a", "+", "b"}));
                  },
                  false},
        EqualCase{"EmptyRows", [] { return ExprPtr(NewEmptySimpString()); },
                  [] { return ExprPtr(NewEmptySimpString()); }, true},
        EqualCase{"RowVersusItsOnlyWord", [] { return ExprPtr(Row({"a"})); },
                  [] { return Word("a"); }, false},
        EqualCase{"SameFractions",
                  [] {
                      return Fraction({"1"}, {"x", "+", "1"});
                  },
                  [] {
                      return Fraction({"1"}, {"x", "+", "1"});
                  },
                  true},
        EqualCase{"FractionDenominatorDiffers",
                  [] {
                      return Fraction({"1"}, {"x", "+", "1"});
                  },
                  [] {
                      return Fraction({"1"}, {"x", "+", "2"});
                  },
                  false},
        EqualCase{"SlantedIsOtherTemplateCode", [] { return Fraction({"1"}, {"2"}); },
                  [] { return Fraction({"1"}, {"2"}, kFractionSlanted); }, false},
        EqualCase{"FractionVersusRootWithSameSlots", [] { return Fraction({"1"}, {"2"}); },
                  [] { return ExprPtr(NewRoot(Row({"1"}), Row({"2"}))); }, false},
        EqualCase{"NestedDifferenceDeepDown",
                  [] {
                      std::vector<ExprPtr> items;
                      items.push_back(Word("y"));
                      items.push_back(Fraction({"a"}, {"b"}));
                      return RowWith(std::move(items));
                  },
                  [] {
                      std::vector<ExprPtr> items;
                      items.push_back(Word("y"));
                      items.push_back(Fraction({"a"}, {"c"}));
                      return RowWith(std::move(items));
                  },
                  false},
        EqualCase{"SameGrids",
                  [] {
                      return Grid(2, 2, {"a", "b", "c", "d"});
                  },
                  [] {
                      return Grid(2, 2, {"a", "b", "c", "d"});
                  },
                  true},
        EqualCase{"GridCellDiffers",
                  [] {
                      return Grid(2, 2, {"a", "b", "c", "d"});
                  },
                  [] {
                      return Grid(2, 2, {"a", "b", "c", "e"});
                  },
                  false},
        EqualCase{"GridShapeDiffers",
                  [] {
                      return Grid(2, 2, {"a", "b", "c", "d"});
                  },
                  [] {
                      return Grid(1, 4, {"a", "b", "c", "d"});
                  },
                  false},
        EqualCase{"GridVersusTemplate",
                  [] {
                      return Grid(2, 1, {"1", "2"});
                  },
                  [] { return Fraction({"1"}, {"2"}); }, false},
        EqualCase{"RuledGridsWithOtherAlignment",
                  [] {
                      return RuledGrid(1, 2, {"a", "b"});
                  },
                  [] {
                      return RuledGrid(1, 2, {"a", "b"}, kHAlignLeft);
                  },
                  true},
        EqualCase{"RuledVersusPlainGrid",
                  [] {
                      return RuledGrid(1, 2, {"a", "b"});
                  },
                  [] {
                      return Grid(1, 2, {"a", "b"});
                  },
                  false},
        EqualCase{"RuledRows",
                  [] {
                      return RuledRow({"a", "b"});
                  },
                  [] {
                      return RuledRow({"a", "b"});
                  },
                  true},
        EqualCase{"RuledRowsDiffer",
                  [] {
                      return RuledRow({"a", "b"});
                  },
                  [] {
                      return RuledRow({"a", "c"});
                  },
                  false},
        EqualCase{"RuledVersusPlainRow",
                  [] {
                      return RuledRow({"a", "b"});
                  },
                  [] {
                      return ExprPtr(Row({"a", "b"}));
                  },
                  false},
        EqualCase{"HeadersOverEqualRows", [] { return ExprPtr(NewHeader(Row({"q"}), nullptr)); },
                  [] { return ExprPtr(NewHeader(Row({"q"}), nullptr)); }, true}),
    [](const ::testing::TestParamInfo<EqualCase>& info) { return std::string(info.param.name); });

TEST_F(ModelTest, PicturesNeverEqualEvenTheirCopies) {
    OwnedNode<eUFO> picture = NewUFO(std::make_unique<WinUfo>(), nullptr, 0);
    ExprPtr copy = CopyExpr(picture.get());
    EXPECT_FALSE(picture->equal(copy.get(), 0));
    EXPECT_FALSE(picture->equal(picture.get(), 0));
    // A row holding a picture therefore never equals a copy of itself.
    std::vector<ExprPtr> items;
    items.push_back(std::move(picture));
    ExprPtr row = RowWith(std::move(items));
    ExprPtr rowCopy = CopyExpr(row.get());
    EXPECT_FALSE(row->equal(rowCopy.get(), 0));
}

// ---- Text inside words ----

class PatternSearch : public ModelTest {};

TEST_F(PatternSearch, OneWordPatternIsFoundInsideAWord) {
    OwnedNode<eSimpString> row = Row({"z", "abcd"});
    OwnedNode<eSimpString> pattern = Row({"bc"});
    SelectionEntry entry{row.get(), 0, 2, 4, 5};
    ASSERT_TRUE(FindPatternInRange(entry, pattern.get(), 0, nullptr));
    EXPECT_EQ(entry.node, row->getChild(1));
    EXPECT_EQ(entry.start, 1);
    EXPECT_EQ(entry.end, 3);
    // The row fields are not the search's business.
    EXPECT_EQ(entry.rowStart, 4);
    EXPECT_EQ(entry.rowEnd, 5);
}

TEST_F(PatternSearch, CounterExtendsOverEveryMatchInTheWord) {
    OwnedNode<eSimpString> row = Row({"abxab"});
    OwnedNode<eSimpString> pattern = Row({"ab"});
    SelectionEntry entry{row.get(), 0, 1, 0, 0};
    int32_t count = -1;
    ASSERT_TRUE(FindPatternInRange(entry, pattern.get(), 0, &count));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(entry.node, row->getChild(0));
    EXPECT_EQ(entry.start, 0);
    EXPECT_EQ(entry.end, 5);
}

TEST_F(PatternSearch, SearchStaysInsideTheRange) {
    OwnedNode<eSimpString> row = Row({"ab", "+", "ab"});
    OwnedNode<eSimpString> pattern = Row({"ab"});
    SelectionEntry entry{row.get(), 1, 3, 0, 0};
    ASSERT_TRUE(FindPatternInRange(entry, pattern.get(), 0, nullptr));
    EXPECT_EQ(entry.node, row->getChild(2));
    SelectionEntry none{row.get(), 1, 2, 0, 0};
    EXPECT_FALSE(FindPatternInRange(none, pattern.get(), 0, nullptr));
    EXPECT_EQ(none.node, row.get());
}

TEST_F(PatternSearch, EmptyPatternsFindNothing) {
    OwnedNode<eSimpString> row = Row({"abc"});
    OwnedNode<eSimpString> emptyRow = NewEmptySimpString();
    OwnedNode<eSimpString> emptyWord = Row({""});
    for (const eExpr* pattern :
         {static_cast<const eExpr*>(emptyRow.get()), static_cast<const eExpr*>(emptyWord.get())}) {
        SelectionEntry entry{row.get(), 0, 1, 0, 0};
        int32_t count = 9;
        EXPECT_FALSE(FindPatternInRange(entry, pattern, 0, &count));
        EXPECT_EQ(count, 0);
        EXPECT_EQ(entry.node, row.get());
    }
}

TEST_F(PatternSearch, SeveralElementsMatchOnlyWholeConsecutiveElements) {
    OwnedNode<eSimpString> row = Row({"xa", "+", "b", "a", "+", "b"});
    OwnedNode<eSimpString> pattern = Row({"a", "+", "b"});
    SelectionEntry entry{row.get(), 0, 6, 0, 0};
    int32_t count = 0;
    ASSERT_TRUE(FindPatternInRange(entry, pattern.get(), 0, &count));
    // "xa + b" ends in the same text, but "xa" is not the element "a".
    EXPECT_EQ(entry.node, row.get());
    EXPECT_EQ(entry.start, 3);
    EXPECT_EQ(entry.end, 6);
    EXPECT_EQ(count, 1);

    SelectionEntry tooShort{row.get(), 3, 5, 0, 0};
    EXPECT_FALSE(FindPatternInRange(tooShort, pattern.get(), 0, nullptr));
}

TEST_F(PatternSearch, PatternOfOneTemplateIsComparedWhole) {
    std::vector<ExprPtr> items;
    items.push_back(Word("2"));
    items.push_back(Fraction({"1"}, {"2"}, kFractionSlanted));
    items.push_back(Fraction({"1"}, {"2"}));
    ExprPtr row = RowWith(std::move(items));
    std::vector<ExprPtr> want;
    want.push_back(Fraction({"1"}, {"2"}));
    ExprPtr pattern = RowWith(std::move(want));
    SelectionEntry entry{row.get(), 0, 3, 0, 0};
    ASSERT_TRUE(FindPatternInRange(entry, pattern.get(), 0, nullptr));
    EXPECT_EQ(entry.start, 2);
    EXPECT_EQ(entry.end, 3);
}

TEST_F(PatternSearch, MatchWordTextHonoursBounds) {
    ExprPtr word = Word("abcab");
    ExprPtr pattern = Word("ab");
    const auto* w = static_cast<const eWord*>(word.get());
    const auto* p = static_cast<const eWord*>(pattern.get());
    struct Case {
        int32_t from, to;
        bool found;
        int32_t at;
    };
    for (const Case& c : {Case{0, 5, true, 0}, Case{1, 5, true, 3}, Case{1, 4, false, 0},
                          Case{-3, 2, true, 0}, Case{4, 99, false, 0}}) {
        SCOPED_TRACE(testing::Message() << c.from << ".." << c.to);
        SelectionEntry entry{};
        EXPECT_EQ(MatchWordText(w, c.from, c.to, p, entry, 0), c.found);
        if (c.found) {
            EXPECT_EQ(entry.node, word.get());
            EXPECT_EQ(entry.start, c.at);
            EXPECT_EQ(entry.end, c.at + 2);
        }
    }
}

} // namespace
} // namespace kvtest
