// The target-application preferences run from Préférences > "Targets Prefs..." in the program on
// the headless back end: what each dialog shows in default and override mode, what OK stores and
// resets, that the settings survive a restart, and what the copies for the targets then offer
// (the formats and their bytes; the web tags checked as XHTML and MathML by xmllint).
#include "Dialogs/TargetPrefsDialogs.h"

#include "../../src/Platform/backend/Backend.h"
#include "App/MenuDispatch.h"
#include "OverPc/PFILE.h"
#include "OverPc/commands/kPrefs.h"
#include "OverPc/documents/ClipboardCommands.h"
#include "OverPc/documents/CopyTargets.h"
#include "OverPc/documents/Translations.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/etEncode.h"
#include "app/AppDocumentFixture.h"
#include "plat/Dialog.h"
#include "plat/Testing.h"
#include "platform/SysTempDir.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

namespace pt = plat::testing;
namespace fs = std::filesystem;
using pt::DialogDriver;

constexpr const char* kAi3Type = "application/x-kv-ADOBE-AI3";

class TargetPrefsDialogsTest : public AppDocumentFixture {
protected:
    // The user's preferences folder starts as the shipped one (translators, function names).
    void SetUp() override {
        AppDocumentFixture::SetUp();
        const fs::path shipped = fs::path(KV_BINARY_DIR) / "src" / "Korvaline_Prefs";
        fs::create_directories(PrefsFolderPath());
        for (const char* name :
             {"TeX.cat", "MathML.cat", "MathSpeak.cat", "Text.CAT", "function.txt", "keys.prf"})
            fs::copy_file(shipped / name, PrefsFolderPath() + name,
                          fs::copy_options::overwrite_existing);
        ForgetLoadedTranslators();
    }
    void TearDown() override {
        ForgetLoadedTranslators();
        AppDocumentFixture::TearDown();
        ResetGeneralPrefs();
    }

    void restart() {
        closeDocuments();
        shutDown();
        pt::reset();
        ResetGeneralPrefs();
        ResetModelHooks();
        ResetCommandHooks();
        ResetCommandState();
        InstallModelWiring();
        ASSERT_TRUE(CQVAppStartup({"-nosplash"}).runLoop);
    }

    static std::vector<std::string> offeredTypes() { return plat::backend().clipboardTypes(); }
    static bool offers(const char* type) {
        const std::vector<std::string> types = offeredTypes();
        return std::find(types.begin(), types.end(), type) != types.end();
    }
    static std::string offered(const std::string& type) {
        std::vector<uint8_t> bytes;
        plat::backend().clipboardRead(type, bytes);
        return std::string(bytes.begin(), std::find(bytes.begin(), bytes.end(), 0));
    }

    // xmllint's verdict on `text` (validated against the DTD its DOCTYPE names, from the local
    // catalog); -1 when xmllint is missing.
    int xmllint(const std::string& text) {
        if (std::system("command -v xmllint >/dev/null 2>&1") != 0)
            return -1;
        const std::string file = m_dir / "check.xml";
        std::ofstream(file) << text;
        const std::string command =
            "xmllint --noout --valid --nonet '" + file + "' 2>'" + (m_dir / "lint") + "'";
        const int rc = std::system(command.c_str());
        if (rc != 0)
            ADD_FAILURE() << ReadFileBytes(m_dir / "lint") << "\n" << text;
        return rc;
    }
    static std::string xhtmlPage(const std::string& fragment) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.1//EN\" "
               "\"http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd\">\n"
               "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>t</title></head>"
               "<body><p>" +
               fragment + "</p></body></html>\n";
    }
    static std::string mathDocument(const std::string& math) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<!DOCTYPE math PUBLIC \"-//W3C//DTD MathML 3.0//EN\" "
               "\"http://www.w3.org/Math/DTD/mathml3/mathml3.dtd\">\n" +
               math + "\n";
    }
};

// One layout or drawing target: its menu entry, dialog, radio pair, check boxes, the boxes as
// "Use Default Settings" shows them, the flags it stores, and its record ("" for the ones kept
// for the run).
struct CheckTarget {
    int menuId, dialogId, radio;
    std::vector<int> checks;
    std::vector<bool> shownInDefault;
    std::vector<int32_t> storedInDefault;
    const char* tag;
};
const std::vector<CheckTarget>& checkTargets() {
    static const std::vector<CheckTarget> targets = {
        {7686, 4150, 13671, {13673, 13674}, {false, true}, {0, 1}, "Fm"},
        {7687, 4151, 13927, {13929, 13930}, {false, true}, {0, 1}, "Pm"},
        {7683, 4152, 14184, {14186, 14187, 14188}, {false, true, true}, {0, 0, 0}, "Id"},
        {7684,
         4154,
         14695,
         {14697, 14698, 14699, 14700},
         {false, true, false, true},
         {0, 1, 0, 1},
         "Il"},
        {7685, 4156, 15207, {15209}, {true}, {1}, "Ph"},
        {7690,
         4160,
         16232,
         {16234, 16235, 16236, 16237},
         {false, true, false, true},
         {0, 1, 0, 1},
         ""},
        {7692,
         4162,
         16744,
         {16746, 16747, 16748, 16749},
         {false, true, false, true},
         {0, 1, 0, 1},
         ""},
        {7693, 4163, 16999, {17001, 17002}, {false, true}, {0, 1}, ""},
    };
    return targets;
}

TEST_F(TargetPrefsDialogsTest, WordTargetGreysItsBoxesInDefaultModeAndStoresTheRecord) {
    // Default mode: the boxes show what the defaults stand for, greyed.
    pt::onDialog(kWordTargetDialogId, [](DialogDriver& d) {
        EXPECT_TRUE(d.checked(kWordDefaultItem));
        EXPECT_FALSE(d.checked(kWordBitmapItem));
        EXPECT_TRUE(d.checked(kWordRtfBlockItem));
        EXPECT_FALSE(d.enabled(kWordBitmapItem));
        EXPECT_TRUE(d.enabled(kWordPointsItem));
        EXPECT_EQ(d.text(kWordPointsItem), "0");
        EXPECT_EQ(d.curSel(kWordAlignmentItem), 0);
        // A press on the text of "Override Defaults" chooses it.
        d.clickClient(200, 130);
        EXPECT_TRUE(d.checked(kWordDefaultItem + 1));
        EXPECT_TRUE(d.enabled(kWordBitmapItem));
        d.click(kWordBitmapItem);
        d.click(kWordRtfBlockItem);
        d.setText(kWordPointsItem, " -12pt");
        d.chooseCombo(kWordAlignmentItem, 3); // "Bas" (after the separator)
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(7682), 1);
    const std::vector<int32_t> overridden = {1, 3, 1152, 300, 1, 1, 0, 0, 3, 0, -12, 0, 1};
    for (int field = 0; field < 13; ++field)
        EXPECT_EQ(GeneralPrefValue("Wd", field), overridden[static_cast<size_t>(field)]) << field;

    // Back to the defaults: the shown boxes and the points reset, the alignment kept; a stored
    // resolution out of range and the unnamed fields go back too, field 9 stays.
    SetGeneralPrefValue("Wd", 2, 5000);
    SetGeneralPrefValue("Wd", 9, 7);
    SetGeneralPrefValue("Wd", 12, 9);
    pt::onDialog(kWordTargetDialogId, [](DialogDriver& d) {
        EXPECT_TRUE(d.checked(kWordBitmapItem));
        EXPECT_EQ(d.text(kWordPointsItem), "-12");
        EXPECT_EQ(d.curSel(kWordAlignmentItem), 3);
        d.clickClient(200, 110);
        EXPECT_FALSE(d.checked(kWordBitmapItem));
        EXPECT_FALSE(d.enabled(kWordRtfBlockItem));
        d.setText(kWordPointsItem, "40");
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(7682), 1);
    const std::vector<int32_t> defaults = {0, 3, 1152, 300, 0, 1, 1, 0, 3, 7, 0, 0, 1};
    for (int field = 0; field < 13; ++field)
        EXPECT_EQ(GeneralPrefValue("Wd", field), defaults[static_cast<size_t>(field)]) << field;
    EXPECT_EQ(WordTargetAlignment, 3);

    // Cancel keeps everything.
    pt::onDialog(kWordTargetDialogId, [](DialogDriver& d) {
        d.check(kWordDefaultItem + 1);
        d.chooseCombo(kWordAlignmentItem, 0);
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(DoMenuCommand(7682), 1);
    EXPECT_EQ(GeneralPrefValue("Wd", 0), 0);
    EXPECT_EQ(GeneralPrefValue("Wd", 1), 3);
}

TEST_F(TargetPrefsDialogsTest, PictureTargetsShowTheirDefaultsAndStoreOverridesOrReset) {
    for (const CheckTarget& t : checkTargets()) {
        SCOPED_TRACE(t.dialogId);
        // Default mode shows the defaults, greyed; overriding makes the boxes live, and each is
        // turned from what it showed.
        pt::onDialog(t.dialogId, [&](DialogDriver& d) {
            EXPECT_TRUE(d.checked(t.radio));
            for (size_t i = 0; i < t.checks.size(); ++i) {
                EXPECT_EQ(d.checked(t.checks[i]), t.shownInDefault[i]) << i;
                EXPECT_FALSE(d.enabled(t.checks[i])) << i;
            }
            // A press left of the labels does nothing; one on the second label overrides.
            d.clickClient(4, 78);
            EXPECT_TRUE(d.checked(t.radio));
            d.clickClient(200, t.dialogId == 4156 ? 74 : 78);
            EXPECT_TRUE(d.checked(t.radio + 1));
            for (const int id : t.checks) {
                EXPECT_TRUE(d.enabled(id));
                d.click(id);
            }
            d.click(plat::IDOK);
        });
        EXPECT_EQ(DoMenuCommand(t.menuId), 1);
        if (*t.tag != '\0') {
            EXPECT_EQ(GeneralPrefValue(t.tag, 0), 1);
            for (size_t i = 0; i < t.checks.size(); ++i)
                EXPECT_EQ(GeneralPrefValue(t.tag, static_cast<int>(i) + 1),
                          t.shownInDefault[i] ? 0 : 1);
        }
        // The dialog opens again on what was stored; back to the defaults stores the defaults
        // (InDesign's differ from what its greyed boxes show).
        pt::onDialog(t.dialogId, [&](DialogDriver& d) {
            EXPECT_TRUE(d.checked(t.radio + 1));
            for (size_t i = 0; i < t.checks.size(); ++i)
                EXPECT_EQ(d.checked(t.checks[i]), !t.shownInDefault[i]) << i;
            d.check(t.radio);
            d.click(plat::IDOK);
        });
        EXPECT_EQ(DoMenuCommand(t.menuId), 1);
        pt::onDialog(t.dialogId, [&](DialogDriver& d) {
            EXPECT_TRUE(d.checked(t.radio));
            d.check(t.radio + 1);
            for (size_t i = 0; i < t.checks.size(); ++i)
                EXPECT_EQ(d.checked(t.checks[i]), t.shownInDefault[i]) << i;
            d.click(plat::IDCANCEL);
        });
        EXPECT_EQ(DoMenuCommand(t.menuId), 1);
        if (*t.tag != '\0') {
            for (size_t i = 0; i < t.checks.size(); ++i)
                EXPECT_EQ(GeneralPrefValue(t.tag, static_cast<int>(i) + 1), t.storedInDefault[i]);
        }
    }
    // The resolutions "Use Default Settings" stores: Illustrator the EPS one, clamped; Photoshop
    // the bitmap one.
    EXPECT_EQ(GeneralPrefValue("Id", 5), 1200);
    EXPECT_EQ(GeneralPrefValue("Ph", 2), GeneralPrefValue("Bi", 0));
}

TEST_F(TargetPrefsDialogsTest, ResolutionFormsShowTheirDefaultsAndWriteBackTheRecord) {
    // Canvas, opened by no command: overriding leaves the font box and its popup grey.
    TwoResolutionTargetPrefsRecord canvas;
    canvas.choice = 1;
    canvas.flags = {1, 0, 1, 0};
    std::snprintf(canvas.previewResolution.data(), canvas.previewResolution.size(), "600");
    pt::onDialog(kCanvasTargetDialogId, [](DialogDriver& d) {
        EXPECT_TRUE(d.checked(14960));
        EXPECT_EQ(d.text(14955), "600");
        EXPECT_TRUE(d.enabled(14961));
        EXPECT_FALSE(d.enabled(14963));
        EXPECT_FALSE(d.enabled(14966));
        d.check(14959);
        EXPECT_EQ(d.text(14955), "1152");
        EXPECT_EQ(d.text(14954), "1200");
        EXPECT_TRUE(d.checked(14962));
        EXPECT_FALSE(d.checked(14961));
        EXPECT_FALSE(d.enabled(14955));
        d.click(plat::IDOK);
    });
    EXPECT_EQ(RunTargetCanvasPrefsDlg(&canvas), 1);
    EXPECT_EQ(canvas.choice, 0);
    EXPECT_STREQ(canvas.previewResolution.data(), "1152");
    EXPECT_EQ(canvas.flags[1], 1);
    // Mellel: every control is live when overriding; Cancel leaves the record alone.
    OneResolutionTargetPrefsRecord mellel;
    pt::onDialog(kMellelTargetDialogId, [](DialogDriver& d) {
        EXPECT_TRUE(d.checked(15468));
        EXPECT_FALSE(d.enabled(15470));
        d.check(15467);
        EXPECT_TRUE(d.enabled(15470));
        EXPECT_TRUE(d.enabled(15464));
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(RunTargetMellelPrefsDlg(&mellel), 0);
    EXPECT_EQ(mellel.choice, 0);
    EXPECT_EQ(mellel.useBitmap, 0);
}

TEST_F(TargetPrefsDialogsTest, SettingsSurviveARestartExceptTheSessionTargets) {
    // Illustrator overridden to a bitmap copy, GoLive to MathML without MathSpeak, Flash to a
    // bitmap for this run.
    pt::onDialog(4154, [](DialogDriver& d) {
        d.check(14696);
        d.click(14697);
        d.click(14698);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(7684), 1);
    pt::onDialog(4153, [](DialogDriver& d) {
        EXPECT_TRUE(d.checked(14445));
        EXPECT_TRUE(d.checked(14446));
        d.check(14444);
        d.click(14446);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(7688), 1);
    pt::onDialog(4160, [](DialogDriver& d) {
        d.check(16233);
        d.click(16234);
        d.click(16235);
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(7690), 1);
    EXPECT_EQ(CopyTargetSettingsOf(kCopyForFlash).useBitmap, 1);

    restart();
    EXPECT_EQ(CopyTargetSettingsOf(kCopyForIllustrator).useBitmap, 1);
    EXPECT_EQ(CopyTargetSettingsOf(kCopyForIllustrator).epsOnly, 0);
    EXPECT_EQ(CopyTargetSettingsOf(kCopyForGoLive).webMethod, kWebMethodMathML);
    EXPECT_EQ(CopyTargetSettingsOf(kCopyForGoLive).webMathSpeak, 0);
    EXPECT_EQ(CopyTargetSettingsOf(kCopyForFlash).useBitmap, 0);
    EXPECT_EQ(CopyTargetSettingsOf(kCopyForFlash).epsOnly, 1);
    pt::onDialog(4160, [](DialogDriver& d) {
        EXPECT_TRUE(d.checked(16232));
        d.click(plat::IDCANCEL);
    });
    EXPECT_EQ(DoMenuCommand(7690), 1);
    // A method stored out of range opens as the PNG method; OK keeps what the radios show.
    SetGeneralPrefValue("Dw", 0, 9);
    pt::onDialog(4159, [](DialogDriver& d) {
        EXPECT_TRUE(d.checked(15981));
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(7689), 1);
    EXPECT_EQ(GeneralPrefValue("Dw", 0), 2);
    // "Open Office" and "Adobe Director" open nothing.
    EXPECT_EQ(DoMenuCommand(7681), 1);
    EXPECT_EQ(DoMenuCommand(7691), 1);
}

TEST_F(TargetPrefsDialogsTest, PictureTargetCopiesFollowTheStoredSettings) {
    typed("x+1");
    DoCommand(kCmdSelectAll, 0);
    struct Case {
        const char* name;
        int copyMenuId;
        const char* tag; // the record set first ("" none)
        std::vector<int32_t> values;
        bool ai3, bitmap, metafile;
    };
    const Case cases[] = {
        {"Illustrator by default: PostScript only", 775, "", {}, true, false, false},
        {"Illustrator with a bitmap", 775, "Il", {1, 1, 0, 0, 0}, false, true, false},
        {"InDesign by default: the metafiles", 772, "", {}, false, false, true},
        {"InDesign with AICB", 772, "Id", {1, 0, 1, 0, 72, 2400}, true, false, false},
        {"Flash by default: PostScript", 779, "", {}, true, false, false},
        {"Freehand by default: PostScript", 780, "", {}, true, false, false},
        {"Fireworks by default: PostScript", 781, "", {}, true, false, false},
    };
    std::string defaultEps;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (size_t i = 0; i < c.values.size(); ++i)
            SetGeneralPrefValue(c.tag, static_cast<int>(i), c.values[i]);
        ASSERT_EQ(DoMenuCommand(c.copyMenuId), 1);
        EXPECT_TRUE(offers("application/x-kv-Korvaline-Expression"));
        EXPECT_EQ(offers(kAi3Type), c.ai3);
        EXPECT_FALSE(offers("application/postscript"));
        EXPECT_EQ(offers("image/bmp"), c.bitmap);
        EXPECT_EQ(offers("image/emf"), c.metafile);
        EXPECT_EQ(offers("UTF8_STRING"), !c.ai3);
        if (c.ai3) {
            const std::string eps = offered(kAi3Type);
            EXPECT_EQ(eps.rfind("%!PS-Adobe", 0), 0u);
            // The copy carries the expression.
            EXPECT_TRUE(FindEmbeddedEncoding(eps.data(), eps.size()));
            if (defaultEps.empty()) {
                defaultEps = eps;
            } else if (c.copyMenuId == 772) {
                EXPECT_NE(eps, defaultEps) << "drawn at InDesign's 2400 dots per inch";
            }
        }
    }
}

TEST_F(TargetPrefsDialogsTest, WebMethodsCopyWellFormedTagsThatPasteBack) {
    ExprFilePane* pane = typed("x+1");
    pane->setFilePath(m_dir / "eq.pvx");
    const std::string tree = ExprEncodingText(pane->expression());
    const std::string spoken = MathSpeakReading(pane->expression());
    ASSERT_FALSE(spoken.empty());
    struct Case {
        int32_t method;
        uint8_t mathSpeak;
        const char* starts;
    };
    const Case cases[] = {
        {0, 1, "<object classid="},
        {0, 0, "<object classid="},
        {1, 1, "<math "},
        {1, 0, "<math "},
        {2, 1, "<img src=\"eq_1.png\""},
        {2, 0, "<img src=\"eq_2.png\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.method << "/" << int(c.mathSpeak));
        for (const char* tag : {"Gl", "Dw", "Bb", "Wc"}) {
            SetGeneralPrefValue(tag, 0, c.method);
            SetGeneralPrefValue(tag, 1, c.mathSpeak);
        }
        DoCommand(kCmdSelectAll, 0);
        ASSERT_EQ(DoMenuCommand(774), 1); // Copy Special > GoLive
        const std::string text = offered("UTF8_STRING");
        EXPECT_EQ(text.rfind(c.starts, 0), 0u) << text;
        EXPECT_EQ(text.find(spoken) != std::string::npos, c.mathSpeak != 0) << text;
        EXPECT_EQ(offers("image/bmp"), c.method == 2);
        // The setup script installs xmllint (libxml2-utils): without it the check fails.
        EXPECT_EQ(xmllint(c.method == 1 ? mathDocument(text) : xhtmlPage(text)), 0);
        if (c.method == 2) {
            // The picture lies next to the document, and opens as a PNG of the tag's size.
            const std::string png = ReadFileBytes(m_dir / (c.mathSpeak ? "eq_1.png" : "eq_2.png"));
            EXPECT_EQ(png.substr(0, 4), "\x89PNG");
        }
        // The text alone pastes back as the same tree.
        ExprFilePane* target = typed("");
        plat::backend().setForeignClipboard(
            {plat::ClipboardItem{"UTF8_STRING", std::vector<uint8_t>(text.begin(), text.end())}});
        DoCommand(kCmdPaste, 0);
        EXPECT_EQ(ExprEncodingText(target->expression()), tree);
        delete target->window();
        pt::runUntilIdle();
        pane->takeFocus();
        pt::runUntilIdle();
    }
}

} // namespace
} // namespace kvtest
