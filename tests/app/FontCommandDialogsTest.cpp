// The font command dialogs on the headless back end: "Change the Font" answers the command of the
// row chosen, "Commandes de caractères" edits the style table's shortcuts, flags and entries as the
// user does it, and Cancel leaves the table as it was. Then an edited font command applied from
// its menu item to a typed word, and the keyboard dialog's font kind, through the running program.
#include "Dialogs/FontCommandDialogs.h"

#include "App/MenuDispatch.h"
#include "Dialogs/FontStyleDialog.h"
#include "Dialogs/KeyboardDialogs.h"
#include "Dialogs/SecondaryCommandDialog.h"
#include "ExprSrcs/ExprFilePane.h"
#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/PFONTS.h"
#include "OverPc/PGRAPHIC.h"
#include "OverPc/Presourc.h"
#include "OverPc/shell/KeyCodes.h"
#include "OverPc/shell/PMENU.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eChar.h"
#include "app/AppDocumentFixture.h"
#include "app/DialogTestFixture.h"
#include "plat/Dialog.h"
#include "plat/Menu.h"
#include "plat/Testing.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

namespace pt = plat::testing;
using pt::DialogDriver;

FSSRecord& entry(int i) {
    return StyleTable[static_cast<size_t>(i)];
}

bool sameEntry(const FSSRecord& a, const FSSRecord& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Makes every entry of the table non-free by giving each a shortcut.
void fillTable() {
    for (int i = 1; i < kStyleTableSize; ++i)
        if (IsFreeStyleEntry(entry(i)))
            entry(i).shortcut = static_cast<uint8_t>('A' + i % 26);
}

int s_saves = 0;
void countSave() {
    ++s_saves;
}

class FontCommandDialogTest : public kvtest::DialogTestFixture {
protected:
    void SetUp() override {
        DialogTestFixture::SetUp();
        InstallGraphicsFontHooks();
        InitGraphics();
        ResetStyleTable();
        ResetKeyMap();
        SelectedStyleIndex = 0;
        s_saves = 0;
        SaveGeneralPrefsHook = &countSave;
        m_beeps = static_cast<int>(pt::beeps().size());
    }
    void TearDown() override {
        SaveGeneralPrefsHook = nullptr;
        ShutdownGraphics();
        SetGraphicsFontHooks(GraphicsFontHooks{});
        DeleteFontManager();
        ResetStyleTable();
        ResetKeyMap();
        DialogTestFixture::TearDown();
    }
    int beeps() const { return static_cast<int>(pt::beeps().size()) - m_beeps; }
    int m_beeps = 0;
};

// ---- Entries ------------------------------------------------------------------------------------

TEST_F(FontCommandDialogTest, AnEntryIsFreeOnlyWhenItInheritsEverything) {
    FSSRecord fresh;
    InitFSSRecord(fresh);
    EXPECT_TRUE(IsFreeStyleEntry(fresh));
    struct Case {
        const char* name;
        void (*change)(FSSRecord&);
    };
    const std::vector<Case> cases{
        {"font", [](FSSRecord& r) { SetFSSFontName(r, "Arial"); }},
        {"size", [](FSSRecord& r) { r.size = 12; }},
        {"relative size", [](FSSRecord& r) { r.size = kSizeInherit + 1; }},
        {"bold", [](FSSRecord& r) { r.style[kStyleBold] = kStyleOff; }},
        {"extend", [](FSSRecord& r) { r.style[kStyleExtend] = kStyleOn; }},
        {"italic mode", [](FSSRecord& r) { r.setItalicMode(kItalicLetters); }},
        {"ink mode", [](FSSRecord& r) { r.setInkMode(1); }},
        {"shortcut", [](FSSRecord& r) { r.shortcut = 'g'; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FSSRecord r = fresh;
        c.change(r);
        EXPECT_FALSE(IsFreeStyleEntry(r));
    }
    // The second inherit value still inherits.
    FSSRecord other = fresh;
    other.setItalicMode(kStyleInheritToo);
    EXPECT_TRUE(IsFreeStyleEntry(other));

    // The first free entry from index 0; none when all are in use.
    const int first = FirstFreeStyleEntry();
    ASSERT_GT(first, 0);
    for (int i = 0; i < first; ++i)
        EXPECT_FALSE(IsFreeStyleEntry(entry(i))) << i;
    fillTable();
    EXPECT_EQ(FirstFreeStyleEntry(), -1);
}

TEST_F(FontCommandDialogTest, DescriptionsNameWhatAnEntrySets) {
    struct Case {
        const char* name;
        void (*set)(FSSRecord&);
        const char* expected;
    };
    const std::vector<Case> cases{
        {"free", [](FSSRecord&) {}, "* * *"},
        {"face, points, bold",
         [](FSSRecord& r) {
             SetFSSFontName(r, "Arial");
             r.size = 14;
             r.style[kStyleBold] = kStyleOn;
         },
         "Arial 14 b"},
        {"two steps larger, italic letters",
         [](FSSRecord& r) {
             r.size = kSizeInherit + 2;
             r.setItalicMode(kItalicLetters);
         },
         "* +2 !"},
        {"three steps smaller, everything on",
         [](FSSRecord& r) {
             r.size = kSizeInherit - 3;
             for (uint8_t& b : r.style)
                 b = kStyleOn;
             r.setItalicMode(kItalicOn);
             r.setInkMode(1);
         },
         "* -3 bIuoscev"},
        {"styles only turned off",
         [](FSSRecord& r) {
             r.style[kStyleBold] = kStyleOff;
             r.setItalicMode(kItalicOff);
         },
         "* *"},
        {"italic but upright function names",
         [](FSSRecord& r) { r.setItalicMode(kItalicLettersNotFunctions); }, "* * i"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FSSRecord& e = entry(7);
        InitFSSRecord(e);
        c.set(e);
        EXPECT_EQ(StyleEntryDescription(7), c.expected);
    }
    EXPECT_EQ(StyleEntryDescription(0), LoadResString(kBaseStyleRowString));
    EXPECT_EQ(StyleEntryDescription(-1), "");
    EXPECT_EQ(StyleEntryDescription(kStyleTableSize), "");
    entry(7).shortcut = 'q';
    EXPECT_EQ(StyleEntryMenuText(7), "q  " + StyleEntryDescription(7));
}

// ---- Change the Font
// ------------------------------------------------------------------------------

TEST_F(FontCommandDialogTest, ChangeTheFontAnswersTheChosenRowsCommand) {
    struct Case {
        const char* name;
        int32_t code;
        int openRow;      // the row the list opens on
        int select;       // -1: none; else the row clicked
        bool doubleClick; // the row double-clicked instead (closes as OK)
        int32_t expected;
    };
    const std::vector<Case> cases{
        {"entry 5 kept", 0x6005, 6, -1, false, 0x6005},
        {"ask row chosen", 0x6003, 4, 0, false, kCmdAskFont},
        {"entry 5 chosen", 0x6000, 1, 6, false, 0x6005},
        {"ask opens on entry 0", kCmdAskFont, 1, -1, false, 0x6000},
        {"double click on entry 63", 0x6001, 2, 64, true, 0x603F},
        {"a code naming no entry opens on no row", 0x60C8, -1, -1, false, 0},
        {"reset style is no entry", 0x6040, -1, 3, false, 0x6002},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int openRow = -2;
        std::string prompt;
        pt::onDialog(kChangeFontDialogId, [&](DialogDriver& d) {
            openRow = d.curSel(kChangeFontListItem);
            prompt = d.text(kChangeFontPromptItem);
            if (c.doubleClick) {
                d.doubleClickRow(kChangeFontListItem, c.select);
                EXPECT_TRUE(d.ended());
                return;
            }
            if (c.select >= 0)
                d.selectRow(kChangeFontListItem, c.select);
            d.click(plat::IDOK);
        });
        EXPECT_EQ(AskFSSCmd(c.code), c.expected);
        EXPECT_EQ(openRow, c.openRow);
        EXPECT_EQ(prompt, "S\xE9lectionnez une \n commande de caract\xE8res : ");
    }
}

// A press on the dialog inside the list's label rectangle (x 25..287, y 65..171 at two pixels per
// dialog unit) reaches the dialog as the list's command; a press outside it does not.
TEST_F(FontCommandDialogTest, ThePressAreaOfTheListLabel) {
    const struct {
        int x, y;
        bool command;
    } presses[] = {{25, 65, true},   {287, 171, true}, {150, 100, true}, {288, 100, false},
                   {24, 100, false}, {100, 64, false}, {100, 172, false}};
    std::vector<bool> reached;
    pt::onDialog(kChangeFontDialogId, [&](DialogDriver& d) {
        const int base = plat::LOWORD(plat::GetDialogBaseUnits());
        for (const auto& p : presses) {
            pt::clearJournal();
            plat::SendMessage(d.hwnd(), plat::WM_LBUTTONDOWN, 0,
                              plat::MAKELPARAM(p.x * base / 8, p.y * base / 8));
            reached.push_back(!pt::journalLines("WM_COMMAND id=7016").empty());
        }
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(AskFSSCmd(0x6002), 0);
    ASSERT_EQ(reached.size(), std::size(presses));
    for (size_t i = 0; i < reached.size(); ++i)
        EXPECT_EQ(reached[i], presses[i].command) << presses[i].x << "," << presses[i].y;
}

TEST_F(FontCommandDialogTest, CancelAnswersNothingAndTheChoiceIsRemembered) {
    pt::onDialog(kChangeFontDialogId, [](DialogDriver& d) {
        d.selectRow(kChangeFontListItem, 9);
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(AskFSSCmd(0x6002), 0);
    // The selected entry is shared with "Commandes de caractères": a chosen font command is the
    // one it opens on.
    pt::onDialog(kChangeFontDialogId, [](DialogDriver& d) {
        d.selectRow(kChangeFontListItem, 12);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(AskFSSCmd(0x6002), 0x600B);
    int openRow = -2;
    pt::onDialog(kCharacterCommandsDialogId, [&](DialogDriver& d) {
        openRow = d.curSel(kCharCmdListItem);
        d.click(plat::IDCANCEL);
    });
    RunCharacterCommands();
    EXPECT_EQ(openRow, 11);
}

// ---- Commandes de caractères
// ----------------------------------------------------------------------

TEST_F(FontCommandDialogTest, ShortcutAndFlagEditsAreKeptByOk) {
    const std::array<FSSRecord, kStyleTableSize> before = StyleTable;
    SelectedStyleIndex = 3;
    std::string field, bindings;
    bool boxEnabled = false;
    pt::onDialog(kCharacterCommandsDialogId, [&](DialogDriver& d) {
        field = d.text(kCharCmdShortcutItem);
        bindings = d.text(kCharCmdBindingsItem);
        boxEnabled = d.enabled(kCharCmdSlipperyItem);
        // Entry 3: a new shortcut, typed over the selected text, and the flag.
        d.type(kCharCmdShortcutItem, "k");
        EXPECT_EQ(entry(3).shortcut, 'k'); // at once, in the live table
        d.click(kCharCmdSlipperyItem);
        EXPECT_EQ(entry(3).slippery, before[3].slippery == 0 ? 1 : 0);
        // Entry 4: two characters in the field keep only the first.
        d.selectRow(kCharCmdListItem, 4);
        d.setText(kCharCmdShortcutItem, "xy");
        d.click(plat::IDOK);
    });
    RunCharacterCommands();
    EXPECT_EQ(field, std::string(1, static_cast<char>(before[3].shortcut)));
    EXPECT_EQ(bindings, LoadResString(kUnboundString));
    EXPECT_TRUE(boxEnabled);
    EXPECT_EQ(entry(3).shortcut, 'k');
    EXPECT_EQ(entry(3).slippery, before[3].slippery == 0 ? 1 : 0);
    EXPECT_EQ(entry(4).shortcut, 'x');
    EXPECT_EQ(SelectedStyleIndex, 4);
    EXPECT_EQ(s_saves, 1);
    // Nothing else changed.
    for (int i = 0; i < kStyleTableSize; ++i) {
        if (i == 3 || i == 4)
            continue;
        SCOPED_TRACE(i);
        EXPECT_TRUE(sameEntry(entry(i), before[i]));
    }
    // The fonts of entries 3 and 4 are their own.
    EXPECT_EQ(entry(4).size, before[4].size);
    EXPECT_STREQ(entry(3).fontName, before[3].fontName);
}

TEST_F(FontCommandDialogTest, CancelPutsTheTableBack) {
    const std::array<FSSRecord, kStyleTableSize> before = StyleTable;
    SelectedStyleIndex = 2;
    pt::onDialog(kCharacterCommandsDialogId, [&](DialogDriver& d) {
        d.type(kCharCmdShortcutItem, "z");
        d.click(kCharCmdSlipperyItem);
        d.selectRow(kCharCmdListItem, 1);
        d.click(kCharCmdDeleteButton);
        EXPECT_TRUE(IsFreeStyleEntry(entry(1)));
        d.click(plat::IDCANCEL);
    });
    RunCharacterCommands();
    for (int i = 0; i < kStyleTableSize; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(sameEntry(entry(i), before[i]));
    }
    EXPECT_EQ(s_saves, 0);
}

TEST_F(FontCommandDialogTest, DeletingClearsAnEntryButNeverTheBaseStyle) {
    entry(6).slippery = 1;
    SetFSSFontName(entry(6), "Arial");
    entry(6).shortcut = 'w';
    const FSSRecord base = entry(0);
    SelectedStyleIndex = 0;
    pt::onDialog(kCharacterCommandsDialogId, [&](DialogDriver& d) {
        // Entry 0: no flag, and no deleting.
        EXPECT_FALSE(d.enabled(kCharCmdSlipperyItem));
        d.click(kCharCmdDeleteButton);
        EXPECT_EQ(beeps(), 1);
        EXPECT_TRUE(sameEntry(entry(0), base));
        EXPECT_FALSE(d.ended());
        // Entry 6 is cleared: the field shows a blank and the box is off.
        d.selectRow(kCharCmdListItem, 6);
        EXPECT_TRUE(d.enabled(kCharCmdSlipperyItem));
        EXPECT_TRUE(d.checked(kCharCmdSlipperyItem));
        EXPECT_EQ(d.text(kCharCmdShortcutItem), "w");
        d.click(kCharCmdDeleteButton);
        EXPECT_EQ(d.text(kCharCmdShortcutItem), " ");
        EXPECT_FALSE(d.checked(kCharCmdSlipperyItem));
        d.click(plat::IDOK);
    });
    RunCharacterCommands();
    EXPECT_TRUE(IsFreeStyleEntry(entry(6)));
    EXPECT_EQ(entry(6).slippery, 0);
    EXPECT_TRUE(sameEntry(entry(0), base));
    EXPECT_EQ(beeps(), 1);
}

TEST_F(FontCommandDialogTest, NewTakesTheFirstFreeEntryAndEditsIt) {
    const int free = FirstFreeStyleEntry();
    ASSERT_GT(free, 0);
    SelectedStyleIndex = 1;
    std::string fieldAfterNew;
    int secondOpenRow = -2;
    pt::onDialog(kCharacterCommandsDialogId, [&](DialogDriver& d) {
        d.click(kCharCmdNewButton);
        fieldAfterNew = d.text(kCharCmdShortcutItem);
        EXPECT_TRUE(d.ended());
    });
    pt::onDialog(kFontStyleDialogId, [&](DialogDriver& d) {
        EXPECT_EQ(d.text(kFontStyleTitleItem), LoadResString(kEditStyleTitleString));
        d.chooseCombo(kFontStyleBoldItem, 0); // activé
        d.click(plat::IDOK);
    });
    pt::onDialog(kCharacterCommandsDialogId, [&](DialogDriver& d) {
        secondOpenRow = d.curSel(kCharCmdListItem);
        d.type(kCharCmdShortcutItem, "n");
        d.click(plat::IDOK);
    });
    RunCharacterCommands();
    EXPECT_EQ(fieldAfterNew, " ");
    EXPECT_EQ(secondOpenRow, free);
    EXPECT_EQ(SelectedStyleIndex, free);
    EXPECT_EQ(entry(free).style[kStyleBold], kStyleOn);
    EXPECT_EQ(entry(free).shortcut, 'n');
    EXPECT_FALSE(IsFreeStyleEntry(entry(free)));
}

TEST_F(FontCommandDialogTest, NewWithEveryEntryInUseBeepsAndStaysOpen) {
    fillTable();
    const std::array<FSSRecord, kStyleTableSize> before = StyleTable;
    SelectedStyleIndex = 9;
    bool ended = true;
    pt::onDialog(kCharacterCommandsDialogId, [&](DialogDriver& d) {
        d.click(kCharCmdNewButton);
        ended = d.ended();
        d.click(plat::IDOK);
    });
    RunCharacterCommands();
    EXPECT_FALSE(ended);
    EXPECT_EQ(beeps(), 1);
    EXPECT_EQ(SelectedStyleIndex, 9);
    for (int i = 0; i < kStyleTableSize; ++i)
        EXPECT_TRUE(sameEntry(entry(i), before[i])) << i;
}

TEST_F(FontCommandDialogTest, ModifyOrADoubleClickEditsTheEntryAndCancelThereKeepsIt) {
    struct Case {
        const char* name;
        bool doubleClick;
        bool styleOk;
    };
    const std::vector<Case> cases{{"Modifier, OK", false, true},
                                  {"double click, OK", true, true},
                                  {"Modifier, Annuler", false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetStyleTable();
        entry(12).shortcut = 'm';
        entry(12).slippery = 1;
        const FSSRecord before = entry(12);
        SelectedStyleIndex = 0;
        pt::onDialog(kCharacterCommandsDialogId, [&](DialogDriver& d) {
            if (c.doubleClick) {
                d.doubleClickRow(kCharCmdListItem, 12);
            } else {
                d.selectRow(kCharCmdListItem, 12);
                d.click(kCharCmdModifyButton);
            }
        });
        pt::onDialog(kFontStyleDialogId, [&](DialogDriver& d) {
            d.click(kFontStyleSizeFirst + kSizeModePoints);
            d.setText(kFontStyleSizeText, "30");
            d.click(c.styleOk ? plat::IDOK : plat::IDCANCEL);
        });
        pt::onDialog(kCharacterCommandsDialogId, [](DialogDriver& d) { d.click(plat::IDOK); });
        RunCharacterCommands();
        EXPECT_EQ(entry(12).size, c.styleOk ? 30 : before.size);
        // The dialog never touches the shortcut or the flag.
        EXPECT_EQ(entry(12).shortcut, 'm');
        EXPECT_EQ(entry(12).slippery, 1);
    }
}

TEST_F(FontCommandDialogTest, EditingTheBaseStyleSetsItFromTheDialog) {
    SelectedStyleIndex = 0;
    const uint8_t shortcut = entry(0).shortcut;
    pt::onDialog(kCharacterCommandsDialogId,
                 [](DialogDriver& d) { d.click(kCharCmdModifyButton); });
    pt::onDialog(kFontStyleDialogId, [](DialogDriver& d) {
        d.click(kFontStyleSizeFirst + kSizeModePoints);
        d.setText(kFontStyleSizeText, "16");
        d.click(plat::IDOK);
    });
    pt::onDialog(kCharacterCommandsDialogId, [](DialogDriver& d) { d.click(plat::IDCANCEL); });
    RunCharacterCommands();
    EXPECT_EQ(entry(0).size, 16);
    EXPECT_EQ(BaseStyleSize(), 16);
    EXPECT_EQ(entry(0).shortcut, shortcut);
}

TEST_F(FontCommandDialogTest, TheBindingsLineFollowsTheSelectedEntry) {
    const int32_t key = KeyIndexOf('J', 'j', false, false, true);
    KeyMap[static_cast<size_t>(key)] = kCmdStyleBase + 5;
    SelectedStyleIndex = 4;
    std::string four, five;
    pt::onDialog(kCharacterCommandsDialogId, [&](DialogDriver& d) {
        four = d.text(kCharCmdBindingsItem);
        d.selectRow(kCharCmdListItem, 5);
        five = d.text(kCharCmdBindingsItem);
        d.click(plat::IDCANCEL);
    });
    RunCharacterCommands();
    EXPECT_EQ(four, LoadResString(kUnboundString));
    EXPECT_EQ(five, GetKeyName(key));
}

} // namespace

// ---- Through the running program
// --------------------------------------------------------------------

namespace kvtest {
namespace {

class FontCommandAppTest : public AppDocumentFixture {
protected:
    void TearDown() override {
        AppDocumentFixture::TearDown();
        ResetStyleTable();
        SelectedStyleIndex = 0;
    }
};

TEST_F(FontCommandAppTest, AnEditedFontCommandIsAppliedFromItsMenuItem) {
    ResetStyleTable();
    ExprFilePane* pane = typed("ab");
    const std::vector<FSSRecord> typedStyles = leafStyles(pane);
    ASSERT_FALSE(typedStyles.empty());
    for (const FSSRecord& r : typedStyles)
        ASSERT_NE(r.style[kStyleUnderline], kStyleOn);
    SelectedStyleIndex = 0;
    const int target = 14;
    pt::onDialog(kCharacterCommandsDialogId, [&](DialogDriver& d) {
        d.selectRow(kCharCmdListItem, target);
        d.type(kCharCmdShortcutItem, "u");
        d.click(kCharCmdModifyButton);
    });
    pt::onDialog(kFontStyleDialogId, [](DialogDriver& d) {
        d.chooseCombo(kFontStyleUnderlineItem, 0); // activé
        d.click(plat::IDOK);
    });
    pt::onDialog(kCharacterCommandsDialogId, [](DialogDriver& d) { d.click(plat::IDOK); });
    ASSERT_EQ(DoMenuCommand(kCharacterCommandsMenuId), 1);
    pt::runUntilIdle();
    ASSERT_EQ(entry(target).style[kStyleUnderline], kStyleOn);

    // "&Apply Font Command..." holds one item for the entry, whatever the dialog ran through.
    plat::HMENU menu = MenuOfNumber(kApplyFontCommandMenu);
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(plat::GetMenuItemCount(menu), 1);
    const plat::UINT id = plat::GetMenuItemID(menu, 0);
    char text[128] = {};
    plat::GetMenuString(menu, id, text, sizeof text, plat::MF_BYCOMMAND);
    EXPECT_EQ(std::string(text), StyleEntryMenuText(target));
    EXPECT_EQ(text[0], 'u');

    DoCommand(kCmdSelectAll, 0);
    EXPECT_EQ(DoMenuCommand(static_cast<int>(id)), 1);
    pt::runUntilIdle();
    const std::vector<FSSRecord> styles = leafStyles(pane);
    ASSERT_FALSE(styles.empty());
    for (const FSSRecord& r : styles)
        EXPECT_EQ(r.style[kStyleUnderline], kStyleOn);

    // Deleting the entry and cancelling keeps both the entry and its item.
    pt::onDialog(kCharacterCommandsDialogId, [&](DialogDriver& d) {
        d.click(kCharCmdDeleteButton);
        d.click(plat::IDCANCEL);
    });
    DoMenuCommand(kCharacterCommandsMenuId);
    pt::runUntilIdle();
    EXPECT_EQ(entry(target).style[kStyleUnderline], kStyleOn);
    ASSERT_EQ(plat::GetMenuItemCount(menu), 1);
    EXPECT_EQ(plat::GetMenuItemID(menu, 0), id);

    // Deleting it with OK takes the item away.
    pt::onDialog(kCharacterCommandsDialogId, [&](DialogDriver& d) {
        EXPECT_EQ(d.curSel(kCharCmdListItem), target);
        d.click(kCharCmdDeleteButton);
        d.click(plat::IDOK);
    });
    DoMenuCommand(kCharacterCommandsMenuId);
    pt::runUntilIdle();
    EXPECT_EQ(plat::GetMenuItemCount(menu), 0);
}

TEST_F(FontCommandAppTest, TheKeyboardDialogsFontKindAsksForAFontCommand) {
    int32_t stored = -1;
    pt::onDialog(kKeyboardDialogId, [&](DialogDriver& d) {
        d.click(kKeyboardKeyItem);
        d.key('Y', pt::kCtrl);
        d.click(kKeyboardFontButton);
    });
    pt::onDialog(kChangeFontDialogId, [](DialogDriver& d) {
        d.selectRow(kChangeFontListItem, 4);
        d.click(plat::IDOK);
    });
    pt::onDialog(kKeyboardDialogId, [&](DialogDriver& d) {
        stored = WorkingKeyMap[static_cast<size_t>(SelectedKey)];
        d.click(plat::IDCANCEL);
    });
    DoMenuCommand(kCustomizeKeyboardMenuId);
    pt::runUntilIdle();
    EXPECT_EQ(stored, kCmdStyleBase + 3);
}

} // namespace
} // namespace kvtest
