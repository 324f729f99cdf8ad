#include "OverSrcs/eLongDivision.h"

#include "model/eFractionFixture.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

class eLongDivisionTest : public TemplateTest {};

struct DivisionCase {
    const char* texts[4]; // dividend, divisor, quotient, working; null: an empty row
    int32_t points;
};

ExprPtr RowOrEmpty(const char* text, int32_t points) {
    return text ? WordRow(text, points) : ExprPtr(NewSimpString(0));
}

class LongDivisionLayout : public eLongDivisionTest,
                           public ::testing::WithParamInterface<DivisionCase> {};

TEST_P(LongDivisionLayout, PlacesTheFourRowsAndDrawsOverlineAndBracket) {
    const DivisionCase& c = GetParam();
    OwnedNode<eLongDivision> node =
        NewLongDivision(RowOrEmpty(c.texts[0], c.points), RowOrEmpty(c.texts[1], c.points),
                        RowOrEmpty(c.texts[2], c.points), RowOrEmpty(c.texts[3], c.points));
    Measure(node.get());
    int32_t W[4], H[4], A[4], C[4];
    for (int32_t i = 0; i < 4; ++i) {
        const eExpr* k = node->getChild(i);
        ASSERT_TRUE(k->isLaidOut()) << i;
        W[i] = k->width(), H[i] = k->height(), A[i] = k->m_zone.ref1, C[i] = k->m_zone.ref2;
    }
    const int32_t s0 = node->getChild(0)->m_size;
    EXPECT_EQ(node->m_size, s0);
    const int32_t maxD = std::max(H[0] - A[0], H[1] - A[1]);
    const int32_t maxA = std::max(A[0], A[1]);
    const int32_t w = (maxD + maxA) / 8 + s0 / 4;
    const int32_t bottom = s0 / 2 + H[3] + H[2] + maxD + 2 + maxA;
    const int32_t right = std::max({W[3], W[2], W[0]}) + W[1] + w;
    const int32_t axis = s0 / 4 + H[2] + 2 + maxA;
    EXPECT_EQ(ZoneText(node->m_zone),
              ZoneText(Zone{0, 0, right, bottom, axis, bottom - H[3] + C[3]}));
    const int32_t at[4][2] = {
        {W[1] + w, axis - A[0]}, {0, axis - A[1]}, {W[1] + w, 0}, {W[1] + w, bottom - H[3]}};
    for (int32_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(node->getChild(i)->m_zone.left, at[i][0]);
        EXPECT_EQ(node->getChild(i)->m_zone.top, at[i][1]);
    }

    const int32_t L = 20, T = 30;
    const int32_t t = std::max(1, s0 / 16);
    const int32_t y0 = T + H[2] + 2 * t;
    // The bracket runs from the overline down past the lower of dividend and divisor.
    const int32_t yB = T + std::max(at[0][1] + H[0], at[1][1] + H[1]) + t;
    const int32_t x0 = L + W[1];
    const int32_t xd = L + W[1] + w;
    const Zone bracket{(xd + 3 * x0) / 4, y0, (x0 + 3 * xd) / 4, (y0 + yB) / 2, 0, 0};
    if (c.texts[0] != nullptr) {
        EXPECT_GT(bracket.bottom, bracket.top + t) << "the bracket must span the dividend";
    }
    Zone below = bracket;
    below.top = bracket.bottom;
    below.bottom = bracket.bottom + (bracket.bottom - bracket.top);
    const std::string tw = " width=" + std::to_string(t);
    const std::vector<std::string> expected = {
        Line(t),
        Pt("moveTo", L + right - t, y0),
        Pt("lineTo", bracket.left, y0),
        "endLine",
        "paintHorn " + ZoneText(bracket) + tw + " direction=3 vertical=1",
        "paintHorn " + ZoneText(bracket) + tw + " direction=1 vertical=0",
        "paintHorn " + ZoneText(below) + tw + " direction=2 vertical=0"};
    EXPECT_EQ(DrawStrokes(node.get(), L, T), expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, LongDivisionLayout,
                         ::testing::Values(DivisionCase{{"1234", "7", "176", "7"}, 12},
                                           DivisionCase{{"x", "abc", "q", "working"}, 24},
                                           DivisionCase{{"56", nullptr, nullptr, nullptr}, 12},
                                           DivisionCase{{nullptr, nullptr, nullptr, nullptr}, 12},
                                           DivisionCase{{"1", "2", "3", "4"}, 40}));

TEST_F(eLongDivisionTest, NullSlotsAreLeftEmptyWithoutHarm) {
    OwnedNode<eLongDivision> node = NewLongDivision(WordRow("9", 12), nullptr, nullptr, nullptr);
    Measure(node.get());
    EXPECT_EQ(node->getChild(0)->m_zone.left, node->m_size / 4 + node->getChild(0)->height() / 8);
    EXPECT_FALSE(DrawStrokes(node.get(), 0, 0).empty());
    ExprPtr copy = CopyExpr(node.get());
    s_destroyed.clear();
    node.reset();
    EXPECT_EQ(s_destroyed.size(), 3u); // the template, its one row and the row's word
    int32_t code = 0;
    ASSERT_TRUE(static_cast<eTemplate*>(copy.get())->getTemplateCode(code));
    EXPECT_EQ(code, 0x84);
}

} // namespace
} // namespace kvtest
