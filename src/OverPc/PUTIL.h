#pragma once
// Utilities that reach the window system: the user-interrupt poll, input and timing, beeps,
// double-byte-aware character scans and the one registry read. Portable code may include this
// header: it names no platform type.

#include "OverPc/PERROR.h"

#include <cstddef>
#include <cstdint>

// Long work (drawing, commands, printing) calls this often. A termination signal waiting to be
// served is acknowledged (NoteTerminationSignal) and makes it fail with errUserInterrupt at once:
// the work unwinds to the loop that ends the program. Nothing at all happens while the program
// ends on a signal: the ending's own writing runs to its end. Otherwise nothing happens while a
// modal dialog or a message box is up. The first call of a busy period records the time; once 350
// ms have passed every call re-applies the current cursor, and every 32nd call reads the Escape key
// and, when it is down, fails with errUserInterrupt.
void CheckUserAbort();
// Long work that cannot stop where it stands (freeing a large tree, marking one for layout) calls
// this often instead: a waiting termination signal is acknowledged, so that its grace becomes the
// ending's (30 s) while the work runs on to a point where it can stop. Cheap: one flag is read.
void NoteTerminationSignal();
// Long work that must not stop (drawing) calls this often, and CheckUserAbort does: every tenth
// of a second the window manager's pings and the selection requests that need nothing made are
// answered, so the window is not taken for hung. Nothing else is taken; it never fails.
void AnswerWhileBusy();
// Ends a busy period: the next CheckUserAbort starts afresh (the idle step calls it).
void ResetUserAbortCounter();
// A modal dialog, message box or system dialog has just closed. An Escape down now is the key that
// closed it (its release has not come yet): like one down when the work began, it does not count
// as the user interrupting the work that ran the dialog; a fresh press after its release does.
void NoteModalClosed();

// Runs one piece of user-driven work (a key, a click, a paint, an idle step, a timer) inside an
// error environment: a Fail is handed to `report` (by default shown with ErrorAlert) and the
// program goes on with its documents as they are. The outermost action starts a busy period, and
// an Escape key already down then is the key that started the work: it never counts as the user
// interrupting it, only a fresh press after its release does.
template <class Body, class Report> void RunUserAction(Body&& body, Report&& report);
template <class Body> void RunUserAction(Body&& body);
// The bookkeeping RunUserAction does around its body.
void BeginUserAction();
void EndUserAction();
// How long the poll waits before showing the busy cursor.
constexpr std::uint32_t kUserAbortBusyMs = 350;

// True when a front window or a modal dialog exists and a key or mouse-button message waits.
bool InputPending();
// Waits until `ms` milliseconds have passed, looking at the queue without taking messages; returns
// the tick count.
std::uint32_t PauseTicks(std::uint32_t ms);
// The system's caret blink time, read once.
unsigned CaretBlinkTime();
void Beep();

// The first / last byte `c` of `text`, stepping by characters of the current code page so the
// trail byte of a double-byte character never matches. Null when there is none, for an empty text
// (first) or a null text.
const char* FindFirstChar(const char* text, char c);
const char* FindLastChar(const char* text, char c);

// Reads value `name` (at most size bytes, always terminated) of the program's settings key for
// this version. True when it was read.
constexpr std::size_t kRegistryValueSize = 260;
bool ReadRegistryValue(const char* name, char* buffer, std::size_t size = kRegistryValueSize);

// The system colour chooser (the prompt is not shown: the chooser has no title), starting on the
// colour in rgb[0..2]. True with the chosen red, green and blue bytes in rgb[0..2]; false after
// Cancel (rgb untouched) or after an error that has been reported. Its 16 custom colours live for
// the whole run and start as the owner window's background colour; CurrentDialog marks a system
// dialog and the program's other windows are disabled while it is up.
bool ChooseColorDialog(const char* prompt, std::uint8_t* rgb);
// Forgets the custom colours (shut-down); the next chooser starts afresh.
void FreeColorChooser();

// Points the drawing code's current structure colours (the two row outlines and the structure
// background) at the system colours read at start-up: the light outline is the button face, the
// dark one the button shadow, the background the window colour. Call after InitGraphics.
void UseSystemColors();

template <class Body, class Report> void RunUserAction(Body&& body, Report&& report) {
    BeginUserAction();
    struct End {
        ~End() { EndUserAction(); }
    } end;
    GuardedCall(std::forward<Body>(body), std::forward<Report>(report));
}

template <class Body> void RunUserAction(Body&& body) {
    RunUserAction(std::forward<Body>(body), [](std::int16_t code) { ErrorAlert(code); });
}
