// The font manager and the font table: faces and roles, the table's keys and its bound on live
// GDI fonts, the metric words, and text measured and drawn through ports on the pinned fonts.

#include "OverPc/PFONTS.h"

#include "ErrorFixture.h"
#include "OverPc/PGRAPHIC.h"
#include "OverPc/Portdc.h"
#include "OverPc/oPixMap.h"
#include "OverSrcs/oWindows.h"
#include "plat/Font.h"
#include "plat/Gdi.h"
#include "support/BitmapPort.h"
#include "support/FontPin.h"
#include "support/Golden.h"

#include <algorithm>
#include <cairo.h>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using kvtest::BitmapPort;

namespace {

// ---------------------------------------------------------------------------------------------
// Helpers measuring and drawing with fonts made here, independently of the font table.

// The em of a font of `points` at `resolution`, rounded up as the font table makes it.
int32_t EmFor(int32_t points, int32_t resolution) {
    return (points * resolution + 15) / 16;
}

plat::HFONT MakeFont(const char* face, int32_t ppem, int32_t style, plat::BYTE charSet) {
    plat::LOGFONT lf;
    lf.lfHeight = -ppem;
    lf.lfWeight = (style & kFontStyleBold) ? plat::FW_BOLD : plat::FW_NORMAL;
    lf.lfItalic = (style & kFontStyleItalic) ? 1 : 0;
    lf.lfUnderline = (style & kFontStyleUnderline) ? 1 : 0;
    lf.lfCharSet = charSet;
    std::strncpy(lf.lfFaceName, face, plat::LF_FACESIZE - 1);
    return plat::CreateFontIndirect(&lf);
}

// Advances of every prefix of the text in a font made here.
std::vector<int32_t> PrefixWidths(plat::HFONT font, const std::string& text) {
    plat::HDC dc = plat::CreateDC("DISPLAY", nullptr, nullptr, nullptr);
    plat::HGDIOBJ old = plat::SelectObject(dc, font);
    std::vector<int32_t> widths{0};
    for (size_t n = 1; n <= text.size(); ++n) {
        plat::SIZE size{};
        plat::GetTextExtentPoint(dc, text.data(), static_cast<int>(n), &size);
        widths.push_back(size.cx);
    }
    plat::SelectObject(dc, old);
    plat::DeleteDC(dc);
    return widths;
}

// How far the last glyph's ink may pass a measured zone. The zone widens by the amount the
// glyph's box is wider than its advance (moved left by a box start left of the pen), but not by a
// box start right of the pen.
int32_t LastGlyphSlack(plat::HFONT font, const std::string& text) {
    plat::HDC dc = plat::CreateDC("DISPLAY", nullptr, nullptr, nullptr);
    plat::HGDIOBJ old = plat::SelectObject(dc, font);
    plat::GLYPHMETRICS gm{};
    const plat::MAT2 identity;
    plat::GetGlyphOutline(dc, static_cast<uint8_t>(text.back()), plat::GGO_METRICS, &gm, 0, nullptr,
                          &identity);
    plat::SelectObject(dc, old);
    plat::DeleteDC(dc);
    const int32_t box = static_cast<int32_t>(gm.gmBlackBoxX);
    const int32_t start = gm.gmptGlyphOrigin.x;
    if (start <= 0)
        return 0;
    return std::max<int32_t>(0, start + box - std::max<int32_t>(gm.gmCellIncX, box));
}

int32_t LiveFontCount() {
    int32_t live = 0;
    for (int32_t i = 0; i < FontTableCount(); ++i)
        live += FontRecordAt(i)->font != nullptr ? 1 : 0;
    return live;
}

plat::LOGFONT Face(const char* name, plat::BYTE charSet, plat::BYTE pitchAndFamily) {
    plat::LOGFONT lf;
    lf.lfCharSet = charSet;
    lf.lfPitchAndFamily = pitchAndFamily;
    std::strncpy(lf.lfFaceName, name, plat::LF_FACESIZE - 1);
    return lf;
}

class FontManagerTest : public kvtest::ErrorFixture {
protected:
    void SetUp() override {
        ErrorFixture::SetUp();
        ASSERT_EQ(kvtest::PinnedFontProblems(), "");
        InstallPortDeviceHooks();
        RudizeSetting = 0;
        SymbolFaceReplacement = {};
        MinimumFontSize = 4;
        NewFontManager(21);
        InitFontTable();
    }
    void TearDown() override {
        DeleteFontManager();
        RudizeSetting = 0;
        SymbolFaceReplacement = {};
        MinimumFontSize = 4;
        plat::SetActiveCodePage(1252);
        ErrorFixture::TearDown();
    }

    // Installs a manager holding only the given faces, with its roles resolved.
    void useFaces(const std::vector<plat::LOGFONT>& faces) {
        auto manager = std::make_unique<FontManager>();
        for (const plat::LOGFONT& lf : faces)
            FontEnumProc(&lf, nullptr, plat::TRUETYPE_FONTTYPE,
                         reinterpret_cast<plat::LPARAM>(manager.get()));
        manager->initOSFonts();
        InstallFontManager(std::move(manager));
        InitFontTable();
    }

    static int32_t id(const char* name) { return TheFontManager()->idOfName(name); }
};

// ---------------------------------------------------------------------------------------------
// Faces and roles

TEST_F(FontManagerTest, FacesAreListedInBytewiseOrderWithIdsFromOne) {
    FontManager& m = *TheFontManager();
    ASSERT_GE(m.faceCount(), 11);
    std::vector<std::string> names;
    for (int32_t i = 0; i < m.faceCount(); ++i) {
        char name[kFontFaceNameSize];
        FaceNameAtPosition(i, name);
        names.push_back(name);
        EXPECT_EQ(m.findFace(name), i);
        EXPECT_GE(m.idOfName(name), 1) << name;
        EXPECT_STREQ(m.faceEntry(i)->lfFaceName, name);
    }
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    // A shorter name comes before a longer one that it starts.
    EXPECT_LT(m.findFace("Times"), m.findFace("Times New Roman"));
    EXPECT_LT(m.findFace("Courier"), m.findFace("Courier New"));
    char name[kFontFaceNameSize];
    FaceNameAtPosition(m.faceCount(), name);
    EXPECT_STREQ(name, "???");
    FaceNameAtPosition(-1, name);
    EXPECT_STREQ(name, "???");
    EXPECT_EQ(m.faceEntry(m.faceCount()), nullptr);
    EXPECT_EQ(m.findFace("No Such Face"), -1);
    EXPECT_EQ(m.symbolFallback(), id("Rudize")); // the first symbol face enumerated
}

TEST_F(FontManagerTest, RolesResolveToTheCatalogueFaces) {
    const FontManager& m = *TheFontManager();
    // Stock fonts of the platform are all Arial; roles with a face list take their first face.
    EXPECT_EQ(m.osFont(0), id("Arial"));
    EXPECT_EQ(m.osFont(1), id("Courier New"));
    EXPECT_EQ(m.osFont(2), id("Arial"));
    EXPECT_EQ(m.osFont(3), 0);
    EXPECT_EQ(m.osFont(4), id("Arial"));
    EXPECT_EQ(m.osFont(5), id("Times New Roman"));
    EXPECT_EQ(m.osFont(6), id("Arial"));
}

TEST_F(FontManagerTest, FaceNamesResolveThroughTheRoles) {
    struct Case {
        const char* name;
        const char* face;
    } cases[] = {{"Times", "Times"},          {"Helv", "Arial"},    {"Georgia", "Times New Roman"},
                 {"Terminal", "Courier New"}, {"Rudize", "Rudize"}, {"No Such Face", "Arial"},
                 {"times new roman", "Arial"}}; // names compare case-sensitively
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FaceIdOfName(c.name), id(c.face));
    }
    EXPECT_EQ(FaceIdOfName(nullptr), id("Arial"));
}

TEST_F(FontManagerTest, SymbolFacesFallBackWhenNotInstalled) {
    // "Rudize" missing: the name goes to "Symbol".
    useFaces({Face("Arial", plat::ANSI_CHARSET, 0x22), Face("Symbol", plat::SYMBOL_CHARSET, 0x12)});
    EXPECT_EQ(FaceIdOfName("Rudize"), id("Symbol"));
    RudizeSetting = 1;
    EXPECT_EQ(SymbolFontId(), id("Symbol"));

    // Neither: the first symbol face found stands in, and "Symbol" itself means the default face.
    useFaces({Face("Arial", plat::ANSI_CHARSET, 0x22), Face("Dingbats", plat::SYMBOL_CHARSET, 0),
              Face("Marks", plat::SYMBOL_CHARSET, 0)});
    EXPECT_EQ(SymbolFontId(), id("Dingbats"));
    EXPECT_EQ(FaceIdOfName("Rudize"), id("Dingbats"));
    EXPECT_EQ(FaceIdOfName("Symbol"), id("Arial"));

    // No symbol face at all: the default face, never an id that names nothing.
    useFaces({Face("Arial", plat::ANSI_CHARSET, 0x22)});
    EXPECT_EQ(SymbolFontId(), id("Arial"));
    const int32_t index = FontIndexForRole('s');
    ASSERT_GE(index, 0);
    EXPECT_NE(FontRecordAt(index)->font, nullptr);
}

TEST_F(FontManagerTest, ThePitchMatchTakesTheLastFace) {
    // No sans face by name: both faces carry the role's pitch-and-family value.
    useFaces({Face("Alpha", plat::ANSI_CHARSET, 0x0C), Face("Beta", plat::ANSI_CHARSET, 0x0C),
              Face("Gamma", plat::ANSI_CHARSET, 0x22)});
    EXPECT_EQ(TheFontManager()->osFont(5), id("Beta"));
    // Without a face by name, by stock font or by pitch, a role takes the default face.
    useFaces({Face("Gamma", plat::ANSI_CHARSET, 0x22)});
    EXPECT_EQ(TheFontManager()->osFont(5), TheFontManager()->osFont(0));
    EXPECT_EQ(TheFontManager()->osFont(0), id("Arial"));
}

TEST_F(FontManagerTest, EnumerationKeepsIdsAndOutlineFacesReplaceEntries) {
    FontManager m;
    const plat::LOGFONT first = Face("Face", plat::ANSI_CHARSET, 0x12);
    plat::LOGFONT second = Face("Face", plat::ANSI_CHARSET, 0x22);
    const auto data = reinterpret_cast<plat::LPARAM>(&m);
    EXPECT_EQ(FontEnumProc(&first, nullptr, plat::RASTER_FONTTYPE, data), 1);
    EXPECT_EQ(FontEnumProc(&second, nullptr, plat::RASTER_FONTTYPE, data), 1);
    EXPECT_EQ(m.faceOfId(1)->lfPitchAndFamily, 0x12); // a raster face never replaces
    FontEnumProc(&second, nullptr, plat::TRUETYPE_FONTTYPE, data);
    EXPECT_EQ(m.faceOfId(1)->lfPitchAndFamily, 0x22);
    EXPECT_EQ(m.faceCount(), 1);
    EXPECT_EQ(m.lastFaceId(), 1);
    EXPECT_EQ(m.symbolFallback(), -1);
}

TEST_F(FontManagerTest, ScriptClassesFollowTheCharacterSet) {
    useFaces({Face("Arial", plat::ANSI_CHARSET, 0x22), Face("Symbol", plat::SYMBOL_CHARSET, 0x12),
              Face("Kana", plat::SHIFTJIS_CHARSET, 0), Face("Cyr", plat::RUSSIAN_CHARSET, 0),
              Face("Oem", plat::OEM_CHARSET, 0), Face("Greek", 161, 0)});
    struct Case {
        const char* name;
        char expected;
    } cases[] = {
        {"Arial", 'i'}, {"Symbol", 's'}, {"Rudize", 's'}, {"Kana", 'f'},   {"Cyr", 'f'},
        {"Oem", '?'},   {"Greek", '?'},  {"?Arial", '?'}, {"Unknown", 'i'}}; // an unknown name is
                                                                             // drawn in the default
                                                                             // face
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FaceScriptClass(c.name), c.expected);
    }
    EXPECT_EQ(FaceScriptClass(nullptr), '?');
}

TEST_F(FontManagerTest, CharacterClasses) {
    for (int c = 0; c < 128; ++c) {
        SCOPED_TRACE(c);
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        const bool digit = (c >= '0' && c <= '9') || c == '@' || c == '`';
        const int expected = letter ? 0 : digit ? 1 : (c == ' ' || c == '\t') ? 3 : 2;
        EXPECT_EQ(CharClassOf(static_cast<unsigned char>(c)), expected);
    }
    EXPECT_EQ(CharClassOf(0xE9), 0); // é
    EXPECT_EQ(CharClassOf(0xC6), 0); // Æ
    EXPECT_EQ(CharClassOf(0xD7), 2); // ×
    EXPECT_EQ(CharClassOf(0xA7), 2); // §
}

TEST_F(FontManagerTest, MissingCharacterTablesFallBackToTheShippedOnes) {
    // A resource file without the font tables: the manager logs and keeps working alike.
    plat::ResourceTables empty;
    plat::RegisterBuiltinResources(empty);
    NewFontManager(21);
    InitFontTable();
    EXPECT_NE(std::string(LoggedInformation()).find("overhang table missing"), std::string::npos);
    EXPECT_EQ(CharClassOf('a'), 0);
    EXPECT_EQ(CharClassOf(' '), 3);
    EXPECT_EQ(TheFontManager()->overhangUnits('T'), 2);
    EXPECT_EQ(TheFontManager()->overhangUnits('A'), 0);
    EXPECT_EQ(TheFontManager()->overhangUnits('x'), 1);
}

TEST_F(FontManagerTest, OverhangTableIsTheShippedResource) {
    const FontManager& m = *TheFontManager();
    const std::string none = "AL_bhk\x7f";
    const std::string lean = "FPTVWYfvw";
    for (int c = 0; c < 256; ++c) {
        SCOPED_TRACE(c);
        const char ch = static_cast<char>(c);
        const int expected = none.find(ch) != std::string::npos   ? 0
                             : lean.find(ch) != std::string::npos ? 2
                                                                  : 1;
        EXPECT_EQ(m.overhangUnits(static_cast<uint8_t>(c)), expected);
    }
    EXPECT_EQ(std::string(LoggedInformation()), "");
}

// ---------------------------------------------------------------------------------------------
// The font table

TEST_F(FontManagerTest, TheDefaultFontOpensTheTable) {
    EXPECT_EQ(DefaultFontIndex(), 0);
    EXPECT_EQ(FontTableCount(), 1);
    EXPECT_EQ(FontTableCapacity(), 8);
    const FontRecord& r = *FontRecordAt(0);
    EXPECT_EQ(r.key.faceId, id("Arial"));
    EXPECT_EQ(r.key.size, 12);
    EXPECT_NE(r.font, nullptr);
    // 12 points at 21: em 16, h 18, d 5; the line height is h + d / 2.
    EXPECT_EQ(DefaultLineHeight(), 20);
}

TEST_F(FontManagerTest, MetricWordsScaleTheNominalSize) {
    struct Case {
        int32_t points;
        int32_t resolution;
        FontMetricWords words;
    } cases[] = {
        {12, 16, {13, 10, 3, 14, 6, 3}},      // em 12, h = 12 + 1, d = 15 / 4
        {12, 21, {18, 13, 5, 20, 9, 5}},      // em 16, h = 16 + 2, d = 20 / 4
        {10, 21, {14, 10, 4, 16, 7, 4}},      // em 13, h = 13 + 1, d = 16 / 4
        {36, 42, {106, 79, 27, 119, 53, 27}}, // em 95, h = 95 + 11, d = 108 / 4
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.points << " at " << c.resolution);
        const int32_t index = FontIndexForFace("Times New Roman", c.points, false, false, false);
        const FontMetricWords w = FontMetricsFor(index, c.resolution);
        EXPECT_EQ(w.lineHeight, c.words.lineHeight);
        EXPECT_EQ(w.ascent, c.words.ascent);
        EXPECT_EQ(w.descent, c.words.descent);
        EXPECT_EQ(w.lineSpacing, c.words.lineSpacing);
        EXPECT_EQ(w.halfHeight, c.words.halfHeight);
        EXPECT_EQ(w.quarterHeight, c.words.quarterHeight);
        EXPECT_EQ(FontRecordAt(index)->metricsResolution, c.resolution);
        // The port asks the same through the installed measurer.
        oMeasurePort port(c.resolution, 0);
        FontMetricWords fromPort;
        port.fontMetrics(index, fromPort);
        EXPECT_EQ(fromPort.lineSpacing, c.words.lineSpacing);
    }
}

TEST_F(FontManagerTest, FontsAreMadeWithTheLayoutEm) {
    struct Case {
        const char* face;
        int32_t points;
        int32_t style;
        int32_t resolution;
    } cases[] = {{"Arial", 12, 0, 16},  {"Arial", 12, 0, 21},      {"Times", 10, 1, 21},
                 {"Symbol", 11, 2, 21}, {"Courier New", 9, 3, 16}, {"Times New Roman", 7, 4, 42}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.face << " " << c.points << " at " << c.resolution);
        const int32_t index =
            FontIndexForFace(c.face, c.points, c.style & 1, c.style & 2, c.style & 4);
        ASSERT_TRUE(EnsureFontFor(index, c.resolution, 0));
        plat::LOGFONT lf;
        ASSERT_GT(plat::GetObject(FontRecordAt(index)->font, sizeof lf, &lf), 0);
        EXPECT_EQ(lf.lfHeight, -EmFor(c.points, c.resolution));
        EXPECT_STREQ(lf.lfFaceName, c.face);
        EXPECT_EQ(lf.lfWeight, (c.style & 1) ? plat::FW_BOLD : plat::FW_NORMAL);
        EXPECT_EQ(lf.lfItalic != 0, (c.style & 2) != 0);
        EXPECT_EQ(lf.lfUnderline != 0, (c.style & 4) != 0);
        EXPECT_EQ(lf.lfCharSet,
                  std::strcmp(c.face, "Symbol") == 0 ? plat::SYMBOL_CHARSET : plat::ANSI_CHARSET);
        EXPECT_TRUE(FontRecordAt(index)->isTrueType());
    }
}

TEST_F(FontManagerTest, OneRecordServesEveryResolution) {
    const int32_t a = FontIndexForFace("Arial", 14, false, true, false);
    EXPECT_EQ(FontIndexForFace("Arial", 14, false, true, false), a);
    EXPECT_NE(FontIndexForFace("Arial", 14, true, true, false), a);
    EXPECT_NE(FontIndexForFace("Arial", 15, false, true, false), a);
    EXPECT_NE(FontIndexForFace("Times", 14, false, true, false), a);
    const int32_t count = FontTableCount();

    ASSERT_TRUE(EnsureFontFor(a, 16, 0));
    const int32_t heightAt16 = FontRecordAt(a)->metrics.height;
    ASSERT_TRUE(EnsureFontFor(a, 42, 0));
    EXPECT_EQ(FontRecordAt(a)->key.resolution, 42);
    EXPECT_GT(FontRecordAt(a)->metrics.height, 2 * heightAt16);
    ASSERT_TRUE(EnsureFontFor(a, 16, 0));
    EXPECT_EQ(FontRecordAt(a)->metrics.height, heightAt16);
    EXPECT_EQ(FontTableCount(), count);
    // Remaking a font replaces it: the number of live fonts stays.
    EXPECT_EQ(LiveFontCount(), count);
}

TEST_F(FontManagerTest, SizesAreRaisedToTheMinimum) {
    MinimumFontSize = 6;
    const int32_t small = FontIndexForFace("Arial", 2, false, false, false);
    EXPECT_EQ(FontIndexForFace("Arial", 6, false, false, false), small);
    FontDesc desc;
    FontDescOfIndex(small, desc);
    EXPECT_STREQ(desc.faceName, "Arial");
    EXPECT_EQ(desc.size, 6);

    const int32_t styled = FontIndexForFace("Times", 11, true, false, true);
    FontDescOfIndex(styled, desc);
    EXPECT_STREQ(desc.faceName, "Times");
    EXPECT_EQ(desc.size, 11);
    EXPECT_EQ(desc.bold, 1);
    EXPECT_EQ(desc.italic, 0);
    EXPECT_EQ(desc.underline, 1);
    EXPECT_EQ(FontIndexForDesc(desc), styled);

    // A face id that names no face (kept across a rebuild): the description names the sans
    // face, and the font is made in the default face rather than not at all.
    FontKey stale;
    stale.faceId = 999;
    stale.size = 10;
    const int32_t orphan = FontTableLookup(stale, 10);
    FontDescOfIndex(orphan, desc);
    EXPECT_STREQ(desc.faceName, "Arial");
    EXPECT_TRUE(EnsureFontFor(orphan, 21, 0));
    EXPECT_NE(std::string(LoggedInformation()).find("unknown face"), std::string::npos);

    FontDescOfIndex(FontTableCount() + 3, desc);
    EXPECT_EQ(desc.size, 0);
    EXPECT_STREQ(desc.faceName, "");
}

TEST_F(FontManagerTest, AtMostTheBoundOfFontsStayAlive) {
    // Distinct records (the default font is Arial) until every live font slot is taken.
    std::vector<int32_t> made{DefaultFontIndex()};
    for (int32_t size = 5; static_cast<int32_t>(made.size()) < kMaxLiveFonts; ++size)
        for (int style = 0; style < 4 && static_cast<int32_t>(made.size()) < kMaxLiveFonts; ++style)
            made.push_back(FontIndexForFace("Courier New", size, style & 1, style & 2, false));
    ASSERT_EQ(FontTableCount(), kMaxLiveFonts);
    EXPECT_EQ(LiveFontCount(), kMaxLiveFonts);
    for (int32_t index : made)
        EXPECT_NE(FontRecordAt(index)->font, nullptr);

    const int32_t extra = FontIndexForFace("Times", 12, false, false, false);
    EXPECT_NE(FontRecordAt(extra)->font, nullptr);
    EXPECT_EQ(LiveFontCount(), kMaxLiveFonts);
    // The oldest font, the default one, went; the record stays and keeps its key.
    EXPECT_EQ(FontRecordAt(made[0])->font, nullptr);
    EXPECT_EQ(FontRecordAt(made[0])->key.size, 12);
    EXPECT_NE(FontRecordAt(made[1])->font, nullptr);
    EXPECT_EQ(TheFontManager()->creationOrder().front(), extra);
    EXPECT_EQ(TheFontManager()->creationOrder().back(), made[1]);

    // Using the record again makes its font anew and lets the next oldest go.
    oMeasurePort port(21, 0);
    EXPECT_GT(port.stringWidth("Text", made[0]), 0);
    EXPECT_NE(FontRecordAt(made[0])->font, nullptr);
    EXPECT_EQ(FontRecordAt(made[1])->font, nullptr);
    EXPECT_EQ(LiveFontCount(), kMaxLiveFonts);
    EXPECT_EQ(TheFontManager()->highestFontIndex(), FontTableCount() - 1);
}

TEST_F(FontManagerTest, TheSymbolReplacementIsEnteredOnce) {
    RudizeSetting = 1;
    SymbolFaceReplacement = {static_cast<int16_t>(id("Symbol")),
                             static_cast<int16_t>(id("Rudize"))};
    const int32_t count = FontTableCount();
    const int32_t first = FontIndexForFace("Symbol", 12, false, false, false);
    EXPECT_EQ(FontRecordAt(first)->key.faceId, id("Rudize"));
    EXPECT_EQ(FontIndexForFace("Symbol", 12, false, false, false), first);
    EXPECT_EQ(FontIndexForFace("Rudize", 12, false, false, false), first);
    EXPECT_EQ(FontTableCount(), count + 1);
    EXPECT_EQ(FontRecordAt(FontIndexForRole('s'))->key.faceId, id("Rudize"));

    RudizeSetting = 0;
    const int32_t plain = FontIndexForFace("Symbol", 12, false, false, false);
    EXPECT_NE(plain, first);
    EXPECT_EQ(FontRecordAt(plain)->key.faceId, id("Symbol"));
}

TEST_F(FontManagerTest, RecentAnswersFollowTheSettingsAndTheTable) {
    const auto sizeOf = [](int32_t index) { return FontRecordAt(index)->key.size; };
    EXPECT_EQ(sizeOf(FontIndexForFace("Arial", 3, false, false, false)), 4);
    uint32_t epoch = FontIndexEpoch();
    EXPECT_EQ(sizeOf(FontIndexForFace("Arial", 3, false, false, false)), 4);
    EXPECT_EQ(FontIndexEpoch(), epoch);
    MinimumFontSize = 8;
    EXPECT_NE(FontIndexEpoch(), epoch);
    EXPECT_EQ(sizeOf(FontIndexForFace("Arial", 3, false, false, false)), 8);
    // Only the first 31 bytes of a face name count.
    const std::string longName = "Times New Roman" + std::string(40, 'x');
    const int32_t times = FontIndexForFace(longName.c_str(), 12, false, false, false);
    EXPECT_EQ(FontIndexForFace((longName + "y").c_str(), 12, false, false, false), times);
    EXPECT_NE(FontIndexForFace("Times New Roman", 12, false, false, false), times);

    // A record whose font was let go gets it back when it is asked for again.
    const int32_t asked = FontIndexForFace("Times", 9, false, false, false);
    epoch = FontIndexEpoch();
    for (int32_t size = 5; FontRecordAt(asked)->font != nullptr; ++size) {
        FontKey key;
        key.faceId = id("Arial");
        key.size = size;
        key.resolution = 21;
        FontCacheFill(TheFontManager(), key, FontTableLookup(key, size));
    }
    EXPECT_NE(FontIndexEpoch(), epoch);
    EXPECT_EQ(FontIndexForFace("Times", 9, false, false, false), asked);
    EXPECT_NE(FontRecordAt(asked)->font, nullptr);

    // A restarted table and a rebuilt manager answer afresh.
    epoch = FontIndexEpoch();
    InitFontTable();
    EXPECT_NE(FontIndexEpoch(), epoch);
    const int32_t restarted = FontIndexForFace("Times", 9, false, false, false);
    ASSERT_NE(FontRecordAt(restarted), nullptr);
    EXPECT_EQ(FontRecordAt(restarted)->key.faceId, id("Times"));
    RebuildFontManager();
    const int32_t rebuilt = FontIndexForFace("Courier New", 9, true, false, false);
    ASSERT_NE(FontRecordAt(rebuilt), nullptr);
    EXPECT_EQ(FontRecordAt(rebuilt)->key.faceId, id("Courier New"));
    EXPECT_EQ(FontRecordAt(rebuilt)->key.style, kFontStyleBold);
}

TEST_F(FontManagerTest, RebuildingStartsAFreshTable) {
    FontIndexForFace("Times", 30, false, false, false);
    FontIndexForFace("Courier", 30, false, false, false);
    ASSERT_EQ(FontTableCount(), 3);
    RebuildFontManager();
    ASSERT_NE(TheFontManager(), nullptr);
    EXPECT_EQ(TheFontManager()->idOfName("Arial"), 1);
    EXPECT_EQ(FontTableCount(), 1);
    EXPECT_NE(FontRecordAt(0)->font, nullptr);
    EXPECT_EQ(GetTextMeasurer() != nullptr, true);

    DeleteFontManager();
    EXPECT_EQ(TheFontManager(), nullptr);
    EXPECT_EQ(GetTextMeasurer(), nullptr);
    EXPECT_EQ(FontTableCount(), 0);
    EXPECT_EQ(FontRecordAt(0), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Measuring

struct FaceStyle {
    const char* face;
    int32_t style;
    plat::BYTE charSet;
};
const FaceStyle kFaceStyles[] = {
    {"Times New Roman", 0, plat::ANSI_CHARSET}, {"Times New Roman", 3, plat::ANSI_CHARSET},
    {"Arial", 0, plat::ANSI_CHARSET},           {"Arial", 1, plat::ANSI_CHARSET},
    {"Courier New", 2, plat::ANSI_CHARSET},     {"Times", 2, plat::ANSI_CHARSET},
    {"Helvetica", 0, plat::ANSI_CHARSET},       {"Symbol", 0, plat::SYMBOL_CHARSET},
    {"Rudize", 2, plat::SYMBOL_CHARSET},
};
const char* const kSamples[] = {"x", "Hfy", "Wij,", "f(x)=a+b"};

TEST_F(FontManagerTest, WidthsAreTheSumsOfTheAdvances) {
    for (int32_t resolution : {16, 21}) {
        oMeasurePort port(resolution, 0);
        for (const FaceStyle& fs : kFaceStyles) {
            const int32_t index = FontIndexForFace(fs.face, 12, fs.style & 1, fs.style & 2, false);
            plat::HFONT own = MakeFont(fs.face, EmFor(12, resolution), fs.style, fs.charSet);
            for (const char* text : kSamples) {
                SCOPED_TRACE(testing::Message() << fs.face << " style " << fs.style << " at "
                                                << resolution << ": " << text);
                const int32_t expected = PrefixWidths(own, text).back();
                EXPECT_GT(expected, 0);
                EXPECT_EQ(port.stringWidth(text, index), expected);
                Zone zone;
                port.measureString(text, index, zone);
                // The measured zone holds the advance; only a last glyph reaching further widens
                // it.
                EXPECT_GE(zone.right, expected);
                EXPECT_LE(zone.right, expected + EmFor(12, resolution) / 2);
                EXPECT_LE(zone.left, 0);
                EXPECT_EQ(zone.top, 0);
                EXPECT_GT(zone.ref2, 0);
                EXPECT_GE(zone.bottom, zone.ref2);
                // The axis lies a quarter em above the baseline.
                EXPECT_EQ(zone.ref1, zone.ref2 - (PointsToDevice(12, resolution) + 2) / 4);
            }
            plat::DeleteObject(own);
        }
    }
    EXPECT_EQ(std::string(LoggedInformation()), "");
}

TEST_F(FontManagerTest, DrawnTextStaysInsideItsMeasuredZone) {
    for (int32_t resolution : {16, 21}) {
        for (const FaceStyle& fs : kFaceStyles) {
            const int32_t index = FontIndexForFace(fs.face, 24, fs.style & 1, fs.style & 2, false);
            for (const char* text : kSamples) {
                SCOPED_TRACE(testing::Message() << fs.face << " style " << fs.style << " at "
                                                << resolution << ": " << text);
                BitmapPort port(160, 60, resolution);
                Zone zone;
                port.measureString(text, index, zone);
                const int32_t x = 20;
                const int32_t baseline = 40;
                port.drawString(text, index, x, baseline);
                const Zone ink = port.ink();
                ASSERT_LT(ink.left, ink.right) << "nothing drawn";
                EXPECT_GE(ink.left, x + zone.left);
                // Only a last glyph starting right of the pen may ink past the zone.
                plat::HFONT own = MakeFont(fs.face, EmFor(24, resolution), fs.style, fs.charSet);
                EXPECT_LE(ink.right, x + zone.right + LastGlyphSlack(own, text));
                plat::DeleteObject(own);
                EXPECT_GE(ink.top, baseline - zone.ref2);
                EXPECT_LE(ink.bottom, baseline - zone.ref2 + zone.bottom);
                // The outline box is tight: the ink reaches its top within a pixel.
                EXPECT_LE(ink.top, baseline - zone.ref2 + 1);
            }
        }
    }
}

TEST_F(FontManagerTest, SymbolBytesDrawTheSymbolFacesGlyphs) {
    const int32_t symbol = FontIndexForFace("Symbol", 24, false, false, false);
    const int32_t times = FontIndexForFace("Times", 24, false, false, false);
    plat::HFONT own = MakeFont("Symbol", EmFor(24, 21), 0, plat::SYMBOL_CHARSET);
    for (const char* text : {"a", "p", "\xA5", "\xE5"}) { // alpha, pi, infinity, summation
        SCOPED_TRACE(text);
        BitmapPort drawn(80, 60, 21);
        drawn.drawString(text, symbol, 10, 40);
        // The same byte drawn directly in a symbol-charset font made here.
        BitmapPort direct(80, 60, 21);
        plat::HGDIOBJ old = plat::SelectObject(direct.dc(), own);
        plat::SetBkMode(direct.dc(), plat::TRANSPARENT);
        plat::SetTextAlign(direct.dc(), plat::TA_BASELINE);
        plat::SetTextColor(direct.dc(), plat::RGB(0, 0, 0));
        plat::ExtTextOut(direct.dc(), 10, 40, 0, nullptr, text, 1, nullptr);
        plat::SelectObject(direct.dc(), old);
        EXPECT_EQ(drawn.pixels(), direct.pixels());
        // And not the Latin letter of that byte.
        BitmapPort latin(80, 60, 21);
        latin.drawString(text, times, 10, 40);
        EXPECT_NE(drawn.pixels(), latin.pixels());
    }
    plat::DeleteObject(own);
}

TEST_F(FontManagerTest, DrawingFollowsThePortOriginAndClip) {
    const int32_t index = FontIndexForFace("Arial", 20, false, false, false);
    BitmapPort plain(120, 50, 21);
    plain.drawString("Mm", index, 10, 30);
    const Zone base = plain.ink();

    BitmapPort moved(120, 50, 21);
    moved.setOrigin(-15, -5); // port coordinates now start 15 and 5 device units in
    moved.drawString("Mm", index, 10, 30);
    const Zone shifted = moved.ink();
    EXPECT_EQ(shifted.left, base.left + 15);
    EXPECT_EQ(shifted.top, base.top + 5);
    EXPECT_EQ(shifted.right - shifted.left, base.right - base.left);

    BitmapPort clipped(120, 50, 21);
    const Zone half{0, 0, (base.left + base.right) / 2, 50, 0, 0};
    clipped.clipToZone(&half);
    clipped.drawString("Mm", index, 10, 30);
    EXPECT_LE(clipped.ink().right, half.right + 1);
    EXPECT_EQ(clipped.ink().left, base.left);
}

TEST_F(FontManagerTest, TurnedTextRunsAlongItsAngle) {
    const int32_t index = FontIndexForFace("Arial", 20, false, false, false);
    BitmapPort flat(160, 160, 21);
    flat.drawString("Mmm", index, 20, 60);
    const Zone base = flat.ink();
    const int32_t length = base.right - base.left;

    struct Case {
        int32_t angle;
        bool vertical;
    } cases[] = {{9000, true}, {-9000, true}, {18000, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.angle);
        BitmapPort turned(160, 160, 21);
        turned.drawRotatedString("Mmm", index, 80, 80, nullptr, 1, c.angle);
        const Zone ink = turned.ink();
        ASSERT_LT(ink.left, ink.right) << "nothing drawn";
        const int32_t along = c.vertical ? ink.bottom - ink.top : ink.right - ink.left;
        EXPECT_NEAR(along, length, 1);
        if (c.angle == 9000) { // anticlockwise: the text rises from the point
            EXPECT_LE(ink.bottom, 81);
        } else if (c.angle == -9000) { // clockwise: it runs down from the point
            EXPECT_GE(ink.top, 79);
        } else { // upside down: it runs left from the point
            EXPECT_LE(ink.right, 81);
        }
        EXPECT_EQ(FontRecordAt(index)->key.escapement, c.angle / 10);
    }
    // Straight text afterwards gets its font back without escapement.
    BitmapPort again(160, 160, 21);
    again.drawAsianString("Mmm", index, 20, 60, nullptr, 1, 0);
    EXPECT_EQ(FontRecordAt(index)->key.escapement, 0);
    EXPECT_EQ(again.pixels(), flat.pixels());
}

TEST_F(FontManagerTest, MetafilePortsMeasureOnTheDisplay) {
    // A recording port without a DC of its own measures like any screen port.
    class RecordingKindPort : public oMeasurePort {
    public:
        RecordingKindPort()
            : oMeasurePort(21, 0) {
            adoptDevice(NewPortDevice(kDeviceMetafile));
        }
    };
    RecordingKindPort recording;
    oMeasurePort screen(21, 0);
    const int32_t index = FontIndexForFace("Times", 13, false, true, false);
    EXPECT_EQ(recording.stringWidth("Metafile", index), screen.stringWidth("Metafile", index));
    Zone a;
    Zone b;
    recording.measureString("Metafile", index, a);
    screen.measureString("Metafile", index, b);
    EXPECT_EQ(a, b);
    EXPECT_GT(a.right, 0);
}

// What a port measures of a text in a font: width, zone and edges.
struct Measured {
    int32_t width = 0;
    Zone zone;
    int32_t edges[3] = {};
    friend bool operator==(const Measured& a, const Measured& b) {
        return a.width == b.width && a.zone == b.zone && a.edges[0] == b.edges[0] &&
               a.edges[1] == b.edges[1] && a.edges[2] == b.edges[2];
    }
};

struct MeasureSample {
    const char* face;
    int32_t style;
    int32_t size;
    const char* text;
    oMeasurePort* port;
};

int32_t SampleFont(const MeasureSample& s) {
    return FontIndexForFace(s.face, s.size, s.style & 1, s.style & 2, s.style & 4);
}

// Each measure taken on a fresh font table, so that nothing measured before can serve it.
Measured MeasureCold(const MeasureSample& s) {
    Measured m;
    InitFontTable();
    m.width = s.port->stringWidth(s.text, SampleFont(s));
    InitFontTable();
    s.port->measureString(s.text, SampleFont(s), m.zone);
    InitFontTable();
    s.port->stringEdges(s.text, SampleFont(s), m.edges[0], m.edges[1], m.edges[2]);
    return m;
}

Measured MeasureWarm(const MeasureSample& s) {
    Measured m;
    const int32_t font = SampleFont(s);
    m.width = s.port->stringWidth(s.text, font);
    s.port->measureString(s.text, font, m.zone);
    s.port->stringEdges(s.text, font, m.edges[0], m.edges[1], m.edges[2]);
    return m;
}

TEST_F(FontManagerTest, MeasuresKeptPerFontEqualMeasuringThroughTheDc) {
    // Screen ports at two resolutions (every record is remade when they alternate), a pixel map
    // (a memory DC) and a picture port whose DC scales (never kept).
    oMeasurePort screen(21, 0);
    oMeasurePort large(42, 0);
    std::unique_ptr<oPixMap> map(NewPixMap(Zone{0, 0, 8, 8, 0, 0}, 21, kPixelDepth32));
    std::unique_ptr<oPictPort> picture(NewPictPort(Zone{0, 0, 80, 40, 0, 0}, 0, 0, 0, 300));
    ASSERT_NE(map, nullptr);
    ASSERT_NE(picture, nullptr);
    oMeasurePort* const ports[] = {&screen, &large, map.get(), picture.get()};
    const FaceStyle faces[] = {{"Times New Roman", 0, 0},
                               {"Times New Roman", 3, 0},
                               {"Arial", 5, 0},
                               {"Courier New", 2, 0},
                               {"Symbol", 0, 0}};
    const char* const texts[] = {"", "x", "f", "Hfy", "Wij,", "f(x)=a+b", "\xE9\xD7 \xB1", "ffff"};
    std::vector<MeasureSample> samples;
    for (oMeasurePort* port : ports)
        for (const FaceStyle& f : faces)
            for (int32_t size : {5, 12, 37})
                for (const char* text : texts)
                    samples.push_back({f.face, f.style, size, text, port});
    std::vector<Measured> reference;
    for (const MeasureSample& s : samples)
        reference.push_back(MeasureCold(s));

    const auto check = [&](size_t i, const char* pass) {
        const MeasureSample& s = samples[i];
        SCOPED_TRACE(testing::Message() << pass << ": " << s.face << " style " << s.style << " "
                                        << s.size << " pt at " << s.port->resolution() << " on "
                                        << PortDeviceKind(s.port) << ": \"" << s.text << "\"");
        EXPECT_EQ(MeasureWarm(s), reference[i]);
    };
    InitFontTable();
    // Port by port, then backwards (each text now from bytes kept for the others), then
    // interleaving the ports sample by sample.
    for (size_t i = 0; i < samples.size(); ++i)
        check(i, "first");
    for (size_t i = samples.size(); i-- > 0;)
        check(i, "backwards");
    const size_t perPort = samples.size() / std::size(ports);
    for (size_t k = 0; k < perPort; ++k)
        for (size_t p = 0; p < std::size(ports); ++p)
            check(p * perPort + k, "interleaved");

    // A rebuilt manager and a double-byte code page are seen.
    RebuildFontManager();
    for (size_t i = 0; i < perPort; ++i)
        check(i, "rebuilt");
    ASSERT_TRUE(plat::SetActiveCodePage(932));
    const char* const doubleByte[] = {"a\x82\xA0\x62", "\x93\xFA\x96\x7B", "\x81"};
    for (const char* text : doubleByte) {
        const MeasureSample s{"Arial", 0, 12, text, &screen};
        const Measured cold = MeasureCold(s);
        EXPECT_EQ(MeasureWarm(s), cold) << text;
        EXPECT_EQ(MeasureWarm(s), cold) << text;
    }
    EXPECT_EQ(std::string(LoggedInformation()), "");
}

TEST_F(FontManagerTest, GraphicsStartUpStartsTheFonts) {
    DeleteFontManager();
    InstallGraphicsFontHooks();
    InitGraphics();
    ASSERT_NE(TheFontManager(), nullptr);
    EXPECT_EQ(FontScreenResolution(), ScreenResolution());
    EXPECT_EQ(FontTableCount(), 1);
    EXPECT_GT(ScreenMeasurePort()->stringWidth("x", DefaultFontIndex()), 0);
    ShutdownGraphics();
    SetGraphicsFontHooks(GraphicsFontHooks{});
}

// Reference images: a sample of faces, styles and sizes drawn through the font table, with
// symbol text and turned text, exactly as on the pinned fonts. Regenerate with
//   KV_UPDATE_GOLDEN=1 ./build/tests/kv_framework_tests --gtest_filter='*TextMatchesItsReference*'
TEST_F(FontManagerTest, TextMatchesItsReferenceImage) {
    for (int32_t resolution : {16, 21}) {
        SCOPED_TRACE(resolution);
        BitmapPort port(360, 240, resolution);
        struct Line {
            const char* face;
            int32_t points;
            int32_t style;
            const char* text;
        } lines[] = {
            {"Times New Roman", 12, 0, "Times New Roman f(x) = ax + b"},
            {"Times New Roman", 12, 2, "Italic f(x) = ax + b"},
            {"Arial", 10, 1, "Arial bold 0123456789"},
            {"Courier New", 11, 0, "Courier New {[()]}"},
            {"Times", 14, 3, "Times bold italic Wy"},
            {"Helvetica", 9, 4, "Helvetica underlined"},
            {"Symbol", 14, 0, "abgdp \xA5\xE5\xF2 \xB3\xB9"},
            {"Rudize", 14, 0, "abgdp \xA5\xE5\xF2"},
        };
        int32_t y = 4;
        for (const Line& line : lines) {
            const int32_t index = FontIndexForFace(line.face, line.points, line.style & 1,
                                                   line.style & 2, line.style & 4);
            const FontMetricWords words = FontMetricsFor(index, resolution);
            port.drawString(line.text, index, 6, y + words.ascent);
            y += words.lineSpacing;
        }
        const int32_t turned = FontIndexForFace("Arial", 12, false, false, false);
        port.drawRotatedString("Turned", turned, 340, 200, nullptr, 1, 9000);

        const std::vector<plat::COLORREF> pixels = port.pixels();
        cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 360, 240);
        cairo_surface_flush(image);
        unsigned char* data = cairo_image_surface_get_data(image);
        const int stride = cairo_image_surface_get_stride(image);
        for (int py = 0; py < 240; ++py) {
            auto* row = reinterpret_cast<uint32_t*>(data + py * stride);
            for (int px = 0; px < 360; ++px) {
                const plat::COLORREF c = pixels[static_cast<size_t>(py * 360 + px)];
                row[px] = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
            }
        }
        cairo_surface_mark_dirty(image);
        EXPECT_TRUE(kvtest::MatchesGolden(
            image, "fontmgr/text-" + std::to_string(resolution == 16 ? 72 : 96) + "dpi"));
        cairo_surface_destroy(image);
    }
}

TEST_F(FontManagerTest, EdgesLeanByTheOverhangTable) {
    // Find sizes whose measured baseline height is exactly 16, then the overhang of a text
    // ending in "T" is (16 + 4) / 8 = 2 and of one ending in "A" (-16 + 4) / 8 = -1.
    oMeasurePort port(16, 0);
    struct Case {
        const char* text;
        int32_t overhang;
    } cases[] = {{"T", 2}, {"AT", 2}, {"A", -1}, {"TA", -1}, {"H", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        bool found = false;
        for (int32_t size = 8; size < 40 && !found; ++size) {
            const int32_t index = FontIndexForFace("Arial", size, false, false, false);
            Zone zone;
            port.measureString(c.text, index, zone);
            if (zone.ref2 != 16)
                continue;
            found = true;
            int32_t left = 99;
            int32_t right = 99;
            int32_t overhang = 99;
            port.stringEdges(c.text, index, left, right, overhang);
            EXPECT_EQ(left, zone.left);
            EXPECT_EQ(right, zone.right);
            EXPECT_EQ(overhang, c.overhang);
        }
        EXPECT_TRUE(found);
    }
}

TEST_F(FontManagerTest, ItalicEdgesMoveInByAQuarterOfTheAscent) {
    oMeasurePort port(21, 0);
    const int32_t upright = FontIndexForFace("Times New Roman", 20, false, false, false);
    const int32_t italic = FontIndexForFace("Times New Roman", 20, false, true, false);
    for (const char* text : {"T", "x", "A"}) {
        SCOPED_TRACE(text);
        Zone zone;
        port.measureString(text, italic, zone);
        int32_t left = 0, right = 0, overhang = 0;
        port.stringEdges(text, italic, left, right, overhang);
        const int32_t q = (zone.ref2 + 2) / 4;
        const int32_t units = TheFontManager()->overhangUnits(static_cast<uint8_t>(text[0]));
        EXPECT_EQ(left, zone.left + q);
        EXPECT_EQ(right, zone.right);
        EXPECT_EQ(overhang, ((units - 1) * zone.ref2 + 4) / 8 + q / 4);
        int32_t uLeft = 0, uRight = 0, uOverhang = 0;
        port.stringEdges(text, upright, uLeft, uRight, uOverhang);
        Zone uZone;
        port.measureString(text, upright, uZone);
        EXPECT_EQ(uLeft, uZone.left);
    }
    int32_t left = 5, right = 5, overhang = 5;
    port.stringEdges("", upright, left, right, overhang);
    EXPECT_EQ(overhang, 0);
    EXPECT_EQ(right, 0);
}

TEST_F(FontManagerTest, MeasuringAnUnknownFontLogsAndGivesNothing) {
    oMeasurePort port(21, 0);
    EXPECT_EQ(port.stringWidth("abc", 999), 0);
    Zone zone{1, 2, 3, 4, 5, 6};
    port.measureString("abc", -1, zone);
    EXPECT_EQ(zone, Zone{});
    EXPECT_NE(std::string(LoggedInformation()).find("no such font"), std::string::npos);
    EXPECT_EQ(CharsFittingWidth("abc", 999, 100), 0);
    EXPECT_EQ(StringWidthForFont("abc", 999, 2), 0);
}

// ---------------------------------------------------------------------------------------------
// Fitting text

// What fits, worked out from the prefix widths: a character counts when the text up to its
// middle lies within the width; the last character of the text only when it lies inside.
int32_t ExpectedFit(const std::vector<int32_t>& w, const std::vector<int32_t>& bounds,
                    int32_t width) {
    int32_t fit = 0;
    for (size_t k = 1; k < bounds.size(); ++k) {
        const int32_t end = w[static_cast<size_t>(bounds[k])];
        const int32_t start = w[static_cast<size_t>(bounds[k - 1])];
        const int32_t middle = end - ((end - start) >> 1);
        const bool last = k + 1 == bounds.size();
        if (middle > width || (last && middle == width))
            break;
        fit = bounds[k];
    }
    return fit;
}

TEST_F(FontManagerTest, CharsFittingWidthCountsCharactersUpToTheirMiddle) {
    const int32_t index = FontIndexForFace("Times New Roman", 12, false, false, false);
    plat::HFONT own = MakeFont("Times New Roman", EmFor(12, 21), 0, plat::ANSI_CHARSET);
    const std::string text = "Wide and iiii narrow";
    const std::vector<int32_t> w = PrefixWidths(own, text);
    std::vector<int32_t> bounds;
    for (int32_t i = 0; i <= static_cast<int32_t>(text.size()); ++i)
        bounds.push_back(i);
    for (int32_t width = -1; width <= w.back() + 10; ++width) {
        SCOPED_TRACE(width);
        EXPECT_EQ(CharsFittingWidth(text.c_str(), index, width), ExpectedFit(w, bounds, width));
    }
    EXPECT_EQ(CharsFittingWidth(text.c_str(), index, 100000), static_cast<int32_t>(text.size()));
    EXPECT_EQ(CharsFittingWidth("", index, 100), 0);
    EXPECT_EQ(CharsFittingWidth(nullptr, index, 100), 0);
    for (int32_t count : {1, 5, 20, 200}) {
        SCOPED_TRACE(count);
        EXPECT_EQ(StringWidthForFont(text.c_str(), index, count),
                  w[static_cast<size_t>(std::min<int32_t>(count, text.size()))]);
    }
    EXPECT_EQ(StringWidthForFont(text.c_str(), index, 0), 0);
    EXPECT_EQ(StringWidthForFont(text.c_str(), index, -3), 0);
    EXPECT_EQ(StringWidthForFont("", index, 3), 0);
    plat::DeleteObject(own);
}

TEST_F(FontManagerTest, DoubleByteCharactersAreNeverSplit) {
    ASSERT_TRUE(plat::SetActiveCodePage(932));
    const int32_t index = FontIndexForFace("DejaVu Sans", 12, false, false, false);
    // "a", then two double-byte characters, then "b"; the second trail byte is in the lead range.
    const std::string text = "a\x82\xA0\x88\x9F"
                             "b";
    std::vector<int32_t> bounds{0, 1, 3, 5, 6};
    // Under a double-byte code page expression text is measured in it (the default character set).
    plat::HFONT own = MakeFont("DejaVu Sans", EmFor(12, 21), 0, plat::DEFAULT_CHARSET);
    const std::vector<int32_t> w = PrefixWidths(own, text);
    plat::DeleteObject(own);
    for (int32_t b : bounds)
        EXPECT_EQ(StringWidthForFont(text.c_str(), index, b), w[static_cast<size_t>(b)]) << b;
    ASSERT_LT(w[1], w[3]);
    ASSERT_LT(w[3], w[5]);
    for (int32_t width = 0; width <= w[6] + 5; ++width) {
        SCOPED_TRACE(width);
        const int32_t fit = CharsFittingWidth(text.c_str(), index, width);
        EXPECT_NE(std::find(bounds.begin(), bounds.end(), fit), bounds.end()) << fit;
        EXPECT_EQ(fit, ExpectedFit(w, bounds, width));
        EXPECT_LE(fit, static_cast<int32_t>(text.size()));
    }
    // A count ending on a lead byte takes the whole character.
    EXPECT_EQ(StringWidthForFont(text.c_str(), index, 2), w[3]);
    EXPECT_EQ(StringWidthForFont(text.c_str(), index, 4), w[5]);
    // A lead byte that ends the text stands alone.
    EXPECT_EQ(CharsFittingWidth("a\x82", index, 1000), 2);
    EXPECT_TRUE(IsLeadByte(0x82));
    EXPECT_FALSE(IsLeadByte('a'));

    // The program's own texts are Windows-1252 under the page: "é" (a lead byte of 932) is one
    // character of its own, measured and drawn as Windows-1252 by a font of that character set.
    const int32_t program = ProgramTextFontIndex(index);
    ASSERT_NE(program, index);
    EXPECT_EQ(ProgramTextFontIndex(program), program);
    EXPECT_EQ(FontRecordAt(program)->key.size, FontRecordAt(index)->key.size);
    const std::string french = "d\xE9"
                               "faut";
    plat::HFONT western = MakeFont("DejaVu Sans", EmFor(12, 21), 0, plat::ANSI_CHARSET);
    const std::vector<int32_t> ww = PrefixWidths(western, french);
    plat::DeleteObject(western);
    for (int32_t b = 0; b <= 6; ++b)
        EXPECT_EQ(StringWidthForFont(french.c_str(), program, b), ww[static_cast<size_t>(b)]) << b;
    EXPECT_EQ(CharsFittingWidth(french.c_str(), program, ww[2]), 2);
}

TEST_F(FontManagerTest, TheSystemCharacterSetIsTheScreenFontsAndNotedFacesChangeNothing) {
    // The display's own font is a western face.
    EXPECT_EQ(SystemCharSet(), plat::ANSI_CHARSET);
    const int32_t faces = TheFontManager()->faceCount();
    NoteFontFace("A Face Nobody Has");
    NoteFontFace(nullptr);
    EXPECT_EQ(TheFontManager()->faceCount(), faces);
    EXPECT_EQ(id("A Face Nobody Has"), -1);

    // A screen whose font is the symbol face.
    plat::HDC dc = plat::CreateDC("DISPLAY", nullptr, nullptr, nullptr);
    plat::HFONT symbol = MakeFont("Symbol", 16, 0, plat::SYMBOL_CHARSET);
    plat::HGDIOBJ old = plat::SelectObject(dc, symbol);
    NewFontManager(21, dc);
    EXPECT_EQ(SystemCharSet(), plat::SYMBOL_CHARSET);
    plat::SelectObject(dc, old);
    plat::DeleteObject(symbol);
    plat::DeleteDC(dc);
    NewFontManager(21);
    EXPECT_EQ(SystemCharSet(), plat::ANSI_CHARSET);
}

// ---------------------------------------------------------------------------------------------
// The face list

TEST_F(FontManagerTest, FaceListItemsShowTheirFace) {
    const FontManager& m = *TheFontManager();
    const plat::RECT item{10, 20, 130, 40};
    struct Case {
        const char* face;
        bool ownFace;
    } cases[] = {{"Courier New", true}, {"Times", true}, {"Symbol", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.face);
        BitmapPort list(160, 60, 21);
        plat::HFONT base = MakeFont("Arial", 14, 0, plat::ANSI_CHARSET);
        plat::HGDIOBJ old = plat::SelectObject(list.dc(), base);
        plat::SetBkMode(list.dc(), plat::TRANSPARENT);
        DrawFontListItem(list.dc(), item, 0, 0, m.findFace(c.face));
        // The DC keeps its own font.
        EXPECT_EQ(plat::GetCurrentObject(list.dc(), plat::OBJ_FONT), base);

        // The name drawn by hand in the font the item should use.
        BitmapPort expected(160, 60, 21);
        plat::HFONT shown = c.ownFace ? MakeFont(c.face, 14, 0, plat::ANSI_CHARSET) : base;
        plat::HGDIOBJ oldExpected = plat::SelectObject(expected.dc(), shown);
        plat::SetBkMode(expected.dc(), plat::TRANSPARENT);
        plat::ExtTextOut(expected.dc(), item.left + 2, item.top + 1, 0, nullptr, c.face,
                         static_cast<plat::UINT>(std::strlen(c.face)), nullptr);
        plat::SelectObject(expected.dc(), oldExpected);
        EXPECT_EQ(list.pixels(), expected.pixels());

        const Zone ink = list.ink();
        EXPECT_GE(ink.left, item.left + 2);
        EXPECT_GE(ink.top, item.top + 1);
        EXPECT_LE(ink.bottom, item.bottom);
        plat::SelectObject(list.dc(), old);
        if (shown != base)
            plat::DeleteObject(shown);
        plat::DeleteObject(base);
    }

    // A long name is cut at the item's edge; no position, no drawing.
    BitmapPort narrow(160, 60, 21);
    const plat::RECT small{10, 20, 30, 40};
    DrawFontListItem(narrow.dc(), small, 0, 0, m.findFace("Times New Roman"));
    EXPECT_LE(narrow.ink().right, 30);
    BitmapPort none(160, 60, 21);
    DrawFontListItem(none.dc(), item, 0, 0, m.faceCount());
    EXPECT_GE(none.ink().left, none.ink().right);
}

} // namespace
