#include "OverSrcs/oPostScr.h"

#include "ErrorFixture.h"
#include "OverPc/PFONTS.h"
#include "OverPc/PGRAPHIC.h"
#include "OverPc/PPostScr.h"
#include "OverPc/Portdc.h"
#include "OverPc/oPixMap.h"
#include "OverSrcs/oStreams.h"
#include "plat/Font.h"
#include "support/FontPin.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Keeps every byte written, line ends unchanged.
class TextStream : public oOStream {
public:
    std::uint32_t write(const void* bytes, std::uint32_t n) override {
        m_text.append(static_cast<const char*>(bytes), n);
        return oOStream::write(bytes, n);
    }
    const std::string& text() const { return m_text; }
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        std::istringstream in(m_text);
        for (std::string line; std::getline(in, line);)
            out.push_back(line);
        return out;
    }

private:
    std::string m_text;
};

int CountOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + what.size()))
        ++n;
    return n;
}

const char kLiberation[] = "/usr/share/fonts/truetype/liberation/";

// ---------------------------------------------------------------------------------------------
// TrueType name tables

// A minimal big-endian font file: offset table, one table record per tag, and a name table with
// the given records (platform 3 records are UTF-16, others one byte a character).
struct NameRecord {
    uint16_t platform;
    uint16_t nameId;
    std::string text; // bytes as stored
};

void Put16(std::string& s, uint16_t v) {
    s += static_cast<char>(v >> 8);
    s += static_cast<char>(v & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
    Put16(s, static_cast<uint16_t>(v >> 16));
    Put16(s, static_cast<uint16_t>(v & 0xFFFF));
}

std::string FontFileBytes(uint32_t version, const std::vector<NameRecord>& records,
                          bool withNameTable = true) {
    std::string names;
    Put16(names, 0);
    Put16(names, static_cast<uint16_t>(records.size()));
    Put16(names, static_cast<uint16_t>(6 + 12 * records.size()));
    std::string strings;
    for (const NameRecord& r : records) {
        Put16(names, r.platform);
        Put16(names, r.platform == 3 ? 1 : 0);
        Put16(names, 0);
        Put16(names, r.nameId);
        Put16(names, static_cast<uint16_t>(r.text.size()));
        Put16(names, static_cast<uint16_t>(strings.size()));
        strings += r.text;
    }
    names += strings;
    std::string file;
    Put32(file, version);
    Put16(file, 2);
    Put16(file, 0), Put16(file, 0), Put16(file, 0);
    const uint32_t firstTable = 12 + 2 * 16;
    file += "head";
    Put32(file, 0), Put32(file, firstTable), Put32(file, 4);
    file += withNameTable ? "name" : "post";
    Put32(file, 0), Put32(file, firstTable + 4), Put32(file, static_cast<uint32_t>(names.size()));
    Put32(file, 0); // the head table's 4 bytes
    file += names;
    return file;
}

std::string Utf16(const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
        out += '\0';
        out += c;
    }
    return out;
}

class TempFile {
public:
    explicit TempFile(const std::string& bytes) {
        char name[] = "/tmp/kvpsfontXXXXXX";
        const int fd = mkstemp(name);
        m_path = name;
        if (fd >= 0) {
            EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
            ::close(fd);
        }
    }
    ~TempFile() { std::remove(m_path.c_str()); }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

TEST(GetTrueTypePostScriptName, ReadsTheOneByteNameRecord) {
    struct Case {
        const char* name;
        std::string bytes;
        bool ok;
        const char* want;
    } const cases[] = {
        {"OneByte", FontFileBytes(0x00010000, {{1, 6, "Plain-Name"}}), true, "Plain-Name"},
        {"Utf16First", FontFileBytes(0x00010000, {{3, 6, Utf16("Wide")}, {1, 6, "Narrow"}}), true,
         "Narrow"},
        {"OtherIdsIgnored", FontFileBytes(0x00010000, {{1, 4, "Full Name"}, {1, 6, "Ps-Name"}}),
         true, "Ps-Name"},
        {"OnlyUtf16", FontFileBytes(0x00010000, {{3, 6, Utf16("Wide")}}), false, ""},
        {"TooLongSkipped",
         FontFileBytes(0x00010000, {{1, 6, std::string(60, 'L')}, {1, 6, "Short"}}), true, "Short"},
        {"NotTrueType", FontFileBytes(0x4F54544F, {{1, 6, "Cff-Font"}}), false, ""},
        {"NoNameTable", FontFileBytes(0x00010000, {{1, 6, "X"}}, false), false, ""},
        {"Truncated", FontFileBytes(0x00010000, {{1, 6, "Plain-Name"}}).substr(0, 60), false, ""},
        {"Empty", std::string(), false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFile file(c.bytes);
        char name[kPostScriptNameSize] = {'?'};
        EXPECT_EQ(GetTrueTypePostScriptName(file.path().c_str(), name, sizeof name), c.ok);
        if (c.ok) {
            EXPECT_STREQ(name, c.want);
        }
    }
    char name[kPostScriptNameSize];
    EXPECT_FALSE(GetTrueTypePostScriptName("/nonexistent/font.ttf", name, sizeof name));
}

class PinnedFontNames : public kvtest::FontPin {};

TEST_F(PinnedFontNames, NamesOfTheInstalledFiles) {
    struct Case {
        std::string path;
        bool ok;
        const char* want;
    } const cases[] = {
        {std::string(kLiberation) + "LiberationSerif-Regular.ttf", true, "LiberationSerif"},
        {std::string(kLiberation) + "LiberationSerif-BoldItalic.ttf", true,
         "LiberationSerif-BoldItalic"},
        {std::string(kLiberation) + "LiberationSans-Bold.ttf", true, "LiberationSans-Bold"},
        {std::string(kLiberation) + "LiberationMono-Regular.ttf", true, "LiberationMono"},
        {"/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf", true, "DejaVuSerif"},
        // Compact-font-format files are not TrueType 1.0 files.
        {"/usr/share/fonts/opentype/urw-base35/StandardSymbolsPS.otf", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        char name[kPostScriptNameSize] = {};
        EXPECT_EQ(GetTrueTypePostScriptName(c.path.c_str(), name, sizeof name), c.ok);
        if (c.ok) {
            EXPECT_STREQ(name, c.want);
        }
    }
}

TEST(FindFontFile, StrictSearchPrefersTheStyledFile) {
    const std::vector<PostScriptFontFile> files = {
        {"Book Antiqua (TrueType)", "/f/book.ttf"},
        {"Garamond (TrueType)", "/f/gara.ttf"},
        {"Garamond Bold (TrueType)", "/f/garab.ttf"},
        {"Garamond Bold Italic (TrueType)", "/f/garabi.ttf"},
        {"Plain Only (TrueType)", "/f/plain.ttf"},
    };
    struct Case {
        const char* face;
        bool bold, italic, strict;
        int result;
        const char* path;
    } const cases[] = {
        {"Garamond", true, false, true, 2, "/f/garab.ttf"},
        {"Garamond", true, true, true, 2, "/f/garabi.ttf"},
        {"Garamond", false, false, true, 2, "/f/gara.ttf"},
        {"garamond", false, false, true, 2, "/f/gara.ttf"},   // case-insensitive
        {"Garamond", false, true, true, 1, "/f/gara.ttf"},    // no italic file: the first one
        {"Plain Only", true, false, true, 1, "/f/plain.ttf"}, // the writer adds the bold
        {"Garamond", true, false, false, 1, "/f/gara.ttf"},
        {"Missing", false, false, true, 0, ""},
        {"", false, false, true, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.face) + (c.bold ? " bold" : "") + (c.italic ? " italic" : ""));
        std::string path;
        EXPECT_EQ(FindFontFile(files, c.face, c.bold, c.italic, path, c.strict), c.result);
        EXPECT_EQ(path, c.path);
    }
}

TEST(PostScriptFontName, FamiliesAndStyles) {
    constexpr uint8_t kTrueType = 0x04;
    struct Case {
        const char* face;
        uint8_t pitchAndFamily;
        int32_t style;
        const char* want;
        bool styled;
    } const cases[] = {
        {"Tms Rmn", 0x10, 2, "Times-Italic", true},
        {"Times New Roman", kTrueType | 0x10, 3, "Times-BoldItalic", true},
        {"Arial", kTrueType | 0x20, 1, "Helvetica-Bold", true},
        {"Helv", 0x20, 0, "Helvetica", true},
        {"Courier New", kTrueType | 0x30, 2, "Courier-Oblique", true},
        {"Fixedsys", 0x30, 3, "Courier-BoldOblique", true},
        {"Bookman Old Style", kTrueType, 1, "Bookman-Demi", true},
        {"Century Schoolbook", kTrueType, 0, "NewCenturySchlbk-Roman", true},
        {"Symbol", kTrueType, 1, "Symbol", false},
        {"Garamond", kTrueType | 0x10, 1, "Garamond", false}, // an outline font keeps its name
        {"Old Roman", 0x10, 0, "Times-Roman", true},
        {"Old Swiss", 0x20, 2, "Helvetica-Oblique", true},
        {"Old Modern", 0x30, 0, "Courier", true},
        {"Old Script", 0x40, 0, "Old Script", false},
        {"", 0x40, 1, "Times-Bold", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.face);
        char name[kPostScriptNameSize] = {};
        EXPECT_EQ(PostScriptFontName(name, c.face, c.pitchAndFamily, c.style), c.styled);
        EXPECT_STREQ(name, c.want);
    }
}

TEST(PostScriptNameToken, DropsCharactersThatBreakAName) {
    EXPECT_EQ(PostScriptNameToken("Times New Roman"), "TimesNewRoman");
    EXPECT_EQ(PostScriptNameToken("A(b)<c>[d]{e}/f%g"), "Abcdefg");
    EXPECT_EQ(PostScriptNameToken("LiberationSerif-Bold"), "LiberationSerif-Bold");
    EXPECT_EQ(PostScriptNameToken(" ()"), "Times-Roman");
}

// ---------------------------------------------------------------------------------------------
// Fonts, pixel maps and the port over the pinned fonts

class PostScriptTest : public kvtest::ErrorFixture {
protected:
    void SetUp() override {
        ErrorFixture::SetUp();
        ASSERT_EQ(kvtest::PinnedFontProblems(), "");
        InstallGraphicsFontHooks();
        InitGraphics();
        ClearDocumentFontList();
        SetPostScriptRudizeAsSymbol(false);
    }
    void TearDown() override {
        ClearDocumentFontList();
        ShutdownGraphics();
        DeleteFontManager();
        SetGraphicsFontHooks(GraphicsFontHooks{});
        SetPortDeviceHooks(PortDeviceHooks{});
        ErrorFixture::TearDown();
    }

    struct Facts {
        std::string name;
        int32_t size;
        int bold, italic, underline;
        char fontClass;
    };
    static Facts factsOf(int32_t font) {
        char name[kPostScriptNameSize] = {};
        Facts f{};
        uint8_t bold = 9, italic = 9, underline = 9;
        EXPECT_TRUE(PostScriptFontFacts(font, name, f.size, bold, italic, underline, f.fontClass));
        f.name = name;
        f.bold = bold, f.italic = italic, f.underline = underline;
        return f;
    }
};

TEST_F(PostScriptTest, FontFactsOfThePinnedFaces) {
    struct Case {
        const char* face;
        int32_t size;
        bool bold, italic, underline;
        const char* name;
        int wantBold, wantItalic;
        char fontClass;
    } const cases[] = {
        // The file of the face's own style carries bold and italic.
        {"Times New Roman", 12, false, false, false, "LiberationSerif", 0, 0, 'i'},
        {"Times New Roman", 10, true, false, false, "LiberationSerif-Bold", 0, 0, 'i'},
        {"Arial", 14, true, true, true, "LiberationSans-BoldItalic", 0, 0, 'i'},
        {"Courier New", 9, false, true, false, "LiberationMono-Italic", 0, 0, 'i'},
        // DejaVu Serif has no italic file: its plain file's name, slanted by the writer.
        {"DejaVu Serif", 12, false, true, false, "DejaVuSerif", 0, 1, 'i'},
        // The symbol face's file is no TrueType file: the standard name, the writer's style.
        {"Symbol", 12, true, false, false, "Symbol", 1, 0, 's'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.face) + (c.bold ? " bold" : "") + (c.italic ? " italic" : ""));
        const int32_t font = FontIndexForFace(c.face, c.size, c.bold, c.italic, c.underline);
        ASSERT_GE(font, 0);
        const Facts f = factsOf(font);
        EXPECT_EQ(f.name, c.name);
        EXPECT_EQ(f.size, c.size);
        EXPECT_EQ(f.bold, c.wantBold);
        EXPECT_EQ(f.italic, c.wantItalic);
        EXPECT_EQ(f.underline, c.underline ? 1 : 0);
        EXPECT_EQ(f.fontClass, c.fontClass);
    }
}

TEST_F(PostScriptTest, FontWithoutAFileFallsBackToTheNameMap) {
    // No installed files at all: neither the face nor the serif substitute has one.
    const std::vector<plat::InstalledFontEntry> none;
    plat::SetInstalledFontEntriesForTesting(&none);
    const Facts times = factsOf(FontIndexForFace("Times New Roman", 12, true, true, false));
    const Facts arial = factsOf(FontIndexForFace("Arial", 12, false, false, false));
    plat::SetInstalledFontEntriesForTesting(nullptr);
    EXPECT_EQ(times.name, "Times-BoldItalic");
    EXPECT_EQ(times.bold, 0); // the name carries the style already
    EXPECT_EQ(times.italic, 0);
    EXPECT_EQ(arial.name, "Helvetica");
}

TEST_F(PostScriptTest, DocumentFontListHoldsEachNameOnceNewestFirst) {
    const int32_t serif = FontIndexForFace("Times New Roman", 12, false, false, false);
    const int32_t serifLarge = FontIndexForFace("Times New Roman", 24, false, false, false);
    const int32_t sansBold = FontIndexForFace("Arial", 12, true, false, false);
    AddDocumentFont(serif);
    AddDocumentFont(serif);
    AddDocumentFont(serifLarge); // another index, the same PostScript name
    AddDocumentFont(sansBold);
    const std::vector<DocumentFont>& list = DocumentFontList();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_STREQ(list[0].name, "LiberationSans-Bold");
    EXPECT_EQ(list[0].fontIndex, sansBold);
    EXPECT_STREQ(list[1].name, "LiberationSerif");
    ClearDocumentFontList();
    EXPECT_TRUE(DocumentFontList().empty());
}

TEST_F(PostScriptTest, PortWithoutHeaderIsJustTheDrawing) {
    TextStream out;
    {
        auto port = NewPostScriptPort(out, Zone{0, 0, 100, 50, 0, 0}, nullptr, nullptr, 16, 0,
                                      false, false, false);
        EXPECT_FALSE(HasDeviceRecord(port->device()));
        EXPECT_EQ(port->lineUnit(), 1);
        port->paintZone(Zone{1, 2, 3, 4, 0, 0}, kColorRed);
    }
    const std::vector<std::string> lines = out.lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "2 setlinecap 0 setlinejoin  2 setmiterlimit");
    EXPECT_EQ(lines.back(), "grestore");
    EXPECT_EQ(out.text().find("%%"), std::string::npos);
    EXPECT_EQ(out.text().find("save\n"), out.text().find("gsave\n") + 1);
    EXPECT_EQ(out.text().find("restore"), out.text().find("grestore") + 1);
    EXPECT_NE(out.text().find("[ 1 0 0 1 0 0 ] concat\n"), std::string::npos);
    // Unflipped: y is written as it is.
    EXPECT_NE(out.text().find("1 2 moveto\n3 2 lineto\n3 4 lineto\n1 4 lineto closepath fill\n"),
              std::string::npos);
}

TEST_F(PostScriptTest, HeaderCommentsAndTrailer) {
    AddDocumentFont(FontIndexForFace("Times New Roman", 12, false, false, false));
    AddDocumentFont(FontIndexForFace("Arial", 12, false, false, false));
    TextStream out;
    // 144 dots per inch (32 units per 16 points): 200 × 100 units are 100 × 50 points.
    NewPostScriptPort(out, Zone{0, 0, 200, 100, 0, 0}, nullptr, nullptr, 32, 0, true, false, true);
    const std::vector<std::string> lines = out.lines();
    ASSERT_GE(lines.size(), 16u);
    EXPECT_EQ(lines[0], "%!PS-Adobe-2.0 EPSF-1.2");
    EXPECT_EQ(lines[1].rfind("%%Creator: Korvaline (R) version ", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2], "%%Title:Korvaline Printing");
    EXPECT_EQ(lines[3].rfind("%%CreationDate:", 0), 0u);
    EXPECT_EQ(lines[3].size(), std::string("%%CreationDate:").size() + 24);
    EXPECT_EQ(lines[4], "%%Pages 0");
    EXPECT_EQ(lines[5], "%%DocumentFonts:  LiberationSans LiberationSerif");
    EXPECT_EQ(lines[6], "%%DocumentNeededFonts:  LiberationSans LiberationSerif");
    EXPECT_EQ(lines[7], "%%BoundingBox: 0 0 100 50 ");
    EXPECT_EQ(lines[8], "%%EndComments");
    EXPECT_EQ(lines[9], "save");
    EXPECT_EQ(lines[10], "2 setlinecap 0 setlinejoin  2 setmiterlimit");
    EXPECT_EQ(lines[12], "[ 0.5 0 0 0.5 0 0 ] concat");
    EXPECT_EQ(lines[13], "%%EndProlog");
    EXPECT_EQ(lines[14], "gsave");
    // The comments are printable ASCII: the version's build date is written in digits there.
    for (std::size_t i = 0; i <= 8; ++i)
        for (char c : lines[i])
            EXPECT_TRUE(c >= 0x20 && c <= 0x7E) << "line " << i << ": " << lines[i];
    EXPECT_TRUE(std::regex_search(lines[1], std::regex(R"(version .*[0-9]{4}-[0-9]{2}\)$)")))
        << lines[1];
    const std::size_t n = lines.size();
    EXPECT_EQ(lines[n - 3], "grestore");
    EXPECT_EQ(lines[n - 2], "%%Trailer");
    EXPECT_EQ(lines[n - 1], "restore");

    ClearDocumentFontList();
    TextStream empty;
    NewPostScriptPort(empty, Zone{0, 0, 10, 10, 0, 0}, nullptr, nullptr, 16, 0, true, false, true);
    EXPECT_NE(empty.text().find("\n%%DocumentFonts: \n"), std::string::npos);
}

TEST_F(PostScriptTest, RotationChoosesMatrixAndBox) {
    // Zone 200 × 100 units at 32 units per 16 points: s = 0.5, W·s = 100, H·s = 50.
    struct Case {
        int32_t angle;
        bool flip;
        const char* matrix;
        const char* box;
    } const cases[] = {
        {0, true, "[ 0.5 0 0 0.5 0 0 ] concat", "0 0 100 50 "},
        {9000, true, "[ 0 0.5 -0.5 0 50 0 ] concat", "0 0 50 100 "},
        {-9000, true, "[ 0 -0.5 0.5 0 0 100 ] concat", "0 0 50 100 "},
        {9000, false, "[ 0 -0.5 0.5 0 0 100 ] concat", "0 0 50 100 "},
        {18000, true, "[ -0.5 0 0 -0.5 100 50 ] concat", "0 0 100 50 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.angle) + (c.flip ? " flipped" : ""));
        TextStream out;
        NewPostScriptPort(out, Zone{0, 0, 200, 100, 0, 0}, nullptr, nullptr, 32, c.angle, c.flip,
                          false, true);
        EXPECT_NE(out.text().find(std::string("\n") + c.matrix + "\n"), std::string::npos)
            << out.text();
        EXPECT_NE(out.text().find(std::string("%%BoundingBox: ") + c.box + "\n"),
                  std::string::npos);
    }
}

TEST_F(PostScriptTest, StateIsWrittenOnlyWhenItChanges) {
    TextStream out;
    {
        auto port = NewPostScriptPort(out, Zone{0, 0, 100, 100, 0, 0}, nullptr, nullptr, 16, 0,
                                      false, false, false);
        port->paintZone(Zone{0, 0, 5, 5, 0, 0}, kColorBlack); // black is the start value
        port->paintZone(Zone{0, 0, 5, 5, 0, 0}, Color{10, 20, 30, 255});
        port->paintZone(Zone{5, 5, 9, 9, 0, 0}, Color{10, 20, 30, 0}); // alpha ignored
        port->paintZone(Zone{0, 0, 5, 5, 0, 0}, kColorGrey127);
        port->clipToZone(nullptr);
        port->paintZone(Zone{0, 0, 5, 5, 0, 0}, kColorGrey127);
        port->startDeluxeLine(3, kColorGrey127, 2, 1);
        port->moveTo(0, 0);
        port->lineTo(5, 5);
        port->endLine();
        port->startDeluxeLine(3, kColorGrey127, 2, 1);
        port->endLine();
    }
    const std::string& t = out.text();
    EXPECT_EQ(CountOf(t, "10 20 30 Cz "), 1);
    EXPECT_EQ(CountOf(t, " Cz "), 1);
    EXPECT_EQ(CountOf(t, "127 Gz "), 2); // again after the clip's grestore
    EXPECT_EQ(CountOf(t, "/Gz {"), 1);
    EXPECT_EQ(CountOf(t, "/Cz {"), 1);
    EXPECT_EQ(CountOf(t, "3 Lw "), 1);
    EXPECT_EQ(CountOf(t, " Lds "), 1);
    // Dash units at 16 units per 16 points: u = 1.
    EXPECT_NE(t.find("/Ldt { [1 3] 0 setdash} bind def /Lds { [6] 0 setdash} bind def\n"),
              std::string::npos);
    EXPECT_EQ(t.find("0 Gz"), std::string::npos);
}

TEST_F(PostScriptTest, LongPathsAreCutEvery300Segments) {
    TextStream out;
    {
        auto port = NewPostScriptPort(out, Zone{0, 0, 1000, 1000, 0, 0}, nullptr, nullptr, 16, 0,
                                      false, false, false);
        port->startLine(1);
        port->moveTo(0, 0);
        for (int i = 1; i <= 301; ++i)
            port->lineTo(i, i % 2);
        port->endLine();
    }
    const std::string& t = out.text();
    EXPECT_EQ(CountOf(t, "Lz\n"), 301);
    // The stroke is cut at the 300th segment and picks up from the same point.
    EXPECT_NE(t.find("300 0 Lz\nSz\n300 0 Mz\n301 1 Lz\n"), std::string::npos);
    EXPECT_EQ(CountOf(t, "Sz\n"), 1);
    EXPECT_EQ(CountOf(t, " Sz \n"), 1);
}

TEST_F(PostScriptTest, APolygonsStrokeFollowsItsPointsOnTheirLine) {
    TextStream out;
    {
        auto port = NewPostScriptPort(out, Zone{0, 0, 100, 100, 0, 0}, nullptr, nullptr, 16, 0,
                                      false, false, false);
        const oPoint triangle[] = {{0, 0}, {20, 0}, {10, 10}};
        port->startLine(2); // the width is set: the polygon's own line has only its points
        port->endLine();
        port->paintPolygon(3, triangle, nullptr, 0, 2, 0);
        port->paintPolygon(3, triangle, &kColorRed, 0, 2, 0);
    }
    const std::string& t = out.text();
    // The outline alone, then filled and framed: the stroke closes each line as "Sz ".
    EXPECT_NE(t.find("\n10 10 Mz 0 0 Lz 20 0 Lz 10 10 Lz Sz \n"), std::string::npos) << t;
    EXPECT_NE(t.find("10 10 Lz gsave "), std::string::npos) << t;
    EXPECT_NE(t.find("fill\ngrestore Sz \n"), std::string::npos) << t;
}

TEST_F(PostScriptTest, SegmentsOutsideALineAreLoggedAndWritten) {
    TextStream out;
    {
        auto port = NewPostScriptPort(out, Zone{0, 0, 10, 10, 0, 0}, nullptr, nullptr, 16, 0, false,
                                      false, false);
        SetLoggedInformation("");
        port->moveTo(1, 2);
        port->lineTo(3, 4);
    }
    EXPECT_NE(std::string(LoggedInformation()).find("PS moveTo"), std::string::npos);
    EXPECT_NE(std::string(LoggedInformation()).find("PS lineTo"), std::string::npos);
    EXPECT_NE(out.text().find("1 2 Mz\n3 4 Lz\n"), std::string::npos);
}

TEST_F(PostScriptTest, TextIsEscapedAndSymbolTextUsesGlyphNames) {
    const int32_t serif = FontIndexForFace("Times New Roman", 12, false, false, false);
    const int32_t symbol = FontIndexForFace("Symbol", 12, false, false, false);
    TextStream out;
    {
        // 32 units per 16 points: a 12-point font is 24 units.
        auto port = NewPostScriptPort(out, Zone{0, 0, 400, 100, 0, 0}, nullptr, nullptr, 32, 0,
                                      true, false, false);
        port->drawString("a(b)\\c\xE9", serif, 10, 30);
        SetLoggedInformation("");
        port->drawString("ab\x80"
                         "c",
                         symbol, 10, 60);
    }
    const std::string& t = out.text();
    EXPECT_NE(t.find("10 70 /LiberationSerif 0 0 0 24 Tz\n(a\\(b\\)\\\\c\\351) tz \n"),
              std::string::npos)
        << t;
    EXPECT_NE(t.find("%%CF: LiberationSerif 12 24 " + std::to_string(serif) + " i\n"),
              std::string::npos);
    EXPECT_NE(t.find("10 40 /Symbol 0 0 0 24 Tz\n[/alpha/beta/chi] gs\n"), std::string::npos) << t;
    EXPECT_NE(t.find("%%US: Symbol 12 24 " + std::to_string(symbol) + " s\n"), std::string::npos);
    EXPECT_NE(std::string(LoggedInformation()).find("PS symbol byte"), std::string::npos);
    // The font procedures are defined once, for y up.
    EXPECT_EQ(CountOf(t, "/Tz {"), 1);
    EXPECT_NE(t.find("/fmat [ fsize 0 fital fsize 0 0 ]"), std::string::npos);
}

TEST_F(PostScriptTest, MonochromeImageRows) {
    oPixMap* pixmap = NewPixMap(Zone{0, 0, 10, 2, 0, 0}, 16, kPixelMonochrome);
    ASSERT_NE(pixmap, nullptr);
    pixmap->eraseZone(pixmap->bounds());
    pixmap->paintZone(Zone{0, 0, 1, 1, 0, 0}, kColorBlack); // top-left pixel dark
    TextStream out;
    {
        auto port = NewPostScriptPort(out, Zone{0, 0, 100, 100, 0, 0}, nullptr, nullptr, 16, 0,
                                      true, false, false);
        port->restorePix(20, 30, *pixmap);
    }
    delete pixmap;
    const std::string& t = out.text();
    // (10 + 7) / 8 = 2 bytes a row: 4 digits. imagemask paints 1 bits, so the dark pixel is the
    // one bit set.
    EXPECT_NE(t.find("10 2\ntrue [10 10 div 0 0 -2 2 div 20 70] 6 array invertmatrix\n{<\n8000\n"
                     "0000\n>}  imagemask\n"),
              std::string::npos)
        << t;
}

TEST_F(PostScriptTest, DoubleByteTextIsWrittenAsATurnableColourImage) {
    const int32_t serif = FontIndexForFace("Times New Roman", 12, false, false, false);
    TextStream out;
    Zone m;
    {
        auto port = NewPostScriptPort(out, Zone{0, 0, 200, 100, 0, 0}, nullptr, nullptr, 16, 0,
                                      false, false, false);
        port->measureString("ab", serif, m);
        port->drawAsianImage("ab", serif, 10, 40, nullptr, 0, 0);
        port->drawAsianImage("ab", serif, 10, 40, nullptr, 0, 9000);
        SetLoggedInformation("");
        port->drawImage(0, Zone{0, 0, 4, 4, 0, 0}, kColorBlack, kColorWhite, 0);
        EXPECT_NE(std::string(LoggedInformation()).find("PS::drawImage"), std::string::npos);
    }
    const std::string& t = out.text();
    const int32_t w = m.right - m.left, h = m.bottom - m.top;
    ASSERT_GT(w, 0);
    ASSERT_GT(h, 0);
    auto header = [](int32_t iw, int32_t ih, int32_t zw, int32_t zh, int32_t left, int32_t top) {
        return std::to_string(iw) + " " + std::to_string(ih) + "\n8 [" + std::to_string(zw) + " " +
               std::to_string(iw) + " div 0 0 " + std::to_string(zh) + " " + std::to_string(ih) +
               " div " + std::to_string(left) + " " + std::to_string(top) +
               "] 6 array invertmatrix\n{<\n";
    };
    // Upright: the image's baseline on the point.
    const std::size_t upright = t.find(header(w, h, w, h, 10, 40 - m.ref2));
    ASSERT_NE(upright, std::string::npos) << t;
    // A quarter turn: the map, its zone and the point turn together.
    const std::size_t turned = t.find(header(h, w, h, w, 40, -w - 10 - m.ref2));
    ASSERT_NE(turned, std::string::npos) << t;
    EXPECT_EQ(CountOf(t, " false 3 colorimage"), 2);
    // The rows of the upright image: h rows of 6 digits a pixel, some of them dark.
    std::istringstream rows(t.substr(upright));
    std::string line;
    for (int i = 0; i < 3; ++i)
        std::getline(rows, line);
    int dark = 0;
    for (int32_t r = 0; r < h; ++r) {
        ASSERT_TRUE(std::getline(rows, line));
        ASSERT_EQ(line.size(), static_cast<std::size_t>(6 * w));
        dark += line.find("000000") != std::string::npos;
    }
    EXPECT_GT(dark, 0);
}

// ---------------------------------------------------------------------------------------------
// Checked by the PostScript interpreter

std::string RunCommand(const std::string& command, int& status) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        status = -1;
        return output;
    }
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    status = pclose(pipe);
    return output;
}

bool HaveGhostscript() {
    int status = 0;
    RunCommand("gs --version 2>/dev/null", status);
    return status == 0;
}

void DrawSample(oPostScriptPort& port, int32_t serif, int32_t symbol, int32_t underlined) {
    const Color blue{0, 0, 200, 255};
    port.paintZone(Zone{4, 4, 60, 20, 0, 0}, Color{230, 230, 230, 255});
    port.frameZone(Zone{2, 2, 196, 98, 0, 0}, 1, kColorBlack, 1, 1);
    port.startDeluxeLine(2, blue, 2, 1);
    port.moveTo(10, 90);
    port.lineTo(60, 70);
    port.line(20, 10);
    port.move(5, -5);
    port.dotAt(100, 80);
    port.arct(120, 80, 130, 90, 5);
    port.endLine();
    const oPoint triangle[] = {{140, 10}, {180, 10}, {160, 40}};
    port.paintPolygon(3, triangle, &kColorRed, 1, 1, 0);
    port.paintPolygon(3, triangle, nullptr, 1, 0, 0);
    port.paintCircle(Zone{150, 60, 170, 80, 0, 0});
    port.paintHorn(Zone{100, 10, 110, 30, 0, 0}, 3, 1, 0);
    port.paintHorn(Zone{112, 10, 122, 30, 0, 0}, 3, 4, 1);
    port.integralSign(Zone{70, 30, 82, 70, 0, 0}, 14, 2, 3, 2, 0);
    const Zone clip{0, 0, 190, 95, 0, 0};
    port.clipToZone(&clip);
    port.drawString("x = (a+b)\xE9", serif, 10, 50);
    port.drawString("abg", symbol, 10, 30);
    port.drawString("under", underlined, 60, 90);
    port.clipToZone(nullptr);
}

TEST_F(PostScriptTest, GhostscriptAcceptsTheEpsAndItsBoundingBox) {
    if (!HaveGhostscript())
        GTEST_SKIP() << "gs is not installed";
    const int32_t serif = FontIndexForFace("Times New Roman", 12, false, false, false);
    const int32_t symbol = FontIndexForFace("Symbol", 12, false, false, false);
    const int32_t underlined = FontIndexForFace("Arial", 10, true, false, true);
    for (int32_t angle : {0, 9000, -9000, 18000}) {
        SCOPED_TRACE(angle);
        ClearDocumentFontList();
        AddDocumentFont(serif);
        AddDocumentFont(symbol);
        AddDocumentFont(underlined);
        TextStream out;
        {
            auto port = NewPostScriptPort(out, Zone{0, 0, 200, 100, 0, 0}, nullptr, nullptr, 16,
                                          angle, true, false, true);
            DrawSample(*port, serif, symbol, underlined);
        }
        char path[] = "/tmp/kvepsXXXXXX";
        const int fd = mkstemp(path);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, out.text().data(), out.text().size()),
                  static_cast<ssize_t>(out.text().size()));
        ::close(fd);
        int status = 0;
        // The bbox device reports what the drawing really covers.
        const std::string report = RunCommand(
            std::string("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=bbox ") + path + " 2>&1", status);
        std::remove(path);
        ASSERT_EQ(status, 0) << report;
        EXPECT_EQ(report.find("Error"), std::string::npos) << report;
        int x0 = -1, y0 = -1, x1 = -1, y1 = -1;
        const std::size_t at = report.find("%%BoundingBox:");
        ASSERT_NE(at, std::string::npos) << report;
        ASSERT_EQ(
            std::sscanf(report.c_str() + at, "%%%%BoundingBox: %d %d %d %d", &x0, &y0, &x1, &y1),
            4);
        const bool quarter = angle == 9000 || angle == -9000;
        const int w = quarter ? 100 : 200, h = quarter ? 200 : 100;
        // The drawing lies inside the declared box and fills most of it.
        EXPECT_GE(x0, 0);
        EXPECT_GE(y0, 0);
        EXPECT_LE(x1, w);
        EXPECT_LE(y1, h);
        EXPECT_GT(x1 - x0, w * 3 / 4);
        EXPECT_GT(y1 - y0, h * 3 / 4);
    }
}

TEST_F(PostScriptTest, ADocumentIsOpenFromItsHeaderUntilThePortGoes) {
    TextStream out;
    {
        auto embedded = NewPostScriptPort(out, Zone{0, 0, 10, 10, 0, 0}, nullptr, nullptr, 16, 0,
                                          false, false, false);
        EXPECT_EQ(PostScriptDocumentOpen, 0) << "a picture-embedded stream is no document";
    }
    {
        auto document = NewPostScriptPort(out, Zone{0, 0, 10, 10, 0, 0}, nullptr, nullptr, 16, 0,
                                          true, false, true);
        EXPECT_EQ(PostScriptDocumentOpen, 1);
    }
    EXPECT_EQ(PostScriptDocumentOpen, 0);
}

} // namespace
