// Modifier > "Modifier la matrice" in the running program: whatever the user selected of a matrix,
// with the keys (the whole expression, a cell, the matrix inside brackets) or with the mouse (a
// press on a cell's placeholder, beside the matrix, a drag from the margin across it), the matrix
// dialog opens, and the Escape that closes it ends the dialog only, not the command.

#include "App/MenuDispatch.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/eSelect.h"
#include "TreeText.h"
#include "UserInputFixture.h"

#include <functional>
#include <string>

namespace kvtest {
namespace {

constexpr int kModifyMatrixMenuId = 5388;
constexpr int kEditMatrixDialogId = 4111;

class ModifyMatrixMenuTest : public UserInputFixture {
public:
    static eMatrix* firstMatrix(eExpr* n) {
        if (n == nullptr || n->isMatrix())
            return static_cast<eMatrix*>(n);
        for (int32_t i = 0; i < n->childCount(); ++i)
            if (eMatrix* m = firstMatrix(n->getChild(i)))
                return m;
        return nullptr;
    }
};

// Rectangles in the pane's window coordinates: the matrix, its cells (1, 0) and (1, 1).
struct Geometry {
    Zone matrix, left, centre;
};
int32_t mid(int32_t a, int32_t b) {
    return (a + b) / 2;
}

TEST_F(ModifyMatrixMenuTest, OpensTheMatrixDialogForWhatTheUserSelected) {
    struct Case {
        const char* what;
        std::function<void(ModifyMatrixMenuTest&)> act;
        // A press of the mouse after `act`, on or beside the matrix (none: the keys' selection).
        std::function<void(plat::HWND, const Geometry&)> press;
    };
    const auto matrix3x3 = [](ModifyMatrixMenuTest& t) { t.fromSubPalette(6, 0x5233); };
    const auto bracketed3x3 = [](ModifyMatrixMenuTest& t) {
        fromMainPalette(0x4111);
        t.fromSubPalette(6, 0x5233);
    };
    const auto betweenColumns = [](plat::HWND w, const Geometry& g) {
        pt::click(w, mid(g.left.right, g.centre.left), mid(g.centre.top, g.centre.bottom));
    };
    const Case cases[] = {
        {"a 3 x 3 matrix, Select All",
         [](ModifyMatrixMenuTest& t) {
             t.fromSubPalette(6, 0x5233);
             key('A', pt::kCtrl);
         },
         nullptr},
        {"the caret in a cell just after the insertion", matrix3x3, nullptr},
        {"the caret in a cell after typing into it",
         [](ModifyMatrixMenuTest& t) {
             t.fromSubPalette(6, 0x5233);
             keys("x");
         },
         nullptr},
        {"the palette's matrix, Select All",
         [](ModifyMatrixMenuTest&) {
             fromMainPalette(0x5222);
             key('A', pt::kCtrl);
         },
         nullptr},
        {"the palette's matrix, caret in its second cell",
         [](ModifyMatrixMenuTest&) {
             fromMainPalette(0x5222);
             keys("a");
             key(plat::VK_TAB);
             keys("b");
         },
         nullptr},
        {"the matrix in brackets, Select All",
         [&](ModifyMatrixMenuTest& t) {
             bracketed3x3(t);
             key('A', pt::kCtrl);
         },
         nullptr},
        {"the matrix in brackets, caret in a cell",
         [&](ModifyMatrixMenuTest& t) {
             bracketed3x3(t);
             keys("y");
         },
         nullptr},
        {"typed text beside the matrix, Select All",
         [](ModifyMatrixMenuTest&) {
             keys("A=");
             fromMainPalette(0x5222);
             key('A', pt::kCtrl);
         },
         nullptr},
        {"a click on a cell's placeholder", matrix3x3,
         [](plat::HWND w, const Geometry& g) {
             pt::click(w, mid(g.centre.left, g.centre.right), mid(g.centre.top, g.centre.bottom));
         }},
        {"a click between two columns", matrix3x3, betweenColumns},
        {"a click in the margin left of the matrix", matrix3x3,
         [](plat::HWND w, const Geometry& g) {
             pt::click(w, g.matrix.left - 2, mid(g.matrix.top, g.matrix.bottom));
         }},
        {"a drag from the margin above left to below right", matrix3x3,
         [](plat::HWND w, const Geometry& g) {
             pt::drag(w, plat::POINT{g.matrix.left - 2, g.matrix.top - 2},
                      plat::POINT{g.matrix.right + 2, g.matrix.bottom + 2});
         }},
        {"a drag from the left margin into the last cell", matrix3x3,
         [](plat::HWND w, const Geometry& g) {
             pt::drag(w, plat::POINT{g.matrix.left - 2, mid(g.matrix.top, g.matrix.bottom)},
                      plat::POINT{g.matrix.right - 2, g.matrix.bottom - 2});
         }},
        {"in brackets: a click between two columns", bracketed3x3, betweenColumns},
        {"in brackets: a drag from the margin across the whole", bracketed3x3,
         [](plat::HWND w, const Geometry& g) {
             pt::drag(w, plat::POINT{2, 2}, plat::POINT{g.matrix.right + 20, g.matrix.bottom + 20});
         }},
    };
    int opened = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExprFilePane* pane = typed("");
        c.act(*this);
        const std::string before = TreeText(pane->expression());
        EXPECT_NE(before.find("matrix{"), std::string::npos) << before;
        if (c.press) {
            eMatrix* m = firstMatrix(pane->expression());
            ASSERT_NE(m, nullptr);
            const Geometry g{inWindow(pane, m), inWindow(pane, m->getCell(1, 0)),
                             inWindow(pane, m->getCell(1, 1))};
            // Far from the last press: no double click.
            pt::advanceClock(2000);
            c.press(HandleOfWindow(pane->windowHandle()), g);
            pump();
            // Something is selected: the keys and commands that follow have a place to act.
            EXPECT_GT(ActiveRecord->count(), 0);
        }
        const int openedBefore = opened;
        pt::onDialog(kEditMatrixDialogId, [&](pt::DialogDriver& d) {
            ++opened;
            // The user presses Escape; the program sees the release only after the dialog.
            pt::keyDown(plat::VK_ESCAPE);
            d.pump();
        });
        const size_t boxes = pt::messageBoxes().size();
        DoMenuCommand(kModifyMatrixMenuId);
        pump();
        pt::keyUp(plat::VK_ESCAPE);
        pump();
        EXPECT_EQ(opened, openedBefore + 1);
        // No "could not be found" box, and the Escape that closed the dialog is no request to
        // stop the command (no "Interruption par l'usager" box).
        ASSERT_EQ(pt::messageBoxes().size(), boxes) << pt::messageBoxes().back().text;
        // The press and Cancel leave the document as it was.
        EXPECT_EQ(TreeText(pane->expression()), before);
    }
}

} // namespace
} // namespace kvtest
