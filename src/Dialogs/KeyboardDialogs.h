#pragma once
// "Équivalents clavier": reprogramming one key at a time on a working copy of the key map. The
// key is pressed in a key-capture field; the dialog shows its binding and lets the user unbind it,
// mark it as applying to the preceding item, or close to pick a command in one of the editors
// (Insert Expression, a font command, Do Secondary Command). CustomizeKeyboard (Options >
// "&Frappes...") runs that loop, and OK makes the working copy the live key map and saves it.

#include "OverSrcs/commands/kEdit.h"
#include "plat/Types.h"

#include <cstdint>
#include <string>
#include <vector>

class oDlgWidget;

inline constexpr int kKeyboardDialogId = 4122;
inline constexpr int kRevertKeysDialogId = 4123;
inline constexpr int kKeyboardPrintButton = 6505;
inline constexpr int kKeyboardRevertButton = 6506;
inline constexpr int kKeyboardKeyItem = 6509;
inline constexpr int kKeyboardPreviewItem = 6516;
inline constexpr int kKeyboardNothingButton = 6517;
inline constexpr int kKeyboardInsertButton = 6518;
inline constexpr int kKeyboardFontButton = 6519;
inline constexpr int kKeyboardSecondaryButton = 6520;
inline constexpr int kKeyboardPreviousItem = 6521;
inline constexpr int kRevertKeysTextItem = 6759;
// The menu item Options > "&Frappes...".
inline constexpr int kCustomizeKeyboardMenuId = 6658;
// Results of the keyboard dialog beyond OK and Cancel.
inline constexpr int32_t kKeyboardResultInsert = 5;
inline constexpr int32_t kKeyboardResultFont = 6;
inline constexpr int32_t kKeyboardResultSecondary = 7;
inline constexpr int32_t kKeyboardResultPrint = 222;
inline constexpr int32_t kKeyboardResultRevert = 333;
// "Impossible d'enregistrer le fichier Préférences."
inline constexpr int kPrefsSaveFailedString = 505;

// The dialog's record, kept for the program's run and reset by each start of the command.
struct KeyboardEquivalentsDlgRecord {
    int32_t key = 32;
    oDlgWidget* preview = nullptr;
    int32_t kind = -1;
    uint8_t appliesToPrevious = 0;
};
extern KeyboardEquivalentsDlgRecord TheKeyboardRecord;

// The copy of the key map the dialog edits, the key last captured, and whether that key's command
// applies to the preceding item.
extern KeyMapTable WorkingKeyMap;
extern int32_t SelectedKey;
extern bool SelectedKeyAppliesToPrevious;

// The services the dialog's procedure runs.
void SelectKeyEntry();
void ClearSelectedKey();
void SetKeyAppliesToPrevious();
void DrawKeyCommandIcon();

// Puts the character keys (32-255) and the keypad characters (288-319) back to typing their
// character; every other entry is left as it is.
void RevertKeyMapToTyping(KeyMapTable& map);
// One line per bound key: its name, a tab and what the key does.
std::vector<std::string> KeyAssignmentLines(const KeyMapTable& map);
// What a command code does, in words.
std::string DescribeCommand(int32_t code);
// The strings of those words ("%s" stands for the character, the number or the name).
inline constexpr int kCharacterCommandString = 1310;
inline constexpr int kStyledCharacterCommandString = 1311;
inline constexpr int kColourCommandString = 1312;
inline constexpr int kNamedColourCommandString = 1313;
inline constexpr int kMacroCommandString = 1314;
inline constexpr int kSubPaletteCommandString = 1315;
inline constexpr int kStyleCommandString = 1316;
inline constexpr int kInsertCommandString = 1317;
inline constexpr int kOtherCommandString = 1318;
inline constexpr int kBackwardSelectionString = 1319;
// Prints the key list; a failure is reported, a cancel is quiet.
void PrintKeyAssignments(const KeyMapTable& map);

// Writes the map as keys.prf into `folder` (made when missing). The previous file stays as it was
// when anything fails; then, unless silent, the failure is reported. True when written.
bool SaveKeysPrefsIn(const std::string& folder, const KeyMapTable& map, bool silent);
// The live key map into the preferences folder (nothing when running embedded).
bool SaveKeysPrefs(bool silent);

// The editor that answers the "Change the Font..." kind: given the key's entry, the font command
// to store (0 for none). Until the font command chooser is installed here, the kind shows the
// not-yet-implemented notice and stores nothing.
extern int32_t (*KeyboardFontCommandChooser)(int32_t code);

int32_t RunKeyboardEquivalentsDlg(std::uintptr_t record);
int32_t RunRevertToOriginalDlg(std::uintptr_t unused);
plat::INT_PTR KeyboardEquivalentsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                         plat::LPARAM lParam);
plat::INT_PTR RevertToOriginalDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                      plat::LPARAM lParam);

// The menu command: edits a working copy of the key map until OK (the copy becomes the key map and
// is saved) or Cancel (the key map is left as it was).
void CustomizeKeyboard();
