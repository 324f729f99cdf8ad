// The help under a resting pointer, through the program's loop: the ticks and idle steps that ask
// for it while the pointer rests over a long row, and the answer after the pointer moves or the row
// changes under it.
#include "App/MessageLoop.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eWord.h"
#include "UserInputFixture.h"
#include "support/CountingRow.h"

#include <gtest/gtest.h>

namespace kvtest {
namespace {

ExprPtr WideCountingRow(int32_t n) {
    OwnedNode<CountingRow> row = NewCountingRow(n);
    FSSRecord style;
    InitFSSRecord(style);
    for (int32_t i = 0; i < n; ++i)
        row->setChild(i, NewWord(i % 2 == 0 ? "a" : "+", 0, style, 0));
    return ExprPtr(row.release());
}

class PointerHelpTest : public UserInputFixture {
protected:
    static void ticks(int n) {
        for (int i = 0; i < n; ++i) {
            pt::advanceClock(kTickIntervalMs);
            pump();
        }
    }
    // What the window answers for the point (window coordinates).
    static void helpAt(ExprFilePane* pane, plat::POINT p, int32_t& kind, int32_t& info,
                       Zone& zone) {
        pane->window()->infoAtPoint(oPoint{p.x, p.y}, kind, info, zone);
        // The help zone is a rectangle: its reference lines mean nothing.
        zone.ref1 = 0;
        zone.ref2 = 0;
    }
    // The item's rectangle in window coordinates.
    static Zone rectOf(ExprFilePane* pane, const eExpr* node) {
        Zone z = inWindow(pane, node);
        z.ref1 = 0;
        z.ref2 = 0;
        return z;
    }
};

// With the pointer at rest over a row of 2,000 items, ten ticks (each with the idle step after it)
// read a handful of its items, not the row up to the pointer four times a tick. Moved onto
// another item, the pointer gets that item's help zone; when the row is emptied under the resting
// pointer, the answer follows the new row.
TEST_F(PointerHelpTest, APointerAtRestIsNotLookedUpAgainUntilItMovesOrTheRowChanges) {
    ExprFilePane* pane = NewExprFilePane(WideCountingRow(2000), nullptr, "wide", 0);
    pane->takeFocus();
    pump();
    key(plat::VK_HOME);
    const plat::HWND hwnd = HandleOfWindow(pane->windowHandle());
    eExpr* row = pane->expression();
    ASSERT_NE(dynamic_cast<CountingRow*>(row), nullptr);
    const Zone item = rectOf(pane, row->getChild(100));
    const plat::POINT p{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
    pt::move(hwnd, p.x, p.y);
    pump();
    ticks(3);

    CountingRow::reads = 0;
    ticks(10);
    EXPECT_LT(CountingRow::reads, 100);

    int32_t kind = 0;
    int32_t info = 0;
    Zone zone;
    helpAt(pane, p, kind, info, zone);
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(info, 382); // a word
    EXPECT_EQ(zone, item);

    // Moved onto the next item: its own zone.
    const Zone next = rectOf(pane, row->getChild(101));
    const plat::POINT q{(next.left + next.right) / 2, p.y};
    pt::move(hwnd, q.x, q.y);
    pump();
    ticks(2);
    helpAt(pane, q, kind, info, zone);
    EXPECT_EQ(info, 382);
    EXPECT_EQ(zone, next);

    // The row emptied under the resting pointer: no word there any more.
    key('A', pt::kCtrl);
    key(plat::VK_BACK);
    ticks(2);
    ASSERT_EQ(pane->expression()->childCount(), 0);
    helpAt(pane, q, kind, info, zone);
    EXPECT_NE(info, 382);
    EXPECT_NE(zone, next);
}

} // namespace
} // namespace kvtest
