#pragma once
// Four small dialogs of the application: renaming a toolbar, the printing progress box, the printer
// resolution, and the box that shows a web address to copy by hand when the web browser cannot be
// reached. Three of them edit a text field of the caller: shown in one edit box and written back
// from it on OK (at most 239 characters, always terminated).

#include "ExprSrcs/Change.h"
#include "plat/Types.h"

#include <cstdint>

inline constexpr int kRenameToolbarDialogId = 4098;
inline constexpr int kPrintProgressDialogId = 4099;
inline constexpr int kPrinterResolutionDialogId = 4100;
inline constexpr int kBrowserAddressDialogId = 4102;

inline constexpr int kRenameToolbarNameItem = 360;
inline constexpr int kPrintProgressPageItem = 617;
inline constexpr int kPrinterResolutionItem = 873;
inline constexpr int kPrinterDefaultButton = 875;
inline constexpr int kBrowserAddressItem = 1383;

// "Rename": 1 OK (the name written back), 0 Cancel, -1 when the dialog cannot be made.
int32_t RunRenameToolbarDlg(DialogText* name);
// "Impression" run modally: it only ends with "Annuler" (0). Its argument is not read.
int32_t RunPrintProgressDlg(std::uintptr_t argument);
// "Printer Resolution": 1 OK (the resolution text written back), 0 Cancel; "Imprimante par
// défaut" does nothing.
int32_t RunPrinterResolutionDlg(DialogText* resolution);
// "Essayez-le vous-même": only OK closes it (1), writing back whatever the edit box holds.
int32_t RunBrowserFallbackDlg(DialogText* address);

plat::INT_PTR RenameToolbarDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                   plat::LPARAM lParam);
plat::INT_PTR PrintProgressDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                   plat::LPARAM lParam);
plat::INT_PTR PrinterResolutionDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                       plat::LPARAM lParam);
plat::INT_PTR BrowserFallbackDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                     plat::LPARAM lParam);
