#pragma once
// Equations in the MTEF binary form (versions 3, 4 and 5), as other equation editors put them on
// the clipboard ("MathType EF"), in OLE "Equation Native" streams and in metafile comments.

#include "OverSrcs/eObject.h"

#include <cstddef>
#include <cstdint>

// The expression the bytes describe, or null when they are not a readable MTEF equation (wrong
// version, truncated, inconsistent, nested deeper than 64 levels or longer than 100 000 records).
// An OLE "Equation Native" header in front of the equation is skipped.
ExprPtr ReadMtefDocument(const uint8_t* bytes, size_t length);
