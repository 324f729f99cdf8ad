// The Do Secondary Command dialog on the headless back end: the rows it lists and the one it opens
// on, the codes it returns for commands, fixed colours and chosen colours, and the line that tells
// where the selected command is bound.
#include "Dialogs/SecondaryCommandDialog.h"

#include "BuiltinResources.h"
#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/Presourc.h"
#include "OverPc/commands/kPalette.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/KeyCodes.h"
#include "OverSrcs/commands/kEdit.h"
#include "app/DialogTestFixture.h"
#include "plat/CommonDialogs.h"
#include "plat/Dialog.h"
#include "plat/Input.h"
#include "plat/Resources.h"
#include "plat/Testing.h"
#include "support/RecordingPort.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace kvtest {
namespace {

namespace pt = plat::testing;
using pt::DialogDriver;

// The codes the keyboard-oriented part of the catalog lists a second time.
const std::vector<int32_t> kRepeated{0x6302, 0x6304, 0x6310, 0x6311, 0x6312, 0x6313,
                                     0x6501, 0x6502, 0x6503, 0x6504, 0x6511, 0x6512,
                                     0x6602, 0x6603, 0x6604, 0x6611};

int32_t colourRow(int i) {
    return static_cast<int32_t>(EditCommandCatalog().size()) + i;
}

class SecondaryCommandDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        kvtest::StartDialogTest();
        ResetKeyMap();
    }
    void TearDown() override {
        ResetKeyMap();
        ResetPalettes();
        kvtest::EndDialogTest();
    }
};

TEST_F(SecondaryCommandDialogTest, TheListHoldsTheCatalogTheColoursAndOneMoreRow) {
    const auto catalog = EditCommandCatalog();
    ASSERT_EQ(catalog.size(), 52u);
    EXPECT_EQ(CommandColourTable().size(), 14u);
    EXPECT_EQ(SecondaryCommandRowCount(), 67);
    EXPECT_EQ(SecondaryOtherColourRow(), 66);
    // Every catalog code is a secondary command other than a colour or sub-palette, with help and
    // the string-table words its button shows, short enough for the button.
    std::multiset<int32_t> codes;
    for (const EditCatalogRow& r : catalog) {
        SCOPED_TRACE(r.code);
        codes.insert(r.code);
        EXPECT_EQ(CommandKind(r.code) == kKindSecondary || CommandKind(r.code) == kKindFont, true);
        EXPECT_STRNE(LoadResString(r.helpStringId), "");
        const char* label = LoadResString(r.labelString);
        ASSERT_NE(label, nullptr);
        EXPECT_GE(std::strlen(label), 1u);
        EXPECT_LE(std::strlen(label), 4u);
    }
    for (const CommandColour& c : CommandColourTable())
        EXPECT_NE(LoadResString(c.nameString), nullptr) << c.nameString;
    for (int32_t code : kRepeated)
        EXPECT_EQ(codes.count(code), 2u) << std::hex << code;
    EXPECT_EQ(codes.size() - std::set<int32_t>(codes.begin(), codes.end()).size(),
              kRepeated.size());
    EXPECT_EQ(SecondaryRowCode(SecondaryOtherColourRow()), 0);
    EXPECT_EQ(SecondaryRowCode(-1), 0);
    EXPECT_EQ(SecondaryRowCode(67), 0);
}

// The words a row's button shows for the codes around the end of the style table: its last entry
// (number or shortcut), the reset-style command just past it (the catalog's word), codes past that
// (their number), and the catalog's next rows and its last one.
TEST_F(SecondaryCommandDialogTest, TheButtonShowsTheCatalogWordPastTheStyleTable) {
    const auto word = [](int32_t code) {
        return std::string(LoadResString(EditCommandCatalog()[static_cast<size_t>(
                                             FindEditCatalogRow(code))].labelString));
    };
    struct Case {
        const char* what;
        int32_t code;
        uint8_t shortcut; // given to entry 63 and to the reset record
        std::string shown;
    };
    const std::vector<Case> cases{
        {"style entry 0", kCmdStyleBase, ' ', "F0"},
        {"the last style entry", kCmdStyleBase + 63, ' ', "F63"},
        {"the last style entry, with a shortcut", kCmdStyleBase + 63, 'q', "q"},
        {"the reset style, row 0", kCmdStyleBase + 64, ' ', "Std"},
        {"the reset style, shortcuts given", kCmdStyleBase + 64, 'q', "Std"},
        {"the reset style applied backwards", (kCmdStyleBase + 64) | kCmdWidenBit, ' ', "Std"},
        {"past the reset style", kCmdStyleBase + 65, ' ', "6041"},
        {"the last code of the range", kCmdStyleBase + 0xFF, ' ', "60FF"},
        {"row 1", 0x6111, ' ', word(0x6111)},
        {"row 2", 0x6113, ' ', word(0x6113)},
        {"the last row", 0x6611, ' ', word(0x6611)},
    };
    const uint8_t resetShortcut = ResetStyleRecord.shortcut;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StyleTable[63].shortcut = c.shortcut;
        ResetStyleRecord.shortcut = c.shortcut;
        for (int32_t side : {20, 40}) {
            RecordingPort port;
            DrawCommandPicture(port, Zone{0, 0, side, side, 0, 0}, c.code);
            std::vector<std::string> drawn;
            for (const std::string& line : port.calls())
                if (line.rfind("drawDeluxeString ", 0) == 0)
                    drawn.push_back(line.substr(17, line.find(" font=") - 17));
            EXPECT_EQ(drawn, std::vector<std::string>{"\"" + c.shown + "\""}) << side;
        }
    }
    StyleTable[63].shortcut = ' ';
    ResetStyleRecord.shortcut = resetShortcut;
    EXPECT_EQ(word(kCmdStyleBase + 64), "Std");
}

TEST_F(SecondaryCommandDialogTest, ColourBytesTakeTheTopBitsOfEachComponent) {
    struct Case {
        uint8_t r, g, b;
        uint8_t expected;
    };
    // Orange: red 111, green 011, blue 00.
    const std::vector<Case> cases{{255, 109, 0, 0xEC},
                                  {0, 0, 0, 0x00},
                                  {255, 255, 255, 0xFF},
                                  {0x20, 0x20, 0x40, 0x20 | 0x04 | 0x01},
                                  {0x1F, 0x1F, 0x3F, 0x00}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.expected));
        EXPECT_EQ(CommandColourByte(c.r, c.g, c.b), c.expected);
    }
}

TEST_F(SecondaryCommandDialogTest, TheRowOpenedOnFollowsTheCode) {
    // A code listed twice opens on its later row, with or without the applies-to-previous bit.
    for (int32_t code : kRepeated) {
        SCOPED_TRACE(code);
        const int32_t row = SecondaryPreselectedRow(code | kCmdWidenBit);
        ASSERT_GE(row, 36);
        EXPECT_EQ(SecondaryRowCode(row), code);
    }
    const int32_t once = SecondaryPreselectedRow(kCmdModify);
    ASSERT_GE(once, 0);
    EXPECT_LT(once, 36);
    EXPECT_EQ(SecondaryRowCode(once), kCmdModify);
    // Every fixed colour finds its own row again; a colour not in the table opens on the last row.
    for (int i = 0; i < 14; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(SecondaryPreselectedRow(SecondaryRowCode(colourRow(i))), colourRow(i));
    }
    EXPECT_EQ(SecondaryPreselectedRow(kCmdColourBase + 0x01), SecondaryOtherColourRow());
    // Anything else opens on no row.
    EXPECT_EQ(SecondaryPreselectedRow(0), -1);
    EXPECT_EQ(SecondaryPreselectedRow(0x4111), -1);
    EXPECT_EQ(SecondaryPreselectedRow(0x0F00 + 'a'), -1);
    EXPECT_EQ(SecondaryPreselectedRow(kCmdSubPaletteBase + 3), -1);
}

TEST_F(SecondaryCommandDialogTest, OkReturnsTheSelectedRowsCode) {
    struct Case {
        const char* name;
        int32_t initial;
        int selectRow; // -1: keep the row the dialog opened on
        int expectedOpenRow;
        int32_t expected;
    };
    const int32_t modifyRow = SecondaryPreselectedRow(kCmdModify);
    const std::vector<Case> cases{
        {"empty key, OK at once", 0, -1, -1, 0},
        {"opened on a repeated command", 0x6602 | kCmdWidenBit, -1, SecondaryPreselectedRow(0x6602),
         0x6602},
        {"another command chosen", 0x6602, modifyRow, SecondaryPreselectedRow(0x6602), kCmdModify},
        {"orange chosen", 0, colourRow(5), -1, kCmdColourBase + 0xEC},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int openRow = -2;
        pt::onDialog(kSecondaryCommandDialogId, [&](DialogDriver& d) {
            openRow = d.curSel(kSecondaryListItem);
            if (c.selectRow >= 0)
                d.selectRow(kSecondaryListItem, c.selectRow);
            d.click(plat::IDOK);
        });
        EXPECT_EQ(RunSecondaryCommand(c.initial), c.expected);
        EXPECT_EQ(openRow, c.expectedOpenRow);
    }
}

TEST_F(SecondaryCommandDialogTest, CancelReturnsNothingAndADoubleClickAccepts) {
    pt::onDialog(kSecondaryCommandDialogId, [](DialogDriver& d) {
        d.selectRow(kSecondaryListItem, 3);
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(RunSecondaryCommand(kCmdUndo), 0);

    bool closedByDoubleClick = false;
    pt::onDialog(kSecondaryCommandDialogId, [&](DialogDriver& d) {
        d.doubleClickRow(kSecondaryListItem, colourRow(9));
        closedByDoubleClick = d.ended();
    });
    EXPECT_EQ(RunSecondaryCommand(0), kCmdColourBase + CommandColourByte(0, 0, 255));
    EXPECT_TRUE(closedByDoubleClick);
}

TEST_F(SecondaryCommandDialogTest, TheLastRowAsksForAnyColour) {
    // A colour outside the table opens on the last row; OK there asks the chooser again.
    int openRow = -2;
    pt::onDialog(kSecondaryCommandDialogId, [&](DialogDriver& d) {
        openRow = d.curSel(kSecondaryListItem);
        d.click(plat::IDOK);
    });
    pt::onDialog(plat::IDD_CHOOSECOLOR, [](DialogDriver& d) {
        d.setText(plat::IDC_COLOR_RED, "255");
        d.setText(plat::IDC_COLOR_GREEN, "109");
        d.setText(plat::IDC_COLOR_BLUE, "0");
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunSecondaryCommand(kCmdColourBase + 0x01), kCmdColourBase + 0xEC);
    EXPECT_EQ(openRow, SecondaryOtherColourRow());

    // The chooser cancelled: no command.
    pt::onDialog(kSecondaryCommandDialogId, [](DialogDriver& d) {
        d.selectRow(kSecondaryListItem, SecondaryOtherColourRow());
        d.click(plat::IDOK);
    });
    pt::onDialog(plat::IDD_CHOOSECOLOR, [](DialogDriver& d) { d.click(plat::IDCANCEL); });
    EXPECT_EQ(RunSecondaryCommand(0), 0);
}

TEST_F(SecondaryCommandDialogTest, TheBindingsLineNamesTheKeysOfTheSelectedCommand) {
    // The built-in map binds Backspace to 0x6602 and nothing to hiding a part.
    const int32_t backspace = KeyIndexOf(plat::VK_BACK, 0x08, false, false, false);
    ASSERT_EQ(LookupKeyCommand(backspace), 0x6602);
    KeyMap[static_cast<size_t>(KeyIndexOf('Q', 'q', false, false, true))] = 0x6602 | kCmdWidenBit;
    // Keys only: no palette button names a command.
    MainPalette() = PaletteRecord();
    const std::string both =
        GetKeyName(backspace) + "; " + GetKeyName(KeyIndexOf('Q', 'q', false, false, true));
    std::string opened, unbound, other, colour;
    pt::onDialog(kSecondaryCommandDialogId, [&](DialogDriver& d) {
        opened = d.text(kSecondaryBindingsItem);
        d.selectRow(kSecondaryListItem, SecondaryPreselectedRow(kCmdHidePart));
        unbound = d.text(kSecondaryBindingsItem);
        d.selectRow(kSecondaryListItem, SecondaryOtherColourRow());
        other = d.text(kSecondaryBindingsItem);
        d.selectRow(kSecondaryListItem, colourRow(0));
        colour = d.text(kSecondaryBindingsItem);
        d.click(plat::IDCANCEL);
    });
    RunSecondaryCommand(0x6602);
    EXPECT_EQ(opened, both);
    EXPECT_EQ(unbound, LoadResString(kUnboundString));
    EXPECT_EQ(other, "");
    EXPECT_EQ(colour, LoadResString(kUnboundString));
}

TEST_F(SecondaryCommandDialogTest, TheBindingsTextIsCutToItsSize) {
    // Many keys on one command: the text stops at 100 characters and starts with the first key.
    for (int32_t i = '0'; i <= 'z'; ++i)
        KeyMap[static_cast<size_t>(i)] = kCmdCopy;
    const std::string text = DescribeCommandBindings(kCmdCopy, kBindingsTextSize);
    EXPECT_EQ(text.size(), kBindingsTextSize - 1);
    EXPECT_EQ(text.rfind(GetKeyName('0') + "; " + GetKeyName('1'), 0), 0u);
    EXPECT_EQ(DescribeCommandBindings(kCmdCopy, 1), "");
}

TEST_F(SecondaryCommandDialogTest, TheBindingsTextNamesMainPaletteButtons) {
    // Row 1: a wide copy button, then copy again (button 2); row 2: a continuation-only cell,
    // then sub-palette 7, which holds copy, as button 1 of the row.
    PaletteRecord main(2, 4);
    main.setBlock(0, 0, 1, 2, kCmdCopy);
    main.setBlock(0, 2, 1, 1, kCmdCopy);
    main.setBlock(1, 1, 1, 1, kCmdSubPaletteBase + 7);
    MainPalette() = main;
    std::fill(KeyMap.begin(), KeyMap.end(), 0);
    SubPalette(7) = std::make_unique<PaletteRecord>(1, 2);
    SubPalette(7)->setBlock(0, 1, 1, 1, kCmdCopy);
    KeyMap[static_cast<size_t>('q')] = kCmdCopy;
    EXPECT_EQ(DescribeCommandBindings(kCmdCopy, kBindingsTextSize),
              GetKeyName('q') + "; ligne 1 bouton 1; ligne 1 bouton 2; ligne 2 bouton 1");
    EXPECT_EQ(DescribeCommandBindings(kCmdSubPaletteBase + 7, kBindingsTextSize),
              "ligne 2 bouton 1");
    EXPECT_EQ(DescribeCommandBindings(kCmdPaste, kBindingsTextSize), LoadResString(kUnboundString));
    // The built-in palette's buttons are two cells high: its second row of buttons is row 2.
    MainPalette() = BuiltInMainPalette();
    SubPalette(0) = BuiltInSubPalette(0);
    EXPECT_EQ(DescribeCommandBindings(0x4010, kBindingsTextSize),
              "ligne 1 bouton 1; ligne 2 bouton 2");
}

} // namespace
} // namespace kvtest
