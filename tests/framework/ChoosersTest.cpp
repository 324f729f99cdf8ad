// The open and save file choosers and the colour chooser, run through the headless dialogs.

#include "ErrorFixture.h"
#include "OverPc/PFILE.h"
#include "OverPc/PUTIL.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "plat/CommonDialogs.h"
#include "plat/Controls.h"
#include "plat/Dialog.h"
#include "plat/Gdi.h"
#include "plat/Testing.h"
#include "plat/Window.h"
#include "platform/SysTempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using plat::testing::DialogDriver;

plat::HWND MakeWindow(const char* title) {
    plat::WNDCLASS wc;
    wc.lpfnWndProc = &plat::DefWindowProc;
    wc.lpszClassName = "KvChooserTestWindow";
    plat::RegisterClass(&wc); // refused when already registered: fine
    return plat::CreateWindowEx(0, "KvChooserTestWindow", title, plat::WS_POPUP, 0, 0, 100, 100,
                                nullptr, nullptr, nullptr, nullptr);
}

// The texts of a double-zero list.
std::vector<std::string> ListTexts(const std::string& list) {
    std::vector<std::string> texts;
    for (std::size_t at = 0; at < list.size() && list[at] != 0;) {
        const std::size_t end = list.find('\0', at);
        texts.push_back(list.substr(at, end - at));
        at = end + 1;
    }
    return texts;
}

// The pattern of the 1-based entry `index` of a filter list ("" when there is none).
std::string PatternAt(const std::string& list, std::uint32_t index) {
    const std::vector<std::string> texts = ListTexts(list);
    const std::size_t at = 2 * static_cast<std::size_t>(index) - 1;
    return index >= 1 && at < texts.size() ? texts[at] : std::string();
}

// What the chooser's script saw while the chooser was up.
struct Observed {
    bool ran = false;
    plat::HWND currentDialog = nullptr;
    bool documentEnabled = true;
    int typeSelection = -1;
    int typeCount = 0;
    std::string typeText;
    std::string name;
};

class ChoosersTest : public kvtest::ErrorFixture {
protected:
    void SetUp() override {
        ErrorFixture::SetUp();
        ASSERT_FALSE(m_dir.path().empty());
        m_frame = MakeWindow("frame");
        m_document = MakeWindow("document");
        m_outer = MakeWindow("outer dialog");
        ASSERT_NE(m_frame, nullptr);
        CQVApp::instance().m_MainFrame = m_frame;
        RegisterWidgetWindow(m_document);
        // The chooser runs from inside another modal dialog: it must hand that one back.
        CurrentDialog = m_outer;
        FreeColorChooser();
    }
    void TearDown() override {
        EXPECT_EQ(plat::testing::pendingDialogScripts(), 0) << "an expected chooser never opened";
        UnregisterWidgetWindow(m_document);
        CQVApp::instance().m_MainFrame = nullptr;
        FreeColorChooser();
        ErrorFixture::TearDown();
    }

    // Checks what every chooser run must leave behind.
    void expectRestored() {
        EXPECT_EQ(CurrentDialog, m_outer);
        EXPECT_TRUE(plat::IsWindowEnabled(m_document));
        EXPECT_TRUE(plat::IsWindowEnabled(m_frame));
    }

    // Records the state of the program and of a file chooser.
    void observeFileChooser(DialogDriver& d, Observed& seen) {
        seen.ran = true;
        seen.currentDialog = CurrentDialog;
        seen.documentEnabled = plat::IsWindowEnabled(m_document) != 0;
        seen.typeSelection = d.curSel(plat::IDC_FILE_TYPE);
        seen.typeCount = static_cast<int>(
            plat::SendDlgItemMessage(d.hwnd(), plat::IDC_FILE_TYPE, plat::CB_GETCOUNT, 0, 0));
        char label[256] = {};
        if (seen.typeSelection >= 0 &&
            plat::SendDlgItemMessage(d.hwnd(), plat::IDC_FILE_TYPE, plat::CB_GETLBTEXTLEN,
                                     static_cast<plat::WPARAM>(seen.typeSelection),
                                     0) < static_cast<plat::LRESULT>(sizeof label)) {
            plat::SendDlgItemMessage(d.hwnd(), plat::IDC_FILE_TYPE, plat::CB_GETLBTEXT,
                                     static_cast<plat::WPARAM>(seen.typeSelection),
                                     reinterpret_cast<plat::LPARAM>(label));
        }
        seen.typeText = label;
        seen.name = d.text(plat::IDC_FILE_NAME);
    }

    void expectObservedModal(const Observed& seen) {
        ASSERT_TRUE(seen.ran);
        EXPECT_EQ(seen.currentDialog, kSystemDialogRunning);
        EXPECT_FALSE(seen.documentEnabled);
    }

    kvtest::SysTempDir m_dir;
    plat::HWND m_frame = nullptr;
    plat::HWND m_document = nullptr;
    plat::HWND m_outer = nullptr;
};

// ---- Open ---------------------------------------------------------------------------------------

TEST_F(ChoosersTest, OpenReturnsTheChosenFileWhileTheProgramWaits) {
    const std::string file = m_dir / "formule.pvx";
    kvtest::WriteFileBytes(file, "x");
    Observed seen;
    plat::testing::onDialog(plat::IDD_OPENFILE, [&](DialogDriver& d) {
        observeFileChooser(d, seen);
        d.setText(plat::IDC_FILE_NAME, file);
        d.click(plat::IDOK);
    });
    std::string path = "unchanged";
    EXPECT_TRUE(OpenFileDialog("Ouvrir", path, "e"));
    EXPECT_EQ(path, file);
    expectObservedModal(seen);
    // Documents: the two document extensions and "All Files"; the second entry preselected.
    EXPECT_EQ(seen.typeCount, 3);
    EXPECT_EQ(seen.typeSelection, 1);
    EXPECT_EQ(seen.typeText, "Korvaline File (.pvx)");
    expectRestored();
    EXPECT_TRUE(plat::testing::messageBoxes().empty());
}

TEST_F(ChoosersTest, OpenCancelledGivesFalseQuietly) {
    plat::testing::answerFileDialogCancel();
    std::string path = "unchanged";
    EXPECT_FALSE(OpenFileDialog(nullptr, path, nullptr));
    EXPECT_EQ(path, "unchanged");
    EXPECT_TRUE(plat::testing::messageBoxes().empty());
    expectRestored();
}

TEST_F(ChoosersTest, OpenOfANameThatDoesNotExistSaysSo) {
    const std::string missing = m_dir / "absent.png";
    plat::testing::answerFileDialog(missing);
    answerNextBox(plat::IDOK);
    std::string path = "unchanged";
    EXPECT_FALSE(OpenFileDialog("Ouvrir", path, "g"));
    EXPECT_EQ(path, "unchanged");
    ASSERT_EQ(plat::testing::messageBoxes().size(), 1u);
    EXPECT_NE(plat::testing::messageBoxes()[0].text.find("absent.png"), std::string::npos)
        << plat::testing::messageBoxes()[0].text;
    expectRestored();
}

TEST_F(ChoosersTest, OpenOfDocumentsCompletesATypedNameWithTheDocumentExtension) {
    kvtest::WriteFileBytes(m_dir / "notes.EXP", "x");
    plat::testing::answerFileDialog(m_dir / "notes");
    std::string path;
    EXPECT_TRUE(OpenFileDialog("Ouvrir", path, "e"));
    EXPECT_EQ(path, m_dir / "notes.EXP");
    // Other types have no default extension: the bare name does not exist.
    kvtest::WriteFileBytes(m_dir / "plain", "x");
    plat::testing::answerFileDialog(m_dir / "plain");
    EXPECT_TRUE(OpenFileDialog("Ouvrir", path, "p"));
    EXPECT_EQ(path, m_dir / "plain");
}

TEST_F(ChoosersTest, OpenFilterListsTheAskedTypesWithAllFilesLast) {
    const struct {
        const char* letters;
        int count;
        int selection;
    } cases[] = {
        {nullptr, 13, 0}, // every type of the default Open filter, "All Files" last
        {"g", 2, 0},
        {"ce", 4, 1}, // documents: the second entry
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.letters != nullptr ? c.letters : "(default)");
        Observed seen;
        plat::testing::onDialog(plat::IDD_OPENFILE, [&](DialogDriver& d) {
            observeFileChooser(d, seen);
            d.click(plat::IDCANCEL);
        });
        std::string path;
        EXPECT_FALSE(OpenFileDialog("Ouvrir", path, c.letters));
        ASSERT_TRUE(seen.ran);
        EXPECT_EQ(seen.typeCount, c.count);
        EXPECT_EQ(seen.typeSelection, c.selection);
        expectRestored();
    }
}

TEST_F(ChoosersTest, EveryTypeShowsItsDescription) {
    const struct {
        const char* letter;
        const char* shown; // the first entry's text
    } cases[] = {
        {"e", "Korvaline File (.exp)"},
        {"o", "Preferences File (.prf)"},
        {"x", "Old Preferences File (.e12)"},
        {"p", "Fichiers EPS (.eps)"},
        {"m", "M\xE9tafichiers (.wmf)"},
        {"M", "M\xE9tafichier am\xE9lior\xE9 (.emf)"},
        {"g", "Portable Network Graphics Format (.png)"},
        {"l", "MathML Format (.mml)"},
        {"s", "MathSpeak Format (.msp)"},
        {"t", "Texte (.txt)"},
        {"b", "Bitmap (.bmp)"},
        {"c", "Table de conversion (.cat)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.letter);
        const std::vector<std::string> texts = ListTexts(BuildFileFilter(c.letter));
        ASSERT_GE(texts.size(), 4u);
        EXPECT_EQ(texts.front(), c.shown);
        EXPECT_EQ(texts[texts.size() - 2], "All Files (*.*)");
    }
}

// ---- Save ---------------------------------------------------------------------------------------

TEST_F(ChoosersTest, SaveRecordOffersThePathsOwnTypeLastAndPreselectsIt) {
    std::filesystem::create_directory(m_dir / "sub");
    const struct {
        std::string path;
        const char* preselected; // the pattern of the preselected entry
        const char* defaultExtension;
        const char* file;
    } cases[] = {
        {m_dir / "image.png", "*.png", "png", "image.png"},
        {m_dir / "doc.exp", "*.pvx", "EXP", "doc.exp"}, // the document row's last extension
        {m_dir / "style.est", "*.est", "est", "style.est"},
        {m_dir / "prefs.prf", "*.prf", "prf", "prefs.prf"},
        {m_dir / "odd.zzz", "*.exp", "EXP", "odd.zzz"}, // unknown: the first entry
        {m_dir / "sub/", "*.exp", "", ""},              // a folder has no entry of its own
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        FileDialogRecord record;
        PrepareSaveDialog(record, "Enregistrer", c.path.c_str());
        EXPECT_EQ(PatternAt(record.filter, record.filterIndex), c.preselected);
        EXPECT_EQ(record.defaultExtension, c.defaultExtension);
        EXPECT_EQ(record.file, c.file);
        EXPECT_EQ(record.flags, plat::OFN_OVERWRITEPROMPT);
        EXPECT_EQ(record.owner, m_frame);
        EXPECT_EQ(record.title, "Enregistrer");
    }
    // The own type's entry is the last one.
    FileDialogRecord record;
    PrepareSaveDialog(record, nullptr, (m_dir / "image.png").c_str());
    EXPECT_EQ(PatternAt(record.filter, record.filterIndex + 1), "");
    EXPECT_EQ(record.initialFolder, m_dir.path() + "/");
}

TEST_F(ChoosersTest, SaveShowsTheProposalAndAddsTheDefaultExtension) {
    const struct {
        const char* proposal;
        const char* typed;
        const char* result;
        bool knownType; // the proposal's type is offered last and preselected
    } cases[] = {
        {"figure.png", "other", "other.png", true},
        {"figure.eps", "other", "other.eps", true},
        {"doc.exp", "suite", "suite.EXP", true},
        {"odd.zzz", "suite", "suite.EXP", false},     // unknown: the first entry
        {"figure.png", "kept.bmp", "kept.bmp", true}, // a typed extension stays
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        Observed seen;
        plat::testing::onDialog(plat::IDD_SAVEFILE, [&](DialogDriver& d) {
            observeFileChooser(d, seen);
            d.setText(plat::IDC_FILE_NAME, c.typed);
            d.click(plat::IDOK);
        });
        std::string path = m_dir / c.proposal;
        EXPECT_TRUE(SaveFileDialog("Enregistrer", path));
        // The chooser started in the proposal's folder, so the typed name lands there.
        EXPECT_EQ(path, m_dir / c.result);
        expectObservedModal(seen);
        EXPECT_EQ(seen.name, c.proposal);
        // A known type is preselected as the last entry, an unknown one as the first.
        EXPECT_EQ(seen.typeSelection, c.knownType ? seen.typeCount - 1 : 0);
        expectRestored();
    }
    EXPECT_TRUE(plat::testing::messageBoxes().empty());
}

TEST_F(ChoosersTest, SaveOverAnExistingFileAsksFirst) {
    const std::string file = m_dir / "old.png";
    kvtest::WriteFileBytes(file, "previous");
    // "No" keeps the chooser open; then Cancel.
    bool stillOpen = false;
    plat::testing::onDialog(plat::IDD_SAVEFILE, [&](DialogDriver& d) {
        d.click(plat::IDOK);
        stillOpen = !d.ended();
        d.click(plat::IDCANCEL);
    });
    answerNextBox(plat::IDNO);
    std::string path = file;
    EXPECT_FALSE(SaveFileDialog("Enregistrer", path));
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(path, file);
    ASSERT_EQ(plat::testing::messageBoxes().size(), 1u);
    EXPECT_NE(plat::testing::messageBoxes()[0].text.find("old.png"), std::string::npos);
    expectRestored();
    // "Yes" confirms; the chooser itself never touches the file.
    plat::testing::answerFileDialog(file);
    answerNextBox(plat::IDYES);
    EXPECT_TRUE(SaveFileDialog("Enregistrer", path));
    EXPECT_EQ(path, file);
    EXPECT_EQ(plat::testing::messageBoxes().size(), 2u);
    EXPECT_EQ(kvtest::ReadFileBytes(file), "previous");
    expectRestored();
}

TEST_F(ChoosersTest, SaveCancelledLeavesThePathQuietly) {
    plat::testing::answerFileDialogCancel();
    std::string path = m_dir / "doc.exp";
    EXPECT_FALSE(SaveFileDialog("Enregistrer", path));
    EXPECT_EQ(path, m_dir / "doc.exp");
    EXPECT_TRUE(plat::testing::messageBoxes().empty());
    expectRestored();
}

TEST_F(ChoosersTest, LongPathsComeBackWhole) {
    // Well beyond the 255 and 2048 characters a fixed buffer would hold.
    std::string folder = m_dir.path();
    for (int i = 0; i < 12; ++i) {
        folder += "/" + std::string(190, static_cast<char>('a' + i));
    }
    std::filesystem::create_directories(folder);
    const std::string file = folder + "/document.exp";
    ASSERT_GT(file.size(), 2100u);
    kvtest::WriteFileBytes(file, "x");
    plat::testing::onDialog(plat::IDD_SAVEFILE, [&](DialogDriver& d) { d.click(plat::IDOK); });
    answerNextBox(plat::IDYES); // the file exists
    std::string path = file;
    EXPECT_TRUE(SaveFileDialog("Enregistrer", path));
    EXPECT_EQ(path, file);
    expectRestored();
}

// ---- Colour -------------------------------------------------------------------------------------

// The client point of custom colour cell `i` in the colour chooser (8 cells a row, 20 pixels
// apart, below the six rows of basic colours).
plat::POINT CustomCell(int i) {
    return plat::POINT{12 + (i % 8) * 20 + 8, 24 + 6 * 20 + 24 + (i / 8) * 20 + 8};
}

TEST_F(ChoosersTest, ColourChooserGivesTheChosenBytes) {
    Observed seen;
    plat::testing::onDialog(plat::IDD_CHOOSECOLOR, [&](DialogDriver& d) {
        seen.ran = true;
        seen.currentDialog = CurrentDialog;
        seen.documentEnabled = plat::IsWindowEnabled(m_document) != 0;
        d.setText(plat::IDC_COLOR_RED, "10");
        d.setText(plat::IDC_COLOR_GREEN, "200");
        d.setText(plat::IDC_COLOR_BLUE, "30");
        d.click(plat::IDOK);
    });
    std::uint8_t rgb[3] = {1, 2, 3};
    EXPECT_TRUE(ChooseColorDialog("Couleur du fond", rgb));
    EXPECT_EQ(rgb[0], 10);
    EXPECT_EQ(rgb[1], 200);
    EXPECT_EQ(rgb[2], 30);
    expectObservedModal(seen);
    expectRestored();
}

TEST_F(ChoosersTest, ColourChooserCancelledLeavesTheColourQuietly) {
    plat::testing::onDialog(plat::IDD_CHOOSECOLOR, [](DialogDriver& d) {
        d.setText(plat::IDC_COLOR_RED, "99");
        d.click(plat::IDCANCEL);
    });
    std::uint8_t rgb[3] = {1, 2, 3};
    EXPECT_FALSE(ChooseColorDialog("Couleur du fond", rgb));
    EXPECT_EQ(rgb[0], 1);
    EXPECT_EQ(rgb[1], 2);
    EXPECT_EQ(rgb[2], 3);
    EXPECT_TRUE(plat::testing::messageBoxes().empty());
    expectRestored();
}

TEST_F(ChoosersTest, CustomColoursStartAsTheOwnersBackgroundAndAreKept) {
    const plat::HDC dc = plat::GetDC(m_frame);
    ASSERT_NE(dc, nullptr);
    const plat::COLORREF background = plat::GetBkColor(dc);
    plat::ReleaseDC(m_frame, dc);
    // First run: a custom cell holds the owner's background; a new custom colour is added.
    plat::testing::onDialog(plat::IDD_CHOOSECOLOR, [](DialogDriver& d) {
        const plat::POINT p = CustomCell(11);
        d.clickClient(p.x, p.y);
        d.click(plat::IDOK);
    });
    std::uint8_t rgb[3] = {1, 2, 3};
    ASSERT_TRUE(ChooseColorDialog("Couleur", rgb));
    EXPECT_EQ(rgb[0], plat::GetRValue(background));
    EXPECT_EQ(rgb[1], plat::GetGValue(background));
    EXPECT_EQ(rgb[2], plat::GetBValue(background));

    plat::testing::onDialog(plat::IDD_CHOOSECOLOR, [](DialogDriver& d) {
        d.setText(plat::IDC_COLOR_RED, "7");
        d.setText(plat::IDC_COLOR_GREEN, "8");
        d.setText(plat::IDC_COLOR_BLUE, "9");
        d.click(plat::IDC_COLOR_ADD);
        d.click(plat::IDOK);
    });
    ASSERT_TRUE(ChooseColorDialog("Couleur", rgb));

    // A later run still has the added colour, and the other cells are untouched.
    const struct {
        int cell;
        plat::COLORREF colour;
    } cases[] = {{0, plat::RGB(7, 8, 9)}, {1, background}, {15, background}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cell);
        plat::testing::onDialog(plat::IDD_CHOOSECOLOR, [&](DialogDriver& d) {
            const plat::POINT p = CustomCell(c.cell);
            d.clickClient(p.x, p.y);
            d.click(plat::IDOK);
        });
        ASSERT_TRUE(ChooseColorDialog("Couleur", rgb));
        EXPECT_EQ(rgb[0], plat::GetRValue(c.colour));
        EXPECT_EQ(rgb[1], plat::GetGValue(c.colour));
        EXPECT_EQ(rgb[2], plat::GetBValue(c.colour));
    }
    expectRestored();
}

} // namespace
