#include "Dialogs/AboutDialogs.h"

#include "Dialogs/DialogFrame.h"
#include "OverPc/Presourc.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/Pwindow.h"
#include "plat/Dialog.h"
#include "plat/Window.h"

#include <cstdint>

namespace {

const DialogFrame& aboutFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kAboutDialogId;
        f.closingButtons = {{kAboutCreditsButton, 2}};
        f.pictures = {{kAboutBitmapId, 0, 0, kBitmapTransparent}};
        // The version line is the string table's, whatever the template says.
        f.init = [](plat::HWND) {
            SetItemText(kAboutVersionItem, LoadResString(kVersionStringId));
        };
        return f;
    }();
    return frame;
}

const DialogFrame& creditsFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kCreditsDialogId;
        f.pictures = {{kCreditsBitmapId, 0, 0, kBitmapTransparent}};
        return f;
    }();
    return frame;
}

const DialogFrame& splashFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kSplashDialogId;
        f.pictures = {{kSplashBitmapId, 0, 0, kBitmapTransparent}};
        return f;
    }();
    return frame;
}

// Commands other than the dialog's own buttons do nothing: Escape (IDCANCEL) leaves these
// dialogs open.
bool ignoredCommand(plat::UINT message, plat::WPARAM wParam, int otherButton) {
    if (message != plat::WM_COMMAND)
        return false;
    const int id = plat::LOWORD(wParam);
    if (id == plat::IDOK || (otherButton != 0 && id == otherButton))
        return false;
    SnapshotModifierKeys();
    return true;
}

} // namespace

plat::INT_PTR AboutDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                           plat::LPARAM lParam) {
    if (ignoredCommand(message, wParam, kAboutCreditsButton))
        return plat::TRUE;
    const plat::INT_PTR handled = HandleDialogFrame(aboutFrame(), dialog, message, wParam, lParam);
    if (message == plat::WM_INITDIALOG) {
        // Enter means OK, the default button, even though "Remerciements" comes first in the tab
        // order: the focus starts on OK.
        plat::SetFocus(plat::GetDlgItem(dialog, plat::IDOK));
        return plat::FALSE;
    }
    return handled;
}

plat::INT_PTR CreditsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                             plat::LPARAM lParam) {
    if (ignoredCommand(message, wParam, 0))
        return plat::TRUE;
    return HandleDialogFrame(creditsFrame(), dialog, message, wParam, lParam);
}

plat::INT_PTR SplashScreenDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                  plat::LPARAM lParam) {
    // No command ends the splash.
    if (message == plat::WM_COMMAND) {
        SnapshotModifierKeys();
        return plat::TRUE;
    }
    return HandleDialogFrame(splashFrame(), dialog, message, wParam, lParam);
}

int32_t RunAboutDlg(void* argument) {
    return LaunchDialog(kAboutDialogId, &AboutDlgProc, reinterpret_cast<std::uintptr_t>(argument));
}

int32_t RunCreditsDlg(void* argument) {
    return LaunchDialog(kCreditsDialogId, &CreditsDlgProc,
                        reinterpret_cast<std::uintptr_t>(argument));
}

int32_t RunSplashScreenDlg(void* argument) {
    return LaunchDialog(kSplashDialogId, &SplashScreenDlgProc,
                        reinterpret_cast<std::uintptr_t>(argument));
}

int32_t ShowAboutBox() {
    uint8_t aboutArgument = 0;
    uint8_t creditsArgument = 0;
    const int32_t about = RunAboutDlg(&aboutArgument);
    if (about != 2)
        return about - 2;
    return RunCreditsDlg(&creditsArgument);
}
