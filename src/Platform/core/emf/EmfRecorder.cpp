#include "core/emf/EmfRecorder.h"

#include "core/font/Encoding.h"
#include "plat/Font.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

namespace plat::core {

using namespace emf;

namespace {

bool fits16(const POINT* points, int count) {
    for (int i = 0; i < count; ++i)
        if (points[i].x < SHRT_MIN || points[i].x > SHRT_MAX || points[i].y < SHRT_MIN ||
            points[i].y > SHRT_MAX)
            return false;
    return true;
}

std::uint32_t type16Of(std::uint32_t type) {
    switch (type) {
    case kPolyBezier:
        return kPolyBezier16;
    case kPolygon:
        return kPolygon16;
    case kPolyline:
        return kPolyline16;
    default:
        return type;
    }
}

int stockIdOf(HGDIOBJ h) {
    for (int id = WHITE_BRUSH; id <= DEFAULT_GUI_FONT; ++id)
        if (id != 9 && GetStockObject(id) == h)
            return id;
    return -1;
}

// The size of a DIB's header with its colour table or masks; 0 when the header is not one we
// record.
std::size_t infoSize(const BITMAPINFOHEADER& h) {
    if (h.biSize < 40)
        return 0;
    std::size_t n = h.biSize;
    if (h.biBitCount <= 8)
        n += 4 * static_cast<std::size_t>(h.biClrUsed ? h.biClrUsed : (1u << h.biBitCount));
    else if (h.biCompression == BI_BITFIELDS && h.biSize == 40)
        n += 12;
    return n;
}

// A bottom-up DIB header of 1 bit (mono, two colours to follow) or 32 bits a pixel, uncompressed;
// returns the bytes of one pixel row.
int writeDibHeader(Writer& out, int width, int height, bool mono) {
    const int rowBytes = mono ? ((width + 31) / 32) * 4 : width * 4;
    out.u32(40);
    out.i32(width);
    out.i32(height); // bottom-up, as most readers expect
    out.u16(1);
    out.u16(mono ? 1 : 32);
    out.u32(BI_RGB);
    out.u32(static_cast<std::uint32_t>(rowBytes * height));
    out.u32(0);
    out.u32(0);
    out.u32(mono ? 2 : 0);
    out.u32(0);
    return rowBytes;
}

} // namespace

EmfRecorder::EmfRecorder(Setup setup)
    : m_setup(std::move(setup)) {
    InitDcState(m_state);
    // Room for the header, written at the end when the counts are known.
    const std::size_t descBytes = (m_setup.description.size() * 2 + 3) & ~std::size_t{3};
    m_out.bytes.assign(kHeaderSize + descBytes, 0);
    m_records = 1;
}

std::size_t EmfRecorder::begin(std::uint32_t type) {
    const std::size_t start = m_out.size();
    m_out.u32(type);
    m_out.u32(0);
    return start;
}

void EmfRecorder::end(std::size_t start) {
    m_out.pad4();
    m_out.putU32At(start + 4, static_cast<std::uint32_t>(m_out.size() - start));
    ++m_records;
}

void EmfRecorder::simple(std::uint32_t type, std::initializer_list<std::uint32_t> values) {
    const std::size_t at = begin(type);
    for (std::uint32_t v : values)
        m_out.u32(v);
    end(at);
}

void EmfRecorder::addDeviceBounds(RECT r) {
    if (r.left > r.right)
        std::swap(r.left, r.right);
    if (r.top > r.bottom)
        std::swap(r.top, r.bottom);
    m_lastBounds = r;
    if (!m_anyBounds) {
        m_bounds = r;
        m_anyBounds = true;
        return;
    }
    m_bounds.left = std::min(m_bounds.left, r.left);
    m_bounds.top = std::min(m_bounds.top, r.top);
    m_bounds.right = std::max(m_bounds.right, r.right);
    m_bounds.bottom = std::max(m_bounds.bottom, r.bottom);
}

void EmfRecorder::addBounds(const Dc& dc, int l, int t, int r, int b, int margin) {
    const POINT a = ToDevice(dc.state, l, t);
    const POINT c = ToDevice(dc.state, r, b);
    addDeviceBounds(RECT{std::min(a.x, c.x) - margin, std::min(a.y, c.y) - margin,
                         std::max(a.x, c.x) + margin, std::max(a.y, c.y) + margin});
}

// --- State ---------------------------------------------------------------------------------------

void EmfRecorder::sync(Dc& dc, bool currentPosition) {
    const DcState& s = dc.state;
    DcState& r = m_state;
    // One record whenever the value differs from the one recorded last.
    const auto attr = [&](auto want, auto& have, std::uint32_t type) {
        if (want != have) {
            simple(type, {static_cast<std::uint32_t>(want)});
            have = want;
        }
    };
    // The same for a point or a size, recorded as its two coordinates.
    const auto coords = [](const auto& p) {
        if constexpr (requires { p.cx; })
            return std::pair{p.cx, p.cy};
        else
            return std::pair{p.x, p.y};
    };
    const auto pointAttr = [&](const auto& want, auto& have, std::uint32_t type) {
        const auto [wantA, wantB] = coords(want);
        const auto [haveA, haveB] = coords(have);
        if (wantA != haveA || wantB != haveB) {
            simple(type, {static_cast<std::uint32_t>(wantA), static_cast<std::uint32_t>(wantB)});
            have = want;
        }
    };
    if (s.mapMode != r.mapMode) {
        simple(kSetMapMode, {static_cast<std::uint32_t>(s.mapMode)});
        r.mapMode = s.mapMode;
        r.windowExt = r.viewportExt = SIZE{1, 1};
    }
    if (s.mapMode != MM_TEXT) {
        pointAttr(s.windowExt, r.windowExt, kSetWindowExtEx);
        pointAttr(s.viewportExt, r.viewportExt, kSetViewportExtEx);
    }
    pointAttr(s.windowOrg, r.windowOrg, kSetWindowOrgEx);
    pointAttr(s.viewportOrg, r.viewportOrg, kSetViewportOrgEx);
    attr(s.rop2, r.rop2, kSetRop2);
    attr(s.textColor, r.textColor, kSetTextColor);
    attr(s.bkColor, r.bkColor, kSetBkColor);
    attr(s.bkMode, r.bkMode, kSetBkMode);
    attr(s.textAlign, r.textAlign, kSetTextAlign);
    attr(s.stretchMode, r.stretchMode, kSetStretchBltMode);
    attr(s.fillMode, r.fillMode, kSetPolyFillMode);
    pointAttr(s.brushOrg, r.brushOrg, kSetBrushOrgEx);
    if (s.clip.has_value() != r.clip.has_value() || (s.clip && !(*s.clip == *r.clip))) {
        // The whole clip is replaced (RGN_COPY); no region data means no clip.
        const std::size_t at = begin(kExtSelectClipRgn);
        const std::size_t sizeAt = m_out.size();
        m_out.u32(0);
        m_out.u32(RGN_COPY);
        if (s.clip) {
            const std::size_t dataStart = m_out.size();
            writeRegionData(*s.clip);
            m_out.putU32At(sizeAt, static_cast<std::uint32_t>(m_out.size() - dataStart));
        }
        end(at);
        r.clip = s.clip;
    }
    syncObject(s.pen, r.pen);
    syncObject(s.brush, r.brush);
    syncObject(s.font, r.font);
    if (currentPosition)
        pointAttr(s.current, r.current, kMoveToEx);
}

void EmfRecorder::syncObject(HGDIOBJ want, HGDIOBJ& recorded) {
    if (want == recorded)
        return;
    const std::uint32_t index = objectIndex(want);
    if (!index)
        return;
    simple(kSelectObject, {index});
    recorded = want;
}

void EmfRecorder::collectDeleted() {
    for (auto it = m_objects.begin(); it != m_objects.end();) {
        const bool selected =
            it->first == m_state.pen || it->first == m_state.brush || it->first == m_state.font;
        if (it->second.object.expired() && !selected) {
            simple(kDeleteObject, {it->second.index});
            m_used[it->second.index] = false;
            it = m_objects.erase(it);
        } else {
            ++it;
        }
    }
}

std::uint32_t EmfRecorder::freeIndex() {
    for (std::size_t i = 1; i < m_used.size(); ++i)
        if (!m_used[i]) {
            m_used[i] = true;
            return static_cast<std::uint32_t>(i);
        }
    if (m_used.size() >= kMaxHandles)
        return 0;
    m_used.push_back(true);
    return static_cast<std::uint32_t>(m_used.size() - 1);
}

std::uint32_t EmfRecorder::objectIndex(HGDIOBJ h) {
    const int stock = stockIdOf(h);
    if (stock >= 0)
        return kStockObjectFlag | static_cast<std::uint32_t>(stock);
    auto found = m_objects.find(h);
    if (found != m_objects.end() && !found->second.object.expired())
        return found->second.index;
    collectDeleted();
    auto obj = LookupGdiObject(h, "metafile recorder");
    if (!obj)
        return 0;
    std::uint32_t index = 0;
    switch (obj->kind()) {
    case GdiKind::Pen: {
        auto pen = std::static_pointer_cast<PenObject>(obj);
        if (!(index = freeIndex()))
            return 0;
        simple(kCreatePen, {index, static_cast<std::uint32_t>(pen->m_style),
                            static_cast<std::uint32_t>(pen->m_width), 0, pen->m_color});
        break;
    }
    case GdiKind::Brush: {
        auto brush = std::static_pointer_cast<BrushObject>(obj);
        if (!(index = freeIndex()))
            return 0;
        if (brush->m_style != BrushObject::Style::Pattern) {
            const bool null = brush->m_style == BrushObject::Style::Null;
            simple(kCreateBrushIndirect,
                   {index, null ? BS_NULL : BS_SOLID, null ? 0 : brush->m_color, 0});
            break;
        }
        // A pattern: monochrome patterns draw in the text and background colours (a mono
        // brush); colour ones carry their pixels.
        const int w = brush->m_patWidth, hgt = brush->m_patHeight;
        const bool mono = brush->m_patMono;
        Writer bmi;
        const int rowBytes = writeDibHeader(bmi, w, hgt, mono);
        if (mono) {
            bmi.u32(0x000000);
            bmi.u32(0xFFFFFF);
        }
        std::vector<std::uint8_t> bits(static_cast<std::size_t>(rowBytes) * hgt, 0);
        for (int y = 0; y < hgt; ++y) {
            std::uint8_t* row = &bits[static_cast<std::size_t>(hgt - 1 - y) * rowBytes];
            for (int x = 0; x < w; ++x) {
                const std::uint32_t p = brush->m_pattern[static_cast<std::size_t>(y) * w + x];
                if (mono) {
                    if (p & 0xFFFFFF)
                        row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
                } else {
                    row[x * 4] = static_cast<std::uint8_t>(p);
                    row[x * 4 + 1] = static_cast<std::uint8_t>(p >> 8);
                    row[x * 4 + 2] = static_cast<std::uint8_t>(p >> 16);
                }
            }
        }
        const std::size_t at = begin(mono ? kCreateMonoBrush : kCreateDibPatternBrushPt);
        m_out.u32(index);
        m_out.u32(DIB_RGB_COLORS);
        m_out.u32(32);
        m_out.u32(static_cast<std::uint32_t>(bmi.size()));
        m_out.u32(static_cast<std::uint32_t>(32 + bmi.size()));
        m_out.u32(static_cast<std::uint32_t>(bits.size()));
        m_out.raw(bmi.bytes.data(), bmi.size());
        m_out.raw(bits.data(), bits.size());
        end(at);
        break;
    }
    case GdiKind::Font: {
        LOGFONT lf;
        if (!GetObject(h, sizeof lf, &lf))
            return 0;
        if (!(index = freeIndex()))
            return 0;
        const std::size_t at = begin(kExtCreateFontIndirectW);
        m_out.u32(index);
        m_out.i32(lf.lfHeight);
        m_out.i32(lf.lfWidth);
        m_out.i32(lf.lfEscapement);
        m_out.i32(lf.lfOrientation);
        m_out.i32(lf.lfWeight);
        for (BYTE b : {lf.lfItalic, lf.lfUnderline, lf.lfStrikeOut, lf.lfCharSet, lf.lfOutPrecision,
                       lf.lfClipPrecision, lf.lfQuality, lf.lfPitchAndFamily})
            m_out.raw(&b, 1);
        for (int i = 0; i < 32; ++i) {
            const auto c = static_cast<unsigned char>(i < LF_FACESIZE ? lf.lfFaceName[i] : 0);
            m_out.u16(c ? static_cast<std::uint16_t>(fontcore::Cp1252ToUnicode(c)) : 0);
        }
        end(at);
        break;
    }
    default:
        return 0;
    }
    m_objects[h] = Slot{index, obj};
    return index;
}

void EmfRecorder::writeRegionData(const Region& region) {
    const auto& rects = region.rects();
    const RECT bound = region.empty() ? RECT{} : region.bounds();
    m_out.u32(32);
    m_out.u32(1); // rectangles
    m_out.u32(static_cast<std::uint32_t>(rects.size()));
    m_out.u32(static_cast<std::uint32_t>(rects.size() * 16));
    m_out.rect(bound);
    for (const RECT& r : rects)
        m_out.rect(r);
}

// --- Drawing
// ---------------------------------------------------------------------------------------

namespace {

int penMargin(const Dc& dc) {
    auto pen = LookupGdiObjectAs<PenObject>(dc.state.pen, GdiKind::Pen);
    const double scale = std::fabs(MappingOf(dc.state).scaleX);
    return pen ? std::max(1, static_cast<int>(pen->m_width * scale) / 2 + 1) : 1;
}

} // namespace

BOOL EmfRecorder::lineTo(Dc& dc, int x, int y) {
    sync(dc, true);
    const POINT from = dc.state.current;
    addBounds(dc, from.x, from.y, x, y, penMargin(dc));
    simple(kLineTo, {static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)});
    dc.state.current = m_state.current = POINT{x, y};
    return TRUE;
}

BOOL EmfRecorder::poly(Dc& dc, std::uint32_t type, const POINT* points, int count) {
    if (!points || count < 2 || (type == kPolyBezier && (count < 4 || (count - 1) % 3 != 0)))
        return FALSE;
    sync(dc, false);
    int l = points[0].x, t = points[0].y, r = l, b = t;
    for (int i = 1; i < count; ++i) {
        l = std::min<int>(l, points[i].x);
        r = std::max<int>(r, points[i].x);
        t = std::min<int>(t, points[i].y);
        b = std::max<int>(b, points[i].y);
    }
    addBounds(dc, l, t, r, b, penMargin(dc));
    const bool small = fits16(points, count);
    const std::size_t at = begin(small ? type16Of(type) : type);
    m_out.rect(lastBounds());
    m_out.u32(static_cast<std::uint32_t>(count));
    for (int i = 0; i < count; ++i) {
        if (small) {
            m_out.i16(static_cast<std::int16_t>(points[i].x));
            m_out.i16(static_cast<std::int16_t>(points[i].y));
        } else {
            m_out.i32(points[i].x);
            m_out.i32(points[i].y);
        }
    }
    end(at);
    return TRUE;
}

BOOL EmfRecorder::box(Dc& dc, std::uint32_t type, int left, int top, int right, int bottom) {
    sync(dc, false);
    addBounds(dc, left, top, right, bottom, penMargin(dc));
    const std::size_t at = begin(type);
    m_out.rect(RECT{left, top, right, bottom});
    end(at);
    return TRUE;
}

BOOL EmfRecorder::arc(Dc& dc, int left, int top, int right, int bottom, int xStart, int yStart,
                      int xEnd, int yEnd) {
    sync(dc, false);
    addBounds(dc, left, top, right, bottom, penMargin(dc));
    const std::size_t at = begin(kArc);
    m_out.rect(RECT{left, top, right, bottom});
    m_out.i32(xStart);
    m_out.i32(yStart);
    m_out.i32(xEnd);
    m_out.i32(yEnd);
    end(at);
    return TRUE;
}

COLORREF EmfRecorder::setPixel(Dc& dc, int x, int y, COLORREF color) {
    sync(dc, false);
    addBounds(dc, x, y, x, y, 0);
    simple(kSetPixelV,
           {static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), color & 0xFFFFFF});
    return ResolveColor(color);
}

BOOL EmfRecorder::patBlt(Dc& dc, int x, int y, int width, int height, DWORD rop) {
    sync(dc, false);
    writePatBlt(dc, x, y, width, height, rop);
    return TRUE;
}

void EmfRecorder::writePatBlt(Dc& dc, int x, int y, int width, int height, DWORD rop) {
    addBounds(dc, x, y, x + width - 1, y + height - 1, 0);
    const std::size_t at = begin(kBitBlt);
    m_out.rect(lastBounds());
    m_out.i32(x);
    m_out.i32(y);
    m_out.i32(width);
    m_out.i32(height);
    m_out.u32(rop);
    m_out.i32(0);
    m_out.i32(0);
    for (float f : {1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f})
        m_out.f32(f);
    for (int i = 0; i < 6; ++i) // background, usage, no bitmap
        m_out.u32(0);
    end(at);
}

BOOL EmfRecorder::fillRect(Dc& dc, const RECT& r, HBRUSH brush) {
    sync(dc, false);
    // The brush is selected for the pattern blit only; the next record brings the DC's own
    // brush back.
    const std::uint32_t index = objectIndex(brush);
    if (!index)
        return FALSE;
    if (brush != m_state.brush) {
        simple(kSelectObject, {index});
        m_state.brush = brush;
    }
    const int l = std::min<int>(r.left, r.right), t = std::min<int>(r.top, r.bottom);
    const int w = std::abs(static_cast<int>(r.right - r.left));
    const int h = std::abs(static_cast<int>(r.bottom - r.top));
    if (w > 0 && h > 0)
        writePatBlt(dc, l, t, w, h, PATCOPY);
    return TRUE;
}

BOOL EmfRecorder::frameRect(Dc& dc, const RECT& r, HBRUSH brush) {
    HRGN rgn = CreateRectRgnIndirect(&r);
    const BOOL ok = region(dc, kFrameRgn, rgn, brush, 1, 1);
    DeleteObject(rgn);
    return ok;
}

BOOL EmfRecorder::region(Dc& dc, std::uint32_t type, HRGN rgn, HBRUSH brush, int width,
                         int height) {
    auto r = LookupGdiObjectAs<RegionObject>(rgn, GdiKind::Region, "metafile recorder");
    if (!r)
        return FALSE;
    sync(dc, false);
    std::uint32_t brushIndex = 0;
    if (type == kFillRgn || type == kFrameRgn) {
        brushIndex = objectIndex(brush);
        if (!brushIndex)
            return FALSE;
    }
    const RECT b = r->m_region.empty() ? RECT{} : r->m_region.bounds();
    addBounds(dc, b.left, b.top, b.right, b.bottom, 0);
    const std::size_t at = begin(type);
    m_out.rect(lastBounds());
    const std::size_t sizeAt = m_out.size();
    m_out.u32(0);
    if (type == kFillRgn || type == kFrameRgn)
        m_out.u32(brushIndex);
    if (type == kFrameRgn) {
        m_out.i32(width);
        m_out.i32(height);
    }
    const std::size_t dataStart = m_out.size();
    writeRegionData(r->m_region);
    m_out.putU32At(sizeAt, static_cast<std::uint32_t>(m_out.size() - dataStart));
    end(at);
    return TRUE;
}

BOOL EmfRecorder::path(Dc& dc, std::uint32_t type) {
    const bool finishing = type == kFillPath || type == kStrokePath || type == kStrokeAndFillPath;
    sync(dc, false);
    const std::size_t at = begin(type);
    if (finishing)
        m_out.rect(m_anyBounds ? m_bounds : RECT{0, 0, -1, -1});
    end(at);
    return TRUE;
}

bool EmfRecorder::packSource(Dc& dst, HDC source, int xSrc, int ySrc, int width, int height,
                             std::vector<std::uint8_t>& bmi, std::vector<std::uint8_t>& bits) {
    Dc* src = LookupDc(source, "metafile recorder");
    if (!src || width <= 0 || height <= 0)
        return false;
    cairo_surface_t* s = src->surface();
    if (!s)
        return false;
    if (auto bm = src->bitmap())
        bm->loadFromDib();
    cairo_surface_flush(s);
    const int sw = cairo_image_surface_get_width(s), sh = cairo_image_surface_get_height(s);
    const int stride = cairo_image_surface_get_stride(s);
    const std::uint8_t* data = cairo_image_surface_get_data(s);
    const auto pixelAt = [&](int x, int y) -> std::uint32_t {
        POINT p = ToDevice(src->state, xSrc + x, ySrc + y);
        p.x += src->origin.x;
        p.y += src->origin.y;
        if (p.x < 0 || p.y < 0 || p.x >= sw || p.y >= sh)
            return 0;
        return reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(p.y) *
                                                                 stride)[p.x] &
               0xFFFFFF;
    };
    const bool mono = src->mono();
    Writer info;
    const int rowBytes = writeDibHeader(info, width, height, mono);
    if (mono) {
        // Monochrome sources draw 0 in the destination's text colour, 1 in its background.
        for (COLORREF c : {ResolveColor(dst.state.textColor), ResolveColor(dst.state.bkColor)}) {
            info.u32((static_cast<std::uint32_t>(GetRValue(c)) << 16) |
                     (static_cast<std::uint32_t>(GetGValue(c)) << 8) | GetBValue(c));
        }
    }
    bmi = std::move(info.bytes);
    bits.assign(static_cast<std::size_t>(rowBytes) * height, 0);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = &bits[static_cast<std::size_t>(height - 1 - y) * rowBytes];
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = pixelAt(x, y);
            if (mono) {
                if (p)
                    row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            } else {
                row[x * 4] = static_cast<std::uint8_t>(p);
                row[x * 4 + 1] = static_cast<std::uint8_t>(p >> 8);
                row[x * 4 + 2] = static_cast<std::uint8_t>(p >> 16);
            }
        }
    }
    return true;
}

void EmfRecorder::writeStretchDib(Dc& dc, int xDst, int yDst, int widthDst, int heightDst, int xSrc,
                                  int ySrc, int widthSrc, int heightSrc,
                                  const std::vector<std::uint8_t>& bmi,
                                  const std::vector<std::uint8_t>& bits, DWORD rop) {
    addBounds(dc, xDst, yDst, xDst + widthDst - 1, yDst + heightDst - 1, 0);
    const std::size_t at = begin(kStretchDIBits);
    m_out.rect(lastBounds());
    m_out.i32(xDst);
    m_out.i32(yDst);
    m_out.i32(xSrc);
    m_out.i32(ySrc);
    m_out.i32(widthSrc);
    m_out.i32(heightSrc);
    const std::uint32_t fixed = 80;
    const std::uint32_t bmiSize = static_cast<std::uint32_t>((bmi.size() + 3) & ~std::size_t{3});
    m_out.u32(fixed);
    m_out.u32(static_cast<std::uint32_t>(bmi.size()));
    m_out.u32(fixed + bmiSize);
    m_out.u32(static_cast<std::uint32_t>(bits.size()));
    m_out.u32(DIB_RGB_COLORS);
    m_out.u32(rop);
    m_out.i32(widthDst);
    m_out.i32(heightDst);
    m_out.raw(bmi.data(), bmi.size());
    m_out.pad4();
    m_out.raw(bits.data(), bits.size());
    end(at);
}

BOOL EmfRecorder::blit(Dc& dc, int x, int y, int width, int height, HDC source, int xSrc, int ySrc,
                       int widthSrc, int heightSrc, DWORD rop, bool stretch) {
    const auto code = static_cast<std::uint8_t>((rop >> 16) & 0xFF);
    const bool usesSource = ((code >> 2) & 0x33) != (code & 0x33);
    if (!usesSource)
        return patBlt(dc, x, y, width, height, rop);
    if (!stretch) {
        widthSrc = width;
        heightSrc = height;
    }
    std::vector<std::uint8_t> bmi, bits;
    if (!packSource(dc, source, xSrc, ySrc, std::abs(widthSrc), std::abs(heightSrc), bmi, bits))
        return FALSE;
    sync(dc, false);
    writeStretchDib(dc, x, y, width, height, 0, 0, std::abs(widthSrc), std::abs(heightSrc), bmi,
                    bits, rop);
    return TRUE;
}

int EmfRecorder::stretchDIBits(Dc& dc, int xDst, int yDst, int widthDst, int heightDst, int xSrc,
                               int ySrc, int widthSrc, int heightSrc, const void* bits,
                               const BITMAPINFO* info, UINT usage, DWORD rop) {
    int w, h, rowBytes;
    if (!info || !bits || usage != DIB_RGB_COLORS || !DibLayout(info->bmiHeader, &w, &h, &rowBytes))
        return 0;
    const std::size_t headerBytes = infoSize(info->bmiHeader);
    const auto* b = static_cast<const std::uint8_t*>(bits);
    const std::vector<std::uint8_t> bmi(reinterpret_cast<const std::uint8_t*>(info),
                                        reinterpret_cast<const std::uint8_t*>(info) + headerBytes);
    const std::vector<std::uint8_t> pixels(b, b + static_cast<std::size_t>(rowBytes) * h);
    sync(dc, false);
    writeStretchDib(dc, xDst, yDst, widthDst, heightDst, xSrc, ySrc, widthSrc, heightSrc, bmi,
                    pixels, rop);
    return std::abs(heightSrc);
}

int EmfRecorder::setDIBitsToDevice(Dc& dc, int xDst, int yDst, DWORD width, DWORD height, int xSrc,
                                   int ySrc, UINT startScan, UINT lines, const void* bits,
                                   const BITMAPINFO* info, UINT usage) {
    int w, h, rowBytes;
    if (!info || !bits || usage != DIB_RGB_COLORS || !DibLayout(info->bmiHeader, &w, &h, &rowBytes))
        return 0;
    // Only whole images are recorded (the usual call): the rows given must be all of them.
    if (startScan != 0 || static_cast<int>(lines) != h)
        return 0;
    const std::size_t headerBytes = infoSize(info->bmiHeader);
    const auto* b = static_cast<const std::uint8_t*>(bits);
    const std::vector<std::uint8_t> bmi(reinterpret_cast<const std::uint8_t*>(info),
                                        reinterpret_cast<const std::uint8_t*>(info) + headerBytes);
    const std::vector<std::uint8_t> pixels(b, b + static_cast<std::size_t>(rowBytes) * h);
    sync(dc, false);
    const int wd = static_cast<int>(width), hd = static_cast<int>(height);
    // Drawn 1:1 with a plain copy, which is what the call does.
    writeStretchDib(dc, xDst, yDst, wd, hd, xSrc, ySrc, wd, hd, bmi, pixels, SRCCOPY);
    return static_cast<int>(lines);
}

BOOL EmfRecorder::textOut(Dc& dc, HDC hdc, int x, int y, UINT options, const RECT* rect,
                          const char* text, UINT count, const int* dx) {
    if (!text && count > 0)
        return FALSE;
    const bool updateCp = (dc.state.textAlign & TA_UPDATECP) != 0;
    sync(dc, updateCp);
    LOGFONT lf;
    const bool symbol = GetObject(dc.state.font, sizeof lf, &lf) && lf.lfCharSet == SYMBOL_CHARSET;
    // The advances as measured on this DC, so a player draws each character where we would.
    // A string of a huge font, or of many large advances (a played picture's), runs past the
    // int range: the sums are kept wide and what is written is held within it.
    const auto held = [](long long v) {
        return static_cast<int>(std::clamp<long long>(v, INT_MIN / 2, INT_MAX / 2));
    };
    std::vector<int> advances(count, 0);
    long long total = 0;
    SIZE size{};
    for (UINT i = 0; i < count; ++i) {
        if (dx) {
            advances[i] = dx[i];
        } else {
            GetTextExtentPoint32(hdc, text, static_cast<int>(i + 1), &size);
            advances[i] = held(size.cx - total);
        }
        total += advances[i];
    }
    if (!dx && count == 0)
        GetTextExtentPoint32(hdc, "X", 1, &size);
    else if (dx)
        GetTextExtentPoint32(hdc, text, static_cast<int>(count), &size);
    const POINT at0 = updateCp ? dc.state.current : POINT{x, y};
    const int h = std::max<int>(size.cy, 1);
    addBounds(dc, at0.x, held(at0.y - static_cast<long long>(h)), held(at0.x + total),
              held(at0.y + static_cast<long long>(h)), 1);
    const std::size_t at = begin(kExtTextOutW);
    m_out.rect(lastBounds());
    m_out.u32(1);    // compatible graphics mode
    m_out.f32(0.0f); // scales: unused in that mode
    m_out.f32(0.0f);
    m_out.i32(at0.x);
    m_out.i32(at0.y);
    m_out.u32(count);
    const std::uint32_t offString = 76;
    const std::uint32_t stringBytes = (count * 2 + 3) & ~3u;
    m_out.u32(offString);
    m_out.u32(options);
    m_out.rect(rect ? *rect : RECT{});
    m_out.u32(offString + stringBytes);
    for (UINT i = 0; i < count; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        m_out.u16(symbol ? static_cast<std::uint16_t>(0xF000 + byte)
                         : static_cast<std::uint16_t>(fontcore::Cp1252ToUnicode(byte)));
    }
    m_out.pad4();
    for (UINT i = 0; i < count; ++i)
        m_out.i32(advances[i]);
    end(at);
    if (updateCp)
        dc.state.current = m_state.current = POINT{held(at0.x + total), at0.y};
    return TRUE;
}

BOOL EmfRecorder::comment(UINT size, const BYTE* data) {
    if (size > 0 && !data)
        return FALSE;
    if (size > 0x7FFFFFF0u)
        return FALSE;
    const std::size_t at = begin(kGdiComment);
    m_out.u32(size);
    m_out.raw(data, size);
    end(at);
    return TRUE;
}

std::vector<std::uint8_t> EmfRecorder::finish() {
    simple(kEof, {0, 16, 20});
    const RECT bounds = m_anyBounds ? m_bounds : RECT{0, 0, -1, -1};
    RECT frame;
    if (m_setup.frame) {
        frame = *m_setup.frame;
    } else {
        // The bounds in 0.01 mm of the reference device.
        const auto toFrame = [](int v, int mm, int px) {
            return static_cast<LONG>(static_cast<long long>(v) * mm * 100 / std::max(px, 1));
        };
        const SIZE mm = m_setup.deviceMillimetres, px = m_setup.devicePixels;
        frame = m_anyBounds
                    ? RECT{toFrame(bounds.left, mm.cx, px.cx), toFrame(bounds.top, mm.cy, px.cy),
                           toFrame(bounds.right + 1, mm.cx, px.cx),
                           toFrame(bounds.bottom + 1, mm.cy, px.cy)}
                    : RECT{};
    }
    Writer h;
    h.u32(kHeader);
    h.u32(static_cast<std::uint32_t>(kHeaderSize + ((m_setup.description.size() * 2 + 3) & ~3u)));
    h.rect(bounds);
    h.rect(frame);
    h.u32(kSignature);
    h.u32(0x10000);
    h.u32(static_cast<std::uint32_t>(m_out.size()));
    h.u32(m_records);
    h.u16(static_cast<std::uint16_t>(m_used.size()));
    h.u16(0);
    h.u32(static_cast<std::uint32_t>(m_setup.description.size()));
    h.u32(m_setup.description.empty() ? 0 : kHeaderSize);
    h.u32(0);
    h.i32(m_setup.devicePixels.cx);
    h.i32(m_setup.devicePixels.cy);
    h.i32(m_setup.deviceMillimetres.cx);
    h.i32(m_setup.deviceMillimetres.cy);
    h.u32(0);
    h.u32(0);
    h.u32(0);
    h.i32(m_setup.deviceMillimetres.cx * 1000);
    h.i32(m_setup.deviceMillimetres.cy * 1000);
    for (char16_t c : m_setup.description)
        h.u16(static_cast<std::uint16_t>(c));
    h.pad4();
    std::copy(h.bytes.begin(), h.bytes.end(), m_out.bytes.begin());
    return std::move(m_out.bytes);
}

EmfRecorder* RecorderOfDc(HDC hdc) {
    Dc* dc = LookupDc(hdc, "recorder");
    return dc ? dc->recorder.get() : nullptr;
}

} // namespace plat::core
