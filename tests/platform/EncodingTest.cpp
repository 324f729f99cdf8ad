// Character classes of Windows-1252, the active code page and double-byte stepping.

#include "core/font/Encoding.h"

#include "plat/Font.h"

#include <gtest/gtest.h>
#include <set>

namespace kvtest {
namespace {

// Restores the default code page whatever a test does.
class CodePageScope {
public:
    CodePageScope() = default;
    ~CodePageScope() { plat::SetActiveCodePage(1252); }
    CodePageScope(const CodePageScope&) = delete;
    CodePageScope& operator=(const CodePageScope&) = delete;
};

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

} // namespace
} // namespace kvtest
