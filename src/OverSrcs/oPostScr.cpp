#include "OverSrcs/oPostScr.h"

#include "OverPc/PERROR.h"
#include "OverPc/PPostScr.h"
#include "OverPc/PUTIL.h"
#include "OverPc/Presourc.h"
#include "OverSrcs/oRotate.h"
#include "OverSrcs/oStreams.h"
#include "OverSrcs/oUtil.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>

// ---------------------------------------------------------------------------------------------
// PostScript font names

namespace {

constexpr int kProductNameId = 430;
constexpr int kVersionTextId = 138;

bool s_rudizeAsSymbol = false;
bool s_simplified = false;
std::vector<DocumentFont> s_documentFonts; // newest first

void CopyName(char (&dst)[kPostScriptNameSize], const char* src) {
    CopyStringChecked(dst, src ? src : "", sizeof dst);
}

// Text for a header comment line: readers of the comments expect printable ASCII, so a month
// written out (the version text names its build month in French) becomes digits ("2026-12") and any
// other byte outside the printable range becomes '?'.
std::string CommentText(const char* text) {
    static constexpr const char* kMonths[] = {"janvier",
                                              "f\xe9"
                                              "vrier",
                                              "mars",
                                              "avril",
                                              "mai",
                                              "juin",
                                              "juillet",
                                              "ao\xfb"
                                              "t",
                                              "septembre",
                                              "octobre",
                                              "novembre",
                                              "d\xe9"
                                              "cembre"};
    std::string s = text ? text : "";
    for (int m = 0; m < 12; ++m) {
        const std::string name = kMonths[m];
        for (std::size_t at = s.find(name); at != std::string::npos; at = s.find(name, at + 1)) {
            const std::size_t year = at + name.size() + 1;
            if (year + 4 > s.size() || s[year - 1] != ' ' ||
                !std::all_of(s.begin() + static_cast<std::ptrdiff_t>(year),
                             s.begin() + static_cast<std::ptrdiff_t>(year + 4),
                             [](char c) { return c >= '0' && c <= '9'; }))
                continue;
            char digits[8];
            std::snprintf(digits, sizeof digits, "-%02d", m + 1);
            s.replace(at, name.size() + 5, s.substr(year, 4) + digits);
        }
    }
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
            c = '?';
    return s;
}

bool StartsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// Big-endian reads from a font file; false at the end of the file.
bool ReadU16(std::FILE* f, uint16_t& v) {
    unsigned char b[2];
    if (std::fread(b, 1, 2, f) != 2)
        return false;
    v = static_cast<uint16_t>((b[0] << 8) | b[1]);
    return true;
}

bool ReadU32(std::FILE* f, uint32_t& v) {
    unsigned char b[4];
    if (std::fread(b, 1, 4, f) != 4)
        return false;
    v = (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
    return true;
}

class FileCloser {
public:
    explicit FileCloser(std::FILE* f)
        : m_file(f) {}
    ~FileCloser() {
        if (m_file)
            std::fclose(m_file);
    }
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;

private:
    std::FILE* m_file;
};

} // namespace

bool GetTrueTypePostScriptName(const char* path, char* name, std::size_t size) {
    if (!path || !name || size == 0)
        return false;
    name[0] = 0;
    std::FILE* f = std::fopen(path, "rb");
    if (!f)
        return false;
    FileCloser closer(f);
    uint32_t version = 0;
    uint16_t tableCount = 0;
    if (!ReadU32(f, version) || version != 0x00010000u || !ReadU16(f, tableCount) ||
        std::fseek(f, 12, SEEK_SET) != 0)
        return false;
    uint32_t tableOffset = 0;
    bool found = false;
    for (uint16_t i = 0; i < tableCount && !found; ++i) {
        char tag[4];
        uint32_t checksum = 0, offset = 0, length = 0;
        if (std::fread(tag, 1, 4, f) != 4 || !ReadU32(f, checksum) || !ReadU32(f, offset) ||
            !ReadU32(f, length))
            return false;
        if (std::memcmp(tag, "name", 4) == 0) {
            tableOffset = offset;
            found = true;
        }
    }
    if (!found || std::fseek(f, static_cast<long>(tableOffset), SEEK_SET) != 0)
        return false;
    uint16_t format = 0, count = 0, stringOffset = 0;
    if (!ReadU16(f, format) || !ReadU16(f, count) || !ReadU16(f, stringOffset))
        return false;
    for (uint16_t i = 0; i < count; ++i) {
        uint16_t platform = 0, encoding = 0, language = 0, nameId = 0, length = 0, offset = 0;
        if (!ReadU16(f, platform) || !ReadU16(f, encoding) || !ReadU16(f, language) ||
            !ReadU16(f, nameId) || !ReadU16(f, length) || !ReadU16(f, offset))
            return false;
        // A name that does not fit the caller's buffer with its terminator is skipped.
        if (nameId != 6 || length == 0 || length >= size)
            continue;
        const long resume = std::ftell(f);
        if (resume < 0 ||
            std::fseek(f, static_cast<long>(tableOffset) + stringOffset + offset, SEEK_SET) != 0)
            return false;
        std::memset(name, 0, size);
        if (std::fread(name, 1, length, f) != length) {
            name[0] = 0;
            return false;
        }
        // Two-byte (UTF-16) names start with a zero byte; a one-byte record may follow.
        if (name[0] != 0)
            return true;
        if (std::fseek(f, resume, SEEK_SET) != 0)
            return false;
    }
    name[0] = 0;
    return false;
}

int FindFontFile(const std::vector<PostScriptFontFile>& files, const char* face, bool bold,
                 bool italic, std::string& path, bool strict) {
    if (!face || !face[0])
        return 0;
    const std::size_t faceLength = std::strlen(face);
    for (const PostScriptFontFile& file : files) {
        if (file.valueName.size() < faceLength ||
            strncasecmp(file.valueName.c_str(), face, faceLength) != 0)
            continue;
        if (strict) {
            const bool isItalic = file.valueName.find("Italic") != std::string::npos;
            const bool isBold = file.valueName.find("Bold") != std::string::npos;
            if (isItalic != italic || isBold != bold)
                continue;
        }
        path = file.path;
        return strict ? 2 : 1;
    }
    if (strict)
        return FindFontFile(files, face, bold, italic, path, false);
    return 0;
}

bool PostScriptFontName(char (&name)[kPostScriptNameSize], const char* face, uint8_t pitchAndFamily,
                        int32_t style) {
    struct Prefix {
        const char* text;
        char family;
    };
    static const Prefix kPrefixes[] = {
        {"Book", 'B'},    {"Courier", 'C'},  {"Fixedsys", 'C'}, {"MS Sans Serif", 'H'},
        {"Helv", 'H'},    {"Arial", 'H'},    {"System", 'H'},   {"Century", 'N'},
        {"Symbol", 'S'},  {"MS Serif", 'T'}, {"Times", 'T'},    {"Roman", 'T'},
        {"Tms Rmn", 'T'},
    };
    const char* faceName = face ? face : "";
    char family = 0;
    for (const Prefix& p : kPrefixes) {
        if (StartsWith(faceName, p.text)) {
            family = p.family;
            break;
        }
    }
    if (!family) {
        if (!faceName[0])
            family = 'T';
        else if (pitchAndFamily & 0x04) // an outline font keeps its own name
            family = 0;
        else if ((pitchAndFamily & 0xF0) == 0x10)
            family = 'T';
        else if ((pitchAndFamily & 0xF0) == 0x20)
            family = 'H';
        else if ((pitchAndFamily & 0xF0) == 0x30)
            family = 'C';
    }
    if (!family) {
        CopyName(name, faceName);
        return false;
    }
    static const char* const kNames[][4] = {
        {"Bookman-Light", "Bookman-Demi", "Bookman-LightItalic", "Bookman-DemiItalic"},
        {"Courier", "Courier-Bold", "Courier-Oblique", "Courier-BoldOblique"},
        {"Helvetica", "Helvetica-Bold", "Helvetica-Oblique", "Helvetica-BoldOblique"},
        {"NewCenturySchlbk-Roman", "NewCenturySchlbk-Bold", "NewCenturySchlbk-Italic",
         "NewCenturySchlbk-BoldItalic"},
        {"Symbol", "Symbol", "Symbol", "Symbol"},
        {"Times-Roman", "Times-Bold", "Times-Italic", "Times-BoldItalic"},
    };
    static const char kFamilies[] = "BCHNST";
    const int row = static_cast<int>(std::strchr(kFamilies, family) - kFamilies);
    CopyName(name, kNames[row][style & 3]);
    // The styled families name their bold and italic members; the symbol face has none.
    return family != 'S';
}

void PostScriptNameOfFont(const PostScriptFontInfo& info,
                          const std::vector<PostScriptFontFile>& files,
                          char (&name)[kPostScriptNameSize], uint8_t& bold, uint8_t& italic) {
    bold = (info.style & 1) ? 1 : 0;
    italic = (info.style & 2) ? 1 : 0;
    std::string path;
    const char* made = info.madeFace[0] ? info.madeFace : info.faceName;
    int found = FindFontFile(files, made, info.madeBold, info.madeItalic, path, true);
    if (found && GetTrueTypePostScriptName(path.c_str(), name, kPostScriptNameSize)) {
        if (found == 2)
            bold = italic = 0; // the file already carries the style
        return;
    }
    if (!found) {
        // No file of the face: the names of the substitute serif face.
        char substitute[kPostScriptFaceNameSize] = {};
        PostScriptMadeFace("Times", bold != 0, italic != 0, substitute);
        found = FindFontFile(files, substitute[0] ? substitute : "Times", bold != 0, italic != 0,
                             path, true);
        if (found && GetTrueTypePostScriptName(path.c_str(), name, kPostScriptNameSize)) {
            if (found == 2)
                bold = italic = 0;
            return;
        }
    }
    if (PostScriptFontName(name, info.faceName, info.pitchAndFamily, info.style))
        bold = italic = 0;
}

bool PostScriptFontFacts(int32_t fontIndex, char (&name)[kPostScriptNameSize], int32_t& size,
                         uint8_t& bold, uint8_t& italic, uint8_t& underline, char& fontClass) {
    PostScriptFontInfo info;
    if (!PostScriptFontInfoOf(fontIndex, info)) {
        // An index the font table does not know: the default serif face.
        PostScriptFontName(name, "", 0, 0);
        size = 12;
        bold = italic = underline = 0;
        fontClass = 'i';
        return true;
    }
    size = info.size;
    underline = (info.style & 4) ? 1 : 0;
    fontClass = info.faceId == info.symbolFaceId ? 's' : 'i';
    PostScriptNameOfFont(info, InstalledPostScriptFontFiles(), name, bold, italic);
    if (!name[0])
        CopyName(name, info.faceName);
    return true;
}

std::string PostScriptNameToken(const char* name) {
    std::string out;
    for (const char* p = name ? name : ""; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c <= ' ' || c >= 0x7F || std::strchr("()<>[]{}/%", c))
            continue;
        out += static_cast<char>(c);
    }
    return out.empty() ? std::string("Times-Roman") : out;
}

void ClearDocumentFontList() {
    s_documentFonts.clear();
}

void AddDocumentFont(int32_t fontIndex) {
    for (const DocumentFont& f : s_documentFonts)
        if (f.fontIndex == fontIndex)
            return;
    DocumentFont entry;
    entry.fontIndex = fontIndex;
    int32_t size = 0;
    uint8_t bold = 0, italic = 0, underline = 0;
    PostScriptFontFacts(fontIndex, entry.name, size, bold, italic, underline, entry.fontClass);
    for (const DocumentFont& f : s_documentFonts)
        if (std::strcmp(f.name, entry.name) == 0)
            return;
    s_documentFonts.insert(s_documentFonts.begin(), entry);
}

const std::vector<DocumentFont>& DocumentFontList() {
    return s_documentFonts;
}

void SetPostScriptRudizeAsSymbol(bool on) {
    s_rudizeAsSymbol = on;
}

bool PostScriptRudizeAsSymbol() {
    return s_rudizeAsSymbol;
}

void SetPostScriptSimplified(bool on) {
    s_simplified = on;
}

// ---------------------------------------------------------------------------------------------
// oPostScriptPort

namespace {

// The device record of a PostScript port: it draws on no device.
PortDevice* const kPostScriptDevice =
    reinterpret_cast<PortDevice*>(static_cast<std::intptr_t>(-111));

// Paths are cut after this many segments to stay within interpreter limits.
constexpr int32_t kMaxPathSegments = 300;

// A PostScript string of the bytes: printable ASCII as is (with the delimiters escaped), other
// bytes as octal escapes.
std::string PostScriptStringLiteral(const char* text) {
    std::string s = "(";
    for (const char* p = text; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 32 && c <= 126) {
            if (c == '(' || c == ')' || c == '\\')
                s += '\\';
            s += static_cast<char>(c);
        } else {
            char octal[8];
            std::snprintf(octal, sizeof octal, "\\%03o", c);
            s += octal;
        }
    }
    return s + ")";
}

// The glyph names of symbol-font bytes as a PostScript array.
std::string SymbolGlyphArray(const char* text) {
    std::string s = "[";
    for (const char* p = text; *p; ++p) {
        const char* glyph = SymbolGlyphName(static_cast<uint8_t>(*p));
        if (!glyph) {
            // No glyph of the symbol font: left out rather than breaking the array.
            KV_ASSERT_FAILED("PS symbol byte without a glyph");
            continue;
        }
        s += '/';
        s += glyph;
    }
    return s + "]";
}

// Integer division truncating toward zero, as the outline table's arithmetic expects.
int32_t Div(int32_t a, int32_t b) {
    return a / b;
}

} // namespace

oPostScriptPort::oPostScriptPort(oOStream& stream, const Zone& zone, const oPoint* origin,
                                 int32_t resolution, int32_t angle, bool flip, bool header)
    : m_stream(&stream)
    , m_angle(flip ? -angle : angle)
    , m_flip(flip)
    , m_header(header)
    , m_simplified(s_simplified) {
    adoptDevice(kPostScriptDevice);
    // A resolution of 0 or less would divide by zero below: 300 dots per inch instead.
    setResolution(resolution > 0 ? resolution : ResolutionForDpi(300));
    m_flag = 1;
    m_width = zone.width();
    m_height = zone.height();
    m_bounds = zone;
    m_clip = zone;
    if (origin) {
        m_originX = -origin->x;
        m_originY = -origin->y;
    }
    // Whole points outwards: a box rounded to the nearest would cut up to half a point of the
    // picture's edge off.
    const auto points = [&](int32_t units, bool up) {
        const double exact = static_cast<double>(units) * 16 / m_resolution;
        return static_cast<int32_t>(up ? std::ceil(exact - 1e-9) : std::floor(exact + 1e-9));
    };
    Zone box{points(zone.left, false),
             points(zone.top, false),
             points(zone.right, true),
             points(zone.bottom, true),
             0,
             0};
    box = RotateZone(m_angle, box);
    if (origin)
        ZoneOffset(box, -origin->x, -origin->y);
    ZoneOffset(box, -box.left, -box.top);
    m_pageBox = box;
}

oPostScriptPort* oPostScriptPort::clone() const {
    KV_ASSERT_FAILED("oPostScriptPort::clone");
    return nullptr;
}

uint8_t PostScriptDocumentOpen = 0;

oPostScriptPort::~oPostScriptPort() {
    if (m_header)
        PostScriptDocumentOpen = 0;
    // No abort polling here: a destructor must not raise.
    try {
        m_stream->writeLine("grestore");
        if (m_header) {
            m_stream->writeLine("%%Trailer");
            if (m_save)
                m_stream->writeLine("restore");
        }
    } catch (...) {
    }
}

std::unique_ptr<oPostScriptPort> NewPostScriptPort(oOStream& stream, const Zone& zone,
                                                   const oPoint* origin, const oPoint* translation,
                                                   int32_t resolution, int32_t angle, bool flip,
                                                   bool /*ignored*/, bool header) {
    auto port =
        std::make_unique<oPostScriptPort>(stream, zone, origin, resolution, angle, flip, header);
    const char* product = LoadResString(kProductNameId);
    std::string title = std::string(product ? product : "") + " Printing";
    port->writeHeader(title.c_str(), translation);
    return port;
}

// ---- Writing helpers ----------------------------------------------------------------------------

bool oPostScriptPort::defineOnce(uint32_t family) {
    if (m_defined & family)
        return false;
    m_defined |= family;
    return true;
}

void oPostScriptPort::poll() {
    CheckUserAbort();
}

void oPostScriptPort::word(const char* text) {
    m_stream->writeString(text);
}

void oPostScriptPort::endOfLine(const char* text) {
    m_stream->writeLine(text);
    poll();
}

void oPostScriptPort::coord(int32_t value) {
    m_stream->printf("%d ", value);
    poll();
}

void oPostScriptPort::noteInk(double x, double y, double reach) {
    if (m_ink[2] < m_ink[0]) {
        m_ink[0] = m_ink[2] = x;
        m_ink[1] = m_ink[3] = y;
    }
    m_ink[0] = std::min(m_ink[0], x - reach);
    m_ink[1] = std::min(m_ink[1], y - reach);
    m_ink[2] = std::max(m_ink[2], x + reach);
    m_ink[3] = std::max(m_ink[3], y + reach);
}

void oPostScriptPort::noteSegment(double x1, double y1, double x2, double y2, double half,
                                  bool joined) {
    const double length = std::hypot(x2 - x1, y2 - y1);
    if (length == 0) {
        noteInk(x1, y1, half);
        return;
    }
    const double ux = (x2 - x1) / length, uy = (y2 - y1) / length;
    // The projecting ends reach half the width past each end, and half the width to each side.
    for (double side : {-half, half}) {
        noteInk(x1 - ux * half - uy * side, y1 - uy * half + ux * side, 0);
        noteInk(x2 + ux * half - uy * side, y2 + uy * half + ux * side, 0);
    }
    // A mitre reaches out along the corner's bisector, up to the limit set in the prolog (2)
    // times half the width; beyond it the corner is bevelled, inside the two segments.
    const double cosine = -(m_lastDirection[0] * ux + m_lastDirection[1] * uy);
    if (joined && cosine > -1 + 1e-9 && cosine < 1 - 1e-9) {
        const double ratio = 1 / std::sqrt((1 - cosine) / 2);
        const double bx = m_lastDirection[0] - ux, by = m_lastDirection[1] - uy;
        const double b = std::hypot(bx, by);
        if (ratio <= 2 && b > 0)
            noteInk(x1 + bx / b * half * ratio, y1 + by / b * half * ratio, 0);
    }
    m_lastDirection[0] = ux;
    m_lastDirection[1] = uy;
}

double oPostScriptPort::pathOffset() const {
    // An unknown width is the graphics state's initial one.
    return (m_lineWidth >= 0 ? m_lineWidth : 1) * 0.5;
}

Zone oPostScriptPort::inkBounds() const {
    if (m_ink[2] < m_ink[0])
        return Zone{};
    return Zone{static_cast<int32_t>(std::floor(m_ink[0] + 1e-9)),
                static_cast<int32_t>(std::floor(m_ink[1] + 1e-9)),
                static_cast<int32_t>(std::ceil(m_ink[2] - 1e-9)),
                static_cast<int32_t>(std::ceil(m_ink[3] - 1e-9)),
                0,
                0};
}

void oPostScriptPort::point(int32_t x, int32_t y) {
    noteInk(x, y, 0);
    coord(x);
    coord(m_flip ? m_height - y : y);
}

void oPostScriptPort::number(double value) {
    m_stream->printf("%.6g ", value == 0 ? 0.0 : value);
    poll();
}

void oPostScriptPort::pathPoint(int32_t x, int32_t y, bool move, bool newLine) {
    if (!m_simplified) {
        point(x, y);
        const char* op = move ? "Mz" : "Lz";
        if (newLine)
            endOfLine(op);
        else {
            word(op);
            word(" ");
        }
        return;
    }
    // The line procedures move every point by half the line width, right and down the page.
    const double half = pathOffset();
    number(x + half);
    number((m_flip ? m_height - y : y) + (m_flip ? -half : half));
    if (newLine)
        endOfLine(move ? "moveto" : "lineto");
    else
        word(move ? "moveto " : "lineto ");
}

void oPostScriptPort::stroke(bool newLine) {
    const char* op = m_simplified ? " stroke " : " Sz ";
    if (newLine)
        endOfLine(op);
    else
        word(op);
}

void oPostScriptPort::setLineWidth(int32_t width) {
    if (width == m_lineWidth)
        return;
    if (m_simplified) {
        coord(width);
        word("setlinewidth ");
        m_lineWidth = width;
        return;
    }
    if (defineOnce(kDefLw))
        endOfLine("/Lw {setlinewidth} bind def");
    coord(width);
    word("Lw ");
    m_lineWidth = width;
}

void oPostScriptPort::setColor(const Color& color) {
    if (color.r == m_color.r && color.g == m_color.g && color.b == m_color.b)
        return;
    if (m_simplified) {
        if (color.r == color.g && color.g == color.b) {
            number(color.r / 255.0);
            word("setgray ");
        } else {
            number(color.r / 255.0);
            number(color.g / 255.0);
            number(color.b / 255.0);
            word("setrgbcolor ");
        }
        m_color = color;
        return;
    }
    if (color.r == color.g && color.g == color.b) {
        if (defineOnce(kDefGz))
            endOfLine("\n/Gz {255 div setgray} bind def");
        m_stream->printf("%d ", color.r);
        word("Gz ");
    } else {
        if (defineOnce(kDefCz))
            endOfLine("\n/Cz { 3 2 roll 255 div 3 1 roll 255 div exch 255 div exch setrgbcolor} "
                      "bind def");
        m_stream->printf("%d %d %d ", color.r, color.g, color.b);
        word("Cz ");
    }
    poll();
    m_color = color;
}

void oPostScriptPort::setDash(int32_t style) {
    // Styles beyond the three that PostScript output knows draw solid.
    const int32_t dash = (style == 1 || style == 2) ? style : 0;
    if (dash == m_dash)
        return;
    if (m_simplified) {
        const int32_t u = std::max(1, m_resolution / 32);
        if (dash == 0)
            word(" [] 0 setdash ");
        else if (dash == 1)
            m_stream->printf(" [%d %d] 0 setdash ", u, 3 * u);
        else
            m_stream->printf(" [%d] 0 setdash ", 6 * u);
        m_dash = dash;
        return;
    }
    if (defineOnce(kDefDash)) {
        const int32_t u = std::max(1, m_resolution / 32);
        endOfLine("/Ls { [] 0 setdash} bind def");
        m_stream->printf("/Ldt { [%d %d] 0 setdash} bind def /Lds { [%d] 0 setdash} bind def\n", u,
                         3 * u, 6 * u);
        poll();
    }
    word(dash == 0 ? " Ls " : dash == 1 ? " Ldt " : " Lds ");
    m_dash = dash;
}

// ---- Header and prolog --------------------------------------------------------------------------

void oPostScriptPort::writeHeader(const char* title, const oPoint* translation) {
    const int32_t boxWidth = m_pageBox.right - m_pageBox.left;
    const int32_t boxHeight = m_pageBox.bottom - m_pageBox.top;
    if (m_header) {
        PostScriptDocumentOpen = 1;
        const char* product = LoadResString(kProductNameId);
        const char* version = LoadResString(kVersionTextId);
        endOfLine("%!PS-Adobe-2.0 EPSF-1.2");
        m_stream->printf("%%%%Creator: %s (R) ", CommentText(product).c_str());
        m_stream->printf("version %s\n", CommentText(version).c_str());
        m_stream->printf("%%%%Title:%s\n", CommentText(title).c_str());
        char date[kDateTextSize] = {};
        CurrentDateText(date, sizeof date);
        m_stream->printf("%%%%CreationDate:%s\n", date);
        endOfLine("%%Pages 0");
        for (const char* comment : {"%%DocumentFonts: ", "%%DocumentNeededFonts: "}) {
            word(comment);
            for (const DocumentFont& font : s_documentFonts) {
                word(" ");
                // Named as the text that uses it will name it.
                const bool replaced = s_rudizeAsSymbol && std::strcmp(font.name, "Rudize") == 0;
                word(PostScriptNameToken(replaced ? "Symbol" : font.name).c_str());
            }
            endOfLine("");
        }
        m_stream->printf("%%%%BoundingBox: 0 0 %d %d \n", boxWidth, boxHeight);
        endOfLine("%%EndComments");
        endOfLine("save");
    }
    endOfLine("2 setlinecap 0 setlinejoin  2 setmiterlimit");
    if (!m_simplified)
        endOfLine(
            "6 array currentmatrix aload pop pop pop abs exch abs add exch abs add exch abs add 2 "
            "exch div /onepx exch def");
    const double s = 16.0 / m_resolution;
    const double w = m_width * s;
    const double h = m_height * s;
    double matrix[6] = {s, 0, 0, s, 0, 0};
    switch ((m_angle / 9000) & 3) {
    case 1:
        matrix[0] = 0, matrix[1] = -s, matrix[2] = s, matrix[3] = 0, matrix[4] = 0, matrix[5] = w;
        break;
    case 2:
        // A half turn is moved back onto the page, like the quarter turns.
        matrix[0] = -s, matrix[1] = 0, matrix[2] = 0, matrix[3] = -s, matrix[4] = w, matrix[5] = h;
        break;
    case 3:
        matrix[0] = 0, matrix[1] = s, matrix[2] = -s, matrix[3] = 0, matrix[4] = h, matrix[5] = 0;
        break;
    default:
        break;
    }
    for (double& v : matrix)
        if (v == 0)
            v = 0; // never "-0"
    m_stream->printf("[ %.12g %.12g %.12g %.12g %.12g %.12g ] concat\n", matrix[0], matrix[1],
                     matrix[2], matrix[3], matrix[4], matrix[5]);
    poll();
    m_defined = 0;
    if (m_header)
        endOfLine("%%EndProlog");
    if (translation) {
        coord(translation->x);
        coord(translation->y);
        endOfLine(" translate");
    }
    endOfLine("gsave");
    if (!m_simplified && defineOnce(kDefLines)) {
        const char* sign = m_flip ? " sub " : " add ";
        endOfLine("/bdef {bind def} bind def");
        endOfLine("/gs {{glyphshow} forall} bdef");
        endOfLine("/Sz /stroke load def ");
        m_stream->printf("/Mz {currentlinewidth .5 mul %s exch currentlinewidth .5 mul add exch "
                         "moveto} bind def \n",
                         sign);
        m_stream->printf("/Lz {currentlinewidth .5 mul %s exch currentlinewidth .5 mul add exch "
                         "lineto} bind def \n",
                         sign);
        poll();
    }
}

// ---- Lines --------------------------------------------------------------------------------------

void oPostScriptPort::startDeluxeLine(int32_t width, const Color& color, int32_t style,
                                      int32_t /*mode*/) {
    setLineWidth(width);
    setColor(color);
    setDash(style);
    m_pathLength = 1;
}

void oPostScriptPort::moveTo(int32_t x, int32_t y) {
    if (m_pathLength == 0)
        KV_ASSERT_FAILED("PS moveTo");
    pathPoint(x, y, true, true);
    m_current = oPoint{x, y};
    m_lastDirection[0] = m_lastDirection[1] = 0;
}

void oPostScriptPort::lineTo(int32_t x, int32_t y) {
    if (m_pathLength == 0)
        KV_ASSERT_FAILED("PS lineTo");
    pathPoint(x, y, false, true);
    const double half = pathOffset();
    noteSegment(m_current.x + half, m_current.y + half, x + half, y + half, half,
                m_lastDirection[0] != 0 || m_lastDirection[1] != 0);
    ++m_pathLength;
    m_current = oPoint{x, y};
    if (m_pathLength > kMaxPathSegments) {
        endOfLine(m_simplified ? "stroke" : "Sz");
        pathPoint(x, y, true, true);
        m_pathLength = 1;
        m_lastDirection[0] = m_lastDirection[1] = 0;
    }
}

void oPostScriptPort::move(int32_t dx, int32_t dy) {
    moveTo(m_current.x + dx, m_current.y + dy);
}

void oPostScriptPort::line(int32_t dx, int32_t dy) {
    lineTo(m_current.x + dx, m_current.y + dy);
}

void oPostScriptPort::endLine() {
    stroke(true);
    m_pathLength = 0;
}

void oPostScriptPort::arct(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t radius) {
    for (const oPoint& p : {oPoint{x1, y1}, oPoint{x2, y2}})
        noteInk(p.x, p.y, pathOffset());
    point(x1, y1);
    point(x2, y2);
    coord(radius);
    endOfLine("arct");
}

void oPostScriptPort::dotAt(int32_t x, int32_t y) {
    // The dot has the line's colour and width; before any width is set, the hairline's.
    const int32_t width = m_lineWidth > 0 ? m_lineWidth : m_lineUnit;
    const int32_t h = width >> 1;
    const Color saved = m_color;
    endOfLine("gsave");
    circle(Zone{x - h, y - h, x + h, y + h, 0, 0});
    endOfLine("grestore ");
    m_color = saved;
}

// ---- Areas --------------------------------------------------------------------------------------

void oPostScriptPort::paintZone(const Zone& zone, const Color& color) {
    setColor(color);
    point(zone.left, zone.top);
    endOfLine("moveto");
    point(zone.right, zone.top);
    endOfLine("lineto");
    point(zone.right, zone.bottom);
    endOfLine("lineto");
    point(zone.left, zone.bottom);
    endOfLine("lineto closepath fill");
}

void oPostScriptPort::eraseZone(const Zone& zone) {
    paintZone(zone, m_backColor);
}

void oPostScriptPort::eraseArea(const GdiObjectRef&) {}

void oPostScriptPort::frameZone(const Zone& zone, int32_t width, const Color& color, int32_t style,
                                int32_t mode) {
    startDeluxeLine(width, color, style, mode);
    moveTo(zone.left, zone.top);
    lineTo(zone.right - width, zone.top);
    lineTo(zone.right - width, zone.bottom - width);
    lineTo(zone.left, zone.bottom - width);
    lineTo(zone.left, zone.top);
    endLine();
}

void oPostScriptPort::paintPolygon(int32_t count, const oPoint* points, const Color* fill,
                                   int32_t /*mode*/, int32_t outline, int32_t /*extra*/) {
    if (count <= 0 || !points)
        return;
    // An open polyline with no width is a hairline, as on the screen; without this the path would
    // stay behind and be filled by the next area drawn.
    if (!fill && outline <= 0)
        outline = m_lineUnit;
    // The path's points are moved by half the width the line procedures find; the outline is
    // stroked at its own width.
    const double offset = pathOffset();
    for (int32_t i = 0; i < count; ++i) {
        const oPoint& from = points[i == 0 ? count - 1 : i - 1];
        if (fill)
            noteInk(points[i].x + offset, points[i].y + offset, 0);
        if (outline > 0)
            noteSegment(from.x + offset, from.y + offset, points[i].x + offset,
                        points[i].y + offset, outline * 0.5, i > 0);
    }
    pathPoint(points[count - 1].x, points[count - 1].y, true, false);
    for (int32_t i = 0; i < count; ++i)
        pathPoint(points[i].x, points[i].y, false, false);
    const Color saved = m_color;
    if (fill && outline > 0)
        word("gsave ");
    if (fill) {
        setColor(*fill);
        endOfLine("fill");
    }
    if (outline > 0) {
        if (fill) {
            word("grestore ");
            m_color = saved;
        }
        setLineWidth(outline);
        setColor(m_foreColor);
        // The points end with a blank already: the stroke follows them directly.
        endOfLine(m_simplified ? "stroke " : "Sz ");
    }
}

void oPostScriptPort::circle(const Zone& zone) {
    noteInk(zone.left, zone.top, 0);
    noteInk(zone.right, zone.bottom, 0);
    if (m_simplified) {
        // The disc on the zone's width, grown from the same corner as below.
        const double r = (zone.right - zone.left) * 0.5;
        word("newpath ");
        number(zone.left + r);
        number((m_flip ? m_height - zone.bottom : zone.top) + r);
        number(r);
        endOfLine("0 360 arc fill");
        return;
    }
    if (defineOnce(kDefRz))
        endOfLine("/Rz {newpath onepx sub .5 mul exch 1 index add 3 1 roll exch 1 index add 3 1 "
                  "roll 0 360 arc fill} bind def");
    // Rz grows the circle from its corner towards larger page coordinates: the bottom edge when y
    // points up, the top edge when it points down.
    point(zone.left, m_flip ? zone.bottom : zone.top);
    coord(zone.right - zone.left);
    endOfLine("Rz");
}

void oPostScriptPort::paintCircle(const Zone& zone) {
    setColor(m_foreColor);
    circle(zone);
}

void oPostScriptPort::clipToZone(const Zone* zone) {
    if (zone) {
        Zone inner;
        if (!ZoneIntersect(*zone, m_bounds, inner))
            inner = Zone{m_bounds.left, m_bounds.top, m_bounds.left, m_bounds.top, 0, 0};
        m_clip = inner;
    } else {
        m_clip = m_bounds;
    }
    const Zone& c = m_clip;
    word(" grestore gsave ");
    point(c.left, c.top);
    word(" moveto ");
    point(c.right, c.top);
    word(" lineto ");
    point(c.right, c.bottom);
    word(" lineto ");
    point(c.left, c.bottom);
    endOfLine(" lineto clip newpath ");
    // The grestore dropped the graphics state the cache describes.
    m_dash = 0;
    m_lineWidth = -1;
    m_color = kColorBlack;
}

void oPostScriptPort::setColors(const Color* foreground, const Color* background) {
    m_foreColor = foreground ? *foreground : kColorBlack;
    m_backColor = background ? *background : kColorWhite;
}

// ---- Horns and integral signs -------------------------------------------------------------------

void oPostScriptPort::paintHorn(const Zone& zone, int32_t w, int32_t c, int32_t vertical) {
    setColor(m_foreColor);
    if (!m_simplified && defineOnce(kDefH))
        endOfLine("/H {newpath moveto 2 copy curveto 2 copy curveto fill} bind def");
    const int32_t L = zone.left, T = zone.top, R = zone.right, B = zone.bottom;
    oPoint p[5];
    if (!vertical) {
        int32_t y1 = T, y2 = B;
        if (c & 2)
            std::swap(y1, y2);
        if (c < 3)
            p[0] = {R, y1}, p[1] = {R, y2}, p[2] = {R - w, y1}, p[3] = {L, y1}, p[4] = {R - w, y2};
        else
            p[0] = {L, y1}, p[1] = {L, y2}, p[2] = {L + w, y1}, p[3] = {R, y1}, p[4] = {L + w, y2};
    } else {
        int32_t x1 = L, x2 = R;
        if (c & 2)
            std::swap(x1, x2);
        if (c < 3)
            p[0] = {x1, B}, p[1] = {x2, B}, p[2] = {x1, B - w}, p[3] = {x1, T}, p[4] = {x2, B - w};
        else
            p[0] = {x1, T}, p[1] = {x2, T}, p[2] = {x1, T + w}, p[3] = {x1, B}, p[4] = {x2, T + w};
    }
    if (m_simplified) {
        // From the fifth point, two curves through the others, filled.
        word("newpath ");
        point(p[4].x, p[4].y);
        word("moveto ");
        for (int i : {2, 3, 3})
            point(p[i].x, p[i].y);
        word("curveto ");
        for (int i : {0, 1, 1})
            point(p[i].x, p[i].y);
        endOfLine("curveto fill");
        return;
    }
    for (const oPoint& q : p)
        point(q.x, q.y);
    endOfLine("H");
}

void oPostScriptPort::integralOutline(const Zone& z, int32_t t) {
    struct Row {
        int32_t tx, ty, fx, fy;
    };
    static const Row kRows[9] = {{16, -32, 1, -1}, {52, -32, 1, -1}, {16, 8, 1, -1},
                                 {16, -28, 1, -1}, {-8, -28, 1, -1}, {0, 0, 1, -1},
                                 {0, 0, 1, 0},     {0, 0, 1, 1},     {0, 32, -1, 1}};
    setColor(m_foreColor);
    const int32_t m = z.right - z.left;
    const int32_t r = Div(m - t, 2);
    const int32_t iw = m - 2 * r;
    const int32_t ih = (z.bottom - z.top) - 2 * r;
    const int32_t ox = z.left + r, oy = z.top + r;
    auto pointAt = [&](int k) {
        k %= 18;
        Row row = kRows[k % 9];
        if (k >= 9)
            row = Row{-row.tx, -row.ty, -row.fx, -row.fy};
        const int32_t x = row.fx < 0 ? Div(r * row.tx - 16, 32) : Div(r * row.tx + 16, 32) + iw;
        const int32_t y = row.fy < 0    ? Div(r * row.ty - 16, 32)
                          : row.fy == 0 ? Div(ih, 2)
                                        : Div(r * row.ty + 16, 32) + ih;
        point(ox + x, oy + y);
    };
    pointAt(0);
    endOfLine("moveto");
    for (int curve = 0; curve < 6; ++curve) {
        for (int i = 1; i <= 3; ++i)
            pointAt(curve * 3 + i);
        endOfLine("curveto");
    }
    endOfLine("fill");
}

void oPostScriptPort::contourSimplified(const Zone& zone, int32_t step, int32_t count,
                                        int32_t flags) {
    const auto pageY = [&](int32_t y) { return static_cast<double>(m_flip ? m_height - y : y); };
    const double half = (zone.right - zone.left) * 0.5;
    const double middle = (pageY(zone.top) + pageY(zone.bottom)) * 0.5;
    const double top = middle - half, bottom = middle + half;
    const double left = zone.left, right = (count - 1) * step + zone.right;
    const double centreX = (left + right) * 0.5, centreY = (top + bottom) * 0.5;
    const auto curve = [&](double x1, double y1, double x2, double y2) {
        number(x1);
        number(y1);
        for (int i = 0; i < 2; ++i) {
            number(x2);
            number(y2);
        }
        endOfLine("curveto");
    };
    word("newpath ");
    number(left);
    number(centreY);
    endOfLine("moveto");
    curve(left, top, centreX, top);
    curve(right, top, right, centreY);
    curve(right, bottom, centreX, bottom);
    curve(left, bottom, left, centreY);
    endOfLine("stroke");
    if (flags & 2) {
        const double h = step * (m_flip ? -1.0 : 1.0) / 6;
        number((flags & 1) ? right : left);
        number(centreY);
        word("moveto ");
        number(-h);
        number(h);
        word("rmoveto ");
        number(h);
        number(-h);
        word("rlineto ");
        number(h);
        number(h);
        endOfLine("rlineto stroke");
    }
}

void oPostScriptPort::integralSign(const Zone& zone, int32_t step, int32_t count, int32_t flags,
                                   int32_t thickness, int32_t /*orientation*/) {
    Zone z = zone;
    for (int32_t i = 0; i < count; ++i) {
        integralOutline(z, thickness);
        ZoneOffset(z, step, 0);
    }
    if ((flags & 3) == 0)
        return;
    // The ring round the signs, stroked a sixth of the thickness wide, and its arrowhead.
    const double ringHalf = thickness / 12.0;
    const double middle = (zone.top + zone.bottom) * 0.5;
    const double radius = (zone.right - zone.left) * 0.5;
    for (double x : {double(zone.left), double((count - 1) * step + zone.right)})
        for (double y : {middle - radius, middle + radius})
            noteInk(x, y, ringHalf);
    if (flags & 2)
        noteInk((flags & 1) ? (count - 1) * step + zone.right : zone.left, middle,
                std::abs(step) / 6.0 + ringHalf);
    coord(thickness);
    endOfLine("6 div setlinewidth");
    m_lineWidth = -1;
    if (m_simplified) {
        contourSimplified(zone, step, count, flags);
        return;
    }
    point(zone.left, zone.top);
    point((count - 1) * step + zone.right, zone.bottom);
    endOfLine("3 2 roll add .5 mul");
    coord(zone.right - zone.left);
    endOfLine("2 div 2 copy sub /TO exch def add /BO exch def /RI exch def /LE exch def");
    endOfLine("newpath LE TO BO add 2 div moveto LE TO LE RI add 2 div TO 2 copy curveto");
    endOfLine("RI TO RI TO BO add 2 div 2 copy curveto");
    endOfLine("RI BO RI LE add 2 div BO 2 copy curveto");
    endOfLine("LE BO LE BO TO add 2 div 2 copy curveto stroke");
    if (flags & 2) {
        coord(step);
        if (m_flip)
            word(" neg ");
        endOfLine("6 div /HE exch def");
        word((flags & 1) ? "RI " : "LE ");
        endOfLine(
            "TO BO add 2 div moveto HE neg HE rmoveto HE HE neg rlineto HE HE rlineto stroke");
    }
}

// ---- Text ---------------------------------------------------------------------------------------

const oPostScriptPort::FontFacts& oPostScriptPort::factsOf(int32_t font) {
    for (const FontFacts& f : m_fonts)
        if (f.font == font)
            return f;
    FontFacts f{};
    f.font = font;
    PostScriptFontFacts(font, f.name, f.size, f.bold, f.italic, f.underline, f.fontClass);
    m_fonts.push_back(f);
    return m_fonts.back();
}

void oPostScriptPort::drawDeluxeString(const char* text, int32_t font, int32_t x, int32_t y,
                                       const Color* color, int32_t /*flag*/) {
    if (!text)
        return;
    setColor(color ? *color : m_foreColor);
    if (!m_simplified && defineOnce(kDefTz)) {
        endOfLine("/Tz {/fsize exch def /funder exch 0 ne def /fital exch fsize mul 4 div def "
                  "/fbold exch 0 ne def");
        m_stream->printf("/fmat [ fsize 0 fital fsize %s0 0 ] def findfont fmat makefont setfont "
                         "moveto} bind def\n",
                         m_flip ? "" : "neg ");
        endOfLine("/tz {funder {currentpoint 0 fsize 12 div rmoveto 2 index stringwidth rlineto "
                  "fsize 24 div setlinewidth stroke moveto} if");
        endOfLine("fbold {currentpoint fsize 24 div 0 rmoveto 2 index show moveto} if show} bind "
                  "def");
    }
    const FontFacts& facts = factsOf(font);
    char name[kPostScriptNameSize] = {};
    CopyName(name, facts.name);
    const int32_t size = facts.size;
    const uint8_t bold = facts.bold, italic = facts.italic, underline = facts.underline;
    const char fontClass = facts.fontClass;
    if (s_rudizeAsSymbol && std::strcmp(name, "Rudize") == 0)
        CopyName(name, "Symbol");
    const std::string token = PostScriptNameToken(name);
    const int32_t deviceSize = (m_resolution * size + 8) / 16;
    const bool symbolic =
        std::strncmp(name, "Symbol", 6) == 0 || std::strncmp(name, "Rudize", 6) == 0;
    // Symbol-font text is shown glyph by glyph by name; other text as a string.
    const std::string shown = symbolic ? SymbolGlyphArray(text) : PostScriptStringLiteral(text);
    if (m_simplified) {
        const double d = deviceSize;
        m_stream->printf("/%s findfont [", token.c_str());
        number(d);
        number(0);
        number(italic ? d / 4 : 0);
        number(m_flip ? d : -d);
        word("0 0] makefont setfont ");
        const char* show = symbolic ? " {glyphshow} forall" : " show";
        // Bold is the text shown twice, 1/24 of the size apart.
        if (bold && !symbolic) {
            number(x + d / 24);
            coord(m_flip ? m_height - y : y);
            endOfLine(("moveto " + shown + show).c_str());
        }
        point(x, y);
        endOfLine(("moveto " + shown + show).c_str());
    } else {
        point(x, y);
        m_stream->printf("/%s %d %d %d %d Tz\n", token.c_str(), bold, italic, 0, deviceSize);
        poll();
        endOfLine((shown + (symbolic ? " gs" : " tz ")).c_str());
    }
    m_stream->printf("%%%%%s: %s %d %d %d %c\n", symbolic ? "US" : "CF", token.c_str(), size,
                     deviceSize, font, fontClass);
    poll();
    if (underline) {
        Zone measured;
        measureString(text, font, measured);
        startDeluxeLine(m_lineUnit, color ? *color : m_foreColor, 0, 1);
        moveTo(x, y + 2 * m_lineUnit);
        lineTo(x + measured.right - measured.left, y + 2 * m_lineUnit);
        endLine();
    }
}

// ---- Images -------------------------------------------------------------------------------------

void oPostScriptPort::writeImage(const Zone& zone, oPixMap& pixmap, const Color& foreground,
                                 const Color& background) {
    paintZone(zone, background);
    const PostScriptPixMapFacts facts = PixMapFactsOf(pixmap);
    if (facts.width <= 0 || facts.height <= 0)
        return;
    const bool mono = facts.format == kPixelMonochrome;
    if (mono)
        setColor(foreground);
    // imagemask paints the 1 bits, while a monochrome bitmap draws its 0 (dark) bits in the
    // foreground colour: the rows are inverted.
    const std::vector<std::string> rows = PixMapHexRowsOf(pixmap, mono);
    if (rows.size() != static_cast<std::size_t>(facts.height)) {
        KV_ASSERT_FAILED("PS image rows");
        return;
    }
    m_stream->printf("%d %d\n", facts.width, facts.height);
    word(mono ? "true " : "8 ");
    const int32_t zoneWidth = zone.right - zone.left;
    const int32_t zoneHeight = zone.bottom - zone.top;
    m_stream->printf("[%d %d div 0 0 %d %d div %d %d] 6 array invertmatrix\n", zoneWidth,
                     facts.width, m_flip ? -zoneHeight : zoneHeight, facts.height, zone.left,
                     m_flip ? m_height - zone.top : zone.top);
    endOfLine("{<");
    for (const std::string& row : rows)
        endOfLine(row.c_str());
    word(">} ");
    endOfLine(mono ? " imagemask" : " false 3 colorimage");
}

void oPostScriptPort::savePix(int32_t, int32_t, oPixMap&) {
    KV_ASSERT_FAILED("oPostScriptPort::savePix");
}

void oPostScriptPort::restorePix(int32_t x, int32_t y, oPixMap& pixmap) {
    const PostScriptPixMapFacts facts = PixMapFactsOf(pixmap);
    const Zone zone{x, y, x + facts.width, y + facts.height, 0, 0};
    writeImage(zone, pixmap, m_foreColor, m_backColor);
}

void oPostScriptPort::restoreStretch(const Zone& zone, oPixMap& pixmap, int32_t) {
    writeImage(zone, pixmap, m_foreColor, m_backColor);
}

void oPostScriptPort::restoreColorize(int32_t x, int32_t y, oPixMap& pixmap,
                                      const Color& foreground, const Color& background) {
    const PostScriptPixMapFacts facts = PixMapFactsOf(pixmap);
    const Zone zone{x, y, x + facts.width * m_lineUnit, y + facts.height * m_lineUnit, 0, 0};
    writeImage(zone, pixmap, foreground, background);
}

void oPostScriptPort::drawImage(int32_t resourceId, const Zone& zone, const Color& foreground,
                                const Color& background, int32_t) {
    if (resourceId == 0) {
        KV_ASSERT_FAILED("PS::drawImage");
        return;
    }
    oPixMap* pixmap = NewImagePixMap(resourceId, m_resolution);
    if (!pixmap)
        return;
    struct Deleter {
        oPixMap* p;
        ~Deleter() { DeletePostScriptPixMap(p); }
    } deleter{pixmap};
    writeImage(zone, *pixmap, foreground, background);
}

void oPostScriptPort::stretchImage(int32_t resourceId, const Zone& zone) {
    if (resourceId == 0) {
        KV_ASSERT_FAILED("oPostScriptPort::stretchImage");
        return;
    }
    drawImage(resourceId, zone, m_foreColor, m_backColor, 0);
}

void oPostScriptPort::drawAsianString(const char* text, int32_t font, int32_t x, int32_t y,
                                      const Color* color, int32_t flag, int32_t angle) {
    drawAsianImage(text, font, x, y, color, flag, angle);
}

void oPostScriptPort::drawAsianImage(const char* text, int32_t font, int32_t x, int32_t y,
                                     const Color*, int32_t, int32_t angle) {
    if (!text || !text[0])
        return;
    Zone measured;
    measureString(text, font, measured);
    const int32_t width = measured.right - measured.left;
    const int32_t height = measured.bottom - measured.top;
    if (width <= 0 || height <= 0)
        return;
    oPixMap* pixmap = NewTextPixMap(text, font, width, height, measured.ref2, m_resolution);
    if (!pixmap)
        return;
    Zone zone{0, 0, width, height, measured.ref1, measured.ref2};
    if (angle != 0) {
        oPixMap* turned = RotatePixMap(*pixmap, angle);
        DeletePostScriptPixMap(pixmap);
        pixmap = turned;
        if (!pixmap)
            return;
        zone = RotateZone(angle, zone);
        const oPoint p = RotatePoint(angle, x, y);
        x = p.x;
        y = p.y;
    }
    struct Deleter {
        oPixMap* p;
        ~Deleter() { DeletePostScriptPixMap(p); }
    } deleter{pixmap};
    ZoneOffset(zone, x, y - measured.ref2);
    writeImage(zone, *pixmap, m_foreColor, m_backColor);
}
