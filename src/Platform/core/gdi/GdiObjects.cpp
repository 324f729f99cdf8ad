#include "core/gdi/GdiObjects.h"

#include "plat/Window.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>

namespace plat::core {

namespace {

// Handle ids: the low 20 bits index the table, the high 12 bits are the slot's generation, which
// changes each time the slot is freed, so a deleted handle stays stale for 4095 reuses.
constexpr std::uint32_t kIndexBits = 20;
constexpr std::uint32_t kIndexMask = (1u << kIndexBits) - 1;
constexpr std::uint32_t kGenerationLimit = 1u << (32 - kIndexBits);

struct Slot {
    std::shared_ptr<GdiObject> object;
    std::uint32_t generation = 1;
};

struct ObjectTable {
    std::vector<Slot> slots{1}; // slot 0 is never used, so no handle is 0
    std::vector<std::uint32_t> freeSlots;
};

ObjectTable& table() {
    static ObjectTable t;
    return t;
}

void defaultSink(std::string_view message) {
    std::fprintf(stderr, "gdi: %.*s\n", static_cast<int>(message.size()), message.data());
}

GdiDiagnosticSink& sinkRef() {
    static GdiDiagnosticSink sink = &defaultSink;
    return sink;
}

bool slotOf(HGDIOBJ h, std::uint32_t* index) {
    const std::uint32_t id = IdFromHandle(h);
    const std::uint32_t i = id & kIndexMask;
    const std::uint32_t gen = id >> kIndexBits;
    auto& t = table();
    if (i == 0 || i >= t.slots.size() || t.slots[i].generation != gen || !t.slots[i].object)
        return false;
    *index = i;
    return true;
}

template <class T> int copyRecord(const T& record, int size, void* buffer) {
    if (!buffer)
        return static_cast<int>(sizeof(T));
    if (size <= 0)
        return 0;
    const int n = std::min(size, static_cast<int>(sizeof(T)));
    std::memcpy(buffer, &record, static_cast<std::size_t>(n));
    return n;
}

} // namespace

// --- Object table --------------------------------------------------------------------------------

HGDIOBJ AddGdiObject(std::shared_ptr<GdiObject> object) {
    if (!object)
        return nullptr;
    auto& t = table();
    std::uint32_t index;
    if (!t.freeSlots.empty()) {
        index = t.freeSlots.back();
        t.freeSlots.pop_back();
    } else {
        if (t.slots.size() > kIndexMask) {
            GdiDiagnostic("GDI object table full");
            return nullptr;
        }
        index = static_cast<std::uint32_t>(t.slots.size());
        t.slots.emplace_back();
    }
    t.slots[index].object = std::move(object);
    return HandleFromId<HGDIOBJ>((t.slots[index].generation << kIndexBits) | index);
}

std::shared_ptr<GdiObject> LookupGdiObject(HGDIOBJ h, const char* caller) {
    if (!h)
        return nullptr;
    std::uint32_t i;
    if (!slotOf(h, &i)) {
        GdiDiagnostic(std::string(caller ? caller : "GDI") + ": stale or invalid object handle");
        return nullptr;
    }
    return table().slots[i].object;
}

void GdiDiagnostic(std::string_view message) {
    if (sinkRef())
        sinkRef()(message);
}

GdiDiagnosticSink SetGdiDiagnosticSink(GdiDiagnosticSink sink) {
    GdiDiagnosticSink old = sinkRef();
    sinkRef() = sink ? sink : &defaultSink;
    return old;
}

// The font module replaces this with its own definition.
__attribute__((weak)) std::shared_ptr<GdiObject> CreateStockFontObject(int) {
    return nullptr;
}

// --- Colours -------------------------------------------------------------------------------------

std::uint32_t MonoFromPixel(std::uint32_t p) {
    const unsigned r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    // Rec. 601 weights; mid-grey (128) and above is white.
    return (r * 299 + g * 587 + b * 114) >= 128u * 1000u ? kWhitePixel : kBlackPixel;
}

const PALETTEENTRY* SystemPalette() {
    static const std::array<PALETTEENTRY, 256> palette = [] {
        std::array<PALETTEENTRY, 256> p{};
        auto set = [&](int i, BYTE r, BYTE g, BYTE b) {
            p[static_cast<std::size_t>(i)] = {r, g, b, 0};
        };
        // The 20 static colours: ten at each end.
        const BYTE lo[10][3] = {{0, 0, 0},       {128, 0, 0},    {0, 128, 0},   {128, 128, 0},
                                {0, 0, 128},     {128, 0, 128},  {0, 128, 128}, {192, 192, 192},
                                {192, 220, 192}, {166, 202, 240}};
        const BYTE hi[10][3] = {{255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},
                                {0, 255, 0},     {255, 255, 0},   {0, 0, 255},     {255, 0, 255},
                                {0, 255, 255},   {255, 255, 255}};
        for (int i = 0; i < 10; ++i) {
            set(i, lo[i][0], lo[i][1], lo[i][2]);
            set(246 + i, hi[i][0], hi[i][1], hi[i][2]);
        }
        // A 6 x 6 x 6 colour cube, then 20 greys between black and white.
        int i = 10;
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    set(i++, static_cast<BYTE>(r * 51), static_cast<BYTE>(g * 51),
                        static_cast<BYTE>(b * 51));
        for (int k = 1; k <= 20; ++k) {
            const BYTE v = static_cast<BYTE>(k * 255 / 21);
            set(i++, v, v, v);
        }
        return p;
    }();
    return palette.data();
}

COLORREF ResolveColor(COLORREF c) {
    if ((c & 0xFF000000) == PALETTEINDEX_FLAG) {
        const PALETTEENTRY& e = SystemPalette()[c & 0xFF];
        return RGB(e.peRed, e.peGreen, e.peBlue);
    }
    return c & 0x00FFFFFF;
}

// --- Records for GetObject -----------------------------------------------------------------------

int PenObject::getObject(int size, void* buffer) const {
    LOGPEN lp;
    lp.lopnStyle = static_cast<UINT>(m_style);
    lp.lopnWidth.x = m_width;
    lp.lopnColor = m_color;
    return copyRecord(lp, size, buffer);
}

int BrushObject::getObject(int size, void* buffer) const {
    LOGBRUSH lb;
    lb.lbStyle = m_style == Style::Solid ? BS_SOLID : m_style == Style::Null ? BS_NULL : BS_PATTERN;
    lb.lbColor = m_color;
    return copyRecord(lb, size, buffer);
}

int BitmapObject::getObject(int size, void* buffer) const {
    BITMAP bm;
    bm.bmWidth = m_width;
    bm.bmHeight = m_height;
    bm.bmWidthBytes = m_widthBytes;
    bm.bmPlanes = 1;
    bm.bmBitsPixel = static_cast<WORD>(m_bitsPixel);
    bm.bmBits = m_dib ? const_cast<std::uint8_t*>(m_dibBytes.data()) : nullptr;
    return copyRecord(bm, size, buffer);
}

int PaletteObject::getObject(int size, void* buffer) const {
    // A palette's record is its entry count.
    const WORD n = static_cast<WORD>(m_entries.size());
    return copyRecord(n, size, buffer);
}

} // namespace plat::core

// --- Public calls --------------------------------------------------------------------------------

namespace plat {

using namespace plat::core;

namespace {

HGDIOBJ makeStock(std::shared_ptr<GdiObject> obj) {
    if (!obj)
        return nullptr;
    obj->setStock();
    return AddGdiObject(std::move(obj));
}

std::shared_ptr<BrushObject> solidBrush(COLORREF c) {
    auto b = std::make_shared<BrushObject>(BrushObject::Style::Solid);
    b->m_color = c;
    return b;
}

} // namespace

HGDIOBJ GetStockObject(int id) {
    static std::array<HGDIOBJ, DEFAULT_GUI_FONT + 1> stock{};
    if (id < 0 || id > DEFAULT_GUI_FONT || id == 9)
        return nullptr;
    HGDIOBJ& h = stock[static_cast<std::size_t>(id)];
    if (h)
        return h;
    switch (id) {
    case WHITE_BRUSH:
        h = makeStock(solidBrush(RGB(255, 255, 255)));
        break;
    case LTGRAY_BRUSH:
        h = makeStock(solidBrush(RGB(192, 192, 192)));
        break;
    case GRAY_BRUSH:
        h = makeStock(solidBrush(RGB(128, 128, 128)));
        break;
    case DKGRAY_BRUSH:
        h = makeStock(solidBrush(RGB(64, 64, 64)));
        break;
    case BLACK_BRUSH:
        h = makeStock(solidBrush(RGB(0, 0, 0)));
        break;
    case NULL_BRUSH:
        h = makeStock(std::make_shared<BrushObject>(BrushObject::Style::Null));
        break;
    case WHITE_PEN:
        h = makeStock(std::make_shared<PenObject>(PS_SOLID, 0, RGB(255, 255, 255)));
        break;
    case BLACK_PEN:
        h = makeStock(std::make_shared<PenObject>(PS_SOLID, 0, RGB(0, 0, 0)));
        break;
    case NULL_PEN:
        h = makeStock(std::make_shared<PenObject>(PS_NULL, 0, RGB(0, 0, 0)));
        break;
    case DEFAULT_PALETTE: {
        auto pal = std::make_shared<PaletteObject>();
        const PALETTEENTRY* sys = SystemPalette();
        pal->m_entries.assign(sys, sys + 10);
        pal->m_entries.insert(pal->m_entries.end(), sys + 246, sys + 256);
        h = makeStock(pal);
        break;
    }
    default: // the fonts
        h = makeStock(CreateStockFontObject(id));
        break;
    }
    return h;
}

HPEN CreatePen(int style, int width, COLORREF color) {
    const int s = style & PS_STYLE_MASK;
    if (s > PS_INSIDEFRAME) {
        GdiDiagnostic("CreatePen: unknown style");
        return nullptr;
    }
    return AddGdiObject(std::make_shared<PenObject>(s, width < 0 ? 0 : width, color));
}

HPEN CreatePenIndirect(const LOGPEN* pen) {
    if (!pen)
        return nullptr;
    return CreatePen(static_cast<int>(pen->lopnStyle), pen->lopnWidth.x, pen->lopnColor);
}

HBRUSH CreateSolidBrush(COLORREF color) {
    return AddGdiObject(solidBrush(color));
}

HBRUSH CreatePatternBrush(HBITMAP bitmap) {
    auto bm = LookupGdiObjectAs<BitmapObject>(bitmap, GdiKind::Bitmap, "CreatePatternBrush");
    if (!bm)
        return nullptr;
    bm->loadFromDib();
    cairo_surface_flush(bm->m_surface);
    auto b = std::make_shared<BrushObject>(BrushObject::Style::Pattern);
    // Only the first 8 x 8 pixels make the pattern, as on the systems this follows.
    b->m_patWidth = std::min(bm->m_width, 8);
    b->m_patHeight = std::min(bm->m_height, 8);
    b->m_patMono = bm->m_mono;
    for (int y = 0; y < b->m_patHeight; ++y)
        for (int x = 0; x < b->m_patWidth; ++x)
            b->m_pattern.push_back(bm->row(y)[x] & 0xFFFFFF);
    return AddGdiObject(b);
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* brush) {
    if (!brush)
        return nullptr;
    switch (brush->lbStyle) {
    case BS_SOLID:
        return CreateSolidBrush(brush->lbColor);
    case BS_NULL:
        return AddGdiObject(std::make_shared<BrushObject>(BrushObject::Style::Null));
    case BS_PATTERN:
        return CreatePatternBrush(reinterpret_cast<HBITMAP>(brush->lbHatch));
    default:
        GdiDiagnostic("CreateBrushIndirect: unsupported style");
        return nullptr;
    }
}

HBRUSH GetSysColorBrush(int index) {
    static std::array<HBRUSH, 31> brushes{};
    if (index < 0 || index >= static_cast<int>(brushes.size()))
        return nullptr;
    HBRUSH& h = brushes[static_cast<std::size_t>(index)];
    if (!h)
        h = makeStock(solidBrush(GetSysColor(index) & 0x00FFFFFF));
    return h;
}

BOOL DeleteObject(HGDIOBJ obj) {
    std::uint32_t i;
    if (!obj || !slotOf(obj, &i)) {
        if (obj)
            GdiDiagnostic("DeleteObject: stale or invalid object handle");
        return FALSE;
    }
    auto& t = table();
    if (t.slots[i].object->isStock())
        return TRUE;
    // An object selected into a DC stays: the DC still draws with it.
    if (IsSelectedAnywhere(obj))
        return FALSE;
    t.slots[i].object.reset();
    t.slots[i].generation =
        t.slots[i].generation + 1 >= kGenerationLimit ? 1 : t.slots[i].generation + 1;
    t.freeSlots.push_back(i);
    return TRUE;
}

int GetObject(HGDIOBJ obj, int size, void* buffer) {
    auto o = LookupGdiObject(obj, "GetObject");
    if (!o)
        return 0;
    return o->getObject(size, buffer);
}

DWORD GetObjectType(HGDIOBJ h) {
    std::uint32_t i;
    if (!h || !slotOf(h, &i))
        return 0;
    switch (table().slots[i].object->kind()) {
    case GdiKind::Pen:
        return OBJ_PEN;
    case GdiKind::Brush:
        return OBJ_BRUSH;
    case GdiKind::Font:
        return OBJ_FONT;
    case GdiKind::Bitmap:
        return OBJ_BITMAP;
    case GdiKind::Region:
        return OBJ_REGION;
    case GdiKind::Palette:
        return OBJ_PAL;
    }
    return 0;
}

// --- Palettes ------------------------------------------------------------------------------------

HPALETTE CreatePalette(const LOGPALETTE* palette) {
    if (!palette || palette->palNumEntries == 0 || palette->palNumEntries > 1024) {
        GdiDiagnostic("CreatePalette: bad entry count");
        return nullptr;
    }
    auto pal = std::make_shared<PaletteObject>();
    pal->m_entries.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
    return AddGdiObject(pal);
}

UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* entries) {
    auto pal = LookupGdiObjectAs<PaletteObject>(palette, GdiKind::Palette, "GetPaletteEntries");
    if (!pal)
        return 0;
    const UINT n = static_cast<UINT>(pal->m_entries.size());
    if (!entries)
        return n;
    if (start >= n)
        return 0;
    const UINT k = std::min(count, n - start);
    std::copy_n(pal->m_entries.begin() + start, k, entries);
    return k;
}

UINT GetSystemPaletteEntries(HDC, UINT start, UINT count, PALETTEENTRY* entries) {
    if (!entries)
        return 256;
    if (start >= 256)
        return 0;
    const UINT k = std::min(count, 256 - start);
    std::copy_n(SystemPalette() + start, k, entries);
    return k;
}

// --- Regions -------------------------------------------------------------------------------------

namespace {

int regionType(const Region& r) {
    if (r.empty())
        return NULLREGION;
    return r.rects().size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

std::shared_ptr<RegionObject> regionOf(HRGN h, const char* caller) {
    return LookupGdiObjectAs<RegionObject>(h, GdiKind::Region, caller);
}

RECT normalised(int l, int t, int r, int b) {
    RECT rc;
    rc.left = std::min(l, r);
    rc.right = std::max(l, r);
    rc.top = std::min(t, b);
    rc.bottom = std::max(t, b);
    return rc;
}

} // namespace

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
    return AddGdiObject(
        std::make_shared<RegionObject>(Region(normalised(left, top, right, bottom))));
}

HRGN CreateRectRgnIndirect(const RECT* r) {
    if (!r)
        return nullptr;
    return CreateRectRgn(r->left, r->top, r->right, r->bottom);
}

int CombineRgn(HRGN dst, HRGN src1, HRGN src2, int mode) {
    auto d = regionOf(dst, "CombineRgn");
    auto a = regionOf(src1, "CombineRgn");
    if (!d || !a || mode < RGN_AND || mode > RGN_COPY)
        return ERROR;
    Region result = a->m_region;
    if (mode != RGN_COPY) {
        auto b = regionOf(src2, "CombineRgn");
        if (!b)
            return ERROR;
        switch (mode) {
        case RGN_AND:
            result.intersect(b->m_region);
            break;
        case RGN_OR:
            result.unite(b->m_region);
            break;
        case RGN_XOR:
            result.exclusiveOr(b->m_region);
            break;
        default:
            result.subtract(b->m_region);
            break;
        }
    }
    d->m_region = std::move(result);
    return regionType(d->m_region);
}

int OffsetRgn(HRGN rgn, int dx, int dy) {
    auto r = regionOf(rgn, "OffsetRgn");
    if (!r)
        return ERROR;
    r->m_region.offset(dx, dy);
    return regionType(r->m_region);
}

BOOL RectInRegion(HRGN rgn, const RECT* rc) {
    auto r = regionOf(rgn, "RectInRegion");
    if (!r || !rc)
        return FALSE;
    return r->m_region.intersects(normalised(rc->left, rc->top, rc->right, rc->bottom)) ? TRUE
                                                                                        : FALSE;
}

BOOL PtInRegion(HRGN rgn, int x, int y) {
    auto r = regionOf(rgn, "PtInRegion");
    return r && r->m_region.contains(x, y) ? TRUE : FALSE;
}

int GetRgnBox(HRGN rgn, RECT* box) {
    auto r = regionOf(rgn, "GetRgnBox");
    if (!r || !box)
        return ERROR;
    *box = r->m_region.empty() ? RECT{} : r->m_region.bounds();
    return regionType(r->m_region);
}

BOOL EqualRgn(HRGN a, HRGN b) {
    auto ra = regionOf(a, "EqualRgn");
    auto rb = regionOf(b, "EqualRgn");
    return ra && rb && ra->m_region == rb->m_region ? TRUE : FALSE;
}

} // namespace plat
