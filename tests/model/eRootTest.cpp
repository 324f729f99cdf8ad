#include "OverSrcs/eRoot.h"

#include "model/eFractionFixture.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

class eRootTest : public TemplateTest {};

struct RootCase {
    const char* radicand;
    int32_t points;
    const char* index; // null: an empty index row
    int32_t weight;
    int32_t hook;
};

class RootLayout : public eRootTest, public ::testing::WithParamInterface<RootCase> {};

TEST_P(RootLayout, PlacesRadicandAndIndexAndDrawsTheSignAndVinculum) {
    const RootCase& c = GetParam();
    SCOPED_TRACE(std::string(c.radicand) + " index " + (c.index ? c.index : "(empty)") + " hook " +
                 std::to_string(c.hook));
    RootSettings.strokeWeight = c.weight;
    RootSettings.rightHook = c.hook;
    OwnedNode<eRoot> root = NewRoot(WordRow(c.radicand, c.points),
                                    c.index ? WordRow(c.index, 9) : ExprPtr(NewSimpString(0)));
    Measure(root.get());
    const eExpr* rad = root->getChild(0);
    const eExpr* idx = root->getChild(1);
    ASSERT_EQ(rad->width(), ExpectedWidth(c.radicand, c.points, 16));
    const int32_t s = rad->m_size;
    EXPECT_EQ(root->m_size, s);
    const int32_t r = std::max(1, (s * c.weight + 64) / 128);
    const int32_t g = 2 * r;
    const int32_t m = std::max((rad->height() + 1) / 2 + g, g + idx->height());
    const int32_t H = 2 * m;
    const int32_t iw = std::max(H / 4 + g, idx->width());
    const int32_t e = H / 8;
    const int32_t width = H / 4 + 3 * e + rad->width() + iw;
    EXPECT_EQ(ZoneText(root->m_zone),
              ZoneText(Zone{0, 0, width, H, H - rad->height() + rad->m_zone.ref1,
                            H - rad->height() + rad->m_zone.ref2}));
    EXPECT_EQ(rad->m_zone.left, width - rad->width() - e);
    EXPECT_EQ(rad->m_zone.top, H - rad->height());
    EXPECT_EQ(idx->m_zone.left, (iw - idx->width()) / 2 + e);
    EXPECT_EQ(idx->m_zone.top, (m - idx->height()) / 2);

    const int32_t L = 50, T = 10, B = T + H, R = L + width;
    const int32_t x0 = L + rad->m_zone.left;
    std::vector<std::string> expected = {Line(r)};
    if (c.hook != 0) {
        expected.push_back(Pt("moveTo", R - r, T + ((c.hook * H * 3) >> 5)));
        expected.push_back(Pt("lineTo", R - r, T));
    } else {
        expected.push_back(Pt("moveTo", R - r, T));
    }
    expected.push_back(Pt("lineTo", x0, T));
    expected.push_back("endLine");
    const int32_t xs = x0 - H / 3, xb = xs - H / 6, d = (3 * r) >> 2;
    int32_t px[9], py[9];
    px[0] = x0 - std::max(1, d), py[0] = T;
    px[1] = xs + d, py[1] = B - ((18 * r) >> 2);
    px[2] = xb + d, py[2] = T + H / 2;
    px[3] = std::min((((px[2] - px[1]) * 3) >> 3) + 2 * xb - px[2], xb - (px[1] - px[2]) / 2);
    if (px[3] == px[2])
        ++px[3];
    if (px[1] == px[0])
        ++px[1];
    py[3] = ((py[1] - T) / (px[1] - px[0])) * (px[3] - px[2]) + py[2];
    px[4] = px[3] + 1, py[4] = py[3] + 1;
    px[5] = xb, py[5] = T + H / 2 + ((18 * r) >> 2);
    px[6] = xs, py[6] = B;
    px[7] = x0, py[7] = T + r;
    px[8] = x0, py[8] = T;
    std::string polygon = "paintPolygon n=9";
    for (int i = 0; i < 9; ++i) {
        polygon += ' ';
        polygon += std::to_string(px[i]) + "," + std::to_string(py[i]);
    }
    expected.push_back(polygon + " fill=#000000ff mode=1 outline=0 extra=0");
    EXPECT_EQ(DrawStrokes(root.get(), L, T), expected);
    // The sign stays left of the radicand and inside the node.
    EXPECT_GE(std::min({px[0], px[1], px[2], px[3], px[5], px[6]}), L);
}

INSTANTIATE_TEST_SUITE_P(Cases, RootLayout,
                         ::testing::Values(RootCase{"x", 12, nullptr, 4, 1},
                                           RootCase{"x", 12, "3", 4, 0},
                                           RootCase{"abc", 40, "n", 4, 2},
                                           RootCase{"y", 24, "wide", 16, 1},
                                           RootCase{"q", 12, nullptr, 1, 2}));

TEST_F(eRootTest, AnEmptyIndexKeepsItsColumnAndOnlyTheIndexIsSmaller) {
    OwnedNode<eRoot> withEmpty = NewRoot(WordRow("x", 12), NewSimpString(0));
    OwnedNode<eRoot> without = NewRoot(WordRow("x", 12), nullptr);
    Measure(withEmpty.get());
    Measure(without.get());
    const int32_t H = without->height();
    const int32_t g = 2 * std::max(1, (without->m_size * 4 + 64) / 128);
    EXPECT_EQ(without->width(), H / 4 + 3 * (H / 8) + withEmpty->getChild(0)->width() + H / 4 + g);
    EXPECT_GE(withEmpty->width(), without->width());
    RootSettings.indexSize = 4;
    EXPECT_EQ(without->childSizeStep(0), 0);
    EXPECT_EQ(without->childSizeStep(1), -4);
    RootSettings.indexSize = -2;
    EXPECT_EQ(without->childSizeStep(1), 2);
}

TEST_F(eRootTest, ACopyKeepsItsRowsApartFromTheOriginal) {
    OwnedNode<eRoot> root = NewRoot(WordRow("x", 12), WordRow("n", 9));
    ExprPtr copy = CopyExpr(root.get());
    ASSERT_NE(dynamic_cast<eRoot*>(copy.get()), nullptr);
    EXPECT_NE(copy->getChild(1), root->getChild(1));
    root.reset();
    Measure(copy.get());
    EXPECT_EQ(copy->getChild(1)->height(), ExpectedMetrics(9, 16).h);
}

} // namespace
} // namespace kvtest
