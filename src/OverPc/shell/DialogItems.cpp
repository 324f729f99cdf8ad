#include "OverPc/shell/DialogItems.h"

#include "OverPc/PERROR.h"
#include "OverPc/shell/CQVApp.h"
#include "plat/Window.h"

#include <algorithm>
#include <vector>

namespace {

std::vector<plat::HWND>& widgetWindows() {
    static std::vector<plat::HWND> s_windows;
    return s_windows;
}

// One entry per disable still waiting for its enable: the windows that call disabled.
std::vector<std::vector<plat::HWND>>& disabledStack() {
    static std::vector<std::vector<plat::HWND>> s_stack;
    return s_stack;
}

bool isLive(plat::HWND hwnd) {
    return hwnd != nullptr && hwnd != kSystemDialogRunning && plat::IsWindow(hwnd);
}

} // namespace

plat::HWND GetModalOwnerWindow(bool noFallback) {
    const plat::HWND frame = CQVApp::instance().m_MainFrame;
    if (isLive(frame))
        return frame;
    if (isLive(CurrentDialog))
        return CurrentDialog;
    return noFallback ? nullptr : plat::GetActiveWindow();
}

void RegisterWidgetWindow(plat::HWND hwnd) {
    auto& w = widgetWindows();
    if (hwnd != nullptr && std::find(w.begin(), w.end(), hwnd) == w.end())
        w.push_back(hwnd);
}

void UnregisterWidgetWindow(plat::HWND hwnd) {
    auto& w = widgetWindows();
    w.erase(std::remove(w.begin(), w.end(), hwnd), w.end());
}

void EnableWidgetWindows(plat::HWND skip, bool enable) {
    std::vector<plat::HWND> all = widgetWindows();
    const plat::HWND frame = CQVApp::instance().m_MainFrame;
    if (frame != nullptr && std::find(all.begin(), all.end(), frame) == all.end())
        all.push_back(frame);
    if (!enable) {
        std::vector<plat::HWND> disabled;
        for (plat::HWND w : all) {
            if (w == skip || !isLive(w) || !plat::IsWindowEnabled(w))
                continue;
            plat::EnableWindow(w, plat::FALSE);
            disabled.push_back(w);
        }
        disabledStack().push_back(std::move(disabled));
        return;
    }
    if (!disabledStack().empty()) {
        const std::vector<plat::HWND> disabled = std::move(disabledStack().back());
        disabledStack().pop_back();
        for (plat::HWND w : disabled)
            if (isLive(w))
                plat::EnableWindow(w, plat::TRUE);
        return;
    }
    for (plat::HWND w : all)
        if (w != skip && isLive(w))
            plat::EnableWindow(w, plat::TRUE);
}

int CommonDialogErrorCode(unsigned code) {
    if ((code >= 1 && code <= 8) || code == 11)
        return errUnplanned;
    if (code == 9 || code == 10)
        return errNoMemory;
    if ((code >= 0x1001 && code <= 0x1007) || code == 0x1009)
        return errPrinterCheck;
    switch (code) {
    case PDERR_NODEFAULTPRN:
        return errNoDefaultPrinter;
    case PDERR_CREATEICFAILURE:
        return errUnplanned;
    case PDERR_PRINTERNOTFOUND:
        return errPrinterNotFound;
    case CFERR_NOFONTS:
        return errFontsLoad;
    case FNERR_SUBCLASSFAILURE:
    case FNERR_INVALIDFILENAME:
    case FNERR_BUFFERTOOSMALL:
    case CDERR_DIALOGFAILURE:
        return errUnplanned;
    default:
        return 0;
    }
}

int ReportCommonDialogError(unsigned code) {
    if (code == 0)
        return 0;
    if (const int error = CommonDialogErrorCode(code); error != 0)
        ErrorAlert(error);
    return 1;
}
