// Metric rules of realised fonts, checked against the font files read directly with FreeType.

#include "core/font/FontInstance.h"

#include "support/CodePageScope.h"
#include "support/FontPin.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include FT_OUTLINE_H
#include FT_BBOX_H

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace kvtest {
namespace {

using plat::fontcore::FontInstance;

// A face opened by the test itself, independently of the engine's catalogue.
class RefFace {
public:
    explicit RefFace(const std::string& path) {
        FT_Init_FreeType(&m_lib);
        if (FT_New_Face(m_lib, path.c_str(), 0, &m_face) != 0) {
            m_face = nullptr;
        }
    }
    ~RefFace() {
        if (m_face != nullptr) {
            FT_Done_Face(m_face);
        }
        FT_Done_FreeType(m_lib);
    }
    RefFace(const RefFace&) = delete;
    RefFace& operator=(const RefFace&) = delete;

    FT_Face face() const { return m_face; }
    int upem() const { return m_face->units_per_EM; }
    const TT_OS2& os2() const {
        return *static_cast<TT_OS2*>(FT_Get_Sfnt_Table(m_face, FT_SFNT_OS2));
    }
    const TT_HoriHeader& hhea() const {
        return *static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(m_face, FT_SFNT_HHEA));
    }
    // Advance of a character in font units, through glyph loading (not the engine's path).
    long advanceUnits(FT_ULong ch) const {
        const FT_UInt g = FT_Get_Char_Index(m_face, ch);
        EXPECT_NE(g, 0u) << "character U+" << std::hex << ch << " missing from the font";
        FT_Load_Glyph(m_face, g, FT_LOAD_NO_SCALE);
        return m_face->glyph->advance.x;
    }
    // The outline's exact bounding box in font units, optionally sheared (x += k × y).
    FT_BBox box(FT_ULong ch, bool shear = false) const {
        const FT_UInt g = FT_Get_Char_Index(m_face, ch);
        FT_Load_Glyph(m_face, g, FT_LOAD_NO_SCALE);
        FT_Outline& o = m_face->glyph->outline;
        if (shear) {
            FT_Matrix m{0x10000, 13107, 0, 0x10000};
            FT_Outline_Transform(&o, &m);
        }
        FT_BBox b{};
        FT_Outline_Get_BBox(&o, &b);
        return b;
    }

private:
    FT_Library m_lib = nullptr;
    FT_Face m_face = nullptr;
};

const std::string kSans = "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf";
const std::string kSansBold = "/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf";
const std::string kSerif = "/usr/share/fonts/truetype/liberation/LiberationSerif-Regular.ttf";
const std::string kMono = "/usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf";
const std::string kNimbusRoman = "/usr/share/fonts/opentype/urw-base35/NimbusRoman-Regular.otf";
const std::string kSymbols = "/usr/share/fonts/opentype/urw-base35/StandardSymbolsPS.otf";
const std::string kDejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

plat::LOGFONT logFont(const char* face, int height, int weight = 400, bool italic = false,
                      plat::BYTE charSet = plat::ANSI_CHARSET, plat::BYTE pitch = 0) {
    plat::LOGFONT lf;
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfItalic = italic ? 1 : 0;
    lf.lfCharSet = charSet;
    lf.lfPitchAndFamily = pitch;
    std::strncpy(lf.lfFaceName, face, plat::LF_FACESIZE - 1);
    return lf;
}

long roundHalfUp(long units, long ppem, long upem) {
    return (units * ppem + upem / 2) / upem;
}

using FontInstanceTest = FontPin;

struct PpemCase {
    const char* face;
    const char* file;
    int lfHeight;
};

TEST_F(FontInstanceTest, PixelsPerEmFollowTheHeightRule) {
    const PpemCase cases[] = {
        {"Arial", kSans.c_str(), -11},       {"Arial", kSans.c_str(), -16},
        {"Arial", kSans.c_str(), 20},        {"Times New Roman", kSerif.c_str(), 33},
        {"Times", kNimbusRoman.c_str(), 17}, {"Symbol", kSymbols.c_str(), 41},
        {"Courier New", kMono.c_str(), 0},   {"Courier New", kMono.c_str(), -250},
    };
    for (const PpemCase& c : cases) {
        SCOPED_TRACE(std::string(c.face) + " lfHeight " + std::to_string(c.lfHeight));
        RefFace ref(c.file);
        ASSERT_NE(ref.face(), nullptr);
        long expected = 12;
        if (c.lfHeight < 0) {
            expected = -c.lfHeight;
        } else if (c.lfHeight > 0) {
            const double cell = ref.os2().usWinAscent + ref.os2().usWinDescent;
            expected = std::lround(c.lfHeight * ref.upem() / cell);
        }
        auto font = FontInstance::create(logFont(c.face, c.lfHeight));
        ASSERT_TRUE(font);
        EXPECT_EQ(font->ppem(), expected);
        EXPECT_EQ(font->textMetrics().tmHeight - font->textMetrics().tmInternalLeading, expected);
    }
}

TEST_F(FontInstanceTest, AdvancesAreScaledHorizontalMetricsWithoutHinting) {
    struct Case {
        const char* face;
        const char* file;
    };
    for (const Case& c :
         {Case{"Arial", kSans.c_str()}, Case{"Times New Roman", kSerif.c_str()},
          Case{"Times", kNimbusRoman.c_str()}, Case{"DejaVu Sans", kDejaVuSans.c_str()}}) {
        RefFace ref(c.file);
        for (int ppem : {7, 11, 13, 16, 29, 100}) {
            SCOPED_TRACE(std::string(c.face) + " at " + std::to_string(ppem));
            auto font = FontInstance::create(logFont(c.face, -ppem));
            ASSERT_TRUE(font);
            for (unsigned ch = 0x21; ch < 0x7F; ++ch) {
                const long expected = roundHalfUp(ref.advanceUnits(ch), ppem, ref.upem());
                ASSERT_EQ(font->glyph(ch).advance, expected) << "byte " << ch;
            }
            // Windows-1252 bytes above 0x7F reach their Unicode characters.
            EXPECT_EQ(font->glyph(0x80).advance,
                      roundHalfUp(ref.advanceUnits(0x20AC), ppem, ref.upem()));
            EXPECT_EQ(font->glyph(0x97).advance,
                      roundHalfUp(ref.advanceUnits(0x2014), ppem, ref.upem()));
            EXPECT_EQ(font->glyph(0xE9).advance,
                      roundHalfUp(ref.advanceUnits(0xE9), ppem, ref.upem()));
        }
    }
}

TEST_F(FontInstanceTest, ExtentsAreTheSumOfAdvancesAndAdditiveOverPrefixes) {
    auto font = FontInstance::create(logFont("Times New Roman", -23));
    ASSERT_TRUE(font);
    const std::string text = "Wavy AV To fi, \x93quoted\x94 na\xEFve \x80 1/2";
    long sum = 0;
    for (unsigned char ch : text) {
        sum += font->glyph(ch).advance;
    }
    EXPECT_EQ(font->extent(text.data(), text.size()), sum); // no kerning of "AV", "To", "fi"
    for (std::size_t k = 0; k <= text.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(font->extent(text.data(), k) + font->extent(text.data() + k, text.size() - k),
                  sum);
    }
    EXPECT_EQ(font->extent(nullptr, 0), 0);
}

TEST_F(FontInstanceTest, TextMetricsComeFromTheTables) {
    struct Case {
        const char* face;
        const char* file;
        plat::BYTE pitchAndFamily;
        plat::BYTE charSet;
    };
    // Family bits | TrueType | vector | 1 for a variable pitch.
    const Case cases[] = {
        {"Arial", kSans.c_str(), 0x20 | 4 | 2 | 1, plat::ANSI_CHARSET},
        {"Times New Roman", kSerif.c_str(), 0x10 | 4 | 2 | 1, plat::ANSI_CHARSET},
        {"Courier New", kMono.c_str(), 0x30 | 4 | 2, plat::ANSI_CHARSET},
        {"Symbol", kSymbols.c_str(), 0x10 | 4 | 2 | 1, plat::SYMBOL_CHARSET},
    };
    for (const Case& c : cases) {
        RefFace ref(c.file);
        for (int ppem : {11, 16, 40}) {
            SCOPED_TRACE(std::string(c.face) + " at " + std::to_string(ppem));
            auto font = FontInstance::create(logFont(c.face, -ppem, 400, false));
            ASSERT_TRUE(font);
            const plat::TEXTMETRIC& tm = font->textMetrics();
            const double upem = ref.upem();
            EXPECT_EQ(tm.tmAscent, std::ceil(ref.os2().usWinAscent * ppem / upem));
            EXPECT_EQ(tm.tmDescent, std::ceil(ref.os2().usWinDescent * ppem / upem));
            EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
            EXPECT_EQ(tm.tmInternalLeading, tm.tmHeight - ppem);
            EXPECT_EQ(tm.tmExternalLeading, std::lround(ref.hhea().Line_Gap * ppem / upem));
            EXPECT_EQ(tm.tmAveCharWidth, std::lround(ref.os2().xAvgCharWidth * ppem / upem));
            EXPECT_EQ(tm.tmOverhang, 0);
            EXPECT_EQ(tm.tmPitchAndFamily, c.pitchAndFamily);
            EXPECT_EQ(tm.tmCharSet, c.charSet);
            EXPECT_EQ(tm.tmWeight, 400);
        }
    }
    auto styled = FontInstance::create(logFont("Arial", -12, 700, true));
    EXPECT_EQ(styled->textMetrics().tmWeight, 700);
    EXPECT_NE(styled->textMetrics().tmItalic, 0);
}

TEST_F(FontInstanceTest, GlyphMetricsComeFromTheUnhintedOutline) {
    RefFace ref(kSans);
    for (int ppem : {12, 37, 100}) {
        auto font = FontInstance::create(logFont("Arial", -ppem));
        for (char ch : {'H', 'g', '.', 'j', 'W', '\xE9'}) {
            SCOPED_TRACE(std::string(1, ch) + " at " + std::to_string(ppem));
            const FT_BBox b = ref.box(static_cast<unsigned char>(ch));
            const double s = static_cast<double>(ppem) / ref.upem();
            const long left = static_cast<long>(std::floor(b.xMin * s));
            const long right = static_cast<long>(std::ceil(b.xMax * s));
            const long bottom = static_cast<long>(std::floor(b.yMin * s));
            const long top = static_cast<long>(std::ceil(b.yMax * s));
            plat::GLYPHMETRICS gm;
            ASSERT_TRUE(font->glyphMetrics(static_cast<unsigned char>(ch), &gm));
            EXPECT_EQ(gm.gmptGlyphOrigin.x, left);
            EXPECT_EQ(gm.gmptGlyphOrigin.y, top);
            EXPECT_EQ(static_cast<long>(gm.gmBlackBoxX), right - left);
            EXPECT_EQ(static_cast<long>(gm.gmBlackBoxY), top - bottom);
            EXPECT_EQ(gm.gmCellIncX, font->glyph(static_cast<unsigned char>(ch)).advance);
            EXPECT_EQ(gm.gmCellIncY, 0);
        }
    }
    // Shape sanity that no formula can share with the code: "H" stands on the baseline, "g"
    // descends below it.
    auto font = FontInstance::create(logFont("Arial", -40));
    plat::GLYPHMETRICS h, g;
    font->glyphMetrics('H', &h);
    font->glyphMetrics('g', &g);
    EXPECT_EQ(static_cast<long>(h.gmBlackBoxY), h.gmptGlyphOrigin.y);
    EXPECT_GT(static_cast<long>(g.gmBlackBoxY), g.gmptGlyphOrigin.y);
}

TEST_F(FontInstanceTest, BlankGlyphHasAnEmptyBoxAtThePen) {
    for (const char* face : {"Arial", "Times", "Symbol", "Rudize"}) {
        SCOPED_TRACE(face);
        auto font = FontInstance::create(logFont(face, -30));
        plat::GLYPHMETRICS gm;
        gm.gmBlackBoxX = 99;
        gm.gmptGlyphOrigin.x = 99;
        ASSERT_TRUE(font->glyphMetrics(' ', &gm));
        EXPECT_EQ(gm.gmBlackBoxX, 0u);
        EXPECT_EQ(gm.gmBlackBoxY, 0u);
        EXPECT_EQ(gm.gmptGlyphOrigin.x, 0);
        EXPECT_EQ(gm.gmptGlyphOrigin.y, 0);
        EXPECT_GT(gm.gmCellIncX, 0);
    }
}

TEST_F(FontInstanceTest, RealStyleFilesAreUsedWhenTheyExist) {
    RefFace bold(kSansBold);
    auto font = FontInstance::create(logFont("Arial", -20, 700));
    ASSERT_TRUE(font);
    EXPECT_FALSE(font->links().front().syntheticBold);
    EXPECT_EQ(font->links().front().file->path, kSansBold);
    EXPECT_EQ(font->glyph('m').advance, roundHalfUp(bold.advanceUnits('m'), 20, bold.upem()));
    auto italic = FontInstance::create(logFont("Times", -20, 400, true));
    EXPECT_FALSE(italic->links().front().syntheticItalic);
    EXPECT_TRUE(italic->links().front().file->italic);
}

TEST_F(FontInstanceTest, SyntheticBoldAddsOnePixelToAdvanceAndBox) {
    // The symbol font has no bold file.
    auto regular = FontInstance::create(logFont("Symbol", -24, 400));
    auto bold = FontInstance::create(logFont("Symbol", -24, 700));
    ASSERT_TRUE(regular && bold);
    EXPECT_TRUE(bold->links().front().syntheticBold);
    for (unsigned ch : {unsigned{'a'}, unsigned{'b'}, unsigned{'S'}, 0xE5u, 0xF2u, unsigned{' '}}) {
        SCOPED_TRACE(ch);
        EXPECT_EQ(bold->glyph(ch).advance, regular->glyph(ch).advance + 1);
        plat::GLYPHMETRICS r, b;
        ASSERT_TRUE(regular->glyphMetrics(ch, &r));
        ASSERT_TRUE(bold->glyphMetrics(ch, &b));
        if (r.gmBlackBoxX != 0) {
            EXPECT_EQ(b.gmBlackBoxX, r.gmBlackBoxX + 1);
            EXPECT_EQ(b.gmptGlyphOrigin.x, r.gmptGlyphOrigin.x);
            EXPECT_EQ(b.gmBlackBoxY, r.gmBlackBoxY);
        }
    }
    const char text[] = "abc";
    EXPECT_EQ(bold->extent(text, 3), regular->extent(text, 3) + 3);
}

TEST_F(FontInstanceTest, SyntheticItalicShearsTheOutlineAndKeepsTheAdvance) {
    // DejaVu has no italic files: italic is a 0.2 shear.
    RefFace ref(kDejaVuSans);
    auto roman = FontInstance::create(logFont("DejaVu Sans", -50));
    auto italic = FontInstance::create(logFont("DejaVu Sans", -50, 400, true));
    ASSERT_TRUE(roman && italic);
    EXPECT_TRUE(italic->links().front().syntheticItalic);
    for (char ch : {'l', 'H', 'o', 'g'}) {
        SCOPED_TRACE(std::string(1, ch));
        EXPECT_EQ(italic->glyph(ch).advance, roman->glyph(ch).advance);
        const FT_BBox b = ref.box(static_cast<unsigned char>(ch), true);
        const double s = 50.0 / ref.upem();
        plat::GLYPHMETRICS gm;
        ASSERT_TRUE(italic->glyphMetrics(static_cast<unsigned char>(ch), &gm));
        EXPECT_EQ(gm.gmptGlyphOrigin.x, std::floor(b.xMin * s));
        EXPECT_EQ(static_cast<double>(gm.gmptGlyphOrigin.x + static_cast<long>(gm.gmBlackBoxX)),
                  std::ceil(b.xMax * s));
    }
    // The letter "l" is a plain bar: sheared, its box widens by a fifth of its height.
    plat::GLYPHMETRICS r, i;
    roman->glyphMetrics('l', &r);
    italic->glyphMetrics('l', &i);
    EXPECT_NEAR(static_cast<double>(i.gmBlackBoxX) - r.gmBlackBoxX, 0.2 * r.gmBlackBoxY, 2.0);
}

struct ResolveCase {
    const char* name;
    plat::BYTE charSet;
    plat::BYTE pitchAndFamily;
    const char* expected;
};

TEST_F(FontInstanceTest, UnknownFacesResolveByFamilyBitsAndCharset) {
    const ResolveCase cases[] = {
        {"Arial", plat::ANSI_CHARSET, 0, "Arial"},
        {"aRIAL", plat::ANSI_CHARSET, 0, "Arial"},
        {"Times", plat::ANSI_CHARSET, 0, "Times"},
        {"Garamond", plat::ANSI_CHARSET, plat::FF_ROMAN | plat::VARIABLE_PITCH, "Times New Roman"},
        {"Verdana", plat::ANSI_CHARSET, plat::FF_SWISS, "Arial"},
        {"Lucida Console", plat::ANSI_CHARSET, plat::FF_MODERN | plat::FIXED_PITCH, "Courier New"},
        {"Fancy", plat::ANSI_CHARSET, plat::FF_DECORATIVE, "DejaVu Sans"},
        {"Script", plat::ANSI_CHARSET, plat::FF_SCRIPT, "DejaVu Sans"},
        {"", plat::ANSI_CHARSET, plat::FF_DONTCARE, "DejaVu Sans"},
        {"Wingbats", plat::SYMBOL_CHARSET, plat::FF_ROMAN, "Symbol"},
        {"Rudize", plat::SYMBOL_CHARSET, 0, "Rudize"},
    };
    for (const ResolveCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto font =
            FontInstance::create(logFont(c.name, -12, 400, false, c.charSet, c.pitchAndFamily));
        ASSERT_TRUE(font);
        EXPECT_EQ(font->face().name, c.expected);
    }
    // A face name filling all 32 bytes without a terminator is read safely.
    plat::LOGFONT lf = logFont("", -12);
    std::memset(lf.lfFaceName, 'A', sizeof lf.lfFaceName);
    auto font = FontInstance::create(lf);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->face().name, "DejaVu Sans");
}

// Under a double-byte code page a font asked for with the default character set reads lead and
// trail bytes as one character and draws it from the system's font for the language; a font asked
// for as Windows-1252 (the interface's menus and dialogs) keeps reading single bytes.
TEST_F(FontInstanceTest, DoubleByteCharactersComeFromTheLanguageFont) {
    CodePageScope restore;
    ASSERT_TRUE(plat::SetActiveCodePage(932));
    const char text[] = "a\x88\x9f"
                        "b\x88";
    auto font = FontInstance::create(logFont("Arial", -20, 400, false, plat::DEFAULT_CHARSET));
    ASSERT_TRUE(font);
    EXPECT_EQ(font->codes(text, 5), (std::vector<unsigned>{'a', 0x889F, 'b', 0x88}));
    // 亜 is in no face of the catalogue: it comes from the last link, the Japanese font.
    const auto wide = font->glyph(0x889F);
    ASSERT_EQ(static_cast<std::size_t>(wide.link) + 1, font->links().size());
    EXPECT_NE(wide.glyph, 0u);
    FT_Face face = font->links().back().file->face;
    EXPECT_NE(FT_Get_Char_Index(face, U'亜'), 0u) << font->links().back().file->path;
    EXPECT_EQ(wide.glyph, FT_Get_Char_Index(face, U'亜'));
    EXPECT_EQ(font->glyph('a').link, 0);
    EXPECT_EQ(font->extent(text, 5), font->glyph('a').advance + wide.advance +
                                         font->glyph('b').advance + font->glyph(0x88).advance);
    plat::GLYPHMETRICS gm;
    ASSERT_TRUE(font->glyphMetrics(0x889F, &gm));
    EXPECT_EQ(gm.gmCellIncX, wide.advance);
    EXPECT_GT(gm.gmBlackBoxX, 1u); // an outline, not an empty box

    auto ansi = FontInstance::create(logFont("Arial", -20));
    ASSERT_TRUE(ansi);
    EXPECT_EQ(ansi->codes(text, 5), (std::vector<unsigned>{'a', 0x88, 0x9F, 'b', 0x88}));
    EXPECT_EQ(ansi->links().size() + 1, font->links().size());
    EXPECT_NE(ansi->glyph(0x9F).glyph, 0u); // Windows-1252 Ÿ
}

TEST_F(FontInstanceTest, SizesAreBoundedAndNeverZero) {
    auto tiny = FontInstance::create(logFont("Arial", 1));
    ASSERT_TRUE(tiny);
    EXPECT_GE(tiny->ppem(), 1);
    auto huge = FontInstance::create(logFont("Arial", -2147483647 - 1));
    ASSERT_TRUE(huge);
    EXPECT_GT(huge->ppem(), 1000);
    EXPECT_LE(huge->ppem(), 16384);
    plat::GLYPHMETRICS gm;
    ASSERT_TRUE(huge->glyphMetrics('W', &gm));
    EXPECT_GT(gm.gmCellIncX, 0); // fits the 16-bit field
}

} // namespace
} // namespace kvtest
