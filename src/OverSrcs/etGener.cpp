// The rule language. An entry string is literal text with directives led by "@":
//   @0 .. @9, @a .. @f   the translation of child slot 0-15 (nothing when it does not exist)
//   @.                   the item of an iterated entry (tensor index, tree son), or the raw text of
//                        a character, function-name, unmapped or special-word entry (escaped)
//   @?n{..} / @!n{..}    the body when slot n exists and is not empty / is missing or empty
//   @*{..}               the body repeated by the node's count (integral signs, sons, indices,
//                        grid columns)
//   @A                   one alignment letter per grid column
//   @r @c / @R @C        row and column counts / the current row and column as ordinals
//   @^{..}               the body once per level of same-class nodes nested below the node
//   @v{..}               the body once per same-class ancestor
//   @+n{W}               push W on the script path, emit the path and child n, pop
//   @B                   the pending level word: the path, or "Baseline" when it is empty; written
//                        before the next non-blank output, dropped at the end
//   @K                   the leaf's colour as "#RRGGBB"
//   @E                   the encoding token of the whole expression
//   @@ @{ @}             "@", "{", "}"
// Any other "@x" is written as it stands and logged. After the whole text is built, runs of blanks
// become one blank and blanks next to a line end go.
#include "OverSrcs/etGener.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/eAsian.h"
#include "OverSrcs/eBox.h"
#include "OverSrcs/eDxMatrix.h"
#include "OverSrcs/eDxStr.h"
#include "OverSrcs/eExpandable.h"
#include "OverSrcs/eFence.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eIntegral.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eLongDivision.h"
#include "OverSrcs/eMark.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eOverstrike.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eRoot.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eTensor.h"
#include "OverSrcs/eTreeNode.h"
#include "OverSrcs/eUFO.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/etTranslator.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <typeinfo>
#include <vector>

namespace {

// What the directives of one expansion refer to.
struct Frame {
    const eExpr* node = nullptr;
    const eExpr* item = nullptr;
    std::string_view itemText;
    bool hasItemText = false;
    int32_t repeat = 0;
    int32_t row = 0;
    int32_t column = 0;
    // When set, "@0" stands for this expansion instead of child 0 (nested fence sides).
    const std::string* insideRule = nullptr;
    const Frame* insideFrame = nullptr;
};

struct EngineState {
    const Translator* translator = nullptr;
    const eExpr* root = nullptr;
    std::string out;
    std::vector<std::string> path;
    std::string pending;
    bool hasPending = false;
    // Set when the output passed its limit: nothing more is written and the translation fails.
    bool full = false;
    // The output's limit: the floor until the output reaches it, then the expression's bound
    // (worked out only then: small translations never walk the tree for it); and the encoding
    // token, made once for every rule that writes it, which adds its own size to the limit.
    size_t limit = 0;
    bool limitGrown = false;
    std::string token;
    bool hasToken = false;
    // Row and column of the grid cell being written, for entries of its content.
    int32_t row = 0;
    int32_t column = 0;
    // The text is in a double-byte code page: bytes from 0x80 are that page's characters.
    bool doubleByte = false;
};

EngineState* s_engine = nullptr;

// The bytes of the code page character at text[k]: two for a lead byte with a byte after it.
size_t CharacterLength(std::string_view text, size_t k) {
    return k + 1 < text.size() && HookIsLeadByte(static_cast<unsigned char>(text[k])) ? 2 : 1;
}

const std::string& EntryText(int32_t code) {
    static const std::string s_empty;
    if (s_engine == nullptr || code < 0 || code >= kTranslatorEntries)
        return s_empty;
    return s_engine->translator->entries[static_cast<size_t>(code)];
}

// Whether `bytes` more fit the output's limit (raised to the expression's bound the first time
// the floor is reached).
bool Fits(EngineState& e, size_t bytes) {
    if (e.out.size() + bytes <= e.limit)
        return true;
    if (!e.limitGrown) {
        e.limitGrown = true;
        e.limit = std::max(e.limit, TranslationBound(e.root) + e.token.size());
    }
    return e.out.size() + bytes <= e.limit;
}

void Emit(std::string_view text) {
    EngineState& e = *s_engine;
    if (e.full || text.empty())
        return;
    const bool pending =
        e.hasPending && text.find_first_not_of(" \t\r\n") != std::string_view::npos;
    if (!Fits(e, text.size() + (pending ? e.pending.size() + 2 : 0))) {
        e.full = true;
        return;
    }
    if (pending) {
        e.hasPending = false;
        e.out.push_back(' ');
        e.out += e.pending;
        e.out.push_back(' ');
    }
    e.out.append(text);
}

constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x81,   0x201A, 0x192,  0x201E, 0x2026, 0x2020, 0x2021, 0x2C6,  0x2030, 0x160,
    0x2039, 0x152,  0x8D,   0x17D,  0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x2DC,  0x2122, 0x161,  0x203A, 0x153,  0x9D,   0x17E,  0x178};

void EmitEscaped(std::string_view text) {
    const int32_t mode = s_engine->translator->escape;
    std::string out;
    for (size_t k = 0; k < text.size(); ++k) {
        const unsigned char c = static_cast<unsigned char>(text[k]);
        if (s_engine->doubleByte && c >= 0x80) {
            // A character of the code page stays its bytes in every mode: the text is converted
            // through the page as a whole where it leaves the program (UTF-8 on the clipboard).
            const size_t n = CharacterLength(text, k);
            out.append(text.substr(k, n));
            k += n - 1;
            continue;
        }
        if (mode == kEscapeXml) {
            switch (c) {
            case '&':
                out += "&amp;";
                continue;
            case '<':
                out += "&lt;";
                continue;
            case '>':
                out += "&gt;";
                continue;
            case '"':
                out += "&quot;";
                continue;
            default:
                break;
            }
            if (c >= 0x80) {
                const char32_t u = c < 0xA0 ? kCp1252High[c - 0x80] : c;
                char buffer[16];
                std::snprintf(buffer, sizeof buffer, "&#x%04X;", static_cast<unsigned>(u));
                out += buffer;
                continue;
            }
            if (c < 0x20)
                continue; // not allowed in XML text
        } else if (mode == kEscapeTeX) {
            if (std::strchr("#$%&_{}", c) != nullptr && c != 0) {
                out.push_back('\\');
                out.push_back(static_cast<char>(c));
                continue;
            }
            if (c == '\\') {
                out += "\\backslash{}";
                continue;
            }
            if (c == '~') {
                out += "\\sim{}";
                continue;
            }
            if (c == '^') {
                out += "\\wedge{}";
                continue;
            }
            if (c >= 0x80) {
                out += "\\text{?}";
                continue;
            }
            if (c < 0x20)
                continue;
        }
        out.push_back(static_cast<char>(c));
    }
    Emit(out);
}

int32_t SlotIndex(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

const eExpr* SlotOf(const eExpr* node, int32_t i) {
    if (node == nullptr || i < 0 || !node->isTemplate() || i >= node->childCount())
        return nullptr;
    return node->getChild(i);
}

bool SlotFilled(const eExpr* node, int32_t i) {
    const eExpr* child = SlotOf(node, i);
    if (child == nullptr)
        return false;
    return !(child->isString() && child->childCount() == 0);
}

// Same-class levels nested below the node: 1 for a fraction inside a fraction, and so on.
int32_t LevelsBelow(const eExpr* node, const std::type_info& type, int32_t depth) {
    if (depth > 200 || node->isWord())
        return 0;
    int32_t best = 0;
    const int32_t n = node->isTemplate() || node->isString() ? node->childCount() : 0;
    for (int32_t i = 0; i < n; ++i) {
        const eExpr* child = node->getChild(i);
        if (child == nullptr)
            continue;
        int32_t levels = LevelsBelow(child, type, depth + 1);
        if (typeid(*child) == type)
            ++levels;
        best = std::max(best, levels);
    }
    if (node->isMatrix()) {
        const auto* grid = static_cast<const eMatrix*>(node);
        for (int32_t r = 0; r < grid->rows(); ++r) {
            for (int32_t c = 0; c < grid->columns(); ++c) {
                const eExpr* cell = grid->getCell(r, c);
                if (cell != nullptr)
                    best = std::max(best, LevelsBelow(cell, type, depth + 1));
            }
        }
    }
    return best;
}

int32_t SameClassAncestors(const eExpr* node) {
    int32_t n = 0;
    for (const eExpr* p = node->m_parent; p != nullptr; p = p->m_parent) {
        if (typeid(*p) == typeid(*node))
            ++n;
    }
    return n;
}

// The body after a directive: the text inside the braces that follow at `i`, with `i` moved past
// them. Without a brace the body is empty; an unclosed body runs to the end.
std::string_view TakeBody(std::string_view rule, size_t& i) {
    if (i >= rule.size() || rule[i] != '{')
        return {};
    const size_t start = i + 1;
    int32_t depth = 1;
    size_t k = start;
    for (; k < rule.size(); ++k) {
        if (rule[k] == '@') {
            ++k; // an escaped character never counts
            continue;
        }
        if (rule[k] == '{')
            ++depth;
        else if (rule[k] == '}' && --depth == 0)
            break;
    }
    const std::string_view body = rule.substr(start, std::min(k, rule.size()) - start);
    i = k < rule.size() ? k + 1 : rule.size();
    return body;
}

std::string PathWords() {
    std::string words;
    for (const std::string& w : s_engine->path) {
        if (!words.empty())
            words.push_back(' ');
        words += w;
    }
    return words;
}

// Nodes translated, for the poll in GenerateNode.
uint32_t s_generateSteps = 0;

void GenerateNode(const eExpr* node) {
    if (node == nullptr || s_engine == nullptr || s_engine->full)
        return;
    // The text of a large document takes seconds: every 64th node asks whether to stop.
    if ((++s_generateSteps & 63) == 0)
        HookCheckUserAbort();
    const_cast<eExpr*>(node)->generate();
}

const std::string& EncodingToken() {
    EngineState& e = *s_engine;
    if (!e.hasToken) {
        e.token = EncodingTokenOf(e.root);
        e.hasToken = true;
        e.limit += e.token.size();
    }
    return e.token;
}

std::string ColourText(const eExpr* node) {
    const uint8_t c = node != nullptr ? node->m_colour : 0;
    const unsigned r = ((c >> 5) & 7) * 255 / 7;
    const unsigned g = ((c >> 2) & 7) * 255 / 7;
    const unsigned b = (c & 3) * 255 / 3;
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", r, g, b);
    return text;
}

void Expand(std::string_view rule, const Frame& frame, int32_t depth) {
    if (depth > kMaxRuleDepth)
        return;
    size_t literal = 0;
    size_t i = 0;
    auto flush = [&](size_t upTo) {
        if (upTo > literal)
            Emit(rule.substr(literal, upTo - literal));
    };
    while (i < rule.size() && !s_engine->full) {
        if (rule[i] != '@') {
            ++i;
            continue;
        }
        flush(i);
        if (i + 1 >= rule.size()) {
            Emit("@");
            i = literal = rule.size();
            break;
        }
        const char d = rule[i + 1];
        i += 2;
        // In a grid's entries "@c" is the column count; elsewhere it is slot 12.
        const bool gridCount = d == 'c' && frame.node != nullptr && frame.node->isMatrix();
        const int32_t slot = gridCount ? -1 : SlotIndex(d);
        if (slot >= 0) {
            if (slot == 0 && frame.insideRule != nullptr)
                Expand(*frame.insideRule, *frame.insideFrame, depth + 1);
            else
                GenerateNode(SlotOf(frame.node, slot));
        } else {
            switch (d) {
            case '.':
                if (frame.item != nullptr)
                    GenerateNode(frame.item);
                else if (frame.hasItemText)
                    EmitEscaped(frame.itemText);
                break;
            case '?':
            case '!': {
                const int32_t n = i < rule.size() ? SlotIndex(rule[i]) : -1;
                if (n >= 0)
                    ++i;
                const std::string_view body = TakeBody(rule, i);
                bool filled = SlotFilled(frame.node, n);
                if (n == 0 && frame.insideRule != nullptr)
                    filled = SlotFilled(frame.insideFrame->node, 0);
                if (filled == (d == '?'))
                    Expand(body, frame, depth + 1);
                break;
            }
            case '*': {
                const std::string_view body = TakeBody(rule, i);
                for (int32_t k = 0; k < frame.repeat && !s_engine->full; ++k)
                    Expand(body, frame, depth + 1);
                break;
            }
            case '^':
            case 'v': {
                const std::string_view body = TakeBody(rule, i);
                const int32_t times = frame.node == nullptr ? 0
                                      : d == '^' ? LevelsBelow(frame.node, typeid(*frame.node), 0)
                                                 : SameClassAncestors(frame.node);
                for (int32_t k = 0; k < times && !s_engine->full; ++k)
                    Expand(body, frame, depth + 1);
                break;
            }
            case '+': {
                const int32_t n = i < rule.size() ? SlotIndex(rule[i]) : -1;
                if (n >= 0)
                    ++i;
                const std::string_view body = TakeBody(rule, i);
                s_engine->path.emplace_back(body);
                Emit(" ");
                Emit(PathWords());
                Emit(" ");
                GenerateNode(SlotOf(frame.node, n));
                s_engine->path.pop_back();
                break;
            }
            case 'B':
                s_engine->pending = s_engine->path.empty() ? "Baseline" : PathWords();
                s_engine->hasPending = true;
                break;
            case 'A':
                if (frame.node != nullptr && frame.node->isMatrix()) {
                    const auto* grid = static_cast<const eMatrix*>(frame.node);
                    char letter = 'c';
                    if (grid->isDxMatrix()) {
                        const uint8_t h = static_cast<const eDxMatrix*>(grid)->m_hAlign;
                        letter = h == 0 ? 'l' : h == 2 ? 'r' : 'c';
                    }
                    Emit(std::string(static_cast<size_t>(std::max(grid->columns(), 0)), letter));
                }
                break;
            case 'r':
            case 'c':
                if (frame.node != nullptr && frame.node->isMatrix()) {
                    const auto* grid = static_cast<const eMatrix*>(frame.node);
                    Emit(std::to_string(d == 'r' ? grid->rows() : grid->columns()));
                }
                break;
            case 'R':
                Emit(EnglishOrdinal(frame.row));
                break;
            case 'C':
                Emit(EnglishOrdinal(frame.column));
                break;
            case 'K':
                Emit(ColourText(frame.node));
                break;
            case 'E':
                Emit(EncodingToken());
                break;
            case '@':
            case '{':
            case '}':
                Emit(std::string_view(&d, 1));
                break;
            default:
                KV_ASSERT_FAILED("Translator rule");
                Emit(rule.substr(i - 2, 2));
                break;
            }
        }
        literal = i;
    }
    flush(rule.size());
    if (literal < rule.size())
        literal = rule.size();
}

void ExpandEntry(int32_t code, const Frame& frame) {
    const std::string& rule = EntryText(code);
    if (!rule.empty())
        Expand(rule, frame, 0);
}

Frame NodeFrame(const eExpr* node) {
    Frame frame;
    frame.node = node;
    frame.row = s_engine->row;
    frame.column = s_engine->column;
    return frame;
}

// Runs of blanks become one blank; blanks next to a line end (or the ends of the text) go.
// In place (the tidied text is never longer): a large translation is not held twice.
void Tidy(std::string& text) {
    size_t out = 0;
    bool blank = false;
    for (size_t k = 0; k < text.size(); ++k) {
        const char c = text[k];
        if (c == ' ' || c == '\t') {
            blank = true;
            continue;
        }
        if (c == '\r' || c == '\n') {
            blank = false;
            text[out++] = c;
            continue;
        }
        if (blank && out > 0 && text[out - 1] != '\n' && text[out - 1] != '\r')
            text[out++] = ' ';
        blank = false;
        text[out++] = c;
    }
    text.resize(out);
}

bool SameFontName(const char* a, const char* b) {
    auto canon = [](const char* name) {
        std::string s;
        for (const char* p = name; *p != 0; ++p)
            s.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(*p))));
        return s == "rudize" ? std::string("symbol") : s;
    };
    return canon(a) == canon(b);
}

// The block whose characters a leaf in this font takes: the first of blocks 2-17 whose font
// record names the font, else the standard block 1.
int32_t BlockOfFont(const char* fontName) {
    const Translator& tr = *s_engine->translator;
    for (int32_t block = 2; block <= 17; ++block) {
        const FSSRecord& record = tr.fonts[static_cast<size_t>(block)];
        if (FontRecordUsed(record) && SameFontName(record.fontName, fontName))
            return block;
    }
    return 1;
}

std::string_view SpecialWordName(const std::string& entry, std::string_view& text) {
    const size_t sep = entry.find("::");
    if (sep == std::string::npos || sep == 0)
        return {};
    text = std::string_view(entry).substr(sep + 2);
    return std::string_view(entry).substr(0, sep);
}

} // namespace

std::string EncodingTokenOf(const eExpr* root) {
    std::string plain;
    if (root != nullptr)
        (void)CatchFail([&] { plain = ExprEncodingText(root); });
    return std::string(kEncodingStart) + "B64" + EncodeB64(plain) + kEncodingEnd;
}

std::string EnglishOrdinal(int32_t n) {
    const int32_t tens = n % 100;
    const char* suffix = "th";
    if (tens < 11 || tens > 13) {
        switch (n % 10) {
        case 1:
            suffix = "st";
            break;
        case 2:
            suffix = "nd";
            break;
        case 3:
            suffix = "rd";
            break;
        default:
            break;
        }
    }
    return std::to_string(n) + suffix;
}

size_t TranslationFloorBytes = kMaxTranslationBytes;

size_t TranslationBound(const eExpr* root) {
    // The expression's size: its nodes and the bytes of its text, walked without recursion.
    size_t units = 0;
    std::vector<const eExpr*> stack;
    if (root != nullptr)
        stack.push_back(root);
    while (!stack.empty()) {
        const eExpr* node = stack.back();
        stack.pop_back();
        ++units;
        const int32_t children = node->childCount();
        if (children == 0) {
            if (const auto* word = dynamic_cast<const eWord*>(node))
                units += word->view().size();
        }
        for (int32_t i = 0; i < children; ++i) {
            if (const eExpr* child = node->getChild(i))
                stack.push_back(child);
        }
    }
    const size_t grown =
        units > SIZE_MAX / kTranslationGrowth ? SIZE_MAX : units * kTranslationGrowth;
    return std::max(TranslationFloorBytes, grown);
}

std::string GenerateTranslation(const Translator& translator, const eExpr* root, int32_t purpose) {
    if (s_engine != nullptr) {
        KV_ASSERT_FAILED("GenerateTranslation nested");
        return {};
    }
    EngineState state;
    state.translator = &translator;
    state.root = root;
    state.doubleByte = HookTextIsDoubleByte();
    state.limit = TranslationFloorBytes;
    s_engine = &state;
    // Leaves resolve their styles against the base style of the style table.
    const FSSRecord savedStyle = DrawState.style;
    DrawState.style = StyleTable[0];
    int32_t before = kTrCopyBefore;
    int32_t after = kTrCopyAfter;
    if (purpose == kPurposeFile &&
        !(translator.entries[kTrFileBefore].empty() && translator.entries[kTrFileAfter].empty())) {
        before = kTrFileBefore;
        after = kTrFileAfter;
    }
    const int16_t failure = CatchFail([&] {
        Frame frame;
        frame.node = root;
        ExpandEntry(before, frame);
        GenerateNode(root);
        state.hasPending = false;
        ExpandEntry(after, frame);
    });
    // Whatever was built stands, a rule never fails the translation; but a translation the user
    // or a termination signal stopped stops the copy or the export that asked for it.
    DrawState.style = savedStyle;
    s_engine = nullptr;
    if (failure == errUserInterrupt)
        Fail(failure);
    if (state.full) {
        std::string().swap(state.out);
        Fail(errTranslationTooLarge);
    }
    Tidy(state.out);
    return std::move(state.out);
}

std::string TranslateExpression(const Translator& translator, const eExpr* root) {
    return GenerateTranslation(translator, root, kPurposeCopy);
}

// ---- Helpers for the class bodies ---------------------------------------------------------------

namespace gen {

bool Active() {
    return s_engine != nullptr && !s_engine->full;
}

void Entry(int32_t code, const eExpr* node) {
    if (!Active())
        return;
    ExpandEntry(code, NodeFrame(node));
}

void EntryWithRepeat(int32_t code, const eExpr* node, int32_t repeat) {
    if (!Active())
        return;
    Frame frame = NodeFrame(node);
    frame.repeat = repeat;
    ExpandEntry(code, frame);
}

void EntryWithItem(int32_t code, const eExpr* node, const eExpr* item) {
    if (!Active())
        return;
    Frame frame = NodeFrame(node);
    frame.item = item;
    ExpandEntry(code, frame);
}

void EntryWithText(int32_t code, const eExpr* node, std::string_view text) {
    if (!Active())
        return;
    Frame frame = NodeFrame(node);
    frame.itemText = text;
    frame.hasItemText = true;
    ExpandEntry(code, frame);
}

void Child(const eExpr* node) {
    GenerateNode(node);
}

void Row(const eExpr* row, int32_t begin, int32_t between, int32_t end) {
    Entry(begin, row);
    for (int32_t i = 0; i < row->childCount() && Active(); ++i) {
        if (i > 0)
            Entry(between, row);
        GenerateNode(row->getChild(i));
    }
    Entry(end, row);
}

void Leaf(const eExpr* node, std::string_view text, bool asianText) {
    if (!Active())
        return;
    const auto* leaf = static_cast<const eChar*>(node);
    FSSRecord style;
    leaf->getFSS(style);
    const bool letter = leaf->charClass();
    const bool function = leaf->isFunctionName();
    // The layout's italic rule: letters stay italic, the rest (and function names) upright.
    const uint8_t mode = style.italicMode();
    if (mode >= kItalicLetters && mode != kStyleInheritToo) {
        if (!letter)
            style.style[kStyleItalic] = 0;
        if (mode == kItalicLettersNotFunctions && function)
            style.style[kStyleItalic] = 0;
    }
    const bool italic = style.style[kStyleItalic] == 1;
    std::vector<int32_t> on;
    if (style.style[kStyleBold] == 1)
        on.push_back(kTrBoldOn);
    if (letter && !italic && !function)
        on.push_back(kTrUprightOn);
    if (!letter && italic)
        on.push_back(kTrItalicOn);
    if (style.style[kStyleUnderline] == 1)
        on.push_back(kTrUnderlineOn);
    if (node->m_colour != 0)
        on.push_back(kTrColourOn);
    for (int32_t code : on)
        Entry(code, node);

    const Translator& tr = *s_engine->translator;
    if (asianText) {
        EntryWithText(kTrDoubleByte, node, text);
    } else {
        const int32_t block = BlockOfFont(style.fontName);
        bool done = false;
        if (block == 1) {
            for (int32_t code = kSpecialWordBase; code < kTranslatorEntries && !done; ++code) {
                std::string_view replacement;
                const std::string& entry = tr.entries[static_cast<size_t>(code)];
                if (!entry.empty() && SpecialWordName(entry, replacement) == text) {
                    Frame frame = NodeFrame(node);
                    frame.itemText = text;
                    frame.hasItemText = true;
                    Expand(replacement, frame, 0);
                    done = true;
                }
            }
        }
        if (!done && function && !tr.entries[kTrFunctionName].empty()) {
            EntryWithText(kTrFunctionName, node, text);
            done = true;
        }
        for (size_t k = 0; !done && k < text.size() && Active(); ++k) {
            const unsigned char c = static_cast<unsigned char>(text[k]);
            if (s_engine->doubleByte && block == 1 && c >= 0x80) {
                // Under a double-byte code page these bytes are the page's own characters (such
                // as half-width katakana), not the Windows-1252 ones the entries name: the run
                // goes out as the page's text, as a double-byte word does.
                size_t end = k;
                while (end < text.size() && static_cast<unsigned char>(text[end]) >= 0x80)
                    end += CharacterLength(text, end);
                if (!tr.entries[kTrDoubleByte].empty())
                    EntryWithText(kTrDoubleByte, node, text.substr(k, end - k));
                else
                    EmitEscaped(text.substr(k, end - k));
                k = end - 1;
                continue;
            }
            const int32_t code = block * 256 + c;
            if (!tr.entries[static_cast<size_t>(code)].empty())
                EntryWithText(code, node, text.substr(k, 1));
            else if (!tr.entries[kTrUnmapped].empty())
                EntryWithText(kTrUnmapped, node, text.substr(k, 1));
            else
                EmitEscaped(text.substr(k, 1));
        }
    }
    for (auto it = on.rbegin(); it != on.rend(); ++it)
        Entry(*it + 1, node);
}

void Fence(const eExpr* fence, int32_t kind) {
    if (!Active())
        return;
    int32_t opening = (kind >> 4) & 15;
    int32_t closing = kind & 15;
    if (opening > 10)
        opening = 0;
    if (closing > 10)
        closing = 0;
    const bool horizontal = (kind & kFenceHorizontal) != 0;
    const int32_t openCode = (horizontal ? kTrFenceTop : kTrFenceOpen) + opening;
    const int32_t closeCode = (horizontal ? kTrFenceBottom : kTrFenceClose) + closing;
    // open(close(child)): the opening side's "@0" is the closing side's expansion.
    const Frame inner = NodeFrame(fence);
    Frame outer = NodeFrame(fence);
    const std::string& closeRule = EntryText(closeCode);
    static const std::string s_slot0 = "@0";
    outer.insideRule = closeRule.empty() ? &s_slot0 : &closeRule;
    outer.insideFrame = &inner;
    const std::string& openRule = EntryText(openCode);
    Expand(openRule.empty() ? s_slot0 : openRule, outer, 0);
}

void Grid(const eExpr* node) {
    if (!Active())
        return;
    const auto* grid = static_cast<const eMatrix*>(node);
    const int32_t savedRow = s_engine->row;
    const int32_t savedColumn = s_engine->column;
    const bool pile = grid->columns() == 1;
    Frame frame = NodeFrame(grid);
    frame.repeat = grid->columns();
    ExpandEntry(pile ? kTrPileBegin : kTrMatrixBegin, frame);
    for (int32_t r = 0; r < grid->rows() && Active(); ++r) {
        frame.row = r + 1;
        frame.column = 0;
        if (r > 0)
            ExpandEntry(pile ? kTrPileBetween : kTrRowsBetween, frame);
        ExpandEntry(pile ? kTrPileRowBegin : kTrMatrixRowBegin, frame);
        for (int32_t c = 0; c < grid->columns() && Active(); ++c) {
            frame.column = c + 1;
            if (!pile) {
                if (c > 0)
                    ExpandEntry(kTrCellBetween, frame);
                ExpandEntry(kTrCellBegin, frame);
            }
            s_engine->row = r + 1;
            s_engine->column = c + 1;
            GenerateNode(grid->getCell(r, c));
            if (!pile)
                ExpandEntry(kTrCellEnd, frame);
        }
        frame.column = 0;
        ExpandEntry(pile ? kTrPileRowEnd : kTrMatrixRowEnd, frame);
    }
    ExpandEntry(pile ? kTrPileEnd : kTrMatrixEnd, frame);
    s_engine->row = savedRow;
    s_engine->column = savedColumn;
}

void Tensor(const eExpr* node) {
    if (!Active())
        return;
    const auto* tensor = static_cast<const eTensor*>(node);
    Frame frame = NodeFrame(node);
    frame.repeat = std::max(node->childCount() - 1, 0);
    ExpandEntry(kTrTensorBegin, frame);
    for (int32_t i = 1; i < node->childCount() && Active(); ++i) {
        Frame index = frame;
        index.item = node->getChild(i);
        ExpandEntry(tensor->isUpper(i) ? kTrTensorUpper : kTrTensorLower, index);
    }
    ExpandEntry(kTrTensorEnd, frame);
}

void Tree(const eExpr* node) {
    if (!Active())
        return;
    Frame frame = NodeFrame(node);
    frame.repeat = std::max(node->childCount() - 1, 0);
    ExpandEntry(kTrTreeBegin, frame);
    for (int32_t i = 1; i < node->childCount() && Active(); ++i) {
        if (i > 1)
            ExpandEntry(kTrTreeBetween, frame);
        Frame son = frame;
        son.item = node->getChild(i);
        ExpandEntry(kTrTreeSon, son);
    }
    ExpandEntry(kTrTreeEnd, frame);
}

} // namespace gen

// ---- generate of each class ---------------------------------------------------------------------

void eTemplate::generate() {
    // A template without a rule of its own: its slots in order, as a row.
    gen::Entry(kTrRowBegin, this);
    for (int32_t i = 0; i < childCount() && gen::Active(); ++i) {
        if (i > 0)
            gen::Entry(kTrRowBetween, this);
        gen::Child(getChild(i));
    }
    gen::Entry(kTrRowEnd, this);
}

void eHeader::generate() {
    if (childCount() > 0)
        gen::Child(getChild(0));
}

void eSimpString::generate() {
    if (childCount() == 0)
        gen::Entry(kTrRowEmpty, this);
    else
        gen::Row(this, kTrRowBegin, kTrRowBetween, kTrRowEnd);
}

void eDxString::generate() {
    gen::Row(this, kTrRuledBegin, kTrRowBetween, kTrRuledEnd);
}

void eWord::generate() {
    gen::Leaf(this, view(), false);
}

void eAsian::generate() {
    gen::Leaf(this, view(), true);
}

void ePseudo::generate() {
    int32_t index = 9;
    for (int32_t i = 0; i < 9; ++i) {
        if (kPseudoCodes[i] == m_code)
            index = i;
    }
    gen::Entry(kTrPseudo + index, this);
}

void eUFO::generate() {
    gen::Entry(kTrPicture, this);
}

void eMatrix::generate() {
    gen::Grid(this);
}

void eFraction::generate() {
    const int32_t style = m_kind == 1 || m_kind == 2 || (m_kind >= 5 && m_kind <= 7) ? m_kind : 1;
    gen::Entry(kTrFraction + style, this);
}

void eLongDivision::generate() {
    gen::Entry(kTrLongDivision, this);
}

void eRoot::generate() {
    gen::Entry(kTrRoot, this);
}

namespace {

// The big operators' signs in the Symbol font, in the order of their entries: sum, product, union,
// intersection. The templates draw the sum and product with the capital Greek letters; the
// operator glyphs of the font stand for the same operators.
constexpr unsigned char kBigOperatorSigns[][2] = {
    {0x53, 0xE5}, {0x50, 0xD5}, {0xC8, 0xC8}, {0xC7, 0xC7}};

// The entry of a big-operator template: the operator form with limits above and below or as
// scripts, its four slots, and one sum, product, union or intersection sign in its sign slot. -1
// for every other scripts node, and when the translator has no such entry (a file written before
// they existed), so that the node keeps its scripts rule.
int32_t BigOperatorEntry(const eSSScript& node) {
    constexpr int32_t kAbove = kScriptOperator | kScriptLimits | kScriptNoScripts;
    constexpr int32_t kBeside = kScriptOperator;
    const int32_t kind = node.m_kind & 15;
    if ((kind != kAbove && kind != kBeside) || node.childCount() != 4)
        return -1;
    const eExpr* sign = node.getChild(ScriptSlotsFor(kind, 4).base);
    if (sign == nullptr || !sign->isString() || sign->childCount() != 1)
        return -1;
    const auto* word = dynamic_cast<const eWord*>(sign->getChild(0));
    if (word == nullptr || word->isDoubleByte() || word->length() != 1)
        return -1;
    FSSRecord style;
    word->getFSS(style);
    if (!SameFontName(style.fontName, "Symbol"))
        return -1;
    const auto c = static_cast<unsigned char>(word->view()[0]);
    for (int32_t i = 0; i < 4; ++i) {
        if (c == kBigOperatorSigns[i][0] || c == kBigOperatorSigns[i][1]) {
            const int32_t code = (kind == kAbove ? kTrBigOperatorAbove : kTrBigOperatorBeside) + i;
            return EntryText(code).empty() ? -1 : code;
        }
    }
    return -1;
}

} // namespace

void eSSScript::generate() {
    const int32_t bigOperator = BigOperatorEntry(*this);
    gen::Entry(bigOperator >= 0 ? bigOperator : kTrScript + (m_kind & 15), this);
}

void eTensor::generate() {
    gen::Tensor(this);
}

void eTreeNode::generate() {
    gen::Tree(this);
}

void eFence::generate() {
    gen::Fence(this, m_kind);
}

void eMark::generate() {
    int32_t mark = m_kind & kMarkTypeMask;
    if (mark > 11)
        mark = 0;
    gen::Entry(((m_kind & kMarkBelow) != 0 ? kTrMarkBelow : kTrMarkAbove) + mark, this);
}

void eIntegral::generate() {
    int32_t s = 0;
    if ((m_kind & kIntegralEvaluateAt) != 0)
        s = 4;
    else if ((m_kind & kIntegralContour) != 0 && (m_kind & kIntegralSecondContour) != 0)
        s = 3;
    else if ((m_kind & kIntegralSecondContour) != 0)
        s = 2;
    else if ((m_kind & kIntegralContour) != 0)
        s = 1;
    const int32_t base =
        (m_kind & kIntegralLimitsAboveBelow) != 0 ? kTrIntegralAbove : kTrIntegralBeside;
    // The sign count repeats "@*" bodies.
    gen::EntryWithRepeat(base + s, this, (m_kind & kIntegralCountMask) + 1);
}

void eBox::generate() {
    gen::Entry(kTrBox, this);
}

void eOverstrike::generate() {
    gen::Entry(kTrOverstrike, this);
}
