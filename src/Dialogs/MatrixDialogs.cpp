#include "Dialogs/MatrixDialogs.h"

#include "Dialogs/DialogFrame.h"
#include "Dialogs/DialogRecordItems.h"
#include "Dialogs/PopupCombo.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/DialogItems.h"
#include "OverPc/shell/oDlgWidget.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eEditSupport.h"
#include "OverSrcs/eMatrix.h"
#include "plat/Dialog.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>

namespace {

// The previews exist only while their dialog is open; the dialogs delete them at WM_DESTROY.
oDlgWidget* s_sizePicker = nullptr;
oDlgWidget* s_linesPreview = nullptr;
plat::HMENU s_depthMenu = nullptr;

constexpr std::array<int32_t, kIndexDepthCount> kDepthValues{0, 1, 2};

// ---- "Modifier\n la matrice"

void paintSizePicker(int32_t) {
    // The control's own border frames it; the picker erases and fills the zone inside.
    DrawMatrixSizePicker(s_sizePicker);
}

void sizePickerClick() {
    if (s_sizePicker == nullptr)
        return;
    oPoint point{};
    s_sizePicker->cursorPoint(point.x, point.y);
    MatrixSizePickerClick(s_sizePicker, point, kMatrixRowsItem, kMatrixColumnsItem);
}

// A size field brought into 1..kMaxMatrixCount (text that is no number reads 1); the field shows
// the value used.
int32_t clampedSize(int id) {
    bool ok = false;
    int32_t value = GetItemInt(id, &ok);
    if (!ok || value < 1)
        value = 1;
    value = std::min(value, kMaxMatrixCount);
    if (GetItemTextAll(id) != std::to_string(value))
        SetItemInt(id, value);
    return value;
}

const DialogFrame& editMatrixFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kEditMatrixDialogId;
        f.radioGroups = {{kMatrixVerticalFirst, kMatrixVerticalLast},
                         {kMatrixHorizontalFirst, kMatrixHorizontalLast}};
        f.checkBoxes = {kMatrixUnequalRowsItem, kMatrixUnequalColumnsItem, kMatrixOuterSpaceItem};
        f.closingButtons = {{kMatrixSeparationButton, kMatrixLinesButtonResult}};
        // The picker with its margin, the labels of the two size fields and of the alignment
        // character.
        f.labels = {{{9, 53, 171, 191}, kMatrixSizePickerItem},
                    {{113, 229, 151, 243}, kMatrixColumnsItem},
                    {{29, 229, 67, 243}, kMatrixRowsItem},
                    {{441, 81, 471, 99}, kMatrixAlignCharItem}};
        f.pictures = {{12880, 4, 4, kBitmapTransparent},   {13040, 14, 4, kBitmapTransparent},
                      {13200, 24, 4, kBitmapTransparent},  {12848, 4, 14, kBitmapTransparent},
                      {12784, 14, 14, kBitmapTransparent}, {13104, 24, 14, kBitmapTransparent}};
        f.init = [](plat::HWND) {
            s_sizePicker = CreateDlgWidgetForItem(kMatrixSizePickerItem, &paintSizePicker);
            const auto* record = DialogRecord<MatrixDlgRecord>(kEditMatrixDialogId);
            if (record == nullptr)
                return;
            SetItemText(kMatrixColumnsItem, record->columns.data());
            SetItemText(kMatrixRowsItem, record->rows.data());
            SetRadioGroup(kMatrixVerticalFirst, kMatrixVerticalLast, record->vertical);
            SetCheck(kMatrixUnequalRowsItem, record->unequalRows != 0);
            SetRadioGroup(kMatrixHorizontalFirst, kMatrixHorizontalLast, record->horizontal);
            SetItemText(kMatrixAlignCharItem, record->alignChar.data());
            SetCheck(kMatrixUnequalColumnsItem, record->unequalColumns != 0);
            SetCheck(kMatrixOuterSpaceItem, record->removeOuterSpace != 0);
        };
        f.editReaction = [](plat::HWND, int id) {
            if (id == kMatrixColumnsItem || id == kMatrixRowsItem)
                ValidateMatrixSize(s_sizePicker, kMatrixRowsItem, kMatrixColumnsItem);
            else if (id == kMatrixAlignCharItem)
                InitMatrixDialogFields();
        };
        f.command = [](plat::HWND, int id, int, plat::HWND) {
            // The fields the click fills must not start the click's reaction again.
            if (id == kMatrixSizePickerItem && DialogCallbackBusy == 0) {
                DialogCallbackBusy = 1;
                sizePickerClick();
                DialogCallbackBusy = 0;
            }
        };
        f.writeBack = [](plat::HWND) {
            auto* record = DialogRecord<MatrixDlgRecord>(kEditMatrixDialogId);
            if (record == nullptr)
                return;
            CopyItemTextToField(kMatrixColumnsItem, record->columns.data(), record->columns.size());
            CopyItemTextToField(kMatrixRowsItem, record->rows.data(), record->rows.size());
            ReadRadio(kMatrixVerticalFirst, kMatrixVerticalLast, record->vertical);
            record->unequalRows = CheckByte(kMatrixUnequalRowsItem);
            ReadRadio(kMatrixHorizontalFirst, kMatrixHorizontalLast, record->horizontal);
            CopyItemTextToField(kMatrixAlignCharItem, record->alignChar.data(),
                                record->alignChar.size());
            record->unequalColumns = CheckByte(kMatrixUnequalColumnsItem);
            record->removeOuterSpace = CheckByte(kMatrixOuterSpaceItem);
        };
        f.destroy = [](plat::HWND) {
            delete s_sizePicker;
            s_sizePicker = nullptr;
        };
        return f;
    }();
    return frame;
}

// OK and the lines button first bring both counts into range (the field shows what is used);
// OK is then refused while the grid would be larger than a matrix may be.
bool sizeAllowsClosing(bool ok) {
    const int32_t columns = clampedSize(kMatrixColumnsItem);
    const int32_t rows = clampedSize(kMatrixRowsItem);
    if (ok && rows > kMaxMatrixCells / columns) {
        CommandBeep();
        return false;
    }
    return true;
}

// ---- "Délimitations de la matrice"

void paintLinesPreview(int32_t) {
    DrawMatrixLinesPreview(s_linesPreview);
}

const DialogFrame& matrixDelimitersFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kMatrixDelimitersDialogId;
        f.radioGroups = {{kMatrixLineKindFirst, kMatrixLineKindLast}};
        f.labels = {{{21, 77, 199, 243}, kMatrixLinesPreviewItem}};
        f.pictures = {{12912, 6, 8, kBitmapTransparent}, {13008, 6, 18, kBitmapTransparent}};
        f.init = [](plat::HWND) {
            s_linesPreview = CreateDlgWidgetForItem(kMatrixLinesPreviewItem, &paintLinesPreview);
            const auto* record = DialogRecord<MatrixLinesDlgRecord>(kMatrixDelimitersDialogId);
            SetRadioGroup(kMatrixLineKindFirst, kMatrixLineKindLast,
                          record != nullptr ? record->lineKind : 0);
        };
        f.command = [](plat::HWND, int id, int, plat::HWND) {
            // A double click is two presses: each toggles what it crosses.
            if (id == kMatrixLinesPreviewItem && s_linesPreview != nullptr) {
                if (DialogCallbackBusy != 0)
                    return;
                DialogCallbackBusy = 1;
                InitMatrixLinesControl(s_linesPreview);
                DialogCallbackBusy = 0;
            } else if (id == kMatrixLinesClearItem)
                ResetMatrixLinesPreview(s_linesPreview);
        };
        f.writeBack = [](plat::HWND) {
            auto* record = DialogRecord<MatrixLinesDlgRecord>(kMatrixDelimitersDialogId);
            if (record != nullptr)
                ReadRadio(kMatrixLineKindFirst, kMatrixLineKindLast, record->lineKind);
        };
        f.destroy = [](plat::HWND) {
            // The shared state must not keep a widget that is going away.
            if (MatrixState.previewControl == s_linesPreview)
                MatrixState.previewControl = nullptr;
            delete s_linesPreview;
            s_linesPreview = nullptr;
        };
        return f;
    }();
    return frame;
}

// ---- "Insérer un indice"

const DialogFrame& matrixIndicesFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kMatrixIndicesDialogId;
        f.radioGroups = {{kIndexRuleFirst, kIndexRuleLast}};
        f.init = [](plat::HWND) {
            const auto* record = DialogRecord<MatrixIndicesDlgRecord>(kMatrixIndicesDialogId);
            const MatrixIndicesDlgRecord empty;
            const MatrixIndicesDlgRecord& r = record != nullptr ? *record : empty;
            SetRadioGroup(kIndexRuleFirst, kIndexRuleLast, r.rule);
            SetupPopupFromMenu(kIndexDepthMenu, &s_depthMenu, nullptr, kIndexDepthItem,
                               kDepthValues.data(), r.depth, kIndexDepthCount);
            SetItemText(kIndexStartItem, r.start.data());
        };
        f.writeBack = [](plat::HWND) {
            auto* record = DialogRecord<MatrixIndicesDlgRecord>(kMatrixIndicesDialogId);
            if (record == nullptr)
                return;
            ReadRadio(kIndexRuleFirst, kIndexRuleLast, record->rule);
            record->depth = ReadPopupValue(kIndexDepthItem, s_depthMenu, kDepthValues.data(),
                                           kIndexDepthCount, record->depth);
            CopyItemTextToField(kIndexStartItem, record->start.data(), record->start.size());
        };
        return f;
    }();
    return frame;
}

} // namespace

int32_t RunEditMatrixDlg(MatrixDlgRecord* record) {
    return LaunchWithRecord(kEditMatrixDialogId, &EditMatrixDlgProc, record);
}

plat::INT_PTR EditMatrixDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                plat::LPARAM lParam) {
    if (message == plat::WM_COMMAND && CurrentDialog == dialog) {
        const int id = plat::LOWORD(wParam);
        if ((id == plat::IDOK || id == kMatrixSeparationButton) &&
            !sizeAllowsClosing(id == plat::IDOK))
            return plat::TRUE;
    }
    return HandleDialogFrame(editMatrixFrame(), dialog, message, wParam, lParam);
}

int32_t RunMatrixDelimitersDlg(MatrixLinesDlgRecord* record) {
    return LaunchWithRecord(kMatrixDelimitersDialogId, &MatrixDelimitersDlgProc, record);
}

plat::INT_PTR MatrixDelimitersDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                      plat::LPARAM lParam) {
    return HandleDialogFrame(matrixDelimitersFrame(), dialog, message, wParam, lParam);
}

int32_t RunInsertMatrixIndicesDlg(MatrixIndicesDlgRecord* record) {
    return LaunchWithRecord(kMatrixIndicesDialogId, &InsertMatrixIndicesDlgProc, record);
}

plat::INT_PTR InsertMatrixIndicesDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                         plat::LPARAM lParam) {
    return HandleDialogFrame(matrixIndicesFrame(), dialog, message, wParam, lParam);
}

MatrixIndexSettings MatrixIndices;

void ResetMatrixIndexSettings() {
    MatrixIndices = MatrixIndexSettings{};
}

void MatrixIndexSteps(int32_t rule, int32_t& rowStep, int32_t& columnStep) {
    // Row and column steps of the five rules, in the order of the dialog's buttons.
    static constexpr std::array<std::array<int32_t, 2>, 5> kSteps{
        {{1, 0}, {0, 1}, {1, 1}, {1, -1}, {-1, 1}}};
    const auto& steps = kSteps[rule >= 0 && rule < 5 ? static_cast<size_t>(rule) : 0];
    rowStep = steps[0];
    columnStep = steps[1];
}

bool AskMatrixIndexSettings() {
    MatrixIndicesDlgRecord record;
    record.rule = MatrixIndices.rule;
    record.depth = MatrixIndices.depth;
    SetDialogNumber(record.start, MatrixIndices.start);
    if (ResultAsCancel(RunInsertMatrixIndicesDlg(&record)) == 0)
        return false;
    int32_t start = 0;
    if (!ParseDialogNumber(record.start, start))
        start = 0;
    MatrixIndices.start = start;
    MatrixIndices.depth = std::clamp(record.depth, 0, kIndexDepthCount - 1);
    MatrixIndices.rule = record.rule >= 0 && record.rule < 5 ? record.rule : 0;
    MatrixIndexSteps(MatrixIndices.rule, MatrixIndices.rowStep, MatrixIndices.columnStep);
    return true;
}

void ChooseMatrixNumbering() {
    if (!AskMatrixIndexSettings())
        return;
    const MatrixIndexSettings& s = MatrixIndices;
    NumberMatrixCells(s.start, s.rowStep, s.columnStep, s.depth);
}

void InstallMatrixDialogs() {
    ModifyDialogLaunchers& launchers = TheModifyDialogLaunchers();
    launchers.runEditMatrixDlg = &RunEditMatrixDlg;
    launchers.runMatrixDelimitersDlg = &RunMatrixDelimitersDlg;
}
