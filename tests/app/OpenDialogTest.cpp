// File > "Ouvrir..." in the running program: the dialog's type filter starts on the entry of the
// files the program saves, so a document just saved is listed; the filter list stays whole.

#include "App/MenuDispatch.h"
#include "AppDocumentFixture.h"
#include "OverPc/PERROR.h"
#include "OverPc/Presourc.h"
#include "plat/CommonDialogs.h"
#include "plat/Controls.h"
#include "plat/Dialog.h"
#include "plat/Input.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace pt = plat::testing;

namespace kvtest {
namespace {

constexpr int kOpenMenuId = 258;
constexpr int kSaveAsMenuId = 264;

class OpenDialogTest : public AppDocumentFixture {
protected:
    static std::vector<std::string> rows(plat::HWND control, bool combo) {
        std::vector<std::string> out;
        const plat::UINT count = combo ? plat::CB_GETCOUNT : plat::LB_GETCOUNT;
        const plat::UINT get = combo ? plat::CB_GETLBTEXT : plat::LB_GETTEXT;
        const int n = static_cast<int>(plat::SendMessage(control, count, 0, 0));
        for (int i = 0; i < n; ++i) {
            char buf[260] = {};
            plat::SendMessage(control, get, static_cast<plat::WPARAM>(i),
                              reinterpret_cast<plat::LPARAM>(buf));
            out.emplace_back(buf);
        }
        return out;
    }
};

// A document saved in another folder than the one the program started in: the next Open starts
// in that folder on the type documents are saved as, so the file just saved is listed at once;
// the next new document's Save As starts there too.
TEST_F(OpenDialogTest, TheFileDialogsStartOnTheSavedTypeInTheFolderLastChosen) {
    const std::filesystem::path folder = m_dir / "elsewhere";
    std::filesystem::create_directories(folder);
    ExprFilePane* pane = typed("x+1");
    pt::answerFileDialog((folder / "saved.pvx").string());
    ASSERT_EQ(DoMenuCommand(kSaveAsMenuId), 1);
    pt::runUntilIdle();
    ASSERT_TRUE(std::filesystem::exists(folder / "saved.pvx"));
    ASSERT_FALSE(pane->changed());

    std::vector<std::string> types;
    std::string chosenType;
    std::string shownFolder;
    std::vector<std::string> listed;
    pt::onDialog(plat::IDD_OPENFILE, [&](pt::DialogDriver& d) {
        types = rows(d.item(plat::IDC_FILE_TYPE), true);
        const int chosen = d.curSel(plat::IDC_FILE_TYPE);
        if (chosen >= 0 && chosen < static_cast<int>(types.size()))
            chosenType = types[static_cast<size_t>(chosen)];
        shownFolder = d.text(plat::IDC_FILE_FOLDER);
        listed = rows(d.item(plat::IDC_FILE_LIST), false);
        d.escape();
    });
    ASSERT_EQ(DoMenuCommand(kOpenMenuId), 1);
    pt::runUntilIdle();
    EXPECT_NE(chosenType.find(".pvx"), std::string::npos) << chosenType;
    // The list of types is the program's default one, ".exp" first.
    ASSERT_GE(types.size(), 3u);
    EXPECT_NE(types[0].find(".exp"), std::string::npos) << types[0];
    EXPECT_NE(types[1].find(".pvx"), std::string::npos) << types[1];
    EXPECT_NE(types.back().find("*.*"), std::string::npos) << types.back();
    std::error_code ec;
    EXPECT_TRUE(std::filesystem::equivalent(shownFolder, folder, ec)) << shownFolder;
    EXPECT_NE(std::find(listed.begin(), listed.end(), "saved.pvx"), listed.end())
        << "the document just saved is listed without looking for its folder";

    // A new document has no folder of its own: its Save As starts there too.
    typed("y");
    std::string saveFolder;
    pt::onDialog(plat::IDD_SAVEFILE, [&](pt::DialogDriver& d) {
        saveFolder = d.text(plat::IDC_FILE_FOLDER);
        d.escape();
    });
    DoMenuCommand(kSaveAsMenuId);
    pt::runUntilIdle();
    EXPECT_TRUE(std::filesystem::equivalent(saveFolder, folder, ec)) << saveFolder;
    EXPECT_TRUE(pt::messageBoxes().empty());
}

// A file whose name the code page cannot write is listed with '?' for what the page lacks; a
// double click on it gives the program's message about such names (as when it is named on the
// command line) over its name, and opens nothing.
TEST_F(OpenDialogTest, ANameTheCodePageCannotWriteGivesTheProgramsMessage) {
    const std::filesystem::path folder = m_dir / "korean";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "\xED\x91\x9C.pvx") << "x"; // 표.pvx
    std::vector<std::string> listed, boxes;
    bool endedByTheBox = true;
    pt::onMessageBox([&](const pt::MessageBoxCall& box) {
        boxes.push_back(box.text);
        return plat::IDOK;
    });
    pt::onDialog(plat::IDD_OPENFILE, [&](pt::DialogDriver& d) {
        // All files ("*.*", the last type).
        const int types = static_cast<int>(
            plat::SendMessage(d.item(plat::IDC_FILE_TYPE), plat::CB_GETCOUNT, 0, 0));
        d.chooseCombo(plat::IDC_FILE_TYPE, types - 1);
        d.setText(plat::IDC_FILE_NAME, folder.string());
        d.enter();
        listed = rows(d.item(plat::IDC_FILE_LIST), false);
        const auto row = std::find(listed.begin(), listed.end(), "?.pvx");
        ASSERT_NE(row, listed.end());
        d.doubleClickRow(plat::IDC_FILE_LIST, static_cast<int>(row - listed.begin()));
        endedByTheBox = d.ended();
        d.escape();
    });
    ASSERT_EQ(DoMenuCommand(kOpenMenuId), 1);
    pt::runUntilIdle();
    EXPECT_FALSE(endedByTheBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], std::string(LoadResString(errNameOutsideCodePage)) + "\n?.pvx");
    EXPECT_EQ(OpenDocumentCount(), 0);
}

} // namespace
} // namespace kvtest
