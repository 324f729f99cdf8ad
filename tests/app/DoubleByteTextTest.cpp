// Long double-byte text in the running program on the headless back end: pasted, opened from a
// text file or read from a document, saved and opened again, it keeps every character.

#include "../../src/Platform/backend/Backend.h"
#include "App/CQVAppStartup.h"
#include "App/MenuDispatch.h"
#include "OverPc/PFILE.h"
#include "OverPc/documents/ClipboardCommands.h"
#include "OverPc/documents/Translations.h"
#include "OverSrcs/eAsian.h"
#include "OverSrcs/oStreams.h"
#include "app/AppDocumentFixture.h"
#include "plat/Font.h"
#include "plat/Testing.h"
#include "platform/SysTempDir.h"
#include "support/CodePageScope.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

namespace pt = plat::testing;
class DoubleByteTextTest : public AppDocumentFixture {
protected:
    void SetUp() override {
        AppDocumentFixture::SetUp();
        // The user's preferences folder gets the shipped text translator, as the first run
        // copies it.
        std::filesystem::create_directories(PrefsFolderPath());
        for (const char* name : {"Text.CAT", "MathML.cat", "TeX.cat"})
            std::filesystem::copy_file(
                std::filesystem::path(KV_BINARY_DIR) / "src" / "Korvaline_Prefs" / name,
                PrefsFolderPath() + name, std::filesystem::copy_options::overwrite_existing);
        ForgetLoadedTranslators();
    }
    void TearDown() override {
        ForgetLoadedTranslators();
        AppDocumentFixture::TearDown();
    }
};

constexpr int kOpen = 258;
constexpr int kSaveAs = 264;
constexpr int kCopy = 516;
constexpr int kPaste = 517;
constexpr int kCopyAsTeXItem = 1035;

// n Japanese characters as UTF-8, cycling through characters whose trail bytes differ (表 and ソ
// end in the byte of '\', ア in one below 0x80), so that a shifted or lost byte shows.
std::string japanese(size_t n) {
    static const char* const kChars[] = {"日", "本", "語", "表", "ソ", "ア", "数", "式", "ぁ"};
    std::string out;
    for (size_t i = 0; i < n; ++i)
        out += kChars[i % std::size(kChars)];
    return out;
}

// The text of a document's leaves, in order, as UTF-8; every double-byte word is checked to hold
// whole characters within the length a word holds.
void collectText(const eExpr* node, std::string& bytes) {
    if (const auto* word = dynamic_cast<const eWord*>(node)) {
        if (word->isDoubleByte()) {
            EXPECT_EQ(word->length() % 2, 0) << "half a character";
            EXPECT_LE(word->length(), kMaxAsianBytes);
        }
        bytes += word->view();
        return;
    }
    for (int32_t i = 0; i < node->childCount(); ++i)
        collectText(node->getChild(i), bytes);
}
// Where the document's text first differs from the UTF-8 text ("" when it is the same).
std::string differenceFrom(const ExprFilePane* pane, const std::string& utf8) {
    std::string bytes;
    collectText(pane->expression(), bytes);
    const std::string text = plat::Utf8FromAnsiText(bytes);
    if (text == utf8)
        return "";
    size_t at = 0;
    while (at < text.size() && at < utf8.size() && text[at] == utf8[at])
        ++at;
    return "the document's " + std::to_string(text.size()) + " bytes differ at " +
           std::to_string(at) + " of " + std::to_string(utf8.size()) + ": " + text.substr(at, 12);
}

// A document whose one double-byte record holds every character of the text, as a writer that
// does not split long text would write it: a saved one-character document with its record
// replaced.
std::string documentWithOneRecord(const std::string& one, const std::string& utf8) {
    std::vector<unsigned> codes;
    EXPECT_TRUE(plat::AnsiCodesFromUtf8(utf8, codes));
    auto record = [](const std::vector<unsigned>& of) {
        std::string out = "~";
        char compact[8] = {};
        out.append(compact, static_cast<size_t>(
                                EncodeCompactNumber(static_cast<int32_t>(of.size()), compact)));
        for (unsigned code : of) {
            // The machine reads the two bytes lead byte low.
            const auto swapped = static_cast<int32_t>(((code & 0xFF) << 8) | (code >> 8));
            out.append(compact, static_cast<size_t>(EncodeCompactNumber(swapped, compact)));
        }
        return out + "L}";
    };
    std::string document = ReadFileBytes(one);
    std::vector<unsigned> first;
    EXPECT_TRUE(plat::AnsiCodesFromUtf8(japanese(1), first));
    const std::string small = record(first);
    const size_t at = document.find(small);
    EXPECT_NE(at, std::string::npos) << document;
    if (at != std::string::npos)
        document.replace(at, small.size(), record(codes));
    return document;
}

TEST_F(DoubleByteTextTest, LongTextKeepsEveryCharacterPastedOpenedReadSavedAndReopened) {
    CodePageScope restore;
    ASSERT_TRUE(plat::SetActiveCodePage(932));
    // A saved one-character document, the model for documents with one long record.
    typed("");
    const std::string first = japanese(1);
    plat::backend().setForeignClipboard(
        {plat::ClipboardItem{"UTF8_STRING", std::vector<uint8_t>(first.begin(), first.end())}});
    ASSERT_EQ(DoMenuCommand(kPaste), 1);
    pt::runUntilIdle();
    const std::string one = m_dir / "one.pvx";
    pt::answerFileDialog(one);
    ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
    CloseAllDocuments();
    takeBackQuit();

    enum class Way { paste, textFile, document };
    for (const size_t n : {126u, 127u, 128u, 200u, 1000u}) {
        for (const Way way : {Way::paste, Way::textFile, Way::document}) {
            const std::string utf8 = japanese(n);
            const std::string name =
                std::to_string(n) + "-" + std::to_string(static_cast<int>(way));
            SCOPED_TRACE(name);
            if (way == Way::paste) {
                typed("");
                plat::backend().setForeignClipboard({plat::ClipboardItem{
                    "UTF8_STRING", std::vector<uint8_t>(utf8.begin(), utf8.end())}});
                ASSERT_EQ(DoMenuCommand(kPaste), 1);
            } else {
                // A text file holds the code page's bytes.
                const std::string path = m_dir / (name + (way == Way::textFile ? ".txt" : ".pvx"));
                WriteFileBytes(path, way == Way::textFile ? plat::AnsiTextFromUtf8(utf8)
                                                          : documentWithOneRecord(one, utf8));
                pt::answerFileDialog(path);
                ASSERT_EQ(DoMenuCommand(kOpen), 1);
            }
            pt::runUntilIdle();
            ASSERT_EQ(OpenDocumentCount(), 1);
            EXPECT_EQ(differenceFrom(OpenDocumentList, utf8), "");

            const std::string saved = m_dir / (name + "-saved.pvx");
            pt::answerFileDialog(saved);
            ASSERT_EQ(DoMenuCommand(kSaveAs), 1);
            CloseAllDocuments();
            takeBackQuit();
            pt::answerFileDialog(saved);
            ASSERT_EQ(DoMenuCommand(kOpen), 1);
            pt::runUntilIdle();
            EXPECT_TRUE(pt::messageBoxes().empty()) << pt::messageBoxes().front().text;
            ASSERT_EQ(OpenDocumentCount(), 1);
            EXPECT_EQ(differenceFrom(OpenDocumentList, utf8), "");
            CloseAllDocuments();
            takeBackQuit();
        }
    }
}

// Text of the code page pasted from another program and copied out again: the document holds the
// page's characters, single-byte ones included (half-width katakana under 932 are single bytes
// that Windows-1252 reads as other characters), and the text on the clipboard is the same text.
// MathML and TeX carry the same characters: Copy As TeX puts them on the clipboard as UTF-8.
TEST_F(DoubleByteTextTest, CodePageTextPastesInAndCopiesOutUnchanged) {
    CodePageScope restore;
    const struct {
        plat::UINT codePage;
        const char* typed; // before the paste
        const char* text;
        const char* copied; // the clipboard's text line
        const char* mathml; // in the MathML copy
        const char* tex;    // Copy As TeX on the clipboard, up to the expression's own comment
    } cases[] = {
        {932, "", "xｱｲy", "xｱｲy", "<mi>x</mi><mtext>ｱ</mtext><mtext>ｲ</mtext><mi>y</mi>",
         "${x\\text{ｱ}\\text{ｲ}y}"},
        {932, "", "ｶﾞ日本ﾟ表ｿ", "ｶﾞ日本ﾟ表ｿ",
         "<mtext>ﾞ</mtext><mtext>日本</mtext><mtext>ﾟ</mtext>",
         "${\\text{ｶ}\\text{ﾞ}\\text{日本}\\text{ﾟ}\\text{表}\\text{ｿ}}"},
        {932, "x=1", "日本語のテキスト", "x = 1日本語のテキスト", "<mtext>日本語のテキスト</mtext>",
         "${x=1\\text{日本語のテキスト}}"},
        {936, "", "中文x", "中文x", "<mtext>中文</mtext>", "${\\text{中文}x}"},
        {936, "x=1", "日本語のテキスト", "x = 1日本語のテキスト", "<mtext>日本語のテキスト</mtext>",
         "${x=1\\text{日本語のテキスト}}"},
        {949, "", "한국어ab", "한국어ab", "<mtext>한국어</mtext>", "${\\text{한국어}ab}"},
        {949, "x=1", "日本語のテキスト", "x = 1日本語のテキスト", "<mtext>日本語のテキスト</mtext>",
         "${x=1\\text{日本語のテキスト}}"},
        {950, "", "繁體=1", "繁體=1", "<mtext>繁體</mtext>", "${\\text{繁體}=1}"},
        {950, "x=1", "日本語的文字", "x = 1日本語的文字", "<mtext>日本語的文字</mtext>",
         "${x=1\\text{日本語的文字}}"},
        // Under Windows-1252 the text translator writes ASCII, and MathML names the characters.
        {1252, "", "x±²y", "x+-^2y", "<mo>&#xB1;</mo><mn>&#xB2;</mn>", "${x\\pm{}{}^2y}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(plat::SetActiveCodePage(c.codePage));
        const std::string text = c.text;
        ExprFilePane* pane = typed(c.typed);
        plat::backend().setForeignClipboard(
            {plat::ClipboardItem{"UTF8_STRING", std::vector<uint8_t>(text.begin(), text.end())}});
        ASSERT_EQ(DoMenuCommand(kPaste), 1);
        pt::runUntilIdle();
        EXPECT_EQ(differenceFrom(pane, std::string(c.typed) + text), "");
        DoCommand(kCmdSelectAll, 0);
        ASSERT_EQ(DoMenuCommand(kCopy), 1);
        std::vector<uint8_t> offered;
        ASSERT_TRUE(plat::backend().clipboardRead("UTF8_STRING", offered));
        const std::string copied(offered.begin(), offered.end());
        EXPECT_EQ(copied.substr(0, copied.find('\n')), c.copied);
        // MathML names the same characters.
        const std::string mathml =
            plat::Utf8FromAnsiText(CopyFormatText(kCopyAsMathML, pane->expression()));
        EXPECT_NE(mathml.find(c.mathml), std::string::npos) << mathml;
        // So does TeX, from the menu to the clipboard's bytes.
        DoCommand(kCmdSelectAll, 0);
        ASSERT_EQ(DoMenuCommand(kCopyAsTeXItem), 1);
        offered.clear();
        ASSERT_TRUE(plat::backend().clipboardRead("UTF8_STRING", offered));
        const std::string tex(offered.begin(), offered.end());
        EXPECT_EQ(tex.substr(0, tex.find("$%")), c.tex);
        CloseAllDocuments();
        takeBackQuit();
    }
}

// The code page setting in each form the settings file writes a number, per user and for every
// user; a value that is no number or names no code page the program knows is named on stderr and
// the next place is asked (the locale's page comes last).
TEST_F(DoubleByteTextTest, TheCodePageSettingIsReadInEveryFormOfANumberOrNamedOnStderr) {
    CodePageScope restore;
    ScopedEnv locale{"LC_ALL", "ko_KR.UTF-8"}; // the locale's page: 949
    const struct {
        const char* user;    // the value as written in the file; null: none
        const char* machine; // for every user; null: none
        plat::UINT codePage;
        const char* says; // on stderr after "the CodePage setting"; "" nothing
    } cases[] = {
        {"dword:000003a4", nullptr, 932, ""},
        {"\"932\"", nullptr, 932, ""},
        {"\" 950\t\"", nullptr, 950, ""},
        {"\"0x3A8\"", nullptr, 936, ""},
        {"hex:a4,03,00,00", nullptr, 932, ""},
        {"hex:e4,04", nullptr, 1252, ""},
        {nullptr, "\"936\"", 936, ""},
        {"\"Shift_JIS\"", nullptr, 949, " \"Shift_JIS\" is not a number"},
        {"\"\"", nullptr, 949, " \"\" is not a number"},
        {"\"4294967296\"", nullptr, 949, " \"4294967296\" is not a number"},
        {"hex:a4,03,00,00,00", nullptr, 949, " hex:a4,03,00,00,00 is not a number"},
        {"hex:", nullptr, 949, " hex: is not a number"},
        {"dword:00000001", nullptr, 949, " 1 is not one of"},
        {"\"437\"", "hex:a8,03", 936, " 437 is not one of"},
        {"\"932\"", "\"cp936\"", 932, ""},
        {nullptr, "\"cp936\"", 949, " (for every user) \"cp936\" is not a number"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.user ? c.user : "-") + " / " + (c.machine ? c.machine : "-"));
        shutDown();
        std::string file;
        if (c.user != nullptr)
            file +=
                "[HKEY_CURRENT_USER\\Software\\Brindlewick]\n\"CodePage\"=" + std::string(c.user) +
                "\n";
        if (c.machine != nullptr)
            file += "[HKEY_LOCAL_MACHINE\\Software\\Brindlewick]\n\"CodePage\"=" +
                    std::string(c.machine) + "\n";
        WriteFileBytes(m_dir / "config/registry.ini", file);
        ::testing::internal::CaptureStderr();
        ASSERT_TRUE(CQVAppStartup({"-nosplash"}).runLoop);
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(plat::GetACP(), c.codePage);
        if (*c.says == 0)
            EXPECT_EQ(said.find("CodePage"), std::string::npos) << said;
        else
            EXPECT_NE(said.find(std::string("the CodePage setting") + c.says), std::string::npos)
                << said;
    }
}

} // namespace
} // namespace kvtest
