#include "OverSrcs/oStreams.h"

#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(int c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

} // namespace

// ---- Compact numbers ----------------------------------------------------------------------------

int EncodeCompactNumber(std::int32_t v, char* out) {
    if (v > -32 && v < 32) {
        out[0] = static_cast<char>((v & 63) + 0x20);
        return 1;
    }
    const std::int64_t magnitude = v < 0 ? -static_cast<std::int64_t>(v) : v;
    int digits = 6;
    if (magnitude < (1 << 11)) {
        digits = 2;
    } else if (magnitude < (1 << 17)) {
        digits = 3;
    } else if (magnitude < (1 << 23)) {
        digits = 4;
    } else if (magnitude < (1 << 29)) {
        digits = 5;
    }
    out[0] = static_cast<char>('a' + digits - 1);
    for (int i = 0; i < digits; ++i) {
        // Arithmetic shifts keep the sign in the leading digit.
        const int shift = 6 * (digits - 1 - i);
        out[1 + i] = static_cast<char>(((v >> shift) & 63) + 0x20);
    }
    return 1 + digits;
}

// ---- oIStream -----------------------------------------------------------------------------------

int oIStream::getChar() {
    return -13;
}

void oIStream::unGetChar(int) {
    KV_ASSERT_FAILED("oIStream::unGetChar");
}

void oIStream::getBytes(void* buffer, std::int32_t n, std::int32_t& count) {
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::int32_t i = 0;
    for (; i < n; ++i) {
        const int b = nextByte();
        if (b < 0) {
            break;
        }
        out[i] = static_cast<std::uint8_t>(b);
    }
    count = i;
}

std::int32_t oIStream::getBinary(void*, std::int32_t) {
    KV_ASSERT_FAILED("oIStream::getBinary");
    return 0;
}

void oIStream::destroy() {
    delete this;
}

std::int32_t oIStream::getLine(char* buffer, std::int32_t size, int terminator) {
    if (buffer == nullptr || size <= 0) {
        return 0;
    }
    std::int32_t len = 0;
    while (len < size - 1) {
        const int b = nextByte();
        if (b < 0 || b == (terminator & 0xFF)) {
            break;
        }
        buffer[len++] = static_cast<char>(b);
    }
    buffer[len] = 0;
    return len;
}

std::int32_t oIStream::getNumber() {
    const int c = getChar();
    if (c == 0 || c == '}') {
        unGetChar(c);
        return 0;
    }
    if (c >= 0x20 && c <= 0x60) {
        return (c & 63) - 32;
    }
    if (c < 'b' || c > 'f') {
        Fail(errDataCorrupted);
    }
    const int more = c - 0x61;
    int d = getChar();
    if (d < 0) {
        Fail(errDataCorrupted); // the data ends inside the number
    }
    std::int64_t value = (d & 63) - 32;
    for (int i = 0; i < more; ++i) {
        d = getChar();
        if (d < 0) {
            Fail(errDataCorrupted);
        }
        value = value * 64 + ((d - 0x20) & 63);
    }
    // Only a damaged "f" form can leave the 32-bit range.
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        Fail(errDataCorrupted);
    }
    return static_cast<std::int32_t>(value);
}

void oIStream::skipTo(int byte) {
    for (;;) {
        const int b = nextByte();
        if (b < 0) {
            Fail(errDataCorrupted);
        }
        if (b == (byte & 0xFF)) {
            return;
        }
    }
}

std::int32_t oIStream::tell() {
    KV_ASSERT_FAILED("oIStream::tell");
    return 0;
}

void oIStream::seek(std::int32_t) {
    KV_ASSERT_FAILED("oIStream::seek");
}

void oIStream::getHexByte(std::uint8_t& out) {
    const int hi = HexValue(getChar());
    const int lo = HexValue(getChar());
    if (lo < 0) {
        return;
    }
    out = static_cast<std::uint8_t>(((hi < 0 ? 0 : hi) << 4) | lo);
}

void oIStream::getHex16(std::uint16_t& out) {
    std::uint8_t lo = static_cast<std::uint8_t>(out & 0xFF);
    std::uint8_t hi = static_cast<std::uint8_t>(out >> 8);
    getHexByte(lo);
    getHexByte(hi);
    out = static_cast<std::uint16_t>(lo | (hi << 8));
}

void oIStream::getHex32(std::uint32_t& out) {
    std::uint16_t lo = static_cast<std::uint16_t>(out & 0xFFFF);
    std::uint16_t hi = static_cast<std::uint16_t>(out >> 16);
    getHex16(lo);
    getHex16(hi);
    out = static_cast<std::uint32_t>(lo) | (static_cast<std::uint32_t>(hi) << 16);
}

void oIStream::getHexPair(std::uint32_t& a, std::uint32_t& b) {
    getHex32(a);
    getHex32(b);
}

void oIStream::getHexBytes(void* buffer, std::int32_t n) {
    auto* out = static_cast<std::uint8_t*>(buffer);
    CatchFail([&] {
        for (std::int32_t i = 0; i < n; ++i) {
            getHexByte(out[i]);
        }
    });
}

int oIStream::nextByte() {
    const int c = getChar();
    return c < 0 ? -1 : c;
}

std::int64_t oIStream::bytesLeft() {
    return -1;
}

// ---- oIMemoryStream -----------------------------------------------------------------------------

oIMemoryStream::oIMemoryStream(const std::uint8_t* buffer, std::uint32_t length)
    : m_start(buffer)
    , m_current(buffer)
    , m_end(buffer + (buffer == nullptr ? 0 : length)) {}

oIMemoryStream* oIMemoryStream::clone() const {
    return new oIMemoryStream(*this);
}

int oIMemoryStream::nextByte() {
    if (m_current >= m_end) {
        return -1;
    }
    const std::uint8_t c = *m_current++;
    if (c == 0) {
        return '\n';
    }
    if (c == '\r') {
        if (m_current < m_end && *m_current == '\n') {
            ++m_current;
        }
        return '\n';
    }
    return c;
}

int oIMemoryStream::getChar() {
    const int b = nextByte();
    return b < 0 ? -1 : static_cast<int>(static_cast<signed char>(b));
}

void oIMemoryStream::unGetChar(int) {
    if (m_current <= m_start) {
        KV_ASSERT_FAILED("unGetChar");
        return;
    }
    if (m_current - m_start >= 2 && m_current[-1] == '\n' && m_current[-2] == '\r') {
        m_current -= 2;
    } else {
        --m_current;
    }
}

std::int32_t oIMemoryStream::getBinary(void* buffer, std::int32_t n) {
    const auto k = std::min<std::int64_t>(std::max<std::int32_t>(n, 0), m_end - m_current);
    if (k > 0) {
        std::memcpy(buffer, m_current, static_cast<std::size_t>(k));
        m_current += k;
    }
    return static_cast<std::int32_t>(k);
}

std::int32_t oIMemoryStream::tell() {
    return static_cast<std::int32_t>(m_current - m_start);
}

std::int64_t oIMemoryStream::bytesLeft() {
    return m_end - m_current;
}

void oIMemoryStream::seek(std::int32_t offset) {
    // A position outside the buffer would point nowhere: it is held at the nearer edge.
    const std::int64_t size = m_end - m_start;
    m_current = m_start + std::clamp<std::int64_t>(offset, 0, size);
}

// ---- oIFileStream -------------------------------------------------------------------------------

oIFileStream::oIFileStream(std::FILE* file)
    : m_file(file) {}

oIFileStream::~oIFileStream() {
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
}

oIFileStream* oIFileStream::clone() const {
    KV_ASSERT_FAILED("oIFileStream::clone");
    return nullptr;
}

int oIFileStream::getChar() {
    const int c = std::fgetc(m_file);
    if (c == EOF) {
        return -1;
    }
    if (c == '\r') {
        const int next = std::fgetc(m_file);
        if (next != '\n' && next != EOF) {
            std::ungetc(next, m_file);
        }
        return '\n';
    }
    return c;
}

void oIFileStream::unGetChar(int c) {
    if (c >= 0) {
        std::ungetc(c & 0xFF, m_file);
    }
}

std::int32_t oIFileStream::getBinary(void* buffer, std::int32_t n) {
    if (n <= 0) {
        return 0;
    }
    return static_cast<std::int32_t>(std::fread(buffer, 1, static_cast<std::size_t>(n), m_file));
}

void oIFileStream::destroy() {
    std::FILE* file = m_file;
    m_file = nullptr;
    const int rc = std::fclose(file);
    const int err = errno;
    delete this;
    if (rc != 0) {
        FailFromErrno(err);
    }
}

std::int32_t oIFileStream::tell() {
    return static_cast<std::int32_t>(std::ftell(m_file));
}

void oIFileStream::seek(std::int32_t offset) {
    std::fseek(m_file, offset, SEEK_SET);
}

std::string ReadRestOfStream(oIStream& stream) {
    if (auto* file = dynamic_cast<oIFileStream*>(&stream)) {
        return file->readAll();
    }
    std::string data;
    for (int b = stream.nextByte(); b >= 0; b = stream.nextByte()) {
        data.push_back(static_cast<char>(b));
    }
    return data;
}

std::string oIFileStream::readAll() {
    std::string text;
    char chunk[1024];
    for (;;) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, m_file);
        text.append(chunk, n);
        if (n < sizeof chunk) {
            break;
        }
    }
    return text;
}

// ---- oIDataFileStream ---------------------------------------------------------------------------

oIDataFileStream::oIDataFileStream(const std::uint8_t* data, std::uint32_t length, int resourceId)
    : oIMemoryStream(data, length)
    , m_resourceId(resourceId) {}

oIDataFileStream* oIDataFileStream::clone() const {
    return new oIDataFileStream(*this);
}

// ---- oOStream -----------------------------------------------------------------------------------

oOStream* oOStream::clone() const {
    return new oOStream(*this);
}

std::uint32_t oOStream::write(const void*, std::uint32_t n) {
    m_count += n;
    return n;
}

void oOStream::writeString(const char* text) {
    if (text != nullptr) {
        write(text, static_cast<std::uint32_t>(std::strlen(text)));
    }
}

void oOStream::putChar(int byte) {
    const auto b = static_cast<std::uint8_t>(byte);
    write(&b, 1);
}

void oOStream::printf(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
}

void oOStream::vprintf(const char* format, std::va_list args) {
    std::va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(nullptr, 0, format, args);
    if (needed <= 0) {
        va_end(again);
        return;
    }
    std::vector<char> text(static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    write(text.data(), static_cast<std::uint32_t>(needed));
}

void oOStream::writeLine(const char* text) {
    writeString(text);
    putChar('\n');
}

void oOStream::printLine(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    putChar('\n');
}

void oOStream::putNumber(std::int32_t value) {
    char text[8];
    write(text, static_cast<std::uint32_t>(EncodeCompactNumber(value, text)));
}

void oOStream::putHexByte(std::uint8_t byte) {
    const char text[2] = {kHexDigits[byte >> 4], kHexDigits[byte & 15]};
    write(text, 2);
}

void oOStream::putHex16(std::uint16_t v) {
    putHexByte(static_cast<std::uint8_t>(v & 0xFF));
    putHexByte(static_cast<std::uint8_t>(v >> 8));
}

void oOStream::putHex32(std::uint32_t v) {
    putHex16(static_cast<std::uint16_t>(v & 0xFFFF));
    putHex16(static_cast<std::uint16_t>(v >> 16));
}

void oOStream::putHexPair(std::uint32_t a, std::uint32_t b) {
    putHex32(a);
    putHex32(b);
}

void oOStream::putHexBytes(const void* bytes, std::uint32_t n) {
    const auto* in = static_cast<const std::uint8_t*>(bytes);
    // An error ends the loop here; a file stream remembers it and fails again when it is closed,
    // so a damaged file is never committed.
    CatchFail([&] {
        for (std::uint32_t i = 0; i < n; ++i) {
            putHexByte(in[i]);
        }
    });
}

void oOStream::close() {
    KV_ASSERT_FAILED("stream::close");
}

// ---- oOMemoryStream -----------------------------------------------------------------------------

oOMemoryStream::oOMemoryStream(std::uint32_t capacity)
    : m_start(nullptr)
    , m_current(nullptr)
    , m_end(nullptr) {
    if (capacity == 0) {
        capacity = 32;
    }
    m_start = new char[capacity];
    m_current = m_start;
    m_end = m_start + capacity;
}

oOMemoryStream::oOMemoryStream(char* buffer, std::uint32_t capacity, bool owned)
    : m_start(buffer)
    , m_current(buffer)
    , m_end(buffer + capacity)
    , m_owned(owned) {}

oOMemoryStream::~oOMemoryStream() {
    if (m_owned) {
        delete[] m_start;
    }
}

oOMemoryStream* oOMemoryStream::clone() const {
    auto* copy = new oOMemoryStream(capacity());
    std::memcpy(copy->m_start, m_start, size());
    copy->m_current = copy->m_start + size();
    copy->m_count = m_count;
    return copy;
}

std::uint32_t oOMemoryStream::write(const void* bytes, std::uint32_t n) {
    const auto* in = static_cast<const char*>(bytes);
    // Most writes are a few characters of one record: copied straight in while they fit and hold
    // no line feed.
    if (n <= 16 && static_cast<std::uint32_t>(m_end - m_current) >= n &&
        n <= std::numeric_limits<std::uint32_t>::max() - size()) {
        char* out = m_current;
        std::uint32_t i = 0;
        for (; i < n && in[i] != '\n'; ++i)
            out[i] = in[i];
        if (i == n) {
            m_current += n;
            m_count += n;
            return n;
        }
    }
    const char* stop = in + n;
    const char* lf = n == 0 ? nullptr : static_cast<const char*>(std::memchr(in, '\n', n));
    std::uint64_t lineFeeds = 0;
    for (const char* at = lf; at != nullptr;
         at = static_cast<const char*>(
             std::memchr(at + 1, '\n', static_cast<std::size_t>(stop - at - 1))))
        ++lineFeeds;
    const std::uint64_t need = n + lineFeeds;
    if (need > std::numeric_limits<std::uint32_t>::max() - static_cast<std::uint64_t>(size())) {
        Fail(errNoMemory);
    }
    if (static_cast<std::uint64_t>(m_end - m_current) < need) {
        grow(static_cast<std::uint32_t>(need));
    }
    m_count += static_cast<std::uint32_t>(need);
    // Each line feed goes out as CR LF; the runs between them are copied whole.
    const char* run = in;
    while (lf != nullptr) {
        std::memcpy(m_current, run, static_cast<std::size_t>(lf - run));
        m_current += lf - run;
        *m_current++ = '\r';
        *m_current++ = '\n';
        run = lf + 1;
        lf = static_cast<const char*>(std::memchr(run, '\n', static_cast<std::size_t>(stop - run)));
    }
    if (run < stop) {
        std::memcpy(m_current, run, static_cast<std::size_t>(stop - run));
        m_current += stop - run;
    }
    return n;
}

void oOMemoryStream::close() {
    KV_ASSERT_FAILED("oOMemoryStream::close");
}

void oOMemoryStream::grow(std::uint32_t n) {
    const std::uint64_t wanted = n + 2 * static_cast<std::uint64_t>(capacity());
    if (wanted > std::numeric_limits<std::uint32_t>::max()) {
        Fail(errNoMemory);
    }
    char* bigger = new (std::nothrow) char[wanted];
    if (bigger == nullptr) {
        Fail(errNoMemory);
    }
    const std::uint32_t used = size();
    std::memcpy(bigger, m_start, used);
    if (m_owned) {
        delete[] m_start;
    }
    m_owned = true;
    m_start = bigger;
    m_current = bigger + used;
    m_end = bigger + wanted;
}

void oOMemoryStream::detach(std::unique_ptr<char[]>& text, std::uint32_t& length) {
    length = size();
    text.reset(new char[static_cast<std::size_t>(length) + 1]());
    std::memcpy(text.get(), m_start, length);
    delete this;
}

std::string oOMemoryStream::detachString() {
    std::string text(m_start, size());
    delete this;
    return text;
}

// ---- oOFileStream -------------------------------------------------------------------------------

oOFileStream::oOFileStream(std::FILE* file, std::string target, std::string temporary, bool binary)
    : m_file(file)
    , m_temporaryFlag(target != temporary)
    , m_target(std::move(target))
    , m_temporary(std::move(temporary))
    , m_binary(binary) {}

oOFileStream::~oOFileStream() {
    if (m_file != nullptr) {
        discard(m_file);
        std::fclose(m_file);
        m_file = nullptr;
    }
}

oOFileStream* oOFileStream::clone() const {
    KV_ASSERT_FAILED("oOFileStream::clone");
    return nullptr;
}

void oOFileStream::discard(std::FILE* file) {
    // The unfinished sibling goes, unless its name was taken over by someone else meanwhile.
    RemoveOwnSibling(m_temporary.c_str(), file);
}

void oOFileStream::ioError(int err) {
    std::clearerr(m_file);
    if (m_failedWith == 0) {
        m_failedWith = err != 0 ? err : EIO;
    }
    discard(m_file);
    FailFromErrno(m_failedWith);
}

std::uint32_t oOFileStream::write(const void* bytes, std::uint32_t n) {
    m_count += n;
    if (m_failedWith != 0) {
        FailFromErrno(m_failedWith);
    }
    const auto* in = static_cast<const char*>(bytes);
    const char* newline = m_binary ? "\n" : "\r\n";
    const std::size_t newlineLength = m_binary ? 1 : 2;
    std::uint32_t run = 0;
    for (std::uint32_t i = 0; i <= n; ++i) {
        const bool atEnd = i == n;
        const char c = atEnd ? 0 : in[i];
        if (!atEnd && c != '\r' && c != '\n') {
            continue;
        }
        if (i > run) {
            m_pendingCR = false;
            if (std::fwrite(in + run, 1, i - run, m_file) != i - run) {
                ioError(errno);
            }
        }
        if (atEnd) {
            break;
        }
        run = i + 1;
        if (c == '\n' && m_pendingCR) {
            m_pendingCR = false; // the LF of a CR LF pair: the line end is written already
            continue;
        }
        if (std::fwrite(newline, 1, newlineLength, m_file) != newlineLength) {
            ioError(errno);
        }
        m_pendingCR = c == '\r';
    }
    return n;
}

void oOFileStream::writeRaw(const void* bytes, std::uint32_t n) {
    m_count += n;
    if (m_failedWith != 0) {
        FailFromErrno(m_failedWith);
    }
    m_pendingCR = false;
    if (n > 0 && std::fwrite(bytes, 1, n, m_file) != n) {
        ioError(errno);
    }
}

void oOFileStream::close() {
    std::FILE* file = m_file;
    m_file = nullptr;
    int err = m_failedWith;
    if (std::fflush(file) != 0 && err == 0) {
        err = errno != 0 ? errno : EIO;
    }
    if (std::ferror(file) && err == 0) {
        err = EIO;
    }
    // The sibling stays open (and so held) until it has replaced the target.
    int commitErr = 0;
    if (err == 0 && m_temporaryFlag) {
        commitErr = MoveTempFileOver(m_target.c_str(), m_temporary.c_str(), file);
    }
    if (err != 0 || commitErr != 0) {
        discard(file);
    }
    if (std::fclose(file) != 0 && err == 0 && commitErr == 0 && !m_temporaryFlag) {
        err = errno != 0 ? errno : EIO;
    }
    const std::string temporary = m_temporary;
    delete this;
    if (err != 0) {
        FailFromErrno(err);
    }
    if (commitErr != 0) {
        SetErrorDetail(temporary.c_str());
        Fail(ErrorCodeFromErrno(commitErr));
    }
}

// ---- EmbedStream --------------------------------------------------------------------------------

EmbedStream::EmbedStream(oGraphPort* port, Sink sink)
    : oOMemoryStream(m_first, kBufferSize, false)
    , m_first{}
    , m_port(port)
    , m_second{}
    , m_sink(sink) {}

EmbedStream::~EmbedStream() {
    flushBuffer();
}

EmbedStream* EmbedStream::clone() const {
    KV_ASSERT_FAILED("EmbedStream::clone");
    return nullptr;
}

std::uint32_t EmbedStream::write(const void* bytes, std::uint32_t n) {
    // Each piece doubles at most (LF becomes CR LF), so a piece of half the buffer always fits.
    const auto* in = static_cast<const char*>(bytes);
    for (std::uint32_t done = 0; done < n;) {
        const std::uint32_t piece = std::min<std::uint32_t>(n - done, kBufferSize / 2);
        oOMemoryStream::write(in + done, piece);
        done += piece;
    }
    return n;
}

void EmbedStream::grow(std::uint32_t) {
    flushBuffer();
}

void EmbedStream::flushBuffer() {
    const std::uint32_t used = size();
    if (used == 0) {
        return;
    }
    std::memcpy(m_second, m_start, used);
    m_current = m_start;
    if (m_sink != nullptr) {
        m_sink(m_port, m_second, used);
    }
}

// ---- Factories ----------------------------------------------------------------------------------

oIFileStream* NewIFileStream(const char* path, std::uint64_t maxBytes) {
    return new oIFileStream(OpenFileOrFail(path, "rb", maxBytes));
}

oIMemoryStream* NewIMemoryStream(const void* buffer, std::uint32_t length) {
    return new oIMemoryStream(static_cast<const std::uint8_t*>(buffer), length);
}

oOMemoryStream* NewOMemoryStream(std::uint32_t capacity) {
    return new oOMemoryStream(capacity);
}

oOFileStream* NewOFileStream(const char* path, bool binary) {
    // Saving through a link replaces the file it leads to and keeps the link.
    const std::string target = ResolveSaveTarget(path);
    // Siblings that interrupted saves of this file left behind go first.
    RemoveStaleSiblings(target.c_str());
    std::string temporary;
    // Always opened as bytes: the stream writes the line ends itself. A file that cannot be made
    // (read-only or missing folder) is reported by the name the user chose, with the reason.
    std::FILE* file = CreateSiblingOrFail(target.c_str(), temporary, path);
    return new oOFileStream(file, target, temporary, binary);
}

oIDataFileStream* NewIDataFileStream(int id) {
    const std::uint8_t* data = nullptr;
    std::uint32_t length = 0;
    if (!LoadDataFileResource(id, data, length)) {
        data = nullptr;
        length = 0;
    }
    return new oIDataFileStream(data, length, id);
}

EmbedStream* NewEmbedStream(oGraphPort* port, EmbedStream::Sink sink) {
    return new EmbedStream(port, sink);
}
