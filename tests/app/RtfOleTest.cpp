// The expression as an embedded object: the compound file of its storage, rich text carrying it
// (checked with other programs' readers when they are installed), pasting it back, and equations
// of another editor in an object's "Equation Native" stream or a Windows metafile comment.

#include "../../src/Platform/backend/Backend.h"
#include "App/MenuDispatch.h"
#include "OverPc/PEXPRPICT.h"
#include "OverPc/documents/ClipboardCommands.h"
#include "OverPc/oPixMap.h"
#include "OverSrcs/commands/kEdit.h"
#include "OverSrcs/documents/CompoundFile.h"
#include "OverSrcs/documents/OleData.h"
#include "OverSrcs/documents/RtfText.h"
#include "OverSrcs/eEditSupport.h"
#include "OverSrcs/etEncode.h"
#include "app/AppDocumentFixture.h"
#include "support/RunTool.h"
#include "tools/mkexamples/ExampleTrees.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace kvtest {
namespace {

using Bytes = std::vector<uint8_t>;
using RtfOleTest = AppDocumentFixture;

bool hasTool(const std::string& check) {
    std::string out;
    return RunTool(check, out) == 0;
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

Bytes offered(const std::string& type) {
    Bytes bytes;
    plat::backend().clipboardRead(type, bytes);
    return bytes;
}

std::string textOf(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

// An MTEF version 3 equation "x+1": header, a line of three characters, the ends.
Bytes mtefXPlusOne() {
    Bytes m = {3, 1, 1, 3, 0, 0x01};
    for (uint8_t c : {'x', '+', '1'})
        m.insert(m.end(), {0x02, 128 + 3, c, 0});
    m.insert(m.end(), {0, 0});
    return m;
}

// The stream header other editors put before the equation in their objects.
Bytes withEquationHeader(const Bytes& mtef) {
    Bytes out = {28, 0, 0, 0, 2, 0, 0, 0};
    const auto n = static_cast<uint32_t>(mtef.size());
    out.insert(out.end(), {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), 0, 0});
    out.resize(28, 0);
    out.insert(out.end(), mtef.begin(), mtef.end());
    return out;
}

// A Windows metafile whose one comment escape holds the equation after the editor's head.
Bytes wmfWithEquation(const Bytes& mtef) {
    Bytes data = {'M', 'a', 't', 'h', 'T', 'y', 'p', 'e', 0, 0, 0, 1, 0, 0, 0, 0, 10};
    data.insert(data.end(), mtef.begin(), mtef.end());
    const size_t count = data.size();
    if (data.size() % 2 != 0)
        data.push_back(0);
    auto le16 = [](Bytes& out, uint32_t v) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    };
    const uint32_t escapeWords = static_cast<uint32_t>(10 + data.size()) / 2;
    Bytes wmf;
    le16(wmf, 1);
    le16(wmf, 9);
    le16(wmf, 0x300);
    const uint32_t total = 9 + escapeWords + 3;
    le16(wmf, total);
    le16(wmf, total >> 16);
    le16(wmf, 0);
    le16(wmf, escapeWords);
    le16(wmf, 0);
    le16(wmf, 0);
    le16(wmf, escapeWords);
    le16(wmf, 0);
    le16(wmf, 0x0626);
    le16(wmf, 15); // a comment escape
    le16(wmf, static_cast<uint32_t>(count));
    wmf.insert(wmf.end(), data.begin(), data.end());
    for (uint32_t v : {3u, 0u, 0u})
        le16(wmf, v);
    return wmf;
}

TEST(CompoundFileTest, StreamsOfEverySizeReadBackAndDamagedChainsAreRefused) {
    CompoundFile file;
    file.rootClassId = ClassIdBytes(kKorvalineClassId);
    size_t seed = 1;
    for (const size_t size : {0u, 1u, 63u, 64u, 4095u, 4096u, 10000u, 70000u}) {
        Bytes data(size);
        for (uint8_t& b : data)
            b = static_cast<uint8_t>(seed = seed * 1103515245 + 12345);
        file.streams.push_back({"S" + std::to_string(size), data});
    }
    const Bytes written = WriteCompoundFile(file);
    CompoundFile read;
    ASSERT_TRUE(ReadCompoundFile(written.data(), written.size(), read));
    EXPECT_EQ(read.rootClassId, file.rootClassId);
    ASSERT_EQ(read.streams.size(), file.streams.size());
    for (const CompoundStream& s : file.streams) {
        SCOPED_TRACE(s.name);
        ASSERT_NE(read.find(s.name), nullptr);
        EXPECT_EQ(read.find(s.name)->data, s.data);
    }

    // The first FAT sector is sector 0; the directory starts at the sector the header names.
    const uint32_t directory = written[48] | (written[49] << 8);
    auto fatEntry = [](Bytes& b, uint32_t sector) { return b.data() + 512 + 4 * sector; };
    auto put32 = [](uint8_t* p, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            p[i] = static_cast<uint8_t>(v >> (8 * i));
    };
    const std::vector<std::pair<const char*, std::function<void(Bytes&)>>> damage = {
        {"directory chain loops", [&](Bytes& b) { put32(fatEntry(b, directory), directory); }},
        {"chain leaves the file", [&](Bytes& b) { put32(fatEntry(b, directory), 90000); }},
        {"sibling loop",
         [&](Bytes& b) {
             uint8_t* first = b.data() + 512 * (directory + 1) + 128;
             put32(first + 68, 1);
         }},
        {"stream size past the file",
         [&](Bytes& b) { put32(b.data() + 512 * (directory + 1) + 128 + 120, 1u << 30); }},
        {"FAT sector count", [&](Bytes& b) { put32(b.data() + 44, 500); }},
    };
    for (const auto& [name, hurt] : damage) {
        SCOPED_TRACE(name);
        Bytes bad = written;
        hurt(bad);
        EXPECT_FALSE(ReadCompoundFile(bad.data(), bad.size(), read));
    }
    // Truncation at every sector boundary and random bytes never read outside the file.
    for (size_t n = 0; n < written.size(); n += 256)
        ReadCompoundFile(written.data(), n, read);
    std::mt19937 random(7);
    for (int i = 0; i < 3000; ++i) {
        Bytes bad(written.begin(), written.begin() + 4096);
        bad[random() % bad.size()] = static_cast<uint8_t>(random());
        ReadCompoundFile(bad.data(), bad.size(), read);
    }
}

TEST_F(RtfOleTest, RichTextCopyIsReadByOtherProgramsAndPastesBackAsTheSameTree) {
    ExprFilePane* source = typed("x+1/2");
    const std::string expected = ExprEncodingText(source->expression());
    DoCommand(kCmdSelectAll, 0);
    ASSERT_EQ(1, DoMenuCommand(1028)); // Copy As > RTF
    const std::vector<std::string> types = plat::backend().clipboardTypes();
    for (const char* t : {"text/rtf", "application/x-kv-Embed-Source",
                          "application/x-kv-Object-Descriptor", "image/emf", "UTF8_STRING"})
        EXPECT_NE(std::find(types.begin(), types.end(), t), types.end()) << t;
    const Bytes rtf = offered("text/rtf");
    const Bytes storage = offered("application/x-kv-Embed-Source");
    const std::string rtfPath = m_dir / "eq.rtf";
    writeFile(rtfPath, rtf);

    std::string out;
    if (hasTool("command -v unrtf")) {
        EXPECT_EQ(0, RunTool("cd " + m_dir.path() + " && unrtf --text eq.rtf", out)) << out;
    }
    if (hasTool("command -v pandoc")) {
        EXPECT_EQ(0, RunTool("pandoc -f rtf -t plain " + rtfPath, out)) << out;
    }
    // The object data of the rich text is the storage the clipboard offers, which another
    // program's reader opens with the encoding in "Contents".
    Bytes packet, native;
    ASSERT_TRUE(RtfObjectData(reinterpret_cast<const char*>(rtf.data()), rtf.size(), packet));
    ASSERT_TRUE(PacketNativeData(packet.data(), packet.size(), native));
    EXPECT_EQ(native, storage);
    if (hasTool("/usr/bin/python3 -c 'import olefile'")) {
        const std::string cfb = m_dir / "eq.cfb";
        writeFile(cfb, native);
        EXPECT_EQ(
            0, RunTool("/usr/bin/python3 -c 'import olefile,sys; o=olefile.OleFileIO(sys.argv[1]); "
                       "print(sorted(\"/\".join(e) for e in o.listdir())); "
                       "print(o.openstream(\"Contents\").read()[:8])' " +
                           cfb,
                       out))
            << out;
        EXPECT_NE(out.find("'\\x01CompObj', '\\x01Ole', 'Contents'"), std::string::npos) << out;
        EXPECT_NE(out.find("]|Expr|["), std::string::npos) << out;
    }

    // Each carrier alone pastes back the same tree: the rich text by its token; the rich text
    // without the token and the storage by the encoding the storage keeps, whose styles are
    // written out in full (so it looks the same in a copy with other style settings).
    std::string noToken = textOf(rtf);
    const size_t token = noToken.find("{\\*\\kvexpr");
    ASSERT_NE(token, std::string::npos);
    noToken.erase(token, noToken.find('}', token) - token + 1);
    const std::string resolved = ExprEncodingText(source->expression(), nullptr, true);
    const std::vector<std::pair<plat::ClipboardItem, bool>> carriers = {
        {{"text/rtf", rtf}, false},
        {{"text/rtf", Bytes(noToken.begin(), noToken.end())}, true},
        {{"application/x-kv-Embed-Source", storage}, true},
    };
    for (const auto& [item, resolvedStyles] : carriers) {
        SCOPED_TRACE(item.type + " " + std::to_string(item.bytes.size()));
        ExprFilePane* pane = typed("");
        plat::backend().setForeignClipboard({item});
        const int32_t beeps = CommandBeepCount();
        DoCommand(kCmdPaste, 0);
        EXPECT_EQ(beeps, CommandBeepCount());
        if (resolvedStyles)
            EXPECT_EQ(resolved, ExprEncodingText(pane->expression(), nullptr, true));
        else
            EXPECT_EQ(expected, ExprEncodingText(pane->expression()));
    }

    // The object copy offers the storage and its descriptor but no rich text.
    DoCommand(kCmdSelectAll, 0);
    ASSERT_EQ(1, DoMenuCommand(1027));
    const std::vector<std::string> objectTypes = plat::backend().clipboardTypes();
    EXPECT_EQ(std::count(objectTypes.begin(), objectTypes.end(), "text/rtf"), 0);
    const Bytes descriptor = offered("application/x-kv-Object-Descriptor");
    ASSERT_GE(descriptor.size(), 52u);
    EXPECT_EQ(descriptor[0] | (descriptor[1] << 8), static_cast<int>(descriptor.size()));
    EXPECT_EQ(offered("application/x-kv-Embed-Source"), storage);
}

// The number after a control word of the rich text (the first one), or `missing`.
int32_t controlValue(const std::string& rtf, const std::string& word, int32_t missing) {
    const size_t at = rtf.find("\\" + word);
    if (at == std::string::npos ||
        !std::isdigit(static_cast<unsigned char>(rtf[at + 1 + word.size()])))
        return missing;
    return std::stoi(rtf.substr(at + 1 + word.size()));
}

TEST_F(RtfOleTest, TheWordTargetsAlignmentPlacesTheObjectOnTheTextLine) {
    const int32_t saved = WordTargetAlignment;
    // A lone "x", a root, and the library's integral signs, whose ink reaches far above their
    // laid-out zone (the picture grows upwards by it), with no margins and with margins of 10
    // points.
    const struct {
        const char* name;
        int32_t command;
        const char* slots;
        int32_t margin;
    } shapes[] = {{"x", 0, "x", 0},
                  {"x", 0, "x", 10},
                  {"a root", 0x4010, "x+1", 0},
                  {"a root", 0x4010, "x+1", 10},
                  {"02_Calculus/02_Integral_signs.pvx", 0, "", 0},
                  {"02_Calculus/02_Integral_signs.pvx", 0, "", 10}};
    for (const auto& shape : shapes) {
        SCOPED_TRACE(std::string(shape.name) + " at margin " + std::to_string(shape.margin));
        typed("");
        if (shape.command != 0)
            DoCommand(shape.command, 0);
        plat::testing::type(shape.slots);
        for (const kvtool::ExampleDocument& e : kvtool::ExampleDocuments())
            if (e.path == std::string(shape.name))
                NewExprFilePane(kvtool::BuildStoredExample(e), nullptr, "example", 0)->takeFocus();
        plat::testing::runUntilIdle();
        PictureMarginSettings =
            PictureMargins{shape.margin, shape.margin, shape.margin, shape.margin};
        // Lowering in half points for Axe math., Vertical Center, between them, Bas, Haut.
        int32_t lowered[5] = {};
        int32_t heightHalfPoints = 0;
        double baselineHalfPoints = -1; // the picture's own baseline, above its bottom
        for (int32_t alignment = 0; alignment < 5; ++alignment) {
            WordTargetAlignment = alignment;
            plat::IDataObject* object = nullptr;
            ASSERT_TRUE(CopyAs(true, false, kCopyAsOffice, &object));
            auto* data = static_cast<CCBIDataObject*>(object);
            const Bytes* bytes = data->find(ClipboardFormats().rtf);
            ASSERT_NE(bytes, nullptr);
            const std::string rtf = textOf(*bytes);
            // The metafile the rich text carries records where its baseline lies.
            const Bytes* emf = data->find(plat::CF_ENHMETAFILE);
            ASSERT_NE(emf, nullptr);
            const std::string picture = textOf(*emf);
            const size_t at = picture.find("DEVQ");
            int32_t dpi = 0, descent = 0;
            ASSERT_TRUE(at != std::string::npos &&
                        ReadPictComment(picture.data() + at, kPictCommentSize, dpi, descent));
            baselineHalfPoints = descent * 144.0 / dpi;
            object->Release();
            heightHalfPoints = controlValue(rtf, "objh", 0) / 10;
            lowered[alignment] = controlValue(rtf, "dn", -1000);
            if (lowered[alignment] == -1000)
                lowered[alignment] = -controlValue(rtf, "up", 1000);
        }
        PictureMarginSettings = PictureMargins{};
        SCOPED_TRACE(heightHalfPoints);
        // On the math axis the picture's baseline sits on the text line: it is lowered by the
        // picture's height below its baseline, the margin and the ink above not counted.
        EXPECT_NEAR(lowered[0], baselineHalfPoints, 0.6);
        EXPECT_EQ(lowered[3], 0);
        for (int32_t a : {0, 1, 2, 4}) {
            SCOPED_TRACE(a);
            EXPECT_GE(lowered[a], 0);
            EXPECT_LT(lowered[a], heightHalfPoints);
        }
        EXPECT_NEAR(lowered[2], (lowered[0] + lowered[1]) / 2.0, 1.0);
        // A lone "x" is as high as its size b: centred, it is lowered by H/2 - b/4 = H/4.
        if (shape.name == std::string("x") && shape.margin == 0) {
            EXPECT_NEAR(lowered[1], heightHalfPoints / 4.0, 1.5);
        }
    }
    WordTargetAlignment = saved;
}

TEST_F(RtfOleTest, OtherEditorsEquationsInObjectsAndMetafilesConvertAndDamageGivesNothing) {
    const Bytes mtef = mtefXPlusOne();
    const std::string expected = ExprEncodingText(TextToRow("x+1", 0).get());

    CompoundFile object;
    object.streams.push_back({"Equation Native", withEquationHeader(mtef)});
    const Bytes storage = WriteCompoundFile(object);
    const Bytes wmf = wmfWithEquation(mtef);
    RtfObject rtfObject;
    rtfObject.packet = EmbeddedObjectPacket(storage);
    const std::string rtf = RtfWithObject(rtfObject);

    ExprPtr fromStorage = ExprFromObjectStorage(storage.data(), storage.size());
    ASSERT_TRUE(fromStorage);
    EXPECT_EQ(expected, ExprEncodingText(fromStorage.get()));
    ExprPtr fromRtf = ExprFromRtf(rtf.data(), rtf.size());
    ASSERT_TRUE(fromRtf);
    EXPECT_EQ(expected, ExprEncodingText(fromRtf.get()));
    ExprPtr fromWmf = ExprFromMetafileBytes(wmf.data(), wmf.size());
    ASSERT_TRUE(fromWmf);
    EXPECT_EQ(expected, ExprEncodingText(fromWmf.get()));

    // Opening the metafile file makes a document of the equation.
    const std::string path = m_dir / "eq.wmf";
    writeFile(path, wmf);
    ASSERT_TRUE(ReadEmfFile(path.c_str()));
    ASSERT_NE(OpenDocumentList, nullptr);
    EXPECT_EQ(expected, ExprEncodingText(OpenDocumentList->expression()));

    // Every truncation and single-byte change gives no expression or a readable one, never a
    // failure; a cut inside the equation gives none.
    for (size_t n = 0; n < wmf.size(); ++n)
        ExprFromMetafileBytes(wmf.data(), n);
    EXPECT_FALSE(ExprFromMetafileBytes(wmf.data(), wmf.size() - 8));
    // (The storage's last sector is its mini stream: a cut before it loses the equation.)
    for (size_t n = 0; n + 512 < storage.size(); n += 3)
        EXPECT_FALSE(ExprFromObjectStorage(storage.data(), n));
    for (size_t n = 0; n < rtf.size(); n += 5)
        ExprFromRtf(rtf.data(), n);
    std::mt19937 random(11);
    for (int i = 0; i < 2000; ++i) {
        std::string bad = rtf;
        bad[random() % bad.size()] = "0123456789abcdef}{\\"[random() % 19];
        ExprFromRtf(bad.data(), bad.size());
    }
}

} // namespace
} // namespace kvtest
