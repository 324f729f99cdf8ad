#pragma once

#include "OverPc/shell/Pwindow.h"
#include "OverSrcs/oWindows.h"
#include "plat/Window.h"

// Binds a widget that draws on a dialog item to the item's window: its zone covers the item's
// client area, with the origin at the top-left.
inline void SetupItemWidget(oWidget& widget, plat::HWND item) {
    widget.attachWindow(HandleToWindow(item));
    plat::RECT r{};
    plat::GetClientRect(item, &r);
    Zone zone;
    zone.right = r.right - r.left;
    zone.bottom = r.bottom - r.top;
    zone.ref1 = zone.bottom;
    zone.ref2 = zone.bottom;
    widget.setupZone(zone);
    widget.setOrigin(0, 0);
}
