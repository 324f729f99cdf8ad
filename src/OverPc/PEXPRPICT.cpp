#include "OverPc/PEXPRPICT.h"

#include "ExprSrcs/EPane.h"
#include "ExprSrcs/ExprFilePane.h"
#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverPc/Presourc.h"
#include "OverPc/oPixMap.h"
#include "OverSrcs/documents/MTEF5Parser.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/eLayout.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/oRotate.h"
#include "OverSrcs/oStreams.h"
#include "plat/Metafile.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <vector>

int32_t NextPictureRotation = 0;
int32_t PictureRotationSetting = 0;
PictureMargins PictureMarginSettings;

namespace {

constexpr char kWordDesc[8] = {'W', 'o', 'r', 'd', 'D', 'e', 's', 'c'};
constexpr size_t kWordDescSize = 12;
constexpr uint32_t kWmfPlaceableKey = 0x9AC6CDD7u;
constexpr uint16_t kWmfEscape = 0x0626;

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Decodes an encoding comment; a comment that does not decode gives null and the search goes on.
ExprPtr DecodeComment(const uint8_t* data, size_t size) {
    const size_t marker = sizeof kEncodingStart - 1;
    if (size < 10 || std::memcmp(data, kEncodingStart, marker) != 0)
        return ExprPtr();
    ExprPtr expression;
    const int16_t code = CatchFail([&] { expression = ReadExprEncodingFromMemory(data, size); });
    if (code == errUserInterrupt)
        Fail(code);
    return code == 0 ? std::move(expression) : ExprPtr();
}

ExprPtr FromEnhancedBytes(const uint8_t* data, size_t size) {
    size_t at = 0;
    while (size - at >= 8) {
        const uint32_t type = Le32(data + at);
        const uint32_t length = Le32(data + at + 4);
        if (length < 8 || length % 4 != 0 || length > size - at)
            break;
        if (type == plat::EMR_GDICOMMENT && length >= 12) {
            const uint32_t count = Le32(data + at + 8);
            if (count <= length - 12 && count > 0 && data[at + 12] == ']')
                if (ExprPtr found = DecodeComment(data + at + 12, count))
                    return found;
        }
        if (type == plat::EMR_EOF)
            break;
        at += length;
    }
    return ExprPtr();
}

// An equation another editor left in a Windows metafile: an escape whose data starts with "M"
// carries, after an 11-byte head, a block whose bytes 4 and 5 are 0 and 10 and whose MTEF starts
// at byte 6.
ExprPtr MtefFromEscape(const uint8_t* data, size_t count) {
    constexpr size_t kHead = 11;
    constexpr size_t kMtefStart = 6;
    if (count < kHead || count - kHead < 7 || data[0] != 'M')
        return ExprPtr();
    const uint8_t* block = data + kHead;
    if (block[4] != 0 || block[5] != 10)
        return ExprPtr();
    return ReadMtefDocument(block + kMtefStart, count - kHead - kMtefStart);
}

ExprPtr FromWindowsBytes(const uint8_t* data, size_t size) {
    size_t at = 0;
    if (size >= 22 && Le32(data) == kWmfPlaceableKey)
        at = 22;
    if (size - at < 18)
        return ExprPtr();
    const size_t headerWords = Le16(data + at + 2);
    if (headerWords < 9)
        return ExprPtr();
    at += headerWords * 2;
    // Records: size in 16-bit words (32 bits), function (16 bits), parameters.
    while (at <= size && size - at >= 6) {
        const uint64_t length = static_cast<uint64_t>(Le32(data + at)) * 2;
        const uint16_t function = Le16(data + at + 4);
        if (length < 6 || length > size - at)
            break;
        if (function == kWmfEscape && length >= 10) {
            // Escape number, byte count, then the bytes.
            const uint16_t count = Le16(data + at + 8);
            if (count <= length - 10 && count > 0 && data[at + 10] == ']')
                if (ExprPtr found = DecodeComment(data + at + 10, count))
                    return found;
            if (count <= length - 10)
                if (ExprPtr found = MtefFromEscape(data + at + 10, count))
                    return found;
        }
        if (function == 0)
            break; // the end record
        at += static_cast<size_t>(length);
    }
    return ExprPtr();
}

// Draws nothing: finds where the pixel and metafile ports would put ink, in port units (right and
// bottom exclusive). Each operation covers what the native port covers: a line of width w runs
// from its points w to the right and down, a polygon's outline pen takes the pixels through its
// vertices, text the black boxes of its glyphs from the baseline. The background is no ink.
class InkBoundsPort final : public oGraphPort {
public:
    explicit InkBoundsPort(int32_t resolution) {
        setResolution(resolution);
        m_bounds = Zone{-kFar, -kFar, kFar, kFar, 0, 0};
        m_clip = m_bounds;
    }
    InkBoundsPort* clone() const override { return nullptr; }

    // The ink found, or an empty zone at the origin when nothing was drawn.
    Zone ink() const { return m_any ? m_ink : Zone{}; }

    void drawDeluxeString(const char* text, int32_t font, int32_t x, int32_t y, const Color*,
                          int32_t) override {
        noteText(text, font, x, y);
    }
    void drawRotatedString(const char* text, int32_t font, int32_t x, int32_t y, const Color*,
                           int32_t, int32_t) override {
        noteText(text, font, x, y);
    }
    void drawAsianString(const char* text, int32_t font, int32_t x, int32_t y, const Color*,
                         int32_t, int32_t) override {
        noteText(text, font, x, y);
    }
    void startDeluxeLine(int32_t width, const Color&, int32_t, int32_t) override {
        m_penWidth = std::max(1, width);
    }
    void moveTo(int32_t x, int32_t y) override { m_pen = oPoint{x, y}; }
    void move(int32_t dx, int32_t dy) override { moveTo(m_pen.x + dx, m_pen.y + dy); }
    void lineTo(int32_t x, int32_t y) override {
        note(std::min(m_pen.x, x), std::min(m_pen.y, y), std::max(m_pen.x, x) + m_penWidth,
             std::max(m_pen.y, y) + m_penWidth);
        m_pen = oPoint{x, y};
    }
    void line(int32_t dx, int32_t dy) override { lineTo(m_pen.x + dx, m_pen.y + dy); }
    void dotAt(int32_t x, int32_t y) override {
        const int32_t r = m_penWidth >= 2 ? m_penWidth / 2 : 0;
        note(x - r, y - r, x + r + 1, y + r + 1);
        m_pen = oPoint{x, y};
    }
    void endLine() override {}
    void paintZone(const Zone& zone, const Color&) override { note(zone); }
    void eraseZone(const Zone&) override {}
    void eraseArea(const GdiObjectRef&) override {}
    void paintPolygon(int32_t count, const oPoint* points, const Color*, int32_t, int32_t,
                      int32_t) override {
        for (int32_t i = 0; i < count && points != nullptr; ++i)
            note(points[i].x, points[i].y, points[i].x + 1, points[i].y + 1);
    }
    void frameZone(const Zone& zone, int32_t, const Color&, int32_t, int32_t) override {
        note(zone);
    }
    void paintCircle(const Zone& zone) override { note(zone); }
    void integralSign(const Zone& zone, int32_t step, int32_t count, int32_t flags, int32_t width,
                      int32_t orientation) override {
        // The signs one after the other, then the ring round them (and its outline pen).
        const int32_t span = std::max(0, count - 1) * step;
        Zone all = zone;
        if (orientation == 0)
            all.right += span;
        else if (orientation > 0)
            all.top -= span;
        else
            all.bottom += span;
        if ((flags & 3) != 0)
            ZoneInset(all, -(std::abs(step) / 2 + width), -(std::abs(step) / 2 + width));
        note(all);
    }
    void paintHorn(const Zone& zone, int32_t, int32_t, int32_t) override { note(zone); }
    void savePix(int32_t, int32_t, oPixMap&) override {}
    void restorePix(int32_t x, int32_t y, oPixMap& pixmap) override {
        note(x, y, x + pixmap.width(), y + pixmap.height());
    }
    void restoreStretch(const Zone& zone, oPixMap&, int32_t) override { note(zone); }
    void restoreColorize(int32_t x, int32_t y, oPixMap& pixmap, const Color&,
                         const Color&) override {
        restorePix(x, y, pixmap);
    }
    void drawImage(int32_t, const Zone& zone, const Color&, const Color&, int32_t) override {
        note(zone);
    }
    void stretchImage(int32_t, const Zone& zone) override { note(zone); }
    void clipToZone(const Zone* zone) override { m_clip = zone != nullptr ? *zone : m_bounds; }
    void setColors(const Color* foreground, const Color* background) override {
        m_foreColor = foreground != nullptr ? *foreground : kColorBlack;
        m_backColor = background != nullptr ? *background : kColorWhite;
    }

private:
    static constexpr int32_t kFar = 1 << 29;

    void note(const Zone& zone) { note(zone.left, zone.top, zone.right, zone.bottom); }
    void note(int32_t left, int32_t top, int32_t right, int32_t bottom) {
        Zone drawn{left, top, right, bottom, 0, 0};
        if (right <= left || bottom <= top || !ZoneIntersect(drawn, m_clip, drawn))
            return;
        if (m_any)
            ZoneUnion(m_ink, drawn, m_ink);
        else
            m_ink = drawn;
        m_any = true;
    }
    void noteText(const char* text, int32_t font, int32_t x, int32_t y) {
        if (text == nullptr || *text == 0)
            return;
        Zone glyphs;
        measureString(text, font, glyphs);
        // A pixel more on the right for the smoothing of a last glyph's edge.
        note(x + glyphs.left, y - glyphs.ref2, x + glyphs.right + 1,
             y - glyphs.ref2 + glyphs.bottom);
    }

    Zone m_ink{};
    bool m_any = false;
    int32_t m_penWidth = 1;
    oPoint m_pen{};
};

} // namespace

int32_t MarginInDots(int32_t points, int32_t dotsPerInch) {
    const int64_t scaled = int64_t{points} * dotsPerInch;
    const int64_t rounded = scaled >= 0 ? (scaled + 36) / 72 : -((-scaled + 36) / 72);
    return static_cast<int32_t>(rounded);
}

ExprPictureFrame TakeExprPictureFrame(eExpr& laidOut, int32_t dotsPerInch, int32_t resolution,
                                      int32_t oversampling) {
    ExprPictureFrame frame;
    const Zone exprZone{0,
                        0,
                        std::max(1, laidOut.width()),
                        std::max(1, laidOut.height()),
                        laidOut.m_zone.ref1,
                        laidOut.m_zone.ref2};
    frame.angle = NextPictureRotation;
    NextPictureRotation = PictureRotationSetting;
    frame.rotated = frame.angle != 0 ? RotateZone(frame.angle, exprZone) : exprZone;
    // Ink can reach past the laid-out zone (a stroke's width, an outline pen's last pixel, a
    // glyph leaning out of its advance): the picture takes it in, in whole pixels of the result.
    const int32_t step = std::max(1, oversampling);
    const auto whole = [step](int32_t units) {
        return (std::max(0, units) + step - 1) / step * step;
    };
    Zone ink;
    {
        InkBoundsPort bounds(resolution);
        DrawExpr(&laidOut, &bounds, 0, 0, 0, 0, -laidOut.m_zone.left, -laidOut.m_zone.top);
        ink = bounds.ink();
        ZoneUnion(ink, exprZone, ink);
        if (frame.angle != 0)
            ink = RotateZone(frame.angle, ink);
    }
    // The margins are blank space around the turned picture; negative ones crop it, but never
    // below one unit each way. An oversampled picture takes them in whole pixels of the result.
    const auto margin = [&](int32_t points) {
        return MarginInDots(points, dotsPerInch / step) * step;
    };
    const Zone& r = frame.rotated;
    frame.left = margin(PictureMarginSettings.left) + whole(r.left - ink.left);
    frame.top = margin(PictureMarginSettings.top) + whole(r.top - ink.top);
    frame.right = margin(PictureMarginSettings.right) + whole(ink.right - r.right);
    frame.bottom = margin(PictureMarginSettings.bottom) + whole(ink.bottom - r.bottom);
    // Whole pixels of the result: the reduced picture's last row and column are not made of
    // fewer pixels than the others.
    frame.right += whole(r.right - r.left + frame.left + frame.right) -
                   (r.right - r.left + frame.left + frame.right);
    frame.bottom += whole(r.bottom - r.top + frame.top + frame.bottom) -
                    (r.bottom - r.top + frame.top + frame.bottom);
    frame.picture = Zone{0,
                         0,
                         std::max(1, r.right - r.left + frame.left + frame.right),
                         std::max(1, r.bottom - r.top + frame.top + frame.bottom),
                         0,
                         0};
    return frame;
}

void DrawExprInFrame(eExpr& laidOut, oGraphPort& port, const ExprPictureFrame& frame) {
    if (frame.angle == 0) {
        DrawExpr(&laidOut, &port, 0, 0, 0, 0, frame.left - laidOut.m_zone.left,
                 frame.top - laidOut.m_zone.top);
        return;
    }
    // The rotation port turns about the origin; the expression is placed so that its turned
    // zone starts inside the picture's top-left margins.
    std::unique_ptr<oRotatePort> turn = NewRotatePort(port, frame.angle);
    const oPoint origin =
        RotatePoint(-frame.angle, frame.left - frame.rotated.left, frame.top - frame.rotated.top);
    DrawExpr(&laidOut, turn.get(), 0, 0, 0, 0, origin.x - laidOut.m_zone.left,
             origin.y - laidOut.m_zone.top);
}

int32_t ExprPictureDescent(const eExpr& expression) {
    const Zone& z = expression.m_zone;
    const int32_t height = z.bottom - z.top;
    return std::clamp(height - z.ref2, 0, std::max(0, height));
}

void WriteWordDesc(oPictPort& port, int32_t descent, const eExpr* expression, bool noBackground,
                   const Color& background) {
    uint8_t record[kWordDescSize] = {};
    std::memcpy(record, kWordDesc, sizeof kWordDesc);
    const auto offset = static_cast<int16_t>(std::clamp(descent, -32768, 32767));
    record[10] = static_cast<uint8_t>(offset & 0xFF);
    record[11] = static_cast<uint8_t>((offset >> 8) & 0xFF);
    port.writeComment(static_cast<int32_t>(kWordDescSize), record);

    oOStreamPtr stream(NewOMemoryStream(1024));
    WriteExprEncoding(stream.get(), expression, nullptr, background.r, background.g, background.b,
                      noBackground, true, false, false);
    auto* memory = static_cast<oOMemoryStream*>(stream.release());
    const std::string text = memory->detachString(); // ends the stream
    // The comment carries the terminating zero byte too.
    port.writeComment(static_cast<int32_t>(text.size() + 1), text.c_str());
}

void MakeExprPicture(WinUfo& picture, const eExpr* expression, int32_t dotsPerInch,
                     const ExprPictureStyle& style) {
    if (expression == nullptr)
        Fail(errDataCorrupted);
    const int32_t dpi = PictPortDotsPerInch(dotsPerInch);
    const int32_t resolution = PictPortResolution(dpi);
    // A copy is laid out at the picture's resolution, so the caller's layout stays valid for
    // the pane it is shown in.
    ExprPtr copy = expression->deepCopy();
    {
        std::unique_ptr<oMeasurePort> measure = NewMeasurePort(resolution, 0);
        MeasureExpr(copy.get(), measure.get());
    }
    // The baseline offset, from the laid-out zone's bottom up to a quarter of the expression's
    // size below its fifth word: the port's baseline and the "WordDesc" record both take it.
    const Zone& laid = copy->m_zone;
    const int32_t baselineOffset = laid.bottom - copy->m_size / 4 - laid.ref1 - laid.top;
    const ExprPictureFrame frame = TakeExprPictureFrame(*copy, dpi, resolution);
    const Zone& pictZone = frame.picture;
    // The bottom margin lies below the baseline too; a cropped picture reaches it only so far.
    const int32_t pictDescent = std::clamp(baselineOffset + frame.bottom, 0, pictZone.bottom);
    std::unique_ptr<oPictPort> port(
        NewPictPort(pictZone, 0, 0x8000, frame.angle != 0 ? 0 : pictDescent, dpi));
    if (!port)
        Fail(errNoPicturePort);
    port->setColors(&style.foreground, &style.background);
    if (!style.keepBackground)
        port->eraseZone(port->bounds());
    DrawExprInFrame(*copy, *port, frame);
    WriteWordDesc(*port, baselineOffset, expression, style.keepBackground, style.background);
    plat::HENHMETAFILE metafile = port->closePicture();
    if (metafile == nullptr)
        Fail(errNoPicturePort);
    InstallWinUfoPlatform();
    picture.setEnhMetafile(reinterpret_cast<PictureHandle>(metafile));
}

std::unique_ptr<WinUfo> NewExprPicture(const eExpr* expression, int32_t dotsPerInch,
                                       const ExprPictureStyle& style) {
    auto picture = std::make_unique<WinUfo>();
    MakeExprPicture(*picture, expression, dotsPerInch, style);
    return picture;
}

ExprPtr ExprFromEnhMetaFile(plat::HENHMETAFILE metafile) {
    if (metafile == nullptr)
        return ExprPtr();
    // The same reader as a metafile's bytes from a file or the clipboard.
    std::vector<uint8_t> bytes(plat::GetEnhMetaFileBits(metafile, 0, nullptr));
    if (bytes.empty() || plat::GetEnhMetaFileBits(metafile, static_cast<plat::UINT>(bytes.size()),
                                                  bytes.data()) != bytes.size())
        return ExprPtr();
    return FromEnhancedBytes(bytes.data(), bytes.size());
}

ExprPtr ExprFromWinUfo(const WinUfo* picture) {
    ExprPtr expression;
    if (picture != nullptr && picture->enhMetafile() != 0)
        expression =
            ExprFromEnhMetaFile(reinterpret_cast<plat::HENHMETAFILE>(picture->enhMetafile()));
    // A picture made from a bitmap: the encoding the bitmap carries after its pixel rows.
    if (!expression && picture != nullptr && !picture->packedDib().empty())
        expression = ReadEncodingFromDib(picture->packedDib().data(), picture->packedDib().size());
    if (!expression)
        expression = ExprPtr(NewSimpString(0).release());
    return expression;
}

ExprPtr ExprFromMetafileBytes(const uint8_t* data, size_t size) {
    if (data == nullptr)
        return ExprPtr();
    if (size >= 44 && Le32(data + 40) == plat::ENHMETA_SIGNATURE)
        return FromEnhancedBytes(data, size);
    return FromWindowsBytes(data, size);
}

bool ReadEmfFile(const char* path) {
    ExprPtr expression;
    if (path != nullptr) {
        // Only a regular file of a bounded size is read; a missing, unreadable or unsuitable one
        // is reported by name.
        std::string bytes;
        const int code = CatchFail([&] {
            std::unique_ptr<oIFileStream, oIStreamDeleter> stream(NewIFileStream(path));
            bytes = stream->readAll();
        });
        if (code != 0) {
            ErrorAlert(code);
            return false;
        }
        expression =
            ExprFromMetafileBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    if (!expression) {
        ErrorAlert(errNoExpressionInFile);
        return false;
    }
    const std::string name = std::filesystem::path(path).filename().string();
    ExprFilePane* pane = NewExprFilePane(std::move(expression), nullptr, name.c_str(), 0);
    pane->setFilePath(path);
    pane->setSaveType(kMetafileSaveType);
    return true;
}

void SaveExprAsMetafile(const eExpr* expression, const char* path, const ExprPictureStyle& style,
                        int32_t dotsPerInch) {
    std::unique_ptr<WinUfo> picture = NewExprPicture(expression, dotsPerInch, style);
    auto* emf = reinterpret_cast<plat::HENHMETAFILE>(picture->enhMetafile());
    const plat::UINT size = plat::GetEnhMetaFileBits(emf, 0, nullptr);
    std::vector<uint8_t> bytes(size);
    if (size == 0 || plat::GetEnhMetaFileBits(emf, size, bytes.data()) != size)
        Fail(errNoPicturePort);
    // The stream writes a temporary sibling and renames it over the target only when closed.
    oOStreamPtr stream(NewOFileStream(path, true));
    static_cast<oOFileStream*>(stream.get())->writeRaw(bytes.data(), size);
    CloseStream(stream);
}

int32_t MetafileResolution = 0;

int32_t MetafileDotsPerInch() {
    return MetafileResolution > 0 ? MetafileResolution : 2540;
}

bool SaveMetafileCommand() {
    ExprFilePane* pane = FrontExpressionDocument();
    if (pane == nullptr)
        return false;
    std::filesystem::path proposal(pane->filePath().empty() ? pane->fileName() : pane->filePath());
    proposal.replace_extension(".emf");
    std::string path = proposal.string();
    if (!SaveFileDialog(ResStringWith(kSaveMetafileTitleString, {}).c_str(), path))
        return false;
    const SelectionRecord& record = pane->record();
    ExprPictureStyle style;
    style.keepBackground = record.m_noBackground != 0;
    if (!style.keepBackground)
        style.background = record.m_background;
    const int16_t code = CatchFail([&] {
        SaveExprAsMetafile(record.m_root->getChild(0), path.c_str(), style, MetafileDotsPerInch());
    });
    if (code != 0) {
        ErrorAlert(code);
        return false;
    }
    pane->setFilePath(path);
    pane->setChanged(false);
    pane->setSaveType(kMetafileSaveType);
    // The window title and its Windows menu entry take the new name.
    pane->renameWindow();
    UpdateSaveMenuItem(kMetafileSaveType);
    return true;
}
