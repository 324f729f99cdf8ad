#include "OverPc/PUTIL.h"

#include "ErrorFixture.h"
#include "OverPc/PGRAPHIC.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/Cursors.h"
#include "OverSrcs/oGraph.h"
#include "plat/Font.h"
#include "plat/Input.h"
#include "plat/Registry.h"
#include "plat/System.h"
#include "plat/Testing.h"
#include "plat/Window.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using kvtest::ErrorFixture;

class PUTILTest : public ErrorFixture {
protected:
    // Keys go to the focus window, so tests of the queue need one.
    static plat::HWND focusWindow() {
        plat::WNDCLASS wc;
        wc.lpfnWndProc = &plat::DefWindowProc;
        wc.lpszClassName = "KvUtilTestWindow";
        plat::RegisterClass(&wc); // refused when already registered: fine
        const plat::HWND w =
            plat::CreateWindowEx(0, "KvUtilTestWindow", "w", plat::WS_POPUP | plat::WS_VISIBLE, 0,
                                 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
        plat::SetActiveWindow(w);
        plat::SetFocus(w);
        return w;
    }

    void SetUp() override {
        ErrorFixture::SetUp();
        ResetUserAbortCounter();
    }

    // The calls (counted from 1) on which CheckUserAbort failed with the user interrupt.
    static std::vector<int> interruptedCalls(int calls) {
        std::vector<int> failed;
        for (int n = 1; n <= calls; ++n) {
            const std::int16_t code = CatchFail([] { CheckUserAbort(); });
            if (code != 0) {
                EXPECT_EQ(code, errUserInterrupt);
                failed.push_back(n);
            }
        }
        return failed;
    }
};

TEST_F(PUTILTest, EscapeInterruptsOnEvery32ndCall) {
    EXPECT_TRUE(interruptedCalls(100).empty()); // no Escape, no interrupt
    ResetUserAbortCounter();
    plat::testing::key(plat::VK_ESCAPE); // waiting in the input queue: the key is down "now"
    EXPECT_EQ(interruptedCalls(100), (std::vector<int>{31, 63, 95}));
    // Ending the busy period starts the count afresh.
    ResetUserAbortCounter();
    EXPECT_EQ(interruptedCalls(40), (std::vector<int>{31}));
}

TEST_F(PUTILTest, TheEscapeThatStartsAnActionIsNoInterruptionButAFreshPressIs) {
    // The window system reads the keys as the program looks at its queue.
    auto press = [](bool down) {
        down ? plat::testing::keyDown(plat::VK_ESCAPE) : plat::testing::keyUp(plat::VK_ESCAPE);
        plat::MSG msg;
        while (plat::PeekMessage(&msg, nullptr, 0, 0, plat::PM_REMOVE)) {
        }
    };
    press(true);
    std::vector<int> failed;
    std::vector<std::int16_t> reported;
    RunUserAction(
        [&] {
            failed = interruptedCalls(64); // held since the action began
            press(false);
            EXPECT_TRUE(interruptedCalls(32).empty());
            press(true);
            for (int n = 0; n < 32; ++n)
                CheckUserAbort();
        },
        [&](std::int16_t code) { reported.push_back(code); });
    press(false);
    EXPECT_TRUE(failed.empty());
    EXPECT_EQ(reported, std::vector<std::int16_t>{errUserInterrupt});
    EXPECT_EQ(ErrorEnvDepth(), 0);
}

TEST_F(PUTILTest, NothingHappensWhileADialogOrABoxIsUp) {
    plat::testing::key(plat::VK_ESCAPE);
    CurrentDialog = kSystemDialogRunning;
    EXPECT_TRUE(interruptedCalls(100).empty());
    CurrentDialog = plat::HandleFromId<plat::HWND>(0x1234);
    EXPECT_TRUE(interruptedCalls(100).empty());
    CurrentDialog = nullptr;
    MessageBoxUpFlag = true;
    EXPECT_TRUE(interruptedCalls(100).empty());
    MessageBoxUpFlag = false;
    // Those calls were not counted.
    EXPECT_EQ(interruptedCalls(31), (std::vector<int>{31}));
}

TEST_F(PUTILTest, TheCurrentCursorIsAppliedOnlyAfterTheBusyDelay) {
    SetCurrentCursor(plat::LoadCursor(nullptr, plat::IDC_WAIT));
    plat::SetCursor(plat::LoadCursor(nullptr, plat::IDC_ARROW));
    CheckUserAbort(); // records the start
    plat::testing::advanceClock(kUserAbortBusyMs);
    CheckUserAbort();
    EXPECT_EQ(plat::testing::currentCursorId(), 32512); // still the arrow
    plat::testing::advanceClock(1);
    CheckUserAbort();
    EXPECT_EQ(plat::testing::currentCursorId(), 32514); // the wait cursor
    SetCurrentCursor(nullptr);
}

TEST_F(PUTILTest, InputPendingNeedsAFrontWindowOrADialog) {
    ASSERT_NE(focusWindow(), nullptr);
    plat::testing::runUntilIdle();
    plat::testing::key('A');
    EXPECT_FALSE(InputPending());
    CurrentDialog = plat::HandleFromId<plat::HWND>(0x1234);
    EXPECT_TRUE(InputPending());
    plat::testing::runUntilIdle();
    EXPECT_FALSE(InputPending());
}

TEST_F(PUTILTest, PauseTicksWaitsWithoutTakingMessages) {
    ASSERT_NE(focusWindow(), nullptr);
    plat::testing::runUntilIdle();
    plat::testing::key('A');
    const std::uint32_t start = plat::GetTickCount();
    const std::uint32_t end = PauseTicks(250);
    EXPECT_GE(end - start, 250u);
    EXPECT_LT(end - start, 300u);
    CurrentDialog = plat::HandleFromId<plat::HWND>(0x1234);
    EXPECT_TRUE(InputPending()); // the key is still there
}

TEST_F(PUTILTest, CharacterScansStepOverDoubleByteCharacters) {
    EXPECT_EQ(FindFirstChar(nullptr, 'a'), nullptr);
    EXPECT_EQ(FindFirstChar("", 'a'), nullptr);
    EXPECT_EQ(FindLastChar(nullptr, 'a'), nullptr);
    const char* plain = "a/b/c";
    EXPECT_EQ(FindFirstChar(plain, '/'), plain + 1);
    EXPECT_EQ(FindLastChar(plain, '/'), plain + 3);
    EXPECT_EQ(FindFirstChar(plain, 'z'), nullptr);

    ASSERT_TRUE(plat::SetActiveCodePage(932));
    // 0x82 0x5C is one character whose trail byte looks like '\'.
    const char* text = "\x82\x5C"
                       "x\\y\x82\x5C";
    EXPECT_EQ(FindFirstChar(text, '\\'), text + 3);
    EXPECT_EQ(FindLastChar(text, '\\'), text + 3);
    EXPECT_EQ(FindFirstChar("\x82\x5C", '\\'), nullptr);
    plat::SetActiveCodePage(1252);
    // In a single-byte code page the same bytes are two characters.
    EXPECT_EQ(FindFirstChar(text, '\\'), text + 1);
}

TEST_F(PUTILTest, RegistryValueUnderTheVersionKey) {
    const std::string dir = ::testing::TempDir() + "kv-putil-registry";
    const char* old = std::getenv("KV_REGISTRY_DIR");
    const std::string saved = old ? old : "";
    ::setenv("KV_REGISTRY_DIR", dir.c_str(), 1);
    // The version is string 138 up to its first blank.
    std::string version = LoadResString(138);
    version = version.substr(0, version.find(' '));
    plat::HKEY key = nullptr;
    ASSERT_EQ(
        plat::RegCreateKeyEx(plat::HKEY_LOCAL_MACHINE,
                             ("SOFTWARE\\Oxbellan Interactive\\Tessaron Maker\\" + version).c_str(),
                             0, nullptr, 0, plat::KEY_ALL_ACCESS, nullptr, &key, nullptr),
        plat::ERROR_SUCCESS);
    const char value[] = "1";
    ASSERT_EQ(plat::RegSetValueEx(key, "TipsOn", 0, plat::REG_SZ,
                                  reinterpret_cast<const plat::BYTE*>(value), sizeof value),
              plat::ERROR_SUCCESS);
    plat::RegCloseKey(key);

    char buf[kRegistryValueSize];
    EXPECT_TRUE(ReadRegistryValue("TipsOn", buf));
    EXPECT_STREQ(buf, "1");
    EXPECT_FALSE(ReadRegistryValue("Missing", buf));
    EXPECT_STREQ(buf, "");

    if (old)
        ::setenv("KV_REGISTRY_DIR", saved.c_str(), 1);
    else
        ::unsetenv("KV_REGISTRY_DIR");
}

} // namespace

namespace {

Color SystemColour(int index) {
    const plat::COLORREF c = plat::GetSysColor(index);
    return Color{plat::GetRValue(c), plat::GetGValue(c), plat::GetBValue(c), 255};
}

} // namespace

// The structure display's colours follow the system colours once they are read, and only then.
TEST_F(PUTILTest, StructureColoursFollowTheSystemColoursOnceRead) {
    const Color savedOutlines[2] = {RowOutlineColors[0], RowOutlineColors[1]};
    const Color savedBackground = StructureBackgroundColor;
    InitSysColors();
    UseSystemColors();
    EXPECT_EQ(RowOutlineColors[0], SystemColour(plat::COLOR_BTNFACE));
    EXPECT_EQ(RowOutlineColors[1], SystemColour(plat::COLOR_BTNSHADOW));
    EXPECT_EQ(StructureBackgroundColor, SystemColour(plat::COLOR_WINDOW));
    // The outlines must stay visible on the background they are drawn over.
    EXPECT_NE(RowOutlineColors[0], StructureBackgroundColor);
    EXPECT_NE(RowOutlineColors[1], StructureBackgroundColor);
    RowOutlineColors[0] = savedOutlines[0];
    RowOutlineColors[1] = savedOutlines[1];
    StructureBackgroundColor = savedBackground;
}
