#include "OverSrcs/documents/MTEF5Converter.h"

#include "ExprSrcs/commands/tsPrefs.h"
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

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace MTEF5 {
namespace {

// ---- Conversion to nodes

using Pieces = std::vector<ExprPtr>;

ExprPtr RowOf(Pieces pieces) {
    OwnedNode<eSimpString> r = NewSimpString(static_cast<int32_t>(pieces.size()));
    for (size_t i = 0; i < pieces.size(); ++i)
        r->setChild(static_cast<int32_t>(i), std::move(pieces[i]));
    return ExprPtr(r.release());
}

void AppendText(Pieces& pieces, const std::string& text, uint8_t colour) {
    if (text.empty())
        return;
    ExprPtr row = TextToRow(text, colour);
    for (int32_t i = 0; i < row->childCount(); ++i)
        if (ExprPtr child = row->detachChild(i))
            pieces.push_back(std::move(child));
}

// The byte of a character in the base font; "?" when it has none.
char ByteOf(uint32_t c) {
    if (c >= 0x20 && c < 0x7F)
        return static_cast<char>(c);
    if (c >= 0xA0 && c <= 0xFF)
        return static_cast<char>(c);
    if (c == 0x2212)
        return '-';
    return '?';
}

// The Symbol font byte of a Unicode Greek letter or mathematical symbol; 0 for none.
uint8_t SymbolByteOf(uint32_t c) {
    static const char lower[] = "abgdezhqiklmnxoprVstufcyw";  // U+03B1 to U+03C9
    static const char upper[] = "ABGDEZHQIKLMNXOPR\0STUFCYW"; // U+0391 to U+03A9
    if (c >= 0x3B1 && c <= 0x3C9)
        return static_cast<uint8_t>(lower[c - 0x3B1]);
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2)
        return static_cast<uint8_t>(upper[c - 0x391]);
    static const struct {
        uint16_t unicode;
        uint8_t symbol;
    } kSymbols[] = {
        {0x2211, 0xE5}, {0x220F, 0xD5}, {0x222B, 0xF2}, {0x221E, 0xA5}, {0x2264, 0xA3},
        {0x2265, 0xB3}, {0x2260, 0xB9}, {0x2248, 0xBB}, {0x2192, 0xAE}, {0x2190, 0xAC},
        {0x2194, 0xAB}, {0x2202, 0xB6}, {0x2207, 0xD1}, {0x2208, 0xCE}, {0x2209, 0xCF},
        {0x222A, 0xC8}, {0x2229, 0xC7}, {0x22C5, 0xD7}, {0x2032, 0xA2}, {0x2033, 0xB2},
        {0x221A, 0xD6}, {0x2200, 0x22}, {0x2203, 0x24}, {0x2205, 0xC6}, {0x2282, 0xCC},
        {0x2283, 0xC9}, {0x2286, 0xCD}, {0x2287, 0xCA}, {0x2261, 0xBA}, {0x221D, 0xB5},
        {0x2227, 0xD9}, {0x2228, 0xDA}, {0x21D2, 0xDE}, {0x21D0, 0xDC}, {0x21D4, 0xDB},
        {0x2245, 0xC0}, {0x2297, 0xC4}, {0x2295, 0xC5}, {0x22A5, 0x5E}, {0x2220, 0xD0},
        {0x2026, 0xBC}, {0x2022, 0xB7}, {0x2223, 0x7C}, {0x2234, 0x5C}, {0x03D5, 0x6A},
        {0x03D1, 0x4A}, {0x03D6, 0x76}, {0x2135, 0xC0},
    };
    for (const auto& entry : kSymbols)
        if (entry.unicode == c)
            return entry.symbol;
    return 0;
}

// Typefaces of the character record. Greek and symbol ones hold Symbol font bytes in versions 3
// and 4 (and in version 5 when only the font position is written).
constexpr int kTypefaceText = 1;
constexpr int kTypefaceFunction = 2;
constexpr int kTypefaceLowerGreek = 4;
constexpr int kTypefaceUpperGreek = 5;
constexpr int kTypefaceSymbol = 6;
constexpr int kTypefaceVector = 7;

// Markers (positions the other editor keeps for itself, drawn as nothing) and spaces of several
// widths.
constexpr int kTypefaceMarker = 23;
constexpr int kTypefaceSpace = 24;

// Thin, hair and narrow spaces become the thin space, the others the ordinary space.
unsigned char SpacePseudo(uint32_t c) {
    switch (c) {
    case 0x2005:
    case 0x2006:
    case 0x2009:
    case 0x200A:
        return kPseudoThinSpace;
    default:
        return kPseudoSpace;
    }
}

// A character's byte and whether it is in the Symbol font.
char CharacterByte(const Record& r, bool v5, bool& symbol) {
    symbol = false;
    if ((!v5 || r.fontPosition) &&
        (r.typeface == kTypefaceLowerGreek || r.typeface == kTypefaceUpperGreek ||
         r.typeface == kTypefaceSymbol)) {
        symbol = true;
        const uint8_t b = static_cast<uint8_t>(r.character & 0xFF);
        return b >= 0x20 ? static_cast<char>(b) : '?';
    }
    if (const uint8_t b = SymbolByteOf(r.character)) {
        symbol = true;
        return static_cast<char>(b);
    }
    return ByteOf(r.character);
}

// The style a run of characters is written in: the base style (variables and numbers: letters
// italic, the rest upright), the Symbol font, upright (text and function names) or bold (vectors).
enum class Run { Plain, Symbol, Upright, Bold };

Run RunOf(const Record& r, bool symbol) {
    if (symbol)
        return Run::Symbol;
    switch (r.typeface) {
    case kTypefaceText:
    case kTypefaceFunction:
        return Run::Upright;
    case kTypefaceVector:
        return Run::Bold;
    default:
        return Run::Plain;
    }
}

FSSRecord RunStyle(Run run) {
    FSSRecord style;
    InitFSSRecord(style);
    if (run == Run::Symbol) {
        SetFSSFontName(style, "Symbol");
        return style;
    }
    style.setItalicMode(kItalicOff);
    style.style[kStyleItalic] = kStyleOff;
    if (run == Run::Bold)
        style.style[kStyleBold] = kStyleOn;
    return style;
}

// Appends the text as the nodes of its style: the base style's text as typing would make it, the
// others as words, split where a word would grow too long.
void AppendRun(Pieces& pieces, const std::string& text, Run run, uint8_t colour) {
    if (text.empty())
        return;
    if (run == Run::Plain) {
        AppendText(pieces, text, colour);
        return;
    }
    const FSSRecord style = RunStyle(run);
    for (size_t at = 0; at < text.size(); at += kMaxWordLength)
        pieces.push_back(
            ExprPtr(NewWord(std::string_view(text).substr(at, kMaxWordLength), 0, style, colour)
                        .release()));
}

void AppendSymbolText(Pieces& pieces, const std::string& text, uint8_t colour) {
    AppendRun(pieces, text, Run::Symbol, colour);
}

// Embellishment codes to mark kinds; 0 for none. The under forms are the over forms with the
// below bit.
int MarkFor(int embell) {
    switch (embell) {
    case 2:
        return kMarkDot;
    case 3:
        return kMarkDoubleDot;
    case 4:
        return kMarkTripleDot;
    case 8:
        return kMarkTilde;
    case 9:
        return kMarkHat;
    case 11:
    case 14: // single-barbed
        return kMarkVector;
    case 12:
    case 15:
        return kMarkBackwardArrow;
    case 13:
        return kMarkTwoHeadedArrow;
    case 17:
        return kMarkBar;
    case 19: // frown and smile
    case 20:
        return kMarkArc;
    case 25:
        return kMarkDot | kMarkBelow;
    case 26:
        return kMarkDoubleDot | kMarkBelow;
    case 27:
        return kMarkTripleDot | kMarkBelow;
    case 29:
        return kMarkBar | kMarkBelow;
    case 30:
        return kMarkTilde | kMarkBelow;
    case 31:
    case 32:
        return kMarkArc | kMarkBelow;
    case 33:
    case 36:
        return kMarkVector | kMarkBelow;
    case 34:
    case 37:
        return kMarkBackwardArrow | kMarkBelow;
    case 35:
        return kMarkTwoHeadedArrow | kMarkBelow;
    default:
        return 0;
    }
}

bool IsPrime(int embell) {
    return embell == 5 || embell == 6 || embell == 7 || embell == 18;
}
int PrimeCount(int embell) {
    return embell == 5 ? 1 : embell == 6 ? 2 : 3;
}

// ---- Templates

// Template selectors and variation bits as version 5 numbers them.
enum Selector : int {
    tmAngle = 0,
    tmOpenBracket = 8,
    tmInterval = 9,
    tmRoot = 10,
    tmFraction = 11,
    tmUnderBar = 12,
    tmOverBar = 13,
    tmArrow = 14,
    tmIntegral = 15,
    tmSum = 16,
    tmSumOperator = 22,
    tmLimit = 23,
    tmHorizontalBrace = 24,
    tmHorizontalBracket = 25,
    tmLongDivision = 26,
    tmSub = 27,
    tmSup = 28,
    tmSubSup = 29,
    tmDirac = 30,
    tmVector = 31,
    tmTilde = 32,
    tmHat = 33,
    tmArc = 34,
    tmJointStatus = 35,
    tmStrike = 36,
    tmBox = 37,
    // Not a number of the format: a fence whose two delimiter types are given.
    tmFencePair = 1000,
};

constexpr int kFenceLeft = 0x01;
constexpr int kFenceRight = 0x02;
constexpr int kFractionSmall = 0x01;
constexpr int kFractionSlash = 0x02;
constexpr int kArrowTop = 0x04;
constexpr int kArrowBottom = 0x08;
constexpr int kArrowLeft = 0x10;
constexpr int kArrowRight = 0x20;
constexpr int kIntegralLoops = 0x0C; // with or without arrows
constexpr int kLimitsSumStyle = 0x40;
constexpr int kHorizontalBraceTop = 0x01;
constexpr int kScriptsPrecede = 0x01;
constexpr int kDiracLeft = 0x01;
constexpr int kDiracRight = 0x02;
constexpr int kVectorLeft = 0x01;
constexpr int kVectorRight = 0x02;
constexpr int kVectorUnder = 0x04;
constexpr int kStrikeHorizontal = 0x01;
constexpr int kStrikeUp = 0x02;
constexpr int kStrikeDown = 0x04;

// A template as version 5 would write it, with the two delimiter types of a fence pair.
struct Template {
    int selector = -1;
    int variation = 0;
    int left = kDelimNone;
    int right = kDelimNone;
};

// Versions 3 and 4 number their 49 templates differently and give most variations as a list of
// choices rather than bits; each is rewritten as the version 5 template that draws the same.
Template FromEarlyTemplate(int selector, int variation) {
    Template t;
    const int v = variation;
    // Left only, right only, else both.
    const int sides = v == 1 ? kFenceLeft : v == 2 ? kFenceRight : kFenceLeft | kFenceRight;
    if (selector <= 7) {
        t.selector = selector;
        t.variation = selector <= 5 ? sides : kFenceLeft | kFenceRight;
        return t;
    }
    switch (selector) {
    case 8: // brace pairs facing either way, and a brace with a parenthesis
    case 9:
    case 10:
        return {tmFencePair, 0, kDelimBrace, kDelimBrace};
    case 11:
        return {tmFencePair, 0, kDelimBrace, kDelimParen};
    case 12:
        return {tmFencePair, 0, kDelimParen, kDelimBrace};
    case 13:
        return {tmRoot, v & 1};
    case 14:
        return {tmFraction, v == 1 ? kFractionSmall : 0};
    case 15: // superscript, subscript, both
    case 44: // the same before the item
        t.selector = v == 0 ? tmSup : v == 1 ? tmSub : tmSubSup;
        t.variation = selector == 44 ? kScriptsPrecede : 0;
        return t;
    case 16:
        return {tmUnderBar, v & 1};
    case 17:
        return {tmOverBar, v & 1};
    case 18: // arrows pointing left, right, both ways; the label on top or below
    case 19:
    case 20:
        t.selector = tmArrow;
        t.variation =
            (v == 1 ? kArrowBottom : kArrowTop) | (selector == 18   ? kArrowLeft
                                                   : selector == 19 ? kArrowRight
                                                                    : kArrowLeft | kArrowRight);
        return t;
    case 21: // single integral: 3 and 4 with a contour
        return {tmIntegral, 1 | (v >= 3 ? 4 : 0)};
    case 22: // double and triple: 2 and 3 over an area or a volume
    case 23:
        return {tmIntegral, (selector - 20) | (v >= 2 ? 4 : 0)};
    case 24: // the same with limits above and below
        return {tmIntegral, 1 | kLimitsSumStyle | (v == 2 ? 4 : 0)};
    case 25:
    case 26:
        return {tmIntegral, (selector - 23) | kLimitsSumStyle | (v == 0 ? 4 : 0)};
    case 27: // brace over, brace under
    case 28:
        return {tmHorizontalBrace, selector == 27 ? kHorizontalBraceTop : 0};
    case 29: // sum, product, coproduct, union, intersection; each with limits above and below,
    case 30: // then at the side
    case 31:
    case 32:
    case 33:
    case 34:
    case 35:
    case 36:
    case 37:
    case 38:
        return {tmSum + (selector - 29) / 2, (selector - 29) % 2 == 0 ? kLimitsSumStyle : 0};
    case 39:
        return {tmLimit, 0};
    case 40:
        return {tmLongDivision, v == 0 ? 1 : 0};
    case 41: // slash fraction: normal, on the baseline, small
        return {tmFraction, kFractionSlash | (v == 2 ? kFractionSmall : 0)};
    case 42:
        return {tmSumOperator - 1, 0};
    case 43:
        return {tmSumOperator, kLimitsSumStyle};
    case 45:
        return {tmDirac, v == 1 ? kDiracLeft : v == 2 ? kDiracRight : kDiracLeft | kDiracRight};
    case 46: // arrow under, arrow over: left, right, both ways
    case 47:
        return {tmVector, (v == 0   ? kVectorLeft
                           : v == 1 ? kVectorRight
                                    : kVectorLeft | kVectorRight) |
                              (selector == 46 ? kVectorUnder : 0)};
    case 48:
        return {tmArc, 0};
    default:
        return t;
    }
}

Template TemplateOf(const Record& r, bool v5) {
    if (v5)
        return {r.selector, r.variation};
    return FromEarlyTemplate(r.selector, r.variation);
}

// The delimiter of an interval side: 0 a left parenthesis, 1 a right one, 2 a left bracket, 3 a
// right one; a bracket facing away from the contents is the reversed bracket. -1 for anything else.
int IntervalDelimiter(int code, bool left) {
    switch (code) {
    case 0:
    case 1:
        return kDelimParen;
    case 2:
        return left ? kDelimSquare : kDelimReversedSquare;
    case 3:
        return left ? kDelimReversedSquare : kDelimSquare;
    default:
        return -1;
    }
}

// Pile and matrix column alignment to the grid's: relations align on "=", numbers on ".".
uint8_t GridAlignment(int halign) {
    switch (halign) {
    case 1:
        return kHAlignLeft;
    case 3:
        return kHAlignRight;
    case 4:
        return '=';
    case 5:
        return '.';
    default:
        return kHAlignCentre;
    }
}

// Partition line style to the grid's: solid stays solid, dashed and dotted are dashed.
uint32_t GridLineStyle(uint8_t part) {
    return part == 0 ? kGridLineNone : part == 1 ? kGridLineSolid : kGridLineDashed;
}

class Converter {
public:
    explicit Converter(bool v5)
        : m_v5(v5) {}

    // A line (or pile/matrix used as a slot) as a row; null on a fault.
    ExprPtr slot(const Record* r) {
        if (r == nullptr)
            return RowOf({});
        if (r->type == kLine)
            return line(*r);
        Pieces pieces;
        if (!item(*r, pieces))
            return nullptr;
        return RowOf(std::move(pieces));
    }

    // Neighbouring plain characters of one style join into one run of text.
    ExprPtr line(const Record& r) {
        Pieces pieces;
        std::string text;
        Run run = Run::Plain;
        uint8_t colour = 0;
        const size_t n = r.children.size();
        for (size_t i = 0; i < n; ++i) {
            const Record& child = *r.children[i];
            if (child.type == kChar && child.typeface == kTypefaceMarker)
                continue;
            if (child.type == kChar && child.typeface == kTypefaceSpace) {
                AppendRun(pieces, text, run, colour);
                text.clear();
                pieces.push_back(ExprPtr(
                    NewPseudo(SpacePseudo(child.character), nullptr, child.colour).release()));
                continue;
            }
            if (child.type == kChar && child.embells.empty()) {
                bool symbol = false;
                const char c = CharacterByte(child, m_v5, symbol);
                const Run charRun = RunOf(child, symbol);
                if (charRun != run || child.colour != colour) {
                    AppendRun(pieces, text, run, colour);
                    text.clear();
                    run = charRun;
                    colour = child.colour;
                }
                text += c;
                continue;
            }
            AppendRun(pieces, text, run, colour);
            text.clear();
            if (child.type == kTmpl && isPrescript(child)) {
                // Scripts before the item that follows them.
                Pieces base;
                if (i + 1 < n && !item(*r.children[++i], base))
                    return nullptr;
                if (!prescripts(child, RowOf(std::move(base)), pieces))
                    return nullptr;
                continue;
            }
            if (!item(child, pieces))
                return nullptr;
        }
        AppendRun(pieces, text, run, colour);
        return RowOf(std::move(pieces));
    }

private:
    bool item(const Record& r, Pieces& pieces) {
        switch (r.type) {
        case kChar:
            return character(r, pieces);
        case kTmpl:
        case kPile:
        case kMatrix: {
            // The node made last is the template's, pile's or matrix's own: it takes its colour.
            const bool made = r.type == kTmpl   ? templ(r, pieces)
                              : r.type == kPile ? pile(r, pieces)
                                                : matrix(r, pieces);
            if (made && !pieces.empty())
                pieces.back()->m_colour = r.colour;
            return made;
        }
        case kLine: {
            ExprPtr row = line(r);
            if (!row)
                return false;
            for (int32_t i = 0; i < row->childCount(); ++i)
                if (ExprPtr child = row->detachChild(i))
                    pieces.push_back(std::move(child));
            return true;
        }
        default:
            return false;
        }
    }

    // A character in its style, its embellishments as marks around it, primes after it.
    bool character(const Record& r, Pieces& pieces) {
        bool symbol = false;
        const std::string text(1, CharacterByte(r, m_v5, symbol));
        const Run run = RunOf(r, symbol);
        int primes = 0;
        std::vector<int> marks;
        for (int e : r.embells) {
            if (IsPrime(e))
                primes += PrimeCount(e);
            else if (int m = MarkFor(e))
                marks.push_back(m);
        }
        if (marks.empty()) {
            AppendRun(pieces, text, run, r.colour);
        } else {
            Pieces inner;
            AppendRun(inner, text, run, r.colour);
            ExprPtr node = RowOf(std::move(inner));
            for (int m : marks) {
                node = ExprPtr(NewMark(std::move(node), m).release());
                node->m_colour = r.colour;
            }
            pieces.push_back(std::move(node));
        }
        if (primes > 0)
            AppendSymbolText(pieces, std::string(static_cast<size_t>(primes), '\xA2'), r.colour);
        return true;
    }

    // The slot lines of a template, in order, and its characters.
    static void parts(const Record& r, std::vector<const Record*>& slots,
                      std::vector<const Record*>& chars) {
        for (const auto& c : r.children)
            (c->type == kChar ? chars : slots).push_back(c.get());
    }

    static int delimiter(int selector) {
        switch (selector) {
        case 0:
            return kDelimAngle;
        case 1:
            return kDelimParen;
        case 2:
            return kDelimBrace;
        case 3:
            return kDelimSquare;
        case 4:
            return kDelimBar;
        case 5:
            return kDelimDoubleBar;
        case 6:
            return kDelimFloor;
        case 7:
            return kDelimCeiling;
        case tmOpenBracket:
            return kDelimWhiteSquare;
        default:
            return -1;
        }
    }

    bool isPrescript(const Record& r) const {
        const Template t = TemplateOf(r, m_v5);
        return t.selector >= tmSub && t.selector <= tmSubSup && (t.variation & kScriptsPrecede);
    }

    // The row of a template character in its style; the fallback Symbol byte when there is none.
    ExprPtr characterRow(const std::vector<const Record*>& chars, char fallback, uint8_t colour) {
        Pieces pieces;
        if (chars.empty()) {
            fallback == '?' ? AppendText(pieces, "?", colour)
                            : AppendSymbolText(pieces, std::string(1, fallback), colour);
        } else {
            bool symbol = false;
            const std::string c(1, CharacterByte(*chars.front(), m_v5, symbol));
            AppendRun(pieces, c, RunOf(*chars.front(), symbol), chars.front()->colour);
        }
        return RowOf(std::move(pieces));
    }

    static void push(Pieces& pieces, ExprPtr node) { pieces.push_back(std::move(node)); }

    bool templ(const Record& r, Pieces& pieces) {
        std::vector<const Record*> slots;
        std::vector<const Record*> chars;
        parts(r, slots, chars);
        auto slotAt = [&](size_t i) -> ExprPtr {
            return slot(i < slots.size() ? slots[i] : nullptr);
        };
        const Template t = TemplateOf(r, m_v5);
        const int sel = t.selector;
        const int v = t.variation;
        if (const int d = delimiter(sel); d >= 0) {
            ExprPtr inside = slotAt(0);
            if (!inside)
                return false;
            const int left = (v & kFenceLeft) ? d : kDelimNone;
            const int right = (v & kFenceRight) ? d : kDelimNone;
            push(pieces, ExprPtr(NewFence(std::move(inside), FenceKind(left, right)).release()));
            return true;
        }
        switch (sel) {
        case tmFencePair:
        case tmInterval: {
            ExprPtr inside = slotAt(0);
            const int left = sel == tmFencePair ? t.left : IntervalDelimiter(v & 15, true);
            const int right = sel == tmFencePair ? t.right : IntervalDelimiter(v >> 4 & 15, false);
            if (!inside || left < 0 || right < 0)
                return false;
            push(pieces, ExprPtr(NewFence(std::move(inside), FenceKind(left, right)).release()));
            return true;
        }
        case tmRoot: {
            ExprPtr radicand = slotAt(0);
            ExprPtr index = (v & 1) ? slotAt(1) : nullptr;
            if (!radicand || ((v & 1) && !index))
                return false;
            push(pieces, ExprPtr(NewRoot(std::move(radicand), std::move(index)).release()));
            return true;
        }
        case tmFraction: {
            ExprPtr num = slotAt(0);
            ExprPtr den = slotAt(1);
            if (!num || !den)
                return false;
            OwnedNode<eFraction> f = NewFraction(std::move(num), std::move(den));
            f->m_kind = (v & kFractionSlash)   ? kFractionHorizontal
                        : (v & kFractionSmall) ? kFractionSlanted
                                               : kFractionVertical;
            push(pieces, ExprPtr(f.release()));
            return true;
        }
        case tmSub:
        case tmSup:
        case tmSubSup: { // scripts after the item just before them
            ExprPtr sub = slotAt(0);
            ExprPtr sup = slotAt(1);
            if (!sub || !sup)
                return false;
            Pieces one;
            if (!pieces.empty()) {
                one.push_back(std::move(pieces.back()));
                pieces.pop_back();
            }
            push(pieces,
                 ExprPtr(NewSSScript(RowOf(std::move(one)), std::move(sub), std::move(sup), 3)
                             .release()));
            return true;
        }
        case tmUnderBar:
        case tmOverBar: {
            ExprPtr inside = slotAt(0);
            if (!inside)
                return false;
            const int bar = (v & 1) ? kMarkDoubleBar : kMarkBar;
            push(pieces,
                 ExprPtr(NewMark(std::move(inside), sel == tmUnderBar ? bar | kMarkBelow : bar)
                             .release()));
            return true;
        }
        case tmArrow:
            return arrow(v, r.colour, slots, chars, pieces);
        case tmIntegral:
            return integral(v, slots, pieces);
        case tmSum:
        case tmSum + 1:
        case tmSum + 2:
        case tmSum + 3:
        case tmSum + 4:
        case tmSum + 5:
        case tmSumOperator:
            return bigOperator(v, r.colour, slots, chars, pieces);
        case tmLimit: { // main slot, lower, upper: the limits under and over the base
            ExprPtr base = slotAt(0);
            ExprPtr lower = slotAt(1);
            ExprPtr upper = slotAt(2);
            if (!base || !lower || !upper)
                return false;
            OwnedNode<eSSScript> node =
                NewSSScript(std::move(base), std::move(lower), std::move(upper), 3);
            node->m_kind = kScriptLimits | kScriptNoScripts;
            push(pieces, ExprPtr(node.release()));
            return true;
        }
        case tmHorizontalBrace: // horizontal brace and bracket with a label
        case tmHorizontalBracket: {
            ExprPtr inside = slotAt(0);
            ExprPtr label = slotAt(1);
            if (!inside || !label)
                return false;
            const int d = sel == tmHorizontalBrace ? kDelimBrace : kDelimSquare;
            const bool top = (v & kHorizontalBraceTop) != 0;
            ExprPtr fence(
                NewFence(std::move(inside), kFenceHorizontal | (top ? d << 4 : d)).release());
            Pieces one;
            one.push_back(std::move(fence));
            push(pieces, limits(RowOf(std::move(one)), top ? RowOf({}) : std::move(label),
                                top ? std::move(label) : RowOf({})));
            return true;
        }
        case tmLongDivision: { // dividend, quotient
            ExprPtr dividend = slotAt(0);
            ExprPtr quotient = slotAt(1);
            if (!dividend || !quotient)
                return false;
            push(pieces, ExprPtr(NewLongDivision(std::move(dividend), RowOf({}),
                                                 std::move(quotient), nullptr)
                                     .release()));
            return true;
        }
        case tmDirac:
            return dirac(v, r.colour, slots, pieces);
        case tmVector:
        case tmTilde:
        case tmHat:
        case tmArc: {
            ExprPtr inside = slotAt(0);
            if (!inside)
                return false;
            int mark = sel == tmTilde ? kMarkTilde : sel == tmHat ? kMarkHat : kMarkArc;
            if (sel == tmVector) {
                const int heads = v & (kVectorLeft | kVectorRight);
                mark = heads == (kVectorLeft | kVectorRight) ? kMarkTwoHeadedArrow
                       : heads == kVectorLeft                ? kMarkBackwardArrow
                                                             : kMarkVector;
                if (v & kVectorUnder)
                    mark |= kMarkBelow;
            }
            push(pieces, ExprPtr(NewMark(std::move(inside), mark).release()));
            return true;
        }
        case tmJointStatus: { // the contents under a bar that turns down at the right
            ExprPtr inside = slotAt(0);
            if (!inside)
                return false;
            Pieces one;
            one.push_back(ExprPtr(NewMark(std::move(inside), kMarkBar).release()));
            push(pieces,
                 ExprPtr(
                     NewFence(RowOf(std::move(one)), FenceKind(kDelimNone, kDelimBar)).release()));
            return true;
        }
        case tmStrike: { // a horizontal line, one slash either way, or both slashes
            ExprPtr inside = slotAt(0);
            if (!inside)
                return false;
            const int slashes = v & (kStrikeUp | kStrikeDown);
            const char* over = (v & kStrikeHorizontal)                ? "-"
                               : slashes == kStrikeDown               ? "\\"
                               : slashes == (kStrikeUp | kStrikeDown) ? "X"
                                                                      : "/";
            push(pieces,
                 ExprPtr(NewOverstrike(std::move(inside), TextToRow(over, r.colour)).release()));
            return true;
        }
        case tmBox: {
            ExprPtr inside = slotAt(0);
            if (!inside)
                return false;
            push(pieces, ExprPtr(NewBox(std::move(inside)).release()));
            return true;
        }
        default:
            return false;
        }
    }

    // A base with limits under and over it.
    static ExprPtr limits(ExprPtr base, ExprPtr lower, ExprPtr upper) {
        OwnedNode<eSSScript> node =
            NewSSScript(std::move(base), std::move(lower), std::move(upper), 3);
        node->m_kind = kScriptLimits | kScriptNoScripts;
        return ExprPtr(node.release());
    }

    // Scripts written before the item they belong to: its prescripts.
    bool prescripts(const Record& r, ExprPtr base, Pieces& pieces) {
        std::vector<const Record*> slots;
        std::vector<const Record*> chars;
        parts(r, slots, chars);
        ExprPtr sub = slot(slots.size() > 0 ? slots[0] : nullptr);
        ExprPtr sup = slot(slots.size() > 1 ? slots[1] : nullptr);
        if (!sub || !sup)
            return false;
        OwnedNode<eSSScript> node = NewSSScript(std::move(base), std::move(sub), std::move(sup), 3);
        node->m_kind = kScriptPrescripts | kScriptNoScripts;
        node->m_colour = r.colour;
        pieces.push_back(ExprPtr(node.release()));
        return true;
    }

    // An arrow that stretches under or over its labels: the first slot goes on top when the top
    // one is present, the next one below. The arrow is the template's character, else the Symbol
    // arrow of its direction.
    bool arrow(int v, uint8_t colour, const std::vector<const Record*>& slots,
               const std::vector<const Record*>& chars, Pieces& pieces) {
        size_t next = 0;
        ExprPtr upper = slot((v & kArrowTop) && next < slots.size() ? slots[next++] : nullptr);
        ExprPtr lower = slot((v & kArrowBottom) && next < slots.size() ? slots[next++] : nullptr);
        if (!upper || !lower)
            return false;
        const int heads = v & (kArrowLeft | kArrowRight);
        const char fallback = heads == kArrowLeft                   ? '\xAC'
                              : heads == (kArrowLeft | kArrowRight) ? '\xAB'
                                                                    : '\xAE';
        push(pieces,
             limits(characterRow(chars, fallback, colour), std::move(lower), std::move(upper)));
        return true;
    }

    // Bra, ket or both: angle brackets and a bar around the parts.
    bool dirac(int v, uint8_t colour, const std::vector<const Record*>& slots, Pieces& pieces) {
        const bool left = (v & kDiracLeft) != 0 || (v & kDiracRight) == 0;
        const bool right = (v & kDiracRight) != 0 || (v & kDiracLeft) == 0;
        ExprPtr bra = left ? slot(slots.size() > 0 ? slots[0] : nullptr) : nullptr;
        const size_t ketAt = left ? 1 : 0;
        ExprPtr ket = right ? slot(slots.size() > ketAt ? slots[ketAt] : nullptr) : nullptr;
        if ((left && !bra) || (right && !ket))
            return false;
        if (left && right) {
            Pieces inside;
            for (ExprPtr* part : {&bra, &ket}) {
                if (part == &ket)
                    AppendText(inside, "|", colour);
                for (int32_t i = 0; i < (*part)->childCount(); ++i)
                    if (ExprPtr child = (*part)->detachChild(i))
                        inside.push_back(std::move(child));
            }
            push(pieces,
                 ExprPtr(NewFence(RowOf(std::move(inside)), FenceKind(kDelimAngle, kDelimAngle))
                             .release()));
        } else if (left) {
            push(pieces,
                 ExprPtr(NewFence(std::move(bra), FenceKind(kDelimAngle, kDelimBar)).release()));
        } else {
            push(pieces,
                 ExprPtr(NewFence(std::move(ket), FenceKind(kDelimBar, kDelimAngle)).release()));
        }
        return true;
    }

    // Slots: integrand, upper limit, lower limit; variation: the number of signs (1 to 3), a
    // loop (with or without arrows), limits above and below (0x40).
    bool integral(int v, const std::vector<const Record*>& slots, Pieces& pieces) {
        ExprPtr integrand = slot(slots.size() > 0 ? slots[0] : nullptr);
        ExprPtr upper = slot(slots.size() > 1 ? slots[1] : nullptr);
        ExprPtr lower = slot(slots.size() > 2 ? slots[2] : nullptr);
        if (!integrand || !lower || !upper)
            return false;
        const int count = v & 3;
        OwnedNode<eIntegral> node =
            NewIntegral(3, std::move(integrand), std::move(lower), std::move(upper));
        int32_t kind = (count > 1 ? count - 1 : 0);
        if (v & kIntegralLoops)
            kind |= kIntegralContour;
        if (v & kLimitsSumStyle)
            kind |= kIntegralLimitsAboveBelow;
        node->m_kind = kind;
        pieces.push_back(ExprPtr(node.release()));
        return true;
    }

    // Slots: operand, upper, lower, then the operator character; limits above and below with
    // variation 0x40, scripts otherwise.
    bool bigOperator(int v, uint8_t colour, const std::vector<const Record*>& slots,
                     const std::vector<const Record*>& chars, Pieces& pieces) {
        ExprPtr operand = slot(slots.size() > 0 ? slots[0] : nullptr);
        ExprPtr upper = slot(slots.size() > 1 ? slots[1] : nullptr);
        ExprPtr lower = slot(slots.size() > 2 ? slots[2] : nullptr);
        if (!operand || !lower || !upper)
            return false;
        const bool sumStyle = (v & kLimitsSumStyle) != 0;
        OwnedNode<eSSScript> node =
            NewSSScript(std::move(operand), characterRow(chars, '?', colour), std::move(lower), 4);
        node->setChild(3, std::move(upper));
        node->m_kind = kScriptOperator | (sumStyle ? kScriptLimits | kScriptNoScripts : 0);
        pieces.push_back(ExprPtr(node.release()));
        return true;
    }

    // The lines of a pile or the cells of a matrix into a grid.
    bool fill(eMatrix& grid, const Record& r) {
        for (int i = 0; i < grid.rows(); ++i)
            for (int j = 0; j < grid.columns(); ++j) {
                ExprPtr cell = slot(r.children[static_cast<size_t>(i * grid.columns() + j)].get());
                if (!cell)
                    return false;
                grid.setCell(i, j, std::move(cell));
            }
        return true;
    }

    // A centred pile is the plain one-column matrix; another alignment is kept in a ruled one.
    bool pile(const Record& r, Pieces& pieces) {
        const int n = static_cast<int>(r.children.size());
        if (n == 0 || n > kMaxMatrixCells)
            return false;
        const uint8_t align = GridAlignment(r.halign);
        if (align == kHAlignCentre) {
            OwnedNode<eSimpMatrix> m = NewSimpMatrix(n, 1);
            if (!m || !fill(*m, r))
                return false;
            pieces.push_back(ExprPtr(m.release()));
            return true;
        }
        OwnedNode<eDxMatrix> m = NewDxMatrix(n, 1, nullptr);
        if (!m || !fill(*m, r))
            return false;
        m->m_hAlign = align;
        pieces.push_back(ExprPtr(m.release()));
        return true;
    }

    // A ruled matrix with the columns' alignment and the partition lines, each row line drawn
    // over every column and each column line beside every row.
    bool matrix(const Record& r, Pieces& pieces) {
        if (r.rows < 1 || r.columns < 1 ||
            static_cast<size_t>(r.rows * r.columns) != r.children.size() ||
            r.rows * r.columns > kMaxMatrixCells)
            return false;
        OwnedNode<eDxMatrix> m = NewDxMatrix(r.rows, r.columns, nullptr);
        if (!m || !fill(*m, r))
            return false;
        m->m_hAlign = GridAlignment(r.halign);
        const int columns = std::min(r.columns, kStyledGridLines);
        const int rows = std::min(r.rows, kStyledGridLines);
        for (int line = 0; line < static_cast<int>(r.rowParts.size()) && line < kStyledGridLines;
             ++line)
            for (int c = 0; c < columns; ++c)
                m->m_hStyles[line] |= GridLineStyle(r.rowParts[static_cast<size_t>(line)]) << 2 * c;
        for (int line = 0; line < static_cast<int>(r.colParts.size()) && line < kStyledGridLines;
             ++line)
            for (int row = 0; row < rows; ++row)
                m->m_vStyles[row] |= GridLineStyle(r.colParts[static_cast<size_t>(line)])
                                     << 2 * line;
        pieces.push_back(ExprPtr(m.release()));
        return true;
    }

    bool m_v5;
};

} // namespace

ExprPtr ConvertEquation(std::vector<std::unique_ptr<Record>> records, bool v5) {
    Converter converter(v5);
    Record whole;
    whole.type = kLine;
    whole.children = std::move(records);
    return converter.line(whole);
}

} // namespace MTEF5
