// Escape that closes a command's dialog ends the dialog only: while the key is still down the
// command goes on to its end (its layout, its redraw) without taking the key for a request to stop
// the command ("Interruption par l'usager").

#include "App/MenuDispatch.h"
#include "TreeText.h"
#include "UserInputFixture.h"
#include "plat/Dialog.h"

#include <functional>
#include <string>

namespace kvtest {
namespace {

class EscapeClosesDialogTest : public UserInputFixture {};

TEST_F(EscapeClosesDialogTest, TheCommandEndsWithoutAnInterruptionBox) {
    struct Case {
        const char* what;
        std::function<void(EscapeClosesDialogTest&)> build;
        int menuId;
        int dialogId;
    };
    const Case cases[] = {
        {"Modify Matrix on a matrix in brackets",
         [](EscapeClosesDialogTest& t) {
             fromMainPalette(0x4111);
             t.fromSubPalette(6, 0x5233);
             keys("x");
         },
         5388, 4111},
        {"Modify Matrix on a plain matrix",
         [](EscapeClosesDialogTest& t) {
             t.fromSubPalette(6, 0x5233);
             keys("x");
         },
         5388, 4111},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExprFilePane* pane = typed("");
        c.build(*this);
        const std::string before = TreeText(pane->expression());
        bool opened = false;
        pt::onDialog(c.dialogId, [&](pt::DialogDriver& d) {
            opened = true;
            // The user presses Escape; the program sees the release only later.
            pt::keyDown(plat::VK_ESCAPE);
            d.pump();
        });
        const size_t boxes = pt::messageBoxes().size();
        DoMenuCommand(c.menuId);
        pump();
        pt::keyUp(plat::VK_ESCAPE);
        pump();
        EXPECT_TRUE(opened);
        ASSERT_EQ(pt::messageBoxes().size(), boxes) << pt::messageBoxes().back().text;
        EXPECT_EQ(TreeText(pane->expression()), before);
    }
}

} // namespace
} // namespace kvtest
