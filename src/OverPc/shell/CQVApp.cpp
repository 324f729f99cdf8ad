#include "OverPc/shell/CQVApp.h"

#include "OverPc/PERROR.h"

CQVApp& CQVApp::instance() {
    static CQVApp s_app;
    return s_app;
}

plat::HWND CurrentDialog = nullptr;
bool MessageBoxUpFlag = false;

namespace {
void (*s_errorHandler)() = nullptr;
oWindow* s_frontWindow = nullptr;
} // namespace

oWindow* FrontWindow() {
    return s_frontWindow;
}

void SetFrontWindow(oWindow* window) {
    s_frontWindow = window;
}

void SetErrorMessage(const char* text, void (*handler)()) {
    SetErrorDetail(text);
    s_errorHandler = handler;
    (void)s_errorHandler;
}
