#include "App/CommandLine.h"

#include "OverPc/Presourc.h"
#include "plat/Files.h"

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

// UTF-8 to program text; nothing when the text is not valid UTF-8 or has a character the active
// code page lacks.
std::optional<std::string> programPath(const std::string& text) {
    std::string out;
    // A NUL would cut the name short further on.
    if (text.find('\0') != std::string::npos || !plat::ProgramPathFromNative(text, out))
        return std::nullopt;
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
        const std::string system = normalisePath(absolute);
        if (system.find('\0') != std::string::npos)
            continue;
        line.systemPaths.push_back(system);
        std::optional<std::string> program = programPath(system);
        if (!program) {
            line.warnings.push_back(formatWarning(
                1407, "korvaline: a file name this program's code page cannot write: %s", word));
            line.outsideCodePage.push_back(system);
            continue;
        }
        line.files.push_back(*program);
    }
    return line;
}

std::string ProgramTextToUtf8(const std::string& text) {
    return plat::Utf8FromCp1252(text);
}
