#pragma once
// The recorder behind a recording DC. The drawing calls hand it their arguments instead of
// drawing; the DC's attribute setters and object selection keep working on the DC's state as
// usual, and before each drawing record the recorder writes whatever differs from the state it
// last recorded (mapping, colours, modes, clip, selected objects, the current position). A
// setting undone before the next drawing thus leaves no record.

#include "core/emf/EmfFormat.h"
#include "core/gdi/GdiObjects.h"
#include "plat/Gdi.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace plat::core {

class EmfRecorder {
public:
    struct Setup {
        std::string fileName;      // empty: memory only
        std::optional<RECT> frame; // 0.01 mm
        std::u16string description;
        SIZE devicePixels{1920, 1080}; // of the reference device
        SIZE deviceMillimetres{508, 286};
    };
    explicit EmfRecorder(Setup setup);

    BOOL lineTo(Dc& dc, int x, int y);
    // Polyline, Polygon and PolyBezier (the 32-bit record type; the 16-bit form is chosen when
    // every coordinate fits).
    BOOL poly(Dc& dc, std::uint32_t type, const POINT* points, int count);
    // Rectangle and Ellipse.
    BOOL box(Dc& dc, std::uint32_t type, int left, int top, int right, int bottom);
    BOOL arc(Dc& dc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd,
             int yEnd);
    COLORREF setPixel(Dc& dc, int x, int y, COLORREF color);
    BOOL fillRect(Dc& dc, const RECT& r, HBRUSH brush);
    BOOL frameRect(Dc& dc, const RECT& r, HBRUSH brush);
    // PatBlt and InvertRect (DSTINVERT).
    BOOL patBlt(Dc& dc, int x, int y, int width, int height, DWORD rop);
    // PaintRgn, FillRgn, InvertRgn and FrameRgn (brush and stroke size where the record has
    // them).
    BOOL region(Dc& dc, std::uint32_t type, HRGN rgn, HBRUSH brush, int width, int height);
    // BeginPath, EndPath, AbortPath, CloseFigure, StrokePath, FillPath, StrokeAndFillPath.
    BOOL path(Dc& dc, std::uint32_t type);
    // BitBlt (stretch false: the source size is the destination's) and StretchBlt. The source
    // pixels go into the record; a blit without source becomes a pattern blit.
    BOOL blit(Dc& dc, int x, int y, int width, int height, HDC source, int xSrc, int ySrc,
              int widthSrc, int heightSrc, DWORD rop, bool stretch);
    int stretchDIBits(Dc& dc, int xDst, int yDst, int widthDst, int heightDst, int xSrc, int ySrc,
                      int widthSrc, int heightSrc, const void* bits, const BITMAPINFO* info,
                      UINT usage, DWORD rop);
    int setDIBitsToDevice(Dc& dc, int xDst, int yDst, DWORD width, DWORD height, int xSrc, int ySrc,
                          UINT startScan, UINT lines, const void* bits, const BITMAPINFO* info,
                          UINT usage);
    // Text as UTF-16 with the advance of every character, so that players draw the runs as
    // wide as they were measured.
    BOOL textOut(Dc& dc, HDC hdc, int x, int y, UINT options, const RECT* rect, const char* text,
                 UINT count, const int* dx);
    BOOL comment(UINT size, const BYTE* data);

    // Ends the recording: the bytes of the whole metafile.
    std::vector<std::uint8_t> finish();
    const std::string& fileName() const { return m_setup.fileName; }
    // A Windows-metafile recording: converted (and written to its own file, when named) at
    // CloseMetaFile.
    void setWindowsFormat(std::string fileName) {
        m_windows = true;
        m_windowsFile = std::move(fileName);
    }
    bool windowsFormat() const { return m_windows; }
    const std::string& windowsFileName() const { return m_windowsFile; }

private:
    struct Slot {
        std::uint32_t index;
        std::weak_ptr<GdiObject> object;
    };

    // Record writing.
    std::size_t begin(std::uint32_t type);
    void end(std::size_t start);
    void simple(std::uint32_t type, std::initializer_list<std::uint32_t> values);
    // Brings the recorded state up to the DC's.
    void sync(Dc& dc, bool currentPosition);
    void syncObject(HGDIOBJ want, HGDIOBJ& recorded);
    // The object's index in the metafile's table, creating it when needed (stock objects:
    // the stock flag and their number); 0 when it cannot be recorded.
    std::uint32_t objectIndex(HGDIOBJ h);
    void collectDeleted();
    std::uint32_t freeIndex();
    void writeRegionData(const Region& region);
    void writePatBlt(Dc& dc, int x, int y, int width, int height, DWORD rop);
    // Bounds, in device pixels of the recording device (inclusive).
    void addBounds(const Dc& dc, int l, int t, int r, int b, int margin);
    void addDeviceBounds(RECT r);
    RECT lastBounds() const { return m_lastBounds; }
    // A packed DIB of `width` × `height` source pixels; mono sources become 1 bit deep with the
    // destination's text and background colours as their table.
    bool packSource(Dc& dst, HDC source, int xSrc, int ySrc, int width, int height,
                    std::vector<std::uint8_t>& bmi, std::vector<std::uint8_t>& bits);
    void writeStretchDib(Dc& dc, int xDst, int yDst, int widthDst, int heightDst, int xSrc,
                         int ySrc, int widthSrc, int heightSrc,
                         const std::vector<std::uint8_t>& bmi,
                         const std::vector<std::uint8_t>& bits, DWORD rop);

    Setup m_setup;
    bool m_windows = false;
    std::string m_windowsFile;
    emf::Writer m_out;
    std::uint32_t m_records = 0;
    DcState m_state; // as recorded
    std::map<HGDIOBJ, Slot> m_objects;
    std::vector<bool> m_used{true}; // index 0 is the metafile itself
    bool m_anyBounds = false;
    RECT m_bounds{};
    RECT m_lastBounds{};
};

// The recorder of a recording DC; null for any other DC.
EmfRecorder* RecorderOfDc(HDC hdc);

} // namespace plat::core
