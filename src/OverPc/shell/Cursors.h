#pragma once
// The cursor manager: the program's current cursor, applied on demand.

#include "plat/Types.h"

// Sets the cursor the manager applies (null: the arrow).
void SetCurrentCursor(plat::HCURSOR cursor);
plat::HCURSOR CurrentCursor();
// Applies the current cursor once.
void ApplyCursor();
