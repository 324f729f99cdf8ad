#pragma once
// Drawing a run of text with a realised font on a Cairo context whose user space is device pixels.
// Glyphs are placed at the integer pen positions of the metric rules (the run is exactly as wide
// as it measures), rasterised without antialiasing, so text drawn twice with XOR is undone
// exactly.

#include "core/font/FontInstance.h"
#include "plat/Font.h"

#include <cairo.h>
#include <cstdint>
#include <vector>

namespace plat::fontcore {

struct TextRun {
    double x = 0; // reference point, device pixels
    double y = 0;
    UINT align = 0;             // TA_* (horizontal and vertical parts; TA_UPDATECP is the caller's)
    UINT options = 0;           // ETO_OPAQUE, ETO_CLIPPED
    const RECT* rect = nullptr; // device pixels; for ETO_OPAQUE and ETO_CLIPPED
    const char* text = nullptr;
    std::size_t count = 0;
    const int* dx = nullptr; // per byte distances to the next character, or null
    COLORREF textColor = 0;
    COLORREF bkColor = 0xFFFFFF;
    bool opaqueBackground = false; // OPAQUE background mode: the text cell is filled
};

struct TextRunResult {
    RECT touched{}; // device pixels the drawing may have changed
    bool anyTouched = false;
    long advance = 0; // along the baseline, for TA_UPDATECP
};

TextRunResult DrawTextRun(cairo_t* cr, const FontInstance& font, const TextRun& run);

// The pixels of a 32-bit image surface (RGB24 or ARGB32), for BlitTextRun.
struct PixelTarget {
    unsigned char* data = nullptr;
    int stride = 0; // bytes per row
    int width = 0;  // pixels
    int height = 0;
    POINT origin{}; // device (0, 0) in surface coordinates
    // The clip, y-x banded rectangles in surface coordinates, all inside the surface.
    const std::vector<RECT>* clip = nullptr;
};

// Draws a run on pixels directly: the same pixels as DrawTextRun on a Cairo context on that
// surface, translated by the origin and clipped to the clip, and the same result. Glyphs are
// rendered once by Cairo, with the options and hinting DrawTextRun uses, into cached 1-bit masks;
// masks at integer positions then cover what Cairo's compositing would, clipped as Cairo clips a
// string of glyphs. Text along the
// baseline only: false, with nothing drawn, for a run it does not draw (rotated text, positions
// off the pixel grid or far outside any surface, a glyph Cairo fails to render).
bool BlitTextRun(const PixelTarget& target, const FontInstance& font, const TextRun& run,
                 TextRunResult* result);

// Whether ExtTextOut may draw through BlitTextRun (on by default); tests turn it off to draw
// the reference through Cairo.
void SetTextBlitting(bool on);
bool TextBlitting();
// The pixels of every glyph mask rendered so far: the blitter's work, which follows what the
// text covers on its targets, not what the runs hold.
std::uint64_t GlyphMaskPixelsRendered();

} // namespace plat::fontcore
