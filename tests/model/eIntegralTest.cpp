#include "OverSrcs/eIntegral.h"

#include "OverSrcs/eFence.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eWord.h"
#include "model/TemplateDrawFixture.h"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

// The integrand is "x" at 12 pt (width 6, height 13, axis 7, baseline 10, size 13). The limits
// "a" and "b" inherit the size, which the integral steps down 4 steps from 12 to 6 pt: width 3,
// height 6, axis 2, baseline 4, size 6.
ExprPtr Row(const char* text, const FSSRecord& style) {
    return NewSimpStringWith(NewWord(text, 0, style, 0));
}

FSSRecord Inherited() {
    FSSRecord style;
    InitFSSRecord(style);
    style.setItalicMode(kItalicOff);
    style.style[kStyleItalic] = 0;
    return style;
}

class eIntegralTest : public TemplateDrawTest {
protected:
    eIntegral* Laid(int32_t kind, const FSSRecord& upperStyle = Inherited()) {
        root = NewSimpString(1);
        OwnedNode<eIntegral> node =
            NewIntegral(3, Row("x", SizedStyle(12)), Row("a", Inherited()), Row("b", upperStyle));
        node->m_kind = kind;
        auto* integral = static_cast<eIntegral*>(root->setChild(0, std::move(node)));
        Measure(root.get());
        return integral;
    }
    std::string Zone(const eIntegral* node, int32_t i) {
        return ZoneText(node->getChild(i)->m_zone);
    }
};

std::string Sign(const char* zone, int32_t step, int32_t count, int32_t flags, int32_t width) {
    char b[128];
    std::snprintf(b, sizeof b,
                  "integralSign %s;0,0 step=%d count=%d flags=%d width=%d orientation=0", zone,
                  step, count, flags, width);
    return b;
}

// Shared numbers, s = 13: default height (2 * 13 * 16) >> 4 = 26 (the integrand asks for 2 * 7),
// half 13; m1 = m2 = 1; gap 13 >> 2 = 3; a sign is ((13 * 4) >> 3) + 1 + (26 >> 4) = 8 wide,
// overlap 8 / 3 = 2, tail 8 >> 3 = 1; pen max(1, (13 * 4 + 16) >> 5) = 2.

TEST_F(eIntegralTest, TheLimitsAreSteppedDownByTheLimitSetting) {
    eIntegral* node = Laid(0);
    EXPECT_EQ(node->m_size, 13);
    EXPECT_EQ(node->getChild(1)->m_size, ExpectedMetrics(StepSizeBy(12, -4), 16).h);
    EXPECT_EQ(node->getChild(2)->m_size, 6);
    IntegralSettings.limitsSize = 0;
    node = Laid(0);
    EXPECT_EQ(node->getChild(1)->m_size, 13);
}

TEST_F(eIntegralTest, OneSignWithLimitsBeside) {
    eIntegral* node = Laid(0);
    // Axis 2 + max(7 - 2 + 6, 13) = 15; height 15 - 2 + max(6 + 2, 13) + 6 = 32;
    // width 1 + max(1 + 3, 3 - 2) + 6 + 8 + 3 = 22.
    EXPECT_EQ(ZoneText(node->m_zone), "0,0,22,32;15,18");
    EXPECT_EQ(Zone(node, 0), "16,8,22,21;7,10");
    // Lower: (8 - 2 + 1, 15 - (6 >> 2) - 2 + 13); upper: (8 + 1 + 1, 15 + 1 - 2 - 13).
    EXPECT_EQ(Zone(node, 1), "7,25,10,31;2,4");
    EXPECT_EQ(Zone(node, 2), "10,1,13,7;2,4");
    // The sign: 26 high about the axis, one margin in from the left.
    EXPECT_EQ(Strokes(), std::vector<std::string>{Sign("1,2,9,28", 8, 1, 0, 2)});
}

TEST_F(eIntegralTest, EightSignsReserveEightWidthsAndTheLowerLimitTucksIntoTheLast) {
    eIntegral* node = Laid(7);
    EXPECT_EQ(node->width(), 1 + 4 + 6 + 64 + 3);
    EXPECT_EQ(node->getChild(1)->m_zone.left, 64 - 2 + 1);
    EXPECT_EQ(node->getChild(2)->m_zone.left, 64 + 1 + 1);
    EXPECT_EQ(node->getChild(0)->m_zone.left, 78 - 6);
    EXPECT_EQ(Strokes(), std::vector<std::string>{Sign("1,2,9,28", 8, 8, 0, 2)});
}

TEST_F(eIntegralTest, SignCountsFollowTheLowBits) {
    for (int32_t n = 0; n < 8; ++n) {
        SCOPED_TRACE(n);
        eIntegral* node = Laid(n);
        EXPECT_EQ(node->width(), 1 + 4 + 6 + 8 * (n + 1) + 3);
    }
}

TEST_F(eIntegralTest, ContourAndSegmentFlagsReachThePort) {
    struct Case {
        int32_t kind;
        uint8_t straight;
        int32_t flags;
    };
    for (const Case& c : {Case{0x10, 0, 1}, Case{0x80, 0, 2}, Case{0x90, 0, 3}, Case{0x00, 1, 0x10},
                          Case{0x91, 1, 0x13}}) {
        SCOPED_TRACE(c.kind);
        IntegralSettings.straightSegments = c.straight;
        Laid(c.kind);
        const std::vector<std::string> strokes = Strokes();
        ASSERT_EQ(strokes.size(), 1u);
        EXPECT_NE(strokes[0].find(" flags=" + std::to_string(c.flags) + " "), std::string::npos)
            << strokes[0];
    }
}

TEST_F(eIntegralTest, EvaluateAtPutsTheIntegrandFirstThenTheBarThenTheLimits) {
    eIntegral* node = Laid(kIntegralEvaluateAt);
    // Bar column 13 / 2 = 6; width 1 + max(0 + 3, 3 - 0) + 6 + 6 + 3 = 19.
    EXPECT_EQ(ZoneText(node->m_zone), "0,0,19,32;15,18");
    EXPECT_EQ(Zone(node, 0), "0,8,6,21;7,10");
    EXPECT_EQ(Zone(node, 1), "12,25,15,31;2,4");
    EXPECT_EQ(Zone(node, 2), "12,1,15,7;2,4");
    // The bar: pen 1 at 6 + (13 >> 2), from the sign's top (2) down to its bottom less the pen.
    const std::vector<std::string> expected = {
        "startDeluxeLine width=1 color=#000000ff style=0 mode=1", "moveTo 9,2", "line 0,25",
        "endLine"};
    EXPECT_EQ(Strokes(), expected);
}

TEST_F(eIntegralTest, LimitsAboveAndBelowTheSign) {
    eIntegral* node = Laid(kIntegralLimitsAboveBelow);
    // Axis 6 + 13 + 1 = 20; height 6 + 2 + 6 + 26 = 40; columns max(3, 3, 8) = 8: left part
    // 4 + 1, right part max(4 + 6 + 3, 4) = 13.
    EXPECT_EQ(ZoneText(node->m_zone), "0,0,18,40;20,23");
    EXPECT_EQ(Zone(node, 0), "12,13,18,26;7,10");
    EXPECT_EQ(Zone(node, 1), "1,34,4,40;2,4");
    EXPECT_EQ(Zone(node, 2), "4,0,7,6;2,4");
    EXPECT_EQ(Strokes(), std::vector<std::string>{Sign("1,7,9,33", 8, 1, 0, 2)});

    node = Laid(kIntegralLimitsAboveBelow | kIntegralEvaluateAt);
    // Bar column 6: left 3 + 1, right max(3 + 6 + 3, 3).
    EXPECT_EQ(node->width(), 16);
    EXPECT_EQ(Zone(node, 0), "0,13,6,26;7,10");
    EXPECT_EQ(Zone(node, 1), "7,34,10,40;2,4");
    EXPECT_EQ(Zone(node, 2), "7,0,10,6;2,4");
}

TEST_F(eIntegralTest, FixedHeightKeepsTheDefaultAndSmallSignsHalveIt) {
    IntegralSettings.fixedHeight = 1;
    IntegralSettings.defaultHeight = 8;
    // Default (2 * 13 * 8) >> 4 = 13 although the integrand asks for 14.
    Laid(0);
    // Sign 6 + 1 + 0 = 7, even 6; axis 2 + max(11, 13 >> 1) = 13, so the sign runs 7..20.
    EXPECT_EQ(Strokes(), std::vector<std::string>{Sign("1,7,7,20", 6, 1, 0, 2)});
    IntegralSettings.fixedHeight = 0;
    Laid(0);
    EXPECT_EQ(Strokes(), std::vector<std::string>{Sign("1,6,7,20", 6, 1, 0, 2)});

    IntegralSettings.fixedHeight = 1;
    IntegralSettings.defaultHeight = 16;
    eIntegral* node = Laid(kIntegralSmallSign);
    EXPECT_EQ(node->signHeight(false), 13);
    node = Laid(0);
    EXPECT_EQ(node->signHeight(false), 26);
}

TEST_F(eIntegralTest, QuantisedHeightsAlwaysGainOverTheMultipleBelow) {
    IntegralSettings.quantiseHeight = 1;
    // 26 is already twice the size: it becomes 39.
    eIntegral* node = Laid(0);
    EXPECT_EQ(node->signHeight(false), 39);
    EXPECT_EQ(node->signHeight(true), 39);
    IntegralSettings.defaultHeight = 8;
    // max(13, 14) = 14 becomes 26.
    node = Laid(0);
    EXPECT_EQ(node->signHeight(false), 26);
}

TEST_F(eIntegralTest, ATallLimitGrowsTheLayoutButNotTheDrawnSign) {
    // Upper limit "b" at an absolute 48 pt: height 54, axis 26, so it asks for 2 * 28 = 56.
    eIntegral* node = Laid(0, SizedStyle(48));
    EXPECT_EQ(node->signHeight(true), 56);
    EXPECT_EQ(node->signHeight(false), 26);
    // Axis 26 + max(7 - 26 + 54, 28) = 61; the drawn sign is 26 high about it and
    // 6 + 1 + (26 >> 4) = 8 wide.
    EXPECT_EQ(node->m_zone.ref1, 61);
    EXPECT_EQ(Strokes(), std::vector<std::string>{Sign("1,48,9,74", 8, 1, 0, 2)});
}

TEST_F(eIntegralTest, RemovingTheInnerSpaceClosesTheGap) {
    IntegralSettings.removeInnerSpace = 1;
    eIntegral* node = Laid(0);
    EXPECT_EQ(node->width(), 22 - 3);
}

TEST_F(eIntegralTest, CodesRoundTripAndTheLimitsStaySmaller) {
    for (int32_t code : {0x2003, 0x2073, 0x2083, 0x2203, 0x2FF3}) {
        char name[16];
        std::snprintf(name, sizeof name, "0x%04X", code);
        SCOPED_TRACE(name);
        ExprPtr node = NewTemplateFromCode(code);
        auto* integral = dynamic_cast<eIntegral*>(node.get());
        ASSERT_NE(integral, nullptr);
        EXPECT_EQ(integral->childCount(), 3);
        EXPECT_EQ(integral->m_kind, TemplateKindOf(code));
        int32_t back = -1;
        EXPECT_TRUE(integral->getTemplateCode(back));
        EXPECT_EQ(back, code);
        EXPECT_EQ(integral->childSizeStep(0), 0);
        EXPECT_EQ(integral->childSizeStep(1), -4);
        EXPECT_EQ(integral->childSizeStep(2), -4);
    }
    EXPECT_EQ(NewTemplateFromCode(0x2001), nullptr);
    EXPECT_EQ(NewTemplateFromCode(0x2004), nullptr);
    // The factory's own kind: one plain sign.
    EXPECT_EQ(NewIntegral(3, nullptr, nullptr, nullptr)->m_kind, 0);
}

TEST_F(eIntegralTest, AnIntegralWithEmptySlotsLaysOutAndDraws) {
    root = NewSimpString(1);
    auto* node = static_cast<eIntegral*>(root->setChild(0, NewTemplateFromCode(0x2013)));
    node->setChild(0, Row("x", SizedStyle(12)));
    Measure(root.get());
    EXPECT_EQ(node->m_size, 13);
    // No limits: axis max(7 + 0, 0 + 13) = 13, height 13 + max(6, 13) = 26.
    EXPECT_EQ(node->m_zone.ref1, 13);
    EXPECT_EQ(node->height(), 26);
    EXPECT_EQ(Strokes().size(), 1u);
}

TEST_F(eIntegralTest, ACopyKeepsTheKindAndOwnsNewChildren) {
    OwnedNode<eIntegral> node =
        NewIntegral(3, Row("x", SizedStyle(12)), Row("a", Inherited()), Row("b", Inherited()));
    node->m_kind = 0x93;
    ExprPtr copy = node->deepCopy();
    auto* c = dynamic_cast<eIntegral*>(copy.get());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->m_kind, 0x93);
    for (int32_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ASSERT_NE(c->getChild(i), nullptr);
        EXPECT_NE(c->getChild(i), node->getChild(i));
        EXPECT_EQ(c->getChild(i)->m_parent, c);
    }
}

} // namespace
} // namespace kvtest
