#include "OverSrcs/commands/kEdit.h"

#include "OverPc/PERROR.h"
#include "OverPc/PUTIL.h"
#include "OverSrcs/commands/kCommandScope.h"
#include "OverSrcs/commands/kInsert.h"
#include "OverSrcs/eChar.h"
#include "OverSrcs/eFactory.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eString.h"
#include "OverSrcs/eWord.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

int32_t CurrentCommandCode = 0;
SelectionEntry* EntryBeingActedUpon = nullptr;
uint8_t FullRedrawFlag = 0;
FSSRecord PendingStyle;
int32_t PendingStyleIndex = -1;
FSSRecord SharedStyleRecord;
std::array<uint8_t, 4> ViewModes = {0, 0, 0, 0};
std::vector<MacroRecord> MacroList;

namespace {

// The dispatcher's own state.
bool s_widen = false;         // the code came with bit 0x8000
bool s_oneShotTyping = false; // GetTypingFSS used a slippery typing style
bool s_hasLastFontChoice = false;
FSSRecord s_lastFontChoice;
// The run the last edit step belongs to: its record and undo mode, and the selection-change count
// the step left behind. `open` holds only from the end of a run step until anything else happens.
struct EditRun {
    const SelectionRecord* record = nullptr;
    int32_t mode = kUndoPlain;
    uint32_t selectionChanges = 0;
    bool open = false;
};
EditRun s_run;
uint32_t s_editStepCounter = 0;
// The style-table index the typing style came from (-1: none); GetTypingFSS reads whether that
// entry is slippery.
int32_t s_typingStyleIndex = -1;

// The undo snapshot: the record it belongs to, a copy of its expression, and the selection as paths
// of child indexes from the root with the four positions.
struct SavedEntry {
    std::vector<int32_t> path;
    int32_t start = 0;
    int32_t end = 0;
    int32_t rowStart = 0;
    int32_t rowEnd = 0;
};
struct UndoSnapshot {
    const void* record = nullptr;
    ExprPtr expression;
    std::vector<SavedEntry> entries;
    // The pane's background, which a step may change without touching the tree.
    Color background;
    uint8_t noBackground = 1;
};
UndoSnapshot s_undo;

const CommandHooks& hooks() {
    return TheCommandHooks();
}

eExpr* rootExpression() {
    if (ActiveRecord == nullptr || ActiveRecord->m_root == nullptr ||
        ActiveRecord->m_root->childCount() < 1)
        return nullptr;
    return ActiveRecord->m_root->getChild(0);
}

int32_t activeCount() {
    return ActiveRecord != nullptr ? ActiveRecord->count() : 0;
}

// Puts the entry back into the active selection.
void keepEntry(const SelectionEntry& entry) {
    if (entry.node != nullptr)
        SelectRange(entry.node, entry.start, entry.end, entry.rowStart, entry.rowEnd);
}

// A code that cannot be applied to this entry: the beep, and the selection stays.
void refuse(const SelectionEntry& entry) {
    CommandBeep();
    keepEntry(entry);
}

void markNodeEdited(eExpr* node) {
    if (node == nullptr)
        return;
    node->invalidate();
    InvalidateAncestors(node);
    if (hooks().markEdited != nullptr)
        hooks().markEdited(node);
}

// For bit 0x8000: a caret widens one step back over the item before it.
void widenSelectionBack(SelectionEntry& entry) {
    if (!s_widen || entry.node == nullptr || entry.start != entry.end || entry.start <= 0)
        return;
    if (entry.node->isWord() || entry.node->isString())
        entry.start -= 1;
}

// The path of child indexes from the root header down to the node; false when the node is not in
// the active tree.
bool pathOf(const eExpr* node, std::vector<int32_t>& path) {
    path.clear();
    const eExpr* root = ActiveRecord != nullptr ? ActiveRecord->m_root : nullptr;
    const eExpr* n = node;
    while (n != nullptr && n != root) {
        path.push_back(n->m_index);
        n = n->m_parent;
    }
    if (n != root || root == nullptr)
        return false;
    std::reverse(path.begin(), path.end());
    return true;
}

eExpr* nodeAtPath(const std::vector<int32_t>& path) {
    eExpr* n = ActiveRecord != nullptr ? ActiveRecord->m_root : nullptr;
    for (int32_t i : path) {
        if (n == nullptr || i < 0 || i >= n->childCount())
            return nullptr;
        n = n->getChild(i);
    }
    return n;
}

void takeSnapshot() {
    s_undo = UndoSnapshot{};
    eExpr* expression = rootExpression();
    if (expression == nullptr)
        return;
    s_undo.record = ActiveRecord;
    s_undo.expression = CopyExpr(expression);
    s_undo.background = ActiveRecord->m_background;
    s_undo.noBackground = ActiveRecord->m_noBackground;
    for (int32_t i = 0; i < ActiveRecord->count(); ++i) {
        const SelectionEntry& e = ActiveRecord->entry(i);
        SavedEntry saved;
        if (e.node == nullptr || !pathOf(e.node, saved.path))
            continue;
        saved.start = e.start;
        saved.end = e.end;
        saved.rowStart = e.rowStart;
        saved.rowEnd = e.rowEnd;
        s_undo.entries.push_back(std::move(saved));
    }
}

// ---- Traversal state of the style gatherers
// ------------------------------------------------------

FSSRecord s_gathered;
bool s_gatheredAny = false;
uint8_t s_gatheredColour = 0;
bool s_colourAny = false;
bool s_colourCommon = true;

void gatherLeafStyle(eExpr* node) {
    auto* leaf = dynamic_cast<eChar*>(node);
    if (leaf == nullptr)
        return;
    FSSRecord style;
    leaf->storedStyle(style);
    if (!s_colourAny) {
        s_gatheredColour = leaf->m_colour;
        s_colourAny = true;
    } else if (leaf->m_colour != s_gatheredColour) {
        s_colourCommon = false;
    }
    if (!s_gatheredAny) {
        s_gathered = style;
        s_gatheredAny = true;
        return;
    }
    FSSRecord& g = s_gathered;
    if (std::strncmp(g.fontName, style.fontName, kFontNameSize) != 0)
        SetFSSFontName(g, kFontUnknown);
    if (g.size != style.size)
        g.size = kSizeInherit;
    for (int i = 0; i < kStyleByteCount; ++i)
        if (g.style[i] != style.style[i])
            g.style[i] = kStyleInherit;
    if (g.further != style.further)
        g.further = 0;
    if (g.italicMode() != style.italicMode())
        g.setItalicMode(kStyleInherit);
    if (g.inkMode() != style.inkMode())
        g.setInkMode(kStyleInherit);
}

void gatherCaretStyle(SelectionEntry*) {
    const TypingStyleRef ref = HookActiveTypingStyle();
    if (ref.style != nullptr)
        s_gathered = *ref.style;
    else if (ActiveRecord != nullptr)
        s_gathered = ActiveRecord->m_typingStyle;
    else
        InitFSSRecord(s_gathered);
    s_gatheredAny = true;
}

void applyPendingToLeaf(eExpr* node) {
    auto* leaf = dynamic_cast<eChar*>(node);
    if (leaf == nullptr)
        return;
    FSSRecord style;
    leaf->storedStyle(style);
    if (PendingStyleIndex == kResetStyleIndex)
        style = ResetStyleRecord;
    else
        MergeFSS(style, PendingStyle);
    leaf->setStyle(style);
    markNodeEdited(leaf);
}

void applyPendingToCaret(SelectionEntry*) {
    FSSRecord* typing = HookActiveTypingStyle().style;
    if (typing == nullptr && ActiveRecord != nullptr)
        typing = &ActiveRecord->m_typingStyle;
    if (typing != nullptr) {
        if (PendingStyleIndex == kResetStyleIndex)
            *typing = ResetStyleRecord;
        else
            MergeFSS(*typing, PendingStyle);
    }
    s_typingStyleIndex = PendingStyleIndex;
}

uint8_t s_colourToSet = 0;

void setNodeColour(eExpr* node) {
    node->m_colour = s_colourToSet;
    markNodeEdited(node);
}

// The nodes an entry covers: a row range its elements, a word range the word; a caret nothing.
std::vector<eExpr*> coveredNodes(const SelectionEntry& entry) {
    std::vector<eExpr*> nodes;
    eExpr* node = entry.node;
    if (node == nullptr || entry.start == entry.end)
        return nodes;
    if (node->isString()) {
        const int32_t a = std::clamp(std::min(entry.start, entry.end), 0, node->childCount());
        const int32_t b = std::clamp(std::max(entry.start, entry.end), 0, node->childCount());
        for (int32_t i = a; i < b; ++i)
            if (eExpr* child = node->getChild(i))
                nodes.push_back(child);
    } else if (!node->isMatrix()) {
        nodes.push_back(node);
    }
    return nodes;
}

void zeroNudges(eExpr* node, bool deep) {
    node->m_nudgeX = 0;
    node->m_nudgeY = 0;
    if (!deep)
        return;
    for (int32_t i = 0; i < node->childCount(); ++i)
        if (eExpr* child = node->getChild(i))
            zeroNudges(child, true);
}

// ---- Placeholders of inserted expressions
// --------------------------------------------------------

bool isPlaceholderRow(const eExpr* row) {
    if (row == nullptr || !row->isString() || row->childCount() != 1)
        return false;
    const auto* word = dynamic_cast<const eWord*>(row->getChild(0));
    return word != nullptr && word->view() == "?";
}

// The first row, depth-first, that is a placeholder (or, with `emptyToo`, an empty row).
eExpr* findSlotRow(eExpr* node, bool emptyToo) {
    if (node == nullptr)
        return nullptr;
    if (isPlaceholderRow(node) || (emptyToo && node->isString() && node->childCount() == 0))
        return node;
    if (dynamic_cast<eChar*>(node) != nullptr)
        return nullptr;
    // A pasted document of millions of nodes is searched within the edit, which runs to its end.
    NoteTerminationSignal();
    for (int32_t i = 0; i < node->childCount(); ++i)
        if (eExpr* found = findSlotRow(node->getChild(i), emptyToo))
            return found;
    return nullptr;
}

// Whether `node` lies in the tree under `top` (compares pointers only: `node` may be gone).
bool holdsNode(const eExpr* top, const eExpr* node) {
    if (top == nullptr)
        return false;
    if (top == node)
        return true;
    for (int32_t i = 0; i < top->childCount(); ++i)
        if (holdsNode(top->getChild(i), node))
            return true;
    return false;
}

// The first placeholder word in what an insertion put in (the result entry's node, its items
// start..end for a row), or null.
eExpr* placeholderWordIn(const SelectionEntry& result) {
    eExpr* node = result.node;
    if (node == nullptr)
        return nullptr;
    eExpr* row = nullptr;
    if (node->isString()) {
        for (int32_t i = result.start; i < result.end && i < node->childCount() && !row; ++i)
            row = findSlotRow(node->getChild(i), false);
    } else {
        row = findSlotRow(node, false);
    }
    return row != nullptr ? row->getChild(0) : nullptr;
}

} // namespace

// ---- Model hooks
// ---------------------------------------------------------------------------------

namespace {

int32_t hookedCommandCode() {
    return CurrentCommandCode;
}

SelectionEntry* hookedEntry() {
    return EntryBeingActedUpon;
}

void hookedSelectionFSS(FSSRecord& record) {
    if (EntryBeingActedUpon != nullptr && EntryBeingActedUpon->node != nullptr)
        GetSelectionFSS(*EntryBeingActedUpon, record);
    else
        InitFSSRecord(record);
}

// The node operations a command runs read the code and the entry through the model's hooks: a
// command must never reach them unanswered (a keystroke would type character 0). Pointers that
// someone else installed are left alone.
void ensureCommandModelHooks() {
    ModelHooks& model = TheModelHooks();
    if (model.currentCommandCode == nullptr)
        model.currentCommandCode = &hookedCommandCode;
    if (model.entryBeingActedUpon == nullptr)
        model.entryBeingActedUpon = &hookedEntry;
    if (model.getTypingFSS == nullptr)
        model.getTypingFSS = &GetTypingFSS;
    if (model.getSelectionFSS == nullptr)
        model.getSelectionFSS = &hookedSelectionFSS;
    if (model.finishEditAt == nullptr)
        model.finishEditAt = &FinishEditAt;
}

} // namespace

void InstallCommandModelHooks() {
    ModelHooks& model = TheModelHooks();
    model.currentCommandCode = &hookedCommandCode;
    model.entryBeingActedUpon = &hookedEntry;
    model.getTypingFSS = &GetTypingFSS;
    model.getSelectionFSS = &hookedSelectionFSS;
    model.finishEditAt = &FinishEditAt;
}

void MergeAdjacentWords() {
    if (ActiveRecord == nullptr || ActiveRecord->count() == 0)
        return;
    // The commands run this after their edit, while no highlight of the new selection is on
    // screen (the redraw after the command draws it): nothing is erased here, or the redraw's
    // exclusive-or would take the highlight of a selection move off the screen again.
    SelectionEntry* saved = SaveSelectionList(false);
    if (saved == nullptr)
        return;
    const int32_t n = static_cast<int32_t>(SavedListEnd - saved);
    if (MergeWordsForEntries(saved, n) > 0 && hooks().markEdited != nullptr) {
        for (int32_t k = 0; k < n; ++k) {
            eExpr* node = saved[k].node;
            eExpr* row = node != nullptr && !node->isString() ? node->m_parent : node;
            if (row != nullptr)
                hooks().markEdited(row);
        }
    }
    for (int32_t k = 0; k < n; ++k)
        if (saved[k].node != nullptr)
            SetSelection(&saved[k]);
    FreeSelectionList(saved);
}

void ResetCommandState() {
    CurrentCommandCode = 0;
    EntryBeingActedUpon = nullptr;
    FullRedrawFlag = 0;
    InitFSSRecord(PendingStyle);
    PendingStyleIndex = -1;
    InitFSSRecord(SharedStyleRecord);
    ViewModes = {0, 0, 0, 0};
    MacroList.clear();
    s_widen = false;
    s_oneShotTyping = false;
    s_hasLastFontChoice = false;
    s_run = EditRun{};
    s_editStepCounter = 0;
    s_typingStyleIndex = -1;
    s_undo = UndoSnapshot{};
}

// ---- DoCommand
// -----------------------------------------------------------------------------------

void DoCommand(int32_t code, int32_t mode) {
    if (ActiveRecord == nullptr || (code & kCmdCodeMask) == 0)
        return;
    const CommandScope scope;
    if (scope.refused())
        return;
    ensureCommandModelHooks();
    s_widen = (code & kCmdWidenBit) != 0;
    CurrentCommandCode = code & kCmdCodeMask;
    const int32_t undoMode = UndoModeOfCommand(CurrentCommandCode, mode);
    // Undo, copy, Select All and the other commands of the window end a run of typing as well.
    if (undoMode <= kUndoPlain)
        EndEditRun();
    if (DoWindowCommand())
        return;
    const int32_t c = CurrentCommandCode;
    BeginEditStep(undoMode);
    // Nothing selected: the command acts at a caret inside the expression.
    SelectInsideExpressionWhenEmpty();
    SelectionEntry* saved = SaveSelectionList();
    if (saved == nullptr)
        return;
    const int32_t n = static_cast<int32_t>(SavedListEnd - saved);

    if (ActiveRecord->m_options[2] != 0 && c == kCmdSelectNextSlot && n > 0) {
        // Ruler mode: Tab puts a tab character in.
        EntryBeingActedUpon = &saved[0];
        InsertExprAtSelection(NewPseudo(kPseudoTab, &DefaultStyle, 0), true);
        EntryBeingActedUpon = nullptr;
        FreeSelectionList(saved);
        ResetTypingStyle();
        if (hooks().redrawAfterEdit != nullptr)
            hooks().redrawAfterEdit();
        return;
    }

    const int16_t failed = ActOnSavedEntries(saved, n, [&](SelectionEntry& entry) {
        widenSelectionBack(entry);
        const int32_t before = activeCount();
        if ((c & kCmdInsertBit) == 0) {
            entry.node->keystroke(entry);
        } else if ((c & kCmdEditBit) == 0) {
            DoInsertCommand();
        } else {
            DoEditCommand();
        }
        // An operation that selected nothing did nothing: the class does not offer it.
        if (activeCount() == before && EntryBeingActedUpon != nullptr &&
            EntryBeingActedUpon->node != nullptr && entry.node != nullptr)
            refuse(entry);
    });
    KeepSomeSelection(saved, n);
    FreeSelectionList(saved);
    if (BatchMode == 0) {
        if (hooks().mergeAdjacentWords != nullptr)
            hooks().mergeAdjacentWords();
    }
    if (hooks().redrawAfterEdit != nullptr)
        hooks().redrawAfterEdit();
    if (s_oneShotTyping) {
        s_oneShotTyping = false;
        ResetTypingStyle();
        s_typingStyleIndex = -1;
    }
    if (BatchMode == 0 && hooks().styleButtons != nullptr)
        hooks().styleButtons(0, 1);
    if (failed != 0)
        Fail(failed);
    FinishEditStep();
}

void InsertExprAsEdit(ExprPtr expression) {
    if (ActiveRecord == nullptr || !expression)
        return;
    const CommandScope scope;
    if (scope.refused())
        return;
    ensureCommandModelHooks();
    CurrentCommandCode = kCmdPaste;
    BeginEditStep(0);
    SelectInsideExpressionWhenEmpty();
    SelectionEntry* saved = SaveSelectionList();
    if (saved == nullptr)
        return;
    const int32_t n = static_cast<int32_t>(SavedListEnd - saved);
    const int16_t failed = ActOnSavedEntries(saved, n, [&](SelectionEntry&) {
        InsertExprAtSelection(CopyExpr(expression.get()), false);
    });
    KeepSomeSelection(saved, n);
    FreeSelectionList(saved);
    if (BatchMode == 0 && hooks().mergeAdjacentWords != nullptr)
        hooks().mergeAdjacentWords();
    if (hooks().redrawAfterEdit != nullptr)
        hooks().redrawAfterEdit();
    if (failed != 0)
        Fail(failed);
}

void SelectInsideExpressionWhenEmpty() {
    if (activeCount() != 0)
        return;
    if (eExpr* expression = rootExpression()) {
        SelectionEntry inner;
        expression->selectInside(inner);
        AddSelectionEntry(*ActiveRecord, inner);
    }
}

void KeepSomeSelection(const SelectionEntry* saved, int32_t n) {
    if (activeCount() != 0)
        return;
    for (int32_t i = 0; i < n; ++i)
        keepEntry(saved[i]);
    SelectInsideExpressionWhenEmpty();
}

int16_t ActOnSavedEntries(SelectionEntry* saved, int32_t n,
                          const std::function<void(SelectionEntry&)>& act) {
    const uint8_t outerBatch = BatchMode;
    const bool ownBatch = n >= 2 && BatchMode == 0;
    if (ownBatch)
        BatchMode = 1;
    const int16_t failed = CatchFail([&] {
        for (int32_t i = 0; i < n; ++i) {
            SelectionEntry& entry = saved[i];
            if (entry.node == nullptr)
                continue; // its node went away with an earlier entry's edit
            EntryBeingActedUpon = &entry;
            act(entry);
            HookCheckUserAbort();
        }
    });
    EntryBeingActedUpon = nullptr;
    if (ownBatch)
        BatchMode = outerBatch;
    return failed;
}

bool DoWindowCommand() {
    const int32_t c = CurrentCommandCode;
    const CommandHooks& h = hooks();
    switch (c) {
    case kCmdUndo:
        if (!UndoLastEdit())
            CommandBeep();
        return true;
    case kCmdCopy:
        if (h.copy != nullptr)
            h.copy();
        return true;
    case kCmdPaste:
        if (h.paste != nullptr)
            h.paste();
        return true;
    case kCmdCut:
        // Cut deletes only what it copied: without the clipboard service nothing is deleted.
        if (h.cut != nullptr)
            h.cut();
        else
            CommandBeep();
        return true;
    case kCmdToggleGuides:
    case kCmdToggleMagnifier:
    case kCmdToggleRuler: {
        uint8_t modes[4];
        std::memcpy(modes, ActiveRecord->m_options, 4);
        modes[c - kCmdToggleGuides] ^= 1;
        SetViewModes(modes);
        if (h.refreshActivePane != nullptr)
            h.refreshActivePane();
        return true;
    }
    case kCmdSelectAll:
    case kCmdSelectAllToo:
        ResetTypingStyle();
        s_typingStyleIndex = -1;
        SelectAll();
        return true;
    case kCmdAskFont:
    case kCmdRepeatFont: {
        if (c == kCmdRepeatFont && s_hasLastFontChoice) {
            PendingStyle = s_lastFontChoice;
            PendingStyleIndex = -1;
            return false;
        }
        if (activeCount() > 0) {
            SelectionEntry first = ActiveRecord->entry(0);
            GetSelectionFSS(first, SharedStyleRecord);
        } else {
            SharedStyleRecord = ActiveRecord->m_typingStyle;
        }
        if (h.askFont == nullptr || !h.askFont(0, kAskFontTitleString))
            return true; // Cancel (or no dialog): nothing happens
        PendingStyle = SharedStyleRecord;
        PendingStyleIndex = -1;
        s_lastFontChoice = SharedStyleRecord;
        s_hasLastFontChoice = true;
        return false;
    }
    default:
        break;
    }
    if ((c & 0xFF00) == kCmdStyleBase) {
        const int32_t nn = c & 0xFF;
        if (const FSSRecord* record = StyleRecordAt(nn)) {
            PendingStyle = *record;
            PendingStyleIndex = nn;
        }
        return false;
    }
    if ((c & 0xFF00) == kCmdColourBase) {
        ActiveRecord->m_typingColour = c & 0xFF;
        return false;
    }
    return false;
}

void DoEditCommand() {
    SelectionEntry* entryPtr = EntryBeingActedUpon;
    if (entryPtr == nullptr || entryPtr->node == nullptr)
        return;
    SelectionEntry& entry = *entryPtr;
    eExpr* node = entry.node;
    const int32_t c = CurrentCommandCode;
    if ((c >= kCmdSelectParts && c <= kCmdLineEnd) || c == kCmdBackspace) {
        ResetTypingStyle();
        s_typingStyleIndex = -1;
    }
    const bool ruler = ActiveRecord != nullptr && ActiveRecord->m_options[2] != 0;
    switch (c) {
    case kCmdAskFont:
    case kCmdRepeatFont:
        ApplyStyleToSelection(entry);
        return;
    case kCmdSelectNextSlot:
        if (ruler) {
            keepEntry(entry);
            return;
        }
        [[fallthrough]];
    case kCmdSelectParts:
    case kCmdSelectParent:
    case kCmdSelectChild:
    case kCmdSelectFirstSlot:
    case kCmdMoveLeft:
    case kCmdMoveRight:
    case kCmdMoveUp:
    case kCmdMoveDown:
        if (c >= kCmdMoveLeft && c <= kCmdMoveDown && CtrlHeld != 0) {
            static constexpr int32_t dx[] = {-1, 1, 0, 0};
            static constexpr int32_t dy[] = {0, 0, -1, 1};
            NudgeSelection(entry, dx[c - kCmdMoveLeft], dy[c - kCmdMoveLeft]);
            return;
        }
        if (!ApplySelectionMove(c, node, entry))
            refuse(entry);
        return;
    case kCmdLineStart:
    case kCmdLineEnd: {
        eExpr* row = node;
        while (row != nullptr && !row->isString())
            row = row->m_parent;
        if (row == nullptr) {
            refuse(entry);
            return;
        }
        const int32_t p = c == kCmdLineStart ? 0 : row->childCount();
        SelectRange(row, p, p, 0, 0);
        return;
    }
    case kCmdNudgeLeft:
        NudgeSelection(entry, -1, 0);
        return;
    case kCmdNudgeRight:
        NudgeSelection(entry, 1, 0);
        return;
    case kCmdNudgeUp:
        NudgeSelection(entry, 0, -1);
        return;
    case kCmdNudgeDown:
        NudgeSelection(entry, 0, 1);
        return;
    case kCmdUnnudge:
    case kCmdUnnudgeDeep:
        RemoveNudges(entry, c == kCmdUnnudgeDeep);
        return;
    case kCmdDeleteForward:
    case kCmdClear:
    case kCmdDeleteForwardToo:
        node->backspace(0);
        return;
    case kCmdBackspace:
        node->backspace(-1);
        return;
    case kCmdNewLine:
        node->newLine(-1);
        return;
    case kCmdNewField:
        node->newField(-1);
        return;
    case kCmdModify:
        node->change(false);
        return;
    case kCmdHidePart:
    case kCmdShowPart:
        if (node->m_parent == nullptr) {
            refuse(entry);
            return;
        }
        node->m_parent->showPart(c == kCmdHidePart, node->m_index);
        keepEntry(entry);
        return;
    default:
        break;
    }
    if ((c & 0xFF00) == kCmdStyleBase && (c & 0xFF) <= kResetStyleIndex) {
        ApplyStyleToSelection(entry);
        return;
    }
    if ((c & 0xFF00) == kCmdColourBase) {
        SetSelectionColour(entry, c);
        return;
    }
    refuse(entry);
}

void DoInsertCommand() {
    SelectionEntry* entry = EntryBeingActedUpon;
    if (entry == nullptr || entry->node == nullptr)
        return;
    const int32_t c = CurrentCommandCode;
    const int32_t family = c & 0xFF00;
    const int32_t nn = c & 0xFF;
    if (family == kCmdMacroBase) {
        const MacroRecord* macro = nn <= 0xFE ? FindMacro(c) : nullptr;
        if (macro == nullptr || !macro->expression) {
            refuse(*entry);
            return;
        }
        InsertExprAtSelection(CopyExpr(macro->expression.get()), true);
        return;
    }
    if (family == kCmdSymbolBase && nn >= 1 && nn <= 9) {
        FSSRecord style;
        uint8_t colour = 0;
        GetTypingFSS(style, colour);
        InsertExprAtSelection(NewPseudo(kPseudoCodes[nn - 1], &style, colour), true);
        return;
    }
    if (family == kCmdMatrixBase) {
        // 0x52rc: r rows and c columns of placeholders; a size of 0 names no grid.
        const int32_t rows = (nn >> 4) & 0xF;
        const int32_t columns = nn & 0xF;
        if (rows == 0 || columns == 0) {
            refuse(*entry);
            return;
        }
        InsertExprAtSelection(NewPlaceholderMatrix(rows, columns), true);
        return;
    }
    // Templates; any code that names nothing is refused.
    if (ExprPtr node = NewTemplateForCommand(c)) {
        InsertExprAtSelection(std::move(node), true);
        return;
    }
    refuse(*entry);
}

// ---- Edit steps and undo
// -------------------------------------------------------------------------

int32_t UndoModeOfCommand(int32_t code, int32_t callerMode) {
    const int32_t c = code & kCmdCodeMask;
    const bool ruler = ActiveRecord != nullptr && ActiveRecord->m_options[2] != 0;
    // Moving the selection changes nothing in the tree, except Ctrl+arrows (they nudge) and Tab in
    // ruler mode (it types a tab).
    if (c >= kCmdSelectParts && c <= kCmdLineEnd) {
        if (c >= kCmdMoveLeft && c <= kCmdMoveDown && CtrlHeld != 0)
            return kUndoPlain;
        if (c == kCmdSelectNextSlot && ruler)
            return kUndoPlain;
        return kUndoSelectionOnly;
    }
    bool overRange = false;
    for (int32_t i = 0; i < activeCount(); ++i) {
        const SelectionEntry& e = ActiveRecord->entry(i);
        if (e.start != e.end || e.rowStart != e.rowEnd)
            overRange = true;
    }
    switch (c) {
    case kCmdBackspace:
        return overRange ? kUndoPlain : kUndoBackspace;
    case kCmdDeleteForward:
    case kCmdDeleteForwardToo:
        return overRange ? kUndoPlain : kUndoDeleteForward;
    case kCmdNewLine:
        return kUndoNewLine;
    default:
        break;
    }
    // Only typed characters make runs; every other command is a step of its own.
    if (IsCharCode(c) && callerMode == kUndoTyping)
        return kUndoTyping;
    return kUndoPlain;
}

void EndEditRun() {
    s_run.open = false;
}

void BeginOutsideTreeStep() {
    if (BatchMode != 0)
        return;
    takeSnapshot();
    s_run = EditRun{};
}

void FinishEditStep() {
    if (BatchMode != 0 || s_run.mode <= kUndoPlain || s_run.record != ActiveRecord)
        return;
    s_run.selectionChanges = SelectionListChanges;
    s_run.open = true;
}

void BeginEditStep(int32_t mode) {
    if (BatchMode == 0) {
        if (mode == kUndoSelectionOnly) {
            s_run = EditRun{};
        } else {
            const bool continues = mode > kUndoPlain && s_run.open && s_run.mode == mode &&
                                   s_run.record == ActiveRecord &&
                                   s_run.selectionChanges == SelectionListChanges && CanUndo();
            if (!continues)
                takeSnapshot();
            s_run = EditRun{ActiveRecord, mode, 0, false};
        }
    }
    const bool pending = hooks().inputPending != nullptr && hooks().inputPending();
    FullRedrawFlag = (activeCount() >= 4 || (pending && s_editStepCounter % 4 != 0)) ? 1 : 0;
    ++s_editStepCounter;
}

bool CanUndo() {
    return ActiveRecord != nullptr && s_undo.record == ActiveRecord && s_undo.expression;
}

bool UndoLastEdit() {
    if (!CanUndo() || ActiveRecord->m_root == nullptr)
        return false;
    UndoSnapshot snapshot = std::move(s_undo);
    s_undo = UndoSnapshot{};
    s_run = EditRun{};
    ClearSelectionList(*ActiveRecord);
    eExpr* restored = snapshot.expression.get();
    ActiveRecord->m_root->setChild(0, std::move(snapshot.expression));
    ActiveRecord->m_background = snapshot.background;
    ActiveRecord->m_noBackground = snapshot.noBackground;
    InvalidateTree(ActiveRecord->m_root);
    for (const SavedEntry& saved : snapshot.entries) {
        eExpr* node = nodeAtPath(saved.path);
        if (node == nullptr)
            continue;
        SelectionEntry e{node, saved.start, saved.end, saved.rowStart, saved.rowEnd};
        ClampEntryToNode(e, node);
        AddSelectionEntry(*ActiveRecord, e);
    }
    if (ActiveRecord->count() == 0 && restored != nullptr) {
        SelectionEntry inner;
        restored->selectInside(inner);
        AddSelectionEntry(*ActiveRecord, inner);
    }
    ResetTypingStyle();
    s_typingStyleIndex = -1;
    if (hooks().markEdited != nullptr)
        hooks().markEdited(restored);
    if (hooks().refreshActivePane != nullptr)
        hooks().refreshActivePane();
    return true;
}

void ForgetUndo(const void* record) {
    if (record != nullptr && s_undo.record == record)
        s_undo = UndoSnapshot{};
}

// ---- Edit helpers
// --------------------------------------------------------------------------------

void NoteEditedNode(eExpr*) {}

void FinishEditAt(eExpr* node) {
    if (node == nullptr)
        return;
    markNodeEdited(node);
    if (BatchMode != 0 || FullRedrawFlag != 0 || node->childCount() > 0)
        return;
    if (hooks().drawNodeNow != nullptr)
        hooks().drawNodeNow(node);
}

ExprPtr CopySelectedPart(const SelectionEntry& entry) {
    if (entry.node == nullptr)
        return ExprPtr();
    ExprPtr part = entry.node->copyOut(entry);
    if (part)
        part->unlinkOutside(part.get(), false);
    return part;
}

void InsertExprAtSelection(ExprPtr expression, bool moveOld) {
    SelectionEntry* entry = EntryBeingActedUpon;
    if (!expression || entry == nullptr || entry->node == nullptr)
        return;
    if (!expression->isString())
        expression = NewSimpStringWith(std::move(expression));
    eExpr* top = expression.get();
    if (moveOld && entry->start != entry->end) {
        ExprPtr old = CopySelectedPart(*entry);
        eExpr* slot = findSlotRow(top, false);
        if (slot == nullptr)
            slot = findSlotRow(top, true);
        if (slot != nullptr && old) {
            auto* row = static_cast<eString*>(slot);
            const bool isTop = slot == top;
            eString* now = row->replaceRange(0, row->childCount(), std::move(old));
            if (isTop && now != row) {
                // The top row was replaced by a new block that its old owner (the ExprPtr) no
                // longer holds: take ownership of the new one.
                (void)expression.release();
                expression.reset(now);
                top = now;
            }
        }
    }
    // What to select afterwards: the first placeholder left, else a caret after the insertion.
    eExpr* placeholderRow = findSlotRow(top, false);
    eExpr* placeholderWord = placeholderRow != nullptr ? placeholderRow->getChild(0) : nullptr;
    EditResultEntry = SelectionEntry{};
    const int32_t before = activeCount();
    entry->node->insert(*entry, std::move(expression));
    const SelectionEntry result = EditResultEntry;
    // A grid selection takes copies of the expression into its cells and destroys the original
    // with the placeholder found in it: the placeholder is looked for again in what went in.
    if (placeholderWord != nullptr && ActiveRecord != nullptr &&
        !holdsNode(ActiveRecord->m_root, placeholderWord))
        placeholderWord = placeholderWordIn(result);
    if (placeholderWord != nullptr) {
        SelectRange(placeholderWord, 0, 1, 0, 0);
    } else if (result.node != nullptr) {
        SelectRange(result.node, result.end, result.end, 0, 0);
    } else if (activeCount() == before) {
        keepEntry(*entry);
    }
    FinishEditAt(result.node != nullptr ? result.node : placeholderWord);
}

ExprPtr InsertTypedCharacter() {
    FSSRecord style;
    uint8_t colour = 0;
    GetTypingFSS(style, colour);
    return NewCharNode(static_cast<unsigned char>(CurrentCommandCode & 0xFF), style, colour);
}

void GetSelectionFSS(SelectionEntry& entry, FSSRecord& record) {
    InitFSSRecord(s_gathered);
    s_gatheredAny = false;
    s_colourAny = false;
    s_colourCommon = true;
    s_gatheredColour = 0;
    if (entry.node != nullptr) {
        SelectionEntry copy = entry;
        entry.node->traverseSel(copy, false, true, nullptr, &gatherLeafStyle, &gatherCaretStyle);
    }
    record = s_gathered;
}

void GetTypingFSS(FSSRecord& style, uint8_t& colour) {
    if (EntryBeingActedUpon != nullptr && EntryBeingActedUpon->node != nullptr) {
        GetSelectionFSS(*EntryBeingActedUpon, style);
    } else {
        gatherCaretStyle(nullptr);
        style = s_gathered;
        s_colourAny = false;
    }
    if (std::strcmp(style.fontName, kFontUnknown) == 0)
        SetFSSFontName(style, kFontInherit);
    if (IsCharCode(CurrentCommandCode)) {
        const int s = CharCodeStyle(CurrentCommandCode);
        if (s == 0)
            style = DefaultStyle;
        else if (s > 0)
            MergeFSS(style, StyleTable[static_cast<size_t>(s)]);
    }
    const int32_t index = s_typingStyleIndex;
    if (const FSSRecord* entryStyle = StyleRecordAt(index))
        if (entryStyle->slippery != 0)
            s_oneShotTyping = true;
    const int32_t typingColour = ActiveRecord != nullptr ? ActiveRecord->m_typingColour : -1;
    if (typingColour >= 0)
        colour = static_cast<uint8_t>(typingColour);
    else
        colour = s_colourAny && s_colourCommon ? s_gatheredColour : 0;
}

void ApplyStyleToSelection(SelectionEntry& entry) {
    if (entry.node == nullptr)
        return;
    const uint8_t outer = BatchMode;
    BatchMode = 1;
    EditResultEntry = SelectionEntry{};
    SelectionEntry work = entry;
    entry.node->traverseSel(work, true, true, nullptr, &applyPendingToLeaf, &applyPendingToCaret);
    BatchMode = outer;
    // A word split by the traversal names its styled part in the result.
    keepEntry(EditResultEntry.node != nullptr ? EditResultEntry : work);
}

void SetSelectionColour(SelectionEntry& entry, int32_t code) {
    if (entry.node == nullptr)
        return;
    s_colourToSet = static_cast<uint8_t>(code & 0xFF);
    const uint8_t outer = BatchMode;
    BatchMode = 1;
    EditResultEntry = SelectionEntry{};
    SelectionEntry work = entry;
    entry.node->traverseSel(work, true, true, &setNodeColour, nullptr, nullptr);
    BatchMode = outer;
    keepEntry(EditResultEntry.node != nullptr ? EditResultEntry : work);
}

void NudgeSelection(SelectionEntry& entry, int32_t dx, int32_t dy) {
    const int32_t unit = hooks().activeLineUnit != nullptr ? hooks().activeLineUnit() : 1;
    for (eExpr* node : coveredNodes(entry)) {
        NoteEditedNode(node);
        const int32_t size = node->m_size > 0 ? node->m_size : 1;
        const int32_t step = std::max<int32_t>(1, 64 * std::max<int32_t>(unit, 1) / size);
        node->m_nudgeX = std::clamp(node->m_nudgeX + dx * step, -128, 127);
        node->m_nudgeY = std::clamp(node->m_nudgeY + dy * step, -128, 127);
        markNodeEdited(node);
        NoteEditedNode(node);
    }
    keepEntry(entry);
}

void RemoveNudges(SelectionEntry& entry, bool deep) {
    for (eExpr* node : coveredNodes(entry)) {
        zeroNudges(node, deep);
        if (deep)
            InvalidateTree(node);
        markNodeEdited(node);
    }
    keepEntry(entry);
}

void SetViewModes(const uint8_t modes[4]) {
    if (ActiveRecord != nullptr)
        std::memcpy(ActiveRecord->m_options, modes, 4);
    std::copy(modes, modes + 4, ViewModes.begin());
    if (hooks().paletteToggles != nullptr)
        hooks().paletteToggles(modes);
}

const MacroRecord* FindMacro(int32_t code) {
    const int32_t c = code & kCmdCodeMask;
    for (const MacroRecord& macro : MacroList)
        if (macro.code == c)
            return &macro;
    return nullptr;
}
