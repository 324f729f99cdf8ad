#pragma once
// "Customize Palette" and "Customize Sub-Palette Button": editing the main palette and its
// sub-palettes button by button on a working copy. The dialog shows the copy, lets the user select,
// move and duplicate buttons in it, and closes with a result that names the editor to open for the
// selected button (Insert Expression, a font command, Do Secondary Command, a sub-palette); the
// customisation loop opens that editor, stores its answer and runs the dialog again. OK trims the
// copy and makes it the palette; Cancel leaves every palette as it was.

#include "OverPc/commands/kPalette.h"
#include "plat/Types.h"

#include <array>
#include <cstdint>
#include <memory>

class oDlgWidget;

inline constexpr int kCustomizePaletteDialogId = 4119;
inline constexpr int kCustomizeSubPaletteDialogId = 4120;
inline constexpr int kPaletteCustomizeHintDialogId = 4121;
// The menu item Options > "&Palette...".
inline constexpr int kCustomizePaletteMenuId = 6657;

// 4119's items.
inline constexpr int kCustomizePaletteHelpButton = 5735;
inline constexpr int kCustomizePaletteNothingButton = 5739;
inline constexpr int kCustomizePaletteSubButton = 5743;
inline constexpr int kCustomizePaletteDefaultItem = 5744;
inline constexpr int kCustomizePalettePreviewItem = 5746;
// 4120's items.
inline constexpr int kCustomizeSubHelpButton = 5990;
inline constexpr int kCustomizeSubNothingButton = 5996;
inline constexpr int kCustomizeSubSubButton = 6000;
inline constexpr int kCustomizeSubDeleteButton = 6001;
inline constexpr int kCustomizeSubDefaultItem = 6002;
inline constexpr int kCustomizeSubPreviewItem = 6003;
inline constexpr int kPaletteHintTextItem = 6247;

// Results beyond OK and Cancel: the editor for the selected button, or the help tour.
inline constexpr int32_t kCustomizeResultInsert = 5;
inline constexpr int32_t kCustomizeResultFont = 6;
inline constexpr int32_t kCustomizeResultSecondary = 7;
inline constexpr int32_t kCustomizeResultSubPalette = 8;
inline constexpr int32_t kCustomizeResultHelp = 9;
// "Because you have no palette design information, ..."
inline constexpr int kBlankPaletteNote = 510;
// Rows and columns of empty cells the working copy has beyond the palette.
inline constexpr int32_t kCustomizeExtraRows = 96;
inline constexpr int32_t kCustomizeExtraColumns = 32;

struct CustomizePaletteDlgRecord {
    int32_t kind = -1;
    uint8_t isDefaultCell = 0;
    oDlgWidget* preview = nullptr;
};

// What the dialogs edit and the loop keeps between runs.
struct PaletteCustomization {
    PaletteRecord working;
    // The selection: first row -1 when nothing is selected.
    int32_t firstRow = -1;
    int32_t rowCount = 0;
    int32_t firstColumn = 0;
    int32_t columnCount = 0;
    bool editingSubPalette = false;
    // The five kind buttons and the default-cell box of the dialog being shown.
    std::array<int, 6> ids{};
    CustomizePaletteDlgRecord* record = nullptr;
};
extern PaletteCustomization TheCustomization;

// Cell side of the preview.
int32_t CustomizePreviewCell();

// The services the dialogs run.
int32_t UpdateCustomizePaletteControls();
void ClearSelectedButtons();
void SetDefaultPaletteButton();
void SelectPaletteCells(oDlgWidget* widget);
void DrawPaletteBeingCustomized(oDlgWidget* widget);
// Cuts the empty rows and columns after the last button; a default cell outside becomes (0, 0),
// or (-1, -1) when nothing is left.
void TrimCustomizedPalette(PaletteRecord& palette);
// Makes the selection one button with `code` (0 leaves it as it is).
void SetSelectedButtonsCode(int32_t code);
// Edits sub-palette `slot` with 4120 in a nested loop; returns 0x6800 + slot when it was kept with
// at least one cell, else 0 (a new slot is then freed again; a cancelled edit returns -1).
int32_t EditSubPalette(int32_t slot, bool isNew);
using SubPaletteBackup = std::array<std::unique_ptr<PaletteRecord>, kSubPaletteSlots>;
SubPaletteBackup BackupSubPalettes();
// Puts the backup back into the slots (restore) or drops it.
void FreeSubPaletteBackup(SubPaletteBackup& backup, bool restore);
void BackupCustomizations();
// Makes `palette` the main palette, drops the backup and writes palette.prf.
void CommitCustomizations(const PaletteRecord& palette);
// Runs the dialog over and over on `palette` until OK (1: palette is replaced) or Cancel (0).
int32_t CustomizePaletteLoop(PaletteRecord& palette, bool subPalette);
// Options > "&Palette...".
void CustomizeMainPalette();

int32_t RunCustomizePaletteDlg(std::uintptr_t record);
int32_t RunCustomizeSubPaletteButtonDlg(std::uintptr_t record);
int32_t RunPaletteCustomizeHintDlg(std::uintptr_t unused);
plat::INT_PTR CustomizePaletteDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                      plat::LPARAM lParam);
plat::INT_PTR CustomizeSubPaletteButtonDlgProc(plat::HWND dialog, plat::UINT message,
                                               plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR PaletteCustomizeHintDlgProc(plat::HWND dialog, plat::UINT message,
                                          plat::WPARAM wParam, plat::LPARAM lParam);
