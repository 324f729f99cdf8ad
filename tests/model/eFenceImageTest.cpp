// Delimiters of every type, over- and under-braces, integrals and every embellishment drawn
// through a native port into a bitmap with the pinned fonts, compared with a reference image.
// Regenerate (after looking at the new image) with
//   KV_UPDATE_GOLDEN=1 ./build/tests/kv_model_tests --gtest_filter='*FenceTemplatesMatch*'
#include "OverPc/PFONTS.h"
#include "OverSrcs/eFence.h"
#include "OverSrcs/eIntegral.h"
#include "OverSrcs/eMark.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/oWindows.h"
#include "model/ImageFixture.h"
#include "model/ModelFixture.h"
#include "plat/Gdi.h"
#include "support/BitmapPort.h"
#include "support/Golden.h"

#include <algorithm>
#include <cairo.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

class FenceImageTest : public ImageTest<ModelTest> {
protected:
    void SetUp() override {
        ImageTest::SetUp();
        RegisterFenceTemplates();
    }
    // A row of one italic word whose size follows the template it sits in.
    static OwnedNode<eSimpString> Row(const std::string& text) {
        FSSRecord style;
        InitFSSRecord(style);
        style.setItalicMode(kItalicLetters);
        style.style[kStyleItalic] = 1;
        OwnedNode<eSimpString> row = NewSimpString(1);
        row->setChild(0, NewWord(text, 0, style, 0));
        return row;
    }
    static ExprPtr InRow(ExprPtr node) { return NewSimpStringWith(std::move(node)); }
    static ExprPtr Fence(int32_t kind, ExprPtr child) { return NewFence(std::move(child), kind); }
    static ExprPtr Integral(int32_t kind, const char* f, const char* a, const char* b) {
        OwnedNode<eIntegral> node = NewIntegral(3, Row(f), Row(a), Row(b));
        node->m_kind = kind;
        return node;
    }
    static ExprPtr Mark(int32_t kind, const char* text) { return NewMark(Row(text), kind); }
};

TEST_F(FenceImageTest, FenceTemplatesMatchTheirReferenceImage) {
    BitmapPort port(720, 480, 21);
    std::vector<ExprPtr> nodes;
    // Every delimiter pair around a letter, then around a tall integral, so the stretching shows.
    for (int32_t type = kDelimParen; type <= kDelimDoubleBar; ++type)
        nodes.push_back(Fence(FenceKind(type, type), Row("x")));
    nodes.push_back(Fence(FenceKind(kDelimParen, kDelimParen), InRow(Integral(0, "f", "a", "b"))));
    nodes.push_back(Fence(FenceKind(kDelimBrace, kDelimNone),
                          InRow(Integral(kIntegralLimitsAboveBelow, "g", "0", "1"))));
    nodes.push_back(Fence(FenceKind(kDelimSquare, kDelimAngle),
                          InRow(Integral(kIntegralEvaluateAt, "F", "a", "b"))));
    nodes.push_back(Fence(FenceKind(kDelimFloor, kDelimCeiling), Row("y")));
    nodes.push_back(Fence(FenceKind(kDelimReversedSquare, kDelimBar), Row("z")));
    nodes.push_back(Fence(FenceKind(kDelimBrace, kDelimNone, true), Row("abcde")));
    nodes.push_back(Fence(FenceKind(kDelimNone, kDelimBrace, true), Row("uvw")));
    nodes.push_back(Fence(FenceKind(kDelimSquare, kDelimNone, true), Row("pq")));
    // Integrals: one sign, two contour signs, three signs with limits above and below.
    nodes.push_back(Integral(0, "f", "a", "b"));
    nodes.push_back(Integral(1 | kIntegralContour, "h", "S", ""));
    nodes.push_back(Integral(2 | kIntegralLimitsAboveBelow, "g", "V", ""));
    nodes.push_back(Integral(kIntegralContour | kIntegralLimitsAboveBelow, "w", "C", ""));
    // Every mark above with normal placement, then a bar, a hat and an arc below.
    for (int32_t mark = kMarkDot; mark <= kMarkDoubleBar; ++mark)
        nodes.push_back(Mark(mark | kMarkNormalPlacement, mark == kMarkVector ? "v" : "AB"));
    nodes.push_back(Mark(kMarkBar | kMarkNormalPlacement | kMarkBelow, "y"));
    nodes.push_back(Mark(kMarkHat | kMarkNormalPlacement | kMarkBelow, "ab"));
    nodes.push_back(Mark(kMarkArc | kMarkNormalPlacement | kMarkBelow, "xyz"));
    nodes.push_back(Mark(kMarkDot, "x"));

    int32_t x = 10;
    int32_t y = 10;
    int32_t rowAbove = 0;
    int32_t rowBelow = 0;
    std::vector<std::pair<eExpr*, int32_t>> line; // node and its x on the current line
    const auto flush = [&] {
        for (auto& [node, nx] : line)
            DrawExpr(node, &port, 0, 0, 0, 0, nx, y + rowAbove - node->m_zone.ref1);
        y += rowAbove + rowBelow + 16;
        line.clear();
        rowAbove = rowBelow = 0;
        x = 10;
    };
    for (ExprPtr& node : nodes) {
        MeasureExpr(node.get(), &port);
        if (x + node->width() > 710)
            flush();
        line.emplace_back(node.get(), x);
        rowAbove = std::max(rowAbove, node->m_zone.ref1);
        rowBelow = std::max(rowBelow, node->height() - node->m_zone.ref1);
        x += node->width() + 18;
    }
    flush();
    ASSERT_LE(y, 480) << "the picture is too short for its lines";
    cairo_surface_t* image = port.image();
    EXPECT_TRUE(MatchesGolden(image, "templates/fences"));
    cairo_surface_destroy(image);
}

} // namespace
} // namespace kvtest
