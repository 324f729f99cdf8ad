// Draws one scene through a native port on a real window and reads the pixels back from the
// display; the same program built on the headless back end draws the scene into its memory image
// and writes that as the reference. The two must agree pixel for pixel: the X11 path adds nothing
// of its own to what the drawing code produced.
//
//   headless build:  kv_smoke_port_reference OUT.rgb
//   X11 build:       kv_smoke_x11_ports REFERENCE.rgb   (under an X server)
// The pixel file holds width and height as two 32-bit words, then 0x00RRGGBB words row by row.
// With KV_SMOKE_PNG set, the headless build also saves its drawing there as a PNG file.

#include "BuiltinResources.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFONTS.h"
#include "OverPc/PGRAPHIC.h"
#include "OverPc/Portdc.h"
#include "OverSrcs/oWindows.h"
#include "backend/Backend.h"
#include "plat/Gdi.h"
#include "plat/Resources.h"
#include "plat/System.h"
#include "plat/Window.h"
#ifdef KV_SMOKE_HEADLESS
#include "plat/Testing.h"
#endif

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 240;
constexpr int kHeight = 160;

// A native port over a borrowed DC: the paint DC of the smoke window.
class PaintPort : public oNativePort {
public:
    explicit PaintPort(plat::HDC dc) {
        PortDevice* device = NewPortDevice(kDeviceListbox);
        device->borrowedDc = dc;
        adoptDevice(device);
        setDrawableSize(kWidth, kHeight);
        setResolution(21);
    }
    ~PaintPort() override { DropPortDcs(kDeviceListbox); }
};

void drawScene(oNativePort& port) {
    port.paintZone(Zone{0, 0, kWidth, kHeight, 0, 0}, kColorWhite);
    // Thin lines.
    port.startLine(1);
    port.moveTo(5, 5);
    port.lineTo(110, 30);
    port.lineTo(20, 60);
    port.endLine();
    // A thick patterned line over a yellow background colour.
    const Color yellow = kColorYellow;
    port.setColors(nullptr, &yellow);
    port.startDeluxeLine(6, kColorRed, 1, kDrawPaint);
    port.moveTo(10, 80);
    port.lineTo(120, 95);
    port.endLine();
    port.setColors(nullptr, nullptr);
    // A polygon, a circle, a horn and an integral sign.
    const oPoint star[] = {{140, 10}, {200, 20}, {150, 60}, {170, 5}, {230, 50}};
    port.paintPolygon(5, star, &kColorGreen, kDrawPaint, 1, 0);
    port.paintCircle(Zone{130, 70, 175, 115, 0, 0});
    port.paintHorn(Zone{185, 70, 215, 120, 0, 0}, 6, 1, 0);
    port.integralSign(Zone{10, 105, 40, 155, 0, 0}, 30, 2, 1, 6, 0);
    // Exclusive-or drawn twice leaves nothing; once leaves its mark.
    for (int i = 0; i < 2; ++i) {
        port.startDeluxeLine(3, kColorBlue, kLineSolid, kDrawXor);
        port.moveTo(0, 0);
        port.lineTo(kWidth - 1, kHeight - 1);
        port.endLine();
    }
    port.frameZone(Zone{100, 120, 125, 150, 0, 0}, 2, kColorCyan, kLineSolid, kDrawXor);
    // Text through the font manager.
    const int32_t font = FontIndexForFace("Times New Roman", 14, false, false, false);
    port.drawString("Korvaline x2+1", font, 90, 145);
    const int32_t bold = FontIndexForFace("Arial", 10, true, true, false);
    port.drawString("abc", bold, 190, 150);
}

plat::LRESULT proc(plat::HWND hwnd, plat::UINT msg, plat::WPARAM wParam, plat::LPARAM lParam) {
    if (msg == plat::WM_PAINT) {
        plat::PAINTSTRUCT ps;
        plat::HDC dc = plat::BeginPaint(hwnd, &ps);
        {
            PaintPort port(dc);
            drawScene(port);
        }
        plat::EndPaint(hwnd, &ps);
        return 0;
    }
    return plat::DefWindowProc(hwnd, msg, wParam, lParam);
}

[[maybe_unused]] bool writePixels(const std::string& path, const std::vector<uint32_t>& px, int w,
                                  int h) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const uint32_t size[2] = {static_cast<uint32_t>(w), static_cast<uint32_t>(h)};
    out.write(reinterpret_cast<const char*>(size), sizeof size);
    out.write(reinterpret_cast<const char*>(px.data()),
              static_cast<std::streamsize>(px.size() * sizeof(uint32_t)));
    return static_cast<bool>(out);
}

[[maybe_unused]] bool readPixels(const std::string& path, std::vector<uint32_t>& px, int& w,
                                 int& h) {
    std::ifstream in(path, std::ios::binary);
    uint32_t size[2] = {};
    if (!in.read(reinterpret_cast<char*>(size), sizeof size) || size[0] == 0 || size[1] == 0 ||
        size[0] > 4096 || size[1] > 4096)
        return false;
    w = static_cast<int>(size[0]);
    h = static_cast<int>(size[1]);
    px.assign(static_cast<size_t>(w) * h, 0);
    return static_cast<bool>(in.read(reinterpret_cast<char*>(px.data()),
                                     static_cast<std::streamsize>(px.size() * sizeof(uint32_t))));
}

// Distinct colours in the picture: a blank or one-colour window would match nothing drawn.
[[maybe_unused]] int colourCount(const std::vector<uint32_t>& px) {
    std::vector<uint32_t> seen;
    for (uint32_t p : px) {
        bool found = false;
        for (uint32_t s : seen)
            found = found || s == p;
        if (!found && seen.size() < 64)
            seen.push_back(p);
    }
    return static_cast<int>(seen.size());
}

void pump() {
    plat::MSG msg;
    while (plat::PeekMessage(&msg, nullptr, 0, 0, plat::PM_REMOVE)) {
        plat::TranslateMessage(&msg);
        plat::DispatchMessage(&msg);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PIXELS.rgb\n", argv[0]);
        return 2;
    }
    if (!plat::OpenDisplay()) {
        std::fputs("smoke: no display\n", stderr);
        return 1;
    }
    plat::RegisterBuiltinResources(BuiltinResourceTables());
    InitErrorSystem();
    InstallGraphicsFontHooks();
    InitGraphics();

    plat::WNDCLASS wc;
    wc.lpfnWndProc = &proc;
    wc.lpszClassName = "SmokePorts";
    if (!plat::RegisterClass(&wc))
        return 1;
    plat::HWND w =
        plat::CreateWindowEx(0, "SmokePorts", "Smoke", plat::WS_POPUP | plat::WS_VISIBLE, 40, 40,
                             kWidth, kHeight, nullptr, nullptr, nullptr, nullptr);
    if (!w)
        return 1;
    std::vector<uint32_t> px;
    int pw = 0, ph = 0;
#ifdef KV_SMOKE_HEADLESS
    pump();
    plat::UpdateWindow(w);
    const plat::testing::Image image = plat::testing::pixels(w);
    px = image.pixels;
    pw = image.width;
    ph = image.height;
    if (std::getenv("KV_SMOKE_PNG"))
        plat::testing::savePng(w, std::getenv("KV_SMOKE_PNG"));
    if (pw != kWidth || ph != kHeight || colourCount(px) < 5) {
        std::fprintf(stderr, "smoke: the memory image is %dx%d with %d colours\n", pw, ph,
                     colourCount(px));
        return 1;
    }
    if (!writePixels(argv[1], px, pw, ph)) {
        std::fprintf(stderr, "smoke: cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("smoke: the reference drawing has %d colours\n", colourCount(px));
    ShutdownGraphics();
    return 0;
#else
    std::vector<uint32_t> want;
    int ww = 0, wh = 0;
    if (!readPixels(argv[1], want, ww, wh) || ww != kWidth || wh != kHeight) {
        std::fprintf(stderr, "smoke: no usable reference in %s\n", argv[1]);
        return 1;
    }
    // Serve the queue until the server shows the drawing, for at most five seconds.
    const plat::DWORD start = plat::GetTickCount();
    while (plat::GetTickCount() - start < 5000) {
        pump();
        if (plat::backend().readBack(w, px, pw, ph) && pw == ww && ph == wh && px == want) {
            std::puts("smoke: the window shows exactly the reference drawing");
            plat::DestroyWindow(w);
            ShutdownGraphics();
            return 0;
        }
        plat::backend().wait(50);
    }
    int differ = 0, first = -1;
    if (pw == ww && ph == wh)
        for (size_t i = 0; i < px.size(); ++i)
            if (px[i] != want[i]) {
                ++differ;
                if (first < 0)
                    first = static_cast<int>(i);
            }
    std::fprintf(stderr, "smoke: read %dx%d; %d pixels differ from the reference\n", pw, ph,
                 differ);
    if (first >= 0)
        std::fprintf(stderr, "smoke: first at (%d, %d): 0x%06X, reference 0x%06X\n", first % ww,
                     first / ww, px[static_cast<size_t>(first)], want[static_cast<size_t>(first)]);
    return 1;
#endif
}
