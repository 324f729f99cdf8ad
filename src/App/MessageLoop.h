#pragma once
// The main loop: the key filter, the idle step and the 100 ms application tick.

#include "plat/Types.h"

// Interval of the application tick.
inline constexpr plat::UINT kTickIntervalMs = 100;

// Offers a key press without a character to the front window as a key-map index (key code,
// + 0x200 with Alt, + 0x400 with Ctrl). True when the front window used it (the message is then
// consumed); false lets the message go on, so a typed character still arrives as WM_CHAR and an
// unbound Alt+letter still reaches the menu bar.
bool KeyFilter(const plat::MSG& msg);

// Runs while the queue is empty and a front window exists: ends the busy period, lets the front
// window blink its selection and applies the cursor. A Fail inside is shown and the loop goes on.
void IdleWork();
// The idle step of one window: with memory short it shows alert 465, saves and closes everything
// and answers true; otherwise it answers whether the window is busy (its idle step then waits).
class oWindow;
inline constexpr int errMemoryShort = 465;
bool IdleWindow(oWindow* window);
// How the idle step asks whether memory is short (a test can stand in for it).
extern bool (*MemoryCheck)();
// Input and menu messages make the busy cursor pending: work that lasts shows it.
void NoteInputMessage(const plat::MSG& msg);

// The 100 ms application tick. Does nothing while a message box or dialog is up or before
// start-up is over; otherwise ends the program (quit message 2) once no window of its own is
// left. Its other use is waking the loop so that the idle step runs.
void AppTickProc(plat::HWND hwnd, plat::UINT message, plat::UINT_PTR id, plat::DWORD time);
// Forgets that a window of the program's own was seen (start-up calls it).
void ResetTickState();

// Shows the help text of what lies under the pointer in the status bar (empty when nothing has
// one); the tick calls it. Failures only clear the text: it is a hint, never worth an alert.
void RefreshStatusBar();

// SIGTERM, SIGINT and SIGHUP end the program within a second as File > Quit does, without its
// questions: whichever message loop runs (a dialog's or an alert's included) serves the signal,
// the preferences are written, each document not saved is written to the preferences folder's
// "Recovered" folder (or the next place that takes it, see KeepRecoveryCopy) and named on stderr
// with that file, and the program exits with 0. A signal the program cannot serve within a second
// of its own processor time (ten seconds of the clock when it is blocked) ends it the default way;
// further signals wait for the ending (its grace is 30 s).
void InstallTerminationHandler();

// Runs the loop until the quit message; returns its exit code (2 when the last window closed).
int RunMessageLoop();
// One turn of the loop without waiting: every message that is waiting (through the key filter,
// each as one user action), then the idle step when the queue is empty and a front window exists.
// True with the exit code once WM_QUIT has been taken.
bool RunPendingMessages(int& exitCode);
