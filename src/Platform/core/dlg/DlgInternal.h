#pragma once
// The dialog module's inside: dialog records, template creation, the modal run and the helpers
// the control procedures share (drawing in the classic 3-D look, text layout).

#include "plat/Controls.h"
#include "plat/Dialog.h"
#include "plat/Gdi.h"
#include "plat/Resources.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace plat::core {

struct DialogData {
    DLGPROC proc = nullptr;
    INT_PTR result = 0;
    bool ended = false;
    bool modal = false;
    bool initDone = false;
    int templateId = 0;
    HWND lastFocus = nullptr;
    bool focusOnSelf = false; // the dialog window itself may hold the focus (message boxes)
    std::vector<HWND> order;  // the template's controls: tab order (the z-order puts group
                              // boxes last, so that the controls inside them show)
};

// The record of a dialog window (null for other windows).
DialogData* DialogOf(HWND hwnd);
// The controls of a window in tab order: a dialog's template order, then any children added
// later; for other windows, the children in z-order.
std::vector<HWND> DialogControls(HWND parent);
// The dialog a control belongs to (its nearest dialog ancestor), or null.
HWND DialogOfControl(HWND hwnd);

// Makes a dialog from a template, in the manager's order: window and controls, WM_MEASUREITEM
// for owner-drawn controls, WM_INITDIALOG, then shown when `show` (or the template's WS_VISIBLE).
// `className` is the dialog's class (a class whose procedure is DefDlgProc). Null on failure.
HWND CreateDialogFromTemplate(const ResDialog& templ, HINSTANCE module, HWND owner, DLGPROC proc,
                              LPARAM param, const char* className, bool show);
// Runs the modal loop of a dialog made by CreateDialogFromTemplate: shows the dialog, loops until
// EndDialog, then re-enables `disabled` (the windows the caller disabled for the run), hides and
// destroys the dialog and returns the EndDialog value (0 after a quit request, which is posted
// again). `idleHook` set: the test hook is called each time the loop becomes idle.
INT_PTR RunModalDialog(HWND dialog, const std::vector<HWND>& disabled, bool idleHook);

// The test driver's hook: called when a modal dialog's loop has nothing to do. It may drive the
// dialog (the calls run inside the loop) or end it.
using DialogIdleHook = std::function<void(HWND dialog, int templateId, int idleCount)>;
void SetDialogIdleHook(DialogIdleHook hook);

// Registers the control classes and the dialog class once.
void EnsureDialogClasses();

// --- Drawing helpers
// ------------------------------------------------------------------------------
// The interface font; for a control whose text is in the active code page (file names), the
// code-page variant of it.
HFONT GuiFont(HWND control = nullptr);
COLORREF SysColor(int index);
void FillSolid(HDC hdc, const RECT& r, COLORREF c);
// A raised (or sunken) two-pixel 3-D edge inside r.
void DrawRaisedEdge(HDC hdc, const RECT& r);
void DrawSunkenEdge(HDC hdc, const RECT& r);
void DrawFocusFrame(HDC hdc, const RECT& r);
// Line height of DEFAULT_GUI_FONT.
int GuiLineHeight();
// Text without "&" prefixes ("&&" gives "&"); `mnemonicAt` receives the index of the underlined
// character in the result, or -1.
std::string StripPrefix(std::string_view text, int* mnemonicAt);
// The mnemonic letter of a text ("&x" gives 'x', lower case), or 0.
char MnemonicOf(std::string_view text);
// Breaks text into lines at "\n" (CR LF counts as one break) and, when `width` > 0, wraps words
// to fit `width` pixels with the font selected in `hdc`.
std::vector<std::string> WrapText(HDC hdc, std::string_view text, int width);
int TextWidth(HDC hdc, std::string_view text);
// Draws a label in `r`: align 0 left, 1 centre, 2 right; `prefix` handles "&"; `wrap` wraps words.
// Returns the height used.
// `font` replaces the interface font (the code-page font of a control showing file names).
int DrawLabel(HDC hdc, const RECT& r, std::string_view text, int align, bool prefix, bool wrap,
              COLORREF color, HFONT font = nullptr);

// Notifies the parent of a control with WM_COMMAND(id, code).
void NotifyParent(HWND control, WORD code);

} // namespace plat::core

namespace plat::core {
// Controls draw their own border and scroll bar inside their client area: this takes the
// frame bits (WS_BORDER, WS_VSCROLL, WS_HSCROLL, WS_EX_CLIENTEDGE) off the window and returns
// the style they had.
DWORD TakeOwnFrame(HWND hwnd);
// Draws a vertical scroll bar in `r` for range min..max, page and position; `pressed` 1 up arrow,
// 2 down arrow, 0 none.
void DrawVScrollBar(HDC hdc, const RECT& r, int min, int max, int page, int pos, bool enabled);
// Thumb rectangle of such a bar (empty when there is no room).
RECT VScrollThumb(const RECT& r, int min, int max, int page, int pos);
} // namespace plat::core
