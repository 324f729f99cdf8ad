#pragma once
// "Insert Expression": one thing to put into the expression, picked from a grid of insert
// commands (templates, matrices, special symbols), from the 16 x 16 characters of any style's font
// or from the macro list. The dialog only shows the choices; InsertSomethingDialog turns what was
// taken into a command code, and RunInsertExpression (the Insertion menu's command) applies it.

#include "plat/Types.h"

#include <cstdint>
#include <span>
#include <vector>

class oDlgWidget;
class oListBox;

inline constexpr int kInsertExpressionDialogId = 4105;
inline constexpr int kInsertKeepOpenItem = 2150;
inline constexpr int kInsertCompositeButton = 2151;
inline constexpr int kInsertCommandGridItem = 2152;
inline constexpr int kInsertMacroButton = 2156;
inline constexpr int kInsertMacroListItem = 2157;
inline constexpr int kInsertCharacterButton = 2158;
inline constexpr int kInsertCharacterGridItem = 2159;
inline constexpr int kInsertStyleListItem = 2160;
// The menu item "&Insert Symbol/Expression...".
inline constexpr int kInsertExpressionMenuId = 2049;
// Results: a character or an insert command, or a macro.
inline constexpr int32_t kInsertResultChoice = 1;
inline constexpr int32_t kInsertResultMacro = 3;

// The dialog's record: what outlives a run (keep-open byte, the two list selections) and the
// objects bound to the controls while it runs.
struct InsertExpressionState {
    uint8_t keepOpen = 0;
    oDlgWidget* commandGrid = nullptr;
    int32_t macroSelection = -1;
    oListBox* macroList = nullptr;
    oDlgWidget* characterGrid = nullptr;
    int32_t styleSelection = 0;
    oListBox* styleList = nullptr;
};
// The one record the Insert Expression command runs the dialog on.
extern InsertExpressionState TheInsertExpressionState;

// What the user has chosen, kept from one run to the next: exactly one of the three kinds at a
// time (or none).
struct InsertChoiceState {
    int32_t chosenCode = 0;
    bool macroChosen = false;
    bool characterChosen = false;
    bool compositeChosen = false;
    // A character code 0-255, or a row of the insert command catalog.
    int32_t selectedIndex = -1;
    // -1 the typing style ("Police actuelle"), else a style-table entry 0-63.
    int32_t styleIndex = -1;
};
extern InsertChoiceState TheInsertChoice;

// One cell of the command grid: the insert command, the bitmap that pictures it (0: the cell
// shows the node the command inserts) and a short text naming it where no picture fits.
struct InsertCatalogRow {
    int32_t code;
    int32_t bitmapId;
    const char* label;
};
std::span<const InsertCatalogRow> InsertCommandCatalog();
// The bitmap that pictures an insert command (bit 0x8000 ignored), 0 when it has none.
int32_t InsertCatalogBitmapId(int32_t code);
// Every bitmap the catalog's pictures use.
std::vector<int32_t> InsertCatalogBitmapIds();
// The catalog row of a code, -1 when none.
int32_t FindInsertCatalogRow(int32_t code);
// What a catalog row inserts, in words (its help string); null for a row outside the catalog.
const char* InsertCatalogHelp(int32_t row);

// The services the dialog's procedure runs (the choice state above is what they change).
void DrawInsertCommandGrid(oDlgWidget* widget);
void DrawCharacterGrid(oDlgWidget* widget);
void ClickInsertCommandGrid(oDlgWidget* widget);
void ClickCharacterGrid(oDlgWidget* widget);
// A list object for the macro list; without keepSelection the chosen macro is dropped.
oListBox* FillMacroList(int controlId, bool keepSelection);
// A list object for the style list: the 64 style-table entries, after `firstEntry` when it is
// not empty; the current style's entry selected.
oListBox* FillInsertStyleList(int controlId, const char* firstEntry);
void InitInsertExprControls();
void SelectInsertMacro();
void SelectInsertFont(oDlgWidget* characterGrid, oListBox* styleList);

// Runs the dialog on `record` (an InsertExpressionState): 0 Cancel (or no dialog), 1 a character or
// an insert command, 3 a macro.
int32_t RunInsertExpressionDlg(std::uintptr_t record);
plat::INT_PTR InsertExpressionDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                      plat::LPARAM lParam);

// Prepares the choice from `initialCode` (0 for none), runs the dialog and answers the chosen
// command code, or 0 when nothing was chosen.
int32_t InsertSomethingDialog(int32_t initialCode);
// The menu command: runs the dialog and applies each chosen code to the active selection, again
// while "Keep Dialog On" is checked and something was chosen.
void RunInsertExpression();
// The code the menu command chose last (the dialog's initial choice next time).
extern int32_t LastInsertCode;

// Puts the choice state, the record and the last code back to their start-up values.
void ResetInsertExpressionState();
