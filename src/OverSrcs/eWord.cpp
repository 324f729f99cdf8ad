#include "OverSrcs/eWord.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/eClick.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eString.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

// ---- Factory
// -------------------------------------------------------------------------------------

OwnedNode<eWord> NewWord(std::string_view text, int32_t minCapacity, const FSSRecord& style,
                         uint8_t colour) {
    FontRef ref;
    InternFontRef(style, ref);
    return NewWord(text, minCapacity, ref, colour);
}

OwnedNode<eWord> NewWord(std::string_view text, int32_t minCapacity, const FontRef& ref,
                         uint8_t colour) {
    if (text.size() > static_cast<size_t>(kMaxWordLength)) {
        KV_ASSERT_FAILED("NewWord length");
        text = text.substr(0, static_cast<size_t>(kMaxWordLength));
    }
    const int32_t length = static_cast<int32_t>(text.size());
    const int32_t capacity = std::clamp(minCapacity, length + 1, kMaxWordLength + 1);
    // The fresh block is all zero: no fields to reset, no parent, no children. A word just long
    // enough for its text writes every trailing byte below (the text and its terminating zero),
    // so those need no clearing first.
    OwnedNode<eWord> word(capacity == length + 1
                              ? NewNodeBlockOwnTrailing<eWord>(static_cast<size_t>(capacity))
                              : NewNodeBlock<eWord>(static_cast<size_t>(capacity)));
    word->m_fontRef = ref;
    word->m_fontIndex = kNoFontIndex;
    word->m_colour = colour;
    word->m_capacity = capacity;
    word->m_length = length;
    if (length > 0)
        std::memcpy(word->mutableText(), text.data(), text.size());
    word->mutableText()[length] = '\0';
    return word;
}

// ---- Layout and drawing
// --------------------------------------------------------------------------

void eWord::measure() {
    FSSRecord resolved;
    measureLeaf(resolved);
    oMeasurePort* port = DrawState.measurePort;
    if (port == nullptr)
        return;
    if (m_inkMode == 0) {
        FontMetricWords metrics;
        port->fontMetrics(m_fontIndex, metrics);
        m_size = metrics.lineHeight;
        m_zone.bottom = metrics.ascent + metrics.descent;
        m_zone.ref2 = metrics.ascent;
        m_zone.ref1 = metrics.ascent - metrics.descent;
        m_zone.right = port->stringWidth(text(), m_fontIndex);
        m_inkOffset = 0;
    } else {
        Zone ink;
        port->measureString(text(), m_fontIndex, ink);
        m_zone = ink;
        m_inkOffset = 0;
        if (ink.left < 0) {
            m_inkOffset = -ink.left;
            m_zone.right += m_inkOffset;
        }
        m_zone.left = 0;
    }
}

void eWord::draw() {
    if (m_fontIndex == kNoFontIndex || DrawState.drawPort == nullptr)
        return;
    const Zone& abs = DrawState.absZone;
    if (DrawState.exportFlags[1] != 0) {
        Zone block = abs;
        ZoneInset(block, -7, -7);
        DrawState.drawPort->eraseZone(block);
        return;
    }
    DrawState.drawPort->drawString(text(), m_fontIndex, abs.left + m_inkOffset,
                                   abs.top + m_zone.ref2);
}

void eWord::getExtents(int32_t& left, int32_t& right, int32_t& overhang) {
    left = 0;
    right = width();
    overhang = 0;
    if (DrawState.measurePort == nullptr || m_fontIndex == kNoFontIndex)
        return;
    DrawState.measurePort->stringEdges(text(), m_fontIndex, left, right, overhang);
    left += m_inkOffset;
    right += m_inkOffset;
}

int32_t eWord::caretX(int32_t i) {
    const Zone& abs = DrawState.absZone;
    if (i <= 0)
        return abs.left;
    if (i >= m_length || DrawState.measurePort == nullptr)
        return abs.right;
    const std::string prefix(text(), static_cast<size_t>(i));
    return abs.left + m_inkOffset + DrawState.measurePort->stringWidth(prefix.c_str(), m_fontIndex);
}

void eWord::getHighlightArea(const SelectionEntry& entry) {
    int32_t a = caretX(entry.start);
    int32_t b = caretX(entry.end);
    if (a > b)
        std::swap(a, b);
    DrawState.absZone.left = a;
    DrawState.absZone.right = b;
}

int32_t eWord::charsFitting(int32_t width) const {
    oMeasurePort* port = DrawState.measurePort;
    if (port == nullptr || m_length == 0)
        return 0;
    // A character counts once the width reaches its middle.
    std::string prefix;
    int32_t previous = 0;
    for (int32_t n = 1; n <= m_length; ++n) {
        prefix.push_back(text()[n - 1]);
        const int32_t w = port->stringWidth(prefix.c_str(), m_fontIndex);
        const int32_t half = (w - previous) / 2;
        if (w - half > width || n == m_length)
            return w - half <= width ? n : n - 1;
        previous = w;
    }
    return m_length;
}

bool eWord::hitClick(oPoint anchor, oPoint point, SelectionEntry& entry) {
    if (WholeRowClickOption != 0) {
        entry = {this, 0, m_length, 0, 0};
        return true;
    }
    const int32_t origin = DrawState.absZone.left + m_inkOffset;
    if (anchor.x == point.x) {
        // A click never selects a character: it leaves a caret at the nearest boundary. One on
        // the word's last column (where a click beside the expression is taken) is after the
        // last character, however narrow.
        const int32_t at =
            point.x >= DrawState.absZone.right - 1 ? m_length : charsFitting(point.x - origin);
        entry = {this, at, at, 0, 0};
        return true;
    }
    const int32_t lo = std::min(anchor.x, point.x) - origin;
    const int32_t hi = std::max(anchor.x, point.x) - origin;
    const int32_t slack = m_size / 16;
    entry = {this, charsFitting(lo - slack), charsFitting(hi + slack), 0, 0};
    return true;
}

bool eWord::hitDrag(oPoint anchor, oPoint point, SelectionEntry& entry) {
    return hitClick(anchor, point, entry);
}

// ---- Text
// ------------------------------------------------------------------------------------------

ExprPtr eWord::copyOut(const SelectionEntry& entry) const {
    const int32_t start = std::clamp(entry.start, 0, m_length);
    const int32_t end = std::clamp(entry.end, 0, m_length);
    if (start >= end)
        return ExprPtr();
    FSSRecord style;
    storedStyle(style);
    return NewWord(view().substr(static_cast<size_t>(start), static_cast<size_t>(end - start)), 0,
                   style, m_colour);
}

eWord* eWord::replaceText(int32_t start, int32_t end, std::string_view insertText) {
    start = std::clamp(start, 0, m_length);
    end = std::clamp(end, start, m_length);
    std::string result(view().substr(0, static_cast<size_t>(start)));
    result.append(insertText);
    result.append(view().substr(static_cast<size_t>(end)));
    if (result.size() > static_cast<size_t>(kMaxWordLength)) {
        // A word cannot hold it; the edit is refused and the text stays as it was.
        KV_ASSERT_FAILED("eWord::replaceText length");
        return this;
    }
    if (storeInPlace(result))
        return this;
    FSSRecord style;
    storedStyle(style);
    return takeReplacement(
        NewWord(result, std::min(2 * m_length, kMaxWordLength + 1), style, m_colour));
}

bool eWord::storeInPlace(std::string_view result) {
    const int32_t newLength = static_cast<int32_t>(result.size());
    if (newLength >= m_capacity)
        return false;
    m_flags &= static_cast<uint8_t>(~kNodeLaidOut);
    std::memcpy(mutableText(), result.data(), result.size());
    std::memset(mutableText() + newLength, 0, static_cast<size_t>(m_capacity - newLength));
    m_length = newLength;
    return true;
}

eWord* eWord::takeReplacement(OwnedNode<eWord> bigger) {
    // The replacement keeps the word's place on the page as well as its text style.
    bigger->m_nudgeX = m_nudgeX;
    bigger->m_nudgeY = m_nudgeY;
    bigger->m_zone.left = m_zone.left;
    bigger->m_zone.top = m_zone.top;
    bigger->m_zone.ref1 = m_zone.ref1;
    bigger->m_flags |= static_cast<uint8_t>(m_flags & kNodePlaced);
    eWord* replacement = bigger.get();
    HookRetargetSelections(this, replacement);
    if (m_parent != nullptr) {
        m_parent->setChild(m_index, std::move(bigger));
    } else {
        destroy(kDestroyFree);
        (void)bigger.release();
    }
    return replacement;
}

bool eWord::isDoubleByte() const {
    return false;
}

// ---- Type tests and classes
// --------------------------------------------------------------------------

bool eWord::isWord() const {
    return true;
}

bool eWord::isPunctuation() const {
    if (m_length == 0)
        return false;
    return std::strchr(".,;:?'\")!", text()[0]) != nullptr;
}

bool eWord::charClass() const {
    return m_length > 0 && HookCharClassOf(static_cast<unsigned char>(text()[0])) == 0;
}

bool eWord::isFunctionName() const {
    return IsFunctionNameText(view());
}

// ---- Operators
// -------------------------------------------------------------------------------------

namespace {

constexpr unsigned char kOperatorChars[] = {'+',  '-',  '*',  '/',  '=',  '<',  '>',  0xF7, 0xD7,
                                            0xB7, 0xBB, 0xAB, 0xAC, 0xB1, 0x96, 0x97, 0x95, 0xAD};
constexpr unsigned char kSymbolOperatorChars[] = {
    0xB9, 0xA3, 0xB3, 0xB1, 0xA4, 0xB4, 0xAB, 0xAC, 0xAE, 0xB7, 0xB8, 0xBA, 0xBB, 0xC4, 0xC5,
    0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF, 0xD7, 0xD9, 0xDA, 0xDB, 0xDC, 0xDE};

constexpr unsigned char kMacRomanToAnsi[128] = {
    0xC4, 0xC5, 0xC7, 0xC9, 0xD1, 0xD6, 0x23, 0xE1, 0xE0, 0xE2, 0xE4, 0xE3, 0xE5, 0xE7, 0xE9, 0xE8,
    0xEA, 0xEB, 0xED, 0xEC, 0xEE, 0xEF, 0xF1, 0xF3, 0xF2, 0xF4, 0xF6, 0xF5, 0xFA, 0xF9, 0xFB, 0xFC,
    0x23, 0xB0, 0xA2, 0xA3, 0xA7, 0x23, 0xB6, 0xDF, 0xAE, 0xA9, 0x23, 0xB4, 0xA8, 0x23, 0xC6, 0xD8,
    0x23, 0xB1, 0x23, 0x23, 0xA5, 0xB5, 0x23, 0x23, 0x23, 0x23, 0x23, 0xAA, 0xBA, 0x23, 0xE6, 0xF8,
    0xBF, 0xA1, 0xAC, 0x23, 0x23, 0x23, 0x23, 0xAB, 0xBB, 0x23, 0xA0, 0xC0, 0xC3, 0xD5, 0x23, 0x23,
    0x96, 0xAF, 0x23, 0x23, 0x91, 0x92, 0xF7, 0x23, 0x23, 0x23, 0x23, 0xA4, 0x86, 0x23, 0x23, 0x23,
    0x23, 0x23, 0x23, 0x23, 0x23, 0xC2, 0xCA, 0xC1, 0xCB, 0xC8, 0xCD, 0xCE, 0xCF, 0xCC, 0xD3, 0xD4,
    0x23, 0xD2, 0xDA, 0xDB, 0xD9, 0x23, 0x23, 0x23, 0x23, 0x23, 0x23, 0x23, 0xB8, 0x23, 0x23, 0xD8};

// Offsets of the names in FunctionNameText, sorted by name.
std::vector<int32_t> s_functionOffsets;

std::string_view nameAt(int32_t offset) {
    return std::string_view(FunctionNameText.c_str() + offset);
}

} // namespace

bool IsOperatorChar(unsigned char c) {
    return std::find(std::begin(kOperatorChars), std::end(kOperatorChars), c) !=
           std::end(kOperatorChars);
}

bool IsSymbolOperatorChar(unsigned char c) {
    return std::find(std::begin(kSymbolOperatorChars), std::end(kSymbolOperatorChars), c) !=
           std::end(kSymbolOperatorChars);
}

bool IsSymbolFontName(const char* name) {
    return name != nullptr &&
           (std::strcmp(name, "Symbol") == 0 || std::strcmp(name, "Rudize") == 0);
}

bool IsOperatorCode(int32_t code) {
    const unsigned char c = static_cast<unsigned char>(code & 0xFF);
    if (IsOperatorChar(c))
        return true;
    if ((code & 0xF000) != 0x1000)
        return false;
    const int32_t entry = (code >> 8) & 0x0F;
    return IsSymbolFontName(StyleTable[static_cast<size_t>(entry)].fontName) &&
           IsSymbolOperatorChar(c);
}

unsigned char MacRomanToAnsi(unsigned char code) {
    return kMacRomanToAnsi[code & 0x7F];
}

void LoadFunctionNames() {
    s_functionOffsets.clear();
    int32_t offset = 0;
    const int32_t total = static_cast<int32_t>(FunctionNameText.size());
    for (int32_t i = 0; i < FunctionNameCount && offset < total; ++i) {
        s_functionOffsets.push_back(offset);
        offset += static_cast<int32_t>(nameAt(offset).size()) + 1;
    }
    std::sort(s_functionOffsets.begin(), s_functionOffsets.end(),
              [](int32_t a, int32_t b) { return nameAt(a) < nameAt(b); });
}

bool IsFunctionNameText(std::string_view text) {
    size_t lo = 0;
    size_t hi = s_functionOffsets.size();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        const int cmp = text.compare(nameAt(s_functionOffsets[mid]));
        if (cmp == 0)
            return true;
        if (cmp > 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return false;
}

int32_t FunctionNameEndingAt(const eWord* word, int32_t position) {
    if (word == nullptr)
        return 0;
    position = std::clamp(position, 0, word->length());
    const std::string_view before = word->view().substr(0, static_cast<size_t>(position));
    int32_t best = 0;
    for (int32_t offset : s_functionOffsets) {
        const std::string_view name = nameAt(offset);
        const int32_t n = static_cast<int32_t>(name.size());
        if (n > best && n <= word->length() && before.ends_with(name))
            best = n;
    }
    return best;
}

// ---- Insertion
// -------------------------------------------------------------------------------------

void eWord::insert(SelectionEntry& entry, ExprPtr node) {
    const int32_t start = std::clamp(std::min(entry.start, entry.end), 0, m_length);
    const int32_t end = std::clamp(std::max(entry.start, entry.end), 0, m_length);
    if (!node)
        return;
    eExpr* row = m_parent;
    const int32_t index = m_index;
    if (row == nullptr) {
        // Without a row there is nowhere to put the node; it is destroyed rather than leaked, and
        // the word the caller owns is left as it was.
        KV_ASSERT_FAILED(
            start == 0 ? "eWord::insert(left)"
                       : (start >= m_length ? "eWord::insert(right)" : "eWord::insert(middle)"));
        return;
    }
    if (!row->isString()) {
        KV_ASSERT_FAILED("eWord::insert(row)");
        return;
    }
    if (end > start)
        replaceText(start, end, std::string_view()); // shrinking: always in place
    if (m_length == 0) {
        eString* rowString = static_cast<eString*>(row);
        eString* shorter = rowString->resizeRange(index, index + 1, 0); // destroys this word
        SelectionEntry at{shorter, index, index, 0, 0};
        shorter->insert(at, std::move(node));
        return;
    }
    if (start == 0) {
        SelectionEntry at{row, index, index, 0, 0};
        row->insert(at, std::move(node));
        return;
    }
    if (start >= m_length) {
        SelectionEntry at{row, index + 1, index + 1, 0, 0};
        row->insert(at, std::move(node));
        return;
    }
    // Inside: the characters from the caret on become a word of their own after this one, and the
    // node goes between the two.
    FSSRecord style;
    storedStyle(style);
    ExprPtr tail = NewWord(view().substr(static_cast<size_t>(start)), 0, style, m_colour);
    replaceText(start, m_length, std::string_view());
    SelectionEntry afterWord{row, index + 1, index + 1, 0, 0};
    row->insert(afterWord, std::move(tail));
    eExpr* rowNow = EditResultEntry.node;
    SelectionEntry between{rowNow, index + 1, index + 1, 0, 0};
    rowNow->insert(between, std::move(node));
}

// ---- Word boundaries
// ---------------------------------------------------------------------------------

bool StartsNewWord(const eWord* word, const FSSRecord& style, int32_t code, int32_t caret) {
    if (word == nullptr || word->isDoubleByte())
        return false;
    if (IsOperatorCode(code))
        return true;
    const unsigned char c = static_cast<unsigned char>(code & 0xFF);
    caret = std::clamp(caret, 0, word->length());
    if (caret > 0 && c != ' ' && c != '\t') {
        const unsigned char before = static_cast<unsigned char>(word->text()[caret - 1]);
        if (IsOperatorChar(before))
            return true;
        if (IsSymbolFontName(style.fontName) && IsSymbolOperatorChar(before))
            return true;
    }
    // A function name that the character would turn into something else stays a word of its own.
    if (!IsFunctionNameText(word->view()))
        return false;
    std::string longer(word->view());
    longer.push_back(static_cast<char>(c));
    return !IsFunctionNameText(longer);
}

bool CanMergeWords(const eWord* left, const eWord* right) {
    if (left == nullptr || right == nullptr)
        return false;
    if (left->m_nudgeX != right->m_nudgeX || left->m_nudgeY != right->m_nudgeY ||
        left->m_colour != right->m_colour || left->isDoubleByte() != right->isDoubleByte())
        return false;
    if (left->length() + right->length() >= kTypingSplitLength)
        return false;
    // Characters of different classes never join: asked first, as it costs far less than
    // resolving the two styles (a row of a+a+... asks it of every neighbouring pair).
    const bool bothHaveText = left->length() != 0 && right->length() != 0;
    if (bothHaveText && HookCharClassOf(static_cast<unsigned char>(left->text()[0])) !=
                            HookCharClassOf(static_cast<unsigned char>(right->text()[0])))
        return false;
    FSSRecord leftStyle = StyleTable[0];
    FSSRecord rightStyle = StyleTable[0];
    FSSRecord own;
    left->storedStyle(own);
    MergeFSS(leftStyle, own);
    right->storedStyle(own);
    MergeFSS(rightStyle, own);
    if (!SameFSS(leftStyle, rightStyle))
        return false;
    return bothHaveText || left->length() == right->length();
}

// ---- Typing and deleting
// -------------------------------------------------------------------------------

void eWord::selectInside(SelectionEntry& entry) const {
    entry = {const_cast<eWord*>(this), m_length, m_length, 0, 0};
}

void eWord::selectWhole(SelectionEntry& entry) const {
    entry = {const_cast<eWord*>(this), 0, m_length, 0, 0};
}

eString* eWord::insertIntoRow(eString* row, int32_t at, std::vector<ExprPtr> nodes) {
    eString* now = row->resizeRange(at, at, static_cast<int32_t>(nodes.size()));
    for (size_t i = 0; i < nodes.size(); ++i)
        now->setChild(at + static_cast<int32_t>(i), std::move(nodes[i]));
    return now;
}

namespace {

void selectInsideOf(const eExpr* node) {
    SelectionEntry inner;
    node->selectInside(inner);
    HookSelectRange(inner.node, inner.start, inner.end, inner.rowStart, inner.rowEnd);
}

} // namespace

void eWord::keystroke(SelectionEntry& entry) {
    if (m_parent == nullptr || !m_parent->isString()) {
        // A word outside a row could be replaced by a larger one that nobody would hold.
        KV_ASSERT_FAILED("eWord::keystroke(row)");
        return;
    }
    const int32_t code = HookCurrentCommandCode();
    const unsigned char c = static_cast<unsigned char>(code & 0xFF);
    FSSRecord typing;
    uint8_t colour = 0;
    HookGetTypingFSS(typing, colour);
    FSSRecord own;
    storedStyle(own);
    const int32_t start = std::clamp(std::min(entry.start, entry.end), 0, m_length);
    const int32_t end = std::clamp(std::max(entry.start, entry.end), 0, m_length);

    const int charClassOfC = HookCharClassOf(c);
    const int firstClass =
        m_length > 0 ? HookCharClassOf(static_cast<unsigned char>(text()[0])) : charClassOfC;
    const bool tooLong = m_length > kTypingSplitLength;
    const bool styleDiffers = !SameFSS(typing, own);
    const bool classDiffers = charClassOfC != firstClass || charClassOfC == 3;
    const bool colourDiffers = colour != m_colour;
    const bool autoSpaceRule = AutoSpaceOption != 0 && StartsNewWord(this, typing, code, start);

    if (!tooLong && !styleDiffers && !classDiffers && !colourDiffers && !autoSpaceRule) {
        const char typed[1] = {static_cast<char>(c)};
        eWord* word = replaceText(start, end, std::string_view(typed, 1));
        int32_t caret = start + 1;
        // A function name just completed after other letters gets a word of its own, with a
        // space before it.
        const int32_t n = AutoSpaceOption != 0 ? FunctionNameEndingAt(word, caret) : 0;
        const int32_t k = caret - n;
        if (n > 0 && k > 0 && word->m_parent != nullptr && word->m_parent->isString()) {
            const std::string before(word->view().substr(0, static_cast<size_t>(k)));
            word->replaceText(0, k, std::string_view());
            std::vector<ExprPtr> nodes;
            nodes.push_back(NewWord(before, 0, typing, colour));
            nodes.push_back(NewPseudo(kPseudoSpace, &typing, colour));
            insertIntoRow(static_cast<eString*>(word->m_parent), word->m_index, std::move(nodes));
            caret -= k;
        }
        HookSelectRange(word, caret, caret, 0, 0);
        HookFinishEditAt(word);
        return;
    }

    eString* row = static_cast<eString*>(m_parent);
    const int32_t index = m_index;
    const std::string tail(view().substr(static_cast<size_t>(end)));
    replaceText(start, m_length, std::string_view()); // shrinking: always in place
    const bool emptied = m_length == 0;
    eExpr* typedNode = nullptr;
    std::vector<ExprPtr> nodes;
    if (tail.empty()) {
        ExprPtr node = NewCharNode(c, typing, colour);
        typedNode = node.get();
        if (autoSpaceRule && !emptied)
            nodes.push_back(NewPseudo(kPseudoSpace, &typing, colour));
        nodes.push_back(std::move(node));
    } else if (!styleDiffers && !classDiffers && !colourDiffers) {
        // Only the length or the spacing rule split the word: the character starts the second half.
        std::string rest(1, static_cast<char>(c));
        rest += tail;
        OwnedNode<eWord> second = NewWord(rest, 0, own, colour);
        eWord* secondWord = second.get();
        nodes.push_back(std::move(second));
        eString* now = emptied ? row->resizeRange(index, index + 1, 0) : row;
        insertIntoRow(now, emptied ? index : index + 1, std::move(nodes));
        HookSelectRange(secondWord, 1, 1, 0, 0);
        HookFinishEditAt(secondWord);
        return;
    } else {
        ExprPtr node = NewCharNode(c, typing, colour);
        typedNode = node.get();
        nodes.push_back(std::move(node));
        nodes.push_back(NewWord(tail, 0, own, m_colour));
    }
    // The typed node goes after the word, or in its place when nothing of the word is left.
    eString* now = emptied ? row->resizeRange(index, index + 1, 0) : row;
    insertIntoRow(now, emptied ? index : index + 1, std::move(nodes));
    selectInsideOf(typedNode);
    HookFinishEditAt(typedNode);
}

void eWord::backspace(int32_t direction) {
    SelectionEntry* entry = HookEntryBeingActedUpon();
    if (entry == nullptr || entry->node != this)
        return;
    backspaceRange(*entry, direction, std::clamp(std::min(entry->start, entry->end), 0, m_length),
                   std::clamp(std::max(entry->start, entry->end), 0, m_length), 1);
}

void eWord::backspaceRange(SelectionEntry& entry, int32_t direction, int32_t start, int32_t end,
                           int32_t charBytes) {
    eExpr* row = m_parent;
    const int32_t index = m_index;
    if (start == end) {
        if (direction < 0) {
            if (start == 0) {
                // The character before the word belongs to the row.
                if (row == nullptr)
                    return;
                entry = {row, index, index, 0, 0};
                row->backspace(direction);
                return;
            }
            start -= charBytes;
        } else {
            if (end >= m_length) {
                // Nothing after the word's last character: the caret stays after the word.
                if (row == nullptr)
                    return;
                entry = {row, index + 1, index + 1, 0, 0};
                row->backspace(direction);
                return;
            }
            end += charBytes;
        }
    }
    if (end - start < m_length || row == nullptr || !row->isString()) {
        replaceText(start, end, std::string_view());
        HookSelectRange(this, start, start, 0, 0);
        HookFinishEditAt(this);
        return;
    }
    eString* now = static_cast<eString*>(row)->resizeRange(index, index + 1, 0);
    HookSelectRange(now, index, index, 0, 0);
    HookFinishEditAt(now);
}

// Help balloon: a character of the expression, replaced by typing over it.
void eWord::infoText(int32_t& kind, int32_t& stringId) {
    kind = 1;
    stringId = 382;
}
