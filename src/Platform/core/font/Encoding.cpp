// Code-page services: the active code page, lead bytes, the Windows-1252 character classes and
// the conversions the font engine uses to reach the fonts' Unicode character maps.

#include "core/font/Encoding.h"

#include "plat/Font.h"

#include <array>
#include <cstring>
#include <iconv.h>

namespace plat {

namespace {

UINT s_codePage = 1252;

// Windows-1252 0x80-0x9F; the rest of the page equals Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

enum : std::uint8_t { kAlpha = 1, kDigit = 2 };

constexpr std::array<std::uint8_t, 256> makeClasses() {
    std::array<std::uint8_t, 256> c{};
    for (int i = 'A'; i <= 'Z'; ++i) {
        c[i] = kAlpha;
        c[i + 32] = kAlpha;
    }
    for (int i = '0'; i <= '9'; ++i) {
        c[i] = kDigit;
    }
    for (int i : {0x83, 0x8A, 0x8C, 0x8E, 0x9A, 0x9C, 0x9E, 0x9F, 0xAA, 0xB5, 0xBA}) {
        c[i] = kAlpha;
    }
    for (int i = 0xC0; i <= 0xFF; ++i) {
        if (i != 0xD7 && i != 0xF7) {
            c[i] = kAlpha;
        }
    }
    for (int i : {0xB2, 0xB3, 0xB9}) {
        c[i] = kDigit;
    }
    return c;
}

constexpr std::array<std::uint8_t, 256> kClasses = makeClasses();

const char* iconvName(UINT codePage) {
    switch (codePage) {
    case 932:
        return "CP932";
    case 936:
        return "CP936";
    case 949:
        return "CP949";
    case 950:
        return "BIG5-HKSCS";
    default:
        return nullptr;
    }
}

} // namespace

BOOL IsCharAlpha(char ch) {
    return (kClasses[static_cast<unsigned char>(ch)] & kAlpha) != 0;
}

BOOL IsCharAlphaNumeric(char ch) {
    return kClasses[static_cast<unsigned char>(ch)] != 0;
}

UINT GetACP() {
    return s_codePage;
}

BOOL SetActiveCodePage(UINT codePage) {
    if (codePage != 1252 && iconvName(codePage) == nullptr) {
        return FALSE;
    }
    s_codePage = codePage;
    return TRUE;
}

BOOL IsDBCSLeadByte(BYTE byte) {
    switch (s_codePage) {
    case 932:
        return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950:
        return byte >= 0x81 && byte <= 0xFE;
    default:
        return FALSE;
    }
}

char* CharNext(const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    const char* p = text;
    if (*p == '\0') {
        return const_cast<char*>(p);
    }
    // A lead byte at the very end of the text has no trail byte: step over it alone.
    if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0') {
        return const_cast<char*>(p + 2);
    }
    return const_cast<char*>(p + 1);
}

namespace fontcore {

char32_t Cp1252ToUnicode(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) {
        return kCp1252High[byte - 0x80];
    }
    return byte;
}

char32_t AnsiCodeToUnicode(unsigned code) {
    const char* name = iconvName(s_codePage);
    if (name == nullptr) {
        return code <= 0xFF ? Cp1252ToUnicode(static_cast<unsigned char>(code)) : 0;
    }
    if (code < 0x80) {
        return code;
    }
    char in[2];
    std::size_t inLen = 0;
    if (code > 0xFF) {
        in[0] = static_cast<char>(code >> 8);
        in[1] = static_cast<char>(code & 0xFF);
        inLen = 2;
    } else {
        in[0] = static_cast<char>(code);
        inLen = 1;
    }
    iconv_t cd = iconv_open("UTF-32LE", name);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return 0;
    }
    unsigned char out[8] = {};
    char* inPtr = in;
    char* outPtr = reinterpret_cast<char*>(out);
    std::size_t outLen = sizeof(out);
    const std::size_t r = iconv(cd, &inPtr, &inLen, &outPtr, &outLen);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1) || inLen != 0 || sizeof(out) - outLen != 4) {
        return 0;
    }
    return static_cast<char32_t>(out[0] | (out[1] << 8) | (out[2] << 16) |
                                 (static_cast<unsigned>(out[3]) << 24));
}

} // namespace fontcore

} // namespace plat
