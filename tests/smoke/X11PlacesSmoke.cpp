// Top-level windows keep their place under a window manager: a window made again at the place read
// back from the last one (GetWindowRect, as the program remembers the frame, the palette, the find
// window and its dialogs) shows its client area exactly where the last one was, and a window moved
// while shown (MoveWindow) has its client area where it was asked. The program's idea of each
// place matches what a second connection reads from the server. Each kind of window is made
// active before it is shown, the way a dialog starts; no X error may come of it (the keyboard
// given to a window that is not viewable yet fails with BadMatch).

#include "SmokeSupport.h"
#include "backend/Backend.h"
#include "plat/Dialog.h"
#include "plat/System.h"
#include "plat/Window.h"

#include <X11/Xlib.h>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

Display* s_d = nullptr; // the observer's connection
int s_failures = 0;
int s_xErrors = 0;

void check(bool ok, const std::string& what) {
    if (!ok) {
        std::fprintf(stderr, "smoke: %s\n", what.c_str());
        ++s_failures;
    }
}

void onDiagnostic(const char* line) {
    std::fprintf(stderr, "smoke: diagnostic: %s\n", line);
    if (std::strncmp(line, "X error", 7) == 0)
        ++s_xErrors;
}

plat::LRESULT proc(plat::HWND h, plat::UINT m, plat::WPARAM w, plat::LPARAM l) {
    return plat::DefWindowProc(h, m, w, l);
}

std::string text(plat::POINT p) {
    return std::to_string(p.x) + "," + std::to_string(p.y);
}

// Where the server shows the client window named `title`, in root coordinates; false while it is
// not shown.
bool serverOrigin(const std::string& title, plat::POINT& at) {
    XSync(s_d, False);
    for (const auto& [name, w] : kvtest::TopWindows(s_d)) {
        if (name != title)
            continue;
        XWindowAttributes wa;
        if (!XGetWindowAttributes(s_d, w, &wa) || wa.map_state != IsViewable)
            continue;
        int x = 0, y = 0;
        ::Window child = 0;
        if (XTranslateCoordinates(s_d, w, DefaultRootWindow(s_d), 0, 0, &x, &y, &child)) {
            at = plat::POINT{x, y};
            return true;
        }
    }
    return false;
}

plat::POINT modelOrigin(plat::HWND h) {
    plat::POINT p{0, 0};
    plat::ClientToScreen(h, &p);
    return p;
}

// Serves the queue until the server shows the window at the same place twice in a row, 150 ms
// apart, and the program agrees with it (at most three seconds); the server's place.
plat::POINT settle(plat::HWND h, const std::string& title) {
    plat::POINT last{-100000, -100000};
    plat::POINT now{-100000, -100000};
    for (int i = 0; i < 20; ++i) {
        kvtest::Pump(150);
        const bool shown = serverOrigin(title, now);
        const plat::POINT model = modelOrigin(h);
        if (shown && now.x == last.x && now.y == last.y && model.x == now.x && model.y == now.y)
            return now;
        if (shown)
            last = now;
    }
    check(serverOrigin(title, now), title + ": never shown");
    const plat::POINT model = modelOrigin(h);
    check(model.x == now.x && model.y == now.y, title + ": the program puts the client at " +
                                                    text(model) + ", the server shows it at " +
                                                    text(now));
    return now;
}

struct Kind {
    const char* title;
    plat::DWORD exStyle;
    plat::DWORD style;
    bool owned;
};

} // namespace

int main() {
    if (!kvtest::OpenDisplayWithClass("Places", &proc))
        return 1;
    plat::SetDiagnosticSink(&onDiagnostic);
    s_d = XOpenDisplay(nullptr);
    if (!s_d)
        return 1;
    // The owner of the tool window and the dialog, out of their way.
    const plat::HWND owner =
        plat::CreateWindowEx(0, "Places", "Propri\xe9taire", plat::WS_OVERLAPPEDWINDOW, 700, 500,
                             300, 200, nullptr, nullptr, nullptr, nullptr);
    plat::ShowWindow(owner, plat::SW_SHOW);
    kvtest::Pump(300);

    // The frame, a floating tool window (the palette, the find window), a dialog.
    const Kind kinds[] = {
        {"Cadre", 0, plat::WS_OVERLAPPEDWINDOW, false},
        {"Outil", plat::WS_EX_TOOLWINDOW, plat::WS_POPUP | plat::WS_CAPTION | plat::WS_SYSMENU,
         true},
        {"Dialogue", 0, plat::WS_POPUP | plat::WS_CAPTION | plat::WS_SYSMENU | plat::DS_MODALFRAME,
         true},
    };
    for (const Kind& kind : kinds) {
        const std::string title = kind.title;
        plat::RECT place{120, 150, 120 + 320, 150 + 200};
        plat::POINT first{0, 0};
        for (int round = 0; round < 3; ++round) {
            const plat::HWND h =
                plat::CreateWindowEx(kind.exStyle, "Places", kind.title, kind.style, place.left,
                                     place.top, place.right - place.left, place.bottom - place.top,
                                     kind.owned ? owner : nullptr, nullptr, nullptr, nullptr);
            plat::SetActiveWindow(h);
            plat::ShowWindow(h, plat::SW_SHOW);
            const plat::POINT shown = settle(h, title);
            if (round == 0)
                first = shown;
            else
                check(shown.x == first.x && shown.y == first.y,
                      title + " made again " + std::to_string(round) +
                          " times at its last place: "
                          "client at " +
                          text(shown) + ", first at " + text(first));

            // Moved while shown: the client goes where the program asks.
            plat::RECT r;
            plat::GetWindowRect(h, &r);
            plat::MoveWindow(h, r.left + 40, r.top + 30, r.right - r.left, r.bottom - r.top,
                             plat::TRUE);
            const plat::POINT moved = settle(h, title);
            check(moved.x == shown.x + 40 && moved.y == shown.y + 30,
                  title + " moved by 40,30: client at " + text(moved) + ", from " + text(shown));
            plat::MoveWindow(h, r.left, r.top, r.right - r.left, r.bottom - r.top, plat::TRUE);
            settle(h, title);

            plat::GetWindowRect(h, &place);
            plat::DestroyWindow(h);
            kvtest::Pump(200);
        }
    }
    plat::DestroyWindow(owner);
    kvtest::Pump(100);
    check(s_xErrors == 0, std::to_string(s_xErrors) + " X errors");
    XCloseDisplay(s_d);
    if (s_failures == 0)
        std::puts("places smoke: ok");
    return s_failures == 0 ? 0 : 1;
}
