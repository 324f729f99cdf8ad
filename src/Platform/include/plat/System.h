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

} // namespace plat
