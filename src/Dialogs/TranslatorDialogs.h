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
