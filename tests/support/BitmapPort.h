#pragma once
// A native port drawing into a white 32-bit memory bitmap that a test reads back: the common
// ground of the tests that check real pixels of text and templates on the pinned fonts.

#include "OverSrcs/oGraph.h"
#include "OverSrcs/oWindows.h"
#include "plat/Gdi.h"

#include <cairo.h>
#include <cstdint>
#include <vector>

namespace kvtest {

class BitmapPort : public oNativePort {
public:
    BitmapPort(int32_t width, int32_t height, int32_t resolution);
    ~BitmapPort() override;

    plat::HDC dc() const { return m_dc; }
    int32_t widthInPixels() const { return m_w; }
    int32_t heightInPixels() const { return m_h; }
    // Reading ignores the port's clip (pixels outside a clip region read as invalid).
    std::vector<plat::COLORREF> pixels() const;
    // The bounding box of the pixels that are not white (right and bottom exclusive).
    Zone ink() const;
    // The pixels as an RGB24 image surface, for the reference-image comparison; the caller
    // destroys it.
    cairo_surface_t* image() const;

private:
    int32_t m_w;
    int32_t m_h;
    plat::HDC m_dc = nullptr;
    plat::HBITMAP m_bitmap = nullptr;
    plat::HGDIOBJ m_oldBitmap = nullptr;
};

} // namespace kvtest
