#include "App/FrameWindow.h"

#include "App/AppHooks.h"
#include "App/MenuDispatch.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/PPRINT.h"
#include "OverPc/Presourc.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/PMENU.h"
#include "OverPc/shell/Pwindow.h"
#include "OverSrcs/oWindows.h"
#include "plat/Files.h"
#include "plat/Memory.h"
#include "plat/Menu.h"
#include "plat/Window.h"

#include <deque>
#include <vector>

namespace {

plat::UINT s_fileOpenMessage = 0;
constexpr int kStatusBarId = 1;

// Commands that need a front document; the document windows enable them while one is front.
constexpr int kDocumentCommands[] = {259, 263, 267};

// A pane window that is not a floating tool window (the palette neither counts as a document
// nor keeps the program running).
bool isPaneWindow(plat::HWND hwnd) {
    char name[64];
    return plat::GetClassName(hwnd, name, sizeof name) > 0 &&
           std::string_view(name) == kPaneWindowClass &&
           (plat::GetWindowLongPtr(hwnd, plat::GWL_EXSTYLE) & plat::WS_EX_TOOLWINDOW) == 0;
}

std::vector<plat::HWND> ownWindows() {
    std::vector<plat::HWND> out;
    const plat::HWND frame = CQVApp::instance().m_MainFrame;
    if (!frame || !plat::IsWindow(frame))
        return out;
    for (plat::HWND w = plat::GetWindow(frame, plat::GW_CHILD); w;
         w = plat::GetWindow(w, plat::GW_HWNDNEXT)) {
        if (isPaneWindow(w))
            out.push_back(w);
    }
    for (plat::HWND w = plat::GetWindow(frame, plat::GW_HWNDFIRST); w;
         w = plat::GetWindow(w, plat::GW_HWNDNEXT)) {
        if (isPaneWindow(w))
            out.push_back(w);
    }
    return out;
}

void layoutStatusBar(plat::HWND frame) {
    const plat::HWND bar = CQVApp::instance().m_StatusBar;
    if (!bar || !plat::IsWindow(bar))
        return;
    plat::RECT client;
    plat::GetClientRect(frame, &client);
    plat::RECT own;
    plat::GetWindowRect(bar, &own);
    int height = own.bottom - own.top;
    if (height <= 0)
        height = plat::GetSystemMetrics(plat::SM_CYMENU) + 4;
    plat::MoveWindow(bar, 0, client.bottom - height, client.right, height, plat::TRUE);
}

} // namespace

plat::UINT FileOpenMessage() {
    return s_fileOpenMessage;
}

void SetFileOpenMessage(plat::UINT message) {
    s_fileOpenMessage = message;
}

bool CloseOwnWindows() {
    for (plat::HWND w : ownWindows()) {
        if (plat::IsWindow(w))
            plat::SendMessage(w, plat::WM_CLOSE, 0, 0);
        if (plat::IsWindow(w))
            return false;
    }
    return true;
}

int CountOwnWindows() {
    return static_cast<int>(ownWindows().size());
}

bool RegisterFrameClass() {
    plat::WNDCLASS existing;
    if (plat::GetClassInfo(CQVApp::instance().m_hInstance, kFrameWindowClass, &existing))
        return true;
    plat::WNDCLASS wc;
    wc.lpfnWndProc = &FrameWndProc;
    wc.hInstance = CQVApp::instance().m_hInstance;
    wc.lpszClassName = kFrameWindowClass;
    wc.hCursor = plat::LoadCursor(nullptr, plat::IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<plat::HBRUSH>(plat::COLOR_APPWORKSPACE + 1);
    return plat::RegisterClass(&wc) != 0;
}

plat::HWND CreateMainFrame() {
    CQVApp& app = CQVApp::instance();
    if (app.m_MainFrame && plat::IsWindow(app.m_MainFrame))
        return app.m_MainFrame;
    if (!RegisterFrameClass())
        return nullptr;
    const int sw = plat::GetSystemMetrics(plat::SM_CXSCREEN);
    const int sh = plat::GetSystemMetrics(plat::SM_CYSCREEN);
    const int fw = sw * 9 / 10;
    const int fh = sh * 9 / 10;
    const char* title = LoadResString(kProductNameStringId);
    const plat::HWND frame =
        plat::CreateWindowEx(0, kFrameWindowClass, title ? title : "Korvaline",
                             plat::WS_OVERLAPPEDWINDOW | plat::WS_VISIBLE, (sw - fw) / 2,
                             (sh - fh) / 2, fw, fh, nullptr, nullptr, app.m_hInstance, nullptr);
    app.m_MainFrame = frame;
    return frame;
}

bool InitMenuBar() {
    CQVApp& app = CQVApp::instance();
    if (!app.m_MenuBar) {
        app.m_MenuBar = plat::LoadMenu(app.m_hResources, plat::MAKEINTRESOURCE(kMenuBarResourceId));
        if (!app.m_MenuBar && app.m_hResources != app.m_hInstance)
            app.m_MenuBar =
                plat::LoadMenu(app.m_hInstance, plat::MAKEINTRESOURCE(kMenuBarResourceId));
    }
    if (!app.m_MenuBar)
        return false;
    for (int id : kDocumentCommands)
        plat::EnableMenuItem(app.m_MenuBar, static_cast<plat::UINT>(id),
                             plat::MF_BYCOMMAND | plat::MF_GRAYED);
    LoadMenuCommandCodes();
    return true;
}

void FreeMenuBar() {
    CQVApp& app = CQVApp::instance();
    if (app.m_MenuBar)
        plat::DestroyMenu(app.m_MenuBar);
    app.m_MenuBar = nullptr;
    // The items added to the bar while the program ran went with it.
    ForgetAdHocMenuItems();
}

namespace {

// Requests of later copies not served yet, oldest first.
std::deque<plat::WPARAM> s_waitingRequests;

void serveFileOpenRequest(plat::WPARAM atom) {
    CQVApp& app = CQVApp::instance();
    // The user started the program again: it comes forward, with the file's window in front
    // (a new one, or the one that already holds the file).
    if (app.m_MainFrame && plat::IsWindow(app.m_MainFrame)) {
        if (plat::IsIconic(app.m_MainFrame))
            plat::ShowWindow(app.m_MainFrame, plat::SW_RESTORE);
        plat::SetForegroundWindow(app.m_MainFrame);
    }
    if (atom == 0) {
        if (oWindow* front = FrontWindow())
            front->show();
        return;
    }
    // A missing file is reported, so a mistyped name never becomes a new empty document.
    OpenFileFromAtom(static_cast<std::uint16_t>(atom));
}

// The frame's front document window (a visible child with a caption), or null.
plat::HWND frontDocumentWindow(plat::HWND frame) {
    for (plat::HWND c = plat::GetWindow(frame, plat::GW_CHILD); c;
         c = plat::GetWindow(c, plat::GW_HWNDNEXT)) {
        const auto style = static_cast<plat::DWORD>(plat::GetWindowLongPtr(c, plat::GWL_STYLE));
        if ((style & plat::WS_CAPTION) == plat::WS_CAPTION && (style & plat::WS_VISIBLE))
            return c;
    }
    return nullptr;
}

} // namespace

void HandleFileOpenRequest(plat::WPARAM atom) {
    s_waitingRequests.push_back(atom);
    ServeWaitingFileOpenRequests();
}

void ServeWaitingFileOpenRequests() {
    // A request that arrives while an alert or a dialog is up (its modal loop dispatches the
    // message) waits for it to close: opening a document under a dialog would change the window
    // the dialog works on, and would bring the frame above the alert.
    while (!s_waitingRequests.empty() && !MessageBoxUpFlag && CurrentDialog == nullptr) {
        const plat::WPARAM atom = s_waitingRequests.front();
        s_waitingRequests.pop_front();
        serveFileOpenRequest(atom);
    }
}

void QuitCommand() {
    if (AppHooks().savePrefsAndCloseAll) {
        if (!AppHooks().savePrefsAndCloseAll(0))
            return;
    } else if (!CloseOwnWindows()) {
        // Without the customisation subsystem there are no preferences to save.
        return;
    }
    if (CountOwnWindows() == 0)
        plat::PostQuitMessage(2);
}

plat::LRESULT FrameWndProc(plat::HWND hwnd, plat::UINT message, plat::WPARAM wParam,
                           plat::LPARAM lParam) {
    CQVApp& app = CQVApp::instance();
    switch (message) {
    case plat::WM_CREATE:
        app.m_MainFrame = hwnd;
        if (app.m_MenuBar)
            plat::SetMenu(hwnd, app.m_MenuBar);
        app.m_StatusBar = plat::CreateWindowEx(
            0, plat::STATUSCLASSNAME, "", plat::WS_CHILD | plat::WS_VISIBLE, 0, 0, 0, 0, hwnd,
            plat::HandleFromId<plat::HMENU>(kStatusBarId), app.m_hInstance, nullptr);
        return 0;
    case plat::WM_SIZE:
        layoutStatusBar(hwnd);
        return 0;
    case plat::WM_COMMAND:
        if (plat::HIWORD(wParam) == 0 && lParam == 0) {
            DoMenuCommand(plat::LOWORD(wParam));
            return 0;
        }
        break;
    case plat::WM_CLOSE:
        QuitCommand();
        return 0;
    case plat::WM_WININICHANGE:
        // The printers may have changed: the next job takes the new default.
        ResetPrinterSetup();
        return 0;
    case plat::WM_SETFOCUS:
        // The keyboard goes on to the front document window. A front window that is not one of
        // the frame's (the find window) is left alone: handing it the focus would take away the
        // activation the frame has just been given, and each activation of the frame would bounce
        // to it.
        if (oWindow* front = FrontWindow();
            front && plat::IsChild(hwnd, HandleOfWindow(front->windowHandle())))
            front->takeFocus();
        else if (plat::HWND doc = frontDocumentWindow(hwnd))
            plat::SetFocus(doc);
        return 0;
    case plat::WM_DESTROY:
        // The bar outlives the frame: shut-down destroys it.
        plat::SetMenu(hwnd, nullptr);
        if (app.m_MainFrame == hwnd)
            app.m_MainFrame = nullptr;
        app.m_StatusBar = nullptr;
        return 0;
    default:
        if (message != 0 && message == s_fileOpenMessage) {
            HandleFileOpenRequest(wParam);
            return 0;
        }
        break;
    }
    return plat::DefWindowProc(hwnd, message, wParam, lParam);
}
