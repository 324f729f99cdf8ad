// Presses and drags on a matrix in the running program, as a user makes them with the mouse: on a
// cell's placeholder, beside the matrix, from the margin across it. Modifier > "Modifier la
// matrice" then opens the matrix dialog for what the press selected.

#include "App/MenuDispatch.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/eSelect.h"
#include "TreeText.h"
#include "UserInputFixture.h"

#include <functional>
#include <string>

namespace kvtest {
namespace {

class MatrixPressTest : public UserInputFixture {
public:
    // The node's rectangle in window coordinates of the pane.
    static Zone inWindow(ExprFilePane* pane, const eExpr* node) {
        Zone z = node->m_zone;
        for (const eExpr* p = node->m_parent; p != nullptr; p = p->m_parent)
            ZoneOffset(z, p->m_zone.left, p->m_zone.top);
        const Zone& frame = pane->zoneInParent();
        ZoneOffset(z, frame.left - pane->bounds().left, frame.top - pane->bounds().top);
        return z;
    }
};

constexpr int kModifyMatrixMenuId = 5388;
constexpr int kEditMatrixDialogId = 4111;

TEST_F(MatrixPressTest, WhatAPressOnOrBesideAMatrixSelectsOpensTheMatrixDialog) {
    // Rectangles in the pane's window coordinates: the matrix, its cells (1, 0) and (1, 1).
    struct Geometry {
        Zone matrix, left, centre;
    };
    struct Case {
        const char* what;
        bool inBrackets;
        std::function<void(plat::HWND, const Geometry&)> press;
    };
    auto mid = [](int32_t a, int32_t b) { return (a + b) / 2; };
    const Case cases[] = {
        {"a click on a cell's placeholder", false,
         [&](plat::HWND w, const Geometry& g) {
             pt::click(w, mid(g.centre.left, g.centre.right), mid(g.centre.top, g.centre.bottom));
         }},
        {"a click between two columns", false,
         [&](plat::HWND w, const Geometry& g) {
             pt::click(w, mid(g.left.right, g.centre.left), mid(g.centre.top, g.centre.bottom));
         }},
        {"a click in the margin left of the matrix", false,
         [&](plat::HWND w, const Geometry& g) {
             pt::click(w, g.matrix.left - 2, mid(g.matrix.top, g.matrix.bottom));
         }},
        {"a drag from the margin above left to below right", false,
         [&](plat::HWND w, const Geometry& g) {
             pt::drag(w, plat::POINT{g.matrix.left - 2, g.matrix.top - 2},
                      plat::POINT{g.matrix.right + 2, g.matrix.bottom + 2});
         }},
        {"a drag from the left margin into the last cell", false,
         [&](plat::HWND w, const Geometry& g) {
             pt::drag(w, plat::POINT{g.matrix.left - 2, mid(g.matrix.top, g.matrix.bottom)},
                      plat::POINT{g.matrix.right - 2, g.matrix.bottom - 2});
         }},
        {"in brackets: a click between two columns", true,
         [&](plat::HWND w, const Geometry& g) {
             pt::click(w, mid(g.left.right, g.centre.left), mid(g.centre.top, g.centre.bottom));
         }},
        {"in brackets: a drag from the margin across the whole", true,
         [&](plat::HWND w, const Geometry& g) {
             pt::drag(w, plat::POINT{2, 2}, plat::POINT{g.matrix.right + 20, g.matrix.bottom + 20});
         }},
    };
    int opened = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExprFilePane* pane = typed("");
        if (c.inBrackets)
            fromMainPalette(0x4111);
        fromSubPalette(6, 0x5233);
        eMatrix* m = nullptr;
        std::function<void(eExpr*)> find = [&](eExpr* n) {
            if (n == nullptr || m != nullptr)
                return;
            if (n->isMatrix()) {
                m = static_cast<eMatrix*>(n);
                return;
            }
            for (int32_t i = 0; i < n->childCount(); ++i)
                find(n->getChild(i));
        };
        find(pane->expression());
        ASSERT_NE(m, nullptr);
        const Geometry g{inWindow(pane, m), inWindow(pane, m->getCell(1, 0)),
                         inWindow(pane, m->getCell(1, 1))};
        const std::string before = TreeText(pane->expression());
        // Far from the last press: no double click.
        pt::advanceClock(2000);
        c.press(HandleOfWindow(pane->windowHandle()), g);
        pump();
        // Something is selected: the keys and commands that follow have a place to act.
        EXPECT_GT(ActiveRecord->count(), 0);
        const int openedBefore = opened;
        pt::onDialog(kEditMatrixDialogId, [&](pt::DialogDriver& d) {
            ++opened;
            d.escape();
        });
        const size_t boxes = pt::messageBoxes().size();
        DoMenuCommand(kModifyMatrixMenuId);
        pump();
        EXPECT_EQ(opened, openedBefore + 1);
        // No "could not be found" box.
        EXPECT_EQ(pt::messageBoxes().size(), boxes);
        EXPECT_EQ(TreeText(pane->expression()), before);
    }
}

} // namespace
} // namespace kvtest
