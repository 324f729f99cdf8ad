// Code-page services: the active code page, lead bytes, the Windows-1252 character classes and
// the conversions the font engine uses to reach the fonts' Unicode character maps.

#include "core/font/Encoding.h"

#include "plat/Font.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <string>

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
        return "CP950";
    default:
        return nullptr;
    }
}

// One character of the active code page as Unicode through iconv; 0 when the page has none.
// `bytes` holds one or two bytes.
char32_t decodeWithIconv(const char* name, const char* bytes, std::size_t count) {
    iconv_t cd = iconv_open("UTF-32LE", name);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return 0;
    }
    char in[2] = {bytes[0], count > 1 ? bytes[1] : '\0'};
    std::size_t inLen = count;
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

// The next character of UTF-8 text, or 0xFFFFFFFF for a malformed sequence; `i` moves past it.
char32_t nextUtf8(std::string_view text, std::size_t& i) {
    const auto c = static_cast<unsigned char>(text[i++]);
    if (c < 0x80) {
        return c;
    }
    const int extra = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || text.size() - i < static_cast<std::size_t>(extra)) {
        return 0xFFFFFFFF;
    }
    char32_t u = c & (0x3F >> extra);
    for (int k = 0; k < extra; ++k) {
        const auto t = static_cast<unsigned char>(text[i++]);
        if ((t & 0xC0) != 0x80) {
            return 0xFFFFFFFF;
        }
        u = (u << 6) | (t & 0x3F);
    }
    constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (u < kLeast[extra] || u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) {
        return 0xFFFFFFFF;
    }
    return u;
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

UINT CodePageOfLocale(const char* locale) {
    if (locale == nullptr) {
        return 1252;
    }
    // language[_territory][.codeset][@modifier]
    const std::string name(locale);
    const std::string base = name.substr(0, name.find_first_of(".@"));
    const std::string language = base.substr(0, base.find('_'));
    const std::string territory =
        base.find('_') == std::string::npos ? std::string() : base.substr(base.find('_') + 1);
    if (language == "ja") {
        return 932;
    }
    if (language == "ko") {
        return 949;
    }
    if (language == "zh") {
        if (territory == "TW" || territory == "HK" || territory == "MO") {
            return 950;
        }
        return 936;
    }
    return 1252;
}

UINT CodePageFromEnvironment() {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && value[0] != '\0') {
            return CodePageOfLocale(value);
        }
    }
    return 1252;
}

bool AnsiCodesFromUtf8(std::string_view utf8, std::vector<unsigned>& codes) {
    codes.clear();
    const char* name = iconvName(s_codePage);
    iconv_t cd = reinterpret_cast<iconv_t>(-1);
    if (name != nullptr) {
        cd = iconv_open(name, "UTF-32LE");
        if (cd == reinterpret_cast<iconv_t>(-1)) {
            return false;
        }
    }
    bool ok = true;
    std::size_t i = 0;
    while (ok && i < utf8.size()) {
        const char32_t u = nextUtf8(utf8, i);
        unsigned code = 0;
        ok = false;
        if (u == 0xFFFFFFFF) {
            break;
        }
        if (u < 0x80) {
            code = u;
            ok = true;
        } else if (name == nullptr) {
            for (unsigned b = 0x80; b <= 0xFF && !ok; ++b) {
                if (fontcore::Cp1252ToUnicode(static_cast<unsigned char>(b)) == u) {
                    code = b;
                    ok = true;
                }
            }
        } else {
            char in[4] = {static_cast<char>(u & 0xFF), static_cast<char>((u >> 8) & 0xFF),
                          static_cast<char>((u >> 16) & 0xFF), static_cast<char>(u >> 24)};
            char out[8] = {};
            char* inPtr = in;
            char* outPtr = out;
            std::size_t inLen = sizeof in;
            std::size_t outLen = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            const std::size_t r = iconv(cd, &inPtr, &inLen, &outPtr, &outLen);
            const std::size_t n = sizeof out - outLen;
            // A character the page lacks fails, or is replaced by a substitute; only a
            // conversion that comes back to the same character counts.
            if (r == 0 && inLen == 0 && (n == 1 || n == 2)) {
                code = n == 1 ? static_cast<unsigned char>(out[0])
                              : (static_cast<unsigned>(static_cast<unsigned char>(out[0])) << 8) |
                                    static_cast<unsigned char>(out[1]);
                ok = (n == 2) == (IsDBCSLeadByte(static_cast<BYTE>(out[0])) != 0) &&
                     decodeWithIconv(name, out, n) == u;
            }
        }
        if (ok) {
            codes.push_back(code);
        }
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) {
        iconv_close(cd);
    }
    return ok;
}

std::string AnsiTextFromUtf8(std::string_view utf8) {
    std::string out;
    std::vector<unsigned> codes;
    for (std::size_t i = 0; i < utf8.size();) {
        // ASCII is the same on every page: runs of it are copied whole, so that megabytes of
        // pasted text take no conversion per character. A character followed by stray
        // continuation bytes is converted with them (into "?").
        std::size_t run = i;
        while (run < utf8.size() && static_cast<unsigned char>(utf8[run]) < 0x80) {
            ++run;
        }
        if (run < utf8.size() && run > i &&
            (static_cast<unsigned char>(utf8[run]) & 0xC0) == 0x80) {
            --run;
        }
        if (run > i) {
            out.append(utf8.substr(i, run - i));
            i = run;
            continue;
        }
        std::size_t j = i + 1;
        while (j < utf8.size() && (static_cast<unsigned char>(utf8[j]) & 0xC0) == 0x80) {
            ++j;
        }
        if (!AnsiCodesFromUtf8(utf8.substr(i, j - i), codes)) {
            codes.assign(1, '?');
        }
        for (unsigned code : codes) {
            if (code > 0xFF) {
                out += static_cast<char>(code >> 8);
            }
            out += static_cast<char>(code & 0xFF);
        }
        i = j;
    }
    return out;
}

std::string Utf8FromAnsiText(std::string_view text) {
    const char* name = iconvName(s_codePage);
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (name == nullptr || b < 0x80) {
            fontcore::AppendUtf8(out, fontcore::Cp1252ToUnicode(b));
            i += 1;
            continue;
        }
        const std::size_t n = IsDBCSLeadByte(b) && i + 1 < text.size() ? 2 : 1;
        const char32_t u = decodeWithIconv(name, text.data() + i, n);
        fontcore::AppendUtf8(out, u != 0 ? u : U'?');
        i += n;
    }
    return out;
}

BOOL IsDBCSLeadByte(BYTE byte) {
    return fontcore::IsLeadByteOf(s_codePage, byte) ? TRUE : FALSE;
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

void AppendUtf8(std::string& out, char32_t u) {
    if (u < 0x80) {
        out += static_cast<char>(u);
    } else if (u < 0x800) {
        out += static_cast<char>(0xC0 | (u >> 6));
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
        out += static_cast<char>(0xE0 | (u >> 12));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else if (u < 0x110000) {
        out += static_cast<char>(0xF0 | (u >> 18));
        out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    }
}

char32_t Cp1252ToUnicode(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) {
        return kCp1252High[byte - 0x80];
    }
    return byte;
}

bool IsLeadByteOf(UINT codePage, BYTE byte) {
    switch (codePage) {
    case 932:
        return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950:
        return byte >= 0x81 && byte <= 0xFE;
    default:
        return false;
    }
}

char32_t CodeToUnicode(unsigned code, UINT codePage) {
    const char* name = iconvName(codePage);
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
    return decodeWithIconv(name, in, inLen);
}

char32_t AnsiCodeToUnicode(unsigned code) {
    return CodeToUnicode(code, s_codePage);
}

} // namespace fontcore

} // namespace plat
