// Icons: 32-bit resources with an alpha channel, kept as pixels in a table of their own. Drawing
// makes the classic pair of bitmaps (an AND mask and an XOR image) and blits them, so that the
// DC's mapping and clip apply exactly as they do to bitmaps.
#include "core/gdi/GdiInternal.h"
#include "plat/Gdi.h"
#include "plat/Resources.h"

#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace plat::core {
namespace {

// Icon handles share the space of cursor handles (HCURSOR is HICON): their tag keeps them apart.
constexpr std::uint32_t kIconTag = 0x50000000u;
constexpr std::uint32_t kIconIdMask = 0x0FFFFFFFu;

struct IconData {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb; // top row first, 0xAARRGGBB
};

struct IconTable {
    std::mutex lock;
    std::map<std::uint32_t, IconData> icons;
    std::uint32_t next = 1;
};

IconTable& table() {
    static IconTable t;
    return t;
}

HICON addIcon(IconData data) {
    IconTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    const std::uint32_t id = t.next;
    t.next = t.next >= kIconIdMask ? 1 : t.next + 1;
    t.icons[id] = std::move(data);
    return HandleFromId<HICON>(kIconTag | id);
}

bool findIcon(HICON icon, IconData& out, const char* caller) {
    const std::uint32_t h = IdFromHandle(icon);
    IconTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = (h & ~kIconIdMask) == kIconTag ? t.icons.find(h & kIconIdMask) : t.icons.end();
    if (it == t.icons.end()) {
        GdiDiagnostic(std::string(caller) + ": invalid icon handle");
        return false;
    }
    out = it->second;
    return true;
}

std::uint32_t get32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// The resource bytes as pixels; false (with a diagnostic) when they are not an icon.
bool decodeIcon(const std::uint8_t* bytes, std::size_t size, IconData& out) {
    BITMAPINFOHEADER h;
    if (!bytes || size < sizeof h) {
        GdiDiagnostic("LoadIcon: resource shorter than its header");
        return false;
    }
    std::memcpy(&h, bytes, sizeof h);
    const long long height = h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight;
    if (h.biSize != 40 || h.biBitCount != 32 || h.biPlanes != 1 || h.biCompression != BI_RGB ||
        h.biWidth <= 0 || h.biWidth > 256 || height <= 0 || height > 256) {
        GdiDiagnostic("LoadIcon: not a 32-bit icon of at most 256 x 256 pixels");
        return false;
    }
    const std::size_t need = static_cast<std::size_t>(h.biWidth) * height * 4;
    if (size - h.biSize < need) {
        GdiDiagnostic("LoadIcon: the pixel data is shorter than the header says");
        return false;
    }
    out.width = h.biWidth;
    out.height = static_cast<int>(height);
    out.argb.resize(static_cast<std::size_t>(out.width) * out.height);
    const std::uint8_t* bits = bytes + h.biSize;
    for (int y = 0; y < out.height; ++y) {
        const int srcRow = h.biHeight < 0 ? y : out.height - 1 - y;
        const std::uint8_t* row = bits + static_cast<std::size_t>(srcRow) * out.width * 4;
        for (int x = 0; x < out.width; ++x)
            out.argb[static_cast<std::size_t>(y) * out.width + x] = get32(row + 4 * x);
    }
    return true;
}

IconData scaled(const IconData& in, int width, int height) {
    IconData out;
    out.width = width;
    out.height = height;
    out.argb.resize(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            out.argb[static_cast<std::size_t>(y) * width + x] =
                in.argb[static_cast<std::size_t>(y * in.height / height) * in.width +
                        x * in.width / width];
    return out;
}

bool drawn(std::uint32_t argb) {
    return (argb >> 24) >= 128;
}

// The AND mask (white where transparent) and the XOR image (colour where drawn, black elsewhere)
// as 32-bit bitmaps; a 32-bit mask is taken as it is by every DC, whatever its colours.
void makeBitmaps(const IconData& icon, HBITMAP& mask, HBITMAP& colour) {
    std::vector<std::uint32_t> m(icon.argb.size()), c(icon.argb.size());
    for (std::size_t i = 0; i < icon.argb.size(); ++i) {
        const bool on = drawn(icon.argb[i]);
        m[i] = on ? 0x000000u : 0xFFFFFFu;
        c[i] = on ? (icon.argb[i] & 0xFFFFFFu) : 0u;
    }
    mask = CreateBitmap(icon.width, icon.height, 1, 32, m.data());
    colour = CreateBitmap(icon.width, icon.height, 1, 32, c.data());
}

} // namespace
} // namespace plat::core

namespace plat {

using namespace plat::core;

HICON LoadIcon(HINSTANCE module, const char* name) {
    if (!module || !name)
        return nullptr;
    HRSRC res = FindResource(module, name, MAKEINTRESOURCE(RT_ICON_ID));
    if (!res)
        return nullptr;
    const DWORD size = SizeofResource(module, res);
    HGLOBAL loaded = LoadResource(module, res);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    IconData icon;
    if (!data || !decodeIcon(static_cast<const std::uint8_t*>(data), size, icon))
        return nullptr;
    return addIcon(std::move(icon));
}

void* LoadImage(HINSTANCE module, const char* name, UINT type, int width, int height, UINT flags) {
    if (type == IMAGE_BITMAP)
        return LoadBitmap(module, name);
    if (type != IMAGE_ICON)
        return nullptr;
    HICON icon = LoadIcon(module, name);
    if (!icon || (flags & LR_DEFAULTSIZE) || width < 0 || height < 0 || (width == 0 && height == 0))
        return icon;
    IconData data;
    findIcon(icon, data, "LoadImage");
    const int w = width ? width : data.width;
    const int h = height ? height : data.height;
    if (w == data.width && h == data.height)
        return icon;
    if (w > 1024 || h > 1024) {
        GdiDiagnostic("LoadImage: icon size out of range");
        DestroyIcon(icon);
        return nullptr;
    }
    DestroyIcon(icon);
    return addIcon(scaled(data, w, h));
}

BOOL DestroyIcon(HICON icon) {
    const std::uint32_t h = IdFromHandle(icon);
    if ((h & ~kIconIdMask) != kIconTag)
        return FALSE;
    IconTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    return t.icons.erase(h & kIconIdMask) ? TRUE : FALSE;
}

BOOL GetIconInfo(HICON icon, ICONINFO* info) {
    IconData data;
    if (!info || !findIcon(icon, data, "GetIconInfo"))
        return FALSE;
    info->fIcon = TRUE;
    info->xHotspot = static_cast<DWORD>(data.width / 2);
    info->yHotspot = static_cast<DWORD>(data.height / 2);
    makeBitmaps(data, info->hbmMask, info->hbmColor);
    if (!info->hbmMask || !info->hbmColor) {
        DeleteObject(info->hbmMask);
        DeleteObject(info->hbmColor);
        info->hbmMask = info->hbmColor = nullptr;
        return FALSE;
    }
    return TRUE;
}

BOOL GetIconSize(HICON icon, SIZE* size) {
    IconData data;
    if (!size || !findIcon(icon, data, "GetIconSize"))
        return FALSE;
    size->cx = data.width;
    size->cy = data.height;
    return TRUE;
}

BOOL DrawIcon(HDC hdc, int x, int y, HICON icon) {
    IconData data;
    if (!findIcon(icon, data, "DrawIcon"))
        return FALSE;
    HBITMAP mask = nullptr, colour = nullptr;
    makeBitmaps(data, mask, colour);
    HDC mem = CreateCompatibleDC(hdc);
    BOOL ok = mask && colour && mem;
    if (ok) {
        HGDIOBJ old = SelectObject(mem, mask);
        ok = BitBlt(hdc, x, y, data.width, data.height, mem, 0, 0, SRCAND);
        SelectObject(mem, colour);
        ok = ok && BitBlt(hdc, x, y, data.width, data.height, mem, 0, 0, SRCINVERT);
        SelectObject(mem, old);
    }
    if (mem)
        DeleteDC(mem);
    DeleteObject(mask);
    DeleteObject(colour);
    return ok;
}

} // namespace plat
