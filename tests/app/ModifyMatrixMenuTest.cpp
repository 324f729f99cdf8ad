// Modifier > "Modifier la matrice" in the running program: whatever the user selected of a matrix
// (the whole expression, a cell, the matrix inside brackets), the matrix dialog opens.

#include "App/MenuDispatch.h"
#include "TreeText.h"
#include "UserInputFixture.h"
#include "plat/Dialog.h"

#include <functional>
#include <string>

namespace kvtest {
namespace {

constexpr int kModifyMatrixMenuId = 5388;
constexpr int kEditMatrixDialogId = 4111;

class ModifyMatrixMenuTest : public UserInputFixture {};

TEST_F(ModifyMatrixMenuTest, OpensTheMatrixDialogForWhatTheUserSelected) {
    struct Case {
        const char* what;
        std::function<void(ModifyMatrixMenuTest&)> act;
    };
    const Case cases[] = {
        {"a 3 x 3 matrix, Select All",
         [](ModifyMatrixMenuTest& t) {
             t.fromSubPalette(6, 0x5233);
             key('A', pt::kCtrl);
         }},
        {"the caret in a cell just after the insertion",
         [](ModifyMatrixMenuTest& t) { t.fromSubPalette(6, 0x5233); }},
        {"the caret in a cell after typing into it",
         [](ModifyMatrixMenuTest& t) {
             t.fromSubPalette(6, 0x5233);
             keys("x");
         }},
        {"the palette's matrix, Select All",
         [](ModifyMatrixMenuTest&) {
             fromMainPalette(0x5222);
             key('A', pt::kCtrl);
         }},
        {"the palette's matrix, caret in its second cell",
         [](ModifyMatrixMenuTest&) {
             fromMainPalette(0x5222);
             keys("a");
             key(plat::VK_TAB);
             keys("b");
         }},
        {"the matrix in brackets, Select All",
         [](ModifyMatrixMenuTest& t) {
             fromMainPalette(0x4111);
             t.fromSubPalette(6, 0x5233);
             key('A', pt::kCtrl);
         }},
        {"the matrix in brackets, caret in a cell",
         [](ModifyMatrixMenuTest& t) {
             fromMainPalette(0x4111);
             t.fromSubPalette(6, 0x5233);
             keys("y");
         }},
        {"typed text beside the matrix, Select All",
         [](ModifyMatrixMenuTest&) {
             keys("A=");
             fromMainPalette(0x5222);
             key('A', pt::kCtrl);
         }},
    };
    int opened = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExprFilePane* pane = typed("");
        c.act(*this);
        const std::string before = TreeText(pane->expression());
        EXPECT_NE(before.find("matrix{"), std::string::npos) << before;
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
        // Cancel leaves the document as it was.
        EXPECT_EQ(TreeText(pane->expression()), before);
    }
}

} // namespace
} // namespace kvtest
