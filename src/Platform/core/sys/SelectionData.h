#pragma once
// The byte handling of selection transfers between X clients, apart from the connection: the data
// of an incoming selection put together from the property values it arrives in (one answer, or
// the chunks of an incremental transfer), bounded in size, and the atom lists of TARGETS answers
// and MULTIPLE requests. Nothing here needs a display, so it is tested and fuzzed on its own.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plat::core {

// The most bytes taken from another client in one transfer. Of a larger one only the first
// kLargestSelectionBytes + 1 are kept, so that the reader sees that the data is too large.
inline constexpr std::size_t kLargestSelectionBytes = std::size_t{64} << 20;

// The data of one incoming selection. Each piece is added as the client library hands it over:
// `count` items of `format` bits (8, 16 or 32), 32-bit items stored as C longs, 16-bit ones as
// shorts; the bytes are kept in that form.
class SelectionData {
public:
    explicit SelectionData(std::size_t limit = kLargestSelectionBytes)
        : m_limit(limit) {}
    // False for a format other than 8, 16 or 32, or one that differs from the pieces before.
    // Items beyond the limit are dropped (overflowed() tells), never stored.
    bool add(int format, const unsigned char* items, unsigned long count);
    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }
    std::vector<std::uint8_t> take() { return std::move(m_bytes); }
    int format() const { return m_format; }
    bool overflowed() const { return m_overflowed; }

private:
    std::size_t m_limit;
    std::vector<std::uint8_t> m_bytes;
    int m_format = 0;
    bool m_overflowed = false;
};

// The bytes one item of a property value of `format` bits takes as the client library stores it;
// 0 for a format it does not hand over.
std::size_t PropertyItemBytes(int format);

// The atoms of a 32-bit property value kept as SelectionData keeps it; none for another format.
std::vector<unsigned long> AtomsOf(int format, const std::vector<std::uint8_t>& bytes);

} // namespace plat::core
