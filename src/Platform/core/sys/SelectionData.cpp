#include "core/sys/SelectionData.h"

#include <algorithm>
#include <cstring>

namespace plat::core {

std::size_t PropertyItemBytes(int format) {
    switch (format) {
    case 8:
        return 1;
    case 16:
        return sizeof(short);
    case 32:
        return sizeof(long);
    default:
        return 0;
    }
}

bool SelectionData::add(int format, const unsigned char* items, unsigned long count) {
    const std::size_t unit = PropertyItemBytes(format);
    if (unit == 0 || (m_format != 0 && format != m_format))
        return false;
    m_format = format;
    if (count == 0 || items == nullptr)
        return true;
    // Whole items only, up to one byte past the limit.
    const std::size_t room = m_limit + 1 - std::min(m_bytes.size(), m_limit + 1);
    const std::size_t fits = std::min<std::size_t>(count, (room + unit - 1) / unit);
    if (fits < count)
        m_overflowed = true;
    m_bytes.insert(m_bytes.end(), items, items + fits * unit);
    if (m_bytes.size() > m_limit + 1) {
        m_bytes.resize(m_limit + 1);
        m_overflowed = true;
    }
    return true;
}

std::vector<unsigned long> AtomsOf(int format, const std::vector<std::uint8_t>& bytes) {
    std::vector<unsigned long> atoms;
    if (format != 32)
        return atoms;
    atoms.resize(bytes.size() / sizeof(long));
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        long atom = 0;
        std::memcpy(&atom, bytes.data() + i * sizeof(long), sizeof(long));
        atoms[i] = static_cast<unsigned long>(atom);
    }
    return atoms;
}

} // namespace plat::core
