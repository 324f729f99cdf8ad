// The DC state machine: DC kinds, attributes, mapping, object selection, clip and SaveDC.

#include "core/gdi/GdiObjects.h"
#include "core/gdi/WindowDc.h"
#include "plat/Window.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace plat::core {

namespace {

struct DcTable {
    std::vector<std::unique_ptr<Dc>> slots = [] {
        std::vector<std::unique_ptr<Dc>> v;
        v.emplace_back(); // slot 0 unused: no handle is 0
        return v;
    }();
    std::vector<std::uint32_t> generations{1};
    std::vector<std::uint32_t> freeSlots;
};

// The 1 x 1 monochrome bitmap every fresh memory DC holds: one stock object for all of them.
HGDIOBJ DefaultBitmap() {
    static HGDIOBJ h = [] {
        HGDIOBJ b = CreateBitmap(1, 1, 1, 1, nullptr);
        if (auto o = LookupGdiObject(b))
            o->setStock();
        return b;
    }();
    return h;
}

DcTable& dcTable() {
    static DcTable t;
    return t;
}

constexpr std::uint32_t kDcIndexBits = 20;
constexpr std::uint32_t kDcIndexMask = (1u << kDcIndexBits) - 1;

HDC addDc(std::unique_ptr<Dc> dc) {
    auto& t = dcTable();
    std::uint32_t i;
    if (!t.freeSlots.empty()) {
        i = t.freeSlots.back();
        t.freeSlots.pop_back();
    } else {
        i = static_cast<std::uint32_t>(t.slots.size());
        t.slots.emplace_back();
        t.generations.push_back(1);
    }
    t.slots[i] = std::move(dc);
    return HandleFromId<HDC>((t.generations[i] << kDcIndexBits) | i);
}

bool removeDc(HDC hdc) {
    const std::uint32_t id = IdFromHandle(hdc);
    const std::uint32_t i = id & kDcIndexMask;
    auto& t = dcTable();
    if (i == 0 || i >= t.slots.size() || !t.slots[i] || t.generations[i] != (id >> kDcIndexBits))
        return false;
    t.slots[i].reset();
    t.generations[i] = (t.generations[i] + 1) & 0xFFF;
    if (t.generations[i] == 0)
        t.generations[i] = 1;
    t.freeSlots.push_back(i);
    return true;
}

// A bitmap can be selected into one memory DC at a time (the shared default bitmap excepted).
Dc* dcHoldingBitmap(HGDIOBJ bitmap) {
    if (bitmap == DefaultBitmap())
        return nullptr;
    for (auto& dc : dcTable().slots)
        if (dc && dc->state.bitmap == bitmap)
            return dc.get();
    return nullptr;
}

// The device capabilities tests may override (a forced 8-bit screen, for instance).
std::map<int, int>& capsOverrides() {
    static std::map<int, int> m;
    return m;
}

} // namespace

Dc::~Dc() {
    dropTextContext();
    if (ownSurface)
        cairo_surface_destroy(ownSurface);
    if (borrowedSurface)
        cairo_surface_destroy(borrowedSurface);
}

void Dc::dropTextContext() {
    if (text.cr)
        cairo_destroy(text.cr);
    text = TextContext();
}

std::shared_ptr<BitmapObject> Dc::bitmap() const {
    if (kind != DcKind::Memory || !state.bitmap)
        return nullptr;
    return LookupGdiObjectAs<BitmapObject>(state.bitmap, GdiKind::Bitmap);
}

cairo_surface_t* Dc::surface() const {
    switch (kind) {
    case DcKind::Surface:
        return borrowedSurface;
    case DcKind::Memory: {
        auto bm = bitmap();
        return bm ? bm->m_surface : nullptr;
    }
    default:
        return ownSurface;
    }
}

bool Dc::mono() const {
    auto bm = bitmap();
    return bm && bm->m_mono;
}

std::uint32_t Dc::monoPixel(std::uint32_t p) const {
    p &= 0xFFFFFF;
    auto bm = bitmap();
    if (!bm || !bm->m_dib || bm->m_colorTable.size() < 2)
        return MonoFromPixel(p);
    const auto distance = [p](const RGBQUAD& q) {
        const int dr = static_cast<int>((p >> 16) & 0xFF) - q.rgbRed;
        const int dg = static_cast<int>((p >> 8) & 0xFF) - q.rgbGreen;
        const int db = static_cast<int>(p & 0xFF) - q.rgbBlue;
        return dr * dr + dg * dg + db * db;
    };
    const int d0 = distance(bm->m_colorTable[0]), d1 = distance(bm->m_colorTable[1]);
    // Equally near (the two entries alike, or the colour midway): luminance decides.
    if (d0 == d1)
        return MonoFromPixel(p);
    return d1 < d0 ? kWhitePixel : kBlackPixel;
}

void Dc::touch(const RECT& r) {
    touched.add(r);
}

Dc* LookupDc(HDC hdc, const char* caller) {
    if (!hdc)
        return nullptr;
    const std::uint32_t id = IdFromHandle(hdc);
    const std::uint32_t i = id & kDcIndexMask;
    auto& t = dcTable();
    if (i == 0 || i >= t.slots.size() || !t.slots[i] || t.generations[i] != (id >> kDcIndexBits)) {
        GdiDiagnostic(std::string(caller ? caller : "GDI") + ": stale or invalid DC handle");
        return nullptr;
    }
    return t.slots[i].get();
}

bool IsSelectedAnywhere(HGDIOBJ h) {
    auto selects = [h](const DcState& s) {
        return s.pen == h || s.brush == h || s.font == h || s.bitmap == h || s.palette == h;
    };
    for (auto& dc : dcTable().slots) {
        if (!dc)
            continue;
        if (selects(dc->state))
            return true;
        for (const auto& s : dc->saved)
            if (selects(s))
                return true;
    }
    return false;
}

cairo_surface_t* EnsureSurface(Dc& dc) {
    if ((dc.kind == DcKind::Display || dc.kind == DcKind::Scratch) && !dc.ownSurface) {
        // Drawing on these DCs is invisible; a surface is made only when something draws.
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1920, 1080);
        if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(s);
            GdiDiagnostic("screen DC: out of memory");
            return nullptr;
        }
        dc.ownSurface = s;
    }
    if (dc.kind == DcKind::Device && !dc.ownSurface && dc.device)
        dc.ownSurface = dc.device->makeSurface();
    return dc.surface();
}

const Region& EffectiveClip(const Dc& dc) {
    return EffectiveClip(dc, dc.surface());
}

const Region& EffectiveClip(const Dc& dc, cairo_surface_t* s) {
    Dc::ClipCache& c = dc.clipCache;
    const int w = s ? cairo_image_surface_get_width(s) : -1;
    const int h = s ? cairo_image_surface_get_height(s) : -1;
    if (c.valid && c.width == w && c.height == h && c.origin.x == dc.origin.x &&
        c.origin.y == dc.origin.y && c.windowClip == dc.windowClip && c.clip == dc.state.clip)
        return c.result;
    c.valid = true;
    c.width = w;
    c.height = h;
    c.origin = dc.origin;
    c.windowClip = dc.windowClip;
    c.clip = dc.state.clip;
    ++c.generation;
    if (!s) {
        c.result = Region();
        return c.result;
    }
    Region r(RECT{0, 0, w, h});
    if (dc.windowClip)
        r.intersect(*dc.windowClip);
    if (dc.state.clip) {
        Region own = *dc.state.clip;
        own.offset(dc.origin.x, dc.origin.y);
        r.intersect(own);
    }
    c.result = std::move(r);
    return c.result;
}

int RoundHalfAway(double v) {
    return static_cast<int>(v < 0 ? -std::floor(-v + 0.5) : std::floor(v + 0.5));
}

DcMapping MappingOf(const DcState& st) {
    DcMapping m;
    if (st.mapMode == MM_ANISOTROPIC || st.mapMode == MM_ISOTROPIC) {
        m.scaleX = static_cast<double>(st.viewportExt.cx) / st.windowExt.cx;
        m.scaleY = static_cast<double>(st.viewportExt.cy) / st.windowExt.cy;
    }
    m.offsetX = st.viewportOrg.x - st.windowOrg.x * m.scaleX;
    m.offsetY = st.viewportOrg.y - st.windowOrg.y * m.scaleY;
    return m;
}

POINT ToDevice(const DcState& st, int x, int y) {
    const DcMapping m = MappingOf(st);
    POINT p;
    p.x = RoundHalfAway(x * m.scaleX + m.offsetX);
    p.y = RoundHalfAway(y * m.scaleY + m.offsetY);
    return p;
}

void InitDcState(DcState& st) {
    st = DcState();
    st.pen = GetStockObject(BLACK_PEN);
    st.brush = GetStockObject(WHITE_BRUSH);
    st.font = GetStockObject(SYSTEM_FONT);
    st.palette = GetStockObject(DEFAULT_PALETTE);
}

// --- Window and scratch DCs ----------------------------------------------------------------------

HDC CreateSurfaceDc(cairo_surface_t* surface, POINT origin, const Region& clip, HWND hwnd) {
    // The raster engine reads and writes the pixels itself: only 32-bit image surfaces do.
    if (!surface || cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE ||
        (cairo_image_surface_get_format(surface) != CAIRO_FORMAT_RGB24 &&
         cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32)) {
        GdiDiagnostic("CreateSurfaceDc: not a 32-bit image surface");
        return nullptr;
    }
    auto dc = std::make_unique<Dc>();
    dc->kind = DcKind::Surface;
    InitDcState(dc->state);
    // A reference keeps the image alive should the window replace it (a resize) while the DC
    // is out; drawing then lands on the old image instead of freed memory.
    dc->borrowedSurface = cairo_surface_reference(surface);
    dc->origin = origin;
    dc->windowClip = clip;
    dc->hwnd = hwnd;
    return addDc(std::move(dc));
}

void DestroySurfaceDc(HDC hdc) {
    DeleteDC(hdc);
}

HDC AddDeviceDc(std::unique_ptr<DcDevice> device) {
    auto dc = std::make_unique<Dc>();
    dc->kind = DcKind::Device;
    InitDcState(dc->state);
    dc->device = std::move(device);
    return addDc(std::move(dc));
}

HDC CreateScratchDc() {
    auto dc = std::make_unique<Dc>();
    dc->kind = DcKind::Scratch;
    InitDcState(dc->state);
    return addDc(std::move(dc));
}

HWND WindowOfDc(HDC hdc) {
    Dc* dc = LookupDc(hdc, "WindowOfDc");
    return dc ? dc->hwnd : nullptr;
}

RECT TakeTouchedRect(HDC hdc) {
    Dc* dc = LookupDc(hdc, "TakeTouchedRect");
    if (!dc || !dc->touched.any)
        return RECT{};
    dc->touched.any = false;
    return dc->touched.box;
}

// --- Text access ---------------------------------------------------------------------------------

COLORREF ResolveColorForDc(HDC hdc, COLORREF color) {
    Dc* dc = LookupDc(hdc, "ResolveColorForDc");
    COLORREF c = ResolveColor(color);
    if (dc && dc->mono())
        c = ColorFromPixel(dc->monoPixel(PixelFromColor(c)));
    return c;
}

BOOL GetDcTextState(HDC hdc, DcTextState* state) {
    Dc* dc = LookupDc(hdc, "GetDcTextState");
    if (!dc || !state)
        return FALSE;
    // As ResolveColorForDc, with the DC and its target looked up once.
    const bool mono = dc->mono();
    auto resolve = [dc, mono](COLORREF color) {
        COLORREF c = ResolveColor(color);
        if (mono)
            c = ColorFromPixel(dc->monoPixel(PixelFromColor(c)));
        return c;
    };
    state->font = dc->state.font;
    state->textColor = resolve(dc->state.textColor);
    state->bkColor = resolve(dc->state.bkColor);
    state->bkMode = dc->state.bkMode;
    state->textAlign = dc->state.textAlign;
    state->currentPosition = dc->state.current;
    state->monochrome = mono;
    return TRUE;
}

BOOL SetDcCurrentPosition(HDC hdc, POINT logical) {
    Dc* dc = LookupDc(hdc, "SetDcCurrentPosition");
    if (!dc)
        return FALSE;
    dc->state.current = logical;
    return TRUE;
}

BOOL GetDcMapping(HDC hdc, DcMapping* mapping) {
    Dc* dc = LookupDc(hdc, "GetDcMapping");
    if (!dc || !mapping)
        return FALSE;
    *mapping = MappingOf(dc->state);
    return TRUE;
}

DcCairo::DcCairo(HDC hdc)
    : m_hdc(hdc) {
    Dc* dc = LookupDc(hdc, "DcCairo");
    if (!dc)
        return;
    cairo_surface_t* s = EnsureSurface(*dc);
    if (!s)
        return;
    if (auto bm = dc->bitmap())
        bm->loadFromDib();
    cairo_surface_mark_dirty(s);
    const Region& clip = EffectiveClip(*dc);
    Dc::TextContext& t = dc->text;
    if (!t.cr || t.surface != s || t.clipGeneration != dc->clipCache.generation ||
        cairo_status(t.cr) != CAIRO_STATUS_SUCCESS) {
        dc->dropTextContext();
        t.cr = cairo_create(s);
        t.surface = s;
        t.clipGeneration = dc->clipCache.generation;
        cairo_set_antialias(t.cr, CAIRO_ANTIALIAS_NONE);
        for (const RECT& r : clip.rects())
            cairo_rectangle(t.cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
        cairo_clip(t.cr);
        cairo_translate(t.cr, dc->origin.x, dc->origin.y);
    }
    m_cr = t.cr;
    cairo_save(m_cr);
}

DcCairo::~DcCairo() {
    if (!m_cr)
        return;
    cairo_restore(m_cr);
    Dc* dc = LookupDc(m_hdc, "DcCairo");
    if (!dc)
        return;
    if (cairo_surface_t* s = dc->surface())
        cairo_surface_flush(s);
    if (auto bm = dc->bitmap())
        bm->flushToDib();
    m_touched.report(*dc, dc->origin);
}

void TouchedBox::report(Dc& dc, POINT origin) const {
    if (any)
        dc.touch(RECT{box.left + origin.x, box.top + origin.y, box.right + origin.x,
                      box.bottom + origin.y});
}

void DcCairo::touch(const RECT& r) {
    m_touched.add(r);
}

DcPixels::DcPixels(HDC hdc)
    : m_hdc(hdc) {
    Dc* dc = LookupDc(hdc, "DcPixels");
    if (!dc)
        return;
    // A memory DC's target is its bitmap's surface: looked up once, and held until the end.
    std::shared_ptr<BitmapObject> bm = dc->bitmap();
    cairo_surface_t* s = bm ? bm->m_surface : EnsureSurface(*dc);
    if (!s || cairo_surface_get_type(s) != CAIRO_SURFACE_TYPE_IMAGE ||
        (cairo_image_surface_get_format(s) != CAIRO_FORMAT_RGB24 &&
         cairo_image_surface_get_format(s) != CAIRO_FORMAT_ARGB32))
        return;
    if (bm)
        bm->loadFromDib();
    m_bitmap = bm;
    cairo_surface_flush(s);
    m_surface = s;
    m_data = cairo_image_surface_get_data(s);
    m_stride = cairo_image_surface_get_stride(s);
    m_width = cairo_image_surface_get_width(s);
    m_height = cairo_image_surface_get_height(s);
    m_origin = dc->origin;
    m_clip = &EffectiveClip(*dc, s).rects();
}

DcPixels::~DcPixels() {
    if (!m_data)
        return;
    Dc* dc = LookupDc(m_hdc, "DcPixels");
    if (!dc)
        return;
    cairo_surface_mark_dirty(m_surface);
    if (m_bitmap)
        std::static_pointer_cast<BitmapObject>(m_bitmap)->flushToDib();
    m_touched.report(*dc, m_origin);
}

void DcPixels::touch(const RECT& r) {
    m_touched.add(r);
}

void SetDeviceCapsOverride(int index, int value) {
    capsOverrides()[index] = value;
}
void ClearDeviceCapsOverrides() {
    capsOverrides().clear();
}

} // namespace plat::core

namespace plat {

using namespace plat::core;

// --- DC life -------------------------------------------------------------------------------------

HDC CreateDC(const char* driver, const char* device, const char* output, const void* devMode) {
    if (driver && std::strcmp(driver, "DISPLAY") != 0)
        return CreatePrinterDc(driver, device, output, devMode);
    if (!driver) {
        GdiDiagnostic("CreateDC: no driver");
        return nullptr;
    }
    auto dc = std::make_unique<Dc>();
    dc->kind = DcKind::Display;
    InitDcState(dc->state);
    return addDc(std::move(dc));
}

HDC CreateCompatibleDC(HDC hdc) {
    if (hdc && !LookupDc(hdc, "CreateCompatibleDC"))
        return nullptr;
    auto dc = std::make_unique<Dc>();
    dc->kind = DcKind::Memory;
    InitDcState(dc->state);
    // A fresh memory DC holds the shared 1 x 1 monochrome stock bitmap.
    dc->state.bitmap = DefaultBitmap();
    return addDc(std::move(dc));
}

BOOL DeleteDC(HDC hdc) {
    Dc* dc = LookupDc(hdc, "DeleteDC");
    if (!dc)
        return FALSE;
    removeDc(hdc);
    return TRUE;
}

int SaveDC(HDC hdc) {
    Dc* dc = LookupDc(hdc, "SaveDC");
    if (!dc)
        return 0;
    dc->saved.push_back(dc->state);
    return static_cast<int>(dc->saved.size());
}

BOOL RestoreDC(HDC hdc, int savedDc) {
    Dc* dc = LookupDc(hdc, "RestoreDC");
    if (!dc)
        return FALSE;
    const int depth = static_cast<int>(dc->saved.size());
    const int level = savedDc < 0 ? depth + 1 + savedDc : savedDc;
    if (level < 1 || level > depth)
        return FALSE;
    // A bitmap selected elsewhere meanwhile cannot come back into this DC.
    HGDIOBJ bm = dc->saved[static_cast<std::size_t>(level - 1)].bitmap;
    if (bm != dc->state.bitmap) {
        Dc* other = dcHoldingBitmap(bm);
        if (other && other != dc)
            return FALSE;
    }
    dc->state = dc->saved[static_cast<std::size_t>(level - 1)];
    dc->saved.resize(static_cast<std::size_t>(level - 1));
    return TRUE;
}

BOOL GdiFlush() {
    // DIB sections with their own bytes are brought up to date after every call that draws on
    // them, so there is nothing left to do here.
    return TRUE;
}

int GetDeviceCaps(HDC hdc, int index) {
    Dc* dc = hdc ? LookupDc(hdc, "GetDeviceCaps") : nullptr;
    if (hdc && !dc)
        return 0;
    if (dc && dc->device)
        return dc->device->deviceCaps(index);
    auto it = capsOverrides().find(index);
    if (it != capsOverrides().end())
        return it->second;
    const int dpi = ScreenDpi();
    switch (index) {
    case DRIVERVERSION:
        return 0x4000;
    case TECHNOLOGY:
        return DT_RASDISPLAY;
    case HORZSIZE: // millimetres that keep the physical dpi equal to the logical one
        return RoundHalfAway(1920 * 25.4 / dpi);
    case VERTSIZE:
        return RoundHalfAway(1080 * 25.4 / dpi);
    case HORZRES:
        return 1920;
    case VERTRES:
        return 1080;
    case BITSPIXEL:
        return 32;
    case PLANES:
        return 1;
    case NUMBRUSHES:
    case NUMPENS:
    case NUMCOLORS:
        return -1;
    case NUMFONTS:
        return 0;
    case RASTERCAPS:
        return RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB;
    case ASPECTX:
    case ASPECTY:
        return 36;
    case ASPECTXY:
        return 51;
    case LOGPIXELSX:
    case LOGPIXELSY:
        return dpi;
    case SIZEPALETTE:
    case NUMRESERVED:
        return 0;
    case COLORRES:
        return 24;
    default: // physical page values belong to printers
        return 0;
    }
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT type) {
    Dc* dc = LookupDc(hdc, "GetCurrentObject");
    if (!dc)
        return nullptr;
    switch (type) {
    case OBJ_PEN:
        return dc->state.pen;
    case OBJ_BRUSH:
        return dc->state.brush;
    case OBJ_FONT:
        return dc->state.font;
    case OBJ_BITMAP:
        return dc->state.bitmap;
    case OBJ_PAL:
        return dc->state.palette;
    default:
        return nullptr;
    }
}

// --- Attributes ----------------------------------------------------------------------------------

#define PLAT_DC_ATTR(Setter, Getter, Type, field, Err, valid)                                      \
    Type Setter(HDC hdc, Type v) {                                                                 \
        Dc* dc = LookupDc(hdc, #Setter);                                                           \
        if (!dc || !(valid))                                                                       \
            return Err;                                                                            \
        Type old = dc->state.field;                                                                \
        dc->state.field = v;                                                                       \
        return old;                                                                                \
    }                                                                                              \
    Type Getter(HDC hdc) {                                                                         \
        Dc* dc = LookupDc(hdc, #Getter);                                                           \
        return dc ? dc->state.field : Err;                                                         \
    }

PLAT_DC_ATTR(SetROP2, GetROP2, int, rop2, 0, v >= R2_BLACK && v <= R2_WHITE)
PLAT_DC_ATTR(SetTextColor, GetTextColor, COLORREF, textColor, CLR_INVALID, true)
PLAT_DC_ATTR(SetBkColor, GetBkColor, COLORREF, bkColor, CLR_INVALID, true)
PLAT_DC_ATTR(SetBkMode, GetBkMode, int, bkMode, 0, v == TRANSPARENT || v == OPAQUE)
PLAT_DC_ATTR(SetTextAlign, GetTextAlign, UINT, textAlign, GDI_TA_ERROR, true)
PLAT_DC_ATTR(SetStretchBltMode, GetStretchBltMode, int, stretchMode, 0,
             v >= BLACKONWHITE && v <= HALFTONE)
PLAT_DC_ATTR(SetPolyFillMode, GetPolyFillMode, int, fillMode, 0, v == ALTERNATE || v == WINDING)
#undef PLAT_DC_ATTR

BOOL SetBrushOrgEx(HDC hdc, int x, int y, POINT* previous) {
    Dc* dc = LookupDc(hdc, "SetBrushOrgEx");
    if (!dc)
        return FALSE;
    if (previous)
        *previous = dc->state.brushOrg;
    dc->state.brushOrg = POINT{x, y};
    return TRUE;
}

BOOL GetBrushOrgEx(HDC hdc, POINT* org) {
    Dc* dc = LookupDc(hdc, "GetBrushOrgEx");
    if (!dc || !org)
        return FALSE;
    *org = dc->state.brushOrg;
    return TRUE;
}

COLORREF GetNearestColor(HDC hdc, COLORREF c) {
    if (!LookupDc(hdc, "GetNearestColor"))
        return CLR_INVALID;
    return ResolveColorForDc(hdc, c);
}

// --- Mapping -------------------------------------------------------------------------------------

int SetMapMode(HDC hdc, int mode) {
    Dc* dc = LookupDc(hdc, "SetMapMode");
    if (!dc || (mode != MM_TEXT && mode != MM_ANISOTROPIC && mode != MM_ISOTROPIC))
        return 0;
    const int old = dc->state.mapMode;
    dc->state.mapMode = mode;
    if (mode == MM_TEXT) {
        dc->state.windowExt = SIZE{1, 1};
        dc->state.viewportExt = SIZE{1, 1};
    } else if (mode == MM_ISOTROPIC) {
        // The extents carry over; the viewport shrinks at once so that the mode's promise (equal
        // physical units on both axes) holds from the start.
        MakeIsotropic(dc->state);
    }
    return old;
}

int GetMapMode(HDC hdc) {
    Dc* dc = LookupDc(hdc, "GetMapMode");
    return dc ? dc->state.mapMode : 0;
}

namespace {

long long ScaledExtent(long long other, long long num, long long den) {
    // |other| * |num| / |den|, rounded half away from zero, never below 1.
    const long long a = other < 0 ? -other : other;
    const long long n = num < 0 ? -num : num;
    const long long d = den < 0 ? -den : den;
    const long long v = (a * n * 2 + d) / (2 * d);
    return v < 1 ? 1 : v;
}

} // namespace

void core::MakeIsotropic(DcState& st) {
    if (st.mapMode != MM_ISOTROPIC)
        return;
    const long long wx = st.windowExt.cx, wy = st.windowExt.cy;
    const long long vx = st.viewportExt.cx, vy = st.viewportExt.cy;
    if (!wx || !wy || !vx || !vy)
        return;
    // Compare |vx / wx| with |vy / wy| without division; the axis that would scale more is
    // brought down to the other's scale, keeping its sign so a flipped axis stays flipped.
    const long long ax = (vx < 0 ? -vx : vx) * (wy < 0 ? -wy : wy);
    const long long ay = (vy < 0 ? -vy : vy) * (wx < 0 ? -wx : wx);
    if (ax > ay) {
        const long long nx = ScaledExtent(wx, vy, wy);
        st.viewportExt.cx = static_cast<LONG>(vx < 0 ? -nx : nx);
    } else if (ay > ax) {
        const long long ny = ScaledExtent(wy, vx, wx);
        st.viewportExt.cy = static_cast<LONG>(vy < 0 ? -ny : ny);
    }
}

namespace {

BOOL setExtent(HDC hdc, int x, int y, SIZE* previous, bool window, const char* caller) {
    Dc* dc = LookupDc(hdc, caller);
    if (!dc)
        return FALSE;
    SIZE& ext = window ? dc->state.windowExt : dc->state.viewportExt;
    if (previous)
        *previous = ext;
    // Extents are fixed in MM_TEXT; a zero extent would divide by zero and is refused.
    if (dc->state.mapMode == MM_TEXT)
        return TRUE;
    if (x == 0 || y == 0)
        return FALSE;
    ext = SIZE{x, y};
    MakeIsotropic(dc->state);
    return TRUE;
}

BOOL setOrigin(HDC hdc, int x, int y, POINT* previous, bool window, const char* caller) {
    Dc* dc = LookupDc(hdc, caller);
    if (!dc)
        return FALSE;
    POINT& org = window ? dc->state.windowOrg : dc->state.viewportOrg;
    if (previous)
        *previous = org;
    org = POINT{x, y};
    return TRUE;
}

template <class T> BOOL getField(HDC hdc, T* out, T DcState::*field, const char* caller) {
    Dc* dc = LookupDc(hdc, caller);
    if (!dc || !out)
        return FALSE;
    *out = dc->state.*field;
    return TRUE;
}

} // namespace

BOOL SetWindowExtEx(HDC hdc, int x, int y, SIZE* previous) {
    return setExtent(hdc, x, y, previous, true, "SetWindowExtEx");
}
BOOL SetViewportExtEx(HDC hdc, int x, int y, SIZE* previous) {
    return setExtent(hdc, x, y, previous, false, "SetViewportExtEx");
}
BOOL SetWindowOrgEx(HDC hdc, int x, int y, POINT* previous) {
    return setOrigin(hdc, x, y, previous, true, "SetWindowOrgEx");
}
BOOL SetViewportOrgEx(HDC hdc, int x, int y, POINT* previous) {
    return setOrigin(hdc, x, y, previous, false, "SetViewportOrgEx");
}
BOOL GetWindowExtEx(HDC hdc, SIZE* ext) {
    return getField(hdc, ext, &DcState::windowExt, "GetWindowExtEx");
}
BOOL GetViewportExtEx(HDC hdc, SIZE* ext) {
    return getField(hdc, ext, &DcState::viewportExt, "GetViewportExtEx");
}
BOOL GetWindowOrgEx(HDC hdc, POINT* org) {
    return getField(hdc, org, &DcState::windowOrg, "GetWindowOrgEx");
}
BOOL GetViewportOrgEx(HDC hdc, POINT* org) {
    return getField(hdc, org, &DcState::viewportOrg, "GetViewportOrgEx");
}

BOOL LPtoDP(HDC hdc, POINT* points, int count) {
    Dc* dc = LookupDc(hdc, "LPtoDP");
    if (!dc || (!points && count > 0) || count < 0)
        return FALSE;
    for (int i = 0; i < count; ++i)
        points[i] = ToDevice(dc->state, points[i].x, points[i].y);
    return TRUE;
}

BOOL DPtoLP(HDC hdc, POINT* points, int count) {
    Dc* dc = LookupDc(hdc, "DPtoLP");
    if (!dc || (!points && count > 0) || count < 0)
        return FALSE;
    const DcMapping m = MappingOf(dc->state);
    for (int i = 0; i < count; ++i) {
        points[i].x = RoundHalfAway((points[i].x - m.offsetX) / m.scaleX);
        points[i].y = RoundHalfAway((points[i].y - m.offsetY) / m.scaleY);
    }
    return TRUE;
}

// --- Selection -----------------------------------------------------------------------------------

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj) {
    Dc* dc = LookupDc(hdc, "SelectObject");
    if (!dc)
        return nullptr;
    auto o = LookupGdiObject(obj, "SelectObject");
    if (!o)
        return nullptr;
    HGDIOBJ old = nullptr;
    switch (o->kind()) {
    case GdiKind::Pen:
        old = dc->state.pen;
        dc->state.pen = obj;
        break;
    case GdiKind::Brush:
        old = dc->state.brush;
        dc->state.brush = obj;
        break;
    case GdiKind::Font:
        old = dc->state.font;
        dc->state.font = obj;
        break;
    case GdiKind::Palette:
        // Palettes go through SelectPalette; SelectObject refuses them, as the system does.
        return nullptr;
    case GdiKind::Bitmap: {
        if (dc->kind != DcKind::Memory)
            return nullptr;
        Dc* other = dcHoldingBitmap(obj);
        if (other && other != dc) {
            GdiDiagnostic("SelectObject: bitmap already selected into another DC");
            return nullptr;
        }
        old = dc->state.bitmap;
        dc->state.bitmap = obj;
        dc->dropTextContext();
        break;
    }
    case GdiKind::Region: {
        // Selecting a region sets the clip to a copy of it and returns the region type.
        auto r = std::static_pointer_cast<RegionObject>(o);
        dc->state.clip = r->m_region;
        const Region& g = r->m_region;
        const int type = g.empty()               ? NULLREGION
                         : g.rects().size() == 1 ? SIMPLEREGION
                                                 : COMPLEXREGION;
        return HandleFromId<HGDIOBJ>(static_cast<std::uint32_t>(type));
    }
    }
    return old;
}

HPALETTE SelectPalette(HDC hdc, HPALETTE palette, BOOL) {
    Dc* dc = LookupDc(hdc, "SelectPalette");
    if (!dc || !LookupGdiObjectAs<PaletteObject>(palette, GdiKind::Palette, "SelectPalette"))
        return nullptr;
    HPALETTE old = dc->state.palette;
    dc->state.palette = palette;
    return old;
}

UINT RealizePalette(HDC hdc) {
    // A true-colour screen maps no entries.
    LookupDc(hdc, "RealizePalette");
    return 0;
}

// --- Clip ----------------------------------------------------------------------------------------

namespace {

int clipType(const Dc& dc) {
    const Region r = EffectiveClip(dc);
    return r.empty() ? NULLREGION : r.rects().size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

// A logical rectangle as device rectangle, normalised.
RECT deviceRect(const DcState& st, int l, int t, int r, int b) {
    POINT a = ToDevice(st, l, t);
    POINT c = ToDevice(st, r, b);
    RECT rc;
    rc.left = std::min(a.x, c.x);
    rc.right = std::max(a.x, c.x);
    rc.top = std::min(a.y, c.y);
    rc.bottom = std::max(a.y, c.y);
    return rc;
}

// The DC's clip as a region; unclipped means the whole device space.
Region currentClip(const Dc& dc) {
    if (dc.state.clip)
        return *dc.state.clip;
    return Region(RECT{-(1 << 27), -(1 << 27), 1 << 27, 1 << 27});
}

} // namespace

int SelectClipRgn(HDC hdc, HRGN rgn) {
    Dc* dc = LookupDc(hdc, "SelectClipRgn");
    if (!dc)
        return ERROR;
    if (!rgn) {
        dc->state.clip.reset();
        return clipType(*dc);
    }
    auto r = LookupGdiObjectAs<RegionObject>(rgn, GdiKind::Region, "SelectClipRgn");
    if (!r)
        return ERROR;
    // The region is in device units and is copied: the caller may delete it afterwards.
    dc->state.clip = r->m_region;
    return clipType(*dc);
}

int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
    Dc* dc = LookupDc(hdc, "IntersectClipRect");
    if (!dc)
        return ERROR;
    Region r = currentClip(*dc);
    r.intersect(Region(deviceRect(dc->state, left, top, right, bottom)));
    dc->state.clip = r;
    return clipType(*dc);
}

int ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom) {
    Dc* dc = LookupDc(hdc, "ExcludeClipRect");
    if (!dc)
        return ERROR;
    Region r = currentClip(*dc);
    r.subtract(Region(deviceRect(dc->state, left, top, right, bottom)));
    dc->state.clip = r;
    return clipType(*dc);
}

int GetClipBox(HDC hdc, RECT* box) {
    Dc* dc = LookupDc(hdc, "GetClipBox");
    if (!dc || !box)
        return ERROR;
    Region r = EffectiveClip(*dc);
    if (!dc->surface()) {
        // No surface yet (a DISPLAY DC that has not drawn): the screen.
        r = Region(RECT{0, 0, 1920, 1080});
        if (dc->state.clip)
            r.intersect(*dc->state.clip);
    } else {
        r.offset(-dc->origin.x, -dc->origin.y);
    }
    RECT b = r.empty() ? RECT{} : r.bounds();
    // Back to logical units.
    POINT pts[2] = {{b.left, b.top}, {b.right, b.bottom}};
    DPtoLP(hdc, pts, 2);
    box->left = std::min(pts[0].x, pts[1].x);
    box->right = std::max(pts[0].x, pts[1].x);
    box->top = std::min(pts[0].y, pts[1].y);
    box->bottom = std::max(pts[0].y, pts[1].y);
    return r.empty() ? NULLREGION : r.rects().size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

} // namespace plat
