// Services the expression model calls but does not own: the selection record, the edit commands
// and the font manager. They are reached through this table of function pointers so that the model
// never includes the layers above it; start-up installs the real services and tests install
// recorders. Every pointer has a working default, so the model runs with nothing installed.
#pragma once

#include "ExprSrcs/commands/tsPrefs.h"

#include <cstdint>

class eExpr;
struct SelectionEntry;

// Where the active selection record keeps its typing style (both null when there is no record).
struct TypingStyleRef {
    FSSRecord* style = nullptr;
    int32_t* styleIndex = nullptr;
};

struct ModelHooks {
    // Selection record: every entry that names the node gets a null node.
    void (*nodeDestroyed)(eExpr* node) = nullptr;
    // Selection record: whether an entry names the node or a node below it.
    bool (*selectionsWithin)(const eExpr* subtree) = nullptr;
    // Selection record: entries naming `from` now name `to`, clamped to it.
    void (*retargetSelections)(eExpr* from, eExpr* to) = nullptr;
    // Edit commands: marks the node edited and redraws what can be drawn at once.
    void (*finishEditAt)(eExpr* node) = nullptr;
    // Edit commands: the common style of the entry being acted upon (default: inherit all).
    void (*getSelectionFSS)(FSSRecord& record) = nullptr;
    // Selection record: the active record's typing style.
    TypingStyleRef (*activeTypingStyle)() = nullptr;
    // Edit commands: the command code being applied (a typed character in its low byte).
    int32_t (*currentCommandCode)() = nullptr;
    // Edit commands: the entry of the saved selection list whose node receives the command; node
    // operations read it and may write a new start and end into it. Default: none.
    SelectionEntry* (*entryBeingActedUpon)() = nullptr;
    // Edit commands: the style and colour byte the next character is typed in (default: inherit
    // everything, black).
    void (*getTypingFSS)(FSSRecord& style, uint8_t& colour) = nullptr;
    // Selection record: adds an entry to the active selection.
    void (*selectRange)(eExpr* node, int32_t start, int32_t end, int32_t rowStart,
                        int32_t rowEnd) = nullptr;
    void (*setSelection)(const SelectionEntry& entry) = nullptr;
    // Long walks poll it; it may raise the user-interrupt error (default: the program's own poll,
    // which reads Escape).
    void (*checkUserAbort)() = nullptr;

    // Font manager. The index of the font table entry for a face, point size and three styles.
    int32_t (*fontIndexForDesc)(const char* face, int32_t points, bool bold, bool italic,
                                bool underline) = nullptr;
    // Font manager. A number that changes whenever fontIndexForDesc could answer a description
    // differently or would make a font again; layout keeps answers while it stays the same.
    // Default: none, and no answer is kept.
    uint32_t (*fontIndexEpoch)() = nullptr;
    // Font manager. The index of a font role's entry at 12 points ('h' the sans-serif face).
    int32_t (*fontIndexForRole)(char role) = nullptr;
    // Character class: 0 letter, 1 other alphanumeric, 2 other, 3 space and tab.
    int (*charClassOf)(unsigned char c) = nullptr;
    // Whether a byte starts a two-byte character of the code page text is in.
    bool (*isLeadByte)(unsigned char c) = nullptr;
};

// The installed table. Pointers left null use the model's defaults.
ModelHooks& TheModelHooks();
// Puts every hook back to its default.
void ResetModelHooks();

// The calls the model makes, each falling back to its default.
void HookNodeDestroyed(eExpr* node);
// True when destroying the subtree's nodes needs no HookNodeDestroyed for them: no destroy hook is
// installed, or the selection record says none of its entries names a node of the subtree.
bool HookNodesDestroyedUnnoticed(const eExpr* subtree);
void HookRetargetSelections(eExpr* from, eExpr* to);
void HookFinishEditAt(eExpr* node);
void HookGetSelectionFSS(FSSRecord& record);
TypingStyleRef HookActiveTypingStyle();
int32_t HookCurrentCommandCode();
SelectionEntry* HookEntryBeingActedUpon();
void HookGetTypingFSS(FSSRecord& style, uint8_t& colour);
void HookSelectRange(eExpr* node, int32_t start, int32_t end, int32_t rowStart, int32_t rowEnd);
void HookSetSelection(const SelectionEntry& entry);
void HookCheckUserAbort();
int32_t HookFontIndexForDesc(const char* face, int32_t points, bool bold, bool italic,
                             bool underline);
// The font index of a description as a leaf's layout asks it: answers are kept while the
// installed fontIndexForDesc and its epoch stay (never without an epoch hook). `kept` holds the
// answer and what it was given under.
struct KeptFontIndex {
    int32_t index = -1;
    uint32_t epoch = 0;
    int32_t (*source)(const char*, int32_t, bool, bool, bool) = nullptr;
};
int32_t HookKeptFontIndex(KeptFontIndex& kept, const char* face, int32_t points, bool bold,
                          bool italic, bool underline);
inline constexpr char kFontRoleSansSerif = 'h';
int32_t HookFontIndexForRole(char role);
int HookCharClassOf(unsigned char c);
// Without the font manager text is single-byte.
bool HookIsLeadByte(unsigned char c);
// Whether the code page text is in has characters of two bytes (it has lead bytes). Its bytes from
// 0x80 are then its own characters, never the Windows-1252 ones.
bool HookTextIsDoubleByte();

// The default font table used until the font manager is installed: each distinct description gets
// the next index from 0. Tests read the description back to measure with it.
struct ModelFontDesc {
    char face[kFontNameSize] = {};
    int32_t points = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
};
const ModelFontDesc* DefaultFontDescAt(int32_t index);
int32_t DefaultFontCount();
