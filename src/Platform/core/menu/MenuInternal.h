#pragma once
// The menu module's inside: the menu objects, the menu bar hooks the window module calls, and the
// view of a running menu loop that the headless test driver uses.

#include "plat/Menu.h"
#include "plat/Types.h"

#include <functional>
#include <string>
#include <vector>

namespace plat::core {

struct Window;

struct MenuItem {
    bool separator = false;
    UINT state = 0; // MF_GRAYED, MF_DISABLED, MF_CHECKED
    UINT id = 0;
    HMENU sub = nullptr; // owned: destroyed with the item's menu
    DWORD_PTR data = 0;
    std::string text; // as given: "&" marks the mnemonic, "\t" starts the shortcut text
    bool codePageText = false; // text of the active code page (a file name), not cp1252
};

struct Menu {
    bool popup = false;
    std::vector<MenuItem> items;
    HWND window = nullptr; // the window whose bar shows this menu
};

Menu* FindMenu(HMENU menu, const char* caller = nullptr);
// The menu and position of an item; MF_BYCOMMAND searches submenus depth first.
bool LocateItem(HMENU menu, UINT item, UINT flags, Menu*& owner, std::size_t& position);

// --- Drawing helpers shared by the bar and the popups --------------------------------------------
// The text as shown: "&&" gives "&", a single "&" is dropped (its position is returned through
// `mnemonicAt`, -1 when none), "\n" shows as a space. The part after "\t" goes to `shortcut`.
std::string ShownText(const std::string& text, std::string* shortcut, int* mnemonicAt);
// The mnemonic character of an item's text, folded to lower case; 0 when none.
BYTE MnemonicOf(const std::string& text);
BYTE FoldCase(BYTE c);

// --- Hooks called by the window module -----------------------------------------------------------
constexpr int kMenuBarHeight = 19;
// A top-level window created with a menu gets its bar before WM_CREATE, so its first client size
// already leaves room for it. A value that is not a menu is ignored.
void AttachMenuAtCreation(Window* top, HMENU menu);
// Draws the bar into the top rows of the frame's backing image and presents them.
void PaintMenuBar(Window* top);
// The screen rectangle of a bar title; false when the window has no such title.
bool MenuBarTitleRect(HWND top, int index, RECT* screen);
// WM_SYSCOMMAND SC_KEYMENU / SC_MOUSEMENU reaching DefWindowProc of a top-level window.
void MenuBarCommand(HWND top, WPARAM code, LPARAM lParam);
// Whether the window's system menu leaves SC_CLOSE enabled.
bool SystemCloseEnabled(HWND hwnd);
// Forgets every menu and system menu (tests).
void ResetMenus();
void ClearMenuScripts();

// The status bar class's procedure (the window module gives the built-in class this procedure).
LRESULT StatusBarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void ResetStatusBars();

// --- The running menu loop, as the test driver sees it -------------------------------------------
// Test scripts: when the headless loop has nothing left to read it runs the oldest script (which
// may queue input or act on the loop through the calls below); with no script left the menu
// closes, so a test never hangs on a menu.
void QueueMenuScript(std::function<void()> script);
// Answers a menu loop that opens with no script left, once per loop, in place of failing the test
// (random-input runs); an empty function restores the failure.
void SetUnscriptedMenuAnswer(std::function<void()> answer);

bool MenuLoopActive();
// Open popups, the root first.
int MenuLoopDepth();
HMENU MenuLoopMenu(int level);
HWND MenuLoopWindow(int level);
// The frame whose menu bar is being tracked; null for TrackPopupMenu.
HWND MenuLoopBar();
int MenuLoopHot(int level);
// Opens the submenu at `position` of the popup at `level` (closing deeper ones).
bool MenuLoopOpenSubmenu(int level, int position);
// Chooses the enabled command item at `position` of the popup at `level`.
bool MenuLoopChoose(int level, int position);
void MenuLoopCancel();

} // namespace plat::core
