#pragma once
// The record types and byte helpers shared by the enhanced-metafile recorder and player. Records
// are little-endian, each a multiple of 4 bytes: type, size, then the parameters.

#include "plat/Types.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace plat::core::emf {

enum Record : std::uint32_t {
    kHeader = 1,
    kPolyBezier = 2,
    kPolygon = 3,
    kPolyline = 4,
    kPolyBezierTo = 5,
    kPolylineTo = 6,
    kPolyPolyline = 7,
    kPolyPolygon = 8,
    kSetWindowExtEx = 9,
    kSetWindowOrgEx = 10,
    kSetViewportExtEx = 11,
    kSetViewportOrgEx = 12,
    kSetBrushOrgEx = 13,
    kEof = 14,
    kSetPixelV = 15,
    kSetMapMode = 17,
    kSetBkMode = 18,
    kSetPolyFillMode = 19,
    kSetRop2 = 20,
    kSetStretchBltMode = 21,
    kSetTextAlign = 22,
    kSetTextColor = 24,
    kSetBkColor = 25,
    kMoveToEx = 27,
    kExcludeClipRect = 29,
    kIntersectClipRect = 30,
    kSaveDc = 33,
    kRestoreDc = 34,
    kSetWorldTransform = 35,
    kModifyWorldTransform = 36,
    kSelectObject = 37,
    kCreatePen = 38,
    kCreateBrushIndirect = 39,
    kDeleteObject = 40,
    kEllipse = 42,
    kRectangle = 43,
    kRoundRect = 44,
    kArc = 45,
    kChord = 46,
    kPie = 47,
    kLineTo = 54,
    kArcTo = 55,
    kBeginPath = 59,
    kEndPath = 60,
    kCloseFigure = 61,
    kFillPath = 62,
    kStrokeAndFillPath = 63,
    kStrokePath = 64,
    kAbortPath = 68,
    kGdiComment = 70,
    kFillRgn = 71,
    kFrameRgn = 72,
    kInvertRgn = 73,
    kPaintRgn = 74,
    kExtSelectClipRgn = 75,
    kBitBlt = 76,
    kStretchBlt = 77,
    kSetDIBitsToDevice = 80,
    kStretchDIBits = 81,
    kExtCreateFontIndirectW = 82,
    kExtTextOutA = 83,
    kExtTextOutW = 84,
    kPolyBezier16 = 85,
    kPolygon16 = 86,
    kPolyline16 = 87,
    kPolyBezierTo16 = 88,
    kPolylineTo16 = 89,
    kPolyPolyline16 = 90,
    kPolyPolygon16 = 91,
    kCreateMonoBrush = 93,
    kCreateDibPatternBrushPt = 94,
    kExtCreatePen = 95,
};

constexpr std::uint32_t kSignature = 0x464D4520; // " EMF"
constexpr std::uint32_t kHeaderSize = 108;
constexpr std::uint32_t kStockObjectFlag = 0x80000000u;
// The most objects a metafile may ask for (the header's count is 16 bits).
constexpr std::uint32_t kMaxHandles = 0xFFFF;

// Appends little-endian values to a byte buffer.
class Writer {
public:
    std::vector<std::uint8_t> bytes;

    void u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    void u16(std::uint16_t v) {
        bytes.push_back(static_cast<std::uint8_t>(v));
        bytes.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    void i16(std::int16_t v) { u16(static_cast<std::uint16_t>(v)); }
    void f32(float v) {
        std::uint32_t u;
        std::memcpy(&u, &v, 4);
        u32(u);
    }
    void raw(const void* data, std::size_t n) {
        const auto* p = static_cast<const std::uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + n);
    }
    void rect(const RECT& r) {
        i32(r.left);
        i32(r.top);
        i32(r.right);
        i32(r.bottom);
    }
    void pad4() {
        while (bytes.size() % 4)
            bytes.push_back(0);
    }
    std::size_t size() const { return bytes.size(); }
    void putU32At(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
};

// Reads little-endian values inside one record; every read is checked against the record.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size)
        : m_data(data)
        , m_size(size) {}
    bool has(std::size_t offset, std::size_t n) const {
        return offset <= m_size && n <= m_size - offset;
    }
    std::uint32_t u32(std::size_t offset) const {
        if (!has(offset, 4))
            return 0;
        return static_cast<std::uint32_t>(m_data[offset]) |
               (static_cast<std::uint32_t>(m_data[offset + 1]) << 8) |
               (static_cast<std::uint32_t>(m_data[offset + 2]) << 16) |
               (static_cast<std::uint32_t>(m_data[offset + 3]) << 24);
    }
    std::int32_t i32(std::size_t offset) const { return static_cast<std::int32_t>(u32(offset)); }
    std::uint16_t u16(std::size_t offset) const {
        if (!has(offset, 2))
            return 0;
        return static_cast<std::uint16_t>(m_data[offset] | (m_data[offset + 1] << 8));
    }
    std::int16_t i16(std::size_t offset) const { return static_cast<std::int16_t>(u16(offset)); }
    float f32(std::size_t offset) const {
        const std::uint32_t u = u32(offset);
        float f;
        std::memcpy(&f, &u, 4);
        return f;
    }
    RECT rect(std::size_t offset) const {
        return RECT{i32(offset), i32(offset + 4), i32(offset + 8), i32(offset + 12)};
    }
    const std::uint8_t* at(std::size_t offset) const { return m_data + offset; }
    std::size_t size() const { return m_size; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
};

// One record found by walking the data: where it starts and how long it is.
struct RecordSpan {
    std::uint32_t type;
    std::size_t offset;
    std::size_t size;
};

// Checks the header of metafile bytes: type 1, the signature, sizes inside the data. The
// message says what is wrong; empty when the header is sound.
std::string CheckHeader(const std::uint8_t* data, std::size_t size);
// The records after the header, in order, up to and including the end record. Records too
// small, not a multiple of 4 or running past the data end the walk (nothing after them can be
// found); every span returned lies inside the data.
std::vector<RecordSpan> WalkRecords(const std::uint8_t* data, std::size_t size);

} // namespace plat::core::emf
