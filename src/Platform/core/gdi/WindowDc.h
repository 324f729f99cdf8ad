#pragma once
// DCs that draw into surfaces owned by someone else: the window module's backing images, and the
// scratch DC that stands for GetDC(NULL).

#include "core/win/Region.h"
#include "plat/Types.h"

#include <cairo.h>

namespace plat::core {
// A DC drawing into a window's backing image. `origin` is the window's client origin in the
// image; `clip` is in device (image) coordinates and already includes the visible region and,
// while painting, the update region.
HDC CreateSurfaceDc(cairo_surface_t* surface, POINT origin, const Region& clip, HWND hwnd);
void DestroySurfaceDc(HDC hdc);

// The DC of GetDC(NULL): the screen's capabilities, drawing invisible (measuring only). Release it
// with DestroySurfaceDc or DeleteDC.
HDC CreateScratchDc();

// The window a surface DC was made for (null for other DCs).
HWND WindowOfDc(HDC hdc);
} // namespace plat::core
