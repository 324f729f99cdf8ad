#include "plat/Menu.h"
#include "platform/WinFixture.h"
#include "support/FontPin.h"

#include <cstring>

namespace {

using namespace kvtest;
namespace pt = plat::testing;
using plat::HWND;

class StatusBar : public WinTest {
protected:
    HWND makeBar(HWND parent, const char* text = "") {
        HWND sb = plat::CreateWindowEx(0, plat::STATUSCLASSNAME, text,
                                       plat::WS_CHILD | plat::WS_VISIBLE, 0, 0, 0, 0, parent,
                                       reinterpret_cast<plat::HMENU>(7), nullptr, nullptr);
        EXPECT_NE(nullptr, sb);
        return sb;
    }
    static plat::RECT rectIn(HWND parent, HWND child) {
        plat::RECT r;
        plat::GetWindowRect(child, &r);
        plat::POINT o{0, 0};
        plat::ClientToScreen(parent, &o);
        return plat::RECT{r.left - o.x, r.top - o.y, r.right - o.x, r.bottom - o.y};
    }
};

TEST_F(StatusBar, SitsAlongTheBottomAndFollowsTheParentsSize) {
    HWND f = top("Main", 100, 100, 200, 150);
    HWND sb = makeBar(f);
    plat::RECT r = rectIn(f, sb);
    EXPECT_EQ(0, r.left);
    EXPECT_EQ(200, r.right);
    EXPECT_EQ(150, r.bottom);
    const int h = r.bottom - r.top;
    EXPECT_GE(h, 16);
    EXPECT_LE(h, 30);

    // The frame grows and forwards its WM_SIZE, as a frame procedure does.
    plat::RECT wr;
    plat::GetWindowRect(f, &wr);
    plat::MoveWindow(f, wr.left, wr.top, wr.right - wr.left + 100, wr.bottom - wr.top + 40,
                     plat::FALSE);
    plat::SendMessage(sb, plat::WM_SIZE, 0, 0);
    r = rectIn(f, sb);
    EXPECT_EQ(300, r.right);
    EXPECT_EQ(190, r.bottom);
    EXPECT_EQ(h, r.bottom - r.top);
}

TEST_F(StatusBar, PartsAndTextsAreCheckedAndCopiedWithinBounds) {
    HWND sb = makeBar(top("Main"), "Pr\xEAt");
    char buf[16];
    EXPECT_EQ(4, plat::SendMessage(sb, plat::SB_GETTEXT, plat::MAKEWPARAM(0, sizeof buf),
                                   reinterpret_cast<plat::LPARAM>(buf)));
    EXPECT_STREQ("Pr\xEAt", buf);

    const int parts[] = {60, 120, -1};
    EXPECT_TRUE(plat::SendMessage(sb, plat::SB_SETPARTS, 3, reinterpret_cast<plat::LPARAM>(parts)));
    EXPECT_TRUE(plat::SendMessage(sb, plat::SB_SETTEXT, 2,
                                  reinterpret_cast<plat::LPARAM>("Int\xE9grale double")));
    EXPECT_FALSE(plat::SendMessage(sb, plat::SB_SETTEXT, 3, reinterpret_cast<plat::LPARAM>("x")))
        << "a part that does not exist";
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(16, plat::SendMessage(sb, plat::SB_GETTEXT, plat::MAKEWPARAM(2, 6),
                                    reinterpret_cast<plat::LPARAM>(buf)));
    EXPECT_STREQ("Int\xE9g", buf);
    EXPECT_EQ('x', buf[6]);
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(16, plat::SendMessage(sb, plat::SB_GETTEXT, plat::MAKEWPARAM(2, 0),
                                    reinterpret_cast<plat::LPARAM>(buf)));
    EXPECT_EQ('x', buf[0]) << "a zero size copies nothing";
    EXPECT_EQ(16, plat::SendMessage(sb, plat::SB_GETTEXTLENGTH, 2, 0));

    // Bad part counts leave the parts as they were.
    EXPECT_FALSE(
        plat::SendMessage(sb, plat::SB_SETPARTS, 0, reinterpret_cast<plat::LPARAM>(parts)));
    EXPECT_FALSE(
        plat::SendMessage(sb, plat::SB_SETPARTS, 300, reinterpret_cast<plat::LPARAM>(parts)));
    EXPECT_FALSE(plat::SendMessage(sb, plat::SB_SETPARTS, 2, 0));
    int got[4] = {0, 0, 0, 0};
    EXPECT_EQ(3, plat::SendMessage(sb, plat::SB_GETPARTS, 4, reinterpret_cast<plat::LPARAM>(got)));
    EXPECT_EQ(120, got[1]);
    EXPECT_EQ(-1, got[2]);

    // Fewer parts drop the texts of the parts that went.
    EXPECT_TRUE(plat::SendMessage(sb, plat::SB_SETPARTS, 2, reinterpret_cast<plat::LPARAM>(parts)));
    EXPECT_EQ(0, plat::SendMessage(sb, plat::SB_GETTEXTLENGTH, 2, 0));
}

TEST_F(StatusBar, EachTextIsDrawnInsideItsOwnPart) {
    ASSERT_EQ("", PinnedFontProblems());
    HWND sb = makeBar(top("Main", 100, 100, 300, 150));
    const int parts[] = {100, 200, -1};
    plat::SendMessage(sb, plat::SB_SETPARTS, 3, reinterpret_cast<plat::LPARAM>(parts));
    // A text far wider than its part must not spill into the next one.
    plat::SendMessage(
        sb, plat::SB_SETTEXT, 1,
        reinterpret_cast<plat::LPARAM>("WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW"));
    run();
    const pt::Image img = pt::pixels(sb);
    auto inkBetween = [&](int x0, int x1) {
        int n = 0;
        for (int y = 0; y < img.height; ++y)
            for (int x = x0; x < x1; ++x)
                n += img.at(x, y) == 0x000000;
        return n;
    };
    EXPECT_EQ(0, inkBetween(0, 100)) << "part 0 has no text";
    EXPECT_GT(inkBetween(102, 200), 20);
    EXPECT_EQ(0, inkBetween(200, 300)) << "clipped to its part";
}

} // namespace
