// The forms an encoding arrives in: buried in other text, HTML-escaped in an "exprcode" parameter,
// base64 after a "B64" marker, and after the pixels of a packed bitmap.
#include "OverPc/PERROR.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eTempl.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/etEncode.h"
#include "model/ModelFixture.h"
#include "plat/Testing.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

// Base64 with the program's alphabet (62 "+", 63 "@"), written from its definition.
std::string EncodeB64(const std::string& bytes, char sixtyThree = '@') {
    const std::string alphabet =
        std::string("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+") + sixtyThree;
    std::string out;
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = uint32_t(uint8_t(bytes[i])) << 16 |
                           uint32_t(uint8_t(bytes[i + 1])) << 8 | uint8_t(bytes[i + 2]);
        for (int k = 3; k >= 0; --k)
            out.push_back(alphabet[(v >> (6 * k)) & 63]);
    }
    if (i + 1 == bytes.size()) {
        const uint32_t v = uint32_t(uint8_t(bytes[i])) << 16;
        out += {alphabet[(v >> 18) & 63], alphabet[(v >> 12) & 63], '=', '='};
    } else if (i + 2 == bytes.size()) {
        const uint32_t v = uint32_t(uint8_t(bytes[i])) << 16 | uint32_t(uint8_t(bytes[i + 1])) << 8;
        out += {alphabet[(v >> 18) & 63], alphabet[(v >> 12) & 63], alphabet[(v >> 6) & 63], '='};
    }
    return out;
}

// Quotes escaped for a script string: as a backslash and the entity, or a backslash and the quote.
std::string HtmlEscape(const std::string& text, bool rawQuotes = false) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += rawQuotes ? "\\\"" : "\\&quot;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

class EncodingFormsTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        RegisterFractionTemplates();
        plat::testing::reset();
        FSSRecord style = SizedStyle(12);
        SetFSSFontName(style, "Face \"quoted\" & <angled>");
        OwnedNode<eSimpString> num = NewSimpStringWith(NewWord("ab", 0, style, 0));
        OwnedNode<eSimpString> den = NewSimpStringWith(NewWord("&", 0, style, 0));
        OwnedNode<eSimpString> row = NewSimpString(4);
        row->setChild(0, NewFraction(ExprPtr(num.release()), ExprPtr(den.release())));
        row->setChild(1, NewWord("x", 0, style, 0));
        row->setChild(2, NewWord("<", 0, style, 0)); // escaped with a backslash
        row->setChild(3, NewWord("y", 0, style, 0));
        m_tree = ExprPtr(row.release());
        m_text = ExprEncodingText(m_tree.get());
    }

    // Found and read, the text gives back the tree's own encoding.
    void ExpectFound(const std::string& around) {
        ExprPtr found;
        ASSERT_EQ(CatchFail([&] { found = FindEmbeddedEncoding(around.data(), around.size()); }),
                  0);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(ExprEncodingText(found.get()), m_text);
    }

    ExprPtr m_tree;
    std::string m_text;
};

TEST_F(EncodingFormsTest, PlainTextInsideOtherText) {
    ASSERT_NE(m_text.find('\\'), std::string::npos) << "the sample should hold a backslash";
    const std::string mail = "Dear reader,\r\nhere it is: " + m_text + " -- and more text ]|[";
    const std::string before = mail;
    ExpectFound(mail);
    EXPECT_EQ(mail, before);
    // The marker at the very end of the caller's bytes: nothing is read or written past them.
    std::vector<char> exact(m_text.begin(), m_text.end());
    ExprPtr found = FindEmbeddedEncoding(exact.data(), exact.size());
    ASSERT_NE(found, nullptr);
}

TEST_F(EncodingFormsTest, HtmlEscapedParameter) {
    const std::string page = "<html><body><embed type=\"x\" exprcode=\"" + HtmlEscape(m_text) +
                             "\"\n  other=\"1\"></body></html>";
    ASSERT_NE(page.find("\\&quot;"), std::string::npos);
    ExpectFound(page);
    ExpectFound("<script>show(\"exprcode\", \"" + HtmlEscape(m_text, true) + "\");</script>");
    // Line ends inside the parameter are dropped.
    std::string wrapped = HtmlEscape(m_text);
    wrapped.insert(20, "\r\n");
    ExpectFound("exprcode='" + wrapped + "'");
    // A doubled backslash stands for one.
    std::string doubled;
    for (char c : m_text)
        doubled += c == '\\' ? std::string("\\\\") : std::string(1, c);
    ExpectFound("exprcode " + HtmlEscape(doubled));
}

TEST_F(EncodingFormsTest, HtmlWithAnUnknownEntityFails) {
    // The copy stops at the unknown entity, and the error reaches the caller.
    const std::string page = "exprcode=\"" + m_text.substr(0, 30) + "&nbsp;" + m_text.substr(30);
    EXPECT_EQ(CatchFail([&] { (void)FindEmbeddedEncoding(page.data(), page.size()); }),
              errDataCorrupted);
}

TEST_F(EncodingFormsTest, Base64Block) {
    for (char sixtyThree : {'@', '/'}) {
        SCOPED_TRACE(sixtyThree);
        std::string b64 = EncodeB64("leading text " + m_text + " trailing", sixtyThree);
        b64.insert(40, "\r\n \t");
        ExpectFound("mail body ]|Expr|[B64" + b64 + "]|[ signature");
    }
}

TEST_F(EncodingFormsTest, CorruptBase64GivesNoneWithoutAnAlert) {
    const std::string good = EncodeB64(m_text);
    const std::vector<std::string> bad = {
        "]|Expr|[B64" + good.substr(0, 20) + "*" + good.substr(20) + "]|[", // outside the alphabet
        "]|Expr|[B64" + good.substr(0, good.size() / 2) + "]|[",            // cut short
        "]|Expr|[B64" + EncodeB64("no encoding in here") + "]|[",
    };
    for (const std::string& text : bad) {
        SCOPED_TRACE(text);
        ExprPtr found;
        ASSERT_EQ(CatchFail([&] { found = FindEmbeddedEncoding(text.data(), text.size()); }), 0);
        EXPECT_EQ(found, nullptr);
    }
    EXPECT_TRUE(plat::testing::messageBoxes().empty());
}

TEST_F(EncodingFormsTest, PlainTextWithoutMarkersOrBrokenGivesNone) {
    const std::vector<std::string> texts = {
        "",
        "no markers",
        "]|Expr|[ never ends",
        "]|[ before ]|Expr|[_",
        m_text.substr(0, m_text.size() / 2) + "]|[",
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        EXPECT_EQ(FindEmbeddedEncoding(text.data(), text.size()), nullptr);
    }
}

// ---- Bitmaps -----------------------------------------------------------------------------------

void Put16(std::string& s, size_t at, uint32_t v) {
    s[at] = char(v & 0xFF);
    s[at + 1] = char((v >> 8) & 0xFF);
}
void Put32(std::string& s, size_t at, uint32_t v) {
    Put16(s, at, v & 0xFFFF);
    Put16(s, at + 2, v >> 16);
}

// A packed bitmap: 40-byte header, colour table for 8 bits or less, rows padded to 4 bytes.
std::string Dib(int32_t width, int32_t height, uint16_t bits, uint32_t colours = 0) {
    std::string dib(40, '\0');
    Put32(dib, 0, 40);
    Put32(dib, 4, uint32_t(width));
    Put32(dib, 8, uint32_t(height));
    Put16(dib, 12, 1);
    Put16(dib, 14, bits);
    Put32(dib, 32, colours);
    const size_t table = bits <= 8 ? 4u * (colours != 0 ? colours : (1u << bits)) : 0u;
    const size_t row = (size_t(width) * bits + 31) / 32 * 4;
    // Pixel bytes that look like text must not be taken for the encoding.
    dib += std::string(table, 'T');
    dib += std::string(row * size_t(height < 0 ? -height : height), ']');
    return dib;
}

// The older 12-byte header: 16-bit width and height, three-byte colour entries.
std::string CoreDib(uint16_t width, uint16_t height, uint16_t bits) {
    std::string dib(12, '\0');
    Put32(dib, 0, 12);
    Put16(dib, 4, width);
    Put16(dib, 6, height);
    Put16(dib, 8, 1);
    Put16(dib, 10, bits);
    dib += std::string(bits <= 8 ? 3u * (1u << bits) : 0u, 'T');
    dib += std::string((size_t(width) * bits + 31) / 32 * 4 * height, ']');
    return dib;
}

// Run-length compressed bits take their size from the header.
std::string RleDib(uint32_t imageSize) {
    std::string dib = Dib(4, 4, 8);
    dib.resize(40 + 4 * 256);
    Put32(dib, 16, 1);
    Put32(dib, 20, imageSize);
    return dib + std::string(imageSize, '\x01');
}

TEST_F(EncodingFormsTest, EncodingAfterTheBitmapBits) {
    struct Case {
        const char* what;
        std::string dib;
    };
    const Case cases[] = {
        {"24 bits", Dib(3, 2, 24)},
        {"8 bits, full table", Dib(5, 3, 8)},
        {"4 bits, short table", Dib(7, 2, 4, 3)},
        {"top-down 32 bits", Dib(2, -4, 32)},
        {"12-byte header, 1 bit", CoreDib(9, 3, 1)},
        {"run-length bits", RleDib(22)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string block = c.dib + m_text;
        ExprPtr found = ReadEncodingFromDib(block.data(), block.size());
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(ExprEncodingText(found.get()), m_text);
        EXPECT_EQ(ReadEncodingFromDib(c.dib.data(), c.dib.size()), nullptr) << "ends with the bits";
    }
}

TEST_F(EncodingFormsTest, InconsistentBitmapsGiveNone) {
    const std::string good = Dib(3, 2, 24) + m_text;
    std::string wide = good;
    Put32(wide, 4, 0x7FFFFFFF);
    std::string odd = good;
    Put16(odd, 14, 7);
    std::string header = good;
    Put32(header, 0, 100000);
    std::string colours = Dib(3, 2, 8) + m_text;
    Put32(colours, 32, 0xFFFFFFFF);
    std::string corrupt = Dib(3, 2, 24) + m_text.substr(0, m_text.size() - 5) + "}}]|[";
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"huge width", wide},
        {"odd bit count", odd},
        {"header beyond the block", header},
        {"huge colour table", colours},
        {"cut short", good.substr(0, 30)},
        {"corrupt encoding", corrupt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        const std::string& block = c.second;
        ExprPtr found;
        ASSERT_EQ(CatchFail([&] { found = ReadEncodingFromDib(block.data(), block.size()); }), 0);
        EXPECT_EQ(found, nullptr);
    }
}

} // namespace
} // namespace kvtest
