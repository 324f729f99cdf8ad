#include "OverPc/PPostScr.h"

#include "OverPc/PERROR.h"
#include "OverPc/PFONTS.h"
#include "OverPc/Portdc.h"
#include "OverPc/oPixMap.h"
#include "OverSrcs/oRotate.h"
#include "plat/Font.h"
#include "plat/Gdi.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

namespace {

void CopyFace(char (&dst)[kPostScriptFaceNameSize], const char* src) {
    const std::size_t n =
        src ? std::min(std::strlen(src), std::size_t{kPostScriptFaceNameSize - 1}) : 0;
    std::memcpy(dst, src ? src : "", n);
    dst[n] = 0;
}

// Makes the font on a display DC and reads back its face and pitch-and-family byte.
void MakeFontFacts(const char* face, bool bold, bool italic, int32_t points,
                   char (&madeFace)[kPostScriptFaceNameSize], uint8_t* pitchAndFamily) {
    madeFace[0] = 0;
    plat::LOGFONT lf;
    lf.lfHeight = -(points > 0 ? points : 12);
    lf.lfWeight = bold ? 700 : 400;
    lf.lfItalic = italic ? 1 : 0;
    lf.lfCharSet = plat::DEFAULT_CHARSET;
    lf.lfOutPrecision = plat::OUT_TT_PRECIS;
    lf.lfQuality = 1;
    const std::size_t n = face ? std::min(std::strlen(face), sizeof lf.lfFaceName - 1) : 0;
    std::memcpy(lf.lfFaceName, face ? face : "", n);
    lf.lfFaceName[n] = 0;
    const plat::HFONT font = plat::CreateFontIndirect(&lf);
    if (!font)
        return;
    const plat::HDC dc = plat::CreateDC("DISPLAY", nullptr, nullptr, nullptr);
    if (dc) {
        const plat::HGDIOBJ old = plat::SelectObject(dc, font);
        char name[kPostScriptFaceNameSize] = {};
        if (plat::GetTextFace(dc, kPostScriptFaceNameSize, name) > 0)
            CopyFace(madeFace, name);
        if (pitchAndFamily) {
            plat::TEXTMETRIC tm;
            if (plat::GetTextMetrics(dc, &tm))
                *pitchAndFamily = tm.tmPitchAndFamily;
        }
        plat::SelectObject(dc, old);
        plat::DeleteDC(dc);
    }
    plat::DeleteObject(font);
}

} // namespace

bool PostScriptFontInfoOf(int32_t fontIndex, PostScriptFontInfo& info) {
    info = PostScriptFontInfo{};
    const FontRecord* record = FontRecordAt(fontIndex);
    if (!record)
        return false;
    FontDesc desc;
    FontDescOfIndex(fontIndex, desc);
    CopyFace(info.faceName, desc.faceName);
    info.faceId = record->key.faceId;
    info.symbolFaceId = FaceIdOfName("Symbol");
    info.size = record->key.size;
    info.style = record->key.style;
    info.madeBold = (info.style & kFontStyleBold) != 0;
    info.madeItalic = (info.style & kFontStyleItalic) != 0;
    MakeFontFacts(info.faceName, info.madeBold, info.madeItalic, info.size, info.madeFace,
                  &info.pitchAndFamily);
    return true;
}

void PostScriptMadeFace(const char* face, bool bold, bool italic,
                        char (&madeFace)[kPostScriptFaceNameSize]) {
    MakeFontFacts(face, bold, italic, 12, madeFace, nullptr);
}

std::vector<PostScriptFontFile> InstalledPostScriptFontFiles() {
    std::vector<PostScriptFontFile> files;
    for (const plat::InstalledFontEntry& entry : plat::InstalledFontEntries())
        files.push_back({entry.valueName, entry.path});
    return files;
}

const char* SymbolGlyphName(uint8_t byte) {
    const plat::SymbolGlyph* glyph = plat::SymbolEncodingEntry(byte);
    return glyph ? glyph->glyphName : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Pixel maps for the PostScript writer

PostScriptPixMapFacts PixMapFactsOf(oPixMap& pixmap) {
    PostScriptPixMapFacts facts;
    facts.width = pixmap.width();
    facts.height = pixmap.height();
    facts.format = pixmap.format();
    return facts;
}

std::vector<std::string> PixMapHexRowsOf(oPixMap& pixmap, bool invert) {
    std::vector<std::string> rows;
    const int32_t w = pixmap.width(), h = pixmap.height();
    if (w <= 0 || h <= 0)
        return rows;
    const std::string all = PixMapHexRows(pixmap, invert);
    const std::size_t rowDigits = pixmap.format() == kPixelMonochrome
                                      ? 2 * static_cast<std::size_t>((w + 7) / 8)
                                      : 6 * static_cast<std::size_t>(w);
    if (all.size() != rowDigits * static_cast<std::size_t>(h))
        return rows;
    // The bits past a monochrome row's last pixel are cleared, so the text does not depend on
    // the inversion.
    const int spare = pixmap.format() == kPixelMonochrome ? (8 - w % 8) % 8 : 0;
    for (int32_t y = 0; y < h; ++y) {
        std::string row = all.substr(static_cast<std::size_t>(y) * rowDigits, rowDigits);
        if (spare) {
            const unsigned last =
                static_cast<unsigned>(std::stoul(row.substr(rowDigits - 2), nullptr, 16));
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", last & (0xFFu << spare) & 0xFFu);
            row.replace(rowDigits - 2, 2, hex);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

namespace {
// NewPixMap raises when the bitmap cannot be made; here that is "no map".
oPixMap* TryNewPixMap(const Zone& zone, int32_t resolution, PixelFormat format) {
    oPixMap* pixmap = nullptr;
    if (CatchFail([&] { pixmap = NewPixMap(zone, resolution, format); }) != 0)
        return nullptr;
    return pixmap;
}
} // namespace

oPixMap* NewImagePixMap(int32_t resourceId, int32_t resolution) {
    const oPoint size = ImageResourceSize(resourceId);
    if (size.x <= 0 || size.y <= 0)
        return nullptr;
    const Zone zone{0, 0, size.x, size.y, 0, 0};
    // 912: 32-bit colour, red in byte 2, green in 1, blue in 0.
    oPixMap* pixmap =
        TryNewPixMap(zone, resolution, resourceId < 8192 ? kPixelMonochrome : PixelFormat{912});
    if (pixmap)
        pixmap->drawImage(resourceId, zone, kColorBlack, kColorWhite, 0);
    return pixmap;
}

oPixMap* NewTextPixMap(const char* text, int32_t font, int32_t width, int32_t height,
                       int32_t baseline, int32_t resolution) {
    if (width <= 0 || height <= 0)
        return nullptr;
    oPixMap* pixmap =
        TryNewPixMap(Zone{0, 0, width, height, 0, 0}, resolution, kPixelScreenCompatible);
    if (pixmap) {
        pixmap->eraseZone(pixmap->bounds());
        pixmap->drawAsianString(text, font, 0, baseline, &kColorBlack, 1, 0);
    }
    return pixmap;
}

void DeletePostScriptPixMap(oPixMap* pixmap) {
    delete pixmap;
}

oPixMap* RotatePixMap(oPixMap& source, int32_t angle) {
    const Zone& from = source.bounds();
    const int32_t w = from.width(), h = from.height();
    const Zone to = RotateZone(angle, from);
    oPixMap* turned = TryNewPixMap(to, source.resolution(), source.format());
    if (!turned)
        return nullptr;
    turned->paintZone(turned->bounds(), source.backColor());
    if (w <= 0 || h <= 0)
        return turned;
    uint8_t* src = nullptr;
    uint8_t* dst = nullptr;
    int32_t srcStep = 0, dstStep = 0;
    source.lockBits(&src, &srcStep);
    turned->lockBits(&dst, &dstStep);
    const bool direct = src && dst && (source.format() & kPixelDepth32) != 0;
    // Other maps go through their device contexts, whose positions count from the map's
    // top-left pixel whatever the port's origin.
    std::optional<PortDcHolder> srcDc, dstDc;
    if (!direct) {
        srcDc.emplace(&source);
        dstDc.emplace(turned);
    }
    const int32_t tw = to.width(), th = to.height();
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            // Where the pixel lands, counted from the new map's top-left.
            int32_t dx = x, dy = y;
            switch (angle) {
            case 9000:
                dx = y, dy = th - 1 - x;
                break;
            case -9000:
                dx = tw - 1 - y, dy = x;
                break;
            case 18000:
            case -18000:
                dx = tw - 1 - x, dy = th - 1 - y;
                break;
            default:
                break;
            }
            if (direct) {
                WriteLockedPixel(dst, dstStep, turned->format(), dx, dy,
                                 ReadLockedPixel(src, srcStep, source.format(), x, y));
            } else if (srcDc->hdc() && dstDc->hdc()) {
                const plat::COLORREF c = plat::GetPixel(srcDc->hdc(), x, y);
                if (c != plat::CLR_INVALID)
                    plat::SetPixel(dstDc->hdc(), dx, dy, c);
            }
        }
    }
    if (dst)
        turned->unlockBits(dst, direct);
    if (src)
        source.unlockBits(src, false);
    return turned;
}
