// Double-byte words drawn through a native port into a bitmap with the pinned fonts under a
// double-byte code page, compared with a reference image. Regenerate (after looking at the new
// image) with
//   KV_UPDATE_GOLDEN=1 ./build/tests/kv_model_tests --gtest_filter='*DoubleByteText*'
#include "OverPc/PFONTS.h"
#include "OverSrcs/eAsian.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eSimpString.h"
#include "model/ImageFixture.h"
#include "model/ModelFixture.h"
#include "plat/Font.h"
#include "support/BitmapPort.h"
#include "support/Golden.h"

#include <algorithm>
#include <cairo.h>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

class AsianImageTest : public ImageTest<ModelTest> {
protected:
    void SetUp() override {
        ImageTest::SetUp();
        // Code page 936: A6A1-A6B8 are the Greek capitals, A6C1-A6D8 the small letters and
        // A7A1-A7C1 the Cyrillic capitals, all of which the pinned text faces carry.
        ASSERT_TRUE(plat::SetActiveCodePage(936));
    }
    void TearDown() override {
        plat::SetActiveCodePage(1252);
        ImageTest::TearDown();
    }
};

TEST_F(AsianImageTest, DoubleByteTextMatchesItsReferenceImage) {
    BitmapPort port(320, 80, 21);
    FSSRecord style;
    InitFSSRecord(style);
    std::string greek;
    for (int32_t code : {0xA6C1, 0xA6C2, 0xA6C3, 0xA6A6}) // alpha beta gamma, capital Zeta
        greek += AsianBytesOf(code);
    std::string cyrillic;
    for (int32_t code : {0xA7A1, 0xA7A2, 0xA7A3}) // capital A, BE, VE
        cyrillic += AsianBytesOf(code);
    OwnedNode<eSimpString> row = NewSimpString(3);
    row->setChild(0, newAsian(greek, 0, style, 0));
    row->setChild(1, NewWord("+x", 0, style, 0));
    row->setChild(2, newAsian(cyrillic, 0, style, 0xE0)); // red
    MeasureExpr(row.get(), &port);
    // Four characters measure as four glyphs, not as eight bytes.
    const auto* first = static_cast<const eWord*>(row->getChild(0));
    EXPECT_LT(first->width(), 4 * first->m_size);
    DrawExpr(row.get(), &port, 0, 0, 0, 0, 12, 20);
    cairo_surface_t* image = port.image();
    EXPECT_TRUE(MatchesGolden(image, "templates/asian"));
    cairo_surface_destroy(image);
}

// Under a double-byte code page whose characters no face of the catalogue carries, each is drawn
// from the system's font for the language: two different ideographs give ink of their own, not the
// same missing-glyph box.
TEST_F(AsianImageTest, IdeographsAreDrawnFromTheLanguageFont) {
    ASSERT_TRUE(plat::SetActiveCodePage(932));
    FSSRecord style;
    InitFSSRecord(style);
    std::vector<uint32_t> pictures[2];
    const int32_t codes[2] = {0x93FA, 0x967B}; // 日, 本
    for (int i = 0; i < 2; ++i) {
        BitmapPort port(80, 60, 21);
        OwnedNode<eSimpString> row = NewSimpString(1);
        row->setChild(0, newAsian(AsianBytesOf(codes[i]), 0, style, 0));
        MeasureExpr(row.get(), &port);
        DrawExpr(row.get(), &port, 0, 0, 0, 0, 12, 20);
        cairo_surface_t* image = port.image();
        cairo_surface_flush(image);
        const int stride = cairo_image_surface_get_stride(image);
        const unsigned char* data = cairo_image_surface_get_data(image);
        for (int y = 0; y < cairo_image_surface_get_height(image); ++y)
            for (int x = 0; x < cairo_image_surface_get_width(image); ++x) {
                uint32_t pixel = 0;
                std::memcpy(&pixel, data + y * stride + x * 4, 4);
                pictures[i].push_back(pixel & 0xFFFFFF);
            }
        cairo_surface_destroy(image);
    }
    for (const auto& picture : pictures) {
        const auto ink =
            std::count_if(picture.begin(), picture.end(), [](uint32_t p) { return p == 0; });
        EXPECT_GT(ink, 20);
    }
    EXPECT_NE(pictures[0], pictures[1]);
}

} // namespace
} // namespace kvtest
