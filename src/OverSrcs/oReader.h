#pragma once
// Keyed-line records: the text format of the preference files, the document lines (which also sit
// inside EPS and PNG exports) and the translator files.
//
// A record is one line: a two-letter tag, then compact numbers written back to back, or text that
// runs to the end of the line. A line may start with "%%", so the same records can stand as
// PostScript comments. Lines that start with a TAB (or "%%" and a TAB) continue the record above:
// a handler may read them, and whatever no handler took is skipped.
//
// Reading: install up to 64 handlers by tag, then read. Each known record's handler runs inside its
// own error environment; a handler that fails (a short record fails with 462 from getNumber) loses
// only its own line, and reading goes on with the next one; one the user or a termination signal
// stopped (errUserInterrupt) stops the whole read with that code. Unknown tags are skipped. A
// handler may read past its own line (an expression encoding runs over several lines); reading
// continues where it stopped. Handlers should collect their fields into a local record and commit
// them only once every required field has been read, so that a damaged record changes nothing.
//
// Writing: WriteRecordTag, then putNumber per number (or WriteRecordText last), then EndRecord.

#include <cstdint>
#include <string>
#include <string_view>

class oIStream;
class oIMemoryStream;
class oOStream;
class oReader;

// Called with the stream just after the record's tag.
using oReaderHandler = void (*)(oReader& reader, void* context);
// Called with one line of a plain-line file (see oReader::readPlainLines).
using oLineHandler = void (*)(std::string_view line, bool overLong, void* context);

constexpr int kMaxReaderHandlers = 64;

class oReader {
public:
    oReader() = default;
    oReader(const oReader&) = delete;
    oReader& operator=(const oReader&) = delete;

    // Reads every record from the stream's position to the end of its data (the stream is left at
    // its end). Damaged records are skipped and counted; fails only when a handler was stopped
    // (errUserInterrupt).
    void read(oIStream& stream);
    void readMemory(const void* data, std::uint32_t length);
    // Files of plain lines, one entry a line and no tags (the function names): hands every line of
    // the stream to `handler`, without its line end (LF, CR or CR LF; a zero byte stays in the
    // line), keeping at most `max` bytes of it; `overLong` tells that more were dropped. Empty
    // lines are handed over too.
    static void readPlainLines(oIStream& stream, std::uint32_t max, oLineHandler handler,
                               void* context);

    // ---- For handlers ----
    // The stream being read, positioned inside the current record.
    oIStream& stream();
    // The next compact number of the record; fails with 462 when the line ends first.
    std::int32_t getNumber();
    // True unless the record's line ends here (for optional trailing fields).
    bool hasMore();
    // The rest of the line as text, at most max bytes (the remainder of a longer line is skipped).
    std::string restOfLine(std::uint32_t max);
    // When the next line continues this record (it starts with a TAB, or "%%" and a TAB), reads it
    // (without the TAB, at most max bytes kept) into text and answers true; otherwise leaves the
    // position alone and answers false.
    bool continuationLine(std::string& text, std::uint32_t max);
    // The two letters of the record being handled.
    const char* tag() const { return m_tag; }
    // The record being read was written behind the "%%" comment prefix.
    bool commented() const { return m_commented; }

    // ---- After a read ----
    int recordsRead() const { return m_recordsRead; }
    int recordsFailed() const { return m_recordsFailed; }
    // The code the first failing handler failed with, or 0.
    int firstFailure() const { return m_firstFailure; }
    int handlerCount() const { return m_count; }

private:
    friend void oInstallReaderHandler(oReader& reader, const char* tag, oReaderHandler handler,
                                      void* context);
    friend void oInstallUnknownRecordHandler(oReader& reader, oReaderHandler handler,
                                             void* context);
    struct Entry {
        char tag[2];
        oReaderHandler handler;
        void* context;
    };
    void readLines(oIMemoryStream& in);
    const Entry* find(char a, char b) const;
    int peek(std::uint32_t ahead) const;
    void skipLine();

    Entry m_entries[kMaxReaderHandlers] = {};
    int m_count = 0;
    Entry m_unknown = {};
    oIMemoryStream* m_in = nullptr;
    char m_tag[3] = {0, 0, 0};
    bool m_commented = false;
    int m_recordsRead = 0;
    int m_recordsFailed = 0;
    int m_firstFailure = 0;
};

// Registers handler for the two-letter tag (case-sensitive); a tag already present gets the new
// handler. With 64 tags installed a further tag logs "oReader full" and is ignored.
void oInstallReaderHandler(oReader& reader, const char* tag, oReaderHandler handler, void* context);
// Registers the handler of every record whose tag has none (for a file that keeps the records a
// later version wrote); without one such records are skipped.
void oInstallUnknownRecordHandler(oReader& reader, oReaderHandler handler, void* context);

// ---- Writer -------------------------------------------------------------------------------------

// Starts a record: "%%" when commentPrefix is set, then the two letters of tag.
void WriteRecordTag(oOStream& stream, const char* tag, bool commentPrefix = false);
// Text as the last field of a record: written raw, with CR and LF turned into blanks.
void WriteRecordText(oOStream& stream, const char* text);
// Ends the record's line.
void EndRecord(oOStream& stream);
