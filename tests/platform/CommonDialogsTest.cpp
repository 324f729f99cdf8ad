#include "plat/CommonDialogs.h"

#include "platform/DialogFixture.h"

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
