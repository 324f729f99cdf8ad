// Macros in the running program on the headless back end: one defined in "Définitions des
// macros" from a document's selection, bound to a key and a palette button through their dialogs,
// inserted by both, kept over a restart, and deleted (its key and palette cells with it); and the
// "Mc" records of general.prf, damaged ones included.
#include "App/MenuDispatch.h"
#include "Dialogs/CustomizePaletteDialogs.h"
#include "Dialogs/InsertExpressionDialog.h"
#include "Dialogs/KeyboardDialogs.h"
#include "Dialogs/MacroDefinitionsDialog.h"
#include "OverPc/PFILE.h"
#include "OverPc/Presourc.h"
#include "OverPc/commands/kMacro.h"
#include "OverPc/commands/kPalette.h"
#include "OverPc/commands/kPrefs.h"
#include "OverPc/shell/KeyCodes.h"
#include "OverPc/shell/Pwindow.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/oReader.h"
#include "OverSrcs/oStreams.h"
#include "app/AppDocumentFixture.h"
#include "plat/Dialog.h"
#include "plat/Testing.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>

namespace kvtest {
namespace {

namespace pt = plat::testing;
namespace fs = std::filesystem;
using pt::DialogDriver;

const fs::path kShippedFolder = fs::path(KV_BINARY_DIR) / "src" / "Korvaline_Prefs";
constexpr int kCopyMenuId = 516;
constexpr int kPasteMenuId = 517;
constexpr int kCloseMenuId = 259;

// The text of every word of the tree, in order.
std::string textOf(const eExpr* node) {
    if (node == nullptr)
        return "";
    if (const auto* word = dynamic_cast<const eWord*>(node))
        return std::string(word->view());
    std::string text;
    for (int32_t i = 0; i < node->childCount(); ++i)
        text += textOf(node->getChild(i));
    return text;
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void drag(DialogDriver& d, int item, plat::POINT from, plat::POINT to) {
    pt::press(d.item(item), from.x, from.y);
    pt::move(d.item(item), to.x, to.y);
    pt::release(d.item(item), to.x, to.y);
    d.pump();
}

class MacrosTest : public AppDocumentFixture {
protected:
    void SetUp() override {
        AppDocumentFixture::SetUp();
        // The preferences folder a first run copies from the program's folder.
        CopyLegacyPrefs(PathSlotText(kDataFolderSlot), kShippedFolder.parent_path().string() + "/");
        InstallPaletteHooks();
        ResetPalettes();
        ResetKeyMap();
        ResetInsertExpressionState();
        SelectedMacroCode = 0;
    }
    void TearDown() override {
        CloseMacroWindows();
        ClosePaletteWindow();
        closeDocuments();
        shutDown();
        ResetPalettes();
        ResetKeyMap();
        ResetGeneralPrefs();
    }
    // A second run of the program over the same preferences folder, started as main starts it.
    // `scripts` answers what the start-up shows.
    void restart(const std::function<void()>& scripts = {}) {
        quit();
        pt::reset();
        if (scripts)
            scripts();
        ResetCommandState();
        ResetGeneralPrefs();
        ResetPalettes();
        ResetKeyMap();
        SetSingleInstanceSocket(m_dir / "KorvalineFileOpen");
        InstallModelWiring();
        ASSERT_TRUE(CQVAppStartup({"-nosplash"}).runLoop);
        InstallPaletteHooks();
    }
    // The program ends as a user's quit ends it (the preferences written on the way out).
    void quit() {
        closeDocuments();
        ClosePaletteWindow();
        CQVAppShutdown();
        shutDown();
    }
    // Types a key into a new document holding "b" and answers the document's text.
    std::string typedWithKey(char key) {
        ExprFilePane* pane = typed("b");
        pt::type(std::string(1, key));
        pt::runUntilIdle();
        return textOf(pane->expression());
    }
    std::string clickedOnPalette(plat::POINT at) {
        ExprFilePane* pane = typed("b");
        const plat::HWND palette = openPalette();
        EXPECT_NE(palette, nullptr);
        if (palette == nullptr)
            return "";
        pt::click(palette, at.x, at.y);
        pt::runUntilIdle();
        return textOf(pane->expression());
    }
    static fs::path prefsFile(const char* name) { return fs::path(PrefsFolderPath()) / name; }
};

// The macro's button: the 2 × 2 block below the built-in rows of the main palette.
constexpr int32_t kButtonRow = 4;

TEST_F(MacrosTest, AMacroFromTheSelectionWorksByKeyAndPaletteSurvivesARestartAndDeletesClean) {
    // "x+1" selected and copied in a document; "Nouvelle macro" opens the new macro's window,
    // the copy is pasted there and the window closed.
    typed("x+1");
    DoCommand(kCmdSelectAll, 0);
    DoMenuCommand(kCopyMenuId);
    bool emptyAtFirst = false;
    pt::onDialog(kMacroDefinitionsDialogId, [&](DialogDriver& d) {
        emptyAtFirst = d.curSel(kMacroListItem) == -1 && !d.enabled(kMacroDeleteButton) &&
                       !d.enabled(kMacroEditInWindowButton) && d.enabled(kMacroNewButton);
        d.click(kMacroNewButton);
    });
    DoMenuCommand(kMacroDefinitionsMenuId);
    pt::runUntilIdle();
    EXPECT_TRUE(emptyAtFirst);
    ASSERT_EQ(MacroList.size(), 1u);
    const int32_t code = MacroList[0].code;
    EXPECT_EQ(code, kMacroFirstCode);
    ASSERT_NE(MacroWindowOf(code), nullptr);
    EXPECT_EQ(ActivePane, MacroWindowOf(code));
    EXPECT_EQ(MacroWindowOf(code)->fileName(), LoadResString(kMacroWindowTitleString));
    DoMenuCommand(kPasteMenuId);
    DoMenuCommand(kCloseMenuId);
    pt::runUntilIdle();
    EXPECT_EQ(MacroWindowOf(code), nullptr);
    EXPECT_EQ(textOf(MacroList[0].expression.get()), "x+1");

    // Its icon: a snapshot of the expression, then pixel (2, 3) painted in the magnified view;
    // auto-render blanks the icon and painting turns it off again.
    bool snapshotInked = false, autoRenderBlanked = false, paintedClearsBox = false;
    bool emptyDragBeeps = false, draggedPartInked = false;
    pt::onDialog(kMacroDefinitionsDialogId, [&](DialogDriver& d) {
        d.selectRow(kMacroListItem, 0);
        // "Créer une icône", then a drag over the expression: an empty rectangle only beeps,
        // one over the expression makes the icon of what it covers.
        d.click(kMacroCaptureIconButton);
        const size_t beeps = pt::beeps().size();
        drag(d, kMacroExpressionItem, {6, 6}, {6, 30});
        emptyDragBeeps = pt::beeps().size() == beeps + 1 && MacroIconIsBlank(MacroList[0].icon);
        d.click(kMacroCaptureIconButton);
        drag(d, kMacroExpressionItem, {2, 2}, {60, 30});
        draggedPartInked = !MacroIconIsBlank(MacroList[0].icon) && !MacroIconCaptureMode;
        d.click(kMacroSnapshotButton);
        snapshotInked = !MacroIconIsBlank(MacroList[0].icon);
        d.click(kMacroAutoRenderBox);
        autoRenderBlanked = d.checked(kMacroAutoRenderBox) && MacroIconIsBlank(MacroList[0].icon);
        drag(d, kMacroIconItem, {12, 17}, {12, 17});
        paintedClearsBox = !d.checked(kMacroAutoRenderBox) && MacroList[0].autoRender == 0;
        d.click(plat::IDOK);
    });
    DoMenuCommand(kMacroDefinitionsMenuId);
    EXPECT_TRUE(emptyDragBeeps);
    EXPECT_TRUE(draggedPartInked);
    EXPECT_TRUE(snapshotInked);
    EXPECT_TRUE(autoRenderBlanked);
    EXPECT_TRUE(paintedClearsBox);
    EXPECT_TRUE(MacroIconPixel(MacroList[0].icon, 2, 3));
    const MacroIcon icon = MacroList[0].icon;

    // Bound to Q through Keyboard Equivalents, and to a new palette button through Customize
    // Palette, both picking it in Insert Expression's macro list.
    const int32_t q = KeyIndexOf('Q', 'q', false, false, false);
    pt::onDialog(kKeyboardDialogId, [&](DialogDriver& d) {
        d.click(kKeyboardKeyItem);
        d.key('Q');
        d.click(kKeyboardInsertButton);
    });
    const auto chooseMacro = [](DialogDriver& d) {
        d.selectRow(kInsertMacroListItem, 0);
        d.click(kInsertMacroButton);
    };
    pt::onDialog(kInsertExpressionDialogId, chooseMacro);
    pt::onDialog(kKeyboardDialogId, [](DialogDriver& d) { d.click(plat::IDOK); });
    DoMenuCommand(kCustomizeKeyboardMenuId);
    const int32_t cell = CustomizePreviewCell();
    pt::onDialog(kCustomizePaletteDialogId, [&](DialogDriver& d) {
        pt::click(d.item(kCustomizePalettePreviewItem), cell, kButtonRow * cell + cell);
        d.pump();
        d.click(5740); // "Insert Symbol/Expression"
    });
    pt::onDialog(kInsertExpressionDialogId, chooseMacro);
    pt::onDialog(kCustomizePaletteDialogId, [](DialogDriver& d) { d.click(plat::IDOK); });
    DoMenuCommand(kCustomizePaletteMenuId);
    ASSERT_EQ(LookupKeyCommand(q), code);
    ASSERT_EQ(MainPalette().code(kButtonRow, 0), code);
    const int32_t size = PaletteCellSize();
    const plat::POINT button{size, kButtonRow * size + size};

    for (const char* when : {"in the run that defined it", "after a restart"}) {
        SCOPED_TRACE(when);
        if (std::string(when) != "in the run that defined it")
            restart();
        ASSERT_EQ(MacroList.size(), 1u);
        EXPECT_EQ(MacroList[0].code, code);
        EXPECT_EQ(MacroList[0].icon, icon);
        EXPECT_EQ(typedWithKey('q'), "bx+1");
        EXPECT_EQ(clickedOnPalette(button), "bx+1");
        ExprFilePane* chosen = typed("b");
        pt::onDialog(kInsertExpressionDialogId,
                     [](DialogDriver& d) { d.doubleClickRow(kInsertMacroListItem, 0); });
        DoMenuCommand(kInsertExpressionMenuId);
        EXPECT_EQ(textOf(chosen->expression()), "bx+1");
        // The palette button shows the icon: ink where pixel (2, 3) is drawn.
        ASSERT_NE(ThePalettePane(), nullptr);
        const pt::Image shown = pt::pixels(HandleOfWindow(ThePalettePane()->windowHandle()));
        int inked = 0;
        for (int y = kButtonRow * size; y < (kButtonRow + 2) * size; ++y)
            for (int x = 0; x < 2 * size; ++x)
                inked += (shown.at(x, y) & 0xFFFFFF) == 0 ? 1 : 0;
        EXPECT_GT(inked, 0);
        EXPECT_TRUE(pt::messageBoxes().empty());
    }

    // Deleting it, then Cancel, puts the macro, its key and its button back; deleting it with OK
    // empties the list, unbinds Q and clears the button, in this run and in the files.
    for (const int ending : {plat::IDCANCEL, plat::IDOK}) {
        bool cleared = false;
        pt::onDialog(kMacroDefinitionsDialogId, [&](DialogDriver& d) {
            d.selectRow(kMacroListItem, 0);
            d.click(kMacroDeleteButton);
            cleared = d.curSel(kMacroListItem) == -1 && !d.enabled(kMacroDeleteButton) &&
                      MacroList.empty() && LookupKeyCommand(q) == 0 &&
                      MainPalette().code(kButtonRow + 1, 1) == 0;
            d.click(ending);
        });
        DoMenuCommand(kMacroDefinitionsMenuId);
        EXPECT_TRUE(cleared);
    }
    // (after Cancel the macro came back, as the OK run found it there to delete)
    EXPECT_TRUE(MacroList.empty());
    EXPECT_EQ(LookupKeyCommand(q), 0);
    for (int32_t r = kButtonRow; r < kButtonRow + 2; ++r)
        for (int32_t c = 0; c < 2; ++c)
            EXPECT_EQ(MainPalette().code(r, c), 0) << r << "," << c;
    restart();
    EXPECT_TRUE(MacroList.empty());
    EXPECT_EQ(LookupKeyCommand(q), 0);
    EXPECT_EQ(MainPalette().code(kButtonRow, 0), 0);
    EXPECT_EQ(typedWithKey('q'), "b");
}

// ---- "Mc" records -----------------------------------------------------------------------------

// A general.prf of a version line, a good macro 0x5003, the record under test and a good "Mk"
// record after it.
std::string prefsWith(const std::string& record) {
    MacroList.clear();
    MacroRecord macro;
    macro.code = 0x5003;
    macro.expression = NewSimpString(0);
    SetMacroIconPixel(macro.icon, 19, 0, true);
    MacroList.push_back(std::move(macro));
    oOMemoryStream* out = NewOMemoryStream(0);
    out->writeString("Ve!\n");
    WriteMacroRecords(*out);
    out->writeString(record.c_str());
    out->writeString("Mk%%\n");
    MacroList.clear();
    return out->detachString();
}

// A "Mc" record of the code with the icon's hex and the encoding text as given.
std::string mcRecord(int32_t code, const std::string& hex, const std::string& encoding) {
    oOMemoryStream* out = NewOMemoryStream(0);
    WriteRecordTag(*out, "Mc");
    out->putNumber(code);
    out->putNumber(0);
    out->writeString(hex.c_str());
    out->writeString(encoding.c_str());
    EndRecord(*out);
    return out->detachString();
}

TEST(MacroRecords, ADamagedRecordIsSkippedAloneAndTheRestReads) {
    ResetGeneralPrefs();
    const std::string blank(kMacroIconHexDigits, '0');
    ExprPtr row = NewSimpString(0);
    const std::string encoding = ExprEncodingText(row.get(), "\n\t");
    struct Case {
        const char* name;
        std::string record;
        size_t macros; // macros read
    };
    const Case cases[] = {
        {"a second good macro", mcRecord(0x5001, blank, encoding), 2},
        {"code out of range", mcRecord(0x50FF, blank, encoding), 1},
        {"code already used", mcRecord(0x5003, blank, encoding), 1},
        {"icon with a bad digit", mcRecord(0x5001, "G" + blank.substr(1), encoding), 1},
        {"icon too short", mcRecord(0x5001, blank.substr(2), encoding), 1},
        {"bits past the 20th pixel", mcRecord(0x5001, "00000F" + blank.substr(6), encoding), 1},
        {"encoding without its end",
         mcRecord(0x5001, blank, encoding.substr(0, encoding.size() - 3)), 1},
        {"no encoding at all", mcRecord(0x5001, blank, ""), 1},
        {"record cut after the code", "Mc" + mcRecord(0x5001, "", "").substr(2, 3) + "\n", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetGeneralPrefs();
        const std::string text = prefsWith(c.record);
        oIMemoryStream in(reinterpret_cast<const uint8_t*>(text.data()),
                          static_cast<uint32_t>(text.size()));
        const GeneralPrefsReadResult result = ReadGeneralPrefs(in);
        ASSERT_EQ(MacroList.size(), c.macros);
        EXPECT_EQ(MacroList[0].code, 0x5003);
        EXPECT_TRUE(MacroIconPixel(MacroList[0].icon, 19, 0));
        EXPECT_EQ(result.macrosFailed, c.macros == 2 ? 0 : 1);
        EXPECT_EQ(result.damaged(), c.macros != 2);
        EXPECT_EQ(EmbellishmentSettings.dotWeight, 5) << "the record after it is read";
    }
    ResetGeneralPrefs();
}

TEST_F(MacrosTest, ADamagedMacroRecordIsNamedInTheMessageAndTheFileKept) {
    const std::string damaged =
        prefsWith(mcRecord(0x5001, std::string(kMacroIconHexDigits, 'x'), "]|Expr|["));
    const fs::path file = prefsFile(kGeneralPrefsFile);
    // Written between the runs: quitting writes the file of the first.
    restart([&] {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << damaged;
        pt::onMessageBox([](const pt::MessageBoxCall&) { return plat::IDOK; });
    });
    ASSERT_EQ(pt::messageBoxes().size(), 1u);
    const std::string shown = pt::messageBoxes()[0].text;
    std::string note = LoadResString(kMacrosDamagedString);
    note.replace(note.find("%d"), 2, "1");
    EXPECT_NE(shown.find(file.string()), std::string::npos) << shown;
    EXPECT_NE(shown.find(note), std::string::npos) << shown;
    ASSERT_EQ(MacroList.size(), 1u);
    EXPECT_EQ(MacroList[0].code, 0x5003);
    quit();
    EXPECT_EQ(slurp(file), damaged) << "quitting keeps the file";

    // A change (OK in the macro dialog) writes the file anew and keeps the damaged one beside it.
    restart([] { pt::onMessageBox([](const pt::MessageBoxCall&) { return plat::IDOK; }); });
    pt::onDialog(kMacroDefinitionsDialogId, [](DialogDriver& d) { d.click(plat::IDOK); });
    DoMenuCommand(kMacroDefinitionsMenuId);
    EXPECT_EQ(slurp(prefsFile(kDamagedPrefsCopy)), damaged);
    restart();
    EXPECT_TRUE(pt::messageBoxes().empty());
    ASSERT_EQ(MacroList.size(), 1u);
    EXPECT_EQ(MacroList[0].code, 0x5003);
}

} // namespace
} // namespace kvtest
