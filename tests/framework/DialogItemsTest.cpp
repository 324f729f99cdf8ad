#include "OverPc/shell/DialogItems.h"

#include "ErrorFixture.h"
#include "OverPc/shell/CQVApp.h"
#include "plat/Dialog.h"
#include "plat/Testing.h"
#include "plat/Window.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using kvtest::ErrorFixture;

plat::HWND makeWindow(const char* title) {
    plat::WNDCLASS wc;
    wc.lpfnWndProc = &plat::DefWindowProc;
    wc.lpszClassName = "KvShellTestWindow";
    plat::RegisterClass(&wc); // refused when already registered: fine
    return plat::CreateWindowEx(0, "KvShellTestWindow", title, plat::WS_POPUP, 0, 0, 100, 100,
                                nullptr, nullptr, nullptr, nullptr);
}

class DialogItemsTest : public ErrorFixture {
protected:
    void TearDown() override {
        for (plat::HWND w : {a, b, frame})
            UnregisterWidgetWindow(w);
        CQVApp::instance().m_MainFrame = nullptr;
        ErrorFixture::TearDown();
    }
    plat::HWND a = nullptr, b = nullptr, frame = nullptr;
};

TEST_F(DialogItemsTest, OwnerIsTheFrameElseTheLiveDialogElseTheActiveWindow) {
    a = makeWindow("a");
    frame = makeWindow("frame");
    ASSERT_NE(a, nullptr);
    plat::SetActiveWindow(a);
    EXPECT_EQ(GetModalOwnerWindow(false), plat::GetActiveWindow());
    EXPECT_EQ(GetModalOwnerWindow(true), nullptr);
    CurrentDialog = kSystemDialogRunning; // not a window
    EXPECT_EQ(GetModalOwnerWindow(true), nullptr);
    CurrentDialog = a;
    EXPECT_EQ(GetModalOwnerWindow(true), a);
    CQVApp::instance().m_MainFrame = frame;
    EXPECT_EQ(GetModalOwnerWindow(true), frame);
    plat::DestroyWindow(frame); // a dead frame is passed over
    EXPECT_EQ(GetModalOwnerWindow(true), a);
}

TEST_F(DialogItemsTest, EnablingRestoresExactlyWhatWasDisabled) {
    a = makeWindow("a");
    b = makeWindow("b");
    frame = makeWindow("frame");
    RegisterWidgetWindow(a);
    RegisterWidgetWindow(b);
    CQVApp::instance().m_MainFrame = frame;
    plat::EnableWindow(b, plat::FALSE); // a greyed tool window

    EnableWidgetWindows(a, false);
    EXPECT_TRUE(plat::IsWindowEnabled(a)); // the one left alone
    EXPECT_FALSE(plat::IsWindowEnabled(frame));
    // A nested run (a box over a dialog) disables nothing more and unwinds in order.
    EnableWidgetWindows(nullptr, false);
    EXPECT_FALSE(plat::IsWindowEnabled(a));
    EnableWidgetWindows(nullptr, true);
    EXPECT_TRUE(plat::IsWindowEnabled(a));
    EXPECT_FALSE(plat::IsWindowEnabled(frame));
    EnableWidgetWindows(a, true);
    EXPECT_TRUE(plat::IsWindowEnabled(frame));
    EXPECT_FALSE(plat::IsWindowEnabled(b)); // stays as it was before the run

    // An alert over the frame leaves the frame enabled as its owner and the rest disabled.
    bool othersDisabled = false;
    plat::testing::onMessageBox([&](const plat::testing::MessageBoxCall& box) {
        othersDisabled = box.owner == frame && !plat::IsWindowEnabled(a);
        return plat::IDOK;
    });
    ErrorAlert(errFileNotFound);
    EXPECT_TRUE(othersDisabled);
    EXPECT_TRUE(plat::IsWindowEnabled(a));
}

TEST_F(DialogItemsTest, CommonDialogErrorsMapToTheirAlerts) {
    struct Case {
        unsigned code;
        int error; // 0: no box
    };
    const Case cases[] = {
        {1, errUnplanned},
        {8, errUnplanned},
        {11, errUnplanned},
        {9, errNoMemory},
        {10, errNoMemory},
        {0x1001, errPrinterCheck},
        {0x1007, errPrinterCheck},
        {0x1009, errPrinterCheck},
        {0x1008, errNoDefaultPrinter},
        {0x100A, errUnplanned},
        {0x100B, errPrinterNotFound},
        {0x2001, errFontsLoad},
        {0x3001, errUnplanned},
        {0x3003, errUnplanned},
        {0xFFFF, errUnplanned},
        {12, 0},
        {0x100C, 0},
        {0x2002, 0},
        {0x3004, 0},
        {0x4001, 0},
    };
    EXPECT_EQ(ReportCommonDialogError(0), 0);
    EXPECT_TRUE(plat::testing::messageBoxes().empty());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        plat::testing::reset();
        if (c.error != 0)
            answerNextBox(plat::IDOK);
        EXPECT_EQ(ReportCommonDialogError(c.code), 1);
        if (c.error == 0) {
            EXPECT_TRUE(plat::testing::messageBoxes().empty());
            continue;
        }
        ASSERT_EQ(plat::testing::messageBoxes().size(), 1u);
        EXPECT_EQ(plat::testing::messageBoxes()[0].text, std::string(BuildErrorText(c.error)));
    }
}

} // namespace
