// The keys of every dialog a menu row opens, through the program's own loop: Escape alone, sent
// as soon as the dialog waits for input, cancels it and leaves the document, the palettes and
// the preferences folder as they were.

#include "App/MenuDispatch.h"
#include "Dialogs/AboutDialogs.h"
#include "Dialogs/CustomizePaletteDialogs.h"
#include "Dialogs/KeyboardDialogs.h"
#include "OverPc/PFILE.h"
#include "OverSrcs/commands/kEdit.h"
#include "TreeText.h"
#include "UserInputFixture.h"
#include "plat/CommonDialogs.h"
#include "plat/Dialog.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace kvtest {
namespace {

constexpr int kCustomizePaletteMenu = 6657;
constexpr int kChooseExampleDialog = 4257;

// A menu row and the dialog it opens. `insert`: a template put in the document and selected
// first, for the Modify rows (0: the document holds "a"). `escapeKept`: why Escape does not
// close the dialog; it is then closed by `closeWith`. `editsFirst`: the command changes the
// document before its dialog opens (the dialog itself must still change nothing).
struct MenuDialog {
    int menuId;
    int dialogId;
    int32_t insert = 0;
    const char* escapeKept = nullptr;
    int closeWith = plat::IDCANCEL;
    bool editsFirst = false;
};

const MenuDialog kMenuDialogs[] = {
    // Fichier
    {258, plat::IDD_OPENFILE},
    {261, kChooseExampleDialog},
    {263, plat::IDD_SAVEFILE}, // an untitled document asks for its name
    {264, plat::IDD_SAVEFILE},
    {265, plat::IDD_SAVEFILE},
    {266, plat::IDD_PRINTSETUP},
    {267, plat::IDD_PRINT},
    // Édition, Insertion
    {530, plat::IDD_CHOOSECOLOR},
    {1537, 4171},
    {2049, 4105},
    {2052, 4108},
    // Modifier
    {5377, 4103},
    {5378, 4109, 0, nullptr, plat::IDCANCEL, true}, // the row is made a ruled one first
    {5380, 4107, 0x4201},
    {5381, 4106, 0x4301},
    {5382, 4115, 0x4211},
    {5383, 4117, 0x4040},
    {5384, 4114, 0x4001},
    {5385, 4133, 0x4010},
    {5386, 4113, 0x4401},
    {5387, 4112, 0x4101},
    {5388, 4111, 0x5222},
    {5390, 4103},
    // Options
    {kCustomizePaletteMenu, kCustomizePaletteDialogId},
    {6658, kKeyboardDialogId, 0,
     "the key-capture field has the focus and takes every key, Escape included, as the shortcut"},
    {6659, 4125},
    {6662, 4126},
    // Préférences
    {6913, 4140},
    {6914, 4141},
    {6916, 4144},
    {6917, 4142},
    {7169, 4143},
    {7170, 4145},
    {7171, 4146},
    {7173, 4134},
    {7174, 4135},
    {7425, 4128},
    {7426, 4129},
    {7427, 4130},
    {7428, 4131},
    {7429, 4132},
    {7430, 4133},
    {7433, 4167},
    {7434, 4103},
    {7435, 4127},
    {7682, 4148},
    {7683, 4152},
    {7684, 4154},
    {7685, 4156},
    {7686, 4150},
    {7687, 4151},
    {7688, 4153},
    {7689, 4159},
    {7690, 4160},
    {7692, 4162},
    {7693, 4163},
    {7937, 4136},
    {7938, 4139},
    {8193, 4137},
    {8194, 4170},
    // Aide
    {8707, 4184},
    {8708, 4201},
    {8710, 4180},
    {8711, 4209},
    {8712, 4171},
    {8714, kAboutDialogId, 0, "the About box has no Annuler button: only OK closes it", plat::IDOK},
};

class DialogKeysTest : public UserInputFixture {
protected:
    // Every file the run keeps (preferences, data), with its bytes.
    std::map<std::string, std::string> files() const {
        std::map<std::string, std::string> out;
        for (const auto& e : std::filesystem::recursive_directory_iterator(m_dir.path())) {
            if (!e.is_regular_file())
                continue;
            std::ifstream in(e.path(), std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            out[e.path().string()] = bytes.str();
        }
        return out;
    }
    // What a cancelled dialog must leave as it found it.
    struct Snapshot {
        std::string tree;
        PaletteRecord palette;
        std::map<std::string, std::string> files;
    };
    Snapshot snapshot(ExprFilePane* pane) const {
        return {TreeText(pane->expression()), MainPalette(), files()};
    }
};

// Escape alone, as the first key a dialog gets: it closes the dialog with Cancel's result (0 from
// the program's dialogs, IDCANCEL from the system's), nothing changes, and no beep is heard.
TEST_F(DialogKeysTest, EscapeAloneCancelsEveryDialogAMenuRowOpens) {
    // The example library the Fichier row browses.
    std::filesystem::create_directories(PathSlotText(kDataFolderSlot) + kPrefsFolderName +
                                        "/Examples/Algebra");
    for (const MenuDialog& row : kMenuDialogs) {
        SCOPED_TRACE("menu " + std::to_string(row.menuId) + ", dialog " +
                     std::to_string(row.dialogId));
        // The same row answered by a click on its closing button, then by Escape.
        Snapshot answered[2];
        for (const bool escape : {false, true}) {
            ExprFilePane* pane = typed(row.insert == 0 ? "a" : "");
            if (row.insert != 0) {
                DoCommand(row.insert, 0);
                DoCommand(kCmdSelectAll, 0);
                pump();
            }
            const Snapshot before = snapshot(pane);
            bool opened = false;
            std::string inside;
            plat::INT_PTR result = -1;
            size_t beeps = 0;
            pt::onDialog(row.dialogId, [&](pt::DialogDriver& d) {
                opened = true;
                inside = TreeText(pane->expression());
                const size_t beepsBefore = pt::beeps().size();
                if (escape) {
                    d.escape();
                    beeps = pt::beeps().size() - beepsBefore;
                    if (row.escapeKept == nullptr) {
                        result = d.result();
                        return;
                    }
                    EXPECT_FALSE(d.ended()) << row.escapeKept;
                }
                d.click(row.closeWith);
                result = d.result();
            });
            plat::PostMessage(CQVApp::instance().m_MainFrame, plat::WM_COMMAND,
                              static_cast<plat::WPARAM>(row.menuId), 0);
            pump();
            ASSERT_TRUE(opened);
            EXPECT_EQ(beeps, 0u);
            if (row.closeWith == plat::IDOK)
                EXPECT_EQ(result, 1);
            else
                EXPECT_EQ(result, row.dialogId >= plat::IDD_OPENFILE ? plat::IDCANCEL : 0);
            answered[escape ? 1 : 0] = snapshot(pane);
            const Snapshot& after = answered[escape ? 1 : 0];
            EXPECT_EQ(after.tree, inside) << (escape ? "Escape" : "click");
            if (!row.editsFirst) {
                EXPECT_EQ(inside, before.tree);
            }
            EXPECT_TRUE(after.palette == before.palette);
            EXPECT_EQ(after.files, before.files);
            CloseAllDocuments();
            takeBackQuit();
        }
    }
}

// The boxes the program shows, each as the real box with Escape alone as its first key: the box
// closes with its cancelling answer (OK for a box with only OK), the command that asked goes on
// as after Cancel, and the document, its window and the files stay as they were.
TEST_F(DialogKeysTest, EscapeAloneAnswersTheProgramsBoxesWithCancel) {
    const std::string damaged = m_dir / "damaged.pvx";
    WriteFileBytes(damaged, "]|Expr|[ damaged");
    struct BoxRow {
        const char* what;
        int menuId;
        plat::UINT buttons; // the box's kind (MB_TYPEMASK)
        const char* fileToOpen = nullptr;
        // Quitter writes the settings before it asks about the documents.
        bool writesSettings = false;
    };
    const BoxRow rows[] = {
        {"the save question of Fermer", 259, plat::MB_YESNOCANCEL},
        {"the save question of Quitter", 269, plat::MB_YESNOCANCEL, nullptr, true},
        {"a note", 7431, plat::MB_OK},
        {"the alert of a damaged file", 258, plat::MB_OK, damaged.c_str()},
    };
    for (const BoxRow& row : rows) {
        SCOPED_TRACE(row.what);
        ExprFilePane* pane = typed("a");
        const plat::HWND window = HandleOfWindow(pane->window()->windowHandle());
        const Snapshot before = snapshot(pane);
        if (row.fileToOpen != nullptr)
            pt::answerFileDialog(row.fileToOpen);
        pt::MessageBoxCall shown;
        pt::onMessageBox([&](const pt::MessageBoxCall& call) {
            shown = call;
            pt::key(plat::VK_ESCAPE);
            return pt::kShowBox;
        });
        plat::PostMessage(CQVApp::instance().m_MainFrame, plat::WM_COMMAND,
                          static_cast<plat::WPARAM>(row.menuId), 0);
        pump();
        const bool goneAfterEscape = pt::findWindow("KvMessageBox") == nullptr;
        EXPECT_FALSE(shown.text.empty()) << "no box";
        EXPECT_EQ(shown.type & plat::MB_TYPEMASK, row.buttons);
        EXPECT_TRUE(goneAfterEscape);
        EXPECT_EQ(pt::pendingDialogScripts(), 0);
        // Cancelled: the document is still open and changed, nothing was saved or opened, and the
        // program goes on.
        EXPECT_TRUE(plat::IsWindow(window));
        EXPECT_EQ(OpenDocumentCount(), 1);
        EXPECT_TRUE(pane->changed());
        EXPECT_FALSE(takeBackQuit());
        Snapshot after = snapshot(pane);
        EXPECT_EQ(after.tree, before.tree);
        if (row.writesSettings)
            std::erase_if(after.files, [&](const auto& file) {
                return file.first.find(kPrefsFolderName) != std::string::npos &&
                       before.files.count(file.first) == 0;
            });
        EXPECT_EQ(after.files, before.files);
        CloseAllDocuments();
        takeBackQuit();
    }
}

// Oui to the save question of an untitled document opens the file dialog; Escape there, as its
// first key, cancels the close or the quit: the document stays open and changed, nothing is
// written.
TEST_F(DialogKeysTest, EscapeInTheFileDialogOfTheSaveQuestionKeepsTheDocument) {
    for (const int menuId : {259, 269}) {
        SCOPED_TRACE(menuId);
        ExprFilePane* pane = typed("a");
        const plat::HWND window = HandleOfWindow(pane->window()->windowHandle());
        const Snapshot before = snapshot(pane);
        pt::onMessageBox([](const pt::MessageBoxCall&) { return plat::IDYES; });
        plat::INT_PTR result = -1;
        pt::onDialog(plat::IDD_SAVEFILE, [&](pt::DialogDriver& d) {
            d.escape();
            result = d.result();
        });
        plat::PostMessage(CQVApp::instance().m_MainFrame, plat::WM_COMMAND,
                          static_cast<plat::WPARAM>(menuId), 0);
        pump();
        EXPECT_EQ(result, plat::IDCANCEL);
        EXPECT_TRUE(plat::IsWindow(window));
        EXPECT_EQ(OpenDocumentCount(), 1);
        EXPECT_TRUE(pane->changed());
        EXPECT_FALSE(takeBackQuit());
        EXPECT_EQ(TreeText(pane->expression()), before.tree);
        for (const auto& [path, bytes] : snapshot(pane).files) {
            if (path.find(kPrefsFolderName) == std::string::npos) {
                EXPECT_EQ(before.files.count(path), 1u) << path;
            }
        }
        CloseAllDocuments();
        takeBackQuit();
    }
}

} // namespace
} // namespace kvtest
