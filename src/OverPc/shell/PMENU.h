#pragma once
// Menu services of the shell: the popup menus loaded from the resources and kept for the run,
// menu items added and removed at run time (ad-hoc items), enabling commands, the context-menu
// choice object, and the position of a popup-combo choice in its menu.

#include "OverSrcs/oGraph.h"
#include "plat/Types.h"

#include <cstdint>

class oWidget;

// The menu bar's resource id (its submenus carry the menu numbers).
inline constexpr int kMenuBarMenuId = 128;

// The first popup of menu resource `menuId`, loaded from the resource module on first use and
// kept for the rest of the run (loaded again if it was destroyed). Null when there is none.
plat::HMENU GetPopupMenu(int menuId);
// Drops the kept popups (after the resource module changed).
void ForgetPopupMenus();

// The submenu of the menu bar with menu number `number` (null when the bar has none).
plat::HMENU MenuOfNumber(int number);

// The menu position of the entry chosen in popup combo `comboId` of CurrentDialog, counting the
// separators before it (the combo lists only the other items); -1 when nothing is chosen.
int MenuPositionFromChoice(int comboId, plat::HMENU menu);

// Ad-hoc items: appended to menu `number` of the bar under the next free id of that menu (one more
// than the highest in use, at most number x 256 + 255); choosing one calls callback(argument). The
// text is shown as it is ("&" does not mark a mnemonic). An empty text, a full menu or a missing
// menu adds nothing and returns 0; otherwise the new id.
using AdHocCallback = void (*)(std::intptr_t argument);
int AddAdHocMenuItem(int number, int ignored, const char* text, AdHocCallback callback,
                     std::intptr_t argument);
// Deletes the ad-hoc item of menu `number` whose argument matches.
void RemoveAdHocMenuItem(int number, std::intptr_t argument);
// Checks or unchecks the ad-hoc item with that callback and argument.
void CheckAdHocMenuItem(int number, AdHocCallback callback, std::intptr_t argument, bool on);
// Shows `text` on every ad-hoc item whose argument matches (any menu).
void RenameAdHocMenuItems(std::intptr_t argument, const char* text);
// Runs the ad-hoc item `id`; false when `id` is not one.
bool RunAdHocMenuItem(int id);
// Whether menu `number` has an ad-hoc item with that argument.
bool HasAdHocMenuItem(int number, std::intptr_t argument);
// Forgets every ad-hoc item (their menu items are left alone); the menu bar they were in is
// being destroyed.
void ForgetAdHocMenuItems();

// Enables or greys command `id` (menu x 256 + item) in the menu bar and in the kept popups, and
// records the state for popups loaded later.
void EnableMenuCommand(int id, bool enable);

// The command code a menu resource gives item `id` of menu resource `menuId` (0 when none).
int MenuItemCommandCode(int menuId, int id);

// A context-menu choice: the menu, the item that stands for the current choice, the item chosen
// and its command code.
struct PopupChoice {
    int32_t menuId = 0;
    int32_t currentItem = 0;
    int32_t chosenItem = 0;
    int32_t commandCode = 0;
};
// Prepares `choice` for menu `menuId` with `firstItem` as its current item.
void SetMenuChoice(PopupChoice& choice, int menuId, int firstItem);
// Shows the choice's menu at `point` of `pane` (pane coordinates); the keyboard state is saved and
// restored around it. 0 when nothing was chosen, 1 for the current item, 2 for another item (the
// choice then holds it and its command code). `font` and the two words are not used.
int TrackContextMenu(PopupChoice& choice, oPoint point, oWidget* pane, int32_t font, int32_t,
                     int32_t);
