#include "platform/WinFixture.h"

namespace {

using namespace kvtest;
namespace pt = plat::testing;
using plat::HWND;
using plat::RECT;

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kFace = 0xC0C0C0;
constexpr std::uint32_t kRed = 0xFF0000;
constexpr std::uint32_t kBlue = 0x0000FF;

// Paints its client area with the brush colour held in its user data, recording each
// PAINTSTRUCT it gets.
std::vector<plat::PAINTSTRUCT> s_paints;
std::vector<HWND> s_painted;

plat::LRESULT fillProc(HWND h, plat::UINT msg, plat::WPARAM wp, plat::LPARAM lp) {
    if (msg == plat::WM_PAINT) {
        plat::PAINTSTRUCT ps;
        plat::HDC dc = plat::BeginPaint(h, &ps);
        s_paints.push_back(ps);
        s_painted.push_back(h);
        const auto color =
            static_cast<plat::COLORREF>(plat::GetWindowLongPtr(h, plat::GWL_USERDATA));
        plat::HBRUSH brush = plat::CreateSolidBrush(color);
        RECT all;
        plat::GetClientRect(h, &all);
        plat::FillRect(dc, &all, brush); // the DC's clip keeps it inside the update region
        plat::DeleteObject(brush);
        plat::EndPaint(h, &ps);
        return 0;
    }
    return WinTest::recordProc(h, msg, wp, lp);
}

class Paint : public WinTest {
protected:
    void SetUp() override {
        WinTest::SetUp();
        s_paints.clear();
        s_painted.clear();
        plat::WNDCLASS wc;
        wc.lpfnWndProc = &fillProc;
        wc.lpszClassName = "Fill";
        wc.hbrBackground = reinterpret_cast<plat::HBRUSH>(plat::COLOR_BTNFACE + 1);
        ASSERT_NE(0, plat::RegisterClass(&wc));
    }
    HWND fillWindow(HWND parent, plat::COLORREF color, int x, int y, int w, int h) {
        HWND hwnd = parent
                        ? plat::CreateWindowEx(0, "Fill", "", plat::WS_CHILD | plat::WS_VISIBLE, x,
                                               y, w, h, parent, nullptr, nullptr, nullptr)
                        : plat::CreateWindowEx(0, "Fill", "Fill", plat::WS_POPUP | plat::WS_VISIBLE,
                                               x, y, w, h, nullptr, nullptr, nullptr, nullptr);
        plat::SetWindowLongPtr(hwnd, plat::GWL_USERDATA, static_cast<plat::LONG_PTR>(color));
        return hwnd;
    }
};

// RGB() is 0x00bbggrr; pixels are 0x00RRGGBB.
constexpr plat::COLORREF kRedRef = plat::RGB(255, 0, 0);
constexpr plat::COLORREF kBlueRef = plat::RGB(0, 0, 255);

TEST_F(Paint, UpdateRegionReachesBeginPaintAndOnlyItIsDrawn) {
    HWND w = fillWindow(nullptr, kRedRef, 0, 0, 100, 80);
    run();
    ASSERT_EQ(1u, s_paints.size()) << "a new window paints once";
    EXPECT_EQ(kRed, pt::pixels(w).at(50, 40));
    plat::SetWindowLongPtr(w, plat::GWL_USERDATA, static_cast<plat::LONG_PTR>(kBlueRef));
    const RECT a{10, 10, 20, 20}, b{50, 30, 60, 40};
    plat::InvalidateRect(w, &a, plat::FALSE);
    plat::InvalidateRect(w, &b, plat::FALSE);
    // The update region is the union of both, not its bounding box.
    plat::HRGN rgn = plat::CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(3, plat::GetUpdateRgn(w, rgn, plat::FALSE));
    EXPECT_TRUE(plat::PtInRegion(rgn, 15, 15));
    EXPECT_TRUE(plat::PtInRegion(rgn, 55, 35));
    EXPECT_FALSE(plat::PtInRegion(rgn, 30, 25));
    plat::DeleteObject(rgn);
    s_paints.clear();
    run();
    ASSERT_EQ(1u, s_paints.size());
    EXPECT_EQ(10, s_paints[0].rcPaint.left);
    EXPECT_EQ(10, s_paints[0].rcPaint.top);
    EXPECT_EQ(60, s_paints[0].rcPaint.right);
    EXPECT_EQ(40, s_paints[0].rcPaint.bottom);
    EXPECT_EQ(plat::FALSE, s_paints[0].fErase);
    const pt::Image img = pt::pixels(w);
    EXPECT_EQ(kBlue, img.at(10, 10));
    EXPECT_EQ(kBlue, img.at(59, 39));
    EXPECT_EQ(kRed, img.at(30, 25)) << "inside the bounding box but outside the region";
    EXPECT_EQ(kRed, img.at(60, 40));
    // Validated: nothing more to paint.
    s_paints.clear();
    run();
    EXPECT_TRUE(s_paints.empty());
}

TEST_F(Paint, EraseFillsTheClassBrushBeforePainting) {
    HWND w = plat::CreateWindowEx(0, "Rec", "Rec", plat::WS_POPUP | plat::WS_VISIBLE, 0, 0, 40, 30,
                                  nullptr, nullptr, nullptr, nullptr);
    run();
    EXPECT_EQ(kWhite, pt::pixels(w).at(20, 15)) << "COLOR_WINDOW class background";
    HWND f = fillWindow(nullptr, kRedRef, 100, 100, 40, 30);
    run();
    s_received.clear();
    s_paints.clear();
    plat::InvalidateRect(f, nullptr, plat::TRUE);
    run();
    ASSERT_EQ(1u, gotBy(f, plat::WM_ERASEBKGND).size());
    ASSERT_EQ(1u, s_paints.size());
    EXPECT_EQ(plat::FALSE, s_paints[0].fErase) << "the default procedure erased";
    s_received.clear();
    plat::InvalidateRect(f, nullptr, plat::FALSE);
    run();
    EXPECT_TRUE(gotBy(f, plat::WM_ERASEBKGND).empty());
    // The erase itself uses the class brush: a window that paints nothing shows it.
    plat::WNDCLASS wc;
    wc.lpfnWndProc = &plat::DefWindowProc;
    wc.lpszClassName = "Face";
    wc.hbrBackground = reinterpret_cast<plat::HBRUSH>(plat::COLOR_BTNFACE + 1);
    ASSERT_NE(0, plat::RegisterClass(&wc));
    HWND face = plat::CreateWindowEx(0, "Face", "Face", plat::WS_POPUP | plat::WS_VISIBLE, 0, 0, 20,
                                     20, nullptr, nullptr, nullptr, nullptr);
    run();
    EXPECT_EQ(kFace, pt::pixels(face).at(10, 10));
}

TEST_F(Paint, ParentsPaintBeforeChildrenAndNeverOverThem) {
    HWND parent = fillWindow(nullptr, kRedRef, 0, 0, 100, 100);
    HWND kid = fillWindow(parent, kBlueRef, 20, 20, 30, 30);
    run();
    ASSERT_GE(s_painted.size(), 2u);
    EXPECT_EQ(parent, s_painted[0]);
    EXPECT_EQ(kid, s_painted[1]);
    // Repainting the whole parent leaves the child's pixels alone...
    s_painted.clear();
    plat::SetWindowLongPtr(kid, plat::GWL_USERDATA, static_cast<plat::LONG_PTR>(kRedRef));
    plat::SetWindowLongPtr(parent, plat::GWL_USERDATA, static_cast<plat::LONG_PTR>(kBlueRef));
    plat::InvalidateRect(parent, nullptr, plat::FALSE);
    plat::ValidateRect(kid, nullptr);
    run();
    ASSERT_EQ(1u, s_painted.size());
    pt::Image img = pt::pixels(parent);
    EXPECT_EQ(kBlue, img.at(5, 5));
    EXPECT_EQ(kBlue, img.at(30, 30)) << "the child kept its own blue";
    // ...and the child's own paint is clipped to the child.
    plat::InvalidateRect(kid, nullptr, plat::FALSE);
    run();
    img = pt::pixels(parent);
    EXPECT_EQ(kRed, img.at(30, 30));
    EXPECT_EQ(kRed, img.at(20, 20));
    EXPECT_EQ(kBlue, img.at(19, 20));
    EXPECT_EQ(kBlue, img.at(50, 50));
    EXPECT_EQ(kRed, pt::pixels(kid).at(0, 0));
}

TEST_F(Paint, HidingAChildRepaintsTheParentBelowIt) {
    HWND parent = fillWindow(nullptr, kRedRef, 0, 0, 100, 100);
    HWND kid = fillWindow(parent, kBlueRef, 20, 20, 30, 30);
    run();
    EXPECT_EQ(kBlue, pt::pixels(parent).at(30, 30));
    plat::ShowWindow(kid, plat::SW_HIDE);
    run();
    EXPECT_EQ(kRed, pt::pixels(parent).at(30, 30));
}

TEST_F(Paint, UpdateWindowPaintsAtOnce) {
    HWND w = fillWindow(nullptr, kRedRef, 0, 0, 50, 50);
    plat::UpdateWindow(w);
    EXPECT_EQ(1u, s_paints.size());
    EXPECT_EQ(kRed, pt::pixels(w).at(1, 1));
    plat::RedrawWindow(w, nullptr, nullptr, plat::RDW_INVALIDATE | plat::RDW_UPDATENOW);
    EXPECT_EQ(2u, s_paints.size());
    plat::MSG m;
    EXPECT_FALSE(plat::PeekMessage(&m, nullptr, plat::WM_PAINT, plat::WM_PAINT, plat::PM_NOREMOVE));
}

TEST_F(Paint, GetDcDrawsStraightIntoTheImage) {
    HWND w = fillWindow(nullptr, kRedRef, 0, 0, 50, 50);
    HWND kid = fillWindow(w, kRedRef, 0, 0, 10, 10);
    run();
    plat::HDC dc = plat::GetDC(w);
    ASSERT_NE(nullptr, dc);
    plat::HBRUSH blue = plat::CreateSolidBrush(kBlueRef);
    const RECT all{0, 0, 50, 50};
    plat::FillRect(dc, &all, blue);
    EXPECT_EQ(1, plat::ReleaseDC(w, dc));
    plat::DeleteObject(blue);
    const pt::Image img = pt::pixels(w);
    EXPECT_EQ(kBlue, img.at(25, 25));
    EXPECT_EQ(kRed, img.at(5, 5)) << "the child is clipped out";
    EXPECT_EQ(0, plat::ReleaseDC(w, dc)) << "released twice";
    (void)kid;
}

TEST_F(Paint, ScrollMovesPixelsAndInvalidatesTheUncoveredStrip) {
    HWND w = fillWindow(nullptr, kRedRef, 0, 0, 40, 40);
    run();
    // Mark a blue square at (0..10, 0..10), then scroll the content down-right by 5.
    plat::HDC dc = plat::GetDC(w);
    plat::HBRUSH blue = plat::CreateSolidBrush(kBlueRef);
    const RECT sq{0, 0, 10, 10};
    plat::FillRect(dc, &sq, blue);
    plat::ReleaseDC(w, dc);
    plat::DeleteObject(blue);
    RECT uncovered;
    plat::ScrollWindowEx(w, 5, 5, nullptr, nullptr, nullptr, &uncovered, plat::SW_INVALIDATE);
    EXPECT_EQ(0, uncovered.left);
    EXPECT_EQ(0, uncovered.top);
    EXPECT_EQ(40, uncovered.right);
    EXPECT_EQ(40, uncovered.bottom);
    pt::Image img = pt::pixels(w);
    EXPECT_EQ(kBlue, img.at(5, 5));
    EXPECT_EQ(kBlue, img.at(14, 14));
    EXPECT_EQ(kRed, img.at(15, 15));
    plat::HRGN rgn = plat::CreateRectRgn(0, 0, 0, 0);
    plat::GetUpdateRgn(w, rgn, plat::FALSE);
    EXPECT_TRUE(plat::PtInRegion(rgn, 2, 20));
    EXPECT_TRUE(plat::PtInRegion(rgn, 20, 2));
    EXPECT_FALSE(plat::PtInRegion(rgn, 5, 5));
    plat::DeleteObject(rgn);
}

} // namespace
