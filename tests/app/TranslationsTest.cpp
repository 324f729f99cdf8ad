// The translators in the running program: reading aloud, the MathML, text and MathSpeak save
// types, and the Copy As items, on the headless back end with the shipped translator files.

#include "OverPc/documents/Translations.h"

#include "../../src/Platform/backend/Backend.h"
#include "App/MenuDispatch.h"
#include "Dialogs/FontStyleDialog.h"
#include "Dialogs/PrefsSaving.h"
#include "Dialogs/TranslatorDialogs.h"
#include "ExprSrcs/etBrowse.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/commands/kPrefs.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/etGener.h"
#include "OverSrcs/etTranslator.h"
#include "app/UserInputFixture.h"
#include "plat/Clipboard.h"
#include "platform/SysTempDir.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <optional>
#include <string>

namespace kvtest {
namespace {

class TranslationsTest : public UserInputFixture {
protected:
    void SetUp() override {
        UserInputFixture::SetUp();
        // The user's preferences folder gets the shipped translators, as the first run copies them.
        const std::filesystem::path shipped =
            std::filesystem::path(KV_BINARY_DIR) / "src" / "Korvaline_Prefs";
        std::filesystem::create_directories(PrefsFolderPath());
        for (const char* name : {"TeX.cat", "MathML.cat", "MathSpeak.cat", "Text.CAT"})
            std::filesystem::copy_file(shipped / name, PrefsFolderPath() + name,
                                       std::filesystem::copy_options::overwrite_existing);
        ForgetLoadedTranslators();
    }
    void TearDown() override {
        ForgetLoadedTranslators();
        UserInputFixture::TearDown();
    }
    static std::string clipboardText() {
        std::vector<uint8_t> bytes;
        plat::backend().clipboardRead("UTF8_STRING", bytes);
        return std::string(bytes.begin(), bytes.end());
    }
    // Every translator in the preferences folder gets a rule that multiplies its output: the
    // whole encoding a hundred times between two items of a row. The floor of the bound is
    // lowered so that a short formula passes it (put back at the end of the test).
    void multiplyingTranslators() {
        for (const char* name : {"TeX.cat", "MathML.cat", "MathSpeak.cat", "Text.CAT"}) {
            Translator t;
            std::string message;
            const std::string path = PrefsFolderPath() + name;
            ASSERT_TRUE(LoadTranslatorFile(path.c_str(), t, message)) << message;
            std::string rule;
            for (int i = 0; i < 100; ++i)
                rule += "@E";
            t.entries[kTrRowBetween] = rule;
            std::ofstream(path, std::ios::binary | std::ios::trunc) << TranslatorText(t);
        }
        ForgetLoadedTranslators();
        m_floor.emplace(4096);
    }
    struct Floor {
        explicit Floor(size_t bytes) { TranslationFloorBytes = bytes; }
        ~Floor() { TranslationFloorBytes = kMaxTranslationBytes; }
        Floor(const Floor&) = delete;
        Floor& operator=(const Floor&) = delete;
    };
    std::optional<Floor> m_floor;
    // Runs the command; true when it showed one message box and the box said that a
    // translation passed its bound.
    static bool toldTooLarge(const std::function<void()>& command) {
        std::vector<std::string> shown;
        plat::testing::onMessageBox([&](const plat::testing::MessageBoxCall& box) {
            shown.push_back(box.text);
            return 1;
        });
        command();
        return shown.size() == 1 && shown[0].find("bien plus volumineuse") != std::string::npos;
    }
};

TEST_F(TranslationsTest, ReadAloudSpeaksTheMathSpeakReadingOrBeepsWithoutAVoice) {
    typed("x+1");
    const size_t before = plat::testing::utterances().size();
    ASSERT_EQ(1, DoMenuCommand(531));
    ASSERT_EQ(before + 1, plat::testing::utterances().size());
    EXPECT_EQ("x plus 1", plat::testing::utterances().back().text);

    plat::SpVoice* voice = CQVApp::instance().m_Voice;
    CQVApp::instance().m_Voice = nullptr;
    const int32_t beeps = CommandBeepCount();
    DoMenuCommand(531);
    CQVApp::instance().m_Voice = voice;
    EXPECT_EQ(beeps + 1, CommandBeepCount());
    EXPECT_EQ(before + 1, plat::testing::utterances().size());
}

TEST_F(TranslationsTest, SaveTypesWriteTranslationsThatOpenAgainAsTheSameExpression) {
    struct Case {
        int32_t saveType;
        const char* name;
        const char* contains;
    } cases[] = {
        {4, "f.mml", "<mrow><mi>x</mi><mo>+</mo><mn>1</mn></mrow>"},
        {5, "f.txt", "x + 1\r\n]|Expr|[B64"},
        {6, "f.msp", "x plus 1\r\n]|Expr|[B64"},
    };
    ExprFilePane* pane = typed("x+1");
    const std::string tree = ExprEncodingText(pane->expression());
    const auto fileText = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = m_dir / c.name;
        pane->setFilePath(path);
        pane->setSaveType(c.saveType);
        ASSERT_EQ(1, DoMenuCommand(263)); // Enregistrer
        const std::string text = fileText(path);
        EXPECT_NE(text.find(c.contains), std::string::npos) << text;
        ExprPtr back = FindEmbeddedEncoding(text.data(), text.size());
        ASSERT_TRUE(back);
        EXPECT_EQ(tree, ExprEncodingText(back.get()));
    }
    // A translation that passes its bound is not saved in part: the user is told and the file
    // saved before stays as it was.
    multiplyingTranslators();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = m_dir / c.name;
        const std::string before = fileText(path);
        pane->setFilePath(path);
        pane->setSaveType(c.saveType);
        EXPECT_TRUE(toldTooLarge([] { DoMenuCommand(263); }));
        EXPECT_EQ(before, fileText(path));
    }
}

TEST_F(TranslationsTest, AMissingTranslatorIsLoggedAfterWhatWasLoggedBefore) {
    // The log a crash report shows keeps the earlier entries when a translator cannot be found.
    oAssertionFailure("Earlier", 12, "an earlier entry");
    std::filesystem::remove(PrefsFolderPath() + "MathML.cat");
    typed("x+1");
    ASSERT_EQ(1, DoMenuCommand(1036)); // Copy As MathML, with no MathML translator
    const std::string log(LoggedInformation());
    EXPECT_NE(log.find("Assertion failure (an earlier entry) on (Earlier:12)"), std::string::npos)
        << log;
    EXPECT_NE(log.find("MathML.cat"), std::string::npos) << log;
}

TEST_F(TranslationsTest, CopyAsItemsPutTheirTranslationOnTheClipboard) {
    struct Case {
        int menuId;
        const char* starts;
        const char* sum; // a sum with limits from the palette, with the limits as scripts after it
    } cases[] = {
        {1035, "${x+1}$%]|Expr|[B64",
         "${\\sum\\limits_{{k=1}}^{{n}} {k}\\prod\\nolimits_{{i}}^{{m}} {a}}$%"},
        {1036, "<math xmlns=\"http://www.w3.org/1998/Math/MathML\" display=\"inline\">",
         "<mrow><munderover><mo movablelimits=\"false\">&#x2211;</mo><mrow><mi>k</mi><mo>=</mo>"
         "<mn>1</mn></mrow><mrow><mi>n</mi></mrow></munderover><mrow><mi>k</mi></mrow></mrow><mrow>"
         "<msubsup><mo>&#x220F;</mo><mrow><mi>i</mi></mrow><mrow><mi>m</mi></mrow></msubsup><mrow>"
         "<mi>a</mi></mrow></mrow>"},
        {1037, "x plus 1\n]|Expr|[B64",
         "sum from k equals 1 to n of k product from i to m of a\n]|Expr|[B64"},
        {1539, "x + 1\n]|Expr|[B64", "sum_(k = 1)^(n) k prod_(i)^(m) a\n]|Expr|[B64"},
    };
    typed("x+1");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.menuId);
        ASSERT_EQ(1, DoMenuCommand(c.menuId));
        EXPECT_EQ(0u, clipboardText().rfind(c.starts, 0)) << clipboardText();
    }
    typed("");
    fromSubPalette(4, 0x4601);
    keys("k\tk=1\tn");
    key(plat::VK_RIGHT); // out of the upper limit, after the sum
    fromSubPalette(4, 0x4612);
    keys("a\ti\tm");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.menuId);
        ASSERT_EQ(1, DoMenuCommand(c.menuId));
        EXPECT_NE(std::string::npos, clipboardText().find(c.sum)) << clipboardText();
    }

    // Translators whose rules multiply their output: an item that asks for the text says that it
    // cannot be given whole and leaves the clipboard as it was; a plain Copy gives its pictures
    // and the expression without the text, as it leaves out a picture it cannot make.
    multiplyingTranslators();
    typed("x+1");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.menuId);
        const std::vector<uint8_t> kept = {'k', 'e', 'p', 't'};
        plat::backend().setForeignClipboard({plat::ClipboardItem{"UTF8_STRING", kept}});
        EXPECT_TRUE(toldTooLarge([&] { DoMenuCommand(c.menuId); }));
        EXPECT_EQ("kept", clipboardText());
    }
    const size_t boxes = plat::testing::messageBoxes().size();
    ASSERT_EQ(1, DoMenuCommand(516)); // Édition > Copier
    EXPECT_EQ(boxes, plat::testing::messageBoxes().size());
    const std::vector<std::string> types = plat::backend().clipboardTypes();
    const auto has = [&](const char* t) {
        return std::find(types.begin(), types.end(), t) != types.end();
    };
    EXPECT_FALSE(has("UTF8_STRING"));
    EXPECT_FALSE(has("text/plain;charset=utf-8"));
    EXPECT_TRUE(has("application/x-kv-Korvaline-Expression"));
    EXPECT_TRUE(has("image/emf"));
}

TEST_F(TranslationsTest, ChoosingATranslatorFileMakesItTheCopyTranslator) {
    namespace pt = plat::testing;
    typed("x+1");
    std::filesystem::copy_file(PrefsFolderPath() + "TeX.cat", PrefsFolderPath() + "Mine.cat");
    auto rowOf = [](const std::string& name) {
        const std::vector<std::string>& files = TranslatorFiles();
        for (size_t i = 0; i < files.size(); ++i)
            if (files[i].size() >= name.size() &&
                files[i].compare(files[i].size() - name.size(), name.size(), name) == 0)
                return static_cast<int>(i);
        return -1;
    };
    pt::onDialog(kConversionTableDialogId, [&](plat::testing::DialogDriver& d) {
        EXPECT_EQ(5u, TranslatorFiles().size());       // the four shipped files and Mine.cat
        // No file chosen yet: the shipped translator is the one in use.
        EXPECT_EQ(rowOf("Text.CAT"), d.curSel(kConversionTableList));
        d.selectRow(kConversionTableList, rowOf("Mine.cat"));
        d.click(1); // OK
    });
    ASSERT_EQ(1, DoMenuCommand(7937));
    EXPECT_EQ(PrefsFolderPath() + "Mine.cat", TranslatorPrefText());
    ASSERT_EQ(1, DoMenuCommand(1539));
    EXPECT_EQ(0u, clipboardText().rfind("${x+1}$%", 0)) << clipboardText();

    // The chosen file is preselected next time; Cancel changes nothing.
    pt::onDialog(kConversionTableDialogId, [&](plat::testing::DialogDriver& d) {
        EXPECT_EQ(rowOf("Mine.cat"), d.curSel(kConversionTableList));
        d.selectRow(kConversionTableList, rowOf("Text.CAT"));
        d.escape();
    });
    DoMenuCommand(7937);
    EXPECT_EQ(PrefsFolderPath() + "Mine.cat", TranslatorPrefText());
}

// The lines of general.prf that hold the translator choice ("Ca" records), line ends dropped.
std::vector<std::string> TranslatorRecords() {
    std::ifstream in(PrefsFolderPath() + "general.prf", std::ios::binary);
    std::vector<std::string> records;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind(kTranslatorPrefTag, 0) == 0)
            records.push_back(line);
    }
    return records;
}

// "Table de conversion" selects the translator in use, whether the user chose it or it is the
// shipped one; no choice of the user's is ever written as an empty record, neither in the
// preferences a fresh folder gets nor when the preferences are saved without a choice.
TEST_F(TranslationsTest, TheTranslatorInUseIsPreselectedAndNoEmptyChoiceIsWritten) {
    namespace pt = plat::testing;
    std::filesystem::copy_file(PrefsFolderPath() + "TeX.cat", PrefsFolderPath() + "Mine.cat");
    const std::string shipped = ReadFileBytes(
        (std::filesystem::path(KV_BINARY_DIR) / "src" / "Korvaline_Prefs" / "general.prf")
            .string());
    ASSERT_FALSE(shipped.empty());
    EXPECT_EQ(shipped.find("\nCa\r\n"), std::string::npos);
    EXPECT_EQ(shipped.find("\nCa\n"), std::string::npos);
    struct Case {
        const char* name;
        std::string chosen;      // the "Ca" preference
        bool withoutText;        // Text.CAT removed from the preferences folder
        const char* preselected; // the file of the selected row, "" for none
    };
    const Case cases[] = {
        {"fresh folder", "", false, "Text.CAT"},
        {"chosen file", PrefsFolderPath() + "Mine.cat", false, "Mine.cat"},
        {"chosen file gone", PrefsFolderPath() + "Gone.cat", false, "Text.CAT"},
        {"shipped file beside the program", "", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.withoutText)
            std::filesystem::remove(PrefsFolderPath() + "Text.CAT");
        std::filesystem::remove(PrefsFolderPath() + "general.prf");
        SetTranslatorPrefText(c.chosen);
        ForgetLoadedTranslators();
        std::string selected = "?";
        pt::onDialog(kConversionTableDialogId, [&](pt::DialogDriver& d) {
            const int row = d.curSel(kConversionTableList);
            const std::vector<std::string>& files = TranslatorFiles();
            selected = row >= 0 && static_cast<size_t>(row) < files.size()
                           ? FileNameOfPath(files[static_cast<size_t>(row)].c_str())
                           : std::string();
            d.escape();
        });
        DoMenuCommand(7937);
        EXPECT_EQ(selected, c.preselected);
        // The preferences saved as any settings dialog saves them.
        SaveGeneralPrefsAfterChange();
        const std::vector<std::string> records = TranslatorRecords();
        if (c.chosen.empty()) {
            EXPECT_EQ(records, std::vector<std::string>{});
        } else {
            EXPECT_EQ(records, std::vector<std::string>{kTranslatorPrefTag + c.chosen});
        }
    }
    SetTranslatorPrefText("");
}

TEST_F(TranslationsTest, TranslatorEditorWritesItsEditsOnOkAndRestoresEverythingOnCancel) {
    namespace pt = plat::testing;
    ExprFilePane* pane = typed("x+1");
    const std::string path = PrefsFolderPath() + "Text.CAT";
    auto fileText = [&] {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    auto translation = [&] { return TranslateExpression(CopyAsTranslator(), pane->expression()); };
    ASSERT_EQ(0u, translation().rfind("x + 1", 0)) << translation();
    const std::string before = fileText();
    CopyAsTranslator().entries[kSpecialWordBase + 1] = "cos::cos";

    // Two characters of the standard block and a special word, then a font for block 2 through
    // "Modifier la police": the editor runs again after the font dialog.
    pt::onDialog(kTranslationTableDialogId, [&](pt::DialogDriver& d) {
        EXPECT_EQ("Text.CAT", d.text(kCatFileNameItem));
        EXPECT_FALSE(d.enabled(kCatFontButton)); // composites
        d.check(kCatTableFirst + 1);
        EXPECT_EQ(19, CatCategoryCount(kCatTableCharacters));
        d.selectRow(kCatCategoryList, 2); // "Polices standard"
        EXPECT_EQ(0x161, CurrentCatCode());
        d.selectRow(kCatEntryList, 'x');
        d.setText(kCatTextItem, "ksi");
        d.selectRow(kCatEntryList, '+');
        d.setText(kCatTextItem, "plus\r\nmore");
        d.selectRow(kCatCategoryList, 3); // block 0x200
        EXPECT_TRUE(d.enabled(kCatFontButton));
        d.click(kCatFontButton);
    });
    pt::onDialog(kFontStyleDialogId, [](pt::DialogDriver& d) { d.click(1); });
    pt::onDialog(kTranslationTableDialogId, [&](pt::DialogDriver& d) {
        d.check(kCatTableLast);
        d.selectRow(kCatCategoryList, 2); // the special words
        d.selectRow(kCatEntryList, 1);
        EXPECT_EQ("cos", d.text(kCatTextItem));
        d.setText(kCatTextItem, "cosinus");
        d.selectRow(kCatEntryList, 0); // moving on keeps the word's name
        d.click(1);
    });
    ASSERT_EQ(1, DoMenuCommand(7938));
    EXPECT_EQ(0u, translation().rfind("ksi plus\nmore 1", 0)) << translation();
    const std::string saved = fileText();
    EXPECT_NE(std::string::npos, saved.find("ksi")) << saved;
    EXPECT_NE(std::string::npos, saved.find("\tmore")) << saved;
    EXPECT_EQ("cos::cosinus", CopyAsTranslator().entries[kSpecialWordBase + 1]);
    EXPECT_TRUE(FontRecordUsed(CopyAsTranslator().fonts[2]));
    Translator reread;
    std::string message;
    ASSERT_TRUE(LoadTranslatorFile(path.c_str(), reread, message)) << message;
    EXPECT_TRUE(reread == CopyAsTranslator());
    EXPECT_NE(before, saved);

    // Cancel after edits in several categories and a font change: nothing changes in memory or on
    // disk.
    const Translator edited = CopyAsTranslator();
    pt::onDialog(kTranslationTableDialogId, [&](pt::DialogDriver& d) {
        d.selectRow(kCatCategoryList, 0); // "Fractions"
        d.setText(kCatTextItem, "over");
        d.check(kCatTableFirst + 1);
        d.selectRow(kCatCategoryList, 4); // block 0x300
        d.click(kCatFontButton);
    });
    pt::onDialog(kFontStyleDialogId, [](pt::DialogDriver& d) { d.click(1); });
    pt::onDialog(kTranslationTableDialogId, [&](pt::DialogDriver& d) {
        d.selectRow(kCatEntryList, 'x');
        d.setText(kCatTextItem, "zzz");
        d.escape();
    });
    DoMenuCommand(7938);
    EXPECT_TRUE(edited == CopyAsTranslator());
    EXPECT_EQ(saved, fileText());
    EXPECT_EQ(0u, translation().rfind("ksi plus\nmore 1", 0)) << translation();
}

TEST_F(TranslationsTest, TranslatorEditorReportsAFailedSaveAndKeepsTheEdits) {
    namespace pt = plat::testing;
    // The translator's file cannot be replaced: a folder stands in its place.
    const std::string path = PrefsFolderPath() + "Blocked.cat";
    std::filesystem::create_directory(path);
    CopyAsTranslator().path = path;
    pt::onDialog(kTranslationTableDialogId, [&](pt::DialogDriver& d) {
        d.setText(kCatTextItem, "over");
        d.click(1);
    });
    std::string shown;
    pt::onMessageBox([&](const pt::MessageBoxCall& box) {
        shown = box.text;
        return 1; // OK
    });
    DoMenuCommand(7938);
    EXPECT_NE(std::string::npos, shown.find("\n" + path)) << shown;
    EXPECT_TRUE(std::filesystem::is_directory(path));
    EXPECT_EQ("over", CopyAsTranslator().entries[0x31]);
}

} // namespace
} // namespace kvtest
