// Where a given character lies inside a node, for rows and grids that align items on a character
// (a decimal point, an equals sign). The answers are offsets from the node's left edge, or
// kCharAbsent (-7777) when the node does not contain the character.
#pragma once

#include "OverSrcs/eObject.h"

#include <cstdint>

// The node's whereChar when it is not negative, else half the node's width.
int32_t WhereCharOrCentre(eExpr* node, unsigned char c);
