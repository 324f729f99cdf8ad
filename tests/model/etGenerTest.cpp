// The shipped translators over one small tree per node class and kind: the exact text of TeX,
// MathML, MathSpeak and linear text for each.
#include "OverSrcs/etGener.h"

#include "OverSrcs/commands/kInsert.h"
#include "OverSrcs/eBox.h"
#include "OverSrcs/eLongDivision.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/eOverstrike.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eRoot.h"
#include "OverSrcs/eTensor.h"
#include "OverSrcs/eTreeNode.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/etTranslator.h"
#include "model/TranslatorTreeFixture.h"
#include "platform/SysTempDir.h"
#include "support/RunTool.h"

#include <array>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

const char* const kNames[] = {"TeX.cat", "MathML.cat", "MathSpeak.cat", "Text.CAT"};

class ShippedTranslators : public TranslatorTreeTest {
protected:
    void SetUp() override {
        TranslatorTreeTest::SetUp();
        for (size_t i = 0; i < 4; ++i) {
            std::string message;
            const std::string path =
                std::string(KV_BINARY_DIR) + "/src/Korvaline_Prefs/" + kNames[i];
            ASSERT_TRUE(LoadTranslatorFile(path.c_str(), full[i], message)) << message;
            bare[i] = full[i];
            // Without the wrappers around the whole expression, the node's own text is left.
            for (int code = kTrCopyBefore; code <= kTrFileAfter; ++code)
                bare[i].entries[static_cast<size_t>(code)].clear();
        }
    }
    static ExprPtr Sym(const char* text) { return W(text, "Symbol"); }
    static ExprPtr Bold(const char* text) {
        FSSRecord style;
        InitFSSRecord(style);
        style.style[kStyleBold] = 1;
        return ExprPtr(NewWord(text, 0, style, 0).release());
    }
    static ExprPtr Grid(int32_t rows, int32_t columns, const char* cells) {
        OwnedNode<eSimpMatrix> grid = NewSimpMatrix(rows, columns);
        for (int32_t i = 0; i < rows * columns; ++i)
            grid->setCell(i / columns, i % columns, Row(W(std::string(1, cells[i]))));
        return ExprPtr(grid.release());
    }

    std::array<Translator, 4> full;
    std::array<Translator, 4> bare;
};

TEST_F(ShippedTranslators, EveryNodeClassAndKind) {
    struct Case {
        const char* name;
        std::function<ExprPtr()> tree;
        std::array<const char*, 4> expected; // TeX, MathML, MathSpeak, text
    } cases[] = {
        {"letters, digits, operator",
         [] { return W("x2+"); },
         {"x2+", "<mi>x</mi><mn>2</mn><mo>+</mo>", "x 2 plus", "x2+"}},
        {"upper case and escaped characters",
         [] { return W("X<&"); },
         {"X<\\&", "<mi>X</mi><mo>&lt;</mo><mo>&amp;</mo>", "upper X less-than ampersand", "X<&"}},
        {"Symbol block",
         [] { return Sym("a\xa3"); },
         {"\\alpha{}\\leq{}", "<mi>&#x03B1;</mi><mo>&#x2264;</mo>", "alpha less-than-or-equal-to",
          "alpha<="}},
        {"special word", [] { return W("sin"); }, {"\\sin{}", "<mi>sin</mi>", "sine", "sin"}},
        {"bold",
         [] { return Bold("v"); },
         {"\\mathbf{v}", "<mstyle mathvariant=\"bold\"><mi>v</mi></mstyle>", "bold v", "v"}},
        {"pseudo-character",
         [] { return ExprPtr(NewPseudo('-', nullptr, 0).release()); },
         {"\\cdots{}", "<mo>&#x22EF;</mo>", "ellipsis", "..."}},
        {"empty row", [] { return Row(std::vector<ExprPtr>{}); }, {"{}", "<mrow/>", "", ""}},
        {"fraction, stacked",
         [] { return T(kTemplateFamilyFraction, 1, Slots(W("a"), W("b"))); },
         {"\\frac{{a}}{{b}}", "<mfrac><mrow><mi>a</mi></mrow><mrow><mi>b</mi></mrow></mfrac>",
          "StartFraction a Over b EndFraction", "(a)/(b)"}},
        {"fraction, slanted",
         [] { return T(kTemplateFamilyFraction, 2, Slots(W("a"), W("b"))); },
         {"{}^{{a}}\\!/{}_{{b}}",
          "<mfrac bevelled=\"true\"><mrow><mi>a</mi></mrow><mrow><mi>b</mi></mrow></mfrac>",
          "StartFraction a Over b EndFraction", "(a)/(b)"}},
        {"fraction, slash",
         [] { return T(kTemplateFamilyFraction, 5, Slots(W("a"), W("b"))); },
         {"{a}/{b}", "<mrow><mrow><mi>a</mi></mrow><mo>/</mo><mrow><mi>b</mi></mrow></mrow>",
          "a slash b", "a/b"}},
        {"long division",
         [] {
             return ExprPtr(
                 NewLongDivision(Row(W("6")), Row(W("3")), Row(W("2")), Row(W("0"))).release());
         },
         {"\\begin{array}{r}{2}\\\\{3}\\overline{){6}}\\\\{0}\\end{array}",
          "<mlongdiv><mrow><mn>3</mn></mrow><mrow><mn>2</mn></mrow><mrow><mn>6</mn></mrow><mrow>"
          "<mn>0</mn></mrow></mlongdiv>",
          "StartLongDivision 3 LongDivisionSymbol 6 EndLongDivision", "6 / 3 = 2"}},
        {"square root",
         [] { return ExprPtr(NewRoot(Row(W("x")), nullptr).release()); },
         {"\\sqrt{{x}}", "<msqrt><mrow><mi>x</mi></mrow></msqrt>", "StartRoot x EndRoot",
          "sqrt(x)"}},
        {"root with index",
         [] { return ExprPtr(NewRoot(Row(W("x")), Row(W("3"))).release()); },
         {"\\sqrt[{3}]{{x}}", "<mroot><mrow><mi>x</mi></mrow><mrow><mn>3</mn></mrow></mroot>",
          "RootIndex 3 StartRoot x EndRoot", "root(3)(x)"}},
        {"nested roots",
         [] {
             ExprPtr inner(NewRoot(Row(W("x")), nullptr).release());
             return ExprPtr(NewRoot(Row(std::move(inner)), nullptr).release());
         },
         {"\\sqrt{{\\sqrt{{x}}}}",
          "<msqrt><mrow><msqrt><mrow><mi>x</mi></mrow></msqrt></mrow></msqrt>",
          "StartRoot NestedStartRoot x NestedEndRoot EndRoot", "sqrt(sqrt(x))"}},
        {"scripts kind 0, superscript only",
         [] { return T(kTemplateFamilyScript, 0, Slots(W("x"), nullptr, W("2"))); },
         {"{{x}}^{{2}}", "<msup><mrow><mi>x</mi></mrow><mrow><mn>2</mn></mrow></msup>",
          "x Superscript 2", "x^(2)"}},
        {"scripts kind 1, prescripts",
         [] {
             return T(kTemplateFamilyScript, 1, Slots(W("U"), nullptr, nullptr, W("92"), W("235")));
         },
         {"{}_{{92}}^{{235}}{{U}}",
          "<mmultiscripts><mrow><mi>U</mi></mrow><mrow/><mrow/><mprescripts/><mrow><mn>9</mn><mn>2"
          "</mn></mrow><mrow><mn>2</mn><mn>3</mn><mn>5</mn></mrow></mmultiscripts>",
          "Presubscript 92 Presuperscript 235 Base upper U", "_(92)^(235)U"}},
        {"scripts kind 10, a Greek capital under limits stays a letter",
         [] { return T(kTemplateFamilyScript, 10, Slots(Sym("S"), W("i"), W("n"))); },
         {"\\mathop{{\\Sigma{}}}\\limits_{{i}}^{{n}}",
          "<munderover><mrow><mi>&#x03A3;</mi></mrow><mrow><mi>i</mi></mrow><mrow><mi>n</mi></mrow>"
          "</munderover>",
          "upper sigma Underscript i Overscript n Endscripts", "Sigma_(i)^(n)"}},
        {"scripts kind 14 round the sum sign of the Symbol font",
         [] { return T(kTemplateFamilyScript, 14, Slots(W("k"), Sym("\xe5"), W("k=1"), W("n"))); },
         {"\\sum\\limits_{{k=1}}^{{n}} {k}",
          "<mrow><munderover><mo movablelimits=\"false\">&#x2211;</mo><mrow><mi>k</mi><mo>=</mo>"
          "<mn>1</mn></mrow><mrow><mi>n</mi></mrow></munderover><mrow><mi>k</mi></mrow></mrow>",
          "sum from k equals 1 to n of k", "sum_(k=1)^(n) k"}},
        {"tensor",
         [] {
             OwnedNode<eTensor> t = NewTensor(Row(W("T")), 3);
             t->setChild(1, Row(W("i")));
             t->setChild(2, Row(W("j")));
             return ExprPtr(t.release());
         },
         {"{{T}}{}^{{i}}{}_{{j}}",
          "<mmultiscripts><mrow><mi>T</mi></mrow><none/><mrow><mi>i</mi></mrow><mrow><mi>j</mi>"
          "</mrow><none/></mmultiscripts>",
          "upper T Superscript i Subscript j Baseline", "T^i_j"}},
        {"fence, parentheses",
         [] { return T(kTemplateFamilyFence, FenceKind(1, 1), Slots(W("x"))); },
         {"\\left({x}\\right)",
          "<mrow><mo fence=\"true\" stretchy=\"true\">(</mo><mrow><mi>x</mi></mrow><mo "
          "fence=\"true\" stretchy=\"true\">)</mo></mrow>",
          "left-parenthesis x right-parenthesis", "(x)"}},
        {"fence, horizontal braces",
         [] { return ExprPtr(NewFence(Row(W("x")), FenceKind(2, 2, true)).release()); },
         {"\\overbrace{\\underbrace{{x}}}",
          "<mover><mrow><munder><mrow><mrow><mi>x</mi></mrow></mrow><mo stretchy=\"true\">&#x23DF;"
          "</mo></munder></mrow><mo stretchy=\"true\">&#x23DE;</mo></mover>",
          "ModifyingAbove ModifyingBelow x With bottom-brace With top-brace", "x"}},
        {"mark above",
         [] { return ExprPtr(NewMark(Row(W("x")), kMarkDot).release()); },
         {"\\dot{{x}}", "<mover accent=\"true\"><mrow><mi>x</mi></mrow><mo>&#x2D9;</mo></mover>",
          "ModifyingAbove x With dot", "dot(x)"}},
        {"mark below",
         [] { return ExprPtr(NewMark(Row(W("x")), kMarkBar | kMarkBelow).release()); },
         {"\\underline{{x}}",
          "<munder accentunder=\"true\"><mrow><mi>x</mi></mrow><mo>&#xAF;</mo></munder>",
          "ModifyingBelow x With bar", "underbar(x)"}},
        {"integral with limits",
         [] { return T(kTemplateFamilyIntegral, 0, Slots(W("f"), W("0"), W("1"))); },
         {"\\int_{{0}}^{{1}}{f}",
          "<mrow><msubsup><mrow><mo>&#x222B;</mo></mrow><mrow><mn>0</mn></mrow><mrow><mn>1</mn>"
          "</mrow></msubsup><mrow><mi>f</mi></mrow></mrow>",
          "integral Subscript 0 Superscript 1 Baseline f", "int_(0)^(1) f"}},
        {"double contour integral above",
         [] {
             return T(kTemplateFamilyIntegral, 1 | kIntegralContour | kIntegralLimitsAboveBelow,
                      Slots(W("f"), W("S"), nullptr));
         },
         {"\\oint\\oint\\limits_{{S}}{f}",
          "<mrow><munderover><mrow><mo>&#x222E;</mo><mo>&#x222E;</mo></mrow><mrow><mi>S</mi>"
          "</mrow><mrow/></munderover><mrow><mi>f</mi></mrow></mrow>",
          "contour-integral contour-integral Subscript upper S Baseline f", "ointoint_(S) f"}},
        {"evaluate at",
         [] {
             return T(kTemplateFamilyIntegral, kIntegralEvaluateAt, Slots(W("F"), W("a"), W("b")));
         },
         {"\\left.{F}\\right|_{{a}}^{{b}}",
          "<msubsup><mrow><mrow><mi>F</mi></mrow><mo stretchy=\"true\">|</mo></mrow><mrow><mi>a"
          "</mi></mrow><mrow><mi>b</mi></mrow></msubsup>",
          "upper F EvaluatedAt Subscript a Superscript b Baseline", "F|_(a)^(b)"}},
        {"matrix",
         [] { return Grid(2, 2, "abcd"); },
         {"\\begin{array}{cc}{a}&{b}\\\\{c}&{d}\\end{array}",
          "<mtable><mtr><mtd><mrow><mi>a</mi></mrow></mtd><mtd><mrow><mi>b</mi></mrow></mtd></mtr>"
          "<mtr><mtd><mrow><mi>c</mi></mrow></mtd><mtd><mrow><mi>d</mi></mrow></mtd></mtr></"
          "mtable>",
          "Start 2 By 2 Matrix 1st Row 1st Column a 2nd Column b 2nd Row 1st Column c 2nd Column d "
          "EndMatrix",
          "[a, b; c, d]"}},
        {"pile",
         [] { return Grid(2, 1, "ab"); },
         {"\\begin{array}{c}{a}\\\\{b}\\end{array}",
          "<mtable><mtr><mtd><mrow><mi>a</mi></mrow></mtd></mtr><mtr><mtd><mrow><mi>b</mi></mrow>"
          "</mtd></mtr></mtable>",
          "StartLayout 1st Row a 2nd Row b EndLayout", "[a; b]"}},
        {"box",
         [] { return ExprPtr(NewBox(Row(W("x"))).release()); },
         {"\\boxed{{x}}", "<menclose notation=\"box\"><mrow><mi>x</mi></mrow></menclose>",
          "StartEnclose box x EndEnclose", "[x]"}},
        {"overstrike",
         [] { return ExprPtr(NewOverstrike(Row(W("O")), Row(W("/"))).release()); },
         {"\\rlap{${/}$}{O}", "<mrow><mrow><mi>O</mi></mrow><mrow><mo>/</mo></mrow></mrow>",
          "upper O overstruck by slash", "O//"}},
        {"tree",
         [] {
             OwnedNode<eTreeNode> t = NewTreeNode(Row(W("r")), 3);
             t->setChild(1, Row(W("a")));
             t->setChild(2, Row(W("b")));
             return ExprPtr(t.release());
         },
         {"\\begin{array}{c}{r}\\\\\\begin{array}{cc}{a}&{b}\\end{array}\\end{array}",
          "<mtable><mtr><mtd><mrow><mi>r</mi></mrow></mtd></mtr><mtr><mtd><mtable><mtr><mtd><mrow>"
          "<mi>a</mi></mrow></mtd><mtd><mrow><mi>b</mi></mrow></mtd></mtr></mtable></mtd></mtr>"
          "</mtable>",
          "StartTree r Branch a Branch b EndTree", "r(a, b)"}},
    };
    for (const Case& c : cases) {
        ExprPtr tree = c.tree();
        for (size_t i = 0; i < 4; ++i) {
            SCOPED_TRACE(std::string(c.name) + " in " + kNames[i]);
            EXPECT_EQ(TranslateExpression(bare[i], tree.get()), c.expected[i]);
            // The shipped rules stay within the expression's own bound, without the floor.
            const TranslationFloor none(0);
            std::string text;
            EXPECT_EQ(0, CatchFail([&] { text = TranslateExpression(bare[i], tree.get()); }));
            EXPECT_EQ(text, c.expected[i]);
        }
    }
}

// The palette's big operators in both forms, filled as a user fills them, with limits left empty
// and beside a Greek capital typed as a letter; the TeX of them all compiles and the MathML
// validates.
TEST_F(ShippedTranslators, BigOperatorTemplatesWriteTheOperator) {
    // The template of the palette command with its operand and limits (null: left empty).
    auto op = [](int32_t command, ExprPtr operand, const char* lower, const char* upper) {
        ExprPtr node = NewTemplateForCommand(command);
        node->setChild(0, operand ? Row(std::move(operand)) : Row(std::vector<ExprPtr>{}));
        node->setChild(2, lower ? Row(W(lower)) : Row(std::vector<ExprPtr>{}));
        node->setChild(3, upper ? Row(W(upper)) : Row(std::vector<ExprPtr>{}));
        return node;
    };
    auto square = [] { return T(kTemplateFamilyScript, 0, Slots(W("i"), nullptr, W("2"))); };
    struct Case {
        const char* name;
        std::function<ExprPtr()> tree;
        std::array<const char*, 4> expected; // TeX, MathML, MathSpeak, text
    } cases[] = {
        {"sum, limits above and below",
         [&] { return op(0x4601, square(), "i=1", "n"); },
         {"\\sum\\limits_{{i=1}}^{{n}} {{{i}}^{{2}}}",
          "<mrow><munderover><mo movablelimits=\"false\">&#x2211;</mo><mrow><mi>i</mi><mo>=</mo>"
          "<mn>1</mn></mrow><mrow><mi>n</mi></mrow></munderover><mrow><msup><mrow><mi>i</mi>"
          "</mrow><mrow><mn>2</mn></mrow></msup></mrow></mrow>",
          "sum from i equals 1 to n of i Superscript 2", "sum_(i=1)^(n) i^(2)"}},
        {"product, limits above and below",
         [&] { return op(0x4602, W("k"), "k=1", "n"); },
         {"\\prod\\limits_{{k=1}}^{{n}} {k}",
          "<mrow><munderover><mo movablelimits=\"false\">&#x220F;</mo><mrow><mi>k</mi><mo>=</mo>"
          "<mn>1</mn></mrow><mrow><mi>n</mi></mrow></munderover><mrow><mi>k</mi></mrow></mrow>",
          "product from k equals 1 to n of k", "prod_(k=1)^(n) k"}},
        {"union, limits above and below",
         [&] { return op(0x4603, W("A"), "i", "n"); },
         {"\\bigcup\\limits_{{i}}^{{n}} {A}",
          "<mrow><munderover><mo movablelimits=\"false\">&#x22C3;</mo><mrow><mi>i</mi></mrow><mrow>"
          "<mi>n</mi></mrow></munderover><mrow><mi>A</mi></mrow></mrow>",
          "union from i to n of upper A", "union_(i)^(n) A"}},
        {"intersection, limits above and below",
         [&] { return op(0x4604, W("A"), "i", "n"); },
         {"\\bigcap\\limits_{{i}}^{{n}} {A}",
          "<mrow><munderover><mo movablelimits=\"false\">&#x22C2;</mo><mrow><mi>i</mi></mrow><mrow>"
          "<mi>n</mi></mrow></munderover><mrow><mi>A</mi></mrow></mrow>",
          "intersection from i to n of upper A", "intersect_(i)^(n) A"}},
        {"sum, limits as scripts",
         [&] { return op(0x4611, square(), "i=1", "n"); },
         {"\\sum\\nolimits_{{i=1}}^{{n}} {{{i}}^{{2}}}",
          "<mrow><msubsup><mo>&#x2211;</mo><mrow><mi>i</mi><mo>=</mo><mn>1</mn></mrow><mrow><mi>n"
          "</mi></mrow></msubsup><mrow><msup><mrow><mi>i</mi></mrow><mrow><mn>2</mn></mrow></msup>"
          "</mrow></mrow>",
          "sum from i equals 1 to n of i Superscript 2", "sum_(i=1)^(n) i^(2)"}},
        {"product, limits as scripts",
         [&] { return op(0x4612, W("k"), "k=1", "n"); },
         {"\\prod\\nolimits_{{k=1}}^{{n}} {k}",
          "<mrow><msubsup><mo>&#x220F;</mo><mrow><mi>k</mi><mo>=</mo><mn>1</mn></mrow><mrow><mi>n"
          "</mi></mrow></msubsup><mrow><mi>k</mi></mrow></mrow>",
          "product from k equals 1 to n of k", "prod_(k=1)^(n) k"}},
        {"union, limits as scripts",
         [&] { return op(0x4613, W("A"), "i", "n"); },
         {"\\bigcup\\nolimits_{{i}}^{{n}} {A}",
          "<mrow><msubsup><mo>&#x22C3;</mo><mrow><mi>i</mi></mrow><mrow><mi>n</mi></mrow>"
          "</msubsup><mrow><mi>A</mi></mrow></mrow>",
          "union from i to n of upper A", "union_(i)^(n) A"}},
        {"intersection, limits as scripts",
         [&] { return op(0x4614, W("A"), "i", "n"); },
         {"\\bigcap\\nolimits_{{i}}^{{n}} {A}",
          "<mrow><msubsup><mo>&#x22C2;</mo><mrow><mi>i</mi></mrow><mrow><mi>n</mi></mrow>"
          "</msubsup><mrow><mi>A</mi></mrow></mrow>",
          "intersection from i to n of upper A", "intersect_(i)^(n) A"}},
        {"sum without limits",
         [&] { return op(0x4601, W("x"), nullptr, nullptr); },
         {"\\sum\\limits {x}",
          "<mrow><munderover><mo movablelimits=\"false\">&#x2211;</mo><mrow/><mrow/></munderover>"
          "<mrow><mi>x</mi></mrow></mrow>",
          "sum of x", "sum x"}},
        {"product as scripts, upper limit only",
         [&] { return op(0x4612, W("x"), nullptr, "n"); },
         {"\\prod\\nolimits^{{n}} {x}",
          "<mrow><msubsup><mo>&#x220F;</mo><mrow/><mrow><mi>n</mi></mrow></msubsup><mrow><mi>x</mi>"
          "</mrow></mrow>",
          "product to n of x", "prod^(n) x"}},
        {"union with nothing filled but its lower limit",
         [&] { return op(0x4603, nullptr, "i", nullptr); },
         {"\\bigcup\\limits_{{i}} {}",
          "<mrow><munderover><mo movablelimits=\"false\">&#x22C3;</mo><mrow><mi>i</mi></mrow>"
          "<mrow/></munderover><mrow/></mrow>",
          "union from i", "union_(i)"}},
        {"Greek capitals typed from the palette",
         [] { return Sym("SP"); },
         {"\\Sigma{}\\Pi{}", "<mi>&#x03A3;</mi><mi>&#x03A0;</mi>", "upper sigma upper pi",
          "SigmaPi"}},
    };
    std::vector<ExprPtr> all;
    for (const Case& c : cases) {
        ExprPtr tree = c.tree();
        for (size_t i = 0; i < 4; ++i) {
            SCOPED_TRACE(std::string(c.name) + " in " + kNames[i]);
            EXPECT_EQ(TranslateExpression(bare[i], tree.get()), c.expected[i]);
        }
        all.push_back(std::move(tree));
    }

    // A translator file written before the big operators had entries of their own still writes
    // them, by the scripts rule of their kind.
    Translator older = bare[0];
    for (int32_t code = kTrBigOperatorAbove; code <= kTrBigOperatorBeside + 3; ++code)
        older.entries[static_cast<size_t>(code)].clear();
    EXPECT_EQ(TranslateExpression(older, cases[1].tree().get()),
              "\\mathop{{\\Pi{}}}\\limits_{{k=1}}^{{n}} {k}");

    // All of them in one document: pdflatex compiles the TeX, the MathML is valid by the DTD (the
    // setup script installs both tools; without them the check fails).
    ExprPtr row = Row(std::move(all));
    SysTempDir dir;
    std::ofstream(dir / "ops.tex") << GenerateTranslation(full[0], row.get(), kPurposeFile);
    std::ofstream(dir / "ops.mml") << GenerateTranslation(full[1], row.get(), kPurposeFile);
    std::string log;
    EXPECT_EQ(RunTool("pdflatex -interaction=nonstopmode -halt-on-error -output-directory '" +
                          dir.path() + "' '" + (dir / "ops.tex") + "'",
                      log),
              0)
        << log;
    EXPECT_EQ(RunTool("xmllint --noout --nonet --dtdvalid "
                      "/usr/share/xml/w3c-sgml-lib/schema/dtd/REC-MathML3-20101021/mathml3.dtd '" +
                          (dir / "ops.mml") + "'",
                      log),
              0)
        << log;
}

TEST_F(ShippedTranslators, WholeExpressionsCarryTheirEncoding) {
    ExprPtr tree = T(kTemplateFamilyFraction, 1, Slots(W("a"), W("b")));
    const std::string token = EncodingTokenOf(tree.get());
    EXPECT_EQ(TranslateExpression(full[0], tree.get()), "$\\frac{{a}}{{b}}$%" + token + "\n");
    const std::string mathml = GenerateTranslation(full[1], tree.get(), kPurposeFile);
    EXPECT_EQ(mathml.rfind("<?xml version=\"1.0\" encoding=\"US-ASCII\"?>\n<!DOCTYPE math", 0), 0u);
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(kNames[i]);
        const std::string text = GenerateTranslation(full[i], tree.get(), kPurposeFile);
        ExprPtr back = FindEmbeddedEncoding(text.data(), text.size());
        ASSERT_TRUE(back);
        EXPECT_EQ(ExprEncodingText(back.get()), ExprEncodingText(tree.get()));
    }
    // An expression whose translation passes the floor of the bound comes out whole: the last word,
    // then the encoding after it (a translation cut short would lose both).
    const struct {
        size_t translator;
        int words; // of 250 letters
        std::string last;
    } large[] = {{1, 6000, "<mi>z</mi></mrow>"}};
    for (const auto& c : large) {
        SCOPED_TRACE(kNames[c.translator]);
        std::vector<ExprPtr> words;
        for (int i = 0; i < c.words; ++i)
            words.push_back(W(std::string(250, i + 1 < c.words ? 'a' : 'z')));
        ExprPtr row = Row(std::move(words));
        std::string text;
        ASSERT_EQ(0, CatchFail([&] {
                      text = GenerateTranslation(full[c.translator], row.get(), kPurposeFile);
                  }));
        EXPECT_GT(text.size(), kMaxTranslationBytes);
        const size_t token = text.find(kEncodingStart);
        ASSERT_NE(token, std::string::npos);
        EXPECT_NE(text.rfind(c.last, token), std::string::npos);
        ExprPtr back = FindEmbeddedEncoding(text.data(), text.size());
        ASSERT_TRUE(back);
        // Compared as read back both ways: the reader fills in what a fresh tree leaves open.
        const std::string encoding = ExprEncodingText(row.get());
        ExprPtr direct = ReadExprEncodingFromMemory(encoding.data(), encoding.size());
        EXPECT_TRUE(ExprEncodingText(back.get()) == ExprEncodingText(direct.get()));
    }
}

} // namespace
} // namespace kvtest
