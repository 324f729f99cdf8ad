#pragma once
// Owners of dialogs and message boxes, enabling the program's windows around modal runs, and the
// report of common-dialog errors.

#include "plat/Types.h"

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
