// Input that arrives while a dialog, a message box or a file dialog runs, through the program's
// own loop: the events of a burst are read at once, so a key typed or a palette button pressed
// just after the command that opens the dialog is already queued for the document or the palette
// when the dialog's loop takes it. Neither may reach them: the command that opened the dialog
// still holds the document's nodes and its saved selection.

#include "App/MenuDispatch.h"
#include "Dialogs/FontStyleDialog.h"
#include "Dialogs/ModifyDialogs.h"
#include "Dialogs/ModifyTemplateDialogs.h"
#include "OverPc/commands/kPalette.h"
#include "OverSrcs/commands/kCommandScope.h"
#include "TreeText.h"
#include "UserInputFixture.h"
#include "plat/CommonDialogs.h"
#include "plat/Dialog.h"

#include <functional>
#include <string>

namespace kvtest {
namespace {

constexpr int kOpenMenuId = 258;
constexpr int kChangeRulersMenuId = 5378;
constexpr int kModifyFractionMenuId = 5384;
constexpr int kChangeSmartMenuId = 5390;

class ModalInputTest : public UserInputFixture {
protected:
    // A menu item chosen: the frame's WM_COMMAND, queued ahead of the input that follows it.
    static void chooseMenu(int id) {
        plat::PostMessage(CQVApp::instance().m_MainFrame, plat::WM_COMMAND,
                          static_cast<plat::WPARAM>(id), 0);
    }
    // The main palette's subscript button (third row, seventh column), pressed.
    static void pressSubscriptButton(plat::HWND palette) {
        const int32_t cell = PaletteCellSize();
        pt::advanceClock(2000);
        pt::click(palette, 6 * cell + cell, 2 * cell + cell);
    }
};

// A way into a modal run from a document: what the document holds first, the run's start (a
// menu item through the frame) and its answer (Cancel, so that the run itself changes nothing
// the intruding input could hide behind).
struct ModalRun {
    const char* name;
    const char* text;             // typed into the new document
    std::function<void()> select; // after typing, before the run
    std::function<void()> answer; // queued before the run starts
    int menuId;
};

// Each kind of modal run, with a key typed and a palette button pressed right after the command
// that opens it: the document ends as the same run without them leaves it, the intruder is
// refused with the beep, and no command ran inside the one that opened the run.
TEST_F(ModalInputTest, NoKeyOrPaletteButtonReachesADocumentWhileAModalRunIsUp) {
    const auto cancelDialog = [](int id) {
        return [id] { pt::onDialog(id, [](pt::DialogDriver& d) { d.click(plat::IDCANCEL); }); };
    };
    const auto selectTwoLeft = [] {
        key(plat::VK_LEFT, pt::kShift);
        key(plat::VK_LEFT, pt::kShift);
    };
    const ModalRun runs[] = {
        // The row's dialog, from the whole expression.
        {"Change Rulers", "ab+c", [] {}, cancelDialog(kEditStringDialogId), kChangeRulersMenuId},
        // The font dialog of the characters selected.
        {"Change Smart", "ab", selectTwoLeft, cancelDialog(kFontStyleDialogId), kChangeSmartMenuId},
        // A Modify dialog of a template: a fraction from the palette, then the whole expression.
        {"Modify Fraction", "a",
         [] {
             const int32_t cell = PaletteCellSize();
             pt::advanceClock(2000);
             pt::click(paletteOnTop(), cell, 2 * cell + cell);
             pump();
             DoCommand(kCmdSelectAll, 0);
         },
         cancelDialog(kEditFractionDialogId), kModifyFractionMenuId},
        // No fraction to modify: a message box, answered by its own loop with Enter.
        {"message box", "ab", [] {},
         [] {
             pt::onMessageBox([](const pt::MessageBoxCall&) {
                 pt::key(plat::VK_RETURN);
                 return pt::kShowBox;
             });
         },
         kModifyFractionMenuId},
        {"file dialog", "ab", [] {}, [] { pt::answerFileDialogCancel(); }, kOpenMenuId},
    };
    enum Intruder { kNone, kKey, kPalette };
    for (const ModalRun& run : runs) {
        std::string reference;
        for (const Intruder intruder : {kNone, kKey, kPalette}) {
            SCOPED_TRACE(std::string(run.name) + " intruder " + std::to_string(intruder));
            ExprFilePane* pane = typed(run.text);
            run.select();
            const plat::HWND palette = paletteOnTop();
            ASSERT_NE(palette, nullptr);
            pane->takeFocus();
            pt::runUntilIdle();
            const std::size_t beeps = pt::beeps().size();
            const int32_t refused = RefusedCommandCount();
            run.answer();
            chooseMenu(run.menuId);
            if (intruder == kKey)
                pt::type("q");
            else if (intruder == kPalette)
                pressSubscriptButton(palette);
            pump();
            EXPECT_EQ(pt::pendingDialogScripts(), 0);
            // The keyboard is back on the document.
            EXPECT_EQ(plat::GetFocus(), HandleOfWindow(pane->windowHandle()));
            const std::string now = TreeText(pane->expression());
            if (intruder == kNone) {
                reference = now;
                continue;
            }
            EXPECT_EQ(now, reference);
            EXPECT_GT(pt::beeps().size(), beeps);
            // Refused where it came in, not by the command guard behind it.
            EXPECT_EQ(RefusedCommandCount(), refused);
        }
    }
}

// The guard behind the input: a command started from the loop of a dialog that a running command
// opened is refused with the beep and changes nothing; one started by the command's own code, or
// after the dialog, runs.
TEST_F(ModalInputTest, ACommandFromTheLoopOfARunningCommandsDialogIsRefused) {
    ExprFilePane* pane = typed("ab");
    key(plat::VK_LEFT, pt::kShift);
    key(plat::VK_LEFT, pt::kShift);
    const std::string before = TreeText(pane->expression());
    int32_t depthInside = 0;
    int32_t refused = 0;
    pt::onDialog(kFontStyleDialogId, [&](pt::DialogDriver& d) {
        depthInside = RunningCommandDepth();
        refused = RefusedCommandCount();
        // What a key reaching the document would have started.
        DoCommand(kCmdClear, 0);
        DoMenuCommand(kChangeSmartMenuId);
        refused = RefusedCommandCount() - refused;
        d.click(plat::IDCANCEL);
    });
    DoMenuCommand(kChangeSmartMenuId);
    EXPECT_EQ(depthInside, 2); // the menu item and the Modify code it runs
    EXPECT_EQ(refused, 2);
    EXPECT_EQ(TreeText(pane->expression()), before);
    EXPECT_EQ(RunningCommandDepth(), 0);
    // Once the dialog is gone the same command runs.
    DoCommand(kCmdClear, 0);
    EXPECT_NE(TreeText(pane->expression()), before);
}

// Paint, timers and the document's own redraw go on behind a dialog and change no tree: the
// answer of a dialog over a document that was drawn again meanwhile still applies.
TEST_F(ModalInputTest, ADialogOverADocumentDrawnAgainStillApplies) {
    ExprFilePane* pane = typed("ab+c");
    const plat::HWND window = HandleOfWindow(pane->windowHandle());
    pt::onDialog(kEditStringDialogId, [&](pt::DialogDriver& d) {
        plat::InvalidateRect(window, nullptr, plat::TRUE);
        pt::advanceClock(1000);
        d.pump();
        d.click(kStringRulerFirst + 1);
        d.click(plat::IDOK);
    });
    const std::size_t beeps = pt::beeps().size();
    DoMenuCommand(kChangeRulersMenuId);
    EXPECT_TRUE(pane->expression()->isDxString()) << TreeText(pane->expression());
    EXPECT_EQ(pt::beeps().size(), beeps);
}

} // namespace
} // namespace kvtest
