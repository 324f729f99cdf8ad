#include "core/win/WinInternal.h"
#include "platform/WinFixture.h"

#include <cstring>
#include <string>

namespace {

using namespace kvtest;
namespace pt = plat::testing;
using plat::HWND;
using plat::RECT;

class Window : public WinTest {};

TEST_F(Window, BuiltInAndDuplicateClassNamesAreRefused) {
    plat::WNDCLASS wc;
    wc.lpfnWndProc = &plat::DefWindowProc;
    for (const char* name :
         {"BUTTON", "edit", "Static", "LISTBOX", "COMBOBOX", "SCROLLBAR", "Rec", "rec"}) {
        SCOPED_TRACE(name);
        wc.lpszClassName = name;
        EXPECT_EQ(0, plat::RegisterClass(&wc));
    }
    wc.lpszClassName = nullptr;
    EXPECT_EQ(0, plat::RegisterClass(&wc));
    EXPECT_EQ(nullptr, plat::CreateWindowEx(0, "NoSuchClass", "", 0, 0, 0, 10, 10, nullptr, nullptr,
                                            nullptr, nullptr));
}

int s_buttonMessages = 0;
plat::LRESULT buttonProc(HWND h, plat::UINT msg, plat::WPARAM wp, plat::LPARAM lp) {
    ++s_buttonMessages;
    return plat::DefWindowProc(h, msg, wp, lp);
}

TEST_F(Window, SystemClassesOutliveAReset) {
    // The button class in use (the dialog manager's, once any dialog has run) comes back at the
    // end, so that the tests after this one get working buttons.
    plat::WNDCLASS previous;
    ASSERT_TRUE(plat::GetClassInfo(nullptr, "BUTTON", &previous));
    const std::string previousName = previous.lpszClassName;
    previous.lpszClassName = previousName.c_str();
    plat::WNDCLASS wc;
    wc.lpfnWndProc = &buttonProc;
    wc.lpszClassName = "BUTTON";
    ASSERT_NE(0, plat::core::RegisterSystemClass(wc));
    pt::reset();
    s_buttonMessages = 0;
    HWND b = plat::CreateWindowEx(0, "button", "OK", plat::WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(nullptr, b);
    EXPECT_GT(s_buttonMessages, 0);
    // The program's own classes do not survive.
    EXPECT_EQ(nullptr, plat::CreateWindowEx(0, "Rec", "", plat::WS_POPUP, 0, 0, 10, 10, nullptr,
                                            nullptr, nullptr, nullptr));
    plat::core::RegisterSystemClass(previous);
}

TEST_F(Window, CreationAndDestructionOrder) {
    HWND owner = top("Owner");
    HWND a = child(owner, 1, 0, 0, 50, 50);
    HWND aa = child(a, 2, 0, 0, 10, 10);
    HWND popup = plat::CreateWindowEx(0, "Rec", "Popup", plat::WS_POPUP, 0, 0, 20, 20, owner,
                                      nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, popup);
    EXPECT_EQ(owner, plat::GetParent(popup)) << "a top-level window's parent is its owner";
    EXPECT_EQ(a, plat::GetParent(aa));
    EXPECT_TRUE(plat::IsChild(owner, aa));
    pt::clearJournal();
    ASSERT_TRUE(plat::DestroyWindow(owner));
    // Owned windows go first, then the window, its children after it.
    EXPECT_EQ("", pt::expectSubsequence(
                      {"'Popup' WM_DESTROY", "'Owner' WM_DESTROY", "WM_DESTROY", "WM_DESTROY"}));
    const auto destroys = got(plat::WM_DESTROY);
    ASSERT_EQ(4u, destroys.size());
    EXPECT_EQ(popup, destroys[0].hwnd);
    EXPECT_EQ(owner, destroys[1].hwnd);
    EXPECT_EQ(a, destroys[2].hwnd);
    EXPECT_EQ(aa, destroys[3].hwnd);
    for (HWND h : {owner, a, aa, popup})
        EXPECT_FALSE(plat::IsWindow(h));
    EXPECT_EQ(nullptr, pt::findWindow("Owner"));
}

plat::LRESULT refuseCreate(HWND h, plat::UINT msg, plat::WPARAM wp, plat::LPARAM lp) {
    if (msg == plat::WM_CREATE)
        return -1;
    return plat::DefWindowProc(h, msg, wp, lp);
}

TEST_F(Window, RefusedCreationLeavesNoWindow) {
    plat::WNDCLASS wc;
    wc.lpfnWndProc = &refuseCreate;
    wc.lpszClassName = "Refuse";
    ASSERT_NE(0, plat::RegisterClass(&wc));
    EXPECT_EQ(nullptr, plat::CreateWindowEx(0, "Refuse", "R", plat::WS_VISIBLE, 0, 0, 10, 10,
                                            nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(nullptr, pt::findWindow("Refuse"));
}

TEST_F(Window, TextIsBoundedAndTerminated) {
    HWND w = top("Main");
    ASSERT_TRUE(plat::SetWindowText(w, "R\xE9sultat"));
    EXPECT_EQ(8, plat::GetWindowTextLength(w));
    char buf[5];
    std::memset(buf, 'X', sizeof buf);
    EXPECT_EQ(4, plat::GetWindowText(w, buf, sizeof buf));
    EXPECT_STREQ("R\xE9su", buf);
    char one[1] = {'X'};
    EXPECT_EQ(0, plat::GetWindowText(w, one, 1));
    EXPECT_EQ('\0', one[0]);
    char full[32];
    plat::GetWindowText(w, full, sizeof full);
    EXPECT_STREQ("R\xE9sultat", full);
}

TEST_F(Window, FrameAndClientGeometry) {
    // Client at screen (100, 100) sized 200 x 150 under a caption and a dialog frame.
    HWND w = top("Main", 100, 100, 200, 150);
    RECT rc, wr;
    plat::GetClientRect(w, &rc);
    EXPECT_EQ(200, rc.right);
    EXPECT_EQ(150, rc.bottom);
    plat::GetWindowRect(w, &wr);
    EXPECT_EQ(97, wr.left);
    EXPECT_EQ(79, wr.top);
    HWND c = child(w, 1, 10, 20, 30, 40);
    plat::POINT p{1, 2};
    plat::ClientToScreen(c, &p);
    EXPECT_EQ(111, p.x);
    EXPECT_EQ(122, p.y);
    plat::ScreenToClient(w, &p);
    EXPECT_EQ(11, p.x);
    EXPECT_EQ(22, p.y);
    EXPECT_EQ(c, plat::WindowFromPoint(plat::POINT{111, 122}));
    EXPECT_EQ(w, plat::WindowFromPoint(plat::POINT{100, 100}));
    EXPECT_EQ(nullptr, plat::WindowFromPoint(plat::POINT{10, 10}));
    // Moving resizes the client area and tells the window.
    s_received.clear();
    plat::MoveWindow(w, 0, 0, 306, 224, plat::FALSE);
    plat::GetClientRect(w, &rc);
    EXPECT_EQ(300, rc.right);
    EXPECT_EQ(200, rc.bottom);
    ASSERT_EQ(1u, got(plat::WM_SIZE).size());
    EXPECT_EQ(plat::MAKELPARAM(300, 200), got(plat::WM_SIZE)[0].lParam);
}

TEST_F(Window, SizableWindowsAreNoLargerThanTheScreen) {
    // A sizable window (a document window sized after a very long formula) or an overlapped one
    // is cut to the screen and its sizing frame; a popup or a plain child keeps its size.
    const int sw = plat::GetSystemMetrics(plat::SM_CXSCREEN);
    const int sh = plat::GetSystemMetrics(plat::SM_CYSCREEN);
    const int frame = plat::GetSystemMetrics(plat::SM_CXFRAME);
    HWND owner = top("Owner");
    struct Case {
        plat::DWORD style;
        HWND parent;
        int width, height;
    } cases[] = {
        {plat::WS_CHILD | plat::WS_CAPTION | plat::WS_THICKFRAME, owner, sw + 2 * frame,
         sh + 2 * frame},
        {plat::WS_OVERLAPPEDWINDOW, nullptr, sw + 2 * frame, sh + 2 * frame},
        {plat::WS_POPUP, nullptr, 40000, 30000},
        {plat::WS_CHILD, owner, 40000, 30000},
    };
    for (const Case& c : cases) {
        HWND w = plat::CreateWindowEx(0, "Rec", "", c.style, 0, 0, 40000, 30000, c.parent, nullptr,
                                      nullptr, nullptr);
        ASSERT_NE(nullptr, w);
        RECT wr;
        plat::GetWindowRect(w, &wr);
        EXPECT_EQ(c.width, wr.right - wr.left) << c.style;
        EXPECT_EQ(c.height, wr.bottom - wr.top) << c.style;
        plat::DestroyWindow(w);
    }
}

TEST_F(Window, FrontWindowWinsAtAPoint) {
    HWND back = top("Back", 100, 100, 100, 100);
    HWND front = top("Front", 150, 150, 100, 100);
    EXPECT_EQ(front, plat::WindowFromPoint(plat::POINT{160, 160}));
    plat::SetWindowPos(back, plat::HWND_TOP, 0, 0, 0, 0, plat::SWP_NOMOVE | plat::SWP_NOSIZE);
    EXPECT_EQ(back, plat::WindowFromPoint(plat::POINT{160, 160}));
    // A topmost window stays above windows brought forward later.
    plat::SetWindowPos(front, plat::HWND_TOPMOST, 0, 0, 0, 0, plat::SWP_NOMOVE | plat::SWP_NOSIZE);
    plat::SetWindowPos(back, plat::HWND_TOP, 0, 0, 0, 0, plat::SWP_NOMOVE | plat::SWP_NOSIZE);
    EXPECT_EQ(front, plat::WindowFromPoint(plat::POINT{160, 160}));
    plat::ShowWindow(front, plat::SW_HIDE);
    EXPECT_EQ(back, plat::WindowFromPoint(plat::POINT{160, 160}));
}

int s_subclassed = 0;
plat::WNDPROC s_previous = nullptr;
plat::LRESULT subclassProc(HWND h, plat::UINT msg, plat::WPARAM wp, plat::LPARAM lp) {
    if (msg == plat::WM_USER)
        ++s_subclassed;
    return plat::CallWindowProc(s_previous, h, msg, wp, lp);
}

TEST_F(Window, SubclassingChainsToThePreviousProcedure) {
    HWND w = top("Main");
    s_subclassed = 0;
    s_previous = reinterpret_cast<plat::WNDPROC>(plat::SetWindowLongPtr(
        w, plat::GWL_WNDPROC, reinterpret_cast<plat::LONG_PTR>(&subclassProc)));
    ASSERT_EQ(&WinTest::recordProc, s_previous);
    s_received.clear();
    plat::SendMessage(w, plat::WM_USER, 0, 0);
    EXPECT_EQ(1, s_subclassed);
    EXPECT_EQ(1u, got(plat::WM_USER).size());
    EXPECT_EQ(0, plat::SetWindowLongPtr(w, plat::GWL_USERDATA, 1234));
    EXPECT_EQ(1234, plat::GetWindowLongPtr(w, plat::GWL_USERDATA));
    // Style changes through the long never show, hide or enable the window.
    plat::SetWindowLongPtr(w, plat::GWL_STYLE, plat::WS_POPUP);
    EXPECT_TRUE(plat::IsWindowVisible(w));
    EXPECT_EQ(plat::WS_POPUP | plat::WS_VISIBLE,
              static_cast<plat::DWORD>(plat::GetWindowLongPtr(w, plat::GWL_STYLE)));
}

TEST_F(Window, DefaultProcedureClosesAndRaisesContextMenus) {
    HWND w = top("Main", 100, 100);
    HWND c = child(w, 1, 10, 10, 50, 50);
    run();
    s_received.clear();
    pt::click(c, 5, 6, pt::kRight);
    run();
    // The child's default handling passes the request to its parent, in screen coordinates.
    const auto menus = got(plat::WM_CONTEXTMENU);
    ASSERT_EQ(2u, menus.size());
    EXPECT_EQ(c, menus[0].hwnd);
    EXPECT_EQ(w, menus[1].hwnd);
    EXPECT_EQ(reinterpret_cast<plat::WPARAM>(c), menus[1].wParam);
    EXPECT_EQ(115, plat::GET_X_LPARAM(menus[1].lParam));
    EXPECT_EQ(116, plat::GET_Y_LPARAM(menus[1].lParam));
    pt::closeRequest(w);
    run();
    EXPECT_FALSE(plat::IsWindow(w));
}

TEST_F(Window, ClassicColoursAndVirtualScreen) {
    struct Case {
        int index;
        plat::COLORREF color;
    };
    const Case cases[] = {{plat::COLOR_WINDOW, plat::RGB(255, 255, 255)},
                          {plat::COLOR_WINDOWTEXT, 0},
                          {plat::COLOR_HIGHLIGHT, plat::RGB(0, 0, 128)},
                          {plat::COLOR_HIGHLIGHTTEXT, plat::RGB(255, 255, 255)},
                          {plat::COLOR_BTNFACE, plat::RGB(192, 192, 192)},
                          {plat::COLOR_BTNSHADOW, plat::RGB(128, 128, 128)},
                          {plat::COLOR_GRAYTEXT, plat::RGB(128, 128, 128)},
                          {plat::COLOR_3DLIGHT, plat::RGB(255, 255, 255)},
                          {plat::COLOR_3DDKSHADOW, 0},
                          {plat::COLOR_INFOTEXT, 0},
                          {31, 0},
                          {-1, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        EXPECT_EQ(c.color, plat::GetSysColor(c.index));
    }
    EXPECT_EQ(1920, plat::GetSystemMetrics(plat::SM_CXSCREEN));
    EXPECT_EQ(1080, plat::GetSystemMetrics(plat::SM_CYSCREEN));
    EXPECT_EQ(1920, plat::GetSystemMetrics(plat::SM_CXFULLSCREEN));
    EXPECT_EQ(1080 - 18, plat::GetSystemMetrics(plat::SM_CYFULLSCREEN));
    EXPECT_EQ(4, plat::GetSystemMetrics(plat::SM_CXDOUBLECLK));
}

using plat::WindowRole;

// What each kind of top-level window is to a window manager: the frame, a floating tool window,
// an owned dialog, a message box, a menu, a help balloon; a dialog that sheds its caption (the
// splash) becomes a splash.
TEST_F(Window, RolesForTheWindowManager) {
    HWND frame = top("Frame");
    struct Case {
        const char* name;
        const char* cls;
        plat::DWORD exStyle;
        plat::DWORD style;
        HWND owner;
        WindowRole role;
    } cases[] = {
        {"frame", "Rec", 0, plat::WS_OVERLAPPEDWINDOW, nullptr, WindowRole::Normal},
        {"palette", "Rec", plat::WS_EX_TOOLWINDOW | plat::WS_EX_NOACTIVATE,
         plat::WS_POPUP | plat::WS_CAPTION | plat::WS_SYSMENU, frame, WindowRole::Utility},
        {"owned popup with caption", "Rec", 0, plat::WS_POPUP | plat::WS_CAPTION, frame,
         WindowRole::Dialog},
        {"dialog", "#32770", 0, plat::WS_POPUP | plat::WS_CAPTION | plat::DS_MODALFRAME, nullptr,
         WindowRole::Dialog},
        {"menu", "Rec", plat::WS_EX_TOPMOST | plat::WS_EX_TOOLWINDOW | plat::WS_EX_NOACTIVATE,
         plat::WS_POPUP, nullptr, WindowRole::Menu},
        {"sub-palette", "Rec", plat::WS_EX_TOOLWINDOW | plat::WS_EX_NOACTIVATE, plat::WS_POPUP,
         frame, WindowRole::Menu},
        {"balloon", "Rec", plat::WS_EX_TOPMOST, plat::WS_POPUP | plat::WS_BORDER, nullptr,
         WindowRole::Tooltip},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HWND w = plat::CreateWindowEx(c.exStyle, c.cls, c.name, c.style, 10, 10, 100, 80, c.owner,
                                      nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, w);
        EXPECT_EQ(c.role, plat::core::RoleOf(plat::core::FindWindow(w)));
        plat::DestroyWindow(w);
    }
    // The splash: created as a captioned dialog, shown as a bare picture.
    HWND splash = plat::CreateWindowEx(0, "#32770", "Splash",
                                       plat::WS_POPUP | plat::WS_CAPTION | plat::DS_MODALFRAME, 10,
                                       10, 100, 80, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, splash);
    plat::SetWindowLongPtr(splash, plat::GWL_STYLE, static_cast<plat::LONG_PTR>(plat::WS_POPUP));
    plat::SetWindowPos(splash, nullptr, 0, 0, 0, 0,
                       plat::SWP_NOSIZE | plat::SWP_NOMOVE | plat::SWP_NOZORDER |
                           plat::SWP_FRAMECHANGED);
    EXPECT_EQ(WindowRole::Splash, plat::core::RoleOf(plat::core::FindWindow(splash)));
    plat::DestroyWindow(splash);
}

// The window manager's close request is the window's own close box: it arrives as a queued
// SC_CLOSE, so that it ends a modal loop at once, and the default handling then closes.
TEST_F(Window, CloseRequestIsQueuedSystemClose) {
    HWND w = top("Closing");
    s_received.clear();
    pt::closeRequest(w);
    plat::MSG msg;
    ASSERT_TRUE(plat::PeekMessage(&msg, nullptr, 0, 0, plat::PM_REMOVE));
    EXPECT_TRUE(got(plat::WM_CLOSE).empty());
    EXPECT_EQ(plat::WM_SYSCOMMAND, msg.message);
    EXPECT_EQ(static_cast<plat::WPARAM>(plat::SC_CLOSE), msg.wParam & 0xFFF0);
    plat::DispatchMessage(&msg);
    EXPECT_EQ(1u, got(plat::WM_CLOSE).size());
}

// A window its owner's activation brings forward keeps its owned windows above it, as on the
// screen: after any modal run gives activation back to the frame, a click on the palette over the
// frame reaches the palette, not the frame under it.
TEST_F(Window, OwnedWindowsStayAboveTheirOwnerWhenItComesForward) {
    HWND frame = top("Frame", 100, 100, 400, 300);
    HWND palette = plat::CreateWindowEx(plat::WS_EX_TOOLWINDOW | plat::WS_EX_NOACTIVATE, "Rec",
                                        "Palette", plat::WS_POPUP | plat::WS_CAPTION, 150, 150, 120,
                                        60, frame, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, palette);
    plat::ShowWindow(palette, plat::SW_SHOWNOACTIVATE);
    HWND tool = plat::CreateWindowEx(plat::WS_EX_TOOLWINDOW, "Rec", "Tool",
                                     plat::WS_POPUP | plat::WS_CAPTION, 200, 170, 120, 60, frame,
                                     nullptr, nullptr, nullptr);
    plat::ShowWindow(tool, plat::SW_SHOWNOACTIVATE);
    HWND other = top("Other", 600, 100, 100, 100);
    run();
    plat::SetActiveWindow(other);
    plat::SetActiveWindow(frame);
    run();
    plat::POINT inPalette{10, 10};
    plat::ClientToScreen(palette, &inPalette);
    EXPECT_EQ(palette, plat::WindowFromPoint(inPalette));
    // The owned windows keep their order among themselves: the newer tool window stays on top.
    plat::POINT inBoth{5, 5};
    plat::ClientToScreen(tool, &inBoth);
    EXPECT_EQ(tool, plat::WindowFromPoint(inBoth));
    s_received.clear();
    pt::click(palette, 10, 10);
    run();
    EXPECT_EQ(1u, gotBy(palette, plat::WM_LBUTTONDOWN).size());
    EXPECT_TRUE(gotBy(frame, plat::WM_LBUTTONDOWN).empty());
}

} // namespace
