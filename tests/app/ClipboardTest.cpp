// Copy, Cut and Paste in the running program on the headless back end: what the clipboard offers
// other programs, pasting back editable from every format, and damaged data changing nothing.

#include "plat/Clipboard.h"

#include "../../src/Platform/backend/Backend.h"
#include "App/MenuDispatch.h"
#include "OverPc/PERROR.h"
#include "OverPc/PEXPRPICT.h"
#include "OverPc/PPICTEXT.h"
#include "OverPc/PUTIL.h"
#include "OverPc/documents/ClipboardCommands.h"
#include "OverPc/documents/DibCarrier.h"
#include "OverPc/documents/Exports.h"
#include "OverPc/oPixMap.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/eUFO.h"
#include "OverSrcs/etEncode.h"
#include "OverSrcs/etGener.h"
#include "OverSrcs/oPNG.h"
#include "OverSrcs/oStreams.h"
#include "app/AppDocumentFixture.h"
#include "bench/BenchTrees.h"
#include "plat/Font.h"
#include "plat/Gdi.h"
#include "plat/Metafile.h"
#include "plat/System.h"
#include "plat/Testing.h"
#include "plat/TestingSys.h"
#include "support/CodePageScope.h"

#include <algorithm>
#include <array>
#include <csignal>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace kvtest {
namespace {

using ClipboardTest = AppDocumentFixture;

std::vector<std::string> offeredTypes() {
    return plat::backend().clipboardTypes();
}

std::vector<uint8_t> offered(const std::string& type) {
    std::vector<uint8_t> bytes;
    plat::backend().clipboardRead(type, bytes);
    return bytes;
}

std::vector<uint8_t> bytesOf(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

std::string repeated(const std::string& piece, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

TEST_F(ClipboardTest, CopyOffersEveryFormatAndCutPasteGivesBackTheSameTree) {
    ExprFilePane* pane = typed("x+1");
    const std::string before = ExprEncodingText(pane->expression());
    DoCommand(kCmdSelectAll, 0);
    ASSERT_EQ(1, DoMenuCommand(516)); // Édition > Copier
    const std::vector<std::string> types = offeredTypes();
    for (const char* t : {"application/x-kv-Korvaline-Expression", "UTF8_STRING", "image/png",
                          "image/emf", "image/wmf"})
        EXPECT_NE(std::find(types.begin(), types.end(), t), types.end()) << t;
    const std::vector<uint8_t> png = offered("image/png");
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(0, std::memcmp(png.data(), "\x89PNG", 4));
    const std::vector<uint8_t> own = offered("application/x-kv-Korvaline-Expression");
    EXPECT_EQ(before + '\0', std::string(own.begin(), own.end()));

    // Cut empties the document; Paste puts the same tree back.
    DoCommand(kCmdSelectAll, 0);
    DoCommand(kCmdCut, 0);
    EXPECT_NE(before, ExprEncodingText(pane->expression()));
    DoCommand(kCmdPaste, 0);
    EXPECT_EQ(before, ExprEncodingText(pane->expression()));
}

// A termination signal stops a long paste at once, so that the loop can end the program in order
// within the signal's grace: the document is left as it was. Once the signal is served the same
// paste works.
int s_servedSignal = 0;

TEST_F(ClipboardTest, ATerminationSignalStopsALongPasteAndChangesNothing) {
    const std::string own = "application/x-kv-Korvaline-Expression";
    ExprFilePane* source = typed(repeated("ab+", 400));
    const std::string pasted = ExprEncodingText(source->expression());
    ExprFilePane* pane = typed("q");
    const std::string before = ExprEncodingText(pane->expression());
    plat::backend().setForeignClipboard({plat::ClipboardItem{own, bytesOf(pasted)}});

    s_servedSignal = 0;
    plat::SetTerminationSignalHandler([](int signal) { s_servedSignal = signal; });
    std::raise(SIGTERM);
    // The test serves the signal itself, however slow the machine: no grace timer.
    plat::testing::stopTerminationGrace();
    // As the program runs a key's command: a stopped command is reported, as one the user stops
    // (in the program the alert's own loop serves the signal and ends it).
    std::int16_t stopped = 0;
    plat::testing::onMessageBox([](const plat::testing::MessageBoxCall&) { return 1; });
    RunUserAction([] { DoCommand(kCmdPaste, 0); }, [&](std::int16_t code) { stopped = code; });
    EXPECT_EQ(stopped, errUserInterrupt);
    plat::testing::runUntilIdle();
    EXPECT_EQ(s_servedSignal, SIGTERM);
    plat::SetTerminationSignalHandler(nullptr);
    EXPECT_EQ(before, ExprEncodingText(pane->expression()));

    DoCommand(kCmdSelectAll, 0);
    DoCommand(kCmdPaste, 0);
    EXPECT_EQ(pasted, ExprEncodingText(pane->expression()));
}

TEST_F(ClipboardTest, EachFormatAloneFromAnotherProgramPastesBackEditable) {
    ExprFilePane* source = typed("a/b");
    DoCommand(kCmdSelectAll, 0);
    ASSERT_TRUE(CopyAs(true, true, kCopyAsMetafile));
    const std::string expected = ExprEncodingText(source->expression());
    const std::vector<std::string> types = offeredTypes();
    std::vector<std::pair<std::string, std::vector<uint8_t>>> all;
    for (const std::string& t : types)
        all.emplace_back(t, offered(t));
    ASSERT_TRUE(CopyAs(true, true, kCopyAsBitmap));
    all.emplace_back("image/bmp", offered("image/bmp"));

    for (const auto& [type, bytes] : all) {
        if (type == "text/plain;charset=utf-8")
            continue;
        SCOPED_TRACE(type);
        ExprFilePane* pane = typed("");
        plat::backend().setForeignClipboard({plat::ClipboardItem{type, bytes}});
        const int32_t beeps = CommandBeepCount();
        DoCommand(kCmdPaste, 0);
        EXPECT_EQ(beeps, CommandBeepCount());
        EXPECT_EQ(expected, ExprEncodingText(pane->expression()));
    }
}

// Under a double-byte code page, pasted text keeps its characters of two bytes together as
// double-byte words between the single-byte ones; one the page cannot hold becomes "?".
TEST_F(ClipboardTest, PastedTextOfTwoByteCharactersBecomesDoubleByteWords) {
    CodePageScope restore;
    const struct {
        plat::UINT codePage;
        const char* text;
        std::vector<const char*> words; // the double-byte words, in order
    } cases[] = {
        {932, "a日本b", {"日本"}},
        {949, "x한국어=", {"한국어"}},
        {936, "中ｱ文", {"中", "文"}},
        {950, "繁體", {"繁體"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(plat::SetActiveCodePage(c.codePage));
        ExprFilePane* pane = typed("");
        plat::backend().setForeignClipboard({plat::ClipboardItem{"UTF8_STRING", bytesOf(c.text)}});
        DoCommand(kCmdPaste, 0);
        const std::string pasted = ExprEncodingText(pane->expression());
        // Each word's record: "~", its count of characters, each character's code as the machine
        // reads its two bytes (lead byte low), then the style.
        size_t from = 0;
        for (const char* word : c.words) {
            std::vector<unsigned> codes;
            ASSERT_TRUE(plat::AnsiCodesFromUtf8(word, codes));
            std::string record = "~" + std::string(1, static_cast<char>(0x20 + codes.size()));
            for (unsigned code : codes) {
                char compact[8] = {};
                const int32_t swapped = static_cast<int32_t>(((code & 0xFF) << 8) | (code >> 8));
                record.append(compact, static_cast<size_t>(EncodeCompactNumber(swapped, compact)));
            }
            record += "L}";
            from = pasted.find(record, from);
            ASSERT_NE(from, std::string::npos) << word << " in " << pasted;
        }
        EXPECT_EQ(std::count(pasted.begin(), pasted.end(), '~'),
                  static_cast<std::ptrdiff_t>(c.words.size()))
            << pasted;
    }
}

TEST_F(ClipboardTest, PlainTextIsTypedInAndDamagedDataChangesNothingAndBeeps) {
    ExprFilePane* pane = typed("");
    plat::backend().setForeignClipboard({plat::ClipboardItem{"UTF8_STRING", bytesOf("y=2")}});
    DoCommand(kCmdPaste, 0);
    // The characters of the text, in order.
    const std::string pasted = ExprEncodingText(pane->expression());
    const size_t y = pasted.find("*y");
    EXPECT_TRUE(y != std::string::npos && pasted.find('2', y) != std::string::npos) << pasted;

    const std::string encoding = ExprEncodingText(pane->expression());
    const std::string damaged = encoding.substr(0, encoding.size() / 2);
    const std::vector<plat::ClipboardItem> cases = {
        {"application/x-kv-Korvaline-Expression", bytesOf(damaged)},
        {"application/x-kv-Korvaline-Expression", {}},
        {"image/png", bytesOf("\x89PNG\r\n\x1a\n" + damaged)},
        {"image/emf", bytesOf(std::string(100, '\x01'))},
        {"image/bmp", bytesOf("BM" + std::string(60, '\xff'))},
        {"image/wmf", bytesOf(std::string(30, '\x02'))},
        {"application/postscript", bytesOf("%!PS-Adobe-3.0 EPSF-3.0\n%%Ex" + damaged)},
        {"text/rtf", bytesOf("{\\rtf1 {\\*\\kvexpr " + damaged + "}}")},
        {"application/x-kv-Other", bytesOf("x")},
    };
    for (const plat::ClipboardItem& item : cases) {
        SCOPED_TRACE(item.type);
        plat::backend().setForeignClipboard({item});
        const int32_t beeps = CommandBeepCount();
        DoCommand(kCmdPaste, 0);
        EXPECT_EQ(beeps + 1, CommandBeepCount());
        EXPECT_EQ(encoding, ExprEncodingText(pane->expression()));
    }
}

TEST_F(ClipboardTest, APictureWithoutAnExpressionPastesAsAPictureNode) {
    // A metafile another program drew: a filled block, no expression in it.
    std::unique_ptr<oPictPort> port(NewPictPort(Zone{0, 0, 30, 18, 0, 0}, 0, 0, 3, 0));
    port->paintZone(Zone{2, 3, 14, 12, 0, 0}, kColorRed);
    std::unique_ptr<WinUfo> drawn(port->makePicture());
    auto* emf = reinterpret_cast<plat::HENHMETAFILE>(drawn->enhMetafile());
    std::vector<uint8_t> wmf(plat::GetWinMetaFileBits(emf, 0, nullptr, 8, nullptr));
    plat::GetWinMetaFileBits(emf, static_cast<plat::UINT>(wmf.size()), wmf.data(), 8, nullptr);
    // A 2 x 2 bitmap file, 24 bits, rows padded to 8 bytes.
    std::vector<uint8_t> bmp = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  40,
                                0,   0,   0,  2, 0, 0, 0, 2, 0, 0, 0,  1, 0, 24, 0};
    bmp.resize(70, 0x80);
    std::fill(bmp.begin() + 30, bmp.begin() + 54, 0);

    for (const plat::ClipboardItem& item :
         {plat::ClipboardItem{"image/wmf", wmf}, plat::ClipboardItem{"image/bmp", bmp}}) {
        SCOPED_TRACE(item.type);
        ExprFilePane* pane = typed("");
        plat::backend().setForeignClipboard({item});
        const int32_t beeps = CommandBeepCount();
        DoCommand(kCmdPaste, 0);
        EXPECT_EQ(beeps, CommandBeepCount());
        std::function<int(const eExpr*)> pictures = [&](const eExpr* node) {
            const auto* leaf = dynamic_cast<const eUFO*>(node);
            int n = leaf != nullptr && leaf->m_picture != nullptr &&
                    leaf->m_picture->enhMetafile() != 0;
            for (int32_t i = 0; i < node->childCount(); ++i)
                n += pictures(node->getChild(i));
            return n;
        };
        EXPECT_EQ(pictures(pane->expression()), 1) << ExprEncodingText(pane->expression());
    }
}

TEST_F(ClipboardTest, EveryCopyAsAndCopySpecialRowPastesBackEditableWithoutItsOwnFormat) {
    ExprFilePane* source = typed("a/b+1");
    // Saved first, so the web copies write their PNG files beside it.
    plat::testing::answerFileDialog(m_dir / "eq.pvx");
    ASSERT_EQ(1, DoMenuCommand(264));
    const std::string own = "application/x-kv-Korvaline-Expression";
    // Each row and a type it must offer besides the expression itself (the drawing programs get
    // PostScript alone by their default settings).
    const struct {
        int menuId;
        const char* type;
    } rows[] = {
        {1025, "image/emf"},
        {1026, "image/bmp"},
        {1027, "application/x-kv-Embed-Source"},
        {1028, "text/rtf"},
        {1030, "application/postscript"},
        {1031, "UTF8_STRING"},
        {1032, "UTF8_STRING"},
        {1033, "UTF8_STRING"},
        {1035, "UTF8_STRING"},
        {1036, "UTF8_STRING"},
        {1037, "UTF8_STRING"},
        {1539, "UTF8_STRING"},
        {769, "text/rtf"},
        {771, "image/emf"},
        {772, "image/emf"},
        {773, "image/emf"},
        {774, "UTF8_STRING"},
        {775, "application/x-kv-ADOBE-AI3"},
        {776, "image/bmp"},
        {778, "UTF8_STRING"},
        {779, "application/x-kv-ADOBE-AI3"},
        {780, "application/x-kv-ADOBE-AI3"},
        {781, "application/x-kv-ADOBE-AI3"},
        {783, "UTF8_STRING"},
        {784, "UTF8_STRING"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.menuId);
        source->takeFocus();
        DoCommand(kCmdSelectAll, 0);
        plat::backend().clipboardOffer({});
        ASSERT_EQ(1, DoMenuCommand(row.menuId));
        const std::vector<std::string> types = offeredTypes();
        EXPECT_NE(std::find(types.begin(), types.end(), own), types.end());
        EXPECT_NE(std::find(types.begin(), types.end(), row.type), types.end());
        // Without the expression's own type, what another program keeps of the copy still pastes
        // back as the same tree.
        std::vector<plat::ClipboardItem> others;
        for (const std::string& t : types)
            if (t != own)
                others.push_back({t, offered(t)});
        ExprFilePane* pane = typed("");
        plat::backend().setForeignClipboard(others);
        DoCommand(kCmdPaste, 0);
        EXPECT_TRUE(pane->expression()->equal(source->expression(), 0))
            << ExprEncodingText(pane->expression());
        delete pane->window();
        plat::testing::runUntilIdle();
    }
}

TEST_F(ClipboardTest, CutWithoutAnythingToCopyDeletesNothing) {
    ExprFilePane* pane = typed("q");
    const std::string before = ExprEncodingText(pane->expression());
    // The copy format that copies nothing: the notice, and the selection stays.
    std::vector<std::string> shown;
    plat::testing::onMessageBox([&](const plat::testing::MessageBoxCall& box) {
        shown.push_back(box.text);
        return 1;
    });
    const int32_t format = DefaultCopyFormat;
    DefaultCopyFormat = kCopyAsNothing;
    DoCommand(kCmdSelectAll, 0);
    DoCommand(kCmdCut, 0);
    DefaultCopyFormat = format;
    EXPECT_EQ(1u, shown.size());
    EXPECT_EQ(before, ExprEncodingText(pane->expression()));

    ResetCommandHooks(); // no clipboard service
    DoCommand(kCmdSelectAll, 0);
    const int32_t beeps = CommandBeepCount();
    DoCommand(kCmdCut, 0);
    EXPECT_EQ(beeps + 1, CommandBeepCount());
    EXPECT_EQ(before, ExprEncodingText(pane->expression()));
}

TEST_F(ClipboardTest, PastedRowsOfAnyLengthSaveAndOpenAgain) {
    // A pasted text becomes one row of as many items as it has words and operators; the file
    // written for it opens again with the same tree, however wide the row.
    namespace pt = plat::testing;
    for (const std::string& text : {repeated("a+", 40000) + "a", repeated("ab-", 70000)}) {
        SCOPED_TRACE(text.size());
        ExprFilePane* pane = typed("");
        plat::backend().setForeignClipboard({plat::ClipboardItem{"UTF8_STRING", bytesOf(text)}});
        DoCommand(kCmdPaste, 0);
        const ExprPtr pasted = pane->expression()->deepCopy();
        ASSERT_GT(ExprEncodingText(pasted.get()).size(), text.size());
        const std::string path = m_dir / ("wide" + std::to_string(text.size()) + ".pvx");
        pt::answerFileDialog(path);
        ASSERT_EQ(DoMenuCommand(264), 1); // Fichier > Enregistrer sous...
        pt::runUntilIdle();
        EXPECT_TRUE(pt::messageBoxes().empty());
        CloseAllDocuments();
        takeBackQuit();
        pt::answerFileDialog(path);
        ASSERT_EQ(DoMenuCommand(258), 1); // Fichier > Ouvrir...
        pt::runUntilIdle();
        EXPECT_TRUE(pt::messageBoxes().empty());
        ASSERT_NE(OpenDocumentList, nullptr);
        EXPECT_TRUE(OpenDocumentList->expression()->equal(pasted.get(), 0));
        CloseAllDocuments();
        takeBackQuit();
    }
}

TEST_F(ClipboardTest, TextTooLargeToPasteIsRefusedWithAMessage) {
    // Plain text becomes nodes that take many times its size: beyond the stated size it is not
    // typed in, the user is told and the document is left as it was; below it, it is pasted.
    namespace pt = plat::testing;
    ExprFilePane* pane = typed("q");
    const std::string before = ExprEncodingText(pane->expression());
    std::vector<std::string> shown;
    auto watch = [&] {
        shown.clear();
        pt::onMessageBox([&](const pt::MessageBoxCall& box) {
            shown.push_back(box.text);
            return 1;
        });
    };
    for (const char* type : {"UTF8_STRING", "STRING"}) {
        SCOPED_TRACE(type);
        watch();
        plat::backend().setForeignClipboard(
            {plat::ClipboardItem{type, bytesOf(repeated("ab+", kLargestPastedText / 3 + 1))}});
        const int32_t beeps = CommandBeepCount();
        DoCommand(kCmdPaste, 0);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_NE(shown[0].find("2 Mo"), std::string::npos) << shown[0];
        EXPECT_EQ(beeps, CommandBeepCount());
        EXPECT_EQ(before, ExprEncodingText(pane->expression()));
    }
    plat::backend().setForeignClipboard(
        {plat::ClipboardItem{"UTF8_STRING", bytesOf(repeated("ab+", kLargestPastedText / 3 - 1))}});
    const size_t boxes = pt::messageBoxes().size();
    DoCommand(kCmdPaste, 0);
    EXPECT_EQ(boxes, pt::messageBoxes().size());
    EXPECT_GT(ExprEncodingText(pane->expression()).size(), kLargestPastedText);
}

// The text "x0+x1+...+x(n-1)": one line of n terms.
std::string termsText(int terms) {
    std::string text;
    for (int i = 0; i < terms; ++i)
        text += (i == 0 ? "x" : "+x") + std::to_string(i);
    return text;
}

// A long formula pasted as one line of text, then copied whole: every target the copy names can
// be fetched, whatever the size of its picture. The text is the formula's text, the encoding
// reads back to the same tree, and the PNG decodes, carries the same tree and fits the
// platform's bitmaps (drawn at the screen's resolution while it fits there, smaller beyond).
TEST_F(ClipboardTest, LongFormulasOfferEveryTargetAndTheirPicturesFitTheBitmapLimit) {
    const std::string own = "application/x-kv-Korvaline-Expression";
    // The shipped smoothing draws the picture 4 times larger: 200 terms fit so, 300 only twice
    // as large, and 3,000 not even at the screen's resolution.
    struct KeptSmoothing {
        const int32_t value = PngSmoothing;
        ~KeptSmoothing() { PngSmoothing = value; }
    } kept;
    PngSmoothing = 2;
    // A formula whose text passes the floor of the translation bound is copied whole all the
    // same: the bound grows with the formula.
    const struct {
        int terms;
        int32_t drawnLarger; // 0: at a lower resolution than the screen's
        size_t translationFloor;
    } cases[] = {{200, 4, kMaxTranslationBytes},
                 {300, 2, kMaxTranslationBytes},
                 {3000, 0, kMaxTranslationBytes},
                 {300, 2, 256}};
    struct KeptFloor {
        ~KeptFloor() { TranslationFloorBytes = kMaxTranslationBytes; }
    } keptFloor;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.terms);
        TranslationFloorBytes = c.translationFloor;
        const std::string text = termsText(c.terms);
        ExprFilePane* pane = typed("");
        plat::backend().setForeignClipboard({plat::ClipboardItem{"UTF8_STRING", bytesOf(text)}});
        DoCommand(kCmdPaste, 0);
        const std::string tree = ExprEncodingText(pane->expression());
        DoCommand(kCmdSelectAll, 0);
        const size_t alerts = plat::testing::messageBoxes().size();
        ASSERT_EQ(1, DoMenuCommand(516)); // Édition > Copier
        EXPECT_EQ(alerts, plat::testing::messageBoxes().size());

        const std::vector<std::string> types = offeredTypes();
        for (const char* t : {"UTF8_STRING", "text/plain;charset=utf-8", "image/png", "image/emf",
                              "image/wmf", "application/x-kv-Korvaline-Expression"})
            EXPECT_NE(std::find(types.begin(), types.end(), t), types.end()) << t;
        for (const std::string& t : types)
            EXPECT_FALSE(offered(t).empty()) << t;

        // The translator's text: the formula's text on its first line (the encoding follows).
        const std::vector<uint8_t> utf8 = offered("UTF8_STRING");
        const std::string copiedText(utf8.begin(), utf8.end());
        EXPECT_TRUE(copiedText.substr(0, copiedText.find('\n')) == text)
            << copiedText.substr(0, 100);
        const std::vector<uint8_t> encoding = offered(own);
        ExprPtr back;
        ASSERT_EQ(0, CatchFail([&] {
                      back = ReadExprEncodingFromMemory(encoding.data(), encoding.size());
                  }));
        ASSERT_TRUE(back);
        EXPECT_EQ(tree, ExprEncodingText(back.get()));

        const std::vector<uint8_t> png = offered("image/png");
        std::vector<uint8_t> pixels;
        int32_t width = 0, height = 0, rowBytes = 0;
        std::string carried;
        ASSERT_EQ(0, CatchFail([&] {
                      ReadPngFromMemory(pixels, width, height, rowBytes, png.data(), png.size(),
                                        carried);
                  }));
        EXPECT_TRUE(plat::BitmapSizeFits(width, height)) << width << " x " << height;
        if (c.drawnLarger != 0) {
            // The bitmap drawn that many times larger, averaged down.
            std::vector<uint8_t> dib;
            const int32_t dpi = PictPortDotsPerInch(0) * c.drawnLarger;
            ASSERT_EQ(0, CatchFail([&] { dib = MakeExprDib(pane->expression(), dpi, nullptr); }));
            const int32_t large = static_cast<int32_t>(dib[4] | dib[5] << 8 | dib[6] << 16);
            // The oversampled picture's edges are whole pixels of the result, and ink past the
            // laid-out zone widens it by those pixels.
            EXPECT_GE(width, (large + c.drawnLarger - 1) / c.drawnLarger);
            EXPECT_LE(width, (large + c.drawnLarger - 1) / c.drawnLarger + 2);
        } else {
            // Made smaller only as far as the limit needs.
            EXPECT_GT(width, plat::kLargestBitmapSide / 2);
        }
        plat::backend().setForeignClipboard({plat::ClipboardItem{"image/png", png}});
        ExprFilePane* pasted = typed("");
        DoCommand(kCmdPaste, 0);
        EXPECT_EQ(tree, ExprEncodingText(pasted->expression()));
        closeDocuments();
    }
}

// The pictures are made from the tree as it was at Copy, when another program asks for them or
// when the program leaves its copy on the system with the document gone: later edits do not
// reach them.
TEST_F(ClipboardTest, PicturesAreMadeFromTheTreeAsCopied) {
    for (const bool flushed : {false, true}) {
        SCOPED_TRACE(flushed);
        ExprFilePane* pane = typed("");
        plat::backend().setForeignClipboard({plat::ClipboardItem{"UTF8_STRING", bytesOf("a+b")}});
        DoCommand(kCmdPaste, 0);
        const std::string copied = ExprEncodingText(pane->expression());
        DoCommand(kCmdSelectAll, 0);
        ASSERT_EQ(1, DoMenuCommand(516));
        DoCommand(kCmdClear, 0);
        ASSERT_NE(copied, ExprEncodingText(pane->expression()));
        if (flushed) {
            closeDocuments();
            plat::OleFlushClipboard();
        }
        std::vector<std::pair<std::string, std::vector<uint8_t>>> all;
        for (const std::string& t : offeredTypes()) {
            all.emplace_back(t, offered(t));
            EXPECT_FALSE(all.back().second.empty()) << t;
        }
        int pictures = 0;
        for (const auto& [type, bytes] : all) {
            if (type != "image/png" && type != "image/emf" && type != "image/wmf")
                continue;
            SCOPED_TRACE(type);
            ++pictures;
            ExprFilePane* target = typed("");
            plat::backend().setForeignClipboard({plat::ClipboardItem{type, bytes}});
            DoCommand(kCmdPaste, 0);
            EXPECT_EQ(copied, ExprEncodingText(target->expression()));
        }
        EXPECT_EQ(3, pictures);
        closeDocuments();
    }
}

// The size a fetched picture shows: a PNG's or bitmap's pixels, a metafile's frame.
std::string pictureSize(const std::string& type, const std::vector<uint8_t>& b) {
    const auto be32 = [&](size_t at) {
        return b.size() < at + 4
                   ? 0u
                   : (uint32_t{b[at]} << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3]);
    };
    const auto le32 = [&](size_t at) {
        return b.size() < at + 4 ? 0
                                 : static_cast<int32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 |
                                                        uint32_t{b[at + 3]} << 24);
    };
    if (type == "image/png")
        return std::to_string(be32(16)) + " x " + std::to_string(be32(20));
    if (type == "image/bmp") {
        const size_t at = b.size() > 2 && b[0] == 'B' && b[1] == 'M' ? 14 : 0;
        return std::to_string(le32(at + 4)) + " x " + std::to_string(le32(at + 8));
    }
    if (type == "image/emf")
        return std::to_string(le32(32) - le32(24)) + " x " + std::to_string(le32(36) - le32(28));
    return std::to_string(b.size()) + " bytes";
}

// The settings a picture is drawn with, put back when it goes.
struct KeptPictureSettings {
    const std::array<FSSRecord, kStyleTableSize> styles = StyleTable;
    const SizeStepRecord steps = SizeStepSettings;
    const PictureMargins margins = PictureMarginSettings;
    const int32_t metafile = MetafileResolution;
    const int32_t smoothing = PngSmoothing;
    const int32_t bitmap = BitmapResolution;
    const int32_t alignment = WordTargetAlignment;
    const int32_t rotation = PictureRotationSetting;
    const int32_t nextRotation = NextPictureRotation;
    ~KeptPictureSettings() {
        StyleTable = styles;
        SizeStepSettings = steps;
        BuildSizeStepTable();
        PictureMarginSettings = margins;
        MetafileResolution = metafile;
        PngSmoothing = smoothing;
        BitmapResolution = bitmap;
        WordTargetAlignment = alignment;
        PictureRotationSetting = rotation;
        NextPictureRotation = nextRotation;
    }
};

// Every setting that shapes a picture, changed between Copy and the request for the picture:
// the picture is the one the settings at Copy make (the same pixels, frame and bytes as when
// nothing changed), while a copy made after the change does differ.
TEST_F(ClipboardTest, PicturesAreDrawnWithTheSettingsInForceAtCopy) {
    const struct Case {
        const char* name;
        int32_t format; // -1: Édition > Copier
        const char* type;
        std::function<void()> change;
    } cases[] = {
        {"top margin", -1, "image/png", [] { PictureMarginSettings.top = 100; }},
        {"left margin", -1, "image/emf", [] { PictureMarginSettings.left = 50; }},
        {"bottom margin", kCopyAsBitmap, "image/bmp", [] { PictureMarginSettings.bottom = 20; }},
        {"metafile resolution", -1, "image/emf", [] { MetafileResolution = 300; }},
        {"smoothing", -1, "image/png", [] { PngSmoothing = 3; }},
        {"bitmap resolution", kCopyAsBitmap, "image/bmp", [] { BitmapResolution = 300; }},
        {"Word alignment", kCopyAsOffice, "text/rtf", [] { WordTargetAlignment = 4; }},
        {"rotation", -1, "image/png", [] { PictureRotationSetting = NextPictureRotation = 9000; }},
        {"background", -1, "image/png",
         [] {
             ActiveRecord->m_noBackground = 0;
             ActiveRecord->m_background = Color{200, 30, 30, 255};
         }},
        {"base size", -1, "image/emf",
         [] {
             StyleTable[0].size = 24;
             SizeStepSettings = SizeStepRecord{6, 28, 36, 40};
             BuildSizeStepTable();
         }},
    };
    // Copies "x+1" and fetches the picture, the setting changed before Copy or after it; the
    // settings are put back afterwards.
    const auto fetch = [this](const Case& c, bool before, bool after) {
        const KeptPictureSettings kept;
        typed("");
        plat::backend().setForeignClipboard({plat::ClipboardItem{"UTF8_STRING", bytesOf("x+1")}});
        DoCommand(kCmdPaste, 0);
        DoCommand(kCmdSelectAll, 0);
        if (before)
            c.change();
        if (c.format < 0)
            EXPECT_EQ(1, DoMenuCommand(516)); // Édition > Copier
        else
            EXPECT_TRUE(CopyAs(false, true, c.format));
        if (after)
            c.change();
        std::vector<uint8_t> bytes = offered(c.type);
        closeDocuments();
        return bytes;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> unchanged = fetch(c, false, false);
        ASSERT_FALSE(unchanged.empty());
        const std::vector<uint8_t> changedAfterCopy = fetch(c, false, true);
        EXPECT_EQ(pictureSize(c.type, unchanged), pictureSize(c.type, changedAfterCopy));
        EXPECT_TRUE(unchanged == changedAfterCopy);
        // The setting does shape the picture.
        EXPECT_FALSE(unchanged == fetch(c, true, false));
    }
}

// A formula too long for any PNG or bitmap (at the lowest resolution the makers go down to) is
// not offered as one: Copy names only the targets that can be made, and the text, the
// expression and the metafiles of the same copy remain. One term fewer still offers both, and
// they are fetched within the bitmap limit.
TEST_F(ClipboardTest, APictureTooLargeToMakeIsNotOffered) {
    const std::string own = "application/x-kv-Korvaline-Expression";
    const KeptPictureSettings kept;
    BitmapResolution = 0; // the bitmap at the screen's resolution, as the PNG
    const int32_t dpi = PictPortDotsPerInch(0);
    ExprFilePane* probe = typed("");
    const auto pasteTerms = [](int terms) {
        plat::backend().setForeignClipboard(
            {plat::ClipboardItem{"UTF8_STRING", bytesOf(termsText(terms))}});
        DoCommand(kCmdSelectAll, 0);
        DoCommand(kCmdPaste, 0);
    };
    // The longest line whose bitmap can still be made: the bitmap maker's own fitting tells.
    const auto canBeMade = [&](int terms) {
        pasteTerms(terms);
        return CatchFail([&] { LayOutFittingExprBitmap(probe->expression(), dpi, 1); }) == 0;
    };
    int fits = 1000, fails = 40000;
    ASSERT_TRUE(canBeMade(fits));
    ASSERT_FALSE(canBeMade(fails));
    while (fails - fits > 1) {
        const int middle = fits + (fails - fits) / 2;
        (canBeMade(middle) ? fits : fails) = middle;
    }
    closeDocuments();

    const struct {
        int terms;
        bool pictures; // PNG and bitmap offered
    } cases[] = {{fits - 1, true}, {fits, true}, {fits + 1, false}, {fits * 10, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.terms);
        ExprFilePane* pane = typed("");
        pasteTerms(c.terms);
        const std::string tree = ExprEncodingText(pane->expression());
        for (const int32_t format : {-1, kCopyAsBitmap}) {
            SCOPED_TRACE(format);
            DoCommand(kCmdSelectAll, 0);
            if (format < 0)
                ASSERT_EQ(1, DoMenuCommand(516)); // Édition > Copier
            else
                ASSERT_TRUE(CopyAs(false, true, format));
            const std::vector<std::string> types = offeredTypes();
            const auto has = [&](const char* t) {
                return std::find(types.begin(), types.end(), t) != types.end();
            };
            EXPECT_EQ(c.pictures, has("image/png"));
            EXPECT_EQ(c.pictures && format == kCopyAsBitmap, has("image/bmp"));
            EXPECT_TRUE(has("UTF8_STRING"));
            EXPECT_TRUE(has(own.c_str()));
            EXPECT_EQ(format < 0, has("image/emf"));
            // Whatever is offered is there.
            for (const std::string& t : types)
                EXPECT_FALSE(offered(t).empty()) << t;
            const std::vector<uint8_t> encoding = offered(own);
            EXPECT_EQ(tree + '\0', std::string(encoding.begin(), encoding.end()));
            if (c.pictures) {
                const std::vector<uint8_t> png = offered("image/png");
                std::vector<uint8_t> pixels;
                int32_t width = 0, height = 0, rowBytes = 0;
                std::string carried;
                ASSERT_EQ(0, CatchFail([&] {
                              ReadPngFromMemory(pixels, width, height, rowBytes, png.data(),
                                                png.size(), carried);
                          }));
                EXPECT_TRUE(plat::BitmapSizeFits(width, height)) << width << " x " << height;
            } else {
                // Nor could it be made when asked for.
                EXPECT_EQ(errAllocTooLarge,
                          CatchFail([&] { MakeExprDib(pane->expression(), dpi, nullptr); }));
            }
        }
        closeDocuments();
    }
}

// An enhanced metafile as other programs write it, record by record: the kinds the program's own
// recorder never writes, whose replay into a copy's metafile takes more than their own bytes.
class EmfWriter {
public:
    EmfWriter() { m_words.assign(27, 0); } // the header, written last
    EmfWriter& record(uint32_t type, const std::vector<uint32_t>& params) {
        m_words.push_back(type);
        m_words.push_back(static_cast<uint32_t>(8 + 4 * params.size()));
        m_words.insert(m_words.end(), params.begin(), params.end());
        ++m_records;
        return *this;
    }
    std::vector<uint8_t> finish(int32_t width, int32_t height) {
        record(14, {0, 16, 20}); // end
        const int32_t frameW = width * 2540 / 96, frameH = height * 2540 / 96;
        const uint32_t header[27] = {1,
                                     108,
                                     0,
                                     0,
                                     static_cast<uint32_t>(width - 1),
                                     static_cast<uint32_t>(height - 1),
                                     0,
                                     0,
                                     static_cast<uint32_t>(frameW),
                                     static_cast<uint32_t>(frameH),
                                     0x464D4520,
                                     0x10000,
                                     static_cast<uint32_t>(4 * m_words.size()),
                                     m_records + 1,
                                     8 /* handles */,
                                     0,
                                     0,
                                     0,
                                     9600,
                                     9600,
                                     2540,
                                     2540,
                                     0,
                                     0,
                                     0,
                                     2540000,
                                     2540000};
        std::copy(std::begin(header), std::end(header), m_words.begin());
        std::vector<uint8_t> bytes(4 * m_words.size());
        std::memcpy(bytes.data(), m_words.data(), bytes.size());
        return bytes;
    }

private:
    std::vector<uint32_t> m_words;
    uint32_t m_records = 0;
};

uint32_t xy16(int x, int y) {
    return static_cast<uint16_t>(x) | static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16;
}

// Region data of `rects` (left, top, right, bottom each).
std::vector<uint32_t> regionData(const std::vector<std::array<int32_t, 4>>& rects) {
    std::vector<uint32_t> d = {32,
                               1,
                               static_cast<uint32_t>(rects.size()),
                               static_cast<uint32_t>(16 * rects.size()),
                               0,
                               0,
                               1000,
                               1000};
    for (const auto& r : rects)
        for (int32_t v : r)
            d.push_back(static_cast<uint32_t>(v));
    return d;
}

// Lines drawn point to point, pairs of points as lines of their own, an 8-bit string, a brush of
// a 1-bit pattern, a clip cut by many small rectangles and by region data, saved and restored
// states and changes of mapping, each followed by drawing.
std::vector<uint8_t> EveryKindPicture() {
    EmfWriter w;
    w.record(17, {8}).record(9, {400, 400}).record(11, {400, 400}); // anisotropic mapping
    std::vector<uint32_t> lineTo = {0, 0, 399, 399, 2000};
    for (int i = 0; i < 2000; ++i)
        lineTo.push_back(xy16(i % 400, (i * 7) % 400));
    w.record(89, lineTo);
    std::vector<uint32_t> pairs = {0, 0, 399, 399, 1000, 2000};
    pairs.insert(pairs.end(), 1000, 2);
    for (int i = 0; i < 1000; ++i) {
        pairs.push_back(xy16(i % 400, 0));
        pairs.push_back(xy16(0, i % 400));
    }
    w.record(90, pairs);
    const std::string text(3000, 'x');
    std::vector<uint32_t> ext = {0, 0, 399, 399, 1, 0, 0, 10, 200, 3000, 76, 0, 0, 0, 0, 0, 0};
    for (size_t i = 0; i < text.size(); i += 4)
        ext.push_back(0x78787878u);
    w.record(83, ext);
    // A 64 x 64 brush of one bit a pixel, selected, filling a rectangle.
    std::vector<uint32_t> brush = {1, 0,   32, 48, 80, 512, 40, 64,      64, 1 | (1 << 16),
                                   0, 512, 0,  0,  2,  0,   0,  0xFFFFFF};
    brush.insert(brush.end(), 128, 0x55AA55AAu);
    w.record(94, brush).record(37, {1}).record(43, {10, 10, 300, 300});
    for (int i = 0; i < 60; ++i) {
        w.record(29, {static_cast<uint32_t>(5 * i), static_cast<uint32_t>(6 * i),
                      static_cast<uint32_t>(5 * i + 3), static_cast<uint32_t>(6 * i + 2)});
        w.record(54, {static_cast<uint32_t>(i), 399});
    }
    std::vector<std::array<int32_t, 4>> grid;
    for (int i = 0; i < 40; ++i) {
        grid.push_back({10 * i, 0, 10 * i + 4, 400});
        grid.push_back({0, 10 * i, 400, 10 * i + 4});
    }
    std::vector<uint32_t> clip = {static_cast<uint32_t>(32 + 16 * grid.size()), 1 /* and */};
    const std::vector<uint32_t> data = regionData(grid);
    clip.insert(clip.end(), data.begin(), data.end());
    for (int i = 0; i < 20; ++i) {
        w.record(33, {}).record(10, {static_cast<uint32_t>(i), 0}).record(75, clip);
        w.record(43, {0, 0, 100, 100}).record(34, {0xFFFFFFFFu}).record(54, {399, 0});
    }
    return w.finish(400, 400);
}

// `bytes` of long polylines (1,000 points each) across a 500 x 500 picture.
std::vector<uint8_t> PolylinesPicture(size_t bytes) {
    EmfWriter w;
    std::vector<uint32_t> line = {0, 0, 499, 499, 1000};
    for (int i = 0; i < 1000; ++i)
        line.push_back(xy16((i * 37) % 500, (i * 91) % 500));
    for (size_t made = 0; made < bytes; made += 4 * line.size() + 8)
        w.record(87, line);
    return w.finish(500, 500);
}

ExprPtr PictureNode(const std::vector<uint8_t>& emf) {
    return ExprPtr(NewUFO(PictureFromEnhMetaBits(emf.data(), emf.size()), nullptr, 0));
}

int* s_pollsMade = nullptr;

// Large copies on the shapes users make: a metafile past the bound is not offered, nor what is
// made from it (the rich text, the object descriptor), while the text and the expression are. The
// bound is known at Copy from the nodes: never below the metafile drawn, nor far above it. (What a
// large copy keeps in memory is measured by bench/SelectionLoadBench.cpp.)
TEST_F(ClipboardTest, AMetafilePastItsBoundIsNotOffered) {
    const std::string own = "application/x-kv-Korvaline-Expression";
    const struct {
        const char* name;
        std::function<ExprPtr()> make;
        // How far the bound may be above the enhanced metafile: a clip is charged the most
        // rectangles its region can have, which cuts and intersections of many rectangles make
        // far more than they do here.
        size_t slack = 3;
    } shapes[] = {
        {"one line", [] { return kvbench::WideRow(20001); }},
        {"sum of scripts", [] { return kvbench::Sum(2000); }},
        {"nested fractions", [] { return kvbench::ContinuedFraction(300); }},
        {"matrix", [] { return kvbench::Matrix(40); }},
        {"long words",
         [] {
             std::vector<ExprPtr> words;
             for (int i = 0; i < 3000; ++i)
                 words.push_back(kvbench::Word(i % 2 ? "+" : "abcdefghijklmnopqrstuvwxyz"));
             return kvbench::Row(std::move(words));
         }},
        // Pictures pasted from other programs play their own records into the metafile.
        {"pictures among terms",
         [] {
             std::vector<ExprPtr> items;
             for (int i = 0; i < 400; ++i)
                 items.push_back(i % 40 == 39 ? PictureNode(PolylinesPicture(20000))
                                              : kvbench::Word(i % 2 ? "+" : "ab"));
             return kvbench::Row(std::move(items));
         }},
        {"a picture of every kind of record",
         [] { return kvbench::RowWith(PictureNode(EveryKindPicture())); }, 12},
        {"a picture of polylines",
         [] { return kvbench::RowWith(PictureNode(PolylinesPicture(size_t{1} << 20))); }},
    };
    struct PutBack {
        const size_t value = LargestCopiedMetafile;
        ~PutBack() { LargestCopiedMetafile = value; }
    } putBack;
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.name);
        ExprPtr tree = shape.make();
        const std::string encoding = ExprEncodingText(tree.get());
        const size_t bound = MetafileBytesBound(tree.get(), encoding.size());
        ExprFilePane* pane = NewExprFilePane(std::move(tree), nullptr, "large", 0);
        pane->takeFocus();
        plat::testing::runUntilIdle();
        // The largest metafile one less than, at and past the bound, and ten times each way.
        for (const size_t largest : {bound / 10, bound - 1, bound, bound + 1, bound * 10}) {
            SCOPED_TRACE(largest);
            LargestCopiedMetafile = largest;
            DoCommand(kCmdSelectAll, 0);
            ASSERT_TRUE(CopyAs(false, true, kCopyAsOffice));
            const std::vector<std::string> types = offeredTypes();
            const auto has = [&](const char* t) {
                return std::find(types.begin(), types.end(), t) != types.end();
            };
            const bool fits = largest >= bound;
            for (const char* t : {"image/emf", "image/wmf", "text/rtf"})
                EXPECT_EQ(fits, has(t)) << t;
            EXPECT_TRUE(has("UTF8_STRING"));
            const std::vector<uint8_t> copied = offered(own);
            EXPECT_EQ(encoding + '\0', std::string(copied.begin(), copied.end()));
            if (largest != bound)
                continue;
            // The metafiles drawn stay within the bound, the enhanced one not far below it.
            const std::vector<uint8_t> emf = offered("image/emf");
            EXPECT_LE(emf.size(), bound);
            EXPECT_GE(emf.size() * shape.slack, bound);
            // Its conversion to the older format is long work: it polls as the drawing does, which
            // answers the window system (the poll that a termination signal makes fail stops it).
            int polls = 0;
            s_pollsMade = &polls;
            const auto kept = TheModelHooks().checkUserAbort;
            TheModelHooks().checkUserAbort = [] { ++*s_pollsMade; };
            const size_t wmf = offered("image/wmf").size();
            TheModelHooks().checkUserAbort = kept;
            EXPECT_LE(wmf, bound);
            ASSERT_GE(emf.size(), sizeof(plat::ENHMETAHEADER));
            uint32_t records = 0;
            std::memcpy(&records, emf.data() + 52, 4);
            EXPECT_GE(polls, static_cast<int>(records / 1024)) << records << " records";
        }
        closeDocuments();
    }

    // A picture of 40 MB pasted from another program: its copy's metafile would pass 64 MB
    // with the encoding, so none is offered.
    LargestCopiedMetafile = putBack.value;
    ASSERT_EQ(LargestCopiedMetafile, size_t{64} << 20);
    ExprFilePane* pane = typed("");
    plat::backend().setForeignClipboard(
        {plat::ClipboardItem{"image/emf", PolylinesPicture(size_t{40} << 20)}});
    DoCommand(kCmdPaste, 0);
    const std::function<bool(const eExpr*)> holdsPicture = [&](const eExpr* node) {
        if (node == nullptr)
            return false;
        for (int32_t i = 0; i < node->childCount(); ++i)
            if (holdsPicture(node->getChild(i)))
                return true;
        return node->isUFO();
    };
    ASSERT_TRUE(holdsPicture(pane->expression()));
    DoCommand(kCmdSelectAll, 0);
    ASSERT_EQ(1, DoMenuCommand(516)); // Édition > Copier
    const std::vector<std::string> types = offeredTypes();
    for (const char* t : {"image/emf", "image/wmf", "text/rtf"})
        EXPECT_EQ(std::find(types.begin(), types.end(), t), types.end()) << t;
    EXPECT_NE(std::find(types.begin(), types.end(), own), types.end());
    closeDocuments();
}

} // namespace
} // namespace kvtest
