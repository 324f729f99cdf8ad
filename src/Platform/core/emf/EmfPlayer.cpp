#include "core/emf/EmfPlayer.h"

#include "core/font/Encoding.h"
#include "core/gdi/GdiObjects.h"
#include "plat/Font.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace plat::core::emf {

namespace {

// The size of a DIB's header with its colour table or masks, 0 when it is not one we read.
std::size_t dibInfoSize(const BITMAPINFOHEADER& h) {
    if (h.biSize < 40 || h.biSize > 1024)
        return 0;
    std::size_t n = h.biSize;
    if (h.biBitCount <= 8) {
        const std::uint32_t entries = h.biClrUsed ? h.biClrUsed : (1u << h.biBitCount);
        if (entries > 256)
            return 0;
        n += 4 * static_cast<std::size_t>(entries);
    } else if (h.biCompression == BI_BITFIELDS && h.biSize == 40) {
        n += 12;
    }
    return n;
}

// The bytes of a region record before its region data: bounds, the data's size, and the brush and
// frame size the record kind carries.
std::size_t regionRecordFixedBytes(std::uint32_t type) {
    return type == kFrameRgn ? 40 : type == kFillRgn ? 32 : 28;
}

// Coordinates beyond this (logical or device) are not drawn: the drawing layer works in int.
constexpr double kCoordinateLimit = 1 << 20;
// Pens and fonts beyond this size are not made.
constexpr int kSizeLimit = 4096;

LONG clampLong(double v) {
    if (v > INT_MAX / 2)
        return INT_MAX / 2;
    if (v < INT_MIN / 2)
        return INT_MIN / 2;
    return static_cast<LONG>(std::lround(v));
}

} // namespace

unsigned char ByteFromUtf16(std::uint16_t unit) {
    if (unit >= 0xF000 && unit <= 0xF0FF)
        return static_cast<unsigned char>(unit & 0xFF);
    static const auto table = [] {
        std::vector<std::pair<char32_t, unsigned char>> t;
        for (int b = 0; b < 256; ++b)
            t.emplace_back(fontcore::Cp1252ToUnicode(static_cast<unsigned char>(b)),
                           static_cast<unsigned char>(b));
        return t;
    }();
    for (const auto& [u, b] : table)
        if (u == unit)
            return b;
    return '?';
}

Player::Player(HDC target, const std::uint8_t* data, std::size_t size, const RECT& destination)
    : m_target(target)
    , m_data(data) {
    Dc* dc = LookupDc(target, "PlayEnhMetaFile");
    if (!dc)
        return;
    const Reader h(data, size);
    // The destination in the target's device pixels, before the mapping is changed.
    POINT corners[2] = {{destination.left, destination.top},
                        {destination.right, destination.bottom}};
    LPtoDP(target, corners, 2);
    // Differences are taken in double: a hostile header may hold any 32-bit corners.
    const double destW = static_cast<double>(corners[1].x) - corners[0].x;
    const double destH = static_cast<double>(corners[1].y) - corners[0].y;

    // The frame in pixels of the recording device.
    const RECT frame = h.rect(24);
    const RECT bounds = h.rect(8);
    const double devX = std::max(1, h.i32(72)), devY = std::max(1, h.i32(76));
    const std::int32_t umX = h.has(100, 8) ? h.i32(100) : 0;
    const std::int32_t umY = h.has(100, 8) ? h.i32(104) : 0;
    const double mmX = umX > 0 ? umX / 1000.0 : std::max(1, h.i32(80));
    const double mmY = umY > 0 ? umY / 1000.0 : std::max(1, h.i32(84));
    double fx0 = frame.left * devX / (mmX * 100.0), fy0 = frame.top * devY / (mmY * 100.0);
    double fw = (static_cast<double>(frame.right) - frame.left) * devX / (mmX * 100.0);
    double fh = (static_cast<double>(frame.bottom) - frame.top) * devY / (mmY * 100.0);
    if (fw <= 0 || fh <= 0) {
        // No frame: what was drawn.
        fx0 = bounds.left;
        fy0 = bounds.top;
        fw = static_cast<double>(bounds.right) - bounds.left + 1;
        fh = static_cast<double>(bounds.bottom) - bounds.top + 1;
    }
    const auto axis = [](double dest, double start, double frameStart, double frameSize,
                         double& scale, double& offset) {
        // A picture played at its own size is not scaled at all: the frame's conversion to
        // 0.01 mm and back may leave it a fraction of a pixel off.
        if (frameSize <= 0 || std::fabs(std::fabs(dest) - frameSize) < 1.0) {
            scale = dest < 0 ? -1.0 : 1.0;
            offset = start - scale * std::round(frameStart);
        } else {
            scale = dest / frameSize;
            offset = start - scale * frameStart;
        }
    };
    axis(destW, corners[0].x, fx0, fw, m_scaleX, m_offsetX);
    axis(destH, corners[0].y, fy0, fh, m_scaleY, m_offsetY);

    m_initialClip = dc->state.clip;
    std::uint32_t handles = h.u16(56);
    m_table.assign(std::max<std::uint32_t>(handles, 1), nullptr);
    m_saved = SaveDC(target);
    if (!m_saved)
        return;
    resetAttributes();
    applyMapping();
}

Player::~Player() {
    if (!m_saved)
        return;
    RestoreDC(m_target, m_saved);
    // Restored selections no longer hold the metafile's objects, which can now go.
    for (HGDIOBJ& h : m_table)
        if (h) {
            DeleteObject(h);
            h = nullptr;
        }
}

void Player::resetAttributes() {
    SelectObject(m_target, GetStockObject(BLACK_PEN));
    SelectObject(m_target, GetStockObject(WHITE_BRUSH));
    SelectObject(m_target, GetStockObject(SYSTEM_FONT));
    SetROP2(m_target, R2_COPYPEN);
    SetTextColor(m_target, RGB(0, 0, 0));
    SetBkColor(m_target, RGB(255, 255, 255));
    SetBkMode(m_target, OPAQUE);
    SetTextAlign(m_target, 0);
    SetPolyFillMode(m_target, ALTERNATE);
    SetStretchBltMode(m_target, BLACKONWHITE);
    SetBrushOrgEx(m_target, 0, 0, nullptr);
    MoveToEx(m_target, 0, 0, nullptr);
}

void Player::applyMapping() {
    // Recorded logical -> recorded device -> target device, as one anisotropic mapping whose
    // window origin is the recorded one.
    const Mapping& m = m_map;
    double sx = 1.0, sy = 1.0;
    long long wx = 1, wy = 1, vx = 1, vy = 1;
    if (m.mode != MM_TEXT) {
        wx = m.windowExt.cx;
        wy = m.windowExt.cy;
        vx = m.viewportExt.cx;
        vy = m.viewportExt.cy;
    }
    sx = m_scaleX;
    sy = m_scaleY;
    const auto ratio = [](long long w, long long v, double s, long long& ow, long long& ov) {
        if (s == 1.0 || s == -1.0) {
            ow = w;
            ov = s < 0 ? -v : v;
            return;
        }
        long long k = 4096;
        while (k > 1 && (std::llabs(w) * k > INT_MAX / 2 || std::fabs(v * s * k) > INT_MAX / 2))
            k /= 2;
        ow = w * k;
        ov = std::llround(v * s * k);
        if (ov == 0)
            ov = 1;
    };
    long long ow, ov, oh, ovh;
    ratio(wx, vx, sx, ow, ov);
    ratio(wy, vy, sy, oh, ovh);
    SetMapMode(m_target, MM_ANISOTROPIC);
    SetWindowExtEx(m_target, static_cast<int>(ow), static_cast<int>(oh), nullptr);
    SetViewportExtEx(m_target, static_cast<int>(ov), static_cast<int>(ovh), nullptr);
    SetWindowOrgEx(m_target, m.windowOrg.x, m.windowOrg.y, nullptr);
    SetViewportOrgEx(m_target, clampLong(m.viewportOrg.x * sx + m_offsetX),
                     clampLong(m.viewportOrg.y * sy + m_offsetY), nullptr);
}

bool Player::fits(long long x, long long y) const {
    DcMapping m;
    if (!GetDcMapping(m_target, &m))
        return false;
    const double dx = x * m.scaleX + m.offsetX, dy = y * m.scaleY + m.offsetY;
    return std::fabs(static_cast<double>(x)) < kCoordinateLimit &&
           std::fabs(static_cast<double>(y)) < kCoordinateLimit &&
           std::fabs(dx) < kCoordinateLimit && std::fabs(dy) < kCoordinateLimit;
}

HGDIOBJ Player::object(std::uint32_t index) const {
    if (index & kStockObjectFlag) {
        const std::uint32_t id = index & ~kStockObjectFlag;
        return id <= static_cast<std::uint32_t>(DEFAULT_GUI_FONT)
                   ? GetStockObject(static_cast<int>(id))
                   : nullptr;
    }
    return validIndex(index) ? m_table[index] : nullptr;
}

void Player::store(std::uint32_t index, HGDIOBJ h) {
    if (!validIndex(index)) {
        if (h)
            DeleteObject(h);
        GdiDiagnostic("PlayEnhMetaFile: object index outside the handle table");
        return;
    }
    if (m_table[index]) {
        // Replacing an object that is still selected: the default goes in first.
        for (UINT type : {OBJ_PEN, OBJ_BRUSH, OBJ_FONT})
            if (GetCurrentObject(m_target, type) == m_table[index])
                SelectObject(m_target, GetStockObject(type == OBJ_PEN     ? BLACK_PEN
                                                      : type == OBJ_BRUSH ? WHITE_BRUSH
                                                                          : SYSTEM_FONT));
        DeleteObject(m_table[index]);
    }
    m_table[index] = h;
}

bool Player::readRegion(const Reader& r, std::size_t offset, std::size_t bytes, Region& out) const {
    if (bytes < 32 || !r.has(offset, bytes))
        return false;
    const std::uint32_t headerSize = r.u32(offset), type = r.u32(offset + 4);
    const std::uint32_t count = r.u32(offset + 8);
    if (headerSize != 32 || type != 1 || count > (bytes - 32) / 16)
        return false;
    out = Region();
    for (std::uint32_t i = 0; i < count; ++i) {
        RECT rc = r.rect(offset + 32 + 16 * static_cast<std::size_t>(i));
        if (rc.left < rc.right && rc.top < rc.bottom)
            out.unite(Region(rc));
    }
    return true;
}

HRGN Player::makeRegion(const Region& region) const {
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    for (const RECT& rc : region.rects()) {
        HRGN part = CreateRectRgnIndirect(&rc);
        CombineRgn(rgn, rgn, part, RGN_OR);
        DeleteObject(part);
    }
    return rgn;
}

void Player::setClip(int mode, const Region* deviceRegion) {
    Dc* dc = LookupDc(m_target, "PlayEnhMetaFile");
    if (!dc)
        return;
    std::optional<Region> target;
    if (deviceRegion) {
        // Recorded device pixels to the target's.
        Region mapped;
        for (const RECT& rc : deviceRegion->rects()) {
            RECT t{clampLong(rc.left * m_scaleX + m_offsetX),
                   clampLong(rc.top * m_scaleY + m_offsetY),
                   clampLong(rc.right * m_scaleX + m_offsetX),
                   clampLong(rc.bottom * m_scaleY + m_offsetY)};
            if (t.left > t.right)
                std::swap(t.left, t.right);
            if (t.top > t.bottom)
                std::swap(t.top, t.bottom);
            mapped.unite(Region(t));
        }
        target = mapped;
    }
    const Region everything(RECT{-(1 << 27), -(1 << 27), 1 << 27, 1 << 27});
    Region current = dc->state.clip ? *dc->state.clip : everything;
    switch (mode) {
    case RGN_COPY:
        current = target ? *target : everything;
        break;
    case RGN_AND:
        if (target)
            current.intersect(*target);
        break;
    case RGN_OR:
        if (target)
            current.unite(*target);
        break;
    case RGN_XOR:
        if (target)
            current.exclusiveOr(*target);
        break;
    case RGN_DIFF:
        if (target)
            current.subtract(*target);
        break;
    default:
        return;
    }
    // Never beyond the clip the DC had before the picture.
    if (m_initialClip)
        current.intersect(*m_initialClip);
    if (!m_initialClip && !target && mode == RGN_COPY)
        dc->state.clip.reset();
    else
        dc->state.clip = current;
}

bool Player::readDib(const Reader& r, std::uint32_t offBmi, std::uint32_t cbBmi,
                     std::uint32_t offBits, std::uint32_t cbBits, std::vector<std::uint32_t>& info,
                     const std::uint8_t*& bits) const {
    if (cbBmi < 40 || !r.has(offBmi, cbBmi) || !r.has(offBits, cbBits))
        return false;
    BITMAPINFOHEADER h;
    std::memcpy(&h, r.at(offBmi), sizeof h);
    const std::size_t need = dibInfoSize(h);
    int w, hh, rowBytes;
    if (!need || need > cbBmi || !DibLayout(h, &w, &hh, &rowBytes))
        return false;
    if (static_cast<std::uint64_t>(rowBytes) * static_cast<std::uint64_t>(hh) > cbBits)
        return false;
    info.assign((need + 3) / 4, 0);
    std::memcpy(info.data(), r.at(offBmi), need);
    bits = r.at(offBits);
    return true;
}

HGDIOBJ Player::patternBrush(const Reader& r, bool mono) {
    std::vector<std::uint32_t> info;
    const std::uint8_t* bits = nullptr;
    if (!readDib(r, r.u32(16), r.u32(20), r.u32(24), r.u32(28), info, bits))
        return nullptr;
    const auto* bmi = reinterpret_cast<const BITMAPINFO*>(info.data());
    const int w = bmi->bmiHeader.biWidth;
    const int h = std::abs(static_cast<int>(bmi->bmiHeader.biHeight));
    HBITMAP bitmap = CreateBitmap(w, h, 1, mono ? 1 : 32, nullptr);
    HDC mem = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(mem, bitmap);
    SetDIBitsToDevice(mem, 0, 0, static_cast<DWORD>(w), static_cast<DWORD>(h), 0, 0, 0,
                      static_cast<UINT>(h), bits, bmi, DIB_RGB_COLORS);
    SelectObject(mem, old);
    DeleteDC(mem);
    HBRUSH brush = CreatePatternBrush(bitmap);
    DeleteObject(bitmap);
    return brush;
}

void Player::polyRecord(const Reader& r, std::uint32_t type) {
    const bool small = type >= kPolyBezier16 && type <= kPolylineTo16;
    const std::size_t each = small ? 4 : 8;
    const std::uint32_t count = r.u32(24);
    if (r.size() < 28 || count > (r.size() - 28) / each)
        return;
    std::vector<POINT> pts(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t at = 28 + each * i;
        pts[i] = small ? POINT{r.i16(at), r.i16(at + 2)} : POINT{r.i32(at), r.i32(at + 4)};
        if (!fits(pts[i].x, pts[i].y))
            return;
    }
    const std::uint32_t base = small ? type - kPolyBezier16 + kPolyBezier : type;
    const int n = static_cast<int>(count);
    switch (base) {
    case kPolyBezier:
        PolyBezier(m_target, pts.data(), count);
        break;
    case kPolygon:
        Polygon(m_target, pts.data(), n);
        break;
    case kPolyline:
        Polyline(m_target, pts.data(), n);
        break;
    case kPolyBezierTo: {
        if (count == 0 || count % 3 != 0)
            return;
        POINT cur;
        GetCurrentPositionEx(m_target, &cur);
        pts.insert(pts.begin(), cur);
        PolyBezier(m_target, pts.data(), static_cast<DWORD>(pts.size()));
        MoveToEx(m_target, pts.back().x, pts.back().y, nullptr);
        break;
    }
    case kPolylineTo:
        for (const POINT& p : pts)
            LineTo(m_target, p.x, p.y);
        break;
    default:
        break;
    }
}

void Player::polyPolyRecord(const Reader& r, std::uint32_t type) {
    const bool small = type == kPolyPolyline16 || type == kPolyPolygon16;
    const std::size_t each = small ? 4 : 8;
    const std::uint32_t polys = r.u32(24), total = r.u32(28);
    if (r.size() < 32 || polys > (r.size() - 32) / 4)
        return;
    const std::size_t pointsAt = 32 + 4 * static_cast<std::size_t>(polys);
    if (total > (r.size() - pointsAt) / each)
        return;
    std::uint64_t sum = 0;
    for (std::uint32_t i = 0; i < polys; ++i)
        sum += r.u32(32 + 4 * static_cast<std::size_t>(i));
    if (sum != total)
        return;
    for (std::size_t at = pointsAt; at < pointsAt + each * total; at += each)
        if (!(small ? fits(r.i16(at), r.i16(at + 2)) : fits(r.i32(at), r.i32(at + 4))))
            return;
    std::size_t at = pointsAt;
    for (std::uint32_t i = 0; i < polys; ++i) {
        const std::uint32_t n = r.u32(32 + 4 * static_cast<std::size_t>(i));
        std::vector<POINT> pts(n);
        for (std::uint32_t k = 0; k < n; ++k, at += each)
            pts[k] = small ? POINT{r.i16(at), r.i16(at + 2)} : POINT{r.i32(at), r.i32(at + 4)};
        if (type == kPolyPolygon || type == kPolyPolygon16)
            Polygon(m_target, pts.data(), static_cast<int>(n));
        else
            Polyline(m_target, pts.data(), static_cast<int>(n));
    }
}

void Player::textRecord(const Reader& r, bool wide) {
    if (r.size() < 76)
        return;
    const int x = r.i32(36), y = r.i32(40);
    const std::uint32_t count = r.u32(44), offString = r.u32(48), options = r.u32(52);
    const RECT rect = r.rect(56);
    const std::uint32_t offDx = r.u32(72);
    const std::size_t unit = wide ? 2 : 1;
    if (count > r.size() || !r.has(offString, count * unit))
        return;
    if (offDx && !r.has(offDx, 4 * static_cast<std::size_t>(count)))
        return;
    std::string text(count, '\0');
    for (std::uint32_t i = 0; i < count; ++i)
        text[i] = static_cast<char>(wide ? ByteFromUtf16(r.u16(offString + 2 * i))
                                         : *r.at(offString + i));
    std::vector<int> dx;
    long long run = 0;
    if (offDx)
        for (std::uint32_t i = 0; i < count; ++i) {
            dx.push_back(r.i32(offDx + 4 * static_cast<std::size_t>(i)));
            run += dx.back();
            if (std::llabs(dx.back()) > kSizeLimit)
                return;
        }
    const bool hasRect = (options & (ETO_OPAQUE | ETO_CLIPPED)) != 0;
    if (!fits(x, y) || !fits(x + run, y) || (hasRect && !fitsRect(rect)))
        return;
    ExtTextOut(m_target, x, y, options, hasRect ? &rect : nullptr, text.data(), count,
               dx.empty() ? nullptr : dx.data());
}

void Player::blitRecord(const Reader& r, std::uint32_t type) {
    std::vector<std::uint32_t> info;
    const std::uint8_t* bits = nullptr;
    if (type == kBitBlt || type == kStretchBlt) {
        const std::size_t fixed = type == kBitBlt ? 100 : 108;
        if (r.size() < fixed)
            return;
        const int x = r.i32(24), y = r.i32(28), cx = r.i32(32), cy = r.i32(36);
        const DWORD rop = r.u32(40);
        const std::uint32_t offBmi = r.u32(84), cbBmi = r.u32(88), offBits = r.u32(92),
                            cbBits = r.u32(96);
        if (!fits(x, y) || !fits(static_cast<long long>(x) + cx, static_cast<long long>(y) + cy))
            return;
        if (cbBmi == 0) {
            PatBlt(m_target, x, y, cx, cy, rop);
            return;
        }
        if (!readDib(r, offBmi, cbBmi, offBits, cbBits, info, bits))
            return;
        const auto* bmi = reinterpret_cast<const BITMAPINFO*>(info.data());
        const int sw = type == kStretchBlt ? r.i32(100) : cx;
        const int sh = type == kStretchBlt ? r.i32(104) : cy;
        // The bitmap holds the source area only.
        const int bh = std::abs(static_cast<int>(bmi->bmiHeader.biHeight));
        if (sw < 0 || sh < 0 || sw > bmi->bmiHeader.biWidth || sh > bh)
            return;
        const int ySrc = bmi->bmiHeader.biHeight > 0 ? bh - std::abs(sh) : 0;
        StretchDIBits(m_target, x, y, cx, cy, 0, ySrc, sw, sh, bits, bmi, r.u32(80), rop);
        return;
    }
    if (type == kStretchDIBits) {
        if (r.size() < 80)
            return;
        if (!readDib(r, r.u32(48), r.u32(52), r.u32(56), r.u32(60), info, bits))
            return;
        const auto* bmi = reinterpret_cast<const BITMAPINFO*>(info.data());
        const long long x = r.i32(24), y = r.i32(28), w = r.i32(72), h = r.i32(76);
        const long long xs = r.i32(32), ys = r.i32(36), ws = r.i32(40), hs = r.i32(44);
        // The source rectangle must lie inside the bitmap.
        if (!fits(x, y) || !fits(x + w, y + h) || xs < 0 || ys < 0 || ws < 0 || hs < 0 ||
            xs + ws > bmi->bmiHeader.biWidth ||
            ys + hs > std::abs(static_cast<long long>(bmi->bmiHeader.biHeight)))
            return;
        StretchDIBits(m_target, r.i32(24), r.i32(28), r.i32(72), r.i32(76), r.i32(32), r.i32(36),
                      r.i32(40), r.i32(44), bits, reinterpret_cast<const BITMAPINFO*>(info.data()),
                      r.u32(64), r.u32(68));
        return;
    }
    if (type == kSetDIBitsToDevice) {
        if (r.size() < 76)
            return;
        if (!readDib(r, r.u32(48), r.u32(52), r.u32(56), r.u32(60), info, bits))
            return;
        const auto* bmi = reinterpret_cast<const BITMAPINFO*>(info.data());
        const UINT start = r.u32(68), scans = r.u32(72);
        const int bh = std::abs(static_cast<int>(bmi->bmiHeader.biHeight));
        if (start > static_cast<UINT>(bh) || scans > static_cast<UINT>(bh) - start)
            return;
        const long long x = r.i32(24), y = r.i32(28), xs = r.i32(32), ys = r.i32(36);
        const long long w = r.u32(40), h = r.u32(44);
        if (!fits(x, y) || !fits(x + w, y + h) || xs < 0 || ys < 0 ||
            xs + w > bmi->bmiHeader.biWidth || ys + h > bh)
            return;
        SetDIBitsToDevice(m_target, r.i32(24), r.i32(28), r.u32(40), r.u32(44), r.i32(32),
                          r.i32(36), start, scans, bits, bmi, r.u32(64));
    }
}

void Player::play(const RecordSpan& span) {
    if (!m_saved)
        return;
    const Reader r(m_data + span.offset, span.size);
    const auto need = [&](std::size_t bytes) { return span.size >= bytes; };
    switch (span.type) {
    case kPolyBezier:
    case kPolygon:
    case kPolyline:
    case kPolyBezierTo:
    case kPolylineTo:
    case kPolyBezier16:
    case kPolygon16:
    case kPolyline16:
    case kPolyBezierTo16:
    case kPolylineTo16:
        polyRecord(r, span.type);
        break;
    case kPolyPolyline:
    case kPolyPolygon:
    case kPolyPolyline16:
    case kPolyPolygon16:
        polyPolyRecord(r, span.type);
        break;
    case kSetWindowExtEx:
    case kSetViewportExtEx:
        if (need(16) && r.i32(8) != 0 && r.i32(12) != 0 &&
            std::fabs(static_cast<double>(r.i32(8))) < kCoordinateLimit &&
            std::fabs(static_cast<double>(r.i32(12))) < kCoordinateLimit) {
            (span.type == kSetWindowExtEx ? m_map.windowExt : m_map.viewportExt) =
                SIZE{r.i32(8), r.i32(12)};
            applyMapping();
        }
        break;
    case kSetWindowOrgEx:
    case kSetViewportOrgEx:
        if (need(16) && std::fabs(static_cast<double>(r.i32(8))) < kCoordinateLimit &&
            std::fabs(static_cast<double>(r.i32(12))) < kCoordinateLimit) {
            (span.type == kSetWindowOrgEx ? m_map.windowOrg : m_map.viewportOrg) =
                POINT{r.i32(8), r.i32(12)};
            applyMapping();
        }
        break;
    case kSetMapMode:
        if (need(12)) {
            const int mode = r.i32(8);
            if (mode == MM_TEXT || mode == MM_ANISOTROPIC || mode == MM_ISOTROPIC) {
                m_map.mode = mode;
                if (mode == MM_TEXT)
                    m_map.windowExt = m_map.viewportExt = SIZE{1, 1};
                applyMapping();
            }
        }
        break;
    case kSetBrushOrgEx:
        if (need(16))
            SetBrushOrgEx(m_target, clampLong(r.i32(8) * m_scaleX + m_offsetX),
                          clampLong(r.i32(12) * m_scaleY + m_offsetY), nullptr);
        break;
    case kSetPixelV:
        if (need(20) && fits(r.i32(8), r.i32(12)))
            SetPixel(m_target, r.i32(8), r.i32(12), r.u32(16));
        break;
    case kSetBkMode:
        if (need(12))
            SetBkMode(m_target, r.i32(8));
        break;
    case kSetPolyFillMode:
        if (need(12))
            SetPolyFillMode(m_target, r.i32(8));
        break;
    case kSetRop2:
        if (need(12))
            SetROP2(m_target, r.i32(8));
        break;
    case kSetStretchBltMode:
        if (need(12))
            SetStretchBltMode(m_target, r.i32(8));
        break;
    case kSetTextAlign:
        if (need(12))
            SetTextAlign(m_target, r.u32(8));
        break;
    case kSetTextColor:
        if (need(12))
            SetTextColor(m_target, r.u32(8));
        break;
    case kSetBkColor:
        if (need(12))
            SetBkColor(m_target, r.u32(8));
        break;
    case kMoveToEx:
        if (need(16) && fits(r.i32(8), r.i32(12)))
            MoveToEx(m_target, r.i32(8), r.i32(12), nullptr);
        break;
    case kLineTo:
        if (need(16) && fits(r.i32(8), r.i32(12)))
            LineTo(m_target, r.i32(8), r.i32(12));
        break;
    case kExcludeClipRect:
    case kIntersectClipRect:
        if (need(24) && fitsRect(r.rect(8))) {
            const RECT c = r.rect(8);
            if (span.type == kIntersectClipRect)
                IntersectClipRect(m_target, c.left, c.top, c.right, c.bottom);
            else
                ExcludeClipRect(m_target, c.left, c.top, c.right, c.bottom);
        }
        break;
    case kSaveDc:
        if (SaveDC(m_target)) {
            ++m_depth;
            m_mapStack.push_back(m_map);
        }
        break;
    case kRestoreDc:
        if (need(12)) {
            const int rel = r.i32(8);
            // Only levels the picture itself saved; the caller's state stays out of reach.
            if (rel < 0 && rel >= -m_depth && RestoreDC(m_target, rel)) {
                m_depth += rel;
                m_map = m_mapStack[m_mapStack.size() + static_cast<std::size_t>(rel)];
                m_mapStack.resize(m_mapStack.size() + static_cast<std::size_t>(rel));
                applyMapping();
            }
        }
        break;
    case kSelectObject:
        if (need(12)) {
            if (HGDIOBJ h = object(r.u32(8)))
                SelectObject(m_target, h);
        }
        break;
    case kCreatePen:
        if (need(28) && r.i32(16) >= 0 && r.i32(16) <= kSizeLimit) {
            const int style = r.i32(12) & PS_STYLE_MASK;
            store(r.u32(8),
                  CreatePen(style <= PS_INSIDEFRAME ? style : PS_SOLID, r.i32(16), r.u32(24)));
        }
        break;
    case kExtCreatePen:
        if (need(52) && r.i32(32) >= 0 && r.i32(32) <= kSizeLimit) {
            const int style = r.i32(28) & PS_STYLE_MASK;
            store(r.u32(8),
                  CreatePen(style <= PS_INSIDEFRAME ? style : PS_SOLID, r.i32(32), r.u32(40)));
        }
        break;
    case kCreateBrushIndirect:
        if (need(24)) {
            const std::uint32_t style = r.u32(12);
            // Deleting the stock null brush at the end is harmless.
            store(r.u32(8),
                  style == BS_NULL ? GetStockObject(NULL_BRUSH) : CreateSolidBrush(r.u32(16)));
        }
        break;
    case kCreateMonoBrush:
    case kCreateDibPatternBrushPt:
        if (need(32) && validIndex(r.u32(8)))
            store(r.u32(8), patternBrush(r, span.type == kCreateMonoBrush));
        break;
    case kExtCreateFontIndirectW:
        if (need(104) && validIndex(r.u32(8)) && std::llabs(r.i32(12)) <= kSizeLimit &&
            std::llabs(r.i32(16)) <= kSizeLimit) {
            LOGFONT lf;
            lf.lfHeight = r.i32(12);
            lf.lfWidth = r.i32(16);
            lf.lfEscapement = r.i32(20);
            lf.lfOrientation = r.i32(24);
            lf.lfWeight = r.i32(28);
            lf.lfItalic = *r.at(32);
            lf.lfUnderline = *r.at(33);
            lf.lfStrikeOut = *r.at(34);
            lf.lfCharSet = *r.at(35);
            lf.lfOutPrecision = *r.at(36);
            lf.lfClipPrecision = *r.at(37);
            lf.lfQuality = *r.at(38);
            lf.lfPitchAndFamily = *r.at(39);
            for (int i = 0; i < 31 && i < LF_FACESIZE - 1; ++i) {
                const std::uint16_t u = r.u16(40 + 2 * static_cast<std::size_t>(i));
                if (!u)
                    break;
                lf.lfFaceName[i] = static_cast<char>(ByteFromUtf16(u));
            }
            store(r.u32(8), CreateFontIndirect(&lf));
        }
        break;
    case kDeleteObject:
        if (need(12) && validIndex(r.u32(8)) && m_table[r.u32(8)])
            store(r.u32(8), nullptr);
        break;
    case kEllipse:
    case kRectangle:
    case kRoundRect:
        if (need(24) && fitsRect(r.rect(8))) {
            const RECT b = r.rect(8);
            if (span.type == kEllipse)
                Ellipse(m_target, b.left, b.top, b.right, b.bottom);
            else
                Rectangle(m_target, b.left, b.top, b.right, b.bottom);
        }
        break;
    case kArc:
        if (need(40) && fitsRect(r.rect(8)) && fits(r.i32(24), r.i32(28)) &&
            fits(r.i32(32), r.i32(36))) {
            const RECT b = r.rect(8);
            Arc(m_target, b.left, b.top, b.right, b.bottom, r.i32(24), r.i32(28), r.i32(32),
                r.i32(36));
        }
        break;
    case kBeginPath:
        BeginPath(m_target);
        break;
    case kEndPath:
        EndPath(m_target);
        break;
    case kAbortPath:
        AbortPath(m_target);
        break;
    case kFillPath:
        FillPath(m_target);
        break;
    case kStrokePath:
        StrokePath(m_target);
        break;
    case kStrokeAndFillPath:
        StrokeAndFillPath(m_target);
        break;
    case kFillRgn:
    case kFrameRgn:
    case kInvertRgn:
    case kPaintRgn: {
        const std::size_t fixed = regionRecordFixedBytes(span.type);
        if (!need(fixed))
            break;
        Region region;
        // An empty region is placed at the origin, which must fit as well.
        if (!readRegion(r, fixed, r.u32(24), region) ||
            !fitsRect(region.empty() ? RECT{} : region.bounds()))
            break;
        HGDIOBJ brush = nullptr;
        if (span.type == kFillRgn || span.type == kFrameRgn) {
            brush = object(r.u32(28));
            if (!brush)
                break;
        }
        HRGN rgn = makeRegion(region);
        if (span.type == kFillRgn)
            FillRgn(m_target, rgn, brush);
        else if (span.type == kFrameRgn)
            FrameRgn(m_target, rgn, brush, std::min(r.i32(32), kSizeLimit),
                     std::min(r.i32(36), kSizeLimit));
        else if (span.type == kInvertRgn)
            InvertRgn(m_target, rgn);
        else
            PaintRgn(m_target, rgn);
        DeleteObject(rgn);
        break;
    }
    case kExtSelectClipRgn:
        if (need(16)) {
            const std::uint32_t bytes = r.u32(8);
            const int mode = r.i32(12);
            if (bytes == 0) {
                if (mode == RGN_COPY)
                    setClip(RGN_COPY, nullptr);
                break;
            }
            Region region;
            if (readRegion(r, 16, bytes, region))
                setClip(mode, &region);
        }
        break;
    case kBitBlt:
    case kStretchBlt:
    case kStretchDIBits:
    case kSetDIBitsToDevice:
        blitRecord(r, span.type);
        break;
    case kExtTextOutW:
    case kExtTextOutA:
        textRecord(r, span.type == kExtTextOutW);
        break;
    default:
        // Comments, palettes, transforms and records we do not draw.
        break;
    }
}

} // namespace plat::core::emf

// ---- What playing adds to a recording -----------------------------------------------------
//
// The recorder writes what it is asked to draw, each call as one record or a few, and before it
// the state the call needs that differs from what it wrote last (the mapping, the attributes, the
// selected objects, the clip as the whole region). So every record that changes state is charged
// the records that change can make the recorder write once, every drawing record what its call
// writes, and every object what its creation, selection and deletion write. Clips are charged the
// whole region they leave, bounded by its shape: how many bands, how many rectangles in the
// widest band and in all. Where a Windows metafile converted from the recording takes more than
// it (a stock object selected, a region drawn), the charge is that, so the bound holds for both.

namespace plat::core::emf {

namespace {

constexpr std::uint64_t kSaturated = std::uint64_t{1} << 50;

std::uint64_t capped(std::uint64_t v) {
    return std::min(v, kSaturated);
}

// The shape of a clip region, or of the region made from a record's rectangles.
struct Shape {
    std::uint64_t bands = 1;
    std::uint64_t widest = 1;
    std::uint64_t rects = 1;
};

// A region written by the recorder: its record and the region data header, 16 bytes a rectangle.
std::uint64_t regionBytes(std::uint64_t rects) {
    return capped(72 + 16 * rects);
}

// A region drawn: as written, or in a Windows metafile made from the recording a pattern blit of
// 18 bytes for each rectangle.
std::uint64_t drawnRegionBytes(std::uint64_t rects) {
    return capped(72 + 18 * rects);
}

// The union of a record's rectangles (checked as the player checks them; nothing when they do not
// check out): a sweep over their top and bottom edges, where each band between two edges holds
// at most the rectangles crossing it.
std::optional<Shape> shapeOfRects(const Reader& r, std::size_t offset, std::size_t bytes) {
    if (bytes < 32 || !r.has(offset, bytes))
        return std::nullopt;
    const std::uint32_t headerSize = r.u32(offset), type = r.u32(offset + 4);
    const std::uint32_t count = r.u32(offset + 8);
    if (headerSize != 32 || type != 1 || count > (bytes - 32) / 16)
        return std::nullopt;
    std::vector<std::pair<std::int32_t, int>> edges;
    edges.reserve(2 * std::size_t{count});
    for (std::uint32_t i = 0; i < count; ++i) {
        const RECT rc = r.rect(offset + 32 + 16 * static_cast<std::size_t>(i));
        if (rc.left < rc.right && rc.top < rc.bottom) {
            edges.emplace_back(rc.top, 1);
            edges.emplace_back(rc.bottom, -1);
        }
    }
    std::sort(edges.begin(), edges.end());
    Shape shape{0, 0, 0};
    std::uint64_t active = 0;
    for (std::size_t i = 0; i < edges.size();) {
        const std::int32_t y = edges[i].first;
        for (; i < edges.size() && edges[i].first == y; ++i)
            active = edges[i].second > 0 ? active + 1 : active - 1;
        if (active > 0 && i < edges.size()) {
            ++shape.bands;
            shape.widest = std::max(shape.widest, active);
            shape.rects = capped(shape.rects + active);
        }
    }
    return shape;
}

// Two regions combined (any operation): the bands of both between the edges of both, in each at
// most the rectangles of both.
Shape combined(const Shape& a, const Shape& b) {
    Shape s;
    s.bands = capped(a.bands + b.bands + 1);
    s.widest = capped(a.widest + b.widest);
    s.rects = capped(s.bands * std::min(s.widest, kSaturated / s.bands));
    return s;
}

// A rectangle taken away from a region, or added to it: the two bands its edges cut are doubled
// and every band it crosses gains a rectangle.
Shape cutByRect(const Shape& a) {
    Shape s;
    s.bands = capped(a.bands + 2);
    s.widest = capped(a.widest + 1);
    s.rects = std::min(capped(a.rects + a.bands + 2 * a.widest + 2),
                       capped(s.bands * std::min(s.widest, kSaturated / s.bands)));
    return s;
}

// What a DIB in a record (checked as the player checks it) makes the recorder write: its header
// and its rows as they are; nothing when it does not check out.
std::uint64_t dibBytes(const Reader& r, std::uint32_t offBmi, std::uint32_t cbBmi,
                       std::uint32_t offBits, std::uint32_t cbBits) {
    if (cbBmi < 40 || !r.has(offBmi, cbBmi) || !r.has(offBits, cbBits))
        return 0;
    return std::uint64_t{cbBmi} + cbBits + 4;
}

// A pattern brush: the recorder writes its pattern at 32 bits a pixel (1 for a monochrome one).
std::uint64_t patternBrushBytes(const Reader& r) {
    const std::uint32_t offBmi = r.u32(16), cbBmi = r.u32(20), offBits = r.u32(24),
                        cbBits = r.u32(28);
    if (cbBmi < 40 || !r.has(offBmi, cbBmi) || !r.has(offBits, cbBits))
        return 0;
    BITMAPINFOHEADER h;
    std::memcpy(&h, r.at(offBmi), sizeof h);
    int w = 0, hh = 0, rowBytes = 0;
    if (!DibLayout(h, &w, &hh, &rowBytes) ||
        static_cast<std::uint64_t>(rowBytes) * static_cast<std::uint64_t>(hh) > cbBits)
        return 0;
    return 80 +
           4 * static_cast<std::uint64_t>(std::abs(w)) * static_cast<std::uint64_t>(std::abs(hh));
}

} // namespace

std::uint64_t PlayedBytesBound(const std::uint8_t* data, std::size_t size) {
    // What any state can take to write once: the mapping (mode, extents and origins), the
    // attributes, the three selections (as a Windows metafile writes a stock one) and the current
    // position, without the clip.
    constexpr std::uint64_t kMapping = 12 + 4 * 16;
    constexpr std::uint64_t kAllState = 320;
    // Each object: its selection and, once it is deleted, its deletion.
    constexpr std::uint64_t kObjectLife = 24;
    // Before the first record draws, the player's own state; after the last, the caller's again.
    std::uint64_t total = 2 * (kAllState + regionBytes(1));
    Shape clip;
    bool clipped = false;
    std::vector<std::pair<Shape, bool>> savedClips;
    const auto clipChanged = [&] { return regionBytes(clip.rects); };
    for (const RecordSpan& span : WalkRecords(data, size)) {
        const Reader r(data + span.offset, span.size);
        std::uint64_t bytes = 0;
        switch (span.type) {
        case kPolyBezier:
        case kPolygon:
        case kPolyline:
        case kPolyBezier16:
        case kPolygon16:
        case kPolyline16:
        case kPolyBezierTo:
        case kPolylineTo:
        case kPolyBezierTo16:
        case kPolylineTo16: {
            const bool small = span.type >= kPolyBezier16 && span.type <= kPolylineTo16;
            const std::size_t each = small ? 4 : 8;
            const std::uint64_t count = r.u32(24);
            if (span.size < 28 || count > (span.size - 28) / each)
                break;
            if (span.type == kPolylineTo || span.type == kPolylineTo16)
                bytes = 16 * count + 16; // a line each, from where the last one ended
            else if (span.type == kPolyBezierTo || span.type == kPolyBezierTo16)
                bytes = 28 + 8 * (count + 1) + 16; // from the current position, which then moves
            else
                bytes = 28 + each * count;
            break;
        }
        case kPolyPolyline:
        case kPolyPolygon:
        case kPolyPolyline16:
        case kPolyPolygon16: {
            // A record of its own for each.
            const bool small = span.type == kPolyPolyline16 || span.type == kPolyPolygon16;
            const std::uint64_t polys = r.u32(24), points = r.u32(28);
            if (span.size < 32 || polys > (span.size - 32) / 4)
                break;
            if (points > (span.size - 32 - 4 * polys) / (small ? 4 : 8))
                break;
            bytes = 28 * polys + 8 * points;
            break;
        }
        case kSetWindowExtEx:
        case kSetViewportExtEx:
        case kSetWindowOrgEx:
        case kSetViewportOrgEx:
        case kSetMapMode:
            bytes = kMapping;
            break;
        case kSetBrushOrgEx:
        case kMoveToEx:
        case kLineTo:
            bytes = 16;
            break;
        case kSetPixelV:
            bytes = 20;
            break;
        case kSetBkMode:
        case kSetPolyFillMode:
        case kSetRop2:
        case kSetStretchBltMode:
        case kSetTextAlign:
        case kSetTextColor:
        case kSetBkColor:
            bytes = 12;
            break;
        case kSelectObject:
            // A stock object takes a made one of its own in a Windows metafile made from the
            // recording: its creation, selection and deletion.
            bytes = 32;
            break;
        case kDeleteObject:
            bytes = 12; // the object may be selected: a stock one takes its place
            break;
        case kCreatePen:
        case kExtCreatePen:
            bytes = 28 + 12 + kObjectLife;
            break;
        case kCreateBrushIndirect:
            bytes = 24 + 12 + kObjectLife;
            break;
        case kExtCreateFontIndirectW:
            bytes = 104 + 12 + kObjectLife;
            break;
        case kCreateMonoBrush:
        case kCreateDibPatternBrushPt:
            bytes = patternBrushBytes(r) + 12 + kObjectLife;
            break;
        case kEllipse:
        case kRectangle:
        case kRoundRect:
            bytes = 24;
            break;
        case kArc:
            bytes = 40;
            break;
        case kBeginPath:
        case kEndPath:
        case kAbortPath:
        case kFillPath:
        case kStrokePath:
        case kStrokeAndFillPath:
            bytes = 24;
            break;
        case kFillRgn:
        case kFrameRgn:
        case kInvertRgn:
        case kPaintRgn: {
            const std::size_t fixed = regionRecordFixedBytes(span.type);
            if (span.size < fixed)
                break;
            if (const std::optional<Shape> region = shapeOfRects(r, fixed, r.u32(24)))
                bytes = drawnRegionBytes(region->rects);
            break;
        }
        case kIntersectClipRect:
            if (!clipped)
                clip = Shape{};
            clipped = true;
            bytes = clipChanged();
            break;
        case kExcludeClipRect:
            clip = cutByRect(clip);
            clipped = true;
            bytes = clipChanged();
            break;
        case kExtSelectClipRgn: {
            if (span.size < 16)
                break;
            const std::uint32_t dataBytes = r.u32(8);
            const int mode = r.i32(12);
            if (dataBytes == 0) {
                if (mode == RGN_COPY) {
                    clip = Shape{};
                    clipped = false;
                    bytes = clipChanged();
                }
                break;
            }
            const std::optional<Shape> region = shapeOfRects(r, 16, dataBytes);
            if (!region || mode < RGN_AND || mode > RGN_COPY)
                break;
            if (mode == RGN_COPY || (mode == RGN_AND && !clipped))
                clip = *region;
            else if (!(mode == RGN_AND && region->rects <= 1))
                clip = region->rects <= 1 ? cutByRect(clip) : combined(clip, *region);
            clip.rects = std::max<std::uint64_t>(clip.rects, 1);
            clipped = true;
            bytes = clipChanged();
            break;
        }
        case kSaveDc:
            savedClips.emplace_back(clip, clipped);
            break;
        case kRestoreDc: {
            if (span.size < 12)
                break;
            const int rel = r.i32(8);
            if (rel >= 0 ||
                static_cast<std::size_t>(-static_cast<long long>(rel)) > savedClips.size())
                break;
            const std::size_t keep =
                savedClips.size() - static_cast<std::size_t>(-static_cast<long long>(rel));
            // Every state may come back changed, the clip among it.
            const auto [shape, wasClipped] = savedClips[keep];
            clip = shape;
            clipped = wasClipped;
            savedClips.resize(keep);
            bytes = kAllState + clipChanged();
            break;
        }
        case kBitBlt:
        case kStretchBlt: {
            if (span.size < (span.type == kBitBlt ? 100u : 108u))
                break;
            // Without a bitmap a pattern blit, of the same size as a bit blit's record.
            bytes =
                r.u32(88) == 0 ? 100 : 80 + dibBytes(r, r.u32(84), r.u32(88), r.u32(92), r.u32(96));
            break;
        }
        case kStretchDIBits:
        case kSetDIBitsToDevice:
            if (span.size >= 76)
                bytes = 80 + dibBytes(r, r.u32(48), r.u32(52), r.u32(56), r.u32(60));
            break;
        case kExtTextOutA:
        case kExtTextOutW: {
            // Written as wide characters with their advances, from a position that then moves.
            const std::uint64_t count = r.u32(44);
            if (span.size < 76 || count > span.size)
                break;
            bytes = 76 + ((2 * count + 3) & ~std::uint64_t{3}) + 4 * count + 16;
            break;
        }
        default:
            break;
        }
        total = capped(total + bytes);
    }
    return total;
}

} // namespace plat::core::emf
