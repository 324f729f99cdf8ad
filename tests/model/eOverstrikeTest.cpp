#include "OverSrcs/eOverstrike.h"

#include "model/eFractionFixture.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

class eOverstrikeTest : public TemplateTest {};

struct StrikeCase {
    const char* base;
    int32_t basePoints;
    const char* over;
    int32_t overPoints;
};

class OverstrikeLayout : public eOverstrikeTest,
                         public ::testing::WithParamInterface<StrikeCase> {};

TEST_P(OverstrikeLayout, CentresBothOnOneAxisOrPullsThemApartInStructureDisplay) {
    const StrikeCase& c = GetParam();
    SCOPED_TRACE(std::string(c.base) + " with " + c.over);
    for (uint8_t structure : {0, 1}) {
        SCOPED_TRACE(structure ? "structure" : "plain");
        OwnedNode<eOverstrike> node =
            NewOverstrike(WordRow(c.base, c.basePoints), WordRow(c.over, c.overPoints));
        if (structure) {
            InvalidateTree(node.get());
            MeasureExprWithOptions(node.get(), port.get(), 1, 0, 0, 0);
        } else {
            Measure(node.get());
        }
        const eExpr* b = node->getChild(0);
        const eExpr* o = node->getChild(1);
        const int32_t A = std::max(b->m_zone.ref1, o->m_zone.ref1);
        int32_t height = A + std::max(b->height() - b->m_zone.ref1, o->height() - o->m_zone.ref1);
        int32_t W = std::max(b->width(), o->width());
        if (!structure) {
            EXPECT_EQ(b->m_zone.left, (W - b->width()) / 2);
            EXPECT_EQ(b->m_zone.top, A - b->m_zone.ref1);
            EXPECT_EQ(o->m_zone.left, (W - o->width()) / 2);
            EXPECT_EQ(o->m_zone.top, A - o->m_zone.ref1);
        } else {
            height = height * 3 / 2;
            W = W + W / 2;
            EXPECT_EQ(b->m_zone.left, 0);
            EXPECT_EQ(b->m_zone.bottom, height);
            EXPECT_EQ(o->m_zone.right, W);
            EXPECT_EQ(o->m_zone.top, 0);
        }
        EXPECT_EQ(ZoneText(node->m_zone),
                  ZoneText(Zone{0, 0, W, height, A, A - b->m_zone.ref1 + b->m_zone.ref2}));
        // No strokes of its own (structure display outlines the rows).
        if (!structure) {
            EXPECT_TRUE(DrawStrokes(node.get(), 3, 4).empty());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, OverstrikeLayout,
                         ::testing::Values(StrikeCase{"O", 12, "/", 12},
                                           StrikeCase{"abc", 12, "-", 24},
                                           StrikeCase{"i", 30, "mm", 9}));

TEST_F(eOverstrikeTest, InkExtentsSpanBothChildrenAtTheirPlaces) {
    OwnedNode<eOverstrike> node = NewOverstrike(WordRow("wide", 12), WordRow("i", 24));
    Measure(node.get());
    int32_t l[2], r[2], o[2];
    for (int32_t i = 0; i < 2; ++i) {
        eExpr* child = node->getChild(i);
        child->getExtents(l[i], r[i], o[i]);
        l[i] += child->m_zone.left;
        r[i] += child->m_zone.left;
    }
    int32_t left = -1, right = -1, overhang = -1;
    node->getExtents(left, right, overhang);
    EXPECT_EQ(left, std::min(l[0], l[1]));
    EXPECT_EQ(right, std::max(r[0], r[1]));
    EXPECT_EQ(overhang, std::min(o[0], o[1]));
    // The narrow child sits inside the wide one: the ink is the wide child's.
    EXPECT_EQ(right - left, r[0] - l[0]);
}

TEST_F(eOverstrikeTest, AnEmptySlotIsSkippedByLayoutAndExtents) {
    OwnedNode<eOverstrike> node = NewOverstrike(WordRow("x", 12), nullptr);
    Measure(node.get());
    EXPECT_EQ(node->width(), node->getChild(0)->width());
    int32_t left = -1, right = -1, overhang = -1;
    node->getExtents(left, right, overhang);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(right, node->getChild(0)->width());
}

} // namespace
} // namespace kvtest
