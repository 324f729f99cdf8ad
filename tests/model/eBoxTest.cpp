#include "OverSrcs/eBox.h"

#include "model/eFractionFixture.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

class eBoxTest : public TemplateTest {};

struct BoxCase {
    int32_t kind;
    const char* text;
    int32_t resolution;
};

class BoxLayout : public eBoxTest, public ::testing::WithParamInterface<BoxCase> {};

TEST_P(BoxLayout, FramesTheChildWithItsShadowAndQuantisedSize) {
    const BoxCase& c = GetParam();
    SCOPED_TRACE("kind " + std::to_string(c.kind) + " resolution " + std::to_string(c.resolution));
    port->setPortResolution(c.resolution);
    OwnedNode<eBox> box = NewBox(WordRow(c.text, 12));
    box->m_kind = c.kind;
    Measure(box.get());
    const eExpr* child = box->getChild(0);
    const int32_t cw = child->width(), ch = child->height(), ca = child->m_zone.ref1;
    const int32_t s = child->m_size;
    const int32_t table[16] = {1, 2, 3, 4, 6, 8, 10, 12, 14, 16, 20, 24, 28, 32, 40, 48};
    const int32_t w = std::max(1, (c.resolution * table[c.kind & 15] + 32) >> 6);
    const int32_t q = ((s * 9) >> 3) + 2;
    int32_t width = (c.kind & 0x80) ? (cw + q) / q * q : cw + (s >> 2);
    int32_t height, A;
    if (c.kind & 0x40) {
        const int32_t h = q >> 1;
        A = (std::max(ch - ca, ca) + h) / h * h;
        height = 2 * A;
    } else {
        height = ch + (s >> 2);
        A = ca + (s >> 3);
    }
    width += 4 * w, height += 4 * w, A += 2 * w;
    const bool shadow = (c.kind & 0x10) != 0, left = shadow && (c.kind & 0x20) != 0;
    EXPECT_EQ(child->m_zone.left, ((width - cw) >> 1) + (left ? 2 * w : 0));
    EXPECT_EQ(child->m_zone.top, A - ca);
    if (shadow)
        width += 2 * w, height += 2 * w;
    EXPECT_EQ(ZoneText(box->m_zone),
              ZoneText(Zone{0, 0, width, height, A, A - ca + child->m_zone.ref2}));

    const int32_t X = 7, Y = 9;
    int32_t l = X + w, t = Y + w, r = X + width - w, b = Y + height - w;
    std::vector<std::string> expected;
    if (shadow) {
        b -= 2 * w;
        expected.push_back(Line(2 * w));
        if (!left) {
            r -= 2 * w;
            expected.push_back(Pt("moveTo", l + 2 * w, b));
            expected.push_back(Pt("lineTo", r, b));
            expected.push_back(Pt("lineTo", r, t + 2 * w));
        } else {
            l += 2 * w;
            expected.push_back(Pt("moveTo", r - 4 * w, b));
            expected.push_back(Pt("lineTo", l - 2 * w, b));
            expected.push_back(Pt("lineTo", l - 2 * w, t + 2 * w));
        }
        expected.push_back("endLine");
    }
    expected.push_back("frameZone " + ZoneText(Zone{l, t, r, b, 0, 0}) +
                       " width=" + std::to_string(w) + " color=#000000ff style=0 mode=1");
    EXPECT_EQ(DrawStrokes(box.get(), X, Y), expected);
}

INSTANTIATE_TEST_SUITE_P(Kinds, BoxLayout,
                         ::testing::Values(BoxCase{0x00, "x", 16}, BoxCase{0x03, "abc", 16},
                                           BoxCase{0x13, "abc", 16}, BoxCase{0x33, "abc", 16},
                                           BoxCase{0x40, "y", 16}, BoxCase{0x80, "wide", 16},
                                           BoxCase{0xC5, "mi", 16}, BoxCase{0x0F, "z", 16},
                                           BoxCase{0x37, "q", 64}, BoxCase{0xD3, "Mn", 21}));

TEST_F(eBoxTest, QuantisedBoxesAroundSlightlyDifferentChildrenHaveOneSize) {
    // "xi" and "xr" are 9 and 10 twelfths of an em wide; both fit one quantum.
    OwnedNode<eBox> a = NewBox(WordRow("xi", 12));
    OwnedNode<eBox> b = NewBox(WordRow("xr", 12));
    a->m_kind = b->m_kind = 0xC2;
    Measure(a.get());
    Measure(b.get());
    ASSERT_NE(a->getChild(0)->width(), b->getChild(0)->width());
    EXPECT_EQ(a->width(), b->width());
    EXPECT_EQ(a->height(), b->height());
}

TEST_F(eBoxTest, AShadowAddsTwoLineWidthsAndALeftShadowMovesTheChild) {
    OwnedNode<eBox> plain = NewBox(WordRow("k", 12));
    OwnedNode<eBox> right = NewBox(WordRow("k", 12));
    OwnedNode<eBox> left = NewBox(WordRow("k", 12));
    plain->m_kind = 0x05;
    right->m_kind = 0x15;
    left->m_kind = 0x35;
    for (eBox* b : {plain.get(), right.get(), left.get()})
        Measure(b);
    const int32_t w = plain->lineWidth(16, false);
    EXPECT_EQ(w, (16 * 6 + 32) >> 6);
    EXPECT_EQ(right->width(), plain->width() + 2 * w);
    EXPECT_EQ(right->height(), plain->height() + 2 * w);
    EXPECT_EQ(right->getChild(0)->m_zone.left, plain->getChild(0)->m_zone.left);
    EXPECT_EQ(left->getChild(0)->m_zone.left, plain->getChild(0)->m_zone.left + 2 * w);
}

TEST_F(eBoxTest, TheThinnestFrameIsOneUnitAndMagnificationDoublesIt) {
    OwnedNode<eBox> box = NewBox(nullptr);
    box->m_kind = 0;
    EXPECT_EQ(box->lineWidth(16, false), 1); // (16 + 32) >> 6 = 0
    box->m_kind = 3;
    EXPECT_EQ(box->lineWidth(16, false), 1); // (64 + 32) >> 6
    EXPECT_EQ(box->lineWidth(16, true), 2);  // (128 + 32) >> 6
    box->m_kind = 15;
    EXPECT_EQ(box->lineWidth(96, false), (96 * 48 + 32) >> 6);
}

} // namespace
} // namespace kvtest
