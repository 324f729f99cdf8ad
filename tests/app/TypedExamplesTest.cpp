// The shipped examples are what the user gets by typing: each one is made again in the running
// program with the keys and the palette's buttons, and the two are the same expression.

#include "OverSrcs/etEncode.h"
#include "TreeText.h"
#include "UserInputFixture.h"
#include "tools/mkexamples/ExampleTrees.h"

#include <functional>
#include <string>

namespace kvtest {
namespace {

class TypedExamplesTest : public UserInputFixture {
public:
    // Shift+Left, Ctrl+H, 2, Right: a superscript 2 on what was typed last.
    static void squared() {
        key(plat::VK_LEFT, pt::kShift);
        key('H', pt::kCtrl);
        keys("2");
        key(plat::VK_RIGHT);
    }
    static void tab(int times = 1) {
        for (int i = 0; i < times; ++i)
            key(plat::VK_TAB);
    }
    static void right(int times = 1) {
        for (int i = 0; i < times; ++i)
            key(plat::VK_RIGHT);
    }
    // The expression in the form a document holds it (written and read back).
    static std::string stored(const eExpr* expression) {
        const std::string text = ExprEncodingText(expression);
        const ExprPtr back = ReadExprEncodingFromMemory(text.data(), text.size());
        return back ? ExprEncodingText(back.get()) : std::string("unreadable");
    }
};

TEST_F(TypedExamplesTest, EachTypedExampleIsWhatTypingMakes) {
    struct Case {
        const char* path;
        std::function<void(TypedExamplesTest&)> typeIt;
    };
    // Sub-palettes: 0 fractions and roots, 1 scripts, 2 fences, 6 matrices, 7 special symbols,
    // 11 operators, 12 arrows.
    const Case cases[] = {
        {"01_Algebra/01_Quadratic_formula.pvx",
         [](TypedExamplesTest& t) {
             keys("x=");
             fromMainPalette(0x4001);
             keys("-b");
             t.fromSubPalette(11, 0x11B1); // plus-minus
             fromMainPalette(0x4010);
             keys("b");
             squared();
             keys("-4ac");
             right(2);
             tab();
             keys("2a");
         }},
        {"01_Algebra/02_Binomial_theorem.pvx",
         [](TypedExamplesTest&) {
             key('9', pt::kCtrl); // parentheses
             keys("a+b");
             right();
             squared();
             keys("=a");
             squared();
             keys("+2ab+b");
             squared();
         }},
        {"01_Algebra/03_Cube_root.pvx",
         [](TypedExamplesTest& t) {
             t.fromSubPalette(0, 0x4011); // a root with an index
             keys("27");
             tab();
             keys("3");
             right();
             keys("=3,  ");
             fromMainPalette(0x4010);
             keys("9");
             right(2);
             keys("=3");
         }},
        {"01_Algebra/04_Continued_fraction.pvx",
         [](TypedExamplesTest&) {
             for (int level = 0; level < 3; ++level) {
                 keys("1+");
                 fromMainPalette(0x4001);
                 keys("1");
                 tab();
             }
             keys("x");
         }},
        {"02_Calculus/01_Definite_integral.pvx",
         [](TypedExamplesTest&) {
             key('I', pt::kCtrl); // an integral with limits
             keys("x");
             squared();
             keys(" dx");
             tab();
             keys("0");
             tab();
             keys("1");
             right();
             keys("=");
             fromMainPalette(0x4001);
             keys("1");
             tab();
             keys("3");
         }},
        {"02_Calculus/04_Limit.pvx",
         [](TypedExamplesTest& t) {
             t.fromSubPalette(1, 0x4204); // a lower limit
             keys("lim");
             tab();
             keys("x");
             t.fromSubPalette(12, 0x11AE); // the arrow to the right
             keys("0");
             right(2);
             fromMainPalette(0x4001);
             keys("sin x");
             tab();
             keys("x");
             right();
             keys("=1");
         }},
        {"03_Linear_algebra/01_Matrix.pvx",
         [](TypedExamplesTest& t) {
             keys("I=");
             key(plat::VK_OEM_4, pt::kCtrl); // square brackets
             t.fromSubPalette(6, 0x5233);
             const char* cells = "100010001";
             for (int i = 0; i < 9; ++i) {
                 if (i > 0)
                     tab();
                 keys(std::string(1, cells[i]));
             }
         }},
        {"03_Linear_algebra/02_Determinant.pvx",
         [](TypedExamplesTest& t) {
             t.fromSubPalette(2, 0x4144); // bars
             key('M', pt::kCtrl);         // a 2 x 2 matrix
             keys("a");
             tab();
             keys("b");
             tab();
             keys("c");
             tab();
             keys("d");
             right(2);
             keys("=ad-bc");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const kvtool::ExampleDocument* example = nullptr;
        for (const kvtool::ExampleDocument& e : kvtool::ExampleDocuments())
            if (std::string(e.path) == c.path)
                example = &e;
        ASSERT_NE(example, nullptr);
        ExprFilePane* pane = typed("");
        c.typeIt(*this);
        const ExprPtr shipped = kvtool::BuildStoredExample(*example);
        EXPECT_EQ(stored(pane->expression()), ExprEncodingText(shipped.get()))
            << "typed   " << TreeText(pane->expression()) << "\nshipped "
            << TreeText(shipped.get());
    }
}

} // namespace
} // namespace kvtest
