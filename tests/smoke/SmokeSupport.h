#pragma once
// What the X11 smoke programs share: opening the display with one window class, and serving the
// queue.

#include "plat/Window.h"

#include <cstdio>

namespace kvtest {

// Opens the X display and registers `className` with `proc`; false (with a line on stderr when
// there is no display) when either fails.
inline bool OpenDisplayWithClass(const char* className, plat::WNDPROC proc) {
    if (!plat::OpenDisplay()) {
        std::fputs("smoke: no X display\n", stderr);
        return false;
    }
    plat::WNDCLASS wc;
    wc.lpfnWndProc = proc;
    wc.lpszClassName = className;
    return plat::RegisterClass(&wc) != 0;
}

// Dispatches every message waiting in the queue.
inline void DispatchPending() {
    plat::MSG msg;
    while (plat::PeekMessage(&msg, nullptr, 0, 0, plat::PM_REMOVE)) {
        plat::TranslateMessage(&msg);
        plat::DispatchMessage(&msg);
    }
}

} // namespace kvtest
