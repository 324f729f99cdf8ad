#pragma once
// "Table de conversion": chooses which translator file of the preferences folder is the Copy As
// translator (the text of a normal Copy and of "Copy With Current Translator").

#include "plat/Types.h"

#include <cstdint>
#include <string>
#include <vector>

class oListBox;

inline constexpr int kConversionTableDialogId = 4136;
inline constexpr int kConversionTableList = 10090;

// The dialog's record: the list's row when it closed, and its list object while it runs.
struct ConversionTableDlgRecord {
    int32_t selection = -1;
    oListBox* list = nullptr;
};

int32_t RunConversionTableDlg(ConversionTableDlgRecord* record);
plat::INT_PTR ConversionTableDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                     plat::LPARAM lParam);

// The ".cat" files of the preferences folder, scanned afresh.
void FillTranslatorFileList();
const std::vector<std::string>& TranslatorFiles();
// Fichier > "Table de conversion...": on OK with a file chosen, that file becomes the Copy As
// translator and its path is kept in general.prf; anything else changes nothing. A file that
// cannot be read is reported and changes nothing.
void ChooseTranslatorCommand();

// "Table de traduction": edits the strings of the Copy As translator, category by category, and
// the font records that identify blocks of characters.
inline constexpr int kTranslationTableDialogId = 4139;
inline constexpr int kCatFileNameItem = 10854;
inline constexpr int kCatTableFirst = 10857; // composites, characters, strings: 10857..10859
inline constexpr int kCatTableLast = 10859;
inline constexpr int kCatCategoryList = 10860;
inline constexpr int kCatEntryList = 10861;
inline constexpr int kCatFontButton = 10862;
inline constexpr int kCatTextItem = 10864;
// The editor's result that asks for the font dialog on the current character block.
inline constexpr int32_t kCatFontResult = 7;
// "Reconnaître cette police pour traitement spécial : "
inline constexpr int kCatFontTitleString = 238;

// The editor's record, kept for the program's run.
struct TranslationTableDlgRecord {
    int32_t tableKind = 0;
    int32_t categoryRow = 0;
    oListBox* categoryList = nullptr;
    int32_t entryRow = 0;
    oListBox* entryList = nullptr;
    std::string text; // the edit's whole text (CR LF line ends)
};
TranslationTableDlgRecord& TheTranslationTableRecord();

int32_t RunTranslationTableDlg(TranslationTableDlgRecord* record);
plat::INT_PTR TranslationTableDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                      plat::LPARAM lParam);

// The editor's services on the open dialog.
void FillCatCategoryList();
void FillCatEntryList();
// Stores the edit's text into the entry shown so far, then shows entry `row` of the category.
void ShowCatEntry(int32_t row);
// Makes category `row` of the current table the current one and shows its first entry.
void UpdateCatEntryView(int32_t row);
// Switches to table `kind` (0 composites, 1 characters, 2 strings); nothing when it is shown.
void SelectCatCategory(int32_t kind);
// Enables "Modifier la police" for the character codes whose block has a font record to set, and
// shows the translator's file name.
void ShowCatCodeInfo();
// The entry code being edited, or -1 when the selected row is not an entry of the category.
int32_t CurrentCatCode();

// Fichier > "Table de traduction...": edits the Copy As translator. OK writes it to its file
// (through a sibling file, so a failed write leaves the old file as it was); Cancel restores
// every string and font record as they were when the editor opened.
void DoCATEdit();
