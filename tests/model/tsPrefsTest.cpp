#include "ExprSrcs/commands/tsPrefs.h"

#include "BuiltinResources.h"
#include "OverPc/Presourc.h"
#include "plat/Dialog.h"
#include "plat/Resources.h"
#include "plat/Testing.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

FSSRecord Inheriting() {
    FSSRecord r;
    InitFSSRecord(r);
    return r;
}

FSSRecord Named(const char* font, int32_t size) {
    FSSRecord r = Inheriting();
    SetFSSFontName(r, font);
    r.size = size;
    return r;
}

// Every test starts from the shipped table and settings.
class StyleRecords : public ::testing::Test {
protected:
    void SetUp() override {
        ResetStyleTable();
        ResetTypesettingSettings();
    }
    void TearDown() override {
        ResetStyleTable();
        ResetTypesettingSettings();
    }
};

// ---------------------------------------------------------------------------------------------
// Records and merging

TEST_F(StyleRecords, InitInheritsEverythingAndKeepsTheFlagBit) {
    FSSRecord r;
    std::memset(static_cast<void*>(&r), 0x5A, sizeof r);
    r.packed = 0x80 | 0x13;
    InitFSSRecord(r);
    EXPECT_STREQ(r.fontName, "*");
    EXPECT_EQ(r.size, kSizeInherit);
    for (int i = 0; i < kStyleByteCount; ++i)
        EXPECT_EQ(r.style[i], kStyleInherit) << i;
    EXPECT_EQ(r.packed, 0x80 | 0x22);
    EXPECT_EQ(r.shortcut, ' ');
    EXPECT_EQ(r.slippery, 0x5A); // not the record's business
}

TEST_F(StyleRecords, MergeNameOnlyWhenTheSourceNamesAFont) {
    const struct {
        const char* source;
        const char* result;
    } cases[] = {{"*", "Arial"}, {"?", "Arial"}, {"", "Arial"}, {"Symbol", "Symbol"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        FSSRecord dst = Named("Arial", 12);
        FSSRecord src = Inheriting();
        SetFSSFontName(src, c.source);
        MergeFSS(dst, src);
        EXPECT_STREQ(dst.fontName, c.result);
        EXPECT_EQ(dst.size, 12);
    }
}

TEST_F(StyleRecords, MergeFlagsSkipsBothInheritValues) {
    const struct {
        uint8_t src, dst, result;
    } cases[] = {{0, 1, 0}, {1, 0, 1}, {2, 1, 1}, {5, 0, 0}, {2, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.src) + " onto " + std::to_string(c.dst));
        FSSRecord dst = Inheriting();
        FSSRecord src = Inheriting();
        for (int i = 0; i < kStyleByteCount; ++i) {
            dst.style[i] = c.dst;
            src.style[i] = c.src;
        }
        dst.setItalicMode(c.dst);
        src.setItalicMode(c.src);
        dst.setInkMode(c.dst);
        src.setInkMode(c.src);
        MergeFSSFlags(dst, src);
        for (int i = 0; i < kStyleByteCount; ++i)
            if (i != kStyleItalic) {
                EXPECT_EQ(dst.style[i], c.result) << i;
            }
        EXPECT_EQ(dst.italicMode(), c.result);
        EXPECT_EQ(dst.inkMode(), c.result);
    }
}

TEST_F(StyleRecords, CopiedItalicModeDecidesTheItalicByte) {
    const struct { uint8_t mode, italicByte; } cases[] = {{0, 0}, {1, 1}, {3, 1}, {4, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        FSSRecord dst = Inheriting();
        dst.style[kStyleItalic] = 2;
        FSSRecord src = Inheriting();
        src.style[kStyleItalic] = c.italicByte ? 0 : 1; // overridden by the mode
        src.setItalicMode(c.mode);
        MergeFSSFlags(dst, src);
        EXPECT_EQ(dst.italicMode(), c.mode);
        EXPECT_EQ(dst.style[kStyleItalic], c.italicByte);
    }
    // A mode that inherits leaves the italic byte to the style byte's own rule.
    FSSRecord dst = Inheriting();
    FSSRecord src = Inheriting();
    src.style[kStyleItalic] = 1;
    src.setItalicMode(5);
    dst.setItalicMode(0);
    MergeFSSFlags(dst, src);
    EXPECT_EQ(dst.style[kStyleItalic], 1);
    EXPECT_EQ(dst.italicMode(), 0);
}

TEST_F(StyleRecords, MergeSizeRules) {
    // Default ladder: 6, 7, 9, 10, 12, 14, 18, 20, 24, then 28, 36, 40, 48 ...
    const struct {
        int32_t dst, src, result;
        const char* why;
    } cases[] = {
        {12, 18, 18, "absolute replaces"},
        {-1002, 18, 18, "absolute replaces a relative size"},
        {12, kSizeReset, kSizeReset, "the reset marker is copied like an absolute size"},
        {12, kSizeInherit, 12, "inherit changes nothing"},
        {-1002, -1001, -1003, "relative onto relative adds the steps"},
        {-1002, -999, -1001, "relative steps can cancel"},
        {12, -999, 14, "one step up the ladder"},
        {12, -1001, 10, "one step down"},
        {12, -996, 24, "four steps double"},
        {20, -997, 36, "beyond the table sizes keep doubling"},
        {13, -999, 14, "from between two sizes"},
        {6, -1003, 6, "the smallest size stays"},
        {kSizeReset, -999, 14, "the reset marker moves from the base size"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        FSSRecord dst = Named("Arial", c.dst);
        FSSRecord src = Inheriting();
        src.size = c.src;
        MergeFSSSize(dst, src);
        EXPECT_EQ(dst.size, c.result);
    }
}

TEST_F(StyleRecords, RelativeSizesNeverReachTheMarkerOrAbsoluteRange) {
    FSSRecord dst = Named("*", -1001);
    FSSRecord src = Inheriting();
    src.size = -1400;
    for (int i = 0; i < 10; ++i)
        MergeFSSSize(dst, src);
    EXPECT_TRUE(IsRelativeSize(dst.size));
    EXPECT_GT(dst.size, kSizeReset);
    src.size = -600;
    for (int i = 0; i < 20; ++i)
        MergeFSSSize(dst, src);
    EXPECT_TRUE(IsRelativeSize(dst.size));
}

TEST_F(StyleRecords, SameFSSIgnoresTableOnlyFields) {
    const FSSRecord a = StyleTable[4];
    FSSRecord b = a;
    b.shortcut = 'z';
    b.slippery = 1;
    b.reserved = 9;
    b.packed |= 0x80;
    EXPECT_TRUE(SameFSS(a, b));
    const struct {
        const char* what;
        void (*change)(FSSRecord&);
    } differences[] = {
        {"name", [](FSSRecord& r) { SetFSSFontName(r, "Arial"); }},
        {"size", [](FSSRecord& r) { r.size = 14; }},
        {"underline", [](FSSRecord& r) { r.style[kStyleUnderline] = 1; }},
        {"extend", [](FSSRecord& r) { r.style[kStyleExtend] = 0; }},
        {"further", [](FSSRecord& r) { r.further = 1; }},
        {"italic mode", [](FSSRecord& r) { r.setItalicMode(3); }},
        {"ink mode", [](FSSRecord& r) { r.setInkMode(1); }},
    };
    for (const auto& d : differences) {
        SCOPED_TRACE(d.what);
        FSSRecord c = a;
        d.change(c);
        EXPECT_FALSE(SameFSS(a, c));
    }
    // Bytes after a name's terminator do not count.
    FSSRecord x = Named("Arial", 12);
    FSSRecord y = x;
    y.fontName[20] = 'q';
    EXPECT_TRUE(SameFSS(x, y));
}

TEST_F(StyleRecords, LongFontNamesAreCutTo31Characters) {
    FSSRecord r = Inheriting();
    SetFSSFontName(r, std::string(80, 'W'));
    EXPECT_EQ(std::strlen(r.fontName), 31u);
    EXPECT_EQ(r.fontName[31], 0);
}

// ---------------------------------------------------------------------------------------------
// Style bits and font references

TEST_F(StyleRecords, StyleBitsLayout) {
    FSSRecord r = Inheriting();
    for (uint8_t& s : r.style)
        s = 0;
    r.setItalicMode(0);
    r.setInkMode(0);
    EXPECT_EQ(PackStyleBits(r), 0);
    const struct {
        const char* what;
        void (*set)(FSSRecord&);
        int32_t bits;
    } cases[] = {
        {"bold", [](FSSRecord& x) { x.style[kStyleBold] = 1; }, 1},
        {"italic byte alone is not stored", [](FSSRecord& x) { x.style[kStyleItalic] = 1; }, 0},
        {"italic mode 4", [](FSSRecord& x) { x.setItalicMode(4); }, 4 << 2},
        {"underline inherit", [](FSSRecord& x) { x.style[kStyleUnderline] = 2; }, 2 << 5},
        {"outline", [](FSSRecord& x) { x.style[kStyleOutline] = 1; }, 1 << 7},
        {"shadow", [](FSSRecord& x) { x.style[kStyleShadow] = 1; }, 1 << 9},
        {"condense", [](FSSRecord& x) { x.style[kStyleCondense] = 1; }, 1 << 11},
        {"extend", [](FSSRecord& x) { x.style[kStyleExtend] = 2; }, 2 << 13},
        {"ink mode 5", [](FSSRecord& x) { x.setInkMode(5); }, 5 << 15},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FSSRecord x = r;
        c.set(x);
        EXPECT_EQ(PackStyleBits(x), c.bits);
    }
}

TEST_F(StyleRecords, FontRefRoundTrip) {
    std::vector<FSSRecord> records;
    for (int i = 0; i < 12; ++i)
        records.push_back(StyleTable[static_cast<size_t>(i)]);
    FSSRecord odd = Named("Some Face With A Long Name", -1003);
    odd.style[kStyleShadow] = 1;
    odd.setInkMode(6);
    odd.setItalicMode(3);
    odd.style[kStyleItalic] = 1;
    records.push_back(odd);
    for (const FSSRecord& r : records) {
        SCOPED_TRACE(r.fontName);
        FontRef ref;
        InternFontRef(r, ref);
        FSSRecord back;
        std::memset(static_cast<void*>(&back), 0x77, sizeof back);
        ExpandFontRef(back, ref);
        EXPECT_TRUE(SameFSS(r, back));
        EXPECT_STREQ(back.fontName, r.fontName);
    }
}

TEST_F(StyleRecords, FontNamesAreSharedByOffset) {
    FontRef a, b, c;
    InternFontRef(Named("Interned Face", 12), a);
    const int32_t count = FontNameCount();
    InternFontRef(Named("Interned Face", 18), b);
    EXPECT_EQ(FontNameCount(), count); // a known name is not added again
    EXPECT_EQ(a.nameOffset, b.nameOffset);
    InternFontRef(Named("Interned Face 2", 12), c);
    EXPECT_NE(c.nameOffset, a.nameOffset);
    EXPECT_STREQ(FontNameAtOffset(a.nameOffset), "Interned Face");
    EXPECT_STREQ(FontNameAtOffset(c.nameOffset), "Interned Face 2");
    // Offsets that name nothing read as inherit rather than as stray text.
    EXPECT_STREQ(FontNameAtOffset(-4), "*");
    EXPECT_STREQ(FontNameAtOffset(INT32_MAX), "*");
    EXPECT_STREQ(FontNameAtOffset(c.nameOffset + 1), "*");
}

// ---------------------------------------------------------------------------------------------
// Style table

TEST_F(StyleRecords, TableIndexesAndResetRecord) {
    EXPECT_EQ(StyleRecordAt(0), &StyleTable[0]);
    EXPECT_EQ(StyleRecordAt(63), &StyleTable[63]);
    EXPECT_EQ(StyleRecordAt(kResetStyleIndex), &ResetStyleRecord);
    EXPECT_EQ(StyleRecordAt(-1), nullptr);
    EXPECT_EQ(StyleRecordAt(65), nullptr);
    EXPECT_EQ(StyleRecordAt(0x60), nullptr);
}

TEST_F(StyleRecords, ShippedEntriesResolveAgainstTheBase) {
    const FSSRecord& base = StyleTable[0];
    EXPECT_STREQ(base.fontName, "Times New Roman");
    EXPECT_EQ(base.size, 12);
    EXPECT_EQ(base.italicMode(), kItalicLettersNotFunctions);
    const struct {
        int index;
        const char* font;
        int32_t size;
        uint8_t bold, italicMode, underline;
        char shortcut;
    } cases[] = {
        {1, "Symbol", 12, 0, 0, 0, 'g'},
        {2, "Times New Roman", 12, 0, 0, 0, 't'},
        {4, "Times New Roman", 12, 0, 1, 0, 'v'},
        {5, "Times New Roman", 12, 1, 0, 0, 'b'},
        {6, "Times New Roman", 14, 0, 4, 0, '+'},
        {7, "Times New Roman", 10, 0, 4, 0, '-'},
        {8, "Arial", 12, 0, 0, 0, 's'},
        {9, "Courier New", 12, 0, 0, 0, 'c'},
        {10, "Times New Roman", 12, 1, 1, 0, 'B'},
        {11, "Times New Roman", 12, 0, 4, 1, 'u'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        const FSSRecord& entry = StyleTable[static_cast<size_t>(c.index)];
        EXPECT_EQ(entry.shortcut, c.shortcut);
        FSSRecord resolved = base;
        MergeFSS(resolved, entry);
        EXPECT_STREQ(resolved.fontName, c.font);
        EXPECT_EQ(resolved.size, c.size);
        EXPECT_EQ(resolved.style[kStyleBold], c.bold);
        EXPECT_EQ(resolved.italicMode(), c.italicMode);
        EXPECT_EQ(resolved.style[kStyleItalic], c.italicMode != 0 ? 1 : 0);
        EXPECT_EQ(resolved.style[kStyleUnderline], c.underline);
    }
    EXPECT_EQ(StyleTable[1].slippery, 1);
    // Free entries, the reset record and the default style inherit everything: typing in the
    // default style follows the base style exactly.
    for (const FSSRecord* r :
         {&StyleTable[12], &StyleTable[63], &ResetStyleRecord, &DefaultStyle}) {
        EXPECT_TRUE(SameFSS(*r, Inheriting()));
        FSSRecord resolved = base;
        MergeFSS(resolved, *r);
        EXPECT_TRUE(SameFSS(resolved, base));
    }
}

// ---------------------------------------------------------------------------------------------
// Size steps

TEST_F(StyleRecords, LadderFromTheSettings) {
    const struct {
        SizeStepRecord steps;
        int32_t base;
        std::vector<int32_t> ladder;
    } cases[] = {
        {{6, 14, 18, 20}, 12, {6, 7, 9, 10, 12, 14, 18, 20, 24}},
        // Minimum equal to the base: the base is not repeated below itself.
        {{12, 14, 18, 20}, 12, {12, 14, 18, 20, 24}},
        // Halves that are not below their upper neighbour are lowered by one; the minimum ends it.
        {{8, 14, 17, 20}, 12, {8, 10, 12, 14, 17, 20, 24}},
        {{4, 11, 12, 13}, 10, {4, 5, 6, 10, 11, 12, 13, 20}},
        {{1, 5, 6, 7}, 4, {1, 2, 3, 4, 5, 6, 7, 8}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.steps.minimum);
        EXPECT_EQ(BuildSizeStepLadder(c.steps, c.base), c.ladder);
    }
}

TEST_F(StyleRecords, InvalidLaddersAreRefusedAndTheTableKept) {
    const std::vector<int32_t> before = SizeStepTable;
    const struct {
        SizeStepRecord steps;
        const char* why;
    } cases[] = {
        {{0, 14, 18, 20}, "minimum 0"},
        {{-3, 14, 18, 20}, "negative minimum"},
        {{13, 14, 18, 20}, "minimum above the base"},
        {{6, 12, 18, 20}, "first step not above the base"},
        {{6, 18, 14, 20}, "steps out of order"},
        {{6, 14, 18, 24}, "third step not below twice the base"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_TRUE(BuildSizeStepLadder(c.steps, 12).empty());
        SizeStepSettings = c.steps;
        EXPECT_FALSE(BuildSizeStepTable());
        EXPECT_EQ(SizeStepTable, before);
    }
    EXPECT_FALSE(SizeStepsValid(SizeStepRecord{3, 14, 18, 20}, 12, 4)); // below the font minimum
    EXPECT_TRUE(SizeStepsValid(SizeStepRecord{4, 14, 18, 20}, 12, 4));
    EXPECT_TRUE(SizeStepsValid(SizeStepRecord{12, 13, 14, 23}, 12, 4));
}

TEST_F(StyleRecords, TableFollowsTheBaseSize) {
    StyleTable[0].size = 10;
    SizeStepSettings = SizeStepRecord{5, 12, 14, 17};
    ASSERT_TRUE(BuildSizeStepTable());
    EXPECT_EQ(SizeStepTable, (std::vector<int32_t>{5, 6, 7, 8, 10, 12, 14, 17, 20}));
    EXPECT_EQ(MinimumCharacterSize(), 5);
}

TEST_F(StyleRecords, SizeListShowsTheLadderThenFourMore) {
    EXPECT_EQ(SizeStepListText(SizeStepTable),
              "6, 7, 9, 10, 12, 14, 18, 20, 24, 28, 36, 40, 48, ...");
    EXPECT_EQ(SizeStepListText({12, 14, 18, 20, 24}), "12, 14, 18, 20, 24, 28, 36, 40, 48, ...");
    // A long ladder stops once the text reaches 88 characters and goes on with the next four.
    std::vector<int32_t> longLadder;
    for (int32_t s = 1000; s < 1030; ++s)
        longLadder.push_back(s);
    const std::string text = SizeStepListText(longLadder);
    // 15 entries of "10xx, " make 90 characters: the 15th is the last one listed.
    EXPECT_EQ(text.substr(84), "1014, 1015, 1016, 1017, 1018, ...");
}

TEST_F(StyleRecords, GeometricSteps) {
    const struct {
        int32_t base;
        std::array<int32_t, 3> steps;
    } cases[] = {{10, {12, 14, 17}}, {12, {14, 17, 20}}, {14, {17, 20, 24}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.base);
        EXPECT_EQ(GeometricSizeSteps(c.base), c.steps);
    }
}

TEST_F(StyleRecords, StepsAndSizes) {
    // Inside the table, before it, and beyond it (twice the size four steps down): the list
    // 6, 7, 9, 10, 12, 14, 18, 20, 24, 28, 36, 40, 48.
    const int32_t ladder[] = {6, 7, 9, 10, 12, 14, 18, 20, 24, 28, 36, 40, 48, 56, 72};
    for (int32_t i = 0; i < 15; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(StepToSize(i), ladder[i]);
        EXPECT_EQ(SizeToStep(ladder[i]), i);
        EXPECT_EQ(StepSizeBy(ladder[i], 4), StepToSize(i + 4));
        EXPECT_EQ(StepSizeBy(ladder[i], -1), ladder[std::max(i - 1, 0)]);
    }
    EXPECT_EQ(StepToSize(-3), 6);
    const struct {
        int32_t size, step;
    } between[] = {{5, 0}, {1, 0}, {-50, 0}, {8, 1}, {13, 4}, {23, 7}, {27, 8}, {47, 11}};
    for (const auto& b : between) {
        SCOPED_TRACE(b.size);
        EXPECT_EQ(SizeToStep(b.size), b.step);
    }
}

TEST_F(StyleRecords, SteppedSizesFollowTheStepTable) {
    // Each answer asked twice, the second time from what was kept, and asked again after the
    // table changed in place.
    const struct {
        std::vector<int32_t> table;
        int32_t down, up; // 12 one step down and up
    } tables[] = {{{6, 7, 9, 10, 12, 14, 18, 20, 24}, 10, 14},
                  {{6, 8, 10, 16, 20, 24, 32, 40}, 8, 16},
                  {{6, 8, 10, 16, 20, 24, 32, 41}, 8, 16},
                  {{6, 7, 9, 11, 12, 13, 18, 20, 24}, 11, 13}};
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& t : tables) {
            SCOPED_TRACE(testing::Message() << pass << ": " << t.down);
            SizeStepTable = t.table;
            for (int twice = 0; twice < 2; ++twice) {
                EXPECT_EQ(StepSizeBy(12, -1), t.down);
                EXPECT_EQ(StepSizeBy(12, 1), t.up);
                EXPECT_EQ(StepSizeBy(12, 0), 12);
            }
        }
    }
    SizeStepTable = tables[0].table;
    EXPECT_EQ(StepSizeBy(12, -1), 10);
    SizeStepTable[3] = 11;
    EXPECT_EQ(StepSizeBy(12, -1), 11);
}

TEST_F(StyleRecords, HugeSizesAndStepsSaturate) {
    EXPECT_EQ(StepToSize(1000000), kMaxStepSize);
    EXPECT_EQ(StepToSize(INT32_MAX), kMaxStepSize);
    const int32_t top = SizeToStep(INT32_MAX);
    EXPECT_EQ(StepToSize(top), kMaxStepSize);
    EXPECT_LE(StepToSize(top - 1), kMaxStepSize);
    EXPECT_EQ(StepSizeBy(12, INT32_MAX), kMaxStepSize);
    EXPECT_EQ(StepSizeBy(12, INT32_MIN), 6);
}

TEST_F(StyleRecords, ResetPutsInitialValuesBack) {
    TypesettingSettings.fractionBarThickness = 16;
    RootSettings.rightHook = 2;
    WideStructureSetting = 0;
    AutoSpaceOption = 0;
    SizeStepSettings.minimum = 9;
    SizeStepTable = {9, 12};
    ResetTypesettingSettings();
    EXPECT_EQ(TypesettingSettings.fractionBarThickness, 4);
    EXPECT_EQ(RootSettings.rightHook, 1);
    EXPECT_EQ(WideStructureSetting, 1);
    EXPECT_EQ(AutoSpaceOption, 1);
    EXPECT_EQ(MinimumCharacterSize(), 6);
    // The shipped table is the ladder of the shipped settings.
    EXPECT_EQ(SizeStepTable, BuildSizeStepLadder(SizeStepSettings, BaseStyleSize()));
}

// ---------------------------------------------------------------------------------------------
// Function names

class FunctionNames : public ::testing::Test {
protected:
    void SetUp() override {
        // A list that cannot be read is reported with the program's own message, as it is when
        // the program runs.
        plat::testing::reset();
        plat::RegisterBuiltinResources(BuiltinResourceTables());
        FreeStringCache();
        folder = fs::temp_directory_path() /
                 ("kv-fn-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                  "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }
    void write(const std::string& name, const std::string& bytes) {
        std::ofstream out(folder / name, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (std::string_view n : FunctionNameList())
            out.emplace_back(n);
        return out;
    }
    fs::path folder;
};

TEST_F(FunctionNames, OneNameALineShortLinesSkipped) {
    write("function.txt", "sin\r\ncos\nx\n\ntan\rlog  \r\nln");
    EXPECT_EQ(ReadFunctionNames(folder.string()), FunctionNamesResult::Read);
    EXPECT_EQ(names(), (std::vector<std::string>{"sin", "cos", "tan", "log", "ln"}));
    EXPECT_EQ(FunctionNameCount, 5);
    EXPECT_EQ(FunctionNameText, std::string("sin\0cos\0tan\0log\0ln\0", 19));
}

TEST_F(FunctionNames, FallsBackToTheSecondNameAndIgnoresCase) {
    write("function", "det\n");
    EXPECT_EQ(ReadFunctionNames(folder.string()), FunctionNamesResult::Read);
    EXPECT_EQ(names(), (std::vector<std::string>{"det"}));
    fs::remove(folder / "function");
    write("Function.TXT", "ker\n");
    EXPECT_EQ(ReadFunctionNames(folder.string()), FunctionNamesResult::Read);
    EXPECT_EQ(names(), (std::vector<std::string>{"ker"}));
}

TEST_F(FunctionNames, MissingFileLeavesNoNames) {
    write("function.txt", "sin\n");
    ASSERT_EQ(ReadFunctionNames(folder.string()), FunctionNamesResult::Read);
    fs::remove(folder / "function.txt");
    // Each missing list is told once, with a note the user only has to acknowledge.
    const auto note = [](const plat::testing::MessageBoxCall& box) {
        EXPECT_NE(box.text.find("Can't read in the Function Names file"), std::string::npos)
            << box.text;
        return plat::IDOK;
    };
    plat::testing::onMessageBox(note);
    EXPECT_EQ(ReadFunctionNames(folder.string()), FunctionNamesResult::NotFound);
    EXPECT_EQ(FunctionNameCount, 0);
    EXPECT_TRUE(names().empty());
    plat::testing::onMessageBox(note);
    EXPECT_EQ(ReadFunctionNames((folder / "no such folder").string()),
              FunctionNamesResult::NotFound);
    EXPECT_EQ(plat::testing::messageBoxes().size(), 2U);
}

TEST_F(FunctionNames, CorruptFilesGiveOnlyUsableNames) {
    // Binary junk without line ends, then an over-long line, a line with control bytes, a line
    // with a zero byte, and finally good names.
    std::mt19937 random(7);
    std::string junk;
    for (int i = 0; i < 300000; ++i) {
        char c = static_cast<char>(random() & 0xFF);
        if (c == '\n' || c == '\r')
            c = 0;
        junk += c;
    }
    std::string bytes = junk + "\n" + std::string(5000, 'q') +
                        "\nab"
                        "\x01"
                        "cd\nsi" +
                        std::string(1, '\0') + "n\nexp\nlim\n";
    write("function.txt", bytes);
    EXPECT_EQ(ReadFunctionNames(folder.string()), FunctionNamesResult::Read);
    EXPECT_EQ(names(), (std::vector<std::string>{"exp", "lim"}));
    // The buffer holds exactly the names, each terminated.
    EXPECT_EQ(FunctionNameText, std::string("exp\0lim\0", 8));
}

TEST_F(FunctionNames, LongestNameKept) {
    const std::string longest(kMaxFunctionNameLength, 'n');
    write("function.txt", longest + "\n" + longest + "x\nsup\n");
    ReadFunctionNames(folder.string());
    EXPECT_EQ(names(), (std::vector<std::string>{longest, "sup"}));
}

TEST(ShippedFunctionNames, DefaultListReads) {
    const fs::path folder = fs::path(KV_SOURCE_DIR) / "resources" / "defaults";
    ASSERT_EQ(ReadFunctionNames(folder.string()), FunctionNamesResult::Read);
    const std::vector<std::string_view> list = FunctionNameList();
    std::ifstream in(folder / "function.txt");
    int lines = 0;
    for (std::string line; std::getline(in, line);)
        ++lines;
    EXPECT_EQ(FunctionNameCount, lines); // every shipped line is a name
    for (const char* name : {"sin", "cos", "tan", "arcsin", "sinh", "log", "ln", "exp", "lim",
                             "max", "min", "sup", "inf", "det", "gcd", "Pr"}) {
        SCOPED_TRACE(name);
        EXPECT_NE(std::find(list.begin(), list.end(), name), list.end());
    }
    FunctionNameText.clear();
    FunctionNameCount = 0;
}

} // namespace
