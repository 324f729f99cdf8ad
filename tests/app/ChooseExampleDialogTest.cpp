// The Choose Example dialog on the headless back end: browsing three folder levels of an Examples
// folder, what "Open Example" allows, the choices it remembers between runs, and opening an example
// of the shipped library as a document window.

#include "Dialogs/ChooseExampleDialog.h"

#include "App/MenuDispatch.h"
#include "BuiltinResources.h"
#include "ExprSrcs/ExprFilePane.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/Presourc.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverSrcs/etEncode.h"
#include "app/AppDocumentFixture.h"
#include "app/DialogTestFixture.h"
#include "plat/Dialog.h"
#include "plat/Input.h"
#include "plat/Resources.h"
#include "plat/Testing.h"
#include "platform/SysTempDir.h"
#include "support/CodePageScope.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

namespace pt = plat::testing;
using pt::DialogDriver;

constexpr int kLevel0 = kExampleListItems[0];
constexpr int kLevel1 = kExampleListItems[1];
constexpr int kLevel2 = kExampleListItems[2];

std::vector<std::string> names(int32_t level) {
    std::vector<std::string> out;
    for (const std::string& path : ExampleEntries(level))
        out.push_back(FileNameOfPath(path.c_str()));
    return out;
}

// The rows of a level's list as they are drawn.
std::vector<std::string> rows(int32_t level) {
    std::vector<std::string> out;
    for (int32_t row = 0; row < static_cast<int32_t>(ExampleEntries(level).size()); ++row)
        out.push_back(ExampleRowText(level, row));
    return out;
}

class ChooseExampleDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        kvtest::StartDialogTest();
        ResetExamplesLibrary();
        // Examples/
        //   01_Algebra/  Basics/ (01_Sum.exp, notes.xyz)  b_Quad.exp
        //   a_lower.exp  Zeta.exp  readme.xyz
        const std::string root = m_dir / "Examples";
        std::filesystem::create_directories(root + "/01_Algebra/Basics");
        WriteFileBytes(root + "/01_Algebra/Basics/01_Sum.exp", "x");
        WriteFileBytes(root + "/01_Algebra/Basics/notes.xyz", "x");
        WriteFileBytes(root + "/01_Algebra/b_Quad.exp", "x");
        WriteFileBytes(root + "/a_lower.exp", "x");
        WriteFileBytes(root + "/Zeta.exp", "x");
        WriteFileBytes(root + "/readme.xyz", "x");
        m_examples = root + "/";
    }
    void TearDown() override {
        ResetExamplesLibrary();
        kvtest::EndDialogTest();
    }

    // Runs the dialog on the folder with the script; the dialog's result.
    int32_t browse(std::function<void(DialogDriver&)> script) {
        pt::onDialog(kChooseExampleDialogId, std::move(script));
        return BrowseExamples(m_examples);
    }

    SysTempDir m_dir;
    std::string m_examples;
};

TEST_F(ChooseExampleDialogTest, BrowsesThreeLevelsAndReturnsTheChosenFile) {
    const int32_t result = browse([&](DialogDriver& d) {
        // Folders and known document types, sorted together ignoring case; other files left out.
        EXPECT_EQ(names(0), (std::vector<std::string>{"01_Algebra", "a_lower.exp", "Zeta.exp"}));
        EXPECT_TRUE(names(1).empty());
        EXPECT_EQ(d.curSel(kLevel0), -1);
        EXPECT_FALSE(d.enabled(kOpenExampleButton));
        EXPECT_TRUE(d.enabled(plat::IDOK));
        EXPECT_EQ(d.text(kExampleVersionItem), LoadResString(kVersionString));

        d.selectRow(kLevel0, 0);
        EXPECT_EQ(names(1), (std::vector<std::string>{"b_Quad.exp", "Basics"}));
        EXPECT_FALSE(d.enabled(kOpenExampleButton));
        d.selectRow(kLevel1, 1);
        EXPECT_EQ(names(2), (std::vector<std::string>{"01_Sum.exp"}));
        EXPECT_FALSE(d.enabled(kOpenExampleButton));
        d.selectRow(kLevel2, 0);
        EXPECT_TRUE(d.enabled(kOpenExampleButton));
        d.click(kOpenExampleButton);
        EXPECT_TRUE(d.ended());
    });
    EXPECT_EQ(result, kExampleOpenChosen);
    EXPECT_EQ(CurrentExamplePath(), m_examples + "01_Algebra/Basics/01_Sum.exp");
    EXPECT_EQ(RememberedExampleName(0), "01_Algebra");
    EXPECT_EQ(RememberedExampleName(1), "Basics");
    EXPECT_EQ(RememberedExampleName(2), "01_Sum.exp");
}

TEST_F(ChooseExampleDialogTest, ReopensAtTheLastChoiceEvenAfterCancel) {
    browse([](DialogDriver& d) {
        d.selectRow(kLevel0, 0);
        d.selectRow(kLevel1, 0);
        EXPECT_TRUE(d.enabled(kOpenExampleButton));
        d.escape();
    });
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        const int32_t result = browse([](DialogDriver& d) {
            EXPECT_EQ(d.curSel(kLevel0), 0);
            EXPECT_EQ(d.curSel(kLevel1), 0);
            EXPECT_EQ(d.curSel(kLevel2), -1);
            EXPECT_EQ(names(1), (std::vector<std::string>{"b_Quad.exp", "Basics"}));
            EXPECT_TRUE(names(2).empty());
            EXPECT_TRUE(d.enabled(kOpenExampleButton));
            d.escape();
        });
        EXPECT_EQ(result, 0);
        // A cancelled run drops the listed entries and keeps the names.
        EXPECT_TRUE(names(0).empty());
        EXPECT_EQ(RememberedExampleName(1), "b_Quad.exp");
    }
}

TEST_F(ChooseExampleDialogTest, ChoosingAtLevelZeroClearsTheDeeperLevels) {
    browse([](DialogDriver& d) {
        d.selectRow(kLevel0, 0);
        d.selectRow(kLevel1, 1);
        d.selectRow(kLevel2, 0);
        ASSERT_TRUE(d.enabled(kOpenExampleButton));
        // A file at level 0: nothing below it, and it can be opened.
        d.selectRow(kLevel0, 2);
        EXPECT_TRUE(names(1).empty());
        EXPECT_TRUE(names(2).empty());
        EXPECT_EQ(RememberedExampleName(1), "");
        EXPECT_EQ(RememberedExampleName(2), "");
        EXPECT_EQ(d.curSel(kLevel1), -1);
        EXPECT_TRUE(d.enabled(kOpenExampleButton));
        // Back to the folder: the next level is listed again with nothing chosen in it.
        d.selectRow(kLevel0, 0);
        EXPECT_EQ(names(1).size(), 2u);
        EXPECT_EQ(d.curSel(kLevel1), -1);
        EXPECT_FALSE(d.enabled(kOpenExampleButton));
        d.escape();
    });
    EXPECT_EQ(CurrentExamplePath(), m_examples + "01_Algebra");
}

TEST_F(ChooseExampleDialogTest, DoubleClicksOpenFilesAndEnterFolders) {
    const struct {
        const char* what;
        std::function<void(DialogDriver&)> script;
        int32_t result;
        const char* chosen;
    } cases[] = {
        {"Enter opens a blank pad", [](DialogDriver& d) { d.enter(); }, kExampleOpenBlank, ""},
        {"Escape", [](DialogDriver& d) { d.escape(); }, 0, ""},
        {"file at level 0", [](DialogDriver& d) { d.doubleClickRow(kLevel0, 1); },
         kExampleOpenChosen, "a_lower.exp"},
        {"folder then file at level 1",
         [](DialogDriver& d) {
             d.doubleClickRow(kLevel0, 0);
             EXPECT_FALSE(d.ended());
             EXPECT_EQ(names(1).size(), 2u);
             d.doubleClickRow(kLevel1, 0);
         },
         kExampleOpenChosen, "01_Algebra/b_Quad.exp"},
        {"file at level 2",
         [](DialogDriver& d) {
             d.selectRow(kLevel0, 0);
             d.doubleClickRow(kLevel1, 1);
             EXPECT_FALSE(d.ended());
             d.doubleClickRow(kLevel2, 0);
         },
         kExampleOpenChosen, "01_Algebra/Basics/01_Sum.exp"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ResetExamplesLibrary();
        EXPECT_EQ(browse(c.script), c.result);
        if (c.chosen[0] != '\0') {
            EXPECT_EQ(CurrentExamplePath(), m_examples + c.chosen);
        }
    }
}

TEST_F(ChooseExampleDialogTest, NamesTheCodePageCannotWriteAreListedAndOpeningThemSaysWhy) {
    // System names (UTF-8): 数式, ダンス (its first character's second byte under 932 is '_'),
    // été, 표 (Korean), a file of no type the library shows, and a folder 표표 that neither page
    // can name.
    const std::string suuShiki = "\xE6\x95\xB0\xE5\xBC\x8F.exp",
                      dansu = "01_\xE3\x83\x80\xE3\x83\xB3\xE3\x82\xB9.exp",
                      ete = "\xC3\xA9t\xC3\xA9.exp", hangul = "\xED\x91\x9C";
    for (const std::string& f : {suuShiki, dansu, ete, hangul + ".exp", hangul + ".xyz"})
        std::ofstream(m_examples + f) << "x";
    std::filesystem::create_directory(m_examples + hangul + hangul);
    std::ofstream(m_examples + hangul + hangul + "/inside.exp") << "x";
    struct Case {
        plat::UINT codePage;
        std::vector<std::string> rows;
        int outsideRow;     // a row the page cannot name
        std::string shown;  // its name in the box
        int chosenRow;      // a row of a file the page names
        std::string chosen; // the path opened for it, after the folder
        int folderRow;      // the folder the page cannot name
    };
    const Case cases[] = {
        {1252,
         {"Algebra \xBB", "a lower", "Zeta", "\xE9t\xE9", "???", "??", "?", "?? \xBB"},
         6,
         "?.exp",
         3,
         "\xE9t\xE9.exp",
         7},
        {932,
         {"Algebra \xBB", "\x83\x5F\x83\x93\x83\x58", "a lower", "Zeta", "\x90\x94\x8E\xAE", "?t?",
          "?", "?? \xBB"},
         5,
         "\xE9t\xE9.exp",
         4,
         "\x90\x94\x8E\xAE.exp",
         7},
    };
    kvtest::CodePageScope restore;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codePage);
        ASSERT_TRUE(plat::SetActiveCodePage(c.codePage));
        ResetExamplesLibrary();
        std::vector<std::string> boxes;
        for (int box = 0; box < 3; ++box)
            pt::onMessageBox([&](const pt::MessageBoxCall& call) {
                boxes.push_back(call.text);
                return plat::IDOK;
            });
        const int32_t result = browse([&](DialogDriver& d) {
            EXPECT_EQ(rows(0), c.rows);
            // Saying why is all a double click on such a name does, and so is "Open Example".
            d.doubleClickRow(kLevel0, c.outsideRow);
            EXPECT_FALSE(d.ended());
            d.selectRow(kLevel0, c.outsideRow);
            ASSERT_TRUE(d.enabled(kOpenExampleButton));
            d.click(kOpenExampleButton);
            EXPECT_FALSE(d.ended());
            // Choosing the folder opens it, which says why it cannot be; its double click says
            // nothing more, lists nothing and opens nothing.
            d.selectRow(kLevel0, c.folderRow);
            d.doubleClickRow(kLevel0, c.folderRow);
            EXPECT_FALSE(d.ended());
            EXPECT_TRUE(rows(1).empty());
            EXPECT_FALSE(d.enabled(kOpenExampleButton));
            d.doubleClickRow(kLevel0, c.chosenRow);
        });
        EXPECT_EQ(result, kExampleOpenChosen);
        EXPECT_EQ(CurrentExamplePath(), m_examples + c.chosen);
        ASSERT_EQ(boxes.size(), 3u);
        const std::string why = LoadResString(errNameOutsideCodePage);
        EXPECT_EQ(boxes[0], why + "\n" + c.shown);
        EXPECT_EQ(boxes[1], why + "\n" + c.shown);
        EXPECT_EQ(boxes[2], why + "\n??");
    }
}

// Box 478 for a folder the code page cannot name, closed with Enter, leaves the keyboard on the
// list it was chosen in, by the mouse or by the arrow keys: the next arrow key moves the list on.
TEST_F(ChooseExampleDialogTest, AfterBox478TheKeyboardStaysOnTheList) {
    // 표: a folder whose name no single-byte page can write, listed after the others.
    std::filesystem::create_directory(m_examples + "\xED\x91\x9C");
    struct Case {
        const char* what;
        std::function<void(DialogDriver&)> choose;
    };
    const Case cases[] = {
        {"chosen with the mouse", [](DialogDriver& d) { d.selectRow(kLevel0, 3); }},
        {"chosen with the Down key",
         [](DialogDriver& d) {
             d.selectRow(kLevel0, 2);
             d.key(plat::VK_DOWN);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetExamplesLibrary();
        int shown = 0;
        pt::onMessageBox([&](const pt::MessageBoxCall& call) {
            ++shown;
            EXPECT_EQ(call.text.rfind(LoadResString(errNameOutsideCodePage), 0), 0u);
            pt::key(plat::VK_RETURN);
            return pt::kShowBox;
        });
        browse([&](DialogDriver& d) {
            ASSERT_EQ(rows(0).size(), 4u);
            c.choose(d);
            EXPECT_EQ(shown, 1);
            EXPECT_EQ(d.curSel(kLevel0), 3);
            EXPECT_EQ(plat::GetFocus(), d.item(kLevel0));
            // Up, then Home: Zeta (a file), then the Algebra folder, whose entries are listed.
            d.key(plat::VK_UP);
            EXPECT_EQ(d.curSel(kLevel0), 2);
            EXPECT_TRUE(d.enabled(kOpenExampleButton));
            d.key(plat::VK_HOME);
            EXPECT_EQ(d.curSel(kLevel0), 0);
            EXPECT_EQ(names(1), (std::vector<std::string>{"b_Quad.exp", "Basics"}));
            EXPECT_EQ(shown, 1);
            EXPECT_FALSE(d.ended());
            d.escape();
        });
    }
}

TEST_F(ChooseExampleDialogTest, ARememberedEntryThatHasGoneOpensWithNothingChosen) {
    browse([](DialogDriver& d) {
        d.selectRow(kLevel0, 2);
        d.escape();
    });
    ASSERT_EQ(RememberedExampleName(0), "Zeta.exp");
    std::filesystem::remove(m_examples + "Zeta.exp");
    EXPECT_EQ(browse([](DialogDriver& d) {
                  EXPECT_EQ(d.curSel(kLevel0), -1);
                  EXPECT_FALSE(d.enabled(kOpenExampleButton));
                  d.escape();
              }),
              0);
}

TEST_F(ChooseExampleDialogTest, AnEmptyLibraryLeavesOnlyTheBlankPadAndCancel) {
    const std::string empty = m_dir / "Empty";
    std::filesystem::create_directories(empty);
    pt::onDialog(kChooseExampleDialogId, [](DialogDriver& d) {
        EXPECT_TRUE(names(0).empty());
        EXPECT_FALSE(d.enabled(kOpenExampleButton));
        EXPECT_TRUE(d.enabled(plat::IDOK));
        EXPECT_TRUE(d.enabled(plat::IDCANCEL));
        d.click(plat::IDOK);
    });
    EXPECT_EQ(BrowseExamples(empty), kExampleOpenBlank);
}

TEST_F(ChooseExampleDialogTest, DisplayNamesDropNumberingKnownExtensionsAndUnderscores) {
    const struct {
        const char* file;
        const char* shown;
    } cases[] = {
        {"01_Quadratic_formula.exp", "Quadratic formula"},
        {"2-Limits", "Limits"},
        {"10.Tensor.eps", "Tensor"},
        {"3 Matrices", "Matrices"},
        {"2021", "2021"},
        {"Notes.xyz", "Notes.xyz"},
        {"v2_draft.png", "v2 draft"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(ExampleDisplayName(c.file), c.shown);
    }
}

// The shipped library, opened through the dialog in the running program.
using ChooseExampleOpenTest = AppDocumentFixture;

TEST_F(ChooseExampleOpenTest, OpenExampleOpensTheShippedFileAsADocument) {
    ResetExamplesLibrary();
    // The library the build wrote.
    const std::string library = std::string(KV_BINARY_DIR) + "/src/Korvaline_Prefs/Examples/";
    const std::string file = library + "01_Algebra/01_Quadratic_formula.pvx";
    const std::string text = ReadFileBytes(file);
    ExprPtr written = FindEmbeddedEncoding(text.data(), text.size());
    ASSERT_NE(written, nullptr);

    pt::onDialog(kChooseExampleDialogId, [](DialogDriver& d) {
        d.selectRow(kLevel0, 0);
        d.selectRow(kLevel1, 0);
        d.click(kOpenExampleButton);
    });
    OpenExampleFrom(library);
    pt::runUntilIdle();
    ASSERT_NE(OpenDocumentList, nullptr);
    EXPECT_EQ(OpenDocumentList->filePath(), file);
    EXPECT_EQ(ExprEncodingText(OpenDocumentList->expression()), ExprEncodingText(written.get()));

    // "Open Blank Pad" opens an empty untitled document; Cancel opens nothing.
    ExprFilePane* example = OpenDocumentList;
    pt::onDialog(kChooseExampleDialogId, [](DialogDriver& d) { d.enter(); });
    OpenExampleFrom(library);
    ASSERT_NE(OpenDocumentList, example);
    EXPECT_TRUE(OpenDocumentList->filePath().empty());
    ExprFilePane* blank = OpenDocumentList;
    pt::onDialog(kChooseExampleDialogId, [](DialogDriver& d) { d.escape(); });
    OpenExampleFrom(library);
    EXPECT_EQ(OpenDocumentList, blank);
    EXPECT_EQ(OpenDocumentCount(), 2);
    EXPECT_TRUE(pt::messageBoxes().empty());
    ResetExamplesLibrary();
}

TEST_F(ChooseExampleOpenTest, ADamagedExampleGivesTheAlertAndOpensNothing) {
    ResetExamplesLibrary();
    const std::string library = m_dir / "Examples";
    std::filesystem::create_directories(library);
    WriteFileBytes(library + "/Broken.exp", "]|Expr|[ damaged");
    pt::onDialog(kChooseExampleDialogId, [](DialogDriver& d) { d.doubleClickRow(kLevel0, 0); });
    pt::onMessageBox([](const pt::MessageBoxCall&) { return plat::IDOK; });
    const int16_t code = CatchFail([&] { OpenExampleFrom(library + "/"); });
    if (code != 0)
        ErrorAlert(code);
    EXPECT_EQ(OpenDocumentList, nullptr);
    ASSERT_EQ(pt::messageBoxes().size(), 1u);
    EXPECT_NE(pt::messageBoxes().back().text.find("aucune expression lisible"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(library + "/Broken.exp"), "]|Expr|[ damaged");
    ResetExamplesLibrary();
}

TEST_F(ChooseExampleOpenTest, TheFileMenuRunsTheLibrary) {
    EXPECT_FALSE(MenuCommandIsMissing(261));
    EXPECT_FALSE(MenuCommandIsMissing(258));
}

} // namespace
} // namespace kvtest
