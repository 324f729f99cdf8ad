#include "tools/mkexamples/ExampleTrees.h"

#include "OverPc/oPixMap.h"
#include "OverSrcs/Winufo.h"
#include "OverSrcs/commands/kInsert.h"
#include "OverSrcs/eBox.h"
#include "OverSrcs/eDxMatrix.h"
#include "OverSrcs/eDxStr.h"
#include "OverSrcs/eEditSupport.h"
#include "OverSrcs/eFence.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eIntegral.h"
#include "OverSrcs/eMark.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/eNewLine.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eRoot.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eUFO.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/etEncode.h"

#include <string>
#include <string_view>
#include <utility>

namespace kvtool {
namespace {

using Pieces = std::vector<ExprPtr>;

// The words the program makes of typed text, appended to a row under construction.
void text(Pieces& pieces, std::string_view typed) {
    ExprPtr row = TextToRow(typed, 0);
    for (int32_t i = 0; i < row->childCount(); ++i)
        if (ExprPtr child = row->detachChild(i))
            pieces.push_back(std::move(child));
}

ExprPtr row(Pieces pieces) {
    OwnedNode<eSimpString> r = NewSimpString(static_cast<int32_t>(pieces.size()));
    for (size_t i = 0; i < pieces.size(); ++i)
        r->setChild(static_cast<int32_t>(i), std::move(pieces[i]));
    return ExprPtr(r.release());
}

ExprPtr row(std::string_view typed) {
    Pieces pieces;
    text(pieces, typed);
    return row(std::move(pieces));
}

ExprPtr squared(std::string_view base) {
    return ExprPtr(NewSSScript(row(base), nullptr, row("2"), 3).release());
}

// The placeholders of an inserted template become letters, in order, so that every slot shows.
void fillPlaceholders(eExpr* node, int& next) {
    if (node == nullptr)
        return;
    if (auto* word = dynamic_cast<eWord*>(node)) {
        if (word->view() == "?") {
            const char letter[2] = {static_cast<char>('a' + next++ % 26), 0};
            word->replaceText(0, 1, letter);
        }
        return;
    }
    for (int32_t i = 0; i < node->childCount(); ++i)
        fillPlaceholders(node->getChild(i), next);
}

// The templates of these insertion codes, side by side with a blank between them.
ExprPtr inserted(const std::vector<int32_t>& codes) {
    Pieces all;
    int next = 0;
    for (int32_t code : codes) {
        ExprPtr node = NewTemplateForCommand(code);
        if (node == nullptr)
            continue;
        fillPlaceholders(node.get(), next);
        if (!all.empty())
            text(all, "  ");
        all.push_back(std::move(node));
    }
    return row(std::move(all));
}

std::vector<int32_t> range(int32_t first, int32_t last) {
    std::vector<int32_t> codes;
    for (int32_t c = first; c <= last; ++c)
        codes.push_back(c);
    return codes;
}

// ---- 01 Algebra

// x = (-b ± sqrt(b² - 4ac)) / 2a
ExprPtr quadraticFormula() {
    Pieces radicand;
    radicand.push_back(squared("b"));
    text(radicand, "-4ac");
    Pieces numerator;
    text(numerator, "-b\xB1");
    numerator.push_back(ExprPtr(NewRoot(row(std::move(radicand)), nullptr).release()));
    Pieces all;
    text(all, "x=");
    all.push_back(ExprPtr(NewFraction(row(std::move(numerator)), row("2a")).release()));
    return row(std::move(all));
}

// (a + b)² = a² + 2ab + b²
ExprPtr binomialSquare() {
    Pieces all;
    ExprPtr fence(NewFence(row("a+b"), kDelimParen << 4 | kDelimParen).release());
    all.push_back(ExprPtr(NewSSScript(std::move(fence), nullptr, row("2"), 3).release()));
    text(all, "=");
    all.push_back(squared("a"));
    text(all, "+2ab+");
    all.push_back(squared("b"));
    return row(std::move(all));
}

// The cube root of 27 is 3, beside a square root.
ExprPtr cubeRoot() {
    Pieces all;
    all.push_back(ExprPtr(NewRoot(row("27"), row("3")).release()));
    text(all, "=3,  ");
    all.push_back(ExprPtr(NewRoot(row("9"), nullptr).release()));
    text(all, "=3");
    return row(std::move(all));
}

// 1 + 1 / (1 + 1 / (1 + 1 / x)), nested fractions.
ExprPtr continuedFraction() {
    Pieces level;
    text(level, "1+");
    level.push_back(ExprPtr(NewFraction(row("1"), row("x")).release()));
    ExprPtr middle(NewFraction(row("1"), row(std::move(level))).release());
    Pieces next;
    text(next, "1+");
    next.push_back(std::move(middle));
    Pieces all;
    text(all, "1+");
    all.push_back(ExprPtr(NewFraction(row("1"), row(std::move(next))).release()));
    return row(std::move(all));
}

ExprPtr fractionStyles() {
    return inserted(range(0x4001, 0x4007));
}

ExprPtr longDivision() {
    return inserted({0x4030});
}

ExprPtr bigOperators() {
    std::vector<int32_t> codes = range(0x4601, 0x4604);
    for (int32_t c = 0x4611; c <= 0x4614; ++c)
        codes.push_back(c);
    return inserted(codes);
}

// ---- 02 Calculus

// The integral of x² from 0 to 1 is 1/3.
ExprPtr definiteIntegral() {
    Pieces integrand;
    integrand.push_back(squared("x"));
    text(integrand, " dx");
    Pieces all;
    all.push_back(ExprPtr(NewIntegral(3, row(std::move(integrand)), row("0"), row("1")).release()));
    text(all, "=");
    all.push_back(ExprPtr(NewFraction(row("1"), row("3")).release()));
    return row(std::move(all));
}

// Integral signs one to three times, each with the contour, limits, small-sign and second-contour
// bits; the evaluate-at bar alone.
std::vector<int32_t> integralCodes(int32_t family) {
    std::vector<int32_t> codes;
    for (int32_t count = 1; count <= 3; ++count)
        for (int32_t bits : {0, kIntegralContour, kIntegralLimitsAboveBelow, kIntegralSmallSign,
                             kIntegralContour | kIntegralSecondContour})
            codes.push_back(family + count + bits);
    codes.push_back(family + kIntegralEvaluateAt);
    return codes;
}

ExprPtr integralSigns() {
    return inserted(integralCodes(0x4300));
}

ExprPtr integralsWithLimits() {
    return inserted(integralCodes(0x4700));
}

// lim (x -> 0) of sin x / x is 1: "lim" with its limit underneath.
ExprPtr limit() {
    OwnedNode<eSSScript> lim = NewSSScript(row("lim"), row("x->0"), nullptr, 3);
    lim->m_kind = kScriptLimits | kScriptNoScripts;
    Pieces all;
    all.push_back(ExprPtr(lim.release()));
    all.push_back(ExprPtr(NewFraction(row("sin x"), row("x")).release()));
    text(all, "=1");
    return row(std::move(all));
}

ExprPtr scriptsAndLimits() {
    std::vector<int32_t> codes = range(0x4201, 0x4205);
    codes.push_back(0x420A);
    return inserted(codes);
}

// ---- 03 Linear algebra

ExprPtr grid(int32_t rows, int32_t columns, const char* const* cells) {
    OwnedNode<eSimpMatrix> g = NewSimpMatrix(rows, columns);
    for (int32_t i = 0; i < rows * columns; ++i)
        g->setChild(i, row(cells[i]));
    return ExprPtr(g.release());
}

// The determinant of a 2 × 2 matrix between bars.
ExprPtr determinant() {
    const char* cells[] = {"a", "b", "c", "d"};
    Pieces all;
    all.push_back(ExprPtr(NewFence(grid(2, 2, cells), kDelimBar << 4 | kDelimBar).release()));
    text(all, "=ad-bc");
    return row(std::move(all));
}

ExprPtr matrix() {
    const char* cells[] = {"1", "0", "0", "0", "1", "0", "0", "0", "1"};
    Pieces all;
    text(all, "I=");
    all.push_back(ExprPtr(NewFence(grid(3, 3, cells), kDelimSquare << 4 | kDelimSquare).release()));
    return row(std::move(all));
}

ExprPtr augmentedMatrix() {
    OwnedNode<eDxMatrix> g = NewDxMatrix(2, 3, nullptr);
    const char* cells[] = {"1", "2", "5", "3", "4", "6"};
    for (int32_t i = 0; i < 6; ++i)
        g->setChild(i, row(cells[i]));
    // The augment line: column line 2, beside both rows.
    g->m_vStyles[0] = kGridLineSolid << 4;
    g->m_vStyles[1] = kGridLineSolid << 4;
    Pieces all;
    all.push_back(
        ExprPtr(NewFence(ExprPtr(g.release()), kDelimParen << 4 | kDelimParen).release()));
    return row(std::move(all));
}

ExprPtr alignedEquations() {
    ExprPtr pile = NewBreakGrid(row("x+y=3"), row("x-y=1"), true);
    Pieces all;
    all.push_back(ExprPtr(NewFence(std::move(pile), kDelimBrace << 4).release()));
    return row(std::move(all));
}

// Equations aligned on their "=" in a ruled grid, a dashed line under the first and a solid one
// under the second.
ExprPtr equationsOnEquals() {
    OwnedNode<eDxMatrix> g = NewDxMatrix(3, 1, nullptr);
    const char* cells[] = {"x+y=3", "2x=4", "y=1"};
    for (int32_t i = 0; i < 3; ++i)
        g->setChild(i, row(cells[i]));
    g->m_hAlign = '=';
    g->m_hStyles[1] = kGridLineDashed;
    g->m_hStyles[2] = kGridLineSolid;
    Pieces all;
    all.push_back(ExprPtr(g.release()));
    return row(std::move(all));
}

// ---- 04 Physics

ExprPtr tensor() {
    return inserted({0x4210});
}

ExprPtr isotopes() {
    return inserted(range(0x4206, 0x4209));
}

ExprPtr overstrike() {
    return inserted({0x4020});
}

// ---- 05 Structures

ExprPtr fencesSameBothSides() {
    std::vector<int32_t> codes;
    for (int32_t t = 1; t <= kDelimDoubleBar; ++t)
        codes.push_back(0x4100 + (t << 4 | t));
    return inserted(codes);
}

ExprPtr fencesMixed() {
    std::vector<int32_t> codes;
    for (int32_t t = 0; t <= kDelimDoubleBar; ++t)
        codes.push_back(0x4100 + (t << 4 | (kDelimDoubleBar - t)));
    return inserted(codes);
}

ExprPtr horizontalBraces() {
    std::vector<int32_t> codes;
    for (int32_t t = 1; t <= kDelimDoubleBar; ++t)
        codes.push_back(0x4500 + (t << 4 | t));
    return inserted(codes);
}

ExprPtr marks(int32_t placement) {
    std::vector<int32_t> codes;
    for (int32_t m = 1; m <= kMarkDoubleBar; ++m)
        codes.push_back(0x4400 + (m | placement));
    return inserted(codes);
}

ExprPtr marksAbove() {
    return marks(kMarkNormalPlacement);
}

ExprPtr marksBelow() {
    return marks(kMarkNormalPlacement | kMarkBelow);
}

ExprPtr marksFixedWidth() {
    return marks(kMarkFixedWidth);
}

ExprPtr boxes() {
    Pieces all;
    for (int32_t kind : {1, 3, 5, 3 | kBoxShadow, 3 | kBoxShadow | kBoxShadowLeft}) {
        OwnedNode<eBox> box = NewBox(row("x"));
        box->m_kind = kind;
        if (!all.empty())
            text(all, "  ");
        all.push_back(ExprPtr(box.release()));
    }
    return row(std::move(all));
}

ExprPtr treeDiagram() {
    return inserted({0x4211});
}

ExprPtr pseudoCharacters() {
    Pieces all;
    for (unsigned char code : {kPseudoEllipsis, kPseudoRisingEllipsis, kPseudoFallingEllipsis,
                               kPseudoVerticalEllipsis, kPseudoHBar, kPseudoScriptEll}) {
        text(all, "x");
        all.push_back(ExprPtr(NewPseudo(code, nullptr, 0).release()));
    }
    return row(std::move(all));
}

ExprPtr ruledRow() {
    OwnedNode<eDxString> r = NewDxString(3, nullptr);
    r->setChild(0, TextToRow("a", 0)->detachChild(0));
    r->setChild(1, ExprPtr(NewPseudo(kPseudoTab, nullptr, 0).release()));
    r->setChild(2, TextToRow("b", 0)->detachChild(0));
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
    Pieces all;
    text(all, "A=");
    all.push_back(
        ExprPtr(NewUFO(std::unique_ptr<WinUfo>(port->makePicture()), nullptr, 0).release()));
    text(all, "+1");
    return row(std::move(all));
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
