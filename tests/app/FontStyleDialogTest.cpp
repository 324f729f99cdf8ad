// The font, style and size dialog on the headless back end: a style rule becomes the dialog's
// record and the dialog's answer becomes the rule again; the face list, the family box and the
// popups behave as the user sees them; Cancel changes nothing. Then the change-font command and
// Modify on a typed word, through the running program.
#include "Dialogs/FontStyleDialog.h"

#include "App/MenuDispatch.h"
#include "BuiltinResources.h"
#include "Dialogs/DialogFrame.h"
#include "ExprSrcs/EPane.h"
#include "ExprSrcs/ExprFilePane.h"
#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFONTS.h"
#include "OverPc/PGRAPHIC.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/PMENU.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eChar.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eSelect.h"
#include "app/AppDocumentFixture.h"
#include "app/DialogTestFixture.h"
#include "plat/Dialog.h"
#include "plat/Resources.h"
#include "plat/Testing.h"
#include "platform/SysTempDir.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

namespace pt = plat::testing;
using pt::DialogDriver;

FSSRecord Inherit() {
    FSSRecord r;
    InitFSSRecord(r);
    return r;
}

FSSRecord Named(const char* face, int32_t size) {
    FSSRecord r = Inherit();
    SetFSSFontName(r, face);
    r.size = size;
    return r;
}

std::string FaceAt(int32_t row) {
    char name[kFontFaceNameSize];
    FaceNameAtPosition(row, name);
    return name;
}

bool SameBytes(const FSSRecord& a, const FSSRecord& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// ---- The record conversions ---------------------------------------------------------------------

TEST(FontStyleRecordTest, SizesShowAsPointsOrAsStepsSmallerOrLarger) {
    struct Case {
        int32_t size;
        int32_t mode;
        std::string text;
    } const cases[] = {
        {12, kSizeModePoints, "12"},
        {0, kSizeModePoints, "0"},
        {kSizeInherit - 3, kSizeModeSmaller, "3"},
        {kSizeInherit + 5, kSizeModeLarger, "5"},
        // Inheriting is no step at all.
        {kSizeInherit, kSizeModeLarger, "0"},
        // The reset marker stands for the base size.
        {kSizeReset, kSizeModePoints, std::to_string(BaseStyleSize())},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        FontStyleSizeRecord record;
        FillFontStyleSizeRecord(Named("Times", c.size), "Base Face", record);
        EXPECT_EQ(record.sizeMode, c.mode);
        EXPECT_EQ(std::string(record.sizeText), c.text);
    }
}

TEST(FontStyleRecordTest, FamilyIsKeptForTheInheritingNameAndNamedOtherwise) {
    FontStyleSizeRecord record;
    FillFontStyleSizeRecord(Inherit(), "Base Face", record);
    EXPECT_EQ(record.sameFamily, 1);
    EXPECT_STREQ(record.selectFace, "Base Face");

    FillFontStyleSizeRecord(Named("?", 12), nullptr, record);
    EXPECT_EQ(record.sameFamily, 1);
    EXPECT_STREQ(record.selectFace, "");

    FillFontStyleSizeRecord(Named("Courier", 12), "Base Face", record);
    EXPECT_EQ(record.sameFamily, 0);
    EXPECT_STREQ(record.selectFace, "Courier");
}

TEST(FontStyleRecordTest, StyleFieldsShowWhatTheirPopupsOffer) {
    struct Case {
        const char* name;
        uint8_t byte;   // bold and underline
        uint8_t italic; // italic mode
        uint8_t ink;    // compression mode
        int32_t bold;   // as shown
        int32_t italicShown;
        int32_t compression;
    } const cases[] = {
        {"on", 1, 1, 1, kStyleOn, kItalicOn, kStyleOn},
        {"off", 0, 0, 0, kStyleOff, kItalicOff, kStyleOff},
        {"inherit", 2, 2, 2, kStyleInherit, kStyleInherit, kStyleInherit},
        {"second inherit value", 5, 5, 5, kStyleInherit, kStyleInherit, kStyleInherit},
        {"italic letters, other ink mode", 1, 3, 3, kStyleOn, kItalicLetters, kStyleOn},
        {"italic non-functions", 0, 4, 7, kStyleOff, kItalicLettersNotFunctions, kStyleOn},
        {"out of range", 9, 9, 6, kStyleOff, kItalicOff, kStyleOn},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FSSRecord style = Inherit();
        style.style[kStyleBold] = c.byte;
        style.style[kStyleUnderline] = c.byte;
        style.setItalicMode(c.italic);
        style.setInkMode(c.ink);
        FontStyleSizeRecord record;
        FillFontStyleSizeRecord(style, nullptr, record);
        EXPECT_EQ(record.bold, c.bold);
        EXPECT_EQ(record.underline, c.bold);
        EXPECT_EQ(record.italic, c.italicShown);
        EXPECT_EQ(record.compression, c.compression);
    }
}

TEST(FontStyleRecordTest, WhatIsLeftAsShownKeepsTheRulesOwnValues) {
    // Values the dialog can only approximate survive an OK that did not touch them.
    FSSRecord style = Named("Some Face", kSizeReset);
    style.style[kStyleBold] = kStyleInheritToo;
    style.setInkMode(3);
    style.setItalicMode(4);
    style.style[kStyleOutline] = 1;
    const FSSRecord before = style;
    FontStyleSizeRecord shown;
    FillFontStyleSizeRecord(style, nullptr, shown);
    EXPECT_FALSE(ApplyFontStyleSizeRecord(shown, shown, "", style));
    EXPECT_TRUE(SameBytes(style, before));
}

TEST(FontStyleRecordTest, TypedSizesAreReadForTheirModeAndKeptWithinLimits) {
    const int32_t minimum = std::max<int32_t>(MinimumFontSize, 1);
    struct Case {
        int32_t mode;
        const char* text;
        int32_t size;
        bool clamped;
    } const cases[] = {
        {kSizeModePoints, "14", 14, false},
        {kSizeModePoints, " +18pt", 18, false},
        {kSizeModePoints, "0", minimum, true},
        {kSizeModePoints, "-4", minimum, true},
        {kSizeModePoints, "99999999", kMaxStepSize, true},
        {kSizeModeSmaller, "3", kSizeInherit - 3, false},
        {kSizeModeSmaller, "20", kSizeRelativeMin, false},
        {kSizeModeSmaller, "21", kSizeRelativeMin, true},
        {kSizeModeLarger, "50", kSizeRelativeMax, false},
        {kSizeModeLarger, "60", kSizeRelativeMax, true},
        {kSizeModeLarger, "-2", kSizeInherit - 2, false},
        // Text without digits reads as no step.
        {kSizeModeLarger, "x", kSizeInherit, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + " " + c.text);
        FSSRecord style = Named("Face", 12);
        FontStyleSizeRecord shown;
        FillFontStyleSizeRecord(style, nullptr, shown);
        FontStyleSizeRecord result = shown;
        result.sizeMode = c.mode;
        std::strncpy(result.sizeText, c.text, sizeof result.sizeText - 1);
        EXPECT_EQ(ApplyFontStyleSizeRecord(shown, result, "", style), c.clamped);
        EXPECT_EQ(style.size, c.size);
    }
}

TEST(FontStyleRecordTest, ChangedStylesAndTheChosenFaceAreStored) {
    FSSRecord style = Named("Old Face", 12);
    FontStyleSizeRecord shown;
    FillFontStyleSizeRecord(style, nullptr, shown);
    shown.faceIndex = 4;
    FontStyleSizeRecord result = shown;
    result.faceIndex = 7;
    result.bold = kStyleOn;
    result.italic = kItalicLetters;
    result.underline = kStyleOff;
    result.compression = kStyleOn;
    ApplyFontStyleSizeRecord(shown, result, "New Face", style);
    EXPECT_STREQ(style.fontName, "New Face");
    EXPECT_EQ(style.style[kStyleBold], kStyleOn);
    EXPECT_EQ(style.italicMode(), kItalicLetters);
    EXPECT_EQ(style.style[kStyleItalic], kStyleOn); // the italic byte follows the mode
    EXPECT_EQ(style.style[kStyleUnderline], kStyleOff);
    EXPECT_EQ(style.inkMode(), 1);
    EXPECT_EQ(style.size, 12);

    // Italic off and inherit carry the byte along too.
    FontStyleSizeRecord off = result;
    off.italic = kItalicOff;
    ApplyFontStyleSizeRecord(result, off, "New Face", style);
    EXPECT_EQ(style.italicMode(), kItalicOff);
    EXPECT_EQ(style.style[kStyleItalic], kStyleOff);
    FontStyleSizeRecord inherit = off;
    inherit.italic = kStyleInherit;
    ApplyFontStyleSizeRecord(off, inherit, "New Face", style);
    EXPECT_EQ(style.italicMode(), kStyleInherit);
    EXPECT_EQ(style.style[kStyleItalic], kStyleInherit);

    // Keeping the family stores "*"; no face chosen keeps the rule's name.
    FontStyleSizeRecord same = result;
    same.sameFamily = 1;
    ApplyFontStyleSizeRecord(shown, same, "New Face", style);
    EXPECT_STREQ(style.fontName, "*");
    FSSRecord missing = Named("Not Installed", 12);
    FontStyleSizeRecord none = shown;
    none.faceIndex = -1;
    ApplyFontStyleSizeRecord(shown, none, "", missing);
    EXPECT_STREQ(missing.fontName, "Not Installed");
}

// ---- The dialog ---------------------------------------------------------------------------------

class FontStyleDialogTest : public kvtest::DialogTestFixture {
protected:
    void SetUp() override {
        DialogTestFixture::SetUp();
        InstallGraphicsFontHooks();
        InitGraphics();
        ResetStyleTable();
        m_beeps = static_cast<int>(pt::beeps().size());
        ASSERT_NE(TheFontManager(), nullptr);
        ASSERT_GT(TheFontManager()->faceCount(), 3);
    }
    void TearDown() override {
        ShutdownGraphics();
        SetGraphicsFontHooks(GraphicsFontHooks{});
        DeleteFontManager();
        ResetStyleTable();
        DialogTestFixture::TearDown();
    }
    int m_beeps = 0;
};

TEST_F(FontStyleDialogTest, OpensOnTheRuleAndOkWritesEveryFieldBack) {
    const std::string face = FaceAt(2);
    FSSRecord style = Named(face.c_str(), kSizeInherit - 2);
    style.style[kStyleBold] = kStyleOn;
    style.setItalicMode(kItalicLettersNotFunctions);
    style.style[kStyleUnderline] = kStyleInherit;
    style.setInkMode(kStyleOff);
    const std::string other = FaceAt(3);
    pt::onDialog(kFontStyleDialogId, [&](DialogDriver& d) {
        // What the dialog shows.
        EXPECT_EQ(d.text(kFontStyleTitleItem), "Choose the font");
        EXPECT_FALSE(d.checked(kFontStyleSameFamily));
        EXPECT_EQ(d.curSel(kFontStyleFaceList), 2);
        EXPECT_TRUE(d.checked(kFontStyleSizeFirst + kSizeModeSmaller));
        EXPECT_EQ(d.text(kFontStyleSizeText), "2");
        EXPECT_EQ(d.curSel(kFontStyleBoldItem), 0);      // activé
        EXPECT_EQ(d.curSel(kFontStyleItalicItem), 2);    // non-fonctions
        EXPECT_EQ(d.curSel(kFontStyleUnderlineItem), 2); // même (after the separator)
        EXPECT_EQ(d.curSel(kFontStyleCompressionItem), 1);
        // Every field changed.
        d.selectRow(kFontStyleFaceList, 3);
        d.click(kFontStyleSizeFirst + kSizeModeLarger);
        d.setText(kFontStyleSizeText, "4");
        d.chooseCombo(kFontStyleBoldItem, 1);        // désactivé
        d.chooseCombo(kFontStyleItalicItem, 1);      // alphabétique
        d.chooseCombo(kFontStyleUnderlineItem, 0);   // activé
        d.chooseCombo(kFontStyleCompressionItem, 2); // même
        d.click(plat::IDOK);
    });
    ASSERT_TRUE(RunFSSDialogOn(style, "Choose the font"));
    EXPECT_EQ(std::string(style.fontName), other);
    EXPECT_EQ(style.size, kSizeInherit + 4);
    EXPECT_EQ(style.style[kStyleBold], kStyleOff);
    EXPECT_EQ(style.italicMode(), kItalicLetters);
    EXPECT_EQ(style.style[kStyleUnderline], kStyleOn);
    EXPECT_EQ(style.inkMode(), kStyleInherit);
    EXPECT_EQ(static_cast<int>(pt::beeps().size()), m_beeps);
}

TEST_F(FontStyleDialogTest, CancelAndADialogLeftAsShownChangeNothing) {
    FSSRecord style = Named(FaceAt(1).c_str(), 17);
    style.setInkMode(6);
    style.style[kStyleBold] = 9;
    const FSSRecord before = style;
    pt::onDialog(kFontStyleDialogId, [&](DialogDriver& d) {
        d.selectRow(kFontStyleFaceList, 0);
        d.setText(kFontStyleSizeText, "30");
        d.chooseCombo(kFontStyleBoldItem, 0);
        d.click(plat::IDCANCEL);
    });
    EXPECT_FALSE(RunFSSDialogOn(style, nullptr));
    EXPECT_TRUE(SameBytes(style, before));

    pt::onDialog(kFontStyleDialogId, [&](DialogDriver& d) { d.click(plat::IDOK); });
    EXPECT_TRUE(RunFSSDialogOn(style, nullptr));
    EXPECT_TRUE(SameBytes(style, before));
}

TEST_F(FontStyleDialogTest, SameFamilyAndAChosenFaceExcludeEachOther) {
    // The base style's face is what keeping the family shows.
    SetFSSFontName(StyleTable[0], FaceAt(1));
    FSSRecord style = Inherit();
    pt::onDialog(kFontStyleDialogId, [&](DialogDriver& d) {
        EXPECT_TRUE(d.checked(kFontStyleSameFamily));
        EXPECT_EQ(d.curSel(kFontStyleFaceList), 1);
        d.selectRow(kFontStyleFaceList, 2);
        EXPECT_FALSE(d.checked(kFontStyleSameFamily));
        // Clicking the box never unchecks it: it comes back checked and the face goes.
        d.click(kFontStyleSameFamily);
        EXPECT_TRUE(d.checked(kFontStyleSameFamily));
        EXPECT_EQ(d.curSel(kFontStyleFaceList), -1);
        d.click(kFontStyleSameFamily);
        EXPECT_TRUE(d.checked(kFontStyleSameFamily));
        d.click(plat::IDOK);
    });
    ASSERT_TRUE(RunFSSDialogOn(style, nullptr));
    EXPECT_STREQ(style.fontName, "*");

    // A rule with a face of its own comes to keep the family through the box.
    FSSRecord named = Named(FaceAt(2).c_str(), 12);
    pt::onDialog(kFontStyleDialogId, [&](DialogDriver& d) {
        EXPECT_FALSE(d.checked(kFontStyleSameFamily));
        EXPECT_EQ(d.curSel(kFontStyleFaceList), 2);
        d.click(kFontStyleSameFamily);
        d.click(plat::IDOK);
    });
    ASSERT_TRUE(RunFSSDialogOn(named, nullptr));
    EXPECT_STREQ(named.fontName, "*");
}

TEST_F(FontStyleDialogTest, DoubleClickingAFaceClosesAsOkWithThatFace) {
    FSSRecord style = Inherit();
    const std::string face = FaceAt(3);
    pt::onDialog(kFontStyleDialogId, [&](DialogDriver& d) {
        d.doubleClickRow(kFontStyleFaceList, 3);
        EXPECT_TRUE(d.ended());
    });
    ASSERT_TRUE(RunFSSDialogOn(style, nullptr));
    EXPECT_EQ(std::string(style.fontName), face);
}

TEST_F(FontStyleDialogTest, ATypedSizeBeyondTheLimitsIsClampedWithABeep) {
    FSSRecord style = Named(FaceAt(0).c_str(), 12);
    pt::onDialog(kFontStyleDialogId, [&](DialogDriver& d) {
        d.click(kFontStyleSizeFirst + kSizeModeSmaller);
        d.setText(kFontStyleSizeText, "99");
        d.click(plat::IDOK);
    });
    ASSERT_TRUE(RunFSSDialogOn(style, nullptr));
    EXPECT_EQ(style.size, kSizeRelativeMin);
    EXPECT_EQ(static_cast<int>(pt::beeps().size()), m_beeps + 1);
}

// ---- Through the running program ----------------------------------------------------------------

class FontStyleCommandTest : public kvtest::AppDocumentFixture {};

TEST_F(FontStyleCommandTest, ChangeFontOnASelectedWordIsOneUndoableEdit) {
    ExprFilePane* pane = typed("ab");
    const std::vector<FSSRecord> before = leafStyles(pane);
    ASSERT_FALSE(before.empty());
    DoCommand(kCmdSelectAll, 0);
    pt::onDialog(kFontStyleDialogId, [&](DialogDriver& d) {
        EXPECT_EQ(d.text(kFontStyleTitleItem),
                  "Modifier la police selon les r\xE8gles suivantes : ");
        d.chooseCombo(kFontStyleBoldItem, 0); // activé
        d.click(kFontStyleSizeFirst + kSizeModePoints);
        d.setText(kFontStyleSizeText, "30");
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(5377), 1); // Modifier > "&Modifier la police"
    pt::runUntilIdle();
    const std::vector<FSSRecord> after = leafStyles(pane);
    ASSERT_EQ(after.size(), before.size());
    for (const FSSRecord& r : after) {
        EXPECT_EQ(r.style[kStyleBold], kStyleOn);
        EXPECT_EQ(r.size, 30);
    }
    EXPECT_TRUE(pane->changed());

    // One undo puts every leaf back.
    ASSERT_TRUE(UndoLastEdit());
    const std::vector<FSSRecord> undone = leafStyles(pane);
    ASSERT_EQ(undone.size(), before.size());
    for (size_t i = 0; i < undone.size(); ++i) {
        EXPECT_EQ(undone[i].style[kStyleBold], before[i].style[kStyleBold]);
        EXPECT_EQ(undone[i].size, before[i].size);
    }
}

TEST_F(FontStyleCommandTest, CancelLeavesTheDocumentAlone) {
    ExprFilePane* pane = typed("ab");
    const std::vector<FSSRecord> before = leafStyles(pane);
    DoCommand(kCmdSelectAll, 0);
    pt::onDialog(kFontStyleDialogId, [&](DialogDriver& d) {
        d.chooseCombo(kFontStyleBoldItem, 0);
        d.click(plat::IDCANCEL);
    });
    DoMenuCommand(5377);
    pt::runUntilIdle();
    const std::vector<FSSRecord> after = leafStyles(pane);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i)
        EXPECT_TRUE(SameBytes(after[i], before[i]));
}

TEST_F(FontStyleCommandTest, ModifyOnACharacterOpensTheDialogAndRestylesIt) {
    ExprFilePane* pane = typed("x");
    const std::vector<FSSRecord> before = leafStyles(pane);
    ASSERT_EQ(before.size(), 1u);
    DoCommand(kCmdSelectAll, 0);
    bool opened = false;
    pt::onDialog(kFontStyleDialogId, [&](DialogDriver& d) {
        opened = true;
        d.chooseCombo(kFontStyleUnderlineItem, 0); // activé
        d.click(plat::IDOK);
    });
    EXPECT_EQ(CatchFail([] { DoCommand(kCmdModify, 0); }), 0);
    pt::runUntilIdle();
    EXPECT_TRUE(opened);
    const std::vector<FSSRecord> after = leafStyles(pane);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].style[kStyleUnderline], kStyleOn);
    ASSERT_TRUE(UndoLastEdit());
    EXPECT_EQ(leafStyles(pane)[0].style[kStyleUnderline], before[0].style[kStyleUnderline]);
}

} // namespace
