#pragma once
// The pages of the setup wizard and the question asked on a first start: modal dialogs with a
// banner, a question and (on most pages) one group of radio buttons. A page with choices edits
// one choice index, the `WizardChoice` its caller passes.

#include "plat/Types.h"

#include <cstdint>

inline constexpr int kFirstSetupWizardPageId = 4215;
inline constexpr int kLastSetupWizardPageId = 4222;
inline constexpr int kPreviousUseDialogId = 4237;
inline constexpr int kSetupBannerBitmapId = 17680;

// The choice index a page edits: radio button first + index of the page's group.
using WizardChoice = int32_t;

// The radio group of a wizard page: its first and last id, or {0, 0} for a page without one.
struct SetupWizardChoices {
    int first;
    int last;
};
SetupWizardChoices SetupWizardPageChoices(int pageId);

// The pages with choices check button first + *choice when they open. "Next" returns 1 and
// stores the index of the checked button (-1 when none is); "Annuler" and Escape return 0 and
// leave *choice as it was. A null choice is neither read nor written.
int32_t RunSetupStep1Dlg(WizardChoice* choice);             // 4215
int32_t RunSetupPrinterTypeDlg(WizardChoice* choice);       // 4217
int32_t RunSetupFontStrategyDlg(WizardChoice* choice);      // 4218
int32_t RunSetupImageQualityDlg(WizardChoice* choice);      // 4219
int32_t RunSetupVerticalAlignmentDlg(WizardChoice* choice); // 4220
int32_t RunSetupCopyCommandDlg(WizardChoice* choice);       // 4221

// The pages without choices store their argument and never read it: 1 after "Next" or "Done",
// 0 after "Annuler" or Escape.
int32_t RunSetupStep2Dlg(void* param);    // 4216
int32_t RunSetupFinishedDlg(void* param); // 4222

// The first-run question: 1 for "Brand New User" and "Just Use Fresh Preferences, Please", 2 for
// "Import My Old Palette/Preferences". Escape, the close box and a command of OK do not close it.
int32_t RunPreviousUseDlg(void* param); // 4237

// Every launcher returns the failure value of the dialog runner when the dialog cannot be made.

plat::INT_PTR SetupStep1DlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                plat::LPARAM lParam);
plat::INT_PTR SetupStep2DlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                plat::LPARAM lParam);
plat::INT_PTR SetupPrinterTypeDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                      plat::LPARAM lParam);
plat::INT_PTR SetupFontStrategyDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                       plat::LPARAM lParam);
plat::INT_PTR SetupImageQualityDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                       plat::LPARAM lParam);
plat::INT_PTR SetupVerticalAlignmentDlgProc(plat::HWND dialog, plat::UINT message,
                                            plat::WPARAM wParam, plat::LPARAM lParam);
plat::INT_PTR SetupCopyCommandDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                      plat::LPARAM lParam);
plat::INT_PTR SetupFinishedDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                   plat::LPARAM lParam);
plat::INT_PTR PreviousUseDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                 plat::LPARAM lParam);
