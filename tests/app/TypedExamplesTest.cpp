// The shipped examples are what the user gets by typing: each one is made again in the running
// program with the keys and the palette's buttons, and the two are the same expression.

#include "../../src/Platform/backend/Backend.h"
#include "App/MenuDispatch.h"
#include "Dialogs/MatrixDialogs.h"
#include "Dialogs/ModifyDialogs.h"
#include "Dialogs/ModifyTemplateDialogs.h"
#include "OverSrcs/eIntegral.h"
#include "OverSrcs/eMark.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eUFO.h"
#include "OverSrcs/etEncode.h"
#include "TreeText.h"
#include "UserInputFixture.h"
#include "plat/Clipboard.h"
#include "plat/Dialog.h"
#include "plat/Metafile.h"
#include "tools/mkexamples/ExampleTrees.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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
    // The button with the code: on the main palette, on one of the built-in sub-palettes, else on
    // a sub-palette the user arranged with the buttons of the list being typed (the last slot's).
    void fromPalette(int32_t code, const std::vector<int32_t>& arranged) {
        if (blockWithCode(MainPalette(), code))
            return fromMainPalette(code);
        for (int32_t slot = 0; slot < kUserSlot; ++slot)
            if (const std::unique_ptr<PaletteRecord>& sub = SubPalette(slot))
                if (blockWithCode(*sub, code))
                    return fromSubPalette(slot, code);
        const int32_t perRow = 8;
        const auto n = static_cast<int32_t>(arranged.size());
        auto mine = std::make_unique<PaletteRecord>(2 * ((n + perRow - 1) / perRow),
                                                    2 * std::min(n, perRow));
        for (int32_t i = 0; i < n; ++i)
            mine->setBlock(2 * (i / perRow), 2 * (i % perRow), 2, 2,
                           arranged[static_cast<size_t>(i)]);
        mine->defaultRow = 0;
        mine->defaultColumn = 0;
        SubPalette(kUserSlot) = std::move(mine);
        fromSubPalette(kUserSlot, code);
    }
    // Right until the caret is back in the top row, out of the template it was in.
    void leave() {
        for (int i = 0;
             i < 16 && ActiveList != nullptr && ActiveList[0].node != m_pane->expression(); ++i)
            right();
    }
    // Templates from the palettes one after the other, each with its slots typed (Tab between
    // them), a comma and two spaces between one and the next.
    void typeList(const std::vector<std::pair<int32_t, std::string>>& items) {
        std::vector<int32_t> codes;
        for (const auto& item : items)
            codes.push_back(item.first);
        for (size_t i = 0; i < items.size(); ++i) {
            if (i > 0)
                keys(",  ");
            fromPalette(items[i].first, codes);
            keys(items[i].second);
            leave();
        }
    }
    void typeList(const std::vector<int32_t>& codes, const std::string& slots) {
        std::vector<std::pair<int32_t, std::string>> items;
        for (int32_t code : codes)
            items.emplace_back(code, slots);
        typeList(items);
    }
    // One to three signs, plain and with each bit, then four signs.
    static std::vector<int32_t> integralCodes(int32_t family) {
        std::vector<int32_t> codes;
        for (int32_t count = 0; count <= 2; ++count)
            for (int32_t bits : {0, kIntegralContour, kIntegralLimitsAboveBelow, kIntegralSmallSign,
                                 kIntegralContour | kIntegralSecondContour})
                codes.push_back(family + count + bits);
        codes.push_back(family + 3);
        return codes;
    }
    static std::vector<int32_t> fenceCodes(int32_t family, bool mixed) {
        std::vector<int32_t> codes;
        for (int32_t t = mixed ? 0 : 1; t <= 10; ++t)
            codes.push_back(family + (t << 4 | (mixed ? 10 - t : t)));
        return codes;
    }
    static std::vector<int32_t> markCodes(int32_t placement) {
        std::vector<int32_t> codes;
        for (int32_t m = 1; m <= kMarkDoubleBar; ++m)
            codes.push_back(0x4400 + (m | placement));
        return codes;
    }

    // Modifier > "Modifier la matrice" on the grid the caret is in: `dialog` sets the dialog's
    // choices, then "Lignes de séparation..." draws the lines given (segment row, column, whether
    // vertical, whether dotted) on the preview, and OK.
    struct Segment {
        int row, column;
        bool vertical, dotted;
    };
    static void modifyMatrix(const std::function<void(pt::DialogDriver&)>& dialog,
                             const std::vector<Segment>& lines) {
        pt::onDialog(kEditMatrixDialogId, [&](pt::DialogDriver& d) {
            dialog(d);
            d.click(kMatrixSeparationButton);
        });
        pt::onDialog(kMatrixDelimitersDialogId, [&](pt::DialogDriver& d) {
            const plat::HWND preview = d.item(kMatrixLinesPreviewItem);
            plat::RECT r{};
            plat::GetClientRect(preview, &r);
            // 17 units each way: cells on the even units, lines on the odd ones.
            const int ux = r.right / 17, uy = r.bottom / 17;
            for (const Segment& s : lines) {
                d.click(s.dotted ? kMatrixLineKindLast : kMatrixLineKindFirst);
                const int a = s.vertical ? 2 * s.column : 2 * s.column + 1;
                const int b = s.vertical ? 2 * s.row + 1 : 2 * s.row;
                pt::click(preview, a * ux + ux / 2, b * uy + uy / 2);
                d.pump();
            }
            d.click(plat::IDOK);
        });
        pt::onDialog(kEditMatrixDialogId, [](pt::DialogDriver& d) { d.click(plat::IDOK); });
        DoMenuCommand(5388);
        pump();
    }

    // The sub-palette slot a user's own arrangement takes in these tests.
    static constexpr int32_t kUserSlot = 15;
    ExprFilePane* m_pane = nullptr;

    // The shipped example with the path, or null.
    static const kvtool::ExampleDocument* example(const std::string& path) {
        for (const kvtool::ExampleDocument& e : kvtool::ExampleDocuments())
            if (e.path == path)
                return &e;
        return nullptr;
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
        {"05_Structures/09_Pseudo_characters.pvx",
         [](TypedExamplesTest& t) {
             for (int32_t code = 0x5304; code <= 0x5309; ++code) { // the second row's last too
                 keys("x");
                 t.fromSubPalette(7, code);
             }
         }},
        // Lists of templates, one of each kind of a family.
        {"01_Algebra/05_Fraction_styles.pvx",
         [](TypedExamplesTest& t) {
             t.typeList({0x4001, 0x4006, 0x4002, 0x4007, 0x4005}, "x+1\t2");
         }},
        {"01_Algebra/06_Long_division.pvx",
         [](TypedExamplesTest& t) {
             t.typeList({{0x4030, "144\t12\t12"}});
         }},
        {"01_Algebra/07_Big_operators.pvx",
         [](TypedExamplesTest& t) {
             // Tab from the operand goes past the sign to the limits.
             t.typeList({0x4601, 0x4602, 0x4603, 0x4604, 0x4611, 0x4612, 0x4613, 0x4614},
                        "k\tk=1\tn");
         }},
        {"02_Calculus/02_Integral_signs.pvx",
         [](TypedExamplesTest& t) {
             std::vector<std::pair<int32_t, std::string>> items;
             for (int32_t code : integralCodes(0x4300))
                 items.emplace_back(code, "f dx");
             items.emplace_back(0x4300 + kIntegralEvaluateAt, "F");
             t.typeList(items);
         }},
        {"02_Calculus/03_Integrals_with_limits.pvx",
         [](TypedExamplesTest& t) {
             std::vector<std::pair<int32_t, std::string>> items;
             for (int32_t code : integralCodes(0x4700))
                 items.emplace_back(code, "f dx\ta\tb");
             items.emplace_back(0x4700 + kIntegralEvaluateAt, "F\ta\tb");
             t.typeList(items);
         }},
        {"02_Calculus/05_Scripts_and_limits.pvx",
         [](TypedExamplesTest& t) {
             // Tab goes past the slots the template leaves empty: from the base to the superscript.
             t.typeList({{0x4201, "x\t2"},
                         {0x4202, "x\ti"},
                         {0x4203, "x\ti\t2"},
                         {0x4204, "x\ti"},
                         {0x4205, "x\tn"},
                         {0x420A, "x\ti\tn"}});
         }},
        {"04_Physics/01_Tensor.pvx",
         [](TypedExamplesTest& t) {
             t.typeList({{0x4210, "T\tij"}});
         }},
        {"04_Physics/02_Isotopes.pvx",
         [](TypedExamplesTest& t) {
             t.typeList({{0x4206, "C\t6"}, {0x4207, "C\t6"}, {0x4208, "C\t14"}, {0x4209, "C"}});
         }},
        {"04_Physics/03_Overstrike.pvx",
         [](TypedExamplesTest& t) {
             t.typeList({{0x4020, "0\t/"}});
         }},
        {"05_Structures/01_Fences.pvx",
         [](TypedExamplesTest& t) { t.typeList(fenceCodes(0x4100, false), "x"); }},
        {"05_Structures/02_Mixed_fences.pvx",
         [](TypedExamplesTest& t) { t.typeList(fenceCodes(0x4100, true), "x"); }},
        {"05_Structures/03_Horizontal_braces.pvx",
         [](TypedExamplesTest& t) { t.typeList(fenceCodes(0x4500, false), "a+b"); }},
        {"05_Structures/04_Marks_above.pvx",
         [](TypedExamplesTest& t) { t.typeList(markCodes(kMarkNormalPlacement), "x"); }},
        {"05_Structures/05_Marks_below.pvx",
         [](TypedExamplesTest& t) {
             t.typeList(markCodes(kMarkNormalPlacement | kMarkBelow), "x");
         }},
        {"05_Structures/06_Fixed_width_marks.pvx",
         [](TypedExamplesTest& t) { t.typeList(markCodes(kMarkFixedWidth), "AB"); }},
        {"05_Structures/07_Boxes.pvx",
         [](TypedExamplesTest& t) {
             // The palette's box, then Modify on the box just typed (Shift+Left selects it): its
             // line thickness and shadow.
             const struct {
                 int thickness;
                 int shadowItem;
             } boxes[] = {{1, kBoxShadowFirst},
                          {3, kBoxShadowFirst},
                          {5, kBoxShadowFirst},
                          {3, kBoxShadowFirst + 2},
                          {3, kBoxShadowFirst + 1}};
             bool first = true;
             for (const auto& box : boxes) {
                 if (!first)
                     keys(",  ");
                 first = false;
                 t.fromSubPalette(0, 0x4040);
                 keys("x");
                 t.leave();
                 if (box.thickness == 3 && box.shadowItem == kBoxShadowFirst)
                     continue;
                 key(plat::VK_LEFT, pt::kShift);
                 pt::onDialog(kEditBoxDialogId, [&](pt::DialogDriver& d) {
                     d.chooseCombo(kBoxThicknessItem, box.thickness);
                     d.check(box.shadowItem);
                     d.enter();
                 });
                 fromMainPalette(0x6153); // Modify
                 right();
             }
         }},
        {"03_Linear_algebra/03_Augmented_matrix.pvx",
         [](TypedExamplesTest& t) {
             key('9', pt::kCtrl);
             t.fromPalette(0x5223, {0x5223}); // a 2 x 3 matrix
             keys("1\t2\t5\t3\t4\t6");
             // The line before the last column in both rows.
             modifyMatrix([](pt::DialogDriver&) {}, {{0, 2, true, false}, {1, 2, true, false}});
         }},
        {"03_Linear_algebra/05_Equations_on_equals.pvx",
         [](TypedExamplesTest& t) {
             t.fromSubPalette(6, 0x5231); // a 3 x 1 matrix
             keys("x+y=3\t2x=4\ty=1");
             modifyMatrix(
                 [](pt::DialogDriver& d) {
                     d.check(kMatrixHorizontalLast); // aligned on a character
                     d.setText(kMatrixAlignCharItem, "=");
                 },
                 {{1, 0, false, true}, {2, 0, false, false}});
         }},
        {"03_Linear_algebra/04_Aligned_equations.pvx",
         [](TypedExamplesTest& t) {
             t.fromPalette(0x4120, {0x4120}); // a brace on the left only
             keys("x+y=3");
             key(plat::VK_RETURN);
             keys("x-y=1");
         }},
        {"05_Structures/10_Ruled_rows.pvx",
         [](TypedExamplesTest& t) {
             keys("a");
             t.fromSubPalette(7, 0x5303); // a tab
             keys("b");
             // The row's Modify dialog: a ruler of its own.
             key('A', pt::kCtrl);
             pt::onDialog(kEditStringDialogId, [](pt::DialogDriver& d) {
                 d.check(kStringRulerFirst + 2);
                 d.enter();
             });
             fromMainPalette(0x6153);
         }},
        {"05_Structures/11_Picture.pvx",
         [](TypedExamplesTest&) {
             // The drawing another program put on the clipboard as a metafile, pasted between
             // typed text.
             std::vector<uint8_t> emf;
             std::function<void(const eExpr*)> find = [&](const eExpr* node) {
                 const auto* leaf = dynamic_cast<const eUFO*>(node);
                 if (leaf != nullptr && leaf->m_picture != nullptr && emf.empty()) {
                     auto* h = reinterpret_cast<plat::HENHMETAFILE>(leaf->m_picture->enhMetafile());
                     emf.resize(plat::GetEnhMetaFileBits(h, 0, nullptr));
                     plat::GetEnhMetaFileBits(h, static_cast<plat::UINT>(emf.size()), emf.data());
                 }
                 for (int32_t i = 0; node != nullptr && i < node->childCount(); ++i)
                     find(node->getChild(i));
             };
             find(kvtool::BuildStoredExample(*example("05_Structures/11_Picture.pvx")).get());
             ASSERT_FALSE(emf.empty());
             keys("A=");
             plat::backend().setForeignClipboard({plat::ClipboardItem{"image/emf", emf}});
             key('V', pt::kCtrl);
             keys("+1");
         }},
        {"05_Structures/08_Tree_diagram.pvx",
         [](TypedExamplesTest& t) {
             t.typeList({{0x4211, "x\ty\tz"}});
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const kvtool::ExampleDocument* shippedExample = example(c.path);
        ASSERT_NE(shippedExample, nullptr);
        ExprFilePane* pane = m_pane = typed("");
        c.typeIt(*this);
        const ExprPtr shipped = kvtool::BuildStoredExample(*shippedExample);
        EXPECT_EQ(stored(pane->expression()), ExprEncodingText(shipped.get()))
            << "typed   " << TreeText(pane->expression()) << "\nshipped "
            << TreeText(shipped.get());
    }
    // Every shipped example is typed here.
    for (const kvtool::ExampleDocument& e : kvtool::ExampleDocuments())
        EXPECT_TRUE(std::any_of(std::begin(cases), std::end(cases),
                                [&](const Case& c) { return std::string(c.path) == e.path; }))
            << e.path << " is not typed";
}

} // namespace
} // namespace kvtest
