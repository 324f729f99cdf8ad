#pragma once
// Bounds-checked little-endian reading of MTEF bytes.

#include <cstddef>
#include <cstdint>

namespace MTEF5 {

class Stream {
public:
    Stream(const uint8_t* bytes, size_t length)
        : m_p(bytes)
        , m_end(bytes + length) {}
    bool bad() const { return m_bad; }
    void fail() { m_bad = true; }
    uint8_t u8() {
        if (m_bad || m_p >= m_end) {
            m_bad = true;
            return 0;
        }
        return *m_p++;
    }
    uint16_t u16() {
        const uint16_t lo = u8();
        return static_cast<uint16_t>(lo | u8() << 8);
    }
    // One byte, or 255 followed by 16 bits.
    uint32_t uint() {
        const uint8_t b = u8();
        return b == 255 ? u16() : b;
    }
    // One byte holding the value + 128, or 255 followed by 16 bits holding the value + 32768.
    int sint() {
        const uint8_t b = u8();
        return b == 255 ? static_cast<int>(u16()) - 32768 : static_cast<int>(b) - 128;
    }
    void skip(size_t n) {
        if (m_bad || static_cast<size_t>(m_end - m_p) < n) {
            m_bad = true;
            return;
        }
        m_p += n;
    }
    void skipString() {
        while (!m_bad && u8() != 0) {
        }
    }
    bool atEnd() const { return m_p >= m_end; }

private:
    const uint8_t* m_p;
    const uint8_t* m_end;
    bool m_bad = false;
};

} // namespace MTEF5
