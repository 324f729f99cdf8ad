#pragma once
// The Modify dialogs of the template nodes: integrals, scripts, fences, marks, fractions, tree
// nodes, tensors and boxes. Each edits the record that its node class's Modify fills from the
// node's kind field; OK writes every field back and answers 1, Cancel answers 0 and leaves the
// record as it was. A radio group that shows no button (a kind the dialog cannot show) keeps the
// record's value at OK, so the node keeps what it had.

#include "ExprSrcs/Change.h"
#include "plat/Types.h"

#include <array>
#include <cstdint>

inline constexpr int kEditIntegralDialogId = 4106;
inline constexpr int kEditScriptsDialogId = 4107;
inline constexpr int kEditDelimiterDialogId = 4112;
inline constexpr int kEditEmbellishmentDialogId = 4113;
inline constexpr int kEditFractionDialogId = 4114;
inline constexpr int kEditTreeNodeDialogId = 4115;
inline constexpr int kEditTensorDialogId = 4116;
inline constexpr int kEditBoxDialogId = 4117;

// Dialog 4106 (the sign kinds and the count field are in Change.h).
inline constexpr int kIntegralLimitsItem = 2420;
inline constexpr int kIntegralInlineItem = 2421;
// Dialog 4107: pre-scripts, over and under scripts, the extra slot, sub- and superscripts.
inline constexpr int kScriptsPreItem = 2663;
inline constexpr int kScriptsLimitsItem = 2664;
inline constexpr int kScriptsOperandItem = 2665;
inline constexpr int kScriptsSubSupItem = 2666;
// Dialog 4112: the index within either group is the delimiter code.
inline constexpr int kDelimiterClosingFirst = 3945;
inline constexpr int kDelimiterClosingLast = 3955;
inline constexpr int kDelimiterOpeningFirst = 3957;
inline constexpr int kDelimiterOpeningLast = 3967;
inline constexpr int kDelimiterHorizontalItem = 3978;
// Dialog 4113.
inline constexpr int kMarkFixedWidthItem = 4199;
inline constexpr int kMarkFirst = 4200;
inline constexpr int kMarkLast = 4210;
inline constexpr int kMarkPlacementFirst = 4227;
inline constexpr int kMarkPlacementLast = 4230;
// The pictures of dialog 4113 send these commands when clicked; each chooses a mark.
inline constexpr int kMarkPictureFirst = 4211;
inline constexpr int kMarkPictureLast = 4225;
// The mark index (0-10) that picture command `id` chooses, or -1 for any other id.
int32_t MarkOfPictureCommand(int id);
// Dialog 4114.
inline constexpr int kFractionStyleFirst = 4455;
inline constexpr int kFractionStyleLast = 4459;
// Dialog 4115: the count field, the seven intermediate-level boxes and "Côtés".
inline constexpr int kTreeCountItem = 4718;
inline constexpr int kTreeIntermediateFirst = 4720;
inline constexpr int kTreeSidesItem = 4727;
// Dialog 4116: the count field and the seven contravariant boxes.
inline constexpr int kTensorCountItem = 4970;
inline constexpr int kTensorUpperFirst = 4971;
// Dialog 4117: the thickness popup (menu 38, one value per entry: 0-15), shadow, quantising.
inline constexpr int kBoxThicknessItem = 5223;
inline constexpr int kBoxThicknessMenu = 38;
inline constexpr int kBoxThicknessCount = 16;
inline constexpr int kBoxShadowFirst = 5224;
inline constexpr int kBoxShadowLast = 5226;
inline constexpr int kBoxQuantiseHeightItem = 5227;
inline constexpr int kBoxQuantiseWidthItem = 5228;

// "Modifier l'intégrale": the sign kind, the number of signs (kept within 1..8, 1 for the
// evaluate-at bar, by ValidateIntegralCount as it is typed and when the bar is chosen) and the
// limits and inline switches.
int32_t RunEditIntegralDlg(IntegralDlgRecord* record);
plat::INT_PTR EditIntegralDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                  plat::LPARAM lParam);
// "Modifier les exposants/indices": four independent switches; any combination is accepted.
int32_t RunEditScriptsDlg(ScriptsDlgRecord* record);
plat::INT_PTR EditScriptsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                 plat::LPARAM lParam);
// "Modifier le délimiteur": the right and left delimiter codes and top-and-bottom.
int32_t RunEditDelimiterDlg(DelimiterDlgRecord* record);
plat::INT_PTR EditDelimiterDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                   plat::LPARAM lParam);
// "Modifier l'ornement": the mark (its button or either of its pictures), position, fixed width.
int32_t RunEditEmbellishmentDlg(EmbellishmentDlgRecord* record);
plat::INT_PTR EditEmbellishmentDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                       plat::LPARAM lParam);
// "Modifier la fraction": one of five styles.
int32_t RunEditFractionDlg(FractionDlgRecord* record);
plat::INT_PTR EditFractionDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                  plat::LPARAM lParam);
// "Modifier le noeud de l'arbre": the number of branches (1..14, ValidateCountField as typed),
// which branches hang at the intermediate level, and the tree on its side.
int32_t RunEditTreeNodeDlg(TreeNodeDlgRecord* record);
plat::INT_PTR EditTreeNodeDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                  plat::LPARAM lParam);
// "Modifier le tenseur": the number of indices (1..14) and which of the first seven are
// contravariant.
int32_t RunEditTensorDlg(TensorDlgRecord* record);
plat::INT_PTR EditTensorDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                plat::LPARAM lParam);
// "Modifier le cadre": line thickness, shadow and the two quantising switches.
int32_t RunEditBoxDlg(BoxDlgRecord* record);
plat::INT_PTR EditBoxDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                             plat::LPARAM lParam);

// Installs the eight launchers into the Modify command's table.
void InstallModifyTemplateDialogs();
