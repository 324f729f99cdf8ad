#include "OverSrcs/eLayout.h"

#include "OverSrcs/eClick.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eTempl.h"
#include "OverSrcs/eWord.h"
#include "model/ModelFixture.h"
#include "support/CountingRow.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

// A two-slot template whose second slot is drawn `m_steps` size steps away from the first, laid
// out side by side.
class StepTemplate : public eTemplate {
    KV_NODE_CLONE(StepTemplate)
    int32_t childSizeStep(int32_t i) const override { return i == 1 ? m_kind : 0; }
    void measure() override {
        eTemplate::measure();
        int32_t x = 0;
        int32_t h = 0;
        for (int32_t i = 0; i < m_count; ++i) {
            eExpr* c = getChild(i);
            PlaceNodeRect(c, x, 0);
            x = c->m_zone.right;
            h = std::max(h, c->m_zone.bottom);
        }
        m_zone = Zone{0, 0, x, h, 0, 0};
    }
};

OwnedNode<StepTemplate> NewStepTemplate(int32_t steps, ExprPtr first, ExprPtr second) {
    OwnedNode<StepTemplate> t = NewTemplateBlock<StepTemplate>(2, 2);
    t->m_kind = steps;
    t->setChild(0, std::move(first));
    t->setChild(1, std::move(second));
    return t;
}

// A row for the tests that compare a lookup by halving with a walk over every item.
struct MixedRowCase {
    const char* name;
    uint8_t structure;
    int32_t nudgeItem; // -1 for none
    int32_t items;
};

class eLayoutTest : public ModelTest {
protected:
    static ExprPtr Word(const char* text, uint8_t colour = 0, int32_t points = 12) {
        return NewWord(text, 0, SizedStyle(points), colour);
    }
    static ExprPtr InheritWord(const char* text) {
        FSSRecord inherit;
        InitFSSRecord(inherit);
        return NewWord(text, 0, inherit, 0);
    }
    // A row of `items` items of three sizes (so that tops and bottoms differ from item to item)
    // with a nested row of two in the middle, one item nudged back over its neighbour when asked,
    // measured with or without structure margins. Its children are marked in order unless an
    // item is nudged.
    OwnedNode<eSimpString> MeasuredMixedRow(const MixedRowCase& c) const {
        const char* texts[] = {"a", "+", "bb", "(", "x"};
        const int32_t points[] = {8, 12, 24};
        OwnedNode<eSimpString> row = NewSimpString(c.items);
        for (int32_t i = 0; i < c.items; ++i) {
            if (i == c.items / 2) {
                OwnedNode<eSimpString> inner = NewSimpString(2);
                inner->setChild(0, Word("p", 0, 8));
                inner->setChild(1, Word("qq", 0, 24));
                row->setChild(i, ExprPtr(inner.release()));
                continue;
            }
            row->setChild(i, Word(texts[i % 5], 0, points[i % 3]));
        }
        if (c.nudgeItem >= 0)
            row->getChild(c.nudgeItem)->m_nudgeX = -200;
        MeasureExprWithOptions(row.get(), port.get(), c.structure, 0, 0, 0);
        EXPECT_EQ((row->m_flags & kNodeChildrenInOrder) != 0, c.nudgeItem < 0);
        return row;
    }
    std::vector<std::string> ColourCalls() const {
        std::vector<std::string> out;
        for (const std::string& c : port->calls())
            if (c.rfind("setColors", 0) == 0)
                out.push_back(c);
        return out;
    }
};

TEST_F(eLayoutTest, AllBlackTreeMakesNoColourChanges) {
    OwnedNode<eSimpString> row = NewSimpString(2);
    row->setChild(0, Word("a"));
    row->setChild(1, Word("b"));
    Measure(row.get());
    DrawExpr(row.get(), port.get(), 0, 0, 0, 0, 0, 0);
    EXPECT_TRUE(ColourCalls().empty());
    EXPECT_EQ(port->calls().size(), 2u);
}

TEST_F(eLayoutTest, AColouredNodeIsDrawnInItsColourAndThePortGetsItsColourBack) {
    OwnedNode<eSimpString> row = NewSimpString(3);
    row->setChild(0, Word("a"));
    row->setChild(1, Word("b", 0xE0)); // full red
    row->setChild(2, Word("c"));
    Measure(row.get());
    DrawExpr(row.get(), port.get(), 0, 0, 0, 0, 0, 0);
    ASSERT_EQ(port->calls().size(), 5u);
    EXPECT_EQ(port->calls()[1], "setColors #ff0000ff #ffffffff");
    EXPECT_NE(port->calls()[2].find("\"b\""), std::string::npos);
    EXPECT_NE(port->calls()[2].find("color=#ff0000ff"), std::string::npos);
    EXPECT_EQ(port->calls()[3], "setColors #000000ff #ffffffff");
    EXPECT_NE(port->calls()[4].find("color=#000000ff"), std::string::npos);
}

TEST_F(eLayoutTest, ChildrenInTheirParentsColourCauseNoFurtherChanges) {
    OwnedNode<eSimpString> row = NewSimpString(2);
    row->m_colour = 0x1C; // full green
    row->setChild(0, Word("a", 0x1C));
    row->setChild(1, Word("b", 0x1C));
    Measure(row.get());
    DrawExpr(row.get(), port.get(), 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(ColourCalls(), (std::vector<std::string>{"setColors #00ff00ff #ffffffff",
                                                       "setColors #000000ff #ffffffff"}));
}

TEST_F(eLayoutTest, StructureDisplayAndTheFirstExportFlagIgnoreNodeColours) {
    OwnedNode<eSimpString> row = NewSimpString(1);
    row->setChild(0, Word("a", 0x03));
    Measure(row.get());
    DrawExpr(row.get(), port.get(), 1, 0, 0, 0, 0, 0);
    EXPECT_TRUE(ColourCalls().empty());
    port->clear();
    SetDrawExportFlags(1, 0);
    DrawExpr(row.get(), port.get(), 0, 0, 0, 0, 0, 0);
    SetDrawExportFlags(0, 0);
    EXPECT_TRUE(ColourCalls().empty());
}

TEST_F(eLayoutTest, TheSecondExportFlagPaintsTheBackgroundInTheNodesColour) {
    OwnedNode<eSimpString> row = NewSimpString(1);
    row->setChild(0, Word("a", 0x03)); // full blue
    Measure(row.get());
    SetDrawExportFlags(0, 1);
    DrawExpr(row.get(), port.get(), 0, 0, 0, 0, 0, 0);
    SetDrawExportFlags(0, 0);
    ASSERT_FALSE(ColourCalls().empty());
    EXPECT_EQ(ColourCalls()[0], "setColors #0000ffff #0000ffff");
}

TEST_F(eLayoutTest, NodesOutsideThePortOrWithoutAreaAreNotDrawnNorTheirChildren) {
    OwnedNode<eSimpString> row = NewSimpString(3);
    row->setChild(0, Word("in"));
    eExpr* inner = row->setChild(1, NewSimpString(1));
    inner->setChild(0, Word("far"));
    row->setChild(2, NewEmptySimpString());
    Measure(row.get());
    const int32_t w = ExpectedWidth("in", 12, 16);
    // The port ends where the second item starts.
    port->setBounds(Zone{0, 0, w, 100, 0, 0});
    DrawExpr(row.get(), port.get(), 0, 0, 0, 0, 0, 0);
    ASSERT_EQ(port->calls().size(), 1u);
    EXPECT_NE(port->calls()[0].find("\"in\""), std::string::npos);
    port->clear();
    // Moved left by the first item's width, only the second item shows.
    DrawExpr(row.get(), port.get(), 0, 0, 0, 0, -w, 0);
    ASSERT_EQ(port->calls().size(), 1u);
    EXPECT_NE(port->calls()[0].find("\"far\""), std::string::npos);
}

TEST_F(eLayoutTest, RescaleByOneLeavesEveryValueAlone) {
    OwnedNode<eHeader> header = NewHeader(NewSimpString(3), nullptr);
    eExpr* row = header->getChild(0);
    row->setChild(0, Word("x", 0, 10));
    row->setChild(1, Word("+", 0, 14));
    row->setChild(2, NewStepTemplate(-1, Word("a"), Word("b")));
    row->getChild(1)->m_nudgeY = -7;
    Measure(header.get());
    std::vector<std::string> before;
    std::vector<eExpr*> nodes = {header.get(),
                                 row,
                                 row->getChild(0),
                                 row->getChild(1),
                                 row->getChild(2),
                                 row->getChild(2)->getChild(0),
                                 row->getChild(2)->getChild(1)};
    for (eExpr* n : nodes)
        before.push_back(ZoneText(n->m_zone) + "/" + std::to_string(n->m_size));
    MagnificationNum = 300;
    MagnificationDen = 300;
    RescaleExpr(header.get());
    for (size_t i = 0; i < nodes.size(); ++i)
        EXPECT_EQ(ZoneText(nodes[i]->m_zone) + "/" + std::to_string(nodes[i]->m_size), before[i]);
}

TEST_F(eLayoutTest, RescaleRoundsOnceInAbsoluteCoordinatesKeepingAxisLinesShared) {
    OwnedNode<eSimpString> row = NewSimpString(1);
    eExpr* child = row->setChild(0, NewSimpString(1));
    eExpr* grandchild = child->setChild(0, NewEmptySimpString());
    row->m_zone = Zone{0, 0, 20, 30, 11, 13};
    child->m_zone = Zone{3, 5, 13, 25, 6, 9};
    grandchild->m_zone = Zone{1, 2, 9, 12, 4, 6};
    row->m_size = 21;
    MagnificationNum = 1;
    MagnificationDen = 2;
    RescaleExpr(row.get());
    // Worked by hand with half = 1: each value v becomes (v + 1) / 2 in absolute coordinates, the
    // axis line first, then the parts above and below it.
    EXPECT_EQ(ZoneText(row->m_zone), "0,0,10,16;6,7");
    EXPECT_EQ(row->m_size, 11);
    EXPECT_EQ(ZoneText(child->m_zone), "2,3,7,13;3,5");
    EXPECT_EQ(ZoneText(grandchild->m_zone), "0,1,4,6;2,3");
    // The child's axis line still lies on the row's.
    EXPECT_EQ(child->m_zone.top + child->m_zone.ref1, row->m_zone.top + row->m_zone.ref1);
}

TEST_F(eLayoutTest, SizeStepsOfTemplatesApplyToTheirChildrenAndAddUpDownTheTree) {
    OwnedNode<eSimpString> row = NewSimpString(1);
    eExpr* outer =
        row->setChild(0, NewStepTemplate(-1, InheritWord("a"),
                                         NewStepTemplate(-1, InheritWord("b"), InheritWord("c"))));
    Measure(row.get());
    eExpr* inner = outer->getChild(1);
    EXPECT_EQ(static_cast<eWord*>(outer->getChild(0))->m_fontIndex, RecordingFontIndex(12, 2));
    EXPECT_EQ(static_cast<eWord*>(inner->getChild(0))->m_fontIndex,
              RecordingFontIndex(StepSizeBy(12, -1), 2));
    EXPECT_EQ(static_cast<eWord*>(inner->getChild(1))->m_fontIndex,
              RecordingFontIndex(StepSizeBy(12, -2), 2));
    // Measuring from a node deep inside starts at the size its ancestors give it.
    SetupNodeStyle(inner->getChild(1));
    EXPECT_EQ(DrawState.style.size, StepSizeBy(12, -2));
    // Re-laying out only the inner word after an edit keeps its step.
    InvalidateTree(inner->getChild(1));
    InvalidateAncestors(inner->getChild(1));
    MeasureExprWithOptions(row.get(), port.get(), 0, 0, 0, 0);
    EXPECT_EQ(static_cast<eWord*>(inner->getChild(1))->m_fontIndex,
              RecordingFontIndex(StepSizeBy(12, -2), 2));
}

TEST_F(eLayoutTest, LeafStylesFollowEverySettingTheyAreResolvedFrom) {
    // a inherits; c inherits in the template's part drawn at full size; in its part one step
    // down b is one more step smaller by its own style and d resets to the base size.
    FSSRecord smaller;
    InitFSSRecord(smaller);
    smaller.size = kSizeInherit - 1;
    FSSRecord reset;
    InitFSSRecord(reset);
    reset.size = kSizeReset;
    OwnedNode<eSimpString> stepped = NewSimpString(2);
    auto* b = static_cast<eWord*>(stepped->setChild(0, NewWord("b", 0, smaller, 0)));
    auto* d = static_cast<eWord*>(stepped->setChild(1, NewWord("d", 0, reset, 0)));
    OwnedNode<eSimpString> row = NewSimpString(2);
    auto* a = static_cast<eWord*>(row->setChild(0, InheritWord("a")));
    eExpr* t = row->setChild(1, NewStepTemplate(-1, InheritWord("c"), std::move(stepped)));
    auto* c = static_cast<eWord*>(t->getChild(0));
    int32_t ownSize = 0; // 0: a inherits
    const auto check = [&](const char* when, uint8_t magnify) {
        SCOPED_TRACE(when);
        InvalidateTree(row.get());
        MeasureExprWithOptions(row.get(), port.get(), 0, magnify, 0, 0);
        const auto shown = [&](int32_t size) {
            if (magnify == 0)
                return size;
            return size >= MaximumFontSize / 2 ? MaximumFontSize : 2 * size;
        };
        const int32_t base = BaseStyleSize();
        EXPECT_EQ(a->m_fontIndex, RecordingFontIndex(shown(ownSize ? ownSize : base), 2));
        EXPECT_EQ(b->m_fontIndex,
                  RecordingFontIndex(shown(StepSizeBy(StepSizeBy(base, -1), -1)), 2));
        EXPECT_EQ(c->m_fontIndex, RecordingFontIndex(shown(base), 2));
        EXPECT_EQ(d->m_fontIndex, RecordingFontIndex(shown(base), 2));
    };
    check("shipped", 0);
    SizeStepTable = {6, 8, 10, 16, 20, 24, 32, 40};
    check("other steps", 0);
    // One step below 12 and below 14 is the same size on these steps.
    StyleTable[0].size = 14;
    check("base 14", 0);
    check("magnified", 1);
    MaximumFontSize = 20;
    check("largest size 20", 1);
    MaximumFontSize = 1024;
    ownSize = 30;
    a->setStyle(SizedStyle(30, kItalicLetters));
    check("own size", 0);
}

namespace {
int32_t s_fontShift = 0;
uint32_t s_fontEpoch = 0;
int32_t s_fontAsks = 0;
int32_t ShiftedFont(const char*, int32_t points, bool bold, bool italic, bool underline) {
    ++s_fontAsks;
    return s_fontShift +
           RecordingFontIndex(points, (bold ? 1 : 0) | (italic ? 2 : 0) | (underline ? 4 : 0));
}
uint32_t FontEpoch() {
    return s_fontEpoch;
}
} // namespace

TEST_F(eLayoutTest, FontIndicesAreKeptOnlyWhileTheFontEpochStays) {
    OwnedNode<eSimpString> row = NewSimpString(3);
    auto* x = static_cast<eWord*>(row->setChild(0, InheritWord("x")));
    auto* one = static_cast<eWord*>(row->setChild(1, InheritWord("1")));
    auto* y = static_cast<eWord*>(row->setChild(2, InheritWord("y")));
    s_fontShift = 0;
    s_fontEpoch = 0;
    s_fontAsks = 0;
    TheModelHooks().fontIndexForDesc = &ShiftedFont;
    const auto expect = [&](const char* when, int32_t shift) {
        SCOPED_TRACE(when);
        // Letters italic, the digit upright.
        EXPECT_EQ(x->m_fontIndex, shift + RecordingFontIndex(12, 2));
        EXPECT_EQ(one->m_fontIndex, shift + RecordingFontIndex(12, 0));
        EXPECT_EQ(y->m_fontIndex, shift + RecordingFontIndex(12, 2));
    };
    // Without an epoch every leaf asks.
    Measure(row.get());
    expect("no epoch", 0);
    EXPECT_EQ(s_fontAsks, 3);
    TheModelHooks().fontIndexEpoch = &FontEpoch;
    Measure(row.get());
    Measure(row.get());
    expect("epoch", 0);
    EXPECT_EQ(s_fontAsks, 5) << "one ask per italic outcome";
    s_fontShift = 1000;
    ++s_fontEpoch;
    Measure(row.get());
    expect("new epoch", 1000);
    // Another source of answers is asked afresh too.
    TheModelHooks().fontIndexForDesc = &RecordingFont;
    Measure(row.get());
    expect("other source", 0);
}

TEST_F(eLayoutTest, LocateNodeSumsTheOffsetsFromTheRoot) {
    OwnedNode<eSimpString> row = NewSimpString(2);
    row->setChild(0, Word("ab"));
    eExpr* inner = row->setChild(1, NewSimpString(2));
    inner->setChild(0, Word("c"));
    eExpr* d = inner->setChild(1, Word("d", 0, 20));
    Measure(row.get());
    DrawState.rootOrigin = oPoint{100, 50};
    const Zone& z = LocateNode(d);
    EXPECT_EQ(z.left, 100 + inner->m_zone.left + d->m_zone.left);
    EXPECT_EQ(z.top, 50 + inner->m_zone.top + d->m_zone.top);
    EXPECT_EQ(z.right - z.left, d->width());
    EXPECT_EQ(z.bottom - z.top, d->height());
    EXPECT_EQ(z.ref1, d->m_zone.ref1);
}

TEST_F(eLayoutTest, HelpNarrowsToTheNodeUnderThePointOrTheStripBesideTheRoot) {
    WideStructureSetting = 0;
    OwnedNode<eSimpString> row = NewSimpString(2);
    row->setChild(0, Word("ab"));
    row->setChild(1, Word("cd"));
    MeasureExprWithOptions(row.get(), port.get(), 1, 0, 0, 0);
    const Zone bounds{0, 0, 500, 300, 0, 0};
    const oPoint origin{10, 20};
    int32_t kind = -1;
    int32_t id = -1;
    Zone zone;
    // Left of the root: the strip up to the root's left edge.
    EXPECT_EQ(ExprHelpAtPoint(row.get(), origin, bounds, oPoint{5, 30}, kind, id, zone), nullptr);
    EXPECT_EQ(ZoneText(zone), ZoneText(Zone{0, 0, 10, 300, 0, 0}));
    // Inside the second word: its own zone in absolute coordinates.
    const eExpr* cd = row->getChild(1);
    const oPoint inWord{10 + cd->m_zone.left + 1, 20 + cd->m_zone.top + 1};
    EXPECT_EQ(ExprHelpAtPoint(row.get(), origin, bounds, inWord, kind, id, zone), cd);
    Zone expected = cd->m_zone;
    ZoneOffset(expected, 10, 20);
    EXPECT_EQ(zone.left, expected.left);
    EXPECT_EQ(zone.right, expected.right);
    // In the left margin of the row: the row answers, and the help zone stops at its first item.
    EXPECT_EQ(ExprHelpAtPoint(row.get(), origin, bounds, oPoint{11, 22}, kind, id, zone),
              row.get());
    EXPECT_EQ(zone.left, 10);
    EXPECT_EQ(zone.right, 10 + row->getChild(0)->m_zone.left);
}

// What the help lookup answers, walking every child in order (the reference for the rows whose
// items are searched by halving).
const eExpr* LinearHelp(const eExpr* root, oPoint origin, const Zone& bounds, oPoint point,
                        Zone& zone) {
    zone = bounds;
    Zone r = root->m_zone;
    ZoneOffset(r, origin.x, origin.y);
    if (!ZoneContainsPoint(r, point)) {
        if (point.x < r.left)
            zone.right = r.left;
        else if (point.x >= r.right)
            zone.left = r.right;
        else if (point.y < r.top)
            zone.bottom = r.top;
        else
            zone.top = r.bottom;
        return nullptr;
    }
    const eExpr* node = root;
    oPoint local{point.x - r.left, point.y - r.top};
    oPoint at{r.left, r.top};
    for (;;) {
        const eExpr* inside = nullptr;
        for (int32_t i = 0; i < node->childCount() && inside == nullptr; ++i)
            if (const eExpr* c = node->getChild(i);
                c != nullptr && ZoneContainsPoint(c->m_zone, local))
                inside = c;
        if (inside == nullptr)
            break;
        local = oPoint{local.x - inside->m_zone.left, local.y - inside->m_zone.top};
        at = oPoint{at.x + inside->m_zone.left, at.y + inside->m_zone.top};
        node = inside;
    }
    Zone help{0, 0, node->width(), node->height(), 0, 0};
    for (int32_t i = 0; i < node->childCount(); ++i)
        if (const eExpr* c = node->getChild(i))
            ClampZoneToObstacles(help, local, c->m_zone);
    ZoneOffset(help, at.x, at.y);
    zone = help;
    return node;
}

// Rows of items of three sizes (so that tops and bottoms differ from item to item) with a nested
// row among them, with and without structure margins, in order and with an item nudged back over
// its neighbour (which takes the walk over every item): at every x across the row and beyond its
// ends, at every height where an edge lies and one either side, the lookup finds the node, kind,
// help text and help zone that walking every child finds.
TEST_F(eLayoutTest, HelpLookupAnswersAsAWalkOverEveryChildAcrossARow) {
    WideStructureSetting = 0;
    const MixedRowCase cases[] = {
        {"plain", 0, -1, 40},
        {"structure", 1, -1, 40},
        {"nudged back", 0, 7, 40},
        {"nudged in structure", 1, 30, 40},
        {"at the halving limit", 0, -1, 8},
        {"one past it", 0, -1, 9},
    };
    for (const MixedRowCase& c : cases) {
        SCOPED_TRACE(c.name);
        OwnedNode<eSimpString> row = MeasuredMixedRow(c);
        const Zone bounds{0, 0, 4000, 300, 0, 0};
        const oPoint origin{10, 20};
        std::vector<int32_t> ys;
        for (int32_t i = 0; i < c.items; ++i)
            for (int32_t y : {row->getChild(i)->m_zone.top, row->getChild(i)->m_zone.bottom})
                for (int32_t d : {-1, 0, 1})
                    ys.push_back(20 + y + d);
        for (int32_t y :
             {row->m_zone.top - 1, row->m_zone.top, row->m_zone.bottom - 1, row->m_zone.bottom})
            ys.push_back(20 + y);
        int32_t mismatches = 0;
        for (int32_t x = row->m_zone.left + 10 - 3; x <= row->m_zone.right + 10 + 3; ++x)
            for (int32_t y : ys) {
                int32_t kind = -1;
                int32_t id = -1;
                Zone zone;
                Zone expectedZone;
                const oPoint p{x, y};
                const eExpr* found = ExprHelpAtPoint(row.get(), origin, bounds, p, kind, id, zone);
                const eExpr* expected = LinearHelp(row.get(), origin, bounds, p, expectedZone);
                int32_t expectedKind = 0;
                int32_t expectedId = 0;
                if (expected != nullptr)
                    const_cast<eExpr*>(expected)->infoText(expectedKind, expectedId);
                if (found != expected || kind != expectedKind || id != expectedId ||
                    ZoneText(zone) != ZoneText(expectedZone)) {
                    if (++mismatches <= 5)
                        ADD_FAILURE() << "at " << x << "," << y << ": zone " << ZoneText(zone)
                                      << " expected " << ZoneText(expectedZone);
                }
            }
        EXPECT_EQ(mismatches, 0);
    }
}

// On a row of 10,000 items in order, a lookup on its last item, between two items and above a
// short item reads a few dozen children, not the row.
TEST_F(eLayoutTest, HelpLookupOnALongRowReadsAFewChildrenOnly) {
    WideStructureSetting = 0;
    constexpr int32_t n = 10000;
    OwnedNode<CountingRow> row = NewCountingRow(n);
    for (int32_t i = 0; i < n; ++i)
        row->setChild(i, Word(i % 2 == 0 ? "a" : "+", 0, i % 2 == 0 ? 24 : 8));
    MeasureExprWithOptions(row.get(), port.get(), 1, 0, 0, 0);
    const eExpr* last = row->getChild(n - 1);
    const eExpr* small = row->getChild(n - 3);
    const Zone bounds{0, 0, 1 << 30, 300, 0, 0};
    struct Probe {
        const char* name;
        oPoint point;
    };
    const Probe probes[] = {
        {"last item", {last->m_zone.left + 1, last->m_zone.top + 1}},
        {"between items", {small->m_zone.right, 0}},
        {"above a short item", {small->m_zone.left + 1, small->m_zone.top - 1}},
    };
    for (const Probe& p : probes) {
        SCOPED_TRACE(p.name);
        int32_t kind = 0;
        int32_t id = 0;
        Zone zone;
        Zone expectedZone;
        const eExpr* expected = LinearHelp(row.get(), oPoint{0, 0}, bounds, p.point, expectedZone);
        // The edges of the row's items are sorted once per layout; a second lookup reuses them.
        (void)ExprHelpAtPoint(row.get(), oPoint{0, 0}, bounds, p.point, kind, id, zone);
        CountingRow::reads = 0;
        EXPECT_EQ(ExprHelpAtPoint(row.get(), oPoint{0, 0}, bounds, p.point, kind, id, zone),
                  expected);
        EXPECT_EQ(ZoneText(zone), ZoneText(expectedZone));
        EXPECT_LT(CountingRow::reads, 100);
    }
    // The last item, the row and the row's margin are all answers somewhere here.
    Zone z;
    EXPECT_EQ(LinearHelp(row.get(), oPoint{0, 0}, bounds, probes[0].point, z), last);
    EXPECT_EQ(LinearHelp(row.get(), oPoint{0, 0}, bounds, probes[2].point, z), row.get());
}

// A row of 10,000 items drawn through a port that shows a part of it, at its start, its middle
// and past its end: the text calls are those of the items that meet the port, in order (the first
// and last cut by its edges), coloured items off the port change nothing, and the drawing reads a
// few dozen children, not the row.
TEST_F(eLayoutTest, ALongRowDrawsOnlyTheItemsThePortShows) {
    constexpr int32_t n = 10000;
    OwnedNode<CountingRow> row = NewCountingRow(n);
    for (int32_t i = 0; i < n; ++i)
        row->setChild(i, Word(i % 2 == 0 ? "a" : "+", static_cast<uint8_t>(i % 7 == 0 ? 3 : 0)));
    Measure(row.get());
    const int32_t width = row->width();
    struct Case {
        const char* name;
        int32_t left;
    };
    const Case cases[] = {
        {"start", 0}, {"middle", width / 2 + 3}, {"end", width - 50}, {"past the end", width + 10}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        port->setBounds(Zone{0, 0, 100, 100, 0, 0});
        port->clear();
        CountingRow::reads = 0;
        DrawExpr(row.get(), port.get(), 0, 0, 0, 0, -c.left, 0);
        EXPECT_LT(CountingRow::reads, 200);
        std::string drawn;
        for (const std::string& call : port->calls())
            if (call.find('"') != std::string::npos)
                drawn += call.substr(call.find('"') + 1, 1);
        std::string expected;
        for (int32_t i = 0; i < n; ++i) {
            const Zone& z = row->getChild(i)->m_zone;
            if (z.left - c.left < 100 && z.right - c.left > 0)
                expected += i % 2 == 0 ? "a" : "+";
        }
        EXPECT_EQ(drawn, expected);
        EXPECT_EQ(drawn.empty(), c.left > width);
    }
}

// Where a press or a drag lands in a row, asking every item in order (the reference for rows
// whose items are searched by halving).
SelectionEntry LinearRowHit(eSimpString* row, oPoint anchor, oPoint point, bool drag) {
    SelectionEntry entry;
    for (int32_t i = 0; i < row->childCount(); ++i)
        if (drag ? HitDragChild(row->getChild(i), anchor, point, entry)
                 : HitClickChild(row->getChild(i), anchor, point, entry))
            return entry;
    entry = {row, 0, 0, 0, 1};
    const int32_t rowLeft = DrawState.absZone.left;
    const int32_t n = row->childCount();
    auto edge = [&](int32_t i) {
        return rowLeft +
               (i < n ? row->getChild(i)->m_zone.left : row->getChild(n - 1)->m_zone.right);
    };
    const int32_t lo = std::min(anchor.x, point.x);
    const int32_t hi = std::max(anchor.x, point.x);
    int32_t prev = rowLeft;
    for (int32_t i = 0; i <= n; ++i) {
        const int32_t x = edge(i);
        if (lo > (prev + 3 * x) / 4)
            entry.start = i;
        if (hi > (x + 3 * prev) / 4)
            entry.end = i;
        prev = x;
    }
    return entry;
}

// Presses and drags across rows of items of three sizes with a nested row among them (structure
// margins on and off, one item nudged back over its neighbour, at and one past the length where
// halving starts): at every x across the row and beyond its ends, at the heights where edges lie,
// the press lands where asking every item in turn lands it; drags both ways likewise. A press on
// a row of 10,000 items reads a few dozen of them.
TEST_F(eLayoutTest, PressesInARowLandAsAskingEveryItemLandsThem) {
    WideStructureSetting = 0;
    const MixedRowCase cases[] = {
        {"plain", 0, -1, 40},
        {"structure", 1, -1, 40},
        {"nudged back", 0, 7, 40},
        {"first nudged back", 1, 0, 40},
        {"at the halving limit", 0, -1, 8},
        {"one past it", 1, -1, 9},
    };
    for (const MixedRowCase& c : cases) {
        SCOPED_TRACE(c.name);
        OwnedNode<eSimpString> row = MeasuredMixedRow(c);
        const Zone origin{30, 20, 30 + row->width(), 20 + row->height(), 0, 0};
        std::vector<int32_t> ys{origin.top, origin.bottom - 1};
        for (int32_t i = 0; i < c.items; ++i)
            for (int32_t y : {row->getChild(i)->m_zone.top, row->getChild(i)->m_zone.bottom})
                for (int32_t d : {-1, 0})
                    ys.push_back(origin.top + y + d);
        int32_t mismatches = 0;
        for (int32_t x = origin.left - 3; x <= origin.right + 3; ++x)
            for (int32_t y : ys)
                for (int32_t dx : {0, 7, -23})
                    for (bool drag : {false, true}) {
                        const oPoint anchor{x, y};
                        const oPoint point{x + dx, y};
                        DrawState.absZone = origin;
                        const SelectionEntry expected =
                            LinearRowHit(row.get(), anchor, point, drag);
                        DrawState.absZone = origin;
                        SelectionEntry entry;
                        if (drag)
                            row->hitDrag(anchor, point, entry);
                        else
                            row->hitClick(anchor, point, entry);
                        if (!(entry == expected) && ++mismatches <= 5)
                            ADD_FAILURE() << "at " << x << "," << y << " to " << x + dx
                                          << (drag ? " drag" : " press") << ": " << entry.start
                                          << ".." << entry.end << " expected " << expected.start
                                          << ".." << expected.end;
                    }
        EXPECT_EQ(mismatches, 0);
    }

    constexpr int32_t n = 10000;
    OwnedNode<CountingRow> row = NewCountingRow(n);
    for (int32_t i = 0; i < n; ++i)
        row->setChild(i, Word(i % 2 == 0 ? "a" : "+"));
    Measure(row.get());
    const Zone& last = row->getChild(n - 1)->m_zone;
    for (const oPoint p : {oPoint{last.left + 1, last.top + 1}, oPoint{row->width() + 5, 1}}) {
        DrawState.absZone = row->m_zone;
        SelectionEntry entry;
        CountingRow::reads = 0;
        row->hitClick(p, p, entry);
        EXPECT_LT(CountingRow::reads, 200);
        DrawState.absZone = row->m_zone;
        EXPECT_EQ(entry, LinearRowHit(row.get(), p, p, false));
    }
}

} // namespace
} // namespace kvtest
