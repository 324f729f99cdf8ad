#pragma once
// The Modify dialogs: each edits the parameter record that a node class's Modify fills from the
// node, and the Modify command applies the record when the dialog ends with anything but Cancel.
// Start-up installs the launchers into the Modify command's table, together with the dialog-item
// operations that the expression model's dialog support works with.

#include "ExprSrcs/Change.h"
#include "plat/Types.h"

#include <cstdint>

inline constexpr int kEditStringDialogId = 4109;

// "Modifier la chaîne": ruler choice, vertical and horizontal justification. 1 OK (the record
// updated), 0 Cancel, -1 when the dialog cannot be made.
int32_t RunEditStringDlg(StringDlgRecord* record);
plat::INT_PTR EditStringDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                plat::LPARAM lParam);

// Installs the launchers of the Modify dialogs and the dialog-item operations. Safe to call again.
void InstallModifyDialogs();
