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

// Every command of the Modify menu, given a caret inside a node of its kind (the user typed into
// one of its slots), opens that node's dialog; from a caret outside any such node it says the node
// could not be found. A selected range is searched within (a matrix also round it).
TEST_F(ModifyMatrixMenuTest, EveryModifyCommandLooksOutwardFromTheCaret) {
    struct Case {
        const char* what;
        int32_t insert; // the template typed into
        int menuId;
        int dialogId;
    };
    const Case cases[] = {
        {"scripts", 0x4203, 5380, 4107},   {"integral", 0x4301, 5381, 4106},
        {"tree node", 0x4211, 5382, 4115}, {"box", 0x4040, 5383, 4117},
        {"fraction", 0x4001, 5384, 4114},  {"mark", 0x4401, 5386, 4113},
        {"fence", 0x4111, 5387, 4112},     {"matrix", 0x5222, 5388, kEditMatrixDialogId},
    };
    enum class Where { CaretInside, RangeInside, CaretOutside };
    for (const Case& c : cases) {
        for (const Where where : {Where::CaretInside, Where::RangeInside, Where::CaretOutside}) {
            SCOPED_TRACE(std::string(c.what) + (where == Where::CaretInside   ? ", caret inside"
                                                : where == Where::RangeInside ? ", range inside"
                                                                              : ", caret outside"));
            ExprFilePane* pane = typed("");
            keys("a");
            DoCommand(c.insert, 0);
            pump();
            keys("y");
            if (where == Where::RangeInside)
                key(plat::VK_LEFT, pt::kShift); // the typed y selected
            if (where == Where::CaretOutside) {
                // Out of the node: the caret at the end of the whole expression.
                key('A', pt::kCtrl);
                key(plat::VK_RIGHT);
            }
            const std::string before = TreeText(pane->expression());
            ASSERT_EQ(ActiveRecord->count(), 1);
            const SelectionEntry selected = ActiveRecord->entry(0);
            ASSERT_EQ(selected.start == selected.end, where != Where::RangeInside) << before;
            ASSERT_EQ(selected.node == pane->expression(), where == Where::CaretOutside) << before;
            // A selected range is searched within; only a matrix is also looked for round it.
            const bool found = where == Where::CaretInside ||
                               (where == Where::RangeInside && c.dialogId == kEditMatrixDialogId);
            int opened = 0;
            if (found)
                pt::onDialog(c.dialogId, [&](pt::DialogDriver& d) {
                    ++opened;
                    pt::keyDown(plat::VK_ESCAPE);
                    d.pump();
                });
            else
                pt::onMessageBox([](const plat::testing::MessageBoxCall&) { return 1; });
            const size_t boxes = pt::messageBoxes().size();
            DoMenuCommand(c.menuId);
            pump();
            if (found)
                pt::keyUp(plat::VK_ESCAPE);
            pump();
            EXPECT_EQ(opened, found ? 1 : 0) << before;
            EXPECT_EQ(pt::messageBoxes().size(), found ? boxes : boxes + 1) << before;
            EXPECT_EQ(TreeText(pane->expression()), before);
            CloseAllDocuments();
            takeBackQuit();
        }
    }
}

} // namespace
} // namespace kvtest
