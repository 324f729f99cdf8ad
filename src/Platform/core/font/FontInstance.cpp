#include "core/font/FontInstance.h"

#include "core/font/Encoding.h"

#include FT_OUTLINE_H
#include FT_BBOX_H
#include FT_ADVANCES_H

#include <algorithm>
#include <cstdint>
#include <limits>

namespace plat::fontcore {

namespace {

// Pixel sizes are bounded so that every metric fits the 16-bit fields of glyph metrics.
constexpr std::int64_t kMaxPpem = 16384;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) {
        --q;
    }
    return q;
}

std::int64_t ceilDiv(std::int64_t a, std::int64_t b) {
    return -floorDiv(-a, b);
}

// round(units × ppem / upem), halves away from... upward, for either sign.
std::int64_t roundScale(std::int64_t units, std::int64_t ppem, std::int64_t upem) {
    return floorDiv(2 * units * ppem + upem, 2 * upem);
}

int computePpem(const LOGFONT& lf, const FontFile& file) {
    std::int64_t ppem = 12;
    const std::int64_t h = lf.lfHeight;
    if (h < 0) {
        ppem = -h;
    } else if (h > 0) {
        // The cell height includes the internal leading: scale it to an em.
        const std::int64_t cell = static_cast<std::int64_t>(file.winAscent) + file.winDescent;
        ppem = (h * file.upem + cell / 2) / cell;
    }
    return static_cast<int>(std::clamp<std::int64_t>(ppem, 1, kMaxPpem));
}

} // namespace

std::shared_ptr<FontInstance> FontInstance::create(const LOGFONT& logFont) {
    FontCatalogue& catalogue = FontCatalogue::get();
    const FaceEntry* face = catalogue.resolve(logFont);
    if (face == nullptr) {
        return nullptr;
    }
    std::shared_ptr<FontInstance> font(new FontInstance());
    font->m_logFont = logFont;
    font->m_logFont.lfFaceName[LF_FACESIZE - 1] = '\0';
    font->m_face = face;
    font->m_bold = logFont.lfWeight >= 600;
    font->m_italic = logFont.lfItalic != 0;
    switch (logFont.lfCharSet) {
    case DEFAULT_CHARSET:
    case SHIFTJIS_CHARSET:
    case HANGUL_CHARSET:
    case GB2312_CHARSET:
    case CHINESEBIG5_CHARSET:
        font->m_codePage = GetACP();
        break;
    default:
        font->m_codePage = 1252;
        break;
    }
    for (const FaceLink& link : face->links) {
        const FontFile* file = catalogue.styledFile(link.family, font->m_bold, font->m_italic);
        if (file == nullptr) {
            continue;
        }
        StyledLink styled;
        styled.file = file;
        styled.map = link.map;
        styled.syntheticBold = font->m_bold && !file->bold;
        styled.syntheticItalic = font->m_italic && !file->italic;
        font->m_links.push_back(styled);
    }
    if (font->m_links.empty()) {
        return nullptr;
    }
    // Under a double-byte code page the characters no face of the catalogue has come from the
    // font the system offers for the page's language.
    if (const FontFile* file = catalogue.languageFile(font->m_codePage)) {
        StyledLink styled;
        styled.file = file;
        styled.map = ByteMap::Ansi;
        styled.syntheticBold = font->m_bold && !file->bold;
        styled.syntheticItalic = font->m_italic && !file->italic;
        font->m_links.push_back(styled);
    }
    const StyledLink& own = font->m_links.front();
    font->m_primary = own.file;
    const FontFile& f = *own.file;
    const int ppem = computePpem(logFont, f);
    font->m_ppem = ppem;

    TEXTMETRIC& tm = font->m_metrics;
    tm.tmAscent = static_cast<LONG>(ceilDiv(static_cast<std::int64_t>(f.winAscent) * ppem, f.upem));
    tm.tmDescent =
        static_cast<LONG>(ceilDiv(static_cast<std::int64_t>(f.winDescent) * ppem, f.upem));
    tm.tmHeight = tm.tmAscent + tm.tmDescent;
    tm.tmInternalLeading = tm.tmHeight - ppem;
    tm.tmExternalLeading =
        std::max<LONG>(0, static_cast<LONG>(roundScale(f.lineGap, ppem, f.upem)));
    const int boldExtra = own.syntheticBold ? 1 : 0;
    tm.tmAveCharWidth = static_cast<LONG>(roundScale(f.avgCharWidth, ppem, f.upem)) + boldExtra;
    tm.tmMaxCharWidth = static_cast<LONG>(roundScale(f.maxAdvance, ppem, f.upem)) + boldExtra;
    tm.tmWeight = logFont.lfWeight != 0 ? logFont.lfWeight : FW_NORMAL;
    tm.tmOverhang = 0;
    tm.tmDigitizedAspectX = 96;
    tm.tmDigitizedAspectY = 96;
    tm.tmFirstChar = 0x1E;
    tm.tmLastChar = 0xFF;
    tm.tmDefaultChar = 0x1F;
    tm.tmBreakChar = 0x20;
    tm.tmItalic = logFont.lfItalic;
    tm.tmUnderlined = logFont.lfUnderline;
    tm.tmStruckOut = logFont.lfStrikeOut;
    // TMPF_FIXED_PITCH set means a variable pitch: the bit's name says the opposite.
    const bool variable = (face->pitchAndFamily & 0x03) != FIXED_PITCH;
    tm.tmPitchAndFamily = static_cast<BYTE>((face->pitchAndFamily & 0xF0) | TMPF_TRUETYPE |
                                            TMPF_VECTOR | (variable ? TMPF_FIXED_PITCH : 0));
    tm.tmCharSet = face->charSet;
    return font;
}

std::vector<unsigned> FontInstance::codes(const char* text, std::size_t count) const {
    std::vector<unsigned> out;
    out.reserve(count);
    if (text == nullptr) {
        return out;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (IsLeadByteOf(m_codePage, b) && i + 1 < count) {
            out.push_back((static_cast<unsigned>(b) << 8) |
                          static_cast<unsigned char>(text[i + 1]));
            ++i;
        } else {
            out.push_back(b);
        }
    }
    return out;
}

GlyphRef FontInstance::glyph(unsigned code) const {
    if (code <= 0xFF) {
        if (!m_byteKnown[code]) {
            m_byteGlyphs[code] = lookUp(code);
            m_byteKnown[code] = true;
        }
        return m_byteGlyphs[code];
    }
    if (auto it = m_wideGlyphs.find(code); it != m_wideGlyphs.end()) {
        return it->second;
    }
    const GlyphRef ref = lookUp(code);
    m_wideGlyphs.emplace(code, ref);
    return ref;
}

GlyphRef FontInstance::lookUp(unsigned code) const {
    GlyphRef ref;
    bool found = false;
    for (std::size_t i = 0; i < m_links.size() && !found; ++i) {
        const StyledLink& link = m_links[i];
        FT_Face face = link.file->face;
        FT_UInt index = 0;
        switch (link.map) {
        case ByteMap::Ansi:
            if (const char32_t u = CodeToUnicode(code, m_codePage); u != 0 || code == 0) {
                index = FT_Get_Char_Index(face, u);
            }
            break;
        case ByteMap::SymbolByte:
            if (code <= 0xFF) {
                index = FT_Get_Char_Index(face, code);
                if (index == 0) {
                    index = FT_Get_Char_Index(face, 0xF000 + code);
                }
                // A glyph the font keeps under another byte (the apple logo) is found by name.
                const SymbolGlyph* g = SymbolEncodingEntry(static_cast<BYTE>(code));
                if (index == 0 && g != nullptr && FT_HAS_GLYPH_NAMES(face)) {
                    index = FT_Get_Name_Index(face, g->glyphName);
                }
            }
            break;
        case ByteMap::SymbolTable:
            if (code <= 0xFF) {
                if (const SymbolGlyph* g = SymbolEncodingEntry(static_cast<BYTE>(code))) {
                    index = FT_Get_Char_Index(face, g->unicode);
                }
            }
            break;
        }
        if (index != 0) {
            ref.link = static_cast<int>(i);
            ref.glyph = index;
            found = true;
        }
    }
    // No font of the chain has the character: the face's own missing-glyph shape stands in.
    const StyledLink& link = m_links[static_cast<std::size_t>(ref.link)];
    FT_Fixed units = 0;
    if (FT_Get_Advance(link.file->face, ref.glyph, FT_LOAD_NO_SCALE, &units) != 0) {
        units = 0;
    }
    ref.advance =
        static_cast<int>((static_cast<std::int64_t>(units) * m_ppem + link.file->upem / 2) /
                         link.file->upem) +
        (link.syntheticBold ? 1 : 0);
    return ref;
}

long FontInstance::extent(const char* text, std::size_t count) const {
    long width = 0;
    for (unsigned code : codes(text, count)) {
        width += glyph(code).advance;
    }
    return width;
}

bool FontInstance::glyphMetrics(unsigned code, GLYPHMETRICS* gm) const {
    if (auto it = m_glyphMetrics.find(code); it != m_glyphMetrics.end()) {
        *gm = it->second;
        return true;
    }
    if (!computeGlyphMetrics(code, gm)) {
        return false;
    }
    m_glyphMetrics.emplace(code, *gm);
    return true;
}

bool FontInstance::computeGlyphMetrics(unsigned code, GLYPHMETRICS* gm) const {
    const GlyphRef g = glyph(code);
    const StyledLink& link = m_links[static_cast<std::size_t>(g.link)];
    FT_Face face = link.file->face;
    if (FT_Load_Glyph(face, g.glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) !=
        0) {
        return false;
    }
    *gm = GLYPHMETRICS{};
    gm->gmCellIncX = static_cast<SHORT>(std::min(g.advance, 32767));
    gm->gmCellIncY = 0;
    FT_GlyphSlot slot = face->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE || slot->outline.n_points == 0) {
        // A blank glyph (a space) has no black box: reported as 0 × 0 at the pen.
        return true;
    }
    FT_Outline& outline = slot->outline;
    if (link.syntheticItalic) {
        FT_Matrix shear{0x10000, kItalicShear16, 0, 0x10000};
        FT_Outline_Transform(&outline, &shear);
    }
    FT_BBox box{};
    FT_Outline_Get_BBox(&outline, &box);
    const std::int64_t upem = link.file->upem;
    const std::int64_t left = floorDiv(static_cast<std::int64_t>(box.xMin) * m_ppem, upem);
    std::int64_t right = ceilDiv(static_cast<std::int64_t>(box.xMax) * m_ppem, upem);
    const std::int64_t bottom = floorDiv(static_cast<std::int64_t>(box.yMin) * m_ppem, upem);
    const std::int64_t top = ceilDiv(static_cast<std::int64_t>(box.yMax) * m_ppem, upem);
    if (link.syntheticBold) {
        right += 1; // the overstrike one pixel to the right
    }
    gm->gmBlackBoxX = static_cast<UINT>(std::max<std::int64_t>(0, right - left));
    gm->gmBlackBoxY = static_cast<UINT>(std::max<std::int64_t>(0, top - bottom));
    gm->gmptGlyphOrigin.x = static_cast<LONG>(left);
    gm->gmptGlyphOrigin.y = static_cast<LONG>(top);
    return true;
}

int FontInstance::scale(long units) const {
    return static_cast<int>(roundScale(units, m_ppem, m_primary->upem));
}

int FontInstance::underlineOffset() const {
    return -scale(m_primary->underlinePosition);
}

int FontInstance::underlineThickness() const {
    return std::max(1, scale(m_primary->underlineThickness));
}

int FontInstance::strikeoutOffset() const {
    return -scale(m_primary->strikeoutPosition);
}

int FontInstance::strikeoutThickness() const {
    return std::max(1, scale(m_primary->strikeoutSize));
}

} // namespace plat::fontcore
