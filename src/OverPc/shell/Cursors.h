#pragma once
// The cursor manager: the program's current cursor, applied on demand.

#include "plat/Types.h"

// Sets the cursor the manager applies (null: the arrow).
void SetCurrentCursor(plat::HCURSOR cursor);
plat::HCURSOR CurrentCursor();
// Applies the current cursor once.
void ApplyCursor();

// The busy cursor: the message loop marks it pending before it hands on input; long work shows it
// once it has lasted a while (CheckUserAbort), and the idle step drops it again.
void SetBusyCursorPending(bool pending);
bool BusyCursorPending();
// Shows the busy cursor when it is pending; otherwise the current cursor.
void ApplyBusyCursor();
