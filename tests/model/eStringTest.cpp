// Typing and deleting in rows and words, driven as the command dispatcher drives them: the entry
// being acted upon names the node, the node's keystroke or backspace runs, and the selection it
// leaves is where the next key goes.
#include "OverSrcs/eHeader.h"
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

int32_t s_code = 0;
SelectionEntry s_entry;
SelectionEntry s_selected;
std::vector<eExpr*> s_finished;

int32_t CurrentCode() {
    return s_code;
}
SelectionEntry* ActedUpon() {
    return &s_entry;
}
void Select(eExpr* node, int32_t start, int32_t end, int32_t rowStart, int32_t rowEnd) {
    s_selected = {node, start, end, rowStart, rowEnd};
}
void SetSel(const SelectionEntry& entry) {
    s_selected = entry;
}
void Finished(eExpr* node) {
    s_finished.push_back(node);
}

// A template of two slots (a stand-in for a fraction).
class Pair : public eTemplate {
    KV_NODE_CLONE(Pair)
};

class eStringTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        ModelHooks& h = TheModelHooks();
        h.currentCommandCode = &CurrentCode;
        h.entryBeingActedUpon = &ActedUpon;
        h.selectRange = &Select;
        h.setSelection = &SetSel;
        h.finishEditAt = &Finished;
        s_finished.clear();
        AutoSpaceOption = 1;
        header = NewHeader(NewEmptySimpString(), nullptr);
        s_selected = {header->getChild(0), 0, 0, 0, 0};
    }
    void TearDown() override {
        FunctionNameText.clear();
        FunctionNameCount = 0;
        LoadFunctionNames();
        ModelTest::TearDown();
    }
    // Types each character at the current selection.
    void Type(const std::string& keys) {
        for (char k : keys) {
            s_code = static_cast<unsigned char>(k);
            s_entry = s_selected;
            ASSERT_NE(s_entry.node, nullptr);
            s_entry.node->keystroke(s_entry);
        }
    }
    void Backspace(int32_t direction = -1) {
        s_entry = s_selected;
        ASSERT_NE(s_entry.node, nullptr);
        s_entry.node->backspace(direction);
    }
    eExpr* Row() const { return header->getChild(0); }
    // The row as text: words as they are, "_" a space, "~" a tab, "[..|..]" a two-slot template.
    static std::string Show(const eExpr* node) {
        if (const auto* w = dynamic_cast<const eWord*>(node))
            return std::string(w->view());
        if (node->isSpace())
            return "_";
        if (node->isTab())
            return "~";
        std::string out = node->isTemplate() ? "[" : "";
        for (int32_t i = 0; i < node->childCount(); ++i) {
            if (node->isString() && i > 0)
                out += " ";
            if (node->isTemplate() && i > 0)
                out += "|";
            out += Show(node->getChild(i));
        }
        return out + (node->isTemplate() ? "]" : "");
    }
    std::string Shown() const { return Show(Row()); }

    OwnedNode<eHeader> header;
};

TEST_F(eStringTest, LettersExtendAWordAndADigitStartsANewOne) {
    Type("ab");
    EXPECT_EQ(Shown(), "ab");
    EXPECT_EQ(s_selected, (SelectionEntry{Row()->getChild(0), 2, 2, 0, 0}));
    Type("2");
    EXPECT_EQ(Shown(), "ab 2");
    Type("c");
    EXPECT_EQ(Shown(), "ab 2 c");
}

TEST_F(eStringTest, AnOperatorAfterAnItemGetsASpaceBeforeIt) {
    Type("a");
    // The caret is in the word: the word hands the operator to a node of its own.
    Type("+");
    EXPECT_EQ(Shown(), "a _ +");
    // At the start of a row no space is put in.
    header = NewHeader(NewEmptySimpString(), nullptr);
    s_selected = {Row(), 0, 0, 0, 0};
    Type("+");
    EXPECT_EQ(Shown(), "+");
}

TEST_F(eStringTest, AnOperatorAtARowCaretOrOverARangeFollowsTheSpacingRule) {
    Type("a");
    Type(" ");
    EXPECT_EQ(Shown(), "a _");
    // A caret between items: the space rule applies.
    s_selected = {Row(), 2, 2, 0, 0};
    Type("=");
    EXPECT_EQ(Shown(), "a _ _ =");
    // A selected range is replaced, without a space.
    s_selected = {Row(), 1, 3, 0, 0};
    Type("-");
    EXPECT_EQ(Shown(), "a - =");
    AutoSpaceOption = 0;
    s_selected = {Row(), 3, 3, 0, 0};
    Type("<");
    EXPECT_EQ(Shown(), "a - = <");
}

TEST_F(eStringTest, TabsAndSpacesBecomePseudoCharacters) {
    Type("x\ty z");
    EXPECT_EQ(Shown(), "x ~ y _ z");
}

TEST_F(eStringTest, AnOperatorTypedInsideAWordCutsItWithoutASpace) {
    Type("abcd");
    s_selected = {Row()->getChild(0), 2, 2, 0, 0};
    Type("+");
    EXPECT_EQ(Shown(), "ab + cd");
    EXPECT_TRUE(Row()->getChild(1)->isWord());
}

TEST_F(eStringTest, FunctionNamesGetTheirOwnWordAndSpace) {
    FunctionNameText = std::string("sin") + '\0';
    FunctionNameCount = 1;
    LoadFunctionNames();
    Type("xsin");
    EXPECT_EQ(Shown(), "x _ sin");
    // A letter after a complete function name starts a new word, spaced like an operator.
    Type("y");
    EXPECT_EQ(Shown(), "x _ sin _ y");
    AutoSpaceOption = 0;
    Type("z");
    EXPECT_EQ(Shown(), "x _ sin _ yz");
}

TEST_F(eStringTest, AWordLongerThanSixteenCharactersTakesNoMore) {
    Type("abcdefghijklmnopq"); // 17 letters: the 17th still joins, the word is now too long
    EXPECT_EQ(Shown(), "abcdefghijklmnopq");
    Type("r");
    EXPECT_EQ(Shown(), "abcdefghijklmnopq r");
}

TEST_F(eStringTest, ATypingStyleDifferentFromTheWordsStartsANewWord) {
    Type("ab");
    TheModelHooks().getTypingFSS = [](FSSRecord& style, uint8_t& colour) {
        InitFSSRecord(style);
        style.style[kStyleBold] = 1;
        colour = 0;
    };
    Type("c");
    EXPECT_EQ(Shown(), "ab c");
    FSSRecord style;
    static_cast<eWord*>(Row()->getChild(1))->storedStyle(style);
    EXPECT_EQ(style.style[kStyleBold], 1);
}

TEST_F(eStringTest, BackspaceDeletesCharactersThenTheEmptiedWord) {
    Type("ab+c");
    // Spaces go round the operator: before it as an operator, after it as what follows one.
    EXPECT_EQ(Shown(), "ab _ + _ c");
    Backspace();
    // The last character of the word is gone: so is the word, and the caret stays in its place.
    EXPECT_EQ(Shown(), "ab _ + _");
    EXPECT_EQ(s_selected, (SelectionEntry{Row(), 4, 4, 0, 0}));
    Backspace(); // the row deletes the item before the caret
    EXPECT_EQ(Shown(), "ab _ +");
    EXPECT_EQ(s_selected, (SelectionEntry{Row(), 3, 3, 0, 0}));
    Backspace(); // ... and into a word, which loses its last character and with it itself
    EXPECT_EQ(Shown(), "ab _");
    Backspace();
    EXPECT_EQ(Shown(), "ab");
    Backspace();
    EXPECT_EQ(Shown(), "a");
    EXPECT_EQ(s_selected, (SelectionEntry{Row()->getChild(0), 1, 1, 0, 0}));
}

TEST_F(eStringTest, BackspaceAtTheStartOfAWordDeletesIntoTheItemBefore) {
    Type("ab 2");
    s_selected = {Row()->getChild(2), 0, 0, 0, 0};
    Backspace();
    EXPECT_EQ(Shown(), "ab 2");
    EXPECT_EQ(s_selected, (SelectionEntry{Row(), 1, 1, 0, 0}));
}

TEST_F(eStringTest, ForwardDeleteAtAWordsEndDeletesNothing) {
    Type("ab");
    const size_t finishedBefore = s_finished.size();
    s_selected = {Row()->getChild(0), 2, 2, 0, 0};
    Backspace(0);
    EXPECT_EQ(Shown(), "ab");
    EXPECT_EQ(s_finished.size(), finishedBefore);
    s_selected = {Row()->getChild(0), 0, 0, 0, 0};
    Backspace(0);
    EXPECT_EQ(Shown(), "b");
}

class WordJoining : public eStringTest {
protected:
    // A row of words in one style; "_" items are spaces.
    void Build(const std::vector<std::string>& items) {
        FSSRecord inherit;
        InitFSSRecord(inherit);
        OwnedNode<eSimpString> row = NewSimpString(static_cast<int32_t>(items.size()));
        for (size_t i = 0; i < items.size(); ++i) {
            if (items[i] == "_")
                row->setChild(static_cast<int32_t>(i), NewPseudo(kPseudoSpace, nullptr, 0));
            else
                row->setChild(static_cast<int32_t>(i), NewWord(items[i], 0, inherit, 0));
        }
        header = NewHeader(std::move(row), nullptr);
    }
};

TEST_F(WordJoining, EntriesInTheJoinedWordsFollowTheirCharacters) {
    Build({"ab", "cd", "_", "e"});
    eExpr* ab = Row()->getChild(0);
    eExpr* cd = Row()->getChild(1);
    SelectionEntry entries[2] = {{cd, 1, 2, 0, 0}, {ab, 0, 1, 0, 0}};
    EXPECT_EQ(MergeWordsForEntries(entries, 2), 1);
    EXPECT_EQ(Shown(), "abcd _ e");
    eExpr* abcd = Row()->getChild(0);
    EXPECT_EQ(entries[0], (SelectionEntry{abcd, 3, 4, 0, 0}));
    EXPECT_EQ(entries[1], (SelectionEntry{abcd, 0, 1, 0, 0}));
    EXPECT_FALSE(Row()->isLaidOut());
}

TEST_F(WordJoining, ARowEntryMovesWithItsItemsOrIntoTheMergedWord) {
    Build({"_", "ab", "cd", "_", "x", "y"});
    SelectionEntry after{Row(), 3, 4, 0, 0};
    EXPECT_EQ(MergeWordsForEntries(&after, 1), 2);
    EXPECT_EQ(Shown(), "_ abcd _ xy");
    EXPECT_EQ(after, (SelectionEntry{Row(), 2, 3, 0, 0}));
    Build({"_", "ab", "cd", "_"});
    SelectionEntry across{Row(), 1, 3, 0, 0};
    MergeWordsForEntries(&across, 1);
    EXPECT_EQ(across, (SelectionEntry{Row()->getChild(1), 0, 4, 0, 0}));
    Build({"_", "ab", "cd", "_"});
    SelectionEntry between{Row(), 2, 2, 0, 0};
    MergeWordsForEntries(&between, 1);
    EXPECT_EQ(between, (SelectionEntry{Row()->getChild(1), 2, 2, 0, 0}));
}

TEST_F(WordJoining, RunsOfWordsJoinUntilTheyWouldBeTooLong) {
    Build({"abcde", "fghij", "klmno", "p", "2"});
    SelectionEntry caret{Row(), 0, 0, 0, 0};
    EXPECT_EQ(MergeWordsForEntries(&caret, 1), 2);
    // Fifteen letters join; the sixteenth letter stays apart, and so does the digit.
    EXPECT_EQ(Shown(), "abcdefghijklmno p 2");
}

class TemplateBackspace : public eStringTest {
protected:
    // a [first|second] z, with the slots' contents given as words (empty: an empty slot).
    void Build(const char* first, const char* second) {
        OwnedNode<Pair> pair = NewTemplateBlock<Pair>(2, 2);
        FSSRecord inherit;
        InitFSSRecord(inherit);
        for (int32_t i = 0; i < 2; ++i) {
            const char* text = i == 0 ? first : second;
            OwnedNode<eSimpString> slot = NewSimpString(*text != 0 ? 1 : 0);
            if (*text != 0)
                slot->setChild(0, NewWord(text, 0, inherit, 0));
            pair->setChild(i, std::move(slot));
        }
        OwnedNode<eSimpString> row = NewSimpString(3);
        row->setChild(0, NewWord("a", 0, inherit, 0));
        row->setChild(1, std::move(pair));
        row->setChild(2, NewWord("z", 0, inherit, 0));
        header = NewHeader(std::move(row), nullptr);
    }
    eExpr* Slot(int32_t i) const { return Row()->getChild(1)->getChild(i); }
};

TEST_F(TemplateBackspace, AtTheStartOfTheSecondSlotDissolvesTheTemplate) {
    Build("p", "q");
    s_selected = {Slot(1), 0, 0, 0, 0};
    Backspace();
    EXPECT_EQ(Shown(), "a p q z");
    EXPECT_EQ(s_selected, (SelectionEntry{Row(), 2, 2, 0, 0}));
}

TEST_F(TemplateBackspace, AtTheStartOfTheFirstSlotDeletesAnEmptyTemplate) {
    Build("", "");
    s_selected = {Slot(0), 0, 0, 0, 0};
    Backspace();
    EXPECT_EQ(Shown(), "a z");
}

TEST_F(TemplateBackspace, AtTheStartOfTheFirstSlotSelectsAFilledTemplate) {
    Build("", "q");
    s_selected = {Slot(0), 0, 0, 0, 0};
    Backspace();
    EXPECT_EQ(Shown(), "a [|q] z");
    EXPECT_EQ(s_selected, (SelectionEntry{Row(), 1, 2, 0, 0}));
}

TEST_F(TemplateBackspace, AtTheStartOfTheTopRowNothingIsDeleted) {
    Build("p", "q");
    s_selected = {Row(), 0, 0, 0, 0};
    Backspace();
    EXPECT_EQ(Shown(), "a [p|q] z");
    EXPECT_EQ(s_selected, (SelectionEntry{Row(), 0, 0, 0, 0}));
}

} // namespace
} // namespace kvtest
