// Native ports, widgets and panes. oNativePort draws through the system's drawing layer; the same
// class tree carries the screen's user-interface objects: oWidget is a native port tied to a
// window, oPane a rectangular area of a window with child panes, oScrollPane a pane whose contents
// are larger than its frame, and oWindow the pane that owns a native window and hands its keyboard
// input to one target pane.
//
// Coordinates: a pane's own coordinates are its bounds. The device origin offset turns them into
// the window's client coordinates: origin = parent's origin - own bounds' top-left + zone in
// parent's top-left. A point p of the parent is p - zone-in-parent top-left + own bounds' top-left
// in the child.
//
// This header is portable: native window handles travel as an opaque integer. The drawing
// operations are defined by the drawing layer, the native parts by the windowing shell and the
// text operations by the font manager.
#pragma once

#include "OverSrcs/oGraph.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A native window handle as an opaque pointer-sized value; 0 is no window.
using WindowHandle = std::uintptr_t;

class oPane;
class oWindow;

// The screen resolution (device units per 16 points) that screen ports use; set by the drawing
// layer's start-up (21 at 96 dpi before it runs).
int32_t ScreenResolution();
// Whole screen pixels per drawing unit, at least 1: the line unit of screen ports, and the unit in
// which palette cells, list rows and grids are sized. Each axis's resolution gives its own unit,
// and the two units are averaged (rounding up): 1 at 96 dpi, 2 at 120 and 144, 3 at 192.
int32_t ScreenDrawingUnit();

// Modes of oNativePort::drawImage besides 0 (copy).
inline constexpr int32_t kImageInvert = 1;
inline constexpr int32_t kImageOverDestination = 2;
// The part of the screen windows may take (the screen less the task bar), in screen coordinates.
Zone ScreenWorkArea();

// ---------------------------------------------------------------------------------------------
// oNativePort: a port drawing on a device context that the device-context layer supplies. It adds
// no fields; its device record says which device it draws on.

class oNativePort : public oGraphPort {
public:
    // A port at the screen resolution with its own device record (kind 0, no window).
    oNativePort();

    oNativePort* clone() const override;
    // Acquire (setPort) and release (unsetPort) the port's device context for its own device
    // kind, so that a series of drawing calls shares one.
    void setPort() override;
    void unsetPort() override;
    // Closes a line drawing still open (whichever port opened it), then releases the port's
    // device contexts and its device record.
    ~oNativePort() override;

    // Text: defined by the font manager.
    void drawDeluxeString(const char* text, int32_t font, int32_t x, int32_t y, const Color* color,
                          int32_t flag) override;
    void drawRotatedString(const char* text, int32_t font, int32_t x, int32_t y, const Color* color,
                           int32_t flag, int32_t angle) override;
    void drawAsianString(const char* text, int32_t font, int32_t x, int32_t y, const Color* color,
                         int32_t flag, int32_t angle) override;

    // Lines, shapes, clip and colours: defined by the drawing layer.
    void startDeluxeLine(int32_t width, const Color& color, int32_t style, int32_t mode) override;
    void moveTo(int32_t x, int32_t y) override;
    void move(int32_t dx, int32_t dy) override;
    void lineTo(int32_t x, int32_t y) override;
    void line(int32_t dx, int32_t dy) override;
    void dotAt(int32_t x, int32_t y) override;
    void endLine() override;
    void paintZone(const Zone& zone, const Color& color) override;
    void eraseZone(const Zone& zone) override;
    void eraseArea(const GdiObjectRef& area) override;
    // The caller's points are not changed (a copy is offset by the origin). Without a fill colour
    // an open polyline is drawn in the foreground colour.
    void paintPolygon(int32_t count, const oPoint* points, const Color* fill, int32_t mode,
                      int32_t outline, int32_t extra) override;
    void frameZone(const Zone& zone, int32_t width, const Color& color, int32_t style,
                   int32_t mode) override;
    void paintCircle(const Zone& zone) override;
    void integralSign(const Zone& zone, int32_t step, int32_t count, int32_t flags, int32_t width,
                      int32_t orientation) override;
    void paintHorn(const Zone& zone, int32_t width, int32_t direction, int32_t vertical) override;
    // A native port never claims room for a pop-up.
    bool fitsInside(int32_t x, int32_t y, int32_t width, int32_t height) override;
    // Pixel blocks, defined with the pixel maps. x, y and zones are port coordinates.
    void savePix(int32_t x, int32_t y, oPixMap& pixmap) override;
    void restorePix(int32_t x, int32_t y, oPixMap& pixmap) override;
    void restoreStretch(const Zone& zone, oPixMap& pixmap, int32_t stretchMode) override;
    void restoreColorize(int32_t x, int32_t y, oPixMap& pixmap, const Color& foreground,
                         const Color& background) override;
    // A bitmap is scaled to the zone; mode 0 copies it, kImageInvert inverts the destination
    // where it is light, kImageOverDestination lets the destination show through its white.
    void drawImage(int32_t resourceId, const Zone& zone, const Color& foreground,
                   const Color& background, int32_t mode) override;
    void stretchImage(int32_t resourceId, const Zone& zone) override;
    // clip = bounds ∩ zone (the bounds without one); the region handed to the device reaches one
    // column and one row further than paintZone fills.
    void clipToZone(const Zone* zone) override;
    void setColors(const Color* foreground, const Color* background) override;

    // Moves the bounds so that their top-left is (x, y), keeping their size; the clip moves by
    // the same amount and the device origin offset becomes (-x, -y).
    void setOrigin(int32_t x, int32_t y);
    // One pixel of the device at its device position (the port's origin plays no part): set
    // means exactly black; setPixel writes black or white.
    bool isPixelSet(int32_t x, int32_t y);
    void setPixel(int32_t x, int32_t y, bool on);

    // The window this port draws on (0 when none), from its device record.
    WindowHandle windowHandle() const;

protected:
    oNativePort(const oNativePort& other) = default;
    // Sets the port fields for a drawable area of that size at the origin.
    void setDrawableSize(int32_t width, int32_t height);
};

// ---------------------------------------------------------------------------------------------
// oOutputPort: a native port over a device context it does not own (a print job's printer DC, a
// metafile being recorded). Its device record says which kind of device that is; the subclass
// that makes the port puts the borrowed DC where its kind expects it (the record's borrowed DC for
// the metafile kinds; the printer wrapper for the printer kind) and gives it back itself. Drawing
// is the native port's; setPort and unsetPort acquire and release the wrapper of the record's kind.

class oOutputPort : public oNativePort {
public:
    // A port at the screen resolution whose device record has that kind (kinds 0 to 6). Without
    // the device layer, or when no record could be made, the port has no record: check
    // hasDeviceRecord before drawing on a device it cannot reach.
    explicit oOutputPort(int32_t deviceKind);
    // An output port is tied to one borrowed device: it is never cloned (logs, returns null).
    oOutputPort* clone() const override;
    // Releases the port's DC wrappers; the borrowed DC itself is not touched.
    ~oOutputPort() override;

    // Whether a device record of the asked kind was made.
    bool hasDeviceRecord() const;
    int32_t deviceKind() const { return m_deviceKind; }

protected:
    // Sets bounds, clip, size, default colours and a zero origin for a drawable zone.
    void setOutputZone(const Zone& zone);

    int32_t m_deviceKind = 0;
};

// ---------------------------------------------------------------------------------------------
// oWidget: a native port tied to a window.

// Drag tracking callbacks: each new mouse point (widget coordinates), the last point at release,
// and (scroll panes) a call after an automatic scroll so that the caller redraws its feedback.
using DragMoveCallback = std::function<void(oPoint)>;
using DragEndCallback = std::function<void(oPoint)>;
using DragRestoreCallback = std::function<void()>;

class oWidget : public oNativePort {
public:
    oWidget();
    // Releases the widget's device-context wrappers and detaches it from its native window
    // (user data cleared, window hidden, the menu bar taken off the frame that shows it).
    ~oWidget() override;

    // Widgets and panes are never cloned: this logs and returns null.
    oWidget* clone() const override;
    void setPort() override;
    void unsetPort() override;
    // True only when the block lies inside the bounds, wholly inside the window's client area on
    // the screen with the window under all four corners, and clear of the visible placement
    // window.
    bool fitsInside(int32_t x, int32_t y, int32_t width, int32_t height) override;

    // Follows the mouse with capture while the button is down: moveCb gets each new point (and
    // the press point first when pressToo is 1), endCb the last one at release.
    virtual void trackDrag(DragMoveCallback moveCb, DragEndCallback endCb,
                           DragRestoreCallback restoreCb = nullptr, int32_t pressToo = 0);
    // Opens a line drawing by exclusive-or in the program-wide feedback colour.
    virtual void startXorLine(int32_t width);
    // Draws a string by exclusive-or in light grey (0xC0C0C0); drawn twice it leaves nothing.
    virtual void drawXorString(const char* text, int32_t font, int32_t x, int32_t y);
    // Inverts a polygon given in widget coordinates.
    virtual void invertPolygon(int32_t count, const oPoint* points);

    // Inverts the zone on the widget's window; drawn twice it restores the picture.
    void invertZone(const Zone& zone);
    // Exclusive-or fill of the zone with the highlight brush; drawn twice it restores the picture.
    void hiliteZone(const Zone& zone);
    // Told of each zone that invertZone and hiliteZone change on the window, so that a widget that
    // repaints only what changed can take those pixels in too. Nothing here.
    virtual void noteDirectInk(const Zone& zone);
    // Sets the frame and port zones from the zone, the default colours and the screen
    // resolution values.
    void setupZone(const Zone& zone);
    // Records the window in the device record (the window must outlive the widget's use of it).
    void attachWindow(WindowHandle window);
};

// ---------------------------------------------------------------------------------------------
// oPane: a rectangular area of a window with child panes.

// Anchor bits: which edges follow the parent's size.
inline constexpr uint8_t kAnchorTopToBottom = 1;
inline constexpr uint8_t kAnchorLeftToRight = 2;
inline constexpr uint8_t kAnchorBottomToBottom = 4;
inline constexpr uint8_t kAnchorRightToRight = 8;

class oPane : public oWidget {
public:
    // Installs the operations only; a pane comes to life through placeInParent or openInWindow.
    oPane();
    // Deletes each child, then unlinks the pane from its parent's child list.
    ~oPane() override;

    void setPort() override;
    void unsetPort() override;
    void clipToZone(const Zone* zone) override;

    // Operations after the widget operations, in order.
    virtual void show();
    virtual void takeFocus();
    virtual void getScreenZone(Zone& zone);
    virtual void setTitle(const char* text);
    virtual void getTitle(std::string& text);
    // zone in own coordinates; null means the whole zone in parent.
    virtual void invalidate(const Zone* zone);
    virtual bool needsDrawing(const Zone* zone);
    // During a paint of this pane's window: the bounding box of the part being painted (own
    // coordinates) and whether that part is the whole box. False outside a paint.
    virtual bool paintArea(Zone& box, bool& whole);
    // During a paint of this pane's window: whether the part being painted lies inside the zones
    // (own coordinates). False outside a paint.
    virtual bool paintInside(const std::vector<Zone>& zones);
    virtual bool close();
    virtual bool doDeadChar(int32_t character);
    virtual bool doKey(int32_t key);
    virtual bool doDoubleByteChar(int32_t character);
    virtual void infoAtPoint(oPoint point, int32_t& cursorKind, int32_t& balloonInfo, Zone& zone);
    virtual void click(oPoint point);
    virtual void contextClick(oPoint point);
    virtual bool canClose();
    virtual void resize(int32_t dx, int32_t dy);
    virtual void updateOrigin();
    virtual void draw();
    virtual void drawWith(std::intptr_t argument);
    virtual void activate();
    virtual void deactivate();
    virtual void becomeFront();
    virtual void resignFront();
    virtual void idle();
    virtual bool anyChildBusy();
    // Where an input method should show the text being composed (the caret's bottom left), in
    // the window's coordinates; false when the pane has no caret.
    virtual bool compositionPoint(oPoint& point);

    // Places the pane at `zone` (parent coordinates) as the last child of `parent`, sharing the
    // parent's device record; its own coordinates start at `origin`.
    void placeInParent(oPane* parent, const Zone& zone, oPoint origin);
    // Makes an oWindow with a native window (title, outer zone, kind flags), makes this pane its
    // target and places the pane over the window's bounds. Null when no window could be made (the
    // pane is then left unplaced and still the caller's).
    oWindow* openInWindow(const char* title, const Zone& zone, int32_t kind);
    // Passes close to the parent.
    bool forwardToParent();

    oPane* nextSibling() const { return m_nextSibling; }
    oPane* firstChild() const { return m_firstChild; }
    oPane* parent() const { return m_parent; }
    const Zone& zoneInParent() const { return m_zoneInParent; }
    uint8_t anchors() const { return m_anchors; }
    void setAnchors(uint8_t anchors) { m_anchors = anchors; }
    uint32_t parentWord() const { return m_parentWord; }
    int32_t childCount() const;
    // The first child whose zone in parent holds the point (own coordinates), or null.
    oPane* childAtPoint(oPoint point) const;
    // A point or zone of this pane's coordinates in the parent's, and back.
    oPoint toParent(oPoint point) const;
    oPoint fromParent(oPoint point) const;
    Zone zoneToParent(const Zone& zone) const;
    // The window at the top of the tree (null for an unplaced pane or the desktop).
    oWindow* window();

protected:
    // Unlinks `child` from the child list without deleting it.
    void unlinkChild(oPane* child);

    oPane* m_nextSibling = nullptr;
    oPane* m_firstChild = nullptr;
    oPane* m_parent = nullptr;
    Zone m_zoneInParent;
    uint8_t m_anchors = 0;
    uint32_t m_parentWord = 0;

    friend oPane* CreateDesktopPane();
};

// The screen's root pane: its own parent, no children, no device record, origin (0, 0).
oPane* CreateDesktopPane();
void DeleteDesktopPane();
oPane* DesktopPane();

// The front window's idle tick: calls the pane's idle when the caret blink interval has passed.
void PeriodicTick(oPane* pane);

// ---------------------------------------------------------------------------------------------
// oWindow: the pane that owns a native window.

// Window kind flags of CreateNativeWindow.
inline constexpr int32_t kWindowCaption = 1;
inline constexpr int32_t kWindowSizing = 2;
inline constexpr int32_t kWindowChildOfFrame = 4;
inline constexpr int32_t kWindowFloating = 8;
inline constexpr int32_t kWindowNoActivate = 16;

class oWindow : public oPane {
public:
    oWindow();
    // Destroys the native window (when still attached) after the pane tree.
    ~oWindow() override;

    void show() override;
    void takeFocus() override;
    void getScreenZone(Zone& zone) override;
    void setTitle(const char* text) override;
    void getTitle(std::string& text) override;
    void invalidate(const Zone* zone) override;
    // True outside a paint; during this window's paint, whether the zone meets the update region.
    bool needsDrawing(const Zone* zone) override;
    bool paintArea(Zone& box, bool& whole) override;
    bool paintInside(const std::vector<Zone>& zones) override;
    // Asks canClose; when true resigns the front and deletes the window (this object).
    bool close() override;
    // Closes the window once the message being handled is done, as its close box does: for a key
    // or a click of the window's own that must not delete the window under its handler.
    void closeSoon();
    bool doDeadChar(int32_t character) override;
    bool doKey(int32_t key) override;
    bool doDoubleByteChar(int32_t character) override;
    void becomeFront() override;
    void resignFront() override;
    void idle() override;
    bool anyChildBusy() override;
    bool compositionPoint(oPoint& point) override;
    // Creates the native window by its kind flags (zone: the outer window rectangle; a window
    // inside the frame is moved and shrunk into the frame's client area) and fills the port:
    // bounds (0, 0, client size), device record kind 0 with the window handle. False when the
    // window could not be made.
    virtual bool createNativeWindow(const char* title, const Zone& zone, int32_t kind);

    // Detaches from the native window (when it is being destroyed); the placement is kept unless
    // the window is iconic.
    void releaseNativeWindow();
    // The client area has a new size: the window's port follows and its panes resize.
    void clientResized(int32_t width, int32_t height);

    oPane* target() const { return m_target; }
    void setTarget(oPane* pane) { m_target = pane; }
    int32_t kind() const { return m_kind; }
    // The normal outer rectangle last seen (screen or frame-client coordinates by kind).
    const Zone& placement() const { return m_placement; }
    // The outer rectangle now, as createNativeWindow takes it (frame-client coordinates for a
    // window inside the frame); the last placement when there is no live window.
    Zone currentPlacement() const;

protected:
    oPane* m_target = nullptr;
    int32_t m_kind = 0;
    Zone m_placement;
};

// ---------------------------------------------------------------------------------------------
// oScrollPane: a pane whose contents are larger than its frame; its bounds' top-left is the
// scroll position.

// Width of the scroll bars that makeWindow adds.
inline constexpr int32_t kScrollBarSize = 16;

class oScrollPane : public oPane {
public:
    oScrollPane();
    // Deletes the two scroll bars.
    ~oScrollPane() override;

    // zone in content coordinates, passed to the parent without cutting it to the frame.
    void invalidate(const Zone* zone) override;
    // Draws the visible part of the contents and erases what lies outside the panorama.
    void draw() override;
    // Runs a pending redraw of the pattern pad first, then answers as a pane.
    void infoAtPoint(oPoint point, int32_t& cursorKind, int32_t& balloonInfo, Zone& zone) override;
    // Also scrolls while the mouse is dragged beyond the visible zone.
    void trackDrag(DragMoveCallback moveCb, DragEndCallback endCb,
                   DragRestoreCallback restoreCb = nullptr, int32_t pressToo = 0) override;
    // Draws the contents of a zone (content coordinates); nothing here.
    virtual void drawContents(const Zone& zone);

    // Sets the scrolled extent; point (content coordinates) or null for the bars' positions;
    // centre puts contents that fit in the middle of the frame.
    void setPanorama(int32_t width, int32_t height, const oPoint* point, bool centre);
    // Moves the scroll position by (dx, dy), clamped, and scrolls the window contents.
    void scrollBy(int32_t dx, int32_t dy);
    // Opens the pane in a window with its horizontal and vertical scroll bars; the pane's zone is
    // the client area less the bars.
    oWindow* makeWindow(const char* title, const Zone& zone, int32_t kind);
    // A scroll-bar message: bar 0 horizontal, 1 vertical; the bar code and thumb position.
    void handleScroll(int32_t bar, int32_t code, int32_t position);
    // Moves the scroll bars along the pane's zone (after a resize).
    void placeScrollBars();
    // Gives both bars the panorama as range (0 .. extent, so that the thumb reaches the last
    // position clampScroll allows), the frame as page and the scroll position.
    void syncScrollBars();

    int32_t panoramaWidth() const { return m_panoramaWidth; }
    int32_t panoramaHeight() const { return m_panoramaHeight; }
    WindowHandle horizontalBar() const { return m_hBar; }
    WindowHandle verticalBar() const { return m_vBar; }
    // The scroll position that setPanorama and scrollBy allow on one axis.
    static int32_t clampScroll(int32_t position, int32_t extent, int32_t frame);

protected:
    int32_t m_panoramaWidth = -1;
    int32_t m_panoramaHeight = -1;
    bool m_centring = false;
    WindowHandle m_hBar = 0;
    WindowHandle m_vBar = 0;
};

// Set by the commands layer: true when the pattern pad waits for a redraw, which it then runs.
void SetPatternPadRedrawHook(bool (*hook)());
