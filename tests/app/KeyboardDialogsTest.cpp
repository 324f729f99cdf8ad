// The Keyboard Equivalents dialogs on the headless back end: what a captured key shows, what each
// control does to the working copy, the customisation command's loop through the editors (and the
// document window typing with the new binding), the revert, and saving the key map safely.
#include "Dialogs/KeyboardDialogs.h"

#include "App/AppHooks.h"
#include "App/CQVAppStartup.h"
#include "App/MenuDispatch.h"
#include "App/ModelWiring.h"
#include "BuiltinResources.h"
#include "Dialogs/DialogFrame.h"
#include "Dialogs/HelpTours.h"
#include "Dialogs/InsertExpressionDialog.h"
#include "Dialogs/SecondaryCommandDialog.h"
#include "ExprSrcs/ExprFilePane.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/PPRINT.h"
#include "OverPc/Presourc.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/KeyCodes.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/oStreams.h"
#include "app/AppDocumentFixture.h"
#include "app/DialogTestFixture.h"
#include "plat/Dialog.h"
#include "plat/Input.h"
#include "plat/Print.h"
#include "plat/Resources.h"
#include "plat/Testing.h"
#include "plat/Window.h"
#include "platform/SysTempDir.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

namespace kvtest {
namespace {

namespace pt = plat::testing;
using pt::DialogDriver;

int32_t keyOf(int vk, char ch) {
    return KeyIndexOf(vk, static_cast<uint8_t>(ch), false, false, false);
}

// The button checked among the four kinds, or 0 when none is.
int checkedKind(DialogDriver& d) {
    for (int id = kKeyboardNothingButton; id <= kKeyboardSecondaryButton; ++id)
        if (d.checked(id))
            return id;
    return 0;
}

void pressKey(DialogDriver& d, int vk, unsigned mods = 0) {
    d.click(kKeyboardKeyItem);
    d.key(vk, mods);
}

// The middle of an Insert Expression command-grid cell: square cells of 18 pixels.
void clickInsertCommand(DialogDriver& d, int index) {
    plat::RECT r{};
    plat::GetClientRect(d.item(kInsertCommandGridItem), &r);
    const int columns = r.right / 18;
    pt::click(d.item(kInsertCommandGridItem), index % columns * 18 + 9, index / columns * 18 + 9);
    d.pump();
}

class KeyboardDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        kvtest::StartDialogTest();
        ResetKeyMap();
        WorkingKeyMap = DefaultKeyMap();
        TheKeyboardRecord = KeyboardEquivalentsDlgRecord{};
    }
    void TearDown() override {
        ResetKeyMap();
        kvtest::EndDialogTest();
    }
    int32_t run() {
        return RunKeyboardEquivalentsDlg(reinterpret_cast<std::uintptr_t>(&TheKeyboardRecord));
    }
    static int32_t& working(int32_t key) { return WorkingKeyMap[static_cast<size_t>(key)]; }

    SysTempDir m_dir;
};

TEST_F(KeyboardDialogTest, APressedKeyShowsItsCurrentBinding) {
    working('b') = kCmdStyleBase + 5;
    working('c') = kCmdSubPaletteBase + 3;
    working('d') = 0;
    working('e') = 0x4111 | kCmdWidenBit;
    struct Case {
        int vk;
        char ch;
        int kind;
        bool previous;
    };
    const std::vector<Case> cases{
        {'A', 'a', kKeyboardInsertButton, false},
        {plat::VK_BACK, 0x08, kKeyboardSecondaryButton, false},
        {'B', 'b', kKeyboardFontButton, false},
        {'C', 'c', 0, false},
        {'D', 'd', kKeyboardNothingButton, false},
        {'E', 'e', kKeyboardInsertButton, true},
    };
    std::string opened;
    int openedKind = -1;
    pt::onDialog(kKeyboardDialogId, [&](DialogDriver& d) {
        // The first run opens on the space bar, which types its character.
        opened = d.text(kKeyboardKeyItem);
        openedKind = checkedKind(d);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.ch);
            pressKey(d, c.vk);
            const int32_t key = keyOf(c.vk, c.ch);
            EXPECT_EQ(SelectedKey, key);
            EXPECT_EQ(d.text(kKeyboardKeyItem), GetKeyName(key));
            EXPECT_EQ(checkedKind(d), c.kind);
            EXPECT_EQ(d.checked(kKeyboardPreviousItem), c.previous);
            EXPECT_EQ(SelectedKeyAppliesToPrevious, c.previous);
        }
        // The lock keys change nothing.
        for (int vk : {plat::VK_CAPITAL, plat::VK_NUMLOCK, plat::VK_SCROLL}) {
            d.key(vk);
            EXPECT_EQ(SelectedKey, keyOf('E', 'e'));
            EXPECT_EQ(d.text(kKeyboardKeyItem), GetKeyName(keyOf('E', 'e')));
        }
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(opened, GetKeyName(32));
    EXPECT_EQ(openedKind, kKeyboardInsertButton);
    // Cancel wrote nothing back.
    EXPECT_EQ(TheKeyboardRecord.key, 32);
    EXPECT_EQ(TheKeyboardRecord.kind, -1);
}

TEST_F(KeyboardDialogTest, DoNothingUnbindsAtOnceAndTheBoxMarksTheBinding) {
    working('e') = 0x4111;
    bool open = false;
    int32_t afterNothing = -1, afterBoxOnEmpty = -1, afterOn = -1, afterOff = -1, afterLabel = -1;
    pt::onDialog(kKeyboardDialogId, [&](DialogDriver& d) {
        pressKey(d, 'A');
        d.click(kKeyboardNothingButton);
        open = !d.ended();
        afterNothing = working('a');
        // On an unbound key the box changes no entry.
        d.click(kKeyboardPreviousItem);
        afterBoxOnEmpty = working('a');
        EXPECT_TRUE(d.checked(kKeyboardPreviousItem));
        pressKey(d, 'E');
        EXPECT_FALSE(d.checked(kKeyboardPreviousItem));
        d.click(kKeyboardPreviousItem);
        afterOn = working('e');
        d.click(kKeyboardPreviousItem);
        afterOff = working('e');
        // The box's label toggles it the same way.
        const plat::RECT label = ScaledLabelRect(plat::RECT{337, 173, 535, 191});
        d.clickClient((label.left + label.right) / 2, (label.top + label.bottom) / 2);
        afterLabel = working('e');
        d.click(plat::IDOK);
    });
    EXPECT_EQ(run(), 1);
    EXPECT_TRUE(open);
    EXPECT_EQ(afterNothing, 0);
    EXPECT_EQ(afterBoxOnEmpty, 0);
    EXPECT_EQ(afterOn, 0x4111 | kCmdWidenBit);
    EXPECT_EQ(afterOff, 0x4111);
    EXPECT_EQ(afterLabel, 0x4111 | kCmdWidenBit);
    EXPECT_EQ(TheKeyboardRecord.key, 'e');
    EXPECT_EQ(TheKeyboardRecord.kind, 1);
    EXPECT_EQ(TheKeyboardRecord.appliesToPrevious, 1);
}

TEST_F(KeyboardDialogTest, EditorKindsAndButtonsCloseWithTheirResults) {
    struct Case {
        int button;
        int32_t result;
        int32_t kind;
    };
    const std::vector<Case> cases{{kKeyboardInsertButton, 5, 1},
                                  {kKeyboardFontButton, 6, 2},
                                  {kKeyboardSecondaryButton, 7, 3},
                                  {kKeyboardPrintButton, 222, 1},
                                  {kKeyboardRevertButton, 333, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        TheKeyboardRecord = KeyboardEquivalentsDlgRecord{};
        pt::onDialog(kKeyboardDialogId, [&](DialogDriver& d) {
            pressKey(d, 'Z');
            d.click(c.button);
        });
        EXPECT_EQ(run(), c.result);
        EXPECT_EQ(TheKeyboardRecord.key, keyOf('Z', 'z'));
        EXPECT_EQ(TheKeyboardRecord.kind, c.kind);
        // Nothing was stored: the editors do that.
        EXPECT_EQ(working('z'), DefaultKeyMap()['z']);
    }
}

TEST_F(KeyboardDialogTest, TheRevertDialogAnswersOkOrCancel) {
    std::string text;
    pt::onDialog(kRevertKeysDialogId, [&](DialogDriver& d) {
        text = d.text(kRevertKeysTextItem);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunRevertToOriginalDlg(0), 1);
    EXPECT_NE(text.find("traitement de texte"), std::string::npos);
    pt::onDialog(kRevertKeysDialogId, [](DialogDriver& d) { d.click(plat::IDCANCEL); });
    EXPECT_EQ(RunRevertToOriginalDlg(0), 0);
}

TEST_F(KeyboardDialogTest, RevertRewritesOnlyTheCharacterKeys) {
    KeyMapTable map;
    map.fill(kCmdClear);
    RevertKeyMapToTyping(map);
    for (int32_t i = 0; i < kKeyMapSize; ++i) {
        const bool typed = (i >= 32 && i <= 255) || (i >= 288 && i <= 319);
        if (typed) {
            // The key types its own character (the keypad block its character 0x20-0x3F).
            const int32_t ch = i < 256 ? i : i - 256;
            ASSERT_EQ(map[static_cast<size_t>(i)],
                      MakeCharCode(kTypingStyleSelector, static_cast<unsigned char>(ch)))
                << i;
        } else {
            ASSERT_EQ(map[static_cast<size_t>(i)], kCmdClear) << i;
        }
    }
}

TEST_F(KeyboardDialogTest, TheKeyListDescribesEveryBoundKey) {
    const std::vector<std::string> lines = KeyAssignmentLines(DefaultKeyMap());
    size_t bound = 0;
    for (int32_t code : DefaultKeyMap())
        bound += code != 0 ? 1 : 0;
    EXPECT_EQ(lines.size(), bound);
    const int32_t backspace = keyOf(plat::VK_BACK, 0x08);
    const std::string help = LoadResString(
        EditCommandCatalog()[static_cast<size_t>(FindEditCatalogRow(0x6602))].helpStringId);
    EXPECT_EQ(lines.front(), GetKeyName(backspace) + "\t" + help);
    EXPECT_NE(DescribeCommand(MakeCharCode(kTypingStyleSelector, 'k')).find("k"),
              std::string::npos);
    EXPECT_NE(DescribeCommand(0x4111 | kCmdWidenBit), DescribeCommand(0x4111));
    // An insertion is described in words.
    EXPECT_EQ(DescribeCommand(0x4111), "Parenth\xE8ses");
    EXPECT_EQ(DescribeCommand(0x5233), "Matrice 3 \xD7 3");
    // Every other kind of command, in the string table's words (which a resource library may
    // translate) with the character, number or name in its place.
    struct Described {
        int32_t code;
        const char* text;
        int stringId;
        std::vector<std::string> words;
    };
    const Described described[] = {
        {MakeCharCode(kTypingStyleSelector, 'k'),
         "Caract\xE8re \xAB k \xBB",
         kCharacterCommandString,
         {"k"}},
        {MakeCharCode(3, 'k'),
         "Caract\xE8re \xAB k \xBB (style 3)",
         kStyledCharacterCommandString,
         {"k", "3"}},
        {kCmdColourBase + CommandColourByte(73, 73, 73),
         "Couleur gris fonc\xE9",
         kNamedColourCommandString,
         {LoadResString(CommandColourTable()[2].nameString)}},
        {kCmdColourBase + 0x01, "Couleur", kColourCommandString, {}},
        {kCmdMacroBase + 7, "Macro 7", kMacroCommandString, {"7"}},
        {kCmdSubPaletteBase + 12, "Palette locale 12", kSubPaletteCommandString, {"12"}},
        {kCmdStyleBase + 3, "Police 3", kStyleCommandString, {"3"}},
        {0x7ABC, "Commande 7ABC", kOtherCommandString, {"7ABC"}},
        {0x4111 | kCmdWidenBit,
         "Parenth\xE8ses (s\xE9lection arri\xE8re)",
         kBackwardSelectionString,
         {"Parenth\xE8ses"}},
    };
    for (const Described& d : described) {
        SCOPED_TRACE(d.text);
        EXPECT_EQ(DescribeCommand(d.code), d.text);
        std::string fromTable = LoadResString(d.stringId);
        for (const std::string& word : d.words)
            fromTable.replace(fromTable.find("%s"), 2, word);
        EXPECT_EQ(fromTable, d.text);
    }
}

TEST_F(KeyboardDialogTest, TheSavedMapReadsBackEntryForEntry) {
    KeyMapTable map{};
    for (int32_t i = 1; i < kKeyMapSize; ++i)
        map[static_cast<size_t>(i)] = (i * 7919) % 3 == 0 ? 0 : ((i * 40503) & 0xFFFF);
    map[5] = 0x6602 | kCmdWidenBit;
    // The folder is made when missing.
    ASSERT_TRUE(SaveKeysPrefsIn(m_dir / "prefs/Korvaline_Prefs", map, false));
    KeyMapTable back = DefaultKeyMap();
    oIStreamPtr in(NewIFileStream((m_dir / "prefs/Korvaline_Prefs/keys.prf").c_str()));
    const KeyMapReadResult result = ReadKeyMap(*in, back);
    DestroyStream(in);
    EXPECT_TRUE(result.accepted) << result.report();
    EXPECT_TRUE(result.problems.empty()) << result.report();
    EXPECT_EQ(back, map);
    EXPECT_TRUE(pt::messageBoxes().empty());
}

TEST_F(KeyboardDialogTest, AFailedSaveLeavesTheOldFileAndSaysSo) {
    const std::string folder = m_dir / "Korvaline_Prefs";
    ASSERT_TRUE(SaveKeysPrefsIn(folder, DefaultKeyMap(), true));
    const std::string old = ReadFileBytes(folder + "/keys.prf");
    ASSERT_FALSE(old.empty());
    KeyMapTable big{};
    for (int32_t i = 1; i < kKeyMapSize; ++i)
        big[static_cast<size_t>(i)] = 0x6000 + (i & 0xFFF);
    // The file-size limit makes the disk refuse the new file's bytes part way.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ::getrlimit(RLIMIT_FSIZE, &previous);
    rlimit small = previous;
    small.rlim_cur = 2048;
    ::setrlimit(RLIMIT_FSIZE, &small);
    // The error itself, then the note that the preferences were not saved.
    std::vector<std::string> shown;
    for (int i = 0; i < 2; ++i)
        pt::onMessageBox([&](const pt::MessageBoxCall& box) {
            shown.push_back(box.text);
            return 1;
        });
    const bool saved = SaveKeysPrefsIn(folder, big, false);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadFileBytes(folder + "/keys.prf"), old);
    EXPECT_EQ(FolderNames(folder), std::vector<std::string>{"keys.prf"});
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1], LoadResString(kPrefsSaveFailedString));
    // Saving silently reports nothing and still leaves the old file.
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool quiet = SaveKeysPrefsIn(folder, big, true);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    EXPECT_FALSE(quiet);
    EXPECT_EQ(shown.size(), 2u);
    EXPECT_EQ(ReadFileBytes(folder + "/keys.prf"), old);
}

// ---- The menu command, with a document window

class CustomizeKeyboardTest : public kvtest::AppDocumentFixture {
protected:
    void SetUp() override {
        AppDocumentFixture::SetUp();
        ResetInsertExpressionState();
        ResetKeyMap();
    }
    void TearDown() override {
        closeDocuments();
        KeyboardFontCommandChooser = nullptr;
        ResetKeyMap();
        ResetInsertExpressionState();
        shutDown();
    }
    std::string typed(std::string_view text) {
        ExprFilePane* pane = NewUntitledDocument();
        pane->takeFocus();
        pt::runUntilIdle();
        pt::type(text);
        pt::runUntilIdle();
        return ExprEncodingText(pane->expression());
    }
    static std::string keysFile() { return PrefsFolderPath() + kKeysPrefsFile; }

    ScopedEnv m_registry{"KV_REGISTRY_DIR", m_dir / "config"};
    ScopedEnv m_data{"XDG_DATA_HOME", m_dir / "data"};
    ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir / "config"};
};

TEST_F(CustomizeKeyboardTest, AKeyBoundThroughInsertExpressionInsertsInADocument) {
    const int32_t q = keyOf('Q', 'q');
    const int row = FindInsertCatalogRow(0x4111);
    ASSERT_GE(row, 0);
    std::string reopenedOn;
    int reopenedKind = -1;
    pt::onDialog(kKeyboardDialogId, [&](DialogDriver& d) {
        pressKey(d, 'Q');
        d.click(kKeyboardInsertButton);
    });
    pt::onDialog(kInsertExpressionDialogId, [&](DialogDriver& d) {
        clickInsertCommand(d, row);
        d.click(kInsertCompositeButton);
    });
    pt::onDialog(kKeyboardDialogId, [&](DialogDriver& d) {
        reopenedOn = d.text(kKeyboardKeyItem);
        reopenedKind = checkedKind(d);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(kCustomizeKeyboardMenuId), 1);
    EXPECT_EQ(reopenedOn, GetKeyName(q));
    EXPECT_EQ(reopenedKind, kKeyboardInsertButton);
    EXPECT_EQ(LookupKeyCommand(q), 0x4111);
    EXPECT_TRUE(pt::messageBoxes().empty());

    // The saved file holds the new map entry for entry.
    KeyMapTable back{};
    oIStreamPtr in(NewIFileStream(keysFile().c_str()));
    const KeyMapReadResult result = ReadKeyMap(*in, back);
    DestroyStream(in);
    EXPECT_TRUE(result.accepted) << result.report();
    EXPECT_EQ(back, KeyMap);

    // Typing the key in a document now runs the insertion, like the command itself.
    const std::string withKey = typed("aq");
    ExprFilePane* pane = NewUntitledDocument();
    pane->takeFocus();
    pt::runUntilIdle();
    pt::type("a");
    pt::runUntilIdle();
    DoCommand(0x4111, 0);
    pt::runUntilIdle();
    EXPECT_EQ(withKey, ExprEncodingText(pane->expression()));
    EXPECT_EQ(withKey.find('q'), std::string::npos);
}

TEST_F(CustomizeKeyboardTest, ASecondaryCommandIsStoredWithTheBoxsBit) {
    const int32_t w = keyOf('W', 'w');
    int reopenedKind = -1;
    bool reopenedBox = false;
    pt::onDialog(kKeyboardDialogId, [&](DialogDriver& d) {
        pressKey(d, 'W');
        d.click(kKeyboardPreviousItem);
        d.click(kKeyboardSecondaryButton);
    });
    pt::onDialog(kSecondaryCommandDialogId, [](DialogDriver& d) {
        d.selectRow(kSecondaryListItem, SecondaryPreselectedRow(kCmdNudgeDown));
        d.click(plat::IDOK);
    });
    pt::onDialog(kKeyboardDialogId, [&](DialogDriver& d) {
        reopenedKind = checkedKind(d);
        reopenedBox = d.checked(kKeyboardPreviousItem);
        d.click(plat::IDOK);
    });
    CustomizeKeyboard();
    EXPECT_EQ(reopenedKind, kKeyboardSecondaryButton);
    EXPECT_TRUE(reopenedBox);
    EXPECT_EQ(KeyMap[static_cast<size_t>(w)], kCmdNudgeDown | kCmdWidenBit);
}

TEST_F(CustomizeKeyboardTest, CancelAfterEditsAndRevertsKeepsTheMapAndWritesNothing) {
    pt::onDialog(kKeyboardDialogId, [](DialogDriver& d) {
        pressKey(d, 'A');
        d.click(kKeyboardNothingButton);
        d.click(kKeyboardRevertButton);
    });
    pt::onDialog(kRevertKeysDialogId, [](DialogDriver& d) { d.click(plat::IDOK); });
    pt::onDialog(kKeyboardDialogId, [](DialogDriver& d) {
        pressKey(d, 'B');
        d.click(kKeyboardNothingButton);
        d.click(plat::IDCANCEL);
    });
    CustomizeKeyboard();
    EXPECT_EQ(KeyMap, DefaultKeyMap());
    EXPECT_FALSE(std::filesystem::exists(keysFile()));
}

TEST_F(CustomizeKeyboardTest, RevertRestoresTypingOnlyAfterItsOk) {
    const int32_t ctrlA = KeyIndexOf('A', 'a', false, false, true);
    KeyMap[static_cast<size_t>(ctrlA)] = kCmdCopy; // a customised combination stays
    std::vector<int> kinds;
    pt::onDialog(kKeyboardDialogId, [](DialogDriver& d) {
        pressKey(d, 'A');
        d.click(kKeyboardNothingButton);
        d.click(kKeyboardRevertButton);
    });
    pt::onDialog(kRevertKeysDialogId, [](DialogDriver& d) { d.click(plat::IDCANCEL); });
    pt::onDialog(kKeyboardDialogId, [&](DialogDriver& d) {
        kinds.push_back(checkedKind(d));
        d.click(kKeyboardRevertButton);
    });
    pt::onDialog(kRevertKeysDialogId, [](DialogDriver& d) { d.click(plat::IDOK); });
    pt::onDialog(kKeyboardDialogId, [&](DialogDriver& d) {
        kinds.push_back(checkedKind(d));
        d.click(plat::IDOK);
    });
    CustomizeKeyboard();
    EXPECT_EQ(kinds, (std::vector<int>{kKeyboardNothingButton, kKeyboardInsertButton}));
    EXPECT_EQ(KeyMap['a'], DefaultKeyMap()['a']);
    EXPECT_EQ(KeyMap[static_cast<size_t>(ctrlA)], kCmdCopy);
}

TEST_F(CustomizeKeyboardTest, TheFontKindUsesTheInstalledChooser) {
    // Without a chooser (the wiring installs one) the notice says so and the dialog comes back.
    KeyboardFontCommandChooser = nullptr;
    std::string notice;
    pt::onMessageBox([&](const pt::MessageBoxCall& box) {
        notice = box.text;
        return 1;
    });
    pt::onDialog(kKeyboardDialogId, [](DialogDriver& d) {
        pressKey(d, 'F');
        d.click(kKeyboardFontButton);
    });
    pt::onDialog(kKeyboardDialogId, [](DialogDriver& d) { d.click(plat::IDOK); });
    CustomizeKeyboard();
    EXPECT_EQ(notice, LoadResString(kNotYetImplementedStringId));
    EXPECT_EQ(KeyMap['f'], DefaultKeyMap()['f']);

    static int32_t s_given = -1;
    KeyboardFontCommandChooser = [](int32_t code) {
        s_given = code;
        return kCmdStyleBase + 7;
    };
    pt::onDialog(kKeyboardDialogId, [](DialogDriver& d) {
        pressKey(d, 'F');
        d.click(kKeyboardFontButton);
    });
    pt::onDialog(kKeyboardDialogId, [](DialogDriver& d) { d.click(plat::IDOK); });
    CustomizeKeyboard();
    EXPECT_EQ(s_given, DefaultKeyMap()['f']);
    EXPECT_EQ(KeyMap['f'], kCmdStyleBase + 7);
}

TEST_F(CustomizeKeyboardTest, PrintingListsTheWorkingCopyAndComesBack) {
    // A print server with no queues: the PDF printer is the default one.
    const std::string lpstat = m_dir / "lpstat";
    WriteFileBytes(lpstat, "#!/bin/sh\nexit 0\n");
    ::chmod(lpstat.c_str(), 0755);
    ScopedEnv server("KV_LPSTAT", lpstat);
    std::filesystem::create_directories(m_dir / "spool");
    ScopedEnv spool("TMPDIR", m_dir / "spool");
    plat::ForgetPrintSetupChoice();
    ASSERT_TRUE(RunPrintDialog(plat::PD_RETURNDEFAULT));
    pt::clearPrintJobs();
    bool reopened = false;
    pt::onDialog(kKeyboardDialogId, [](DialogDriver& d) { d.click(kKeyboardPrintButton); });
    pt::onDialog(kKeyboardDialogId, [&](DialogDriver& d) {
        reopened = true;
        d.click(plat::IDCANCEL);
    });
    CustomizeKeyboard();
    EXPECT_TRUE(reopened);
    ASSERT_EQ(pt::printJobs().size(), 1u);
    EXPECT_GE(pt::printJobs()[0].pages, 1);
    EXPECT_TRUE(pt::messageBoxes().empty());
    pt::clearPrintJobs();
}

} // namespace
} // namespace kvtest
