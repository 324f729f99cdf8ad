#include "OverSrcs/oStreams.h"

#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "platform/SysTempDir.h"

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

std::string Encode(std::int32_t v) {
    char text[8];
    return std::string(text, static_cast<std::size_t>(EncodeCompactNumber(v, text)));
}

// Reads one number from text; the Fail code when the data is refused.
std::int32_t ReadNumber(const std::string& text, int* failedWith = nullptr,
                        std::string* rest = nullptr) {
    oIStreamPtr in(NewIMemoryStream(text.data(), static_cast<std::uint32_t>(text.size())));
    std::int32_t value = 0;
    const int code = CatchFail([&] { value = in->getNumber(); });
    if (failedWith != nullptr) {
        *failedWith = code;
    }
    if (rest != nullptr) {
        char buf[64];
        in->getLine(buf, sizeof buf, 0);
        *rest = buf;
    }
    return value;
}

std::string AllBytes() {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    return all;
}

// The expected length of a number's encoding, from the ranges of the format.
std::size_t ExpectedLength(std::int64_t v) {
    const std::int64_t m = v < 0 ? -v : v;
    if (m < 32) {
        return 1;
    }
    if (m < (1 << 11)) {
        return 3;
    }
    if (m < (1 << 17)) {
        return 4;
    }
    if (m < (1 << 23)) {
        return 5;
    }
    if (m < (1 << 29)) {
        return 6;
    }
    return 7;
}

TEST(CompactNumberTest, KnownEncodings) {
    // One digit: v + 0x20 for 0..31, v + 0x60 for -31..-1.
    EXPECT_EQ(Encode(0), " ");
    EXPECT_EQ(Encode(31), "?");
    EXPECT_EQ(Encode(-1), "_");
    EXPECT_EQ(Encode(-31), "A");
    // 32 = 0 * 64 + 32: "b", digit 0 (" "), digit 32 ("@").
    EXPECT_EQ(Encode(32), "b @");
    // -32 = -1 * 64 + 32: the leading digit holds the sign as 63 ("_").
    EXPECT_EQ(Encode(-32), "b_@");
    // 2048 = 0 * 4096 + 32 * 64 + 0: the three-digit form.
    EXPECT_EQ(Encode(2048), "c @ ");
    EXPECT_EQ(Encode(std::numeric_limits<std::int32_t>::min())[0], 'f');
    EXPECT_EQ(Encode(std::numeric_limits<std::int32_t>::max())[0], 'f');
}

TEST(CompactNumberTest, EdgesRoundTripWithTheRightLength) {
    std::vector<std::int64_t> values = {
        0, 31, -31, 32, -32, 2047, 2048, 131071, 8388607, 536870911, 2147483647, -2147483648LL};
    for (int bit = 0; bit < 31; ++bit) {
        const std::int64_t p = std::int64_t{1} << bit;
        for (std::int64_t v : {p - 1, p, p + 1, -p + 1, -p, -p - 1}) {
            values.push_back(v);
        }
    }
    for (std::int64_t v64 : values) {
        if (v64 < std::numeric_limits<std::int32_t>::min() ||
            v64 > std::numeric_limits<std::int32_t>::max()) {
            continue;
        }
        const auto v = static_cast<std::int32_t>(v64);
        SCOPED_TRACE(v);
        const std::string text = Encode(v);
        EXPECT_EQ(text.size(), ExpectedLength(v));
        for (char c : text) {
            EXPECT_GE(static_cast<unsigned char>(c), 0x20); // printable
            EXPECT_LE(static_cast<unsigned char>(c), 0x66);
        }
        int failed = 0;
        EXPECT_EQ(ReadNumber(text, &failed), v);
        EXPECT_EQ(failed, 0);
    }
}

TEST(CompactNumberTest, WholeRangeThroughStreams) {
    // Every value near zero, and a spread over the whole 32-bit range, written one after another
    // through putNumber and read back through getNumber.
    std::vector<std::int32_t> values;
    for (std::int32_t v = -70000; v <= 70000; ++v) {
        values.push_back(v);
    }
    std::mt19937 rng(1234);
    std::uniform_int_distribution<std::int32_t> any(std::numeric_limits<std::int32_t>::min(),
                                                    std::numeric_limits<std::int32_t>::max());
    for (int i = 0; i < 200000; ++i) {
        values.push_back(any(rng));
    }
    oOMemoryStream* out = NewOMemoryStream(0);
    for (std::int32_t v : values) {
        out->putNumber(v);
    }
    const std::string text = out->detachString();
    oIStreamPtr in(NewIMemoryStream(text.data(), static_cast<std::uint32_t>(text.size())));
    std::size_t mismatches = 0;
    const int code = CatchFail([&] {
        for (std::int32_t v : values) {
            mismatches += in->getNumber() != v ? 1 : 0;
        }
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(mismatches, 0u);
    EXPECT_EQ(in->getChar(), -1); // nothing left over
}

TEST(CompactNumberTest, MalformedInput) {
    int failed = 0;
    std::string rest;
    EXPECT_EQ(ReadNumber("}x", &failed, &rest), 0);
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(rest, "}x"); // the brace is left to be read
    EXPECT_EQ(ReadNumber("@", &failed), -32);
    EXPECT_EQ(ReadNumber("`", &failed), 0);
    EXPECT_EQ(failed, 0);
    const struct {
        const char* what;
        std::string text;
    } bad[] = {
        {"lead letter a", "a"},
        {"end of data", ""},
        {"letter g", "g  "},
        {"data ends inside a number", "c!"},
        {"f form beyond 32 bits", "f?????"},
        {"byte above 0x7F", "\xE9"},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.what);
        ReadNumber(c.text, &failed);
        EXPECT_EQ(failed, errDataCorrupted);
    }
}

TEST(MemoryInputTest, LineEndsAndSignedBytes) {
    const std::uint8_t data[] = {'A', '\r', '\n', 'B', '\r', 'C', 0, 0xE9, 0xFF, 'z'};
    const std::vector<std::uint8_t> before(std::begin(data), std::end(data));
    oIStreamPtr in(NewIMemoryStream(data, sizeof data));
    std::vector<int> got;
    for (int c = in->getChar(); c != -1 || in->tell() < static_cast<int>(sizeof data);
         c = in->getChar()) {
        got.push_back(c);
    }
    EXPECT_EQ(got, (std::vector<int>{'A', '\n', 'B', '\n', 'C', '\n', -23, -1, 'z'}));

    // unGetChar only moves back (a CR LF pair as one) and never writes the caller's bytes.
    in->seek(3);
    in->unGetChar('X');
    EXPECT_EQ(in->tell(), 1);
    EXPECT_EQ(in->getChar(), '\n');
    EXPECT_EQ(in->getChar(), 'B');
    EXPECT_EQ(std::vector<std::uint8_t>(std::begin(data), std::end(data)), before);
    in->seek(0);
    in->unGetChar('X');
    EXPECT_EQ(in->tell(), 0);
    EXPECT_NE(LoggedInformation().find("(unGetChar)"), std::string_view::npos);

    // Positions outside the buffer are held at its edges.
    in->seek(1000);
    EXPECT_EQ(in->tell(), static_cast<int>(sizeof data));
    in->seek(-5);
    EXPECT_EQ(in->tell(), 0);
}

TEST(MemoryInputTest, ReadersStopOnlyAtTheRealEnd) {
    // 0xFF reads like the end through getChar, but getBytes, getLine and skipTo go on.
    const std::string data = "a\xFF"
                             "b\xE9\n\xFF\xFFtail";
    oIStreamPtr in(NewIMemoryStream(data.data(), static_cast<std::uint32_t>(data.size())));
    char line[16];
    EXPECT_EQ(in->getLine(line, sizeof line, '\n'), 4);
    EXPECT_STREQ(line, "a\xFF"
                       "b\xE9");
    in->skipTo(0xFF);
    std::uint8_t bytes[16] = {};
    std::int32_t count = 0;
    in->getBytes(bytes, sizeof bytes, count);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 5), "\xFFtail");
    EXPECT_EQ(CatchFail([&] { in->skipTo('x'); }), errDataCorrupted);

    // A short buffer cuts the line and keeps it terminated.
    in->seek(0);
    EXPECT_EQ(in->getLine(line, 3, '\n'), 2);
    EXPECT_STREQ(line, "a\xFF");
}

TEST(HexTest, WritingAndReading) {
    oOMemoryStream* out = NewOMemoryStream(0);
    out->putHex16(0x1234);
    out->putHex32(0x12345678);
    out->putHexPair(1, 0xFFFFFFFF);
    out->putHexByte(0xAB);
    EXPECT_EQ(out->detachString(), "3412"
                                   "78563412"
                                   "01000000FFFFFFFF"
                                   "AB");

    const std::string all = AllBytes();
    out = NewOMemoryStream(0);
    out->putHexBytes(all.data(), 256);
    const std::string hex = out->detachString();
    ASSERT_EQ(hex.size(), 512u);
    oIStreamPtr in(NewIMemoryStream(hex.data(), 512));
    std::string back(256, '\0');
    in->getHexBytes(back.data(), 256);
    EXPECT_EQ(back, all);

    const struct {
        const char* text;
        std::uint8_t start;
        std::uint8_t expected;
    } bytes[] = {
        {"4f", 0, 0x4F},    // lower case
        {"G4", 0, 0x04},    // a bad first digit counts as 0
        {"4G", 0x77, 0x77}, // a bad second digit leaves the byte
        {"", 0x55, 0x55},   // the end of the data too
    };
    for (const auto& c : bytes) {
        SCOPED_TRACE(c.text);
        oIStreamPtr s(NewIMemoryStream(c.text, static_cast<std::uint32_t>(std::strlen(c.text))));
        std::uint8_t b = c.start;
        s->getHexByte(b);
        EXPECT_EQ(b, c.expected);
    }
    const std::string pair = "7856341201000000";
    oIStreamPtr p(NewIMemoryStream(pair.data(), 16));
    std::uint32_t a = 0, b = 0;
    p->getHexPair(a, b);
    EXPECT_EQ(a, 0x12345678u);
    EXPECT_EQ(b, 1u);
}

TEST(MemoryOutputTest, LineEndsCountsAndGrowth) {
    oOMemoryStream* out = NewOMemoryStream(0);
    EXPECT_EQ(out->capacity(), 32u);
    EXPECT_EQ(out->write("a\nb", 3), 3u);
    EXPECT_EQ(out->count(), 4u);
    out->write(std::string(40, 'x').data(), 40); // 44 bytes in all: 40 + 2 * 32
    EXPECT_EQ(out->capacity(), 104u);
    std::unique_ptr<char[]> text;
    std::uint32_t length = 0;
    out->detach(text, length);
    ASSERT_EQ(length, 44u);
    EXPECT_EQ(std::string(text.get(), 4), "a\r\nb");
    EXPECT_EQ(text[44], 0); // terminated

    // Every byte passes; only LF gains its CR.
    const std::string all = AllBytes();
    out = NewOMemoryStream(7);
    out->write(all.data(), 256);
    std::string expected = all;
    expected.insert(10, "\r");
    EXPECT_EQ(out->detachString(), expected);
}

TEST(MemoryOutputTest, PrintfHasNoLengthLimit) {
    const std::string longText(10000, 'q');
    oOMemoryStream* out = NewOMemoryStream(0);
    out->printf("<%s|%d|%s>", longText.c_str(), -42, "\xE9t\xE9");
    out->printLine("%05u", 7u);
    out->writeLine("end");
    out->putNumber(100);
    EXPECT_EQ(out->detachString(),
              "<" + longText + "|-42|\xE9t\xE9>" + "00007\r\nend\r\n" + Encode(100));
}

TEST(MemoryRoundTripTest, AccentedTextAndEveryByte) {
    const std::string text = "M\xE9tafichier am\xE9lior\xE9\n\x80\x9F\xFF\nfin";
    oOMemoryStream* out = NewOMemoryStream(0);
    out->writeString(text.c_str());
    const std::string stored = out->detachString();
    oIStreamPtr in(NewIMemoryStream(stored.data(), static_cast<std::uint32_t>(stored.size())));
    std::string back(64, '\0');
    std::int32_t count = 0;
    in->getBytes(back.data(), 64, count);
    back.resize(static_cast<std::size_t>(count));
    EXPECT_EQ(back, text);

    // getBinary gives the stored bytes, 0x00 and CR included.
    const std::string all = AllBytes();
    oIStreamPtr raw(NewIMemoryStream(all.data(), 256));
    std::string copy(300, '\0');
    EXPECT_EQ(raw->getBinary(copy.data(), 300), 256);
    copy.resize(256);
    EXPECT_EQ(copy, all);
}

TEST(EmbedStreamTest, LongWritesAreSplitAndNothingIsLost) {
    static std::string received;
    static std::vector<std::uint32_t> pieces;
    received.clear();
    pieces.clear();
    const auto sink = [](oGraphPort*, const char* bytes, std::uint32_t n) {
        received.append(bytes, n);
        pieces.push_back(n);
    };
    std::string text;
    for (int i = 0; i < 700; ++i) {
        text += "line " + std::to_string(i) + "\n";
    }
    EmbedStream* embed = NewEmbedStream(nullptr, sink);
    embed->write(text.data(), static_cast<std::uint32_t>(text.size())); // far above 1024
    embed->writeString("tail");
    delete embed; // hands over what is still buffered
    std::string expected;
    for (char c : text) {
        expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    EXPECT_EQ(received, expected + "tail");
    for (std::uint32_t n : pieces) {
        EXPECT_LE(n, EmbedStream::kBufferSize);
    }
}

// ---- Files --------------------------------------------------------------------------------------

class FileStreamTest : public ::testing::Test {
protected:
    kvtest::SysTempDir m_dir;

    std::string writeFile(const std::string& name, bool binary,
                          const std::vector<std::string>& writes) {
        const std::string path = m_dir / name;
        oOFileStream* out = NewOFileStream(path.c_str(), binary);
        for (const std::string& w : writes) {
            out->write(w.data(), static_cast<std::uint32_t>(w.size()));
        }
        out->close();
        return kvtest::ReadFileBytes(path);
    }
};

TEST_F(FileStreamTest, LineEndsOnDisk) {
    const struct {
        const char* what;
        bool binary;
        std::vector<std::string> writes;
        std::string disk;
    } cases[] = {
        {"text: LF, CR LF and CR each one CR LF", false, {"a\nb\r\nc\rd"}, "a\r\nb\r\nc\r\nd"},
        {"text: a pair split across writes", false, {"a\r", "\nb"}, "a\r\nb"},
        {"text: blank lines stay", false, {"\n\n\r\n\r\r"}, "\r\n\r\n\r\n\r\n\r\n"},
        {"binary: line ends become LF", true, {"a\r\nb\rc\n"}, "a\nb\nc\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(writeFile("f.txt", c.binary, c.writes), c.disk);
    }
}

TEST_F(FileStreamTest, EveryByteThroughFiles) {
    const std::string all = AllBytes();
    const std::string path = m_dir / "bytes.bin";
    oOFileStream* out = NewOFileStream(path.c_str(), true);
    out->writeRaw(all.data(), 256);
    EXPECT_EQ(out->count(), 256u);
    out->close();
    EXPECT_EQ(kvtest::ReadFileBytes(path), all);

    oIFileStream* in = NewIFileStream(path.c_str());
    std::string viaChars;
    for (int c = in->getChar(); c != -1; c = in->getChar()) {
        ASSERT_GE(c, 0);
        viaChars += static_cast<char>(c);
    }
    in->destroy();
    // CR LF (bytes 13 and 10 follow each other only as 10 then 13 here) reads CR as LF.
    std::string expected = all;
    expected[13] = '\n';
    EXPECT_EQ(viaChars, expected);

    in = NewIFileStream(path.c_str());
    in->seek(250);
    EXPECT_EQ(in->tell(), 250);
    EXPECT_EQ(in->readAll(), all.substr(250));
    in->destroy();
}

TEST_F(FileStreamTest, TextFilesReadBackLineByLine) {
    const std::string accented = "R\xE9sum\xE9 \x80 \xFF";
    const std::string path = m_dir / "lines.txt";
    oOFileStream* out = NewOFileStream(path.c_str(), false);
    out->writeLine(accented.c_str());
    out->printLine("%d", 42);
    out->close();
    kvtest::WriteFileBytes(m_dir / "mixed.txt",
                           kvtest::ReadFileBytes(path) + "unix\nold mac\rlast");
    oIFileStream* in = NewIFileStream((m_dir / "mixed.txt").c_str());
    std::vector<std::string> lines;
    char buf[64];
    for (;;) {
        const int first = in->getChar();
        if (first == -1) {
            break;
        }
        in->unGetChar(first);
        in->getLine(buf, sizeof buf, '\n');
        lines.push_back(buf);
    }
    in->destroy();
    EXPECT_EQ(lines, (std::vector<std::string>{accented, "42", "unix", "old mac", "last"}));
}

TEST_F(FileStreamTest, MissingFileFailsWithItsPath) {
    const std::string path = m_dir / "absent.prf";
    EXPECT_EQ(CatchFail([&] { NewIFileStream(path.c_str()); }), errFileNotFound);
    EXPECT_STREQ(ErrorDetail(), path.c_str());
    // Names from a system that ignores case are found when read.
    kvtest::WriteFileBytes(m_dir / "Keys.PRF", "k");
    oIFileStream* in = nullptr;
    EXPECT_EQ(CatchFail([&] { in = NewIFileStream((m_dir / "keys.prf").c_str()); }), 0);
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(in->getChar(), 'k');
    in->destroy();
}

class SafeSaveTest : public FileStreamTest {};

TEST_F(SafeSaveTest, OldFileStaysUntilCloseThenIsReplaced) {
    const std::string target = m_dir / "doc.pvx";
    kvtest::WriteFileBytes(target, "old");
    oOFileStream* out = NewOFileStream(target.c_str(), false);
    EXPECT_EQ(out->temporaryPath(), m_dir / "doc.0");
    out->writeString("new content");
    EXPECT_EQ(kvtest::ReadFileBytes(target), "old");
    out->close();
    EXPECT_EQ(kvtest::ReadFileBytes(target), "new content");
    EXPECT_EQ(kvtest::FolderNames(m_dir.path()), std::vector<std::string>{"doc.pvx"});
}

TEST_F(SafeSaveTest, FoldersWithDotsAndNamesWithoutExtension) {
    const struct {
        const char* target;
        const char* sibling;
    } cases[] = {
        {"my.folder/doc", "my.folder/doc.0"},
        {"my.folder/doc.pvx", "my.folder/doc.0"},
        {"v1.2/a.b.exp", "v1.2/a.b.0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const std::string target = m_dir / c.target;
        kvtest::WriteFileBytes(target, "old");
        oOFileStream* out = NewOFileStream(target.c_str(), true);
        EXPECT_EQ(out->temporaryPath(), m_dir / c.sibling);
        out->writeString("new");
        out->close();
        EXPECT_EQ(kvtest::ReadFileBytes(target), "new");
        EXPECT_FALSE(std::filesystem::exists(m_dir / c.sibling));
    }
}

TEST_F(SafeSaveTest, BusySiblingNamesAreNeverOverwritten) {
    const std::string target = m_dir / "doc.exp";
    kvtest::WriteFileBytes(target, "old");
    for (int i = 0; i < 7; ++i) {
        kvtest::WriteFileBytes(m_dir / ("doc." + std::to_string(i)), "keep");
    }
    std::string sibling;
    EXPECT_NE(MakeTempSibling(target.c_str(), sibling), 0);
    EXPECT_EQ(sibling, m_dir / "doc.7");
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(kvtest::ReadFileBytes(m_dir / ("doc." + std::to_string(i))), "keep");
    }
    // A new file is written through a sibling too, so no half-written file ever has its name.
    EXPECT_NE(MakeTempSibling((m_dir / "fresh.exp").c_str(), sibling), 0);
    EXPECT_EQ(sibling, m_dir / "fresh.0");
}

TEST_F(SafeSaveTest, FailureWhileWritingLeavesTheOldFile) {
    const std::string target = m_dir / "doc.pvx";
    kvtest::WriteFileBytes(target, "old");
    // An error raised by the writer: the stream is dropped unfinished.
    const int code = CatchFail([&] {
        oOStreamPtr out(NewOFileStream(target.c_str(), false));
        out->writeString("half of it");
        Fail(errUserInterrupt);
    });
    EXPECT_EQ(code, errUserInterrupt);
    EXPECT_EQ(kvtest::ReadFileBytes(target), "old");
    EXPECT_EQ(kvtest::FolderNames(m_dir.path()), std::vector<std::string>{"doc.pvx"});

    // A real write error: the file-size limit makes the disk refuse the bytes.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    oOFileStream* out = NewOFileStream(target.c_str(), true);
    rlimit small = old;
    small.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const std::string big(1 << 16, 'z');
    const int writeCode = CatchFail([&] {
        out->write(big.data(), static_cast<std::uint32_t>(big.size()));
        out->close();
        out = nullptr;
    });
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(writeCode, errFileTooLarge); // EFBIG
    EXPECT_NE(std::string(ErrorDetail()).size(), 0u);
    if (out != nullptr) {
        // The write failed before close: closing fails again and never commits.
        EXPECT_EQ(CatchFail([&] { out->close(); }), errFileTooLarge);
    }
    EXPECT_EQ(kvtest::ReadFileBytes(target), "old");
    EXPECT_EQ(kvtest::FolderNames(m_dir.path()), std::vector<std::string>{"doc.pvx"});
}

TEST_F(SafeSaveTest, VanishedSiblingFailsTheCloseAndKeepsTheTarget) {
    const std::string target = m_dir / "doc.pvx";
    kvtest::WriteFileBytes(target, "old");
    oOFileStream* out = NewOFileStream(target.c_str(), false);
    out->writeString("new");
    const std::string sibling = out->temporaryPath();
    std::filesystem::remove(sibling);
    EXPECT_EQ(CatchFail([&] { out->close(); }), errFileNotFound);
    EXPECT_STREQ(ErrorDetail(), sibling.c_str());
    EXPECT_EQ(kvtest::ReadFileBytes(target), "old");
}

TEST_F(SafeSaveTest, ReplacedFileKeepsItsPermissions) {
    const std::string target = m_dir / "doc.pvx";
    kvtest::WriteFileBytes(target, "old");
    std::filesystem::permissions(target, std::filesystem::perms::owner_read |
                                             std::filesystem::perms::owner_write |
                                             std::filesystem::perms::group_read);
    oOFileStream* out = NewOFileStream(target.c_str(), false);
    out->writeString("new");
    out->close();
    EXPECT_EQ(std::filesystem::status(target).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read);
}

// ---- Random input -------------------------------------------------------------------------------

TEST(StreamFuzzTest, RandomBytesNeverCrashTheReaders) {
    std::mt19937 rng(20261207);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(0, 64);
    std::uniform_int_distribution<int> op(0, 7);
    for (int round = 0; round < 3000; ++round) {
        std::string data(static_cast<std::size_t>(length(rng)), '\0');
        for (char& c : data) {
            // Favour the number format's own characters so that numbers get far.
            c = static_cast<char>(round % 2 == 0 ? byte(rng) : 0x20 + byte(rng) % 0x47);
        }
        oIStreamPtr in(NewIMemoryStream(data.data(), static_cast<std::uint32_t>(data.size())));
        const int code = CatchFail([&] {
            for (int step = 0; step < 200; ++step) {
                char line[8];
                std::uint32_t a = 0, b = 0;
                std::uint8_t bytes[4];
                std::int32_t count = 0;
                switch (op(rng)) {
                case 0:
                case 1:
                    in->getNumber();
                    break;
                case 2:
                    in->getLine(line, sizeof line, '}');
                    break;
                case 3:
                    in->getHexPair(a, b);
                    break;
                case 4:
                    in->getHexBytes(bytes, 4);
                    break;
                case 5:
                    in->skipTo(byte(rng));
                    break;
                case 6:
                    in->getBytes(bytes, 4, count);
                    break;
                default:
                    in->unGetChar(0);
                    break;
                }
                ASSERT_LE(in->tell(), static_cast<std::int32_t>(data.size()));
                ASSERT_GE(in->tell(), 0);
            }
        });
        EXPECT_TRUE(code == 0 || code == errDataCorrupted) << code;
    }
}

} // namespace

// ---- Interrupted saves, links and what may be read ----------------------------------------------

namespace {

// The names in a folder, sorted.
std::vector<std::string> sortedNames(const std::string& dir) {
    std::vector<std::string> names = kvtest::FolderNames(dir);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

namespace {

// Whether the folder's file system holds user extended attributes (the mark of a save's sibling).
bool FolderHoldsMarks(const std::string& dir) {
    const std::string probe = dir + "/probe";
    kvtest::WriteFileBytes(probe, "");
    const bool holds = ::setxattr(probe.c_str(), "user.probe", "1", 1, 0) == 0;
    std::filesystem::remove(probe);
    return holds;
}

} // namespace

TEST_F(SafeSaveTest, AKilledSaveLeavesNoHalfFileAndTheNextSaveRemovesItsSibling) {
    namespace fs = std::filesystem;
    const struct {
        const char* name;
        const char* old;    // the file's content before the save, null: a first save
        bool whole;         // killed once the sibling was whole and had its final permissions
    } cases[] = {
        {"first save killed while writing", nullptr, false},
        {"save over a file killed while writing", "old", false},
        {"save killed between the permissions and the rename", "old", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        kvtest::SysTempDir dir;
        const std::string target = dir / "doc.pvx";
        if (c.old != nullptr)
            kvtest::WriteFileBytes(target, c.old);
        // Files of the user's own that happen to have siblings' names are never touched, even
        // without any permission (the way a save's sibling used to be told).
        kvtest::WriteFileBytes(dir / "doc.0", "keep");
        fs::permissions(dir / "doc.0", fs::perms::none);
        kvtest::WriteFileBytes(dir / "doc.3", "mine too");
        // The save is killed.
        const pid_t child = ::fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            oOFileStream* out = NewOFileStream(target.c_str(), false);
            const std::string chunk(1 << 20, 'x');
            out->write(chunk.data(), static_cast<std::uint32_t>(chunk.size()));
            std::fflush(nullptr);
            if (c.whole)
                ::chmod(out->temporaryPath().c_str(), 0644);
            ::kill(::getpid(), SIGKILL);
            ::_exit(3);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));
        if (c.old != nullptr)
            EXPECT_EQ(kvtest::ReadFileBytes(target), c.old);
        else
            EXPECT_FALSE(fs::exists(target)) << "a half-written file has the name";
        // The killed save's sibling is left (the next save removes it).
        std::vector<std::string> left{"doc.0", "doc.1", "doc.3"};
        if (c.old != nullptr)
            left.push_back("doc.pvx");
        EXPECT_EQ(sortedNames(dir.path()), left);

        // The next save of the file removes what the killed one left, where the file system can
        // hold the mark that tells it from a file of the user's; elsewhere it stays.
        oOFileStream* out = NewOFileStream(target.c_str(), false);
        out->writeString("new");
        out->close();
        EXPECT_EQ(kvtest::ReadFileBytes(target), "new");
        fs::permissions(dir / "doc.0", fs::perms::owner_read);
        EXPECT_EQ(kvtest::ReadFileBytes(dir / "doc.0"), "keep");
        EXPECT_EQ(kvtest::ReadFileBytes(dir / "doc.3"), "mine too");
        if (FolderHoldsMarks(dir.path()))
            left.erase(left.begin() + 1);
        if (c.old == nullptr)
            left.push_back("doc.pvx");
        EXPECT_EQ(sortedNames(dir.path()), left);
        EXPECT_NE(fs::status(target).permissions() & fs::perms::owner_read, fs::perms::none)
            << "the saved file has the permissions of a new file";
        char mark[256];
        EXPECT_LT(::getxattr(target.c_str(), "user.korvaline.save-sibling", mark, sizeof mark), 0)
            << "the saved file no longer carries a sibling's mark";
    }
}

TEST_F(SafeSaveTest, TwoCopiesSavingOneFileNeverTakeEachOthersSibling) {
    namespace fs = std::filesystem;
    const struct {
        const char* name;
        bool firstKilled; // the first copy is killed while the second saves
    } cases[] = {{"both finish", false}, {"the first is killed", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        kvtest::SysTempDir dir;
        const std::string target = dir / "doc.pvx";
        kvtest::WriteFileBytes(target, "old");
        int ready[2];
        int go[2];
        ASSERT_EQ(::pipe(ready), 0);
        ASSERT_EQ(::pipe(go), 0);
        // The first copy starts its save and is stopped half way through it.
        const pid_t first = ::fork();
        ASSERT_NE(first, -1);
        if (first == 0) {
            oOFileStream* out = NewOFileStream(target.c_str(), false);
            out->writeString("first copy, ");
            std::fflush(nullptr);
            char byte = 'r';
            if (::write(ready[1], &byte, 1) != 1 || ::read(go[0], &byte, 1) != 1)
                ::_exit(4);
            if (c.firstKilled)
                ::kill(::getpid(), SIGKILL);
            out->writeString("whole");
            const int code = CatchFail([&] { out->close(); });
            ::_exit(code == 0 ? 0 : 5);
        }
        char byte = 0;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1);
        // The second copy saves meanwhile: its clean-up leaves the first copy's sibling alone
        // and it writes its own.
        oOFileStream* out = NewOFileStream(target.c_str(), false);
        EXPECT_EQ(kvtest::ReadFileBytes(dir / "doc.0"), "first copy, ");
        EXPECT_NE(out->temporaryPath(), dir / "doc.0");
        out->writeString("second copy, ");
        std::fflush(nullptr);
        // The first copy ends its save while the second one is writing.
        ASSERT_EQ(::write(go[1], &byte, 1), 1);
        int status = 0;
        ASSERT_EQ(::waitpid(first, &status, 0), first);
        if (c.firstKilled) {
            EXPECT_TRUE(WIFSIGNALED(status));
            EXPECT_EQ(kvtest::ReadFileBytes(target), "old");
        } else {
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_EQ(WEXITSTATUS(status), 0) << "the first copy's save failed";
            EXPECT_EQ(kvtest::ReadFileBytes(target), "first copy, whole");
        }
        out->writeString("whole");
        EXPECT_EQ(CatchFail([&] { out->close(); }), 0);
        EXPECT_EQ(kvtest::ReadFileBytes(target), "second copy, whole");
        std::vector<std::string> left{"doc.pvx"};
        if (c.firstKilled && !FolderHoldsMarks(dir.path()))
            left.insert(left.begin(), "doc.0");
        if (c.firstKilled) {
            // A later save removes what the killed copy left.
            oOFileStream* again = NewOFileStream(target.c_str(), false);
            again->writeString("third");
            again->close();
            EXPECT_EQ(kvtest::ReadFileBytes(target), "third");
        }
        EXPECT_EQ(sortedNames(dir.path()), left);
        for (int fd : {ready[0], ready[1], go[0], go[1]})
            ::close(fd);
    }
}

TEST_F(SafeSaveTest, WhatIsNoFileIsNeverSavedOver) {
    namespace fs = std::filesystem;
    kvtest::SysTempDir dir;
    fs::create_directories(dir / "folder.pvx");
    fs::create_symlink("b.pvx", dir / "a.pvx");
    fs::create_symlink("a.pvx", dir / "b.pvx");
    const struct {
        const char* name;
        int code;
    } cases[] = {{"folder.pvx", errNotRegularFile}, {"a.pvx", errFileNotFound}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / c.name;
        EXPECT_EQ(CatchFail([&] { NewOFileStream(path.c_str(), false)->close(); }), c.code);
        EXPECT_EQ(std::string(ErrorDetail()).rfind(path, 0), 0u) << ErrorDetail();
    }
    EXPECT_TRUE(fs::is_empty(dir / "folder.pvx"));
    EXPECT_EQ(fs::read_symlink(dir / "a.pvx"), "b.pvx");
    EXPECT_EQ(sortedNames(dir.path()), (std::vector<std::string>{"a.pvx", "b.pvx", "folder.pvx"}));
}

TEST_F(SafeSaveTest, SavingThroughALinkReplacesTheFileItNames) {
    namespace fs = std::filesystem;
    const struct {
        const char* name;
        const char* link;               // the name the document is saved under
        std::vector<std::string> chain; // each link's text, from `link` on
        const char* real;               // the file the last link names
        bool exists;                    // whether that file is there before the save
    } cases[] = {
        {"absolute", "docs/link.pvx", {"@real/doc.pvx"}, "real/doc.pvx", true},
        {"relative", "docs/link.pvx", {"../real/doc.pvx"}, "real/doc.pvx", true},
        {"chain", "docs/link.pvx", {"second.pvx", "../real/doc.pvx"}, "real/doc.pvx", true},
        {"dangling", "docs/link.pvx", {"../real/new.pvx"}, "real/new.pvx", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        kvtest::SysTempDir dir;
        fs::create_directories(dir / "docs");
        fs::create_directories(dir / "real");
        const std::string real = dir / c.real;
        if (c.exists) {
            kvtest::WriteFileBytes(real, "old");
            fs::permissions(real,
                            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        }
        std::string from = dir / c.link;
        std::vector<std::pair<std::string, std::string>> links;
        for (std::string text : c.chain) {
            if (text[0] == '@')
                text = dir / text.substr(1);
            fs::create_symlink(text, from);
            links.emplace_back(from, text);
            from = (fs::path(from).parent_path() / text).lexically_normal().string();
        }
        oOFileStream* out = NewOFileStream((dir / c.link).c_str(), false);
        out->writeString("new");
        out->close();
        for (const auto& [path, text] : links) {
            EXPECT_TRUE(fs::is_symlink(path)) << path << " stays a link";
            EXPECT_EQ(fs::read_symlink(path).string(), text);
        }
        EXPECT_EQ(kvtest::ReadFileBytes(real), "new");
        if (c.exists) {
            EXPECT_EQ(fs::status(real).permissions(),
                      fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        }
        EXPECT_EQ(kvtest::FolderNames(dir / "real").size(), 1u) << "no sibling is left";
    }
}

TEST_F(FileStreamTest, OnlyRegularFilesOfABoundedSizeAreRead) {
    const std::string fifo = m_dir / "general.prf";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = m_dir / "folder.pvx";
    std::filesystem::create_directories(folder);
    const std::string big = m_dir / "big.pvx";
    kvtest::WriteFileBytes(big, std::string(3u << 20, 'x'));
    const std::string small = m_dir / "small.pvx";
    kvtest::WriteFileBytes(small, "ok");
    const struct {
        std::string path;
        std::uint64_t limit;
        int code;
    } cases[] = {
        {fifo, 1u << 20, errNotRegularFile},
        {"/dev/zero", 1u << 20, errNotRegularFile},
        {folder, 1u << 20, errNotRegularFile},
        {big, 1u << 20, errFileTooLarge},
        {big, 4u << 20, 0},
        {small, 2, 0},
        {small, 1, errFileTooLarge},
        {m_dir / "absent.pvx", 1u << 20, errFileNotFound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + " " + std::to_string(c.limit));
        oIFileStream* in = nullptr;
        EXPECT_EQ(CatchFail([&] { in = NewIFileStream(c.path.c_str(), c.limit); }), c.code);
        if (c.code != 0) {
            // The message names the file.
            EXPECT_EQ(std::string(ErrorDetail()).rfind(c.path, 0), 0u) << ErrorDetail();
            continue;
        }
        ASSERT_NE(in, nullptr);
        EXPECT_EQ(in->readAll().size(), std::filesystem::file_size(c.path));
        in->destroy();
    }
    // The size limit is stated with the name.
    EXPECT_EQ(CatchFail([&] { NewIFileStream(big.c_str(), 1u << 20); }), errFileTooLarge);
    EXPECT_NE(std::string(ErrorDetail()).find("1 Mo"), std::string::npos) << ErrorDetail();
}

TEST_F(FileStreamTest, AFileWithoutReadPermissionIsReportedAsUnreadable) {
    const std::string path = m_dir / "secret.pvx";
    kvtest::WriteFileBytes(path, "text");
    std::filesystem::permissions(path, std::filesystem::perms::none);
    // The super-user reads anything: the check runs as nobody then (the folder lets nobody in).
    std::filesystem::permissions(m_dir.path(), std::filesystem::perms::others_exec,
                                 std::filesystem::perm_options::add);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::seteuid(65534), 0);
    }
    const int code = CatchFail([&] { NewIFileStream(path.c_str()); });
    if (root) {
        ASSERT_EQ(::seteuid(0), 0);
    }
    EXPECT_EQ(code, errFileUnreadable);
    EXPECT_STREQ(ErrorDetail(), path.c_str());
}
