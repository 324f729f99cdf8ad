// Small factories used throughout editing: the empty-slot placeholder and the typing-style reset.
#pragma once

#include "OverSrcs/eSimpString.h"

#include <cstdint>

// A one-element row holding the word "?", in the common style of the entry being acted upon when
// asked, else in a style that inherits everything, with the colour byte.
OwnedNode<eSimpString> NewPlaceholder(uint8_t colour, bool useSelectionStyle);
// The active selection record's typing style becomes the all-inherit record and its style index
// -1; nothing without an active record.
void ResetTypingStyle();
