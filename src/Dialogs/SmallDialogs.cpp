#include "Dialogs/SmallDialogs.h"

#include "Dialogs/DialogFrame.h"
#include "Dialogs/DialogRecordItems.h"
#include "OverPc/shell/DialogItems.h"
#include "plat/Dialog.h"
#include "plat/Messages.h"

#include <cstring>
#include <vector>

namespace {

// A dialog whose one edit box shows the caller's text and gives it back on OK.
DialogFrame textFrame(int id, int editId, std::vector<LabelRect> labels) {
    DialogFrame f;
    f.id = id;
    f.labels = std::move(labels);
    f.init = [id, editId](plat::HWND) {
        if (const DialogText* text = DialogRecord<DialogText>(id)) {
            // A caller's text without a terminator is shown up to the field's end.
            char shown[kDialogTextSize + 1] = {};
            std::memcpy(shown, text->data(), text->size());
            SetItemText(editId, shown);
        }
    };
    f.writeBack = [id, editId](plat::HWND) {
        if (DialogText* text = DialogRecord<DialogText>(id)) {
            text->fill('\0');
            CopyItemTextToField(editId, text->data(), text->size());
        }
    };
    return f;
}

const DialogFrame& renameFrame() {
    static const DialogFrame frame = textFrame(kRenameToolbarDialogId, kRenameToolbarNameItem,
                                               {{{17, 45, 255, 55}, kRenameToolbarNameItem}});
    return frame;
}

const DialogFrame& resolutionFrame() {
    static const DialogFrame frame = textFrame(kPrinterResolutionDialogId, kPrinterResolutionItem,
                                               {{{233, 69, 279, 83}, kPrinterResolutionItem}});
    return frame;
}

const DialogFrame& addressFrame() {
    static const DialogFrame frame = textFrame(kBrowserAddressDialogId, kBrowserAddressItem, {});
    return frame;
}

const DialogFrame& printProgressFrame() {
    static const DialogFrame frame = [] {
        DialogFrame f;
        f.id = kPrintProgressDialogId;
        return f;
    }();
    return frame;
}

} // namespace

int32_t RunRenameToolbarDlg(DialogText* name) {
    return LaunchWithRecord(kRenameToolbarDialogId, &RenameToolbarDlgProc, name);
}

int32_t RunPrintProgressDlg(std::uintptr_t argument) {
    return LaunchDialog(kPrintProgressDialogId, &PrintProgressDlgProc, argument);
}

int32_t RunPrinterResolutionDlg(DialogText* resolution) {
    return LaunchWithRecord(kPrinterResolutionDialogId, &PrinterResolutionDlgProc, resolution);
}

int32_t RunBrowserFallbackDlg(DialogText* address) {
    return LaunchWithRecord(kBrowserAddressDialogId, &BrowserFallbackDlgProc, address);
}

plat::INT_PTR RenameToolbarDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                   plat::LPARAM lParam) {
    return HandleDialogFrame(renameFrame(), dialog, message, wParam, lParam);
}

plat::INT_PTR PrintProgressDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                   plat::LPARAM lParam) {
    // A print job has no "OK": the box ends only with "Annuler".
    if (message == plat::WM_COMMAND && plat::LOWORD(wParam) == plat::IDOK)
        return plat::TRUE;
    return HandleDialogFrame(printProgressFrame(), dialog, message, wParam, lParam);
}

plat::INT_PTR PrinterResolutionDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                       plat::LPARAM lParam) {
    return HandleDialogFrame(resolutionFrame(), dialog, message, wParam, lParam);
}

plat::INT_PTR BrowserFallbackDlgProc(plat::HWND dialog, plat::UINT message, plat::WPARAM wParam,
                                     plat::LPARAM lParam) {
    // The address must be seen: Escape and the window manager's close request do not dismiss
    // the box, only OK does.
    if (message == plat::WM_COMMAND && plat::LOWORD(wParam) == plat::IDCANCEL)
        return plat::TRUE;
    return HandleDialogFrame(addressFrame(), dialog, message, wParam, lParam);
}
