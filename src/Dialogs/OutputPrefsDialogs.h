#pragma once
// The preference dialogs that choose the program's everyday outputs: the save type of new
// documents, the format a plain Copy puts on the clipboard, the PNG settings and the plug-in tag
// settings; and the commands of the Preferences menu that run them on the general preferences
// ("Sa", "Cf", "Pn", "Qv") and write general.prf after OK.

#include "plat/Types.h"

#include <cstdint>
#include <string>

inline constexpr int kSavingPrefsDialogId = 4140;
inline constexpr int kCopySetPrefsDialogId = 4141;
inline constexpr int kPluginTagPrefsDialogId = 4142;
inline constexpr int kPngPrefsDialogId = 4144;

// Menu items that run the commands.
inline constexpr int kSavingPrefsMenuId = 6913;
inline constexpr int kCopySetPrefsMenuId = 6914;
inline constexpr int kPngPrefsMenuId = 6916;
inline constexpr int kPluginTagPrefsMenuId = 6917;

// ---- "Saving Preferences"

inline constexpr int kSaveTypeFirstItem = 11114; // index = control id - 11114
inline constexpr int kSaveTypeLastItem = 11120;

struct SavingPrefsDlgRecord {
    int32_t choice = 0;
};

// The radio index that shows save type `saveType` (0 for types no button offers).
int32_t SaveTypeChoice(int32_t saveType);
// The save type of radio index `choice` (2 for an index outside the group).
int32_t SaveTypeOfChoice(int32_t choice);

int32_t RunSavingPrefsDlg(SavingPrefsDlgRecord* record);
plat::INT_PTR SavingPrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                 plat::LPARAM lParam);

// ---- "Copy Set Preferences"

inline constexpr int kCopyFormatFirstItem = 11374; // index = control id - 11374
inline constexpr int kCopyFormatLastItem = 11385;  // "Choose Application:"
inline constexpr int kCopyApplicationItem = 11367; // popup of menu 45 "Other Apps"
inline constexpr int kOtherAppsMenu = 45;

struct CopySetPrefsDlgRecord {
    int32_t application = 0; // value of the popup entry; 0 = none
    int32_t choice = 0;
};

// The record that shows copy format `format`.
CopySetPrefsDlgRecord CopySetChoiceOf(int32_t format);
// The copy format the record chooses.
int32_t CopyFormatOfChoice(const CopySetPrefsDlgRecord& record);

// The Copy item of Édition (516) names the copy format: "&Copier (" + the text of the format's
// button in Copy Set Preferences, or for 21 and up the application's entry of "Other Apps", + ")";
// "&Copier" alone for 0 and for a format no button or entry names.
inline constexpr int kCopyMenuId = 516;
std::string CopyMenuLabel(int32_t format);
// Shows the label of the current copy format on the Copy item (after each write of general.prf
// and once at start-up).
void UpdateCopyMenuLabel();

int32_t RunCopySetPrefsDlg(CopySetPrefsDlgRecord* record);
plat::INT_PTR CopySetPrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                  plat::LPARAM lParam);

// ---- "PNG Prefs"

inline constexpr int kPngImgTagItem = 12135;
inline constexpr int kPngMathSpeakItem = 12136;
inline constexpr int kPngSmoothingItem = 12139; // popup of menu 44 "Smooth Redraw Amount"
inline constexpr int kPngSmoothingMenu = 44;

struct PngPrefsDlgRecord {
    uint8_t copyImgTag = 0;
    uint8_t mathSpeakInAlt = 0;
    int32_t smoothing = 0;
};

int32_t RunPngPrefsDlg(PngPrefsDlgRecord* record);
plat::INT_PTR PngPrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                              plat::LPARAM lParam);

// ---- "Tessaron Plug-In Embedding Tags Prefs"

inline constexpr int kPluginMathSpeakItem = 11624;

struct PluginTagPrefsDlgRecord {
    uint8_t addMathSpeak = 0;
};

int32_t RunPluginTagPrefsDlg(PluginTagPrefsDlgRecord* record);
plat::INT_PTR PluginTagPrefsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                    plat::LPARAM lParam);

// ---- The commands (on the general preferences; each writes general.prf after OK)

void ChooseSavingPrefs();
void ChooseCopySetPrefs();
void ChoosePngPrefs();
void ChoosePluginTagPrefs();
