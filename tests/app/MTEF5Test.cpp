// Equations in the MTEF binary form: a small writer of the records as the public format documents
// lay them out, the trees each record and template family reads as, damaged data giving no
// expression, and "Paste From MathType" in the running program.

#include "../../src/Platform/backend/Backend.h"
#include "App/MenuDispatch.h"
#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/documents/ClipboardCommands.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/documents/MTEF5Parser.h"
#include "OverSrcs/eBox.h"
#include "OverSrcs/eDxMatrix.h"
#include "OverSrcs/eEditSupport.h"
#include "OverSrcs/eFence.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eIntegral.h"
#include "OverSrcs/eLongDivision.h"
#include "OverSrcs/eMark.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/eOverstrike.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eRoot.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/etEncode.h"
#include "app/AppDocumentFixture.h"
#include "plat/Testing.h"

#include <cstdlib>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace kvtest {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// ---- Version 5: a record type byte and an options byte
Bytes Header5() {
    Bytes h = {5, 1, 0, 6, 0};
    for (char c : std::string("KVTEST"))
        h.push_back(static_cast<uint8_t>(c));
    h.push_back(0);
    h.push_back(0); // equation options
    return h;
}
Bytes Line5(const Bytes& items) {
    return cat({{1, 0}, items, {0}});
}
Bytes NullLine5() {
    return {1, 1};
}
// Typeface 3 (variable) unless given, 16-bit character.
Bytes Char5(uint16_t c, uint8_t typeface = 3) {
    return {2, 0, static_cast<uint8_t>(128 + typeface), static_cast<uint8_t>(c),
            static_cast<uint8_t>(c >> 8)};
}
Bytes Text5(const std::string& s, uint8_t typeface = 3) {
    Bytes out;
    for (char c : s)
        out = cat({out, Char5(static_cast<uint8_t>(c), typeface)});
    return out;
}
Bytes Embell5(uint16_t c, const Bytes& embells) {
    Bytes out = {2, 1, 128 + 3, static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)};
    for (uint8_t e : embells)
        out = cat({out, {6, 0, e}});
    out.push_back(0);
    return out;
}
Bytes Tmpl5(uint8_t selector, uint8_t variation, const Bytes& slots) {
    return cat({{3, 0, selector, variation, 0}, slots, {0}});
}
Bytes Doc5(const Bytes& records) {
    return cat({Header5(), records, {0}});
}

// The state records a writer puts before the equation: size, definitions, preferences, a colour,
// a ruler and a record of a future type.
Bytes State5() {
    return cat({{9, 101, 12, 0},                       // SIZE, explicit point size
                {19, 'M', 'T', 'C', 'o', 'd', 'e', 0}, // ENCODING_DEF
                {17, 1, 'T', 'i', 'm', 'e', 's', 0},   // FONT_DEF
                {8, 1, 0},                             // FONT_STYLE_DEF
                {18, 0, 1, 0x1F, 0, 1, 1, 2},          // EQN_PREFS
                {16, 0, 0, 0, 0, 0, 0, 0},             // COLOR_DEF, black
                {15, 1},                               // COLOR
                {7, 1, 0, 10, 0},                      // RULER
                {10},                                  // FULL
                {100, 3, 1, 2, 3}});                   // future, skipped by its length
}

// ---- Version 3: the type in the low nibble of the tag, the options in the high one
Bytes Header3() {
    return {3, 1, 1, 3, 0};
}
Bytes Line3(const Bytes& items) {
    return cat({{0x01}, items, {0}});
}
Bytes Char3(uint8_t c) {
    return {0x02, 128 + 3, c, 0};
}
Bytes Tmpl3(uint8_t selector, uint8_t variation, const Bytes& slots) {
    return cat({{0x03, selector, variation, 0}, slots, {0}});
}
Bytes Doc3(const Bytes& records) {
    return cat({Header3(), records, {0}});
}

// Matrix record: alignment, size and the partition bytes, then the cells' lines.
Bytes Matrix5(uint8_t halign, uint8_t rows, uint8_t columns, const Bytes& parts,
              const Bytes& cells) {
    return cat({{5, 0, 0, halign, 1, rows, columns}, parts, cells, {0}});
}
Bytes Pile5(uint8_t halign, const Bytes& lines) {
    return cat({{4, 0, halign, 1}, lines, {0}});
}

// ---- Expected trees
using Pieces = std::vector<ExprPtr>;
ExprPtr Row(Pieces pieces) {
    OwnedNode<eSimpString> r = NewSimpString(static_cast<int32_t>(pieces.size()));
    for (size_t i = 0; i < pieces.size(); ++i)
        r->setChild(static_cast<int32_t>(i), std::move(pieces[i]));
    return ExprPtr(r.release());
}
ExprPtr Row(const std::string& text) {
    return TextToRow(text, 0);
}
template <typename... N> ExprPtr RowOf(N... nodes) {
    Pieces p;
    (p.push_back(ExprPtr(nodes.release())), ...);
    return Row(std::move(p));
}

OwnedNode<eWord> SymbolWord(const std::string& text) {
    FSSRecord style;
    InitFSSRecord(style);
    SetFSSFontName(style, "Symbol");
    return NewWord(text, 0, style, 0);
}
// Upright (text and function) or bold upright (vector) words.
OwnedNode<eWord> StyledWord(const std::string& text, bool bold) {
    FSSRecord style;
    InitFSSRecord(style);
    style.setItalicMode(kItalicOff);
    style.style[kStyleItalic] = kStyleOff;
    if (bold)
        style.style[kStyleBold] = kStyleOn;
    return NewWord(text, 0, style, 0);
}
// One row of the nodes and of the items of the rows given.
template <typename... E> ExprPtr Join(E... given) {
    std::vector<ExprPtr> parts;
    (parts.push_back(std::move(given)), ...);
    Pieces pieces;
    for (ExprPtr& part : parts) {
        if (dynamic_cast<eSimpString*>(part.get()) == nullptr) {
            pieces.push_back(std::move(part));
            continue;
        }
        for (int32_t i = 0; i < part->childCount(); ++i)
            pieces.push_back(part->detachChild(i));
    }
    return Row(std::move(pieces));
}
template <typename N> ExprPtr Node(N node) {
    return ExprPtr(node.release());
}
ExprPtr Limits(ExprPtr base, ExprPtr lower, ExprPtr upper) {
    auto s = NewSSScript(std::move(base), std::move(lower), std::move(upper), 3);
    s->m_kind = kScriptLimits | kScriptNoScripts;
    return Node(std::move(s));
}
ExprPtr Grid(int32_t rows, const std::vector<std::string>& cells, uint8_t align) {
    auto m = NewDxMatrix(rows, static_cast<int32_t>(cells.size()) / rows, nullptr);
    for (size_t i = 0; i < cells.size(); ++i)
        m->setCell(static_cast<int32_t>(i) / m->columns(), static_cast<int32_t>(i) % m->columns(),
                   Row(cells[i]));
    m->m_hAlign = align;
    return Node(std::move(m));
}

ExprPtr RowThen(ExprPtr row, ExprPtr node) {
    OwnedNode<eSimpString> r = NewSimpString(row->childCount() + 1);
    for (int32_t i = 0; i < row->childCount(); ++i)
        r->setChild(i, row->detachChild(i));
    r->setChild(row->childCount(), std::move(node));
    return ExprPtr(r.release());
}

// Records of versions 3 and 4: SUB, SUB2, SYM, SUBSYM and FULL, a ruler, then a line holding a
// left-aligned pile with its ruler and a right-aligned 1 x 2 matrix without partition lines.
Bytes OlderPileAndMatrix() {
    return cat({{0x0B, 0x0C, 0x0D, 0x0E, 0x0A, 0x07, 1, 0, 10, 0},
                Line3(cat({{0x24, 1, 1, 0x07, 1, 0, 10, 0},
                           Line3(Char3('a')),
                           Line3(Char3('b')),
                           {0},
                           {0x05, 1, 3, 1, 1, 2, 0, 0},
                           Line3(Char3('p')),
                           Line3(Char3('q')),
                           {0}}))});
}
ExprPtr OlderPileAndMatrixTree() {
    return Join(Grid(2, {"a", "b"}, kHAlignLeft), Grid(1, {"p", "q"}, kHAlignRight));
}

// `count` fractions, each in the numerator of the one before, around "x"; over "1".
Bytes NestedFractions5(int count) {
    Bytes inner = Line5(Text5("x"));
    for (int i = 0; i < count; ++i)
        inner = Line5(Tmpl5(11, 0, cat({inner, Line5(Text5("1"))})));
    return Doc5(inner);
}
ExprPtr NestedFractionsTree(int count) {
    ExprPtr inner = Row("x");
    for (int i = 0; i < count; ++i)
        inner = RowOf(NewFraction(std::move(inner), Row("1")));
    return inner;
}

using MTEF5Test = AppDocumentFixture;

struct Fixture {
    const char* name;
    Bytes bytes;
    std::function<ExprPtr()> expected;
};

std::vector<Fixture> Fixtures() {
    return {
        {"v5 line of characters", Doc5(Line5(Text5("ab+1"))), [] { return Row("ab+1"); }},
        {"v5 state records", Doc5(cat({State5(), Line5(Text5("x"))})), [] { return Row("x"); }},
        {"v5 null line", Doc5(NullLine5()), [] { return Row(""); }},
        {"v5 fraction", Doc5(Line5(Tmpl5(11, 0, cat({Line5(Text5("a")), Line5(Text5("b"))})))),
         [] { return RowOf(NewFraction(Row("a"), Row("b"))); }},
        {"v5 square root", Doc5(Line5(Tmpl5(10, 0, cat({Line5(Text5("x")), NullLine5()})))),
         [] { return RowOf(NewRoot(Row("x"), nullptr)); }},
        {"v5 n-th root", Doc5(Line5(Tmpl5(10, 1, cat({Line5(Text5("x")), Line5(Text5("3"))})))),
         [] { return RowOf(NewRoot(Row("x"), Row("3"))); }},
        {"v5 parentheses",
         Doc5(Line5(Tmpl5(1, 3, cat({Line5(Text5("y")), Char5('('), Char5(')')})))),
         [] { return RowOf(NewFence(Row("y"), kDelimParen << 4 | kDelimParen)); }},
        {"v5 left bracket only", Doc5(Line5(Tmpl5(3, 1, cat({Line5(Text5("y")), Char5('[')})))),
         [] { return RowOf(NewFence(Row("y"), kDelimSquare << 4)); }},
        {"v5 intervals by their variation, white brackets",
         Doc5(Line5(cat({Tmpl5(9, 0x12, cat({Line5(Text5("a,b")), Char5('['), Char5(')')})),
                         Tmpl5(9, 0x23, Line5(Text5("c"))), Tmpl5(8, 3, Line5(Text5("d")))}))),
         [] {
             return RowOf(NewFence(Row("a,b"), FenceKind(kDelimSquare, kDelimParen)),
                          NewFence(Row("c"), FenceKind(kDelimReversedSquare, kDelimReversedSquare)),
                          NewFence(Row("d"), FenceKind(kDelimWhiteSquare, kDelimWhiteSquare)));
         }},
        {"v5 superscript after a character",
         Doc5(Line5(cat({Text5("x"), Tmpl5(28, 0, cat({NullLine5(), Line5(Text5("2"))}))}))),
         [] { return RowOf(NewSSScript(Row("x"), Row(""), Row("2"), 3)); }},
        {"v5 sub and superscript",
         Doc5(Line5(cat({Text5("a"), Tmpl5(29, 0, cat({Line5(Text5("i")), Line5(Text5("n"))}))}))),
         [] { return RowOf(NewSSScript(Row("a"), Row("i"), Row("n"), 3)); }},
        {"v5 embellished character", Doc5(Line5(Embell5('v', {9}))),
         [] { return RowOf(NewMark(Row("v"), 7)); }},
        {"v5 prime", Doc5(Line5(Embell5('f', {5}))),
         [] { return RowThen(Row("f"), ExprPtr(SymbolWord("\xA2").release())); }},
        {"v5 Greek letters and symbols join into one Symbol word",
         Doc5(Line5(cat({Text5("x"), Char5(0x3B1), Char5(0x2264), Char5(0x3A9)}))),
         [] { return RowThen(Row("x"), ExprPtr(SymbolWord("a\xA3W").release())); }},
        {"v5 spaces",
         Doc5(Line5(cat({Text5("a"),
                         {2, 0, 128 + 24, 0x09, 0x20},
                         {2, 0, 128 + 24, 0x03, 0x20},
                         Text5("b")}))),
         [] {
             return RowThen(
                 RowThen(
                     RowThen(Row("a"), ExprPtr(NewPseudo(kPseudoThinSpace, nullptr, 0).release())),
                     ExprPtr(NewPseudo(kPseudoSpace, nullptr, 0).release())),
                 Row("b")->detachChild(0));
         }},
        {"v3 Greek typeface holds Symbol bytes",
         Doc3(Line3(cat({Char3('y'), {0x02, 128 + 4, 'p', 0}}))),
         [] { return RowThen(Row("y"), ExprPtr(SymbolWord("p").release())); }},
        {"v5 centred pile", Doc5(Pile5(2, cat({Line5(Text5("a")), Line5(Text5("b"))}))),
         [] {
             auto m = NewSimpMatrix(2, 1);
             m->setCell(0, 0, Row("a"));
             m->setCell(1, 0, Row("b"));
             return RowOf(std::move(m));
         }},
        {"v5 piles aligned left, right, on relations, on the decimal point",
         Doc5(Line5(cat({Pile5(1, Line5(Text5("a"))), Pile5(3, Line5(Text5("b"))),
                         Pile5(4, Line5(Text5("c"))), Pile5(5, Line5(Text5("d")))}))),
         [] {
             return Join(Grid(1, {"a"}, kHAlignLeft), Grid(1, {"b"}, kHAlignRight),
                          Grid(1, {"c"}, '='), Grid(1, {"d"}, '.'));
         }},
        // Row lines: the middle one solid; column lines: the middle one dashed, the right
        // one dotted (drawn dashed).
        {"v5 matrix with its alignment and partition lines",
         Doc5(Line5(Matrix5(3, 2, 2, {0x04, 0x38},
                            cat({Line5(Text5("p")), Line5(Text5("q")), Line5(Text5("r")),
                                 Line5(Text5("s"))})))),
         [] {
             ExprPtr m = Grid(2, {"p", "q", "r", "s"}, kHAlignRight);
             auto* grid = static_cast<eDxMatrix*>(m.get());
             grid->m_hStyles[1] = kGridLineSolid | kGridLineSolid << 2;
             grid->m_vStyles[0] = grid->m_vStyles[1] = kGridLineDashed << 2 | kGridLineDashed << 4;
             return Join(std::move(m));
         }},
        {"v5 typefaces: function and text upright, vector bold, variable and number in the base "
         "style",
         Doc5(Line5(cat({Text5("sin", 2), Text5("x"), Char5(0xEF01, 23), Text5("v", 7),
                         Text5("2", 8), Text5("if", 1)}))),
         [] {
             return Join(Node(StyledWord("sin", false)), Row("x"), Node(StyledWord("v", true)),
                          Row("2"), Node(StyledWord("if", false)));
         }},
        // Red as RGB, yellow as CMYK: the records after each selection take its colour.
        {"v5 colour definitions and the colours of characters and templates",
         Doc5(cat({{16, 0, 0xE8, 0x03, 0, 0, 0, 0},
                   {16, 1, 0, 0, 0, 0, 0xE8, 0x03, 0, 0},
                   Line5(cat({Text5("a"), {15, 1}, Text5("b"),
                              Tmpl5(13, 0, Line5(Text5("c"))), {15, 2}, Text5("d")}))})),
         [] {
             ExprPtr bar = Node(NewMark(TextToRow("c", 0xE0), kMarkBar));
             bar->m_colour = 0xE0;
             return Join(Row("a"), TextToRow("b", 0xE0), std::move(bar), TextToRow("d", 0xFC));
         }},
        {"v5 small and slash fractions",
         Doc5(Line5(cat({Tmpl5(11, 1, cat({Line5(Text5("a")), Line5(Text5("b"))})),
                         Tmpl5(11, 2, cat({Line5(Text5("c")), Line5(Text5("d"))}))}))),
         [] {
             auto small = NewFraction(Row("a"), Row("b"));
             small->m_kind = kFractionSlanted;
             auto slash = NewFraction(Row("c"), Row("d"));
             slash->m_kind = kFractionHorizontal;
             return RowOf(std::move(small), std::move(slash));
         }},
        {"v5 labelled arrows: the template's own character, else the direction's",
         Doc5(Line5(cat({Tmpl5(14, 0x20 | 4, cat({Line5(Text5("f")), Char5(0x2192, 6)})),
                         Tmpl5(14, 0x10 | 8, Line5(Text5("g")))}))),
         [] {
             return Join(Limits(RowOf(SymbolWord("\xAE")), Row(""), Row("f")),
                          Limits(RowOf(SymbolWord("\xAC")), Row("g"), Row("")));
         }},
        {"v5 bra-ket, bra and ket",
         Doc5(Line5(cat({Tmpl5(30, 3,
                               cat({Line5(Text5("a")), Line5(Text5("b")), Char5(0x2329, 6),
                                    Char5('|', 6), Char5(0x232A, 6)})),
                         Tmpl5(30, 1, Line5(Text5("c"))), Tmpl5(30, 2, Line5(Text5("d")))}))),
         [] {
             return RowOf(NewFence(Row("a|b"), FenceKind(kDelimAngle, kDelimAngle)),
                          NewFence(Row("c"), FenceKind(kDelimAngle, kDelimBar)),
                          NewFence(Row("d"), FenceKind(kDelimBar, kDelimAngle)));
         }},
        {"v5 joint status and strike-through forms",
         Doc5(Line5(cat({Tmpl5(35, 0, Line5(Text5("x"))), Tmpl5(36, 1, Line5(Text5("y"))),
                         Tmpl5(36, 4, Line5(Text5("z"))), Tmpl5(36, 6, Line5(Text5("w")))}))),
         [] {
             return RowOf(NewFence(RowOf(NewMark(Row("x"), kMarkBar)),
                                   FenceKind(kDelimNone, kDelimBar)),
                          NewOverstrike(Row("y"), Row("-")), NewOverstrike(Row("z"), Row("\\")),
                          NewOverstrike(Row("w"), Row("X")));
         }},
        {"v5 scripts before the item that follows them",
         Doc5(Line5(cat({Tmpl5(29, 1, cat({Line5(Text5("i")), Line5(Text5("n"))})), Text5("A")}))),
         [] {
             auto s = NewSSScript(Row("A"), Row("i"), Row("n"), 3);
             s->m_kind = kScriptPrescripts | kScriptNoScripts;
             return RowOf(std::move(s));
         }},
        {"v5 under and arc embellishments", Doc5(Line5(cat({Embell5('u', {25}), Embell5('w', {19})}))),
         [] {
             return RowOf(NewMark(Row("u"), kMarkDot | kMarkBelow), NewMark(Row("w"), kMarkArc));
         }},
        // SIZE as a large delta, a small delta and a point size; a font style definition; a
        // line spacing; a typeface in the three-byte form; a pile with its ruler.
        {"v5 size, font style, line spacing, long typeface and pile ruler forms",
         Doc5(cat({{9, 100, 1, 0x10, 0x00, 9, 2, 130, 9, 101, 0x80, 0x01, 8, 1, 2},
                   {1, 4, 0x40, 0x01, 2, 0, 255, 0x03, 0x80, 'q', 0},
                   {4, 2, 2, 1, 7, 1, 0, 10, 0},
                   Line5(Text5("r")),
                   {0, 0}})),
         [] {
             auto m = NewSimpMatrix(1, 1);
             m->setCell(0, 0, Row("r"));
             return Join(Row("q"), Node(std::move(m)));
         }},
        {"v5 over and under bars",
         Doc5(Line5(cat({Tmpl5(13, 0, Line5(Text5("a"))), Tmpl5(12, 1, Line5(Text5("b")))}))),
         [] {
             return RowOf(NewMark(Row("a"), kMarkBar),
                          NewMark(Row("b"), kMarkDoubleBar | kMarkBelow));
         }},
        {"v5 arrows, tilde, hat, arc",
         Doc5(Line5(cat({Tmpl5(31, 2, Line5(Text5("v"))), Tmpl5(31, 3, Line5(Text5("w"))),
                         Tmpl5(32, 0, Line5(Text5("t"))), Tmpl5(34, 0, Line5(Text5("c")))}))),
         [] {
             return RowOf(NewMark(Row("v"), kMarkVector), NewMark(Row("w"), kMarkTwoHeadedArrow),
                          NewMark(Row("t"), kMarkTilde), NewMark(Row("c"), kMarkArc));
         }},
        {"v5 double contour integral: integrand, upper, lower",
         Doc5(Line5(Tmpl5(15, 2 | 4, cat({Line5(Text5("f")), NullLine5(), Line5(Text5("S"))})))),
         [] {
             auto i = NewIntegral(3, Row("f"), Row("S"), Row(""));
             i->m_kind = 1 | kIntegralContour;
             return RowOf(std::move(i));
         }},
        {"v5 sum with limits: summand, upper, lower, operator",
         Doc5(Line5(
             Tmpl5(16, 0x40,
                   cat({Line5(Text5("k")), Line5(Text5("n")), Line5(Text5("0")), Char5(0x2211)})))),
         [] {
             auto s = NewSSScript(Row("k"), RowOf(SymbolWord("\xE5")), Row("0"), 4);
             s->setChild(3, Row("n"));
             s->m_kind = kScriptOperator | kScriptLimits | kScriptNoScripts;
             return RowOf(std::move(s));
         }},
        {"v5 limit",
         Doc5(Line5(Tmpl5(23, 0, cat({Line5(Text5("lim")), Line5(Text5("x")), NullLine5()})))),
         [] {
             auto s = NewSSScript(Row("lim"), Row("x"), Row(""), 3);
             s->m_kind = kScriptLimits | kScriptNoScripts;
             return RowOf(std::move(s));
         }},
        {"v5 brace under with a label",
         Doc5(Line5(Tmpl5(24, 0, cat({Line5(Text5("ab")), Line5(Text5("n"))})))),
         [] {
             auto s = NewSSScript(RowOf(NewFence(Row("ab"), kFenceHorizontal | kDelimBrace)),
                                  Row("n"), Row(""), 3);
             s->m_kind = kScriptLimits | kScriptNoScripts;
             return RowOf(std::move(s));
         }},
        {"v5 long division, strike-through, box",
         Doc5(Line5(cat({Tmpl5(26, 1, cat({Line5(Text5("84")), Line5(Text5("4"))})),
                         Tmpl5(36, 0, Line5(Text5("x"))), Tmpl5(37, 0, Line5(Text5("y")))}))),
         [] {
             return RowOf(NewLongDivision(Row("84"), Row(""), Row("4"), nullptr),
                          NewOverstrike(Row("x"), Row("/")), NewBox(Row("y")));
         }},
        {"v3 line", Doc3(Line3(cat({Char3('x'), Char3('='), Char3('1')}))),
         [] { return Row("x=1"); }},
        {"v3 fraction", Doc3(Line3(Tmpl3(14, 0, cat({Line3(Char3('1')), Line3(Char3('2'))})))),
         [] { return RowOf(NewFraction(Row("1"), Row("2"))); }},
        // The early numbering: left parenthesis only, brace and parenthesis, n-th root,
        // subscript, sum with limits above and below, contour integral, over arrow, slash
        // fraction, leading superscript.
        {"v3 template numbers and variations",
         Doc3(Line3(cat({Tmpl3(1, 1, Line3(Char3('a'))), Tmpl3(11, 0, Line3(Char3('b'))),
                         Tmpl3(13, 1, cat({Line3(Char3('x')), Line3(Char3('3'))})), Char3('y'),
                         Tmpl3(15, 1, cat({Line3(Char3('i')), {0x11}})),
                         Tmpl3(29, 1, cat({Line3(Char3('k')), Line3(Char3('n')), Line3(Char3('0')),
                                           {0x02, 128 + 6, 0xE5, 0}})),
                         Tmpl3(21, 3, cat({Line3(Char3('f')), {0x11}, {0x11}})),
                         Tmpl3(47, 1, Line3(Char3('v'))),
                         Tmpl3(41, 0, cat({Line3(Char3('p')), Line3(Char3('q'))})),
                         Tmpl3(44, 0, cat({{0x11}, Line3(Char3('2'))})), Char3('C')}))),
         [] {
             auto sum = NewSSScript(Row("k"), RowOf(SymbolWord("\xE5")), Row("0"), 4);
             sum->setChild(3, Row("n"));
             sum->m_kind = kScriptOperator | kScriptLimits | kScriptNoScripts;
             auto integral = NewIntegral(3, Row("f"), Row(""), Row(""));
             integral->m_kind = kIntegralContour;
             auto slash = NewFraction(Row("p"), Row("q"));
             slash->m_kind = kFractionHorizontal;
             auto pre = NewSSScript(Row("C"), Row(""), Row("2"), 3);
             pre->m_kind = kScriptPrescripts | kScriptNoScripts;
             return RowOf(NewFence(Row("a"), FenceKind(kDelimParen, kDelimNone)),
                          NewFence(Row("b"), FenceKind(kDelimBrace, kDelimParen)),
                          NewRoot(Row("x"), Row("3")),
                          NewSSScript(Row("y"), Row("i"), Row(""), 3), std::move(sum),
                          std::move(integral), NewMark(Row("v"), kMarkVector), std::move(slash),
                          std::move(pre));
         }},
        // A size and a full-size record, a font record, a line with its spacing.
        {"v3 state records and line spacing",
         Doc3(cat({{0x09, 0, 128, 0x0A, 0x08, 3, 1, 'T', 'm', 0}, {0x41, 0x40, 0x01},
                   Char3('z'), {0}})),
         [] { return Row("z"); }},
        {"v3 embellished character", Doc3(Line3(cat({{0x22, 128 + 3, 'u', 0}, {0x06, 17}, {0}}))),
         [] { return RowOf(NewMark(Row("u"), 6)); }},
        {"v4 header with an OLE header in front",
         cat({{28, 0, 0, 0, 2, 0},
              Bytes(22, 0),
              {4, 0, 1, 4, 0},
              Line3(Tmpl3(1, 0, cat({Line3(Char3('z')), Char3('('), Char3(')')}))),
              {0}}),
         [] { return RowOf(NewFence(Row("z"), kDelimParen << 4 | kDelimParen)); }},
        // The older layout's pile with its ruler and its matrix, and the type-size records, under
        // a version 3 and a version 4 header.
        {"v3 pile with a ruler, matrix, type-size records", Doc3(OlderPileAndMatrix()),
         OlderPileAndMatrixTree},
        {"v4 pile with a ruler, matrix, type-size records",
         cat({{4, 1, 1, 4, 0}, OlderPileAndMatrix(), {0}}), OlderPileAndMatrixTree},
        {"v5 type-size records", Doc5(cat({{11, 12, 13, 14}, Line5(Text5("x"))})),
         [] { return Row("x"); }},
    };
}

TEST_F(MTEF5Test, EachRecordAndTemplateReadsAsItsTree) {
    // KV_MTEF_SEEDS=folder writes the fixtures there as seeds of the fuzz corpus.
    const char* seeds = std::getenv("KV_MTEF_SEEDS");
    int index = 0;
    for (const Fixture& f : Fixtures()) {
        if (seeds != nullptr)
            std::ofstream(std::string(seeds) + "/fixture" + std::to_string(index++),
                          std::ios::binary)
                .write(reinterpret_cast<const char*>(f.bytes.data()),
                       static_cast<std::streamsize>(f.bytes.size()));
        SCOPED_TRACE(f.name);
        ExprPtr got = ReadMtefDocument(f.bytes.data(), f.bytes.size());
        ASSERT_TRUE(got);
        ExprPtr expected = f.expected();
        EXPECT_EQ(ExprEncodingText(expected.get()), ExprEncodingText(got.get()));
    }
}

TEST_F(MTEF5Test, TruncatedAndMutatedDataGivesNoExpressionAndNeverFails) {
    std::mt19937 random(7);
    for (const Fixture& f : Fixtures()) {
        SCOPED_TRACE(f.name);
        for (size_t n = 0; n < f.bytes.size(); ++n)
            EXPECT_FALSE(ReadMtefDocument(f.bytes.data(), n)) << n;
        for (int i = 0; i < 200; ++i) {
            Bytes mutated = f.bytes;
            mutated[random() % mutated.size()] = static_cast<uint8_t>(random());
            ReadMtefDocument(mutated.data(), mutated.size());
        }
    }
    // Wrong versions, and nesting deeper than the limit.
    Bytes deep = Header5();
    for (int i = 0; i < 100; ++i)
        deep = cat({deep, {1, 0}});
    for (const Bytes& bad : {Bytes{2, 1, 0, 0, 0, 1, 0}, Bytes{6, 1, 0, 0, 0, 0, 0, 0}, deep})
        EXPECT_FALSE(ReadMtefDocument(bad.data(), bad.size()));
}

TEST_F(MTEF5Test, NestingAndRecordCountStopAtTheirLimits) {
    // 31 nested fractions reach 64 levels of record lists (the top line, then a template and a
    // slot line per fraction); one more is refused.
    ExprPtr deepest = ReadMtefDocument(NestedFractions5(31).data(), NestedFractions5(31).size());
    ASSERT_TRUE(deepest);
    EXPECT_EQ(ExprEncodingText(NestedFractionsTree(31).get()), ExprEncodingText(deepest.get()));
    EXPECT_FALSE(ReadMtefDocument(NestedFractions5(32).data(), NestedFractions5(32).size()));
    // FULL records before a line of one character: the line, its character, its end and the
    // document's end make 100 000 records with 99 996 of them.
    for (const auto& [fulls, reads] : {std::pair{99996, true}, std::pair{99997, false}}) {
        SCOPED_TRACE(fulls);
        const Bytes bytes = Doc5(cat({Bytes(static_cast<size_t>(fulls), 10), Line5(Text5("x"))}));
        ExprPtr got = ReadMtefDocument(bytes.data(), bytes.size());
        ASSERT_EQ(reads, static_cast<bool>(got));
        if (got) {
            EXPECT_EQ(ExprEncodingText(Row("x").get()), ExprEncodingText(got.get()));
        }
    }
}

TEST_F(MTEF5Test, PasteFromMathTypeInsertsTheEquationAndDamagedDataOnlyBeeps) {
    ExprFilePane* pane = typed("");
    const Bytes fraction = Doc5(Line5(Tmpl5(11, 0, cat({Line5(Text5("a")), Line5(Text5("b"))}))));
    plat::backend().setForeignClipboard(
        {plat::ClipboardItem{"application/x-kv-MathType-EF", fraction}});
    int32_t beeps = CommandBeepCount();
    ASSERT_EQ(1, DoMenuCommand(1282));
    EXPECT_EQ(beeps, CommandBeepCount());
    const std::string pasted = ExprEncodingText(pane->expression());
    // The document now holds a fraction of a over b.
    std::function<const eFraction*(const eExpr*)> find = [&](const eExpr* node) {
        if (const auto* f = dynamic_cast<const eFraction*>(node))
            return f;
        for (int32_t i = 0; node != nullptr && i < node->childCount(); ++i)
            if (const eFraction* f = find(node->getChild(i)))
                return f;
        return static_cast<const eFraction*>(nullptr);
    };
    const eFraction* f = find(pane->expression());
    ASSERT_NE(nullptr, f);
    ExprPtr expected(NewFraction(Row("a"), Row("b")).release());
    EXPECT_TRUE(expected->equal(f, 0));

    // Data whose first and fourth bytes are both 4 shows the not-yet-implemented notice instead.
    std::vector<std::string> shown;
    plat::testing::onMessageBox([&](const plat::testing::MessageBoxCall& box) {
        shown.push_back(box.text);
        return 1;
    });
    const Bytes fourth = {4, 0, 1, 4, 0, 0x01, 0x02, 128 + 3, 'x', 0, 0, 0};
    plat::backend().setForeignClipboard(
        {plat::ClipboardItem{"application/x-kv-MathType-EF", fourth}});
    DoMenuCommand(1282);
    EXPECT_EQ(1u, shown.size());
    EXPECT_EQ(pasted, ExprEncodingText(pane->expression()));

    Bytes damaged(fraction.begin(), fraction.end() - 3);
    for (const Bytes& bytes : {damaged, Bytes{'x', 'y'}}) {
        plat::backend().setForeignClipboard(
            {plat::ClipboardItem{"application/x-kv-MathType-EF", bytes}});
        beeps = CommandBeepCount();
        DoMenuCommand(1282);
        EXPECT_EQ(beeps + 1, CommandBeepCount());
        EXPECT_EQ(pasted, ExprEncodingText(pane->expression()));
    }
}

TEST_F(MTEF5Test, PlainPasteTakesTheEquationBeforeTheTextBesideIt) {
    const Bytes fraction = Doc5(Line5(Tmpl5(11, 0, cat({Line5(Text5("a")), Line5(Text5("b"))}))));
    const Bytes notice = {4, 0, 1, 4, 0, 0x01, 0x02, 128 + 3, 'x', 0, 0, 0};
    const std::vector<uint8_t> text = {'q'};
    ExprPtr expectedFraction = RowOf(NewFraction(Row("a"), Row("b")));
    // The older form is passed over without its notice: the text beside it comes in.
    for (const auto& [bytes, expected] :
         {std::pair<const Bytes&, const eExpr*>{fraction, expectedFraction.get()},
          std::pair<const Bytes&, const eExpr*>{notice, nullptr}}) {
        ExprFilePane* pane = typed("");
        plat::backend().setForeignClipboard(
            {plat::ClipboardItem{"application/x-kv-MathType-EF", bytes},
             plat::ClipboardItem{"UTF8_STRING", text}});
        DoCommand(kCmdPaste, 0);
        ExprPtr q = Row("q");
        EXPECT_EQ(ExprEncodingText(expected != nullptr ? expected : q.get()),
                  ExprEncodingText(pane->expression()));
    }
    EXPECT_TRUE(plat::testing::messageBoxes().empty());
}

} // namespace
} // namespace kvtest
