// The graph port interface: every measurement and every drawing goes through oMeasurePort and
// oGraphPort, so one layout serves screen, bitmap, picture, printer and PostScript output.
// Also the shared value types Zone and Color, the zone operations, pixel formats and a few small
// drawing routines built purely on the interface.
#pragma once

#include <cstdint>
#include <memory>

// Declared by the device-context layer, the drawing layer and the pixel maps; the interface only
// passes them through.
struct PortDevice;
class GdiObjectRef;
class oPixMap;

// ---------------------------------------------------------------------------------------------
// Value types

struct oPoint {
    int32_t x = 0;
    int32_t y = 0;
};

// A plain four-integer rectangle (left, top, right, bottom).
struct oRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// Left and top inclusive, right and bottom exclusive. ref1 and ref2 are distances down from the
// top edge: ref1 to the axis line on which rows align their items, ref2 to the baseline.
struct Zone {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t ref1 = 0;
    int32_t ref2 = 0;

    int32_t width() const { return right - left; }
    int32_t height() const { return bottom - top; }
    friend bool operator==(const Zone&, const Zone&) = default;
};

struct Color {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    uint8_t a = 255;
    friend bool operator==(const Color&, const Color&) = default;
};

// The shared colours, in their fixed order.
inline constexpr Color kColorWhite{255, 255, 255, 255};     // default background
inline constexpr Color kColorLightGrey{191, 191, 191, 255}; // grid lines
inline constexpr Color kColorGrey220{220, 220, 220, 255};
inline constexpr Color kColorGrey127{127, 127, 127, 255};
inline constexpr Color kColorGrey64{64, 64, 64, 255};
inline constexpr Color kColorBlack{0, 0, 0, 255}; // default foreground
inline constexpr Color kColorRed{255, 0, 0, 255};
inline constexpr Color kColorYellow{255, 255, 0, 255};
inline constexpr Color kColorGreen{0, 255, 0, 255};
inline constexpr Color kColorCyan{0, 255, 255, 255};
inline constexpr Color kColorBlue{0, 0, 255, 255};
inline constexpr Color kColorMagenta{255, 0, 255, 255};
inline constexpr Color kColorBrown{124, 47, 26, 255};
inline constexpr Color kColorSlate{100, 118, 131, 255};
inline constexpr Color kColorKhaki{171, 173, 111, 255};
inline constexpr Color kColorGrey102{102, 102, 102, 255};
inline constexpr int kSharedColorCount = 16;
extern const Color kSharedColors[kSharedColorCount];

// The drawing code's current colours for the structure display: the light and dark outline of
// rows, and the background behind an expression shown with its structure. They start as fixed
// greys and follow the system colours once the window layer has read them (UseSystemColors).
extern Color RowOutlineColors[2];
extern Color StructureBackgroundColor;

// Six metric words of a font at one resolution: line height h, ascent, descent, line spacing,
// half height and quarter height.
struct FontMetricWords {
    int32_t lineHeight = 0;
    int32_t ascent = 0;
    int32_t descent = 0;
    int32_t lineSpacing = 0;
    int32_t halfHeight = 0;
    int32_t quarterHeight = 0;
};

// ---------------------------------------------------------------------------------------------
// Resolution: device units per 16 points.

// A device of d dots per inch: (2 × d + 4) / 9, so 16 at 72 dpi and 21 at 96 dpi.
constexpr int32_t ResolutionForDpi(int32_t dpi) {
    return (2 * dpi + 4) / 9;
}
// A length of p points in device units at a resolution.
constexpr int32_t PointsToDevice(int32_t points, int32_t resolution) {
    return (points * resolution + 8) / 16;
}
// The hairline pen width: 1 on a screen, larger on printers.
constexpr int32_t LineUnitFor(int32_t resolution) {
    return (resolution + 8) / 16;
}

// ---------------------------------------------------------------------------------------------
// Framework root: every class of the framework and of the expression model derives from it, and
// `clone` is the first virtual operation everywhere.

class oObject {
public:
    oObject() = default;
    virtual oObject* clone() const = 0;
    virtual ~oObject() = default;

protected:
    oObject(const oObject&) = default;
    oObject& operator=(const oObject&) = default;
};

// ---------------------------------------------------------------------------------------------
// Text measuring and device records are supplied by the platform-facing layers at start-up, so
// that this interface stays portable. Until a provider is installed, text measures 0 wide and
// logs, and ports have no device record.

class oMeasurePort;

class oTextMeasurer {
public:
    virtual ~oTextMeasurer() = default;
    virtual int32_t stringWidth(oMeasurePort& port, const char* text, int32_t font) = 0;
    virtual void measureString(oMeasurePort& port, const char* text, int32_t font,
                               Zone& record) = 0;
    virtual void stringEdges(oMeasurePort& port, const char* text, int32_t font, int32_t& left,
                             int32_t& right, int32_t& overhang) = 0;
    virtual void fontMetrics(int32_t font, int32_t resolution, FontMetricWords& words) = 0;
};

// The provider is borrowed; pass nullptr to remove it.
void SetTextMeasurer(oTextMeasurer* measurer);
oTextMeasurer* GetTextMeasurer();

// Device records are counted by the device-context layer; a port makes its record through these
// and releases it in its destructor.
struct PortDeviceHooks {
    PortDevice* (*make)(int32_t kind) = nullptr;
    void (*addRef)(PortDevice* device) = nullptr;
    void (*release)(PortDevice* device) = nullptr;
};
void SetPortDeviceHooks(const PortDeviceHooks& hooks);
const PortDeviceHooks& GetPortDeviceHooks();

// ---------------------------------------------------------------------------------------------
// oMeasurePort: a port that can only measure text.

class oMeasurePort : public oObject {
public:
    // Makes its own device record (kind 0, no window) when the device layer is installed.
    oMeasurePort(int32_t resolution, uint8_t flag);

    // Virtual operations, in slot order.
    oMeasurePort* clone() const override;
    virtual int32_t stringWidth(const char* text, int32_t font);
    virtual void measureString(const char* text, int32_t font, Zone& record);
    virtual void stringEdges(const char* text, int32_t font, int32_t& left, int32_t& right,
                             int32_t& overhang);
    virtual void unsetPort();
    virtual void setPort();
    ~oMeasurePort() override;
    // After the slots: the six metric words of a font at this port's resolution.
    virtual void fontMetrics(int32_t font, FontMetricWords& words);

    int32_t resolution() const { return m_resolution; }
    int32_t lineUnit() const { return m_lineUnit; }
    uint8_t flag() const { return m_flag; }
    PortDevice* device() const { return m_device; }

    oMeasurePort& operator=(const oMeasurePort&) = delete;

protected:
    // A copy shares the device record and takes a reference to it.
    oMeasurePort(const oMeasurePort& other);
    // Sets the resolution and the line unit that follows from it.
    void setResolution(int32_t resolution);
    // Replaces the device record; the port takes over the caller's reference.
    void adoptDevice(PortDevice* device);

    PortDevice* m_device = nullptr;
    int32_t m_resolution = 16;
    int32_t m_lineUnit = 1;
    uint8_t m_flag = 0;
};

// Makes a measuring port with that resolution and flag (the flag is carried for the creator).
std::unique_ptr<oMeasurePort> NewMeasurePort(int32_t resolution, uint8_t flag);

// ---------------------------------------------------------------------------------------------
// oGraphPort: adds lines, shapes, images and pixel blocks. The base operations log the
// assertion "oGr::" plus their name and do nothing; concrete ports override them.

// Line styles and drawing modes of startDeluxeLine, frameZone and paintPolygon.
inline constexpr int32_t kLineSolid = 0;
inline constexpr int32_t kDrawPaint = 1;
inline constexpr int32_t kDrawXor = 2;

class oGraphPort : public oMeasurePort {
public:
    // Installs the operations only; concrete ports fill the fields.
    oGraphPort();

    // Slots 1-7 kept; overridden here only to assert.
    oGraphPort* clone() const override = 0;
    void unsetPort() override;
    void setPort() override;
    ~oGraphPort() override;

    // 8: drawDeluxeString with the foreground colour and flag 1.
    virtual void drawString(const char* text, int32_t font, int32_t x, int32_t y);
    // 9: a string at a baseline point; a null colour means the foreground.
    virtual void drawDeluxeString(const char* text, int32_t font, int32_t x, int32_t y,
                                  const Color* color, int32_t flag);
    // 10: turned text; angle in hundredths of a degree.
    virtual void drawRotatedString(const char* text, int32_t font, int32_t x, int32_t y,
                                   const Color* color, int32_t flag, int32_t angle);
    // 11: double-byte text, same arguments as drawRotatedString.
    virtual void drawAsianString(const char* text, int32_t font, int32_t x, int32_t y,
                                 const Color* color, int32_t flag, int32_t angle);
    // 12: opens a line drawing; mode 2 draws by exclusive-or, any other value paints.
    virtual void startDeluxeLine(int32_t width, const Color& color, int32_t style, int32_t mode);
    // 13: startDeluxeLine(width, foreground, solid, paint).
    virtual void startLine(int32_t width);
    virtual void moveTo(int32_t x, int32_t y); // 14
    virtual void move(int32_t dx, int32_t dy); // 15
    virtual void lineTo(int32_t x, int32_t y); // 16
    virtual void line(int32_t dx, int32_t dy); // 17
    virtual void dotAt(int32_t x, int32_t y);  // 18
    // 19: an arc through the corner (x1, y1) towards (x2, y2) with that radius.
    virtual void arct(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t radius);
    virtual void endLine();                                       // 20
    virtual void paintZone(const Zone& zone, const Color& color); // 21
    virtual void eraseZone(const Zone& zone);                     // 22
    virtual void eraseArea(const GdiObjectRef& area);             // 23
    // 24: a filled polygon, or an open polyline when fill is null.
    virtual void paintPolygon(int32_t count, const oPoint* points, const Color* fill, int32_t mode,
                              int32_t outline, int32_t extra);
    // 25
    virtual void frameZone(const Zone& zone, int32_t width, const Color& color, int32_t style,
                           int32_t mode);
    // 26: a filled ellipse inscribed in the zone, in the foreground colour.
    virtual void paintCircle(const Zone& zone);
    // 27: one or more integral signs starting in zone, step apart, with an optional ring.
    virtual void integralSign(const Zone& zone, int32_t step, int32_t count, int32_t flags,
                              int32_t width, int32_t orientation);
    // 28: a curved horn tapering from a base of that width; direction is the corner code 1-4.
    virtual void paintHorn(const Zone& zone, int32_t width, int32_t direction, int32_t vertical);
    // 29: whether a block of that size at (x, y) lies inside the port; false here.
    virtual bool fitsInside(int32_t x, int32_t y, int32_t width, int32_t height);
    virtual void savePix(int32_t x, int32_t y, oPixMap& pixmap);                         // 30
    virtual void restorePix(int32_t x, int32_t y, oPixMap& pixmap);                      // 31
    virtual void restoreStretch(const Zone& zone, oPixMap& pixmap, int32_t stretchMode); // 32
    // 33
    virtual void restoreColorize(int32_t x, int32_t y, oPixMap& pixmap, const Color& foreground,
                                 const Color& background);
    // 34: an icon or bitmap resource.
    virtual void drawImage(int32_t resourceId, const Zone& zone, const Color& foreground,
                           const Color& background, int32_t mode);
    // 35
    virtual void stretchImage(int32_t resourceId, const Zone& zone);
    // 36: clip = bounds ∩ zone; null restores the clip to the bounds.
    virtual void clipToZone(const Zone* zone);
    // 37: null takes the default (black foreground, white background).
    virtual void setColors(const Color* foreground, const Color* background);
    // 38: debugging aid: ticks and positions every 25 units down both side edges.
    virtual void drawRuler();

    int32_t originX() const { return m_originX; }
    int32_t originY() const { return m_originY; }
    int32_t width() const { return m_width; }
    int32_t height() const { return m_height; }
    const Zone& bounds() const { return m_bounds; }
    const Zone& clip() const { return m_clip; }
    const Color& foreColor() const { return m_foreColor; }
    const Color& backColor() const { return m_backColor; }

protected:
    oGraphPort(const oGraphPort& other) = default;

    int32_t m_originX = 0; // device origin offset added to every coordinate handed to the device
    int32_t m_originY = 0;
    int32_t m_width = 0;
    int32_t m_height = 0;
    Zone m_bounds;
    Zone m_clip;
    Color m_foreColor = kColorBlack;
    Color m_backColor = kColorWhite;
};

// ---------------------------------------------------------------------------------------------
// Zone operations (all values signed).

// Zeroes the edges and ref1; ref2 is left as it was.
void ZoneClear(Zone& zone);
// Stores the edges; ref1 and ref2 only when positive, else the old values stay.
void ZoneSet(Zone& zone, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t ref1,
             int32_t ref2);
// Moves the edges; the reference lines move with the zone.
Zone& ZoneOffset(Zone& zone, int32_t dx, int32_t dy);
// Shrinks by dx on each side and dy at top and bottom; ref1 and ref2 drop with the top edge.
Zone& ZoneInset(Zone& zone, int32_t dx, int32_t dy);
// Moves the zone to a new top-left, keeping its size.
Zone& ZoneMoveTo(Zone& zone, int32_t left, int32_t top);
// Moves the zone so that its left edge is at x and its axis line (ref1) at y.
Zone& ZoneMoveToAxis(Zone& zone, int32_t x, int32_t y);
bool ZoneIsEmpty(const Zone& zone);
bool ZoneContainsPoint(const Zone& zone, oPoint point);
bool ZoneContainsZone(const Zone& outer, const Zone& inner);
// The smallest zone covering both; ref1 and ref2 become 0.
void ZoneUnion(const Zone& a, const Zone& b, Zone& result);
// The overlap; true only when it is not empty. ref1 and ref2 of the result are not written.
bool ZoneIntersect(const Zone& a, const Zone& b, Zone& result);
// Moves the point into [left, right] × [top, bottom], edges included.
oPoint ClampPointToZone(const Zone& zone, oPoint point);
// Pulls each edge of the zone in to the near edge of the obstacle when that lies strictly between
// the edge and the point.
void ClampZoneToObstacles(Zone& zone, oPoint point, const Zone& obstacle);
// The zone moved into the area, then shrunk only where it is still longer than the area; a zone
// that lies inside, no side below its minimum, is kept as it is. No side ends shorter than its
// minimum: a side below it grows to it, and when the area itself is shorter the zone starts at the
// area's near edge.
Zone FitZoneInside(const Zone& zone, const Zone& area, int32_t minWidth, int32_t minHeight);
// Fits a pop-up (the area itself when null) into the part of the area beside an obstacle.
void PlaceZoneBeside(const Zone& area, const Zone* obstacle, const Zone* popup, Zone& result,
                     int32_t minWidth, int32_t minHeight, int32_t maxWidth, int32_t maxHeight);
oRect ZoneToRect(const Zone& zone);
// ref1 and ref2 become the rectangle's bottom.
Zone ZoneFromRect(const oRect& rect);

// ---------------------------------------------------------------------------------------------
// Colours and pixel formats.

Color Rgb332ToRgba(uint8_t packed);
uint8_t RgbaToRgb332(const Color& color);

// Bits 6-7, 4-5 and 2-3 give the byte position of red, green and blue in a 32-bit pixel, bits 0-1
// that of alpha; the flags below give alpha and the depth (tested 32, 8, 16, 24 in that order;
// none is 1 bit deep).
using PixelFormat = uint32_t;
inline constexpr PixelFormat kPixelHasAlpha = 0x400;
inline constexpr PixelFormat kPixelDepth32 = 0x200;
inline constexpr PixelFormat kPixelDepth8 = 0x800;
inline constexpr PixelFormat kPixelDepth16 = 0x1000;
inline constexpr PixelFormat kPixelDepth24 = 0x100;
inline constexpr PixelFormat kPixelMonochrome = 0;            // for NewPixMap
inline constexpr PixelFormat kPixelScreenCompatible = 0x8000; // for NewPixMap

constexpr int PixelRedPosition(PixelFormat code) {
    return (code >> 6) & 3;
}
constexpr int PixelGreenPosition(PixelFormat code) {
    return (code >> 4) & 3;
}
constexpr int PixelBluePosition(PixelFormat code) {
    return (code >> 2) & 3;
}
constexpr int PixelAlphaPosition(PixelFormat code) {
    return code & 3;
}
constexpr bool PixelHasAlpha(PixelFormat code) {
    return (code & kPixelHasAlpha) != 0;
}
int32_t PixelBitsPerPixel(PixelFormat code);
int32_t PixelBytesPerPixel(PixelFormat code);
// ((bits per pixel × width + 31) / 32) × 4.
int32_t PixelRowStride(PixelFormat code, int32_t width);

uint32_t PackPixel(const Color& color, PixelFormat code);
void UnpackPixel(uint32_t pixel, PixelFormat code, Color& color);
// Every component position one byte up (or down), modulo 4; alpha only when present.
PixelFormat PixelFormatShiftUp(PixelFormat code);
PixelFormat PixelFormatShiftDown(PixelFormat code);

using PixelConverter = void (*)(uint8_t* dst, PixelFormat dstCode, const uint8_t* src,
                                PixelFormat srcCode);
// Copies red, green, blue and alpha (255 when the source has none) between the two layouts.
void ConvertPixelColors(uint8_t* dst, PixelFormat dstCode, const uint8_t* src, PixelFormat srcCode);
// Writes the source's red byte into the destination's alpha position (an alpha mask from grey).
void ConvertPixelToAlpha(uint8_t* dst, PixelFormat dstCode, const uint8_t* src,
                         PixelFormat srcCode);
// Visits rows × columns pixels, each side stepping by its own bytes per pixel and row step.
// Refuses (false, nothing written) a copy whose rows do not fit either side's row step.
bool CopyPixels(uint8_t* dst, int32_t dstRowStep, PixelFormat dstCode, const uint8_t* src,
                int32_t srcRowStep, PixelFormat srcCode, int32_t columns, int32_t rows,
                PixelConverter converter);

// ---------------------------------------------------------------------------------------------
// Drawing routines built on the interface.

// Shows a pixmap magnified with a grid over the port's bounds. The pixmap is handed on to the
// port only; the caller gives its size and pixel format.
void DrawGridLines(oGraphPort& port, oPixMap* pixmap, int32_t pixWidth, int32_t pixHeight,
                   PixelFormat format);
// The pixel of a pixmap under a point of a pane of that size.
oPoint PixelUnderPoint(oPoint point, int32_t paneWidth, int32_t paneHeight, int32_t pixWidth,
                       int32_t pixHeight);
// The grid cell that DrawGridLines shows for pixel (x, y) inside zone.
Zone PixelGridCell(const Zone& zone, int32_t pixWidth, int32_t pixHeight, int32_t x, int32_t y);

// Draws text broken into lines that fit the zone's width; returns the y just below the text
// (zone top + (lines + 3) × line height), which is also left in WrappedTextBottom.
int32_t WrapTextToWidth(oGraphPort& port, const char* text, int32_t font, const Zone& zone);
int32_t WrapTextToWidthColored(oGraphPort& port, const char* text, int32_t font, const Zone& zone,
                               const Color* color, int32_t flag);
inline constexpr int kWrapTextMaxLines = 100;
extern int32_t WrappedTextBottom;

// Maps an accented Windows-1252 letter to its plain letter; every other byte is unchanged.
unsigned char FoldAccent(unsigned char c);
