#include "OverSrcs/documents/MTEF5Converter.h"

#include "ExprSrcs/commands/tsPrefs.h"
#include "OverSrcs/eBox.h"
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

void AppendText(Pieces& pieces, const std::string& text) {
    if (text.empty())
        return;
    ExprPtr row = TextToRow(text, 0);
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

// Typefaces of the character record: Greek and symbol ones hold Symbol font bytes in versions 3
// and 4.
constexpr int kTypefaceLowerGreek = 4;
constexpr int kTypefaceUpperGreek = 5;
constexpr int kTypefaceSymbol = 6;

// The spacing typeface: its characters are spaces of several widths.
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
    if (!v5 && (r.typeface == kTypefaceLowerGreek || r.typeface == kTypefaceUpperGreek ||
                r.typeface == kTypefaceSymbol)) {
        symbol = true;
        const uint8_t b = static_cast<uint8_t>(r.character & 0xFF);
        return b >= 0x20 ? static_cast<char>(b) : '?';
    }
    if (v5) {
        if (const uint8_t b = SymbolByteOf(r.character)) {
            symbol = true;
            return static_cast<char>(b);
        }
    }
    return ByteOf(r.character);
}

void AppendSymbolText(Pieces& pieces, const std::string& text) {
    if (text.empty())
        return;
    FSSRecord style;
    InitFSSRecord(style);
    SetFSSFontName(style, "Symbol");
    pieces.push_back(ExprPtr(NewWord(text, 0, style, 0).release()));
}

// Embellishment codes to mark kinds; 0 for none.
int MarkFor(int embell) {
    switch (embell) {
    case 2:
        return 1; // one dot
    case 3:
        return 2; // two dots
    case 4:
        return 9; // three dots
    case 8:
        return 3; // tilde
    case 9:
        return 7; // hat
    case 11:
        return 4; // right arrow
    case 12:
        return 10; // left arrow
    case 13:
        return 5; // both arrows
    case 17:
        return 6; // over bar
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

    ExprPtr line(const Record& r) {
        Pieces pieces;
        std::string text;
        std::string symbols;
        for (const auto& child : r.children) {
            if (child->type == kChar && child->typeface == kTypefaceSpace) {
                AppendText(pieces, text);
                AppendSymbolText(pieces, symbols);
                text.clear();
                symbols.clear();
                pieces.push_back(
                    ExprPtr(NewPseudo(SpacePseudo(child->character), nullptr, 0).release()));
                continue;
            }
            if (child->type == kChar && child->embells.empty()) {
                bool symbol = false;
                const char c = CharacterByte(*child, m_v5, symbol);
                if (symbol) {
                    AppendText(pieces, text);
                    text.clear();
                    symbols += c;
                } else {
                    AppendSymbolText(pieces, symbols);
                    symbols.clear();
                    text += c;
                }
                continue;
            }
            AppendText(pieces, text);
            AppendSymbolText(pieces, symbols);
            text.clear();
            symbols.clear();
            if (!item(*child, pieces))
                return nullptr;
        }
        AppendText(pieces, text);
        AppendSymbolText(pieces, symbols);
        return RowOf(std::move(pieces));
    }

private:
    bool item(const Record& r, Pieces& pieces) {
        switch (r.type) {
        case kChar:
            return character(r, pieces);
        case kTmpl:
            return templ(r, pieces);
        case kPile:
            return pile(r, pieces);
        case kMatrix:
            return matrix(r, pieces);
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

    bool character(const Record& r, Pieces& pieces) {
        bool symbol = false;
        std::string text(1, CharacterByte(r, m_v5, symbol));
        auto append = [&](Pieces& to) {
            symbol ? AppendSymbolText(to, text) : AppendText(to, text);
        };
        int primes = 0;
        std::vector<int> marks;
        for (int e : r.embells) {
            if (IsPrime(e))
                primes += PrimeCount(e);
            else if (int m = MarkFor(e))
                marks.push_back(m);
        }
        Pieces inner;
        append(inner);
        ExprPtr node = RowOf(std::move(inner));
        for (int m : marks)
            node = ExprPtr(NewMark(std::move(node), m).release());
        if (marks.empty())
            append(pieces);
        else
            pieces.push_back(std::move(node));
        if (primes > 0)
            AppendSymbolText(pieces, std::string(static_cast<size_t>(primes), '\xA2'));
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
        default:
            return -1;
        }
    }

    // The delimiter type of a fence character on the left or right side; a bracket facing the
    // other way is the reversed square bracket.
    static int delimiterOf(uint32_t c, bool left) {
        switch (c) {
        case '(':
        case ')':
            return kDelimParen;
        case '{':
        case '}':
            return kDelimBrace;
        case '|':
            return kDelimBar;
        case '<':
        case '>':
        case 0x2329:
        case 0x232A:
        case 0x27E8:
        case 0x27E9:
            return kDelimAngle;
        case '[':
            return left ? kDelimSquare : kDelimReversedSquare;
        case ']':
            return left ? kDelimReversedSquare : kDelimSquare;
        default:
            return kDelimNone;
        }
    }

    bool templ(const Record& r, Pieces& pieces) {
        std::vector<const Record*> slots;
        std::vector<const Record*> chars;
        parts(r, slots, chars);
        auto slotAt = [&](size_t i) -> ExprPtr {
            return slot(i < slots.size() ? slots[i] : nullptr);
        };
        const int sel = r.selector;
        if (const int d = delimiter(sel); d >= 0) {
            ExprPtr inside = slotAt(0);
            if (!inside)
                return false;
            const int left = (r.variation & 1) ? d : kDelimNone;
            const int right = (r.variation & 2) ? d : kDelimNone;
            pieces.push_back(ExprPtr(NewFence(std::move(inside), left << 4 | right).release()));
            return true;
        }
        switch (sel) {
        case 8:   // open brackets
        case 9: { // intervals: the delimiters are the template's two characters
            ExprPtr inside = slotAt(0);
            if (!inside || chars.size() != 2)
                return false;
            const int left = delimiterOf(chars[0]->character, true);
            const int right = delimiterOf(chars[1]->character, false);
            pieces.push_back(ExprPtr(NewFence(std::move(inside), left << 4 | right).release()));
            return true;
        }
        case 10: { // root
            ExprPtr radicand = slotAt(0);
            ExprPtr index = (r.variation & 1) ? slotAt(1) : nullptr;
            if (!radicand || ((r.variation & 1) && !index))
                return false;
            pieces.push_back(ExprPtr(NewRoot(std::move(radicand), std::move(index)).release()));
            return true;
        }
        case 11: { // fraction
            ExprPtr num = slotAt(0);
            ExprPtr den = slotAt(1);
            if (!num || !den)
                return false;
            pieces.push_back(ExprPtr(NewFraction(std::move(num), std::move(den)).release()));
            return true;
        }
        case 27:
        case 28:
        case 29: { // subscript, superscript, both
            ExprPtr sub = slotAt(0);
            ExprPtr sup = slotAt(1);
            if (!sub || !sup)
                return false;
            ExprPtr base;
            if (!pieces.empty()) {
                base = RowOf({});
                Pieces one;
                one.push_back(std::move(pieces.back()));
                pieces.pop_back();
                base = RowOf(std::move(one));
            } else {
                base = RowOf({});
            }
            pieces.push_back(
                ExprPtr(NewSSScript(std::move(base), std::move(sub), std::move(sup), 3).release()));
            return true;
        }
        case 12: // under bar, single or double
        case 13: // over bar
        {
            ExprPtr inside = slotAt(0);
            if (!inside)
                return false;
            const int bar = (r.variation & 1) ? kMarkDoubleBar : kMarkBar;
            pieces.push_back(
                ExprPtr(NewMark(std::move(inside), sel == 12 ? bar | kMarkBelow : bar).release()));
            return true;
        }
        case 15: // integrals
            return integral(r, slots, pieces);
        case 16: // sum, product, coproduct, union, intersection, integral and sum operators
        case 17:
        case 18:
        case 19:
        case 20:
        case 21:
        case 22:
        case 23: // limit
            return bigOperator(r, slots, chars, pieces);
        case 24: // horizontal brace and bracket with a label
        case 25: {
            ExprPtr inside = slotAt(0);
            ExprPtr label = slotAt(1);
            if (!inside || !label)
                return false;
            const int d = sel == 24 ? kDelimBrace : kDelimSquare;
            const bool top = (r.variation & 1) != 0;
            ExprPtr fence(
                NewFence(std::move(inside), kFenceHorizontal | (top ? d << 4 : d)).release());
            Pieces one;
            one.push_back(std::move(fence));
            const int32_t kind = kScriptNoScripts | kScriptLimits;
            OwnedNode<eSSScript> node = NewSSScript(RowOf(std::move(one)), nullptr, nullptr, 3);
            node->m_kind = kind;
            node->setChild(top ? 2 : 1, std::move(label));
            node->setChild(top ? 1 : 2, RowOf({}));
            pieces.push_back(ExprPtr(node.release()));
            return true;
        }
        case 26: { // long division, with or without a quotient
            ExprPtr dividend = slotAt(0);
            ExprPtr quotient = slotAt(1);
            if (!dividend || !quotient)
                return false;
            pieces.push_back(ExprPtr(
                NewLongDivision(std::move(dividend), RowOf({}), std::move(quotient), nullptr)
                    .release()));
            return true;
        }
        case 31:   // arrow over or under
        case 32:   // tilde
        case 33:   // hat
        case 34: { // arc
            ExprPtr inside = slotAt(0);
            if (!inside)
                return false;
            int mark = sel == 32 ? kMarkTilde : sel == 33 ? kMarkHat : kMarkArc;
            if (sel == 31) {
                const int v = r.variation;
                mark = (v & 3) == 3 ? kMarkTwoHeadedArrow
                       : (v & 1)    ? kMarkBackwardArrow
                                    : kMarkVector;
                if (v & 4)
                    mark |= kMarkBelow;
            }
            pieces.push_back(ExprPtr(NewMark(std::move(inside), mark).release()));
            return true;
        }
        case 36: { // strike-through
            ExprPtr inside = slotAt(0);
            if (!inside)
                return false;
            pieces.push_back(
                ExprPtr(NewOverstrike(std::move(inside), TextToRow("/", 0)).release()));
            return true;
        }
        case 37: { // box
            ExprPtr inside = slotAt(0);
            if (!inside)
                return false;
            pieces.push_back(ExprPtr(NewBox(std::move(inside)).release()));
            return true;
        }
        default:
            return false;
        }
    }

    // Slots: integrand, lower limit, upper limit; variation: the number of signs (1 to 3), a
    // contour sign (4), limits above and below (0x40).
    bool integral(const Record& r, const std::vector<const Record*>& slots, Pieces& pieces) {
        ExprPtr integrand = slot(slots.size() > 0 ? slots[0] : nullptr);
        ExprPtr lower = slot(slots.size() > 1 ? slots[1] : nullptr);
        ExprPtr upper = slot(slots.size() > 2 ? slots[2] : nullptr);
        if (!integrand || !lower || !upper)
            return false;
        const int count = r.variation & 3;
        OwnedNode<eIntegral> node =
            NewIntegral(3, std::move(integrand), std::move(lower), std::move(upper));
        int32_t kind = (count > 1 ? count - 1 : 0);
        if (r.variation & 4)
            kind |= kIntegralContour;
        if (r.variation & 0x40)
            kind |= kIntegralLimitsAboveBelow;
        node->m_kind = kind;
        pieces.push_back(ExprPtr(node.release()));
        return true;
    }

    // Slots: operand, lower, upper, then the operator character; limits above and below with
    // variation 0x40, scripts otherwise. A limit's first slot is its base ("lim"), with the
    // limits under and over it.
    bool bigOperator(const Record& r, const std::vector<const Record*>& slots,
                     const std::vector<const Record*>& chars, Pieces& pieces) {
        ExprPtr operand = slot(slots.size() > 0 ? slots[0] : nullptr);
        ExprPtr lower = slot(slots.size() > 1 ? slots[1] : nullptr);
        ExprPtr upper = slot(slots.size() > 2 ? slots[2] : nullptr);
        if (!operand || !lower || !upper)
            return false;
        if (r.selector == 23) {
            OwnedNode<eSSScript> node =
                NewSSScript(std::move(operand), std::move(lower), std::move(upper), 3);
            node->m_kind = kScriptLimits | kScriptNoScripts;
            pieces.push_back(ExprPtr(node.release()));
            return true;
        }
        Pieces base;
        if (chars.empty()) {
            AppendText(base, "?");
        } else {
            bool symbol = false;
            const std::string op(1, CharacterByte(*chars.front(), m_v5, symbol));
            symbol ? AppendSymbolText(base, op) : AppendText(base, op);
        }
        const bool limits = (r.variation & 0x40) != 0;
        OwnedNode<eSSScript> node =
            NewSSScript(std::move(operand), RowOf(std::move(base)), std::move(lower), 4);
        node->setChild(3, std::move(upper));
        node->m_kind = kScriptOperator | (limits ? kScriptLimits | kScriptNoScripts : 0);
        pieces.push_back(ExprPtr(node.release()));
        return true;
    }

    bool pile(const Record& r, Pieces& pieces) {
        const int n = static_cast<int>(r.children.size());
        if (n == 0)
            return false;
        OwnedNode<eSimpMatrix> m = NewSimpMatrix(n, 1);
        if (!m)
            return false;
        for (int i = 0; i < n; ++i) {
            ExprPtr cell = slot(r.children[static_cast<size_t>(i)].get());
            if (!cell)
                return false;
            m->setCell(i, 0, std::move(cell));
        }
        pieces.push_back(ExprPtr(m.release()));
        return true;
    }

    bool matrix(const Record& r, Pieces& pieces) {
        if (r.rows < 1 || r.columns < 1 ||
            static_cast<size_t>(r.rows * r.columns) != r.children.size())
            return false;
        OwnedNode<eSimpMatrix> m = NewSimpMatrix(r.rows, r.columns);
        if (!m)
            return false;
        for (int i = 0; i < r.rows; ++i)
            for (int j = 0; j < r.columns; ++j) {
                ExprPtr cell = slot(r.children[static_cast<size_t>(i * r.columns + j)].get());
                if (!cell)
                    return false;
                m->setCell(i, j, std::move(cell));
            }
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
