// Bitmaps, DIB sections and DIB decoding.

#include "core/gdi/GdiObjects.h"
#include "plat/Resources.h"

#include <algorithm>
#include <cstring>

namespace plat::core {

namespace {

// Large enough for any picture the program makes, small enough that width x height x 4 cannot
// overflow or exhaust memory on a bad header.
constexpr long long kMaxPixels = kLargestBitmapPixels;
constexpr int kMaxSide = kLargestBitmapSide;

// Values of a bit-field mask scaled to 8 bits.
std::uint32_t fieldValue(std::uint32_t word, std::uint32_t mask) {
    if (!mask)
        return 0;
    int shift = 0;
    while (!((mask >> shift) & 1))
        ++shift;
    int bits = 0;
    while (shift + bits < 32 && ((mask >> (shift + bits)) & 1))
        ++bits;
    std::uint32_t v = (word & mask) >> shift;
    if (bits >= 8)
        return v >> (bits - 8);
    // Replicate the high bits to fill 8 bits.
    std::uint32_t out = 0;
    int have = 0;
    while (have < 8) {
        out = (out << bits) | v;
        have += bits;
    }
    return out >> (have - 8);
}

std::uint32_t tablePixel(const RGBQUAD& q) {
    return (static_cast<std::uint32_t>(q.rgbRed) << 16) |
           (static_cast<std::uint32_t>(q.rgbGreen) << 8) | q.rgbBlue;
}

// The colour table of a DIB with at most 8 bits a pixel; DIB_PAL_COLORS tables hold indices into
// the (fixed) system palette.
std::vector<std::uint32_t> colorTable(const BITMAPINFO* info, UINT usage) {
    const auto& h = info->bmiHeader;
    const int n = h.biClrUsed ? static_cast<int>(std::min<DWORD>(h.biClrUsed, 1u << h.biBitCount))
                              : (1 << h.biBitCount);
    std::vector<std::uint32_t> t(static_cast<std::size_t>(1) << h.biBitCount, 0);
    const auto* base = reinterpret_cast<const std::uint8_t*>(info) + h.biSize;
    for (int i = 0; i < n; ++i) {
        if (usage == DIB_PAL_COLORS) {
            WORD idx;
            std::memcpy(&idx, base + 2 * i, 2);
            const PALETTEENTRY& e = SystemPalette()[idx & 0xFF];
            t[static_cast<std::size_t>(i)] = PixelFromColor(RGB(e.peRed, e.peGreen, e.peBlue));
        } else {
            RGBQUAD q;
            std::memcpy(&q, base + 4 * i, 4);
            t[static_cast<std::size_t>(i)] = tablePixel(q);
        }
    }
    return t;
}

void bitfieldMasks(const BITMAPINFO* info, std::uint32_t masks[3]) {
    const auto& h = info->bmiHeader;
    if (h.biCompression == BI_BITFIELDS) {
        const auto* base = reinterpret_cast<const std::uint8_t*>(info) + h.biSize;
        // A 40-byte header keeps its masks after it; the longer headers carry them inside at the
        // same offset.
        if (h.biSize > 40)
            base = reinterpret_cast<const std::uint8_t*>(info) + 40;
        std::memcpy(masks, base, 12);
    } else if (h.biBitCount == 16) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    } else {
        masks[0] = 0xFF0000;
        masks[1] = 0x00FF00;
        masks[2] = 0x0000FF;
    }
}

// Decodes one row of DIB bytes into RGB24 pixel words.
void decodeRow(const std::uint8_t* src, std::uint32_t* dst, int width, int bpp,
               const std::vector<std::uint32_t>& table, const std::uint32_t masks[3]) {
    for (int x = 0; x < width; ++x) {
        std::uint32_t p = 0;
        switch (bpp) {
        case 1:
            p = table[(src[x >> 3] >> (7 - (x & 7))) & 1];
            break;
        case 4:
            p = table[(src[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF];
            break;
        case 8:
            p = table[src[x]];
            break;
        case 16:
        case 32: {
            std::uint32_t w = 0;
            std::memcpy(&w, src + x * (bpp / 8), static_cast<std::size_t>(bpp / 8));
            p = (fieldValue(w, masks[0]) << 16) | (fieldValue(w, masks[1]) << 8) |
                fieldValue(w, masks[2]);
            break;
        }
        case 24:
            p = (static_cast<std::uint32_t>(src[3 * x + 2]) << 16) |
                (static_cast<std::uint32_t>(src[3 * x + 1]) << 8) | src[3 * x];
            break;
        }
        dst[x] = p;
    }
}

} // namespace

bool DibLayout(const BITMAPINFOHEADER& h, int* width, int* height, int* rowBytes) {
    if (h.biSize < 40 || h.biPlanes != 1 || h.biWidth <= 0 || h.biWidth > kMaxSide ||
        h.biHeight == 0 || h.biHeight < -kMaxSide || h.biHeight > kMaxSide)
        return false;
    const int bpp = h.biBitCount;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return false;
    if (h.biCompression != BI_RGB && !(h.biCompression == BI_BITFIELDS && (bpp == 16 || bpp == 32)))
        return false;
    const long long w = h.biWidth;
    const long long hh = h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight;
    if (w * hh > kMaxPixels)
        return false;
    *width = static_cast<int>(w);
    *height = static_cast<int>(hh);
    *rowBytes = static_cast<int>(((w * bpp + 31) / 32) * 4);
    return true;
}

cairo_surface_t* DecodeDib(const BITMAPINFO* info, const void* bits, UINT usage,
                           const char* caller) {
    int w, h, rowBytes;
    if (!info || !bits || !DibLayout(info->bmiHeader, &w, &h, &rowBytes)) {
        GdiDiagnostic(std::string(caller) + ": unsupported or corrupt DIB header");
        return nullptr;
    }
    const auto& hdr = info->bmiHeader;
    std::vector<std::uint32_t> table;
    if (hdr.biBitCount <= 8)
        table = colorTable(info, usage);
    std::uint32_t masks[3];
    bitfieldMasks(info, masks);
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    cairo_surface_flush(s);
    auto* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    const bool bottomUp = hdr.biHeight > 0;
    const auto* src = static_cast<const std::uint8_t*>(bits);
    for (int y = 0; y < h; ++y) {
        const int srcRow = bottomUp ? h - 1 - y : y;
        decodeRow(src + static_cast<std::ptrdiff_t>(srcRow) * rowBytes,
                  reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride),
                  w, hdr.biBitCount, table, masks);
    }
    cairo_surface_mark_dirty(s);
    return s;
}

// --- BitmapObject --------------------------------------------------------------------------------

BitmapObject::BitmapObject(int width, int height, bool mono)
    : GdiObject(GdiKind::Bitmap)
    , m_width(width)
    , m_height(height)
    , m_mono(mono)
    , m_bitsPixel(mono ? 1 : 32)
    , m_widthBytes(mono ? ((width + 15) / 16) * 2 : width * 4) {}

BitmapObject::~BitmapObject() {
    if (m_surface)
        cairo_surface_destroy(m_surface);
}

std::uint32_t* BitmapObject::row(int y) const {
    return reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(m_surface) +
                                            static_cast<std::ptrdiff_t>(y) * stride());
}

void BitmapObject::flushToDib() {
    if (!m_dib || m_sharedBytes)
        return;
    cairo_surface_flush(m_surface);
    int w, h, rowBytes;
    if (!DibLayout(m_dibHeader, &w, &h, &rowBytes))
        return;
    const bool bottomUp = m_dibHeader.biHeight > 0;
    const int bpp = m_dibHeader.biBitCount;
    for (int y = 0; y < h; ++y) {
        std::uint8_t* dst =
            m_dibBytes.data() + static_cast<std::ptrdiff_t>(bottomUp ? h - 1 - y : y) * rowBytes;
        const std::uint32_t* src = row(y);
        if (bpp == 1)
            std::memset(dst, 0, static_cast<std::size_t>(rowBytes));
        for (int x = 0; x < w; ++x) {
            const std::uint32_t p = src[x] & 0xFFFFFF;
            if (bpp == 1) {
                if (p == kWhitePixel)
                    dst[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
            } else if (bpp == 24) {
                dst[3 * x] = static_cast<std::uint8_t>(p);
                dst[3 * x + 1] = static_cast<std::uint8_t>(p >> 8);
                dst[3 * x + 2] = static_cast<std::uint8_t>(p >> 16);
            } else if (bpp == 32) {
                // Each 8-bit channel goes to its mask's position, scaled to the mask's width.
                std::uint32_t w32 = 0;
                const std::uint32_t ch[3] = {(p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF};
                for (int c = 0; c < 3; ++c) {
                    const std::uint32_t mask = m_masks[c];
                    if (!mask)
                        continue;
                    int shift = 0;
                    while (!((mask >> shift) & 1))
                        ++shift;
                    int bits = 0;
                    while (shift + bits < 32 && ((mask >> (shift + bits)) & 1))
                        ++bits;
                    const std::uint32_t v = bits >= 8 ? ch[c] << (bits - 8) : ch[c] >> (8 - bits);
                    w32 |= (v << shift) & mask;
                }
                std::memcpy(dst + 4 * x, &w32, 4);
            }
        }
    }
}

void BitmapObject::loadFromDib() {
    if (!m_dib || m_sharedBytes)
        return;
    int w, h, rowBytes;
    if (!DibLayout(m_dibHeader, &w, &h, &rowBytes))
        return;
    cairo_surface_flush(m_surface);
    const bool bottomUp = m_dibHeader.biHeight > 0;
    // The shadow of a 1-bpp section is the 1-bpp model: bit 1 white, bit 0 black. Its colour
    // table is applied when it is blitted into a colour DC.
    // Colours drawn into it pick the nearer table entry on the way in (Dc::monoPixel).
    const std::vector<std::uint32_t> monoTable = {kBlackPixel, kWhitePixel};
    for (int y = 0; y < h; ++y)
        decodeRow(m_dibBytes.data() +
                      static_cast<std::ptrdiff_t>(bottomUp ? h - 1 - y : y) * rowBytes,
                  row(y), w, m_dibHeader.biBitCount, monoTable, m_masks);
    cairo_surface_mark_dirty(m_surface);
}

} // namespace plat::core

namespace plat {

using namespace plat::core;

namespace {

std::shared_ptr<BitmapObject> newBitmap(int width, int height, bool mono) {
    auto bm = std::make_shared<BitmapObject>(width, height, mono);
    bm->m_surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(bm->m_surface) != CAIRO_STATUS_SUCCESS) {
        GdiDiagnostic("bitmap: out of memory");
        return nullptr;
    }
    return bm;
}

bool sizeAcceptable(int width, int height, const char* caller) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
        static_cast<long long>(width) * height > kMaxPixels) {
        GdiDiagnostic(std::string(caller) + ": bad size");
        return false;
    }
    return true;
}

} // namespace

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits) {
    if (planes != 1 || (bitsPerPixel != 1 && bitsPerPixel != 24 && bitsPerPixel != 32)) {
        GdiDiagnostic("CreateBitmap: unsupported format");
        return nullptr;
    }
    if (!sizeAcceptable(width, height, "CreateBitmap"))
        return nullptr;
    const bool mono = bitsPerPixel == 1;
    auto bm = newBitmap(width, height, mono);
    if (!bm)
        return nullptr;
    if (bitsPerPixel == 24) {
        // Stored as 32 bpp, as a display-compatible bitmap would be.
        bm->m_widthBytes = ((width * 3 + 1) / 2) * 2;
    }
    if (bits) {
        const auto* src = static_cast<const std::uint8_t*>(bits);
        // Rows are aligned to 2 bytes, top row first.
        const int rowBytes =
            static_cast<int>(((width * static_cast<int>(bitsPerPixel) + 15) / 16) * 2);
        cairo_surface_flush(bm->m_surface);
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* r = src + static_cast<std::ptrdiff_t>(y) * rowBytes;
            std::uint32_t* d = bm->row(y);
            for (int x = 0; x < width; ++x) {
                if (mono)
                    d[x] = ((r[x >> 3] >> (7 - (x & 7))) & 1) ? kWhitePixel : kBlackPixel;
                else if (bitsPerPixel == 24)
                    d[x] = (static_cast<std::uint32_t>(r[3 * x + 2]) << 16) |
                           (static_cast<std::uint32_t>(r[3 * x + 1]) << 8) | r[3 * x];
                else {
                    std::uint32_t w;
                    std::memcpy(&w, r + 4 * x, 4);
                    d[x] = w & 0xFFFFFF;
                }
            }
        }
        cairo_surface_mark_dirty(bm->m_surface);
    }
    return AddGdiObject(bm);
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height) {
    Dc* dc = LookupDc(hdc, "CreateCompatibleBitmap");
    if (!dc)
        return nullptr;
    if (!sizeAcceptable(width, height, "CreateCompatibleBitmap"))
        return nullptr;
    // A memory DC still holding its initial 1 x 1 bitmap is monochrome, and so is what it makes.
    auto bm = newBitmap(width, height, dc->mono());
    return bm ? AddGdiObject(bm) : nullptr;
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, void* section,
                         DWORD) {
    if (bits)
        *bits = nullptr;
    int w, h, rowBytes;
    if (!info || section || !DibLayout(info->bmiHeader, &w, &h, &rowBytes) ||
        (info->bmiHeader.biBitCount != 1 && info->bmiHeader.biBitCount != 24 &&
         info->bmiHeader.biBitCount != 32)) {
        GdiDiagnostic("CreateDIBSection: unsupported header");
        return nullptr;
    }
    const auto& hdr = info->bmiHeader;
    auto bm = std::make_shared<BitmapObject>(w, h, hdr.biBitCount == 1);
    bm->m_dib = true;
    bm->m_dibHeader = hdr;
    bm->m_dibHeader.biSize = 40;
    bm->m_bitsPixel = hdr.biBitCount;
    bm->m_widthBytes = rowBytes;
    bitfieldMasks(info, bm->m_masks);
    if (hdr.biBitCount == 1) {
        const auto t = colorTable(info, usage);
        for (std::uint32_t p : t) {
            RGBQUAD q;
            q.rgbRed = static_cast<BYTE>(p >> 16);
            q.rgbGreen = static_cast<BYTE>(p >> 8);
            q.rgbBlue = static_cast<BYTE>(p);
            bm->m_colorTable.push_back(q);
        }
    }
    bm->m_dibBytes.assign(static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(h), 0);
    // A top-down section of 32-bit words laid out as B, G, R, x is exactly the drawing surface's
    // layout: both share one buffer, so the caller's writes show at once.
    const bool standardMasks =
        bm->m_masks[0] == 0xFF0000 && bm->m_masks[1] == 0x00FF00 && bm->m_masks[2] == 0x0000FF;
    bm->m_sharedBytes = hdr.biBitCount == 32 && hdr.biHeight < 0 && standardMasks &&
                        rowBytes == cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, w);
    if (bm->m_sharedBytes)
        bm->m_surface = cairo_image_surface_create_for_data(bm->m_dibBytes.data(),
                                                            CAIRO_FORMAT_RGB24, w, h, rowBytes);
    else
        bm->m_surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    if (cairo_surface_status(bm->m_surface) != CAIRO_STATUS_SUCCESS) {
        GdiDiagnostic("CreateDIBSection: out of memory");
        return nullptr;
    }
    bm->loadFromDib();
    if (bits)
        *bits = bm->m_dibBytes.data();
    return AddGdiObject(bm);
}

HBITMAP LoadBitmap(HINSTANCE module, const char* name) {
    HRSRC res = FindResource(module, name, RT_BITMAP);
    if (!res)
        return nullptr;
    const DWORD size = SizeofResource(module, res);
    HGLOBAL loaded = LoadResource(module, res);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data)
        return nullptr;
    return core::BitmapFromPackedDib(data, size);
}

} // namespace plat

namespace plat::core {

HBITMAP BitmapFromPackedDib(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    BITMAPINFOHEADER h;
    if (!data || size < sizeof h) {
        GdiDiagnostic("packed DIB: shorter than its header");
        return nullptr;
    }
    std::memcpy(&h, bytes, sizeof h);
    int w, height, rowBytes;
    if (h.biSize < 40 || h.biSize > size || !DibLayout(h, &w, &height, &rowBytes)) {
        GdiDiagnostic("packed DIB: unsupported or corrupt header");
        return nullptr;
    }
    std::size_t table = 0;
    if (h.biBitCount <= 8) {
        const std::size_t full = std::size_t{1} << h.biBitCount;
        if (h.biClrUsed > full) {
            GdiDiagnostic("packed DIB: colour count above the bit depth");
            return nullptr;
        }
        table = (h.biClrUsed ? h.biClrUsed : full) * sizeof(RGBQUAD);
    } else if (h.biCompression == BI_BITFIELDS) {
        // The three masks follow a 40-byte header, or lie inside a longer one.
        if (h.biSize > 40 && h.biSize < 52) {
            GdiDiagnostic("packed DIB: header too short for its bit-field masks");
            return nullptr;
        }
        table = h.biSize == 40 ? 12 : 0;
    }
    const std::size_t bitsAt = h.biSize + table;
    const std::size_t need = static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height);
    if (bitsAt > size || size - bitsAt < need) {
        GdiDiagnostic("packed DIB: the pixel data is shorter than the header says");
        return nullptr;
    }
    // The header, moved to an aligned copy together with its table.
    std::vector<std::uint8_t> info(bitsAt);
    std::memcpy(info.data(), bytes, bitsAt);
    cairo_surface_t* img = DecodeDib(reinterpret_cast<const BITMAPINFO*>(info.data()),
                                     bytes + bitsAt, DIB_RGB_COLORS, "packed DIB");
    if (!img)
        return nullptr;
    // A 1-bpp picture stays monochrome, as the pattern brushes made from it need.
    const bool mono = h.biBitCount == 1;
    auto bm = std::make_shared<BitmapObject>(w, height, mono);
    bm->m_surface = img;
    if (mono) {
        cairo_surface_flush(img);
        for (int y = 0; y < height; ++y) {
            std::uint32_t* row = bm->row(y);
            for (int x = 0; x < w; ++x)
                row[x] = MonoFromPixel(row[x] & 0xFFFFFF);
        }
        cairo_surface_mark_dirty(img);
    }
    return AddGdiObject(bm);
}

} // namespace plat::core
