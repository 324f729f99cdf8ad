#pragma once
// "Définitions des macros": making, deleting and choosing macros, and drawing their icons. The
// dialog edits the live macro list, palettes and key map; EditMacros (Options > "C&reate/Edit
// Macros...") backs them up first, so that Cancel puts everything back. A macro's expression is
// edited in a window of its own, which the dialog opens by closing with result 3.

#include "plat/Types.h"

#include <cstdint>

class oDlgWidget;
class oListBox;

inline constexpr int kMacroDefinitionsDialogId = 4126;
// Options > "C&reate/Edit Macros...".
inline constexpr int kMacroDefinitionsMenuId = 6662;

inline constexpr int kMacroEditInWindowButton = 7527;
inline constexpr int kMacroNewButton = 7528;
inline constexpr int kMacroBlankIconButton = 7529;
inline constexpr int kMacroCaptureIconButton = 7530;
inline constexpr int kMacroSnapshotButton = 7531;
inline constexpr int kMacroDeleteButton = 7532;
inline constexpr int kMacroExpressionItem = 7533;
inline constexpr int kMacroAutoRenderBox = 7535;
inline constexpr int kMacroIconItem = 7539;
inline constexpr int kMacroListItem = 7540;
// Closing to edit the selected macro in its window.
inline constexpr int32_t kMacroResultEdit = 3;

struct MacroDefinitionsDlgRecord {
    oDlgWidget* exprPreview = nullptr;
    uint8_t autoRender = 0;
    oDlgWidget* iconView = nullptr;
    int32_t listSelection = -1;
    oListBox* list = nullptr;
};
extern MacroDefinitionsDlgRecord TheMacroDefinitionsRecord;
// The macro the dialog shows (0: none), and whether a drag in the expression makes the icon.
extern int32_t SelectedMacroCode;
extern bool MacroIconCaptureMode;

// The services the dialog's procedure runs.
oListBox* FillMacroDefinitionsList(int controlId, bool keepSelection);
void SelectMacro();
void RefreshMacroControls();
void NewMacro();
void DeleteMacro();
void ShowMacroPreview(oDlgWidget* widget);
void ShowMacroIcon(oDlgWidget* widget);
void FitMacroIcon();
void ClearMacroAutoRender();
void BlankMacroIcon();
void PaintMacroIcon(oDlgWidget* widget);
void ToggleMacroFlag();
void TrackMacroPaneClick(oDlgWidget* widget);

int32_t RunMacroDefinitionsDlg(MacroDefinitionsDlgRecord* record);
plat::INT_PTR MacroDefinitionsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                      plat::LPARAM lParam);

// The menu command: takes back a macro open in its window, runs the dialog over a backup of the
// macros, palettes and key map, and keeps (writing the preference files that changed) or restores
// them; result 3 opens the selected macro in its window.
void EditMacros();
