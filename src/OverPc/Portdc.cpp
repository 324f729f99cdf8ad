#include "OverPc/Portdc.h"

#include "OverPc/PERROR.h"
#include "OverPc/shell/CQVApp.h"
#include "OverPc/shell/Pwindow.h"
#include "OverSrcs/oWindows.h"
#include "plat/Messages.h"
#include "plat/Metafile.h"
#include "plat/Resources.h"
#include "plat/Window.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <list>
#include <map>
#include <memory>
#include <type_traits>

namespace {

void Assert(unsigned line, const char* text) {
    oAssertionFailure(__FILE__, line, text);
}

// ---- The reference map of device records ----

// Never destroyed: ports held by namespace-scope owners (the screen's measuring port) release
// their records while the program exits, after function-local statics are gone.
std::map<const PortDevice*, int32_t>& refMap() {
    static auto* s_map = new std::map<const PortDevice*, int32_t>;
    return *s_map;
}

PortDevice* makeDevice(int32_t kind) {
    return NewPortDevice(kind);
}

// ---- The per-kind wrapper lists ----

struct DcEntry {
    std::unique_ptr<VirtualDc> wrapper;
    int32_t count = 0;
};

std::list<DcEntry>& dcList(int32_t kind) {
    // Never destroyed, like the reference map.
    static auto* s_lists = new std::list<DcEntry>[kDeviceKindCount];
    if (kind < 0 || kind >= kDeviceKindCount)
        kind = kDeviceDisplay;
    return s_lists[kind];
}

// ---- Paint state ----

plat::HDC s_paintDc = nullptr;
plat::PAINTSTRUCT s_paint;
const oNativePort* s_paintRegionPort = nullptr;
plat::HRGN s_paintRegion = nullptr;

// ---- Palettes ----

plat::HPALETTE s_displayPalette = nullptr;
plat::HPALETTE s_memoryPalette = nullptr;
bool s_paletteHandling = true;

// ---- Printer marker ----

bool s_printerMarker = false;

plat::HPALETTE selectAppPalette(plat::HDC dc) {
    if (!dc || !s_paletteHandling || !s_displayPalette)
        return nullptr;
    plat::HPALETTE old = plat::SelectPalette(dc, s_displayPalette, plat::FALSE);
    plat::RealizePalette(dc);
    return old;
}

void restorePalette(plat::HDC dc, plat::HPALETTE old) {
    if (dc && old)
        plat::SelectPalette(
            dc, static_cast<plat::HPALETTE>(plat::GetStockObject(plat::DEFAULT_PALETTE)),
            plat::FALSE);
}

VirtualDc* makeWrapper(oMeasurePort* port, int32_t kind) {
    switch (kind) {
    case kDeviceMemory:
        return new MemoryDc(port);
    case kDevicePrinter:
        // The printer wrapper is made by the print job (AttachPrinterDc); without one the port
        // draws nowhere.
        return new PrinterDc(port, nullptr);
    case kDeviceListbox:
        return new ListboxDc(port);
    case kDeviceMetafile:
        return new MetafileDc(port);
    case kDeviceEnhMetafile:
        return new EnhMetafileDc(port);
    case kDeviceUnknown:
        return new UnknownDc(port);
    default:
        return new DisplayDc(port);
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Device records

bool HasDeviceRecord(const PortDevice* device) {
    const auto v = reinterpret_cast<std::intptr_t>(device);
    return device != nullptr && v != -1 && v != -111;
}

PortDevice* NewPortDevice(int32_t kind) {
    auto* d = new PortDevice;
    d->kind = (kind >= 0 && kind < kDeviceKindCount) ? kind : kDeviceDisplay;
    refMap()[d] = 1;
    return d;
}

int32_t PortDeviceRefCount(const PortDevice* device) {
    auto it = refMap().find(device);
    return it == refMap().end() ? 0 : it->second;
}

namespace {
// The reference count of a device made here; null, after an assertion, for one that is not
// ours (or already freed): counting or freeing it would corrupt the heap.
int32_t* refCountOf(PortDevice* device) {
    if (!HasDeviceRecord(device))
        return nullptr;
    auto it = refMap().find(device);
    if (it == refMap().end()) {
        Assert(__LINE__, "ps != _qvPortRefMap.end()");
        return nullptr;
    }
    return &it->second;
}
} // namespace

void PortDevice::addRef(PortDevice* device) {
    if (int32_t* count = refCountOf(device))
        ++*count;
}

void PortDevice::release(PortDevice* device) {
    int32_t* count = refCountOf(device);
    if (count && --*count <= 0) {
        refMap().erase(device);
        delete device;
    }
}

void InstallPortDeviceHooks() {
    PortDeviceHooks hooks;
    hooks.make = &makeDevice;
    hooks.addRef = &PortDevice::addRef;
    hooks.release = &PortDevice::release;
    SetPortDeviceHooks(hooks);
}

int32_t PortDeviceKind(const oMeasurePort* port) {
    if (!port || !HasDeviceRecord(port->device()))
        return kDeviceDisplay;
    return port->device()->kind;
}

void SetPortDeviceBitmap(PortDevice* device, plat::HBITMAP bitmap) {
    if (HasDeviceRecord(device))
        device->creatorWord = plat::IdFromHandle(bitmap);
}

plat::HBITMAP PortDeviceBitmap(const PortDevice* device) {
    if (!HasDeviceRecord(device))
        return nullptr;
    return plat::HandleFromId<plat::HBITMAP>(device->creatorWord);
}

WindowHandle oNativePort::windowHandle() const {
    if (!HasDeviceRecord(m_device))
        return 0;
    return reinterpret_cast<WindowHandle>(m_device->window);
}

void oNativePort::setPort() {
    AcquirePortDc(this, kDeviceOwnKind);
}

void oNativePort::unsetPort() {
    ReleasePortDc(this);
}

// ---------------------------------------------------------------------------------------------
// Colours

plat::COLORREF ColorToPaletteRgb(const Color& color) {
    return 0x02000000u | ColorToRgb(color);
}

plat::COLORREF ColorToRgb(const Color& color) {
    return plat::RGB(color.r, color.g, color.b);
}

// ---------------------------------------------------------------------------------------------
// VirtualDc

VirtualDc::VirtualDc(oMeasurePort* owner, plat::HDC dc)
    : m_owner(owner)
    , m_dc(dc) {}

VirtualDc::~VirtualDc() = default;

bool VirtualDc::isFor(const oMeasurePort* port) const {
    return port == m_owner;
}

void VirtualDc::selectClip(plat::HRGN region) {
    plat::SelectClipRgn(m_dc, region);
}

void VirtualDc::drawText(const char* text, int32_t length, int32_t x, int32_t y, const Color& color,
                         const plat::RECT* clip, int32_t mode) {
    if (!text)
        return;
    const plat::UINT count = static_cast<plat::UINT>(length < 0 ? std::strlen(text) : length);
    if (mode == 0 || mode == 1) {
        plat::SetTextColor(m_dc, ColorToRgb(color));
        const int oldMode = plat::SetBkMode(m_dc, plat::TRANSPARENT);
        const plat::UINT oldAlign = plat::SetTextAlign(m_dc, plat::TA_BASELINE);
        plat::ExtTextOut(m_dc, x, y, clip ? plat::ETO_CLIPPED : 0, clip, text, count, nullptr);
        plat::SetTextAlign(m_dc, oldAlign);
        plat::SetBkMode(m_dc, oldMode);
        return;
    }
    // Exclusive-or: the text in the colour on black in a scratch bitmap, inverted onto the DC, so
    // drawing it twice leaves the picture as it was. (x, y) is the block's top-left.
    const TextExtent extent = textExtent(text, static_cast<int32_t>(count));
    int32_t w = extent.width;
    int32_t h = extent.height;
    // The block is the text's extent, cut to the clip rectangle when one is given.
    int32_t srcX = 0;
    int32_t srcY = 0;
    int32_t dstX = x;
    int32_t dstY = y;
    if (clip) {
        const int32_t l = std::max<int32_t>(x, clip->left);
        const int32_t t = std::max<int32_t>(y, clip->top);
        const int32_t r = std::min<int32_t>(x + w, clip->right);
        const int32_t b = std::min<int32_t>(y + h, clip->bottom);
        if (r <= l || b <= t)
            return;
        srcX = l - x;
        srcY = t - y;
        dstX = l;
        dstY = t;
        w = r - l;
        h = b - t;
        w += srcX; // the scratch bitmap still holds the whole text from (0, 0)
        h += srcY;
    }
    if (w <= 0 || h <= 0)
        return;
    plat::HDC mem = createCompatible();
    if (!mem)
        return;
    plat::HBITMAP bitmap = plat::CreateCompatibleBitmap(m_dc, w, h);
    plat::HGDIOBJ oldBitmap = plat::SelectObject(mem, bitmap);
    plat::HGDIOBJ font = plat::GetCurrentObject(m_dc, plat::OBJ_FONT);
    plat::HGDIOBJ oldFont = font ? plat::SelectObject(mem, font) : nullptr;
    plat::SetTextColor(mem, ColorToRgb(color));
    plat::SetBkColor(mem, plat::RGB(0, 0, 0));
    plat::SetBkMode(mem, plat::OPAQUE);
    plat::SetTextAlign(mem, plat::TA_TOP | plat::TA_LEFT);
    plat::RECT all{0, 0, w, h};
    plat::ExtTextOut(mem, 0, 0, plat::ETO_OPAQUE, &all, text, count, nullptr);
    plat::BitBlt(m_dc, dstX, dstY, w - srcX, h - srcY, mem, srcX, srcY, plat::SRCINVERT);
    if (oldFont)
        plat::SelectObject(mem, oldFont);
    plat::SelectObject(mem, oldBitmap);
    plat::DeleteObject(bitmap);
    plat::DeleteDC(mem);
}

TextExtent VirtualDc::textExtent(const char* text, int32_t length) {
    plat::SIZE size;
    const int count = length < 0 ? static_cast<int>(std::strlen(text)) : length;
    plat::GetTextExtentPoint32(m_dc, text, count, &size);
    return TextExtent{static_cast<int32_t>(size.cx), static_cast<int32_t>(size.cy)};
}

bool VirtualDc::blitFrom(int32_t x, int32_t y, int32_t w, int32_t h, plat::HDC source, int32_t sx,
                         int32_t sy, plat::DWORD rop) {
    return plat::StretchBlt(m_dc, x, y, w, h, source, sx, sy, w, h, rop) != 0;
}

bool VirtualDc::blitTo(plat::HDC destination, int32_t x, int32_t y, int32_t w, int32_t h,
                       int32_t sx, int32_t sy, plat::DWORD rop) {
    return plat::StretchBlt(destination, x, y, w, h, m_dc, sx, sy, w, h, rop) != 0;
}

bool VirtualDc::stretchFrom(int32_t x, int32_t y, int32_t w, int32_t h, plat::HDC source,
                            int32_t sx, int32_t sy, int32_t sw, int32_t sh, plat::DWORD rop) {
    return plat::StretchBlt(m_dc, x, y, w, h, source, sx, sy, sw, sh, rop) != 0;
}

bool VirtualDc::stretchTo(plat::HDC destination, int32_t x, int32_t y, int32_t w, int32_t h,
                          int32_t sx, int32_t sy, int32_t sw, int32_t sh, plat::DWORD rop) {
    return plat::StretchBlt(destination, x, y, w, h, m_dc, sx, sy, sw, sh, rop) != 0;
}

plat::COLORREF VirtualDc::nearestColor(const Color& color) {
    const plat::COLORREF c = ColorToPaletteRgb(color);
    const plat::COLORREF n = plat::GetNearestColor(m_dc, c);
    return n == plat::CLR_INVALID ? c : n;
}

plat::COLORREF VirtualDc::getPixel(int32_t x, int32_t y) {
    return plat::GetPixel(m_dc, x, y);
}

void VirtualDc::invertZone(const Zone& zone) {
    const plat::RECT r{zone.left, zone.top, zone.right, zone.bottom};
    plat::InvertRect(m_dc, &r);
}

bool VirtualDc::drawIcon(int32_t x, int32_t y, plat::HICON icon) {
    return icon && plat::DrawIcon(m_dc, x, y, icon) != plat::FALSE;
}

bool VirtualDc::playEnhMetaFile(plat::HENHMETAFILE metafile, const plat::RECT& rect) {
    return m_dc && plat::PlayEnhMetaFile(m_dc, metafile, &rect) != 0;
}

bool VirtualDc::playMetaFile(plat::HMETAFILE metafile) {
    return m_dc && plat::PlayMetaFile(m_dc, metafile) != 0;
}

plat::HDC VirtualDc::createCompatible() {
    return plat::CreateCompatibleDC(m_dc);
}

void VirtualDc::fillBezier(const plat::POINT* points, int32_t count) {
    plat::BeginPath(m_dc);
    plat::PolyBezier(m_dc, points, static_cast<plat::DWORD>(count));
    plat::EndPath(m_dc);
    plat::StrokeAndFillPath(m_dc);
}

void VirtualDc::strokeBezier(const plat::POINT* points, int32_t count) {
    plat::BeginPath(m_dc);
    plat::PolyBezier(m_dc, points, static_cast<plat::DWORD>(count));
    plat::EndPath(m_dc);
    plat::StrokePath(m_dc);
}

bool VirtualDc::blitToPort(oMeasurePort* port, int32_t x, int32_t y, int32_t w, int32_t h,
                           int32_t sx, int32_t sy, plat::DWORD rop) {
    PortDcHolder other(port);
    return blitTo(other.hdc(), x, y, w, h, sx, sy, rop);
}

bool VirtualDc::blitFromPort(int32_t x, int32_t y, int32_t w, int32_t h, oMeasurePort* port,
                             int32_t sx, int32_t sy, plat::DWORD rop) {
    PortDcHolder other(port);
    return blitFrom(x, y, w, h, other.hdc(), sx, sy, rop);
}

bool VirtualDc::stretchFromPort(int32_t x, int32_t y, int32_t w, int32_t h, oMeasurePort* port,
                                int32_t sx, int32_t sy, int32_t sw, int32_t sh, plat::DWORD rop) {
    PortDcHolder other(port);
    return stretchFrom(x, y, w, h, other.hdc(), sx, sy, sw, sh, rop);
}

// ---- Kinds ----

DisplayDc::DisplayDc(oMeasurePort* owner)
    : VirtualDc(owner, nullptr) {
    const PortDevice* device = owner ? owner->device() : nullptr;
    if (HasDeviceRecord(device) && device->window && plat::IsWindow(device->window))
        m_window = device->window;
    m_dc = s_paintDc ? s_paintDc : plat::GetDC(m_window);
    m_oldPalette = selectAppPalette(m_dc);
}

DisplayDc::~DisplayDc() {
    restorePalette(m_dc, m_oldPalette);
    if (m_dc && m_dc != s_paintDc)
        plat::ReleaseDC(m_window, m_dc);
}

bool DisplayDc::isFor(const oMeasurePort* port) const {
    const PortDevice* device = port ? port->device() : nullptr;
    plat::HWND w = nullptr;
    if (HasDeviceRecord(device) && device->window && plat::IsWindow(device->window))
        w = device->window;
    return w == m_window;
}

MemoryDc::MemoryDc(oMeasurePort* owner)
    : VirtualDc(owner, nullptr) {
    m_dc = plat::CreateCompatibleDC(nullptr);
    plat::HBITMAP bitmap = owner ? PortDeviceBitmap(owner->device()) : nullptr;
    if (m_dc && bitmap && plat::GetObjectType(bitmap) == plat::OBJ_BITMAP)
        m_oldBitmap = plat::SelectObject(m_dc, bitmap);
    if (m_dc && s_memoryPalette && s_paletteHandling)
        m_oldPalette = plat::SelectPalette(m_dc, s_memoryPalette, plat::FALSE);
}

MemoryDc::~MemoryDc() {
    if (!m_dc)
        return;
    if (m_oldBitmap)
        plat::SelectObject(m_dc, m_oldBitmap);
    restorePalette(m_dc, m_oldPalette);
    plat::DeleteDC(m_dc);
}

PrinterDc::PrinterDc(oMeasurePort* owner, plat::HDC dc)
    : VirtualDc(owner, dc) {
    s_printerMarker = true;
}

PrinterDc::~PrinterDc() {
    s_printerMarker = false;
}

bool PrinterDc::isFor(const oMeasurePort*) const {
    return s_printerMarker;
}

ListboxDc::ListboxDc(oMeasurePort* owner)
    : VirtualDc(owner, HasDeviceRecord(owner ? owner->device() : nullptr)
                           ? owner->device()->borrowedDc
                           : nullptr) {}

MetafileDc::MetafileDc(oMeasurePort* owner)
    : VirtualDc(owner, HasDeviceRecord(owner ? owner->device() : nullptr)
                           ? owner->device()->borrowedDc
                           : nullptr) {}

void MetafileDc::selectClip(plat::HRGN) {}

TextExtent MetafileDc::textExtent(const char* text, int32_t length) {
    plat::HDC display = plat::CreateDC("DISPLAY", nullptr, nullptr, nullptr);
    plat::HGDIOBJ font = plat::GetCurrentObject(m_dc, plat::OBJ_FONT);
    plat::HGDIOBJ old = font ? plat::SelectObject(display, font) : nullptr;
    plat::SIZE size;
    const int count = length < 0 ? static_cast<int>(std::strlen(text)) : length;
    plat::GetTextExtentPoint32(display, text, count, &size);
    if (old)
        plat::SelectObject(display, old);
    plat::DeleteDC(display);
    return TextExtent{static_cast<int32_t>(size.cx), static_cast<int32_t>(size.cy)};
}

plat::HDC MetafileDc::createCompatible() {
    return plat::CreateCompatibleDC(nullptr);
}

void MetafileDc::fillBezier(const plat::POINT* points, int32_t count) {
    const std::vector<plat::POINT> flat = FlattenBezier(points, count);
    if (!flat.empty())
        plat::Polygon(m_dc, flat.data(), static_cast<int>(flat.size()));
}

void MetafileDc::strokeBezier(const plat::POINT* points, int32_t count) {
    const std::vector<plat::POINT> flat = FlattenBezier(points, count);
    if (flat.empty())
        return;
    plat::Polyline(m_dc, flat.data(), static_cast<int>(flat.size()));
    plat::LineTo(m_dc, flat.front().x, flat.front().y);
}

EnhMetafileDc::EnhMetafileDc(oMeasurePort* owner)
    : VirtualDc(owner, HasDeviceRecord(owner ? owner->device() : nullptr)
                           ? owner->device()->borrowedDc
                           : nullptr) {}

void EnhMetafileDc::selectClip(plat::HRGN) {}

plat::HDC EnhMetafileDc::createCompatible() {
    return plat::CreateCompatibleDC(nullptr);
}

UnknownDc::UnknownDc(oMeasurePort* owner)
    : VirtualDc(owner, nullptr) {
    m_dc = s_paintDc ? s_paintDc : plat::GetDC(nullptr);
    m_oldPalette = selectAppPalette(m_dc);
}

UnknownDc::~UnknownDc() {
    restorePalette(m_dc, m_oldPalette);
    if (m_dc && m_dc != s_paintDc)
        plat::ReleaseDC(nullptr, m_dc);
}

// ---------------------------------------------------------------------------------------------
// Bézier flattening

namespace {

struct FPoint {
    double x;
    double y;
};

constexpr int kMaxFlattenDepth = 16;

// Squared distance of p from the line through a and b, or from a when the chord is a point.
double distanceSquared(FPoint p, FPoint a, FPoint b) {
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double len2 = dx * dx + dy * dy;
    if (len2 == 0.0)
        return (p.x - a.x) * (p.x - a.x) + (p.y - a.y) * (p.y - a.y);
    const double cross = (p.x - a.x) * dy - (p.y - a.y) * dx;
    return cross * cross / len2;
}

void flatten(FPoint p0, FPoint p1, FPoint p2, FPoint p3, int depth, std::vector<FPoint>& out) {
    if (depth >= kMaxFlattenDepth ||
        (distanceSquared(p1, p0, p3) <= 1.0 && distanceSquared(p2, p0, p3) <= 1.0)) {
        out.push_back(p3);
        return;
    }
    // Midpoint subdivision: the halves' points are sums of the originals weighted by 1/2, 1/4
    // and 1/8.
    const FPoint a{0.5 * (p0.x + p1.x), 0.5 * (p0.y + p1.y)};
    const FPoint b{0.25 * (p0.x + 2 * p1.x + p2.x), 0.25 * (p0.y + 2 * p1.y + p2.y)};
    const FPoint m{0.125 * (p0.x + 3 * p1.x + 3 * p2.x + p3.x),
                   0.125 * (p0.y + 3 * p1.y + 3 * p2.y + p3.y)};
    const FPoint c{0.25 * (p1.x + 2 * p2.x + p3.x), 0.25 * (p1.y + 2 * p2.y + p3.y)};
    const FPoint d{0.5 * (p2.x + p3.x), 0.5 * (p2.y + p3.y)};
    flatten(p0, a, b, m, depth + 1, out);
    flatten(m, c, d, p3, depth + 1, out);
}

} // namespace

std::vector<plat::POINT> FlattenBezier(const plat::POINT* points, int32_t count) {
    std::vector<plat::POINT> result;
    if (!points || count < 1)
        return result;
    std::vector<FPoint> out;
    out.push_back({static_cast<double>(points[0].x), static_cast<double>(points[0].y)});
    for (int32_t i = 1; i + 2 < count; i += 3) {
        const FPoint p0 = out.back();
        const FPoint p1{static_cast<double>(points[i].x), static_cast<double>(points[i].y)};
        const FPoint p2{static_cast<double>(points[i + 1].x), static_cast<double>(points[i + 1].y)};
        const FPoint p3{static_cast<double>(points[i + 2].x), static_cast<double>(points[i + 2].y)};
        flatten(p0, p1, p2, p3, 0, out);
    }
    result.reserve(out.size());
    for (const FPoint& p : out)
        result.push_back(plat::POINT{static_cast<plat::LONG>(std::lround(p.x)),
                                     static_cast<plat::LONG>(std::lround(p.y))});
    return result;
}

// ---------------------------------------------------------------------------------------------
// The map

// A list longer than this is a leak of acquisitions, not a real need.
std::size_t PortDcListLimit = 0x0FFFFFFF;

VirtualDc* AcquirePortDc(oMeasurePort* port, int32_t kind) {
    if (kind == kDeviceOwnKind || kind < 0 || kind >= kDeviceKindCount)
        kind = PortDeviceKind(port);
    auto& list = dcList(kind);
    for (DcEntry& e : list) {
        if (e.wrapper->isFor(port)) {
            ++e.count;
            return e.wrapper.get();
        }
    }
    if (list.size() >= PortDcListLimit)
        Fail(errListTooLong);
    DcEntry entry;
    entry.wrapper.reset(makeWrapper(port, kind));
    entry.count = 1;
    list.push_back(std::move(entry));
    return list.back().wrapper.get();
}

namespace {

void releaseEntry(std::list<DcEntry>& list, std::list<DcEntry>::iterator it) {
    if (it->count <= 1)
        list.erase(it);
    else
        --it->count;
}

} // namespace

void ReleasePortDc(oMeasurePort* port) {
    if (!port || !HasDeviceRecord(port->device()))
        return;
    auto& list = dcList(PortDeviceKind(port));
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->wrapper->isFor(port)) {
            releaseEntry(list, it);
            return;
        }
    }
}

void DropPortDcs(int32_t kind) {
    if (kind == kDeviceOwnKind) {
        for (int32_t k = 0; k < kDeviceKindCount; ++k)
            dcList(k).clear();
        return;
    }
    dcList(kind).clear();
}

int32_t CachedPortDcCount(int32_t kind) {
    return static_cast<int32_t>(dcList(kind).size());
}

int32_t PortDcUseCount(const oMeasurePort* port) {
    for (const DcEntry& e : dcList(PortDeviceKind(port)))
        if (e.wrapper->isFor(port))
            return e.count;
    return 0;
}

// Called when a port dies: wrappers it owns that nobody else can match go with it.
void ForgetPortDcs(const oMeasurePort* port) {
    for (int32_t k = 0; k < kDeviceKindCount; ++k) {
        if (k == kDeviceDisplay || k == kDeviceUnknown || k == kDevicePrinter)
            continue; // matched by window or marker, not by owner; the owner is never read
        auto& list = dcList(k);
        for (auto it = list.begin(); it != list.end();) {
            if (it->wrapper->owner() == port)
                it = list.erase(it);
            else
                ++it;
        }
    }
}

PortDcHolder::PortDcHolder(oMeasurePort* port)
    : m_kind(PortDeviceKind(port))
    , m_dc(AcquirePortDc(port, m_kind)) {}

VirtualDc* PortDcHolder::dc() const {
    if (!m_dc)
        return nullptr;
    for (const DcEntry& e : dcList(m_kind))
        if (e.wrapper.get() == m_dc)
            return m_dc;
    m_dc = nullptr;
    return nullptr;
}

PortDcHolder::~PortDcHolder() {
    if (!m_dc)
        return;
    auto& list = dcList(m_kind);
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->wrapper.get() == m_dc) {
            releaseEntry(list, it);
            return;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Paint DC

plat::HDC BeginPortPaint(plat::HWND window) {
    DropPortDcs(kDeviceDisplay);
    s_paint = plat::PAINTSTRUCT{};
    s_paintDc = plat::BeginPaint(window, &s_paint);
    return s_paintDc;
}

void EndPortPaint(plat::HWND window) {
    plat::EndPaint(window, &s_paint);
    s_paintDc = nullptr;
    DropPortDcs(kDeviceDisplay);
}

void SetPaintDc(plat::HDC dc, int32_t kind) {
    DropPortDcs(kind);
    s_paintDc = dc;
}

void ClearPaintDc(int32_t kind) {
    DropPortDcs(kind);
    s_paintDc = nullptr;
}

plat::HDC CurrentPaintDc() {
    return s_paintDc;
}

void SetPaintRegion(const oNativePort* port, plat::HRGN region) {
    s_paintRegionPort = port;
    s_paintRegion = region;
}

void ClearPaintRegion() {
    s_paintRegionPort = nullptr;
    s_paintRegion = nullptr;
}

const oNativePort* PaintRegionPort() {
    return s_paintRegionPort;
}

plat::HRGN PaintRegion() {
    return s_paintRegion;
}

// ---------------------------------------------------------------------------------------------
// Printer

VirtualDc* AttachPrinterDc(oMeasurePort* port, plat::HDC dc) {
    auto& list = dcList(kDevicePrinter);
    for (DcEntry& e : list) {
        if (e.wrapper->isFor(port)) {
            ++e.count;
            return e.wrapper.get();
        }
    }
    DcEntry entry;
    entry.wrapper.reset(new PrinterDc(port, dc));
    entry.count = 1;
    list.push_back(std::move(entry));
    return list.back().wrapper.get();
}

bool PrinterMarkerExists() {
    return s_printerMarker;
}

namespace {
VirtualDc* cachedPrinter() {
    auto& list = dcList(kDevicePrinter);
    return list.empty() ? nullptr : list.front().wrapper.get();
}
} // namespace

int PrinterGetDeviceCaps(int index) {
    VirtualDc* dc = cachedPrinter();
    return dc ? plat::GetDeviceCaps(dc->hdc(), index) : 0;
}

int PrinterLPtoDP(plat::POINT* points, int count) {
    VirtualDc* dc = cachedPrinter();
    return dc ? plat::LPtoDP(dc->hdc(), points, count) : 0;
}

namespace {
PrinterJobCalls s_jobCalls;

// Runs job call `call` on the printer DC through a holder; 0 without a printer or a call.
template <class... Args>
int onPrinter(int (*call)(plat::HDC, Args...), bool checked, std::type_identity_t<Args>... args) {
    if (!call)
        return 0;
    VirtualDc* cached = cachedPrinter();
    if (!cached)
        return 0;
    // Only paints and shutdown drop wrappers, and they leave the printer's alone, so the cached
    // wrapper stays for the call without asking for it through its owner.
    const int result = call(cached->hdc(), args...);
    if (checked)
        FailPrintError(result);
    return result;
}
} // namespace

void SetPrinterJobCalls(const PrinterJobCalls& calls) {
    s_jobCalls = calls;
}

int PrinterEscape(int code, int inSize, const void* in, void* out) {
    return onPrinter(s_jobCalls.escape, false, code, inSize, in, out);
}

int PrinterStartDoc(const char* documentName) {
    return onPrinter(s_jobCalls.startDoc, true, documentName);
}

int PrinterEndDoc() {
    return onPrinter(s_jobCalls.endDoc, true);
}

int PrinterStartPage() {
    return onPrinter(s_jobCalls.startPage, true);
}

int PrinterEndPage() {
    return onPrinter(s_jobCalls.endPage, true);
}

int PrinterAbortDoc() {
    return onPrinter(s_jobCalls.abortDoc, true);
}

int PrinterSetAbortProc(int (*procedure)(plat::HDC, int)) {
    return onPrinter(s_jobCalls.setAbortProc, false, procedure);
}

void FailPrintError(int result) {
    if (result >= 1 || result == -2)
        return;
    switch (result) {
    case -3:
        Fail(errUserInterrupt);
    case -4:
        Fail(errPrintNoDiskSpace);
    case -5:
        Fail(errPrintNoMemory);
    default:
        Fail(errPrinterCheck);
    }
}

// ---------------------------------------------------------------------------------------------
// Palettes

namespace {

constexpr int kPaletteSize = 256;
constexpr int kReservedBlack = 236;
constexpr int kPaletteResourceId = 11008;

// Builds the table that the application palette is made from; raises 454 or 455.
void buildPaletteTable(plat::HDC display, std::vector<plat::PALETTEENTRY>& table) {
    // Clear the system palette with a palette of black no-collapse entries.
    std::vector<unsigned char> blackBytes(sizeof(plat::LOGPALETTE) +
                                          kReservedBlack * sizeof(plat::PALETTEENTRY));
    auto* black = reinterpret_cast<plat::LOGPALETTE*>(blackBytes.data());
    black->palVersion = 0x300;
    black->palNumEntries = kReservedBlack;
    for (int i = 0; i < kReservedBlack; ++i)
        black->palPalEntry[i] = plat::PALETTEENTRY{0, 0, 0, plat::PC_NOCOLLAPSE};
    plat::HPALETTE clear = plat::CreatePalette(black);
    if (!clear)
        Fail(errColorPaletteMemory);
    plat::HPALETTE old = plat::SelectPalette(display, clear, plat::FALSE);
    plat::RealizePalette(display);
    plat::SelectPalette(display, old, plat::FALSE);
    plat::DeleteObject(clear);

    table.assign(kPaletteSize, plat::PALETTEENTRY{});
    plat::GetSystemPaletteEntries(display, 0, 128, table.data());
    plat::GetSystemPaletteEntries(display, 128, 128, table.data() + 128);

    plat::HMODULE module = CQVApp::instance().m_hResources;
    plat::HRSRC res =
        plat::FindResource(module, plat::MAKEINTRESOURCE(kPaletteResourceId), plat::RT_RCDATA);
    plat::HGLOBAL data = res ? plat::LoadResource(module, res) : nullptr;
    const auto* words = data ? static_cast<const uint16_t*>(plat::LockResource(data)) : nullptr;
    const plat::DWORD size = res ? plat::SizeofResource(module, res) : 0;
    if (!words || size < kPaletteSize * 4 * sizeof(uint16_t))
        Fail(errColorPaletteLoad);
    const int start = (kPaletteSize - kReservedBlack) / 2;
    for (int i = 0, j = start; i < kPaletteSize; ++i) {
        plat::PALETTEENTRY& e = table[static_cast<std::size_t>(i)];
        if (e.peRed != 0 || e.peGreen != 0 || e.peBlue != 0)
            continue;
        const uint16_t* rec = words + 4 * (j % kPaletteSize);
        e.peRed = static_cast<plat::BYTE>(rec[0] & 0xFF);
        e.peGreen = static_cast<plat::BYTE>(rec[1] & 0xFF);
        e.peBlue = static_cast<plat::BYTE>(rec[2] & 0xFF);
        e.peFlags = static_cast<plat::BYTE>(rec[3] & 0xFF);
        ++j;
    }
}

} // namespace

plat::HPALETTE AppPalette() {
    return s_displayPalette;
}

void BuildAppPalette() {
    if (s_displayPalette)
        return;
    plat::HDC display = plat::CreateDC("DISPLAY", nullptr, nullptr, nullptr);
    std::vector<plat::PALETTEENTRY> table;
    const std::int16_t code = CatchFail([&] { buildPaletteTable(display, table); });
    plat::DeleteDC(display);
    if (code != 0)
        Fail(code);
    std::vector<unsigned char> bytes(sizeof(plat::LOGPALETTE) +
                                     kPaletteSize * sizeof(plat::PALETTEENTRY));
    auto* pal = reinterpret_cast<plat::LOGPALETTE*>(bytes.data());
    pal->palVersion = 0x300;
    pal->palNumEntries = kPaletteSize;
    for (int i = 0; i < kPaletteSize; ++i)
        pal->palPalEntry[i] = table[static_cast<std::size_t>(i)];
    s_displayPalette = plat::CreatePalette(pal);
    if (!s_displayPalette)
        Fail(errColorPaletteMemory);
    s_memoryPalette = s_displayPalette;
}

void SetPaletteHandling(bool on) {
    s_paletteHandling = on;
}

bool PaletteHandling() {
    return s_paletteHandling;
}

int RealizeAppPalette(plat::HWND window, plat::UINT message) {
    if (!s_paletteHandling)
        return 0;
    BuildAppPalette();
    plat::HDC dc = plat::GetDC(window);
    plat::HPALETTE old =
        plat::SelectPalette(dc, s_displayPalette, message != plat::WM_QUERYNEWPALETTE);
    const int changed = static_cast<int>(plat::RealizePalette(dc));
    plat::SelectPalette(dc, old, plat::TRUE);
    plat::ReleaseDC(window, dc);
    if (changed != 0)
        InvalidateWidgetWindows();
    return changed;
}

void DeleteAppPalettes() {
    if (s_memoryPalette && s_memoryPalette != s_displayPalette)
        plat::DeleteObject(s_memoryPalette);
    if (s_displayPalette)
        plat::DeleteObject(s_displayPalette);
    s_memoryPalette = nullptr;
    s_displayPalette = nullptr;
}
