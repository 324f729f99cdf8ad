// Keys pressed on the X server reach a window as the key and character messages the program
// expects: editing and movement keys give a key message and no character, so that Delete or an
// arrow never inserts a control character into an expression. Asking for a key's state many times
// in a row (as a long walk checking for Escape does) does not ask the server each time.

#include "SmokeSupport.h"
#include "backend/Backend.h"
#include "plat/Input.h"
#include "plat/System.h"
#include "plat/Window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <chrono>
#include <cstdio>
#include <dlfcn.h>
#include <string>
#include <vector>

// Every keyboard query the program sends to the server passes here on its way to the library.
int s_keymapQueries = 0;

extern "C" int XQueryKeymap(Display* display, char keys[32]) {
    using Real = int (*)(Display*, char*);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "XQueryKeymap"));
    ++s_keymapQueries;
    return real(display, keys);
}

namespace {

std::vector<plat::WPARAM> s_keys, s_chars;

plat::LRESULT proc(plat::HWND hwnd, plat::UINT msg, plat::WPARAM wParam, plat::LPARAM lParam) {
    if (msg == plat::WM_KEYDOWN)
        s_keys.push_back(wParam);
    else if (msg == plat::WM_CHAR)
        s_chars.push_back(wParam);
    return plat::DefWindowProc(hwnd, msg, wParam, lParam);
}

} // namespace

int main() {
    if (!kvtest::OpenDisplayWithClass("Keys", &proc))
        return 1;
    plat::HWND w =
        plat::CreateWindowEx(0, "Keys", "KeyTarget", plat::WS_OVERLAPPEDWINDOW | plat::WS_VISIBLE,
                             40, 40, 300, 200, nullptr, nullptr, nullptr, nullptr);
    plat::SetFocus(w);
    kvtest::Pump(300);
    Display* d = XOpenDisplay(nullptr);
    ::Window xw = 0;
    for (auto& [name, window] : kvtest::TopWindows(d))
        if (name == "KeyTarget")
            xw = window;
    if (!xw) {
        std::fputs("smoke: the test window is not on the server\n", stderr);
        return 1;
    }
    struct Case {
        KeySym sym;
        unsigned state;
        int vk;
        int ch; // the WM_CHAR expected, 0 for none
    } const cases[] = {
        {XK_a, 0, 'A', 'a'},
        {XK_a, ShiftMask, 'A', 'A'},
        {XK_Delete, 0, plat::VK_DELETE, 0},
        {XK_Delete, ShiftMask, plat::VK_DELETE, 0},
        {XK_KP_Delete, 0, plat::VK_DELETE, 0},
        {XK_Home, ControlMask, plat::VK_HOME, 0},
        {XK_BackSpace, 0, plat::VK_BACK, 0x08},
        {XK_Return, 0, plat::VK_RETURN, 0x0D},
        {XK_Escape, 0, plat::VK_ESCAPE, 0x1B},
    };
    int failures = 0;
    for (const Case& c : cases) {
        s_keys.clear();
        s_chars.clear();
        kvtest::SendKey(d, xw, c.sym, c.state);
        kvtest::Pump(150);
        const bool keyOk = s_keys.size() == 1 && static_cast<int>(s_keys[0]) == c.vk;
        const bool charOk =
            c.ch ? s_chars.size() == 1 && static_cast<int>(s_chars[0]) == c.ch : s_chars.empty();
        if (!keyOk || !charOk) {
            std::fprintf(stderr, "smoke: keysym 0x%lx state %u: %zu key(s) %d, %zu char(s) %d\n",
                         static_cast<unsigned long>(c.sym), c.state, s_keys.size(),
                         s_keys.empty() ? -1 : static_cast<int>(s_keys[0]), s_chars.size(),
                         s_chars.empty() ? -1 : static_cast<int>(s_chars[0]));
            ++failures;
        }
    }
    // Each query is a round trip to the server: the keyboard is asked again only after 20 ms,
    // however often the program asks for a key.
    const int queriesBefore = s_keymapQueries;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 2000; ++i)
        (void)plat::GetAsyncKeyState(plat::VK_ESCAPE);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    const int queries = s_keymapQueries - queriesBefore;
    if (queries < 1 || queries > ms / 20 + 2) {
        std::fprintf(stderr, "smoke: 2000 key states asked the server %d times in %lld ms\n",
                     queries, static_cast<long long>(ms));
        ++failures;
    }
    XCloseDisplay(d);
    plat::DestroyWindow(w);
    if (failures)
        return 1;
    std::puts("smoke: keys give the expected key and character messages");
    return 0;
}
