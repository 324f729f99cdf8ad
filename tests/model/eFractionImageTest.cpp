// Fractions, a radical, a long division, boxes and an overstrike drawn through a native port into
// a bitmap with the pinned fonts, compared with a reference image. Regenerate (after looking at
// the new image) with
//   KV_UPDATE_GOLDEN=1 ./build/tests/kv_model_tests --gtest_filter='*TemplatesMatchTheirReference*'
#include "OverPc/PFONTS.h"
#include "OverSrcs/eBox.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eLongDivision.h"
#include "OverSrcs/eOverstrike.h"
#include "OverSrcs/eRoot.h"
#include "OverSrcs/oWindows.h"
#include "model/ImageFixture.h"
#include "model/eFractionFixture.h"
#include "plat/Gdi.h"
#include "support/BitmapPort.h"
#include "support/Golden.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

// A row of one word in the base style (it follows its template's size steps).
ExprPtr Text(const char* text) {
    FSSRecord style;
    InitFSSRecord(style);
    return NewSimpStringWith(NewWord(text, 0, style, 0));
}

class TemplateImageTest : public ImageTest<ModelTest> {
protected:
    void SetUp() override {
        ImageTest::SetUp();
        RegisterFractionTemplates();
    }
};

TEST_F(TemplateImageTest, TemplatesMatchTheirReferenceImage) {
    BitmapPort port(640, 240, 21);
    std::vector<ExprPtr> nodes;
    for (int32_t kind : {1, 6, 2, 7, 5}) {
        OwnedNode<eFraction> f = NewFraction(Text(kind == 1 ? "a+b" : "1"), Text("2c"));
        f->m_kind = kind;
        nodes.push_back(std::move(f));
    }
    nodes.push_back(NewRoot(Text("x+1"), Text("3")));
    nodes.push_back(NewLongDivision(Text("1554"), Text("7"), Text("222"), Text("14")));
    OwnedNode<eBox> box = NewBox(Text("E=mc"));
    box->m_kind = 0x13;
    nodes.push_back(std::move(box));
    nodes.push_back(NewOverstrike(Text("O"), Text("/")));

    int32_t x = 10;
    int32_t y = 20;
    for (ExprPtr& node : nodes) {
        MeasureExpr(node.get(), &port);
        if (x + node->width() > 630) {
            x = 10;
            y += 110;
        }
        DrawExpr(node.get(), &port, 0, 0, 0, 0, x, y + 60 - node->m_zone.ref1);
        x += node->width() + 24;
    }
    cairo_surface_t* image = port.image();
    EXPECT_TRUE(MatchesGolden(image, "templates/fractions"));
    cairo_surface_destroy(image);
}

} // namespace
} // namespace kvtest
