#include "OverSrcs/eSelect.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/commands/kCommandScope.h"
#include "OverSrcs/eChar.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/oWindows.h"

#include <algorithm>
#include <utility>

ExprPane* ActivePane = nullptr;
ExprPane* LastFrontPane = nullptr;
SelectionRecord* ActiveRecord = nullptr;
SelectionEntry* ActiveList = nullptr;
oPane* ActivePad = nullptr;
SelectionEntry* SavedList = nullptr;
SelectionEntry* SavedListEnd = nullptr;
uint8_t HighlightOn = 0;
SelectionEntry RemovedEntry;
uint8_t TreeChanged = 0;
uint8_t BatchMode = 0;
int32_t ShiftHeld = 0;
int32_t CtrlHeld = 0;
int32_t AltShiftHeld = 0;
uint32_t SelectionListChanges = 0;
void (*ScrollSelectionIntoViewHook)(eExpr* node) = nullptr;

namespace {

constexpr int32_t kInitialCapacity = 2;

int32_t listLength(const SelectionEntry* list) {
    int32_t n = 0;
    if (list != nullptr)
        while (list[n].node != nullptr)
            ++n;
    return n;
}

// Takes entry i out of a terminated list, moving the later ones (and the terminator) down.
void removeAt(SelectionEntry* list, int32_t i) {
    const int32_t n = listLength(list);
    for (int32_t k = i; k < n; ++k)
        list[k] = list[k + 1];
}

// Set while an arrow moves the selection: a caret it leaves beside a lone placeholder takes the
// placeholder whole instead (see WholePlaceholderAt).
bool s_placeholdersWhole = false;

const SelectionEntry* addToActive(const SelectionEntry& entry) {
    if (s_placeholdersWhole)
        return AddSelectionEntry(*ActiveRecord, WholePlaceholderAt(entry));
    return AddSelectionEntry(*ActiveRecord, entry);
}

void ensureArray(SelectionRecord& record) {
    if (record.m_entries != nullptr)
        return;
    record.m_entries = new SelectionEntry[kInitialCapacity];
    record.m_capacity = kInitialCapacity;
}

bool shiftHeld() {
    return ShiftHeld != 0;
}

void add(const SelectionEntry& entry) {
    SetSelection(&entry);
}

void addAndReveal(const SelectionEntry& entry);

void addWhole(const eExpr* node) {
    if (node == nullptr)
        return;
    SelectionEntry whole;
    node->selectWhole(whole);
    add(whole);
}

// One-character leaves: characters, pseudo-characters and pictures (words excluded).
bool isLeaf(const eExpr* node) {
    return !node->isWord() && dynamic_cast<const eChar*>(node) != nullptr;
}

const eWord* asWord(const eExpr* node) {
    return node->isWord() ? static_cast<const eWord*>(node) : nullptr;
}

int32_t wordStep(const eWord* word) {
    return const_cast<eWord*>(word)->isDoubleByte() ? 2 : 1;
}

// The entry that stands for a node one level up: the node as an item of its parent.
SelectionEntry lifted(const eExpr* node) {
    return {node->m_parent, node->m_index, node->m_index + 1, node->m_index, node->m_index + 1};
}

SelectionEntry merged(eExpr* node, const SelectionEntry& a, const SelectionEntry& b) {
    return {node, std::min(a.start, b.start), std::max(a.end, b.end),
            std::min(a.rowStart, b.rowStart), std::max(a.rowEnd, b.rowEnd)};
}

// The row as seen from an entry inside it: row, word operations continue through their row.
void rowMoveLeft(eExpr* row, const SelectionEntry& entry);
void rowMoveRight(eExpr* row, const SelectionEntry& entry);

void rowMoveLeft(eExpr* row, const SelectionEntry& entry) {
    if (entry.start != entry.end && !shiftHeld()) {
        PlaceCaret(row, std::min(entry.start, entry.end), 0, entry);
        return;
    }
    const int32_t start = std::min(entry.start, entry.end);
    if (start > 0 && start - 1 < row->childCount()) {
        SelectLastIn(row->getChild(start - 1), entry);
        return;
    }
    eExpr* parent = row->m_parent;
    if (parent != nullptr && row->m_index > 0) {
        eExpr* sibling = parent->getChild(row->m_index - 1);
        if (sibling != nullptr) {
            PlaceCaret(sibling, sibling->childCount(), 0, entry);
            return;
        }
    }
    if (parent != nullptr && parent->m_parent != nullptr) {
        PlaceCaret(parent->m_parent, parent->m_index, 0, entry);
        return;
    }
    add(entry);
}

void rowMoveRight(eExpr* row, const SelectionEntry& entry) {
    if (entry.start != entry.end && !shiftHeld()) {
        PlaceCaret(row, std::max(entry.start, entry.end), 0, entry);
        return;
    }
    const int32_t end = std::max(entry.start, entry.end);
    if (end < row->childCount()) {
        SelectFirstIn(row->getChild(end), entry);
        return;
    }
    eExpr* parent = row->m_parent;
    if (parent != nullptr && row->m_index + 1 < parent->childCount()) {
        if (eExpr* sibling = parent->getChild(row->m_index + 1)) {
            PlaceCaret(sibling, 0, 0, entry);
            return;
        }
    }
    if (parent != nullptr && parent->m_parent != nullptr) {
        PlaceCaret(parent->m_parent, parent->m_index + 1, 0, entry);
        return;
    }
    add(entry);
}

// Whether the rectangle reaches beyond the visible zone of the active pad on any side.
bool outsideVisibleZone(const Zone& zone) {
    if (ActivePad == nullptr)
        return false;
    const Zone& visible = ActivePad->bounds();
    return zone.left < visible.left || zone.top < visible.top || zone.right > visible.right ||
           zone.bottom > visible.bottom;
}

// A dead entry of the saved list keeps its place with a null node: the dispatcher walks the list up
// to SavedListEnd and passes over such entries, so the later ones are still visited in order.
void forgetInSavedList(eExpr* node) {
    if (SavedList == nullptr || SavedListEnd == nullptr)
        return;
    for (SelectionEntry* e = SavedList; e < SavedListEnd; ++e)
        if (e->node == node)
            e->node = nullptr;
}

void endExtendRun(SelectionRecord& record) {
    record.m_extendAnchor = SelectionEntry{};
    record.m_extendFocus = SelectionEntry{};
    record.m_extendResult = SelectionEntry{};
}

void hookSelectRange(eExpr* node, int32_t start, int32_t end, int32_t rowStart, int32_t rowEnd) {
    SelectRange(node, start, end, rowStart, rowEnd);
}

void hookSetSelection(const SelectionEntry& entry) {
    SetSelection(&entry);
}

TypingStyleRef hookTypingStyle() {
    if (ActiveRecord == nullptr)
        return TypingStyleRef{};
    return TypingStyleRef{&ActiveRecord->m_typingStyle, &ActiveRecord->m_typingColour};
}

} // namespace

// ---- The record ---------------------------------------------------------------------------------

SelectionRecord::~SelectionRecord() {
    DestroySelectionRecord(*this);
}

int32_t SelectionRecord::count() const {
    return listLength(m_entries);
}

void InstallSelectionHooks() {
    ModelHooks& hooks = TheModelHooks();
    hooks.selectRange = hookSelectRange;
    hooks.setSelection = hookSetSelection;
    hooks.nodeDestroyed = ForgetSelectionsOf;
    hooks.selectionsWithin = SelectionsWithin;
    hooks.retargetSelections = RetargetSelections;
    hooks.activeTypingStyle = hookTypingStyle;
}

void CreateSelectionRecord(SelectionRecord& record, ExprPtr expression, uint8_t option1,
                           uint8_t option2, uint8_t option3, uint8_t option4) {
    DestroySelectionRecord(record);
    record.m_entries = new SelectionEntry[kInitialCapacity];
    record.m_capacity = kInitialCapacity;
    eExpr* expr = expression.get();
    record.m_root = NewHeader(std::move(expression), nullptr).release();
    record.m_background = kColorWhite;
    record.m_noBackground = 1;
    InitFSSRecord(record.m_typingStyle);
    record.m_typingColour = -1;
    record.m_options[0] = option1;
    record.m_options[1] = option2;
    record.m_options[2] = option3;
    record.m_options[3] = option4;
    // A new expression that is only the empty-slot placeholder starts with it selected, so the
    // first keystroke replaces it.
    if (expr != nullptr && expr->childCount() == 1) {
        const eExpr* only = expr->getChild(0);
        const eWord* word = only != nullptr ? asWord(only) : nullptr;
        if (word != nullptr && word->view() == "?") {
            SelectionEntry whole;
            expr->selectWhole(whole);
            AddSelectionEntry(record, whole);
        }
    }
}

void InitSelection(SelectionRecord& record, OwnedNode<eHeader> root) {
    ensureArray(record);
    ClearSelectionList(record);
    if (root.get() != record.m_root) {
        eHeader* old = record.m_root;
        record.m_root = root.release();
        NoteTreeEdit();
        if (old != nullptr)
            old->destroy(kDestroyFree);
    } else {
        (void)root.release();
    }
    // The old tree's destruction may have touched the list; it is empty again either way.
    ClearSelectionList(record);
    record.m_background = kColorWhite;
    record.m_noBackground = 1;
    InitFSSRecord(record.m_typingStyle);
    record.m_typingColour = -1;
}

void DestroySelectionRecord(SelectionRecord& record) {
    if (ActiveRecord == &record) {
        ActiveRecord = nullptr;
        ActiveList = nullptr;
    }
    if (record.m_root != nullptr) {
        eHeader* root = record.m_root;
        record.m_root = nullptr;
        // A whole tree going (its document closed) is a change to it like any other.
        NoteTreeEdit();
        root->destroy(kDestroyFree);
    }
    delete[] record.m_entries;
    record.m_entries = nullptr;
    record.m_capacity = 0;
    endExtendRun(record);
}

void ClearSelectionList(SelectionRecord& record) {
    ++SelectionListChanges;
    if (record.m_entries != nullptr)
        record.m_entries[0] = SelectionEntry{};
    // A selection made afresh starts no Shift+arrow run of its own.
    endExtendRun(record);
}

bool IsAncestorOrSelf(const eExpr* a, const eExpr* b) {
    for (const eExpr* n = b; n != nullptr; n = n->m_parent)
        if (n == a)
            return true;
    return false;
}

const SelectionEntry* AddSelectionEntry(SelectionRecord& record, const SelectionEntry& entry) {
    if (entry.node == nullptr)
        return nullptr;
    // A record holds places in its own tree only. A place in another tree (a command that began in
    // one pane, whose dialog put another pane in front before it kept its selection) would be
    // drawn, and acted on, after that tree is gone.
    if (record.m_root != nullptr && !IsAncestorOrSelf(record.m_root, entry.node))
        return nullptr;
    ensureArray(record);
    ++SelectionListChanges;
    const int32_t n = record.count();
    for (int32_t i = 0; i < n; ++i) {
        eExpr* listed = record.m_entries[i].node;
        if (IsAncestorOrSelf(listed, entry.node) || IsAncestorOrSelf(entry.node, listed)) {
            RemovedEntry = record.m_entries[i];
            removeAt(record.m_entries, i);
            return &RemovedEntry;
        }
    }
    if (n >= record.m_capacity - 1) {
        const int32_t capacity = record.m_capacity * 2;
        SelectionEntry* grown = new SelectionEntry[static_cast<size_t>(capacity)];
        std::copy(record.m_entries, record.m_entries + n + 1, grown);
        delete[] record.m_entries;
        record.m_entries = grown;
        record.m_capacity = capacity;
        if (ActiveRecord == &record)
            ActiveList = grown;
    }
    record.m_entries[n] = entry;
    record.m_entries[n + 1] = SelectionEntry{};
    return nullptr;
}

void RemoveSelectionEntry(SelectionRecord& record, const eExpr* node) {
    ++SelectionListChanges;
    const int32_t n = record.count();
    for (int32_t i = 0; i < n; ++i) {
        if (record.m_entries[i].node == node) {
            removeAt(record.m_entries, i);
            return;
        }
    }
}

const SelectionEntry* SelectRange(eExpr* node, int32_t start, int32_t end, int32_t rowStart,
                                  int32_t rowEnd) {
    if (ActiveRecord == nullptr)
        return nullptr;
    return addToActive(SelectionEntry{node, start, end, rowStart, rowEnd});
}

const SelectionEntry* SetSelection(const SelectionEntry* entry) {
    if (entry == nullptr || ActiveRecord == nullptr)
        return nullptr;
    return addToActive(*entry);
}

SelectionEntry* SaveSelectionList(bool eraseHighlight) {
    if (ActiveRecord == nullptr)
        return nullptr;
    ensureArray(*ActiveRecord);
    ++SelectionListChanges;
    // The list is about to change: what is shown of it goes first, and the redraw after the
    // command shows the new one.
    if (eraseHighlight)
        RedrawSelectionHighlight();
    ActiveList = ActiveRecord->m_entries;
    const int32_t n = ActiveRecord->count();
    SelectionEntry* copy = new SelectionEntry[static_cast<size_t>(ActiveRecord->m_capacity)];
    std::copy(ActiveRecord->m_entries, ActiveRecord->m_entries + n + 1, copy);
    // A copy still remembered from an unfinished command would leak; it is replaced.
    delete[] SavedList;
    SavedList = copy;
    SavedListEnd = copy + n;
    // Emptied without ending a Shift+arrow run: the command about to run may be its next step.
    ActiveRecord->m_entries[0] = SelectionEntry{};
    return copy;
}

void FreeSelectionList(SelectionEntry* copy) {
    if (copy != SavedList)
        KV_ASSERT_FAILED("eSelect: not the saved selection list");
    // Only the remembered copy is ever freed: another block may be the active list itself.
    delete[] SavedList;
    SavedList = nullptr;
    SavedListEnd = nullptr;
}

void ClampEntryToNode(SelectionEntry& entry, eExpr* node) {
    entry.node = node;
    if (node == nullptr)
        return;
    SelectionEntry whole;
    node->selectWhole(whole);
    entry.start = std::min(entry.start, whole.end);
    entry.end = std::min(entry.end, whole.end);
    entry.rowStart = std::min(entry.rowStart, whole.rowEnd);
    entry.rowEnd = std::min(entry.rowEnd, whole.rowEnd);
}

void RetargetSelections(eExpr* from, eExpr* to) {
    if (from == nullptr)
        return;
    if (to == nullptr) {
        ForgetSelectionsOf(from);
        return;
    }
    ++SelectionListChanges;
    if (ActiveRecord != nullptr &&
        (ActiveRecord->m_extendAnchor.node == from || ActiveRecord->m_extendFocus.node == from ||
         ActiveRecord->m_extendResult.node == from))
        endExtendRun(*ActiveRecord);
    if (SavedList != nullptr && SavedListEnd != nullptr)
        for (SelectionEntry* e = SavedList; e < SavedListEnd; ++e)
            if (e->node == from)
                ClampEntryToNode(*e, to);
    if (ActiveList != nullptr)
        for (SelectionEntry* e = ActiveList; e->node != nullptr; ++e)
            if (e->node == from)
                ClampEntryToNode(*e, to);
}

bool SelectionsWithin(const eExpr* subtree) {
    if (subtree == nullptr)
        return false;
    // The same entries ForgetSelectionsOf looks at.
    if (ActiveRecord != nullptr && (IsAncestorOrSelf(subtree, ActiveRecord->m_extendAnchor.node) ||
                                    IsAncestorOrSelf(subtree, ActiveRecord->m_extendFocus.node) ||
                                    IsAncestorOrSelf(subtree, ActiveRecord->m_extendResult.node)))
        return true;
    if (ActiveList != nullptr)
        for (const SelectionEntry* e = ActiveList; e->node != nullptr; ++e)
            if (IsAncestorOrSelf(subtree, e->node))
                return true;
    if (SavedList != nullptr && SavedListEnd != nullptr)
        for (const SelectionEntry* e = SavedList; e < SavedListEnd; ++e)
            if (IsAncestorOrSelf(subtree, e->node))
                return true;
    return false;
}

void ForgetSelectionsOf(eExpr* node) {
    if (node == nullptr)
        return;
    if (ActiveRecord != nullptr &&
        (ActiveRecord->m_extendAnchor.node == node || ActiveRecord->m_extendFocus.node == node ||
         ActiveRecord->m_extendResult.node == node))
        endExtendRun(*ActiveRecord);
    if (ActiveList != nullptr) {
        for (int32_t i = listLength(ActiveList) - 1; i >= 0; --i)
            if (ActiveList[i].node == node) {
                removeAt(ActiveList, i);
                ++SelectionListChanges;
            }
    }
    forgetInSavedList(node);
}

void SelectAll() {
    if (ActiveRecord == nullptr || ActiveRecord->m_root == nullptr)
        return;
    RedrawSelectionHighlight();
    ClearSelectionList(*ActiveRecord);
    eExpr* root = ActiveRecord->m_root;
    if (root->childCount() > 0)
        addWhole(root->getChild(0));
    RedrawSelectionHighlight();
}

// ---- The highlight
// --------------------------------------------------------------------------------

namespace {

void prepareHighlightDrawing() {
    if (ActivePad != nullptr)
        DrawState.measurePort = ActivePad;
    DrawState.rootOrigin = oPoint{0, 0};
    SetDrawOptions(ActiveRecord->m_options[0], ActiveRecord->m_options[1],
                   ActiveRecord->m_options[2], ActiveRecord->m_options[3]);
}

// The three bands of a wrapped range (first line, middle, last line) as rectangles; empty ones are
// left out. Returns how many were written.
int bandZones(const Zone& zone, const int32_t bands[4], Zone out[3]) {
    if (bands[1] == 0 && bands[3] == 0) {
        out[0] = zone;
        return 1;
    }
    int n = 0;
    const Zone first{zone.left + bands[0], zone.top, zone.right, zone.top + bands[1], 0, 0};
    const Zone middle{zone.left, zone.top + bands[1], zone.right, zone.bottom - bands[3], 0, 0};
    const Zone last{zone.left, zone.bottom - bands[3], zone.right - bands[2], zone.bottom, 0, 0};
    for (const Zone& z : {first, middle, last})
        if (z.right > z.left && z.bottom > z.top)
            out[n++] = z;
    return n;
}

void drawOne(const SelectionEntry& entry, bool caretOn, bool rangeOn) {
    Zone zone;
    int32_t bands[4];
    if (!EntryHighlightArea(entry, zone, bands))
        return;
    // The pad's clip is left as the caller set it: a paint limits the highlight to what it redrew,
    // so the parts outside keep their state.
    if (zone.left == zone.right) {
        if (caretOn)
            ActivePad->invertZone(Zone{zone.left, zone.top, zone.right + 1, zone.bottom, 0, 0});
        return;
    }
    if (zone.top == zone.bottom) {
        if (caretOn)
            ActivePad->invertZone(Zone{zone.left, zone.top, zone.right, zone.bottom + 1, 0, 0});
        return;
    }
    if (!rangeOn)
        return;
    Zone parts[3];
    const int n = bandZones(zone, bands, parts);
    for (int i = 0; i < n; ++i)
        ActivePad->hiliteZone(parts[i]);
}

} // namespace

bool EntryHighlightArea(const SelectionEntry& entry, Zone& zone, int32_t bands[4]) {
    if (entry.node == nullptr || ActiveRecord == nullptr)
        return false;
    prepareHighlightDrawing();
    const Zone& abs = LocateNode(entry.node);
    if (abs.top > abs.bottom || abs.left > abs.right)
        return false;
    std::fill(DrawState.highlightBands, DrawState.highlightBands + 4, 0);
    entry.node->getHighlightArea(entry);
    zone = DrawState.absZone;
    std::copy(DrawState.highlightBands, DrawState.highlightBands + 4, bands);
    return true;
}

bool PointOnEntryHighlight(const SelectionEntry& entry, oPoint point) {
    Zone zone;
    int32_t bands[4];
    if (!EntryHighlightArea(entry, zone, bands))
        return false;
    Zone parts[3];
    const int n = bandZones(zone, bands, parts);
    for (int i = 0; i < n; ++i)
        if (ZoneContainsPoint(parts[i], point))
            return true;
    return false;
}

void DrawEntryHighlight(const SelectionEntry& entry, bool caretOn, bool rangeOn) {
    if (ActiveRecord == nullptr || ActivePad == nullptr)
        return;
    drawOne(entry, caretOn, rangeOn);
}

void DrawSelectionHighlight(bool caretOn, bool rangeOn) {
    if (ActiveRecord == nullptr || ActivePad == nullptr || ActiveRecord->m_entries == nullptr)
        return;
    const int32_t n = ActiveRecord->count();
    for (int32_t i = 0; i < n; ++i) {
        // A copy: locating a node may lay it out, which never changes the list, but the entry is
        // read after the calls.
        const SelectionEntry entry = ActiveRecord->m_entries[i];
        drawOne(entry, caretOn, rangeOn);
    }
}

void RedrawSelectionHighlight() {
    DrawSelectionHighlight(HighlightOn != 0, true);
}

void ShowSelectionHighlight() {
    DrawSelectionHighlight(true, true);
}

void BlinkSelectionHighlight() {
    DrawSelectionHighlight(true, false);
    HighlightOn = HighlightOn != 0 ? 0 : 1;
}

// ---- Selection movement -------------------------------------------------------------------------
// Rows, words and templates move here by their class; grids answer through their own virtual
// operations, which know their column and row lines.

void PlaceCaret(eExpr* node, int32_t position, int32_t rowPosition, const SelectionEntry& old) {
    if (node == nullptr)
        return;
    const SelectionEntry caret{node, position, position, rowPosition, rowPosition};
    SelectionEntry result = caret;
    bool extended = false;
    if (shiftHeld() && old.node != nullptr) {
        // The old range, then up to three levels above it, looking for the target node.
        SelectionEntry up = old;
        for (int level = 0; level <= 3 && up.node != nullptr; ++level) {
            if (up.node == node) {
                result = merged(node, up, caret);
                extended = true;
                break;
            }
            up = lifted(up.node);
        }
        // The caret lifted up to three levels, looking for the old entry's node.
        up = caret;
        for (int level = 0; !extended && level <= 3 && up.node != nullptr; ++level) {
            if (up.node == old.node) {
                result = merged(old.node, old, up);
                extended = true;
                break;
            }
            up = lifted(up.node);
        }
        if (!extended)
            add(old);
    }
    addAndReveal(result);
}

namespace {

// A caret position: a position between the children of a row or between the characters of a word.
struct Spot {
    eExpr* node = nullptr;
    int32_t pos = 0;
};

int32_t extentOf(const eExpr* node) {
    if (const eWord* word = asWord(node))
        return word->length();
    return node->childCount();
}

bool isRowOrWord(const eExpr* node) {
    return node->isWord() || node->isString();
}

bool inTree(const eExpr* root, const eExpr* target) {
    if (root == nullptr)
        return false;
    if (root == target)
        return true;
    for (int32_t i = 0; i < root->childCount(); ++i)
        if (inTree(root->getChild(i), target))
            return true;
    return false;
}

// The lowest row or word holding both nodes (a template or grid around both gives the row it
// stands in); null when there is none.
eExpr* coverOf(eExpr* a, const eExpr* b) {
    eExpr* common = a;
    while (common != nullptr && !IsAncestorOrSelf(common, b))
        common = common->m_parent;
    while (common != nullptr && !isRowOrWord(common))
        common = common->m_parent;
    return common;
}

// Where a spot stands as seen from the row `level` above it: a position between its elements
// (lo == hi) when the spot is at an edge of a word of the row, else the element it lies inside.
std::pair<int32_t, int32_t> liftTo(const eExpr* level, const Spot& spot) {
    if (spot.node == level)
        return {spot.pos, spot.pos};
    const eExpr* child = spot.node;
    while (child->m_parent != level)
        child = child->m_parent;
    const int32_t i = child->m_index;
    if (child == spot.node && child->isWord()) {
        if (spot.pos <= 0)
            return {i, i};
        if (spot.pos >= extentOf(child))
            return {i + 1, i + 1};
    }
    return {i, i + 1};
}

// Moves the spot one step: a character inside a word, one element in a row (a spacing element
// goes together with the element beyond it, as it shows nothing of its own), and out of a row
// through the next slot or past its template as the plain arrows go. False: nowhere to go.
bool stepSpot(Spot& spot, int direction) {
    if (const eWord* word = asWord(spot.node)) {
        const int32_t p = spot.pos + direction * wordStep(word);
        if (p >= 0 && p <= word->length()) {
            spot.pos = p;
            return true;
        }
        eExpr* row = spot.node->m_parent;
        if (row == nullptr || !row->isString())
            return false;
        spot = Spot{row, spot.node->m_index + (direction > 0 ? 1 : 0)};
    }
    eExpr* row = spot.node;
    const int32_t count = row->childCount();
    int32_t p = std::clamp(spot.pos, 0, count);
    if (direction < 0 && p > 0) {
        --p;
        while (p > 0 && row->getChild(p) != nullptr && row->getChild(p)->isSpace())
            --p;
        spot.pos = p;
        return true;
    }
    if (direction > 0 && p < count) {
        ++p;
        while (p < count && row->getChild(p - 1) != nullptr && row->getChild(p - 1)->isSpace())
            ++p;
        spot.pos = p;
        return true;
    }
    eExpr* parent = row->m_parent;
    if (parent == nullptr)
        return false;
    const int32_t next = row->m_index + direction;
    if (next >= 0 && next < parent->childCount() && parent->getChild(next) != nullptr &&
        parent->getChild(next)->isString()) {
        eExpr* slot = parent->getChild(next);
        spot = Spot{slot, direction < 0 ? slot->childCount() : 0};
        return true;
    }
    eExpr* outer = parent->m_parent;
    if (outer == nullptr || !outer->isString())
        return false;
    spot = Spot{outer, parent->m_index + (direction > 0 ? 1 : 0)};
    return true;
}

// Adds the entry; when its highlight reaches beyond the visible zone the pane lays out again and
// scrolls it into view.
void addAndReveal(const SelectionEntry& entry) {
    add(entry);
    Zone zone;
    int32_t bands[4];
    if (ScrollSelectionIntoViewHook != nullptr && EntryHighlightArea(entry, zone, bands) &&
        outsideVisibleZone(zone))
        ScrollSelectionIntoViewHook(entry.node);
}

} // namespace

void ExtendSelection(eExpr* node, const SelectionEntry& entry, int direction) {
    if (node == nullptr || ActiveRecord == nullptr)
        return;
    SelectionRecord& record = *ActiveRecord;
    Spot anchor;
    Spot focus;
    const bool continuing = record.m_extendResult.node != nullptr &&
                            record.m_extendResult == entry && entry.node == node &&
                            inTree(record.m_root, record.m_extendAnchor.node) &&
                            inTree(record.m_root, record.m_extendFocus.node);
    if (continuing) {
        anchor = Spot{record.m_extendAnchor.node, record.m_extendAnchor.start};
        focus = Spot{record.m_extendFocus.node, record.m_extendFocus.start};
    } else {
        // A selection not made by these steps: its far side stays, its near side moves.
        const int32_t lo = std::clamp(std::min(entry.start, entry.end), 0, extentOf(node));
        const int32_t hi = std::clamp(std::max(entry.start, entry.end), 0, extentOf(node));
        anchor = Spot{node, direction < 0 ? hi : lo};
        focus = Spot{node, direction < 0 ? lo : hi};
    }
    anchor.pos = std::clamp(anchor.pos, 0, extentOf(anchor.node));
    focus.pos = std::clamp(focus.pos, 0, extentOf(focus.node));

    SelectionEntry result = entry;
    const Spot before = focus;
    eExpr* level = nullptr;
    if (stepSpot(focus, direction))
        level = coverOf(anchor.node, focus.node);
    if (level == nullptr) {
        // Nowhere to go: the selection and the run stay as they were (the moving end too, even
        // where the step had already left its word before finding no way on).
        add(entry);
        record.m_extendAnchor = SelectionEntry{anchor.node, anchor.pos, anchor.pos, 0, 0};
        record.m_extendFocus = SelectionEntry{before.node, before.pos, before.pos, 0, 0};
        record.m_extendResult = entry;
        return;
    }
    auto [alo, ahi] = liftTo(level, anchor);
    const auto [flo, fhi] = liftTo(level, focus);
    int32_t f = direction < 0 ? flo : fhi;
    if (alo < ahi && f >= alo && f <= ahi) {
        // The moving end has come back to the element the run started inside.
        eExpr* inner = level->getChild(alo);
        if (inner == anchor.node && inner->isWord()) {
            // Inside a word: back to a character range of it, from the side the end came from.
            level = inner;
            f = f == alo ? 0 : extentOf(inner);
            alo = ahi = anchor.pos;
        } else {
            // A template or grid the run started in stays selected whole; the end passes over it.
            f = direction < 0 ? alo : ahi;
        }
    }
    if (alo == ahi && f == alo)
        result = SelectionEntry{anchor.node, anchor.pos, anchor.pos, 0, 0}; // back to the start
    else
        result = SelectionEntry{level, std::min(alo, f), std::max(ahi, f), 0, 0};
    addAndReveal(result);
    record.m_extendAnchor = SelectionEntry{anchor.node, anchor.pos, anchor.pos, 0, 0};
    record.m_extendFocus = SelectionEntry{level, f, f, 0, 0};
    record.m_extendResult = result;
}

void SelectFirstIn(eExpr* node, const SelectionEntry& old) {
    if (node == nullptr)
        return;
    if (node->isMatrix()) {
        SelectionEntry entry = old;
        node->selectFirst(entry);
        return;
    }
    if (const eWord* word = asWord(node)) {
        PlaceCaret(node, std::min(wordStep(word), word->length()), 0, old);
        return;
    }
    if (!isLeaf(node) && node->childCount() > 0 && node->getChild(0) != nullptr) {
        PlaceCaret(node->getChild(0), 0, 0, old);
        return;
    }
    if (node->m_parent != nullptr)
        PlaceCaret(node->m_parent, node->m_index + 1, 0, old);
}

void SelectLastIn(eExpr* node, const SelectionEntry& old) {
    if (node == nullptr)
        return;
    if (node->isMatrix()) {
        SelectionEntry entry = old;
        node->selectLast(entry);
        return;
    }
    if (const eWord* word = asWord(node)) {
        PlaceCaret(node, std::max(word->length() - wordStep(word), 0), 0, old);
        return;
    }
    const int32_t n = node->childCount();
    if (!isLeaf(node) && n > 0 && node->getChild(n - 1) != nullptr) {
        eExpr* last = node->getChild(n - 1);
        PlaceCaret(last, last->childCount(), 0, old);
        return;
    }
    if (node->m_parent != nullptr)
        PlaceCaret(node->m_parent, node->m_index, 0, old);
}

void MoveLeftIn(eExpr* node, SelectionEntry& entry) {
    if (node == nullptr || isLeaf(node))
        return;
    if (node->isMatrix()) {
        node->moveLeft(entry);
        return;
    }
    if (shiftHeld() && isRowOrWord(node)) {
        ExtendSelection(node, entry, -1);
        return;
    }
    if (node->isString()) {
        rowMoveLeft(node, entry);
        return;
    }
    if (const eWord* word = asWord(node)) {
        const int32_t start = std::min(entry.start, entry.end);
        if (entry.start != entry.end && !shiftHeld())
            PlaceCaret(node, start, 0, entry);
        else if (start > 0)
            PlaceCaret(node, std::max(start - wordStep(word), 0), 0, entry);
        else if (node->m_parent != nullptr)
            rowMoveLeft(node->m_parent,
                        SelectionEntry{node->m_parent, node->m_index, node->m_index, 0, 0});
        else
            add(entry);
        return;
    }
    add(entry);
}

void MoveRightIn(eExpr* node, SelectionEntry& entry) {
    if (node == nullptr || isLeaf(node))
        return;
    if (node->isMatrix()) {
        node->moveRight(entry);
        return;
    }
    if (shiftHeld() && isRowOrWord(node)) {
        ExtendSelection(node, entry, 1);
        return;
    }
    if (node->isString()) {
        rowMoveRight(node, entry);
        return;
    }
    if (const eWord* word = asWord(node)) {
        const int32_t end = std::max(entry.start, entry.end);
        if (entry.start != entry.end && !shiftHeld())
            PlaceCaret(node, end, 0, entry);
        else if (end < word->length())
            PlaceCaret(node, std::min(end + wordStep(word), word->length()), 0, entry);
        else if (node->m_parent != nullptr)
            rowMoveRight(node->m_parent, SelectionEntry{node->m_parent, node->m_index + 1,
                                                        node->m_index + 1, 0, 0});
        else
            add(entry);
        return;
    }
    add(entry);
}

void MoveUpIn(eExpr* node, SelectionEntry& entry) {
    // Only grids (above) move vertically; everything else keeps its entry.
    if (node == nullptr || isLeaf(node))
        return;
    if (node->isMatrix()) {
        node->moveUp(entry);
        return;
    }
    add(entry);
}

void MoveDownIn(eExpr* node, SelectionEntry& entry) {
    if (node == nullptr || isLeaf(node))
        return;
    if (node->isMatrix()) {
        node->moveDown(entry);
        return;
    }
    add(entry);
}

void SelectFirstSlotIn(eExpr* node, SelectionEntry& entry) {
    if (node == nullptr || isLeaf(node))
        return;
    if (node->isMatrix()) {
        node->selectFirstSlot(entry);
        return;
    }
    eExpr* row = node->isString() ? node : (node->isWord() ? node->m_parent : nullptr);
    if (row != nullptr && row->isString() && row->m_parent != nullptr) {
        SelectionEntry inside;
        row->m_parent->selectInside(inside);
        if (inside.node != nullptr) {
            add(inside);
            return;
        }
    }
    add(entry);
}

// Whether Tab stops in slot `index` of a template: not on a big operator's sign, nor in a script,
// limit or prescript slot the template leaves empty.
static bool SlotTakesTab(const eExpr* parent, int32_t index) {
    const eExpr* slot = parent != nullptr ? parent->getChild(index) : nullptr;
    if (slot == nullptr)
        return false;
    if (const auto* scripts = dynamic_cast<const eSSScript*>(parent)) {
        const bool empty = slot->isString() && slot->childCount() == 0;
        // A big operator's sign (the base after the operand) is a fixed symbol, not a slot to
        // type in; with prescripts the base after the operand is the user's own symbol.
        const int32_t base = (scripts->m_kind & kScriptOperator) != 0 ? 1 : 0;
        if (IsOperatorSignSlot(parent, index))
            return false;
        // Scripts, limits, prescripts and an operand left empty are parts the template does not
        // show: a superscript-only template keeps an empty subscript slot.
        return index == base || !empty;
    }
    return true;
}

void SelectNextSlotIn(eExpr* node, SelectionEntry& entry) {
    if (node == nullptr || isLeaf(node))
        return;
    if (node->isMatrix()) {
        node->selectNextSlot(entry);
        return;
    }
    eExpr* row = node->isString() ? node : (node->isWord() ? node->m_parent : nullptr);
    if (row == nullptr || !row->isString())
        return; // templates add nothing
    eExpr* parent = row->m_parent;
    if (parent == nullptr || parent->childCount() == 0) {
        add(entry);
        return;
    }
    // The next slot that takes Tab, wrapping; back to this row when no other slot does.
    const int32_t count = parent->childCount();
    int32_t next = row->m_index;
    for (int32_t step = 1; step <= count; ++step) {
        const int32_t i = (row->m_index + step) % count;
        if (step == count || SlotTakesTab(parent, i)) {
            next = i;
            break;
        }
    }
    if (eExpr* slot = parent->getChild(next))
        addWhole(slot);
    else
        add(entry);
}

void SelectPartsIn(eExpr* node, SelectionEntry& entry) {
    if (node == nullptr || isLeaf(node))
        return;
    if (node->isMatrix()) {
        node->selectParts(entry);
        return;
    }
    if (node->isString()) {
        const int32_t before = ActiveRecord != nullptr ? ActiveRecord->count() : 0;
        const int32_t lo = std::clamp(std::min(entry.start, entry.end), 0, node->childCount());
        const int32_t hi = std::clamp(std::max(entry.start, entry.end), 0, node->childCount());
        for (int32_t i = lo; i < hi; ++i) {
            eExpr* element = node->getChild(i);
            if (element == nullptr)
                continue;
            for (int32_t k = 0; k < element->childCount(); ++k)
                addWhole(element->getChild(k));
            if (const eWord* word = asWord(element))
                SelectRange(element, 0, word->length(), 0, 0);
        }
        // Nothing inside to select (a caret, or only characters): the selection stays where it was
        // rather than vanishing.
        if (ActiveRecord != nullptr && ActiveRecord->count() == before)
            add(entry);
        return;
    }
    if (node->isWord() || node->childCount() > 0) {
        add(entry);
        return;
    }
}

void SelectParentIn(eExpr* node, SelectionEntry& entry) {
    if (node == nullptr || isLeaf(node))
        return;
    if (node->isMatrix()) {
        node->selectParent(entry);
        return;
    }
    if (node->isString()) {
        const bool whole = std::min(entry.start, entry.end) == 0 &&
                           std::max(entry.start, entry.end) == node->childCount();
        eExpr* parent = node->m_parent;
        if (whole && parent != nullptr && parent->m_parent != nullptr)
            addWhole(parent);
        else
            SelectRange(node, 0, node->childCount(), 0, 0);
        return;
    }
    if (const eWord* word = asWord(node)) {
        eExpr* row = node->m_parent;
        if (row == nullptr) {
            add(entry);
            return;
        }
        const bool wholeWord = std::min(entry.start, entry.end) == 0 &&
                               std::max(entry.start, entry.end) == word->length();
        // Only when the row itself sits inside something: at the top the whole row stays selected,
        // as the row's own outward step does.
        if (wholeWord && row->childCount() == 1 && row->m_parent != nullptr &&
            row->m_parent->m_parent != nullptr)
            addWhole(row->m_parent);
        else
            addWhole(row);
        return;
    }
    if (node->m_parent != nullptr)
        addWhole(node->m_parent);
    else
        add(entry);
}

void SelectChildIn(eExpr* node, SelectionEntry& entry) {
    if (node == nullptr || isLeaf(node))
        return;
    if (node->isMatrix()) {
        node->selectChild(entry);
        return;
    }
    if (node->isString()) {
        const int32_t lo = std::min(entry.start, entry.end);
        const int32_t hi = std::max(entry.start, entry.end);
        if (hi - lo == 1 && lo >= 0 && lo < node->childCount()) {
            eExpr* element = node->getChild(lo);
            if (element != nullptr && element->childCount() > 0 && element->getChild(0) != nullptr)
                addWhole(element->getChild(0));
            else
                addWhole(element);
            return;
        }
        if (lo >= node->childCount() || lo < 0) {
            add(entry);
            return;
        }
        addWhole(node->getChild(lo));
        return;
    }
    if (node->isWord()) {
        add(entry);
        return;
    }
    if (node->childCount() > 0 && node->getChild(0) != nullptr)
        addWhole(node->getChild(0));
    else
        add(entry);
}

eExpr* LonePlaceholderRow(const SelectionEntry& entry) {
    eExpr* row = entry.node;
    if (row != nullptr && row->isWord())
        row = row->m_parent;
    if (row == nullptr || !row->isString() || row->childCount() != 1)
        return nullptr;
    const eWord* word = asWord(row->getChild(0));
    if (word == nullptr || word->view() != "?")
        return nullptr;
    // The word's own carets and ranges all lie at or between its two edges.
    if (entry.node != row)
        return row;
    const int32_t low = std::min(entry.start, entry.end);
    const int32_t high = std::max(entry.start, entry.end);
    return low >= 0 && high <= 1 ? row : nullptr;
}

SelectionEntry WholePlaceholderAt(const SelectionEntry& entry) {
    if (entry.start != entry.end)
        return entry;
    eExpr* row = LonePlaceholderRow(entry);
    if (row == nullptr)
        return entry;
    SelectionEntry whole;
    row->selectWhole(whole);
    return whole;
}

namespace {

bool applyMove(int32_t code, eExpr* node, SelectionEntry& entry) {
    switch (code) {
    case kCmdSelectInward:
        SelectPartsIn(node, entry);
        return true;
    case kCmdSelectOutward:
        SelectParentIn(node, entry);
        return true;
    case kCmdSelectFirst:
        SelectChildIn(node, entry);
        return true;
    case kCmdNextSlot:
        SelectNextSlotIn(node, entry);
        return true;
    case kCmdEscape:
        SelectFirstSlotIn(node, entry);
        return true;
    case kCmdMoveLeft:
        MoveLeftIn(node, entry);
        return true;
    case kCmdMoveRight:
        MoveRightIn(node, entry);
        return true;
    case kCmdMoveUp:
        MoveUpIn(node, entry);
        return true;
    case kCmdMoveDown:
        MoveDownIn(node, entry);
        return true;
    default:
        return false;
    }
}

} // namespace

bool ApplySelectionMove(int32_t code, eExpr* node, SelectionEntry& entry) {
    if (code >= kCmdMoveLeft && code <= kCmdMoveDown && !shiftHeld()) {
        // A caret the arrow leaves beside a lone placeholder selects it whole, so the next key
        // replaces the "?" rather than typing beside it. From such a placeholder (selected whole
        // or with the caret at it) Left and Right step out past it, else the arrow would land
        // on it again and never leave.
        struct WholePlaceholders {
            bool was = s_placeholdersWhole;
            WholePlaceholders() { s_placeholdersWhole = true; }
            ~WholePlaceholders() { s_placeholdersWhole = was; }
        } whole;
        eExpr* lone = code <= kCmdMoveRight ? LonePlaceholderRow(entry) : nullptr;
        if (lone != nullptr) {
            const int32_t edge = code == kCmdMoveLeft ? 0 : 1;
            SelectionEntry caret{lone, edge, edge, 0, 0};
            if (code == kCmdMoveLeft)
                MoveLeftIn(lone, caret);
            else
                MoveRightIn(lone, caret);
        } else {
            applyMove(code, node, entry);
        }
        return true;
    }
    return applyMove(code, node, entry);
}
