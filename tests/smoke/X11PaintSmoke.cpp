// Opens a real window on the X server, paints it through the paint cycle and reads the pixels
// back from the server: the whole path from WM_PAINT to the screen.

#include "SmokeSupport.h"
#include "backend/Backend.h"
#include "plat/Dialog.h"
#include "plat/Gdi.h"
#include "plat/Input.h"
#include "plat/System.h"
#include "plat/Window.h"

#include <cstdio>

namespace {

constexpr int kWidth = 120;
constexpr int kHeight = 80;

plat::LRESULT proc(plat::HWND hwnd, plat::UINT msg, plat::WPARAM wParam, plat::LPARAM lParam) {
    if (msg == plat::WM_PAINT) {
        plat::PAINTSTRUCT ps;
        plat::HDC dc = plat::BeginPaint(hwnd, &ps);
        // Left half red, right half blue.
        plat::HBRUSH red = plat::CreateSolidBrush(plat::RGB(255, 0, 0));
        plat::HBRUSH blue = plat::CreateSolidBrush(plat::RGB(0, 0, 255));
        const plat::RECT left{0, 0, kWidth / 2, kHeight};
        const plat::RECT right{kWidth / 2, 0, kWidth, kHeight};
        plat::FillRect(dc, &left, red);
        plat::FillRect(dc, &right, blue);
        plat::DeleteObject(red);
        plat::DeleteObject(blue);
        plat::EndPaint(hwnd, &ps);
        return 0;
    }
    return plat::DefWindowProc(hwnd, msg, wParam, lParam);
}

// Answers the message box from inside its modal loop: the timer runs while the box waits.
void answerBox(plat::HWND, plat::UINT, plat::UINT_PTR id, plat::DWORD) {
    plat::KillTimer(nullptr, id);
    plat::PostMessage(plat::GetActiveWindow(), plat::WM_KEYDOWN, plat::VK_ESCAPE, 1);
}

bool matches(const std::vector<std::uint32_t>& px, int w, int h) {
    if (w != kWidth || h != kHeight)
        return false;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::uint32_t want = x < kWidth / 2 ? 0xFF0000 : 0x0000FF;
            if (px[static_cast<std::size_t>(y) * w + x] != want)
                return false;
        }
    }
    return true;
}

} // namespace

int main() {
    if (!kvtest::OpenDisplayWithClass("Smoke", &proc))
        return 1;
    plat::HWND w = plat::CreateWindowEx(0, "Smoke", "Smoke", plat::WS_POPUP | plat::WS_VISIBLE, 50,
                                        50, kWidth, kHeight, nullptr, nullptr, nullptr, nullptr);
    if (!w)
        return 1;
    // Serve the queue until the server shows what we painted, for at most five seconds.
    const plat::DWORD start = plat::GetTickCount();
    std::vector<std::uint32_t> px;
    int pw = 0, ph = 0;
    while (plat::GetTickCount() - start < 5000) {
        kvtest::DispatchPending();
        if (plat::backend().readBack(w, px, pw, ph) && matches(px, pw, ph)) {
            std::puts("smoke: the window shows the painted pixels");
            plat::SetTimer(nullptr, 0, 300, &answerBox);
            const int answer = plat::MessageBox(w, "Smoke", "Korvaline",
                                                plat::MB_OKCANCEL | plat::MB_ICONQUESTION);
            if (answer != plat::IDCANCEL) {
                std::fprintf(stderr, "smoke: the message box answered %d, not Cancel\n", answer);
                return 1;
            }
            if (!plat::IsWindowEnabled(w) || plat::GetActiveWindow() != w) {
                std::fputs("smoke: the owner was not given back after the box\n", stderr);
                return 1;
            }
            plat::DestroyWindow(w);
            std::puts("smoke: the message box ran its loop and answered Cancel");
            return 0;
        }
        plat::backend().wait(50);
    }
    std::fprintf(stderr, "smoke: the window never showed the painted pixels (%dx%d read)\n", pw,
                 ph);
    if (!px.empty())
        std::fprintf(stderr, "smoke: first pixel 0x%06X, last 0x%06X\n", px.front(), px.back());
    return 1;
}
