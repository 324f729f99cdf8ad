#include "Dialogs/ModifyDialogs.h"

#include "Dialogs/DialogFrame.h"
#include "Dialogs/DialogRecordItems.h"
#include "Dialogs/ModifyTemplateDialogs.h"
#include "OverPc/shell/DialogItems.h"

#include <cstdint>

namespace {

const DialogFrame& editStringFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kEditStringDialogId;
        f.radioGroups = {{kStringRulerFirst, kStringRulerLast},
                         {kStringVerticalFirst, kStringVerticalLast},
                         {kStringHorizontalFirst, kStringHorizontalLast}};
        // The ruler buttons' labels (the buttons stand in the order none, independent, recall).
        f.labels = {{{193, 9, 407, 27}, kStringRulerFirst},
                    {{193, 49, 407, 67}, kStringRulerFirst + 1},
                    {{193, 29, 407, 47}, kStringRulerFirst + 2}};
        f.init = [](plat::HWND) {
            const auto* record = DialogRecord<StringDlgRecord>(kEditStringDialogId);
            if (record != nullptr) {
                SetRadioGroup(kStringRulerFirst, kStringRulerLast, record->ruler);
                SetRadioGroup(kStringVerticalFirst, kStringVerticalLast, record->vertical);
                SetRadioGroup(kStringHorizontalFirst, kStringHorizontalLast, record->horizontal);
            }
            UpdateStringDialogItems();
        };
        f.enablingRules = [](plat::HWND, int id) {
            if (id >= kStringRulerFirst && id <= kStringRulerLast)
                UpdateStringDialogItems();
        };
        f.writeBack = [](plat::HWND) {
            auto* record = DialogRecord<StringDlgRecord>(kEditStringDialogId);
            if (record == nullptr)
                return;
            ReadRadio(kStringRulerFirst, kStringRulerLast, record->ruler);
            ReadRadio(kStringVerticalFirst, kStringVerticalLast, record->vertical);
            ReadRadio(kStringHorizontalFirst, kStringHorizontalLast, record->horizontal);
        };
        return f;
    }();
    return frame;
}

} // namespace

int32_t RunEditStringDlg(StringDlgRecord* record) {
    return LaunchWithRecord(kEditStringDialogId, &EditStringDlgProc, record);
}

plat::INT_PTR EditStringDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                plat::LPARAM lParam) {
    return HandleDialogFrame(editStringFrame(), dialog, message, wParam, lParam);
}

void InstallModifyDialogs() {
    ModifyDialogItems& items = TheModifyDialogItems();
    items.getRadioIndex = &GetRadioIndex;
    items.setRadioGroup = &SetRadioGroup;
    items.enableItem = &EnableItem;
    items.getItemText = &GetItemTextAll;
    items.setItemText = &SetItemText;
    items.setEditSelection = &SetEditSelection;
    TheModifyDialogLaunchers().runEditStringDlg = &RunEditStringDlg;
    InstallModifyTemplateDialogs();
}
