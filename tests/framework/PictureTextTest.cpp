// Pictures as text: base-85 words, the records a picture is written as inside the expression
// encoding, reading every record kind back, and damaged picture text.

#include "OverPc/PPICTEXT.h"
#include "OverPc/oPixMap.h"
#include "OverSrcs/Winufo.h"
#include "OverSrcs/oStreams.h"
#include "PortsFixture.h"
#include "plat/Gdi.h"
#include "plat/Metafile.h"
#include "support/PixMapPixels.h"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace kvtest {
namespace {

using PictureText = PortsFixture;

constexpr plat::COLORREF kWhite = 0xFFFFFF;

// A small picture recorded through the picture port, with a baseline 4 above its bottom.
std::unique_ptr<WinUfo> ScenePicture() {
    std::unique_ptr<oPictPort> port(NewPictPort(Zone{0, 0, 40, 24, 0, 0}, 0, 0, 4, 0));
    port->paintZone(Zone{2, 3, 18, 12, 0, 0}, kColorRed);
    port->frameZone(Zone{20, 2, 38, 22, 0, 0}, 2, kColorBlue, kLineSolid, kDrawPaint);
    return std::unique_ptr<WinUfo>(port->makePicture());
}

std::string Written(const WinUfo* picture, const char* caption, bool own, bool bitmaps) {
    oOStreamPtr stream(NewOMemoryStream(0));
    WriteUfoPicture(*stream, caption, picture, own, bitmaps);
    return static_cast<oOMemoryStream*>(stream.release())->detachString();
}

struct ReadResult {
    int16_t code = 0;
    std::unique_ptr<WinUfo> picture;
    int next = -1; // the first character after the picture text
};

// Reads from a heap block of exactly the text's size, so that a read past it is caught.
ReadResult Read(const std::string& text) {
    std::unique_ptr<uint8_t[]> block(new uint8_t[text.size() + 1]);
    std::memcpy(block.get(), text.data(), text.size());
    oIMemoryStream stream(block.get(), static_cast<uint32_t>(text.size()));
    ReadResult r;
    r.code = CatchFail([&] { r.picture = ReadUfoPicture(stream); });
    r.next = stream.getChar();
    return r;
}

std::string Word(uint32_t v) {
    char text[5];
    EncodeBase85Word(v, text);
    return std::string(text, 5);
}

std::string Compact(int32_t v) {
    char text[8];
    return std::string(text, static_cast<size_t>(EncodeCompactNumber(v, text)));
}

TEST_F(PictureText, Base85Words) {
    struct Case {
        uint32_t value;
        const char* text;
    };
    // Five digits of base 85, most significant first, each + '!'.
    const Case cases[] = {
        {0, "!!!!!"},
        {0xFFFFFFFFu, "s8W-!"},
        {1, "!!!!\""},
        {84, "!!!!u"},
        {85, "!!!\"!"},
        {52200625, "\"!!!!"}, // 85^4
        {52200625u * 82, "s!!!!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(Word(c.value), c.text);
        oIMemoryStream in(reinterpret_cast<const uint8_t*>(c.text), 5);
        std::vector<uint8_t> back;
        ASSERT_EQ(CatchFail([&] { back = ReadBase85Body(in, 4, false); }), 0);
        ASSERT_EQ(back.size(), 4u);
        uint32_t v = 0;
        std::memcpy(&v, back.data(), 4);
        EXPECT_EQ(v, c.value);
    }
}

TEST_F(PictureText, Base85RecordsPadTheLastWordAndSwapOnRequest) {
    const uint8_t data[5] = {0x01, 0x02, 0x03, 0x04, 0x05};
    for (const bool swap : {false, true}) {
        SCOPED_TRACE(swap);
        oOStreamPtr stream(NewOMemoryStream(0));
        WriteBase85Words(*stream, "|||", 'E', data, 5, swap);
        const std::string text = static_cast<oOMemoryStream*>(stream.release())->detachString();
        // Head: separator, letter, 10 characters, 5 bytes, separator; then two words.
        const std::string head = "|||E" + Compact(10) + Compact(5) + "|||";
        ASSERT_EQ(text.substr(0, head.size()), head);
        const std::string body = text.substr(head.size());
        ASSERT_EQ(body.size(), 10u);
        // Swapped, the data's bytes appear in order (big-endian words); else little-endian.
        EXPECT_EQ(body.substr(0, 5), Word(swap ? 0x01020304u : 0x04030201u));
        EXPECT_EQ(body.substr(5, 5), Word(swap ? 0x05000000u : 0x00000005u));
        oIMemoryStream in(reinterpret_cast<const uint8_t*>(body.data()),
                          static_cast<uint32_t>(body.size()));
        std::vector<uint8_t> back;
        ASSERT_EQ(CatchFail([&] { back = ReadBase85Body(in, 5, swap); }), 0);
        EXPECT_EQ(back, std::vector<uint8_t>(data, data + 5));
    }
}

TEST_F(PictureText, LongBodiesAreBrokenBySeparatorsThatTheReaderSkips) {
    std::vector<uint8_t> data(100);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7);
    oOStreamPtr stream(NewOMemoryStream(0));
    WriteBase85Words(*stream, "|%%\t|", 'E', data.data(), 100, false);
    const std::string text = static_cast<oOMemoryStream*>(stream.release())->detachString();
    // 25 words: a separator after the 12th and the 24th.
    const std::string head = "|%%\t|E" + Compact(125) + Compact(100) + "|%%\t|";
    const std::string body = text.substr(head.size());
    EXPECT_EQ(body.size(), 125u + 2 * 5);
    EXPECT_EQ(body.substr(60, 5), "|%%\t|");
    // The reader also passes over line breaks between words.
    const std::string loose = body.substr(0, 5) + "\r\n" + body.substr(5);
    oIMemoryStream in(reinterpret_cast<const uint8_t*>(loose.data()),
                      static_cast<uint32_t>(loose.size()));
    std::vector<uint8_t> back;
    EXPECT_EQ(CatchFail([&] { back = ReadBase85Body(in, 100, false); }), 0);
    EXPECT_EQ(back, data);

    // Raw bodies: pieces of 60 characters with the separator between them, not after the last.
    oOStreamPtr raw(NewOMemoryStream(0));
    WriteRawRecord(*raw, "|||", '1', std::string(130, 'a'));
    const std::string rawText = static_cast<oOMemoryStream*>(raw.release())->detachString();
    const std::string rawHead = "|||1" + Compact(130) + Compact(130) + "|||";
    EXPECT_EQ(rawText, rawHead + std::string(60, 'a') + "|||" + std::string(60, 'a') + "|||" +
                           std::string(10, 'a'));
}

TEST_F(PictureText, APictureRoundTripsThroughItsOwnRecord) {
    std::unique_ptr<WinUfo> picture = ScenePicture();
    ASSERT_NE(picture, nullptr);
    for (const char* caption : {static_cast<const char*>(nullptr), "\n%%\t"}) {
        SCOPED_TRACE(caption != nullptr ? "caption" : "none");
        const std::string text = Written(picture.get(), caption, true, false);
        if (caption == nullptr) {
            // The picture's own record first, then the metrics, then the end.
            EXPECT_EQ(text.substr(0, 4), "|||E");
            EXPECT_NE(text.find("|||1"), std::string::npos);
            EXPECT_EQ(text.substr(text.size() - 4), "|||9");
        } else {
            EXPECT_NE(text.find("%%\t|E"), std::string::npos);
        }
        ReadResult r = Read(text + "}rest");
        ASSERT_EQ(r.code, 0);
        ASSERT_NE(r.picture, nullptr);
        EXPECT_EQ(MetafileBytes(*r.picture), MetafileBytes(*picture));
        EXPECT_EQ(r.picture->m_descent, 4);
        EXPECT_EQ(r.next, '}') << "the leaf's closing brace is left for the encoding reader";
    }
}

TEST_F(PictureText, TheMetricsRecordAndALeafWithoutAPicture) {
    std::unique_ptr<WinUfo> picture = ScenePicture();
    const std::string text = Written(picture.get(), nullptr, false, false);
    // Width, height, baseline height (4 above the bottom), resolution at 96 dpi, the info word.
    const std::string metrics =
        Compact(40) + Compact(24) + Compact(20) + Compact(21) + Compact(912);
    EXPECT_EQ(text, "|||1" + Compact(static_cast<int32_t>(metrics.size())) +
                        Compact(static_cast<int32_t>(metrics.size())) + "|||" + metrics + "|||9");

    // A leaf without a picture writes nothing and reads back as no picture, not as damage.
    EXPECT_EQ(Written(nullptr, "\n%%\t", true, true), "");
    ReadResult r = Read("}");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.picture, nullptr);
    EXPECT_EQ(r.next, '}');
}

TEST_F(PictureText, TheBitmapRecordGivesThePicturesPixels) {
    std::unique_ptr<WinUfo> picture = ScenePicture();
    const std::string text = Written(picture.get(), nullptr, false, true);
    ASSERT_NE(text.find("|||3"), std::string::npos);
    EXPECT_EQ(text.find("|||E"), std::string::npos);
    ReadResult r = Read(text);
    ASSERT_EQ(r.code, 0);
    ASSERT_NE(r.picture, nullptr);
    int32_t w = 0, h = 0;
    GetWinUfoMetrics(r.picture.get(), &w, &h, nullptr, nullptr, nullptr);
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 24);
    std::unique_ptr<oPixMap> original = WhitePixMap(40, 24);
    DrawWinUfo(picture.get(), *original, 0, 0);
    std::unique_ptr<oPixMap> back = WhitePixMap(40, 24);
    DrawWinUfo(r.picture.get(), *back, 0, 0);
    int differences = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 40; ++x)
            differences += PixelOf(*back, x, y) != PixelOf(*original, x, y);
    EXPECT_EQ(differences, 0);
    EXPECT_EQ(PixelOf(*back, 5, 5), 0x0000FFu) << "red";

    // Written with both: the metafile record comes first and wins.
    ReadResult both = Read(Written(picture.get(), nullptr, true, true));
    ASSERT_EQ(both.code, 0);
    EXPECT_EQ(MetafileBytes(*both.picture), MetafileBytes(*picture));
}

// Record "1" (3 × 2) then raw pixels in code 912 rows (blue, green, red, unused).
TEST_F(PictureText, RawPixelsOfTheRememberedSize) {
    std::string pixels;
    for (int i = 0; i < 6; ++i)
        pixels += i % 2 == 0 ? std::string("AB#!") : std::string("zyx!");
    std::string metrics = Compact(3) + Compact(2) + Compact(2) + Compact(21) + Compact(912);
    oOStreamPtr stream(NewOMemoryStream(0));
    WriteRawRecord(*stream, "|||", '1', metrics);
    WriteRawRecord(*stream, "|||", '2', pixels);
    stream->writeString("|||9");
    ReadResult r = Read(static_cast<oOMemoryStream*>(stream.release())->detachString());
    ASSERT_EQ(r.code, 0);
    ASSERT_NE(r.picture, nullptr);
    std::unique_ptr<oPixMap> drawn = WhitePixMap(3, 2);
    DrawWinUfo(r.picture.get(), *drawn, 0, 0);
    // COLORREF is 0x00bbggrr: "AB#" is blue 'A', green 'B', red '#'.
    EXPECT_EQ(PixelOf(*drawn, 0, 0), (0x41u << 16) | (0x42u << 8) | 0x23u);
    EXPECT_EQ(PixelOf(*drawn, 1, 0), (0x7Au << 16) | (0x79u << 8) | 0x78u);
    EXPECT_EQ(PixelOf(*drawn, 0, 1), (0x7Au << 16) | (0x79u << 8) | 0x78u);

    // Pixel data of another size than remembered makes no picture.
    oOStreamPtr wrong(NewOMemoryStream(0));
    WriteRawRecord(*wrong, "|||", '1', metrics);
    WriteRawRecord(*wrong, "|||", '2', pixels.substr(4));
    wrong->writeString("|||9");
    EXPECT_EQ(Read(static_cast<oOMemoryStream*>(wrong.release())->detachString()).code,
              errDataCorrupted);
}

// A packed bitmap: 2 × 2, 24 bits, rows bottom-up, padded to 4 bytes.
std::vector<uint8_t> TinyDib(int32_t height) {
    plat::BITMAPINFOHEADER h;
    h.biWidth = 2;
    h.biHeight = height;
    h.biBitCount = 24;
    const uint8_t bottom[8] = {255, 0, 0, 0, 255, 0, 0, 0};  // blue, green
    const uint8_t top[8] = {0, 0, 255, 255, 255, 255, 0, 0}; // red, white
    std::vector<uint8_t> dib(sizeof h + sizeof bottom + sizeof top);
    std::memcpy(dib.data(), &h, sizeof h);
    std::memcpy(dib.data() + sizeof h, bottom, sizeof bottom);
    std::memcpy(dib.data() + sizeof h + sizeof bottom, top, sizeof top);
    return dib;
}

TEST_F(PictureText, PackedBitmapsAndWindowsMetafilesMakePictures) {
    const std::vector<uint8_t> dib = TinyDib(2);
    oOStreamPtr stream(NewOMemoryStream(0));
    WriteBase85Words(*stream, "|||", 'D', dib.data(), static_cast<int32_t>(dib.size()), false);
    stream->writeString("|||9");
    ReadResult r = Read(static_cast<oOMemoryStream*>(stream.release())->detachString());
    ASSERT_EQ(r.code, 0);
    std::unique_ptr<oPixMap> drawn = WhitePixMap(2, 2);
    DrawWinUfo(r.picture.get(), *drawn, 0, 0);
    EXPECT_EQ(PixelOf(*drawn, 0, 0), 0x0000FFu); // red, top left
    EXPECT_EQ(PixelOf(*drawn, 1, 0), kWhite);
    EXPECT_EQ(PixelOf(*drawn, 0, 1), 0xFF0000u); // blue
    EXPECT_EQ(PixelOf(*drawn, 1, 1), 0x00FF00u); // green

    // A header that promises more rows than the block holds makes no picture.
    const std::vector<uint8_t> tall = TinyDib(3);
    EXPECT_EQ(PictureFromPackedDib(tall.data(), tall.size()), nullptr);
    EXPECT_EQ(PictureFromPackedDib(dib.data(), dib.size() - 1), nullptr);
    EXPECT_EQ(PictureFromPackedDib(dib.data(), 39), nullptr);

    // A Windows metafile converted from the picture comes back as a picture of the same size.
    std::unique_ptr<WinUfo> picture = ScenePicture();
    auto* emf = reinterpret_cast<plat::HENHMETAFILE>(picture->enhMetafile());
    std::vector<uint8_t> wmf(plat::GetWinMetaFileBits(emf, 0, nullptr, 8, nullptr));
    ASSERT_FALSE(wmf.empty());
    plat::GetWinMetaFileBits(emf, static_cast<plat::UINT>(wmf.size()), wmf.data(), 8, nullptr);
    oOStreamPtr m(NewOMemoryStream(0));
    WriteBase85Words(*m, "|||", 'M', wmf.data(), static_cast<int32_t>(wmf.size()), false);
    m->writeString("|||9");
    ReadResult fromWmf = Read(static_cast<oOMemoryStream*>(m.release())->detachString());
    ASSERT_EQ(fromWmf.code, 0);
    ASSERT_NE(fromWmf.picture, nullptr);
    std::unique_ptr<oPixMap> played = WhitePixMap(40, 24);
    DrawWinUfo(fromWmf.picture.get(), *played, 0, 0);
    EXPECT_EQ(PixelOf(*played, 10, 7), 0x0000FFu) << "the red block";
}

TEST_F(PictureText, UnknownRecordsAreSkipped) {
    std::unique_ptr<WinUfo> picture = ScenePicture();
    const std::string known = Written(picture.get(), nullptr, true, false);
    // An unknown record ahead of the others: its characters are passed over.
    const std::string unknown = "|||Q" + Compact(7) + Compact(3) + "|||abc|||defg";
    ReadResult r = Read(unknown + known);
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(MetafileBytes(*r.picture), MetafileBytes(*picture));
    // Nothing that makes a picture: 462.
    EXPECT_EQ(Read(unknown + "|||9").code, errDataCorrupted);
    EXPECT_EQ(Read(Written(picture.get(), nullptr, false, false)).code, errDataCorrupted)
        << "metrics alone";
    EXPECT_EQ(Read("|||9").code, errDataCorrupted);
}

TEST_F(PictureText, DamagedTextMakesNoPictureAndReadsNothingBeyondIt) {
    std::unique_ptr<WinUfo> picture = ScenePicture();
    const std::string good = Written(picture.get(), nullptr, true, false);
    const std::string head = "|||E" + Compact(10) + Compact(8) + "|||";
    struct Case {
        const char* what;
        std::string text;
    };
    const Case cases[] = {
        {"a character outside the word alphabet", head + "!!!!!!!v!!|||9"},
        {"a word above 32 bits", head + "!!!!!uuuuu|||9"},
        {"characters that do not match the bytes", "|||E" + Compact(9) + Compact(8) + "|||"},
        {"raw characters above the bytes", "|||1" + Compact(9) + Compact(5) + "|||abcdefghi"},
        {"a negative count", "|||E" + Compact(-5) + Compact(4) + "|||!!!!!|||9"},
        {"a huge byte count",
         "|||E" + Compact(5 * 200000000) + Compact(800000000) + "|||!!!!!|||9"},
        {"a large count with little data",
         "|||E" + Compact(5 * 1000000) + Compact(4000000) + "|||!!!!!|||9"},
        {"the leaf ends inside a record", head + "!!!!!}"},
        {"the data ends inside a word", head + "!!!!!!!"},
        {"the data ends inside a count", "|||E"},
        {"a separator never closed", "|||E" + Compact(5) + Compact(4) + "|||!!!!!|"},
        {"valid words that are no metafile", head + "!!!!!!!!!!|||9"},
        {"no end at all", good.substr(0, good.size() / 2)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ReadResult r = Read(c.text);
        EXPECT_EQ(r.code, errDataCorrupted);
        EXPECT_EQ(r.picture, nullptr);
    }
    // Every cut of a good text is read within its bounds: it fails, or, cut after the complete
    // metafile record, gives the whole picture.
    for (size_t n = 0; n + 1 < good.size(); n += 7) {
        SCOPED_TRACE(n);
        ReadResult r = Read(good.substr(0, n));
        if (r.code == 0)
            EXPECT_EQ(MetafileBytes(*r.picture), MetafileBytes(*picture));
        else
            EXPECT_EQ(r.code, errDataCorrupted);
    }
    // A record after the picture is made is still checked.
    EXPECT_EQ(Read(good.substr(0, good.size() - 4) + head + "!!!!!v!!!!|||9").code,
              errDataCorrupted);
}

} // namespace
} // namespace kvtest
