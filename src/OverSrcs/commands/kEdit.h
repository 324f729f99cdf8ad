// The command layer the expression model runs every edit through: the command codes and their
// character codec, the dispatcher that applies a code to each entry of the active selection, edit
// steps with one level of undo, the edit helpers the node classes call, and the key map that turns
// a key index into a command code (with its "keys.prf" file).
#pragma once

#include "ExprSrcs/commands/tsPrefs.h"
#include "OverSrcs/eObject.h"
#include "OverSrcs/eSelect.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class oIStream;
class oOStream;

// ---- Command codes ---------------------------------------------------------------------------
// A command code is 16 bits. Classification always uses the low 15: bit 0x8000 marks a key-map
// entry that applies to the item before a caret.

inline constexpr int32_t kCmdNone = 0x0000;
inline constexpr int32_t kCmdWidenBit = 0x8000;
inline constexpr int32_t kCmdCodeMask = 0x7FFF;
// Codes below this are typed characters: the character in the low byte, the style in bits 8-13.
inline constexpr int32_t kCmdInsertBit = 0x4000;
inline constexpr int32_t kCmdEditBit = 0x2000;

inline constexpr int32_t kCmdStyleBase = 0x6000; // 0x60nn: style-table entry nn, 0x40 the reset
inline constexpr int32_t kCmdResetStyle = 0x6040;
inline constexpr int32_t kCmdLegacyBackspace = 0x6106;
inline constexpr int32_t kCmdUndo = 0x6111;
inline constexpr int32_t kCmdDeleteForward = 0x6113;
inline constexpr int32_t kCmdCopy = 0x6114;
inline constexpr int32_t kCmdPaste = 0x6115;
inline constexpr int32_t kCmdClear = 0x6116;
inline constexpr int32_t kCmdCut = 0x6117;
inline constexpr int32_t kCmdModify = 0x6153;
inline constexpr int32_t kCmdToggleGuides = 0x6201;
inline constexpr int32_t kCmdToggleMagnifier = 0x6202;
inline constexpr int32_t kCmdToggleRuler = 0x6203;
inline constexpr int32_t kCmdSelectParts = 0x6300;
inline constexpr int32_t kCmdSelectParent = 0x6301;
// 0x6302 select all and 0x6310-0x6313 the arrows: kCmdSelectAll, kCmdMoveLeft ... in eSelect.h.
inline constexpr int32_t kCmdSelectChild = 0x6303;
inline constexpr int32_t kCmdSelectNextSlot = 0x6304;
inline constexpr int32_t kCmdSelectFirstSlot = 0x6305;
inline constexpr int32_t kCmdSelectAllToo = 0x6306;
// Home and End: a caret at the start / end of the row holding the selection.
inline constexpr int32_t kCmdLineStart = 0x6314;
inline constexpr int32_t kCmdLineEnd = 0x6315;
inline constexpr int32_t kCmdAskFont = 0x6400;
inline constexpr int32_t kCmdRepeatFont = 0x6401;
inline constexpr int32_t kCmdNudgeLeft = 0x6501;
inline constexpr int32_t kCmdNudgeRight = 0x6502;
inline constexpr int32_t kCmdNudgeUp = 0x6503;
inline constexpr int32_t kCmdNudgeDown = 0x6504;
inline constexpr int32_t kCmdUnnudge = 0x6511;
inline constexpr int32_t kCmdUnnudgeDeep = 0x6512;
inline constexpr int32_t kCmdBackspace = 0x6602;
inline constexpr int32_t kCmdNewLine = 0x6603;
inline constexpr int32_t kCmdNewField = 0x6604;
inline constexpr int32_t kCmdDeleteForwardToo = 0x6611;
inline constexpr int32_t kCmdHidePart = 0x6620;
inline constexpr int32_t kCmdShowPart = 0x6621;
inline constexpr int32_t kCmdColourBase = 0x6700; // 0x67nn: colour byte nn (3-3-2)
inline constexpr int32_t kCmdSubPaletteBase = 0x6800;

// Insertion families.
inline constexpr int32_t kCmdMacroBase = 0x5000;  // 0x50nn, nn <= 0xFE
inline constexpr int32_t kCmdMatrixBase = 0x5200; // 0x52rc
inline constexpr int32_t kCmdSymbolBase = 0x5300; // 0x53nn special symbols

// The typing style, as a style selector of a character code.
inline constexpr int kTypingStyleSelector = -1;

// A typed-character code: style -1 (the typing style) gives 0x0F00 + ch, styles 0-31 give
// 0x1000 + (style << 8) + ch; styles 32-63 cannot be carried by a character code and give 0.
int32_t MakeCharCode(int style, unsigned char ch);
// The style a character code types in: 0-31, or -1 for the typing style.
int CharCodeStyle(int32_t code);
// Whether the code (low 15 bits) is a typed character.
bool IsCharCode(int32_t code);

// What a code is to the customisation dialogs: 0 empty, 1 insert (characters too), 2 font,
// 3 secondary, 4 sub-palette.
enum CommandKindValue : int {
    kKindEmpty = 0,
    kKindInsert = 1,
    kKindFont = 2,
    kKindSecondary = 3,
    kKindSubPalette = 4
};
int CommandKind(int32_t code);

// ---- Hooks to the application ------------------------------------------------------------------
// The command core runs in the model layer; what it needs of the windows, the clipboard, the
// palettes and the dialogs comes through these pointers. Every pointer may be null, which makes
// the call a no-op (answers: false / 0); start-up installs the real services and tests recorders.
struct CommandHooks {
    void (*copy)() = nullptr;
    void (*paste)() = nullptr;
    void (*cut)() = nullptr;
    // Runs the font, style and size dialog on SharedStyleRecord; true on OK.
    bool (*askFont)(int32_t flags, int32_t titleStringId) = nullptr;
    // Sets the palette's toggle buttons to the four view-mode bytes.
    void (*paletteToggles)(const uint8_t modes[4]) = nullptr;
    // UpdateStyleButtons(force, second flag).
    void (*styleButtons)(int32_t force, int32_t flag) = nullptr;
    void (*releasePaletteImage)() = nullptr;
    void (*redrawFindPads)() = nullptr;
    void (*openFindWindow)() = nullptr;
    void (*rootSettingsCommand)() = nullptr;
    // A key or mouse press is already waiting.
    bool (*inputPending)() = nullptr;
    void (*copyMenuLabel)() = nullptr;
    // The active pane: re-measure its tree and invalidate its pad after an edit.
    void (*redrawAfterEdit)() = nullptr;
    // The active pane: lay out and redraw everything (after undo and view changes).
    void (*refreshActivePane)() = nullptr;
    // The active pane: changed flag, tree-changed flag (the node and its ancestors are
    // invalidated by the command core itself).
    void (*markEdited)(eExpr* node) = nullptr;
    // The active pad: erase the node's zone and draw the leaf there at once.
    void (*drawNodeNow)(eExpr* node) = nullptr;
    // Joins neighbouring words of equal style in the active tree.
    void (*mergeAdjacentWords)() = nullptr;
    // The line unit of the active pane (device units of a hairline); 1 when null.
    int32_t (*activeLineUnit)() = nullptr;
};
CommandHooks& TheCommandHooks();
void ResetCommandHooks();

// Every refusal of the command core sounds the beep through here; the count lets callers and tests
// see that a code was refused.
void CommandBeep();
int32_t CommandBeepCount();

// ---- Dispatcher globals
// --------------------------------------------------------------------------

// The code being applied, without bit 0x8000.
extern int32_t CurrentCommandCode;
// The entry of the saved selection list whose node receives the command.
extern SelectionEntry* EntryBeingActedUpon;
// Set when the whole window is redrawn after the command: FinishEditAt then draws nothing at once.
extern uint8_t FullRedrawFlag;
// The style the style commands apply, and its index (0-63, 0x40 reset, -1 a dialog's choice).
extern FSSRecord PendingStyle;
extern int32_t PendingStyleIndex;
// The record the font dialog edits.
extern FSSRecord SharedStyleRecord;
// Which string titles the font dialog of 0x6400.
inline constexpr int32_t kAskFontTitleString = 80;

// Installs the command core's answers into the model hooks (current code, entry being acted upon,
// typing style, selection style, FinishEditAt). Start-up and test fixtures call it.
void InstallCommandModelHooks();
// Clears every dispatcher global and the undo snapshot.
void ResetCommandState();

// ---- The dispatcher
// ------------------------------------------------------------------------------

// Applies the code to every entry of the active selection; mode 1 for typing, 0 a plain command.
void DoCommand(int32_t code, int32_t mode);
// Puts a copy of the expression in place of every entry of the active selection as one undoable
// edit step (a paste).
void InsertExprAsEdit(ExprPtr expression);
// With nothing selected in the active record, a caret at the end of its expression (if any).
void SelectInsideExpressionWhenEmpty();
// Never leaves the pane without a selection: when the active selection is empty after a command,
// the saved entries that still name a node come back, else a caret at the end of the expression.
void KeepSomeSelection(const SelectionEntry* saved, int32_t n);
// Calls `act` on each of the n saved entries that still names a node, as the entry being acted
// upon; two or more entries run as one batch. A failure ends the walk and its code is returned
// (0 when none); the entry being acted upon is cleared afterwards.
int16_t ActOnSavedEntries(SelectionEntry* saved, int32_t n,
                          const std::function<void(SelectionEntry&)>& act);
// Commands that act once for the window; true when nothing more is to be done.
bool DoWindowCommand();
// One edit code on the entry being acted upon.
void DoEditCommand();
// One insertion code on the entry being acted upon.
void DoInsertCommand();

// Joins neighbouring words of one style in every row the active selection names, the selection
// following the characters; the commands run it after their edits, before the redraw that shows
// the new selection (it draws no highlight itself).
void MergeAdjacentWords();

// ---- Edit steps and undo
// -------------------------------------------------------------------------

// Undo modes of an edit step. A plain command is a step of its own. Typing, Backspace at a caret,
// Delete at a caret and new lines come in runs: the keystrokes of one run share a step, and a run
// ends as soon as anything but the run itself touches the selection (a click, an arrow, Tab,
// Select All), another command runs or another pane comes to the front. Commands that only move
// the selection open no step: Undo goes on restoring the state before the last edit.
inline constexpr int32_t kUndoSelectionOnly = -2;
inline constexpr int32_t kUndoPlain = 0;
inline constexpr int32_t kUndoTyping = 1;
inline constexpr int32_t kUndoBackspace = 2;
inline constexpr int32_t kUndoNewLine = 3;
inline constexpr int32_t kUndoDeleteForward = 4;

// The undo mode the dispatcher gives a code coming with the caller's mode (1 for keys, 0 for menus
// and palettes), for the active selection: a Backspace or Delete over a range is a step of its own.
int32_t UndoModeOfCommand(int32_t code, int32_t callerMode);
// Opens an edit step: takes the undo snapshot unless the step continues the open run of its mode;
// kUndoSelectionOnly takes none and ends the run.
void BeginEditStep(int32_t mode);
// Closes an edit step that ran to its end: a run step stays open for the next keystroke of its
// kind while the selection stays as the step left it.
void FinishEditStep();
// Ends the open run: the next keystroke opens a step of its own.
void EndEditRun();
// Opens a step for a change of the active record outside its tree (its background): the snapshot
// is taken and the open run ends, so Undo brings back the state before the change and never
// reaches past it.
void BeginOutsideTreeStep();
// Puts the tree and the selection of the last snapshot back; true when there was one to restore.
bool UndoLastEdit();
// Whether an undo snapshot is held for the active record.
bool CanUndo();
// Frees a snapshot taken on this record (a closing pane calls it).
void ForgetUndo(const void* record);

// ---- Edit helpers
// --------------------------------------------------------------------------------

// Called before and after edits; it has no effect.
void NoteEditedNode(eExpr* node);
// Marks the node edited and, unless a batch or full redraw is under way, draws a leaf at once.
void FinishEditAt(eExpr* node);
// Copy of the selected part of the entry's node, normalised; null when there is none.
ExprPtr CopySelectedPart(const SelectionEntry& entry);
// Puts the expression in place of the selection of the entry being acted upon; with moveOld the
// selected part first goes into the expression's first empty slot.
void InsertExprAtSelection(ExprPtr expression, bool moveOld);
// The node for the current code's character in the typing style and colour.
ExprPtr InsertTypedCharacter();
// The style and colour the next character is typed in.
void GetTypingFSS(FSSRecord& style, uint8_t& colour);
// The style common to the entry's selected leaves (at a caret: the record's typing style).
void GetSelectionFSS(SelectionEntry& entry, FSSRecord& record);
// Gives the entry's leaves the pending style (a caret takes it as its typing style).
void ApplyStyleToSelection(SelectionEntry& entry);
// Colour byte nn of code 0x67nn on every node the entry covers.
void SetSelectionColour(SelectionEntry& entry, int32_t code);
// Moves the nodes the entry covers by one nudge step (dx, dy each -1, 0 or 1).
void NudgeSelection(SelectionEntry& entry, int32_t dx, int32_t dy);
// Zeroes the nudges of the nodes the entry covers (deep: and of everything below them).
void RemoveNudges(SelectionEntry& entry, bool deep);
// Stores the four view-mode bytes in the active record and the program-wide values.
void SetViewModes(const uint8_t modes[4]);
extern std::array<uint8_t, 4> ViewModes;

// ---- Macros
// --------------------------------------------------------------------------------------

// A macro's icon: 20 rows of 20 pixels, each row in 3 bytes with the leftmost pixel in the high
// bit of the first; a set bit is ink.
inline constexpr int32_t kMacroIconSide = 20;
inline constexpr int32_t kMacroIconRowBytes = 3;
using MacroIcon = std::array<uint8_t, kMacroIconSide * kMacroIconRowBytes>;

struct MacroRecord {
    int32_t code = 0; // 0x5000-0x50FE
    ExprPtr expression;
    MacroIcon icon{};
    // Being edited in a window of its own (not kept in the file).
    uint8_t openInWindow = 0;
    // A palette cell bound to the macro shows the expression instead of the icon.
    uint8_t autoRender = 0;
};
// Newest first.
extern std::vector<MacroRecord> MacroList;
// The macro bound to the code, null when none.
const MacroRecord* FindMacro(int32_t code);

// ---- Key map
// -------------------------------------------------------------------------------------

inline constexpr int kKeyMapSize = 2048;
inline constexpr int32_t kKeyAlt = 0x200;
inline constexpr int32_t kKeyCtrl = 0x400;
using KeyMapTable = std::array<int32_t, kKeyMapSize>;
extern KeyMapTable KeyMap;

// The command code bound to the key index; 0x6106 answers 0x6602; -1 for a bad entry or an index
// outside the map.
int32_t LookupKeyCommand(int32_t index);
// The built-in map.
const KeyMapTable& DefaultKeyMap();
void ResetKeyMap();

inline constexpr char kKeysPrefsFile[] = "keys.prf";
inline constexpr int32_t kKeysPrefsVersion = 1;

// One line of a key-map file that was not taken, and why.
struct KeyMapProblem {
    int32_t line = 0;
    std::string reason;
};
// The most problems of a key-map file an alert lists one by one.
inline constexpr size_t kMostKeyProblemsShown = 20;
struct KeyMapReadResult {
    bool accepted = false; // the map was replaced by the file's bindings
    int32_t bindings = 0;  // entries read
    std::vector<KeyMapProblem> problems;
    // One text naming the problems, for an alert (the first kMostKeyProblemsShown, then how many
    // more there are); empty when there was none.
    std::string report() const;
};
// Reads a key-map file into `map` through the keyed-line reader. The file's map starts empty;
// every good "Ky" record binds its entry and every bad one is reported (with its line) and
// skipped; records of other kinds are passed over. Without a valid version line first, or with no
// binding at all, nothing is accepted and `map` is left as it was.
KeyMapReadResult ReadKeyMap(oIStream& stream, KeyMapTable& map);
// Writes the version line and one "Ky" line per non-zero entry.
void WriteKeyMap(oOStream& stream, const KeyMapTable& map);
// The same through files. Loading leaves KeyMap alone unless the file is accepted; a missing file
// fails with errFileNotFound. Saving never destroys the previous file.
KeyMapReadResult LoadKeyMapFile(const std::string& path);
void SaveKeyMapFile(const std::string& path, const KeyMapTable& map);
