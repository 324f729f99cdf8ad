#pragma once
// Owners of dialogs and message boxes, enabling the program's windows around modal runs, the
// report of common-dialog errors, the modal dialog runner and the dialog-item operations.

#include "plat/Types.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The owner for a dialog or message box: the main frame when it exists, else the current modal
// dialog when it is a live window, else (unless noFallback) the active window. May be null.
plat::HWND GetModalOwnerWindow(bool noFallback);

// Widget windows (documents, floating tools) register while their native window exists, so that
// modal runs can disable them.
void RegisterWidgetWindow(plat::HWND hwnd);
void UnregisterWidgetWindow(plat::HWND hwnd);

// Disables (enable = false) every live widget window and the main frame except `skip`, remembering
// which ones it actually disabled; the matching enable (enable = true) re-enables exactly those, so
// a window that was already disabled stays so and nested runs unwind in order. An enable with
// nothing remembered enables them all.
void EnableWidgetWindows(plat::HWND skip, bool enable);

// Common-dialog error codes (the system's values).
constexpr unsigned CDERR_DIALOGFAILURE = 0xFFFF;
constexpr unsigned CDERR_STRUCTSIZE = 0x0001;
constexpr unsigned CDERR_INITIALIZATION = 0x0002;
constexpr unsigned CDERR_NOTEMPLATE = 0x0003;
constexpr unsigned CDERR_NOHINSTANCE = 0x0004;
constexpr unsigned CDERR_LOADSTRFAILURE = 0x0005;
constexpr unsigned CDERR_FINDRESFAILURE = 0x0006;
constexpr unsigned CDERR_LOADRESFAILURE = 0x0007;
constexpr unsigned CDERR_LOCKRESFAILURE = 0x0008;
constexpr unsigned CDERR_MEMALLOCFAILURE = 0x0009;
constexpr unsigned CDERR_MEMLOCKFAILURE = 0x000A;
constexpr unsigned CDERR_NOHOOK = 0x000B;
constexpr unsigned PDERR_SETUPFAILURE = 0x1001;
constexpr unsigned PDERR_PARSEFAILURE = 0x1002;
constexpr unsigned PDERR_RETDEFFAILURE = 0x1003;
constexpr unsigned PDERR_LOADDRVFAILURE = 0x1004;
constexpr unsigned PDERR_GETDEVMODEFAIL = 0x1005;
constexpr unsigned PDERR_INITFAILURE = 0x1006;
constexpr unsigned PDERR_NODEVICES = 0x1007;
constexpr unsigned PDERR_NODEFAULTPRN = 0x1008;
constexpr unsigned PDERR_DNDMMISMATCH = 0x1009;
constexpr unsigned PDERR_CREATEICFAILURE = 0x100A;
constexpr unsigned PDERR_PRINTERNOTFOUND = 0x100B;
constexpr unsigned CFERR_NOFONTS = 0x2001;
constexpr unsigned FNERR_SUBCLASSFAILURE = 0x3001;
constexpr unsigned FNERR_INVALIDFILENAME = 0x3002;
constexpr unsigned FNERR_BUFFERTOOSMALL = 0x3003;

// The error a common-dialog error code is reported with: 0 for none (a cancel, or a code the
// program does not report).
int CommonDialogErrorCode(unsigned code);

// 0 for code 0 (the user cancelled); otherwise 1, after showing the matching ErrorAlert when the
// code has one.
int ReportCommonDialogError(unsigned code);

// ---------------------------------------------------------------------------------------------
// The modal dialog runner and the state of the dialog being run. The program runs one dialog at a
// time on its one thread; every item operation below acts on CurrentDialog (CQVApp.h).

// Dialog resources of the program are numbered from this id; the position table, the parameter
// slots and the control-id rule count from it.
inline constexpr int kFirstDialogId = 4098;
inline constexpr int kDialogIdCount = 160;

// The result of the dialog being run: -1 while it is open, 0 Cancel, 1 OK, 2 and up further
// closing buttons.
extern int32_t DialogResult;
// 0 from the start of WM_INITDIALOG until the controls are filled, then 1. The runner also clears
// it before each run, so a previous dialog's 1 never reaches the next one's first measurements.
extern int32_t DialogInitDone;
// Held at 1 while a procedure reacts to a control notification, so that the changes the reaction
// makes to other controls do not start it again.
extern int32_t DialogCallbackBusy;
// The launchers' arguments, one slot per dialog resource (index id - kFirstDialogId). A slot is
// pointer-sized because most arguments are the address of the caller's record.
extern std::uintptr_t DialogParam[kDialogIdCount];

// Where each dialog last closed ({left, top} in screen pixels), in memory for the run only;
// (-1, -1) until the dialog has been closed once.
struct DialogPosition {
    int32_t left = -1;
    int32_t top = -1;
};
extern DialogPosition DialogPositionTable[kDialogIdCount];
// The entry of dialog `id`, or null for an id outside the program's dialog range.
DialogPosition* DialogPositionEntry(int id);
// Forgets every remembered position (as at start-up).
void ResetDialogPositions();

// Runs dialog resource `id` modally with `proc` from the resource module and returns DialogResult:
// the value the dialog ended with, or -1 when it cannot be made. The owner is the modal owner
// window (remembered across runs); every other widget window is disabled during the run and
// DoubleClickFlag is cleared before and after it.
int32_t RunModalDialog(int id, plat::DLGPROC proc);
// A result for callers that act on "anything but 0": a dialog that could not be made counts as
// Cancel.
inline int32_t ResultAsCancel(int32_t result) {
    return result < 0 ? 0 : result;
}

// Places a dialog from its position entry: centred in the full-screen client area when the entry
// is still (-1, -1) (the entry then takes that place); a negative coordinate becomes 1 (also kept
// in the entry); the window keeps its size and is not repainted.
void PlaceDialog(plat::HWND dialog, DialogPosition& entry);
// Stores the dialog's top-left corner into its entry (at WM_DESTROY).
void RememberDialogPosition(plat::HWND dialog, DialogPosition& entry);

// ---------------------------------------------------------------------------------------------
// Item operations on CurrentDialog. With no current dialog they do nothing and read as empty.

// Checks button first + index and unchecks the rest of first..last. An index outside the group
// unchecks the whole group and checks nothing (never a control beyond the group).
void SetRadioGroup(int first, int last, int index);
// The index (from 0) of the first checked button of first..last; -1 when none is or first > last.
int GetRadioIndex(int first, int last);
// Checks `id` within first..last when first <= id <= last; otherwise nothing.
void CheckRadioInRange(int first, int last, int id);
void SetCheck(int id, bool on);
bool IsChecked(int id);
void ToggleCheck(int id);
void EnableItem(int id, bool enable);
void SetItemEnabled(int id, bool enable);
// Selects characters start..min(end, length) of an edit; nothing when either is negative.
void SetEditSelection(int id, int start, int end);
void SetItemText(int id, const char* text);
// The shared text buffer: 1025 bytes, also used by the popup combos for their item texts.
inline constexpr std::size_t kItemTextBufferSize = 1025;
char* ItemTextBuffer();
// The item's text (at most 1024 bytes) in the shared buffer, valid until the buffer's next use.
const char* GetItemText(int id);
// The item's whole text, for callers that keep more than 1024 bytes.
std::string GetItemTextAll(int id);
// Copies the item's text into a record field of `size` bytes (size - 1 characters at most, the
// rest cut), always terminated; nothing is written beyond the field.
void CopyItemTextToField(int id, char* field, std::size_t size);
void SetItemInt(int id, int32_t value);
// Reads the item as signed decimal: leading blanks, an optional sign, then digits up to the first
// other character. No digit reads 0 with *ok false; a value beyond 32 bits saturates with *ok
// false.
int32_t GetItemInt(int id, bool* ok = nullptr);
// The same rule on a text.
int32_t ParseItemInt(const char* text, bool* ok = nullptr);
// Sends WM_SETFONT with the stock DEFAULT_GUI_FONT to every control of the dialog.
void SetDialogFont(plat::HWND dialog);

// Shows a key-map index's readable name in the item and remembers the index as the last key code.
void SetItemKeyName(int id, int32_t keyIndex);
// The key-map index last shown by SetItemKeyName or captured by a key-capture item.
int32_t GetItemKeyCode();
// Turns the item into a key-capture item (one at a time): it wants every key, and a key press
// shows that key's name in it (its character message is taken out of the queue). The lock keys
// and lone modifier keys are ignored.
void SubclassKeyCaptureItem(plat::HWND dialog, int id);
void UnsubclassKeyCaptureItem(plat::HWND dialog, int id);
plat::LRESULT KeyCaptureItemProc(plat::HWND hwnd, plat::UINT message, plat::WPARAM wParam,
                                 plat::LPARAM lParam);

// Draws bitmap resource `bitmapId` into a dialog at (x, y) dialog units, scaled by the screen
// resolution over 96: copied, or with white transparent (flags bit 0); a black one-pixel frame
// around it with bit 1. Validates the bitmap's rectangle. False when the bitmap does not exist.
inline constexpr int kBitmapTransparent = 1;
inline constexpr int kBitmapFramed = 2;
bool DrawDialogBitmap(plat::HWND dialog, plat::HDC dc, int bitmapId, int x, int y, int flags);

// The notification code of the WM_COMMAND being handled, for the list objects.
void SetListBoxNotifyCode(int code);
int ListBoxNotifyCode();
