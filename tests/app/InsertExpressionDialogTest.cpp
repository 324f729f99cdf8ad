// The Insert Expression dialog on the headless back end, with the program's own resources: what
// each kind of choice returns, how the choices exclude each other, what reopening shows, and the
// menu command inserting into a document window (undoable, Cancel inserting nothing).
#include "Dialogs/InsertExpressionDialog.h"

#include "App/MenuDispatch.h"
#include "BuiltinResources.h"
#include "ExprSrcs/ExprFilePane.h"
#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/commands/kInsert.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/etEncode.h"
#include "app/AppDocumentFixture.h"
#include "app/DialogTestFixture.h"
#include "plat/Dialog.h"
#include "plat/Resources.h"
#include "plat/Testing.h"
#include "plat/TestingSys.h"
#include "plat/Window.h"
#include "platform/SysTempDir.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

namespace pt = plat::testing;
using pt::DialogDriver;

plat::RECT clientOf(plat::HWND item) {
    plat::RECT r{};
    plat::GetClientRect(item, &r);
    return r;
}

// The middle of the character grid's cell of `ch`: 16 x 16 cells over the control.
plat::POINT characterPoint(DialogDriver& d, int ch) {
    const plat::RECT r = clientOf(d.item(kInsertCharacterGridItem));
    const int column = ch % 16, row = ch / 16;
    return plat::POINT{(2 * column + 1) * r.right / 32, (2 * row + 1) * r.bottom / 32};
}

// The middle of command-grid cell `index`: square cells of 18 pixels, as many a row as fit.
plat::POINT commandPoint(DialogDriver& d, int index) {
    const plat::RECT r = clientOf(d.item(kInsertCommandGridItem));
    const int columns = r.right / 18;
    return plat::POINT{index % columns * 18 + 9, index / columns * 18 + 9};
}

void clickCharacter(DialogDriver& d, int ch) {
    const plat::POINT p = characterPoint(d, ch);
    pt::click(d.item(kInsertCharacterGridItem), p.x, p.y);
    d.pump();
}

void clickCommand(DialogDriver& d, int index) {
    const plat::POINT p = commandPoint(d, index);
    pt::click(d.item(kInsertCommandGridItem), p.x, p.y);
    d.pump();
}

class InsertExpressionDialogTest : public DialogTestFixture {
protected:
    void SetUp() override {
        DialogTestFixture::SetUp();
        ResetStyleTable();
        MacroList.clear();
        ResetInsertExpressionState();
    }
    void TearDown() override {
        MacroList.clear();
        ResetInsertExpressionState();
        DialogTestFixture::TearDown();
    }
    static void addMacros(std::initializer_list<int32_t> codes) {
        for (int32_t code : codes)
            MacroList.push_back(MacroRecord{code, NewSimpString(0)});
    }
};

TEST_F(InsertExpressionDialogTest, WithNothingChosenTheButtonsAreOffAndEnterDoesNothing) {
    TheInsertExpressionState.keepOpen = 1;
    addMacros({0x5001});
    bool character = true, composite = true, macro = true, stillOpen = false;
    int macroRow = 99;
    pt::onDialog(kInsertExpressionDialogId, [&](DialogDriver& d) {
        character = d.enabled(kInsertCharacterButton);
        composite = d.enabled(kInsertCompositeButton);
        macro = d.enabled(kInsertMacroButton);
        macroRow = d.curSel(kInsertMacroListItem);
        EXPECT_TRUE(d.checked(kInsertKeepOpenItem));
        d.enter();
        d.pump();
        stillOpen = !d.ended();
        // Cancel after unchecking: the record keeps its keep-open byte.
        d.click(kInsertKeepOpenItem);
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(InsertSomethingDialog(0), 0);
    EXPECT_FALSE(character);
    EXPECT_FALSE(composite);
    EXPECT_FALSE(macro);
    EXPECT_EQ(macroRow, -1);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(TheInsertExpressionState.keepOpen, 1);
}

// A character in each kind of font entry: the current font, the base style, a numbered style, and
// the last entry a character code can carry.
TEST_F(InsertExpressionDialogTest, ACharacterComesBackCodedWithTheChosenFontEntry) {
    struct Case {
        int styleRow;
        int ch;
        int32_t expected;
    };
    const std::vector<Case> cases{{0, 'A', 0x0F00 + 'A'},
                                  {1, 'q', (0 + 16) * 256 + 'q'},
                                  {6, 0xE9, (5 + 16) * 256 + 0xE9},
                                  {32, '7', (31 + 16) * 256 + '7'}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.styleRow);
        ResetInsertExpressionState();
        bool enabled = false;
        pt::onDialog(kInsertExpressionDialogId, [&](DialogDriver& d) {
            d.selectRow(kInsertStyleListItem, c.styleRow);
            clickCharacter(d, c.ch);
            enabled = d.enabled(kInsertCharacterButton);
            EXPECT_FALSE(d.enabled(kInsertCompositeButton));
            d.click(kInsertCharacterButton);
        });
        EXPECT_EQ(InsertSomethingDialog(0), c.expected);
        EXPECT_TRUE(enabled);
        // The chosen font is remembered for the next run.
        EXPECT_EQ(TheInsertExpressionState.styleSelection, c.styleRow);
    }
}

TEST_F(InsertExpressionDialogTest, StylesPastWhatACodeCarriesShowTheirFontButCannotBeChosen) {
    bool enabledAfterStyle = true, enabledBack = false, closed = true;
    pt::onDialog(kInsertExpressionDialogId, [&](DialogDriver& d) {
        clickCharacter(d, 'x');
        // Style table entry 40 (row 41) cannot travel in a character code.
        d.selectRow(kInsertStyleListItem, 41);
        enabledAfterStyle = d.enabled(kInsertCharacterButton);
        d.enter();
        d.pump();
        closed = d.ended();
        // Back to an entry that can: the same character is chosen again in it.
        d.selectRow(kInsertStyleListItem, 3);
        enabledBack = d.enabled(kInsertCharacterButton);
        d.enter();
    });
    EXPECT_EQ(InsertSomethingDialog(0), (2 + 16) * 256 + 'x');
    EXPECT_FALSE(enabledAfterStyle);
    EXPECT_FALSE(closed);
    EXPECT_TRUE(enabledBack);
}

TEST_F(InsertExpressionDialogTest, ACommandCellReturnsItsCatalogCode) {
    const auto catalog = InsertCommandCatalog();
    for (int index : {0, 9, static_cast<int>(catalog.size()) - 1}) {
        SCOPED_TRACE(index);
        ResetInsertExpressionState();
        pt::onDialog(kInsertExpressionDialogId, [&](DialogDriver& d) {
            clickCommand(d, index);
            EXPECT_TRUE(d.enabled(kInsertCompositeButton));
            EXPECT_FALSE(d.enabled(kInsertCharacterButton));
            d.click(kInsertCompositeButton);
        });
        EXPECT_EQ(InsertSomethingDialog(0), catalog[static_cast<size_t>(index)].code);
    }
}

TEST_F(InsertExpressionDialogTest, ADoubleClickInAGridChoosesAndCloses) {
    pt::onDialog(kInsertExpressionDialogId, [&](DialogDriver& d) {
        const plat::POINT p = characterPoint(d, 'Z');
        pt::doubleClick(d.item(kInsertCharacterGridItem), p.x, p.y);
        d.pump();
        EXPECT_TRUE(d.ended());
    });
    EXPECT_EQ(InsertSomethingDialog(0), 0x0F00 + 'Z');

    pt::onDialog(kInsertExpressionDialogId, [&](DialogDriver& d) {
        const plat::POINT p = commandPoint(d, 4);
        pt::doubleClick(d.item(kInsertCommandGridItem), p.x, p.y);
        d.pump();
        EXPECT_TRUE(d.ended());
    });
    EXPECT_EQ(InsertSomethingDialog(0), InsertCommandCatalog()[4].code);
}

// The margins beside the lists and grids stand for their labels: a click there reaches the dialog
// as the control's command but chooses nothing.
TEST_F(InsertExpressionDialogTest, ClicksOnTheLabelMarginsChooseNothing) {
    addMacros({0x5001});
    pt::onDialog(kInsertExpressionDialogId, [&](DialogDriver& d) {
        // Left of the macro list and of the command grid, inside their label rectangles.
        d.clickClient(14, 300);
        d.clickClient(14, 100);
        EXPECT_EQ(d.curSel(kInsertMacroListItem), -1);
        for (int id : {kInsertCharacterButton, kInsertCompositeButton, kInsertMacroButton})
            EXPECT_FALSE(d.enabled(id)) << id;
        EXPECT_FALSE(d.ended());
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(InsertSomethingDialog(0), 0);
    EXPECT_FALSE(TheInsertChoice.compositeChosen);
    EXPECT_FALSE(TheInsertChoice.macroChosen);
}

// A press on a cell released elsewhere chooses nothing; the button the press turned on stays on
// (and inserts nothing).
TEST_F(InsertExpressionDialogTest, AReleaseAwayFromThePressedCellChoosesNothing) {
    int32_t afterCharacter = -1, afterCommand = -1, sameCell = -1;
    bool characterButton = false, compositeButton = false;
    pt::onDialog(kInsertExpressionDialogId, [&](DialogDriver& d) {
        // Moved within the pressed cell: it is chosen.
        plat::POINT inside = characterPoint(d, 'B');
        d.drag(kInsertCharacterGridItem, characterPoint(d, 'B'), kInsertCharacterGridItem,
               plat::POINT{inside.x + 1, inside.y + 1});
        sameCell = TheInsertChoice.chosenCode;
        d.drag(kInsertCharacterGridItem, characterPoint(d, 'B'), kInsertCharacterGridItem,
               characterPoint(d, 'C'));
        afterCharacter = TheInsertChoice.chosenCode;
        characterButton = d.enabled(kInsertCharacterButton);
        d.drag(kInsertCommandGridItem, commandPoint(d, 4), kInsertCharacterGridItem,
               characterPoint(d, 'C'));
        afterCommand = TheInsertChoice.chosenCode;
        compositeButton = d.enabled(kInsertCompositeButton);
        d.click(kInsertCompositeButton);
    });
    EXPECT_EQ(InsertSomethingDialog(0), 0);
    EXPECT_EQ(sameCell, 0x0F00 + 'B');
    EXPECT_EQ(afterCharacter, 0);
    EXPECT_TRUE(characterButton);
    EXPECT_EQ(afterCommand, 0);
    EXPECT_TRUE(compositeButton);
    EXPECT_FALSE(TheInsertChoice.characterChosen || TheInsertChoice.compositeChosen);
}

TEST_F(InsertExpressionDialogTest, EachChoiceReplacesThePreviousKind) {
    addMacros({0x5002, 0x5009});
    pt::onDialog(kInsertExpressionDialogId, [&](DialogDriver& d) {
        d.selectRow(kInsertMacroListItem, 1);
        EXPECT_TRUE(d.enabled(kInsertMacroButton));
        clickCharacter(d, 'k');
        EXPECT_FALSE(d.enabled(kInsertMacroButton));
        EXPECT_EQ(d.curSel(kInsertMacroListItem), -1);
        EXPECT_TRUE(d.enabled(kInsertCharacterButton));
        clickCommand(d, 2);
        EXPECT_FALSE(d.enabled(kInsertCharacterButton));
        EXPECT_TRUE(d.enabled(kInsertCompositeButton));
        d.selectRow(kInsertMacroListItem, 0);
        EXPECT_FALSE(d.enabled(kInsertCompositeButton));
        EXPECT_TRUE(d.enabled(kInsertMacroButton));
        // Enter stands for the one enabled button.
        d.enter();
    });
    EXPECT_EQ(InsertSomethingDialog(0), 0x5002);
}

TEST_F(InsertExpressionDialogTest, AMacroIsChosenByItsButtonOrADoubleClick) {
    addMacros({0x5003, 0x5007});
    pt::onDialog(kInsertExpressionDialogId, [&](DialogDriver& d) {
        d.selectRow(kInsertMacroListItem, 1);
        d.click(kInsertMacroButton);
    });
    EXPECT_EQ(InsertSomethingDialog(0), 0x5007);
    EXPECT_EQ(TheInsertExpressionState.macroSelection, 1);

    pt::onDialog(kInsertExpressionDialogId, [&](DialogDriver& d) {
        d.doubleClickRow(kInsertMacroListItem, 0);
        d.pump();
        EXPECT_TRUE(d.ended());
    });
    EXPECT_EQ(InsertSomethingDialog(0), 0x5003);
}

// Reopening on a code shows it as the choice: a character in its font, a catalog command, a
// macro; a code the dialog cannot show leaves nothing chosen.
TEST_F(InsertExpressionDialogTest, TheInitialCodeIsShownAsTheChoice) {
    addMacros({0x5004, 0x5005});
    const int32_t command = InsertCommandCatalog()[7].code;
    struct Case {
        int32_t initial;
        int enabledButton; // 0 for none
        int styleRow;      // -2: not checked
        int macroRow;
    };
    const std::vector<Case> cases{{0x1500 + 'M', kInsertCharacterButton, 6, -1},
                                  {0x0F00 + 'M', kInsertCharacterButton, 0, -1},
                                  {command | kCmdWidenBit, kInsertCompositeButton, -2, -1},
                                  {0x5005, kInsertMacroButton, -2, 1},
                                  {0x5077, 0, -2, -1},
                                  {0x6116, 0, -2, -1},
                                  {0x10000 + 'M', 0, -2, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.initial);
        ResetInsertExpressionState();
        pt::onDialog(kInsertExpressionDialogId, [&](DialogDriver& d) {
            for (int id : {kInsertCharacterButton, kInsertCompositeButton, kInsertMacroButton})
                EXPECT_EQ(d.enabled(id), id == c.enabledButton) << id;
            if (c.styleRow != -2) {
                EXPECT_EQ(d.curSel(kInsertStyleListItem), c.styleRow);
            }
            EXPECT_EQ(d.curSel(kInsertMacroListItem), c.macroRow);
            d.enter();
            d.pump();
            if (!d.ended())
                d.click(plat::IDCANCEL);
        });
        const int32_t expected = c.enabledButton == 0 ? 0 : c.initial & kCmdCodeMask;
        EXPECT_EQ(InsertSomethingDialog(c.initial), expected);
    }
}

// Every command of the grid is one the command layer inserts.
TEST_F(InsertExpressionDialogTest, EveryCatalogCommandNamesSomethingToInsert) {
    RegisterAllTemplates();
    std::vector<int32_t> seen;
    for (const InsertCatalogRow& row : InsertCommandCatalog()) {
        SCOPED_TRACE(row.code);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), row.code), 0) << "listed twice";
        seen.push_back(row.code);
        EXPECT_NE(row.label[0], '\0');
        const char* help = InsertCatalogHelp(FindInsertCatalogRow(row.code));
        ASSERT_NE(help, nullptr);
        EXPECT_NE(help[0], '\0');
        const int32_t family = row.code & 0xFF00, nn = row.code & 0xFF;
        if (family == kCmdMatrixBase) {
            EXPECT_TRUE((nn >> 4) != 0 && (nn & 15) != 0);
        } else if (family == kCmdSymbolBase) {
            EXPECT_TRUE(nn >= 1 && nn <= 9);
        } else {
            EXPECT_NE(NewTemplateForCommand(row.code), nullptr);
        }
    }
}

// ---- The menu command on a document window

class InsertExpressionCommandTest : public AppDocumentFixture {
protected:
    void SetUp() override {
        AppDocumentFixture::SetUp();
        if (HasFatalFailure())
            return;
        ResetInsertExpressionState();
    }
    void TearDown() override {
        closeDocuments();
        ResetInsertExpressionState();
        MacroList.clear();
        shutDown();
    }
    static std::string encoding(ExprFilePane* pane) { return ExprEncodingText(pane->expression()); }
};

TEST_F(InsertExpressionCommandTest, AChosenCommandIsInsertedAtTheSelectionAndUndoes) {
    ExprFilePane* pane = typed("ab");
    const std::string before = encoding(pane);
    const int row = FindInsertCatalogRow(0x4111); // a pair of parentheses
    ASSERT_GE(row, 0);
    pt::onDialog(kInsertExpressionDialogId, [&](DialogDriver& d) {
        clickCommand(d, row);
        d.click(kInsertCompositeButton);
    });
    EXPECT_EQ(DoMenuCommand(kInsertExpressionMenuId), 1);
    pt::runUntilIdle();
    const std::string after = encoding(pane);
    EXPECT_NE(after, before);
    EXPECT_EQ(LastInsertCode, 0x4111);
    // The same parentheses inserted straight through the command layer give the same tree.
    DoCommand(kCmdUndo, 0);
    pt::runUntilIdle();
    EXPECT_EQ(encoding(pane), before);
    DoCommand(0x4111, 0);
    pt::runUntilIdle();
    EXPECT_EQ(encoding(pane), after);
    EXPECT_TRUE(pt::messageBoxes().empty());
}

TEST_F(InsertExpressionCommandTest, CancelInsertsNothingAndKeepOpenRunsTheDialogAgain) {
    ExprFilePane* pane = typed("z");
    const std::string before = encoding(pane);
    pt::onDialog(kInsertExpressionDialogId, [](DialogDriver& d) { d.click(plat::IDCANCEL); });
    EXPECT_EQ(DoMenuCommand(kInsertExpressionMenuId), 1);
    pt::runUntilIdle();
    EXPECT_EQ(encoding(pane), before);
    EXPECT_TRUE(pane->changed());

    // With "Keep Dialog On" a chosen character is inserted and the dialog opens again on it; the
    // second run is cancelled and ends the command.
    bool highlighted = false;
    pt::onDialog(kInsertExpressionDialogId, [](DialogDriver& d) {
        d.click(kInsertKeepOpenItem);
        clickCharacter(d, 'Q');
        d.click(kInsertCharacterButton);
    });
    pt::onDialog(kInsertExpressionDialogId, [&](DialogDriver& d) {
        highlighted = d.enabled(kInsertCharacterButton) && d.checked(kInsertKeepOpenItem);
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(DoMenuCommand(kInsertExpressionMenuId), 1);
    pt::runUntilIdle();
    EXPECT_TRUE(highlighted);
    const std::string after = encoding(pane);
    EXPECT_NE(after, before);
    EXPECT_NE(after.find('Q'), std::string::npos);
    EXPECT_EQ(before.find('Q'), std::string::npos);
    // The cancelled run leaves no last choice.
    EXPECT_EQ(LastInsertCode, 0);
}

// A macro's row shows its expression after its number; the macro itself is not laid out by it.
TEST_F(InsertExpressionCommandTest, AMacroRowShowsItsExpression) {
    MacroList.push_back(MacroRecord{0x5001, NewSimpString(0)});
    MacroList.push_back(MacroRecord{0x5002, NewSimpStringWith(NewWord("MW", 0, DefaultStyle, 0))});
    std::vector<int> inkColumns(2, 0);
    pt::onDialog(kInsertExpressionDialogId, [&](DialogDriver& d) {
        pt::runUntilIdle();
        const pt::Image image = pt::pixels(d.item(kInsertMacroListItem));
        // Rows of 28 pixels: count the inked columns right of the number, per row.
        for (int row = 0; row < 2; ++row)
            for (int x = 30; x < image.width - 20; ++x)
                for (int y = row * 28 + 2; y < row * 28 + 26 && y < image.height; ++y)
                    if ((image.at(x, y) & 0xFF) < 100) {
                        ++inkColumns[static_cast<size_t>(row)];
                        break;
                    }
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(InsertSomethingDialog(0), 0);
    EXPECT_EQ(inkColumns[0], 0);
    EXPECT_GT(inkColumns[1], 8);
}

} // namespace
} // namespace kvtest
