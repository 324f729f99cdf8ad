#include "OverSrcs/etTranslator.h"

#include "OverPc/PERROR.h"
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

// A cursor over one line's fields.
struct Fields {
    std::string_view rest;

    // One compact number; false when the line ends inside it or it leaves the 32-bit range.
    bool number(int32_t& value) {
        if (rest.empty())
            return false;
        const unsigned char c = static_cast<unsigned char>(rest[0]);
        rest.remove_prefix(1);
        if (c >= 0x20 && c <= 0x60) {
            value = (c & 63) - 32;
            return true;
        }
        if (c < 'b' || c > 'f')
            return false;
        const size_t digits = static_cast<size_t>(c - 'a' + 1);
        if (rest.size() < digits)
            return false;
        int64_t v = (static_cast<unsigned char>(rest[0]) & 63) - 32;
        for (size_t i = 1; i < digits; ++i)
            v = v * 64 + ((static_cast<unsigned char>(rest[i]) - 0x20) & 63);
        rest.remove_prefix(digits);
        if (v < INT32_MIN || v > INT32_MAX)
            return false;
        value = static_cast<int32_t>(v);
        return true;
    }
    bool byte(uint8_t& value) {
        int32_t v = 0;
        if (!number(v) || v < 0 || v > 255)
            return false;
        value = static_cast<uint8_t>(v);
        return true;
    }
};

void PutNumber(std::string& out, int32_t value) {
    char text[8];
    out.append(text, static_cast<size_t>(EncodeCompactNumber(value, text)));
}

std::string LineMessage(size_t line, const char* what) {
    return "Table de conversion illisible, ligne " + std::to_string(line) + " : " + what;
}

} // namespace

bool ReadTranslatorText(std::string_view bytes, Translator& out, std::string& message) {
    if (bytes.size() > kMaxTranslatorFileBytes) {
        message = "Table de conversion trop grande";
        return false;
    }
    auto result = std::make_unique<Translator>();
    result->path = out.path;
    std::string* continued = nullptr; // the entry that TAB lines continue
    bool sawVersion = false;
    size_t lineNumber = 0;
    size_t position = 0;
    while (position < bytes.size()) {
        size_t end = bytes.find('\n', position);
        if (end == std::string_view::npos)
            end = bytes.size();
        std::string_view line = bytes.substr(position, end - position);
        position = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!line.empty() && line[0] == '\t') {
            if (continued != nullptr) {
                if (continued->size() + line.size() > kMaxTranslatorEntryBytes) {
                    message = LineMessage(lineNumber, "texte trop long");
                    return false;
                }
                continued->push_back('\n');
                continued->append(line.substr(1));
            }
            continue;
        }
        continued = nullptr;
        if (line.size() < 2)
            continue;
        const std::string_view tag = line.substr(0, 2);
        Fields fields{line.substr(2)};
        if (tag == "Ve") {
            int32_t version = 0;
            if (!fields.number(version) || version < 1) {
                message = LineMessage(lineNumber, "version illisible");
                return false;
            }
            sawVersion = true;
        } else if (!sawVersion && (tag == "Es" || tag == "Fo" || tag == "Tr")) {
            message = LineMessage(lineNumber, "ce n'est pas une table de conversion");
            return false;
        } else if (tag == "Es") {
            int32_t mode = 0;
            if (!fields.number(mode) || mode < kEscapeNone || mode > kEscapeTeX) {
                message = LineMessage(lineNumber, "mode d'échappement inconnu");
                return false;
            }
            result->escape = mode;
        } else if (tag == "Fo") {
            int32_t block = 0;
            FSSRecord record;
            InitFSSRecord(record);
            bool ok = fields.number(block) && fields.number(record.size);
            for (uint8_t& b : record.style)
                ok = ok && fields.byte(b);
            ok = ok && fields.byte(record.further) && fields.byte(record.packed) &&
                 fields.byte(record.shortcut) && fields.byte(record.slippery);
            if (!ok) {
                message = LineMessage(lineNumber, "police illisible");
                return false;
            }
            if (block >= 0 && block < kTranslatorFonts) {
                SetFSSFontName(record, fields.rest);
                result->fonts[static_cast<size_t>(block)] = record;
            }
        } else if (tag == "Tr") {
            int32_t code = 0;
            if (!fields.number(code)) {
                message = LineMessage(lineNumber, "code illisible");
                return false;
            }
            if (fields.rest.size() > kMaxTranslatorEntryBytes) {
                message = LineMessage(lineNumber, "texte trop long");
                return false;
            }
            // A code out of range comes from a foreign file: the line is skipped.
            if (code >= 0 && code < kTranslatorEntries) {
                std::string& entry = result->entries[static_cast<size_t>(code)];
                entry.assign(fields.rest);
                continued = &entry;
            }
        }
    }
    if (!sawVersion) {
        message = "Table de conversion illisible : ce n'est pas une table de conversion";
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
    const int16_t failure = CatchFail([&] { stream.reset(NewIFileStream(path)); });
    if (failure != 0 || !stream) {
        message = std::string("Table de conversion introuvable : ") + path;
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
