// The application shell on the headless back end: start-up to the main frame and its menu bar,
// menu dispatch inside its error environment, the key filter, the tick and the requests of later
// copies.

#include "App/AppHooks.h"
#include "App/CQVAppStartup.h"
#include "App/FrameWindow.h"
#include "App/MenuDispatch.h"
#include "App/MessageLoop.h"
#include "App/SelfRegistration.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/Presourc.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/Pwindow.h"
#include "OverSrcs/oWindows.h"
#include "plat/Input.h"
#include "plat/Memory.h"
#include "plat/Menu.h"
#include "plat/Registry.h"
#include "plat/Resources.h"
#include "plat/Testing.h"
#include "plat/Window.h"
#include "platform/SysTempDir.h"

#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <set>
#include <sys/wait.h>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

// What the hooks saw; the hooks are plain function pointers, so they report here.
struct HookLog {
    std::vector<std::string> opened; // "<type>:<path>" ("e:" for a new document)
    std::vector<std::pair<int, int>> commands;
    int handlerRuns = 0;
    int aboutBoxes = 0;
    bool closeAllAnswer = true;
    int closeAllCalls = 0;
};
HookLog g_log;

void recordOpen(const char* path, char type) {
    g_log.opened.push_back(std::string(1, type) + ":" + (path ? path : ""));
}
void recordCommand(int code, int argument) {
    g_log.commands.emplace_back(code, argument);
}
bool answerCloseAll(int) {
    ++g_log.closeAllCalls;
    return g_log.closeAllAnswer;
}
void failWith504() {
    ++g_log.handlerRuns;
    Fail(504);
}
void countRun() {
    ++g_log.handlerRuns;
}
void countAbout() {
    ++g_log.aboutBoxes;
}

// A front window that records the key-map indices it is offered and uses the bound ones.
class KeyRecorder : public oWindow {
public:
    bool doKey(int32_t key) override {
        keys.push_back(key);
        return bound.count(key) > 0;
    }
    std::vector<int32_t> keys;
    std::set<int32_t> bound;
};

// A document window whose help text is string 1400 in its left half and none elsewhere.
class HelpWindow : public oWindow {
public:
    void infoAtPoint(oPoint point, int32_t& cursorKind, int32_t& balloonInfo, Zone&) override {
        cursorKind = 0;
        balloonInfo = point.x < 100 ? 1400 : 0;
    }
};

// A front window whose idle step fails while `failing` is set.
class FailingIdleWindow : public oWindow {
public:
    void idle() override {
        ++idles;
        if (failing)
            Fail(504);
    }
    bool failing = true;
    int idles = 0;
};

class AppShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::testing::reset();
        AppHooks() = ShellHooks{};
        g_log = HookLog{};
        CurrentDialog = nullptr;
        MessageBoxUpFlag = false;
        CQVApp::instance().m_Embedded = false;
        SetSingleInstanceSocket(m_dir / "KorvalineFileOpen");
    }
    void TearDown() override {
        SetFrontWindow(nullptr);
        SetOpenDocumentHook(nullptr);
        CQVAppShutdown();
        AppHooks() = ShellHooks{};
        SetSingleInstanceSocket("");
        CurrentDialog = nullptr;
        MessageBoxUpFlag = false;
    }

    void startUp(std::vector<std::string> words = {"-nosplash"}) {
        const StartupOutcome outcome = CQVAppStartup(words);
        ASSERT_TRUE(outcome.runLoop);
        ASSERT_NE(CQVApp::instance().m_MainFrame, nullptr);
    }

    // Runs the queue as the main loop does, without waiting.
    static void pump() {
        plat::MSG msg;
        while (plat::PeekMessage(&msg, nullptr, 0, 0, plat::PM_REMOVE)) {
            if (msg.message == plat::WM_QUIT) {
                plat::PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            if (KeyFilter(msg))
                continue;
            plat::TranslateMessage(&msg);
            plat::DispatchMessage(&msg);
        }
    }

    // A document window inside the frame (a pane window without a pane behind it).
    static plat::HWND openDocumentWindow() {
        return plat::CreateWindowEx(0, kPaneWindowClass, "Doc", plat::WS_CHILD | plat::WS_VISIBLE,
                                    10, 10, 200, 100, CQVApp::instance().m_MainFrame, nullptr,
                                    nullptr, nullptr);
    }

    static size_t quitCount() { return plat::testing::journalLines("WM_QUIT").size(); }

    static std::string menuText(plat::UINT id) {
        char text[256] = {};
        plat::GetMenuString(CQVApp::instance().m_MenuBar, id, text, sizeof text,
                            plat::MF_BYCOMMAND);
        return text;
    }

    kvtest::SysTempDir m_dir;
    kvtest::ScopedEnv m_registry{"KV_REGISTRY_DIR", m_dir / "config"};
    kvtest::ScopedEnv m_data{"XDG_DATA_HOME", m_dir / "data"};
    kvtest::ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir / "config"};
};

TEST_F(AppShellTest, StartUpShowsTheFrameWithItsMenuBar) {
    startUp();
    const CQVApp& app = CQVApp::instance();
    EXPECT_TRUE(app.m_StartupDone);
    EXPECT_TRUE(plat::IsWindowVisible(app.m_MainFrame));
    ASSERT_NE(app.m_MenuBar, nullptr);
    EXPECT_EQ(plat::GetMenu(app.m_MainFrame), app.m_MenuBar);
    char caption[64] = {};
    plat::GetWindowText(app.m_MainFrame, caption, sizeof caption);
    EXPECT_STREQ(caption, LoadResString(kProductNameStringId));

    const std::vector<std::string> titles = {"&Fichier",
                                             "&\xC9"
                                             "dition",
                                             "&Insertion",
                                             "&Modifier",
                                             "&Options",
                                             "&Pr\xE9"
                                             "f\xE9rences",
                                             "F&en\xEAtres",
                                             "&Aide"};
    ASSERT_EQ(plat::GetMenuItemCount(app.m_MenuBar), static_cast<int>(titles.size()));
    for (size_t i = 0; i < titles.size(); ++i) {
        char text[64] = {};
        plat::GetMenuString(app.m_MenuBar, static_cast<plat::UINT>(i), text, sizeof text,
                            plat::MF_BYPOSITION);
        EXPECT_EQ(text, titles[i]);
    }
    // Items by their id = menu number x 256 + position.
    EXPECT_EQ(menuText(257), "&Nouveau");
    EXPECT_EQ(menuText(263), "&Enregistrer (PVX)");
    EXPECT_EQ(menuText(269), "&Quitter");
    EXPECT_EQ(menuText(525), "Rechercher && remplacer");
    EXPECT_EQ(menuText(1796), "une expression");
    EXPECT_EQ(menuText(5388), "Modifier \n la matrice");
    EXPECT_EQ(menuText(7431), "Font Name Method");
    EXPECT_EQ(menuText(8714), "\xC0 &propos de Korvaline...");
    // Close, Save and Print wait for a front document.
    for (plat::UINT id : {259u, 263u, 267u}) {
        SCOPED_TRACE(id);
        EXPECT_TRUE(plat::GetMenuState(app.m_MenuBar, id, plat::MF_BYCOMMAND) & plat::MF_GRAYED);
    }
    EXPECT_FALSE(plat::GetMenuState(app.m_MenuBar, 257, plat::MF_BYCOMMAND) & plat::MF_GRAYED);
    // Without the document subsystem no document was asked for and nothing failed.
    EXPECT_TRUE(plat::testing::messageBoxes().empty());
}

TEST_F(AppShellTest, MenuIdsFollowTheirPositions) {
    startUp();
    const plat::ResMenu* bar = plat::FindMenuTemplate(CQVApp::instance().m_hResources,
                                                      plat::MAKEINTRESOURCE(kMenuBarResourceId));
    ASSERT_NE(bar, nullptr);
    // Walk the flattened template keeping each open popup's number and next position.
    std::vector<std::pair<unsigned, unsigned>> open; // menu number, position
    int items = 0;
    for (plat::UINT i = 0; i < bar->count; ++i) {
        const plat::ResMenuItem& item = bar->items[i];
        if (item.kind == plat::ResMenuKind::PopupEnd) {
            open.pop_back();
            continue;
        }
        if (!open.empty())
            ++open.back().second;
        if (item.kind == plat::ResMenuKind::PopupBegin) {
            open.emplace_back(item.id, 0);
            continue;
        }
        if (item.kind == plat::ResMenuKind::Item) {
            ASSERT_FALSE(open.empty());
            EXPECT_EQ(item.id, open.back().first * 256 + open.back().second) << item.text;
            ++items;
        }
    }
    EXPECT_GT(items, 100);
}

TEST_F(AppShellTest, EveryItemHasACodeOrARowAndEveryRowAnItem) {
    startUp();
    const plat::ResMenu* bar = plat::FindMenuTemplate(CQVApp::instance().m_hResources,
                                                      plat::MAKEINTRESOURCE(kMenuBarResourceId));
    ASSERT_NE(bar, nullptr);
    const std::vector<int> rows = MenuTableIds();
    std::set<int> itemIds;
    for (plat::UINT i = 0; i < bar->count; ++i) {
        const plat::ResMenuItem& item = bar->items[i];
        if (item.kind != plat::ResMenuKind::Item)
            continue;
        itemIds.insert(static_cast<int>(item.id));
        const bool hasRow = std::find(rows.begin(), rows.end(), item.id) != rows.end();
        EXPECT_TRUE(item.code != 0 || hasRow) << "item " << item.id << " " << item.text;
        EXPECT_FALSE(item.code != 0 && hasRow) << "item " << item.id << " has both";
        if (item.code != 0) {
            EXPECT_EQ(MenuCommandCode(static_cast<int>(item.id)), item.code);
        }
    }
    for (int id : rows) {
        if (id != kAboutCommandId) {
            EXPECT_TRUE(itemIds.count(id)) << "row " << id << " has no item";
        }
    }
}

TEST_F(AppShellTest, AFailingMenuCommandIsShownAndTheProgramGoesOn) {
    startUp();
    ASSERT_TRUE(SetMenuHandler(527, &failWith504));
    ASSERT_TRUE(SetMenuHandler(528, &countRun));
    std::vector<std::string> shown;
    plat::testing::onMessageBox([&](const plat::testing::MessageBoxCall& box) {
        shown.push_back(box.text);
        return 1;
    });
    EXPECT_EQ(DoMenuCommand(527), 1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find(LoadResString(504)), std::string::npos);
    EXPECT_EQ(ErrorEnvDepth(), 0);
    // The frame is still there and the next command runs, through the frame as from the bar.
    ASSERT_TRUE(plat::IsWindow(CQVApp::instance().m_MainFrame));
    plat::SendMessage(CQVApp::instance().m_MainFrame, plat::WM_COMMAND, 528, 0);
    EXPECT_EQ(g_log.handlerRuns, 2);
    EXPECT_EQ(quitCount(), 0u);
}

TEST_F(AppShellTest, CommandsOfMissingSubsystemsShowTheNotice) {
    startUp();
    std::vector<std::string> shown;
    plat::testing::onMessageBox([&](const plat::testing::MessageBoxCall& box) {
        shown.push_back(box.text);
        return 1;
    });
    EXPECT_TRUE(MenuCommandIsMissing(258));
    EXPECT_EQ(DoMenuCommand(258), 1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], LoadResString(errNotInstalled));
    // An id no menu has is refused without a box, and logged.
    const size_t logged = LoggedInformation().size();
    EXPECT_EQ(DoMenuCommand(9999), 0);
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_GT(LoggedInformation().size(), logged);
}

TEST_F(AppShellTest, CodedItemsRunTheirCommandAndHandlersCanBeInstalled) {
    AppHooks().doCommand = &recordCommand;
    AppHooks().showAboutBox = &countAbout;
    startUp();
    EXPECT_EQ(DoMenuCommand(513), 1);  // Annuler
    EXPECT_EQ(DoMenuCommand(5390), 1); // Change Smart
    EXPECT_EQ(g_log.commands, (std::vector<std::pair<int, int>>{{0x6111, 0}, {0x6153, 0}}));
    EXPECT_FALSE(SetMenuHandler(9999, &countRun));
    // The About item goes through the frame as command 15999.
    plat::testing::clearJournal();
    EXPECT_EQ(DoMenuCommand(8714), 1);
    EXPECT_EQ(g_log.aboutBoxes, 1);
    EXPECT_FALSE(plat::testing::journalLines("WM_COMMAND").empty());
}

TEST_F(AppShellTest, KeyFilterOffersKeysWithoutACharacterToTheFrontWindow) {
    startUp();
    KeyRecorder front;
    front.bound = {0x1A5, 0x47A, 0x3A5, 0x170};
    SetFrontWindow(&front);
    plat::testing::clearJournal();

    plat::testing::key(plat::VK_LEFT);
    plat::testing::key('Z', plat::testing::kCtrl);
    plat::testing::key(plat::VK_LEFT, plat::testing::kAlt);
    plat::testing::key(plat::VK_F1);
    plat::testing::key(plat::VK_SHIFT);
    pump();
    EXPECT_EQ(front.keys, (std::vector<int32_t>{0x1A5, 0x47A, 0x3A5, 0x170}));

    // A typed character is left to WM_CHAR; the filter does not offer it.
    front.keys.clear();
    plat::testing::clearJournal();
    plat::testing::key('A');
    pump();
    EXPECT_TRUE(front.keys.empty());
    EXPECT_FALSE(plat::testing::journalLines("WM_CHAR").empty());

    // An unbound Alt+letter is offered, refused and goes on to the menu bar as WM_SYSCHAR.
    front.keys.clear();
    plat::testing::clearJournal();
    plat::testing::key('F', plat::testing::kAlt);
    pump();
    EXPECT_EQ(front.keys, std::vector<int32_t>{0x200 + 'f'});
    EXPECT_FALSE(plat::testing::journalLines("WM_SYSCHAR").empty());

    // No front window: nothing is consumed.
    SetFrontWindow(nullptr);
    front.keys.clear();
    plat::testing::key(plat::VK_LEFT);
    pump();
    EXPECT_TRUE(front.keys.empty());
}

TEST_F(AppShellTest, TickEndsTheProgramWhenTheLastWindowCloses) {
    startUp();
    // The frame alone (no document could be made yet) keeps the program running.
    AppTickProc(nullptr, plat::WM_TIMER, 0, 0);
    EXPECT_EQ(quitCount(), 0u);

    const plat::HWND doc = openDocumentWindow();
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(CountOwnWindows(), 1);
    AppTickProc(nullptr, plat::WM_TIMER, 0, 0);
    EXPECT_EQ(quitCount(), 0u);

    plat::DestroyWindow(doc);
    EXPECT_EQ(CountOwnWindows(), 0);
    // Nothing happens while a dialog or a message box is up.
    CurrentDialog = kSystemDialogRunning;
    AppTickProc(nullptr, plat::WM_TIMER, 0, 0);
    CurrentDialog = nullptr;
    MessageBoxUpFlag = true;
    AppTickProc(nullptr, plat::WM_TIMER, 0, 0);
    MessageBoxUpFlag = false;
    EXPECT_EQ(quitCount(), 0u);
    // The loop's own tick then ends it with quit code 2.
    EXPECT_EQ(RunMessageLoop(), 2);
}

TEST_F(AppShellTest, AnEmbeddedCopyIsNotEndedByTheTick) {
    startUp();
    const plat::HWND doc = openDocumentWindow();
    AppTickProc(nullptr, plat::WM_TIMER, 0, 0);
    plat::DestroyWindow(doc);
    CQVApp::instance().m_Embedded = true;
    AppTickProc(nullptr, plat::WM_TIMER, 0, 0);
    CQVApp::instance().m_Embedded = false;
    EXPECT_EQ(quitCount(), 0u);
}

TEST_F(AppShellTest, QuitAsksTheWindowsAndStopsAtARefusal) {
    AppHooks().savePrefsAndCloseAll = &answerCloseAll;
    startUp();
    const plat::HWND doc = openDocumentWindow();
    g_log.closeAllAnswer = false;
    plat::SendMessage(CQVApp::instance().m_MainFrame, plat::WM_CLOSE, 0, 0);
    EXPECT_EQ(g_log.closeAllCalls, 1);
    EXPECT_EQ(quitCount(), 0u);
    EXPECT_TRUE(plat::IsWindow(CQVApp::instance().m_MainFrame));

    g_log.closeAllAnswer = true;
    plat::DestroyWindow(doc); // what the hook's closing does
    DoMenuCommand(269);       // Quitter
    EXPECT_EQ(quitCount(), 1u);
    EXPECT_EQ(RunMessageLoop(), 2);
}

TEST_F(AppShellTest, QuitWithoutTheCustomisationClosesTheWindowsItself) {
    startUp();
    const plat::HWND doc = openDocumentWindow();
    DoMenuCommand(269);
    EXPECT_FALSE(plat::IsWindow(doc));
    EXPECT_EQ(RunMessageLoop(), 2);
}

TEST_F(AppShellTest, StartUpOpensTheFilesOfTheCommandLineOrANewDocument) {
    AppHooks().openDocumentWindow = &recordOpen;
    startUp({"-nosplash", "/tmp/a.pvx", "/tmp/b.exp"});
    EXPECT_EQ(g_log.opened.size(), 3u); // both files, then (none was made) a new document
    EXPECT_EQ(g_log.opened[0], std::string(1, FileTypeOfPath("/tmp/a.pvx")) + ":/tmp/a.pvx");
    EXPECT_EQ(g_log.opened[1], std::string(1, FileTypeOfPath("/tmp/b.exp")) + ":/tmp/b.exp");
    EXPECT_EQ(g_log.opened[2], "e:");
}

TEST_F(AppShellTest, RequestsOfLaterCopiesOpenExistingFilesOnly) {
    // Handed-over files open through the document layer's opener.
    SetOpenDocumentHook(&recordOpen);
    startUp();
    g_log.opened.clear();
    const std::string file = m_dir / "sent.pvx";
    kvtest::WriteFileBytes(file, "x");
    const plat::HWND frame = CQVApp::instance().m_MainFrame;
    plat::PostMessage(frame, FileOpenMessage(), plat::GlobalAddAtom(file.c_str()), 0);
    pump();
    ASSERT_EQ(g_log.opened.size(), 1u);
    EXPECT_EQ(g_log.opened[0], std::string(1, FileTypeOfPath(file.c_str())) + ":" + file);

    // A file that is gone is reported, not opened as a new document.
    std::vector<std::string> shown;
    plat::testing::onMessageBox([&](const plat::testing::MessageBoxCall& box) {
        shown.push_back(box.text);
        return 1;
    });
    const std::string gone = m_dir / "gone.pvx";
    plat::PostMessage(nullptr, FileOpenMessage(), plat::GlobalAddAtom(gone.c_str()), 0);
    plat::MSG msg;
    ASSERT_TRUE(plat::PeekMessage(&msg, nullptr, 0, 0, plat::PM_REMOVE));
    HandleFileOpenRequest(msg.wParam);
    EXPECT_EQ(g_log.opened.size(), 1u);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("gone.pvx"), std::string::npos);
    // The atom was released.
    char name[256];
    EXPECT_EQ(plat::GlobalGetAtomName(static_cast<plat::ATOM>(msg.wParam), name, sizeof name), 0u);

    // Atom 0 only brings the program forward.
    HandleFileOpenRequest(0);
    EXPECT_EQ(g_log.opened.size(), 1u);
    EXPECT_EQ(shown.size(), 1u);
}

TEST_F(AppShellTest, RequestsArrivingUnderAnAlertOrADialogWaitForItToClose) {
    // Handed-over files open through the document layer's opener.
    SetOpenDocumentHook(&recordOpen);
    startUp();
    g_log.opened.clear();
    const std::string gone = m_dir / "gone.pvx", first = m_dir / "a.pvx", second = m_dir / "b.pvx";
    kvtest::WriteFileBytes(first, "x");
    kvtest::WriteFileBytes(second, "x");
    const plat::WPARAM atomA = plat::GlobalAddAtom(first.c_str());
    // A later copy hands over a missing file and a good one: the alert of the first is up when
    // the second request is dispatched by the alert's own loop.
    size_t openedUnderTheAlert = 99;
    plat::testing::onMessageBox([&](const plat::testing::MessageBoxCall&) {
        HandleFileOpenRequest(atomA);
        openedUnderTheAlert = g_log.opened.size();
        return 1;
    });
    HandleFileOpenRequest(plat::GlobalAddAtom(gone.c_str()));
    EXPECT_EQ(openedUnderTheAlert, 0u);
    ASSERT_EQ(g_log.opened.size(), 1u) << "served once the alert closed";
    EXPECT_EQ(g_log.opened[0], std::string(1, FileTypeOfPath(first.c_str())) + ":" + first);

    // Under a dialog the request waits for the tick that finds the dialog closed.
    CurrentDialog = CQVApp::instance().m_MainFrame;
    HandleFileOpenRequest(plat::GlobalAddAtom(second.c_str()));
    AppTickProc(nullptr, 0, 0, 0);
    EXPECT_EQ(g_log.opened.size(), 1u);
    CurrentDialog = nullptr;
    AppTickProc(nullptr, 0, 0, 0);
    ASSERT_EQ(g_log.opened.size(), 2u);
    EXPECT_EQ(g_log.opened[1], std::string(1, FileTypeOfPath(second.c_str())) + ":" + second);
}

TEST_F(AppShellTest, RegistrationAndEmbeddingEndStartUp) {
    StartupOutcome outcome = CQVAppStartup({"/register"});
    EXPECT_FALSE(outcome.runLoop);
    EXPECT_EQ(outcome.exitStatus, 0);
    EXPECT_EQ(CQVApp::instance().m_MainFrame, nullptr);
    plat::HKEY key = nullptr;
    EXPECT_EQ(plat::RegOpenKeyEx(plat::HKEY_CLASSES_ROOT, ".pvx", 0, plat::KEY_READ, &key),
              plat::ERROR_SUCCESS);
    plat::RegCloseKey(key);
    CQVAppShutdown();

    outcome = CQVAppStartup({"-unregister"});
    EXPECT_EQ(outcome.exitStatus, 0);
    EXPECT_NE(plat::RegOpenKeyEx(plat::HKEY_CLASSES_ROOT, ".pvx", 0, plat::KEY_READ, &key),
              plat::ERROR_SUCCESS);
    CQVAppShutdown();

    outcome = CQVAppStartup({"-EMBEDDING"});
    EXPECT_FALSE(outcome.runLoop);
    EXPECT_EQ(outcome.exitStatus, 1);
    EXPECT_EQ(CQVApp::instance().m_MainFrame, nullptr);
}

TEST_F(AppShellTest, StatusBarShowsTheHelpTextUnderThePointer) {
    startUp();
    const plat::HWND bar = CQVApp::instance().m_StatusBar;
    ASSERT_NE(bar, nullptr);
    HelpWindow* doc = new HelpWindow;
    ASSERT_TRUE(doc->createNativeWindow("Doc", Zone{20, 20, 220, 120}, kWindowChildOfFrame));
    doc->show();
    const plat::HWND hwnd = plat::testing::findWindow("Doc");
    ASSERT_NE(hwnd, nullptr);
    ASSERT_EQ(WindowOfHandle(hwnd), doc);
    auto statusText = [&] {
        char text[256] = {};
        plat::SendMessage(bar, plat::SB_GETTEXT, plat::MAKEWPARAM(0, sizeof text),
                          reinterpret_cast<plat::LPARAM>(text));
        return std::string(text);
    };
    plat::testing::move(hwnd, 30, 30);
    plat::testing::runUntilIdle();
    AppTickProc(nullptr, plat::WM_TIMER, 0, 0);
    EXPECT_EQ(statusText(), LoadResString(1400));
    plat::testing::move(hwnd, 150, 30);
    plat::testing::runUntilIdle();
    AppTickProc(nullptr, plat::WM_TIMER, 0, 0);
    EXPECT_EQ(statusText(), "");
    delete doc;
}

// The hook of the ending on a signal writes the signal to this descriptor (a pipe to the test).
int s_endPipe = -1;
void reportEnd(int signal) {
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t n = write(s_endPipe, &byte, 1);
}

// SIGTERM ends the program without questions, from whichever loop runs: here an alert is up, and
// the program still ends at the next turn of the loop, with the subsystems' ending run and exit
// status 0. Nothing asks to close the windows.
TEST_F(AppShellTest, ATerminationSignalEndsTheProgramAtOnceEvenUnderAnAlert) {
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        s_endPipe = fds[1];
        AppHooks().savePrefsAndCloseAll = &answerCloseAll;
        AppHooks().endWithoutQuestions = &reportEnd;
        startUp();
        InstallTerminationHandler();
        MessageBoxUpFlag = true;
        std::raise(SIGTERM);
        int code = 0;
        for (int turn = 0; turn < 10; ++turn)
            RunPendingMessages(code);
        // Still running: the signal was not answered.
        _exit(g_log.closeAllCalls > 0 ? 4 : 3);
    }
    close(fds[1]);
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    char signal = 0;
    const ssize_t got = read(fds[0], &signal, 1);
    close(fds[0]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_EQ(1, got);
    EXPECT_EQ(SIGTERM, signal);
}

TEST_F(AppShellTest, AnIdleStepThatKeepsFailingIsReportedOnce) {
    startUp();
    FailingIdleWindow front;
    SetFrontWindow(&front);
    int boxes = 0;
    for (int i = 0; i < 2; ++i) {
        plat::testing::onMessageBox([&](const plat::testing::MessageBoxCall&) {
            ++boxes;
            return 1;
        });
    }
    IdleWork();
    IdleWork();
    IdleWork();
    EXPECT_EQ(front.idles, 3);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(ErrorEnvDepth(), 0);
    // Once it has worked again, a new failure is shown again.
    front.failing = false;
    IdleWork();
    front.failing = true;
    IdleWork();
    EXPECT_EQ(boxes, 2);
    SetFrontWindow(nullptr);
}

} // namespace
