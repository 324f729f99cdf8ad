#pragma once
// Shared set-up of the window-system tests: a clean headless screen, a recording window class and
// captured diagnostic lines.

#include "plat/Dialog.h"
#include "plat/Gdi.h"
#include "plat/Input.h"
#include "plat/System.h"
#include "plat/Testing.h"
#include "plat/Window.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {

// Messages a recording window received, in order, as "name:message" with the window's text.
struct Received {
    plat::HWND hwnd;
    plat::UINT msg;
    plat::WPARAM wParam;
    plat::LPARAM lParam;
};

class WinTest : public ::testing::Test {
public:
    static plat::LRESULT recordProc(plat::HWND, plat::UINT, plat::WPARAM, plat::LPARAM);

protected:
    void SetUp() override;
    void TearDown() override;

    // A top-level window of the recording class ("Rec", or "RecDbl" with CS_DBLCLKS), visible,
    // with its client area at screen (x, y) sized w x h.
    plat::HWND top(const char* title, int x = 100, int y = 100, int w = 200, int h = 150,
                   bool dblclks = false);
    // A visible child of the recording class at client (x, y) of `parent`, sized w x h.
    plat::HWND child(plat::HWND parent, int id, int x, int y, int w, int h,
                     const char* cls = "Rec");
    // Messages received of one kind, in order.
    std::vector<Received> got(plat::UINT msg) const;
    std::vector<Received> gotBy(plat::HWND hwnd, plat::UINT msg) const;
    // Runs the queue until idle.
    void run() { plat::testing::runUntilIdle(); }

public:
    static std::vector<Received> s_received;
    static std::vector<std::string> s_diagnostics;
};

} // namespace kvtest
