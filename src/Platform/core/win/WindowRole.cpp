// What each top-level window is to a window manager, decided from its style and class alone, so
// that both back ends and the tests agree.

#include "core/win/WinInternal.h"
#include "plat/Dialog.h"

namespace plat::core {

WindowRole RoleOf(const Window* w) {
    if (!w)
        return WindowRole::Normal;
    const bool dialogClass = ClassIs(w, "#32770") || ClassIs(w, "KvMessageBox");
    const bool captioned = (w->style & WS_CAPTION) == WS_CAPTION;
    if ((w->style & WS_POPUP) && !captioned) {
        // A dialog that shed its caption shows a picture on its own: the splash.
        if (dialogClass)
            return WindowRole::Splash;
        // Drop-down and context menus, combo lists and sub-palettes never take activation.
        if (w->exStyle & (WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW))
            return WindowRole::Menu;
        return WindowRole::Tooltip;
    }
    if (w->exStyle & WS_EX_TOOLWINDOW)
        return WindowRole::Utility;
    if (dialogClass || (w->style & DS_MODALFRAME) || ((w->style & WS_POPUP) && w->owner))
        return WindowRole::Dialog;
    return WindowRole::Normal;
}

} // namespace plat::core
