// The find and replace window in the running program (headless back end): opened from its menu
// item, patterns typed into its pads, its buttons clicked, the result read from the document.

#include "App/MenuDispatch.h"
#include "AppDocumentFixture.h"
#include "ExprSrcs/Find.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/Pwindow.h"
#include "OverSrcs/eChar.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eWord.h"
#include "plat/Input.h"
#include "plat/Window.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace kvtest {
namespace {

namespace pt = plat::testing;

class FindWindowTest : public AppDocumentFixture {
protected:
    void TearDown() override {
        if (FindPane* pane = TheFindPane())
            delete pane->window();
        AppDocumentFixture::TearDown();
    }

    // Opens the window from its menu item and types the two patterns into its pads; an empty
    // replacement leaves the replace pad alone.
    FindPane* openWith(std::string_view pattern, std::string_view replacement = {}) {
        RunMenuCommand(kFindMenuId);
        pt::runUntilIdle();
        FindPane* find = TheFindPane();
        EXPECT_NE(find, nullptr);
        pt::type(pattern);
        pt::runUntilIdle();
        if (!replacement.empty()) {
            clickPad(find->replacePad());
            pt::type(replacement);
            pt::runUntilIdle();
        }
        return find;
    }
    static plat::HWND hwnd(FindPane* find) { return HandleOfWindow(find->windowHandle()); }
    static void clickPad(ExprPad* pad) {
        const Zone z = pad->zoneInParent();
        pt::click(hwnd(TheFindPane()), z.left + 3, z.bottom - 3);
        pt::runUntilIdle();
    }
    static void press(FindPane* find, FindPane::Button button) {
        const Zone z = find->buttonZone(button);
        pt::click(hwnd(find), (z.left + z.right) / 2, (z.top + z.bottom) / 2);
        pt::runUntilIdle();
    }
    // The items of the row other than spacing, in order.
    static std::vector<const eExpr*> items(const eExpr* row) {
        std::vector<const eExpr*> out;
        for (int32_t i = 0; row != nullptr && i < row->childCount(); ++i)
            if (!row->getChild(i)->isSpace())
                out.push_back(row->getChild(i));
        return out;
    }
    // The words of the row joined by "|", other items as "#", spaces left out.
    static std::string text(ExprPane* pane) { return rowText(pane->expression()); }
    static std::string rowText(const eExpr* row) {
        std::string t;
        for (const eExpr* item : items(row)) {
            if (!t.empty())
                t += '|';
            t += item->isWord() ? std::string(static_cast<const eWord*>(item)->view()) : "#";
        }
        return t;
    }
    static int undoMenuId() {
        for (int id = 513; id < 560; ++id)
            if (MenuCommandCode(id) == kCmdUndo)
                return id;
        return 0;
    }
};

TEST_F(FindWindowTest, FindNextSelectsEachMatchInTurnAndWrapsOnce) {
    ExprFilePane* doc = typed("ab+cab+ab");
    const eExpr* row = doc->expression();
    FindPane* find = openWith("ab");
    ASSERT_NE(find, nullptr);
    EXPECT_EQ(rowText(find->findPad()->expression()), "ab");
    EXPECT_EQ(text(doc), "ab|+|cab|+|ab");
    // The caret starts at the end of the document: the first search wraps to its start.
    const struct {
        int32_t item;
        int32_t start;
    } expected[] = {{0, 0}, {2, 1}, {4, 0}, {0, 0}};
    for (const auto& e : expected) {
        SCOPED_TRACE(e.item);
        press(find, FindPane::kFind);
        ASSERT_EQ(doc->record().count(), 1);
        const SelectionEntry& s = doc->record().entry(0);
        EXPECT_EQ(s.node, items(row)[e.item]);
        EXPECT_EQ(s.start, e.start);
        EXPECT_EQ(s.end, e.start + 2);
        EXPECT_EQ(find->status(), "");
    }
    EXPECT_TRUE(pt::beeps().empty());
}

TEST_F(FindWindowTest, AMatchOutOfSightIsScrolledIntoView) {
    std::string longRow = "ab";
    for (int i = 0; i < 80; ++i)
        longRow += "+c";
    ExprFilePane* doc = typed(longRow);
    // Typing left the end of the row in view, the start out of it.
    const Zone before = doc->bounds();
    ASSERT_GT(before.left, 0);
    FindPane* find = openWith("ab");
    press(find, FindPane::kFind);
    ASSERT_EQ(doc->record().count(), 1);
    ASSERT_EQ(doc->record().entry(0).node, items(doc->expression())[0]);
    // Where the match is drawn in the document (the pads are the active ones now).
    oPane* const pad = ActivePad;
    ActivePad = doc;
    Zone area;
    int32_t bands[4];
    const bool known = EntryHighlightArea(doc->record().entry(0), area, bands);
    ActivePad = pad;
    ASSERT_TRUE(known);
    const oPoint centre{(area.left + area.right) / 2, (area.top + area.bottom) / 2};
    EXPECT_FALSE(ZoneContainsPoint(before, centre));
    EXPECT_TRUE(ZoneContainsPoint(doc->bounds(), centre));
}

TEST_F(FindWindowTest, MissingOrEmptyPatternFindsNothingAndSaysSo) {
    for (std::string_view pattern : {"zz", ""}) {
        SCOPED_TRACE(pattern);
        ExprFilePane* doc = typed("ab+ab");
        const SelectionEntry before = doc->record().entry(0);
        FindPane* find = openWith(pattern);
        const size_t beeps = pt::beeps().size();
        press(find, FindPane::kFind);
        EXPECT_EQ(find->status(), "Introuvable.");
        EXPECT_EQ(pt::beeps().size(), beeps + 1);
        EXPECT_EQ(doc->record().entry(0), before);
        EXPECT_EQ(find->replaceAll(), 0);
        EXPECT_EQ(text(doc), "ab|+|ab");
        delete find->window();
        delete doc->window();
        pt::runUntilIdle();
        takeBackQuit();
    }
}

TEST_F(FindWindowTest, ReplaceAllIsOneUndoStepAndReportsTheCount) {
    const struct {
        const char* typed;
        const char* pattern;
        const char* replacement;
        const char* after;
        int32_t count;
    } cases[] = {
        {"ab+cab+ab", "ab", "x", "x|+|cx|+|x", 3},
        // A replacement holding the pattern is not searched again.
        {"a+a", "a", "aa", "aa|+|aa", 2},
        {"a+b-a+b", "a+b", "c", "c|-|c", 2},
    };
    const int undo = undoMenuId();
    ASSERT_NE(undo, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern);
        ExprFilePane* doc = typed(c.typed);
        const ExprPtr original = CopyExpr(doc->expression());
        FindPane* find = openWith(c.pattern, c.replacement);
        press(find, FindPane::kReplaceAll);
        EXPECT_EQ(text(doc), c.after);
        EXPECT_EQ(find->status(), std::to_string(c.count) + " remplacement(s)");
        EXPECT_TRUE(doc->changed());
        // Back in the document, one Undo brings the whole tree back.
        doc->takeFocus();
        pt::runUntilIdle();
        RunMenuCommand(undo);
        pt::runUntilIdle();
        EXPECT_TRUE(doc->expression()->equal(original.get(), 0));
        delete find->window();
        delete doc->window();
        pt::runUntilIdle();
        takeBackQuit();
    }
}

// What is put in takes the size and style of the text it replaces, not the pad's.
TEST_F(FindWindowTest, AReplacementTakesTheSizeAndStyleOfWhatItReplaces) {
    const struct {
        const char* typed;
        const char* pattern;
        const char* replacement;
        FindPane::Button button;
        int presses;
        const char* after;
    } cases[] = {
        {"ab+cab+ab", "ab", "x", FindPane::kReplaceAll, 1, "x|+|cx|+|x"},
        {"a+b", "a+b", "c-d", FindPane::kReplaceAll, 1, "c|-|d"},
        {"ab+ab", "ab", "z", FindPane::kReplace, 2, "z|+|ab"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " -> " + c.replacement);
        ExprFilePane* doc = typed(c.typed);
        // The document's text at 24 points, bold.
        FSSRecord big;
        const std::function<void(eExpr*)> restyle = [&](eExpr* node) {
            if (auto* leaf = dynamic_cast<eChar*>(node)) {
                leaf->storedStyle(big);
                big.size = 24;
                big.style[0] = 1;
                leaf->setStyle(big);
            }
            for (int32_t i = 0; i < node->childCount(); ++i)
                restyle(node->getChild(i));
        };
        restyle(doc->expression());
        doc->remeasure();
        FindPane* find = openWith(c.pattern, c.replacement);
        std::vector<FSSRecord> pad;
        collectLeafStyles(find->replacePad()->expression(), pad);
        ASSERT_FALSE(pad.empty());
        ASSERT_NE(pad[0].size, 24) << "the pad's own size";
        for (int i = 0; i < c.presses; ++i)
            press(find, c.button);
        EXPECT_EQ(text(doc), c.after);
        for (const FSSRecord& style : leafStyles(doc)) {
            EXPECT_EQ(style.size, 24);
            EXPECT_EQ(style.style[0], 1);
            EXPECT_STREQ(style.fontName, big.fontName);
        }
        delete find->window();
        delete doc->window();
        pt::runUntilIdle();
        takeBackQuit();
    }
}

TEST_F(FindWindowTest, ReplaceActsOnTheFoundMatchThenFindsTheNext) {
    ExprFilePane* doc = typed("ab+ab");
    FindPane* find = openWith("ab", "z");
    // Nothing found yet: the first press finds.
    press(find, FindPane::kReplace);
    EXPECT_EQ(text(doc), "ab|+|ab");
    press(find, FindPane::kReplaceAndFind);
    EXPECT_EQ(text(doc), "z|+|ab");
    ASSERT_EQ(doc->record().count(), 1);
    EXPECT_EQ(doc->record().entry(0).node, items(doc->expression())[2]);
    press(find, FindPane::kReplace);
    EXPECT_EQ(text(doc), "z|+|z");
}

TEST_F(FindWindowTest, CommandsReachTheFocusedPadAndStructuresAreFound) {
    ExprFilePane* doc = typed("a");
    DoCommand(kCmdMatrixBase | 0x22, 0);
    pt::runUntilIdle();
    const ExprPtr original = CopyExpr(doc->expression());
    // The context menu's item opens the window too.
    ASSERT_TRUE(RunContextMenuItem(13868));
    pt::runUntilIdle();
    FindPane* find = TheFindPane();
    ASSERT_NE(find, nullptr);
    // A command run the way the palettes run theirs lands in the pad in focus.
    ASSERT_NE(AppHooks().doCommand, nullptr);
    AppHooks().doCommand(kCmdMatrixBase | 0x22, 0);
    pt::runUntilIdle();
    EXPECT_EQ(rowText(find->findPad()->expression()), "#");
    EXPECT_TRUE(doc->expression()->equal(original.get(), 0));
    press(find, FindPane::kFind);
    ASSERT_EQ(doc->record().count(), 1);
    const SelectionEntry& s = doc->record().entry(0);
    EXPECT_EQ(s.node, doc->expression());
    ASSERT_EQ(s.end - s.start, 1);
    EXPECT_TRUE(doc->expression()->getChild(s.start)->isMatrix());
}

TEST_F(FindWindowTest, TabMovesTheFocusAndReturnRunsTheFocusedButton) {
    ExprFilePane* doc = typed("ab+ab");
    FindPane* find = openWith("ab");
    // Return in the pattern pad is Find Next, not a new line in the pattern.
    pt::key(plat::VK_RETURN);
    pt::runUntilIdle();
    EXPECT_EQ(rowText(find->findPad()->expression()), "ab");
    ASSERT_EQ(doc->record().count(), 1);
    EXPECT_EQ(doc->record().entry(0).node, items(doc->expression())[0]);
    // Round the six stops and back; -1: a pad has the focus.
    const struct {
        unsigned mods;
        ExprPad* pad;
        int button;
    } steps[] = {
        {0, find->replacePad(), -1},
        {0, find->replacePad(), FindPane::kFind},
        {0, find->replacePad(), FindPane::kReplace},
        {0, find->replacePad(), FindPane::kReplaceAndFind},
        {0, find->replacePad(), FindPane::kReplaceAll},
        {0, find->findPad(), -1},
        {pt::kShift, find->findPad(), FindPane::kReplaceAll},
        {pt::kShift, find->findPad(), FindPane::kReplaceAndFind},
    };
    for (const auto& step : steps) {
        pt::key(plat::VK_TAB, step.mods);
        pt::runUntilIdle();
        EXPECT_EQ(find->focusedButton(), step.button);
        EXPECT_EQ(find->focusedPad(), step.pad);
    }
    // Typing while a button has the focus goes to the last pad; Tab into the replace pad, type
    // the replacement, Tab to "Tout remplacer" and Space presses it.
    pt::type("x");
    pt::runUntilIdle();
    EXPECT_EQ(find->focusedButton(), -1);
    EXPECT_EQ(rowText(find->findPad()->expression()), "abx");
    pt::key(plat::VK_BACK);
    pt::key(plat::VK_TAB);
    pt::type("c");
    for (int i = 0; i < 4; ++i)
        pt::key(plat::VK_TAB);
    pt::key(plat::VK_SPACE);
    pt::runUntilIdle();
    EXPECT_EQ(text(doc), "c|+|c");
    EXPECT_EQ(find->status(), "2 remplacement(s)");
}

// The window opens beside the document it searches, on the screen, and where it was left.
// With the find window in front, the frame given the activation (by the window manager, or by a
// click in the document) keeps it and hands the keyboard to the document, instead of passing the
// activation on to the find window: the next report would bring it back, and so on for ever. The
// palette, which never activates, leaves both alone. Only the program's own activations ask the
// display for anything.
TEST_F(FindWindowTest, TheFrameKeepsTheActivationItIsGiven) {
    ExprFilePane* doc = typed("a+b");
    FindPane* find = openWith("a");
    ASSERT_NE(find, nullptr);
    const plat::HWND frame = CQVApp::instance().m_MainFrame;
    const plat::HWND document = HandleOfWindow(doc->window()->windowHandle());
    const plat::HWND palette = openPalette();
    ASSERT_NE(palette, nullptr);
    ASSERT_EQ(plat::GetActiveWindow(), hwnd(find));
    const struct {
        const char* what;
        std::function<void()> act;
        plat::HWND active;
        plat::HWND focus;
        std::vector<std::string> requests;
    } steps[] = {
        {"the window manager activates the frame",
         [&] { pt::focusReport(frame); },
         frame,
         document,
         {}},
        {"the window manager focuses the palette",
         [&] { pt::focusReport(palette); },
         frame,
         document,
         {}},
        {"the window manager activates the find window",
         [&] { pt::focusReport(hwnd(find)); },
         hwnd(find),
         nullptr,
         {}},
        {"a click in the document",
         [&] { pt::click(document, 10, 10); },
         frame,
         document,
         {"raise Korvaline", "focus Korvaline"}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        pt::takeDisplayRequests();
        step.act();
        pt::runUntilIdle();
        EXPECT_EQ(plat::GetActiveWindow(), step.active);
        if (step.focus) {
            EXPECT_EQ(plat::GetFocus(), step.focus);
        }
        EXPECT_EQ(pt::takeDisplayRequests(), step.requests);
    }
}

// The window closes without a window manager: with Escape and with its own close button. Its menu
// item brings it back in front of the frame after a click in the document put the frame forward.
TEST_F(FindWindowTest, TheWindowClosesByItselfAndItsMenuItemBringsItToTheFront) {
    const struct {
        const char* what;
        std::function<void(FindPane*)> close;
    } closings[] = {
        {"Escape", [](FindPane*) { pt::key(plat::VK_ESCAPE); }},
        {"its close button",
         [](FindPane* find) {
             const Zone z = find->closeZone();
             pt::click(hwnd(find), (z.left + z.right) / 2, (z.top + z.bottom) / 2);
         }},
    };
    for (const auto& closing : closings) {
        SCOPED_TRACE(closing.what);
        typed("a+b");
        FindPane* find = openWith("a");
        ASSERT_NE(find, nullptr);
        closing.close(find);
        pt::runUntilIdle();
        EXPECT_EQ(TheFindPane(), nullptr);
        if (FindPane* left = TheFindPane())
            delete left->window();
    }

    ExprFilePane* doc = typed("a+b");
    FindPane* find = openWith("a");
    ASSERT_NE(find, nullptr);
    const plat::HWND document = HandleOfWindow(doc->window()->windowHandle());
    pt::click(document, 10, 10);
    pt::runUntilIdle();
    ASSERT_EQ(plat::GetActiveWindow(), CQVApp::instance().m_MainFrame);
    pt::takeDisplayRequests();
    RunMenuCommand(kFindMenuId);
    pt::runUntilIdle();
    EXPECT_EQ(TheFindPane(), find);
    EXPECT_EQ(plat::GetActiveWindow(), hwnd(find));
    const std::vector<std::string> requests = pt::takeDisplayRequests();
    EXPECT_NE(std::find(requests.begin(), requests.end(), "raise Rechercher & remplacer"),
              requests.end());
    // In front of the frame: a click on it reaches it.
    plat::POINT inside{5, 5};
    plat::ClientToScreen(hwnd(find), &inside);
    EXPECT_EQ(plat::WindowFromPoint(inside), hwnd(find));
}

TEST_F(FindWindowTest, TheWindowOpensBesideTheDocumentOnTheScreen) {
    const Zone work{0, 0, 1000, 700, 0, 0};
    const struct {
        const char* what;
        Zone document;
        oPoint expected;
    } cases[] = {
        {"room on the right", {100, 100, 400, 300, 0, 0}, {408, 100}},
        {"no room on the right: below", {500, 100, 900, 300, 0, 0}, {500, 308}},
        {"no room either: the bottom right corner", {300, 50, 900, 600, 0, 0}, {600, 500}},
        {"no document: centred", {}, {300, 250}},
        {"a document off the screen's left edge", {-900, 10, -300, 200, 0, 0}, {0, 10}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Zone z = PlaceBesideDocument(c.document, 400, 200, work);
        EXPECT_EQ(z.left, c.expected.x);
        EXPECT_EQ(z.top, c.expected.y);
        EXPECT_EQ(z.width(), 400);
        EXPECT_EQ(z.height(), 200);
    }

    // In the program: beside the document, then where the user left it.
    ExprFilePane* doc = typed("ab");
    FindPane* find = openWith("ab");
    Zone documentZone, findZone;
    doc->getScreenZone(documentZone);
    find->window()->getScreenZone(findZone);
    const Zone screen = ScreenWorkArea();
    EXPECT_GE(findZone.left, documentZone.right);
    EXPECT_LE(findZone.right, screen.right);
    EXPECT_LE(findZone.bottom, screen.bottom);
    const plat::HWND h = hwnd(find);
    plat::RECT outer;
    plat::GetWindowRect(h, &outer);
    plat::MoveWindow(h, 30, 40, outer.right - outer.left, outer.bottom - outer.top, plat::TRUE);
    pt::closeRequest(h);
    pt::runUntilIdle();
    ASSERT_EQ(TheFindPane(), nullptr);
    RunMenuCommand(kFindMenuId);
    pt::runUntilIdle();
    ASSERT_NE(TheFindPane(), nullptr);
    plat::GetWindowRect(hwnd(TheFindPane()), &outer);
    EXPECT_EQ(outer.left, 30);
    EXPECT_EQ(outer.top, 40);
}

} // namespace
} // namespace kvtest
