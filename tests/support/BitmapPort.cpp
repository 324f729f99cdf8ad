#include "support/BitmapPort.h"

#include "OverPc/Portdc.h"

#include <algorithm>

namespace kvtest {

BitmapPort::BitmapPort(int32_t width, int32_t height, int32_t resolution)
    : m_w(width)
    , m_h(height) {
    plat::HDC screen = plat::CreateDC("DISPLAY", nullptr, nullptr, nullptr);
    m_dc = plat::CreateCompatibleDC(screen);
    m_bitmap = plat::CreateCompatibleBitmap(screen, width, height);
    plat::DeleteDC(screen);
    m_oldBitmap = plat::SelectObject(m_dc, m_bitmap);
    const plat::RECT all{0, 0, width, height};
    plat::FillRect(m_dc, &all, plat::GetStockObject(plat::WHITE_BRUSH));
    // The list-box device kind draws on a borrowed DC, which is what a memory bitmap needs.
    PortDevice* device = NewPortDevice(kDeviceListbox);
    device->borrowedDc = m_dc;
    adoptDevice(device);
    setDrawableSize(width, height);
    setResolution(resolution);
}

BitmapPort::~BitmapPort() {
    DropPortDcs(kDeviceListbox);
    plat::SelectObject(m_dc, m_oldBitmap);
    plat::DeleteDC(m_dc);
    plat::DeleteObject(m_bitmap);
}

std::vector<plat::COLORREF> BitmapPort::pixels() const {
    plat::SelectClipRgn(m_dc, nullptr);
    std::vector<plat::COLORREF> out;
    out.reserve(static_cast<size_t>(m_w) * static_cast<size_t>(m_h));
    for (int y = 0; y < m_h; ++y)
        for (int x = 0; x < m_w; ++x)
            out.push_back(plat::GetPixel(m_dc, x, y));
    return out;
}

Zone BitmapPort::ink() const {
    plat::SelectClipRgn(m_dc, nullptr);
    Zone r{m_w, m_h, 0, 0, 0, 0};
    for (int y = 0; y < m_h; ++y) {
        for (int x = 0; x < m_w; ++x) {
            if (plat::GetPixel(m_dc, x, y) != plat::RGB(255, 255, 255)) {
                r.left = std::min(r.left, x);
                r.top = std::min(r.top, y);
                r.right = std::max(r.right, x + 1);
                r.bottom = std::max(r.bottom, y + 1);
            }
        }
    }
    return r;
}

cairo_surface_t* BitmapPort::image() const {
    plat::SelectClipRgn(m_dc, nullptr);
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, m_w, m_h);
    cairo_surface_flush(image);
    unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    for (int y = 0; y < m_h; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
        for (int x = 0; x < m_w; ++x) {
            const plat::COLORREF c = plat::GetPixel(m_dc, x, y);
            row[x] = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
        }
    }
    cairo_surface_mark_dirty(image);
    return image;
}

} // namespace kvtest
