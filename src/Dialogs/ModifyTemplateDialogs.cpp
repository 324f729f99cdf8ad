#include "Dialogs/ModifyTemplateDialogs.h"

#include "Dialogs/DialogFrame.h"
#include "Dialogs/DialogRecordItems.h"
#include "Dialogs/PopupCombo.h"
#include "OverPc/shell/DialogItems.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace {

void setCheck(int id, uint8_t value) {
    SetCheck(id, value != 0);
}

// Every picture is drawn over white, which the frame leaves transparent.
DialogPicture picture(int bitmapId, int x, int y) {
    return {bitmapId, x, y, kBitmapTransparent};
}

// ---- "Modifier l'intégrale"

const DialogFrame& editIntegralFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kEditIntegralDialogId;
        f.radioGroups = {{kIntegralSignFirst, kIntegralSignLast}};
        f.checkBoxes = {kIntegralLimitsItem, kIntegralInlineItem};
        // "Évaluer à" and the count field (which reacts only to typing, so its label does
        // nothing).
        f.labels = {{{33, 173, 223, 191}, kIntegralSignLast},
                    {{277, 65, 299, 79}, kIntegralCountItem}};
        f.pictures = {picture(12656, 8, 12), picture(13936, 20, 12), picture(13968, 32, 12),
                      picture(13904, 44, 12), picture(12688, 56, 12)};
        f.init = [](plat::HWND) {
            const auto* record = DialogRecord<IntegralDlgRecord>(kEditIntegralDialogId);
            if (record != nullptr) {
                SetRadioGroup(kIntegralSignFirst, kIntegralSignLast, record->sign);
                SetItemText(kIntegralCountItem, record->count.data());
                setCheck(kIntegralLimitsItem, record->limitsAboveBelow);
                setCheck(kIntegralInlineItem, record->smallSign);
            }
            ValidateIntegralCount();
        };
        // Only the evaluate-at bar lowers the largest count; the other kinds leave the field be.
        f.enablingRules = [](plat::HWND, int id) {
            if (id == kIntegralSignLast)
                ValidateIntegralCount();
        };
        f.editReaction = [](plat::HWND, int id) {
            if (id == kIntegralCountItem)
                ValidateIntegralCount();
        };
        f.writeBack = [](plat::HWND) {
            auto* record = DialogRecord<IntegralDlgRecord>(kEditIntegralDialogId);
            if (record == nullptr)
                return;
            ReadRadio(kIntegralSignFirst, kIntegralSignLast, record->sign);
            CopyItemTextToField(kIntegralCountItem, record->count.data(), record->count.size());
            record->limitsAboveBelow = CheckByte(kIntegralLimitsItem);
            record->smallSign = CheckByte(kIntegralInlineItem);
        };
        return f;
    }();
    return frame;
}

// ---- "Modifier les exposants/indices"

const DialogFrame& editScriptsFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kEditScriptsDialogId;
        f.checkBoxes = {kScriptsPreItem, kScriptsLimitsItem, kScriptsOperandItem,
                        kScriptsSubSupItem};
        f.pictures = {picture(12496, 8, 14), picture(12528, 20, 14), picture(14064, 14, 26),
                      picture(14416, 80, 44)};
        f.init = [](plat::HWND) {
            const auto* record = DialogRecord<ScriptsDlgRecord>(kEditScriptsDialogId);
            if (record == nullptr)
                return;
            setCheck(kScriptsPreItem, record->prescripts);
            setCheck(kScriptsLimitsItem, record->limits);
            setCheck(kScriptsOperandItem, record->operand);
            setCheck(kScriptsSubSupItem, record->subSup);
        };
        f.writeBack = [](plat::HWND) {
            auto* record = DialogRecord<ScriptsDlgRecord>(kEditScriptsDialogId);
            if (record == nullptr)
                return;
            record->prescripts = CheckByte(kScriptsPreItem);
            record->limits = CheckByte(kScriptsLimitsItem);
            record->operand = CheckByte(kScriptsOperandItem);
            record->subSup = CheckByte(kScriptsSubSupItem);
        };
        return f;
    }();
    return frame;
}

// ---- "Modifier le délimiteur"

const DialogFrame& editDelimiterFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kEditDelimiterDialogId;
        f.radioGroups = {{kDelimiterClosingFirst, kDelimiterClosingLast},
                         {kDelimiterOpeningFirst, kDelimiterOpeningLast}};
        f.checkBoxes = {kDelimiterHorizontalItem};
        // Each pair of delimiters around an x, in the order the buttons stand (not code order).
        f.pictures = {picture(12368, 88, 16), picture(12464, 88, 26), picture(12400, 88, 36),
                      picture(14352, 88, 46), picture(12432, 88, 56), picture(14496, 88, 66),
                      picture(14528, 88, 76), picture(14560, 88, 86), picture(14592, 88, 96),
                      picture(14624, 88, 108)};
        f.init = [](plat::HWND) {
            const auto* record = DialogRecord<DelimiterDlgRecord>(kEditDelimiterDialogId);
            if (record == nullptr)
                return;
            SetRadioGroup(kDelimiterClosingFirst, kDelimiterClosingLast, record->closing);
            SetRadioGroup(kDelimiterOpeningFirst, kDelimiterOpeningLast, record->opening);
            setCheck(kDelimiterHorizontalItem, record->horizontal);
        };
        f.writeBack = [](plat::HWND) {
            auto* record = DialogRecord<DelimiterDlgRecord>(kEditDelimiterDialogId);
            if (record == nullptr)
                return;
            ReadRadio(kDelimiterClosingFirst, kDelimiterClosingLast, record->closing);
            ReadRadio(kDelimiterOpeningFirst, kDelimiterOpeningLast, record->opening);
            record->horizontal = CheckByte(kDelimiterHorizontalItem);
        };
        return f;
    }();
    return frame;
}

// ---- "Modifier l'ornement"

// The mark index each picture command chooses, from kMarkPictureFirst on.
constexpr std::array<int32_t, kMarkPictureLast - kMarkPictureFirst + 1> kMarkOfPicture{
    0, 0, 1, 2, 3, 3, 4, 5, 6, 6, 7, 8, 9, 10, 10};

const DialogFrame& editEmbellishmentFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kEditEmbellishmentDialogId;
        f.radioGroups = {{kMarkFirst, kMarkLast}, {kMarkPlacementFirst, kMarkPlacementLast}};
        f.checkBoxes = {kMarkFixedWidthItem};
        // One picture beside each mark's button, and a second one of four marks near the
        // position buttons; clicking either chooses the mark.
        f.pictures = {picture(14128, 10, 10),  picture(14128, 98, 8),   picture(14160, 10, 20),
                      picture(14752, 10, 30),  picture(14288, 10, 42),  picture(14288, 106, 16),
                      picture(14192, 10, 52),  picture(14320, 10, 62),  picture(14224, 10, 74),
                      picture(14224, 106, 8),  picture(14784, 10, 84),  picture(14720, 10, 94),
                      picture(14256, 10, 106), picture(14816, 10, 116), picture(14816, 98, 16)};
        f.labels = {
            {{21, 21, 35, 35}, 4211},   {{197, 17, 211, 31}, 4212}, {{21, 41, 35, 55}, 4213},
            {{21, 61, 35, 75}, 4222},   {{21, 85, 35, 99}, 4219},   {{213, 33, 227, 47}, 4220},
            {{21, 105, 35, 119}, 4214}, {{21, 125, 35, 139}, 4221}, {{21, 149, 35, 163}, 4215},
            {{213, 17, 227, 31}, 4216}, {{21, 169, 35, 183}, 4223}, {{21, 189, 35, 203}, 4217},
            {{21, 213, 35, 227}, 4218}, {{21, 233, 35, 247}, 4224}, {{197, 33, 211, 47}, 4225}};
        f.init = [](plat::HWND) {
            const auto* record = DialogRecord<EmbellishmentDlgRecord>(kEditEmbellishmentDialogId);
            if (record == nullptr)
                return;
            setCheck(kMarkFixedWidthItem, record->fixedWidth);
            SetRadioGroup(kMarkFirst, kMarkLast, record->mark);
            SetRadioGroup(kMarkPlacementFirst, kMarkPlacementLast, record->placement);
        };
        f.command = [](plat::HWND, int id, int, plat::HWND) {
            const int32_t mark = MarkOfPictureCommand(id);
            if (mark < 0 || DialogCallbackBusy != 0)
                return;
            DialogCallbackBusy = 1;
            SetRadioGroup(kMarkFirst, kMarkLast, mark);
            DialogCallbackBusy = 0;
        };
        f.writeBack = [](plat::HWND) {
            auto* record = DialogRecord<EmbellishmentDlgRecord>(kEditEmbellishmentDialogId);
            if (record == nullptr)
                return;
            record->fixedWidth = CheckByte(kMarkFixedWidthItem);
            ReadRadio(kMarkFirst, kMarkLast, record->mark);
            ReadRadio(kMarkPlacementFirst, kMarkPlacementLast, record->placement);
        };
        return f;
    }();
    return frame;
}

// ---- "Modifier la fraction"

const DialogFrame& editFractionFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kEditFractionDialogId;
        f.radioGroups = {{kFractionStyleFirst, kFractionStyleLast}};
        f.pictures = {picture(12560, 6, 30), picture(14032, 6, 52)};
        f.init = [](plat::HWND) {
            const auto* record = DialogRecord<FractionDlgRecord>(kEditFractionDialogId);
            if (record != nullptr)
                SetRadioGroup(kFractionStyleFirst, kFractionStyleLast, record->style);
        };
        f.writeBack = [](plat::HWND) {
            auto* record = DialogRecord<FractionDlgRecord>(kEditFractionDialogId);
            if (record != nullptr)
                ReadRadio(kFractionStyleFirst, kFractionStyleLast, record->style);
        };
        return f;
    }();
    return frame;
}

// ---- "Modifier le noeud de l'arbre"

const DialogFrame& editTreeNodeFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kEditTreeNodeDialogId;
        for (int i = 0; i < 7; ++i)
            f.checkBoxes.push_back(kTreeIntermediateFirst + i);
        f.checkBoxes.push_back(kTreeSidesItem);
        f.labels = {{{237, 117, 271, 131}, kTreeCountItem}};
        f.pictures = {picture(15008, 6, 10), picture(15040, 16, 10), picture(15072, 26, 10),
                      picture(15104, 6, 20), picture(15136, 16, 20)};
        f.init = [](plat::HWND) {
            const auto* record = DialogRecord<TreeNodeDlgRecord>(kEditTreeNodeDialogId);
            if (record == nullptr)
                return;
            SetItemText(kTreeCountItem, record->count.data());
            for (size_t i = 0; i < record->intermediate.size(); ++i)
                setCheck(kTreeIntermediateFirst + static_cast<int>(i), record->intermediate[i]);
            setCheck(kTreeSidesItem, record->sides);
        };
        f.editReaction = [](plat::HWND, int id) {
            if (id == kTreeCountItem)
                ValidateCountField(kTreeCountItem);
        };
        f.writeBack = [](plat::HWND) {
            auto* record = DialogRecord<TreeNodeDlgRecord>(kEditTreeNodeDialogId);
            if (record == nullptr)
                return;
            CopyItemTextToField(kTreeCountItem, record->count.data(), record->count.size());
            for (size_t i = 0; i < record->intermediate.size(); ++i)
                record->intermediate[i] = CheckByte(kTreeIntermediateFirst + static_cast<int>(i));
            record->sides = CheckByte(kTreeSidesItem);
        };
        return f;
    }();
    return frame;
}

// ---- "Modifier le tenseur"

const DialogFrame& editTensorFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kEditTensorDialogId;
        for (int i = 0; i < 7; ++i)
            f.checkBoxes.push_back(kTensorUpperFirst + i);
        f.labels = {{{225, 49, 275, 63}, kTensorCountItem}};
        f.pictures = {picture(14848, 8, 8)};
        f.init = [](plat::HWND) {
            const auto* record = DialogRecord<TensorDlgRecord>(kEditTensorDialogId);
            if (record == nullptr)
                return;
            SetItemText(kTensorCountItem, record->count.data());
            for (size_t i = 0; i < record->upper.size(); ++i)
                setCheck(kTensorUpperFirst + static_cast<int>(i), record->upper[i]);
        };
        f.editReaction = [](plat::HWND, int id) {
            if (id == kTensorCountItem)
                ValidateCountField(kTensorCountItem);
        };
        f.writeBack = [](plat::HWND) {
            auto* record = DialogRecord<TensorDlgRecord>(kEditTensorDialogId);
            if (record == nullptr)
                return;
            CopyItemTextToField(kTensorCountItem, record->count.data(), record->count.size());
            for (size_t i = 0; i < record->upper.size(); ++i)
                record->upper[i] = CheckByte(kTensorUpperFirst + static_cast<int>(i));
        };
        return f;
    }();
    return frame;
}

// ---- "Modifier le cadre"

constexpr std::array<int32_t, kBoxThicknessCount> kThicknessValues{0, 1, 2,  3,  4,  5,  6,  7,
                                                                   8, 9, 10, 11, 12, 13, 14, 15};
plat::HMENU s_thicknessMenu = nullptr;

const DialogFrame& editBoxFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kEditBoxDialogId;
        f.radioGroups = {{kBoxShadowFirst, kBoxShadowLast}};
        f.checkBoxes = {kBoxQuantiseHeightItem, kBoxQuantiseWidthItem};
        f.pictures = {picture(14944, 8, 10)};
        f.init = [](plat::HWND) {
            const auto* record = DialogRecord<BoxDlgRecord>(kEditBoxDialogId);
            const BoxDlgRecord empty;
            const BoxDlgRecord& r = record != nullptr ? *record : empty;
            SetupPopupFromMenu(kBoxThicknessMenu, &s_thicknessMenu, nullptr, kBoxThicknessItem,
                               kThicknessValues.data(), r.thickness, kBoxThicknessCount);
            SetRadioGroup(kBoxShadowFirst, kBoxShadowLast, r.shadow);
            setCheck(kBoxQuantiseHeightItem, r.quantiseHeight);
            setCheck(kBoxQuantiseWidthItem, r.quantiseWidth);
        };
        f.writeBack = [](plat::HWND) {
            auto* record = DialogRecord<BoxDlgRecord>(kEditBoxDialogId);
            if (record == nullptr)
                return;
            record->thickness =
                ReadPopupValue(kBoxThicknessItem, s_thicknessMenu, kThicknessValues.data(),
                               kBoxThicknessCount, record->thickness);
            ReadRadio(kBoxShadowFirst, kBoxShadowLast, record->shadow);
            record->quantiseHeight = CheckByte(kBoxQuantiseHeightItem);
            record->quantiseWidth = CheckByte(kBoxQuantiseWidthItem);
        };
        f.destroy = [](plat::HWND) { s_thicknessMenu = nullptr; };
        return f;
    }();
    return frame;
}

} // namespace

int32_t MarkOfPictureCommand(int id) {
    if (id < kMarkPictureFirst || id > kMarkPictureLast)
        return -1;
    return kMarkOfPicture[static_cast<size_t>(id - kMarkPictureFirst)];
}

int32_t RunEditIntegralDlg(IntegralDlgRecord* record) {
    return LaunchWithRecord(kEditIntegralDialogId, &EditIntegralDlgProc, record);
}
plat::INT_PTR EditIntegralDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                  plat::LPARAM lParam) {
    return HandleDialogFrame(editIntegralFrame(), dialog, message, wParam, lParam);
}

int32_t RunEditScriptsDlg(ScriptsDlgRecord* record) {
    return LaunchWithRecord(kEditScriptsDialogId, &EditScriptsDlgProc, record);
}
plat::INT_PTR EditScriptsDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                 plat::LPARAM lParam) {
    return HandleDialogFrame(editScriptsFrame(), dialog, message, wParam, lParam);
}

int32_t RunEditDelimiterDlg(DelimiterDlgRecord* record) {
    return LaunchWithRecord(kEditDelimiterDialogId, &EditDelimiterDlgProc, record);
}
plat::INT_PTR EditDelimiterDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                   plat::LPARAM lParam) {
    return HandleDialogFrame(editDelimiterFrame(), dialog, message, wParam, lParam);
}

int32_t RunEditEmbellishmentDlg(EmbellishmentDlgRecord* record) {
    return LaunchWithRecord(kEditEmbellishmentDialogId, &EditEmbellishmentDlgProc, record);
}
plat::INT_PTR EditEmbellishmentDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                       plat::LPARAM lParam) {
    return HandleDialogFrame(editEmbellishmentFrame(), dialog, message, wParam, lParam);
}

int32_t RunEditFractionDlg(FractionDlgRecord* record) {
    return LaunchWithRecord(kEditFractionDialogId, &EditFractionDlgProc, record);
}
plat::INT_PTR EditFractionDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                  plat::LPARAM lParam) {
    return HandleDialogFrame(editFractionFrame(), dialog, message, wParam, lParam);
}

int32_t RunEditTreeNodeDlg(TreeNodeDlgRecord* record) {
    return LaunchWithRecord(kEditTreeNodeDialogId, &EditTreeNodeDlgProc, record);
}
plat::INT_PTR EditTreeNodeDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                  plat::LPARAM lParam) {
    return HandleDialogFrame(editTreeNodeFrame(), dialog, message, wParam, lParam);
}

int32_t RunEditTensorDlg(TensorDlgRecord* record) {
    return LaunchWithRecord(kEditTensorDialogId, &EditTensorDlgProc, record);
}
plat::INT_PTR EditTensorDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                plat::LPARAM lParam) {
    return HandleDialogFrame(editTensorFrame(), dialog, message, wParam, lParam);
}

int32_t RunEditBoxDlg(BoxDlgRecord* record) {
    return LaunchWithRecord(kEditBoxDialogId, &EditBoxDlgProc, record);
}
plat::INT_PTR EditBoxDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                             plat::LPARAM lParam) {
    return HandleDialogFrame(editBoxFrame(), dialog, message, wParam, lParam);
}

void InstallModifyTemplateDialogs() {
    ModifyDialogLaunchers& launchers = TheModifyDialogLaunchers();
    launchers.runEditIntegralDlg = &RunEditIntegralDlg;
    launchers.runEditScriptsDlg = &RunEditScriptsDlg;
    launchers.runEditDelimiterDlg = &RunEditDelimiterDlg;
    launchers.runEditEmbellishmentDlg = &RunEditEmbellishmentDlg;
    launchers.runEditFractionDlg = &RunEditFractionDlg;
    launchers.runEditTreeNodeDlg = &RunEditTreeNodeDlg;
    launchers.runEditTensorDlg = &RunEditTensorDlg;
    launchers.runEditBoxDlg = &RunEditBoxDlg;
}
