#include "Rescomp.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace kvtool {
namespace {

// Code points of bytes 0x80-0x9F. The five bytes Windows leaves undefined map to the C1 control of
// the same value, so every byte has exactly one code point and round trips are lossless.
constexpr std::uint32_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

int cp1252Byte(std::uint32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<int>(cp);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == cp)
            return 0x80 + i;
    return -1;
}

} // namespace

bool Utf8ToCp1252(const std::string& utf8, std::string& out, std::string& bad) {
    out.clear();
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    char buf[32];
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        std::uint32_t cp = 0;
        std::size_t len = 0;
        if (c < 0x80) {
            cp = c;
            len = 1;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            len = 4;
        } else {
            std::snprintf(buf, sizeof buf, "invalid UTF-8 byte 0x%02X", c);
            bad = buf;
            return false;
        }
        if (i + len > n) {
            bad = "truncated UTF-8 sequence";
            return false;
        }
        for (std::size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) {
                bad = "invalid UTF-8 sequence";
                return false;
            }
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        const std::uint32_t minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            bad = "invalid UTF-8 sequence";
            return false;
        }
        const int b = cp1252Byte(cp);
        if (b < 0) {
            std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(cp));
            bad = std::string(buf) + " has no Windows-1252 byte";
            return false;
        }
        out.push_back(static_cast<char>(b));
        i += len;
    }
    return true;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw CompileError(path, 0, "cannot open the file");
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad())
        throw CompileError(path, 0, "cannot read the file");
    return ss.str();
}

} // namespace kvtool
