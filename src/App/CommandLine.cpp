#include "App/CommandLine.h"

#include "OverPc/Presourc.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

bool equalNoCase(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b))
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

enum class Switch { NoSplash, Embedding, Register, Unregister };

std::optional<Switch> switchNamed(const std::string& name) {
    if (equalNoCase(name, "nosplash"))
        return Switch::NoSplash;
    if (equalNoCase(name, "embedding"))
        return Switch::Embedding;
    if (equalNoCase(name, "register"))
        return Switch::Register;
    if (equalNoCase(name, "unregister"))
        return Switch::Unregister;
    return std::nullopt;
}

// cp1252 bytes 0x80..0x9F by Unicode code point; the undefined bytes have none.
constexpr std::array<unsigned, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// UTF-8 to cp1252; nothing when the text is not valid UTF-8 or has a character cp1252 lacks.
std::optional<std::string> utf8ToCp1252(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        unsigned cp = 0;
        int extra = 0;
        if (b < 0x80) {
            cp = b;
        } else if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07;
            extra = 3;
        } else {
            return std::nullopt;
        }
        if (extra > 0 && i + static_cast<std::size_t>(extra) >= text.size())
            return std::nullopt; // the sequence is cut short
        for (int k = 1; k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xC0) != 0x80)
                return std::nullopt;
            cp = (cp << 6) | (c & 0x3F);
        }
        i += static_cast<std::size_t>(extra) + 1;
        if (cp == 0)
            return std::nullopt;
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out += static_cast<char>(cp);
            continue;
        }
        bool found = false;
        for (std::size_t k = 0; k < kCp1252High.size(); ++k) {
            if (kCp1252High[k] != 0 && kCp1252High[k] == cp) {
                out += static_cast<char>(0x80 + k);
                found = true;
                break;
            }
        }
        if (!found)
            return std::nullopt;
    }
    return out;
}

// Removes "." and ".." steps and doubled separators of an absolute path.
std::string normalisePath(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t at = 0;
    while (at <= path.size()) {
        std::size_t next = path.find('/', at);
        if (next == std::string::npos)
            next = path.size();
        const std::string part = path.substr(at, next - at);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = next + 1;
    }
    std::string out;
    for (const std::string& p : parts)
        out += "/" + p;
    return out.empty() ? "/" : out;
}

// The message `id` with the word in place of its "%s". The text may come from a translated
// resource library, so it is never used as a printf format: only the first "%s" is replaced.
std::string formatWarning(int id, const char* fallback, const std::string& word) {
    const char* text = LoadResString(id);
    std::string out = ProgramTextToUtf8(text ? text : fallback);
    const std::size_t at = out.find("%s");
    if (at == std::string::npos)
        return out + " " + word;
    return out.replace(at, 2, word);
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& words,
                             const std::string& currentFolder) {
    CommandLine line;
    bool switchesOver = false;
    for (const std::string& word : words) {
        if (word.empty())
            continue;
        if (!switchesOver && word == "--") {
            switchesOver = true;
            continue;
        }
        std::optional<Switch> which;
        bool isSwitch = false;
        if (!switchesOver && word[0] == '-') {
            isSwitch = true;
            which = switchNamed(word.substr(word.size() > 1 && word[1] == '-' ? 2 : 1));
        } else if (!switchesOver && word[0] == '/') {
            which = switchNamed(word.substr(1));
            isSwitch = which.has_value();
        }
        if (isSwitch) {
            if (!which) {
                line.warnings.push_back(
                    formatWarning(1406, "korvaline: unknown switch ignored: %s", word));
                continue;
            }
            switch (*which) {
            case Switch::NoSplash:
                line.noSplash = true;
                break;
            case Switch::Embedding:
                line.embedding = true;
                break;
            case Switch::Register:
                line.registration = RegistrationRequest::Register;
                break;
            case Switch::Unregister:
                line.registration = RegistrationRequest::Unregister;
                break;
            }
            continue;
        }
        std::string absolute = word[0] == '/' ? word : currentFolder + "/" + word;
        std::optional<std::string> program = utf8ToCp1252(normalisePath(absolute));
        if (!program) {
            line.warnings.push_back(formatWarning(
                1407, "korvaline: skipped a file name that cannot be shown in this program: %s",
                word));
            continue;
        }
        line.files.push_back(*program);
    }
    return line;
}

std::string ProgramTextToUtf8(const std::string& text) {
    std::string out;
    for (char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        unsigned cp = b;
        if (b >= 0x80 && b < 0xA0)
            cp = kCp1252High[b - 0x80] != 0 ? kCp1252High[b - 0x80] : 0xFFFD;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}
