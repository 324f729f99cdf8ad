// Scripts, limits, prescripts, a big operator, tensors and tree diagrams drawn through a native
// port into a bitmap with the pinned fonts, compared with a reference image. Regenerate (after
// looking at the new image) with
//   KV_UPDATE_GOLDEN=1 ./build/tests/kv_model_tests --gtest_filter='*ScriptTemplatesMatch*'
#include "OverPc/PFONTS.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/eTensor.h"
#include "OverSrcs/eTreeNode.h"
#include "OverSrcs/oWindows.h"
#include "model/ImageFixture.h"
#include "model/eScriptFixture.h"
#include "plat/Gdi.h"
#include "support/BitmapPort.h"
#include "support/Golden.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

class ScriptImageTest : public ImageTest<ScriptTest> {
protected:
    static ExprPtr Script(int32_t kind, const std::vector<const char*>& texts) {
        OwnedNode<eSSScript> node =
            NewSSScript(nullptr, nullptr, nullptr, static_cast<int32_t>(texts.size()));
        node->m_kind = kind;
        for (size_t i = 0; i < texts.size(); ++i)
            node->setChild(static_cast<int32_t>(i), Row(texts[i]));
        return node;
    }
    static ExprPtr Tree(int32_t kind, const char* label, const std::vector<ExprPtr*>& sons) {
        OwnedNode<eTreeNode> node = NewTreeNode(Row(label), static_cast<int32_t>(sons.size()) + 1);
        node->m_kind = kind;
        for (size_t i = 0; i < sons.size(); ++i) {
            OwnedNode<eSimpString> row = NewSimpString(1);
            row->setChild(0, std::move(*sons[i]));
            node->setChild(static_cast<int32_t>(i) + 1, std::move(row));
        }
        return node;
    }
};

TEST_F(ScriptImageTest, ScriptTemplatesMatchTheirReferenceImage) {
    BitmapPort port(640, 400, 21);
    std::vector<ExprPtr> nodes;
    nodes.push_back(Script(0, {"x", "i", "2"}));
    nodes.push_back(Script(kScriptNoScripts | kScriptLimits, {"lim", "n", ""}));
    nodes.push_back(
        Script(kScriptOperator | kScriptNoScripts | kScriptLimits, {"f(k)", "S", "k=1", "n"}));
    nodes.push_back(Script(kScriptNoScripts | kScriptPrescripts, {"U", "92", "235"}));
    nodes.push_back(Script(7, {"y", "P", "a", "b", "c", "d", "e", "f"}));
    OwnedNode<eTensor> tensor = NewTensor(Row("T"), 4);
    tensor->m_kind = 0b1010;
    tensor->setChild(1, Row("i"));
    tensor->setChild(2, Row("j"));
    tensor->setChild(3, Row("k"));
    nodes.push_back(std::move(tensor));
    ExprPtr a = Row("a"), b = Row("b"), c = Row("c"), d = Row("d");
    ExprPtr inner = Tree(0, "q", {&c, &d});
    nodes.push_back(Tree(0, "root", {&a, &inner, &b}));
    ExprPtr e = Row("e"), f = Row("f"), g = Row("g");
    nodes.push_back(Tree(0b100, "m", {&e, &f, &g}));
    ExprPtr h = Row("h"), i = Row("i");
    nodes.push_back(Tree(kTreeTurned, "t", {&h, &i}));

    int32_t x = 10;
    int32_t y = 20;
    int32_t rowHeight = 0;
    for (ExprPtr& node : nodes) {
        MeasureExpr(node.get(), &port);
        if (x + node->width() > 630) {
            x = 10;
            y += rowHeight + 20;
            rowHeight = 0;
        }
        DrawExpr(node.get(), &port, 0, 0, 0, 0, x, y + 60 - node->m_zone.ref1);
        rowHeight = std::max(rowHeight, 60 - node->m_zone.ref1 + node->height());
        x += node->width() + 24;
    }
    cairo_surface_t* image = port.image();
    EXPECT_TRUE(MatchesGolden(image, "templates/scripts"));
    cairo_surface_destroy(image);
}

} // namespace
} // namespace kvtest
