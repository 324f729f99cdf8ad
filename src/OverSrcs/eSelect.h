// The selection record of an expression pane and the editing globals through which every editing
// operation reaches the active one; the drawing of the selection highlight; and the selection
// movement operations (arrows, escape, next slot, inward, outward, first).
//
// A record keeps its entries in an array ended by an entry with a null node. Adding an entry that
// lies on the line of ancestry of a listed entry (same node, an ancestor or a descendant) takes the
// listed one away instead of adding, so that a Shift-click toggles a range of a multiple selection.
//
// The highlight is drawn by exclusive-or on the active pad: drawing the same state twice erases
// it, so every change of the list is bracketed by RedrawSelectionHighlight.
#pragma once

#include "ExprSrcs/commands/tsPrefs.h"
#include "OverSrcs/eObject.h"
#include "OverSrcs/oGraph.h"

#include <cstdint>

class eHeader;
class oPane;
class ExprPane;

struct SelectionRecord {
    SelectionRecord() = default;
    SelectionRecord(const SelectionRecord&) = delete;
    SelectionRecord& operator=(const SelectionRecord&) = delete;
    // Destroys the root with its tree and frees the entry array.
    ~SelectionRecord();

    // The number of listed entries (before the terminator).
    int32_t count() const;
    // Entry i (0 <= i < count()).
    const SelectionEntry& entry(int32_t i) const { return m_entries[i]; }

    eHeader* m_root = nullptr;           // owned; its first child is the expression
    SelectionEntry* m_entries = nullptr; // owned; ended by an entry with a null node
    int32_t m_capacity = 0;              // slots of m_entries, the terminator included
    FSSRecord m_typingStyle;             // style of the next typed character
    int32_t m_typingColour = -1;         // nn of the last colour command 0x67nn; -1 none
    uint8_t m_options[4] = {0, 0, 0, 0}; // guide mode, magnifier, ruler mode, fourth option
    Color m_background;                  // the pane's own background colour
    uint8_t m_noBackground = 1;          // 1: the pane has no background colour of its own

    // A run of Shift+arrow steps: the caret where it started (node, start), the moving end (node,
    // start; always the node of the selection it gives, or the word it lies in) and the entry the
    // last step produced. The next Shift+arrow on exactly that entry continues from them, so the
    // start of the run stays put and stepping back retraces the way; anything that empties the
    // list (a click, an edit) or destroys one of the nodes ends the run.
    SelectionEntry m_extendAnchor;
    SelectionEntry m_extendFocus;
    SelectionEntry m_extendResult;
};

// ---- Editing globals (one thread: the message loop, its idle step and the commands) -----------

extern ExprPane* ActivePane;    // the front expression pane, or null
extern ExprPane* LastFrontPane; // the expression pane that last gave up the front
extern SelectionRecord* ActiveRecord;
extern SelectionEntry* ActiveList; // always ActiveRecord->m_entries while a record is active
extern oPane* ActivePad;           // the pane the highlight is drawn in and invalidated after edits
extern SelectionEntry* SavedList;  // the copy made by SaveSelectionList
extern SelectionEntry* SavedListEnd;
extern uint8_t HighlightOn;         // carets currently shown (blink phase)
extern SelectionEntry RemovedEntry; // the entry last removed by the overlap rule
extern uint8_t TreeChanged;         // an edit changed the tree since the last redraw
extern uint8_t BatchMode;           // a command runs over several selections: no redraw yet
extern int32_t ShiftHeld;           // modifier state of the current key or mouse event
extern int32_t CtrlHeld;
extern int32_t AltShiftHeld;
// Counts every change of any record's selection list (a click, an arrow, an edit's new caret...).
// The command layer compares it across keystrokes: a run of typing goes on only while nothing but
// the typing itself has touched the selection.
extern uint32_t SelectionListChanges;

// Called by PlaceCaret when a new caret lies outside the visible zone: lays the active pane out
// again and scrolls the selection into view, without marking the document changed. The expression
// pane installs it; null does nothing.
extern void (*ScrollSelectionIntoViewHook)(eExpr* node);

// Installs the selection services into the model's hook table (selectRange, setSelection,
// nodeDestroyed, retargetSelections, activeTypingStyle). Safe to call more than once.
void InstallSelectionHooks();

// ---- The record ---------------------------------------------------------------------------------

// A new record over the expression: a header is made round it; capacity 2; an empty list, except
// that a lone "?" placeholder word starts selected; default typing style; no background.
void CreateSelectionRecord(SelectionRecord& record, ExprPtr expression, uint8_t option1,
                           uint8_t option2, uint8_t option3, uint8_t option4);
// Resets the record over a new root (taken over; the old root is destroyed when it differs): empty
// list, default background, typing style and colour. Capacity and view options stay.
void InitSelection(SelectionRecord& record, OwnedNode<eHeader> root);
// Frees the tree and the array and clears the record (also done by the destructor). When the
// record is the active one, the active globals are cleared.
void DestroySelectionRecord(SelectionRecord& record);

// The overlap rule: a null node, or one outside the record's tree, adds nothing (null result); an
// entry on the line of ancestry of a listed one removes that one instead and returns it (a copy
// kept in RemovedEntry); otherwise the entry is appended, growing the array as needed, and the
// result is null.
const SelectionEntry* AddSelectionEntry(SelectionRecord& record, const SelectionEntry& entry);
// Removes the first entry naming the node; later entries move down in order.
void RemoveSelectionEntry(SelectionRecord& record, const eExpr* node);
// Empties the list of the record (no highlight is touched).
void ClearSelectionList(SelectionRecord& record);

// AddSelectionEntry on the active record (nothing without one).
const SelectionEntry* SelectRange(eExpr* node, int32_t start, int32_t end, int32_t rowStart,
                                  int32_t rowEnd);
const SelectionEntry* SetSelection(const SelectionEntry* entry);

// Copies the active list into a new block, remembers it, empties the active list and returns the
// copy (null without an active record). The highlight of the list is erased first, so the caller
// must not erase it itself; RedrawAfterEdit shows the new one. FreeSelectionList frees the
// remembered copy; another block is only reported. A caller that runs while the list's highlight
// is not on screen (inside a command, between that erase and the redraw) passes false: erasing by
// exclusive-or would draw it there.
SelectionEntry* SaveSelectionList(bool eraseHighlight = true);
void FreeSelectionList(SelectionEntry* copy);

// In the saved and the active lists, entries naming `from` name `to` (clamped to its whole); when
// `to` is null they are forgotten as for a destroyed node.
void RetargetSelections(eExpr* from, eExpr* to);
void ClampEntryToNode(SelectionEntry& entry, eExpr* node);
// A destroyed node: its entries leave the active list, and in the saved list keep their place with
// a null node (the dispatcher passes over them up to SavedListEnd).
void ForgetSelectionsOf(eExpr* node);
// Whether an entry ForgetSelectionsOf would look at names the node or a node below it.
bool SelectionsWithin(const eExpr* subtree);

// Selects the whole expression of the active record (highlight hidden and shown around it).
void SelectAll();
// True when b is a or lies below a; false for a null b.
bool IsAncestorOrSelf(const eExpr* a, const eExpr* b);

// ---- The highlight
// --------------------------------------------------------------------------------

// What an entry looks like on the active pad: its rectangle in pad coordinates and the three-band
// shape (first-line x, first-line height, last-line x cut, last-line height). False when the node
// has no valid rectangle.
bool EntryHighlightArea(const SelectionEntry& entry, Zone& zone, int32_t bands[4]);
// Whether the point lies on the entry's highlight (first-line, middle or last-line band).
bool PointOnEntryHighlight(const SelectionEntry& entry, oPoint point);

void DrawSelectionHighlight(bool caretOn, bool rangeOn);
void DrawEntryHighlight(const SelectionEntry& entry, bool caretOn, bool rangeOn);
// Erases what is shown, or shows it again afterwards.
void RedrawSelectionHighlight();
void ShowSelectionHighlight();
// Carets only, then the blink phase flips.
void BlinkSelectionHighlight();

// ---- Selection movement -------------------------------------------------------------------------
// Each operation computes the new entry from the node's class and adds it to the active record;
// "keep" adds the given entry back unchanged. A grid (isMatrix) is handed to its own virtual
// operation of the same name (moveLeft, selectFirst, ...).

// The caret (node, p, p, r, r), or with Shift held the old entry extended to it.
// (Shift+Left and Shift+Right in rows and words go through ExtendSelection instead.)
void PlaceCaret(eExpr* node, int32_t position, int32_t rowPosition, const SelectionEntry& old);

// The caret at the first or last stop inside the node; `old` is extended with Shift held.
void SelectFirstIn(eExpr* node, const SelectionEntry& old);
void SelectLastIn(eExpr* node, const SelectionEntry& old);
// One Shift+arrow step (direction -1 left, +1 right) of the entry of a row or word: the moving end
// goes one character inside a word and one element (spacing included with its neighbour) in a
// row, leaving the row through its slot or template as a plain arrow does; the selection is the
// smallest row range or word range that covers both the moving end and the start of the run.
// Extending never drops what the start of the run lies in, and stepping back shrinks the way it
// grew, down to the caret the run started from. Nowhere to go keeps the entry.
void ExtendSelection(eExpr* node, const SelectionEntry& entry, int direction);
void MoveLeftIn(eExpr* node, SelectionEntry& entry);
void MoveRightIn(eExpr* node, SelectionEntry& entry);
void MoveUpIn(eExpr* node, SelectionEntry& entry);
void MoveDownIn(eExpr* node, SelectionEntry& entry);
void SelectFirstSlotIn(eExpr* node, SelectionEntry& entry);
void SelectNextSlotIn(eExpr* node, SelectionEntry& entry);
void SelectPartsIn(eExpr* node, SelectionEntry& entry);
void SelectParentIn(eExpr* node, SelectionEntry& entry);
void SelectChildIn(eExpr* node, SelectionEntry& entry);

// Command codes of the selection commands.
inline constexpr int32_t kCmdSelectInward = 0x6300;
inline constexpr int32_t kCmdSelectOutward = 0x6301;
inline constexpr int32_t kCmdSelectAll = 0x6302;
inline constexpr int32_t kCmdSelectFirst = 0x6303;
inline constexpr int32_t kCmdNextSlot = 0x6304;
inline constexpr int32_t kCmdEscape = 0x6305;
inline constexpr int32_t kCmdMoveLeft = 0x6310;
inline constexpr int32_t kCmdMoveRight = 0x6311;
inline constexpr int32_t kCmdMoveUp = 0x6312;
inline constexpr int32_t kCmdMoveDown = 0x6313;

// The row of a lone placeholder (a "?" word alone in its row) when the entry is a caret at either
// edge of it, or selects part or all of it; null otherwise. A "?" among other items is a
// character like any other.
eExpr* LonePlaceholderRow(const SelectionEntry& entry);
// A caret at a lone placeholder becomes the placeholder selected whole, as a new expression starts,
// so that the next key replaces it; any other entry comes back unchanged.
SelectionEntry WholePlaceholderAt(const SelectionEntry& entry);

// Runs the movement operation of a selection command code (0x6300, 0x6301, 0x6303 to 0x6305,
// 0x6310 to 0x6313) on one entry of the saved list; false for any other code. The caller has
// saved the list and resets the typing style. Without Shift, the arrows take a lone placeholder
// whole, landing on it or stepping past it.
bool ApplySelectionMove(int32_t code, eExpr* node, SelectionEntry& entry);
