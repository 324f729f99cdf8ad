// Character classes of Windows-1252, the active code page and double-byte stepping.

#include "core/font/Encoding.h"

#include "plat/Font.h"
#include "support/CodePageScope.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kvtest {
namespace {

TEST(CharClasses, Cp1252LettersAndDigits) {
    // The letters of Windows-1252 outside ASCII: Š Œ Ž š œ ž Ÿ ƒ, the ordinal indicators, micro,
    // and the Latin-1 letters (not × and ÷). Superscript digits count as digits.
    std::set<int> letters = {0x83, 0x8A, 0x8C, 0x8E, 0x9A, 0x9C, 0x9E, 0x9F, 0xAA, 0xB5, 0xBA};
    for (int c = 0xC0; c <= 0xFF; ++c) {
        if (c != 0xD7 && c != 0xF7) {
            letters.insert(c);
        }
    }
    for (int c = 'A'; c <= 'Z'; ++c) {
        letters.insert(c);
        letters.insert(c + 32);
    }
    std::set<int> digits = {0xB2, 0xB3, 0xB9};
    for (int c = '0'; c <= '9'; ++c) {
        digits.insert(c);
    }
    for (int c = 0; c < 256; ++c) {
        SCOPED_TRACE(c);
        const char ch = static_cast<char>(c);
        EXPECT_EQ(plat::IsCharAlpha(ch) != 0, letters.count(c) == 1);
        EXPECT_EQ(plat::IsCharAlphaNumeric(ch) != 0, letters.count(c) + digits.count(c) == 1);
    }
}

TEST(CodePage, OnlyKnownCodePagesAreAccepted) {
    CodePageScope scope;
    EXPECT_EQ(plat::GetACP(), 1252u);
    EXPECT_FALSE(plat::SetActiveCodePage(1251));
    EXPECT_EQ(plat::GetACP(), 1252u);
    for (unsigned cp : {932u, 936u, 949u, 950u, 1252u}) {
        EXPECT_TRUE(plat::SetActiveCodePage(cp));
        EXPECT_EQ(plat::GetACP(), cp);
    }
}

TEST(CodePage, LeadBytesAndCharNext) {
    CodePageScope scope;
    for (int b = 0; b < 256; ++b) {
        EXPECT_FALSE(plat::IsDBCSLeadByte(static_cast<plat::BYTE>(b))) << b;
    }
    const char text[] = "a\x88\x9f"
                        "b\x81";
    EXPECT_EQ(plat::CharNext(text + 1), text + 2); // single-byte page: one byte each

    ASSERT_TRUE(plat::SetActiveCodePage(932));
    EXPECT_TRUE(plat::IsDBCSLeadByte(0x81));
    EXPECT_TRUE(plat::IsDBCSLeadByte(0x9F));
    EXPECT_FALSE(plat::IsDBCSLeadByte(0xA0)); // half-width katakana are single bytes
    EXPECT_TRUE(plat::IsDBCSLeadByte(0xE0));
    EXPECT_FALSE(plat::IsDBCSLeadByte(0xFD));
    EXPECT_EQ(plat::CharNext(text), text + 1);
    EXPECT_EQ(plat::CharNext(text + 1), text + 3);
    EXPECT_EQ(plat::CharNext(text + 4), text + 5); // a lead byte at the end stands alone
    EXPECT_EQ(plat::CharNext(text + 5), text + 5); // never past the end
    EXPECT_EQ(plat::fontcore::AnsiCodeToUnicode(0x889F), U'亜');
    EXPECT_EQ(plat::fontcore::AnsiCodeToUnicode('A'), U'A');
    EXPECT_EQ(plat::fontcore::AnsiCodeToUnicode(0x81FF), 0u); // not a character

    ASSERT_TRUE(plat::SetActiveCodePage(936));
    EXPECT_TRUE(plat::IsDBCSLeadByte(0xFE));
    EXPECT_FALSE(plat::IsDBCSLeadByte(0x80));
}

TEST(CodePage, Cp1252ConversionIsTotal) {
    std::set<char32_t> seen;
    for (int b = 0; b < 256; ++b) {
        seen.insert(plat::fontcore::Cp1252ToUnicode(static_cast<unsigned char>(b)));
    }
    EXPECT_EQ(seen.size(), 256u); // no two bytes share a character
    EXPECT_EQ(plat::fontcore::Cp1252ToUnicode(0x80), U'€');
    EXPECT_EQ(plat::fontcore::Cp1252ToUnicode(0x9F), U'Ÿ');
    EXPECT_EQ(plat::fontcore::Cp1252ToUnicode(0x81), 0x81u);
    EXPECT_EQ(plat::fontcore::Cp1252ToUnicode(0xE9), U'é');
}

// The code page follows the C library's locale variables in their order of precedence, whether
// or not the locale is installed.
TEST(CodePage, TheLocaleOfTheEnvironmentNamesTheCodePage) {
    const struct {
        const char* locale;
        unsigned codePage;
    } names[] = {
        {"ja_JP.UTF-8", 932},
        {"ja", 932},
        {"ja_JP.eucJP@x", 932},
        {"zh_CN.UTF-8", 936},
        {"zh_SG", 936},
        {"zh_TW.Big5", 950},
        {"zh_HK.UTF-8", 950},
        {"ko_KR.UTF-8", 949},
        {"ko", 949},
        {"fr_FR.UTF-8", 1252},
        {"C", 1252},
        {"POSIX", 1252},
        {"", 1252},
        {"jam_JM", 1252},
        {"kok_IN", 1252},
    };
    for (const auto& n : names) {
        EXPECT_EQ(plat::CodePageOfLocale(n.locale), n.codePage) << n.locale;
    }
    struct Environment {
        const char* all;
        const char* ctype;
        const char* lang;
        unsigned codePage;
    } environments[] = {
        {nullptr, nullptr, "ja_JP.UTF-8", 932},
        {nullptr, "ko_KR.UTF-8", "ja_JP.UTF-8", 949},
        {"zh_TW.UTF-8", "ko_KR.UTF-8", "ja_JP.UTF-8", 950},
        {"", "", "zh_CN.UTF-8", 936}, // empty variables are skipped
        {"C", nullptr, "ja_JP.UTF-8", 1252},
        {nullptr, nullptr, nullptr, 1252},
    };
    const char* const variables[3] = {"LC_ALL", "LC_CTYPE", "LANG"};
    std::optional<std::string> saved[3];
    for (int i = 0; i < 3; ++i) {
        if (const char* value = std::getenv(variables[i])) {
            saved[i] = value;
        }
    }
    for (const Environment& e : environments) {
        const char* values[3] = {e.all, e.ctype, e.lang};
        for (int i = 0; i < 3; ++i) {
            if (values[i]) {
                setenv(variables[i], values[i], 1);
            } else {
                unsetenv(variables[i]);
            }
        }
        EXPECT_EQ(plat::CodePageFromEnvironment(), e.codePage)
            << (e.all ? e.all : "-") << " " << (e.ctype ? e.ctype : "-") << " "
            << (e.lang ? e.lang : "-");
    }
    for (int i = 0; i < 3; ++i) {
        if (saved[i]) {
            setenv(variables[i], saved[i]->c_str(), 1);
        } else {
            unsetenv(variables[i]);
        }
    }
}

// Each code page's characters: the bytes that stand for them, the character a key or an input
// method gives, and back; a character the page cannot hold is refused.
TEST(CodePage, CharactersOfEachCodePageRoundTrip) {
    CodePageScope scope;
    const struct {
        unsigned codePage;
        const char* utf8;
        std::vector<unsigned> codes;
    } table[] = {
        {932, "日本", {0x93FA, 0x967B}},
        {932, "aあ", {'a', 0x82A0}},
        {932, "ｱ", {0xB1}}, // half-width katakana are one byte
        {936, "中文", {0xD6D0, 0xCEC4}},
        {936, "€", {0x80}},
        {949, "한국", {0xC7D1, 0xB1B9}},
        {949, "갂", {0x8141}}, // outside the older Korean standard: the code page's extension
        {950, "中文", {0xA4A4, 0xA4E5}},
        {950, "x繁", {'x', 0xC163}},
        {1252, "é€Ÿ", {0xE9, 0x80, 0x9F}},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(std::to_string(row.codePage) + " " + row.utf8);
        ASSERT_TRUE(plat::SetActiveCodePage(row.codePage));
        std::vector<unsigned> codes;
        EXPECT_TRUE(plat::AnsiCodesFromUtf8(row.utf8, codes));
        EXPECT_EQ(codes, row.codes);
        std::string bytes;
        for (unsigned c : row.codes) {
            if (c > 0xFF) {
                bytes += static_cast<char>(c >> 8);
                EXPECT_TRUE(plat::IsDBCSLeadByte(static_cast<plat::BYTE>(c >> 8)));
            }
            bytes += static_cast<char>(c & 0xFF);
        }
        EXPECT_EQ(plat::Utf8FromAnsiText(bytes), row.utf8);
    }
    const struct {
        unsigned codePage;
        const char* utf8;
        std::size_t held; // characters converted before the refused one
    } refused[] = {
        {932, "aé", 1},        {932, "€", 0},    {936, "ｱ", 0},
        {949, "日ə", 1},                                                // hanja are in 949
        {950, "日ｱ", 1},       {1252, "x日", 1}, {1252, "\xE6\x97", 0}, // a cut sequence
        {932, "\xC3\xA9x", 0},
    };
    for (const auto& row : refused) {
        SCOPED_TRACE(std::to_string(row.codePage) + " " + row.utf8);
        ASSERT_TRUE(plat::SetActiveCodePage(row.codePage));
        std::vector<unsigned> codes;
        EXPECT_FALSE(plat::AnsiCodesFromUtf8(row.utf8, codes));
        EXPECT_EQ(codes.size(), row.held);
    }
    // Whole texts, as a paste converts them: ASCII as it is, whatever its length; each other
    // character as the page holds it, or "?" (a character with stray continuation bytes too).
    const std::string longAscii(1 << 20, 'a');
    const struct {
        unsigned codePage;
        std::string utf8;
        std::string bytes;
    } texts[] = {
        {932, "x=日本+y", "x=\x93\xFA\x96\x7B+y"},
        {932, longAscii + "あ", longAscii + "\x82\xA0"},
        {1252,
         "ab\x80"
         "cd",
         "a?cd"},
        {1252,
         "\x80"
         "a",
         "?a"},
        {1252, "é" + longAscii + "x日", "\xE9" + longAscii + "x?"},
    };
    for (const auto& row : texts) {
        SCOPED_TRACE(std::to_string(row.codePage) + " " + row.utf8.substr(0, 16));
        ASSERT_TRUE(plat::SetActiveCodePage(row.codePage));
        EXPECT_EQ(plat::AnsiTextFromUtf8(row.utf8), row.bytes);
    }
}

} // namespace
} // namespace kvtest
