// Double-byte text: a word whose characters are pairs of bytes (lead byte first, as the code page
// and the fonts read them), typed through the input method as 16-bit codes, drawn with the port's
// double-byte string call, and edited, clicked and deleted only on whole characters.
#pragma once

#include "ExprSrcs/commands/tsPrefs.h"
#include "OverSrcs/eWord.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A double-byte word holds at most this many bytes (127 characters).
inline constexpr int32_t kMaxAsianBytes = 254;
static_assert(kMaxAsianBytes % 2 == 0, "a word holds whole characters");
// Typing splits a word once it holds more than this many bytes.
inline constexpr int32_t kAsianTypingSplit = 250;

class eAsian : public eWord {
public:
    KV_NODE_CLONE(eAsian)
    // Emits the node through the active translator (etGener).
    void generate() override;

    void writeEncoding(oOStream& stream) const override;
    void draw() override;
    // The word's answers rounded to whole characters: start down, end up.
    bool hitClick(oPoint anchor, oPoint point, SelectionEntry& entry) override;
    bool hitDrag(oPoint anchor, oPoint point, SelectionEntry& entry) override;
    ExprPtr copyOut(const SelectionEntry& entry) const override;
    // The tail after a caret inside the word stays double-byte text.
    void insert(SelectionEntry& entry, ExprPtr node) override;
    // A single-byte character never goes into double-byte text: it gets a node of its own.
    void keystroke(SelectionEntry& entry) override;
    // Deletes whole characters (two bytes).
    void backspace(int32_t direction) override;
    bool charClass() const override;
    // Joins the code to this word, or splits the word around it.
    void asianKey(int32_t code) override;
    // Positions are rounded to whole characters; a result longer than a word holds spills into
    // further words after this one in its row (refused, with an assertion, outside a row).
    eWord* replaceText(int32_t start, int32_t end, std::string_view text) override;
    bool isDoubleByte() const override;
    // Double-byte text is never searched for a single-byte alignment character: its trail bytes
    // could match one.
    int32_t whereChar(unsigned char c) override;

protected:
    friend OwnedNode<eAsian> newAsian(std::string_view text, int32_t capacity,
                                      const FSSRecord& style, uint8_t colour);
};

// A double-byte word of the text (an even number of bytes) with room for max(capacity, length + 1)
// bytes, in the style and colour. Text beyond kMaxAsianBytes is cut there (with an assertion):
// callers split longer text into several words.
OwnedNode<eAsian> newAsian(std::string_view text, int32_t capacity, const FSSRecord& style,
                           uint8_t colour);

// Double-byte text of any length as words in the style and colour, cut only between characters:
// each word holds at most kMaxAsianBytes. Every piece of text that may be longer than one word
// holds goes through here. Empty text gives no word; a lone byte at the end (half a character)
// is dropped, with an assertion.
std::vector<ExprPtr> NewAsianWords(std::string_view text, const FSSRecord& style, uint8_t colour);

// The two bytes of a 16-bit code, lead byte (the high one) first.
std::string AsianBytesOf(int32_t code);
// The 16-bit code of character i (the bytes at 2i and 2i + 1).
int32_t AsianCodeAt(const eWord* word, int32_t i);
// Whether a code can be held as double-byte text: 16 bits with neither byte zero (a zero byte
// would end the text).
bool IsStorableAsianCode(int32_t code);

// The style a typed code is stored in: the typing style, with the default GUI font's face when its
// own face (resolved against the default style) cannot show double-byte text.
void AsianTypingStyle(FSSRecord& style, uint8_t& colour);
// A one-character word for the code in the typing style and colour; null for a code that cannot
// be stored.
OwnedNode<eAsian> NewAsianFromCode(int32_t code);
// The command for one double-byte character typed through the input method: each entry of the
// active selection receives it through asianKey, as one edit step. A code that cannot be stored is
// refused with the command beep and nothing changes.
void TypeAsianChar(int32_t code);

// What the double-byte typing path needs of the font manager. Null pointers: every face counts as
// able to show double-byte text and the typing face is kept.
struct AsianFontServices {
    // 's' symbol, 'i' western text, 'f' foreign (double-byte), '?' unknown.
    char (*faceScriptClass)(const char* face) = nullptr;
    // The face name of the default GUI font; false when there is none.
    bool (*defaultGuiFace)(char (&face)[kFontNameSize]) = nullptr;
};
AsianFontServices& TheAsianFontServices();
