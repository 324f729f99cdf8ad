// The ruler band's images as the program's resources hold them, drawn through a native port at
// three times their size: each tab-stop image marks its stop's column (x = 6, where the band puts
// the stop) and spreads its foot the way its kind aligns text; each justification image shows
// lines aligned its way.
#include "BuiltinResources.h"
#include "OverSrcs/eDxStr.h"
#include "model/ImageFixture.h"
#include "model/ModelFixture.h"
#include "plat/Gdi.h"
#include "plat/Resources.h"
#include "support/BitmapPort.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace kvtest {
namespace {

constexpr int kIconWidth = 13;
constexpr int kIconHeight = 7;
constexpr int kGrip = 6;
constexpr int kScale = 3;
constexpr int kLeft = 10;
constexpr int kTop = 10;

class RulerImagesTest : public ImageTest<ModelTest> {
protected:
    void SetUp() override {
        ImageTest<ModelTest>::SetUp();
        plat::RegisterBuiltinResources(BuiltinResourceTables());
    }
};

// The image drawn scaled; inked(x, y) asks about the middle of image pixel (x, y).
struct Drawn {
    BitmapPort port{80, 50, 21};
    std::vector<plat::COLORREF> pixels;

    explicit Drawn(int32_t id) {
        const Color black{0, 0, 0};
        const Color white{255, 255, 255};
        port.drawImage(
            id, Zone{kLeft, kTop, kLeft + kIconWidth * kScale, kTop + kIconHeight * kScale, 0, 0},
            black, white, 0);
        pixels = port.pixels();
    }
    bool inked(int x, int y) const {
        const int px = kLeft + x * kScale + kScale / 2;
        const int py = kTop + y * kScale + kScale / 2;
        return (pixels[static_cast<size_t>(py * port.widthInPixels() + px)] & 0xFFFFFF) != 0xFFFFFF;
    }
    // Whether row y has ink left of (or right of) the grip column.
    bool inkLeftOfGrip(int y) const {
        for (int x = 0; x < kGrip; ++x)
            if (inked(x, y))
                return true;
        return false;
    }
    bool inkRightOfGrip(int y) const {
        for (int x = kGrip + 1; x < kIconWidth; ++x)
            if (inked(x, y))
                return true;
        return false;
    }
};

TEST_F(RulerImagesTest, EveryImageIsThirteenBySevenOnWhite) {
    for (int32_t id = kTabIconBase; id <= kJustifyIconBase + 2; ++id) {
        SCOPED_TRACE(id);
        plat::HBITMAP bitmap =
            plat::LoadBitmap(nullptr, plat::MAKEINTRESOURCE(static_cast<plat::WORD>(id)));
        ASSERT_NE(bitmap, nullptr);
        plat::BITMAP info{};
        ASSERT_NE(plat::GetObject(bitmap, sizeof info, &info), 0);
        EXPECT_EQ(info.bmWidth, kIconWidth);
        EXPECT_EQ(info.bmHeight, kIconHeight);
        plat::DeleteObject(bitmap);

        // Drawn into its zone and nowhere else, with something drawn.
        Drawn d(id);
        const Zone ink = d.port.ink();
        EXPECT_GE(ink.left, kLeft);
        EXPECT_GE(ink.top, kTop);
        EXPECT_LE(ink.right, kLeft + kIconWidth * kScale);
        EXPECT_LE(ink.bottom, kTop + kIconHeight * kScale);
        EXPECT_LT(ink.left, ink.right);
    }
}

TEST_F(RulerImagesTest, TabStopImagesStandOnTheirColumnWithTheirKindsFoot) {
    struct Case {
        int32_t kind;
        bool footLeft;  // text ending at the stop
        bool footRight; // text starting at the stop
    };
    for (const Case c :
         {Case{kTabLeft, false, true}, Case{kTabCentre, true, true}, Case{kTabRight, true, false},
          Case{kTabDecimal, true, true}, Case{kTabRelation, true, true}}) {
        SCOPED_TRACE(c.kind);
        Drawn d(kTabIconBase + c.kind);
        // The stem: the stop's column from top to bottom.
        for (int y = 0; y < kIconHeight; ++y)
            EXPECT_TRUE(d.inked(kGrip, y)) << "stem row " << y;
        const int foot = kIconHeight - 1;
        EXPECT_EQ(d.inkLeftOfGrip(foot), c.footLeft);
        EXPECT_EQ(d.inkRightOfGrip(foot), c.footRight);
        // Above the foot only the stem and, for the decimal and relation stops, their mark to the
        // right of it.
        bool mark = false;
        for (int y = 0; y < kIconHeight - 2; ++y) {
            EXPECT_FALSE(d.inkLeftOfGrip(y)) << "row " << y;
            mark = mark || d.inkRightOfGrip(y);
        }
        EXPECT_EQ(mark, c.kind == kTabDecimal || c.kind == kTabRelation);
    }
    // The decimal and relation marks differ: a point against two bars.
    Drawn decimal(kTabIconBase + kTabDecimal), relation(kTabIconBase + kTabRelation);
    bool same = true;
    for (int y = 0; y < kIconHeight - 2; ++y)
        for (int x = kGrip + 1; x < kIconWidth; ++x)
            same = same && decimal.inked(x, y) == relation.inked(x, y);
    EXPECT_FALSE(same);
}

TEST_F(RulerImagesTest, JustificationImagesAlignTheirShortLines) {
    // Lines of text on rows 0, 2, 4 and 6, the short ones on rows 2 and 6.
    for (int32_t j = 0; j < 3; ++j) {
        SCOPED_TRACE(j);
        Drawn d(kJustifyIconBase + j);
        for (int y : {1, 3, 5})
            for (int x = 0; x < kIconWidth; ++x)
                EXPECT_FALSE(d.inked(x, y)) << x << "," << y;
        for (int y : {2, 6}) {
            int first = kIconWidth, last = -1;
            for (int x = 0; x < kIconWidth; ++x) {
                if (d.inked(x, y)) {
                    first = std::min(first, x);
                    last = std::max(last, x);
                }
            }
            int longFirst = kIconWidth, longLast = -1;
            for (int x = 0; x < kIconWidth; ++x) {
                if (d.inked(x, y - 2)) {
                    longFirst = std::min(longFirst, x);
                    longLast = std::max(longLast, x);
                }
            }
            ASSERT_LE(first, last);
            EXPECT_LT(last - first, longLast - longFirst) << "the short line is shorter";
            if (j == 0)
                EXPECT_EQ(first, longFirst);
            else if (j == 2)
                EXPECT_EQ(last, longLast);
            else
                EXPECT_EQ(first - longFirst, longLast - last);
        }
    }
}

} // namespace
} // namespace kvtest
