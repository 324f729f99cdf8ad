#pragma once
// The About box, the acknowledgements it leads to, and the dialog procedure of the start-up
// splash picture.

#include "plat/Types.h"

#include <cstdint>

inline constexpr int kAboutDialogId = 4223;
inline constexpr int kSplashDialogId = 4224;
inline constexpr int kCreditsDialogId = 4225;

inline constexpr int kAboutCreditsButton = 32361;
inline constexpr int kAboutVersionItem = 32359;
inline constexpr int kSplashTextItem = 32613;
inline constexpr int kCreditsTextItem = 32870;

inline constexpr int kAboutBitmapId = 18544;
inline constexpr int kCreditsBitmapId = 18576;
inline constexpr int kSplashBitmapId = 18608;

// The string the About box shows as its version line.
inline constexpr int kVersionStringId = 138;

// 1 after "OK" or Enter, 2 after "Remerciements"; Escape does not close it.
int32_t RunAboutDlg(void* argument);
// 1 after "OK" or Enter; Escape does not close it.
int32_t RunCreditsDlg(void* argument);
// The splash as a modal dialog; nothing runs it (the shell shows the splash modelessly).
int32_t RunSplashScreenDlg(void* argument);

plat::INT_PTR AboutDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                           plat::LPARAM lParam);
plat::INT_PTR CreditsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                             plat::LPARAM lParam);
plat::INT_PTR SplashScreenDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                  plat::LPARAM lParam);

// The About command: the About box, then the acknowledgements when it ended with its Credits
// button. The About box's result less 2, or the acknowledgements' result.
int32_t ShowAboutBox();
