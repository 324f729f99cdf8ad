// Plain and ruled matrices drawn through a native port into a bitmap with the pinned fonts,
// compared with a reference image. Regenerate (after looking at the new image) with
//   KV_UPDATE_GOLDEN=1 ./build/tests/kv_model_tests --gtest_filter='*MatricesMatchTheirReference*'
#include "OverPc/PFONTS.h"
#include "OverSrcs/eDxMatrix.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eWord.h"
#include "model/ImageFixture.h"
#include "model/ModelFixture.h"
#include "support/BitmapPort.h"
#include "support/Golden.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <vector>

namespace kvtest {
namespace {

// A row of one word in the base style.
ExprPtr Text(const char* text) {
    FSSRecord style;
    InitFSSRecord(style);
    return NewSimpStringWith(NewWord(text, 0, style, 0));
}

template <class Grid> void Fill(Grid& grid, const std::vector<const char*>& words) {
    for (int32_t i = 0; i < grid.childCount(); ++i)
        grid.setChild(i, Text(words[static_cast<size_t>(i)]));
}

using MatrixImageTest = ImageTest<ModelTest>;

TEST_F(MatrixImageTest, MatricesMatchTheirReferenceImage) {
    BitmapPort port(640, 240, 21);
    std::vector<ExprPtr> nodes;
    OwnedNode<eSimpMatrix> plain = NewSimpMatrix(2, 2);
    Fill(*plain, {"a", "b", "c", "d"});
    nodes.push_back(std::move(plain));
    OwnedNode<eSimpMatrix> column = NewSimpMatrix(3, 1);
    Fill(*column, {"x", "y+1", "z"});
    nodes.push_back(std::move(column));
    // A boxed ruled grid: solid outer edges, dashed inner lines.
    OwnedNode<eDxMatrix> ruled = NewDxMatrix(3, 3, nullptr);
    Fill(*ruled, {"1", "22", "333", "4444", "5", "66", "7", "88", "9"});
    for (int32_t r = 0; r <= 3; ++r)
        ruled->m_hStyles[r] = r == 0 || r == 3 ? 0x15 : 0x2A;
    for (int32_t r = 0; r < 3; ++r)
        ruled->m_vStyles[r] = 0x1 | 0x8 | 0x20 | 0x40;
    nodes.push_back(std::move(ruled));
    // Equations aligned on their equals signs, with a rule under the first.
    OwnedNode<eDxMatrix> aligned = NewDxMatrix(3, 1, nullptr);
    Fill(*aligned, {"a=bc", "xyz=w", "=0"});
    aligned->m_hAlign = '=';
    aligned->m_hStyles[1] = 0x1;
    nodes.push_back(std::move(aligned));

    int32_t x = 10;
    for (ExprPtr& node : nodes) {
        MeasureExpr(node.get(), &port);
        DrawExpr(node.get(), &port, 0, 0, 0, 0, x, 120 - node->m_zone.ref1);
        x += node->width() + 30;
    }
    cairo_surface_t* image = port.image();
    EXPECT_TRUE(MatchesGolden(image, "matrices/matrices"));
    cairo_surface_destroy(image);
}

} // namespace
} // namespace kvtest
