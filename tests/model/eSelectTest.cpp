#include "OverSrcs/eSelect.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/eClick.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eTempl.h"
#include "OverSrcs/eWord.h"
#include "model/ModelFixture.h"
#include "model/SlotsInLine.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <vector>

namespace kvtest {
namespace {

// Slots laid side by side; enough of a template for moves, slots and hits.
class Pair : public eTemplate {
    KV_NODE_CLONE(Pair)
    void measure() override {
        eTemplate::measure();
        m_zone = PlaceSlotsInLine(*this);
    }
};

class SelectionTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        InstallSelectionHooks();
        ShiftHeld = 0;
        SetLoggedInformation("");
    }
    void TearDown() override {
        ShiftHeld = 0;
        WholeRowClickOption = 0;
        if (SavedList != nullptr)
            FreeSelectionList(SavedList);
        DestroySelectionRecord(record);
        ActiveRecord = nullptr;
        ActiveList = nullptr;
        ModelTest::TearDown();
    }

    static ExprPtr Word(const char* text) { return NewWord(text, 0, SizedStyle(48), 0); }
    static OwnedNode<eSimpString> Row(std::initializer_list<const char*> words) {
        OwnedNode<eSimpString> row = NewSimpString(static_cast<int32_t>(words.size()));
        int32_t i = 0;
        for (const char* w : words)
            row->setChild(i++, Word(w));
        return row;
    }
    // Makes the record over the expression the active one.
    eExpr* Use(ExprPtr expression) {
        eExpr* e = expression.get();
        CreateSelectionRecord(record, std::move(expression), 0, 0, 0, 0);
        ActiveRecord = &record;
        ActiveList = record.m_entries;
        return e;
    }
    std::vector<SelectionEntry> List() const {
        std::vector<SelectionEntry> out;
        for (int32_t i = 0; i < record.count(); ++i)
            out.push_back(record.entry(i));
        return out;
    }
    // Runs one selection command on a one-entry selection, as the dispatcher does.
    std::vector<SelectionEntry> Run(int32_t code, SelectionEntry entry) {
        ClearSelectionList(record);
        EXPECT_EQ(AddSelectionEntry(record, entry), nullptr);
        SelectionEntry* saved = SaveSelectionList();
        EXPECT_TRUE(ApplySelectionMove(code, saved[0].node, saved[0]));
        FreeSelectionList(saved);
        return List();
    }
    static bool Logged(const std::string& text) {
        return std::string(LoggedInformation()).find(text) != std::string::npos;
    }

    SelectionRecord record;
};

using Entries = std::vector<SelectionEntry>;

// ---- The record ---------------------------------------------------------------------------------

TEST_F(SelectionTest, ANewRecordSelectsOnlyALonePlaceholder) {
    struct Case {
        std::initializer_list<const char*> words;
        bool selected;
    };
    for (const Case& c :
         {Case{{"?"}, true}, Case{{"x"}, false}, Case{{"?", "?"}, false}, Case{{"??"}, false}}) {
        SCOPED_TRACE(std::string(*c.words.begin()) + " x" + std::to_string(c.words.size()));
        eExpr* row = Use(Row(c.words));
        ASSERT_NE(record.m_root, nullptr);
        EXPECT_EQ(record.m_root->getChild(0), row);
        EXPECT_EQ(record.m_capacity, 2);
        EXPECT_EQ(record.m_typingColour, -1);
        EXPECT_EQ(record.m_noBackground, 1);
        if (c.selected)
            EXPECT_EQ(List(), (Entries{{row, 0, 1, 0, 0}}));
        else
            EXPECT_TRUE(List().empty());
    }
}

TEST_F(SelectionTest, AnEntryOnTheLineOfAncestryOfAListedOneTakesItAwayInstead) {
    OwnedNode<Pair> pair = NewTemplateBlock<Pair>(2, 2);
    eExpr* left = pair->setChild(0, Row({"ab", "cd"}));
    eExpr* right = pair->setChild(1, Row({"ef"}));
    Use(NewSimpStringWith(std::move(pair)));
    eExpr* word = left->getChild(1);

    // The same node: the listed range goes and the new one is not added.
    ASSERT_EQ(AddSelectionEntry(record, {left, 0, 1, 0, 0}), nullptr);
    const SelectionEntry* removed = AddSelectionEntry(record, {left, 2, 4, 0, 0});
    ASSERT_NE(removed, nullptr);
    EXPECT_EQ(*removed, (SelectionEntry{left, 0, 1, 0, 0}));
    EXPECT_TRUE(List().empty());

    // A descendant of a listed node, and an ancestor of one.
    AddSelectionEntry(record, {left, 0, 2, 0, 0});
    EXPECT_NE(AddSelectionEntry(record, {word, 0, 1, 0, 0}), nullptr);
    EXPECT_TRUE(List().empty());
    AddSelectionEntry(record, {word, 0, 1, 0, 0});
    EXPECT_NE(AddSelectionEntry(record, {left, 0, 0, 0, 0}), nullptr);
    EXPECT_TRUE(List().empty());

    // Unrelated branches accumulate, in order; a null node adds nothing.
    EXPECT_EQ(AddSelectionEntry(record, {word, 1, 2, 0, 0}), nullptr);
    EXPECT_EQ(AddSelectionEntry(record, {right, 0, 1, 0, 0}), nullptr);
    EXPECT_EQ(AddSelectionEntry(record, {nullptr, 0, 1, 0, 0}), nullptr);
    EXPECT_EQ(List(), (Entries{{word, 1, 2, 0, 0}, {right, 0, 1, 0, 0}}));
    RemoveSelectionEntry(record, word);
    EXPECT_EQ(List(), (Entries{{right, 0, 1, 0, 0}}));

    // A place in another record's tree, or in no tree, adds nothing: the record would be drawn
    // and acted on after that tree is gone.
    SelectionRecord other;
    CreateSelectionRecord(other, Row({"gh"}), 0, 0, 0, 0);
    ExprPtr loose = Row({"ij"});
    for (eExpr* foreign : {other.m_root->getChild(0), other.m_root->getChild(0)->getChild(0),
                           static_cast<eExpr*>(other.m_root), loose.get()}) {
        EXPECT_EQ(AddSelectionEntry(record, {foreign, 0, 1, 0, 0}), nullptr);
        EXPECT_EQ(List(), (Entries{{right, 0, 1, 0, 0}}));
    }
    DestroySelectionRecord(other);
}

TEST_F(SelectionTest, TheArrayDoublesWhenTheTerminatorWouldNotFit) {
    OwnedNode<Pair> pair = NewTemplateBlock<Pair>(4, 4);
    std::vector<eExpr*> slots;
    for (int32_t i = 0; i < 4; ++i)
        slots.push_back(pair->setChild(i, Row({"a"})));
    Use(NewSimpStringWith(std::move(pair)));
    // Capacity after each of the four adds: one entry and the terminator fill two slots.
    const int32_t expected[] = {2, 4, 4, 8};
    for (int32_t i = 0; i < 4; ++i) {
        AddSelectionEntry(record, {slots[i], 0, 1, 0, 0});
        EXPECT_EQ(record.m_capacity, expected[i]) << "after entry " << i + 1;
        // The active list follows the record's array when it moves.
        EXPECT_EQ(ActiveList, record.m_entries);
        EXPECT_EQ(record.count(), i + 1);
    }
    EXPECT_EQ(record.entry(3).node, slots[3]);
}

TEST_F(SelectionTest, SavingEmptiesTheListAndOnlyTheRememberedCopyIsFreed) {
    OwnedNode<Pair> pair = NewTemplateBlock<Pair>(2, 2);
    eExpr* a = pair->setChild(0, Row({"a"}));
    eExpr* b = pair->setChild(1, Row({"b"}));
    Use(NewSimpStringWith(std::move(pair)));
    SelectRange(a, 0, 1, 0, 0);
    SelectRange(b, 1, 1, 0, 0);
    SelectionEntry* copy = SaveSelectionList();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy[0], (SelectionEntry{a, 0, 1, 0, 0}));
    EXPECT_EQ(copy[1], (SelectionEntry{b, 1, 1, 0, 0}));
    EXPECT_EQ(copy[2].node, nullptr);
    EXPECT_EQ(SavedListEnd, copy + 2);
    EXPECT_TRUE(List().empty());

    // Another block is reported and left alone; the remembered copy is still freed.
    SelectionEntry stranger[1];
    FreeSelectionList(stranger);
    EXPECT_TRUE(Logged("eSelect"));
    EXPECT_EQ(SavedList, nullptr);
    EXPECT_EQ(SavedListEnd, nullptr);
}

TEST_F(SelectionTest, AReplacedRowTakesOverItsEntriesClampedToItsSize) {
    eExpr* row = Use(Row({"a", "b", "c"}));
    SelectRange(row, 2, 3, 0, 0);
    eString* fresh = static_cast<eString*>(row)->resizeRange(0, 2, 0);
    ASSERT_NE(fresh, row);
    EXPECT_EQ(List(), (Entries{{fresh, 1, 1, 0, 0}}));
}

TEST_F(SelectionTest, ADestroyedNodeLeavesEveryListItWasIn) {
    OwnedNode<Pair> pair = NewTemplateBlock<Pair>(3, 3);
    eExpr* a = pair->setChild(0, Row({"a"}));
    eExpr* b = pair->setChild(1, Row({"b"}));
    eExpr* c = pair->setChild(2, Row({"c"}));
    eExpr* top = Use(NewSimpStringWith(std::move(pair)));
    eExpr* holder = top->getChild(0);
    SelectRange(a, 0, 1, 0, 0);
    SelectRange(b, 0, 1, 0, 0);
    SelectRange(c, 0, 1, 0, 0);
    SelectionEntry* saved = SaveSelectionList();
    SelectRange(b, 1, 1, 0, 0);
    SelectRange(c, 1, 1, 0, 0);
    holder->setChild(1, NewSimpString(0)); // destroys b
    EXPECT_EQ(List(), (Entries{{c, 1, 1, 0, 0}}));
    // The saved list keeps its length: the dead entry stays in place without a node, so the
    // command still reaches the later entries.
    EXPECT_EQ(SavedListEnd, saved + 3);
    EXPECT_EQ(saved[0], (SelectionEntry{a, 0, 1, 0, 0}));
    EXPECT_EQ(saved[1].node, nullptr);
    EXPECT_EQ(saved[2], (SelectionEntry{c, 0, 1, 0, 0}));
    FreeSelectionList(saved);
}

TEST_F(SelectionTest, ADestroyedSubtreeDropsTheEntriesBelowItsTopAndNoOthers) {
    OwnedNode<Pair> inner = NewTemplateBlock<Pair>(2, 2);
    eExpr* deep = inner->setChild(0, Row({"a"}));
    inner->setChild(1, Row({"b"}));
    OwnedNode<Pair> pair = NewTemplateBlock<Pair>(3, 3);
    pair->setChild(0, NewSimpStringWith(std::move(inner)));
    pair->setChild(1, Row({"c"}));
    eExpr* kept = pair->setChild(2, Row({"d"}));
    eExpr* holder = Use(NewSimpStringWith(std::move(pair)))->getChild(0);
    SelectRange(deep, 0, 1, 0, 0);
    SelectRange(kept, 0, 1, 0, 0);
    SelectionEntry* saved = SaveSelectionList();
    SelectRange(deep, 1, 1, 0, 0);
    SelectRange(kept, 1, 1, 0, 0);
    holder->setChild(1, NewSimpString(0)); // nothing selected in the row it destroys
    EXPECT_EQ(List(), (Entries{{deep, 1, 1, 0, 0}, {kept, 1, 1, 0, 0}}));
    // Destroys a row holding a template whose first slot, two levels down, is selected.
    holder->setChild(0, NewSimpString(0));
    EXPECT_EQ(List(), (Entries{{kept, 1, 1, 0, 0}}));
    EXPECT_EQ(saved[0].node, nullptr);
    EXPECT_EQ(saved[1], (SelectionEntry{kept, 0, 1, 0, 0}));
    FreeSelectionList(saved);
}

TEST_F(SelectionTest, SelectAllTakesTheWholeExpression) {
    OwnedNode<Pair> pair = NewTemplateBlock<Pair>(2, 2);
    eExpr* a = pair->setChild(0, Row({"a"}));
    pair->setChild(1, Row({"b"}));
    eExpr* top = Use(NewSimpStringWith(std::move(pair)));
    SelectRange(a, 0, 0, 0, 0);
    SelectAll();
    EXPECT_EQ(List(), (Entries{{top, 0, 1, 0, 0}}));
}

TEST_F(SelectionTest, AncestryIsFollowedThroughParents) {
    OwnedNode<Pair> pair = NewTemplateBlock<Pair>(2, 2);
    eExpr* a = pair->setChild(0, Row({"a"}));
    eExpr* b = pair->setChild(1, Row({"b"}));
    eExpr* top = Use(NewSimpStringWith(std::move(pair)));
    EXPECT_TRUE(IsAncestorOrSelf(top, a->getChild(0)));
    EXPECT_TRUE(IsAncestorOrSelf(a, a));
    EXPECT_FALSE(IsAncestorOrSelf(a, b->getChild(0)));
    EXPECT_FALSE(IsAncestorOrSelf(a->getChild(0), a));
    EXPECT_FALSE(IsAncestorOrSelf(a, nullptr));
}

// ---- Movement
// -------------------------------------------------------------------------------------

struct MoveCase {
    const char* name;
    int32_t code;
    bool shift;
    // Entries as (node key, start, end); node keys index the test's node table.
    int from[3];
    std::vector<std::array<int, 3>> to;
};

TEST_F(SelectionTest, ArrowsMoveThroughWordsAndRows) {
    // The row [ab][cd][ef]; nodes: 0 the row, 1-3 the words.
    eExpr* row = Use(Row({"ab", "cd", "ef"}));
    const std::vector<eExpr*> n{row, row->getChild(0), row->getChild(1), row->getChild(2)};
    const std::vector<MoveCase> cases{
        {"before a word lands after its first character",
         kCmdMoveRight,
         false,
         {0, 0, 0},
         {{1, 1, 1}}},
        {"inside a word one character", kCmdMoveRight, false, {1, 1, 1}, {{1, 2, 2}}},
        {"from a word's end into the next word", kCmdMoveRight, false, {1, 2, 2}, {{2, 1, 1}}},
        {"from character 0 into the word before", kCmdMoveLeft, false, {2, 0, 0}, {{1, 1, 1}}},
        {"at the start of the expression it stays", kCmdMoveLeft, false, {0, 0, 0}, {{0, 0, 0}}},
        {"at the end of the expression it stays", kCmdMoveRight, false, {0, 3, 3}, {{0, 3, 3}}},
        {"a word range collapses to its end", kCmdMoveRight, false, {1, 0, 2}, {{1, 2, 2}}},
        {"a row range collapses to its start", kCmdMoveLeft, false, {0, 1, 3}, {{0, 1, 1}}},
        {"from the end of a row into its last word", kCmdMoveLeft, false, {0, 3, 3}, {{3, 1, 1}}},
        {"shift inside a word extends it", kCmdMoveRight, true, {1, 0, 1}, {{1, 0, 2}}},
        {"shift at a word's end takes the next element in the row",
         kCmdMoveRight,
         true,
         {1, 2, 2},
         {{0, 1, 2}}},
        {"shift left from a row range grows it by the element before",
         kCmdMoveLeft,
         true,
         {0, 2, 3},
         {{0, 1, 3}}},
        {"vertical moves keep a row caret", kCmdMoveUp, false, {0, 1, 1}, {{0, 1, 1}}},
    };
    for (const MoveCase& c : cases) {
        SCOPED_TRACE(c.name);
        ShiftHeld = c.shift ? 1 : 0;
        Entries expected;
        for (const auto& t : c.to)
            expected.push_back({n[t[0]], t[1], t[2], 0, 0});
        const Entries got = Run(c.code, {n[c.from[0]], c.from[1], c.from[2], 0, 0});
        ASSERT_EQ(got.size(), expected.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].node, expected[i].node) << "entry " << i;
            EXPECT_EQ(got[i].start, expected[i].start) << "entry " << i;
            EXPECT_EQ(got[i].end, expected[i].end) << "entry " << i;
        }
    }
}

TEST_F(SelectionTest, SlotsAreEnteredLeftAndTraversedByArrowsTabAndEscape) {
    // [a][pair: [b] | [c]][d]; nodes: 0 row, 1 pair, 2 first slot, 3 second slot, 4 word a,
    // 5 word d, 6 word b.
    OwnedNode<Pair> pair = NewTemplateBlock<Pair>(2, 2);
    eExpr* first = pair->setChild(0, Row({"b"}));
    eExpr* second = pair->setChild(1, Row({"c"}));
    OwnedNode<eSimpString> top = NewSimpString(3);
    top->setChild(0, Word("a"));
    eExpr* p = top->setChild(1, std::move(pair));
    top->setChild(2, Word("d"));
    eExpr* row = Use(std::move(top));
    const std::vector<eExpr*> n{
        row, p, first, second, row->getChild(0), row->getChild(2), first->getChild(0)};
    const std::vector<MoveCase> cases{
        {"right before a template enters its first slot",
         kCmdMoveRight,
         false,
         {0, 1, 1},
         {{2, 0, 0}}},
        {"right at the end of the first slot goes to the next",
         kCmdMoveRight,
         false,
         {2, 1, 1},
         {{3, 0, 0}}},
        {"right at the end of the last slot leaves the template",
         kCmdMoveRight,
         false,
         {3, 1, 1},
         {{0, 2, 2}}},
        {"left at the start of the second slot goes to the first's end",
         kCmdMoveLeft,
         false,
         {3, 0, 0},
         {{2, 1, 1}}},
        {"left at the start of the first slot leaves the template",
         kCmdMoveLeft,
         false,
         {2, 0, 0},
         {{0, 1, 1}}},
        {"left after a template enters its last slot", kCmdMoveLeft, false, {0, 2, 2}, {{3, 1, 1}}},
        {"escape puts the caret after the template", kCmdEscape, false, {2, 0, 0}, {{0, 2, 2}}},
        {"escape from a word in a slot too", kCmdEscape, false, {6, 0, 1}, {{0, 2, 2}}},
        {"tab selects the next slot whole", kCmdNextSlot, false, {2, 0, 0}, {{3, 0, 1}}},
        {"tab in the last slot wraps to the first", kCmdNextSlot, false, {3, 1, 1}, {{2, 0, 1}}},
        {"outward from a whole slot takes the template",
         kCmdSelectOutward,
         false,
         {2, 0, 1},
         {{0, 1, 2}}},
        {"outward from part of a slot takes the slot",
         kCmdSelectOutward,
         false,
         {2, 0, 0},
         {{2, 0, 1}}},
        {"outward from the whole top row keeps it",
         kCmdSelectOutward,
         false,
         {0, 0, 3},
         {{0, 0, 3}}},
        {"outward from the only word of a slot takes the template",
         kCmdSelectOutward,
         false,
         {6, 0, 1},
         {{0, 1, 2}}},
        {"outward from part of a word takes its row",
         kCmdSelectOutward,
         false,
         {4, 0, 0},
         {{0, 0, 3}}},
        {"first child of a selected template is its first slot",
         kCmdSelectFirst,
         false,
         {0, 1, 2},
         {{2, 0, 1}}},
        {"first child of a selected word is the word",
         kCmdSelectFirst,
         false,
         {0, 0, 1},
         {{4, 0, 1}}},
        {"first child of a range is the element at its start",
         kCmdSelectFirst,
         false,
         {0, 0, 3},
         {{4, 0, 1}}},
        {"first child at the end of a row keeps the caret",
         kCmdSelectFirst,
         false,
         {0, 3, 3},
         {{0, 3, 3}}},
        {"inward from a template gives both slots",
         kCmdSelectInward,
         false,
         {0, 1, 2},
         {{2, 0, 1}, {3, 0, 1}}},
        {"inward from a word gives its text", kCmdSelectInward, false, {0, 2, 3}, {{5, 0, 1}}},
        {"inward from a caret keeps it", kCmdSelectInward, false, {0, 1, 1}, {{0, 1, 1}}},
    };
    for (const MoveCase& c : cases) {
        SCOPED_TRACE(c.name);
        ShiftHeld = c.shift ? 1 : 0;
        const Entries got = Run(c.code, {n[c.from[0]], c.from[1], c.from[2], 0, 0});
        ASSERT_EQ(got.size(), c.to.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].node, n[c.to[i][0]]) << "entry " << i;
            EXPECT_EQ(got[i].start, c.to[i][1]) << "entry " << i;
            EXPECT_EQ(got[i].end, c.to[i][2]) << "entry " << i;
        }
    }
}

TEST_F(SelectionTest, OnlyTheTopRowKeepsTheWholeRowWhenItsOnlyWordGoesOutward) {
    eExpr* row = Use(Row({"x"}));
    EXPECT_EQ(Run(kCmdSelectOutward, {row->getChild(0), 0, 1, 0, 0}), (Entries{{row, 0, 1, 0, 0}}));
}

// A run of Shift+arrow presses from one selection; after each press the one entry expected.
struct ShiftRun {
    const char* name;
    std::array<int, 3> from;                                 // (node key, start, end)
    std::vector<std::pair<int, std::array<int, 3>>> presses; // (-1 left / +1 right, expected)
};

class ShiftRunTest : public SelectionTest {
protected:
    // One press as the dispatcher runs it: over the saved list, without emptying the record first.
    Entries Press(int direction) {
        SelectionEntry* saved = SaveSelectionList();
        for (SelectionEntry* e = saved; e < SavedListEnd; ++e)
            if (e->node != nullptr)
                ApplySelectionMove(direction < 0 ? kCmdMoveLeft : kCmdMoveRight, e->node, *e);
        FreeSelectionList(saved);
        return List();
    }
    void Check(const std::vector<eExpr*>& n, const std::vector<ShiftRun>& runs) {
        for (const ShiftRun& run : runs) {
            SCOPED_TRACE(run.name);
            ShiftHeld = 1;
            ClearSelectionList(record);
            AddSelectionEntry(record, {n[run.from[0]], run.from[1], run.from[2], 0, 0});
            int press = 0;
            for (const auto& [direction, to] : run.presses) {
                SCOPED_TRACE("press " + std::to_string(++press));
                const Entries got = Press(direction);
                ASSERT_EQ(got, (Entries{{n[to[0]], to[1], to[2], 0, 0}}));
            }
        }
    }
};

TEST_F(ShiftRunTest, ShiftArrowsGrowFromWhereTheRunStartedAndShrinkBackTheSameWay) {
    // [ab][pair: [cd] | [ef]][gh]; nodes: 0 the row, 1 the pair, 2 and 3 its slots, 4 ab, 5 gh,
    // 6 cd, 7 ef.
    OwnedNode<Pair> pair = NewTemplateBlock<Pair>(2, 2);
    eExpr* first = pair->setChild(0, Row({"cd"}));
    eExpr* second = pair->setChild(1, Row({"ef"}));
    OwnedNode<eSimpString> top = NewSimpString(3);
    top->setChild(0, Word("ab"));
    eExpr* p = top->setChild(1, std::move(pair));
    top->setChild(2, Word("gh"));
    eExpr* row = Use(std::move(top));
    const std::vector<eExpr*> n{row,
                                p,
                                first,
                                second,
                                row->getChild(0),
                                row->getChild(2),
                                first->getChild(0),
                                second->getChild(0)};
    const std::vector<ShiftRun> runs{
        {"from a word's start the element before comes whole, up to the row's start",
         {5, 0, 0},
         {{-1, {0, 1, 2}}, {-1, {0, 0, 2}}, {-1, {0, 0, 2}}, {1, {0, 1, 2}}, {1, {5, 0, 0}}}},
        {"inside a word by characters, then by elements, and back into the word",
         {5, 1, 1},
         {{-1, {5, 0, 1}}, {-1, {0, 1, 3}}, {1, {5, 0, 1}}, {1, {5, 1, 1}}, {1, {5, 1, 2}}}},
        {"rightwards out of a word takes the element after it",
         {4, 1, 1},
         {{1, {4, 1, 2}}, {1, {0, 0, 2}}, {1, {0, 0, 3}}, {-1, {0, 0, 2}}, {-1, {4, 1, 2}}}},
        {"at the row's end there is nowhere to go; leftwards takes the last element",
         {0, 3, 3},
         {{1, {0, 3, 3}}, {-1, {0, 2, 3}}, {-1, {0, 1, 3}}, {1, {0, 2, 3}}, {1, {0, 3, 3}}}},
        {"at the row's start rightwards takes the first element",
         {0, 0, 0},
         {{-1, {0, 0, 0}}, {1, {0, 0, 1}}, {1, {0, 0, 2}}, {-1, {0, 0, 1}}, {-1, {0, 0, 0}}}},
        {"from a slot's end into the next slot the template comes whole and stays so",
         {6, 2, 2},
         {{1, {0, 1, 2}}, {1, {0, 1, 3}}, {-1, {0, 1, 2}}, {-1, {0, 0, 2}}}},
        {"from a slot's start out of the template leftwards",
         {7, 1, 1},
         {{-1, {7, 0, 1}}, {-1, {0, 1, 2}}, {-1, {0, 0, 2}}, {1, {0, 1, 2}}}},
        {"at the expression's start inside its first word nothing changes, and back",
         {4, 1, 1},
         {{-1, {4, 0, 1}}, {-1, {4, 0, 1}}, {1, {4, 1, 1}}}},
        {"a range made otherwise keeps its far side: left grows its start",
         {0, 2, 3},
         {{-1, {0, 1, 3}}, {1, {0, 2, 3}}}},
        {"a range made otherwise keeps its far side: right grows its end",
         {6, 0, 1},
         {{1, {6, 0, 2}}, {-1, {6, 0, 1}}}},
    };
    Check(n, runs);
}

TEST_F(ShiftRunTest, ANewSelectionStartsANewRun) {
    eExpr* row = Use(Row({"ab", "cd"}));
    eExpr* cd = row->getChild(1);
    ShiftHeld = 1;
    ClearSelectionList(record);
    AddSelectionEntry(record, {cd, 1, 1, 0, 0});
    Press(-1);
    ASSERT_EQ(Press(-1), (Entries{{row, 0, 2, 0, 0}}));
    // The same range made afresh (a drag, say) knows nothing of the run: Shift+Right keeps it, as
    // its right side is the row's end, where the run would have gone back into "cd"; then
    // Shift+Left moves that right side.
    ClearSelectionList(record);
    AddSelectionEntry(record, {row, 0, 2, 0, 0});
    EXPECT_EQ(Press(1), (Entries{{row, 0, 2, 0, 0}}));
    EXPECT_EQ(Press(-1), (Entries{{row, 0, 1, 0, 0}}));
}

// A grid stand-in: it answers the moves itself, with an entry that names the operation.
class FakeGrid : public eTemplate {
    KV_NODE_CLONE(FakeGrid)
    bool isMatrix() const override { return true; }
    void moveLeft(SelectionEntry&) override { HookSelectRange(this, 0, 0, 0, 1); }
    void moveDown(SelectionEntry&) override { HookSelectRange(this, 0, 2, 1, 1); }
    void selectFirst(SelectionEntry&) override { HookSelectRange(this, 0, 0, 0, 2); }
};

TEST_F(SelectionTest, GridsMoveThroughTheirOwnOperations) {
    OwnedNode<FakeGrid> grid = NewTemplateBlock<FakeGrid>(1, 1);
    grid->setChild(0, Row({"a"}));
    OwnedNode<eSimpString> top = NewSimpString(1);
    eExpr* g = top->setChild(0, std::move(grid));
    eExpr* row = Use(std::move(top));
    EXPECT_EQ(Run(kCmdMoveLeft, {g, 1, 1, 0, 2}), (Entries{{g, 0, 0, 0, 1}}));
    EXPECT_EQ(Run(kCmdMoveDown, {g, 0, 2, 0, 0}), (Entries{{g, 0, 2, 1, 1}}));
    // Entering it from the row on its left asks the grid for its first stop.
    EXPECT_EQ(Run(kCmdMoveRight, {row, 0, 0, 0, 0}), (Entries{{g, 0, 0, 0, 2}}));
}

TEST_F(SelectionTest, OtherCodesAreNotSelectionMoves) {
    eExpr* row = Use(Row({"x"}));
    SelectionEntry entry{row, 0, 0, 0, 0};
    EXPECT_FALSE(ApplySelectionMove(kCmdSelectAll, row, entry));
    EXPECT_FALSE(ApplySelectionMove(0x6602, row, entry));
    EXPECT_TRUE(List().empty());
}

// ---- Hit-testing and dragging
// ---------------------------------------------------------------------

class DragTest : public SelectionTest {
protected:
    // The expression [mm][mm][mm] at 48 points: words 72 wide at x 20, 92, 164 once the root is
    // placed at (20, 20) as a pane places it.
    eExpr* UseLaidOut(ExprPtr expression) {
        eExpr* e = Use(std::move(expression));
        MeasureExpr(record.m_root, port.get());
        PlaceNodeRect(record.m_root, 20, 20);
        return e;
    }
    // A press at `from` dragged to `to` and released, as the pane's tracking does it.
    void Drag(oPoint from, oPoint to) {
        ClickPoint = from;
        if (ShiftHeld == 0)
            ClearSelectionList(record);
        ASSERT_TRUE(HitActiveRoot(from, from, DragEntry, false));
        DragTrack(oPoint{(from.x + to.x) / 2, (from.y + to.y) / 2});
        DragTrack(to);
        DragEnd(to);
    }
};

TEST_F(DragTest, PressesMapToPositionsAndDragsToRanges) {
    eExpr* row = UseLaidOut(Row({"mm", "mm", "mm"}));
    eExpr* w0 = row->getChild(0);
    const int32_t y = 30;
    struct Case {
        const char* name;
        oPoint from;
        oPoint to;
        SelectionEntry expected;
    };
    // In a word the character positions are 36 apart from x 20; between items the quarter rule
    // of rows applies.
    const std::vector<Case> cases{
        {"a press just before a word's first character's middle leaves a caret before it",
         {37, y},
         {37, y},
         {w0, 0, 0, 0, 0}},
        {"at the middle the caret after it", {38, y}, {38, y}, {w0, 1, 1, 0, 0}},
        {"near its left edge the caret before it", {25, y}, {25, y}, {w0, 0, 0, 0, 0}},
        {"a drag inside one word is a character range", {25, y}, {80, y}, {w0, 0, 2, 0, 0}},
        {"a drag across words selects the items", {50, y}, {200, y}, {row, 0, 3, 0, 1}},
        {"a drag from the right to the left is the same range",
         {200, y},
         {50, y},
         {row, 0, 3, 0, 1}},
        {"above the expression reaches its very start", {200, y}, {200, 0}, {row, 0, 3, 0, 1}},
        {"below the expression reaches its very end", {50, y}, {50, 500}, {row, 0, 3, 0, 1}},
        {"beside it on the right reaches the end", {120, y}, {900, y}, {row, 1, 3, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Drag(c.from, c.to);
        EXPECT_EQ(List(), (Entries{c.expected}));
    }
}

TEST_F(DragTest, ShiftClicksToggleRangesAndADoubleClickTakesTheWholeWord) {
    OwnedNode<Pair> pair = NewTemplateBlock<Pair>(2, 2);
    eExpr* first = pair->setChild(0, Row({"mm"}));
    eExpr* second = pair->setChild(1, Row({"mm"}));
    UseLaidOut(NewSimpStringWith(std::move(pair)));
    eExpr* a = first->getChild(0);
    eExpr* b = second->getChild(0);
    Drag({25, 30}, {25, 30});
    EXPECT_EQ(List(), (Entries{{a, 0, 0, 0, 0}}));
    ShiftHeld = 1;
    Drag({97, 30}, {97, 30}); // the other slot: a second range
    EXPECT_EQ(List(), (Entries{{a, 0, 0, 0, 0}, {b, 0, 0, 0, 0}}));
    Drag({38, 30}, {38, 30}); // on the first range's node: it goes, nothing is added
    EXPECT_EQ(List(), (Entries{{b, 0, 0, 0, 0}}));
    ShiftHeld = 0;
    WholeRowClickOption = 1;
    Drag({38, 30}, {38, 30});
    EXPECT_EQ(List(), (Entries{{a, 0, 2, 0, 0}}));
}

TEST_F(DragTest, APressOffTheExpressionSelectsNothing) {
    UseLaidOut(Row({"mm"}));
    SelectionEntry entry;
    EXPECT_FALSE(HitActiveRoot({5, 5}, {5, 5}, entry, false));
    EXPECT_EQ(entry.node, nullptr);
}

} // namespace
} // namespace kvtest
