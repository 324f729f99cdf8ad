// Templates inserted by command code: the node each template code of the insertion family builds,
// with placeholders where the user is to type, and the start-up call that installs every template
// class's factory.
#pragma once

#include "OverSrcs/eObject.h"

#include <cstdint>

// The new template for an insertion code (0x40nn-0x4Fnn, low 15 bits used), its slots filled with
// placeholders and empty rows; null when the code names no template (matrices and macros are not
// templates here). Placeholders take the typing colour and the style of the entry being acted upon.
ExprPtr NewTemplateForCommand(int32_t code);

// Installs the factories of every template class so that stored template codes can be read back.
// Start-up calls it once; calling it again is harmless.
void RegisterAllTemplates();
