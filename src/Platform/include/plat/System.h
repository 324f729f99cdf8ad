#pragma once
// Clock, waits, beeps and the diagnostic sink.

#include "plat/Types.h"

namespace plat {

// Milliseconds from an arbitrary start, wrapping at 32 bits. Headless tests move it explicitly.
DWORD GetTickCount();
void Sleep(DWORD ms);
UINT GetCaretBlinkTime();
UINT GetDoubleClickTime();

// MB_ICON* type, MB_OK, or 0xFFFFFFFF for the simple beep.
BOOL MessageBeep(UINT type);

// Receives one line (no newline) for each misuse the layer detects, such as a stale handle.
// Null restores the default, which writes to stderr.
using DiagnosticSink = void (*)(const char* line);
void SetDiagnosticSink(DiagnosticSink sink);

// Ending on a signal. Once a handler is set, SIGTERM, SIGINT and SIGHUP no longer end the program
// at once: the signal is noted and the event wait woken, and `serve` runs on the main thread when
// the message loop that is running (a modal one included) next takes its events. `serve` is to
// end the program; if it returns, the program goes on. A first signal the program has neither
// started to answer nor acknowledged (below) within one second of its own processor time, or
// within ten seconds of the clock, ends the program the default way: a program that cannot answer
// never swallows the signal, and a loaded machine that gives it only a share of a processor does
// not cut its answer short. Once `serve` runs it has a longer grace
// (30 s, for writing what must be kept). Further signals while one is noted or served only wait for
// these (during `serve` one line on stderr says so): a second Ctrl+C never cuts the keeping of the
// documents short. Null restores the default handling.
using TerminationHandler = void (*)(int signal);
void SetTerminationSignalHandler(TerminationHandler serve);
// True while a termination signal waits for its handler: long work asks it and stops, so that the
// message loop serves the signal within its grace. False while the handler itself runs.
bool TerminationSignalPending();
// True while the handler runs: the program is ending on a signal, and what it keeps (the
// preferences, the unsaved documents) is written to its end, however long.
bool EndingOnSignal();
// Lets up to `ms` pass while the program is in the middle of something it must finish before it
// takes input again (a save waiting for a file another program holds): the window manager's pings
// and other programs' requests for the selection are answered meanwhile, and no other input is
// taken (it waits for the message loop, so no command runs inside the unfinished one). Call it in
// short steps. False when the wait is to stop early: the user pressed Escape, or a termination
// signal waits to be served.
bool WaitAnswering(DWORD ms);
// Long work calls this every tenth of a second or so (it takes no time when nothing waits): the
// window manager's pings and the selection requests that need nothing made first are answered,
// so the window is not taken for hung. No input is taken and nothing runs a command.
void AnswerWhileBusy();
// Long work that has seen the pending signal says so before it unwinds to the loop: the signal's
// grace becomes the ending's (30 s, renewed when the handler starts), so that the unwinding (a
// large tree freed, a temporary file removed) never lets the short grace end the program the
// default way. Does nothing when no signal waits or it was acknowledged already.
void AcknowledgeTerminationSignal();
// Marks a call that cannot look at a pending signal while it runs (a file flushed to a slow disk,
// a rename over a busy one): a termination signal noted before or during it gets the ending's
// grace at once, as if acknowledged, so the call is never cut short by the first second. The
// signal stays pending for the checks that follow.
class UninterruptibleCall {
public:
    UninterruptibleCall();
    ~UninterruptibleCall();
    UninterruptibleCall(const UninterruptibleCall&) = delete;
    UninterruptibleCall& operator=(const UninterruptibleCall&) = delete;
};

} // namespace plat
