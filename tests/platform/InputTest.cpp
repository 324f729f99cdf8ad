#include "platform/WinFixture.h"

#include <algorithm>

namespace {

using namespace kvtest;
namespace pt = plat::testing;
using plat::HWND;

class Input : public WinTest {};

struct KeyCase {
    int vk;
    unsigned mods;
    plat::UINT downMsg; // WM_KEYDOWN or WM_SYSKEYDOWN
    plat::UINT charMsg; // WM_CHAR, WM_SYSCHAR or 0
    unsigned ch;
};

TEST_F(Input, KeysBecomeVirtualKeysAndCp1252Characters) {
    const KeyCase cases[] = {
        {'A', 0, plat::WM_KEYDOWN, plat::WM_CHAR, 'a'},
        {'A', pt::kShift, plat::WM_KEYDOWN, plat::WM_CHAR, 'A'},
        {'C', pt::kCtrl, plat::WM_KEYDOWN, plat::WM_CHAR, 0x03},
        {'F', pt::kAlt, plat::WM_SYSKEYDOWN, plat::WM_SYSCHAR, 'f'},
        {'1', pt::kShift, plat::WM_KEYDOWN, plat::WM_CHAR, '!'},
        {plat::VK_RETURN, 0, plat::WM_KEYDOWN, plat::WM_CHAR, 0x0D},
        {plat::VK_BACK, 0, plat::WM_KEYDOWN, plat::WM_CHAR, 0x08},
        {plat::VK_ESCAPE, 0, plat::WM_KEYDOWN, plat::WM_CHAR, 0x1B},
        {plat::VK_TAB, 0, plat::WM_KEYDOWN, plat::WM_CHAR, 0x09},
        {plat::VK_LEFT, 0, plat::WM_KEYDOWN, 0, 0},
        {plat::VK_F10, 0, plat::WM_SYSKEYDOWN, 0, 0},
        {plat::VK_DELETE, pt::kCtrl, plat::WM_KEYDOWN, 0, 0},
    };
    HWND w = top("Main");
    run();
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "vk " << c.vk << " mods " << c.mods);
        s_received.clear();
        pt::key(c.vk, c.mods);
        run();
        const auto downs = got(c.downMsg);
        auto isKey = [&](const Received& r) { return r.wParam == static_cast<plat::WPARAM>(c.vk); };
        ASSERT_EQ(1, std::count_if(downs.begin(), downs.end(), isKey));
        const auto& d = *std::find_if(downs.begin(), downs.end(), isKey);
        EXPECT_EQ(w, d.hwnd);
        EXPECT_EQ(1, d.lParam & 0xFFFF) << "repeat count";
        EXPECT_EQ((c.mods & pt::kAlt) != 0, (d.lParam & plat::KF_ALTDOWN_BIT) != 0);
        const auto chars = c.charMsg ? got(c.charMsg) : std::vector<Received>{};
        const auto allChars = got(plat::WM_CHAR).size() + got(plat::WM_SYSCHAR).size();
        if (c.charMsg) {
            ASSERT_EQ(1u, chars.size());
            EXPECT_EQ(c.ch, chars[0].wParam);
            EXPECT_EQ(1u, allChars);
        } else {
            EXPECT_EQ(0u, allChars);
        }
    }
}

TEST_F(Input, TypedTextArrivesAsCp1252Characters) {
    HWND w = top("Main");
    run();
    s_received.clear();
    pt::type("a\xE9\x80Z;");
    run();
    std::string text;
    for (const auto& r : gotBy(w, plat::WM_CHAR))
        text += static_cast<char>(r.wParam);
    EXPECT_EQ("a\xE9\x80Z;", text);
}

TEST_F(Input, KeyStateFollowsTheMessageRetrieved) {
    HWND w = top("Main");
    run();
    pt::key('A', pt::kShift);
    plat::MSG m;
    bool sawA = false;
    while (plat::PeekMessage(&m, nullptr, 0, 0, plat::PM_REMOVE)) {
        if (m.message == plat::WM_KEYDOWN && m.wParam == 'A') {
            sawA = true;
            EXPECT_LT(plat::GetKeyState(plat::VK_SHIFT), 0) << "Shift is held for this key";
            EXPECT_LT(plat::GetKeyState('A'), 0);
            EXPECT_EQ('A', plat::GetKeyChars(m).base);
        }
    }
    EXPECT_TRUE(sawA);
    EXPECT_EQ(0, plat::GetKeyState(plat::VK_SHIFT));
    // Caps Lock toggles its low bit on each press.
    pt::key(plat::VK_CAPITAL);
    run();
    EXPECT_EQ(1, plat::GetKeyState(plat::VK_CAPITAL));
    pt::key(plat::VK_CAPITAL);
    run();
    EXPECT_EQ(0, plat::GetKeyState(plat::VK_CAPITAL));
    (void)w;
}

TEST_F(Input, AsyncStateSeesAnUnreadEscape) {
    top("Main");
    run();
    EXPECT_EQ(0, plat::GetAsyncKeyState(plat::VK_ESCAPE));
    pt::key(plat::VK_ESCAPE);
    EXPECT_NE(0, plat::GetAsyncKeyState(plat::VK_ESCAPE) & 0x8000);
    run();
    EXPECT_EQ(0, plat::GetAsyncKeyState(plat::VK_ESCAPE));
}

TEST_F(Input, FocusRoutesKeysAndDisablingDropsIt) {
    HWND w = top("Main");
    HWND a = child(w, 1, 0, 0, 50, 20);
    HWND b = child(w, 2, 0, 30, 50, 20);
    run();
    EXPECT_EQ(w, plat::GetActiveWindow());
    EXPECT_EQ(w, plat::GetFocus());
    s_received.clear();
    EXPECT_EQ(w, plat::SetFocus(a));
    ASSERT_EQ(1u, gotBy(w, plat::WM_KILLFOCUS).size());
    EXPECT_EQ(reinterpret_cast<plat::WPARAM>(a), gotBy(w, plat::WM_KILLFOCUS)[0].wParam);
    ASSERT_EQ(1u, gotBy(a, plat::WM_SETFOCUS).size());
    plat::SetFocus(b);
    pt::key('X');
    run();
    EXPECT_EQ(1u, gotBy(b, plat::WM_KEYDOWN).size());
    EXPECT_TRUE(gotBy(a, plat::WM_KEYDOWN).empty());
    // Disabling the focus window clears the focus; keys then go to the active window.
    s_received.clear();
    EXPECT_EQ(plat::FALSE, plat::EnableWindow(b, plat::FALSE));
    EXPECT_EQ(nullptr, plat::GetFocus());
    ASSERT_EQ(1u, gotBy(b, plat::WM_ENABLE).size());
    EXPECT_EQ(0u, gotBy(b, plat::WM_ENABLE)[0].wParam);
    EXPECT_NE(plat::FALSE, plat::EnableWindow(b, plat::FALSE)) << "reports it was disabled";
    EXPECT_EQ(1u, gotBy(b, plat::WM_ENABLE).size()) << "no change, no message";
    pt::key('Y');
    run();
    EXPECT_EQ(1u, gotBy(w, plat::WM_KEYDOWN).size());
    EXPECT_TRUE(gotBy(b, plat::WM_KEYDOWN).empty());
}

TEST_F(Input, ActivationMovesBetweenTopLevelWindows) {
    HWND a = top("A", 100, 100);
    HWND b = top("B", 500, 100);
    run();
    EXPECT_EQ(b, plat::GetActiveWindow());
    s_received.clear();
    pt::click(a, 5, 5);
    run();
    ASSERT_EQ(1u, gotBy(b, plat::WM_ACTIVATE).size());
    EXPECT_EQ(plat::WA_INACTIVE, plat::LOWORD(gotBy(b, plat::WM_ACTIVATE)[0].wParam));
    ASSERT_EQ(1u, gotBy(a, plat::WM_ACTIVATE).size());
    EXPECT_EQ(plat::WA_CLICKACTIVE, plat::LOWORD(gotBy(a, plat::WM_ACTIVATE)[0].wParam));
    EXPECT_EQ(a, plat::GetActiveWindow());
    EXPECT_EQ(a, plat::GetFocus());
    plat::DestroyWindow(a);
    EXPECT_EQ(b, plat::GetActiveWindow()) << "activation passes on when the window goes";
}

// Where the window manager reports the keyboard went: a report the program takes reaches the two
// windows once, and is never answered with a request of the program's own (which would be
// reported back in its turn); a window that never activates, or a disabled one, leaves the
// activation where it is. The program's own activation asks once, and not at all for the window
// already active.
TEST_F(Input, WindowManagerFocusReportsSettle) {
    HWND frame = top("Frame", 100, 100);
    HWND palette = plat::CreateWindowEx(
        plat::WS_EX_TOOLWINDOW | plat::WS_EX_NOACTIVATE, "Rec", "Palette",
        plat::WS_POPUP | plat::WS_CAPTION | plat::WS_VISIBLE, 120, 120, 100, 40, frame, nullptr,
        nullptr, nullptr);
    HWND other = top("Other", 500, 100);
    HWND disabled = top("Disabled", 700, 300);
    plat::EnableWindow(disabled, plat::FALSE);
    plat::SetActiveWindow(frame);
    run();
    struct Case {
        const char* what;
        HWND reported;
        HWND activeAfter;
        std::size_t activateMessages;
    };
    const Case cases[] = {
        {"another window", other, other, 2},
        {"the active window again", other, other, 0},
        {"a window that never activates", palette, other, 0},
        {"a disabled window", disabled, other, 0},
        {"back to the frame", frame, frame, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        s_received.clear();
        pt::takeDisplayRequests();
        pt::focusReport(c.reported);
        run();
        EXPECT_EQ(c.activeAfter, plat::GetActiveWindow());
        EXPECT_EQ(c.activateMessages, got(plat::WM_ACTIVATE).size());
        EXPECT_EQ(std::vector<std::string>{}, pt::takeDisplayRequests());
    }
    plat::SetActiveWindow(other);
    EXPECT_EQ((std::vector<std::string>{"raise Other", "focus Other"}), pt::takeDisplayRequests());
    s_received.clear();
    plat::SetActiveWindow(other);
    EXPECT_EQ(std::vector<std::string>{}, pt::takeDisplayRequests());
    EXPECT_TRUE(got(plat::WM_ACTIVATE).empty());
}

TEST_F(Input, ClosingAnActiveDialogReactivatesItsOwner) {
    HWND owner = top("Owner", 100, 100);
    HWND other = top("Other", 500, 100);
    HWND dialog = plat::CreateWindowEx(0, "Rec", "Dialog", plat::WS_POPUP | plat::WS_VISIBLE, 300,
                                       300, 50, 50, owner, nullptr, nullptr, nullptr);
    run();
    ASSERT_EQ(dialog, plat::GetActiveWindow());
    plat::DestroyWindow(dialog);
    EXPECT_EQ(owner, plat::GetActiveWindow()) << "not the front window " << other;
    EXPECT_EQ(owner, plat::GetFocus());
}

TEST_F(Input, MouseGoesToTheDeepestEnabledWindow) {
    HWND w = top("Main", 100, 100, 300, 200);
    HWND c = child(w, 1, 10, 10, 100, 100);
    HWND cc = child(c, 2, 20, 20, 30, 30);
    HWND label = child(w, 3, 150, 10, 50, 20, "STATIC");
    run();
    struct Case {
        HWND aim;
        int x, y;
        HWND expect;
        int ex, ey;
    };
    // Coordinates are those of the aimed window's client area; the click arrives in the
    // receiver's client coordinates.
    std::vector<Case> cases = {{cc, 5, 6, cc, 5, 6},
                               {c, 5, 6, c, 5, 6},
                               {w, 200, 150, w, 200, 150},
                               {label, 5, 5, w, 155, 15}};
    for (const Case& k : cases) {
        s_received.clear();
        pt::click(k.aim, k.x, k.y);
        run();
        const auto downs = got(plat::WM_LBUTTONDOWN);
        ASSERT_EQ(1u, downs.size());
        EXPECT_EQ(k.expect, downs[0].hwnd);
        EXPECT_EQ(k.ex, plat::GET_X_LPARAM(downs[0].lParam));
        EXPECT_EQ(k.ey, plat::GET_Y_LPARAM(downs[0].lParam));
        EXPECT_EQ(plat::MK_LBUTTON, downs[0].wParam);
    }
    // A disabled child and its descendants are deaf: the click reaches the enabled parent.
    plat::EnableWindow(c, plat::FALSE);
    s_received.clear();
    pt::click(cc, 5, 6);
    run();
    const auto downs = got(plat::WM_LBUTTONDOWN);
    ASSERT_EQ(1u, downs.size());
    EXPECT_EQ(w, downs[0].hwnd);
    EXPECT_EQ(35, plat::GET_X_LPARAM(downs[0].lParam));
    EXPECT_EQ(36, plat::GET_Y_LPARAM(downs[0].lParam));
}

TEST_F(Input, DragPressesMovesAndReleases) {
    HWND w = top("Main", 100, 100, 300, 200);
    run();
    s_received.clear();
    pt::drag(w, plat::POINT{10, 10}, plat::POINT{50, 30}, 4);
    run();
    std::vector<plat::UINT> kinds;
    for (const auto& r : s_received) {
        if (r.msg >= plat::WM_MOUSEFIRST && r.msg <= plat::WM_MOUSELAST)
            kinds.push_back(r.msg);
    }
    const std::vector<plat::UINT> expected = {
        plat::WM_MOUSEMOVE, plat::WM_LBUTTONDOWN, plat::WM_MOUSEMOVE, plat::WM_MOUSEMOVE,
        plat::WM_MOUSEMOVE, plat::WM_MOUSEMOVE,   plat::WM_LBUTTONUP};
    EXPECT_EQ(expected, kinds);
    const auto moves = got(plat::WM_MOUSEMOVE);
    EXPECT_EQ(plat::MK_LBUTTON, moves.back().wParam) << "the button is held while moving";
    EXPECT_EQ(50, plat::GET_X_LPARAM(moves.back().lParam));
    EXPECT_EQ(30, plat::GET_Y_LPARAM(moves.back().lParam));
    EXPECT_EQ(0u, got(plat::WM_LBUTTONUP).at(0).wParam);
}

TEST_F(Input, CaptureTakesAllMouseInputInItsCoordinates) {
    HWND w = top("Main", 100, 100, 300, 200);
    HWND c = child(w, 1, 10, 10, 50, 50);
    HWND other = top("Other", 600, 100);
    run();
    plat::SetCapture(c);
    EXPECT_EQ(c, plat::GetCapture());
    s_received.clear();
    pt::move(other, 10, 10); // screen (610, 110): far outside c
    pt::release(w, 0, 0);
    run();
    const auto moves = got(plat::WM_MOUSEMOVE);
    ASSERT_EQ(1u, moves.size());
    EXPECT_EQ(c, moves[0].hwnd);
    EXPECT_EQ(610 - 110, plat::GET_X_LPARAM(moves[0].lParam));
    EXPECT_EQ(110 - 110, plat::GET_Y_LPARAM(moves[0].lParam));
    ASSERT_EQ(1u, got(plat::WM_LBUTTONUP).size());
    EXPECT_EQ(-10, plat::GET_X_LPARAM(got(plat::WM_LBUTTONUP)[0].lParam)) << "negative x kept";
    plat::ReleaseCapture();
    EXPECT_EQ(1u, gotBy(c, plat::WM_CAPTURECHANGED).size());
    s_received.clear();
    pt::move(other, 10, 10);
    run();
    EXPECT_EQ(other, got(plat::WM_MOUSEMOVE).at(0).hwnd);
}

TEST_F(Input, ClickOnADisabledWindowBeepsAndRaisesItsModalPopup) {
    HWND owner = top("Owner", 100, 100, 300, 300);
    HWND dialog = plat::CreateWindowEx(0, "Rec", "Dialog", plat::WS_POPUP | plat::WS_VISIBLE, 500,
                                       500, 100, 100, owner, nullptr, nullptr, nullptr);
    plat::EnableWindow(owner, plat::FALSE);
    plat::SetActiveWindow(owner);
    run();
    s_received.clear();
    pt::click(owner, 50, 50);
    run();
    EXPECT_TRUE(got(plat::WM_LBUTTONDOWN).empty());
    EXPECT_EQ(1u, pt::beeps().size());
    EXPECT_EQ(dialog, plat::GetActiveWindow());
    // The close request of a disabled window is refused the same way.
    pt::closeRequest(owner);
    run();
    EXPECT_TRUE(plat::IsWindow(owner));
    EXPECT_TRUE(got(plat::WM_CLOSE).empty());
}

TEST_F(Input, DoubleClicksNeedTheClassStyleTimeAndPlace) {
    HWND dbl = top("Dbl", 100, 100, 100, 100, true);
    HWND plain = top("Plain", 400, 100, 100, 100, false);
    run();
    struct Case {
        const char* what;
        HWND w;
        plat::DWORD pause;
        int dx;
        bool dblclk;
    };
    const Case cases[] = {
        {"quick and still", dbl, 0, 0, true}, {"at the time limit", dbl, 500, 0, true},
        {"too slow", dbl, 501, 0, false},     {"moved 2 px", dbl, 0, 2, true},
        {"moved 3 px", dbl, 0, 3, false},     {"class without CS_DBLCLKS", plain, 0, 0, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        pt::advanceClock(10000); // forget earlier clicks
        s_received.clear();
        pt::click(c.w, 10, 10);
        run();
        pt::advanceClock(c.pause);
        pt::click(c.w, 10 + c.dx, 10);
        run();
        EXPECT_EQ(c.dblclk ? 1u : 0u, got(plat::WM_LBUTTONDBLCLK).size());
        EXPECT_EQ(c.dblclk ? 1u : 2u, got(plat::WM_LBUTTONDOWN).size());
    }
    // A third quick click starts over.
    pt::advanceClock(10000);
    s_received.clear();
    pt::click(dbl, 10, 10);
    pt::click(dbl, 10, 10);
    pt::click(dbl, 10, 10);
    run();
    EXPECT_EQ(1u, got(plat::WM_LBUTTONDBLCLK).size());
    EXPECT_EQ(2u, got(plat::WM_LBUTTONDOWN).size());
}

plat::LRESULT ibeamProc(HWND h, plat::UINT msg, plat::WPARAM wp, plat::LPARAM lp) {
    return plat::DefWindowProc(h, msg, wp, lp);
}

TEST_F(Input, ClassCursorAppliesOnMouseMove) {
    plat::WNDCLASS wc;
    wc.lpfnWndProc = &ibeamProc;
    wc.lpszClassName = "Text";
    wc.hCursor = plat::LoadCursor(nullptr, plat::IDC_IBEAM);
    ASSERT_NE(nullptr, wc.hCursor);
    ASSERT_NE(0, plat::RegisterClass(&wc));
    HWND w = top("Main", 100, 100, 300, 200);
    child(w, 1, 0, 0, 100, 100, "Text");
    run();
    plat::SetCursor(plat::LoadCursor(nullptr, plat::IDC_WAIT));
    EXPECT_EQ(32514, pt::currentCursorId());
    // The recording class has no cursor: the last one set stays.
    pt::move(w, 200, 150);
    run();
    EXPECT_EQ(32514, pt::currentCursorId());
    pt::move(w, 50, 50);
    run();
    EXPECT_EQ(32513, pt::currentCursorId());
    EXPECT_EQ(nullptr, plat::LoadCursor(nullptr, plat::MAKEINTRESOURCE(1)));
}

} // namespace
