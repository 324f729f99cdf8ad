// The cache of the 16 small bitmaps 512 to 527, shared by the arrow buttons and the line patterns:
// 8 × 8 monochrome images, loaded once from the resource module, or built from their rows when
// the module has none.
#pragma once

#include "plat/Types.h"

#include <cstdint>

inline constexpr int32_t kFirstPatternBitmap = 512;
inline constexpr int32_t kPatternBitmapCount = 16;

// The eight rows (top first) of bitmap 512 + index; a 0 bit takes the line colour, a 1 bit the
// background colour.
const uint8_t* PatternBitmapRows(int32_t index);

// Empties the 16 handles (graphics start-up) without deleting them.
void ClearArrowBitmaps();
// Bitmap 512 + index, loaded once; null for an index outside 0-15.
plat::HBITMAP GetArrowBitmap(int32_t index);
// Deletes the loaded bitmaps (the arrow buttons' clean-up).
void DeleteArrowBitmaps();
