#pragma once
// Drawing a run of text with a realised font on a Cairo context whose user space is device pixels.
// Glyphs are placed at the integer pen positions of the metric rules (the run is exactly as wide
// as it measures), rasterised without antialiasing, so text drawn twice with XOR is undone
// exactly.

#include "core/font/FontInstance.h"
#include "plat/Font.h"

#include <cairo.h>

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

} // namespace plat::fontcore
