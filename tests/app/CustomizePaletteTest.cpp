// The Customize Palette dialogs driven through Options > "&Palette..." on the headless back end:
// moving, duplicating and clearing buttons, editing a sub-palette, Cancel putting every palette
// back, and OK writing palette.prf that the next start reads.
#include "App/MenuDispatch.h"
#include "Dialogs/CustomizePaletteDialogs.h"
#include "OverPc/PFILE.h"
#include "OverPc/Presourc.h"
#include "OverPc/commands/kPalette.h"
#include "OverSrcs/commands/kEdit.h"
#include "app/AppDocumentFixture.h"
#include "plat/Dialog.h"
#include "plat/Files.h"
#include "plat/Input.h"
#include "plat/Testing.h"

#include <gtest/gtest.h>

namespace kvtest {
namespace {

namespace pt = plat::testing;
using pt::DialogDriver;

constexpr int32_t kSlot = 3;

class CustomizePaletteTest : public AppDocumentFixture {
protected:
    void SetUp() override {
        AppDocumentFixture::SetUp();
        InstallPaletteHooks();
        ResetPalettes();
        // Copy, an insertion and sub-palette 3, each a 2 × 2 button in a 2 × 6 palette; the
        // sub-palette holds paste at its top-left.
        PaletteRecord main(2, 6);
        main.setBlock(0, 0, 2, 2, kCmdCopy);
        main.setBlock(0, 2, 2, 2, 0x4111);
        main.setBlock(0, 4, 2, 2, kCmdSubPaletteBase + kSlot);
        MainPalette() = main;
        PaletteRecord sub(2, 4);
        sub.setBlock(0, 0, 2, 2, kCmdPaste);
        sub.defaultRow = sub.defaultColumn = 0;
        SubPalette(kSlot) = std::make_unique<PaletteRecord>(sub);
    }
    void TearDown() override {
        ResetPalettes();
        AppDocumentFixture::TearDown();
    }
    // The middle of the 2 × 2 block at a cell, in the preview's coordinates.
    static plat::POINT middle(int32_t row, int32_t column) {
        const int32_t cell = CustomizePreviewCell();
        return {column * cell + cell, row * cell + cell};
    }
    // The middle of a cell: a drop there on empty cells puts the button's top-left in it.
    static plat::POINT inCell(int32_t row, int32_t column) {
        const int32_t cell = CustomizePreviewCell();
        return {column * cell + cell / 2, row * cell + cell / 2};
    }
    // A drag whose press is handled before the rest of it arrives, as a person's drag is.
    static void drag(DialogDriver& d, int preview, plat::POINT from, plat::POINT to) {
        pt::press(d.item(preview), from.x, from.y);
        pt::move(d.item(preview), to.x, to.y);
        pt::release(d.item(preview), to.x, to.y);
        d.pump();
    }
    static std::string prefsFile() { return PrefsFolderPath() + kPalettePrefsFile; }
};

TEST_F(CustomizePaletteTest, MovedDuplicatedClearedAndSubPaletteButtonsSurviveOkAndARestart) {
    bool kindsOffAtFirst = false, boxOffInMain = false, popupOffInSub = false;
    int32_t afterMoves = 0;
    pt::onDialog(kCustomizePaletteDialogId, [&](DialogDriver& d) {
        kindsOffAtFirst = !d.enabled(5739) && !d.enabled(5743);
        boxOffInMain = !d.enabled(kCustomizePaletteDefaultItem);
        // Copy exchanged with the insertion, then copied with Alt+Ctrl below the palette.
        drag(d, kCustomizePalettePreviewItem, middle(0, 0), middle(0, 2));
        pt::keyDown(plat::VK_MENU);
        pt::keyDown(plat::VK_CONTROL);
        drag(d, kCustomizePalettePreviewItem, middle(0, 2), inCell(2, 0));
        pt::keyUp(plat::VK_CONTROL);
        pt::keyUp(plat::VK_MENU);
        afterMoves = TheCustomization.working.code(2, 0);
        pt::doubleClick(d.item(kCustomizePalettePreviewItem), middle(0, 4).x, middle(0, 4).y);
        d.pump();
    });
    pt::onDialog(kCustomizeSubPaletteDialogId, [&](DialogDriver& d) {
        popupOffInSub = !d.enabled(kCustomizeSubSubButton);
        // Paste moved right and made the default button.
        drag(d, kCustomizeSubPreviewItem, middle(0, 0), inCell(0, 2));
        d.click(kCustomizeSubDefaultItem);
        d.click(plat::IDOK);
    });
    pt::onDialog(kCustomizePaletteDialogId, [&](DialogDriver& d) {
        // The insertion (now at the left) cleared.
        pt::click(d.item(kCustomizePalettePreviewItem), middle(0, 0).x, middle(0, 0).y);
        d.pump();
        d.click(kCustomizePaletteNothingButton);
        d.click(plat::IDOK);
    });
    DoMenuCommand(kCustomizePaletteMenuId);
    EXPECT_TRUE(kindsOffAtFirst);
    EXPECT_TRUE(boxOffInMain);
    EXPECT_TRUE(popupOffInSub);
    EXPECT_EQ(afterMoves, kCmdCopy);

    PaletteRecord expected(4, 6);
    expected.setBlock(0, 2, 2, 2, kCmdCopy);
    expected.setBlock(0, 4, 2, 2, kCmdSubPaletteBase + kSlot);
    expected.setBlock(2, 0, 2, 2, kCmdCopy);
    PaletteRecord expectedSub(2, 4);
    expectedSub.setBlock(0, 2, 2, 2, kCmdPaste);
    expectedSub.defaultRow = 0;
    expectedSub.defaultColumn = 2;
    for (const char* when : {"after OK", "after a restart"}) {
        SCOPED_TRACE(when);
        const PaletteRecord& main = MainPalette();
        ASSERT_EQ(main.rows, expected.rows);
        ASSERT_EQ(main.columns, expected.columns);
        for (int32_t r = 0; r < main.rows; ++r)
            for (int32_t c = 0; c < main.columns; ++c)
                EXPECT_EQ(main.code(r, c), expected.code(r, c)) << r << "," << c;
        ASSERT_TRUE(SubPalette(kSlot));
        EXPECT_EQ(SubPalette(kSlot)->code(0, 2), kCmdPaste);
        EXPECT_EQ(SubPalette(kSlot)->code(0, 0), 0);
        EXPECT_EQ(SubPaletteDefaultCode(kSlot), kCmdPaste);
        // The palette window shows the copy button where the insertion was.
        SetPaletteWindowWanted(true);
        if (ThePalettePane() == nullptr)
            ShowPaletteWindow();
        pt::runUntilIdle();
        ASSERT_NE(ThePalettePane(), nullptr);
        PaletteBlock block;
        const int32_t cell = ThePalettePane()->cellSize();
        ASSERT_TRUE(ThePalettePane()->blockAt({3 * cell, cell}, block));
        EXPECT_EQ(block.code, kCmdCopy);
        EXPECT_FALSE(ThePalettePane()->blockAt({cell, cell}, block));
        ClosePaletteWindow();
        ResetPalettes();
        LoadPalettePrefs(PrefsFolderPath());
    }
}

TEST_F(CustomizePaletteTest, CancelPutsBackTheMainPaletteAndEverySubPalette) {
    const PaletteRecord main = MainPalette();
    const PaletteRecord sub = *SubPalette(kSlot);
    bool nothingSelected = false;
    size_t beeps = 0;
    pt::onDialog(kCustomizePaletteDialogId, [&](DialogDriver& d) {
        // A press left of the palette selects nothing; clearing nothing only beeps.
        pt::click(d.item(kCustomizePalettePreviewItem), -2, 4);
        d.pump();
        nothingSelected = !d.enabled(kCustomizePaletteNothingButton);
        const size_t before = pt::beeps().size();
        d.pump();
        ClearSelectedButtons();
        beeps = pt::beeps().size() - before;
        pt::doubleClick(d.item(kCustomizePalettePreviewItem), middle(0, 4).x, middle(0, 4).y);
        d.pump();
    });
    pt::onDialog(kCustomizeSubPaletteDialogId, [&](DialogDriver& d) {
        // The only button cleared: OK frees the sub-palette and clears its main button.
        pt::click(d.item(kCustomizeSubPreviewItem), middle(0, 0).x, middle(0, 0).y);
        d.pump();
        d.click(kCustomizeSubNothingButton);
        d.click(plat::IDOK);
    });
    int32_t cleared = -1;
    pt::onDialog(kCustomizePaletteDialogId, [&](DialogDriver& d) {
        cleared = TheCustomization.working.code(0, 4);
        d.click(plat::IDCANCEL);
    });
    DoMenuCommand(kCustomizePaletteMenuId);
    EXPECT_TRUE(nothingSelected);
    EXPECT_EQ(beeps, 1u);
    EXPECT_EQ(cleared, 0);
    EXPECT_TRUE(MainPalette() == main);
    ASSERT_TRUE(SubPalette(kSlot));
    EXPECT_TRUE(*SubPalette(kSlot) == sub);
    EXPECT_EQ(plat::GetFileAttributes(prefsFile().c_str()), plat::INVALID_FILE_ATTRIBUTES);
}

// Both dialogs answer their keys at their first open, before anything is chosen (when the
// controls for a chosen button are disabled): Tab moves the focus to another control that takes
// the keys, Escape cancels the sub-palette dialog, Enter presses OK; no key beeps.
TEST_F(CustomizePaletteTest, TheKeysWorkBeforeAnyButtonIsChosen) {
    // A default cell of its own, which OK would otherwise give it.
    MainPalette().defaultRow = MainPalette().defaultColumn = 0;
    const PaletteRecord main = MainPalette();
    const PaletteRecord sub = *SubPalette(kSlot);
    const size_t beeps = pt::beeps().size();
    // The focus is on a control of the dialog that takes the keys.
    const auto focusTakesKeys = [](const DialogDriver& d) {
        const plat::HWND f = plat::GetFocus();
        return f != nullptr && plat::IsChild(d.hwnd(), f) && plat::WindowTakesInput(f);
    };
    plat::INT_PTR subResult = -1, mainResult = -1;
    bool tabbed = false;
    pt::onDialog(kCustomizePaletteDialogId, [&](DialogDriver& d) {
        const plat::HWND first = plat::GetFocus();
        d.key(plat::VK_TAB);
        tabbed = focusTakesKeys(d) && plat::GetFocus() != first;
        pt::doubleClick(d.item(kCustomizePalettePreviewItem), middle(0, 4).x, middle(0, 4).y);
        d.pump();
    });
    pt::onDialog(kCustomizeSubPaletteDialogId, [&](DialogDriver& d) {
        EXPECT_TRUE(focusTakesKeys(d));
        d.escape();
        subResult = d.result();
    });
    pt::onDialog(kCustomizePaletteDialogId, [&](DialogDriver& d) {
        EXPECT_TRUE(focusTakesKeys(d));
        d.enter();
        mainResult = d.result();
    });
    DoMenuCommand(kCustomizePaletteMenuId);
    EXPECT_TRUE(tabbed);
    EXPECT_EQ(subResult, 0);
    EXPECT_EQ(mainResult, 1);
    EXPECT_EQ(pt::beeps().size(), beeps);
    EXPECT_TRUE(MainPalette() == main);
    ASSERT_TRUE(SubPalette(kSlot));
    EXPECT_TRUE(*SubPalette(kSlot) == sub);
}

// The preview shows the built-in palette with room beside it: a button copied there (Alt+Ctrl
// drag) widens the palette.
TEST_F(CustomizePaletteTest, AButtonCanBePlacedRightOfTheBuiltInPalette) {
    MainPalette() = BuiltInMainPalette();
    const int32_t columns = MainPalette().columns;
    const int32_t code = MainPalette().code(2, 0);
    ASSERT_NE(code, 0);
    pt::onDialog(kCustomizePaletteDialogId, [&](DialogDriver& d) {
        // The cell is in sight: a person drops only where the preview shows something.
        plat::RECT shown{};
        plat::GetClientRect(d.item(kCustomizePalettePreviewItem), &shown);
        const plat::POINT target = inCell(2, columns + 2);
        EXPECT_LT(target.x + CustomizePreviewCell(), shown.right);
        pt::keyDown(plat::VK_MENU);
        pt::keyDown(plat::VK_CONTROL);
        drag(d, kCustomizePalettePreviewItem, middle(2, 0), target);
        pt::keyUp(plat::VK_CONTROL);
        pt::keyUp(plat::VK_MENU);
        d.click(plat::IDOK);
    });
    DoMenuCommand(kCustomizePaletteMenuId);
    ASSERT_EQ(MainPalette().columns, columns + 4);
    EXPECT_EQ(MainPalette().code(2, columns + 2), code);
    EXPECT_EQ(MainPalette().code(2, 0), code);
}

// The preview shows a sub-palette button as the palette window does: with its default button's
// picture (here paste, the same picture as a paste button beside it).
TEST_F(CustomizePaletteTest, TheSubPaletteButtonShowsItsDefaultButtonInThePreview) {
    PaletteRecord main(2, 6);
    main.setBlock(0, 0, 2, 2, kCmdPaste);
    main.setBlock(0, 4, 2, 2, kCmdSubPaletteBase + kSlot);
    MainPalette() = main;
    pt::Image shown;
    pt::onDialog(kCustomizePaletteDialogId, [&](DialogDriver& d) {
        d.pump();
        shown = pt::pixels(d.item(kCustomizePalettePreviewItem));
        d.click(plat::IDCANCEL);
    });
    DoMenuCommand(kCustomizePaletteMenuId);
    const int32_t block = 2 * CustomizePreviewCell();
    ASSERT_GE(shown.width, 3 * block);
    int32_t differing = 0, inked = 0;
    for (int32_t y = 1; y < block; ++y)
        for (int32_t x = 1; x < block; ++x) {
            differing += shown.at(x, y) != shown.at(x + 2 * block, y) ? 1 : 0;
            inked += (shown.at(x, y) & 0xFFFFFF) != 0xFFFFFF ? 1 : 0;
        }
    EXPECT_GT(inked, 0) << "the paste button has a picture";
    EXPECT_EQ(differing, 0);
}

// The one-pixel strip between the preview's label rectangle and the preview is part of its label:
// a press there is a press outside the palette, which selects nothing (not the cell of some
// earlier press).
TEST_F(CustomizePaletteTest, APressOnThePreviewsLabelMarginSelectsNothing) {
    bool kindsOffBefore = false, kindsOffAfter = false, selected = true;
    pt::onDialog(kCustomizePaletteDialogId, [&](DialogDriver& d) {
        kindsOffBefore = !d.enabled(kCustomizePaletteNothingButton);
        plat::POINT corner{0, 0};
        plat::MapWindowPoints(d.item(kCustomizePalettePreviewItem), d.hwnd(), &corner, 1);
        d.clickClient(corner.x - 1, corner.y + CustomizePreviewCell() / 2);
        kindsOffAfter = !d.enabled(kCustomizePaletteNothingButton);
        selected = TheCustomization.firstRow >= 0;
        d.click(plat::IDCANCEL);
    });
    DoMenuCommand(kCustomizePaletteMenuId);
    EXPECT_TRUE(kindsOffBefore);
    EXPECT_TRUE(kindsOffAfter);
    EXPECT_FALSE(selected);
}

TEST_F(CustomizePaletteTest, WithNoPaletteABlankOneIsMadeAndOkOnItKeepsNothing) {
    MainPalette() = PaletteRecord();
    std::string note;
    pt::onMessageBox([&](const pt::MessageBoxCall& call) {
        note = call.text;
        return plat::IDOK;
    });
    int32_t rows = 0, columns = 0;
    bool kindsOff = false;
    pt::onDialog(kCustomizePaletteDialogId, [&](DialogDriver& d) {
        rows = TheCustomization.working.rows;
        columns = TheCustomization.working.columns;
        kindsOff = !d.enabled(kCustomizePaletteNothingButton) && !d.enabled(5740);
        d.click(plat::IDOK);
    });
    DoMenuCommand(kCustomizePaletteMenuId);
    EXPECT_EQ(note, LoadResString(kBlankPaletteNote));
    EXPECT_EQ(rows, 6 + kCustomizeExtraRows);
    EXPECT_EQ(columns, 16 + kCustomizeExtraColumns);
    EXPECT_TRUE(kindsOff);
    // All its cells empty: OK trims it to nothing.
    EXPECT_EQ(MainPalette().rows, 0);
    EXPECT_EQ(MainPalette().columns, 0);
}

// Help Me! closes the dialog for the help pages and opens it again on its working copy: the edits
// made before are still there (the preview shows the same picture) and OK applies them, Cancel
// discards them, whether the pages were read to the end or left early; the same from the
// sub-palette dialog.
TEST_F(CustomizePaletteTest, HelpMeComesBackToTheEditsMadeBefore) {
    const PaletteRecord main = MainPalette();
    const PaletteRecord sub = *SubPalette(kSlot);
    constexpr int kFirstPage = 4180, kLastPage = 4183;
    struct Case {
        const char* what;
        bool inSubPalette;
        int leftAtPage; // the help page cancelled; kLastPage + 1 reads them all
        int closedWith;
    };
    const Case cases[] = {
        {"OK after every page", false, kLastPage + 1, plat::IDOK},
        {"Cancel after every page", false, kLastPage + 1, plat::IDCANCEL},
        {"OK after leaving the pages early", false, kFirstPage + 1, plat::IDOK},
        {"sub-palette, OK", true, kLastPage + 1, plat::IDOK},
        {"sub-palette, Cancel", true, kFirstPage, plat::IDCANCEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MainPalette() = main;
        SubPalette(kSlot) = std::make_unique<PaletteRecord>(sub);
        const int dialog =
            c.inSubPalette ? kCustomizeSubPaletteDialogId : kCustomizePaletteDialogId;
        const int preview =
            c.inSubPalette ? kCustomizeSubPreviewItem : kCustomizePalettePreviewItem;
        const int help = c.inSubPalette ? kCustomizeSubHelpButton : kCustomizePaletteHelpButton;
        if (c.inSubPalette)
            pt::onDialog(kCustomizePaletteDialogId, [&](DialogDriver& d) {
                pt::doubleClick(d.item(kCustomizePalettePreviewItem), middle(0, 4).x,
                                middle(0, 4).y);
                d.pump();
            });
        pt::Image before, after;
        int32_t movedBefore = 0, movedAfter = -1;
        pt::onDialog(dialog, [&](DialogDriver& d) {
            // Copy exchanged with the insertion; paste moved right in the sub-palette.
            if (c.inSubPalette)
                drag(d, preview, middle(0, 0), inCell(0, 2));
            else
                drag(d, preview, middle(0, 0), middle(0, 2));
            movedBefore = TheCustomization.working.code(0, 2);
            d.pump();
            before = pt::pixels(d.item(preview));
            d.click(help);
            EXPECT_TRUE(d.ended());
        });
        int pagesShown = 0;
        for (int page = kFirstPage; page <= std::min(c.leftAtPage, kLastPage); ++page)
            pt::onDialog(page, [&, page](DialogDriver& d) {
                ++pagesShown;
                d.click(page == c.leftAtPage ? plat::IDCANCEL : plat::IDOK);
            });
        pt::onDialog(dialog, [&](DialogDriver& d) {
            movedAfter = TheCustomization.working.code(0, 2);
            d.pump();
            after = pt::pixels(d.item(preview));
            d.click(c.closedWith);
        });
        if (c.inSubPalette)
            pt::onDialog(kCustomizePaletteDialogId, [](DialogDriver& d) { d.click(plat::IDOK); });
        DoMenuCommand(kCustomizePaletteMenuId);
        EXPECT_EQ(pt::pendingDialogScripts(), 0);
        EXPECT_EQ(pagesShown, std::min(c.leftAtPage, kLastPage) - kFirstPage + 1);
        EXPECT_EQ(movedAfter, movedBefore);
        ASSERT_GT(before.width, 0);
        EXPECT_EQ(before.width, after.width);
        EXPECT_TRUE(before.pixels == after.pixels) << "the preview shows the edits again";
        const bool applied = c.closedWith == plat::IDOK;
        if (c.inSubPalette) {
            ASSERT_TRUE(SubPalette(kSlot));
            EXPECT_EQ(SubPalette(kSlot)->code(0, 2), applied ? kCmdPaste : 0);
            EXPECT_EQ(SubPalette(kSlot)->code(0, 0), applied ? 0 : kCmdPaste);
        } else {
            EXPECT_EQ(MainPalette().code(0, 0), applied ? 0x4111 : kCmdCopy);
            EXPECT_EQ(MainPalette().code(0, 2), applied ? kCmdCopy : 0x4111);
        }
    }
}

} // namespace
} // namespace kvtest
