#include "OverSrcs/eAsian.h"

#include "ExprSrcs/eEqual.h"
#include "OverPc/PERROR.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eSimpString.h"
#include "model/EditModelFixture.h"
#include "model/ModelFixture.h"

#include <cstring>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace kvtest {
namespace {

// Three codes of a double-byte code page (lead byte high).
constexpr int32_t kAlpha = 0xA6C1;
constexpr int32_t kBeta = 0xA6C2;
constexpr int32_t kGamma = 0xA6C3;

std::string Hex(std::string_view bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// Words as their bytes in hex ("a:" marks double-byte words), pseudo-characters as <code>.
std::string Dump(const eExpr* node) {
    if (node == nullptr)
        return "null";
    if (node->isWord()) {
        const auto* word = static_cast<const eWord*>(node);
        return word->isDoubleByte() ? "a:" + Hex(word->view()) : std::string(word->view());
    }
    if (const auto* pseudo = dynamic_cast<const ePseudo*>(node))
        return std::string("<") + static_cast<char>(pseudo->m_code) + ">";
    std::string text = node->isString() ? "[" : "{";
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

std::string Codes(std::initializer_list<int32_t> codes) {
    std::string bytes;
    for (int32_t c : codes)
        bytes += AsianBytesOf(c);
    return bytes;
}

class AsianTest : public EditModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        SetLoggedInformation("");
        installCommands();
        TheAsianFontServices() = AsianFontServices{};
        AutoSpaceOption = 0;
        s_redraws = 0;
        TheCommandHooks().redrawAfterEdit = [] { ++s_redraws; };
        openRecord();
    }
    void TearDown() override {
        EditModelTest::TearDown();
        TheAsianFontServices() = AsianFontServices{};
    }

    eExpr* item(int32_t i) const { return expression()->getChild(i); }
    std::string tree() const { return Dump(expression()); }
    // Puts nodes into the (empty) expression row.
    template <class... Nodes> void fill(Nodes&&... given) {
        std::vector<ExprPtr> nodes;
        (nodes.push_back(ExprPtr(given.release())), ...);
        auto* row = static_cast<eString*>(expression());
        eString* now = row->resizeRange(0, row->childCount(), static_cast<int32_t>(nodes.size()));
        for (size_t i = 0; i < nodes.size(); ++i)
            now->setChild(static_cast<int32_t>(i), std::move(nodes[i]));
    }

    static inline int s_redraws = 0;
};

// ---- Typing ----

TEST_F(AsianTest, TypedCodesJoinOneDoubleByteWordLeadByteFirst) {
    TypeAsianChar(kAlpha);
    TypeAsianChar(kBeta);
    EXPECT_EQ(tree(), "[a:A6C1A6C2]");
    const SelectionEntry at = caret();
    EXPECT_EQ(at.node, item(0));
    EXPECT_EQ(at.start, 4);
    EXPECT_EQ(at.end, 4);
    EXPECT_EQ(AsianCodeAt(static_cast<eWord*>(item(0)), 1), kBeta);
    EXPECT_GE(s_redraws, 2);
    // A run of typing is one edit step: undo takes the whole run back out.
    ASSERT_TRUE(UndoLastEdit());
    EXPECT_EQ(tree(), "[]");
}

TEST_F(AsianTest, CodeTypedInsideAWordGoesAtTheCaret) {
    fill(newAsian(Codes({kAlpha, kGamma}), 0, Inherit(), 0));
    select({item(0), 2, 2, 0, 0});
    TypeAsianChar(kBeta);
    EXPECT_EQ(tree(), "[a:A6C1A6C2A6C3]");
    EXPECT_EQ(caret().start, 4);
    // A selected character is replaced.
    select({item(0), 0, 2, 0, 0});
    TypeAsianChar(kGamma);
    EXPECT_EQ(tree(), "[a:A6C3A6C2A6C3]");
}

TEST_F(AsianTest, CodeAfterSingleByteTextStartsItsOwnWord) {
    fill(NewWord("ab", 0, Inherit(), 0));
    select({item(0), 1, 1, 0, 0});
    TypeAsianChar(kAlpha);
    EXPECT_EQ(tree(), "[a|a:A6C1|b]");
    EXPECT_EQ(LoggedInformation(), "");
}

TEST_F(AsianTest, OtherStyleOrColourNeverChangesTheOldWord) {
    struct Case {
        const char* what;
        int32_t points;
        int32_t colour;
    };
    for (const Case& c : {Case{"size", 36, -1}, Case{"colour", 0, 0xE0}}) {
        SCOPED_TRACE(c.what);
        fill(newAsian(Codes({kAlpha, kGamma}), 0, Inherit(), 0));
        FSSRecord oldStyle;
        static_cast<eChar*>(item(0))->storedStyle(oldStyle);
        if (c.points > 0)
            m_record.m_typingStyle.size = c.points;
        if (c.colour >= 0)
            m_record.m_typingColour = c.colour;
        select({item(0), 2, 2, 0, 0});
        TypeAsianChar(kBeta);
        // Cut at the caret: old text, the code in a word of its own, the rest.
        EXPECT_EQ(tree(), "[a:A6C1|a:A6C2|a:A6C3]");
        FSSRecord first, typed, rest;
        static_cast<eChar*>(item(0))->storedStyle(first);
        static_cast<eChar*>(item(1))->storedStyle(typed);
        static_cast<eChar*>(item(2))->storedStyle(rest);
        EXPECT_TRUE(SameFSS(first, oldStyle));
        EXPECT_TRUE(SameFSS(rest, oldStyle));
        EXPECT_EQ(item(0)->m_colour, 0);
        EXPECT_EQ(item(2)->m_colour, 0);
        if (c.points > 0)
            EXPECT_EQ(typed.size, 36);
        else
            EXPECT_EQ(item(1)->m_colour, 0xE0);
        EXPECT_EQ(caret().node, item(1));
        EXPECT_EQ(caret().start, 2);
        InitFSSRecord(m_record.m_typingStyle);
        m_record.m_typingColour = -1;
        ClearSelectionList(m_record);
        fill();
    }
}

TEST_F(AsianTest, LongWordSplitsAtTheCaretEvenInTheSameStyle) {
    std::string text;
    for (int i = 0; i < 126; ++i) // 252 bytes: more than the typing limit of 250
        text += AsianBytesOf(kAlpha);
    fill(newAsian(text, 0, Inherit(), 0));
    select({item(0), 100, 100, 0, 0});
    TypeAsianChar(kBeta);
    ASSERT_EQ(expression()->childCount(), 2);
    const auto* first = static_cast<const eWord*>(item(0));
    const auto* second = static_cast<const eWord*>(item(1));
    EXPECT_EQ(first->length(), 100);
    EXPECT_EQ(second->length(), 154);
    EXPECT_TRUE(second->isDoubleByte());
    EXPECT_EQ(AsianCodeAt(second, 0), kBeta);
    EXPECT_EQ(AsianCodeAt(second, 1), kAlpha);
    // The caret follows the typed character, never splits it.
    EXPECT_EQ(caret().node, item(1));
    EXPECT_EQ(caret().start, 2);
}

TEST_F(AsianTest, UnstorableCodesAreRefusedWithoutChange) {
    fill(newAsian(Codes({kAlpha}), 0, Inherit(), 0));
    select({item(0), 2, 2, 0, 0});
    const int32_t beeps = CommandBeepCount();
    for (int32_t code : {0x41, 0xA600, 0x10000, -1, 0}) {
        SCOPED_TRACE(code);
        TypeAsianChar(code);
        EXPECT_EQ(tree(), "[a:A6C1]");
    }
    EXPECT_EQ(CommandBeepCount(), beeps + 5);
    EXPECT_EQ(caret().node, item(0));
}

TEST_F(AsianTest, SingleByteCharacterTypedInsideDoubleByteTextGetsItsOwnWord) {
    fill(newAsian(Codes({kAlpha, kBeta}), 0, Inherit(), 0));
    select({item(0), 2, 2, 0, 0});
    DoCommand(MakeCharCode(kTypingStyleSelector, 'x'), 1);
    EXPECT_EQ(tree(), "[a:A6C1|x|a:A6C2]");
}

TEST_F(AsianTest, TypingWithoutSelectionStartsAtTheEndOfTheExpression) {
    fill(NewWord("q", 0, Inherit(), 0));
    ClearSelectionList(m_record);
    TypeAsianChar(kAlpha);
    EXPECT_EQ(tree(), "[q|a:A6C1]");
}

TEST_F(AsianTest, SeveralCaretsEachReceiveTheCode) {
    fill(NewWord("a", 0, Inherit(), 0), NewPseudo(kPseudoSpace, nullptr, 0),
         NewWord("b", 0, Inherit(), 0));
    ClearSelectionList(m_record);
    AddSelectionEntry(m_record, {item(0), 1, 1, 0, 0});
    AddSelectionEntry(m_record, {item(2), 1, 1, 0, 0});
    TypeAsianChar(kAlpha);
    EXPECT_EQ(tree(), "[a|a:A6C1|<s>|b|a:A6C1]");
}

TEST_F(AsianTest, ArrowsStepOverWholeCharacters) {
    fill(newAsian(Codes({kAlpha, kBeta, kGamma}), 0, Inherit(), 0));
    select({item(0), 2, 2, 0, 0});
    DoCommand(kCmdMoveRight, 0);
    EXPECT_EQ(caret().node, item(0));
    EXPECT_EQ(caret().start, 4);
    DoCommand(kCmdMoveLeft, 0);
    DoCommand(kCmdMoveLeft, 0);
    EXPECT_EQ(caret().start, 0);
    EXPECT_EQ(caret().end, 0);
    // A selected range collapses to its start on the left arrow.
    select({item(0), 2, 6, 0, 0});
    DoCommand(kCmdMoveLeft, 0);
    EXPECT_EQ(caret().start, 2);
    EXPECT_EQ(caret().end, 2);
}

// ---- Faces ----

TEST_F(AsianTest, TypingFaceWithoutDoubleByteGlyphsFallsBackToTheGuiFace) {
    AsianFontServices& services = TheAsianFontServices();
    services.faceScriptClass = [](const char* face) {
        return std::strcmp(face, "Far East") == 0 ? 'f' : 'i';
    };
    services.defaultGuiFace = [](char(&face)[kFontNameSize]) {
        std::strcpy(face, "GUI Face");
        return true;
    };
    TypeAsianChar(kAlpha);
    FSSRecord style;
    static_cast<eChar*>(item(0))->storedStyle(style);
    EXPECT_STREQ(style.fontName, "GUI Face");

    // A double-byte typing face is kept.
    SetFSSFontName(m_record.m_typingStyle, "Far East");
    OwnedNode<eAsian> word = NewAsianFromCode(kBeta);
    ASSERT_TRUE(word);
    word->storedStyle(style);
    EXPECT_STREQ(style.fontName, "Far East");
}

// ---- Deleting ----

TEST_F(AsianTest, BackspaceRemovesWholeCharacters) {
    fill(newAsian(Codes({kAlpha, kBeta, kGamma}), 0, Inherit(), 0));
    select({item(0), 4, 4, 0, 0});
    DoCommand(kCmdBackspace, 0);
    EXPECT_EQ(tree(), "[a:A6C1A6C3]");
    EXPECT_EQ(caret().start, 2);
    // Forward delete takes the character after the caret.
    DoCommand(kCmdDeleteForward, 0);
    EXPECT_EQ(tree(), "[a:A6C1]");
    // A range that splits characters is widened to them.
    select({item(0), 1, 2, 0, 0});
    DoCommand(kCmdBackspace, 0);
    EXPECT_EQ(tree(), "[]");
    EXPECT_EQ(caret().node, expression());
    EXPECT_EQ(caret().start, 0);
}

TEST_F(AsianTest, BackspaceAtTheStartDeletesIntoThePrecedingItem) {
    fill(NewWord("xy", 0, Inherit(), 0), newAsian(Codes({kAlpha}), 0, Inherit(), 0));
    select({item(1), 0, 0, 0, 0});
    DoCommand(kCmdBackspace, 0);
    EXPECT_EQ(tree(), "[x|a:A6C1]");
}

// ---- Words and their layout ----

TEST_F(AsianTest, ReplaceTextRoundsToCharactersAndLogsOddPositions) {
    OwnedNode<eAsian> word = newAsian(Codes({kAlpha, kBeta}), 0, Inherit(), 0);
    eWord* same = word->replaceText(1, 3, AsianBytesOf(kGamma));
    EXPECT_EQ(same, word.get());
    EXPECT_EQ(Hex(word->view()), "A6C3");
    EXPECT_NE(LoggedInformation().find("OdAS"), std::string_view::npos);
    EXPECT_NE(LoggedInformation().find("OdAE"), std::string_view::npos);
    SetLoggedInformation("");
    word->replaceText(2, 2, "\xA6");
    EXPECT_NE(LoggedInformation().find("OdAN"), std::string_view::npos);
    EXPECT_EQ(Hex(word->view()), "A6C3");
}

TEST_F(AsianTest, GrowingPastTheBlockMakesALargerDoubleByteWord) {
    fill(newAsian(Codes({kAlpha}), 0, Inherit(), 0x1C));
    auto* word = static_cast<eWord*>(item(0));
    eWord* grown = word->replaceText(2, 2, Codes({kBeta, kGamma}));
    EXPECT_EQ(grown, item(0));
    EXPECT_TRUE(grown->isDoubleByte());
    EXPECT_EQ(grown->m_colour, 0x1C);
    EXPECT_EQ(tree(), "[a:A6C1A6C2A6C3]");
}

TEST_F(AsianTest, TextBeyondOneWordSpillsIntoFurtherWords) {
    fill(newAsian(Codes({kAlpha}), 0, Inherit(), 0));
    std::string many;
    for (int i = 0; i < 200; ++i)
        many += AsianBytesOf(kBeta);
    static_cast<eWord*>(item(0))->replaceText(2, 2, many);
    ASSERT_EQ(expression()->childCount(), 2);
    const auto* first = static_cast<const eWord*>(item(0));
    const auto* second = static_cast<const eWord*>(item(1));
    EXPECT_EQ(first->length(), kMaxAsianBytes);
    EXPECT_EQ(second->length(), 402 - kMaxAsianBytes);
    EXPECT_TRUE(second->isDoubleByte());
    EXPECT_EQ(AsianCodeAt(first, 0), kAlpha);
    EXPECT_EQ(AsianCodeAt(second, 0), kBeta);
    // Outside a row nothing can take the rest: refused, text kept.
    OwnedNode<eAsian> loose = newAsian(Codes({kAlpha}), 0, Inherit(), 0);
    EXPECT_EQ(loose->replaceText(2, 2, many), loose.get());
    EXPECT_EQ(Hex(loose->view()), "A6C1");
}

TEST_F(AsianTest, CopyOutKeepsDoubleByteTextWhole) {
    OwnedNode<eAsian> word = newAsian(Codes({kAlpha, kBeta, kGamma}), 0, Inherit(), 0x03);
    ExprPtr part = word->copyOut({word.get(), 3, 4, 0, 0});
    ASSERT_TRUE(part);
    const auto* copy = static_cast<const eWord*>(part.get());
    EXPECT_TRUE(copy->isDoubleByte());
    EXPECT_EQ(Hex(copy->view()), "A6C2");
    EXPECT_EQ(copy->m_colour, 0x03);
    EXPECT_FALSE(word->copyOut({word.get(), 2, 2, 0, 0}));
}

TEST_F(AsianTest, MeasuredAndDrawnAsOneByteString) {
    OwnedNode<eSimpString> row = NewSimpString(1);
    row->setChild(0, newAsian(Codes({kAlpha, kBeta}), 0, SizedStyle(12), 0));
    auto* word = static_cast<eWord*>(row->getChild(0));
    Measure(row.get());
    const std::string bytes = Codes({kAlpha, kBeta});
    EXPECT_EQ(word->width(), ExpectedWidth(bytes, 12, 16));
    port->clear();
    DrawExpr(row.get(), port.get(), 0, 0, 0, 0, 30, 40);
    const std::vector<std::string>& calls = port->calls();
    int asianCalls = 0;
    for (const std::string& call : calls) {
        if (call.rfind("drawAsianString", 0) != 0)
            continue;
        ++asianCalls;
        // At the word's left edge and on its baseline, in the port's foreground colour.
        EXPECT_NE(call.find(" at=" + std::to_string(30 + word->m_zone.left) + "," +
                            std::to_string(40 + word->m_zone.top + word->m_zone.ref2)),
                  std::string::npos)
            << call;
        EXPECT_NE(call.find("flag=1 angle=0"), std::string::npos) << call;
        EXPECT_EQ(call.find("color=none"), std::string::npos) << call;
    }
    EXPECT_EQ(asianCalls, 1);
    for (const std::string& call : calls)
        EXPECT_EQ(call.rfind("drawString", 0), std::string::npos) << call;
}

TEST_F(AsianTest, ClicksNeverSelectHalfACharacter) {
    OwnedNode<eSimpString> row = NewSimpString(1);
    row->setChild(0, newAsian(Codes({kAlpha, kBeta, kGamma}), 0, SizedStyle(12), 0));
    auto* word = static_cast<eWord*>(row->getChild(0));
    Measure(row.get());
    DrawState.absZone = word->m_zone;
    for (int32_t a = -5; a <= word->width() + 5; a += 1) {
        for (int32_t b : {a, a + 7, word->width()}) {
            SCOPED_TRACE(testing::Message() << a << " " << b);
            SelectionEntry entry;
            ASSERT_TRUE(word->hitDrag({a, 5}, {b, 5}, entry));
            EXPECT_EQ(entry.node, word);
            EXPECT_EQ(entry.start % 2, 0);
            EXPECT_EQ(entry.end % 2, 0);
            // A press and release inside one character never selects it by rounding alone.
            if (a == b) {
                EXPECT_LE(entry.end - entry.start, 2);
            }
            EXPECT_LE(entry.start, entry.end);
            EXPECT_LE(entry.end, 6);
        }
    }
}

TEST_F(AsianTest, EqualityAndSearchKeepByteWidthsApart) {
    OwnedNode<eAsian> asian = newAsian(Codes({kAlpha, kBeta}), 0, Inherit(), 0);
    OwnedNode<eWord> plain = NewWord(asian->view(), 0, Inherit(), 0);
    OwnedNode<eAsian> same = newAsian(Codes({kAlpha, kBeta}), 0, SizedStyle(30), 0x40);
    EXPECT_FALSE(asian->equal(plain.get(), 0));
    EXPECT_FALSE(plain->equal(asian.get(), 0));
    EXPECT_TRUE(asian->equal(same.get(), 0));

    // The bytes C1 A6 lie at position 1, across two characters: not a match.
    OwnedNode<eSimpString> row = NewSimpString(1);
    row->setChild(0, newAsian(Codes({kAlpha, kAlpha}), 0, Inherit(), 0));
    OwnedNode<eSimpString> across = NewSimpString(1);
    across->setChild(0, newAsian("\xC1\xA6", 0, Inherit(), 0));
    SelectionEntry entry{row.get(), 0, 1, 0, 0};
    EXPECT_FALSE(FindPatternInRange(entry, across.get(), 0, nullptr));
    OwnedNode<eSimpString> whole = NewSimpString(1);
    whole->setChild(0, newAsian(Codes({kAlpha}), 0, Inherit(), 0));
    int32_t count = 0;
    ASSERT_TRUE(FindPatternInRange(entry, whole.get(), 0, &count));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(entry.start, 0);
    EXPECT_EQ(entry.end, 4);
}

// ---- Grids ----

// A rows x columns grid whose cells hold the words "c0", "c1", ... in cell order.
OwnedNode<eSimpMatrix> Grid(int32_t rows, int32_t columns) {
    OwnedNode<eSimpMatrix> grid = NewSimpMatrix(rows, columns);
    for (int32_t i = 0; i < rows * columns; ++i)
        grid->setChild(i, NewSimpStringWith(NewWord(std::string("c").append(std::to_string(i)), 0,
                                                    Inherit(), 0)));
    return grid;
}

struct GridCase {
    const char* name;
    SelectionEntry block; // node filled in by the test
    const char* expected;
    int32_t carets;
};
void PrintTo(const GridCase& c, std::ostream* os) {
    *os << c.name;
}

class AsianGridTest : public AsianTest, public ::testing::WithParamInterface<GridCase> {};

TEST_P(AsianGridTest, SelectedCellsEachReceiveTheCharacter) {
    const GridCase& c = GetParam();
    fill(NewWord("L", 0, Inherit(), 0), Grid(2, 3), NewWord("R", 0, Inherit(), 0));
    SelectionEntry block = c.block;
    block.node = item(1);
    select(block);
    TypeAsianChar(kAlpha);
    EXPECT_EQ(tree(), c.expected);
    EXPECT_EQ(m_record.count(), c.carets);
    for (int32_t i = 0; i < m_record.count(); ++i) {
        // Every caret stands after the character it received.
        const SelectionEntry& e = m_record.entry(i);
        ASSERT_NE(e.node, nullptr);
        if (e.node->isWord()) {
            EXPECT_TRUE(static_cast<eWord*>(e.node)->isDoubleByte());
            EXPECT_EQ(e.start, 2);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, AsianGridTest,
    ::testing::Values(GridCase{"TwoCellsOfTheFirstRow",
                               {nullptr, 0, 2, 0, 1},
                               "[L|{[a:A6C1]|[a:A6C1]|[c2]|[c3]|[c4]|[c5]}|R]",
                               2},
                      GridCase{"WholeRowBecomesANewRow",
                               {nullptr, 0, 3, 1, 2},
                               "[L|{[c0]|[c1]|[c2]|[a:A6C1]|[a:A6C1]|[a:A6C1]}|R]",
                               3},
                      GridCase{"CaretBetweenRowsAddsARow",
                               {nullptr, 0, 3, 1, 1},
                               "[L|{[c0]|[c1]|[c2]|[a:A6C1]|[a:A6C1]|[a:A6C1]|[c3]|[c4]|[c5]}|R]",
                               3},
                      GridCase{"WholeColumnsBecomeOneColumn",
                               {nullptr, 1, 3, 0, 2},
                               "[L|{[c0]|[a:A6C1]|[c3]|[a:A6C1]}|R]",
                               2},
                      GridCase{"WholeGridIsReplaced", {nullptr, 0, 3, 0, 2}, "[L|a:A6C1|R]", 1},
                      GridCase{"CaretLineAtTheLeftEdgeTypesBeforeTheGrid",
                               {nullptr, 0, 0, 0, 2},
                               "[L|a:A6C1|{[c0]|[c1]|[c2]|[c3]|[c4]|[c5]}|R]",
                               1},
                      GridCase{"CaretLineAtTheRightEdgeTypesAfterTheGrid",
                               {nullptr, 3, 3, 0, 2},
                               "[L|{[c0]|[c1]|[c2]|[c3]|[c4]|[c5]}|a:A6C1|R]",
                               1}),
    [](const ::testing::TestParamInfo<GridCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace kvtest
