#include "platform/WinFixture.h"

#include <algorithm>
#include <thread>

namespace {

using namespace kvtest;
namespace pt = plat::testing;
using plat::HWND;
using plat::MSG;

class Queue : public WinTest {};

std::vector<plat::UINT> dispatchAll() {
    std::vector<plat::UINT> order;
    MSG m;
    while (plat::PeekMessage(&m, nullptr, 0, 0, plat::PM_REMOVE)) {
        if (m.message == plat::WM_QUIT)
            break;
        order.push_back(m.message);
        plat::TranslateMessage(&m);
        plat::DispatchMessage(&m);
    }
    return order;
}

TEST_F(Queue, RetrievalOrderIsPostedInputPaintTimer) {
    HWND w = top("Main");
    run();
    plat::SetTimer(w, 7, 100, nullptr);
    pt::advanceClock(150);
    plat::InvalidateRect(w, nullptr, plat::FALSE);
    pt::key('A');
    plat::PostMessage(w, plat::WM_USER + 1, 0, 0);
    plat::PostMessage(w, plat::WM_USER + 2, 0, 0);
    const std::vector<plat::UINT> order = dispatchAll();
    // The character made from the key is posted, so it comes before the key's release.
    const std::vector<plat::UINT> expected = {
        plat::WM_USER + 1, plat::WM_USER + 2, plat::WM_KEYDOWN, plat::WM_CHAR,
        plat::WM_KEYUP,    plat::WM_PAINT,    plat::WM_TIMER};
    EXPECT_EQ(expected, order);
}

TEST_F(Queue, SendCallsAtOncePostWaitsForDispatch) {
    HWND w = top("Main");
    run();
    s_received.clear();
    plat::SendMessage(w, plat::WM_USER + 5, 1, 2);
    ASSERT_EQ(1u, got(plat::WM_USER + 5).size());
    plat::PostMessage(w, plat::WM_USER + 6, 3, 4);
    EXPECT_TRUE(got(plat::WM_USER + 6).empty());
    run();
    ASSERT_EQ(1u, got(plat::WM_USER + 6).size());
    EXPECT_EQ(3u, got(plat::WM_USER + 6)[0].wParam);
    EXPECT_EQ(4, got(plat::WM_USER + 6)[0].lParam);
}

TEST_F(Queue, StaleHandlesFailWithOneDiagnosticLine) {
    HWND w = top("Main");
    ASSERT_TRUE(plat::DestroyWindow(w));
    // The slot is reused by a new window, but the old handle must not reach it.
    HWND again = top("Other");
    ASSERT_NE(w, again);
    s_received.clear();
    s_diagnostics.clear();
    EXPECT_FALSE(plat::IsWindow(w));
    EXPECT_TRUE(s_diagnostics.empty()) << "IsWindow is a question, not a misuse";
    EXPECT_EQ(0, plat::SendMessage(w, plat::WM_USER, 0, 0));
    EXPECT_FALSE(plat::PostMessage(w, plat::WM_USER, 0, 0));
    EXPECT_FALSE(plat::SetWindowText(w, "x"));
    EXPECT_EQ(3u, s_diagnostics.size());
    EXPECT_TRUE(s_received.empty()) << "nothing reached the window in the reused slot";
    run();
    EXPECT_TRUE(got(plat::WM_USER).empty());
}

TEST_F(Queue, PeekFiltersLeaveOtherMessagesQueued) {
    HWND a = top("A");
    HWND b = top("B", 400);
    HWND ac = child(a, 1, 0, 0, 10, 10);
    run();
    plat::PostMessage(b, plat::WM_USER + 1, 0, 0);
    plat::PostMessage(ac, plat::WM_USER + 2, 0, 0);
    plat::PostMessage(a, plat::WM_APP, 0, 0);
    MSG m;
    // A window filter takes the window's and its children's messages.
    ASSERT_TRUE(plat::PeekMessage(&m, a, 0, 0, plat::PM_REMOVE));
    EXPECT_EQ(ac, m.hwnd);
    EXPECT_EQ(plat::WM_USER + 2, m.message);
    // A range filter skips what is outside it.
    ASSERT_TRUE(plat::PeekMessage(&m, nullptr, plat::WM_APP, plat::WM_APP, plat::PM_NOREMOVE));
    EXPECT_EQ(plat::WM_APP, m.message);
    ASSERT_TRUE(plat::PeekMessage(&m, nullptr, plat::WM_APP, plat::WM_APP, plat::PM_NOREMOVE));
    EXPECT_EQ(plat::WM_APP, m.message) << "PM_NOREMOVE leaves it";
    ASSERT_TRUE(plat::PeekMessage(&m, nullptr, 0, 0, plat::PM_REMOVE));
    EXPECT_EQ(b, m.hwnd);
    ASSERT_TRUE(plat::PeekMessage(&m, nullptr, 0, 0, plat::PM_REMOVE));
    EXPECT_EQ(plat::WM_APP, m.message);
    EXPECT_FALSE(plat::PeekMessage(&m, nullptr, 0, 0, plat::PM_REMOVE));
}

TEST_F(Queue, QuitPassesEveryFilterAndEndsGetMessage) {
    HWND w = top("Main");
    run();
    plat::PostMessage(w, plat::WM_USER, 0, 0);
    plat::PostQuitMessage(2);
    MSG m;
    // A loop filtered to one window (the splash loop) still sees the quit request.
    EXPECT_EQ(plat::FALSE, plat::GetMessage(&m, w, plat::WM_TIMER, plat::WM_TIMER));
    EXPECT_EQ(plat::WM_QUIT, m.message);
    EXPECT_EQ(2u, m.wParam);
    plat::PostQuitMessage(2);
    EXPECT_EQ(plat::TRUE, plat::GetMessage(&m, nullptr, 0, 0));
    EXPECT_EQ(plat::WM_USER, m.message) << "posted messages come before the quit request";
    EXPECT_EQ(plat::FALSE, plat::GetMessage(&m, nullptr, 0, 0));
    EXPECT_EQ(2u, m.wParam);
}

TEST_F(Queue, TimerHasAtMostOnePendingMessage) {
    HWND w = top("Main");
    run();
    EXPECT_EQ(7u, plat::SetTimer(w, 7, 100, nullptr));
    pt::advanceClock(99);
    run();
    EXPECT_TRUE(got(plat::WM_TIMER).empty());
    pt::advanceClock(1);
    run();
    EXPECT_EQ(1u, got(plat::WM_TIMER).size());
    // A long stall gives one message, not one per period.
    pt::advanceClock(1000);
    run();
    EXPECT_EQ(2u, got(plat::WM_TIMER).size());
    // Setting the same timer again restarts its period.
    pt::advanceClock(60);
    plat::SetTimer(w, 7, 100, nullptr);
    pt::advanceClock(60);
    run();
    EXPECT_EQ(2u, got(plat::WM_TIMER).size());
    pt::advanceClock(40);
    run();
    EXPECT_EQ(3u, got(plat::WM_TIMER).size());
    EXPECT_EQ(7u, got(plat::WM_TIMER).back().wParam);
    EXPECT_TRUE(plat::KillTimer(w, 7));
    EXPECT_FALSE(plat::KillTimer(w, 7));
    pt::advanceClock(500);
    run();
    EXPECT_EQ(3u, got(plat::WM_TIMER).size());
}

std::vector<plat::UINT_PTR> s_ticks;
void tickProc(HWND, plat::UINT msg, plat::UINT_PTR id, plat::DWORD) {
    if (msg == plat::WM_TIMER)
        s_ticks.push_back(id);
}

TEST_F(Queue, ThreadTimersCallTheirProcedureWithFreshIds) {
    s_ticks.clear();
    const plat::UINT_PTR a = plat::SetTimer(nullptr, 0, 100, &tickProc);
    const plat::UINT_PTR b = plat::SetTimer(nullptr, 0, 250, &tickProc);
    EXPECT_NE(0u, a);
    EXPECT_NE(a, b);
    pt::advanceClock(260);
    run();
    ASSERT_EQ(2u, s_ticks.size());
    EXPECT_EQ(a, s_ticks[0]);
    EXPECT_EQ(b, s_ticks[1]);
    // Timers die with their window.
    HWND w = top("Main");
    plat::SetTimer(w, 1, 50, nullptr);
    plat::DestroyWindow(w);
    s_received.clear();
    pt::advanceClock(100);
    run();
    EXPECT_TRUE(got(plat::WM_TIMER).empty());
}

TEST_F(Queue, GetMessageWaitsForTheNextTimerWithoutRealTime) {
    HWND w = top("Main");
    run();
    plat::SetTimer(w, 3, 6000, nullptr);
    MSG m;
    ASSERT_EQ(plat::TRUE, plat::GetMessage(&m, nullptr, 0, 0));
    EXPECT_EQ(plat::WM_TIMER, m.message);
    EXPECT_EQ(6000u, plat::GetTickCount());
}

// A loop filtered to one window, or to the thread's own messages, sleeps until something it can
// take arrives: a due timer of another window does not wake it again and again (on a display that
// kept a processor busy for as long as the loop ran; here it would never end).
TEST_F(Queue, AFilteredGetMessageSleepsPastTimersItCannotTake) {
    HWND mine = top("Mine");
    HWND other = top("Other");
    run();
    struct Case {
        const char* name;
        HWND filter;
        HWND timerWindow; // the timer the loop waits for
    };
    const Case cases[] = {
        {"one window", mine, mine},
        {"thread messages", reinterpret_cast<HWND>(-1), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        plat::SetTimer(other, 1, 100, nullptr);
        const plat::UINT_PTR id = plat::SetTimer(c.timerWindow, 2, 6000, nullptr);
        const plat::DWORD start = plat::GetTickCount();
        pt::advanceClock(150); // the other window's timer is due
        MSG m;
        ASSERT_EQ(plat::TRUE, plat::GetMessage(&m, c.filter, 0, 0));
        EXPECT_EQ(plat::WM_TIMER, m.message);
        EXPECT_EQ(c.timerWindow, m.hwnd);
        EXPECT_EQ(id, m.wParam);
        EXPECT_EQ(start + 6000, plat::GetTickCount());
        plat::KillTimer(c.timerWindow, id);
        // The other window's timer is still there for the next unfiltered loop.
        s_received.clear();
        run();
        EXPECT_EQ(1u, got(plat::WM_TIMER).size());
        plat::KillTimer(other, 1);
    }
}

TEST_F(Queue, HelperThreadsMayPost) {
    HWND w = top("Main");
    run();
    s_received.clear();
    std::thread helper([w] {
        for (int i = 0; i < 100; ++i)
            plat::PostMessage(w, plat::WM_USER + 9, static_cast<plat::WPARAM>(i), 0);
    });
    helper.join();
    run();
    const auto got9 = got(plat::WM_USER + 9);
    ASSERT_EQ(100u, got9.size());
    for (std::size_t i = 0; i < got9.size(); ++i)
        EXPECT_EQ(i, got9[i].wParam) << "posted order is kept";
}

TEST_F(Queue, WaitMessageReturnsAtOnceWhenWorkIsWaiting) {
    HWND w = top("Main");
    run();
    // Each of these must end the wait without moving the clock.
    plat::PostMessage(w, plat::WM_USER, 0, 0);
    EXPECT_TRUE(plat::WaitMessage());
    run();
    plat::InvalidateRect(w, nullptr, plat::FALSE);
    EXPECT_TRUE(plat::WaitMessage());
    run();
    pt::key('A');
    EXPECT_TRUE(plat::WaitMessage());
    run();
    EXPECT_EQ(0u, plat::GetTickCount());
    // With only a timer pending, the wait lasts until it is due.
    plat::SetTimer(w, 1, 250, nullptr);
    EXPECT_TRUE(plat::WaitMessage());
    EXPECT_EQ(250u, plat::GetTickCount());
}

TEST_F(Queue, RegisteredMessagesShareIdsByName) {
    const plat::UINT a = plat::RegisterWindowMessage("KorvalineFileOpen");
    EXPECT_GE(a, 0xC000u);
    EXPECT_EQ(a, plat::RegisterWindowMessage("korvalinefileopen"));
    EXPECT_NE(a, plat::RegisterWindowMessage("Other"));
    EXPECT_EQ(0u, plat::RegisterWindowMessage(""));
}

TEST_F(Queue, QueueStatusReportsWaitingInput) {
    HWND w = top("Main");
    run();
    using plat::QS_KEY;
    using plat::QS_MOUSEBUTTON;
    EXPECT_EQ(0u, plat::GetQueueStatus(QS_KEY | QS_MOUSEBUTTON));
    pt::key(plat::VK_ESCAPE);
    EXPECT_EQ(QS_KEY, plat::HIWORD(plat::GetQueueStatus(QS_KEY | QS_MOUSEBUTTON)));
    run();
    pt::click(w, 5, 5);
    EXPECT_EQ(QS_MOUSEBUTTON, plat::HIWORD(plat::GetQueueStatus(QS_KEY | QS_MOUSEBUTTON)));
}

TEST_F(Queue, JournalNamesWindowsAndMessages) {
    HWND w = top("Main");
    HWND c = child(w, 5, 0, 0, 10, 10);
    run();
    pt::clearJournal();
    plat::SetWindowText(w, "Titre");
    plat::PostMessage(c, plat::WM_COMMAND, plat::MAKEWPARAM(41, 0), 0);
    const auto& j = pt::journal();
    ASSERT_EQ(2u, j.size());
    EXPECT_EQ("S 'Main' WM_SETTEXT text='Titre'", j[0]);
    EXPECT_EQ(0u, j[1].find("P Rec#")) << j[1];
    EXPECT_NE(std::string::npos, j[1].find("WM_COMMAND id=41 code=0 ctl=0")) << j[1];
    EXPECT_EQ("", pt::expectSubsequence({"WM_SETTEXT", "WM_COMMAND"}));
    EXPECT_NE("", pt::expectSubsequence({"WM_COMMAND", "WM_SETTEXT"}));
}

} // namespace
