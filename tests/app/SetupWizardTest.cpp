// The setup wizard pages and the first-run question on the headless back end: a page checks the
// caller's choice, "Next" stores the checked index (-1 for none), "Annuler" and Escape leave it
// alone; the question ends only through its three buttons.
#include "Dialogs/SetupWizard.h"

#include "Dialogs/DialogFrame.h"
#include "OverPc/shell/CQVApp.h"
#include "app/DialogTestFixture.h"
#include "plat/Dialog.h"
#include "plat/Resources.h"
#include "plat/Testing.h"
#include "plat/Window.h"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

namespace pt = plat::testing;
using pt::DialogDriver;

class SetupWizardTest : public kvtest::DialogTestFixture {};

struct ChoicePage {
    int id;
    int first;
    int count;
    int32_t (*run)(WizardChoice*);
};

// The pages with choices and the size of their radio groups.
const ChoicePage kChoicePages[] = {
    {4215, 30318, 22, &RunSetupStep1Dlg},
    {4217, 30829, 5, &RunSetupPrinterTypeDlg},
    {4218, 31089, 4, &RunSetupFontStrategyDlg},
    {4219, 31341, 2, &RunSetupImageQualityDlg},
    {4220, 31596, 4, &RunSetupVerticalAlignmentDlg},
    {4221, 31849, 2, &RunSetupCopyCommandDlg},
};

TEST_F(SetupWizardTest, PagesCheckTheChoiceAndNextStoresTheNewlyCheckedIndex) {
    for (const ChoicePage& p : kChoicePages) {
        const SetupWizardChoices group = SetupWizardPageChoices(p.id);
        EXPECT_EQ(group.first, p.first);
        EXPECT_EQ(group.last, p.first + p.count - 1);
        // The first, a middle and the last button, each moved to a different one.
        for (const int shown : {0, p.count / 2, p.count - 1}) {
            SCOPED_TRACE(std::to_string(p.id) + " shows " + std::to_string(shown));
            const int picked = (shown + 1) % p.count;
            WizardChoice choice = shown;
            pt::onDialog(p.id, [&](DialogDriver& d) {
                for (int k = 0; k < p.count; ++k)
                    EXPECT_EQ(d.checked(p.first + k), k == shown) << "button " << k;
                d.check(p.first + picked);
                // Only one button of the group stays checked.
                EXPECT_FALSE(d.checked(p.first + shown));
                d.click(plat::IDOK);
            });
            EXPECT_EQ(p.run(&choice), 1);
            EXPECT_EQ(choice, picked);
        }
    }
}

TEST_F(SetupWizardTest, AChoiceOutsideTheGroupChecksNothingAndNextStoresMinusOne) {
    for (const ChoicePage& p : kChoicePages) {
        for (const int outside : {-1, p.count, 1000}) {
            SCOPED_TRACE(std::to_string(p.id) + " with " + std::to_string(outside));
            WizardChoice choice = outside;
            pt::onDialog(p.id, [&](DialogDriver& d) {
                for (int k = 0; k < p.count; ++k)
                    EXPECT_FALSE(d.checked(p.first + k)) << "button " << k;
                // The control after the group is never checked in its place.
                EXPECT_FALSE(d.exists(p.first + p.count) && d.checked(p.first + p.count));
                d.enter();
            });
            EXPECT_EQ(p.run(&choice), 1);
            EXPECT_EQ(choice, -1);
        }
    }
}

TEST_F(SetupWizardTest, AnnulerAndEscapeLeaveTheChoiceAsItWas) {
    for (const ChoicePage& p : kChoicePages) {
        for (const bool escape : {false, true}) {
            SCOPED_TRACE(std::to_string(p.id) + (escape ? " escape" : " annuler"));
            WizardChoice choice = 1;
            pt::onDialog(p.id, [&](DialogDriver& d) {
                d.check(p.first);
                if (escape)
                    d.escape();
                else
                    d.click(plat::IDCANCEL);
                EXPECT_TRUE(d.ended());
            });
            EXPECT_EQ(p.run(&choice), 0);
            EXPECT_EQ(choice, 1);
        }
    }
}

TEST_F(SetupWizardTest, APageWithoutAChoiceRecordStillRuns) {
    for (const ChoicePage& p : kChoicePages) {
        SCOPED_TRACE(p.id);
        pt::onDialog(p.id, [&](DialogDriver& d) {
            for (int k = 0; k < p.count; ++k)
                EXPECT_FALSE(d.checked(p.first + k));
            d.check(p.first);
            d.click(plat::IDOK);
        });
        EXPECT_EQ(p.run(nullptr), 1);
    }
}

TEST_F(SetupWizardTest, PagesWithoutChoicesCloseWithNextOrDoneAndAnnuler) {
    struct Page {
        int id;
        const char* first;
        int32_t (*run)(void*);
    };
    for (const Page& p :
         {Page{4216, "Next", &RunSetupStep2Dlg}, Page{4222, "Done", &RunSetupFinishedDlg}}) {
        for (const int button : {plat::IDOK, plat::IDCANCEL}) {
            SCOPED_TRACE(std::to_string(p.id) + " button " + std::to_string(button));
            // The pages never read their argument: a marker must come back untouched.
            int32_t marker = 77;
            pt::onDialog(p.id, [&](DialogDriver& d) {
                EXPECT_EQ(d.text(plat::IDOK), p.first);
                EXPECT_EQ(d.text(plat::IDCANCEL), "Annuler");
                d.click(button);
            });
            EXPECT_EQ(p.run(&marker), button == plat::IDOK ? 1 : 0);
            EXPECT_EQ(marker, 77);
        }
    }
}

TEST_F(SetupWizardTest, TheQuestionEndsOnlyThroughItsThreeButtons) {
    const struct {
        int button;
        const char* text;
        int32_t result;
    } kAnswers[] = {
        {35948, "Brand New User", 1},
        {35949, "Just Use Fresh Preferences, Please", 1},
        {35950, "Import My Old Palette/Preferences", 2},
    };
    for (const auto& a : kAnswers) {
        SCOPED_TRACE(a.text);
        pt::onDialog(kPreviousUseDialogId, [&](DialogDriver& d) {
            EXPECT_FALSE(d.exists(plat::IDOK));
            EXPECT_FALSE(d.exists(plat::IDCANCEL));
            d.escape();
            EXPECT_FALSE(d.ended()) << "Escape closed the question";
            d.close();
            EXPECT_FALSE(d.ended()) << "the close box closed the question";
            plat::SendMessage(d.hwnd(), plat::WM_COMMAND, plat::IDOK, 0);
            EXPECT_FALSE(d.ended()) << "a command of OK closed the question";
            EXPECT_EQ(d.text(a.button), a.text);
            d.click(a.button);
            EXPECT_TRUE(d.ended());
        });
        EXPECT_EQ(RunPreviousUseDlg(nullptr), a.result);
    }
}

TEST_F(SetupWizardTest, TemplatesHaveTheirCaptionsWidthsAndNoSystemMenu) {
    const struct {
        int id;
        const char* caption;
    } kTemplates[] = {
        {4215, "Korvaline Setup - Step 1"},
        {4216, "Korvaline Setup - Step 2"},
        {4217, "Korvaline Setup - Type of Printer"},
        {4218, "Korvaline Setup - Font Strategy"},
        {4219, "Korvaline Setup - Quality of Image"},
        {4220, "Korvaline Setup - Vertical Alignment"},
        {4221, "Korvaline Setup - Command-C"},
        {4222, "Korvaline Setup - Finished"},
        {4237, "Previous Use of Dravenholtzer/Korvaline?"},
    };
    for (const auto& t : kTemplates) {
        SCOPED_TRACE(t.id);
        const plat::ResDialog* dlg = plat::FindDialogTemplate(nullptr, plat::MAKEINTRESOURCE(t.id));
        ASSERT_NE(dlg, nullptr);
        EXPECT_STREQ(dlg->caption, t.caption);
        EXPECT_EQ(dlg->style & plat::WS_SYSMENU, 0u);
        EXPECT_NE(dlg->style & plat::DS_MODALFRAME, 0u);
        if (t.id == kPreviousUseDialogId) {
            EXPECT_EQ(dlg->cx, 244);
        } else {
            // The banner, 582 pixels at two pixels per dialog unit, spans the page.
            EXPECT_TRUE(dlg->cx == 290 || dlg->cx == 291) << dlg->cx;
        }
        // Every button of a page's group is an automatic radio button of the template.
        const SetupWizardChoices group = SetupWizardPageChoices(t.id);
        for (int id = group.first; group.first != 0 && id <= group.last; ++id) {
            bool found = false;
            for (unsigned i = 0; i < dlg->count; ++i) {
                const plat::ResDialogControl& c = dlg->controls[i];
                if (c.id == static_cast<unsigned>(id)) {
                    found = true;
                    EXPECT_EQ(c.style & 0xF, static_cast<unsigned>(plat::BS_AUTORADIOBUTTON));
                }
            }
            EXPECT_TRUE(found) << "radio " << id;
        }
    }
}

uint32_t le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

TEST_F(SetupWizardTest, TheBannerIsAColourBitmapWithoutWhiteAtItsCorner) {
    const plat::HRSRC res =
        plat::FindResource(nullptr, plat::MAKEINTRESOURCE(kSetupBannerBitmapId), plat::RT_BITMAP);
    ASSERT_NE(res, nullptr);
    const auto* d =
        static_cast<const uint8_t*>(plat::LockResource(plat::LoadResource(nullptr, res)));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(le32(d + 4), 582u);
    EXPECT_EQ(le32(d + 8), 64u);
    EXPECT_EQ(d[14], 24);
    // Pure white is taken as transparent when a dialog paints the banner: a white ground would
    // leave the banner's background unpainted.
    const uint8_t* pixel = d + 40;
    EXPECT_FALSE(pixel[0] == 255 && pixel[1] == 255 && pixel[2] == 255);
}

} // namespace
