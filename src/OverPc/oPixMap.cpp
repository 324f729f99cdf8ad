#include "OverPc/oPixMap.h"

#include "OverPc/PERROR.h"
#include "OverPc/PGRAPHIC.h"
#include "OverPc/Portdc.h"
#include "OverPc/shell/CQVApp.h"
#include "OverSrcs/oWindows.h"
#include "plat/Metafile.h"
#include "plat/Window.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

namespace {

// Never destroyed, so a pixmap that outlives the program's static objects can still leave it.
std::set<const oPixMap*>& registry() {
    static auto* live = new std::set<const oPixMap*>;
    return *live;
}

// A memory DC with a bitmap selected, put back and deleted at scope end.
class SelectedDc {
public:
    SelectedDc(plat::HDC compatibleWith, plat::HBITMAP bitmap) {
        m_dc = plat::CreateCompatibleDC(compatibleWith);
        if (!m_dc && compatibleWith)
            m_dc = plat::CreateCompatibleDC(nullptr);
        if (m_dc && bitmap) {
            m_old = plat::SelectObject(m_dc, bitmap);
            if (!m_old) { // selected elsewhere, or not a bitmap
                plat::DeleteDC(m_dc);
                m_dc = nullptr;
            }
        }
    }
    ~SelectedDc() {
        if (!m_dc)
            return;
        if (m_old)
            plat::SelectObject(m_dc, m_old);
        plat::DeleteDC(m_dc);
    }
    SelectedDc(const SelectedDc&) = delete;
    SelectedDc& operator=(const SelectedDc&) = delete;
    plat::HDC dc() const { return m_dc; }

private:
    plat::HDC m_dc = nullptr;
    plat::HGDIOBJ m_old = nullptr;
};

plat::HINSTANCE resourceModule() {
    return CQVApp::instance().m_hResources;
}

// 40-byte header plus room for the three BI_BITFIELDS masks.
struct DibHeader {
    plat::BITMAPINFOHEADER header;
    plat::DWORD masks[3] = {0, 0, 0};
};

plat::HBITMAP makeBitmap(PixelFormat code, int32_t width, int32_t height, void** bits) {
    *bits = nullptr;
    if (width <= 0 || height <= 0)
        return nullptr;
    if (code == kPixelMonochrome)
        return plat::CreateBitmap(width, height, 1, 1, nullptr);
    DibHeader info;
    info.header.biWidth = width;
    info.header.biHeight = -height; // top-down
    info.header.biPlanes = 1;
    info.header.biBitCount = static_cast<plat::WORD>(PixelBitsPerPixel(code));
    // 912 is the native BGRX layout; 24-bit layouts cannot carry bit fields.
    if (code == 912 || PixelBitsPerPixel(code) == 24) {
        info.header.biCompression = plat::BI_RGB;
    } else {
        info.header.biSize = 40;
        info.header.biCompression = plat::BI_BITFIELDS;
        info.masks[0] = 0xFFu << (8 * PixelRedPosition(code));
        info.masks[1] = 0xFFu << (8 * PixelGreenPosition(code));
        info.masks[2] = 0xFFu << (8 * PixelBluePosition(code));
    }
    return plat::CreateDIBSection(nullptr, reinterpret_cast<const plat::BITMAPINFO*>(&info),
                                  plat::DIB_RGB_COLORS, bits, nullptr, 0);
}

// The pixmap's pixels as a monochrome image read row by row: true for a pixel that is not the
// white background. Empty when the copy cannot be made.
std::vector<uint8_t> darkPixels(oPixMap& pixmap) {
    const int32_t w = pixmap.width(), h = pixmap.height();
    std::vector<uint8_t> dark;
    plat::HBITMAP mono = plat::CreateBitmap(w, h, 1, 1, nullptr);
    if (!mono)
        return dark;
    {
        SelectedDc monoDc(nullptr, mono);
        SelectedDc source(nullptr, pixmap.bitmap());
        if (monoDc.dc() && source.dc()) {
            // Colour to monochrome: the source's background colour (white) becomes 1.
            plat::SetBkColor(source.dc(), plat::RGB(255, 255, 255));
            plat::BitBlt(monoDc.dc(), 0, 0, w, h, source.dc(), 0, 0, plat::SRCCOPY);
            dark.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x)
                    dark[static_cast<size_t>(y) * w + x] =
                        (plat::GetPixel(monoDc.dc(), x, y) & 0xFFFFFF) != 0xFFFFFF;
        }
    }
    plat::DeleteObject(mono);
    return dark;
}

int32_t roundUp8(int32_t width) {
    return (width + 7) & ~7;
}

// Copies the pixel map onto the port through `blit`(port DC, pixel map DC); nothing when either
// device context cannot be had.
template <class Blit> void blitPixMapOnto(oMeasurePort* port, oPixMap& pixmap, Blit blit) {
    PortDcHolder holder(port);
    if (!holder.dc())
        return;
    SelectedDc source(holder.hdc(), pixmap.bitmap());
    if (!source.dc())
        return;
    blit(holder.hdc(), source.dc());
}

} // namespace

// ---------------------------------------------------------------------------------------------
// oPixMap

oPixMap::oPixMap() = default;

oPixMap::~oPixMap() {
    // No wrapper may keep the bitmap selected when it is deleted.
    ForgetPortDcs(this);
    if (m_bitmap.bitmap)
        plat::DeleteObject(m_bitmap.bitmap);
    m_bitmap = PixMapBitmap{};
    registry().erase(this);
}

oPixMap* oPixMap::clone() const {
    oAssertionFailure(__FILE__, static_cast<unsigned>(__LINE__), "oPixMap::clone");
    return nullptr;
}

void oPixMap::setPort() {}

void oPixMap::unsetPort() {}

bool oPixMap::fitsInside(int32_t x, int32_t y, int32_t width, int32_t height) {
    return x >= m_bounds.left && x + width <= m_bounds.right && y >= m_bounds.top &&
           y + height <= m_bounds.bottom;
}

void oPixMap::lockBits(uint8_t** bits, int32_t* rowStep) {
    plat::GdiFlush();
    if (bits)
        *bits = static_cast<uint8_t*>(m_bitmap.bits);
    if (rowStep) {
        const int32_t bpp = m_format == kPixelMonochrome ? 1 : PixelBitsPerPixel(m_format);
        *rowStep = ((bpp * m_width + 31) / 8) & ~3;
    }
}

void oPixMap::unlockBits(const uint8_t* bits, bool changed) {
    if (!changed || !bits || !m_bitmap.bits || bits == m_bitmap.bits)
        return;
    const size_t bytes =
        static_cast<size_t>(PixelRowStride(m_format, m_width)) * static_cast<size_t>(m_height);
    std::memcpy(m_bitmap.bits, bits, bytes);
    plat::GdiFlush();
}

bool oPixMap::hasNoBitmap() const {
    return m_bitmap.bitmap == nullptr;
}

bool oPixMap::makeScreenBitmap() {
    plat::HDC screen = plat::GetDC(nullptr);
    plat::HBITMAP made = plat::CreateCompatibleBitmap(screen, m_width, m_height);
    plat::ReleaseDC(nullptr, screen);
    if (!made)
        return false;
    ForgetPortDcs(this);
    if (m_bitmap.bitmap)
        plat::DeleteObject(m_bitmap.bitmap);
    m_bitmap.bitmap = made;
    m_bitmap.bits = nullptr;
    SetPortDeviceBitmap(m_device, made);
    return true;
}

void oPixMap::reserved() {}

// The text form: each row (width rounded up to 8, the padding as background) goes by pairs of
// pixels from the left; a pair is a value 0-3 with bit 0 for a dark left pixel and bit 1 for a
// dark right one, and three values a, b, c make the character 32 + a + 4b + 16c. A row ends with
// its last, partly filled character; rows follow without separators.
int32_t PixMapTextLength(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0)
        return 0;
    return (roundUp8(width) | 5) / 6 * height;
}

void oPixMap::writeText(std::string& text) {
    text.clear();
    const std::vector<uint8_t> dark = darkPixels(*this);
    if (dark.empty())
        return;
    const int32_t padded = roundUp8(m_width);
    text.reserve(static_cast<size_t>(PixMapTextLength(m_width, m_height)));
    for (int32_t y = 0; y < m_height; ++y) {
        const auto isDark = [&](int32_t x) {
            return x < m_width && dark[static_cast<size_t>(y) * m_width + x] != 0;
        };
        int value = 0, filled = 0;
        for (int32_t x = 0; x < padded; x += 2) {
            const int pair = (isDark(x) ? 1 : 0) | (isDark(x + 1) ? 2 : 0);
            value |= pair << (2 * filled);
            if (++filled == 3) {
                text.push_back(static_cast<char>(32 + value));
                value = 0;
                filled = 0;
            }
        }
        if (filled)
            text.push_back(static_cast<char>(32 + value));
    }
}

bool oPixMap::readText(const std::string& text) {
    if (static_cast<int64_t>(text.size()) != PixMapTextLength(m_width, m_height) ||
        !m_bitmap.bitmap)
        return false;
    for (char c : text)
        if (c < 32 || c > 95)
            return false;
    const int32_t padded = roundUp8(m_width);
    const int32_t perRow = (padded | 5) / 6;
    // A monochrome image (rows 2-byte aligned, 1 = white) copied over the pixmap.
    const int32_t monoRow = ((m_width + 15) / 16) * 2;
    std::vector<uint8_t> mono(static_cast<size_t>(monoRow) * m_height, 0xFF);
    for (int32_t y = 0; y < m_height; ++y) {
        for (int32_t x = 0; x < m_width; ++x) {
            const int32_t pairIndex = x / 2;
            const int value = text[static_cast<size_t>(y * perRow + pairIndex / 3)] - 32;
            const int pair = (value >> (2 * (pairIndex % 3))) & 3;
            if (pair & (x % 2 == 0 ? 1 : 2))
                mono[static_cast<size_t>(y) * monoRow + x / 8] &=
                    static_cast<uint8_t>(~(0x80 >> (x % 8)));
        }
    }
    plat::HBITMAP image = plat::CreateBitmap(m_width, m_height, 1, 1, mono.data());
    if (!image)
        return false;
    bool done = false;
    {
        SelectedDc from(nullptr, image);
        PortDcHolder holder(this);
        if (from.dc() && holder.hdc()) {
            plat::SetTextColor(holder.hdc(), plat::RGB(0, 0, 0));
            plat::SetBkColor(holder.hdc(), plat::RGB(255, 255, 255));
            done = plat::BitBlt(holder.hdc(), 0, 0, m_width, m_height, from.dc(), 0, 0,
                                plat::SRCCOPY) != 0;
        }
    }
    plat::DeleteObject(image);
    return done;
}

// ---------------------------------------------------------------------------------------------
// Making pixmaps

PixelFormat NormalisePixMapFormat(PixelFormat format) {
    if (format == kPixelScreenCompatible)
        return 912; // our screen is a 32-bit BGRX surface
    if (!(format & kPixelDepth32) && format != 400 && format != kPixelMonochrome)
        return PixelFormatShiftUp(format) | kPixelDepth32;
    return format;
}

oPixMap* NewPixMap(const Zone& zone, int32_t resolution, PixelFormat format) {
    const PixelFormat code = NormalisePixMapFormat(format);
    void* bits = nullptr;
    plat::HBITMAP bitmap = makeBitmap(code, zone.width(), zone.height(), &bits);
    if (!bitmap)
        Fail(errAllocTooLarge);
    auto* pixmap = new oPixMap;
    pixmap->m_bitmap.bitmap = bitmap;
    pixmap->m_bitmap.bits = bits;
    pixmap->m_format = code;
    pixmap->m_bounds = zone;
    pixmap->m_clip = zone;
    pixmap->m_width = zone.width();
    pixmap->m_height = zone.height();
    pixmap->m_foreColor = kColorBlack;
    pixmap->m_backColor = kColorWhite;
    pixmap->m_originX = -zone.left;
    pixmap->m_originY = -zone.top;
    pixmap->setResolution(resolution);
    pixmap->m_lineUnit = std::max(1, (resolution + 8) / 16);
    pixmap->adoptDevice(NewPortDevice(kDeviceMemory));
    SetPortDeviceBitmap(pixmap->m_device, bitmap);
    registry().insert(pixmap);
    return pixmap;
}

oPixMap* TryNewScreenPixMap(const Zone& zone) {
    return GuardedCall([&]() -> oPixMap* { return NewPixMap(zone, ScreenResolution(), 0x8000); },
                       [](int16_t) -> oPixMap* { return nullptr; });
}

bool IsLivePixMap(const oPixMap* pixmap) {
    return registry().count(pixmap) != 0;
}

int32_t LivePixMapCount() {
    return static_cast<int32_t>(registry().size());
}

void ShutdownPixMaps() {
    registry().clear();
}

// ---------------------------------------------------------------------------------------------
// Pixel access

Color ReadLockedPixel(const uint8_t* bits, int32_t rowStep, PixelFormat format, int32_t column,
                      int32_t row) {
    const uint8_t* p = bits + static_cast<ptrdiff_t>(row) * rowStep + column * 4;
    Color c;
    c.r = p[PixelRedPosition(format)];
    c.g = p[PixelGreenPosition(format)];
    c.b = p[PixelBluePosition(format)];
    c.a = PixelHasAlpha(format) ? p[PixelAlphaPosition(format)] : 255;
    return c;
}

void WriteLockedPixel(uint8_t* bits, int32_t rowStep, PixelFormat format, int32_t column,
                      int32_t row, const Color& color) {
    uint8_t* p = bits + static_cast<ptrdiff_t>(row) * rowStep + column * 4;
    p[PixelRedPosition(format)] = color.r;
    p[PixelGreenPosition(format)] = color.g;
    p[PixelBluePosition(format)] = color.b;
    if (PixelHasAlpha(format))
        p[PixelAlphaPosition(format)] = color.a;
}

std::string PixMapHexRows(oPixMap& pixmap, bool invert) {
    std::string out;
    const int32_t w = pixmap.width(), h = pixmap.height();
    if (w <= 0 || h <= 0)
        return out;
    char hex[8];
    const auto put = [&](int value) {
        std::snprintf(hex, sizeof hex, "%02x", invert ? 255 - value : value);
        out += hex;
    };
    if (pixmap.format() == kPixelMonochrome) {
        const std::vector<uint8_t> dark = darkPixels(pixmap);
        if (dark.empty())
            return out;
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x0 = 0; x0 < w; x0 += 8) {
                int byte = 0;
                for (int32_t i = 0; i < 8; ++i)
                    if (x0 + i < w && !dark[static_cast<size_t>(y) * w + x0 + i])
                        byte |= 0x80 >> i;
                put(byte);
            }
        }
        return out;
    }
    uint8_t* bits = nullptr;
    int32_t rowStep = 0;
    pixmap.lockBits(&bits, &rowStep);
    if (!bits)
        return out;
    const PixelFormat code = pixmap.format();
    const int32_t step = PixelBytesPerPixel(code);
    out.reserve(static_cast<size_t>(w) * h * 6);
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* p = bits + static_cast<ptrdiff_t>(y) * rowStep;
        for (int32_t x = 0; x < w; ++x, p += step) {
            put(p[PixelRedPosition(code)]);
            put(p[PixelGreenPosition(code)]);
            put(p[PixelBluePosition(code)]);
        }
    }
    pixmap.unlockBits(bits, false);
    return out;
}

oPoint ImageResourceSize(int32_t resourceId) {
    const char* name = plat::MAKEINTRESOURCE(static_cast<plat::WORD>(resourceId));
    if (resourceId < 8192) {
        plat::HICON icon = plat::LoadIcon(resourceModule(), name);
        plat::SIZE size;
        oPoint result;
        if (icon && plat::GetIconSize(icon, &size))
            result = oPoint{size.cx, size.cy};
        if (icon)
            plat::DestroyIcon(icon);
        return result;
    }
    plat::HBITMAP bitmap = plat::LoadBitmap(resourceModule(), name);
    if (!bitmap)
        return oPoint{};
    plat::BITMAP info;
    oPoint result;
    if (plat::GetObject(bitmap, sizeof info, &info))
        result = oPoint{info.bmWidth, info.bmHeight};
    plat::DeleteObject(bitmap);
    return result;
}

// ---------------------------------------------------------------------------------------------
// Pixel blocks of every native port

void oNativePort::savePix(int32_t x, int32_t y, oPixMap& pixmap) {
    PortDcHolder holder(this);
    if (!holder.dc())
        return;
    holder->blitToPort(&pixmap, 0, 0, pixmap.width(), pixmap.height(), x + m_originX, y + m_originY,
                       plat::SRCCOPY);
}

void oNativePort::restorePix(int32_t x, int32_t y, oPixMap& pixmap) {
    blitPixMapOnto(this, pixmap, [&](plat::HDC target, plat::HDC source) {
        plat::BitBlt(target, x + m_originX, y + m_originY, pixmap.width(), pixmap.height(), source,
                     0, 0, plat::SRCCOPY);
    });
}

void oNativePort::restoreStretch(const Zone& zone, oPixMap& pixmap, int32_t stretchMode) {
    const int32_t x = zone.left + m_originX, y = zone.top + m_originY;
    if (auto* self = dynamic_cast<oPixMap*>(this)) {
        // Pixmap to pixmap: fresh memory DCs on both sides, in the asked stretch mode.
        SelectedDc target(nullptr, self->bitmap());
        SelectedDc source(nullptr, pixmap.bitmap());
        if (!target.dc() || !source.dc())
            return;
        static constexpr int kModes[] = {plat::WHITEONBLACK, plat::BLACKONWHITE,
                                         plat::COLORONCOLOR};
        plat::SetStretchBltMode(target.dc(), stretchMode >= 0 && stretchMode <= 2
                                                 ? kModes[stretchMode]
                                                 : plat::HALFTONE);
        if (stretchMode == 3)
            plat::SetBrushOrgEx(target.dc(), 0, 0, nullptr);
        plat::StretchBlt(target.dc(), x, y, zone.width(), zone.height(), source.dc(), 0, 0,
                         pixmap.width(), pixmap.height(), plat::SRCCOPY);
        return;
    }
    blitPixMapOnto(this, pixmap, [&](plat::HDC target, plat::HDC source) {
        plat::StretchBlt(target, x, y, zone.width(), zone.height(), source, 0, 0, pixmap.width(),
                         pixmap.height(), plat::SRCCOPY);
    });
}

void oNativePort::restoreColorize(int32_t x, int32_t y, oPixMap& pixmap, const Color& foreground,
                                  const Color& background) {
    const int32_t w = pixmap.width(), h = pixmap.height();
    plat::HBITMAP mono = plat::CreateBitmap(w, h, 1, 1, nullptr);
    if (!mono)
        return;
    {
        SelectedDc monoDc(nullptr, mono);
        {
            // The pixmap's background colour becomes 1, everything else 0.
            SelectedDc source(nullptr, pixmap.bitmap());
            if (monoDc.dc() && source.dc()) {
                plat::SetBkColor(source.dc(), ColorToRgb(pixmap.backColor()));
                plat::BitBlt(monoDc.dc(), 0, 0, w, h, source.dc(), 0, 0, plat::SRCCOPY);
            }
        }
        PortDcHolder holder(this);
        if (monoDc.dc() && holder.hdc()) {
            const plat::COLORREF oldText =
                plat::SetTextColor(holder.hdc(), ColorToPaletteRgb(foreground));
            const plat::COLORREF oldBk =
                plat::SetBkColor(holder.hdc(), ColorToPaletteRgb(background));
            plat::BitBlt(holder.hdc(), x + m_originX, y + m_originY, w, h, monoDc.dc(), 0, 0,
                         plat::SRCCOPY);
            plat::SetTextColor(holder.hdc(), oldText);
            plat::SetBkColor(holder.hdc(), oldBk);
        }
    }
    plat::DeleteObject(mono);
}

void oNativePort::drawImage(int32_t resourceId, const Zone& zone, const Color& foreground,
                            const Color& background, int32_t mode) {
    const plat::DWORD rop = mode == kImageInvert            ? plat::SRCINVERT
                            : mode == kImageOverDestination ? plat::SRCAND
                                                            : plat::SRCCOPY;
    const char* name = plat::MAKEINTRESOURCE(static_cast<plat::WORD>(resourceId));
    const int32_t x = zone.left + m_originX, y = zone.top + m_originY;
    if (resourceId < 8192) {
        plat::HICON icon = plat::LoadIcon(resourceModule(), name);
        if (!icon)
            return;
        {
            PortDcHolder holder(this);
            if (holder.dc())
                holder->drawIcon(x, y, icon);
        }
        plat::DestroyIcon(icon);
        return;
    }
    plat::HBITMAP loaded = plat::LoadBitmap(resourceModule(), name);
    if (!loaded)
        return;
    plat::BITMAP info;
    const int32_t w = zone.width(), h = zone.height();
    if (plat::GetObject(loaded, sizeof info, &info) && w > 0 && h > 0) {
        const bool monochrome = info.bmBitsPixel < 2;
        PortDcHolder holder(this);
        // The bitmap scaled to the zone in a bitmap of its own planes and depth.
        plat::HBITMAP scaled =
            monochrome ? plat::CreateBitmap(w, h, 1, 1, nullptr)
                       : plat::CreateBitmap(w, h, info.bmPlanes, info.bmBitsPixel, nullptr);
        if (!scaled && !monochrome) // a depth CreateBitmap does not make: the screen's
            scaled = plat::CreateBitmap(w, h, 1, 32, nullptr);
        if (holder.hdc() && scaled) {
            {
                SelectedDc from(nullptr, loaded);
                SelectedDc to(nullptr, scaled);
                if (from.dc() && to.dc()) {
                    plat::SetStretchBltMode(to.dc(), plat::COLORONCOLOR);
                    plat::StretchBlt(to.dc(), 0, 0, w, h, from.dc(), 0, 0, info.bmWidth,
                                     info.bmHeight, plat::SRCCOPY);
                }
            }
            SelectedDc source(holder.hdc(), scaled);
            if (source.dc()) {
                // Monochrome: 0 pixels take the foreground colour, 1 pixels the background.
                const plat::COLORREF oldText =
                    plat::SetTextColor(holder.hdc(), ColorToPaletteRgb(foreground));
                const plat::COLORREF oldBk =
                    plat::SetBkColor(holder.hdc(), ColorToPaletteRgb(background));
                plat::BitBlt(holder.hdc(), x, y, w, h, source.dc(), 0, 0, rop);
                plat::SetTextColor(holder.hdc(), oldText);
                plat::SetBkColor(holder.hdc(), oldBk);
            }
        }
        if (scaled)
            plat::DeleteObject(scaled);
    }
    plat::DeleteObject(loaded);
}

void oNativePort::stretchImage(int32_t resourceId, const Zone& zone) {
    drawImage(resourceId, zone, m_foreColor, m_backColor, 0);
}

// ---------------------------------------------------------------------------------------------
// oPictPort

namespace {

// The screen's mean physical resolution, as printers measure theirs: the figure read at start-up.
int32_t screenDotsPerInch() {
    return std::max(1, GetScreenCaps().physicalDpi);
}

} // namespace

int32_t PictPortDotsPerInch(int32_t requested) {
    const int32_t screen = screenDotsPerInch();
    if (requested <= 0 || std::abs(requested - screen) <= 4)
        return screen;
    return requested;
}

int32_t PictPortResolution(int32_t dotsPerInch) {
    return std::max(16, (2 * dotsPerInch + 4) / 9);
}

bool ReadPictComment(const void* bytes, int32_t size, int32_t& dotsPerInch, int32_t& descent) {
    if (!bytes || size != kPictCommentSize || std::memcmp(bytes, "DEVQ", 4) != 0)
        return false;
    const auto* b = static_cast<const uint8_t*>(bytes);
    const auto word = [b](int at) {
        return static_cast<int32_t>(uint32_t{b[at]} | (uint32_t{b[at + 1]} << 8) |
                                    (uint32_t{b[at + 2]} << 16) | (uint32_t{b[at + 3]} << 24));
    };
    dotsPerInch = word(4);
    descent = word(8);
    return true;
}

oPictPort::oPictPort(std::intptr_t owner)
    : oOutputPort(kDeviceEnhMetafile)
    , m_owner(owner) {}

oPictPort::~oPictPort() {
    if (plat::HENHMETAFILE picture = closePicture())
        plat::DeleteEnhMetaFile(picture);
}

plat::HENHMETAFILE oPictPort::closePicture() {
    if (!m_dc)
        return nullptr;
    // No wrapper may draw on the recording once it is closed.
    ForgetPortDcs(this);
    plat::HENHMETAFILE picture = plat::CloseEnhMetaFile(m_dc);
    m_dc = nullptr;
    if (HasDeviceRecord(m_device))
        m_device->borrowedDc = nullptr;
    return picture;
}

void oPictPort::writeComment(int32_t size, const void* bytes) {
    if (m_dc && size >= 0)
        plat::GdiComment(m_dc, static_cast<plat::UINT>(size),
                         static_cast<const plat::BYTE*>(bytes));
}

oPictPort* NewPictPort(const Zone& zone, std::intptr_t owner, int32_t, int32_t descent,
                       int32_t dotsPerInch) {
    const int32_t d = PictPortDotsPerInch(dotsPerInch);
    auto port = std::make_unique<oPictPort>(owner);
    port->m_dpi = d;
    port->setResolution(PictPortResolution(d));
    port->m_lineUnit = port->m_resolution >= 23 ? (port->m_resolution + 8) / 16 : 1;
    port->setOutputZone(zone);
    port->m_bounds.ref2 = zone.height() - descent;
    port->m_clip.ref2 = port->m_bounds.ref2;
    port->m_flag = 0;
    if (!port->hasDeviceRecord())
        return nullptr;
    plat::HDC screen = plat::GetDC(nullptr);
    const auto toFrame = [d](int32_t v) {
        return static_cast<plat::LONG>(static_cast<int64_t>(v) * 2540 / d);
    };
    const plat::RECT frame{toFrame(zone.left), toFrame(zone.top), toFrame(zone.right),
                           toFrame(zone.bottom)};
    port->m_dc = plat::CreateEnhMetaFile(screen, nullptr, &frame, nullptr);
    plat::ReleaseDC(nullptr, screen);
    if (!port->m_dc)
        return nullptr;
    port->m_device->borrowedDc = port->m_dc;
    uint8_t comment[kPictCommentSize] = {'D', 'E', 'V', 'Q'};
    for (int i = 0; i < 4; ++i) {
        comment[4 + i] = static_cast<uint8_t>(static_cast<uint32_t>(d) >> (8 * i));
        comment[8 + i] = static_cast<uint8_t>(static_cast<uint32_t>(descent) >> (8 * i));
    }
    port->writeComment(kPictCommentSize, comment);
    // One logical unit is screen dpi / d reference pixels, so the recorded drawing agrees with
    // the frame and the comment at every d.
    const int32_t screenDpi = screenDotsPerInch();
    const auto viewport = [&](int32_t v) {
        return std::max<int64_t>(1, static_cast<int64_t>(v) * screenDpi / d);
    };
    plat::SetMapMode(port->m_dc, plat::MM_ANISOTROPIC);
    plat::SetWindowExtEx(port->m_dc, std::max(1, zone.width()), std::max(1, zone.height()),
                         nullptr);
    plat::SetViewportExtEx(port->m_dc, static_cast<int>(viewport(std::max(1, zone.width()))),
                           static_cast<int>(viewport(std::max(1, zone.height()))), nullptr);
    return port.release();
}

// ---------------------------------------------------------------------------------------------
// Pictures (the system side of WinUfo)

namespace {

plat::HENHMETAFILE handleOf(PictureHandle h) {
    return reinterpret_cast<plat::HENHMETAFILE>(h);
}

struct CommentSearch {
    int32_t dpi = 0;
    int32_t descent = 0;
    bool found = false;
};

int findPictComment(plat::HDC, plat::HANDLETABLE*, const plat::ENHMETARECORD* record, int,
                    plat::LPARAM data) {
    if (record->iType != plat::EMR_GDICOMMENT || record->nSize < 12)
        return 1;
    auto* search = reinterpret_cast<CommentSearch*>(data);
    const auto* bytes = reinterpret_cast<const uint8_t*>(record);
    uint32_t size = 0;
    std::memcpy(&size, bytes + 8, 4);
    if (size > record->nSize - 12)
        return 1;
    if (ReadPictComment(bytes + 12, static_cast<int32_t>(size), search->dpi, search->descent)) {
        search->found = true;
        return 0;
    }
    return 1;
}

bool describePicture(PictureHandle metafile, int32_t& width, int32_t& height, int32_t& dpi,
                     int32_t& descent) {
    plat::ENHMETAHEADER header;
    if (!plat::GetEnhMetaFileHeader(handleOf(metafile), sizeof header, &header))
        return false;
    CommentSearch search;
    plat::EnumEnhMetaFile(nullptr, handleOf(metafile), findPictComment,
                          reinterpret_cast<plat::LPARAM>(&search), nullptr);
    // A picture from a file may say anything: a resolution outside what an export can ask for
    // is not ours, and no size or descent may leave the range the layout computes in.
    const bool ours = search.found && search.dpi > 0 && search.dpi <= kMaxPictDotsPerInch;
    dpi = ours ? search.dpi : screenDotsPerInch();
    // The frame is in 0.01 mm; rounding undoes the truncation of its making.
    const auto units = [dpi](plat::LONG a, plat::LONG b) {
        const int64_t v = ((int64_t{b} - a) * dpi + 1270) / 2540;
        return static_cast<int32_t>(std::clamp<int64_t>(v, -kMaxPictExtent, kMaxPictExtent));
    };
    width = units(header.rclFrame.left, header.rclFrame.right);
    height = units(header.rclFrame.top, header.rclFrame.bottom);
    const int32_t tall = height < 0 ? -height : height;
    descent = ours ? std::clamp(search.descent, -tall, tall) : 0;
    return true;
}

void drawPicture(PictureHandle metafile, oGraphPort& port, const Zone& zone) {
    auto* native = dynamic_cast<oNativePort*>(&port);
    if (!native)
        return; // ports without a device context (PostScript, rotation) cannot play pictures
    PortDcHolder holder(native);
    if (!holder.dc())
        return;
    const plat::RECT rect{zone.left + native->originX(), zone.top + native->originY(),
                          zone.right + native->originX(), zone.bottom + native->originY()};
    holder->playEnhMetaFile(handleOf(metafile), rect);
}

} // namespace

void InstallWinUfoPlatform() {
    WinUfoPlatform platform;
    platform.copy = [](PictureHandle h) {
        return reinterpret_cast<PictureHandle>(plat::CopyEnhMetaFile(handleOf(h), nullptr));
    };
    platform.release = [](PictureHandle h) { plat::DeleteEnhMetaFile(handleOf(h)); };
    platform.describe = describePicture;
    platform.draw = drawPicture;
    SetWinUfoPlatform(platform);
}

WinUfo* oPictPort::makePicture() {
    plat::HENHMETAFILE picture = closePicture();
    if (!picture)
        return nullptr;
    InstallWinUfoPlatform();
    auto* ufo = new WinUfo;
    ufo->setEnhMetafile(reinterpret_cast<PictureHandle>(picture));
    return ufo;
}

WinUfo* NewWinUfoFromPixMap(oPixMap& pixmap, int32_t) {
    std::unique_ptr<oPictPort> port(
        NewPictPort(Zone{0, 0, pixmap.width(), pixmap.height(), 0, 0}, 0, 0, 0, 0));
    if (!port)
        return nullptr;
    port->restorePix(0, 0, pixmap);
    return port->makePicture();
}

bool CopyPixMapPixels(oPixMap& destination, oPixMap& source, PixelConverter converter) {
    const Zone& d = destination.bounds();
    const Zone& s = source.bounds();
    if (d.width() != s.width() || d.height() != s.height() || converter == nullptr)
        return false;
    uint8_t* dstBits = nullptr;
    uint8_t* srcBits = nullptr;
    int32_t dstStep = 0;
    int32_t srcStep = 0;
    destination.lockBits(&dstBits, &dstStep);
    source.lockBits(&srcBits, &srcStep);
    bool copied = false;
    if (dstBits != nullptr && srcBits != nullptr)
        copied = CopyPixels(dstBits, dstStep, destination.format(), srcBits, srcStep,
                            source.format(), d.width(), d.height(), converter);
    source.unlockBits(srcBits, false);
    destination.unlockBits(dstBits, copied);
    return copied;
}

void TrackPixelPainting(oWidget& pane, oPoint point, oPixMap& pixmap) {
    const int32_t pixWidth = pixmap.bounds().width();
    const int32_t pixHeight = pixmap.bounds().height();
    if (pixmap.format() != kPixelMonochrome || pixWidth <= 0 || pixHeight <= 0 ||
        pane.width() <= 0 || pane.height() <= 0)
        return;
    // The grid as DrawGridLines lays it over the pane.
    Zone grid = pane.bounds();
    grid.right -= pane.lineUnit();
    grid.bottom -= pane.lineUnit();
    const oPoint first = PixelUnderPoint(point, pane.width(), pane.height(), pixWidth, pixHeight);
    const bool paint = !pixmap.isPixelSet(first.x, first.y);
    oPoint last{-1, -1};
    pane.trackDrag(
        [&](oPoint p) {
            const oPoint pixel =
                PixelUnderPoint(p, pane.width(), pane.height(), pixWidth, pixHeight);
            if (pixel.x < 0 || pixel.y < 0 || pixel.x >= pixWidth || pixel.y >= pixHeight ||
                (pixel.x == last.x && pixel.y == last.y))
                return;
            last = pixel;
            pixmap.setPixel(pixel.x, pixel.y, paint);
            pane.paintZone(PixelGridCell(grid, pixWidth, pixHeight, pixel.x, pixel.y),
                           paint ? kColorBlack : kColorWhite);
        },
        [](oPoint) {}, nullptr, 1);
}
