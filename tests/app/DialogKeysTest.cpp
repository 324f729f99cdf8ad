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

} // namespace
} // namespace kvtest
