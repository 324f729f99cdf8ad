#pragma once
// Pixel maps and recorded pictures read back as plain values, for the tests of pictures and ports.

#include "OverPc/Portdc.h"
#include "OverPc/oPixMap.h"
#include "OverSrcs/Winufo.h"
#include "OverSrcs/oWindows.h"
#include "plat/Gdi.h"
#include "plat/Metafile.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace kvtest {

// A pixel of the map, as 0x00bbggrr.
inline plat::COLORREF PixelOf(oPixMap& pixmap, int x, int y) {
    PortDcHolder holder(&pixmap);
    return plat::GetPixel(holder.hdc(), x, y) & 0xFFFFFF;
}

// A pixel map at the screen's resolution, painted white.
inline std::unique_ptr<oPixMap> WhitePixMap(int w, int h) {
    std::unique_ptr<oPixMap> p(NewPixMap(Zone{0, 0, w, h, 0, 0}, ScreenResolution(), 912));
    p->paintZone(Zone{0, 0, w, h, 0, 0}, kColorWhite);
    return p;
}

// The bytes of the picture's enhanced metafile.
inline std::vector<uint8_t> MetafileBytes(const WinUfo& picture) {
    auto* emf = reinterpret_cast<plat::HENHMETAFILE>(picture.enhMetafile());
    std::vector<uint8_t> bytes(plat::GetEnhMetaFileBits(emf, 0, nullptr));
    plat::GetEnhMetaFileBits(emf, static_cast<plat::UINT>(bytes.size()), bytes.data());
    return bytes;
}

} // namespace kvtest
