#include "OverPc/shell/Cursors.h"

#include "plat/Window.h"

namespace {
plat::HCURSOR s_current = nullptr;
bool s_busyPending = false;
} // namespace

void SetCurrentCursor(plat::HCURSOR cursor) {
    s_current = cursor;
}

plat::HCURSOR CurrentCursor() {
    return s_current;
}

void ApplyCursor() {
    if (s_current == nullptr)
        s_current = plat::LoadCursor(nullptr, plat::IDC_ARROW);
    plat::SetCursor(s_current);
}

void SetBusyCursorPending(bool pending) {
    s_busyPending = pending;
}

bool BusyCursorPending() {
    return s_busyPending;
}

void ApplyBusyCursor() {
    if (s_busyPending)
        plat::SetCursor(plat::LoadCursor(nullptr, plat::IDC_WAIT));
    else
        ApplyCursor();
}
