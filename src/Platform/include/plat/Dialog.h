#pragma once
// The dialog manager (templates, modal and modeless runs, keyboard navigation), message boxes and
// the dialog result codes. The control classes and their messages are in plat/Controls.h.

#include "plat/Types.h"
#include "plat/Window.h"

namespace plat {

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_ABORTRETRYIGNORE = 0x00000002;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_RETRYCANCEL = 0x00000005;
constexpr UINT MB_ICONHAND = 0x00000010;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONASTERISK = 0x00000040;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr UINT MB_DEFBUTTON1 = 0x00000000;
constexpr UINT MB_DEFBUTTON2 = 0x00000100;
constexpr UINT MB_DEFBUTTON3 = 0x00000200;
constexpr UINT MB_APPLMODAL = 0x00000000;
constexpr UINT MB_SYSTEMMODAL = 0x00001000;
constexpr UINT MB_TASKMODAL = 0x00002000;
constexpr UINT MB_SETFOREGROUND = 0x00010000;
constexpr UINT MB_TOPMOST = 0x00040000;
constexpr UINT MB_TYPEMASK = 0x0000000F;
constexpr UINT MB_ICONMASK = 0x000000F0;
constexpr UINT MB_DEFMASK = 0x00000F00;
constexpr UINT MB_MODEMASK = 0x00003000;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Template styles.
constexpr DWORD DS_ABSALIGN = 0x0001;
constexpr DWORD DS_SYSMODAL = 0x0002;
constexpr DWORD DS_SETFONT = 0x0040;
constexpr DWORD DS_MODALFRAME = 0x0080;
constexpr DWORD DS_CENTER = 0x0800;

// Runs a modal dialog made from template `name` of `module` (null: the program's own). Returns
// the value given to EndDialog, -1 when the template is missing or the dialog cannot be made,
// and 0 when a quit request ends the run (the request is posted again for the outer loop).
// The owner's top-level window is disabled during the run.
INT_PTR DialogBoxParam(HINSTANCE module, const char* name, HWND owner, DLGPROC proc, LPARAM param);
// A modeless dialog; shown when its template has WS_VISIBLE. Null when the template is missing.
HWND CreateDialogParam(HINSTANCE module, const char* name, HWND owner, DLGPROC proc, LPARAM param);
// Ends a modal run after the current message (a modeless dialog is only hidden; its owner
// destroys it).
BOOL EndDialog(HWND dialog, INT_PTR result);
// Handles the dialog keyboard for messages aimed at `dialog` or its controls (it translates and
// dispatches them itself) and returns TRUE; FALSE for other windows' messages.
BOOL IsDialogMessage(HWND dialog, MSG* msg);
// The window procedure of dialogs: calls the dialog procedure first; TRUE means handled.
LRESULT DefDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);

// Controls. Ids compare as 16-bit numbers (the template's "no id" is 0xFFFF).
HWND GetDlgItem(HWND dialog, int id);
LRESULT SendDlgItemMessage(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL SetDlgItemText(HWND dialog, int id, const char* text);
// Copies at most size - 1 bytes and always terminates; returns the bytes copied.
UINT GetDlgItemText(HWND dialog, int id, char* buffer, int size);
BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned);
// Leading and trailing blanks are allowed; anything else, or a value out of range, gives 0 with
// *translated FALSE.
UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);
// Sets each button first..last to checked exactly when its id is `check`.
BOOL CheckRadioButton(HWND dialog, int first, int last, int check);
// The next (or previous) visible, enabled WS_TABSTOP control after `control`, wrapping.
HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous);
// The next (or previous) visible, enabled control of `control`'s WS_GROUP group, wrapping.
HWND GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous);

// Base units 8 x 16 at 96 dpi (scaled by dpi / 96): low word horizontal, high word vertical.
LONG GetDialogBaseUnits();
// Dialog units to pixels: one unit is base / 4 horizontally and base / 8 vertically.
BOOL MapDialogRect(HWND dialog, RECT* rect);

// Shows a modal box and returns the id of the button chosen, or 0 when it cannot be shown (no
// display). MB_ABORTRETRYIGNORE is not offered and is shown as MB_OK. `owner` is disabled for the
// run; with MB_TASKMODAL and no owner every top-level window of the program is.
int MessageBox(HWND owner, const char* text, const char* caption, UINT type);
// Not a window-system call: MessageBox with file names under its text, after a blank line, drawn
// as text of the active code page (the text, like every box's, is Windows-1252), so that names in
// a double-byte code page read as they are spelt. Null or empty names: a plain MessageBox.
int MessageBoxNamingFiles(HWND owner, const char* text, const char* names, const char* caption,
                          UINT type);

} // namespace plat
