// The picture rotation and margins dialogs on the headless back end with the program's own
// resources, the commands of the Préférences menu that run them on the picture settings, and the
// pictures made afterwards: turned as chosen and grown by exactly the margins.
#include "Dialogs/PictureDialogs.h"

#include "App/MenuDispatch.h"
#include "OverPc/PERROR.h"
#include "OverPc/PEXPRPICT.h"
#include "OverPc/Portdc.h"
#include "OverPc/oPixMap.h"
#include "OverPc/shell/DialogItems.h"
#include "OverSrcs/Winufo.h"
#include "app/AppDocumentFixture.h"
#include "plat/Dialog.h"
#include "plat/Testing.h"
#include "support/PixMapPixels.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace kvtest {
namespace {

namespace pt = plat::testing;
using pt::DialogDriver;

constexpr int kButtons[3] = {kRotationClockwiseItem, kRotationUprightItem,
                             kRotationAnticlockwiseItem};

// The running program with the picture settings put back to upright and no margins around each
// test.
class PictureDialogsTest : public AppDocumentFixture {
protected:
    void SetUp() override {
        AppDocumentFixture::SetUp();
        resetSettings();
    }
    void TearDown() override {
        resetSettings();
        AppDocumentFixture::TearDown();
    }
    static void resetSettings() {
        NextPictureRotation = 0;
        PictureRotationSetting = 0;
        PictureMarginSettings = PictureMargins{};
    }

    // The index of the one checked rotation button; -1 for none, -2 for more than one.
    static int checkedRow(DialogDriver& d) {
        int found = -1;
        for (int i = 0; i < 3; ++i)
            if (d.checked(kButtons[i]))
                found = found == -1 ? i : -2;
        return found;
    }

    std::unique_ptr<WinUfo> pictureOf(const eExpr* expression, int32_t dpi) {
        std::unique_ptr<WinUfo> picture;
        EXPECT_EQ(CatchFail([&] { picture = NewExprPicture(expression, dpi, ExprPictureStyle{}); }),
                  0);
        return picture;
    }
    struct Size {
        int32_t width = 0;
        int32_t height = 0;
        int32_t baseline = 0;
    };
    static Size sizeOf(const WinUfo* picture) {
        Size s;
        GetWinUfoMetrics(picture, &s.width, &s.height, &s.baseline, nullptr, nullptr);
        return s;
    }
};

// ---- "Rotation de l'image"

TEST_F(PictureDialogsTest, RotationDialogShowsTheRecordAndEachClosingButtonHasItsResult) {
    struct Case {
        const char* name;
        int32_t shown;   // the record's index
        int choose;      // row clicked before closing
        int closeWith;   // control
        int32_t result;  // launcher result
        int32_t written; // the record's index afterwards
    };
    const Case cases[] = {
        {"next picture only", 1, 0, plat::IDOK, 1, 0},
        {"permanently", 0, 2, kRotationPermanentItem, 2, 2},
        {"permanently upright", 2, 1, kRotationPermanentItem, 2, 1},
        {"cancel leaves the record", 2, 0, plat::IDCANCEL, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImageRotationDlgRecord record{c.shown};
        pt::onDialog(kImageRotationDialogId, [&](DialogDriver& d) {
            EXPECT_EQ(checkedRow(d), c.shown);
            d.click(kButtons[c.choose]);
            EXPECT_EQ(checkedRow(d), c.choose);
            d.click(c.closeWith);
        });
        EXPECT_EQ(RunImageRotationDlg(&record), c.result);
        EXPECT_EQ(record.index, c.written);
    }
}

TEST_F(PictureDialogsTest, RotationDialogWithNoButtonOnKeepsTheRecordAtOk) {
    ImageRotationDlgRecord record{5};
    pt::onDialog(kImageRotationDialogId, [&](DialogDriver& d) {
        EXPECT_EQ(checkedRow(d), -1);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunImageRotationDlg(&record), 1);
    EXPECT_EQ(record.index, 5);
}

TEST_F(PictureDialogsTest, ClicksOnThePicturesCheckTheirRowWithoutClosing) {
    struct Click {
        const char* name;
        int x, y;
        int row;
    };
    // Client pixels at two pixels per dialog unit: the pictures stand at x 12..27 units, the
    // upright one from y 56, the clockwise one from y 78, the anticlockwise one from y 102.
    const Click clicks[] = {
        {"upright picture", 40, 120, 1},
        {"anticlockwise picture", 40, 220, 2},
        {"clockwise picture", 30, 160, 0},
        {"upright picture's corner", 55, 143, 1},
        {"over the clockwise button's text", 300, 170, 0},
    };
    ImageRotationDlgRecord record{2};
    pt::onDialog(kImageRotationDialogId, [&](DialogDriver& d) {
        int expected = 2;
        for (const Click& c : clicks) {
            SCOPED_TRACE(c.name);
            // Start each click from another row so that the click is what checks its row.
            const int other = (c.row + 1) % 3;
            d.click(kButtons[other]);
            d.clickClient(c.x, c.y);
            EXPECT_EQ(checkedRow(d), c.row);
            EXPECT_FALSE(d.ended());
            expected = c.row;
        }
        // Outside every rectangle (between the pictures) nothing changes.
        d.clickClient(40, 150);
        EXPECT_EQ(checkedRow(d), expected);
        // While another reaction holds the busy flag a picture click does nothing.
        DialogCallbackBusy = 1;
        d.clickClient(40, 220);
        DialogCallbackBusy = 0;
        EXPECT_EQ(checkedRow(d), expected);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunImageRotationDlg(&record), 1);
    EXPECT_EQ(record.index, 0);
}

TEST_F(PictureDialogsTest, RotationIndicesAndSnappingFollowQuarterTurns) {
    struct Case {
        int32_t rotation;
        int32_t snapped;
    };
    const Case cases[] = {{-9000, -9000}, {0, 0},        {9000, 9000},    {4499, 0}, {4500, 9000},
                          {-4500, -9000}, {18000, 9000}, {-27000, -9000}, {1000, 0}, {-4499, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rotation);
        EXPECT_EQ(SnapRotation(c.rotation), c.snapped);
        // The index of a snapped turn always names a button: (index - 1) x 9000 gives it back.
        const int32_t index = RotationIndexOf(c.snapped);
        ASSERT_GE(index, 0);
        ASSERT_LE(index, 2);
        EXPECT_EQ((index - 1) * kQuarterTurn, c.snapped);
    }
    // Division truncates toward zero.
    EXPECT_EQ(RotationIndexOf(-8999), 1);
    EXPECT_EQ(RotationIndexOf(8999), 1);
}

TEST_F(PictureDialogsTest, TheRotationCommandSetsTheNextTurnOrBoth) {
    struct Case {
        const char* name;
        int32_t next, permanent; // before
        int shownRow;
        int choose;
        int closeWith;
        int32_t nextAfter, permanentAfter;
    };
    const Case cases[] = {
        {"next picture only, clockwise", 0, 0, 1, 0, plat::IDOK, -9000, 0},
        {"next picture only keeps the permanent turn", 9000, 9000, 2, 1, plat::IDOK, 0, 9000},
        {"permanently upright", -9000, 9000, 0, 1, kRotationPermanentItem, 0, 0},
        {"permanently anticlockwise", 0, 0, 1, 2, kRotationPermanentItem, 9000, 9000},
        {"cancel", -9000, 9000, 0, 2, plat::IDCANCEL, -9000, 9000},
        {"a turn between buttons shows the nearest", 6000, 0, 2, 2, plat::IDOK, 9000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NextPictureRotation = c.next;
        PictureRotationSetting = c.permanent;
        pt::onDialog(kImageRotationDialogId, [&](DialogDriver& d) {
            EXPECT_EQ(checkedRow(d), c.shownRow);
            d.click(kButtons[c.choose]);
            d.click(c.closeWith);
        });
        EXPECT_EQ(DoMenuCommand(kImageRotationMenuId), 1);
        EXPECT_EQ(NextPictureRotation, c.nextAfter);
        EXPECT_EQ(PictureRotationSetting, c.permanentAfter);
    }
}

TEST_F(PictureDialogsTest, AfterAPictureTheDialogShowsThePermanentTurnAgain) {
    ExprFilePane* pane = typed("x+1");
    PictureRotationSetting = 9000;
    NextPictureRotation = 9000;
    pt::onDialog(kImageRotationDialogId, [&](DialogDriver& d) {
        d.click(kRotationClockwiseItem);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(kImageRotationMenuId), 1);
    EXPECT_EQ(NextPictureRotation, -9000);
    pt::onDialog(kImageRotationDialogId, [&](DialogDriver& d) {
        EXPECT_EQ(checkedRow(d), 0);
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(DoMenuCommand(kImageRotationMenuId), 1);

    // The picture uses the clockwise turn once; the dialog then opens on the permanent one.
    std::unique_ptr<WinUfo> upright;
    {
        const int32_t saved = NextPictureRotation;
        NextPictureRotation = 0;
        upright = pictureOf(pane->expression(), 0);
        NextPictureRotation = saved;
    }
    std::unique_ptr<WinUfo> turned = pictureOf(pane->expression(), 0);
    EXPECT_EQ(sizeOf(turned.get()).width, sizeOf(upright.get()).height);
    pt::onDialog(kImageRotationDialogId, [&](DialogDriver& d) {
        EXPECT_EQ(checkedRow(d), 2);
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(DoMenuCommand(kImageRotationMenuId), 1);
    EXPECT_EQ(NextPictureRotation, 9000);
}

// ---- "Bords de l'image"

TEST_F(PictureDialogsTest, MarginsDialogShowsTheFieldsAndWritesBackOnlyOnOk) {
    ImageMarginsDlgRecord record;
    const char* shown[] = {"1", "-2", "30", "100"};
    for (int i = 0; i < 4; ++i)
        std::snprintf(record.fields[i].data(), record.fields[i].size(), "%s", shown[i]);
    const int items[] = {kMarginLeftItem, kMarginRightItem, kMarginTopItem, kMarginBottomItem};

    pt::onDialog(kImageMarginsDialogId, [&](DialogDriver& d) {
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(d.text(items[i]), shown[i]) << i;
        d.setText(kMarginLeftItem, "9");
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(RunImageMarginsDlg(&record), 0);
    EXPECT_STREQ(record.fields[0].data(), "1");

    // A text longer than a field is cut to 239 characters.
    const std::string longText(300, '7');
    pt::onDialog(kImageMarginsDialogId, [&](DialogDriver& d) {
        d.setText(kMarginLeftItem, "abc");
        d.setText(kMarginRightItem, "");
        d.setText(kMarginTopItem, longText);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunImageMarginsDlg(&record), 1);
    EXPECT_STREQ(record.fields[0].data(), "abc");
    EXPECT_STREQ(record.fields[1].data(), "");
    EXPECT_EQ(std::string(record.fields[2].data()), longText.substr(0, kDialogTextSize - 1));
    EXPECT_STREQ(record.fields[3].data(), "100");
}

TEST_F(PictureDialogsTest, MarginTextIsReadAsADecimalNumberAndClamped) {
    struct Case {
        const char* text;
        int32_t margin;
    };
    const Case cases[] = {
        {"12", 12}, {"-20", -5},          {"250", 100},         {"abc", 0},
        {"", 0},    {"  +7", 7},          {"-5", -5},           {"100", 100},
        {"8pt", 8}, {"99999999999", 100}, {"-99999999999", -5}, {"-", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(MarginFromText(c.text), c.margin);
    }
}

TEST_F(PictureDialogsTest, TheMarginsCommandShowsTheMarginsAndStoresThemClamped) {
    PictureMarginSettings = PictureMargins{3, -4, 50, 0}; // left, top, right, bottom
    pt::onDialog(kImageMarginsDialogId, [&](DialogDriver& d) {
        EXPECT_EQ(d.text(kMarginLeftItem), "3");
        EXPECT_EQ(d.text(kMarginRightItem), "50");
        EXPECT_EQ(d.text(kMarginTopItem), "-4");
        EXPECT_EQ(d.text(kMarginBottomItem), "0");
        d.setText(kMarginLeftItem, "-20");
        d.setText(kMarginRightItem, "250");
        d.setText(kMarginTopItem, "lettres");
        d.setText(kMarginBottomItem, " 17");
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(kImageMarginsMenuId), 1);
    EXPECT_EQ(PictureMarginSettings.left, -5);
    EXPECT_EQ(PictureMarginSettings.right, 100);
    EXPECT_EQ(PictureMarginSettings.top, 0);
    EXPECT_EQ(PictureMarginSettings.bottom, 17);

    pt::onDialog(kImageMarginsDialogId, [&](DialogDriver& d) {
        d.setText(kMarginLeftItem, "40");
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(DoMenuCommand(kImageMarginsMenuId), 1);
    EXPECT_EQ(PictureMarginSettings.left, -5);
    EXPECT_EQ(PictureMarginSettings.bottom, 17);
}

// ---- The pictures

int32_t Dots(int32_t points, int32_t dpi) {
    return static_cast<int32_t>(std::lround(points * static_cast<double>(dpi) / 72.0));
}

TEST_F(PictureDialogsTest, APictureGrowsByExactlyItsMarginsAtItsResolution) {
    ExprFilePane* pane = typed("x+1");
    struct Case {
        const char* name;
        int32_t dpi;
        PictureMargins margins; // left, top, right, bottom
        int32_t turn;
    };
    // Resolutions away from the screen's 96 (one within 4 of it is taken as the screen's).
    const Case cases[] = {
        {"whole pixels at 144 dpi", 144, {10, 5, 20, 3}, 0},
        {"rounded at 110 dpi", 110, {10, 5, 20, -3}, 0},
        {"largest at 300 dpi", 300, {100, 100, 100, 100}, 0},
        {"negative ones crop", 200, {-5, -5, -5, -5}, 0},
        {"around a turned picture", 150, {7, 1, 0, 13}, 9000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PictureMarginSettings = PictureMargins{};
        NextPictureRotation = c.turn;
        const Size plain = sizeOf(pictureOf(pane->expression(), c.dpi).get());
        PictureMarginSettings = c.margins;
        NextPictureRotation = c.turn;
        const Size framed = sizeOf(pictureOf(pane->expression(), c.dpi).get());
        ASSERT_GT(plain.width, 20);
        EXPECT_EQ(framed.width,
                  plain.width + Dots(c.margins.left, c.dpi) + Dots(c.margins.right, c.dpi));
        EXPECT_EQ(framed.height,
                  plain.height + Dots(c.margins.top, c.dpi) + Dots(c.margins.bottom, c.dpi));
        if (c.turn == 0) {
            // The baseline stays on the expression, as far as the picture still reaches below
            // it: a bottom margin that crops more than the descent leaves it on the bottom edge.
            const int32_t descent = std::clamp(
                plain.height - plain.baseline + Dots(c.margins.bottom, c.dpi), 0, framed.height);
            EXPECT_EQ(framed.height - framed.baseline, descent);
        }
    }
}

TEST_F(PictureDialogsTest, TheExpressionIsDrawnInsideTheMarginsAsItWasWithout) {
    ExprFilePane* pane = typed("x+1");
    // At the screen's resolution the recording is not rescaled, so a shift is exact; 3 points
    // make 4 dots.
    const int32_t dpi = 0;
    const auto played = [&](const PictureMargins& margins) {
        PictureMarginSettings = margins;
        std::unique_ptr<WinUfo> picture = pictureOf(pane->expression(), dpi);
        const Size s = sizeOf(picture.get());
        std::unique_ptr<oPixMap> pixels = WhitePixMap(s.width, s.height);
        DrawWinUfo(picture.get(), *pixels, 0, 0);
        return pixels;
    };
    std::unique_ptr<oPixMap> plain = played(PictureMargins{});
    std::unique_ptr<oPixMap> framed = played(PictureMargins{15, 9, 6, 6});
    ASSERT_EQ(framed->width(), plain->width() + 20 + 8);
    ASSERT_EQ(framed->height(), plain->height() + 12 + 8);
    // The plain picture reappears 20 dots right and 12 down: that shift matches it better than
    // any shift a dot or two away (the text renderer may place a stray dot differently).
    const auto mismatches = [&](int dx, int dy) {
        int count = 0;
        for (int y = 0; y < plain->height(); ++y)
            for (int x = 0; x < plain->width(); ++x)
                count += PixelOf(*framed, x + dx, y + dy) != PixelOf(*plain, x, y);
        return count;
    };
    int ink = 0;
    for (int y = 0; y < plain->height(); ++y)
        for (int x = 0; x < plain->width(); ++x)
            ink += PixelOf(*plain, x, y) != 0xFFFFFF;
    ASSERT_GT(ink, 20);
    const int atMargins = mismatches(20, 12);
    EXPECT_LE(atMargins, ink / 20);
    for (int dy = 10; dy <= 14; ++dy)
        for (int dx = 18; dx <= 22; ++dx)
            if (dx != 20 || dy != 12) {
                EXPECT_GT(mismatches(dx, dy), atMargins) << dx << ", " << dy;
            }
    // Far from the expression the margins are blank (glyphs may reach a dot or two past their
    // boxes, which the plain picture cut off).
    int inkFar = 0;
    for (int y = 0; y < framed->height(); ++y)
        for (int x = 0; x < framed->width(); ++x)
            if ((x < 16 || y < 8 || y >= framed->height() - 5) &&
                PixelOf(*framed, x, y) != 0xFFFFFF)
                ++inkFar;
    EXPECT_EQ(inkFar, 0);
}

TEST_F(PictureDialogsTest, ATinyPictureWithNegativeMarginsKeepsOneDot) {
    ExprFilePane* pane = typed("x");
    const int32_t dpi = 72; // "x" is a few dots across, less than the crop
    PictureMarginSettings = PictureMargins{-5, -5, -5, -5};
    const Size plain = [&] {
        const PictureMargins saved = PictureMarginSettings;
        PictureMarginSettings = PictureMargins{};
        const Size size = sizeOf(pictureOf(pane->expression(), dpi).get());
        PictureMarginSettings = saved;
        return size;
    }();
    const Size cropped = sizeOf(pictureOf(pane->expression(), dpi).get());
    const int32_t crop = 2 * Dots(5, dpi);
    EXPECT_EQ(cropped.width, std::max(1, plain.width - crop));
    EXPECT_EQ(cropped.height, std::max(1, plain.height - crop));
    EXPECT_GE(cropped.width, 1);
    EXPECT_GE(cropped.height, 1);
}

} // namespace
} // namespace kvtest
