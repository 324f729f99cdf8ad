#pragma once
// The frame every dialog of the program shares: the one-line launchers, the fixed skeleton of
// message handling (initialisation, owner-drawn items, commands and the closing step, placement
// memory, painted bitmaps and clickable labels) and the control-id rule. A dialog describes its
// controls and reactions in a DialogFrame and its procedure hands every message to
// HandleDialogFrame.

#include "OverPc/shell/DialogItems.h"
#include "plat/Controls.h"
#include "plat/Types.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// The id of item n (1..255) of dialog resource `dialogId`: every control other than OK, Cancel
// and unnamed static text is numbered this way.
constexpr int DialogControlId(int dialogId, int n) {
    return 256 * (dialogId - 4097) + 100 + n;
}

// Runs dialog `id` with `proc`, its argument stored in the dialog's DialogParam slot; returns
// DialogResult (-1 when the dialog cannot be made).
int32_t LaunchDialog(int id, plat::DLGPROC proc, std::uintptr_t argument);
// The argument the launcher stored for dialog `id` (0 for an id outside the program's range).
std::uintptr_t DialogArgument(int id);
template <class Record> Record* DialogRecord(int id) {
    return reinterpret_cast<Record*>(DialogArgument(id));
}

// A launcher of the table: the dialog's id and its launcher.
struct DialogLauncherEntry {
    int id;
    int32_t (*launcher)(std::uintptr_t argument);
};
// The launchers of the dialogs the program has.
std::span<const DialogLauncherEntry> DialogLauncherTable();
// The table's launcher of dialog `id`, or null.
int32_t (*FindDialogLauncher(int id))(std::uintptr_t);

// What a dialog's procedure tells the frame about its controls.
struct RadioGroup {
    int first;
    int last;
};
struct ClosingButton {
    int id;
    int32_t result; // 2 and up
};
// A rectangle of client pixels (at 96 dpi, inclusive on all four sides) that stands for the label
// of a control: a click inside sends the control's command.
struct LabelRect {
    plat::RECT rect;
    int controlId;
};
struct DialogPicture {
    int bitmapId;
    int x; // dialog units
    int y;
    int flags; // kBitmapTransparent, kBitmapFramed
};

struct DialogFrame {
    int id = 0;
    std::vector<RadioGroup> radioGroups;
    std::vector<int> checkBoxes;
    std::vector<ClosingButton> closingButtons;
    // Owner-drawn list boxes: their notifications are handled only while the dialog is open.
    std::vector<int> lists;
    std::vector<LabelRect> labels;
    std::vector<DialogPicture> pictures;

    // Fills the controls from the record and does the dialog's own set-up (WM_INITDIALOG, with
    // CurrentDialog set and the placement done).
    std::function<void(plat::HWND dialog)> init;
    // Writes every field back into the record (closing with a result of 1 or more).
    std::function<void(plat::HWND dialog)> writeBack;
    // The dialog's enabling rules, after a radio button or check box changed.
    std::function<void(plat::HWND dialog, int id)> enablingRules;
    // The reaction to an edit's EN_UPDATE (never while filling, never re-entered).
    std::function<void(plat::HWND dialog, int id)> editReaction;
    // Any other command (lists, previews, further buttons), with the control's window when the
    // message carries one. It may set DialogResult to close.
    std::function<void(plat::HWND dialog, int id, int code, plat::HWND control)> command;
    // WM_MEASUREITEM and WM_DRAWITEM of owner-drawn lists (popup combos are the frame's).
    std::function<void(plat::HWND dialog, plat::MEASUREITEMSTRUCT& measure)> measureList;
    std::function<void(plat::HWND dialog, const plat::DRAWITEMSTRUCT& draw)> drawList;
    // Deletes the dialog's own objects (list objects, preview widgets) at WM_DESTROY.
    std::function<void(plat::HWND dialog)> destroy;
};

// The skeleton of every dialog procedure: TRUE for the messages it handles, FALSE for the others
// and for WM_LBUTTONDOWN.
plat::INT_PTR HandleDialogFrame(const DialogFrame& frame, plat::HWND dialog, plat::UINT message,
                                plat::WPARAM wParam, plat::LPARAM lParam);

// A label rectangle in client pixels at the screen's resolution.
plat::RECT ScaledLabelRect(const plat::RECT& rect);
