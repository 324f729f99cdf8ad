#include "OverSrcs/etTranslator.h"

#include "OverPc/PERROR.h"
#include "OverPc/PFILE.h"
#include "OverSrcs/eModelHooks.h"
#include "OverSrcs/oReader.h"
#include "OverSrcs/oStreams.h"

#include <cstring>
#include <memory>
#include <vector>

Translator::Translator() {
    for (FSSRecord& record : fonts)
        InitFSSRecord(record);
}

bool operator==(const Translator& a, const Translator& b) {
    if (a.escape != b.escape || a.entries != b.entries)
        return false;
    for (int32_t i = 0; i < kTranslatorFonts; ++i) {
        if (std::memcmp(&a.fonts[static_cast<size_t>(i)], &b.fonts[static_cast<size_t>(i)],
                        sizeof(FSSRecord)) != 0)
            return false;
    }
    return true;
}

bool FontRecordUsed(const FSSRecord& record) {
    return record.fontName[0] != 0 && std::strcmp(record.fontName, "*") != 0;
}

namespace {

void PutNumber(std::string& out, int32_t value) {
    char text[8];
    out.append(text, static_cast<size_t>(EncodeCompactNumber(value, text)));
}

// The state of one read: records go into a fresh translator, which replaces the caller's only when
// every record was read.
struct CatRead {
    Translator* result = nullptr;
    bool sawVersion = false;
    // What the running handler is reading; still set when it failed.
    const char* reading = nullptr;
    const char* problem = nullptr;
    int damaged = 0;

    void start(const char* what) {
        noteFailure();
        reading = what;
    }
    void done() { reading = nullptr; }
    void noteFailure() {
        if (reading != nullptr) {
            ++damaged;
            if (problem == nullptr)
                problem = reading;
            reading = nullptr;
        }
    }
    [[noreturn]] void fail(const char* what) {
        reading = what;
        Fail(errDataCorrupted);
    }
    void requireVersion() {
        if (!sawVersion)
            fail("ce n'est pas une table de conversion");
    }
};

uint8_t ByteField(oReader& reader) {
    const int32_t v = reader.getNumber();
    if (v < 0 || v > 255)
        Fail(errDataCorrupted);
    return static_cast<uint8_t>(v);
}

void ReadVe(oReader& reader, void* context) {
    auto& read = *static_cast<CatRead*>(context);
    read.start("version illisible");
    if (reader.getNumber() < 1)
        read.fail("version illisible");
    read.sawVersion = true;
    read.done();
}

void ReadEs(oReader& reader, void* context) {
    auto& read = *static_cast<CatRead*>(context);
    read.start("mode d'échappement illisible");
    read.requireVersion();
    const int32_t mode = reader.getNumber();
    if (mode < kEscapeNone || mode > kEscapeTeX)
        read.fail("mode d'échappement inconnu");
    read.result->escape = mode;
    read.done();
}

void ReadFo(oReader& reader, void* context) {
    auto& read = *static_cast<CatRead*>(context);
    read.start("police illisible");
    read.requireVersion();
    const int32_t block = reader.getNumber();
    FSSRecord record;
    InitFSSRecord(record);
    record.size = reader.getNumber();
    for (uint8_t& b : record.style)
        b = ByteField(reader);
    record.further = ByteField(reader);
    record.packed = ByteField(reader);
    record.shortcut = ByteField(reader);
    record.slippery = ByteField(reader);
    SetFSSFontName(record, reader.restOfLine(kFontNameSize));
    // A record without a face name (nothing before the line end, or "*") sets no font: the block
    // stays unset, as the writer leaves such a block out and a saved table must read back equal.
    if (!FontRecordUsed(record)) {
        record = FSSRecord();
        InitFSSRecord(record);
    }
    // A block out of range comes from a foreign file: the record is skipped.
    if (block >= 0 && block < kTranslatorFonts)
        read.result->fonts[static_cast<size_t>(block)] = record;
    read.done();
}

void ReadTr(oReader& reader, void* context) {
    auto& read = *static_cast<CatRead*>(context);
    read.start("code illisible");
    read.requireVersion();
    const int32_t code = reader.getNumber();
    std::string text = reader.restOfLine(kMaxTranslatorEntryBytes + 1);
    std::string more;
    while (text.size() <= kMaxTranslatorEntryBytes &&
           reader.continuationLine(more, kMaxTranslatorEntryBytes + 1)) {
        text.push_back('\n');
        text += more;
    }
    if (text.size() > kMaxTranslatorEntryBytes)
        read.fail("texte trop long");
    // A code out of range comes from a foreign file: the record is skipped.
    if (code >= 0 && code < kTranslatorEntries)
        read.result->entries[static_cast<size_t>(code)] = std::move(text);
    read.done();
}

} // namespace

bool ReadTranslatorText(std::string_view bytes, Translator& out, std::string& message) {
    if (bytes.size() > kMaxTranslatorFileBytes) {
        message = "Table de conversion trop grande";
        return false;
    }
    auto result = std::make_unique<Translator>();
    result->path = out.path;
    CatRead read;
    read.result = result.get();
    oReader reader;
    oInstallReaderHandler(reader, "Ve", &ReadVe, &read);
    oInstallReaderHandler(reader, "Es", &ReadEs, &read);
    oInstallReaderHandler(reader, "Fo", &ReadFo, &read);
    oInstallReaderHandler(reader, "Tr", &ReadTr, &read);
    reader.readMemory(bytes.data(), static_cast<uint32_t>(bytes.size()));
    read.noteFailure();
    if (read.damaged > 0 || !read.sawVersion) {
        message = "Table de conversion illisible : ";
        message += read.problem != nullptr ? read.problem : "ce n'est pas une table de conversion";
        if (read.damaged > 1)
            message += " (" + std::to_string(read.damaged) + " lignes endommagées)";
        return false;
    }
    out = std::move(*result);
    return true;
}

bool LoadTranslator(oIStream& stream, Translator& out, std::string& message) {
    std::string bytes;
    char buffer[4096];
    const int16_t failure = CatchFail([&] {
        for (;;) {
            const int32_t n = stream.getBinary(buffer, sizeof buffer);
            if (n <= 0)
                break;
            bytes.append(buffer, static_cast<size_t>(n));
            if (bytes.size() > kMaxTranslatorFileBytes)
                break;
        }
    });
    if (failure != 0) {
        message = BuildErrorText(failure);
        return false;
    }
    return ReadTranslatorText(bytes, out, message);
}

bool LoadTranslatorFile(const char* path, Translator& out, std::string& message) {
    if (path == nullptr || *path == 0) {
        message = "Table de conversion introuvable";
        return false;
    }
    oIStreamPtr stream;
    const int16_t failure =
        CatchFail([&] { stream.reset(NewIFileStream(path, kLargestPrefsFile)); });
    if (failure == errFileNotFound || (failure == 0 && !stream)) {
        message = std::string("Table de conversion introuvable : ") + path;
        return false;
    }
    if (failure != 0) {
        // Unreadable, no regular file or too large: the reason, with the file named.
        message = BuildErrorText(failure);
        return false;
    }
    Translator read;
    read.path = path;
    if (!LoadTranslator(*stream, read, message))
        return false;
    out = std::move(read);
    return true;
}

std::string TranslatorText(const Translator& translator) {
    std::string out;
    out += "Ve";
    PutNumber(out, kTranslatorFormatVersion);
    out += "\r\nEs";
    PutNumber(out, translator.escape);
    out += "\r\n";
    for (int32_t block = 0; block < kTranslatorFonts; ++block) {
        const FSSRecord& record = translator.fonts[static_cast<size_t>(block)];
        if (!FontRecordUsed(record))
            continue;
        out += "Fo";
        PutNumber(out, block);
        PutNumber(out, record.size);
        for (uint8_t b : record.style)
            PutNumber(out, b);
        for (uint8_t b : {record.further, record.packed, record.shortcut, record.slippery})
            PutNumber(out, b);
        out.append(record.fontName, strnlen(record.fontName, sizeof record.fontName));
        out += "\r\n";
    }
    for (int32_t code = 0; code < kTranslatorEntries; ++code) {
        const std::string& entry = translator.entries[static_cast<size_t>(code)];
        if (entry.empty())
            continue;
        out += "Tr";
        PutNumber(out, code);
        // Each line end of the entry starts a continuation line.
        for (char c : entry) {
            if (c == '\n')
                out += "\r\n\t";
            else if (c != '\r')
                out.push_back(c);
        }
        out += "\r\n";
    }
    return out;
}

bool SaveTranslator(const Translator& translator, std::string& message) {
    if (translator.path.empty()) {
        message = "Table de conversion sans nom de fichier";
        return false;
    }
    const std::string text = TranslatorText(translator);
    const int16_t failure = CatchFail([&] {
        oOStreamPtr stream(NewOFileStream(translator.path.c_str(), true));
        stream->write(text.data(), static_cast<uint32_t>(text.size()));
        CloseStream(stream);
    });
    if (failure != 0) {
        message = BuildErrorText(failure);
        return false;
    }
    return true;
}

std::string EncodeB64(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+@";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    auto at = [&](size_t k) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[k])); };
    for (; i + 3 <= bytes.size(); i += 3) {
        // The encoding of a large document runs to megabytes.
        if (i % (3 << 16) == 0)
            HookCheckUserAbort();
        const uint32_t v = at(i) << 16 | at(i + 1) << 8 | at(i + 2);
        for (int k = 3; k >= 0; --k)
            out.push_back(kAlphabet[(v >> (6 * k)) & 63]);
    }
    const size_t left = bytes.size() - i;
    if (left > 0) {
        const uint32_t v = at(i) << 16 | (left == 2 ? at(i + 1) << 8 : 0);
        out.push_back(kAlphabet[(v >> 18) & 63]);
        out.push_back(kAlphabet[(v >> 12) & 63]);
        out.push_back(left == 2 ? kAlphabet[(v >> 6) & 63] : '=');
        out.push_back('=');
    }
    return out;
}
