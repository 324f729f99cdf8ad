// Device contexts and the port-to-DC map. Native ports never hold a device context themselves:
// each points to a small device record saying what kind of device it draws on, and asks this layer
// for a DC wrapper when it draws. Wrappers are cached per device kind and shared by reference
// count, so a series of drawing calls on one window gets the window's DC once, and the panes of
// one window share their window's wrapper. This layer also owns the paint DC of a paint cycle, the
// application palette, the printer-DC service calls and the flattening of Bézier curves for
// metafiles.
#pragma once

#include "OverSrcs/oGraph.h"
#include "plat/Font.h"
#include "plat/Gdi.h"
#include "plat/Types.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class oNativePort;

// ---------------------------------------------------------------------------------------------
// Device records

inline constexpr int32_t kDeviceDisplay = 0;
inline constexpr int32_t kDeviceMemory = 1;
inline constexpr int32_t kDevicePrinter = 2;
inline constexpr int32_t kDeviceListbox = 3;
inline constexpr int32_t kDeviceMetafile = 4;
inline constexpr int32_t kDeviceEnhMetafile = 5;
inline constexpr int32_t kDeviceUnknown = 6;
inline constexpr int32_t kDeviceKindCount = 7;
// Asked of AcquirePortDc: the port's own kind (0 without a record).
inline constexpr int32_t kDeviceOwnKind = 7;

// One per native port, or shared by the panes of a window; counted in the reference map.
struct PortDevice {
    int32_t kind = kDeviceDisplay;
    // Widgets, panes and windows: their window.
    plat::HWND window = nullptr;
    // The creator's word. Memory ports keep the id of the bitmap their DC selects here.
    uint32_t creatorWord = 0;
    // List-box and metafile kinds: the DC they borrow.
    plat::HDC borrowedDc = nullptr;

    // Count one more holder. A record missing from the map logs an assertion and changes
    // nothing; a null record is ignored.
    static void addRef(PortDevice* device);
    // Count one holder fewer; at zero the record is freed and leaves the map.
    static void release(PortDevice* device);
};

// Some ports carry a marker instead of a record (-1, -111). Those, like null, have no record:
// they draw on the screen's DC and release nothing.
bool HasDeviceRecord(const PortDevice* device);
// A new record with count 1.
PortDevice* NewPortDevice(int32_t kind);
// The count of a record in the map; 0 when it is not there.
int32_t PortDeviceRefCount(const PortDevice* device);
// Installs the record functions for every port (once at start-up; harmless to repeat).
void InstallPortDeviceHooks();
// The kind a port draws with: its record's, or kDeviceDisplay without one.
int32_t PortDeviceKind(const oMeasurePort* port);
// The memory kind's bitmap in a record.
void SetPortDeviceBitmap(PortDevice* device, plat::HBITMAP bitmap);
plat::HBITMAP PortDeviceBitmap(const PortDevice* device);

// ---------------------------------------------------------------------------------------------
// DC wrappers

// Colours as the device takes them: palette-relative RGB, and the plain form used by the thick
// line's brush, text colours and horns.
plat::COLORREF ColorToPaletteRgb(const Color& color);
plat::COLORREF ColorToRgb(const Color& color);

struct TextExtent {
    int32_t width = 0;
    int32_t height = 0;
};

class VirtualDc {
public:
    VirtualDc(oMeasurePort* owner, plat::HDC dc);
    virtual ~VirtualDc();
    VirtualDc(const VirtualDc&) = delete;
    VirtualDc& operator=(const VirtualDc&) = delete;

    // Whether this wrapper serves the port: the base compares the owner.
    virtual bool isFor(const oMeasurePort* port) const;
    virtual void selectClip(plat::HRGN region);
    // Text at a baseline point (modes 0 and 1: transparent, in the colour; other modes: by
    // exclusive-or); clip, when given, cuts it. length -1: up to the terminating zero.
    virtual void drawText(const char* text, int32_t length, int32_t x, int32_t y,
                          const Color& color, const plat::RECT* clip, int32_t mode);
    // The text's width and height in device units.
    virtual TextExtent textExtent(const char* text, int32_t length);
    virtual bool blitFrom(int32_t x, int32_t y, int32_t w, int32_t h, plat::HDC source, int32_t sx,
                          int32_t sy, plat::DWORD rop);
    virtual bool blitTo(plat::HDC destination, int32_t x, int32_t y, int32_t w, int32_t h,
                        int32_t sx, int32_t sy, plat::DWORD rop);
    virtual bool stretchFrom(int32_t x, int32_t y, int32_t w, int32_t h, plat::HDC source,
                             int32_t sx, int32_t sy, int32_t sw, int32_t sh, plat::DWORD rop);
    virtual bool stretchTo(plat::HDC destination, int32_t x, int32_t y, int32_t w, int32_t h,
                           int32_t sx, int32_t sy, int32_t sw, int32_t sh, plat::DWORD rop);
    virtual plat::COLORREF nearestColor(const Color& color);
    virtual plat::COLORREF getPixel(int32_t x, int32_t y);
    // Device coordinates.
    virtual void invertZone(const Zone& zone);
    // The icon with its top-left at (x, y), device coordinates; its pixels of alpha 128 and more
    // draw, the others leave the DC alone. False for an unknown icon.
    virtual bool drawIcon(int32_t x, int32_t y, plat::HICON icon);
    // Plays the picture so that its frame fills rect (device coordinates).
    virtual bool playEnhMetaFile(plat::HENHMETAFILE metafile, const plat::RECT& rect);
    // Plays a Windows metafile with the DC's own mapping.
    virtual bool playMetaFile(plat::HMETAFILE metafile);
    virtual plat::HDC createCompatible();
    virtual void fillBezier(const plat::POINT* points, int32_t count);
    virtual void strokeBezier(const plat::POINT* points, int32_t count);

    // Blits between this DC and another port's (each acquires that port's DC for the call).
    bool blitToPort(oMeasurePort* port, int32_t x, int32_t y, int32_t w, int32_t h, int32_t sx,
                    int32_t sy, plat::DWORD rop);
    bool blitFromPort(int32_t x, int32_t y, int32_t w, int32_t h, oMeasurePort* port, int32_t sx,
                      int32_t sy, plat::DWORD rop);
    bool stretchFromPort(int32_t x, int32_t y, int32_t w, int32_t h, oMeasurePort* port, int32_t sx,
                         int32_t sy, int32_t sw, int32_t sh, plat::DWORD rop);

    // Drawing helpers of the drawing layer (device coordinates).
    // A thick line as a filled polygon in the wrapper's colour, width and style.
    void drawThickLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    // Filled without a pen: exactly left <= x < right, top <= y < bottom.
    void drawRect(const Zone& zone);
    void frameRect(const Zone& zone);
    // With fill, a solid brush of the wrapper's colour; the outline pen is 1 pixel of penColor.
    void drawPolygon(const plat::POINT* points, int32_t count, bool fill, const Color& penColor);
    void fillHorn(const Zone& zone, int32_t direction, bool vertical);
    // turn 0: upright; positive or negative: the upright figure turned a quarter about the
    // zone's centre.
    void fillIntegralGlyph(const Zone& zone, bool longStem, int32_t turn);
    void frameRegion(plat::HRGN region, int32_t width);
    // R2_XORPEN for mode 2, else R2_COPYPEN.
    void setRopByMode(int32_t mode);

    oMeasurePort* owner() const { return m_owner; }
    plat::HDC hdc() const { return m_dc; }

    Color m_color = kColorBlack;
    Color m_color2 = kColorWhite;
    int32_t m_style = 0;
    int32_t m_width = 1;

protected:
    oMeasurePort* m_owner = nullptr;
    plat::HDC m_dc = nullptr;
};

class DisplayDc : public VirtualDc {
public:
    explicit DisplayDc(oMeasurePort* owner);
    ~DisplayDc() override;
    // Every port on the same window (or every port without one) is served.
    bool isFor(const oMeasurePort* port) const override;
    plat::HWND window() const { return m_window; }

private:
    plat::HWND m_window = nullptr;
    plat::HPALETTE m_oldPalette = nullptr;
};

class MemoryDc : public VirtualDc {
public:
    explicit MemoryDc(oMeasurePort* owner);
    ~MemoryDc() override;

private:
    plat::HBITMAP m_oldBitmap = nullptr;
    plat::HPALETTE m_oldPalette = nullptr;
};

class PrinterDc : public VirtualDc {
public:
    // dc: the print job's printer DC; the printer marker exists while this wrapper does.
    PrinterDc(oMeasurePort* owner, plat::HDC dc);
    ~PrinterDc() override;
    bool isFor(const oMeasurePort* port) const override;
};

class ListboxDc : public VirtualDc {
public:
    explicit ListboxDc(oMeasurePort* owner);
};

class MetafileDc : public VirtualDc {
public:
    explicit MetafileDc(oMeasurePort* owner);
    void selectClip(plat::HRGN region) override;
    TextExtent textExtent(const char* text, int32_t length) override;
    plat::HDC createCompatible() override;
    void fillBezier(const plat::POINT* points, int32_t count) override;
    void strokeBezier(const plat::POINT* points, int32_t count) override;
};

class EnhMetafileDc : public VirtualDc {
public:
    explicit EnhMetafileDc(oMeasurePort* owner);
    void selectClip(plat::HRGN region) override;
    plat::HDC createCompatible() override;
};

class UnknownDc : public VirtualDc {
public:
    explicit UnknownDc(oMeasurePort* owner);
    ~UnknownDc() override;

private:
    plat::HPALETTE m_oldPalette = nullptr;
};

// The cubic Bézier figure (first point, then three per segment) as a polyline, flattened to one
// device unit.
std::vector<plat::POINT> FlattenBezier(const plat::POINT* points, int32_t count);

// ---------------------------------------------------------------------------------------------
// The map

// The wrapper serving the port for that kind (kDeviceOwnKind: the port's own), shared and
// counted. A new wrapper for a list already holding PortDcListLimit fails with errListTooLong.
VirtualDc* AcquirePortDc(oMeasurePort* port, int32_t kind);
extern std::size_t PortDcListLimit;
// Releases the port's wrapper of its own kind; nothing when none is cached.
void ReleasePortDc(oMeasurePort* port);
// Destroys every cached wrapper of a kind whatever its count (kDeviceOwnKind: of every kind).
void DropPortDcs(int32_t kind);
// Number of cached wrappers of a kind, and the count of the one serving a port (0: none).
int32_t CachedPortDcCount(int32_t kind);
int32_t PortDcUseCount(const oMeasurePort* port);
// A dying port's wrappers that are matched by their owner go with it.
void ForgetPortDcs(const oMeasurePort* port);

// One drawing operation's use of a port's DC; released also when the operation fails.
class PortDcHolder {
public:
    explicit PortDcHolder(oMeasurePort* port);
    ~PortDcHolder();
    PortDcHolder(const PortDcHolder&) = delete;
    PortDcHolder& operator=(const PortDcHolder&) = delete;

    // The held wrapper; null once a paint or a change of paint DC has dropped it (a line drawing
    // may span such a point), so nothing draws through a destroyed wrapper.
    VirtualDc* dc() const;
    plat::HDC hdc() const {
        VirtualDc* d = dc();
        return d ? d->hdc() : nullptr;
    }
    VirtualDc* operator->() const { return dc(); }

private:
    int32_t m_kind = kDeviceDisplay;
    mutable VirtualDc* m_dc = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Paint DC, and the window being painted with its update region

plat::HDC BeginPortPaint(plat::HWND window);
void EndPortPaint(plat::HWND window);
void SetPaintDc(plat::HDC dc, int32_t kind);
void ClearPaintDc(int32_t kind);
plat::HDC CurrentPaintDc();
// Set by the pane windows' paint handling; clipToZone of that port intersects with the region.
void SetPaintRegion(const oNativePort* port, plat::HRGN region);
void ClearPaintRegion();
const oNativePort* PaintRegionPort();
plat::HRGN PaintRegion();

// ---------------------------------------------------------------------------------------------
// Printer DC service calls: through the cached printer wrapper; 0 when none is cached.

// Makes the printer wrapper for a port (kind 2) over the job's DC; the printer marker lives
// with it. Release with ReleasePortDc.
VirtualDc* AttachPrinterDc(oMeasurePort* port, plat::HDC dc);
bool PrinterMarkerExists();
int PrinterGetDeviceCaps(int index);
int PrinterLPtoDP(plat::POINT* points, int count);
// Raises the error of a failed document or page call: nothing for 1 and above and for -2.
void FailPrintError(int result);

// The print job's own calls on a printer DC, installed by the printing module. Each service call
// below runs one of them on the cached printer wrapper's DC; the document and page calls pass their
// result to FailPrintError. Without a printer wrapper (or without the call) they return 0.
struct PrinterJobCalls {
    int (*escape)(plat::HDC dc, int code, int inSize, const void* in, void* out) = nullptr;
    int (*startDoc)(plat::HDC dc, const char* documentName) = nullptr;
    int (*endDoc)(plat::HDC dc) = nullptr;
    int (*startPage)(plat::HDC dc) = nullptr;
    int (*endPage)(plat::HDC dc) = nullptr;
    int (*abortDoc)(plat::HDC dc) = nullptr;
    int (*setAbortProc)(plat::HDC dc, int (*procedure)(plat::HDC, int)) = nullptr;
};
void SetPrinterJobCalls(const PrinterJobCalls& calls);
int PrinterEscape(int code, int inSize, const void* in, void* out);
int PrinterStartDoc(const char* documentName);
int PrinterEndDoc();
int PrinterStartPage();
int PrinterEndPage();
int PrinterAbortDoc();
int PrinterSetAbortProc(int (*procedure)(plat::HDC, int));

// ---------------------------------------------------------------------------------------------
// Palettes

plat::HPALETTE AppPalette();
// Builds the application palette once (raises 454 or 455 on failure).
void BuildAppPalette();
void SetPaletteHandling(bool on);
bool PaletteHandling();
int RealizeAppPalette(plat::HWND window, plat::UINT message);
// Deletes the palettes (shutdown).
void DeleteAppPalettes();
