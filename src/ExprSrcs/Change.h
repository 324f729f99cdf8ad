// The Modify command: every node class answers change, which in query mode only reports the
// class's Modify kind and otherwise fills the parameter record of the class's property dialog from
// the node, runs the dialog and, on OK, sets the node's kind or rebuilds it. The dialogs live in
// the application layer; they are reached through a table of launchers that start-up installs. A
// launcher that is not installed makes the command a beep that changes nothing.
//
// The second half is what the open Modify dialogs call: the checks of their count and size
// fields, the 8 x 8 size picker of the matrix dialog and the preview of the matrix-delimiters
// dialog, in which clicks between cells add or remove separation lines. They act on the dialog's
// items through a second table of hooks, and on the shared matrix state below, which the matrix
// Modify fills before its dialog runs and reads after it.
#pragma once

#include "OverSrcs/eObject.h"
#include "OverSrcs/oGraph.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class oWidget;

// ---- Modify kinds -------------------------------------------------------------------------------

inline constexpr int32_t kModifyKindRow = 0;
inline constexpr int32_t kModifyKindRuledRow = 1;
inline constexpr int32_t kModifyKindMatrix = 3;
inline constexpr int32_t kModifyKindRuledMatrix = 4;
inline constexpr int32_t kModifyKindNoDialog = 5;
inline constexpr int32_t kModifyKindFence = 6;
inline constexpr int32_t kModifyKindMark = 7;
inline constexpr int32_t kModifyKindFraction = 8;
inline constexpr int32_t kModifyKindScripts = 9;
inline constexpr int32_t kModifyKindIntegral = 10;
inline constexpr int32_t kModifyKindBox = 11;
inline constexpr int32_t kModifyKindTensor = 12;
inline constexpr int32_t kModifyKindTreeNode = 13;
inline constexpr int32_t kModifyKindCharacter = 15;

// A row selected only in part can only be modified as a whole or one element at a time.
inline constexpr int errModifyPartOfRow = 492;

// ---- Dialog records -----------------------------------------------------------------------------
// A text field holds a decimal number as the dialog shows it; radio groups are indices from 0.

inline constexpr size_t kDialogTextSize = 240;
using DialogText = std::array<char, kDialogTextSize>;
// The number written with "%d" into a field, and read back (false for no digits).
void SetDialogNumber(DialogText& field, int32_t value);
bool ParseDialogNumber(const DialogText& field, int32_t& value);

// Dialog 4109.
struct StringDlgRecord {
    int32_t ruler = 0;      // 0 none, 1 recall ruler, 2 independent ruler
    int32_t vertical = 3;   // 0 top, 1 centre, 2 bottom, 3 math axis, 4 baseline
    int32_t horizontal = 0; // 0 left, 1 centre, 2 right
};
// Dialog 4111. Result 9 is its "Lignes de séparation..." button.
struct MatrixDlgRecord {
    int32_t unused = 0;
    DialogText columns{};
    DialogText rows{};
    int32_t vertical = 1; // 0 top, 1 math axis, 2 bottom
    uint8_t unequalRows = 0;
    int32_t horizontal = 1; // 0 left, 1 centre, 2 right, 3 align on the character
    DialogText alignChar{};
    uint8_t unequalColumns = 0;
    uint8_t removeOuterSpace = 0;
};
inline constexpr int32_t kMatrixLinesButtonResult = 9;
// Dialog 4110.
struct MatrixLinesDlgRecord {
    int32_t unused = 0;
    int32_t lineKind = 0; // 0 solid, 1 dotted
};
// Dialog 4112.
struct DelimiterDlgRecord {
    int32_t closing = 0; // delimiter types 0-10
    int32_t opening = 0;
    uint8_t horizontal = 0;
};
// Dialog 4113.
struct EmbellishmentDlgRecord {
    uint8_t fixedWidth = 0;
    int32_t mark = 0;      // the mark - 1 (0-10)
    int32_t placement = 0; // 0 above in the ascender, 1 above, 2 below in the descender, 3 below
};
// Dialog 4114.
struct FractionDlgRecord {
    int32_t style = 0; // 0-4, see FractionKindOfStyle
};
// Dialog 4107.
struct ScriptsDlgRecord {
    uint8_t prescripts = 0;
    uint8_t limits = 0;
    uint8_t operand = 0;
    uint8_t subSup = 1;
};
// Dialog 4106.
struct IntegralDlgRecord {
    int32_t sign = 0; // 0 plain, 1 contour, 2 reversed contour, 3 direct contour, 4 evaluate-at bar
    DialogText count{};
    uint8_t limitsAboveBelow = 0;
    uint8_t smallSign = 0;
};
inline constexpr int32_t kIntegralSignEvaluateAt = 4;
inline constexpr int32_t kIntegralMaxSigns = 8;
// Dialog 4117.
struct BoxDlgRecord {
    int32_t thickness = 0; // 0-15
    int32_t shadow = 0;    // 0 none, 1 left, 2 right
    uint8_t quantiseHeight = 0;
    uint8_t quantiseWidth = 0;
};
// Dialog 4116.
struct TensorDlgRecord {
    DialogText count{}; // indices
    std::array<uint8_t, 7> upper{};
};
// Dialog 4115.
struct TreeNodeDlgRecord {
    DialogText count{}; // children
    std::array<uint8_t, 7> intermediate{};
    uint8_t sides = 0;
};
// The tensor and tree-node counts.
inline constexpr int32_t kMaxExpandableCount = 14;

// ---- Launchers ----------------------------------------------------------------------------------
// Each runs its dialog modally on the caller's record: 1 OK (the record updated), 0 Cancel, further
// results as listed; a negative result (the dialog could not be made) counts as Cancel.
struct ModifyDialogLaunchers {
    int32_t (*runEditStringDlg)(StringDlgRecord* record) = nullptr;
    int32_t (*runEditMatrixDlg)(MatrixDlgRecord* record) = nullptr;
    int32_t (*runMatrixDelimitersDlg)(MatrixLinesDlgRecord* record) = nullptr;
    int32_t (*runEditDelimiterDlg)(DelimiterDlgRecord* record) = nullptr;
    int32_t (*runEditEmbellishmentDlg)(EmbellishmentDlgRecord* record) = nullptr;
    int32_t (*runEditFractionDlg)(FractionDlgRecord* record) = nullptr;
    int32_t (*runEditScriptsDlg)(ScriptsDlgRecord* record) = nullptr;
    int32_t (*runEditIntegralDlg)(IntegralDlgRecord* record) = nullptr;
    int32_t (*runEditBoxDlg)(BoxDlgRecord* record) = nullptr;
    int32_t (*runEditTensorDlg)(TensorDlgRecord* record) = nullptr;
    int32_t (*runEditTreeNodeDlg)(TreeNodeDlgRecord* record) = nullptr;
};
ModifyDialogLaunchers& TheModifyDialogLaunchers();
void ResetModifyDialogLaunchers();

// Fraction styles of the dialog, in its order, and back; a kind the dialog does not list reads as
// style 0.
int32_t FractionKindOfStyle(int32_t style);
int32_t FractionStyleOfKind(int32_t kind);

// The menu entries of the Modify menu: each modifies the node of its kind that the selection means,
// round a caret or inside a selection (message 496 when there is none; see ModifyNodeOfKind).
void ModifyCharCommand();
void ModifyScriptsCommand();
void ModifyTensorCommand();
void ModifyMatrixCommand();
void ModifyFenceCommand();
void ModifyMarkCommand();
void ModifyIntegralCommand();
void ModifyBoxCommand();
void ModifyFractionCommand();
void ModifyTreeNodeCommand();
// Runs the root settings instead (nothing when the command layer has no root settings).
void ModifyRootCommand();

// ---- Shared matrix state ------------------------------------------------------------------------

inline constexpr int32_t kLinePreviewCells = 8;
inline constexpr int32_t kMatrixLineNone = 0;
inline constexpr int32_t kMatrixLineSolid = 1;
inline constexpr int32_t kMatrixLineDotted = 2;
inline constexpr int32_t kNoLastClick = -44;
inline constexpr int32_t kMaxMatrixCount = 32000;

struct MatrixModifyState {
    int32_t columns = 0;
    int32_t rows = 0;
    // One word per row of cells: eight 2-bit line styles, bits 2c and 2c + 1 for column c.
    std::array<uint16_t, kLinePreviewCells> columnLines{};
    std::array<uint16_t, kLinePreviewCells> rowLines{};
    uint8_t linesPresent = 0;
    int32_t currentLineKind = kMatrixLineSolid; // 0 while a drag is clearing
    int32_t lastColumn = kNoLastClick;
    int32_t lastRow = kNoLastClick;
    bool lastVertical = false;
    bool firstToggle = true;
    int32_t halfWidth = 1; // preview units
    int32_t halfHeight = 1;
    oWidget* previewControl = nullptr;
};
extern MatrixModifyState MatrixState;
void ResetMatrixModifyState();
// The 2-bit style of a line word at column c, and the word with it replaced.
int32_t LineStyleAt(uint16_t word, int32_t column);
uint16_t WithLineStyle(uint16_t word, int32_t column, int32_t style);

// ---- Dialog items -------------------------------------------------------------------------------
// What the support operations use of the open dialog; the application installs the dialog-item
// operations. Null entries read as empty and do nothing.
struct ModifyDialogItems {
    int (*getRadioIndex)(int first, int last) = nullptr;
    void (*setRadioGroup)(int first, int last, int index) = nullptr;
    void (*enableItem)(int id, bool enable) = nullptr;
    std::string (*getItemText)(int id) = nullptr;
    void (*setItemText)(int id, const char* text) = nullptr;
    void (*setEditSelection)(int id, int start, int end) = nullptr;
};
ModifyDialogItems& TheModifyDialogItems();
void ResetModifyDialogItems();

// Dialog items of the Modify dialogs.
inline constexpr int kStringRulerFirst = 3175;
inline constexpr int kStringRulerLast = 3177;
inline constexpr int kStringVerticalFirst = 3179;
inline constexpr int kStringVerticalLast = 3183;
inline constexpr int kStringHorizontalFirst = 3186;
inline constexpr int kStringHorizontalLast = 3188;
inline constexpr int kMatrixLinesPreviewItem = 3434;
inline constexpr int kMatrixLinesClearItem = 3433;
inline constexpr int kMatrixLineKindFirst = 3436;
inline constexpr int kMatrixLineKindLast = 3437;
inline constexpr int kMatrixHorizontalFirst = 3706;
inline constexpr int kMatrixHorizontalLast = 3709;
inline constexpr int kMatrixAlignCharItem = 3710;
inline constexpr int kIntegralSignFirst = 2413;
inline constexpr int kIntegralSignLast = 2417;
inline constexpr int kIntegralCountItem = 2419;

// Dialog 4109: a row without a ruler aligns on the math axis, left; the vertical choices need a
// ruler and the horizontal ones an independent ruler.
void UpdateStringDialogItems();
// The preview of dialog 4110: a press starts a drag that toggles the lines it crosses in the line
// kind the dialog's radio buttons name.
void InitMatrixLinesControl(oWidget* control);
// Draws the preview over the control's bounds: min(rows, 8) x min(columns, 8) grey cells with the
// lines between them in their styles.
void DrawMatrixLinesPreview(oGraphPort* control);
// One point of the drag, in the control's coordinates.
void MatrixLinesPreviewClick(oPoint point);
// "Tout effacer": no lines at all.
void ResetMatrixLinesPreview(oGraphPort* control);
// The 8 x 8 size picker of dialog 4111 over the control's bounds.
void DrawMatrixSizePicker(oGraphPort* control);
// The clicked cell gives the columns and rows (1-8), written to the two items; a point outside the
// grid does nothing.
void MatrixSizePickerClick(oGraphPort* control, oPoint point, int rowsItem, int columnsItem);
// Each field must be 1-32000, else a beep and 1 is used (the field keeps its text); the picker is
// redrawn.
void ValidateMatrixSize(oGraphPort* control, int rowsItem, int columnsItem);
// Typing in the alignment-character field chooses align-on-a-character, keeps only the first
// character and selects it, so the next key replaces it.
void InitMatrixDialogFields();
// Field 2419: 1 to 8 signs (1 for the evaluate-at bar), else a beep and the nearest limit.
void ValidateIntegralCount();
// 1 to 14, else a beep and the nearest limit (tensor and tree-node dialogs).
void ValidateCountField(int item);
