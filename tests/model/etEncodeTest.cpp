#include "OverSrcs/etEncode.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/eAsian.h"
#include "OverSrcs/eDxMatrix.h"
#include "OverSrcs/eDxStr.h"
#include "OverSrcs/eFence.h"
#include "OverSrcs/eFraction.h"
#include "OverSrcs/eIntegral.h"
#include "OverSrcs/eMark.h"
#include "OverSrcs/eMatrix.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eSSScript.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eTempl.h"
#include "OverSrcs/eUFO.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/oStreams.h"
#include "model/ModelFixture.h"
#include "plat/Testing.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace kvtest {
namespace {

// ---- Building trees ----------------------------------------------------------------------------

FSSRecord Style(int32_t points, const char* font = "*", int bold = 2, uint8_t italic = kItalicOff) {
    FSSRecord style = SizedStyle(points, italic);
    SetFSSFontName(style, font);
    style.style[kStyleBold] = static_cast<uint8_t>(bold);
    return style;
}

ExprPtr Word(const char* text, const FSSRecord& style = Style(12), uint8_t colour = 0) {
    return ExprPtr(NewWord(text, 0, style, colour).release());
}

ExprPtr Pseudo(unsigned char code, const FSSRecord& style = Style(12)) {
    return ExprPtr(NewPseudo(code, &style, 0).release());
}

ExprPtr Row(std::vector<ExprPtr> items) {
    OwnedNode<eSimpString> row = NewSimpString(static_cast<int32_t>(items.size()));
    for (size_t i = 0; i < items.size(); ++i)
        row->setChild(static_cast<int32_t>(i), std::move(items[i]));
    return ExprPtr(row.release());
}

template <class... Nodes> ExprPtr RowOf(Nodes... nodes) {
    std::vector<ExprPtr> items;
    (items.push_back(std::move(nodes)), ...);
    return Row(std::move(items));
}

// A template of the code with each slot holding a row of one word.
ExprPtr Templ(int32_t code, std::vector<ExprPtr> slots = {}) {
    ExprPtr node = NewTemplateFromCode(code);
    EXPECT_NE(node, nullptr) << std::hex << code;
    if (node == nullptr)
        return RowOf(Word("missing"));
    for (int32_t i = 0; i < node->childCount(); ++i) {
        const std::string text(1, static_cast<char>('a' + i));
        node->setChild(i, static_cast<size_t>(i) < slots.size() && slots[static_cast<size_t>(i)]
                              ? std::move(slots[static_cast<size_t>(i)])
                              : RowOf(Word(text.c_str())));
    }
    return node;
}

// A grid whose cells hold one-letter rows, a, b, c ... in row-major order.
ExprPtr Grid(int32_t rows, int32_t columns, bool ruled) {
    ExprPtr grid = ruled ? ExprPtr(NewDxMatrix(rows, columns, nullptr).release())
                         : ExprPtr(NewSimpMatrix(rows, columns).release());
    for (int32_t i = 0; i < rows * columns; ++i) {
        const std::string text(1, static_cast<char>('a' + i % 26));
        grid->setChild(i, RowOf(Word(text.c_str())));
    }
    return grid;
}

ExprPtr RuledRow(std::vector<ExprPtr> items, int32_t stops) {
    OwnedNode<eDxString> row = NewDxString(static_cast<int32_t>(items.size()), nullptr);
    for (size_t i = 0; i < items.size(); ++i)
        row->setChild(static_cast<int32_t>(i), std::move(items[i]));
    for (int32_t i = 0; i < kTabStopCount; ++i)
        row->m_tabStops[i] =
            i < stops ? static_cast<uint16_t>(((100 + 37 * i) << 3) | (i % 5)) : uint16_t(0xFFF8);
    row->m_verticalAlign = kDxAlignMiddle;
    row->m_justification = kDxJustifyRight;
    row->m_width = 420;
    row->m_followRuler = 1;
    return ExprPtr(row.release());
}

ExprPtr DoubleByte(const std::string& bytes, const FSSRecord& style = Style(12)) {
    return ExprPtr(newAsian(bytes, 0, style, 0).release());
}

ExprPtr Nudged(ExprPtr node, int32_t x, int32_t y) {
    node->m_nudgeX = x;
    node->m_nudgeY = y;
    return node;
}

// ---- Reading and comparing ---------------------------------------------------------------------

ExprPtr Read(const std::string& text) {
    return ReadExprEncodingFromMemory(text.data(), text.size());
}

// A read that must succeed; a failure is reported with the text and gives null.
ExprPtr MustRead(const std::string& text) {
    ExprPtr tree;
    const int code = CatchFail([&] { tree = Read(text); });
    EXPECT_EQ(code, 0) << text;
    return tree;
}

// The error code a read ends with, 0 when it succeeds.
int ReadError(const std::string& text) {
    return CatchFail([&] { (void)Read(text); });
}

std::string Num(int32_t v) {
    char buffer[8] = {};
    const int n = EncodeCompactNumber(v, buffer);
    return std::string(buffer, static_cast<size_t>(n));
}

// The start of every encoding with no background, as the format defines it.
std::string Head() {
    return std::string("]|Expr|[#") + Num(32) + "`b" + Num(-1) + Num(-1) + Num(-1) + "}";
}

// Node by node: class tests, child counts, text, codes, colours, nudges, stored styles and the
// laid-out zones.
void ExpectSameTree(const eExpr* a, const eExpr* b, const std::string& where = "root") {
    SCOPED_TRACE(where);
    ASSERT_EQ(a == nullptr, b == nullptr);
    if (a == nullptr)
        return;
    ASSERT_EQ(a->childCount(), b->childCount());
    EXPECT_EQ(a->isString(), b->isString());
    EXPECT_EQ(a->isTemplate(), b->isTemplate());
    EXPECT_EQ(a->isWord(), b->isWord());
    EXPECT_EQ(a->isUFO(), b->isUFO());
    EXPECT_EQ(a->m_colour, b->m_colour);
    EXPECT_EQ(a->m_nudgeX, b->m_nudgeX);
    EXPECT_EQ(a->m_nudgeY, b->m_nudgeY);
    EXPECT_EQ(a->m_zone, b->m_zone);
    if (a->isWord() && b->isWord()) {
        EXPECT_EQ(static_cast<const eWord*>(a)->view(), static_cast<const eWord*>(b)->view());
    }
    if (a->isTemplate() && b->isTemplate()) {
        int32_t ca = -1;
        int32_t cb = -2;
        static_cast<const eTemplate*>(a)->getTemplateCode(ca);
        static_cast<const eTemplate*>(b)->getTemplateCode(cb);
        EXPECT_EQ(ca, cb);
    }
    if (!a->isString() && !a->isTemplate() && a->childCount() == 0 && !a->isUFO()) {
        FSSRecord sa;
        FSSRecord sb;
        static_cast<const eChar*>(a)->storedStyle(sa);
        static_cast<const eChar*>(b)->storedStyle(sb);
        EXPECT_TRUE(SameFSS(sa, sb)) << sa.fontName << " / " << sb.fontName;
    }
    for (int32_t i = 0; i < a->childCount(); ++i)
        ExpectSameTree(a->getChild(i), b->getChild(i), where + "/" + std::to_string(i));
}

class EncodingTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        RegisterFractionTemplates();
        RegisterFenceTemplates();
        RegisterScriptTemplates();
        RegisterIntegralTemplates();
        RegisterMarkTemplates();
        SetFSSFontName(StyleTable[0], "BaseFace");
        plat::testing::reset();
    }
    void TearDown() override {
        SetEncodingFontClassifier(nullptr);
        SetUfoPictureCodec(nullptr, nullptr);
        // Nothing else installs these two families; leave them as the other tests expect.
        SetTemplateFactory(kTemplateFamilyIntegral, nullptr);
        SetTemplateFactory(kTemplateFamilyMark, nullptr);
        ModelTest::TearDown();
    }

    // write -> read -> write: the same text, and a tree that lays out as the original.
    void ExpectRoundTrip(const eExpr* tree, const char* prefix = nullptr) {
        const std::string first = ExprEncodingText(tree, prefix);
        ExprPtr copy;
        ASSERT_EQ(CatchFail([&] { copy = Read(first); }), 0) << first;
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(ExprEncodingText(copy.get(), prefix), first);
        ExprPtr original = tree->deepCopy();
        Measure(original.get());
        Measure(copy.get());
        ExpectSameTree(original.get(), copy.get());
    }
};

// ---- The corpus --------------------------------------------------------------------------------

struct CorpusCase {
    const char* name;
    std::function<ExprPtr()> build;
};

std::vector<CorpusCase> Corpus() {
    return {
        {"empty row", [] { return RowOf(); }},
        {"letters digits operators",
         [] { return RowOf(Word("abc"), Word("+"), Word("123"), Word("="), Word("Q")); }},
        {"pseudo-characters",
         [] {
             return RowOf(Word("a"), Pseudo(kPseudoSpace), Pseudo(kPseudoThinSpace),
                          Pseudo(kPseudoTab), Pseudo(kPseudoEllipsis), Pseudo(kPseudoHBar),
                          Pseudo(kPseudoFallingEllipsis), Word("b"));
         }},
        {"bytes above 0x7F", [] { return RowOf(Word("\xE4"), Word("\xB1"), Word("\x80")); }},
        {"sizes, faces and styles",
         [] {
             return RowOf(Word("a", Style(12)), Word("b", Style(18)), Word("c", Style(-1002)),
                          Word("d", Style(12, "Times New Roman")), Word("e", Style(12, "Symbol")),
                          Word("f", Style(12, "Times New Roman", 1)),
                          Word("g", Style(12, "*", 0, kItalicOn)),
                          Word("h", Style(12, "*", 2, kItalicLetters)), Word("i", Style(12)));
         }},
        {"ink-measure modes above 3",
         [] {
             std::vector<ExprPtr> items;
             for (uint8_t mode : {1, 4, 5, 7}) {
                 FSSRecord style = Style(12);
                 style.setInkMode(mode);
                 items.push_back(Word("k", style));
                 items.push_back(Word("+", Style(12)));
             }
             return Row(std::move(items));
         }},
        {"colours and nudges",
         [] {
             // Letters in one state are read back as one word: operators keep them apart.
             return RowOf(Word("a", Style(12), 0xE0), Word("+", Style(12), 0xE0),
                          Word("b", Style(12), 0xE0), Nudged(Word("c"), 5, -3),
                          Nudged(Word("-"), 5, -3), Nudged(Word("d"), 5, -3), Word("e"),
                          Nudged(Templ(0x0012), 0, 7), Word("f", Style(12), 0x03));
         }},
        {"nudged row", [] { return Nudged(RowOf(Nudged(Word("x"), 2, 3)), 2, 3); }},
        {"fractions",
         [] { return RowOf(Templ(0x0012), Templ(0x0022), Templ(0x0052), Templ(0x0072)); }},
        {"radical, overstrike, long division",
         [] { return RowOf(Templ(0x0032), Templ(0x0042), Templ(0x0084)); }},
        {"fences", [] { return RowOf(Templ(0x1051), Templ(0x9051), Templ(0x1001)); }},
        {"integrals, marks, boxes",
         [] { return RowOf(Templ(0x2013), Templ(0x2003), Templ(0x4011), Templ(0x7011)); }},
        {"scripts, tensors, tree nodes",
         [] {
             return RowOf(Templ(0x5003), Templ(0x5013), Templ(0x5001), Templ(0x6003), Templ(0x6005),
                          Templ(0x3002), Templ(0x3005));
         }},
        {"nesting",
         [] {
             std::vector<ExprPtr> num;
             num.push_back(RowOf(Templ(0x0032, [] {
                 std::vector<ExprPtr> s;
                 s.push_back(RowOf(Word("x"), Templ(0x5003)));
                 return s;
             }())));
             return RowOf(Word("y"), Word("="), Templ(0x1051, [&] {
                              std::vector<ExprPtr> s;
                              s.push_back(RowOf(Templ(0x0012, std::move(num))));
                              return s;
                          }()));
         }},
        {"grids",
         [] {
             ExprPtr ruled = Grid(2, 3, true);
             auto* dx = static_cast<eDxMatrix*>(ruled.get());
             dx->m_vAlign = 0;
             dx->m_hAlign = '=';
             dx->m_separateRows = 1;
             dx->m_separateColumns = 1;
             dx->m_tight = 1;
             for (int i = 0; i < kStyledGridLines; ++i) {
                 dx->m_hStyles[i] = 0x80000001u * static_cast<uint32_t>(i);
                 dx->m_vStyles[i] = 0x00050000u + static_cast<uint32_t>(i);
             }
             return RowOf(Grid(1, 1, false), Word("+"), Grid(3, 2, false), std::move(ruled),
                          Nudged(Grid(2, 2, true), 1, 2));
         }},
        {"ruled rows",
         [] {
             std::vector<ExprPtr> cells;
             cells.push_back(RuledRow(
                 [] {
                     std::vector<ExprPtr> items;
                     items.push_back(Word("a"));
                     items.push_back(Pseudo(kPseudoTab));
                     items.push_back(Word("b"));
                     return items;
                 }(),
                 10));
             cells.push_back(RuledRow({}, 0));
             cells.push_back(RuledRow(
                 [] {
                     std::vector<ExprPtr> items;
                     items.push_back(Templ(0x0012));
                     return items;
                 }(),
                 3));
             ExprPtr pile = NewSimpMatrix(3, 1);
             for (int32_t i = 0; i < 3; ++i)
                 pile->setChild(i, std::move(cells[static_cast<size_t>(i)]));
             return RowOf(std::move(pile));
         }},
        {"double-byte text",
         [] {
             return RowOf(Word("a"), DoubleByte("\x82\xA0\x82\xA2"), Word("+"),
                          DoubleByte("\xB0\xA1", Style(14, "SimSun")));
         }},
        {"picture leaf",
         [] {
             return RowOf(Word("a"), ExprPtr(NewUFO(nullptr, &DefaultStyle, 255).release()),
                          Word("b"));
         }},
    };
}

TEST_F(EncodingTest, EveryClassReadsBackTheSameAndWritesTheSameText) {
    for (const CorpusCase& c : Corpus()) {
        SCOPED_TRACE(c.name);
        ExprPtr tree = c.build();
        ExpectRoundTrip(tree.get());
        ExpectRoundTrip(tree.get(), "\n%%\t");
    }
}

TEST_F(EncodingTest, WholeCorpusInOneTreeKeepsItsState) {
    std::vector<ExprPtr> items;
    for (const CorpusCase& c : Corpus()) {
        ExprPtr part = c.build();
        // A row cannot sit in a row: each part goes into a box.
        std::vector<ExprPtr> slot;
        slot.push_back(part->isString() ? std::move(part) : RowOf(std::move(part)));
        items.push_back(Templ(0x7011, std::move(slot)));
    }
    ExprPtr tree = Row(std::move(items));
    ExpectRoundTrip(tree.get());
    ExpectRoundTrip(tree.get(), "\n\t");
}

TEST_F(EncodingTest, EmptyRowIsTheShortestEncoding) {
    ExprPtr tree = RowOf();
    EXPECT_EQ(ExprEncodingText(tree.get()), Head() + "_]|[");
}

TEST_F(EncodingTest, OneCharacterRowsUseTheShortForm) {
    ExprPtr one = RowOf(Word("x"));
    ExprPtr two = RowOf(Word("xy"));
    const std::string a = ExprEncodingText(one.get());
    const std::string b = ExprEncodingText(two.get());
    ASSERT_EQ(a.rfind(Head(), 0), 0u);
    // "^", then the character record: font, size and style, then the letter.
    EXPECT_EQ(a[Head().size()], '^');
    EXPECT_EQ(a.substr(a.size() - 4), "x]|[");
    EXPECT_EQ(b.substr(Head().size(), 1 + Num(1).size()), "(" + Num(1));
    EXPECT_EQ(b.substr(b.size() - 6), "xy}]|[");
}

TEST_F(EncodingTest, StateRecordsAreWrittenOnlyOnChange) {
    ExprPtr tree = RowOf(Nudged(Word("a"), 2, 3), Nudged(Word("b"), 2, 3), Word("c", Style(12), 9),
                         Word("d", Style(12), 9), Word("e", Style(14)));
    const std::string text = ExprEncodingText(tree.get());
    auto count = [&](const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("@" + Num(2) + Num(3)), 1u); // one nudge record for both
    EXPECT_EQ(count("@" + Num(0) + Num(0)), 1u); // and one back to none
    EXPECT_EQ(count("`f" + Num(9) + "}"), 1u);   // one colour record for c and d
    EXPECT_EQ(count("`f" + Num(0) + "}"), 1u);   // back to black for e
    EXPECT_EQ(count(";" + Num(12)), 1u);         // the size once, then 14 once
    EXPECT_EQ(count(";" + Num(14)), 1u);
    EXPECT_EQ(EncodingFontCount(), 1); // one font definition
}

TEST_F(EncodingTest, OneNudgeRecordReachesEveryNodeAfterIt) {
    // The row and its only child both nudged by (2, 3): written once, read back on both.
    const std::string text = Head() + "@" + Num(2) + Num(3) + "^\"" + Num(0) + "Times|:" + Num(0) +
                             ";" + Num(12) + "&" + Num(0) + "x]|[";
    ExprPtr tree = MustRead(text);
    ASSERT_NE(tree, nullptr);
    ASSERT_EQ(tree->childCount(), 1);
    for (const eExpr* node : {tree.get(), tree->getChild(0)}) {
        EXPECT_EQ(node->m_nudgeX, 2);
        EXPECT_EQ(node->m_nudgeY, 3);
    }
}

TEST_F(EncodingTest, FontNamesWithTerminatorsAndHighBytesSurvive) {
    const char* names[] = {"A^B", "Pipe|Face", "Tilde~", "Brace{x}", "\xC9l\xE9gant", "Tab\tName"};
    std::vector<ExprPtr> items;
    for (const char* name : names)
        items.push_back(Word("x", Style(12, name)));
    ExprPtr tree = Row(std::move(items));
    const std::string text = ExprEncodingText(tree.get());
    // Names without special characters are written as they are; the others are escaped.
    EXPECT_NE(text.find("A{"), std::string::npos);
    EXPECT_EQ(text.find("Pipe|Face"), std::string::npos);
    EXPECT_EQ(text.find("Tab\t"), std::string::npos);
    ExprPtr copy = MustRead(text);
    ASSERT_EQ(copy->childCount(), 6);
    for (int32_t i = 0; i < 6; ++i) {
        FSSRecord style;
        static_cast<const eChar*>(copy->getChild(i))->storedStyle(style);
        EXPECT_STREQ(style.fontName, names[i]);
    }
}

TEST_F(EncodingTest, FiftyFontsFitAndTheFiftyFirstFails) {
    std::vector<ExprPtr> items;
    std::vector<std::string> names;
    for (int i = 0; i < 51; ++i)
        names.push_back("Face" + std::to_string(i));
    for (int i = 0; i < 50; ++i)
        items.push_back(Word("x", Style(12, names[static_cast<size_t>(i)].c_str())));
    ExprPtr fifty = Row(std::move(items));
    ExpectRoundTrip(fifty.get());
    EXPECT_EQ(EncodingFontCount(), 50);

    std::vector<ExprPtr> more;
    for (int i = 0; i < 51; ++i)
        more.push_back(Word("x", Style(12, names[static_cast<size_t>(i)].c_str())));
    ExprPtr tree = Row(std::move(more));
    oOStreamPtr stream(NewOMemoryStream(64));
    EXPECT_EQ(CatchFail([&] {
                  WriteExprEncoding(stream.get(), tree.get(), nullptr, 0, 0, 0, true, false, false,
                                    false);
              }),
              errTooManyFonts);

    // The reader refuses a 51st definition the same way.
    std::string text = Head() + "(" + Num(51);
    for (int i = 0; i < 51; ++i)
        text.append("\"")
            .append(Num(i))
            .append(names[static_cast<size_t>(i)])
            .append("|:")
            .append(Num(i))
            .append("x");
    text += "}]|[";
    EXPECT_EQ(ReadError(text), errTooManyFonts);
}

TEST_F(EncodingTest, ResolvedStylesDefineEachFontOnceAndStandAlone) {
    StyleTable[0].size = 14;
    ExprPtr tree = RowOf(Word("a", Style(-1000)), Word("b", Style(12, "Other")),
                         Word("c", Style(kSizeInherit)), Word("d", Style(12, "Other")),
                         Word("e", Style(-999)));
    const std::string text = ExprEncodingText(tree.get(), nullptr, true);
    size_t definitions = 0;
    for (size_t at = text.find('"'); at != std::string::npos; at = text.find('"', at + 1))
        ++definitions;
    EXPECT_EQ(definitions, 2u);
    EXPECT_NE(text.find("BaseFace"), std::string::npos);
    EXPECT_EQ(text.find(";" + Num(-1000)), std::string::npos) << "sizes are resolved";
    EXPECT_NE(text.find(";" + Num(14)), std::string::npos);
    // Read back, the base face is the inherited font again.
    ExprPtr copy = MustRead(text);
    FSSRecord style;
    static_cast<const eChar*>(copy->getChild(0))->storedStyle(style);
    EXPECT_STREQ(style.fontName, "*");
    EXPECT_EQ(style.size, 14);
}

TEST_F(EncodingTest, LinesBreakNearSeventyTwoOnlyWithAPrefix) {
    std::vector<ExprPtr> items;
    for (int i = 0; i < 200; ++i)
        items.push_back(i % 3 == 0 ? Templ(0x0012) : Word(i % 2 ? "ab" : "7", Style(10 + i % 5)));
    ExprPtr tree = Row(std::move(items));
    const std::string plain = ExprEncodingText(tree.get());
    EXPECT_EQ(plain.find("|\r\n"), std::string::npos);
    const std::string broken = ExprEncodingText(tree.get(), "\n%%\t");
    const std::string mark = "|\r\n%%\t|";
    size_t lines = 0;
    size_t from = 0;
    for (size_t at = broken.find(mark); at != std::string::npos; at = broken.find(mark, from)) {
        EXPECT_LE(at - from, 72u + 12u);
        from = at + mark.size();
        ++lines;
    }
    EXPECT_LE(broken.size() - from, 72u + 12u);
    EXPECT_GT(lines, 10u);
    // Without its breaks the text is the one-line text.
    std::string joined = broken;
    for (size_t at = joined.find(mark); at != std::string::npos; at = joined.find(mark))
        joined.erase(at, mark.size());
    EXPECT_EQ(joined, plain);
    ExprPtr copy = MustRead(broken);
    EXPECT_EQ(ExprEncodingText(copy.get()), plain);
}

TEST_F(EncodingTest, LinkedRowsKeepTheirRings) {
    ExprPtr tree = RowOf(Templ(0x0012), Templ(0x0012), Word("z"));
    auto* a = static_cast<eString*>(tree->getChild(0)->getChild(0));
    auto* b = static_cast<eString*>(tree->getChild(1)->getChild(1));
    auto* c = static_cast<eString*>(tree->getChild(1)->getChild(0));
    LinkRows(a, b);
    LinkRows(a, c);
    const std::string text = ExprEncodingText(tree.get());
    size_t records = 0;
    for (size_t at = text.find("`c"); at != std::string::npos; at = text.find("`c", at + 1))
        ++records;
    EXPECT_EQ(records, 3u);
    ExprPtr copy = MustRead(text);
    ASSERT_NE(copy, nullptr);
    auto* ca = static_cast<eString*>(copy->getChild(0)->getChild(0));
    EXPECT_TRUE(InSameRing(ca, static_cast<eString*>(copy->getChild(1)->getChild(1))));
    EXPECT_TRUE(InSameRing(ca, static_cast<eString*>(copy->getChild(1)->getChild(0))));
    EXPECT_FALSE(InSameRing(ca, static_cast<eString*>(copy->getChild(0)->getChild(1))));
    EXPECT_EQ(ExprEncodingText(copy.get()), text);

    // A partner outside the tree cannot be named: logged, no record, and the text still reads.
    ExprPtr outside = RowOf(Templ(0x0012));
    LinkRows(static_cast<eString*>(outside->getChild(0)->getChild(0)), a);
    SetLoggedInformation("");
    const std::string part = ExprEncodingText(outside.get());
    EXPECT_NE(LoggedInformation().find("WritePyramidEncoding"), std::string_view::npos);
    EXPECT_EQ(part.find("`c"), std::string::npos);
    EXPECT_NE(MustRead(part), nullptr);
}

// ---- Reader edge cases -------------------------------------------------------------------------

std::string Font0() {
    std::string text = "\"";
    for (const std::string& part : {Num(0), std::string("Times|:"), Num(0), std::string(";"),
                                    Num(12), std::string("&"), Num(0)})
        text += part;
    return text;
}

std::vector<std::string> WordsOf(const eExpr* row) {
    std::vector<std::string> words;
    for (int32_t i = 0; i < row->childCount(); ++i)
        if (row->getChild(i)->isWord())
            words.emplace_back(static_cast<const eWord*>(row->getChild(i))->view());
    return words;
}

TEST_F(EncodingTest, RunsOfLettersAndDigits) {
    struct Case {
        const char* what;
        std::string text;
        std::vector<std::string> words;
    };
    const std::string forty(40, 'q');
    const Case cases[] = {
        {"forty letters",
         Head() + "(" + Num(1) + Font0() + forty + "}]|[",
         {std::string(32, 'q'), std::string(8, 'q')}},
        {"letter then digit", Head() + "(" + Num(1) + Font0() + "x2}]|[", {"x", "2"}},
        {"mixed case", Head() + "(" + Num(1) + Font0() + "aBc}]|[", {"aBc"}},
        {"old format: one character each",
         "]|Expr|[(" + Num(3) + Font0() + "x2y]|[",
         {"x", "2", "y"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExprPtr tree;
        ASSERT_EQ(CatchFail([&] { tree = Read(c.text); }), 0);
        EXPECT_EQ(WordsOf(tree.get()), c.words);
    }
}

TEST_F(EncodingTest, OldFormatEmptyRowAndUnknownRecords) {
    ExprPtr empty = MustRead("]|Expr|[_]|[");
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->isString());
    EXPECT_EQ(empty->childCount(), 0);

    // A record of a newer program, and an extended record, are skipped to their '}'.
    ExprPtr tree = MustRead(Head() + "(" + Num(2) + Font0() + "*12 junk}a`zzz}b}]|[");
    EXPECT_EQ(WordsOf(tree.get()), (std::vector<std::string>{"a", "b"}));
}

TEST_F(EncodingTest, NewerVersionNotesOnceAndReads) {
    plat::testing::onMessageBox([](const plat::testing::MessageBoxCall&) { return 1; });
    const std::string text = "]|Expr|[#" + Num(50) + "(" + Num(1) + Font0() + "ab}]|[";
    ExprPtr tree = MustRead(text);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(WordsOf(tree.get()), std::vector<std::string>{"ab"});
    EXPECT_EQ(NewerVersionNotesShown(), 1);
    EXPECT_LE(plat::testing::messageBoxes().size(), 1u);
}

TEST_F(EncodingTest, MacRomanFontsConvertEscapedBytes) {
    // 0x8A is ",*" escaped (2 * 64 + 10); in a Mac OS Roman font it is a-umlaut (0xE4).
    const std::string mac = Head() + "(" + Num(2) + "\"" + Num(0) + "Geneva~:" + Num(0) + ";" +
                            Num(12) + "&" + Num(0) + ".*}]|[";
    ExprPtr tree = MustRead(mac);
    EXPECT_EQ(WordsOf(tree.get()), std::vector<std::string>{"\xE4"});
    const std::string ansi = Head() + "(" + Num(1) + Font0() + ".*}]|[";
    EXPECT_EQ(WordsOf(MustRead(ansi).get()), std::vector<std::string>{"\x8A"});
}

TEST_F(EncodingTest, FontSelectBeyondTheTableGivesAnEmptyNameThatWritesBack) {
    ExprPtr tree = MustRead(Head() + "^:" + Num(7) + ";" + Num(12) + "&" + Num(0) + "x]|[");
    FSSRecord style;
    static_cast<const eChar*>(tree->getChild(0))->storedStyle(style);
    EXPECT_STREQ(style.fontName, "");

    // Fifty defined fonts and characters of no font between them still fit the table when written.
    std::string text = Head() + "(" + Num(100);
    for (int i = 0; i < 50; ++i) {
        text += '"';
        text += Num(i);
        text += "Face";
        text += std::to_string(i);
        text += "|:";
        text += Num(i);
        text += "x:";
        text += Num(99);
        text += 'y';
    }
    ExprPtr mixed = MustRead(text + "}]|[");
    std::string again;
    ASSERT_EQ(CatchFail([&] { again = ExprEncodingText(mixed.get()); }), 0);
    EXPECT_EQ(EncodingFontCount(), 50);
    ExprPtr back = MustRead(again);
    ASSERT_EQ(back->childCount(), 100);
    for (int32_t i = 0; i < 100; ++i) {
        static_cast<const eChar*>(back->getChild(i))->storedStyle(style);
        EXPECT_EQ(style.fontName, i % 2 ? std::string() : "Face" + std::to_string(i / 2)) << i;
    }
}

TEST_F(EncodingTest, LinkToATemplateLinksNothing) {
    // Path 0 leads to the fraction itself, not a row: nothing is linked and the read goes on.
    const std::string text = Head() + "(" + Num(1) + "<" + Num(0x12) + "^" + Font0() + "a^b}}`c" +
                             Num(0) + Num(-9) + Num(0) + Num(0) + Num(-9) + "}]|[";
    ExprPtr tree;
    ASSERT_EQ(CatchFail([&] { tree = Read(text); }), 0);
    const auto* num = static_cast<const eString*>(tree->getChild(0)->getChild(0));
    EXPECT_FALSE(num->isLinked());
}

// ---- Robustness --------------------------------------------------------------------------------

TEST_F(EncodingTest, EveryTruncationFailsCleanly) {
    ExprPtr tree = RowOf(Word("ab"), Templ(0x0012), Nudged(Word("c", Style(14), 3), 1, 1),
                         Templ(0x5003), Pseudo(kPseudoSpace));
    LinkRows(static_cast<eString*>(tree->getChild(1)->getChild(0)),
             static_cast<eString*>(tree->getChild(1)->getChild(1)));
    const std::string text = ExprEncodingText(tree.get());
    for (size_t n = 0; n < text.size(); ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(ReadError(text.substr(0, n)), errDataCorrupted);
    }
    EXPECT_EQ(ReadError(text), 0);
}

TEST_F(EncodingTest, MalformedTextFailsWithCorruptData) {
    const std::string row = "(" + Num(1) + Font0() + "x}";
    struct Case {
        const char* what;
        std::string text;
    };
    const Case cases[] = {
        {"wrong start marker", "]|Expr![#" + Num(32) + "_]|["},
        {"wrong end marker", Head() + "_]|]"},
        {"bad version number", "]|Expr|[#a_]|["},
        {"bad size number", Head() + "(" + Num(1) + "\"" + Num(0) + "T|:" + Num(0) + ";a}]|["},
        {"control character", Head() + "(" + Num(1) + "\x01}]|["},
        {"byte above 0x7E", Head() + "(" + Num(1) + "\x80}]|["},
        {"'}' where a node is needed", Head() + "}]|["},
        {"row in a row", Head() + "(" + Num(1) + "_}]|["},
        {"one-element row holding a row", Head() + "^_]|["},
        {"font index out of order", Head() + "\"" + Num(3) + "T|" + row + "]|["},
        {"negative row count", Head() + "(" + Num(-1) + "}]|["},
        {"absurd row count", Head() + "(" + Num(0x7FFFFFFF) + "}]|["},
        {"old format absurd count", "]|Expr|[(" + Num(0x7FFFFFFF) + Font0() + "x]|["},
        {"template code beyond 16 bits", Head() + "<" + Num(0x15012) + row + row + "}]|["},
        {"huge template code", Head() + "<" + Num(-2147483647 - 1) + "}]|["},
        {"escaped zero byte", Head() + "(" + Num(1) + Font0() + ", }]|["},
        {"link not 'c'", Head() + "_`d}]|["},
        {"link path never ends", Head() + "_`c" + Num(0) + Num(1)},
        {"unterminated unknown record", Head() + "(" + Num(1) + "*123"},
        {"unterminated line break", Head() + "|never closed"},
        {"unterminated font name", Head() + "^\"" + Num(0) + "Times"},
        {"unknown template code without slots", Head() + "<" + Num(0x8010) + "}]|["},
        {"grid without rows", Head() + "[" + Num(0) + Num(1) + Num(0) + "}]|["},
        {"grid without columns", Head() + "[" + Num(1) + Num(0) + Num(0) + "}]|["},
        {"grid of 2^31 cells", Head() + "[" + Num(65536) + Num(32768) + Num(0) + row + "}]|["},
        {"pile of -1 rows", Head() + "{" + Num(-1) + Num(1) + "}]|["},
        {"ruled row cut short", Head() + ")" + Num(0) + "}]|["},
        {"ruled row with 2^31 stops",
         Head() + ")" + Num(0) + Num(3) + Num(0) + Num(300) + "}" + Num(0x7FFFFFFF) + "]|["},
        {"double-byte code with a zero byte", Head() + "~" + Num(1) + Num(0x3000) + "L}]|["},
        {"double-byte record of 2^31 codes", Head() + "~" + Num(0x7FFFFFFF) + "L}]|["},
        {"nothing at all", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ReadError(c.text), errDataCorrupted);
    }
}

TEST_F(EncodingTest, DeepNestingIsBoundedNotOverflowed) {
    // Fences inside fences: each level is a template and a one-element row.
    auto nested = [](int levels) {
        std::string text = Head();
        for (int i = 0; i < levels; ++i)
            text.append("<").append(Num(0x1051)).append("^");
        text += Font0() + "x";
        for (int i = 0; i < levels; ++i)
            text += "}";
        return text + "]|[";
    };
    ExprPtr ok;
    // Just inside the bound: each level is a template and a row, the root a template.
    const int levels = (kMaxEncodingDepth - 1) / 2;
    ASSERT_EQ(CatchFail([&] { ok = Read(nested(levels)); }), 0);
    int depth = 0;
    for (const eExpr* at = ok.get(); at->childCount() > 0; at = at->getChild(0))
        ++depth;
    EXPECT_EQ(depth, 2 * levels);
    // The tree read writes out again, and one level more is refused.
    EXPECT_EQ(ExprEncodingText(ok.get()), nested(levels));
    EXPECT_EQ(ReadError(nested(levels + 1)), errDataCorrupted);
    EXPECT_EQ(ReadError(nested(100000)), errDataCorrupted);
    // A tree one level deeper, built in the editor, is refused by the writer as well, so no file
    // is written that could not be opened again.
    ExprPtr deeper = NewFence(RowOf(std::move(ok)), 1);
    oOStreamPtr stream(NewOMemoryStream(64));
    EXPECT_EQ(CatchFail([&] {
                  WriteExprEncoding(stream.get(), deeper.get(), nullptr, 0, 0, 0, true, false,
                                    false, false);
              }),
              errNestedTooDeep);
    EXPECT_EQ(ReadError(Head() + std::string(1000000, '^') + "x]|["), errDataCorrupted);
}

TEST_F(EncodingTest, WriterNeedsAStream) {
    ExprPtr tree = RowOf();
    SetLoggedInformation("");
    EXPECT_NE(CatchFail([&] {
                  WriteExprEncoding(nullptr, tree.get(), nullptr, 0, 0, 0, true, false, false,
                                    false);
              }),
              0);
    EXPECT_NE(LoggedInformation().find("WriteExprEncoding"), std::string_view::npos);
    // A node's record asked for outside a write fails instead of writing to a stale stream.
    ExprPtr word = Word("x");
    oOStreamPtr stream(NewOMemoryStream(16));
    EXPECT_NE(CatchFail([&] { word->writeEncoding(*stream); }), 0);
    EXPECT_EQ(stream->count(), 0u);
}

TEST_F(EncodingTest, BackgroundRecordIsWrittenAndRead) {
    ExprPtr tree = RowOf(Word("x"));
    oOStreamPtr stream(NewOMemoryStream(64));
    WriteExprEncoding(stream.get(), tree.get(), nullptr, 10, 200, 255, false, false, false, false);
    const std::string text = static_cast<oOMemoryStream*>(stream.release())->detachString();
    ExprPtr copy = MustRead(text);
    ASSERT_NE(copy, nullptr);
    EXPECT_FALSE(LastEncodingBackground().none);
    EXPECT_EQ(LastEncodingBackground().red, 10);
    EXPECT_EQ(LastEncodingBackground().green, 200);
    EXPECT_EQ(LastEncodingBackground().blue, 255);
    (void)MustRead(ExprEncodingText(tree.get()));
    EXPECT_TRUE(LastEncodingBackground().none);
}

TEST_F(EncodingTest, UnknownTemplatesKeepTheirSlotsInAOneRowMatrix) {
    const std::string row = "^" + Font0() + "x";
    ExprPtr tree = MustRead(Head() + "(" + Num(1) + "<" + Num(0x8013) + row + "^y^z}}]|[");
    ASSERT_NE(tree, nullptr);
    const eExpr* grid = tree->getChild(0);
    ASSERT_TRUE(grid->isMatrix());
    EXPECT_EQ(static_cast<const eMatrix*>(grid)->rows(), 1);
    EXPECT_EQ(static_cast<const eMatrix*>(grid)->columns(), 3);
    EXPECT_EQ(WordsOf(grid->getChild(2)), std::vector<std::string>{"z"});
}

TEST_F(EncodingTest, PilesAndOldGrids) {
    const std::string cell = "^" + Font0() + "x";
    // A pile of kind 1 is a plain one-column matrix; another kind a ruled one aligned that way.
    ExprPtr plain = MustRead(Head() + "{" + Num(2) + Num(1) + cell + "^y}]|[");
    ASSERT_NE(plain, nullptr);
    EXPECT_TRUE(plain->isMatrix());
    EXPECT_FALSE(plain->isDxMatrix());
    EXPECT_EQ(plain->childCount(), 2);
    ExprPtr ruled = MustRead(Head() + "{" + Num(2) + Num(2) + cell + "^y}]|[");
    ASSERT_NE(ruled, nullptr);
    ASSERT_TRUE(ruled->isDxMatrix());
    EXPECT_EQ(static_cast<const eDxMatrix*>(ruled.get())->m_hAlign, 2);
    // The old format closes grids with ']' and piles with '}'.
    EXPECT_NE(MustRead("]|Expr|[[" + Num(1) + Num(2) + cell + "^y]]|["), nullptr);
    EXPECT_NE(MustRead("]|Expr|[{" + Num(2) + cell + "^y}]|["), nullptr);
    EXPECT_EQ(ReadError("]|Expr|[[" + Num(1) + Num(2) + cell + "^y}]|["), errDataCorrupted);
}

// A double-byte record longer than one word holds is read as several words wherever it stands:
// in a row's list, as the only item of a one-element row, and among an old-format row's items.
TEST_F(EncodingTest, LongDoubleByteRecordsSplitIntoWords) {
    std::string record = "~" + Num(300);
    for (int i = 0; i < 300; ++i)
        record += Num(0xA1B0 + i % 16);
    record += "B}";
    struct Case {
        const char* name;
        std::string text;
        int32_t children; // of the row read
    };
    const Case cases[] = {
        {"current-format row", Head() + "(" + Num(1) + Font0() + record + "}]|[", 3},
        {"one-element row", Head() + "^" + Font0() + record + "]|[", 3},
        {"old-format row", "]|Expr|[(" + Num(2) + Font0() + record + "x]|[", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExprPtr tree = MustRead(c.text);
        ASSERT_NE(tree, nullptr);
        ASSERT_TRUE(tree->isString());
        ASSERT_EQ(tree->childCount(), c.children); // 127 + 127 + 46 characters (and the "x")
        size_t bytes = 0;
        for (int32_t i = 0; i < 3; ++i) {
            const auto* word = static_cast<const eWord*>(tree->getChild(i));
            ASSERT_TRUE(word->isDoubleByte());
            EXPECT_EQ(word->m_parent, tree.get());
            bytes += word->view().size();
            // Big-endian codes: the lead byte comes first.
            EXPECT_EQ(static_cast<unsigned char>(word->view()[0]), 0xA1);
        }
        EXPECT_EQ(bytes, 600u);
        if (c.children == 4) {
            EXPECT_EQ(static_cast<const eWord*>(tree->getChild(3))->view(), "x");
        }
    }
}

// Tab stops of a ruled row: position x 8 + kind, and in a list of exactly ten stops the position
// 7808 stands for 8191 (the largest a stop can hold).
TEST_F(EncodingTest, RuledRowTabStopsAndTheTenStopPosition) {
    struct Case {
        int32_t stops;
        int32_t at;  // the stop given position 7808
        uint16_t expected;
    };
    const Case cases[] = {
        {10, 3, static_cast<uint16_t>(8191 * 8 + 2)},
        {10, 9, static_cast<uint16_t>(8191 * 8 + 2)},
        {9, 3, static_cast<uint16_t>(7808 * 8 + 2)},
        {11, 3, static_cast<uint16_t>(7808 * 8 + 2)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.stops << " stops");
        std::string text = Head() + ")" + Num(0) + Num(0) + Num(0) + Num(300) + "}" + Num(c.stops);
        for (int32_t i = 0; i < c.stops; ++i)
            text += Num(2) + Num(i == c.at ? 7808 : 100 + i);
        text += Num(0) + Num(0) + Num(0) + "}]|[";
        ExprPtr tree = MustRead(text);
        ASSERT_NE(tree, nullptr);
        ASSERT_TRUE(tree->isDxString());
        const auto* row = static_cast<const eDxString*>(tree.get());
        EXPECT_EQ(row->m_tabStops[c.at], c.expected);
        EXPECT_EQ(row->m_tabStops[0], c.at == 0 ? c.expected : 100 * 8 + 2);
        for (int32_t i = c.stops; i < kTabStopCount; ++i)
            EXPECT_EQ(row->m_tabStops[i], 0xFFF8) << i; // no stop
    }
}

// The user's stop is asked for at every node written; the poll itself reads Escape on every
// 32nd call, so a held Escape stops a write of a few dozen nodes.
int s_writePolls = 0;
void InterruptOnThe31stPoll() {
    if (++s_writePolls == 31)
        Fail(errUserInterrupt);
}

TEST_F(EncodingTest, EscapeStopsAWriteOfAFewDozenNodes) {
    TheModelHooks().checkUserAbort = &InterruptOnThe31stPoll;
    for (int32_t words : {20, 40}) {
        SCOPED_TRACE(words);
        std::vector<ExprPtr> items;
        for (int32_t i = 0; i < words; ++i)
            items.push_back(i % 2 == 0 ? Word("x") : Pseudo(kPseudoSpace));
        ExprPtr tree = Row(std::move(items));
        s_writePolls = 0;
        std::string text;
        const int code = CatchFail([&] { text = ExprEncodingText(tree.get()); });
        if (words < 30) {
            EXPECT_EQ(code, 0);
            EXPECT_EQ(s_writePolls, words + 1); // the row and each item
        } else {
            EXPECT_EQ(code, errUserInterrupt);
        }
    }
}

TEST_F(EncodingTest, OlderRecordForms) {
    // "=": bit 0 bold, bits 2-6 underline to extend, bit 7 the ink-measure field; no italic.
    ExprPtr styled = MustRead("]|Expr|[^" + std::string("\"") + Num(0) + "T|:" + Num(0) + ";" +
                              Num(12) + "=" + Num(1 | 4 | 64 | 128) + "x]|[");
    ASSERT_NE(styled, nullptr);
    FSSRecord style;
    static_cast<const eChar*>(styled->getChild(0))->storedStyle(style);
    EXPECT_EQ(style.style[kStyleBold], 1);
    EXPECT_EQ(style.style[kStyleUnderline], 1);
    EXPECT_EQ(style.style[kStyleOutline], 0);
    EXPECT_EQ(style.style[kStyleExtend], 1);
    EXPECT_EQ(style.italicMode(), 0);
    EXPECT_EQ(style.inkMode(), 1);

    // "`h": a fence of kind 17 around the next node, after ignored data of either form.
    for (const std::string& data : {Num(0) + Num(99), Num(1) + "text{" + Num(5) + "~"}) {
        SCOPED_TRACE(data);
        ExprPtr fence = MustRead(Head() + "(" + Num(1) + Font0() + "`h" + data + "^y}}]|[");
        ASSERT_NE(fence, nullptr);
        ASSERT_EQ(fence->childCount(), 1);
        const eExpr* node = fence->getChild(0);
        ASSERT_TRUE(node->isTemplate());
        int32_t code = 0;
        static_cast<const eTemplate*>(node)->getTemplateCode(code);
        EXPECT_EQ(code, 0x1000 + 17 * 16 + 1);
        EXPECT_EQ(WordsOf(node->getChild(0)), std::vector<std::string>{"y"});
    }

    // "$" is a three-slot scripts template with no closing character; a leaf read into a slot
    // is put into a row.
    ExprPtr scripts = MustRead(Head() + "(" + Num(1) + Font0() + "$^a^bc}]|[");
    ASSERT_NE(scripts, nullptr);
    const eExpr* node = scripts->getChild(0);
    ASSERT_EQ(node->childCount(), 3);
    for (int32_t i = 0; i < 3; ++i)
        EXPECT_TRUE(node->getChild(i)->isString()) << i;
    EXPECT_EQ(WordsOf(node->getChild(2)), std::vector<std::string>{"c"});

    // Old-format templates end with '>'.
    ExprPtr old = MustRead("]|Expr|[<" + Num(0x12) + Font0() + "^a^b>]|[");
    ASSERT_NE(old, nullptr);
    EXPECT_TRUE(old->isTemplate());
    EXPECT_EQ(ReadError("]|Expr|[<" + Num(0x12) + Font0() + "^a^b}]|["), errDataCorrupted);
}

TEST_F(EncodingTest, ReadingStopsRightAfterTheEndMarker) {
    ExprPtr one = RowOf(Word("ab"));
    ExprPtr two = RowOf(Templ(0x0012));
    const std::string text = ExprEncodingText(one.get()) + ExprEncodingText(two.get()) + "tail";
    oIStreamPtr stream(NewIMemoryStream(text.data(), static_cast<uint32_t>(text.size())));
    ExprPtr first = ReadExprEncoding(*stream);
    ExprPtr second = ReadExprEncoding(*stream);
    EXPECT_EQ(ExprEncodingText(first.get()), ExprEncodingText(one.get()));
    EXPECT_EQ(ExprEncodingText(second.get()), ExprEncodingText(two.get()));
    char rest[8] = {};
    EXPECT_EQ(stream->getLine(rest, sizeof rest, 0), 4);
    EXPECT_STREQ(rest, "tail");
}

// Pictures travel through the installed picture-text code: a stand-in writes the picture's width
// as a number and reads it back.
void FakePictureWriter(oOStream& stream, const char*, const WinUfo* picture, bool, bool) {
    stream.putNumber(picture != nullptr ? picture->m_width : -5);
}
std::unique_ptr<WinUfo> FakePictureReader(oIStream& stream) {
    auto picture = std::make_unique<WinUfo>();
    picture->m_width = stream.getNumber();
    return picture;
}

TEST_F(EncodingTest, PictureLeavesGoThroughThePictureCode) {
    auto picture = std::make_unique<WinUfo>();
    picture->m_width = 1234;
    ExprPtr tree =
        RowOf(Word("a"), ExprPtr(NewUFO(std::move(picture), &DefaultStyle, 255).release()));
    SetUfoPictureCodec(&FakePictureWriter, &FakePictureReader);
    const std::string text = ExprEncodingText(tree.get());
    ExprPtr copy = MustRead(text);
    SetUfoPictureCodec(nullptr, nullptr);
    ASSERT_NE(copy, nullptr);
    ASSERT_TRUE(copy->getChild(1)->isUFO());
    const WinUfo* back = static_cast<const eUFO*>(copy->getChild(1))->m_picture;
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->m_width, 1234);
    // Without the picture code the leaf comes back empty and the rest of the expression is kept.
    ExprPtr bare = MustRead(text);
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(bare->childCount(), 2);
    EXPECT_EQ(static_cast<const eUFO*>(bare->getChild(1))->m_picture, nullptr);
}

// The reader takes a memory stream's bytes directly; any other class of stream answers through its
// calls. A class derived from the memory stream reads the same bytes the second way, so both ways
// must give the same tree, the same error and the same position after the read, on sound and on
// damaged text (line ends, zero bytes, high bytes, pictures, two encodings in a row).
class CalledMemoryStream : public oIMemoryStream {
public:
    using oIMemoryStream::oIMemoryStream;
};

TEST_F(EncodingTest, MemoryStreamsReadTheSameThroughTheirBytesAsThroughTheirCalls) {
    auto picture = std::make_unique<WinUfo>();
    picture->m_width = 77;
    ExprPtr withPicture =
        RowOf(Word("ab"), ExprPtr(NewUFO(std::move(picture), &DefaultStyle, 255).release()));
    SetUfoPictureCodec(&FakePictureWriter, &FakePictureReader);
    std::vector<std::string> texts = {ExprEncodingText(withPicture.get()) + "tail"};
    for (const CorpusCase& c : Corpus()) {
        ExprPtr tree = c.build();
        texts.push_back(ExprEncodingText(tree.get()) + ExprEncodingText(tree.get(), "\n%%"));
    }
    std::mt19937 rng(7);
    const std::string alphabet("}|{_^(a5,'@`\r\n\x00\x80\xE1\xFF", 18);
    // The marker and version stay intact: a newer version would only add its note.
    const size_t keep = std::string("]|Expr|[#").size() + Num(32).size();
    for (size_t i = 0, seeds = texts.size(); i < 3000; ++i) {
        std::string text = texts[i % seeds];
        for (int e = 0; e < 1 + static_cast<int>(i % 3) && text.size() > keep; ++e) {
            const size_t at = keep + rng() % (text.size() - keep);
            if (rng() % 4 == 0)
                text.resize(at); // cut short
            else
                text[at] = alphabet[rng() % alphabet.size()];
        }
        texts.push_back(text);
    }
    for (const std::string& text : texts) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
        oIMemoryStream direct(bytes, static_cast<uint32_t>(text.size()));
        CalledMemoryStream called(bytes, static_cast<uint32_t>(text.size()));
        ExprPtr a;
        ExprPtr b;
        ASSERT_EQ(CatchFail([&] { a = ReadExprEncoding(direct); }),
                  CatchFail([&] { b = ReadExprEncoding(called); }))
            << text;
        ASSERT_EQ(direct.tell(), called.tell()) << text;
        if (a == nullptr || b == nullptr) {
            ASSERT_EQ(a == nullptr, b == nullptr) << text;
            continue;
        }
        ExpectSameTree(a.get(), b.get());
        EXPECT_EQ(ExprEncodingText(a.get()), ExprEncodingText(b.get())) << text;
    }
}

TEST_F(EncodingTest, MutatedTextFailsCleanlyOrReadsIntoAWritableTree) {
    std::vector<std::string> seeds;
    for (const CorpusCase& c : Corpus()) {
        ExprPtr tree = c.build();
        seeds.push_back(ExprEncodingText(tree.get(), c.name[0] == 'n' ? "\n\t" : nullptr));
    }
    std::mt19937 rng(20261207);
    const std::string alphabet = " !\"#$%&'()*+,-./0123456789:;<=>?@AZaz[\\]^_`bcdef{|}~\x01\x80";
    size_t accepted = 0;
    for (int round = 0; round < 4000; ++round) {
        std::string text = seeds[static_cast<size_t>(round) % seeds.size()];
        const int edits = 1 + round % 4;
        // The marker and version stay intact: a newer version would only add its note.
        const size_t keep = std::string("]|Expr|[#").size() + Num(32).size();
        for (int e = 0; e < edits && text.size() > keep; ++e) {
            const size_t at = keep + rng() % (text.size() - keep);
            const char c = alphabet[rng() % alphabet.size()];
            switch (rng() % 3) {
            case 0:
                text[at] = c;
                break;
            case 1:
                text.insert(at, 1, c);
                break;
            default:
                text.erase(at, 1);
                break;
            }
        }
        ExprPtr tree;
        const int code = CatchFail([&] { tree = Read(text); });
        ASSERT_TRUE(code == 0 || code == errDataCorrupted || code == errTooManyFonts)
            << code << " " << text;
        if (code != 0)
            continue;
        ++accepted;
        ASSERT_NE(tree, nullptr);
        std::string again;
        ASSERT_EQ(CatchFail([&] { again = ExprEncodingText(tree.get()); }), 0) << text;
        ASSERT_EQ(ReadError(again), 0) << text << "\n" << again;
    }
    EXPECT_GT(accepted, 100u);
}

} // namespace
} // namespace kvtest
