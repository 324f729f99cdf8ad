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

// The string of the caller's module (OPENFILENAME::hInstance; the program's own module when null)
// that the file dialogs show, above the name, when a file is chosen whose name the active code
// page cannot write. Without that string they say it in their own words.
constexpr UINT IDS_NAME_OUTSIDE_CODE_PAGE = 478;

constexpr DWORD OFN_READONLY = 0x00000001;
constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_NOCHANGEDIR = 0x00000008;
constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;

struct OPENFILENAME {
    DWORD lStructSize = sizeof(OPENFILENAME);
    HWND hwndOwner = nullptr;
    HINSTANCE hInstance = nullptr; // where IDS_NAME_OUTSIDE_CODE_PAGE is found
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

// --- Printing: the print and print set-up dialogs ------------------------------------------------
// The printers are the CUPS queues `lpstat -a` lists (none when the command is missing or fails;
// KV_LPSTAT names another program for tests) followed by the "Fichier PDF" printer, which is
// always there. Printer names outside Windows-1252 or holding a comma (the "windows"/"device"
// profile entry separates its fields with commas) are left out.
namespace plat {

constexpr int IDD_PRINT = 0x7F04;
constexpr int IDD_PRINTSETUP = 0x7F05;

// Control ids inside the print dialogs.
constexpr int IDC_PRINT_PRINTER = 1139;  // the printer combo (both dialogs)
constexpr int IDC_PRINT_COPIES = 1154;   // the number of copies (print dialog)
constexpr int IDC_PRINT_PAPER = 1137;    // A4, Letter, Legal (set-up dialog)
constexpr int IDC_PRINT_PORTRAIT = 1056; // orientation radios (set-up dialog)
constexpr int IDC_PRINT_LANDSCAPE = 1057;
constexpr int IDC_PRINT_QUALITY = 1138; // 300, 600, 1200 dpi (set-up dialog)
constexpr int IDC_PRINT_FILE = 1152;    // the PDF file written (print dialog, "Fichier PDF")

// The always-present printer that writes a PDF file, and the driver names DEVNAMES carries (the
// output of a CUPS printer is its queue name; the PDF printer's is "FILE:").
inline constexpr const char* kPdfPrinterName = "Fichier PDF";
inline constexpr const char* kPdfPrinterDriver = "PDF";
inline constexpr const char* kCupsPrinterDriver = "CUPS";

constexpr DWORD PD_ALLPAGES = 0x00000000;
constexpr DWORD PD_SELECTION = 0x00000001;
constexpr DWORD PD_PAGENUMS = 0x00000002;
constexpr DWORD PD_NOSELECTION = 0x00000004;
constexpr DWORD PD_NOPAGENUMS = 0x00000008;
constexpr DWORD PD_COLLATE = 0x00000010;
constexpr DWORD PD_PRINTSETUP = 0x00000040;
constexpr DWORD PD_RETURNDC = 0x00000100;
constexpr DWORD PD_RETURNDEFAULT = 0x00000400;
constexpr DWORD PD_USEDEVMODECOPIESANDCOLLATE = 0x00040000;

constexpr DWORD CDERR_MEMALLOCFAILURE = 0x0009;
constexpr DWORD PDERR_RETDEFFAILURE = 0x1009;

constexpr DWORD DM_ORIENTATION = 0x00000001;
constexpr DWORD DM_PAPERSIZE = 0x00000002;
constexpr DWORD DM_COPIES = 0x00000100;
constexpr DWORD DM_PRINTQUALITY = 0x00000400;
constexpr DWORD DM_COLOR = 0x00000800;
constexpr DWORD DM_YRESOLUTION = 0x00002000;
constexpr DWORD DM_COLLATE = 0x00008000;

constexpr short DMORIENT_PORTRAIT = 1;
constexpr short DMORIENT_LANDSCAPE = 2;
constexpr short DMPAPER_LETTER = 1;
constexpr short DMPAPER_LEGAL = 5;
constexpr short DMPAPER_A4 = 9;
constexpr short DMCOLOR_MONOCHROME = 1;
constexpr short DMCOLOR_COLOR = 2;

constexpr int CCHDEVICENAME = 32;

// The device mode: the fields in dmFields are the ones that hold a value. dmDeviceName is the
// printer name cut to 31 characters; DEVNAMES holds it whole.
struct DEVMODE {
    char dmDeviceName[CCHDEVICENAME] = {};
    WORD dmSpecVersion = 0x0401;
    WORD dmDriverVersion = 0;
    WORD dmSize = sizeof(DEVMODE);
    WORD dmDriverExtra = 0;
    DWORD dmFields = 0;
    short dmOrientation = 0;
    short dmPaperSize = 0;
    short dmPaperLength = 0; // tenths of a millimetre
    short dmPaperWidth = 0;
    short dmScale = 100;
    short dmCopies = 1;
    short dmDefaultSource = 0;
    short dmPrintQuality = 0; // dots per inch
    short dmColor = 0;
    short dmDuplex = 0;
    short dmYResolution = 0;
    short dmTTOption = 0;
    short dmCollate = 0;
};

constexpr WORD DN_DEFAULTPRN = 0x0001;

// The device names: offsets, in characters from the start of the block, of the driver, device
// and output strings that follow; wDefault has DN_DEFAULTPRN when the device is the default one.
struct DEVNAMES {
    WORD wDriverOffset;
    WORD wDeviceOffset;
    WORD wOutputOffset;
    WORD wDefault;
};

struct PRINTDLG {
    DWORD lStructSize = sizeof(PRINTDLG);
    HWND hwndOwner = nullptr;
    HGLOBAL hDevMode = nullptr;  // in: the settings shown, when valid; out: a new block
    HGLOBAL hDevNames = nullptr; // in: the printer shown, when valid; out: a new block
    HDC hDC = nullptr;           // not filled: printer DCs are made from the two blocks
    DWORD Flags = 0;
    WORD nFromPage = 0; // kept as given: the dialog offers no page range
    WORD nToPage = 0;
    WORD nMinPage = 0;
    WORD nMaxPage = 0;
    WORD nCopies = 0; // in and out, unless PD_USEDEVMODECOPIESANDCOLLATE puts them in DEVMODE
    HINSTANCE hInstance = nullptr;
    LPARAM lCustData = 0;
};

// TRUE when confirmed (or, with PD_RETURNDEFAULT, at once with the default printer): the caller
// owns the new hDevMode and hDevNames blocks and the blocks it passed in are freed. FALSE after
// Cancel (CommDlgExtendedError 0) or on an error. PD_RETURNDEFAULT wants both handles null
// (else PDERR_RETDEFFAILURE); its printer is the default one, else the "Fichier PDF" printer.
// For the "Fichier PDF" printer the print dialog shows the file it will write and lets the user
// change it: a new name in the folder of the last one (at first the home folder); a file that is
// there already is replaced only once the user says so. The file is the output of the device names
// returned (else "FILE:", and EndDoc picks a new name in the home folder).
BOOL PrintDlg(PRINTDLG* pd);

// Only the "windows" section's "device" entry is known: "device,driver,output" of the printer the
// print set-up dialog last confirmed, else of the CUPS default (`lpstat -d`), else nothing (the
// default text). Copies at most size - 1 characters, always terminated; returns the length.
DWORD GetProfileString(const char* app, const char* key, const char* def, char* buf, DWORD size);
// Forgets the print set-up dialog's choice: the default printer is the CUPS default again (for
// when the system's printer settings change).
void ForgetPrintSetupChoice();

} // namespace plat
