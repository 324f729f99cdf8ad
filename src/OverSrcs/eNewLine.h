// Line breaking: new row (the text after the caret on a new line below) and new field (in a new
// field to the right). Words and rows cut themselves at the caret and pass the call up to the
// container of the row, which builds a pile or a row of fields, or adds a row, a column or a slot.
#pragma once

#include "OverSrcs/eObject.h"

#include <cstdint>

class eString;

// The row cut at the caret: the row keeps its items before `caret` (it may become a new block,
// returned in `before`), the items from `caret` on move into the returned new row (not in any
// tree, sharing no alignment ring).
ExprPtr SplitRowAt(eString* row, int32_t caret, eString*& before);

// A ruled grid holding the two parts: a pile (two rows, one column, tight) or a row of fields (one
// row, two columns), rows and columns sized separately, in the first part's colour; null when no
// grid could be made.
ExprPtr NewBreakGrid(ExprPtr first, ExprPtr second, bool pile);
