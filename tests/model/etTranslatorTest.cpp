// Translator files (read, written, damaged) and the rule language run over small trees.
#include "OverSrcs/etTranslator.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/etGener.h"
#include "OverSrcs/oStreams.h"
#include "model/TranslatorTreeFixture.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <unistd.h>

namespace kvtest {
namespace {

std::string Number(int32_t v) {
    char text[8];
    return std::string(text, static_cast<size_t>(EncodeCompactNumber(v, text)));
}

std::string Tr(int32_t code, const std::string& text) {
    return "Tr" + Number(code) + text + "\r\n";
}

TEST(TranslatorFile, WritesAndReadsBackEveryPart) {
    Translator t;
    t.escape = kEscapeXml;
    t.entries[kTrFraction + 1] = "<mfrac>@0@1</mfrac>";
    t.entries[kTrCopyAfter] = "line one\nline two\n\ttabbed";
    t.entries[0x12FF] = "sin::sine";
    SetFSSFontName(t.fonts[2], "Symbol");
    t.fonts[2].size = 12;
    t.fonts[2].style[0] = 1;
    Translator back;
    std::string message;
    ASSERT_TRUE(ReadTranslatorText(TranslatorText(t), back, message)) << message;
    EXPECT_TRUE(back == t);
    // Continuation lines carry the line ends; the text is CR LF throughout.
    EXPECT_NE(TranslatorText(t).find("line one\r\n\tline two\r\n\t\ttabbed\r\n"),
              std::string::npos);
}

TEST(TranslatorFile, FontRecordsReadBackEqualAfterSaving) {
    const std::string head = "Ve!\r\nEs!\r\n";
    const std::string fields = Number(2) + Number(9) + std::string(11, '!');
    struct Case {
        const char* name;
        std::string record;
        const char* face; // block 2 after reading
    } cases[] = {
        {"face ends at a bare CR", "Fo" + fields + "Face\rtail\r\n", "Face"},
        {"no face name", "Fo" + fields + "\r\n", "*"},
        {"face name is the unset mark", "Fo" + fields + "*\r\n", "*"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Translator t, back;
        std::string message;
        ASSERT_TRUE(ReadTranslatorText(head + c.record, t, message)) << message;
        EXPECT_STREQ(t.fonts[2].fontName, c.face);
        ASSERT_TRUE(ReadTranslatorText(TranslatorText(t), back, message)) << message;
        EXPECT_TRUE(back == t);
    }
}

TEST(TranslatorFile, DamagedFilesFailCleanlyAndForeignLinesAreSkipped) {
    const std::string head = "Ve!\r\nEs!\r\n";
    struct Case {
        const char* name;
        std::string text;
        bool ok;
        const char* messagePart; // for failures
    } cases[] = {
        {"no version line", Tr(4, "{"), false, "pas une table"},
        {"truncated number", head + "Trc!", false, "code illisible"},
        {"number beyond 32 bits", head + "Trf\x7f\x7f\x7f\x7f\x7f\x7fx", false, "code illisible"},
        {"escape mode unknown", "Ve!\r\nEs'\r\n", false, "inconnu"},
        {"font record cut short", head + "Fo\"", false, "police illisible"},
        {"entry too long", head + Tr(4, std::string(kMaxTranslatorEntryBytes + 1, 'x')), false,
         "trop long"},
        {"continuation grows too long",
         head + Tr(4, "x") + std::string("\t") + std::string(kMaxTranslatorEntryBytes, 'y'), false,
         "trop long"},
        {"code out of range skipped", head + Tr(0x1300, "x") + Tr(-5, "y") + Tr(4, "{"), true, ""},
        {"font block out of range skipped",
         head + "Fo" + Number(40) + "!!!!!!!!!!!!Face\r\n" + Tr(4, "{"), true, ""},
        {"unknown tags skipped", head + "Zz whatever\r\nQ\r\n" + Tr(4, "{"), true, ""},
        {"LF-only lines", "Ve!\nEs!\n" + Tr(4, "{").substr(0, 4) + "\n", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Translator t;
        t.entries[7] = "kept";
        std::string message;
        EXPECT_EQ(ReadTranslatorText(c.text, t, message), c.ok);
        if (c.ok) {
            EXPECT_EQ(t.entries[7], "");
            EXPECT_EQ(t.entries[4], "{");
        } else {
            EXPECT_EQ(t.entries[7], "kept"); // nothing lost
            EXPECT_NE(message.find(c.messagePart), std::string::npos) << message;
        }
    }
    std::string message;
    Translator t;
    EXPECT_FALSE(ReadTranslatorText(std::string(kMaxTranslatorFileBytes + 1, '\n'), t, message));
}

TEST(TranslatorFile, SavingGoesThroughASiblingAndFailureKeepsTheOldFile) {
    InitErrorSystem();
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("kv-cat-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    Translator t;
    t.path = (dir / "Mine.cat").string();
    t.entries[4] = "{";
    std::string message;
    ASSERT_TRUE(SaveTranslator(t, message)) << message;
    Translator back;
    ASSERT_TRUE(LoadTranslatorFile(t.path.c_str(), back, message)) << message;
    EXPECT_EQ(back.entries[4], "{");
    EXPECT_EQ(back.path, t.path);

    Translator bad = t;
    bad.path = (dir / "missing-folder" / "Mine.cat").string();
    EXPECT_FALSE(SaveTranslator(bad, message));
    EXPECT_FALSE(message.empty());
    EXPECT_FALSE(LoadTranslatorFile((dir / "none.cat").string().c_str(), back, message));
    EXPECT_EQ(back.entries[4], "{");
    std::filesystem::remove_all(dir);
}

TEST(TranslatorBase64, MatchesTheDecoder) {
    for (const std::string& bytes : {std::string(), std::string("a"), std::string("ab"),
                                     std::string("abc"), std::string("\xff\xfe\x00\x01", 4)}) {
        std::string back;
        ASSERT_TRUE(DecodeB64(EncodeB64(bytes).data(), EncodeB64(bytes).size(), back));
        EXPECT_EQ(back, bytes);
    }
    EXPECT_EQ(EncodeB64(std::string_view("\xfb\xff", 2)), "+@8=");
}

using RuleLanguage = TranslatorTreeTest;

TEST_F(RuleLanguage, DirectivesExpandAsDocumented) {
    struct Case {
        const char* name;
        int32_t code;
        std::string rule;
        std::string expected;
    } cases[] = {
        {"slots", kTrFraction + 1, "(@0)/(@1)", "(a)/(b)"},
        {"missing slot is empty", kTrFraction + 1, "@0@9@f", "a"},
        {"filled and empty tests", kTrFraction + 1, "@?0{N}@!0{n}@?2{X}@!2{Y}", "NY"},
        {"escaped characters", kTrFraction + 1, "@@ @{ @}", "@ { }"},
        {"unknown directive written as it stands", kTrFraction + 1, "@Z@0", "@Za"},
        {"nested bodies", kTrFraction + 1, "@?0{[@?1{<@1>}]}", "[<b>]"},
        {"blanks tidied", kTrFraction + 1, "  @0   over\t @1  \n  end ", "a over b\nend"},
        {"trailing at sign", kTrFraction + 1, "@0@", "a@"},
        {"levels and ancestors", kTrFraction + 1, "@^{S}F@v{N}", "F"},
        {"ordinals", kTrFraction + 1, "@R", "0th"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Translator t;
        t.entries[static_cast<size_t>(c.code)] = c.rule;
        ExprPtr tree = T(kTemplateFamilyFraction, 1, Slots(W("a"), W("b")));
        EXPECT_EQ(TranslateExpression(t, tree.get()), c.expected);
    }
    EXPECT_EQ(EnglishOrdinal(1) + EnglishOrdinal(2) + EnglishOrdinal(3) + EnglishOrdinal(11) +
                  EnglishOrdinal(12) + EnglishOrdinal(21) + EnglishOrdinal(112),
              "1st2nd3rd11th12th21st112th");
}

TEST_F(RuleLanguage, NestingScriptPathAndPendingWord) {
    Translator t;
    t.entries[kTrFraction + 1] = "@^{Start}StartFraction @0 Over @1 @v{Nested}EndFraction";
    t.entries[kTrScript + 0] = "@0 @?1{@+1{Subscript}}@?2{@+2{Superscript}}@B";
    t.entries[kTrRowBetween] = " ";
    // a over (b over c)
    ExprPtr inner = T(kTemplateFamilyFraction, 1, Slots(W("b"), W("c")));
    ExprPtr outer = T(kTemplateFamilyFraction, 1, Slots(W("a"), std::move(inner)));
    EXPECT_EQ(TranslateExpression(t, outer.get()),
              "StartStartFraction a Over StartFraction b Over c NestedEndFraction EndFraction");
    // x^(2^3) + y
    ExprPtr power = T(kTemplateFamilyScript, 0, Slots(W("2"), nullptr, W("3")));
    ExprPtr script = T(kTemplateFamilyScript, 0, Slots(W("x"), nullptr, std::move(power)));
    std::vector<ExprPtr> items;
    items.push_back(std::move(script));
    items.push_back(W("+"));
    items.push_back(W("y"));
    ExprPtr row = Row(std::move(items));
    EXPECT_EQ(TranslateExpression(t, row.get()),
              "x Superscript 2 Superscript Superscript 3 Baseline + y");
}

// The translation of the tree, or the failure that stopped it.
struct Translated {
    std::string text;
    int failure = 0;
};
Translated Translate(const Translator& t, const eExpr* tree) {
    Translated out;
    out.failure = CatchFail([&] { out.text = TranslateExpression(t, tree); });
    return out;
}

// A translation stays within its bound: the larger of the floor and a multiple of the
// expression's size. One past it (a rule that multiplies its output) fails as too large and
// gives nothing, never a part of itself.
TEST_F(RuleLanguage, HostileRulesStayWithinBounds) {
    const auto fraction = [] { return T(kTemplateFamilyFraction, 1, Slots(W("a"), W("b"))); };
    // A fraction of two rows of 20 words of 250 letters: its bound passes the floor.
    const auto longFraction = [] {
        const auto words = [](char letter) {
            std::vector<ExprPtr> row;
            for (int i = 0; i < 20; ++i)
                row.push_back(W(std::string(250, letter)));
            return Row(std::move(row));
        };
        return T(kTemplateFamilyFraction, 1, Slots(words('a'), words('b')));
    };
    std::string repeats;
    for (int i = 0; i < 40; ++i)
        repeats += "@*{x";
    repeats += std::string(40, '}');
    struct Case {
        const char* name;
        size_t floor;
        std::function<ExprPtr()> tree;
        int32_t code;
        // The rule, given the expression's bound.
        std::function<std::string(size_t)> rule;
        bool whole;
    } cases[] = {
        {"one less than the floor", 4096, fraction, kTrFraction + 1,
         [](size_t bound) { return std::string(bound - 1, 'x'); }, true},
        {"at the floor", 4096, fraction, kTrFraction + 1,
         [](size_t bound) { return std::string(bound, 'x'); }, true},
        {"one more than the floor", 4096, fraction, kTrFraction + 1,
         [](size_t bound) { return std::string(bound + 1, 'x'); }, false},
        {"ten times the floor", 4096, fraction, kTrFraction + 1,
         [](size_t bound) { return std::string(bound * 10, 'x'); }, false},
        {"one less than a large expression's bound", 4096, longFraction, kTrFraction + 1,
         [](size_t bound) { return std::string(bound - 1, 'x'); }, true},
        {"at a large expression's bound", 4096, longFraction, kTrFraction + 1,
         [](size_t bound) { return std::string(bound, 'x'); }, true},
        {"one more than a large expression's bound", 4096, longFraction, kTrFraction + 1,
         [](size_t bound) { return std::string(bound + 1, 'x'); }, false},
        {"ten times a large expression's bound", 4096, longFraction, kTrFraction + 1,
         [](size_t bound) { return std::string(bound * 10, 'x'); }, false},
        // Nested repeats multiply: 8 signs to the 40th power would never end without the bound.
        {"nested repeats", kMaxTranslationBytes,
         [] { return T(kTemplateFamilyIntegral, 7, Slots(W("f"), nullptr, nullptr)); },
         kTrIntegralBeside, [&](size_t) { return repeats; }, false},
        // The whole encoding between every two words grows with the square of the expression.
        {"the encoding between every two words", 4096,
         [] {
             std::vector<ExprPtr> words;
             for (int i = 0; i < 400; ++i)
                 words.push_back(W("w" + std::to_string(i)));
             return Row(std::move(words));
         },
         kTrRowBetween, [](size_t) { return std::string("@E"); }, false},
        {"the encoding once", 4096, longFraction, kTrCopyAfter,
         [](size_t) { return std::string("@E"); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TranslationFloor floor(c.floor);
        ExprPtr tree = c.tree();
        const size_t bound = TranslationBound(tree.get());
        EXPECT_GE(bound, c.floor);
        Translator t;
        t.entries[static_cast<size_t>(c.code)] = c.rule(bound);
        const Translated out = Translate(t, tree.get());
        if (c.whole) {
            EXPECT_EQ(out.failure, 0);
            if (c.code == kTrFraction + 1)
                EXPECT_EQ(out.text, t.entries[static_cast<size_t>(c.code)]);
            else
                EXPECT_NE(out.text.find(EncodingTokenOf(tree.get())), std::string::npos);
        } else {
            EXPECT_EQ(out.failure, errTranslationTooLarge);
            EXPECT_EQ(out.text, "");
        }
    }
    // The floor alone for a small expression; a multiple of its size for a large one.
    {
        const TranslationFloor floor(4096);
        EXPECT_EQ(TranslationBound(fraction().get()), 4096u);
        EXPECT_GT(TranslationBound(longFraction().get()), 10000 * kTranslationGrowth);
        EXPECT_LT(TranslationBound(longFraction().get()), 10100 * kTranslationGrowth);
    }
    // Bodies nested past the limit are skipped, not followed.
    Translator t;
    ExprPtr integral = T(kTemplateFamilyIntegral, 7, Slots(W("f"), nullptr, nullptr));
    std::string deep;
    for (int i = 0; i < 200; ++i)
        deep += "@?0{";
    t.entries[kTrIntegralBeside] = deep + "@0" + std::string(200, '}');
    EXPECT_EQ(TranslateExpression(t, integral.get()), "");
}

} // namespace
} // namespace kvtest
