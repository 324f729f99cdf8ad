#include "OverSrcs/eWord.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/eSimpString.h"
#include "model/ModelFixture.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

class eWordTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        SetLoggedInformation("");
        s_retargets.clear();
        TheModelHooks().retargetSelections = &NoteRetarget;
    }
    void TearDown() override {
        FunctionNameText.clear();
        FunctionNameCount = 0;
        LoadFunctionNames();
        ModelTest::TearDown();
    }
    static void SetFunctionNames(const std::vector<std::string>& names) {
        FunctionNameText.clear();
        for (const std::string& n : names) {
            FunctionNameText += n;
            FunctionNameText += '\0';
        }
        FunctionNameCount = static_cast<int32_t>(names.size());
        LoadFunctionNames();
    }
    static void NoteRetarget(eExpr* from, eExpr* to) { s_retargets.push_back({from, to}); }
    // A row of words in the inheriting style (the base style decides size and italics).
    static OwnedNode<eSimpString> RowOf(const std::vector<std::string>& texts) {
        OwnedNode<eSimpString> row = NewSimpString(static_cast<int32_t>(texts.size()));
        FSSRecord inherit;
        InitFSSRecord(inherit);
        for (size_t i = 0; i < texts.size(); ++i)
            row->setChild(static_cast<int32_t>(i), NewWord(texts[i], 0, inherit, 0));
        return row;
    }
    static std::vector<std::string> Texts(const eExpr* row) {
        std::vector<std::string> out;
        for (int32_t i = 0; i < row->childCount(); ++i) {
            const auto* w = dynamic_cast<const eWord*>(row->getChild(i));
            out.push_back(w != nullptr ? std::string(w->view()) : std::string("<node>"));
        }
        return out;
    }
    static inline std::vector<std::pair<eExpr*, eExpr*>> s_retargets;
};

// ---- Layout by the font's line metrics ----

struct MetricsCase {
    const char* text;
    int32_t points;
    int32_t resolution;
    bool bold;
};

class WordMetrics : public eWordTest, public ::testing::WithParamInterface<MetricsCase> {};

TEST_P(WordMetrics, ZoneFollowsLineMetricsAndAdvanceWidth) {
    const MetricsCase& c = GetParam();
    port->setPortResolution(c.resolution);
    FSSRecord style = SizedStyle(c.points);
    style.style[kStyleBold] = c.bold ? 1 : 0;
    OwnedNode<eSimpString> row = NewSimpString(1);
    eWord* word = static_cast<eWord*>(row->setChild(0, NewWord(c.text, 0, style, 0)));
    Measure(row.get());
    const ExpectedFont m = ExpectedMetrics(c.points, c.resolution);
    EXPECT_EQ(word->m_fontIndex, RecordingFontIndex(c.points, c.bold ? 1 : 0));
    EXPECT_EQ(word->m_size, m.h);
    EXPECT_EQ(word->m_zone.left, 0);
    EXPECT_EQ(word->m_zone.top, 0);
    EXPECT_EQ(word->m_zone.right, ExpectedWidth(c.text, c.points, c.resolution, c.bold));
    EXPECT_EQ(word->m_zone.bottom, m.ascent + m.descent);
    EXPECT_EQ(word->m_zone.ref2, m.ascent);
    EXPECT_EQ(word->m_zone.ref1, m.ascent - m.descent);
    EXPECT_EQ(word->m_inkOffset, 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, WordMetrics,
                         ::testing::Values(MetricsCase{"xy", 12, 16, false},
                                           MetricsCase{"Wim", 14, 21, false},
                                           MetricsCase{"f(t)", 9, 16, true},
                                           MetricsCase{"MMMMMMMMMM", 36, 300 * 2 / 9, false}));

TEST_F(eWordTest, LettersStayItalicDigitsAndFunctionNamesComeOutUpright) {
    SetFunctionNames({"tan", "sin", "cos"});
    OwnedNode<eSimpString> row = RowOf({"x", "2", "sin", "Sin", "+"});
    Measure(row.get());
    const int32_t italic = RecordingFontIndex(12, 2);
    const int32_t upright = RecordingFontIndex(12, 0);
    EXPECT_EQ(static_cast<eWord*>(row->getChild(0))->m_fontIndex, italic);
    EXPECT_EQ(static_cast<eWord*>(row->getChild(1))->m_fontIndex, upright);
    EXPECT_EQ(static_cast<eWord*>(row->getChild(2))->m_fontIndex, upright);
    EXPECT_EQ(static_cast<eWord*>(row->getChild(3))->m_fontIndex, italic);
    EXPECT_EQ(static_cast<eWord*>(row->getChild(4))->m_fontIndex, upright);
}

TEST_F(eWordTest, LettersOnlyModeKeepsFunctionNamesItalic) {
    SetFunctionNames({"sin"});
    StyleTable[0].setItalicMode(kItalicLetters);
    OwnedNode<eSimpString> row = RowOf({"sin", "3"});
    Measure(row.get());
    EXPECT_EQ(static_cast<eWord*>(row->getChild(0))->m_fontIndex, RecordingFontIndex(12, 2));
    EXPECT_EQ(static_cast<eWord*>(row->getChild(1))->m_fontIndex, RecordingFontIndex(12, 0));
}

TEST_F(eWordTest, MagnifyDoublesTheSizeUpToTheLargestFont) {
    OwnedNode<eSimpString> row = NewSimpString(2);
    auto* small = static_cast<eWord*>(row->setChild(0, NewWord("a", 0, SizedStyle(10), 0)));
    auto* huge =
        static_cast<eWord*>(row->setChild(1, NewWord("b", 0, SizedStyle(MaximumFontSize / 2), 0)));
    MeasureExprWithOptions(row.get(), port.get(), 0, 1, 0, 0);
    EXPECT_EQ(small->m_fontIndex, RecordingFontIndex(20));
    EXPECT_EQ(huge->m_fontIndex, RecordingFontIndex(MaximumFontSize));
}

// A port whose ink extents start 3 units left of the origin.
class InkPort : public RecordingPort {
public:
    using RecordingPort::RecordingPort;
    void measureString(const char* text, int32_t font, Zone& record) override {
        RecordingPort::measureString(text, font, record);
        record.left = -3;
    }
};

TEST_F(eWordTest, InkMeasuredWordShiftsItsTextByTheNegativeBearing) {
    InkPort ink(16, Zone{0, 0, 1000, 1000, 0, 0});
    FSSRecord style = SizedStyle(12);
    style.setInkMode(1);
    OwnedNode<eSimpString> row = NewSimpString(1);
    auto* word = static_cast<eWord*>(row->setChild(0, NewWord("ab", 0, style, 0)));
    MeasureExpr(row.get(), &ink);
    const int32_t w = ExpectedWidth("ab", 12, 16);
    EXPECT_EQ(word->m_inkOffset, 3);
    EXPECT_EQ(word->m_zone.left, 0);
    EXPECT_EQ(word->m_zone.right, w + 3);
    DrawExpr(row.get(), &ink, 0, 0, 0, 0, 100, 50);
    const ExpectedFont m = ExpectedMetrics(12, 16);
    ASSERT_EQ(ink.calls().size(), 1u);
    EXPECT_EQ(ink.calls()[0], "drawDeluxeString \"ab\" font=96 at=103," +
                                  std::to_string(50 + m.ascent) + " color=#000000ff flag=1");
}

TEST_F(eWordTest, DrawingWritesAtTheBaselineOrPaintsABlockForExport) {
    OwnedNode<eSimpString> row = NewSimpString(1);
    row->setChild(0, NewWord("q", 0, SizedStyle(12), 0));
    Measure(row.get());
    const ExpectedFont m = ExpectedMetrics(12, 16);
    DrawExpr(row.get(), port.get(), 0, 0, 0, 0, 10, 20);
    ASSERT_EQ(port->calls().size(), 1u);
    EXPECT_EQ(port->calls()[0], "drawDeluxeString \"q\" font=96 at=10," +
                                    std::to_string(20 + m.ascent) + " color=#000000ff flag=1");
    port->clear();
    SetDrawExportFlags(0, 1);
    DrawExpr(row.get(), port.get(), 0, 0, 0, 0, 10, 20);
    SetDrawExportFlags(0, 0);
    const int32_t w = ExpectedWidth("q", 12, 16);
    ASSERT_FALSE(port->calls().empty());
    EXPECT_EQ(port->calls().back(),
              "eraseZone " + ZoneText(Zone{3, 13, 10 + w + 7, 20 + m.h + 7,
                                           m.ascent - m.descent + 7, m.ascent + 7}));
}

TEST_F(eWordTest, CaretPositionsAndHighlightFollowTheCharacterWidths) {
    OwnedNode<eSimpString> row = NewSimpString(1);
    auto* word = static_cast<eWord*>(row->setChild(0, NewWord("mix", 0, SizedStyle(12), 0)));
    Measure(row.get());
    DrawState.absZone = Zone{100, 40, 100 + word->width(), 40 + word->height(), 0, 0};
    EXPECT_EQ(word->caretX(0), 100);
    EXPECT_EQ(word->caretX(1), 100 + ExpectedWidth("m", 12, 16));
    EXPECT_EQ(word->caretX(2), 100 + ExpectedWidth("mi", 12, 16));
    EXPECT_EQ(word->caretX(3), 100 + word->width());
    word->getHighlightArea(SelectionEntry{word, 2, 1, 0, 0});
    EXPECT_EQ(DrawState.absZone.left, 100 + ExpectedWidth("m", 12, 16));
    EXPECT_EQ(DrawState.absZone.right, 100 + ExpectedWidth("mi", 12, 16));
    EXPECT_EQ(DrawState.absZone.top, 40);
}

// ---- Text edits ----

TEST_F(eWordTest, ReplaceTextThatFitsChangesTheWordInPlace) {
    OwnedNode<eSimpString> row = RowOf({"abcd"});
    auto* word = static_cast<eWord*>(row->getChild(0));
    Measure(row.get());
    EXPECT_EQ(word->replaceText(1, 3, "X"), word);
    EXPECT_EQ(word->view(), "aXd");
    EXPECT_EQ(word->length(), 3);
    EXPECT_FALSE(word->isLaidOut());
    EXPECT_TRUE(s_retargets.empty());
    // Positions are clamped: a start beyond the end appends, negative values count as 0.
    word->replaceText(9, 12, "e");
    EXPECT_EQ(word->view(), "aXde");
    word->replaceText(-4, 1, "");
    EXPECT_EQ(word->view(), "Xde");
}

TEST_F(eWordTest, ReplaceTextThatOutgrowsTheBlockPutsANewWordInTheSameSlot) {
    OwnedNode<eSimpString> row = RowOf({"a", "bc", "d"});
    auto* word = static_cast<eWord*>(row->getChild(1));
    word->m_nudgeX = 4;
    eWord* grown = word->replaceText(2, 2, "defgh");
    ASSERT_NE(grown, word);
    EXPECT_EQ(row->getChild(1), grown);
    EXPECT_EQ(grown->m_parent, row.get());
    EXPECT_EQ(grown->m_index, 1);
    EXPECT_EQ(grown->view(), "bcdefgh");
    EXPECT_EQ(grown->m_nudgeX, 4);
    EXPECT_EQ(grown->m_fontRef, static_cast<eWord*>(row->getChild(0))->m_fontRef);
    ASSERT_EQ(s_retargets.size(), 1u);
    EXPECT_EQ(s_retargets[0].first, static_cast<eExpr*>(word));
    EXPECT_EQ(s_retargets[0].second, static_cast<eExpr*>(grown));
    EXPECT_EQ(std::count(s_destroyed.begin(), s_destroyed.end(), word), 1);
}

TEST_F(eWordTest, TextBeyondTheLongestWordIsRefusedAndNothingChanges) {
    OwnedNode<eSimpString> row = RowOf({std::string(250, 'a')});
    auto* word = static_cast<eWord*>(row->getChild(0));
    EXPECT_EQ(word->replaceText(250, 250, "bbbbbb"), word);
    EXPECT_EQ(word->length(), 250);
    EXPECT_EQ(word->replaceText(250, 250, "bbbbb")->length(), 255);
    // A factory given too much text keeps the longest word it can hold.
    FSSRecord style;
    InitFSSRecord(style);
    OwnedNode<eWord> cut = NewWord(std::string(300, 'z'), 0, style, 0);
    EXPECT_EQ(cut->length(), kMaxWordLength);
    EXPECT_EQ(std::strlen(cut->text()), static_cast<size_t>(kMaxWordLength));
}

TEST_F(eWordTest, CopyOutTakesTheSelectedCharactersInTheWordsStyleAndColour) {
    OwnedNode<eWord> word = NewWord("alpha", 0, SizedStyle(17), 0xE0);
    EXPECT_EQ(word->copyOut(SelectionEntry{word.get(), 2, 2, 0, 0}), nullptr);
    ExprPtr part = word->copyOut(SelectionEntry{word.get(), 1, 4, 0, 0});
    auto* w = dynamic_cast<eWord*>(part.get());
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->view(), "lph");
    EXPECT_EQ(w->m_colour, 0xE0);
    EXPECT_EQ(w->m_fontRef, word->m_fontRef);
}

struct InsertCase {
    int32_t start;
    int32_t end;
    std::vector<std::string> expected;
};

class WordInsert : public eWordTest, public ::testing::WithParamInterface<InsertCase> {};

TEST_P(WordInsert, PutsTheNodeInPlaceOfTheSelectedCharacters) {
    OwnedNode<eSimpString> row = RowOf({"<", "abcdefg", ">"});
    eExpr* word = row->getChild(1);
    FSSRecord inherit;
    InitFSSRecord(inherit);
    SelectionEntry entry{word, GetParam().start, GetParam().end, 0, 0};
    word->insert(entry, NewWord("N", 0, inherit, 0));
    // The row may have been rebuilt; the edit result names the row as it is now.
    eExpr* now = EditResultEntry.node;
    ASSERT_NE(now, nullptr);
    row.release();
    OwnedNode<eSimpString> holder(static_cast<eSimpString*>(now));
    EXPECT_EQ(Texts(now), GetParam().expected);
    const int32_t n = EditResultEntry.start;
    EXPECT_EQ(static_cast<eWord*>(now->getChild(n))->view(), "N");
}

INSTANTIATE_TEST_SUITE_P(Places, WordInsert,
                         ::testing::Values(InsertCase{3, 3, {"<", "abc", "N", "defg", ">"}},
                                           InsertCase{2, 5, {"<", "ab", "N", "fg", ">"}},
                                           InsertCase{0, 0, {"<", "N", "abcdefg", ">"}},
                                           InsertCase{7, 7, {"<", "abcdefg", "N", ">"}},
                                           InsertCase{0, 3, {"<", "N", "defg", ">"}},
                                           InsertCase{0, 7, {"<", "N", ">"}}));

TEST_F(eWordTest, InsertIntoAWordWithoutARowDestroysTheNodeInsteadOfLeakingIt) {
    OwnedNode<eWord> word = NewWord("abc", 0, SizedStyle(12), 0);
    ExprPtr node = NewWord("N", 0, SizedStyle(12), 0);
    eExpr* raw = node.get();
    SelectionEntry entry{word.get(), 1, 1, 0, 0};
    word->insert(entry, std::move(node));
    EXPECT_EQ(std::count(s_destroyed.begin(), s_destroyed.end(), raw), 1);
    EXPECT_EQ(word->view(), "abc");
    EXPECT_NE(std::string(LoggedInformation()).find("eWord::insert(middle)"), std::string::npos);
}

// ---- Tables ----

TEST_F(eWordTest, FunctionNamesAreFoundByExactBytes) {
    SetFunctionNames({"tan", "cos", "sin", "arcsin", "ln", "Pr", "lim"});
    for (const char* name : {"tan", "cos", "sin", "arcsin", "ln", "Pr", "lim"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(IsFunctionNameText(name));
    }
    for (const char* other : {"Sin", "si", "sinh", "", "pr", "a"}) {
        SCOPED_TRACE(other);
        EXPECT_FALSE(IsFunctionNameText(other));
    }
    FSSRecord inherit;
    InitFSSRecord(inherit);
    OwnedNode<eWord> w = NewWord("xarcsin", 0, inherit, 0);
    EXPECT_EQ(FunctionNameEndingAt(w.get(), 7), 6);
    EXPECT_EQ(FunctionNameEndingAt(w.get(), 6), 0);
    OwnedNode<eWord> shortWord = NewWord("sin", 0, inherit, 0);
    EXPECT_EQ(FunctionNameEndingAt(shortWord.get(), 3), 3);
}

TEST_F(eWordTest, WithNoNamesNoWordIsAFunctionName) {
    SetFunctionNames({});
    EXPECT_FALSE(IsFunctionNameText("sin"));
}

TEST_F(eWordTest, OperatorTests) {
    for (unsigned char c : {0x2B, 0x2D, 0x2A, 0x2F, 0x3D, 0x3C, 0x3E})
        EXPECT_TRUE(IsOperatorChar(c)) << c;
    for (unsigned char c : {0xF7, 0xD7, 0xB7, 0xBB, 0xAB, 0xAC, 0xB1, 0x96, 0x97, 0x95, 0xAD})
        EXPECT_TRUE(IsOperatorChar(c)) << int(c);
    for (unsigned char c : {0x61, 0x31, 0x28, 0x2E, 0x20, 0xB9})
        EXPECT_FALSE(IsOperatorChar(c)) << int(c);
    SetFSSFontName(StyleTable[1], "Symbol");
    SetFSSFontName(StyleTable[2], "Arial");
    EXPECT_TRUE(IsOperatorCode(0x002B));
    EXPECT_TRUE(IsOperatorCode(0x11B9));  // not-equal in a Symbol entry
    EXPECT_FALSE(IsOperatorCode(0x12B9)); // the same byte in a text font
    EXPECT_FALSE(IsOperatorCode(0x1161));
    // Older texts' upper half: a letter, and '#' where there is no equivalent.
    EXPECT_EQ(MacRomanToAnsi(0x8E), 0xE9);
    EXPECT_EQ(MacRomanToAnsi(0x86), 0x23);
}

TEST_F(eWordTest, PunctuationAndLetterClassComeFromTheFirstCharacter) {
    FSSRecord inherit;
    InitFSSRecord(inherit);
    for (const char* p : {".", ",x", ";", ":", "?", "'", "\"", ")", "!"})
        EXPECT_TRUE(NewWord(p, 0, inherit, 0)->isPunctuation()) << p;
    for (const char* p : {"(", "x.", "-"})
        EXPECT_FALSE(NewWord(p, 0, inherit, 0)->isPunctuation()) << p;
    EXPECT_TRUE(NewWord("x1", 0, inherit, 0)->charClass());
    EXPECT_FALSE(NewWord("1x", 0, inherit, 0)->charClass());
    EXPECT_FALSE(NewWord("", 0, inherit, 0)->charClass());
}

} // namespace
} // namespace kvtest

namespace kvtest {
namespace {

class WordBoundaries : public eWordTest {
protected:
    static OwnedNode<eWord> W(const char* text, uint8_t colour = 0, int32_t points = 12) {
        return NewWord(text, 0, SizedStyle(points), colour);
    }
};

TEST_F(WordBoundaries, OperatorsAndBrokenFunctionNamesStartNewWords) {
    SetFunctionNames({"sin", "sinh"});
    const FSSRecord text = SizedStyle(12);
    EXPECT_TRUE(StartsNewWord(W("ab").get(), text, '+', 2));
    EXPECT_TRUE(StartsNewWord(W("a+").get(), text, 'b', 2)); // after an operator
    EXPECT_FALSE(StartsNewWord(W("a+").get(), text, ' ', 2));
    EXPECT_FALSE(StartsNewWord(W("ab").get(), text, 'c', 2));
    EXPECT_TRUE(StartsNewWord(W("sin").get(), text, 'x', 3));  // "sinx" is no function name
    EXPECT_FALSE(StartsNewWord(W("sin").get(), text, 'h', 3)); // "sinh" still is one
    FSSRecord symbol = text;
    SetFSSFontName(symbol, "Symbol");
    OwnedNode<eWord> neq = W("\xB9");
    EXPECT_TRUE(StartsNewWord(neq.get(), symbol, 'a', 1));
    EXPECT_FALSE(StartsNewWord(neq.get(), text, 'a', 1));
}

TEST_F(WordBoundaries, WordsMergeOnlyWhenAlikeAndShortEnoughTogether) {
    EXPECT_TRUE(CanMergeWords(W("abcdefg").get(), W("hijklmnp").get()));   // 15 together
    EXPECT_FALSE(CanMergeWords(W("abcdefgh").get(), W("ijklmnop").get())); // 16 together
    EXPECT_FALSE(CanMergeWords(W("x").get(), W("2").get()));               // letter, digit
    EXPECT_FALSE(CanMergeWords(W("a").get(), W("b", 0xE0).get()));         // colours differ
    EXPECT_FALSE(CanMergeWords(W("a").get(), W("b", 0, 14).get()));        // sizes differ
    OwnedNode<eWord> nudged = W("b");
    nudged->m_nudgeY = 2;
    EXPECT_FALSE(CanMergeWords(W("a").get(), nudged.get()));
    // Styles are compared resolved: an inherited size equals the base size written out.
    FSSRecord inherit;
    InitFSSRecord(inherit);
    OwnedNode<eWord> inherited = NewWord("b", 0, inherit, 0);
    FSSRecord base = inherit;
    base.size = StyleTable[0].size;
    OwnedNode<eWord> explicitSize = NewWord("c", 0, base, 0);
    EXPECT_TRUE(CanMergeWords(inherited.get(), explicitSize.get()));
}

} // namespace
} // namespace kvtest
