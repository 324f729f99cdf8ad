// The symbol encoding table against the symbol font's own glyph names, and its use by the two
// symbol faces.

#include "core/font/FontInstance.h"
#include "plat/Font.h"
#include "support/FontPin.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <string>

namespace kvtest {
namespace {

using plat::fontcore::FontInstance;

const char* const kSymbolsFile = "/usr/share/fonts/opentype/urw-base35/StandardSymbolsPS.otf";
const char* const kDejaVuSerif = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf";
const char* const kDejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

class Faces {
public:
    Faces() { FT_Init_FreeType(&m_lib); }
    ~Faces() {
        for (FT_Face f : m_faces) {
            FT_Done_Face(f);
        }
        FT_Done_FreeType(m_lib);
    }
    Faces(const Faces&) = delete;
    Faces& operator=(const Faces&) = delete;
    FT_Face open(const char* path) {
        FT_Face f = nullptr;
        if (FT_New_Face(m_lib, path, 0, &f) != 0) {
            ADD_FAILURE() << "cannot open " << path;
            return nullptr;
        }
        m_faces.push_back(f);
        return f;
    }

private:
    FT_Library m_lib = nullptr;
    std::vector<FT_Face> m_faces;
};

std::string glyphName(FT_Face face, unsigned glyph) {
    char name[64] = {};
    FT_Get_Glyph_Name(face, glyph, name, sizeof name);
    return name;
}

plat::LOGFONT symbolFont(const char* face, int ppem) {
    plat::LOGFONT lf;
    lf.lfHeight = -ppem;
    lf.lfCharSet = plat::SYMBOL_CHARSET;
    std::strncpy(lf.lfFaceName, face, plat::LF_FACESIZE - 1);
    return lf;
}

TEST(SymbolEncoding, DefinesExactlyThePrintableRanges) {
    std::set<std::string> names;
    for (int b = 0; b < 256; ++b) {
        SCOPED_TRACE(b);
        const plat::SymbolGlyph* g = plat::SymbolEncodingEntry(static_cast<plat::BYTE>(b));
        const bool inRange = (b >= 32 && b <= 126) || (b >= 161 && b <= 254);
        EXPECT_EQ(g != nullptr, inRange);
        if (g != nullptr) {
            EXPECT_EQ(g->code, b);
            ASSERT_NE(g->glyphName, nullptr);
            EXPECT_TRUE(names.insert(g->glyphName).second) << "duplicate name " << g->glyphName;
            EXPECT_NE(g->unicode, 0u);
        }
    }
}

TEST(SymbolEncoding, GreekAndOperatorsHaveTheirUnicodeCharacters) {
    struct Case {
        plat::BYTE code;
        char32_t unicode;
    };
    for (Case c :
         {Case{'a', U'α'}, Case{'b', U'β'}, Case{'p', U'π'}, Case{'f', U'φ'}, Case{'j', U'ϕ'},
          Case{'W', U'Ω'}, Case{'D', U'Δ'}, Case{'S', U'Σ'}, Case{0xB6, U'∂'}, Case{0xE5, U'∑'},
          Case{0xF2, U'∫'}, Case{0xA5, U'∞'}, Case{0xB9, U'≠'}, Case{0xA3, U'≤'}, Case{0xCE, U'∈'},
          Case{0x22, U'∀'}, Case{0x2D, U'−'}, Case{0xD6, U'√'}}) {
        SCOPED_TRACE(static_cast<int>(c.code));
        ASSERT_NE(plat::SymbolEncodingEntry(c.code), nullptr);
        EXPECT_EQ(plat::SymbolEncodingEntry(c.code)->unicode, c.unicode);
    }
}

using SymbolFaces = FontPin;

TEST_F(SymbolFaces, SymbolFaceReachesGlyphsByTheByteItself) {
    Faces faces;
    FT_Face ref = faces.open(kSymbolsFile);
    ASSERT_NE(ref, nullptr);
    auto font = FontInstance::create(symbolFont("Symbol", 20));
    ASSERT_TRUE(font);
    ASSERT_EQ(font->face().name, "Symbol");
    int checked = 0;
    for (int b = 0x20; b <= 0xFE; ++b) {
        const plat::SymbolGlyph* g = plat::SymbolEncodingEntry(static_cast<plat::BYTE>(b));
        const auto ref_glyph = font->glyph(static_cast<unsigned>(b));
        if (g == nullptr || ref_glyph.link != 0) {
            continue;
        }
        SCOPED_TRACE(b);
        // The font's own glyph names agree with the encoding table: the table and the font
        // describe the same encoding.
        EXPECT_EQ(glyphName(ref, ref_glyph.glyph), g->glyphName);
        ++checked;
    }
    EXPECT_GE(checked, 185);
}

TEST_F(SymbolFaces, RudizeMapsThroughTheTableWithFallbacks) {
    Faces faces;
    FT_Face serif = faces.open(kDejaVuSerif);
    FT_Face sans = faces.open(kDejaVuSans);
    FT_Face symbols = faces.open(kSymbolsFile);
    ASSERT_TRUE(serif && sans && symbols);
    auto font = FontInstance::create(symbolFont("Rudize", 20));
    ASSERT_TRUE(font);
    ASSERT_EQ(font->face().name, "Rudize");
    int viaSymbols = 0;
    for (int b = 0x20; b <= 0xFE; ++b) {
        const plat::SymbolGlyph* g = plat::SymbolEncodingEntry(static_cast<plat::BYTE>(b));
        if (g == nullptr) {
            continue;
        }
        SCOPED_TRACE(b);
        const auto got = font->glyph(static_cast<unsigned>(b));
        // The first font of the chain that has the character supplies it.
        if (FT_UInt i = FT_Get_Char_Index(serif, g->unicode)) {
            EXPECT_EQ(got.link, 0);
            EXPECT_EQ(got.glyph, i);
        } else if (FT_UInt j = FT_Get_Char_Index(sans, g->unicode)) {
            EXPECT_EQ(got.link, 1);
            EXPECT_EQ(got.glyph, j);
        } else {
            EXPECT_EQ(got.link, 2);
            EXPECT_EQ(glyphName(symbols, got.glyph), g->glyphName);
            ++viaSymbols;
        }
    }
    // The radical extender has no Unicode character: only the symbol font draws it.
    EXPECT_EQ(font->glyph(0x60).link, 2);
    EXPECT_GE(viaSymbols, 1);
    // Greek comes from the serif face.
    EXPECT_EQ(font->glyph('a').link, 0);
    EXPECT_EQ(font->glyph('a').glyph, FT_Get_Char_Index(serif, U'α'));
}

} // namespace
} // namespace kvtest
