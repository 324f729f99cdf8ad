#pragma once
// The main frame: its window class, procedure, menu bar and status bar, and the requests that
// reach it (menu commands, files handed over by a later copy, quitting).

#include "plat/Types.h"

// Registers "KorvalineFrame" (once). False when the class cannot be registered.
bool RegisterFrameClass();
plat::LRESULT FrameWndProc(plat::HWND hwnd, plat::UINT message, plat::WPARAM wParam,
                           plat::LPARAM lParam);
// The main frame, made when it does not exist yet: centred, 90 % of the screen, with the menu
// bar and status bar, shown. Null when it cannot be made.
plat::HWND CreateMainFrame();

// Loads the menu bar resource into CQVApp::m_MenuBar, greys the commands that need a front
// document (Close, Save, Print) and reads the command codes. False when the resource is missing.
bool InitMenuBar();
// Destroys the menu bar (after the frame has let go of it).
void FreeMenuBar();

// The registered "KorvalineFileOpen" message (0 until start-up registers it).
plat::UINT FileOpenMessage();
void SetFileOpenMessage(plat::UINT message);
// Serves one request of a later copy: atom 0 brings the frame and the front window forward; any
// other atom names a file to open (the atom is deleted). While an alert or a dialog is up the
// request waits, in order, until ServeWaitingFileOpenRequests finds none up.
void HandleFileOpenRequest(plat::WPARAM atom);
void ServeWaitingFileOpenRequests();

// Windows of the program's own that keep it running: document windows inside the frame and
// floating tool windows (the frame itself and dialogs do not count).
int CountOwnWindows();
// Asks each of those windows to close and stops at the first that refuses; true when all closed.
bool CloseOwnWindows();
