#pragma once
// A memory DC over a 32-bpp bitmap for pixel tests, with readers of its pixels.

#include "core/gdi/GdiObjects.h"
#include "plat/Gdi.h"

#include <algorithm>
#include <cairo.h>
#include <cstdint>
#include <vector>

namespace kvtest {

class GdiCanvas {
public:
    GdiCanvas(int width, int height, plat::COLORREF background = plat::RGB(255, 255, 255))
        : m_width(width)
        , m_height(height) {
        m_dc = plat::CreateCompatibleDC(nullptr);
        m_bitmap = plat::CreateBitmap(width, height, 1, 32, nullptr);
        m_old = plat::SelectObject(m_dc, m_bitmap);
        fill(background);
    }
    ~GdiCanvas() {
        plat::SelectObject(m_dc, m_old);
        plat::DeleteObject(m_bitmap);
        plat::DeleteDC(m_dc);
    }
    GdiCanvas(const GdiCanvas&) = delete;
    GdiCanvas& operator=(const GdiCanvas&) = delete;

    plat::HDC dc() const { return m_dc; }
    plat::HBITMAP bitmap() const { return m_bitmap; }
    int width() const { return m_width; }
    int height() const { return m_height; }

    void fill(plat::COLORREF c) {
        plat::HBRUSH b = plat::CreateSolidBrush(c);
        plat::RECT r{0, 0, m_width, m_height};
        plat::FillRect(m_dc, &r, b);
        plat::DeleteObject(b);
    }
    cairo_surface_t* surface() const {
        return plat::core::LookupGdiObjectAs<plat::core::BitmapObject>(m_bitmap,
                                                                       plat::core::GdiKind::Bitmap)
            ->m_surface;
    }
    // The colour at (x, y) as COLORREF, read straight from the surface.
    plat::COLORREF at(int x, int y) const {
        cairo_surface_flush(surface());
        const auto* row =
            cairo_image_surface_get_data(surface()) +
            static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(surface());
        return plat::core::ColorFromPixel(reinterpret_cast<const std::uint32_t*>(row)[x] &
                                          0xFFFFFF);
    }
    // Every byte of the image, for byte-for-byte comparisons.
    std::vector<std::uint8_t> bytes() const {
        cairo_surface_flush(surface());
        const auto* d = cairo_image_surface_get_data(surface());
        return std::vector<std::uint8_t>(
            d,
            d + static_cast<std::ptrdiff_t>(cairo_image_surface_get_stride(surface())) * m_height);
    }
    int count(plat::COLORREF c) const {
        int n = 0;
        for (int y = 0; y < m_height; ++y)
            for (int x = 0; x < m_width; ++x)
                n += at(x, y) == c;
        return n;
    }
    // The bounding box of pixels of colour c ({0,0,0,0} when none).
    plat::RECT bounds(plat::COLORREF c) const {
        plat::RECT r{m_width, m_height, 0, 0};
        bool any = false;
        for (int y = 0; y < m_height; ++y)
            for (int x = 0; x < m_width; ++x)
                if (at(x, y) == c) {
                    any = true;
                    r.left = std::min<plat::LONG>(r.left, x);
                    r.top = std::min<plat::LONG>(r.top, y);
                    r.right = std::max<plat::LONG>(r.right, x + 1);
                    r.bottom = std::max<plat::LONG>(r.bottom, y + 1);
                }
        return any ? r : plat::RECT{};
    }

private:
    int m_width;
    int m_height;
    plat::HDC m_dc = nullptr;
    plat::HBITMAP m_bitmap = nullptr;
    plat::HGDIOBJ m_old = nullptr;
};

// Selects an object for a scope and deletes it afterwards.
class Selected {
public:
    Selected(plat::HDC dc, plat::HGDIOBJ obj)
        : m_dc(dc)
        , m_obj(obj)
        , m_old(plat::SelectObject(dc, obj)) {}
    ~Selected() {
        plat::SelectObject(m_dc, m_old);
        plat::DeleteObject(m_obj);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    plat::HDC m_dc;
    plat::HGDIOBJ m_obj;
    plat::HGDIOBJ m_old;
};

} // namespace kvtest
