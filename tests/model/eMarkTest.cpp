#include "OverSrcs/eMark.h"

#include "OverSrcs/eFence.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eWord.h"
#include "model/TemplateDrawFixture.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

// The child is "x" at 48 pt: width 24, height 54, axis 26, baseline 40, size s = 54. With the
// default weights: line L = (3 * 54 * 4 + 128) >> 8 = 3, d = (54 * 4 + 64) >> 7 = 2, dot
// d3 = (3 * 54 * 4 + 64) >> 7 = 5, gap g = (54 * 4 + 32) >> 6 = 3; s / 5 = 10.
class eMarkTest : public TemplateDrawTest {
protected:
    eMark* Laid(int32_t kind, int32_t points = 48) {
        root = NewSimpString(1);
        auto* m = static_cast<eMark*>(root->setChild(
            0, NewMark(NewSimpStringWith(NewWord("x", 0, SizedStyle(points), 0)), kind)));
        Measure(root.get());
        return m;
    }
};

const std::string kStart3 = "startDeluxeLine width=3 color=#000000ff style=0 mode=1";

TEST_F(eMarkTest, SizesFollowTheEmbellishmentWeights) {
    const MarkMetrics m = MarkMetricsFor(54);
    EXPECT_EQ(m.line, 3);
    EXPECT_EQ(m.d, 2);
    EXPECT_EQ(m.dot, 5);
    EXPECT_EQ(m.gap, 3);
    const MarkMetrics tiny = MarkMetricsFor(2);
    EXPECT_EQ(tiny.line, 1);
    EXPECT_EQ(tiny.d, 1);
    EXPECT_EQ(tiny.dot, 1);
    EXPECT_EQ(tiny.gap, 1);
}

struct LayoutCase {
    int32_t kind;
    const char* zone;  // the mark's zone
    int32_t childLeft; // where the child goes
    int32_t childTop;
};

class MarkLayouts : public eMarkTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(MarkLayouts, BandAboveOrBelowAndAtLeastTheMinimumWidth) {
    char name[16];
    std::snprintf(name, sizeof name, "0x%02X", GetParam().kind);
    SCOPED_TRACE(name);
    eMark* m = Laid(GetParam().kind);
    EXPECT_EQ(ZoneText(m->m_zone), GetParam().zone);
    EXPECT_EQ(m->getChild(0)->m_zone.left, GetParam().childLeft);
    EXPECT_EQ(m->getChild(0)->m_zone.top, GetParam().childTop);
}

INSTANTIATE_TEST_SUITE_P(
    Marks, MarkLayouts,
    ::testing::Values(
        // dot: band 2d + g = 7; at least 54 >> 3 wide
        LayoutCase{0x11, "0,0,24,61;33,47", 0, 7},
        // reaching into the ascender: 7 - 10 is below 0
        LayoutCase{0x01, "0,0,24,54;26,40", 0, 0},
        // tilde: band L + 2d + g = 10; at least 4 * 54 >> 3 = 27 wide, child centred (3 + 1) / 2
        LayoutCase{0x13, "0,0,27,64;36,50", 2, 10},
        // vector: L + 4d + g = 14
        LayoutCase{0x14, "0,0,27,68;40,54", 2, 14},
        // two-headed arrow: 6 * 54 >> 3 = 40 wide
        LayoutCase{0x15, "0,0,40,68;40,54", 8, 14},
        // bar: L + g = 6
        LayoutCase{0x16, "0,0,24,60;32,46", 0, 6},
        // hat: L + 3d + g = 12
        LayoutCase{0x17, "0,0,24,66;38,52", 0, 12},
        // arc: L + 2d + g = 10, 40 wide
        LayoutCase{0x18, "0,0,40,64;36,50", 8, 10},
        // triple dot: 2d + g = 7
        LayoutCase{0x19, "0,0,24,61;33,47", 0, 7},
        // double bar: 4L + g = 15
        LayoutCase{0x1B, "0,0,24,69;41,55", 0, 15},
        // reserved: L + d + g = 8, 40 wide
        LayoutCase{0x10, "0,0,40,62;34,48", 8, 8}, LayoutCase{0x1F, "0,0,40,62;34,48", 8, 8},
        // below: the axis and baseline stay the child's
        LayoutCase{0x36, "0,0,24,60;26,40", 0, 0}, LayoutCase{0x37, "0,0,24,66;26,40", 0, 0}));

struct StrokeCase {
    int32_t kind;
    std::vector<std::string> strokes;
};

class MarkStrokes : public eMarkTest, public ::testing::WithParamInterface<StrokeCase> {};

TEST_P(MarkStrokes, AreDrawnUpwardFromTheReferenceLine) {
    char name[16];
    std::snprintf(name, sizeof name, "0x%02X", GetParam().kind);
    SCOPED_TRACE(name);
    Laid(GetParam().kind);
    EXPECT_EQ(Strokes(), GetParam().strokes);
}

INSTANTIATE_TEST_SUITE_P(
    Marks, MarkStrokes,
    ::testing::Values(
        // y = 61 - 54 - 3 = 4; span 0..24; the dot (24 - 5) / 2 in.
        StrokeCase{0x11, {"paintCircle 9,-1,14,4;0,0"}},
        // reaching into the ascender: y = 54 - 54 - 3 + 10 = 7
        StrokeCase{0x01, {"paintCircle 9,2,14,7;0,0"}},
        // e = 24 / 2 / 2 / 2 = 3: centres at 3 and 21
        StrokeCase{0x12, {"paintCircle 1,-1,6,4;0,0", "paintCircle 19,-1,24,4;0,0"}},
        // first at e, then (24 - 6 - 5) / 2 = 6 apart
        StrokeCase{0x19,
                   {"paintCircle 3,-1,8,4;0,0", "paintCircle 9,-1,14,4;0,0",
                    "paintCircle 15,-1,20,4;0,0"}},
        // y = 64 - 57 = 7; span 27 (the child's ink plus the padding): h 13, q 6, e 3
        StrokeCase{0x13,
                   {kStart3, "moveTo 3,4", "line 3,-4", "line 3,0", "lineTo 15,4", "line 3,0",
                    "line 3,-4", "endLine"}},
        // y = 68 - 57 = 11; shaft at 11 - 4 - 3
        StrokeCase{
            0x14,
            {kStart3, "moveTo 3,4", "line 18,0", "move -4,-4", "line 4,4", "line -4,4", "endLine"}},
        StrokeCase{
            0x1A,
            {kStart3, "moveTo 3,4", "line 18,0", "moveTo 7,0", "line -4,4", "line 4,4", "endLine"}},
        // span 40: e = 5
        StrokeCase{0x15,
                   {kStart3, "moveTo 5,4", "line 27,0", "move -4,-4", "line 4,4", "line -4,4",
                    "moveTo 9,0", "line -4,4", "line 4,4", "endLine"}},
        // y = 3; inset (54 + 8) >> 4 = 3
        StrokeCase{0x16, {kStart3, "moveTo 3,0", "line 15,0", "endLine"}},
        // below: y is the bottom, 60
        StrokeCase{0x36, {kStart3, "moveTo 3,57", "line 15,0", "endLine"}},
        // fixed width 2 * 54 >> 3 = 13: the span 24 shrinks by 2 * 5
        StrokeCase{0x56, {kStart3, "moveTo 8,0", "line 5,0", "endLine"}},
        // fixed width 40 of a 40 span: unchanged
        StrokeCase{0x55,
                   {kStart3, "moveTo 5,4", "line 27,0", "move -4,-4", "line 4,4", "line -4,4",
                    "moveTo 9,0", "line -4,4", "line 4,4", "endLine"}},
        // y = 69 - 57 = 12
        StrokeCase{0x1B,
                   {kStart3, "moveTo 0,9", "line 21,0", "moveTo 0,3", "line 21,0", "endLine"}},
        // hat: y = 9, rise 3d = 6
        StrokeCase{0x17, {kStart3, "moveTo 3,6", "line 9,-6", "line 9,6", "endLine"}},
        StrokeCase{0x37, {kStart3, "moveTo 3,57", "line 9,6", "line 9,-6", "endLine"}},
        // arc over a 40 span: y' = 7 - 3, a = 3
        StrokeCase{0x18,
                   {kStart3, "moveTo 5,4", "lineTo 10,1", "lineTo 15,0", "lineTo 22,0",
                    "lineTo 27,1", "lineTo 32,4", "endLine"}},
        // hanging below: y' = 64 - 3
        StrokeCase{0x38,
                   {kStart3, "moveTo 5,57", "lineTo 10,60", "lineTo 15,61", "lineTo 22,61",
                    "lineTo 27,60", "lineTo 32,57", "endLine"}},
        StrokeCase{0x10, {}}, StrokeCase{0x1C, {}}));

TEST_F(eMarkTest, ExtentsAreTheChildsMovedByItsPlace) {
    eMark* m = Laid(0x15);
    int32_t left = -1, right = -1, overhang = -1;
    m->getExtents(left, right, overhang);
    EXPECT_EQ(left, 8);
    EXPECT_EQ(right, 32);
    EXPECT_EQ(overhang, 0);
}

TEST_F(eMarkTest, ThinMarksKeepStrokesOfOne) {
    EmbellishmentSettings.strokeWeight = 1;
    EmbellishmentSettings.dotWeight = 1;
    for (int32_t kind = 0x11; kind <= 0x1B; ++kind) {
        SCOPED_TRACE(kind);
        Laid(kind, 6);
        const std::vector<std::string> strokes = Strokes();
        EXPECT_FALSE(strokes.empty());
        for (const std::string& c : strokes) {
            EXPECT_EQ(c.find("width=0"), std::string::npos) << c;
            // A dot is never an empty zone.
            if (c.rfind("paintCircle", 0) == 0) {
                int l, t, r, b;
                ASSERT_EQ(std::sscanf(c.c_str(), "paintCircle %d,%d,%d,%d", &l, &t, &r, &b), 4);
                EXPECT_GE(r - l, 1);
                EXPECT_GE(b - t, 1);
            }
        }
    }
}

TEST_F(eMarkTest, CodesRoundTripAndTheTablesMatchEveryMark) {
    for (int32_t kind : {0x00, 0x11, 0x2B, 0x5F, 0x7A, 0xFF}) {
        const int32_t code = 0x4001 | kind << 4;
        SCOPED_TRACE(code);
        ExprPtr node = NewTemplateFromCode(code);
        auto* m = dynamic_cast<eMark*>(node.get());
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->m_kind, kind);
        int32_t back = -1;
        EXPECT_TRUE(m->getTemplateCode(back));
        EXPECT_EQ(back, code);
    }
    EXPECT_EQ(NewTemplateFromCode(0x4012), nullptr);
    // Fixed widths never fall below the minimum widths, and only real marks have one.
    for (int32_t mark = 0; mark < 16; ++mark) {
        SCOPED_TRACE(mark);
        if (mark >= 1 && mark <= 11)
            EXPECT_GE(MarkFixedEighths(mark), MarkMinimumEighths(mark));
        else
            EXPECT_EQ(MarkFixedEighths(mark), -1);
    }
    EXPECT_EQ(MarkFixedEighths(kMarkTripleDot), 7);
}

TEST_F(eMarkTest, ACopyKeepsTheKindAndAMarkFromACodeDrawsWithoutAChild) {
    OwnedNode<eMark> m = NewMark(NewSimpStringWith(NewWord("v", 0, SizedStyle(12), 0)), 0x14);
    ExprPtr copy = m->deepCopy();
    auto* c = dynamic_cast<eMark*>(copy.get());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->m_kind, 0x14);
    ASSERT_NE(c->getChild(0), nullptr);
    EXPECT_NE(c->getChild(0), m->getChild(0));

    // A mark made from a code has its one slot still empty (no child); it still takes its band
    // and draws without a failed assertion.
    root = NewSimpString(1);
    auto* empty = static_cast<eMark*>(root->setChild(0, NewTemplateFromCode(0x4161)));
    ASSERT_NE(empty, nullptr);
    ASSERT_EQ(empty->childCount(), 1);
    EXPECT_EQ(empty->getChild(0), nullptr);
    Measure(root.get());
    EXPECT_GT(empty->height(), 0);
    for (const std::string& c : Strokes())
        EXPECT_NE(c[0], '!') << c;
}

} // namespace
} // namespace kvtest
