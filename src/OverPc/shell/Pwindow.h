// The native side of widgets, panes and windows: the pane window class and its procedure, the
// paint handling of pane windows, creating an oWindow's native window, drag tracking with its
// exclusive-or feedback, and the scroll bars of scroll panes.
#pragma once

#include "OverSrcs/oWindows.h"
#include "plat/Types.h"

#include <cstdint>

// The window class of every pane window.
inline constexpr const char* kPaneWindowClass = "KorvalinePane";
// The main frame's class, registered by the application; frames are only created by name here.
inline constexpr const char* kFrameWindowClass = "KorvalineFrame";

// Registers the pane window class (once; later calls do nothing). True when it is registered.
bool RegisterPaneWindowClass();
plat::LRESULT PaneWndProc(plat::HWND hwnd, plat::UINT message, plat::WPARAM wParam,
                          plat::LPARAM lParam);

// Paints a pane window: records the window's port and update region for clipToZone, draws the
// window inside an error environment through the paint DC, then clears both values.
void PaintPaneWindow(plat::HWND hwnd);

// The oWindow of a pane window (null for another window).
oWindow* WindowOfHandle(plat::HWND hwnd);
plat::HWND HandleOfWindow(WindowHandle window);
WindowHandle HandleToWindow(plat::HWND hwnd);

// While shown, its client area blocks fitsInside of widgets. Stays null unless a placement
// window is shown.
extern plat::HWND VisiblePlacementWindow;

// Invalidates (and erases) the window of every live widget.
void InvalidateWidgetWindows();
// Number of live widgets (panes included).
int32_t LiveWidgetCount();

// The modifier keys held at the last key event or mouse press in a pane window: Shift, Ctrl,
// Alt, Alt with Shift, Alt with Ctrl, and Caps Lock on.
inline constexpr uint32_t kModShift = 0x01;
inline constexpr uint32_t kModCtrl = 0x02;
inline constexpr uint32_t kModAlt = 0x04;
inline constexpr uint32_t kModAltShift = 0x08;
inline constexpr uint32_t kModAltCtrl = 0x10;
inline constexpr uint32_t kModCapsLock = 0x20;
extern uint32_t ModifierFlags;
// Copies the keyboard state of the current message into ModifierFlags.
void SnapshotModifierKeys();
// 1 while the second press of a double click is handed to a pane's click, else 0.
extern uint8_t DoubleClickFlag;

// While double-byte input is on, puts the input method's composition window at the window's
// caret (compositionPoint).
void PlaceCompositionWindow(oWindow* window);

// The cursor for a cursor kind of infoAtPoint: 1 text beam, 4 cross, others the arrow.
void SetCursorForKind(int32_t kind);

// Scroll-bar codes of WM_HSCROLL and WM_VSCROLL (the system's values).
inline constexpr int32_t kScrollLineUp = 0;
inline constexpr int32_t kScrollLineDown = 1;
inline constexpr int32_t kScrollPageUp = 2;
inline constexpr int32_t kScrollPageDown = 3;
inline constexpr int32_t kScrollThumbPosition = 4;
inline constexpr int32_t kScrollThumbTrack = 5;
inline constexpr int32_t kScrollTop = 6;
inline constexpr int32_t kScrollBottom = 7;
inline constexpr int32_t kScrollEnd = 8;
// Interval of automatic scrolling while dragging beyond a scroll pane.
inline constexpr uint32_t kAutoScrollTicks = 50;
