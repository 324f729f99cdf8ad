#include "OverSrcs/eSimpString.h"

#include "OverSrcs/eHeader.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/eWord.h"
#include "model/ModelFixture.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace kvtest {
namespace {

struct Item {
    std::string text;
    int32_t points;
};

class eSimpStringTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        s_retargets.clear();
        TheModelHooks().retargetSelections = &NoteRetarget;
    }
    static OwnedNode<eSimpString> RowOf(const std::vector<Item>& items) {
        OwnedNode<eSimpString> row = NewSimpString(static_cast<int32_t>(items.size()));
        for (size_t i = 0; i < items.size(); ++i)
            row->setChild(static_cast<int32_t>(i),
                          NewWord(items[i].text, 0, SizedStyle(items[i].points), 0));
        return row;
    }
    static std::string Word(const eExpr* node) {
        const auto* w = dynamic_cast<const eWord*>(node);
        return w != nullptr ? std::string(w->view()) : std::string("<null>");
    }
    static void NoteRetarget(eExpr* from, eExpr* to) { s_retargets.push_back({from, to}); }
    static inline std::vector<std::pair<eExpr*, eExpr*>> s_retargets;
};

// The row rule: items side by side on one axis line; the row is as high as the tallest part above
// the axis plus the deepest part below it.
TEST_F(eSimpStringTest, ItemsOfSeveralSizesShareOneAxisLine) {
    const std::vector<Item> items = {{"x", 12}, {"+", 12}, {"Wy", 18}, {",", 9}};
    OwnedNode<eSimpString> row = RowOf(items);
    Measure(row.get());
    int32_t above = 0;
    int32_t below = 0;
    int32_t width = 0;
    int32_t size = MinimumCharacterSize();
    for (const Item& it : items) {
        const ExpectedFont m = ExpectedMetrics(it.points, 16);
        above = std::max(above, m.ascent - m.descent);
        below = std::max(below, 2 * m.descent);
        size = std::max(size, m.h);
    }
    int32_t x = 0;
    int32_t baseline = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(items[i].text);
        const ExpectedFont m = ExpectedMetrics(items[i].points, 16);
        const int32_t w = ExpectedWidth(items[i].text, items[i].points, 16);
        const int32_t top = above - (m.ascent - m.descent);
        EXPECT_EQ(ZoneText(row->getChild(static_cast<int32_t>(i))->m_zone),
                  ZoneText(Zone{x, top, x + w, top + m.h, m.ascent - m.descent, m.ascent}));
        baseline = std::max(baseline, top + m.ascent);
        x += w;
        width += w;
    }
    EXPECT_EQ(ZoneText(row->m_zone), ZoneText(Zone{0, 0, width, above + below, above, baseline}));
    EXPECT_EQ(row->m_size, size);
    EXPECT_NE(row->m_flags & kNodeLaidOut, 0);
    EXPECT_NE(row->m_flags & kNodePlaced, 0);
}

TEST_F(eSimpStringTest, SpacesTabsPunctuationAndFunctionNamesLineUpLikeWords) {
    FunctionNameText = std::string("sin") + '\0';
    FunctionNameCount = 1;
    LoadFunctionNames();
    FSSRecord inherit;
    InitFSSRecord(inherit);
    OwnedNode<eSimpString> row = NewSimpString(8);
    row->setChild(0, NewWord("f", 0, inherit, 0));
    row->setChild(1, NewWord("(x),", 0, inherit, 0));
    row->setChild(2, NewPseudo(kPseudoSpace, nullptr, 0));
    row->setChild(3, NewWord("sin", 0, inherit, 0));
    row->setChild(4, NewPseudo(kPseudoThinSpace, nullptr, 0));
    row->setChild(5, NewPseudo(kPseudoTab, nullptr, 0));
    row->setChild(6, NewWord("y", 0, SizedStyle(18), 0));
    row->setChild(7, NewWord(";", 0, inherit, 0));
    Measure(row.get());
    FunctionNameText.clear();
    FunctionNameCount = 0;
    LoadFunctionNames();
    const ExpectedFont m12 = ExpectedMetrics(12, 16);
    const ExpectedFont m18 = ExpectedMetrics(18, 16);
    const int32_t space = ExpectedWidth(" ", 12, 16);
    const int32_t widths[8] = {ExpectedWidth("f", 12, 16),
                               ExpectedWidth("(x),", 12, 16),
                               space,
                               ExpectedWidth("sin", 12, 16),
                               std::max(1, (space + 2) / 4),
                               ExpectedWidth("\t    ", 12, 16),
                               ExpectedWidth("y", 18, 16),
                               ExpectedWidth(";", 12, 16)};
    const int32_t above = m18.ascent - m18.descent;
    int32_t x = 0;
    for (int32_t i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        const eExpr* item = row->getChild(i);
        const ExpectedFont& m = i == 6 ? m18 : m12;
        EXPECT_EQ(item->m_zone.left, x);
        EXPECT_EQ(item->width(), widths[i]);
        EXPECT_EQ(item->m_zone.top, above - (m.ascent - m.descent));
        x += widths[i];
    }
    EXPECT_EQ(row->width(), x);
    EXPECT_EQ(row->height(), above + 2 * m18.descent);
    // The lowest baseline of any item: the large "y" sits on the axis like the others but reaches
    // further down.
    EXPECT_EQ(row->m_zone.ref2,
              std::max(m18.ascent, above - (m12.ascent - m12.descent) + m12.ascent));
    // Letters italic, the function name and the punctuation upright.
    EXPECT_EQ(static_cast<eChar*>(row->getChild(0))->m_fontIndex, RecordingFontIndex(12, 2));
    EXPECT_EQ(static_cast<eChar*>(row->getChild(1))->m_fontIndex, RecordingFontIndex(12, 0));
    EXPECT_EQ(static_cast<eChar*>(row->getChild(3))->m_fontIndex, RecordingFontIndex(12, 0));
    EXPECT_TRUE(row->getChild(7)->isPunctuation());
}

TEST_F(eSimpStringTest, MagnifiedRowsAreNeverSmallerThanTwiceTheMinimumSize) {
    OwnedNode<eSimpString> row = NewEmptySimpString();
    MeasureExprWithOptions(row.get(), port.get(), 0, 1, 0, 0);
    EXPECT_EQ(row->m_size, 2 * MinimumCharacterSize());
    InvalidateTree(row.get());
    MeasureExprWithOptions(row.get(), port.get(), 0, 0, 0, 0);
    EXPECT_EQ(row->m_size, MinimumCharacterSize());
}

TEST_F(eSimpStringTest, StructureDisplayAddsMarginsAroundTheItems) {
    WideStructureSetting = 0;
    OwnedNode<eSimpString> row = RowOf({{"ab", 12}});
    MeasureExprWithOptions(row.get(), port.get(), 1, 0, 0, 0);
    const ExpectedFont m = ExpectedMetrics(12, 16);
    const int32_t w = ExpectedWidth("ab", 12, 16);
    const int32_t axis = m.ascent - m.descent;
    EXPECT_EQ(ZoneText(row->getChild(0)->m_zone),
              ZoneText(Zone{3, 3, 3 + w, 3 + m.h, axis, m.ascent}));
    EXPECT_EQ(ZoneText(row->m_zone),
              ZoneText(Zone{0, 0, w + 6, axis + 3 + 2 * m.descent + 3, axis + 3, 3 + m.ascent}));
}

struct EmptyRowCase {
    uint8_t structure;
    int32_t wide;
    Zone expected;
};

class EmptyRow : public eSimpStringTest, public ::testing::WithParamInterface<EmptyRowCase> {};

TEST_P(EmptyRow, HasTheSizeOfItsDisplay) {
    WideStructureSetting = GetParam().wide;
    OwnedNode<eSimpString> row = NewEmptySimpString();
    MeasureExprWithOptions(row.get(), port.get(), GetParam().structure, 0, 0, 0);
    EXPECT_EQ(ZoneText(row->m_zone), ZoneText(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Displays, EmptyRow,
                         ::testing::Values(EmptyRowCase{0, 0, Zone{0, 0, 0, 0, 0, 0}},
                                           EmptyRowCase{1, 0, Zone{0, 0, 6, 12, 6, 8}},
                                           EmptyRowCase{1, 1, Zone{0, 0, 12, 12, 6, 0}}));

TEST_F(eSimpStringTest, EmptyRowCaretReachesBeyondTheRowOutsideStructureDisplay) {
    OwnedNode<eSimpString> row = NewEmptySimpString();
    Measure(row.get());
    DrawState.absZone = Zone{50, 20, 50, 20, 0, 0};
    row->getHighlightArea(SelectionEntry{row.get(), 0, 0, 0, 0});
    EXPECT_EQ(ZoneText(DrawState.absZone), ZoneText(Zone{50, 17, 50, 23, 0, 0}));
}

TEST_F(eSimpStringTest, HighlightRunsBetweenChildBoundaries) {
    OwnedNode<eSimpString> row = RowOf({{"a", 12}, {"bb", 12}, {"ccc", 12}});
    Measure(row.get());
    const int32_t a = ExpectedWidth("a", 12, 16);
    const int32_t b = ExpectedWidth("bb", 12, 16);
    const int32_t c = ExpectedWidth("ccc", 12, 16);
    auto area = [&](int32_t start, int32_t end) {
        DrawState.absZone = row->m_zone;
        ZoneOffset(DrawState.absZone, 100, 10);
        row->getHighlightArea(SelectionEntry{row.get(), start, end, 0, 0});
        return std::make_pair(DrawState.absZone.left, DrawState.absZone.right);
    };
    EXPECT_EQ(area(1, 2), std::make_pair(100 + a, 100 + a + b));
    EXPECT_EQ(area(0, 3), std::make_pair(100, 100 + a + b + c));
    EXPECT_EQ(area(3, 3), std::make_pair(100 + a + b + c, 100 + a + b + c));
}

TEST_F(eSimpStringTest, ANudgedItemCarriesTheFollowingItemsAlong) {
    OwnedNode<eSimpString> row = RowOf({{"a", 12}, {"b", 12}});
    eExpr* first = row->getChild(0);
    first->m_nudgeX = 32; // half the item's size
    first->m_nudgeY = -64;
    Measure(row.get());
    const ExpectedFont m = ExpectedMetrics(12, 16);
    const int32_t a = ExpectedWidth("a", 12, 16);
    EXPECT_EQ(first->m_zone.left, m.h * 32 / 64);
    EXPECT_EQ(first->m_zone.top, -m.h);
    EXPECT_EQ(row->getChild(1)->m_zone.left, m.h * 32 / 64 + a);
    EXPECT_EQ(row->getChild(1)->m_zone.top, 0);
}

TEST_F(eSimpStringTest, OnlyInvalidatedItemsAreMeasuredAgain) {
    OwnedNode<eHeader> header =
        NewHeader(RowOf({{"one", 12}, {"two", 12}, {"three", 12}}), nullptr);
    eExpr* row = header->getChild(0);
    Measure(header.get());
    const Zone before = row->getChild(2)->m_zone;
    port->clear();
    eWord* two = static_cast<eWord*>(row->getChild(1));
    two = two->replaceText(3, 3, "s"); // outgrows its block: a new word takes the slot
    two->invalidate();
    InvalidateAncestors(two);
    MeasureExprWithOptions(header.get(), port.get(), 0, 0, 0, 0);
    EXPECT_EQ(port->measureCount(), 1);
    // The third item kept its layout but moved right by the width of the added "s".
    const Zone after = row->getChild(2)->m_zone;
    EXPECT_EQ(after.left - before.left, ExpectedWidth("s", 12, 16));
    EXPECT_EQ(after.width(), before.width());
    port->clear();
    Measure(header.get());
    EXPECT_EQ(port->measureCount(), 3);
}

TEST_F(eSimpStringTest, RowsOfARingShareAxisAndDepthButNotWidth) {
    OwnedNode<eSimpString> outer = NewSimpString(2);
    auto* small = static_cast<eSimpString*>(outer->setChild(0, RowOf({{"a", 9}})));
    auto* big = static_cast<eSimpString*>(outer->setChild(1, RowOf({{"b", 24}, {"c", 24}})));
    LinkRows(small, big);
    Measure(outer.get());
    const ExpectedFont m = ExpectedMetrics(24, 16);
    EXPECT_EQ(small->m_zone.ref1, m.ascent - m.descent);
    EXPECT_EQ(small->height(), big->height());
    EXPECT_EQ(small->m_size, big->m_size);
    EXPECT_EQ(small->width(), ExpectedWidth("a", 9, 16));
    EXPECT_EQ(big->width(), 2 * ExpectedWidth("b", 24, 16));
}

// Rows of one ring at different size levels (one in a superscript): each row's items keep the size
// of their own level, whichever row of the ring is laid out first.
TEST_F(eSimpStringTest, LinkedRowsAtDifferentSizeLevelsKeepTheirItemsSizes) {
    // The script comes first or last in the outer row, so that either row lays out the other's
    // items; an unlinked twin gives the sizes each level has.
    for (const bool scriptFirst : {false, true}) {
        SCOPED_TRACE(scriptFirst ? "script first" : "script last");
        struct Tree {
            OwnedNode<eSimpString> outer;
            eWord* inRow = nullptr;
            eWord* inScript = nullptr;
        };
        const auto build = [&](bool linked) {
            Tree t;
            t.outer = NewSimpString(2);
            OwnedNode<eSimpString> row = NewSimpStringWith(NewWord("a", 0, FSSRecord{}, 0));
            OwnedNode<eSimpString> sup = NewSimpStringWith(NewWord("b", 0, FSSRecord{}, 0));
            t.inRow = static_cast<eWord*>(row->getChild(0));
            t.inScript = static_cast<eWord*>(sup->getChild(0));
            eSimpString* rowAt = row.get();
            eSimpString* supAt = sup.get();
            ExprPtr script = NewSSScript(NewSimpStringWith(NewWord("x", 0, FSSRecord{}, 0)),
                                         std::move(sup), nullptr, 2);
            t.outer->setChild(scriptFirst ? 1 : 0, std::move(row));
            t.outer->setChild(scriptFirst ? 0 : 1, std::move(script));
            if (linked)
                LinkRows(rowAt, supAt);
            return t;
        };
        Tree alone = build(false);
        Measure(alone.outer.get());
        ASSERT_LT(alone.inScript->m_size, alone.inRow->m_size);
        Tree ring = build(true);
        Measure(ring.outer.get());
        EXPECT_EQ(ring.inRow->m_size, alone.inRow->m_size);
        EXPECT_EQ(ring.inScript->m_size, alone.inScript->m_size);
        EXPECT_EQ(ring.inScript->width(), alone.inScript->width());
        // The ring still shares one axis line and depth.
        const eExpr* rowOfRing = ring.inRow->m_parent;
        const eExpr* supOfRing = ring.inScript->m_parent;
        EXPECT_EQ(rowOfRing->height(), supOfRing->height());
        EXPECT_EQ(rowOfRing->m_zone.ref1, supOfRing->m_zone.ref1);
    }
}

TEST_F(eSimpStringTest, InvalidatingOneRowOfARingInvalidatesTheOthersAndTheirAncestors) {
    OwnedNode<eSimpString> left = NewSimpString(1);
    OwnedNode<eSimpString> right = NewSimpString(1);
    auto* a = static_cast<eSimpString*>(left->setChild(0, RowOf({{"a", 12}})));
    auto* b = static_cast<eSimpString*>(right->setChild(0, RowOf({{"b", 12}})));
    LinkRows(a, b);
    MeasureExprWithOptions(left.get(), port.get(), 0, 0, 0, 0);
    MeasureExprWithOptions(right.get(), port.get(), 0, 0, 0, 0);
    for (eExpr* n : {static_cast<eExpr*>(left.get()), static_cast<eExpr*>(a),
                     static_cast<eExpr*>(right.get()), static_cast<eExpr*>(b)})
        ASSERT_TRUE(n->isLaidOut());
    a->invalidate();
    EXPECT_FALSE(a->isLaidOut());
    EXPECT_FALSE(b->isLaidOut());
    EXPECT_FALSE(right->isLaidOut());
    EXPECT_TRUE(left->isLaidOut()); // a's own ancestors are the caller's business
}

TEST_F(eSimpStringTest, RingsJoinSplitAndLoseDestroyedRows) {
    OwnedNode<eSimpString> a = NewEmptySimpString();
    OwnedNode<eSimpString> b = NewEmptySimpString();
    OwnedNode<eSimpString> c = NewEmptySimpString();
    LinkRows(a.get(), b.get());
    LinkRows(b.get(), c.get());
    LinkRows(c.get(), a.get()); // already one ring: no change
    EXPECT_TRUE(InSameRing(a.get(), c.get()));
    int members = 0;
    const eString* r = a.get();
    do {
        ++members;
        r = r->m_ring;
    } while (r != a.get());
    EXPECT_EQ(members, 3);
    b.reset();
    EXPECT_TRUE(InSameRing(a.get(), c.get()));
    EXPECT_EQ(a->m_ring, c.get());
    EXPECT_EQ(c->m_ring, a.get());
    UnlinkRow(a.get());
    EXPECT_FALSE(a->isLinked());
    EXPECT_FALSE(c->isLinked());
}

TEST_F(eSimpStringTest, CopiesOfLinkedRowsShareNoRingWithTheSource) {
    OwnedNode<eSimpString> outer = NewSimpString(2);
    auto* a = static_cast<eSimpString*>(outer->setChild(0, RowOf({{"a", 12}})));
    auto* b = static_cast<eSimpString*>(outer->setChild(1, RowOf({{"b", 12}})));
    OwnedNode<eSimpString> elsewhere = NewEmptySimpString();
    LinkRows(a, b);
    LinkRows(a, elsewhere.get());
    ExprPtr copy = CopyExpr(outer.get());
    auto* ca = static_cast<eString*>(copy->getChild(0));
    auto* cb = static_cast<eString*>(copy->getChild(1));
    EXPECT_FALSE(ca->isLinked());
    EXPECT_FALSE(cb->isLinked());
    EXPECT_TRUE(InSameRing(a, b));
    EXPECT_TRUE(InSameRing(a, elsewhere.get()));
}

TEST_F(eSimpStringTest, UnlinkOutsideKeepsTheRowsInsideTheSubtreeTogether) {
    OwnedNode<eSimpString> outer = NewSimpString(2);
    auto* a = static_cast<eSimpString*>(outer->setChild(0, NewEmptySimpString()));
    auto* b = static_cast<eSimpString*>(outer->setChild(1, NewEmptySimpString()));
    OwnedNode<eSimpString> x = NewEmptySimpString();
    OwnedNode<eSimpString> y = NewEmptySimpString();
    LinkRows(a, b);
    LinkRows(a, x.get());
    LinkRows(a, y.get());
    outer->unlinkOutside(outer.get(), false);
    EXPECT_TRUE(InSameRing(a, b));
    EXPECT_FALSE(InSameRing(a, x.get()));
    EXPECT_FALSE(InSameRing(a, y.get()));
    // The rows taken out stay aligned with each other.
    EXPECT_TRUE(InSameRing(x.get(), y.get()));
}

TEST_F(eSimpStringTest, ResizeRangeBuildsANewRowInTheOldOnesPlace) {
    OwnedNode<eSimpString> outer = NewSimpString(1);
    auto* row = static_cast<eSimpString*>(
        outer->setChild(0, RowOf({{"a", 12}, {"b", 12}, {"c", 12}, {"d", 12}})));
    OwnedNode<eSimpString> partner = NewEmptySimpString();
    LinkRows(row, partner.get());
    row->m_colour = 0x03;
    eExpr* b = row->getChild(1);
    eExpr* c = row->getChild(2);
    eExpr* d = row->getChild(3);
    eString* fresh = row->resizeRange(1, 3, 1);
    EXPECT_EQ(outer->getChild(0), fresh);
    EXPECT_EQ(fresh->m_parent, outer.get());
    ASSERT_EQ(fresh->childCount(), 3);
    EXPECT_EQ(Word(fresh->getChild(0)), "a");
    EXPECT_EQ(fresh->getChild(1), nullptr);
    EXPECT_EQ(fresh->getChild(2), d);
    EXPECT_EQ(d->m_index, 2);
    EXPECT_EQ(fresh->m_colour, 0x03);
    EXPECT_TRUE(InSameRing(fresh, partner.get()));
    EXPECT_EQ(partner->m_ring, fresh); // the old row left the ring
    for (eExpr* gone : {static_cast<eExpr*>(row), b, c})
        EXPECT_EQ(std::count(s_destroyed.begin(), s_destroyed.end(), gone), 1);
    ASSERT_EQ(s_retargets.size(), 1u);
    EXPECT_EQ(s_retargets[0].second, fresh);
    fresh->setChild(1, NewWord("z", 0, SizedStyle(12), 0));
}

TEST_F(eSimpStringTest, ReplaceRangeSplicesARowsItemsOrPutsInOneNode) {
    OwnedNode<eSimpString> outer = NewSimpString(1);
    eString* row =
        static_cast<eString*>(outer->setChild(0, RowOf({{"a", 12}, {"b", 12}, {"c", 12}})));
    EXPECT_EQ(row->replaceRange(1, 2, ExprPtr()), row);
    row = row->replaceRange(1, 2, RowOf({{"x", 12}, {"y", 12}}));
    ASSERT_EQ(row->childCount(), 4);
    EXPECT_EQ(Word(row->getChild(1)) + Word(row->getChild(2)), "xy");
    EXPECT_EQ(row->getChild(2)->m_parent, row);
    row = row->replaceRange(0, 4, NewWord("w", 0, SizedStyle(12), 0));
    ASSERT_EQ(row->childCount(), 1);
    EXPECT_EQ(Word(row->getChild(0)), "w");
    EXPECT_EQ(outer->getChild(0), row);
}

TEST_F(eSimpStringTest, InsertingARowIntoARowReportsTheSplicedRange) {
    OwnedNode<eSimpString> outer = NewSimpString(1);
    eString* row = static_cast<eString*>(outer->setChild(0, RowOf({{"a", 12}, {"b", 12}})));
    SelectionEntry caret{row, 1, 1, 0, 0};
    row->insert(caret, RowOf({{"p", 12}, {"q", 12}}));
    eExpr* now = outer->getChild(0);
    EXPECT_EQ(EditResultEntry, (SelectionEntry{now, 1, 3, 0, 0}));
    ASSERT_EQ(now->childCount(), 4);
    EXPECT_EQ(Word(now->getChild(0)) + Word(now->getChild(1)) + Word(now->getChild(2)) +
                  Word(now->getChild(3)),
              "apqb");
    SelectionEntry range{now, 0, 2, 0, 0};
    now->insert(range, NewPseudo(kPseudoTab, nullptr, 0));
    eExpr* last = outer->getChild(0);
    EXPECT_EQ(EditResultEntry, (SelectionEntry{last, 0, 1, 0, 0}));
    EXPECT_TRUE(last->getChild(0)->isTab());
    EXPECT_EQ(last->childCount(), 3);
}

TEST_F(eSimpStringTest, CopyOutCopiesTheSelectedItemsOnly) {
    OwnedNode<eSimpString> row = RowOf({{"a", 12}, {"b", 12}, {"c", 12}});
    EXPECT_EQ(row->copyOut(SelectionEntry{row.get(), 2, 2, 0, 0}), nullptr);
    ExprPtr part = row->copyOut(SelectionEntry{row.get(), 1, 3, 0, 0});
    ASSERT_TRUE(part && part->isString());
    ASSERT_EQ(part->childCount(), 2);
    EXPECT_NE(part->getChild(0), row->getChild(1));
    EXPECT_EQ(Word(part->getChild(0)) + Word(part->getChild(1)), "bc");
}

TEST_F(eSimpStringTest, ASingleItemRowReportsItsItemsExtents) {
    WideStructureSetting = 0;
    OwnedNode<eSimpString> row = RowOf({{"T", 12}});
    MeasureExprWithOptions(row.get(), port.get(), 1, 0, 0, 0);
    int32_t left = 0;
    int32_t right = 0;
    int32_t overhang = 0;
    row->getExtents(left, right, overhang);
    const int32_t w = ExpectedWidth("T", 12, 16);
    EXPECT_EQ(left, 3 - 3);
    EXPECT_EQ(right, 3 + w + 3);
    OwnedNode<eSimpString> two = RowOf({{"a", 12}, {"b", 12}});
    Measure(two.get());
    two->getExtents(left, right, overhang);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(right, two->width());
}

TEST_F(eSimpStringTest, StructureDisplayDrawsTheOutlineWithSwappedEdgesWhenLinked) {
    WideStructureSetting = 0;
    OwnedNode<eSimpString> row = NewEmptySimpString();
    MeasureExprWithOptions(row.get(), port.get(), 1, 0, 0, 0);
    port->clear();
    DrawExpr(row.get(), port.get(), 1, 0, 0, 0, 10, 20);
    const std::string light = ColorText(RowOutlineColors[0]);
    const std::string dark = ColorText(RowOutlineColors[1]);
    // The 6 x 12 box less the outline width and inset: (11, 21) to (14, 30).
    const std::vector<std::string> expected = {
        "startDeluxeLine width=1 color=" + light + " style=0 mode=1",
        "moveTo 11,30",
        "lineTo 11,21",
        "lineTo 14,21",
        "endLine",
        "startDeluxeLine width=1 color=" + dark + " style=0 mode=1",
        "moveTo 11,30",
        "lineTo 14,30",
        "lineTo 14,21",
        "endLine"};
    EXPECT_EQ(port->calls(), expected);
    OwnedNode<eSimpString> partner = NewEmptySimpString();
    LinkRows(row.get(), partner.get());
    port->clear();
    DrawExpr(row.get(), port.get(), 1, 0, 0, 0, 10, 20);
    ASSERT_EQ(port->calls().size(), expected.size());
    EXPECT_EQ(port->calls()[0], "startDeluxeLine width=1 color=" + dark + " style=0 mode=1");
    EXPECT_EQ(port->calls()[5], "startDeluxeLine width=1 color=" + light + " style=0 mode=1");
}

} // namespace
} // namespace kvtest
