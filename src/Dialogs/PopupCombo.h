#pragma once
// Popup combos: owner-drawn drop-down lists that show the items of a menu resource, with a value
// table of the dialog behind them (one signed value per menu position; kPopupSeparator marks a
// separator, which gets no entry). The combo keeps the menu's handle in its window user data, each
// entry's item data is its menu position, and the menu's first item holds the combo's id so that
// the combo can be found from the menu id alone.

#include "plat/Controls.h"
#include "plat/Types.h"

#include <cstdint>

inline constexpr int32_t kPopupSeparator = INT32_MIN; // 0x80000000

// Builds combo `controlId` of CurrentDialog from the popup of menu resource `menuId` at
// WM_INITDIALOG: one entry per non-separator position below `count`, the entry whose value is
// `current` selected (none when no value matches; a separator never matches), and the combo made
// as wide as its widest text + 25 pixels but ending at least 10 pixels inside the dialog. `menuOut`
// receives the popup and `indexOut` the matching menu position (-1 when none). Both may be null.
void SetupPopupFromMenu(int menuId, plat::HMENU* menuOut, int* indexOut, int controlId,
                        const int32_t* values, int32_t current, int count);
// WM_MEASUREITEM and WM_DRAWITEM of a popup combo's entries.
void MeasurePopupComboItem(plat::HWND dialog, plat::MEASUREITEMSTRUCT& measure);
void DrawPopupComboItem(const plat::DRAWITEMSTRUCT& draw);
// The value chosen in combo `controlId` (built from `menu`): values[menu position of the
// selection]; `previous` when nothing is chosen or the position lies outside the table.
int32_t ReadPopupValue(int controlId, plat::HMENU menu, const int32_t* values, int count,
                       int32_t previous);
// The combo of menu `menuId`: its id from the menu's first item, or the menu id itself when the
// menu or that data cannot be read.
int PopupComboId(int menuId);
// The selected entry (CB_GETCURSEL) of the combo of menu `menuId`.
int GetPopupComboSelection(int menuId);
void EnablePopupCombo(int menuId, bool enable);
// Selects entry 0 of combo `controlId` when it is the first combo set up in the current dialog
// (the first row of the remembered popup table) and `value` is the first value of its table.
void SelectPopupComboDefault(int controlId, int32_t value);
// The width and height of a popup entry's text with the default GUI font.
plat::SIZE MeasurePopupText(const char* text);
