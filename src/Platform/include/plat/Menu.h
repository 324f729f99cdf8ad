#pragma once
// Menus: the menu model (items with text, id, state, pointer-sized data and submenus), the menu
// bar drawn at the top of a frame window, popup menus tracked in a modal loop, the system menu, and
// the status bar control.

#include "plat/Messages.h"
#include "plat/Types.h"

namespace plat {

// --- Item flags (AppendMenu, ModifyMenu, CheckMenuItem, EnableMenuItem, GetMenuState) ------------
constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_ENABLED = 0x0000;
constexpr UINT MF_UNCHECKED = 0x0000;
constexpr UINT MF_BYCOMMAND = 0x0000;
constexpr UINT MF_GRAYED = 0x0001;
constexpr UINT MF_DISABLED = 0x0002;
constexpr UINT MF_CHECKED = 0x0008;
constexpr UINT MF_POPUP = 0x0010;
constexpr UINT MF_HILITE = 0x0080;
constexpr UINT MF_BYPOSITION = 0x0400;
constexpr UINT MF_SEPARATOR = 0x0800;

// --- MENUITEMINFO -------------------------------------------------------------------------------
constexpr UINT MIIM_STATE = 0x0001;
constexpr UINT MIIM_ID = 0x0002;
constexpr UINT MIIM_SUBMENU = 0x0004;
constexpr UINT MIIM_DATA = 0x0020;
constexpr UINT MIIM_TYPE = 0x0010;

constexpr UINT MFT_STRING = 0x0000;
constexpr UINT MFT_SEPARATOR = 0x0800;

constexpr UINT MFS_ENABLED = 0x0000;
constexpr UINT MFS_UNCHECKED = 0x0000;
constexpr UINT MFS_GRAYED = 0x0003;
constexpr UINT MFS_DISABLED = MFS_GRAYED;
constexpr UINT MFS_CHECKED = 0x0008;

struct MENUITEMINFO {
    UINT cbSize = sizeof(MENUITEMINFO);
    UINT fMask = 0;
    UINT fType = 0;
    UINT fState = 0;
    UINT wID = 0;
    HMENU hSubMenu = nullptr;
    DWORD_PTR dwItemData = 0;
    // MIIM_TYPE with MFT_STRING: on Get, the text is copied into dwTypeData (cch bytes, always
    // terminated) and cch receives the text's length; on Set, dwTypeData is the new text.
    char* dwTypeData = nullptr;
    UINT cch = 0;
};

// --- TrackPopupMenu -----------------------------------------------------------------------------
constexpr UINT TPM_LEFTBUTTON = 0x0000;
constexpr UINT TPM_LEFTALIGN = 0x0000;
constexpr UINT TPM_TOPALIGN = 0x0000;
constexpr UINT TPM_RIGHTBUTTON = 0x0002;
constexpr UINT TPM_CENTERALIGN = 0x0004;
constexpr UINT TPM_RIGHTALIGN = 0x0008;
constexpr UINT TPM_NONOTIFY = 0x0080;
constexpr UINT TPM_RETURNCMD = 0x0100;

// WM_SYSCOMMAND codes that open the menu bar: from a click on it (lParam: screen x, y) and from the
// keyboard (lParam: the mnemonic character, 0 for F10).
constexpr WPARAM SC_MOUSEMENU = 0xF090;

// --- The model ----------------------------------------------------------------------------------
HMENU CreateMenu();
HMENU CreatePopupMenu();
// Destroys the menu and its submenus; a menu still set on a window is detached from it first.
BOOL DestroyMenu(HMENU menu);
BOOL IsMenu(HMENU menu);
// From a compiled menu template: the bar (or the context menu's root) whose items are the
// template's top-level popups. Null when the module has no such menu.
HMENU LoadMenu(HINSTANCE module, const char* name);
HMENU GetSubMenu(HMENU menu, int position);
// -1 for an invalid menu.
int GetMenuItemCount(HMENU menu);
// The id at a position; -1 for a submenu, a separator's 0, -1 for a bad position.
UINT GetMenuItemID(HMENU menu, int position);
// Copies at most size - 1 bytes and always terminates; returns the bytes copied. A null buffer
// returns the text's length.
int GetMenuString(HMENU menu, UINT item, char* buffer, int size, UINT flags);
// MF_CHECKED, MF_GRAYED, MF_SEPARATOR, MF_POPUP bits; (UINT)-1 when the item does not exist.
UINT GetMenuState(HMENU menu, UINT item, UINT flags);
BOOL GetMenuItemInfo(HMENU menu, UINT item, BOOL byPosition, MENUITEMINFO* info);
BOOL SetMenuItemInfo(HMENU menu, UINT item, BOOL byPosition, const MENUITEMINFO* info);
// `idOrPopup` is the command id, or the submenu's HMENU with MF_POPUP. The submenu becomes part of
// the menu (destroyed with it).
BOOL AppendMenu(HMENU menu, UINT flags, UINT_PTR idOrPopup, const char* text);
BOOL InsertMenu(HMENU menu, UINT item, UINT flags, UINT_PTR idOrPopup, const char* text);
BOOL ModifyMenu(HMENU menu, UINT item, UINT flags, UINT_PTR idOrPopup, const char* text);
// Not a window-system call: the item's text is in the active code page (a file name) rather than
// the interface's Windows-1252, and is drawn so; ModifyMenu keeps the setting.
BOOL SetMenuItemTextInCodePage(HMENU menu, UINT item, UINT flags, BOOL on);
// DeleteMenu destroys a submenu at the item; RemoveMenu detaches it and leaves it alive.
BOOL DeleteMenu(HMENU menu, UINT item, UINT flags);
BOOL RemoveMenu(HMENU menu, UINT item, UINT flags);
// Return the previous state (MF_CHECKED / MF_GRAYED bits), or (DWORD)-1 when the item does not
// exist. MF_BYCOMMAND searches submenus too.
DWORD CheckMenuItem(HMENU menu, UINT item, UINT flags);
BOOL EnableMenuItem(HMENU menu, UINT item, UINT flags);

// --- Windows and menus --------------------------------------------------------------------------
// Puts `menu` on a top-level window as its menu bar; the client area gives the bar its height.
// Null removes the bar. The previous menu is not destroyed.
BOOL SetMenu(HWND hwnd, HMENU menu);
HMENU GetMenu(HWND hwnd);
// Redraws the bar after its items changed.
BOOL DrawMenuBar(HWND hwnd);
// The window's own system menu (one "Fermer" item, SC_CLOSE). Greying SC_CLOSE greys the close box:
// a close request from the window manager or Alt+F4 is then ignored. `revert` restores it.
HMENU GetSystemMenu(HWND hwnd, BOOL revert);

// Runs a popup menu at a screen point in a modal loop, with nested submenus. With TPM_RETURNCMD the
// chosen id is returned (0 when nothing is chosen); otherwise WM_COMMAND(id, 0, 0) is posted to
// `owner` after the menu has closed and the result is non-zero when an item was chosen.
BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND owner,
                    const RECT* unused);

// --- Status bar ("msctls_statusbar32") ----------------------------------------------------------
inline const char* const STATUSCLASSNAME = "msctls_statusbar32";
constexpr UINT SB_SETTEXT = WM_USER + 1; // wParam: part (low byte); lParam: text
// wParam: part (low word) and the buffer's size (high word: copies at most size - 1 bytes and
// terminates; a size of 0 copies nothing); lParam: the buffer. Returns the text's length.
constexpr UINT SB_GETTEXT = WM_USER + 2;
constexpr UINT SB_SETPARTS = WM_USER + 4; // wParam: count (1..256); lParam: int right edges
constexpr UINT SB_GETPARTS = WM_USER + 6; // wParam: count; lParam: int buffer; returns the count
constexpr UINT SB_GETTEXTLENGTH = WM_USER + 3;

} // namespace plat
