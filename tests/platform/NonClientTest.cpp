// Captioned child windows inside a frame: their insets, the frame and caption we draw, moving,
// resizing and closing them with the mouse, and their activation.

#include "platform/WinFixture.h"

#include <algorithm>

namespace {

using namespace kvtest;
namespace pt = plat::testing;
using plat::HWND;
using plat::POINT;
using plat::RECT;

constexpr std::uint32_t kDesk = 0x808080;          // the frame's client background
constexpr std::uint32_t kWhite = 0xFFFFFF;         // document client background, caption text
constexpr std::uint32_t kActiveCaption = 0x000080; // classic scheme
constexpr std::uint32_t kInactiveCaption = 0x808080;

constexpr plat::DWORD kDocStyle =
    plat::WS_CHILD | plat::WS_CAPTION | plat::WS_SYSMENU | plat::WS_THICKFRAME | plat::WS_VISIBLE;

class NonClient : public WinTest {
protected:
    void SetUp() override {
        WinTest::SetUp();
        plat::WNDCLASS wc;
        wc.lpfnWndProc = &recordProc;
        wc.lpszClassName = "Desk";
        wc.hbrBackground = reinterpret_cast<plat::HBRUSH>(plat::COLOR_APPWORKSPACE + 1);
        ASSERT_NE(0, plat::RegisterClass(&wc));
        // Client area at screen (100, 100), 600 x 400.
        m_frame = plat::CreateWindowEx(0, "Desk", "Frame", plat::WS_CAPTION | plat::WS_VISIBLE, 97,
                                       79, 606, 424, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, m_frame);
    }

    HWND doc(const char* title, int x, int y, int w, int h, plat::DWORD style = kDocStyle) {
        HWND hwnd = plat::CreateWindowEx(0, "Rec", title, style, x, y, w, h, m_frame, nullptr,
                                         nullptr, nullptr);
        EXPECT_NE(nullptr, hwnd);
        return hwnd;
    }

    // The window rectangle in the frame's client coordinates.
    RECT placed(HWND hwnd) const {
        RECT r;
        plat::GetWindowRect(hwnd, &r);
        POINT tl{r.left, r.top}, br{r.right, r.bottom};
        plat::ScreenToClient(m_frame, &tl);
        plat::ScreenToClient(m_frame, &br);
        return RECT{tl.x, tl.y, br.x, br.y};
    }

    // Pixels of one colour in a rectangle of the frame's client area.
    int count(const pt::Image& img, RECT r, std::uint32_t colour) const {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                n += img.at(x, y) == colour ? 1 : 0;
        return n;
    }

    std::vector<Received> mdiActivations() const { return got(plat::WM_MDIACTIVATE); }

    HWND m_frame = nullptr;
};

TEST_F(NonClient, ClientAreaSitsInsideTheFrameForEachStyle) {
    struct Case {
        const char* name;
        plat::DWORD style;
        RECT insets; // left, top, right, bottom
    };
    const Case cases[] = {
        {"caption and sizing frame", kDocStyle, {4, 22, 4, 4}},
        {"caption with a fixed frame",
         plat::WS_CHILD | plat::WS_CAPTION | plat::WS_SYSMENU | plat::WS_VISIBLE,
         {3, 21, 3, 3}},
        {"sizing frame alone",
         plat::WS_CHILD | plat::WS_THICKFRAME | plat::WS_VISIBLE,
         {4, 4, 4, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HWND h = doc("Doc", 20, 30, 200, 150, c.style);
        RECT client;
        ASSERT_TRUE(plat::GetClientRect(h, &client));
        EXPECT_EQ(200 - c.insets.left - c.insets.right, client.right);
        EXPECT_EQ(150 - c.insets.top - c.insets.bottom, client.bottom);
        POINT origin{0, 0};
        plat::ClientToScreen(h, &origin);
        EXPECT_EQ(100 + 20 + c.insets.left, origin.x);
        EXPECT_EQ(100 + 30 + c.insets.top, origin.y);
        // A click at the client origin reaches the window at (0, 0), not its frame.
        s_received.clear();
        pt::click(h, 0, 0);
        pt::runUntilIdle();
        auto downs = gotBy(h, plat::WM_LBUTTONDOWN);
        ASSERT_EQ(1u, downs.size());
        EXPECT_EQ(0, plat::GET_X_LPARAM(downs[0].lParam));
        EXPECT_EQ(0, plat::GET_Y_LPARAM(downs[0].lParam));
        plat::DestroyWindow(h);
    }
}

TEST_F(NonClient, CaptionShowsTheTitleInTheActiveOrInactiveColour) {
    HWND a = doc("Document A", 20, 30, 200, 150);
    HWND b = doc("", 300, 30, 200, 150);
    plat::SetFocus(a);
    pt::runUntilIdle();
    const pt::Image img = pt::pixels(m_frame);
    // Caption bands left of the close boxes: 4 px frame, then 17 rows of caption colour.
    const RECT bandA{24, 34, 196, 51}, bandB{304, 34, 476, 51};
    const int area = (bandA.right - bandA.left) * (bandA.bottom - bandA.top);
    EXPECT_GT(count(img, bandA, kActiveCaption), area / 2);
    EXPECT_EQ(0, count(img, bandA, kInactiveCaption));
    EXPECT_GT(count(img, bandB, kInactiveCaption), area / 2);
    EXPECT_EQ(0, count(img, bandB, kActiveCaption));
    // The title is written in the caption-text colour left of the close box; B has no title, so
    // its caption holds no text pixels at all (its close box is grey and black).
    const RECT textA{27, 34, 196, 51}, textB{307, 34, 476, 51};
    EXPECT_GT(count(img, textA, kWhite), 20);
    EXPECT_EQ(0, count(img, textB, 0xC0C0C0));
    // The client areas start below the caption and are the documents' own background.
    EXPECT_EQ(kWhite, img.at(24, 52));
    EXPECT_EQ(kWhite, img.at(215, 175));
    // Around the windows the frame's background stays.
    EXPECT_EQ(kDesk, img.at(10, 10));
    EXPECT_EQ(kDesk, img.at(250, 100));
    (void)b;
}

TEST_F(NonClient, SetWindowTextRedrawsTheCaption) {
    HWND a = doc("A", 20, 30, 200, 150);
    plat::SetFocus(a);
    pt::runUntilIdle();
    const RECT text{27, 34, 196, 51};
    const int before = count(pt::pixels(m_frame), text, kWhite);
    plat::SetWindowText(a, "A much longer caption text");
    pt::runUntilIdle();
    EXPECT_GT(count(pt::pixels(m_frame), text, kWhite), before + 20);
}

TEST_F(NonClient, ActivationSendsMdiActivateToTheOldThenTheNewChild) {
    HWND a = doc("A", 20, 30, 200, 150);
    HWND b = doc("B", 100, 60, 200, 150); // below A, partly covered by it
    pt::runUntilIdle();
    s_received.clear();
    // A click in B's client area: B is activated (nothing was before), raised and focused.
    pt::click(m_frame, 280, 200);
    pt::runUntilIdle();
    auto acts = mdiActivations();
    ASSERT_EQ(1u, acts.size());
    EXPECT_EQ(b, acts[0].hwnd);
    EXPECT_EQ(0u, acts[0].wParam);
    EXPECT_EQ(reinterpret_cast<plat::LPARAM>(b), acts[0].lParam);
    EXPECT_EQ(b, plat::GetFocus());
    EXPECT_EQ(b, plat::GetWindow(m_frame, plat::GW_CHILD));

    // A click on A's caption: old first, then new, both with (old, new).
    s_received.clear();
    pt::click(m_frame, 60, 40);
    pt::runUntilIdle();
    acts = mdiActivations();
    ASSERT_EQ(2u, acts.size());
    EXPECT_EQ(b, acts[0].hwnd);
    EXPECT_EQ(a, acts[1].hwnd);
    for (const auto& r : acts) {
        EXPECT_EQ(reinterpret_cast<plat::WPARAM>(b), r.wParam);
        EXPECT_EQ(reinterpret_cast<plat::LPARAM>(a), r.lParam);
    }
    EXPECT_EQ(a, plat::GetFocus());
    EXPECT_EQ(a, plat::GetWindow(m_frame, plat::GW_CHILD));
    // The caption press is not a client click.
    EXPECT_TRUE(gotBy(a, plat::WM_LBUTTONDOWN).empty());

    // Clicking the active one again sends nothing; the focus moving in programmatically
    // activates as a click does.
    s_received.clear();
    pt::click(m_frame, 60, 100);
    pt::runUntilIdle();
    EXPECT_TRUE(mdiActivations().empty());
    plat::SetFocus(b);
    acts = mdiActivations();
    ASSERT_EQ(2u, acts.size());
    EXPECT_EQ(a, acts[0].hwnd);
    EXPECT_EQ(b, acts[1].hwnd);
    EXPECT_EQ(b, plat::GetFocus());

    // The overlap shows the raised window's pixels: B's client where both lie.
    pt::runUntilIdle();
    const pt::Image img = pt::pixels(m_frame);
    EXPECT_EQ(kInactiveCaption, img.at(60, 40)); // A's caption, now inactive
    EXPECT_EQ(kActiveCaption, img.at(150, 70));  // B's caption over A's client area
}

TEST_F(NonClient, ClosingTheActiveChildActivatesTheNextOne) {
    HWND a = doc("A", 20, 30, 200, 150);
    HWND b = doc("B", 100, 60, 200, 150);
    plat::SetFocus(b);
    plat::SetFocus(a);
    s_received.clear();
    plat::DestroyWindow(a);
    auto acts = mdiActivations();
    ASSERT_EQ(1u, acts.size());
    EXPECT_EQ(b, acts[0].hwnd);
    EXPECT_EQ(reinterpret_cast<plat::LPARAM>(b), acts[0].lParam);
    EXPECT_EQ(b, plat::GetFocus());
    pt::runUntilIdle();
    EXPECT_EQ(kActiveCaption, pt::pixels(m_frame).at(150, 70));
}

TEST_F(NonClient, CaptionDragMovesTheWindowInsideTheParent) {
    HWND a = doc("A", 20, 30, 200, 150);
    pt::drag(m_frame, POINT{60, 40}, POINT{100, 65});
    pt::runUntilIdle();
    RECT r = placed(a);
    EXPECT_EQ(60, r.left);
    EXPECT_EQ(55, r.top);
    EXPECT_EQ(260, r.right);
    EXPECT_EQ(205, r.bottom);
    // The client moved with it and repainted; the old place shows the frame's background.
    const pt::Image img = pt::pixels(m_frame);
    EXPECT_EQ(kWhite, img.at(64 + 10, 55 + 22 + 10));
    EXPECT_EQ(kDesk, img.at(22, 32));
    EXPECT_TRUE(gotBy(a, plat::WM_LBUTTONDOWN).empty());
    EXPECT_TRUE(gotBy(a, plat::WM_MOUSEMOVE).empty());

    // Dragged far past the bottom-right corner, it stops at the parent's edges.
    pt::drag(m_frame, POINT{100, 65}, POINT{900, 900});
    pt::runUntilIdle();
    r = placed(a);
    EXPECT_EQ(600, r.right);
    EXPECT_EQ(400, r.bottom);
    EXPECT_EQ(200, r.right - r.left);
    // And past the top-left corner.
    pt::drag(m_frame, POINT{r.left + 40, r.top + 10}, POINT{-300, -300});
    pt::runUntilIdle();
    r = placed(a);
    EXPECT_EQ(0, r.left);
    EXPECT_EQ(0, r.top);
}

TEST_F(NonClient, BorderDragResizesWithinLimits) {
    HWND a = doc("A", 100, 100, 200, 150);
    struct Case {
        const char* name;
        POINT from;  // frame client coordinates on the border
        POINT delta; // pointer movement
        RECT want;   // resulting window rectangle
    };
    const Case cases[] = {
        {"right edge wider", {298, 175}, {50, 0}, {100, 100, 350, 250}},
        {"bottom edge taller", {200, 248}, {0, 40}, {100, 100, 300, 290}},
        {"left edge keeps the right edge", {101, 175}, {-30, 0}, {70, 100, 300, 250}},
        {"top edge", {200, 101}, {0, 20}, {100, 120, 300, 250}},
        {"bottom-right corner", {298, 248}, {-20, -10}, {100, 100, 280, 240}},
        {"left edge stops at the minimum width", {101, 175}, {500, 0}, {188, 100, 300, 250}},
        {"top edge stops at the minimum height", {200, 101}, {0, 500}, {100, 223, 300, 250}},
        {"right edge stops at the parent", {298, 175}, {900, 0}, {100, 100, 600, 250}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        plat::SetWindowPos(a, nullptr, 100, 100, 200, 150, plat::SWP_NOZORDER);
        s_received.clear();
        pt::drag(m_frame, c.from, POINT{c.from.x + c.delta.x, c.from.y + c.delta.y});
        pt::runUntilIdle();
        const RECT r = placed(a);
        EXPECT_EQ(c.want.left, r.left);
        EXPECT_EQ(c.want.top, r.top);
        EXPECT_EQ(c.want.right, r.right);
        EXPECT_EQ(c.want.bottom, r.bottom);
        // The window hears its new client size.
        auto sizes = gotBy(a, plat::WM_SIZE);
        ASSERT_FALSE(sizes.empty());
        EXPECT_EQ(c.want.right - c.want.left - 8, plat::LOWORD(sizes.back().lParam));
        EXPECT_EQ(c.want.bottom - c.want.top - 26, plat::HIWORD(sizes.back().lParam));
    }
}

TEST_F(NonClient, PointerOverTheFrameShowsTheSizingCursors) {
    doc("A", 100, 100, 200, 150);
    struct Case {
        const char* name;
        POINT at; // frame client coordinates
        int cursor;
    };
    const Case cases[] = {
        {"left edge", {101, 175}, 32644},   {"right edge", {298, 175}, 32644},
        {"top edge", {200, 101}, 32645},    {"bottom edge", {200, 248}, 32645},
        {"top-left", {101, 101}, 32642},    {"bottom-right", {298, 248}, 32642},
        {"bottom-left", {101, 248}, 32643}, {"caption", {150, 110}, 32512},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        pt::move(m_frame, c.at.x, c.at.y);
        pt::runUntilIdle();
        EXPECT_EQ(c.cursor, pt::currentCursorId());
    }
}

TEST_F(NonClient, FixedFrameDoesNotResize) {
    HWND a = doc("A", 100, 100, 200, 150,
                 plat::WS_CHILD | plat::WS_CAPTION | plat::WS_SYSMENU | plat::WS_VISIBLE);
    pt::drag(m_frame, POINT{299, 175}, POINT{350, 175});
    pt::runUntilIdle();
    const RECT r = placed(a);
    EXPECT_EQ(200, r.right - r.left);
    EXPECT_EQ(100, r.left);
}

TEST_F(NonClient, CloseBoxSendsCloseOnlyWhenReleasedOverIt) {
    HWND a = doc("A", 20, 30, 200, 150);
    // Close box: 16 x 14, 2 px inside the right frame and below the top frame.
    const POINT box{20 + 200 - 4 - 2 - 8, 30 + 4 + 2 + 7};
    // Pressed, then released away: nothing, and the window did not move.
    pt::drag(m_frame, box, POINT{box.x - 60, box.y + 30});
    pt::runUntilIdle();
    EXPECT_TRUE(gotBy(a, plat::WM_CLOSE).empty());
    EXPECT_EQ(20, placed(a).left);
    // Clicked: WM_CLOSE, which the default procedure turns into destruction.
    pt::click(m_frame, box.x, box.y);
    pt::runUntilIdle();
    EXPECT_EQ(1u, gotBy(a, plat::WM_CLOSE).size());
    EXPECT_FALSE(plat::IsWindow(a));

    // Without WS_SYSMENU there is no box: the same place is caption.
    HWND b = doc("B", 20, 30, 200, 150,
                 plat::WS_CHILD | plat::WS_CAPTION | plat::WS_THICKFRAME | plat::WS_VISIBLE);
    pt::click(m_frame, box.x, box.y);
    pt::runUntilIdle();
    EXPECT_TRUE(gotBy(b, plat::WM_CLOSE).empty());
    EXPECT_TRUE(plat::IsWindow(b));
}

TEST_F(NonClient, SnapshotOfTwoOverlappingDocuments) {
    doc("Sans titre 1", 20, 30, 260, 180);
    HWND b = doc("Sans titre 2", 150, 120, 260, 180);
    plat::SetFocus(b);
    pt::runUntilIdle();
    const std::string path = std::string(KV_BINARY_DIR) + "/nonclient-two-documents.png";
    ASSERT_TRUE(pt::savePng(m_frame, path));
    const pt::Image img = pt::pixels(m_frame);
    // B is on top: where they overlap, B's caption shows, and A's caption is inactive.
    EXPECT_EQ(kActiveCaption, img.at(350, 130));
    EXPECT_EQ(kInactiveCaption, img.at(200, 40));
    // A's client under B's frame does not show through B's border.
    EXPECT_EQ(0xC0C0C0u, img.at(152, 200));
}

} // namespace
