// Undo in the running program, driven as the user drives it (keys, drags, palette buttons): each
// undo brings back the state just before the user's last edit step, and a run of typing never
// reaches back past a click, an arrow, Tab, Select All, a deletion or another command.

#include "OverPc/shell/CQVApp.h"
#include "TreeText.h"
#include "UserInputFixture.h"
#include "plat/CommonDialogs.h"
#include "plat/Dialog.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kvtest {
namespace {

class UndoStepsTest : public UserInputFixture {};

TEST_F(UndoStepsTest, EachUndoBringsBackTheStateBeforeTheLastStep) {
    struct Case {
        const char* what;
        std::function<void(UndoStepsTest&, ExprFilePane*)> act;
        std::string before;             // the tree after the actions
        std::vector<std::string> undos; // the tree after each Ctrl+Z
    };
    auto fractionTyped = [](UndoStepsTest&, ExprFilePane*) {
        keys("q");
        fromMainPalette(0x4001); // a fraction
        keys("1");
        key(plat::VK_TAB);
        keys("2");
    };
    const Case cases[] = {
        {"typing after Select All and Delete undoes only the typing",
         [&](UndoStepsTest& t, ExprFilePane* p) {
             fractionTyped(t, p);
             key('A', pt::kCtrl);
             key(plat::VK_DELETE);
             keys("abc");
         },
         "[abc]",
         {"[]", "[]"}},
        {"a Delete over the selection is a step of its own",
         [&](UndoStepsTest& t, ExprFilePane* p) {
             fractionTyped(t, p);
             key('A', pt::kCtrl);
             key(plat::VK_DELETE);
         },
         "[]",
         {"[q|frac{[1]|[2]}]"}},
        {"Tab ends the run of typing",
         [&](UndoStepsTest& t, ExprFilePane* p) { fractionTyped(t, p); },
         "[q|frac{[1]|[2]}]",
         {"[q|frac{[1]|[?]}]"}},
        {"a drag selection and Delete come back with Ctrl+Z",
         [&](UndoStepsTest& t, ExprFilePane* p) {
             keys("a+b=c+d");
             t.dragOver(p, 8, 12);
             key(plat::VK_DELETE);
         },
         "[a|<s>|+|<s>|b|<s>|=|<s>]",
         {"[a|<s>|+|<s>|b|<s>|=|<s>|c|<s>|+|<s>|d]"}},
        {"an arrow ends the run: undo keeps what was typed before it",
         [&](UndoStepsTest&, ExprFilePane*) {
             keys("ab");
             key(plat::VK_LEFT);
             keys("x");
         },
         "[axb]",
         {"[ab]"}},
        {"typing into a root's index undoes the index only",
         [&](UndoStepsTest& t, ExprFilePane*) {
             keys("x");
             t.fromSubPalette(0, 0x4011); // a root with an index
             keys("y");
             key(plat::VK_TAB);
             keys("3");
         },
         "[x|root{[y]|[3]}]",
         {"[x|root{[y]|[?]}]"}},
        {"Backspace over a drag selection is a step of its own",
         [&](UndoStepsTest& t, ExprFilePane* p) {
             keys("a+b=c+d");
             t.dragOver(p, 8, 12);
             key(plat::VK_BACK);
             key(plat::VK_BACK);
         },
         "[a|<s>|+|<s>|b|<s>|=]",
         {"[a|<s>|+|<s>|b|<s>|=|<s>]"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExprFilePane* pane = typed("");
        c.act(*this, pane);
        EXPECT_EQ(TreeText(pane->expression()), c.before);
        for (const std::string& expected : c.undos) {
            undo();
            EXPECT_EQ(TreeText(pane->expression()), expected);
        }
    }
}

// Édition > "Couleur de fond..." through the menu bar: the chooser opens on the background's
// colour (OK alone changes nothing), and the change is an undo step of its own, so Ctrl+Z brings
// back the colour before it and never reaches back to the typing before the command.
TEST_F(UndoStepsTest, TheBackgroundColourIsAnUndoStepOfItsOwn) {
    struct Rgb {
        int r, g, b;
        bool operator==(const Rgb&) const = default;
    };
    // The document's background colour, as it is kept and as the window shows it beside the
    // expression.
    const auto shown = [](ExprFilePane* pane) {
        const SelectionRecord& r = pane->record();
        const Rgb kept = r.m_noBackground != 0
                             ? Rgb{255, 255, 255}
                             : Rgb{r.m_background.r, r.m_background.g, r.m_background.b};
        pt::runUntilIdle();
        const Zone z = inWindow(pane, pane->expression());
        const pt::Image image = pt::pixels(HandleOfWindow(pane->windowHandle()));
        const uint32_t p = image.at(z.right + 6, (z.top + z.bottom) / 2);
        const Rgb drawn{static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF),
                        static_cast<int>(p & 0xFF)};
        EXPECT_EQ(drawn, kept) << "drawn " << drawn.r << "," << drawn.g << "," << drawn.b;
        return kept;
    };
    // Opens the chooser from the menu bar; answers with `chosen` (none: OK alone) and gives back
    // the colour the chooser started on.
    const auto chooseColour = [](std::optional<Rgb> chosen) {
        Rgb start{-1, -1, -1};
        pt::onDialog(plat::IDD_CHOOSECOLOR, [&](pt::DialogDriver& d) {
            start = {std::stoi(d.text(plat::IDC_COLOR_RED)),
                     std::stoi(d.text(plat::IDC_COLOR_GREEN)),
                     std::stoi(d.text(plat::IDC_COLOR_BLUE))};
            if (chosen) {
                d.setText(plat::IDC_COLOR_RED, std::to_string(chosen->r));
                d.setText(plat::IDC_COLOR_GREEN, std::to_string(chosen->g));
                d.setText(plat::IDC_COLOR_BLUE, std::to_string(chosen->b));
            }
            d.click(plat::IDOK);
        });
        bool found = false;
        pt::onMenu([&](pt::MenuDriver& m) { found = m.choose(530); });
        EXPECT_TRUE(pt::openMenuTitle(CQVApp::instance().m_MainFrame, "\xC9"
                                                                      "dition"));
        pump();
        EXPECT_TRUE(found) << "no Couleur de fond... in the Edit menu";
        return start;
    };
    const Rgb white{255, 255, 255};
    const Rgb green{10, 200, 30};
    const Rgb red{250, 0, 0};
    struct Case {
        const char* what;
        std::vector<std::optional<Rgb>> answers; // after typing "abc", one chooser run each
        std::vector<Rgb> starts;                 // the colour each run started on
        Rgb before;                              // the background after the runs
        Rgb undone;                              // after Ctrl+Z (the tree stays "abc")
    };
    const Case cases[] = {
        {"one colour", {green}, {white}, green, white},
        {"OK alone keeps the colour", {green, std::nullopt}, {white, green}, green, white},
        {"two colours: Undo brings back the first", {green, red}, {white, green}, red, green},
        {"back to white", {green, white}, {white, green}, white, green},
        {"OK alone on white takes no step: Undo restores the typing's start",
         {std::nullopt},
         {white},
         white,
         white},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExprFilePane* pane = typed("");
        keys("abc");
        for (size_t i = 0; i < c.answers.size(); ++i)
            EXPECT_EQ(chooseColour(c.answers[i]), c.starts[i]) << "run " << i;
        EXPECT_EQ(shown(pane), c.before);
        EXPECT_EQ(TreeText(pane->expression()), "[abc]");
        undo();
        EXPECT_EQ(shown(pane), c.undone);
        const bool tookStep = !(c.before == white && c.answers.size() == 1 && !c.answers[0]);
        EXPECT_EQ(TreeText(pane->expression()), tookStep ? "[abc]" : "[]");
        // The one level of undo is used: a second Ctrl+Z changes nothing.
        undo();
        EXPECT_EQ(shown(pane), c.undone);
        EXPECT_EQ(TreeText(pane->expression()), tookStep ? "[abc]" : "[]");
        CloseAllDocuments();
        takeBackQuit();
    }
}

} // namespace
} // namespace kvtest
