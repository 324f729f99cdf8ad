#pragma once
// Preview controls in dialogs: a drawing port bound to a dialog item of the window class
// "otherport". The item is painted through a callback that receives the control id, and its
// clicks reach the dialog as WM_COMMAND with the control id.

#include "OverSrcs/oWindows.h"
#include "plat/Types.h"

#include <cstdint>

inline constexpr const char* kOtherPortClass = "otherport";

// Draws the whole content of preview control `controlId` through its widget.
using DlgPaintCallback = void (*)(int32_t controlId);

// Raised while a preview control paints (its callback runs).
extern bool PortPaintInProgress;

class oDlgWidget : public oWidget {
public:
    // Binds the widget to `item`: zone = the item's client rectangle with the origin at its
    // top-left; the widget goes into the item's window user data.
    oDlgWidget(plat::HWND item, DlgPaintCallback paint);
    ~oDlgWidget() override;

    // The cursor position relative to the item.
    virtual void cursorPoint(int32_t& x, int32_t& y);

    plat::HWND item() const { return m_item; }
    // The item's point of the last press on it (item coordinates).
    oPoint pressPoint() const { return m_press; }
    void setPressPoint(oPoint point) { m_press = point; }
    int32_t controlId() const { return m_controlId; }
    DlgPaintCallback paintCallback() const { return m_paint; }

private:
    plat::HWND m_item = nullptr;
    int32_t m_controlId = 0;
    DlgPaintCallback m_paint = nullptr;
    oPoint m_press{};
};

// Registers the "otherport" class (once; later calls do nothing): double clicks, the window colour
// as background, no class cursor. True when the class is registered.
bool RegisterOtherPortClass();
plat::LRESULT OtherPortWndProc(plat::HWND hwnd, plat::UINT message, plat::WPARAM wParam,
                               plat::LPARAM lParam);

// A new widget for item `controlId` of CurrentDialog, or null when the dialog has no such item.
// The dialog deletes it when it is destroyed.
oDlgWidget* CreateDlgWidgetForItem(int32_t controlId, DlgPaintCallback paint);
// The widget bound to a window, or null.
oDlgWidget* DlgWidgetOfItem(plat::HWND item);
