#pragma once
// Byte and text streams. Input streams read memory, files and the program's data resources;
// output streams count, fill memory, write files safely, or feed an embedded PostScript drawing.
// Streams convert line ends (files written as text get CR LF; input takes CR, LF and CR LF), carry
// the compact printable number format shared by the preference files and the expression encoding,
// and read and write hexadecimal.
//
// Errors go through Fail: 452 when a file cannot be opened, 462 for malformed data, and the
// code of the C library's error (see ErrorCodeFromErrno) when writing or closing fails.
//
// Lifetime: streams come from their factories and end with destroy() (input) or close()
// (output). A stream that is deleted instead (for instance while an error unwinds through an
// owner) releases what it holds: an output file stream then removes its unfinished file and never
// touches the target. oIStreamPtr and oOStreamPtr hold streams that way.

#include "OverSrcs/oGraph.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class oGraphPort;

// ---- Compact numbers ----------------------------------------------------------------------------
// One signed 32-bit value as 1 to 7 printable characters (0x20-0x66): small values as one digit,
// others as a lead letter "b" to "f" and 2 to 6 six-bit digits, most significant first.

// Appends the encoding of v to out; returns the number of characters.
int EncodeCompactNumber(std::int32_t v, char* out);

// ---- Input --------------------------------------------------------------------------------------

class oIStream : public oObject {
public:
    oIStream* clone() const override = 0;
    // Next byte, or -1 at the end. The base answers -13 (no data).
    virtual int getChar();
    virtual void unGetChar(int c);
    // Reads until n bytes or the end of the data; the count read goes to count.
    virtual void getBytes(void* buffer, std::int32_t n, std::int32_t& count);
    // Up to n bytes unconverted; returns the count.
    virtual std::int32_t getBinary(void* buffer, std::int32_t n);
    // Ends the stream (deletes it).
    virtual void destroy();
    // At most size - 1 bytes, stopping at the terminator (consumed, not stored) or the end; the
    // text is terminated. Returns its length.
    virtual std::int32_t getLine(char* buffer, std::int32_t size, int terminator);
    // A compact number; malformed data fails with errDataCorrupted.
    virtual std::int32_t getNumber();
    // Reads up to and including the byte; reaching the end first fails with errDataCorrupted.
    virtual void skipTo(int byte);
    virtual std::int32_t tell();
    virtual void seek(std::int32_t offset);
    // Two hex digits, high nibble first. A first character that is no digit counts as 0; when the
    // second is no digit, out is left as it was.
    virtual void getHexByte(std::uint8_t& out);
    virtual void getHex16(std::uint16_t& out); // low byte first
    virtual void getHex32(std::uint32_t& out); // low half first
    virtual void getHexPair(std::uint32_t& a, std::uint32_t& b);
    virtual void getHexBytes(void* buffer, std::int32_t n);

    // Next byte 0-255 with the line-end rules of getChar, or -1 only at the real end of the data
    // (getChar of a memory stream cannot tell byte 0xFF from the end).
    virtual int nextByte();
    // The bytes left from the position to the end, or -1 when the stream cannot tell.
    virtual std::int64_t bytesLeft();

    ~oIStream() override = default;

protected:
    oIStream() = default;
    oIStream(const oIStream&) = default;
};

class oIMemoryStream : public oIStream {
public:
    oIMemoryStream(const std::uint8_t* buffer, std::uint32_t length);
    oIMemoryStream* clone() const override;
    // Bytes 0x80-0xFF come back sign-extended (negative); a 0 byte, CR, and CR LF read as LF.
    int getChar() override;
    // Steps back over the last character read (a CR LF pair as one); never writes the buffer.
    void unGetChar(int c) override;
    std::int32_t getBinary(void* buffer, std::int32_t n) override;
    std::int32_t tell() override;
    void seek(std::int32_t offset) override;
    int nextByte() override;
    std::int64_t bytesLeft() override;

    const std::uint8_t* start() const { return m_start; }
    const std::uint8_t* current() const { return m_current; }
    const std::uint8_t* end() const { return m_end; }

protected:
    const std::uint8_t* m_start;
    const std::uint8_t* m_current;
    const std::uint8_t* m_end;
};

class oIFileStream : public oIStream {
public:
    explicit oIFileStream(std::FILE* file);
    ~oIFileStream() override;
    // Files are not cloned: logs and answers null.
    oIFileStream* clone() const override;
    // 0-255; CR and CR LF read as LF.
    int getChar() override;
    void unGetChar(int c) override;
    std::int32_t getBinary(void* buffer, std::int32_t n) override;
    // Closes the file; a failed close fails with the C library's error once the stream is gone.
    void destroy() override;
    std::int32_t tell() override;
    void seek(std::int32_t offset) override;
    // The rest of the file, unconverted.
    virtual std::string readAll();

private:
    std::FILE* m_file;
};

// Everything from the stream's position to its end, unconverted for files.
std::string ReadRestOfStream(oIStream& stream);

class oIDataFileStream : public oIMemoryStream {
public:
    oIDataFileStream(const std::uint8_t* data, std::uint32_t length, int resourceId);
    oIDataFileStream* clone() const override;

    int resourceId() const { return m_resourceId; }

private:
    int m_resourceId;
};

// ---- Output -------------------------------------------------------------------------------------

class oOStream : public oObject {
public:
    oOStream() = default;
    oOStream* clone() const override;
    // Returns n. The base only counts.
    virtual std::uint32_t write(const void* bytes, std::uint32_t n);
    virtual void writeString(const char* text);
    virtual void putChar(int byte);
    // printf into the stream, with no limit on the length.
    void printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    virtual void vprintf(const char* format, std::va_list args);
    virtual void writeLine(const char* text);
    void printLine(const char* format, ...) __attribute__((format(printf, 2, 3)));
    virtual void putNumber(std::int32_t value);
    virtual void putHexByte(std::uint8_t byte); // two upper-case digits, high nibble first
    virtual void putHex16(std::uint16_t v);     // low byte first
    virtual void putHex32(std::uint32_t v);     // low half first
    virtual void putHexPair(std::uint32_t a, std::uint32_t b);
    virtual void putHexBytes(const void* bytes, std::uint32_t n);
    // File kind: finishes and commits the file, then deletes the stream. The base only logs.
    virtual void close();

    // Bytes written so far.
    std::uint32_t count() const { return m_count; }

    ~oOStream() override = default;

protected:
    oOStream(const oOStream&) = default;
    std::uint32_t m_count = 0;
};

class oOMemoryStream : public oOStream {
public:
    explicit oOMemoryStream(std::uint32_t capacity);
    ~oOMemoryStream() override;
    oOMemoryStream* clone() const override;
    // Each LF is stored as CR LF; the count includes the added CRs.
    std::uint32_t write(const void* bytes, std::uint32_t n) override;
    // Memory streams end with detach: close only logs.
    void close() override;
    // Makes room for n more bytes: capacity becomes n + twice the old capacity.
    virtual void grow(std::uint32_t n);
    // Hands out the bytes in a new block one byte longer than length (so text is terminated) and
    // deletes the stream.
    virtual void detach(std::unique_ptr<char[]>& text, std::uint32_t& length);
    // The same as a string.
    std::string detachString();

    std::uint32_t size() const { return static_cast<std::uint32_t>(m_current - m_start); }
    std::uint32_t capacity() const { return static_cast<std::uint32_t>(m_end - m_start); }
    const char* data() const { return m_start; }

protected:
    oOMemoryStream(char* buffer, std::uint32_t capacity, bool owned);
    char* m_start;
    char* m_current;
    char* m_end;
    bool m_owned = true;
};

class oOFileStream : public oOStream {
public:
    oOFileStream(std::FILE* file, std::string target, std::string temporary, bool binary);
    // Without close: the unfinished file is removed and the target is left alone.
    ~oOFileStream() override;
    // Files are not cloned: logs and answers null.
    oOFileStream* clone() const override;
    // Counts n. Text files get CR LF for each line end, binary files LF; a CR LF pair (also split
    // across two writes), a lone CR and a lone LF each make one line end.
    std::uint32_t write(const void* bytes, std::uint32_t n) override;
    // Closes the file and moves it over the target, then deletes the stream. A failure (now or
    // earlier while writing) removes the unfinished file, leaves the target as it was, deletes the
    // stream and fails with the error's code.
    void close() override;
    // The bytes exactly as given.
    void writeRaw(const void* bytes, std::uint32_t n);

    const std::string& targetPath() const { return m_target; }
    const std::string& temporaryPath() const { return m_temporary; }

private:
    [[noreturn]] void ioError(int err);
    void discard(std::FILE* file);
    std::FILE* m_file;
    bool m_temporaryFlag;
    std::string m_target;
    std::string m_temporary;
    bool m_binary;
    bool m_pendingCR = false;
    int m_failedWith = 0; // errno of an earlier failure: close fails again instead of committing
};

// Fills a 1024-byte buffer; each time it is full its bytes are copied into the second buffer and
// handed to the sink, and writing starts again at the front. Writes of any length are split into
// pieces that fit.
class EmbedStream : public oOMemoryStream {
public:
    using Sink = void (*)(oGraphPort* port, const char* bytes, std::uint32_t n);
    static constexpr std::uint32_t kBufferSize = 1024;
    EmbedStream(oGraphPort* port, Sink sink);
    // Hands over what is still buffered.
    ~EmbedStream() override;
    EmbedStream* clone() const override;
    std::uint32_t write(const void* bytes, std::uint32_t n) override;
    void grow(std::uint32_t n) override;

    oGraphPort* port() const { return m_port; }

private:
    void flushBuffer();
    char m_first[kBufferSize];
    oGraphPort* m_port;
    char m_second[kBufferSize];
    Sink m_sink;
};

// ---- Factories ----------------------------------------------------------------------------------

// Opens in binary mode a regular file of at most maxBytes (see OpenFileOrFail); a missing file
// fails with errFileNotFound and the path as detail.
oIFileStream* NewIFileStream(const char* path,
                             std::uint64_t maxBytes = 256u << 20); // kLargestOpenedFile
oIMemoryStream* NewIMemoryStream(const void* buffer, std::uint32_t length);
// Capacity 0 means 32 bytes.
oOMemoryStream* NewOMemoryStream(std::uint32_t capacity);
// Writes a temporary sibling (see MakeTempSibling) and moves it into place on close, so even a
// first save never leaves a half-written file under the chosen name; a symbolic link is saved
// through (the file it leads to is replaced), and siblings left by interrupted saves of the file
// are removed first. binary false: text mode (line ends as CR LF).
oOFileStream* NewOFileStream(const char* path, bool binary);
// A memory stream over program data resource `id`; a missing resource gives an empty stream.
oIDataFileStream* NewIDataFileStream(int id);
EmbedStream* NewEmbedStream(oGraphPort* port, EmbedStream::Sink sink = nullptr);

// ---- Owners -------------------------------------------------------------------------------------

struct oIStreamDeleter {
    void operator()(oIStream* s) const { delete s; }
};
struct oOStreamDeleter {
    void operator()(oOStream* s) const { delete s; }
};
using oIStreamPtr = std::unique_ptr<oIStream, oIStreamDeleter>;
using oOStreamPtr = std::unique_ptr<oOStream, oOStreamDeleter>;

// Ends a held stream the regular way (destroy / close), which may fail.
inline void DestroyStream(oIStreamPtr& stream) {
    if (stream) {
        stream.release()->destroy();
    }
}
inline void CloseStream(oOStreamPtr& stream) {
    if (stream) {
        stream.release()->close();
    }
}
