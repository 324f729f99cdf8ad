// Long double-byte text in the running program on the headless back end: pasted, opened from a
// text file or read from a document, saved and opened again, it keeps every character.

#include "../../src/Platform/backend/Backend.h"
#include "App/MenuDispatch.h"
#include "OverSrcs/eAsian.h"
#include "OverSrcs/oStreams.h"
#include "app/AppDocumentFixture.h"
#include "plat/Font.h"
#include "plat/Testing.h"
#include "platform/SysTempDir.h"
#include "support/CodePageScope.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kvtest {
namespace {

namespace pt = plat::testing;
using DoubleByteTextTest = AppDocumentFixture;

constexpr int kOpen = 258;
constexpr int kSaveAs = 264;
constexpr int kPaste = 517;

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

} // namespace
} // namespace kvtest
