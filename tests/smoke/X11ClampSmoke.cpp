// A window laid out for the 1920 x 1080 virtual screen, opened on a smaller X screen (the test runs
// at 1280 x 1024): it must land inside the real screen, and the program must hear the size it
// really got through WM_SIZE. A small window must keep its place and size exactly.

#include "SmokeSupport.h"
#include "backend/Backend.h"
#include "plat/System.h"
#include "plat/Window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cstdio>
#include <string>
#include <vector>

namespace {

int s_lastWidth = -1, s_lastHeight = -1;

plat::LRESULT proc(plat::HWND hwnd, plat::UINT msg, plat::WPARAM wParam, plat::LPARAM lParam) {
    if (msg == plat::WM_SIZE) {
        s_lastWidth = plat::LOWORD(static_cast<plat::WPARAM>(lParam));
        s_lastHeight = plat::HIWORD(static_cast<plat::WPARAM>(lParam));
    }
    return plat::DefWindowProc(hwnd, msg, wParam, lParam);
}

bool fail(const char* what) {
    std::fprintf(stderr, "smoke: %s\n", what);
    return false;
}

// Checks that w's client area lies inside the 1280 x 1024 screen, spans its width, and that the
// last WM_SIZE gave that size.
bool fitsTheScreen(plat::HWND w, const char* when) {
    kvtest::Pump(500);
    plat::RECT client;
    plat::GetClientRect(w, &client);
    plat::POINT origin{0, 0};
    plat::ClientToScreen(w, &origin);
    std::printf("smoke: %s: client %ldx%ld at (%ld, %ld), last WM_SIZE %dx%d\n", when,
                static_cast<long>(client.right), static_cast<long>(client.bottom),
                static_cast<long>(origin.x), static_cast<long>(origin.y), s_lastWidth,
                s_lastHeight);
    if (origin.x < 0 || origin.y < 0 || origin.x + client.right > 1280 ||
        origin.y + client.bottom > 1024)
        return fail("the big window runs off the screen");
    if (client.right != 1280)
        return fail("the big window was not narrowed to the screen width");
    if (s_lastWidth != client.right || s_lastHeight != client.bottom)
        return fail("WM_SIZE did not report the real client size");
    std::vector<std::uint32_t> px;
    int pw = 0, ph = 0;
    if (!plat::backend().readBack(w, px, pw, ph) || pw != 1280 || ph > 1024)
        return fail("the X window is not the clamped size");
    return true;
}

bool bigWindowIsClamped() {
    plat::HWND w =
        plat::CreateWindowEx(0, "Clamp", "Big", plat::WS_OVERLAPPEDWINDOW | plat::WS_VISIBLE, 96,
                             54, 1728, 972, nullptr, nullptr, nullptr, nullptr);
    if (!w)
        return fail("the big window was not created");
    if (!fitsTheScreen(w, "created"))
        return false;
    // Placed again for the virtual screen (as a saved position would be): clamped again.
    plat::SetWindowPos(w, nullptr, 96, 54, 1728, 972, plat::SWP_NOZORDER);
    if (!fitsTheScreen(w, "placed again"))
        return false;
    plat::DestroyWindow(w);
    return true;
}

bool smallWindowStaysExact() {
    plat::HWND w = plat::CreateWindowEx(0, "Clamp", "Small", plat::WS_POPUP | plat::WS_VISIBLE, 300,
                                        200, 240, 160, nullptr, nullptr, nullptr, nullptr);
    if (!w)
        return fail("the small window was not created");
    kvtest::Pump(300);
    plat::RECT r;
    plat::GetWindowRect(w, &r);
    if (r.left != 300 || r.top != 200 || r.right != 540 || r.bottom != 360)
        return fail("a window inside the screen was moved or resized");
    plat::DestroyWindow(w);
    return true;
}

// The names of the root's children, bottom to top, as a second client sees them.
std::vector<std::string> stackingOrder() {
    std::vector<std::string> names;
    Display* d = XOpenDisplay(nullptr);
    for (auto& [name, window] : kvtest::TopWindows(d))
        names.push_back(name);
    if (d)
        XCloseDisplay(d);
    return names;
}

int position(const std::vector<std::string>& order, const char* name) {
    for (std::size_t i = 0; i < order.size(); ++i)
        if (order[i] == name)
            return static_cast<int>(i);
    return -1;
}

// With no window manager, activating a frame (as after a modal dialog closes) must not bury the
// tool window it owns.
bool ownedWindowStaysAboveItsOwner() {
    plat::HWND frame =
        plat::CreateWindowEx(0, "Clamp", "Owner", plat::WS_OVERLAPPEDWINDOW | plat::WS_VISIBLE, 50,
                             50, 600, 400, nullptr, nullptr, nullptr, nullptr);
    plat::HWND tool = plat::CreateWindowEx(plat::WS_EX_TOOLWINDOW, "Clamp", "Owned",
                                           plat::WS_POPUP | plat::WS_CAPTION | plat::WS_VISIBLE, 80,
                                           80, 200, 60, frame, nullptr, nullptr, nullptr);
    if (!frame || !tool)
        return fail("the owner or its tool window was not created");
    kvtest::Pump(300);
    plat::SetActiveWindow(frame);
    plat::SetWindowPos(frame, nullptr, 0, 0, 0, 0,
                       plat::SWP_NOMOVE | plat::SWP_NOSIZE | plat::SWP_NOACTIVATE);
    kvtest::Pump(300);
    const std::vector<std::string> order = stackingOrder();
    const int owner = position(order, "Owner"), owned = position(order, "Owned");
    std::printf("smoke: stacking: owner %d, owned %d\n", owner, owned);
    if (owner < 0 || owned < 0 || owned < owner)
        return fail("raising the owner hid its tool window");
    plat::DestroyWindow(tool);
    plat::DestroyWindow(frame);
    return true;
}

} // namespace

int main() {
    if (!kvtest::OpenDisplayWithClass("Clamp", &proc))
        return 1;
    if (!bigWindowIsClamped() || !smallWindowStaysExact() || !ownedWindowStaysAboveItsOwner())
        return 1;
    std::puts("smoke: windows fit the real screen");
    return 0;
}
