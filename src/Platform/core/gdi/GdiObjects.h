#pragma once
// The GDI module's own object kinds and the DC record. Private to core/gdi.

#include "core/gdi/GdiInternal.h"
#include "core/win/Region.h"

#include <cairo.h>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace plat::core {

// Pixels of an RGB24 surface are 0x00RRGGBB words; COLORREF is 0x00BBGGRR.
constexpr std::uint32_t PixelFromColor(COLORREF c) {
    return (static_cast<std::uint32_t>(GetRValue(c)) << 16) |
           (static_cast<std::uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}
constexpr COLORREF ColorFromPixel(std::uint32_t p) {
    return RGB(static_cast<BYTE>((p >> 16) & 0xFF), static_cast<BYTE>((p >> 8) & 0xFF),
               static_cast<BYTE>(p & 0xFF));
}
constexpr std::uint32_t kBlackPixel = 0x000000;
constexpr std::uint32_t kWhitePixel = 0xFFFFFF;

// A colour drawn into a monochrome target becomes black or white by its luminance.
std::uint32_t MonoFromPixel(std::uint32_t p);
// COLORREF with palette flags resolved to a plain RGB value.
COLORREF ResolveColor(COLORREF c);
// The fixed 256-entry system palette.
const PALETTEENTRY* SystemPalette();

class PenObject : public GdiObject {
public:
    PenObject(int style, int width, COLORREF color)
        : GdiObject(GdiKind::Pen)
        , m_style(style)
        , m_width(width)
        , m_color(color) {}
    int getObject(int size, void* buffer) const override;

    int m_style;
    int m_width;
    COLORREF m_color;
};

class BrushObject : public GdiObject {
public:
    enum class Style { Solid, Null, Pattern };
    explicit BrushObject(Style style)
        : GdiObject(GdiKind::Brush)
        , m_style(style) {}
    int getObject(int size, void* buffer) const override;

    Style m_style;
    COLORREF m_color = 0;
    // Pattern brushes copy the bitmap's pixels, so the bitmap may be deleted afterwards.
    int m_patWidth = 0;
    int m_patHeight = 0;
    bool m_patMono = false;
    std::vector<std::uint32_t> m_pattern; // RGB24 pixel words, rows top first
};

class BitmapObject : public GdiObject {
public:
    BitmapObject(int width, int height, bool mono);
    ~BitmapObject() override;
    int getObject(int size, void* buffer) const override;

    std::uint32_t* row(int y) const;
    int stride() const { return cairo_image_surface_get_stride(m_surface); }
    // Copies the drawing surface into a DIB section's own bytes (no-op for shared bytes).
    void flushToDib();
    // Copies a DIB section's own bytes into the drawing surface (no-op for shared bytes).
    void loadFromDib();

    int m_width;
    int m_height;
    bool m_mono;      // 1-bpp model: every surface pixel is black (0) or white (1)
    int m_bitsPixel;  // as GetObject reports it
    int m_widthBytes; // as GetObject reports it
    cairo_surface_t* m_surface = nullptr;
    // DIB sections.
    bool m_dib = false;
    bool m_sharedBytes = false;
    BITMAPINFOHEADER m_dibHeader{};
    std::uint32_t m_masks[3] = {0x00FF0000, 0x0000FF00, 0x000000FF};
    std::vector<RGBQUAD> m_colorTable;
    std::vector<std::uint8_t> m_dibBytes; // the section's bytes (also the shared surface's data)
};

class RegionObject : public GdiObject {
public:
    explicit RegionObject(Region rgn)
        : GdiObject(GdiKind::Region)
        , m_region(std::move(rgn)) {}
    int getObject(int, void*) const override { return 0; }

    Region m_region;
};

class PaletteObject : public GdiObject {
public:
    PaletteObject()
        : GdiObject(GdiKind::Palette) {}
    int getObject(int size, void* buffer) const override;

    std::vector<PALETTEENTRY> m_entries;
};

// A DIB given by a header, colour table and bits, decoded into a new RGB24 surface (top row
// first), or null when the header is not one we read (with a diagnostic naming `caller`).
cairo_surface_t* DecodeDib(const BITMAPINFO* info, const void* bits, UINT usage,
                           const char* caller);
// Checks a DIB header and computes its row size in bytes; false when unsupported.
bool DibLayout(const BITMAPINFOHEADER& h, int* width, int* height, int* rowBytes);

// --- DCs -----------------------------------------------------------------------------------------

// Turns a recording DC's drawing calls into metafile records (core/emf).
class EmfRecorder;

enum class DcKind { Surface, Memory, Display, Scratch, Device };

// The device behind a DC of kind Device (a printer): it answers GetDeviceCaps and makes the DC's
// raster surface when something first draws on it. It lives and dies with its DC.
class DcDevice {
public:
    virtual ~DcDevice() = default;
    virtual int deviceCaps(int index) const = 0;
    // A new 32-bit image surface the DC owns from then on, or null.
    virtual cairo_surface_t* makeSurface() = 0;
};

// One element of an open or closed path, in device coordinates (the DC's own space).
struct PathOp {
    enum class Type { Move, Line, Curve, Close } type;
    double x[3];
    double y[3];
};

struct DcState {
    HGDIOBJ pen = nullptr;
    HGDIOBJ brush = nullptr;
    HGDIOBJ font = nullptr;
    HGDIOBJ bitmap = nullptr;
    HGDIOBJ palette = nullptr;
    int rop2 = R2_COPYPEN;
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    UINT textAlign = 0;
    POINT brushOrg;
    int fillMode = ALTERNATE;
    int stretchMode = BLACKONWHITE;
    int mapMode = MM_TEXT;
    POINT windowOrg;
    POINT viewportOrg;
    SIZE windowExt{1, 1};
    SIZE viewportExt{1, 1};
    POINT current;
    std::optional<Region> clip; // device coordinates; none means unclipped
};

struct Dc {
    DcKind kind = DcKind::Memory;
    DcState state;
    std::vector<DcState> saved;
    // The target: a window's surface (referenced), the selected bitmap's surface, or an own
    // surface.
    cairo_surface_t* ownSurface = nullptr;
    cairo_surface_t* borrowedSurface = nullptr;
    POINT origin;                     // the DC's device (0, 0) in its surface
    std::optional<Region> windowClip; // surface coordinates (window DCs)
    HWND hwnd = nullptr;
    std::unique_ptr<DcDevice> device; // kind Device only
    // A recording DC: its drawing calls go to the recorder instead of a surface.
    std::shared_ptr<EmfRecorder> recorder;
    // Paths.
    bool pathOpen = false;
    bool pathClosed = false;
    std::vector<PathOp> path;
    // What drawing touched, in surface coordinates, for the presenter.
    TouchedBox touched;
    // The effective clip as last worked out, with what it was worked out from; EffectiveClip
    // compares those inputs and combines the regions again only when one of them changed.
    // `generation` counts the recomputations.
    struct ClipCache {
        bool valid = false;
        int width = 0;
        int height = 0;
        POINT origin{};
        std::optional<Region> windowClip;
        std::optional<Region> clip;
        Region result;
        std::uint64_t generation = 0;
    };
    mutable ClipCache clipCache;
    // Text drawing's Cairo context (clipped to the effective clip, translated by the origin),
    // kept between text calls and made again when the target surface or the effective clip
    // changes. Text drawing brackets its changes in save/restore, so the context keeps only this
    // base state.
    struct TextContext {
        cairo_t* cr = nullptr;
        cairo_surface_t* surface = nullptr; // referenced by cr, so never reused while cached
        std::uint64_t clipGeneration = 0;
    };
    TextContext text;
    // Lets go of the text context (and its reference to the surface), as when a bitmap is
    // selected out.
    void dropTextContext();

    ~Dc();
    cairo_surface_t* surface() const;
    std::shared_ptr<BitmapObject> bitmap() const;
    bool mono() const;
    // A colour as the 1-bpp model of a monochrome target stores it: black (bit 0) or white
    // (bit 1). A 1-bpp DIB section takes the nearer of its two table colours; other
    // monochrome bitmaps go by luminance.
    std::uint32_t monoPixel(std::uint32_t p) const;
    void touch(const RECT& surfaceRect);
};

// The DC behind a handle, or null (with a diagnostic line naming `caller`) when stale.
Dc* LookupDc(HDC hdc, const char* caller);
// Every live DC, for DeleteObject's check that an object is not selected.
bool IsSelectedAnywhere(HGDIOBJ h);
// Enters a DC of kind Device for that device.
HDC AddDeviceDc(std::unique_ptr<DcDevice> device);
// Makes sure a Display or Scratch DC has its (invisible) surface, and a Device DC its page.
cairo_surface_t* EnsureSurface(Dc& dc);

// The effective clip in surface coordinates: surface bounds, window clip and the DC's region.
// The reference stays valid until the DC's surface, origin, window clip or clip changes.
const Region& EffectiveClip(const Dc& dc);
// The same for the DC's surface `s` (dc.surface()), already looked up.
const Region& EffectiveClip(const Dc& dc, cairo_surface_t* s);

// Logical -> device (the DC's own space) and device -> surface.
DcMapping MappingOf(const DcState& st);
// In MM_ISOTROPIC, shrinks the viewport extent on the axis that would scale more, so one logical
// unit is as long on both axes; other modes are left alone.
void MakeIsotropic(DcState& st);
POINT ToDevice(const DcState& st, int x, int y);
int RoundHalfAway(double v);

// Default objects of a fresh DC.
void InitDcState(DcState& st);

} // namespace plat::core
