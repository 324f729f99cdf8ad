// The selection the user sees after each key is the one the next key acts on: the screen left by
// the key is what a full repaint draws, and the drawn caret or highlight lies where the next typed
// character lands.

#include "OverSrcs/eSelect.h"
#include "TreeText.h"
#include "UserInputFixture.h"

#include <algorithm>
#include <functional>
#include <string>

namespace kvtest {
namespace {

class CaretPlacementTest : public UserInputFixture {
protected:
    static const eExpr* wordWith(const eExpr* node, char c) {
        if (const auto* w = dynamic_cast<const eWord*>(node))
            return w->view().find(c) != std::string_view::npos ? node : nullptr;
        for (int32_t i = 0; i < node->childCount(); ++i)
            if (const eExpr* found = wordWith(node->getChild(i), c))
                return found;
        return nullptr;
    }
    // The box of the pixels the selection highlight covers (the caret shown).
    static Zone drawnSelection(ExprFilePane* pane) {
        const plat::HWND hwnd = HandleOfWindow(pane->windowHandle());
        if (HighlightOn == 0)
            BlinkSelectionHighlight();
        const pt::Image shown = pt::pixels(hwnd);
        RedrawSelectionHighlight(); // off
        const pt::Image bare = pt::pixels(hwnd);
        RedrawSelectionHighlight(); // on again
        Zone box{10000, 10000, -1, -1, 0, 0};
        for (int y = 0; y < shown.height; ++y)
            for (int x = 0; x < shown.width; ++x)
                if (shown.at(x, y) != bare.at(x, y)) {
                    box.left = std::min(box.left, x);
                    box.top = std::min(box.top, y);
                    box.right = std::max(box.right, x + 1);
                    box.bottom = std::max(box.bottom, y + 1);
                }
        return box;
    }
    static int pixelsUnlikeARepaint(ExprFilePane* pane) {
        const plat::HWND hwnd = HandleOfWindow(pane->windowHandle());
        pt::runUntilIdle();
        const pt::Image shown = pt::pixels(hwnd);
        pane->invalidate(nullptr);
        pt::runUntilIdle();
        const pt::Image fresh = pt::pixels(hwnd);
        int differing = 0;
        for (size_t i = 0; i < shown.pixels.size() && i < fresh.pixels.size(); ++i)
            differing += shown.pixels[i] != fresh.pixels[i] ? 1 : 0;
        return differing;
    }
};

TEST_F(CaretPlacementTest, TheDrawnSelectionIsWhereTheNextKeyGoes) {
    struct Case {
        const char* what;
        std::function<void()> keysPressed;
    };
    const Case cases[] = {
        {"Ctrl+H on a selected b",
         [] {
             keys("b");
             key(plat::VK_LEFT, pt::kShift);
             key('H', pt::kCtrl);
         }},
        {"Ctrl+J on a selected b, then Tab to the superscript",
         [] {
             keys("b");
             key(plat::VK_LEFT, pt::kShift);
             key('J', pt::kCtrl);
             key(plat::VK_TAB);
         }},
        {"Ctrl+H after b, 2, then Right",
         [] {
             keys("b");
             key('H', pt::kCtrl);
             keys("2");
             key(plat::VK_RIGHT);
         }},
        {"Ctrl+J after b, 1, Tab, 2, Tab",
         [] {
             keys("b");
             key('J', pt::kCtrl);
             keys("1");
             key(plat::VK_TAB);
             keys("2");
             key(plat::VK_TAB);
         }},
        {"Ctrl+L after b, 1, then Right",
         [] {
             keys("b");
             key('L', pt::kCtrl);
             keys("1");
             key(plat::VK_RIGHT);
         }},
        {"typed text, then Left twice",
         [] {
             keys("ab+cd");
             key(plat::VK_LEFT);
             key(plat::VK_LEFT);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExprFilePane* pane = typed("");
        c.keysPressed();
        EXPECT_EQ(pixelsUnlikeARepaint(pane), 0) << TreeText(pane->expression());
        const Zone drawn = drawnSelection(pane);
        ASSERT_LT(drawn.left, drawn.right) << "no selection drawn";
        keys("z");
        const eExpr* landed = wordWith(pane->expression(), 'z');
        ASSERT_NE(landed, nullptr) << TreeText(pane->expression());
        Zone target = inWindow(pane, landed);
        // A caret is drawn on the edge of the place the character takes.
        target.left -= 1;
        target.right += 1;
        Zone common;
        EXPECT_TRUE(ZoneIntersect(drawn, target, common))
            << "drawn at " << drawn.left << "," << drawn.top << "-" << drawn.right << ","
            << drawn.bottom << ", typed at " << target.left << "," << target.top << "-"
            << target.right << "," << target.bottom << " in " << TreeText(pane->expression());
    }
}

} // namespace
} // namespace kvtest
