#pragma once
// The PostScript port: drawing becomes PostScript text written to an output stream, so anything
// that draws an expression through a port can produce Encapsulated PostScript. The port writes a
// header (when asked), a fixed prolog, one short run of PostScript per drawing call, and a trailer
// when it is destroyed. Text is measured by the shared measuring operations; fonts are named by
// their PostScript names, read from the font files where possible.

#include "OverSrcs/oGraph.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class oOStream;
struct PostScriptFontInfo;
struct PostScriptFontFile;

// ---------------------------------------------------------------------------------------------
// PostScript font names

inline constexpr int kPostScriptNameSize = 50;

// The facts the writer needs of a font-table entry: its PostScript name, size in points, which of
// bold and italic the writer must still produce itself, the underline flag and the class ('s' the
// symbol face, 'i' any other). Always yields a name.
bool PostScriptFontFacts(int32_t fontIndex, char (&name)[kPostScriptNameSize], int32_t& size,
                         uint8_t& bold, uint8_t& italic, uint8_t& underline, char& fontClass);

// The name of a font from its facts; bold and italic start as the style's bits and are cleared
// when the name found already carries them.
void PostScriptNameOfFont(const PostScriptFontInfo& info,
                          const std::vector<PostScriptFontFile>& files,
                          char (&name)[kPostScriptNameSize], uint8_t& bold, uint8_t& italic);

// Looks for the file of a face among the installed font files: 0 none, 1 a file of the face,
// 2 (strict search only) a file of the face's own style.
int FindFontFile(const std::vector<PostScriptFontFile>& files, const char* face, bool bold,
                 bool italic, std::string& path, bool strict);

// The PostScript name (name id 6) of a TrueType file; false when the file is not TrueType, has no
// usable one-byte name, or cannot be read. Names that do not fit `size` are skipped.
bool GetTrueTypePostScriptName(const char* path, char* name, std::size_t size);

// The standard PostScript name for a face by its family. Returns true when the name chosen
// already carries the style (so the writer must not add bold or slant again).
bool PostScriptFontName(char (&name)[kPostScriptNameSize], const char* face, uint8_t pitchAndFamily,
                        int32_t style);

// A font name as written into PostScript: characters that would end or break a name are dropped.
std::string PostScriptNameToken(const char* name);

// ---------------------------------------------------------------------------------------------
// The fonts of the document being written (newest first), listed in the header.

struct DocumentFont {
    int32_t fontIndex = 0;
    char fontClass = 'i';
    char name[kPostScriptNameSize] = {};
};

void ClearDocumentFontList();
// Adds the font once: nothing when the index, or its PostScript name, is listed already.
void AddDocumentFont(int32_t fontIndex);
const std::vector<DocumentFont>& DocumentFontList();

// When on, the face "Rudize" is written as "Symbol" (a copy-format setting).
void SetPostScriptRudizeAsSymbol(bool on);
bool PostScriptRudizeAsSymbol();

// When on, ports made from now on write simplified PostScript: no procedures or variables are
// defined, every path, colour and text run is spelt out with the basic operators (moveto,
// lineto, curveto, arc, setlinewidth, setgray, setrgbcolor, makefont, show, glyphshow), which
// drawing programs that import PostScript as artwork can read. The picture is the same.
void SetPostScriptSimplified(bool on);

// ---------------------------------------------------------------------------------------------
// oPostScriptPort

class oPostScriptPort : public oGraphPort {
public:
    // Use NewPostScriptPort.
    oPostScriptPort(oOStream& stream, const Zone& zone, const oPoint* origin, int32_t resolution,
                    int32_t angle, bool flip, bool header);
    oPostScriptPort(const oPostScriptPort&) = delete;
    oPostScriptPort& operator=(const oPostScriptPort&) = delete;

    // A port writes one stream: never cloned (logs, returns null).
    oPostScriptPort* clone() const override;
    // Writes the trailer.
    ~oPostScriptPort() override;

    void drawDeluxeString(const char* text, int32_t font, int32_t x, int32_t y, const Color* color,
                          int32_t flag) override;
    void startDeluxeLine(int32_t width, const Color& color, int32_t style, int32_t mode) override;
    void moveTo(int32_t x, int32_t y) override;
    void move(int32_t dx, int32_t dy) override;
    void lineTo(int32_t x, int32_t y) override;
    void line(int32_t dx, int32_t dy) override;
    void dotAt(int32_t x, int32_t y) override;
    void arct(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t radius) override;
    void endLine() override;
    void paintZone(const Zone& zone, const Color& color) override;
    void eraseZone(const Zone& zone) override;
    void eraseArea(const GdiObjectRef& area) override;
    void paintPolygon(int32_t count, const oPoint* points, const Color* fill, int32_t mode,
                      int32_t outline, int32_t extra) override;
    void frameZone(const Zone& zone, int32_t width, const Color& color, int32_t style,
                   int32_t mode) override;
    void paintCircle(const Zone& zone) override;
    void integralSign(const Zone& zone, int32_t step, int32_t count, int32_t flags, int32_t width,
                      int32_t orientation) override;
    void paintHorn(const Zone& zone, int32_t width, int32_t direction, int32_t vertical) override;
    void savePix(int32_t x, int32_t y, oPixMap& pixmap) override;
    void restorePix(int32_t x, int32_t y, oPixMap& pixmap) override;
    void restoreStretch(const Zone& zone, oPixMap& pixmap, int32_t stretchMode) override;
    void restoreColorize(int32_t x, int32_t y, oPixMap& pixmap, const Color& foreground,
                         const Color& background) override;
    void drawImage(int32_t resourceId, const Zone& zone, const Color& foreground,
                   const Color& background, int32_t mode) override;
    void stretchImage(int32_t resourceId, const Zone& zone) override;
    void clipToZone(const Zone* zone) override;
    void setColors(const Color* foreground, const Color* background) override;
    // Double-byte text has no PostScript font here: it is drawn as an image (drawAsianImage).
    void drawAsianString(const char* text, int32_t font, int32_t x, int32_t y, const Color* color,
                         int32_t flag, int32_t angle) override;

    // After the port operations: double-byte text drawn as an image, turned by `angle`.
    virtual void drawAsianImage(const char* text, int32_t font, int32_t x, int32_t y,
                                const Color* color, int32_t flag, int32_t angle);

    // Writes the header comments (with the header flag) and the prolog; the factory calls it.
    void writeHeader(const char* title, const oPoint* translation);

    int32_t angle() const { return m_angle; }
    bool flipped() const { return m_flip; }
    // The page box in points, left and top at 0.
    const Zone& pageBox() const { return m_pageBox; }
    // Everything drawn so far but text, in port units, rounded outwards: strokes with their width,
    // caps and mitred corners, fills and curves by their points. Empty before any of them.
    Zone inkBounds() const;

private:
    // The procedure families defined at most once per port.
    enum Defined : uint32_t {
        kDefLw = 1,
        kDefDash = 2,
        kDefGz = 4,
        kDefCz = 8,
        kDefRz = 16,
        kDefH = 32,
        kDefTz = 64,
        kDefLines = 128,
    };
    bool defineOnce(uint32_t family);
    // A path point with the half-line-width offset of the line procedures ("moveto"/"lineto").
    void pathPoint(int32_t x, int32_t y, bool move, bool newLine);
    void stroke(bool newLine);
    void number(double value);

    void poll();
    void word(const char* text);
    void endOfLine(const char* text);
    void coord(int32_t value);
    void point(int32_t x, int32_t y);
    void setLineWidth(int32_t width);
    // The ink bounds take a point (port units) reaching `reach` every way.
    void noteInk(double x, double y, double reach);
    // A stroked segment between two path points (offset already), half the line width `half`
    // wide with projecting ends; `joined` mitres it onto the segment before.
    void noteSegment(double x1, double y1, double x2, double y2, double half, bool joined);
    // The half-line-width offset of the path points, in port units.
    double pathOffset() const;
    void setColor(const Color& color);
    void setDash(int32_t style);
    void circle(const Zone& zone);
    void writeImage(const Zone& zone, oPixMap& pixmap, const Color& foreground,
                    const Color& background);
    void integralOutline(const Zone& zone, int32_t thickness);
    // The contour ring (and its arrow) of a contour integral, spelt out.
    void contourSimplified(const Zone& zone, int32_t step, int32_t count, int32_t flags);

    // The font facts of each font index drawn so far: finding them reads the font files.
    struct FontFacts {
        int32_t font;
        char name[kPostScriptNameSize];
        int32_t size;
        uint8_t bold, italic, underline;
        char fontClass;
    };
    const FontFacts& factsOf(int32_t font);

    oOStream* m_stream;
    std::vector<FontFacts> m_fonts;
    int32_t m_angle = 0;
    Zone m_pageBox;
    bool m_flip = false;
    bool m_header = false;
    int32_t m_dash = 0;
    int32_t m_lineWidth = -1;
    Color m_color = kColorBlack;
    oPoint m_current;
    bool m_save = true;
    uint32_t m_defined = 0;
    int32_t m_pathLength = 0;
    bool m_simplified = false;
    // The ink bounds: left, top, right, bottom; right < left while nothing is drawn.
    double m_ink[4] = {0, 0, -1, -1};
    // The direction of the last stroked segment, for the mitre of the next.
    double m_lastDirection[2] = {0, 0};
};

// A port writing to `stream` (borrowed; the caller closes it) for drawing in `zone` at that
// resolution (device units per 16 points; 0 or less means 300 dots per inch), turned by `angle`.
// `flip` writes y upwards (EPS files); `header` adds the document comments and the save/restore
// pair. The header and prolog are written at once; the trailer when the port is destroyed.
// 1 from the moment a port writes its document header until that port is destroyed: drawing that
// differs in a PostScript document (the white square bracket's serifs) reads it.
extern uint8_t PostScriptDocumentOpen;

std::unique_ptr<oPostScriptPort> NewPostScriptPort(oOStream& stream, const Zone& zone,
                                                   const oPoint* origin, const oPoint* translation,
                                                   int32_t resolution, int32_t angle, bool flip,
                                                   bool ignored, bool header);
