#include "App/MessageLoop.h"

#include "App/AppHooks.h"
#include "App/CQVAppStartup.h"
#include "App/FrameWindow.h"
#include "App/MenuDispatch.h"
#include "App/SingleInstance.h"
#include "OverPc/PERROR.h"
#include "OverPc/PUTIL.h"
#include "OverPc/Presourc.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/Cursors.h"
#include "OverPc/shell/HelpBalloons.h"
#include "OverPc/shell/KeyCodes.h"
#include "OverPc/shell/Pwindow.h"
#include "OverSrcs/oUtil.h"
#include "OverSrcs/oWindows.h"
#include "plat/Input.h"
#include "plat/Menu.h"
#include "plat/System.h"
#include "plat/Window.h"

#include <cfenv>
#include <cstdio>
#include <cstdlib>

namespace {

// Set once a window of the program's own has existed. Until then (while no document can be made
// in this build, or before the first one appears) the tick does not end the program, which would
// otherwise quit the moment start-up finished with only the frame showing.
bool s_sawOwnWindow = false;
bool s_quitPosted = false;

// The string id shown in the status bar, -1 before the first refresh.
int32_t s_statusId = -1;

// A termination signal, served from whichever message loop runs (a dialog's included): the program
// ends as Quit ends it, without its questions. The subsystems write the preferences and name the
// documents whose changes are lost; later copies no longer find this one; the end is at once, from
// where the loop stands, so nothing after the signal can ask the user anything.
void endOnSignal(int signal) {
    if (AppHooks().endWithoutQuestions)
        CatchFail([signal] { AppHooks().endWithoutQuestions(signal); });
    if (SingleInstance* single = AppSingleInstance())
        single->stop();
    std::fflush(nullptr);
    std::_Exit(0);
}

int32_t helpIdUnderPointer() {
    plat::POINT pt{};
    if (!plat::GetCursorPos(&pt))
        return 0;
    const plat::HWND under = plat::WindowFromPoint(pt);
    oWindow* win = under ? WindowOfHandle(under) : nullptr;
    if (!win)
        return 0;
    plat::ScreenToClient(under, &pt);
    int32_t kind = 0;
    int32_t info = 0;
    Zone zone;
    win->infoAtPoint(oPoint{pt.x, pt.y}, kind, info, zone);
    return info > 0 ? info : 0;
}

// The code the idle step last failed with (0 after a step that succeeded). A step that fails the
// same way every time would otherwise put up the same alert each time the queue empties, and the
// user could never get past it.
std::int16_t s_idleFailure = 0;
std::int16_t s_tickFailure = 0;

void reportUnlessRepeated(std::int16_t code, std::int16_t& last) {
    if (code != last)
        ErrorAlert(code);
    last = code;
}

// The cursor of what lies under the pointer in one of the program's windows; the current cursor
// elsewhere.
void updateCursorFromPointer() {
    plat::POINT pt{};
    if (plat::GetCursorPos(&pt)) {
        const plat::HWND under = plat::WindowFromPoint(pt);
        if (oWindow* win = under ? WindowOfHandle(under) : nullptr) {
            plat::ScreenToClient(under, &pt);
            int32_t kind = 0;
            int32_t info = 0;
            Zone zone;
            win->infoAtPoint(oPoint{pt.x, pt.y}, kind, info, zone);
            SetCursorForKind(kind);
            return;
        }
    }
    ApplyCursor();
}

// Menu items with a key of their own, for keys the front window's key map leaves unbound (so a
// user's binding of the same key wins): Ctrl+S saves.
constexpr struct {
    int32_t keyIndex;
    int menuId;
} kMenuShortcuts[] = {
    {0x400 + 's', 263}, // Fichier > Enregistrer
};

bool isDown(int vk) {
    return (plat::GetKeyState(vk) & 0x8000) != 0;
}

} // namespace

bool KeyFilter(const plat::MSG& msg) {
    if (msg.message != plat::WM_KEYDOWN && msg.message != plat::WM_SYSKEYDOWN)
        return false;
    SnapshotModifierKeys();
    oWindow* front = FrontWindow();
    if (!front)
        return false;
    // The front window takes the key only when it takes input: not while it is disabled or a
    // modal run has put it behind.
    if (const plat::HWND h = HandleOfWindow(front->windowHandle());
        h != nullptr && !plat::WindowTakesInput(h))
        return false;
    const plat::KeyChars chars = plat::GetKeyChars(msg);
    if (chars.dead)
        return false;
    const int32_t vk = static_cast<int32_t>(msg.wParam & 0xFF);
    const int32_t code = KeyCodeOf(vk, chars.base, chars.keypad);
    if (code == 0)
        return false;
    const bool alt = isDown(plat::VK_MENU);
    const bool ctrl = isDown(plat::VK_CONTROL);
    // A character typed on the main keyboard arrives as WM_CHAR and the pane hands it over.
    if (!alt && !ctrl && !chars.keypad && chars.typed != 0)
        return false;
    const int32_t index = KeyIndexOf(vk, chars.base, chars.keypad, alt, ctrl);
    // A key whose command failed has been used all the same.
    bool used = true;
    RunUserAction([&] { used = front->doKey(index); });
    if (!used)
        for (const auto& shortcut : kMenuShortcuts)
            if (shortcut.keyIndex == index) {
                DoMenuCommand(shortcut.menuId);
                return true;
            }
    PlaceCompositionWindow(front);
    return used;
}

void IdleWork() {
    RunUserAction(
        [] {
            ResetUserAbortCounter();
            SetBusyCursorPending(false);
            // Library code may have changed the floating-point environment; the program runs
            // with every exception masked.
            std::fesetenv(FE_DFL_ENV);
            if (oWindow* front = FrontWindow(); front && !IdleWindow(front))
                front->idle();
            updateCursorFromPointer();
            HelpBalloonStep();
            s_idleFailure = 0;
        },
        [](std::int16_t code) { reportUnlessRepeated(code, s_idleFailure); });
}

bool (*MemoryCheck)() = &EnoughMemory;

bool IdleWindow(oWindow* window) {
    if (window == nullptr)
        return false;
    if (MemoryCheck != nullptr && !MemoryCheck()) {
        // Before nothing at all can be done: every document is saved and closed.
        ErrorAlert(errMemoryShort);
        if (AppHooks().savePrefsAndCloseAll)
            AppHooks().savePrefsAndCloseAll(1);
        return true;
    }
    return window->anyChildBusy();
}

void NoteInputMessage(const plat::MSG& msg) {
    switch (msg.message) {
    case plat::WM_KEYDOWN:
    case plat::WM_SYSKEYDOWN:
    case plat::WM_CHAR:
    case plat::WM_LBUTTONDOWN:
    case plat::WM_LBUTTONDBLCLK:
    case plat::WM_RBUTTONDOWN:
    case plat::WM_RBUTTONUP:
    case plat::WM_COMMAND:
    case plat::WM_SYSCOMMAND:
        SetBusyCursorPending(true);
        break;
    default:
        break;
    }
}

void ResetTickState() {
    s_sawOwnWindow = false;
    s_quitPosted = false;
    s_statusId = -1;
    s_idleFailure = 0;
    s_tickFailure = 0;
}

void RefreshStatusBar() {
    const plat::HWND bar = CQVApp::instance().m_StatusBar;
    if (!bar || !plat::IsWindow(bar))
        return;
    int32_t id = 0;
    if (CatchFail([&] { id = helpIdUnderPointer(); }) != 0)
        id = 0;
    if (id == s_statusId)
        return;
    s_statusId = id;
    const char* text = id != 0 ? LoadResString(id) : nullptr;
    plat::SendMessage(bar, plat::SB_SETTEXT, 0, reinterpret_cast<plat::LPARAM>(text ? text : ""));
}

void InstallTerminationHandler() {
    plat::SetTerminationSignalHandler(&endOnSignal);
}

void AppTickProc(plat::HWND, plat::UINT, plat::UINT_PTR, plat::DWORD) {
    const CQVApp& app = CQVApp::instance();
    if (MessageBoxUpFlag || CurrentDialog != nullptr || !app.m_StartupDone)
        return;
    ServeWaitingFileOpenRequests();
    RefreshStatusBar();
    RunUserAction(
        [&] {
            HelpBalloonStep();
            const int own = CountOwnWindows();
            if (own > 0) {
                s_sawOwnWindow = true;
                s_quitPosted = false;
                s_tickFailure = 0;
                return;
            }
            if (s_sawOwnWindow && !app.m_Embedded && !s_quitPosted) {
                s_quitPosted = true;
                plat::PostQuitMessage(2);
            }
            s_tickFailure = 0;
        },
        [](std::int16_t code) { reportUnlessRepeated(code, s_tickFailure); });
}

bool RunPendingMessages(int& exitCode) {
    plat::MSG msg;
    while (plat::PeekMessage(&msg, nullptr, 0, 0, plat::PM_REMOVE)) {
        if (msg.message == plat::WM_QUIT) {
            exitCode = static_cast<int>(msg.wParam);
            return true;
        }
        if (msg.hwnd == nullptr && msg.message != 0 && msg.message == FileOpenMessage()) {
            HandleFileOpenRequest(msg.wParam);
            continue;
        }
        // The window procedures run their work as user actions of their own; this one catches
        // what a procedure without that guard lets through, so that no failure ends the program.
        NoteInputMessage(msg);
        RunUserAction([&] {
            if (KeyFilter(msg))
                return;
            plat::TranslateMessage(&msg);
            plat::DispatchMessage(&msg);
        });
    }
    if (FrontWindow())
        IdleWork();
    return false;
}

int RunMessageLoop() {
    for (;;) {
        int exitCode = 0;
        if (RunPendingMessages(exitCode))
            return exitCode;
        plat::MSG msg;
        if (!plat::PeekMessage(&msg, nullptr, 0, 0, plat::PM_NOREMOVE))
            plat::WaitMessage();
    }
}
