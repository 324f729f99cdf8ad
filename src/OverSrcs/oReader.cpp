#include "OverSrcs/oReader.h"

#include "OverPc/PERROR.h"
#include "OverSrcs/oStreams.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

bool IsLineEnd(int raw) {
    return raw < 0 || raw == '\n' || raw == '\r' || raw == 0;
}

} // namespace

// ---- Installing ---------------------------------------------------------------------------------

void oInstallReaderHandler(oReader& reader, const char* tag, oReaderHandler handler,
                           void* context) {
    if (tag == nullptr || tag[0] == 0 || tag[1] == 0) {
        KV_ASSERT_FAILED("oInstallReaderHandler tag");
        return;
    }
    for (int i = 0; i < reader.m_count; ++i) {
        oReader::Entry& e = reader.m_entries[i];
        if (e.tag[0] == tag[0] && e.tag[1] == tag[1]) {
            e.handler = handler;
            e.context = context;
            return;
        }
    }
    if (reader.m_count >= kMaxReaderHandlers) {
        KV_ASSERT_FAILED("oReader full");
        return;
    }
    reader.m_entries[reader.m_count++] = {{tag[0], tag[1]}, handler, context};
}

void oInstallUnknownRecordHandler(oReader& reader, oReaderHandler handler, void* context) {
    reader.m_unknown = {{0, 0}, handler, context};
}

const oReader::Entry* oReader::find(char a, char b) const {
    for (int i = 0; i < m_count; ++i) {
        if (m_entries[i].tag[0] == a && m_entries[i].tag[1] == b) {
            return &m_entries[i];
        }
    }
    return m_unknown.handler != nullptr ? &m_unknown : nullptr;
}

// ---- Reading ------------------------------------------------------------------------------------

void oReader::read(oIStream& stream) {
    if (auto* memory = dynamic_cast<oIMemoryStream*>(&stream)) {
        readLines(*memory);
        return;
    }
    // Other streams are read whole first: the reader looks ahead at line starts, which only a
    // memory stream allows without consuming.
    const std::string data = ReadRestOfStream(stream);
    readMemory(data.data(), static_cast<std::uint32_t>(data.size()));
}

void oReader::readMemory(const void* data, std::uint32_t length) {
    oIMemoryStream in(static_cast<const std::uint8_t*>(data), data == nullptr ? 0 : length);
    readLines(in);
}

void oReader::readPlainLines(oIStream& stream, std::uint32_t max, oLineHandler handler,
                             void* context) {
    const std::string data = ReadRestOfStream(stream);
    const std::size_t size = data.size();
    std::size_t start = 0;
    while (start <= size) {
        std::size_t end = start;
        while (end < size && data[end] != '\n' && data[end] != '\r')
            ++end;
        if (end == size && start == size && size != 0 &&
            (data[size - 1] == '\n' || data[size - 1] == '\r'))
            break; // the last line had its line end
        const std::size_t length = end - start;
        handler(std::string_view(data).substr(start, std::min<std::size_t>(length, max)),
                length > max, context);
        if (end < size && data[end] == '\r' && end + 1 < size && data[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
}

int oReader::peek(std::uint32_t ahead) const {
    const std::uint8_t* p = m_in->current() + ahead;
    return p < m_in->end() ? *p : -1;
}

void oReader::skipLine() {
    for (int b = m_in->nextByte(); b >= 0 && b != '\n'; b = m_in->nextByte()) {
    }
}

void oReader::readLines(oIMemoryStream& in) {
    m_in = &in;
    m_recordsRead = 0;
    m_recordsFailed = 0;
    m_firstFailure = 0;
    for (;;) {
        int c = in.nextByte();
        if (c < 0) {
            break;
        }
        if (c == '\n') {
            continue; // an empty line
        }
        m_commented = c == '%' && peek(0) == '%';
        if (m_commented) {
            in.nextByte();
            c = in.nextByte();
            if (c < 0) {
                break;
            }
            if (c == '\n') {
                continue;
            }
        }
        if (c == '\t') {
            skipLine(); // a continuation line that no handler took
            continue;
        }
        const int c2 = in.nextByte();
        if (c2 < 0) {
            break;
        }
        if (c2 == '\n') {
            continue; // a line of one byte holds no record
        }
        const Entry* entry = find(static_cast<char>(c), static_cast<char>(c2));
        if (entry == nullptr) {
            skipLine();
            continue;
        }
        m_tag[0] = static_cast<char>(c);
        m_tag[1] = static_cast<char>(c2);
        const int code = CatchFail([&] { entry->handler(*this, entry->context); });
        // A record the user or a termination signal stopped stops the whole read.
        if (code == errUserInterrupt)
            Fail(errUserInterrupt);
        if (code != 0) {
            ++m_recordsFailed;
            if (m_firstFailure == 0) {
                m_firstFailure = code;
            }
        } else {
            ++m_recordsRead;
        }
        // Go on at the next line start: a handler that stopped inside a line loses the rest of it,
        // one that read through a line end (or several lines) has already left its record.
        const std::uint8_t* at = in.current();
        const bool atLineStart =
            at > in.start() && (at[-1] == '\n' || at[-1] == '\r' || at[-1] == 0);
        if (!atLineStart) {
            skipLine();
        }
    }
    m_in = nullptr;
    m_tag[0] = m_tag[1] = 0;
}

// ---- Handler helpers ----------------------------------------------------------------------------

oIStream& oReader::stream() {
    if (m_in == nullptr) {
        KV_ASSERT_FAILED("oReader::stream outside a read");
        Fail(errDataCorrupted);
    }
    return *m_in;
}

bool oReader::hasMore() {
    return m_in != nullptr && !IsLineEnd(peek(0));
}

std::int32_t oReader::getNumber() {
    // The whole number must lie on the record's line: a record cut short fails here instead of
    // taking the next line's bytes as digits.
    const int lead = hasMore() ? peek(0) : -1;
    std::uint32_t digits = 0;
    if (lead >= 0x20 && lead <= 0x60) {
        digits = 0;
    } else if (lead >= 'b' && lead <= 'f') {
        digits = static_cast<std::uint32_t>(lead - 0x60);
    } else {
        Fail(errDataCorrupted);
    }
    for (std::uint32_t i = 1; i <= digits; ++i) {
        if (IsLineEnd(peek(i))) {
            Fail(errDataCorrupted);
        }
    }
    return m_in->getNumber();
}

std::string oReader::restOfLine(std::uint32_t max) {
    std::string text;
    while (hasMore()) {
        const int b = m_in->nextByte();
        if (text.size() < max) {
            text.push_back(static_cast<char>(b));
        }
    }
    return text;
}

bool oReader::continuationLine(std::string& text, std::uint32_t max) {
    if (m_in == nullptr) {
        return false;
    }
    const std::int32_t back = m_in->tell();
    const std::uint8_t* at = m_in->current();
    if (!(at > m_in->start() && (at[-1] == '\n' || at[-1] == '\r' || at[-1] == 0))) {
        skipLine();
    }
    std::uint32_t prefix = 0;
    if (peek(0) == '%' && peek(1) == '%') {
        prefix = 2;
    }
    if (peek(prefix) != '\t') {
        m_in->seek(back);
        return false;
    }
    for (std::uint32_t i = 0; i <= prefix; ++i) {
        m_in->nextByte();
    }
    text = restOfLine(max);
    return true;
}

// ---- Writer -------------------------------------------------------------------------------------

void WriteRecordTag(oOStream& stream, const char* tag, bool commentPrefix) {
    if (commentPrefix) {
        stream.write("%%", 2);
    }
    stream.write(tag, 2);
}

void WriteRecordText(oOStream& stream, const char* text) {
    std::string line = text == nullptr ? std::string() : std::string(text);
    for (char& ch : line) {
        if (ch == '\r' || ch == '\n') {
            ch = ' ';
        }
    }
    stream.write(line.data(), static_cast<std::uint32_t>(line.size()));
}

void EndRecord(oOStream& stream) {
    stream.putChar('\n');
}
