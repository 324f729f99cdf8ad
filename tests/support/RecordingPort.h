// A graph port for tests: every drawing call becomes one line of text, and text is measured from a
// fixed metrics table, so layout arithmetic can be checked exactly without pixels.
//
// Fonts: a font index encodes its point size and style bits as size * 8 + style (style bits 1
// bold, 2 italic, 4 underline); RecordingFontIndex builds one. Index 0 (the default font) and any
// index whose size part is 0 count as 12 points.
//
// Metrics at the port's resolution r, for a font of s points:
//   em = (s * r + 8) / 16
//   h = em + em / 8, descent d = (h + 2) / 4, ascent = h - d
//   line spacing = h + d / 2, half height = h / 2, quarter height = d
// Width of a text: the sum of its characters' advances in twelfths of an em (the table below),
// then * em / 12 (truncated), plus one unit per character for bold.
//   space 3; i j l ' , . : ; ! | 3; f r t ( ) [ ] 4; m w 9; M W 11; I 4; other upper case 8;
//   other lower case, digits and everything else 6.
// measureString: left 0, top 0, right = width, bottom = h, ref2 = ascent,
//   ref1 = ascent - (em + 2) / 4 (the axis a quarter em above the baseline).
// stringEdges: left 0, right = width, overhang 0 (upright) or (ascent + 2) / 4 / 4 (italic).
#pragma once

#include "OverSrcs/oGraph.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kvtest {

constexpr int32_t RecordingFontIndex(int32_t pointSize, int32_t styleBits = 0) {
    return pointSize * 8 + (styleBits & 7);
}
// The same index from a font description (the face is not part of the metrics); it can be
// installed wherever a face, size and three style flags are turned into a font index.
int32_t RecordingFontIndexForDesc(const char* face, int32_t points, bool bold, bool italic,
                                  bool underline);
int32_t RecordingFontSize(int32_t font);
int32_t RecordingFontStyle(int32_t font);

// The advance of one byte in twelfths of an em.
int32_t RecordingAdvance(unsigned char c);

// "left,top,right,bottom;ref1,ref2"
std::string ZoneText(const Zone& zone);
// "#rrggbbaa" in lower-case hex
std::string ColorText(const Color& color);

class RecordingPort : public oGraphPort {
public:
    // A port of that resolution whose bounds and clip are the zone (default 400 × 300).
    explicit RecordingPort(int32_t resolution = 16,
                           const Zone& bounds = Zone{0, 0, 400, 300, 0, 0});
    RecordingPort(const RecordingPort&) = default;

    RecordingPort* clone() const override;

    // Measuring (counted, and recorded only when recordMeasuring is on).
    int32_t stringWidth(const char* text, int32_t font) override;
    void measureString(const char* text, int32_t font, Zone& record) override;
    void stringEdges(const char* text, int32_t font, int32_t& left, int32_t& right,
                     int32_t& overhang) override;
    void fontMetrics(int32_t font, FontMetricWords& words) override;
    void unsetPort() override;
    void setPort() override;

    void drawDeluxeString(const char* text, int32_t font, int32_t x, int32_t y, const Color* color,
                          int32_t flag) override;
    void drawRotatedString(const char* text, int32_t font, int32_t x, int32_t y, const Color* color,
                           int32_t flag, int32_t angle) override;
    void drawAsianString(const char* text, int32_t font, int32_t x, int32_t y, const Color* color,
                         int32_t flag, int32_t angle) override;
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
    bool fitsInside(int32_t x, int32_t y, int32_t width, int32_t height) override;
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

    // The recorded lines, in call order.
    const std::vector<std::string>& calls() const { return m_calls; }
    // All lines, each ended by "\n".
    std::string text() const;
    void clear();
    // Calls of stringWidth, measureString and stringEdges since the last clear.
    int measureCount() const { return m_measureCount; }
    // Line-protocol faults seen (a second open line, a segment outside a line, endLine without a
    // line); each is also recorded as a line starting with "!".
    int protocolErrors() const { return m_protocolErrors; }
    bool lineOpen() const { return m_lineOpen; }
    void setRecordMeasuring(bool on) { m_recordMeasuring = on; }

    void setBounds(const Zone& bounds);
    void setPortResolution(int32_t resolution) { setResolution(resolution); }
    void setOrigin(int32_t dx, int32_t dy);

private:
    void record(std::string line);
    void protocolError(const char* what);
    void requireLine(const char* op);

    std::vector<std::string> m_calls;
    int m_measureCount = 0;
    int m_protocolErrors = 0;
    bool m_lineOpen = false;
    bool m_recordMeasuring = false;
};

} // namespace kvtest
