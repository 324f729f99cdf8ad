// Ruled rows drawn through a native port into a bitmap with the pinned fonts, compared with a
// reference image: three rows sharing decimal and right stops, a centred paragraph broken into
// lines, and a row in ruler view mode with its band. Regenerate (after looking at the new image)
// with
//   KV_UPDATE_GOLDEN=1 ./build/tests/kv_model_tests --gtest_filter='*RuledRowsMatchTheirReference*'
#include "BuiltinResources.h"
#include "OverPc/oPixMap.h"
#include "OverSrcs/eDxStr.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/oWindows.h"
#include "model/ImageFixture.h"
#include "model/ModelFixture.h"
#include "plat/Resources.h"
#include "support/BitmapPort.h"
#include "support/Golden.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

// Words separated by spaces; "\t" stands for a tab.
OwnedNode<eDxString> RowOf(const std::vector<std::string>& items, bool spaced) {
    FSSRecord style;
    InitFSSRecord(style);
    std::vector<ExprPtr> nodes;
    for (const std::string& item : items) {
        if (spaced && !nodes.empty())
            nodes.push_back(NewPseudo(kPseudoSpace, &style, 0));
        if (item == "\t")
            nodes.push_back(NewPseudo(kPseudoTab, &style, 0));
        else
            nodes.push_back(NewWord(item, 0, style, 0));
    }
    OwnedNode<eDxString> row = NewDxString(static_cast<int32_t>(nodes.size()), nullptr);
    for (size_t i = 0; i < nodes.size(); ++i)
        row->setChild(static_cast<int32_t>(i), std::move(nodes[i]));
    return row;
}

void SetStops(eDxString* row, const std::vector<uint16_t>& stops) {
    for (int32_t i = 0; i < kTabStopCount; ++i)
        row->m_tabStops[i] =
            i < static_cast<int32_t>(stops.size()) ? stops[static_cast<size_t>(i)] : kTabEmptyWord;
}

using RuledRowImageTest = ImageTest<ModelTest>;

TEST_F(RuledRowImageTest, RuledRowsMatchTheirReferenceImage) {
    // The band's tab-stop and justification images come from the program's resources.
    plat::RegisterBuiltinResources(BuiltinResourceTables());
    BitmapPort port(640, 420, 21);
    int32_t y = 10;

    // A small table: names at the left, numbers on a decimal stop, a last column on a right stop.
    const std::vector<std::vector<std::string>> table = {
        {"Apples", "\t", "3.14", "\t", "x"},
        {"Figs", "\t", "12.5", "\t", "yz"},
        {"Pears", "\t", "100", "\t", "w"},
    };
    for (const auto& line : table) {
        OwnedNode<eDxString> row = RowOf(line, false);
        SetStops(row.get(), {MakeTabStop(kTabDecimal, 150), MakeTabStop(kTabRight, 300)});
        row->m_width = 320;
        MeasureExpr(row.get(), &port);
        DrawExpr(row.get(), &port, 0, 0, 0, 0, 10, y);
        y += row->height();
    }
    y += 10;

    // A centred paragraph 260 points wide.
    OwnedNode<eDxString> paragraph = RowOf(
        {"The", "quick", "brown", "fox", "jumps", "over", "the", "lazy", "dog", "again."}, true);
    paragraph->m_width = 260;
    paragraph->m_justification = kDxJustifyCentre;
    MeasureExpr(paragraph.get(), &port);
    ASSERT_GT(paragraph->lines()->lineCount(), 1);
    DrawExpr(paragraph.get(), &port, 0, 0, 0, 0, 10, y);
    y += paragraph->height() + 10;

    // A row in ruler view mode: its band above it, a centre stop at 2 inches.
    OwnedNode<eDxString> ruled = RowOf({"ab", "\t", "cdef"}, false);
    SetStops(ruled.get(), {MakeTabStop(kTabCentre, 144), MakeTabStop(kTabLeft, 216)});
    ruled->m_width = 400;
    MeasureExprWithOptions(ruled.get(), &port, 0, 0, 1, 0);
    DrawExpr(ruled.get(), &port, 0, 0, 1, 0, 10, y);

    cairo_surface_t* image = port.image();
    EXPECT_TRUE(MatchesGolden(image, "rows/ruled"));
    cairo_surface_destroy(image);
}

// With guides shown a row on a screen port is drawn through its kept image: the pixels are those
// of plain drawing (a pixmap port never keeps one), the image is reused while the row is unchanged
// and rebuilt after an edit.
TEST_F(RuledRowImageTest, GuidesDrawThroughAKeptImageWithThePlainPixels) {
    const int32_t res = ScreenResolution();
    const Zone all{0, 0, 400, 120, 0, 0};
    BitmapPort screen(all.right, all.bottom, res);
    OwnedNode<eDxString> row = RowOf({"Apples", "\t", "3.14", "\t", "x"}, false);
    SetStops(row.get(), {MakeTabStop(kTabDecimal, 150), MakeTabStop(kTabRight, 250)});

    // Draws with guides on the screen and, plainly, on a fresh pixmap; both as hex rows.
    auto drawBoth = [&](std::string& onScreen, std::string& plain) {
        screen.eraseZone(all);
        MeasureExprWithOptions(row.get(), &screen, 1, 0, 0, 0);
        DrawExpr(row.get(), &screen, 1, 0, 0, 0, 10, 10);
        std::unique_ptr<oPixMap> copy(NewPixMap(all, res, 0x8000));
        screen.savePix(0, 0, *copy);
        onScreen = PixMapHexRows(*copy, false);
        std::unique_ptr<oPixMap> direct(NewPixMap(all, res, 0x8000));
        direct->eraseZone(all);
        MeasureExprWithOptions(row.get(), direct.get(), 1, 0, 0, 0);
        DrawExpr(row.get(), direct.get(), 1, 0, 0, 0, 10, 10);
        plain = PixMapHexRows(*direct, false);
    };

    std::string first, firstPlain;
    drawBoth(first, firstPlain);
    ASSERT_TRUE(row->hasImage());
    EXPECT_EQ(first, firstPlain);
    const oPixMap* kept = row->m_image;
    MeasureExprWithOptions(row.get(), &screen, 1, 0, 0, 0);
    DrawExpr(row.get(), &screen, 1, 0, 0, 0, 10, 10);
    EXPECT_EQ(row->m_image, kept); // reused, not drawn again

    FSSRecord style;
    InitFSSRecord(style);
    row->setChild(0, NewWord("Quinces", 0, style, 0));
    InvalidateAncestors(row->getChild(0));
    EXPECT_FALSE(row->hasImage());
    std::string edited, editedPlain;
    drawBoth(edited, editedPlain);
    EXPECT_TRUE(row->hasImage());
    EXPECT_EQ(edited, editedPlain);
    EXPECT_NE(edited, first);

    // Without guides nothing is kept.
    row->invalidate();
    MeasureExprWithOptions(row.get(), &screen, 0, 0, 0, 0);
    DrawExpr(row.get(), &screen, 0, 0, 0, 0, 10, 10);
    EXPECT_EQ(row->m_image, nullptr);
}

} // namespace
} // namespace kvtest
