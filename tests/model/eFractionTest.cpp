#include "OverSrcs/eFraction.h"

#include "OverSrcs/eBox.h"
#include "OverSrcs/eLongDivision.h"
#include "OverSrcs/eOverstrike.h"
#include "OverSrcs/eRoot.h"
#include "model/eFractionFixture.h"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

// A child's figures as the fraction layouts name them, read from the measured child.
struct Kid {
    int32_t W, H, A, C, D;
};
Kid KidOf(const eExpr* c) {
    return Kid{c->width(), c->height(), c->m_zone.ref1, c->m_zone.ref2,
               c->height() - c->m_zone.ref1};
}

class eFractionTest : public TemplateTest {};

struct StackedCase {
    const char* num;
    const char* den;
    int32_t numPoints;
    int32_t denPoints;
    int32_t barSetting;
    int32_t gapSetting;
};

class StackedFraction : public eFractionTest, public ::testing::WithParamInterface<StackedCase> {};

TEST_P(StackedFraction, CentresBothRowsAroundABarOnTheAxis) {
    const StackedCase& c = GetParam();
    SCOPED_TRACE(std::string(c.num) + "/" + c.den);
    TypesettingSettings.fractionBarThickness = c.barSetting;
    TypesettingSettings.fractionDistance = c.gapSetting;
    OwnedNode<eFraction> f = NewFraction(WordRow(c.num, c.numPoints), WordRow(c.den, c.denPoints));
    Measure(f.get());
    const Kid n = KidOf(f->getChild(0));
    const Kid d = KidOf(f->getChild(1));
    // The children are the one-word rows the port's rule describes.
    ASSERT_EQ(n.W, ExpectedWidth(c.num, c.numPoints, 16));
    ASSERT_EQ(d.H, ExpectedMetrics(c.denPoints, 16).h);
    const int32_t s = f->getChild(0)->m_size;
    EXPECT_EQ(f->m_size, s);

    const int32_t t = std::max(1, (s * c.barSetting + 64) / 128);
    const int32_t gap = std::max(1, (s * c.gapSetting + 32) / 64);
    const int32_t bottom = d.H + 2 * gap + n.H + t;
    const int32_t right = std::max(n.W, d.W) + 2 * t + s / 8;
    const int32_t axis = t / 2 + n.H + gap;
    EXPECT_EQ(ZoneText(f->m_zone), ZoneText(Zone{0, 0, right, bottom, axis, d.C - d.H + bottom}));
    EXPECT_EQ(f->getChild(0)->m_zone.left, (right - n.W) / 2);
    EXPECT_EQ(f->getChild(0)->m_zone.top, 0);
    EXPECT_EQ(f->getChild(1)->m_zone.left, (right - d.W) / 2);
    EXPECT_EQ(f->getChild(1)->m_zone.top, bottom - d.H);
    // The bar lies between the two rows.
    EXPECT_LT(n.H, axis);
    EXPECT_GT(bottom - d.H, axis);

    const std::vector<std::string> expected = {Line(t), Pt("moveTo", 100 + t, 40 + axis - t / 2),
                                               Pt("line", right - 3 * t, 0), "endLine"};
    EXPECT_EQ(DrawStrokes(f.get(), 100, 40), expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, StackedFraction,
                         ::testing::Values(StackedCase{"x", "y", 12, 12, 4, 8},
                                           StackedCase{"abc", "d", 40, 40, 4, 8},
                                           StackedCase{"m", "wide", 18, 12, 1, 0},
                                           StackedCase{"a", "bb", 12, 24, 16, 20}));

TEST_F(eFractionTest, ThicknessesOfASmallFractionStayAtOne) {
    // Size 13 (a 12-point row's height): (13 × 4 + 64) / 128 = 0 and the gap setting 0 both
    // floor at 1.
    TypesettingSettings.fractionDistance = 0;
    OwnedNode<eFraction> f = NewFraction(WordRow("1", 12), WordRow("2", 12));
    Measure(f.get());
    ASSERT_EQ(f->m_size, ExpectedMetrics(12, 16).h);
    EXPECT_EQ(f->barThickness(), 1);
    const int32_t h = ExpectedMetrics(12, 16).h;
    EXPECT_EQ(f->height(), h + 2 * 1 + h + 1);
    const std::vector<std::string> strokes = DrawStrokes(f.get(), 0, 0);
    ASSERT_FALSE(strokes.empty());
    EXPECT_EQ(strokes[0], Line(1));
}

struct BarCase {
    int32_t kind;
    const char* num;
    const char* den;
    int32_t numPoints;
    int32_t denPoints;
};

class SlantedFraction : public eFractionTest, public ::testing::WithParamInterface<BarCase> {};

TEST_P(SlantedFraction, PlacesTheCornersAndDrawsTheStrokeOfItsStyle) {
    const BarCase& c = GetParam();
    SCOPED_TRACE("style " + std::to_string(c.kind));
    OwnedNode<eFraction> f = NewFraction(WordRow(c.num, c.numPoints), WordRow(c.den, c.denPoints));
    f->m_kind = c.kind;
    Measure(f.get());
    const Kid n = KidOf(f->getChild(0));
    const Kid d = KidOf(f->getChild(1));
    const int32_t s = f->m_size;
    const int32_t t = std::max(1, (s * 4 + 64) / 128);
    int32_t bottom = 3 * t + d.H + n.H;
    int32_t right = d.W + 3 * t + n.W;
    const int32_t small = std::min(n.D, d.D) + std::min(n.A, d.A);
    if (c.kind == 2) {
        bottom -= small / 2;
        right += small / 2 * 8 / 20;
    } else if (c.kind == 5) {
        bottom = std::max(n.D, d.D) + std::max(n.A, d.A);
        right += small * 8 / 30;
    } else if (c.kind == 6) {
        bottom += right / 3 * 3 / 8;
        right -= right / 3;
    } else if (c.kind == 7) {
        bottom -= small * 7 / 8;
        right += small * 7 / 8 * 8 / 24;
    }
    const int32_t baseline = bottom - d.H + d.C;
    EXPECT_EQ(ZoneText(f->m_zone),
              ZoneText(Zone{0, 0, right, bottom, (bottom - d.H + n.A + d.A) / 2, baseline}));
    EXPECT_EQ(f->getChild(0)->m_zone.left, 0);
    EXPECT_EQ(f->getChild(0)->m_zone.top, 0);
    EXPECT_EQ(f->getChild(1)->m_zone.left, right - d.W);
    EXPECT_EQ(f->getChild(1)->m_zone.top, bottom - d.H);

    const int32_t L = 30, T = 20, R = L + right, B = T + bottom, H = bottom, W = right;
    const int32_t K = R - 2 * t - d.W;
    int32_t x1 = 0, y1 = 0, x2 = 0, y2 = T;
    switch (c.kind) {
    case 2:
        x1 = K - d.H * 8 / 20, y1 = T + baseline - t, x2 = std::min(K + (H - d.H) * 8 / 20, R - t);
        break;
    case 7:
        x1 = K - d.H * 8 / 24, y1 = T + baseline - t, x2 = K + (H - d.H) * 8 / 24;
        break;
    case 6:
        x1 = L, y1 = B - 2 * t - d.H + 3 * (W - d.W) / 8, x2 = R - t;
        y2 = B - 2 * t - d.H - 3 * d.W / 8;
        break;
    case 5:
        x1 = L + n.W + t, y1 = T + baseline - t, x2 = x1 + H * 8 / 30;
        break;
    }
    const std::vector<std::string> expected = {Line(t), Pt("moveTo", x1, y1), Pt("lineTo", x2, y2),
                                               "endLine"};
    EXPECT_EQ(DrawStrokes(f.get(), L, T), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, SlantedFraction,
    ::testing::Values(BarCase{6, "a", "b", 12, 12}, BarCase{6, "wide", "x", 24, 12},
                      BarCase{2, "1", "2", 12, 12}, BarCase{2, "abc", "q", 40, 12},
                      BarCase{7, "1", "2", 12, 12}, BarCase{7, "n", "mm", 18, 24},
                      BarCase{5, "a", "b", 12, 12}, BarCase{5, "x", "yz", 12, 30}));

TEST_F(eFractionTest, AnInlineFractionIsAsTallAsItsTallerLine) {
    OwnedNode<eFraction> f = NewFraction(WordRow("a", 12), WordRow("b", 30));
    f->m_kind = kFractionHorizontal;
    Measure(f.get());
    const int32_t tall = f->getChild(1)->height();
    EXPECT_EQ(f->height(), tall);
    EXPECT_LT(f->height(), f->getChild(0)->height() + tall);
}

TEST_F(eFractionTest, OnlyTheSlantedStyleDrawsItsChildrenSmaller) {
    // Words that inherit their size follow the size steps of their template.
    const FSSRecord inherit = SizedStyle(kSizeInherit);
    for (int32_t kind : {1, 2, 5, 6, 7}) {
        SCOPED_TRACE(kind);
        OwnedNode<eFraction> f = NewFraction(NewSimpStringWith(NewWord("a", 0, inherit, 0)),
                                             NewSimpStringWith(NewWord("b", 0, inherit, 0)));
        f->m_kind = kind;
        TypesettingSettings.fractionSize = 3;
        Measure(f.get());
        const int32_t expected = kind == 2 ? StepSizeBy(BaseStyleSize(), -3) : BaseStyleSize();
        EXPECT_EQ(f->childSizeStep(0), kind == 2 ? -3 : 0);
        EXPECT_EQ(f->getChild(1)->childSizeStep(0), 0);
        const eExpr* word = f->getChild(1)->getChild(0);
        EXPECT_EQ(word->height(), ExpectedMetrics(expected, 16).h);
    }
}

struct CodeCase {
    int32_t code;
    const char* made; // class name, or null when no node is made
};

class FamilyCodes : public eFractionTest, public ::testing::WithParamInterface<CodeCase> {};

const char* ClassOf(const eExpr* node) {
    if (dynamic_cast<const eFraction*>(node))
        return "eFraction";
    if (dynamic_cast<const eRoot*>(node))
        return "eRoot";
    if (dynamic_cast<const eOverstrike*>(node))
        return "eOverstrike";
    if (dynamic_cast<const eLongDivision*>(node))
        return "eLongDivision";
    if (dynamic_cast<const eBox*>(node))
        return "eBox";
    return "other";
}

TEST_P(FamilyCodes, MakeTheirClassAndReportTheSameCode) {
    const CodeCase& c = GetParam();
    char name[16];
    std::snprintf(name, sizeof name, "0x%04X", c.code);
    SCOPED_TRACE(name);
    ExprPtr node = NewTemplateFromCode(c.code);
    if (c.made == nullptr) {
        EXPECT_EQ(node, nullptr);
        return;
    }
    ASSERT_NE(node, nullptr);
    EXPECT_STREQ(ClassOf(node.get()), c.made);
    EXPECT_EQ(node->childCount(), TemplateSlotsOf(c.code));
    for (int32_t i = 0; i < node->childCount(); ++i)
        EXPECT_EQ(node->getChild(i), nullptr);
    int32_t code = -1;
    ASSERT_TRUE(static_cast<eTemplate*>(node.get())->getTemplateCode(code));
    EXPECT_EQ(code, c.code);
    // Fractions and boxes have Modify dialogs of their own; the others are plain templates.
    const std::string made = c.made;
    EXPECT_EQ(node->change(true), made == "eFraction" ? 8 : made == "eBox" ? 11 : 5);
    // An empty template still lays out and draws.
    Measure(node.get());
    DrawStrokes(node.get(), 5, 5);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FamilyCodes,
    ::testing::Values(CodeCase{0x0012, "eFraction"}, CodeCase{0x0022, "eFraction"},
                      CodeCase{0x0052, "eFraction"}, CodeCase{0x0062, "eFraction"},
                      CodeCase{0x0072, "eFraction"}, CodeCase{0x0032, "eRoot"},
                      CodeCase{0x0042, "eOverstrike"}, CodeCase{0x0084, "eLongDivision"},
                      CodeCase{0x7001, "eBox"}, CodeCase{0x7131, "eBox"}, CodeCase{0x7FF1, "eBox"},
                      CodeCase{0x0002, nullptr}, CodeCase{0x0013, nullptr},
                      CodeCase{0x0092, nullptr}, CodeCase{0x0082, nullptr},
                      CodeCase{0x0033, nullptr}, CodeCase{0x7002, nullptr},
                      CodeCase{0x7010, nullptr}));

TEST_F(eFractionTest, FactoriesReportTheCodesOfTheirClasses) {
    int32_t code = 0;
    ASSERT_TRUE(NewFraction(nullptr, nullptr)->getTemplateCode(code));
    EXPECT_EQ(code, 0x12);
    ASSERT_TRUE(NewRoot(nullptr, nullptr)->getTemplateCode(code));
    EXPECT_EQ(code, 0x32);
    ASSERT_TRUE(NewOverstrike(nullptr, nullptr)->getTemplateCode(code));
    EXPECT_EQ(code, 0x42);
    ASSERT_TRUE(NewLongDivision(nullptr, nullptr, nullptr, nullptr)->getTemplateCode(code));
    EXPECT_EQ(code, 0x84);
    OwnedNode<eBox> box = NewBox(nullptr);
    box->m_kind = 0x5A;
    ASSERT_TRUE(box->getTemplateCode(code));
    EXPECT_EQ(code, 0x75A1);
}

TEST_F(eFractionTest, ACopyOwnsItsOwnChildrenAndOutlivesTheOriginal) {
    OwnedNode<eFraction> f = NewFraction(WordRow("p", 12), WordRow("q", 12));
    f->m_kind = kFractionNearlyFlat;
    f->m_colour = 0x1C;
    ExprPtr copy = CopyExpr(f.get());
    auto* c = dynamic_cast<eFraction*>(copy.get());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->m_kind, kFractionNearlyFlat);
    EXPECT_EQ(c->m_colour, 0x1C);
    EXPECT_EQ(c->m_parent, nullptr);
    for (int32_t i = 0; i < 2; ++i) {
        ASSERT_NE(c->getChild(i), nullptr);
        EXPECT_NE(c->getChild(i), f->getChild(i));
        EXPECT_EQ(c->getChild(i)->m_parent, c);
    }
    s_destroyed.clear();
    f.reset();
    // The fraction, its two rows and their words.
    EXPECT_EQ(s_destroyed.size(), 5u);
    Measure(c);
    int32_t code = 0;
    ASSERT_TRUE(c->getTemplateCode(code));
    EXPECT_EQ(code, 0x72);
    EXPECT_GT(c->width(), 0);
}

} // namespace
} // namespace kvtest
