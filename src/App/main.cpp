// Entry of the editor: opens the display, makes the main window and runs the message loop.

#include "plat/Window.h"

#include <cstdio>

namespace {

plat::LRESULT frameProc(plat::HWND hwnd, plat::UINT msg, plat::WPARAM wParam, plat::LPARAM lParam) {
    if (msg == plat::WM_DESTROY) {
        plat::PostQuitMessage(0);
        return 0;
    }
    return plat::DefWindowProc(hwnd, msg, wParam, lParam);
}

} // namespace

int main() {
    if (!plat::OpenDisplay()) {
        std::fputs("korvaline: cannot open the X display; set DISPLAY to run the editor\n", stderr);
        return 1;
    }
    plat::WNDCLASS wc;
    wc.lpfnWndProc = &frameProc;
    wc.lpszClassName = "KorvalineFrame";
    wc.hCursor = plat::LoadCursor(nullptr, plat::IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<plat::HBRUSH>(plat::COLOR_APPWORKSPACE + 1);
    if (!plat::RegisterClass(&wc)) {
        std::fputs("korvaline: cannot register the main window class\n", stderr);
        return 1;
    }
    plat::HWND frame = plat::CreateWindowEx(
        0, "KorvalineFrame", "Korvaline", plat::WS_OVERLAPPEDWINDOW | plat::WS_VISIBLE,
        plat::CW_USEDEFAULT, plat::CW_USEDEFAULT, 800, 600, nullptr, nullptr, nullptr, nullptr);
    if (!frame) {
        std::fputs("korvaline: cannot create the main window\n", stderr);
        return 1;
    }
    plat::MSG msg;
    while (plat::GetMessage(&msg, nullptr, 0, 0) > 0) {
        plat::TranslateMessage(&msg);
        plat::DispatchMessage(&msg);
    }
    return static_cast<int>(msg.wParam);
}
