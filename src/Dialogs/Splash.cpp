#include "Dialogs/Splash.h"

#include "Dialogs/AboutDialogs.h"
#include "OverPc/Portdc.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/Pwindow.h"
#include "OverSrcs/oWindows.h"
#include "plat/Dialog.h"
#include "plat/Gdi.h"
#include "plat/Resources.h"
#include "plat/Window.h"

#include <string_view>
#include <vector>

namespace {

plat::HWND s_splash = nullptr;
int s_dismissal = kSplashShowing;
bool s_wanted = false;
plat::HWND s_floating = nullptr;
plat::HWND s_document = nullptr;

bool isPaneWindow(plat::HWND hwnd) {
    char name[64];
    return plat::GetClassName(hwnd, name, sizeof name) > 0 &&
           std::string_view(name) == kPaneWindowClass;
}

// The first live window of the program whose kind has `flag` (floating tool windows are top-level,
// document windows children of the frame).
plat::HWND findWindowOfKind(int32_t flag) {
    std::vector<plat::HWND> candidates;
    const plat::HWND frame = CQVApp::instance().m_MainFrame;
    if (frame && plat::IsWindow(frame)) {
        for (plat::HWND w = plat::GetWindow(frame, plat::GW_CHILD); w;
             w = plat::GetWindow(w, plat::GW_HWNDNEXT))
            candidates.push_back(w);
    }
    const plat::HWND anyTop = frame && plat::IsWindow(frame) ? frame : s_splash;
    if (anyTop) {
        for (plat::HWND w = plat::GetWindow(anyTop, plat::GW_HWNDFIRST); w;
             w = plat::GetWindow(w, plat::GW_HWNDNEXT))
            candidates.push_back(w);
    }
    for (plat::HWND w : candidates) {
        if (!isPaneWindow(w))
            continue;
        if (oWindow* window = WindowOfHandle(w); window && (window->kind() & flag) != 0)
            return w;
    }
    return nullptr;
}

plat::HWND FindFloatingWindow() {
    return findWindowOfKind(kWindowFloating);
}

plat::HWND FindDocumentWindow() {
    return findWindowOfKind(kWindowChildOfFrame);
}

void initSplash(plat::HWND dialog, plat::WPARAM wParam, plat::LPARAM lParam) {
    CurrentDialog = dialog;
    SplashScreenDlgProc(dialog, plat::WM_INITDIALOG, wParam, lParam);
    // A bare topmost picture: no caption, no frame.
    plat::SetWindowLongPtr(dialog, plat::GWL_STYLE, static_cast<plat::LONG_PTR>(plat::WS_POPUP));
    plat::SetWindowLongPtr(dialog, plat::GWL_EXSTYLE,
                           static_cast<plat::LONG_PTR>(plat::WS_EX_TOPMOST));
    plat::SetWindowPos(dialog, nullptr, 0, 0, 0, 0,
                       plat::SWP_NOSIZE | plat::SWP_NOMOVE | plat::SWP_NOZORDER |
                           plat::SWP_FRAMECHANGED);
    // Inside the one-pixel frame drawn around the picture.
    for (plat::HWND child = plat::GetWindow(dialog, plat::GW_CHILD); child;
         child = plat::GetWindow(child, plat::GW_HWNDNEXT)) {
        plat::RECT r{};
        plat::GetWindowRect(child, &r);
        plat::POINT topLeft{r.left, r.top};
        plat::ScreenToClient(dialog, &topLeft);
        plat::SetWindowPos(child, nullptr, topLeft.x + 1, topLeft.y + 1, 0, 0,
                           plat::SWP_NOSIZE | plat::SWP_NOZORDER | plat::SWP_NOACTIVATE);
    }
    plat::ShowWindow(dialog, plat::SW_SHOW);
    plat::RedrawWindow(dialog, nullptr, nullptr, plat::RDW_INVALIDATE | plat::RDW_UPDATENOW);
    plat::SetTimer(dialog, kSplashTimerId, kSplashMilliseconds, nullptr);
}

void paintSplash(plat::HWND dialog) {
    plat::PAINTSTRUCT ps;
    plat::HDC dc = plat::BeginPaint(dialog, &ps);
    DrawDialogBitmap(dialog, dc, kSplashBitmapId, 1, 1, kBitmapTransparent);
    plat::RECT client{};
    plat::GetClientRect(dialog, &client);
    plat::FrameRect(dc, &client,
                    static_cast<plat::HBRUSH>(plat::GetStockObject(plat::BLACK_BRUSH)));
    plat::EndPaint(dialog, &ps);
}

} // namespace

plat::INT_PTR SplashDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                            plat::LPARAM lParam) {
    switch (message) {
    case plat::WM_INITDIALOG:
        initSplash(dialog, wParam, lParam);
        return plat::TRUE;
    case plat::WM_PAINT:
        paintSplash(dialog);
        return plat::TRUE;
    case plat::WM_CTLCOLORDLG:
    case plat::WM_CTLCOLORSTATIC:
        return reinterpret_cast<plat::INT_PTR>(plat::GetStockObject(plat::WHITE_BRUSH));
    case plat::WM_TIMER:
        s_dismissal = kSplashByTimer;
        plat::KillTimer(dialog, kSplashTimerId);
        return plat::TRUE;
    case plat::WM_KEYDOWN:
    case plat::WM_LBUTTONDOWN:
    case plat::WM_LBUTTONDBLCLK:
    case plat::WM_RBUTTONDOWN:
    case plat::WM_RBUTTONDBLCLK:
        s_dismissal = kSplashByUser;
        return plat::FALSE;
    case plat::WM_QUERYNEWPALETTE:
        RealizeAppPalette(dialog, message);
        return plat::TRUE;
    case plat::WM_PALETTECHANGED:
        if (reinterpret_cast<plat::HWND>(wParam) != dialog)
            RealizeAppPalette(dialog, message);
        return plat::TRUE;
    case plat::WM_DESTROY:
        // The position is not kept: the splash always opens centred.
        if (CurrentDialog == dialog)
            CurrentDialog = nullptr;
        return plat::TRUE;
    default:
        return plat::FALSE;
    }
}

void ShowSplash() {
    CQVApp& app = CQVApp::instance();
    s_wanted = !app.m_NoSplash;
    if (!s_wanted)
        return;
    if (!plat::FindDialogTemplate(app.m_hResources, plat::MAKEINTRESOURCE(kSplashDialogId))) {
        s_wanted = false;
        return;
    }
    s_dismissal = kSplashShowing;
    s_splash = plat::CreateDialogParam(app.m_hResources, plat::MAKEINTRESOURCE(kSplashDialogId),
                                       plat::GetDesktopWindow(), &SplashDlgProc, 0);
    if (!s_splash)
        s_wanted = false;
}

void RunSplashUntilDismissed() {
    if (!s_wanted || !s_splash || !plat::IsWindow(s_splash))
        return;
    if (!s_floating || !plat::IsWindow(s_floating))
        s_floating = FindFloatingWindow();
    if (!s_document || !plat::IsWindow(s_document))
        s_document = FindDocumentWindow();
    plat::MSG msg;
    while (s_dismissal == kSplashShowing) {
        const plat::BOOL got = plat::GetMessage(&msg, s_splash, 0, 0);
        if (got == 0 || got == -1)
            break;
        plat::TranslateMessage(&msg);
        plat::DispatchMessage(&msg);
    }
    plat::ShowWindow(s_splash, plat::SW_HIDE);
    plat::DestroyWindow(s_splash);
    s_splash = nullptr;
    s_dismissal = kSplashShowing;
    if (s_floating && plat::IsWindow(s_floating)) {
        plat::ShowWindow(s_floating, plat::SW_SHOW);
        plat::InvalidateRect(s_floating, nullptr, plat::TRUE);
        plat::SetActiveWindow(s_floating);
        plat::UpdateWindow(s_floating);
    } else if (s_document && plat::IsWindow(s_document)) {
        plat::SetActiveWindow(s_document);
        plat::UpdateWindow(s_document);
    }
    s_wanted = false;
}

void CloseSplash() {
    if (s_splash && plat::IsWindow(s_splash))
        plat::DestroyWindow(s_splash);
    s_splash = nullptr;
    s_dismissal = kSplashShowing;
    s_wanted = false;
}

plat::HWND SplashWindow() {
    return s_splash;
}

int SplashDismissState() {
    return s_dismissal;
}

bool SplashWanted() {
    return s_wanted;
}
