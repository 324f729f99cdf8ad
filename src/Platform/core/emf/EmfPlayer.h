#pragma once
// Plays metafile records on a DC through the ordinary drawing calls. The picture's frame is
// mapped onto the destination rectangle; the recorded mapping is composed with that and given
// to the DC, so the records' own coordinates go through unchanged. Every record is checked
// against its size before anything in it is used; a record that does not check out is skipped.

#include "core/emf/EmfFormat.h"
#include "core/win/Region.h"
#include "plat/Gdi.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace plat::core::emf {

class Player {
public:
    // data must hold a header that CheckHeader accepted.
    Player(HDC target, const std::uint8_t* data, std::size_t size, const RECT& destination);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // False when the target is not a DC.
    bool ok() const { return m_saved != 0; }
    void play(const RecordSpan& record);
    // The objects made so far, indexed by record object number (the metafile itself is 0).
    std::vector<HGDIOBJ>& table() { return m_table; }

private:
    struct Mapping {
        int mode = MM_TEXT;
        SIZE windowExt{1, 1};
        SIZE viewportExt{1, 1};
        POINT windowOrg;
        POINT viewportOrg;
    };

    void applyMapping();
    void resetAttributes();
    // Whether a logical point stays well inside the device's integer range under the DC's
    // current mapping; records with points beyond it are skipped.
    bool fits(long long x, long long y) const;
    bool fitsRect(const RECT& r) const { return fits(r.left, r.top) && fits(r.right, r.bottom); }
    HGDIOBJ object(std::uint32_t index) const;
    bool validIndex(std::uint32_t index) const { return index >= 1 && index < m_table.size(); }
    void store(std::uint32_t index, HGDIOBJ h);
    // A region from record data at offset (rectangles in the given space); false when the data
    // do not check out.
    bool readRegion(const Reader& r, std::size_t offset, std::size_t bytes, Region& out) const;
    HRGN makeRegion(const Region& region) const;
    void setClip(int mode, const Region* deviceRegion);
    // A DIB inside the record: header copied into aligned memory, bits pointing into the record.
    bool readDib(const Reader& r, std::uint32_t offBmi, std::uint32_t cbBmi, std::uint32_t offBits,
                 std::uint32_t cbBits, std::vector<std::uint32_t>& info,
                 const std::uint8_t*& bits) const;
    HGDIOBJ patternBrush(const Reader& r, bool mono);
    void polyRecord(const Reader& r, std::uint32_t type);
    void polyPolyRecord(const Reader& r, std::uint32_t type);
    void textRecord(const Reader& r, bool wide);
    void blitRecord(const Reader& r, std::uint32_t type);

    HDC m_target;
    const std::uint8_t* m_data;
    int m_saved = 0;
    int m_depth = 0; // SaveDC levels the records opened
    double m_scaleX = 1.0, m_scaleY = 1.0;
    double m_offsetX = 0.0, m_offsetY = 0.0;
    Mapping m_map;
    std::vector<Mapping> m_mapStack;
    std::optional<Region> m_initialClip;
    std::vector<HGDIOBJ> m_table;
};

// The most bytes that playing checked metafile bytes adds to a recording DC's metafile, at any
// destination size; walks the records without playing them (see EnhMetaFilePlayedBytesBound).
std::uint64_t PlayedBytesBound(const std::uint8_t* data, std::size_t size);

// Windows metafiles: enhanced-metafile bytes (checked) converted, the offset of the header in
// bytes that hold one (after an optional placeable header; SIZE_MAX when they do not), and the
// records of a checked one played on a DC.
// `step`, when given, is called every kConversionStep records.
std::vector<std::uint8_t> EmfToWmf(const std::uint8_t* data, std::size_t size,
                                   const std::function<void()>* step = nullptr);
inline constexpr std::size_t kConversionStep = 1024;
std::size_t WmfStart(const std::uint8_t* data, std::size_t size);
void PlayWmf(HDC dc, const std::uint8_t* data, std::size_t size);

// A Windows-1252 byte for a UTF-16 unit ('?' when there is none); 0xF000-0xF0FF are the byte
// itself, as symbol fonts carry it.
unsigned char ByteFromUtf16(std::uint16_t unit);

} // namespace plat::core::emf
