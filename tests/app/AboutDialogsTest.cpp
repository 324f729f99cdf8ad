// The About box, the acknowledgements and the start-up splash on the headless back end, with the
// program's own resources.
#include "Dialogs/AboutDialogs.h"

#include "App/AppHooks.h"
#include "App/CQVAppStartup.h"
#include "App/MenuDispatch.h"
#include "App/SingleInstance.h"
#include "BuiltinResources.h"
#include "Dialogs/Splash.h"
#include "OverPc/PPRINT.h"
#include "OverPc/Presourc.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "app/DialogTestFixture.h"
#include "plat/CommonDialogs.h"
#include "plat/Dialog.h"
#include "plat/Input.h"
#include "plat/Resources.h"
#include "plat/System.h"
#include "plat/Testing.h"
#include "plat/Window.h"
#include "platform/SysTempDir.h"

#include <gtest/gtest.h>
#include <string>

const plat::ResourceTables& DlgFrameTestResourceTables();

namespace {

namespace pt = plat::testing;
using pt::DialogDriver;

// The pictures' top band is this navy (0x00RRGGBB as the back end shows pixels).
constexpr std::uint32_t kNavy = 0x1F3A68;

class AboutTest : public ::testing::Test {
protected:
    void SetUp() override {
        kvtest::StartDialogTest();
        CQVApp::instance().m_NoSplash = false;
    }
    void TearDown() override {
        CloseSplash();
        CQVApp::instance().m_NoSplash = false;
        kvtest::EndDialogTest();
    }
    static std::string windowText(plat::HWND hwnd) {
        char text[256] = "";
        plat::GetWindowText(hwnd, text, sizeof text);
        return text;
    }
};

TEST_F(AboutTest, OkEndsTheCommandWithoutTheCredits) {
    std::string version, caption;
    bool pictureShown = false;
    pt::onDialog(kAboutDialogId, [&](DialogDriver& d) {
        version = d.text(kAboutVersionItem);
        caption = windowText(d.hwnd());
        const pt::Image image = pt::pixels(d.hwnd());
        if (image.width > 20 && image.height > 40) {
            // The picture's top band is navy over the dialog's background; its white parts are
            // transparent and show the background.
            const std::uint32_t band = image.at(20, 3), background = image.at(5, 40);
            pictureShown = band != background && (band & 0xFF) > ((band >> 16) & 0xFF);
        }
        d.click(plat::IDOK);
    });
    // 1 from the About box, less 2.
    EXPECT_EQ(ShowAboutBox(), -1);
    EXPECT_EQ(version, LoadResString(kVersionStringId));
    EXPECT_NE(version, "version");
    EXPECT_EQ(caption, "\xC0 propos de Korvaline");
    EXPECT_TRUE(pictureShown);
    EXPECT_EQ(CurrentDialog, nullptr);
}

TEST_F(AboutTest, EscapeLeavesBothDialogsOpenAndEnterIsOk) {
    bool aboutOpenAfterEscape = false, creditsOpenAfterEscape = false;
    pt::onDialog(kAboutDialogId, [&](DialogDriver& d) {
        d.escape();
        aboutOpenAfterEscape = !d.ended();
        d.enter();
    });
    EXPECT_EQ(ShowAboutBox(), -1);
    EXPECT_TRUE(aboutOpenAfterEscape);

    pt::onDialog(kCreditsDialogId, [&](DialogDriver& d) {
        d.escape();
        creditsOpenAfterEscape = !d.ended();
        d.enter();
    });
    uint8_t argument = 0;
    EXPECT_EQ(RunCreditsDlg(&argument), 1);
    EXPECT_TRUE(creditsOpenAfterEscape);
}

TEST_F(AboutTest, CreditsOpenOnceAfterTheAboutBoxHasClosed) {
    int aboutRuns = 0, creditsRuns = 0;
    bool aboutGoneWhenCreditsOpen = false;
    std::string creditsCaption;
    pt::onDialog(kAboutDialogId, [&](DialogDriver& d) {
        ++aboutRuns;
        d.click(kAboutCreditsButton);
    });
    pt::onDialog(kCreditsDialogId, [&](DialogDriver& d) {
        ++creditsRuns;
        aboutGoneWhenCreditsOpen = pt::findWindow("\xC0 propos de Korvaline") == nullptr;
        creditsCaption = windowText(d.hwnd());
        EXPECT_TRUE(d.exists(kCreditsTextItem));
        d.click(plat::IDOK);
    });
    EXPECT_EQ(ShowAboutBox(), 1);
    EXPECT_EQ(aboutRuns, 1);
    EXPECT_EQ(creditsRuns, 1);
    EXPECT_TRUE(aboutGoneWhenCreditsOpen);
    EXPECT_EQ(creditsCaption, "Remerciements");
}

TEST_F(AboutTest, TheAboutBoxReopensWhereItWasLeft) {
    plat::RECT first{}, second{};
    pt::onDialog(kAboutDialogId, [&](DialogDriver& d) {
        plat::GetWindowRect(d.hwnd(), &first);
        plat::SetWindowPos(d.hwnd(), nullptr, first.left + 37, first.top + 21, 0, 0,
                           plat::SWP_NOSIZE | plat::SWP_NOZORDER);
        d.click(plat::IDOK);
    });
    ShowAboutBox();
    pt::onDialog(kAboutDialogId, [&](DialogDriver& d) {
        plat::GetWindowRect(d.hwnd(), &second);
        d.click(plat::IDOK);
    });
    ShowAboutBox();
    EXPECT_EQ(second.left, first.left + 37);
    EXPECT_EQ(second.top, first.top + 21);
}

// --- The splash -----------------------------------------------------------------------------

TEST_F(AboutTest, NosplashShowsNothing) {
    CQVApp::instance().m_NoSplash = true;
    ShowSplash();
    EXPECT_FALSE(SplashWanted());
    EXPECT_EQ(SplashWindow(), nullptr);
    RunSplashUntilDismissed(); // returns at once: nothing would ever dismiss a splash
    EXPECT_EQ(CurrentDialog, nullptr);
}

TEST_F(AboutTest, AMissingSplashResourceShowsNothing) {
    plat::RegisterBuiltinResources(DlgFrameTestResourceTables());
    ShowSplash();
    EXPECT_FALSE(SplashWanted());
    EXPECT_EQ(SplashWindow(), nullptr);
}

TEST_F(AboutTest, TheSplashIsABareTopmostPictureInAFrame) {
    ShowSplash();
    const plat::HWND splash = SplashWindow();
    ASSERT_NE(splash, nullptr);
    EXPECT_EQ(CurrentDialog, splash);
    EXPECT_TRUE(plat::IsWindowVisible(splash));
    const auto style = static_cast<plat::DWORD>(plat::GetWindowLongPtr(splash, plat::GWL_STYLE));
    EXPECT_EQ(style & (plat::WS_CAPTION | plat::DS_MODALFRAME), 0u);
    EXPECT_NE(style & plat::WS_POPUP, 0u);
    EXPECT_NE(plat::GetWindowLongPtr(splash, plat::GWL_EXSTYLE) & plat::WS_EX_TOPMOST, 0);

    // The text sits one pixel right of and below its place in the template.
    plat::RECT place{36, 130, 36 + 164, 130 + 32};
    plat::MapDialogRect(splash, &place);
    plat::RECT r{};
    plat::GetWindowRect(plat::GetDlgItem(splash, kSplashTextItem), &r);
    plat::POINT at{r.left, r.top};
    plat::ScreenToClient(splash, &at);
    EXPECT_EQ(at.x, place.left + 1);
    EXPECT_EQ(at.y, place.top + 1);

    pt::runUntilIdle();
    const pt::Image image = pt::pixels(splash);
    ASSERT_GT(image.width, 30);
    // A black one-pixel frame on the client edges, the picture inside it.
    EXPECT_EQ(image.at(0, 0), 0u);
    EXPECT_EQ(image.at(image.width - 1, image.height - 1), 0u);
    EXPECT_EQ(image.at(image.width / 2, 0), 0u);
    EXPECT_EQ(image.at(30, 4), kNavy);
    EXPECT_EQ(SplashDismissState(), kSplashShowing);
}

TEST_F(AboutTest, TheSplashGoesOnAKeyAClickOrItsTimer) {
    enum class How { Key, Click, RightClick, Timer };
    for (How how : {How::Key, How::Click, How::RightClick, How::Timer}) {
        SCOPED_TRACE(static_cast<int>(how));
        ShowSplash();
        const plat::HWND splash = SplashWindow();
        ASSERT_NE(splash, nullptr);
        pt::runUntilIdle();
        switch (how) {
        case How::Key:
            pt::key(plat::VK_SPACE);
            break;
        case How::Click:
            pt::click(splash, 40, 40);
            break;
        case How::RightClick:
            pt::click(splash, 40, 40, pt::kRight);
            break;
        case How::Timer:
            // Not a moment before its six seconds.
            pt::advanceClock(kSplashMilliseconds - 1);
            pt::runUntilIdle();
            EXPECT_EQ(SplashDismissState(), kSplashShowing);
            pt::advanceClock(1);
            pt::runUntilIdle();
            EXPECT_EQ(SplashDismissState(), kSplashByTimer);
            break;
        }
        RunSplashUntilDismissed();
        EXPECT_FALSE(plat::IsWindow(splash));
        EXPECT_EQ(SplashWindow(), nullptr);
        EXPECT_FALSE(SplashWanted());
        EXPECT_EQ(CurrentDialog, nullptr);
        EXPECT_EQ(SplashDismissState(), kSplashShowing);
    }
}

TEST_F(AboutTest, TheSplashAlwaysOpensCentred) {
    ShowSplash();
    plat::RECT first{};
    plat::GetWindowRect(SplashWindow(), &first);
    plat::SetWindowPos(SplashWindow(), nullptr, 3, 4, 0, 0, plat::SWP_NOSIZE | plat::SWP_NOZORDER);
    pt::key(plat::VK_SPACE);
    RunSplashUntilDismissed();
    ShowSplash();
    plat::RECT second{};
    plat::GetWindowRect(SplashWindow(), &second);
    EXPECT_EQ(second.left, first.left);
    EXPECT_EQ(second.top, first.top);
}

// --- Through the program's start-up -----------------------------------------------------------

class AboutStartupTest : public AboutTest {
protected:
    void SetUp() override {
        AboutTest::SetUp();
        AppHooks() = ShellHooks{};
        SetSingleInstanceSocket(m_dir / "KorvalineFileOpen");
    }
    void TearDown() override {
        CQVAppShutdown();
        AppHooks() = ShellHooks{};
        SetSingleInstanceSocket("");
        AboutTest::TearDown();
    }
    kvtest::SysTempDir m_dir;
    kvtest::ScopedEnv m_registry{"KV_REGISTRY_DIR", m_dir / "config"};
    kvtest::ScopedEnv m_data{"XDG_DATA_HOME", m_dir / "data"};
};

TEST_F(AboutStartupTest, TheSplashWaitsForStartUpAndAKey) {
    // The key is read once start-up has its preparations done and waits on the splash.
    pt::key(plat::VK_SPACE);
    ASSERT_TRUE(CQVAppStartup({}).runLoop);
    EXPECT_FALSE(pt::journalLines("WM_INITDIALOG").empty());
    EXPECT_EQ(SplashWindow(), nullptr);
    EXPECT_FALSE(SplashWanted());
    EXPECT_EQ(CurrentDialog, nullptr);
}

TEST_F(AboutStartupTest, LeftAloneTheSplashSleepsUntilItsTimer) {
    // The program's own timers fall due while the splash shows; its loop takes none of them and
    // must not wake for them (it would spin, keeping a processor busy, for the six seconds).
    const plat::DWORD start = plat::GetTickCount();
    ASSERT_TRUE(CQVAppStartup({}).runLoop);
    EXPECT_GE(plat::GetTickCount() - start, static_cast<plat::DWORD>(kSplashMilliseconds));
    EXPECT_EQ(SplashWindow(), nullptr);
    EXPECT_FALSE(SplashWanted());
    plat::MSG m;
    EXPECT_FALSE(plat::PeekMessage(&m, nullptr, plat::WM_QUIT, plat::WM_QUIT, plat::PM_NOREMOVE))
        << "the start-up asked to end";
}

TEST_F(AboutStartupTest, TheAboutItemRunsTheAboutBox) {
    ASSERT_TRUE(CQVAppStartup({"-nosplash"}).runLoop);
    EXPECT_TRUE(pt::journalLines("WM_INITDIALOG").empty()); // no splash
    int runs = 0;
    pt::onDialog(kAboutDialogId, [&](DialogDriver& d) {
        ++runs;
        d.click(plat::IDOK);
    });
    EXPECT_EQ(DoMenuCommand(8714), 1);
    EXPECT_EQ(runs, 1);
}

TEST_F(AboutStartupTest, ASettingsChangeReleasesThePrinterChoice) {
    // No print server: the default printer is the PDF printer.
    kvtest::ScopedEnv lpstat("KV_LPSTAT", std::string("/nonexistent/lpstat"));
    ASSERT_TRUE(CQVAppStartup({"-nosplash"}).runLoop);
    ASSERT_TRUE(RunPrintDialog(plat::PD_RETURNDEFAULT));
    ASSERT_NE(GetPrinterDC(), nullptr);
    ASSERT_NE(PrintSetupRecord().hDevNames, nullptr);
    plat::SendMessage(CQVApp::instance().m_MainFrame, plat::WM_WININICHANGE, 0, 0);
    EXPECT_EQ(PrintSetupRecord().hDevNames, nullptr);
    EXPECT_EQ(PrintSetupRecord().hDevMode, nullptr);
    EXPECT_EQ(PrintSetupRecord().hDC, nullptr);
}

} // namespace
