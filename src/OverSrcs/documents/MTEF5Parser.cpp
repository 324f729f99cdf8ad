#include "OverSrcs/documents/MTEF5Parser.h"

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

constexpr int kMaxDepth = 64;
constexpr int kMaxRecords = 100000;

enum RecordType : int {
    kEnd = 0,
    kLine = 1,
    kChar = 2,
    kTmpl = 3,
    kPile = 4,
    kMatrix = 5,
    kEmbell = 6,
    kRuler = 7,
    kFont = 8,
    kSize = 9,
    kFull = 10,
    kSubSym = 14,
    kColor = 15,
    kColorDef = 16,
    kFontDef = 17,
    kEqnPrefs = 18,
    kEncodingDef = 19,
    kFuture = 100,
};

// The parsed records: a line holds items, a template its slots and extra characters, a pile or
// matrix its lines.
struct Record {
    int type = kEnd;
    int selector = 0;
    int variation = 0;
    int rows = 0;
    int columns = 0;
    uint32_t character = 0;
    int typeface = 0;
    bool nullLine = false;
    std::vector<int> embells;
    std::vector<std::unique_ptr<Record>> children;
};

// Bounds-checked reading; any read past the end marks the stream bad.
class Stream {
public:
    Stream(const uint8_t* bytes, size_t length)
        : m_p(bytes)
        , m_end(bytes + length) {}
    bool bad() const { return m_bad; }
    void fail() { m_bad = true; }
    uint8_t u8() {
        if (m_bad || m_p >= m_end) {
            m_bad = true;
            return 0;
        }
        return *m_p++;
    }
    uint16_t u16() {
        const uint16_t lo = u8();
        return static_cast<uint16_t>(lo | u8() << 8);
    }
    // One byte, or 255 followed by 16 bits.
    uint32_t uint() {
        const uint8_t b = u8();
        return b == 255 ? u16() : b;
    }
    void skip(size_t n) {
        if (m_bad || static_cast<size_t>(m_end - m_p) < n) {
            m_bad = true;
            return;
        }
        m_p += n;
    }
    void skipString() {
        while (!m_bad && u8() != 0) {
        }
    }
    bool atEnd() const { return m_p >= m_end; }

private:
    const uint8_t* m_p;
    const uint8_t* m_end;
    bool m_bad = false;
};

class Parser {
public:
    Parser(Stream& in, int version)
        : m_in(in)
        , m_v5(version == 5) {}

    // Records up to END into the list; false on any fault.
    bool list(std::vector<std::unique_ptr<Record>>& out, int depth) {
        if (depth > kMaxDepth)
            return false;
        for (;;) {
            if (++m_records > kMaxRecords || m_in.bad())
                return false;
            int type = 0;
            int options = 0;
            tag(type, options);
            if (m_in.bad())
                return false;
            if (type == kEnd)
                return true;
            auto r = std::make_unique<Record>();
            r->type = type;
            if (!record(*r, options, depth))
                return false;
            if (type == kLine || type == kChar || type == kTmpl || type == kPile ||
                type == kMatrix || type == kEmbell)
                out.push_back(std::move(r));
        }
    }

    // The top level: records until the closing END.
    bool top(std::vector<std::unique_ptr<Record>>& out) {
        while (!m_in.atEnd()) {
            if (++m_records > kMaxRecords)
                return false;
            int type = 0;
            int options = 0;
            tag(type, options);
            if (m_in.bad())
                return false;
            if (type == kEnd)
                return true;
            auto r = std::make_unique<Record>();
            r->type = type;
            if (!record(*r, options, 1))
                return false;
            if (type == kLine || type == kPile || type == kMatrix || type == kTmpl || type == kChar)
                out.push_back(std::move(r));
        }
        // The equation ends with END: data cut short is rejected.
        return false;
    }

private:
    // Option bits, by version.
    int optNudge() const { return m_v5 ? 0x08 : 0x08; }
    int optEmbell() const { return m_v5 ? 0x01 : 0x02; }
    int optNull() const { return 0x01; }
    int optRuler() const { return 0x02; }
    int optSpacing() const { return 0x04; }

    void tag(int& type, int& options) {
        const uint8_t t = m_in.u8();
        if (m_v5) {
            type = t;
            // Records without an options byte.
            if (t == kEnd || t == kRuler || t == kFont || t == kSize ||
                (t >= kFull && t <= kSubSym) || t == kColor || t == kFontDef || t == kEncodingDef ||
                t >= kFuture)
                options = 0;
            else
                options = m_in.u8();
        } else {
            type = t & 15;
            options = t >> 4;
        }
    }

    void nudge(int options) {
        if ((options & optNudge()) == 0)
            return;
        const uint8_t dx = m_in.u8();
        const uint8_t dy = m_in.u8();
        if (dx == 128 && dy == 128)
            m_in.skip(4);
    }

    void ruler() {
        const uint8_t stops = m_in.u8();
        m_in.skip(static_cast<size_t>(stops) * 3);
    }

    bool record(Record& r, int options, int depth) {
        switch (r.type) {
        case kLine:
            nudge(options);
            if (options & optSpacing())
                m_v5 ? (void)m_in.uint() : (void)m_in.u8();
            if (options & optRuler()) {
                if (m_in.u8() != kRuler)
                    return false;
                ruler();
            }
            r.nullLine = (options & optNull()) != 0;
            if (!r.nullLine)
                return list(r.children, depth + 1);
            return !m_in.bad();
        case kChar: {
            nudge(options);
            r.typeface = static_cast<int>(m_v5 ? m_in.uint() : m_in.u8()) - 128;
            if (m_v5) {
                if ((options & 0x20) == 0)
                    r.character = m_in.u16();
                if (options & 0x04) {
                    const uint8_t c = m_in.u8();
                    if (options & 0x20)
                        r.character = c;
                }
                if (options & 0x10) {
                    const uint16_t c = m_in.u16();
                    if (options & 0x20)
                        r.character = c;
                }
            } else {
                r.character = m_in.u16();
            }
            if (options & optEmbell()) {
                std::vector<std::unique_ptr<Record>> embells;
                if (!list(embells, depth + 1))
                    return false;
                for (const auto& e : embells) {
                    if (e->type != kEmbell)
                        return false;
                    r.embells.push_back(e->selector);
                }
            }
            return !m_in.bad();
        }
        case kTmpl:
            nudge(options);
            r.selector = m_in.u8();
            r.variation = m_in.u8();
            if (m_v5 && (r.variation & 0x80) != 0)
                r.variation = (r.variation & 0x7F) | m_in.u8() << 8;
            m_in.u8(); // template-specific options
            return list(r.children, depth + 1);
        case kPile:
            nudge(options);
            m_in.u8(); // horizontal alignment
            m_in.u8(); // vertical alignment
            if (!m_v5 && (options & optRuler())) {
                if (m_in.u8() != kRuler)
                    return false;
                ruler();
            }
            return list(r.children, depth + 1);
        case kMatrix: {
            nudge(options);
            m_in.u8(); // vertical alignment
            m_in.u8(); // horizontal justification
            m_in.u8(); // vertical justification
            r.rows = m_in.u8();
            r.columns = m_in.u8();
            m_in.skip(static_cast<size_t>((r.rows + 1) * 2 + 7) / 8);
            m_in.skip(static_cast<size_t>((r.columns + 1) * 2 + 7) / 8);
            return list(r.children, depth + 1);
        }
        case kEmbell:
            nudge(options);
            r.selector = m_in.u8();
            return !m_in.bad();
        case kRuler:
            ruler();
            return !m_in.bad();
        case kFont:
            if (m_v5) {
                m_in.uint();
                m_in.u8();
            } else {
                m_in.u8();
                m_in.u8();
                m_in.skipString();
            }
            return !m_in.bad();
        case kSize: {
            const uint8_t first = m_in.u8();
            if (first == 101) {
                m_in.u16();
            } else if (first == 100) {
                m_in.u8();
                m_in.u16();
            } else {
                m_in.u8();
            }
            return !m_in.bad();
        }
        case kColor:
            if (!m_v5)
                return false;
            m_in.uint();
            return !m_in.bad();
        case kColorDef:
            if (!m_v5)
                return false;
            m_in.skip((options & 0x01) ? 8 : 6);
            if (options & 0x04)
                m_in.skipString();
            return !m_in.bad();
        case kFontDef:
            if (!m_v5)
                return false;
            m_in.uint();
            m_in.skipString();
            return !m_in.bad();
        case kEncodingDef:
            if (!m_v5)
                return false;
            m_in.skipString();
            return !m_in.bad();
        case kEqnPrefs:
            if (!m_v5)
                return false;
            return prefs();
        default:
            if (r.type >= kFull && r.type <= kSubSym)
                return true;
            if (m_v5 && r.type >= kFuture) {
                m_in.skip(m_in.u16());
                return !m_in.bad();
            }
            return false;
        }
    }

    // Dimension arrays: a count, then values written as nibbles, each value ending with 0xF.
    bool dimensions() {
        uint32_t count = m_in.uint();
        bool high = true;
        uint8_t byte = 0;
        while (count > 0 && !m_in.bad()) {
            if (high)
                byte = m_in.u8();
            const int nibble = high ? byte >> 4 : byte & 15;
            high = !high;
            if (nibble == 0xF)
                --count;
        }
        return !m_in.bad();
    }

    bool prefs() {
        if (!dimensions() || !dimensions())
            return false;
        const uint32_t styles = m_in.uint();
        for (uint32_t i = 0; i < styles && !m_in.bad(); ++i)
            if (m_in.u8() != 0)
                m_in.u8();
        return !m_in.bad();
    }

    Stream& m_in;
    bool m_v5;
    int m_records = 0;
};

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
} // namespace MTEF5

ExprPtr ReadMtefDocument(const uint8_t* bytes, size_t length) {
    using namespace MTEF5;
    if (bytes == nullptr)
        return nullptr;
    // The OLE "Equation Native" header: its own size (28) and version 0x00020000.
    if (length >= 28 && bytes[0] == 28 && bytes[1] == 0 && bytes[2] == 0 && bytes[3] == 0 &&
        bytes[4] == 2 && bytes[5] == 0) {
        bytes += 28;
        length -= 28;
    }
    Stream in(bytes, length);
    const int version = in.u8();
    if (version < 3 || version > 5)
        return nullptr;
    in.skip(4); // platform, product, product version, subversion
    if (version == 5) {
        in.skipString(); // application key
        in.u8();         // equation options
    }
    if (in.bad())
        return nullptr;
    Parser parser(in, version);
    std::vector<std::unique_ptr<Record>> records;
    if (!parser.top(records) || records.empty())
        return nullptr;
    Converter converter(version == 5);
    Record whole;
    whole.type = kLine;
    whole.children = std::move(records);
    return converter.line(whole);
}
