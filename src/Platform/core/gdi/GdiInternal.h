#pragma once
// The GDI module's inside, for the other core modules: the object table that every GDI object
// (pens, brushes, bitmaps, regions, palettes and the font module's fonts) lives in, and what text
// drawing needs of a DC.

#include "plat/Gdi.h"

#include <algorithm>
#include <cairo.h>
#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace plat::core {

struct Dc;

enum class GdiKind { Pen, Brush, Font, Bitmap, Region, Palette };

// Base of every GDI object. Handles index a table of these; SelectObject, DeleteObject and
// GetObject work on any kind through it.
class GdiObject {
public:
    explicit GdiObject(GdiKind kind)
        : m_kind(kind) {}
    virtual ~GdiObject() = default;
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    GdiKind kind() const { return m_kind; }
    // Stock objects are never deleted: DeleteObject of one succeeds and does nothing.
    bool isStock() const { return m_stock; }
    void setStock() { m_stock = true; }

    // GetObject: with a null buffer returns the size of the object's record; otherwise copies
    // at most `size` bytes of it and returns the bytes copied (0 when nothing fits).
    virtual int getObject(int size, void* buffer) const = 0;

private:
    GdiKind m_kind;
    bool m_stock = false;
};

// Enters an object in the table and returns its new handle (never reused while the object
// lives; a deleted handle stays stale for a long time, because the generation changes).
HGDIOBJ AddGdiObject(std::shared_ptr<GdiObject> object);

// The object behind a handle, or null for a null, stale or deleted handle. A stale or deleted
// handle writes a line to the diagnostic sink, naming `caller`.
std::shared_ptr<GdiObject> LookupGdiObject(HGDIOBJ h, const char* caller = nullptr);

// The same, checked for kind: a handle of another kind gives null and a diagnostic line.
template <class T>
std::shared_ptr<T> LookupGdiObjectAs(HGDIOBJ h, GdiKind kind, const char* caller = nullptr) {
    auto obj = LookupGdiObject(h, caller);
    if (!obj || obj->kind() != kind)
        return nullptr;
    return std::static_pointer_cast<T>(obj);
}

// Stock fonts (SYSTEM_FONT, DEFAULT_GUI_FONT, ANSI_VAR_FONT, ANSI_FIXED_FONT, OEM_FIXED_FONT,
// DEVICE_DEFAULT_FONT, SYSTEM_FIXED_FONT) are made by the font module the first time
// GetStockObject asks for one: it defines this function (in the same file as
// CreateFontIndirect), returning a font object or null. The GDI module marks the result stock.
// Until the font module defines it, a weak fallback returns null.
std::shared_ptr<GdiObject> CreateStockFontObject(int stockId);

// One line to the layer's diagnostic sink (stale handles, refused arguments).
void GdiDiagnostic(std::string_view message);
// Where the lines go; the default writes nothing. Returns the previous sink.
using GdiDiagnosticSink = void (*)(std::string_view message);
GdiDiagnosticSink SetGdiDiagnosticSink(GdiDiagnosticSink sink);

// --- What text drawing needs of a DC -------------------------------------------------------------

// A colour as the DC's target shows it: the palette flags resolved, and black or white (by
// luminance, or the nearer table entry of a 1-bpp DIB section) when the target is monochrome.
COLORREF ResolveColorForDc(HDC hdc, COLORREF color);

struct DcTextState {
    HFONT font = nullptr;    // the selected font; null only before the font module exists
    COLORREF textColor = 0;  // resolved for the target (ResolveColorForDc)
    COLORREF bkColor = 0;    // resolved for the target
    int bkMode = OPAQUE;     // OPAQUE or TRANSPARENT
    UINT textAlign = 0;      // TA_* flags
    POINT currentPosition;   // logical, for TA_UPDATECP
    bool monochrome = false; // the target is a 1-bpp bitmap
};
// FALSE for a stale or null DC.
BOOL GetDcTextState(HDC hdc, DcTextState* state);
// Moves the current position (logical), as TA_UPDATECP text output does.
BOOL SetDcCurrentPosition(HDC hdc, POINT logical);

// Logical -> device mapping of a DC: device = logical * scale + offset, per axis. Device
// coordinates are the DC's own (client pixels for a window DC), before the DC's origin in its
// surface is added. Rounding to pixels is the caller's (LPtoDP rounds half away from zero).
struct DcMapping {
    double scaleX = 1.0;
    double scaleY = 1.0;
    double offsetX = 0.0;
    double offsetY = 0.0;
};
BOOL GetDcMapping(HDC hdc, DcMapping* mapping);

// The bounding box of the rectangles drawing touched (empty ones are left out); report() hands it,
// moved to surface coordinates by `origin`, to the DC's record for the window presenter.
struct TouchedBox {
    RECT box{};
    bool any = false;
    void add(const RECT& r) {
        if (r.left >= r.right || r.top >= r.bottom)
            return;
        box = any ? RECT{std::min(box.left, r.left), std::min(box.top, r.top),
                         std::max(box.right, r.right), std::max(box.bottom, r.bottom)}
                  : r;
        any = true;
    }
    void report(Dc& dc, POINT origin) const;
};

// A Cairo context on a DC's raster target, for drawing text: its user space is the DC's device
// space (the surface origin of the DC already applied), it is clipped to the DC's effective clip
// (surface, visible region, update region and the DC's own clip region), antialiasing is off.
// ok() is false for a stale DC or a DC without a raster target; nothing may be drawn then.
// Report what was drawn with touch() (device rectangle); the destructor finishes the context,
// marks the surface dirty and records the touched rectangle for the window presenter.
class DcCairo {
public:
    explicit DcCairo(HDC hdc);
    ~DcCairo();
    DcCairo(const DcCairo&) = delete;
    DcCairo& operator=(const DcCairo&) = delete;

    bool ok() const { return m_cr != nullptr; }
    cairo_t* cr() const { return m_cr; }
    void touch(const RECT& deviceRect);

private:
    HDC m_hdc;
    cairo_t* m_cr = nullptr;
    TouchedBox m_touched;
};

// The raw pixels of a DC's raster target, for text drawn from glyph masks without Cairo. Only a
// 32-bit image surface gives them (ok() is false otherwise, and for a stale DC or one without a
// raster target). The surface is flushed for the caller's writes; the destructor marks it dirty,
// copies a DIB section's shadow back and records the touched rectangle, as DcCairo does.
class DcPixels {
public:
    explicit DcPixels(HDC hdc);
    ~DcPixels();
    DcPixels(const DcPixels&) = delete;
    DcPixels& operator=(const DcPixels&) = delete;

    bool ok() const { return m_data != nullptr; }
    unsigned char* data() const { return m_data; }
    int stride() const { return m_stride; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    // The DC's device (0, 0) in surface coordinates.
    POINT origin() const { return m_origin; }
    // The effective clip (surface, visible region, update region and the DC's own clip region)
    // as y-x banded rectangles in surface coordinates, all inside the surface.
    const std::vector<RECT>& clipRects() const { return *m_clip; }
    // A device rectangle (the DC's own space) the caller drew into.
    void touch(const RECT& deviceRect);

private:
    HDC m_hdc;
    std::shared_ptr<GdiObject> m_bitmap; // a memory DC's bitmap
    cairo_surface_t* m_surface = nullptr;
    unsigned char* m_data = nullptr;
    int m_stride = 0;
    int m_width = 0;
    int m_height = 0;
    POINT m_origin{};
    const std::vector<RECT>* m_clip = nullptr;
    TouchedBox m_touched;
};

// The device rectangle touched by drawing on a DC since it was made or since the last call, in
// surface coordinates; {0,0,0,0} when nothing was drawn. The window presenter uses it at
// ReleaseDC/EndPaint.
RECT TakeTouchedRect(HDC hdc);

// A bitmap from a packed DIB (header, colour table, bits) of `size` bytes, every count checked
// against the size; null (with a diagnostic line) for a corrupt or unsupported one. A 1-bpp DIB
// gives a monochrome bitmap, anything else a colour one.
HBITMAP BitmapFromPackedDib(const void* data, std::size_t size);

// GetDeviceCaps answers an overridden value for `index` (tests force an 8-bit palette screen
// this way) until ClearDeviceCapsOverrides.
void SetDeviceCapsOverride(int index, int value);
void ClearDeviceCapsOverrides();

// CreateDC for a driver other than "DISPLAY": the printing module makes a printer DC from the
// driver, device and output names and the device mode (null when it serves no such driver).
HDC CreatePrinterDc(const char* driver, const char* device, const char* output,
                    const void* devMode);

} // namespace plat::core
