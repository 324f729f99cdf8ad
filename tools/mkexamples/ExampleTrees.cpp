#include "tools/mkexamples/ExampleTrees.h"

#include "OverPc/oPixMap.h"
#include "OverSrcs/Winufo.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/commands/kInsert.h"
#include "OverSrcs/eBox.h"
#include "OverSrcs/eDxMatrix.h"
#include "OverSrcs/eDxStr.h"
#include "OverSrcs/eEditSupport.h"
#include "OverSrcs/eFactory.h"
#include "OverSrcs/eFence.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eIntegral.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eMark.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/eNewLine.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eRoot.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eUFO.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/etEncode.h"

#include <string>
#include <string_view>
#include <utility>

namespace kvtool {
namespace {

// Makes an expression the way the user does in a new document: characters typed as the key map
// types them, templates and symbols by the codes of the palette's buttons, Tab and the arrows to
// move on. The command layer runs on a record of its own, the program's active one put back
// afterwards.
class Typist {
public:
    Typist() {
        CreateSelectionRecord(m_record, ExprPtr(NewPlaceholder(0, false).release()), 0, 0, 0, 0);
        ActiveRecord = &m_record;
        ActiveList = m_record.m_entries;
        ActivePane = nullptr;
        ActivePad = nullptr;
        // Nothing is laid out: no window shows the record.
        DrawState.measurePort = nullptr;
        ShiftHeld = 0;
        CtrlHeld = 0;
    }
    ~Typist() {
        // The undo snapshot the typing took names this record.
        ForgetUndo(&m_record);
        DestroySelectionRecord(m_record);
        ActiveRecord = m_savedRecord;
        ActiveList = m_savedList;
        ActivePane = m_savedPane;
        ActivePad = m_savedPad;
        DrawState.measurePort = m_savedPort;
    }
    Typist(const Typist&) = delete;
    Typist& operator=(const Typist&) = delete;

    // Typed on the keyboard; a tab is the Tab key, which goes on to the next slot.
    Typist& type(std::string_view text) {
        for (char c : text)
            if (c == '\t')
                key(kCmdSelectNextSlot);
            else
                DoCommand(MakeCharCode(kTypingStyleSelector, static_cast<unsigned char>(c)), 1);
        return *this;
    }
    // A key without a character (Tab, an arrow; kCmd... codes).
    Typist& key(int32_t code, int32_t times = 1) {
        for (int32_t i = 0; i < times; ++i)
            DoCommand(code, 1);
        return *this;
    }
    // Right until the caret is back in the top row, after the template it was in (Right at the
    // end of a slot goes on into the next one, empty slots too).
    Typist& leave() {
        const eExpr* top = m_record.m_root != nullptr ? m_record.m_root->getChild(0) : nullptr;
        for (int i = 0; i < 16 && ActiveList != nullptr && ActiveList[0].node != top; ++i)
            key(kCmdMoveRight);
        return *this;
    }
    // A palette button: a template, a special symbol, a matrix.
    Typist& insert(int32_t code) {
        DoCommand(code, 0);
        return *this;
    }
    // A character of the Symbol font from the palette's symbol sub-palettes.
    Typist& symbol(unsigned char c) { return insert(MakeCharCode(1, c)); }
    // Pasted in at the selection.
    Typist& paste(ExprPtr expression) {
        InsertExprAsEdit(std::move(expression));
        return *this;
    }
    // A superscript 2 on the item before the caret (as Shift+Left then Ctrl+H make it: a code
    // with the widening bit takes that item), then out of it to the right.
    Typist& squared() { return insert(kCmdWidenBit | 0x4201).type("2").key(kCmdMoveRight); }

    ExprPtr expression() const {
        return m_record.m_root != nullptr && m_record.m_root->childCount() > 0
                   ? CopyExpr(m_record.m_root->getChild(0))
                   : ExprPtr();
    }

private:
    SelectionRecord m_record;
    SelectionRecord* m_savedRecord = ActiveRecord;
    SelectionEntry* m_savedList = ActiveList;
    ExprPane* m_savedPane = ActivePane;
    oPane* m_savedPad = ActivePad;
    oMeasurePort* m_savedPort = DrawState.measurePort;
};

// A row as typing the text into an empty slot makes it.
ExprPtr typedRow(std::string_view typed) {
    Typist t;
    t.type(typed);
    return t.expression();
}

// A template from the palette and what is typed into its slots (Tab between slots).
struct Filled {
    int32_t code;
    std::string_view slots;
};

// The templates one after the other as the user types a list of them: each inserted by its
// palette code, its slots typed, Right until the caret is out of it, then a comma and two spaces
// before the next.
ExprPtr catalog(const std::vector<Filled>& items) {
    Typist t;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            t.type(",  ");
        t.insert(items[i].code).type(items[i].slots).leave();
    }
    return t.expression();
}

// Every code with the same slots typed.
ExprPtr catalog(const std::vector<int32_t>& codes, std::string_view slots) {
    std::vector<Filled> items;
    for (int32_t code : codes)
        items.push_back({code, slots});
    return catalog(items);
}

// ---- 01 Algebra

// x = (-b ± sqrt(b² - 4ac)) / 2a
ExprPtr quadraticFormula() {
    Typist t;
    t.type("x=").insert(0x4001).type("-b").symbol(0xB1).insert(0x4010).type("b").squared();
    t.type("-4ac").key(kCmdMoveRight, 2).key(kCmdSelectNextSlot).type("2a");
    return t.expression();
}

// (a + b)² = a² + 2ab + b²
ExprPtr binomialSquare() {
    Typist t;
    t.insert(0x4111).type("a+b").key(kCmdMoveRight).squared();
    t.type("=a").squared().type("+2ab+b").squared();
    return t.expression();
}

// The cube root of 27 is 3, beside a square root.
ExprPtr cubeRoot() {
    Typist t;
    t.insert(0x4011).type("27").key(kCmdSelectNextSlot).type("3").key(kCmdMoveRight);
    t.type("=3,  ").insert(0x4010).type("9").key(kCmdMoveRight, 2).type("=3");
    return t.expression();
}

// 1 + 1 / (1 + 1 / (1 + 1 / x)), nested fractions.
ExprPtr continuedFraction() {
    Typist t;
    for (int level = 0; level < 3; ++level)
        t.type("1+").insert(0x4001).type("1").key(kCmdSelectNextSlot);
    t.type("x");
    return t.expression();
}

// x + 1 over 2 in each fraction style.
ExprPtr fractionStyles() {
    return catalog({0x4001, 0x4006, 0x4002, 0x4007, 0x4005}, "x+1\t2");
}

// 144 divided by 12 is 12.
ExprPtr longDivision() {
    return catalog({{0x4030, "144\t12\t12"}});
}

// The sum, product, union and intersection of k from 1 to n, with their limits under and over
// the sign and beside it.
ExprPtr bigOperators() {
    return catalog({0x4601, 0x4602, 0x4603, 0x4604, 0x4611, 0x4612, 0x4613, 0x4614}, "k\tk=1\tn");
}

// ---- 02 Calculus

// The integral of x² from 0 to 1 is 1/3.
ExprPtr definiteIntegral() {
    Typist t;
    t.insert(0x4700).type("x").squared().type(" dx").key(kCmdSelectNextSlot).type("0");
    t.key(kCmdSelectNextSlot).type("1").key(kCmdMoveRight);
    t.type("=").insert(0x4001).type("1").key(kCmdSelectNextSlot).type("3");
    return t.expression();
}

// Single, double and triple integral signs, each plain and with the contour, limits, small-sign
// and second-contour bits, around the integrand (and limits) typed; a quadruple sign; then the
// evaluate-at bar. (The code's count is the number of signs less one.)
ExprPtr integrals(int32_t family, std::string_view slots, std::string_view evaluated) {
    std::vector<Filled> items;
    for (int32_t count = 0; count <= 2; ++count)
        for (int32_t bits : {0, kIntegralContour, kIntegralLimitsAboveBelow, kIntegralSmallSign,
                             kIntegralContour | kIntegralSecondContour})
            items.push_back({family + count + bits, slots});
    items.push_back({family + 3, slots});
    items.push_back({family + kIntegralEvaluateAt, evaluated});
    return catalog(items);
}

ExprPtr integralSigns() {
    return integrals(0x4300, "f dx", "F");
}

ExprPtr integralsWithLimits() {
    return integrals(0x4700, "f dx\ta\tb", "F\ta\tb");
}

// lim (x -> 0) of sin x / x is 1: "lim" with its limit underneath.
ExprPtr limit() {
    Typist t;
    t.insert(0x4204).type("lim").key(kCmdSelectNextSlot).type("x").symbol(0xAE).type("0");
    t.key(kCmdMoveRight, 2).insert(0x4001).type("sin x").key(kCmdSelectNextSlot).type("x");
    t.key(kCmdMoveRight).type("=1");
    return t.expression();
}

// A superscript, a subscript, both, a limit under, one over, and both.
ExprPtr scriptsAndLimits() {
    return catalog({{0x4201, "x\t2"},
                    {0x4202, "x\ti"},
                    {0x4203, "x\ti\t2"},
                    {0x4204, "x\ti"},
                    {0x4205, "x\tn"},
                    {0x420A, "x\ti\tn"}});
}

// ---- 03 Linear algebra

// The determinant of a 2 × 2 matrix between bars.
ExprPtr determinant() {
    Typist t;
    t.insert(0x4144).insert(0x5222).type("a").key(kCmdSelectNextSlot).type("b");
    t.key(kCmdSelectNextSlot).type("c").key(kCmdSelectNextSlot).type("d");
    t.key(kCmdMoveRight, 2).type("=ad-bc");
    return t.expression();
}

ExprPtr matrix() {
    Typist t;
    t.type("I=").insert(0x4177).insert(0x5233);
    const char* cells = "100010001";
    for (int i = 0; i < 9; ++i) {
        if (i > 0)
            t.key(kCmdSelectNextSlot);
        t.type(std::string_view(cells + i, 1));
    }
    return t.expression();
}

// The first grid of the expression made a ruled grid as the matrix's Modify dialog makes it of
// a plain one: the cells kept, the dialog's layout choices as it offers them (the math axis, equal
// rows and columns, the outer space kept), the column alignment chosen and the lines drawn on its
// preview (a word per row of the grid, two bits per line segment).
struct GridLine {
    int32_t row;
    uint32_t bits;
};
eMatrix* firstGrid(eExpr* node) {
    if (node == nullptr)
        return nullptr;
    if (auto* grid = dynamic_cast<eMatrix*>(node))
        return grid;
    for (int32_t i = 0; i < node->childCount(); ++i)
        if (eMatrix* grid = firstGrid(node->getChild(i)))
            return grid;
    return nullptr;
}
ExprPtr ruleFirstGrid(ExprPtr expression, uint8_t hAlign, const std::vector<GridLine>& rowLines,
                      const std::vector<GridLine>& columnLines) {
    eMatrix* grid = firstGrid(expression.get());
    if (grid == nullptr || grid->m_parent == nullptr)
        return expression;
    OwnedNode<eDxMatrix> ruled = NewDxMatrix(grid->rows(), grid->columns(), nullptr);
    ruled->m_vAlign = 1;
    ruled->m_hAlign = hAlign;
    ruled->m_separateRows = 0;
    ruled->m_separateColumns = 0;
    ruled->m_tight = 0;
    for (const GridLine& line : rowLines)
        ruled->m_hStyles[line.row] = line.bits;
    for (const GridLine& line : columnLines)
        ruled->m_vStyles[line.row] = line.bits;
    for (int32_t i = 0; i < grid->childCount(); ++i)
        ruled->setChild(i, grid->detachChild(i));
    grid->m_parent->setChild(grid->m_index, ExprPtr(ruled.release()));
    return expression;
}

// A 2 x 3 matrix in parentheses with the augment line before its last column, beside both rows.
ExprPtr augmentedMatrix() {
    Typist t;
    t.insert(0x4111).insert(0x5223).type("1\t2\t5\t3\t4\t6");
    return ruleFirstGrid(t.expression(), 1, {},
                         {{0, kGridLineSolid << 4}, {1, kGridLineSolid << 4}});
}

// Two equations piled in a brace: the second line begun with Enter.
ExprPtr alignedEquations() {
    Typist t;
    t.insert(0x4100 + (kDelimBrace << 4)).type("x+y=3").key(kCmdNewLine).type("x-y=1");
    return t.expression();
}

// Equations aligned on their "=" in a ruled grid, a dashed line under the first and a solid one
// under the second.
ExprPtr equationsOnEquals() {
    Typist t;
    t.insert(0x5231).type("x+y=3\t2x=4\ty=1");
    return ruleFirstGrid(t.expression(), '=', {{1, kGridLineDashed}, {2, kGridLineSolid}}, {});
}

// ---- 04 Physics

ExprPtr tensor() {
    return catalog({{0x4210, "T\tij"}});
}

// Carbon with its atomic number and mass number in the places the prescript templates give.
ExprPtr isotopes() {
    return catalog({{0x4206, "C\t6"}, {0x4207, "C\t6"}, {0x4208, "C\t14"}, {0x4209, "C"}});
}

// A zero struck through with a slash.
ExprPtr overstrike() {
    return catalog({{0x4020, "0\t/"}});
}

// ---- 05 Structures

ExprPtr fencesSameBothSides() {
    std::vector<int32_t> codes;
    for (int32_t t = 1; t <= kDelimDoubleBar; ++t)
        codes.push_back(0x4100 + (t << 4 | t));
    return catalog(codes, "x");
}

ExprPtr fencesMixed() {
    std::vector<int32_t> codes;
    for (int32_t t = 0; t <= kDelimDoubleBar; ++t)
        codes.push_back(0x4100 + (t << 4 | (kDelimDoubleBar - t)));
    return catalog(codes, "x");
}

ExprPtr horizontalBraces() {
    std::vector<int32_t> codes;
    for (int32_t t = 1; t <= kDelimDoubleBar; ++t)
        codes.push_back(0x4500 + (t << 4 | t));
    return catalog(codes, "a+b");
}

ExprPtr marks(int32_t placement, std::string_view marked) {
    std::vector<int32_t> codes;
    for (int32_t m = 1; m <= kMarkDoubleBar; ++m)
        codes.push_back(0x4400 + (m | placement));
    return catalog(codes, marked);
}

ExprPtr marksAbove() {
    return marks(kMarkNormalPlacement, "x");
}

ExprPtr marksBelow() {
    return marks(kMarkNormalPlacement | kMarkBelow, "x");
}

ExprPtr marksFixedWidth() {
    return marks(kMarkFixedWidth, "AB");
}

// Boxes around x: the palette's box, and the other frames and shadows the box's Modify dialog
// gives (pasted in as that dialog leaves them), in a typed list.
ExprPtr boxes() {
    Typist t;
    bool first = true;
    for (int32_t kind : {1, 3, 5, 3 | kBoxShadow, 3 | kBoxShadow | kBoxShadowLeft}) {
        if (!first)
            t.type(",  ");
        first = false;
        if (kind == 3) {
            t.insert(0x4040).type("x").leave();
            continue;
        }
        OwnedNode<eBox> box = NewBox(typedRow("x"));
        box->m_kind = kind;
        t.paste(ExprPtr(box.release()));
    }
    return t.expression();
}

ExprPtr treeDiagram() {
    return catalog({{0x4211, "x\ty\tz"}});
}

// x followed by each of the special symbols from 4 on (the ellipses, h-bar, script l).
ExprPtr pseudoCharacters() {
    Typist t;
    for (int32_t code = 0x5304; code <= 0x5309; ++code)
        t.type("x").insert(code);
    return t.expression();
}

// A tab typed between two letters, then the row made a ruled row with its own ruler, as the
// row's Modify dialog makes it (the dialog's other choices left as it offers them).
ExprPtr ruledRow() {
    Typist t;
    t.type("a").insert(0x5303).type("b");
    ExprPtr typed = t.expression();
    OwnedNode<eDxString> r = NewDxString(typed->childCount(), nullptr);
    r->m_verticalAlign = 3;
    r->m_justification = 0;
    r->m_followRuler = 0;
    for (int32_t i = 0; i < typed->childCount(); ++i)
        r->setChild(i, typed->detachChild(i));
    return ExprPtr(r.release());
}

// A picture in the expression: a small drawing (a shaded square with a circle in it and a
// diagonal) recorded as a metafile, between two words.
ExprPtr pictureInRow() {
    std::unique_ptr<oPictPort> port(NewPictPort(Zone{0, 0, 36, 24, 0, 0}, 0, 0, 6, 0));
    if (!port)
        return TextToRow("?", 0);
    port->paintZone(Zone{0, 0, 36, 24, 0, 0}, Color{230, 236, 250, 255});
    port->frameZone(Zone{0, 0, 36, 24, 0, 0}, 1, Color{40, 60, 140, 255}, 0, 0);
    port->setColors(&kColorRed, nullptr);
    port->paintCircle(Zone{8, 2, 28, 22, 0, 0});
    port->startDeluxeLine(2, kColorBlack, 0, 0);
    port->moveTo(2, 22);
    port->lineTo(34, 2);
    port->endLine();
    // Typed, with the picture pasted in between.
    Typist t;
    t.type("A=").paste(
        ExprPtr(NewUFO(std::unique_ptr<WinUfo>(port->makePicture()), nullptr, 0).release()));
    t.type("+1");
    return t.expression();
}

} // namespace

ExprPtr BuildStoredExample(const ExampleDocument& example) {
    const std::string text = ExprEncodingText(example.build().get());
    return ReadExprEncodingFromMemory(text.data(), text.size());
}

const std::vector<ExampleDocument>& ExampleDocuments() {
    static const std::vector<ExampleDocument> examples = {
        {"01_Algebra/01_Quadratic_formula.pvx", &quadraticFormula},
        {"01_Algebra/02_Binomial_theorem.pvx", &binomialSquare},
        {"01_Algebra/03_Cube_root.pvx", &cubeRoot},
        {"01_Algebra/04_Continued_fraction.pvx", &continuedFraction},
        {"01_Algebra/05_Fraction_styles.pvx", &fractionStyles},
        {"01_Algebra/06_Long_division.pvx", &longDivision},
        {"01_Algebra/07_Big_operators.pvx", &bigOperators},
        {"02_Calculus/01_Definite_integral.pvx", &definiteIntegral},
        {"02_Calculus/02_Integral_signs.pvx", &integralSigns},
        {"02_Calculus/03_Integrals_with_limits.pvx", &integralsWithLimits},
        {"02_Calculus/04_Limit.pvx", &limit},
        {"02_Calculus/05_Scripts_and_limits.pvx", &scriptsAndLimits},
        {"03_Linear_algebra/01_Matrix.pvx", &matrix},
        {"03_Linear_algebra/02_Determinant.pvx", &determinant},
        {"03_Linear_algebra/03_Augmented_matrix.pvx", &augmentedMatrix},
        {"03_Linear_algebra/04_Aligned_equations.pvx", &alignedEquations},
        {"03_Linear_algebra/05_Equations_on_equals.pvx", &equationsOnEquals},
        {"04_Physics/01_Tensor.pvx", &tensor},
        {"04_Physics/02_Isotopes.pvx", &isotopes},
        {"04_Physics/03_Overstrike.pvx", &overstrike},
        {"05_Structures/01_Fences.pvx", &fencesSameBothSides},
        {"05_Structures/02_Mixed_fences.pvx", &fencesMixed},
        {"05_Structures/03_Horizontal_braces.pvx", &horizontalBraces},
        {"05_Structures/04_Marks_above.pvx", &marksAbove},
        {"05_Structures/05_Marks_below.pvx", &marksBelow},
        {"05_Structures/06_Fixed_width_marks.pvx", &marksFixedWidth},
        {"05_Structures/07_Boxes.pvx", &boxes},
        {"05_Structures/08_Tree_diagram.pvx", &treeDiagram},
        {"05_Structures/09_Pseudo_characters.pvx", &pseudoCharacters},
        {"05_Structures/10_Ruled_rows.pvx", &ruledRow},
        {"05_Structures/11_Picture.pvx", &pictureInRow},
    };
    return examples;
}

} // namespace kvtool

namespace kvtool {

const std::vector<ExampleExport>& ExampleExports() {
    static const std::vector<ExampleExport> exports = {
        {"06_Exports/Quadratic_formula.eps", "01_Algebra/01_Quadratic_formula.pvx"},
        {"06_Exports/Quadratic_formula.png", "01_Algebra/01_Quadratic_formula.pvx"},
        {"06_Exports/Quadratic_formula.mml", "01_Algebra/01_Quadratic_formula.pvx"},
    };
    return exports;
}

} // namespace kvtool
