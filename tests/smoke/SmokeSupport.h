#pragma once
// What the X11 smoke programs share: opening the display with one window class, and serving the
// queue.

#include "backend/Backend.h"
#include "plat/System.h"
#include "plat/Window.h"

#include <X11/Xlib.h>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

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

// Sends a key press and its release with `state` to X window `w`, as another client would.
inline void SendKey(Display* d, ::Window w, KeySym sym, unsigned state = 0) {
    XKeyEvent k{};
    k.display = d;
    k.window = w;
    k.root = DefaultRootWindow(d);
    k.same_screen = True;
    k.state = state;
    k.keycode = XKeysymToKeycode(d, sym);
    for (int type : {KeyPress, KeyRelease}) {
        k.type = type;
        XSendEvent(d, w, True, type == KeyPress ? KeyPressMask : KeyReleaseMask,
                   reinterpret_cast<XEvent*>(&k));
    }
    XFlush(d);
}

// Dispatches every message waiting in the queue.
inline void DispatchPending() {
    plat::MSG msg;
    while (plat::PeekMessage(&msg, nullptr, 0, 0, plat::PM_REMOVE)) {
        plat::TranslateMessage(&msg);
        plat::DispatchMessage(&msg);
    }
}

// Serves the queue for `ms` milliseconds.
inline void Pump(int ms) {
    const plat::DWORD start = plat::GetTickCount();
    while (plat::GetTickCount() - start < static_cast<plat::DWORD>(ms)) {
        DispatchPending();
        plat::backend().wait(20);
    }
}

// The first window named WM_NAME at or below `w` (a window manager's frame holds the client it
// decorates), with its name; 0 when there is none.
inline ::Window NamedWindowAt(Display* d, ::Window w, std::string& name, int depth = 0) {
    char* text = nullptr;
    if (XFetchName(d, w, &text) && text) {
        name = text;
        XFree(text);
        return w;
    }
    ::Window rootReturn = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    ::Window found = 0;
    if (depth < 3 && XQueryTree(d, w, &rootReturn, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && !found; ++i)
            found = NamedWindowAt(d, children[i], name, depth + 1);
        if (children)
            XFree(children);
    }
    return found;
}

// The named top-level windows, bottom to top, as the client on `d` sees them: the root's children
// or, under a window manager, the clients in its frames.
inline std::vector<std::pair<std::string, ::Window>> TopWindows(Display* d) {
    std::vector<std::pair<std::string, ::Window>> named;
    ::Window rootReturn = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (d && XQueryTree(d, DefaultRootWindow(d), &rootReturn, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; ++i) {
            std::string name;
            if (::Window w = NamedWindowAt(d, children[i], name))
                named.emplace_back(name, w);
        }
        if (children)
            XFree(children);
    }
    return named;
}

} // namespace kvtest
