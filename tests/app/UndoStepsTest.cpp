// Undo in the running program, driven as the user drives it (keys, drags, palette buttons): each
// undo brings back the state just before the user's last edit step, and a run of typing never
// reaches back past a click, an arrow, Tab, Select All, a deletion or another command.

#include "TreeText.h"
#include "UserInputFixture.h"

#include <functional>
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

} // namespace
} // namespace kvtest
