#pragma once
// A realised logical font: the face it resolved to, its pixel size, the style file (or synthetic
// style) of each family in its fallback chain, and the metric rules that make layout identical on
// every machine:
//  - ppem from lfHeight (negative: pixels per em; positive: cell height; 0: 12);
//  - advance of a glyph = (font units × ppem + upem / 2) / upem from the horizontal metrics, no
//    hinting, no kerning; a synthetic bold glyph is 1 px wider;
//  - a text's width is the sum of its glyphs' advances.

#include "core/font/FontCatalogue.h"
#include "plat/Font.h"

#include <array>
#include <memory>
#include <unordered_map>
#include <vector>

namespace plat::fontcore {

// The shear of synthetic italic (x += 0.2 × y, y up), as a 16.16 fixed-point factor so that glyph
// metrics and drawing use the very same value.
constexpr long kItalicShear16 = 13107;
constexpr double kItalicShear = kItalicShear16 / 65536.0;

struct StyledLink {
    const FontFile* file = nullptr;
    ByteMap map = ByteMap::Ansi;
    bool syntheticBold = false;
    bool syntheticItalic = false;
};

// A character's glyph: the link (index into links()) whose font has it, its glyph index there and
// its advance in pixels.
struct GlyphRef {
    int link = 0;
    unsigned glyph = 0;
    int advance = 0;
};

class FontInstance {
public:
    // Null when the catalogue is empty.
    static std::shared_ptr<FontInstance> create(const LOGFONT& logFont);

    const LOGFONT& logFont() const { return m_logFont; }
    const FaceEntry& face() const { return *m_face; }
    int ppem() const { return m_ppem; }
    bool bold() const { return m_bold; }
    bool italic() const { return m_italic; }
    const std::vector<StyledLink>& links() const { return m_links; }
    const TEXTMETRIC& textMetrics() const { return m_metrics; }

    // A character code: a byte, or lead byte × 256 + trail byte.
    GlyphRef glyph(unsigned code) const;
    // The code page the font reads text in: the active one for a font asked for with the default
    // or a double-byte character set, else 1252 (the program's own interface text, which is
    // Windows-1252 whatever the code page, and symbol fonts).
    UINT codePage() const { return m_codePage; }
    // The character codes of a text: one per byte, or one per lead and trail byte pair under the
    // font's double-byte code page (a lead byte at the end stands alone).
    std::vector<unsigned> codes(const char* text, std::size_t count) const;
    // Sum of the advances.
    long extent(const char* text, std::size_t count) const;
    // Black box and advance of a character from its unhinted outline; false when the glyph cannot
    // be loaded.
    bool glyphMetrics(unsigned code, GLYPHMETRICS* metrics) const;

    // Decorations in pixels: the top of the line relative to the baseline (positive downward)
    // and its thickness (at least 1).
    int underlineOffset() const;
    int underlineThickness() const;
    int strikeoutOffset() const;
    int strikeoutThickness() const;

    // Scales a length in font units of the face's own file to pixels, rounding half up.
    int scale(long units) const;

private:
    FontInstance() = default;
    GlyphRef lookUp(unsigned code) const;

    LOGFONT m_logFont;
    const FaceEntry* m_face = nullptr;
    const FontFile* m_primary = nullptr;
    std::vector<StyledLink> m_links;
    int m_ppem = 12;
    bool m_bold = false;
    bool m_italic = false;
    UINT m_codePage = 1252;
    TEXTMETRIC m_metrics;
    bool computeGlyphMetrics(unsigned code, GLYPHMETRICS* metrics) const;

    // Caches: characters are looked up and measured once per font.
    mutable std::array<GlyphRef, 256> m_byteGlyphs{};
    mutable std::array<bool, 256> m_byteKnown{};
    mutable std::unordered_map<unsigned, GlyphRef> m_wideGlyphs;
    mutable std::unordered_map<unsigned, GLYPHMETRICS> m_glyphMetrics;
};

} // namespace plat::fontcore
