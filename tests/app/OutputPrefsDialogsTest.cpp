// The saving, copy set, PNG and plug-in tag preference dialogs run from their menu items in the
// program on the headless back end: what each shows for the stored preference, what OK stores and
// Cancel keeps, and what the outputs then are (the clipboard after Copy, the PNG bytes, the file a
// new document is saved as).
#include "Dialogs/OutputPrefsDialogs.h"

#include "../../src/Platform/backend/Backend.h"
#include "App/MenuDispatch.h"
#include "OverPc/PFILE.h"
#include "OverPc/commands/kPrefs.h"
#include "OverPc/documents/ClipboardCommands.h"
#include "OverPc/documents/CopyTargets.h"
#include "OverPc/documents/Translations.h"
#include "OverPc/shell/CQVApp.h"
#include "OverSrcs/commands/kEdit.h"
#include "app/AppDocumentFixture.h"
#include "plat/Dialog.h"
#include "plat/Menu.h"
#include "plat/Testing.h"
#include "platform/SysTempDir.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

namespace pt = plat::testing;
namespace fs = std::filesystem;
using pt::DialogDriver;

constexpr int kCopyMenuId = 516;
constexpr int kSaveMenuId = 263;
constexpr int kSaveAsMenuId = 264;

class OutputPrefsDialogsTest : public AppDocumentFixture {
protected:
    // The settings are the program's globals: each test puts them back.
    void TearDown() override {
        DefaultCopyFormat = m_copyFormat;
        PngSmoothing = m_smoothing;
        PluginTagMathSpeak = m_pluginMathSpeak;
        SetGeneralPrefValue("Sa", 0, m_saveType);
        AppDocumentFixture::TearDown();
    }
    const int32_t m_copyFormat = DefaultCopyFormat;
    const int32_t m_smoothing = PngSmoothing;
    const uint8_t m_pluginMathSpeak = PluginTagMathSpeak;
    const int32_t m_saveType = GeneralPrefValue("Sa", 0);

    // The checked button of a radio group (its id), 0 for none, -1 for more than one.
    static int checkedIn(DialogDriver& d, int first, int last) {
        int found = 0;
        for (int id = first; id <= last; ++id)
            if (d.checked(id))
                found = found == 0 ? id : -1;
        return found;
    }
    static std::vector<uint8_t> offered(const std::string& type) {
        std::vector<uint8_t> bytes;
        plat::backend().clipboardRead(type, bytes);
        return bytes;
    }
    static std::vector<std::string> offeredTypes() { return plat::backend().clipboardTypes(); }
    static bool offers(const char* type) {
        const std::vector<std::string> types = offeredTypes();
        return std::find(types.begin(), types.end(), type) != types.end();
    }
    static void copyAll() {
        DoCommand(kCmdSelectAll, 0);
        ASSERT_EQ(1, DoMenuCommand(kCopyMenuId));
    }
};

TEST_F(OutputPrefsDialogsTest, SavingPrefsShowsAndStoresTheSaveTypeOfNewDocuments) {
    struct Case {
        int32_t stored;
        int shown;
        int choose;
        int closeWith;
        int32_t after;
    };
    const Case cases[] = {
        {1, 11114, 11116, plat::IDOK, 3},     // PNG
        {3, 11116, 11118, plat::IDOK, 12},    // metafile
        {12, 11118, 11119, plat::IDOK, 13},   // bitmap
        {13, 11119, 11120, plat::IDOK, 6},    // MathSpeak
        {6, 11120, 11117, plat::IDOK, 4},     // MathML
        {4, 11117, 11115, plat::IDOK, 2},     // EPS
        {7, 11114, 11114, plat::IDOK, 1},     // a type no button offers
        {2, 11115, 11116, plat::IDCANCEL, 2}, // cancel keeps the type
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        SetGeneralPrefValue("Sa", 0, c.stored);
        pt::onDialog(kSavingPrefsDialogId, [&](DialogDriver& d) {
            EXPECT_EQ(checkedIn(d, kSaveTypeFirstItem, kSaveTypeLastItem), c.shown);
            d.check(c.choose);
            d.click(c.closeWith);
        });
        EXPECT_EQ(DoMenuCommand(kSavingPrefsMenuId), 1);
        EXPECT_EQ(GeneralPrefValue("Sa", 0), c.after);
    }

    // A new document is then saved as PNG: the file holds a PNG picture.
    SetGeneralPrefValue("Sa", 0, 1);
    pt::onDialog(kSavingPrefsDialogId, [](DialogDriver& d) {
        d.check(11116);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(kSavingPrefsMenuId), 1);
    typed("x+1");
    const std::string path = m_dir / "eq.png";
    pt::answerFileDialog(path);
    ASSERT_EQ(DoMenuCommand(kSaveMenuId), 1);
    pt::runUntilIdle();
    EXPECT_EQ(ReadFileBytes(path).substr(0, 4), "\x89PNG");
}

TEST_F(OutputPrefsDialogsTest, CopySetPrefsShowsTheFormatAndStoresWhatCopyThenPuts) {
    // Popup rows (entries, separators skipped): 0 Sans, 1 MS Office, 2 FrameMaker, ...
    struct Case {
        const char* name;
        int32_t current;
        int shownButton;
        int shownRow; // -1: no entry
        int choose;   // 0: leave
        int row;      // -1: leave the popup
        int closeWith;
        int32_t after;
    };
    const Case cases[] = {
        {"RTF reopens as the Office application", 21, 11385, 1, 0, -1, plat::IDOK, 21},
        {"an unoffered format shows the first button", 13, 11374, 0, 11382, -1, plat::IDOK, 8},
        {"format 20 is an application with none", 20, 11385, 0, 0, -1, plat::IDOK, 0},
        {"an application with no entry shows none", 22, 11385, -1, 11383, -1, plat::IDOK, 9},
        {"Photoshop", 4, 11374, 0, 11385, 7, plat::IDOK, 28},
        {"a popup choice under another button is ignored", 4, 11374, 0, 11378, 2, plat::IDOK, 11},
        {"cancel", 9, 11383, 0, 11375, 3, plat::IDCANCEL, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DefaultCopyFormat = c.current;
        pt::onDialog(kCopySetPrefsDialogId, [&](DialogDriver& d) {
            EXPECT_EQ(checkedIn(d, kCopyFormatFirstItem, kCopyFormatLastItem), c.shownButton);
            EXPECT_EQ(d.curSel(kCopyApplicationItem), c.shownRow);
            if (c.choose != 0)
                d.check(c.choose);
            if (c.row >= 0)
                d.chooseCombo(kCopyApplicationItem, c.row);
            d.click(c.closeWith);
        });
        EXPECT_EQ(DoMenuCommand(kCopySetPrefsMenuId), 1);
        EXPECT_EQ(DefaultCopyFormat, c.after);
    }

    // A press on the text beside the popup checks "Choose Application:".
    pt::onDialog(kCopySetPrefsDialogId, [](DialogDriver& d) {
        d.clickClient(20, 334);
        EXPECT_TRUE(d.checked(kCopyFormatLastItem));
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(DoMenuCommand(kCopySetPrefsMenuId), 1);

    // What Copy puts on the clipboard follows the choice: TeX text only, then pictures again.
    typed("x+1");
    pt::onDialog(kCopySetPrefsDialogId, [](DialogDriver& d) {
        d.check(11382);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(kCopySetPrefsMenuId), 1);
    copyAll();
    EXPECT_FALSE(offers("image/png"));
    const std::vector<uint8_t> tex = offered("UTF8_STRING");
    EXPECT_EQ(std::string(tex.begin(), std::find(tex.begin(), tex.end(), 0)),
              CopyFormatText(kCopyAsTeX, ExportExpression(true).get()));
    pt::onDialog(kCopySetPrefsDialogId, [](DialogDriver& d) {
        d.check(11374);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(kCopySetPrefsMenuId), 1);
    copyAll();
    EXPECT_TRUE(offers("image/png"));
    EXPECT_TRUE(offers("image/emf"));
}

TEST_F(OutputPrefsDialogsTest, TheCopyItemNamesTheCopyFormatFromStartUpOn) {
    const auto label = [] {
        char text[256] = {};
        plat::GetMenuString(CQVApp::instance().m_MenuBar, kCopyMenuId, text, sizeof text,
                            plat::MF_BYCOMMAND);
        return std::string(text);
    };
    // The button to check and the "Other Apps" row to choose (-1: none), as the user does.
    const struct {
        int button;
        int row;
        const char* shown;
    } cases[] = {
        {11382, -1, "&Copier (TeX)"},
        {11374, -1, "&Copier (Windows Metafile Picture)"},
        {11385, 6, "&Copier (Adobe Illustrator)"},
        {11377, -1, "&Copier (MS Office Applications)"},
        {11385, 0, "&Copier"}, // "Sans": format 0
        {11383, -1, "&Copier (MathML)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        pt::onDialog(kCopySetPrefsDialogId, [&](DialogDriver& d) {
            d.check(c.button);
            if (c.row >= 0)
                d.chooseCombo(kCopyApplicationItem, c.row);
            d.click(plat::IDOK);
        });
        ASSERT_EQ(DoMenuCommand(kCopySetPrefsMenuId), 1);
        EXPECT_EQ(label(), c.shown);
    }

    // general.prf cannot be written (a folder stands at its name): the failure is said, and the
    // item still names the format now in force.
    const fs::path general = fs::path(PrefsFolderPath()) / "general.prf";
    const fs::path moved = general.string() + ".kept";
    fs::rename(general, moved);
    fs::create_directories(general / "in the way");
    pt::setUnscriptedAnswers({[](const pt::MessageBoxCall&) { return 1; }, nullptr, nullptr});
    const size_t boxesBefore = pt::messageBoxes().size();
    pt::onDialog(kCopySetPrefsDialogId, [](DialogDriver& d) {
        d.check(11382);
        d.click(plat::IDOK);
    });
    ASSERT_EQ(DoMenuCommand(kCopySetPrefsMenuId), 1);
    EXPECT_GT(pt::messageBoxes().size(), boxesBefore) << "the failed save is said";
    EXPECT_EQ(DefaultCopyFormat, kCopyAsTeX);
    EXPECT_EQ(label(), "&Copier (TeX)");
    fs::remove_all(general);
    fs::rename(moved, general);
    pt::onDialog(kCopySetPrefsDialogId, [](DialogDriver& d) {
        d.check(11383); // MathML again
        d.click(plat::IDOK);
    });
    ASSERT_EQ(DoMenuCommand(kCopySetPrefsMenuId), 1);

    // The next run reads the format from general.prf and names it before anything is chosen.
    closeDocuments();
    shutDown();
    pt::reset();
    DefaultCopyFormat = 4;
    // Start-up notes (a preferences folder without its function names) are answered.
    pt::setUnscriptedAnswers({[](const pt::MessageBoxCall&) { return 1; }, nullptr, nullptr});
    InstallModelWiring(); // as the program's entry does, before start-up reads the preferences
    SetSingleInstanceSocket(m_dir / "KorvalineFileOpen");
    ASSERT_TRUE(CQVAppStartup({"-nosplash"}).runLoop);
    EXPECT_EQ(DefaultCopyFormat, 9);
    EXPECT_EQ(label(), "&Copier (MathML)");
}

TEST_F(OutputPrefsDialogsTest, PngPrefsStoresTheFlagsAndTheSmoothingOfCopiedPictures) {
    typed("x+1");
    auto choose = [](int smoothingRow) {
        pt::onDialog(kPngPrefsDialogId, [=](DialogDriver& d) {
            d.chooseCombo(kPngSmoothingItem, smoothingRow);
            d.click(plat::IDOK);
        });
        EXPECT_EQ(DoMenuCommand(kPngPrefsMenuId), 1);
    };
    choose(0);
    EXPECT_EQ(PngSmoothing, 0);
    copyAll();
    const std::vector<uint8_t> fast = offered("image/png");
    choose(3);
    EXPECT_EQ(PngSmoothing, 3);
    copyAll();
    const std::vector<uint8_t> smooth = offered("image/png");
    ASSERT_GT(fast.size(), 8u);
    ASSERT_GT(smooth.size(), 8u);
    EXPECT_NE(fast, smooth) << "the smoothing changes the picture";

    // The flags toggle and are stored; a level out of range shows no entry and is kept on OK.
    SetGeneralPrefValue("Pn", 0, 0);
    SetGeneralPrefValue("Pn", 1, 1);
    SetGeneralPrefValue("Pn", 2, 7);
    pt::onDialog(kPngPrefsDialogId, [](DialogDriver& d) {
        EXPECT_FALSE(d.checked(kPngImgTagItem));
        EXPECT_TRUE(d.checked(kPngMathSpeakItem));
        EXPECT_EQ(d.curSel(kPngSmoothingItem), -1);
        d.click(kPngImgTagItem);
        d.click(kPngMathSpeakItem);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(kPngPrefsMenuId), 1);
    EXPECT_EQ(GeneralPrefValue("Pn", 0), 1);
    EXPECT_EQ(GeneralPrefValue("Pn", 1), 0);
    EXPECT_EQ(GeneralPrefValue("Pn", 2), 7);
    pt::onDialog(kPngPrefsDialogId, [](DialogDriver& d) {
        d.click(kPngImgTagItem);
        d.chooseCombo(kPngSmoothingItem, 1);
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(DoMenuCommand(kPngPrefsMenuId), 1);
    EXPECT_EQ(GeneralPrefValue("Pn", 0), 1);
    EXPECT_EQ(GeneralPrefValue("Pn", 2), 7);
}

TEST_F(OutputPrefsDialogsTest, PngFlagsPutTheImageTagOfASavedPngOnTheClipboard) {
    const uint8_t imgTag = PngCopyImgTag, inAlt = PngMathSpeakInAlt;
    typed("x+1");
    const std::string spoken = MathSpeakReading(ExportExpression(true).get());
    ASSERT_FALSE(spoken.empty());
    // Sets the two check boxes through the dialog, then saves the document as PNG; the clipboard
    // text afterwards ("" when the save put none there).
    const auto saveWith = [&](bool tag, bool alt, const char* name) {
        pt::onDialog(kPngPrefsDialogId, [=](DialogDriver& d) {
            if (d.checked(kPngImgTagItem) != tag)
                d.click(kPngImgTagItem);
            if (d.checked(kPngMathSpeakItem) != alt)
                d.click(kPngMathSpeakItem);
            d.click(plat::IDOK);
        });
        EXPECT_EQ(DoMenuCommand(kPngPrefsMenuId), 1);
        plat::backend().clipboardOffer({});
        pt::answerFileDialog(m_dir / name);
        EXPECT_EQ(DoMenuCommand(kSaveAsMenuId), 1);
        const std::vector<uint8_t> text = offered("UTF8_STRING");
        return std::string(text.begin(), text.end());
    };
    EXPECT_EQ(saveWith(false, true, "none.png"), "");
    const std::string plain = saveWith(true, false, "plain.png");
    EXPECT_NE(plain.find("<img src=\"plain.png\""), std::string::npos) << plain;
    EXPECT_NE(plain.find("alt=\"\xc3\xa9quation\""), std::string::npos) << plain;
    const std::string read = saveWith(true, true, "read.png");
    EXPECT_NE(read.find("<img src=\"read.png\""), std::string::npos) << read;
    EXPECT_NE(read.find("alt=\"" + spoken + "\""), std::string::npos) << read;
    PngCopyImgTag = imgTag;
    PngMathSpeakInAlt = inAlt;
}

TEST_F(OutputPrefsDialogsTest, PluginTagPrefsReducesTheFlagsAndStoresOnlyOnOk) {
    SetGeneralPrefValue("Qv", 0, 2);
    SetGeneralPrefValue("Qv", 1, 5);
    pt::onDialog(kPluginTagPrefsDialogId, [](DialogDriver& d) {
        EXPECT_TRUE(d.checked(kPluginMathSpeakItem));
        d.click(kPluginMathSpeakItem);
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(DoMenuCommand(kPluginTagPrefsMenuId), 1);
    EXPECT_EQ(GeneralPrefValue("Qv", 0), 1);
    EXPECT_EQ(GeneralPrefValue("Qv", 1), 1);
    pt::onDialog(kPluginTagPrefsDialogId, [](DialogDriver& d) {
        d.click(kPluginMathSpeakItem);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(kPluginTagPrefsMenuId), 1);
    EXPECT_EQ(GeneralPrefValue("Qv", 0), 0);

    // The plug-in tag copy carries the MathSpeak reading only while the flag is on.
    typed("x+1");
    DefaultCopyFormat = kCopyAsHtmlTag;
    copyAll();
    std::vector<uint8_t> text = offered("UTF8_STRING");
    EXPECT_EQ(std::string(text.begin(), text.end()).find("<img"), std::string::npos);
    pt::onDialog(kPluginTagPrefsDialogId, [](DialogDriver& d) {
        d.click(kPluginMathSpeakItem);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(kPluginTagPrefsMenuId), 1);
    copyAll();
    text = offered("UTF8_STRING");
    const std::string spoken = MathSpeakReading(ExportExpression(true).get());
    ASSERT_FALSE(spoken.empty());
    EXPECT_NE(std::string(text.begin(), text.end()).find("alt=\"" + spoken + "\""),
              std::string::npos);
}

} // namespace
} // namespace kvtest
