// Windows metafiles: the older 16-bit format. A recording DC records an enhanced metafile like
// any other and converts it when it is closed; GetWinMetaFileBits converts the same way, and
// SetWinMetaFileBits plays a Windows metafile into an enhanced recording. The player checks every
// record against its size and the data, as the enhanced player does.

#include "core/emf/EmfPlayer.h"
#include "core/emf/EmfRecorder.h"
#include "core/font/Encoding.h"
#include "plat/Font.h"
#include "plat/Gdi.h"
#include "plat/Metafile.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace plat::core::emf {

namespace {

// Record functions of the 16-bit format.
enum Function : std::uint16_t {
    kMetaEof = 0x0000,
    kMetaSaveDc = 0x001E,
    kMetaSetBkMode = 0x0102,
    kMetaSetMapMode = 0x0103,
    kMetaSetRop2 = 0x0104,
    kMetaSetPolyFillMode = 0x0106,
    kMetaSetStretchBltMode = 0x0107,
    kMetaRestoreDc = 0x0127,
    kMetaSelectObject = 0x012D,
    kMetaSetTextAlign = 0x012E,
    kMetaDeleteObject = 0x01F0,
    kMetaSetBkColor = 0x0201,
    kMetaSetTextColor = 0x0209,
    kMetaSetWindowOrg = 0x020B,
    kMetaSetWindowExt = 0x020C,
    kMetaSetViewportOrg = 0x020D,
    kMetaSetViewportExt = 0x020E,
    kMetaLineTo = 0x0213,
    kMetaMoveTo = 0x0214,
    kMetaCreatePenIndirect = 0x02FA,
    kMetaCreateFontIndirect = 0x02FB,
    kMetaCreateBrushIndirect = 0x02FC,
    kMetaPolygon = 0x0324,
    kMetaPolyline = 0x0325,
    kMetaExcludeClipRect = 0x0415,
    kMetaIntersectClipRect = 0x0416,
    kMetaEllipse = 0x0418,
    kMetaRectangle = 0x041B,
    kMetaSetPixel = 0x041F,
    kMetaPatBlt = 0x061D,
    kMetaEscape = 0x0626,
    kMetaArc = 0x0817,
    kMetaExtTextOut = 0x0A32,
    kMetaStretchDib = 0x0F43,
};

constexpr std::uint16_t kCommentEscape = 15; // MFCOMMENT
constexpr std::size_t kWmfHeaderSize = 18;
constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kPlaceableSize = 22;

std::int16_t clamp16(long long v) {
    return static_cast<std::int16_t>(std::clamp<long long>(v, SHRT_MIN, SHRT_MAX));
}

// Writes 16-bit records: size in words, function, parameters.
class WmfWriter {
public:
    WmfWriter() { m_out.bytes.assign(kWmfHeaderSize, 0); }

    void record(std::uint16_t function, const std::vector<std::uint16_t>& words,
                const std::vector<std::uint8_t>& tail = {}) {
        const std::size_t tailWords = (tail.size() + 1) / 2;
        const std::uint32_t size = static_cast<std::uint32_t>(3 + words.size() + tailWords);
        m_out.u32(size);
        m_out.u16(function);
        for (std::uint16_t w : words)
            m_out.u16(w);
        m_out.raw(tail.data(), tail.size());
        if (tail.size() % 2)
            m_out.bytes.push_back(0);
        m_maxRecord = std::max(m_maxRecord, size);
    }
    // The lowest free object slot, taken.
    std::uint16_t newSlot() {
        for (std::size_t i = 0; i < m_slots.size(); ++i)
            if (!m_slots[i]) {
                m_slots[i] = true;
                return static_cast<std::uint16_t>(i);
            }
        m_slots.push_back(true);
        return static_cast<std::uint16_t>(m_slots.size() - 1);
    }
    void freeSlot(std::uint16_t slot) {
        if (slot < m_slots.size())
            m_slots[slot] = false;
    }
    std::vector<std::uint8_t> finish() {
        record(kMetaEof, {});
        Writer h;
        h.u16(1); // in memory
        h.u16(9);
        h.u16(0x0300);
        h.u32(static_cast<std::uint32_t>(m_out.size() / 2));
        h.u16(static_cast<std::uint16_t>(std::max<std::size_t>(m_slots.size(), 1)));
        h.u32(m_maxRecord);
        h.u16(0);
        std::copy(h.bytes.begin(), h.bytes.end(), m_out.bytes.begin());
        return std::move(m_out.bytes);
    }

private:
    Writer m_out;
    std::vector<bool> m_slots;
    std::uint32_t m_maxRecord = 3;
};

std::uint16_t lo(std::uint32_t v) {
    return static_cast<std::uint16_t>(v & 0xFFFF);
}
std::uint16_t hi(std::uint32_t v) {
    return static_cast<std::uint16_t>(v >> 16);
}
std::uint16_t s16(long long v) {
    return static_cast<std::uint16_t>(clamp16(v));
}

} // namespace

// Converts enhanced-metafile bytes (already checked) into a Windows metafile. Records the older
// format cannot carry (paths, curves, clip regions, world transforms, FillRgn and FrameRgn) are
// left out; PaintRgn and InvertRgn become pattern blits, rectangle by rectangle.
std::vector<std::uint8_t> EmfToWmf(const std::uint8_t* data, std::size_t size,
                                   const std::function<void()>* step) {
    WmfWriter w;
    std::map<std::uint32_t, std::uint16_t> slots; // enhanced object index -> slot
    // Stock objects have no record in the older format: a made equivalent stands in, one per
    // kind, replaced when another is selected.
    std::map<int, std::uint16_t> stand; // 0 pen, 1 brush -> slot
    const auto selectStock = [&](std::uint32_t id) {
        int kind = -1;
        std::uint16_t slot = 0;
        if (id == BLACK_PEN || id == WHITE_PEN || id == NULL_PEN) {
            kind = 0;
            slot = w.newSlot();
            const std::uint32_t c = id == WHITE_PEN ? 0xFFFFFF : 0;
            w.record(kMetaCreatePenIndirect,
                     {static_cast<std::uint16_t>(id == NULL_PEN ? PS_NULL : PS_SOLID), 0, 0, lo(c),
                      hi(c)});
        } else if (id <= NULL_BRUSH) {
            kind = 1;
            slot = w.newSlot();
            static const std::uint32_t grey[] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0};
            const std::uint32_t c = id < NULL_BRUSH ? grey[id] : 0;
            w.record(kMetaCreateBrushIndirect,
                     {static_cast<std::uint16_t>(id == NULL_BRUSH ? BS_NULL : BS_SOLID), lo(c),
                      hi(c), 0});
        } else {
            return; // stock fonts and palettes: the player's default stays
        }
        w.record(kMetaSelectObject, {slot});
        if (stand.count(kind)) {
            w.record(kMetaDeleteObject, {stand[kind]});
            w.freeSlot(stand[kind]);
        }
        stand[kind] = slot;
    };
    // The older format's viewport is the player's: it places and scales the picture. Only the
    // first viewport extent (the recording's own scale, which playing 1:1 keeps) is written as
    // it is; every later change of the viewport (a picture drawn inside the picture) becomes the
    // window that maps the same logical units onto that first viewport.
    struct Mapping {
        POINT windowOrg{0, 0}, windowExt{1, 1}, viewportOrg{0, 0}, viewportExt{1, 1};
        POINT writtenOrg{0, 0}, writtenExt{1, 1};
    };
    Mapping map;
    std::vector<Mapping> savedMaps;
    std::optional<std::pair<POINT, POINT>> base; // the first viewport's origin and extent
    const auto mapping = [&](std::uint32_t type, POINT value) {
        (type == kSetWindowExtEx     ? map.windowExt
         : type == kSetWindowOrgEx   ? map.windowOrg
         : type == kSetViewportExtEx ? map.viewportExt
                                     : map.viewportOrg) = value;
        if (!base) {
            static const std::map<std::uint32_t, std::uint16_t> f = {
                {kSetWindowExtEx, kMetaSetWindowExt},
                {kSetWindowOrgEx, kMetaSetWindowOrg},
                {kSetViewportExtEx, kMetaSetViewportExt},
                {kSetViewportOrgEx, kMetaSetViewportOrg}};
            w.record(f.at(type), {s16(value.y), s16(value.x)});
            if (type == kSetViewportExtEx)
                base = std::pair{map.viewportOrg, map.viewportExt};
            if (type == kSetWindowExtEx)
                map.writtenExt = value;
            else if (type == kSetWindowOrgEx)
                map.writtenOrg = value;
            return;
        }
        // device = (logical - org) * viewportExt / windowExt + viewportOrg, on both sides.
        const auto axis = [](long long org, long long ext, long long vOrg, long long vExt,
                             long long baseOrg, long long baseExt, long long& newOrg,
                             long long& newExt) {
            if (ext == 0 || vExt == 0)
                return false;
            newExt = std::llround(static_cast<double>(ext) * baseExt / vExt);
            if (newExt == 0)
                newExt = ((ext < 0) != (baseExt < 0)) != (vExt < 0) ? -1 : 1;
            newOrg = std::llround(org - static_cast<double>(vOrg - baseOrg) * ext / vExt);
            return true;
        };
        long long ox = 0, ex = 0, oy = 0, ey = 0;
        if (!axis(map.windowOrg.x, map.windowExt.x, map.viewportOrg.x, map.viewportExt.x,
                  base->first.x, base->second.x, ox, ex) ||
            !axis(map.windowOrg.y, map.windowExt.y, map.viewportOrg.y, map.viewportExt.y,
                  base->first.y, base->second.y, oy, ey))
            return;
        const POINT ext{clamp16(ex), clamp16(ey)}, org{clamp16(ox), clamp16(oy)};
        if (ext.x != map.writtenExt.x || ext.y != map.writtenExt.y)
            w.record(kMetaSetWindowExt,
                     {static_cast<std::uint16_t>(ext.y), static_cast<std::uint16_t>(ext.x)});
        if (org.x != map.writtenOrg.x || org.y != map.writtenOrg.y)
            w.record(kMetaSetWindowOrg,
                     {static_cast<std::uint16_t>(org.y), static_cast<std::uint16_t>(org.x)});
        map.writtenExt = ext;
        map.writtenOrg = org;
    };
    const std::vector<RecordSpan> spans = WalkRecords(data, size);
    std::size_t done = 0;
    for (const RecordSpan& span : spans) {
        if (step && ++done % kConversionStep == 0)
            (*step)();
        const Reader r(data + span.offset, span.size);
        const auto need = [&](std::size_t n) { return span.size >= n; };
        switch (span.type) {
        case kSetMapMode:
        case kSetBkMode:
        case kSetRop2:
        case kSetPolyFillMode:
        case kSetStretchBltMode:
        case kSetTextAlign:
            if (need(12)) {
                static const std::map<std::uint32_t, std::uint16_t> f = {
                    {kSetMapMode, kMetaSetMapMode},
                    {kSetBkMode, kMetaSetBkMode},
                    {kSetRop2, kMetaSetRop2},
                    {kSetPolyFillMode, kMetaSetPolyFillMode},
                    {kSetStretchBltMode, kMetaSetStretchBltMode},
                    {kSetTextAlign, kMetaSetTextAlign}};
                w.record(f.at(span.type), {lo(r.u32(8))});
            }
            break;
        case kSetTextColor:
        case kSetBkColor:
            if (need(12))
                w.record(span.type == kSetTextColor ? kMetaSetTextColor : kMetaSetBkColor,
                         {lo(r.u32(8)), hi(r.u32(8))});
            break;
        case kSetWindowExtEx:
        case kSetWindowOrgEx:
        case kSetViewportExtEx:
        case kSetViewportOrgEx:
            if (need(16))
                mapping(span.type, POINT{r.i32(8), r.i32(12)});
            break;
        case kMoveToEx:
        case kLineTo:
            if (need(16))
                w.record(span.type == kMoveToEx ? kMetaMoveTo : kMetaLineTo,
                         {s16(r.i32(12)), s16(r.i32(8))});
            break;
        case kRectangle:
        case kEllipse:
        case kIntersectClipRect:
        case kExcludeClipRect:
            if (need(24)) {
                const RECT b = r.rect(8);
                const std::uint16_t f = span.type == kRectangle           ? kMetaRectangle
                                        : span.type == kEllipse           ? kMetaEllipse
                                        : span.type == kIntersectClipRect ? kMetaIntersectClipRect
                                                                          : kMetaExcludeClipRect;
                w.record(f, {s16(b.bottom), s16(b.right), s16(b.top), s16(b.left)});
            }
            break;
        case kArc:
            if (need(40)) {
                const RECT b = r.rect(8);
                w.record(kMetaArc, {s16(r.i32(36)), s16(r.i32(32)), s16(r.i32(28)), s16(r.i32(24)),
                                    s16(b.bottom), s16(b.right), s16(b.top), s16(b.left)});
            }
            break;
        case kSetPixelV:
            if (need(20))
                w.record(kMetaSetPixel,
                         {lo(r.u32(16)), hi(r.u32(16)), s16(r.i32(12)), s16(r.i32(8))});
            break;
        case kSaveDc:
            w.record(kMetaSaveDc, {});
            savedMaps.push_back(map);
            break;
        case kRestoreDc:
            if (need(12)) {
                const std::int32_t level = r.i32(8);
                w.record(kMetaRestoreDc, {s16(level)});
                const std::size_t back =
                    level < 0
                        ? static_cast<std::size_t>(-static_cast<long long>(level) - 1)
                        : savedMaps.size() - std::min<std::size_t>(savedMaps.size(),
                                                                   static_cast<std::size_t>(level));
                if (back < savedMaps.size()) {
                    map = savedMaps[savedMaps.size() - 1 - back];
                    savedMaps.resize(savedMaps.size() - 1 - back);
                }
            }
            break;
        case kPolygon:
        case kPolyline:
        case kPolygon16:
        case kPolyline16: {
            const bool small = span.type == kPolygon16 || span.type == kPolyline16;
            const std::size_t each = small ? 4 : 8;
            const std::uint32_t count = r.u32(24);
            if (!need(28) || count > (span.size - 28) / each || count > 0x7FFF)
                break;
            std::vector<std::uint16_t> words{static_cast<std::uint16_t>(count)};
            for (std::uint32_t i = 0; i < count; ++i) {
                const std::size_t at = 28 + each * i;
                words.push_back(small ? r.u16(at) : s16(r.i32(at)));
                words.push_back(small ? r.u16(at + 2) : s16(r.i32(at + 4)));
            }
            w.record(span.type == kPolygon || span.type == kPolygon16 ? kMetaPolygon
                                                                      : kMetaPolyline,
                     words);
            break;
        }
        case kCreatePen:
            if (need(28)) {
                const std::uint16_t slot = w.newSlot();
                slots[r.u32(8)] = slot;
                w.record(kMetaCreatePenIndirect,
                         {lo(r.u32(12)), s16(r.i32(16)), 0, lo(r.u32(24)), hi(r.u32(24))});
            }
            break;
        case kCreateBrushIndirect:
            if (need(24)) {
                const std::uint16_t slot = w.newSlot();
                slots[r.u32(8)] = slot;
                w.record(kMetaCreateBrushIndirect,
                         {lo(r.u32(12)), lo(r.u32(16)), hi(r.u32(16)), lo(r.u32(20))});
            }
            break;
        case kExtCreateFontIndirectW:
            if (need(104)) {
                const std::uint16_t slot = w.newSlot();
                slots[r.u32(8)] = slot;
                std::vector<std::uint16_t> words = {s16(r.i32(12)), s16(r.i32(16)), s16(r.i32(20)),
                                                    s16(r.i32(24)), s16(r.i32(28))};
                std::vector<std::uint8_t> tail(r.at(32), r.at(32) + 8);
                for (int i = 0; i < 32; ++i)
                    tail.push_back(ByteFromUtf16(r.u16(40 + 2 * static_cast<std::size_t>(i))));
                tail.back() = 0;
                w.record(kMetaCreateFontIndirect, words, tail);
            }
            break;
        case kSelectObject:
            if (need(12)) {
                const std::uint32_t index = r.u32(8);
                if (index & kStockObjectFlag)
                    selectStock(index & ~kStockObjectFlag);
                else if (slots.count(index))
                    w.record(kMetaSelectObject, {slots[index]});
            }
            break;
        case kDeleteObject:
            if (need(12) && slots.count(r.u32(8))) {
                w.record(kMetaDeleteObject, {slots[r.u32(8)]});
                w.freeSlot(slots[r.u32(8)]);
                slots.erase(r.u32(8));
            }
            break;
        case kGdiComment:
            if (need(12) && r.u32(8) <= span.size - 12 && r.u32(8) <= 0x7FFF) {
                const std::uint32_t n = r.u32(8);
                w.record(kMetaEscape, {kCommentEscape, static_cast<std::uint16_t>(n)},
                         std::vector<std::uint8_t>(r.at(12), r.at(12) + n));
            }
            break;
        case kPaintRgn:
        case kInvertRgn:
            if (need(28)) {
                const std::uint32_t bytes = r.u32(24), count = r.u32(36);
                if (!r.has(28, bytes) || bytes < 32 || r.u32(28) != 32 || r.u32(32) != 1 ||
                    count > (bytes - 32) / 16)
                    break;
                const DWORD rop = span.type == kPaintRgn ? PATCOPY : DSTINVERT;
                for (std::uint32_t i = 0; i < count; ++i) {
                    const RECT rc = r.rect(60 + 16 * static_cast<std::size_t>(i));
                    w.record(kMetaPatBlt,
                             {lo(rop), hi(rop), s16(static_cast<long long>(rc.bottom) - rc.top),
                              s16(static_cast<long long>(rc.right) - rc.left), s16(rc.top),
                              s16(rc.left)});
                }
            }
            break;
        case kBitBlt:
            if (need(100) && r.u32(88) == 0) { // pattern blits only
                w.record(kMetaPatBlt, {lo(r.u32(40)), hi(r.u32(40)), s16(r.i32(36)), s16(r.i32(32)),
                                       s16(r.i32(28)), s16(r.i32(24))});
            }
            break;
        case kStretchDIBits:
            if (need(80)) {
                const std::uint32_t offBmi = r.u32(48), cbBmi = r.u32(52), offBits = r.u32(56),
                                    cbBits = r.u32(60);
                if (!r.has(offBmi, cbBmi) || !r.has(offBits, cbBits) || cbBmi + cbBits > 0xFFFFF)
                    break;
                std::vector<std::uint8_t> dib(r.at(offBmi), r.at(offBmi) + cbBmi);
                dib.insert(dib.end(), r.at(offBits), r.at(offBits) + cbBits);
                w.record(kMetaStretchDib,
                         {lo(r.u32(68)), hi(r.u32(68)), lo(r.u32(64)), s16(r.i32(44)),
                          s16(r.i32(40)), s16(r.i32(36)), s16(r.i32(32)), s16(r.i32(76)),
                          s16(r.i32(72)), s16(r.i32(28)), s16(r.i32(24))},
                         dib);
            }
            break;
        case kExtTextOutW:
            if (need(76)) {
                const std::uint32_t count = r.u32(44), offString = r.u32(48), options = r.u32(52),
                                    offDx = r.u32(72);
                if (count > 0x7FFF || !r.has(offString, 2 * std::size_t{count}) ||
                    (offDx && !r.has(offDx, 4 * std::size_t{count})))
                    break;
                std::vector<std::uint16_t> words = {s16(r.i32(40)), s16(r.i32(36)),
                                                    static_cast<std::uint16_t>(count), lo(options)};
                const RECT box = r.rect(56);
                if (options & (ETO_OPAQUE | ETO_CLIPPED))
                    for (LONG v : {box.left, box.top, box.right, box.bottom})
                        words.push_back(s16(v));
                std::vector<std::uint8_t> tail;
                for (std::uint32_t i = 0; i < count; ++i)
                    tail.push_back(ByteFromUtf16(r.u16(offString + 2 * i)));
                if (tail.size() % 2)
                    tail.push_back(0);
                if (offDx)
                    for (std::uint32_t i = 0; i < count; ++i) {
                        const std::uint16_t d = s16(r.i32(offDx + 4 * i));
                        tail.push_back(static_cast<std::uint8_t>(d));
                        tail.push_back(static_cast<std::uint8_t>(d >> 8));
                    }
                w.record(kMetaExtTextOut, words, tail);
            }
            break;
        default:
            break;
        }
    }
    return w.finish();
}

// Checks a Windows metafile (an optional placeable header first): the offset of its header, or
// SIZE_MAX when it is not one.
std::size_t WmfStart(const std::uint8_t* data, std::size_t size) {
    if (!data)
        return SIZE_MAX;
    const Reader r(data, size);
    std::size_t at = 0;
    if (size >= kPlaceableSize && r.u32(0) == kPlaceableKey)
        at = kPlaceableSize;
    if (!r.has(at, kWmfHeaderSize))
        return SIZE_MAX;
    const std::uint16_t type = r.u16(at), headerWords = r.u16(at + 2);
    if ((type != 1 && type != 2) || headerWords != 9)
        return SIZE_MAX;
    const std::uint64_t words = r.u32(at + 6);
    if (words * 2 < kWmfHeaderSize || words * 2 > size - at)
        return SIZE_MAX;
    return at;
}

namespace {

// Plays the records of a checked Windows metafile on a DC.
class WmfPlayer {
public:
    WmfPlayer(HDC dc, const std::uint8_t* data, std::size_t size)
        : m_dc(dc)
        , m_r(data, size) {
        m_objects.assign(std::max<std::uint16_t>(m_r.u16(10), 1), nullptr);
    }
    ~WmfPlayer() {
        for (HGDIOBJ h : m_objects)
            if (h)
                DeleteObject(h);
    }

    void play() {
        const int saved = SaveDC(m_dc);
        if (!saved)
            return;
        std::size_t at = kWmfHeaderSize;
        const std::size_t end = static_cast<std::size_t>(m_r.u32(6)) * 2;
        int depth = 0;
        while (end - at >= 6) {
            const std::uint64_t bytes = std::uint64_t{m_r.u32(at)} * 2;
            const std::uint16_t function = m_r.u16(at + 4);
            if (bytes < 6 || bytes > end - at)
                break; // a record running past the data ends the walk
            if (function == kMetaEof)
                break;
            record(function, at + 6, static_cast<std::size_t>(bytes - 6), depth);
            at += static_cast<std::size_t>(bytes);
        }
        RestoreDC(m_dc, saved);
        for (HGDIOBJ& h : m_objects)
            if (h) {
                DeleteObject(h);
                h = nullptr;
            }
    }

private:
    std::int16_t p(std::size_t base, int i) const {
        return m_r.i16(base + 2 * static_cast<std::size_t>(i));
    }
    void store(HGDIOBJ h) {
        for (HGDIOBJ& slot : m_objects)
            if (!slot) {
                slot = h;
                return;
            }
        if (h)
            DeleteObject(h); // no free slot: the header's count was too small
    }

    void record(std::uint16_t f, std::size_t b, std::size_t n, int& depth) {
        const auto need = [&](std::size_t words) { return n >= 2 * words; };
        const auto colour = [&](int i) {
            return static_cast<COLORREF>(
                static_cast<std::uint16_t>(p(b, i)) |
                (static_cast<std::uint32_t>(static_cast<std::uint16_t>(p(b, i + 1))) << 16));
        };
        switch (f) {
        case kMetaSetBkMode:
            if (need(1))
                SetBkMode(m_dc, p(b, 0));
            break;
        case kMetaSetMapMode:
            if (need(1))
                SetMapMode(m_dc, p(b, 0));
            break;
        case kMetaSetRop2:
            if (need(1))
                SetROP2(m_dc, p(b, 0));
            break;
        case kMetaSetPolyFillMode:
            if (need(1))
                SetPolyFillMode(m_dc, p(b, 0));
            break;
        case kMetaSetStretchBltMode:
            if (need(1))
                SetStretchBltMode(m_dc, p(b, 0));
            break;
        case kMetaSetTextAlign:
            if (need(1))
                SetTextAlign(m_dc, static_cast<std::uint16_t>(p(b, 0)));
            break;
        case kMetaSetBkColor:
            if (need(2))
                SetBkColor(m_dc, colour(0));
            break;
        case kMetaSetTextColor:
            if (need(2))
                SetTextColor(m_dc, colour(0));
            break;
        case kMetaSetWindowOrg:
            if (need(2))
                SetWindowOrgEx(m_dc, p(b, 1), p(b, 0), nullptr);
            break;
        case kMetaSetWindowExt:
            if (need(2))
                SetWindowExtEx(m_dc, p(b, 1), p(b, 0), nullptr);
            break;
        case kMetaSetViewportOrg:
            if (need(2))
                SetViewportOrgEx(m_dc, p(b, 1), p(b, 0), nullptr);
            break;
        case kMetaSetViewportExt:
            if (need(2))
                SetViewportExtEx(m_dc, p(b, 1), p(b, 0), nullptr);
            break;
        case kMetaLineTo:
            if (need(2))
                LineTo(m_dc, p(b, 1), p(b, 0));
            break;
        case kMetaMoveTo:
            if (need(2))
                MoveToEx(m_dc, p(b, 1), p(b, 0), nullptr);
            break;
        case kMetaRectangle:
        case kMetaEllipse:
        case kMetaIntersectClipRect:
        case kMetaExcludeClipRect:
            if (need(4)) {
                const int l = p(b, 3), t = p(b, 2), r = p(b, 1), bt = p(b, 0);
                if (f == kMetaRectangle)
                    Rectangle(m_dc, l, t, r, bt);
                else if (f == kMetaEllipse)
                    Ellipse(m_dc, l, t, r, bt);
                else if (f == kMetaIntersectClipRect)
                    IntersectClipRect(m_dc, l, t, r, bt);
                else
                    ExcludeClipRect(m_dc, l, t, r, bt);
            }
            break;
        case kMetaArc:
            if (need(8))
                Arc(m_dc, p(b, 7), p(b, 6), p(b, 5), p(b, 4), p(b, 3), p(b, 2), p(b, 1), p(b, 0));
            break;
        case kMetaSetPixel:
            if (need(4))
                SetPixel(m_dc, p(b, 3), p(b, 2), colour(0));
            break;
        case kMetaPatBlt:
            if (need(6))
                PatBlt(m_dc, p(b, 5), p(b, 4), p(b, 3), p(b, 2), static_cast<DWORD>(colour(0)));
            break;
        case kMetaSaveDc:
            if (SaveDC(m_dc))
                ++depth;
            break;
        case kMetaRestoreDc:
            // Only levels the picture saved itself.
            if (need(1) && p(b, 0) < 0 && p(b, 0) >= -depth && RestoreDC(m_dc, p(b, 0)))
                depth += p(b, 0);
            break;
        case kMetaPolygon:
        case kMetaPolyline: {
            if (!need(1))
                break;
            const int count = p(b, 0);
            if (count < 0 || static_cast<std::size_t>(count) > (n - 2) / 4)
                break;
            std::vector<POINT> pts(static_cast<std::size_t>(count));
            for (int i = 0; i < count; ++i)
                pts[static_cast<std::size_t>(i)] = POINT{p(b, 1 + 2 * i), p(b, 2 + 2 * i)};
            if (f == kMetaPolygon)
                Polygon(m_dc, pts.data(), count);
            else
                Polyline(m_dc, pts.data(), count);
            break;
        }
        case kMetaCreatePenIndirect:
            if (need(5)) {
                const int style = p(b, 0) & PS_STYLE_MASK;
                store(CreatePen(style <= PS_INSIDEFRAME ? style : PS_SOLID,
                                std::clamp<int>(p(b, 1), 0, 4096), colour(3)));
            }
            break;
        case kMetaCreateBrushIndirect:
            if (need(4)) {
                const int style = static_cast<std::uint16_t>(p(b, 0));
                store(style == static_cast<int>(BS_NULL) ? GetStockObject(NULL_BRUSH)
                                                         : CreateSolidBrush(colour(1)));
            }
            break;
        case kMetaCreateFontIndirect:
            if (need(9)) {
                LOGFONT lf;
                lf.lfHeight = p(b, 0);
                lf.lfWidth = p(b, 1);
                lf.lfEscapement = p(b, 2);
                lf.lfOrientation = p(b, 3);
                lf.lfWeight = p(b, 4);
                const std::uint8_t* bytes = m_r.at(b + 10);
                lf.lfItalic = bytes[0];
                lf.lfUnderline = bytes[1];
                lf.lfStrikeOut = bytes[2];
                lf.lfCharSet = bytes[3];
                lf.lfOutPrecision = bytes[4];
                lf.lfClipPrecision = bytes[5];
                lf.lfQuality = bytes[6];
                lf.lfPitchAndFamily = bytes[7];
                const std::size_t nameBytes = std::min<std::size_t>(n - 18, LF_FACESIZE - 1);
                for (std::size_t i = 0; i < nameBytes && bytes[8 + i]; ++i)
                    lf.lfFaceName[i] = static_cast<char>(bytes[8 + i]);
                store(CreateFontIndirect(&lf));
            }
            break;
        case kMetaSelectObject:
            if (need(1)) {
                const auto i = static_cast<std::uint16_t>(p(b, 0));
                if (i < m_objects.size() && m_objects[i])
                    SelectObject(m_dc, m_objects[i]);
            }
            break;
        case kMetaDeleteObject:
            if (need(1)) {
                const auto i = static_cast<std::uint16_t>(p(b, 0));
                if (i < m_objects.size() && m_objects[i]) {
                    for (UINT type : {OBJ_PEN, OBJ_BRUSH, OBJ_FONT})
                        if (GetCurrentObject(m_dc, type) == m_objects[i])
                            SelectObject(m_dc, GetStockObject(type == OBJ_PEN     ? BLACK_PEN
                                                              : type == OBJ_BRUSH ? WHITE_BRUSH
                                                                                  : SYSTEM_FONT));
                    DeleteObject(m_objects[i]);
                    m_objects[i] = nullptr;
                }
            }
            break;
        case kMetaExtTextOut: {
            if (!need(4))
                break;
            const int count = p(b, 2);
            const auto options = static_cast<std::uint16_t>(p(b, 3));
            const bool hasRect = (options & (ETO_OPAQUE | ETO_CLIPPED)) != 0;
            const std::size_t textAt = 8 + (hasRect ? 8 : 0);
            if (count < 0 || n < textAt || static_cast<std::size_t>(count) > n - textAt)
                break;
            const RECT box{p(b, 4), p(b, 5), p(b, 6), p(b, 7)};
            const std::string text(reinterpret_cast<const char*>(m_r.at(b + textAt)),
                                   static_cast<std::size_t>(count));
            const std::size_t dxAt = textAt + ((static_cast<std::size_t>(count) + 1) & ~1u);
            std::vector<int> dx;
            if (n >= dxAt + 2 * static_cast<std::size_t>(count))
                for (int i = 0; i < count; ++i)
                    dx.push_back(m_r.i16(b + dxAt + 2 * static_cast<std::size_t>(i)));
            ExtTextOut(m_dc, p(b, 1), p(b, 0), options, hasRect ? &box : nullptr, text.data(),
                       static_cast<UINT>(count), dx.empty() ? nullptr : dx.data());
            break;
        }
        case kMetaStretchDib: {
            if (!need(11) || n - 22 < 40)
                break;
            const std::size_t dibAt = b + 22, dibBytes = n - 22;
            BITMAPINFOHEADER h;
            std::memcpy(&h, m_r.at(dibAt), sizeof h);
            int width, height, rowBytes;
            if (h.biSize != 40 || !DibLayout(h, &width, &height, &rowBytes))
                break;
            std::size_t info = 40;
            if (h.biBitCount <= 8)
                info +=
                    4 * static_cast<std::size_t>(h.biClrUsed ? h.biClrUsed : 1u << h.biBitCount);
            else if (h.biCompression == BI_BITFIELDS)
                info += 12;
            if (info > dibBytes || static_cast<std::uint64_t>(rowBytes) * height > dibBytes - info)
                break;
            std::vector<std::uint32_t> header((info + 3) / 4);
            std::memcpy(header.data(), m_r.at(dibAt), info);
            const int sh = p(b, 3), sw = p(b, 4), sy = p(b, 5), sx = p(b, 6);
            if (sx < 0 || sy < 0 || sw < 0 || sh < 0 || sx + sw > width || sy + sh > height)
                break;
            StretchDIBits(m_dc, p(b, 10), p(b, 9), p(b, 8), p(b, 7), sx, sy, sw, sh,
                          m_r.at(dibAt + info), reinterpret_cast<const BITMAPINFO*>(header.data()),
                          DIB_RGB_COLORS, static_cast<DWORD>(colour(0)));
            break;
        }
        case kMetaEscape:
            if (need(2) && p(b, 0) == kCommentEscape) {
                const auto bytes = static_cast<std::uint16_t>(p(b, 1));
                if (bytes <= n - 4)
                    GdiComment(m_dc, bytes, m_r.at(b + 4));
            }
            break;
        default:
            break;
        }
    }

    HDC m_dc;
    Reader m_r;
    std::vector<HGDIOBJ> m_objects;
};

} // namespace

void PlayWmf(HDC dc, const std::uint8_t* data, std::size_t size) {
    WmfPlayer(dc, data, size).play();
}

} // namespace plat::core::emf

namespace plat {

using namespace plat::core;
using namespace plat::core::emf;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::map<std::uint32_t, std::shared_ptr<const Bytes>>& wmfTable() {
    static auto* t = new std::map<std::uint32_t, std::shared_ptr<const Bytes>>;
    return *t;
}

HMETAFILE addWmf(Bytes bytes) {
    static std::uint32_t next = 1;
    const std::uint32_t id = next++;
    wmfTable()[id] = std::make_shared<const Bytes>(std::move(bytes));
    return HandleFromId<HMETAFILE>(id);
}

std::shared_ptr<const Bytes> lookupWmf(HMETAFILE h) {
    auto it = wmfTable().find(IdFromHandle(h));
    return it == wmfTable().end() ? nullptr : it->second;
}

// The metafile's own bytes (no placeable header, nothing after its end).
Bytes ownBytes(const BYTE* data, std::size_t size, std::size_t start) {
    const std::size_t words = Reader(data + start, size - start).u32(6);
    return Bytes(data + start, data + start + words * 2);
}

} // namespace

HDC CreateMetaFile(const char* fileName) {
    HDC hdc = CreateEnhMetaFile(nullptr, nullptr, nullptr, nullptr);
    if (Dc* dc = LookupDc(hdc, "CreateMetaFile"))
        dc->recorder->setWindowsFormat(fileName ? fileName : "");
    return hdc;
}

HMETAFILE CloseMetaFile(HDC hdc) {
    Dc* dc = LookupDc(hdc, "CloseMetaFile");
    if (!dc || !dc->recorder || !dc->recorder->windowsFormat()) {
        GdiDiagnostic("CloseMetaFile: not a Windows-metafile recording");
        return nullptr;
    }
    const std::string fileName = dc->recorder->windowsFileName();
    HENHMETAFILE emf = CloseEnhMetaFile(hdc);
    if (!emf)
        return nullptr;
    Bytes enhanced(GetEnhMetaFileBits(emf, 0, nullptr));
    GetEnhMetaFileBits(emf, static_cast<UINT>(enhanced.size()), enhanced.data());
    DeleteEnhMetaFile(emf);
    Bytes bytes = EmfToWmf(enhanced.data(), enhanced.size());
    if (!fileName.empty()) {
        const std::string temporary = fileName + ".tmp";
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out || std::rename(temporary.c_str(), fileName.c_str()) != 0) {
            std::remove(temporary.c_str());
            return nullptr;
        }
    }
    return addWmf(std::move(bytes));
}

BOOL DeleteMetaFile(HMETAFILE wmf) {
    return wmfTable().erase(IdFromHandle(wmf)) ? TRUE : FALSE;
}

UINT GetMetaFileBitsEx(HMETAFILE wmf, UINT size, void* buffer) {
    auto bytes = lookupWmf(wmf);
    if (!bytes)
        return 0;
    if (!buffer)
        return static_cast<UINT>(bytes->size());
    if (size < bytes->size())
        return 0;
    std::copy(bytes->begin(), bytes->end(), static_cast<BYTE*>(buffer));
    return static_cast<UINT>(bytes->size());
}

HMETAFILE SetMetaFileBitsEx(UINT size, const BYTE* data) {
    const std::size_t start = WmfStart(data, size);
    if (start == SIZE_MAX) {
        GdiDiagnostic("SetMetaFileBitsEx: not a Windows metafile");
        return nullptr;
    }
    return addWmf(ownBytes(data, size, start));
}

BOOL PlayMetaFile(HDC hdc, HMETAFILE wmf) {
    auto bytes = lookupWmf(wmf);
    if (!bytes || !LookupDc(hdc, "PlayMetaFile"))
        return FALSE;
    PlayWmf(hdc, bytes->data(), bytes->size());
    return TRUE;
}

UINT GetWinMetaFileBits(HENHMETAFILE emf, UINT size, BYTE* buffer, int, HDC) {
    Bytes enhanced(GetEnhMetaFileBits(emf, 0, nullptr));
    if (enhanced.empty())
        return 0;
    GetEnhMetaFileBits(emf, static_cast<UINT>(enhanced.size()), enhanced.data());
    const Bytes bytes = EmfToWmf(enhanced.data(), enhanced.size());
    if (!buffer)
        return static_cast<UINT>(bytes.size());
    if (size < bytes.size())
        return 0;
    std::copy(bytes.begin(), bytes.end(), buffer);
    return static_cast<UINT>(bytes.size());
}

HENHMETAFILE SetWinMetaFileBits(UINT size, const BYTE* data, HDC reference,
                                const METAFILEPICT* picture) {
    const std::size_t start = WmfStart(data, size);
    if (start == SIZE_MAX) {
        GdiDiagnostic("SetWinMetaFileBits: not a Windows metafile");
        return nullptr;
    }
    const Bytes bytes = ownBytes(data, size, start);
    RECT frame;
    const RECT* framePtr = nullptr;
    if (picture && picture->xExt > 0 && picture->yExt > 0 && picture->mm == MM_ANISOTROPIC) {
        // Extents in 0.01 mm.
        frame = RECT{0, 0, picture->xExt, picture->yExt};
        framePtr = &frame;
    }
    HDC rec = CreateEnhMetaFile(reference, nullptr, framePtr, nullptr);
    if (!rec)
        return nullptr;
    PlayWmf(rec, bytes.data(), bytes.size());
    return CloseEnhMetaFile(rec);
}

} // namespace plat
