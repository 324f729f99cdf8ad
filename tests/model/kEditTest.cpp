#include "OverSrcs/commands/kEdit.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/eFactory.h"
#include "OverSrcs/eHeader.h"
#include "OverSrcs/ePseudo.h"
#include "OverSrcs/eSelect.h"
#include "OverSrcs/eSimpString.h"
#include "OverSrcs/eWord.h"
#include "OverSrcs/oStreams.h"
#include "model/EditModelFixture.h"
#include "model/ModelFixture.h"

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

// ---- The character codec
// -------------------------------------------------------------------------

TEST(CommandCodec, CharacterCodesCarryTheirStyle) {
    struct Case {
        int style;
        unsigned char ch;
        int32_t code;
    };
    // The typing style is 0x0F00 + ch; style s of 0-31 is (s + 16) << 8 + ch; 32-63 are not
    // encodable and give 0.
    const Case cases[] = {
        {-1, 'a', 0x0F61}, {0, 'a', 0x1061},  {1, 'x', 0x1178},  {15, 0xE9, 0x1FE9},
        {16, '+', 0x202B}, {31, 'z', 0x2F7A}, {32, 'a', 0x0000}, {63, 'a', 0x0000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        EXPECT_EQ(MakeCharCode(c.style, c.ch), c.code);
    }
}

TEST(CommandCodec, DecodingInvertsEncodingForEveryStyleAndCharacter) {
    for (int style = -1; style < 32; ++style) {
        for (int ch = 1; ch < 256; ++ch) {
            const int32_t code = MakeCharCode(style, static_cast<unsigned char>(ch));
            ASSERT_EQ(CharCodeStyle(code), style) << "style " << style << " char " << ch;
            ASSERT_EQ(code & 0xFF, ch);
            ASSERT_TRUE(IsCharCode(code));
            // The key map's marker bit does not change what the code types.
            ASSERT_EQ(CharCodeStyle(code | kCmdWidenBit), style);
        }
    }
    // A bare character and codes whose selector lies outside 0x10-0x2F type in the typing style.
    EXPECT_EQ(CharCodeStyle(0x0041), -1);
    EXPECT_EQ(CharCodeStyle(0x3041), -1);
    EXPECT_FALSE(IsCharCode(0));
    EXPECT_FALSE(IsCharCode(kCmdWidenBit));
    EXPECT_FALSE(IsCharCode(0x4001));
    EXPECT_FALSE(IsCharCode(kCmdUndo));
}

TEST(CommandCodec, KindsForTheCustomisationDialogs) {
    const struct {
        int32_t code;
        int kind;
    } cases[] = {
        {0, kKindEmpty},
        {kCmdWidenBit, kKindEmpty},
        {0x0F61, kKindInsert},
        {0x4001, kKindInsert},
        {0x5302, kKindInsert},
        {0x6000, kKindFont},
        {0x6040, kKindFont},
        {0x60FF, kKindFont},
        {kCmdAskFont, kKindFont},
        {kCmdRepeatFont, kKindSecondary},
        {kCmdUndo, kKindSecondary},
        {0x67EC, kKindSecondary},
        {0x6800, kKindSubPalette},
        {0x6863, kKindSubPalette},
        {0x6900, kKindSecondary},
        {0x8000 | 0x6802, kKindSubPalette},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(CommandKind(c.code), c.kind);
    }
}

// ---- The key map
// ---------------------------------------------------------------------------------

class KeyMapTest : public ::testing::Test {
protected:
    void SetUp() override { ResetKeyMap(); }
    void TearDown() override { ResetKeyMap(); }
};

TEST_F(KeyMapTest, DefaultBindingsWithAltAndCtrlOffsets) {
    const struct {
        int32_t index;
        int32_t code;
        const char* what;
    } cases[] = {
        {'a', 0x0F61, "a letter types in the typing style"},
        {0xE9, 0x0F00 + 0xE9, "an accented letter"},
        {' ', 0x0F20, "space"},
        {0x100 + '5', 0x0F35, "keypad 5 types the digit"},
        {0x100 + '+', 0x0F2B, "keypad plus"},
        {0x08, kCmdBackspace, "Backspace"},
        {0x09, kCmdSelectNextSlot, "Tab"},
        {0x0D, kCmdNewLine, "Enter"},
        {0x1B, kCmdSelectFirstSlot, "Escape"},
        {0x180 + 0x25, kCmdMoveLeft, "Left"},
        {0x180 + 0x27, kCmdMoveRight, "Right"},
        {0x180 + 0x26 + kKeyCtrl, kCmdMoveUp, "Ctrl+Up nudges through the same code"},
        {0x180 + 0x26 + kKeyAlt, kCmdSelectParent, "Alt+Up"},
        {0x180 + 0x28 + kKeyAlt, kCmdSelectParts, "Alt+Down"},
        {0x180 + 0x2E, kCmdDeleteForward, "Delete"},
        {0x180 + 0x24, kCmdLineStart, "Home"},
        {0x180 + 0x23, kCmdLineEnd, "End"},
        {'z' + kKeyCtrl, kCmdUndo, "Ctrl+Z"},
        {'c' + kKeyCtrl, kCmdCopy, "Ctrl+C"},
        {'v' + kKeyCtrl, kCmdPaste, "Ctrl+V"},
        {'x' + kKeyCtrl, kCmdCut, "Ctrl+X"},
        {'a' + kKeyCtrl, kCmdSelectAll, "Ctrl+A"},
        {0x0D + kKeyCtrl, kCmdNewField, "Ctrl+Enter"},
        {'a' + kKeyAlt, 0, "Alt+letter stays free for menu mnemonics"},
        {'a' + kKeyAlt + kKeyCtrl, 0, "Ctrl+Alt+letter unbound"},
        {0, 0, "entry 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(LookupKeyCommand(c.index), c.code);
    }
}

TEST_F(KeyMapTest, LookupAnswersLegacyBackspaceAndMarksBadEntries) {
    KeyMap[300] = kCmdLegacyBackspace;
    EXPECT_EQ(LookupKeyCommand(300), kCmdBackspace);
    // The marker bit comes back with the code: the dispatcher widens the selection with it.
    KeyMap[301] = kCmdWidenBit | 0x5003;
    EXPECT_EQ(LookupKeyCommand(301), 0xD003);
    KeyMap[302] = -5;
    EXPECT_EQ(LookupKeyCommand(302), -1);
    KeyMap[303] = 0x10000;
    EXPECT_EQ(LookupKeyCommand(303), -1);
    EXPECT_EQ(LookupKeyCommand(-1), -1);
    EXPECT_EQ(LookupKeyCommand(kKeyMapSize), -1);
}

// ---- keys.prf
// ------------------------------------------------------------------------------------

std::string WriteToText(const KeyMapTable& map) {
    oOMemoryStream* out = NewOMemoryStream(0);
    WriteKeyMap(*out, map);
    return out->detachString();
}

KeyMapReadResult ReadFromText(const std::string& text, KeyMapTable& map) {
    oIMemoryStream in(reinterpret_cast<const uint8_t*>(text.data()),
                      static_cast<uint32_t>(text.size()));
    return ReadKeyMap(in, map);
}

TEST_F(KeyMapTest, WrittenMapReadsBackEqual) {
    KeyMapTable map = DefaultKeyMap();
    map[0x461] = kCmdWidenBit | 0x5001; // a macro applied to the item before the caret
    map[0x100 + 0x70] = 0x6203;         // F1
    map['a'] = 0;                       // unbound
    map[kKeyMapSize - 1] = 0xFFFF;
    const std::string text = WriteToText(map);
    // The version record first: "Ve" and the compact form of 1, a single digit 0x20 + 1.
    EXPECT_EQ(text.substr(0, 5), "Ve!\r\n");
    KeyMapTable back{};
    back.fill(77);
    const KeyMapReadResult result = ReadFromText(text, back);
    EXPECT_TRUE(result.accepted) << result.report();
    EXPECT_TRUE(result.problems.empty()) << result.report();
    EXPECT_EQ(back, map);
}

TEST_F(KeyMapTest, EveryCompactNumberSizeSurvivesTheFile) {
    KeyMapTable map{};
    // Codes across the one- to four-character number forms, index 1 to the last.
    const int32_t codes[] = {1, 31, 32, 0x7FF, 0x800, 0xFFFF};
    int32_t index = 1;
    for (int32_t code : codes) {
        map[static_cast<size_t>(index)] = code;
        index = index * 4 + 3; // 1, 7, 31, 127, 511, 2047: the last entry too
    }
    KeyMapTable back{};
    ASSERT_TRUE(ReadFromText(WriteToText(map), back).accepted);
    EXPECT_EQ(back, map);
}

struct CorruptCase {
    const char* name;
    std::string text;
    bool accepted;
    std::vector<int32_t> problemLines; // lines reported (0: about the whole file)
};

class KeyMapCorruptTest : public KeyMapTest, public ::testing::WithParamInterface<CorruptCase> {};

// A line of the file: "Ky", index and code in their compact forms.
std::string KyLine(int32_t index, int32_t code) {
    char buffer[16];
    std::string line = "Ky";
    line.append(buffer, static_cast<size_t>(EncodeCompactNumber(index, buffer)));
    line.append(buffer, static_cast<size_t>(EncodeCompactNumber(code, buffer)));
    return line + "\n";
}

TEST_P(KeyMapCorruptTest, BadLinesAreReportedAndNothingElseIsLost) {
    const CorruptCase& c = GetParam();
    KeyMapTable map = DefaultKeyMap();
    const KeyMapTable before = map;
    const KeyMapReadResult result = ReadFromText(c.text, map);
    EXPECT_EQ(result.accepted, c.accepted) << result.report();
    std::vector<int32_t> lines;
    for (const KeyMapProblem& p : result.problems) {
        EXPECT_FALSE(p.reason.empty());
        if (p.line != 0 || lines.empty() || lines.back() != 0)
            lines.push_back(p.line);
    }
    EXPECT_EQ(lines, c.problemLines) << result.report();
    if (!c.accepted) {
        EXPECT_EQ(map, before) << "a refused file changes nothing";
        EXPECT_NE(result.report().find("left as it was"), std::string::npos);
    } else {
        // Every good line of these files binds 'q' to Undo or index 0x300 to copy.
        EXPECT_EQ(map['q'], kCmdUndo);
        EXPECT_EQ(map[0x300], kCmdCopy);
        EXPECT_EQ(map['a'], 0) << "a file's map starts empty";
        EXPECT_EQ(map[0], 0);
    }
}

const std::string kGood = KyLine('q', kCmdUndo) + KyLine(0x300, kCmdCopy);

INSTANTIATE_TEST_SUITE_P(
    Files, KeyMapCorruptTest,
    ::testing::Values(
        CorruptCase{"clean", "Ve!\n" + kGood, true, {}},
        CorruptCase{"crlf_and_blank_lines",
                    "Ve!\r\n\r\n" + KyLine('q', kCmdUndo) + "\r\n" + KyLine(0x300, kCmdCopy),
                    true,
                    {}},
        CorruptCase{"percent_prefix_and_continuations",
                    "%%Ve!\n%%" + KyLine('q', kCmdUndo) + "\tsome text\n%%\tmore\n" +
                        KyLine(0x300, kCmdCopy),
                    true,
                    {}},
        CorruptCase{"garbage_line_between",
                    "Ve!\n" + KyLine('q', kCmdUndo) + "#$%&\n" + KyLine(0x300, kCmdCopy),
                    true,
                    {}},
        // Records of other kinds (a later version's) are passed over.
        CorruptCase{"unknown_tag", "Ve!\nZz!!\n" + kGood, true, {}},
        CorruptCase{"truncated_number", "Ve!\nKyc\n" + kGood, true, {2}},
        CorruptCase{"one_number_only", "Ve!\n" + kGood + "Ky!\n", true, {4}},
        CorruptCase{
            "trailing_data", "Ve!\n" + kGood + KyLine(5, 7).substr(0, 4) + "!!xyz\n", true, {4}},
        CorruptCase{"index_out_of_range", "Ve!\n" + kGood + KyLine(kKeyMapSize, 1), true, {4}},
        CorruptCase{"index_zero", "Ve!\n" + KyLine(0, 0x0F41) + kGood, true, {2}},
        CorruptCase{"code_out_of_range",
                    "Ve!\n" + KyLine(7, 0x10000) + KyLine(8, -2) + kGood,
                    true,
                    {2, 3}},
        CorruptCase{
            "bound_twice_keeps_the_later", "Ve!\n" + KyLine('q', kCmdCopy) + kGood, true, {3}},
        CorruptCase{"short_line", "Ve!\nK\n" + kGood, true, {}},
        CorruptCase{"bad_line_after_crlf_lines",
                    "Ve!\r\n\r\n" + KyLine('q', kCmdUndo) + "Kyc\r\n" + KyLine(0x300, kCmdCopy),
                    true,
                    {4}},
        CorruptCase{"no_version", kGood, false, {1, 0}},
        CorruptCase{"future_version", "Ve\"\n" + kGood, false, {1, 0}},
        CorruptCase{"empty_file", "", false, {0}}, CorruptCase{"version_only", "Ve!\n", false, {0}},
        CorruptCase{"binary_junk", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), false, {0}}),
    [](const ::testing::TestParamInfo<CorruptCase>& info) { return info.param.name; });

class KeyMapFileTest : public KeyMapTest {
protected:
    void SetUp() override {
        KeyMapTest::SetUp();
        m_dir = std::filesystem::temp_directory_path() /
                ("kv_keys_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override {
        std::filesystem::remove_all(m_dir);
        KeyMapTest::TearDown();
    }
    static std::string Slurp(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::filesystem::path m_dir;
};

TEST_F(KeyMapFileTest, SaveThenLoadRestoresTheMap) {
    const std::string path = (m_dir / kKeysPrefsFile).string();
    KeyMapTable custom = DefaultKeyMap();
    custom['q'] = kCmdUndo;
    custom[0x180 + 0x25] = 0;
    SaveKeyMapFile(path, custom);
    const KeyMapReadResult result = LoadKeyMapFile(path);
    EXPECT_TRUE(result.accepted) << result.report();
    EXPECT_EQ(KeyMap, custom);
}

TEST_F(KeyMapFileTest, CorruptFileLeavesMapAndFileAlone) {
    const std::filesystem::path path = m_dir / kKeysPrefsFile;
    const std::string junk = "this is not a key map\n";
    {
        std::ofstream out(path, std::ios::binary);
        out << junk;
    }
    KeyMap['q'] = kCmdUndo;
    const KeyMapTable before = KeyMap;
    const KeyMapReadResult result = LoadKeyMapFile(path.string());
    EXPECT_FALSE(result.accepted);
    EXPECT_FALSE(result.report().empty());
    EXPECT_EQ(KeyMap, before);
    EXPECT_EQ(Slurp(path), junk);
}

TEST_F(KeyMapFileTest, MissingFileFailsWithFileNotFound) {
    const std::string path = (m_dir / "absent.prf").string();
    const KeyMapTable before = KeyMap;
    EXPECT_EQ(CatchFail([&] { LoadKeyMapFile(path); }), errFileNotFound);
    EXPECT_EQ(KeyMap, before);
}

TEST_F(KeyMapFileTest, ShippedFileHoldsTheBuiltInMap) {
    const std::string path = std::string(KV_BINARY_DIR) + "/src/Korvaline_Prefs/keys.prf";
    ResetKeyMap();
    KeyMap.fill(0);
    const KeyMapReadResult result = LoadKeyMapFile(path);
    ASSERT_TRUE(result.accepted) << result.report();
    EXPECT_TRUE(result.problems.empty()) << result.report();
    EXPECT_EQ(KeyMap, DefaultKeyMap());
}

// ---- The dispatcher
// -------------------------------------------------------------------------------

// The tree as text: rows in brackets with their items separated by "|", words as their text,
// pseudo-characters as <code>.
std::string Dump(const eExpr* node, bool styled = false) {
    if (node == nullptr)
        return "null";
    if (const auto* word = dynamic_cast<const eWord*>(node)) {
        std::string text(word->view());
        if (styled)
            // Everything a word carries besides its text: style reference, colour, nudges.
            text += "/" + std::to_string(word->m_fontRef.nameOffset) + "," +
                    std::to_string(word->m_fontRef.size) + "," +
                    std::to_string(word->m_fontRef.styleBits) + "," +
                    std::to_string(word->m_colour) + "," + std::to_string(word->m_nudgeX) + "," +
                    std::to_string(word->m_nudgeY);
        return text;
    }
    if (const auto* pseudo = dynamic_cast<const ePseudo*>(node))
        return std::string("<") + static_cast<char>(pseudo->m_code) + ">";
    std::string text = node->isString() ? "[" : "{";
    for (int32_t i = 0; i < node->childCount(); ++i) {
        if (i > 0)
            text += "|";
        text += Dump(node->getChild(i), styled);
    }
    return text + (node->isString() ? "]" : "}");
}

struct Recorded {
    int copies = 0;
    int redraws = 0;
    int drawnAtOnce = 0;
    int refreshes = 0;
    std::vector<eExpr*> edited;
};

class DispatcherTest : public EditModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        s_recorded = Recorded{};
        ResetKeyMap();
        installCommands();
        // Words here split only by character class: the spacing rules are the rows' own business.
        AutoSpaceOption = 0;
        CommandHooks& h = TheCommandHooks();
        h.copy = [] { ++s_recorded.copies; };
        h.redrawAfterEdit = [] { ++s_recorded.redraws; };
        h.drawNodeNow = [](eExpr*) { ++s_recorded.drawnAtOnce; };
        h.refreshActivePane = [] { ++s_recorded.refreshes; };
        h.markEdited = [](eExpr* node) { s_recorded.edited.push_back(node); };
        h.activeLineUnit = [] { return 1; };
        openRecord();
        CtrlHeld = 0;
    }

    std::string tree() const { return Dump(expression()); }
    void type(const std::string& text) {
        for (unsigned char c : text)
            DoCommand(MakeCharCode(kTypingStyleSelector, c), 1);
    }
    void select(std::initializer_list<SelectionEntry> entries) {
        ClearSelectionList(m_record);
        for (const SelectionEntry& e : entries)
            AddSelectionEntry(m_record, e);
    }
    std::vector<SelectionEntry> selection() const {
        std::vector<SelectionEntry> list;
        for (int32_t i = 0; i < m_record.count(); ++i)
            list.push_back(m_record.entry(i));
        return list;
    }
    eExpr* item(int32_t i) const { return expression()->getChild(i); }

    static inline Recorded s_recorded;
};

TEST_F(DispatcherTest, TypingBuildsWordsAndLeavesTheCaretAfterTheLastCharacter) {
    type("x+1");
    EXPECT_EQ(tree(), "[x|+|1]");
    ASSERT_EQ(selection().size(), 1u);
    const SelectionEntry caret = selection()[0];
    EXPECT_EQ(caret.node, item(2));
    EXPECT_EQ(caret.start, 1);
    EXPECT_EQ(caret.end, 1);
    type("0");
    EXPECT_EQ(tree(), "[x|+|10]");
    EXPECT_GE(s_recorded.redraws, 4);
    // Each typed leaf was drawn at once: nothing forced a full redraw.
    EXPECT_GE(s_recorded.drawnAtOnce, 4);
}

TEST_F(DispatcherTest, TypedCharactersTakeTheStyleOfTheirCode) {
    DoCommand(MakeCharCode(1, 'a'), 1); // style 1: "Symbol"
    DoCommand(MakeCharCode(0, 'b'), 1); // style 0: the default style
    ASSERT_EQ(tree(), "[a|b]");
    FSSRecord first, second;
    static_cast<eChar*>(item(0))->storedStyle(first);
    static_cast<eChar*>(item(1))->storedStyle(second);
    EXPECT_STREQ(first.fontName, "Symbol");
    EXPECT_TRUE(SameFSS(second, DefaultStyle));
}

TEST_F(DispatcherTest, InsertTypedCharacterMakesSpaceTabAndWords) {
    const struct {
        int32_t code;
        const char* dump;
    } cases[] = {{0x0F20, "<s>"}, {0x0F09, "<T>"}, {0x0F61, "a"}, {0x1161, "a"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dump);
        CurrentCommandCode = c.code;
        ExprPtr node = InsertTypedCharacter();
        EXPECT_EQ(Dump(node.get()), c.dump);
    }
}

TEST_F(DispatcherTest, UndoRestoresTreeAndSelectionExactly) {
    type("ab");
    DoCommand(kCmdStyleBase + 5, 1); // bold at the caret
    type("+");
    DoCommand(kCmdColourBase + 0x1C, 1);
    type("c");
    const std::string typed = tree();
    const std::string typedStyled = Dump(expression(), true);
    // A plain command opens its own step: the snapshot holds the tree as typed.
    select({{expression(), 0, 2, 0, 0}});
    const std::vector<SelectionEntry> rangeSelected = selection();
    DoCommand(kCmdClear, 0);
    EXPECT_EQ(tree(), "[c]"); // the range held "ab" and "+"
    DoCommand(kCmdUndo, 0);
    EXPECT_EQ(tree(), typed);
    EXPECT_EQ(Dump(expression(), true), typedStyled);
    ASSERT_EQ(selection().size(), 1u);
    EXPECT_EQ(selection()[0].node, expression()); // the new tree's row, not the destroyed one
    EXPECT_EQ(selection()[0].start, rangeSelected[0].start);
    EXPECT_EQ(selection()[0].end, rangeSelected[0].end);
    EXPECT_EQ(s_recorded.refreshes, 1);
    // One level only: a second undo has nothing to restore and beeps.
    const int32_t beeps = CommandBeepCount();
    DoCommand(kCmdUndo, 0);
    EXPECT_EQ(CommandBeepCount(), beeps + 1);
    EXPECT_EQ(tree(), typed);
}

TEST_F(DispatcherTest, RunsOfTypingShareOneUndoStep) {
    type("a");
    DoCommand(kCmdMoveLeft, 0); // a plain command: snapshot "[a]"
    type("xy");                 // typing: one new step
    EXPECT_EQ(tree(), "[xya]");
    DoCommand(kCmdUndo, 0);
    EXPECT_EQ(tree(), "[a]");
    ASSERT_EQ(selection().size(), 1u);
    EXPECT_EQ(selection()[0].start, 0);
}

TEST_F(DispatcherTest, BackspaceIsItsOwnUndoStepAfterTyping) {
    type("abc");
    DoCommand(kCmdBackspace, 1);
    DoCommand(kCmdBackspace, 1);
    EXPECT_EQ(tree(), "[a]");
    DoCommand(kCmdUndo, 0);
    EXPECT_EQ(tree(), "[abc]");
}

TEST_F(DispatcherTest, UndoBelongsToItsRecord) {
    type("ab");
    SelectionRecord other;
    CreateSelectionRecord(other, NewEmptySimpString(), 0, 0, 0, 0);
    ActiveRecord = &other;
    ActiveList = other.m_entries;
    EXPECT_FALSE(CanUndo());
    DoCommand(kCmdUndo, 0);
    EXPECT_EQ(Dump(other.m_root->getChild(0)), "[]");
    ActiveRecord = &m_record;
    ActiveList = m_record.m_entries;
    ForgetUndo(&m_record);
    EXPECT_FALSE(CanUndo());
    DestroySelectionRecord(other);
}

TEST_F(DispatcherTest, RefusedCodesBeepAndChangeNothing) {
    type("ab");
    const std::string typed = tree();
    const std::vector<SelectionEntry> before = selection();
    const int32_t codes[] = {
        0x4003, // no fraction style 3
        0x41BB, // no delimiter type 11
        0x5201, // a matrix without rows
        0x5001, // a macro that is not defined
        0x50FF, // not a macro code
        0x5300, // no special symbol 0
        0x530A, // nor 10
        0x6800, // sub-palettes act only in palette cells
        0x6900, // unassigned
        0x7FFF, // unassigned
        0x6041, // beyond the reset style
    };
    for (int32_t code : codes) {
        SCOPED_TRACE(code);
        const int32_t beeps = CommandBeepCount();
        DoCommand(code, 0);
        EXPECT_EQ(CommandBeepCount(), beeps + 1);
        EXPECT_EQ(tree(), typed);
        EXPECT_EQ(selection(), before);
    }
}

TEST_F(DispatcherTest, CodeZeroDoesNothingAtAll) {
    type("a");
    DoCommand(kCmdMoveLeft, 0);
    DoCommand(kCmdUndo, 0); // frees the snapshot
    ASSERT_FALSE(CanUndo());
    const int32_t beeps = CommandBeepCount();
    const int redraws = s_recorded.redraws;
    DoCommand(0, 1);
    DoCommand(kCmdWidenBit, 1);
    EXPECT_FALSE(CanUndo()) << "no edit step was opened";
    EXPECT_EQ(CommandBeepCount(), beeps);
    EXPECT_EQ(s_recorded.redraws, redraws);
}

TEST_F(DispatcherTest, CommandsAnswerTheModelEvenWithoutInstalledHooks) {
    ResetModelHooks();
    InstallSelectionHooks();
    type("q");
    EXPECT_EQ(tree(), "[q]");
}

TEST_F(DispatcherTest, NoActiveRecordNoCommand) {
    ActiveRecord = nullptr;
    DoCommand(MakeCharCode(-1, 'a'), 1);
    ActiveRecord = &m_record;
    EXPECT_EQ(tree(), "[]");
}

TEST_F(DispatcherTest, WidenBitAppliesTheCodeToTheItemBeforeTheCaret) {
    type("ab");
    DoCommand(kCmdWidenBit | MakeCharCode(-1, 'c'), 1);
    EXPECT_EQ(tree(), "[ac]");
    // At the start of a word there is nothing before the caret inside it: the caret stays a caret.
    select({{item(0), 0, 0, 0, 0}});
    DoCommand(kCmdWidenBit | MakeCharCode(-1, 'z'), 1);
    EXPECT_EQ(tree(), "[zac]");
    // In a row the item before the caret is taken: the space is replaced.
    select({{expression(), 1, 1, 0, 0}});
    DoCommand(0x5301, 0);
    ASSERT_EQ(tree(), "[zac|<s>]");
    select({{expression(), 2, 2, 0, 0}});
    DoCommand(kCmdWidenBit | MakeCharCode(-1, '+'), 1);
    EXPECT_EQ(tree(), "[zac|+]");
}

TEST_F(DispatcherTest, EverySelectedEntryReceivesTheCodeInOneBatch) {
    type("a+b");
    ASSERT_EQ(tree(), "[a|+|b]");
    select({{item(0), 1, 1, 0, 0}, {item(2), 1, 1, 0, 0}});
    const int drawn = s_recorded.drawnAtOnce;
    type("x");
    EXPECT_EQ(tree(), "[ax|+|bx]");
    EXPECT_EQ(selection().size(), 2u);
    EXPECT_EQ(BatchMode, 0) << "the batch flag is restored";
    EXPECT_EQ(s_recorded.drawnAtOnce, drawn) << "nothing is drawn during a batch";
}

TEST_F(DispatcherTest, AnEmptySelectionActsAtACaretInsideTheExpression) {
    type("ab");
    ClearSelectionList(m_record);
    type("c");
    EXPECT_EQ(tree(), "[ab|c]");
}

TEST_F(DispatcherTest, StyleCommandsStyleRangesAndTheCaret) {
    type("ab");
    select({{expression(), 0, 1, 0, 0}});
    DoCommand(kCmdStyleBase + 5, 0); // "Vecteur": bold, upright
    FSSRecord style;
    static_cast<eChar*>(item(0))->storedStyle(style);
    EXPECT_EQ(style.style[kStyleBold], 1);
    EXPECT_EQ(style.italicMode(), kItalicOff);
    // At a caret the style becomes the typing style of the next character.
    select({{expression(), 1, 1, 0, 0}});
    DoCommand(kCmdStyleBase + 4, 0); // "Variable": italic
    type("c");
    ASSERT_EQ(tree(), "[ab|c]");
    static_cast<eChar*>(item(1))->storedStyle(style);
    EXPECT_EQ(style.italicMode(), kItalicOn);
    // The reset record replaces a leaf's style.
    select({{expression(), 0, 2, 0, 0}});
    DoCommand(kCmdResetStyle, 0);
    static_cast<eChar*>(item(0))->storedStyle(style);
    EXPECT_TRUE(SameFSS(style, ResetStyleRecord));
}

TEST_F(DispatcherTest, FontDialogChoiceIsAppliedAndRepeatedWithoutAsking) {
    static int asked;
    static bool answer;
    asked = 0;
    answer = false;
    TheCommandHooks().askFont = [](int32_t, int32_t title) {
        ++asked;
        EXPECT_EQ(title, kAskFontTitleString);
        SharedStyleRecord.style[kStyleUnderline] = 1;
        return answer;
    };
    type("a+b");
    select({{expression(), 0, 1, 0, 0}});
    const std::string before = Dump(expression(), true);
    const int32_t beeps = CommandBeepCount();
    DoCommand(kCmdAskFont, 0); // Cancel
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(Dump(expression(), true), before);
    EXPECT_EQ(CommandBeepCount(), beeps);
    answer = true;
    DoCommand(kCmdAskFont, 0);
    FSSRecord style;
    static_cast<eChar*>(item(0))->storedStyle(style);
    EXPECT_EQ(style.style[kStyleUnderline], 1);
    select({{expression(), 2, 3, 0, 0}});
    DoCommand(kCmdRepeatFont, 0);
    EXPECT_EQ(asked, 2) << "0x6401 applies the last choice without asking";
    static_cast<eChar*>(item(2))->storedStyle(style);
    EXPECT_EQ(style.style[kStyleUnderline], 1);
    static_cast<eChar*>(item(1))->storedStyle(style);
    EXPECT_NE(style.style[kStyleUnderline], 1);
}

TEST_F(DispatcherTest, SelectionStyleKeepsOnlyWhatTheLeavesShare) {
    DoCommand(MakeCharCode(5, 'a'), 1);  // bold, upright
    DoCommand(MakeCharCode(10, '+'), 1); // bold italic
    ASSERT_EQ(expression()->childCount(), 2) << tree();
    SelectionEntry range{expression(), 0, 2, 0, 0};
    FSSRecord common;
    GetSelectionFSS(range, common);
    EXPECT_EQ(common.style[kStyleBold], 1);
    EXPECT_EQ(common.italicMode(), kStyleInherit) << "upright and italic differ";
    // At a caret the record's typing style answers, not a neighbour's style.
    SelectionEntry caret{expression(), 1, 1, 0, 0};
    m_record.m_typingStyle.style[kStyleShadow] = 1;
    GetSelectionFSS(caret, common);
    EXPECT_EQ(common.style[kStyleShadow], 1);
    EXPECT_EQ(common.style[kStyleBold], kStyleInherit);
}

TEST_F(DispatcherTest, SlipperyStyleLastsOneCharacter) {
    select({{expression(), 0, 0, 0, 0}});
    DoCommand(kCmdStyleBase + 1, 0); // Greek: slippery
    type("ab");
    FSSRecord first, second;
    ASSERT_EQ(expression()->childCount(), 2) << tree();
    static_cast<eChar*>(item(0))->storedStyle(first);
    static_cast<eChar*>(item(1))->storedStyle(second);
    EXPECT_STREQ(first.fontName, "Symbol");
    EXPECT_STRNE(second.fontName, "Symbol");
    EXPECT_EQ(item(0)->m_colour, 0) << "a style command leaves the typing colour alone";
    EXPECT_EQ(m_record.m_typingColour, -1);
}

TEST_F(DispatcherTest, ColourCommandsColourRangesAndTyping) {
    type("ab");
    select({{expression(), 0, 1, 0, 0}});
    DoCommand(kCmdColourBase + 0xE0, 0);
    EXPECT_EQ(item(0)->m_colour, 0xE0);
    EXPECT_EQ(m_record.m_typingColour, 0xE0);
    select({{expression(), 1, 1, 0, 0}});
    type("c");
    ASSERT_EQ(tree(), "[ab|c]") << "a new colour starts a new word";
    EXPECT_EQ(item(1)->m_colour, 0xE0);
}

TEST_F(DispatcherTest, NudgesMoveCoveredNodesByStepsAndClamp) {
    type("a+b");
    for (int32_t i = 0; i < 3; ++i)
        item(i)->m_size = 16; // one step = 64 x line unit / size = 4 offset units
    select({{expression(), 0, 2, 0, 0}});
    DoCommand(kCmdNudgeRight, 0);
    DoCommand(kCmdNudgeRight, 0);
    DoCommand(kCmdNudgeUp, 0);
    EXPECT_EQ(item(0)->m_nudgeX, 8);
    EXPECT_EQ(item(1)->m_nudgeX, 8);
    EXPECT_EQ(item(1)->m_nudgeY, -4);
    EXPECT_EQ(item(2)->m_nudgeX, 0) << "outside the range";
    for (int i = 0; i < 40; ++i)
        DoCommand(kCmdNudgeLeft, 0);
    EXPECT_EQ(item(0)->m_nudgeX, -128);
    // Ctrl turns the arrows into nudges.
    CtrlHeld = 1;
    DoCommand(kCmdMoveDown, 1);
    CtrlHeld = 0;
    EXPECT_EQ(item(0)->m_nudgeY, 0);
    DoCommand(kCmdUnnudge, 0);
    EXPECT_EQ(item(0)->m_nudgeX, 0);
    EXPECT_EQ(item(1)->m_nudgeY, 0);
    EXPECT_EQ(selection().size(), 1u) << "the range stays selected";
}

TEST_F(DispatcherTest, HomeAndEndPutTheCaretAtTheEndsOfTheRow) {
    type("a+b");
    DoCommand(LookupKeyCommand(0x180 + 0x24), 1);
    ASSERT_EQ(selection().size(), 1u);
    EXPECT_EQ(selection()[0], (SelectionEntry{expression(), 0, 0, 0, 0}));
    DoCommand(LookupKeyCommand(0x180 + 0x23), 1);
    EXPECT_EQ(selection()[0], (SelectionEntry{expression(), 3, 3, 0, 0}));
}

TEST_F(DispatcherTest, RulerModeTabInsertsATabCharacter) {
    type("a");
    m_record.m_options[2] = 1;
    DoCommand(kCmdSelectNextSlot, 1);
    EXPECT_EQ(tree(), "[a|<T>]");
}

TEST_F(DispatcherTest, ViewToggleFlipsTheRecordsOption) {
    DoCommand(kCmdToggleRuler, 0);
    EXPECT_EQ(m_record.m_options[2], 1);
    EXPECT_EQ(ViewModes[2], 1);
    DoCommand(kCmdToggleRuler, 0);
    EXPECT_EQ(m_record.m_options[2], 0);
    EXPECT_EQ(s_recorded.refreshes, 2);
}

TEST_F(DispatcherTest, CutWithoutTheClipboardServiceDeletesNothing) {
    type("ab+c");
    select({{expression(), 1, 3, 0, 0}});
    const int32_t beeps = CommandBeepCount();
    DoCommand(kCmdCut, 0);
    EXPECT_EQ(s_recorded.copies, 0);
    EXPECT_EQ(beeps + 1, CommandBeepCount());
    EXPECT_EQ(tree(), "[ab|+|c]");
}

TEST_F(DispatcherTest, SymbolsAndMacrosAreInserted) {
    type("a");
    DoCommand(0x5302, 0); // thin space
    EXPECT_EQ(tree(), "[a|<t>]");
    FSSRecord style;
    InitFSSRecord(style);
    MacroList.push_back({0x5001, NewSimpStringWith(NewWord("yz", 0, style, 0))});
    DoCommand(0x5001, 0);
    EXPECT_EQ(tree(), "[a|<t>|yz]");
    EXPECT_EQ(selection()[0], (SelectionEntry{expression(), 3, 3, 0, 0}));
    EXPECT_EQ(Dump(MacroList[0].expression.get()), "[yz]") << "the macro is copied";
}

TEST_F(DispatcherTest, InsertionMovesTheSelectionIntoThePlaceholder) {
    type("ab");
    select({{item(0), 0, 2, 0, 0}});
    CurrentCommandCode = 0x5301;
    SaveSelectionList();
    EntryBeingActedUpon = &SavedList[0];
    InsertExprAtSelection(NewPlaceholder(0, false), true);
    FreeSelectionList(SavedList);
    EntryBeingActedUpon = nullptr;
    EXPECT_EQ(tree(), "[ab]") << "the old content went into the placeholder";
    // Without a range the placeholder stays and is selected whole.
    select({{expression(), 1, 1, 0, 0}});
    SaveSelectionList();
    EntryBeingActedUpon = &SavedList[0];
    InsertExprAtSelection(NewPlaceholder(0, false), true);
    FreeSelectionList(SavedList);
    EntryBeingActedUpon = nullptr;
    EXPECT_EQ(tree(), "[ab|?]");
    ASSERT_EQ(selection().size(), 1u);
    EXPECT_EQ(selection()[0], (SelectionEntry{item(1), 0, 1, 0, 0}));
}

// Parentheses over a block of grid cells go into every cell as copies; the selection lands on a
// placeholder of one of the copies, never on the destroyed original.
TEST_F(DispatcherTest, InsertionIntoGridCellsSelectsAPlaceholderInTheGrid) {
    DoCommand(0x5233, 0);
    eExpr* grid = nullptr;
    for (int32_t i = 0; i < expression()->childCount(); ++i)
        if (item(i)->isMatrix())
            grid = item(i);
    ASSERT_NE(grid, nullptr) << tree();
    select({{grid, 0, 2, 0, 2}});
    DoCommand(0x4111, 1);
    ASSERT_EQ(selection().size(), 1u);
    // Found by descending from the grid: a destroyed node is never read.
    const std::function<bool(const eExpr*)> holds = [&](const eExpr* at) {
        if (at == selection()[0].node)
            return true;
        for (int32_t i = 0; i < at->childCount(); ++i)
            if (at->getChild(i) != nullptr && holds(at->getChild(i)))
                return true;
        return false;
    };
    ASSERT_TRUE(holds(grid)) << tree();
    const auto* word = dynamic_cast<const eWord*>(selection()[0].node);
    ASSERT_NE(word, nullptr);
    EXPECT_EQ(word->view(), "?");
}

TEST_F(DispatcherTest, FinishEditAtDrawsOnlyWhenNoFullRedrawIsDue) {
    type("a");
    const int drawn = s_recorded.drawnAtOnce;
    FinishEditAt(item(0));
    EXPECT_EQ(s_recorded.drawnAtOnce, drawn + 1);
    FullRedrawFlag = 1;
    FinishEditAt(item(0));
    FullRedrawFlag = 0;
    BatchMode = 1;
    FinishEditAt(item(0));
    BatchMode = 0;
    FinishEditAt(expression()); // a row is laid out with the next redraw
    EXPECT_EQ(s_recorded.drawnAtOnce, drawn + 1);
    EXPECT_FALSE(expression()->isLaidOut());
}

TEST_F(DispatcherTest, FourEntriesForceAFullRedraw) {
    type("a+b-c");
    select({{item(0), 1, 1, 0, 0},
            {item(2), 1, 1, 0, 0},
            {item(4), 1, 1, 0, 0},
            {item(1), 0, 0, 0, 0}});
    BeginEditStep(0);
    EXPECT_EQ(FullRedrawFlag, 1);
    select({{item(0), 1, 1, 0, 0}});
    BeginEditStep(0);
    EXPECT_EQ(FullRedrawFlag, 0);
}

} // namespace
} // namespace kvtest
