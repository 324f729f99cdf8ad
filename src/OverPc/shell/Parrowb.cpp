#include "OverPc/shell/Parrowb.h"

#include "OverPc/shell/CQVApp.h"
#include "plat/Gdi.h"

namespace {

constexpr uint8_t kRows[kPatternBitmapCount][8] = {
    {0x66, 0x33, 0x99, 0xcc, 0x66, 0x33, 0x99, 0xcc}, // 512
    {0x66, 0xcc, 0x99, 0x33, 0x66, 0xcc, 0x99, 0x33}, // 513
    {0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}, // 514
    {0xff, 0x00, 0xff, 0x00, 0xff, 0x00, 0xff, 0x00}, // 515
    {0x60, 0x30, 0x18, 0x0c, 0x06, 0x03, 0x81, 0xc0}, // 516
    {0x06, 0x0c, 0x18, 0x30, 0x60, 0xc0, 0x81, 0x03}, // 517
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11}, // 518
    {0xff, 0x00, 0x00, 0x00, 0xff, 0x00, 0x00, 0x00}, // 519
    {0xe3, 0xf1, 0xf8, 0x7c, 0x3e, 0x1f, 0x8f, 0xc7}, // 520
    {0xc7, 0x8f, 0x1f, 0x3e, 0x7c, 0xf8, 0xf1, 0xe3}, // 521
    {0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33, 0x33}, // 522
    {0xff, 0xff, 0x00, 0x00, 0xff, 0xff, 0x00, 0x00}, // 523
    {0xef, 0xf7, 0xfb, 0xfd, 0xfe, 0x7f, 0xbf, 0xdf}, // 524
    {0xf7, 0xef, 0xdf, 0xbf, 0x7f, 0xfe, 0xfd, 0xfb}, // 525
    {0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77}, // 526
    {0xff, 0xff, 0xff, 0x00, 0xff, 0xff, 0xff, 0x00}, // 527
};

plat::HBITMAP s_bitmaps[kPatternBitmapCount] = {};

bool isEightByEightMono(plat::HBITMAP bitmap) {
    plat::BITMAP info;
    if (plat::GetObject(bitmap, sizeof info, &info) == 0)
        return false;
    return info.bmWidth == 8 && info.bmHeight == 8 && info.bmBitsPixel == 1;
}

} // namespace

const uint8_t* PatternBitmapRows(int32_t index) {
    if (index < 0 || index >= kPatternBitmapCount)
        return nullptr;
    return kRows[index];
}

void ClearArrowBitmaps() {
    for (plat::HBITMAP& b : s_bitmaps)
        b = nullptr;
}

plat::HBITMAP GetArrowBitmap(int32_t index) {
    if (index < 0 || index >= kPatternBitmapCount)
        return nullptr;
    plat::HBITMAP& slot = s_bitmaps[index];
    if (slot)
        return slot;
    plat::HBITMAP loaded = plat::LoadBitmap(
        CQVApp::instance().m_hResources,
        plat::MAKEINTRESOURCE(static_cast<plat::WORD>(kFirstPatternBitmap + index)));
    if (loaded && !isEightByEightMono(loaded)) {
        // A damaged resource would draw every patterned line wrongly: use the built-in rows.
        plat::DeleteObject(loaded);
        loaded = nullptr;
    }
    if (!loaded) {
        // Rows of a monochrome bitmap are padded to two bytes.
        uint8_t bits[16] = {};
        for (int row = 0; row < 8; ++row)
            bits[2 * row] = kRows[index][row];
        loaded = plat::CreateBitmap(8, 8, 1, 1, bits);
    }
    slot = loaded;
    return slot;
}

void DeleteArrowBitmaps() {
    for (plat::HBITMAP& b : s_bitmaps) {
        if (b)
            plat::DeleteObject(b);
        b = nullptr;
    }
}
