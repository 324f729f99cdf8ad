#pragma once
// The matrix dialogs: "Modifier\n la matrice" (size with its 8 x 8 picker, cell justifications and
// layout switches), "Délimitations de la matrice" (separating lines drawn on a preview of the
// grid) and "Insérer un indice" (how the numbering command numbers cells). The first two work on
// the records the matrix Modify fills and on the shared matrix state (MatrixState), whose line
// words the previews draw and toggle.

#include "ExprSrcs/Change.h"
#include "plat/Types.h"

#include <cstdint>

inline constexpr int kMatrixIndicesDialogId = 4108;
inline constexpr int kMatrixDelimitersDialogId = 4110;
inline constexpr int kEditMatrixDialogId = 4111;

// Dialog 4111.
inline constexpr int kMatrixSeparationButton = 3694;
inline constexpr int kMatrixSizePickerItem = 3695;
inline constexpr int kMatrixColumnsItem = 3697;
inline constexpr int kMatrixRowsItem = 3699;
inline constexpr int kMatrixVerticalFirst = 3701;
inline constexpr int kMatrixVerticalLast = 3703;
inline constexpr int kMatrixUnequalRowsItem = 3704;
inline constexpr int kMatrixUnequalColumnsItem = 3711;
inline constexpr int kMatrixOuterSpaceItem = 3712;
// Dialog 4110 (its other items are in Change.h).
inline constexpr int kMatrixLinesHelpItem = 3438;
// Dialog 4108.
inline constexpr int kIndexRuleFirst = 2919;
inline constexpr int kIndexRuleLast = 2923;
inline constexpr int kIndexDepthItem = 2925;
inline constexpr int kIndexStartItem = 2927;
inline constexpr int kIndexDepthMenu = 37;
inline constexpr int kIndexDepthCount = 3;

// "Modifier\n la matrice". 1 OK, 9 "Lignes de séparation..." (both write the record back), 0
// Cancel, -1 when the dialog cannot be made. OK is refused with a beep while the size has more
// than kMaxMatrixCells cells; each count is first brought into 1..kMaxMatrixCount.
int32_t RunEditMatrixDlg(MatrixDlgRecord* record);
plat::INT_PTR EditMatrixDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                plat::LPARAM lParam);

// "Délimitations de la matrice": edits MatrixState's line words in place (the caller keeps a copy
// for Cancel); OK writes the line kind back.
int32_t RunMatrixDelimitersDlg(MatrixLinesDlgRecord* record);
plat::INT_PTR MatrixDelimitersDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                      plat::LPARAM lParam);

// Dialog 4108's record.
struct MatrixIndicesDlgRecord {
    int32_t rule = 0;  // index of the rule buttons
    int32_t depth = 0; // 0 innermost matrix, 1 the next one out, 2 the third
    DialogText start{};
};
int32_t RunInsertMatrixIndicesDlg(MatrixIndicesDlgRecord* record);
plat::INT_PTR InsertMatrixIndicesDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                         plat::LPARAM lParam);

// What the numbering command keeps between uses: cell (r, c) gets
// start + rowStep * r + columnStep * c.
struct MatrixIndexSettings {
    int32_t rule = 0;
    int32_t depth = 0;
    int32_t start = 1;
    int32_t rowStep = 1;
    int32_t columnStep = 0;
};
extern MatrixIndexSettings MatrixIndices;
void ResetMatrixIndexSettings();
// The row and column steps of a numbering rule (0..4); another rule reads as rule 0.
void MatrixIndexSteps(int32_t rule, int32_t& rowStep, int32_t& columnStep);
// The numbering command's question: dialog 4108 on the kept settings. True (and the settings
// updated: start from the text, non-numbers reading 0) unless the user cancelled, in which case
// nothing changes.
bool AskMatrixIndexSettings();

// Insertion > "Insérer un indice...": asks the numbering settings, then numbers the selected cells
// (a selection outside every matrix fails with message 503).
void ChooseMatrixNumbering();

// Installs the matrix dialogs' launchers into the Modify command's table. Safe to call again.
void InstallMatrixDialogs();
