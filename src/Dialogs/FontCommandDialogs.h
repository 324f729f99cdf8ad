#pragma once
// Font commands: the 64 entries of the style table that the command codes 0x6000 + index apply
// (0x6400 asks for a font instead). "Change the Font" picks one of them for a palette button or a
// key (AskFSSCmd); "Commandes de caractères" edits them: the shortcut character that stands for
// each entry, its slippery flag (the style applies to the next keystroke only), clearing an entry,
// starting a new one and opening the font, style and size dialog on one (RunCharacterCommands).

#include "Dialogs/PrefsSaving.h"
#include "ExprSrcs/commands/tsPrefs.h"
#include "OverPc/commands/kPrefs.h"
#include "plat/Types.h"

#include <cstdint>
#include <string>

class oListBox;

inline constexpr int kChangeFontDialogId = 4124;
inline constexpr int kCharacterCommandsDialogId = 4125;

inline constexpr int kChangeFontPromptItem = 7013;
inline constexpr int kChangeFontListItem = 7016;

inline constexpr int kCharCmdModifyButton = 7271;
inline constexpr int kCharCmdDeleteButton = 7272;
inline constexpr int kCharCmdNewButton = 7273;
inline constexpr int kCharCmdBindingsItem = 7279;
inline constexpr int kCharCmdShortcutItem = 7280;
inline constexpr int kCharCmdSlipperyItem = 7281;
inline constexpr int kCharCmdListItem = 7282;

// The menu item Options > "&Commandes de caractères..." and the number of its neighbour
// "&Apply Font Command...", which holds one item per edited font command.
inline constexpr int kCharacterCommandsMenuId = 6659;
inline constexpr int kApplyFontCommandMenu = 25;

// "Choississez la police dans la boîte de dialogue", the first row of "Change the Font".
inline constexpr int kAskFontRowString = 224;
// "Police par défaut", the row of entry 0.
inline constexpr int kBaseStyleRowString = 145;
// The title the font, style and size dialog shows when it edits an entry.
inline constexpr int kEditStyleTitleString = 80;

// The closing result of "Commandes de caractères" that asks for the font, style and size dialog.
inline constexpr int32_t kCharCmdResultEdit = 2;
inline constexpr int kShortcutTextSize = 240;

struct ChangeFontDlgRecord {
    int32_t selection = -1;   // the list's row at closing
    oListBox* list = nullptr; // made at the list's first measure, deleted with the dialog
};

struct CharacterCommandsDlgRecord {
    char shortcutText[kShortcutTextSize] = {' '}; // only the first character is used
    uint8_t slippery = 0;
    int32_t selection = -1;
    oListBox* list = nullptr;
};
extern CharacterCommandsDlgRecord TheCharacterCommandsRecord;

// The entry both dialogs select: 0..63, or -1 for the "ask for a font" row of "Change the Font".
// It persists between runs and between the two dialogs.
extern int32_t SelectedStyleIndex;

// Launchers and procedures.
int32_t RunChangeFontDlg(ChangeFontDlgRecord* record);
int32_t RunCharacterCommandsDlg(CharacterCommandsDlgRecord* record);
plat::INT_PTR ChangeFontDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                plat::LPARAM lParam);
plat::INT_PTR CharacterCommandsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                       plat::LPARAM lParam);

// The first free entry of the table, -1 when all 64 are in use.
int32_t FirstFreeStyleEntry();
// What an entry sets, in short: its font, its size ("+n"/"-n" for steps) and the legend's letters
// of the styles it turns on, "*" for each part it takes from the base style (no letters when it
// only turns styles off). Entry 0 is "Police par défaut".
std::string StyleEntryDescription(int32_t index);
// The text of the entry's item in "&Apply Font Command...": its shortcut, then its description.
std::string StyleEntryMenuText(int32_t index);
// Puts the entry's item into "&Apply Font Command..." (replacing the one it had), or takes it out.
void AddFontCommandMenuItem(int32_t index);
void RemoveFontCommandMenuItem(int32_t index);

// The services the procedures run.
void SelectStyleForFont(int32_t row);
void ShowCharacterCommand();
void StoreCharacterCommandFlag();
void SelectCharacterCommand();
void StoreCharacterCommandKey();
void ClearStyleEntry();
void FindFreeStyleEntry();

// "Change the Font" opened on the entry of the code's low byte: 0x6000 + index for an entry,
// 0x6400 for the "ask" row, 0 for Cancel (or OK with no entry selected).
int32_t AskFSSCmd(int32_t code);
// The menu command: "Commandes de caractères" until OK (the table is saved and every pane redrawn)
// or Cancel.
void RunCharacterCommands();
