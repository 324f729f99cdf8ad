// The shell around the document windows, in the running program on the headless back end: the
// caret blink, the mouse wheel, window titles in the Windows menu, quitting after the last
// document window and the busy cursor.

#include "App/MenuDispatch.h"
#include "App/MessageLoop.h"
#include "AppDocumentFixture.h"
#include "ExprSrcs/EPane.h"
#include "OverPc/PUTIL.h"
#include "OverPc/Portdc.h"
#include "OverPc/Presourc.h"
#include "OverPc/documents/ClipboardCommands.h"
#include "OverPc/shell/PMENU.h"
#include "OverPc/shell/Pwindow.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/oStreams.h"
#include "OverSrcs/oUtil.h"
#include "plat/Menu.h"
#include "plat/Messages.h"
#include "plat/Window.h"
#include "platform/SysTempDir.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace kvtest {
namespace {

class ShellFaultsTest : public AppDocumentFixture {
protected:
    static plat::HWND windowOf(ExprPane* pane) {
        return HandleOfWindow(pane->window()->windowHandle());
    }
    static std::string windowsMenuText(int id) {
        char text[256] = {};
        plat::GetMenuString(MenuOfNumber(33), static_cast<plat::UINT>(id), text, sizeof text,
                            plat::MF_BYCOMMAND);
        return text;
    }
    static size_t quitCount() { return plat::testing::journalLines("WM_QUIT").size(); }
};

TEST_F(ShellFaultsTest, TheHighlightBlinksAtTheCaretIntervalNotOnEveryIdlePass) {
    ExprFilePane* pane = typed("ab");
    ASSERT_EQ(FrontWindow(), pane->window());
    IdleWork();
    const uint8_t shown = HighlightOn;
    // Mouse moves and ticks empty the queue many times within one blink interval.
    for (int i = 0; i < 6; ++i) {
        plat::testing::advanceClock(50);
        IdleWork();
        EXPECT_EQ(HighlightOn, shown) << "pass " << i;
    }
    plat::testing::advanceClock(CaretBlinkTime());
    IdleWork();
    EXPECT_NE(HighlightOn, shown);
}

TEST_F(ShellFaultsTest, TheWheelScrollsTheFrontPaneThreeLinesANotch) {
    ExprFilePane* pane = typed("");
    DoCommand(kCmdMatrixBase | 0x81, 0); // eight rows, one column
    plat::HWND hwnd = windowOf(pane);
    plat::MoveWindow(hwnd, 0, 0, 300, 90, plat::TRUE);
    plat::testing::runUntilIdle();
    ASSERT_EQ(pane->bounds().top, 0);
    const int32_t line = std::max<int32_t>(1, pane->resolution());
    auto wheel = [&](int notches) {
        plat::SendMessage(hwnd, plat::WM_MOUSEWHEEL,
                          plat::MAKEWPARAM(0, static_cast<plat::WORD>(static_cast<int16_t>(
                                                  notches * plat::WHEEL_DELTA))),
                          0);
    };
    wheel(-1);
    EXPECT_EQ(pane->bounds().top, 3 * line);
    wheel(1);
    EXPECT_EQ(pane->bounds().top, 0);
}

TEST_F(ShellFaultsTest, ARetitledWindowKeepsItsWindowsMenuEntryInStep) {
    ExprFilePane* pane = typed("x");
    const int item = pane->windowMenuItem();
    ASSERT_NE(item, 0);
    pane->window()->setTitle("Renamed & kept");
    EXPECT_EQ(windowsMenuText(item), "Renamed && kept");
}

TEST_F(ShellFaultsTest, TheLastDocumentWindowToGoEndsTheProgramOnceUnlessEmbedded) {
    NewUntitledDocument();
    NewUntitledDocument();
    plat::testing::runUntilIdle();
    plat::testing::clearJournal();
    delete OpenDocumentList->window();
    EXPECT_EQ(quitCount(), 0u);
    delete OpenDocumentList->window();
    EXPECT_EQ(quitCount(), 1u);
    EXPECT_NE(plat::testing::journalLines("WM_QUIT")[0].find("2"), std::string::npos);

    // Serving an embedding container, the program stays when its windows close.
    plat::MSG quit{};
    while (plat::PeekMessage(&quit, nullptr, plat::WM_QUIT, plat::WM_QUIT, plat::PM_REMOVE)) {
    }
    plat::testing::clearJournal();
    CQVApp::instance().m_Embedded = true;
    NewUntitledDocument();
    delete OpenDocumentList->window();
    CQVApp::instance().m_Embedded = false;
    EXPECT_EQ(quitCount(), 0u);
}

TEST_F(ShellFaultsTest, LongWorkAfterInputShowsTheBusyCursorUntilTheNextIdlePass) {
    typed("x");
    constexpr int kWait = 32514;
    plat::MSG press{};
    press.message = plat::WM_LBUTTONDOWN;
    NoteInputMessage(press);
    CheckUserAbort();
    EXPECT_NE(plat::testing::currentCursorId(), kWait); // not at once
    plat::testing::advanceClock(kUserAbortBusyMs + 50);
    CheckUserAbort();
    EXPECT_EQ(plat::testing::currentCursorId(), kWait);
    IdleWork();
    EXPECT_NE(plat::testing::currentCursorId(), kWait);
    // Work that was not started by input keeps the cursor it has.
    ResetUserAbortCounter();
    CheckUserAbort();
    plat::testing::advanceClock(kUserAbortBusyMs + 50);
    CheckUserAbort();
    EXPECT_NE(plat::testing::currentCursorId(), kWait);
}

TEST_F(ShellFaultsTest, ShortMemorySavesAndClosesEverythingInsteadOfTheIdleStep) {
    typed("x");
    typed("y");
    ASSERT_EQ(OpenDocumentCount(), 2);
    std::vector<std::string> shown;
    // The alert, then each changed document asks whether to save it (here: no).
    for (int answer : {1, 7, 7})
        plat::testing::onMessageBox([&shown, answer](const plat::testing::MessageBoxCall& box) {
            shown.push_back(box.text);
            return answer;
        });
    // The system says it has almost nothing left to give.
    kvtest::SysTempDir dir;
    const std::string meminfo = dir / "meminfo";
    std::ofstream(meminfo) << "MemTotal: 16384000 kB\nMemFree: 1 kB\nMemAvailable: 2 kB\n";
    const char* const saved = MemoryInfoPath;
    MemoryInfoPath = meminfo.c_str();
    IdleWork();
    MemoryInfoPath = saved;
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_NE(shown[0].find(LoadResString(errMemoryShort)), std::string::npos);
    EXPECT_EQ(OpenDocumentCount(), 0);
    takeBackQuit();
}

// A character from the input method is stored lead byte first, and the document records it as
// the machine reads that byte pair: lead byte low, trail byte high.
TEST_F(ShellFaultsTest, ATypedDoubleByteCharacterIsWrittenAsItsCodeInTheDoubleByteRecord) {
    ExprFilePane* pane = typed("");
    CQVApp::instance().m_DoubleByte = true;
    plat::SendMessage(windowOf(pane), plat::WM_IME_CHAR, 0x82A0, 0);
    plat::SendMessage(windowOf(pane), plat::WM_IME_CHAR, 0x88A1, 0);
    plat::testing::runUntilIdle();
    CQVApp::instance().m_DoubleByte = false;
    const std::string text = ExprEncodingText(ExportExpression(true).get());
    char code[8] = {}, second[8] = {};
    const std::string record =
        std::string("~") + "\x22" +
        std::string(code, static_cast<size_t>(EncodeCompactNumber(0xA082, code))) +
        std::string(second, static_cast<size_t>(EncodeCompactNumber(0xA188, second))) + "L}";
    EXPECT_NE(text.find(record), std::string::npos) << text;
}

TEST_F(ShellFaultsTest, TheInputMethodComposesAtTheCaretWhileDoubleByteInputIsOn) {
    ExprFilePane* pane = typed("ab");
    const plat::HWND hwnd = windowOf(pane);
    // The caret's bottom left in the client area of the top-level window.
    auto caretSpot = [&] {
        Zone zone;
        int32_t bands[4] = {};
        EXPECT_TRUE(EntryHighlightArea(ActiveRecord->entry(0), zone, bands));
        const oPoint p = pane->toParent(oPoint{zone.left, zone.bottom});
        plat::POINT spot{p.x, p.y};
        plat::ClientToScreen(hwnd, &spot);
        plat::ScreenToClient(plat::GetAncestor(hwnd, plat::GA_ROOT), &spot);
        return spot;
    };
    plat::POINT shown{};
    CQVApp::instance().m_DoubleByte = true;
    plat::testing::type("cd");
    plat::testing::runUntilIdle();
    const plat::POINT expected = caretSpot();
    EXPECT_EQ(plat::testing::imeSpot(shown), plat::GetAncestor(hwnd, plat::GA_ROOT));
    EXPECT_EQ(shown.x, expected.x);
    EXPECT_EQ(shown.y, expected.y);
    // Without double-byte input the input method is left alone.
    CQVApp::instance().m_DoubleByte = false;
    plat::testing::type("efgh");
    plat::testing::runUntilIdle();
    plat::testing::imeSpot(shown);
    EXPECT_EQ(shown.x, expected.x);
}

// When no more drawing surfaces can be opened, saving a picture stops and the box says so in the
// user's language; nothing is written and the document keeps what was typed.
TEST_F(ShellFaultsTest, TooManyDrawingSurfacesStopAPictureWithAMessageForTheUser) {
    ExprFilePane* pane = typed("ab");
    const std::string before = ExprEncodingText(pane->expression());
    std::vector<std::string> boxes;
    plat::testing::onMessageBox([&](const plat::testing::MessageBoxCall& box) {
        boxes.push_back(box.text);
        return 1;
    });
    const std::string path = m_dir / "eq.png";
    plat::testing::answerFileDialog(path);
    const std::size_t saved = PortDcListLimit;
    PortDcListLimit = static_cast<std::size_t>(CachedPortDcCount(kDeviceMemory));
    DoMenuCommand(264); // Fichier > Enregistrer sous...
    PortDcListLimit = saved;
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("Trop de surfaces de dessin sont ouvertes en m\xEAme temps", 0), 0u)
        << boxes[0];
    EXPECT_EQ(boxes[0].find("list<"), std::string::npos) << boxes[0];
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(ExprEncodingText(pane->expression()), before);
}

} // namespace
} // namespace kvtest
