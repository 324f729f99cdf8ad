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
#include <algorithm>
#include <cstdlib>
#include <functional>
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

// Pixels of a picture that a flood from `start` reaches through neighbours with the same inkiness
// (4 neighbours, or 8 with `diagonals`); `inside` limits the flood.
int32_t FloodCount(const std::vector<plat::COLORREF>& pixels, int32_t w, size_t start,
                   bool diagonals, const std::function<bool(int32_t, int32_t)>& inside,
                   std::vector<char>& seen) {
    const auto ink = [&](size_t i) { return (pixels[i] & 0xFFFFFF) != 0xFFFFFF; };
    const bool wanted = ink(start);
    const int32_t h = static_cast<int32_t>(pixels.size()) / w;
    std::vector<size_t> stack{start};
    seen[start] = 1;
    int32_t count = 0;
    while (!stack.empty()) {
        const size_t i = stack.back();
        stack.pop_back();
        ++count;
        const int32_t x = static_cast<int32_t>(i) % w, y = static_cast<int32_t>(i) / w;
        for (int32_t dy = -1; dy <= 1; ++dy)
            for (int32_t dx = -1; dx <= 1; ++dx) {
                const int32_t nx = x + dx, ny = y + dy;
                if ((dx != 0 && dy != 0 && !diagonals) || nx < 0 || ny < 0 || nx >= w ||
                    ny >= h || !inside(nx, ny))
                    continue;
                const size_t j = static_cast<size_t>(ny * w + nx);
                if (!seen[j] && ink(j) == wanted) {
                    seen[j] = 1;
                    stack.push_back(j);
                }
            }
    }
    return count;
}

// The radical sign is drawn whole at every size: its ink is one piece, and no white pixel is shut
// in by it (a hole in a slanted stroke is such a pixel). A tall radicand gives the long stroke its
// longest run. The radicands are upright digits, which put no ink beside their own box.
TEST_F(TemplateImageTest, TheRadicalSignIsWholeAtEverySize) {
    const char* const kDump = std::getenv("KV_DUMP_RADICALS"); // a folder to look at the pictures
    for (const int16_t size : {6, 8, 9, 10, 12, 14, 18, 24, 36, 48, 72, 96}) {
        for (const bool tall : {false, true}) {
            SCOPED_TRACE(std::to_string(size) + (tall ? " points, tall" : " points"));
            StyleTable[0].size = size;
            ExprPtr radicand = Text("2");
            if (tall)
                radicand = NewSimpStringWith(NewFraction(Text("1"), Text("2")));
            ExprPtr root(NewRoot(std::move(radicand), NewSimpString(0)).release());
            BitmapPort measure(16, 16, 21);
            MeasureExpr(root.get(), &measure);
            BitmapPort port(root->width() + 20, root->m_zone.bottom + 20, 21);
            DrawExpr(root.get(), &port, 0, 0, 0, 0, 10, 10);
            if (kDump != nullptr) {
                cairo_surface_t* image = port.image();
                const std::string name = std::string(kDump) + "/root-" + std::to_string(size) +
                                         (tall ? "-tall" : "") + ".png";
                cairo_surface_write_to_png(image, name.c_str());
                cairo_surface_destroy(image);
            }
            Zone box = root->m_zone;
            ZoneOffset(box, 10, 10);
            Zone inner = root->getChild(0)->m_zone;
            ZoneOffset(inner, 10, 10);
            const auto inSign = [&](int32_t x, int32_t y) {
                return ZoneContainsPoint(box, oPoint{x, y}) &&
                       !ZoneContainsPoint(inner, oPoint{x, y});
            };
            const int32_t w = port.widthInPixels();
            const std::vector<plat::COLORREF> pixels = port.pixels();
            // White pixels reached from the corner of the picture; inked ones of the sign.
            std::vector<char> seen(pixels.size(), 0);
            FloodCount(pixels, w, 0, false, [](int32_t, int32_t) { return true; }, seen);
            std::string shutIn;
            int32_t ink = 0;
            size_t first = pixels.size();
            for (int32_t y = box.top; y < box.bottom; ++y)
                for (int32_t x = box.left; x < box.right; ++x) {
                    const size_t i = static_cast<size_t>(y * w + x);
                    if ((pixels[i] & 0xFFFFFF) == 0xFFFFFF && !seen[i])
                        shutIn += " " + std::to_string(x) + "," + std::to_string(y);
                    if ((pixels[i] & 0xFFFFFF) != 0xFFFFFF && inSign(x, y)) {
                        ++ink;
                        first = std::min(first, i);
                    }
                }
            EXPECT_EQ(shutIn, "") << "holes in the sign";
            ASSERT_LT(first, pixels.size());
            std::fill(seen.begin(), seen.end(), 0);
            EXPECT_EQ(FloodCount(pixels, w, first, true, inSign, seen), ink)
                << "the sign falls into pieces";
        }
    }
    StyleTable[0].size = 24;
}

} // namespace
} // namespace kvtest
