#include "OverSrcs/oReader.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/oStreams.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string N(std::int32_t v) {
    char text[8];
    return std::string(text, static_cast<std::size_t>(EncodeCompactNumber(v, text)));
}

// Handlers append what they committed to the log, so a test sees exactly which records counted.
struct Log {
    std::string text;
};

// "Nm": two required numbers and an optional third.
void NumbersHandler(oReader& r, void* context) {
    const std::int32_t a = r.getNumber();
    const std::int32_t b = r.getNumber();
    const std::int32_t c = r.hasMore() ? r.getNumber() : -1;
    static_cast<Log*>(context)->text +=
        "Nm(" + std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c) + ")";
}

// "Tx": text to the end of the line, at most 8 bytes.
void TextHandler(oReader& r, void* context) {
    static_cast<Log*>(context)->text += "Tx[" + r.restOfLine(8) + "]";
}

// "Ct": text on its line and on any continuation lines.
void ContinuedHandler(oReader& r, void* context) {
    std::string all = r.restOfLine(100);
    std::string more;
    while (r.continuationLine(more, 100)) {
        all += "/" + more;
    }
    static_cast<Log*>(context)->text += "Ct[" + all + "]";
}

// "Ex": runs over lines up to "]|[", as an embedded expression encoding does.
void RunOnHandler(oReader& r, void* context) {
    std::string seen;
    oIStream& in = r.stream();
    while (seen.size() < 3 || seen.compare(seen.size() - 3, 3, "]|[") != 0) {
        const int b = in.nextByte();
        if (b < 0) {
            Fail(errDataCorrupted);
        }
        if (b != '\n') {
            seen.push_back(static_cast<char>(b));
        }
    }
    static_cast<Log*>(context)->text += "Ex[" + seen + "]";
}

// "Fx": reads through its own line end, then fails at the start of the next line.
void FailAtNextLineHandler(oReader& r, void*) {
    r.stream().skipTo('\n');
    Fail(errDataCorrupted);
}

struct ReadResult {
    std::string log;
    int read = 0;
    int failed = 0;
    int firstFailure = 0;
};

ReadResult ReadAll(const std::string& data) {
    Log log;
    oReader reader;
    oInstallReaderHandler(reader, "Nm", NumbersHandler, &log);
    oInstallReaderHandler(reader, "Tx", TextHandler, &log);
    oInstallReaderHandler(reader, "Ct", ContinuedHandler, &log);
    oInstallReaderHandler(reader, "Ex", RunOnHandler, &log);
    oInstallReaderHandler(reader, "Fx", FailAtNextLineHandler, &log);
    oIStreamPtr in(NewIMemoryStream(data.data(), static_cast<std::uint32_t>(data.size())));
    reader.read(*in);
    return {log.text, reader.recordsRead(), reader.recordsFailed(), reader.firstFailure()};
}

struct Case {
    const char* name;
    std::string data;
    std::string log;
    int failed;
};

TEST(oReader, ReadsRecordsAndSkipsWhatIsNotOne) {
    const Case cases[] = {
        {"plain records", "Nm" + N(1) + N(-2) + "\nTxhello\n", "Nm(1,-2,-1)Tx[hello]", 0},
        {"optional field and large numbers", "Nm" + N(70000) + N(-5000000) + N(2147483647) + "\n",
         "Nm(70000,-5000000,2147483647)", 0},
        {"behind %% among PostScript lines",
         "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 10 10\n%%Nm" + N(3) + N(4) +
             "\nnewpath 0 0 moveto\n%%EOF\n%%Txok\n",
         "Nm(3,4,-1)Tx[ok]", 0},
        {"unknown tags, empty and one-byte lines", "Zz" + N(9) + "\n\n\nQ\n%%\n%\nTxa\n", "Tx[a]",
         0},
        {"CR LF and lone CR line ends", "Txa\r\nNm" + N(1) + N(2) + "\rTxb", "Tx[a]Nm(1,2,-1)Tx[b]",
         0},
        {"short record changes nothing, next line still read", "Nm" + N(1) + "\nTxnext\n",
         "Tx[next]", 1},
        {"number cut by the line end", "Nm" + N(1) + N(100000).substr(0, 2) + "\nTxnext\n",
         "Tx[next]", 1},
        {"malformed lead byte", "Nm~~\nTxnext\n", "Tx[next]", 1},
        {"long text is cut, rest of line dropped", "Tx0123456789\nTxb\n", "Tx[01234567]Tx[b]", 0},
        {"extra fields are ignored", "Nm" + N(1) + N(2) + N(3) + N(4) + "\nTxb\n", "Nm(1,2,3)Tx[b]",
         0},
        {"handler reads past its line", "%%Exab\n%%\t|cd|]|[\n%%Txz\n", "Ex[ab%%\t|cd|]|[]Tx[z]",
         0},
        {"continuation lines nobody took are skipped",
         "Txa\n\tNm" + N(1) + N(2) + "\n%%\tTxq\nTxb\n", "Tx[a]Tx[b]", 0},
        {"continuation lines taken by their record", "Cta\n\tb\n%%\tc\nTxd\n", "Ct[a/b/c]Tx[d]", 0},
        {"continuation at the end of data", "Cta\n\tb", "Ct[a/b]", 0},
        {"failure at a line start keeps the next line", "Fx\nTxkept\n", "Tx[kept]", 1},
        {"run-on record cut by the end of data", "Txa\nExab\n%%\tno end", "Tx[a]", 1},
        {"tags are case-sensitive", "tx1\nTX2\nTx3\n", "Tx[3]", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ReadResult r = ReadAll(c.data);
        EXPECT_EQ(r.log, c.log);
        EXPECT_EQ(r.failed, c.failed);
        EXPECT_EQ(r.firstFailure, c.failed ? errDataCorrupted : 0);
    }
}

TEST(oReader, HandlerTable) {
    Log first, second;
    oReader reader;
    oInstallReaderHandler(reader, "Tx", TextHandler, &first);
    oInstallReaderHandler(reader, "Tx", TextHandler, &second); // replaces
    for (int i = 1; i < kMaxReaderHandlers; ++i) {
        const char tag[3] = {static_cast<char>('A' + i / 26), static_cast<char>('a' + i % 26), 0};
        oInstallReaderHandler(reader, tag, NumbersHandler, &first);
    }
    EXPECT_EQ(reader.handlerCount(), kMaxReaderHandlers);
    oInstallReaderHandler(reader, "zz", TextHandler, &first); // a 65th: ignored
    EXPECT_EQ(reader.handlerCount(), kMaxReaderHandlers);
    const std::string data = "Txa\nzzb\n";
    reader.readMemory(data.data(), static_cast<std::uint32_t>(data.size()));
    EXPECT_EQ(first.text, "");
    EXPECT_EQ(second.text, "Tx[a]");
}

TEST(oReader, WrittenRecordsReadBack) {
    oOMemoryStream* out = NewOMemoryStream(0);
    WriteRecordTag(*out, "Nm", true);
    for (std::int32_t v : {-2147483647 - 1, 12345678}) {
        out->putNumber(v);
    }
    EndRecord(*out);
    WriteRecordTag(*out, "Tx");
    WriteRecordText(*out, "a\r\nb\nc");
    EndRecord(*out);
    const std::string data = out->detachString();
    EXPECT_EQ(data.substr(0, 4), "%%Nm");
    const ReadResult r = ReadAll(data);
    EXPECT_EQ(r.log, "Nm(-2147483648,12345678,-1)Tx[a  b c]");
    EXPECT_EQ(r.read, 2);
}

} // namespace
