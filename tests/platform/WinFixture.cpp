#include "platform/WinFixture.h"

namespace kvtest {

std::vector<Received> WinTest::s_received;
std::vector<std::string> WinTest::s_diagnostics;

plat::LRESULT WinTest::recordProc(plat::HWND hwnd, plat::UINT msg, plat::WPARAM wParam,
                                  plat::LPARAM lParam) {
    s_received.push_back(Received{hwnd, msg, wParam, lParam});
    return plat::DefWindowProc(hwnd, msg, wParam, lParam);
}

void WinTest::SetUp() {
    plat::testing::reset();
    s_received.clear();
    s_diagnostics.clear();
    plat::SetDiagnosticSink([](const char* line) { s_diagnostics.emplace_back(line); });
    plat::WNDCLASS wc;
    wc.lpfnWndProc = &recordProc;
    wc.lpszClassName = "Rec";
    wc.hbrBackground = reinterpret_cast<plat::HBRUSH>(plat::COLOR_WINDOW + 1);
    ASSERT_NE(0, plat::RegisterClass(&wc));
    wc.lpszClassName = "RecDbl";
    wc.style = plat::CS_DBLCLKS;
    ASSERT_NE(0, plat::RegisterClass(&wc));
}

void WinTest::TearDown() {
    plat::testing::reset();
    plat::SetDiagnosticSink(nullptr);
}

plat::HWND WinTest::top(const char* title, int x, int y, int w, int h, bool dblclks) {
    // A captioned window: frame 3 on each side and a caption of 18 above the client area.
    plat::HWND hwnd = plat::CreateWindowEx(0, dblclks ? "RecDbl" : "Rec", title,
                                           plat::WS_CAPTION | plat::WS_VISIBLE, x - 3, y - 21,
                                           w + 6, h + 24, nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(nullptr, hwnd);
    return hwnd;
}

plat::HWND WinTest::child(plat::HWND parent, int id, int x, int y, int w, int h, const char* cls) {
    plat::HWND hwnd = plat::CreateWindowEx(
        0, cls, "", plat::WS_CHILD | plat::WS_VISIBLE, x, y, w, h, parent,
        reinterpret_cast<plat::HMENU>(static_cast<std::uintptr_t>(id)), nullptr, nullptr);
    EXPECT_NE(nullptr, hwnd);
    return hwnd;
}

std::vector<Received> WinTest::got(plat::UINT msg) const {
    std::vector<Received> out;
    for (const auto& r : s_received) {
        if (r.msg == msg)
            out.push_back(r);
    }
    return out;
}

std::vector<Received> WinTest::gotBy(plat::HWND hwnd, plat::UINT msg) const {
    std::vector<Received> out;
    for (const auto& r : s_received) {
        if (r.msg == msg && r.hwnd == hwnd)
            out.push_back(r);
    }
    return out;
}

} // namespace kvtest
