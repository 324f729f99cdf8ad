#include "plat/CommonDialogs.h"

#include "plat/Files.h"
#include "plat/Font.h"
#include "platform/DialogFixture.h"
#include "support/CodePageScope.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

using namespace plat;
namespace pt = plat::testing;
using Driver = pt::DialogDriver;
namespace fs = std::filesystem;

const char kFilter[] = "Formules\0*.kvx\0Tous les fichiers\0*.*\0";

class CommonDialogs : public kvtest::DlgTest {
protected:
    void SetUp() override {
        DlgTest::SetUp();
        // One folder per test and process: ctest runs the tests side by side.
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::path(::testing::TempDir()) /
                (std::string("kv_dialogs_") + info->name() + "_" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "sub");
        for (const char* f : {"b.kvx", "A.kvx", "note.txt", "sub/c.kvx"})
            std::ofstream(m_dir / f) << "x";
    }
    void TearDown() override {
        fs::remove_all(m_dir);
        DlgTest::TearDown();
    }
    std::string dir() const { return m_dir.string(); }
    static std::vector<std::string> rows(HWND list) {
        std::vector<std::string> out;
        const int n = static_cast<int>(SendMessage(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            char buf[260] = {};
            SendMessage(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
            out.emplace_back(buf);
        }
        return out;
    }
    OPENFILENAME ofn(char* buffer, DWORD size) const {
        OPENFILENAME o;
        o.lpstrFilter = kFilter;
        o.nFilterIndex = 1;
        o.lpstrFile = buffer;
        o.nMaxFile = size;
        o.lpstrInitialDir = m_initial.c_str();
        return o;
    }
    fs::path m_dir;
    std::string m_initial;
};

TEST_F(CommonDialogs, OpenListsFoldersThenMatchingFilesAndReturnsThePath) {
    m_initial = dir();
    char file[512] = "";
    OPENFILENAME o = ofn(file, sizeof file);
    o.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    pt::onDialog(IDD_OPENFILE, [&](Driver& d) {
        EXPECT_EQ(dir(), d.text(IDC_FILE_FOLDER));
        EXPECT_EQ((std::vector<std::string>{"[..]", "[sub]", "A.kvx", "b.kvx"}),
                  rows(d.item(IDC_FILE_LIST)))
            << "folders first, files of the type sorted ignoring case";
        d.chooseCombo(IDC_FILE_TYPE, 1);
        EXPECT_EQ((std::vector<std::string>{"[..]", "[sub]", "A.kvx", "b.kvx", "note.txt"}),
                  rows(d.item(IDC_FILE_LIST)));
        d.doubleClickRow(IDC_FILE_LIST, 1);
        EXPECT_EQ(dir() + "/sub", d.text(IDC_FILE_FOLDER));
        d.selectRow(IDC_FILE_LIST, 1);
        EXPECT_EQ("c.kvx", d.text(IDC_FILE_NAME));
        d.click(IDOK);
    });
    ASSERT_TRUE(GetOpenFileName(&o));
    const std::string want = dir() + "/sub/c.kvx";
    EXPECT_EQ(want, file);
    EXPECT_EQ(want.size() - 5, o.nFileOffset);
    EXPECT_EQ(want.size() - 3, o.nFileExtension);
    EXPECT_EQ(2u, o.nFilterIndex);
    EXPECT_EQ(0u, CommDlgExtendedError());
}

TEST_F(CommonDialogs, NamesInTheCodePageAreListedAndChosenAndOthersAreShownButRefused) {
    // System names (UTF-8): 数式, 표 (Korean), été, and a folder 表 whose second byte under 932
    // is the byte of a backslash.
    const std::string suuShiki = "\xE6\x95\xB0\xE5\xBC\x8F.kvx", hangul = "\xED\x91\x9C.kvx",
                      ete = "\xC3\xA9t\xC3\xA9.kvx", hyou = "\xE8\xA1\xA8";
    for (const std::string& f : {suuShiki, hangul, ete})
        std::ofstream(m_dir / f) << "x";
    fs::create_directory(m_dir / hyou);
    std::ofstream(m_dir / hyou / "z.kvx") << "x";
    struct Case {
        UINT codePage;
        std::vector<std::string> rows;
        int chosenRow;      // a row of a file the page names
        std::string chosen; // the path returned for it
        int outsideRow;     // a row the page cannot name
    };
    const Case cases[] = {
        {1252,
         {"[..]", "[sub]", "A.kvx", "b.kvx", "\xE9t\xE9.kvx", "??.kvx", "?.kvx"},
         4,
         "/\xE9t\xE9.kvx",
         6},
        {932,
         {"[..]", "[sub]", "[\x95\x5C]", "A.kvx", "b.kvx", "\x90\x94\x8E\xAE.kvx", "?t?.kvx",
          "?.kvx"},
         5,
         "/\x90\x94\x8E\xAE.kvx",
         7},
    };
    kvtest::CodePageScope restore;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codePage);
        ASSERT_TRUE(SetActiveCodePage(c.codePage));
        m_initial = dir();
        char file[512] = "";
        OPENFILENAME o = ofn(file, sizeof file);
        o.Flags = OFN_FILEMUSTEXIST;
        std::vector<std::string> boxes;
        pt::onMessageBox([&](const pt::MessageBoxCall& box) {
            boxes.push_back(box.text);
            return IDOK;
        });
        pt::onDialog(IDD_OPENFILE, [&](Driver& d) {
            EXPECT_EQ(c.rows, rows(d.item(IDC_FILE_LIST)));
            // A name the page cannot write is shown, and saying why is all a double click does.
            d.doubleClickRow(IDC_FILE_LIST, c.outsideRow);
            EXPECT_FALSE(d.ended());
            EXPECT_EQ("", d.text(IDC_FILE_NAME));
            d.selectRow(IDC_FILE_LIST, c.chosenRow);
            d.click(IDOK);
        });
        ASSERT_TRUE(GetOpenFileName(&o));
        EXPECT_EQ(dir() + c.chosen, file);
        EXPECT_TRUE(fs::exists(NativePath(file)));
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_NE(boxes[0].find("page de code"), std::string::npos) << boxes[0];
    }
    // Under 932 the folder 表 opens, although its name ends in the byte of a backslash.
    m_initial = dir();
    char file[512] = "";
    OPENFILENAME o = ofn(file, sizeof file);
    ASSERT_TRUE(SetActiveCodePage(932));
    pt::onDialog(IDD_OPENFILE, [&](Driver& d) {
        d.doubleClickRow(IDC_FILE_LIST, 2);
        EXPECT_EQ(dir() + "/\x95\x5C", d.text(IDC_FILE_FOLDER));
        EXPECT_EQ((std::vector<std::string>{"[..]", "z.kvx"}), rows(d.item(IDC_FILE_LIST)));
        d.selectRow(IDC_FILE_LIST, 1);
        d.click(IDOK);
    });
    ASSERT_TRUE(GetOpenFileName(&o));
    EXPECT_EQ(dir() + "/\x95\x5C/z.kvx", file);
    EXPECT_TRUE(fs::exists(NativePath(file)));
}

TEST_F(CommonDialogs, ANameTypedInTheCodePageKeepsItsCharactersWhole) {
    // Under 932, 表 (95 5C) and 数 (90 94) typed through the input method; the caret steps over
    // each whole, so Left then Backspace takes 表 away, not half of it.
    kvtest::CodePageScope restore;
    ASSERT_TRUE(SetActiveCodePage(932));
    m_initial = dir();
    char file[512] = "";
    OPENFILENAME o = ofn(file, sizeof file);
    o.lpstrDefExt = "kvx";
    pt::onDialog(IDD_SAVEFILE, [&](Driver& d) {
        const HWND name = d.item(IDC_FILE_NAME);
        SetFocus(name);
        for (WPARAM code : {0x955Cu, 0x955Cu, 0x9094u})
            PostMessage(name, WM_IME_CHAR, code, 0);
        d.pump();
        EXPECT_EQ("\x95\x5C\x95\x5C\x90\x94", d.text(IDC_FILE_NAME));
        d.key(VK_LEFT);
        d.key(VK_BACK);
        d.key(VK_RIGHT);
        d.key(VK_RIGHT); // past the end: stays there
        EXPECT_EQ("\x95\x5C\x90\x94", d.text(IDC_FILE_NAME));
        d.click(IDOK);
    });
    ASSERT_TRUE(GetSaveFileName(&o));
    EXPECT_EQ(dir() + "/\x95\x5C\x90\x94.kvx", std::string(file));
    EXPECT_EQ(NativePath(file), dir() + "/\xE8\xA1\xA8\xE6\x95\xB0.kvx");
}

TEST_F(CommonDialogs, OpenRefusesAMissingFileAndCancelReturnsFalse) {
    m_initial = dir();
    char file[512] = "";
    OPENFILENAME o = ofn(file, sizeof file);
    o.Flags = OFN_FILEMUSTEXIST;
    pt::onMessageBox([](const pt::MessageBoxCall& c) {
        EXPECT_NE(std::string::npos, c.text.find("introuvable"));
        return IDOK;
    });
    pt::onDialog(IDD_OPENFILE, [&](Driver& d) {
        d.setText(IDC_FILE_NAME, "absent.kvx");
        d.click(IDOK);
        EXPECT_FALSE(d.ended()) << "a missing file is refused";
        d.click(IDCANCEL);
    });
    EXPECT_FALSE(GetOpenFileName(&o));
    EXPECT_EQ(0u, CommDlgExtendedError());
    EXPECT_STREQ("", file) << "the caller's buffer is untouched";
}

TEST_F(CommonDialogs, SaveAddsTheExtensionAndConfirmsOverwriting) {
    m_initial = dir();
    char file[512] = "";
    OPENFILENAME o = ofn(file, sizeof file);
    o.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    o.lpstrDefExt = "kvx";
    int asked = 0;
    pt::onMessageBox([&](const pt::MessageBoxCall& c) {
        ++asked;
        EXPECT_NE(std::string::npos, c.text.find("remplacer"));
        return IDNO;
    });
    pt::onMessageBox([&](const pt::MessageBoxCall&) {
        ++asked;
        return IDYES;
    });
    pt::onDialog(IDD_SAVEFILE, [&](Driver& d) {
        d.setText(IDC_FILE_NAME, "b");
        d.click(IDOK);
        EXPECT_FALSE(d.ended()) << "No keeps the dialog open";
        d.click(IDOK);
    });
    ASSERT_TRUE(GetSaveFileName(&o));
    EXPECT_EQ(2, asked);
    EXPECT_EQ(dir() + "/b.kvx", std::string(file));
    // A new name is not confirmed; the shortcut answers the dialog.
    pt::answerFileDialog(dir() + "/nouveau");
    ASSERT_TRUE(GetSaveFileName(&o));
    EXPECT_EQ(dir() + "/nouveau.kvx", std::string(file));
    pt::answerFileDialogCancel();
    EXPECT_FALSE(GetSaveFileName(&o));
    EXPECT_EQ(0u, CommDlgExtendedError());
}

TEST_F(CommonDialogs, ATooSmallBufferIsAnErrorNotATruncation) {
    m_initial = dir();
    char file[8] = "";
    OPENFILENAME o = ofn(file, sizeof file);
    pt::answerFileDialog(dir() + "/A.kvx");
    EXPECT_FALSE(GetOpenFileName(&o));
    EXPECT_EQ(FNERR_BUFFERTOOSMALL, CommDlgExtendedError());
    EXPECT_STREQ("", file);
    OPENFILENAME bad = ofn(file, sizeof file);
    bad.lStructSize = 3;
    EXPECT_FALSE(GetOpenFileName(&bad));
    EXPECT_EQ(CDERR_STRUCTSIZE, CommDlgExtendedError());
}

TEST_F(CommonDialogs, ChooseColorEditsThePreviewAndUpdatesCustomColoursOnOk) {
    COLORREF custom[16] = {};
    CHOOSECOLOR cc;
    cc.rgbResult = RGB(10, 20, 30);
    cc.Flags = CC_RGBINIT;
    cc.lpCustColors = custom;
    pt::onDialog(IDD_CHOOSECOLOR, [&](Driver& d) {
        EXPECT_EQ("10", d.text(IDC_COLOR_RED));
        EXPECT_EQ("30", d.text(IDC_COLOR_BLUE));
        d.setText(IDC_COLOR_RED, "300"); // out of range: ignored
        d.setText(IDC_COLOR_GREEN, "128");
        d.click(IDC_COLOR_ADD);
        const std::string path = std::string(::testing::TempDir()) + "/choosecolor.png";
        EXPECT_TRUE(d.snapshot(path));
        d.click(IDOK);
    });
    ASSERT_TRUE(ChooseColor(&cc));
    EXPECT_EQ(RGB(10, 128, 30), cc.rgbResult);
    EXPECT_EQ(RGB(10, 128, 30), custom[0]);
    // A click on a basic colour cell chooses it; Cancel keeps the caller's colours.
    pt::onDialog(IDD_CHOOSECOLOR, [&](Driver& d) {
        d.clickClient(12 + 5, 24 + 5);
        EXPECT_EQ("255", d.text(IDC_COLOR_RED));
        EXPECT_EQ("128", d.text(IDC_COLOR_GREEN));
        d.click(IDC_COLOR_ADD);
        d.escape();
    });
    EXPECT_FALSE(ChooseColor(&cc));
    EXPECT_EQ(RGB(10, 128, 30), custom[0]);
    EXPECT_EQ(0u, custom[1]);
}

TEST_F(CommonDialogs, OpenDialogSnapshot) {
    m_initial = dir();
    char file[512] = "";
    OPENFILENAME o = ofn(file, sizeof file);
    const std::string path = std::string(::testing::TempDir()) + "/opendialog.png";
    pt::onDialog(IDD_OPENFILE, [&](Driver& d) {
        d.selectRow(IDC_FILE_LIST, 2);
        EXPECT_TRUE(d.snapshot(path));
        d.escape();
    });
    EXPECT_FALSE(GetOpenFileName(&o));
}

} // namespace
