#include "OverSrcs/eFactory.h"

#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eWord.h"

OwnedNode<eSimpString> NewPlaceholder(uint8_t colour, bool useSelectionStyle) {
    FSSRecord style;
    if (useSelectionStyle)
        HookGetSelectionFSS(style);
    else
        InitFSSRecord(style);
    return NewSimpStringWith(NewWord("?", 0, style, colour));
}

void ResetTypingStyle() {
    const TypingStyleRef active = HookActiveTypingStyle();
    if (active.style != nullptr)
        InitFSSRecord(*active.style);
    if (active.styleIndex != nullptr)
        *active.styleIndex = -1;
}
