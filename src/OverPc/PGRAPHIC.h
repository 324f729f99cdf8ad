// The drawing layer under the native ports: start-up and shutdown of graphics, the screen's
// capabilities and the system colour table, shared GDI handles and region holders, the XOR brush,
// the program-wide line drawing, masked blits and a few framed shapes. The oNativePort drawing
// operations themselves are defined here too.
#pragma once

#include "OverSrcs/oGraph.h"
#include "plat/Gdi.h"
#include "plat/Types.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class oNativePort;
class VirtualDc;

// ---------------------------------------------------------------------------------------------
// Shared GDI handles

// A shared, counted GDI handle: copies share one record; the last release deletes the handle.
// Every live holder with a record is entered in a program-wide set.
class GdiObjectRef {
public:
    GdiObjectRef() = default;
    // Takes over the handle (null gives an empty holder).
    explicit GdiObjectRef(plat::HGDIOBJ handle);
    GdiObjectRef(const GdiObjectRef& other);
    GdiObjectRef& operator=(const GdiObjectRef& other);
    ~GdiObjectRef();

    // Drops this holder's share; the holder is empty afterwards.
    void release();
    plat::HGDIOBJ handle() const;
    // Replaces the shared handle for every copy (the old one is deleted).
    void replace(plat::HGDIOBJ handle);
    int32_t useCount() const;
    explicit operator bool() const { return handle() != nullptr; }

private:
    struct Shared {
        int32_t count = 0;
        plat::HGDIOBJ handle = nullptr;
    };
    void attach(Shared* shared);
    Shared* m_shared = nullptr;
};

// Number of live holders in the program-wide set.
std::size_t LiveGdiObjectRefs();

// Region holders.
GdiObjectRef RegionFromZone(const Zone* zone);
GdiObjectRef RegionFromHandle(plat::HRGN region);
// XORs a zone into the region (the handle is replaced).
void RegionXorZone(GdiObjectRef& region, const Zone& zone);
void RegionOffset(GdiObjectRef& region, int32_t dx, int32_t dy);
void InvertRegionInPort(GdiObjectRef& region, oNativePort& port);
void FrameRegionInPort(GdiObjectRef& region, oNativePort& port, int32_t width);

// ---------------------------------------------------------------------------------------------
// Screen capabilities and system colours

struct ScreenCaps {
    int32_t colorClass = 255;
    int32_t logicalDpiX = 96;
    int32_t logicalDpiY = 96;
    int32_t logicalDpi = 96;
    int32_t physicalDpiX = 96;
    int32_t physicalDpiY = 96;
    int32_t physicalDpi = 96;
    int32_t logicalResX = 21;
    int32_t logicalResY = 21;
    int32_t physicalResX = 21;
    int32_t physicalResY = 21;
    int32_t logicalUnitX = 1;
    int32_t logicalUnitY = 1;
    int32_t physicalUnitX = 1;
    int32_t physicalUnitY = 1;
    int32_t screenResolution = 21;
    int32_t screenLineUnit = 1;
    int32_t pixelWidth = 0;
    int32_t pixelHeight = 0;
};

// Reads the capabilities from a "DISPLAY" DC (colour class, dots per inch, resolutions and line
// units, pixel size); builds the application palette on 2 to 8 bits with a palette.
void InitScreenCaps(plat::HDC display);
const ScreenCaps& GetScreenCaps();

// The system colour table: 34 slots, in this order of system colour indices (1, 15 and 16 twice,
// 20 four times, 25 left out).
inline constexpr int kSysColorSlots = 34;
inline constexpr int kSysColorSlotIndex[kSysColorSlots] = {
    0,  1,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
    15, 16, 16, 17, 18, 19, 20, 20, 20, 20, 21, 22, 23, 24, 26, 27, 28};
// Named slots that readers use.
inline constexpr int kSysSlotWindow = 6;
inline constexpr int kSysSlotWindowText = 9;
inline constexpr int kSysSlotHighlight = 14;
inline constexpr int kSysSlotHighlightText = 15;
inline constexpr int kSysSlotButtonFace = 16;
inline constexpr int kSysSlotButtonShadow = 18;
extern Color SysColors[kSysColorSlots];
void InitSysColors();

// ---------------------------------------------------------------------------------------------
// Start-up and shutdown

// Optional start-up steps that belong to the font manager: starting it with the "DISPLAY" DC,
// and starting the font table.
struct GraphicsFontHooks {
    void (*startFonts)(plat::HDC display) = nullptr;
    void (*startFontTable)() = nullptr;
};
void SetGraphicsFontHooks(const GraphicsFontHooks& hooks);

void InitGraphics();
void ShutdownGraphics();
// The program-wide screen measure port (null before InitGraphics) and its remaking for the
// current screen resolution.
oMeasurePort* ScreenMeasurePort();
void RemakeScreenMeasurePort();

// ---------------------------------------------------------------------------------------------
// Brushes and the line drawing

// The 8 × 8 pattern bitmap of resource id 512 to 527 (null for another id).
plat::HBITMAP GetPatternBitmap(int32_t id);
// The one exclusive-or brush: on the first call the colour XOR the highlight colour; later calls
// return the same brush whatever they name.
plat::HBRUSH GetXorBrush(const Color& color);
// The colour that the widgets' exclusive-or lines use.
inline constexpr Color kXorLineColor = kColorWhite;

// Whether a line drawing is open, and by which port.
bool LineDrawingOpen();
const oNativePort* LineDrawingPort();
// Closes the open line drawing, whichever port opened it.
void CloseLineDrawing();
// The pattern orientation of a thick line from (x1, y1) to (x2, y2): 3 steep, 2 shallow, 1 rising
// diagonal, 0 falling diagonal.
int32_t LineOrientation(int32_t x1, int32_t y1, int32_t x2, int32_t y2);

// ---------------------------------------------------------------------------------------------
// Masked blits and framed shapes

// Copies a w × h block; source pixels of the transparent colour leave the destination unchanged.
void TransparentCopy(plat::HDC destination, int32_t x, int32_t y, int32_t w, int32_t h,
                     plat::HDC source, int32_t sx, int32_t sy, plat::COLORREF transparent);
void TransparentBlit(plat::HDC destination, int32_t x, int32_t y, int32_t w, int32_t h,
                     plat::HDC source, int32_t sx, int32_t sy, int32_t sw, int32_t sh,
                     plat::COLORREF transparent);
// The cut-corner frame of an owner-drawn menu item.
void DrawCutCornerFrame(oNativePort& port, const Zone& zone);

// The points of the shapes, in device coordinates, for drawing and for tests.
void IntegralGlyphPoints(const Zone& zone, int32_t penWidth, bool longStem, int32_t turn,
                         plat::POINT points[40]);
void PlainRingPoints(const Zone& ring, int32_t r, plat::POINT points[28]);
// False (nothing written) for a ring too small for the arrow.
bool ArrowRingPoints(const Zone& ring, int32_t r, bool mirror, plat::POINT points[40]);
void HornPoints(const Zone& zone, int32_t width, int32_t direction, bool vertical,
                plat::POINT points[7]);

template <class T> T* IdentityPointer(T* pointer) {
    return pointer;
}
