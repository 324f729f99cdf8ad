#pragma once
// The common dialogs: open and save file names, and colour choice. They are dialogs of the
// platform's own (French texts), drawn by the same controls and scriptable by the test driver.

#include "plat/Types.h"

namespace plat {

// Dialog numbers the test driver knows them by (plat::testing::onDialog).
constexpr int IDD_OPENFILE = 0x7F01;
constexpr int IDD_SAVEFILE = 0x7F02;
constexpr int IDD_CHOOSECOLOR = 0x7F03;

// Control ids inside the file dialogs.
constexpr int IDC_FILE_FOLDER = 1153; // the folder shown (an edit; Enter in it opens the folder)
constexpr int IDC_FILE_LIST = 1120;   // folders ("[name]") then the files matching the type
constexpr int IDC_FILE_TYPE = 1136;   // the filter combo
constexpr int IDC_FILE_NAME = 1152;   // the file name

// Control ids inside the colour dialog.
constexpr int IDC_COLOR_RED = 706;
constexpr int IDC_COLOR_GREEN = 707;
constexpr int IDC_COLOR_BLUE = 708;
constexpr int IDC_COLOR_ADD = 712;

constexpr DWORD OFN_READONLY = 0x00000001;
constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_NOCHANGEDIR = 0x00000008;
constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;

struct OPENFILENAME {
    DWORD lStructSize = sizeof(OPENFILENAME);
    HWND hwndOwner = nullptr;
    HINSTANCE hInstance = nullptr;
    // Pairs of texts ("Formules", "*.kvx;*.kvq"), each ended by a zero, the list by another.
    const char* lpstrFilter = nullptr;
    char* lpstrCustomFilter = nullptr; // accepted, not used
    DWORD nMaxCustFilter = 0;
    DWORD nFilterIndex = 0; // 1-based, in and out
    // In: an initial name or path; out: the full path chosen. nMaxFile is the buffer's size.
    char* lpstrFile = nullptr;
    DWORD nMaxFile = 0;
    char* lpstrFileTitle = nullptr; // out: the name without its folder, when given
    DWORD nMaxFileTitle = 0;
    const char* lpstrInitialDir = nullptr;
    const char* lpstrTitle = nullptr; // the caption, else "Ouvrir" / "Enregistrer sous"
    DWORD Flags = 0;
    WORD nFileOffset = 0;              // out: where the name starts in lpstrFile
    WORD nFileExtension = 0;           // out: where the extension starts (after the dot), or 0
    const char* lpstrDefExt = nullptr; // added to a name without an extension
    LPARAM lCustData = 0;
};

// TRUE with the path in lpstrFile; FALSE after Cancel or on an error (CommDlgExtendedError).
BOOL GetOpenFileName(OPENFILENAME* ofn);
BOOL GetSaveFileName(OPENFILENAME* ofn);

constexpr DWORD CC_RGBINIT = 0x00000001;
constexpr DWORD CC_FULLOPEN = 0x00000002;

struct CHOOSECOLOR {
    DWORD lStructSize = sizeof(CHOOSECOLOR);
    HWND hwndOwner = nullptr;
    HINSTANCE hInstance = nullptr;
    COLORREF rgbResult = 0;
    COLORREF* lpCustColors = nullptr; // 16 colours, updated on OK
    DWORD Flags = 0;
    LPARAM lCustData = 0;
};

BOOL ChooseColor(CHOOSECOLOR* cc);

constexpr DWORD CDERR_DIALOGFAILURE = 0xFFFF;
constexpr DWORD CDERR_STRUCTSIZE = 0x0001;
constexpr DWORD CDERR_INITIALIZATION = 0x0002;
constexpr DWORD PDERR_NODEFAULTPRN = 0x1008;
constexpr DWORD FNERR_BUFFERTOOSMALL = 0x3003;

// The error of the last common dialog call: 0 after Cancel or success.
DWORD CommDlgExtendedError();

} // namespace plat
