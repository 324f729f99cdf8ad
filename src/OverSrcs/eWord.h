// A run of single-byte text in one style and colour, the function-name table, and the operator
// tests that decide where typing starts a new word.
#pragma once

#include "OverSrcs/eChar.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

class eString;

// A word never holds more than this many characters; longer text goes into several words.
inline constexpr int32_t kMaxWordLength = 255;
// Typing starts a new word once a word is longer than this.
inline constexpr int32_t kTypingSplitLength = 16;

class eWord : public eChar {
public:
    KV_NODE_CLONE(eWord)
    // Emits the node through the active translator (etGener).
    void generate() override;

    void writeEncoding(oOStream& stream) const override;
    void infoText(int32_t& kind, int32_t& stringId) override;
    void measure() override;
    void draw() override;
    void getHighlightArea(const SelectionEntry& entry) override;
    void getExtents(int32_t& left, int32_t& right, int32_t& overhang) override;
    bool hitClick(oPoint anchor, oPoint point, SelectionEntry& entry) override;
    bool hitDrag(oPoint anchor, oPoint point, SelectionEntry& entry) override;
    ExprPtr copyOut(const SelectionEntry& entry) const override;
    // Puts the node in place of the selected characters, splitting the word as needed.
    void insert(SelectionEntry& entry, ExprPtr node) override;
    void traverseSel(SelectionEntry& entry, bool split, bool deep, NodeCallback nodeCallback,
                     NodeCallback leafCallback, EmptyCallback emptyCallback) override;
    // A caret after the last character / the whole text.
    void selectInside(SelectionEntry& entry) const override;
    void selectWhole(SelectionEntry& entry) const override;
    // Extends the word with the typed character, or splits it where the character needs a node
    // of its own.
    void keystroke(SelectionEntry& entry) override;
    void backspace(int32_t direction) override;
    bool isWord() const override;
    bool isPunctuation() const override;
    int32_t whereChar(unsigned char c) override;
    bool charClass() const override;
    bool isFunctionName() const override;
    bool equal(const eExpr* other, int32_t options) const override;
    void asianKey(int32_t code) override;
    void newLine(int32_t index) override;
    void newField(int32_t index) override;

    // Appended operations, in order.
    // x of the caret before character i, in absolute coordinates of the current drawing zone.
    virtual int32_t caretX(int32_t i);
    // The word with characters [start, end) replaced by `text`. When the result does not fit the
    // block, a new word takes this one's place in its parent (this one is destroyed) and is
    // returned; without a parent the caller owned this word and now owns the returned one. A result
    // longer than kMaxWordLength changes nothing and returns this word.
    virtual eWord* replaceText(int32_t start, int32_t end, std::string_view text);
    virtual bool isDoubleByte() const;

    const char* text() const { return reinterpret_cast<const char*>(trailing()); }
    int32_t length() const { return m_length; }
    std::string_view view() const {
        return std::string_view(text(), static_cast<size_t>(m_length));
    }

    int32_t m_capacity = 0; // text bytes the block holds, terminating zero included
    int32_t m_length = 0;
    int32_t m_inkOffset = 0; // how far the text is drawn right of the left edge

protected:
    friend OwnedNode<eWord> NewWord(std::string_view text, int32_t minCapacity, const FontRef& ref,
                                    uint8_t colour);
    friend OwnedNode<eWord> NewFittedWord(std::string_view text, const FontRef& ref,
                                          uint8_t colour);

    char* mutableText() { return reinterpret_cast<char*>(trailing()); }
    // The number of characters of which at least half fits in the width.
    int32_t charsFitting(int32_t width) const;
    // Deletes [start, end), or with an empty range the character of `charBytes` bytes before
    // (direction < 0) or after the caret; at the word's edge the row deletes instead (the entry,
    // the one being acted upon, moves to the row), and a word left empty leaves its row.
    void backspaceRange(SelectionEntry& entry, int32_t direction, int32_t start, int32_t end,
                        int32_t charBytes);
    // Writes the text into this word's own block when it fits there; false when it does not.
    bool storeInPlace(std::string_view result);
    // Puts `bigger` in this word's place: it keeps the word's nudges and takes over its
    // selections. Returns the new word.
    eWord* takeReplacement(OwnedNode<eWord> bigger);
    // Puts the nodes into the row at `at` (nothing replaced); returns the row as it is afterwards.
    static eString* insertIntoRow(eString* row, int32_t at, std::vector<ExprPtr> nodes);
};

// Capacity = max(minCapacity, length + 1). Text beyond kMaxWordLength characters is cut there
// (with an assertion): callers split longer text into several words.
OwnedNode<eWord> NewWord(std::string_view text, int32_t minCapacity, const FSSRecord& style,
                         uint8_t colour);
// The same with the style already packed (InternFontRef).
OwnedNode<eWord> NewWord(std::string_view text, int32_t minCapacity, const FontRef& ref,
                         uint8_t colour);

// NewWord(text, 0, ref, colour) inline, for readers that make a word per few bytes.
inline OwnedNode<eWord> NewFittedWord(std::string_view text, const FontRef& ref, uint8_t colour) {
    if (text.empty() || text.size() > static_cast<size_t>(kMaxWordLength))
        return NewWord(text, 0, ref, colour);
    const auto length = static_cast<int32_t>(text.size());
    // The block holds exactly the text and its terminating zero, both written here.
    OwnedNode<eWord> word(NewNodeBlockOwnTrailing<eWord>(text.size() + 1));
    word->m_fontRef = ref;
    word->m_fontIndex = kNoFontIndex;
    word->m_colour = colour;
    word->m_capacity = length + 1;
    word->m_length = length;
    // The terminating zero goes in with a copy as well: written through an index, GCC takes the
    // trailing bytes for an overflow of the class.
    char* at = word->mutableText();
    std::memcpy(at, text.data(), text.size());
    std::memcpy(at + length, "", 1);
    return word;
}

// One of the 18 operator characters (Windows-1252).
bool IsOperatorChar(unsigned char c);
// One of the 30 operator codes of the Symbol font.
bool IsSymbolOperatorChar(unsigned char c);
// Whether a font name counts as a Symbol font.
bool IsSymbolFontName(const char* name);
// An operator character, or a Symbol-font operator typed in a style-table entry (0..15) whose font
// is a Symbol font.
bool IsOperatorCode(int32_t code);
// Length of the longest function name the text ends with at `position`; 0 when none.
int32_t FunctionNameEndingAt(const eWord* word, int32_t position);
// Builds the sorted table from the names read (ReadFunctionNames).
void LoadFunctionNames();
// Whether the text is one of the function names (byte-exact, case-sensitive).
bool IsFunctionNameText(std::string_view text);
// Whether the character of a command code, typed into the word with the caret at `caret`, must
// start a new word in the typing style.
bool StartsNewWord(const eWord* word, const FSSRecord& style, int32_t code, int32_t caret);
// Whether two neighbouring words may become one: same nudges, colour, byte width and resolved
// style, first characters of one class, and together shorter than 16 characters.
bool CanMergeWords(const eWord* left, const eWord* right);
// Upper half of an older Mac OS Roman text to Windows-1252; '#' where there is no equivalent.
unsigned char MacRomanToAnsi(unsigned char code);
