#include "OverPc/PGRAPHIC.h"

#include "OverPc/PERROR.h"
#include "OverPc/Portdc.h"
#include "OverPc/shell/Parrowb.h"
#include "OverSrcs/oWindows.h"
#include "plat/Window.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>

namespace {

void Assert(unsigned line, const char* text) {
    oAssertionFailure(__FILE__, line, text);
}

ScreenCaps s_caps;
std::unique_ptr<oMeasurePort> s_screenMeasurePort;
GraphicsFontHooks s_fontHooks;
plat::HBRUSH s_xorBrush = nullptr;
bool s_shuttingDown = false;

// The one line drawing of the program.
struct LineState {
    bool open = false;
    PortDcHolder* holder = nullptr;
    const oNativePort* port = nullptr;
    int32_t x = 0;
    int32_t y = 0;
};
LineState s_line;

std::set<const void*>& liveRefs() {
    static std::set<const void*> s_refs;
    return s_refs;
}

// Selects a GDI object for the life of the scope and deletes it afterwards unless it is stock.
class ScopedSelect {
public:
    ScopedSelect(plat::HDC dc, plat::HGDIOBJ object, bool owned)
        : m_dc(dc)
        , m_object(object)
        , m_owned(owned) {
        if (m_dc && m_object)
            m_old = plat::SelectObject(m_dc, m_object);
    }
    ~ScopedSelect() {
        if (m_dc && m_old)
            plat::SelectObject(m_dc, m_old);
        if (m_owned && m_object)
            plat::DeleteObject(m_object);
    }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;
    bool ok() const { return m_object != nullptr; }

private:
    plat::HDC m_dc;
    plat::HGDIOBJ m_object;
    plat::HGDIOBJ m_old = nullptr;
    bool m_owned;
};

plat::HGDIOBJ nullPen() {
    return plat::GetStockObject(plat::NULL_PEN);
}
plat::HGDIOBJ nullBrush() {
    return plat::GetStockObject(plat::NULL_BRUSH);
}

Zone offsetZone(const Zone& zone, int32_t dx, int32_t dy) {
    Zone z = zone;
    ZoneOffset(z, dx, dy);
    return z;
}

plat::POINT pt(int32_t x, int32_t y) {
    return plat::POINT{x, y};
}

} // namespace

// ---------------------------------------------------------------------------------------------
// GdiObjectRef

GdiObjectRef::GdiObjectRef(plat::HGDIOBJ handle) {
    if (!handle)
        return;
    auto* shared = new Shared;
    shared->handle = handle;
    attach(shared);
}

void GdiObjectRef::attach(Shared* shared) {
    m_shared = shared;
    if (m_shared) {
        ++m_shared->count;
        liveRefs().insert(this);
    }
}

GdiObjectRef::GdiObjectRef(const GdiObjectRef& other) {
    attach(other.m_shared);
}

GdiObjectRef& GdiObjectRef::operator=(const GdiObjectRef& other) {
    if (this != &other && m_shared != other.m_shared) {
        release();
        attach(other.m_shared);
    }
    return *this;
}

GdiObjectRef::~GdiObjectRef() {
    release();
}

void GdiObjectRef::release() {
    if (!m_shared)
        return;
    if (!s_shuttingDown)
        liveRefs().erase(this);
    if (--m_shared->count <= 0) {
        if (m_shared->handle)
            plat::DeleteObject(m_shared->handle);
        delete m_shared;
    }
    m_shared = nullptr;
}

plat::HGDIOBJ GdiObjectRef::handle() const {
    return m_shared ? m_shared->handle : nullptr;
}

void GdiObjectRef::replace(plat::HGDIOBJ handle) {
    if (!m_shared) {
        *this = GdiObjectRef(handle);
        return;
    }
    if (m_shared->handle && m_shared->handle != handle)
        plat::DeleteObject(m_shared->handle);
    m_shared->handle = handle;
}

int32_t GdiObjectRef::useCount() const {
    return m_shared ? m_shared->count : 0;
}

std::size_t LiveGdiObjectRefs() {
    return liveRefs().size();
}

GdiObjectRef RegionFromZone(const Zone* zone) {
    const Zone z = zone ? *zone : Zone{};
    return GdiObjectRef(plat::CreateRectRgn(z.left, z.top, z.right, z.bottom));
}

GdiObjectRef RegionFromHandle(plat::HRGN region) {
    return GdiObjectRef(region);
}

void RegionXorZone(GdiObjectRef& region, const Zone& zone) {
    plat::HRGN rect = plat::CreateRectRgn(zone.left, zone.top, zone.right, zone.bottom);
    plat::HRGN result = plat::CreateRectRgn(0, 0, 0, 0);
    if (region.handle())
        plat::CombineRgn(result, region.handle(), rect, plat::RGN_XOR);
    else
        plat::CombineRgn(result, rect, nullptr, plat::RGN_COPY);
    plat::DeleteObject(rect);
    region.replace(result);
}

void RegionOffset(GdiObjectRef& region, int32_t dx, int32_t dy) {
    if (region.handle())
        plat::OffsetRgn(region.handle(), dx, dy);
}

void InvertRegionInPort(GdiObjectRef& region, oNativePort& port) {
    if (!region.handle())
        return;
    PortDcHolder holder(&port);
    plat::OffsetRgn(region.handle(), port.originX(), port.originY());
    plat::InvertRgn(holder.hdc(), region.handle());
    plat::OffsetRgn(region.handle(), -port.originX(), -port.originY());
}

void FrameRegionInPort(GdiObjectRef& region, oNativePort& port, int32_t width) {
    if (!region.handle())
        return;
    PortDcHolder holder(&port);
    if (holder.dc())
        holder.dc()->frameRegion(region.handle(), width);
}

void VirtualDc::frameRegion(plat::HRGN region, int32_t width) {
    plat::HBRUSH brush = plat::CreateSolidBrush(ColorToPaletteRgb(m_color));
    if (!brush)
        return;
    const int old = plat::SetROP2(m_dc, plat::R2_NOT);
    plat::FrameRgn(m_dc, region, brush, width, width);
    plat::SetROP2(m_dc, old);
    plat::DeleteObject(brush);
}

// ---------------------------------------------------------------------------------------------
// Screen capabilities and system colours

Color SysColors[kSysColorSlots];

void InitSysColors() {
    for (int i = 0; i < kSysColorSlots; ++i) {
        const plat::DWORD c = plat::GetSysColor(kSysColorSlotIndex[i]);
        SysColors[i].r = plat::GetRValue(c);
        SysColors[i].g = plat::GetGValue(c);
        SysColors[i].b = plat::GetBValue(c);
    }
}

namespace {

int32_t resolutionAtLeast16(int32_t dpi) {
    const int32_t r = ResolutionForDpi(dpi);
    return r <= 16 ? 16 : r;
}

int32_t lineUnitOf(int32_t resolution) {
    return std::max<int32_t>(1, (resolution + 8) / 16);
}

int32_t physicalDpi(int32_t pixels, int32_t millimetres) {
    if (millimetres <= 0)
        return 96;
    return static_cast<int32_t>(std::floor(
        static_cast<double>(pixels) * 254.0 / (static_cast<double>(millimetres) * 10.0) + 0.5));
}

} // namespace

void InitScreenCaps(plat::HDC display) {
    ScreenCaps c;
    const int bits = plat::GetDeviceCaps(display, plat::BITSPIXEL) *
                     std::max(1, plat::GetDeviceCaps(display, plat::PLANES));
    c.colorClass = bits < 2 ? 2 : bits < 5 ? 4 : bits < 9 ? 32 : 255;
    if (bits >= 2 && bits <= 8 && plat::GetDeviceCaps(display, plat::SIZEPALETTE) != 0)
        BuildAppPalette();
    c.logicalDpiX = plat::GetDeviceCaps(display, plat::LOGPIXELSX);
    c.logicalDpiY = plat::GetDeviceCaps(display, plat::LOGPIXELSY);
    c.logicalDpi = (c.logicalDpiX + c.logicalDpiY + 1) / 2;
    c.pixelWidth = plat::GetDeviceCaps(display, plat::HORZRES);
    c.pixelHeight = plat::GetDeviceCaps(display, plat::VERTRES);
    c.physicalDpiX = physicalDpi(c.pixelWidth, plat::GetDeviceCaps(display, plat::HORZSIZE));
    c.physicalDpiY = physicalDpi(c.pixelHeight, plat::GetDeviceCaps(display, plat::VERTSIZE));
    c.physicalDpi = (c.physicalDpiX + c.physicalDpiY + 1) / 2;
    c.logicalResX = resolutionAtLeast16(c.logicalDpiX);
    c.logicalResY = resolutionAtLeast16(c.logicalDpiY);
    c.physicalResX = resolutionAtLeast16(c.physicalDpiX);
    c.physicalResY = resolutionAtLeast16(c.physicalDpiY);
    c.logicalUnitX = lineUnitOf(c.logicalResX);
    c.logicalUnitY = lineUnitOf(c.logicalResY);
    c.physicalUnitX = lineUnitOf(c.physicalResX);
    c.physicalUnitY = lineUnitOf(c.physicalResY);
    c.screenResolution = (c.physicalResX + c.physicalResY) / 2;
    c.screenLineUnit = (c.physicalUnitY + c.physicalUnitX + 1) / 2;
    s_caps = c;
}

const ScreenCaps& GetScreenCaps() {
    return s_caps;
}

int32_t ScreenResolution() {
    return s_caps.screenResolution;
}

int32_t ScreenDrawingUnit() {
    return s_caps.screenLineUnit;
}

Zone ScreenWorkArea() {
    return Zone{0,
                0,
                plat::GetSystemMetrics(plat::SM_CXFULLSCREEN),
                plat::GetSystemMetrics(plat::SM_CYFULLSCREEN),
                0,
                0};
}

// ---------------------------------------------------------------------------------------------
// Start-up and shutdown

void SetGraphicsFontHooks(const GraphicsFontHooks& hooks) {
    s_fontHooks = hooks;
}

void InitGraphics() {
    s_shuttingDown = false;
    InstallPortDeviceHooks();
    ClearArrowBitmaps();
    InitSysColors();
    plat::HDC display = plat::CreateDC("DISPLAY", nullptr, nullptr, nullptr);
    InitScreenCaps(display);
    CreateDesktopPane();
    if (s_fontHooks.startFonts)
        s_fontHooks.startFonts(display);
    plat::DeleteDC(display);
    if (s_fontHooks.startFontTable)
        s_fontHooks.startFontTable();
    RemakeScreenMeasurePort();
}

void ShutdownGraphics() {
    CloseLineDrawing();
    DropPortDcs(kDeviceOwnKind);
    SetPaletteHandling(false);
    DeleteAppPalettes();
    if (s_xorBrush) {
        plat::DeleteObject(s_xorBrush);
        s_xorBrush = nullptr;
    }
    s_screenMeasurePort.reset();
    DeleteDesktopPane();
}

oMeasurePort* ScreenMeasurePort() {
    return s_screenMeasurePort.get();
}

void RemakeScreenMeasurePort() {
    s_screenMeasurePort = NewMeasurePort(s_caps.screenResolution, 0);
}

// ---------------------------------------------------------------------------------------------
// Brushes

plat::HBITMAP GetPatternBitmap(int32_t id) {
    if (id < kFirstPatternBitmap || id >= kFirstPatternBitmap + kPatternBitmapCount)
        return nullptr;
    return GetArrowBitmap(id - kFirstPatternBitmap);
}

plat::HBRUSH GetXorBrush(const Color& color) {
    if (!s_xorBrush) {
        const Color& hi = SysColors[kSysSlotHighlight];
        const Color x{static_cast<uint8_t>(color.r ^ hi.r), static_cast<uint8_t>(color.g ^ hi.g),
                      static_cast<uint8_t>(color.b ^ hi.b), 255};
        s_xorBrush = plat::CreateSolidBrush(ColorToPaletteRgb(x));
    }
    return s_xorBrush;
}

// ---------------------------------------------------------------------------------------------
// VirtualDc drawing helpers

int32_t LineOrientation(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    if (x1 > x2) {
        std::swap(x1, x2);
        std::swap(y1, y2);
    }
    const int64_t dx = x2 - x1;
    const int64_t dy = y2 - y1;
    const int64_t ady = dy < 0 ? -dy : dy;
    if (5 * dx < 2 * ady)
        return 3;
    if (2 * dx >= 5 * ady)
        return 2;
    return dy < 0 ? 1 : 0;
}

void VirtualDc::setRopByMode(int32_t mode) {
    plat::SetROP2(m_dc, mode == kDrawXor ? plat::R2_XORPEN : plat::R2_COPYPEN);
}

void VirtualDc::drawThickLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    if (!m_dc)
        return;
    if (x1 > x2) {
        std::swap(x1, x2);
        std::swap(y1, y2);
    }
    const int32_t dx = x2 - x1;
    int32_t dy = y2 - y1;
    const int32_t w = m_width;

    plat::HBRUSH brush = nullptr;
    if (m_style >= 1 && m_style <= 3) {
        static constexpr int32_t kBase[4] = {0, 8, 4, 12};
        plat::SetTextColor(m_dc, ColorToRgb(m_color));
        plat::HBITMAP bitmap = GetPatternBitmap(kFirstPatternBitmap + kBase[m_style] +
                                                LineOrientation(x1, y1, x2, y2));
        brush = bitmap ? plat::CreatePatternBrush(bitmap) : nullptr;
    }
    if (!brush)
        brush = plat::CreateSolidBrush(nearestColor(m_color));
    ScopedSelect b(m_dc, brush, true);
    ScopedSelect p(m_dc, nullPen(), false);

    if (dx != 0 && dy != 0) {
        plat::POINT hex[6];
        if (dy < 0) {
            hex[0] = pt(x1, y1);
            hex[1] = pt(x2, y2);
            hex[2] = pt(x2 + w, y2);
            hex[3] = pt(x2 + w, y2 + w);
            hex[4] = pt(x1 + w, y1 + w);
            hex[5] = pt(x1, y1 + w);
        } else {
            hex[0] = pt(x1, y1);
            hex[1] = pt(x1, y1 + w);
            hex[2] = pt(x2, y2 + w);
            hex[3] = pt(x2 + w, y2 + w);
            hex[4] = pt(x2 + w, y2);
            hex[5] = pt(x1 + w, y1);
        }
        plat::Polygon(m_dc, hex, 6);
        return;
    }
    if (y1 > y2) {
        std::swap(x1, x2);
        std::swap(y1, y2);
        dy = -dy;
    }
    const plat::POINT rect[4] = {pt(x1, y1), pt(x2 + w, y1), pt(x2 + w, y2 + w), pt(x1, y2 + w)};
    plat::Polygon(m_dc, rect, 4);
}

void VirtualDc::drawRect(const Zone& zone) {
    plat::HBRUSH brush = plat::CreateSolidBrush(nearestColor(m_color));
    if (!brush || !m_dc)
        return;
    ScopedSelect b(m_dc, brush, true);
    ScopedSelect p(m_dc, nullPen(), false);
    plat::Rectangle(m_dc, zone.left, zone.top, zone.right + 1, zone.bottom + 1);
}

void VirtualDc::frameRect(const Zone& zone) {
    int style = plat::PS_SOLID;
    int width = 1;
    if (m_width >= 2) {
        style = plat::PS_INSIDEFRAME;
        width = m_width;
    } else if (m_style == 1) {
        style = plat::PS_DOT;
    } else if (m_style == 2) {
        style = plat::PS_DASH;
    }
    plat::HPEN pen = plat::CreatePen(style, width, ColorToPaletteRgb(m_color));
    if (!pen || !m_dc)
        return;
    ScopedSelect p(m_dc, pen, true);
    ScopedSelect b(m_dc, nullBrush(), false);
    plat::Rectangle(m_dc, zone.left, zone.top, zone.right, zone.bottom);
}

void VirtualDc::drawPolygon(const plat::POINT* points, int32_t count, bool fill,
                            const Color& penColor) {
    if (!m_dc || count < 1)
        return;
    ScopedSelect p(m_dc, plat::CreatePen(plat::PS_SOLID, 1, ColorToPaletteRgb(penColor)), true);
    if (fill) {
        ScopedSelect b(m_dc, plat::CreateSolidBrush(ColorToPaletteRgb(m_color)), true);
        plat::Polygon(m_dc, points, count);
    } else {
        plat::Polyline(m_dc, points, count);
    }
}

void HornPoints(const Zone& zone, int32_t w, int32_t d, bool vertical, plat::POINT p[7]) {
    const int32_t L = zone.left, T = zone.top, R = zone.right, B = zone.bottom;
    if (!vertical) {
        int32_t yA = B, yB = T;
        if (d & 2)
            std::swap(yA, yB);
        if (d < 3) {
            p[0] = pt(R - w, yA);
            p[1] = pt(R - w, yB);
            p[2] = pt(L, yB);
            p[3] = pt(L, yB);
            p[4] = pt(R, yB);
            p[5] = pt(R, (yB + 4 * yA) / 5);
            p[6] = pt(R, yA);
        } else {
            p[0] = pt(L + w, yA);
            p[1] = pt(L + w, yB);
            p[2] = pt(R, yB);
            p[3] = pt(R, yB);
            p[4] = pt(L, yB);
            p[5] = pt(L, (yB + 4 * yA) / 5);
            p[6] = pt(L, yA);
        }
        return;
    }
    int32_t xA = L, xB = R;
    if (d & 2)
        std::swap(xA, xB);
    if (d < 3) {
        p[0] = pt(xB, B - w);
        p[1] = pt(xA, B - w);
        p[2] = pt(xA, T);
        p[3] = pt(xA, T);
        p[4] = pt(xA, B);
        p[5] = pt((xA + 4 * xB) / 5, B);
        p[6] = pt(xB, B);
    } else {
        p[0] = pt(xB, T + w);
        p[1] = pt(xA, T + w);
        p[2] = pt(xA, B);
        p[3] = pt(xA, B);
        p[4] = pt(xA, T);
        p[5] = pt((xA + 4 * xB) / 5, T);
        p[6] = pt(xB, T);
    }
}

void VirtualDc::fillHorn(const Zone& zone, int32_t direction, bool vertical) {
    if (!m_dc)
        return;
    plat::POINT p[7];
    HornPoints(zone, m_width, direction, vertical, p);
    ScopedSelect pen(m_dc, nullPen(), false);
    ScopedSelect brush(m_dc, plat::CreateSolidBrush(ColorToRgb(m_color)), true);
    fillBezier(p, 7);
}

void IntegralGlyphPoints(const Zone& zone, int32_t penWidth, bool longStem, int32_t turn,
                         plat::POINT points[40]) {
    // The turned forms are the upright figure, drawn in a zone of exchanged width and height
    // about the same centre, then turned a quarter.
    const int32_t cx2 = zone.left + zone.right; // twice the centre
    const int32_t cy2 = zone.top + zone.bottom;
    Zone up = zone;
    if (turn != 0) {
        const int32_t W = zone.bottom - zone.top;
        const int32_t H = zone.right - zone.left;
        up.left = (cx2 - W) / 2;
        up.right = up.left + W;
        up.top = (cy2 - H) / 2;
        up.bottom = up.top + H;
    }
    const int32_t L = up.left, T = up.top;
    const int32_t W = up.right - up.left;
    const int32_t H = up.bottom - up.top;
    const int32_t p = std::min(penWidth, W);
    const int32_t a = p / 2;
    const int32_t c = 7 * a / 12;
    const int32_t hw = W / 2;
    const int32_t hh = H / 2;
    const int32_t k = (H & ~1) / (longStem ? 4 : 2);
    const int32_t m = hh - k;
    const int32_t n = m + (3 * k) / 4;
    const int32_t u = static_cast<int32_t>(hh - 0.3 * a);
    const int32_t v = static_cast<int32_t>(hw - 1.7 * a);
    const int32_t half[21][2] = {
        {a, m},
        {a, n},
        {a / 3, u},
        {v, u},
        {v, u},
        {hw - p, hh - a + c},
        {hw - p, hh - a},
        {hw - p, hh - a - c},
        {hw - a - c, hh - p},
        {hw - a, hh - p},
        {hw - a + c, hh - p},
        {hw, hh - a - c},
        {hw, hh - a},
        {hw, hh - a + c},
        {hw - a + c, hh},
        {hw - a, hh},
        {a / 3, hh},
        {-a, n},
        {-a, m},
        {-a, m},
        {-a, -m},
    };
    int32_t xy[40][2];
    for (int i = 0; i < 21; ++i) {
        xy[i][0] = half[i][0];
        xy[i][1] = half[i][1];
    }
    for (int i = 21; i < 40; ++i) {
        xy[i][0] = -half[i - 21][0];
        xy[i][1] = -half[i - 21][1];
    }
    for (int i = 0; i < 40; ++i) {
        int32_t x = L + hw + xy[i][0];
        int32_t y = T + hh - xy[i][1];
        if (turn != 0) {
            // Offsets from the centre, doubled to stay integral.
            const int32_t ox = 2 * x - cx2;
            const int32_t oy = 2 * y - cy2;
            // Positive: a quarter clockwise on the screen; negative: counter-clockwise.
            const int32_t rx = turn > 0 ? -oy : oy;
            const int32_t ry = turn > 0 ? ox : -ox;
            x = (cx2 + rx) / 2;
            y = (cy2 + ry) / 2;
        }
        points[i] = pt(x, y);
    }
}

void VirtualDc::fillIntegralGlyph(const Zone& zone, bool longStem, int32_t turn) {
    if (!m_dc)
        return;
    plat::POINT points[40];
    IntegralGlyphPoints(zone, m_width, longStem, turn, points);
    ScopedSelect pen(m_dc, plat::CreatePen(plat::PS_INSIDEFRAME, 1, ColorToPaletteRgb(m_color)),
                     true);
    ScopedSelect brush(m_dc, plat::CreateSolidBrush(ColorToPaletteRgb(m_color)), true);
    fillBezier(points, 40);
}

void PlainRingPoints(const Zone& ring, int32_t r, plat::POINT p[28]) {
    const int32_t L = ring.left, T = ring.top, R = ring.right, B = ring.bottom;
    const int32_t Xm = (L + R) / 2, Ym = (T + B) / 2;
    p[0] = pt(L, Ym);
    p[1] = pt(L, (T + 4 * B) / 5);
    p[2] = pt((R + 4 * L) / 5, B);
    p[3] = pt(Xm, B);
    p[4] = pt((4 * R + L) / 5, B);
    p[5] = pt(R, (T + 4 * B) / 5);
    p[6] = pt(R, Ym);
    p[7] = pt(R, (B + 4 * T) / 5);
    p[8] = pt((4 * R + L) / 5, T);
    p[9] = pt(Xm, T);
    p[10] = pt((R + 4 * L) / 5, T);
    p[11] = pt(L, (B + 4 * T) / 5);
    p[12] = pt(L, Ym);
    p[13] = pt(L, Ym);
    p[14] = pt(L + r, Ym);
    p[15] = pt(L + r, Ym);
    p[16] = pt(L + r, (4 * T + 3 * r + B) / 5);
    p[17] = pt((4 * L + 3 * r + R) / 5, T + r);
    p[18] = pt(Xm, T + r);
    p[19] = pt((L + 4 * R - 3 * r) / 5, T + r);
    p[20] = pt(R - r, (4 * T + 3 * r + B) / 5);
    p[21] = pt(R - r, Ym);
    p[22] = pt(R - r, (4 * B - 3 * r + T) / 5);
    p[23] = pt((L + 4 * R - 3 * r) / 5, B - r);
    p[24] = pt(Xm, B - r);
    p[25] = pt((4 * L + 3 * r + R) / 5, B - r);
    p[26] = pt(L + r, (4 * B - 3 * r + T) / 5);
    p[27] = pt(L + r, Ym);
}

bool ArrowRingPoints(const Zone& ring, int32_t r, bool mirror, plat::POINT p[40]) {
    const int32_t L = ring.left, T = ring.top, R = ring.right, B = ring.bottom;
    const int32_t Xm = (L + R) / 2, Ym = (T + B) / 2;
    const int32_t hw = (R - L) / 2, hh = (B - T) / 2;
    if (hw <= 0 || hh <= 0)
        return false; // the arrow's slope divides by these
    const int32_t e = std::min(hw, hh) / 4;
    const int32_t hw2 = hw - r, hh2 = hh - r;
    const double s = 0.70710678118655;
    const double slope = static_cast<double>(hh) / hw;
    p[0] = pt(static_cast<int32_t>(Xm + hw * s), static_cast<int32_t>(Ym - hh * s));
    p[1].x = (2 * hw) / 3 + Xm;
    p[1].y = static_cast<int32_t>(p[0].y - slope * (p[0].x - p[1].x));
    p[2] = pt(Xm + hw / 2, Ym - hh);
    p[3] = pt(Xm, Ym - hh);
    p[4] = pt(Xm - (3 * hw) / 5, Ym - hh);
    p[5] = pt(Xm - hw, Ym - (3 * hh) / 5);
    p[6] = pt(Xm - hw, Ym);
    p[7] = pt(Xm - hw, Ym + (3 * hh) / 5);
    p[8] = pt(Xm - (3 * hw) / 5, Ym + hh);
    p[9] = pt(Xm, Ym + hh);
    p[10] = pt(Xm + (3 * hw) / 5, Ym + hh);
    p[11] = pt(Xm + hw, Ym + (3 * hh) / 5);
    p[12] = p[13] = pt(Xm + hw, Ym);
    p[14] = p[15] = p[16] = pt(Xm + hw + 2 * e, Ym + e);
    p[17] = p[18] = p[19] = pt(Xm + hw - r / 2, Ym - 2 * e);
    p[20] = p[21] = p[22] = pt(Xm + hw2 + r / 2, Ym - 2 * e);
    p[23] = p[24] = p[25] = pt(Xm + hw - 2 * e - r, Ym + e);
    p[26] = p[27] = pt(Xm + hw2, Ym);
    p[28] = pt(Xm + hw2, Ym + (3 * hh2) / 5);
    p[29] = pt(Xm + (3 * hw2) / 5, Ym + hh2);
    p[30] = pt(Xm, Ym + hh2);
    p[31] = pt(Xm - (3 * hw2) / 5, Ym + hh2);
    p[32] = pt(Xm - hw2, Ym + (3 * hh2) / 5);
    p[33] = pt(Xm - hw2, Ym);
    p[34] = pt(Xm - hw2, Ym - (3 * hh2) / 5);
    p[35] = pt(Xm - (3 * hw2) / 5, Ym - hh2);
    p[36] = pt(Xm, Ym - hh2);
    p[37] = pt(Xm + hw2 / 2, Ym - hh2);
    p[39] = pt(static_cast<int32_t>(Xm + hw2 * s), static_cast<int32_t>(Ym - hh2 * s));
    p[38].x = (2 * hw2) / 3 + Xm;
    p[38].y = static_cast<int32_t>(p[39].y - slope * (p[39].x - p[38].x));
    if (mirror)
        for (int i = 0; i < 40; ++i)
            p[i].x = (L + R) - p[i].x;
    return true;
}

// ---------------------------------------------------------------------------------------------
// The line drawing

bool LineDrawingOpen() {
    return s_line.open;
}

const oNativePort* LineDrawingPort() {
    return s_line.open ? s_line.port : nullptr;
}

void CloseLineDrawing() {
    if (s_line.holder) {
        if (VirtualDc* dc = s_line.holder->dc()) {
            plat::SetROP2(dc->hdc(), plat::R2_COPYPEN);
            dc->m_style = 0;
        }
        delete s_line.holder;
    }
    s_line.holder = nullptr;
    s_line.open = false;
    s_line.port = nullptr;
}

void oNativePort::startDeluxeLine(int32_t width, const Color& color, int32_t style, int32_t mode) {
    if (s_line.open) {
        Assert(__LINE__, "missing endLine");
        // The old line's DC reference would otherwise be held for ever.
        CloseLineDrawing();
    }
    s_line.open = true;
    s_line.port = this;
    s_line.holder = new (std::nothrow) PortDcHolder(this);
    if (!s_line.holder)
        return;
    VirtualDc* dc = s_line.holder->dc();
    if (!dc)
        return;
    dc->m_width = width;
    dc->m_color = color;
    dc->m_style = style;
    // Pattern gaps take the DC's background colour.
    plat::SetBkColor(dc->hdc(), ColorToRgb(m_backColor));
    plat::SetBkMode(dc->hdc(), plat::OPAQUE);
    dc->setRopByMode(mode);
}

void oNativePort::moveTo(int32_t x, int32_t y) {
    s_line.x = x;
    s_line.y = y;
}

void oNativePort::move(int32_t dx, int32_t dy) {
    s_line.x += dx;
    s_line.y += dy;
}

void oNativePort::lineTo(int32_t x, int32_t y) {
    if (!s_line.open)
        return;
    if (s_line.holder && s_line.holder->dc())
        s_line.holder->dc()->drawThickLine(s_line.x + m_originX, s_line.y + m_originY,
                                           x + m_originX, y + m_originY);
    s_line.x = x;
    s_line.y = y;
}

void oNativePort::line(int32_t dx, int32_t dy) {
    if (!s_line.open)
        return;
    lineTo(s_line.x + dx, s_line.y + dy);
}

void oNativePort::dotAt(int32_t x, int32_t y) {
    if (!s_line.open) {
        Assert(__LINE__, "dotAt");
        return;
    }
    s_line.x = x;
    s_line.y = y;
    VirtualDc* dc = s_line.holder ? s_line.holder->dc() : nullptr;
    if (!dc || !dc->hdc())
        return;
    const int32_t dx = x + m_originX;
    const int32_t dy = y + m_originY;
    if (dc->m_width >= 2) {
        const int32_t r = dc->m_width / 2;
        ScopedSelect pen(dc->hdc(), nullPen(), false);
        ScopedSelect brush(dc->hdc(), plat::CreateSolidBrush(dc->nearestColor(dc->m_color)), true);
        plat::Ellipse(dc->hdc(), dx - r, dy - r, dx + r + 1, dy + r + 1);
    } else {
        plat::SetPixel(dc->hdc(), dx, dy, ColorToPaletteRgb(dc->m_color));
    }
}

void oNativePort::endLine() {
    CloseLineDrawing();
}

oNativePort::~oNativePort() {
    if (s_line.open)
        CloseLineDrawing();
    ForgetPortDcs(this);
}

// ---------------------------------------------------------------------------------------------
// Shapes

void oNativePort::paintZone(const Zone& zone, const Color& color) {
    PortDcHolder holder(this);
    if (!holder.dc())
        return;
    holder->m_color = color;
    holder->drawRect(offsetZone(zone, m_originX, m_originY));
}

void oNativePort::eraseZone(const Zone& zone) {
    const Color back = m_backColor;
    paintZone(zone, back);
}

void oNativePort::eraseArea(const GdiObjectRef& area) {
    plat::HRGN region = area.handle();
    if (!region)
        return;
    PortDcHolder holder(this);
    if (!holder.hdc())
        return;
    plat::OffsetRgn(region, m_originX, m_originY);
    {
        ScopedSelect brush(holder.hdc(), plat::CreateSolidBrush(ColorToPaletteRgb(m_backColor)),
                           true);
        plat::PaintRgn(holder.hdc(), region);
    }
    plat::OffsetRgn(region, -m_originX, -m_originY);
}

void oNativePort::paintPolygon(int32_t count, const oPoint* points, const Color* fill, int32_t mode,
                               int32_t outline, int32_t) {
    if (count < 1 || !points)
        return;
    PortDcHolder holder(this);
    VirtualDc* dc = holder.dc();
    if (!dc)
        return;
    std::vector<plat::POINT> moved(static_cast<std::size_t>(count));
    for (int32_t i = 0; i < count; ++i)
        moved[static_cast<std::size_t>(i)] = pt(points[i].x + m_originX, points[i].y + m_originY);
    if (fill)
        dc->m_color = *fill;
    dc->setRopByMode(mode);
    if (outline != 0)
        dc->m_width = outline;
    // Without a fill the outline is the port's own colour, never what an earlier call left.
    const Color pen = (outline != 0 || !fill) ? m_foreColor : dc->m_color;
    dc->drawPolygon(moved.data(), count, fill != nullptr, pen);
}

void oNativePort::frameZone(const Zone& zone, int32_t width, const Color& color, int32_t style,
                            int32_t mode) {
    PortDcHolder holder(this);
    VirtualDc* dc = holder.dc();
    if (!dc)
        return;
    dc->m_width = width;
    dc->m_color = color;
    dc->m_style = style;
    dc->setRopByMode(mode);
    dc->frameRect(offsetZone(zone, m_originX, m_originY));
}

void oNativePort::paintCircle(const Zone& zone) {
    PortDcHolder holder(this);
    VirtualDc* dc = holder.dc();
    if (!dc || !dc->hdc())
        return;
    dc->m_color = m_foreColor;
    const Zone z = offsetZone(zone, m_originX, m_originY);
    ScopedSelect pen(dc->hdc(), nullPen(), false);
    ScopedSelect brush(dc->hdc(), plat::CreateSolidBrush(dc->nearestColor(m_foreColor)), true);
    plat::Ellipse(dc->hdc(), z.left, z.top, z.right, z.bottom);
}

void oNativePort::paintHorn(const Zone& zone, int32_t width, int32_t direction, int32_t vertical) {
    PortDcHolder holder(this);
    VirtualDc* dc = holder.dc();
    if (!dc)
        return;
    dc->m_width = width;
    dc->m_color = m_foreColor;
    dc->m_color2 = m_backColor;
    dc->fillHorn(offsetZone(zone, m_originX, m_originY), direction, vertical != 0);
}

void oNativePort::integralSign(const Zone& zone, int32_t step, int32_t count, int32_t flags,
                               int32_t width, int32_t orientation) {
    PortDcHolder holder(this);
    VirtualDc* dc = holder.dc();
    if (!dc || !dc->hdc())
        return;
    plat::HDC hdc = dc->hdc();
    dc->m_width = width;
    dc->m_color = m_foreColor;
    dc->m_color2 = m_backColor;
    const bool longStem = (flags & 0x10) != 0;
    const int32_t r = (width + 3) / 4;

    Zone glyph = zone;
    for (int32_t i = 0; i < count; ++i) {
        dc->fillIntegralGlyph(offsetZone(glyph, m_originX, m_originY), longStem, orientation);
        if (orientation == 0)
            ZoneOffset(glyph, step, 0);
        else
            ZoneOffset(glyph, 0, orientation > 0 ? -step : step);
    }
    if ((flags & 3) == 0)
        return;

    if (orientation == 0) {
        const int32_t product = (zone.right - zone.left) * count;
        const int32_t centre = (zone.top + zone.bottom) / 2;
        Zone ring{
            zone.left, centre - step / 2, zone.left + product + (product & 1), centre + step / 2, 0,
            0};
        ring = offsetZone(ring, m_originX, m_originY);
        ScopedSelect pen(hdc, nullPen(), false);
        ScopedSelect brush(hdc, plat::CreateSolidBrush(ColorToPaletteRgb(m_foreColor)), true);
        plat::POINT points[40];
        if ((flags & 2) && ArrowRingPoints(ring, r, (flags & 1) == 0, points)) {
            dc->fillBezier(points, 40);
        } else {
            PlainRingPoints(ring, r, points);
            dc->fillBezier(points, 28);
        }
        return;
    }

    // Turned: the ring is an outlined ellipse along the signs, with an optional arrowhead.
    const int32_t cx = (zone.left + zone.right) / 2;
    const int32_t span = (zone.bottom - zone.top) * count;
    Zone ring{cx - step / 2, 0, cx + step / 2, 0, 0, 0};
    if (orientation < 0) {
        ring.top = zone.top;
        ring.bottom = zone.top + span;
    } else {
        ring.bottom = zone.bottom;
        ring.top = zone.bottom - span;
    }
    ring = offsetZone(ring, m_originX, m_originY);
    ScopedSelect pen(hdc, plat::CreatePen(plat::PS_SOLID, r, ColorToPaletteRgb(m_foreColor)), true);
    ScopedSelect brush(hdc, nullBrush(), false);
    if ((flags & 2) == 0) {
        plat::Arc(hdc, ring.left, ring.top, ring.right, ring.bottom, ring.left, ring.top, ring.left,
                  ring.top);
        return;
    }
    const int32_t rcx = (ring.left + ring.right) / 2;
    const int32_t cy = (ring.top + ring.bottom) / 2;
    int32_t A, Bv, y;
    if (flags & 1) {
        A = ring.top;
        Bv = ring.top + 2 * r;
        y = ring.top + r;
    } else {
        A = ring.bottom - 2 * r;
        Bv = ring.bottom;
        y = ring.bottom;
    }
    if (orientation < 0) {
        const int32_t a2 = 2 * cy - Bv;
        const int32_t b2 = 2 * cy - A;
        A = a2;
        Bv = b2;
        y = 2 * cy - y;
    }
    const int32_t X1 = orientation < 0 ? rcx : ring.left;
    const int32_t X2 = orientation < 0 ? ring.right : rcx;
    const int32_t d = step / 6;
    const int32_t xa = orientation > 0 ? rcx + (d - r) : rcx + (r - d);
    plat::MoveToEx(hdc, xa, y + d, nullptr);
    plat::LineTo(hdc, orientation > 0 ? xa - d : xa + d, y);
    plat::LineTo(hdc, xa, y - d);
    int32_t sx, sy, ex, ey;
    if (flags & 1) {
        if (orientation < 0) {
            sx = X2, sy = A, ex = X1, ey = Bv;
        } else {
            sx = X1, sy = Bv, ex = X2, ey = A;
        }
    } else {
        if (orientation > 0) {
            sx = X2, sy = Bv, ex = X1, ey = A;
        } else {
            sx = X1, sy = A, ex = X2, ey = Bv;
        }
    }
    plat::Arc(hdc, ring.left, ring.top, ring.right, ring.bottom, sx, sy, ex, ey);
}

// ---------------------------------------------------------------------------------------------
// Clip and pixels

void oNativePort::clipToZone(const Zone* zone) {
    Zone clip = m_bounds;
    if (zone) {
        if (!ZoneIntersect(m_bounds, *zone, clip)) {
            clip.right = clip.left; // nothing: an empty region
            clip.bottom = clip.top;
        }
    }
    clip.ref1 = m_clip.ref1;
    clip.ref2 = m_clip.ref2;
    const bool empty = clip.right <= clip.left || clip.bottom <= clip.top;
    if (!empty) {
        clip.right += 1;
        clip.bottom += 1;
    }
    m_clip = clip;
    PortDcHolder holder(this);
    VirtualDc* dc = holder.dc();
    if (!dc)
        return;
    plat::HRGN region = plat::CreateRectRgn(clip.left + m_originX, clip.top + m_originY,
                                            clip.right + m_originX, clip.bottom + m_originY);
    if (PaintRegionPort() == this && PaintRegion())
        plat::CombineRgn(region, region, PaintRegion(), plat::RGN_AND);
    dc->selectClip(region);
    plat::DeleteObject(region);
}

// The pixel editors work on black-and-white pictures whose origin is the device's, so a pixel is
// addressed at its device position and is set when it is exactly black, whatever colours the port
// draws with.
bool oNativePort::isPixelSet(int32_t x, int32_t y) {
    PortDcHolder holder(this);
    if (!holder.hdc())
        return false;
    const plat::COLORREF c = plat::GetPixel(holder.hdc(), x, y);
    return c != plat::CLR_INVALID && (c & 0xFFFFFF) == 0;
}

void oNativePort::setPixel(int32_t x, int32_t y, bool on) {
    PortDcHolder holder(this);
    if (!holder.hdc())
        return;
    plat::SetPixel(holder.hdc(), x, y, on ? plat::RGB(0, 0, 0) : plat::RGB(0xFF, 0xFF, 0xFF));
}

// ---------------------------------------------------------------------------------------------
// Masked blits

namespace {

// A memory DC with a bitmap selected, cleaned up at scope end.
struct ScratchDc {
    plat::HDC dc = nullptr;
    plat::HBITMAP bitmap = nullptr;
    plat::HGDIOBJ old = nullptr;
    ScratchDc(plat::HDC like, int32_t w, int32_t h, bool mono) {
        dc = plat::CreateCompatibleDC(like);
        bitmap = mono ? plat::CreateBitmap(w, h, 1, 1, nullptr)
                      : plat::CreateCompatibleBitmap(like, w, h);
        if (dc && bitmap)
            old = plat::SelectObject(dc, bitmap);
    }
    ~ScratchDc() {
        if (dc && old)
            plat::SelectObject(dc, old);
        if (bitmap)
            plat::DeleteObject(bitmap);
        if (dc)
            plat::DeleteDC(dc);
    }
    ScratchDc(const ScratchDc&) = delete;
    ScratchDc& operator=(const ScratchDc&) = delete;
};

} // namespace

void TransparentCopy(plat::HDC destination, int32_t x, int32_t y, int32_t w, int32_t h,
                     plat::HDC source, int32_t sx, int32_t sy, plat::COLORREF transparent) {
    if (w <= 0 || h <= 0)
        return;
    // Source copy, a mask of the transparent pixels, its inverse and the working result.
    ScratchDc src(destination, w, h, false);
    ScratchDc mask(destination, w, h, true);
    ScratchDc inverse(destination, w, h, true);
    ScratchDc work(destination, w, h, false);
    plat::SetMapMode(work.dc, plat::GetMapMode(destination));
    plat::BitBlt(src.dc, 0, 0, w, h, source, sx, sy, plat::SRCCOPY);
    // Mono from colour: pixels equal to the source's background colour become 1.
    const plat::COLORREF oldBk = plat::SetBkColor(src.dc, transparent);
    plat::BitBlt(mask.dc, 0, 0, w, h, src.dc, 0, 0, plat::SRCCOPY);
    plat::SetBkColor(src.dc, oldBk);
    plat::BitBlt(inverse.dc, 0, 0, w, h, mask.dc, 0, 0, plat::NOTSRCCOPY);
    // Mono to colour: 0 takes the text colour, 1 the background colour.
    plat::SetTextColor(work.dc, plat::RGB(0, 0, 0));
    plat::SetBkColor(work.dc, plat::RGB(255, 255, 255));
    plat::SetTextColor(src.dc, plat::RGB(0, 0, 0));
    plat::SetBkColor(src.dc, plat::RGB(255, 255, 255));
    plat::BitBlt(work.dc, 0, 0, w, h, destination, x, y, plat::SRCCOPY);
    // Keep the destination where the source is transparent ...
    plat::BitBlt(work.dc, 0, 0, w, h, mask.dc, 0, 0, plat::SRCAND);
    // ... and the source elsewhere.
    plat::BitBlt(src.dc, 0, 0, w, h, inverse.dc, 0, 0, plat::SRCAND);
    plat::BitBlt(work.dc, 0, 0, w, h, src.dc, 0, 0, plat::SRCPAINT);
    plat::BitBlt(destination, x, y, w, h, work.dc, 0, 0, plat::SRCCOPY);
}

void TransparentBlit(plat::HDC destination, int32_t x, int32_t y, int32_t w, int32_t h,
                     plat::HDC source, int32_t sx, int32_t sy, int32_t sw, int32_t sh,
                     plat::COLORREF transparent) {
    if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0)
        return;
    if (w == sw && h == sh) {
        TransparentCopy(destination, x, y, w, h, source, sx, sy, transparent);
        return;
    }
    // Bring the destination area to the source's size, combine there, and stretch back.
    ScratchDc area(destination, sw, sh, false);
    plat::StretchBlt(area.dc, 0, 0, sw, sh, destination, x, y, w, h, plat::SRCCOPY);
    TransparentCopy(area.dc, 0, 0, sw, sh, source, sx, sy, transparent);
    plat::StretchBlt(destination, x, y, w, h, area.dc, 0, 0, sw, sh, plat::SRCCOPY);
}

// ---------------------------------------------------------------------------------------------
// Cut-corner frame

namespace {

void octagon(const Zone& z, plat::POINT p[8]) {
    const int32_t L = z.left, T = z.top, R = z.right, B = z.bottom;
    p[0] = pt(L, B - 1);
    p[1] = pt(L, T + 1);
    p[2] = pt(L + 1, T);
    p[3] = pt(R - 1, T);
    p[4] = pt(R, T + 1);
    p[5] = pt(R, B - 1);
    p[6] = pt(R - 1, B);
    p[7] = pt(L, B);
}

void polyline(plat::HDC dc, const plat::POINT* p, int n, const Color& color) {
    ScopedSelect pen(dc, plat::CreatePen(plat::PS_SOLID, 1, ColorToPaletteRgb(color)), true);
    plat::Polyline(dc, p, n);
}

} // namespace

void DrawCutCornerFrame(oNativePort& port, const Zone& zone) {
    PortDcHolder holder(&port);
    plat::HDC dc = holder.hdc();
    if (!dc)
        return;
    const Zone z = offsetZone(zone, port.originX(), port.originY());
    plat::POINT p[9];
    Zone in1 = z;
    ZoneInset(in1, 1, 1);
    octagon(in1, p);
    p[8] = p[0];
    polyline(dc, p, 9, kColorBlack);

    Zone in3 = z;
    ZoneInset(in3, 3, 3);
    octagon(in3, p);
    polyline(dc, p + 4, 4, kColorBlack);
    plat::POINT first[4] = {p[0], p[1], p[2], p[3]};
    first[3].x += 1;
    polyline(dc, first, 4, kColorLightGrey);

    Zone in2 = z;
    ZoneInset(in2, 2, 2);
    octagon(in2, p);
    p[8] = p[0];
    polyline(dc, p, 9, kColorLightGrey);
}
