#include "OverSrcs/eAsian.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eClick.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eString.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

int32_t roundDown(int32_t p) {
    return p - (p & 1);
}
int32_t roundUp(int32_t p) {
    return p + (p & 1);
}

// A byte range widened to whole characters; a caret inside a character stands before it.
void wholeCharacters(int32_t a, int32_t b, int32_t length, int32_t& start, int32_t& end) {
    start = std::clamp(roundDown(std::min(a, b)), 0, length);
    end = a == b ? start : std::clamp(roundUp(std::max(a, b)), start, length);
}

// The style record resolved against the default style, for comparisons.
FSSRecord resolved(const FSSRecord& own) {
    FSSRecord r = DefaultStyle;
    MergeFSS(r, own);
    return r;
}

AsianFontServices s_services;

} // namespace

AsianFontServices& TheAsianFontServices() {
    return s_services;
}

// ---- Codes and bytes
// -----------------------------------------------------------------------------

bool IsStorableAsianCode(int32_t code) {
    return code > 0xFF && code <= 0xFFFF && (code & 0xFF) != 0;
}

std::string AsianBytesOf(int32_t code) {
    std::string bytes(2, '\0');
    bytes[0] = static_cast<char>((code >> 8) & 0xFF);
    bytes[1] = static_cast<char>(code & 0xFF);
    return bytes;
}

int32_t AsianCodeAt(const eWord* word, int32_t i) {
    if (word == nullptr || i < 0 || 2 * i + 1 >= word->length())
        return 0;
    const auto* t = reinterpret_cast<const unsigned char*>(word->text());
    return (t[2 * i] << 8) | t[2 * i + 1];
}

// ---- Factories
// -----------------------------------------------------------------------------------

OwnedNode<eAsian> newAsian(std::string_view text, int32_t capacity, const FSSRecord& style,
                           uint8_t colour) {
    if (text.size() % 2 != 0) {
        KV_ASSERT_FAILED("newAsian odd");
        text.remove_suffix(1);
    }
    if (text.size() > static_cast<size_t>(kMaxAsianBytes)) {
        KV_ASSERT_FAILED("newAsian length");
        text = text.substr(0, static_cast<size_t>(kMaxAsianBytes));
    }
    const int32_t length = static_cast<int32_t>(text.size());
    const int32_t room = std::clamp(capacity, length + 1, kMaxWordLength + 1);
    OwnedNode<eAsian> word(NewNodeBlock<eAsian>(static_cast<size_t>(room)));
    word->resetFields();
    word->init(0);
    word->setStyle(style);
    word->m_fontIndex = kNoFontIndex;
    word->m_colour = colour;
    word->m_capacity = room;
    word->m_length = length;
    if (length > 0)
        std::memcpy(word->mutableText(), text.data(), text.size());
    word->mutableText()[length] = '\0';
    return word;
}

std::vector<ExprPtr> NewAsianWords(std::string_view text, const FSSRecord& style, uint8_t colour) {
    if (text.size() % 2 != 0) {
        KV_ASSERT_FAILED("NewAsianWords odd");
        text.remove_suffix(1);
    }
    std::vector<ExprPtr> words;
    words.reserve(text.size() / kMaxAsianBytes + 1);
    for (size_t at = 0; at < text.size(); at += static_cast<size_t>(kMaxAsianBytes))
        words.push_back(
            newAsian(text.substr(at, static_cast<size_t>(kMaxAsianBytes)), 0, style, colour));
    return words;
}

void AsianTypingStyle(FSSRecord& style, uint8_t& colour) {
    HookGetTypingFSS(style, colour);
    const FSSRecord full = resolved(style);
    if (s_services.faceScriptClass == nullptr || s_services.faceScriptClass(full.fontName) == 'f')
        return;
    char face[kFontNameSize] = {};
    if (s_services.defaultGuiFace != nullptr && s_services.defaultGuiFace(face))
        SetFSSFontName(style, face);
}

OwnedNode<eAsian> NewAsianFromCode(int32_t code) {
    if (!IsStorableAsianCode(code)) {
        KV_ASSERT_FAILED("NewAsianFromCode code");
        return OwnedNode<eAsian>();
    }
    FSSRecord style;
    uint8_t colour = 0;
    AsianTypingStyle(style, colour);
    return newAsian(AsianBytesOf(code), 4, style, colour);
}

// ---- The node
// ------------------------------------------------------------------------------------

bool eAsian::isDoubleByte() const {
    return true;
}

bool eAsian::charClass() const {
    // Double-byte characters are never letters: they stay upright whatever the italic rule.
    return eChar::charClass();
}

void eAsian::draw() {
    oGraphPort* port = DrawState.drawPort;
    if (m_fontIndex == kNoFontIndex || port == nullptr)
        return;
    const Zone& abs = DrawState.absZone;
    if (DrawState.exportFlags[1] != 0) {
        Zone block = abs;
        ZoneInset(block, -7, -7);
        port->eraseZone(block);
        return;
    }
    const Color fore = port->foreColor();
    port->drawAsianString(text(), m_fontIndex, abs.left + m_inkOffset, abs.top + m_zone.ref2, &fore,
                          1, 0);
}

bool eAsian::hitClick(oPoint anchor, oPoint point, SelectionEntry& entry) {
    if (!eWord::hitClick(anchor, point, entry))
        return false;
    if (entry.start == entry.end && (entry.start & 1) != 0 && WholeRowClickOption == 0) {
        // A click inside a character leaves the caret on its nearer side.
        const int32_t before = caretX(entry.start - 1);
        const int32_t after = caretX(std::min(entry.start + 1, m_length));
        const int32_t at = point.x - before < after - point.x ? entry.start - 1 : entry.start + 1;
        entry.start = entry.end = std::clamp(at, 0, m_length);
        return true;
    }
    wholeCharacters(entry.start, entry.end, m_length, entry.start, entry.end);
    return true;
}

bool eAsian::hitDrag(oPoint anchor, oPoint point, SelectionEntry& entry) {
    return hitClick(anchor, point, entry);
}

ExprPtr eAsian::copyOut(const SelectionEntry& entry) const {
    int32_t start = 0;
    int32_t end = 0;
    wholeCharacters(entry.start, entry.end, m_length, start, end);
    if (start >= end)
        return ExprPtr();
    FSSRecord style;
    storedStyle(style);
    return newAsian(view().substr(static_cast<size_t>(start), static_cast<size_t>(end - start)), 0,
                    style, m_colour);
}

eWord* eAsian::replaceText(int32_t start, int32_t end, std::string_view insertText) {
    if ((start & 1) != 0)
        KV_ASSERT_FAILED("OdAS");
    if ((end & 1) != 0)
        KV_ASSERT_FAILED("OdAE");
    if (insertText.size() % 2 != 0) {
        KV_ASSERT_FAILED("OdAN");
        insertText.remove_suffix(1);
    }
    // Half a character is never cut off or written: positions go to whole characters.
    wholeCharacters(start, std::max(start, end), m_length, start, end);
    std::string result(view().substr(0, static_cast<size_t>(start)));
    result.append(insertText);
    result.append(view().substr(static_cast<size_t>(end)));

    std::string overflow;
    if (result.size() > static_cast<size_t>(kMaxAsianBytes)) {
        if (m_parent == nullptr || !m_parent->isString()) {
            KV_ASSERT_FAILED("eAsian::replaceText length");
            return this;
        }
        overflow = result.substr(static_cast<size_t>(kMaxAsianBytes));
        result.resize(static_cast<size_t>(kMaxAsianBytes));
    }
    eWord* holder = this;
    if (!storeInPlace(result)) {
        FSSRecord style;
        storedStyle(style);
        holder = takeReplacement(
            newAsian(result, std::min(2 * m_length, kMaxWordLength + 1), style, m_colour));
    }
    if (!overflow.empty()) {
        // The rest of the text follows in words of its own, in this word's style and colour.
        FSSRecord style;
        holder->storedStyle(style);
        insertIntoRow(static_cast<eString*>(holder->m_parent), holder->m_index + 1,
                      NewAsianWords(overflow, style, holder->m_colour));
    }
    return holder;
}

void eAsian::insert(SelectionEntry& entry, ExprPtr node) {
    int32_t start = 0;
    int32_t end = 0;
    wholeCharacters(entry.start, entry.end, m_length, start, end);
    if (!node || m_parent == nullptr || !m_parent->isString() || start <= 0 || start >= m_length) {
        // At either end the word's own rule applies: nothing of the text is cut off.
        eWord::insert(entry, std::move(node));
        return;
    }
    eExpr* row = m_parent;
    const int32_t index = m_index;
    FSSRecord style;
    storedStyle(style);
    ExprPtr tail = newAsian(view().substr(static_cast<size_t>(end)), 0, style, m_colour);
    replaceText(start, m_length, std::string_view());
    if (static_cast<const eWord*>(tail.get())->length() > 0) {
        SelectionEntry afterWord{row, index + 1, index + 1, 0, 0};
        row->insert(afterWord, std::move(tail));
        row = EditResultEntry.node;
    }
    SelectionEntry between{row, index + 1, index + 1, 0, 0};
    row->insert(between, std::move(node));
}

void eAsian::keystroke(SelectionEntry&) {
    InsertExprAtSelection(InsertTypedCharacter(), false);
}

void eAsian::backspace(int32_t direction) {
    SelectionEntry* entry = HookEntryBeingActedUpon();
    if (entry == nullptr || entry->node != this)
        return;
    int32_t start = 0;
    int32_t end = 0;
    wholeCharacters(entry->start, entry->end, m_length, start, end);
    backspaceRange(*entry, direction, start, end, 2);
}

// ---- Typing a code
// -------------------------------------------------------------------------------

void eAsian::asianKey(int32_t code) {
    SelectionEntry* entry = HookEntryBeingActedUpon();
    if (entry == nullptr || entry->node != this)
        return;
    if (!IsStorableAsianCode(code)) {
        KV_ASSERT_FAILED("eAsianAK code");
        return;
    }
    if (m_parent == nullptr || !m_parent->isString()) {
        // A word outside a row could be replaced by a block that nobody would hold.
        KV_ASSERT_FAILED("eAsianAK row");
        return;
    }
    NoteEditedNode(this);
    FSSRecord typing;
    uint8_t colour = 0;
    AsianTypingStyle(typing, colour);
    FSSRecord own;
    storedStyle(own);
    const bool sameStyle = SameFSS(resolved(typing), resolved(own));
    const bool sameColour = colour == m_colour;
    int32_t start = 0;
    int32_t end = 0;
    wholeCharacters(entry->start, entry->end, m_length, start, end);
    const std::string bytes = AsianBytesOf(code);

    if (m_length <= kAsianTypingSplit && sameStyle && sameColour) {
        eWord* word = replaceText(start, end, bytes);
        HookSelectRange(word, start + 2, start + 2, 0, 0);
        HookFinishEditAt(word->m_parent);
        return;
    }

    eString* row = static_cast<eString*>(m_parent);
    const int32_t index = m_index;
    const std::string rest(view().substr(static_cast<size_t>(end)));
    replaceText(start, m_length, std::string_view()); // shrinking: always in place
    const bool emptied = m_length == 0;
    std::vector<ExprPtr> nodes;
    eExpr* received = nullptr;
    if (rest.empty()) {
        nodes.push_back(newAsian(bytes, 0, typing, colour));
    } else if (sameStyle && sameColour) {
        // Only the length split the word: the code starts the second half.
        nodes.push_back(newAsian(bytes + rest, 0, own, m_colour));
    } else {
        nodes.push_back(newAsian(bytes, 0, typing, colour));
        nodes.push_back(newAsian(rest, 0, own, m_colour));
    }
    received = nodes.front().get();
    // The new words go after this one, or in its place when nothing of it is left.
    eString* now = emptied ? row->resizeRange(index, index + 1, 0) : row;
    insertIntoRow(now, emptied ? index : index + 1, std::move(nodes));
    // The caret goes after the typed character, never inside it.
    HookSelectRange(received, 2, 2, 0, 0);
    HookFinishEditAt(received->m_parent);
}

void eWord::asianKey(int32_t code) {
    InsertExprAtSelection(NewAsianFromCode(code), false);
}

void eString::asianKey(int32_t code) {
    InsertExprAtSelection(NewAsianFromCode(code), false);
}

void eMatrix::asianKey(int32_t code) {
    SelectionEntry* entry = HookEntryBeingActedUpon();
    if (entry == nullptr || entry->node != this)
        return;
    OwnedNode<eAsian> word = NewAsianFromCode(code);
    if (!word)
        return;
    const int32_t start = std::clamp(std::min(entry->start, entry->end), 0, m_columns);
    const int32_t end = std::clamp(std::max(entry->start, entry->end), 0, m_columns);
    const int32_t rowStart = std::clamp(std::min(entry->rowStart, entry->rowEnd), 0, m_rows);
    const int32_t rowEnd = std::clamp(std::max(entry->rowStart, entry->rowEnd), 0, m_rows);
    const bool allRows = rowStart == 0 && rowEnd == m_rows;
    const bool allColumns = start == 0 && end == m_columns;
    if (allRows && allColumns) {
        // The whole grid gives way to the character.
        if (!inParentRow())
            return;
        eExpr* row = m_parent;
        const int32_t index = m_index;
        row->setChild(index, std::move(word)); // destroys this grid
        HookSelectRange(row, index + 1, index + 1, 0, 0);
        HookFinishEditAt(row);
        return;
    }
    if (allRows && start == end && (start == 0 || start == m_columns)) {
        // A caret line at the left or right edge: the character goes beside the grid.
        if (!inParentRow())
            return;
        eExpr* row = m_parent;
        const int32_t at = start == 0 ? m_index : m_index + 1;
        *entry = {row, at, at, 0, 0};
        row->asianKey(code);
        return;
    }
    // An empty range grows the grid by a column or a row: refused at the size limit.
    const bool growsColumns = allRows && start == end;
    const bool growsRows = !allRows && allColumns && rowStart == rowEnd;
    if ((growsColumns && m_rows > kMaxMatrixCells / (m_columns + 1)) ||
        (growsRows && m_rows + 1 > kMaxMatrixCells / m_columns)) {
        CommandBeep();
        return;
    }
    eMatrix* grid = this;
    const int32_t c0 = start;
    const int32_t r0 = rowStart;
    int32_t c1 = end;
    int32_t r1 = rowEnd;
    if (allRows) {
        grid = replaceColumns(start, end, 1);
        c1 = start + 1;
    } else if (allColumns) {
        grid = replaceRows(rowStart, rowEnd, 1);
        r1 = rowStart + 1;
    }
    for (int32_t r = r0; r < r1; ++r) {
        for (int32_t c = c0; c < c1; ++c) {
            eExpr* cell = grid->setCell(r, c, NewSimpStringWith(CopyExpr(word.get())));
            SelectionEntry inner;
            if (cell != nullptr && cell->childCount() > 0) {
                cell->getChild(0)->selectInside(inner);
                HookSelectRange(inner.node, inner.start, inner.end, inner.rowStart, inner.rowEnd);
            }
        }
    }
    HookFinishEditAt(grid);
}

void eChar::asianKey(int32_t) {
    KV_ASSERT_FAILED("eCharAK");
}

// ---- The command
// ---------------------------------------------------------------------------------

void TypeAsianChar(int32_t code) {
    if (ActiveRecord == nullptr)
        return;
    if (!IsStorableAsianCode(code)) {
        CommandBeep();
        return;
    }
    if (TheModelHooks().entryBeingActedUpon == nullptr)
        InstallCommandModelHooks();
    BeginEditStep(kUndoTyping);
    SelectInsideExpressionWhenEmpty();
    SelectionEntry* saved = SaveSelectionList();
    if (saved == nullptr)
        return;
    const int32_t n = static_cast<int32_t>(SavedListEnd - saved);
    const int16_t failed =
        ActOnSavedEntries(saved, n, [&](SelectionEntry& entry) { entry.node->asianKey(code); });
    KeepSomeSelection(saved, n);
    FreeSelectionList(saved);
    const CommandHooks& hooks = TheCommandHooks();
    if (BatchMode == 0) {
        // Each code typed at a caret in a row arrives as a word of its own; joining neighbours
        // makes the run of typed characters one word again, with the caret carried along.
        if (hooks.mergeAdjacentWords != nullptr)
            hooks.mergeAdjacentWords();
        else
            MergeWordsForEntries(ActiveRecord->m_entries, ActiveRecord->count());
    }
    if (hooks.redrawAfterEdit != nullptr)
        hooks.redrawAfterEdit();
    if (failed != 0)
        Fail(failed);
    FinishEditStep();
}

int32_t eAsian::whereChar(unsigned char) {
    return kCharAbsent;
}
